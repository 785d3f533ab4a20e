// The spatial panels drawn into offscreen pages: frames at every listed width, the first
// profile on step 2, overpainting, the temperature doubling, the deepest node, the depth
// labels, the panel selection and the scale guards.
#include "graphics/spatial_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graphics/page_plots.h"
#include "page_surface.h"

namespace kt {
namespace {

using test::PageSurface;

constexpr int kNodes = 65;

PlotScaleSet profile_scales(float depth_top = 100.0f, float temperature_top = 500.0f) {
  PlotScaleSet scales;
  scales.profile_depth_scale = depth_top;
  scales.profile_temperature_scale = temperature_top;
  scales.profile_node_count = kNodes;
  return scales;
}

// Nodes every 2 nm from 0 to 128 nm, both profiles flat.
ProfileArrays flat_profiles(float temperature, float fraction) {
  ProfileArrays p;
  for (int i = 1; i <= kNodes; ++i) {
    p.profile_depth_nm[i] = 2.0f * static_cast<float>(i - 1);
    p.profile_temperature_k[i] = temperature;
    p.profile_fraction[i] = fraction;
  }
  return p;
}

struct FrameCase {
  int width, height;
  std::array<int, 4> temperature, fraction;
};

class SpatialFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(SpatialFrames, BothFramesAndNoCurveOnTheFirstStep) {
  const FrameCase c = GetParam();
  PageSurface surface(c.width, c.height);
  ASSERT_TRUE(surface.ready());
  SpatialPlot plot(surface.page());
  plot.plot_spatial(1, 3, flat_profiles(250.0f, 0.5f), profile_scales());
  for (const auto& f : {c.temperature, c.fraction}) {
    const auto [x0, y0, x1, y1] = f;
    EXPECT_EQ(surface.pixel(x0, y0), test::kWhite);
    EXPECT_EQ(surface.pixel(x1, y1), test::kWhite);
    EXPECT_EQ(surface.count_other(x0 + 1, y0 + 1, x1 - 1, y1 - 1, test::kCyan), 0)
        << c.width << " x0 " << x0;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ListedWidths, SpatialFrames,
    ::testing::Values(FrameCase{640, 480, {96, 24, 224, 120}, {447, 24, 575, 120}},
                      FrameCase{800, 600, {120, 30, 280, 150}, {559, 30, 719, 150}},
                      FrameCase{1024, 768, {153, 38, 357, 191}, {716, 38, 920, 191}},
                      FrameCase{1280, 1024, {192, 51, 448, 255}, {895, 51, 1151, 255}},
                      FrameCase{1600, 1200, {240, 60, 560, 300}, {1119, 60, 1439, 300}}));

class SpatialPlotTest : public ::testing::Test {
 protected:
  // Plot areas of the 1024 x 768 page.
  int temperature_area(std::int32_t colour) const {
    return surface.count(154, 39, 356, 190, colour);
  }
  int temperature_upper_half(std::int32_t colour) const {
    return surface.count(154, 39, 356, 112, colour);
  }
  int fraction_area(std::int32_t colour) const { return surface.count(717, 39, 919, 190, colour); }

