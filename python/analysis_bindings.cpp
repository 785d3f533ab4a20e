// The analyses of the compiled module: fits of Parameter-set fields to measured depths and the
// ablation threshold, on the analysis library the batch runner's fit and threshold commands
// use. Measured arrays go to the data reader cell by cell, with no text in between. The results
// are kestrium's report classes (kestrium/_results.py): typed attributes (NumPy arrays) taken
// from the typed results, and, as a dict, the batch runner's report document (one layout, in
// analysis/report.cpp). The calls release the GIL and stop on Ctrl-C.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/fit.h"
#include "analysis/incubation.h"
#include "analysis/measured_data.h"
#include "analysis/report.h"
#include "analysis/threshold.h"
#include "engine/fit_request.h"
#include "engine/model_runs.h"
#include "engine/parallel_runner.h"
#include "engine/threshold_request.h"
#include "params/parameter_fields.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/interruptible.h"

namespace py = pybind11;

namespace kt::python {
namespace {

std::optional<DepthQuantity> quantity_named(const std::optional<std::string>& word) {
  if (!word) return std::nullopt;
  DepthQuantity quantity = DepthQuantity::total;
  if (!parse_depth_quantity(*word, quantity))
    throw py::value_error("quantity takes total, surface or volume; got \"" + *word + "\"");
  return quantity;
}

// A report's document as Python values: objects as dicts (in order), arrays as lists, reals as
// the report shows them (a whole number as an int, as reading its text gives). The document is
// the batch runner's JSON report (analysis/report.h), so the dicts have its keys and values.
py::object python_value(const nlohmann::ordered_json& value) {
  switch (value.type()) {
    case nlohmann::ordered_json::value_t::object: {
      py::dict out;
      for (auto it = value.begin(); it != value.end(); ++it)
        out[py::str(it.key())] = python_value(it.value());
      return out;
    }
    case nlohmann::ordered_json::value_t::array: {
      py::list out;
      for (const auto& item : value) out.append(python_value(item));
      return out;
    }
    case nlohmann::ordered_json::value_t::number_float: {
      const double v = value.get<double>();
      if (!std::isfinite(v)) return py::none();
      const double shown = shown_real(v);
      if (shown == std::trunc(shown) && std::fabs(shown) < 1e10)
        return py::int_(static_cast<long long>(shown));
      return py::float_(shown);
    }
    case nlohmann::ordered_json::value_t::number_integer:
      return py::int_(value.get<long long>());
    case nlohmann::ordered_json::value_t::number_unsigned:
      return py::int_(value.get<unsigned long long>());
    case nlohmann::ordered_json::value_t::boolean:
      return py::bool_(value.get<bool>());
    case nlohmann::ordered_json::value_t::string:
      return py::str(value.get_ref<const std::string&>());
    default:
      return py::none();
  }
}

std::vector<double> column(std::size_t n, const std::function<double(std::size_t)>& value) {
  std::vector<double> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = value(i);
  return out;
}

// kestrium.FitReport: the report's dict and its typed attributes, from the fit's results.
py::object fit_report(const ModelFitResult& result, const ModelFitPlan& plan) {
  const FitReport& r = result.report;
  const bool several = plan.several_sets();
  const bool nothing = r.points.empty();
  const std::size_t n = r.parameters.size(), m = r.points.size();
  const auto& ps = r.parameters;
  const auto& pts = r.points;
  py::dict a;
  a["status"] = fit_status_text(r.status);
  a["message"] = r.message;
  a["quantity"] = std::string(depth_quantity_word(r.quantity));
  a["scheme"] = std::string(scheme_name(plan.setup.scheme));
  a["tolerance"] = plan.setup.tolerance;
  a["model"] = r.model_name;
  std::vector<std::string> names;
  for (const FittedParameter& p : ps) names.push_back(fitted_key(p));
  a["names"] = names;
  const double none = std::numeric_limits<double>::quiet_NaN();
  a["values"] = to_array(column(n, [&](std::size_t i) { return nothing ? none : ps[i].value; }));
  a["errors"] =
      to_array(column(n, [&](std::size_t i) { return nothing ? none : ps[i].standard_error; }));
  a["lower"] = to_array(column(n, [&](std::size_t i) { return ps[i].lower; }));
  a["upper"] = to_array(column(n, [&](std::size_t i) { return ps[i].upper; }));
  py::array_t<double> correlation({n, n});
  auto c = correlation.mutable_unchecked<2>();
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      c(static_cast<py::ssize_t>(i), static_cast<py::ssize_t>(j)) =
          i < r.correlation.size() && j < r.correlation[i].size() ? r.correlation[i][j] : none;
  a["correlation"] = correlation;
  a["chi2"] = nothing ? none : r.chi2;
  a["dof"] = r.dof;
  a["reduced_chi2"] = nothing ? none : r.reduced_chi2;
  a["weighted"] = r.weighted;
  a["fluence"] = to_array(column(m, [&](std::size_t i) { return pts[i].fluence; }));
  a["measured"] = to_array(column(m, [&](std::size_t i) { return pts[i].measured; }));
  a["sigma"] = to_array(column(m, [&](std::size_t i) { return pts[i].sigma; }));
  a["model_depth"] = to_array(column(m, [&](std::size_t i) { return pts[i].model; }));
  a["residual"] = to_array(column(m, [&](std::size_t i) { return pts[i].residual; }));
  a["bias"] = to_array(column(m, [&](std::size_t i) { return pts[i].bias; }));
  a["largest_bias"] = r.largest_bias;
  const FitWork work = report_work(r, &result.sets);
  a["evaluations"] = work.evaluations;
  a["runs"] = work.runs;
  a["wall_seconds"] = work.wall_seconds;
  a["notes"] = r.notes;
  std::vector<std::string> sets;
  for (const FitSetResult& set : r.datasets) sets.push_back(set.name);
  a["datasets"] = sets;
  a["fitted"] = r.fitted;
  py::dict d =
      python_value(report_document(r, plan.analyse && !several ? &result.beer_lambert : nullptr,
                                   &result.sets))
          .cast<py::dict>();
  d["fitted"] = a["fitted"];
  return make_result("FitReport", d, a);
}

// kestrium.BeerLambertReport: the Beer-Lambert analysis alone, one entry per data set.
py::object beer_lambert_report(const ModelFitResult& result, const ModelFitPlan& plan) {
  const MeasuredData& data = plan.request.data;
  const bool several = plan.several_sets();
  std::vector<BeerLambertFit> fits =
      several ? result.sets.beer_lambert : std::vector<BeerLambertFit>{result.beer_lambert};
  const std::size_t n = fits.size();
  py::dict a;
  std::vector<std::string> names;
  for (std::size_t k = 0; k < n; ++k) names.push_back(data.datasets.at(k).name);
  a["datasets"] = names;
  a["threshold_fluence"] =
      to_array(column(n, [&](std::size_t k) { return fits[k].threshold_fluence; }));
  a["threshold_stderr"] =
      to_array(column(n, [&](std::size_t k) { return fits[k].threshold_stderr; }));
  a["absorption_length_nm"] =
      to_array(column(n, [&](std::size_t k) { return fits[k].absorption_length_nm; }));
  a["absorption_length_stderr"] =
      to_array(column(n, [&](std::size_t k) { return fits[k].absorption_length_stderr; }));
  a["chi2"] = to_array(column(n, [&](std::size_t k) { return fits[k].chi2; }));
  a["points_used"] =
      to_array(column(n, [&](std::size_t k) { return double(fits[k].points_used); }));
  a["fluence"] =
      to_array(column(data.points.size(), [&](std::size_t i) { return data.points[i].fluence; }));
  a["measured"] =
      to_array(column(data.points.size(), [&](std::size_t i) { return data.points[i].depth_nm; }));
  a["notes"] = data.warnings;
  return make_result(
      "BeerLambertReport",
      python_value(beer_lambert_document(result.beer_lambert, data,
                                         several ? &result.sets.beer_lambert : nullptr))
          .cast<py::dict>(),
      a);
}

// One cell of the arrays: a text (a data-set label) as it is, a number as a float (its repr
// names it in messages); anything else is refused naming its column and index.
MeasuredCell cell_of(const py::handle& value, const std::string& source, const std::string& name,
                     std::size_t index) {
  MeasuredCell cell;
  if (py::isinstance<py::str>(value)) {
    cell.text = value.cast<std::string>();
  } else if (py::isinstance<py::bytes>(value)) {
    cell.text = value.cast<std::string>();
  } else {
    PyObject* number = PyNumber_Float(value.ptr());
    if (!number) {
      PyErr_Clear();
      throw py::value_error(source + ", column " + name + ", index " + std::to_string(index) +
                            ": " + py::repr(value).cast<std::string>() +
                            " is not a number nor a data-set label");
    }
    const py::float_ f = py::reinterpret_steal<py::float_>(number);
    cell.number = f.cast<double>();
    cell.text = py::repr(f).cast<std::string>();
  }
  return cell;
}

// Measured data from a CSV file, or from the arrays' columns (name: a sequence of equal length)
// handed to the reader cell by cell (`source` names them in messages, their rows by index).
MeasuredData measured_data(const std::optional<std::filesystem::path>& path,
                           const std::optional<py::dict>& columns, const std::string& source,
                           const std::optional<DepthQuantity>& quantity) {
  MeasuredData data;
  std::string error;
  const DepthQuantity* wanted = quantity ? &*quantity : nullptr;
  bool read = false;
  if (path) {
    read = read_measured_csv(path->string(), data, error, wanted);
  } else {
    MeasuredTable table;
    std::vector<py::list> values;
    for (const auto& [key, column] : columns.value_or(py::dict())) {
      table.names.push_back(py::str(key).cast<std::string>());
      values.push_back(py::list(py::reinterpret_borrow<py::object>(column)));
    }
    const std::size_t rows = values.empty() ? 0 : values.front().size();
    table.rows.assign(rows, std::vector<MeasuredCell>(values.size()));
    for (std::size_t c = 0; c < values.size(); ++c) {
      if (values[c].size() != rows)
        throw py::value_error(source + " differ in length: " + table.names.front() + " has " +
                              std::to_string(rows) + ", " + table.names[c] + " has " +
                              std::to_string(values[c].size()));
      for (std::size_t i = 0; i < rows; ++i)
        table.rows[i][c] = cell_of(values[c][i], source, table.names[c], i);
    }
    read = read_measured_table(table, source, data, error, wanted);
  }
  if (!read) throw py::value_error(error);
  return data;
}

// The fit as the batch runner's fit command makes it: every field with its default bounds,
// changed by `bounds`, everything checked before the first run. Returns the report (with
// the Beer-Lambert analysis when `analyse`; that analysis alone without fields) and the notes
// on the data.
py::tuple fit(const ParameterSet& parameters, const std::optional<std::filesystem::path>& path,
              const std::optional<py::dict>& columns, const std::string& source,
              const std::optional<std::string>& quantity_word, const std::vector<std::string>& vary,
              const std::vector<std::string>& vary_each,
              const std::map<std::string, std::pair<double, double>>& bounds, int jobs,
              int max_runs, const std::string& method, bool analyse, double min_depth_nm,
              const py::object& progress, const py::dict& experiment, bool separately) {
  if (method != "bobyqa" && method != "sbplx")
    throw py::value_error("method takes \"bobyqa\" or \"sbplx\"; got \"" + method + "\"");
  ModelFitRequest asked;
  asked.setup = experiment_setup(experiment, true);
  asked.parameters = parameters;
  asked.data = measured_data(path, columns, source, quantity_named(quantity_word));
  asked.vary = vary;
  asked.vary_each = vary_each;
  for (const auto& [name, range] : bounds) asked.bounds.push_back({name, range});
  asked.jobs = jobs;
  asked.max_runs = max_runs;
  if (method == "sbplx") asked.method = FitMethod::sbplx;
  asked.analyse = analyse;
  asked.min_depth_nm = min_depth_nm;
  asked.separately = separately;
  const Prepared<ModelFitPlan> plan = asked.prepare();
  if (!plan) raise_refusal(plan.refusal);
  const MeasuredData& data = plan->request.data;
  const bool several = plan->several_sets();

  std::atomic<bool> interrupt{false};
  std::atomic<int> evaluations{0}, runs{0};
  std::atomic<double> best{0.0};
  int reported = -1;
  ModelFitResult result;
  const FitReport& report = result.report;
  try {
    run_interruptible(
        [&] {
          result = plan->execute(interrupt, [&](int e, int r, double b) {
            best.store(b);
            runs.store(r);
            evaluations.store(e);
          });
        },
        [&] { interrupt.store(true); },
        [&] {
          const int now = evaluations.load();
          if (progress.is_none() || now == reported) return;
          reported = now;
          progress(now, runs.load(), best.load());
        });
  } catch (py::error_already_set& e) {
    // Ctrl-C: the exception carries the report of the best values found.
    if (e.matches(PyExc_KeyboardInterrupt)) {
      e.value().attr("report") = fit_report(result, *plan);
    }
    throw;
  }
  if (!plan->fits()) {
    const SetReports& sets = result.sets;
    if (!several && !result.beer_lambert.ok) throw py::value_error(result.beer_lambert.message);
    for (std::size_t k = 0; several && k < sets.beer_lambert.size(); ++k)
      if (!sets.beer_lambert[k].ok)
        throw py::value_error(data.datasets[k].name + ": " + sets.beer_lambert[k].message);
    return py::make_tuple(beer_lambert_report(result, *plan), data.warnings);
  }
  if (report.model_unavailable) throw std::runtime_error(report.message);
  return py::make_tuple(fit_report(result, *plan), data.warnings);
}

// The threshold as the batch runner's threshold command finds it.
py::object threshold(const ParameterSet& parameters, double depth_nm,
                     const std::optional<std::string>& quantity_word, int jobs,
                     const py::dict& experiment) {
  ModelThresholdRequest asked;
  asked.parameters = parameters;
  asked.setups = {experiment_setup(experiment, true)};
  asked.depth_nm = depth_nm;
  asked.quantity = quantity_named(quantity_word).value_or(DepthQuantity::total);
  asked.jobs = jobs;
  const Prepared<ModelThresholdPlan> plan = asked.prepare();
  if (!plan) raise_refusal(plan.refusal);
  const ThresholdRequest& request = plan->request;
  const RunSetup& setup = plan->setups.front();
  std::atomic<bool> interrupt{false};
  ThresholdReport report;
  run_interruptible([&] { report = plan->execute(interrupt); }, [&] { interrupt.store(true); });
  if (report.model_unavailable) throw std::runtime_error(report.message);
  if (!report.ok) {
    // A depth the search refuses runs nothing; otherwise the model gave no threshold.
    if (report.runs == 0) throw py::value_error(report.message);
    throw std::runtime_error("no threshold: " + report.message);
  }
  const RunSetup& first = plan->setups.front();
  py::dict d;
  d["fluence"] = report.fluence;
  d["below"] = report.below;
  d["above"] = report.above;
  d["depth_below_nm"] = report.depth_below_nm;
  d["depth_above_nm"] = report.depth_above_nm;
  d["depth_nm"] = request.depth_nm;
  d["quantity"] = std::string(depth_quantity_word(request.quantity));
  d["runs"] = report.runs;
  d["wall_seconds"] = report.wall_seconds;
  d["pulses"] = setup.pulse.pulses;
  d["summary"] = threshold_summary(report, request);
  d["model"] = report.model_name;
  py::dict a;  // besides the values, which are attributes too
  a["scheme"] = std::string(scheme_name(first.scheme));
  a["tolerance"] = first.tolerance;
  return make_result("ThresholdReport", d, a);
}

// Thresholds at several pulse numbers and the incubation law through them.
py::object incubation(const ParameterSet& parameters, double depth_nm,
                      const std::optional<std::string>& quantity_word, int jobs,
                      const std::vector<int>& pulses, const py::dict& experiment) {
  ModelThresholdRequest asked;
  asked.parameters = parameters;
  asked.depth_nm = depth_nm;
  asked.quantity = quantity_named(quantity_word).value_or(DepthQuantity::total);
  asked.jobs = jobs;
  asked.pulses = pulses;
  // Every pulse number is checked before the first run.
  // One scheme for every pulse number: the accurate one of the trains unless chosen.
  for (int n : pulses) {
    py::dict keywords = experiment;
    if (keywords["scheme"].is_none()) keywords["scheme"] = "accurate";
    keywords["pulses"] = n;
    asked.setups.push_back(experiment_setup(keywords, true));
  }
  const Prepared<ModelThresholdPlan> plan = asked.prepare();
  if (!plan) raise_refusal(plan.refusal);
  const ThresholdRequest& request = plan->request;
  std::atomic<bool> interrupt{false};
  IncubationThresholds result;
  run_interruptible([&] { result = plan->execute_series(interrupt); },
                    [&] { interrupt.store(true); });
  if (result.model_unavailable || !result.ok) throw std::runtime_error(result.message);
  std::vector<double> fluences;
  for (const ThresholdReport& t : result.thresholds) fluences.push_back(t.fluence);
  py::dict d;
  d["pulses"] = to_array(std::vector<double>(pulses.begin(), pulses.end()));
  d["fluence"] = to_array(std::move(fluences));
  d["s"] = result.fit.s;
  d["s_stderr"] = result.fit.s_stderr;
  d["single_pulse_threshold"] = result.fit.single_pulse_threshold;
  d["single_pulse_stderr"] = result.fit.single_pulse_stderr;
  d["chi2"] = result.fit.chi2;
  d["dof"] = result.fit.dof;
  d["summary"] = incubation_summary(result, request);
  py::dict a;  // besides the values, which are attributes too
  std::vector<double> below, above;
  for (const ThresholdReport& t : result.thresholds) {
    below.push_back(t.below);
    above.push_back(t.above);
  }
  a["below"] = to_array(std::move(below));
  a["above"] = to_array(std::move(above));
  a["depth_nm"] = request.depth_nm;
  a["quantity"] = std::string(depth_quantity_word(request.quantity));
  a["scheme"] = std::string(scheme_name(plan->setups.front().scheme));
  a["tolerance"] = plan->setups.front().tolerance;
  return make_result("IncubationReport", d, a);
}

}  // namespace

py::object make_result(const char* name, const py::dict& values, const py::dict& attributes) {
  return py::module_::import("kestrium._results").attr(name)(values, attributes);
}

void bind_analysis(py::module_& m) {
  m.def("_fit", &fit, py::arg("parameters"), py::arg("path"), py::arg("columns"), py::arg("source"),
        py::arg("quantity"), py::arg("vary"), py::arg("vary_each"), py::arg("bounds"),
        py::arg("jobs"), py::arg("max_runs"), py::arg("method"), py::arg("analyse"),
        py::arg("min_depth"), py::arg("progress"), py::arg("experiment"), py::arg("separately"));
  m.def("_threshold", &threshold, py::arg("parameters"), py::arg("depth"), py::arg("quantity"),
        py::arg("jobs"), py::arg("experiment"));
  m.def("_incubation", &incubation, py::arg("parameters"), py::arg("depth"), py::arg("quantity"),
        py::arg("jobs"), py::arg("pulses"), py::arg("experiment"));
}

}  // namespace kt::python
