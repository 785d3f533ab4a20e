// The menu bar and its commands, each with the guard that keeps it from overlapping a
// calculation or the help and about windows.
#pragma once

#include "app/application.h"

namespace kt {

// Builds the menu bar: "File" ("Open...", "Save...", "Save as...", "Default Parameters...",
// "Exit"), "Parameters", "Output data", "Calculation", "Stop", "Help", "About". True when the
// last item was added. `app` must outlive the menu.
bool build_menu(Application& app);

// Help and About: nothing while a run is active or under way; nothing while the help or the
// about window is shown or a calculation is running; otherwise the window, with its flag up.
void help_command(Application& app);
void about_command(Application& app);
// Starts a calculation thread when run_active is 0 (never two at once) and watches its outcome.
void calculation_command(Application& app);
// stop_request = 999.
void stop_command(Application& app);
// Closes the program at once. A running calculation is asked to stop and waited for, so that
// its result files are closed and its kinetics line written before the program ends.
void exit_command(Application& app);
// The two parameter dialogs (accepted in every state).
void parameters_command(Application& app);
void output_data_command(Application& app);

}  // namespace kt
