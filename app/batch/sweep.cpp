#include "app/batch/sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "app/batch/value_text.h"
#include "solver/result_files.h"

namespace kt {
namespace {

std::string fluence_folder(double fluence) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "F%g", fluence);
  return buffer;
}

}  // namespace

int max_sweep_jobs() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores * 4, 4, 256);
}

std::vector<double> parse_fluences(const std::string& text, int log_count, std::string& error) {
  std::vector<double> fluences;
  if (text.find(':') != std::string::npos) {
    const std::vector<std::string> parts = split_text(text, ':');
    double from = 0, to = 0, step = 0;
    const bool range = log_count > 0 ? parts.size() == 2 : parts.size() == 3;
    if (!range || !parse_number(parts[0], from) || !parse_number(parts[1], to) ||
        (log_count == 0 && !parse_number(parts[2], step))) {
      error = log_count > 0 ? "with --log, --fluence takes FROM:TO"
                            : "--fluence takes FROM:TO:STEP or a comma list";
      return {};
    }
    if (log_count > 0) {
      if (from <= 0 || to <= 0) {
        error = "a log-spaced sweep needs fluences above 0";
        return {};
      }
      if (log_count == 1) return {from};
      const double ratio = std::log(to / from);
      for (int i = 0; i < log_count; ++i)
        fluences.push_back(i == log_count - 1 ? to : from * std::exp(ratio * i / (log_count - 1)));
      return fluences;
    }
    if (step <= 0 || to < from) {
      error = "--fluence FROM:TO:STEP needs STEP > 0 and TO >= FROM";
      return {};
    }
    const double count = std::floor((to - from) / step + 1e-6);
    if (count > 100000) {
      error = "the sweep would have more than 100000 fluences";
      return {};
    }
    for (long i = 0; i <= static_cast<long>(count); ++i) fluences.push_back(from + i * step);
    return fluences;
  }
  if (log_count > 0) {
    error = "--log goes with --fluence FROM:TO";
    return {};
  }
  for (const std::string& part : split_text(text, ',')) {
    double value = 0;
    if (!parse_number(part, value)) {
      error = "\"" + part + "\" in --fluence is not a number";
      return {};
    }
    fluences.push_back(value);
  }
  if (fluences.empty()) error = "--fluence names no fluence";
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

SweepResult run_sweep(const ParameterSet& parameters, const SweepOptions& options,
                      const std::atomic<bool>& interrupt, const SweepProgress& progress) {
  SweepResult result;
  const int total = static_cast<int>(options.fluences.size());
  result.runs.resize(options.fluences.size());
  for (int i = 0; i < total; ++i) result.runs[i].fluence = options.fluences[i];

  std::mutex lock;  // guards the results, the next line to write, the progress
  std::atomic<int> next_run{0};
  int next_line = 0, done = 0;
  // The workers exist before any file is touched; they start once the kinetics file is ready.
  std::condition_variable gate;
  bool open_gate = false, abandon = false;
  bool kinetics_usable = false;
  const std::string base = result_file_base(parameters.data_file_name);
  const std::filesystem::path kinetics_path = options.output_directory / kinetics_file_name(base);
  if (options.write_kinetics_file) result.kinetics_file = kinetics_path.string();

  auto write_ready_lines = [&] {  // called with lock held
    while (next_line < total && result.runs[next_line].finished) {
      if (result.runs[next_line].outcome.end == RunEnd::diverged) {
        ++result.diverged;
      } else if (kinetics_usable) {
        const std::size_t errors_before = result.errors.size();
        write_result_file(kinetics_path, ResultFile::Mode::append,
                          result.runs[next_line].outcome.kinetics_line + kLineEnd, result.errors);
        if (result.errors.size() == errors_before) ++result.lines_written;
      }
      ++next_line;
    }
  };

  auto worker = [&] {
    {
      std::unique_lock<std::mutex> guard(lock);
      gate.wait(guard, [&] { return open_gate; });
      if (abandon) return;
    }
    HeadlessRun records;
    for (int i = next_run++; i < total; i = next_run++) {
      SharedParameters shared;
      shared.values = parameters;
      shared.values.fluence = static_cast<float>(options.fluences[i]);
      RunOptions run_options;
      run_options.append_kinetics_line = false;
      run_options.refinement = options.refinement;
      // Ctrl-C ends the runs under way after their step.
      run_options.interrupt = &interrupt;
      run_options.write_profile_files = options.keep_files_directory.has_value();
      if (options.keep_files_directory) {
        run_options.output_directory =
            *options.keep_files_directory / fluence_folder(options.fluences[i]);
        std::error_code ignored;
        std::filesystem::create_directories(run_options.output_directory, ignored);
      }
      if (interrupt.load()) break;
      RunOutcome outcome = records.run(shared, run_options);
      std::lock_guard<std::mutex> guard(lock);
      SweepRun& run = result.runs[i];
      run.outcome = std::move(outcome);
      run.finished = run.outcome.end != RunEnd::stop && run.outcome.end != RunEnd::not_started;
      for (const std::string& e : run.outcome.file_errors) result.errors.push_back(e);
      if (!run.outcome.not_started_reason.empty())
        result.errors.push_back(run.outcome.not_started_reason);
      ++done;
      write_ready_lines();
      if (progress) progress(done, total);
    }
  };

  // Result files go to the output folder only (the single run refuses such a name the same way).
  if (const std::string problem = data_file_name_problem(trimmed_right(parameters.data_file_name));
      !problem.empty()) {
    result.errors.push_back("the data-file name cannot be used: " + problem);
    return result;
  }

  const int jobs = std::clamp(options.jobs, 1, std::min(std::max(total, 1), max_sweep_jobs()));
  const ThreadStarter start = options.start_thread
                                  ? options.start_thread
                                  : [](std::function<void()> body) { return std::thread(body); };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(jobs));
  try {
    for (int j = 1; j < jobs; ++j) threads.push_back(start(worker));
  } catch (const std::system_error& e) {
    // Nothing has been written yet: the threads made so far end at the gate.
    {
      std::lock_guard<std::mutex> guard(lock);
      open_gate = abandon = true;
    }
    gate.notify_all();
    for (std::thread& t : threads) t.join();
    result.errors.push_back("cannot start " + std::to_string(jobs) + " worker threads (" +
                            e.what() + "); no run was made and no file was changed; try a " +
                            "smaller --jobs");
    return result;
  }

  // With Rewrite the file starts empty; each finished line is then appended and closed at once,
  // so the lines written so far stay valid whatever happens later.
  if (options.write_kinetics_file && parameters.kinetics_file_mode == KineticsFileMode::rewrite)
    write_result_file(kinetics_path, ResultFile::Mode::rewrite, "", result.errors);
  kinetics_usable = options.write_kinetics_file && result.errors.empty();

  {
    std::lock_guard<std::mutex> guard(lock);
    open_gate = true;
  }
  gate.notify_all();
  worker();
  for (std::thread& t : threads) t.join();
  result.interrupted = next_line < total;
  return result;
}

std::string sweep_csv(const SweepResult& result) {
  std::string out =
      "fluence_mJ_per_cm2,surface_recession_nm,volume_depth_nm,total_depth_nm,"
      "peak_surface_temperature_K,peak_front_velocity_cm_per_s,steps,end\n";
  char row[512];
  for (const SweepRun& run : result.runs) {
    if (!run.finished) continue;
    const RunOutcome& o = run.outcome;
    if (o.end == RunEnd::diverged) {
      std::snprintf(row, sizeof row, "%.10g,,,,,,%d,%s\n", o.fluence_used, o.step_count,
                    run_end_text(o.end));
      out += row;
      continue;
    }
    std::snprintf(row, sizeof row, "%.10g,%.10g,%.10g,%.10g,%.10g,%.10g,%d,%s\n", o.fluence_used,
                  o.surface_recession_nm, o.volume_depth_nm, o.total_depth_nm,
                  o.peak_surface_temperature_k, o.peak_front_velocity_cm_s, o.step_count,
                  run_end_text(o.end));
    out += row;
  }
  return out;
}

}  // namespace kt
