// The running program's single records, in one place: the Parameter set and the current
// parameter file, the run state, the page geometry and the title margins, the plot scale set
// and the profile arrays, the solver state, the dialogs' working copy, the calculation
// controller and the plots that watch a run. `main` owns the one instance of the program;
// tests make their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/calculation_controller.h"
#include "app/experiment_dialog.h"
#include "app/file_commands.h"
#include "app/panel.h"
#include "app/parameter_dialogs.h"
#include "engine/crater.h"
#include "engine/spot_train.h"
#include "graphics/page_conventions.h"
#include "graphics/page_plots.h"
#include "graphics/title_page.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"
#include "params/run_state.h"
#include "solver/calculation_run.h"
#include "solver/model.h"

namespace kt {

inline constexpr std::string_view kStartupParameterFile = "KTparam.par";
inline constexpr std::string_view kProgramTitle = "Kestrium";

// What the program shows of a run: the title page once the run has accepted its inputs, then
// the graph panels. Another observer may be told of the run after the view (tests watch the
// program's runs through it).
//
// When the main window changes size the page is laid out anew: the new geometry is requested
// from the GUI thread and applied by whoever draws on the page at that moment — the run's thread
// after its next step (the run goes on in the new layout), or the GUI thread when no run is
// under way. Applying it draws the title page and the latest run's panels again.
class RunView final : public PagePlots {
 public:
  // `page`, `title` and `logo_file` are read at every run and must outlive the view; `page` is
  // written when a new layout is applied.
  RunView(PageGeometry& page, TitleState& title, const std::string& logo_file,
          RunObserver* also = nullptr)
      : PagePlots(page), page_(page), title_(title), logo_file_(logo_file), also_(also) {}

  // Any thread: the page is to be laid out as `page` from now on.
  void request_layout(const PageGeometry& page);
  // By the one who draws on the page now: applies a requested layout, drawing the title page
  // and the latest run's panels (with the latest `profiles`) anew. False when none was waiting.
  bool apply_pending_layout(const ProfileArrays& profiles);

  void run_accepted() override;
  void run_adjusted(const RunAdjustments& adjustments) override;
  void run_started(const RunConstants& constants, const ParameterSet& taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches& switches) override;

  // Told of the Auto scales and clamps a run took: the program writes them into its set.
  std::function<void(const RunAdjustments& adjustments)> on_adjusted;
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override;
  void profiles_taken(int number, const StepRecord& record, const ProfileArrays& profiles) override;
  void pulse_started(int pulse, int pulses, double time_offset_ns) override;
  void pulse_done(const PulseRecord& record) override;
  void run_ended(const RunOutcome& outcome) override;

 private:
  // The requested layout, if any, taken out (false when none).
  bool take_pending_layout(PageGeometry& page);

  PageGeometry& page_;
  std::mutex layout_lock_;
  std::optional<PageGeometry> pending_layout_;  // guarded by layout_lock_
  TitleState& title_;
  const std::string& logo_file_;
  RunObserver* also_;
};

// The services the shell uses beside the drawing operations; tests replace them.
struct ShellServices {
  KeyReader read_key = display::read_key;
  std::function<void(std::string_view title, std::string_view text)> show_message =
      display::show_message;
  std::function<void()> close_frame_window = display::close_frame_window;
  std::function<void(std::string_view document)> set_title = display::set_document_title;
  std::function<display::SaveChoice(std::string_view title, std::string_view text)> ask_to_save =
      display::ask_to_save;
  std::function<std::string(std::string_view title, std::string_view initial_path,
                            const std::vector<std::string>& filters, std::string_view suffix)>
      choose_file_to_save = display::choose_file_to_save;
};

class Application {
 public:
  // `data_directory` is where the help file and the logo are looked for after the current
  // directory (the executable's directory in the program). An observer in `run_options` is told
  // of every run after the program's view.
  explicit Application(std::filesystem::path data_directory = {}, ShellServices services = {},
                       RunOptions run_options = {});
  // Stops a running calculation and waits for it, so its result files are closed.
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // ---- the program's records ----
  SharedParameters parameters;
  ParameterFileLocation location;
  RunStateMachine run_state;
  PageGeometry page;
  TitleState title;
  ProfileArrays profiles;
  std::unique_ptr<SolverState> solver_state;
  DialogState dialogs;
  // What the runs add to the parameters (scheme, pulses, material), as the Experiment dialog
  // and the experiment files set it, and the experiment file last opened or saved (empty:
  // none).
  Experiment experiment;
  std::filesystem::path experiment_file;
  // The experiment as its file last held it (after Open experiment... or Save experiment...);
  // the plain experiment before either.
  Experiment stored_experiment;
  ExperimentDialogState experiment_dialog;
  std::filesystem::path data_directory;
  // The help file and the logo, looked up when the application is made (current directory,
  // then the data directory).
  std::string help_file;
  std::string logo_file;
  ShellServices services;

  RunView run_view;
  FileCommandContext file_commands;
  // Told on the worker once a calculation has left the program idle (set before the first
  // run; the menu greys Stop through it).
  std::function<void()> controller_idle;
  CalculationController controller;

