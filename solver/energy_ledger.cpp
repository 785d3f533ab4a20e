// The published scheme's energy ledger: the flows of every step summed with the step length,
// from values the step has computed anyway or a few evaluations at the surface and the far end;
// what depends on the fixed grid alone is taken once per run.
#include "solver/energy_ledger.h"

#include <cmath>
#include <cstdio>

namespace kt {

void close_ledger(EnergyLedger& l) {
  l.residual = l.light_in - l.stored - l.ablation_sensible - l.ablation_latent - l.reaction -
               l.far_boundary - l.linear_loss;
}

void split_incident_light(EnergyLedger& l, double delivered, double reflection) {
  l.screened = delivered - l.light_in;
  l.reflected = reflection < 1.0 ? delivered * reflection / (1.0 - reflection) : 0.0;
}

std::string ledger_problem(const EnergyLedger& l, double tolerance) {
  if (std::fabs(l.residual) <= tolerance * std::fabs(l.light_in)) return {};
  char text[300];
  std::snprintf(text, sizeof text,
                "the energy ledger does not close: of the light's %.4g mJ/cm^2 the scheme "
                "leaves %.4g unaccounted for (%.3g %%; at most %g %% is its known error); the "
                "depths of this run cannot be trusted",
                l.light_in, l.residual, 100.0 * l.residual / l.light_in, 100.0 * tolerance);
  return text;
}

PublishedLedger::PublishedLedger(const RunConstants& constants, const NodeArray& z)
    : constants_(constants),
      material_(make_material_integrals(constants.material)),
      loss_rate_(kHeatLossFactor * constants.diffusivity / (kHeatLossLength * kHeatLossLength)),
      latent_ratio_(constants.activation_ea >= 0.0 ? 1.0 : 0.0),
      far_transmission_(std::exp(-z[constants.node_count])) {
  for (int k = 1; k <= constants.node_count - 1; ++k) cell_width_[k] = z[k + 1] - z[k];
}

// Per step: the front velocity by channel as the heat step left it, one exponential for the
// surface enthalpy, one power for the far node's potential, and one pass over the nodes.
void PublishedLedger::observe_step(const SolverState& s) {
  const RunConstants& r = constants_;
  const int n = r.node_count;
  const NodeArray& theta = s.temperature_rise;
  const NodeArray& kf = s.conduction_factor;
  const double dt = r.time_step;
  const double surface_light = s.intensity_profile[1];
  const FrontVelocity v = s.front_channels;
  sums_.light_in += dt * surface_light;
  delivered_ += dt * step_pulse_intensity(r, static_cast<double>(s.step_index) * dt);
  sums_.ablation_sensible += dt * v.total() * material_enthalpy(material_, theta[1]);
  sums_.ablation_latent +=
      dt * (r.enthalpy_dh * v.channel_a * latent_ratio_ + r.enthalpy_dhm * v.channel_m);
  sums_.far_boundary +=
      dt * (r.diffusivity * material_potential(material_, theta[n - 1]) / cell_width_[n - 1] +
            surface_light * far_transmission_);
  // The linear loss with the trapezoid rule over the nodes, with the conductivity factors of the
  // heat step's last sweep.
  double loss = 0.0;
  double left = theta[1] * kf[1];
  for (int k = 1; k <= n - 1; ++k) {
    const double right = theta[k + 1] * kf[k + 1];
    loss += cell_width_[k] * (left + right) / 2.0;
    left = right;
  }
  sums_.linear_loss += dt * loss_rate_ * loss;
  // The volume reaction: every bond broken took DHb'. d/dt (integral of phi) = (integral of the
  // reaction) - v phi_s, so the bonds broken are the integral of phi at the end plus those
  // carried off through the surface; the integral is added in finish().
  sums_.reaction += dt * r.enthalpy_dhb * v.total() * s.broken_fraction_new[1];
}

EnergyLedger PublishedLedger::finish(const SolverState& s) const {
  NodeArray enthalpy{};
  for (int k = 1; k <= constants_.node_count; ++k) {
    enthalpy[k] = evaluate_material(material_, s.temperature_rise[k]).enthalpy;
  }
  EnergyLedger l = sums_;
  l.stored = integrate_profile(s.depth_grid, enthalpy, constants_.node_count);
  l.reaction += constants_.enthalpy_dhb *
                integrate_profile(s.depth_grid, s.broken_fraction_new, constants_.node_count);
  for (double* entry : {&l.light_in, &l.stored, &l.ablation_sensible, &l.ablation_latent,
                        &l.reaction, &l.far_boundary, &l.linear_loss}) {
    *entry *= kScaledEnergyMilliJoule;
  }
  close_ledger(l);
  split_incident_light(l, delivered_ * kScaledEnergyMilliJoule, constants_.pulse.reflection);
  return l;
}

}  // namespace kt
