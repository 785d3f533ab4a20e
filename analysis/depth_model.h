// The model an analysis asks for depths: a batch of (parameters, fluence) points in, one depth
// (or the reason there is none) per point out. The fit and the threshold search work on any
// such model; the engine layer supplies the calculation itself, tests a cheap formula.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "analysis/measured_data.h"
#include "params/parameter_set.h"

namespace kt {

struct ModelPoint {
  const ParameterSet* parameters = nullptr;  // not owned; must outlive the call
  double fluence = 0.0;                      // mJ/cm^2
  int pulses = 0;                            // the pulses of the run; 0: the model's own
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

// What the model gave for a batch: one result per point, in the order of the points; or, when
// the batch could not be run at all (e.g. its threads could not be started), the reason and no
// results.
struct ModelBatch {
  std::vector<ModelPointResult> results;
  std::string error;
};

// Runs every point, up to `jobs` at once. Points not yet started when `interrupt` is set are
// reported as failed with the problem "interrupted".
using DepthModel = std::function<ModelBatch(
    const std::vector<ModelPoint>& points, DepthQuantity quantity, int jobs,
    ModelRunCounter& counter, const std::atomic<bool>& interrupt)>;

}  // namespace kt
