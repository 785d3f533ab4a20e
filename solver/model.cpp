// The ablation model: run constants, the 65-node moving grid, and the steps of one time step.
// Scaled units (see model.h). Explicit kinetics, implicit heat step solved by the three-diagonal
// sweep three times per step with coefficients rebuilt from the latest temperature.
#include "solver/model.h"

#include <algorithm>
#include <cmath>

#include "solver/pulse_shapes.h"

namespace kt {

namespace {

constexpr double widen(float value) {
  return static_cast<double>(value);
}

const double kSurfaceCell = widen(0.02f);
const double kUniformEnd = widen(0.46f);
const double kStretchStart = widen(0.48f);
const double kGridFactor = widen(0.2f);
const double kStepPer15ns = widen(0.006f);
const double kFifteenNs = widen(1.5e-8f);
const double kClosedChannel = widen(1e-6f);
const double kEndFraction = widen(0.01f);

}  // namespace

bool apply_run_clamps(ParameterSet& parameters) {
  bool changed = false;
  if (parameters.pulse_width < 1.0f) {
    parameters.pulse_width = 1.0f;
    changed = true;
  }
  if (parameters.fluence > 10000.0f) {
    parameters.fluence = 10000.0f;
    changed = true;
  }
  return changed;
}

double model_time_step_ns(double pulse_width_ns) {
  return kStepPer15ns * (pulse_width_ns * kNanosecond) / kFifteenNs / kNanosecond;
}

RunConstants compute_run_constants(const ParameterSet& parameters) {
  ParameterSet p = parameters;
  RunConstants r;
  r.model =
      p.ablation_model == AblationModel::surface ? AblationModel::surface : AblationModel::bulk;

  // The model switch acts on the run's own copies.
  if (r.model == AblationModel::surface) {
    p.pre_exponential_vom = 0.0f;
    p.pre_exponential_ko = 0.0f;
    p.activation_energy_em = 0.0f;
    p.activation_energy_eb = 0.0f;
    p.sublimation_enthalpy_dhm = 0.0f;
    p.sublimation_enthalpy_dhb = 0.0f;
  } else {
    p.pre_exponential_vo = 0.0f;
    p.sublimation_enthalpy_dh = 0.0f;
  }

  const double alpha = p.absorption_coefficient;
  const double rho = p.density;
  const double c = p.specific_heat;
  const double kappa = p.thermal_conductivity;

  apply_run_clamps(p);
  r.pulse_seconds = static_cast<double>(p.pulse_width) * kNanosecond;
  r.fluence = p.fluence;
  r.peak_intensity = r.fluence / r.pulse_seconds / 1e10;
  r.pulse_duration = r.pulse_seconds / kTimeUnit;
  r.front_time = r.pulse_duration * 2.0 * (static_cast<double>(p.front_fraction) / 100.0);
  r.pulse_end = 2.0 * r.pulse_duration;
  r.heating_scale = alpha * 1e10 * kTimeUnit / (c * rho) / 1000.0;
  r.diffusivity = alpha * alpha * kappa * kTimeUnit / (c * rho);
  r.activation_ea =
      static_cast<double>(p.activation_energy_ea) * kElectronVoltKelvin / r.heating_scale;
  r.activation_em =
      static_cast<double>(p.activation_energy_em) * kElectronVoltKelvin / r.heating_scale;
  r.activation_eb =
      static_cast<double>(p.activation_energy_eb) * kElectronVoltKelvin / r.heating_scale;
  r.rate_vo = static_cast<double>(p.pre_exponential_vo) * kTimeUnit * alpha;
  r.rate_vom = static_cast<double>(p.pre_exponential_vom) * kTimeUnit * alpha;
  r.rate_ko = static_cast<double>(p.pre_exponential_ko) * kTimeUnit;
  r.enthalpy_dh = static_cast<double>(p.sublimation_enthalpy_dh) / r.heating_scale / c;
  r.enthalpy_dhm = static_cast<double>(p.sublimation_enthalpy_dhm) / r.heating_scale / c;
  r.enthalpy_dhb = static_cast<double>(p.sublimation_enthalpy_dhb) / r.heating_scale / c / rho;
  r.ambient = static_cast<double>(p.ambient_temperature) / r.heating_scale;
  r.screening = static_cast<double>(p.screening_coefficient) / alpha;
  r.time_step = kStepPer15ns * r.pulse_seconds / kFifteenNs;
  r.output_period = static_cast<double>(p.output_interval) * r.pulse_seconds / kFifteenNs;

  r.absorption_coefficient = alpha;
  r.ambient_temperature = p.ambient_temperature;
  r.volatile_fraction = p.volatile_fraction;

  r.pulse.shape =
      p.pulse_shape == PulseShape::rectangle ? PulseShape::rectangle : PulseShape::triangle;
  r.pulse.reflection = p.reflection_coefficient;
  r.pulse.front_time = r.front_time;
  r.material.polyimide = p.material == Material::polyimide;
  r.material.ambient = r.ambient;
  r.material.heating_scale = r.heating_scale;
  r.material.specific_heat = c;
  r.material.thermal_conductivity = kappa;

  r.cell_max = kGridFactor * (1.0 + std::sqrt(r.diffusivity * r.pulse_duration));
  r.cell_ratio = std::exp(std::log(r.cell_max / kSurfaceCell) / kStretchedCells);
  r.stretched_length =
      kSurfaceCell * (std::pow(r.cell_ratio, kStretchedCells) - 1.0) / (r.cell_ratio - 1.0);
  return r;
}

void build_depth_grid(const RunConstants& r, NodeArray& z) {
  for (int k = 1; k <= kLastUniformNode; ++k) z[k] = kSurfaceCell * static_cast<double>(k - 1);
  const double q = r.cell_ratio;
  for (int i = 0; i <= kStretchedCells; ++i) {
    z[kFirstStretchedNode + i] =
        kStretchStart + kSurfaceCell * (1.0 - std::pow(q, static_cast<double>(i))) / (1.0 - q);
  }
  for (int i = 1; i <= kUniformFarCells; ++i) {
    z[kLastStretchedNode + i] =
        kStretchStart + r.stretched_length + static_cast<double>(i) * r.cell_max;
  }
  // The last cell is h - 0.02 long: measured from 0.46, not 0.48.
  z[kNodeCount] = kUniformEnd + r.stretched_length + (kUniformFarCells + 1.0) * r.cell_max;
}

void reset_solver_state(SolverState& s) {
  s.temperature_rise.fill(0.0);
  s.theta_previous.fill(0.0);
  s.broken_fraction_old.fill(0.0);
  s.broken_fraction_new.fill(0.0);
  s.intensity_profile.fill(0.0);
  s.front_velocity = 0.0;
  s.front_channels = FrontVelocity{};
  s.depth_a = 0.0;
  s.depth_m = 0.0;
  s.depth_total = 0.0;
  s.bulk_integral = 0.0;
  s.bulk_integral_at_last_test = 0.0;
  s.end_test_done = false;
  s.step_index = 1;
}

void compute_surface_intensity(const RunConstants& r, SolverState& s, double t) {
  s.intensity_profile[1] = step_pulse_intensity(r, t) * std::exp(-r.screening * s.depth_total);
}

double step_pulse_intensity(const RunConstants& r, double t) {
  if (r.pulse_profile != nullptr) return profile_step_intensity(r, t);
  return pulse_intensity(r.pulse, t, r.peak_intensity, r.pulse_duration);
}

void compute_intensity_profile(const RunConstants& r, SolverState& s) {
  const NodeArray& z = s.depth_grid;
  NodeArray& intensity = s.intensity_profile;
  for (int k = 1; k <= r.node_count - 1; ++k) {
    intensity[k + 1] = intensity[k] * (1.0 - (z[k + 1] - z[k]));
  }
}

namespace {

// The arguments of the two channels' exponentials, shared by the front velocity and the surface
// condition of the heat step so that both evaluate the very same expression.
double channel_a_argument(const RunConstants& r, double theta_s) {
  return -std::max(r.activation_ea, 0.0) / theta_s;
}

double channel_m_argument(const RunConstants& r, double theta_s, double fraction_surface) {
  return -r.activation_em / ((fraction_surface + kClosedChannel) * theta_s);
}

double reaction_argument(const RunConstants& r, double theta) {
  return -r.activation_eb / (r.ambient + theta);
}

}  // namespace

FrontVelocity front_velocity_at(const RunConstants& r, double theta_surface,
                                double fraction_surface) {
  const double theta_s = r.ambient + theta_surface;
  FrontVelocity v;
  v.channel_a = r.rate_vo * std::exp(channel_a_argument(r, theta_s));
  v.channel_m = r.rate_vom * std::exp(channel_m_argument(r, theta_s, fraction_surface));
  return v;
}

FrontVelocity front_velocity_at(const RunConstants& r, double theta_surface,
                                double fraction_surface, SolverState& s) {
  const double theta_s = r.ambient + theta_surface;
  FrontVelocity v;
  v.channel_a = r.rate_vo * s.channel_a_exponential(channel_a_argument(r, theta_s));
  v.channel_m =
      r.rate_vom * s.channel_m_exponential(channel_m_argument(r, theta_s, fraction_surface));
  return v;
}

void advance_front(const RunConstants& r, SolverState& s) {
  const FrontVelocity v = front_velocity_at(r, s.temperature_rise[1], s.broken_fraction_new[1], s);
  s.front_channels = v;
  s.front_velocity = v.total();
  s.depth_a += v.channel_a * r.time_step;
  s.depth_m += v.channel_m * r.time_step;
  s.depth_total = s.depth_a + s.depth_m;
}

namespace {

// exp(-Eb'/(T0' + theta[k])) of nodes first ... last, through the state's per-node memos when
// `memo` is set. The arguments are taken in a loop of their own, which the compiler vectorises.
void take_reaction_exponentials(const RunConstants& r, SolverState& s, int first, int last,
                                bool memo, NodeArray& exponential) {
  const NodeArray& theta = s.temperature_rise;
  NodeArray argument;
  for (int k = first; k <= last; ++k) argument[k] = reaction_argument(r, theta[k]);
  if (memo) {
    for (int k = first; k <= last; ++k) exponential[k] = s.reaction_exponential[k](argument[k]);
  } else {
    for (int k = first; k <= last; ++k) exponential[k] = std::exp(argument[k]);
  }
}

}  // namespace

void update_broken_fraction(const RunConstants& r, SolverState& s) {
  const int last = r.node_count - 1;
  const NodeArray& z = s.depth_grid;
  const NodeArray& old_phi = s.broken_fraction_old;
  NodeArray& new_phi = s.broken_fraction_new;
  const double v = s.front_velocity;
  const double dt = r.time_step;
  // Without the volume reaction (ko' = 0, the surface model) its term is zero.
  NodeArray reaction;
  if (r.rate_ko == 0.0) {
    for (int k = 1; k <= last; ++k) reaction[k] = 0.0;
  } else {
    take_reaction_exponentials(r, s, 1, last, true, reaction);
    for (int k = 1; k <= last; ++k) reaction[k] = r.rate_ko * reaction[k] * (1.0 - old_phi[k]);
  }
  for (int k = 1; k <= last; ++k) {
    const double transport = v * (old_phi[k + 1] - old_phi[k]) / (z[k + 1] - z[k]);
    const double value = old_phi[k] + dt * (reaction[k] + transport);
    // The explicit step may overshoot at high fluence; a fraction stays within [0, 1].
    new_phi[k] = std::clamp(value, 0.0, 1.0);
  }
}

void compute_bulk_integral(const RunConstants& r, SolverState& s) {
  s.bulk_integral = integrate_profile(s.depth_grid, s.broken_fraction_new, r.node_count);
}

void heat_step(const RunConstants& r, SolverState& s) {
  const int n = r.node_count;
  const NodeArray& z = s.depth_grid;
  const NodeArray& phi_old = s.broken_fraction_old;
  const NodeArray& phi_new = s.broken_fraction_new;
  const NodeArray& intensity = s.intensity_profile;
  NodeArray& theta = s.temperature_rise;
  NodeArray& cf = s.heat_capacity_factor;
  NodeArray& kf = s.conduction_factor;
  const double d = r.diffusivity;
  const double dt = r.time_step;
  const double loss = kHeatLossFactor * d;
  const double sink_rate = r.enthalpy_dhb * r.rate_ko;

  for (int k = 1; k <= n; ++k) s.theta_previous[k] = theta[k];
  // The grid's cell widths at each inner node and their products, the same in every sweep:
  // dm = z[k] - z[k-1], dp = z[k+1] - z[k], dbar = (dm + dp)/2.
  NodeArray dm, dp, dbar, dm_dbar, dp_dbar;
  for (int k = 2; k <= n - 1; ++k) {
    dm[k] = z[k] - z[k - 1];
    dp[k] = z[k + 1] - z[k];
    dbar[k] = (dm[k] + dp[k]) / 2.0;
    dm_dbar[k] = dm[k] * dbar[k];
    dp_dbar[k] = dp[k] * dbar[k];
  }

  for (int sweep = 1; sweep <= r.sweeps; ++sweep) {
    // Each node's property factors once per sweep (cf is needed at the inner nodes only).
    for (int k = 1; k <= n; ++k) kf[k] = conductivity_factor(r.material, theta[k]);
    for (int k = 2; k <= n - 1; ++k) cf[k] = specific_heat_factor(r.material, theta[k]);
    const double v = s.front_velocity;
    // The coefficients in a loop without calls, which the compiler vectorises; the heat sink of
    // the volume reaction follows when there is one.
    for (int k = 2; k <= n - 1; ++k) {
      const double km = (kf[k] + kf[k - 1]) / 2.0;
      const double kp = (kf[k] + kf[k + 1]) / 2.0;
      const double c = cf[k];
      s.coefficient_a[k] = d * km / (dm_dbar[k] * c);
      s.coefficient_c[k] = d * kp / (dp_dbar[k] * c) + v / dp[k];
      s.coefficient_b[k] = 1.0 / dt + v / dp[k] + d * (km / dm[k] + kp / dp[k]) / (dbar[k] * c) +
                           loss * kf[k] / (kHeatLossLength * kHeatLossLength * c);
      s.coefficient_g[k] = s.theta_previous[k] / dt + intensity[k] / c;
    }
    // Without the volume reaction (surface model) the heat sink is zero.
    if (sink_rate != 0.0) {
      // The first sweep sees the theta of the bond kinetics, whose exponentials the memos hold;
      // the later sweeps see a new theta at every node and leave the memos as they are.
      NodeArray reaction;
      take_reaction_exponentials(r, s, 2, n - 1, sweep == 1, reaction);
      for (int k = 2; k <= n - 1; ++k) {
        const double phi_mean = (phi_old[k] + phi_new[k]) / 2.0;
        s.coefficient_g[k] -= sink_rate * (1.0 - phi_mean) * reaction[k] / cf[k];
      }
    }
    // Surface: the conductive flux over the first cell carries the heat of sublimation.
    const double theta_s = r.ambient + theta[1];
    const double e_star = std::max(r.activation_ea, 0.0);
    // E*/Ea' tends to 1 as Ea' tends to 0; use that limit instead of 0/0.
    const double energy_ratio = r.activation_ea == 0.0 ? 1.0 : e_star / r.activation_ea;
    const double heat_of_ablation =
        r.enthalpy_dh * r.rate_vo * energy_ratio *
            s.channel_a_exponential(channel_a_argument(r, theta_s)) +
        r.enthalpy_dhm * r.rate_vom *
            s.channel_m_exponential(channel_m_argument(r, theta_s, phi_new[1]));
    const double mu1 = -(kSurfaceCell / (d * kf[1])) * heat_of_ablation;
    solve_tridiagonal(theta, s.coefficient_a, s.coefficient_c, s.coefficient_b, s.coefficient_g,
                      1.0, 0.0, mu1, 0.0, n, s.sweep);
    s.front_channels = front_velocity_at(r, theta[1], phi_new[1], s);
    s.front_velocity = s.front_channels.total();
  }
}

bool end_test(const RunConstants& r, SolverState& s) {
  const double remaining = static_cast<double>(r.step_limit - s.step_index);
  const double rs = remaining * s.front_velocity * r.time_step;
  bool ends = rs < kEndFraction * s.depth_total;
  if (r.model == AblationModel::bulk) {
    compute_bulk_integral(r, s);
    const double rb = (s.bulk_integral - s.bulk_integral_at_last_test) * remaining;
    s.bulk_integral_at_last_test = s.bulk_integral;
    ends = ends && rb < kEndFraction * s.bulk_integral;
  }
  s.end_test_done = true;
  return ends;
}

bool take_time_step(const RunConstants& r, SolverState& s) {
  const double t = static_cast<double>(s.step_index) * r.time_step;
  compute_surface_intensity(r, s, t);
  advance_front(r, s);
  if (t - r.pulse_end > 0.0 && end_test(r, s)) return true;
  compute_intensity_profile(r, s);
  update_broken_fraction(r, s);
  heat_step(r, s);
  return false;
}

bool state_is_sound(const RunConstants& r, const SolverState& s) {
  for (int k = 1; k <= r.node_count; ++k) {
    const double temperature_k = (r.ambient + s.temperature_rise[k]) * r.heating_scale;
    // A NaN fails the comparisons too.
    if (!(temperature_k > 0.0 && temperature_k < kTemperatureCeilingK)) return false;
    if (!std::isfinite(s.broken_fraction_new[k])) return false;
  }
  const double velocity_cm_s = s.front_velocity / (r.absorption_coefficient * kTimeUnit);
  return std::abs(velocity_cm_s) < kVelocityCeilingCmS &&
         depth_nm(r, s.depth_a) < kDepthCeilingNm && depth_nm(r, s.depth_m) < kDepthCeilingNm &&
         std::isfinite(s.bulk_integral);
}

double depth_nm(const RunConstants& r, double depth) {
  return depth * 1e7 / r.absorption_coefficient;
}

ReportedValues reported_values(const RunConstants& r, const SolverState& s) {
  ReportedValues out;
  out.time_ns = static_cast<double>(s.step_index) * r.time_step * kTimeUnit * 1e9;
  out.surface_temperature_k = (r.ambient + s.temperature_rise[1]) * r.heating_scale;
  out.velocity_cm_s = s.front_velocity / (r.absorption_coefficient * kTimeUnit);
  out.ablated_depth_nm = depth_nm(r, r.model == AblationModel::surface ? s.depth_a : s.depth_m);
  out.surface_fraction = s.broken_fraction_new[1];
  return out;
}

void fill_profile_arrays(const RunConstants& r, const SolverState& s, ProfileArrays& profiles) {
  for (int k = 1; k <= r.node_count; ++k) {
    profiles.profile_depth_nm[k] = static_cast<float>(depth_nm(r, s.depth_grid[k]));
    profiles.profile_temperature_k[k] =
        static_cast<float>((r.ambient + s.temperature_rise[k]) * r.heating_scale);
    profiles.profile_fraction[k] = static_cast<float>(s.broken_fraction_new[k]);
  }
}

}  // namespace kt
