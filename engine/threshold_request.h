// The ablation threshold on the calculation, as a front end asks for it: at one pulse plan, or
// at several pulse numbers with the incubation law through them. prepare() checks the
// material's values and the parameters before any run (the search itself refuses a depth it
// cannot look for) and returns the search to execute or the refusal.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "analysis/incubation.h"
#include "analysis/threshold.h"
#include "engine/experiment_setup.h"
#include "engine/refusal.h"

namespace kt {

// A prepared threshold search.
struct ModelThresholdPlan {
  ThresholdRequest request;  // the parameters with the material's values, the threads capped
  std::vector<int> pulses;   // the pulse number of each setup (a series: two or more)
  std::vector<RunSetup> setups;
  // The model of each pulse number: the calculation with its setup (a test may hand in
  // another).
  TrainModel models;

  bool series() const { return setups.size() > 1; }
  // The threshold of the first (the only) setup.
  ThresholdReport execute(const std::atomic<bool>& interrupt) const;
  // The thresholds of every setup and the incubation law through them.
  IncubationThresholds execute_series(const std::atomic<bool>& interrupt) const;
};

struct ModelThresholdRequest {
  ParameterSet parameters;  // its fluence is where the search starts
  // Names the parameters in refusals ("in.par"); empty for parameters given in memory.
  std::string parameter_file;
  // One setup per pulse number (the material is the first's); `pulses` their pulse numbers,
  // empty for a single threshold.
  std::vector<RunSetup> setups;
  std::vector<int> pulses;
  double depth_nm = 1.0;
  DepthQuantity quantity = DepthQuantity::total;
  int jobs = 0;  // runs of one round; 0: one per core

  Prepared<ModelThresholdPlan> prepare() const;
};

}  // namespace kt
