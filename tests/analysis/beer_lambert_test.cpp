#include "analysis/beer_lambert.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kt {
namespace {

std::vector<MeasuredPoint> log_curve(double threshold, double length_nm,
                                     const std::vector<double>& fluences) {
  std::vector<MeasuredPoint> points;
  for (double f : fluences) points.push_back({f, length_nm * std::log(f / threshold), 1.0, 0});
  return points;
}

TEST(BeerLambert, ExactLogCurveGivesItsThresholdAndLength) {
  std::vector<MeasuredPoint> points = log_curve(27.5, 83.0, {30, 45, 80, 150, 400, 1000, 3000});
  // Points under the minimum depth (below threshold, or just above it) are left out.
  points.push_back({10.0, 0.0, 1.0, 0});
  points.push_back({20.0, 0.3, 1.0, 0});
  for (bool weighted : {false, true}) {
    const BeerLambertFit fit = fit_beer_lambert(points, 1.0, weighted);
    ASSERT_TRUE(fit.ok) << fit.message;
    EXPECT_NEAR(fit.threshold_fluence, 27.5, 27.5 * 1e-6);
    EXPECT_NEAR(fit.absorption_length_nm, 83.0, 83.0 * 1e-6);
    EXPECT_EQ(fit.points_used, 7);
    EXPECT_EQ(fit.dof, 5);
    EXPECT_NEAR(fit.chi2, 0.0, 1e-12);
    EXPECT_NEAR(beer_lambert_depth(fit, 27.5 * std::exp(1.0)), 83.0, 1e-6);
  }
}

TEST(BeerLambert, ErrorsFollowTheScatter) {
  // Alternating +-2 nm around the line: unweighted errors come from the scatter, weighted ones
  // from sigma; a sigma of 2 nm matches the scatter, so both are close.
  std::vector<MeasuredPoint> points = log_curve(30.0, 60.0, {40, 60, 90, 140, 220, 350, 550, 900});
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].depth_nm += i % 2 ? 2.0 : -2.0;
    points[i].sigma_nm = 2.0;
  }
  const BeerLambertFit unweighted = fit_beer_lambert(points, 1.0, false);
  const BeerLambertFit weighted = fit_beer_lambert(points, 1.0, true);
  ASSERT_TRUE(unweighted.ok && weighted.ok);
  EXPECT_GT(unweighted.absorption_length_stderr, 0.0);
  EXPECT_NEAR(weighted.absorption_length_stderr / unweighted.absorption_length_stderr, 1.0, 0.2);
  EXPECT_NEAR(unweighted.threshold_fluence, 30.0, 3 * unweighted.threshold_stderr);
  EXPECT_NEAR(unweighted.absorption_length_nm, 60.0, 3 * unweighted.absorption_length_stderr);
}

TEST(BeerLambert, TooFewOrFallingPointsGiveAReasonNotANumber) {
  EXPECT_FALSE(fit_beer_lambert(log_curve(20, 50, {100}), 1.0, false).ok);
  // Two points at one fluence cannot give a slope.
  std::vector<MeasuredPoint> same = log_curve(20, 50, {100, 100});
  EXPECT_FALSE(fit_beer_lambert(same, 1.0, false).ok);
  const BeerLambertFit falling = fit_beer_lambert({{50, 80, 1, 0}, {100, 40, 1, 0}}, 1.0, false);
  EXPECT_FALSE(falling.ok);
  EXPECT_NE(falling.message.find("does not grow"), std::string::npos);
  // Two points fit exactly: without sigma nothing is left to give the errors.
  const BeerLambertFit two = fit_beer_lambert(log_curve(20, 50, {40, 100}), 1.0, false);
  ASSERT_TRUE(two.ok);
  EXPECT_TRUE(std::isnan(two.threshold_stderr));
}

}  // namespace
}  // namespace kt
