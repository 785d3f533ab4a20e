// The temporal panel drawn into offscreen pages: frame and background box at every listed
// width, the first point, axis doubling with the full repaint, the scale guards and an
// unlisted width.
#include "graphics/temporal_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "page_surface.h"

namespace kt {
namespace {

using test::PageSurface;

PlotScaleSet usual_scales() {
  PlotScaleSet scales;
  scales.plot_time_scale = 15.0f;
  scales.plot_temperature_scale = 500.0f;
  scales.plot_velocity_scale = 100.0f;
  scales.plot_depth_scale = 10.0f;
  scales.plot_fraction_scale = 1.0f;
  return scales;
}

PlotCurveSwitches only_temperature() {
  PlotCurveSwitches switches;
  switches.show_ablation_velocity = false;
  switches.show_ablated_depth = false;
  switches.show_broken_fraction = false;
  return switches;
}

struct FrameCase {
  int width, height;
  int x0, y0, x1, y1;
  int box_left;  // trunc(x0 - 0.1·W)
};

class TemporalFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(TemporalFrame, FrameAndBackgroundBoxAtTheirPixels) {
  const FrameCase c = GetParam();
  PageSurface surface(c.width, c.height);
  ASSERT_TRUE(surface.ready());
  TemporalPlot plot(surface.page());
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), PlotCurveSwitches{});

  for (auto [x, y] : {std::pair{c.x0, c.y0}, {c.x1, c.y0}, {c.x0, c.y1}, {c.x1, c.y1}}) {
    EXPECT_EQ(surface.pixel(x, y), test::kWhite) << x << "," << y;
  }
  // Inside the frame the plot area is background; outside the box the page is untouched.
  EXPECT_EQ(surface.count_other(c.x0 + 1, c.y0 + 1, c.x1 - 1, c.y1 - 1, test::kMagenta), 0);
  const int y_mid = c.y0 + plot.layout().dy / 2;
  EXPECT_EQ(surface.pixel(c.box_left, y_mid), test::kMagenta);
  EXPECT_EQ(surface.pixel(c.box_left - 1, y_mid), test::kGrey);
}

INSTANTIATE_TEST_SUITE_P(ListedWidths, TemporalFrame,
                         ::testing::Values(FrameCase{640, 480, 96, 182, 416, 349, 31},
                                           FrameCase{800, 600, 120, 227, 520, 436, 39},
                                           FrameCase{1024, 768, 153, 291, 665, 582, 50},
                                           FrameCase{1280, 1024, 192, 389, 832, 798, 63},
                                           FrameCase{1600, 1200, 240, 455, 1040, 935, 79}));

class TemporalPlotTest : public ::testing::Test {
 protected:
  int plot_area_count(std::int32_t colour) const {
    const TemporalLayout& l = plot.layout();
    return surface.count(l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1, colour);
  }

  PageSurface surface{1024, 768};
  TemporalPlot plot{surface.page()};
};

TEST_F(TemporalPlotTest, FirstPointIsASegmentOfZeroLength) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  plot.plot_temporal(0, 7.5f, 250.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.point_count(), 1);
  EXPECT_EQ(plot_area_count(test::kLightRed), 1);
  plot.plot_temporal(0, 10.0f, 400.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_GT(plot_area_count(test::kLightRed), 20);
}

TEST_F(TemporalPlotTest, TimeDoublesOnEqualityValuesOnlyStrictlyAbove) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  plot.plot_temporal(0, 15.0f, 500.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.time_scale(), 30.0f);
  EXPECT_EQ(plot.axis_top(0), 500.0f);
  plot.plot_temporal(0, 30.0f, 501.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.time_scale(), 60.0f);
  EXPECT_EQ(plot.axis_top(0), 1000.0f);
}

