// Batch calculations without a window: one run from a parameter file, and fluence sweeps that
// build an ablation curve, run in parallel, each run with its own records.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/experiment_setup.h"
#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "params/output_paths.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

// Fluences of a sweep: a value list (parse_value_list: FROM:TO:STEP, FROM:TO:logN, F1,F2,...)
// or, with log_count > 0, "FROM:TO" spaced evenly on a log scale (the same as FROM:TO:logN).
// Empty on error, with the reason in `error`.
std::vector<double> parse_fluences(const std::string& text, int log_count, std::string& error);

struct SweepOptions {
  std::vector<double> fluences;
  int jobs = 1;  // capped at max_jobs() and at the number of fluences
  // When set, each run writes its temporal and spatial files into DIR/F<fluence>/.
  std::optional<std::filesystem::path> keep_files_directory;
  std::filesystem::path output_directory = ".";  // where the kinetics file goes
  int refinement = 1;                            // time-step refinement of every run
  // The scheme, the pulses (a train, a shape) and the material of every run (a material's
  // values are in the parameters already).
  RunSetup setup;
  int grid_refinement = 1;     // accurate scheme: cells split into this many
  ThreadStarter start_thread;  // empty: std::thread
  // False: no kinetics file is touched; the lines are only in the outcomes.
  bool write_kinetics_file = true;
};

struct SweepRun {
  double fluence = 0.0;  // as asked
  RunOutcome outcome;
  bool finished = false;  // ran to its end (not interrupted, not skipped); diverged included
};

struct SweepResult {
  std::vector<SweepRun> runs;  // in fluence order
  std::string kinetics_file;   // path written (empty when no kinetics file was asked for)
  int lines_written = 0;
  bool interrupted = false;
  int diverged = 0;  // runs that diverged: marked in the CSV, no kinetics line
  std::vector<std::string> errors;
  std::string thread_error;  // the threads could not be started: nothing ran (also in errors)
};

// Empty when every fluence of the sweep may run with these parameters; otherwise the refusal
// of the first that may not, naming the fluence.
std::string check_sweep_fluences(const ParameterSet& parameters,
                                 const std::vector<double>& fluences);

// Every file the sweep may write: the kinetics file (when it writes one) and, with a folder
// for the kept files, each run's result files in its DIR/F<fluence>/ folder.
std::vector<NamedPath> sweep_output_files(const ParameterSet& parameters,
                                          const SweepOptions& options);

// Progress report: runs finished so far, total.
using SweepProgress = std::function<void(int done, int total)>;

// Runs one calculation per fluence on `jobs` threads. The kinetics lines are written in fluence
// order, as the same runs made one after another would append them; with Rewrite in the
// parameters the kinetics file starts empty, with Addition the lines are appended to it. A set
// `interrupt` stops the runs under way after their current step; only the lines of runs that
// finished, in unbroken fluence order, are written; a diverged run writes no line. All threads are
// started before any file is touched: when one cannot be started the sweep reports it and leaves
// every file as it was.
SweepResult run_sweep(const ParameterSet& parameters, const SweepOptions& options,
                      const std::atomic<bool>& interrupt, const SweepProgress& progress = {});

// The CSV of a sweep: a header row, then one row per fluence; with_energy adds the energy
// ledger's columns.
std::string sweep_csv(const SweepResult& result,
                      ResultColumnSet columns = ResultColumnSet::results);

}  // namespace kt
