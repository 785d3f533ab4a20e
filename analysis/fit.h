// Fitting model parameters to measured ablation depths: weighted least squares
//   chi2 = sum_i ((model_i - measured_i) / sigma_i)^2
// over the chosen Parameter-set fields, minimised by NLopt's BOBYQA (a derivative-free
// trust-region method building quadratic models, with bounds) on coordinates scaled to [0, 1]
// between the bounds, logarithmically for fields that span decades. Standard errors and the
// correlation matrix come from the Jacobian at the optimum (central finite differences),
// scaled by the reduced chi-square when the data give no sigma.
//
// Data may hold several data sets (measured_data.h), each row run at its own conditions: the
// fields of a fit are then either shared by every row or fitted once per data set, all in one
// chi-square, and the report gives each data set's chi-square beside the global one.
#pragma once

#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "analysis/depth_model.h"
#include "analysis/measured_data.h"
#include "params/parameter_fields.h"
#include "params/parameter_set.h"

namespace kt {

struct FitVariable {
  const ParameterField* field = nullptr;
  double lower = 0.0, upper = 0.0;  // in the field's unit
  bool log_scale = false;           // fitted on ln(value); then lower > 0
  int dataset = -1;                 // -1: one value for every row; else for this data set's rows
};

// The variable once for each data set of `data` (for fields fitted per data set).
std::vector<FitVariable> per_set_variables(const FitVariable& variable, const MeasuredData& data);

// The field of that name when a fit can vary it: a real value that can change the depths of a
// run. Otherwise null, with `error` saying why and naming the fields that can be fitted. Whether
// the field takes part in the model of the parameters is checked by check_fit_request.
const ParameterField* find_fit_field(std::string_view name, std::string& error);

// The default bounds of a field around its value: a factor 100 either way for fields spanning
// decades, a factor 2 either way for other positive values, the whole allowed range for
// fractions and percentages. False with `error` when there is none (e.g. a value of 0).
bool default_fit_variable(const ParameterSet& parameters, const ParameterField& field,
                          FitVariable& variable, std::string& error);

// BOBYQA (quadratic models in a trust region) by default; Sbplx (NLopt's subplex, a
// Nelder-Mead variant on subspaces) for comparison, or when the points sit at the threshold's kink.
enum class FitMethod { bobyqa, sbplx };

// Where the early evaluations of a fit (FitRequest::early_model) stop: steps that change chi2 by
// less than this (in units of the errors).
inline constexpr double kEarlyChi2Tolerance = 1.0;

struct FitRequest {
  ParameterSet parameters;  // the starting values; fields not varied keep theirs
  MeasuredData data;
  std::vector<FitVariable> variables;
  int jobs = 1;                        // runs of one evaluation in parallel
  int max_runs = 5000;                 // calculations in all, the error estimate included
  double coordinate_tolerance = 1e-3;  // stop when steps in the [0, 1] coordinates are smaller
  FitMethod method = FitMethod::bobyqa;
  // The optimiser stops when its steps change chi2 by less than this (the error bars are set
  // at a change of 1); without sigma, by less than this times the reduced chi-square.
  double chi2_tolerance = 0.01;
  // When set: a more accurate model than the fit's, run once per point at the best values to
  // measure the fit model's discretisation bias (FitReport::bias).
  DepthModel bias_reference;
  // When set: the fit's calculation at a looser tolerance, for the early evaluations. The
  // optimiser runs on it until its steps change chi2 by less than kEarlyChi2Tolerance, then starts
  // again from its best point on the fit's model (the values, errors and chi2 are the fit
  // model's).
  DepthModel early_model;
};

// Empty when the request can be fitted; otherwise the first problem (a field that is not a
// real number, a field the model or the fitted depth does not use, bounds outside the field's
// allowed range, a start outside the bounds, too few points for the fields, ...).
std::string check_fit_request(const FitRequest& request);

enum class FitStatus {
  converged,     // the optimiser met its tolerance and the model describes the data
  at_bound,      // converged with a field on one of its bounds: its error is not reliable
  undetermined,  // the data do not determine a field (no error can be given)
  out_of_reach,  // the best the model gives within the bounds does not describe the data
  run_limit,     // the most runs allowed (max_runs) reached before convergence
  interrupted,
  failed,  // no fit: a refused request or a start whose runs fail
};
// "converged", "at_bound", ...
const char* fit_status_text(FitStatus status);

struct FittedParameter {
  std::string name;
  std::string unit;
  double value = 0.0;
  double standard_error = 0.0;  // NaN when not determined
  double initial = 0.0;
  double lower = 0.0, upper = 0.0;
  bool log_scale = false;
  bool at_bound = false;
  std::string dataset{};  // the data set it was fitted for; empty when shared by all
};

struct FitPointResult {
  double fluence = 0.0, measured = 0.0, sigma = 0.0;
  double model = 0.0;     // NaN when the run failed
  double residual = 0.0;  // measured - model
  // (reference model - model) / the point's error (sigma, or the rms residual without sigma) at
  // the best values; NaN without a reference model or when its run failed.
  double bias = std::numeric_limits<double>::quiet_NaN();
  int dataset = 0;  // index into FitReport::datasets
};

// One data set's share of a fit.
struct FitSetResult {
  std::string name;
  int points = 0;
  double chi2 = 0.0;
  // The parameters of its model curve: the fitted values shared and its own, at the conditions
  // of its first row; and that row's pulses (0: none given).
  ParameterSet fitted;
  int pulses = 0;
};

struct FitReport {
  FitStatus status = FitStatus::failed;
  std::string message;  // what went wrong or what to watch; empty for a clean fit
  std::vector<FittedParameter> parameters;
  std::vector<std::vector<double>> correlation;  // NaN entries where not determined
  std::vector<FitPointResult> points;
  DepthQuantity quantity = DepthQuantity::total;
  bool weighted = false;  // the data gave sigma
  double chi2 = 0.0;
  int dof = 0;
  double reduced_chi2 = 0.0;
  int evaluations = 0;    // objective evaluations (one run per point each)
  int runs = 0;           // calculations, the error estimate and retries included
  int early_runs = 0;     // of the runs, those of the early evaluations (early_model)
  int retried_runs = 0;   // runs repeated with a smaller time step after diverging
  int failed_points = 0;  // runs that gave no number, penalised
  double wall_seconds = 0.0;
  std::string method;  // "NLopt LN_BOBYQA"
  // The model's runs as the caller names them ("accurate scheme, tolerance 0.001").
  std::string model_name;
  // The largest |bias| of the points (NaN when not measured); above 1 the fit model's
  // discretisation moves the fit by more than the data's errors (`message` says so).
  double largest_bias = std::numeric_limits<double>::quiet_NaN();
  ParameterSet fitted;  // the request's parameters with the fitted values shared by all rows
  std::vector<FitSetResult> datasets;  // one per data set of the data
  std::vector<std::string> notes;      // the data's notes: columns not used, units converted
  // The model could not run at all (its threads could not be started): `message` says why and
  // there is nothing to report or write.
  bool model_unavailable = false;
};

// Progress: evaluations and runs so far, best chi2 so far.
using FitProgress = std::function<void(int evaluations, int runs, double best_chi2)>;

// Fits the request's fields on `model`, which gives the depths at the data's fluences.
FitReport fit_model(const FitRequest& request, const DepthModel& model,
                    const std::atomic<bool>& interrupt, const FitProgress& progress = {});

// The same data fitted one data set at a time: for each data set, its rows alone with the
// shared fields and its own; the request's other settings. A data set too small for its fields
// gets a failed report saying so.
std::vector<FitReport> fit_each_set(const FitRequest& request, const DepthModel& model,
                                    const std::atomic<bool>& interrupt);

// The model's depths at `fluences` for a parameter set (for the fitted curve); NaN where a run
// failed. Counts its runs in `runs`. Empty, with the reason in `error`, when the model could
// not run at all. `pulses`: the pulses of each run (0: the model's own).
std::vector<double> model_depths(const DepthModel& model, const ParameterSet& parameters,
                                 DepthQuantity quantity, const std::vector<double>& fluences,
                                 int jobs, int& runs, const std::atomic<bool>& interrupt,
                                 std::string& error, int pulses = 0);

}  // namespace kt
