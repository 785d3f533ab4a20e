// Numerical kernels: pulse shape, property laws (polyimide's, or a material file's),
// three-diagonal sweep and parabolic profile integral, in 64-bit reals on scaled quantities.
// Decimal constants of the laws are the single-precision values widened to 64 bits; 0.00155 is an
// exact 64-bit value.
#include "solver/kernels.h"

#include <cmath>

#include "params/material_laws.h"
#include "solver/tridiagonal.h"

namespace kt {

namespace {

constexpr double kCpBase = static_cast<double>(2.55f);
constexpr double kCpDrop = static_cast<double>(1.59f);
constexpr double kConductivityExponent = static_cast<double>(0.28f);
constexpr double kConductivityAt300 = 0.00155;

double absolute_temperature(const MaterialLaw& law, double theta) {
  return (law.ambient + theta) * law.heating_scale;
}

// A material file's law at theta over the entered value: the law's own expression, then one
// division (a file giving the built-in coefficients gives the built-in factors bit for bit).
double file_law_factor(const MaterialLaw& law, const PropertyLaw& property, double entered,
                       double theta) {
  bool in_range = true;
  return property.evaluate(absolute_temperature(law, theta), in_range) / entered;
}

}  // namespace

double pulse_intensity(const PulseLaw& law, double t, double peak_intensity,
                       double pulse_duration) {
  const double peak = (1.0 - law.reflection) * peak_intensity;
  if (law.shape == PulseShape::rectangle) return t <= pulse_duration ? peak : 0.0;
  const double tf = law.front_time;
  if (t <= tf) return peak * t / tf;
  const double end = 2.0 * pulse_duration;
  if (t <= end) return peak * (end - t) / (end - tf);
  return 0.0;
}

double specific_heat_factor(const MaterialLaw& law, double theta) {
  if (!law.polyimide) {
    return law.specific_heat_law == nullptr
               ? 1.0
               : file_law_factor(law, *law.specific_heat_law, law.specific_heat, theta);
  }
  const double temperature = absolute_temperature(law, theta);
  return (kCpBase - kCpDrop * std::exp((300.0 - temperature) / 460.0)) / law.specific_heat;
}

double polyimide_lowest_temperature() {
  return 300.0 - 460.0 * std::log(kCpBase / kCpDrop);
}

double conductivity_factor(const MaterialLaw& law, double theta) {
  if (!law.polyimide) {
    return law.conductivity_law == nullptr
               ? 1.0
               : file_law_factor(law, *law.conductivity_law, law.thermal_conductivity, theta);
  }
  const double temperature = absolute_temperature(law, theta);
  return kConductivityAt300 * std::pow(temperature / 300.0, kConductivityExponent) /
         law.thermal_conductivity;
}

void solve_tridiagonal(NodeArray& y, const NodeArray& a, const NodeArray& c, const NodeArray& b,
                       const NodeArray& g, double kappa1, double kappa2, double mu1, double mu2,
                       int n, NodeArray& work) {
  // Rows 1 ... n as lower/diagonal/upper: the end conditions are rows of their own.
  solve_tridiagonal_rows(
      n,
      [&](int row) {
        const int k = row + 1;
        if (k == 1) return TridiagonalRow{0.0, 1.0, -kappa1, mu1};
        if (k == n) return TridiagonalRow{-kappa2, 1.0, 0.0, mu2};
        return TridiagonalRow{-a[k], b[k], -c[k], g[k]};
      },
      y.data() + 1, work.data() + 1);
}

namespace {

// Integral over [lo, hi] of the parabola through (z1, f1), (z2, f2), (z3, f3).
double parabola_integral(double z1, double f1, double z2, double f2, double z3, double f3,
                         double lo, double hi) {
  const double s = (f3 - f2) / (z3 - z2);
  const double c2 = (s - (f1 - f2) / (z1 - z2)) / (z3 - z1);
  const double c1 = s - (z3 + z2) * c2;
  const double c0 = f1 - c2 * z1 * z1 - c1 * z1;
  auto primitive = [&](double z) { return c0 * z + c1 * z * z / 2.0 + c2 * z * z * z / 3.0; };
  return primitive(hi) - primitive(lo);
}

}  // namespace

double integrate_profile(const NodeArray& z, const NodeArray& f, int n) {
  double sum = 0.0;
  for (int i = 1; i <= n - 2; ++i) {
    sum += parabola_integral(z[i], f[i], z[i + 1], f[i + 1], z[i + 2], f[i + 2], z[i], z[i + 1]);
  }
  sum += parabola_integral(z[n - 2], f[n - 2], z[n - 1], f[n - 1], z[n], f[n], z[n - 1], z[n]);
  return sum;
}

}  // namespace kt
