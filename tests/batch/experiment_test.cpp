// Experiments on the command line and in the engine: the options override the experiment
// file, every refusal is made before anything is written, a study's identity follows the
// experiment and the trace's contents, a train's table gains its columns, and the incubation
// law comes back from thresholds at several pulse numbers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "analysis/incubation.h"
#include "engine/experiment_setup.h"
#include "engine/study.h"
#include "engine/sweep.h"
#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTrace = "# time_ns,intensity\n0,0\n10,1\n20,2\n30,0\n";

class Experiments : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", path("in.par"));
    test::write_file(path("pulse.csv"), kTrace);
    test::write_file(path("lab.toml"), "pulses = 3\nrate_hz = 10\n");
  }
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  int run(const std::string& arguments) const {
    const std::string command = "cd '" + dir_.path().string() + "' && timeout 120 '" +
                                KT_BATCH_PROGRAM + "' " + arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string err() const { return test::read_file(path("err.txt")); }
  std::set<std::string> files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      names.insert(entry.path().filename().string());
    return names;
  }

  test::ScratchDirectory dir_;
};

TEST_F(Experiments, RefusalsNameTheProblemAndWriteNothing) {
  test::write_file(path("bad-trace.csv"), "0,0\n10,1\n5,2\n");
  test::write_file(path("bad.toml"), "pulses = 3\nrate_hz = \"fast\"\n");
  test::write_file(path("material.toml"), "material = \"nothing.toml\"\n");
  struct Case {
    const char* arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"run in.par --pulses 0", 2, "--pulses is 0; it must be 1 or more"},
      {"run in.par --pulses 5 --rate -10", 2, "--rate must be a positive number"},
      {"run in.par --pulses 5", 2, "--pulses 5 needs --rate greater than 0"},
      {"run in.par --trace pulse.csv", 2, "--trace is given but --pulse-shape is not measured"},
      {"run in.par --pulse-shape measured --trace bad-trace.csv", 1, "bad-trace.csv, line 3"},
      {"run in.par --experiment bad.toml", 1, "bad.toml, line 2: rate_hz: must be a number"},
      {"run in.par --experiment lab.toml --scheme published", 2,
       "--scheme published cannot run --pulses 3"},
      {"run in.par --pulses 2 --rate 10 --plot p.txt", 2, "--plot p.txt: the name must end"},
      {"run in.par --experiment material.toml", 1, "nothing.toml"},
      {"sweep in.par --fluence 50,100 --csv s.csv --pulses 0", 2, "--pulses is 0"},
      {"study in.par --vary fluence=50,100 --out out --incubated-absorption -1", 2,
       "--incubated-absorption must be greater than 0"},
      {"threshold in.par --pulses 1,0,5 --rate 10", 2, "--pulses takes whole numbers"},
      {"threshold in.par --pulses 1,2 --plot t.png", 2, "--pulses 2 needs --rate"},
  };
  const std::set<std::string> before = files();
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.arguments), c.status) << c.arguments << "\n" << err();
    EXPECT_NE(err().find(c.message), std::string::npos) << c.arguments << "\n" << err();
    std::set<std::string> after = files();
    after.erase("out.txt");
    after.erase("err.txt");
    EXPECT_EQ(after, before) << c.arguments;
  }
}

// The depth per pulse is drawn where this build has the picture library.
std::string plot_option() {
#ifdef KT_BATCH_PICTURES
  return " --plot depths.png";
#else
  return "";
#endif
}

