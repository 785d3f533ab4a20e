#include "params/parameter_set.h"

#include <cstdio>

#include "params/run_state.h"

namespace kt {

void set_default_parameter_groups(ParameterSet& p) {
  p.ablation_model = AblationModel::bulk;
  p.pulse_shape = PulseShape::triangle;
  p.pulse_width = 15.0f;
  p.fluence = 50.0f;
  p.front_fraction = 25.0f;
  p.wavelength = 248.0f;
  p.material = Material::polyimide;
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
  p.show_surface_temperature = true;
  p.show_ablation_velocity = true;
  p.show_ablated_depth = true;
  p.show_broken_fraction = true;
  p.show_temperature_profile = true;
  p.show_fraction_profile = true;
  p.temperature_scale = 2000.0f;
  p.velocity_scale = 200.0f;
  p.depth_scale = 1.0f;
  p.time_scale = p.pulse_width;  // the time axis spans the pulse width
  p.z_scale = 9.0f;
  p.autoscale = Autoscale::automatic;
  set_padded(p.data_file_name, "Data1");
  p.output_surface_temperature = true;
  p.output_ablation_velocity = true;
  p.output_ablated_depth = true;
  p.output_broken_fraction = true;
  p.output_interval = 0.1f;
  p.kinetics_file_mode = KineticsFileMode::rewrite;
  p.spatial_output = SpatialOutput::both;
  for (int i = 0; i < kSpatialTimeCount; ++i) p.spatial_times[i] = 4.0f * static_cast<float>(i + 1);
}

void set_default_parameters(ParameterSet& parameters, const RunStateMachine& run_state) {
  if (!run_state.idle()) return;
  set_default_parameter_groups(parameters);
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
