// Materials as data: a TOML file giving a material's name, density, specific heat c(T) and
// thermal conductivity k(T) (a law form with its coefficients, or a table), its absorption
// coefficient (and, optionally, the absorption of the fully incubated material) and the kinetic
// constants it fixes. Every value carries its unit and its source:
//
//   name = "polyimide"
//   [density]
//   value = 1.42
//   unit = "g/cm^3"
//   source = "..."
//   [specific_heat]
//   law = "saturating_exponential"   # a - b exp((t_ref - T)/t_scale); or constant, power, table
//   a = 2.55
//   ...
//   [kinetics.activation_energy_ea]
//   value = 1.5
//   unit = "eV"
//   source = "..."
//
// A value the file gives replaces the parameter file's; the rest stay as the parameter file
// has them. Unknown keys, wrong types, units other than the model's, missing sources and values
// outside the field's physical range are refused with the file, the key (and line) and the
// problem.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/material_laws.h"
#include "params/parameter_set.h"

namespace kt {

// One value of the file with its unit and source.
struct MaterialValue {
  std::string field;  // the Parameter set field it sets (`density`, `activation_energy_ea`)
  double value = 0.0;
  std::string unit;
  std::string source;
};

struct MaterialFile {
  std::filesystem::path path;
  std::string text;  // the file as read: a study's identity holds it
  std::string name;
  std::string description;
  std::vector<MaterialValue> values;  // density, absorption, kinetics: each sets its field
  PropertyLaw specific_heat;          // J/(g K)
  PropertyLaw thermal_conductivity;   // W/(cm K)
  std::string specific_heat_source;
  std::string thermal_conductivity_source;
  std::optional<double> incubated_absorption;  // 1/cm
  // The values the run's scaling uses for c and k (the grid and the heating scale depend on
  // them, not the result): given as `scale`, or else the law at 300 K.
  double specific_heat_scale = 0.0;
  double thermal_conductivity_scale = 0.0;
};

// Reads and checks a material file. On failure returns nothing and sets `error` to a message
// naming the file, the key or line, and the problem.
std::optional<MaterialFile> read_material_file(const std::filesystem::path& path,
                                               std::string& error);
// The same from text already read (`origin` names it in messages; for tests and fuzzing).
std::optional<MaterialFile> parse_material_text(std::string_view text, const std::string& origin,
                                                std::string& error);

// Empty when every table law of the file covers the temperatures from `lowest_k` to
// `highest_k`; otherwise "FILE: thermal_conductivity: the temperature reached 812.3 K, outside
// the table's range (300 K to 800 K)" for the first table left.
std::string material_range_refusal(const MaterialFile& material, double lowest_k, double highest_k);

// Empty when a run may start at the ambient temperature `ambient_k`: every table covers it and
// both laws are positive there; otherwise the refusal naming the file and the property.
std::string material_ambient_refusal(const MaterialFile& material, double ambient_k);

// True when a law of the file is a table (a run then watches its range).
bool material_has_tables(const MaterialFile& material);

// Writes the file's values into the parameter set (the material becomes "other material": the
// laws come from the file) and returns the refusal of a value the set cannot take, else empty.
std::string apply_material(const MaterialFile& material, ParameterSet& parameters);

}  // namespace kt
