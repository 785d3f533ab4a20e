// The menu bar and its commands; the run state keeps a calculation, the help window and the
// about window from overlapping.
#pragma once

#include "app/application.h"

namespace kt {

// Builds the menu bar: "File" ("Open..." Ctrl+O, "Save..." Ctrl+S, "Save as..." Ctrl+Shift+S,
// "Default Parameters...", "Export picture...", "Exit"), "Parameters", "Output data",
// "Calculation" F5, "Stop" (Esc while a run is under way), "Help" F1, "About", "Accurate
// scheme" (checkable: the scheme of the runs started while it is checked). The title
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
inline constexpr std::int32_t kStopBarPosition = 5;
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
// Calculation > Accurate scheme (checkable): the runs started from now on take the accurate
// scheme while it is checked; the title says so.
void accurate_scheme_command(Application& app, bool checked);

}  // namespace kt
