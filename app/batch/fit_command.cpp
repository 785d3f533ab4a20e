// kestrium-batch fit: the command line into a fit request, its results into the summary, the
// report, the fitted parameter file and the picture.
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

using namespace analysis_parts;

namespace {

// The fit command's options as given on its command line.
struct FitOptions {
  bool analyse = false, separately = false;
  std::vector<std::string> vary_each_texts;
  std::string parfile, data_file, vary_text, out_file, report_file, plot_file, quantity_word,
      method_word;
  std::vector<std::string> bounds_texts;
  int jobs = default_jobs(), max_runs = 5000;
  double min_depth_nm = 1.0;
  DepthQuantity quantity = DepthQuantity::total;
  batch::ExperimentWords experiment;
  RunSetup setup;  // from the experiment's options
};

// Reads and checks the fit command line; an exit status when the command stops here.
std::optional<int> read_fit_options(const std::vector<std::string>& args, CommandLine& line,
                                    FitOptions& o) {
  std::string min_depth_text;
  line.repeated_option("--bounds", o.bounds_texts);
  line.option("--data", o.data_file);
  line.option("--vary", o.vary_text);
  line.repeated_option("--vary-each", o.vary_each_texts);
  line.flag("--separately", o.separately);
  line.option("--out", o.out_file);
  line.option("--report", o.report_file);
  line.option("--plot", o.plot_file);
  line.option("--quantity", o.quantity_word);
  line.option("--min-depth", min_depth_text);
  line.option("--method", o.method_word);
  line.count("--jobs", o.jobs, 1, 1024);
  line.count("--max-runs", o.max_runs, 1, 100000000);
  batch::declare_experiment_options(line, o.experiment);
  line.flag("--analyse", o.analyse);
  line.operand("PARFILE", o.parfile);
  if (std::optional<int> stop = line.parse(args)) return stop;
  if (o.parfile.empty()) return line.usage_error("fit: no parameter file given");
  if (o.data_file.empty()) return line.usage_error("fit needs --data FILE.csv");
  if (o.vary_text.empty() && o.vary_each_texts.empty() && !o.analyse)
    return line.usage_error(
        "fit needs --vary NAME[,NAME...] (or --analyse for the Beer-Lambert analysis alone)");
  if (o.separately && o.vary_text.empty() && o.vary_each_texts.empty())
    return line.usage_error("--separately needs fields to fit (--vary or --vary-each)");
  if (!min_depth_text.empty() &&
      (!parse_real(min_depth_text, o.min_depth_nm) || o.min_depth_nm < 0.0))
    return line.usage_error("--min-depth takes a depth in nm, 0 or more");
  if (!o.quantity_word.empty() && !parse_depth_quantity(o.quantity_word, o.quantity))
    return line.usage_error("--quantity takes total, surface or volume");
  if (!o.method_word.empty() && o.method_word != "bobyqa" && o.method_word != "sbplx")
    return line.usage_error("--method takes bobyqa or sbplx");
  int refused = 0;
  std::optional<RunSetup> setup = batch::read_experiment_options(line, o.experiment, refused, true);
  if (!setup) return refused;
  o.setup = std::move(*setup);
  std::vector<NamedPath> inputs = o.setup.input_files();
  inputs.push_back({"the parameter file", o.parfile});
  inputs.push_back({"the data file", o.data_file});
  if (const std::string clash = check_output_paths(
          inputs, {{"--out", o.out_file}, {"--report", o.report_file}, {"--plot", o.plot_file}});
      !clash.empty())
    return line.usage_error(clash);
  if ((!o.out_file.empty() && !line.check_output_file(o.out_file, "--out", "")) ||
      (!o.report_file.empty() && !line.check_output_file(o.report_file, "--report", "")) ||
      (!o.plot_file.empty() && !line.check_output_file(o.plot_file, "--plot", ".png")))
    return line.usage_error();
  return std::nullopt;
}

// The fields of --vary and --vary-each by name and the ranges of --bounds; a usage error for a
// --bounds that is not NAME=LO:HI.
std::optional<int> read_fit_fields(const CommandLine& line, const FitOptions& o,
                                   ModelFitRequest& request) {
  request.vary = split_text(o.vary_text, ',');
  for (const std::string& list : o.vary_each_texts)
    for (const std::string& name : split_text(list, ',')) request.vary_each.push_back(name);
  for (const std::string& text : o.bounds_texts) {
    const std::size_t equals = text.find('='), colon = text.find(':', equals);
    double lo = 0, hi = 0;
    if (equals == std::string::npos || colon == std::string::npos ||
        !parse_real(text.substr(equals + 1, colon - equals - 1), lo) ||
        !parse_real(text.substr(colon + 1), hi))
      return line.usage_error(
          "--bounds takes NAME=LO:HI, e.g. activation_energy_em=0.3:1.2; got \"" + text + "\"");
    request.bounds.push_back({text.substr(0, equals), {lo, hi}});
  }
  return std::nullopt;
}

// Reads the parameter and data files and prepares the fit; everything is checked before the
// first run. An exit status when the command stops here.
std::optional<int> prepare_fit(const CommandLine& line, const FitOptions& o,
                               std::optional<ModelFitPlan>& plan) {
  ModelFitRequest request;
  if (!read_parameters(o.parfile, request.parameters)) return kExitFailure;
  if (!batch::apply_settings(line, o.experiment, request.parameters)) return kExitUsage;
  request.parameter_file = o.parfile;
  request.setup = o.setup;
  std::string error;
  if (!read_measured_csv(o.data_file, request.data, error,
                         o.quantity_word.empty() ? nullptr : &o.quantity))
    return fail(error);
  for (const std::string& w : request.data.warnings)
    std::fprintf(stderr, "kestrium-batch: note: %s\n", w.c_str());
  if (o.vary_text.empty() && o.vary_each_texts.empty() && !o.out_file.empty())
    return line.usage_error("--out needs --vary: the Beer-Lambert analysis changes no parameter");
  if (std::optional<int> stop = read_fit_fields(line, o, request)) return stop;
  request.jobs = o.jobs;
  request.max_runs = o.max_runs;
  if (o.method_word == "sbplx") request.method = FitMethod::sbplx;
  request.analyse = o.analyse;
  request.min_depth_nm = o.min_depth_nm;
  request.separately = o.separately;
  Prepared<ModelFitPlan> prepared = request.prepare();
  if (!prepared) return fail(prepared.refusal.text());
  plan = std::move(prepared.plan);
  return std::nullopt;
}

// Prints the Beer-Lambert analyses (one per data set when there are several); the exit status.
int print_beer_lambert(const ModelFitPlan& plan, const ModelFitResult& result) {
  if (!plan.several_sets()) {
    std::printf("%s", beer_lambert_summary(result.beer_lambert).c_str());
    return result.beer_lambert.ok ? 0 : kExitFailure;
  }
  int status = 0;
  for (std::size_t k = 0; k < result.sets.beer_lambert.size(); ++k) {
    std::printf("%s: %s", plan.request.data.datasets[k].name.c_str(),
                beer_lambert_summary(result.sets.beer_lambert[k]).c_str());
    if (!result.sets.beer_lambert[k].ok) status = kExitFailure;
  }
  return status;
}

// Prints the fit's summary and writes --out when it converged cleanly; the exit status so far.
int report_fit(const FitOptions& o, const ModelFitResult& result, int status) {
  const FitReport& report = result.report;
  if (report.model_unavailable) return fail("fit: " + report.message);
  for (const FitReport& alone : result.sets.separately)
    if (alone.model_unavailable) return fail("fit: " + alone.message);
  std::printf("%s", fit_summary(report, &result.sets).c_str());
  if (!report.message.empty()) std::fprintf(stderr, "kestrium-batch: %s\n", report.message.c_str());
  if (report.status != FitStatus::converged)
    status = report.status == FitStatus::interrupted ? kExitInterrupted : kExitFailure;
  if (!o.out_file.empty()) {
    if (report.status == FitStatus::converged) {
      FileResult written = write_parameter_file(o.out_file, report.fitted);
      if (!written)
        status = fail(written.message);
      else
        std::printf("fitted parameters written to %s\n", o.out_file.c_str());
    } else {
      std::fprintf(stderr, "kestrium-batch: %s not written: the fit did not converge cleanly\n",
                   o.out_file.c_str());
    }
  }
  return status;
}

// The fitted curve over the measured range (one per data set when there are several), the
// residuals and the fitted values for the plot. Empty, or why a curve could not be computed.
std::string add_fitted_curve(const ModelFitPlan& plan, const ModelFitResult& result,
                             FitPlot& plot) {
  const FitReport& report = result.report;
  const std::atomic<bool>& interrupt = batch::catch_stop_signals();
  std::string error;
  if (report.datasets.size() > 1) {
    for (std::size_t k = 0; k < report.datasets.size(); ++k) {
      FitPlotSet set;
      set.name = plan.request.data.datasets[k].legend;
      set.rows = points_of_set(plan.request.data, static_cast<int>(k));
      if (k < result.sets.beer_lambert.size() && result.sets.beer_lambert[k].ok)
        set.beer_lambert = &result.sets.beer_lambert[k];
      if (!set.rows.empty())
        error = plan.model_curve(set.rows, report.datasets[k].fitted, report.datasets[k].pulses,
                                 interrupt, set.curve_fluences, set.curve_depths_nm);
      if (!error.empty()) return error;
      plot.sets.push_back(std::move(set));
    }
  } else {
    std::vector<std::size_t> all(plan.request.data.points.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    const int pulses = report.datasets.empty() ? 0 : report.datasets.front().pulses;
    const ParameterSet& fitted =
        report.datasets.empty() ? report.fitted : report.datasets.front().fitted;
    error =
        plan.model_curve(all, fitted, pulses, interrupt, plot.curve_fluences, plot.curve_depths_nm);
    if (!error.empty()) return error;
  }
  for (const FitPointResult& p : report.points) plot.residuals_nm.push_back(p.residual);
  plot.legend.push_back(report.status == FitStatus::converged
                            ? "Fitted (1 sigma):"
                            : std::string("Best found, not a fit (") +
                                  fit_status_text(report.status) + "):");
  for (const FittedParameter& p : report.parameters)
    plot.legend.push_back(
        "  " + value_with_error(fitted_key(p).c_str(), p.value, p.standard_error, p.unit.c_str()));
  char text[96];
  std::snprintf(text, sizeof text, "  chi2 / dof = %.4g / %d", report.chi2, report.dof);
  plot.legend.push_back(text);
  return {};
}

// Draws --plot: the points with the fitted curve, or with the Beer-Lambert line alone.
bool draw_fit_plot(const FitOptions& o, const ModelFitPlan& plan, const ModelFitResult& result,
                   std::string& error) {
  const FitRequest& request = plan.request;
  const BeerLambertFit& beer_lambert = result.beer_lambert;
  const SetReports& sets = result.sets;
  FitPlot plot;
  plot.measured = &request.data;
  const bool several = plan.several_sets();
  plot.beer_lambert = o.analyse && beer_lambert.ok && !several ? &beer_lambert : nullptr;
  plot.title = plan.fits() ? "Fit to " + o.data_file + " (" + plan.setup.model_name() + ")"
                           : "Beer-Lambert analysis of " + o.data_file;
  if (plan.fits()) {
    error = add_fitted_curve(plan, result, plot);
    if (!error.empty()) return false;
  } else if (several) {
    for (std::size_t k = 0; k < request.data.datasets.size(); ++k) {
      FitPlotSet set;
      set.name = request.data.datasets[k].legend;
      set.rows = points_of_set(request.data, static_cast<int>(k));
      if (k < sets.beer_lambert.size() && sets.beer_lambert[k].ok)
        set.beer_lambert = &sets.beer_lambert[k];
      plot.sets.push_back(std::move(set));
    }
    plot.residuals_nm.assign(request.data.points.size(), std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < request.data.points.size(); ++i) {
      const MeasuredPoint& p = request.data.points[i];
      const std::size_t k = static_cast<std::size_t>(p.dataset);
      if (k < sets.beer_lambert.size() && sets.beer_lambert[k].ok && p.depth_nm >= o.min_depth_nm)
        plot.residuals_nm[i] = p.depth_nm - beer_lambert_depth(sets.beer_lambert[k], p.fluence);
    }
  } else if (beer_lambert.ok) {
    for (const MeasuredPoint& p : request.data.points)
      plot.residuals_nm.push_back(p.depth_nm >= o.min_depth_nm
                                      ? p.depth_nm - beer_lambert_depth(beer_lambert, p.fluence)
                                      : std::numeric_limits<double>::quiet_NaN());
  }
  if (o.analyse && !several) add_beer_lambert_legend(beer_lambert, plot.legend);
  return draw_fit_png(plot, o.plot_file, error);
}

}  // namespace

int fit_command(const std::vector<std::string>& args) {
  FitOptions o;
  CommandLine line("fit", fit_help());
  if (std::optional<int> stop = read_fit_options(args, line, o)) return *stop;
  std::optional<ModelFitPlan> plan;
  if (std::optional<int> stop = prepare_fit(line, o, plan)) return *stop;

  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  ModelFitResult result;
  {
    ProgressLine progress;
    result = plan->execute(interrupted, [&](int e, int r, double b) { progress(e, r, b); });
  }
  int status = o.analyse ? print_beer_lambert(*plan, result) : 0;
  if (plan->fits()) status = report_fit(o, result, status);
  if (result.report.model_unavailable) return status;
  const bool several = plan->several_sets();
  std::string error;
  if (!o.report_file.empty()) {
    const std::string json =
        !plan->fits()
            ? beer_lambert_json(result.beer_lambert, plan->request.data,
                                several ? &result.sets.beer_lambert : nullptr)
            : report_json(result.report, o.analyse && !several ? &result.beer_lambert : nullptr,
                          &result.sets);
    if (!write_text_file(o.report_file, json, error)) status = fail(error);
  }
  const bool fit_made_no_point = plan->fits() && result.report.points.empty();
  if (!o.plot_file.empty() && !fit_made_no_point && status != kExitInterrupted) {
    if (!draw_fit_plot(o, *plan, result, error)) status = fail(error);
  }
  return status;
}

}  // namespace kt
