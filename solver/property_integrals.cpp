// Enthalpy and conduction potential of the property laws in closed form. The polyimide laws are
// those of kernels.cpp, with the same single-precision decimals widened:
//   c(T) = 2.55 - 1.59 exp((300 - T)/460)   ->  C(T) = 2.55 T + 1.59 * 460 exp((300 - T)/460)
//   k(T) = 0.00155 (T/300)^0.28             ->  K(T) = 0.00155 * 300/1.28 (T/300)^1.28
// H(theta) = (C(T) - C(T0)) / (c Cheat), Phi(theta) = (K(T) - K(T0)) / (kappa Cheat).
// A material file's laws are integrated the same way, each law form in its closed form (the
// built-in coefficients in a file give the built-in expressions, operation for operation), a
// table piece by piece.
#include "solver/property_integrals.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "params/material_laws.h"

namespace kt {

namespace {

constexpr double kCpBase = static_cast<double>(2.55f);  // J/(g K)
constexpr double kCpDrop = static_cast<double>(1.59f);  // J/(g K)
constexpr double kCpScale = 460.0;                      // K
constexpr double kConductivityExponent = static_cast<double>(0.28f);
constexpr double kConductivityAt300 = 0.00155;   // W/(cm K)
constexpr double kReferenceTemperature = 300.0;  // K

double absolute_temperature(const MaterialLaw& law, double theta) {
  return (law.ambient + theta) * law.heating_scale;
}

double heat_primitive(double temperature, double drop_term) {
  return kCpBase * temperature + kCpDrop * kCpScale * drop_term;
}

double conduction_primitive(double temperature, double power_term) {
  return kConductivityAt300 * kReferenceTemperature / (1.0 + kConductivityExponent) *
         (temperature / kReferenceTemperature) * power_term;
}

// A file law at T: its value and its primitive (the table's from its first temperature).
struct LawPoint {
  double value = 0.0;
  double primitive = 0.0;
};

// The integral over [0, s] of the four cubic Hermite basis functions of a unit interval.
struct HermiteIntegrals {
  double h00, h10, h01, h11;
};

HermiteIntegrals hermite_integrals(double s) {
  const double s2 = s * s;
  const double s3 = s2 * s;
  const double s4 = s3 * s;
  return {s4 / 2.0 - s3 + s, s4 / 4.0 - 2.0 * s3 / 3.0 + s2 / 2.0, s3 - s4 / 2.0,
          s4 / 4.0 - s3 / 3.0};
}

std::vector<double> table_knots(const PropertyLaw& law) {
  std::vector<double> knots(law.temperatures.size(), 0.0);
  for (std::size_t i = 0; i + 1 < knots.size(); ++i) {
    const double h = law.temperatures[i + 1] - law.temperatures[i];
    const HermiteIntegrals w = hermite_integrals(1.0);
    knots[i + 1] = knots[i] + h * (w.h00 * law.values[i] + w.h10 * h * law.slopes[i] +
                                   w.h01 * law.values[i + 1] + w.h11 * h * law.slopes[i + 1]);
  }
  return knots;
}

LawPoint table_point(const PropertyLaw& law, const std::vector<double>& knots, double t) {
  const std::vector<double>& ts = law.temperatures;
  const std::vector<double>& vs = law.values;
  if (!(t >= ts.front())) return {vs.front(), vs.front() * (t - ts.front())};
  if (t > ts.back()) return {vs.back(), knots.back() + vs.back() * (t - ts.back())};
  const auto upper = std::upper_bound(ts.begin(), ts.end(), t);
  const std::size_t i = std::min<std::size_t>(
      static_cast<std::size_t>(std::max<std::ptrdiff_t>(upper - ts.begin() - 1, 0)), ts.size() - 2);
  const double h = ts[i + 1] - ts[i];
  const double s = (t - ts[i]) / h;
  const HermiteIntegrals w = hermite_integrals(s);
  bool in_range = true;
  return {law.evaluate(t, in_range),
          knots[i] + h * (w.h00 * vs[i] + w.h10 * h * law.slopes[i] + w.h01 * vs[i + 1] +
                          w.h11 * h * law.slopes[i + 1])};
}

LawPoint law_point(const PropertyLaw& law, const std::vector<double>& knots, double t) {
  switch (law.form) {
    case LawForm::constant:
      return {law.value, law.value * t};
    case LawForm::saturating_exponential: {
      const double drop = std::exp((law.t_ref - t) / law.t_scale);
      return {law.a - law.b * drop, law.a * t + law.b * law.t_scale * drop};
    }
    case LawForm::power: {
      const double power = std::pow(t / law.t_ref, law.exponent);
      const double rise = 1.0 + law.exponent;
      const double primitive = rise == 0.0 ? law.value * law.t_ref * std::log(t / law.t_ref)
                                           : law.value * law.t_ref / rise * (t / law.t_ref) * power;
      return {law.value * power, primitive};
    }
    case LawForm::table:
      break;
  }
  return table_point(law, knots, t);
}

bool has_file_laws(const MaterialLaw& law) {
  return !law.polyimide && (law.specific_heat_law != nullptr || law.conductivity_law != nullptr);
}

// The file's laws at theta: factors over the entered c and kappa, H and Phi from the offsets.
MaterialPoint file_point(const MaterialIntegrals& m, double theta) {
  const MaterialLaw& law = m.law;
  const double temperature = absolute_temperature(law, theta);
  MaterialPoint p;
  p.enthalpy = theta;
  p.potential = theta;
  if (law.specific_heat_law != nullptr) {
    const LawPoint c = law_point(*law.specific_heat_law, m.heat_knots, temperature);
    p.heat_capacity = c.value / law.specific_heat;
    p.enthalpy = (c.primitive - m.enthalpy_offset) / (law.specific_heat * law.heating_scale);
  }
  if (law.conductivity_law != nullptr) {
    const LawPoint k = law_point(*law.conductivity_law, m.conduction_knots, temperature);
    p.conduction = k.value / law.thermal_conductivity;
    p.potential =
        (k.primitive - m.potential_offset) / (law.thermal_conductivity * law.heating_scale);
  }
  return p;
}

}  // namespace

MaterialIntegrals make_material_integrals(const MaterialLaw& law) {
  MaterialIntegrals m;
  m.law = law;
  if (has_file_laws(law)) {
    const double t0 = absolute_temperature(law, 0.0);
    if (const PropertyLaw* c = law.specific_heat_law) {
      if (c->form == LawForm::table) m.heat_knots = table_knots(*c);
      m.enthalpy_offset = law_point(*c, m.heat_knots, t0).primitive;
    }
    if (const PropertyLaw* k = law.conductivity_law) {
      if (k->form == LawForm::table) m.conduction_knots = table_knots(*k);
      m.potential_offset = law_point(*k, m.conduction_knots, t0).primitive;
    }
    return m;
  }
  if (!law.polyimide) return m;
  const double t0 = absolute_temperature(law, 0.0);
  m.enthalpy_offset = heat_primitive(t0, std::exp((kReferenceTemperature - t0) / kCpScale));
  m.potential_offset =
      conduction_primitive(t0, std::pow(t0 / kReferenceTemperature, kConductivityExponent));
  return m;
}

namespace {

double heat_capacity_drop(double temperature) {
  return std::exp((kReferenceTemperature - temperature) / kCpScale);
}

double conduction_power(double temperature) {
  return std::pow(temperature / kReferenceTemperature, kConductivityExponent);
}

double enthalpy_from(const MaterialIntegrals& m, double temperature, double drop) {
  return (heat_primitive(temperature, drop) - m.enthalpy_offset) /
         (m.law.specific_heat * m.law.heating_scale);
}

double potential_from(const MaterialIntegrals& m, double temperature, double power) {
  return (conduction_primitive(temperature, power) - m.potential_offset) /
         (m.law.thermal_conductivity * m.law.heating_scale);
}

}  // namespace

MaterialPoint evaluate_material(const MaterialIntegrals& m, double theta) {
  MaterialPoint p;
  if (!m.law.polyimide) {
    if (has_file_laws(m.law)) return file_point(m, theta);
    p.enthalpy = theta;
    p.potential = theta;
    return p;
  }
  const MaterialLaw& law = m.law;
  const double temperature = absolute_temperature(law, theta);
  const double drop = heat_capacity_drop(temperature);
  const double power = conduction_power(temperature);
  p.heat_capacity = (kCpBase - kCpDrop * drop) / law.specific_heat;
  p.conduction = kConductivityAt300 * power / law.thermal_conductivity;
  p.enthalpy = enthalpy_from(m, temperature, drop);
  p.potential = potential_from(m, temperature, power);
  return p;
}

void evaluate_material_nodes(const MaterialIntegrals& m, const double* theta, std::size_t n,
                             double* heat_capacity, double* conduction, double* enthalpy,
                             double* potential) {
  if (!m.law.polyimide) {
    for (std::size_t i = 0; i < n; ++i) {
      const MaterialPoint p = evaluate_material(m, theta[i]);
      heat_capacity[i] = p.heat_capacity;
      conduction[i] = p.conduction;
      enthalpy[i] = p.enthalpy;
      potential[i] = p.potential;
    }
    return;
  }
  const MaterialLaw& law = m.law;
  // The exponentials and the powers first, kept in the arrays they end up in.
  for (std::size_t i = 0; i < n; ++i) {
    enthalpy[i] = heat_capacity_drop(absolute_temperature(law, theta[i]));
  }
  for (std::size_t i = 0; i < n; ++i) {
    potential[i] = conduction_power(absolute_temperature(law, theta[i]));
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double temperature = absolute_temperature(law, theta[i]);
    const double drop = enthalpy[i];
    const double power = potential[i];
    heat_capacity[i] = (kCpBase - kCpDrop * drop) / law.specific_heat;
    conduction[i] = kConductivityAt300 * power / law.thermal_conductivity;
    enthalpy[i] = enthalpy_from(m, temperature, drop);
    potential[i] = potential_from(m, temperature, power);
  }
}

double material_enthalpy(const MaterialIntegrals& m, double theta) {
  if (!m.law.polyimide) return has_file_laws(m.law) ? file_point(m, theta).enthalpy : theta;
  const double temperature = absolute_temperature(m.law, theta);
  return enthalpy_from(m, temperature, heat_capacity_drop(temperature));
}

double material_potential(const MaterialIntegrals& m, double theta) {
  if (!m.law.polyimide) return has_file_laws(m.law) ? file_point(m, theta).potential : theta;
  const double temperature = absolute_temperature(m.law, theta);
  return potential_from(m, temperature, conduction_power(temperature));
}

}  // namespace kt
