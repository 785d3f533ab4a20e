// Pulse shapes beyond the parameter file's triangle and rectangle: a truncated Gaussian and a
// measured trace. Each is a profile P(t) of scaled time t >= 0 (units of t0 = 3.12 ns) that
// delivers exactly the run's fluence; what a time step takes is the step's mean
//
//   P_n = (1 - R) F' (Q(t_n) - Q(t_n - dt)) / dt,   Q(t) = integral of P from 0 to t over F',
//
// F' = I0 tau' the scaled fluence, R the reflection. Q is exact (erf for the Gaussian, the
// trapezoidal integral of the samples for a trace), so the light of all steps telescopes to
// (1 - R) F' whatever dt (the accurate scheme's BDF2 combination of step means, below, too).
//
// Gaussian: FWHM = the pulse width tau', sigma = tau' / (2 sqrt(2 ln 2)); it is cut where it is
// below kGaussianCut of its peak, at |t - tc| = sigma sqrt(2 ln(1/kGaussianCut)), and starts at
// t = 0 at that point (tc = that half-width), so it ends at 2 tc (4.46 tau').
// Q(t) = (erf((t - tc)/(sigma sqrt 2)) + e) / (2 e), e = erf(tc/(sigma sqrt 2)).
//
// Measured: the trace's times shifted so that its first sample is at t = 0, converted from ns;
// linear between samples, Q the running trapezoidal sum over the total.
//
// The parameter file's shapes keep their point values P(t_n) (kernels.h, pulse_intensity): a run
// with them has no profile here and takes exactly the code and bits it always took.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "params/pulse_trace.h"

namespace kt {

struct RunConstants;
struct PulsePlan;

// The Gaussian's cut, relative to its peak.
inline constexpr double kGaussianCut = 1e-6;

class PulseProfile {
 public:
  // FWHM in scaled time.
  static PulseProfile gaussian(double fwhm);
  // A trace read by read_pulse_trace; scaled_per_ns converts its times.
  static PulseProfile measured(const PulseTrace& trace, double scaled_per_ns);

  // The scaled time at which the pulse is over.
  double end() const { return end_; }
  // Q(t): the part of the fluence delivered from 0 to t, 0 before the start and 1 from the end.
  double delivered(double t) const;

 private:
  bool gaussian_ = false;
  double end_ = 0.0;
  // Gaussian.
  double centre_ = 0.0;
  double inverse_width_ = 0.0;  // 1 / (sigma sqrt 2)
  double edge_ = 0.0;           // erf(tc / (sigma sqrt 2))
  // Trace: sample times (scaled), values and running trapezoidal sums.
  std::vector<double> time_, value_, sum_;
};

// The light leaving a profiled pulse in the step ending at t: (1 - R) F' (Q(t) - Q(t - dt)) / dt.
double profile_step_intensity(const RunConstants& constants, double t);

// The same for a BDF2 step (the accurate scheme): (1 - R) F' (1.5 J_n - 0.5 J_{n-1}) / dt with
// J_n = Q(t) - Q(t - dt), or J_n / dt on a first (backward Euler) step, for a step of length dt.
// The scheme's quadrature of its light, dt P_n + increment_{n-1} / 2 over 1.5 per step, then adds
// up to J_n exactly, so the light of the run is the fluence to rounding; and the value is P(t) to
// second order, where J_n / dt is the value half a step before. The parameter file's shapes: P(t).
double bdf2_pulse_intensity(const RunConstants& constants, double t, double dt, bool first);

// The pulse a run's constants take from its plan: for a Gaussian or a trace, the profile (kept
// by the caller for the run), the pulse's end and a step limit that reaches past it; nothing for
// the parameter file's shapes. Returns the reason when the plan cannot be run (a measured shape
// without a trace).
std::string apply_pulse_shape(const PulsePlan& plan, RunConstants& constants,
                              std::unique_ptr<PulseProfile>& profile);

}  // namespace kt
