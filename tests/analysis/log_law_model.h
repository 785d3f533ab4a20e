// A cheap analytic stand-in for the calculation, for the tests of the analyses: a log-law
// ablation curve whose slope and threshold are set by two fields.
#pragma once

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/depth_model.h"

namespace kt::test {

// depth = L ln(F / F_th) above F_th, 0 below, with the length L = 1e7 / screening_coefficient
// nm (1/cm to nm) and the threshold F_th = 30 * Em / 0.7 mJ/cm^2. Any other field has no
// effect. A set with absorption_coefficient above 1e6 fails at every point, as a calculation
// that diverges would.
inline ModelPointResult log_law(const ParameterSet& p, double fluence) {
  ModelPointResult result;
  if (p.absorption_coefficient > 1e6f) {
    result.problem = "the calculation diverged";
    return result;
  }
  const double length_nm = 1e7 / static_cast<double>(p.screening_coefficient);
  const double threshold = 30.0 * static_cast<double>(p.activation_energy_em) / 0.7;
  result.ok = true;
  result.depth_nm = fluence > threshold ? length_nm * std::log(fluence / threshold) : 0.0;
  return result;
}

// The log law as a model, counting its points as runs; `error` makes every batch fail whole.
inline DepthModel analytic_model(const std::string& error = {}) {
  return [error](const std::vector<ModelPoint>& points, DepthQuantity, int,
                 ModelRunCounter& counter, const std::atomic<bool>& interrupt) {
    ModelBatch batch;
    if (!error.empty()) {
      batch.error = error;
      return batch;
    }
    for (const ModelPoint& point : points) {
      if (interrupt.load()) {
        batch.results.push_back({false, 0.0, 1, "interrupted"});
        continue;
      }
      counter.runs.fetch_add(1);
      batch.results.push_back(log_law(*point.parameters, point.fluence));
      if (!batch.results.back().ok) counter.failed.fetch_add(1);
    }
    return batch;
  };
}

}  // namespace kt::test
