// From an experiment to the runs it asks for: the one place where an Experiment (an experiment
// file, command-line options, Python keywords) becomes the scheme, the pulse plan (shape and
// trace, train and rate, incubated absorption) and the identity a study hashes. Every refusal
// is made here, before any run: a bad experiment file (file, key, expected type), a bad trace
// (file, line, problem), settings that do not go together (0 pulses, a train without a
// rate, a trace without the measured shape, the published scheme with a train).
//
// Precedence: a value given as an option (or keyword) overrides the experiment file's value;
// a value given nowhere keeps its default. The scheme, when chosen nowhere, is the published
// scheme for one pulse without incubation and the accurate scheme for a train, incubation or a
// tolerance, or whenever the number of pulses is given as an option or keyword (even 1).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/incubation.h"
#include "engine/refusal.h"
#include "params/experiment_file.h"
#include "params/material_file.h"
#include "params/output_paths.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"
#include "solver/spot.h"

namespace kt {

// The settings given one by one (options, keywords), each unset when not given, and the
// experiment they override (read from a file, or handed in whole by Python).
// The tolerance of an analysis's runs on the accurate scheme when none is chosen.
inline constexpr double kAnalysisTolerance = 1e-3;

struct ExperimentChoices {
  std::optional<Experiment> base;
  std::optional<std::string> scheme;
  std::optional<std::string> pulse_shape;
  std::optional<std::filesystem::path> trace;
  std::optional<int> pulses;
  std::optional<double> rate_hz;
  std::optional<double> incubated_absorption;
  std::optional<std::filesystem::path> material;
  std::optional<std::string> beam;
  std::optional<double> spot_radius_um;
  std::optional<double> tolerance;
  // The runs of a fit or a threshold search: the accurate scheme at kAnalysisTolerance unless
  // the published scheme (or another tolerance) is chosen.
  bool analysis = false;
};

// What the runs of an experiment take.
struct RunSetup {
  Experiment experiment;  // as merged and checked
  Scheme scheme = Scheme::published;
  PulsePlan pulse;
  SpotPlan spot;           // none unless the experiment has a spot
  double tolerance = 0.0;  // the accurate scheme's relative error; 0: one run as is
  // The experiment's material file (engine/material_setup.h), read and checked; null without.
  std::shared_ptr<const MaterialFile> material;
  // Empty for an experiment that asks for no more than a scheme and a material (a study keeps
  // the hash these give); otherwise the experiment's text with the trace's samples in place of
  // its path, so that editing the trace makes another study. (A study hashes the material's
  // text itself: StudyPlan::material.)
  std::string identity;
  // The experiment file the setup was read from, when there was one (set by the front end).
  std::filesystem::path experiment_file;

  bool is_train() const { return pulse.pulses > 1; }
  // "published scheme" or "accurate scheme, tolerance 0.001" (reports and pictures say it).
  std::string model_name() const;
  // Sets the scheme, the pulse plan and the material of a run's options.
  void apply(RunOptions& options) const {
    options.scheme = scheme;
    options.pulse = pulse;
    options.material = material;
    options.tolerance = tolerance;
  }
  // The material's values into the parameters the runs start from (nothing without a
  // material). Empty on success, else the refusal naming the file; `parameters` then unchanged.
  std::string apply_material_values(ParameterSet& parameters) const;
  // Every file the runs read besides the parameters: the experiment file, the measured trace
  // and the material file (the inputs the output-path rule protects).
  std::vector<NamedPath> input_files() const;
};

// The experiment with the choices applied over their base, or the refusal when they do not go
// together: its setting the key at fault, its problem naming the settings in the front end's
// words (setting_text).
Prepared<Experiment> merge_experiment(const ExperimentChoices& choices);

// Checks the experiment, reads its trace and material and builds the setup, or the refusal (a
// bad trace or material file has the setting `trace` or `material`).
Prepared<RunSetup> make_run_setup(const Experiment& experiment);

// merge_experiment, then make_run_setup.
Prepared<RunSetup> make_run_setup(const ExperimentChoices& choices);

// The calculation as an analysis's model: the setup's scheme, pulses, material and tolerance.
DepthModel setup_model(const RunSetup& setup);
// For a fit on the published scheme, the accurate scheme at kAnalysisTolerance, against which the
// fit measures its discretisation bias (FitRequest::bias_reference); empty for any other scheme.
DepthModel bias_reference_model(const RunSetup& setup);

// A fit's early evaluations (FitRequest::early_model): the setup's calculation at the looser
// tolerance `early_tolerance` when the setup asks for a tighter one on the accurate scheme; empty
// otherwise (and for an early tolerance of 0).
inline constexpr double kEarlyTolerance = 1e-2;
DepthModel early_fit_model(const RunSetup& setup, double early_tolerance);

// The models of the trains behind thresholds at several pulse numbers: the run of `setups[k]`
// for `pulses[k]` (find_incubation_thresholds asks for the pulse numbers of the list only).
TrainModel train_models(const std::vector<int>& pulses, const std::vector<RunSetup>& setups);

}  // namespace kt
