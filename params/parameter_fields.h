// The numeric fields of the Parameter set by name: the name used in code and on command lines,
// the label the dialogs show, the unit, and where the value lives. One table serves the range
// checks, the fit and study commands, the parameter file and the Python module; through it every
// field, choices and switches included, is read and set as a number.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/parameter_set.h"

namespace kt {

// What a field changes in a calculation. The depths, temperatures and velocities of a run depend
// only on the fields its ablation model and pulse shape use; the others choose what is drawn or
// written and when, or are kept for the record.
enum class FieldEffect : std::uint8_t {
  every_run,      // the pulse and the material
  surface_model,  // the surface model's channel A (Ea, Vo, DH); the bulk model sets it aside
  bulk_model,     // the bulk model's channel M and volume reaction; the surface model sets it aside
  volume_depth,   // the bulk model's volume depth alone (the fraction of volatile species)
  triangle_pulse,  // the rise of a triangular pulse
  output,          // what is drawn or written and when, not the calculated values
  none,            // nothing: kept in the set and the file (wavelength, chromophore density)
};

enum class FieldKind {
  real,    // a physical value
  choice,  // one of a set of whole-number codes (an enum of parameter_choices.h)
  on_off,  // a switch: 1 on, 0 off
};

struct ParameterField {
  std::string_view name{};   // `fluence`, `pre_exponential_vom`, `spatial_time_3`, ...
  std::string_view label{};  // "Fluence [mJ/cm^2]"
  std::string_view unit{};   // "mJ/cm^2", "" when the value has none
  FieldKind kind = FieldKind::real;
  float ParameterSet::*member = nullptr;  // reals but the spatial times
  int spatial_index = -1;                 // 0..9 for spatial_time_1..10
  // True for fields whose useful values span decades (pre-exponential factors, absorption and
  // screening coefficients): fits and log-spaced studies work on their logarithm.
  bool spans_decades = false;
  // Choices and switches: the codes they name ("1 or 2"), the code held and storing a code.
  std::string_view codes{};
  std::int32_t (*code)(const ParameterSet&) = nullptr;
  void (*set_code)(ParameterSet&, std::int32_t) = nullptr;
  // Choices: the named codes are lowest_code ... highest_code, with the names of `names` in
  // that order, separated by spaces ("surface bulk").
  std::int32_t lowest_code = 0, highest_code = 0;
  std::string_view names{};
  // Choices: what every code outside the set means ("keeps the scales as they stand"); empty
  // when the model leaves it undefined and a run refuses such a code.
  std::string_view other_codes{};
  FieldEffect effect = FieldEffect::every_run;
};

// Every numeric field, in the order of the Parameter set.
std::span<const ParameterField> parameter_fields();

// The field of that name, or null.
const ParameterField* find_parameter_field(std::string_view name);

// The names of all fields (or only the real ones), comma separated, for messages.
std::string parameter_field_names(bool reals_only);

// The field's value as a number: a choice or switch as its code.
float field_value(const ParameterSet& parameters, const ParameterField& field);

// Empty when the field can hold `value`; otherwise the refusal naming the field and the value,
// e.g. "ablation_model is 1.5; it must be a whole number (1 or 2)". A choice takes any whole
// number (one outside its set is refused by the run, as from a file); a switch takes 0 or 1.
std::string field_value_problem(const ParameterField& field, float value);

// Sets the field when it can hold `value` (see field_value_problem); false leaves it unchanged.
bool set_field_value(ParameterSet& parameters, const ParameterField& field, float value);

// The name of a choice's code ("bulk" for ablation_model 2); empty for a code outside its set.
std::string_view choice_name(const ParameterField& field, std::int32_t code);

// The code a choice's name stands for; none when the field has no choice of that name.
std::optional<std::int32_t> choice_code_named(const ParameterField& field, std::string_view name);

// Whether a run of `parameters` uses the field's value for its results: false for output settings,
// for fields kept for the record and for those of the other ablation model or pulse shape.
bool field_used_by_run(const ParameterField& field, const ParameterSet& parameters);

// Empty when the field's value can change the results of a run of `parameters`; otherwise why
// not, e.g. "the bulk model (ablation_model 2) does not use it".
std::string field_without_effect(const ParameterField& field, const ParameterSet& parameters);

// Empty when every choice holds one of its named codes or a code whose meaning is defined
// (other_codes: an autoscale 0 keeps the scales, a kinetics_file_mode 2 appends); otherwise the
// refusal naming the first that does not, e.g. "material is 3; it must be 1 or 2".
std::string check_choice_codes(const ParameterSet& parameters);

// The refusal of a value outside the field's allowed range, naming the field's label, the value
// and the range, e.g. "Fluence [mJ/cm^2] is -50; it must be greater than 0"; empty when the
// value lies in the range.
std::string range_refusal(const ParameterField& field, float value);

// Empty when every field a run of `parameters` uses (field_used_by_run, and every field's
// finiteness) holds a physically meaningful value; otherwise the first
// refusal naming the field's label, its value and the allowed range, e.g.
// "Fluence [mJ/cm^2] is -50; it must be greater than 0".
std::string check_physical_ranges(const ParameterSet& parameters);

// The allowed range of one field (as checked by check_physical_ranges); empty when the field
// is not checked.
std::string allowed_range_text(const ParameterField& field);

// Whether `value` lies in the field's allowed range.
bool value_in_allowed_range(const ParameterField& field, float value);

}  // namespace kt
