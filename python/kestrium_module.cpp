// The compiled part of the kestrium Python package: the Parameter set with attribute access by
// field name, one calculation run with its per-step values as NumPy arrays, and fluence sweeps
// on threads. Everything runs on the params/ and solver/ libraries of the program; the calls
// that compute release the GIL and turn Ctrl-C into a Stop of the runs under way.
#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/crater.h"
#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "engine/run_request.h"
#include "engine/single_run.h"
#include "engine/spot_train.h"
#include "engine/sweep.h"
#include "engine/sweep_request.h"
#include "kt/version.h"
#include "params/output_paths.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"
#include "params/safe_save.h"
#include "params/spelling.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/interruptible.h"
#include "solver/calculation_run.h"
#include "solver/result_files.h"
#include "solver/run_observer.h"

namespace py = pybind11;

namespace kt::python {
namespace {

constexpr const char* kTextField = "data_file_name";

ParameterSet default_set() {
  ParameterSet p;
  set_default_parameter_groups(p);
  return p;
}

// The shortest decimal that reads back as the same 32-bit value: 0.1f shows as 0.1.
double shown_value(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);
  char buffer[32];
  for (int digits = 1; digits < 9; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(buffer, nullptr) == value) return std::strtod(buffer, nullptr);
  }
  return static_cast<double>(value);
}

