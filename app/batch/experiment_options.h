// The options of an experiment, the same on every command that makes runs (run, sweep, study,
// merge --study, threshold, fit): --experiment FILE.toml, --scheme, --pulse-shape, --trace,
// --pulses, --rate, --incubated-absorption, --material, --beam, --spot-radius,
// --tolerance; and --set FIELD=VALUE (repeatable),
// a field of the parameter file changed for this command, applied after the file is read. An option
// given on the command line overrides the experiment file's value. A value that is not a number, or
// settings that do not go together, are a wrong command line (kExitUsage); an experiment file or a
// trace that cannot be read or is refused is bad input (kExitFailure). Nothing runs and nothing is
// written before they pass.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/experiment_setup.h"

namespace kt::batch {

class CommandLine;

// The options as given, before they are read.
struct ExperimentWords {
  std::string experiment, scheme, pulse_shape, trace, pulses, rate, incubated_absorption, material;
  std::vector<std::string> settings;  // --set FIELD=VALUE, in order
  std::string beam, spot_radius, tolerance;
  // threshold: --pulses takes a value list (several N), read by the command itself.
  bool pulses_is_list = false;

  // True when any option of the experiment was given.
  bool any() const;
};

// Declares the options on a command line.
void declare_experiment_options(CommandLine& line, ExperimentWords& words);

// The help lines of the options (each indented by two and aligned at column 20); `pulses` is
// the --pulses line, which threshold words its own way.
std::string experiment_options_help(const char* pulses = nullptr);

// Applies --set to the parameters read from the file; false after printing the refusal (a wrong
// command line: kExitUsage).
bool apply_settings(const CommandLine& line, const ExperimentWords& words,
                    ParameterSet& parameters);

// The setup of the runs; nullopt after printing the refusal, with `status` the exit status.
// `analysis`: the runs of a fit or threshold (ExperimentChoices::analysis).
std::optional<RunSetup> read_experiment_options(const CommandLine& line,
                                                const ExperimentWords& words, int& status,
                                                bool analysis = false);

}  // namespace kt::batch
