// One calculation without a window, as the batch runner and the Python module make it: a
// parameter set, or a parameter file read and checked as the program reads it, run once on
// records of its own.
#pragma once

#include <functional>
#include <string>

#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

struct SingleRun {
  // Empty when the run was made; otherwise why not: the file could not be read, or the run
  // refused its parameters (then `outcome` has not started).
  std::string error;
  RunOutcome outcome;
  ParameterSet used;  // the parameters as the run used them (Auto scales and clamps applied)
};

// Makes the run; the default runs on records of its own. A front end that draws hands in a
// run that also draws the page.
using RunMaker = std::function<RunOutcome(SharedParameters& parameters, const RunOptions& options)>;

// Runs `parameters` once.
SingleRun run_parameters(const ParameterSet& parameters, const RunOptions& options,
                         const RunMaker& make = {});

// Reads the parameter file at `path` (as the program reads it), checks its choices and runs it
// once; a refusal names the file.
SingleRun run_parameter_file(const std::string& path, const RunOptions& options,
                             const RunMaker& make = {});

}  // namespace kt