float to_single(double value) {
  constexpr double largest = std::numeric_limits<float>::max();
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > largest) return std::numeric_limits<float>::infinity();
  if (value < -largest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// "Parameters has no field 'fluense'; did you mean 'fluence'?", or the list of the fields when
// no name is near.
std::string unknown_field(const std::string& name) {
  const std::string near = nearest_field_name(name);
  return "Parameters has no field '" + name + "'; " +
         (near.empty() ? "the fields are " + parameter_field_names(false) + ", " + kTextField
                       : "did you mean '" + near + "'?");
}

const ParameterField& field_named(const std::string& name) {
  const ParameterField* field = find_parameter_field(name);
  if (!field) throw py::type_error(unknown_field(name));
  return *field;
}

// Refuses `changed` when a run would refuse it for a reason `before` does not already have (a
// set read from a file may be refused for one field and must stay editable in the others); a
// changed field the run uses is refused out of its range whatever the other fields hold. The
// messages are the run's own: the field's label, the value and what it must be.
void check_change(const ParameterSet& before, const ParameterSet& changed) {
  for (const ParameterField& f : parameter_fields()) {
    const float value = field_value(changed, f);
    if (std::bit_cast<std::uint32_t>(value) == std::bit_cast<std::uint32_t>(field_value(before, f)))
      continue;
    if (!field_used_by_run(f, changed) && std::isfinite(value)) continue;
    if (const std::string refusal = range_refusal(f, value); !refusal.empty())
      throw py::value_error(refusal);
  }
  const std::string refusal = check_run_choices(changed);
  if (!refusal.empty() && refusal != check_run_choices(before)) throw py::value_error(refusal);
}

// One field set without the cross-field checks; a value a choice or switch cannot hold (1.5) is
// refused at once.
void set_field(ParameterSet& p, const ParameterField& field, double value) {
  const float single = to_single(value);
  if (std::string problem = field_value_problem(field, single); !problem.empty()) {
    throw py::value_error(problem);
  }
  set_field_value(p, field, single);
}

// What a field takes, for messages: "a number (mJ/cm^2)", "'surface' or 'bulk', or its code
// 1 or 2".
std::string what_field_takes(const ParameterField& field) {
  if (field.kind != FieldKind::choice) {
    return "a number" + (field.unit.empty() ? std::string() : " (" + std::string(field.unit) + ")");
  }
  std::string names;
  for (std::int32_t c = field.lowest_code; c <= field.highest_code; ++c) {
    names += (c == field.lowest_code    ? "'"
              : c == field.highest_code ? " or '"
                                        : ", '") +
             std::string(choice_name(field, c)) + "'";
  }
  return names + ", or its code " + std::string(field.codes);
}

// The number a Python value stands for in the field: a choice's name gives its code; numbers
// (bool, int, float, NumPy scalars) are taken as they are. Other types raise TypeError naming
// the field and what it takes.
double field_number(const ParameterField& field, py::handle value) {
  if (py::isinstance<py::str>(value)) {
    const std::string name = value.cast<std::string>();
    if (field.kind == FieldKind::choice) {
      if (const std::optional<std::int32_t> code = choice_code_named(field, name)) return *code;
      throw py::value_error(std::string(field.name) + " has no choice '" + name + "'; it takes " +
                            what_field_takes(field));
    }
  } else if (PyNumber_Check(value.ptr()) && !PyComplex_Check(value.ptr())) {
    try {
      return value.cast<double>();
    } catch (const py::cast_error&) {
      // An array or another number-like object that is not one number.
    }
  }
  throw py::type_error(std::string(field.name) + " takes " + what_field_takes(field) + ", not " +
                       std::string(py::str(value.get_type().attr("__name__"))));
}

// A field as Python reads it: a choice by its name (its code when outside the set), every other
// field as a number.
py::object python_value(const ParameterSet& p, const ParameterField& field) {
  const float value = field_value(p, field);
  if (field.kind == FieldKind::choice) {
    const auto code = static_cast<std::int32_t>(value);
    if (const std::string_view name = choice_name(field, code); !name.empty()) {
      return py::str(std::string(name));
    }
    return py::int_(code);
  }
  return py::float_(shown_value(value));
}

std::string text_of(py::handle value) {
  if (!py::isinstance<py::str>(value)) {
    throw py::type_error(std::string(kTextField) + " takes a str, not " +
                         std::string(py::str(value.get_type().attr("__name__"))));
  }
  return value.cast<std::string>();
}

void set_text(ParameterSet& p, const std::string& text) {
  if (text.size() > static_cast<std::size_t>(kDataFileNameLength)) {
    throw py::value_error(std::string(kTextField) + " \"" + text + "\" has " +
                          std::to_string(text.size()) + " characters; it holds at most " +
                          std::to_string(kDataFileNameLength));
  }
  set_padded(p.data_file_name, text);
}

void set_by_name(ParameterSet& p, const std::string& name, py::handle value) {
  if (name == kTextField) {
    set_text(p, text_of(value));
  } else {
    const ParameterField& field = field_named(name);
    set_field(p, field, field_number(field, value));
  }
}

// Keywords are applied together, then checked: their order does not matter.
ParameterSet from_keywords(const ParameterSet& start, const py::kwargs& keywords) {
  ParameterSet p = start;
  for (auto item : keywords) set_by_name(p, item.first.cast<std::string>(), item.second);
  check_change(start, p);
  return p;
}

// Attribute assignment: the set is unchanged on refusal.
template <class Change>
void change_checked(ParameterSet& p, const Change& change) {
  ParameterSet changed = p;
  change(changed);
  check_change(p, changed);
  p = changed;
}

// A pickled set comes back as it was, refused values included.
ParameterSet restore(const py::dict& state) {
  ParameterSet p = default_set();
  for (auto item : state) {
    const std::string name = item.first.cast<std::string>();
    if (name == kTextField) {
      set_padded(p.data_file_name, text_of(item.second));
    } else {
      const ParameterField& field = field_named(name);
      const float value = to_single(field_number(field, item.second));
      if (!set_field_value(p, field, value))
        throw py::value_error(field_value_problem(field, value));
    }
  }
  return p;
}

py::dict to_dict(const ParameterSet& p) {
  py::dict d;
  for (const ParameterField& f : parameter_fields()) {
    d[py::str(std::string(f.name))] = shown_value(field_value(p, f));
  }
  d[kTextField] = trimmed_right(p.data_file_name);
  return d;
}

std::string repr(const ParameterSet& p) {
  const ParameterSet defaults = default_set();
  std::string out = "Parameters(";
  bool first = true;
  for (const ParameterField& f : parameter_fields()) {
    const float value = field_value(p, f);
    if (value == field_value(defaults, f)) continue;
    out += (first ? "" : ", ") + std::string(f.name) + "=" +
           py::repr(python_value(p, f)).cast<std::string>();
    first = false;
  }
  if (p.data_file_name != defaults.data_file_name) {
    out += (first ? "" : ", ") + std::string(kTextField) + "=" +
           py::repr(py::str(trimmed_right(p.data_file_name))).cast<std::string>();
  }
  return out + ")";
}

[[noreturn]] void raise_os_error(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

ParameterSet read_parameters(const std::filesystem::path& path) {
  ParameterSet p = default_set();
  const FileResult result = read_parameter_file(path.string(), p);
  if (result) return p;
  // A file that opens but does not read is bad input; one that does not open is an OS error.
  // The test opens without blocking: a pipe with no writer must not hang it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const bool missing = errno == ENOENT;
    raise_os_error(missing ? PyExc_FileNotFoundError : PyExc_OSError, result.message);
  }
  ::close(fd);
  throw py::value_error(result.message);
}

void write_parameters(ParameterSet& p, const std::filesystem::path& path) {
  const FileResult result = write_parameter_file(path.string(), p);
  if (!result) raise_os_error(PyExc_OSError, result.message);
  p.time_scale = p.pulse_width;  // the set follows the saved file, as in the program
}

// Raises ValueError when an output is a file the runs read or another output.
void check_outputs(const RunSetup& setup, const std::vector<NamedPath>& outputs) {
  if (const std::string clash = check_output_paths(setup.input_files(), outputs); !clash.empty())
    throw py::value_error(clash);
}

// Makes an output folder (and the folders above it); OSError naming it when it cannot be made.
void make_folder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    raise_os_error(PyExc_OSError,
                   "Cannot make the folder \"" + folder.string() + "\": " + ec.message());
}

