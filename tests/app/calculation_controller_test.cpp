#include "app/calculation_controller.h"

#include <gtest/gtest.h>

#include <future>

#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

using test::kinetics_only;

RunRequest plain_request() {
  RunRequest request;
  request.options = kinetics_only();
  return request;
}

TEST(CalculationController, TwoQuickCommandsStartOneRunAndTheOutcomeIsHandledBeforeIdle) {
  // The first run waits at its start until the second command has been refused.
  struct HeldAtStart : test::RecordingObserver {
    std::shared_future<void> go;
    void run_accepted() override {
      RecordingObserver::run_accepted();
      go.wait();
    }
  };
  RunRecords records;
  std::promise<void> release;
  HeldAtStart observer;
  observer.go = release.get_future().share();
  int handled = 0;
  bool idle_while_handled = true;
  {
    CalculationController controller(records.parameters, records.run_state, *records.state,
                                     records.profiles, &observer,
                                     [&](const RunRequest&, const SingleRun&) {
                                       ++handled;
                                       idle_while_handled = records.run_state.idle();
                                     });
    controller.set_request(plain_request());
    EXPECT_TRUE(controller.start_calculation());
    EXPECT_FALSE(controller.start_calculation());
    release.set_value();
    controller.wait();
    EXPECT_FALSE(controller.busy());
    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(idle_while_handled) << "nothing may start before the outcome is handled";
    const RunOutcome outcome = controller.last_outcome();
    EXPECT_EQ(outcome.step_count, 5359);
    EXPECT_EQ(outcome.kinetics_line, " 50.0000   2.79927E+01   3.94849E+00   3.19412E+01");
    const auto accepted = std::count_if(observer.calls.begin(), observer.calls.end(), [](auto& c) {
      return c.kind == test::RecordingObserver::Call::Kind::accepted;
    });
    EXPECT_EQ(accepted, 1);
    // After the run, the command starts the next one.
    EXPECT_TRUE(controller.start_calculation());
  }  // the destructor stops the run and joins its worker
  EXPECT_TRUE(records.run_state.idle());
  EXPECT_EQ(handled, 2);
}

// Stop chosen while nothing runs is refused and leaves nothing behind: the next run is whole.
TEST(CalculationController, StopWhileIdleLeavesTheNextRunWhole) {
  RunRecords records;
  int idle_told = 0;
  CalculationController controller(records.parameters, records.run_state, *records.state,
                                   records.profiles, nullptr, {}, [&] {
                                     ++idle_told;
                                     EXPECT_TRUE(records.run_state.idle());
                                   });
  controller.set_request(plain_request());
  EXPECT_FALSE(controller.request_stop());
  EXPECT_FALSE(records.run_state.stop_requested());
  ASSERT_TRUE(controller.start_calculation());
  controller.wait();
  EXPECT_EQ(controller.last_outcome().end, RunEnd::end_test);
  EXPECT_GT(controller.last_outcome().step_count, 1);
  EXPECT_EQ(idle_told, 1) << "told once, after the run";
}

TEST(CalculationController, RefusedUnlessTheProgramIsIdle) {
  RunRecords records;
  CalculationController controller(records.parameters, records.run_state, *records.state,
                                   records.profiles);
  controller.set_request(plain_request());
  for (RunState busy : {RunState::running, RunState::about_shown, RunState::help_shown}) {
    ASSERT_TRUE(records.run_state.try_enter(busy));
    EXPECT_FALSE(controller.start_calculation());
    records.run_state.leave();
  }
  EXPECT_EQ(records.parameters.values.temperature_scale, 2000.0f) << "no run touched the set";
}

// The worker executes the engine's prepared plan: a refused request starts nothing and says
// why; a request's maker makes the run with the prepared parameters, the program's observer
// and the request's interrupt; without one the calculation on the program's records runs.
TEST(CalculationController, TheWorkerExecutesThePreparedPlan) {
  RunRecords records;
  std::atomic<bool> stop{false};
  test::RecordingObserver observer;
  std::vector<std::string> told;
  CalculationController controller(
      records.parameters, records.run_state, *records.state, records.profiles, &observer,
      [&](const RunRequest& request, const SingleRun& run) {
        told.push_back(run.error);
        EXPECT_EQ(request.parameters.fluence, records.parameters.values.fluence);
      });
  int made = 0;
  RunRequest refused = plain_request();
  refused.options.grid_refinement = 2;  // the published scheme has no finer grid
  RunRequest with_maker = plain_request();
  with_maker.make = [&](SharedParameters& shared, const RunOptions& options) {
    ++made;
    EXPECT_EQ(options.observer, &observer);
    EXPECT_EQ(options.interrupt, &stop);
    EXPECT_EQ(shared.values.fluence, records.parameters.values.fluence);
    RunOutcome outcome;
    outcome.end = RunEnd::step_limit;
    return outcome;
  };
  const struct {
    const char* what;
    RunRequest request;
    const std::atomic<bool>* interrupt;
    RunEnd end;
    const char* refusal;  // part of the error, or "" for none
  } cases[] = {{"refused", refused, nullptr, RunEnd::not_started, "grid"},
               {"made by the request's maker", with_maker, &stop, RunEnd::step_limit, ""},
               {"the calculation", plain_request(), nullptr, RunEnd::end_test, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    told.clear();
    controller.set_request(c.request, c.interrupt);
    ASSERT_TRUE(controller.start_calculation());
    controller.wait();
    const RunOutcome outcome = controller.last_outcome();
    EXPECT_EQ(outcome.end, c.end);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(c.refusal), std::string::npos) << told[0];
    EXPECT_EQ(told[0].empty(), std::string(c.refusal).empty()) << told[0];
    EXPECT_EQ(outcome.not_started_reason, told[0]);
  }
  EXPECT_EQ(made, 1);
  EXPECT_EQ(controller.last_outcome().step_count, 5359);
  EXPECT_EQ(controller.scheme(), Scheme::published);
}

}  // namespace
}  // namespace kt
