// The menu bar and its commands; the run state keeps a calculation, the help window and the
// about window from overlapping.
#pragma once

#include "app/application.h"

namespace kt {

// Builds the menu bar: "File" ("Open..." Ctrl+O, "Save..." Ctrl+S, "Save as..." Ctrl+Shift+S,
// "Open experiment...", "Save experiment...", "Default Parameters...", "Export picture...",
// "Exit"), "Parameters", "Experiment", "Output data", "Calculation" F5, "Stop" (Esc while a run
// is under way), "Help" F1, "About", "Accurate scheme" (checkable: checked while the runs take
// the accurate scheme; choosing it sets the experiment's scheme). The title
// follows the commands that change the parameters or the current file; closing the frame asks
// as Exit does. True when the last item was added. `app` must outlive the menu.
bool build_menu(Application& app);

// Help and About: the window when the program is idle (no calculation, no other window);
// nothing otherwise.
void help_command(Application& app);
void about_command(Application& app);
// Starts a calculation thread when the program is idle (never two at once); its outcome is told
// to the user when it ends.
void calculation_command(Application& app);
// Asks the run under way to stop after its step; with none it does nothing (the item is then
// greyed), so a stray Stop never cuts a later run short.
void stop_command(Application& app);
// Where Stop is on the menu bar.
inline constexpr std::int32_t kStopBarPosition = 6;
// Where "Accurate scheme" is on the menu bar.
inline constexpr std::int32_t kSchemeBarPosition = 9;
// The check mark of "Accurate scheme" follows the scheme of the runs to come (GUI thread).
void update_scheme_item(Application& app);
// Enables Stop while a calculation is starting or running and greys it otherwise (GUI thread).
void update_stop_item(Application& app);
// Closes the program. With unsaved changes of the parameters the user is asked first: Save
// (a failed save keeps the program open), Discard or Cancel. A running calculation is asked to
// stop and waited for, so that its result files are closed and its kinetics line written
// before the program ends.
void exit_command(Application& app);
// The Esc key: Stop.
void stop_key_command(Application& app);
// File > Export picture...: the page as the main window shows it, as a PNG file chosen by the
// user (the same picture as the batch runner's --png).
void export_picture_command(Application& app);
inline constexpr std::string_view kExportTitle = "Export picture";
// The two parameter dialogs (accepted in every state).
void parameters_command(Application& app);
void output_data_command(Application& app);
// Accurate scheme (checkable): the experiment's scheme becomes "accurate" when checked and
// "published" when not; the runs started from now on take it, and the title says so.
void accurate_scheme_command(Application& app, bool checked);
// Experiment: the "Experiment:" dialog on the program's experiment (app/experiment_dialog.h);
// accepted, the runs started from now on take it.
void experiment_command(Application& app);
// File > Open experiment...: an experiment file chosen with the open-file chooser, read and
// checked whole (its trace and material too); a refusal names the file and line and changes
// nothing.
void open_experiment_command(Application& app);
// File > Save experiment...: the experiment to a file chosen with the save chooser, through the
// safe save (the trace and material relative to its folder). Never the current parameter file.
void save_experiment_command(Application& app);

}  // namespace kt
