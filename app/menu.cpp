#include "app/menu.h"

#include "app/about_window.h"
#include "app/help_window.h"
#include "display/display.h"

namespace kt {
namespace {

// The shell's guard: a run active or starting, or a window shown.
bool shell_guard_up(const Application& app) {
  if (app.flags.run_active.load() != 0) return true;
  return app.flags.help_open.load() == 1.0f || app.flags.about_open.load() == 1.0f ||
         app.flags.calculation_running.load() != 0.0f;
}

// A worker that has started but not yet marked its run keeps the windows away as well, so that
// the help or about window and a run's first drawing never meet.
bool worker_starting(const Application& app) {
  return app.controller.busy();
}

display::MenuCallback command(Application& app, void (*run)(Application&)) {
  return [&app, run](std::int32_t) { run(app); };
}

}  // namespace

void help_command(Application& app) {
  if (shell_guard_up(app) || worker_starting(app)) return;
  app.flags.help_open = 1.0f;
  show_help(app.page, app.help_file, app.services.read_key);
  app.flags.help_open = 0.0f;
}

void about_command(Application& app) {
  if (shell_guard_up(app) || worker_starting(app)) return;
  app.flags.about_open = 1.0f;
  show_about(app.page, app.services.read_key);
  app.flags.about_open = 0.0f;
}

void calculation_command(Application& app) {
  if (app.flags.run_active.load() != 0) return;
  if (app.controller.start_calculation()) app.watch_run();
}

void stop_command(Application& app) {
  app.controller.request_stop();
}

void exit_command(Application& app) {
  app.finish_calculation();
  app.services.close_frame_window();
}

void parameters_command(Application& app) {
  app.dialogs.dialog_kind = kParametersDialog;
  edit_parameters(app.dialogs, app.parameters);
}

void output_data_command(Application& app) {
  app.dialogs.dialog_kind = kOutputDataDialog;
  edit_parameters(app.dialogs, app.parameters);
}

bool build_menu(Application& app) {
  using display::append_menu_item;
  constexpr std::int32_t kEnabled = display::kMenuEnabled;
  append_menu_item(1, kEnabled, "File", [](std::int32_t) {});
  append_menu_item(1, kEnabled, "Open...", open_menu_callback(app.file_commands));
  append_menu_item(1, kEnabled, "Save...", save_menu_callback(app.file_commands));
  append_menu_item(1, kEnabled, "Save as...", save_as_menu_callback(app.file_commands));
  append_menu_item(1, kEnabled, "Default Parameters...",
                   default_parameters_menu_callback(app.file_commands));
  append_menu_item(1, kEnabled, "Exit", command(app, exit_command));
  append_menu_item(2, kEnabled, "Parameters", command(app, parameters_command));
  append_menu_item(3, kEnabled, "Output data", command(app, output_data_command));
  append_menu_item(4, kEnabled, "Calculation", command(app, calculation_command));
  append_menu_item(5, kEnabled, "Stop", command(app, stop_command));
  append_menu_item(6, kEnabled, "Help", command(app, help_command));
  return append_menu_item(7, kEnabled, "About", command(app, about_command));
}

}  // namespace kt
