// The Parameter set: every input of a calculation and of its outputs, in five groups.
// All numeric fields are 32-bit reals, choices and switches included; they are compared
// exactly with 0.0, 1.0, 2.0 and 3.0. The one text field is 14 blank-padded characters.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace kt {

class RunStateMachine;

inline constexpr int kDataFileNameLength = 14;
inline constexpr int kParameterFileNameLength = 12;
inline constexpr int kParameterFilePathLength = 100;
inline constexpr int kSpatialTimeCount = 10;

struct ParameterSet {
  // Group 1, configuration.
  float ablation_model = 0.0f;  // 1 surface photothermal, 2 bulk photothermal
  float pulse_shape = 0.0f;     // 1 triangle, 2 rectangle

  // Group 2, laser pulse.
  float pulse_width = 0.0f;     // ns
  float fluence = 0.0f;         // mJ/cm^2
  float front_fraction = 0.0f;  // percent of pulse_width
  float wavelength = 0.0f;      // nm, shown and saved only

  // Group 3, material (moved as one block of 19 reals).
  float material = 0.0f;                  // 1 polyimide, 2 other material
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
  float show_surface_temperature = 0.0f;
  float show_ablation_velocity = 0.0f;
  float show_ablated_depth = 0.0f;
  float show_broken_fraction = 0.0f;
  float show_temperature_profile = 0.0f;
  float show_fraction_profile = 0.0f;
  float temperature_scale = 0.0f;  // K
  float velocity_scale = 0.0f;     // cm/s
  float depth_scale = 0.0f;        // 1/alpha
  float time_scale = 0.0f;         // ns
  float z_scale = 0.0f;            // 1/alpha
  float autoscale = 1.0f;          // 1 auto, 2 manual

  // Group 5, output data.
  std::array<char, kDataFileNameLength> data_file_name{};  // blank padded, no terminator
  float output_surface_temperature = 0.0f;
  float output_ablation_velocity = 0.0f;
  float output_ablated_depth = 0.0f;
  float output_broken_fraction = 0.0f;
  float output_interval = 0.0f;     // model time units at a 15 ns pulse
  float kinetics_file_mode = 0.0f;  // 1 addition, 0 rewrite (any nonzero appends)
  float spatial_output = 0.0f;      // 0 none, 1 temperature, 2 fraction, 3 both
  std::array<float, kSpatialTimeCount> spatial_times{};  // ns

  bool operator==(const ParameterSet&) const = default;
};

// Where the current parameter file is; never written to a file nor reset by the defaults.
struct ParameterFileLocation {
  float parameter_file_mode = 0.0f;  // 1 short name, 2 full path
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

// Sets the defaults of one group (1 to 5) or of all (0). Does nothing unless the program is
// idle (no calculation, no help or about window).
void set_default_parameters(ParameterSet& parameters, const RunStateMachine& run_state, int group);
// The same, without the guard test (for tests, batch runs and the missing-file case).
void set_default_parameter_groups(ParameterSet& parameters, int group);

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
