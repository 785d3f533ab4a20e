// The title page drawn on screens of the listed sizes and on one that no width rule names.
#include "graphics/title_page.h"

#include <gtest/gtest.h>

#include <string>

#include "app_page.h"
#include "display/drawing_context.h"
#include "graphics/temporal_plot.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

using test::AppPage;

struct Expected {
  int width, height;
  PixelRect outer, inner;
  int separator_y, separator_x1, separator_x2;
  PixelPoint title_at, maker_at, logo_at;
  int title_width;  // 32 characters of the title font's average width
};

// The first four rows are the documented layouts; 1600 x 1200 and the 1366-pixel screen
// (nearest row 1280) are worked out by the same rules.
const Expected kLayouts[] = {
    {640, 480, {3, 3, 623, 405}, {5, 5, 621, 403}, 68, 5, 621, {9, 24}, {368, 24}, {265, 7}, 256},
    {800, 600, {3, 3, 779, 507}, {6, 6, 777, 504}, 75, 6, 777, {11, 30}, {480, 30}, {359, 9}, 288},
    {1024,
     768,
     {5, 5, 999, 671},
     {8, 8, 996, 668},
     76,
     8,
     996,
     {14, 38},
     {614, 38},
     {460, 12},
     384},
    {1280,
     1024,
     {6, 6, 1255, 911},
     {10, 10, 1251, 907},
     102,
     10,
     1251,
     {18, 51},
     {768, 51},
     {575, 15},
     384},
    {1600,
     1200,
     {7, 7, 1569, 1067},
     {12, 12, 1564, 1062},
     120,
     12,
     1564,
     {22, 60},
     {960, 60},
     {718, 18},
     384},
    {1366,
     768,
     {6, 6, 1339, 681},
     {10, 10, 1335, 677},
     76,
     10,
     1335,
     {19, 38},
     {819, 38},
     {613, 16},
     384},
};

const std::string kLogo = std::string(KT_SOURCE_DIR) + "/data/ZOR.bmp";

// A frame outline: light green on all four sides, the page's grey just inside it.
void expect_frame(const AppPage& p, const PixelRect& r, const std::string& what) {
  const int mx = (r.x1 + r.x2) / 2;
  const int my = (r.y1 + r.y2) / 2 + 40;  // below the title band, clear of the texts
  EXPECT_EQ(p.pixel(r.x1, my), test::kLightGreen) << what << " left";
  EXPECT_EQ(p.pixel(r.x2, my), test::kLightGreen) << what << " right";
  EXPECT_EQ(p.pixel(mx, r.y2), test::kLightGreen) << what << " bottom";
  EXPECT_EQ(p.pixel(r.x1 + 20, r.y1), test::kLightGreen) << what << " top";
  EXPECT_EQ(p.pixel(r.x2 + 1, my), test::kGrey) << what << " outside right";
  EXPECT_EQ(p.pixel(mx, r.y2 + 1), test::kGrey) << what << " outside bottom";
}

