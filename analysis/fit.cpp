#include "analysis/fit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlopt.hpp>
#include <optional>

#include "params/setting_words.h"

namespace kt {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A fit is out of reach when the residuals are this large: a reduced chi-square over 25 (the
// model 5 sigma off on average) or, whatever the weights, an RMS residual over a quarter of the
// RMS measured depth.
constexpr double kPoorReducedChi2 = 25.0;
constexpr double kPoorRelativeRms = 0.25;
// Above this reduced chi-square a converged fit carries a note that its errors are too small.
constexpr double kLooseReducedChi2 = 4.0;
// A coordinate this close to 0 or 1 counts as on its bound.
constexpr double kBoundMargin = 1e-3;
// The finite-difference step for the Jacobian: 0.1 % of the value (of ln value on a log scale).
constexpr double kJacobianStep = 1e-3;
// Across data sets the valleys of chi-square are long and narrow: BOBYQA's trust region would
// shrink below the coordinate tolerance far from the bottom, so such a fit searches to a
// hundredth of it. (A fit to one data set keeps its tolerance.)
constexpr double kAcrossSetsTolerance = 0.01;

std::string number_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

double to_coordinate(const FitVariable& v, double x) {
  if (v.log_scale)
    return (std::log(x) - std::log(v.lower)) / (std::log(v.upper) - std::log(v.lower));
  return (x - v.lower) / (v.upper - v.lower);
}

double from_coordinate(const FitVariable& v, double u) {
  u = std::clamp(u, 0.0, 1.0);
  if (v.log_scale) return std::exp(std::log(v.lower) + u * (std::log(v.upper) - std::log(v.lower)));
  return v.lower + u * (v.upper - v.lower);
}

// The inverse of a small symmetric positive matrix, scaled to a unit diagonal first; false when
// it is (numerically) singular.
bool invert_symmetric(std::vector<std::vector<double>>& a) {
  const std::size_t n = a.size();
  std::vector<double> scale(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!(a[i][i] > 0.0)) return false;
    scale[i] = 1.0 / std::sqrt(a[i][i]);
  }
  std::vector<std::vector<double>> m(n, std::vector<double>(2 * n, 0.0));
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) m[i][j] = a[i][j] * scale[i] * scale[j];
    m[i][n + i] = 1.0;
  }
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    if (std::fabs(m[pivot][c]) < 1e-10) return false;
    std::swap(m[c], m[pivot]);
    const double p = m[c][c];
    for (double& e : m[c]) e /= p;
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c || m[r][c] == 0.0) continue;
      const double f = m[r][c];
      for (std::size_t k = 0; k < 2 * n; ++k) m[r][k] -= f * m[c][k];
    }
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) a[i][j] = m[i][n + j] * scale[i] * scale[j];
  return true;
}

}  // namespace

const char* fit_status_text(FitStatus status) {
  switch (status) {
    case FitStatus::converged:
      return "converged";
    case FitStatus::at_bound:
      return "at_bound";
    case FitStatus::undetermined:
      return "undetermined";
    case FitStatus::out_of_reach:
      return "out_of_reach";
    case FitStatus::run_limit:
      return "run_limit";
    case FitStatus::interrupted:
      return "interrupted";
    case FitStatus::failed:
      break;
  }
  return "failed";
}

namespace {

// Why a fit cannot vary the field, whatever the other parameters; empty when it can.
std::string never_fitted(const ParameterField& field) {
  if (std::string why = field_not_settable(field); !why.empty()) return why;
  if (field.effect == FieldEffect::none) {
    ParameterSet any;
    return field_without_effect(field, any);
  }
  return {};
}

}  // namespace

const ParameterField* find_fit_field(std::string_view name, std::string& error) {
  std::string names;
  for (const ParameterField& f : parameter_fields()) {
    if (!never_fitted(f).empty()) continue;
    names += (names.empty() ? "" : ", ") + std::string(f.name);
  }
  const ParameterField* field = find_parameter_field(name);
  if (!field) {
    error =
        "\"" + std::string(name) + "\" is not a field that can be fitted; the fields are: " + names;
    return nullptr;
  }
  if (const std::string why = never_fitted(*field); !why.empty()) {
    error = std::string(name) + " cannot be fitted: " + why + "; the fields that can are: " + names;
    return nullptr;
  }
  return field;
}

bool default_fit_variable(const ParameterSet& parameters, const ParameterField& field,
                          FitVariable& variable, std::string& error) {
  const double value = field_value(parameters, field);
  variable.field = &field;
  variable.log_scale = field.spans_decades;
  const std::string range = allowed_range_text(field);
  if (range == "from 0 up to (not including) 1" || range == "from 0 to 1") {
    variable.lower = 0.0;
    variable.upper = 0.99;
    variable.log_scale = false;
    return true;
  }
  if (range == "from 0 to 100") {
    variable.lower = 0.0;
    variable.upper = 100.0;
    variable.log_scale = false;
    return true;
  }
  if (!(value > 0.0)) {
    error = std::string(field.name) + " is " + number_text(value) + "; give its range with " +
            setting_text("bounds", field.name);
    return false;
  }
  const double factor = field.spans_decades ? 100.0 : 2.0;
  variable.lower = value / factor;
  variable.upper = value * factor;
  return true;
}

