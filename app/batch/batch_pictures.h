// Pictures from the batch runner: the page of a run as the program shows it, the ablation curve
// of a sweep and the picture of a fit. They are drawn by the picture library, which is opened
// only when a picture is asked for, so that a run that draws nothing loads no GUI library.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "analysis/incubation.h"
#include "engine/crater.h"
#include "engine/sweep.h"
#include "graphics/pictures.h"
#include "solver/calculation_run.h"

namespace kt {

// The picture library's table, opened on first use: beside the program (the build tree), then
// in the library folder of the installed tree. Null with `error` set, saying that this
// installation cannot draw `what` (e.g. "pictures (--png)"), when it cannot be opened.
const kt_picture_table* picture_functions(const std::string& what, std::string& error);

// Opens a width x height page with the title page drawn, lets `run` make a run with the page
// as its observer (drawn as a run of `scheme`), then writes the page as a PNG. False with
// `error` set when the page cannot be opened (`run` is then not called) or written.
bool draw_run_page(int width, int height, const std::filesystem::path& data_directory,
                   const std::string& png, Scheme scheme,
                   const std::function<void(RunObserver& page)>& run, std::string& error);

// Runs the calculation and draws its page as the program shows it at the run's end on a
// width x height page, then writes the page as a PNG. The logo is looked up in the current
// directory, then in `data_directory`.
bool run_with_picture(SharedParameters& parameters, int width, int height,
                      const std::filesystem::path& data_directory, const std::string& png,
                      RunOutcome& outcome, std::string& error, const RunOptions& options = {});

// Total, surface and volume depth of the finished runs against fluence (log axis) as a PNG.
bool draw_ablation_curve_png(const SweepResult& result, const std::string& png, std::string& error,
                             const CurveOverlay& overlay = {});

bool draw_fit_png(const FitPlot& plot, const std::string& png, std::string& error);

// The thresholds against the pulse number on log axes with the fitted incubation law; the title
// names the model (RunSetup::model_name: the scheme and the tolerance).
bool draw_incubation_png(const IncubationThresholds& result, const std::string& model_name,
                         const std::string& png, std::string& error);

// The total depth of each pulse of a train against the pulse number, with the mean.
// The crater's depth against radius after each pulse (at most 10 curves drawn: the first, the
// last and evenly between).
bool draw_crater_png(const Crater& crater, const std::string& png, std::string& error);

bool draw_pulse_depths_png(const RunOutcome& outcome, const std::string& png, std::string& error);

}  // namespace kt
