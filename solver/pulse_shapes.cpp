// Pulse shapes (see pulse_shapes.h): the truncated Gaussian and the measured trace as the part of
// the fluence delivered up to a time, and the mean intensity of a step from it.
#include "solver/pulse_shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "params/setting_words.h"
#include "solver/calculation_run.h"
#include "solver/model.h"

namespace kt {

PulseProfile PulseProfile::gaussian(double fwhm) {
  PulseProfile p;
  p.gaussian_ = true;
  const double sigma = fwhm / (2.0 * std::sqrt(2.0 * std::numbers::ln2));
  p.centre_ = sigma * std::sqrt(2.0 * std::log(1.0 / kGaussianCut));
  p.inverse_width_ = 1.0 / (sigma * std::numbers::sqrt2);
  p.edge_ = std::erf(p.centre_ * p.inverse_width_);
  p.end_ = 2.0 * p.centre_;
  return p;
}

PulseProfile PulseProfile::measured(const PulseTrace& trace, double scaled_per_ns) {
  PulseProfile p;
  const std::size_t n = trace.time_ns.size();
  p.time_.resize(n);
  p.value_ = trace.intensity;
  p.sum_.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    p.time_[i] = (trace.time_ns[i] - trace.time_ns.front()) * scaled_per_ns;
    if (i > 0) {
      p.sum_[i] =
          p.sum_[i - 1] + 0.5 * (p.value_[i - 1] + p.value_[i]) * (p.time_[i] - p.time_[i - 1]);
    }
  }
  p.end_ = p.time_.back();
  return p;
}

double PulseProfile::delivered(double t) const {
  if (t <= 0.0) return 0.0;
  if (t >= end_) return 1.0;
  if (gaussian_) {
    return (std::erf((t - centre_) * inverse_width_) + edge_) / (2.0 * edge_);
  }
  const auto upper = std::upper_bound(time_.begin(), time_.end(), t);
  const auto i = static_cast<std::size_t>(upper - time_.begin() - 1);
  const double h = t - time_[i];
  const double slope = (value_[i + 1] - value_[i]) / (time_[i + 1] - time_[i]);
  const double partial = h * (value_[i] + 0.5 * slope * h);
  return std::min((sum_[i] + partial) / sum_.back(), 1.0);
}

double profile_step_intensity(const RunConstants& r, double t) {
  const PulseProfile& p = *r.pulse_profile;
  const double part = p.delivered(t) - p.delivered(t - r.time_step);
  return (1.0 - r.pulse.reflection) * r.peak_intensity * r.pulse_duration * part / r.time_step;
}

double bdf2_pulse_intensity(const RunConstants& r, double t, double dt, bool first) {
  if (r.pulse_profile == nullptr) {
    return pulse_intensity(r.pulse, t, r.peak_intensity, r.pulse_duration);
  }
  const PulseProfile& p = *r.pulse_profile;
  const double before = p.delivered(t - dt);
  const double step = p.delivered(t) - before;
  const double part = first ? step : 1.5 * step - 0.5 * (before - p.delivered(t - 2.0 * dt));
  return (1.0 - r.pulse.reflection) * r.peak_intensity * r.pulse_duration * part / dt;
}

std::string apply_pulse_shape(const PulsePlan& plan, RunConstants& r,
                              std::unique_ptr<PulseProfile>& profile) {
  switch (plan.shape) {
    case PulsePlan::Shape::file:
      return {};
    case PulsePlan::Shape::gaussian:
      profile = std::make_unique<PulseProfile>(PulseProfile::gaussian(r.pulse_duration));
      break;
    case PulsePlan::Shape::measured:
      if (!plan.trace || plan.trace->time_ns.size() < 3) {
        return "the measured pulse shape needs a pulse trace (" +
               setting_text("trace", "FILE.csv") + ")";
      }
      profile = std::make_unique<PulseProfile>(
          PulseProfile::measured(*plan.trace, kNanosecond / kTimeUnit));
      break;
  }
  r.pulse_profile = profile.get();
  r.pulse_end = profile->end();
  // The run goes on for at least half the usual step limit after the pulse is over.
  const double steps_to_end = std::ceil(r.pulse_end / r.time_step);
  const double wanted = steps_to_end + static_cast<double>(r.step_limit / 2);
  // check_pulse_plan bounds the steps; the cast stays within int whatever it is given.
  if (wanted > static_cast<double>(r.step_limit))
    r.step_limit = static_cast<int>(std::min(wanted, 2e9));
  return {};
}

}  // namespace kt
