// The "Experiment:" dialog and the experiment files of the File menu. The dialog edits a
// working copy of the program's experiment (scheme, pulse shape and trace, train and rate,
// incubated absorption, material file, the laser spot's beam and radius); OK checks it as the batch
// runner checks an experiment (the settings together, then the trace and the material file read),
// and a refusal — naming the file and line of a bad trace or material — is told and the dialog
// comes back with the entries as they were, the experiment unchanged. The `.par` file is not
// touched: an experiment lives in its own file (TOML, the batch runner's --experiment).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/dialog_template.h"
#include "display/display.h"
#include "engine/experiment_setup.h"
#include "params/experiment_file.h"

namespace kt {

// The controls of "Experiment:"; each label of a field is numbered one below the field.
enum ExperimentControl : std::int32_t {
  kSchemeGroup = 3000,
  kSchemeByPulsesButton = 3001,
  kPublishedSchemeButton = 3002,
  kAccurateSchemeButton = 3003,
  kShapeGroup = 3004,
  kFileShapeButton = 3005,
  kGaussianShapeButton = 3006,
  kMeasuredShapeButton = 3007,
  kTraceLabel = 3008,
  kTraceField = 3009,
  kTraceBrowseButton = 3010,
  kTrainGroup = 3011,
  kPulsesLabel = 3012,
  kPulsesField = 3013,
  kRateLabel = 3014,
  kRateField = 3015,
  kIncubatedLabel = 3016,
  kIncubatedField = 3017,
  kMaterialLabel = 3018,
  kMaterialField = 3019,
  kMaterialBrowseButton = 3020,
  kSpotGroup = 3021,
  kNoSpotButton = 3022,
  kGaussianSpotButton = 3023,
  kTophatSpotButton = 3024,
  kSpotRadiusLabel = 3025,
  kSpotRadiusField = 3026,
  kToleranceLabel = 3027,
  kToleranceField = 3028,
};

const display::DialogTemplate& experiment_template();

inline constexpr std::string_view kExperimentCaption = "Experiment:";
// The title of the experiment files' choosers and messages.
inline constexpr std::string_view kExperimentFileTitle = "Experiment file";
// The title of the message that tells a refusal.
inline constexpr std::string_view kExperimentRefusalTitle = "Experiment not taken";

// The file filters of the choosers.
const std::vector<std::string>& trace_file_filters();
const std::vector<std::string>& material_file_filters();
const std::vector<std::string>& experiment_file_filters();

// What the dialog keeps while it is open, and the services it uses (tests replace them).
struct ExperimentDialogState {
  Experiment working;
  // Texts not taken (not a number, a count that is not whole), by control id.
  std::map<std::int32_t, std::string> refused;
  std::function<void(std::string_view title, std::string_view text)> show_message =
      display::show_message;
  // The open-file chooser: the full path chosen, empty on cancel.
  std::function<std::string(std::string_view title, std::string_view initial,
                            const std::vector<std::string>& filters)>
      choose_file = display::choose_file_to_open;
};

// Runs the dialog on `experiment` until it is accepted with settings that pass or cancelled.
// Accepted: `experiment` takes the working copy and its setup is returned. Cancelled, or no
// dialog: nullopt and `experiment` unchanged.
std::optional<RunSetup> edit_experiment(ExperimentDialogState& state, Experiment& experiment);

// The control callback: radio buttons set their choice, fields are read into the working
// copy, the Browse buttons open the chooser.
void experiment_dialog_callback(ExperimentDialogState& state, display::DialogObject& dialog,
                                std::int32_t control_id, std::int32_t kind);

// The text of an experiment file at `file`: the trace and the material relative to its folder
// where they can be (so the folder can move as a whole).
std::string experiment_file_text(const Experiment& experiment, const std::filesystem::path& file);

// Reads the experiment file at `path` and checks it whole (its trace and material read). The
// experiment, or nullopt with `error` naming the file and line (or the trace's or material's).
std::optional<Experiment> load_experiment_file(const std::filesystem::path& path,
                                               std::string& error);

// Writes `experiment` to `path` through the safe save. Empty on success, else why not.
std::string save_experiment_file(const Experiment& experiment, const std::filesystem::path& path);

}  // namespace kt
