// Reports of the analyses: the JSON of a fit (with the Beer-Lambert analysis when made) and
// one-screen text summaries.
#pragma once

#include <string>

#include "analysis/beer_lambert.h"
#include "analysis/fit.h"
#include "analysis/threshold.h"

namespace kt {

// {"status", "message", "quantity", "method", "parameters": {NAME: {"value", "stderr",
// "initial", "lower", "upper", "log_scale", "at_bound"}}, "correlation", "chi2", "dof",
// "reduced_chi2", "weighted", "evaluations", "runs", "retried_runs", "failed_runs",
// "wall_seconds", "points": [{"fluence", "measured", "sigma", "model", "residual"}]}
// plus "beer_lambert" when given. Numbers that are not defined are null.
std::string report_json(const FitReport& report, const BeerLambertFit* beer_lambert = nullptr);

// The Beer-Lambert analysis alone: {"beer_lambert": {...}, "points": [...]} of measured data.
std::string beer_lambert_json(const BeerLambertFit& fit, const MeasuredData& data);

// The Beer-Lambert analysis as the one-line JSON object the reports hold under "beer_lambert".
std::string beer_lambert_object_json(const BeerLambertFit& fit);

// A few lines for the terminal.
std::string fit_summary(const FitReport& report);
std::string beer_lambert_summary(const BeerLambertFit& fit);
std::string threshold_summary(const ThresholdReport& report, const ThresholdRequest& request);

}  // namespace kt
