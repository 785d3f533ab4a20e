// kestrium-batch threshold: the command line into a threshold request, its results into the
// summary, the JSON and the picture.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <thread>

#include "analysis/fit.h"
#include "analysis/incubation.h"
#include "analysis/report.h"
#include "analysis/threshold.h"
#include "app/batch/analysis_commands.h"
#include "app/batch/analysis_parts.h"
#include "app/batch/batch_pictures.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "app/batch/experiment_options.h"
#include "app/batch/stop_signals.h"
#include "engine/fit_request.h"
#include "engine/material_setup.h"
#include "engine/model_runs.h"
#include "engine/threshold_request.h"
#include "engine/value_text.h"
#include "params/output_paths.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "params/safe_save.h"

namespace kt {

using analysis_parts::add_beer_lambert_legend;
using analysis_parts::fail;
using analysis_parts::parse_real;
using analysis_parts::ProgressLine;
using analysis_parts::read_parameters;
using analysis_parts::value_with_error;
using analysis_parts::write_text_file;
using batch::CommandLine;
using batch::kExitFailure;
using batch::kExitInterrupted;
using batch::kExitUsage;

namespace {

// The threshold at one pulse plan; an exit status.
int single_threshold(const ModelThresholdPlan& plan, bool json) {
  const ThresholdRequest& request = plan.request;
  const RunSetup& setup = plan.setups.front();
  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  const ThresholdReport report = plan.execute(interrupted);
  if (report.model_unavailable) return fail("threshold: " + report.message);
  if (!report.ok) {
    fail("no threshold: " + report.message);
    return interrupted.load() ? kExitInterrupted : kExitFailure;
  }
  if (json) {
    IncubationThresholds one;
    one.pulses = {setup.pulse.pulses};
    one.thresholds = {report};
    one.ok = true;
    std::fputs(incubation_json(one, request).c_str(), stdout);
  } else {
    std::printf("%s", threshold_summary(report, request).c_str());
  }
  return 0;
}

// Thresholds at every pulse number of the list and the incubation law; an exit status.
int incubation_thresholds(const ModelThresholdPlan& plan, bool json, const std::string& plot_file) {
  const ThresholdRequest& request = plan.request;
  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  const IncubationThresholds result = plan.execute_series(interrupted);
  if (result.model_unavailable) return fail("threshold: " + result.message);
  std::fputs(
      (json ? incubation_json(result, request) : incubation_summary(result, request)).c_str(),
      stdout);
  if (!result.ok) {
    fail(result.message);
    return interrupted.load() ? kExitInterrupted : kExitFailure;
  }
  if (!plot_file.empty()) {
    std::string error;
    if (!draw_incubation_png(result, plot_file, error)) return fail(error);
  }
  return 0;
}

}  // namespace

int threshold_command(const std::vector<std::string>& args) {
  CommandLine line("threshold", threshold_help());
  std::string parfile, quantity_word, depth_text, plot_file;
  bool json = false;
  batch::ExperimentWords experiment;
  ModelThresholdRequest request;
  batch::declare_experiment_options(line, experiment);
  line.option("--depth", depth_text);
  line.option("--quantity", quantity_word);
  line.option("--plot", plot_file);
  line.flag("--json", json);
  line.count("--jobs", request.jobs, 1, 1024);
  line.operand("PARFILE", parfile);
  if (std::optional<int> stop = line.parse(args)) return *stop;
  if (parfile.empty()) return line.usage_error("threshold: no parameter file given");
  if (!depth_text.empty() &&
      (!parse_real(depth_text, request.depth_nm) || !(request.depth_nm > 0.0)))
    return line.usage_error("--depth takes a depth in nm greater than 0");
  if (!quantity_word.empty() && !parse_depth_quantity(quantity_word, request.quantity))
    return line.usage_error("--quantity takes total, surface or volume");
  // --pulses N or a list of pulse numbers (the value-list grammar): one setup per number.
  std::vector<int> pulses;
  if (!experiment.pulses.empty()) {
    std::string error;
    for (double n : parse_value_list(experiment.pulses, error)) {
      if (!(n >= 1.0 && n <= 1000000.0 && n == std::floor(n)))
        return line.usage_error("--pulses takes whole numbers of pulses from 1, not \"" +
                                experiment.pulses + "\"");
      if (std::find(pulses.begin(), pulses.end(), static_cast<int>(n)) == pulses.end())
        pulses.push_back(static_cast<int>(n));
    }
    if (pulses.empty()) return line.usage_error("--pulses: " + error);
  }
  // Thresholds at several pulse numbers compare like with like: one scheme for all, the
  // accurate one of the trains unless another is chosen.
  if (pulses.size() > 1 && experiment.scheme.empty()) experiment.scheme = "accurate";
  std::vector<RunSetup>& setups = request.setups;
  for (std::size_t k = 0; k < std::max<std::size_t>(1, pulses.size()); ++k) {
    batch::ExperimentWords words = experiment;
    if (!pulses.empty()) words.pulses = std::to_string(pulses[k]);
    int refused = 0;
    std::optional<RunSetup> setup = batch::read_experiment_options(line, words, refused);
    if (!setup) return refused;
    setups.push_back(std::move(*setup));
  }
  if (pulses.size() < 2 && !plot_file.empty())
    return line.usage_error("--plot draws the thresholds of several --pulses N1,N2,...");
  if (!plot_file.empty() && !line.check_output_file(plot_file, "--plot", ".png"))
    return line.usage_error();
  std::vector<NamedPath> inputs = {{"the parameter file", parfile}};
  for (const RunSetup& setup : setups)
    for (NamedPath& file : setup.input_files()) inputs.push_back(std::move(file));
  if (const std::string clash = check_output_paths(inputs, {{"--plot", plot_file}}); !clash.empty())
    return line.usage_error(clash);
  if (!read_parameters(parfile, request.parameters)) return kExitFailure;
  request.parameter_file = parfile;
  if (pulses.size() > 1) request.pulses = pulses;
  const Prepared<ModelThresholdPlan> plan = request.prepare();
  if (!plan) return fail(plan.refusal.text());
  if (!plan->series()) return single_threshold(*plan, json);
  return incubation_thresholds(*plan, json, plot_file);
}

}  // namespace kt
