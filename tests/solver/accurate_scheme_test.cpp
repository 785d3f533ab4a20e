// The accurate scheme against closed-form answers (heating by an exponential source, a steady
// ablation front), its energy ledger, its convergence in time and space, and the runs the
// published scheme cannot finish; the published scheme's transport limit and its ledger.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "solver/accurate_scheme.h"
#include "solver/property_integrals.h"
#include "solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

class Recorder : public RunObserver {
 public:
  void run_started(const RunConstants& constants, const PlotScaleSet&,
                   const PlotCurveSwitches&) override {
    r = constants;
  }
  void step_done(const StepRecord& record, const ProfileArrays&) override {
    steps.push_back(record);
  }
  RunConstants r;
  std::vector<StepRecord> steps;
};

RunOutcome run_with(const ParameterSet& p, Scheme scheme, int refinement = 1, int grid = 1,
                    RunObserver* observer = nullptr) {
  RunRecords records;
  records.parameters.values = p;
  RunOptions options = test::kinetics_only();
  options.scheme = scheme;
  options.refinement = refinement;
  options.grid_refinement = grid;
  return records.run(options, observer);
}

double relative(double a, double b) {
  return std::abs(a - b) / std::abs(b);
}

// Constant properties, no ablation, no screening, no reflection, a rectangular pulse.
ParameterSet heating_only() {
  ParameterSet p = test::default_parameters();
  p.ablation_model = AblationModel::surface;
  p.pulse_shape = PulseShape::rectangle;
  p.material = Material::other;
  p.pre_exponential_vo = 0.0f;
  p.screening_coefficient = 0.0f;
  p.reflection_coefficient = 0.0f;
  return p;
}

// Largest error of the surface temperature rise over the pulse against
// theta(0, t) = (I/D) (2 sqrt(D t / pi) - 1 + exp(D t) erfc(sqrt(D t))), relative to its peak.
double heating_error(int grid) {
  Recorder recorder;
  const RunOutcome outcome = run_with(heating_only(), Scheme::accurate, 4, grid, &recorder);
  EXPECT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
  const RunConstants& r = recorder.r;
  double worst = 0.0;
  double peak = 0.0;
  for (const StepRecord& step : recorder.steps) {
    const double t = step.time_ns / (kTimeUnit * 1e9);
    if (t > r.pulse_duration) break;
    const double dt = r.diffusivity * t;
    const double exact = r.peak_intensity / r.diffusivity *
                         (2.0 * std::sqrt(dt / std::numbers::pi) - 1.0 +
                          std::exp(dt) * std::erfc(std::sqrt(dt)));
    const double theta = step.surface_temperature_k / r.heating_scale - r.ambient;
    worst = std::max(worst, std::abs(theta - exact));
    peak = std::max(peak, exact);
  }
  return worst / peak;
}

TEST(AccurateScheme, HeatsAsTheClosedFormAndConvergesWhenCellsAreSplit) {
  const double coarse = heating_error(1);
  const double fine = heating_error(2);
  EXPECT_LT(coarse, 1e-3);
  EXPECT_GT(coarse / fine, 3.0) << coarse << " " << fine;
}

// Surface model, constant properties, a long rectangle: the front reaches the steady state in
// which all the light goes into heating the removed material and subliming it.
TEST(AccurateScheme, SteadyFrontMovesAsTheEnergyBalanceRequires) {
  ParameterSet p = heating_only();
  p.pre_exponential_vo = test::default_parameters().pre_exponential_vo;
  p.sublimation_enthalpy_dh = 1000.0f;
  p.pulse_width = 200.0f;
  p.fluence = 400000.0f / 100.0f;
  Recorder recorder;
  const RunOutcome outcome = run_with(p, Scheme::accurate, 1, 1, &recorder);
  ASSERT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
  const RunConstants& r = recorder.r;
  // P = v(theta_s) (theta_s + DH'), v = Vo' exp(-Ea'/(T0' + theta_s)): bisection on theta_s.
  const double light = r.peak_intensity;
  auto surplus = [&](double theta) {
    return light - r.rate_vo * std::exp(-r.activation_ea / (r.ambient + theta)) *
                       (theta + r.enthalpy_dh);
  };
  double lo = 0.0, hi = 10.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2.0;
    (surplus(mid) > 0.0 ? lo : hi) = mid;
  }
  const double velocity = r.rate_vo * std::exp(-r.activation_ea / (r.ambient + lo)) /
                          (r.absorption_coefficient * kTimeUnit);
  double at_pulse_end = 0.0;
  for (const StepRecord& step : recorder.steps) {
    if (step.time_ns / (kTimeUnit * 1e9) <= r.pulse_duration) at_pulse_end = step.velocity_cm_s;
  }
  EXPECT_LT(relative(at_pulse_end, velocity), 5e-4) << at_pulse_end << " " << velocity;
}

TEST(AccurateScheme, LedgerClosesInBothModelsAtAnyFluenceAndAbsorption) {
  for (AblationModel model : {AblationModel::surface, AblationModel::bulk}) {
    for (float fluence : {20.0f, 300.0f, 3000.0f}) {
      for (float alpha : {3e4f, 3.2e5f, 1e7f}) {
        ParameterSet p = test::default_parameters();
        p.ablation_model = model;
        p.fluence = fluence;
        p.absorption_coefficient = alpha;
        const RunOutcome outcome = run_with(p, Scheme::accurate);
        SCOPED_TRACE(testing::Message() << choice_code(model) << " " << fluence << " " << alpha);
        ASSERT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
        const EnergyLedger& e = outcome.energy;
        EXPECT_NEAR(e.light_in, fluence * (1.0 - p.reflection_coefficient), 0.2 * fluence);
        EXPECT_LT(std::abs(e.residual), 1e-6 * e.light_in);
        EXPECT_GT(e.ablation_sensible + e.ablation_latent + e.stored, 0.5 * e.light_in);
      }
    }
  }
}

TEST(AccurateScheme, IsSecondOrderInTime) {
  const ParameterSet p = test::default_parameters();
  double depth[4] = {};
  double peak[4] = {};
  for (int i = 0; i < 4; ++i) {
    const RunOutcome outcome = run_with(p, Scheme::accurate, 1 << i);
    ASSERT_EQ(outcome.end, RunEnd::end_test);
    depth[i] = outcome.total_depth_nm;
    peak[i] = outcome.peak_surface_temperature_k;
  }
  for (const double* x : {depth, peak}) {
    const double d1 = std::abs(x[1] - x[0]);
    const double d2 = std::abs(x[2] - x[1]);
    const double d3 = std::abs(x[3] - x[2]);
    EXPECT_GT(d1, 3.0 * d2) << d1 << " " << d2;
    EXPECT_GT(d2, 3.0 * d3) << d2 << " " << d3;
    EXPECT_LT(relative(x[0], x[2]), 1e-5);
  }
}

}  // namespace
}  // namespace kt
