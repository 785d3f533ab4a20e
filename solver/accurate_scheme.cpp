// The accurate scheme (see accurate_scheme.h): vertex-centred finite volumes on the run's grid,
// BDF2 in time, Newton's method on the bordered tridiagonal system, semi-Lagrangian bonds.
#include "solver/accurate_scheme.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "params/setting_words.h"
#include "solver/calculation_run.h"
#include "solver/cubic_stencil.h"
#include "solver/newton.h"
#include "solver/pulse_shapes.h"
#include "solver/tridiagonal.h"

namespace kt {

namespace {

constexpr int kNewtonLimit = 30;
constexpr int kLargestSplit = 64;          // pieces a step that Newton cannot take is split into
constexpr double kNewtonTolerance = 1e-9;  // relative change of the absolute temperatures
// Keeps the velocity's relative change finite at a standing front (a zero change is then 0).
constexpr double kTinyVelocity = 1e-300;
const double kClosedChannel = static_cast<double>(1e-6f);  // as in the front velocity law

// The weight of the deeper node in the enthalpy carried across a face at cell Peclet number
// pe: exact for steady advection-diffusion with constant coefficients, 1/2 + pe/12 for small pe
// (central, second order) and 1 - 1/pe for large pe (upwind).
double fitted_weight(double pe) {
  if (std::abs(pe) < 1e-3) return 0.5 + pe / 12.0;
  return 0.5 + 0.5 / std::tanh(pe / 2.0) - 1.0 / pe;
}

// rate * exp(argument). The channel the model leaves out has a zero rate and needs no
// exponential when the argument is not positive: the factor is then within [0, 1], so the
// product is the zero rate itself, with its sign.
double channel_velocity(double rate, double argument) {
  if (rate == 0.0 && argument <= 0.0) return rate * 0.0;
  return rate * std::exp(argument);
}

// Integral over [lo, hi] of the parabola through three points (as kernels.cpp's profile
// integral, on a grid of any length).
double parabola_integral(const double* z, const double* f, double lo, double hi) {
  const double s = (f[2] - f[1]) / (z[2] - z[1]);
  const double c2 = (s - (f[0] - f[1]) / (z[0] - z[1])) / (z[2] - z[0]);
  const double c1 = s - (z[2] + z[1]) * c2;
  const double c0 = f[0] - c2 * z[0] * z[0] - c1 * z[0];
  auto primitive = [&](double x) { return c0 * x + c1 * x * x / 2.0 + c2 * x * x * x / 3.0; };
  return primitive(hi) - primitive(lo);
}

}  // namespace

AccurateScheme::AccurateScheme(const RunConstants& constants, const NodeArray& base_grid,
                               int grid_refinement, double depth_factor)
    : r_(constants),
      material_(make_material_integrals(constants.material)),
      loss_rate_(kHeatLossFactor * constants.diffusivity / (kHeatLossLength * kHeatLossLength)) {
  const int m = std::clamp(grid_refinement, 1, kMaximumGridRefinement);
  refinement_ = m;
  const int base_cells = constants.node_count - 1;
  node_count_ = base_cells * m + 1;
  // The extension's nodes below the run's grid.
  std::vector<double> below;
  if (depth_factor > 1.0) {
    const double bottom = base_grid[constants.node_count];
    const double wanted = bottom * depth_factor;
    double cell = (bottom - base_grid[constants.node_count - 1]) / static_cast<double>(m);
    double z = bottom;
    while (z < wanted && node_count_ + static_cast<int>(below.size()) < kProfileCapacity) {
      cell *= kExtensionGrowth;
      z += cell;
      below.push_back(z);
    }
    extended_fully_ = z >= wanted;
  }
  node_count_ += static_cast<int>(below.size());
  const auto size = static_cast<std::size_t>(node_count_);
  for (auto* v : {&z_,
                  &conductance_,
                  &width_,
                  &volume_,
                  &absorbed_,
                  &theta_,
                  &theta_n_,
                  &theta_n1_,
                  &enthalpy_n_,
                  &enthalpy_n1_,
                  &phi_,
                  &phi_n_,
                  &rate_n_,
                  &cf_,
                  &kf_,
                  &enthalpy_,
                  &potential_,
                  &rate_,
                  &face_weight_,
                  &history_,
                  &peclet_n_,
                  &peclet_n1_,
                  &sub_,
                  &diag_,
                  &super_,
                  &column_,
                  &residual_,
                  &work_,
                  &x_,
                  &y_,
                  &departure_phi_,
                  &departure_rate_,
                  &reaction_slope_}) {
    v->assign(size, 0.0);
  }
  for (int i = 0; i < base_cells; ++i) {
    const double lo = base_grid[i + 1];
    const double hi = base_grid[i + 2];
    for (int j = 0; j < m; ++j) {
      z_[static_cast<std::size_t>(i * m + j)] =
          lo + (hi - lo) * static_cast<double>(j) / static_cast<double>(m);
    }
  }
  z_[static_cast<std::size_t>(base_cells * m)] = base_grid[constants.node_count];
  std::copy(below.begin(), below.end(), z_.end() - static_cast<std::ptrdiff_t>(below.size()));
  const int n = node_count_ - 1;
  double face_before = 0.0;
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    width_[i] = z_[i + 1] - z_[i];
    conductance_[i] = constants.diffusivity / width_[i];
    const double face = (z_[i] + z_[i + 1]) / 2.0;
    volume_[i] = face - face_before;
    absorbed_[i] = -std::exp(-face_before) * std::expm1(-(face - face_before));
    face_before = face;
  }
  transmitted_ = std::exp(-face_before);
  // The weights of every four-node stencil of the fraction's interpolation.
  stencil_weights_.assign(4 * static_cast<std::size_t>(node_count_ - 3), 0.0);
  for (int first = 0; first + 4 <= node_count_; ++first) {
    stencil_weights(z_.data() + first, stencil_weights_.data() + 4 * first);
  }
  const MaterialPoint ambient = evaluate_material(material_, 0.0);
  const double ambient_rate =
      r_.rate_ko == 0.0 ? 0.0 : r_.rate_ko * std::exp(-r_.activation_eb / r_.ambient);
  for (std::size_t i = 0; i < size; ++i) {
    cf_[i] = ambient.heat_capacity;
    kf_[i] = ambient.conduction;
    rate_n_[i] = ambient_rate;
    rate_[i] = ambient_rate;
  }
}

