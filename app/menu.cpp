#include "app/menu.h"

#include "app/about_window.h"
#include "app/help_window.h"
#include "app/page_picture.h"
#include "display/display.h"

namespace kt {
namespace {

display::MenuCallback command(Application& app, void (*run)(Application&)) {
  return [&app, run](std::int32_t) { run(app); };
}

// A command that may change the Parameter set or the current file: the title follows it.
display::MenuCallback titled(Application& app, display::MenuCallback run) {
  return [&app, run = std::move(run)](std::int32_t checked) {
    run(checked);
    app.update_title();
  };
}

}  // namespace

// Help and About take the page only when the program is idle, and hold it while shown: no run
// starts under them and no run's drawing meets them.
// A size change of the window while one is shown is laid out once it has closed.
void help_command(Application& app) {
  if (!app.run_state.try_enter(RunState::help_shown)) return;
  show_help(app.page, app.help_file, app.services.read_key);
  app.run_state.leave();
  apply_waiting_layout(app);
}

void about_command(Application& app) {
  if (!app.run_state.try_enter(RunState::about_shown)) return;
  show_about(app.page, app.services.read_key);
  app.run_state.leave();
  apply_waiting_layout(app);
}

void calculation_command(Application& app) {
  if (!app.run_state.idle()) return;
  // The experiment's trace and material are read anew for every run, as the batch runner
  // reads them.
  if (const std::string refusal = app.use_experiment(); !refusal.empty()) {
    app.services.show_message("Calculation", "The calculation was not started: " + refusal + ".");
    return;
  }
  if (app.controller.start_calculation()) update_stop_item(app);
}

void stop_command(Application& app) {
  app.crater_interrupt = true;
  app.controller.request_stop();
}

void update_stop_item(Application& app) {
  display::set_menu_item_enabled(kStopBarPosition, 0, app.run_state.stoppable());
}

void exit_command(Application& app) {
  if (!app.confirm_close()) return;
  // The frame closes first, so that an outcome being told to the user gives way at once.
  app.services.close_frame_window();
  app.finish_calculation();
}

void stop_key_command(Application& app) {
  stop_command(app);
}

void export_picture_command(Application& app) {
  const std::string path = display::show_save_picture_chooser(kExportTitle, "page.png");
  if (path.empty()) return;
  std::string error;
  if (!save_page_picture(path, error)) app.services.show_message(kExportTitle, error + ".");
}

void parameters_command(Application& app) {
  app.dialogs.dialog_kind = DialogKind::parameters;
  edit_parameters(app.dialogs, app.parameters);
}

void output_data_command(Application& app) {
  app.dialogs.dialog_kind = DialogKind::output_data;
  edit_parameters(app.dialogs, app.parameters);
}

void update_scheme_item(Application& app) {
  display::set_menu_item_checked(kSchemeBarPosition, 0,
                                 app.controller.scheme() == Scheme::accurate);
}

void accurate_scheme_command(Application& app, bool checked) {
  const std::string before = app.experiment.scheme;
  app.experiment.scheme = checked ? "accurate" : "published";
  if (const std::string refusal = app.use_experiment(); !refusal.empty()) {
    // E.g. the published scheme with a train: the experiment keeps its scheme.
    app.experiment.scheme = before;
    app.services.show_message("Accurate scheme", refusal + ".");
  }
  update_scheme_item(app);
  app.update_title();
}

void experiment_command(Application& app) {
  app.experiment_dialog.show_message = [&app](std::string_view title, std::string_view text) {
    app.services.show_message(title, text);
  };
  if (const std::optional<RunSetup> setup = edit_experiment(app.experiment_dialog, app.experiment))
    app.use_setup(*setup);
  update_scheme_item(app);
  app.update_title();
}

void open_experiment_command(Application& app) {
  const std::string path = display::choose_file_to_open(
      kExperimentFileTitle, app.experiment_file.string(), experiment_file_filters());
  if (path.empty()) return;
  std::string error;
  const std::optional<Experiment> experiment = load_experiment_file(path, error);
  if (!experiment) {
    app.services.show_message(kExperimentFileTitle, error + "\nThe experiment has not changed.");
    return;
  }
  app.experiment = *experiment;
  app.stored_experiment = *experiment;
  app.experiment_file = path;
  if (const std::string refusal = app.use_experiment(); !refusal.empty())
    app.services.show_message(kExperimentFileTitle, refusal + ".");
  update_scheme_item(app);
  app.update_title();
}

void save_experiment_command(Application& app) {
  const std::string initial =
      app.experiment_file.empty() ? std::string("experiment.toml") : app.experiment_file.string();
  const std::string path = app.services.choose_file_to_save(kExperimentFileTitle, initial,
                                                            experiment_file_filters(), "toml");
  if (path.empty()) return;
  app.save_experiment(path);
}

bool build_menu(Application& app) {
  using display::append_menu_item;
  constexpr std::int32_t kEnabled = display::kMenuEnabled;
  append_menu_item(1, kEnabled, "File", [](std::int32_t) {});
  append_menu_item(1, kEnabled, "Open...", titled(app, open_menu_callback(app.file_commands)),
                   "Ctrl+O");
  append_menu_item(1, kEnabled, "Save...", titled(app, save_menu_callback(app.file_commands)),
                   "Ctrl+S");
  append_menu_item(1, kEnabled, "Save &as...",
                   titled(app, save_as_menu_callback(app.file_commands)), "Ctrl+Shift+S");
  append_menu_item(1, kEnabled, "Open &experiment...", command(app, open_experiment_command));
  append_menu_item(1, kEnabled, "Save experi&ment...", command(app, save_experiment_command));
  append_menu_item(1, kEnabled, "Default Parameters...",
                   titled(app, default_parameters_menu_callback(app.file_commands)));
  append_menu_item(1, kEnabled, "Export &picture...", command(app, export_picture_command));
  append_menu_item(1, kEnabled, "E&xit", command(app, exit_command));
  append_menu_item(2, kEnabled, "Parameters", titled(app, command(app, parameters_command)));
  append_menu_item(3, kEnabled, "Experiment", titled(app, command(app, experiment_command)));
  append_menu_item(4, kEnabled, "Output data", titled(app, command(app, output_data_command)));
  append_menu_item(5, kEnabled, "Calculation", command(app, calculation_command), "F5");
  // Stop is greyed until a calculation is under way.
  constexpr std::int32_t kGreyed = 1 | 2;
  append_menu_item(kStopBarPosition, kGreyed, "Stop", command(app, stop_command));
  append_menu_item(7, kEnabled, "Help", command(app, help_command), "F1");
  append_menu_item(8, kEnabled, "About", command(app, about_command));
  const bool built = append_menu_item(
      kSchemeBarPosition, kEnabled | display::kMenuCheckable, "Accu&rate scheme",
      [&app](std::int32_t checked) { accurate_scheme_command(app, checked != 0); });
  // Esc stops a calculation under way, like Stop; with none it does nothing.
  display::add_key_command("Esc", command(app, stop_key_command));
  // The end of a run greys Stop again and lays out a page whose size changed as the run ended
  // (on the GUI thread, from the state it finds there).
  app.controller_idle = [&app] {
    display::post_to_frame([&app] {
      update_stop_item(app);
      apply_waiting_layout(app);
    });
  };
  display::set_surface_resized_handler([&app] { relayout_page(app); });
  display::set_close_query([&app] { return app.confirm_close(); });
  return built;
}

}  // namespace kt
