// The two parameter dialogs, "Parameters:" (template 10) and "Output Data:" (template 101): one
// routine opens either, fills its controls from a working copy of the Parameter set, follows the
// user's typing through one control callback, and commits the whole working copy on OK.
#pragma once

#include <cstdint>

#include "display/display.h"
#include "params/parameter_set.h"

namespace kt {

inline constexpr int kParametersDialog = 1;  // dialog_kind of "Parameters:"
inline constexpr int kOutputDataDialog = 2;  // dialog_kind of "Output Data:"
inline constexpr std::int32_t kParametersTemplate = 10;
inline constexpr std::int32_t kOutputDataTemplate = 101;
// Characters of an edit field's text that the callback reads.
inline constexpr int kDialogTextCapacity = 55;

// What the dialogs keep between openings: the working copy (overwritten from the Parameter set
// at every opening) and which dialog the menu command asked for.
struct DialogState {
  ParameterSet working_copy;
  int dialog_kind = kParametersDialog;  // 1 "Parameters:", anything else "Output Data:"
};

// Runs the dialog named by state.dialog_kind from opening to commit: fills the working copy from
// a snapshot of `parameters`, shows the dialog, and on any closing but Cancel (2) commits the
// whole working copy under the Parameter set's lock. When the template cannot be loaded, writes
// " error: resource not found" on the text layer and changes nothing.
void edit_parameters(DialogState& state, SharedParameters& parameters);

// The control callback of both templates: radio buttons set their choice, edit fields are read
// (55 characters) by free-format input into the working copy; unknown ids are ignored, and so
// is `kind`.
void parameter_dialog_callback(DialogState& state, display::DialogObject& dialog,
                               std::int32_t control_id, std::int32_t kind);

}  // namespace kt