bool AccurateScheme::end_test(const SolverState& s) {
  const double remaining = static_cast<double>(r_.step_limit - s.step_index);
  const double depth = depth_a_n_ + depth_m_n_ - depth_offset_;
  bool ends = remaining * velocity_n_ * r_.time_step < end_fraction_ * depth;
  if (r_.model == AblationModel::bulk) {
    const double integral = bulk_integral_n_;
    const double rb = (integral - bulk_at_last_test_) * remaining;
    bulk_at_last_test_ = integral;
    ends = ends && rb < end_fraction_ * integral;
  }
  return ends;
}

double AccurateScheme::bulk_integral() const {
  const int n = node_count_;
  const double* z = z_.data();
  const double* f = phi_n_.data();
  double sum = 0.0;
  for (int i = 0; i + 2 < n; ++i) sum += parabola_integral(z + i, f + i, z[i], z[i + 1]);
  sum += parabola_integral(z + n - 3, f + n - 3, z[n - 2], z[n - 1]);
  return sum;
}

void AccurateScheme::transport_fraction(double depth_change, double dt) {
  const int n = node_count_ - 1;
  if (r_.rate_ko == 0.0) return;  // no reaction: phi stays 0 (and rate_ 0)
  for (int k = 0; k < n; ++k) {
    rate_[static_cast<std::size_t>(k)] =
        r_.rate_ko *
        std::exp(-r_.activation_eb / (r_.ambient + theta_[static_cast<std::size_t>(k)]));
  }
  // The fraction and the rate at every departure point, then the reaction along the paths in
  // a loop of its own (its exponentials one after another, with nothing else to wait for).
  const double* z = z_.data();
  int j = 0;
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const double departure = std::max(z_[i] + depth_change, 0.0);
    double phi_departure = 0.0;
    double rate_departure = rate_n_[static_cast<std::size_t>(n)];
    if (departure < z_[static_cast<std::size_t>(n)]) {
      while (z_[static_cast<std::size_t>(j + 1)] <= departure) ++j;
      const int first = std::clamp(j - 1, 0, node_count_ - 4);
      const CubicPair at =
          cubic_pair(z + first, stencil_weights_.data() + 4 * static_cast<std::size_t>(first),
                     phi_n_.data() + first, rate_n_.data() + first, departure);
      phi_departure = std::clamp(at.first, 0.0, 1.0);
      rate_departure = std::max(at.second, 0.0);
    }
    departure_phi_[i] = phi_departure;
    departure_rate_[i] = rate_departure;
  }
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    phi_[i] =
        1.0 - (1.0 - departure_phi_[i]) * std::exp(-dt * (departure_rate_[i] + rate_[i]) / 2.0);
  }
}

