#include "params/material_file.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "params/bounded_file.h"
#include "params/parameter_fields.h"
#include "params/toml_text.h"

namespace kt {
namespace {

// A material file is a page of text; anything larger is not one.
constexpr std::size_t kMaxMaterialFileBytes = std::size_t{1} << 20;

// The units a value may be written in, by field; the model's units, in the usual spellings.
struct UnitRule {
  std::string_view field;
  std::string_view expected;  // as messages write it
  std::vector<std::string_view> spellings;
};

const std::vector<UnitRule>& unit_rules() {
  static const std::vector<UnitRule> rules = {
      {"density", "g/cm^3", {"g/cm^3", "g/cm3", "g cm^-3", "g cm-3"}},
      {"specific_heat", "J/(g K)", {"J/(g K)", "J/(g*K)", "J/g/K", "J g^-1 K^-1", "J/gK"}},
      {"thermal_conductivity",
       "W/(cm K)",
       {"W/(cm K)", "W/(cm*K)", "W/cm/K", "W cm^-1 K^-1", "W/cmK"}},
      {"absorption_coefficient", "1/cm", {"1/cm", "cm^-1", "/cm"}},
      {"incubated_absorption", "1/cm", {"1/cm", "cm^-1", "/cm"}},
      {"screening_coefficient", "1/cm", {"1/cm", "cm^-1", "/cm"}},
      {"activation_energy_ea", "eV", {"eV"}},
      {"activation_energy_em", "eV", {"eV"}},
      {"activation_energy_eb", "eV", {"eV"}},
      {"pre_exponential_vo", "cm/s", {"cm/s", "cm s^-1"}},
      {"pre_exponential_vom", "cm/s", {"cm/s", "cm s^-1"}},
      {"pre_exponential_ko", "1/s", {"1/s", "s^-1", "/s"}},
      {"sublimation_enthalpy_dh", "J/g", {"J/g", "J g^-1"}},
      {"sublimation_enthalpy_dhm", "J/g", {"J/g", "J g^-1"}},
      {"sublimation_enthalpy_dhb", "J/cm^3", {"J/cm^3", "J/cm3", "J cm^-3"}},
      {"volatile_fraction", "1", {"1", "", "-"}},
  };
  return rules;
}

const UnitRule* unit_rule(std::string_view field) {
  for (const UnitRule& rule : unit_rules()) {
    if (rule.field == field) return &rule;
  }
  return nullptr;
}

// Refusal with the file and, where known, the line.
class Reader {
 public:
  Reader(const std::string& origin, std::string& error) : origin_(origin), error_(error) {}

  bool fail(const toml::node* node, const std::string& key, const std::string& problem) {
    error_ = toml_location(origin_, node) + ": " + key + ": " + problem;
    return false;
  }

  // The keys of `table` must be among `allowed`.
  bool only_keys(const toml::table& table, const std::string& where,
                 const std::set<std::string_view>& allowed) {
    for (const auto& [key, node] : table) {
      if (allowed.count(key.str()) == 0) {
        std::string names;
        for (std::string_view name : allowed)
          names += (names.empty() ? "" : ", ") + std::string(name);
        const std::string full =
            where.empty() ? std::string(key.str()) : where + "." + std::string(key.str());
        return fail(&node, full, "unknown key (expected one of: " + names + ")");
      }
    }
    return true;
  }

  bool text(const toml::table& table, const std::string& where, std::string_view key,
            std::string& out, bool required) {
    const toml::node* node = table.get(key);
    const std::string full = where.empty() ? std::string(key) : where + "." + std::string(key);
    if (node == nullptr) {
      if (required) return fail(&table, full, "missing (a text is expected)");
      return true;
    }
    const auto* value = node->as_string();
    if (value == nullptr) return fail(node, full, "must be a text (a quoted string)");
    out = value->get();
    if (required && out.find_first_not_of(" \t") == std::string::npos) {
      return fail(node, full, "must not be empty");
    }
    return true;
  }

