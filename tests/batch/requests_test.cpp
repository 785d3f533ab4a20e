// The requests of the engine's use cases, below both front ends: what each refuses before any
// work (the setting at fault as data), and what a prepared one delivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/crater.h"
#include "engine/fit_request.h"
#include "engine/run_request.h"
#include "engine/spot_train.h"
#include "engine/study_request.h"
#include "engine/sweep_request.h"
#include "engine/threshold_request.h"
#include "test_support.h"

namespace kt {
namespace {

struct RefusalCase {
  const char* what;
  std::function<Refusal()> refusal;
  const char* setting;
  const char* problem;  // the start of the problem
};

void expect_refusals(const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    const Refusal r = c.refusal();
    EXPECT_EQ(r.setting, c.setting) << c.what;
    EXPECT_EQ(r.problem.rfind(c.problem, 0), 0u) << c.what << ": " << r.problem;
  }
}

template <typename Request>
std::function<Refusal()> refused(Request request, const std::function<void(Request&)>& change) {
  return [request, change]() mutable {
    change(request);
    const auto prepared = request.prepare();
    EXPECT_FALSE(prepared);
    return prepared.refusal;
  };
}

ParameterSet runnable() {
  ParameterSet p = test::default_parameters();
  p.fluence = 300.0f;
  return p;
}

TEST(Requests, EachUseCaseRefusesBeforeAnyWorkNamingTheSetting) {
  RunRequest run;
  run.parameters = runnable();
  run.parameter_file = "in.par";
  SweepRequest sweep;
  sweep.parameters = runnable();
  sweep.parameter_file = "in.par";
  sweep.options.fluences = {100.0, 200.0};
  StudyRequest study;
  study.base = runnable();
  study.parameter_file = "in.par";
  ASSERT_EQ(make_product_study({"fluence=100,200"}, study.plan), "");
  expect_refusals({
      {"run refinement", refused<RunRequest>(run, [](auto& r) { r.options.refinement = 0; }),
       "refinement", "refinement is 0; it must be from 1 to 64"},
      {"run grid on the published scheme",
       refused<RunRequest>(run, [](auto& r) { r.options.grid_refinement = 2; }), "grid_refinement",
       "grid_refinement is 2; it must be from 1 to "},
      {"run data-file name",
       refused<RunRequest>(run,
                           [](auto& r) {
                             r.parameters.data_file_name.fill(' ');
                             r.parameters.data_file_name[0] = '/';
                           }),
       "", "in.par: the data-file name cannot be used"},
      {"sweep without fluences",
       refused<SweepRequest>(sweep, [](auto& r) { r.options.fluences.clear(); }), "fluences",
       "a sweep needs at least one fluence"},
      {"sweep refinement", refused<SweepRequest>(sweep, [](auto& r) { r.options.refinement = 65; }),
       "refinement", "refinement is 65"},
      {"sweep fluence", refused<SweepRequest>(sweep, [](auto& r) { r.options.fluences[1] = -1; }),
       "fluences", "in.par: fluence -1: "},
      {"study refinement", refused<StudyRequest>(study, [](auto& r) { r.plan.refinement = 0; }),
       "refinement", "refinement is 0"},
      {"study too large for one run",
       refused<StudyRequest>(study,
                             [](auto& r) {
                               ASSERT_EQ(make_product_study(
                                             {"fluence=1:2000:1", "pulse_width=1:1000:1"}, r.plan),
                                         "");
                             }),
       "shard", "the study would run 2000000 points at once"},
      {"study of refused points",
       refused<StudyRequest>(study, [](auto& r) { r.base.ambient_temperature = 1.0f; }), "",
       "in.par: no point of the study can run: "},
  });
}

TEST(Requests, PreparedRunsDeliverTheirResults) {
  std::atomic<bool> interrupt{false};
  RunRequest run;
  run.parameters = runnable();
  run.options.write_profile_files = false;
  run.options.append_kinetics_line = false;
  const Prepared<RunPlan> plan = run.prepare();
  ASSERT_TRUE(plan) << plan.refusal.text();
  const SingleRun made = plan->execute(&interrupt);
  EXPECT_EQ(made.error, "");
  EXPECT_EQ(made.outcome.end, RunEnd::end_test);

  SweepRequest sweep;
  sweep.parameters = runnable();
  sweep.options.fluences = {200.0, 300.0};
  sweep.options.write_kinetics_file = false;
  const Prepared<SweepPlan> swept = sweep.prepare();
  ASSERT_TRUE(swept) << swept.refusal.text();
  const SweepResult curve = swept->execute(interrupt);
  ASSERT_EQ(curve.runs.size(), 2u);
  // The sweep's run at 300 is the single run at 300.
  EXPECT_EQ(curve.runs[1].outcome.kinetics_line, made.outcome.kinetics_line);

  // The shards of a study merge into the table of the whole study, checked against it.
  StudyRequest study;
  study.base = runnable();
  ASSERT_EQ(make_product_study({"fluence=200,300,400"}, study.plan), "");
  const Prepared<StudyJob> whole = study.prepare();
  ASSERT_TRUE(whole) << whole.refusal.text();
  const std::string table = whole->table_text(whole->execute(interrupt));
  EXPECT_EQ(table.rfind("# study " + whole->hash + "; 3 points; shard 1/1\n", 0), 0u) << table;
  MergeRequest merge;
  for (int k = 1; k <= 2; ++k) {
    StudyRequest part = study;
    part.shard = {k, 2};
    const Prepared<StudyJob> shard = part.prepare();
    ASSERT_TRUE(shard);
    EXPECT_EQ(shard->hash, whole->hash);
    merge.tables.push_back(
        {"shard " + std::to_string(k), shard->table_text(shard->execute(interrupt))});
  }
  // In chunks (a cluster's tasks): the size of one run is not checked, and the chunks' rows,
  // joined, make the same table.
  StudyRequest chunked = study;
  chunked.in_chunks = true;
  chunked.shard = {2, 2};  // a study in chunks is whole
  const Prepared<StudyJob> in_chunks = chunked.prepare();
  ASSERT_TRUE(in_chunks) << in_chunks.refusal.text();
  StudyResult joined;
  for (const std::vector<std::size_t>& chunk : {std::vector<std::size_t>{0, 1}, {2}})
    for (StudyRow& row : in_chunks->execute_points(chunk, interrupt).rows)
      joined.rows.push_back(std::move(row));
  EXPECT_EQ(in_chunks->table_text(joined), table);
  chunked.plan = {};
  ASSERT_EQ(make_product_study({"fluence=1:2000:1", "pulse_width=1:1000:1"}, chunked.plan), "");
  EXPECT_TRUE(chunked.prepare());

  merge.study = study;
  const Prepared<MergePlan> merging = merge.prepare();
  ASSERT_TRUE(merging) << merging.refusal.text();
  EXPECT_EQ(merging->execute().table, table);
  // The same tables are not those of another study.
  merge.study->plan.refinement = 2;
  const MergeResult foreign = merge.prepare()->execute();
  EXPECT_NE(foreign.problem, "");
  EXPECT_EQ(foreign.table, "");
}

// The crater step: after a run on a spot that started and did not diverge, the crater made is
// written beside the run's result files; a train's stopped part way as its pulses finished at
// every radius, marked as such; none when no pulse was finished or the train failed.
TEST(Requests, TheCraterStepWritesWhatWasMadeAndNeverAPartAsTheWhole) {
  test::ScratchDirectory dir;
  test::CurrentDirectory here(dir.path());
  ParameterSet used = runnable();
  RunSetup plain, spot;
  spot.spot.beam = SpotPlan::Beam::gaussian;
  spot.spot.radius_um = 20.0;
  ASSERT_TRUE(spot.spot.active());
  SpotTrainResult whole_train;
  Crater& made = whole_train.crater;
  made.spot = spot.spot;
  made.peak_fluence = used.fluence;
  made.radius_um = {0.0, 10.0};
  made.fluence = {300.0, 100.0};
  made.depth_nm = made.cumulative_nm = {{50.0, 10.0}};
  made.volume_um3 = {1.0};
  made.diameter_um = {20.0};
  made.interpolated = false;
  SpotTrainResult cut = whole_train, none = whole_train, failed = whole_train;
  cut.interrupted = none.interrupted = true;
  cut.crater.planned_pulses = none.crater.planned_pulses = 3;
  none.crater.depth_nm.clear();
  none.crater.cumulative_nm.clear();
  failed.failure = "the cooling failed";
  RunOutcome whole, stopped, diverged, not_started;
  whole.end = RunEnd::end_test;
  stopped.end = RunEnd::stop;
  diverged.end = RunEnd::diverged;
  const std::string table = crater_file_name(result_file_base(used.data_file_name));
  const struct {
    const char* what;
    const RunSetup& setup;
    const RunOutcome& outcome;
    const SpotTrainResult* train;
    bool taken;
    std::string error;  // why no crater
    const Crater* written;
  } cases[] = {
      {"no spot", plain, whole, &whole_train, false, "", nullptr},
      {"diverged", spot, diverged, &whole_train, false, "", nullptr},
      {"not started", spot, not_started, nullptr, false, "", nullptr},
      {"a failed train", spot, whole, &failed, false, "", nullptr},
      {"a single pulse stopped", spot, stopped, nullptr, true, kNoPulseAtEveryRadius, nullptr},
      {"a train stopped before a pulse was finished", spot, stopped, &none, true,
       kNoPulseAtEveryRadius, nullptr},
      {"a train stopped after one of three pulses", spot, stopped, &cut, true, "", &cut.crater},
      {"a whole train", spot, whole, &whole_train, true, "", &made},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(table);
    const CraterStep step = take_crater_step(used, c.setup, 1, c.outcome, nullptr, c.train);
    EXPECT_EQ(step.taken, c.taken);
    EXPECT_EQ(step.crater.error, c.error);
    EXPECT_FALSE(step.interrupted);
    EXPECT_EQ(step.file, c.written ? table : "");
    EXPECT_EQ(std::filesystem::exists(table), c.written != nullptr);
    if (c.written) {
      EXPECT_EQ(test::read_file(table), crater_table_text(*c.written));
    }
  }
  EXPECT_NE(crater_table_text(cut.crater).find("# INTERRUPTED: only the 1 of 3 pulses"),
            std::string::npos);
}

// A cheap model, where the calculation is not the point: d = 200 nm ln(F / F_th), with F_th =
// 100 mJ/cm^2 (E / 0.7) N^-0.2 after N pulses.
double cheap_depth(const ParameterSet& p, double fluence, int pulses) {
  const double threshold =
      100.0 * p.activation_energy_em / 0.7 * std::pow(std::max(pulses, 1), -0.2);
  return fluence > threshold ? 200.0 * std::log(fluence / threshold) : 0.0;
}

DepthModel cheap_model(int pulses) {
  return [pulses](const std::vector<ModelPoint>& points, DepthQuantity, int,
                  ModelRunCounter& counter, const std::atomic<bool>&) {
    ModelBatch batch;
    for (const ModelPoint& point : points) {
      counter.runs.fetch_add(1);
      batch.results.push_back({true, cheap_depth(*point.parameters, point.fluence, pulses), 1, ""});
    }
    return batch;
  };
}

MeasuredData measured(const std::string& text) {
  MeasuredData data;
  std::string error;
  EXPECT_TRUE(parse_measured_csv(text, "m.csv", data, error)) << error;
  return data;
}

TEST(Requests, FitsAndThresholdsAreBuiltAndCheckedBeforeAnyRun) {
  ModelFitRequest fit;
  fit.parameters = runnable();
  fit.parameter_file = "in.par";
  fit.data = measured("fluence_mJ_per_cm2,total_depth_nm\n100,50\n200,150\n400,300\n800,450\n");
  fit.vary = {"activation_energy_em"};
  ModelThresholdRequest threshold;
  threshold.parameters = runnable();
  threshold.parameter_file = "in.par";
  threshold.setups = {RunSetup{}};
  expect_refusals({
      {"fit without fields", refused<ModelFitRequest>(fit, [](auto& r) { r.vary.clear(); }), "vary",
       "fit needs the fields to vary (or analyse for"},
      {"fit of an unknown field",
       refused<ModelFitRequest>(fit, [](auto& r) { r.vary_each = {"flunce"}; }), "vary_each",
       "vary_each: "},
      {"fit with a range of a field not varied",
       refused<ModelFitRequest>(fit,
                                [](auto& r) {
                                  r.bounds = {{"pulse_width", {1.0, 2.0}}};
                                }),
       "bounds", "bounds names \"pulse_width\", which is not in vary or vary_each"},
      {"fit of a field at 0 without its range",
       refused<ModelFitRequest>(fit,
                                [](auto& r) {
                                  r.parameters.screening_coefficient = 0.0f;
                                  r.vary = {"screening_coefficient"};
                                }),
       "bounds", "screening_coefficient is 0; give its range with bounds screening_coefficient"},
      {"threshold on refused parameters",
       refused<ModelThresholdRequest>(threshold,
                                      [](auto& r) { r.parameters.ambient_temperature = 1.0f; }),
       "", "in.par: "},
  });
  // A field at 0 is checked against the range given for it (here a log-scale field, which
  // needs a start above 0 whatever its range).
  ModelFitRequest ranged = fit;
  ranged.parameters.screening_coefficient = 0.0f;
  ranged.vary = {"screening_coefficient"};
  ranged.bounds = {{"screening_coefficient", {0.0, 1e5}}};
  EXPECT_EQ(ranged.prepare().refusal.problem,
            "screening_coefficient is fitted on a log scale, so its lower bound must be greater "
            "than 0");

  // The Beer-Lambert analysis alone runs no model.
  ModelFitRequest analysed = fit;
  analysed.vary.clear();
  analysed.analyse = true;
  const Prepared<ModelFitPlan> analysis = analysed.prepare();
  ASSERT_TRUE(analysis) << analysis.refusal.text();
  std::atomic<bool> interrupt{false};
  const ModelFitResult result = analysis->execute(interrupt);
  EXPECT_TRUE(result.beer_lambert.ok) << result.beer_lambert.message;
  EXPECT_EQ(result.report.runs, 0);

  // On a cheap model: the fit finds the field that made the data, and its curve follows it.
  ParameterSet truth = runnable();
  truth.activation_energy_em = 0.9f;
  std::string rows = "fluence_mJ_per_cm2,total_depth_nm\n";
  for (double f : {150.0, 250.0, 400.0, 700.0, 1200.0, 2000.0})
    rows += std::to_string(f) + "," + std::to_string(cheap_depth(truth, f, 1)) + "\n";
  ModelFitRequest cheap = fit;
  cheap.data = measured(rows);
  Prepared<ModelFitPlan> fitting = cheap.prepare();
  ASSERT_TRUE(fitting) << fitting.refusal.text();
  fitting.plan->model = cheap_model(1);
  const ModelFitResult fitted = fitting->execute(interrupt);
  ASSERT_EQ(fitted.report.status, FitStatus::converged) << fitted.report.message;
  EXPECT_NEAR(fitted.report.parameters.at(0).value, 0.9, 1e-3);
  std::vector<double> fluences, depths;
  EXPECT_EQ(fitting->model_curve({0, 5}, fitted.report.fitted, 0, interrupt, fluences, depths), "");
  ASSERT_EQ(depths.size(), 48u);
  EXPECT_NEAR(depths.back(), cheap_depth(truth, fluences.back(), 1), 0.5);

  // Early evaluations at a looser tolerance only when asked for, and only on the accurate scheme
  // run to a tighter tolerance: a default fit makes no more runs than one without them.
  RunSetup accurate;
  accurate.scheme = Scheme::accurate;
  accurate.tolerance = kAnalysisTolerance;
  const struct {
    RunSetup setup;
    double early_tolerance;
    bool early;
  } early_cases[] = {
      {accurate, 0.0, false},
      {accurate, kEarlyTolerance, true},
      {accurate, kAnalysisTolerance, false},
      {RunSetup{}, kEarlyTolerance, false},
  };
  for (const auto& c : early_cases) {
    ModelFitRequest asked = cheap;
    asked.setup = c.setup;
    asked.early_tolerance = c.early_tolerance;
    const Prepared<ModelFitPlan> plan = asked.prepare();
    ASSERT_TRUE(plan) << plan.refusal.text();
    EXPECT_EQ(static_cast<bool>(plan->request.early_model), c.early) << c.early_tolerance;
  }

  // The threshold at one pulse plan, and at several pulse numbers with the law through them.
  ModelThresholdRequest series = threshold;
  series.pulses = {1, 10};
  series.setups = {RunSetup{}, RunSetup{}};
  for (ModelThresholdRequest* asked : {&threshold, &series}) {
    Prepared<ModelThresholdPlan> search = asked->prepare();
    ASSERT_TRUE(search) << search.refusal.text();
    search.plan->models = [](int n) { return cheap_model(n); };
    if (!search->series()) {
      const ThresholdReport one = search->execute(interrupt);
      ASSERT_TRUE(one.ok) << one.message;
      EXPECT_NEAR(one.fluence, 100.0 * std::exp(1.0 / 200.0), 0.1);
      continue;
    }
    const IncubationThresholds law = search->execute_series(interrupt);
    ASSERT_TRUE(law.ok) << law.message;
    EXPECT_NEAR(law.fit.s, 0.8, 2e-3);
  }
}

}  // namespace
}  // namespace kt
