// The Beer-Lambert analysis of an ablation curve: the depth above threshold grows as
//   d = (1/alpha_eff) ln(F / F_th),
// a straight line in ln F whose slope is the effective absorption length 1/alpha_eff (nm) and
// whose zero is the threshold fluence F_th (mJ/cm^2). Fitted by weighted linear least squares
// on the points whose depth is at least a minimum depth.
#pragma once

#include <string>
#include <vector>

#include "analysis/measured_data.h"

namespace kt {

struct BeerLambertFit {
  bool ok = false;
  std::string message;                // why not ok
  double threshold_fluence = 0.0;     // F_th, mJ/cm^2
  double threshold_stderr = 0.0;      // NaN when the data cannot give it (two points, no sigma)
  double absorption_length_nm = 0.0;  // 1/alpha_eff
  double absorption_length_stderr = 0.0;
  double chi2 = 0.0;
  int dof = 0;
  int points_used = 0;
  double min_depth_nm = 0.0;  // the cut applied
  bool weighted = false;      // sigma of each point used
};

// Fits the points whose depth is at least `min_depth_nm`. Without `weighted` every point weighs
// the same and the standard errors are scaled by the reduced chi-square.
BeerLambertFit fit_beer_lambert(const std::vector<MeasuredPoint>& points, double min_depth_nm,
                                bool weighted);

// The fitted line's depth at `fluence` (negative below threshold).
double beer_lambert_depth(const BeerLambertFit& fit, double fluence);

}  // namespace kt
