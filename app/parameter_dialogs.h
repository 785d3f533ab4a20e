// The two parameter dialogs, "Parameters:" and "Output Data:" (app/dialog_templates.h): one
// routine opens either, fills its controls from a working copy of the Parameter set, follows the
// user's typing through one control callback, and commits the whole working copy on OK.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "display/display.h"
#include "params/parameter_set.h"

namespace kt {

// Which of the two dialogs a menu command opens.
enum class DialogKind { parameters, output_data };
// Characters of an edit field's text that the callback reads.
inline constexpr int kDialogTextCapacity = 55;

// What the dialogs keep between openings: the working copy (overwritten from the Parameter set
// at every opening) and which dialog the menu command asked for.
struct DialogState {
  ParameterSet working_copy;
  DialogKind dialog_kind = DialogKind::parameters;
  // Fields whose text was refused (a number beyond the single-precision range, a name that
  // cannot name result files), by control id: what the user is told when the dialog commits.
  std::map<std::int32_t, std::string> refused;
  // Fields whose text held more than the first item, which alone was read ("72,5" gives 72): the
  // note shown on the field and, when the dialog commits, told once more.
  std::map<std::int32_t, std::string> partly_read;
  // The message box that tells it; tests replace it.
  std::function<void(std::string_view title, std::string_view text)> show_message =
      display::show_message;
};

// Runs the dialog named by state.dialog_kind from opening to commit: fills the working copy from
// a snapshot of `parameters`, shows the dialog, and on any closing but Cancel commits the
// whole working copy under the Parameter set's lock; text refused in a field keeps the field's
// last value and is then named in one message. When the dialog cannot be made, writes
// " error: resource not found" on the text layer and changes nothing.
void edit_parameters(DialogState& state, SharedParameters& parameters);

// The control callback of both templates: radio buttons set their choice, edit fields are read
// (55 characters) by free-format input into the working copy; unknown ids are ignored, and so
// is `kind`. A number that does not fit the parameter file and a name that cannot name result
// files are refused: the field keeps its last value and the refusal is noted in `refused`.
void parameter_dialog_callback(DialogState& state, display::DialogObject& dialog,
                               std::int32_t control_id, std::int32_t kind);

}  // namespace kt