std::vector<FitVariable> per_set_variables(const FitVariable& variable, const MeasuredData& data) {
  std::vector<FitVariable> out;
  for (std::size_t k = 0; k < data.datasets.size(); ++k) {
    out.push_back(variable);
    out.back().dataset = static_cast<int>(k);
  }
  return out;
}

namespace {

// The condition columns against the parameters, and each data set against its own fields.
std::string check_conditions(const FitRequest& request) {
  const MeasuredData& data = request.data;
  for (const ConditionColumn& c : data.conditions) {
    if (!c.field || c.field->effect == FieldEffect::none) continue;
    if (const std::string why = field_without_effect(*c.field, request.parameters); !why.empty())
      return "column " + std::to_string(c.column) + " of " + data.source + " sets " + c.name +
             ", which cannot change the depths: " + why;
  }
  // Each row's run as the fit will make it, checked before the first run: a refusal names the
  // row's line rather than coming from a run half way through the fit.
  if (!data.conditions.empty()) {
    for (const MeasuredPoint& point : data.points) {
      const ParameterSet row = parameters_of_point(request.parameters, data, point);
      if (const std::string refusal = check_run_choices(row); !refusal.empty())
        return data.place(point.line) + ": " + refusal;
    }
  }
  for (std::size_t k = 0; k < data.datasets.size(); ++k) {
    std::size_t own = 0;
    for (const FitVariable& v : request.variables) own += v.dataset == static_cast<int>(k);
    if (own == 0) continue;
    const std::size_t points = points_of_set(data, static_cast<int>(k)).size();
    if (points <= own)
      return "data set \"" + data.datasets[k].name + "\" of " + data.source + " has " +
             std::to_string(points) + " point(s); its " + std::to_string(own) +
             " field(s) fitted per data set need at least " + std::to_string(own + 1);
  }
  return {};
}

}  // namespace

std::string check_fit_request(const FitRequest& request) {
  const std::size_t n = request.data.points.size(), m = request.variables.size();
  if (m == 0) return "no field to fit (" + setting_text("vary", "NAME[,NAME...]") + ")";
  if (n <= m) {
    return std::to_string(n) + " data point(s) cannot determine " + std::to_string(m) +
           " field(s); at least " + std::to_string(m + 1) + " are needed";
  }
  for (std::size_t i = 0; i < m; ++i) {
    const FitVariable& v = request.variables[i];
    if (!v.field) return "a fitted field is missing";
    const std::string name(v.field->name);
    for (std::size_t j = 0; j < i; ++j) {
      const FitVariable& w = request.variables[j];
      if (w.field != v.field) continue;
      if (w.dataset == v.dataset)
        return name + " is named twice in " + setting_text(v.dataset < 0 ? "vary" : "vary_each");
      if (w.dataset < 0 || v.dataset < 0)
        return name + " is named in both " + setting_text("vary") + " and " +
               setting_text("vary_each");
    }
    if (v.dataset >= static_cast<int>(request.data.datasets.size()))
      return name + " is fitted for a data set the data do not have";
    for (const ConditionColumn& c : request.data.conditions)
      if (c.field == v.field)
        return name + " is set row by row by column " + std::to_string(c.column) + " of " +
               request.data.source + "; it cannot also be fitted";
    if (const std::string why = never_fitted(*v.field); !why.empty())
      return name + " cannot be fitted: " + why;
    if (const std::string why = field_without_effect(*v.field, request.parameters); !why.empty())
      return name + " cannot change the depths: " + why;
    if (v.field->effect == FieldEffect::volume_depth &&
        request.data.quantity == DepthQuantity::surface)
      return name + " cannot change the depths: it scales the volume depth alone, and the data " +
             "are of the surface recession";
    if (!std::isfinite(v.lower) || !std::isfinite(v.upper) || !(v.lower < v.upper))
      return "the bounds of " + name + " (" + number_text(v.lower) + ":" + number_text(v.upper) +
             ") need LO < HI";
    const std::string range = allowed_range_text(*v.field);
    for (double bound : {v.lower, v.upper}) {
      if (!value_in_allowed_range(*v.field, static_cast<float>(bound)))
        return "the bound " + number_text(bound) + " of " + name +
               " is outside its allowed range (" + range + ")";
    }
    if (v.log_scale && !(v.lower > 0.0))
      return name + " is fitted on a log scale, so its lower bound must be greater than 0";
    // The start is a field of the parameter file (a float): a bound written as the start value
    // is met, whichever way the float rounds it.
    const double start = field_value(request.parameters, *v.field);
    const float start_float = static_cast<float>(start);
    if (!(start_float >= static_cast<float>(v.lower) && start_float <= static_cast<float>(v.upper)))
      return "the starting value " + number_text(start) + " of " + name +
             " lies outside its bounds " + number_text(v.lower) + ":" + number_text(v.upper);
  }
  if (std::string problem = check_conditions(request); !problem.empty()) return problem;
  const long error_runs = 2L * static_cast<long>(m * n);
  const long least_runs = error_runs + 2L * static_cast<long>(n);
  if (request.max_runs < least_runs) {
    return setting_text("max_runs", std::to_string(request.max_runs)) +
           " is too low: the error estimate alone takes " + std::to_string(error_runs) +
           " runs; allow at least " + std::to_string(least_runs) + " (" +
           std::to_string(error_runs + 10L * static_cast<long>(n)) +
           " or more leave the search room for several steps)";
  }
  return {};
}