// A train through the program: the experiment file's train with the rate overridden, its
// pulse table beside the result files, its pulses in the JSON summary and its sweep columns.
TEST_F(Experiments, ATrainFromTheExperimentFileRunsAndReportsItsPulses) {
  ASSERT_EQ(run("run in.par --experiment lab.toml --rate 1e5 --json" + plot_option()), 0) << err();
  const auto summary = nlohmann::json::parse(test::read_file(path("out.txt")));
  ASSERT_EQ(summary["pulses"].size(), 3u);
  EXPECT_GT(summary["pulses"][2]["surface_temperature_before_K"].get<double>(), 310.0);  // 100 kHz
  EXPECT_NEAR(summary["pulses"][2]["cumulative_depth_nm"].get<double>(),
              3 * summary["total_depth_nm"].get<double>(), 1e-9);
  // The cooling's error of the surface temperature before each pulse, and the train's largest.
  double largest = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double error = summary["pulses"][k]["surface_temperature_before_error_K"].get<double>();
    EXPECT_EQ(error == 0.0, k == 0) << k;
    EXPECT_LT(error, 1.0) << k;
    largest = std::max(largest, error);
  }
  EXPECT_EQ(summary["largest_surface_temperature_before_error_K"].get<double>(), largest);
  ASSERT_EQ(run("run in.par --experiment lab.toml --rate 1e5"), 0) << err();
  EXPECT_NE(test::read_file(path("out.txt")).find("cooling error:"), std::string::npos);
  EXPECT_TRUE(fs::exists(path("Data1P.dat")));
  if (!plot_option().empty()) {
    EXPECT_GT(fs::file_size(path("depths.png")), 1000u);
  }

  ASSERT_EQ(run("sweep in.par --fluence 50 --pulses 2 --rate 10 --csv s.csv"), 0) << err();
  const std::string csv = test::read_file(path("s.csv"));
  EXPECT_NE(csv.find(",first_pulse_depth_nm,mean_depth_per_pulse_nm,steps,end\n"),
            std::string::npos)
      << csv;
}

TEST_F(Experiments, OptionsOverrideTheFileAndTheSchemeFollowsThePulses) {
  std::string error;
  ExperimentChoices choices;
  choices.base = read_experiment_file(path("lab.toml"), error);
  ASSERT_TRUE(choices.base) << error;
  auto setup = make_run_setup(choices);
  ASSERT_TRUE(setup) << setup.refusal.text();
  EXPECT_EQ(setup->pulse.pulses, 3);
  EXPECT_EQ(setup->pulse.rate_hz, 10.0);
  EXPECT_EQ(setup->scheme, Scheme::accurate);  // a train, no scheme chosen
  EXPECT_TRUE(setup->is_train());

  choices.pulses = 1;
  choices.pulse_shape = "measured";
  choices.trace = path("pulse.csv");
  setup = make_run_setup(choices);
  ASSERT_TRUE(setup) << setup.refusal.text();
  EXPECT_EQ(setup->pulse.pulses, 1);
  EXPECT_EQ(setup->pulse.rate_hz, 10.0);       // kept from the file
  EXPECT_EQ(setup->scheme, Scheme::accurate);  // pulses given, even 1: the trains' scheme
  ASSERT_TRUE(setup->pulse.trace);
  EXPECT_EQ(setup->pulse.trace->time_ns.size(), 4u);

  // Another shape given over a measured trace drops the trace instead of refusing it.
  ExperimentChoices gaussian;
  gaussian.base = setup->experiment;
  gaussian.pulse_shape = "gaussian";
  setup = make_run_setup(gaussian);
  ASSERT_TRUE(setup) << setup.refusal.text();
  EXPECT_EQ(setup->pulse.shape, PulsePlan::Shape::gaussian);
  EXPECT_FALSE(setup->pulse.trace);

  // One pulse given with no scheme: the trains' scheme; a scheme chosen, or no pulses given:
  // as chosen, or the published one.
  for (const auto& [pulses, scheme, expected] :
       {std::tuple{std::optional<int>(1), std::optional<std::string>(), Scheme::accurate},
        std::tuple{std::optional<int>(1), std::optional<std::string>("published"),
                   Scheme::published},
        std::tuple{std::optional<int>(), std::optional<std::string>(), Scheme::published}}) {
    ExperimentChoices one;
    one.pulses = pulses;
    one.scheme = scheme;
    EXPECT_EQ(make_run_setup(one)->scheme, expected) << pulses.has_value();
  }

  // Only a scheme, or nothing: no identity of its own (a study keeps its old hash).
  ExperimentChoices scheme_only;
  scheme_only.scheme = "accurate";
  EXPECT_EQ(make_run_setup(scheme_only)->identity, "");
  EXPECT_EQ(make_run_setup(ExperimentChoices{})->identity, "");
}

