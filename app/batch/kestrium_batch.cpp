// kestrium-batch: calculations without a window. `kestrium-batch --help` explains every
// command and option; the exit status says how the work ended (see the help text).
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/batch/analysis_commands.h"
#include "app/batch/batch_pictures.h"
#include "app/batch/command_line.h"
#include "app/batch/study_commands.h"
#include "engine/single_run.h"
#include "engine/sweep.h"
#include "params/parameter_file.h"

namespace {

using kt::batch::CommandLine;

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) {
  interrupted.store(true);
}

constexpr const char* kOverviewCommands =
    "kestrium-batch: laser-ablation calculations without a window.\n"
    "\n"
    "usage:\n"
    "  kestrium-batch PARFILE [--refine K] [--png FILE.png [--size WxH]]\n"
    "  kestrium-batch sweep PARFILE --fluence LIST [options]  (kestrium-batch sweep "
    "--help)\n"
    "  kestrium-batch study PARFILE --vary NAME=VALUES ... --out DIR   (kestrium-batch study "
    "--help)\n"
    "  kestrium-batch merge DIR... --out DIR                  (kestrium-batch merge --help)\n";

constexpr const char* kOverviewRest =
    "  kestrium-batch defaults FILE      write the built-in default parameters to a new FILE\n"
    "  kestrium-batch --help | -h\n"
    "  kestrium-batch --version\n"
    "\n"
    "One run reads the parameter file PARFILE and writes the result files named from its data\n"
    "file name into the current folder, as the program does: the temporal file <name>D.dat,\n"
    "the spatial files <name>S1.dat ... <name>S10.dat and the kinetics line in <name>K.dat.\n"
    "\n"
    "options:\n"
    "  --refine K      split every time step into K equal sub-steps (1 to 64, default 1:\n"
    "                  the model's own step); outputs stay at the same instants. Try 2, 4 or 8\n"
    "                  when a run diverges.\n"
    "  --png FILE.png  also draw the page as the program shows it after the run\n"
    "  --size WxH      the size of that page in pixels (default 1024x768)\n"
    "  --help, -h      this text\n"
    "  --version       the program's version\n"
    "\n"
    "exit status: 0 done; 1 the parameter file, a run or a result file failed (the message\n"
    "says which); 2 a wrong command line; 3 a calculation diverged; 130 interrupted.\n";

constexpr const char* kSweepHelp =
    "usage: kestrium-batch sweep PARFILE --fluence LIST [options]\n"
    "\n"
    "Runs one calculation per fluence, in parallel, and writes the kinetics file <name>K.dat\n"
    "with one line per fluence in fluence order (Rewrite in PARFILE starts it empty, Addition\n"
    "appends), as the same runs made one after another would.\n"
    "\n"
    "  --fluence LIST    FROM:TO:STEP (TO included), F1,F2,... or, with --log N, FROM:TO\n"
    "  --log N           N fluences spaced evenly on a log scale from FROM to TO\n"
    "  --jobs N          runs at once (default: all cores)\n"
    "  --refine K        split every time step into K sub-steps (default 1)\n"
    "  --csv FILE        a table: fluence, surface recession, volume depth, total depth [nm],\n"
    "                    peak surface temperature [K], peak front velocity [cm/s], steps, how\n"
    "                    the run ended (a diverged run has no values and no kinetics line)\n"
    "  --plot FILE.png   the ablation curve on a log fluence axis\n"
    "  --keep-files DIR  keep each run's temporal and spatial files in DIR/F<fluence>/\n";

constexpr const char* kSweepHelpRest =
    "  --help, -h        this text\n"
    "\n"
    "Every fluence is checked before the first run. Ctrl-C stops the runs under way after\n"
    "their current step; the kinetics lines written so far stay whole.\n"
    "exit status: 0 done; 1 a failure (named); 2 a wrong command line; 3 a run diverged;\n"
    "130 interrupted.\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDiverged = 3;
constexpr int kExitInterrupted = 130;

int fail(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return kExitFailure;
}

bool read_parameters(const std::string& path, kt::ParameterSet& parameters) {
  kt::FileResult r = kt::read_parameter_file(path, parameters);
  if (!r) std::fprintf(stderr, "kestrium-batch: %s\n", r.message.c_str());
  return r.ok;
}

