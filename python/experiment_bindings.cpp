// Experiments in Python: kestrium.Experiment (an experiment file read, its settings readable)
// and the keywords of the calls (experiment=, scheme=, pulse_shape=, trace=, pulses=, rate_hz=,
// incubated_absorption=) turned into the setup of the runs by the engine, as the batch
// runner's options are. A keyword given overrides the experiment's value.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>

#include "engine/experiment_setup.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace kt::python {
namespace {

template <typename T>
std::optional<T> keyword(const py::dict& keywords, const char* name) {
  if (!keywords.contains(name) || keywords[name].is_none()) return std::nullopt;
  return keywords[name].cast<T>();
}

}  // namespace

RunSetup experiment_setup(const py::dict& keywords) {
  ExperimentChoices choices;
  std::string experiment_file;
  if (keywords.contains("experiment") && !keywords["experiment"].is_none()) {
    const py::object given = keywords["experiment"];
    if (py::isinstance<Experiment>(given)) {
      choices.base = given.cast<Experiment>();
    } else {
      std::string error;
      experiment_file = py::module_::import("os").attr("fspath")(given).cast<std::string>();
      choices.base = read_experiment_file(experiment_file, error);
      if (!choices.base) throw py::value_error(error);
    }
  }
  choices.scheme = keyword<std::string>(keywords, "scheme");
  choices.pulse_shape = keyword<std::string>(keywords, "pulse_shape");
  if (auto trace = keyword<std::string>(keywords, "trace")) choices.trace = *trace;
  choices.pulses = keyword<int>(keywords, "pulses");
  choices.rate_hz = keyword<double>(keywords, "rate_hz");
  choices.incubated_absorption = keyword<double>(keywords, "incubated_absorption");
  if (auto material = keyword<std::string>(keywords, "material")) choices.material = *material;
  std::string error;
  std::optional<RunSetup> setup = make_run_setup(choices, error);
  if (!setup) throw py::value_error(error);
  setup->experiment_file = experiment_file;
  return std::move(*setup);
}

void bind_experiment(py::module_& m) {
  // The names of the run's choices, for the enums of _choices.py.
  py::list shapes, schemes;
  for (PulsePlan::Shape shape :
       {PulsePlan::Shape::file, PulsePlan::Shape::gaussian, PulsePlan::Shape::measured})
    shapes.append(pulse_shape_name(shape));
  for (Scheme scheme : {Scheme::published, Scheme::accurate}) schemes.append(scheme_name(scheme));
  m.attr("_pulse_plan_shapes") = py::tuple(shapes);
  m.attr("_schemes") = py::tuple(schemes);

  auto path_or_none = [](const std::filesystem::path& p) -> py::object {
    return p.empty() ? py::object(py::none()) : py::object(py::str(p.string()));
  };
  py::class_<Experiment>(m, "Experiment", R"(An experiment: what runs add to their parameters.

Read from an experiment file (TOML) with Experiment.read(path) and passed as experiment= to
run, sweep, study and threshold; keywords given beside it override its values. Its settings
are readable: scheme (None: chosen by the pulses), pulse_shape, trace (a path or None), pulses,
rate_hz, incubated_absorption (1/cm or None), material (a path or None).)")
      .def_static(
          "read",
          [](const py::object& path) {
            std::string error;
            const auto name = py::module_::import("os").attr("fspath")(path).cast<std::string>();
            std::optional<Experiment> e = read_experiment_file(name, error);
            if (!e) throw py::value_error(error);
            return *e;
          },
          py::arg("path"), "Reads an experiment file; ValueError names the file, key and problem.")
      .def_property_readonly("scheme",
                             [](const Experiment& e) -> py::object {
                               return e.scheme.empty() ? py::object(py::none())
                                                       : py::object(py::str(e.scheme));
                             })
      .def_property_readonly("pulse_shape", [](const Experiment& e) { return e.pulse_shape; })
      .def_property_readonly("trace",
                             [path_or_none](const Experiment& e) { return path_or_none(e.trace); })
      .def_property_readonly("pulses", [](const Experiment& e) { return e.pulses; })
      .def_property_readonly("rate_hz", [](const Experiment& e) { return e.rate_hz; })
      .def_property_readonly("incubated_absorption",
                             [](const Experiment& e) { return e.incubated_absorption; })
      .def_property_readonly(
          "material", [path_or_none](const Experiment& e) { return path_or_none(e.material); })
      .def_property_readonly(
          "text", [](const Experiment& e) { return experiment_text(e); },
          "The experiment as the text of an experiment file.")
      .def("__eq__", [](const Experiment& a, const Experiment& b) { return a == b; })
      .def(py::pickle(
          [](const Experiment& e) {
            return py::make_tuple(e.scheme, e.pulse_shape, e.trace.string(), e.pulses, e.rate_hz,
                                  e.incubated_absorption, e.material.string());
          },
          [](const py::tuple& t) {
            Experiment e;
            e.scheme = t[0].cast<std::string>();
            e.pulse_shape = t[1].cast<std::string>();
            e.trace = t[2].cast<std::string>();
            e.pulses = t[3].cast<int>();
            e.rate_hz = t[4].cast<double>();
            e.incubated_absorption = t[5].cast<std::optional<double>>();
            e.material = t[6].cast<std::string>();
            return e;
          }))
      // Protocols 0 and 1 would copy the object without its C++ part (and abort the
      // interpreter on use): they pickle as protocol 2 does.
      .def("__reduce_ex__",
           [](const py::object& self, int protocol) -> py::object {
             return py::module_::import("builtins")
                 .attr("object")
                 .attr("__reduce_ex__")(self, std::max(protocol, 2));
           })
      .def("__repr__", [](const Experiment& e) {
        std::string text =
            "Experiment(pulse_shape='" + e.pulse_shape + "', pulses=" + std::to_string(e.pulses);
        if (e.pulses > 1)
          text += ", rate_hz=" + py::repr(py::float_(e.rate_hz)).cast<std::string>();
        if (!e.scheme.empty()) text += ", scheme='" + e.scheme + "'";
        if (e.incubated_absorption)
          text += ", incubated_absorption=" +
                  py::repr(py::float_(*e.incubated_absorption)).cast<std::string>();
        return text + ")";
      });
}

}  // namespace kt::python