// Collects what a run reports: every output step and the profiles at the spatial instants.
class Collector final : public RunObserver {
 public:
  explicit Collector(bool keep_profiles) : keep_profiles_(keep_profiles) {}

  void run_started(const RunConstants&, const ParameterSet&, std::int32_t profile_node_count,
                   const PlotCurveSwitches&) override {
    node_count_ = profile_node_count;
    for (auto* v : {&time_ns, &temperature_k, &velocity_cm_s, &depth_nm, &fraction}) {
      v->reserve(8192);
    }
    step.reserve(8192);
  }
  void step_done(const StepRecord& r, const ProfileArrays&) override {
    step.push_back(r.step);
    time_ns.push_back(r.time_ns);
    temperature_k.push_back(r.surface_temperature_k);
    velocity_cm_s.push_back(r.velocity_cm_s);
    depth_nm.push_back(r.ablated_depth_nm);
    fraction.push_back(r.surface_fraction);
  }
  void profiles_taken(int number, const StepRecord& r, const ProfileArrays& p) override {
    if (!keep_profiles_) return;
    Profile taken{number, r.step, r.time_ns, {}, {}, {}};
    for (int k = 1; k <= node_count_; ++k) {
      taken.depth_nm.push_back(p.profile_depth_nm[static_cast<std::size_t>(k)]);
      taken.temperature_k.push_back(p.profile_temperature_k[static_cast<std::size_t>(k)]);
      taken.fraction.push_back(p.profile_fraction[static_cast<std::size_t>(k)]);
    }
    profiles.push_back(std::move(taken));
  }

  struct Profile {
    int number;
    std::int32_t step;
    double time_ns;
    std::vector<double> depth_nm, temperature_k, fraction;
  };
  std::vector<std::int32_t> step;
  std::vector<double> time_ns, temperature_k, velocity_cm_s, depth_nm, fraction;
  std::vector<Profile> profiles;

 private:
  bool keep_profiles_;
  int node_count_ = 0;
};