TEST_F(Experiments, AStudyHashFollowsTheExperimentAndTheTraceContents) {
  ParameterSet base;
  set_default_parameter_groups(base);
  auto hash_of = [&](const ExperimentChoices& choices) {
    const auto setup = make_run_setup(choices);
    EXPECT_TRUE(setup) << setup.refusal.text();
    StudyPlan plan;
    EXPECT_EQ(make_product_study({"fluence=50,100"}, plan), "");
    plan.setup = *setup;
    return study_hash(base, plan);
  };
  StudyPlan plain;
  ASSERT_EQ(make_product_study({"fluence=50,100"}, plain), "");
  EXPECT_EQ(hash_of(ExperimentChoices{}), study_hash(base, plain));

  ExperimentChoices measured;
  measured.pulse_shape = "measured";
  measured.trace = path("pulse.csv");
  const std::string first = hash_of(measured);
  EXPECT_EQ(hash_of(measured), first);
  EXPECT_NE(first, study_hash(base, plain));
  // The same samples under another comment: the same study; other samples: another.
  test::write_file(path("pulse.csv"), std::string("# measured again\n") + kTrace);
  EXPECT_EQ(hash_of(measured), first);
  test::write_file(path("pulse.csv"), "0,0\n10,1\n20,3\n30,0\n");
  EXPECT_NE(hash_of(measured), first);

  // A material file counts by its contents too.
  fs::copy_file(fs::path(KT_SOURCE_DIR) / "materials" / "polyimide.toml", path("m.toml"));
  ExperimentChoices material;
  material.material = path("m.toml");
  const std::string with_material = hash_of(material);
  EXPECT_NE(with_material, study_hash(base, plain));
  test::write_file(path("m.toml"), test::read_file(path("m.toml")) + "# edited\n");
  EXPECT_NE(hash_of(material), with_material);

  ExperimentChoices train;
  train.pulses = 10;
  train.rate_hz = 10.0;
  const std::string at_10_hz = hash_of(train);
  train.rate_hz = 100.0;
  EXPECT_NE(hash_of(train), at_10_hz);
}

