// The Parameter set: every input of a calculation and of its outputs, in five groups.
// Physical values are 32-bit reals, choices are the enums of parameter_choices.h and switches
// are bools; files and the field table by name write them all as numbers. The one text field is
// 14 blank-padded characters.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "params/parameter_choices.h"

namespace kt {

class RunStateMachine;

inline constexpr int kDataFileNameLength = 14;
inline constexpr int kParameterFileNameLength = 12;
inline constexpr int kParameterFilePathLength = 100;
inline constexpr int kSpatialTimeCount = 10;

struct ParameterSet {
  // Group 1, configuration.
  AblationModel ablation_model{};  // surface or bulk photothermal
  PulseShape pulse_shape{};

  // Group 2, laser pulse.
  float pulse_width = 0.0f;     // ns
  float fluence = 0.0f;         // mJ/cm^2
  float front_fraction = 0.0f;  // percent of pulse_width
  float wavelength = 0.0f;      // nm, shown and saved only

  // Group 3, material (the choice and 18 reals, moved as one block).
  Material material{};
  float density = 0.0f;                   // g/cm^3
  float specific_heat = 0.0f;             // J/(g*K)
  float thermal_conductivity = 0.0f;      // W/(cm*K)
  float absorption_coefficient = 0.0f;    // 1/cm
  float screening_coefficient = 0.0f;     // 1/cm
  float reflection_coefficient = 0.0f;    // none
  float chromophore_density = 0.0f;       // 1/cm^3, shown and saved only
  float volatile_fraction = 0.0f;         // none
  float ambient_temperature = 0.0f;       // K
  float activation_energy_ea = 0.0f;      // eV
  float pre_exponential_vo = 0.0f;        // cm/s
  float sublimation_enthalpy_dh = 0.0f;   // J/g
  float activation_energy_em = 0.0f;      // eV
  float pre_exponential_vom = 0.0f;       // cm/s
  float sublimation_enthalpy_dhm = 0.0f;  // J/g
  float activation_energy_eb = 0.0f;      // eV
  float pre_exponential_ko = 0.0f;        // 1/s
  float sublimation_enthalpy_dhb = 0.0f;  // J/cm^3

  // Group 4, graphics.
  bool show_surface_temperature = false;
  bool show_ablation_velocity = false;
  bool show_ablated_depth = false;
  bool show_broken_fraction = false;
  bool show_temperature_profile = false;
  bool show_fraction_profile = false;
  float temperature_scale = 0.0f;  // K
  float velocity_scale = 0.0f;     // cm/s
  float depth_scale = 0.0f;        // 1/alpha
  float time_scale = 0.0f;         // ns
  float z_scale = 0.0f;            // 1/alpha
  Autoscale autoscale = Autoscale::automatic;

  // Group 5, output data.
  std::array<char, kDataFileNameLength> data_file_name{};  // blank padded, no terminator
  bool output_surface_temperature = false;
  bool output_ablation_velocity = false;
  bool output_ablated_depth = false;
  bool output_broken_fraction = false;
  float output_interval = 0.0f;  // model time units at a 15 ns pulse
  KineticsFileMode kinetics_file_mode{};
  SpatialOutput spatial_output{};
  std::array<float, kSpatialTimeCount> spatial_times{};  // ns

  bool operator==(const ParameterSet&) const = default;
};

// Where the current parameter file is; never written to a file nor reset by the defaults.
struct ParameterFileLocation {
  ParameterFileMode parameter_file_mode{};  // the short name unless full_path
  std::array<char, kParameterFileNameLength> parameter_file_name{};
  std::array<char, kParameterFilePathLength> parameter_file_path{};
};

// A Parameter set shared between threads: a dialog commit and the run's reads of the
// fields it takes afresh every step hold `lock`.
struct SharedParameters {
  ParameterSet values;
  mutable std::mutex lock;

  ParameterSet snapshot() const {
    std::lock_guard<std::mutex> guard(lock);
    return values;
  }
  void commit(const ParameterSet& working_copy) {
    std::lock_guard<std::mutex> guard(lock);
    values = working_copy;
  }
};

// Sets every field to its default (the time scale to the default pulse width). Does nothing
// unless the program is idle (no calculation, no help or about window).
void set_default_parameters(ParameterSet& parameters, const RunStateMachine& run_state);
// The same, without the guard test (for tests, batch runs and the missing-file case).
void set_default_parameter_groups(ParameterSet& parameters);

// Empty when a data-file name (trailing blanks and unset bytes already dropped) names result
// files inside the output folder; otherwise what is wrong with it: a control character, a path
// separator or "..".
std::string data_file_name_problem(std::string_view name);

// Blank-padded fixed-length text helpers.
template <std::size_t N>
void set_padded(std::array<char, N>& field, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) field[i] = i < text.size() ? text[i] : ' ';
}
template <std::size_t N>
std::string trimmed_right(const std::array<char, N>& field) {
  std::size_t n = N;
  while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\0')) --n;
  return std::string(field.data(), n);
}

}  // namespace kt