std::vector<double> model_depths(const DepthModel& model, const ParameterSet& parameters,
                                 DepthQuantity quantity, const std::vector<double>& fluences,
                                 int jobs, int& runs, const std::atomic<bool>& interrupt,
                                 std::string& error, int pulses) {
  std::vector<ModelPoint> points;
  for (double f : fluences) points.push_back({&parameters, f, pulses});
  ModelRunCounter counter;
  const ModelBatch batch = model(points, quantity, jobs, counter, interrupt);
  runs += counter.runs.load();
  if (!batch.error.empty()) {
    error = batch.error;
    return {};
  }
  std::vector<double> depths;
  for (const ModelPointResult& r : batch.results) depths.push_back(r.ok ? r.depth_nm : kNaN);
  return depths;
}

namespace {

// The sums of squares of the residuals and of the measured depths at the best point.
struct ResidualSums {
  double residuals = 0.0, depths = 0.0;
};

// The parameter sets of the error estimate's differences (two per fitted field) and the field
// values they actually hold.
struct JacobianSteps {
  std::vector<std::vector<ParameterSet>> sets;  // two configurations per field, one set a point
  std::vector<double> x_plus, x_minus;
};

// One fit: the optimiser over the fields' [0, 1] coordinates, then the error estimate and the
// judgement of what the fit is worth, all sharing the request, the run counter and the best point.
class FitSession {
 public:
  FitSession(const FitRequest& request, const DepthModel& model, const std::atomic<bool>& interrupt,
             const FitProgress& progress)
      : request_(request),
        model_(model),
        interrupt_(interrupt),
        progress_(progress),
        vars_(request.variables),
        data_(request.data.points),
        n_(data_.size()),
        m_(vars_.size()),
        bobyqa_(request.method == FitMethod::bobyqa) {
    report_.quantity = request.data.quantity;
    report_.weighted = request.data.has_sigma;
    report_.method = bobyqa_ ? "NLopt LN_BOBYQA" : "NLopt LN_SBPLX";
    report_.fitted = request.parameters;
    for (const MeasuredPoint& point : data_) {
      point_bases_.push_back(parameters_of_point(request.parameters, request.data, point));
      point_pulses_.push_back(pulses_of_point(request.data, point));
    }
  }

  FitReport run();

 private:
  static double objective(const std::vector<double>& u, std::vector<double>&, void* self) {
    return static_cast<FitSession*>(self)->evaluate(u);
  }

  double sigma(std::size_t i) const {
    const double sigma_of_unweighted = 1.0;
    return request_.data.has_sigma ? data_[i].sigma_nm : sigma_of_unweighted;
  }

