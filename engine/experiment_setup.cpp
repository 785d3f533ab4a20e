#include "engine/experiment_setup.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine/material_setup.h"
#include "engine/model_runs.h"
#include "params/pulse_trace.h"

namespace kt {
namespace {

// The samples of a trace as text: what it delivers, whatever its comments or its scale.
std::string trace_identity(const PulseTrace& trace) {
  std::string text = "[trace]\n";
  char line[80];
  for (std::size_t i = 0; i < trace.time_ns.size(); ++i) {
    std::snprintf(line, sizeof line, "%.17g,%.17g\n", trace.time_ns[i], trace.intensity[i]);
    text += line;
  }
  return text;
}

}  // namespace

Prepared<Experiment> merge_experiment(const ExperimentChoices& choices) {
  Experiment e = choices.base.value_or(Experiment{});
  if (choices.scheme) e.scheme = *choices.scheme;
  if (choices.pulse_shape) e.pulse_shape = *choices.pulse_shape;
  if (choices.trace) e.trace = *choices.trace;
  // Another shape given over a file's measured trace drops the trace.
  if (choices.pulse_shape && *choices.pulse_shape != "measured" && !choices.trace) e.trace.clear();
  if (choices.pulses) {
    e.pulses = *choices.pulses;
    // Pulses given at all, one included, take the trains' scheme unless one is chosen: a
    // series of runs against the number of pulses stays on one scheme from its first pulse.
    if (e.scheme.empty()) e.scheme = scheme_name(Scheme::accurate);
  }
  if (choices.rate_hz) e.rate_hz = *choices.rate_hz;
  if (choices.incubated_absorption) e.incubated_absorption = *choices.incubated_absorption;
  if (choices.material) e.material = *choices.material;
  if (choices.beam) e.beam = *choices.beam;
  if (choices.spot_radius_um) e.spot_radius_um = *choices.spot_radius_um;
  // A radius alone asks for the usual beam.
  if (e.beam.empty() && e.spot_radius_um != 0.0) e.beam = "gaussian";
  if (choices.tolerance) e.tolerance = *choices.tolerance;
  if (choices.analysis) {
    if (e.scheme.empty()) e.scheme = "accurate";
    if (e.scheme == "accurate" && !e.tolerance) e.tolerance = kAnalysisTolerance;
  }
  if (Refusal refusal = experiment_refusal(e, setting_words()); !refusal.empty()) return refusal;
  return e;
}

Prepared<RunSetup> make_run_setup(const Experiment& experiment) {
  if (Refusal refusal = experiment_refusal(experiment, setting_words()); !refusal.empty())
    return refusal;
  RunSetup setup;
  std::string error;
  if (!experiment.material.empty()) {
    setup.material = load_material_file(experiment.material, error);
    if (!setup.material) return Refusal{error, "material", ""};
  }
  setup.experiment = experiment;
  PulsePlan& plan = setup.pulse;
  parse_pulse_shape(experiment.pulse_shape, plan.shape);  // checked by experiment_problem
  std::string trace_text;
  if (plan.shape == PulsePlan::Shape::measured) {
    std::optional<PulseTrace> trace = read_pulse_trace(experiment.trace, error);
    if (!trace) return Refusal{error, "trace", ""};
    trace_text = trace_identity(*trace);
    plan.trace = std::make_shared<const PulseTrace>(std::move(*trace));
  }
  plan.pulses = experiment.pulses;
  plan.rate_hz = experiment.rate_hz;
  plan.incubated_absorption = experiment.incubated_absorption;
  parse_beam(experiment.beam, setup.spot.beam);  // checked by experiment_problem
  setup.spot.radius_um = experiment.spot_radius_um;
  setup.spot.heat_transfer = experiment.heat_transfer;
  setup.spot.emissivity = experiment.emissivity;
  setup.tolerance = experiment.tolerance.value_or(0.0);
  if (experiment.scheme.empty()) {
    setup.scheme = plan.pulses > 1 || plan.incubated_absorption || experiment.tolerance
                       ? Scheme::accurate
                       : Scheme::published;
  } else {
    parse_scheme(experiment.scheme, setup.scheme);
  }
  // The scheme and the material (its text) are part of a study's identity on their own; what
  // else the experiment asks for makes the rest.
  Experiment rest = experiment;
  rest.scheme.clear();
  rest.material.clear();
  if (!rest.is_plain()) {
    rest.trace.clear();
    setup.identity = experiment_text(rest) + trace_text;
  }
  return setup;
}

std::string RunSetup::model_name() const {
  std::string name = std::string(scheme_name(scheme)) + " scheme";
  if (tolerance > 0.0) {
    char text[48];
    std::snprintf(text, sizeof text, ", tolerance %g", tolerance);
    name += text;
  }
  return name;
}

std::string RunSetup::apply_material_values(ParameterSet& parameters) const {
  if (!material) return {};
  RunOptions ignored;
  return use_material(material, parameters, ignored);
}

std::vector<NamedPath> RunSetup::input_files() const {
  std::vector<NamedPath> files;
  if (!experiment_file.empty()) files.push_back({"the experiment file", experiment_file.string()});
  if (pulse.trace) files.push_back({"the pulse trace", experiment.trace.string()});
  if (material) files.push_back({"the material file", experiment.material.string()});
  return files;
}

Prepared<RunSetup> make_run_setup(const ExperimentChoices& choices) {
  Prepared<Experiment> experiment = merge_experiment(choices);
  if (!experiment) return experiment.refusal;
  return make_run_setup(*experiment);
}

DepthModel setup_model(const RunSetup& setup) {
  return calculation_model({}, setup);
}

DepthModel bias_reference_model(const RunSetup& setup) {
  if (setup.scheme != Scheme::published) return {};
  RunSetup accurate = setup;
  accurate.scheme = Scheme::accurate;
  accurate.tolerance = kAnalysisTolerance;
  return calculation_model({}, accurate);
}

DepthModel early_fit_model(const RunSetup& setup, double early_tolerance) {
  if (setup.scheme != Scheme::accurate || !(setup.tolerance > 0.0) ||
      !(early_tolerance > setup.tolerance))
    return {};
  RunSetup early = setup;
  early.tolerance = early_tolerance;
  return calculation_model({}, early);
}

TrainModel train_models(const std::vector<int>& pulses, const std::vector<RunSetup>& setups) {
  return [pulses, setups](int n) {
    const auto at = std::find(pulses.begin(), pulses.end(), n) - pulses.begin();
    const RunSetup& setup = setups[static_cast<std::size_t>(at)];
    return setup_model(setup);
  };
}

}  // namespace kt
