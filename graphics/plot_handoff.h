// The boundary between a calculation run and the plots: the axis scales handed over before
// the first step, the per-node profile arrays filled by the output step, and the three drawing
// operations the run calls. No drawing code is needed to include this header.
#pragma once

#include <array>
#include <cstdint>

namespace kt {

inline constexpr int kProfileCapacity = 300;

struct PlotScaleSet {
  float plot_time_scale = 0.0f;            // ns
  float plot_temperature_scale = 0.0f;     // K
  float plot_velocity_scale = 0.0f;        // cm/s
  float plot_depth_scale = 0.0f;           // nm
  float plot_fraction_scale = 0.0f;        // -
  float profile_temperature_scale = 0.0f;  // K
  float profile_depth_scale = 0.0f;        // nm
  std::int32_t profile_node_count = 0;
};

// Per-node profiles of the current step, 1-based (index 0 unused), capacity 300.
struct ProfileArrays {
  std::array<float, kProfileCapacity + 1> profile_depth_nm{};
  std::array<float, kProfileCapacity + 1> profile_temperature_k{};
  std::array<float, kProfileCapacity + 1> profile_fraction{};
};

// The curve switches of the Parameter set, as the run read them for this step.
struct PlotCurveSwitches {
  bool show_surface_temperature = true;
  bool show_ablation_velocity = true;
  bool show_ablated_depth = true;
  bool show_broken_fraction = true;
  bool show_temperature_profile = true;
  bool show_fraction_profile = true;
};

// What the run draws through. Called only from the run's thread, one call at a time; no
// operation reports a failure or changes the run's state.
class PlotSink {
 public:
  virtual ~PlotSink() = default;
  // Once per run, after the temporal file is opened and before the scales are computed.
  virtual void draw_title_page() = 0;
  // Mode 1 once before the first step (0, T0, 0, 0, 0); mode 0 once per step.
  virtual void plot_temporal(std::int32_t mode, float time_ns, float surface_temperature_k,
                             float front_velocity_cm_s, float ablated_depth_nm,
                             float surface_fraction, const PlotScaleSet& scales,
                             const PlotCurveSwitches& switches) = 0;
  // Once per step: mode 1 on step 1, 0 afterwards; curves 0 none, 1 temperature, 2 fraction,
  // 3 both.
  virtual void plot_spatial(std::int32_t mode, std::int32_t curves, const ProfileArrays& profiles,
                            const PlotScaleSet& scales) = 0;
};

// A sink that draws nothing (batch runs, benchmarks).
class NullPlotSink final : public PlotSink {
 public:
  void draw_title_page() override {}
  void plot_temporal(std::int32_t, float, float, float, float, float, const PlotScaleSet&,
                     const PlotCurveSwitches&) override {}
  void plot_spatial(std::int32_t, std::int32_t, const ProfileArrays&,
                    const PlotScaleSet&) override {}
};

}  // namespace kt
