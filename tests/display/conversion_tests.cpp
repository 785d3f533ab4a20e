// The fast real-to-pixel conversion gives exactly the pixel of the defining formula,
// round((v - min) * (pixels - 1) / (max - min)) with halves away from zero, including values
// that land on or next to a half pixel, huge and non-finite values and extreme windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "display/display.h"
#include "display/drawing_context.h"
#include "display/surface.h"

namespace kt::display {
namespace {

int expected_pixel(double v, double lo, double hi, int pixels) {
  return round_to_pixel((v - lo) * (pixels - 1) / (hi - lo));
}

// Values that map to exact halves and to their floating-point neighbours.
std::vector<double> probe_values(double lo, double hi, int pixels, std::mt19937_64& random) {
  std::vector<double> values;
  std::uniform_real_distribution<double> within(lo - (hi - lo), hi + (hi - lo));
  for (int i = 0; i < 400; ++i) values.push_back(within(random));
  for (int k = -3; k < pixels + 3; k += 1 + pixels / 50) {
    const double half = lo + (k + 0.5) * (hi - lo) / (pixels - 1);
    values.push_back(half);
    values.push_back(std::nextafter(half, hi + 1.0e300));
    values.push_back(std::nextafter(half, lo - 1.0e300));
    values.push_back(lo + k * (hi - lo) / (pixels - 1));
  }
  for (double v :
       {0.0, -0.0, 1.0e300, -1.0e300, std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    values.push_back(v);
  }
  return values;
}

TEST(RealToPixel, MatchesTheDefiningFormulaEverywhere) {
  std::mt19937_64 random(20261207);
  RealWindow window;
  struct Window {
    double lo, hi;
  };
  const std::vector<Window> windows = {
      {0.0, 60.0},          {0.0, 2000.0},  {0.0, 281.25},       {0.0, 1.0}, {-3.7, 11.9},
      {1.0e-300, 3.0e-300}, {0.0, 1.0e300}, {-1.0e308, 1.0e308}, {0.1, 0.3}, {1.0e6, 1.0e6 + 1}};
  const std::vector<std::array<int, 4>> viewports = {{0, 0, 1023, 767},
                                                     {154, 292, 664, 581},
                                                     {154, 39, 356, 190},
                                                     {10, 10, 10, 10},
                                                     {-50, -20, 2000, 900}};
  long checked = 0;
  for (const auto& vp : viewports) {
    const int width = vp[2] - vp[0] + 1, height = vp[3] - vp[1] + 1;
    for (const Window& wx : windows) {
      for (const Window& wy : {windows[1], wx}) {
        for (bool invert : {false, true}) {
          ASSERT_TRUE(window.set(invert, wx.lo, wy.hi, wx.hi, wy.lo));
          const auto xs = probe_values(wx.lo, wx.hi, width, random);
          const auto ys = probe_values(wy.lo, wy.hi, height, random);
          for (std::size_t i = 0; i < xs.size(); ++i) {
            const double x = xs[i], y = ys[i % ys.size()];
            const int px = window.x_to_pixel(width, x);
            const int py = window.y_to_pixel(height, y);
            const int ry = expected_pixel(y, wy.lo, wy.hi, height);
            ASSERT_EQ(px, expected_pixel(x, wx.lo, wx.hi, width)) << x << " in " << wx.lo;
            ASSERT_EQ(py, invert ? height - 1 - ry : ry) << y << " in " << wy.lo;
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
}  // namespace kt::display

namespace kt::display {
namespace {

// Two alternating polylines with shared depths, repeated points, a NaN, a negative zero,
// points far outside and a stretch where they coincide, drawn once as segments and once call by
// call.
std::vector<RealSegment> alternating_paths(std::mt19937_64& random) {
  std::uniform_real_distribution<double> value(-0.2, 1.3);
  std::vector<RealSegment> segments;
  double depth = 0.0, a = value(random), b = value(random);
  for (int i = 0; i < 300; ++i) {
    const double next_depth = i % 17 == 5 ? depth : depth + 0.004 * (1 + i % 3);
    double next_a = i % 13 == 0 ? a : value(random);
    double next_b = value(random);
    if (i == 40) next_a = std::numeric_limits<double>::quiet_NaN();
    if (i == 41) next_a = -0.0;
    if (i == 90) next_b = 1.0e6;
    // A stretch where both polylines coincide, exactly or within a pixel: a segment whose end
    // points equal the next one's is covered by it.
    if (i >= 200 && i < 230) {
      b = a;
      next_b = i % 2 == 0 ? next_a : next_a + 1e-7;
    }
    segments.push_back({3, depth, a, next_depth, next_a});
    segments.push_back({14, depth, b, next_depth, next_b});
    if (i % 29 == 0) segments.push_back({10, next_depth, next_b, next_depth, 0.5});
    depth = next_depth;
    a = next_a;
    b = next_b;
  }
  return segments;
}

void set_up_panel(DrawingContext& pen) {
  pen.set_viewport(0, 0, 299, 199);
  pen.set_color(0);
  pen.draw_rectangle(3, 0, 0, 299, 199);
  pen.set_viewport(20, 10, 280, 190);
  pen.set_real_window(1, 0.0, 0.0, 1.0, 1.0);
}

std::vector<std::int32_t> pixels() {
  std::vector<std::int32_t> all;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) all.push_back(surface_pixel(x, y));
  return all;
}

TEST(RealSegments, DrawAsTheCallsOneByOneWouldAndLeaveTheSameState) {
  std::mt19937_64 random(7);
  const std::vector<RealSegment> segments = alternating_paths(random);
  ASSERT_TRUE(create_offscreen_main_window(300, 200));
  DrawingContext pen;

  set_up_panel(pen);
  for (const RealSegment& s : segments) {
    pen.set_color(s.colour);
    pen.move_to_real(s.x1, s.y1);
    pen.line_to_real(s.x2, s.y2);
  }
  const std::vector<std::int32_t> one_by_one = pixels();
  RealPosition end_one_by_one;
  pen.move_to_real(0.0, 0.0, &end_one_by_one);
  const std::int16_t colour_one_by_one = pen.set_color(0);

  set_up_panel(pen);
  EXPECT_EQ(pen.draw_real_segments(segments.data(), static_cast<int>(segments.size())), 1);
  const std::vector<std::int32_t> batched = pixels();
  RealPosition end_batched;
  pen.move_to_real(0.0, 0.0, &end_batched);
  EXPECT_EQ(pen.set_color(0), colour_one_by_one);
  EXPECT_EQ(end_batched.x, end_one_by_one.x);
  EXPECT_EQ(end_batched.y, end_one_by_one.y);
  EXPECT_TRUE(batched == one_by_one);
  EXPECT_GT(std::count(batched.begin(), batched.end(), 0xFFFF00), 100);

  destroy_offscreen_main_window();
  EXPECT_EQ(pen.draw_real_segments(segments.data(), 1), 0);  // no window
}

}  // namespace
}  // namespace kt::display
