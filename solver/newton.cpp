// The limited Newton update (see newton.h).
#include "solver/newton.h"

#include <cmath>

namespace kt {

NewtonUpdate measure_newton_step(const double* theta, const double* dx, std::size_t n,
                                 double ambient) {
  NewtonUpdate u;
  for (std::size_t i = 0; i < n; ++i) {
    const double change = std::abs(dx[i]) / (ambient + theta[i]);
    if (!std::isfinite(change)) {
      u.finite = false;
      u.largest = change;
      return u;
    }
    if (change > u.largest) u.largest = change;
  }
  if (u.largest > kNewtonLargestChange) u.scale = kNewtonLargestChange / u.largest;
  return u;
}

bool newton_settled(double change, double previous, double tolerance) {
  if (!(previous > 0.0) || !(change < previous)) return false;
  if (change > kNewtonSettleReach * tolerance) return false;
  const double contraction = change / previous;
  return contraction / (1.0 - contraction) * change <= tolerance;
}

}  // namespace kt
