// The accurate scheme against closed-form answers (heating by an exponential source, converging
// in space; a steady ablation front), its split cells, the enthalpy and conduction potential it
// rests on; the published scheme's energy ledger and transport limit; both schemes' runs against
// reference files.
#include "solver/accurate_scheme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kt_test_paths.h"
#include "solver/cubic_stencil.h"
#include "solver/property_integrals.h"
#include "solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

class Recorder : public RunObserver {
 public:
  void run_started(const RunConstants& constants, const ParameterSet&, std::int32_t,
                   const PlotCurveSwitches&) override {
    r = constants;
  }
  void step_done(const StepRecord& record, const ProfileArrays&) override {
    steps.push_back(record);
  }
  RunConstants r;
  std::vector<StepRecord> steps;
};

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
  const RunOutcome outcome = test::run_scheme(heating_only(), Scheme::accurate, 4, grid, &recorder);
  EXPECT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
  const RunConstants& r = recorder.r;
  double worst = 0.0;
  double peak = 0.0;
  for (const StepRecord& step : recorder.steps) {
    const double t = step.time_ns / (kTimeUnit * 1e9);
    if (t > r.pulse_duration) break;
    const double dt = r.diffusivity * t;
    const double exact =
        r.peak_intensity / r.diffusivity *
        (2.0 * std::sqrt(dt / std::numbers::pi) - 1.0 + std::exp(dt) * std::erfc(std::sqrt(dt)));
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
  const RunOutcome outcome = test::run_scheme(p, Scheme::accurate, 1, 1, &recorder);
  ASSERT_NE(outcome.end, RunEnd::diverged) << outcome.divergence_cause;
  const RunConstants& r = recorder.r;
  // P = v(theta_s) (theta_s + DH'), v = Vo' exp(-Ea'/(T0' + theta_s)): bisection on theta_s.
  const double light = r.peak_intensity;
  auto surplus = [&](double theta) {
    return light -
           r.rate_vo * std::exp(-r.activation_ea / (r.ambient + theta)) * (theta + r.enthalpy_dh);
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

TEST(AccurateScheme, SplitCellsAreListedAndOnlyTheAccurateSchemeSplitsThem) {
  test::ScratchDirectory scratch;
  RunRecords records;
  records.parameters.values.spatial_output = SpatialOutput::both;
  RunOptions options;
  options.output_directory = scratch.path();
  options.scheme = Scheme::accurate;
  options.grid_refinement = 2;
  test::TakenObserver observer;
  const RunOutcome outcome = records.run(options, &observer);
  ASSERT_EQ(outcome.end, RunEnd::end_test);
  EXPECT_EQ(observer.node_count, 129);
  const std::string spatial = test::read_file(scratch.path() / "Data1S1.dat");
  EXPECT_EQ(std::count(spatial.begin(), spatial.end(), '\n'), 128);

  RunRecords refused;
  options.scheme = Scheme::published;
  const RunOutcome published = refused.run(options);
  EXPECT_EQ(published.end, RunEnd::not_started);
  EXPECT_NE(published.not_started_reason.find("only with the accurate scheme"), std::string::npos);
  options.scheme = Scheme::accurate;
  options.grid_refinement = kMaximumGridRefinement + 1;
  EXPECT_EQ(refused.run(options).end, RunEnd::not_started);
}

TEST(PropertyIntegrals, EnthalpyAndPotentialHaveTheLawsAsSlopes) {
  MaterialLaw law;
  law.polyimide = true;
  law.heating_scale = 3515.49;
  law.ambient = 300.0 / law.heating_scale;
  law.specific_heat = 2.0;
  law.thermal_conductivity = 0.00156;
  const MaterialIntegrals integrals = make_material_integrals(law);
  EXPECT_EQ(evaluate_material(integrals, 0.0).enthalpy, 0.0);
  EXPECT_EQ(evaluate_material(integrals, 0.0).potential, 0.0);
  for (double theta : {0.01, 0.3, 1.5}) {
    const double h = 1e-5;
    const MaterialPoint at = evaluate_material(integrals, theta);
    const MaterialPoint up = evaluate_material(integrals, theta + h);
    const MaterialPoint down = evaluate_material(integrals, theta - h);
    EXPECT_NEAR((up.enthalpy - down.enthalpy) / (2 * h), specific_heat_factor(law, theta), 1e-8);
    EXPECT_NEAR((up.potential - down.potential) / (2 * h), conductivity_factor(law, theta), 1e-8);
    EXPECT_EQ(at.heat_capacity, specific_heat_factor(law, theta));
    EXPECT_NEAR(at.conduction, conductivity_factor(law, theta), 1e-15);
  }
}

TEST(CubicStencil, WeightsTakenOncePerGridReproduceEveryCubic) {
  // Random stretched stencils (cells from 1e-3 to 10, neighbours within a factor of 2, as the
  // run's grids have them) and
  // random cubics: the interpolation with the stencil's stored weights gives the cubic at any
  // point of the stencil and next to it, as the quotient form recomputed at every point does.
  std::mt19937_64 random(31);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    double z[4];
    double width = std::pow(10.0, -3.0 + 4.0 * unit(random));
    z[0] = 30.0 * width * unit(random);  // a stretched grid: depth and cell grow together
    for (int i = 1; i < 4; ++i) {
      z[i] = z[i - 1] + width;
      width *= std::pow(2.0, 2.0 * unit(random) - 1.0);  // neighbours within a factor of 2
    }
    double weights[4];
    stencil_weights(z, weights);
    double c[4], e[4];
    for (int i = 0; i < 4; ++i) {
      c[i] = unit(random) - 0.5;
      e[i] = 2.0 * unit(random);
    }
    const double mid = 0.5 * (z[0] + z[3]);
    auto cubic = [mid](const double* a, double x) {
      const double u = x - mid;
      return a[0] + u * (a[1] + u * (a[2] + u * a[3]));
    };
    double f[4], g[4];
    for (int i = 0; i < 4; ++i) {
      f[i] = cubic(c, z[i]);
      g[i] = cubic(e, z[i]);
    }
    double scale_f = 0.0, scale_g = 0.0;  // the size of the terms, for the rounding
    for (int i = 0; i < 4; ++i) {
      const double span = std::pow(z[3] - z[0], i);
      scale_f += std::abs(c[i]) * span;
      scale_g += std::abs(e[i]) * span;
    }
    for (int p = 0; p <= 10; ++p) {
      const double x = z[0] + (z[3] - z[0]) * (-0.1 + 0.12 * p);
      const CubicPair at = cubic_pair(z, weights, f, g, x);
      double quotient_form = 0.0;
      for (int i = 0; i < 4; ++i) {
        double term = f[i];
        for (int j = 0; j < 4; ++j) {
          if (j != i) term *= (x - z[j]) / (z[i] - z[j]);
        }
        quotient_form += term;
      }
      EXPECT_NEAR(at.first, cubic(c, x), 1e-11 * scale_f) << trial << " " << p;
      EXPECT_NEAR(at.second, cubic(e, x), 1e-11 * scale_g) << trial << " " << p;
      EXPECT_NEAR(at.first, quotient_form, 1e-11 * scale_f) << trial << " " << p;
    }
    // At a node, the node's own values.
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(cubic_pair(z, weights, f, g, z[i]).first, f[i], 1e-14 * scale_f);
    }
  }
}