int single_run(CommandLine& line, const std::filesystem::path& data_directory) {
  std::string parfile, png;
  int width = 1024, height = 768;
  kt::RunOptions options;
  while (!line.done()) {
    if (line.take_option("--png", png) || line.take_size("--size", width, height) ||
        line.take_count("--refine", options.refinement, 1, kt::kMaximumRefinement) ||
        line.take_operand(parfile)) {
      continue;
    }
    if (!line.error().empty()) break;
    line.refuse_current();
  }
  if (!line.error().empty()) return line.usage_error();
  if (parfile.empty()) return line.usage_error("no parameter file given");
  if (!png.empty() && !line.check_output_file(png, "--png", ".png")) return line.usage_error();

  // With --png the run also draws the page; a failed picture is the run's failure.
  std::string picture_error;
  kt::RunMaker with_picture = [&](kt::SharedParameters& parameters,
                                  const kt::RunOptions& run_options) {
    kt::RunOutcome drawn;
    if (!kt::run_with_picture(parameters, width, height, data_directory, png, drawn, picture_error,
                              run_options)) {
      drawn.end = kt::RunEnd::not_started;
      drawn.not_started_reason = picture_error;
    }
    return drawn;
  };
  const kt::SingleRun run =
      kt::run_parameter_file(parfile, options, png.empty() ? kt::RunMaker{} : with_picture);
  if (!run.error.empty()) return fail(run.error);
  const kt::RunOutcome& outcome = run.outcome;
  const kt::ParameterSet& p = run.used;
  std::printf("steps: %d\n", outcome.step_count);
  std::printf("ended by: %s\n", kt::run_end_text(outcome.end));
  for (const std::string& e : outcome.file_errors) {
    std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  }
  if (outcome.end == kt::RunEnd::diverged) {
    std::fprintf(stderr, "kestrium-batch: %s: %s\n", parfile.c_str(),
                 kt::divergence_message(outcome).c_str());
    return kExitDiverged;
  }
  std::printf("kinetics line: %s\n", outcome.kinetics_line.c_str());
  std::printf("scales: temperature %.6g K, velocity %.6g cm/s, ablated depth %.6g 1/alpha\n",
              p.temperature_scale, p.velocity_scale, p.depth_scale);
  return outcome.file_errors.empty() ? 0 : kExitFailure;
}

// The sweep command's files and run options as given on its command line.
struct SweepCommand {
  std::string parfile, csv, plot;
  kt::SweepOptions options;
};

// Reads and checks the sweep command line; an exit status when the command stops here.
std::optional<int> read_sweep_command(CommandLine& line, SweepCommand& command) {
  std::string fluence_text, keep_files;
  int log_count = 0;
  int jobs = 0;  // 0: kt::default_jobs()
  kt::SweepOptions& options = command.options;
  while (!line.done()) {
    if (line.take_option("--fluence", fluence_text) ||
        line.take_count("--log", log_count, 1, 100000) ||
        line.take_count("--jobs", jobs, 1, 100000) ||
        line.take_count("--refine", options.refinement, 1, kt::kMaximumRefinement) ||
        line.take_option("--csv", command.csv) || line.take_option("--keep-files", keep_files) ||
        line.take_option("--plot", command.plot) || line.take_operand(command.parfile)) {
      continue;
    }
    if (!line.error().empty()) break;
    line.refuse_current();
  }
  if (!line.error().empty()) return line.usage_error();
  if (command.parfile.empty()) return line.usage_error("no parameter file given");
  if (fluence_text.empty()) return line.usage_error("a sweep needs --fluence");
  std::string error;
  options.fluences = kt::parse_fluences(fluence_text, log_count, error);
  if (options.fluences.empty()) return line.usage_error(error);
  options.jobs = kt::capped_jobs(jobs);
  if ((!command.csv.empty() && !line.check_output_file(command.csv, "--csv", "")) ||
      (!command.plot.empty() && !line.check_output_file(command.plot, "--plot", ".png")) ||
      (!keep_files.empty() && !line.check_output_directory(keep_files, "--keep-files"))) {
    return line.usage_error();
  }
  if (!keep_files.empty()) options.keep_files_directory = keep_files;
  return std::nullopt;
}

// Runs the sweep with a progress line on a terminal; Ctrl-C stops it.
kt::SweepResult run_sweep_with_progress(const kt::ParameterSet& parameters,
                                        const kt::SweepOptions& options) {
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
  return result;
}

void print_sweep_runs(const kt::SweepResult& result) {
  for (const kt::SweepRun& run : result.runs) {
    if (!run.finished) continue;
    if (run.outcome.end == kt::RunEnd::diverged) {
      std::printf("%g: diverged at step %d\n", run.fluence, run.outcome.step_count);
      continue;
    }
    std::printf("%s  (%d steps, %s)\n", run.outcome.kinetics_line.c_str(), run.outcome.step_count,
                kt::run_end_text(run.outcome.end));
  }
}

