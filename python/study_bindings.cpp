// Parameter studies in the kestrium package: a study (base parameters, varied fields and their
// values) that pickles, so a cluster's workers each run a chunk of its points with the batch
// runner's engine, and the table of the whole study rebuilt from the chunks' rows, the same
// bytes `kestrium-batch study` writes.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/result_columns.h"
#include "engine/study.h"
#include "engine/study_request.h"
#include "params/parameter_set.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/interruptible.h"
#include "solver/calculation_run.h"

namespace py = pybind11;

namespace kt::python {
namespace {

// A study as the Python layer and the workers see it. The values are kept as given (doubles),
// so a pickled study rebuilds the very same plan and hash on a worker.
struct Study {
  ParameterSet given;  // the parameters as given (the job's base has the material's values)
  std::vector<std::string> names;
  std::optional<std::vector<std::vector<double>>> axes;    // a product study
  std::optional<std::vector<std::vector<double>>> points;  // a listed study
  int refinement = 1;
  Experiment experiment;  // the scheme, pulses, incubation and material of every point
  bool energy = false;    // the energy ledger's columns after the results
  // The material file's text as read, so a worker rebuilds the study without the file.
  std::optional<std::string> material_text;
  // The study as the engine's request prepared it: its base (with the material's values), plan
  // and hash; each chunk of points runs on it and the chunks' rows join into its table.
  StudyJob job;
};

Study make_study(const ParameterSet& base, const std::vector<std::string>& names,
                 const std::optional<std::vector<std::vector<double>>>& axes,
                 const std::optional<std::vector<std::vector<double>>>& points, int refinement,
                 const Experiment& experiment, bool energy,
                 const std::optional<std::string>& material_text = std::nullopt,
                 bool checked = false) {
  if (axes.has_value() == points.has_value())
    throw py::value_error("a study takes value lists or listed points, one of the two");
  Study s{base, names, axes, points, refinement, experiment, energy, {}, {}};
  // The material from its text when the study was sent with it, else from its file.
  Experiment without_material = experiment;
  without_material.material.clear();
  Prepared<RunSetup> setup = make_run_setup(without_material);
  if (!setup) raise_refusal(setup.refusal);
  std::string refusal;
  if (!experiment.material.empty()) {
    const std::string path = experiment.material.string();
    std::optional<MaterialFile> material = material_text
                                               ? parse_material_text(*material_text, path, refusal)
                                               : read_material_file(path, refusal);
    if (!material) throw py::value_error(refusal);
    material->path = experiment.material;
    s.material_text = material->text;
    setup->material = std::make_shared<const MaterialFile>(std::move(*material));
  }
  StudyRequest request;
  request.base = base;
  StudyPlan& plan = request.plan;
  const std::string error =
      axes ? make_axes_study(names, *axes, plan) : make_listed_study(names, *points, plan);
  if (!error.empty()) throw py::value_error(error);
  plan.refinement = refinement;
  plan.setup = *setup;
  plan.columns = with_error_columns(
      with_train_columns(energy ? ResultColumnSet::with_energy : ResultColumnSet::results,
                         setup->is_train()),
      setup->tolerance > 0.0);
  // Its points run in chunks on threads or workers. A study checked once (a copy rebuilt on a
  // worker) is only identified again: the same plan and hash.
  request.in_chunks = true;
  const Prepared<StudyJob> job = checked ? request.identify() : request.prepare();
  if (!job) raise_refusal(job.refusal);
  s.job = *job;
  return s;
}

// The value a table cell shows, as a double: what reading the table back gives.
double shown(float value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return static_cast<double>(value);
  *end = '\0';
  return std::strtod(buffer, nullptr);
}

void check_range(const Study& s, std::size_t start, std::size_t stop) {
  const std::size_t count = study_point_count(s.job.plan);
  if (start > stop || stop > count) {
    throw py::index_error("points " + std::to_string(start) + " to " + std::to_string(stop) +
                          " are not a range of the study's " + std::to_string(count) + " points");
  }
}

// The varied values of points start to stop - 1, one array per field.
py::list point_values(const Study& s, std::size_t start, std::size_t stop) {
  check_range(s, start, stop);
  std::vector<std::vector<double>> columns(s.job.plan.fields.size());
  for (auto& column : columns) column.reserve(stop - start);
  for (std::size_t i = start; i < stop; ++i) {
    const StudyPoint point = study_point(s.job.plan, i);
    for (std::size_t k = 0; k < columns.size(); ++k) columns[k].push_back(shown(point.values[k]));
  }
  py::list out;
  for (auto& column : columns) out.append(to_array(std::move(column)));
  return out;
}

// The rows of points start to stop - 1, run on `jobs` threads, as arrays: point, end (a
// StudyEnd code), steps, the result columns of the plan (NaN where the table leaves them
// empty), note.
py::dict run_points(const Study& s, std::size_t start, std::size_t stop, int jobs,
                    const py::object& progress) {
  check_range(s, start, stop);
  if (stop - start > kMaximumRunPoints)
    throw py::value_error("a run of " + std::to_string(stop - start) +
                          " points at once; one run holds at most " +
                          std::to_string(kMaximumRunPoints) +
                          " points (split the study, or give chunk_size on a cluster)");
  std::vector<std::size_t> indices(stop - start);
  for (std::size_t k = 0; k < indices.size(); ++k) indices[k] = start + k;
  std::atomic<bool> interrupt{false};
  std::atomic<std::size_t> done{0};
  std::size_t reported = std::numeric_limits<std::size_t>::max();
  StudyResult result;
  run_interruptible(
      [&] {
        StudyJob job = s.job;
        job.jobs = capped_jobs(jobs);
        result = job.execute_points(indices, interrupt,
                                    [&](std::size_t n, std::size_t) { done.store(n); });
      },
      [&] { interrupt.store(true); },
      [&] {
        const std::size_t now = done.load();
        if (progress.is_none() || now == reported) return;
        reported = now;
        progress(now, indices.size());
      });
  if (!result.error.empty()) throw std::runtime_error("study: " + result.error);
  if (result.interrupted) throw std::runtime_error("the study stopped before its end");

  const double none = std::numeric_limits<double>::quiet_NaN();
  const std::size_t n = result.rows.size();
  std::vector<std::int64_t> point(n);
  std::vector<std::int8_t> end(n);
  std::vector<std::int32_t> steps(n);
  const std::span<const ResultColumn> names = result_columns(s.job.plan.columns);
  std::vector<std::vector<double>> results(names.size(), std::vector<double>(n, none));
  py::list notes;
  for (std::size_t k = 0; k < n; ++k) {
    const StudyRow& r = result.rows[k];
    point[k] = static_cast<std::int64_t>(r.index);
    end[k] = static_cast<std::int8_t>(r.end);
    steps[k] = r.steps;
    if (r.end == StudyEnd::end_test || r.end == StudyEnd::step_limit) {
      for (std::size_t c = 0; c < r.results.size() && c < results.size(); ++c)
        results[c][k] = r.results[c];
    }
    notes.append(r.note);
  }
  py::dict d;
  d["point"] = to_array(std::move(point));
  d["end"] = to_array(std::move(end));
  d["steps"] = to_array(std::move(steps));
  for (std::size_t c = 0; c < results.size(); ++c)
    d[py::str(std::string(names[c].name))] = to_array(std::move(results[c]));
  d["note"] = notes;
  return d;
}

template <class T>
py::array_t<T> column(const py::dict& chunk, const char* name, std::size_t n) {
  auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(chunk[name]);
  if (!a || a.ndim() != 1 || static_cast<std::size_t>(a.shape(0)) != n)
    throw py::value_error(std::string("a chunk of rows has a damaged column ") + name);
  return a;
}

// The table of the whole study from the rows of its chunks, given in point order.
std::string table_text(const Study& s, const py::list& chunks) {
  std::vector<StudyRow> rows;
  const std::size_t count = study_point_count(s.job.plan);
  rows.reserve(count);
  for (py::handle item : chunks) {
    const py::dict chunk = py::reinterpret_borrow<py::dict>(item);
    const auto point = column<std::int64_t>(chunk, "point", py::len(chunk["point"]));
    const std::size_t n = static_cast<std::size_t>(point.shape(0));
    const auto end = column<std::int8_t>(chunk, "end", n);
    const auto steps = column<std::int32_t>(chunk, "steps", n);
    std::vector<py::array_t<double>> results;
    for (const ResultColumn& c : result_columns(s.job.plan.columns))
      results.push_back(column<double>(chunk, std::string(c.name).c_str(), n));
    const py::list notes = chunk["note"];
    if (py::len(notes) != n) throw py::value_error("a chunk of rows has a damaged column note");
    for (std::size_t k = 0; k < n; ++k) {
      const auto index = static_cast<std::size_t>(point.at(k));
      if (index != rows.size()) {
        throw py::value_error("the rows of point " + std::to_string(rows.size()) +
                              " onwards are missing or out of order");
      }
      if (end.at(k) < 0 || end.at(k) > static_cast<int>(StudyEnd::interrupted))
        throw py::value_error("point " + std::to_string(index) + " has no valid end");
      StudyRow r;
      r.index = index;
      r.values = study_point(s.job.plan, index).values;
      r.end = static_cast<StudyEnd>(end.at(k));
      r.note = notes[k].cast<std::string>();
      r.steps = steps.at(k);
      for (const py::array_t<double>& values : results) r.results.push_back(values.at(k));
      rows.push_back(std::move(r));
    }
  }
  if (rows.size() != count) {
    throw py::value_error("the rows of points " + std::to_string(rows.size()) + " to " +
                          std::to_string(count - 1) + " are missing");
  }
  StudyResult joined;
  joined.rows = std::move(rows);
  return s.job.table_text(joined);
}

std::vector<double> parse_values(const std::string& text) {
  std::string error;
  const std::vector<float> values = parse_study_values(text, error);
  if (values.empty()) throw py::value_error(error);
  return {values.begin(), values.end()};
}

}  // namespace

void bind_study(py::module_& m) {
  py::class_<Study>(m, "_Study")
      .def(py::init([](const ParameterSet& base, const std::vector<std::string>& names,
                       const std::optional<std::vector<std::vector<double>>>& axes,
                       const std::optional<std::vector<std::vector<double>>>& points,
                       int refinement, const py::dict& experiment, bool energy) {
             return make_study(base, names, axes, points, refinement,
                               experiment_setup(experiment).experiment, energy);
           }),
           py::arg("parameters"), py::arg("names"), py::arg("axes"), py::arg("points"),
           py::arg("refinement"), py::arg("experiment"), py::arg("energy"))
      .def_property_readonly("point_count",
                             [](const Study& s) { return study_point_count(s.job.plan); })
      .def_property_readonly("hash", [](const Study& s) { return s.job.hash; })
      .def_readonly("names", &Study::names)
      .def_property_readonly("result_columns",
                             [](const Study& s) {
                               py::list names;
                               for (const ResultColumn& c : result_columns(s.job.plan.columns))
                                 names.append(std::string(c.name));
                               return py::tuple(names);
                             })
      .def("point_values", &point_values, py::arg("start"), py::arg("stop"))
      .def("run", &run_points, py::arg("start"), py::arg("stop"), py::arg("jobs"),
           py::arg("progress"))
      .def("table_text", &table_text, py::arg("chunks"))
      .def(py::pickle(
          [](const Study& s) {
            return py::make_tuple(s.given, s.names, s.axes, s.points, s.refinement, s.experiment,
                                  s.energy, s.material_text);
          },
          [](const py::tuple& t) {
            return make_study(t[0].cast<ParameterSet>(), t[1].cast<std::vector<std::string>>(),
                              t[2].cast<std::optional<std::vector<std::vector<double>>>>(),
                              t[3].cast<std::optional<std::vector<std::vector<double>>>>(),
                              t[4].cast<int>(), t[5].cast<Experiment>(), t[6].cast<bool>(),
                              t[7].cast<std::optional<std::string>>(), true);
          }));
  m.def("_study_values", &parse_values, py::arg("text"));
  py::list ends;
  for (StudyEnd e : {StudyEnd::end_test, StudyEnd::step_limit, StudyEnd::diverged,
                     StudyEnd::refused, StudyEnd::interrupted}) {
    ends.append(study_end_text(e));
  }
  m.attr("_study_end_texts") = ends;
  py::list result_names;
  for (const ResultColumn& c : result_columns()) result_names.append(std::string(c.name));
  m.attr("_result_columns") = py::tuple(result_names);
}

}  // namespace kt::python
