#include "graphics/plot_scales.h"

namespace kt {

PlotScaleSet plot_scales(const ParameterSet& p, std::int32_t profile_node_count) {
  const double alpha = p.absorption_coefficient;
  PlotScaleSet scales;
  scales.plot_time_scale = p.time_scale;
  scales.plot_temperature_scale = p.temperature_scale;
  scales.plot_velocity_scale = p.velocity_scale;
  scales.plot_depth_scale = static_cast<float>(static_cast<double>(p.depth_scale) * 1e7 / alpha);
  scales.plot_fraction_scale = 1.0f;
  scales.profile_temperature_scale = p.temperature_scale;
  scales.profile_depth_scale = static_cast<float>(static_cast<double>(p.z_scale) * 1e7 / alpha);
  scales.profile_node_count = profile_node_count;
  return scales;
}

}  // namespace kt
