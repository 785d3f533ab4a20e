// What a calculation run tells whoever watches it: that it accepted its inputs, the start with
// its constants and the Parameter set it took, every output step's values and profiles, the depth
// profiles at the spatial output instants, and the end. Called on the run's thread, one call at a
// time, in that order. The program's plots, studies, the Python module and the tests implement it;
// none of the calls can change the run.
#pragma once

#include <cstdint>

#include "params/parameter_set.h"
#include "solver/model.h"
#include "solver/result_files.h"
#include "solver/step_profiles.h"

namespace kt {

struct RunOutcome;
struct PulseRecord;

// The values of one output step, in reported units (64-bit, before the files round them).
struct StepRecord {
  std::int32_t step = 0;  // the step counter of the run (sub-steps when refined)
  double time_ns = 0.0;
  double surface_temperature_k = 0.0;
  double velocity_cm_s = 0.0;
  double ablated_depth_nm = 0.0;  // recession: channel A (surface model) or M (bulk model)
  double surface_fraction = 0.0;
  // The same values in single precision, as the temporal file prints and the plots draw them.
  OutputValues shown;
  // The curve switches of the Parameter set, as the run read them for this step.
  PlotCurveSwitches switches;
};

// What a run took in place of the values entered, which it does not write into its input: with
// Auto on, the scales it set (each only when a parameter file can hold it), and the fluence and
// pulse width after the clamps. The desktop program writes them into its Parameter set
// (apply_run_adjustments) as the run starts.
struct RunAdjustments {
  bool temperature_scale_set = false, velocity_scale_set = false, depth_scale_set = false;
  float temperature_scale = 0.0f, velocity_scale = 0.0f, depth_scale = 0.0f;
  bool fluence_clamped = false, pulse_width_clamped = false;
  float fluence = 0.0f, pulse_width = 0.0f;  // mJ/cm^2, ns, as the run took them
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Once, when the run has accepted its inputs and opened its temporal file, before its scales
  // are computed.
  virtual void run_accepted() {}
  // Once, after run_accepted, with the scales and clamps the run took in place of the values
  // entered.
  virtual void run_adjusted(const RunAdjustments& adjustments) { (void)adjustments; }
  // Once, after the run constants are known and before the first step: the Parameter set as the
  // run took it (Auto scales and clamps applied, the model and pulse shape of the start), the
  // number of nodes its profiles fill, and the curve switches as they stand then. Whoever draws
  // the run makes its axes from these.
  virtual void run_started(const RunConstants& constants, const ParameterSet& taken,
                           std::int32_t profile_node_count, const PlotCurveSwitches& switches) {
    (void)constants;
    (void)taken;
    (void)profile_node_count;
    (void)switches;
  }
  // After every time step that reaches its output (every step at refinement 1), with the
  // profiles of that step.
  virtual void step_done(const StepRecord& record, const ProfileArrays& profiles) {
    (void)record;
    (void)profiles;
  }
  // At each spatial output instant (number 1 to 10), with the profiles of that step.
  virtual void profiles_taken(int number, const StepRecord& record, const ProfileArrays& profiles) {
    (void)number;
    (void)record;
    (void)profiles;
  }
  // A train (two pulses or more): before pulse `pulse` of `pulses` starts, with the length of
  // the earlier pulses' runs [ns] (the step records' time runs on over them).
  virtual void pulse_started(int pulse, int pulses, double time_offset_ns) {
    (void)pulse;
    (void)pulses;
    (void)time_offset_ns;
  }
  // A train: after each pulse delivered (a pulse cut short by Stop too), with its record as the
  // pulse table lists it.
  virtual void pulse_done(const PulseRecord& record) { (void)record; }
  // Once, when the run has ended (not called for a run that was refused before its start).
  virtual void run_ended(const RunOutcome& outcome) { (void)outcome; }
};

}  // namespace kt
