// Shared helpers of the solver tests: the records of one run, and plot sinks that record or
// stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "graphics/plot_handoff.h"
#include "params/parameter_set.h"
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
  GuardFlags flags;
  std::unique_ptr<SolverState> state = std::make_unique<SolverState>();
  PlotScaleSet scales;
  ProfileArrays profiles;
  NullPlotSink null_sink;

  RunRecords() { parameters.values = default_parameters(); }
  RunOutcome run(const RunOptions& options, PlotSink* sink = nullptr) {
    return run_calculation(parameters, flags, *state, scales, profiles,
                           sink != nullptr ? *sink : null_sink, options);
  }
};

// Records every call of the plot hand-off.
class RecordingSink : public PlotSink {
 public:
  struct Call {
    enum class Kind { title_page, temporal, spatial } kind;
    std::int32_t mode = 0;
    std::int32_t curves = 0;
    float values[5] = {0, 0, 0, 0, 0};
    float profile_depth_2 = 0.0f;
  };
  std::vector<Call> calls;

  void draw_title_page() override { calls.push_back({Call::Kind::title_page}); }
  void plot_temporal(std::int32_t mode, float time_ns, float temperature, float velocity,
                     float depth, float fraction, const PlotScaleSet&,
                     const PlotCurveSwitches&) override {
    Call call{Call::Kind::temporal, mode};
    call.values[0] = time_ns;
    call.values[1] = temperature;
    call.values[2] = velocity;
    call.values[3] = depth;
    call.values[4] = fraction;
    calls.push_back(call);
  }
  void plot_spatial(std::int32_t mode, std::int32_t curves, const ProfileArrays& profiles,
                    const PlotScaleSet&) override {
    Call call{Call::Kind::spatial, mode, curves};
    call.profile_depth_2 = profiles.profile_depth_nm[2];
    calls.push_back(call);
  }
};

// Sets stop_request after a given number of output steps.
class StopAfterSink : public PlotSink {
 public:
  StopAfterSink(GuardFlags& flags, int steps) : flags_(flags), steps_(steps) {}
  void draw_title_page() override {}
  void plot_spatial(std::int32_t, std::int32_t, const ProfileArrays&,
                    const PlotScaleSet&) override {}
  void plot_temporal(std::int32_t mode, float, float, float, float, float, const PlotScaleSet&,
                     const PlotCurveSwitches&) override {
    if (mode == 0 && ++seen_ == steps_) flags_.stop_request = 999;
  }

 private:
  GuardFlags& flags_;
  int steps_;
  int seen_ = 0;
};

}  // namespace kt::test
