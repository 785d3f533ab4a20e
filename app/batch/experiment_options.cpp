#include "app/batch/experiment_options.h"

#include <cmath>
#include <cstdio>

#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "engine/value_text.h"
#include "params/field_setting.h"

namespace kt::batch {

bool ExperimentWords::any() const {
  return !experiment.empty() || !scheme.empty() || !pulse_shape.empty() || !trace.empty() ||
         !pulses.empty() || !rate.empty() || !incubated_absorption.empty() || !material.empty() ||
         !settings.empty() || !beam.empty() || !spot_radius.empty() || !tolerance.empty();
}

void declare_experiment_options(CommandLine& line, ExperimentWords& words) {
  line.option("--experiment", words.experiment);
  line.option("--scheme", words.scheme);
  line.option("--pulse-shape", words.pulse_shape);
  line.option("--trace", words.trace);
  line.option("--pulses", words.pulses);
  line.option("--rate", words.rate);
  line.option("--incubated-absorption", words.incubated_absorption);
  line.option("--material", words.material);
  line.option("--beam", words.beam);
  line.option("--spot-radius", words.spot_radius);
  line.option("--tolerance", words.tolerance);
  line.repeated_option("--set", words.settings);
}

bool apply_settings(const CommandLine& line, const ExperimentWords& words,
                    ParameterSet& parameters) {
  const std::string refusal = apply_field_settings(parameters, words.settings);
  if (refusal.empty()) return true;
  line.usage_error("--set " + refusal);
  return false;
}

std::string experiment_options_help(const char* pulses) {
  std::string text =
      "  --experiment FILE.toml  the experiment file: scheme, pulse shape or trace, train,\n"
      "                    incubation (an option given here overrides the file's value)\n"
      "  --scheme S        published or accurate; default: published for one pulse without\n"
      "                    incubation, accurate for a train or incubation (published refuses\n"
      "                    them) and whenever --pulses is given, even --pulses 1\n"
      "  --pulse-shape S   file (the parameter file's triangle or rectangle, default),\n"
      "                    gaussian (FWHM = the pulse width) or measured (with --trace)\n"
      "  --trace FILE.csv  the measured pulse: time_ns,intensity lines, '#' comments\n";
  text += pulses ? pulses
                 : "  --pulses N        a train of N pulses (default 1), each starting from the\n"
                   "                    state the one before left\n";
  text +=
      "  --rate HZ         the train's repetition rate (needed when N > 1)\n"
      "  --incubated-absorption A  the absorption coefficient [1/cm] of fully incubated\n"
      "                    material: alpha = alpha0 + (A - alpha0) phi (default alpha0)\n"
      "  --material FILE   a material file (TOML) for every run: its values and its c(T), k(T)\n"
      "  --beam B          a focused spot: gaussian (radius at 1/e^2) or tophat; the fluence is\n"
      "                    then the peak fluence at the spot's centre\n"
      "  --spot-radius UM  the spot's radius in micrometres (alone: a gaussian spot)\n"
      "  --set FIELD=VALUE a field of the parameter file changed for this command (repeatable,\n"
      "                    e.g. --set fluence=80 --set ablation_model=surface), checked as the\n"
      "                    file's values are; a material file's values replace those it sets\n"
      "  --tolerance REL   accurate scheme (chosen by it when --scheme is not given): refine\n"
      "                    cells and steps until the total depth and the peak surface\n"
      "                    temperature change by less than REL (e.g. 1e-3); every result then\n"
      "                    carries its estimated error\n";
  return text;
}

std::optional<RunSetup> read_experiment_options(const CommandLine& line,
                                                const ExperimentWords& words, int& status,
                                                bool analysis) {
  ExperimentChoices choices;
  choices.analysis = analysis;
  status = kExitUsage;
  auto usage = [&](const std::string& message) -> std::optional<RunSetup> {
    line.usage_error(message);
    return std::nullopt;
  };
  double value = 0.0;
  if (!words.scheme.empty()) choices.scheme = words.scheme;
  if (!words.pulse_shape.empty()) choices.pulse_shape = words.pulse_shape;
  if (!words.trace.empty()) choices.trace = words.trace;
  if (!words.material.empty()) choices.material = words.material;
  if (!words.pulses.empty() && !words.pulses_is_list) {
    // The range is checked before the conversion: a double beyond int has no int value.
    if (!parse_number(words.pulses, value) || !(std::fabs(value) <= 2e9) ||
        value != std::floor(value))
      return usage("--pulses takes a whole number of pulses, not \"" + words.pulses + "\"");
    choices.pulses = static_cast<int>(value);
  }
  if (!words.rate.empty()) {
    if (!parse_number(words.rate, value))
      return usage("--rate takes pulses per second, not \"" + words.rate + "\"");
    choices.rate_hz = value;
  }
  if (!words.incubated_absorption.empty()) {
    if (!parse_number(words.incubated_absorption, value))
      return usage("--incubated-absorption takes an absorption coefficient in 1/cm, not \"" +
                   words.incubated_absorption + "\"");
    choices.incubated_absorption = value;
  }
  if (!words.beam.empty()) choices.beam = words.beam;
  if (!words.spot_radius.empty()) {
    if (!parse_number(words.spot_radius, value))
      return usage("--spot-radius takes a radius in micrometres, not \"" + words.spot_radius +
                   "\"");
    choices.spot_radius_um = value;
  }
  if (!words.tolerance.empty()) {
    if (!parse_number(words.tolerance, value))
      return usage("--tolerance takes a relative error such as 1e-3, not \"" + words.tolerance +
                   "\"");
    choices.tolerance = value;
  }
  std::string error;
  if (!words.experiment.empty()) {
    choices.base = read_experiment_file(words.experiment, error);
    if (!choices.base) {
      std::fprintf(stderr, "kestrium-batch: %s\n", error.c_str());
      status = kExitFailure;
      return std::nullopt;
    }
  }
  const Prepared<Experiment> experiment = merge_experiment(choices);
  if (!experiment) return usage(experiment.refusal.text());
  Prepared<RunSetup> setup = make_run_setup(*experiment);
  if (!setup) {
    std::fprintf(stderr, "kestrium-batch: %s\n", setup.refusal.text().c_str());
    status = kExitFailure;
    return std::nullopt;
  }
  setup->experiment_file = words.experiment;
  return std::move(*setup);
}

}  // namespace kt::batch
