// Shared helpers of the solver tests: the records of one run, and observers that record the run
// or stop it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "params/parameter_set.h"
#include "params/run_state.h"
#include "solver/calculation_run.h"
#include "test_support.h"

namespace kt::test {

// Options of a run that writes no file.
inline RunOptions kinetics_only() {
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  return options;
}

// Everything one run needs, with its own instances.
struct RunRecords {
  SharedParameters parameters;
  RunStateMachine run_state;
  std::unique_ptr<SolverState> state = std::make_unique<SolverState>();
  ProfileArrays profiles;

  RunRecords() { parameters.values = default_parameters(); }
  // One run as a command starts it: from idle, back to idle at its end.
  RunOutcome run(RunOptions options, RunObserver* observer = nullptr) {
    if (observer != nullptr) options.observer = observer;
    if (!run_state.try_enter(RunState::starting)) return {};
    RunOutcome outcome = run_calculation(parameters, run_state, *state, profiles, options);
    run_state.leave();
    return outcome;
  }
};

// One run without files on the given scheme, time-step refinement and grid refinement.
inline RunOutcome run_scheme(const ParameterSet& p, Scheme scheme, int refinement = 1, int grid = 1,
                             RunObserver* observer = nullptr) {
  RunRecords records;
  records.parameters.values = p;
  RunOptions options = kinetics_only();
  options.scheme = scheme;
  options.refinement = refinement;
  options.grid_refinement = grid;
  return records.run(options, observer);
}

// Records what a run tells its observer.
class RecordingObserver : public RunObserver {
 public:
  struct Call {
    enum class Kind { accepted, started, step, ended } kind;
    float values[5] = {0, 0, 0, 0, 0};  // started: the ambient temperature; step: shown values
    float profile_depth_2 = 0.0f;
  };
  std::vector<Call> calls;

  void run_accepted() override { calls.push_back({Call::Kind::accepted}); }
  void run_started(const RunConstants& constants, const ParameterSet&, std::int32_t,
                   const PlotCurveSwitches&) override {
    Call call{Call::Kind::started};
    call.values[0] = static_cast<float>(constants.ambient_temperature);
    calls.push_back(call);
  }
  void step_done(const StepRecord& record, const ProfileArrays& profiles) override {
    Call call{Call::Kind::step};
    call.values[0] = record.shown.time_ns;
    call.values[1] = record.shown.surface_temperature_k;
    call.values[2] = record.shown.velocity_cm_s;
    call.values[3] = record.shown.plotted_depth_nm;
    call.values[4] = record.shown.surface_fraction;
    call.profile_depth_2 = profiles.profile_depth_nm[2];
    calls.push_back(call);
  }
  void run_ended(const RunOutcome&) override { calls.push_back({Call::Kind::ended}); }
};

// Keeps the Parameter set a run took and the number of nodes its profiles fill.
class TakenObserver : public RunObserver {
 public:
  void run_started(const RunConstants&, const ParameterSet& run_taken,
                   std::int32_t profile_node_count, const PlotCurveSwitches&) override {
    taken = run_taken;
    node_count = profile_node_count;
  }
  ParameterSet taken;
  std::int32_t node_count = 0;
};

// Asks the run to stop after a given number of output steps, as the Stop command does.
class StopAfter : public RunObserver {
 public:
  StopAfter(RunStateMachine& run_state, int steps) : run_state_(run_state), steps_(steps) {}
  void step_done(const StepRecord&, const ProfileArrays&) override {
    if (++seen_ == steps_) run_state_.request_stop();
  }

 private:
  RunStateMachine& run_state_;
  int steps_;
  int seen_ = 0;
};

}  // namespace kt::test
