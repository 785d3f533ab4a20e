// The requests of the engine's use cases, below both front ends: what each refuses before any
// work (the setting at fault as data), and what a prepared one delivers.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "engine/run_request.h"
#include "engine/study_request.h"
#include "engine/sweep_request.h"
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

}  // namespace
}  // namespace kt
