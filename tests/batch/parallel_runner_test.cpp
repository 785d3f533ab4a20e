// The one parallel runner and its users when a thread cannot be started: the runner joins the
// threads it made and reports the problem; the study, the model runs and so the fit and the
// threshold on the calculation stop before any run with that problem, naming it.
#include "engine/parallel_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <system_error>

#include "analysis/fit.h"
#include "analysis/threshold.h"
#include "engine/model_runs.h"
#include "engine/study.h"
#include "test_support.h"

namespace kt {
namespace {

// A starter that refuses the n-th thread (1-based; 0: none) as a process at its thread limit
// would; `started` counts the threads it made.
ThreadStarter refusing_starter(int n, std::atomic<int>& started) {
  return [n, &started](std::function<void()> body) {
    if (started.load() + 1 == n)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++started;
    return std::thread(std::move(body));
  };
}

TEST(ParallelRunner, EveryThreadWorksOnceAfterTheWorkIsPrepared) {
  std::mutex lock;
  std::set<std::thread::id> workers;
  std::atomic<bool> prepared{false};
  std::atomic<int> worked_before_preparation{0};
  ParallelRun run;
  run.jobs = 5;
  run.before_work = [&] { prepared.store(true); };
  const std::string problem = run_in_parallel(run, [&] {
    if (!prepared.load()) ++worked_before_preparation;
    std::lock_guard<std::mutex> guard(lock);
    workers.insert(std::this_thread::get_id());
  });
  EXPECT_EQ(problem, "");
  EXPECT_EQ(workers.size(), 5u);
  EXPECT_EQ(workers.count(std::this_thread::get_id()), 1u);  // the caller is one of them
  EXPECT_EQ(worked_before_preparation.load(), 0);
}

TEST(ParallelRunner, AThreadThatCannotStartMeansNoWorkAndAReason) {
  std::atomic<int> started{0}, worked{0};
  bool prepared = false;
  ParallelRun run;
  run.jobs = 8;
  run.start_thread = refusing_starter(3, started);
  run.before_work = [&] { prepared = true; };
  const std::string problem = run_in_parallel(run, [&] { ++worked; });
  EXPECT_EQ(started.load(), 2);  // both made, both joined (a leaked one would abort the test)
  EXPECT_EQ(worked.load(), 0);
  EXPECT_FALSE(prepared);
  EXPECT_NE(problem.find("cannot start 8 worker threads"), std::string::npos) << problem;
  EXPECT_NE(problem.find("no file was changed"), std::string::npos) << problem;
}

TEST(ParallelRunner, JobsAreCappedEverywhereByOneRule) {
  EXPECT_GE(max_jobs(), 4);
  EXPECT_LE(max_jobs(), 256);
  EXPECT_GE(default_jobs(), 1);
  EXPECT_LE(default_jobs(), max_jobs());
  EXPECT_EQ(capped_jobs(0), default_jobs());
  EXPECT_EQ(capped_jobs(-3), default_jobs());
  EXPECT_EQ(capped_jobs(3), 3);
  EXPECT_EQ(capped_jobs(1024), max_jobs());
  // The runner itself never starts more, whatever it is asked.
  std::atomic<int> started{0};
  ParallelRun run;
  run.jobs = 100000;
  run.start_thread = refusing_starter(0, started);
  EXPECT_EQ(run_in_parallel(run, [] {}), "");
  EXPECT_EQ(started.load(), max_jobs() - 1);
}

TEST(ParallelRunner, StudyModelRunsFitAndThresholdStopBeforeAnyRun) {
  const ParameterSet base = test::default_parameters();
  std::atomic<bool> interrupt{false};
  std::atomic<int> started{0};

  StudyPlan plan;
  ASSERT_EQ(make_product_study({"fluence=40:110:10"}, plan), "");
  const StudyResult study =
      run_study(base, plan, StudyShard{}, 8, interrupt, {}, refusing_starter(3, started));
  EXPECT_NE(study.error.find("cannot start 8 worker threads"), std::string::npos) << study.error;
  EXPECT_TRUE(study.interrupted);  // never a table from a study that did not run

  started = 0;
  ModelRunCounter counter;
  const ModelPoint point{&base, 50.0};
  const ModelBatch batch = run_model_points({point, point, point}, DepthQuantity::total, 3, counter,
                                            interrupt, refusing_starter(2, started));
  EXPECT_TRUE(batch.results.empty());
  EXPECT_NE(batch.error.find("cannot start 3 worker threads"), std::string::npos) << batch.error;
  EXPECT_EQ(counter.runs.load(), 0);

  started = 0;
  ThresholdRequest threshold;
  threshold.parameters = base;
  threshold.jobs = 4;
  const ThresholdReport found =
      find_threshold(threshold, calculation_model(refusing_starter(1, started)), interrupt);
  EXPECT_TRUE(found.model_unavailable);
  EXPECT_NE(found.message.find("cannot start 4 worker threads"), std::string::npos)
      << found.message;

  FitRequest fit;
  fit.parameters = base;
  fit.jobs = 4;
  fit.data.points = {{50, 40, 1, 2}, {100, 80, 1, 3}, {200, 120, 1, 4}};
  FitVariable variable;
  std::string error;
  ASSERT_TRUE(
      default_fit_variable(base, *find_parameter_field("screening_coefficient"), variable, error));
  fit.variables = {variable};
  started = 0;
  const FitReport fitted =
      fit_model(fit, calculation_model(refusing_starter(1, started)), interrupt);
  EXPECT_TRUE(fitted.model_unavailable);
  EXPECT_EQ(fitted.status, FitStatus::failed);
  EXPECT_NE(fitted.message.find("cannot start"), std::string::npos) << fitted.message;
  EXPECT_EQ(fitted.runs, 0);
}

}  // namespace
}  // namespace kt
