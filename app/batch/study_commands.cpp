#include "app/batch/study_commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "app/batch/command_line.h"
#include "engine/study.h"
#include "params/parameter_file.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

// Set by Ctrl-C (SIGINT) and by SIGTERM, which a cluster's scheduler sends before it kills a
// task; a signal handler can reach nothing but a flag like this one.
std::atomic<bool> study_interrupted{false};

extern "C" void on_study_signal(int) {
  study_interrupted.store(true);
}

int failure(const std::string& message) {
  std::fprintf(stderr, "kestrium-batch: %s\n", message.c_str());
  return 1;
}

bool read_text(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return !in.bad();
}

// A points file: a line of field names, then one line of values per point, comma separated;
// blank lines and lines starting with # are skipped.
std::string read_points_file(const std::string& path, StudyPlan& plan) {
  std::string text;
  if (!read_text(path, text)) return "Cannot read the points file \"" + path + "\"";
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> names;
  std::vector<std::vector<double>> points;
  int line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::istringstream cells_in(line);
    std::string cell;
    while (std::getline(cells_in, cell, ',')) {
      cell.erase(0, cell.find_first_not_of(" \t"));
      cell.erase(cell.find_last_not_of(" \t") + 1);
      cells.push_back(cell);
    }
    if (names.empty()) {
      names = cells;
      continue;
    }
    std::vector<double> values;
    for (const std::string& c : cells) {
      char* end = nullptr;
      const double v = std::strtod(c.c_str(), &end);
      if (c.empty() || *end != '\0') {
        return path + " line " + std::to_string(line_number) + ": \"" + c + "\" is not a number";
      }
      values.push_back(v);
    }
    if (values.size() != names.size()) {
      return path + " line " + std::to_string(line_number) + ": " + std::to_string(values.size()) +
             " values for " + std::to_string(names.size()) + " fields";
    }
    points.push_back(std::move(values));
  }
  if (std::string error = make_listed_study(names, points, plan); !error.empty())
    return path + ": " + error;
  return {};
}

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

}  // namespace

std::string study_help_text() {
  return "  kestrium-batch study PARFILE --vary NAME=VALUES [--vary NAME=VALUES ...]\n"
         "                      --out DIR [--jobs N] [--refine K] [--shard I/N] [--check]\n"
         "  kestrium-batch study PARFILE --points FILE.csv --out DIR [options as above]\n"
         "      VALUES: FROM:TO:STEP, FROM:TO:logN (N log-spaced values) or V1,V2,...\n"
         "      One run per point of the product of the values (the last --vary varies\n"
         "      fastest) or per line of FILE.csv (a line of field names, then values);\n"
         "      writes DIR/study.csv, one row per point. --shard I/N runs only the points\n"
         "      i (counted from 0) with i % N == I-1 and writes DIR/study.shard-I-of-N.csv.\n"
         "      --refine K splits every time step into K sub-steps (1 to 64). --check checks\n"
         "      the arguments and the file, prints the study, runs nothing. Diverged and\n"
         "      refused points are rows of the table (end and note say why); the exit status\n"
         "      is 0 once the table is written, 1 on a failure, 2 for a wrong command line,\n"
         "      130 when interrupted (Ctrl-C or SIGTERM: no table is written).\n"
         "  kestrium-batch merge DIR|TABLE... --out DIR\n"
         "      Joins the shard tables found (study.shard-I-of-N.csv) into DIR/study.csv,\n"
         "      the table an unsplit study writes.\n";
}

