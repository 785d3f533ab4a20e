// What a calculation run tells whoever watches it: the start with its constants and plot
// scales, every time step's reported values, the depth profiles at the spatial output instants,
// and the end. Called on the run's thread, one call at a time, in that order. The plots, the
// batch runner, sweeps and the Python module implement it; none of the calls can change the run.
#pragma once

#include <cstdint>

#include "graphics/plot_handoff.h"
#include "solver/model.h"

namespace kt {

struct RunOutcome;

// The values of one output step, in reported units (64-bit, before the files round them).
struct StepRecord {
  std::int32_t step = 0;  // the step counter of the run (sub-steps when refined)
  double time_ns = 0.0;
  double surface_temperature_k = 0.0;
  double velocity_cm_s = 0.0;
  double ablated_depth_nm = 0.0;  // recession: channel A (surface model) or M (bulk model)
  double surface_fraction = 0.0;
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Once, after the run constants and plot scales are known and before the first step.
  virtual void run_started(const RunConstants& constants, const PlotScaleSet& scales) {
    (void)constants;
    (void)scales;
  }
  // After every time step that reaches its output (every step at refinement 1).
  virtual void step_done(const StepRecord& record) { (void)record; }
  // At each spatial output instant (number 1 to 10), with the profiles of that step.
  virtual void profiles_taken(int number, const StepRecord& record, const ProfileArrays& profiles) {
    (void)number;
    (void)record;
    (void)profiles;
  }
  // Once, when the run has ended (not called for a run that was refused before its start).
  virtual void run_ended(const RunOutcome& outcome) { (void)outcome; }
};

}  // namespace kt
