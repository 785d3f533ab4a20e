#include "analysis/beer_lambert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>

namespace kt {

BeerLambertFit fit_beer_lambert(const std::vector<MeasuredPoint>& points, double min_depth_nm,
                                bool weighted) {
  BeerLambertFit fit;
  fit.min_depth_nm = min_depth_nm;
  fit.weighted = weighted;
  std::vector<MeasuredPoint> used;
  std::set<double> fluences;
  for (const MeasuredPoint& p : points) {
    if (p.depth_nm >= min_depth_nm && p.fluence > 0.0) {
      used.push_back(p);
      fluences.insert(p.fluence);
    }
  }
  fit.points_used = static_cast<int>(used.size());
  if (fluences.size() < 2) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer,
                  "the Beer-Lambert fit needs points at two or more fluences with a depth of at "
                  "least %g nm; %d point(s) qualify",
                  min_depth_nm, fit.points_used);
    fit.message = buffer;
    return fit;
  }
  // Depths near the largest double are fitted divided by the largest of them, so that the sums
  // do not overflow; the results are scaled back. Other depths are fitted as they are.
  double depth_unit = 0.0, lowest = used.front().depth_nm, highest = lowest;
  for (const MeasuredPoint& p : used) {
    depth_unit = std::max(depth_unit, std::fabs(p.depth_nm));
    lowest = std::min(lowest, p.depth_nm);
    highest = std::max(highest, p.depth_nm);
  }
  const char* const no_growth =
      "the depth does not grow with fluence over the points used, so they give no threshold";
  // Flat data give no line, whatever the round-off of the sums makes of them.
  if (!(highest - lowest > 1e-9 * depth_unit)) {
    fit.message = no_growth;
    return fit;
  }
  depth_unit = depth_unit > 1e100 ? depth_unit : 1.0;
  std::vector<MeasuredPoint> scaled = used;
  for (MeasuredPoint& p : scaled) {
    p.depth_nm /= depth_unit;
    p.sigma_nm /= depth_unit;
  }
  used.swap(scaled);
  // d = a x + c with x = ln F - (weighted mean of ln F): a and c are then uncorrelated.
  double sw = 0.0, swx = 0.0;
  for (const MeasuredPoint& p : used) {
    const double w = weighted ? 1.0 / (p.sigma_nm * p.sigma_nm) : 1.0;
    sw += w;
    swx += w * std::log(p.fluence);
  }
  const double mean_x = swx / sw;
  double sxx = 0.0, sxd = 0.0, sd = 0.0;
  for (const MeasuredPoint& p : used) {
    const double w = weighted ? 1.0 / (p.sigma_nm * p.sigma_nm) : 1.0;
    const double x = std::log(p.fluence) - mean_x;
    sxx += w * x * x;
    sxd += w * x * p.depth_nm;
    sd += w * p.depth_nm;
  }
  const double a = sxd / sxx, c = sd / sw;
  // A slope lost in the round-off of the sums is no slope: the rise of the line over the
  // fluences used must stand out from the depths themselves.
  double x_low = 0.0, x_high = 0.0;
  for (const MeasuredPoint& p : used) {
    x_low = std::min(x_low, std::log(p.fluence) - mean_x);
    x_high = std::max(x_high, std::log(p.fluence) - mean_x);
  }
  if (!(a > 0.0) || !(a * (x_high - x_low) > 1e-9 * (highest - lowest) / depth_unit)) {
    fit.message = no_growth;
    return fit;
  }
  for (const MeasuredPoint& p : used) {
    const double w = weighted ? 1.0 / (p.sigma_nm * p.sigma_nm) : 1.0;
    const double r = p.depth_nm - (a * (std::log(p.fluence) - mean_x) + c);
    fit.chi2 += w * r * r;
  }
  fit.dof = fit.points_used - 2;
  double scale = 1.0;
  if (!weighted)
    scale = fit.dof > 0 ? fit.chi2 / fit.dof : std::numeric_limits<double>::quiet_NaN();
  const double var_a = scale / sxx, var_c = scale / sw;
  const double ln_threshold = mean_x - c / a;
  const double var_ln_threshold = var_c / (a * a) + c * c * var_a / (a * a * a * a);
  fit.absorption_length_nm = a * depth_unit;
  fit.absorption_length_stderr = std::sqrt(var_a) * depth_unit;
  fit.chi2 *= weighted ? 1.0 : depth_unit * depth_unit;
  fit.threshold_fluence = std::exp(ln_threshold);
  fit.threshold_stderr = fit.threshold_fluence * std::sqrt(var_ln_threshold);
  if (!(fit.threshold_fluence > 0.0) || !std::isfinite(fit.threshold_fluence) ||
      !std::isfinite(fit.absorption_length_nm)) {
    fit.message =
        "the points used put the threshold beyond the numbers a double holds; check the depths "
        "and fluences";
    return fit;
  }
  fit.ok = true;
  return fit;
}

double beer_lambert_depth(const BeerLambertFit& fit, double fluence) {
  return fit.absorption_length_nm * std::log(fluence / fit.threshold_fluence);
}

}  // namespace kt
