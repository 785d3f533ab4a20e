#include "solver/model.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kt
