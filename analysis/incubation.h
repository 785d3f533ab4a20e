// The incubation law of multi-pulse thresholds: the threshold fluence after N pulses falls as
//   F_th(N) = F_th(1) N^(S - 1),
// a straight line in (ln N, ln F_th) with slope S - 1 and intercept ln F_th(1). S = 1 means no
// incubation, S < 1 a threshold that falls with the number of pulses. Fitted by weighted linear
// least squares on the logarithms (weights from the thresholds' standard errors when every one
// is given, else equal weights with the errors scaled by the reduced chi-square).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "analysis/threshold.h"

namespace kt {

struct IncubationPoint {
  double pulses = 1.0;          // N >= 1
  double threshold = 0.0;       // F_th(N), mJ/cm^2, > 0
  double standard_error = 0.0;  // its standard error (0: unknown)
};

struct IncubationFit {
  bool ok = false;
  std::string message;  // why not ok
  double s = 1.0;       // the incubation coefficient S
  double s_stderr = 0.0;
  double single_pulse_threshold = 0.0;  // F_th(1), mJ/cm^2
  double single_pulse_stderr = 0.0;
  double chi2 = 0.0;
  int dof = 0;
  bool weighted = false;
};

// Needs at least two distinct pulse numbers; refuses non-positive thresholds or N < 1.
IncubationFit fit_incubation(const std::vector<IncubationPoint>& points);

// F_th(N) on the fitted law.
double incubation_threshold(const IncubationFit& fit, double pulses);

// Thresholds at several pulse numbers and the law through them.
struct IncubationThresholds {
  std::vector<int> pulses;                  // as asked, in order
  std::vector<ThresholdReport> thresholds;  // one per pulse number searched (all, unless one
                                            // failed or the search was interrupted)
  IncubationFit fit;                        // when every threshold was found
  bool ok = false;
  std::string message;             // why not ok
  bool model_unavailable = false;  // the model could not run at all
};

// The model of N-pulse trains (its depths the mean depth per pulse of the train).
using TrainModel = std::function<DepthModel(int pulses)>;

// Finds the threshold of `request` for each pulse number on `model_of(N)`, then fits the law
// through them (equal weights: the threshold's bracket is far narrower than its departure from
// the law, so the scatter about the line measures the error of S). Stops at the first pulse
// number without a threshold.
IncubationThresholds find_incubation_thresholds(const ThresholdRequest& request,
                                                const std::vector<int>& pulses,
                                                const TrainModel& model_of,
                                                const std::atomic<bool>& interrupt);

// A few lines for the terminal: one per N, then S and F_th(1) with their errors.
std::string incubation_summary(const IncubationThresholds& result, const ThresholdRequest& request);
// {"depth_nm", "quantity", "thresholds": [{"pulses", "fluence", "below", "above", "runs"}],
//  "s", "s_stderr", "single_pulse_threshold", "single_pulse_stderr", "chi2", "dof"}; numbers
// that are not defined are null.
std::string incubation_json(const IncubationThresholds& result, const ThresholdRequest& request);

}  // namespace kt
