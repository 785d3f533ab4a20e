#include "solver/calculation_controller.h"

#include <gtest/gtest.h>

#include <future>

#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

using test::kinetics_only;

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
  RunOptions options = kinetics_only();
  options.observer = &observer;
  int handled = 0;
  bool idle_while_handled = true;
  {
    CalculationController controller(records.parameters, records.run_state, *records.state,
                                     records.profiles, options,
                                     [&](const RunOutcome&) {
                                       ++handled;
                                       idle_while_handled = records.run_state.idle();
                                     });
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
                                   records.profiles, kinetics_only(), {}, [&] {
                                     ++idle_told;
                                     EXPECT_TRUE(records.run_state.idle());
                                   });
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
                                   records.profiles, kinetics_only());
  for (RunState busy : {RunState::running, RunState::about_shown, RunState::help_shown}) {
    ASSERT_TRUE(records.run_state.try_enter(busy));
    EXPECT_FALSE(controller.start_calculation());
    records.run_state.leave();
  }
  EXPECT_EQ(records.parameters.values.temperature_scale, 2000.0f) << "no run touched the set";
}

}  // namespace
}  // namespace kt
