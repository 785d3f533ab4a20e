#include "analysis/incubation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kt {
namespace {

// Synthetic thresholds on a known law with 3 % scatter (seeded): S comes back within its
// reported two standard errors, with and without the thresholds' own errors.
TEST(Incubation, RecoversTheLawFromNoisyThresholdsWithinTwoSigma) {
  const double truth_s = 0.82, truth_f1 = 160.0;
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 0.03);
    std::vector<IncubationPoint> points;
    for (double n : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
      const double f = truth_f1 * std::pow(n, truth_s - 1.0) * (1.0 + noise(random));
      points.push_back({n, f, 0.03 * f});
    }
    for (bool with_errors : {true, false}) {
      if (!with_errors) {
        for (auto& p : points) p.standard_error = 0.0;
      }
      const IncubationFit fit = fit_incubation(points);
      ASSERT_TRUE(fit.ok) << fit.message;
      EXPECT_EQ(fit.weighted, with_errors);
      EXPECT_GT(fit.s_stderr, 0.0);
      EXPECT_LT(std::abs(fit.s - truth_s), 2.0 * fit.s_stderr) << seed << " " << with_errors;
      EXPECT_LT(std::abs(fit.single_pulse_threshold - truth_f1), 2.0 * fit.single_pulse_stderr);
      EXPECT_NEAR(incubation_threshold(fit, 1.0), fit.single_pulse_threshold, 1e-9);
    }
  }
}

TEST(Incubation, RefusesDataThatCannotGiveALaw) {
  EXPECT_FALSE(fit_incubation({}).ok);
  EXPECT_FALSE(fit_incubation({{10, 50, 0}, {10, 52, 0}}).ok);
  EXPECT_FALSE(fit_incubation({{1, 50, 0}, {0.5, 60, 0}}).ok);
  EXPECT_FALSE(fit_incubation({{1, 50, 0}, {2, 0, 0}}).ok);
  EXPECT_FALSE(fit_incubation({{1, 50, 0}, {2, NAN, 0}}).ok);
  // Two exact points: the law, with no scatter to measure its error.
  const IncubationFit two = fit_incubation({{1, 100, 0}, {10, 50, 0}});
  ASSERT_TRUE(two.ok);
  EXPECT_NEAR(two.s, 1.0 + std::log(0.5) / std::log(10.0), 1e-12);
}

}  // namespace
}  // namespace kt
