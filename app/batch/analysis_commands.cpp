// The helpers shared by the analysis commands, and the Beer-Lambert analysis and measured-data
// overlay of sweeps.
#include "app/batch/analysis_commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/report.h"
#include "app/batch/analysis_parts.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "params/parameter_file.h"
#include "params/safe_save.h"

namespace kt {

namespace analysis_parts {

int fail(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return batch::kExitFailure;
}

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

bool write_text_file(const std::string& path, const std::string& text, std::string& error) {
  if (const SaveResult saved = save_file_contents(path, text); !saved) {
    error = "cannot write \"" + path + "\": " + saved.reason;
    return false;
  }
  return true;
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

}  // namespace analysis_parts

using namespace analysis_parts;

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
