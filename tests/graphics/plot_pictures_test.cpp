// A synthetic run of 5359 steps drawn through the page plot operations, at a few page sizes;
// the pages are saved under shots/ for a look and checked for their curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/page_plots.h"
#include "page_surface.h"

namespace kt {
namespace {

using test::PageSurface;

constexpr int kSteps = 5359;
constexpr int kNodes = 65;

// Feeds a heating pulse of 20 ns: the surface heats to about 1700 K and cools, the front
// speeds up with the temperature, the depth accumulates and the surface bonds break.
void feed_synthetic_run(PagePlots& plots) {
  PlotScaleSet scales;
  scales.plot_time_scale = 15.0f;
  scales.plot_temperature_scale = 500.0f;
  scales.plot_velocity_scale = 20.0f;
  scales.plot_depth_scale = 6.25f;
  scales.plot_fraction_scale = 1.0f;
  scales.profile_temperature_scale = 500.0f;
  scales.profile_depth_scale = 281.25f;
  scales.profile_node_count = kNodes;
  const PlotCurveSwitches switches;

  ProfileArrays profiles;
  for (int i = 1; i <= kNodes; ++i) {
    const double u = static_cast<double>(i - 1) / (kNodes - 1);
    profiles.profile_depth_nm[i] = static_cast<float>(400.0 * u * u);
  }

  plots.plot_temporal(1, 0.0f, 300.0f, 0.0f, 0.0f, 0.0f, scales, switches);
  double depth = 0.0, damage = 0.0;
  const double dt = 41.0 / kSteps;
  for (int step = 1; step <= kSteps; ++step) {
    const double t = step * dt;
    const double heating = (1.0 - std::exp(-t / 4.0)) * std::exp(-std::max(0.0, t - 12.0) / 15.0);
    const double surface = 300.0 + 1450.0 * heating;
    const double velocity = 4.0e4 * std::exp(-1.2e4 / surface);
    depth += velocity * dt * 0.01;  // cm/s · ns → nm
    damage += 2.0e5 * std::exp(-1.6e4 / surface) * dt;
    const double fraction = 1.0 - std::exp(-damage);
    for (int i = 1; i <= kNodes; ++i) {
      const double z = profiles.profile_depth_nm[i];
      profiles.profile_temperature_k[i] =
          static_cast<float>(300.0 + (surface - 300.0) * std::exp(-z / (40.0 + 3.0 * t)));
      profiles.profile_fraction[i] = static_cast<float>(fraction * std::exp(-z / 60.0));
    }
    plots.plot_temporal(0, static_cast<float>(t), static_cast<float>(surface),
                        static_cast<float>(velocity), static_cast<float>(depth),
                        static_cast<float>(fraction), scales, switches);
    plots.plot_spatial(step == 1 ? 1 : 0, 3, profiles, scales);
  }
}

class PlotPictures : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PlotPictures, AWholeRunLeavesAllCurvesOnThePage) {
  const auto [width, height] = GetParam();
  PageSurface surface(width, height);
  ASSERT_TRUE(surface.ready());
  PagePlots plots(surface.page());
  feed_synthetic_run(plots);
  surface.save("plots_" + std::to_string(width) + "x" + std::to_string(height) + ".png");

  EXPECT_EQ(plots.temporal().point_count(), kSteps);
  EXPECT_EQ(plots.temporal().time_scale(), 60.0f);
  EXPECT_EQ(plots.temporal().axis_top(0), 2000.0f);
  const TemporalLayout& l = plots.temporal().layout();
  for (std::int32_t colour :
       {test::kLightRed, test::kYellow, test::kLightGreen, test::kLightCyan}) {
    EXPECT_GT(surface.count(l.x0 + 1, l.y0 + 1, l.x1 - 1, l.y1 - 1, colour), 30) << colour;
  }
  const auto t = profile_panel_layout(surface.page(), 0.15f, 0.05f, 0.2f, 0.2f);
  const auto f = profile_panel_layout(surface.page(), 0.7f, 0.05f, 0.2f, 0.2f);
  EXPECT_GT(surface.count(t.x0 + 1, t.y0 + 1, t.x1 - 1, t.y1 - 1, test::kYellow), 30);
  EXPECT_GT(surface.count(f.x0 + 1, f.y0 + 1, f.x1 - 1, f.y1 - 1, test::kYellow), 30);
}

INSTANTIATE_TEST_SUITE_P(Pages, PlotPictures,
                         ::testing::Values(std::pair{640, 480}, std::pair{1024, 768},
                                           std::pair{1366, 768}));

}  // namespace
}  // namespace kt
