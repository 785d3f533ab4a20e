#include "params/material_laws.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace kt {
namespace {

// The number as messages write it: shortest exact-enough text ("400", "0.00155").
std::string text_of(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// Fritsch-Carlson slopes: the three-point estimate, zero at a local extremum, and limited so
// that each interval's cubic stays monotone.
void monotone_slopes(const std::vector<double>& t, const std::vector<double>& v,
                     std::vector<double>& m) {
  const std::size_t n = t.size();
  std::vector<double> secant(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) secant[i] = (v[i + 1] - v[i]) / (t[i + 1] - t[i]);
  m.assign(n, 0.0);
  m[0] = secant[0];
  m[n - 1] = secant[n - 2];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    m[i] = secant[i - 1] * secant[i] <= 0.0 ? 0.0 : 0.5 * (secant[i - 1] + secant[i]);
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (secant[i] == 0.0) {
      m[i] = 0.0;
      m[i + 1] = 0.0;
      continue;
    }
    const double alpha = m[i] / secant[i];
    const double beta = m[i + 1] / secant[i];
    const double length = std::hypot(alpha, beta);
    if (length > 3.0) {
      m[i] = 3.0 / length * alpha * secant[i];
      m[i + 1] = 3.0 / length * beta * secant[i];
    }
  }
}

}  // namespace

std::string PropertyLaw::prepare() {
  if (form != LawForm::table) return {};
  if (temperatures.size() != values.size()) {
    return "the table has " + std::to_string(temperatures.size()) + " temperatures and " +
           std::to_string(values.size()) + " values";
  }
  if (temperatures.size() < 2) return "the table has fewer than two points";
  for (std::size_t i = 0; i < temperatures.size(); ++i) {
    const std::string row = " on row " + std::to_string(i + 1);
    if (!std::isfinite(temperatures[i]) || !std::isfinite(values[i])) {
      return "the table holds a value that is not a finite number" + row;
    }
    if (temperatures[i] <= 0.0)
      return "temperature " + text_of(temperatures[i]) + " K" + row + " is not above 0 K";
    if (values[i] <= 0.0) return "value " + text_of(values[i]) + row + " is not positive";
    if (i > 0 && temperatures[i] <= temperatures[i - 1]) {
      return "temperature " + text_of(temperatures[i]) + " K" + row +
             " is not above the one before (" + text_of(temperatures[i - 1]) +
             " K): the temperatures must increase";
    }
  }
  monotone_slopes(temperatures, values, slopes);
  return {};
}

double PropertyLaw::evaluate(double temperature, bool& in_range) const {
  in_range = true;
  switch (form) {
    case LawForm::constant:
      return value;
    case LawForm::saturating_exponential:
      return a - b * std::exp((t_ref - temperature) / t_scale);
    case LawForm::power:
      return value * std::pow(temperature / t_ref, exponent);
    case LawForm::table:
      break;
  }
  if (!(temperature >= temperatures.front() && temperature <= temperatures.back())) {
    in_range = false;
    return temperature < temperatures.front() ? values.front() : values.back();
  }
  const auto upper = std::upper_bound(temperatures.begin(), temperatures.end(), temperature);
  const std::size_t i = std::min<std::size_t>(
      static_cast<std::size_t>(std::max<std::ptrdiff_t>(upper - temperatures.begin() - 1, 0)),
      temperatures.size() - 2);
  const double h = temperatures[i + 1] - temperatures[i];
  const double s = (temperature - temperatures[i]) / h;
  const double s2 = s * s;
  const double s3 = s2 * s;
  return (2.0 * s3 - 3.0 * s2 + 1.0) * values[i] + (s3 - 2.0 * s2 + s) * h * slopes[i] +
         (-2.0 * s3 + 3.0 * s2) * values[i + 1] + (s3 - s2) * h * slopes[i + 1];
}

const char* law_form_name(LawForm form) {
  switch (form) {
    case LawForm::constant:
      return "constant";
    case LawForm::saturating_exponential:
      return "saturating_exponential";
    case LawForm::power:
      return "power";
    case LawForm::table:
      return "table";
  }
  return "constant";
}

bool law_form_from_name(const std::string& name, LawForm& form) {
  for (LawForm f :
       {LawForm::constant, LawForm::saturating_exponential, LawForm::power, LawForm::table}) {
    if (name == law_form_name(f)) {
      form = f;
      return true;
    }
  }
  return false;
}

}  // namespace kt
