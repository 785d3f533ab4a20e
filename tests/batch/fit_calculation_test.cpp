// The fit end to end on the calculation itself (tens of seconds: the slow suite, ./test.sh
// --slow): depths made by the model at known values, with 3 % noise from a fixed seed, fitted
// from the default values.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/fit.h"
#include "analysis/report.h"
#include "engine/model_runs.h"
#include "test_support.h"

namespace kt {
namespace {

TEST(FitOnTheCalculation, RecoversScreeningAndActivationEnergy) {
  ParameterSet truth = test::default_parameters();
  truth.screening_coefficient = 1.0e5f;  // default 1.4e5
  truth.activation_energy_em = 0.8f;     // default 0.7
  const std::vector<double> fluences{40, 60, 90, 140, 220, 350, 550, 900};
  std::vector<ModelPoint> points;
  for (double f : fluences) points.push_back({&truth, f});
  ModelRunCounter counter;
  std::atomic<bool> interrupt{false};
  const ModelBatch depths = run_model_points(points, DepthQuantity::total, 2, counter, interrupt);
  ASSERT_EQ(depths.error, "");

  std::mt19937 random(7);
  auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data.has_sigma = true;
  request.jobs = 2;
  for (std::size_t i = 0; i < fluences.size(); ++i) {
    ASSERT_TRUE(depths.results[i].ok) << depths.results[i].problem;
    const double depth = depths.results[i].depth_nm;
    const double g = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * M_PI * uniform());
    request.data.points.push_back({fluences[i], depth * (1.0 + 0.03 * g), 0.03 * depth, 0});
  }
  for (const char* name : {"screening_coefficient", "activation_energy_em"}) {
    FitVariable v;
    std::string error;
    ASSERT_TRUE(default_fit_variable(request.parameters, *find_parameter_field(name), v, error));
    request.variables.push_back(v);
  }

  const FitReport report = fit_model(request, calculation_model(), interrupt);
  ASSERT_EQ(report.status, FitStatus::converged) << report.message;
  SCOPED_TRACE(fit_summary(report));
  for (const FittedParameter& p : report.parameters) {
    const double true_value = field_value(truth, *find_parameter_field(p.name));
    EXPECT_LE(std::fabs(p.value - true_value), 2.0 * p.standard_error) << p.name;
    EXPECT_LE(std::fabs(p.value - true_value), 0.1 * true_value) << p.name;
  }
  EXPECT_GT(report.reduced_chi2, 0.1);
  EXPECT_LT(report.reduced_chi2, 5.0);
  EXPECT_EQ(report.failed_points, 0);
  EXPECT_GT(report.runs, report.evaluations);
}

// Depths made by the model at two pulse widths (nine fluences each, 3 % noise from a fixed
// seed), as a file with a pulse_width column would give them.
MeasuredData two_pulse_widths(const ParameterSet& truth) {
  const ParameterField* width = find_parameter_field("pulse_width");
  MeasuredData data;
  data.has_sigma = true;
  data.conditions = {{"pulse_width", width, 1}};
  data.datasets = {{"pulse_width=10"}, {"pulse_width=30"}};
  std::vector<ParameterSet> sets(2, truth);
  sets[0].pulse_width = 10.0f;
  sets[1].pulse_width = 30.0f;
  std::vector<ModelPoint> points;
  for (const ParameterSet& set : sets)
    for (int i = 0; i < 9; ++i) points.push_back({&set, 40.0 * std::pow(25.0, i / 8.0)});
  ModelRunCounter counter;
  std::atomic<bool> interrupt{false};
  const ModelBatch depths = run_model_points(points, DepthQuantity::total, 2, counter, interrupt);
  std::mt19937 random(7);
  auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_TRUE(depths.results[i].ok) << depths.results[i].problem;
    const double depth = depths.results[i].depth_nm;
    const double g = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * M_PI * uniform());
    MeasuredPoint point{points[i].fluence, depth * (1.0 + 0.03 * g), 0.03 * depth, 0};
    point.dataset = i < 9 ? 0 : 1;
    point.conditions = {points[i].parameters->pulse_width};
    data.points.push_back(point);
  }
  return data;
}

TEST(FitOnTheCalculation, TwoPulseWidthsPinTheSharedFieldsTighterThanEitherAlone) {
  ParameterSet truth = test::default_parameters();
  truth.screening_coefficient = 1.0e5f;
  truth.activation_energy_em = 0.8f;
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data = two_pulse_widths(truth);
  request.jobs = 2;
  for (const char* name : {"screening_coefficient", "activation_energy_em"}) {
    FitVariable v;
    std::string error;
    ASSERT_TRUE(default_fit_variable(request.parameters, *find_parameter_field(name), v, error));
    request.variables.push_back(v);
  }
  std::atomic<bool> interrupt{false};
  const FitReport report = fit_model(request, calculation_model(), interrupt);
  ASSERT_EQ(report.status, FitStatus::converged) << report.message;
  const std::vector<FitReport> alone = fit_each_set(request, calculation_model(), interrupt);
  SetReports sets;
  sets.separately = alone;
  SCOPED_TRACE(fit_summary(report, &sets));
  for (std::size_t j = 0; j < 2; ++j) {
    const FittedParameter& p = report.parameters[j];
    const double true_value = field_value(truth, *find_parameter_field(p.name));
    EXPECT_LE(std::fabs(p.value - true_value), 2.0 * p.standard_error) << p.name;
    EXPECT_LE(std::fabs(p.value - true_value), 0.1 * true_value) << p.name;
    for (const FitReport& one : alone)
      EXPECT_GT(one.parameters[j].standard_error, p.standard_error) << p.name;
  }
}

}  // namespace
}  // namespace kt