TEST_F(TemporalPlotTest, AValueAxisDoublesOncePerPointAndOnlyWhenShown) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  // 500 K jumps to 1700 K: 1000 K for this point, 2000 K on the next.
  plot.plot_temporal(0, 1.0f, 1700.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.axis_top(0), 1000.0f);
  plot.plot_temporal(0, 2.0f, 1700.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.axis_top(0), 2000.0f);
  plot.plot_temporal(0, 3.0f, 1700.0f, 1e6f, 1e6f, 1e6f, usual_scales(), switches);
  EXPECT_EQ(plot.axis_top(0), 2000.0f);
  // Velocity, depth and fraction are switched off: their axes stay.
  EXPECT_EQ(plot.axis_top(1), 100.0f);
  EXPECT_EQ(plot.axis_top(2), 10.0f);
  EXPECT_EQ(plot.axis_top(3), 1.0f);
  EXPECT_EQ(plot.point_count(), 3);
}

TEST_F(TemporalPlotTest, DoublingRepaintsTheHistoryAtTheNewScale) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  const TemporalLayout& l = plot.layout();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  plot.plot_temporal(0, 0.0f, 250.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  plot.plot_temporal(0, 7.5f, 250.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  // A horizontal line at half height across the left half of the plot area.
  int row = -1;
  for (int y = l.y0 + 1; y < l.y1; ++y) {
    if (surface.count(l.x0 + 1, y, l.x1 - 1, y, test::kLightRed) > 200) row = y;
  }
  ASSERT_GT(row, 0);
  const int x_three_eighths = l.x0 + 1 + 3 * (l.w - 2) / 8;
  EXPECT_EQ(surface.pixel(x_three_eighths, row), test::kLightRed);

  // Reaching the end of the time axis halves the drawn history; the newest segment falls away.
  plot.plot_temporal(0, 15.0f, 0.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.time_scale(), 30.0f);
  EXPECT_EQ(surface.pixel(x_three_eighths, row), test::kMagenta);
  EXPECT_EQ(surface.pixel(l.x0 + 1 + (l.w - 2) / 8, row), test::kLightRed);
}

TEST_F(TemporalPlotTest, AQuantitySwitchedOnLaterGetsACurveButNoColumn) {
  ASSERT_TRUE(surface.ready());
  auto switches = only_temperature();
  const TemporalLayout& l = plot.layout();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  const int s = 1;  // 1024-pixel page
  EXPECT_EQ(surface.count_other(l.x_depth - 5 * s, l.y0 - 15 * s, l.x_fraction - 10 * s,
                                l.y1 + 70 * s, test::kMagenta),
            0);
  switches.show_ablated_depth = true;
  plot.plot_temporal(0, 1.0f, 300.0f, 0.0f, 2.0f, 0.0f, usual_scales(), switches);
  plot.plot_temporal(0, 5.0f, 300.0f, 0.0f, 8.0f, 0.0f, usual_scales(), switches);
  EXPECT_GT(plot_area_count(test::kLightGreen), 20);
}

TEST_F(TemporalPlotTest, ScalesOfZeroOrLessAreReplacedAndStillDouble) {
  ASSERT_TRUE(surface.ready());
  PlotScaleSet scales;  // all zero
  scales.plot_temperature_scale = -500.0f;
  scales.plot_fraction_scale = std::nanf("");
  const PlotCurveSwitches switches;
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, scales, switches);
  EXPECT_EQ(plot.time_scale(), 1.0f);
  for (int k = 0; k < TemporalPlot::kQuantityCount; ++k) EXPECT_EQ(plot.axis_top(k), 1.0f);
  plot.plot_temporal(0, 0.25f, 0.5f, 0.1f, 0.2f, 0.3f, scales, switches);
  plot.plot_temporal(0, 0.75f, 0.75f, 0.15f, 0.25f, 0.35f, scales, switches);
  EXPECT_GT(plot_area_count(test::kLightRed), 20);
  plot.plot_temporal(0, 1.0f, 3.0f, 0.0f, 0.0f, 0.0f, scales, switches);
  EXPECT_EQ(plot.time_scale(), 2.0f);
  EXPECT_EQ(plot.axis_top(0), 2.0f);
}

