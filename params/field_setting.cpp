#include "params/field_setting.h"

#include <cmath>
#include <cstdlib>

#include "params/parameter_fields.h"
#include "params/spelling.h"

namespace kt {
namespace {

constexpr std::string_view kTextField = "data_file_name";

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// The value text as the field's number: a choice by its name or code, a switch any number (on
// when 1, as the file reads it), a real any finite single-precision number.
std::string field_number(const ParameterField& field, const std::string& text, float& value) {
  if (field.kind == FieldKind::choice) {
    if (const std::optional<std::int32_t> code = choice_code_named(field, text)) {
      value = static_cast<float>(*code);
      return {};
    }
  }
  char* end = nullptr;
  const double number = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    std::string names;
    if (field.kind == FieldKind::choice) names = " nor a choice (" + std::string(field.names) + ")";
    return "\"" + text + "\" is not a number" + names;
  }
  if (!std::isfinite(static_cast<float>(number)))
    return "\"" + text + "\" is too large for a single-precision number (at most 3.40282E+38)";
  value = static_cast<float>(number);
  if (field.kind == FieldKind::on_off) value = value == 1.0f ? 1.0f : 0.0f;
  return field_value_problem(field, value);
}

// One setting applied; the problem without the setting's text, or empty.
std::string apply_one(ParameterSet& p, const std::string& setting,
                      std::vector<const ParameterField*>& set) {
  const std::size_t equals = setting.find('=');
  if (equals == std::string::npos) return "takes FIELD=VALUE, e.g. fluence=80";
  const std::string name = trimmed(std::string_view(setting).substr(0, equals));
  const std::string text = trimmed(std::string_view(setting).substr(equals + 1));
  if (name == kTextField) {
    if (text.size() > static_cast<std::size_t>(kDataFileNameLength))
      return "the data file name holds at most " + std::to_string(kDataFileNameLength) +
             " characters";
    if (std::string problem = data_file_name_problem(text); !problem.empty())
      return "the name \"" + text + "\" cannot be used: " + problem;
    set_padded(p.data_file_name, text);
    return {};
  }
  const ParameterField* field = find_parameter_field(name);
  if (!field) {
    const std::string near = nearest_field_name(name);
    return "the parameters have no field " + name +
           (near.empty() ? "; the fields are " + parameter_field_names(false) + ", " +
                               std::string(kTextField)
                         : "; did you mean " + near + "?");
  }
  float value = 0.0f;
  if (std::string problem = field_number(*field, text, value); !problem.empty()) return problem;
  set_field_value(p, *field, value);
  set.push_back(field);
  return {};
}

}  // namespace

std::string apply_field_settings(ParameterSet& parameters,
                                 const std::vector<std::string>& settings) {
  ParameterSet p = parameters;
  std::vector<const ParameterField*> set;
  for (const std::string& setting : settings) {
    if (std::string problem = apply_one(p, setting, set); !problem.empty())
      return setting + ": " + problem;
  }
  // As a run checks the file: the range of a field the run uses.
  for (std::size_t k = 0; k < set.size(); ++k) {
    const ParameterField& field = *set[k];
    if (!field_used_by_run(field, p) && std::isfinite(field_value(p, field))) continue;
    if (std::string refusal = range_refusal(field, field_value(p, field)); !refusal.empty()) {
      for (auto s = settings.rbegin(); s != settings.rend(); ++s)  // the last one counts
        if (trimmed(std::string_view(*s).substr(0, s->find('='))) == field.name)
          return *s + ": " + refusal;
    }
  }
  parameters = p;
  return {};
}

}  // namespace kt