  FitReport finish();
  FitReport unavailable();
  void describe_parameters();
  ParameterSet with_values(ParameterSet p, const std::vector<double>& u, int set) const;
  std::vector<ParameterSet> parameters_at(const std::vector<double>& u) const;
  bool affects(const FitVariable& v, std::size_t point) const {
    return v.dataset < 0 || v.dataset == data_[point].dataset;
  }
  std::string run_sets(const std::vector<std::vector<ParameterSet>>& sets,
                       std::vector<std::vector<double>>& out,
                       const std::vector<std::size_t>& only_variable = {});
  void record_sets();
  void measure_bias(const ResidualSums& sums);
  bool across_sets() const {
    if (request_.data.datasets.size() > 1) return true;
    for (const FitVariable& v : vars_)
      if (v.dataset >= 0) return true;
    return false;
  }
  double evaluate(const std::vector<double>& u);
  std::string optimise(std::vector<double>& u, bool early = false);
  void run_early(std::vector<double>& u);
  ResidualSums record_best_point();
  JacobianSteps jacobian_steps() const;
  std::vector<std::vector<double>> jacobian(std::string& problem);
  std::vector<std::string> estimate_errors(const std::vector<std::vector<double>>& jacobian);
  std::string at_bounds_text() const;
  void judge(const ResidualSums& sums, const std::vector<std::string>& undetermined_names,
             const std::string& jacobian_problem);
  void add_notes(const std::string& optimiser_note, const std::string& jacobian_problem);

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  const FitRequest& request_;
  const DepthModel& model_;
  const std::atomic<bool>& interrupt_;
  const FitProgress& progress_;
  const std::vector<FitVariable>& vars_;
  const std::vector<MeasuredPoint>& data_;
  const std::size_t n_, m_;
  const bool bobyqa_;
  std::vector<ParameterSet> point_bases_;  // each point's parameters: the request's, its conditions
  std::vector<int> point_pulses_;
  FitReport report_;
  ModelRunCounter counter_;
  std::optional<nlopt::opt> optimiser_;
  int budget_ = 0;
  double best_chi2_ = std::numeric_limits<double>::infinity(), worst_chi2_ = 0.0;
  std::vector<double> best_u_, best_model_;
  std::string first_problem_;
  std::string model_error_;                   // the model could not run at all: the fit stops
  const DepthModel* active_model_ = &model_;  // the early model during the early evaluations
  bool refining_ = false;                     // the fit's model, started from the early best
  bool limit_hit_ = false;
};

FitReport FitSession::run() {
  if (std::string problem = check_fit_request(request_); !problem.empty()) {
    report_.message = problem;
    return finish();
  }
  describe_parameters();
  // The optimiser's budget leaves room for the error estimate.
  budget_ = request_.max_runs - 2 * static_cast<int>(m_ * n_);
  best_u_.assign(m_, 0.0);
  best_model_.assign(n_, kNaN);
  optimiser_.emplace(bobyqa_ ? nlopt::LN_BOBYQA : nlopt::LN_SBPLX, static_cast<unsigned>(m_));

  std::vector<double> u(m_);
  for (std::size_t j = 0; j < m_; ++j)
    u[j] = to_coordinate(vars_[j], report_.parameters[j].initial);
  if (request_.early_model) run_early(u);
  // The start must give numbers: otherwise there is nothing to improve on.
  evaluate(u);
  if (!model_error_.empty()) return unavailable();
  if (!std::isfinite(best_chi2_)) {
    report_.message = interrupt_.load() ? "interrupted"
                                        : "the runs at the starting values fail: " + first_problem_;
    report_.status = interrupt_.load() ? FitStatus::interrupted : FitStatus::failed;
    return finish();
  }
  const std::string optimiser_note = optimise(u);
  if (!model_error_.empty()) return unavailable();
  const ResidualSums sums = record_best_point();

  if (interrupt_.load()) {
    report_.status = FitStatus::interrupted;
    report_.message = "interrupted: the values are the best found so far, not a fit";
    return finish();
  }
  if (limit_hit_) {
    report_.status = FitStatus::run_limit;
    report_.message = "the fit stopped at " +
                      setting_text("max_runs", std::to_string(request_.max_runs)) +
                      " before converging: the values are the best found so far";
    return finish();
  }

  std::string jacobian_problem;
  const std::vector<std::vector<double>> differences = jacobian(jacobian_problem);
  if (!model_error_.empty()) return unavailable();
  const std::vector<std::string> undetermined_names = estimate_errors(differences);
  judge(sums, undetermined_names, jacobian_problem);
  add_notes(optimiser_note, jacobian_problem);
  if (request_.bias_reference) measure_bias(sums);
  return finish();
}

// The reference model at every point with the best values, against the fit's model there.
void FitSession::measure_bias(const ResidualSums& sums) {
  const std::vector<ParameterSet> sets = parameters_at(best_u_);
  std::vector<ModelPoint> points;
  for (std::size_t i = 0; i < n_; ++i)
    points.push_back({&sets[i], data_[i].fluence, point_pulses_[i]});
  const ModelBatch batch =
      request_.bias_reference(points, report_.quantity, request_.jobs, counter_, interrupt_);
  if (!batch.error.empty() || batch.results.size() != n_) return;
  const double unweighted_error =
      std::sqrt(sums.residuals / std::max(1.0, static_cast<double>(n_)));
  double largest = 0.0;
  bool any = false;
  for (std::size_t i = 0; i < n_; ++i) {
    const double error = request_.data.has_sigma ? data_[i].sigma_nm : unweighted_error;
    const double bias =
        batch.results[i].ok ? (batch.results[i].depth_nm - best_model_[i]) / error : kNaN;
    report_.points[i].bias = bias;
    if (std::isfinite(bias)) {
      largest = std::max(largest, std::abs(bias));
      any = true;
    }
  }
  if (!any) return;
  report_.largest_bias = largest;
  if (largest > 1.0) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "the model's discretisation moves the depths by up to %.2g times a point's "
                  "error at the best values (a more accurate run per point): the fitted values "
                  "carry that bias; fit on the accurate scheme",
                  largest);
    if (!report_.message.empty()) report_.message += "; ";
    report_.message += text;
  }
}

