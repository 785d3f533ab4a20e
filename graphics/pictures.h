// The pictures of the command-line programs, drawn through the display services into an
// offscreen surface and written as PNG files: the page of a run as the program shows it at the
// run's end, the ablation curve of a sweep, the picture of a fit and plain curves (thresholds
// against the pulse number, depth per pulse of a train).
//
// They live in a shared library of their own (libkestrium-pictures) so that a program that
// draws nothing never loads the GUI libraries: the library is opened when a picture is asked
// for and hands out one table of functions, `kt_picture_functions`. This header is plain C++;
// the caller needs nothing of the display layer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/measured_data.h"
#include "solver/calculation_run.h"
#include "solver/run_observer.h"

namespace kt {

// The page of one run: an observer of the run that keeps what the final page shows (the title
// page, every curve, the last readouts and the last profiles) and draws it once the run has
// ended, pixel for pixel the page that the program's live drawing ends with.
class PagePicture : public RunObserver {
 public:
  // Writes the page as a PNG; false with `error` set when it cannot.
  virtual bool save(const std::string& png, std::string& error) = 0;
  // The scheme of the run to come: the accurate scheme's page carries its mark.
  virtual void set_scheme(Scheme scheme) = 0;
};

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

// The library's table. A caller checks `interface_version` against its own
// kPictureInterfaceVersion before it calls anything: both sides are built from this header.
inline constexpr int kPictureInterfaceVersion = 3;
struct PictureFunctions {
  int interface_version = kPictureInterfaceVersion;
  // An offscreen page of width x height with the title page drawn (the logo read from
  // `logo_file`; absent when it cannot be read); null with `error` set when there is no page.
  std::unique_ptr<PagePicture> (*open_page)(int width, int height, const std::string& logo_file,
                                            std::string& error) = nullptr;
  // Total, surface and volume depth against fluence (log axis) as a PNG; `points` not empty.
  bool (*draw_ablation_curve)(const std::vector<CurvePoint>& points, const CurveOverlay& overlay,
                              const std::string& png, std::string& error) = nullptr;
  bool (*draw_fit)(const FitPlot& plot, const std::string& png, std::string& error) = nullptr;
  // Since interface 3.
  bool (*draw_series)(const SeriesPlot& plot, const std::string& png, std::string& error) = nullptr;
};

// The file name of the library and the name of its entry point.
inline constexpr const char* kPictureLibraryName = "libkestrium-pictures.so";
inline constexpr const char* kPictureEntryName = "kt_picture_functions";
using PictureEntry = const PictureFunctions* (*)();

}  // namespace kt