  bool number(const toml::table& table, const std::string& where, std::string_view key, double& out,
              bool required, bool* present = nullptr) {
    const toml::node* node = table.get(key);
    const std::string full = where + "." + std::string(key);
    if (present != nullptr) *present = node != nullptr;
    if (node == nullptr)
      return required ? fail(&table, full, "missing (a number is expected)") : true;
    if (const auto* f = node->as_floating_point()) {
      out = f->get();
    } else if (const auto* i = node->as_integer()) {
      out = static_cast<double>(i->get());
    } else {
      return fail(node, full, "must be a number");
    }
    if (!std::isfinite(out)) return fail(node, full, "must be a finite number");
    return true;
  }

  bool numbers(const toml::table& table, const std::string& where, std::string_view key,
               std::vector<double>& out) {
    const toml::node* node = table.get(key);
    const std::string full = where + "." + std::string(key);
    if (node == nullptr) return fail(&table, full, "missing (an array of numbers is expected)");
    const auto* array = node->as_array();
    if (array == nullptr) return fail(node, full, "must be an array of numbers");
    out.clear();
    for (const toml::node& element : *array) {
      if (const auto* f = element.as_floating_point()) {
        out.push_back(f->get());
      } else if (const auto* i = element.as_integer()) {
        out.push_back(static_cast<double>(i->get()));
      } else {
        return fail(&element, full, "must be an array of numbers");
      }
    }
    return true;
  }

  bool unit(const toml::table& table, const std::string& where, std::string_view field,
            std::string& out) {
    if (!text(table, where, "unit", out, true)) return false;
    const UnitRule* rule = unit_rule(field);
    for (std::string_view spelling : rule->spellings) {
      if (out == spelling) return true;
    }
    return fail(table.get("unit"), where + ".unit",
                "\"" + out + "\" is not the unit of this value (give it in " +
                    std::string(rule->expected) + ")");
  }

  // A value with its unit and source: { value, unit, source }.
  bool value_table(const toml::node& node, const std::string& where, std::string_view field,
                   MaterialValue& out) {
    const toml::table* table = node.as_table();
    if (table == nullptr) return fail(&node, where, "must be a table with value, unit and source");
    if (!only_keys(*table, where, {"value", "unit", "source"})) return false;
    out.field = std::string(field);
    return number(*table, where, "value", out.value, true) &&
           unit(*table, where, field, out.unit) && text(*table, where, "source", out.source, true);
  }

  bool law(const toml::node* node, const std::string& where, PropertyLaw& law, std::string& source,
           double& scale) {
    if (node == nullptr) return true;
    const toml::table* table = node->as_table();
    if (table == nullptr)
      return fail(node, where, "must be a table (law, its coefficients, unit, source)");
    std::string form_name;
    if (!text(*table, where, "law", form_name, true)) return false;
    if (!law_form_from_name(form_name, law.form)) {
      return fail(
          table->get("law"), where + ".law",
          "\"" + form_name + "\" is not a law (constant, saturating_exponential, power or table)");
    }
    std::set<std::string_view> keys = {"law", "unit", "source", "scale"};
    bool ok = true;
    switch (law.form) {
      case LawForm::constant:
        keys.insert("value");
        ok = only_keys(*table, where, keys) && number(*table, where, "value", law.value, true);
        break;
      case LawForm::saturating_exponential:
        keys.insert({"a", "b", "t_ref", "t_scale"});
        ok = only_keys(*table, where, keys) && number(*table, where, "a", law.a, true) &&
             number(*table, where, "b", law.b, true) &&
             number(*table, where, "t_ref", law.t_ref, true) &&
             number(*table, where, "t_scale", law.t_scale, true);
        if (ok && law.t_scale == 0.0)
          ok = fail(table->get("t_scale"), where + ".t_scale", "must not be 0");
        break;
      case LawForm::power:
        keys.insert({"value", "t_ref", "exponent"});
        ok = only_keys(*table, where, keys) && number(*table, where, "value", law.value, true) &&
             number(*table, where, "t_ref", law.t_ref, true) &&
             number(*table, where, "exponent", law.exponent, true);
        if (ok && law.t_ref <= 0.0)
          ok = fail(table->get("t_ref"), where + ".t_ref", "must be above 0 K");
        break;
      case LawForm::table:
        keys.insert({"temperature", "value"});
        ok = only_keys(*table, where, keys) &&
             numbers(*table, where, "temperature", law.temperatures) &&
             numbers(*table, where, "value", law.values);
        break;
    }
    if (!ok) return false;
    std::string unit_text;
    const std::string field = where;
    if (!unit(*table, where, field, unit_text) || !text(*table, where, "source", source, true)) {
      return false;
    }
    if (const std::string problem = law.prepare(); !problem.empty()) {
      return fail(node, where, problem);
    }
    bool has_scale = false;
    if (!number(*table, where, "scale", scale, false, &has_scale)) return false;
    if (!has_scale) {
      bool in_range = true;
      scale = law.evaluate(300.0, in_range);
      if (!in_range) scale = law.values.front();
    }
    if (!(scale > 0.0)) {
      return fail(
          node, where,
          "its value at 300 K (the scale of the run) is not positive; give a positive scale");
    }
    // The scale becomes a 32-bit field of the parameter set.
    if (!(scale <= std::numeric_limits<float>::max()) ||
        !(static_cast<float>(scale) >= std::numeric_limits<float>::min())) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "its scale %g is beyond the 32-bit numbers of the parameter set (%g to %g)",
                    scale, static_cast<double>(std::numeric_limits<float>::min()),
                    static_cast<double>(std::numeric_limits<float>::max()));
      return fail(node, where, text);
    }
    if (law.form != LawForm::table) {
      bool in_range = true;
      if (!(law.evaluate(300.0, in_range) > 0.0))
        return fail(node, where, "is not positive at 300 K");
    }
    return true;
  }