TEST(PropertyIntegrals, EnthalpyOrPotentialAloneOrAllNodesHaveTheBitsOfTheWholePoint) {
  for (bool polyimide : {true, false}) {
    MaterialLaw law;
    law.polyimide = polyimide;
    law.heating_scale = 1977.934;
    law.ambient = 300.0 / law.heating_scale;
    law.specific_heat = 2.0;
    law.thermal_conductivity = 0.00156;
    const MaterialIntegrals integrals = make_material_integrals(law);
    const std::vector<double> rises{0.0, 1e-300, 3e-7, 0.25, 0.77, 4.0, -0.07};
    const std::size_t n = rises.size();
    std::vector<double> cf(n), kf(n), enthalpy(n), potential(n);
    evaluate_material_nodes(integrals, rises.data(), n, cf.data(), kf.data(), enthalpy.data(),
                            potential.data());
    for (std::size_t i = 0; i < n; ++i) {
      const double theta = rises[i];
      const MaterialPoint whole = evaluate_material(integrals, theta);
      EXPECT_EQ(material_enthalpy(integrals, theta), whole.enthalpy) << polyimide << " " << theta;
      EXPECT_EQ(material_potential(integrals, theta), whole.potential) << polyimide << " " << theta;
      EXPECT_EQ(cf[i], whole.heat_capacity) << polyimide << " " << theta;
      EXPECT_EQ(kf[i], whole.conduction) << polyimide << " " << theta;
      EXPECT_EQ(enthalpy[i], whole.enthalpy) << polyimide << " " << theta;
      EXPECT_EQ(potential[i], whole.potential) << polyimide << " " << theta;
    }
  }
}

