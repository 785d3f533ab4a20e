// Calculation command and worker thread: a compare-exchange on a busy flag closes the window
// between the test of run_active and the worker's setting of it, so two quick commands start
// one run.
#include "solver/calculation_controller.h"

#include <utility>

namespace kt {

CalculationController::CalculationController(SharedParameters& parameters, GuardFlags& flags,
                                             SolverState& state, PlotScaleSet& scales,
                                             ProfileArrays& profiles, PlotSink& sink,
                                             RunOptions options)
    : parameters_(parameters),
      flags_(flags),
      state_(state),
      scales_(scales),
      profiles_(profiles),
      sink_(sink),
      options_(std::move(options)) {}

CalculationController::~CalculationController() {
  wait();
}

bool CalculationController::start_calculation() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (flags_.run_active.load() != 0) return false;
  bool expected = false;
  if (!worker_busy_.compare_exchange_strong(expected, true)) return false;
  if (worker_.joinable()) worker_.join();  // the previous worker has finished its body
  worker_ = std::thread([this] {
    RunOutcome outcome =
        calculation_entry(parameters_, flags_, state_, scales_, profiles_, sink_, options_);
    {
      std::lock_guard<std::mutex> outcome_guard(outcome_lock_);
      last_outcome_ = std::move(outcome);
    }
    worker_busy_.store(false);
  });
  return true;
}

void CalculationController::request_stop() {
  flags_.stop_request.store(999);
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
