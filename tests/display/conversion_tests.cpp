// The fast real-to-pixel conversion gives exactly the pixel of the defining formula,
// round((v - min) * (pixels - 1) / (max - min)) with halves away from zero, including values
// that land on or next to a half pixel, huge and non-finite values and extreme windows.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

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
  for (double v : {0.0, -0.0, 1.0e300, -1.0e300, std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    values.push_back(v);
  }
  return values;
}

TEST(RealToPixel, MatchesTheDefiningFormulaEverywhere) {
  std::mt19937_64 random(20261207);
  Surface surface(1024, 768);
  struct Window {
    double lo, hi;
  };
  const std::vector<Window> windows = {{0.0, 60.0},       {0.0, 2000.0},      {0.0, 281.25},
                                       {0.0, 1.0},        {-3.7, 11.9},       {1.0e-300, 3.0e-300},
                                       {0.0, 1.0e300},    {-1.0e308, 1.0e308}, {0.1, 0.3},
                                       {1.0e6, 1.0e6 + 1}};
  const std::vector<std::array<int, 4>> viewports = {
      {0, 0, 1023, 767}, {154, 292, 664, 581}, {154, 39, 356, 190}, {10, 10, 10, 10},
      {-50, -20, 2000, 900}};
  long checked = 0;
  for (const auto& vp : viewports) {
    surface.set_viewport(vp[0], vp[1], vp[2], vp[3]);
    const int width = vp[2] - vp[0] + 1, height = vp[3] - vp[1] + 1;
    for (const Window& wx : windows) {
      for (const Window& wy : {windows[1], wx}) {
        for (bool invert : {false, true}) {
          ASSERT_TRUE(surface.set_real_window(invert, wx.lo, wy.hi, wx.hi, wy.lo));
          const auto xs = probe_values(wx.lo, wx.hi, width, random);
          const auto ys = probe_values(wy.lo, wy.hi, height, random);
          for (std::size_t i = 0; i < xs.size(); ++i) {
            const double x = xs[i], y = ys[i % ys.size()];
            int px = 0, py = 0;
            surface.real_to_pixel(x, y, px, py);
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
