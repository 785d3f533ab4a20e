// One calculation without a window, as the batch runner and the Python module make it: a
// parameter set, or a parameter file read and checked as the program reads it, run once on
// records of its own.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "params/output_paths.h"
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

// The result files a run of `parameters` with `options` may write, each named as the run opens
// it (in the output folder): the kinetics file when it appends its line, the temporal and the
// spatial files with the profile files, a train's pulse table. What the output-path rule
// checks against the inputs before the run.
std::vector<NamedPath> run_output_files(const ParameterSet& parameters, const RunOptions& options);

// `name` in `folder`, as a user names it ("Data1K.dat" in the current folder).
std::string file_in_folder(const std::filesystem::path& folder, const std::string& name);

}  // namespace kt
