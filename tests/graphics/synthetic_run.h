// A synthetic run of 5359 steps fed to the page plots: a heating pulse of 20 ns that heats the
// surface to about 1700 K and cools it, with the front velocity, the ablated depth and the
// broken bonds that follow from it, and a 65-node depth profile per step.
#pragma once

#include <functional>

#include "graphics/page_plots.h"

namespace kt::test {

inline constexpr int kSyntheticSteps = 5359;
inline constexpr int kSyntheticNodes = 65;

// Initialises both plots and feeds every step; `after_step` (if any) is called after each
// step with its number.
void feed_synthetic_run(PagePlots& plots, const std::function<void(int step)>& after_step = {});

}  // namespace kt::test
