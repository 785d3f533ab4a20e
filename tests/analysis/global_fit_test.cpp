// Fits across data sets on a cheap analytic model whose curve depends on the pulse width and the
// absorption as well as on the two kinetic fields, so that the values that made each data set
// are known exactly. The global fit on the calculation itself is in the slow suite.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <random>

#include "analysis/fit.h"
#include "analysis/report.h"
#include "test_support.h"

namespace kt {
namespace {

// depth = L ln(F / F_th) above F_th with L = 1e7 / screening * (3.2e5 / absorption) *
// (15 / pulse_width)^0.1 nm and F_th = 30 (Em / 0.7) (pulse_width / 15)^0.5 mJ/cm^2.
double conditioned_depth(const ParameterSet& p, double fluence) {
  const double width = p.pulse_width / 15.0;
  const double length =
      1e7 / p.screening_coefficient * (3.2e5 / p.absorption_coefficient) * std::pow(width, -0.1);
  const double threshold = 30.0 * p.activation_energy_em / 0.7 * std::sqrt(width);
  return fluence > threshold ? length * std::log(fluence / threshold) : 0.0;
}

DepthModel conditioned_model() {
  return [](const std::vector<ModelPoint>& points, DepthQuantity, int, ModelRunCounter& counter,
            const std::atomic<bool>&) {
    ModelBatch batch;
    for (const ModelPoint& point : points) {
      counter.runs.fetch_add(1);
      batch.results.push_back({true, conditioned_depth(*point.parameters, point.fluence), 1, ""});
    }
    return batch;
  };
}

const std::vector<double> kFluences{60, 90, 140, 220, 350, 550, 900, 1400, 2200};

// CSV rows "label,condition,fluence,depth,sigma" made by the model with 3 % noise.
std::string synthetic_rows(const std::string& label, const std::string& condition,
                           const ParameterSet& truth, std::mt19937& random) {
  auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  std::string rows;
  for (double f : kFluences) {
    const double depth = conditioned_depth(truth, f);
    const double g = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * M_PI * uniform());
    rows += label + condition + "," + std::to_string(f) + "," +
            std::to_string(depth * (1.0 + 0.03 * g)) + "," + std::to_string(0.03 * depth) + "\n";
  }
  return rows;
}

MeasuredData parsed(const std::string& text) {
  MeasuredData data;
  std::string error;
  EXPECT_TRUE(parse_measured_csv(text, "m.csv", data, error)) << error;
  return data;
}

FitVariable variable(const ParameterSet& start, const char* name) {
  FitVariable v;
  std::string error;
  EXPECT_TRUE(default_fit_variable(start, *find_parameter_field(name), v, error)) << error;
  return v;
}

TEST(GlobalFit, TwoPulseWidthsPinTheSharedFieldsTighterThanEitherAlone) {
  ParameterSet truth = test::default_parameters();
  truth.screening_coefficient = 1.0e5f;
  truth.activation_energy_em = 0.8f;
  std::mt19937 random(11);
  std::string text = "pulse_width (ns),fluence_mJ_per_cm2,total_depth_nm,sigma_nm\n";
  for (float width : {10.0f, 30.0f}) {
    truth.pulse_width = width;
    text += synthetic_rows("", std::to_string(static_cast<int>(width)), truth, random);
  }
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data = parsed(text);
  ASSERT_EQ(request.data.datasets.size(), 2u);
  EXPECT_EQ(request.data.datasets[1].name, "pulse_width=30");
  for (const char* name : {"screening_coefficient", "activation_energy_em"})
    request.variables.push_back(variable(request.parameters, name));
  std::atomic<bool> interrupt{false};
  const FitReport global = fit_model(request, conditioned_model(), interrupt);
  ASSERT_EQ(global.status, FitStatus::converged) << global.message;
  const std::vector<FitReport> alone = fit_each_set(request, conditioned_model(), interrupt);
  ASSERT_EQ(alone.size(), 2u);
  SetReports sets;
  sets.separately = alone;
  SCOPED_TRACE(fit_summary(global, &sets));
  for (std::size_t j = 0; j < 2; ++j) {
    const FittedParameter& p = global.parameters[j];
    const double true_value = field_value(truth, *find_parameter_field(p.name));
    EXPECT_LE(std::fabs(p.value - true_value), 2.0 * p.standard_error) << p.name;
    EXPECT_LE(std::fabs(p.value - true_value), 0.1 * true_value) << p.name;
    for (const FitReport& one : alone) {
      ASSERT_EQ(one.status, FitStatus::converged) << one.message;
      EXPECT_GT(one.parameters[j].standard_error, p.standard_error) << p.name;
    }
  }
  // Each data set's chi-square is its share of the whole.
  ASSERT_EQ(global.datasets.size(), 2u);
  EXPECT_EQ(global.datasets[0].points, 9);
  EXPECT_NEAR(global.datasets[0].chi2 + global.datasets[1].chi2, global.chi2, 1e-9 * global.chi2);
  EXPECT_EQ(global.datasets[1].fitted.pulse_width, 30.0f);
  const std::string json = report_json(global, nullptr, &sets);
  for (const char* key :
       {"\"datasets\": [", "\"name\": \"pulse_width=10\", \"points\": 9",
        "\"separately\": {\"status\": \"converged\"", "\"dataset\": \"pulse_width=30\"}"})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
}

TEST(GlobalFit, AbsorptionPerDataSetAndOneSharedActivationEnergy) {
  ParameterSet truth = test::default_parameters();
  truth.activation_energy_em = 0.8f;
  std::mt19937 random(5);
  std::string text = "dataset,fluence_mJ_per_cm2,total_depth_nm,sigma_nm\n";
  truth.absorption_coefficient = 2.0e5f;
  text += synthetic_rows("308 nm", "", truth, random);
  truth.absorption_coefficient = 4.5e5f;
  text += synthetic_rows("248 nm", "", truth, random);
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data = parsed(text);
  request.variables.push_back(variable(request.parameters, "activation_energy_em"));
  for (const FitVariable& v :
       per_set_variables(variable(request.parameters, "absorption_coefficient"), request.data))
    request.variables.push_back(v);
  std::atomic<bool> interrupt{false};
  const FitReport report = fit_model(request, conditioned_model(), interrupt);
  ASSERT_EQ(report.status, FitStatus::converged) << report.message;
  SCOPED_TRACE(fit_summary(report));
  ASSERT_EQ(report.parameters.size(), 3u);
  const double expected[] = {0.8, 2.0e5, 4.5e5};
  const char* sets[] = {"", "308 nm", "248 nm"};
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_EQ(report.parameters[j].dataset, sets[j]);
    EXPECT_LE(std::fabs(report.parameters[j].value - expected[j]), 0.05 * expected[j]) << j;
    EXPECT_LE(std::fabs(report.parameters[j].value - expected[j]),
              3.0 * report.parameters[j].standard_error)
        << j;
  }
  EXPECT_EQ(report.correlation.size(), 3u);
  EXPECT_NE(report_json(report).find("\"absorption_coefficient[248 nm]\": {\"dataset\": "),
            std::string::npos);
}

