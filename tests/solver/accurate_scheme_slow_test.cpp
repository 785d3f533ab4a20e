// The accurate scheme's slower checks (label slow): its energy ledger closes over both models,
// fluences and absorptions, it is second order in time, and it finishes the runs the published
// scheme cannot.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "solver_test_support.h"

namespace kt {
namespace {

double relative(double a, double b) {
  return std::abs(a - b) / std::abs(b);
}

TEST(AccurateSchemeSlow, LedgerClosesInBothModelsAtAnyFluenceAndAbsorption) {
  for (AblationModel model : {AblationModel::surface, AblationModel::bulk}) {
    for (float fluence : {20.0f, 300.0f, 3000.0f}) {
      for (float alpha : {3e4f, 3.2e5f, 1e7f}) {
        ParameterSet p = test::default_parameters();
        p.ablation_model = model;
        p.fluence = fluence;
        p.absorption_coefficient = alpha;
        const RunOutcome outcome = test::run_scheme(p, Scheme::accurate);
        SCOPED_TRACE(testing::Message() << choice_code(model) << " " << fluence << " " << alpha);
        ASSERT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
        const EnergyLedger& e = outcome.energy;
        EXPECT_LE(e.light_in, fluence * (1.0 - p.reflection_coefficient) * (1.0 + 1e-3));
        EXPECT_LT(std::abs(e.residual), 1e-6 * e.light_in);
        EXPECT_GT(e.ablation_sensible + e.ablation_latent + e.stored, 0.5 * e.light_in);
      }
    }
  }
}

// The surface temperature at the end of the pulse (a model step, so the same instant at every
// refinement).
class PulseEnd : public RunObserver {
 public:
  explicit PulseEnd(int refinement) : refinement_(refinement) {}
  void step_done(const StepRecord& record, const ProfileArrays&) override {
    if (record.step == kPulseSteps * refinement_) temperature_k = record.surface_temperature_k;
  }
  static constexpr int kPulseSteps = 800;  // 2 tau' / dt
  double temperature_k = 0.0;

 private:
  int refinement_;
};

TEST(AccurateSchemeSlow, IsSecondOrderInTime) {
  const ParameterSet p = test::default_parameters();
  double at_pulse_end[4] = {};
  double peak[4] = {};
  double depth[4] = {};
  for (int i = 0; i < 4; ++i) {
    PulseEnd observer(1 << i);
    const RunOutcome outcome = test::run_scheme(p, Scheme::accurate, 1 << i, 1, &observer);
    ASSERT_EQ(outcome.end, RunEnd::end_test);
    at_pulse_end[i] = observer.temperature_k;
    peak[i] = outcome.peak_surface_temperature_k;
    depth[i] = outcome.total_depth_nm;
  }
  for (const double* x : {at_pulse_end, peak}) {
    const double d1 = std::abs(x[1] - x[0]);
    const double d2 = std::abs(x[2] - x[1]);
    const double d3 = std::abs(x[3] - x[2]);
    EXPECT_GT(d1, 3.0 * d2) << d1 << " " << d2;
    EXPECT_GT(d2, 3.0 * d3) << d2 << " " << d3;
    EXPECT_LT(relative(x[0], x[2]), 1e-5);
  }
  EXPECT_LT(relative(depth[0], depth[2]), 1e-5);
}

// Bulk model, fast channel M with a large heat of sublimation (the published scheme's surface
// condition runs away half way up the pulse).
ParameterSet runaway_bulk_parameters() {
  ParameterSet p = test::default_parameters();
  p.absorption_coefficient = 9.098e4f;
  p.fluence = 363.5f;
  p.pre_exponential_vom = 1.666e6f;
  p.pulse_width = 1.40f;
  p.sublimation_enthalpy_dhm = 1357.0f;
  return p;
}

TEST(AccurateSchemeSlow, FinishesWhereThePublishedSchemeDiverges) {
  std::vector<std::pair<const char*, ParameterSet>> cases;
  for (AblationModel model : {AblationModel::surface, AblationModel::bulk}) {
    ParameterSet p = test::default_parameters();
    p.ablation_model = model;
    p.absorption_coefficient = 1e7f;
    cases.emplace_back(model == AblationModel::surface ? "surface 1e7 /cm" : "bulk 1e7 /cm", p);
  }
  cases.emplace_back("bulk 1.4 ns", runaway_bulk_parameters());
  ParameterSet strongest = test::default_parameters();
  strongest.fluence = 10000.0f;
  cases.emplace_back("10000 mJ/cm^2", strongest);
  for (const auto& [name, p] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(test::run_scheme(p, Scheme::published).end, RunEnd::diverged);
    const RunOutcome one = test::run_scheme(p, Scheme::accurate, 1);
    const RunOutcome four = test::run_scheme(p, Scheme::accurate, 4);
    ASSERT_EQ(one.end, RunEnd::end_test) << one.divergence_cause;
    ASSERT_EQ(four.end, RunEnd::end_test) << four.divergence_cause;
    EXPECT_GT(one.total_depth_nm, 1.0);
    EXPECT_LT(relative(one.total_depth_nm, four.total_depth_nm), 1e-3);
    EXPECT_LT(relative(one.peak_surface_temperature_k, four.peak_surface_temperature_k), 1e-3);
  }
}

}  // namespace
}  // namespace kt
