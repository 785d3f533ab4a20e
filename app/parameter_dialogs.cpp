#include "app/parameter_dialogs.h"

#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "app/dialog_templates.h"
#include "params/free_format.h"
#include "params/parameter_file.h"

namespace kt {
namespace {

using FieldAccess = float& (*)(ParameterSet&);

template <float ParameterSet::*Field>
float& member(ParameterSet& p) {
  return p.*Field;
}
template <std::size_t Index>
float& spatial_time(ParameterSet& p) {
  return p.spatial_times[Index];
}

struct EditField {
  std::int32_t id;
  FieldAccess field;
};
// A button stands for one choice of a field: it is on when the field holds that choice and
// choosing it stores the choice.
struct RadioButton {
  std::int32_t id;
  bool (*holds)(const ParameterSet&);
  void (*choose)(ParameterSet&);
};
template <auto Field, auto Choice>
constexpr RadioButton button(std::int32_t id) {
  return {id, [](const ParameterSet& p) { return p.*Field == Choice; },
          [](ParameterSet& p) { p.*Field = Choice; }};
}

using P = ParameterSet;

// "Parameters:".
constexpr RadioButton kModelButtons[] = {
    button<&P::ablation_model, AblationModel::surface>(kSurfaceModelButton),
    button<&P::ablation_model, AblationModel::bulk>(kBulkModelButton)};
constexpr RadioButton kShapeButtons[] = {
    button<&P::pulse_shape, PulseShape::triangle>(kTrianglePulseButton),
    button<&P::pulse_shape, PulseShape::rectangle>(kRectanglePulseButton)};
constexpr EditField kPulseFields[] = {{kPulseWidthField, member<&P::pulse_width>},
                                      {kFluenceField, member<&P::fluence>},
                                      {kFrontFractionField, member<&P::front_fraction>},
                                      {kWavelengthField, member<&P::wavelength>}};
constexpr RadioButton kMaterialButtons[] = {
    button<&P::material, Material::polyimide>(kPolyimideButton),
    button<&P::material, Material::other>(kOtherMaterialButton)};
constexpr EditField kMaterialFields[] = {
    {kDensityField, member<&P::density>},
    {kSpecificHeatField, member<&P::specific_heat>},
    {kThermalConductivityField, member<&P::thermal_conductivity>},
    {kAbsorptionCoefficientField, member<&P::absorption_coefficient>},
    {kScreeningCoefficientField, member<&P::screening_coefficient>},
    {kReflectionCoefficientField, member<&P::reflection_coefficient>},
    {kChromophoreDensityField, member<&P::chromophore_density>},
    {kVolatileFractionField, member<&P::volatile_fraction>},
    {kAmbientTemperatureField, member<&P::ambient_temperature>},
    {kActivationEnergyEaField, member<&P::activation_energy_ea>},
    {kPreExponentialVoField, member<&P::pre_exponential_vo>},
    {kSublimationEnthalpyDhField, member<&P::sublimation_enthalpy_dh>},
    {kActivationEnergyEmField, member<&P::activation_energy_em>},
    {kPreExponentialVomField, member<&P::pre_exponential_vom>},
    {kSublimationEnthalpyDhmField, member<&P::sublimation_enthalpy_dhm>},
    {kActivationEnergyEbField, member<&P::activation_energy_eb>},
    {kPreExponentialKoField, member<&P::pre_exponential_ko>},
    {kSublimationEnthalpyDhbField, member<&P::sublimation_enthalpy_dhb>}};

// "Output Data:".
constexpr std::int32_t kNameField = kDataFileNameField;
constexpr EditField kIntervalFields[] = {{kOutputIntervalField, member<&P::output_interval>}};
constexpr RadioButton kKineticsButtons[] = {
    button<&P::kinetics_file_mode, KineticsFileMode::addition>(kKineticsAppendButton),
    button<&P::kinetics_file_mode, KineticsFileMode::rewrite>(kKineticsRewriteButton)};
constexpr EditField kPointFields[] = {
    {kPoint1Field, spatial_time<0>}, {kPoint2Field, spatial_time<1>},
    {kPoint3Field, spatial_time<2>}, {kPoint4Field, spatial_time<3>},
    {kPoint5Field, spatial_time<4>}, {kPoint6Field, spatial_time<5>},
    {kPoint7Field, spatial_time<6>}, {kPoint8Field, spatial_time<7>},
    {kPoint9Field, spatial_time<8>}, {kPoint10Field, spatial_time<9>}};
constexpr EditField kScaleFields[] = {{kTemperatureScaleField, member<&P::temperature_scale>},
                                      {kVelocityScaleField, member<&P::velocity_scale>},
                                      {kDepthScaleField, member<&P::depth_scale>}};
constexpr RadioButton kScaleButtons[] = {
    button<&P::autoscale, Autoscale::automatic>(kAutoScaleButton),
    button<&P::autoscale, Autoscale::manual>(kManualScaleButton)};

constexpr std::span<const RadioButton> kRadioGroups[] = {
    kModelButtons, kShapeButtons, kMaterialButtons, kKineticsButtons, kScaleButtons};
constexpr std::span<const EditField> kEditGroups[] = {kPulseFields, kMaterialFields,
                                                      kIntervalFields, kPointFields, kScaleFields};

display::DialogCallback callback_for(DialogState& state) {
  return [&state](display::DialogObject& dialog, std::int32_t control_id, std::int32_t kind) {
    parameter_dialog_callback(state, dialog, control_id, kind);
  };
}

// Turns on the button whose choice the field holds (none when the value is outside the
// group's set) and registers the callback for every button of the group.
void fill_radio_group(display::DialogObject& dialog, DialogState& state,
                      std::span<const RadioButton> group) {
  for (const RadioButton& button : group) {
    if (button.holds(state.working_copy)) {
      display::dialog_set_checked(dialog, button.id, true);
    }
  }
  for (const RadioButton& button : group) {
    display::dialog_set_callback(dialog, button.id, callback_for(state));
  }
}

void fill_edit_fields(display::DialogObject& dialog, DialogState& state,
                      std::span<const EditField> fields) {
  for (const EditField& field : fields) {
    const std::string text = free_format_real_text(field.field(state.working_copy));
    display::dialog_set_text(dialog, field.id, text.c_str(), static_cast<int>(text.size()));
    display::dialog_set_callback(dialog, field.id, callback_for(state));
  }
}

// The stored name without blanks (or unset bytes) at either end.
std::string shown_name(const std::array<char, kDataFileNameLength>& name) {
  std::size_t first = 0;
  std::size_t last = name.size();
  auto blank = [](char c) { return c == ' ' || c == '\0'; };
  while (first < last && blank(name[first])) ++first;
  while (last > first && blank(name[last - 1])) --last;
  return std::string(name.data() + first, last - first);
}

void fill_parameters_dialog(display::DialogObject& dialog, DialogState& state) {
  fill_radio_group(dialog, state, kModelButtons);
  fill_radio_group(dialog, state, kShapeButtons);
  fill_edit_fields(dialog, state, kPulseFields);
  fill_radio_group(dialog, state, kMaterialButtons);
  fill_edit_fields(dialog, state, kMaterialFields);
}

void fill_output_data_dialog(display::DialogObject& dialog, DialogState& state) {
  const std::string name = shown_name(state.working_copy.data_file_name);
  display::dialog_set_text(dialog, kNameField, name.c_str(), static_cast<int>(name.size()));
  display::dialog_set_callback(dialog, kNameField, callback_for(state));
  fill_edit_fields(dialog, state, kIntervalFields);
  fill_radio_group(dialog, state, kKineticsButtons);
  fill_edit_fields(dialog, state, kPointFields);
  fill_edit_fields(dialog, state, kScaleFields);
  fill_radio_group(dialog, state, kScaleButtons);
}

std::optional<std::string> field_text(display::DialogObject& dialog, std::int32_t control_id) {
  std::string text;
  if (!display::dialog_get_text(dialog, control_id, text, kDialogTextCapacity)) {
    return std::nullopt;
  }
  return text;
}

// The label beside an edit field (numbered one below it), without its colon.
std::string field_label(display::DialogObject& dialog, std::int32_t control_id) {
  std::string label;
  display::dialog_get_text(dialog, control_id - 1, label, 80);
  while (!label.empty() && (label.back() == ' ' || label.back() == ':')) label.pop_back();
  return label.empty() ? "field " + std::to_string(control_id) : label;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Tells the user which typed texts were not taken, and which were read only in part.
void report_refused(DialogState& state, bool parameters_dialog) {
  if (state.refused.empty() && state.partly_read.empty()) return;
  std::string text;
  if (!state.refused.empty()) {
    text = "Not taken (each field keeps its last value):";
    for (const auto& [id, problem] : state.refused) text += "\n" + problem;
  }
  if (!state.partly_read.empty()) {
    if (!text.empty()) text += "\n\n";
    text += "Read only in part (a field takes the first number of its text):";
    for (const auto& [id, note] : state.partly_read) text += "\n" + note;
  }
  state.show_message(parameters_dialog ? "Parameters:" : "Output Data:", text);
}

}  // namespace

void edit_parameters(DialogState& state, SharedParameters& parameters) {
  state.working_copy = parameters.snapshot();
  state.refused.clear();
  state.partly_read.clear();
  const bool parameters_dialog = state.dialog_kind == DialogKind::parameters;
  display::DialogObject* dialog =
      display::dialog_init(parameters_dialog ? parameters_template() : output_data_template());
  if (dialog == nullptr) {
    display::write_line(" error: resource not found");
    return;
  }
  if (parameters_dialog) {
    fill_parameters_dialog(*dialog, state);
  } else {
    fill_output_data_dialog(*dialog, state);
  }
  const std::int32_t result = display::dialog_run_modal(*dialog);
  display::dialog_release(dialog);
  if (result == display::kDialogCancel) return;
  parameters.commit(state.working_copy);
  report_refused(state, parameters_dialog);
}

void parameter_dialog_callback(DialogState& state, display::DialogObject& dialog,
                               std::int32_t control_id, std::int32_t /*kind*/) {
  ParameterSet& copy = state.working_copy;
  for (std::span<const RadioButton> group : kRadioGroups) {
    for (const RadioButton& button : group) {
      if (button.id != control_id) continue;
      display::dialog_set_checked(dialog, control_id, true);
      button.choose(copy);
      return;
    }
  }
  for (std::span<const EditField> group : kEditGroups) {
    for (const EditField& field : group) {
      if (field.id != control_id) continue;
      // Text that does not read as a number keeps the last value that did.
      const auto text = field_text(dialog, control_id);
      if (!text) return;
      state.refused.erase(control_id);
      state.partly_read.erase(control_id);
      const auto value = free_format_read_real(*text);
      std::string note;
      if (value) {
        if (const std::string unused = free_format_unused_text(*text); !unused.empty()) {
          char read[32];
          std::snprintf(read, sizeof read, "%.7g", static_cast<double>(*value));
          note = field_label(dialog, control_id) + ": only " + read + " was read from '" +
                 trimmed(*text) + "'; '" + unused +
                 "' was not (decimals take a point, not a comma)";
          state.partly_read[control_id] = note;
        }
      }
      display::dialog_set_note(dialog, control_id, note);
      if (value && fits_parameter_file(*value)) {
        field.field(copy) = *value;
      } else if (value || free_format_real_out_of_range(*text)) {
        state.refused[control_id] = field_label(dialog, control_id) + ": '" + trimmed(*text) +
                                    "' is beyond the largest value a parameter can hold "
                                    "(3.40282E+38)";
      }
      return;
    }
  }
  if (control_id == kNameField) {
    // An empty or blank name keeps the last one; so does one that cannot name result files.
    const auto text = field_text(dialog, control_id);
    if (!text) return;
    state.refused.erase(control_id);
    const auto name = free_format_read_name(*text);
    if (!name) return;
    const std::string typed = trimmed_right(*name);
    std::string problem = data_file_name_problem(typed);
    if (problem.empty() && !typed.empty() && typed[0] == ' ') problem = "it starts with a blank";
    if (problem.empty()) {
      copy.data_file_name = *name;
    } else {
      state.refused[control_id] =
          field_label(dialog, control_id) + ": '" + trimmed(*text) + "' cannot be used: " + problem;
    }
  }
}

}  // namespace kt
