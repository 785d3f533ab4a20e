// Integrals of the material property laws of kernels.h over the temperature rise, for the
// conservative form of the heat equation: the enthalpy rise H(theta) = integral of cf from 0 to
// theta, and the conduction potential Phi(theta) = integral of kf from 0 to theta (Kirchhoff's
// transform: the conductive flux kf d(theta)/dz is d(Phi)/dz whatever the law). Scaled units as
// in model.h: H and Phi are in units of the heating scale; H times the scaled volume is an
// energy per area in units of 1e10 t0 mJ/cm^2.
#pragma once

#include <cstddef>
#include <vector>

#include "solver/kernels.h"

namespace kt {

// The property factors and their integrals at one temperature rise, from one exponential and one
// power for polyimide. A material file's laws (MaterialLaw::specific_heat_law and
// conductivity_law) are integrated in closed form: constant v T; saturating exponential
// a T + b t_scale exp((t_ref - T)/t_scale); power v t_ref/(1 + e) (T/t_ref)^(1 + e) (v t_ref
// ln(T/t_ref) for e = -1); a table exactly, interval by interval, as the integral of its cubic
// Hermite pieces (outside the table its end value, as the law takes it there).
struct MaterialPoint {
  double heat_capacity = 1.0;  // cf(theta)
  double conduction = 1.0;     // kf(theta)
  double enthalpy = 0.0;       // H(theta)
  double potential = 0.0;      // Phi(theta)
};

// The base points of the integrals, fixed for a run (the laws at the ambient temperature).
struct MaterialIntegrals {
  MaterialLaw law;
  double enthalpy_offset = 0.0;   // the primitive of c(T) at T0, in the law's own units
  double potential_offset = 0.0;  // the primitive of k(T) at T0
  // A file's table laws: the primitive at each of the table's temperatures (0 at the first).
  std::vector<double> heat_knots;
  std::vector<double> conduction_knots;
};

MaterialIntegrals make_material_integrals(const MaterialLaw& law);

MaterialPoint evaluate_material(const MaterialIntegrals& integrals, double theta);

// evaluate_material at the n rises theta[0 ... n-1], into four arrays of n values, with the same
// bits node by node: the polyimide laws take their exponentials in one loop and their powers in
// another, so that the calls follow one another with nothing else to wait for.
void evaluate_material_nodes(const MaterialIntegrals& integrals, const double* theta, std::size_t n,
                             double* heat_capacity, double* conduction, double* enthalpy,
                             double* potential);

// H(theta) alone (one exponential) and Phi(theta) alone (one power), with the same bits as the
// enthalpy and potential of evaluate_material.
double material_enthalpy(const MaterialIntegrals& integrals, double theta);
double material_potential(const MaterialIntegrals& integrals, double theta);

}  // namespace kt
