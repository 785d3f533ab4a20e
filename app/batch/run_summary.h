// What the batch runner prints after a run or a sweep: every number with its name and unit for
// a reader, or (with --json) one JSON document for a script. The result files are not touched.
#pragma once

#include <string>

#include "engine/crater.h"
#include "engine/spot_train.h"
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

// What a run on a spot adds to its summary.
struct SpotSummary {
  const Crater* crater = nullptr;  // the crater made (an interrupted train's: partial), or null
  std::string crater_file;         // where its table was written; empty: not written
  std::string crater_problem;      // why there is no crater
  const SpotTrainResult* train = nullptr;  // a spot's train: where the light went
  bool active() const { return crater != nullptr || !crater_problem.empty() || train != nullptr; }
};

// With a spot: "crater" (the crater table's numbers with their units, null when none was made,
// with "crater_problem" saying why) and, for a train, "spot_train".
std::string run_summary_json(const std::string& parameter_file, const RunOutcome& outcome,
                             const ParameterSet& parameters, const SpotSummary& spot = {});

// One labelled line per finished run of a sweep.
std::string sweep_summary_text(const SweepResult& result);
// The runs of a sweep (the columns of its CSV table, by the same names), the kinetics file, how
// the sweep ended and, when given as JSON text, the Beer-Lambert analysis.
std::string sweep_summary_json(const SweepResult& result, const std::string& beer_lambert_json);

}  // namespace kt::batch
