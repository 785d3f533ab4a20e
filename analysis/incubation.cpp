#include "analysis/incubation.h"

#include <cmath>
#include <set>

namespace kt {

IncubationFit fit_incubation(const std::vector<IncubationPoint>& points) {
  IncubationFit fit;
  std::set<double> distinct;
  bool every_error = !points.empty();
  for (const IncubationPoint& p : points) {
    if (!(std::isfinite(p.pulses) && p.pulses >= 1.0)) {
      fit.message = "a pulse number below 1 (" + std::to_string(p.pulses) + ")";
      return fit;
    }
    if (!(std::isfinite(p.threshold) && p.threshold > 0.0)) {
      fit.message = "a threshold that is not a positive number at N = " + std::to_string(p.pulses);
      return fit;
    }
    distinct.insert(p.pulses);
    if (!(p.standard_error > 0.0 && std::isfinite(p.standard_error))) every_error = false;
  }
  if (distinct.size() < 2) {
    fit.message = "thresholds at two different pulse numbers at least are needed";
    return fit;
  }
  // Weighted least squares y = a + b x, x = ln N, y = ln F_th, sigma_y = sigma_F / F.
  double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const IncubationPoint& p : points) {
    const double x = std::log(p.pulses);
    const double y = std::log(p.threshold);
    const double sigma = every_error ? p.standard_error / p.threshold : 1.0;
    const double w = 1.0 / (sigma * sigma);
    sw += w;
    sx += w * x;
    sy += w * y;
    sxx += w * x * x;
    sxy += w * x * y;
  }
  const double delta = sw * sxx - sx * sx;
  if (!(delta > 0.0)) {
    fit.message = "the pulse numbers do not spread enough to give a slope";
    return fit;
  }
  const double a = (sxx * sy - sx * sxy) / delta;
  const double b = (sw * sxy - sx * sy) / delta;
  double var_a = sxx / delta;
  double var_b = sw / delta;
  double chi2 = 0.0;
  for (const IncubationPoint& p : points) {
    const double sigma = every_error ? p.standard_error / p.threshold : 1.0;
    const double r = (std::log(p.threshold) - a - b * std::log(p.pulses)) / sigma;
    chi2 += r * r;
  }
  fit.dof = static_cast<int>(points.size()) - 2;
  fit.chi2 = chi2;
  fit.weighted = every_error;
  if (!every_error) {
    // Equal weights: the scatter about the line measures the errors.
    const double scale = fit.dof > 0 ? chi2 / fit.dof : NAN;
    var_a *= scale;
    var_b *= scale;
  }
  fit.s = 1.0 + b;
  fit.s_stderr = std::sqrt(var_b);
  fit.single_pulse_threshold = std::exp(a);
  fit.single_pulse_stderr = fit.single_pulse_threshold * std::sqrt(var_a);
  fit.ok = true;
  return fit;
}

double incubation_threshold(const IncubationFit& fit, double pulses) {
  return fit.single_pulse_threshold * std::pow(pulses, fit.s - 1.0);
}

}  // namespace kt
