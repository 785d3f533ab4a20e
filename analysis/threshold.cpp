#include "analysis/threshold.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kt {

namespace {

constexpr double kLowest = 1e-3;  // mJ/cm^2: below this the search gives up

// One threshold search: bracketing, then bisection, sharing the request, the report and the run
// counter.
class ThresholdSearch {
 public:
  ThresholdSearch(const ThresholdRequest& request, const DepthModel& model,
                  const std::atomic<bool>& interrupt)
      : request_(request), model_(model), interrupt_(interrupt), jobs_(std::max(1, request.jobs)) {}

  ThresholdReport run() {
    if (!(request_.depth_nm > 0.0) || !std::isfinite(request_.depth_nm)) {
      report_.message = "the threshold depth must be greater than 0 nm";
      return finish();
    }
    if (!bracket() || !bisect()) return finish();
    report_.fluence = std::sqrt(report_.below * report_.above);
    report_.ok = true;
    return finish();
  }

 private:
  ThresholdReport finish() {
    report_.runs = counter_.runs.load();
    report_.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return report_;
  }

  bool depths_at(const std::vector<double>& fluences, std::vector<double>& depths);
  bool bracket();
  bool bracket_failed(bool start_above, double f);
  bool bisect();

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  const ThresholdRequest& request_;
  const DepthModel& model_;
  const std::atomic<bool>& interrupt_;
  const int jobs_;
  ThresholdReport report_;
  ModelRunCounter counter_;
};

// Runs the fluences; false (with the message set) when a run gave no number.
bool ThresholdSearch::depths_at(const std::vector<double>& fluences, std::vector<double>& depths) {
  std::vector<ModelPoint> points;
  for (double f : fluences) points.push_back({&request_.parameters, f});
  const ModelBatch batch = model_(points, request_.quantity, jobs_, counter_, interrupt_);
  if (!batch.error.empty()) {
    report_.message = batch.error;
    report_.model_unavailable = true;
    return false;
  }
  const std::vector<ModelPointResult>& results = batch.results;
  depths.clear();
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (!results[i].ok) {
      char at[64];
      std::snprintf(at, sizeof at, "the run at %.6g mJ/cm^2 failed: ", fluences[i]);
      report_.message = at + results[i].problem;
      return false;
    }
    depths.push_back(results[i].depth_nm);
  }
  return true;
}

// Bracketing: `jobs` fluences at a time, doubling up or halving down from the start; false (with
// the message set) when no bracket is found.
bool ThresholdSearch::bracket() {
  double f0 = static_cast<double>(request_.parameters.fluence);
  if (!(f0 > 0.0)) f0 = 10.0;
  f0 = std::clamp(f0, kLowest, kMaximumModelFluence);
  std::vector<double> fluences{f0}, depths;
  if (!depths_at(fluences, depths)) return false;
  const bool start_above = depths[0] >= request_.depth_nm;
  (start_above ? report_.above : report_.below) = f0;
  (start_above ? report_.depth_above_nm : report_.depth_below_nm) = depths[0];
  double f = f0;
  while (report_.below == 0.0 || report_.above == 0.0) {
    fluences.clear();
    for (int j = 0; j < jobs_; ++j) {
      f = start_above ? f / 2.0 : std::min(f * 2.0, kMaximumModelFluence);
      fluences.push_back(f);
      if (f == kMaximumModelFluence || f < kLowest) break;
    }
    if (!depths_at(fluences, depths)) return false;
    for (std::size_t i = 0; i < fluences.size(); ++i) {
      const bool reached = depths[i] >= request_.depth_nm;
      if (reached && !start_above) {
        report_.above = fluences[i];
        report_.depth_above_nm = depths[i];
        break;
      }
      if (!reached && start_above) {
        report_.below = fluences[i];
        report_.depth_below_nm = depths[i];
        break;
      }
      (start_above ? report_.above : report_.below) = fluences[i];
      (start_above ? report_.depth_above_nm : report_.depth_below_nm) = depths[i];
    }
    if (report_.below != 0.0 && report_.above != 0.0) break;
    if (bracket_failed(start_above, f)) return false;
  }
  return true;
}

// True (with the message set) when the search has run out of fluences at f.
bool ThresholdSearch::bracket_failed(bool start_above, double f) {
  char buffer[200];
  if (!start_above && f >= kMaximumModelFluence) {
    std::snprintf(buffer, sizeof buffer,
                  "the %s depth stays under %g nm up to the model's highest fluence, 10000 "
                  "mJ/cm^2 (%.6g nm there)",
                  depth_quantity_word(request_.quantity).data(), request_.depth_nm,
                  report_.depth_below_nm);
    report_.message = buffer;
    return true;
  }
  if (start_above && f < kLowest) {
    std::snprintf(buffer, sizeof buffer, "the %s depth reaches %g nm even at %g mJ/cm^2",
                  depth_quantity_word(request_.quantity).data(), request_.depth_nm, f);
    report_.message = buffer;
    return true;
  }
  return false;
}

// Bisection on ln F: each round `jobs` fluences evenly spaced inside the bracket; false (with the
// message set) when a run fails or the search is interrupted.
bool ThresholdSearch::bisect() {
  std::vector<double> fluences, depths;
  while ((report_.above - report_.below) > request_.relative_tolerance * report_.below) {
    const double lo = std::log(report_.below), hi = std::log(report_.above);
    fluences.clear();
    for (int j = 1; j <= jobs_; ++j) fluences.push_back(std::exp(lo + (hi - lo) * j / (jobs_ + 1)));
    if (!depths_at(fluences, depths)) return false;
    for (std::size_t i = 0; i < fluences.size(); ++i) {
      if (depths[i] >= request_.depth_nm) {
        report_.above = fluences[i];
        report_.depth_above_nm = depths[i];
        break;
      }
      report_.below = fluences[i];
      report_.depth_below_nm = depths[i];
    }
    if (interrupt_.load()) {
      report_.message = "interrupted";
      return false;
    }
  }
  return true;
}

}  // namespace

ThresholdReport find_threshold(const ThresholdRequest& request, const DepthModel& model,
                               const std::atomic<bool>& interrupt) {
  return ThresholdSearch(request, model, interrupt).run();
}

}  // namespace kt
