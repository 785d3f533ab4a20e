#include "synthetic_run.h"

#include <algorithm>
#include <cmath>

namespace kt::test {

void feed_synthetic_run(PagePlots& plots, const std::function<void(int step)>& after_step) {
  constexpr int kNodes = kSyntheticNodes;
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
  RunConstants constants;  // the bulk model at 300 K
  constants.model = AblationModel::bulk;
  constants.ambient_temperature = 300.0;

  ProfileArrays profiles;
  for (int i = 1; i <= kNodes; ++i) {
    const double u = static_cast<double>(i - 1) / (kNodes - 1);
    profiles.profile_depth_nm[i] = static_cast<float>(400.0 * u * u);
  }

  plots.start(constants, scales, switches);
  double depth = 0.0, damage = 0.0;
  const double dt = 41.0 / kSyntheticSteps;
  for (int step = 1; step <= kSyntheticSteps; ++step) {
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
    StepRecord record;
    record.step = step;
    record.shown = {static_cast<float>(t), static_cast<float>(surface),
                    static_cast<float>(velocity), static_cast<float>(depth),
                    static_cast<float>(fraction)};
    record.switches = switches;
    plots.step_done(record, profiles);
    if (after_step) after_step(step);
  }
}

}  // namespace kt::test
