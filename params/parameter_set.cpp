#include "params/parameter_set.h"

#include <cstdio>

#include "params/run_state.h"

namespace kt {

void set_default_parameter_groups(ParameterSet& p, int group) {
  if (group == 0 || group == 1) {
    p.ablation_model = 2.0f;
    p.pulse_shape = 1.0f;
  }
  if (group == 0 || group == 2) {
    p.pulse_width = 15.0f;
    p.fluence = 50.0f;
    p.front_fraction = 25.0f;
    p.wavelength = 248.0f;
  }
  if (group == 0 || group == 3) {
    p.material = 1.0f;
    p.density = 1.42f;
    p.specific_heat = 2.0f;
    p.thermal_conductivity = 0.00156f;
    p.absorption_coefficient = 3.2e5f;
    p.screening_coefficient = 1.4e5f;
    p.reflection_coefficient = 0.1f;
    p.chromophore_density = 6.0e21f;
    p.volatile_fraction = 0.32f;
    p.ambient_temperature = 300.0f;
    p.activation_energy_ea = 1.5f;
    p.pre_exponential_vo = 3.0e6f;
    p.sublimation_enthalpy_dh = 900.0f;
    p.activation_energy_em = 0.7f;
    p.pre_exponential_vom = 1.1e5f;
    p.sublimation_enthalpy_dhm = 500.0f;
    p.activation_energy_eb = 1.5f;
    p.pre_exponential_ko = 3.57e12f;
    p.sublimation_enthalpy_dhb = 2000.0f;
  }
  if (group == 0 || group == 4) {
    p.show_surface_temperature = 1.0f;
    p.show_ablation_velocity = 1.0f;
    p.show_ablated_depth = 1.0f;
    p.show_broken_fraction = 1.0f;
    p.show_temperature_profile = 1.0f;
    p.show_fraction_profile = 1.0f;
    p.temperature_scale = 2000.0f;
    p.velocity_scale = 200.0f;
    p.depth_scale = 1.0f;
    p.time_scale = p.pulse_width;  // follows the pulse width at this moment
    p.z_scale = 9.0f;
    p.autoscale = 1.0f;
  }
  if (group == 0 || group == 5) {
    set_padded(p.data_file_name, "Data1");
    p.output_surface_temperature = 1.0f;
    p.output_ablation_velocity = 1.0f;
    p.output_ablated_depth = 1.0f;
    p.output_broken_fraction = 1.0f;
    p.output_interval = 0.1f;
    p.kinetics_file_mode = 0.0f;
    p.spatial_output = 3.0f;
    for (int i = 0; i < kSpatialTimeCount; ++i)
      p.spatial_times[i] = 4.0f * static_cast<float>(i + 1);
  }
}

void set_default_parameters(ParameterSet& parameters, const RunStateMachine& run_state, int group) {
  if (!run_state.idle()) return;
  set_default_parameter_groups(parameters, group);
}

std::string data_file_name_problem(std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char text[64];
      std::snprintf(text, sizeof text, "it holds the control character 0x%02X", byte);
      return text;
    }
    if (c == '/' || c == '\\') {
      return "it holds a path separator; result files are written to the output folder only";
    }
  }
  if (name.find("..") != std::string_view::npos) {
    return "it holds \"..\"; result files are written to the output folder only";
  }
  return {};
}

}  // namespace kt
