#include "app/batch/study_commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "app/batch/experiment_options.h"
#include "app/batch/stop_signals.h"
#include "engine/material_setup.h"
#include "engine/points_file.h"
#include "engine/study.h"
#include "engine/study_request.h"
#include "params/bounded_file.h"
#include "params/output_paths.h"
#include "params/parameter_file.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

int failure(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return batch::kExitFailure;
}

// The largest shard table merged: 1 GiB (a million rows of many varied fields).
constexpr std::size_t kMaximumTableBytes = std::size_t{1} << 30;
class ProgressLine {
 public:
  explicit ProgressLine(bool shown) : shown_(shown) {}
  void operator()(std::size_t done, std::size_t total) const {
    if (!shown_) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double remaining =
        done > 0 ? elapsed * static_cast<double>(total - done) / static_cast<double>(done) : 0.0;
    std::fprintf(stderr, "\r%zu of %zu points done, %.1f s elapsed, about %.1f s remaining   ",
                 done, total, elapsed, remaining);
    std::fflush(stderr);
  }
  void finish() const {
    if (shown_) std::fprintf(stderr, "\n");
  }

 private:
  bool shown_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

bool is_shard_table_name(const std::string& name) {
  int index = 0, count = 0, length = 0;
  return std::sscanf(name.c_str(), "study.shard-%d-of-%d.csv%n", &index, &count, &length) == 2 &&
         static_cast<std::size_t>(length) == name.size();
}

// The shard tables in a folder. A name that cannot be looked at (a looping link, a link to
// nothing) is named with the system's reason when it is named as a shard table, and passed
// over otherwise.
std::string find_shard_tables(const std::string& folder, std::vector<fs::path>& found) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path path = it->path();
    if (!is_shard_table_name(path.filename().string())) continue;
    std::error_code status_error;
    const fs::file_status status = fs::status(path, status_error);
    if (status_error)
      return "cannot read the shard table \"" + path.string() + "\": " + status_error.message();
    if (!fs::is_regular_file(status))
      return "the shard table \"" + path.string() + "\" is not a file";
    found.push_back(path);
  }
  if (ec) return "cannot read the folder \"" + folder + "\": " + ec.message();
  return {};
}

}  // namespace

std::string study_help() {
  return "usage: kestrium-batch study PARFILE --vary NAME=VALUES [--vary NAME=VALUES ...]\n"
         "                            --out DIR [--jobs N] [--refine K] [--energy]\n"
         "                            [--shard I/N] [--check] [experiment options]\n"
         "       kestrium-batch study PARFILE --points FILE.csv --out DIR [options as above]\n"
         "\n"
         "  VALUES: FROM:TO:STEP, FROM:TO:logN (N log-spaced values) or V1,V2,...\n"
         "  One run per point of the product of the values (the last --vary varies\n"
         "  fastest) or per line of FILE.csv (a line of field names, then values);\n"
         "  writes DIR/study.csv, one row per point. --shard I/N runs only the points\n"
         "  i (counted from 0) with i % N == I-1 and writes DIR/study.shard-I-of-N.csv.\n"
         "  --refine K splits every time step into K sub-steps (1 to 64). The experiment\n"
         "  options below apply to every point and are part of the study's identity, the\n"
         "  contents of the trace file included (editing it makes another study); a train\n"
         "  adds first_pulse_depth_nm and mean_depth_per_pulse_nm. --energy adds the energy "
         "ledger's columns [mJ/cm^2]\n"
         "  (light_in ... residual) after the results, also part of the study's\n"
         "  identity. --check checks the arguments and the file, prints the study, runs\n"
         "  nothing. Diverged and refused points are rows of the table (end and note say\n"
         "  why). One run holds at\n"
         "  most 1000000 points (more: split it with --shard); a points file is a UTF-8\n"
         "  text file of at most 64 MiB.\n"
         "  --help, -h: this text. The shard tables are joined by kestrium-batch merge.\n"
         "\n" +
         batch::experiment_options_help() +
         "\n"
         "exit status: 0 once the table is written; 1 a failure; 2 a wrong command line;\n"
         "130 interrupted (Ctrl-C or SIGTERM: no table is written).\n";
}

