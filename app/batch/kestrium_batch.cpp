// kestrium-batch: calculations without a window. The commands are one table (name, summary,
// help, function); `kestrium-batch --help` lists them and `kestrium-batch help COMMAND` (or
// COMMAND --help) explains one. The exit status says how the work ended (exit_codes.h).
#include <unistd.h>

#include <algorithm>
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

#include "analysis/report.h"
#include "app/batch/analysis_commands.h"
#include "app/batch/batch_pictures.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "app/batch/experiment_options.h"
#include "app/batch/option_words.h"
#include "app/batch/run_summary.h"
#include "app/batch/stop_signals.h"
#include "app/batch/study_commands.h"
#include "engine/crater.h"
#include "engine/material_setup.h"
#include "engine/run_request.h"
#include "engine/single_run.h"
#include "engine/spot_train.h"
#include "engine/sweep.h"
#include "engine/sweep_request.h"
#include "kt/version.h"
#include "params/output_paths.h"
#include "params/parameter_file.h"
#include "params/safe_save.h"

namespace {

using kt::batch::CommandLine;
using kt::batch::kExitDiverged;
using kt::batch::kExitFailure;
using kt::batch::kExitInterrupted;
using kt::batch::kExitUsage;

constexpr const char* kRunHelp =
    "usage: kestrium-batch [run] PARFILE [--refine K] [--scheme S [--grid-refine M]]\n"
    "                              [--experiment FILE.toml] [--pulses N --rate HZ]\n"
    "                              [--pulse-shape S [--trace FILE.csv]]\n"
    "                              [--incubated-absorption A] [--material FILE]\n"
    "                              [--png FILE.png [--size WxH]] [--plot FILE.png] [--json]\n"
    "\n"
    "One run reads the parameter file PARFILE and writes the result files named from its data\n"
    "file name into the current folder, as the program does: the temporal file <name>D.dat,\n"
    "the spatial files <name>S1.dat ... <name>S10.dat and the kinetics line in <name>K.dat;\n"
    "a train also writes its pulse table <name>P.dat, and its kinetics line holds the mean\n"
    "depth per pulse. With a spot (--beam, --spot-radius) the run is at the spot's centre and\n"
    "the crater table <name>C.dat (depth against radius per pulse and after each pulse, the\n"
    "volume and diameter of each pulse) is written too; a spot's train runs every radius with\n"
    "their cooling between pulses shared in r and z.\n"
    "\n"
    "options:\n"
    "  --refine K      split every time step into K equal sub-steps (1 to 64, default 1:\n"
    "                  the model's own step); outputs stay at the same instants. Try 2, 4 or 8\n"
    "                  when a run diverges.\n"
    "  --grid-refine M accurate scheme: split every cell of the depth grid into M (1 to 4);\n"
    "                  the spatial files list the finer nodes\n"
    "  --png FILE.png  also draw the page as the program shows it after the run (a spot's\n"
    "                  train: the page of the run at the spot's centre)\n"
    "  --size WxH      the picture's size in pixels (default 1024x768): the page as the\n"
    "                  program lays it out on a screen of that size\n"
    "  --plot FILE.png a train: the depth of each pulse against the pulse number; a spot: the\n"
    "                  crater's profile\n"
    "  --json          print the summary as one JSON object (the names of the sweep's --csv\n"
    "                  columns, the kinetics line and file, the scales; a train's pulses;\n"
    "                  a spot's crater: its profiles, volumes and diameters with units)\n"
    "                  instead of a line a number\n";

constexpr const char* kRunHelpRest =
    "  --help, -h      this text\n"
    "\n"
    "Ctrl-C or SIGTERM ends the run after its current step, as Stop in the program does.\n"
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
    "  --energy          add the energy ledger's columns [mJ/cm^2] to the --csv table\n"
    "  --csv FILE        a table: fluence, surface recession, volume depth, total depth [nm],\n"
    "                    peak surface temperature [K], peak front velocity [cm/s], steps, how\n"
    "                    the run ended (a diverged run has no values and no kinetics line)\n"
    "  --plot FILE.png   the ablation curve on a log fluence axis\n"
    "  --keep-files DIR  keep each run's temporal and spatial files in DIR/F<fluence>/\n"
    "  --json            print the summary as JSON: the runs (the --csv columns by name), the\n"
    "                    kinetics file and how the sweep ended (with --analyse, the analysis)\n"
    "A train (--pulses N) adds to --csv first_pulse_depth_nm and mean_depth_per_pulse_nm\n"
    "(the depths and peaks before them are then the train's means per pulse).\n";

constexpr const char* kSweepHelpRest =
    "  --help, -h        this text\n"
    "\n"
    "Every fluence is checked before the first run. Ctrl-C or SIGTERM stops the runs under\n"
    "way after their current step; the kinetics lines written so far stay whole.\n"
    "exit status: 0 done; 1 a failure (named); 2 a wrong command line; 3 a run diverged;\n"
    "130 interrupted.\n";

constexpr const char* kDefaultsHelp =
    "usage: kestrium-batch defaults FILE\n"
    "\n"
    "Writes the built-in default parameters to FILE, which must not exist yet.\n"
    "exit status: 0 written; 1 FILE exists or cannot be written; 2 a wrong command line.\n";

std::string run_help();
std::string sweep_help();

int fail(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return kExitFailure;
}

bool read_parameters(const std::string& path, kt::ParameterSet& parameters) {
  kt::FileResult r = kt::read_parameter_file(path, parameters);
  if (!r) std::fprintf(stderr, "kestrium-batch: %s\n", r.message.c_str());
  return r.ok;
}

// The files a command reads: the parameter file, the files of its experiment and `more`.
std::vector<kt::NamedPath> command_inputs(const std::string& parfile, const kt::RunSetup& setup,
                                          std::vector<kt::NamedPath> more = {}) {
  more.push_back({"the parameter file", parfile});
  for (kt::NamedPath& file : setup.input_files()) more.push_back(std::move(file));
  return more;
}

int single_run(const std::vector<std::string>& args) {
  std::string parfile, png, plot;
  int width = 1024, height = 768;
  bool json = false;
  kt::RunOptions options;
  kt::batch::ExperimentWords experiment;
  CommandLine line("", run_help());
  line.flag("--json", json);
  kt::batch::declare_experiment_options(line, experiment);
  line.count("--grid-refine", options.grid_refinement, 1, kt::kMaximumGridRefinement);
  line.option("--png", png);
  line.option("--plot", plot);
  line.size("--size", width, height);
  line.count("--refine", options.refinement, 1, kt::kMaximumRefinement);
  line.operand("PARFILE", parfile);
  if (std::optional<int> stop = line.parse(args)) return *stop;
  if (parfile.empty()) return line.usage_error("no parameter file given");
  int refused = 0;
  const std::optional<kt::RunSetup> setup =
      kt::batch::read_experiment_options(line, experiment, refused);
  if (!setup) return refused;
  kt::RunRequest request;
  request.setup = *setup;
  request.options = options;
  request.parameter_file = parfile;
  if (!png.empty() && !line.check_output_file(png, "--png", ".png")) return line.usage_error();
  const bool spot = setup->spot.active();
  if (!plot.empty() && !setup->is_train() && !spot)
    return line.usage_error(
        "--plot draws the pulses of a train or the crater of a spot: give --pulses N (2 or more) "
        "or --spot-radius UM");
  if (!plot.empty() && !line.check_output_file(plot, "--plot", ".png")) return line.usage_error();
  // The result files go into the current folder, named from the parameter file: none of them,
  // nor the pictures, may be a file the run reads.
  kt::ParameterSet& named = request.parameters;
  if (!read_parameters(parfile, named)) return kExitFailure;
  if (!kt::batch::apply_settings(line, experiment, named)) return kExitUsage;
  kt::RunOptions written = options;
  setup->apply(written);
  std::vector<kt::NamedPath> outputs = kt::run_output_files(named, written);
  if (spot)
    outputs.push_back(
        {"the crater table", kt::crater_file_name(kt::result_file_base(named.data_file_name))});
  outputs.push_back({"--png", png});
  outputs.push_back({"--plot", plot});
  if (const std::string clash = kt::check_output_paths(command_inputs(parfile, *setup), outputs);
      !clash.empty())
    return fail(clash);

  std::error_code ignored;
  const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", ignored);
  const std::filesystem::path data_directory = program.parent_path();
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
  if (!png.empty()) request.make = with_picture;
  // A spot's train: runs at every radius with their shared axisymmetric cooling; the centre's
  // run writes the result files.
  std::optional<kt::SpotTrainResult> spot_train;
  if (spot && setup->is_train()) {
    request.make = [&](kt::SharedParameters& parameters, const kt::RunOptions& run_options) {
      kt::SpotTrainRequest train;
      train.parameters = parameters.values;
      train.setup = *setup;
      train.centre = run_options;
      kt::RunOutcome refused;
      // With --png the page is that of the run at the spot's centre.
      if (!png.empty() && !kt::draw_run_page(
                              width, height, data_directory, png, run_options.scheme,
                              [&](kt::RunObserver& page) {
                                train.centre.observer = &page;
                                spot_train = kt::run_spot_train(train);
                              },
                              picture_error)) {
        refused.not_started_reason = picture_error;
        return refused;
      }
      if (png.empty()) spot_train = kt::run_spot_train(train);
      if (!spot_train->error.empty()) {
        refused.not_started_reason = spot_train->error;
        return refused;
      }
      return spot_train->centre;
    };
  }
  const kt::Prepared<kt::RunPlan> plan = request.prepare();
  if (!plan) {
    if (plan.refusal.setting == "grid_refinement") return line.usage_error(plan.refusal.text());
    return fail(plan.refusal.text());
  }
  const kt::SingleRun run = plan->execute(&kt::batch::catch_stop_signals());
  if (!run.error.empty()) return fail(run.error);
  const kt::RunOutcome& outcome = run.outcome;
  const kt::ParameterSet& p = run.used;
  const bool diverged = outcome.end == kt::RunEnd::diverged;
  const bool stopped = outcome.end == kt::RunEnd::stop;
  const bool train_failed = spot_train && !spot_train->failure.empty();
  // A spot: the crater step, before any summary (the crater of a train's own runs, or from runs
  // at the spot's local fluences with the parameters the run used).
  const kt::CraterStep step =
      kt::take_crater_step(p, *setup, options.refinement, outcome, &kt::batch::catch_stop_signals(),
                           spot_train ? &*spot_train : nullptr);
  const kt::Crater* crater = step.made() ? &step.crater : nullptr;
  const bool crater_interrupted = step.interrupted;
  const std::vector<std::string>& crater_errors = step.file_errors;
  kt::batch::SpotSummary spot_summary;
  spot_summary.crater = crater;
  spot_summary.crater_file = step.file;
  if (step.taken && !crater)
    spot_summary.crater_problem = step.interrupted ? "interrupted" : step.crater.error;
  if (spot_train) spot_summary.train = &*spot_train;
  if (json) {
    std::fputs(kt::batch::run_summary_json(parfile, outcome, p, spot_summary).c_str(), stdout);
  } else if (diverged) {
    std::printf("run ended by: %s after %d steps\n",
                outcome.material_range_refusal ? "refused (a material table was left)"
                : outcome.ledger_refusal       ? "failed (its energy ledger does not close)"
                                               : "diverged",
                outcome.step_count);
  } else {
    std::fputs(kt::batch::run_summary_text(outcome, p).c_str(), stdout);
  }
  for (const std::string& e : outcome.file_errors) {
    std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  }
  if (!outcome.notice.empty()) {
    std::fprintf(stderr, "kestrium-batch: %s: note: %s\n", parfile.c_str(), outcome.notice.c_str());
  }
  if (diverged) {
    // A material table left is reported as a refusal (and exits as a divergence does).
    std::fprintf(stderr, "kestrium-batch: %s: %s\n", parfile.c_str(),
                 kt::divergence_message(outcome).c_str());
    return kExitDiverged;
  }
  if (train_failed) return fail(spot_train->failure);
  if (spot_train && !json) std::fputs(kt::spot_train_summary(*spot_train).c_str(), stdout);
  if (crater && !json) {
    for (int k = 0; k < crater->listed_pulses(); ++k) {
      const std::size_t i = static_cast<std::size_t>(k);
      std::printf("crater after pulse %d: diameter %.6g um at %.6g nm, volume %.6g um^3\n", k + 1,
                  crater->diameter_um[i], crater->diameter_depth_nm, crater->volume_um3[i]);
    }
  }
  for (const std::string& e : crater_errors)
    std::fprintf(stderr, "kestrium-batch: %s\n", e.c_str());
  if (!crater_errors.empty()) return kExitFailure;
  if (!spot_summary.crater_problem.empty() && !stopped && !crater_interrupted)
    return fail(spot_summary.crater_problem);
  if (!plot.empty() && (crater || !spot)) {
    std::string plot_error;
    if (crater ? !kt::draw_crater_png(*crater, plot, plot_error)
               : !kt::draw_pulse_depths_png(outcome, plot, plot_error))
      return fail(plot_error);
  }
  if (crater_interrupted) {
    if (!outcome.file_errors.empty()) return kExitFailure;
    std::fprintf(stderr,
                 "kestrium-batch: interrupted while the crater's runs were made; the run's files "
                 "and its kinetics line are whole; the crater table was not written\n");
    return kExitInterrupted;
  }
  if (!outcome.file_errors.empty()) return kExitFailure;
  if (outcome.end == kt::RunEnd::stop) {
    const bool cut = !outcome.pulses.empty() && outcome.pulses.back().cut_short;
    std::string crater_note;
    if (spot && crater)
      crater_note = "; the crater table holds only the pulses finished at every radius (" +
                    std::to_string(crater->listed_pulses()) + " of " +
                    std::to_string(crater->planned_pulses) + ") and says so";
    else if (spot)
      crater_note = "; no crater table was written";
    std::fprintf(stderr,
                 "kestrium-batch: interrupted after step %d; the temporal and spatial files hold "
                 "the steps made%s; no kinetics line was written%s\n",
                 outcome.step_count,
                 cut                       ? ", the pulse table marks the pulse cut short"
                 : !outcome.pulses.empty() ? ", the pulse table holds the pulses finished"
                                           : "",
                 crater_note.c_str());
    return kExitInterrupted;
  }
  return kt::batch::kExitDone;
}

// The sweep command's files and run options as given on its command line.
struct SweepCommand {
  std::string parfile, csv, plot;
  kt::batch::ExperimentWords experiment;
  bool json = false;    // --json: the summary as JSON
  bool energy = false;  // --energy: the energy ledger's columns in the CSV
  bool train = false;   // a train: the CSV adds the first pulse's and the mean depth per pulse
  kt::SweepOptions options;
};

// Reads and checks the sweep command line; an exit status when the command stops here.
std::optional<int> read_sweep_command(const std::vector<std::string>& args, CommandLine& line,
                                      SweepCommand& command, kt::SweepAnalysis& analysis) {
  std::string fluence_text, keep_files;
  int log_count = 0;
  int jobs = 0;  // 0: kt::default_jobs()
  kt::SweepOptions& options = command.options;
  line.option("--fluence", fluence_text);
  line.count("--log", log_count, 1, 100000);
  line.count("--jobs", jobs, 1, 100000);
  line.count("--refine", options.refinement, 1, kt::kMaximumRefinement);
  kt::batch::declare_experiment_options(line, command.experiment);
  line.flag("--energy", command.energy);
  line.option("--csv", command.csv);
  line.option("--keep-files", keep_files);
  line.option("--plot", command.plot);
  line.flag("--json", command.json);
  kt::declare_sweep_analysis_options(line, analysis);
  line.operand("PARFILE", command.parfile);
  if (std::optional<int> stop = line.parse(args)) return stop;
  if (command.parfile.empty()) return line.usage_error("no parameter file given");
  if (fluence_text.empty()) return line.usage_error("a sweep needs --fluence");
  int refused = 0;
  const std::optional<kt::RunSetup> setup =
      kt::batch::read_experiment_options(line, command.experiment, refused);
  if (!setup) return refused;
  options.setup = *setup;
  command.train = setup->is_train();
  std::string error;
  options.fluences = kt::parse_fluences(fluence_text, log_count, error);
  if (options.fluences.empty()) return line.usage_error(error);
  options.jobs = jobs;
  if ((!command.csv.empty() && !line.check_output_file(command.csv, "--csv", "")) ||
      (!command.plot.empty() && !line.check_output_file(command.plot, "--plot", ".png")) ||
      (!keep_files.empty() && !line.check_output_directory(keep_files, "--keep-files"))) {
    return line.usage_error();
  }
  if (!keep_files.empty()) options.keep_files_directory = keep_files;
  if (const std::string clash =
          kt::check_output_paths(command_inputs(command.parfile, command.options.setup,
                                                {{"the data file", analysis.data_file}}),
                                 {{"--csv", command.csv}, {"--plot", command.plot}});
      !clash.empty())
    return line.usage_error(clash);
  return std::nullopt;
}

// Runs the sweep with a progress line on a terminal; Ctrl-C stops it.
kt::SweepResult run_sweep_with_progress(const kt::SweepPlan& plan) {
  std::atomic<bool>& interrupted = kt::batch::catch_stop_signals();
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
  kt::SweepResult result = plan.execute(interrupted, progress);
  if (show_progress) std::fprintf(stderr, "\n");
  return result;
}

// Writes --csv and --plot; their failures join the sweep's errors.
void write_sweep_outputs(const SweepCommand& command, const kt::SweepAnalysis& analysis,
                         kt::SweepResult& result) {
  if (!command.csv.empty()) {
    if (const kt::SaveResult saved = kt::save_file_contents(
            command.csv,
            kt::sweep_csv(
                result, kt::with_error_columns(
                            kt::with_train_columns(command.energy ? kt::ResultColumnSet::with_energy
                                                                  : kt::ResultColumnSet::results,
                                                   command.train),
                            command.options.setup.tolerance > 0.0)));
        !saved)
      result.errors.push_back("Cannot write the CSV file \"" + command.csv + "\": " + saved.reason);
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

int sweep_command(const std::vector<std::string>& args) {
  SweepCommand command;
  kt::SweepAnalysis analysis;
  CommandLine line("sweep", sweep_help());
  if (std::optional<int> stop = read_sweep_command(args, line, command, analysis)) return *stop;
  if (const int refused = kt::prepare_sweep_analysis(analysis); refused != 0) return refused;

  kt::SweepRequest request;
  if (!read_parameters(command.parfile, request.parameters)) return kExitFailure;
  if (!kt::batch::apply_settings(line, command.experiment, request.parameters)) return kExitUsage;
  request.parameter_file = command.parfile;
  request.options = command.options;
  const kt::Prepared<kt::SweepPlan> plan = request.prepare();
  if (!plan) return fail(plan.refusal.text());
  // Every file the sweep writes (the kinetics file, the kept files, the table and the picture)
  // against every file it reads and against each other.
  std::vector<kt::NamedPath> outputs = kt::sweep_output_files(plan->parameters, plan->options);
  outputs.push_back({"--csv", command.csv});
  outputs.push_back({"--plot", command.plot});
  if (const std::string clash =
          kt::check_output_paths(command_inputs(command.parfile, command.options.setup,
                                                {{"the data file", analysis.data_file}}),
                                 outputs);
      !clash.empty())
    return fail(clash);

  kt::SweepResult result = run_sweep_with_progress(*plan);
  if (!result.thread_error.empty()) return fail("sweep: " + result.thread_error);
  if (!command.json) std::fputs(kt::batch::sweep_summary_text(result).c_str(), stdout);
  const int status = kt::finish_sweep_analysis(result, analysis, command.json) ? 0 : kExitFailure;
  write_sweep_outputs(command, analysis, result);
  if (command.json) {
    const std::string beer_lambert =
        analysis.analyse ? kt::beer_lambert_object_json(analysis.beer_lambert) : std::string();
    std::fputs(kt::batch::sweep_summary_json(result, beer_lambert).c_str(), stdout);
  }
  return sweep_exit_status(result, status);
}

// Writes the built-in defaults to a file that does not exist yet.
int defaults_command(const std::vector<std::string>& args) {
  std::string path;
  CommandLine line("defaults", kDefaultsHelp);
  line.operand("FILE", path);
  if (std::optional<int> stop = line.parse(args)) return *stop;
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

std::string run_help() {
  return std::string(kRunHelp) + kt::batch::experiment_options_help() + kRunHelpRest;
}
std::string sweep_help() {
  return std::string(kSweepHelp) + kt::sweep_analysis_help() +
         kt::batch::experiment_options_help() + kSweepHelpRest;
}
std::string defaults_help() {
  return kDefaultsHelp;
}

// The commands: what `--help` lists, `help NAME` explains and the first argument chooses.
struct Command {
  const char* name;
  const char* summary;
  std::string (*help)();
  int (*run)(const std::vector<std::string>& args);
};

constexpr Command kCommands[] = {
    {"run", "one calculation of PARFILE (the word may be left out)", run_help, single_run},
    {"sweep", "one calculation per fluence; the kinetics file, a table, the ablation curve",
     sweep_help, sweep_command},
    {"study", "one calculation per point of a parameter study, in shards if wished", kt::study_help,
     kt::study_command},
    {"merge", "join the shard tables of a study into its whole table", kt::merge_help,
     kt::merge_command},
    {"fit", "fit fields of PARFILE to measured depths", kt::fit_help, kt::fit_command},
    {"threshold", "the fluence at which a depth is first reached", kt::threshold_help,
     kt::threshold_command},
    {"defaults", "write the built-in default parameters to a new file", defaults_help,
     defaults_command},
};

const Command* find_command(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

std::string overview_help() {
  std::string text =
      "kestrium-batch: laser-ablation calculations without a window.\n"
      "\n"
      "usage: kestrium-batch COMMAND [arguments]\n"
      "       kestrium-batch PARFILE [--refine K] [--png FILE.png [--size WxH]]\n"
      "       kestrium-batch help COMMAND | --help | --version\n"
      "\n"
      "commands (kestrium-batch help COMMAND explains one):\n";
  for (const Command& c : kCommands) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %s\n", c.name, c.summary);
    text += line;
  }
  text += "  help       this text, or the help of a command\n\n";
  text += run_help();
  text += "  --version       the program's version\n";
  return text;
}

// "unknown command" with the nearest name when the word looks like a slip.
int refuse_command(const std::string& word) {
  std::vector<std::string> names{"help"};
  for (const Command& c : kCommands) names.emplace_back(c.name);
  const std::string nearest = kt::nearest_name(word, names);
  if (!nearest.empty()) {
    std::fprintf(stderr, "kestrium-batch: unknown command \"%s\", did you mean \"%s\"?\n",
                 word.c_str(), nearest.c_str());
  } else {
    std::fprintf(stderr, "kestrium-batch: unknown command \"%s\"\n", word.c_str());
  }
  std::fprintf(stderr, "(kestrium-batch --help lists the commands)\n");
  return kExitUsage;
}

// A first argument that is neither a command nor a file that exists, with no dot or slash in
// it, is taken for a mistyped command rather than a parameter file.
bool looks_like_command(const std::string& word) {
  std::error_code ignored;
  return word.find_first_of("./") == std::string::npos && !std::filesystem::exists(word, ignored);
}

int help_command(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fputs(overview_help().c_str(), stdout);
    return kt::batch::kExitDone;
  }
  if (args.size() > 1) {
    std::fprintf(stderr, "kestrium-batch: help takes one command name\n");
    return kExitUsage;
  }
  if (args[0] == "help") {
    std::fputs(overview_help().c_str(), stdout);
    return kt::batch::kExitDone;
  }
  const Command* command = find_command(args[0]);
  if (!command) return refuse_command(args[0]);
  std::fputs(command->help().c_str(), stdout);
  return kt::batch::kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A file-size limit makes a write fail with its reason instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  if (args.empty()) {
    std::fputs(overview_help().c_str(), stderr);
    return kExitUsage;
  }
  const std::string& first = args[0];
  if (first == "--version") {
    std::printf("kestrium-batch %s\n", kt::kVersion);
    return kt::batch::kExitDone;
  }
  if (first == "--help" || first == "-h") return help_command({});
  kt::batch::use_option_words();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (first == "help") return help_command(rest);
  if (const Command* command = find_command(first)) return command->run(rest);
  if (first[0] != '-' && looks_like_command(first)) return refuse_command(first);
  return single_run(args);
}
