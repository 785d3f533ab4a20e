// Experiments in Python: kestrium.Experiment (an experiment file read, its settings readable)
// and the keywords of the calls (experiment=, scheme=, pulse_shape=, trace=, pulses=, rate_hz=,
// incubated_absorption=) turned into the setup of the runs by the engine, as the batch
// runner's options are. A keyword given overrides the experiment's value.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>

#include "engine/experiment_setup.h"
#include "params/spelling.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace kt::python {
namespace {

template <typename T>
std::optional<T> keyword(const py::dict& keywords, const char* name) {
  if (!keywords.contains(name) || keywords[name].is_none()) return std::nullopt;
  return keywords[name].cast<T>();
}

// The settings given (checked by kestrium._experiment) as choices over no experiment.
ExperimentChoices settings_of(const py::dict& keywords) {
  ExperimentChoices choices;
  choices.scheme = keyword<std::string>(keywords, "scheme");
  choices.pulse_shape = keyword<std::string>(keywords, "pulse_shape");
  if (auto trace = keyword<std::string>(keywords, "trace")) choices.trace = *trace;
  choices.pulses = keyword<int>(keywords, "pulses");
  choices.rate_hz = keyword<double>(keywords, "rate_hz");
  choices.incubated_absorption = keyword<double>(keywords, "incubated_absorption");
  if (auto material = keyword<std::string>(keywords, "material")) choices.material = *material;
  choices.beam = keyword<std::string>(keywords, "beam");
  choices.spot_radius_um = keyword<double>(keywords, "spot_radius_um");
  choices.tolerance = keyword<double>(keywords, "tolerance");
  return choices;
}

// Experiment(pulses=10, rate_hz=10, ...): the settings checked as an experiment file's are.
Experiment made_experiment(const py::args& args, const py::kwargs& keywords) {
  if (!args.empty())
    throw py::type_error(
        "Experiment() takes its settings as keywords, e.g. Experiment(pulses=10, rate_hz=10)");
  const py::dict checked = py::module_::import("kestrium._experiment").attr("_settings")(keywords);
  const Prepared<Experiment> made = merge_experiment(settings_of(checked));
  if (!made) raise_refusal(made.refusal);
  return *made;
}

}  // namespace

