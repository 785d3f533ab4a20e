// The page laid out again when the main window changes size: a finished run's panels follow the
// new size at once, a run under way goes on in the new layout, and the next run keeps it.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "app/application.h"
#include "app_page.h"
#include "display/display.h"
#include "graphics/temporal_plot.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class RelayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(surface.ready());
    options.output_directory = scratch.path();
  }

  void make_app(RunObserver* watch = nullptr) {
    options.observer = watch;
    app = std::make_unique<Application>(fs::path(KT_SOURCE_DIR) / "data", ShellServices{}, options);
    ASSERT_TRUE(init_display(*app));
    set_default_parameter_groups(app->parameters.values);
    draw_title_page(app->page, app->title, app->logo_file);
    app->requested_page = app->page;
    app->page_ready = true;
  }

  RunOutcome run() {
    EXPECT_TRUE(app->controller.start_calculation());
    app->controller.wait();
    return app->controller.last_outcome();
  }

  // The window shrinks to 1000x700: a new, blank surface of that size, and the shell told.
  static void shrink_window() {
    ASSERT_TRUE(display::create_offscreen_main_window(1000, 700));
    display::initialize_fonts();
  }

  // The page is the 800x600 layout centred on the 1000x700 surface, with the temporal panel of
  // the latest run drawn whole in it: frame, curves and readouts.
  void expect_drawn_in_the_small_layout(std::int32_t points) {
    const PageGeometry& page = app->page;
    ASSERT_EQ(page.screen_width, 800);
    ASSERT_EQ(page.screen_height, 600);
    ASSERT_EQ(page.origin_x, 100);
    ASSERT_EQ(page.origin_y, 50);
    const TemporalLayout l = temporal_layout(page);
    const int x0 = page.origin_x + l.x0, y0 = page.origin_y + l.y0;
    const int x1 = page.origin_x + l.x1, y1 = page.origin_y + l.y1;
    EXPECT_EQ(surface.pixel(x0, y0), test::kWhite);
    EXPECT_EQ(surface.pixel(x1, y1), test::kWhite);
    EXPECT_EQ(app->run_view.temporal().point_count(), points) << "every point is kept";
    // The temperature and depth curves run across the plot area, not only its newest segment.
    int red_min_x = 0, red_min_y = 0, red_max_x = 0, red_max_y = 0;
    ASSERT_TRUE(surface.extent(x0 + 1, y0 + 1, x1 - 1, y1 - 1, test::kLightRed, red_min_x,
                               red_min_y, red_max_x, red_max_y));
    EXPECT_LT(red_min_x, x0 + 10);
    EXPECT_GT(red_max_x - red_min_x, l.w / 3);
    EXPECT_GT(surface.count(x0 + 1, y0 + 1, x1 - 1, y1 - 1, test::kLightGreen), l.w / 3);
    // The temperature readout below the panel.
    const float s = page.screen_scale;
    EXPECT_GT(surface.count(x0 - scaled(60, s), y1 + scaled(41, s), x0 + scaled(49, s),
                            y1 + scaled(69, s), test::kLightRed),
              10);
    // The page background around the page, no scroll bars needed: the surface is the window.
    EXPECT_EQ(surface.pixel(5, 5), test::kGrey);
    EXPECT_EQ(surface.pixel(995, 695), test::kGrey);
  }

  test::AppPage surface{1920, 1080};
  test::ScratchDirectory scratch;
  test::CurrentDirectory here{scratch.path()};
  RunOptions options;
  std::unique_ptr<Application> app;
};

TEST_F(RelayoutTest, AFinishedRunFollowsTheNewSizeAndTheNextRunKeepsIt) {
  make_app();
  const RunOutcome first = run();
  ASSERT_EQ(first.end, RunEnd::end_test);
  ASSERT_EQ(app->page.screen_width, 1280);
  const std::int32_t points = app->run_view.temporal().point_count();
  ASSERT_GT(points, 1000);

  shrink_window();
  relayout_page(*app);
  expect_drawn_in_the_small_layout(points);

  // F5 after the resize: the run is drawn in the new layout from its start.
  const RunOutcome second = run();
  ASSERT_EQ(second.end, RunEnd::end_test);
  expect_drawn_in_the_small_layout(points);
}

// Holds the run after a step until the test has resized the window.
class ResizeDuringTheRun final : public RunObserver {
 public:
  void step_done(const StepRecord&, const ProfileArrays&) override {
    if (++steps_ != kStep) return;
    reached_.set_value();
    go_.get_future().wait();
  }
  static constexpr int kStep = 200;
  std::future<void> reached() { return reached_.get_future(); }
  void go() { go_.set_value(); }
  int steps() const { return steps_; }

 private:
  int steps_ = 0;
  std::promise<void> reached_, go_;
};

TEST_F(RelayoutTest, ARunUnderWayGoesOnInTheNewLayout) {
  ResizeDuringTheRun resize;
  std::future<void> reached = resize.reached();
  make_app(&resize);
  ASSERT_TRUE(app->controller.start_calculation());
  reached.wait();
  shrink_window();
  relayout_page(*app);
  EXPECT_EQ(app->page.screen_width, 1280) << "the run's thread lays the page out, after a step";
  resize.go();
  app->controller.wait();
  const RunOutcome outcome = app->controller.last_outcome();
  ASSERT_EQ(outcome.end, RunEnd::end_test);
  ASSERT_GT(resize.steps(), ResizeDuringTheRun::kStep);
  expect_drawn_in_the_small_layout(resize.steps());
}

}  // namespace
}  // namespace kt