  const std::string& origin_;
  std::string& error_;
};

bool check_in_range(Reader& reader, const toml::node* node, const MaterialValue& value) {
  const ParameterField* field = find_parameter_field(value.field);
  if (field == nullptr) return true;
  // Checked before the conversion: a double beyond float's range has no float value.
  if (!(std::fabs(value.value) <= std::numeric_limits<float>::max())) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "value %g is beyond the 32-bit numbers of the parameter set (at most %g)",
                  value.value, static_cast<double>(std::numeric_limits<float>::max()));
    return reader.fail(node, value.field, text);
  }
  const float as_float = static_cast<float>(value.value);
  if (!value_in_allowed_range(*field, as_float)) {
    return reader.fail(node, value.field,
                       "value " + std::to_string(value.value) + " is outside its range (" +
                           allowed_range_text(*field) + ")");
  }
  return true;
}

}  // namespace

std::optional<MaterialFile> parse_material_text(std::string_view text, const std::string& origin,
                                                std::string& error) {
  Reader reader(origin, error);
  std::optional<toml::table> parsed = parse_toml_text(text, origin, error);
  if (!parsed) return std::nullopt;
  const toml::table& root = *parsed;
  MaterialFile material;
  material.text = std::string(text);
  if (!reader.only_keys(root, "",
                        {"name", "description", "density", "specific_heat", "thermal_conductivity",
                         "absorption_coefficient", "incubated_absorption", "kinetics"})) {
    return std::nullopt;
  }
  if (!reader.text(root, "", "name", material.name, true) ||
      !reader.text(root, "", "description", material.description, false)) {
    return std::nullopt;
  }
  for (std::string_view key : {"density", "absorption_coefficient", "incubated_absorption"}) {
    const toml::node* node = root.get(key);
    if (node == nullptr) continue;
    MaterialValue value;
    if (!reader.value_table(*node, std::string(key), key, value)) return std::nullopt;
    if (!(value.value > 0.0)) {
      reader.fail(node, std::string(key), "must be greater than 0");
      return std::nullopt;
    }
    if (key == "incubated_absorption") {
      material.incubated_absorption = value.value;
    } else {
      if (!check_in_range(reader, node, value)) return std::nullopt;
      material.values.push_back(value);
    }
  }
  if (const toml::node* kinetics = root.get("kinetics")) {
    const toml::table* table = kinetics->as_table();
    if (table == nullptr) {
      reader.fail(kinetics, "kinetics", "must be a table of values");
      return std::nullopt;
    }
    std::set<std::string_view> allowed;
    for (const UnitRule& rule : unit_rules()) {
      if (rule.field.find('_') != std::string_view::npos && rule.field != "specific_heat" &&
          rule.field != "thermal_conductivity" && rule.field != "absorption_coefficient" &&
          rule.field != "incubated_absorption") {
        allowed.insert(rule.field);
      }
    }
    if (!reader.only_keys(*table, "kinetics", allowed)) return std::nullopt;
    for (const auto& [key, node] : *table) {
      MaterialValue value;
      const std::string where = "kinetics." + std::string(key.str());
      if (!reader.value_table(node, where, key.str(), value) ||
          !check_in_range(reader, &node, value)) {
        return std::nullopt;
      }
      material.values.push_back(value);
    }
  }
  if (!reader.law(root.get("specific_heat"), "specific_heat", material.specific_heat,
                  material.specific_heat_source, material.specific_heat_scale) ||
      !reader.law(root.get("thermal_conductivity"), "thermal_conductivity",
                  material.thermal_conductivity, material.thermal_conductivity_source,
                  material.thermal_conductivity_scale)) {
    return std::nullopt;
  }
  if (root.get("specific_heat") == nullptr || root.get("thermal_conductivity") == nullptr) {
    reader.fail(&root,
                root.get("specific_heat") == nullptr ? "specific_heat" : "thermal_conductivity",
                "missing (a law or a table is expected)");
    return std::nullopt;
  }
  return material;
}

