// Enthalpy and conduction potential of the property laws in closed form. The polyimide laws are
// those of kernels.cpp, with the same single-precision decimals widened:
//   c(T) = 2.55 - 1.59 exp((300 - T)/460)   ->  C(T) = 2.55 T + 1.59 * 460 exp((300 - T)/460)
//   k(T) = 0.00155 (T/300)^0.28             ->  K(T) = 0.00155 * 300/1.28 (T/300)^1.28
// H(theta) = (C(T) - C(T0)) / (c Cheat), Phi(theta) = (K(T) - K(T0)) / (kappa Cheat).
#include "solver/property_integrals.h"

#include <cmath>

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

}  // namespace

MaterialIntegrals make_material_integrals(const MaterialLaw& law) {
  MaterialIntegrals m;
  m.law = law;
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

double material_enthalpy(const MaterialIntegrals& m, double theta) {
  if (!m.law.polyimide) return theta;
  const double temperature = absolute_temperature(m.law, theta);
  return enthalpy_from(m, temperature, heat_capacity_drop(temperature));
}

double material_potential(const MaterialIntegrals& m, double theta) {
  if (!m.law.polyimide) return theta;
  const double temperature = absolute_temperature(m.law, theta);
  return potential_from(m, temperature, conduction_power(temperature));
}

}  // namespace kt
