#include "app/experiment_dialog.h"

#include <charconv>
#include <cmath>

#include "engine/value_text.h"
#include "params/safe_save.h"

namespace kt {

using display::ControlKind;
using display::DialogTemplate;

// Each control: id, kind, text, x, y, width, height (dialog units), first of a group, default
// button.
const DialogTemplate& experiment_template() {
  static const DialogTemplate form{
      std::string(kExperimentCaption),
      170,
      50,
      300,
      279,
      "MS Sans Serif",
      8,
      {
          {kSchemeGroup, ControlKind::group_box, "Numerical scheme:", 5, 2, 290, 62, false, false},
          {kSchemeByPulsesButton, ControlKind::radio_button,
           "Chosen by the pulses (published for one pulse, accurate otherwise)", 15, 11, 275, 12,
           true, false},
          {kPublishedSchemeButton, ControlKind::radio_button, "Published scheme", 15, 22, 275, 12,
           false, false},
          {kAccurateSchemeButton, ControlKind::radio_button, "Accurate scheme", 15, 33, 275, 12,
           false, false},
          {kToleranceLabel, ControlKind::label, "Relative tolerance (empty: one run as is):", 25,
           48, 143, 12, true, false},
          {kToleranceField, ControlKind::edit_field, "", 170, 46, 70, 12, false, false},
          {kShapeGroup, ControlKind::group_box, "Pulse shape:", 5, 67, 290, 62, false, false},
          {kFileShapeButton, ControlKind::radio_button,
           "Triangle or rectangle, as the parameters give it", 15, 76, 275, 12, true, false},
          {kGaussianShapeButton, ControlKind::radio_button, "Gaussian (FWHM = the pulsewidth)", 15,
           87, 275, 12, false, false},
          {kMeasuredShapeButton, ControlKind::radio_button, "Measured, from a trace file", 15, 98,
           275, 12, false, false},
          {kTraceLabel, ControlKind::label, "Trace file:", 15, 113, 45, 12, true, false},
          {kTraceField, ControlKind::edit_field, "", 62, 111, 178, 12, false, false},
          {kTraceBrowseButton, ControlKind::push_button, "Browse...", 244, 110, 46, 14, false,
           false},
          {kTrainGroup, ControlKind::group_box, "Pulse train:", 5, 132, 290, 58, false, false},
          {kPulsesLabel, ControlKind::label, "Number of pulses:", 15, 143, 150, 12, true, false},
          {kPulsesField, ControlKind::edit_field, "", 170, 141, 70, 12, false, false},
          {kRateLabel, ControlKind::label, "Repetition rate [Hz]:", 15, 158, 150, 12, true, false},
          {kRateField, ControlKind::edit_field, "", 170, 156, 70, 12, false, false},
          {kIncubatedLabel, ControlKind::label, "Incubated absorption [cm^-1] (empty: none):", 15,
           173, 150, 12, true, false},
          {kIncubatedField, ControlKind::edit_field, "", 170, 171, 70, 12, false, false},
          {kSpotGroup, ControlKind::group_box, "Laser spot:", 5, 193, 290, 44, false, false},
          {kNoSpotButton, ControlKind::radio_button, "None (uniform fluence)", 15, 204, 95, 12,
           true, false},
          {kGaussianSpotButton, ControlKind::radio_button, "Gaussian (1/e^2 radius)", 112, 204, 100,
           12, false, false},
          {kTophatSpotButton, ControlKind::radio_button, "Top-hat", 215, 204, 75, 12, false, false},
          {kSpotRadiusLabel, ControlKind::label, "Spot radius [\u00b5m]:", 15, 220, 150, 12, true,
           false},
          {kSpotRadiusField, ControlKind::edit_field, "", 170, 218, 70, 12, false, false},
          {kMaterialLabel, ControlKind::label, "Material file (empty: none):", 10, 245, 100, 12,
           true, false},
          {kMaterialField, ControlKind::edit_field, "", 112, 243, 128, 12, false, false},
          {kMaterialBrowseButton, ControlKind::push_button, "Browse...", 244, 242, 46, 14, false,
           false},
          {display::kDialogOk, ControlKind::push_button, "OK", 160, 261, 60, 15, false, true},
          {display::kDialogCancel, ControlKind::push_button, "Cancel", 230, 261, 60, 15, false,
           false},
      }};
  return form;
}

const std::vector<std::string>& trace_file_filters() {
  static const std::vector<std::string> filters = {" Pulse traces (*.csv *.txt *.dat)",
                                                   " All Files (*)"};
  return filters;
}

const std::vector<std::string>& material_file_filters() {
  static const std::vector<std::string> filters = {" Material files (*.toml)", " All Files (*)"};
  return filters;
}

const std::vector<std::string>& experiment_file_filters() {
  static const std::vector<std::string> filters = {" Experiment files (*.toml)", " All Files (*)"};
  return filters;
}

namespace {

// A choice of a radio group: the button and the value the experiment stores for it.
struct Choice {
  std::int32_t id;
  const char* value;
};
constexpr Choice kSchemeChoices[] = {{kSchemeByPulsesButton, ""},
                                     {kPublishedSchemeButton, "published"},
                                     {kAccurateSchemeButton, "accurate"}};
constexpr Choice kShapeChoices[] = {{kFileShapeButton, "file"},
                                    {kGaussianShapeButton, "gaussian"},
                                    {kMeasuredShapeButton, "measured"}};
constexpr Choice kSpotChoices[] = {
    {kNoSpotButton, ""}, {kGaussianSpotButton, "gaussian"}, {kTophatSpotButton, "tophat"}};

std::string number_text(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void set_text(display::DialogObject& dialog, std::int32_t id, const std::string& text) {
  display::dialog_set_text(dialog, id, text.c_str(), static_cast<int>(text.size()));
}

// The text of a field, blanks at both ends removed.
std::optional<std::string> field_text(display::DialogObject& dialog, std::int32_t id) {
  std::string text;
  // Paths may be long: the field's whole text.
  if (!display::dialog_get_text(dialog, id, text, 4096)) return std::nullopt;
  return trimmed(text);
}

// The label beside a field, without its colon (from the template: its text is UTF-8).
std::string field_label(std::int32_t id) {
  std::string label;
  for (const display::ControlTemplate& c : experiment_template().controls)
    if (c.id == id - 1) label = trimmed(c.text);
  if (const std::size_t colon = label.rfind(':'); colon != std::string::npos) label.resize(colon);
  return label;
}

display::DialogCallback callback_for(ExperimentDialogState& state) {
  return [&state](display::DialogObject& dialog, std::int32_t id, std::int32_t kind) {
    experiment_dialog_callback(state, dialog, id, kind);
  };
}

// The tolerance is the accurate scheme's: its field takes input only while that is chosen.
void enable_tolerance(display::DialogObject& dialog, const Experiment& e) {
  const bool accurate = e.scheme == "accurate";
  display::dialog_set_enabled(dialog, kToleranceLabel, accurate);
  display::dialog_set_enabled(dialog, kToleranceField, accurate);
}

void fill_dialog(display::DialogObject& dialog, ExperimentDialogState& state) {
  Experiment& e = state.working;
  // A tolerance with the scheme left to the pulses runs on the accurate scheme: shown so.
  if (e.scheme.empty() && e.tolerance) e.scheme = "accurate";
  for (const Choice& c : kSchemeChoices)
    if (e.scheme == c.value) display::dialog_set_checked(dialog, c.id, true);
  for (const Choice& c : kShapeChoices)
    if (e.pulse_shape == c.value) display::dialog_set_checked(dialog, c.id, true);
  for (const Choice& c : kSpotChoices)
    if (e.beam == c.value) display::dialog_set_checked(dialog, c.id, true);
  set_text(dialog, kSpotRadiusField,
           e.spot_radius_um != 0.0 ? number_text(e.spot_radius_um) : std::string());
  set_text(dialog, kTraceField, e.trace.string());
  set_text(dialog, kPulsesField, std::to_string(e.pulses));
  set_text(dialog, kRateField, number_text(e.rate_hz));
  set_text(dialog, kIncubatedField,
           e.incubated_absorption ? number_text(*e.incubated_absorption) : std::string());
  set_text(dialog, kMaterialField, e.material.string());
  set_text(dialog, kToleranceField, e.tolerance ? number_text(*e.tolerance) : std::string());
  enable_tolerance(dialog, e);
  for (const std::int32_t id :
       {kSchemeByPulsesButton, kPublishedSchemeButton, kAccurateSchemeButton, kFileShapeButton,
        kGaussianShapeButton, kMeasuredShapeButton, kTraceField, kTraceBrowseButton, kPulsesField,
        kRateField, kIncubatedField, kMaterialField, kMaterialBrowseButton, kNoSpotButton,
        kGaussianSpotButton, kTophatSpotButton, kSpotRadiusField, kToleranceField}) {
    display::dialog_set_callback(dialog, id, callback_for(state));
  }
}

// A number field read into the working copy; a text that is not a number (or not a whole
// count) is noted and the last value kept.
void read_number_field(ExperimentDialogState& state, std::int32_t id, const std::string& text) {
  Experiment& e = state.working;
  state.refused.erase(id);
  if (id == kIncubatedField && text.empty()) {
    e.incubated_absorption.reset();
    return;
  }
  if (id == kSpotRadiusField && text.empty()) {
    e.spot_radius_um = 0.0;
    return;
  }
  if (id == kToleranceField && text.empty()) {
    e.tolerance.reset();
    return;
  }
  double value = 0.0;
  const bool number = parse_number(text, value);
  if (id == kPulsesField && number && value == std::floor(value) && value >= 1 &&
      value <= 1000000) {
    e.pulses = static_cast<int>(value);
    return;
  }
  if (id == kRateField && number) {
    e.rate_hz = value;
    return;
  }
  if (id == kIncubatedField && number) {
    e.incubated_absorption = value;
    return;
  }
  if (id == kSpotRadiusField && number) {
    e.spot_radius_um = value;
    return;
  }
  if (id == kToleranceField && number && value >= kMinimumTolerance && value <= kMaximumTolerance) {
    e.tolerance = value;
    return;
  }
  state.refused[id] = field_label(id) + ": '" + text + "' is not " +
                      (id == kPulsesField      ? "a whole number from 1 to 1000000"
                       : id == kToleranceField ? "a relative error from 1e-6 to 0.1 (1e-3: a "
                                                 "thousandth of the depth)"
                                               : "a number");
}

void browse(ExperimentDialogState& state, display::DialogObject& dialog, std::int32_t field,
            std::string_view title, const std::vector<std::string>& filters) {
  const std::filesystem::path& now =
      field == kTraceField ? state.working.trace : state.working.material;
  const std::string chosen = state.choose_file(title, now.string(), filters);
  if (chosen.empty()) return;
  set_text(dialog, field, chosen);  // the field's callback takes it
  if (field == kTraceField) {
    state.working.trace = chosen;
    state.working.pulse_shape = "measured";
    display::dialog_set_checked(dialog, kMeasuredShapeButton, true);
  } else {
    state.working.material = chosen;
  }
}

}  // namespace

void experiment_dialog_callback(ExperimentDialogState& state, display::DialogObject& dialog,
                                std::int32_t control_id, std::int32_t /*kind*/) {
  Experiment& e = state.working;
  for (const Choice& c : kSchemeChoices) {
    if (c.id == control_id) {
      e.scheme = c.value;
      enable_tolerance(dialog, e);
    }
  }
  for (const Choice& c : kShapeChoices) {
    if (c.id == control_id) e.pulse_shape = c.value;
  }
  for (const Choice& c : kSpotChoices) {
    if (c.id == control_id) e.beam = c.value;
  }
  switch (control_id) {
    case kTraceField:
    case kMaterialField:
      if (const auto text = field_text(dialog, control_id)) {
        (control_id == kTraceField ? e.trace : e.material) = std::filesystem::path(*text);
      }
      break;
    case kPulsesField:
    case kRateField:
    case kIncubatedField:
    case kSpotRadiusField:
    case kToleranceField:
      if (const auto text = field_text(dialog, control_id))
        read_number_field(state, control_id, *text);
      break;
    case kTraceBrowseButton:
      browse(state, dialog, kTraceField, "Pulse trace", trace_file_filters());
      break;
    case kMaterialBrowseButton:
      browse(state, dialog, kMaterialField, "Material file", material_file_filters());
      break;
    default:
      break;
  }
}

std::optional<RunSetup> edit_experiment(ExperimentDialogState& state, Experiment& experiment) {
  state.working = experiment;
  for (;;) {
    state.refused.clear();
    display::DialogObject* dialog = display::dialog_init(experiment_template());
    if (dialog == nullptr) return std::nullopt;
    fill_dialog(*dialog, state);
    const std::int32_t result = display::dialog_run_modal(*dialog);
    display::dialog_release(dialog);
    if (result == display::kDialogCancel) return std::nullopt;
    // Another shape than measured runs without a trace (the field may keep one for later).
    Experiment checked = state.working;
    if (checked.pulse_shape != "measured") checked.trace.clear();
    // Likewise the radius without a spot, and the tolerance without the accurate scheme (its
    // field greyed, what it held not read).
    if (checked.beam.empty()) checked.spot_radius_um = 0.0;
    if (checked.scheme != "accurate") {
      checked.tolerance.reset();
      state.refused.erase(kToleranceField);
    }
    std::string problem;
    for (const auto& [id, text] : state.refused) problem += "\n" + text;
    std::optional<RunSetup> setup;
    if (problem.empty()) {
      Prepared<RunSetup> made = make_run_setup(checked);
      if (made)
        setup = std::move(*made);
      else
        problem = "\n" + made.refusal.text();
    }
    if (setup) {
      experiment = checked;
      return setup;
    }
    state.show_message(kExperimentRefusalTitle,
                       "The experiment was not taken; nothing has changed." + problem);
  }
}

std::string experiment_file_text(const Experiment& experiment, const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  Experiment e = experiment;
  std::error_code ignored;
  const fs::path folder = fs::absolute(file, ignored).parent_path().lexically_normal();
  for (fs::path* p : {&e.trace, &e.material}) {
    if (p->empty()) continue;
    const fs::path relative =
        fs::absolute(*p, ignored).lexically_normal().lexically_relative(folder);
    if (!relative.empty()) *p = relative;
  }
  return experiment_text(e);
}

std::optional<Experiment> load_experiment_file(const std::filesystem::path& path,
                                               std::string& error) {
  std::optional<Experiment> experiment = read_experiment_file(path, error);
  if (!experiment) return std::nullopt;
  if (const Prepared<RunSetup> setup = make_run_setup(*experiment); !setup) {
    error = path.string() + ": " + setup.refusal.text();
    return std::nullopt;
  }
  return experiment;
}

std::string save_experiment_file(const Experiment& experiment, const std::filesystem::path& path) {
  const SaveResult saved =
      save_file_contents(path.string(), experiment_file_text(experiment, path));
  if (saved) return {};
  return path.string() + ": " + saved.reason;
}

}  // namespace kt
