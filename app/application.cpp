#include "app/application.h"

#include <array>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "app/data_files.h"
#include "app/help_window.h"
#include "engine/run_request.h"
#include "params/output_paths.h"
#include "solver/result_files.h"

namespace kt {

// ---- the view of a run --------------------------------------------------------------------------

void RunView::request_layout(const PageGeometry& page) {
  std::lock_guard<std::mutex> guard(layout_lock_);
  pending_layout_ = page;
}

bool RunView::take_pending_layout(PageGeometry& page) {
  std::lock_guard<std::mutex> guard(layout_lock_);
  if (!pending_layout_) return false;
  page = *pending_layout_;
  pending_layout_.reset();
  return true;
}

bool RunView::apply_pending_layout(const ProfileArrays& profiles) {
  if (!take_pending_layout(page_)) return false;
  draw_title_page(page_, title_, logo_file_);
  relayout(profiles);
  return true;
}

void RunView::run_accepted() {
  take_pending_layout(page_);  // the new run draws everything in the newest layout
  draw_title_page(page_, title_, logo_file_);
  if (also_) also_->run_accepted();
}

void RunView::run_adjusted(const RunAdjustments& adjustments) {
  if (on_adjusted) on_adjusted(adjustments);
  if (also_) also_->run_adjusted(adjustments);
}

void RunView::run_started(const RunConstants& constants, const ParameterSet& taken,
                          std::int32_t profile_node_count, const PlotCurveSwitches& switches) {
  PagePlots::run_started(constants, taken, profile_node_count, switches);
  if (also_) also_->run_started(constants, taken, profile_node_count, switches);
}

void RunView::step_done(const StepRecord& record, const ProfileArrays& profiles) {
  PagePlots::step_done(record, profiles);
  apply_pending_layout(profiles);
  if (also_) also_->step_done(record, profiles);
}

void RunView::profiles_taken(int number, const StepRecord& record, const ProfileArrays& profiles) {
  if (also_) also_->profiles_taken(number, record, profiles);
}

void RunView::pulse_started(int pulse, int pulses, double time_offset_ns) {
  PagePlots::pulse_started(pulse, pulses, time_offset_ns);
  if (also_) also_->pulse_started(pulse, pulses, time_offset_ns);
}

void RunView::pulse_done(const PulseRecord& record) {
  PagePlots::pulse_done(record);
  if (also_) also_->pulse_done(record);
}

void RunView::run_ended(const RunOutcome& outcome) {
  PagePlots::run_ended(outcome);
  if (also_) also_->run_ended(outcome);
}

// ---- the application's records -----------------------------------------------------------------

Application::Application(std::filesystem::path data_directory_in, ShellServices services_in,
                         RunOptions run_options)
    : solver_state(std::make_unique<SolverState>()),
      data_directory(std::move(data_directory_in)),
      help_file(find_data_file(kHelpFileName, data_directory)),
      logo_file(find_data_file(kLogoFileName, data_directory)),
      services(std::move(services_in)),
      run_view(page, title, logo_file, run_options.observer),
      file_commands{parameters, location, run_state},
      controller(
          parameters, run_state, *solver_state, profiles, &run_view,
          [this](const RunRequest& request, const SingleRun& run) {
            // On the worker, before the program is idle again: nothing starts until the
            // user has seen the outcome.
            std::string message = run_outcome_message(run.outcome);
            if (const std::string crater = write_crater(request, run); !crater.empty())
              message += (message.empty() ? "" : "\n") + crater;
            if (!message.empty() && !closing()) services.show_message("Calculation", message);
          },
          [this] {
            if (controller_idle) controller_idle();
          }),
      run_options_(std::move(run_options)) {
  // The runs' own options; the program's view is their observer (and tells the other).
  run_options_.observer = nullptr;
  RunRequest plain;
  plain.options = run_options_;
  controller.set_request(std::move(plain));
  // A command chosen before the start-up file has been read works on the defaults.
  set_default_parameter_groups(parameters.values);
  // The set shows the scales and clamps of the last run, as its file then saves them.
  run_view.on_adjusted = [this](const RunAdjustments& adjustments) {
    std::lock_guard<std::mutex> guard(parameters.lock);
    apply_run_adjustments(adjustments, parameters.values);
  };
  file_commands.services.show_message = [this](std::string_view t, std::string_view text) {
    services.show_message(t, text);
  };
  file_commands.services.parameters_stored = [this](const ParameterSet& stored) {
    parameters_stored(stored);
  };
  parameters_stored(parameters.snapshot());
}

std::string Application::use_experiment() {
  const Prepared<RunSetup> setup = make_run_setup(experiment);
  if (!setup) return setup.refusal.text();
  if (setup->spot.active()) {
    // The material's values are refused here, before the setup is taken.
    ParameterSet values = parameters.snapshot();
    if (const std::string refused = setup->apply_material_values(values); !refused.empty())
      return refused;
  }
  use_setup(*setup);
  crater_interrupt = false;
  return {};
}

void Application::use_setup(const RunSetup& setup) {
  // Every run is prepared and executed as the batch runner's is, by the engine's run request:
  // its checks, and a material's values in the run only (the set and its file keep the user's).
  RunRequest request;
  request.setup = setup;
  request.options = run_options_;
  const bool spot_train = setup.spot.active() && setup.is_train();
  if (spot_train) {
    // The runs at every radius; the centre's is the program's calculation, which draws the page.
    request.make = [this, setup](SharedParameters& shared, const RunOptions& options) {
      SpotTrainRequest train;
      train.parameters = shared.values;
      train.setup = setup;
      train.centre = options;
      train.make_centre = controller.calculation();
      SpotTrainResult result = run_spot_train(train);
      RunOutcome outcome = result.centre;
      if (!result.error.empty()) {
        outcome = RunOutcome{};
        outcome.not_started_reason = result.error;
      }
      std::lock_guard<std::mutex> guard(crater_lock_);
      spot_train_ = std::move(result);
      return outcome;
    };
  }
  // Stop ends a spot's train at every radius (the centre's run takes it from the run state as
  // well); a plain run takes it from the run state alone.
  controller.set_request(std::move(request), spot_train ? &crater_interrupt : nullptr);
  run_view.set_scheme(setup.scheme);
}

std::string Application::write_crater(const RunRequest& request, const SingleRun& run) {
  std::optional<SpotTrainResult> train;
  {
    std::lock_guard<std::mutex> guard(crater_lock_);
    train.swap(spot_train_);
  }
  const RunOutcome& outcome = run.outcome;
  // A spot's train that was not made (refused before it started) has no runs to tell.
  if (!request.setup.spot.active() || (request.setup.is_train() && !train)) return {};
  // A spot's train whose cooling or outer runs failed has no crater to tell.
  const bool whole = outcome.end != RunEnd::not_started && outcome.end != RunEnd::stop &&
                     outcome.end != RunEnd::diverged;
  if (train && whole && !train->failure.empty())
    return "The spot's train failed: " + train->failure + ".\nThe crater table was not written.";
  const CraterStep step = take_crater_step(run.used, request.setup, request.options.refinement,
                                           outcome, &crater_interrupt, train ? &*train : nullptr,
                                           request.options.output_directory);
  // Stopped with no pulse finished at every radius: Stop is not told back to the user.
  if (!step.crater.error.empty())
    return outcome.end == RunEnd::stop
               ? std::string()
               : "The crater table was not written: " + step.crater.error + ".";
  return step.problem();
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
  if (controller.scheme() == Scheme::accurate) title += " [accurate scheme]";
  services.set_title(title);
}

bool Application::save_experiment(std::filesystem::path path) {
  if (path.empty()) path = experiment_file;
  if (path.empty()) {
    path = services.choose_file_to_save(kExperimentFileTitle, "experiment.toml",
                                        experiment_file_filters(), "toml");
    if (path.empty()) return false;
  }
  const std::string clash =
      check_output_paths({{"the parameter file", current_file_name()},
                          {"the trace", experiment.trace.string()},
                          {"the material file", experiment.material.string()}},
                         {{"the experiment file", path.string()}});
  if (!clash.empty()) {
    services.show_message(kExperimentFileTitle, clash + ".");
    return false;
  }
  if (const std::string error = save_experiment_file(experiment, path); !error.empty()) {
    services.show_message(kExperimentFileTitle, error + ".");
    return false;
  }
  experiment_file = path;
  stored_experiment = experiment;
  return true;
}

bool Application::confirm_close() {
  // Each question as the one before: a save that fails (the user is told why) or is refused
  // keeps the program open.
  const auto ask = [this](const std::string& question, const std::function<bool()>& save) {
    switch (services.ask_to_save(kProgramTitle, question)) {
      case display::SaveChoice::save:
        return save();
      case display::SaveChoice::discard:
        return true;
      case display::SaveChoice::cancel:
        break;
    }
    return false;
  };
  if (parameters_changed() &&
      !ask("The parameters have changed since \"" + current_file_name() +
               "\" was last read or written.\nSave them before the program closes?",
           [this] { return save_parameter_file(file_commands) && !parameters_changed(); }))
    return false;
  if (!experiment_changed()) return true;
  const std::string question =
      experiment_file.empty()
          ? std::string(
                "The experiment has changed and has not been saved to an experiment "
                "file.\nSave it before the program closes?")
          : "The experiment has changed since \"" + experiment_file.string() +
                "\" was last read or written.\nSave it before the program closes?";
  return ask(question, [this] { return save_experiment(); });
}

Application::~Application() {
  request_shutdown();
  finish_calculation();
}

void Application::request_shutdown() {
  {
    std::lock_guard<std::mutex> guard(shutdown_lock_);
    shutdown_ = true;
  }
  shutdown_signal_.notify_all();
}

void Application::wait_for_shutdown(std::stop_token stop) {
  std::unique_lock<std::mutex> guard(shutdown_lock_);
  shutdown_signal_.wait(guard, stop, [this] { return shutdown_; });
}

void Application::finish_calculation() {
  closing_ = true;
  crater_interrupt = true;
  if (controller.busy()) controller.request_stop();
  controller.wait();
}

std::string run_outcome_message(const RunOutcome& outcome) {
  std::string message;
  // A run kept from starting because the program was busy is silent; a refused one says why.
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

// ---- the page's size ---------------------------------------------------------------------------

void relayout_page(Application& app, bool force) {
  if (!app.page_ready.load()) return;  // start-up lays the page out itself
  display::ScreenConfig config;
  display::query_screen_config(config);
  const PageGeometry page = page_for_area(config.width, config.height);
  if (!force && page.area_width == app.requested_page.area_width &&
      page.area_height == app.requested_page.area_height) {
    return;
  }
  app.requested_page = page;
  app.run_view.request_layout(page);
  apply_waiting_layout(app);
}

void apply_waiting_layout(Application& app) {
  // Menu commands, and so new runs and the help and about windows, start on this thread only:
  // an idle program stays idle while the page is drawn.
  if (app.run_state.idle()) app.run_view.apply_pending_layout(app.profiles);
}

// ---- start-up ----------------------------------------------------------------------------------

void setup_windows() {
  namespace d = display;
  d::toggle_status_bar();
  d::WindowRequest request;
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
  return true;
}

FileResult load_startup_parameters(Application& app) {
  ParameterSet loaded = app.parameters.snapshot();
  FileResult result = transfer_parameter_file(TransferDirection::read, loaded, app.location);
  if (!result) {
    // A file that cannot be read stays as it is; the program goes on with the defaults.
    set_default_parameter_groups(loaded);
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

void startup_sequence(Application& app, std::stop_token stop) {
  setup_windows();
  if (!init_display(app)) {
    app.wait_for_shutdown(stop);
    return;
  }
  load_startup_parameters(app);
  draw_title_page(app.page, app.title, app.logo_file);
  // From now on the GUI thread lays the page out when the window changes size; a change that
  // came during start-up is taken up at once.
  app.requested_page = app.page;
  app.page_ready = true;
  display::post_to_frame([&app] { relayout_page(app, false); });
  app.wait_for_shutdown(stop);
}

}  // namespace kt