void AccurateScheme::evaluate(double surface_light, double a0, double dt) {
  const int n = node_count_ - 1;
  const double v = velocity_;
  evaluate_material_nodes(material_, theta_.data(), static_cast<std::size_t>(n), cf_.data(),
                          kf_.data(), enthalpy_.data(), potential_.data());

  // The front: channel velocities, the heat of ablation and their slopes in theta_s.
  const double theta_s = r_.ambient + theta_[0];
  const double ea = std::max(r_.activation_ea, 0.0);
  // E*/Ea' of the published surface condition: 1, or 0 for a negative Ea'.
  const double energy_ratio = r_.activation_ea < 0.0 ? 0.0 : 1.0;
  const double em = r_.activation_em / (phi_[0] + kClosedChannel);
  channel_a_ = channel_velocity(r_.rate_vo, -ea / theta_s);
  channel_m_ = channel_velocity(r_.rate_vom, -em / theta_s);
  const double slope_a = channel_a_ * ea / (theta_s * theta_s);
  const double slope_m = channel_m_ * em / (theta_s * theta_s);
  const double latent = r_.enthalpy_dh * energy_ratio * channel_a_ + r_.enthalpy_dhm * channel_m_;
  const double latent_slope = r_.enthalpy_dh * energy_ratio * slope_a + r_.enthalpy_dhm * slope_m;
  slope_a_ = slope_a;
  slope_m_ = slope_m;
  latent_slope_ = latent_slope;
  velocity_residual_ = v - (channel_a_ + channel_m_);
  velocity_slope_ = -(slope_a + slope_m);

  // Flux towards the surface across the face above node k (the surface outflow for k = 0) and
  // its derivatives in the node above, the node below and v.
  double flux_above = v * enthalpy_[0] + latent;
  double above_by_upper = 0.0;
  double above_by_lower = v * cf_[0] + latent_slope;
  double above_by_v = enthalpy_[0];
  const double sink_scale = r_.enthalpy_dhb;
  const double depth_slope = r_.screening * dt / a0;
  double reaction = 0.0;
  double loss = 0.0;
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const bool inner = k + 1 < n;
    const double w = face_weight_[i];
    const double h_below = inner ? enthalpy_[i + 1] : far_enthalpy_;
    const double p_below = inner ? potential_[i + 1] : far_potential_;
    const double conductance = conductance_[i];
    const double flux_below =
        v * (w * h_below + (1.0 - w) * enthalpy_[i]) + conductance * (p_below - potential_[i]);
    const double below_by_self = v * (1.0 - w) * cf_[i] - conductance * kf_[i];
    const double below_by_lower = inner ? v * w * cf_[i + 1] + conductance * kf_[i + 1] : 0.0;
    const double below_by_v = w * h_below + (1.0 - w) * enthalpy_[i];

    const double temperature = r_.ambient + theta_[i];
    const double sink = sink_scale * (1.0 - phi_[i]) * rate_[i];
    const double sink_slope = sink * r_.activation_eb / (temperature * temperature);
    const double volume_loss = loss_rate_ * kf_[i] * theta_[i];
    const double light = surface_light * absorbed_[i];
    const double capacity = volume_[i] / dt;

    residual_[i] = capacity * (a0 * enthalpy_[i] - history_[i]) - flux_below + flux_above - light +
                   volume_[i] * (sink + volume_loss);
    sub_[i] = above_by_upper;
    diag_[i] = capacity * a0 * cf_[i] - below_by_self + above_by_lower +
               volume_[i] * (sink_slope + loss_rate_ * kf_[i]);
    super_[i] = -below_by_lower;
    column_[i] = -below_by_v + above_by_v + depth_slope * light;
    reaction += volume_[i] * sink;
    reaction_slope_[i] = volume_[i] * sink_slope;
    loss += volume_[i] * volume_loss;

    flux_above = flux_below;
    above_by_upper = below_by_self;
    above_by_lower = below_by_lower;
    above_by_v = below_by_v;
  }
  sensible_by_theta_ = v * cf_[0];
  sensible_by_v_ = enthalpy_[0];
  far_by_theta_ = above_by_upper;
  far_by_v_ = above_by_v;
  light_by_v_ = -depth_slope * surface_light;
  flows_.light = surface_light;
  flows_.sensible = v * enthalpy_[0];
  flows_.latent = latent;
  flows_.reaction = reaction;
  flows_.loss = loss;
  flows_.far = -flux_above + surface_light * transmitted_;
}

