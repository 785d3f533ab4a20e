#include "graphics/plot_scales.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace kt {
namespace {

TEST(PlotScales, AxesOfTheTakenSetWithDepthsInNanometres) {
  ParameterSet p = test::default_parameters();
  p.temperature_scale = 1977.93f;
  p.velocity_scale = 1151.8f;
  p.depth_scale = 0.2f;
  PlotScaleSet scales = plot_scales(p, 65);
  EXPECT_EQ(scales.plot_time_scale, 15.0f);
  EXPECT_EQ(scales.plot_temperature_scale, 1977.93f);
  EXPECT_EQ(scales.profile_temperature_scale, 1977.93f);
  EXPECT_EQ(scales.plot_velocity_scale, 1151.8f);
  EXPECT_EQ(scales.plot_fraction_scale, 1.0f);
  EXPECT_EQ(scales.profile_node_count, 65);
  // 1/alpha = 31.25 nm: the ablated depth axis and the profile depth axis in absorption lengths.
  EXPECT_FLOAT_EQ(scales.plot_depth_scale, 6.25f);
  EXPECT_FLOAT_EQ(scales.profile_depth_scale, 281.25f);

  // A material absorbing half as strongly doubles both depth axes.
  p.absorption_coefficient = 1.6e5f;
  scales = plot_scales(p, 129);
  EXPECT_FLOAT_EQ(scales.plot_depth_scale, 12.5f);
  EXPECT_FLOAT_EQ(scales.profile_depth_scale, 562.5f);
  EXPECT_EQ(scales.profile_node_count, 129);
}

}  // namespace
}  // namespace kt
