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

// Empty when every field a run uses holds a physically meaningful value; otherwise the first
// refusal naming the field's label, its value and the allowed range, e.g.
// "Fluence [mJ/cm^2] is -50; it must be greater than 0".
std::string check_physical_ranges(const ParameterSet& parameters);

// The allowed range of one field (as checked by check_physical_ranges); empty when the field
// is not checked.
std::string allowed_range_text(const ParameterField& field);

// Whether `value` lies in the field's allowed range.
bool value_in_allowed_range(const ParameterField& field, float value);

}  // namespace kt