// A train's sweep table and study table carry the first pulse's and the mean depth per pulse;
// the study's shard tables of a train merge.
TEST(TrainColumns, SweepAndStudyTablesOfATrain) {
  RunOutcome train;
  train.end = RunEnd::end_test;
  train.fluence_used = 100.0;
  train.total_depth_nm = 42.0;  // the mean per pulse
  train.pulses = {PulseRecord{1, 300, 0, 900, 30, 5, 35, 35},
                  PulseRecord{2, 310, 0.1, 950, 40, 9, 49, 84}};
  SweepResult result;
  result.runs.push_back({100.0, train, true});
  const std::string csv = sweep_csv(result, with_train_columns(ResultColumnSet::results, true));
  EXPECT_NE(csv.find(",peak_front_velocity_cm_per_s,first_pulse_depth_nm,mean_depth_per_pulse_nm,"
                     "steps,end\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find(",35,42,0,end test\n"), std::string::npos) << csv;
  // The plain table is as it was.
  EXPECT_EQ(sweep_csv(result).find("first_pulse"), std::string::npos);

  // The train's columns sit between the results and the energy ledger's; taking them away
  // gives the plain sets back.
  const auto names = [](ResultColumnSet set) {
    std::vector<std::string> out;
    for (const ResultColumn& c : result_columns(set)) out.emplace_back(c.name);
    return out;
  };
  std::vector<std::string> expected = names(ResultColumnSet::results);
  expected.insert(expected.end(), {"first_pulse_depth_nm", "mean_depth_per_pulse_nm"});
  const std::vector<std::string> energy = names(ResultColumnSet::with_energy);
  expected.insert(expected.end(), energy.begin() + 5, energy.end());
  EXPECT_EQ(names(ResultColumnSet::train_with_energy), expected);
  EXPECT_EQ(with_train_columns(ResultColumnSet::train_with_energy, false),
            ResultColumnSet::with_energy);
  EXPECT_EQ(with_train_columns(ResultColumnSet::results), ResultColumnSet::train);

  for (ResultColumnSet set : {ResultColumnSet::train, ResultColumnSet::train_with_energy}) {
    StudyPlan plan;
    ASSERT_EQ(make_product_study({"fluence=50,100"}, plan), "");
    plan.columns = set;
    std::vector<ShardTable> tables;
    for (int shard = 1; shard <= 2; ++shard) {
      StudyRow row;
      row.index = static_cast<std::size_t>(shard - 1);
      row.values = {shard == 1 ? 50.0f : 100.0f};
      row.end = StudyEnd::end_test;
      row.results = result_values(train, set);
      tables.push_back({"shard" + std::to_string(shard),
                        study_table_text("0123456789abcdef", plan, {shard, 2}, {row})});
    }
    std::string merged;
    EXPECT_EQ(merge_study_tables(tables, merged), "");
    EXPECT_NE(merged.find("mean_depth_per_pulse_nm"), std::string::npos);
  }
}

// Thresholds of a model whose threshold follows a known law within 2 % (deterministic
// scatter): S comes back within two of its reported standard errors.
TEST(IncubationThresholds, TheLawComesBackFromThresholdsAtSeveralPulseNumbers) {
  const double s = 0.8, f1 = 120.0, alpha_nm = 80.0;
  const std::vector<int> pulses = {1, 2, 5, 10, 20, 50};
  const TrainModel model_of = [&](int n) -> DepthModel {
    const double scatter = 1.0 + 0.02 * std::sin(3.7 * n);
    const double threshold = f1 * std::pow(n, s - 1.0) * scatter;
    return [=](const std::vector<ModelPoint>& points, DepthQuantity, int, ModelRunCounter& counter,
               const std::atomic<bool>&) {
      ModelBatch batch;
      for (const ModelPoint& p : points) {
        counter.runs.fetch_add(1);
        ModelPointResult r;
        r.ok = true;
        r.depth_nm = p.fluence > threshold ? alpha_nm * std::log(p.fluence / threshold) : 0.0;
        batch.results.push_back(r);
      }
      return batch;
    };
  };
  ThresholdRequest request;
  set_default_parameter_groups(request.parameters);
  request.parameters.fluence = 100.0f;
  request.depth_nm = 1e-3;
  std::atomic<bool> interrupt{false};
  const IncubationThresholds result =
      find_incubation_thresholds(request, pulses, model_of, interrupt);
  ASSERT_TRUE(result.ok) << result.message;
  ASSERT_EQ(result.thresholds.size(), pulses.size());
  EXPECT_GT(result.fit.s_stderr, 0.0);
  EXPECT_LT(std::abs(result.fit.s - s), 2.0 * result.fit.s_stderr);
  EXPECT_LT(std::abs(result.fit.single_pulse_threshold - f1), 2.0 * result.fit.single_pulse_stderr);

  const auto json = nlohmann::json::parse(incubation_json(result, request));
  EXPECT_EQ(json["thresholds"].size(), pulses.size());
  EXPECT_EQ(json["thresholds"][3]["pulses"], 10);
  EXPECT_NEAR(json["s"].get<double>(), result.fit.s, 1e-12);
  EXPECT_NE(incubation_summary(result, request).find("S = "), std::string::npos);
}

}  // namespace
}  // namespace kt