void put_outcome(py::dict& d, const RunOutcome& o) {
  const bool diverged = o.end == RunEnd::diverged;
  const double none = std::numeric_limits<double>::quiet_NaN();
  d["end"] = run_end_text(o.end);
  d["steps"] = o.step_count;
  d["fluence_used"] = o.fluence_used;
  // A diverged run has no kinetics line: its depths and peaks are not results (the CSV leaves
  // them empty).
  for (const ResultColumn& column : result_columns())
    d[py::str(std::string(column.name))] = diverged ? none : column.value(o);
  d["kinetics_line"] = o.kinetics_line;
  d["message"] = diverged ? divergence_message(o) : std::string();
  d["split_steps"] = o.split_steps;
  if (o.error.tolerance > 0.0) {
    for (const ResultColumn& column :
         result_columns(ResultColumnSet::errors).subspan(result_columns().size()))
      d[py::str(std::string(column.name))] = diverged ? none : column.value(o);
    d["grid_depth_nm"] = diverged ? none : o.error.grid_depth_nm;
    d["grid_depth_factor"] = diverged ? none : o.error.grid_depth_factor;
    if (!o.error.reached && !diverged) {
      char tolerance[32];
      std::snprintf(tolerance, sizeof tolerance, "%g", o.error.tolerance);
      d["tolerance_note"] = "the tolerance " + std::string(tolerance) + " was not reached: " +
                            (o.error.shortfall.empty() ? std::string("no finer level could be run")
                                                       : o.error.shortfall);
    }
  }
  d["file_errors"] = o.file_errors;
  const EnergyLedger& e = o.energy;
  py::dict energy;
  energy["light_in"] = e.light_in;
  energy["stored"] = e.stored;
  energy["ablation_sensible"] = e.ablation_sensible;
  energy["ablation_latent"] = e.ablation_latent;
  energy["reaction"] = e.reaction;
  energy["far_boundary"] = e.far_boundary;
  energy["linear_loss"] = e.linear_loss;
  energy["residual"] = e.residual;
  energy["reflected"] = e.reflected;
  energy["screened"] = e.screened;
  d["energy"] = energy;
}

// A train's pulse table as arrays, one value per pulse (empty arrays for a single pulse).
void put_pulses(py::dict& d, const RunOutcome& o) {
  struct Column {
    const char* name;
    double PulseRecord::*value;
  };
  constexpr Column kColumns[] = {
      {"surface_temperature_before_K", &PulseRecord::surface_temperature_before_k},
      {"surface_fraction_before", &PulseRecord::surface_fraction_before},
      {"peak_surface_temperature_K", &PulseRecord::peak_surface_temperature_k},
      {"surface_recession_nm", &PulseRecord::surface_recession_nm},
      {"volume_depth_nm", &PulseRecord::volume_depth_nm},
      {"total_depth_nm", &PulseRecord::total_depth_nm},
      {"cumulative_depth_nm", &PulseRecord::cumulative_depth_nm},
      {"surface_temperature_before_error_K", &PulseRecord::cooling_error_k},
  };
  py::dict pulses;
  std::vector<std::int32_t> numbers;
  for (const PulseRecord& r : o.pulses) numbers.push_back(r.pulse);
  pulses["pulse"] = to_array(std::move(numbers));
  for (const Column& c : kColumns) {
    std::vector<double> values;
    for (const PulseRecord& r : o.pulses) values.push_back(r.*c.value);
    pulses[c.name] = to_array(std::move(values));
  }
  d["pulses"] = pulses;
}