// The model could not run: no fit and nothing to report.
FitReport FitSession::unavailable() {
  report_.status = FitStatus::failed;
  report_.model_unavailable = true;
  report_.message = model_error_;
  return finish();
}

FitReport FitSession::finish() {
  report_.runs = counter_.runs.load();
  report_.retried_runs = counter_.retries.load();
  report_.failed_points = counter_.failed.load();
  report_.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  return report_;
}

void FitSession::describe_parameters() {
  for (const FitVariable& v : vars_) {
    FittedParameter p;
    if (v.dataset >= 0)
      p.dataset = request_.data.datasets[static_cast<std::size_t>(v.dataset)].name;
    p.name = std::string(v.field->name);
    p.unit = std::string(v.field->unit);
    p.initial = field_value(request_.parameters, *v.field);
    p.lower = v.lower;
    p.upper = v.upper;
    p.log_scale = v.log_scale;
    report_.parameters.push_back(p);
  }
}

// `p` with the values at u of the fields shared by all rows and of those of data set `set`.
ParameterSet FitSession::with_values(ParameterSet p, const std::vector<double>& u, int set) const {
  for (std::size_t j = 0; j < m_; ++j)
    if (vars_[j].dataset < 0 || vars_[j].dataset == set)
      set_field_value(p, *vars_[j].field, static_cast<float>(from_coordinate(vars_[j], u[j])));
  return p;
}

// The parameters of each point's run at u.
std::vector<ParameterSet> FitSession::parameters_at(const std::vector<double>& u) const {
  std::vector<ParameterSet> sets;
  sets.reserve(n_);
  for (std::size_t i = 0; i < n_; ++i)
    sets.push_back(with_values(point_bases_[i], u, data_[i].dataset));
  return sets;
}

// The model at every data point for each configuration (one parameter set per point); NaN
// entries where a run failed, and the first failure's reason. With `only_variable`, the
// configuration c runs only the points that fitted field only_variable[c] acts on.
std::string FitSession::run_sets(const std::vector<std::vector<ParameterSet>>& sets,
                                 std::vector<std::vector<double>>& out,
                                 const std::vector<std::size_t>& only_variable) {
  std::vector<ModelPoint> points;
  std::vector<std::pair<std::size_t, std::size_t>> where;  // (configuration, point)
  for (std::size_t c = 0; c < sets.size(); ++c)
    for (std::size_t i = 0; i < n_; ++i) {
      if (!only_variable.empty() && !affects(vars_[only_variable[c]], i)) continue;
      points.push_back({&sets[c][i], data_[i].fluence, point_pulses_[i]});
      where.emplace_back(c, i);
    }
  ModelBatch batch =
      (*active_model_)(points, report_.quantity, request_.jobs, counter_, interrupt_);
  out.assign(sets.size(), std::vector<double>(n_, kNaN));
  if (!batch.error.empty()) {
    if (model_error_.empty()) model_error_ = std::move(batch.error);
    return model_error_;
  }
  const std::vector<ModelPointResult>& results = batch.results;
  std::string problem;
  for (std::size_t k = 0; k < results.size(); ++k) {
    if (results[k].ok)
      out[where[k].first][where[k].second] = results[k].depth_nm;
    else if (problem.empty())
      problem = results[k].problem;
  }
  return problem;
}

// The objective: chi-square of the model at the coordinates u; keeps the best point.
double FitSession::evaluate(const std::vector<double>& u) {
  if (!model_error_.empty() || interrupt_.load() ||
      counter_.runs.load() + static_cast<int>(n_) > budget_) {
    limit_hit_ = model_error_.empty() && !interrupt_.load();
    optimiser_->force_stop();
    return std::isfinite(best_chi2_) ? best_chi2_ : 1e300;
  }
  std::vector<std::vector<double>> model;
  const std::string problem = run_sets({parameters_at(u)}, model);
  if (!model_error_.empty()) {
    if (optimiser_) optimiser_->force_stop();
    return 1e300;
  }
  ++report_.evaluations;
  double chi2 = 0.0;
  if (problem.empty()) {
    for (std::size_t i = 0; i < n_; ++i) {
      const double r = (data_[i].depth_nm - model[0][i]) / sigma(i);
      chi2 += r * r;
    }
  }
  if (!problem.empty() || !std::isfinite(chi2)) {
    if (first_problem_.empty())
      first_problem_ = problem.empty() ? "a depth is not a number" : problem;
    // A failed evaluation is penalised, never passed on as a number it is not.
    chi2 = std::isfinite(best_chi2_) ? 10.0 * worst_chi2_ + 1.0 : 1e300;
    if (progress_) progress_(report_.evaluations, counter_.runs.load(), best_chi2_);
    return chi2;
  }
  worst_chi2_ = std::max(worst_chi2_, chi2);
  if (chi2 < best_chi2_) {
    best_chi2_ = chi2;
    best_u_ = u;
    best_model_ = model[0];
  }
  if (progress_) progress_(report_.evaluations, counter_.runs.load(), best_chi2_);
  return chi2;
}

