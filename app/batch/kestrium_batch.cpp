// kestrium-batch: calculations without a window.
//   kestrium-batch PARFILE [--png FILE.png [--size WxH]]
//   kestrium-batch sweep PARFILE --fluence FROM:TO:STEP|F1,F2,...|FROM:TO --log N
//                  [--jobs N] [--csv FILE] [--keep-files DIR] [--plot FILE.png]
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/batch/batch_pictures.h"
#include "app/batch/sweep.h"
#include "params/parameter_file.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) { interrupted.store(true); }

int usage(const char* message) {
  if (message) std::fprintf(stderr, "kestrium-batch: %s\n", message);
  std::fprintf(stderr,
               "usage: kestrium-batch PARFILE [--png FILE.png [--size WxH]]\n"
               "       kestrium-batch sweep PARFILE --fluence FROM:TO:STEP | F1,F2,... | FROM:TO "
               "--log N\n"
               "                      [--jobs N] [--csv FILE] [--keep-files DIR] [--plot "
               "FILE.png]\n");
  return 2;
}

bool read_parameters(const std::string& path, kt::ParameterSet& parameters) {
  kt::FileResult r = kt::read_parameter_file(path, parameters);
  if (!r) std::fprintf(stderr, "kestrium-batch: %s\n", r.message.c_str());
  return r.ok;
}

bool parse_int(const std::string& text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 1 || v > 100000) return false;
  value = static_cast<int>(v);
  return true;
}

bool parse_size(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find('x');
  return x != std::string::npos && parse_int(text.substr(0, x), width) &&
         parse_int(text.substr(x + 1), height) && width <= 8192 && height <= 8192;
}

int single_run(const std::vector<std::string>& args, const std::filesystem::path& data_directory) {
  std::string parfile, png;
  int width = 1024, height = 768;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--png" && i + 1 < args.size()) {
      png = args[++i];
    } else if (args[i] == "--size" && i + 1 < args.size()) {
      if (!parse_size(args[++i], width, height)) return usage("--size takes WIDTHxHEIGHT");
    } else if (parfile.empty() && args[i].rfind("--", 0) != 0) {
      parfile = args[i];
    } else {
      return usage(("unexpected argument " + args[i]).c_str());
    }
  }
  if (parfile.empty()) return usage("no parameter file");
  kt::SharedParameters parameters;
  if (!read_parameters(parfile, parameters.values)) return 1;
  if (const std::string refusal = kt::check_run_choices(parameters.values); !refusal.empty()) {
    std::fprintf(stderr, "kestrium-batch: %s: %s\n", parfile.c_str(), refusal.c_str());
    return 1;
  }

  kt::RunOutcome outcome;
  if (!png.empty()) {
    std::string error;
    if (!kt::run_with_picture(parameters, width, height, data_directory, png, outcome, error)) {
      std::fprintf(stderr, "kestrium-batch: %s\n", error.c_str());
      return 1;
    }
  } else {
    kt::GuardFlags flags;
    auto state = std::make_unique<kt::SolverState>();
    auto profiles = std::make_unique<kt::ProfileArrays>();
    kt::PlotScaleSet scales;
    kt::NullPlotSink sink;
    outcome = kt::run_calculation(parameters, flags, *state, scales, *profiles, sink);
  }
  if (outcome.end == kt::RunEnd::not_started) {
    std::fprintf(stderr, "kestrium-batch: %s\n", outcome.not_started_reason.c_str());
    return 1;
  }
  const kt::ParameterSet& p = parameters.values;
  std::printf("steps: %d\n", outcome.step_count);
  std::printf("ended by: %s\n", kt::run_end_text(outcome.end));
  std::printf("kinetics line: %s\n", outcome.kinetics_line.c_str());
  std::printf("scales: temperature %.6g K, velocity %.6g cm/s, ablated depth %.6g 1/alpha\n",
              p.temperature_scale, p.velocity_scale, p.depth_scale);
  for (const std::string& e : outcome.file_errors) std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  return outcome.file_errors.empty() ? 0 : 1;
}

int sweep(const std::vector<std::string>& args) {
  std::string parfile, fluence_text, csv, plot;
  int log_count = 0;
  int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  kt::SweepOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--fluence" && has_value) fluence_text = args[++i];
    else if (a == "--log" && has_value) {
      if (!parse_int(args[++i], log_count)) return usage("--log takes a count from 1");
    } else if (a == "--jobs" && has_value) {
      if (!parse_int(args[++i], jobs)) return usage("--jobs takes a count from 1");
    } else if (a == "--csv" && has_value) csv = args[++i];
    else if (a == "--keep-files" && has_value) options.keep_files_directory = args[++i];
    else if (a == "--plot" && has_value) plot = args[++i];
    else if (parfile.empty() && a.rfind("--", 0) != 0) parfile = a;
    else return usage(("unexpected argument " + a).c_str());
  }
  if (parfile.empty()) return usage("no parameter file");
  if (fluence_text.empty()) return usage("a sweep needs --fluence");
  std::string error;
  options.fluences = kt::parse_fluences(fluence_text, log_count, error);
  if (options.fluences.empty()) return usage(error.c_str());
  options.jobs = jobs;

  kt::ParameterSet parameters;
  if (!read_parameters(parfile, parameters)) return 1;
  if (const std::string refusal = kt::check_run_choices(parameters); !refusal.empty()) {
    std::fprintf(stderr, "kestrium-batch: %s: %s\n", parfile.c_str(), refusal.c_str());
    return 1;
  }

  std::signal(SIGINT, on_interrupt);
  const bool show_progress = isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  auto progress = [&](int done, int total) {
    if (!show_progress) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double remaining = done > 0 ? elapsed * (total - done) / done : 0.0;
    std::fprintf(stderr, "\r%d of %d runs done, %.1f s elapsed, about %.1f s remaining   ", done,
                 total, elapsed, remaining);
    std::fflush(stderr);
  };
  kt::SweepResult result = kt::run_sweep(parameters, options, interrupted, progress);
  if (show_progress) std::fprintf(stderr, "\n");

  for (const kt::SweepRun& run : result.runs) {
    if (!run.finished) continue;
    std::printf("%s  (%d steps, %s)\n", run.outcome.kinetics_line.c_str(), run.outcome.step_count,
                kt::run_end_text(run.outcome.end));
  }
  int status = 0;
  if (!csv.empty()) {
    std::ofstream out(csv, std::ios::binary | std::ios::trunc);
    out << kt::sweep_csv(result);
    out.close();
    if (!out) {
      result.errors.push_back("Cannot write the CSV file \"" + csv + "\"");
    }
  }
  if (!plot.empty()) {
    std::string plot_error;
    if (!kt::draw_ablation_curve_png(result, plot, plot_error)) result.errors.push_back(plot_error);
  }
  for (const std::string& e : result.errors) std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  if (!result.errors.empty()) status = 1;
  if (result.interrupted) {
    std::fprintf(stderr, "kestrium-batch: interrupted; %d of %zu kinetics lines written to %s\n",
                 result.lines_written, result.runs.size(), result.kinetics_file.c_str());
    status = 130;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") return usage(nullptr);
  if (args[0] == "sweep") return sweep({args.begin() + 1, args.end()});
  std::error_code ignored;
  const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", ignored);
  return single_run(args, program.parent_path());
}
