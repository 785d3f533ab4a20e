// Pictures from the batch runner: the page of a run as the application shows it, and the
// ablation curve of a sweep.
#pragma once

#include <filesystem>
#include <string>

#include "app/batch/sweep.h"

namespace kt {

// Runs the calculation drawing into an offscreen surface of width x height through the same
// page and plot code as the application, then saves the surface as a PNG.
// The logo is looked up in the current directory, then in `data_directory`.
bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options = {});

// Total, surface and volume depth against fluence (log axis) as a PNG.
bool draw_ablation_curve_png(const SweepResult& result, const std::string& png, std::string& error);

}  // namespace kt
