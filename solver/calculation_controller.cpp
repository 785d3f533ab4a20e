// Calculation command and worker thread: the run state's compare-and-exchange from idle to
// starting is the one test, so two quick commands start one run.
#include "solver/calculation_controller.h"

#include <utility>

namespace kt {

CalculationController::CalculationController(SharedParameters& parameters,
                                             RunStateMachine& run_state, SolverState& state,
                                             ProfileArrays& profiles, RunOptions options,
                                             FinishedHandler finished, IdleHandler idle)
    : parameters_(parameters),
      run_state_(run_state),
      state_(state),
      profiles_(profiles),
      options_(std::move(options)),
      finished_(std::move(finished)),
      idle_(std::move(idle)) {}

CalculationController::~CalculationController() {
  if (busy()) request_stop();
  wait();
}

bool CalculationController::start_calculation() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!run_state_.try_enter(RunState::starting)) return false;
  // The previous worker made the program idle as its last act: it has finished its body.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this, options = options_, prepare = prepare_, runner = runner_] {
    const Calculate calculate = [this](SharedParameters& parameters, const RunOptions& taken) {
      return run_calculation(parameters, run_state_, state_, profiles_, taken);
    };
    const auto run = [&](SharedParameters& parameters) {
      return runner ? runner(parameters, options, calculate) : calculate(parameters, options);
    };
    RunOutcome outcome;
    if (!prepare) {
      outcome = run(parameters_);
    } else {
      // The run takes a prepared copy; the Parameter set itself keeps the user's values.
      SharedParameters prepared;
      prepared.values = parameters_.snapshot();
      if (std::string refusal = prepare(prepared.values); !refusal.empty()) {
        outcome.not_started_reason = std::move(refusal);
      } else {
        outcome = run(prepared);
      }
    }
    {
      std::lock_guard<std::mutex> outcome_guard(outcome_lock_);
      last_outcome_ = outcome;
    }
    if (finished_) finished_(outcome);
    run_state_.leave();
    if (idle_) idle_();
  });
  return true;
}

void CalculationController::set_scheme(Scheme scheme) {
  std::lock_guard<std::mutex> guard(control_lock_);
  options_.scheme = scheme;
}

void CalculationController::change_options(const std::function<void(RunOptions& options)>& change) {
  std::lock_guard<std::mutex> guard(control_lock_);
  change(options_);
}

void CalculationController::set_preparation(Preparation prepare) {
  std::lock_guard<std::mutex> guard(control_lock_);
  prepare_ = std::move(prepare);
}

void CalculationController::set_runner(Runner runner) {
  std::lock_guard<std::mutex> guard(control_lock_);
  runner_ = std::move(runner);
}

Scheme CalculationController::scheme() const {
  std::lock_guard<std::mutex> guard(control_lock_);
  return options_.scheme;
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