TEST_F(TemporalPlotTest, NonFiniteValuesStopDoublingAtTheLargestReal) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  const float inf = std::numeric_limits<float>::infinity();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  for (int i = 1; i <= 200; ++i) {
    plot.plot_temporal(0, 0.01f * static_cast<float>(i), inf, 0.0f, 0.0f, 0.0f, usual_scales(),
                       switches);
  }
  plot.plot_temporal(0, std::nanf(""), std::nanf(""), 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.axis_top(0), std::numeric_limits<float>::max());
  EXPECT_EQ(plot.time_scale(), 15.0f);
  EXPECT_EQ(plot.point_count(), 201);
}

TEST_F(TemporalPlotTest, APointStoreOverflowIsRefusedNotWritten) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  const int n = TemporalPlot::kPointCapacity + 5;
  for (int i = 1; i <= n; ++i) {
    plot.plot_temporal(0, 14.0f * static_cast<float>(i) / n, 400.0f, 0.0f, 0.0f, 0.0f,
                       usual_scales(), switches);
  }
  // A doubling after the store is full repaints what was stored.
  plot.plot_temporal(0, 15.0f, 450.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
  EXPECT_EQ(plot.point_count(), n + 1);
  EXPECT_GT(plot_area_count(test::kLightRed), 200);
}

TEST_F(TemporalPlotTest, ReadoutsAreDrawnAgainAfterTheNextRunClearsThePage) {
  ASSERT_TRUE(surface.ready());
  const auto switches = only_temperature();
  const TemporalLayout& l = plot.layout();
  for (int run = 1; run <= 2; ++run) {
    surface.clear();
    plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
    plot.plot_temporal(0, 1.0f, 321.5f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
    plot.plot_temporal(0, 1.0f, 321.5f, 0.0f, 0.0f, 0.0f, usual_scales(), switches);
    // The temperature readout box and the time readout box carry text.
    EXPECT_GT(surface.count_other(l.x0 - 59, l.y1 + 42, l.x0 + 48, l.y1 + 68, test::kMagenta), 20)
        << run;
    EXPECT_GT(surface.count_other(l.x1 - 148, l.y1 + 42, l.x1 - 2, l.y1 + 68, test::kMagenta), 20)
        << run;
  }
}

TEST(TemporalPlotWidths, AnUnlistedWidthStillShowsThePanel) {
  PageSurface surface(1366, 768);
  ASSERT_TRUE(surface.ready());
  TemporalPlot plot(surface.page());
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), PlotCurveSwitches{});
  plot.plot_temporal(0, 1.0f, 300.0f, 10.0f, 1.0f, 0.1f, usual_scales(), PlotCurveSwitches{});
  plot.plot_temporal(0, 8.0f, 450.0f, 60.0f, 5.0f, 0.3f, usual_scales(), PlotCurveSwitches{});
  const TemporalLayout& l = plot.layout();
  EXPECT_EQ((std::array{l.x0, l.y0, l.x1, l.y1}), (std::array{204, 291, 887, 598}));
  EXPECT_EQ(surface.pixel(l.x0, l.y0), test::kWhite);
  EXPECT_EQ(surface.pixel(l.x1, l.y1), test::kWhite);
  EXPECT_GT(surface.count(l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1, test::kLightRed), 20);
  EXPECT_GT(surface.count(l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1, test::kYellow), 20);
  surface.save("temporal_1366x768_two_points.png");
  // The temperature label column carries text, so a label font was selected.
  const int s90 = scaled(90, surface.page().screen_scale);
  EXPECT_GT(surface.count_other(l.x0 - s90, l.y0, l.x0 - 10, l.y0 + 3 * l.dy, test::kMagenta), 20);
}

// The lines around the readouts stay whole while the readouts change, at the small layouts
// (where scaled offsets round onto one another) and on a screen of two device pixels per pixel.
struct ReadoutCase {
  int width, height;
  double ratio;
  bool caption_above_row;  // wider layouts set the caption between the boxes, in the row
};

