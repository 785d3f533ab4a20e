// A 10-pulse train at 10 Hz on a 50 um Gaussian spot: the surface losses between the pulses stay
// below 5 % of the light, and the centre's temperature before pulse 10 converges as the radii and
// the cooling's time steps are refined. Prints the figures the model page quotes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "engine/spot_train.h"
#include "spot_train_support.h"
#include "test_support.h"

namespace kt {
namespace {

TEST(SpotTrain, TenPulsesAtTenHertzLoseLittleAtTheSurfaceAndConverge) {
  std::string error;
  const std::optional<SpotTrainRequest> train =
      test::gaussian_spot_train(test::default_parameters(), 50.0, 10, 10.0, error);
  ASSERT_TRUE(train) << error;
  struct Level {
    int radii;
    double growth;
  };
  std::vector<double> before;
  for (const Level level : {Level{8, 1.04}, Level{16, 1.02}, Level{32, 1.01}}) {
    SpotTrainRequest request = *train;
    request.radii = level.radii;
    request.step_growth = level.growth;
    const SpotTrainResult r = run_spot_train(request);
    ASSERT_TRUE(r.error.empty() && r.failure.empty()) << r.error << r.failure;
    ASSERT_EQ(r.pulses[0].size(), 10u);
    const double t10 = r.pulses[0][9].surface_temperature_before_k;
    std::printf(
        "radii %d, step growth %.2f: before pulse 10 %.4f K, surface losses %.4g uJ of "
        "%.4g uJ (%.3f %%), crater %.3f nm deep\n",
        level.radii, level.growth, t10, r.surface_loss_uj, r.light_uj,
        100.0 * r.surface_loss_uj / r.light_uj, r.crater.cumulative_nm[9][0]);
    EXPECT_LT(r.surface_loss_uj, 0.05 * r.light_uj);
    EXPECT_NEAR(r.centre.energy.residual, 0.0, 1e-4);
    before.push_back(t10);
  }
  EXPECT_LT(std::abs(before[2] - before[1]), std::abs(before[1] - before[0]));
  EXPECT_LT(std::abs(before[2] - before[1]), 0.05);  // K
}

}  // namespace
}  // namespace kt
