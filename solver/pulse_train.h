// A train of pulses on the accurate scheme: what one pulse hands to the next, the cooling
// between pulses, and the pulse table.
//
// Carried from pulse to pulse: the depths by channel (the surface position), the broken-bond
// fraction profile and the temperature profile, all in the frame moving with the surface. Each
// pulse is a run of the accurate scheme from t = 0 on the run's grid; its screening and end test
// look at the depth removed by this pulse only (the plume of the previous pulse has gone).
//
// Cooling. Between the end of a pulse's run and the next pulse (1/rate minus the run's length)
// the heat diffuses on a wide grid: the run's (refined) grid, extended by cells growing by
// kWideGrowth up to kWideReach diffusion lengths sqrt(D kf/cf T) of the whole train's duration T
// beyond the run's last node. With H and Phi the enthalpy and conduction potential
// (property_integrals.h):
//
//   dH/dt = D d2(Phi)/dz2 - Lambda kf theta - DHb' ko' (1 - phi) exp(-Eb'/(T0' + theta)),
//
// no flux through the surface (the front stands still: the end test ended the pulse's run once it
// had), theta = 0 at the wide grid's last node. Vertex-centred volumes as in the accurate scheme,
// variable-step BDF2 (backward Euler on the first step) starting from the
// pulse's time step, the last one cut to end at the next pulse, each step solved by Newton's method
// (tridiagonal Jacobian of the conduction, storage and reaction; the reaction heat taken at the
// step's end, with phi moved to it). The bond reaction goes on over the run's part of the grid, phi
// as the accurate scheme moves it (trapezoid rule in time).
//
// Step control. From the third step on, each step's local error is estimated by the difference
// between the BDF2 solution theta_c and the quadratic extrapolation theta_p of the last three
// (Milne's device). With steps h = h_n, h1 = h_{n-1}, h2 = h_{n-2}, w = h / h1 and
// a0 = (1 + 2w) / (1 + w), both err by a multiple of theta''' / 6:
//
//   theta(t_n+1) - theta_p =  h (h + h1) (h + h1 + h2) theta''' / 6,
//   theta(t_n+1) - theta_c = -(h / a0) h (h + h1)       theta''' / 6,
//
// so the step's error is   e = (h / a0) / (h + h1 + h2 + h / a0) (theta_c - theta_p)
// (2/11 of the difference on equal steps). A step whose largest |e| exceeds the cooling
// tolerance times the largest temperature rise on the grid is taken again, shorter; the next
// step is h (0.9 (tol / |e|)^(1/3)), within 0.2 h and kStepGrowthLimit h (BDF2 stays zero-stable
// below a ratio of 1 + sqrt 2). The first two steps grow by kStepGrowth. The estimated error of
// the surface temperature before the next pulse (PulseRecord::cooling_error_k) is the sum over
// the steps of the surface node's |e| times s / t, s the step's end and t the next pulse's time
// (both from the pulse's start): the steps conserve heat, so an error made at s carries none and
// what reaches the surface at t has spread over sqrt(t / s) times the depth and moved its first
// moment only, a factor s / t. Against the same interval on steps 1000 times tighter this is 3 to
// 6 times the error (tests/solver/pulse_train_test.cpp, rates of 1 kHz to 200 kHz).
//
// Mapping. The wide grid's first nodes are the run's nodes, so the profile goes back and forth
// without interpolation: the same nodal values, the same control volumes, the same heat. The
// nodes beyond the run's grid are the carried deep state; the run holds its last node at the
// deep state's temperature there (not ambient), so that heat stored beyond the run's grid
// comes back as the surface cools. After a pulse the deep state moves up with the surface by the
// pulse's depth (linear interpolation, monotone) and takes in what crossed the run's far
// boundary during the pulse (conduction, the material moving up with its heat, the light passing
// the grid), set on its first node so that its heat is exactly the balance's.
//
// Energy. The train's ledger sums the pulses' flows (light, ablation, reaction and loss on the
// run's grid) and the cooling intervals' (reaction, loss); its far boundary is what leaves the
// wide grid; stored is the heat on the run's grid at the end of the last pulse plus the deep
// state's. It closes to the Newton tolerances.
#pragma once

#include <string>
#include <vector>

#include "solver/accurate_scheme.h"
#include "solver/calculation_run.h"

namespace kt {

inline constexpr double kWideGrowth = 1.08;      // cell growth of the wide grid
inline constexpr double kWideReach = 6.0;        // diffusion lengths of the train beyond the grid
inline constexpr double kStepGrowth = 1.2;       // time-step growth of the cooling's first steps
inline constexpr double kStepGrowthLimit = 2.0;  // the largest ratio of two cooling steps
// The cooling's local error per step, relative to the temperature rise, unless the run asks for
// less (RunOptions::cooling_tolerance).
inline constexpr double kCoolingTolerance = 1e-4;

// Empty when the plan can run on the scheme; otherwise why not, naming the remedy. The pulse
// width [ns] is the run's (after its 1 ns floor).
// A pulse that would take more than kMaximumPulseSteps time steps (each time step split into
// `refinement`) is refused with its numbers.
std::string check_pulse_plan(const PulsePlan& plan, Scheme scheme, double pulse_width_ns,
                             int refinement = 1);

// The step limit of a train's pulse: its run ends at the latest when the next pulse comes.
void limit_train_steps(const PulsePlan& plan, RunConstants& constants);

class SpotTrainCooling;

class PulseTrain {
 public:
  PulseTrain(const RunConstants& constants, const PulsePlan& plan, AccurateScheme& scheme);

