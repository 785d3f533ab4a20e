// The Calculation and Stop commands of the program: one worker thread per calculation, never
// two at once. The run state answers whether a calculation may start; the worker prepares the
// engine's run request with the Parameter set as it then is and executes its plan, as the batch
// runner and the Python module execute theirs, hands the run to the `finished` handler and only
// then makes the program idle again, so the outcome is told before anything else may start.
// Every worker is joined: by the next start, by wait() and by the destructor.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/run_request.h"
#include "solver/calculation_run.h"

namespace kt {

class CalculationController {
 public:
  // Told on the worker with the request as the run took it (the Parameter set's values at its
  // start) and the run (the refusal in its error and outcome when it did not start).
  using FinishedHandler = std::function<void(const RunRequest& request, const SingleRun& run)>;
  // Told on the worker, as its last act, once the program is idle again.
  using IdleHandler = std::function<void()>;

  // `observer` (may be null) is told of every run: the program's page.
  CalculationController(SharedParameters& parameters, RunStateMachine& run_state,
                        SolverState& state, ProfileArrays& profiles,
                        RunObserver* observer = nullptr, FinishedHandler finished = {},
                        IdleHandler idle = {});
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
  Scheme scheme() const;

  // The request of the runs started from now on (a run under way keeps its own): the
  // experiment's setup, the run's options (files, refinements) and, for a run made otherwise
  // than by the one calculation (a spot's train), its maker. Its parameters are not used: every
  // run is prepared from the Parameter set as it is when the run starts, and the set keeps the
  // user's values (a material's go into the run only). A request without a maker is made by
  // `calculation()`. `interrupt` (may be null) is the plan's interrupt: the flag Stop sets when
  // the run takes Stop as an interruption (a spot's train, at every radius); a plain run takes
  // Stop from the run state after its step, as the program always has, and still writes its
  // kinetics line.
  void set_request(RunRequest request, const std::atomic<bool>* interrupt = nullptr);
  // The calculation on the program's records, which draws the page and takes Stop: the maker
  // of a request without one, and the run at the centre of a spot's train.
  const RunMaker& calculation() const { return calculation_; }

 private:
  SharedParameters& parameters_;
  RunStateMachine& run_state_;
  RunObserver* observer_;
  FinishedHandler finished_;
  IdleHandler idle_;
  RunMaker calculation_;

  mutable std::mutex control_lock_;  // guards worker_, request_ and interrupt_
  RunRequest request_;
  const std::atomic<bool>* interrupt_ = nullptr;
  std::thread worker_;
  mutable std::mutex outcome_lock_;
  RunOutcome last_outcome_;
};

}  // namespace kt