py::dict run(const ParameterSet& parameters, bool keep_profiles,
             const std::optional<std::filesystem::path>& output_directory, int refinement,
             const py::dict& experiment, int grid_refinement) {
  RunRequest request;
  request.parameters = parameters;
  request.setup = experiment_setup(experiment);
  RunOptions& options = request.options;
  options.refinement = refinement;
  options.grid_refinement = grid_refinement;
  options.write_profile_files = output_directory.has_value();
  options.append_kinetics_line = output_directory.has_value();
  if (output_directory) options.output_directory = *output_directory;
  // On a spot, as the batch runner runs it: a train runs at every radius of the spot with their
  // shared cooling, the centre's run giving the result; the crater table goes beside the result
  // files.
  const RunSetup& setup = request.setup;
  const bool spot = setup.spot.active();
  std::optional<SpotTrainResult> spot_train;
  if (spot && setup.is_train()) {
    request.make = [&](SharedParameters& shared, const RunOptions& run_options) {
      SpotTrainRequest train;
      train.parameters = shared.values;
      train.setup = setup;
      train.centre = run_options;
      spot_train = run_spot_train(train);
      if (!spot_train->error.empty()) {
        RunOutcome refused;
        refused.not_started_reason = spot_train->error;
        return refused;
      }
      return spot_train->centre;
    };
  }
  const Prepared<RunPlan> plan = request.prepare();
  if (!plan) raise_refusal(plan.refusal);
  std::string crater_file;
  if (output_directory) {
    // No result file may be a file the run reads or another result file; the folder is made
    // only once that holds.
    std::vector<NamedPath> outputs = run_output_files(plan->parameters, plan->options);
    if (spot) {
      crater_file = file_in_folder(
          *output_directory, crater_file_name(result_file_base(plan->parameters.data_file_name)));
      outputs.push_back({"the crater table", crater_file});
    }
    check_outputs(setup, outputs);
    make_folder(*output_directory);
  }

  Collector collector(keep_profiles);
  std::atomic<bool> interrupt{false};
  SingleRun made;
  std::vector<std::string> crater_errors;
  run_interruptible(
      [&] {
        made = plan->execute(&interrupt, &collector);
        if (crater_file.empty() || !made.error.empty()) return;
        // The crater from runs at the local fluences of the spot (the parameters the run
        // used), or a spot train's own runs (those of a stopped train: its pulses finished at
        // every radius).
        const CraterStep step =
            take_crater_step(made.used, setup, refinement, made.outcome, &interrupt,
                             spot_train ? &*spot_train : nullptr, *output_directory);
        if (!step.crater.error.empty() && !interrupt.load())
          crater_errors.push_back(crater_file + " was not written: " + step.crater.error);
        crater_errors.insert(crater_errors.end(), step.file_errors.begin(), step.file_errors.end());
      },
      [&] { interrupt.store(true); });
  if (!made.error.empty()) throw py::value_error(made.error);
  const RunOutcome& outcome = made.outcome;

  py::dict d;
  d["step"] = to_array(std::move(collector.step));
  d["time_ns"] = to_array(std::move(collector.time_ns));
  d["surface_temperature_K"] = to_array(std::move(collector.temperature_k));
  d["velocity_cm_per_s"] = to_array(std::move(collector.velocity_cm_s));
  d["depth_nm"] = to_array(std::move(collector.depth_nm));
  d["surface_fraction"] = to_array(std::move(collector.fraction));
  py::list taken;
  for (Collector::Profile& p : collector.profiles) {
    py::dict profile;
    profile["number"] = p.number;
    profile["step"] = p.step;
    profile["time_ns"] = p.time_ns;
    profile["depth_nm"] = to_array(std::move(p.depth_nm));
    profile["temperature_K"] = to_array(std::move(p.temperature_k));
    profile["fraction"] = to_array(std::move(p.fraction));
    taken.append(profile);
  }
  d["profiles"] = taken;
  put_outcome(d, outcome);
  put_pulses(d, outcome);
  if (!crater_errors.empty()) {
    std::vector<std::string> errors = outcome.file_errors;
    errors.insert(errors.end(), crater_errors.begin(), crater_errors.end());
    d["file_errors"] = errors;
  }
  d["parameters"] = made.used;
  return d;
}

