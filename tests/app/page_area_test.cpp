// The page on surfaces that are not one of its layouts: wide screens get the largest layout
// that fits, centred, with nothing outside it; a surface at device pixel ratio 2 is drawn at
// the device's resolution.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <string>

#include "app/about_window.h"
#include "app/application.h"
#include "app/panel.h"
#include "app_page.h"
#include "display/display.h"
#include "graphics/temporal_plot.h"
#include "graphics/title_page.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

// The default calculation drawn as the program draws it, on the current offscreen surface.
void draw_default_run(Application& app) {
  ASSERT_TRUE(init_display(app));
  set_default_parameter_groups(app.parameters.values);
  draw_title_page(app.page, app.title, app.logo_file);
  ASSERT_TRUE(app.controller.start_calculation());
  app.controller.wait();
  ASSERT_EQ(app.controller.last_outcome().end, RunEnd::end_test);
}

struct WideCase {
  int width, height;
  int page_width, page_height;
};

class WidePage : public ::testing::TestWithParam<WideCase> {};

TEST_P(WidePage, HoldsTheLargestLayoutWholeAndCentred) {
  const WideCase c = GetParam();
  test::ScratchDirectory scratch;
  test::CurrentDirectory here(scratch.path());
  test::AppPage surface(c.width, c.height);
  ASSERT_TRUE(surface.ready());
  RunOptions options;
  options.output_directory = scratch.path();
  Application app(fs::path(KT_SOURCE_DIR) / "data", {}, options);
  draw_default_run(app);

  const PageGeometry& page = app.page;
  ASSERT_EQ(page.screen_width, c.page_width);
  ASSERT_EQ(page.screen_height, c.page_height);
  const int left = page.origin_x, top = page.origin_y;
  const int right = left + c.page_width - 1, bottom = top + c.page_height - 1;
  EXPECT_EQ(left, (c.width - c.page_width) / 2);
  EXPECT_EQ(top, (c.height - c.page_height) / 2);

  // Nothing is drawn outside the page: every drawn pixel lies within it.
  const std::string png =
      surface.save("page_" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".png");
  const QImage image = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(image.width(), c.width);
  int min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  bool found = false;
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      if (static_cast<std::int32_t>(image.pixel(x, y) & 0xFFFFFFu) == test::kGrey) continue;
      if (!found) {
        min_x = max_x = x;
        min_y = max_y = y;
        found = true;
      }
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
    }
  }
  ASSERT_TRUE(found);
  EXPECT_GE(min_x, left);
  EXPECT_GE(min_y, top);
  EXPECT_LE(max_x, right);
  EXPECT_LE(max_y, bottom);

  // The temporal panel's background holds its frame and all its readout boxes: no grey shows
  // inside it, and its frame is there.
  const TemporalLayout l = temporal_layout(page);
  const int w = page.screen_width, h = page.screen_height;
  const int box_left = left + page_offset(l.x0, -0.1f, w);
  const int box_top = top + page_offset(l.y0, -0.08f, h);
  const int box_right = std::min(left + page_offset(l.x1, 0.3f, w), right);
  const int box_bottom = std::min(top + page_offset(l.y1, 0.1f, h), bottom);
  int grey_in_panel = 0;
  for (int y = box_top; y <= box_bottom; ++y) {
    for (int x = box_left; x <= box_right; ++x) {
      grey_in_panel += static_cast<std::int32_t>(image.pixel(x, y) & 0xFFFFFFu) == test::kGrey;
    }
  }
  EXPECT_EQ(grey_in_panel, 0);
  const float s = page.screen_scale;
  EXPECT_LE(top + l.y1 + scaled(70, s), box_bottom) << "the readout boxes end inside the panel";
  EXPECT_EQ(surface.pixel(left + l.x0, top + l.y0), test::kWhite);
  EXPECT_EQ(surface.pixel(left + l.x1, top + l.y1), test::kWhite);
}

INSTANTIATE_TEST_SUITE_P(Screens, WidePage,
                         ::testing::Values(WideCase{1366, 768, 1024, 768},
                                           WideCase{1920, 1080, 1280, 1024},
                                           WideCase{2560, 1440, 1600, 1200}));

