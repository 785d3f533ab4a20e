// Without the display layer the batch runner makes no pictures.
#include "app/batch/batch_pictures.h"

namespace kt {

bool run_with_picture(SharedParameters&, int, int, const std::filesystem::path&, const std::string&,
                      RunOutcome&, std::string& error, const RunOptions&) {
  error = "this build has no display layer, so it cannot make pictures (--png)";
  return false;
}

bool draw_ablation_curve_png(const SweepResult&, const std::string&, std::string& error,
                             const CurveOverlay&) {
  error = "this build has no display layer, so it cannot draw the ablation curve (--plot)";
  return false;
}

bool draw_fit_png(const FitPlot&, const std::string&, std::string& error) {
  error = "this build has no display layer, so it cannot draw the fit (--plot)";
  return false;
}

}  // namespace kt
