// Model runs for the analyses: one calculation per (parameters, fluence), run on a few threads
// without files, each with its own records. A run that diverges is run again with the time
// step split into 4, then 16 sub-steps; a run that still fails, or is refused, is reported as
// failed, never as a number.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "analysis/measured_data.h"
#include "params/parameter_set.h"

namespace kt {

struct ModelPoint {
  const ParameterSet* parameters = nullptr;  // not owned; must outlive the call
  double fluence = 0.0;                      // mJ/cm^2
};

struct ModelPointResult {
  bool ok = false;
  double depth_nm = 0.0;  // the chosen depth; meaningful only when ok
  int refinement = 1;     // the sub-steps per step of the run that counted
  std::string problem;    // why not ok: the refusal, the divergence, or "interrupted"
};

// Counts of the runs made, shared by the calls of one analysis.
struct ModelRunCounter {
  std::atomic<int> runs{0};     // calculations started, retries included
  std::atomic<int> retries{0};  // runs repeated with a smaller step
  std::atomic<int> failed{0};   // points that gave no number
};

// Runs every point on up to `jobs` threads; results in the order of `points`. Points not yet
// started when `interrupt` is set are reported as failed with the problem "interrupted".
std::vector<ModelPointResult> run_model_points(const std::vector<ModelPoint>& points,
                                               DepthQuantity quantity, int jobs,
                                               ModelRunCounter& counter,
                                               const std::atomic<bool>& interrupt);

}  // namespace kt
