// One calculation run: checks the choice fields, marks the run running, opens the temporal
// result file, tells its observer, computes the Auto scales, clamps fluence and pulse width,
// derives the run constants and the grid, runs the time loop with its
// end-of-run test and per-step output, and writes the kinetics line. The run never writes into
// its Parameter set: the scales and clamps it took are in its outcome. Units as reported: ns, K,
// cm/s, nm, mJ/cm^2. All records are passed by reference; nothing global.
#pragma once

#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "params/parameter_set.h"
#include "params/pulse_trace.h"
#include "params/run_state.h"
#include "solver/energy_ledger.h"
#include "solver/model.h"
#include "solver/result_files.h"
#include "solver/run_observer.h"
#include "solver/step_profiles.h"

namespace kt {

struct MaterialFile;

// How a run integrates the model: the published scheme (the program's results, unchanged) or
// the accurate scheme of solver/accurate_scheme.h (energy conserved, second order).
enum class Scheme { published, accurate };

// "published" or "accurate".
const char* scheme_name(Scheme scheme);
// The scheme of that name; false for any other text.
bool parse_scheme(const std::string& text, Scheme& scheme);

// The pulses a run delivers: the shape of each pulse, how many and how often, and the
// absorption of the incubated material. The default is one pulse of the parameter file's shape
// on a fresh surface with fixed absorption (the program's single run).
struct PulsePlan {
  // file: the parameter file's triangle or rectangle; gaussian: FWHM = the pulse width,
  // truncated below 1e-6 of its peak; measured: `trace`. Each delivers exactly the fluence.
  enum class Shape { file, gaussian, measured };
  Shape shape = Shape::file;
  std::shared_ptr<const PulseTrace> trace;  // with `measured`
  // A train of `pulses` pulses at `rate_hz`; each starts from the state the one before left.
  int pulses = 1;
  double rate_hz = 0.0;
  // alpha(phi) = alpha0 + (alpha_inc - alpha0) phi [1/cm]; unset: alpha0 (no incubation).
  std::optional<double> incubated_absorption;

