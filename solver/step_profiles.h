// What a calculation run hands to whoever draws it at each output step: the per-node profile
// arrays and the curve switches as the run read them. Plain data; the run's observer
// (solver/run_observer.h) carries them; the plot axes are the drawing's own.
#pragma once

#include <array>
#include <cstdint>

namespace kt {

// The accurate scheme's finest grid: the run's 65-node grid with every cell split into 32, and
// room below it for the grid's extension (a run to a tolerance whose heat or light reaches the
// bottom).
inline constexpr int kExtensionCapacity = 256;
inline constexpr int kProfileCapacity = 64 * 32 + 1 + kExtensionCapacity;

// Per-node profiles of the current step, 1-based (index 0 unused).
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

}  // namespace kt