// The early evaluations on the early model, until chi2 settles (steps change it by less than
// kEarlyChi2Tolerance); u becomes their best point, where the fit's model starts afresh.
void FitSession::run_early(std::vector<double>& u) {
  active_model_ = &request_.early_model;
  evaluate(u);
  if (model_error_.empty() && std::isfinite(best_chi2_) && !interrupt_.load()) {
    optimise(u, true);
    u = best_u_;
  }
  report_.early_runs = counter_.runs.load();
  active_model_ = &model_;
  refining_ = true;
  best_chi2_ = std::numeric_limits<double>::infinity();
  worst_chi2_ = 0.0;
  best_model_.assign(n_, kNaN);
  first_problem_.clear();
  limit_hit_ = false;
  optimiser_.emplace(bobyqa_ ? nlopt::LN_BOBYQA : nlopt::LN_SBPLX, static_cast<unsigned>(m_));
}

// Runs the optimiser from u; the optimiser's own complaint, if any. Early: to the looser stop
// of the early evaluations.
std::string FitSession::optimise(std::vector<double>& u, bool early) {
  nlopt::opt& optimiser = *optimiser_;
  optimiser.set_lower_bounds(std::vector<double>(m_, 0.0));
  optimiser.set_upper_bounds(std::vector<double>(m_, 1.0));
  optimiser.set_min_objective(&FitSession::objective, this);
  optimiser.set_xtol_abs(request_.coordinate_tolerance *
                         (across_sets() ? kAcrossSetsTolerance : 1.0));
  optimiser.set_ftol_rel(1e-8);
  // Steps that change chi2 by less than chi2_tolerance (in units of the errors: without sigma,
  // of the reduced chi-square) no longer move the values by a visible part of their errors.
  const double chi2_tolerance =
      early ? std::max(kEarlyChi2Tolerance, request_.chi2_tolerance) : request_.chi2_tolerance;
  if (chi2_tolerance > 0.0) {
    const double dof = std::max(1.0, static_cast<double>(n_) - static_cast<double>(m_));
    if (request_.data.has_sigma)
      optimiser.set_ftol_abs(chi2_tolerance);
    else
      optimiser.set_ftol_rel(std::max(1e-8, chi2_tolerance / dof));
  }
  // From the early best the fit's model starts with a trust region half as wide.
  const double widest = refining_ ? 0.05 : 0.1;
  std::vector<double> step(m_);
  for (std::size_t j = 0; j < m_; ++j)
    step[j] = std::min(widest, std::max(0.02 * widest / 0.1, std::min(u[j], 1.0 - u[j])));
  optimiser.set_initial_step(step);
  double final_value = 0.0;
  std::string optimiser_note;
  try {
    optimiser.optimize(u, final_value);
  } catch (const nlopt::roundoff_limited&) {
    // The noise of the model's end test limits the last digits: the best point stands.
  } catch (const nlopt::forced_stop&) {
  } catch (const std::exception& e) {
    optimiser_note = e.what();
  }
  return optimiser_note;
}

// The best point found, its model and residuals.
ResidualSums FitSession::record_best_point() {
  report_.fitted = with_values(request_.parameters, best_u_, -1);
  report_.chi2 = best_chi2_;
  report_.dof = static_cast<int>(n_ - m_);
  report_.reduced_chi2 = best_chi2_ / report_.dof;
  ResidualSums sums;
  for (std::size_t i = 0; i < n_; ++i) {
    FitPointResult p;
    p.fluence = data_[i].fluence;
    p.measured = data_[i].depth_nm;
    p.sigma = request_.data.has_sigma ? data_[i].sigma_nm : kNaN;
    p.model = best_model_[i];
    p.residual = p.measured - p.model;
    p.dataset = data_[i].dataset;
    sums.residuals += p.residual * p.residual;
    sums.depths += p.measured * p.measured;
    report_.points.push_back(p);
  }
  record_sets();
  for (std::size_t j = 0; j < m_; ++j) {
    report_.parameters[j].value =
        field_value(with_values(request_.parameters, best_u_, vars_[j].dataset), *vars_[j].field);
    report_.parameters[j].at_bound = best_u_[j] < kBoundMargin || best_u_[j] > 1.0 - kBoundMargin;
    report_.parameters[j].standard_error = kNaN;
  }
  report_.correlation.assign(m_, std::vector<double>(m_, kNaN));
  return sums;
}

