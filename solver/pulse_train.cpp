// A train of pulses (see pulse_train.h): the refusals of a pulse plan, the state carried from
// pulse to pulse, the implicit cooling on the wide grid, and the pulse table.
#include "solver/pulse_train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "params/experiment_file.h"
#include "params/number_format.h"
#include "params/setting_words.h"
#include "solver/model.h"
#include "solver/newton.h"
#include "solver/pulse_shapes.h"
#include "solver/result_files.h"
#include "solver/spot_cooling.h"
#include "solver/tridiagonal.h"

namespace kt {

namespace {

constexpr int kNewtonLimit = 30;
constexpr double kNewtonTolerance = 1e-10;  // relative change of the absolute temperatures

// When the pulse is over [ns], for a pulse width [ns].
double pulse_end_ns(const PulsePlan& plan, double width_ns) {
  switch (plan.shape) {
    case PulsePlan::Shape::gaussian:
      return PulseProfile::gaussian(width_ns).end();
    case PulsePlan::Shape::measured:
      return plan.trace ? plan.trace->duration_ns() : 0.0;
    case PulsePlan::Shape::file:
      break;
  }
  return 2.0 * width_ns;
}

}  // namespace

std::string check_pulse_plan(const PulsePlan& plan, Scheme scheme, double width_ns,
                             int refinement) {
  char buffer[400];
  if (plan.pulses < 1) {
    std::snprintf(buffer, sizeof buffer, "the number of pulses is %d; it must be at least 1",
                  plan.pulses);
    return buffer;
  }
  if (plan.incubated_absorption &&
      !(std::isfinite(*plan.incubated_absorption) && *plan.incubated_absorption > 0.0)) {
    std::snprintf(buffer, sizeof buffer,
                  "the incubated absorption is %g 1/cm; it must be a number greater than 0",
                  *plan.incubated_absorption);
    return buffer;
  }
  if (plan.shape == PulsePlan::Shape::measured && (!plan.trace || plan.trace->time_ns.size() < 3)) {
    return "the measured pulse shape needs a pulse trace (" + setting_text("trace", "FILE.csv") +
           ")";
  }
  if (plan.shape != PulsePlan::Shape::file) {
    const double step_ns = model_time_step_ns(width_ns) / std::max(refinement, 1);
    const double steps = pulse_end_ns(plan, width_ns) / step_ns;
    if (!(steps <= kMaximumPulseSteps)) {
      std::snprintf(buffer, sizeof buffer,
                    "the pulse lasts %g ns: at the time step of %g ns (pulse width %g ns) it "
                    "would take %.3g steps; a run takes at most %g",
                    pulse_end_ns(plan, width_ns), step_ns, width_ns, steps, kMaximumPulseSteps);
      return buffer;
    }
  }
  const bool train = plan.pulses > 1;
  if (scheme == Scheme::published && (train || plan.incubated_absorption)) {
    return std::string(train ? "a train of pulses" : "incubation") +
           " runs on the accurate scheme only; choose it with " +
           setting_text("scheme", "accurate");
  }
  if (!train) return {};
  if (!(std::isfinite(plan.rate_hz) && plan.rate_hz >= kMinimumRateHz &&
        plan.rate_hz <= kMaximumRateHz)) {
    std::snprintf(buffer, sizeof buffer,
                  "the pulse rate is %g Hz; a train of %d pulses needs a rate from %g to %g Hz",
                  plan.rate_hz, plan.pulses, kMinimumRateHz, kMaximumRateHz);
    return buffer;
  }
  const double end_ns = pulse_end_ns(plan, width_ns);
  const double interval_ns = 1e9 / plan.rate_hz;
  if (!(interval_ns > end_ns)) {
    std::snprintf(buffer, sizeof buffer,
                  "at %g Hz the pulses overlap: a pulse lasts %.6g ns and the next comes %.6g ns "
                  "after it starts; the rate must be below %.6g Hz",
                  plan.rate_hz, end_ns, interval_ns, 1e9 / end_ns);
    return buffer;
  }
  return {};
}

void limit_train_steps(const PulsePlan& plan, RunConstants& r) {
  if (plan.pulses <= 1) return;
  const double interval = 1.0 / plan.rate_hz / kTimeUnit;
  const double steps = std::floor(interval / r.time_step);
  if (steps < static_cast<double>(r.step_limit))
    r.step_limit = std::max(static_cast<int>(steps), 1);
}

PulseTrain::PulseTrain(const RunConstants& constants, const PulsePlan& plan, AccurateScheme& scheme)
    : r_(constants),
      scheme_(scheme),
      pulses_(plan.pulses),
      interval_(1.0 / plan.rate_hz / kTimeUnit),
      loss_rate_(kHeatLossFactor * constants.diffusivity / (kHeatLossLength * kHeatLossLength)) {
  z_ = scheme.grid();
  run_nodes_ = static_cast<int>(z_.size());
  const MaterialPoint ambient = evaluate_material(scheme.material(), 0.0);
  const double diffusivity = r_.diffusivity * ambient.conduction / ambient.heat_capacity;
  const double reach = z_.back() + kWideReach * std::sqrt(diffusivity * interval_ * pulses_);
  double h = r_.cell_max;
  while (z_.back() < reach) {
    h *= kWideGrowth;
    z_.push_back(z_.back() + h);
  }
  const std::size_t m = z_.size();
  for (auto* v :
       {&width_, &volume_, &theta_, &phi_, &old_enthalpy_, &older_enthalpy_, &sink_, &sink_slope_,
        &cf_, &kf_, &enthalpy_, &potential_, &diag_, &lower_, &upper_, &residual_, &work_}) {
    v->assign(m, 0.0);
  }
  double face_before = 0.0;
  for (std::size_t i = 0; i + 1 < m; ++i) {
    width_[i] = z_[i + 1] - z_[i];
    const double face = (z_[i] + z_[i + 1]) / 2.0;
    volume_[i] =
        i + 1 < static_cast<std::size_t>(run_nodes_) ? scheme.volumes()[i] : face - face_before;
    face_before = face;
  }
}

void PulseTrain::start_pulse(int k) {
  PulseRecord record;
  record.pulse = k;
  if (k > 1) {
    const auto n = static_cast<std::ptrdiff_t>(run_nodes_);
    scheme_.start_pulse(std::vector<double>(theta_.begin(), theta_.begin() + n),
                        std::vector<double>(phi_.begin(), phi_.begin() + n));
  }
  record.surface_temperature_before_k = (r_.ambient + theta_[0]) * r_.heating_scale;
  record.surface_fraction_before = phi_[0];
  if (k > 1) record.cooling_error_k = cooling_error_ * r_.heating_scale;
  records_.push_back(record);
}

void PulseTrain::cumulative_depths(const SolverState& s, double& recession_nm,
                                   double& total_nm) const {
  if (r_.model == AblationModel::surface) {
    recession_nm = depth_nm(r_, s.depth_a);
    total_nm = recession_nm;
    return;
  }
  recession_nm = depth_nm(r_, s.depth_m);
  total_nm =
      recession_nm + r_.volatile_fraction * s.bulk_integral * 1e7 / r_.absorption_coefficient;
}

void PulseTrain::finish_pulse(const SolverState& s, double peak_k, std::int32_t run_steps) {
  PulseRecord& record = records_.back();
  double recession = 0.0;
  double total = 0.0;
  cumulative_depths(s, recession, total);
  record.peak_surface_temperature_k = peak_k;
  record.surface_recession_nm = recession - cumulative_recession_nm_;
  record.total_depth_nm = total - cumulative_total_nm_;
  record.volume_depth_nm = record.total_depth_nm - record.surface_recession_nm;
  record.cumulative_depth_nm = total;
  cumulative_recession_nm_ = recession;
  cumulative_total_nm_ = total;
  pulse_steps_time_ = static_cast<double>(run_steps) * r_.time_step;
  run_time_ns_ += pulse_steps_time_ * kTimeUnit * 1e9;

  // The run's nodes from the scheme; the deep state moves up with the surface.
  const std::size_t n = static_cast<std::size_t>(run_nodes_) - 1;
  const std::vector<double>& theta = scheme_.temperatures();
  const std::vector<double>& phi = scheme_.fractions();
  for (std::size_t i = 0; i < n; ++i) {
    theta_[i] = theta[i];
    phi_[i] = phi[i];
  }
  const double rise = s.depth_total - depth_at_start_;
  depth_at_start_ = s.depth_total;
  // What crossed the run's far boundary this pulse (conduction, the material moving up with its
  // heat, the light passing the grid) belongs to the deep state.
  const double far_sum = scheme_.ledger().far_boundary / kScaledEnergyMilliJoule;
  const double deep_target = deep_heat() + far_sum - far_seen_;
  far_seen_ = far_sum;
  const std::size_t last = z_.size() - 1;
  std::size_t j = n;
  for (std::size_t i = n; i < last; ++i) {
    const double x = z_[i] + rise;
    while (j < last && z_[j + 1] <= x) ++j;
    if (j >= last) {
      theta_[i] = 0.0;
      continue;
    }
    const double s_part = (x - z_[j]) / width_[j];
    theta_[i] = theta_[j] + s_part * (theta_[j + 1] - theta_[j]);
  }
  // The shift places the deep profile; its heat is the balance's, set on its first node.
  const MaterialIntegrals& material = scheme_.material();
  const double wanted =
      material_enthalpy(material, theta_[n]) + (deep_target - deep_heat()) / volume_[n];
  for (int iteration = 0; iteration < 4; ++iteration) {
    const MaterialPoint p = evaluate_material(material, theta_[n]);
    theta_[n] += (wanted - p.enthalpy) / p.heat_capacity;
  }
}

double PulseTrain::deep_heat() const {
  double deep = 0.0;
  for (std::size_t i = static_cast<std::size_t>(run_nodes_) - 1; i + 1 < z_.size(); ++i) {
    deep += volume_[i] * material_enthalpy(scheme_.material(), theta_[i]);
  }
  return deep;
}

bool PulseTrain::cooling_step(double h, double ratio, bool first) {
  // Variable-step BDF2: a0 H_n - (1 + w) H_{n-1} + c H_{n-2} = h (...), w = h_n / h_{n-1},
  // c = w^2 / (1 + w), a0 = 1 + w - c; backward Euler on the first step.
  const double c = first ? 0.0 : ratio * ratio / (1.0 + ratio);
  const double a0 = first ? 1.0 : 1.0 + ratio - c;
  const MaterialIntegrals& material = scheme_.material();
  const std::size_t unknowns = z_.size() - 1;
  const std::size_t reacting = static_cast<std::size_t>(run_nodes_) - 1;
  const double d = r_.diffusivity;
  std::vector<double>& rate_old = work_;
  for (std::size_t i = 0; i < unknowns; ++i) {
    const double previous = material_enthalpy(material, theta_[i]);
    old_enthalpy_[i] = first ? previous : (1.0 + ratio) * previous - c * older_enthalpy_[i];
    older_enthalpy_[i] = previous;
    rate_old[i] = i < reacting && r_.rate_ko != 0.0
                      ? r_.rate_ko * std::exp(-r_.activation_eb / (r_.ambient + theta_[i]))
                      : 0.0;
  }
  bool converged = false;
  for (int iteration = 1; iteration <= kNewtonLimit && !converged; ++iteration) {
    for (std::size_t i = 0; i < unknowns; ++i) {
      const MaterialPoint p = evaluate_material(material, theta_[i]);
      cf_[i] = p.heat_capacity;
      kf_[i] = p.conduction;
      enthalpy_[i] = p.enthalpy;
      potential_[i] = p.potential;
      // The reaction heat at the step's end: phi moved by the trapezoid rule, as below.
      sink_[i] = 0.0;
      sink_slope_[i] = 0.0;
      if (rate_old[i] != 0.0) {
        const double absolute = r_.ambient + theta_[i];
        const double rate = r_.rate_ko * std::exp(-r_.activation_eb / absolute);
        const double unbroken = (1.0 - phi_[i]) * std::exp(-h * (rate_old[i] + rate) / 2.0);
        sink_[i] = r_.enthalpy_dhb * unbroken * rate;
        sink_slope_[i] = sink_[i] * r_.activation_eb / (absolute * absolute);
      }
    }
    double flux_above = 0.0;  // from node i into node i - 1
    for (std::size_t i = 0; i < unknowns; ++i) {
      const bool inner = i + 1 < unknowns;
      const double conductance = d / width_[i];
      const double flux_below = conductance * ((inner ? potential_[i + 1] : 0.0) - potential_[i]);
      residual_[i] = volume_[i] * (a0 * enthalpy_[i] - old_enthalpy_[i]) / h - flux_below +
                     flux_above + volume_[i] * (loss_rate_ * kf_[i] * theta_[i] + sink_[i]);
      diag_[i] = volume_[i] * (a0 * cf_[i] / h + loss_rate_ * kf_[i] + sink_slope_[i]) +
                 conductance * kf_[i] + (i > 0 ? d / width_[i - 1] * kf_[i] : 0.0);
      upper_[i] = inner ? -conductance * kf_[i + 1] : 0.0;
      lower_[i] = i > 0 ? -d / width_[i - 1] * kf_[i - 1] : 0.0;
      flux_above = flux_below;
    }
    // J dx = -R (dx in residual_).
    solve_tridiagonal_rows(
        static_cast<int>(unknowns),
        [&](int k) {
          const auto i = static_cast<std::size_t>(k);
          return TridiagonalRow{lower_[i], diag_[i], upper_[i], -residual_[i]};
        },
        residual_.data(), upper_.data());
    const NewtonUpdate update =
        measure_newton_step(theta_.data(), residual_.data(), unknowns, r_.ambient);
    if (!update.finite) break;
    for (std::size_t i = 0; i < unknowns; ++i) theta_[i] += update.scale * residual_[i];
    converged = update.converged(kNewtonTolerance);
  }
  if (!converged) {
    failure_ = "the cooling between pulses did not converge (surface temperature " +
               format_fixed((r_.ambient + theta_[0]) * r_.heating_scale, 10, 1) + " K)";
    return false;
  }
  // The flows of the step, from the last evaluation.
  double loss = 0.0;
  double reaction = 0.0;
  for (std::size_t i = 0; i < unknowns; ++i) {
    loss += volume_[i] * loss_rate_ * kf_[i] * theta_[i];
    reaction += volume_[i] * sink_[i];
  }
  // The ledger with the step's own quadrature: the increment is (h F + c increment_{n-1}) / a0.
  auto add = [&](double rate, double& sum, double& increment) {
    increment = (h * rate + c * increment) / a0;
    sum += increment;
  };
  add(loss, cooling_loss_, loss_increment_);
  add(reaction, cooling_reaction_, reaction_increment_);
  add(d / width_[unknowns - 1] * potential_[unknowns - 1], cooling_far_, far_increment_);
  if (r_.rate_ko != 0.0) {
    for (std::size_t i = 0; i < reacting; ++i) {
      const double rate = r_.rate_ko * std::exp(-r_.activation_eb / (r_.ambient + theta_[i]));
      phi_[i] = 1.0 - (1.0 - phi_[i]) * std::exp(-h * (rate_old[i] + rate) / 2.0);
    }
  }
  return true;
}

bool PulseTrain::cool_to_next_pulse() {
  if (spot_) {
    // What the column lost in the interval (sideways, through the surface, to the reaction)
    // counts as leaving it, so that its own ledger closes.
    const double before = wide_heat();
    if (spot_->exchange(column_, r_, scheme_.material(), z_, volume_, run_nodes_, pulse_steps_time_,
                        theta_, phi_)) {
      cooling_far_ += before - wide_heat();
      return true;
    }
    failure_ = spot_->failure();
    return false;
  }
  cooling_error_ = 0.0;
  const double total = interval_ - pulse_steps_time_;
  if (!(total > 0.0)) return true;
  // What a step changes, kept so that a step can be taken again shorter.
  struct Saved {
    std::vector<double> theta, phi, older;
    double reaction, loss, far, reaction_increment, loss_increment, far_increment;
  };
  auto save = [&] {
    return Saved{theta_,        phi_,         older_enthalpy_,     cooling_reaction_,
                 cooling_loss_, cooling_far_, reaction_increment_, loss_increment_,
                 far_increment_};
  };
  auto restore = [&](const Saved& saved) {
    theta_ = saved.theta;
    phi_ = saved.phi;
    older_enthalpy_ = saved.older;
    cooling_reaction_ = saved.reaction;
    cooling_loss_ = saved.loss;
    cooling_far_ = saved.far;
    reaction_increment_ = saved.reaction_increment;
    loss_increment_ = saved.loss_increment;
    far_increment_ = saved.far_increment;
  };
  std::vector<double> error(theta_.size(), 0.0);
  double h = r_.time_step;
  const double shortest = r_.time_step / 64.0;
  double h1 = 0.0;  // the step before (0: none yet)
  double h2 = 0.0;  // the one before that
  double done = 0.0;
  int accepted = 0;
  for (;;) {
    const bool last = done + h >= total;
    const double step = last ? total - done : h;
    const Saved saved = save();
    const bool solved = cooling_step(step, h1 > 0.0 ? step / h1 : 1.0, h1 == 0.0);
    double ratio_to_tolerance = 0.0;  // the step's error over the allowed error
    if (solved && accepted >= 2) {
      local_error(step, h1, h2, saved.theta, error);
      double largest_error = 0.0;
      double rise = 0.0;
      for (std::size_t i = 0; i + 1 < theta_.size(); ++i) {
        largest_error = std::max(largest_error, std::abs(error[i]));
        rise = std::max(rise, std::abs(theta_[i]));
      }
      // A rise below a millionth of the ambient temperature is measured against that.
      rise = std::max(rise, 1e-6 * r_.ambient);
      ratio_to_tolerance = largest_error / (cooling_tolerance_ * rise);
    }
    // A step at the shortest length is kept whatever its estimate (the estimate of a step that
    // short is the Newton tolerance's noise); one that Newton could not take ends the train.
    if (!solved && step <= shortest) return false;
    if (!solved || (ratio_to_tolerance > 1.0 && step > shortest)) {
      restore(saved);
      failure_.clear();
      ++cooling_rejected_;
      const double factor =
          solved ? std::clamp(0.9 * std::cbrt(1.0 / ratio_to_tolerance), 0.2, 0.9) : 0.25;
      h = std::max(step * factor, shortest);
      continue;
    }
    ++cooling_steps_;
    if (accepted >= 2) {
      // An error made at time s after the pulse began (it carries no heat: the steps conserve
      // it) is seen at the surface at the next pulse's time t reduced by about s / t.
      cooling_error_ += (pulse_steps_time_ + done + step) / interval_ * std::abs(error[0]);
    }
    theta_2_ = std::move(theta_1_);
    theta_1_ = saved.theta;
    ++accepted;
    if (last) return true;
    done += step;
    h2 = h1;
    h1 = step;
    if (accepted < 2) {
      h = step * kStepGrowth;
    } else {
      const double factor =
          ratio_to_tolerance > 0.0 ? 0.9 * std::cbrt(1.0 / ratio_to_tolerance) : kStepGrowthLimit;
      h = step * std::clamp(factor, 0.2, kStepGrowthLimit);
    }
  }
}

void PulseTrain::local_error(double h, double h1, double h2, const std::vector<double>& start,
                             std::vector<double>& error) const {
  // theta_p: the quadratic through (-h1 - h2, theta_2_), (-h1, theta_1_), (0, start) at h.
  const double l0 = (h + h1) * (h + h1 + h2) / (h1 * (h1 + h2));
  const double l1 = -h * (h + h1 + h2) / (h1 * h2);
  const double l2 = h * (h + h1) / ((h1 + h2) * h2);
  const double w = h / h1;
  const double a0 = (1.0 + 2.0 * w) / (1.0 + w);
  const double share = (h / a0) / (h + h1 + h2 + h / a0);
  for (std::size_t i = 0; i < error.size(); ++i) {
    const double predicted = l0 * start[i] + l1 * theta_1_[i] + l2 * theta_2_[i];
    error[i] = share * (theta_[i] - predicted);
  }
}

double PulseTrain::wide_heat() const {
  double heat = 0.0;
  for (std::size_t i = 0; i + 1 < z_.size(); ++i) {
    heat += volume_[i] * material_enthalpy(scheme_.material(), theta_[i]);
  }
  return heat;
}

EnergyLedger PulseTrain::ledger(EnergyLedger l) const {
  // The pulses' far-boundary flows went into the deep state (finish_pulse), the last pulse's
  // included; what leaves the train is what leaves the wide grid.
  const double far_sum = l.far_boundary / kScaledEnergyMilliJoule;
  l.stored += (deep_heat() + far_sum - far_seen_) * kScaledEnergyMilliJoule;
  l.reaction += cooling_reaction_ * kScaledEnergyMilliJoule;
  l.linear_loss += cooling_loss_ * kScaledEnergyMilliJoule;
  l.far_boundary = cooling_far_ * kScaledEnergyMilliJoule;
  close_ledger(l);
  return l;
}

std::string pulse_table_text(const std::vector<PulseRecord>& records) {
  std::string text =
      " pulse  T_before/K  phi_before   T_peak/K  recession/nm     volume/nm      total/nm"
      " cumulative/nm";
  text += kLineEnd;
  char number[16];
  for (const PulseRecord& p : records) {
    std::snprintf(number, sizeof number, "%6d", p.pulse);
    text += number;
    append_blanks(text, 2);
    append_fixed(text, p.surface_temperature_before_k, 10, 4);
    append_blanks(text, 2);
    append_fixed(text, p.surface_fraction_before, 10, 7);
    append_blanks(text, 1);
    append_fixed(text, p.peak_surface_temperature_k, 10, 4);
    for (double depth :
         {p.surface_recession_nm, p.volume_depth_nm, p.total_depth_nm, p.cumulative_depth_nm}) {
      append_blanks(text, 1);
      append_scientific(text, depth, 13, 5);
    }
    if (p.cut_short) text += "  cut short (stopped before the pulse's end)";
    text += kLineEnd;
  }
  return text;
}

}  // namespace kt
