// Reports of the analyses: the JSON of a fit (with the Beer-Lambert analysis when made) and
// one-screen text summaries.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "analysis/beer_lambert.h"
#include "analysis/fit.h"
#include "analysis/threshold.h"

namespace kt {

// What the report of data with several data sets adds, one entry per data set: the
// Beer-Lambert analysis of its points and the fit of its points alone (each may be empty).
struct SetReports {
  std::vector<BeerLambertFit> beer_lambert;
  std::vector<FitReport> separately;
};

// The work a report covers: the fit's and, with each data set also fitted alone, theirs added.
struct FitWork {
  int evaluations = 0, runs = 0, retried = 0, failed = 0;
  double wall_seconds = 0.0;
};
FitWork report_work(const FitReport& report, const SetReports* sets);
// Whether a report has more than one data set to tell apart (or fields fitted per data set):
// its points then carry their data set and it lists "datasets".
bool report_has_sets(const FitReport& report);

// {"status", "message", "quantity", "method", "parameters": {NAME: {"value", "stderr",
// "initial", "lower", "upper", "log_scale", "at_bound"}}, "correlation", "chi2", "dof",
// "reduced_chi2", "weighted", "evaluations", "runs", "retried_runs", "failed_runs",
// "wall_seconds", "points": [{"fluence", "measured", "sigma", "model", "residual"}]}
// plus "beer_lambert" when given and "notes" (the data's: columns not used, units converted). The
// evaluations, runs and wall time count everything the report covers: with fits of each data set
// alone (`sets`), theirs too. Numbers that are not defined are null. A field fitted per data set is
// listed as "NAME[SET]" with its "dataset". With several data sets (or fields fitted per data set)
// each point carries its "dataset" and "datasets" lists each one's
// {"name", "points", "chi2", "parameters" (its own fitted values: {NAME: {"value", "stderr"}}),
// "beer_lambert", "separately": {"status", "message",
// "parameters": {NAME: {"value", "stderr"}}, "chi2", "dof"}} (the last two when given).
std::string report_json(const FitReport& report, const BeerLambertFit* beer_lambert = nullptr,
                        const SetReports* sets = nullptr);

// The Beer-Lambert analysis alone: {"beer_lambert": {...}, "points": [...]} of measured data.
// With `per_set` (one analysis per data set of several), "datasets": [{"name", "points",
// "beer_lambert"}] takes the place of "beer_lambert", each point carries its "dataset" and is
// compared with its own data set's line.
std::string beer_lambert_json(const BeerLambertFit& fit, const MeasuredData& data,
                              const std::vector<BeerLambertFit>* per_set = nullptr);

// The same reports as documents, for a front end that makes its own values of them (Python's
// dicts) with no text in between; a real is shown as the text writes it (shown_real).
nlohmann::ordered_json report_document(const FitReport& report,
                                       const BeerLambertFit* beer_lambert = nullptr,
                                       const SetReports* sets = nullptr);
nlohmann::ordered_json beer_lambert_document(const BeerLambertFit& fit, const MeasuredData& data,
                                             const std::vector<BeerLambertFit>* per_set = nullptr);
// A real to the 10 significant digits the reports write.
double shown_real(double value);

// The Beer-Lambert analysis as the one-line JSON object the reports hold under "beer_lambert".
std::string beer_lambert_object_json(const BeerLambertFit& fit);

// A few lines for the terminal.
std::string fit_summary(const FitReport& report, const SetReports* sets = nullptr);

// The key of a fitted value in a report: its name, with "[SET]" when fitted per data set.
std::string fitted_key(const FittedParameter& parameter);
std::string beer_lambert_summary(const BeerLambertFit& fit);
std::string threshold_summary(const ThresholdReport& report, const ThresholdRequest& request);

}  // namespace kt