  // True for one pulse of the parameter file's shape without incubation.
  bool is_single_file_pulse() const {
    return shape == Shape::file && pulses == 1 && !incubated_absorption;
  }
};

// "file", "gaussian" or "measured"; and the shape of that name (false for any other text).
const char* pulse_shape_name(PulsePlan::Shape shape);
bool parse_pulse_shape(const std::string& text, PulsePlan::Shape& shape);

// One pulse of a train, as the pulse table lists it.
struct PulseRecord {
  int pulse = 0;                              // 1 ... N
  double surface_temperature_before_k = 0.0;  // when the pulse starts
  double surface_fraction_before = 0.0;
  double peak_surface_temperature_k = 0.0;
  double surface_recession_nm = 0.0;  // this pulse's
  double volume_depth_nm = 0.0;       // this pulse's
  double total_depth_nm = 0.0;        // this pulse's
  double cumulative_depth_nm = 0.0;   // all pulses so far
  // The estimated error of surface_temperature_before_k from the cooling's time steps [K] (the
  // sum of the local error estimates at the surface; 0 for the first pulse).
  double cooling_error_k = 0.0;
  bool cut_short = false;  // stopped before its end: the table marks it
};

// Where and what a run writes.
class SpotTrainCooling;

struct RunOptions {
  std::filesystem::path output_directory = ".";
  // False: no temporal and no spatial files (the kinetics line is still made).
  bool write_profile_files = true;
  // False: the kinetics line is only returned in the outcome, not written to the kinetics file.
  bool append_kinetics_line = true;
  // Each time step split into this many equal sub-steps; outputs stay at the same instants
  // (1: the model's own step, results unchanged).
  int refinement = 1;
  Scheme scheme = Scheme::published;
  // Accurate scheme: every cell of the grid split into this many (1 to
  // kMaximumGridRefinement); the spatial files then list the finer nodes.
  int grid_refinement = 1;
  // Accurate scheme: 0 runs once on the grid and step above; a relative error (say 1e-3) runs
  // the model on cells and steps split in 2, 4, ... (from the grid and step above) until the
  // total depth and the peak surface temperature change by less than this from one level to the
  // next, then reports the finest level with that change as its error (RunOutcome::error). The
  // end test then also waits until the rest of the front's motion is below a quarter of it.
  double tolerance = 0.0;
  // Accurate scheme: the end test's fraction of the depth; 0 keeps the model's 0.01.
  double end_fraction = 0.0;
  // Accurate scheme: the grid extended below its last node to this many times its depth (1:
  // not extended). A run to a tolerance extends it by itself when the heat or the light reaches
  // the bottom.
  double grid_depth_factor = 1.0;
  // A train's cooling between pulses: the local error allowed per time step, relative to the
  // temperature rise; 0 keeps kCoolingTolerance (a run to a tolerance asks for less).
  double cooling_tolerance = 0.0;
  // The pulses (shape, train, incubation); the default is the parameter file's single pulse.
  PulsePlan pulse;
  // Told of the start, every output step, the spatial instants and the end; may be null.
  RunObserver* observer = nullptr;
  // When set, the run ends as by Stop after the first step at which it reads true (Ctrl-C of
  // the batch runner, sweeps, studies and the Python module).
  const std::atomic<bool>* interrupt = nullptr;
  // A material file's laws: when set, the run's c(T) and k(T) are the file's (both schemes),
  // taken relative to the parameter set's specific heat and conductivity (engine/material_setup.h
  // puts both in place). A temperature outside a table of the file ends the run as diverged,
  // with the refusal in its divergence message (no result, no kinetics line).
  std::shared_ptr<const MaterialFile> material;
  // A train's run at one radius of a focused spot: its cooling between pulses is shared with the
  // runs at the other radii (solver/spot_cooling.h); null for the 1-D cooling.
  SpotTrainCooling* spot_cooling = nullptr;
  int spot_column = 0;
};

inline constexpr int kMaximumRefinement = 64;
// A run to a tolerance deepens its grid to at most this many times the model's depth.
inline constexpr double kMaximumGridDepthFactor = 8.0;
// The largest cell splitting of the accurate scheme: the refined grid's profiles fit the profile
// arrays.
inline constexpr int kMaximumGridRefinement =
    (kProfileCapacity - kExtensionCapacity - 1) / (kNodeCount - 1);

// diverged: a value of the state became non-finite or a temperature fell to 0 K or below, the
// published scheme's bond transport broke its limit (v dt/dz1 >= 1) and its depths differ by
// more than 0.1 % from those of the same run on a time step that keeps it below, or the accurate
// scheme's step did not converge; the temporal file keeps the records of the sound steps and no
// kinetics line is written.
enum class RunEnd { not_started, end_test, step_limit, stop, diverged };

// The discretisation error of a run made to a tolerance (RunOptions::tolerance).
struct ErrorEstimate {
  bool estimated = false;  // false: no tolerance, or no second level could be run
  bool reached = false;    // both relative changes at or below the tolerance
  double tolerance = 0.0;
  double total_depth_error_nm = 0.0;
  double peak_surface_temperature_error_k = 0.0;
  int grid_refinement = 1;  // the cells and steps of the level reported
  int refinement = 1;
  // The grid's depth as a multiple of the model's (above 1: extended because the heat or the
  // light reached the bottom) and in nm.
  double grid_depth_factor = 1.0;
  double grid_depth_nm = 0.0;
  std::string shortfall;  // why the tolerance was not reached, when it was not
};

struct RunOutcome {
  RunEnd end = RunEnd::not_started;
  std::string not_started_reason;  // set when end is not_started
  bool kept_by_guard = false;      // not started: the program was not idle
  std::int32_t step_count = 0;     // step_index when the loop ended
  double diverged_time_ns = 0.0;   // the time of the step that diverged
  std::string divergence_cause;    // the likely cause, when it diverged
  // What a finished run's results should be read with: set when the published scheme's bond
  // transport passed its limit and a finer step confirmed the depths but not the velocities.
  std::string notice;
  // Ended as diverged because a node left a table of the material file: a refusal, not a
  // divergence; divergence_cause names the file, the property, the range and the temperature.
  bool material_range_refusal = false;
  // Ended as diverged because its energy ledger did not close (ledger_problem): the run did not
  // solve its model; divergence_cause says by how much.
  bool ledger_refusal = false;
  std::string kinetics_line;  // without line end
  // Stopped by RunOptions::interrupt: the kinetics line was not written to the kinetics file.
  bool interrupted = false;
  std::vector<std::string> file_errors;
  double fluence_used = 0.0;          // mJ/cm^2, after the cap
  double surface_recession_nm = 0.0;  // depth_a (surface) or depth_m (bulk)
  double volume_depth_nm = 0.0;       // f_v * bulk integral (bulk)
  double total_depth_nm = 0.0;
  double peak_surface_temperature_k = 0.0;
  double peak_front_velocity_cm_s = 0.0;
  RunAdjustments adjustments;  // the Auto scales and clamps the run took (once it started)
  // Where the light went, from the start to the last step (both schemes).
  EnergyLedger energy;
  // A train: one record per pulse delivered (empty for a single pulse). The depths above and
  // the kinetics line then hold the mean depth per pulse over the train.
  std::vector<PulseRecord> pulses;
  // Accurate scheme: the depth of the grid's last node [nm].
  double grid_depth_nm = 0.0;
  // Accurate scheme: steps that Newton could not take whole and that were split (all levels).
  long split_steps = 0;
  // With a tolerance: the error of the depths and the peak, and whether the tolerance was met.
  ErrorEstimate error;
};

// Writes a run's Auto scales and clamped values into `parameters`, as the set the run used.
void apply_run_adjustments(const RunAdjustments& adjustments, ParameterSet& parameters);

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

// The whole run, on a run state in `starting` (the caller entered it): `running` once the inputs
// are accepted, `stopping` once the loop has ended; the caller leaves it when the outcome has
// been dealt with. Takes a pending Stop request after every step. Parameter fields taken afresh
// during the run, and the run's writes back, hold parameters.lock.
RunOutcome run_calculation(SharedParameters& parameters, RunStateMachine& run_state,
                           SolverState& state, ProfileArrays& profiles,
                           const RunOptions& options = {});

// The records of a calculation that draws nothing (batch runs, sweeps, studies, fits, the Python
// module): its own run state, solver state and profiles, kept from one run to the next
// of the same worker. Another thread may call run_state.request_stop() to end the run under way
// after its step.
struct HeadlessRun {
  RunStateMachine run_state;
  std::unique_ptr<SolverState> state = std::make_unique<SolverState>();
  std::unique_ptr<ProfileArrays> profiles = std::make_unique<ProfileArrays>();

  // Not started, kept_by_guard, when a run of these records is already under way.
  RunOutcome run(SharedParameters& parameters, const RunOptions& options);
};

}  // namespace kt
