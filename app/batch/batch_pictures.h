// Pictures from the batch runner: the page of a run as the application shows it, and the
// ablation curve of a sweep.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/measured_data.h"
#include "engine/sweep.h"

namespace kt {

// Runs the calculation drawing into an offscreen surface of width x height through the same
// page and plot code as the application, then saves the surface as a PNG.
// The logo is looked up in the current directory, then in `data_directory`.
bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options = {});

// What may be drawn over an ablation curve: measured points (with their sigma as error bars)
// and the Beer-Lambert line of an analysis.
struct CurveOverlay {
  const MeasuredData* measured = nullptr;
  const BeerLambertFit* beer_lambert = nullptr;
};

// Total, surface and volume depth against fluence (log axis) as a PNG.
bool draw_ablation_curve_png(const SweepResult& result, const std::string& png, std::string& error,
                             const CurveOverlay& overlay = {});

// A fit to measured data: the points with error bars, the model curve and the Beer-Lambert
// line on a log fluence axis, the residuals below, the legend text in a box.
struct FitPlot {
  std::string title;
  const MeasuredData* measured = nullptr;
  std::vector<double> curve_fluences, curve_depths_nm;  // the model on a fine grid; may be empty
  std::vector<double> residuals_nm;  // measured - model at each measured point; may be empty
  const BeerLambertFit* beer_lambert = nullptr;
  std::vector<std::string> legend;  // lines of text
};
bool draw_fit_png(const FitPlot& plot, const std::string& png, std::string& error);

}  // namespace kt
