// Heat conduction in r and z (axisymmetric) between the pulses of a focused spot, with surface
// losses by convection and radiation. Scaled units of model.h: r and z in absorption lengths
// 1/alpha, time in t0, theta the temperature rise in heating-scale units; H and Phi the enthalpy
// and the conduction potential of property_integrals.h (Kirchhoff's transform: kf grad(theta) =
// grad(Phi)).
//
//   dH/dt = D [ (1/r) d/dr (r dPhi/dr) + d2Phi/dz2 ] - DHb' ko' (1 - phi) exp(-Eb'/(T0' + theta))
//
// Domain 0 <= r <= R, 0 <= z <= Z (z from each radius's own surface: the crater's depth, nm,
// is small against the spot and is not resolved). Boundaries: r = 0 symmetry; theta = 0 at r = R
// and at z = Z; at the surface the heat leaves by
//
//   q = h_s (T - T0) + eps sigma_SB (T^4 - T0^4)   [W/cm^2],  scaled q / 1e7
//
// (the scaled intensity's unit is 1e7 W/cm^2), h_s the heat-transfer coefficient of convection,
// eps the emissivity, sigma_SB = 5.670374e-12 W/(cm^2 K^4) (CODATA 2018). The model's linear
// loss term Lambda is not applied here: these losses replace it between a spot's pulses.
//
// Discretisation: vertex-centred finite volumes on the tensor grid of the depth nodes (the train's
// wide grid: node volumes as there) and of radial nodes r_j (ring areas pi (r_{j+1/2}^2 -
// r_{j-1/2}^2), faces at the midpoints). Time: backward Euler with steps growing by a factor
// from a first step, the last cut to end the interval; each step is split (Lie) into an implicit
// z sweep (one tridiagonal Newton solve per column, the surface loss and the reaction heat in it)
// and an implicit r sweep (one per depth row). The splitting and the steps make the error first
// order in the step; each line is solved by Newton's method with the tridiagonal solver and the
// limited update every implicit scheme uses (tridiagonal.h, newton.h); the check against the closed
// form of a Gaussian surface source is in the tests. The bond reaction advances phi as the 1-D
// cooling does (trapezoid rule in time) over the rows `reacting_rows`.
#pragma once

#include <string>
#include <vector>

#include "solver/model.h"
#include "solver/property_integrals.h"

namespace kt {

inline constexpr double kStefanBoltzmann = 5.670374419e-12;  // W/(cm^2 K^4), CODATA 2018

struct AxisymmetricGrid {
  std::vector<double> z;       // depth nodes, z[0] = 0 the surface; theta = 0 at the last
  std::vector<double> volume;  // per depth node but the last: its control volume (scaled depth)
  std::vector<double> r;       // radial nodes, r[0] = 0; theta = 0 at the last
};

class AxisymmetricCooling {
 public:
  // `constants` gives D, T0', Cheat and the reaction; `heat_transfer` [W/(cm^2 K)] and
  // `emissivity` the surface losses.
  AxisymmetricCooling(const RunConstants& constants, const MaterialIntegrals& material,
                      AxisymmetricGrid grid, double heat_transfer, double emissivity,
                      int reacting_rows = 0);

  int columns() const { return static_cast<int>(grid_.r.size()) - 1; }  // unknown radii
  int rows() const { return static_cast<int>(grid_.z.size()) - 1; }     // unknown depths
  // theta and phi at (radius j, depth i); j < columns(), i < rows().
  double& theta(int j, int i) { return theta_[index(j, i)]; }
  double& phi(int j, int i) { return phi_[index(j, i)]; }
  double ring_area(int j) const { return area_[static_cast<std::size_t>(j)]; }
  const AxisymmetricGrid& grid() const { return grid_; }

  // Cools for `duration` (scaled time) with steps from `first_step` growing by `growth`. False
  // when a Newton solve failed (see failure()).
  bool cool(double duration, double first_step, double growth);
  const std::string& failure() const { return failure_; }

  // Heat on the grid and what left it so far, as energies in scaled units times scaled area
  // (multiply by kScaledEnergyMilliJoule / (alpha^2) for mJ).
  double heat() const;
  double surface_loss() const { return surface_loss_; }
  double far_loss() const { return far_loss_; }
  double reaction() const { return reaction_; }

 private:
  std::size_t index(int j, int i) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(rows()) +
           static_cast<std::size_t>(i);
  }
  bool z_sweep(double h);
  bool r_sweep(double h);
  // Solves the line of `n` unknowns whose theta are at `at[k]` by Newton's method: cell
  // capacities `capacity[k]` (volume/area factors), conductances `g[k]` between k and k + 1
  // (g[n-1] to the fixed theta = 0 node), extra source `loss` at k = 0 (surface) when set.
  bool solve_line(double h, std::size_t n, const std::vector<std::size_t>& at,
                  const std::vector<double>& capacity, const std::vector<double>& g,
                  const std::vector<double>& old_enthalpy, const std::vector<double>& sink,
                  bool surface, double surface_area);
  double loss_flux(double theta, double& derivative) const;

  RunConstants r_;  // copies: the grid outlives the runs that made it
  MaterialIntegrals material_;
  AxisymmetricGrid grid_;
  double heat_transfer_, emissivity_;
  int reacting_rows_;
  std::vector<double> area_, radial_conductance_;
  std::vector<double> theta_, phi_;
  double surface_loss_ = 0.0, far_loss_ = 0.0, reaction_ = 0.0;
  double step_surface_ = 0.0;
  std::string failure_;
  // Work space of solve_line.
  std::vector<double> diag_, lower_, upper_, residual_, line_, step_, work_;
};

}  // namespace kt