TEST(PageAtDevicePixelRatio, TwoKeepsOnePixelLinesAndWholeBoxesDrawsTextAtDeviceResolution) {
  test::ScratchDirectory scratch;
  test::CurrentDirectory here(scratch.path());
  ASSERT_TRUE(display::create_offscreen_main_window(1024, 768, 2.0));
  display::initialize_fonts();
  RunOptions options;
  options.output_directory = scratch.path();
  {
    Application app(fs::path(KT_SOURCE_DIR) / "data", {}, options);
    ASSERT_TRUE(init_display(app));
    EXPECT_EQ(app.page.screen_width, 1024) << "the layout follows the surface, not its pixels";

    // The title text at device resolution: a pixel-doubled text would have only uniform 2 x 2
    // blocks.
    draw_title_page(app.page, app.title, app.logo_file);
    const TitleLayout title = title_page_layout(app.page, app.title);
    int mixed_blocks = 0;
    for (int y = 2 * title.title_at.y; y < 2 * (title.title_at.y + 30); y += 2) {
      for (int x = 2 * title.title_at.x; x < 2 * (title.title_at.x + 380); x += 2) {
        const std::int32_t p = display::surface_pixel(x, y);
        if (display::surface_pixel(x + 1, y) != p || display::surface_pixel(x, y + 1) != p ||
            display::surface_pixel(x + 1, y + 1) != p) {
          ++mixed_blocks;
        }
      }
    }
    EXPECT_GT(mixed_blocks, 100);

    draw_default_run(app);
    const fs::path shots = fs::path(KT_BINARY_DIR) / "shots";  // never the source tree
    fs::create_directories(shots);
    const std::string png = (shots / "page_1024x768_ratio2.png").string();
    ASSERT_TRUE(display::save_surface_png(png));
    const QImage image = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.width(), 2048);
    ASSERT_EQ(image.height(), 1536);
    const auto white = [&](int x, int y) { return (image.pixel(x, y) & 0xFFFFFFu) == 0xFFFFFFu; };

    // The frame of the temporal panel: each of its surface pixels covers 2 x 2 device pixels,
    // all around.
    const TemporalLayout l = temporal_layout(app.page);
    for (int x = 2 * l.x0; x <= 2 * l.x1 + 1; ++x) {
      for (int dy : {0, 1}) {
        ASSERT_TRUE(white(x, 2 * l.y0 + dy)) << "top, x " << x;
        ASSERT_TRUE(white(x, 2 * l.y1 + dy)) << "bottom, x " << x;
      }
    }
    for (int y = 2 * l.y0; y <= 2 * l.y1 + 1; ++y) {
      for (int dx : {0, 1}) {
        ASSERT_TRUE(white(2 * l.x0 + dx, y)) << "left, y " << y;
        ASSERT_TRUE(white(2 * l.x1 + dx, y)) << "right, y " << y;
      }
    }

    // The readout boxes below the panel stay whole: the readouts written into them last leave
    // every side of every box, each side two device pixels wide.
    const float s = app.page.screen_scale;
    const auto whole_box = [&](int left, int top, int right, int bottom) {
      int missing = 0;
      for (int x = 2 * left; x <= 2 * right + 1; ++x) {
        missing += !white(x, 2 * top) + !white(x, 2 * top + 1);
        missing += !white(x, 2 * bottom) + !white(x, 2 * bottom + 1);
      }
      for (int y = 2 * top; y <= 2 * bottom + 1; ++y) {
        missing += !white(2 * left, y) + !white(2 * left + 1, y);
        missing += !white(2 * right, y) + !white(2 * right + 1, y);
      }
      return missing;
    };
    const int row_top = l.y1 + scaled(40, s), row_bottom = l.y1 + scaled(70, s);
    EXPECT_EQ(whole_box(l.x0 - scaled(90, s), row_top, l.x_time - scaled(20, s), row_bottom), 0);
    EXPECT_EQ(whole_box(l.x1 - scaled(150, s), row_top, l.x1, row_bottom), 0);
    EXPECT_EQ(whole_box(l.x_fraction - scaled(10, s), l.y0 - scaled(15, s),
                        l.x_fraction + scaled(50, s), row_bottom),
              0);

    // The about panel saves the device pixels under it and puts them back.
    const PanelRect panel = scaled_panel(app.page, 108, 160, 918, 608);
    bool panel_drawn = false;
    show_about(app.page, [&]() -> std::int16_t {
      panel_drawn = display::surface_pixel(2 * panel.x1 + 1, 2 * panel.y1 + 1) == test::kBlue;
      return ' ';
    });
    EXPECT_TRUE(panel_drawn);
    const std::string after_png = (shots / "page_1024x768_ratio2_after_about.png").string();
    ASSERT_TRUE(display::save_surface_png(after_png));
    EXPECT_EQ(QImage(QString::fromStdString(after_png)).convertToFormat(QImage::Format_RGB32),
              image);
  }
  display::destroy_offscreen_main_window();
}

}  // namespace
}  // namespace kt
