// One run asked for by a front end: the parameters, the experiment's setup and the run's
// options. prepare() checks them before the run (the refinements, the material's values, the
// parameters' choices) and returns the run to execute or the refusal.
#pragma once

#include <atomic>
#include <string>

#include "engine/experiment_setup.h"
#include "engine/refusal.h"
#include "engine/single_run.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

// Empty when `refinement` is a time-step refinement a run takes (1 to kMaximumRefinement),
// else the problem naming the setting.
std::string refinement_problem(int refinement);

// A prepared run: the parameters with the material's values, the options with the setup.
struct RunPlan {
  ParameterSet parameters;
  RunOptions options;
  RunMaker make;
  std::string parameter_file;

  // Runs it; `interrupt` (may be null) stops it after its current step, `observer` (may be
  // null) is told of every output step. A run that does not start names the parameter file.
  SingleRun execute(const std::atomic<bool>* interrupt = nullptr,
                    RunObserver* observer = nullptr) const;
};

struct RunRequest {
  ParameterSet parameters;  // as read or given: a material's values are put in by prepare()
  // Names the parameters in refusals ("in.par"); empty for parameters given in memory.
  std::string parameter_file;
  RunSetup setup;      // the scheme, the pulses and the material
  RunOptions options;  // files, refinements; the setup's fields are set by prepare()
  RunMaker make;       // empty: a run on records of its own

  Prepared<RunPlan> prepare() const;
};

}  // namespace kt
