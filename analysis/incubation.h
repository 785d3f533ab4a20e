// The incubation law of multi-pulse thresholds: the threshold fluence after N pulses falls as
//   F_th(N) = F_th(1) N^(S - 1),
// a straight line in (ln N, ln F_th) with slope S - 1 and intercept ln F_th(1). S = 1 means no
// incubation, S < 1 a threshold that falls with the number of pulses. Fitted by weighted linear
// least squares on the logarithms (weights from the thresholds' standard errors when every one
// is given, else equal weights with the errors scaled by the reduced chi-square).
#pragma once

#include <string>
#include <vector>

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

}  // namespace kt