void AccurateScheme::advance_flows(double dv) {
  // Summed over the volumes, the Newton system says that the stored energy's change (taken
  // with cf dtheta, as the enthalpies are) equals these changes of the flows: the ledger
  // closes at the accepted iterate.
  const int n = node_count_ - 1;
  const auto last = static_cast<std::size_t>(n - 1);
  const double x0 = x_[0];
  double reaction = 0.0;
  double loss = 0.0;
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    reaction += reaction_slope_[i] * x_[i];
    loss += volume_[i] * loss_rate_ * kf_[i] * x_[i];
  }
  const double light = light_by_v_ * dv;
  flows_.light += light;
  flows_.sensible += sensible_by_theta_ * x0 + sensible_by_v_ * dv;
  flows_.latent += latent_slope_ * x0;
  flows_.reaction += reaction;
  flows_.loss += loss;
  flows_.far += -(far_by_theta_ * x_[last] + far_by_v_ * dv) + light * transmitted_;
  channel_a_ += slope_a_ * x0;
  channel_m_ += slope_m_ * x0;
}

void AccurateScheme::solve_newton_system() {
  // T x = -R and T y = column in one elimination; then the velocity row
  // slope x0 + dv = -velocity_residual gives dv, and dtheta = x - y dv (stored in x_).
  const int n = node_count_ - 1;
  solve_tridiagonal_rows(
      n,
      [&](int k) {
        const auto i = static_cast<std::size_t>(k);
        return TridiagonalRow{sub_[i], diag_[i], super_[i], -residual_[i], column_[i]};
      },
      x_.data(), work_.data(), y_.data());
  const double dv =
      (-velocity_residual_ - velocity_slope_ * x_[0]) / (1.0 - velocity_slope_ * y_[0]);
  for (int k = 0; k < n; ++k)
    x_[static_cast<std::size_t>(k)] -= y_[static_cast<std::size_t>(k)] * dv;
  y_[static_cast<std::size_t>(n)] = dv;  // the velocity update rides in the last slot
}

