// One calculation run: checks the choice fields, sets the run flags, opens the temporal result
// file, draws the title page, computes the Auto scales, clamps fluence and pulse width, derives
// the run constants and the grid, fills the plot scale set, runs the time loop with its
// end-of-run test and per-step output, and writes the kinetics line. Units as reported: ns, K,
// cm/s, nm, mJ/cm^2. All records are passed by reference; nothing global.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "graphics/plot_handoff.h"
#include "params/parameter_set.h"
#include "solver/model.h"
#include "solver/result_files.h"
#include "solver/run_observer.h"

namespace kt {

// Where and what a run writes.
struct RunOptions {
  std::filesystem::path output_directory = ".";
  // False: no temporal and no spatial files (the kinetics line is still made).
  bool write_profile_files = true;
  // False: the kinetics line is only returned in the outcome, not written to the kinetics file.
  bool append_kinetics_line = true;
  // Each time step split into this many equal sub-steps; outputs stay at the same instants
  // (1: the model's own step, results unchanged).
  int refinement = 1;
  // Told of the start, every output step, the spatial instants and the end; may be null.
  RunObserver* observer = nullptr;
};

inline constexpr int kMaximumRefinement = 64;

// diverged: a value of the state became non-finite or a temperature fell to 0 K or below; the
// temporal file keeps the records of the sound steps and no kinetics line is written.
enum class RunEnd { not_started, end_test, step_limit, stop, diverged };

struct RunOutcome {
  RunEnd end = RunEnd::not_started;
  std::string not_started_reason;  // set when end is not_started
  bool kept_by_guard = false;      // not started: help, about or another run was under way
  std::int32_t step_count = 0;     // step_index when the loop ended
  double diverged_time_ns = 0.0;   // the time of the step that diverged
  std::string divergence_cause;    // the likely cause, when it diverged
  std::string kinetics_line;       // without line end
  std::vector<std::string> file_errors;
  double fluence_used = 0.0;          // mJ/cm^2, after the cap
  double surface_recession_nm = 0.0;  // depth_a (surface) or depth_m (bulk)
  double volume_depth_nm = 0.0;       // f_v * bulk integral (bulk)
  double total_depth_nm = 0.0;
  double peak_surface_temperature_k = 0.0;
  double peak_front_velocity_cm_s = 0.0;
};

// Empty when the run may start; otherwise which field holds which value, e.g.
// "ablation_model is 3; it must be 1 or 2" or "Fluence [mJ/cm^2] is -50; it must be greater
// than 0". Checks the choices, then the physical ranges.
std::string check_run_choices(const ParameterSet& parameters);

// "the calculation diverged at step N (t = T ns): ..." with the likely cause and the remedy.
std::string divergence_message(const RunOutcome& outcome);

// "end test", "step limit", "stopped", "diverged" or "not started".
const char* run_end_text(RunEnd end);

// The Auto graph scales from the entered parameters (fluence before the cap).
struct AutoScales {
  double maximum_temperature_k = 0.0;  // Tmax
  double band_factor = 0.0;            // f
  float temperature_scale = 0.0f;
  float velocity_scale = 0.0f;
  float depth_scale = 0.0f;
};
AutoScales compute_auto_scales(const ParameterSet& parameters);

// The plot scale set from the Parameter set's scales (after the Auto scales).
void fill_plot_scales(const ParameterSet& parameters, PlotScaleSet& scales);

// The curves argument of the spatial plot: Tz + 2 Fz in the bulk model, Tz in the surface one.
std::int32_t spatial_curves(AblationModel model, const PlotCurveSwitches& switches);

// The whole run. Honours and clears stop_request after every step; sets and clears
// calculation_running and run_active. Parameter fields taken afresh during the run, and the
// run's writes back, hold parameters.lock.
RunOutcome run_calculation(SharedParameters& parameters, GuardFlags& flags, SolverState& state,
                           PlotScaleSet& scales, ProfileArrays& profiles, PlotSink& sink,
                           const RunOptions& options = {});

// The records of a calculation that draws nothing (batch runs, sweeps, studies, fits, the Python
// module): its own flags, state, profiles and scales, kept from one run to the next of the same
// worker. Another thread may set flags.stop_request to end the run under way after its step.
struct HeadlessRun {
  GuardFlags flags;
  std::unique_ptr<SolverState> state = std::make_unique<SolverState>();
  std::unique_ptr<ProfileArrays> profiles = std::make_unique<ProfileArrays>();
  PlotScaleSet scales;

  RunOutcome run(SharedParameters& parameters, const RunOptions& options) {
    NullPlotSink sink;
    return run_calculation(parameters, flags, *state, scales, *profiles, sink, options);
  }
};

// The worker thread's body: runs the calculation when neither help nor about is shown and no
// calculation is marked running; otherwise returns a not-started outcome at once.
RunOutcome calculation_entry(SharedParameters& parameters, GuardFlags& flags, SolverState& state,
                             PlotScaleSet& scales, ProfileArrays& profiles, PlotSink& sink,
                             const RunOptions& options = {});

}  // namespace kt
