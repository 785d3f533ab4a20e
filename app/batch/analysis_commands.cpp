#include "app/batch/analysis_commands.h"

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
#include "app/batch/batch_pictures.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "app/batch/experiment_options.h"
#include "app/batch/stop_signals.h"
#include "engine/material_setup.h"
#include "engine/model_runs.h"
#include "engine/value_text.h"
#include "params/output_paths.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "params/safe_save.h"

namespace kt {
namespace {

using batch::CommandLine;
using batch::kExitFailure;
using batch::kExitInterrupted;
using batch::kExitUsage;

int fail(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return kExitFailure;
}

constexpr const char* kFitHelp =
    "usage: kestrium-batch fit PARFILE --data FILE.csv --vary NAME[,NAME...] [options]\n"
    "       kestrium-batch fit PARFILE --data FILE.csv --analyse [options]\n"
    "\n"
    "Fits Parameter-set fields to measured depths by weighted least squares (NLopt BOBYQA),\n"
    "starting from the values in PARFILE; every other field keeps its value. FILE.csv has a\n"
    "header row naming fluence_mJ_per_cm2, a depth column (total_depth_nm,\n"
    "surface_recession_nm or volume_depth_nm) and optionally sigma_nm (one standard\n"
    "deviation per point; without it all points weigh the same and the errors are scaled by\n"
    "the reduced chi-square). Names with units as labs write them are read too (\"Fluence\n"
    "(mJ/cm2)\", \"fluence [mJ/cm^2]\", \"Depth (nm)\", depth_nm); values are separated by\n"
    "commas, ';' or tabs and may be quoted. '#' starts a comment; blank lines are skipped.\n"
    "FILE.csv is a UTF-8 text file of at most 64 MiB and 100000 points.\n"
    "\n"
    "A column named by a field (pulse_width, absorption_coefficient, reflection_coefficient,\n"
    "..., or \"pulse_width (ns)\"; and pulses) sets that field for its row's run, range-checked\n"
    "as in a parameter file. A dataset column labels the data sets; without one, the rows\n"
    "sharing their condition values form a data set (named e.g. pulse_width=20).\n"
    "\n"
    "  --vary NAME,...     the fields to fit (screening_coefficient, activation_energy_em,\n"
    "                      pre_exponential_vom, absorption_coefficient, ...); fields spanning\n"
    "                      decades (pre-exponentials, coefficients) are fitted on a log scale\n"
    "  --vary-each NAME,...  fields fitted once per data set (e.g. the absorption per\n"
    "                      wavelength while the --vary fields are shared by every row)\n"
    "  --separately        also fit each data set alone and report its values and errors\n"
    "                      beside the global fit's\n"
    "  --bounds NAME=LO:HI the range of a field (repeatable); default: a factor 100 either way\n"
    "                      for log-scaled fields, a factor 2 for others, 0 to 0.99 for fractions\n"
    "  --quantity Q        total, surface or volume: which depth column of FILE.csv to fit\n"
    "  --jobs N            runs of one evaluation at once (default: all cores)\n"
    "  --max-runs N        the most model runs in all (default 5000)\n"
    "  --method M          bobyqa (default) or sbplx (a simplex method: slower, for data\n"
    "                      sitting at the threshold's kink)\n"
    "  --out FITTED.par    the parameter file with the fitted values (only when the fit\n"
    "                      converged cleanly)\n"
    "  --report FILE.json  values, errors, correlation, chi2, dof, runs and every point (and\n"
    "                      each data set's chi2 and points)\n"
    "  --plot FILE.png     the points, the fitted curve and the residuals (each data set in\n"
    "                      its own colour with its own curve)\n"
    "  --analyse           also the Beer-Lambert analysis d = (1/alpha_eff) ln(F/F_th) of the\n"
    "                      measured points with a depth of at least --min-depth NM (default 1),\n"
    "                      of each data set\n"
    "\n"
    "The experiment options below make the model's runs (a train's depth is its mean depth\n"
    "per pulse, as profilometry of an N-pulse crater divided by N gives).\n"
    "\n"
    "Everything is checked before the first run; no output may be PARFILE, FILE.csv or\n"
    "another output. Ctrl-C or SIGTERM stops the fit; the report then holds the best values\n"
    "found, marked as interrupted.\n"
    "exit status: 0 a converged fit (or analysis); 1 a failure or a fit that does not\n"
    "describe the data (the message says why: out of reach, a field at its bound, a field the\n"
    "data do not determine, the run limit); 2 a wrong command line; 130 interrupted.\n";

constexpr const char* kThresholdHelp =
    "usage: kestrium-batch threshold PARFILE [--depth NM] [--quantity total|surface|volume]\n"
    "                                [--jobs N] [--json] [experiment options]\n"
    "       kestrium-batch threshold PARFILE --pulses N1,N2,... --rate HZ [--plot FILE.png]\n"
    "                                [options as above]\n"
    "\n"
    "Finds the fluence at which the chosen depth (default: total) first reaches NM (default\n"
    "1 nm), to 0.1 % of the fluence, by doubling or halving the fluence of PARFILE until the\n"
    "depth is bracketed, then bisecting on a log scale (with --jobs N, N runs a round). For a\n"
    "train the depth is the mean depth per pulse. With several pulse numbers (a value list:\n"
    "1,2,5,10,20,50 or FROM:TO:logN) it finds the threshold at each and fits the incubation\n"
    "law F_th(N) = F_th(1) N^(S-1), reporting S and F_th(1) with their standard errors (from\n"
    "the scatter of the thresholds about the law).\n"
    "\n"
    "  --depth NM        the depth that marks the threshold (default 1)\n"
    "  --quantity Q      total, surface or volume depth (default total)\n"
    "  --jobs N          runs a bisection round (default: all cores)\n"
    "  --json            the thresholds (and the law) as one JSON object\n"
    "  --plot FILE.png   with several pulse numbers: F_th against N on log axes with the law\n";

constexpr const char* kThresholdHelpRest =
    "\n"
    "Ctrl-C or SIGTERM stops the search after the runs under way.\n"
    "exit status: 0 found; 1 no threshold or no law (the message says why), a bad experiment\n"
    "file or trace; 2 a wrong command line; 130 interrupted.\n";

bool parse_real(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

bool read_parameters(const std::string& path, ParameterSet& parameters) {
  FileResult r = read_parameter_file(path, parameters);
  if (!r) std::fprintf(stderr, "kestrium-batch: %s\n", r.message.c_str());
  return r.ok;
}

// Writes text to a file through the safe save, so a failed write keeps the old file.
bool write_text_file(const std::string& path, const std::string& text, std::string& error) {
  if (const SaveResult saved = save_file_contents(path, text); !saved) {
    error = "cannot write \"" + path + "\": " + saved.reason;
    return false;
  }
  return true;
}

std::vector<double> log_grid(double from, double to, int count) {
  std::vector<double> out;
  for (int i = 0; i < count; ++i)
    out.push_back(from * std::exp(std::log(to / from) * i / (count - 1)));
  return out;
}

std::string value_with_error(const char* name, double value, double error, const char* unit) {
  char buffer[160];
  if (std::isfinite(error))
    std::snprintf(buffer, sizeof buffer, "%s = %.4g +- %.2g %s", name, value, error, unit);
  else
    std::snprintf(buffer, sizeof buffer, "%s = %.4g (error not determined) %s", name, value, unit);
  return buffer;
}

void add_beer_lambert_legend(const BeerLambertFit& fit, std::vector<std::string>& legend) {
  if (!fit.ok) return;
  legend.push_back("Beer-Lambert line:");
  legend.push_back(
      "  " + value_with_error("F_th", fit.threshold_fluence, fit.threshold_stderr, "mJ/cm^2"));
  legend.push_back("  " + value_with_error("1/alpha_eff", fit.absorption_length_nm,
                                           fit.absorption_length_stderr, "nm"));
}

class ProgressLine {
 public:
  ProgressLine() : shown_(isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() {
    if (shown_ && used_) std::fprintf(stderr, "\n");
  }
  void operator()(int evaluations, int runs, double best) {
    if (!shown_) return;
    used_ = true;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "\r%d evaluations, %d runs, best chi2 %.6g, %.1f s   ", evaluations, runs,
                 best, elapsed);
    std::fflush(stderr);
  }

 private:
  bool shown_;
  bool used_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::string fit_help() {
  return std::string(kFitHelp) + "\n" + batch::experiment_options_help();
}

std::string threshold_help() {
  return std::string(kThresholdHelp) +
         batch::experiment_options_help(
             "  --pulses N|LIST   a train of N pulses, or thresholds at several N and the\n"
             "                    incubation law through them\n") +
         kThresholdHelpRest;
}

const char* sweep_analysis_help() {
  return "  --analyse         the Beer-Lambert analysis d = (1/alpha_eff) ln(F/F_th) of the total\n"
         "                    depths of at least --min-depth NM (default 1); drawn on --plot\n"
         "  --data FILE.csv   measured points drawn over the curve of --plot\n";
}

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
  std::optional<RunSetup> setup = batch::read_experiment_options(line, o.experiment, refused);
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

// The fields of --vary with their default ranges, then the ranges of --bounds.
std::optional<int> read_fit_variables(const CommandLine& line, const FitOptions& o,
                                      FitRequest& request) {
  std::string error;
  for (const std::string& name : split_text(o.vary_text, ',')) {
    const ParameterField* field = find_fit_field(name, error);
    if (!field) return fail("--vary: " + error);
    FitVariable variable;
    if (!default_fit_variable(request.parameters, *field, variable, error)) return fail(error);
    request.variables.push_back(variable);
  }
  for (const std::string& list : o.vary_each_texts) {
    for (const std::string& name : split_text(list, ',')) {
      const ParameterField* field = find_fit_field(name, error);
      if (!field) return fail("--vary-each: " + error);
      FitVariable variable;
      if (!default_fit_variable(request.parameters, *field, variable, error)) return fail(error);
      for (const FitVariable& v : per_set_variables(variable, request.data))
        request.variables.push_back(v);
    }
  }
  for (const std::string& text : o.bounds_texts) {
    const std::size_t equals = text.find('='), colon = text.find(':', equals);
    double lo = 0, hi = 0;
    if (equals == std::string::npos || colon == std::string::npos ||
        !parse_real(text.substr(equals + 1, colon - equals - 1), lo) ||
        !parse_real(text.substr(colon + 1), hi))
      return line.usage_error(
          "--bounds takes NAME=LO:HI, e.g. activation_energy_em=0.3:1.2; got \"" + text + "\"");
    const std::string name = text.substr(0, equals);
    bool named = false;
    for (FitVariable& v : request.variables) {
      if (v.field->name != name) continue;
      named = true;
      v.lower = lo;
      v.upper = hi;
    }
    if (!named)
      return fail("--bounds names \"" + name + "\", which is not in --vary or --vary-each");
  }
  return std::nullopt;
}

// Reads the parameter and data files and builds the request; everything is checked before the
// first run. An exit status when the command stops here.
std::optional<int> prepare_fit_request(const CommandLine& line, FitOptions& o,
                                       FitRequest& request) {
  if (!read_parameters(o.parfile, request.parameters)) return kExitFailure;
  if (std::string refusal = o.setup.apply_material_values(request.parameters); !refusal.empty())
    return fail(refusal);
  if (const std::string refusal = check_run_choices(request.parameters); !refusal.empty())
    return fail(o.parfile + ": " + refusal);
  std::string error;
  if (!read_measured_csv(o.data_file, request.data, error,
                         o.quantity_word.empty() ? nullptr : &o.quantity))
    return fail(error);
  for (const std::string& w : request.data.warnings)
    std::fprintf(stderr, "kestrium-batch: note: %s\n", w.c_str());
  if (const std::string refusal =
          check_data_pulses(request.data, request.parameters, o.setup.scheme);
      !refusal.empty())
    return fail(refusal);

  if (!o.vary_text.empty() || !o.vary_each_texts.empty()) {
    if (std::optional<int> stop = read_fit_variables(line, o, request)) return stop;
    request.jobs = capped_jobs(o.jobs);
    request.max_runs = o.max_runs;
    if (o.method_word == "sbplx") request.method = FitMethod::sbplx;
    if (const std::string problem = check_fit_request(request); !problem.empty())
      return fail(problem);
  } else if (!o.out_file.empty()) {
    return line.usage_error("--out needs --vary: the Beer-Lambert analysis changes no parameter");
  }
  return std::nullopt;
}

// Runs the fit with a progress line (and with --separately each data set alone), prints its
// summary and writes --out when it converged cleanly; the exit status so far.
int run_fit(const FitOptions& o, const FitRequest& request, FitReport& report, SetReports& sets,
            int status) {
  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  {
    ProgressLine progress;
    report = fit_model(request, calculation_model({}, o.setup), interrupted,
                       [&](int e, int r, double b) { progress(e, r, b); });
  }
  if (report.model_unavailable) return fail("fit: " + report.message);
  if (o.separately && !interrupted.load()) {
    sets.separately = fit_each_set(request, calculation_model({}, o.setup), interrupted);
    for (const FitReport& alone : sets.separately)
      if (alone.model_unavailable) return fail("fit: " + alone.message);
  }
  std::printf("%s", fit_summary(report, &sets).c_str());
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

// The model curve of parameters (and pulses) over the measured range of `rows`; empty, or why
// the curve could not be computed.
std::string model_curve(const FitRequest& request, const std::vector<std::size_t>& rows,
                        const ParameterSet& parameters, int pulses, const RunSetup& setup,
                        std::vector<double>& fluences, std::vector<double>& depths) {
  const std::vector<MeasuredPoint>& points = request.data.points;
  double f_min = points[rows.front()].fluence, f_max = f_min;
  for (std::size_t i : rows) {
    f_min = std::min(f_min, points[i].fluence);
    f_max = std::max(f_max, points[i].fluence);
  }
  fluences = log_grid(f_min / 1.5, std::min(f_max * 1.5, kMaximumModelFluence), 48);
  int curve_runs = 0;
  std::string error;
  depths = model_depths(calculation_model({}, setup), parameters, request.data.quantity, fluences,
                        request.jobs, curve_runs, batch::catch_stop_signals(), error, pulses);
  return error;
}

// The fitted curve over the measured range (one per data set when there are several), the
// residuals and the fitted values for the plot. Empty, or why a curve could not be computed.
std::string add_fitted_curve(const FitRequest& request, const FitReport& report,
                             const SetReports& sets, const RunSetup& setup, FitPlot& plot) {
  std::string error;
  if (report.datasets.size() > 1) {
    for (std::size_t k = 0; k < report.datasets.size(); ++k) {
      FitPlotSet set;
      set.name = report.datasets[k].name;
      set.rows = points_of_set(request.data, static_cast<int>(k));
      if (k < sets.beer_lambert.size() && sets.beer_lambert[k].ok)
        set.beer_lambert = &sets.beer_lambert[k];
      if (!set.rows.empty())
        error = model_curve(request, set.rows, report.datasets[k].fitted, report.datasets[k].pulses,
                            setup, set.curve_fluences, set.curve_depths_nm);
      if (!error.empty()) return error;
      plot.sets.push_back(std::move(set));
    }
  } else {
    std::vector<std::size_t> all(request.data.points.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    const int pulses = report.datasets.empty() ? 0 : report.datasets.front().pulses;
    const ParameterSet& fitted =
        report.datasets.empty() ? report.fitted : report.datasets.front().fitted;
    error =
        model_curve(request, all, fitted, pulses, setup, plot.curve_fluences, plot.curve_depths_nm);
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
bool draw_fit_plot(const FitOptions& o, const FitRequest& request, const FitReport& report,
                   const BeerLambertFit& beer_lambert, const SetReports& sets, std::string& error) {
  FitPlot plot;
  plot.measured = &request.data;
  const bool several = request.data.datasets.size() > 1;
  plot.beer_lambert = o.analyse && beer_lambert.ok && !several ? &beer_lambert : nullptr;
  plot.title = request.variables.empty() ? "Beer-Lambert analysis of " + o.data_file
                                         : "Fit to " + o.data_file;
  if (!request.variables.empty()) {
    error = add_fitted_curve(request, report, sets, o.setup, plot);
    if (!error.empty()) return false;
  } else if (several) {
    for (std::size_t k = 0; k < request.data.datasets.size(); ++k) {
      FitPlotSet set;
      set.name = request.data.datasets[k].name;
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
  FitRequest request;
  if (std::optional<int> stop = prepare_fit_request(line, o, request)) return *stop;

  BeerLambertFit beer_lambert;
  SetReports sets;
  const bool several = request.data.datasets.size() > 1;
  int status = 0;
  if (o.analyse) {
    beer_lambert = fit_beer_lambert(request.data.points, o.min_depth_nm, request.data.has_sigma);
    if (!several) std::printf("%s", beer_lambert_summary(beer_lambert).c_str());
    status = beer_lambert.ok ? 0 : kExitFailure;
    if (several) {
      status = 0;
      for (std::size_t k = 0; k < request.data.datasets.size(); ++k) {
        const MeasuredData one = measured_set(request.data, static_cast<int>(k));
        sets.beer_lambert.push_back(fit_beer_lambert(one.points, o.min_depth_nm, one.has_sigma));
        std::printf("%s: %s", request.data.datasets[k].name.c_str(),
                    beer_lambert_summary(sets.beer_lambert.back()).c_str());
        if (!sets.beer_lambert.back().ok) status = kExitFailure;
      }
    }
  }

  FitReport report;
  if (!request.variables.empty()) status = run_fit(o, request, report, sets, status);
  if (report.model_unavailable) return status;
  std::string error;
  if (!o.report_file.empty()) {
    const std::string json =
        request.variables.empty()
            ? beer_lambert_json(beer_lambert, request.data, several ? &sets.beer_lambert : nullptr)
            : report_json(report, o.analyse && !several ? &beer_lambert : nullptr, &sets);
    if (!write_text_file(o.report_file, json, error)) status = fail(error);
  }
  const bool fit_made_no_point = !request.variables.empty() && report.points.empty();
  if (!o.plot_file.empty() && !fit_made_no_point && status != kExitInterrupted) {
    if (!draw_fit_plot(o, request, report, beer_lambert, sets, error)) status = fail(error);
  }
  return status;
}

namespace {

// The threshold at one pulse plan; an exit status.
int single_threshold(const ThresholdRequest& request, const RunSetup& setup, bool json) {
  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  const ThresholdReport report = find_threshold(request, calculation_model({}, setup), interrupted);
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
int incubation_thresholds(const ThresholdRequest& request, const std::vector<int>& pulses,
                          const std::vector<RunSetup>& setups, bool json,
                          const std::string& plot_file) {
  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  const IncubationThresholds result =
      find_incubation_thresholds(request, pulses, train_models(pulses, setups), interrupted);
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
  ThresholdRequest request;
  request.jobs = 0;  // 0: default_jobs()
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
  std::vector<RunSetup> setups;
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
  if (std::string refusal = setups.front().apply_material_values(request.parameters);
      !refusal.empty())
    return fail(refusal);
  if (const std::string refusal = check_run_choices(request.parameters); !refusal.empty())
    return fail(parfile + ": " + refusal);
  request.jobs = capped_jobs(request.jobs);
  if (pulses.size() < 2) return single_threshold(request, setups.front(), json);
  return incubation_thresholds(request, pulses, setups, json, plot_file);
}

void declare_sweep_analysis_options(batch::CommandLine& line, SweepAnalysis& analysis) {
  line.flag("--analyse", analysis.analyse);
  line.option("--data", analysis.data_file);
  line.option("--min-depth", analysis.min_depth_text);
}

int prepare_sweep_analysis(SweepAnalysis& analysis) {
  if (!analysis.min_depth_text.empty() &&
      (!parse_real(analysis.min_depth_text, analysis.min_depth_nm) ||
       analysis.min_depth_nm < 0.0)) {
    std::fprintf(stderr,
                 "kestrium-batch: --min-depth takes a depth in nm, 0 or more\n"
                 "(kestrium-batch sweep --help explains every option)\n");
    return kExitUsage;
  }
  if (analysis.data_file.empty()) return 0;
  std::string error;
  if (!read_measured_csv(analysis.data_file, analysis.data, error)) return fail(error);
  for (const std::string& w : analysis.data.warnings)
    std::fprintf(stderr, "kestrium-batch: note: %s\n", w.c_str());
  return 0;
}

bool finish_sweep_analysis(const SweepResult& result, SweepAnalysis& analysis, bool quiet) {
  if (!analysis.analyse) return true;
  std::vector<MeasuredPoint> points;
  for (const SweepRun& run : result.runs) {
    if (!run.finished || run.outcome.end == RunEnd::diverged) continue;
    MeasuredPoint p;
    p.fluence = run.outcome.fluence_used;
    p.depth_nm = run.outcome.total_depth_nm;
    points.push_back(p);
  }
  analysis.beer_lambert = fit_beer_lambert(points, analysis.min_depth_nm, false);
  if (!quiet) std::printf("%s", beer_lambert_summary(analysis.beer_lambert).c_str());
  return analysis.beer_lambert.ok;
}

CurveOverlay curve_overlay(const SweepAnalysis& analysis) {
  return {analysis.data_file.empty() ? nullptr : &analysis.data,
          analysis.beer_lambert.ok ? &analysis.beer_lambert : nullptr};
}

}  // namespace kt
