#include "analysis/threshold.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kt {

ThresholdReport find_threshold(const ThresholdRequest& request,
                               const std::atomic<bool>& interrupt) {
  const auto start = std::chrono::steady_clock::now();
  ThresholdReport report;
  ModelRunCounter counter;
  const int jobs = std::max(1, request.jobs);
  constexpr double kLowest = 1e-3;  // mJ/cm^2: below this the search gives up

  // Runs the fluences; false (with the message set) when a run gave no number.
  auto depths_at = [&](const std::vector<double>& fluences, std::vector<double>& depths) {
    std::vector<ModelPoint> points;
    for (double f : fluences) points.push_back({&request.parameters, f});
    const std::vector<ModelPointResult> results =
        run_model_points(points, request.quantity, jobs, counter, interrupt);
    depths.clear();
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (!results[i].ok) {
        char at[64];
        std::snprintf(at, sizeof at, "the run at %.6g mJ/cm^2 failed: ", fluences[i]);
        report.message = at + results[i].problem;
        return false;
      }
      depths.push_back(results[i].depth_nm);
    }
    return true;
  };
  auto finish = [&]() -> ThresholdReport {
    report.runs = counter.runs.load();
    report.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
  };

  if (!(request.depth_nm > 0.0) || !std::isfinite(request.depth_nm)) {
    report.message = "the threshold depth must be greater than 0 nm";
    return finish();
  }
  // Bracketing: `jobs` fluences at a time, doubling up or halving down from the start.
  double f0 = static_cast<double>(request.parameters.fluence);
  if (!(f0 > 0.0)) f0 = 10.0;
  f0 = std::clamp(f0, kLowest, kMaximumModelFluence);
  std::vector<double> fluences{f0}, depths;
  if (!depths_at(fluences, depths)) return finish();
  const bool start_above = depths[0] >= request.depth_nm;
  (start_above ? report.above : report.below) = f0;
  (start_above ? report.depth_above_nm : report.depth_below_nm) = depths[0];
  double f = f0;
  while (report.below == 0.0 || report.above == 0.0) {
    fluences.clear();
    for (int j = 0; j < jobs; ++j) {
      f = start_above ? f / 2.0 : std::min(f * 2.0, kMaximumModelFluence);
      fluences.push_back(f);
      if (f == kMaximumModelFluence || f < kLowest) break;
    }
    if (!depths_at(fluences, depths)) return finish();
    for (std::size_t i = 0; i < fluences.size(); ++i) {
      const bool reached = depths[i] >= request.depth_nm;
      if (reached && !start_above) {
        report.above = fluences[i];
        report.depth_above_nm = depths[i];
        break;
      }
      if (!reached && start_above) {
        report.below = fluences[i];
        report.depth_below_nm = depths[i];
        break;
      }
      (start_above ? report.above : report.below) = fluences[i];
      (start_above ? report.depth_above_nm : report.depth_below_nm) = depths[i];
    }
    if (report.below != 0.0 && report.above != 0.0) break;
    char buffer[200];
    if (!start_above && f >= kMaximumModelFluence) {
      std::snprintf(buffer, sizeof buffer,
                    "the %s depth stays under %g nm up to the model's highest fluence, 10000 "
                    "mJ/cm^2 (%.6g nm there)",
                    depth_quantity_word(request.quantity).data(), request.depth_nm,
                    report.depth_below_nm);
      report.message = buffer;
      return finish();
    }
    if (start_above && f < kLowest) {
      std::snprintf(buffer, sizeof buffer, "the %s depth reaches %g nm even at %g mJ/cm^2",
                    depth_quantity_word(request.quantity).data(), request.depth_nm, f);
      report.message = buffer;
      return finish();
    }
  }
  // Bisection on ln F: each round `jobs` fluences evenly spaced inside the bracket.
  while ((report.above - report.below) > request.relative_tolerance * report.below) {
    const double lo = std::log(report.below), hi = std::log(report.above);
    fluences.clear();
    for (int j = 1; j <= jobs; ++j) fluences.push_back(std::exp(lo + (hi - lo) * j / (jobs + 1)));
    if (!depths_at(fluences, depths)) return finish();
    for (std::size_t i = 0; i < fluences.size(); ++i) {
      if (depths[i] >= request.depth_nm) {
        report.above = fluences[i];
        report.depth_above_nm = depths[i];
        break;
      }
      report.below = fluences[i];
      report.depth_below_nm = depths[i];
    }
    if (interrupt.load()) {
      report.message = "interrupted";
      return finish();
    }
  }
  report.fluence = std::sqrt(report.below * report.above);
  report.ok = true;
  return finish();
}

}  // namespace kt
