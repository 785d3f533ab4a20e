// The calculation run and its time loop: Auto scales, clamps, run constants and grid
// before the loop; per step the model steps, the end-of-run test after twice the pulse
// width, the output step (profiles, the observer, spatial and temporal files) and the Stop test;
// the kinetics line at the end. 64-bit solver arithmetic; single-precision decimals widened.
#include "solver/calculation_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "params/material_file.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "params/setting_words.h"
#include "solver/accurate_scheme.h"
#include "solver/pulse_shapes.h"
#include "solver/pulse_train.h"

namespace kt {

namespace {

// The fields a run takes afresh at every step.
struct StepSettings {
  TemporalSelection selection;
  SpatialOutput spatial_output = SpatialOutput::none;
  std::array<float, kSpatialTimeCount> spatial_times{};
  PlotCurveSwitches switches;
};

StepSettings read_step_settings(const SharedParameters& shared) {
  std::lock_guard<std::mutex> guard(shared.lock);
  const ParameterSet& p = shared.values;
  StepSettings s;
  s.selection.surface_temperature = p.output_surface_temperature;
  s.selection.ablation_velocity = p.output_ablation_velocity;
  s.selection.ablated_depth = p.output_ablated_depth;
  s.selection.broken_fraction = p.output_broken_fraction;
  s.spatial_output = p.spatial_output;
  s.spatial_times = p.spatial_times;
  s.switches.show_surface_temperature = p.show_surface_temperature;
  s.switches.show_ablation_velocity = p.show_ablation_velocity;
  s.switches.show_ablated_depth = p.show_ablated_depth;
  s.switches.show_broken_fraction = p.show_broken_fraction;
  s.switches.show_temperature_profile = p.show_temperature_profile;
  s.switches.show_fraction_profile = p.show_fraction_profile;
  return s;
}

// The files a spatial time point writes: none for a code outside the set.
SpatialOutput spatial_selection(SpatialOutput value) {
  switch (value) {
    case SpatialOutput::temperature:
    case SpatialOutput::fraction:
    case SpatialOutput::both:
      return value;
    case SpatialOutput::none:
      break;
  }
  return SpatialOutput::none;
}

// What the time loop works with, besides the records.
struct LoopContext {
  SharedParameters& parameters;
  RunStateMachine& run_state;
  SolverState& state;
  ProfileArrays& profiles;
  const RunOptions& options;
  const RunConstants& constants;
  ResultFile& temporal_file;
  RunOutcome& outcome;
  AccurateScheme* accurate = nullptr;  // set when the run takes the accurate scheme
  PublishedLedger* ledger = nullptr;   // set when it takes the published one
  PulseTrain* train = nullptr;         // set for a train of pulses
  double time_offset_ns = 0.0;         // a train: the length of the earlier pulses' runs
  double pulse_peak_k = 0.0;           // the peak surface temperature of this pulse
  double next_output_time = 0.0;
  int spatial_output_count = 0;
  // What the divergence message looks at: the surface of the last sound step, and the bond
  // transport's v dt/dz1 at the first step that broke its limit.
  double last_surface_theta = 0.0;
  double last_surface_fraction = 0.0;
  double transport_ratio = 0.0;
  // The published scheme's bond transport past its limit: the first such step, its time and
  // front velocity, the temporal file's length before it, and the highest v dt/dz1 of the run.
  // A run that breaks the limit goes on; its depths are checked at the end (check_transport).
  std::int32_t transport_step = 0;
  double transport_time_ns = 0.0;
  double transport_velocity = 0.0;
  long long transport_temporal_bytes = 0;
  double transport_peak_ratio = 0.0;
  bool transport_may_go_on = true;  // false: a breach ends the run (the check's own run)
  // Set when the run's material file has a table: its range is checked after every step.
  const MaterialFile* watched_material = nullptr;
};

// The refusal of a step that took a node of the grid outside a table of the material file.
std::string material_range_left(const LoopContext& c) {
  const RunConstants& r = c.constants;
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -lowest;
  for (int k = 1; k <= r.node_count; ++k) {
    const double temperature_k = (r.ambient + c.state.temperature_rise[k]) * r.heating_scale;
    lowest = std::min(lowest, temperature_k);
    highest = std::max(highest, temperature_k);
  }
  return material_range_refusal(*c.watched_material, lowest, highest);
}

void write_spatial_file(LoopContext& c, int number, SpatialOutput selection) {
  std::array<char, kDataFileNameLength> name{};
  {
    std::lock_guard<std::mutex> guard(c.parameters.lock);
    name = c.parameters.values.data_file_name;
  }
  std::string text;
  append_spatial_lines(text, selection, c.constants.model, c.profiles,
                       c.accurate ? c.accurate->node_count() : kNodeCount);
  write_result_file(c.options.output_directory / spatial_file_name(result_file_base(name), number),
                    ResultFile::Mode::rewrite, text, c.outcome.file_errors);
}

void output_step(LoopContext& c, const StepSettings& settings, std::string& record) {
  const RunConstants& r = c.constants;
  SolverState& s = c.state;
  if (c.accurate) {
    c.accurate->fill_profiles(c.profiles);
  } else {
    fill_profile_arrays(r, s, c.profiles);
  }
  ReportedValues reported = reported_values(r, s);
  // Spatial instants are times within the pulse; the temporal file and the observer run on.
  const float pulse_time_ns = static_cast<float>(reported.time_ns);
  reported.time_ns += c.time_offset_ns;
  const OutputValues values = output_values(reported);
  c.pulse_peak_k = std::max(c.pulse_peak_k, reported.surface_temperature_k);
  c.outcome.peak_surface_temperature_k =
      std::max(c.outcome.peak_surface_temperature_k, reported.surface_temperature_k);
  c.outcome.peak_front_velocity_cm_s =
      std::max(c.outcome.peak_front_velocity_cm_s, reported.velocity_cm_s);

  StepRecord step_record;
  if (c.options.observer) {
    step_record = StepRecord{s.step_index,
                             reported.time_ns,
                             reported.surface_temperature_k,
                             reported.velocity_cm_s,
                             reported.ablated_depth_nm,
                             reported.surface_fraction,
                             values,
                             settings.switches};
    c.options.observer->step_done(step_record, c.profiles);
  }

  // Spatial time points, in their numbering order, at most one per step.
  if (settings.spatial_output != SpatialOutput::none &&
      c.spatial_output_count <= kSpatialFileCount - 1 &&
      pulse_time_ns >= settings.spatial_times[c.spatial_output_count]) {
    c.spatial_output_count += 1;
    if (c.options.observer) {
      c.options.observer->profiles_taken(c.spatial_output_count, step_record, c.profiles);
    }
    const SpatialOutput selection = spatial_selection(settings.spatial_output);
    if (c.options.write_profile_files && selection != SpatialOutput::none) {
      write_spatial_file(c, c.spatial_output_count, selection);
    }
  }

  // Temporal record at step 1 and at the first step at or after each output time.
  const double t = static_cast<double>(s.step_index) * r.time_step;
  if (t >= c.next_output_time) {
    if (settings.selection.any() && c.temporal_file.is_open()) {
      record.clear();
      append_temporal_record(record, settings.selection, r.model, values);
      c.temporal_file.write(record);
    }
    c.next_output_time += r.output_period;
  }
}

RunEnd time_loop(LoopContext& c) {
  // The step works on a copy of the run constants of its own: no store into the state can then
  // change them, so the compiler keeps them in registers across the step's loops.
  const RunConstants r = c.constants;
  SolverState& s = c.state;
  reset_solver_state(s);
  std::string record;
  record.reserve(128);
  const int refinement = std::clamp(c.options.refinement, 1, kMaximumRefinement);
  const double surface_cell = s.depth_grid[2] - s.depth_grid[1];
  for (;;) {
    const bool ended = c.accurate ? c.accurate->take_time_step(s) : take_time_step(r, s);
    if ((c.accurate && c.accurate->failed()) || !state_is_sound(r, s)) {
      c.outcome.diverged_time_ns = reported_values(r, s).time_ns;
      return RunEnd::diverged;
    }
    if (c.watched_material != nullptr) {
      if (std::string refusal = material_range_left(c); !refusal.empty()) {
        c.outcome.diverged_time_ns = reported_values(r, s).time_ns;
        c.outcome.material_range_refusal = true;
        c.outcome.divergence_cause = std::move(refusal);
        return RunEnd::diverged;
      }
    }
    if (ended) return RunEnd::end_test;
    c.last_surface_theta = s.temperature_rise[1];
    c.last_surface_fraction = s.broken_fraction_new[1];
    if (c.ledger) {
      c.ledger->observe_step(s);
      // The explicit bond transport of the next step is stable only while v dt/dz1 < 1.
      const double ratio = s.front_velocity * r.time_step / surface_cell;
      if (r.rate_ko != 0.0 && ratio >= 1.0) {
        if (c.transport_ratio == 0.0) {
          c.transport_ratio = ratio;
          c.transport_step = s.step_index;
          c.transport_time_ns = reported_values(r, s).time_ns;
          c.transport_velocity = s.front_velocity;
          c.transport_temporal_bytes = c.temporal_file.written();
        }
        c.transport_peak_ratio = std::max(c.transport_peak_ratio, ratio);
        if (!c.transport_may_go_on) {
          c.outcome.diverged_time_ns = c.transport_time_ns;
          return RunEnd::diverged;
        }
      }
    }
    // With sub-steps, the output follows the last sub-step of each model step.
    if (s.step_index % refinement == 0) {
      const StepSettings settings = read_step_settings(c.parameters);
      output_step(c, settings, record);
    }
    for (int k = 1; k <= r.node_count; ++k) s.broken_fraction_old[k] = s.broken_fraction_new[k];
    if (s.step_index >= r.step_limit) return RunEnd::step_limit;
    if (c.run_state.take_stop_request()) return RunEnd::stop;
    if (c.options.interrupt != nullptr && c.options.interrupt->load()) return RunEnd::stop;
    s.step_index += 1;
  }
}

// The pulses of a train one after the other, each a time loop from the state the one before
// left, with the cooling between them; a single pulse is one time loop.
RunEnd run_pulses(LoopContext& c) {
  if (c.train == nullptr) return time_loop(c);
  RunEnd end = RunEnd::end_test;
  for (int k = 1; k <= c.train->pulse_count(); ++k) {
    c.train->start_pulse(k);
    c.time_offset_ns = c.train->run_time_ns();
    c.next_output_time = 0.0;
    c.spatial_output_count = 0;
    c.pulse_peak_k = 0.0;
    if (c.options.observer)
      c.options.observer->pulse_started(k, c.train->pulse_count(), c.time_offset_ns);
    end = time_loop(c);
    if (end == RunEnd::diverged) return end;
    c.train->finish_pulse(c.state, c.pulse_peak_k, c.state.step_index);
    if (end == RunEnd::stop) c.train->cut_last_pulse();
    if (c.options.observer && !c.train->records().empty())
      c.options.observer->pulse_done(c.train->records().back());
    if (end == RunEnd::stop || k == c.train->pulse_count()) return end;
    if (!c.train->cool_to_next_pulse()) {
      // Stopped from outside while waiting for a spot's other radii: a stop between pulses.
      if (c.options.interrupt != nullptr && c.options.interrupt->load()) return RunEnd::stop;
      c.outcome.diverged_time_ns = c.train->run_time_ns();
      return RunEnd::diverged;
    }
  }
  return end;
}

// The refinement factor that brings the transport number v dt/dz1 to about a half (the front
// velocity may still grow after the step that broke the limit).
int refinement_for_transport(double ratio, int refinement) {
  const double wanted = std::ceil(2.0 * ratio * static_cast<double>(refinement));
  return static_cast<int>(std::min(wanted, static_cast<double>(kMaximumRefinement)));
}

// How strongly the published heat step's surface condition feeds back on itself: the slope of
// its mu1 in theta[1] (the fixed-point sweeps amplify an error when it is above 1, whatever the
// time step).
double surface_sink_gain(const RunConstants& r, double theta, double fraction) {
  const FrontVelocity v = front_velocity_at(r, theta, fraction);
  const double ts = r.ambient + theta;
  const double ea = std::max(r.activation_ea, 0.0);
  const double ratio = r.activation_ea < 0.0 ? 0.0 : 1.0;
  const double slope = r.enthalpy_dh * ratio * v.channel_a * ea / (ts * ts) +
                       r.enthalpy_dhm * v.channel_m * r.activation_em /
                           ((fraction + static_cast<double>(1e-6f)) * ts * ts);
  const double surface_cell = static_cast<double>(0.02f);
  return surface_cell / (r.diffusivity * conductivity_factor(r.material, theta)) * slope;
}

// The likely cause of a diverged run, from what the run constants and the last state show.
std::string divergence_cause(const LoopContext& c) {
  const RunConstants& r = c.constants;
  const SolverState& s = c.state;
  if (c.accurate && c.accurate->failed()) return c.accurate->failure();
  if (c.train && !c.train->failure().empty()) return c.train->failure();
  char buffer[600];
  if (c.transport_ratio >= 1.0) {
    const int k = refinement_for_transport(c.transport_peak_ratio, c.options.refinement);
    std::snprintf(buffer, sizeof buffer,
                  "the ablation front moves %.3g surface cells per time step (v dt/dz1 = %.3g at "
                  "%.4g cm/s), and the explicit transport of the broken-bond fraction is only "
                  "stable below 1; a finer time step keeps it below (%s), or the accurate scheme "
                  "has no such limit (%s)",
                  c.transport_ratio, c.transport_ratio,
                  c.transport_velocity / (r.absorption_coefficient * kTimeUnit),
                  setting_text("refinement", std::to_string(k)).c_str(),
                  setting_text("scheme", "accurate").c_str());
    return buffer;
  }
  double hottest_k = 0.0;
  for (int k = 1; k <= r.node_count; ++k) {
    hottest_k = std::max(hottest_k, (r.ambient + s.temperature_rise[k]) * r.heating_scale);
  }
  if (std::isfinite(hottest_k) && hottest_k >= kTemperatureCeilingK && r.cell_max < 1.0) {
    std::snprintf(buffer, sizeof buffer,
                  "the temperature reached %.4g K, far beyond what the model describes for a "
                  "polymer: the absorbed energy (fluence over density times specific heat) is "
                  "not carried off by ablation; check the fluence, the density, the specific "
                  "heat and the ablation parameters",
                  hottest_k);
    return buffer;
  }
  if (r.cell_max >= 1.0) {
    std::snprintf(buffer, sizeof buffer,
                  "heat diffuses so far during the pulse that the depth grid's largest cell "
                  "(%.3g absorption lengths) is longer than one absorption length, and the "
                  "light attenuation across it turns negative; a lower absorption coefficient "
                  "or conductivity, or a shorter pulse, keeps the grid within reach, or the "
                  "accurate scheme absorbs the light of every cell exactly (%s)",
                  r.cell_max, setting_text("scheme", "accurate").c_str());
    return buffer;
  }
  if (c.accurate) {
    return "the temperature or the ablation front left the range the model describes";
  }
  const double gain = surface_sink_gain(r, c.last_surface_theta, c.last_surface_fraction);
  if (gain >= 1.0) {
    std::snprintf(buffer, sizeof buffer,
                  "the heat carried off by the ablation front swings the surface temperature: "
                  "the surface condition of the heat step feeds back with a gain of %.3g, above "
                  "1, which does not depend on the time step, so a finer step does not help; the "
                  "accurate scheme solves the surface outflow by Newton's method (%s)",
                  gain, setting_text("scheme", "accurate").c_str());
    return buffer;
  }
  return "the temperature or the ablation front ran away: the time step is too long for this "
         "pulse and material, or the heat carried off by a fast ablation front (sublimation "
         "enthalpy times pre-exponential factor) swings the surface temperature; a finer time "
         "step may carry it through (refinement factor 2, 4 or 8: " +
         setting_text("refinement", "K") + "), or the accurate scheme (" +
         setting_text("scheme", "accurate") + ")";
}

}  // namespace

namespace {

// The values the run takes: the Parameter set as it stands, with the Auto scales and the clamps
// (recorded in `adjustments`, not written back) and the model and pulse shape checked at the
// start.
ParameterSet take_run_parameters(const SharedParameters& parameters, const ParameterSet& at_start,
                                 RunAdjustments& adjustments) {
  ParameterSet p = parameters.snapshot();
  if (p.autoscale == Autoscale::automatic) {
    // The scales follow the model the run was started with.
    ParameterSet for_scales = p;
    for_scales.ablation_model = at_start.ablation_model;
    const AutoScales a = compute_auto_scales(for_scales);
    // A scale that overflowed is not taken: the set keeps one its file can hold.
    adjustments.temperature_scale_set = fits_parameter_file(a.temperature_scale);
    adjustments.velocity_scale_set = fits_parameter_file(a.velocity_scale);
    adjustments.depth_scale_set = true;
    adjustments.temperature_scale = a.temperature_scale;
    adjustments.velocity_scale = a.velocity_scale;
    adjustments.depth_scale = a.depth_scale;
    if (adjustments.temperature_scale_set) p.temperature_scale = a.temperature_scale;
    if (adjustments.velocity_scale_set) p.velocity_scale = a.velocity_scale;
    p.depth_scale = a.depth_scale;
  }
  const ParameterSet entered = p;
  apply_run_clamps(p);
  adjustments.fluence_clamped = p.fluence != entered.fluence;
  adjustments.pulse_width_clamped = p.pulse_width != entered.pulse_width;
  adjustments.fluence = p.fluence;
  adjustments.pulse_width = p.pulse_width;
  ParameterSet run_parameters = p;
  run_parameters.ablation_model = at_start.ablation_model;
  run_parameters.pulse_shape = at_start.pulse_shape;
  return run_parameters;
}

// The depths of a run in the form of `model`.
KineticsDepths run_depths(AblationModel model, const RunConstants& constants, SolverState& state) {
  KineticsDepths depths;
  if (model == AblationModel::surface) {
    depths.surface_recession_nm = depth_nm(constants, state.depth_a);
    depths.total_depth_nm = depths.surface_recession_nm;
  } else {
    // A bulk run stopped before its first end test has no volume integral yet.
    if (!state.end_test_done) compute_bulk_integral(constants, state);
    depths.surface_recession_nm = depth_nm(constants, state.depth_m);
    depths.volume_depth_nm =
        constants.volatile_fraction * state.bulk_integral * 1e7 / constants.absorption_coefficient;
    depths.total_depth_nm = depths.surface_recession_nm + depths.volume_depth_nm;
  }
  return depths;
}

RunOutcome run_once(SharedParameters& parameters, RunStateMachine& run_state, SolverState& state,
                    ProfileArrays& profiles, const RunOptions& options, bool transport_may_go_on);
RunOutcome run_to_tolerance(SharedParameters& parameters, RunStateMachine& run_state,
                            SolverState& state, ProfileArrays& profiles, const RunOptions& options);

// A published run whose bond transport broke its limit (v dt/dz1 >= 1) keeps its result when
// its depths agree within kTransportTolerance with those of the same run on the time step that
// keeps v dt/dz1 near a half (refinement_for_transport); an error that small is the scheme's own
// at its time step (0.10 % at 500 and 2000 mJ/cm^2 against 16 sub-steps). Otherwise the run
// ends as diverged at the step that broke the limit. Empty when the result stands; otherwise
// how far the depths are from the finer run's.
constexpr double kTransportTolerance = 1e-3;

std::string check_transport(LoopContext& c, const ParameterSet& run_parameters,
                            std::string& notice) {
  RunOptions finer = c.options;
  finer.refinement = refinement_for_transport(c.transport_peak_ratio, c.options.refinement);
  finer.write_profile_files = false;
  finer.append_kinetics_line = false;
  finer.observer = nullptr;
  SharedParameters shared;
  shared.values = run_parameters;
  HeadlessRun records;
  RunOutcome check;
  if (records.run_state.try_enter(RunState::starting)) {
    check = run_once(shared, records.run_state, *records.state, *records.profiles, finer, false);
    records.run_state.leave();
  }
  if (check.end != RunEnd::end_test && check.end != RunEnd::step_limit) {
    return "the same run with " + std::to_string(finer.refinement) +
           " sub-steps per step did not end normally";
  }
  const KineticsDepths depths = run_depths(
      c.constants.model == AblationModel::surface ? AblationModel::surface : AblationModel::bulk,
      c.constants, c.state);
  double worst = 0.0;
  for (const auto& [mine, finer_depth] :
       {std::pair{depths.surface_recession_nm, check.surface_recession_nm},
        std::pair{depths.total_depth_nm, check.total_depth_nm}}) {
    worst = std::max(worst, std::abs(mine - finer_depth) / std::max(std::abs(finer_depth), 1e-30));
  }
  char buffer[400];
  if (worst <= kTransportTolerance) {
    std::snprintf(buffer, sizeof buffer,
                  "the bond transport passed its limit from step %d (v dt/dz1 up to %.3g); the "
                  "depths agree within %.2g %% with a refinement of %d, but the front velocity "
                  "after that step oscillates (peak %.4g cm/s against %.4g cm/s): take that "
                  "refinement for the velocities",
                  c.transport_step, c.transport_peak_ratio, 100.0 * worst, finer.refinement,
                  c.outcome.peak_front_velocity_cm_s, check.peak_front_velocity_cm_s);
    notice = buffer;
    return {};
  }
  std::snprintf(buffer, sizeof buffer,
                "its depths differ by %.2g %% from those of the same run with %d sub-steps per "
                "step",
                100.0 * worst, finer.refinement);
  return buffer;
}

// The depths of the run into the outcome and its kinetics line, written to the kinetics file
// when the options ask for it.
void write_kinetics(SharedParameters& parameters, const RunOptions& options,
                    const RunConstants& constants, SolverState& state, const std::string& base,
                    int pulses, RunOutcome& outcome) {
  // The kinetics line, in the form of the model and the file mode as they stand now.
  AblationModel model_now{};
  KineticsFileMode kinetics_mode{};
  {
    std::lock_guard<std::mutex> guard(parameters.lock);
    model_now = parameters.values.ablation_model;
    kinetics_mode = parameters.values.kinetics_file_mode;
  }
  const AblationModel line_model =
      model_now == AblationModel::surface ? AblationModel::surface : AblationModel::bulk;
  KineticsDepths depths = run_depths(line_model, constants, state);
  if (pulses > 1) {
    // A train: the mean depth per pulse (the crater's depth over the number of pulses).
    for (double* depth :
         {&depths.surface_recession_nm, &depths.volume_depth_nm, &depths.total_depth_nm}) {
      *depth /= static_cast<double>(pulses);
    }
  }
  outcome.surface_recession_nm = depths.surface_recession_nm;
  outcome.volume_depth_nm = depths.volume_depth_nm;
  outcome.total_depth_nm = depths.total_depth_nm;
  outcome.kinetics_line = kinetics_line(line_model, constants.fluence, depths);
  if (options.append_kinetics_line) {
    write_result_file(options.output_directory / kinetics_file_name(base),
                      kinetics_mode != KineticsFileMode::rewrite ? ResultFile::Mode::append
                                                                 : ResultFile::Mode::rewrite,
                      outcome.kinetics_line + kLineEnd, outcome.file_errors);
  }
}

}  // namespace

RunOutcome run_calculation(SharedParameters& parameters, RunStateMachine& run_state,
                           SolverState& state, ProfileArrays& profiles, const RunOptions& options) {
  return run_once(parameters, run_state, state, profiles, options, true);
}

namespace {

RunOutcome run_once(SharedParameters& parameters, RunStateMachine& run_state, SolverState& state,
                    ProfileArrays& profiles, const RunOptions& options, bool transport_may_go_on) {
  RunOutcome outcome;
  ParameterSet at_start = parameters.snapshot();
  outcome.not_started_reason = check_run_choices(at_start);
  if (outcome.not_started_reason.empty() && options.grid_refinement != 1 &&
      (options.scheme != Scheme::accurate || options.grid_refinement < 1 ||
       options.grid_refinement > kMaximumGridRefinement)) {
    outcome.not_started_reason = "grid refinement is " + std::to_string(options.grid_refinement) +
                                 "; it must be from 1 to " +
                                 std::to_string(kMaximumGridRefinement) +
                                 " and above 1 only with the accurate scheme";
  }
  if (outcome.not_started_reason.empty() && options.material) {
    outcome.not_started_reason =
        material_ambient_refusal(*options.material, at_start.ambient_temperature);
  }
  if (outcome.not_started_reason.empty()) {
    outcome.not_started_reason = check_pulse_plan(
        options.pulse, options.scheme, std::max(static_cast<double>(at_start.pulse_width), 1.0),
        std::clamp(options.refinement, 1, kMaximumRefinement));
  }
  if (outcome.not_started_reason.empty() && !(options.tolerance >= 0.0)) {
    outcome.not_started_reason = "tolerance is " + std::to_string(options.tolerance) +
                                 "; it must be a relative error greater than 0, or 0 for none";
  }
  if (outcome.not_started_reason.empty() && options.tolerance > 0.0 &&
      options.scheme != Scheme::accurate) {
    outcome.not_started_reason =
        "a tolerance needs the accurate scheme: the published scheme's error is its own";
  }
  if (!outcome.not_started_reason.empty()) return outcome;
  if (options.tolerance > 0.0)
    return run_to_tolerance(parameters, run_state, state, profiles, options);
  run_state.advance(RunState::starting, RunState::running);

  // Result-file names and the temporal file.
  const std::string base = result_file_base(at_start.data_file_name);
  ResultFile temporal_file;
  TemporalSelection selection;
  selection.surface_temperature = at_start.output_surface_temperature;
  selection.ablation_velocity = at_start.output_ablation_velocity;
  selection.ablated_depth = at_start.output_ablated_depth;
  selection.broken_fraction = at_start.output_broken_fraction;
  if (selection.any() && options.write_profile_files) {
    temporal_file.open(options.output_directory / temporal_file_name(base),
                       ResultFile::Mode::rewrite, outcome.file_errors);
  }

  if (options.observer) options.observer->run_accepted();

  const ParameterSet run_parameters =
      take_run_parameters(parameters, at_start, outcome.adjustments);
  if (options.observer) options.observer->run_adjusted(outcome.adjustments);
  RunConstants constants = compute_run_constants(run_parameters);
  if (options.material) {
    // The file's laws replace the material's (relative to the set's c and kappa, its scales).
    constants.material.polyimide = false;
    constants.material.specific_heat_law = &options.material->specific_heat;
    constants.material.conductivity_law = &options.material->thermal_conductivity;
  }
  if (options.refinement > 1) {
    const int k = std::min(options.refinement, kMaximumRefinement);
    constants.time_step /= static_cast<double>(k);
    constants.step_limit *= k;
  }
  std::unique_ptr<PulseProfile> pulse_profile;
  apply_pulse_shape(options.pulse, constants, pulse_profile);
  limit_train_steps(options.pulse, constants);
  build_depth_grid(constants, state.depth_grid);
  outcome.fluence_used = constants.fluence;

  state.depth_total = 0.0;
  state.depth_a = 0.0;
  state.depth_m = 0.0;

  std::unique_ptr<AccurateScheme> accurate;
  std::unique_ptr<PublishedLedger> ledger;
  std::int32_t profile_node_count = kNodeCount;
  if (options.scheme == Scheme::accurate) {
    accurate = std::make_unique<AccurateScheme>(constants, state.depth_grid,
                                                options.grid_refinement, options.grid_depth_factor);
    profile_node_count = accurate->node_count();
    outcome.grid_depth_nm = depth_nm(constants, accurate->grid().back());
    if (options.end_fraction > 0.0) accurate->set_end_fraction(options.end_fraction);
    if (options.pulse.incubated_absorption) {
      accurate->set_incubation(*options.pulse.incubated_absorption /
                               constants.absorption_coefficient);
    }
  } else {
    ledger = std::make_unique<PublishedLedger>(constants, state.depth_grid);
  }
  LoopContext context{parameters, run_state, state,         profiles,
                      options,    constants, temporal_file, outcome};
  context.accurate = accurate.get();
  context.ledger = ledger.get();
  context.transport_may_go_on = transport_may_go_on;
  if (options.material && material_has_tables(*options.material)) {
    context.watched_material = options.material.get();
  }
  std::unique_ptr<PulseTrain> train;
  if (accurate && options.pulse.pulses > 1) {
    train = std::make_unique<PulseTrain>(constants, options.pulse, *accurate);
    if (options.cooling_tolerance > 0.0) train->set_cooling_tolerance(options.cooling_tolerance);
    if (options.spot_cooling) train->couple(options.spot_cooling, options.spot_column);
    context.train = train.get();
  }
  if (options.observer) {
    options.observer->run_started(constants, run_parameters, profile_node_count,
                                  read_step_settings(parameters).switches);
  }
  outcome.end = run_pulses(context);
  outcome.step_count = state.step_index;
  // A run past the bond transport's limit: its result stands only when a finer run confirms it.
  std::string transport_problem;
  if (context.transport_ratio != 0.0 && outcome.end != RunEnd::diverged) {
    transport_problem = outcome.end == RunEnd::stop
                            ? std::string("it was stopped before its result could be checked")
                            : check_transport(context, run_parameters, outcome.notice);
    if (!transport_problem.empty()) {
      outcome.end = RunEnd::diverged;
      outcome.step_count = context.transport_step;
      outcome.diverged_time_ns = context.transport_time_ns;
    }
  }
  run_state.advance(RunState::running, RunState::stopping);
  if (outcome.end == RunEnd::diverged && !outcome.material_range_refusal) {
    outcome.divergence_cause = divergence_cause(context);
    if (!transport_problem.empty()) outcome.divergence_cause += "; " + transport_problem;
  }
  outcome.energy = accurate ? accurate->ledger() : ledger->finish(state);
  if (accurate) outcome.split_steps = accurate->split_steps();
  if (train) outcome.energy = train->ledger(outcome.energy);
  if (outcome.end != RunEnd::diverged) {
    if (std::string problem = ledger_problem(
            outcome.energy, accurate ? kAccurateLedgerTolerance : kPublishedLedgerTolerance);
        !problem.empty()) {
      outcome.end = RunEnd::diverged;
      outcome.ledger_refusal = true;
      outcome.diverged_time_ns = reported_values(constants, state).time_ns;
      outcome.divergence_cause = std::move(problem);
    }
  }
  if (train) {
    outcome.pulses = train->records();
    if (options.write_profile_files && outcome.end != RunEnd::diverged) {
      write_result_file(options.output_directory / pulse_table_file_name(base),
                        ResultFile::Mode::rewrite, pulse_table_text(outcome.pulses),
                        outcome.file_errors);
    }
  }

  const long long temporal_bytes = temporal_file.written();
  temporal_file.close(outcome.file_errors);
  if (!transport_problem.empty() && temporal_bytes > context.transport_temporal_bytes) {
    // The records from the step that broke the limit on are not sound.
    std::error_code error;
    std::filesystem::resize_file(options.output_directory / temporal_file_name(base),
                                 static_cast<std::uintmax_t>(context.transport_temporal_bytes),
                                 error);
  }
  if (outcome.end == RunEnd::diverged) {
    if (options.observer) options.observer->run_ended(outcome);
    return outcome;
  }

  // A run interrupted from outside (Ctrl-C of the batch runner, of Python) is not a result: its
  // line is made for the outcome but not written (the program's own Stop still writes it).
  outcome.interrupted =
      outcome.end == RunEnd::stop && options.interrupt != nullptr && options.interrupt->load();
  RunOptions kinetics_options = options;
  if (outcome.interrupted) kinetics_options.append_kinetics_line = false;
  write_kinetics(parameters, kinetics_options, constants, state, base,
                 std::max(static_cast<int>(outcome.pulses.size()), 1), outcome);
  if (options.observer) options.observer->run_ended(outcome);
  return outcome;
}

// The relative change of a result between two levels (0 when both are 0).
double relative_change(double fine, double coarse) {
  const double change = std::abs(fine - coarse);
  return change == 0.0 ? 0.0 : change / std::max(std::abs(fine), std::abs(coarse));
}

// The accurate scheme to a tolerance (RunOptions::tolerance): levels of cells and steps split in
// two, each a whole run without files; the level reached once more as asked.
RunOutcome run_to_tolerance(SharedParameters& parameters, RunStateMachine& run_state,
                            SolverState& state, ProfileArrays& profiles,
                            const RunOptions& options) {
  // Level L runs on cells split in base_grid L and steps split in base_time L; its error is
  // estimated by its difference from level L/2.
  const int base_grid = std::max(options.grid_refinement, 1);
  const int base_time = std::clamp(options.refinement, 1, kMaximumRefinement);
  RunOptions quiet = options;
  quiet.tolerance = 0.0;
  quiet.observer = nullptr;
  quiet.append_kinetics_line = false;
  quiet.write_profile_files = false;
  quiet.end_fraction = std::min(static_cast<double>(0.01f), options.tolerance / 4.0);
  if (quiet.cooling_tolerance == 0.0)
    quiet.cooling_tolerance = std::min(kCoolingTolerance, options.tolerance / 10.0);
  double depth_factor = std::max(options.grid_depth_factor, 1.0);
  auto level_options = [&](int level) {
    RunOptions o = quiet;
    o.grid_refinement = base_grid * level;
    o.refinement = base_time * level;
    o.grid_depth_factor = depth_factor;
    return o;
  };
  auto finished = [](const RunOutcome& o) {
    return o.end == RunEnd::end_test || o.end == RunEnd::step_limit;
  };
  // The heat or the light reaches the grid's bottom: what leaves through it (held at the
  // ambient temperature) is more than the tolerance of the light.
  auto bottom_share = [](const RunOutcome& o) {
    return o.energy.light_in > 0.0 ? std::abs(o.energy.far_boundary) / o.energy.light_in : 0.0;
  };
  const double bottom_limit = options.tolerance;
  RunOutcome coarse = run_once(parameters, run_state, state, profiles, level_options(1), true);
  RunOutcome fine = coarse;
  ErrorEstimate estimate;
  estimate.tolerance = options.tolerance;
  long splits = coarse.split_steps;
  int level = 1;
  // Extends the grid to twice its depth and starts again from the first level; false when it
  // cannot be extended further (the reason in the estimate's shortfall).
  auto extend = [&](const RunOutcome& reaching) {
    char why[400];
    const double depth_before = reaching.grid_depth_nm;
    if (depth_factor * 2.0 <= kMaximumGridDepthFactor) {
      depth_factor *= 2.0;
      level = 1;
      coarse = run_once(parameters, run_state, state, profiles, level_options(1), true);
      splits += coarse.split_steps;
      fine = coarse;
      estimate = ErrorEstimate{};
      estimate.tolerance = options.tolerance;
      if (coarse.grid_depth_nm > depth_before) return true;
    }
    std::snprintf(why, sizeof why,
                  "%.3g %% of the light leaves through the bottom of the grid at %.4g nm (the "
                  "heat or the light reaches it), and the grid cannot be made deeper (%g times "
                  "its depth at most, %d nodes at most)",
                  100.0 * bottom_share(reaching), depth_before, kMaximumGridDepthFactor,
                  kProfileCapacity);
    estimate.shortfall = why;
    return false;
  };
  while (finished(coarse) && bottom_share(coarse) > bottom_limit) {
    if (!extend(coarse)) break;
  }
  while (estimate.shortfall.empty() && finished(coarse)) {
    if (base_grid * level * 2 > kMaximumGridRefinement ||
        base_time * level * 2 > kMaximumRefinement) {
      char why[300];
      std::snprintf(why, sizeof why,
                    "the estimated error is still above the tolerance %g with every cell split "
                    "into %d and every step into %d, the finest the run takes",
                    options.tolerance, base_grid * level, base_time * level);
      estimate.shortfall = why;
      break;
    }
    level *= 2;
    fine = run_once(parameters, run_state, state, profiles, level_options(level), true);
    splits += fine.split_steps;
    if (!finished(fine)) break;
    if (bottom_share(fine) > bottom_limit) {
      if (!extend(fine)) break;
      continue;
    }
    // The difference from the coarser level: about three times the finer level's error for a
    // second-order scheme, and still its whole error for a first-order one.
    // The front's motion after the end test adds at most end_fraction of the depth.
    estimate.total_depth_error_nm = std::abs(fine.total_depth_nm - coarse.total_depth_nm) +
                                    quiet.end_fraction * std::abs(fine.total_depth_nm);
    estimate.peak_surface_temperature_error_k =
        std::abs(fine.peak_surface_temperature_k - coarse.peak_surface_temperature_k);
    estimate.grid_refinement = base_grid * level;
    estimate.refinement = base_time * level;
    estimate.estimated = true;
    const double depth_change =
        relative_change(fine.total_depth_nm, coarse.total_depth_nm) + quiet.end_fraction;
    const double peak_change =
        relative_change(fine.peak_surface_temperature_k, coarse.peak_surface_temperature_k);
    estimate.reached = depth_change <= options.tolerance && peak_change <= options.tolerance;
    if (estimate.reached) break;
    coarse = fine;
  }
  estimate.grid_depth_factor = depth_factor;
  estimate.grid_depth_nm = fine.grid_depth_nm;
  if (!estimate.shortfall.empty()) estimate.reached = false;
  RunOutcome outcome = fine;
  if (outcome.end == RunEnd::end_test || outcome.end == RunEnd::step_limit) {
    // The chosen level once more, as asked: its files, its observer, its kinetics line.
    RunOptions final_options = level_options(level);
    final_options.observer = options.observer;
    final_options.write_profile_files = options.write_profile_files;
    final_options.append_kinetics_line = options.append_kinetics_line;
    if (options.observer != nullptr || options.write_profile_files ||
        options.append_kinetics_line) {
      outcome = run_once(parameters, run_state, state, profiles, final_options, true);
      splits += outcome.split_steps;
    }
  }
  outcome.split_steps = splits;
  outcome.error = estimate;
  return outcome;
}

}  // namespace

void apply_run_adjustments(const RunAdjustments& adjustments, ParameterSet& parameters) {
  if (adjustments.temperature_scale_set)
    parameters.temperature_scale = adjustments.temperature_scale;
  if (adjustments.velocity_scale_set) parameters.velocity_scale = adjustments.velocity_scale;
  if (adjustments.depth_scale_set) parameters.depth_scale = adjustments.depth_scale;
  if (adjustments.fluence_clamped) parameters.fluence = adjustments.fluence;
  if (adjustments.pulse_width_clamped) parameters.pulse_width = adjustments.pulse_width;
}

RunOutcome HeadlessRun::run(SharedParameters& parameters, const RunOptions& options) {
  if (!run_state.try_enter(RunState::starting)) {
    RunOutcome outcome;
    outcome.not_started_reason = "a calculation is running";
    outcome.kept_by_guard = true;
    return outcome;
  }
  RunOutcome outcome = run_calculation(parameters, run_state, *state, *profiles, options);
  run_state.leave();
  return outcome;
}

}  // namespace kt