RunSetup experiment_setup(const py::dict& keywords, bool analysis) {
  ExperimentChoices choices = settings_of(keywords);
  choices.analysis = analysis;
  std::string experiment_file;
  if (keywords.contains("experiment") && !keywords["experiment"].is_none()) {
    const py::object given = keywords["experiment"];
    if (py::isinstance<Experiment>(given)) {
      choices.base = given.cast<Experiment>();
    } else {
      std::string error;
      experiment_file = py::module_::import("os").attr("fspath")(given).cast<std::string>();
      choices.base = read_experiment_file(experiment_file, error);
      if (!choices.base) raise_refusal({error, "experiment", ""});
    }
  }
  Prepared<RunSetup> setup = make_run_setup(choices);
  if (!setup) raise_refusal(setup.refusal);
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
  m.def("_nearest_name", [](const std::string& word, const std::vector<std::string>& names) {
    return nearest_name(word, names);
  });

  auto path_or_none = [](const std::filesystem::path& p) -> py::object {
    return p.empty() ? py::object(py::none()) : py::object(py::str(p.string()));
  };
  py::class_<Experiment>(m, "Experiment", R"(An experiment: what runs add to their parameters.

Made with keywords, Experiment(pulses=10, rate_hz=10, incubated_absorption=9.6e5), or read
from an experiment file (TOML) with Experiment.read(path), and passed as experiment= to run,
sweep, study, fit and threshold; keywords given beside it override its values.

Parameters
----------
scheme : {'published', 'accurate'}, optional
    None: published for one pulse without incubation, accurate otherwise.
pulse_shape : {'file', 'gaussian', 'measured'}, default 'file'
    'measured' takes its shape from trace.
trace : str or os.PathLike, optional
    A CSV pulse trace (time_ns, time_us or time_s, then the intensity).
pulses : int, default 1
    A train of that many pulses, each starting from the state the one before left.
rate_hz : float
    The train's repetition rate [Hz], needed when pulses > 1.
incubated_absorption : float, optional
    The absorption coefficient [1/cm] of fully incubated material.
material : str or os.PathLike, optional
    A material file (TOML).
beam : {'gaussian', 'tophat'}, optional
    A focused spot's profile (with spot_radius_um).
spot_radius_um : float, optional
    The spot's radius [µm] (1/e^2 for a Gaussian).

Raises
------
TypeError
    A setting of the wrong kind, or a misspelt one (naming the nearest).
RefusalError
    Settings that do not go together (a ValueError naming the keyword at fault).

Examples
--------
>>> import kestrium
>>> train = kestrium.Experiment(pulses=10, rate_hz=10, incubated_absorption=9.6e5)
>>> r = kestrium.run(kestrium.Parameters(fluence=80), experiment=train)
>>> e = kestrium.Experiment.read("train.toml")
)")
      .def(py::init(&made_experiment))
      .def_static(
          "read",
          [](const py::object& path) {
            std::string error;
            const auto name = py::module_::import("os").attr("fspath")(path).cast<std::string>();
            std::optional<Experiment> e = read_experiment_file(name, error);
            if (!e) throw py::value_error(error);
            return *e;
          },
          py::arg("path"), R"(Reads an experiment file (TOML).

Parameters
----------
path : str or os.PathLike
    The experiment file.

Returns
-------
Experiment
    Its settings.

Raises
------
ValueError
    The file cannot be read, naming the file, the key and the problem.)")
      .def_property_readonly(
          "scheme",
          [](const Experiment& e) -> py::object {
            return e.scheme.empty() ? py::object(py::none()) : py::object(py::str(e.scheme));
          },
          "The scheme, 'published' or 'accurate'; None: chosen by the run.")
      .def_property_readonly(
          "pulse_shape", [](const Experiment& e) { return e.pulse_shape; },
          "The shape of the pulses: 'file', 'gaussian' or 'measured'.")
      .def_property_readonly(
          "trace", [path_or_none](const Experiment& e) { return path_or_none(e.trace); },
          "The pulse trace's path, or None.")
      .def_property_readonly(
          "pulses", [](const Experiment& e) { return e.pulses; }, "The pulses of the train.")
      .def_property_readonly(
          "rate_hz", [](const Experiment& e) { return e.rate_hz; },
          "The train's repetition rate [Hz].")
      .def_property_readonly(
          "incubated_absorption", [](const Experiment& e) { return e.incubated_absorption; },
          "The absorption coefficient of incubated material [1/cm], or None.")
      .def_property_readonly(
          "material", [path_or_none](const Experiment& e) { return path_or_none(e.material); },
          "The material file's path, or None.")
      .def_property_readonly(
          "beam",
          [](const Experiment& e) -> py::object {
            return e.beam.empty() ? py::object(py::none()) : py::object(py::str(e.beam));
          },
          "The spot's profile, 'gaussian' or 'tophat', or None.")
      .def_property_readonly(
          "spot_radius_um", [](const Experiment& e) { return e.spot_radius_um; },
          "The spot's radius [µm] (1/e^2 for a Gaussian).")
      .def_property_readonly(
          "text", [](const Experiment& e) { return experiment_text(e); },
          "The experiment as the text of an experiment file.")
      .def("__eq__", [](const Experiment& a, const Experiment& b) { return a == b; })
      .def(py::pickle(
          [](const Experiment& e) {
            return py::make_tuple(e.scheme, e.pulse_shape, e.trace.string(), e.pulses, e.rate_hz,
                                  e.incubated_absorption, e.material.string(), e.beam,
                                  e.spot_radius_um, e.heat_transfer, e.emissivity);
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
            if (t.size() >= 11) {
              e.beam = t[7].cast<std::string>();
              e.spot_radius_um = t[8].cast<double>();
              e.heat_transfer = t[9].cast<double>();
              e.emissivity = t[10].cast<double>();
            }
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
