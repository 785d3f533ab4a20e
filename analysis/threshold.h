// The ablation threshold of a parameter set: the fluence at which the chosen depth first
// reaches a given depth, found on model runs by bracketing (doubling or halving the fluence)
// and then bisection on a log scale until the bracket is narrower than the tolerance.
#pragma once

#include <atomic>
#include <string>

#include "analysis/depth_model.h"
#include "analysis/measured_data.h"
#include "params/parameter_set.h"

namespace kt {

struct ThresholdRequest {
  ParameterSet parameters;  // its fluence is where the search starts
  double depth_nm = 1.0;
  DepthQuantity quantity = DepthQuantity::total;
  double relative_tolerance = 1e-3;  // of the fluence: (above - below) / below at the end
  int jobs = 1;                      // runs per bisection round: the bracket shrinks jobs + 1 fold
};

struct ThresholdReport {
  bool ok = false;
  std::string message;   // why not ok
  double fluence = 0.0;  // mJ/cm^2: the geometric middle of the final bracket
  double below = 0.0;    // highest fluence run whose depth stayed under depth_nm
  double above = 0.0;    // lowest fluence run whose depth reached depth_nm
  double depth_below_nm = 0.0, depth_above_nm = 0.0;
  int runs = 0;
  double wall_seconds = 0.0;
  bool model_unavailable = false;  // the model could not run at all (`message` says why)
  std::string model_name;          // the runs as the caller names them (the summary says it)
};

// Searches the threshold on `model`.
ThresholdReport find_threshold(const ThresholdRequest& request, const DepthModel& model,
                               const std::atomic<bool>& interrupt);

}  // namespace kt