class ReadoutBoxes : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(ReadoutBoxes, LinesAroundTheReadoutsStayWholeAndTheTimeCaptionClearOfThem) {
  const ReadoutCase c = GetParam();
  PageSurface surface(c.width, c.height, c.ratio);
  ASSERT_TRUE(surface.ready());
  TemporalPlot plot(surface.page());
  plot.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, usual_scales(), PlotCurveSwitches{});
  for (int i = 1; i <= 6; ++i) {
    const auto f = static_cast<float>(i);
    plot.plot_temporal(0, 2.0f * f, 300.0f + 37.3f * f, 11.1f * f, 1.23f * f, 0.13f * f,
                       usual_scales(), PlotCurveSwitches{});
  }
  const float s = surface.page().screen_scale;
  const TemporalLayout& l = plot.layout();
  const int top = l.y_row + scaled(40, s);
  const int bottom = l.y_row + scaled(70, s);
  const int column_top = l.y1 + scaled(15, s);
  const int v_right = l.x_time - scaled(20, s);
  const int time_left = l.x1 - scaled(150, s);
  const int depth_left = l.x_depth - scaled(5, s);
  const int fraction_left = l.x_fraction - scaled(10, s);
  const int fraction_right = l.x_fraction + scaled(50, s);
  const auto horizontal_whole = [&](int x1, int x2, int y) {
    return surface.count(x1, y, x2, y, test::kWhite) == x2 - x1 + 1;
  };
  const auto vertical_whole = [&](int x, int y1, int y2) {
    return surface.count(x, y1, x, y2, test::kWhite) == y2 - y1 + 1;
  };
  const int t_left = l.x0 - scaled(90, s);
  const int divider = l.x0 + scaled(50, s);
  EXPECT_TRUE(horizontal_whole(t_left, v_right, top));
  EXPECT_TRUE(horizontal_whole(t_left, v_right, bottom));
  EXPECT_TRUE(horizontal_whole(time_left, l.x1, top));
  EXPECT_TRUE(horizontal_whole(time_left, l.x1, bottom));
  EXPECT_TRUE(horizontal_whole(depth_left, fraction_right, column_top));
  EXPECT_TRUE(horizontal_whole(depth_left, fraction_right, bottom));
  for (int x : {t_left, divider, v_right, time_left, l.x1}) {
    EXPECT_TRUE(vertical_whole(x, top, bottom)) << x;
  }
  for (int x : {depth_left, fraction_left, fraction_right}) {
    EXPECT_TRUE(vertical_whole(x, column_top, bottom)) << x;
  }
  // Every readout shows text.
  EXPECT_GT(surface.count(l.x0 - scaled(60, s), top + 1, divider - 1, bottom - 1, test::kLightRed),
            5);
  EXPECT_GT(surface.count(time_left + 1, top + 1, l.x1 - 1, bottom - 1, test::kWhite), 5);
  EXPECT_GT(surface.count(depth_left + 1, column_top + 1, fraction_left - 1, bottom - 1,
                          test::kLightGreen),
            5);
  if (!c.caption_above_row) return;
  // "Time, ns" lies above the row: the row between the two boxes is background.
  EXPECT_EQ(surface.count_other(v_right + 1, top, time_left - 1, bottom, test::kMagenta), 0);
  EXPECT_GT(surface.count(l.x_time, l.y1 + scaled(30, s), time_left - 1, top - 1, test::kWhite),
            20);
}

INSTANTIATE_TEST_SUITE_P(SmallLayouts, ReadoutBoxes,
                         ::testing::Values(ReadoutCase{640, 480, 1.0, true},
                                           ReadoutCase{800, 600, 1.0, false},
                                           ReadoutCase{640, 480, 2.0, true},
                                           ReadoutCase{1024, 768, 1.0, false}));

}  // namespace
}  // namespace kt
