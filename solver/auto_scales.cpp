// The Auto scales of a run: the plots' temperature, velocity and depth scales from the
// parameters, as the program has always computed them.
#include <cmath>

#include "solver/calculation_run.h"

namespace kt {
namespace {

constexpr double widen(float value) {
  return static_cast<double>(value);
}

}  // namespace

AutoScales compute_auto_scales(const ParameterSet& p) {
  AutoScales a;
  const double alpha = p.absorption_coefficient;
  const double tmax = alpha * widen(0.001f) * static_cast<double>(p.fluence) /
                          (static_cast<double>(p.density) * static_cast<double>(p.specific_heat)) +
                      300.0;
  const double ts = tmax / 3.0;
  double scale = 0.0;
  double f = 0.0;
  if (ts <= 1500.0) {
    scale = tmax / 3.0;
    f = widen(0.4f);
  } else if (ts <= 2000.0) {
    scale = tmax / 3.0;
    f = widen(0.3f);
  } else if (ts <= 3000.0) {
    scale = tmax / 3.0;
    f = widen(0.2f);
  } else if (ts <= 7000.0) {
    scale = tmax * 0.125;
    f = widen(0.1f);
  } else {
    scale = tmax / 10.0;
    f = widen(0.05f);
  }
  const bool surface = p.ablation_model == AblationModel::surface;
  const double e = surface ? p.activation_energy_ea : p.activation_energy_em;
  const double v = surface ? p.pre_exponential_vo : p.pre_exponential_vom;
  a.maximum_temperature_k = tmax;
  a.band_factor = f;
  a.temperature_scale = static_cast<float>(scale);
  a.velocity_scale =
      static_cast<float>(v * std::exp(-e * widen(1.6e-19f) / (f * widen(1.38e-23f) * tmax)));
  a.depth_scale = 0.2f;
  return a;
}

}  // namespace kt
