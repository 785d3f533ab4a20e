// The axes of the page's plots for one run, from the Parameter set as the run took it (its Auto
// scales and clamps applied) and the number of profile nodes the run fills. Plain data and
// arithmetic; the plots (graphics/temporal_plot.h, graphics/spatial_plot.h) draw on them.
#pragma once

#include <cstdint>

#include "params/parameter_set.h"

namespace kt {

struct PlotScaleSet {
  float plot_time_scale = 0.0f;            // ns
  float plot_temperature_scale = 0.0f;     // K
  float plot_velocity_scale = 0.0f;        // cm/s
  float plot_depth_scale = 0.0f;           // nm
  float plot_fraction_scale = 0.0f;        // -
  float profile_temperature_scale = 0.0f;  // K
  float profile_depth_scale = 0.0f;        // nm
  std::int32_t profile_node_count = 0;
};

// The depth scales, entered in absorption lengths (1/alpha), become nm; the time, temperature
// and velocity scales are taken as they are, and the fraction axis runs to 1.
PlotScaleSet plot_scales(const ParameterSet& taken, std::int32_t profile_node_count);

}  // namespace kt
