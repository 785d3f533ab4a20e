// Numerical kernels of the ablation solver: the laser pulse shape, the property laws (polyimide's
// built in, or a material file's),
// the three-diagonal sweep solver with linear end conditions and the piecewise-parabolic profile
// integral. Scaled units (depth in absorption lengths, time in 3.12 ns units, temperature rise
// in units of the heating scale); 64-bit reals; arrays 1-based with room for the model's 65
// nodes; no memory is allocated by any routine.
#pragma once

#include <array>
#include <cmath>
#include <limits>

#include "params/parameter_choices.h"

namespace kt {

// The depth grid has 65 nodes (see model.h); the arrays hold exactly those.
inline constexpr int kNodeCapacity = 65;
// A nodal array, indexed 1 ... N (index 0 unused).
using NodeArray = std::array<double, kNodeCapacity + 1>;

// exp(x) kept for its last argument. A call with an equal argument returns the stored value
// without evaluating exp again: the same bits for the cost of one comparison (-0 equals +0, and
// exp gives 1 for both; a NaN equals nothing and is evaluated again). The key is exp's own
// argument, so a memo never needs clearing between runs.
class ExpMemo {
 public:
  double operator()(double x) {
    if (!(x == argument_)) {
      argument_ = x;
      value_ = std::exp(x);
    }
    return value_;
  }

 private:
  double argument_ = std::numeric_limits<double>::quiet_NaN();
  double value_ = 0.0;
};

// What the pulse shape needs besides its arguments, fixed for a run.
struct PulseLaw {
  PulseShape shape = PulseShape::triangle;
  double reflection = 0.0;  // R
  double front_time = 0.0;  // tF = 2 tau' front_fraction / 100 (scaled)
};

// Intensity leaving the pulse at scaled time t, after reflection: a rectangle of length tau'
// or a triangle rising to its peak at tF and falling to zero at 2 tau'.
double pulse_intensity(const PulseLaw& law, double t, double peak_intensity, double pulse_duration);

struct PropertyLaw;  // params/material_laws.h

// What the property laws need, fixed for a run.
struct MaterialLaw {
  bool polyimide = true;              // material 1; any other value is "Other material"
  double ambient = 0.0;               // T0' = T0 / Cheat
  double heating_scale = 1.0;         // Cheat [K]
  double specific_heat = 1.0;         // entered c [J/(g K)]
  double thermal_conductivity = 1.0;  // entered kappa [W/(cm K)]
  // A material file's laws (other material only; not owned: the run's options hold the file).
  // When set, c(T) and k(T) are these laws; outside a table they take its end value (the run
  // is refused after the step: calculation_run.cpp).
  const PropertyLaw* specific_heat_law = nullptr;
  const PropertyLaw* conductivity_law = nullptr;
};

// c(T)/c: polyimide c(T) = 2.55 - 1.59 exp((300 - T)/460) J/(g K); the file's law over c for
// other material with a material file; 1 for other material.
double specific_heat_factor(const MaterialLaw& law, double theta);
// The temperature [K] below which the polyimide specific-heat law is zero or negative.
double polyimide_lowest_temperature();
// k(T)/kappa: polyimide k(T) = 0.00155 (T/300)^0.28 W/(cm K); the file's law over kappa for
// other material with a material file; 1 for other material.
double conductivity_factor(const MaterialLaw& law, double theta);

// Solves -A[k] y[k-1] + B[k] y[k] - C[k] y[k+1] = G[k], k = 2 ... n-1, with the end conditions
// y[1] = kappa1 y[2] + mu1 and y[n] = kappa2 y[n-1] + mu2, by the one tridiagonal solver
// (solver/tridiagonal.h) with the end conditions as its first and last rows. work receives the
// eliminated upper diagonal. No pivoting.
void solve_tridiagonal(NodeArray& y, const NodeArray& a, const NodeArray& c, const NodeArray& b,
                       const NodeArray& g, double kappa1, double kappa2, double mu1, double mu2,
                       int n, NodeArray& work);

// Integral of the nodal profile f over [z[1], z[n]] (n >= 3), interval by interval with the
// parabola through three consecutive nodes; exact for quadratics on any increasing grid.
double integrate_profile(const NodeArray& z, const NodeArray& f, int n);

}  // namespace kt
