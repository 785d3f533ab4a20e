// Calculation command and worker thread: the run state's compare-and-exchange from idle to
// starting is the one test, so two quick commands start one run.
#include "app/calculation_controller.h"

#include <utility>

namespace kt {

CalculationController::CalculationController(SharedParameters& parameters,
                                             RunStateMachine& run_state, SolverState& state,
                                             ProfileArrays& profiles, RunObserver* observer,
                                             FinishedHandler finished, IdleHandler idle)
    : parameters_(parameters),
      run_state_(run_state),
      observer_(observer),
      finished_(std::move(finished)),
      idle_(std::move(idle)),
      calculation_([this, &state, &profiles](SharedParameters& values, const RunOptions& taken) {
        return run_calculation(values, run_state_, state, profiles, taken);
      }) {}

CalculationController::~CalculationController() {
  if (busy()) request_stop();
  wait();
}

bool CalculationController::start_calculation() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!run_state_.try_enter(RunState::starting)) return false;
  // The previous worker made the program idle as its last act: it has finished its body.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this, request = request_, interrupt = interrupt_]() mutable {
    // The run takes a prepared copy of the Parameter set, which keeps the user's values.
    request.parameters = parameters_.snapshot();
    if (!request.make) request.make = calculation_;
    SingleRun run;
    if (const Prepared<RunPlan> plan = request.prepare(); !plan) {
      run.error = run.outcome.not_started_reason = plan.refusal.text();
      run.used = request.parameters;
    } else {
      run = plan->execute(interrupt, observer_);
    }
    {
      std::lock_guard<std::mutex> outcome_guard(outcome_lock_);
      last_outcome_ = run.outcome;
    }
    if (finished_) finished_(request, run);
    run_state_.leave();
    if (idle_) idle_();
  });
  return true;
}

void CalculationController::set_request(RunRequest request, const std::atomic<bool>* interrupt) {
  std::lock_guard<std::mutex> guard(control_lock_);
  request_ = std::move(request);
  interrupt_ = interrupt;
}

Scheme CalculationController::scheme() const {
  std::lock_guard<std::mutex> guard(control_lock_);
  return request_.setup.scheme;
}

bool CalculationController::request_stop() {
  return run_state_.request_stop();
}

void CalculationController::wait() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (worker_.joinable()) worker_.join();
}

RunOutcome CalculationController::last_outcome() const {
  std::lock_guard<std::mutex> guard(outcome_lock_);
  return last_outcome_;
}

}  // namespace kt