// Runs keep their result files and energy ledger bit for bit: a change that saves work (an
// exponential taken once, a zero channel left out, loops the compiler vectorises) must not move
// a single digit. The published bulk run is the default run's reference.
TEST(Schemes, RunsKeepTheirFilesAndLedgerBitForBit) {
  struct Case {
    Scheme scheme;
    AblationModel model;
    const char* name;
  };
  for (const Case& c : {Case{Scheme::published, AblationModel::surface, "published_surface"},
                        Case{Scheme::accurate, AblationModel::bulk, "accurate_bulk"},
                        Case{Scheme::accurate, AblationModel::surface, "accurate_surface"}}) {
    test::ScratchDirectory directory;
    RunRecords records;
    records.parameters.values.ablation_model = c.model;
    RunOptions options;
    options.output_directory = directory.path();
    options.scheme = c.scheme;
    const RunOutcome outcome = records.run(options);
    ASSERT_EQ(outcome.end, RunEnd::end_test) << c.name;
    const EnergyLedger& e = outcome.energy;
    std::string ledger;
    char line[64];
    for (const double entry : {e.light_in, e.stored, e.ablation_sensible, e.ablation_latent,
                               e.reaction, e.far_boundary, e.linear_loss, e.residual}) {
      std::snprintf(line, sizeof line, "%a\n", entry);
      ledger += line;
    }
    test::write_file(directory.path() / "ledger.txt", ledger);
    const std::filesystem::path golden =
        std::filesystem::path(KT_TEST_DATA_DIR) / "solver" / c.name;
    EXPECT_EQ(test::compare_with_golden(directory.path(), golden), "") << c.name;
  }
}

TEST(PublishedScheme, StepLeavesTheFrontChannelsOfItsEndState) {
  // The ledger takes the front velocity by channel from the state: after every step they are
  // those of the step's final surface temperature and fraction.
  const RunConstants r = compute_run_constants(test::default_parameters());
  SolverState s;
  build_depth_grid(r, s.depth_grid);
  reset_solver_state(s);
  for (int step = 1; step <= 2000; ++step) {
    ASSERT_FALSE(take_time_step(r, s));
    const FrontVelocity fresh =
        front_velocity_at(r, s.temperature_rise[1], s.broken_fraction_new[1]);
    ASSERT_EQ(s.front_channels.channel_a, fresh.channel_a) << step;
    ASSERT_EQ(s.front_channels.channel_m, fresh.channel_m) << step;
    ASSERT_EQ(s.front_velocity, fresh.total()) << step;
    s.broken_fraction_old = s.broken_fraction_new;
    s.step_index += 1;
  }
  EXPECT_GT(s.front_velocity, 0.0);
}

