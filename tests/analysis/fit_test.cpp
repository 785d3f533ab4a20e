// The fit machinery on a cheap analytic model put in place of the calculation: a log-law
// ablation curve whose slope and threshold are set by two fields, so that the values that made
// the data are known exactly. The one fit on the calculation itself is in the slow suite.
#include "analysis/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/report.h"
#include "log_law_model.h"
#include "test_support.h"

namespace kt {
namespace {

using test::analytic_model;
using test::log_law;

// The log law at `fluences` for `truth`, each times (1 + 0.03 g) with g standard normal
// (Box-Muller on a fixed-seed Mersenne twister), sigma 3 % of the true depth.
MeasuredData synthetic_data(const ParameterSet& truth, const std::vector<double>& fluences,
                            unsigned seed) {
  std::mt19937 random(seed);
  auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  MeasuredData data;
  data.has_sigma = true;
  for (double f : fluences) {
    const double depth = log_law(truth, f).depth_nm;
    const double g = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * M_PI * uniform());
    data.points.push_back({f, depth * (1.0 + 0.03 * g), 0.03 * depth, 0});
  }
  return data;
}

FitRequest request_for(const std::vector<const char*>& names, const MeasuredData& data) {
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data = data;
  for (const char* name : names) {
    FitVariable v;
    std::string error;
    EXPECT_TRUE(default_fit_variable(request.parameters, *find_parameter_field(name), v, error));
    request.variables.push_back(v);
  }
  return request;
}

ParameterSet truth_set() {
  ParameterSet truth = test::default_parameters();
  truth.screening_coefficient = 1.0e5f;  // default 1.4e5
  truth.activation_energy_em = 0.8f;     // default 0.7
  return truth;
}

const std::vector<double> kFluences{40, 60, 90, 140, 220, 350, 550, 900};

TEST(Fit, RecoversTheFieldsThatMadeTheDataWithinTheirErrors) {
  const ParameterSet truth = truth_set();
  const MeasuredData data = synthetic_data(truth, kFluences, 7);
  std::atomic<bool> interrupt{false};
  for (FitMethod method : {FitMethod::bobyqa, FitMethod::sbplx}) {
    FitRequest request = request_for({"screening_coefficient", "activation_energy_em"}, data);
    request.method = method;
    const FitReport report = fit_model(request, analytic_model(), interrupt);
    ASSERT_EQ(report.status, FitStatus::converged) << report.message;
    SCOPED_TRACE(fit_summary(report));
    for (const FittedParameter& p : report.parameters) {
      const double true_value = field_value(truth, *find_parameter_field(p.name));
      EXPECT_TRUE(std::isfinite(p.standard_error)) << p.name;
      EXPECT_LE(std::fabs(p.value - true_value), 3.0 * p.standard_error) << p.name;
      EXPECT_LE(std::fabs(p.value - true_value), 0.05 * true_value) << p.name;
    }
    EXPECT_TRUE(report.parameters[0].log_scale);
    EXPECT_FALSE(report.parameters[1].log_scale);
    EXPECT_NEAR(report.correlation[0][1], report.correlation[1][0], 1e-12);
    EXPECT_EQ(report.dof, 6);
    EXPECT_GT(report.reduced_chi2, 0.1);
    EXPECT_LT(report.reduced_chi2, 5.0);
    // Runs: one per point per evaluation, plus two per field and point for the errors.
    EXPECT_EQ(report.runs, 8 * report.evaluations + 2 * 2 * 8);
    // The fitted set differs from the start only in the fitted fields.
    ParameterSet expected = test::default_parameters();
    expected.screening_coefficient = report.fitted.screening_coefficient;
    expected.activation_energy_em = report.fitted.activation_energy_em;
    EXPECT_EQ(report.fitted, expected);
  }
}

// Early evaluations on a looser model (the log law off by up to 1 %, as a looser tolerance is):
// the fit ends on its own model with the same values within 0.1 sigma and the same chi2, and
// fewer of its runs are on the fit's model.
TEST(Fit, EarlyEvaluationsOnALooserModelEndWithTheSameValues) {
  const MeasuredData data = synthetic_data(truth_set(), kFluences, 7);
  std::atomic<bool> interrupt{false};
  const DepthModel exact = analytic_model();
  const DepthModel looser = [exact](const std::vector<ModelPoint>& points, DepthQuantity quantity,
                                    int jobs, ModelRunCounter& counter,
                                    const std::atomic<bool>& stop) {
    ModelBatch batch = exact(points, quantity, jobs, counter, stop);
    for (std::size_t i = 0; i < points.size(); ++i)
      batch.results[i].depth_nm *= 1.0 + 0.01 * std::sin(points[i].fluence);
    return batch;
  };
  FitRequest request = request_for({"screening_coefficient", "activation_energy_em"}, data);
  request.coordinate_tolerance = 1e-6;  // both fits to well within their errors
  const FitReport plain = fit_model(request, exact, interrupt);
  request.early_model = looser;
  const FitReport early = fit_model(request, exact, interrupt);
  ASSERT_EQ(plain.status, FitStatus::converged) << plain.message;
  ASSERT_EQ(early.status, FitStatus::converged) << early.message;
  EXPECT_EQ(plain.early_runs, 0);
  EXPECT_GT(early.early_runs, 0);
  EXPECT_LT(early.runs - early.early_runs, plain.runs);
  EXPECT_NEAR(early.chi2, plain.chi2, 0.01);
  for (std::size_t j = 0; j < plain.parameters.size(); ++j) {
    EXPECT_LT(std::abs(early.parameters[j].value - plain.parameters[j].value),
              0.1 * plain.parameters[j].standard_error)
        << plain.parameters[j].name;
  }
  std::printf("runs: plain %d, early %d of which %d early\n", plain.runs, early.runs,
              early.early_runs);
}

TEST(Fit, ExactDataGiveTheExactValuesAndTheReportSaysSo) {
  MeasuredData data = synthetic_data(truth_set(), kFluences, 7);
  for (std::size_t i = 0; i < data.points.size(); ++i)
    data.points[i].depth_nm = log_law(truth_set(), kFluences[i]).depth_nm;
  data.has_sigma = false;
  FitRequest request = request_for({"screening_coefficient", "activation_energy_em"}, data);
  request.coordinate_tolerance = 1e-7;
  std::atomic<bool> interrupt{false};
  const FitReport report = fit_model(request, analytic_model(), interrupt);
  ASSERT_EQ(report.status, FitStatus::converged) << report.message;
  EXPECT_NEAR(report.parameters[0].value, 1.0e5, 1.0e5 * 1e-4);
  EXPECT_NEAR(report.parameters[1].value, 0.8, 0.8 * 1e-4);
  EXPECT_LT(report.chi2, 1e-3);
  const std::string json = report_json(report);
  for (const char* key :
       {"\"screening_coefficient\": {\"value\": ", "\"stderr\": ", "\"initial\": 140000",
        "\"correlation\": [[1, ", "\"chi2\": ", "\"dof\": 6", "\"runs\": ", "\"points\": [",
        "\"residual\": ", "\"status\": \"converged\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
}

TEST(Fit, DataOutOfReachEndWithAMessageAndAReport) {
  // Depths ten times what the log law makes: no screening coefficient within the bounds does.
  MeasuredData data = synthetic_data(test::default_parameters(), {60, 200, 800}, 1);
  for (MeasuredPoint& p : data.points) {
    p.depth_nm *= 1000.0;
    p.sigma_nm *= 10.0;
  }
  std::atomic<bool> interrupt{false};
  const FitReport report =
      fit_model(request_for({"screening_coefficient"}, data), analytic_model(), interrupt);
  EXPECT_EQ(report.status, FitStatus::out_of_reach);
  EXPECT_NE(report.message.find("out of the model's reach"), std::string::npos) << report.message;
  EXPECT_NE(report.message.find("screening_coefficient ended at its lower bound 1400"),
            std::string::npos)
      << report.message;
  EXPECT_EQ(report.points.size(), 3u);
  EXPECT_NE(report_json(report).find("\"status\": \"out_of_reach\""), std::string::npos);
  EXPECT_NE(fit_summary(report).find("NOT a trustworthy fit"), std::string::npos);
}

TEST(Fit, FieldsWithoutEffectFailingStartsAndInterruptionsAreNoFit) {
  const MeasuredData data = synthetic_data(test::default_parameters(), {60, 200, 800}, 1);
  std::atomic<bool> interrupt{false};
  // The log law ignores the density: the data cannot determine it.
  FitReport report = fit_model(request_for({"density"}, data), analytic_model(), interrupt);
  EXPECT_EQ(report.status, FitStatus::undetermined);
  EXPECT_NE(report.message.find("the data do not determine density"), std::string::npos)
      << report.message;

  // Every point at the start fails: nothing to improve on.
  FitRequest failing = request_for({"screening_coefficient"}, data);
  failing.parameters.absorption_coefficient = 1e7f;
  report = fit_model(failing, analytic_model(), interrupt);
  EXPECT_EQ(report.status, FitStatus::failed);
  EXPECT_EQ(report.message, "the runs at the starting values fail: the calculation diverged");
  EXPECT_EQ(report.failed_points, 3);
  // No value was found: the report says null, not 0, and the summary counts no points.
  const std::string failed_json = report_json(report);
  EXPECT_NE(failed_json.find("\"value\": null"), std::string::npos) << failed_json;
  EXPECT_NE(failed_json.find("\"stderr\": null"), std::string::npos);
  EXPECT_NE(failed_json.find("\"chi2\": null"), std::string::npos);
  EXPECT_EQ(fit_summary(report), "fit of total_depth_nm: failed before any point was evaluated\n");

  interrupt.store(true);
  report = fit_model(request_for({"screening_coefficient"}, data), analytic_model(), interrupt);
  EXPECT_EQ(report.status, FitStatus::interrupted);
  EXPECT_EQ(report.runs, 0);
}

TEST(Fit, OnlyFieldsThatCanChangeTheDepthsAreOffered) {
  std::string error;
  EXPECT_NE(find_fit_field("activation_energy_em", error), nullptr) << error;
  for (const char* name : {"wavelength", "chromophore_density", "temperature_scale",
                           "output_interval", "spatial_time_3", "fluence", "ablation_model"}) {
    EXPECT_EQ(find_fit_field(name, error), nullptr) << name;
    EXPECT_TRUE(error.starts_with(std::string(name) + " cannot be fitted: ")) << error;
    const std::string offered = error.substr(error.find("the fields that can are: "));
    EXPECT_EQ(offered.find(name), std::string::npos) << error;
    EXPECT_NE(offered.find("absorption_coefficient, screening_coefficient"), std::string::npos);
  }
  EXPECT_EQ(find_fit_field("screening", error), nullptr);
  EXPECT_NE(error.find("\"screening\" is not a field"), std::string::npos) << error;
}

TEST(Fit, AModelThatCannotRunStopsTheFitWithItsReason) {
  const MeasuredData data = synthetic_data(truth_set(), kFluences, 7);
  std::atomic<bool> interrupt{false};
  const FitReport report = fit_model(request_for({"screening_coefficient"}, data),
                                     analytic_model("cannot start 8 worker threads"), interrupt);
  EXPECT_EQ(report.status, FitStatus::failed);
  EXPECT_TRUE(report.model_unavailable);
  EXPECT_EQ(report.message, "cannot start 8 worker threads");
  EXPECT_EQ(report.runs, 0);

  int runs = 0;
  std::string error;
  EXPECT_TRUE(model_depths(analytic_model("no threads"), truth_set(), DepthQuantity::total,
                           {50, 100}, 2, runs, interrupt, error)
                  .empty());
  EXPECT_EQ(error, "no threads");
  const std::vector<double> depths = model_depths(
      analytic_model(), truth_set(), DepthQuantity::total, {20, 100}, 2, runs, interrupt, error);
  ASSERT_EQ(depths.size(), 2u);
  EXPECT_EQ(depths[0], 0.0);  // under the threshold
  EXPECT_GT(depths[1], 0.0);
  EXPECT_EQ(runs, 2);
}

TEST(Fit, RequestsThatCannotBeFittedAreRefusedBeforeAnyRun) {
  MeasuredData data;
  data.points = {{50, 30, 1, 2}, {100, 60, 1, 3}};
  auto problem = [&](const std::vector<const char*>& names, auto change) {
    FitRequest request = request_for(names, data);
    change(request);
    return check_fit_request(request);
  };
  auto none = [](FitRequest&) {};
  EXPECT_EQ(problem({"screening_coefficient"}, none), "");
  EXPECT_NE(problem({"screening_coefficient", "activation_energy_em"}, none)
                .find("2 data point(s) cannot determine 2 field(s)"),
            std::string::npos);
  EXPECT_NE(problem({"fluence"}, none).find("each data point sets it"), std::string::npos);
  // Fields the model of the parameters, or the fitted depth, does not use.
  EXPECT_EQ(problem({"pre_exponential_vo"}, none),
            "pre_exponential_vo cannot change the depths: the bulk model (ablation_model 2) does "
            "not use it");
  auto surface_model = [](FitRequest& r) { r.parameters.ablation_model = AblationModel::surface; };
  EXPECT_EQ(problem({"pre_exponential_vo"}, surface_model), "");
  EXPECT_NE(problem({"volatile_fraction"}, surface_model).find("surface model"), std::string::npos);
  EXPECT_EQ(problem({"volatile_fraction"}, none), "");
  EXPECT_NE(problem({"volatile_fraction"},
                    [](FitRequest& r) { r.data.quantity = DepthQuantity::surface; })
                .find("scales the volume depth alone"),
            std::string::npos);
  EXPECT_NE(problem({"screening_coefficient"}, [](FitRequest& r) { r.variables[0].lower = 0; })
                .find("lower bound must be greater than 0"),
            std::string::npos);
  EXPECT_NE(
      problem({"activation_energy_em"}, [](FitRequest& r) { r.variables[0].lower = -1; })
          .find("the bound -1 of activation_energy_em is outside its allowed range (0 or more)"),
      std::string::npos);
  EXPECT_NE(problem({"activation_energy_em"}, [](FitRequest& r) { r.variables[0].upper = 0.5; })
                .find("starting value 0.7 of activation_energy_em lies outside its bounds"),
            std::string::npos);
  // A bound written as the start value (0.7, a float in the file) is met on either side.
  EXPECT_EQ(problem({"activation_energy_em"}, [](FitRequest& r) { r.variables[0].lower = 0.7; }),
            "");
  EXPECT_EQ(problem({"activation_energy_em"}, [](FitRequest& r) { r.variables[0].upper = 0.7; }),
            "");
  // The least number of runs the message asks for is the least that is accepted.
  EXPECT_NE(problem({"activation_energy_em"}, [](FitRequest& r) { r.max_runs = 7; })
                .find("max_runs 7 is too low: the error estimate alone takes 4 runs; allow at "
                      "least 8 ("),
            std::string::npos);
  EXPECT_EQ(problem({"activation_energy_em"}, [](FitRequest& r) { r.max_runs = 8; }), "");
  // Nothing ran for a refused request.
  std::atomic<bool> interrupt{false};
  const FitReport report = fit_model(request_for({"fluence"}, data), analytic_model(), interrupt);
  EXPECT_EQ(report.status, FitStatus::failed);
  EXPECT_EQ(report.runs, 0);
}

}  // namespace
}  // namespace kt