  // ---- the experiment ----
  // Makes the experiment's setup (its trace and material read anew) and gives it to the runs
  // started from now on. Empty on success, else the refusal naming the file and line; the
  // runs then keep the setup they had.
  // A spot's single pulse: the run at the peak fluence, then (as the batch runner does) the
  // crater table <base>C.dat from runs at the spot's local fluences. A spot's train: a run at
  // every radius of the spot with their shared cooling (engine/spot_train.h), the page showing
  // the centre's, which writes the result files; then the crater table from those runs, after
  // Stop too (the pulses finished at every radius, the table saying it is not whole).
  std::string use_experiment();
  void use_setup(const RunSetup& setup);
  // Set by Stop and on closing: a spot's train ends at every radius, and the crater being
  // computed after a run ends unwritten.
  std::atomic<bool> crater_interrupt{false};

  // ---- the current file and its changes ----
  // Records the values the current parameter file holds (after a read or a write).
  void parameters_stored(const ParameterSet& stored);
  // True when the Parameter set differs from what the current file last held (with Auto
  // scaling, the scales that every run sets are not counted).
  bool parameters_changed() const;
  // The current parameter file as the user knows it: the short name or the full path.
  std::string current_file_name() const;
  // The frame's title: the current parameter file, with " *" while it has unsaved changes.
  void update_title();
  // True when the experiment differs from what its file last held (or, without a file, from the
  // plain experiment).
  bool experiment_changed() const { return !(experiment == stored_experiment); }
  // Writes the experiment through the safe save to `path`, or with an empty `path` to its
  // current file, or (with none) to a file chosen with the save chooser. Never over the
  // parameter file or the experiment's own inputs. True when written; otherwise the user was
  // told why (or cancelled the chooser).
  bool save_experiment(std::filesystem::path path = {});
  // Before the program closes: with unsaved changes of the parameters, then of the experiment,
  // asks Save / Discard / Cancel for each. True when the program may close (saved, discarded or
  // nothing to save); Cancel, or a save that fails, keeps it.
  bool confirm_close();

  // ---- the end of the program ----
  // Ends the start-up sequence's wait.
  void request_shutdown();
  // The start-up sequence's wait: returns after request_shutdown or when `stop` is requested.
  void wait_for_shutdown(std::stop_token stop = {});
  // The program is closing: a running calculation is asked to stop and waited for, so that its
  // result files are closed and its kinetics line written; run outcomes are no longer shown.
  void finish_calculation();
  bool closing() const { return closing_.load(); }

  // ---- the page's size ----
  // Set once start-up has laid out and drawn the page; size changes before are taken up by it.
  std::atomic<bool> page_ready{false};
  // The layout last asked for (by start-up, then on the GUI thread only); `page` follows it
  // when the layout is applied.
  PageGeometry requested_page;

 private:
  mutable std::mutex stored_lock_;
  ParameterSet stored_parameters_;  // what the current parameter file last held
  mutable std::mutex shutdown_lock_;
  std::condition_variable_any shutdown_signal_;
  bool shutdown_ = false;
  std::atomic<bool> closing_{false};
  // The options of every run (files, refinements), without the observer.
  RunOptions run_options_;
  // The spot's train of the run under way, kept by its maker on the worker and taken by the
  // run's end there: its runs' crater and whether they failed.
  std::mutex crater_lock_;
  std::optional<SpotTrainResult> spot_train_;
  // After a run: the crater step of a run on a spot (engine/crater.h). Empty, or what the user
  // is told: why the table was not written.
  std::string write_crater(const RunRequest& request, const SingleRun& run);
};

// The message the user is shown after a run, or empty when there is nothing to tell: a run
// refused because of its inputs, a diverged run, and every result-file error. A run that was
// kept from starting because the program was busy is silent.
std::string run_outcome_message(const RunOutcome& outcome);

// ---- the page's size ----

// GUI thread: the main window's surface has a new size (or `force`d: was made anew). Lays the
// page out for it: at once when the program is idle, after the next step of a run under way,
// or when the help or about window closes.
void relayout_page(Application& app, bool force = true);
// GUI thread: applies a layout that waits, when the program is idle.
void apply_waiting_layout(Application& app);

// ---- start-up ----

// Arranges the windows: hides the status bar, maximizes the main window in the frame and the
// frame on the screen.
void setup_windows();
// Fonts, screen size and scale, and the start-up file name. False when
// no fonts can be used: " NOT REGISTERID FONTS" is written and the program ends.
bool init_display(Application& app);
// Reads "KTparam.par" from the current directory into the Parameter set; a missing file gives
// the defaults and is written with them. A file that cannot be read is reported to the user,
// the defaults are used and the file is left as it is.
FileResult load_startup_parameters(Application& app);
// The whole start-up sequence on the program's main thread; returns when the program is
// shutting down (request_shutdown, or `stop` requested by the display layer at its end).
void startup_sequence(Application& app, std::stop_token stop = {});

}  // namespace kt