// Each data set's points, chi-square and model parameters at the best point.
void FitSession::record_sets() {
  report_.datasets.clear();
  for (std::size_t k = 0; k < request_.data.datasets.size(); ++k) {
    FitSetResult set;
    set.name = request_.data.datasets[k].name;
    const std::vector<std::size_t> rows = points_of_set(request_.data, static_cast<int>(k));
    set.points = static_cast<int>(rows.size());
    for (std::size_t i : rows) {
      const double r = (data_[i].depth_nm - best_model_[i]) / sigma(i);
      set.chi2 += r * r;
    }
    const std::size_t first = rows.empty() ? 0 : rows.front();
    set.fitted = rows.empty() ? report_.fitted
                              : with_values(point_bases_[first], best_u_, static_cast<int>(k));
    set.pulses = rows.empty() ? 0 : point_pulses_[first];
    report_.datasets.push_back(set);
  }
}

JacobianSteps FitSession::jacobian_steps() const {
  JacobianSteps steps;
  steps.x_plus.resize(m_);
  steps.x_minus.resize(m_);
  for (std::size_t j = 0; j < m_; ++j) {
    const FitVariable& v = vars_[j];
    const double x = report_.parameters[j].value;
    const double c = v.log_scale ? std::log(x) : x;
    const double h =
        v.log_scale ? kJacobianStep : kJacobianStep * (x != 0.0 ? std::fabs(x) : v.upper - v.lower);
    const double lo = v.log_scale ? std::log(v.lower) : v.lower;
    const double hi = v.log_scale ? std::log(v.upper) : v.upper;
    double c_plus = std::min(c + h, hi), c_minus = std::max(c - h, lo);
    if (c_plus - c_minus < h) {  // on a bound: a one-sided difference of the full step
      if (c_plus >= hi)
        c_minus = std::max(lo, hi - h);
      else
        c_plus = std::min(hi, lo + h);
    }
    for (double cc : {c_plus, c_minus}) {
      std::vector<ParameterSet> sets = parameters_at(best_u_);
      for (ParameterSet& p : sets)
        set_field_value(p, *v.field, static_cast<float>(v.log_scale ? std::exp(cc) : cc));
      steps.sets.push_back(std::move(sets));
    }
    steps.x_plus[j] = field_value(steps.sets[2 * j].front(), *v.field);
    steps.x_minus[j] = field_value(steps.sets[2 * j + 1].front(), *v.field);
  }
  return steps;
}

// Jacobian at the optimum by differences of the depths, in the fields' own units.
std::vector<std::vector<double>> FitSession::jacobian(std::string& problem) {
  const JacobianSteps steps = jacobian_steps();
  std::vector<std::vector<double>> runs;
  std::vector<std::size_t> variable_of;
  for (std::size_t j = 0; j < m_; ++j) variable_of.insert(variable_of.end(), {j, j});
  problem = run_sets(steps.sets, runs, variable_of);
  std::vector<std::vector<double>> jacobian(n_, std::vector<double>(m_, 0.0));
  for (std::size_t j = 0; j < m_; ++j)
    for (std::size_t i = 0; i < n_; ++i)
      if (affects(vars_[j], i))
        jacobian[i][j] =
            (runs[2 * j][i] - runs[2 * j + 1][i]) / (steps.x_plus[j] - steps.x_minus[j]);
  return jacobian;
}

// The standard errors and correlations from the Jacobian; the names of the fields the data do
// not determine.
std::vector<std::string> FitSession::estimate_errors(
    const std::vector<std::vector<double>>& jacobian) {
  std::vector<std::size_t> determined;
  std::vector<std::string> undetermined_names;
  for (std::size_t j = 0; j < m_; ++j) {
    double norm = 0.0;
    for (std::size_t i = 0; i < n_; ++i) norm += jacobian[i][j] * jacobian[i][j];
    if (norm > 0.0 && std::isfinite(norm))
      determined.push_back(j);
    else
      undetermined_names.push_back(report_.parameters[j].name);
  }
  std::vector<std::vector<double>> normal(determined.size(),
                                          std::vector<double>(determined.size(), 0.0));
  for (std::size_t a = 0; a < determined.size(); ++a)
    for (std::size_t b = 0; b < determined.size(); ++b)
      for (std::size_t i = 0; i < n_; ++i) {
        const double s = sigma(i);
        normal[a][b] += jacobian[i][determined[a]] * jacobian[i][determined[b]] / (s * s);
      }
  const double scale = report_.weighted ? 1.0 : report_.reduced_chi2;
  if (!determined.empty() && invert_symmetric(normal)) {
    for (std::size_t a = 0; a < determined.size(); ++a) {
      report_.parameters[determined[a]].standard_error = std::sqrt(scale * normal[a][a]);
      for (std::size_t b = 0; b < determined.size(); ++b)
        report_.correlation[determined[a]][determined[b]] =
            normal[a][b] / std::sqrt(normal[a][a] * normal[b][b]);
    }
  } else {
    undetermined_names.clear();
    for (const FittedParameter& p : report_.parameters) undetermined_names.push_back(p.name);
  }
  return undetermined_names;
}