  PageSurface surface{1024, 768};
  SpatialPlot plot{surface.page()};
};

TEST_F(SpatialPlotTest, ThePreviousProfileIsPaintedOverByTheNext) {
  ASSERT_TRUE(surface.ready());
  plot.plot_spatial(1, 3, flat_profiles(375.0f, 0.75f), profile_scales());
  EXPECT_EQ(temperature_area(test::kYellow), 0);
  plot.plot_spatial(0, 3, flat_profiles(375.0f, 0.75f), profile_scales());
  EXPECT_GT(temperature_upper_half(test::kYellow), 50);
  EXPECT_GT(fraction_area(test::kYellow), 50);
  // The profile drops to a quarter of the axis: the old line is gone, the new one is low.
  plot.plot_spatial(0, 3, flat_profiles(125.0f, 0.25f), profile_scales());
  EXPECT_EQ(temperature_upper_half(test::kYellow), 0);
  EXPECT_GT(temperature_area(test::kYellow), 50);
  EXPECT_EQ(surface.count(717, 39, 919, 112, test::kYellow), 0);
  EXPECT_EQ(plot.previous_temperature_profile()[kNodes], 125.0f);
}

TEST_F(SpatialPlotTest, TemperatureTopDoublesUntilItCoversTheProfile) {
  ASSERT_TRUE(surface.ready());
  plot.plot_spatial(1, 1, flat_profiles(300.0f, 0.0f), profile_scales());
  plot.plot_spatial(0, 1, flat_profiles(500.0f, 0.0f), profile_scales());
  EXPECT_EQ(plot.temperature_top(), 500.0f);  // equal is not above
  EXPECT_GT(surface.count(154, 39, 356, 60, test::kYellow), 50);
  ProfileArrays p = flat_profiles(300.0f, 0.0f);
  p.profile_temperature_k[10] = 1250.0f;  // 2.5 times the top: two doublings
  plot.plot_spatial(0, 1, p, profile_scales());
  EXPECT_EQ(plot.temperature_top(), 2000.0f);
  // The area was repainted: the old line along the top edge is gone.
  EXPECT_EQ(surface.count(154, 39, 356, 60, test::kYellow), 0);
}

TEST_F(SpatialPlotTest, NodesAtOrBeyondTheDepthTopAreIgnored) {
  ASSERT_TRUE(surface.ready());
  // Depth top 100 nm: node 51 lies exactly at it.
  plot.plot_spatial(1, 1, flat_profiles(300.0f, 0.0f), profile_scales());
  ProfileArrays p = flat_profiles(300.0f, 0.0f);
  p.profile_temperature_k[51] = 5000.0f;
  p.profile_temperature_k[60] = 5000.0f;
  plot.plot_spatial(0, 1, p, profile_scales());
  EXPECT_EQ(plot.temperature_top(), 500.0f);
  EXPECT_GT(temperature_area(test::kYellow), 50);
  EXPECT_EQ(surface.count(154, 39, 356, 80, test::kYellow), 0);
}

TEST_F(SpatialPlotTest, TheDeepestNodeIsNeverDrawn) {
  ASSERT_TRUE(surface.ready());
  // Every node lies within a 200 nm depth axis; only the deepest one is high.
  ProfileArrays p = flat_profiles(100.0f, 0.0f);
  p.profile_temperature_k[kNodes] = 450.0f;
  plot.plot_spatial(1, 1, p, profile_scales(200.0f));
  plot.plot_spatial(0, 1, p, profile_scales(200.0f));
  EXPECT_EQ(plot.last_node(), kNodes - 1);
  EXPECT_GT(temperature_area(test::kYellow), 50);
  EXPECT_EQ(temperature_upper_half(test::kYellow), 0);
}

TEST_F(SpatialPlotTest, OnlyTheEndsOfTheDepthAxisAreLabelled) {
  ASSERT_TRUE(surface.ready());
  plot.plot_spatial(1, 1, flat_profiles(300.0f, 0.0f), profile_scales());
  surface.save("spatial_labels_1024x768.png");
  // Labels sit at x0 - 40 + i·51, y1 + 15 with 8-pixel cells; "Z, nm" starts at x 254.
  EXPECT_GT(surface.count_other(113, 206, 170, 225, test::kCyan), 0);  // i = 0
  EXPECT_EQ(surface.count_other(192, 206, 250, 225, test::kCyan), 0);  // i = 1, 2
  EXPECT_GT(surface.count_other(317, 206, 380, 225, test::kCyan), 0);  // i = 4
}

TEST_F(SpatialPlotTest, CurvesSelectThePanelsAndZeroKeepsThePreviousProfiles) {
  ASSERT_TRUE(surface.ready());
  plot.plot_spatial(1, 1, flat_profiles(300.0f, 0.5f), profile_scales());
  plot.plot_spatial(0, 1, flat_profiles(300.0f, 0.5f), profile_scales());
  // The fraction panel was never selected: its area keeps the page.
  EXPECT_EQ(surface.count_other(717, 39, 919, 190, test::kGrey), 0);
  plot.plot_spatial(0, 0, flat_profiles(450.0f, 0.9f), profile_scales());
  EXPECT_EQ(plot.previous_temperature_profile()[1], 300.0f);
  EXPECT_EQ(plot.previous_fraction_profile()[1], 0.5f);
}

TEST_F(SpatialPlotTest, APanelSelectedLaterInTheRunGetsItsFrame) {
  ASSERT_TRUE(surface.ready());
  plot.plot_spatial(1, 0, flat_profiles(300.0f, 0.5f), profile_scales());
  EXPECT_EQ(surface.count_other(100, 20, 400, 230, test::kGrey), 0);
  plot.plot_spatial(0, 1, flat_profiles(300.0f, 0.5f), profile_scales());
  EXPECT_EQ(surface.pixel(153, 38), test::kWhite);
  EXPECT_EQ(surface.pixel(357, 191), test::kWhite);
  EXPECT_GT(temperature_area(test::kYellow), 50);
}

TEST_F(SpatialPlotTest, ScalesOfZeroOrLessDoNotHangOrHideTheProfile) {
  ASSERT_TRUE(surface.ready());
  const PlotScaleSet scales = profile_scales(0.0f, -500.0f);
  ProfileArrays p;
  for (int i = 1; i <= kNodes; ++i) {
    p.profile_depth_nm[i] = 0.01f * static_cast<float>(i - 1);  // 0 to 0.64 nm
    p.profile_temperature_k[i] = 700.0f;
  }
  p.profile_temperature_k[5] = std::nanf("");
  plot.plot_spatial(1, 3, p, scales);
  EXPECT_EQ(plot.depth_top(), 1.0f);
  EXPECT_EQ(plot.temperature_top(), 1.0f);
  plot.plot_spatial(0, 3, p, scales);
  EXPECT_EQ(plot.temperature_top(), 1024.0f);
  EXPECT_GT(temperature_area(test::kYellow), 20);
}

TEST_F(SpatialPlotTest, AnInfiniteTemperatureEndsTheDoublingAtTheLargestReal) {
  ASSERT_TRUE(surface.ready());
  ProfileArrays p = flat_profiles(300.0f, 0.0f);
  plot.plot_spatial(1, 1, p, profile_scales());
  p.profile_temperature_k[3] = std::numeric_limits<float>::infinity();
  plot.plot_spatial(0, 1, p, profile_scales());
  EXPECT_EQ(plot.temperature_top(), std::numeric_limits<float>::max());
}

// The spatial panels show the fraction only in the bulk model, and each curve only when its
// switch is on.
TEST(SpatialCurves, FollowTheModelAndTheSwitches) {
  PlotCurveSwitches switches;
  EXPECT_EQ(spatial_curves(AblationModel::bulk, switches), 3);
  EXPECT_EQ(spatial_curves(AblationModel::surface, switches), 1);
  switches.show_fraction_profile = false;
  EXPECT_EQ(spatial_curves(AblationModel::bulk, switches), 1);
  switches.show_temperature_profile = false;
  EXPECT_EQ(spatial_curves(AblationModel::surface, switches), 0);
}

}  // namespace
}  // namespace kt
