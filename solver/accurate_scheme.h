// The accurate scheme: the ablation model of model.h integrated so that energy is conserved to
// the solver tolerance and the errors are second order in time and in space. Same scaled units,
// run constants, 65-node grid (optionally with every cell split into M), end test and output
// instants as the published scheme.
//
// Equation. With H(theta) = integral of cf from 0 to theta (enthalpy rise) and
// Phi(theta) = integral of kf (conduction potential, property_integrals.h), in the frame moving
// with the surface:
//
//   dH/dt = d/dz( v H + D dPhi/dz ) + I - S - Lambda kf theta,
//   I(t, z) = P(t) exp(-sigma' d(t)) exp(-z),                    (Beer-Lambert, screened)
//   S = DHb' ko' (1 - phi) exp(-Eb'/(T0' + theta)),              (volume reaction, bulk model)
//   dphi/dt - v dphi/dz = ko' exp(-Eb'/(T0' + theta)) (1 - phi), (bond breaking)
//   dd_A/dt = VA(theta_s),  dd_M/dt = VM(theta_s, phi_s),  v = VA + VM,  d = d_A + d_M.
//
// Domain and conditions: 0 <= z <= z_far (the last grid node). Surface: the material leaving
// carries its enthalpy and the heat of ablation, v H(theta_s) + D dPhi/dz = v H(theta_s) +
// DH' VA (E*/Ea') + DHm' VM at z = 0 (heat flows to the surface to feed the outflow); far end
// theta = 0. Initially theta = phi = 0 and d_A = d_M = 0.
//
// Discretisation (vertex-centred finite volumes). Node k at z_k owns the control volume between
// the midpoints of its cells; the surface node owns half of the first cell, with its own heat
// capacity and light. The light absorbed in a volume [a, b] is I_s (exp(-a) - exp(-b)), exact;
// what passes the last volume counts as leaving through the far boundary. Conduction across a
// face is D (Phi_{k+1} - Phi_k)/(z_{k+1} - z_k), exact for any property law between the nodes;
// the enthalpy carried across it is v H_face with the exponentially fitted weight between the
// neighbours (central for small cell Peclet numbers, upwind for large ones; the Peclet numbers
// extrapolated from the two previous steps), second order on the stretched cells. Splitting every
// cell into M equal cells (grid refinement) gives 64 M + 1 nodes.
//
// Time scheme. BDF2 for the enthalpy of every volume and for the depths (backward Euler on the
// first step), all terms at the new time, the screening at the new depth. The step's nonlinear
// system (nodal temperatures and the front velocity) is solved by Newton's method with the exact
// Jacobian of the heat fluxes, the surface outflow and the front velocity (a tridiagonal matrix
// bordered by the velocity's row and column), to a relative tolerance of 1e-9, each update
// limited so that no absolute temperature changes by more than half (solver/newton.h). A step
// that does not converge is split into 2, 4, ... 64 equal steps ending at the same instant (the
// first of them, and the next whole step, backward Euler); only when even 64 do not converge
// does the run end as diverged, with the reason. The broken-bond fraction moves without a
// CFL limit: each node takes the value at its departure point z + (d^{n+1} - d^n) (cubic
// interpolation), with the reaction integrated along the path by the trapezoid rule in closed
// form, 1 - phi = (1 - phi_departure) exp(-dt (k_departure + k_arrival)/2). The energy ledger
// sums the flows with the scheme's own quadrature, so that it closes to the tolerance.
//
// Where each term lives: AccurateScheme::evaluate (properties, fluxes, residual and Jacobian),
// solve_newton_system (bordered tridiagonal solve), transport_fraction (bonds),
// take_time_step (BDF2, Newton loop, limiter, end test, ledger).
#pragma once

#include <string>
#include <vector>

#include "solver/energy_ledger.h"
#include "solver/model.h"
#include "solver/property_integrals.h"
#include "solver/step_profiles.h"

namespace kt {

inline constexpr double kExtensionGrowth = 1.08;  // cell growth of an extended grid

class AccurateScheme {
 public:
  // The grid is the run's 65-node grid (state.depth_grid) with every cell split into
  // grid_refinement equal cells. A depth_factor above 1 extends it below its last node to that
  // many times its depth, by cells growing by kExtensionGrowth from its last cell, as many as the
  // profile arrays hold (kProfileCapacity nodes in all; extended_fully() tells whether they did).
  AccurateScheme(const RunConstants& constants, const NodeArray& base_grid, int grid_refinement,
                 double depth_factor = 1.0);
  bool extended_fully() const { return extended_fully_; }

  // One step from t - dt to t = step_index dt. The end test first (once t > 2 tau'); returns
  // true when it ends the run. Otherwise the solution at t is copied to the state's nodal
  // arrays (the base grid's nodes), front velocity, depths and bulk integral, which the output
  // step and the kinetics line read. failed() tells whether the step could not be solved.
  bool take_time_step(SolverState& state);
  bool failed() const { return !failure_.empty(); }
  // The end test's fraction of the depth (0.01, the model's, unless a tolerance asks for less).
  void set_end_fraction(double fraction) { end_fraction_ = fraction; }
  const std::string& failure() const { return failure_; }

  int node_count() const { return node_count_; }
  // Depth [nm], temperature [K] and fraction of every node of the refined grid.
  void fill_profiles(ProfileArrays& profiles) const;
  EnergyLedger ledger() const;
  // Newton iterations over all steps so far.
  long newton_iterations() const { return newton_iterations_; }
  // Steps that Newton could not take whole and that were split into smaller ones.
  long split_steps() const { return split_steps_; }