py::dict sweep(const ParameterSet& parameters, const std::vector<double>& fluences, int jobs,
               int refinement, const py::dict& experiment,
               const std::optional<std::filesystem::path>& output_directory,
               const std::optional<std::filesystem::path>& keep_files_directory,
               const std::optional<std::filesystem::path>& csv, const py::object& progress) {
  // The threads read the request's own copy: Python code may change `parameters` meanwhile.
  SweepRequest request;
  request.parameters = parameters;
  SweepOptions& options = request.options;
  options.setup = experiment_setup(experiment);
  options.fluences = fluences;
  options.jobs = jobs;
  options.write_kinetics_file = output_directory.has_value();
  if (output_directory) options.output_directory = *output_directory;
  options.keep_files_directory = keep_files_directory;
  options.refinement = refinement;
  // Every run is checked before any starts: a refused fluence stops nothing half way.
  const Prepared<SweepPlan> plan = request.prepare();
  if (!plan) raise_refusal(plan.refusal);
  // Every file the sweep writes (the kinetics file, the kept files, the table) against the
  // files it reads and against each other, before any folder is made.
  std::vector<NamedPath> outputs = sweep_output_files(plan->parameters, plan->options);
  if (csv) outputs.push_back({"csv=", csv->string()});
  check_outputs(options.setup, outputs);
  if (output_directory) make_folder(*output_directory);
  if (keep_files_directory) make_folder(*keep_files_directory);
  const ResultColumnSet columns = plan->columns();
  std::atomic<bool> interrupt{false};
  std::atomic<int> done{0};
  int reported = -1;
  const int total = static_cast<int>(fluences.size());
  SweepResult result;
  run_interruptible([&] { result = plan->execute(interrupt, [&](int n, int) { done.store(n); }); },
                    [&] { interrupt.store(true); },
                    [&] {
                      const int now = done.load();
                      if (progress.is_none() || now == reported) return;
                      reported = now;
                      progress(now, total);
                    });
  if (!result.thread_error.empty()) throw std::runtime_error("sweep: " + result.thread_error);

  std::vector<double> fluence_used;
  std::vector<std::vector<double>> results(result_columns(columns).size());
  std::vector<std::int32_t> steps;
  py::list ends, lines, messages;
  for (const SweepRun& r : result.runs) {
    py::dict d;
    put_outcome(d, r.outcome);
    fluence_used.push_back(r.outcome.fluence_used);
    for (std::size_t c = 0; c < results.size(); ++c)
      results[c].push_back(r.outcome.end == RunEnd::diverged
                               ? std::numeric_limits<double>::quiet_NaN()
                               : result_columns(columns)[c].value(r.outcome));
    steps.push_back(r.outcome.step_count);
    ends.append(d["end"]);
    lines.append(d["kinetics_line"]);
    messages.append(d["message"]);
  }
  py::module_ numpy = py::module_::import("numpy");
  py::dict d;
  d["fluence_mJ_per_cm2"] = to_array(std::move(fluence_used));
  for (std::size_t c = 0; c < results.size(); ++c)
    d[py::str(std::string(result_columns(columns)[c].name))] = to_array(std::move(results[c]));
  d["steps"] = to_array(std::move(steps));
  d["end"] = numpy.attr("array")(ends, "str");
  d["kinetics_line"] = numpy.attr("array")(lines, "str");
  d["message"] = numpy.attr("array")(messages, "str");
  d["csv"] = sweep_csv(result, columns);
  d["kinetics_file"] = result.kinetics_file;
  d["errors"] = result.errors;
  return d;
}

std::vector<double> parse_fluence_text(const std::string& text, int log_count) {
  std::string error;
  std::vector<double> fluences = parse_fluences(text, log_count, error);
  if (fluences.empty()) throw py::value_error(error);
  return fluences;
}

const char* kParametersDoc = R"(The inputs of a calculation: the Parameter set of the program.

Parameters() holds the program's defaults; keywords change the named fields. Every field is an
attribute (p.fluence = 100); values are 32-bit reals as in the parameter file and read back as
the shortest decimal that gives the same value. A choice (ablation_model, pulse_shape, material,
autoscale, kinetics_file_mode, spatial_output) is set by its name, its enum
(kestrium.AblationModel.bulk) or its code, and reads back as its name ("bulk"); a code outside
its set, read from a file, reads back as that code. data_file_name (at most 14 characters, no
path) names the result files when a run writes them.

Parameters
----------
**fields
    Field name -> value, e.g. fluence=200 [mJ/cm^2], pulse_width=10 [ns],
    ablation_model="surface"; Parameters.fields() lists the fields with their units.

Raises
------
TypeError
    A value of the wrong type (naming what the field takes), or a field that does not exist
    (naming the nearest one).
ValueError
    A value a run would refuse, with the program's message, e.g. "Fluence [mJ/cm^2] is -50; it
    must be greater than 0"; the set is left unchanged.