  int pulse_count() const { return pulses_; }
  // Before pulse k (1 ... N): from pulse 2 on, the scheme starts from the carried state.
  void start_pulse(int k);
  // After a pulse's run: its record (depths from the scheme's published state) and the wide
  // profile updated; peak_k from the run's output steps, run_steps its steps.
  void finish_pulse(const SolverState& state, double peak_k, std::int32_t run_steps);
  // The cooling up to the next pulse; false when a step could not be solved (see failure()).
  bool cool_to_next_pulse();
  // The run at radius `column` of a spot's train: the cooling between pulses is the spot's
  // axisymmetric one (spot_cooling.h) instead of the 1-D cooling with the Lambda term.
  void couple(SpotTrainCooling* cooling, int column) {
    spot_ = cooling;
    column_ = column;
  }
  const std::string& failure() const { return failure_; }
  // The cooling's local error allowed per step, relative to the temperature rise.
  void set_cooling_tolerance(double tolerance) { cooling_tolerance_ = tolerance; }
  // The cooling's steps taken and taken again (shortened), over the whole train.
  long cooling_steps() const { return cooling_steps_; }
  long cooling_rejected_steps() const { return cooling_rejected_; }

  const std::vector<PulseRecord>& records() const { return records_; }
  // The last pulse was stopped before its end (its record is marked).
  void cut_last_pulse() {
    if (!records_.empty()) records_.back().cut_short = true;
  }
  // The length of the pulses' runs so far [ns] (the temporal file's time runs on over them).
  double run_time_ns() const { return run_time_ns_; }
  // The train's ledger from the scheme's (the pulses' flows and the heat on the run's grid).
  EnergyLedger ledger(EnergyLedger pulses) const;
  // Heat on the wide grid [scaled energy per area].
  double wide_heat() const;
  // Deepest node and node count of the wide grid (scaled depth).
  double wide_depth() const { return z_.back(); }
  int wide_node_count() const { return static_cast<int>(z_.size()); }

 private:
  bool cooling_step(double h, double ratio, bool first);
  // The step's local error per node into `error` (see Step control); h1, h2 the steps before.
  void local_error(double h, double h1, double h2, const std::vector<double>& start,
                   std::vector<double>& error) const;
  double deep_heat() const;
  void cumulative_depths(const SolverState& state, double& recession_nm, double& total_nm) const;

  const RunConstants& r_;
  AccurateScheme& scheme_;
  int pulses_ = 1;
  double interval_ = 0.0;  // scaled
  int run_nodes_ = 0;      // the run's grid
  double loss_rate_ = 0.0;

  std::vector<double> z_, width_, volume_;
  std::vector<double> theta_, phi_, old_enthalpy_, older_enthalpy_, sink_, sink_slope_;
  std::vector<double> cf_, kf_, enthalpy_, potential_;
  std::vector<double> diag_, lower_, upper_, residual_, work_;

  double pulse_steps_time_ = 0.0;  // scaled length of the last pulse's run
  double run_time_ns_ = 0.0;
  double depth_at_start_ = 0.0;
  double cumulative_total_nm_ = 0.0;
  double cumulative_recession_nm_ = 0.0;
  double far_seen_ = 0.0;  // the scheme's far-boundary sum at the end of the last pulse
  double cooling_reaction_ = 0.0, cooling_loss_ = 0.0, cooling_far_ = 0.0;  // scaled
  double reaction_increment_ = 0.0, loss_increment_ = 0.0, far_increment_ = 0.0;
  std::vector<PulseRecord> records_;
  std::string failure_;
  double cooling_tolerance_ = kCoolingTolerance;
  long cooling_steps_ = 0, cooling_rejected_ = 0;
  double cooling_error_ = 0.0;             // scaled, of the last interval
  std::vector<double> theta_1_, theta_2_;  // the solution one and two steps before the step's start
  SpotTrainCooling* spot_ = nullptr;
  int column_ = 0;
};

// The pulse table: a header line of names with units, then per pulse I6, 2X F10.4 (surface
// temperature before, K), 2X F10.7 (surface fraction before), 1X F10.4 (peak surface
// temperature, K) and four times 1X ES13.5 (recession, volume depth, total depth of the pulse and
// the cumulative depth, nm); lines end CR LF.
std::string pulse_table_text(const std::vector<PulseRecord>& records);

}  // namespace kt