  // Incubation: alpha(phi) = alpha0 (1 + (ratio - 1) phi), ratio = alpha_inc / alpha0. The light
  // absorbed in the volume [a, b] is then I_s (exp(-tau(a)) - exp(-tau(b))) with the optical depth
  //   tau(z) = integral from 0 to z of (1 + (ratio - 1) phi) dz',
  // phi linear between the nodes and taken at the new level as the step moves it (before each
  // Newton update); what passes the last volume leaves through the far boundary.
  void set_incubation(double absorption_ratio);
  // The next pulse of a train: the nodal temperature rises and fractions of the refined grid
  // carried over (the last node's rise becomes the far boundary's value for this pulse); the
  // depths run on; BDF2 restarts with a backward Euler step. Screening and the end test then
  // look at the depth removed since this call.
  void start_pulse(const std::vector<double>& theta, const std::vector<double>& phi);
  const std::vector<double>& grid() const { return z_; }
  const std::vector<double>& volumes() const { return volume_; }
  const std::vector<double>& temperatures() const { return theta_n_; }
  const std::vector<double>& fractions() const { return phi_n_; }
  const MaterialIntegrals& material() const { return material_; }

 private:
  struct Flows {
    double light = 0.0;
    double sensible = 0.0;
    double latent = 0.0;
    double reaction = 0.0;
    double far = 0.0;
    double loss = 0.0;
    double delivered = 0.0;  // the pulse after reflection, before the plume
  };

  // The values of level n (and n-1) that a split step goes back to when its pieces fail.
  struct SavedLevel {
    std::vector<double> theta, theta1, enthalpy, enthalpy1, phi, rate, peclet, peclet1;
    double velocity = 0.0, velocity1 = 0.0;
    double depth_a = 0.0, depth_a1 = 0.0, depth_m = 0.0, depth_m1 = 0.0;
    Flows sums, increment;
  };

  bool end_test(const SolverState& state);
  // One BDF2 step (backward Euler when first) of length dt ending at t: Newton's method, then
  // the new level accepted. False, with the reason in newton_failure_, when it did not converge
  // (level n is then untouched).
  bool solve_step(double t, double dt, bool first);
  void save_level();
  void restore_level();
  void transport_fraction(double depth_change, double dt);
  void evaluate(double surface_light, double a0, double dt);
  void solve_newton_system();
  // The flows and channel velocities of the last evaluation carried to first order through the
  // update just taken (dtheta in x_, dv), so that the ledger and the depths belong to the
  // accepted iterate, not to the one before it.
  void advance_flows(double dv);
  void publish(SolverState& state) const;
  double bulk_integral() const;
  void absorb_with_damage();

  const RunConstants& r_;
  MaterialIntegrals material_;
  int node_count_ = 0;  // N; unknowns at 0 ... N-2, the last node held at 0
  int refinement_ = 1;  // cells of the run's grid split into this many
  bool extended_fully_ = true;
  double loss_rate_ = 0.0;  // Lambda

  std::vector<double> z_, width_, volume_, absorbed_;
  std::vector<double> conductance_;  // D / width of each cell
  // The barycentric weights of the four nodes from each node on, for the fraction's cubic
  // interpolation (taken once per grid).
  std::vector<double> stencil_weights_;
  double transmitted_ = 0.0;  // fraction of the surface light passing the last volume
  double incubation_ratio_ = 1.0;
  bool incubation_ = false;
  // A train: the depth at the start of this pulse, the far node's carried enthalpy and potential.
  double depth_offset_ = 0.0;
  double far_enthalpy_ = 0.0, far_potential_ = 0.0;

  // Solution at the new level (iterate), at n and n-1.
  std::vector<double> theta_, theta_n_, theta_n1_;
  std::vector<double> enthalpy_n_, enthalpy_n1_;
  std::vector<double> phi_, phi_n_, rate_n_;
  double velocity_ = 0.0, velocity_n_ = 0.0, velocity_n1_ = 0.0;
  double depth_a_n_ = 0.0, depth_a_n1_ = 0.0, depth_m_n_ = 0.0, depth_m_n1_ = 0.0;
  double channel_a_ = 0.0, channel_m_ = 0.0;
  // The screening exp(-sigma' d): Newton's iterations take it again with the same depth while the
  // front has not yet moved.
  ExpMemo screening_exponential_;
  std::int32_t steps_done_ = 0;

  // Per-iteration values.
  std::vector<double> cf_, kf_, enthalpy_, potential_, rate_, face_weight_, history_;
  std::vector<double> peclet_n_, peclet_n1_;            // cell Peclet numbers at n and n-1
  std::vector<double> departure_phi_, departure_rate_;  // at each node's departure point
  std::vector<double> sub_, diag_, super_, column_, residual_, work_, x_, y_;
  double velocity_residual_ = 0.0, velocity_slope_ = 0.0;
  Flows flows_;
  // The slopes of the flows in the last evaluation: the channels' and the heat of ablation's in
  // theta_s, the sensible outflow's in theta_s and v, the far flux's in the last unknown and v,
  // the surface light's in v, and each volume's reaction in its own theta.
  double slope_a_ = 0.0, slope_m_ = 0.0, latent_slope_ = 0.0;
  double sensible_by_theta_ = 0.0, sensible_by_v_ = 0.0, far_by_theta_ = 0.0, far_by_v_ = 0.0;
  double light_by_v_ = 0.0;
  std::vector<double> reaction_slope_;

  // Ledger: scaled sums and the previous step's increments (the BDF2 quadrature).
  Flows sums_, last_increment_;
  double bulk_at_last_test_ = 0.0;
  double bulk_integral_n_ = 0.0;  // of the fraction at level n (bulk model)
  long newton_iterations_ = 0;
  long split_steps_ = 0;
  double end_fraction_ = static_cast<double>(0.01f);  // as in the published end test
  SavedLevel saved_;
  std::string newton_failure_;
  std::string failure_;
};

}  // namespace kt