std::optional<MaterialFile> read_material_file(const std::filesystem::path& path,
                                               std::string& error) {
  const std::string origin = path.string();
  std::string text;
  if (!read_bounded_file(origin, "the material file", kMaxMaterialFileBytes, text, error) ||
      !check_text_encoding(text, origin, error))
    return std::nullopt;
  std::optional<MaterialFile> material = parse_material_text(text, origin, error);
  if (material) material->path = path;
  return material;
}

std::string material_range_refusal(const MaterialFile& material, double lowest_k,
                                   double highest_k) {
  const std::pair<const char*, const PropertyLaw*> laws[] = {
      {"specific_heat", &material.specific_heat},
      {"thermal_conductivity", &material.thermal_conductivity}};
  for (const auto& [name, law] : laws) {
    if (law->form != LawForm::table || law->temperatures.empty()) continue;
    const double first = law->temperatures.front();
    const double last = law->temperatures.back();
    const bool below = !(lowest_k >= first);
    if (!below && highest_k <= last) continue;
    char text[160];
    std::snprintf(text, sizeof text,
                  ": %s: the temperature reached %.6g K, outside the table's range (%.6g K to "
                  "%.6g K)",
                  name, below ? lowest_k : highest_k, first, last);
    return (material.path.empty() ? material.name : material.path.string()) + text;
  }
  return {};
}

std::string material_ambient_refusal(const MaterialFile& material, double ambient_k) {
  if (std::string refusal = material_range_refusal(material, ambient_k, ambient_k);
      !refusal.empty()) {
    return refusal + " at the ambient temperature, before the run";
  }
  const std::pair<const char*, const PropertyLaw*> laws[] = {
      {"specific_heat", &material.specific_heat},
      {"thermal_conductivity", &material.thermal_conductivity}};
  for (const auto& [name, law] : laws) {
    bool in_range = true;
    const double value = law->evaluate(ambient_k, in_range);
    if (!(value > 0.0)) {
      char text[160];
      std::snprintf(text, sizeof text,
                    ": %s: the law is %.6g at the ambient temperature %.6g K; it must be positive",
                    name, value, ambient_k);
      return (material.path.empty() ? material.name : material.path.string()) + text;
    }
  }
  return {};
}

bool material_has_tables(const MaterialFile& material) {
  return material.specific_heat.form == LawForm::table ||
         material.thermal_conductivity.form == LawForm::table;
}

std::string apply_material(const MaterialFile& material, ParameterSet& parameters) {
  ParameterSet updated = parameters;
  for (const MaterialValue& value : material.values) {
    const ParameterField* field = find_parameter_field(value.field);
    if (field == nullptr || !set_field_value(updated, *field, static_cast<float>(value.value))) {
      return material.path.string() + ": " + value.field + " cannot be set to " +
             std::to_string(value.value);
    }
  }
  updated.material = Material::other;
  updated.specific_heat = static_cast<float>(material.specific_heat_scale);
  updated.thermal_conductivity = static_cast<float>(material.thermal_conductivity_scale);
  parameters = updated;
  return {};
}

}  // namespace kt