bool AccurateScheme::take_time_step(SolverState& s) {
  const double dt = r_.time_step;
  const double t = static_cast<double>(s.step_index) * dt;
  if (t - r_.pulse_end > 0.0 && end_test(s)) return true;
  if (!solve_step(t, dt, steps_done_ == 0)) {
    // A step that did not converge left level n as it was.
    save_level();
    // Split the step into 2, 4, ... 64 equal steps ending at the same instant, the first a
    // backward Euler step; the next whole step restarts BDF2 the same way.
    bool done = false;
    for (int pieces = 2; pieces <= kLargestSplit && !done; pieces *= 2) {
      const double h = dt / static_cast<double>(pieces);
      done = true;
      for (int j = 1; j <= pieces && done; ++j) {
        done = solve_step(t - dt + static_cast<double>(j) * h, h, j == 1);
      }
      if (!done) restore_level();
    }
    if (!done) {
      failure_ = newton_failure_;
      return false;
    }
    ++split_steps_;
    steps_done_ = 0;
  }
  if (r_.model == AblationModel::bulk) bulk_integral_n_ = bulk_integral();
  publish(s);
  return false;
}

void AccurateScheme::restore_level() {
  // The saved level n (the values before the first piece of a split step).
  theta_n_ = saved_.theta;
  theta_n1_ = saved_.theta1;
  enthalpy_n_ = saved_.enthalpy;
  enthalpy_n1_ = saved_.enthalpy1;
  phi_n_ = saved_.phi;
  rate_n_ = saved_.rate;
  peclet_n_ = saved_.peclet;
  peclet_n1_ = saved_.peclet1;
  velocity_n_ = saved_.velocity;
  velocity_n1_ = saved_.velocity1;
  depth_a_n_ = saved_.depth_a;
  depth_a_n1_ = saved_.depth_a1;
  depth_m_n_ = saved_.depth_m;
  depth_m_n1_ = saved_.depth_m1;
  sums_ = saved_.sums;
  last_increment_ = saved_.increment;
}

void AccurateScheme::save_level() {
  saved_ = SavedLevel{theta_n_,   theta_n1_,   enthalpy_n_, enthalpy_n1_,   phi_n_,     rate_n_,
                      peclet_n_,  peclet_n1_,  velocity_n_, velocity_n1_,   depth_a_n_, depth_a_n1_,
                      depth_m_n_, depth_m_n1_, sums_,       last_increment_};
}

