// The Calculation and Stop commands of the program: one worker thread per calculation, never
// two at once. The run state answers whether a calculation may start; the worker runs the
// calculation, hands its outcome to the `finished` handler and only then makes the program idle
// again, so the outcome is told before anything else may start. Every worker is joined: by the
// next start, by wait() and by the destructor.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "solver/calculation_run.h"

namespace kt {

class CalculationController {
 public:
  using FinishedHandler = std::function<void(const RunOutcome& outcome)>;
  // Told on the worker, as its last act, once the program is idle again.
  using IdleHandler = std::function<void()>;

  CalculationController(SharedParameters& parameters, RunStateMachine& run_state,
                        SolverState& state, ProfileArrays& profiles, RunOptions options = {},
                        FinishedHandler finished = {}, IdleHandler idle = {});
  // Stops a run under way and joins its worker.
  ~CalculationController();
  CalculationController(const CalculationController&) = delete;
  CalculationController& operator=(const CalculationController&) = delete;

  // Calculation command: starts a worker when the program is idle; returns at once, true when
  // a worker was started.
  bool start_calculation();
  // Stop command: asks the run under way to end after its step. False, and nothing is kept for
  // a later run, when no run is starting or running.
  bool request_stop();
  // Waits until the current worker, if any, has finished (its outcome handled).
  void wait();
  // True from the start of a calculation until its outcome has been handled.
  bool busy() const { return run_state_.calculating(); }
  // The outcome of the last finished worker.
  RunOutcome last_outcome() const;
  // The scheme of the runs started from now on (a run under way keeps its own).
  void set_scheme(Scheme scheme);
  Scheme scheme() const;
  // Changes the options of the runs started from now on (an experiment's scheme, pulses and
  // material); a run under way keeps its own.
  void change_options(const std::function<void(RunOptions& options)>& change);
  // Changes the values a run starts from, on a copy of the Parameter set (a material file's
  // values): empty on success, else the refusal, and the run does not start. Unset: the runs
  // take the Parameter set itself.
  using Preparation = std::function<std::string(ParameterSet& values)>;
  void set_preparation(Preparation prepare);
  // Makes the runs started from now on in place of the one calculation (a spot's train runs
  // one calculation per radius). It is handed the parameters and options the calculation would
  // take and `calculate`, the calculation on the program's records (to be called once at most).
  // Unset: the calculation itself.
  using Calculate = std::function<RunOutcome(SharedParameters& parameters, const RunOptions&)>;
  using Runner = std::function<RunOutcome(SharedParameters& parameters, const RunOptions& options,
                                          const Calculate& calculate)>;
  void set_runner(Runner runner);

 private:
  SharedParameters& parameters_;
  RunStateMachine& run_state_;
  SolverState& state_;
  ProfileArrays& profiles_;
  RunOptions options_;
  FinishedHandler finished_;
  IdleHandler idle_;
  Preparation prepare_;  // guarded by control_lock_
  Runner runner_;        // likewise

  mutable std::mutex control_lock_;  // guards worker_ and options_
  std::thread worker_;
  mutable std::mutex outcome_lock_;
  RunOutcome last_outcome_;
};

}  // namespace kt
