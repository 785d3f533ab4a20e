// The one Newton update of every implicit scheme: the step of the nodal temperature rises,
// limited so that no absolute temperature changes by more than a fraction per iteration, and
// the convergence test on the relative change.
#pragma once

#include <cstddef>

namespace kt {

// What one update did.
struct NewtonUpdate {
  bool finite = true;    // false: the step held a non-finite value; nothing was applied
  double largest = 0.0;  // the largest |dx_k| / (T0' + theta_k) before the limit
  double scale = 1.0;    // the factor applied to the step (1: the full step)
  // The full step taken and no relative change above the tolerance.
  bool converged(double tolerance) const { return finite && scale == 1.0 && largest <= tolerance; }
};

// The largest fraction of an absolute temperature one update may change.
inline constexpr double kNewtonLargestChange = 0.5;

// Measures the step dx of the n rises theta (absolute temperature ambient + theta) and the
// factor that keeps it within kNewtonLargestChange; applies nothing (the caller adds
// scale * dx, with whatever rides along).
NewtonUpdate measure_newton_step(const double* theta, const double* dx, std::size_t n,
                                 double ambient);

}  // namespace kt