TEST(GlobalFit, AConditionColumnChangesOnlyItsRowsRuns) {
  // One data set (one label) whose fourth row was measured at 30 ns, the others at 15 ns.
  const MeasuredData data = parsed(
      "dataset,fluence_mJ_per_cm2,total_depth_nm,pulse_width\n"
      "a,50,20,15\na,100,60,15\na,200,100,15\na,400,140,30\na,800,180,15\n");
  ASSERT_EQ(data.datasets.size(), 1u);
  std::mutex lock;
  std::vector<std::pair<double, float>> runs;  // (fluence, pulse width)
  const DepthModel inner = conditioned_model();
  const DepthModel recording = [&](const std::vector<ModelPoint>& points, DepthQuantity q, int jobs,
                                   ModelRunCounter& counter, const std::atomic<bool>& interrupt) {
    std::lock_guard<std::mutex> hold(lock);
    for (const ModelPoint& p : points) runs.emplace_back(p.fluence, p.parameters->pulse_width);
    return inner(points, q, jobs, counter, interrupt);
  };
  FitRequest request;
  request.parameters = test::default_parameters();
  request.data = data;
  request.variables.push_back(variable(request.parameters, "activation_energy_em"));
  std::atomic<bool> interrupt{false};
  fit_model(request, recording, interrupt);
  ASSERT_FALSE(runs.empty());
  for (const auto& [fluence, width] : runs)
    EXPECT_EQ(width, fluence == 400 ? 30.0f : 15.0f) << fluence;
}