TEST(PublishedScheme, LedgerShowsTheHeatItLoses) {
  // The explicit attenuation and the surface node without heat capacity lose about 4 % of the
  // light; the ledger shows it.
  const RunOutcome outcome = test::run_scheme(test::default_parameters(), Scheme::published);
  const EnergyLedger& e = outcome.energy;
  EXPECT_GT(e.residual, 0.02 * e.light_in);
  EXPECT_LT(e.residual, 0.08 * e.light_in);
  EXPECT_GT(e.reaction, 0.0);
  EXPECT_GT(e.far_boundary, 0.0);
}

TEST(PublishedScheme, ATransportLimitBrokenIsKeptOnlyWhenAFinerStepConfirmsTheDepths) {
  // Both fluences break v dt/dz1 < 1 near 1 ns. At 6000 mJ/cm^2 the depths stay within 0.06 %
  // of a finer step's and the run gives the scheme's own line; at 10000 they are 0.13 % off and
  // the run ends at the step that broke the limit, naming the refinement that keeps it.
  struct Case {
    float fluence;
    const char* kinetics_line;  // empty: diverged
    int diverged_step;
  };
  const Case cases[] = {
      {6000.0f, "6000.000   3.32485E+02   3.70638E+00   3.36192E+02", 0},
      {10000.0f, "", 54},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fluence);
    test::ScratchDirectory scratch;
    RunRecords records;
    records.parameters.values.fluence = c.fluence;
    RunOptions options;
    options.output_directory = scratch.path();
    options.append_kinetics_line = false;
    const RunOutcome outcome = records.run(options);
    EXPECT_EQ(outcome.kinetics_line, c.kinetics_line);
    if (c.diverged_step == 0) {
      EXPECT_EQ(outcome.end, RunEnd::end_test) << outcome.divergence_cause;
      // The depths stand; the velocities are named as needing the finer step.
      EXPECT_NE(outcome.notice.find("front velocity after that step oscillates"), std::string::npos)
          << outcome.notice;
      continue;
    }
    ASSERT_EQ(outcome.end, RunEnd::diverged);
    EXPECT_EQ(outcome.step_count, c.diverged_step);
    const std::string& cause = outcome.divergence_cause;
    EXPECT_NE(cause.find("v dt/dz1"), std::string::npos) << cause;
    EXPECT_NE(cause.find("(scheme accurate)"), std::string::npos) << cause;
    const std::size_t at = cause.find("(refinement ");
    ASSERT_NE(at, std::string::npos) << cause;
    const int suggested = std::stoi(cause.substr(at + 12));
    EXPECT_GT(suggested, 1);
    EXPECT_EQ(test::run_scheme(records.parameters.values, Scheme::published, suggested).end,
              RunEnd::end_test);
    // The temporal file keeps only the records before the step that broke the limit.
    std::istringstream temporal(test::read_file(scratch.path() / "Data1D.dat"));
    double time_ns = 0.0;
    int records_kept = 0;
    for (std::string line; std::getline(temporal, line); ++records_kept) {
      time_ns = std::stod(line);
      EXPECT_LT(time_ns, outcome.diverged_time_ns) << line;
    }
    EXPECT_GT(records_kept, 0);
  }
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// A bulk set at 2637 mJ/cm^2 whose fast channel M (large Vom, small Em) makes the ablation heat
// change faster than Newton's method follows on whole steps for much of the pulse.
ParameterSet newton_stopping_parameters() {
  ParameterSet p = test::default_parameters();
  p.fluence = 2636.9f;
  p.pulse_width = 36.684f;
  p.absorption_coefficient = 324451.75f;
  p.activation_energy_ea = 1.8946f;
  p.pre_exponential_vo = 38240.6f;
  p.sublimation_enthalpy_dh = 714.61f;
  p.activation_energy_em = 0.39558f;
  p.pre_exponential_vom = 33359024.0f;
  p.sublimation_enthalpy_dhm = 339.64f;
  p.screening_coefficient = 5252.36f;
  return p;
}

