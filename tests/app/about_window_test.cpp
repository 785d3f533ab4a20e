// The about window: its panel and border, the colours of its line groups, and the picture
// beneath coming back after any key.
#include "app/about_window.h"

#include <gtest/gtest.h>

#include <string>

#include "app_page.h"
#include "graphics/title_page.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

using test::AppPage;

TEST(AboutWindow, PanelLinesAndRestoreAt1024) {
  AppPage p(1024, 768);
  ASSERT_TRUE(p.ready());
  TitleState title;
  draw_title_page(p.page(), title, std::string(KT_SOURCE_DIR) + "/data/ZOR.bmp");
  const auto before = p.pixels(100, 150, 930, 620);
  int keys = 0;
  show_about(p.page(), [&]() -> std::int16_t {
    ++keys;
    // Blue border 9 wide at the sides, 16 at top and bottom, magenta inside.
    EXPECT_EQ(p.pixel(108, 400), test::kBlue);
    EXPECT_EQ(p.pixel(116, 400), test::kBlue);
    EXPECT_EQ(p.pixel(117, 400), test::kMagenta);
    EXPECT_EQ(p.pixel(909, 400), test::kMagenta);
    EXPECT_EQ(p.pixel(910, 400), test::kBlue);
    EXPECT_EQ(p.pixel(500, 592), test::kMagenta);
    EXPECT_EQ(p.pixel(500, 593), test::kBlue);
    EXPECT_EQ(p.pixel(918, 608), test::kBlue);
    // Yellow title lines, light-green makers, white description, light-cyan citation.
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    EXPECT_TRUE(p.extent(108, 160, 918, 280, test::kYellow, x1, y1, x2, y2));
    EXPECT_GE(y1, 170);
    EXPECT_GE(x1, 250);  // line 2 is the leftmost yellow line
    EXPECT_LE(x1, 254);
    EXPECT_TRUE(p.extent(108, 290, 918, 410, test::kLightGreen, x1, y1, x2, y2));
    EXPECT_GE(x1, 150);
    EXPECT_LE(x1, 154);
    EXPECT_TRUE(p.extent(108, 420, 918, 495, test::kWhite, x1, y1, x2, y2));
    EXPECT_GE(x1, 250);
    EXPECT_GE(y1, 425);
    EXPECT_TRUE(p.extent(108, 496, 918, 600, test::kLightCyan, x1, y1, x2, y2));
    EXPECT_GE(x1, 130);
    EXPECT_LE(x1, 134);
    EXPECT_GE(y1, 500);
    EXPECT_LT(x2, 909);  // every citation line ends inside the panel
    return 'Q';
  });
  EXPECT_EQ(keys, 1);
  EXPECT_EQ(p.pixels(100, 150, 930, 620), before);
}

TEST(AboutWindow, PanelAt800) {
  AppPage p(800, 600);
  ASSERT_TRUE(p.ready());
  show_about(p.page(), [&]() -> std::int16_t {
    EXPECT_EQ(p.pixel(84, 300), test::kBlue);
    EXPECT_EQ(p.pixel(83, 300), test::kGrey);
    EXPECT_EQ(p.pixel(717, 475), test::kBlue);
    EXPECT_EQ(p.pixel(718, 475), test::kGrey);
    EXPECT_EQ(p.pixel(91, 300), test::kMagenta);
    EXPECT_EQ(p.pixel(90, 300), test::kBlue);
    EXPECT_EQ(p.pixel(710, 462), test::kMagenta);
    EXPECT_EQ(p.pixel(710, 463), test::kBlue);
    // Line 1 in "t'tms rmn'h16w9" at (296, 132).
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    EXPECT_TRUE(p.extent(84, 125, 717, 150, test::kYellow, x1, y1, x2, y2));
    EXPECT_GE(x1, 296);
    EXPECT_LE(x1, 299);
    EXPECT_NEAR(x2 - x1, 16 * 9, 16 * 9 * 0.2);
    return 0;  // the first code of a key without a character closes it as well
  });
  EXPECT_EQ(p.pixel(400, 300), test::kGrey);
}

}  // namespace
}  // namespace kt
