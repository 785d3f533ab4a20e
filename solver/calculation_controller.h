// The Calculation and Stop commands: starts one worker thread per calculation, never two at
// once, and lets Exit and tests wait for it. The worker runs calculation_entry on the records
// the controller was given.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "solver/calculation_run.h"

namespace kt {

class CalculationController {
 public:
  CalculationController(SharedParameters& parameters, GuardFlags& flags, SolverState& state,
                        PlotScaleSet& scales, ProfileArrays& profiles, PlotSink& sink,
                        RunOptions options = {});
  ~CalculationController();
  CalculationController(const CalculationController&) = delete;
  CalculationController& operator=(const CalculationController&) = delete;

  // Calculation command: starts a worker when run_active is 0 and no worker is under way;
  // returns at once, true when a worker was started.
  bool start_calculation();
  // Stop command: stop_request = 999 (pending until a run honours it).
  void request_stop();
  // Waits until the current worker, if any, has finished.
  void wait();
  // True while a worker thread is under way.
  bool busy() const { return worker_busy_.load(); }
  // The outcome of the last finished worker.
  RunOutcome last_outcome() const;

 private:
  SharedParameters& parameters_;
  GuardFlags& flags_;
  SolverState& state_;
  PlotScaleSet& scales_;
  ProfileArrays& profiles_;
  PlotSink& sink_;
  RunOptions options_;

  std::mutex control_lock_;  // guards worker_
  std::thread worker_;
  std::atomic<bool> worker_busy_{false};
  mutable std::mutex outcome_lock_;
  RunOutcome last_outcome_;
};

}  // namespace kt