TEST(AccurateScheme, StepsNewtonCannotTakeWholeAreSplitAndTheRunFinishes) {
  const RunOutcome outcome = test::run_scheme(newton_stopping_parameters(), Scheme::accurate);
  ASSERT_EQ(outcome.end, RunEnd::end_test) << outcome.divergence_cause;
  EXPECT_GT(outcome.split_steps, 0);
  EXPECT_GT(outcome.total_depth_nm, 1000.0);
  EXPECT_LT(std::abs(outcome.energy.residual), 1e-6 * outcome.energy.light_in);
  // A set that needs no split says so.
  EXPECT_EQ(test::run_scheme(test::default_parameters(), Scheme::accurate).split_steps, 0);
}

// Newton's method stops once the updates still to come are below its tolerance; the step's
// flows follow the last update, so the ledger closes to rounding on the convergence table's
// sets, not to the tolerance.
TEST(AccurateScheme, LedgerClosesAtTheAcceptedIterate) {
  struct Case {
    AblationModel model;
    float fluence;
  };
  for (const Case& c : {Case{AblationModel::surface, 50.0f}, Case{AblationModel::bulk, 50.0f},
                        Case{AblationModel::bulk, 25.0f}, Case{AblationModel::bulk, 1000.0f}}) {
    ParameterSet p = test::default_parameters();
    p.ablation_model = c.model;
    p.fluence = c.fluence;
    const RunOutcome o = test::run_scheme(p, Scheme::accurate);
    ASSERT_EQ(o.end, RunEnd::end_test) << c.fluence;
    EXPECT_EQ(o.split_steps, 0) << c.fluence;
    EXPECT_LT(std::abs(o.energy.residual), 1e-12 * o.energy.light_in)
        << c.fluence << " " << o.energy.residual;
  }
}

TEST(Tolerance, RefusedOutsideTheAccurateSchemeAndItsRange) {
  struct Case {
    Scheme scheme;
    double tolerance;
    const char* refusal;  // a part of it
  };
  for (const Case& c : {Case{Scheme::published, 1e-3, "needs the accurate scheme"},
                        Case{Scheme::accurate, -1e-3, "tolerance is"},
                        Case{Scheme::accurate, std::nan(""), "tolerance is"}}) {
    test::RunRecords records;
    RunOptions options = test::kinetics_only();
    options.scheme = c.scheme;
    options.tolerance = c.tolerance;
    const RunOutcome outcome = records.run(options);
    EXPECT_EQ(outcome.end, RunEnd::not_started) << c.tolerance;
    EXPECT_NE(outcome.not_started_reason.find(c.refusal), std::string::npos)
        << outcome.not_started_reason;
  }
}

// A run to a tolerance reports the level it reached and its errors, writes one kinetics line,
// and says when no finer level can be run instead of calling its number converged.
TEST(Tolerance, ReportsItsErrorsOrWhyItCouldNotReachThem) {
  test::ScratchDirectory directory;
  test::RunRecords records;
  RunOptions options;
  options.output_directory = directory.path();
  options.scheme = Scheme::accurate;
  options.tolerance = 1e-2;
  const RunOutcome reached = records.run(options);
  ASSERT_EQ(reached.end, RunEnd::end_test);
  EXPECT_TRUE(reached.error.estimated);
  EXPECT_TRUE(reached.error.reached);
  EXPECT_GE(reached.error.grid_refinement, 2);
  EXPECT_LE(reached.error.total_depth_error_nm, 1e-2 * reached.total_depth_nm);
  EXPECT_GT(reached.error.total_depth_error_nm, 0.0);
  EXPECT_LE(reached.error.peak_surface_temperature_error_k,
            1e-2 * reached.peak_surface_temperature_k);
  std::string kinetics;
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    if (entry.path().filename().string().ends_with("K.dat")) kinetics = test::read_file(entry);
  }
  EXPECT_EQ(std::count(kinetics.begin(), kinetics.end(), '\n'), 1) << kinetics;

  options = test::kinetics_only();
  options.scheme = Scheme::accurate;
  options.tolerance = 1e-6;
  options.grid_refinement = kMaximumGridRefinement;  // no finer level exists
  const RunOutcome finest = records.run(options);
  ASSERT_EQ(finest.end, RunEnd::end_test);
  EXPECT_FALSE(finest.error.reached);
  EXPECT_FALSE(finest.error.estimated);
  EXPECT_NE(finest.error.shortfall.find("finest"), std::string::npos) << finest.error.shortfall;
}

