#include "engine/sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "engine/single_run.h"
#include "engine/value_text.h"
#include "params/setting_words.h"
#include "solver/result_files.h"

namespace kt {
namespace {

std::string fluence_folder(double fluence) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "F%g", fluence);
  return buffer;
}

}  // namespace

std::vector<double> parse_fluences(const std::string& text, int log_count, std::string& error) {
  std::string list = text;
  if (log_count > 0) {
    // A log count N with FROM:TO is another way to write FROM:TO:logN (and 1 gives FROM).
    const std::vector<std::string> parts = split_text(text, ':');
    double from = 0, to = 0;
    if (parts.size() != 2 || !parse_number(parts[0], from) || !parse_number(parts[1], to)) {
      error = "with " + setting_text("log") + ", " + setting_text("fluences") + " takes FROM:TO";
      return {};
    }
    if (log_count == 1 && from > 0 && to > 0) return {from};
    list = text + ":log" + std::to_string(std::max(log_count, 2));
  }
  std::vector<double> fluences = parse_value_list(list, error);
  if (fluences.empty()) error = setting_text("fluences", text) + ": " + error;
  return fluences;
}

std::string check_sweep_fluences(const ParameterSet& parameters,
                                 const std::vector<double>& fluences) {
  ParameterSet p = parameters;
  for (double f : fluences) {
    p.fluence = static_cast<float>(f);
    if (std::string refusal = check_run_choices(p); !refusal.empty()) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "fluence %g: ", f);
      return buffer + refusal;
    }
  }
  return {};
}

std::vector<NamedPath> sweep_output_files(const ParameterSet& parameters,
                                          const SweepOptions& options) {
  std::vector<NamedPath> files;
  if (options.write_kinetics_file)
    files.push_back({"the kinetics file",
                     file_in_folder(options.output_directory, kinetics_file_name(result_file_base(
                                                                  parameters.data_file_name)))});
  if (!options.keep_files_directory) return files;
  RunOptions kept;
  kept.append_kinetics_line = false;
  kept.pulse = options.setup.pulse;
  for (double fluence : options.fluences) {
    kept.output_directory = *options.keep_files_directory / fluence_folder(fluence);
    for (NamedPath& file : run_output_files(parameters, kept)) files.push_back(std::move(file));
  }
  return files;
}

namespace {

// One sweep: the worker threads share the results, the next run to start, the next kinetics
// line to write and the progress, all under one lock.
class SweepRunner {
 public:
  SweepRunner(const ParameterSet& parameters, const SweepOptions& options,
              const std::atomic<bool>& interrupt, const SweepProgress& progress)
      : parameters_(parameters),
        options_(options),
        interrupt_(interrupt),
        progress_(progress),
        total_(static_cast<int>(options.fluences.size())),
        kinetics_path_(options.output_directory /
                       kinetics_file_name(result_file_base(parameters.data_file_name))) {
    result_.runs.resize(options.fluences.size());
    for (int i = 0; i < total_; ++i) result_.runs[i].fluence = options.fluences[i];
    if (options.write_kinetics_file) result_.kinetics_file = kinetics_path_.string();
  }

  SweepResult run();

 private:
  void work();
  RunOptions run_options(int i) const;
  void write_ready_lines();