bool AccurateScheme::solve_step(double t, double dt, bool first) {
  const int n = node_count_ - 1;
  const auto last = static_cast<std::size_t>(n);
  const double a0 = first ? 1.0 : 1.5;
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    history_[i] = first ? enthalpy_n_[i] : 2.0 * enthalpy_n_[i] - 0.5 * enthalpy_n1_[i];
    // Face weights from the Peclet numbers extrapolated to the new level.
    face_weight_[i] = fitted_weight(first ? peclet_n_[i] : 2.0 * peclet_n_[i] - peclet_n1_[i]);
    // Predictor: linear extrapolation.
    theta_[i] = first ? theta_n_[i] : 2.0 * theta_n_[i] - theta_n1_[i];
    theta_[i] = std::max(theta_[i], -r_.ambient / 2.0);
  }
  const double history_a = first ? depth_a_n_ : 2.0 * depth_a_n_ - 0.5 * depth_a_n1_;
  const double history_m = first ? depth_m_n_ : 2.0 * depth_m_n_ - 0.5 * depth_m_n1_;
  velocity_ = first ? velocity_n_ : std::max(2.0 * velocity_n_ - velocity_n1_, 0.0);
  const double pulse = bdf2_pulse_intensity(r_, t, dt, first);
  const double depth_n = depth_a_n_ + depth_m_n_;

  bool converged = false;
  double previous_change = 0.0;  // relative size of the last full update (0: none yet)
  for (int iteration = 1; iteration <= kNewtonLimit && !converged; ++iteration) {
    ++newton_iterations_;
    const double depth = (history_a + history_m + dt * velocity_) / a0;
    transport_fraction(depth - depth_n, dt);
    if (incubation_) absorb_with_damage();
    evaluate(pulse * screening_exponential_(-r_.screening * (depth - depth_offset_)), a0, dt);
    solve_newton_system();
    const double dv = y_[last];
    const NewtonUpdate update =
        measure_newton_step(theta_.data(), x_.data(), static_cast<std::size_t>(n), r_.ambient);
    if (!update.finite || !std::isfinite(dv)) break;
    const double scale = update.scale;
    for (int k = 0; k < n; ++k) {
      const auto i = static_cast<std::size_t>(k);
      theta_[i] += scale * x_[i];
      enthalpy_[i] += scale * cf_[i] * x_[i];  // to second order in the update
    }
    velocity_ += scale * dv;
    converged = update.converged(kNewtonTolerance) &&
                std::abs(dv) <= kNewtonTolerance * std::abs(velocity_) + 1e-300;
    // The temperatures' and the velocity's relative change together; once two full updates
    // show the iteration contracting fast enough, the rest is below the tolerance.
    const double change =
        std::max(update.largest, std::abs(dv) / (std::abs(velocity_) + kTinyVelocity));
    converged =
        converged || (scale == 1.0 && newton_settled(change, previous_change, kNewtonTolerance));
    previous_change = scale == 1.0 ? change : 0.0;
    if (converged) advance_flows(dv);
  }
  if (!converged) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer,
                  "the implicit step did not converge in %d Newton iterations, even split into "
                  "%d steps (surface temperature %.4g K, front velocity %.4g cm/s): the heat of "
                  "ablation or of the volume reaction changes faster than the step can follow",
                  kNewtonLimit, kLargestSplit, (r_.ambient + theta_[0]) * r_.heating_scale,
                  velocity_ / (r_.absorption_coefficient * kTimeUnit));
    newton_failure_ = buffer;
    return false;
  }

  // Accept the new level.
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    theta_n1_[i] = theta_n_[i];
    theta_n_[i] = theta_[i];
    enthalpy_n1_[i] = enthalpy_n_[i];
    enthalpy_n_[i] = enthalpy_[i];
    phi_n_[i] = phi_[i];
    rate_n_[i] = rate_[i];
    const double cf = (cf_[i] + cf_[i + 1]) / 2.0;
    const double kf = (kf_[i] + kf_[i + 1]) / 2.0;
    peclet_n1_[i] = peclet_n_[i];
    peclet_n_[i] = velocity_ * width_[i] * cf / (r_.diffusivity * kf);
  }
  velocity_n1_ = velocity_n_;
  velocity_n_ = velocity_;
  const double depth_a = (history_a + dt * channel_a_) / a0;
  const double depth_m = (history_m + dt * channel_m_) / a0;
  depth_a_n1_ = depth_a_n_;
  depth_m_n1_ = depth_m_n_;
  depth_a_n_ = depth_a;
  depth_m_n_ = depth_m;

  // The ledger with the scheme's quadrature: a BDF2 step adds (dt F + increment_n / 2) / 1.5.
  auto add = [&](double rate, double& sum, double& increment) {
    increment = first ? dt * rate : (dt * rate + 0.5 * increment) / 1.5;
    sum += increment;
  };
  add(flows_.light, sums_.light, last_increment_.light);
  add(flows_.sensible, sums_.sensible, last_increment_.sensible);
  add(flows_.latent, sums_.latent, last_increment_.latent);
  add(flows_.reaction, sums_.reaction, last_increment_.reaction);
  add(flows_.far, sums_.far, last_increment_.far);
  add(flows_.loss, sums_.loss, last_increment_.loss);
  add(pulse, sums_.delivered, last_increment_.delivered);
  ++steps_done_;
  return true;
}

void AccurateScheme::publish(SolverState& s) const {
  const int m = refinement_;
  for (int k = 1; k <= r_.node_count; ++k) {
    const auto i = static_cast<std::size_t>((k - 1) * m);
    s.temperature_rise[k] = theta_n_[i];
    s.broken_fraction_new[k] = phi_n_[i];
  }
  s.front_velocity = velocity_n_;
  s.depth_a = depth_a_n_;
  s.depth_m = depth_m_n_;
  s.depth_total = depth_a_n_ + depth_m_n_;
  s.bulk_integral = r_.model == AblationModel::bulk ? bulk_integral_n_ : 0.0;
  // The bulk integral is current after every step (the kinetics line need not compute it).
  s.end_test_done = true;
}