namespace {

// The study command's options as given on its command line.
struct StudyOptions {
  std::string parfile, points_file, out;
  std::vector<std::string> vary;
  int jobs = 0;  // 0: default_jobs()
  int refinement = 1;
  StudyShard shard;
};

// Reads and checks the study command line; an exit status when the command stops here.
std::optional<int> read_study_options(batch::CommandLine& line, StudyOptions& o) {
  std::string vary_text, shard_text;
  while (!line.done()) {
    if (line.take_option("--vary", vary_text)) {
      o.vary.push_back(vary_text);
      continue;
    }
    if (line.take_option("--shard", shard_text)) {
      if (std::string error = parse_study_shard(shard_text, o.shard); !error.empty())
        return line.usage_error(error);
      continue;
    }
    if (line.take_option("--points", o.points_file) || line.take_option("--out", o.out) ||
        line.take_count("--jobs", o.jobs, 1, 1024) ||
        line.take_count("--refine", o.refinement, 1, kMaximumRefinement) ||
        line.take_operand(o.parfile)) {
      continue;
    }
    if (!line.error().empty()) break;
    line.refuse_current();
  }
  if (!line.error().empty()) return line.usage_error();
  if (o.parfile.empty()) return line.usage_error("a study needs a parameter file");
  if (o.out.empty()) return line.usage_error("a study needs --out DIR");
  if (!o.vary.empty() && !o.points_file.empty())
    return line.usage_error("give --vary or --points, not both");
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
  // --check takes no value; CommandLine reads options with values and the operand.
  const bool check_only = std::find(args.begin(), args.end(), "--check") != args.end();
  std::vector<std::string> rest;
  std::copy_if(args.begin(), args.end(), std::back_inserter(rest),
               [](const std::string& a) { return a != "--check"; });
  batch::CommandLine line(std::move(rest), study_help_text());
  if (line.wants_help()) {
    std::fputs(study_help_text().c_str(), stdout);
    return 0;
  }
  StudyOptions o;
  if (std::optional<int> stop = read_study_options(line, o)) return *stop;
  StudyPlan plan;
  if (std::optional<int> stop = make_study_plan(line, o, plan)) return *stop;
  ParameterSet base;
  if (FileResult r = read_parameter_file(o.parfile, base); !r) return failure(r.message);
  if (std::string refusal = study_refusal_of_every_point(base, plan); !refusal.empty())
    return failure(o.parfile + ": no point of the study can run: " + refusal);
  if (check_only) {
    std::printf("study %s: %zu points\n", study_hash(base, plan).c_str(), study_point_count(plan));
    return 0;
  }
  if (!line.check_output_directory(o.out, "--out")) return line.usage_error();

  std::signal(SIGINT, on_study_signal);
  std::signal(SIGTERM, on_study_signal);
  const ProgressLine progress(isatty(STDERR_FILENO) != 0);
  const StudyResult result =
      run_study(base, plan, o.shard, capped_jobs(o.jobs), study_interrupted, progress);
  progress.finish();
  if (!result.error.empty()) return failure("study: " + result.error);
  if (result.interrupted) {
    std::fprintf(stderr, "kestrium-batch: interrupted; no table written\n");
    return 130;
  }

  const std::string hash = study_hash(base, plan);
  const fs::path table = fs::path(o.out) / study_table_file_name(o.shard);
  if (std::string error =
          write_study_table(table, study_table_text(hash, plan, o.shard, result.rows));
      !error.empty()) {
    return failure(error);
  }
  print_study_summary(hash, plan, o.shard, result, table);
  return 0;
}

int merge_command(const std::vector<std::string>& args) {
  batch::CommandLine line(args, study_help_text());
  if (line.wants_help()) {
    std::fputs(study_help_text().c_str(), stdout);
    return 0;
  }
  std::string out, source;
  std::vector<std::string> sources;
  while (!line.done()) {
    if (line.take_option("--out", out)) continue;
    if (line.take_operand(source)) {
      sources.push_back(source);
      source.clear();
      continue;
    }
    if (!line.error().empty()) break;
    line.refuse_current();
  }
  if (!line.error().empty()) return line.usage_error();
  if (sources.empty()) return line.usage_error("merge needs the folders or tables of the shards");
  if (out.empty()) return line.usage_error("merge needs --out DIR");

  std::vector<fs::path> paths;
  for (const std::string& source : sources) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
      std::vector<fs::path> found;
      for (const fs::directory_entry& entry : fs::directory_iterator(source, ec)) {
        if (entry.is_regular_file() && is_shard_table_name(entry.path().filename().string()))
          found.push_back(entry.path());
      }
      if (found.empty())
        return failure("\"" + source + "\" holds no shard table (study.shard-I-of-N.csv)");
      std::sort(found.begin(), found.end());
      paths.insert(paths.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(source, ec)) {
      paths.emplace_back(source);
    } else {
      return failure("\"" + source + "\" is neither a folder nor a table");
    }
  }
  // The same file reached twice (a folder and one of its tables) counts once.
  std::vector<ShardTable> tables;
  std::vector<fs::path> seen;
  for (const fs::path& path : paths) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    if (std::find(seen.begin(), seen.end(), canonical) != seen.end()) continue;
    seen.push_back(canonical);
    ShardTable table;
    table.name = path.string();
    if (!read_text(path, table.text)) return failure("Cannot read \"" + path.string() + "\"");
    tables.push_back(std::move(table));
  }
  std::string merged;
  if (std::string error = merge_study_tables(tables, merged); !error.empty()) return failure(error);
  if (!line.check_output_directory(out, "--out")) return line.usage_error();
  const fs::path table = fs::path(out) / study_table_file_name(StudyShard{});
  if (std::string error = write_study_table(table, merged); !error.empty()) return failure(error);
  std::printf("merged %zu shard tables into %s\n", tables.size(), table.string().c_str());
  return 0;
}

}  // namespace kt
