#include "app/application.h"

#include <array>
#include <chrono>
#include <utility>

#include "app/data_files.h"
#include "app/help_window.h"

namespace kt {

// ---- the plots of a run ----------------------------------------------------------------------

void ApplicationPlotSink::draw_title_page() {
  kt::draw_title_page(page_, title_, logo_file_);
}

void ApplicationPlotSink::plot_temporal(std::int32_t mode, float time_ns,
                                        float surface_temperature_k, float front_velocity_cm_s,
                                        float ablated_depth_nm, float surface_fraction,
                                        const PlotScaleSet& scales,
                                        const PlotCurveSwitches& switches) {
  plots_.plot_temporal(mode, time_ns, surface_temperature_k, front_velocity_cm_s, ablated_depth_nm,
                       surface_fraction, scales, switches);
}

void ApplicationPlotSink::plot_spatial(std::int32_t mode, std::int32_t curves,
                                       const ProfileArrays& profiles, const PlotScaleSet& scales) {
  plots_.plot_spatial(mode, curves, profiles, scales);
}

void ApplicationPlotSink::mark_stopped() {
  plots_.mark_stopped();
}

// ---- the application's records -----------------------------------------------------------------

Application::Application(std::filesystem::path data_directory_in, ShellServices services_in,
                         RunOptions run_options)
    : solver_state(std::make_unique<SolverState>()),
      data_directory(std::move(data_directory_in)),
      help_file(find_data_file(kHelpFileName, data_directory)),
      logo_file(find_data_file(kLogoFileName, data_directory)),
      services(std::move(services_in)),
      plot_sink(page, title, logo_file),
      file_commands{parameters, location, flags},
      controller(parameters, flags, *solver_state, plot_scales, profiles, plot_sink,
                 std::move(run_options)) {
  // A command chosen before the start-up file has been read works on the defaults.
  set_default_parameter_groups(parameters.values, 0);
  file_commands.services.show_message = [this](std::string_view t, std::string_view text) {
    services.show_message(t, text);
  };
  file_commands.services.parameters_stored = [this](const ParameterSet& stored) {
    parameters_stored(stored);
  };
  parameters_stored(parameters.snapshot());
}

void Application::parameters_stored(const ParameterSet& stored) {
  std::lock_guard<std::mutex> guard(stored_lock_);
  stored_parameters_ = stored;
}

bool Application::parameters_changed() const {
  const ParameterSet current = parameters.snapshot();
  ParameterSet stored;
  {
    std::lock_guard<std::mutex> guard(stored_lock_);
    stored = stored_parameters_;
  }
  if (current.autoscale == Autoscale::automatic) {
    // Auto scaling: every run sets these scales itself; a run alone changes nothing to save.
    stored.temperature_scale = current.temperature_scale;
    stored.velocity_scale = current.velocity_scale;
    stored.depth_scale = current.depth_scale;
  }
  return !(current == stored);
}

std::string Application::current_file_name() const {
  return location.parameter_file_mode == ParameterFileMode::full_path
             ? trimmed_right(location.parameter_file_path)
             : trimmed_right(location.parameter_file_name);
}

void Application::update_title() {
  std::string title = current_file_name();
  if (parameters_changed()) title += " *";
  services.set_title(title);
}

bool Application::confirm_close() {
  if (!parameters_changed()) return true;
  const std::string question = "The parameters have changed since \"" + current_file_name() +
                               "\" was last read or written.\nSave them before the program "
                               "closes?";
  switch (services.ask_to_save(kProgramTitle, question)) {
    case display::SaveChoice::save:
      // A save that fails (the user is told why) or is refused keeps the program open.
      return save_parameter_file(file_commands) && !parameters_changed();
    case display::SaveChoice::discard:
      return true;
    case display::SaveChoice::cancel:
      break;
  }
  return false;
}

Application::~Application() {
  request_shutdown();
  finish_calculation();
  wait_for_watcher();
}

void Application::request_shutdown() {
  {
    std::lock_guard<std::mutex> guard(shutdown_lock_);
    shutdown_ = true;
  }
  shutdown_signal_.notify_all();
}

void Application::wait_for_shutdown() {
  std::unique_lock<std::mutex> guard(shutdown_lock_);
  shutdown_signal_.wait(guard, [this] { return shutdown_; });
}

void Application::finish_calculation() {
  closing_ = true;
  if (controller.busy()) {
    controller.request_stop();
    controller.wait();
  }
}

void Application::watch_run() {
  std::lock_guard<std::mutex> guard(watcher_lock_);
  if (watcher_.joinable()) watcher_.join();  // the previous run has finished
  watcher_ = std::jthread([this](std::stop_token stop) {
    // The controller reports no end of its own; the worker clears busy() once its outcome is
    // stored.
    while (controller.busy()) {
      if (stop.stop_requested()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const RunOutcome outcome = controller.last_outcome();
    if (outcome.end == RunEnd::stop && !closing() && !stop.stop_requested()) {
      plot_sink.mark_stopped();
    }
    const std::string message = run_outcome_message(outcome);
    if (!message.empty() && !closing() && !stop.stop_requested()) {
      services.show_message("Calculation", message);
    }
  });
}

void Application::wait_for_watcher() {
  std::lock_guard<std::mutex> guard(watcher_lock_);
  if (watcher_.joinable()) watcher_.join();
}

std::string run_outcome_message(const RunOutcome& outcome) {
  std::string message;
  // A run the guards kept from starting is silent; a refused one says why.
  if (outcome.end == RunEnd::not_started && !outcome.kept_by_guard &&
      !outcome.not_started_reason.empty()) {
    message = "The calculation was not started: " + outcome.not_started_reason + ".";
  }
  if (outcome.end == RunEnd::diverged) {
    message = divergence_message(outcome) + ".";
    message[0] = 'T';  // "the calculation diverged ..." opens the sentence
  }
  if (!outcome.file_errors.empty()) {
    if (!message.empty()) message += "\n";
    message += "Result files of the calculation could not be written:";
    for (const std::string& error : outcome.file_errors) message += "\n" + error;
  }
  return message;
}

// ---- start-up ----------------------------------------------------------------------------------

void setup_windows() {
  namespace d = display;
  d::WindowRequest request;
  request.state = 0;  // an unknown state: restores the frame, then fails; the failure is ignored
  d::set_window_size(d::WindowTarget::frame, request);
  d::tile_windows();
  d::toggle_status_bar();
  request.state = 2;
  d::set_window_size(d::WindowTarget::main, request);
  d::WindowRequest current;
  d::get_window_size(d::WindowTarget::main, current);
  d::set_window_size(d::WindowTarget::frame, current);
}

bool init_display(Application& app) {
  if (display::initialize_fonts() < 0) {
    constexpr std::string_view kNoFonts = " NOT REGISTERID FONTS";
    display::write_text(kNoFonts.data(), static_cast<int>(kNoFonts.size()));
    display::end_program(0);
    return false;
  }
  display::ScreenConfig config;
  display::query_screen_config(config);
  // The largest layout that the main window's area holds, centred on it.
  app.page = page_for_area(config.width, config.height);

  app.location.parameter_file_mode = ParameterFileMode::short_name;
  set_padded(app.location.parameter_file_name, kStartupParameterFile);
  app.flags.help_open = 0.0f;
  app.flags.about_open = 0.0f;
  app.flags.calculation_running = 0.0f;
  return true;
}

FileResult load_startup_parameters(Application& app) {
  ParameterSet loaded = app.parameters.snapshot();
  FileResult result = transfer_parameter_file(TransferDirection::read, loaded, app.location);
  if (!result) {
    // A file that cannot be read stays as it is; the program goes on with the defaults.
    set_default_parameter_groups(loaded, 0);
    app.services.show_message(kProgramTitle, result.message + "\nThe default parameters are used.");
  }
  app.parameters.commit(loaded);
  // What the file holds is known only when it was read (or written with the defaults). After
  // an unreadable file the defaults in use are not counted as changes, so that Exit does not
  // offer to write them over it unless the user changes something.
  if (result) app.parameters_stored(loaded);
  app.update_title();
  return result;
}

void startup_sequence(Application& app) {
  setup_windows();
  if (!init_display(app)) {
    app.wait_for_shutdown();
    return;
  }
  load_startup_parameters(app);
  draw_title_page(app.page, app.title, app.logo_file);
  app.wait_for_shutdown();
}

}  // namespace kt
