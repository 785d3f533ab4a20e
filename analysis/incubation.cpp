#include "analysis/incubation.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
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

namespace kt {

IncubationThresholds find_incubation_thresholds(const ThresholdRequest& request,
                                                const std::vector<int>& pulses,
                                                const TrainModel& model_of,
                                                const std::atomic<bool>& interrupt) {
  IncubationThresholds result;
  result.pulses = pulses;
  std::vector<IncubationPoint> points;
  for (int n : pulses) {
    const ThresholdReport report = find_threshold(request, model_of(n), interrupt);
    result.thresholds.push_back(report);
    if (!report.ok) {
      result.model_unavailable = report.model_unavailable;
      result.message = "no threshold at " + std::to_string(n) +
                       (n == 1 ? " pulse: " : " pulses: ") + report.message;
      return result;
    }
    points.push_back({static_cast<double>(n), report.fluence, 0.0});
  }
  result.fit = fit_incubation(points);
  result.ok = result.fit.ok;
  if (!result.ok) result.message = "no incubation law: " + result.fit.message;
  return result;
}

namespace {

using Json = nlohmann::ordered_json;

Json number(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

std::string quantity_word(DepthQuantity quantity) {
  return std::string(depth_quantity_word(quantity));
}

}  // namespace

std::string incubation_summary(const IncubationThresholds& result,
                               const ThresholdRequest& request) {
  std::string out;
  char line[200];
  std::snprintf(line, sizeof line, "threshold fluence for %g nm %s depth per pulse:\n",
                request.depth_nm, quantity_word(request.quantity).c_str());
  out += line;
  for (std::size_t k = 0; k < result.thresholds.size(); ++k) {
    const ThresholdReport& t = result.thresholds[k];
    if (!t.ok) continue;
    std::snprintf(line, sizeof line, "  N = %-6d F_th = %.6g mJ/cm^2 (%d runs)\n", result.pulses[k],
                  t.fluence, t.runs);
    out += line;
  }
  if (result.fit.ok) {
    std::snprintf(line, sizeof line,
                  "incubation law F_th(N) = F_th(1) N^(S-1):\n"
                  "  S = %.4f +- %.2g (1 sigma)\n"
                  "  F_th(1) = %.5g +- %.2g mJ/cm^2\n"
                  "  chi2 / dof = %.4g / %d\n",
                  result.fit.s, result.fit.s_stderr, result.fit.single_pulse_threshold,
                  result.fit.single_pulse_stderr, result.fit.chi2, result.fit.dof);
    out += line;
  }
  return out;
}

std::string incubation_json(const IncubationThresholds& result, const ThresholdRequest& request) {
  Json doc;
  doc["depth_nm"] = request.depth_nm;
  doc["quantity"] = quantity_word(request.quantity);
  Json thresholds = Json::array();
  for (std::size_t k = 0; k < result.thresholds.size(); ++k) {
    const ThresholdReport& t = result.thresholds[k];
    Json row;
    row["pulses"] = result.pulses[k];
    row["fluence"] = t.ok ? number(t.fluence) : Json(nullptr);
    row["below"] = number(t.below);
    row["above"] = number(t.above);
    row["runs"] = t.runs;
    thresholds.push_back(row);
  }
  doc["thresholds"] = thresholds;
  const bool fitted = result.fit.ok;
  doc["s"] = fitted ? number(result.fit.s) : Json(nullptr);
  doc["s_stderr"] = fitted ? number(result.fit.s_stderr) : Json(nullptr);
  doc["single_pulse_threshold"] = fitted ? number(result.fit.single_pulse_threshold) : Json();
  doc["single_pulse_stderr"] = fitted ? number(result.fit.single_pulse_stderr) : Json();
  doc["chi2"] = fitted ? number(result.fit.chi2) : Json(nullptr);
  doc["dof"] = result.fit.dof;
  if (!result.ok) doc["message"] = result.message;
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace kt