std::string merge_help() {
  return "usage: kestrium-batch merge DIR|TABLE... --out DIR\n"
         "       kestrium-batch merge DIR|TABLE... --out DIR --study PARFILE --vary NAME=VALUES\n"
         "                            [--vary NAME=VALUES ...] [--refine K] [--energy]\n"
         "                            [experiment options]\n"
         "       kestrium-batch merge DIR|TABLE... --out DIR --study PARFILE --points FILE.csv\n"
         "                            [--refine K] [--energy] [experiment options]\n"
         "\n"
         "  Joins the shard tables found (study.shard-I-of-N.csv in each DIR, or each TABLE\n"
         "  named) into DIR/study.csv, the table an unsplit study writes. Every shard of the\n"
         "  study must be there, each once, all of the same study; every row is checked\n"
         "  against what a study writes, and a damaged row is refused with its table and line.\n"
         "  Without --study only the form of the rows is checked: an edited value that keeps\n"
         "  the written form merges. --study PARFILE with the options that defined the study\n"
         "  (--vary or --points, --refine, --energy and the experiment options --scheme,\n"
         "  --experiment, --pulse-shape, --trace, --pulses, --rate, --incubated-absorption,\n"
         "  as given to study) also\n"
         "  checks that every table is of that study (its hash) and that every row holds\n"
         "  the varied values of its point exactly; a difference is refused with the table,\n"
         "  line, column, the value found and the point's. The results can only be checked\n"
         "  for their form.\n"
         "  --help, -h: this text.\n"
         "\n"
         "exit status: 0 merged; 1 a shard missing, repeated, of another study or not holding\n"
         "its points, or a file that cannot be read or written; 2 a wrong command line.\n";
}

namespace {

// Makes the folder of --out when the table is about to be written (not before: a refused or
// failed study leaves no folder behind). Empty on success, else the problem.
std::string make_output_folder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return "--out " + folder + ": cannot make the folder: " + ec.message();
  return {};
}

// The study command's options as given on its command line.
struct StudyOptions {
  std::string parfile, points_file, out;
  std::vector<std::string> vary;
  int jobs = 0;  // 0: default_jobs()
  int refinement = 1;
  batch::ExperimentWords experiment;
  RunSetup setup;       // from the experiment's options
  bool energy = false;  // --energy: the energy ledger's columns in the table
  bool check_only = false;
  StudyShard shard;
};

// Reads and checks the study command line; an exit status when the command stops here.
std::optional<int> read_study_options(const std::vector<std::string>& args,
                                      batch::CommandLine& line, StudyOptions& o) {
  std::string shard_text;
  line.repeated_option("--vary", o.vary);
  line.option("--shard", shard_text);
  line.option("--points", o.points_file);
  line.option("--out", o.out);
  line.count("--jobs", o.jobs, 1, 1024);
  line.count("--refine", o.refinement, 1, kMaximumRefinement);
  batch::declare_experiment_options(line, o.experiment);
  line.flag("--check", o.check_only);
  line.flag("--energy", o.energy);
  line.operand("PARFILE", o.parfile);
  if (std::optional<int> stop = line.parse(args)) return stop;
  if (!shard_text.empty()) {
    if (std::string error = parse_study_shard(shard_text, o.shard); !error.empty())
      return line.usage_error(error);
  }
  int refused = 0;
  std::optional<RunSetup> setup = batch::read_experiment_options(line, o.experiment, refused);
  if (!setup) return refused;
  o.setup = std::move(*setup);
  if (o.parfile.empty()) return line.usage_error("a study needs a parameter file");
  if (o.out.empty()) return line.usage_error("a study needs --out DIR");
  if (!o.vary.empty() && !o.points_file.empty())
    return line.usage_error("give --vary or --points, not both");
  std::vector<NamedPath> inputs = o.setup.input_files();
  inputs.push_back({"the parameter file", o.parfile});
  inputs.push_back({"the points file", o.points_file});
  if (const std::string clash = check_output_paths(
          inputs,
          {{"the table of --out", (fs::path(o.out) / study_table_file_name(o.shard)).string()}});
      !clash.empty())
    return line.usage_error(clash);
  return std::nullopt;
}

