// A train of pulses on a focused spot: one run per radius of the spot (each pulse
// one-dimensional at the local fluence), all running at once, their cooling between pulses shared
// and axisymmetric with the surface losses (solver/spot_cooling.h). The run at the centre may
// write the result files as a single run does; the others write nothing.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/crater.h"
#include "engine/experiment_setup.h"
#include "engine/parallel_runner.h"
#include "engine/single_run.h"

namespace kt {

struct SpotTrainRequest {
  ParameterSet parameters;    // its fluence is the peak fluence; the experiment's values in place
  RunSetup setup;             // a train (2 pulses or more) with a spot
  RunOptions centre;          // the centre's run options (files, refinement, the interrupt flag,
                              // an observer of the centre's run); the setup's applied
  int radii = 16;             // runs from the centre to the spot's reach (2 w, or 1.25 w top-hat)
  double step_growth = 1.01;  // of the cooling's time steps
  ThreadStarter start_thread;
  // Makes the centre's run (the desktop program's run, which draws the page and takes Stop);
  // empty: a run on records of its own, as at every other radius.
  RunMaker make_centre;
};

struct SpotTrainResult {
  std::string error;    // the threads could not start; a failed run is in `centre` / failure
  std::string failure;  // the cooling or a run failed (the runs ended as diverged)
  // Stopped through the centre's interrupt flag: no failure; the crater holds the pulses
  // finished at every radius (none: no crater), the centre's pulse table the pulse cut short.
  bool interrupted = false;
  RunOutcome centre;
  std::vector<double> radius_um;                 // of the runs
  std::vector<std::vector<PulseRecord>> pulses;  // [radius][pulse]
  Crater crater;                 // from the runs (no interpolation): depth against radius per pulse
  double light_uj = 0.0;         // the energy of the pulses finished at every radius
  double surface_loss_uj = 0.0;  // convection and radiation over the intervals
  double far_loss_uj = 0.0;      // through the far ends of the grid
};

SpotTrainResult run_spot_train(const SpotTrainRequest& request);

// "surface losses: ... uJ (... % of the light), ..." with the centre's temperature before each
// pulse; an interrupted train says after which pulse.
std::string spot_train_summary(const SpotTrainResult& result);

}  // namespace kt