TEST(TitlePage, LayoutOfEveryScreenSize) {
  for (const Expected& e : kLayouts) {
    SCOPED_TRACE(std::to_string(e.width) + " x " + std::to_string(e.height));
    AppPage p(e.width, e.height);
    ASSERT_TRUE(p.ready());
    TitleState title;
    draw_title_page(p.page(), title, kLogo);

    expect_frame(p, e.outer, "outer frame");
    expect_frame(p, e.inner, "inner frame");
    EXPECT_EQ(title.title_margin_x, e.width - e.inner.x2);
    EXPECT_EQ(title.title_margin_y, e.height - e.inner.y2);
    // Between the frames and inside the inner one: the page.
    EXPECT_EQ(p.pixel(e.outer.x1 - 1, e.height / 2), test::kGrey);
    EXPECT_EQ(p.pixel(e.inner.x1 + 1, e.height / 2), test::kGrey);

    // The separator runs exactly from its first to its last pixel.
    EXPECT_EQ(p.pixel(e.separator_x1, e.separator_y), test::kLightGreen);
    EXPECT_EQ(p.pixel(e.separator_x2, e.separator_y), test::kLightGreen);
    EXPECT_EQ(p.pixel(e.width / 2, e.separator_y), test::kLightGreen);
    EXPECT_EQ(p.pixel(e.width / 2, e.separator_y + 1), test::kGrey);
    EXPECT_EQ(p.pixel(e.width / 2, e.separator_y - 1), test::kGrey);

    // The logo's rim: its left edge two pixels right of the logo's corner, its top two below.
    EXPECT_EQ(p.pixel(e.logo_at.x + 2, e.logo_at.y + 26), test::kLightGreen);
    EXPECT_EQ(p.pixel(e.logo_at.x + 1, e.logo_at.y + 26), test::kGrey);
    EXPECT_EQ(p.pixel(e.logo_at.x + 40, e.logo_at.y + 2), test::kLightGreen);
    EXPECT_EQ(p.pixel(e.logo_at.x + 40, e.logo_at.y + 1), test::kGrey);

    // The title in yellow from its position, about 32 average character widths long.
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    ASSERT_TRUE(p.extent(0, 0, e.logo_at.x - 1, e.separator_y - 1, test::kYellow, x1, y1, x2, y2));
    EXPECT_GE(x1, e.title_at.x);
    EXPECT_LE(x1, e.title_at.x + 4);
    EXPECT_GE(y1, e.title_at.y);
    EXPECT_NEAR(x2 - x1, e.title_width, e.title_width * 0.15);

    // The maker's line in light green from its position, right of the logo.
    const int maker_left = e.logo_at.x + 100;
    ASSERT_TRUE(p.extent(maker_left, e.maker_at.y, e.inner.x2 - 1, e.separator_y - 1,
                         test::kLightGreen, x1, y1, x2, y2));
    EXPECT_GE(x1, e.maker_at.x);
    EXPECT_LE(x1, e.maker_at.x + 4);
    EXPECT_LT(x2, e.inner.x2);

    // The start hint in light cyan, inside the temporal panel's box: a run's page covers it.
    const TemporalLayout t = temporal_layout(p.page());
    ASSERT_TRUE(p.extent(0, e.separator_y + 1, e.width - 1, e.height - 1, test::kLightCyan, x1, y1,
                         x2, y2));
    EXPECT_GE(x1, page_offset(t.x0, -0.1f, e.width));
    EXPECT_LE(x2, page_offset(t.x1, 0.3f, e.width));
    EXPECT_GE(y1, page_offset(t.y0, -0.08f, e.height));
    EXPECT_LE(y2, page_offset(t.y_row, 0.1f, e.height));
  }
}

TEST(TitlePage, WidthsWithoutARuleTakeTheNearestRow) {
  EXPECT_EQ(title_margin_row(1366), TitleMarginRow::w1280);
  EXPECT_EQ(title_margin_row(1440), TitleMarginRow::w1280);  // tie 1280/1600: both the same row
  EXPECT_EQ(title_margin_row(1920), TitleMarginRow::w1280);
  EXPECT_EQ(title_margin_row(1100), TitleMarginRow::w1024);
  EXPECT_EQ(title_margin_row(1200), TitleMarginRow::w1024);  // nearer 1152
  EXPECT_EQ(title_margin_row(1250), TitleMarginRow::w1280);
  EXPECT_EQ(title_margin_row(900), TitleMarginRow::up_to_800);
  EXPECT_EQ(title_margin_row(960), TitleMarginRow::w1024);
}

TEST(TitlePage, MissingLogoLeavesTheBandEmpty) {
  AppPage p(1024, 768);
  ASSERT_TRUE(p.ready());
  TitleState title;
  draw_title_page(p.page(), title, "no-such-logo.bmp");
  EXPECT_EQ(p.count(460, 12, 556, 64, test::kGrey), 97 * 53);
}

TEST(TitlePage, RedrawingCoversWhatWasDrawnBefore) {
  AppPage p(800, 600);
  ASSERT_TRUE(p.ready());
  display::DrawingContext pen;
  pen.set_color(display::PaletteColour::light_red);
  pen.draw_rectangle(3, 100, 200, 700, 500);
  TitleState title;
  draw_title_page(p.page(), title, kLogo);
  EXPECT_EQ(p.count(100, 200, 700, 500, test::kLightRed), 0);
}

}  // namespace
}  // namespace kt