// The points of --points or the product of --vary; an exit status when the command stops here.
std::optional<int> make_study_plan(const batch::CommandLine& line, const StudyOptions& o,
                                   StudyPlan& plan) {
  if (!o.points_file.empty()) {
    if (std::string error = read_points_file(o.points_file, plan); !error.empty())
      return failure(error);
  } else if (std::string error = make_product_study(o.vary, plan); !error.empty()) {
    return line.usage_error(error);
  }
  plan.refinement = o.refinement;
  plan.setup = o.setup;
  plan.columns = with_error_columns(
      with_train_columns(o.energy ? ResultColumnSet::with_energy : ResultColumnSet::results,
                         o.setup.is_train()),
      o.setup.tolerance > 0.0);
  return std::nullopt;
}

void print_study_summary(const std::string& hash, const StudyPlan& plan, const StudyShard& shard,
                         const StudyResult& result, const fs::path& table) {
  std::size_t counts[5] = {};
  for (const StudyRow& row : result.rows) ++counts[static_cast<int>(row.end)];
  std::printf("study %s: %zu points", hash.c_str(), study_point_count(plan));
  if (shard.count > 1)
    std::printf(", shard %d/%d: %zu points", shard.index, shard.count, result.rows.size());
  for (StudyEnd end :
       {StudyEnd::end_test, StudyEnd::step_limit, StudyEnd::diverged, StudyEnd::refused}) {
    if (counts[static_cast<int>(end)] > 0)
      std::printf(", %zu %s", counts[static_cast<int>(end)], study_end_text(end));
  }
  std::printf("\ntable: %s\n", table.string().c_str());
}

}  // namespace

int study_command(const std::vector<std::string>& args) {
  batch::CommandLine line("study", study_help());
  StudyOptions o;
  if (std::optional<int> stop = read_study_options(args, line, o)) return *stop;
  StudyRequest request;
  if (std::optional<int> stop = make_study_plan(line, o, request.plan)) return *stop;
  if (FileResult r = read_parameter_file(o.parfile, request.base); !r) return failure(r.message);
  if (!batch::apply_settings(line, o.experiment, request.base)) return batch::kExitUsage;
  request.parameter_file = o.parfile;
  request.shard = o.shard;
  request.jobs = o.jobs;
  const Prepared<StudyJob> job = request.prepare();
  if (!job) return failure(job.refusal.text());
  const StudyPlan& plan = job->plan;
  if (o.check_only) {
    std::printf("study %s: %zu points\n", job->hash.c_str(), study_point_count(plan));
    return 0;
  }
  if (!line.check_output_directory(o.out, "--out")) return line.usage_error();

  std::atomic<bool>& interrupted = batch::catch_stop_signals();
  const ProgressLine progress(isatty(STDERR_FILENO) != 0);
  const StudyResult result = job->execute(interrupted, progress);
  progress.finish();
  if (!result.error.empty()) return failure("study: " + result.error);
  if (result.interrupted) {
    std::fprintf(stderr, "kestrium-batch: interrupted; no table written\n");
    return batch::kExitInterrupted;
  }

  const fs::path table = fs::path(o.out) / study_table_file_name(o.shard);
  if (std::string error = make_output_folder(o.out); !error.empty()) return failure(error);
  if (std::string error = write_study_table(table, job->table_text(result)); !error.empty())
    return failure(error);
  print_study_summary(job->hash, plan, o.shard, result, table);
  return 0;
}