// The grid is deepened when the heat or the light reaches its bottom (held at the ambient
// temperature): on the defaults the heat takes 3 % of the light through it. Extended, the run
// reaches its tolerance with less than the tolerance leaving through the bottom and says how deep
// the grid went; the depth moves by far less than the tolerance.
TEST(Tolerance, DeepensTheGridWhenTheHeatReachesItsBottom) {
  test::RunRecords records;
  RunOptions options = test::kinetics_only();
  options.scheme = Scheme::accurate;
  const RunOutcome plain = records.run(options);
  ASSERT_EQ(plain.end, RunEnd::end_test);
  EXPECT_GT(plain.energy.far_boundary, 2e-2 * plain.energy.light_in);
  options.tolerance = 1e-2;
  const RunOutcome o = records.run(options);
  ASSERT_EQ(o.end, RunEnd::end_test) << o.divergence_cause;
  EXPECT_TRUE(o.error.reached) << o.error.shortfall;
  EXPECT_EQ(o.error.grid_depth_factor, 2.0);
  EXPECT_EQ(o.grid_depth_nm, o.error.grid_depth_nm);
  EXPECT_GT(o.grid_depth_nm, 1.9 * plain.grid_depth_nm);
  EXPECT_LT(std::abs(o.energy.far_boundary), 1e-3 * o.energy.light_in);
  EXPECT_LT(std::abs(o.energy.residual), 1e-8 * o.energy.light_in);
  EXPECT_LT(std::abs(o.total_depth_nm - plain.total_depth_nm), 1e-2 * plain.total_depth_nm);
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// The ledger's lines add up to the incident fluence: the light reflected by the surface (R of
// it), the light screened by the plume and the light entering the material.
TEST(EnergyLedger, ReflectedScreenedAndEnteringLightMakeTheIncidentFluence) {
  struct Case {
    Scheme scheme;
    AblationModel model;
    float fluence, screening;
    double within;  // of the fluence: the scheme's quadrature of the pulse
  };
  for (const Case& c : {Case{Scheme::published, AblationModel::bulk, 50.0f, 1.4e5f, 2e-2},
                        Case{Scheme::accurate, AblationModel::bulk, 50.0f, 1.4e5f, 1e-3},
                        Case{Scheme::accurate, AblationModel::surface, 400.0f, 5e5f, 1e-3},
                        Case{Scheme::accurate, AblationModel::surface, 30.0f, 0.0f, 1e-3}}) {
    ParameterSet p = test::default_parameters();
    p.ablation_model = c.model;
    p.fluence = c.fluence;
    p.screening_coefficient = c.screening;
    const RunOutcome o = test::run_scheme(p, c.scheme);
    SCOPED_TRACE(testing::Message()
                 << scheme_name(c.scheme) << " " << c.fluence << " " << c.screening);
    ASSERT_EQ(o.end, RunEnd::end_test);
    const EnergyLedger& e = o.energy;
    EXPECT_NEAR(e.incident(), c.fluence, c.within * c.fluence);
    EXPECT_NEAR(e.reflected, p.reflection_coefficient * e.incident(), 1e-9 * c.fluence);
    if (c.screening == 0.0f) {
      EXPECT_NEAR(e.screened, 0.0, 1e-9 * c.fluence);
    } else {
      EXPECT_GT(e.screened, 0.0);
    }
  }
}

}  // namespace
}  // namespace kt
