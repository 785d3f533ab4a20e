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
#include "analysis/lab_thresholds.h"
#include "analysis/report.h"
#include "analysis/threshold.h"
#include "app/batch/analysis_commands.h"
#include "app/batch/analysis_parts.h"
#include "app/batch/batch_pictures.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "app/batch/experiment_options.h"
#include "app/batch/stop_signals.h"
#include "engine/crater.h"
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

// The fits of measured data (no model runs); an exit status.
int measured_threshold(const std::string& diameters, const std::string& thresholds, bool json) {
  std::string error;
  if (!diameters.empty()) {
    const std::optional<DiameterData> data = read_diameter_file(diameters, error);
    if (!data) return fail(error);
    const D2Fit fit = fit_d2(data->points);
    if (!fit.ok) return fail(diameters + ": " + fit.message);
    if (json) {
      std::printf(
          "{\"threshold_fluence\": %.17g, \"threshold_stderr\": %.17g, "
          "\"radius_um\": %.17g, \"radius_stderr\": %.17g, \"s\": %.17g, "
          "\"s_stderr\": %.17g, \"s_fitted\": %s, \"points\": %d}\n",
          fit.threshold_fluence, fit.threshold_stderr, fit.radius_um, fit.radius_stderr, fit.s,
          fit.s_stderr, fit.s_fitted ? "true" : "false", fit.points);
    } else {
      std::fputs(d2_summary(fit).c_str(), stdout);
    }
    return 0;
  }
  const std::optional<ThresholdData> data = read_threshold_file(thresholds, error);
  if (!data) return fail(error);
  IncubationThresholds result;
  result.fit = fit_incubation(data->points);
  if (!result.fit.ok) return fail(thresholds + ": " + result.fit.message);
  const IncubationFit& fit = result.fit;
  if (json) {
    std::printf(
        "{\"s\": %.17g, \"s_stderr\": %.17g, \"single_pulse_threshold\": %.17g, "
        "\"single_pulse_stderr\": %.17g, \"chi2\": %.17g, \"dof\": %d}\n",
        fit.s, fit.s_stderr, fit.single_pulse_threshold, fit.single_pulse_stderr, fit.chi2,
        fit.dof);
  } else {
    std::printf("incubation S = %.6g +- %.2g\nF_th(1) = %.6g +- %.2g mJ/cm^2\n%s, %d thresholds\n",
                fit.s, fit.s_stderr, fit.single_pulse_threshold, fit.single_pulse_stderr,
                fit.weighted ? "weighted by sigma_mj_cm2" : "equal weights",
                static_cast<int>(data->points.size()));
  }
  return 0;
}

// The D^2 method on the model's craters; an exit status.
int d2_threshold(const ThresholdRequest& request, const RunSetup& setup, bool json) {
  D2ModelRequest d2;
  d2.parameters = request.parameters;
  d2.setup = setup;
  d2.depth_nm = request.depth_nm;
  d2.jobs = request.jobs;
  d2.interrupt = &batch::catch_stop_signals();
  const D2ModelResult result = d2_on_model(d2);
  if (!result.error.empty()) {
    fail("threshold --method d2: " + result.error);
    return d2.interrupt->load() ? kExitInterrupted : kExitFailure;
  }
  const D2Fit& fit = result.fit;
  const double f_error = fit.threshold_fluence / result.threshold - 1.0;
  const double w_error = fit.radius_um / setup.spot.radius_um - 1.0;
  if (json) {
    std::printf(
        "{\"threshold_fluence\": %.17g, \"radius_um\": %.17g, \"searched_threshold\": "
        "%.17g, \"spot_radius_um\": %.17g, \"runs\": %d, \"craters\": [",
        fit.threshold_fluence, fit.radius_um, result.threshold, setup.spot.radius_um, result.runs);
    for (std::size_t i = 0; i < result.craters.size(); ++i)
      std::printf("%s{\"energy_uj\": %.17g, \"diameter_um\": %.17g}", i ? ", " : "",
                  result.craters[i].energy_uj, result.craters[i].diameter_um);
    std::printf("]}\n");
    return 0;
  }
  std::printf("   energy/uJ   diameter/um\n");
  for (const DiameterPoint& p : result.craters)
    std::printf("%12.6g  %12.6g\n", p.energy_uj, p.diameter_um);
  std::fputs(d2_summary(fit).c_str(), stdout);
  std::printf(
      "searched threshold: %.6g mJ/cm^2 (D^2 differs by %+.3g %%)\n"
      "spot radius given: %.6g um (D^2 differs by %+.3g %%)\n"
      "runs: %d (crater depths interpolated to %.3g nm)\n",
      result.threshold, 100.0 * f_error, setup.spot.radius_um, 100.0 * w_error, result.runs,
      result.interpolation_error_nm);
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
    if (!draw_incubation_png(result, plan.setups.front().model_name(), plot_file, error))
      return fail(error);
  }
  return 0;
}

}  // namespace

int threshold_command(const std::vector<std::string>& args) {
  CommandLine line("threshold", threshold_help());
  std::string parfile, quantity_word, depth_text, plot_file, method = "search", diameters,
                                                             thresholds;
  bool json = false;
  batch::ExperimentWords experiment;
  ModelThresholdRequest request;
  batch::declare_experiment_options(line, experiment);
  line.option("--depth", depth_text);
  line.option("--quantity", quantity_word);
  line.option("--plot", plot_file);
  line.flag("--json", json);
  line.count("--jobs", request.jobs, 1, 1024);
  line.option("--method", method);
  line.option("--diameters", diameters);
  line.option("--thresholds", thresholds);
  line.operand("PARFILE", parfile);
  if (std::optional<int> stop = line.parse(args)) return *stop;
  if (!diameters.empty() || !thresholds.empty()) {
    if (!diameters.empty() && !thresholds.empty())
      return line.usage_error("give --diameters or --thresholds, not both");
    if (!parfile.empty() || experiment.any() || method != "search" || !plot_file.empty())
      return line.usage_error(std::string(diameters.empty() ? "--thresholds" : "--diameters") +
                              " fits measured data alone: no PARFILE, experiment, --method or "
                              "--plot");
    return measured_threshold(diameters, thresholds, json);
  }
  if (method != "search" && method != "d2")
    return line.usage_error("--method takes search or d2, not \"" + method + "\"");
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
    std::optional<RunSetup> setup = batch::read_experiment_options(line, words, refused, true);
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
  if (!batch::apply_settings(line, experiment, request.parameters)) return kExitUsage;
  request.parameter_file = parfile;
  if (pulses.size() > 1) request.pulses = pulses;
  const Prepared<ModelThresholdPlan> plan = request.prepare();
  if (!plan) return fail(plan.refusal.text());
  if (method == "d2") {
    if (plan->series() || !plot_file.empty())
      return line.usage_error("--method d2 takes one pulse number and no --plot");
    if (plan->setups.front().spot.beam != SpotPlan::Beam::gaussian)
      return line.usage_error("--method d2 needs a gaussian spot: give --spot-radius UM");
    return d2_threshold(plan->request, plan->setups.front(), json);
  }
  if (!plan->series()) return single_threshold(*plan, json);
  return incubation_thresholds(*plan, json, plot_file);
}

}  // namespace kt