int merge_command(const std::vector<std::string>& args) {
  batch::CommandLine line("merge", merge_help());
  std::string out;
  std::vector<std::string> sources;
  StudyOptions study;  // the study's definition, when given: its points are checked
  line.option("--out", out);
  line.option("--study", study.parfile);
  line.repeated_option("--vary", study.vary);
  line.option("--points", study.points_file);
  line.count("--refine", study.refinement, 1, kMaximumRefinement);
  batch::declare_experiment_options(line, study.experiment);
  line.flag("--energy", study.energy);
  line.operands("DIR|TABLE", sources);
  if (std::optional<int> stop = line.parse(args)) return *stop;
  if (sources.empty()) return line.usage_error("merge needs the folders or tables of the shards");
  if (out.empty()) return line.usage_error("merge needs --out DIR");
  const bool defined = !study.vary.empty() || !study.points_file.empty() || study.refinement != 1 ||
                       study.experiment.any() || study.energy;
  if (study.parfile.empty() && defined)
    return line.usage_error(
        "--vary, --points, --refine, --energy and the experiment's options (--scheme, "
        "--experiment, --pulses, ...) define the study of --study PARFILE; give --study");
  int refused = 0;
  std::optional<RunSetup> setup = batch::read_experiment_options(line, study.experiment, refused);
  if (!setup) return refused;
  study.setup = std::move(*setup);
  if (!study.parfile.empty() && study.vary.empty() && study.points_file.empty())
    return line.usage_error("--study needs the study's --vary or --points");
  if (!study.vary.empty() && !study.points_file.empty())
    return line.usage_error("give --vary or --points, not both");

  std::vector<fs::path> paths;
  for (const std::string& source : sources) {
    std::error_code ec;
    const fs::file_status status = fs::status(source, ec);
    if (fs::is_directory(status)) {
      std::vector<fs::path> found;
      if (std::string error = find_shard_tables(source, found); !error.empty())
        return failure(error);
      if (found.empty())
        return failure("\"" + source + "\" holds no shard table (study.shard-I-of-N.csv)");
      std::sort(found.begin(), found.end());
      paths.insert(paths.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(status)) {
      paths.emplace_back(source);
    } else {
      return failure("\"" + source + "\" is neither a folder nor a table" +
                     (ec ? ": " + ec.message() : std::string()));
    }
  }
  const fs::path table = fs::path(out) / study_table_file_name(StudyShard{});
  std::vector<NamedPath> inputs;
  for (const fs::path& path : paths) inputs.push_back({"the shard table", path.string()});
  inputs.push_back({"the parameter file", study.parfile});
  inputs.push_back({"the points file", study.points_file});
  for (NamedPath& file : study.setup.input_files()) inputs.push_back(std::move(file));
  if (const std::string clash =
          check_output_paths(inputs, {{"the table of --out", table.string()}});
      !clash.empty())
    return line.usage_error(clash);
  // The same file reached twice (a folder and one of its tables) counts once.
  MergeRequest request;
  std::vector<ShardTable>& tables = request.tables;
  std::vector<fs::path> seen;
  for (const fs::path& path : paths) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    if (std::find(seen.begin(), seen.end(), canonical) != seen.end()) continue;
    seen.push_back(canonical);
    ShardTable shard;
    shard.name = path.string();
    std::string error;
    if (!read_bounded_file(path.string(), "the shard table", kMaximumTableBytes, shard.text,
                           error) ||
        !check_text_encoding(shard.text, shard.name, error))
      return failure(error);
    tables.push_back(std::move(shard));
  }
  if (!study.parfile.empty()) {
    StudyRequest& defined_study = request.study.emplace();
    if (std::optional<int> stop = make_study_plan(line, study, defined_study.plan)) return *stop;
    if (FileResult r = read_parameter_file(study.parfile, defined_study.base); !r)
      return failure(r.message);
    if (!batch::apply_settings(line, study.experiment, defined_study.base))
      return batch::kExitUsage;
    defined_study.parameter_file = study.parfile;
  }
  const Prepared<MergePlan> plan = request.prepare();
  if (!plan) return failure(plan.refusal.text());
  const MergeResult merged = plan->execute();
  if (!merged.problem.empty()) return failure(merged.problem);
  if (!line.check_output_directory(out, "--out")) return line.usage_error();
  if (std::string error = make_output_folder(out); !error.empty()) return failure(error);
  if (std::string error = write_study_table(table, merged.table); !error.empty())
    return failure(error);
  std::printf("merged %zu shard tables into %s\n", tables.size(), table.string().c_str());
  return 0;
}

}  // namespace kt
