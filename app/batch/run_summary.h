// What the batch runner prints after a run or a sweep: every number with its name and unit for
// a reader, or (with --json) one JSON document for a script. The result files are not touched.
#pragma once

#include <string>

#include "engine/sweep.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt::batch {

// A run: how it ended, the depths, the peaks, the kinetics file and the scales it used, one
// labelled line each.
std::string run_summary_text(const RunOutcome& outcome, const ParameterSet& parameters);
// A run made to a tolerance: the estimated errors and whether the tolerance was reached (and
// why not), one labelled line each.
std::string run_error_text(const RunOutcome& outcome);
std::string run_summary_json(const std::string& parameter_file, const RunOutcome& outcome,
                             const ParameterSet& parameters);

// One labelled line per finished run of a sweep.
std::string sweep_summary_text(const SweepResult& result);
// The runs of a sweep (the columns of its CSV table, by the same names), the kinetics file, how
// the sweep ended and, when given as JSON text, the Beer-Lambert analysis.
std::string sweep_summary_json(const SweepResult& result, const std::string& beer_lambert_json);

}  // namespace kt::batch
