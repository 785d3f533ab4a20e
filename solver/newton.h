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

// Whether the iterate is within tolerance of the solution after two full updates in a row of
// relative sizes previous and change (0 for previous: no full update before). Their ratio
// bounds the contraction q of the iteration, so the updates still to come sum to at most
// q / (1 - q) change; Newton's quadratic convergence makes the bound conservative. An
// iteration that contracts by 1e-4 from a change of 1e-8 stops there, instead of taking one
// more update of about 1e-16 to see it. Only a change within kNewtonSettleReach tolerances is
// judged so: farther from the solution the ratio of two updates says little about the next
// (a stiff front's iteration may contract once by chance and then grow again).
inline constexpr double kNewtonSettleReach = 1e3;
bool newton_settled(double change, double previous, double tolerance);

}  // namespace kt
