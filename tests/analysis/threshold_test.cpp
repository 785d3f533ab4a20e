#include "analysis/threshold.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace kt {
namespace {

TEST(Threshold, DefaultSetMatchesABisectionByHand) {
  // By hand with the batch runner (one sweep run per fluence, total depth of the CSV):
  // 24.12109375 mJ/cm^2 gives 0.99875 nm and 24.1259765625 gives 1.00014 nm, so 1 nm is
  // reached at 24.1255 mJ/cm^2 (linear between the two).
  constexpr double kByHand = 24.1255;
  ThresholdRequest request;
  request.parameters = test::default_parameters();
  request.jobs = 2;
  std::atomic<bool> interrupt{false};
  const ThresholdReport report = find_threshold(request, interrupt);
  ASSERT_TRUE(report.ok) << report.message;
  EXPECT_NEAR(report.fluence, kByHand, 1e-3 * kByHand);
  EXPECT_LE(report.above - report.below, 1e-3 * report.below);
  EXPECT_LT(report.depth_below_nm, 1.0);
  EXPECT_GE(report.depth_above_nm, 1.0);
  EXPECT_EQ(report.runs, 15);  // from 50 down to the bracket, then bisection in thirds
}

TEST(Threshold, ADepthNeverReachedIsSaidSo) {
  ThresholdRequest request;
  request.parameters = test::default_parameters();
  request.depth_nm = 1e5;
  request.jobs = 2;
  std::atomic<bool> interrupt{false};
  const ThresholdReport report = find_threshold(request, interrupt);
  EXPECT_FALSE(report.ok);
  EXPECT_NE(report.message.find("stays under 100000 nm up to the model's highest fluence"),
            std::string::npos)
      << report.message;
}

}  // namespace
}  // namespace kt