void AccurateScheme::fill_profiles(ProfileArrays& profiles) const {
  for (int k = 0; k < node_count_; ++k) {
    const auto i = static_cast<std::size_t>(k);
    profiles.profile_depth_nm[i + 1] = static_cast<float>(depth_nm(r_, z_[i]));
    profiles.profile_temperature_k[i + 1] =
        static_cast<float>((r_.ambient + theta_n_[i]) * r_.heating_scale);
    profiles.profile_fraction[i + 1] = static_cast<float>(phi_n_[i]);
  }
}

EnergyLedger AccurateScheme::ledger() const {
  EnergyLedger l;
  double stored = 0.0;
  for (int k = 0; k + 1 < node_count_; ++k) {
    stored += volume_[static_cast<std::size_t>(k)] * enthalpy_n_[static_cast<std::size_t>(k)];
  }
  l.light_in = sums_.light;
  l.stored = stored;
  l.ablation_sensible = sums_.sensible;
  l.ablation_latent = sums_.latent;
  l.reaction = sums_.reaction;
  l.far_boundary = sums_.far;
  l.linear_loss = sums_.loss;
  for (double* entry : {&l.light_in, &l.stored, &l.ablation_sensible, &l.ablation_latent,
                        &l.reaction, &l.far_boundary, &l.linear_loss}) {
    *entry *= kScaledEnergyMilliJoule;
  }
  close_ledger(l);
  split_incident_light(l, sums_.delivered * kScaledEnergyMilliJoule, r_.pulse.reflection);
  return l;
}

}  // namespace kt

namespace kt {

void AccurateScheme::set_incubation(double absorption_ratio) {
  incubation_ = true;
  incubation_ratio_ = absorption_ratio;
}

void AccurateScheme::absorb_with_damage() {
  const int n = node_count_ - 1;
  const double excess = incubation_ratio_ - 1.0;
  double tau = 0.0;       // at node k
  double tau_face = 0.0;  // at the face above node k
  for (int k = 0; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const double w = width_[i];
    const double face = tau + 0.5 * w * (1.0 + excess * (0.75 * phi_[i] + 0.25 * phi_[i + 1]));
    absorbed_[i] = -std::exp(-tau_face) * std::expm1(-(face - tau_face));
    tau_face = face;
    tau += w * (1.0 + excess * 0.5 * (phi_[i] + phi_[i + 1]));
  }
  transmitted_ = std::exp(-tau_face);
}

void AccurateScheme::start_pulse(const std::vector<double>& theta, const std::vector<double>& phi) {
  for (std::size_t i = 0; i < z_.size(); ++i) {
    const MaterialPoint p = evaluate_material(material_, theta[i]);
    theta_[i] = theta_n_[i] = theta_n1_[i] = theta[i];
    enthalpy_[i] = enthalpy_n_[i] = enthalpy_n1_[i] = p.enthalpy;
    potential_[i] = p.potential;
    cf_[i] = p.heat_capacity;
    kf_[i] = p.conduction;
    phi_[i] = phi_n_[i] = phi[i];
    rate_[i] = rate_n_[i] =
        r_.rate_ko == 0.0 ? 0.0
                          : r_.rate_ko * std::exp(-r_.activation_eb / (r_.ambient + theta[i]));
    peclet_n_[i] = peclet_n1_[i] = 0.0;
  }
  far_enthalpy_ = enthalpy_.back();
  far_potential_ = potential_.back();
  velocity_ = velocity_n_ = velocity_n1_ = 0.0;
  depth_a_n1_ = depth_a_n_;
  depth_m_n1_ = depth_m_n_;
  depth_offset_ = depth_a_n_ + depth_m_n_;
  bulk_integral_n_ = r_.model == AblationModel::bulk ? bulk_integral() : 0.0;
  bulk_at_last_test_ = bulk_integral_n_;
  steps_done_ = 0;
}

}  // namespace kt
