#include "params/parameter_fields.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <type_traits>

namespace kt {

namespace {

using P = ParameterSet;

using enum FieldEffect;

constexpr ParameterField real(std::string_view name, std::string_view label, std::string_view unit,
                              float P::*member, FieldEffect effect = every_run,
                              bool decades = false) {
  return ParameterField{.name = name,
                        .label = label,
                        .unit = unit,
                        .member = member,
                        .spans_decades = decades,
                        .effect = effect};
}

// A choice or switch as its code, and storing a code.
template <auto Member>
std::int32_t code_of(const P& p) {
  if constexpr (std::is_same_v<decltype(Member), bool P::*>) {
    return p.*Member ? 1 : 0;
  } else {
    return choice_code(p.*Member);
  }
}

template <auto Member>
void set_code_of(P& p, std::int32_t code) {
  using Value = std::remove_cvref_t<decltype(p.*Member)>;
  if constexpr (std::is_same_v<Value, bool>) {
    p.*Member = code != 0;
  } else {
    p.*Member = static_cast<Value>(code);
  }
}

// A choice of the codes lowest ... highest, written out in `codes`.
template <auto Member>
constexpr ParameterField choice(std::string_view name, std::string_view label,
                                std::string_view codes, std::int32_t lowest, std::int32_t highest,
                                std::string_view names, FieldEffect effect,
                                std::string_view other_codes = {}) {
  return ParameterField{.name = name,
                        .label = label,
                        .kind = FieldKind::choice,
                        .codes = codes,
                        .code = code_of<Member>,
                        .set_code = set_code_of<Member>,
                        .lowest_code = lowest,
                        .highest_code = highest,
                        .names = names,
                        .other_codes = other_codes,
                        .effect = effect};
}
template <auto Member>
constexpr ParameterField on_off(std::string_view name, std::string_view label) {
  return ParameterField{.name = name,
                        .label = label,
                        .kind = FieldKind::on_off,
                        .codes = "0 or 1",
                        .code = code_of<Member>,
                        .set_code = set_code_of<Member>,
                        .effect = output};
}
constexpr ParameterField spatial(std::string_view name, std::string_view label, int index) {
  return ParameterField{
      .name = name, .label = label, .unit = "ns", .spatial_index = index, .effect = output};
}

constexpr std::array kFields{
    choice<&P::ablation_model>("ablation_model", "Ablation model (1 surface, 2 bulk)", "1 or 2", 1,
                               2, "surface bulk", every_run),
    choice<&P::pulse_shape>("pulse_shape", "Pulse shape (1 triangle, 2 rectangle)", "1 or 2", 1, 2,
                            "triangle rectangle", every_run),
    real("pulse_width", "Pulsewidth [ns]", "ns", &P::pulse_width),
    real("fluence", "Fluence [mJ/cm^2]", "mJ/cm^2", &P::fluence),
    real("front_fraction", "Front duration of laser pulse in percent of pulsewidth", "%",
         &P::front_fraction, triangle_pulse),
    real("wavelength", "Wavelength [nm]", "nm", &P::wavelength, none),
    choice<&P::material>("material", "Material (1 polyimide, 2 other)", "1 or 2", 1, 2,
                         "polyimide other", every_run),
    real("density", "Density [g/cm^3]", "g/cm^3", &P::density),
    real("specific_heat", "Specific heat [J/(g*K)]", "J/(g*K)", &P::specific_heat),
    real("thermal_conductivity", "Thermal conductivity [W/(cm*K)]", "W/(cm*K)",
         &P::thermal_conductivity, every_run, true),
    real("absorption_coefficient", "Absorption coefficient [cm^-1]", "1/cm",
         &P::absorption_coefficient, every_run, true),
    real("screening_coefficient", "Screening coefficient [cm^-1]", "1/cm",
         &P::screening_coefficient, every_run, true),
    real("reflection_coefficient", "Reflection coefficient", "", &P::reflection_coefficient),
    real("chromophore_density", "Number density of chromophores [cm^-3]", "1/cm^3",
         &P::chromophore_density, none, true),
    real("volatile_fraction", "Fraction of volatile species", "", &P::volatile_fraction,
         volume_depth),
    real("ambient_temperature", "Ambient temperature [K]", "K", &P::ambient_temperature),
    real("activation_energy_ea", "Activation energy (surface) Ea [eV]", "eV",
         &P::activation_energy_ea, surface_model),
    real("pre_exponential_vo", "Surface pre-exponential Vo [cm/s]", "cm/s", &P::pre_exponential_vo,
         surface_model, true),
    real("sublimation_enthalpy_dh", "Surface Sublimation Enthalpy DH [J/g]", "J/g",
         &P::sublimation_enthalpy_dh, surface_model),
    real("activation_energy_em", "Activation energy (surface) Em [eV]", "eV",
         &P::activation_energy_em, bulk_model),
    real("pre_exponential_vom", "Surface pre-exponential Vom [cm/s]", "cm/s",
         &P::pre_exponential_vom, bulk_model, true),
    real("sublimation_enthalpy_dhm", "Surface Sublimation Enthalpy DHm [J/g]", "J/g",
         &P::sublimation_enthalpy_dhm, bulk_model),
    real("activation_energy_eb", "Volumetric Activation Energy Eb [eV]", "eV",
         &P::activation_energy_eb, bulk_model),
    real("pre_exponential_ko", "Volume pre-exponential ko [s^-1]", "1/s", &P::pre_exponential_ko,
         bulk_model, true),
    real("sublimation_enthalpy_dhb", "Volumetric Sublim. Enthalpy DHb [J/cm^3]", "J/cm^3",
         &P::sublimation_enthalpy_dhb, bulk_model),
    on_off<&P::show_surface_temperature>("show_surface_temperature", "Graph: surface temperature"),
    on_off<&P::show_ablation_velocity>("show_ablation_velocity", "Graph: ablation velocity"),
    on_off<&P::show_ablated_depth>("show_ablated_depth", "Graph: ablated depth"),
    on_off<&P::show_broken_fraction>("show_broken_fraction", "Graph: broken fraction"),
    on_off<&P::show_temperature_profile>("show_temperature_profile", "Graph: temperature profile"),
    on_off<&P::show_fraction_profile>("show_fraction_profile", "Graph: fraction profile"),
    real("temperature_scale", "Temperature scale [K]", "K", &P::temperature_scale, output),
    real("velocity_scale", "Velocity scale [cm/s]", "cm/s", &P::velocity_scale, output),
    real("depth_scale", "Ablated depth scale [1/alpha]", "1/alpha", &P::depth_scale, output),
    real("time_scale", "Time scale [ns]", "ns", &P::time_scale, output),
    real("z_scale", "Depth scale [1/alpha]", "1/alpha", &P::z_scale, output),
    choice<&P::autoscale>("autoscale", "Scales (1 auto, 2 manual)", "1 or 2", 1, 2,
                          "automatic manual", output, "keeps the scales as they stand, as 2 does"),
    on_off<&P::output_surface_temperature>("output_surface_temperature",
                                           "Output: surface temperature"),
    on_off<&P::output_ablation_velocity>("output_ablation_velocity", "Output: ablation velocity"),
    on_off<&P::output_ablated_depth>("output_ablated_depth", "Output: ablated depth"),
    on_off<&P::output_broken_fraction>("output_broken_fraction", "Output: broken fraction"),
    real("output_interval", "Temporal output interval", "", &P::output_interval, output),
    choice<&P::kinetics_file_mode>("kinetics_file_mode", "Kinetics file (1 addition, 0 rewrite)",
                                   "0 or 1", 0, 1, "rewrite addition", output,
                                   "appends, as 1 does"),
    choice<&P::spatial_output>("spatial_output", "Spatial output (0 none, 1 T, 2 fraction, 3 both)",
                               "0, 1, 2 or 3", 0, 3, "none temperature fraction both", output),
    spatial("spatial_time_1", "Spatial output time 1 [ns]", 0),
    spatial("spatial_time_2", "Spatial output time 2 [ns]", 1),
    spatial("spatial_time_3", "Spatial output time 3 [ns]", 2),
    spatial("spatial_time_4", "Spatial output time 4 [ns]", 3),
    spatial("spatial_time_5", "Spatial output time 5 [ns]", 4),
    spatial("spatial_time_6", "Spatial output time 6 [ns]", 5),
    spatial("spatial_time_7", "Spatial output time 7 [ns]", 6),
    spatial("spatial_time_8", "Spatial output time 8 [ns]", 7),
    spatial("spatial_time_9", "Spatial output time 9 [ns]", 8),
    spatial("spatial_time_10", "Spatial output time 10 [ns]", 9),
};

// The physical ranges a run needs.
enum class Range {
  none,           // not checked beyond being finite
  positive,       // > 0
  non_negative,   // >= 0
  unit_interval,  // [0, 1)
  fraction,       // [0, 1]
  percent,        // [0, 100]
};

Range range_of(std::string_view name) {
  static constexpr std::array<std::string_view, 7> positive{"fluence",
                                                            "pulse_width",
                                                            "density",
                                                            "specific_heat",
                                                            "thermal_conductivity",
                                                            "absorption_coefficient",
                                                            "ambient_temperature"};
  for (std::string_view n : positive) {
    if (n == name) return Range::positive;
  }
  // A reflection of 1 lets no light in; all species volatile (1) is the whole volume depth.
  if (name == "reflection_coefficient") return Range::unit_interval;
  if (name == "volatile_fraction") return Range::fraction;
  if (name == "front_fraction") return Range::percent;
  if (name.starts_with("pre_exponential_") || name.starts_with("activation_energy_") ||
      name.starts_with("sublimation_enthalpy_") || name == "screening_coefficient") {
    return Range::non_negative;
  }
  return Range::none;
}

std::string number_text(float value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
  return buffer;
}

}  // namespace

std::span<const ParameterField> parameter_fields() {
  return kFields;
}

const ParameterField* find_parameter_field(std::string_view name) {
  for (const ParameterField& f : kFields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

std::string parameter_field_names(bool reals_only) {
  std::string out;
  for (const ParameterField& f : kFields) {
    if (reals_only && f.kind != FieldKind::real) continue;
    if (!out.empty()) out += ", ";
    out += f.name;
  }
  return out;
}

float field_value(const ParameterSet& p, const ParameterField& field) {
  if (field.code) return static_cast<float>(field.code(p));
  return field.member ? p.*field.member
                      : p.spatial_times[static_cast<std::size_t>(field.spatial_index)];
}

std::string field_value_problem(const ParameterField& field, float value) {
  const std::string refusal =
      std::string(field.name) + " is " + number_text(value) + "; it must be ";
  switch (field.kind) {
    case FieldKind::real:
      break;
    case FieldKind::choice:
      // Every whole number a 32-bit code holds: -2^31 up to the largest float below 2^31.
      if (!(value >= -2147483648.0f && value < 2147483648.0f && std::trunc(value) == value))
        return refusal + "a whole number (" + std::string(field.codes) + ")";
      break;
    case FieldKind::on_off:
      if (value != 0.0f && value != 1.0f) return refusal + "0 or 1";
      break;
  }
  return {};
}

bool set_field_value(ParameterSet& p, const ParameterField& field, float value) {
  if (!field_value_problem(field, value).empty()) return false;
  if (field.set_code) {
    field.set_code(p, static_cast<std::int32_t>(value));
  } else if (field.member) {
    p.*field.member = value;
  } else {
    p.spatial_times[static_cast<std::size_t>(field.spatial_index)] = value;
  }
  return true;
}

std::string allowed_range_text(const ParameterField& field) {
  switch (range_of(field.name)) {
    case Range::positive:
      return "greater than 0";
    case Range::non_negative:
      return "0 or more";
    case Range::unit_interval:
      return "from 0 up to (not including) 1";
    case Range::fraction:
      return "from 0 to 1";
    case Range::percent:
      return "from 0 to 100";
    case Range::none:
      break;
  }
  return {};
}

bool value_in_allowed_range(const ParameterField& field, float value) {
  if (!std::isfinite(value)) return false;
  switch (range_of(field.name)) {
    case Range::positive:
      return value > 0.0f;
    case Range::non_negative:
      return value >= 0.0f;
    case Range::unit_interval:
      return value >= 0.0f && value < 1.0f;
    case Range::fraction:
      return value >= 0.0f && value <= 1.0f;
    case Range::percent:
      return value >= 0.0f && value <= 100.0f;
    case Range::none:
      break;
  }
  return true;
}

std::string_view choice_name(const ParameterField& field, std::int32_t code) {
  if (field.kind != FieldKind::choice || code < field.lowest_code || code > field.highest_code)
    return {};
  std::string_view names = field.names;
  for (std::int32_t c = field.lowest_code; c < code; ++c) names.remove_prefix(names.find(' ') + 1);
  return names.substr(0, names.find(' '));
}

std::optional<std::int32_t> choice_code_named(const ParameterField& field, std::string_view name) {
  for (std::int32_t c = field.lowest_code; c <= field.highest_code; ++c) {
    if (!name.empty() && choice_name(field, c) == name) return c;
  }
  return std::nullopt;
}

bool field_used_by_run(const ParameterField& field, const ParameterSet& p) {
  const bool surface = p.ablation_model == AblationModel::surface;
  const bool bulk = p.ablation_model == AblationModel::bulk;
  switch (field.effect) {
    case FieldEffect::every_run:
      return true;
    case FieldEffect::surface_model:
      return surface;
    case FieldEffect::bulk_model:
    case FieldEffect::volume_depth:
      return bulk;
    case FieldEffect::triangle_pulse:
      return p.pulse_shape == PulseShape::triangle;
    case FieldEffect::output:
    case FieldEffect::none:
      break;
  }
  return false;
}

std::string field_without_effect(const ParameterField& field, const ParameterSet& p) {
  if (field_used_by_run(field, p)) return {};
  switch (field.effect) {
    case FieldEffect::surface_model:
      return "the bulk model (ablation_model 2) does not use it";
    case FieldEffect::bulk_model:
    case FieldEffect::volume_depth:
      return "the surface model (ablation_model 1) does not use it";
    case FieldEffect::triangle_pulse:
      return "a rectangular pulse (pulse_shape 2) does not use it";
    case FieldEffect::output:
      return "it sets what is drawn or written and when, not the calculated values";
    case FieldEffect::none:
      return "it is kept in the parameter file but takes no part in a calculation";
    case FieldEffect::every_run:
      break;
  }
  return {};
}

std::string check_choice_codes(const ParameterSet& parameters) {
  for (const ParameterField& f : kFields) {
    if (f.kind != FieldKind::choice || !f.other_codes.empty()) continue;
    const std::int32_t code = f.code(parameters);
    if (code < f.lowest_code || code > f.highest_code) {
      return std::string(f.name) + " is " + std::to_string(code) + "; it must be " +
             std::string(f.codes);
    }
  }
  return {};
}

std::string range_refusal(const ParameterField& field, float value) {
  if (value_in_allowed_range(field, value)) return {};
  std::string range = allowed_range_text(field);
  if (range.empty()) range = "a finite number";
  return std::string(field.label) + " is " + number_text(value) + "; it must be " + range;
}

std::string check_physical_ranges(const ParameterSet& parameters) {
  for (const ParameterField& f : kFields) {
    const float value = field_value(parameters, f);
    // A field the run sets aside need only be a number.
    if (!field_used_by_run(f, parameters) && std::isfinite(value)) continue;
    if (std::string refusal = range_refusal(f, value); !refusal.empty()) return refusal;
  }
  return {};
}

}  // namespace kt
