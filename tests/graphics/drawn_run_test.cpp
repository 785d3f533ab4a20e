// The default calculation drawn through the program's view of a run into an offscreen
// 1024x768 page, as the drawn benchmark runs it, gives the golden page pixel for pixel.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>
#include <string>

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

}  // namespace
}  // namespace kt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
