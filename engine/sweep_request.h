// A fluence sweep asked for by a front end: the parameters, the fluences and how every run is
// made. prepare() checks it all before any run (the refinement, the material's values, the
// data-file name, every fluence) and returns the sweep to execute or the refusal.
#pragma once

#include <atomic>
#include <string>

#include "engine/refusal.h"
#include "engine/sweep.h"
#include "params/parameter_set.h"

namespace kt {

// A prepared sweep: the parameters with the material's values, the options with the threads
// capped.
struct SweepPlan {
  ParameterSet parameters;
  SweepOptions options;

  // The result columns of its table (a train adds its own; `energy` the ledger's).
  ResultColumnSet columns(bool energy = false) const;
  SweepResult execute(const std::atomic<bool>& interrupt, const SweepProgress& progress = {}) const;
};

struct SweepRequest {
  ParameterSet parameters;  // as read or given: a material's values are put in by prepare()
  // Names the parameters in refusals ("in.par"); empty for parameters given in memory.
  std::string parameter_file;
  SweepOptions options;  // fluences, threads (0: one per core), refinement, setup, files

  Prepared<SweepPlan> prepare() const;
};

}  // namespace kt
