#include "solver/model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

TEST(RunConstants, DefaultParametersGiveTheReferenceFigures) {
  const RunConstants r = compute_run_constants(test::default_parameters());
  EXPECT_NEAR(r.heating_scale, 3515.49, 0.005);
  EXPECT_NEAR(r.diffusivity, 0.175493, 5e-7);
  EXPECT_NEAR(r.pulse_duration, 4.80769, 5e-6);
  EXPECT_NEAR(r.peak_intensity, 0.333333, 5e-7);
  EXPECT_NEAR(r.time_step, 0.006, 5e-7);
  EXPECT_NEAR(r.cell_max, 0.383708, 5e-7);
  EXPECT_NEAR(r.cell_ratio, 1.125431, 5e-7);
  EXPECT_NEAR(r.stretched_length, 2.899670, 5e-7);
  // t0 and 0.02 are the single-precision decimals widened.
  EXPECT_EQ(kTimeUnit, 3.1200000361053526e-09);
  EXPECT_EQ(r.output_period, static_cast<double>(0.1f) * 15.0 * static_cast<double>(1e-9f) /
                                 static_cast<double>(1.5e-8f));

  auto state = std::make_unique<SolverState>();
  NodeArray& z = state->depth_grid;
  build_depth_grid(r, z);
  EXPECT_NEAR(z[50], 3.379670, 5e-7);
  EXPECT_NEAR(z[64], 8.751586, 5e-7);
  EXPECT_NEAR(z[65], 9.115294, 5e-7);
  EXPECT_NEAR(z[65] * 1e7 / 320000.0, 284.85, 0.01);  // about 285 nm
  EXPECT_EQ(z[1], 0.0);
  for (int k = 2; k <= 24; ++k) EXPECT_NEAR(z[k] - z[k - 1], 0.02, 1e-9);
  EXPECT_EQ(z[25], static_cast<double>(0.48f));
  EXPECT_NEAR(z[65] - z[64], r.cell_max - 0.02, 1e-7);
  for (int k = 2; k <= 65; ++k) EXPECT_GT(z[k], z[k - 1]);
}

// The solver state keeps exponentials from step to step and from run to run; a run on a state
// that held another run (other model, other fluence) must end bit for bit as on a fresh state.
TEST(SolverState, RunOnAReusedStateEqualsARunOnAFreshOne) {
  test::RunRecords reused;
  reused.parameters.values.ablation_model = AblationModel::surface;
  reused.parameters.values.fluence = 300.0f;
  reused.run(test::kinetics_only());
  reused.parameters.values = test::default_parameters();
  const RunOutcome again = reused.run(test::kinetics_only());

  test::RunRecords fresh;
  const RunOutcome first = fresh.run(test::kinetics_only());
  ASSERT_EQ(first.end, RunEnd::end_test);
  EXPECT_EQ(again.step_count, first.step_count);
  const SolverState& a = *reused.state;
  const SolverState& b = *fresh.state;
  EXPECT_EQ(std::memcmp(a.temperature_rise.data(), b.temperature_rise.data(),
                        sizeof(double) * a.temperature_rise.size()),
            0);
  EXPECT_EQ(std::memcmp(a.broken_fraction_new.data(), b.broken_fraction_new.data(),
                        sizeof(double) * a.broken_fraction_new.size()),
            0);
  for (double SolverState::*depth : {&SolverState::depth_a, &SolverState::depth_m,
                                     &SolverState::front_velocity, &SolverState::bulk_integral})
    EXPECT_EQ(std::memcmp(&(a.*depth), &(b.*depth), sizeof(double)), 0);
}

}  // namespace
}  // namespace kt
