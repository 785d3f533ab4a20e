#include "solver/calculation_controller.h"

#include <gtest/gtest.h>

#include "tests/solver/solver_test_support.h"

namespace kt {
namespace {

using test::RunRecords;

using test::kinetics_only;

TEST(CalculationController, TwoQuickCommandsStartOneRun) {
  RunRecords records;
  test::RecordingSink sink;
  {
    CalculationController controller(records.parameters, records.flags, *records.state,
                                     records.scales, records.profiles, sink, kinetics_only());
    EXPECT_TRUE(controller.start_calculation());
    EXPECT_FALSE(controller.start_calculation());
    controller.wait();
    EXPECT_FALSE(controller.busy());
    const RunOutcome outcome = controller.last_outcome();
    EXPECT_EQ(outcome.step_count, 5359);
    EXPECT_EQ(outcome.kinetics_line, " 50.0000   2.79927E+01   3.94849E+00   3.19412E+01");
    const auto titles = std::count_if(sink.calls.begin(), sink.calls.end(), [](const auto& c) {
      return c.kind == test::RecordingSink::Call::Kind::title_page;
    });
    EXPECT_EQ(titles, 1);
    // After the run, the command starts the next one.
    EXPECT_TRUE(controller.start_calculation());
  }  // the destructor waits for the worker
  EXPECT_EQ(records.flags.run_active.load(), 0);
}

TEST(CalculationController, StopWhileIdleEndsTheNextRunAfterItsFirstStep) {
  RunRecords records;
  CalculationController controller(records.parameters, records.flags, *records.state,
                                   records.scales, records.profiles, records.null_sink,
                                   kinetics_only());
  controller.request_stop();
  EXPECT_EQ(records.flags.stop_request.load(), 999);
  ASSERT_TRUE(controller.start_calculation());
  controller.wait();
  EXPECT_EQ(controller.last_outcome().end, RunEnd::stop);
  EXPECT_EQ(controller.last_outcome().step_count, 1);
  EXPECT_EQ(records.flags.stop_request.load(), 0);
}

TEST(CalculationController, RefusedWhileARunIsActiveOrHelpIsOpen) {
  RunRecords records;
  CalculationController controller(records.parameters, records.flags, *records.state,
                                   records.scales, records.profiles, records.null_sink,
                                   kinetics_only());
  records.flags.run_active = 999;
  EXPECT_FALSE(controller.start_calculation());
  records.flags.run_active = 0;
  records.flags.about_open = 1.0f;
  ASSERT_TRUE(controller.start_calculation());
  controller.wait();
  EXPECT_EQ(controller.last_outcome().end, RunEnd::not_started);
  EXPECT_EQ(records.parameters.values.temperature_scale, 2000.0f);
}

}  // namespace
}  // namespace kt