Examples
--------
>>> import kestrium
>>> p = kestrium.Parameters(fluence=200, ablation_model="surface")
>>> p.pulse_width = 20
>>> q = p.copy(fluence=100)
>>> p = kestrium.Parameters.read("KTparam.par")
)";

}  // namespace

void bind_module(py::module_& m) {
  m.doc() = "The compiled core of the kestrium package (use the kestrium package itself).";

  py::class_<ParameterSet> parameters(m, "Parameters", kParametersDoc);
  parameters
      .def(py::init(
               [](const py::kwargs& keywords) { return from_keywords(default_set(), keywords); }),
           R"(The defaults, with the fields given as keywords changed.

Parameters
----------
**fields
    Field name -> value.)")
      .def_static("read", &read_parameters, py::arg("path"),
                  R"(Reads a parameter file.

Parameters
----------
path : str or os.PathLike
    The parameter file.

Returns
-------
Parameters
    Its values (not checked until a run uses them; check() checks them).

Raises
------
OSError
    The file cannot be opened (FileNotFoundError when missing).
ValueError
    The file cannot be read, naming the file, the line and the problem.)")
      .def("write", &write_parameters, py::arg("path"),
           R"(Writes the parameter file, replaced whole, never half-written.

As in the program, time_scale is set to pulse_width first.

Parameters
----------
path : str or os.PathLike
    The file to write.

Raises
------
OSError
    The file could not be written, naming it.)")
      .def("to_dict", &to_dict,
           R"(Every field by name as the parameter file holds it.

Returns
-------
dict
    Field name -> value, data_file_name included: numbers, choices as their codes
    (ablation_model 2.0). ``Parameters(**p.to_dict())`` is p again.)")
      .def(
          "copy",
          [](const ParameterSet& p, const py::kwargs& keywords) {
            return from_keywords(p, keywords);
          },
          R"(A copy, with the fields given as keywords changed.

Parameters
----------
**fields
    Field name -> value.

Returns
-------
Parameters
    The copy; this set is left as it is.)")
      .def(
          "check",
          [](const ParameterSet& p) {
            if (const std::string refusal = check_run_choices(p); !refusal.empty()) {
              throw py::value_error(refusal);
            }
          },
          R"(Checks the values as a run does (a file read from disk is not checked until it runs).

Raises
------
ValueError
    A run would refuse these parameters, with the program's message.)")
      .def_static(
          "fields",
          [] {
            py::dict d;
            for (const ParameterField& f : parameter_fields()) {
              d[py::str(std::string(f.name))] =
                  py::make_tuple(std::string(f.label), std::string(f.unit));
            }
            return d;
          },
          R"(The fields of the Parameter set.

Returns
-------
dict
    The numeric fields in file order: name -> (label, unit), e.g.
    fluence -> ("Fluence [mJ/cm^2]", "mJ/cm^2").)")
      .def_static(
          "choices",
          [] {
            py::dict d;
            for (const ParameterField& f : parameter_fields()) {
              if (f.kind != FieldKind::choice) continue;
              py::dict codes;
              for (std::int32_t c = f.lowest_code; c <= f.highest_code; ++c) {
                codes[py::str(std::string(choice_name(f, c)))] = c;
              }
              d[py::str(std::string(f.name))] = codes;
            }
            return d;
          },
          R"(The choices of the choice fields.

Returns
-------
dict
    Field name -> {choice name: code}.)")
      // A misspelt attribute is refused with the nearest field's name.
      .def("__getattr__",
           [](const py::object&, const std::string& name) -> py::object {
             if (name.rfind("__", 0) == 0 || name.rfind("_repr_", 0) == 0 ||
                 nearest_field_name(name).empty())
               throw py::attribute_error("'Parameters' object has no attribute '" + name + "'");
             throw py::attribute_error(unknown_field(name));
           })
      .def("__setattr__",
           [](const py::object& self, const py::str& name, const py::object& value) {
             if (!py::hasattr(py::type::of(self), name))
               throw py::attribute_error(unknown_field(name.cast<std::string>()));
             py::module_::import("builtins").attr("object").attr("__setattr__")(self, name, value);
           })
      .def("__repr__", &repr)
      .def("__eq__", [](const ParameterSet& a, const ParameterSet& b) { return a == b; })
      .def("__copy__", [](const ParameterSet& p) { return p; })
      .def("__deepcopy__", [](const ParameterSet& p, const py::dict&) { return p; })
      .def(py::pickle([](const ParameterSet& p) { return to_dict(p); }, &restore))
      // Protocols 0 and 1 would build the set through the default constructor of the
      // binding's base, which has none; they get protocol 2's recipe (copyreg.__newobj__, the
      // class, the state), which every protocol can store.
      .def("__reduce_ex__", [](const py::object& self, int protocol) -> py::object {
        return py::module_::import("builtins")
            .attr("object")
            .attr("__reduce_ex__")(self, std::max(protocol, 2));
      });
  parameters.attr("__hash__") = py::none();

  for (const ParameterField& f : parameter_fields()) {
    const ParameterField* field = &f;
    std::string doc = std::string(f.label);
    if (const std::string range = allowed_range_text(f); !range.empty()) {
      doc += "; " + range;
    }
    parameters.def_property(
        std::string(f.name).c_str(),
        [field](const ParameterSet& p) { return python_value(p, *field); },
        [field](ParameterSet& p, py::handle value) {
          const double number = field_number(*field, value);
          change_checked(p, [&](ParameterSet& c) { set_field(c, *field, number); });
        },
        doc.c_str());
  }
  parameters.def_property(
      kTextField, [](const ParameterSet& p) { return trimmed_right(p.data_file_name); },
      [](ParameterSet& p, py::handle value) {
        const std::string text = text_of(value);
        change_checked(p, [&](ParameterSet& c) { set_text(c, text); });
      },
      "The data file name: its first seven characters name the result files.");

  m.def("_run", &run, py::arg("parameters"), py::arg("profiles"), py::arg("output_dir"),
        py::arg("refinement"), py::arg("experiment"), py::arg("grid_refinement"));
  m.def("_sweep", &sweep, py::arg("parameters"), py::arg("fluences"), py::arg("jobs"),
        py::arg("refinement"), py::arg("experiment"), py::arg("output_dir"), py::arg("keep_files"),
        py::arg("csv"), py::arg("progress"));
  m.def("_parse_fluences", &parse_fluence_text, py::arg("text"), py::arg("log"));
  m.def(
      "_check_output_paths",
      [](const std::vector<std::pair<std::string, std::string>>& inputs,
         const std::vector<std::pair<std::string, std::string>>& outputs) {
        std::vector<NamedPath> in, out;
        for (const auto& [role, path] : inputs) in.push_back({role, path});
        for (const auto& [role, path] : outputs) out.push_back({role, path});
        if (const std::string clash = check_output_paths(in, out); !clash.empty())
          throw py::value_error(clash);
      },
      py::arg("inputs"), py::arg("outputs"));
  m.def(
      "_save_text",
      [](const std::string& path, const std::string& text) {
        SaveResult saved;
        {
          py::gil_scoped_release released;
          saved = save_file_contents(path, text);
        }
        if (!saved) {
          PyErr_SetObject(
              PyExc_OSError,
              py::make_tuple(EIO, "Cannot write \"" + path + "\": " + saved.reason).ptr());
          throw py::error_already_set();
        }
      },
      py::arg("path"), py::arg("text"));
  m.def(
      "_kinetics_file_name",
      [](const ParameterSet& p) { return kinetics_file_name(result_file_base(p.data_file_name)); },
      py::arg("parameters"));
}

}  // namespace kt::python

PYBIND11_MODULE(_kestrium, m) {
  m.attr("__version__") = kt::kVersion;
  kt::python::use_keyword_words();
  kt::python::bind_refusal(m);
  kt::python::bind_module(m);
  kt::python::bind_experiment(m);
  kt::python::bind_analysis(m);
  kt::python::bind_study(m);
  kt::python::bind_spot(m);
}
