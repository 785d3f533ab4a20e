// Pixel arithmetic, width rows, page layouts, fonts and number labels of the graph panels.
#include "graphics/page_conventions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "graphics/temporal_plot.h"

namespace kt {
namespace {

PageGeometry page_of(int width, int height) {
  return {static_cast<std::int16_t>(width), static_cast<std::int16_t>(height),
          static_cast<float>(width) / 1024.0f};
}

TEST(PageForArea, LargestLayoutThatFitsBothWaysCentred) {
  struct Case {
    int width, height, page_width, page_height, x, y;
  };
  for (const Case c : {Case{1024, 768, 1024, 768, 0, 0}, Case{640, 480, 640, 480, 0, 0},
                       Case{1600, 1200, 1600, 1200, 0, 0}, Case{1920, 1080, 1280, 1024, 320, 28},
                       Case{1024, 745, 800, 600, 112, 72}, Case{1366, 768, 1024, 768, 171, 0},
                       Case{1280, 800, 1024, 768, 128, 16}, Case{500, 300, 500, 300, 0, 0}}) {
    const PageGeometry page = page_for_area(c.width, c.height);
    EXPECT_EQ(page.screen_width, c.page_width) << c.width << "x" << c.height;
    EXPECT_EQ(page.screen_height, c.page_height) << c.width << "x" << c.height;
    EXPECT_EQ(page.screen_scale, static_cast<float>(c.page_width) / 1024.0f);
    EXPECT_EQ(page.origin_x, c.x) << c.width << "x" << c.height;
    EXPECT_EQ(page.origin_y, c.y) << c.width << "x" << c.height;
    EXPECT_EQ(page.area_width, c.width);
  }
}

TEST(PixelArithmetic, RealSumTruncatesOnceOffsetTruncatesFirst) {
  // trunc(153 - 0.1·1024) = trunc(50.6) = 50, whereas 153 - ⌊102.4⌋ would give 51.
  EXPECT_EQ(page_offset(153, -0.1f, 1024), 50);
  EXPECT_EQ(scaled(90, 0.625f), 56);
  EXPECT_EQ(scaled(90, 1.5625f), 140);
  EXPECT_EQ(scaled(7, 0.78125f), 5);
  // The 32-bit fraction is widened: 0.38f·600 is just below 228.
  EXPECT_EQ(page_fraction(0.38f, 600), 227);
}

TEST(TemporalLayout, UnlistedWidthsTakeTheNearestRowInsteadOfNothing) {
  // The panel's height fraction is that of the nearest listed width's row, the lower on a tie.
  EXPECT_EQ(temporal_layout(page_of(1366, 768)).h, temporal_layout(page_of(1280, 768)).h);
  EXPECT_EQ(temporal_layout(page_of(900, 700)).h, temporal_layout(page_of(800, 700)).h);
  EXPECT_EQ(temporal_layout(page_of(1100, 700)).h, temporal_layout(page_of(1152, 700)).h);
  EXPECT_NE(temporal_layout(page_of(900, 700)).h, temporal_layout(page_of(1100, 700)).h);
  EXPECT_GT(temporal_layout(page_of(1920, 1080)).w, 0);
}

TEST(Fonts, UnlistedWidthsTakeTheNearestRow) {
  EXPECT_EQ(label_font_request(320), label_font_request(640));
  EXPECT_EQ(label_font_request(700), label_font_request(640));
  EXPECT_EQ(label_font_request(900), label_font_request(800));
  EXPECT_EQ(label_font_request(1366), label_font_request(1280));
  EXPECT_EQ(label_font_request(1920), label_font_request(1600));
  EXPECT_NE(label_font_request(900), label_font_request(1100));
  EXPECT_EQ(temporal_title_font_request(1100), temporal_title_font_request(1152));
  EXPECT_EQ(temporal_title_font_request(1366), temporal_title_font_request(1280));

  FontField field;
  field.assign("t'helv'h12w7");
  EXPECT_EQ(field.text(), "t'helv'h12w7        ");
}

TEST(NumberField, TenCharacterFieldsWithTheNumberFirst) {
  NumberField field;
  field.set_scientific(250.0, 8, 1);
  EXPECT_EQ(field.text(), " 2.5E+02  ");
  field.set_scientific(0.0, 8, 1);
  EXPECT_EQ(field.text(), " 0.0E+00  ");
  field.set_fixed(1234.5678, 10, 3);
  EXPECT_EQ(field.text(), "  1234.568");
  // A fraction axis top of 10 does not fit fixed 4.2.
  field.set_fixed(10.0, 4, 2);
  EXPECT_EQ(field.text(), "****      ");

  // The fraction labels of a unit axis, top to bottom.
  const float step = 1.0f * 0.25f;
  std::string column;
  for (int j = 0; j <= 4; ++j) {
    field.set_fixed(static_cast<float>(4 - j) * step, 4, 2);
    column += std::string(field.text()) + "|";
  }
  EXPECT_EQ(column, "1.00      |0.75      |0.50      |0.25      |0.00      |");
}

TEST(AxisTops, UnusableTopsBecomeOneAndDoublingStopsAtTheLargestReal) {
  EXPECT_EQ(usable_axis_top(500.0f), 500.0f);
  EXPECT_EQ(usable_axis_top(0.0f), 1.0f);
  EXPECT_EQ(usable_axis_top(-15.0f), 1.0f);
  EXPECT_EQ(usable_axis_top(std::nanf("")), 1.0f);
  EXPECT_EQ(usable_axis_top(std::numeric_limits<float>::infinity()), 1.0f);

  float top = 500.0f;
  EXPECT_TRUE(double_axis_top(top));
  EXPECT_EQ(top, 1000.0f);
  top = std::numeric_limits<float>::max() / 1.5f;
  EXPECT_TRUE(double_axis_top(top));
  EXPECT_EQ(top, std::numeric_limits<float>::max());
  EXPECT_FALSE(double_axis_top(top));
  EXPECT_TRUE(std::isfinite(top));
}

}  // namespace
}  // namespace kt