std::string FitSession::at_bounds_text() const {
  std::string at_bounds;
  for (const FittedParameter& p : report_.parameters) {
    if (!p.at_bound) continue;
    if (!at_bounds.empty()) at_bounds += "; ";
    const bool upper = std::fabs(p.value - p.upper) < std::fabs(p.value - p.lower);
    at_bounds += p.name + " ended at its " + (upper ? "upper" : "lower") + " bound " +
                 number_text(upper ? p.upper : p.lower);
  }
  return at_bounds;
}

// What the fit is worth: its status and message.
void FitSession::judge(const ResidualSums& sums, const std::vector<std::string>& undetermined_names,
                       const std::string& jacobian_problem) {
  const bool poor = (report_.weighted && report_.reduced_chi2 > kPoorReducedChi2) ||
                    std::sqrt(sums.residuals) > kPoorRelativeRms * std::sqrt(sums.depths);
  const std::string at_bounds = at_bounds_text();
  char rms_text[160];
  std::snprintf(rms_text, sizeof rms_text,
                "RMS residual %.4g nm against an RMS measured depth of %.4g nm, reduced "
                "chi-square %.4g",
                std::sqrt(sums.residuals / n_), std::sqrt(sums.depths / n_), report_.reduced_chi2);
  if (poor) {
    report_.status = FitStatus::out_of_reach;
    report_.message = std::string("the data are out of the model's reach within the bounds (") +
                      rms_text + ")" + (at_bounds.empty() ? "" : "; " + at_bounds) + ": widen " +
                      setting_text("bounds") + ", vary other fields, or check the data";
  } else if (!undetermined_names.empty()) {
    report_.status = FitStatus::undetermined;
    std::string names;
    for (const std::string& s : undetermined_names) names += (names.empty() ? "" : ", ") + s;
    report_.message = "the data do not determine " + names +
                      (jacobian_problem.empty()
                           ? std::string(" (their effects on the depths vanish or "
                                         "cannot be told apart)")
                           : " (a run of the error estimate failed: " + jacobian_problem + ")");
  } else if (!at_bounds.empty()) {
    report_.status = FitStatus::at_bound;
    report_.message = at_bounds + ": its error is not reliable; widen " + setting_text("bounds");
  } else {
    report_.status = FitStatus::converged;
    if (report_.weighted && report_.reduced_chi2 > kLooseReducedChi2) {
      char note[200];
      std::snprintf(note, sizeof note,
                    "note: reduced chi-square %.3g: the model misses the points by %.2g sigma on "
                    "average, so the errors above (which assume it does not) are too small",
                    report_.reduced_chi2, std::sqrt(report_.reduced_chi2));
      report_.message = note;
    }
  }
}

void FitSession::add_notes(const std::string& optimiser_note, const std::string& jacobian_problem) {
  if (!optimiser_note.empty())
    report_.message +=
        (report_.message.empty() ? "" : "; ") + std::string("optimiser: ") + optimiser_note;
  if (counter_.failed.load() > 0) {
    report_.message += (report_.message.empty() ? "" : "; ") +
                       std::to_string(counter_.failed.load()) +
                       " run(s) failed and were penalised (first: " +
                       (first_problem_.empty() ? jacobian_problem : first_problem_) + ")";
  }
}

}  // namespace

FitReport fit_model(const FitRequest& request, const DepthModel& model,
                    const std::atomic<bool>& interrupt, const FitProgress& progress) {
  FitReport report = FitSession(request, model, interrupt, progress).run();
  report.notes = request.data.warnings;
  return report;
}

std::vector<FitReport> fit_each_set(const FitRequest& request, const DepthModel& model,
                                    const std::atomic<bool>& interrupt) {
  std::vector<FitReport> reports;
  for (std::size_t k = 0; k < request.data.datasets.size() && !interrupt.load(); ++k) {
    FitRequest one = request;
    one.data = measured_set(request.data, static_cast<int>(k));
    one.variables.clear();
    for (const FitVariable& v : request.variables) {
      if (v.dataset >= 0 && v.dataset != static_cast<int>(k)) continue;
      one.variables.push_back(v);
      one.variables.back().dataset = -1;
    }
    reports.push_back(fit_model(one, model, interrupt));
    for (FitSetResult& set : reports.back().datasets) set.name = request.data.datasets[k].name;
  }
  return reports;
}

}  // namespace kt
