// The pictures of the command-line programs, drawn through the display services into an
// offscreen surface and written as PNG files: the page of a run as the program shows it at the
// run's end, the ablation curve of a sweep, the picture of a fit and plain curves (thresholds
// against the pulse number, depth per pulse of a train).
//
// They live in a shared library of their own (libkestrium-pictures) so that a program that
// draws nothing never loads the GUI libraries: the library is opened when a picture is asked
// for and hands out one table of functions in plain C types (graphics/picture_interface.h). The
// types here are each side's own: the batch runner fills them and the library draws them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/measured_data.h"
#include "graphics/picture_interface.h"

namespace kt {

// One finished run of a sweep on the ablation curve.
struct CurvePoint {
  double fluence = 0.0;  // mJ/cm^2, > 0
  double surface_nm = 0.0, volume_nm = 0.0, total_nm = 0.0;
};

// What may be drawn over an ablation curve: measured points (with their sigma as error bars)
// and the Beer-Lambert line of an analysis.
struct CurveOverlay {
  const MeasuredData* measured = nullptr;
  const BeerLambertFit* beer_lambert = nullptr;
};

// One data set of a fit to data holding several: its rows of the measured data, its own model
// curve (at its conditions) and Beer-Lambert line, drawn in its own colour.
struct FitPlotSet {
  std::string name;
  std::vector<std::size_t> rows{};                          // indices into the measured points
  std::vector<double> curve_fluences{}, curve_depths_nm{};  // may be empty
  const BeerLambertFit* beer_lambert = nullptr;
};

// A fit to measured data: the points with error bars, the model curve and the Beer-Lambert
// line on a log fluence axis, the residuals below, the legend text in a box. With `sets`, each
// data set is drawn in its own colour with its own curve instead of the single curve.
struct FitPlot {
  std::string title;
  const MeasuredData* measured = nullptr;
  std::vector<double> curve_fluences, curve_depths_nm;  // the model on a fine grid; may be empty
  std::vector<double> residuals_nm;  // measured - model at each measured point; may be empty
  const BeerLambertFit* beer_lambert = nullptr;
  std::vector<std::string> legend;  // lines of text
  std::vector<FitPlotSet> sets{};   // two or more, or empty
};

// Curves of y against x, each axis linear or logarithmic: the thresholds of several pulse
// numbers with their incubation law, the depth of each pulse of a train.
struct SeriesPlot {
  std::string title, x_label, y_label;
  bool log_x = false, log_y = false;
  struct Series {
    std::string name;          // its legend line
    std::vector<double> x, y;  // the same length; points not drawable on the axes are skipped
    bool marks = true;         // square marks at the points
    bool joined = true;        // a line through them
  };
  std::vector<Series> series;       // drawn in order, in blue, red, green, magenta, ...
  std::vector<std::string> legend;  // extra lines of text in a box
};

}  // namespace kt