// Writes --csv and --plot; their failures join the sweep's errors.
void write_sweep_outputs(const SweepCommand& command, const kt::SweepAnalysis& analysis,
                         kt::SweepResult& result) {
  if (!command.csv.empty()) {
    std::ofstream out(command.csv, std::ios::binary | std::ios::trunc);
    out << kt::sweep_csv(result);
    out.close();
    if (!out) result.errors.push_back("Cannot write the CSV file \"" + command.csv + "\"");
  }
  if (!command.plot.empty()) {
    std::string plot_error;
    if (!kt::draw_ablation_curve_png(result, command.plot, plot_error, kt::curve_overlay(analysis)))
      result.errors.push_back(plot_error);
  }
}

// Reports the errors, divergences and an interruption; the exit status.
int sweep_exit_status(const kt::SweepResult& result, int status) {
  for (const std::string& e : result.errors)
    std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  if (!result.errors.empty()) status = kExitFailure;
  if (result.diverged > 0 && status == 0) {
    std::fprintf(stderr,
                 "kestrium-batch: %d of %zu runs diverged (marked \"diverged\"; no kinetics "
                 "line); a finer time step may carry them through (--refine 2, 4 or 8)\n",
                 result.diverged, result.runs.size());
    status = kExitDiverged;
  }
  if (result.interrupted) {
    std::fprintf(stderr, "kestrium-batch: interrupted; %d of %zu kinetics lines written to %s\n",
                 result.lines_written, result.runs.size(), result.kinetics_file.c_str());
    status = kExitInterrupted;
  }
  return status;
}

int sweep(CommandLine& line, kt::SweepAnalysis& analysis) {
  SweepCommand command;
  if (std::optional<int> stop = read_sweep_command(line, command)) return *stop;
  if (const int refused = kt::prepare_sweep_analysis(analysis); refused != 0) return refused;

  kt::ParameterSet parameters;
  if (!read_parameters(command.parfile, parameters)) return kExitFailure;
  if (const std::string refusal = kt::check_sweep_fluences(parameters, command.options.fluences);
      !refusal.empty()) {
    return fail(command.parfile + ": " + refusal);
  }

  kt::SweepResult result = run_sweep_with_progress(parameters, command.options);
  if (!result.thread_error.empty()) return fail("sweep: " + result.thread_error);
  print_sweep_runs(result);
  const int status = kt::finish_sweep_analysis(result, analysis) ? 0 : kExitFailure;
  write_sweep_outputs(command, analysis, result);
  return sweep_exit_status(result, status);
}

// Writes the built-in defaults to a file that does not exist yet.
int write_defaults(CommandLine& line) {
  std::string path;
  while (!line.done()) {
    if (line.take_operand(path)) continue;
    if (!line.error().empty()) break;
    line.refuse_current();
  }
  if (!line.error().empty()) return line.usage_error();
  if (path.empty()) return line.usage_error("defaults needs the name of the file to write");
  std::error_code ignored;
  if (std::filesystem::exists(path, ignored)) {
    return fail(path + ": exists already; it is left as it is");
  }
  kt::ParameterSet parameters;
  kt::set_default_parameter_groups(parameters);
  const kt::FileResult written = kt::write_parameter_file(path, parameters);
  if (!written) return fail(written.message);
  std::printf("wrote the default parameters to %s\n", path.c_str());
  return 0;
}

std::string overview_help() {
  return std::string(kOverviewCommands) + kt::analysis_commands_usage() + kOverviewRest;
}

std::string sweep_help() {
  return std::string(kSweepHelp) + kt::sweep_analysis_help() + kSweepHelpRest;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(overview_help().c_str(), stderr);
    return kExitUsage;
  }
  if (args[0] == "--version") {
    std::printf("kestrium-batch %s\n", KT_VERSION);
    return 0;
  }
  if (args[0] == "study") return kt::study_command({args.begin() + 1, args.end()});
  if (args[0] == "merge") return kt::merge_command({args.begin() + 1, args.end()});
  if (args[0] == "defaults") {
    CommandLine defaults_line({args.begin() + 1, args.end()}, overview_help());
    if (defaults_line.wants_help()) {
      std::fputs(overview_help().c_str(), stdout);
      return 0;
    }
    return write_defaults(defaults_line);
  }
  if (args[0] == "fit") return kt::fit_command({args.begin() + 1, args.end()});
  if (args[0] == "threshold") return kt::threshold_command({args.begin() + 1, args.end()});
  const bool is_sweep = args[0] == "sweep";
  kt::SweepAnalysis analysis;
  if (is_sweep) args = kt::take_sweep_analysis_options(args, analysis);
  const std::string help = is_sweep ? sweep_help() : overview_help();
  CommandLine line(is_sweep ? std::vector<std::string>(args.begin() + 1, args.end()) : args, help);
  if (line.wants_help()) {
    std::fputs(help.c_str(), stdout);
    return 0;
  }
  if (is_sweep) return sweep(line, analysis);
  std::error_code ignored;
  const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", ignored);
  return single_run(line, program.parent_path());
}
