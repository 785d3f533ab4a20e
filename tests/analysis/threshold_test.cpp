// The threshold search on the log-law model, whose threshold for a depth is known exactly:
// F = F_th exp(depth / L). The search on the calculation itself is tested with the engine.
#include "analysis/threshold.h"

#include <gtest/gtest.h>

#include <cmath>

#include "log_law_model.h"
#include "test_support.h"

namespace kt {
namespace {

TEST(Threshold, FindsTheExactThresholdOfTheLogLawWhateverTheJobs) {
  const ParameterSet p = test::default_parameters();
  const double length_nm = 1e7 / static_cast<double>(p.screening_coefficient);
  const double f_th = 30.0 * static_cast<double>(p.activation_energy_em) / 0.7;
  for (double depth : {1.0, 100.0}) {
    for (int jobs : {1, 2, 7}) {
      ThresholdRequest request;
      request.parameters = p;
      request.depth_nm = depth;
      request.jobs = jobs;
      std::atomic<bool> interrupt{false};
      const ThresholdReport report = find_threshold(request, test::analytic_model(), interrupt);
      ASSERT_TRUE(report.ok) << report.message;
      const double exact = f_th * std::exp(depth / length_nm);
      EXPECT_LE(report.below, exact) << depth << " nm, " << jobs << " jobs";
      EXPECT_GE(report.above, exact) << depth << " nm, " << jobs << " jobs";
      EXPECT_LE(report.above - report.below, 1e-3 * report.below);
      EXPECT_LT(report.depth_below_nm, depth);
      EXPECT_GE(report.depth_above_nm, depth);
    }
  }
}

TEST(Threshold, ADepthNeverReachedAFailingRunAndAModelThatCannotRunAreSaidSo) {
  ThresholdRequest request;
  request.parameters = test::default_parameters();
  request.depth_nm = 1e5;
  request.jobs = 2;
  std::atomic<bool> interrupt{false};
  ThresholdReport report = find_threshold(request, test::analytic_model(), interrupt);
  EXPECT_FALSE(report.ok);
  EXPECT_NE(report.message.find("stays under 100000 nm up to the model's highest fluence"),
            std::string::npos)
      << report.message;

  request.depth_nm = 1.0;
  request.parameters.absorption_coefficient = 1e7f;
  report = find_threshold(request, test::analytic_model(), interrupt);
  EXPECT_FALSE(report.ok);
  EXPECT_FALSE(report.model_unavailable);
  EXPECT_NE(report.message.find("failed: the calculation diverged"), std::string::npos)
      << report.message;

  report =
      find_threshold(request, test::analytic_model("cannot start 2 worker threads"), interrupt);
  EXPECT_FALSE(report.ok);
  EXPECT_TRUE(report.model_unavailable);
  EXPECT_EQ(report.message, "cannot start 2 worker threads");
  EXPECT_EQ(report.runs, 0);
}

}  // namespace
}  // namespace kt
