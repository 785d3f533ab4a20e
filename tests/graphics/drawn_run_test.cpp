// The default calculation drawn through the program's view of a run into an offscreen
// 1024x768 page, as the drawn benchmark runs it, gives the golden page pixel for pixel; the
// page drawn once at the end of a run equals the page of every step.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "display/display.h"
#include "kt_test_paths.h"
#include "tests/display/golden_image.h"

namespace kt {
namespace {

TEST(DrawnRun, DefaultCalculationDrawsTheGoldenPage) {
  ASSERT_TRUE(display::create_offscreen_main_window(1024, 768));
  display::initialize_fonts();
  PageGeometry page{1024, 768, 1.0f};
  TitleState title;
  const std::string logo = "ZOR.bmp";  // not found: the title page is drawn without it
  RunView view(page, title, logo);
  SharedParameters shared;
  set_default_parameter_groups(shared.values);
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  options.observer = &view;
  HeadlessRun().run(shared, options);
  EXPECT_TRUE(test::surface_matches_png(
      std::string(KT_TEST_DATA_DIR) + "/graphics/default_run_1024x768.png", 1024, 768));
  display::destroy_offscreen_main_window();
}

// Tells the plots of a run and ends the run as by Stop after `stop_after` steps (0: never).
class StoppingView final : public RunObserver {
 public:
  StoppingView(const PageGeometry& page, bool final_page_only, int stop_after)
      : plots_(page), stop_after_(stop_after) {
    if (final_page_only) plots_.draw_final_page_only();
  }
  const std::atomic<bool>* interrupt() const { return &interrupt_; }

  void run_started(const RunConstants& constants, const ParameterSet& taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches& switches) override {
    plots_.run_started(constants, taken, profile_node_count, switches);
  }
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override {
    plots_.step_done(record, profiles);
    if (++steps_ == stop_after_) interrupt_ = true;
  }
  void run_ended(const RunOutcome& outcome) override { plots_.run_ended(outcome); }

 private:
  PagePlots plots_;
  int stop_after_;
  int steps_ = 0;
  std::atomic<bool> interrupt_{false};
};

// The whole page after a run drawn on a fresh title page, pixel by pixel.
std::vector<std::int32_t> page_after_run(const PageGeometry& page, const ParameterSet& parameters,
                                         bool final_page_only, int stop_after, RunEnd& end) {
  EXPECT_TRUE(display::create_offscreen_main_window(page.screen_width, page.screen_height));
  display::initialize_fonts();
  TitleState title;
  draw_title_page(page, title, "ZOR.bmp");
  StoppingView view(page, final_page_only, stop_after);
  SharedParameters shared;
  shared.values = parameters;
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  options.observer = &view;
  options.interrupt = view.interrupt();
  end = HeadlessRun().run(shared, options).end;
  std::vector<std::int32_t> pixels;
  pixels.reserve(static_cast<std::size_t>(page.screen_width * page.screen_height));
  for (int y = 0; y < page.screen_height; ++y)
    for (int x = 0; x < page.screen_width; ++x) pixels.push_back(display::surface_pixel(x, y));
  display::destroy_offscreen_main_window();
  return pixels;
}

// Drawing only what the page shows at the run's end gives the page that drawing every step
// ends with: on three page sizes, with the temperature axes growing (surface model, high
// fluence) and for a run ended by Stop in the middle of the pulse.
TEST(DrawnRun, FinalPageOnlyEqualsThePageOfEveryStep) {
  struct Case {
    const char* name;
    PageGeometry page;
    bool surface_model;
    float fluence;
    int stop_after;
    RunEnd end;
  };
  const Case cases[] = {
      {"default", page_for_area(1024, 768), false, 50.0f, 0, RunEnd::end_test},
      {"surface, 300 mJ/cm^2", page_for_area(800, 600), true, 300.0f, 0, RunEnd::end_test},
      {"stopped", page_for_area(1366, 768), false, 120.0f, 1500, RunEnd::stop},
  };
  for (const Case& c : cases) {
    ParameterSet parameters;
    set_default_parameter_groups(parameters);
    if (c.surface_model) parameters.ablation_model = AblationModel::surface;
    parameters.fluence = c.fluence;
    RunEnd live_end{}, final_end{};
    const std::vector<std::int32_t> live =
        page_after_run(c.page, parameters, false, c.stop_after, live_end);
    const std::vector<std::int32_t> final_only =
        page_after_run(c.page, parameters, true, c.stop_after, final_end);
    EXPECT_EQ(live_end, c.end) << c.name;
    EXPECT_EQ(final_end, c.end) << c.name;
    ASSERT_EQ(live.size(), final_only.size()) << c.name;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < live.size(); ++i) differing += live[i] != final_only[i] ? 1 : 0;
    EXPECT_EQ(differing, 0u) << c.name;
  }
}

}  // namespace
}  // namespace kt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
