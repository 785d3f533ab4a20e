#include "params/parameter_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "params/number_format.h"

namespace kt {
namespace {

// One line of the file: a header, a value behind a label of fixed width, or the name line.
struct Line {
  enum class Kind { header, value, name } kind;
  const char* text;  // header text or label, exactly as written
  float ParameterSet::*field = nullptr;
  int spatial_index = -1;  // for the ten spatial_times lines
};

using P = ParameterSet;

const std::vector<Line>& file_lines() {
  static const std::vector<Line> lines = [] {
    std::vector<Line> l;
    auto header = [&](const char* t) { l.push_back({Line::Kind::header, t}); };
    auto value = [&](const char* t, float P::*f) { l.push_back({Line::Kind::value, t, f}); };
    header("     Configuration  ");
    value("Ablation Model:", &P::ablation_model);
    value("Pulse Shape   :", &P::pulse_shape);
    header("     Parameters     ");
    value("Pulsewidth [ns]         :", &P::pulse_width);
    value("Fluence [mJ/cm^2]       :", &P::fluence);
    value("Part of pulse -> front  :", &P::front_fraction);
    value("Wavelength [nm]         :", &P::wavelength);
    value("Material: 1 - Polyimide, 2 - Other     :", &P::material);
    value("Density [g/cm^3]                       :", &P::density);
    value("Specific heat [J/(g*K)]                :", &P::specific_heat);
    value("Thermal conductivity [W/(cm*K)]        :", &P::thermal_conductivity);
    value("Absorption coefficient [cm^-1]         :", &P::absorption_coefficient);
    value("Screening coefficient [cm^-1]          :", &P::screening_coefficient);
    value("Reflection coefficient                 :", &P::reflection_coefficient);
    value("Number density of chromophores [cm^-3] :", &P::chromophore_density);
    value("Fraction of volatile species           :", &P::volatile_fraction);
    value("Ambient temperature [K]                :", &P::ambient_temperature);
    value("Activation energy (surface) Ea [eV]    :", &P::activation_energy_ea);
    value("Surface pre-exponential Vo [cm/s]      :", &P::pre_exponential_vo);
    value("Surface Sublimation Enthalpy DH [J/g]  :", &P::sublimation_enthalpy_dh);
    value("Activation energy (surface) Em [eV]    :", &P::activation_energy_em);
    value("Surface pre-exponential Vom [cm/s]     :", &P::pre_exponential_vom);
    value("Surface Sublimation Enthalpy DHm [J/g] :", &P::sublimation_enthalpy_dhm);
    value("Volumetric Activation Energy Eb [eV]   :", &P::activation_energy_eb);
    value("Volume pre-exponential ko [s^-1]       :", &P::pre_exponential_ko);
    value("Volumetric Sublim. Enthalpy DHb[J/cm^3]:", &P::sublimation_enthalpy_dhb);
    header("     Graphics       ");
    value("Surface Temperature        :", &P::show_surface_temperature);
    value("Velocity of Ablation front :", &P::show_ablation_velocity);
    value("Ablated depth              :", &P::show_ablated_depth);
    value("Fraction of broken bonds   :", &P::show_broken_fraction);
    value("Temperature(z)             :", &P::show_temperature_profile);
    value("Fraction(z) of broken bonds:", &P::show_fraction_profile);
    value("Temperature scale [K]    :", &P::temperature_scale);
    value("Velocity scale [cm/s]    :", &P::velocity_scale);
    value("Ablated depth [1/alpha]  :", &P::depth_scale);
    value("Time scale [ns]          :", &P::time_scale);
    value("Z scale [1/alpha]        :", &P::z_scale);
    header("     Output data    ");
    l.push_back({Line::Kind::name, "Name of Data File  :"});
    value("Surface Temperature     :", &P::output_surface_temperature);
    value("Ablation Velocity       :", &P::output_ablation_velocity);
    value("Ablated depth           :", &P::output_ablated_depth);
    value("Fraction of broken bonds:", &P::output_broken_fraction);
    value("Interval temporal output:", &P::output_interval);
    value("Kinetics Data File      :", &P::kinetics_file_mode);
    value("Spatial distributions   :", &P::spatial_output);
    static const char* const points[kSpatialTimeCount] = {
        "Point 1  [ns]:", "Point 2  [ns]:", "Point 3  [ns]:", "Point 4  [ns]:",
        "Point 5  [ns]:", "Point 6  [ns]:", "Point 7  [ns]:", "Point 8  [ns]:",
        "Point 9  [ns]:", "Point 10 [ns]:"};
    for (int i = 0; i < kSpatialTimeCount; ++i) l.push_back({Line::Kind::value, points[i], nullptr, i});
    value("Autoscale:", &P::autoscale);
    return l;
  }();
  return lines;
}

float& field_of(ParameterSet& p, const Line& line) {
  return line.spatial_index >= 0 ? p.spatial_times[static_cast<std::size_t>(line.spatial_index)]
                                 : p.*(line.field);
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

std::string format_parameter_file(const ParameterSet& parameters) {
  ParameterSet p = parameters;
  std::string out;
  out.reserve(2600);
  for (const Line& line : file_lines()) {
    out += line.text;
    if (line.kind == Line::Kind::value) {
      out += ' ';
      append_scientific(out, field_of(p, line), 12, 5);
    } else if (line.kind == Line::Kind::name) {
      out += ' ';
      out.append(p.data_file_name.data(), p.data_file_name.size());
    }
    out += "\r\n";
  }
  return out;
}

bool convert_number_field(std::string_view field, float& value) {
  std::string s;
  for (char c : field)
    if (c != ' ') s += c;
  if (s.empty()) {
    value = 0.0f;
    return true;
  }
  std::size_t k = 0;
  std::string sign;
  if (s[k] == '+' || s[k] == '-') sign = s[k++];
  std::string digits;
  bool point = false;
  int fraction_digits = 0;
  while (k < s.size() && (std::isdigit(static_cast<unsigned char>(s[k])) || (s[k] == '.' && !point))) {
    if (s[k] == '.') {
      point = true;
    } else {
      digits += s[k];
      if (point) ++fraction_digits;
    }
    ++k;
  }
  long exponent = 0;
  if (k < s.size()) {
    const char c = s[k];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') ++k;
    else if (c != '+' && c != '-') return false;
    bool negative = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
    const std::size_t first = k;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
      exponent = std::min(exponent * 10 + (s[k++] - '0'), 100000L);  // beyond any real
    }
    if (k == first || k != s.size()) return false;
    if (negative) exponent = -exponent;
  }
  if (digits.empty()) {
    value = 0.0f;
    return true;
  }
  // Without a point the last five digits are the fraction.
  exponent -= point ? fraction_digits : 5;
  const std::string text = sign + digits + "E" + std::to_string(exponent);
  value = std::strtof(text.c_str(), nullptr);  // correctly rounded to single precision
  return true;
}

FileResult read_parameter_file(const std::string& path, ParameterSet& parameters) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {false, "Cannot open the parameter file " + quoted(path) + ": " + std::strerror(errno)};
  ParameterSet read = parameters;
  int number = 0;
  for (const Line& line : file_lines()) {
    ++number;
    std::string text;
    if (!std::getline(in, text)) {
      return {false, "The parameter file " + quoted(path) + " ends after line " +
                         std::to_string(number - 1) + "; a parameter file has " +
                         std::to_string(kParameterFileLines) + " lines."};
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t label = std::strlen(line.text);
    if (line.kind == Line::Kind::header) continue;
    text.resize(std::max(text.size(), label + 1 + 14), ' ');
    if (line.kind == Line::Kind::name) {
      std::memcpy(read.data_file_name.data(), text.data() + label + 1, read.data_file_name.size());
      continue;
    }
    const std::string field = text.substr(label + 1, 12);
    if (!convert_number_field(field, field_of(read, line))) {
      std::string shown = field;
      while (!shown.empty() && shown.back() == ' ') shown.pop_back();
      return {false, "The parameter file " + quoted(path) + ", line " + std::to_string(number) +
                         ": \"" + shown + "\" is not a number."};
    }
  }
  parameters = read;
  return {};
}

FileResult write_parameter_file(const std::string& path, ParameterSet& parameters) {
  ParameterSet written = parameters;
  written.time_scale = written.pulse_width;
  const std::string text = format_parameter_file(written);
  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path temporary = target;
  temporary += ".kt-save~";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      return {false, "Cannot write the parameter file " + quoted(path) + ": " +
                         std::strerror(errno)};
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return {false, "Writing the parameter file " + quoted(path) + " failed."};
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return {false, "Cannot replace the parameter file " + quoted(path) + ": " + error.message()};
  }
  parameters.time_scale = written.time_scale;  // the record follows the saved file
  return {};
}

std::string current_parameter_file(const ParameterFileLocation& location) {
  return location.parameter_file_mode == 2.0f ? trimmed_right(location.parameter_file_path)
                                              : trimmed_right(location.parameter_file_name);
}

FileResult transfer_parameter_file(int direction, ParameterSet& parameters,
                                   const ParameterFileLocation& location) {
  const std::string path = current_parameter_file(location);
  if (direction == 0) {
    std::error_code error;
    if (std::filesystem::exists(path, error) || error) return read_parameter_file(path, parameters);
    set_default_parameter_groups(parameters, 0);
  }
  return write_parameter_file(path, parameters);
}

}  // namespace kt