  const ParameterSet& parameters_;
  const SweepOptions& options_;
  const std::atomic<bool>& interrupt_;
  const SweepProgress& progress_;
  const int total_;
  const std::filesystem::path kinetics_path_;
  SweepResult result_;
  std::mutex lock_;  // guards the results, the next line to write, the progress
  std::atomic<int> next_run_{0};
  int next_line_ = 0, done_ = 0;
  bool kinetics_usable_ = false;
};

SweepResult SweepRunner::run() {
  // Result files go to the output folder only (the single run refuses such a name the same way).
  if (const std::string problem = data_file_name_problem(trimmed_right(parameters_.data_file_name));
      !problem.empty()) {
    result_.errors.push_back("the data-file name cannot be used: " + problem);
    return std::move(result_);
  }

  ParallelRun parallel;
  parallel.jobs = std::clamp(options_.jobs, 1, std::max(total_, 1));
  parallel.start_thread = options_.start_thread;
  // Nothing is written before every worker exists. With Rewrite the file starts empty; each
  // finished line is then appended and closed at once, so the lines written so far stay valid
  // whatever happens later.
  parallel.before_work = [this] {
    if (options_.write_kinetics_file && parameters_.kinetics_file_mode == KineticsFileMode::rewrite)
      write_result_file(kinetics_path_, ResultFile::Mode::rewrite, "", result_.errors);
    kinetics_usable_ = options_.write_kinetics_file && result_.errors.empty();
  };
  if (std::string problem = run_in_parallel(parallel, [this] { work(); }); !problem.empty()) {
    result_.thread_error = problem;
    result_.errors.push_back(std::move(problem));
    return std::move(result_);
  }
  result_.interrupted = next_line_ < total_;
  return std::move(result_);
}

RunOptions SweepRunner::run_options(int i) const {
  RunOptions run_options;
  run_options.append_kinetics_line = false;
  run_options.refinement = options_.refinement;
  options_.setup.apply(run_options);
  run_options.grid_refinement = options_.grid_refinement;
  // Ctrl-C ends the runs under way after their step.
  run_options.interrupt = &interrupt_;
  run_options.write_profile_files = options_.keep_files_directory.has_value();
  if (options_.keep_files_directory) {
    run_options.output_directory =
        *options_.keep_files_directory / fluence_folder(options_.fluences[i]);
    std::error_code ignored;
    std::filesystem::create_directories(run_options.output_directory, ignored);
  }
  return run_options;
}

// A worker: takes the next fluence until none is left.
void SweepRunner::work() {
  HeadlessRun records;
  for (int i = next_run_++; i < total_; i = next_run_++) {
    SharedParameters shared;
    shared.values = parameters_;
    shared.values.fluence = static_cast<float>(options_.fluences[i]);
    const RunOptions options = run_options(i);
    if (interrupt_.load()) break;
    RunOutcome outcome = records.run(shared, options);
    std::lock_guard<std::mutex> guard(lock_);
    SweepRun& run = result_.runs[i];
    run.outcome = std::move(outcome);
    run.finished = run.outcome.end != RunEnd::stop && run.outcome.end != RunEnd::not_started;
    for (const std::string& e : run.outcome.file_errors) result_.errors.push_back(e);
    if (!run.outcome.not_started_reason.empty())
      result_.errors.push_back(run.outcome.not_started_reason);
    ++done_;
    write_ready_lines();
    if (progress_) progress_(done_, total_);
  }
}

// Writes the kinetics lines of the runs finished in order so far; called with the lock held.
void SweepRunner::write_ready_lines() {
  while (next_line_ < total_ && result_.runs[next_line_].finished) {
    if (result_.runs[next_line_].outcome.end == RunEnd::diverged) {
      ++result_.diverged;
    } else if (kinetics_usable_) {
      const std::size_t errors_before = result_.errors.size();
      write_result_file(kinetics_path_, ResultFile::Mode::append,
                        result_.runs[next_line_].outcome.kinetics_line + kLineEnd, result_.errors);
      if (result_.errors.size() == errors_before) ++result_.lines_written;
    }
    ++next_line_;
  }
}

}  // namespace

SweepResult run_sweep(const ParameterSet& parameters, const SweepOptions& options,
                      const std::atomic<bool>& interrupt, const SweepProgress& progress) {
  return SweepRunner(parameters, options, interrupt, progress).run();
}

std::string sweep_csv(const SweepResult& result, ResultColumnSet columns) {
  std::string out = "fluence_mJ_per_cm2" + result_column_names_text(columns) + ",steps,end\n";
  char fluence[40];
  for (const SweepRun& run : result.runs) {
    if (!run.finished) continue;
    const RunOutcome& o = run.outcome;
    std::snprintf(fluence, sizeof fluence, "%.10g", o.fluence_used);
    out += fluence;
    // A diverged run has no results: its cells stay empty.
    out += result_cells_text(
        o.end == RunEnd::diverged ? std::vector<double>{} : result_values(o, columns), columns);
    out += ',';
    out += std::to_string(o.step_count);
    out += ',';
    out += run_end_text(o.end);
    out += '\n';
  }
  return out;
}

}  // namespace kt
