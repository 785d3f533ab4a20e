// A fit of Parameter-set fields to measured depths on the calculation, as a front end asks for
// it: the fields by name, their ranges, the measured data (read from a file or handed in as
// arrays), the experiment's setup. prepare() builds and checks the fit before any run and
// returns the fit to execute or the refusal; execute() makes the Beer-Lambert analyses, the fit
// and the fits of each data set alone; model_curve() is the fitted model over the data.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/fit.h"
#include "analysis/measured_data.h"
#include "analysis/report.h"
#include "engine/experiment_setup.h"
#include "engine/refusal.h"

namespace kt {

// What a fit delivers.
struct ModelFitResult {
  BeerLambertFit beer_lambert;  // of all the points, with analyse
  SetReports sets;              // each data set's Beer-Lambert analysis and fit alone
  FitReport report;             // the fit, when fields are varied
};

// A prepared fit: the analysis' request (fields, ranges, data, parameters with the material's
// values) and how the model runs.
struct ModelFitPlan {
  FitRequest request;
  RunSetup setup;
  bool analyse = false, separately = false;
  double min_depth_nm = 1.0;
  // The depths of the runs: the calculation with the setup (a test may hand in another).
  DepthModel model;

  bool fits() const { return !request.variables.empty(); }
  bool several_sets() const { return request.data.datasets.size() > 1; }

  ModelFitResult execute(const std::atomic<bool>& interrupt,
                         const FitProgress& progress = {}) const;

  // The model's depths for `parameters` (with `pulses`, 0: the setup's) at 48 fluences spaced
  // evenly on a log scale over the measured range of `rows`, widened by 1.5 each way. Empty,
  // or why the curve could not be computed.
  std::string model_curve(const std::vector<std::size_t>& rows, const ParameterSet& parameters,
                          int pulses, const std::atomic<bool>& interrupt,
                          std::vector<double>& fluences, std::vector<double>& depths) const;
};

struct ModelFitRequest {
  ParameterSet parameters;  // the starting values; a material's values are put in by prepare()
  // Names the parameters in refusals ("in.par"); empty for parameters given in memory.
  std::string parameter_file;
  RunSetup setup;
  MeasuredData data;
  std::vector<std::string> vary;       // fields shared by every row
  std::vector<std::string> vary_each;  // fields fitted once per data set
  // Ranges replacing the fields' default ones, in order.
  std::vector<std::pair<std::string, std::pair<double, double>>> bounds;
  int jobs = 0;  // runs of one evaluation at once; 0: one per core
  int max_runs = 5000;
  FitMethod method = FitMethod::bobyqa;
  bool analyse = false;  // the Beer-Lambert analysis of the points at least min_depth_nm deep
  double min_depth_nm = 1.0;
  bool separately = false;  // also each data set alone
  // The early evaluations at this looser tolerance (FitRequest::early_model, e.g.
  // kEarlyTolerance); 0, the default: none. They make a fit cheaper per run but not in runs (the
  // fit's own tolerance then starts afresh from their best point), so no front end asks for them.
  double early_tolerance = 0.0;

  Prepared<ModelFitPlan> prepare() const;
};

}  // namespace kt