TEST(GlobalFit, BadConditionsAndTooSmallDataSetsAreRefusedNamingTheirPlace) {
  const std::pair<const char*, const char*> files[] = {
      {"fluence_mJ_per_cm2,total_depth_nm,pulse_widht\n50,1,10\n",
       "m.csv, line 1: column \"pulse_widht\" (column 3) is not a field; did you mean "
       "pulse_width?"},
      {"fluence_mJ_per_cm2,total_depth_nm,ablation_model\n50,1,1\n",
       "m.csv, line 1: column \"ablation_model\" (column 3) names ablation_model, which a row "
       "cannot set: it is a choice"},
      {"fluence_mJ_per_cm2,total_depth_nm,Pulse width (ns)\n50,1,10\n60,2,-5\n",
       "m.csv, line 3: column pulse_width: Pulsewidth [ns] is -5; it must be"},
      {"fluence_mJ_per_cm2,total_depth_nm,reflection_coefficient\n50,1,1.5\n",
       "m.csv, line 2: column reflection_coefficient: "},
      {"fluence_mJ_per_cm2,total_depth_nm,pulses\n50,1,2.5\n",
       "m.csv, line 2: pulses is 2.5; it must be a whole number"},
      {"fluence_mJ_per_cm2,total_depth_nm,dataset\n50,1,\n", "m.csv, line 2: dataset is empty"},
  };
  for (const auto& [text, expected] : files) {
    MeasuredData data;
    std::string error;
    EXPECT_FALSE(parse_measured_csv(text, "m.csv", data, error)) << text;
    EXPECT_TRUE(error.starts_with(expected)) << error;
  }
  // A column that is no field and not close to one is only noted.
  MeasuredData noted = parsed("fluence_mJ_per_cm2,total_depth_nm,operator\n50,1,7\n");
  EXPECT_EQ(noted.warnings.size(), 1u);
  EXPECT_TRUE(noted.conditions.empty());

  const MeasuredData data = parsed(
      "dataset,fluence_mJ_per_cm2,total_depth_nm,pulse_width\n"
      "a,50,20,15\na,100,60,15\na,200,100,15\nb,400,140,30\n");
  auto problem = [&](auto change) {
    FitRequest request;
    request.parameters = test::default_parameters();
    request.data = data;
    request.variables.push_back(variable(request.parameters, "activation_energy_em"));
    change(request);
    return check_fit_request(request);
  };
  EXPECT_EQ(problem([](FitRequest&) {}), "");
  EXPECT_EQ(problem([](FitRequest& r) { r.variables = per_set_variables(r.variables[0], r.data); }),
            "data set \"b\" of m.csv has 1 point(s); its 1 field(s) fitted per data set need at "
            "least 2");
  EXPECT_EQ(
      problem([](FitRequest& r) { r.variables.push_back(variable(r.parameters, "pulse_width")); }),
      "pulse_width is set row by row by column 4 of m.csv; it cannot also be fitted");
  EXPECT_EQ(problem([](FitRequest& r) {
              r.variables.push_back(per_set_variables(r.variables[0], r.data)[0]);
            }),
            "activation_energy_em is named in both vary and vary_each");
  EXPECT_EQ(problem([](FitRequest& r) {
              r.data = parsed(
                  "fluence_mJ_per_cm2,total_depth_nm,pre_exponential_vo\n50,1,3e6\n"
                  "60,2,3e6\n");
            }),
            "column 3 of m.csv sets pre_exponential_vo, which cannot change the depths: the bulk "
            "model (ablation_model 2) does not use it");
}

}  // namespace
}  // namespace kt
