// The analyses of the compiled module: fits of Parameter-set fields to measured depths and the
// ablation threshold, on the analysis library the batch runner's fit and threshold commands
// use. Measured arrays go to the data reader cell by cell, with no text in between. The reports
// are the batch runner's: the fit's report document as Python values, the threshold's numbers
// and summary. The calls release the GIL and stop on Ctrl-C.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
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
// the report shows them (a whole number as an int, as reading its text gives).
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
// the Beer-Lambert analysis when `analyse`; that analysis alone without fields), the fitted
// parameters, the status and the notes on the data.
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
  auto document = [&] {
    return python_value(report_document(
        report, analyse && !several ? &result.beer_lambert : nullptr, &result.sets));
  };
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
      e.value().attr("report") = py::make_tuple(document(), report.fitted);
    }
    throw;
  }
  if (!plan->fits()) {
    const SetReports& sets = result.sets;
    if (!several && !result.beer_lambert.ok) throw py::value_error(result.beer_lambert.message);
    for (std::size_t k = 0; several && k < sets.beer_lambert.size(); ++k)
      if (!sets.beer_lambert[k].ok)
        throw py::value_error(data.datasets[k].name + ": " + sets.beer_lambert[k].message);
    return py::make_tuple(python_value(beer_lambert_document(
                              result.beer_lambert, data, several ? &sets.beer_lambert : nullptr)),
                          py::none(), std::string("converged"), data.warnings);
  }
  if (report.model_unavailable) throw std::runtime_error(report.message);
  return py::make_tuple(document(), report.fitted, std::string(fit_status_text(report.status)),
                        data.warnings);
}

// The threshold as the batch runner's threshold command finds it.
py::dict threshold(const ParameterSet& parameters, double depth_nm,
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
  return d;
}

// Thresholds at several pulse numbers and the incubation law through them.
py::dict incubation(const ParameterSet& parameters, double depth_nm,
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
  return d;
}

}  // namespace

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
