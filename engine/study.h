// Parameter studies: one calculation per point of a study, one row per point in a results
// table. A study is the Cartesian product of value lists of Parameter-set fields (the last
// field varying fastest) or a listed set of points. Point i is fixed by the study alone, so
// every split of the work (threads, shards on a cluster, chunks handed to workers) gives the
// same rows, and shard tables merge into the very table one run writes.
//
// The table (CSV, "\n" line ends) starts with one comment line,
//   # study 0123456789abcdef; 512 points; shard 2/4
// (the study hash, the number of points of the whole study, the shard; an unsplit study is
// shard 1/1), then the column names, then one row per point in point order:
//   point,<varied fields>,<result columns>,steps,end,note
// (the result columns are those of result_columns(): surface_recession_nm, volume_depth_nm,
// total_depth_nm, peak_surface_temperature_K, peak_front_velocity_cm_per_s, then for a train
// first_pulse_depth_nm and mean_depth_per_pulse_nm, followed by the energy ledger's columns
// when the plan asks for them).
// A diverged or refused point has empty result columns and says why in `note`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/experiment_setup.h"
#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "params/parameter_fields.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

inline constexpr std::size_t kMaximumStudyPoints = 100'000'000;
// The most points one run of a study (a shard, or the whole study) holds: its rows are kept
// in memory until the table is written.
inline constexpr std::size_t kMaximumRunPoints = 1'000'000;
// The most shards a study is split into.
inline constexpr int kMaximumShards = 1'000'000;

// The varied fields and their values.
struct StudyPlan {
  std::vector<const ParameterField*> fields;  // the varied fields, in column order
  // Product study: one value list per field. Empty for a listed study.
  std::vector<std::vector<float>> axes;
  // Listed study: one value per field in each point.
  std::vector<std::vector<float>> listed_points;
  // Each time step split into this many sub-steps (RunOptions::refinement).
  int refinement = 1;
  // The result columns of the table. The energy ledger's columns change the table, so they are
  // part of the study's identity too; a study without them keeps the hash it always had.
  ResultColumnSet columns = ResultColumnSet::results;
  // The scheme, the pulses (a train, a pulse shape, incubation) and the material of every
  // point (the base parameters hold the material's values). Each is part of the study's
  // identity: the scheme's name when it is not the published one, the material's text, the
  // experiment's identity (RunSetup::identity); a study without them keeps the hash it always
  // had.
  RunSetup setup;
};

// The values of one varied field (the VALUES of "NAME=VALUES"), a value list
// (parse_value_list: FROM:TO:STEP, FROM:TO:logN or V1,V2,...), each a 32-bit field value.
// Empty on error, with the problem in `error`.
std::vector<float> parse_study_values(const std::string& text, std::string& error);

// Builds a product study from "NAME=VALUES" texts, in order. Empty on success, otherwise the
// problem, naming the argument.
std::string make_product_study(const std::vector<std::string>& vary, StudyPlan& plan);

// Builds a product study from value lists: `axes[k]` holds the values of field `names[k]`.
std::string make_axes_study(const std::vector<std::string>& names,
                            const std::vector<std::vector<double>>& axes, StudyPlan& plan);

// Builds a listed study: `points[i][j]` is the value of field `names[j]` in point i.
std::string make_listed_study(const std::vector<std::string>& names,
                              const std::vector<std::vector<double>>& points, StudyPlan& plan);

// The same, point by point, so that a long list is never held twice: start_listed_study
// resolves the fields into `plan` (a listed study with no point yet), add_listed_point checks
// and adds one point. Each returns the problem, or empty; a point's problem does not name it.
std::string start_listed_study(const std::vector<std::string>& names, StudyPlan& plan);
std::string add_listed_point(const std::vector<double>& values, StudyPlan& plan);

std::size_t study_point_count(const StudyPlan& plan);

// The I-th of N interleaved slices of a study: the points i with i % count == index - 1.
struct StudyShard {
  int index = 1;  // 1-based
  int count = 1;
};

// "I/N" with 1 <= I <= N. Empty on success, otherwise the problem.
std::string parse_study_shard(const std::string& text, StudyShard& shard);

struct StudyPoint {
  std::size_t index = 0;
  std::vector<float> values;  // one per varied field
};

StudyPoint study_point(const StudyPlan& plan, std::size_t index);

// The point indices of a shard (all points for shard 1/1), in point order.
std::vector<std::size_t> study_shard_indices(const StudyPlan& plan, const StudyShard& shard);

// The points of a shard (all points for shard 1/1), in point order.
std::vector<StudyPoint> study_points(const StudyPlan& plan, const StudyShard& shard = {});

// 16 hex digits (FNV-1a, 64 bit) over every numeric field of the base parameters and every
// varied value of every point: the same for every shard and every chunk of one study.
std::string study_hash(const ParameterSet& base, const StudyPlan& plan);

enum class StudyEnd { end_test, step_limit, diverged, refused, interrupted };

// "end test", "step limit", "diverged", "refused", "interrupted".
const char* study_end_text(StudyEnd end);

struct StudyRow {
  std::size_t index = 0;
  std::vector<float> values;
  StudyEnd end = StudyEnd::interrupted;
  std::string note;  // why refused or where diverged; clamps applied to the run
  std::int32_t steps = 0;
  // One value per result column of the plan's set for a row that ended by the end test or the
  // step limit; empty otherwise.
  std::vector<double> results;
};

// The base parameters with the point's values set.
ParameterSet study_point_parameters(const ParameterSet& base, const StudyPlan& plan,
                                    const StudyPoint& point);

// The first refusal when no point of the study can run, else empty.
std::string study_refusal_of_every_point(const ParameterSet& base, const StudyPlan& plan);

// Runs one point (no files written). With `interrupt` set the run stops after its current
// step and the row ends as interrupted. Safe to call from many threads at once.
StudyRow run_study_point(const ParameterSet& base, const StudyPlan& plan, const StudyPoint& point,
                         const std::atomic<bool>* interrupt = nullptr);

// The column-name line and one row line, each with its "\n".
std::string study_columns_text(const StudyPlan& plan);
std::string study_row_text(const StudyRow& row, ResultColumnSet columns = ResultColumnSet::results);

// The whole table of a shard: the comment line, the column names and the rows (in point order).
std::string study_table_text(const std::string& hash, const StudyPlan& plan,
                             const StudyShard& shard, const std::vector<StudyRow>& rows);

// "study.csv" for the whole study, "study.shard-I-of-N.csv" for a shard.
std::string study_table_file_name(const StudyShard& shard);

// Writes `text` through the safe save (a temporary beside `path` renamed into place), so a
// failed write leaves no half table and the previous file whole. Empty on success, else the
// problem with the system's reason.
std::string write_study_table(const std::filesystem::path& path, const std::string& text);

// Empty when the points of `shard` fit in one run (kMaximumRunPoints), else the problem with
// the number of points and the shards needed.
std::string check_study_run_size(const StudyPlan& plan, const StudyShard& shard);

// Points finished so far, points of the run.
using StudyProgress = std::function<void(std::size_t done, std::size_t total)>;

struct StudyResult {
  std::vector<StudyRow> rows;  // the shard's points, in point order
  bool interrupted = false;    // some rows were not run to their end
  std::string error;           // the threads could not be started: no point was run
};

// Runs the points of `indices` (any subset of the study, e.g. a chunk handed to a worker) on
// `jobs` threads (capped at max_jobs()); the rows come in the order of `indices`. A set
// `interrupt` stops the runs under way after their current step and starts no more.
StudyResult run_study_points(const ParameterSet& base, const StudyPlan& plan,
                             const std::vector<std::size_t>& indices, int jobs,
                             const std::atomic<bool>& interrupt, const StudyProgress& progress = {},
                             const ThreadStarter& start_thread = {});

// The points of `shard`, as run_study_points.
StudyResult run_study(const ParameterSet& base, const StudyPlan& plan, const StudyShard& shard,
                      int jobs, const std::atomic<bool>& interrupt,
                      const StudyProgress& progress = {}, const ThreadStarter& start_thread = {});

// One shard table as read back for a merge.
struct ShardTable {
  std::string name;  // where it came from, for messages
  std::string text;
};

// Joins the shard tables of one study into the table of the whole study (the bytes one
// unsplit run writes). Every row is checked against what the study writes (its point index, a
// value per varied field, results as its end says, the note), so an edited or cut row is
// refused. Empty on success; otherwise the problem naming the table (and the line): tables of
// different studies, a missing or repeated shard, a damaged table.
std::string merge_study_tables(const std::vector<ShardTable>& tables, std::string& merged);

// The study the shard tables must come from, for a merge that checks what the rows say as well
// as their form: its hash (study_hash) and its plan.
struct MergedStudy {
  std::string hash;
  const StudyPlan* plan = nullptr;
};

// As above, and every table must carry `study.hash` and the plan's columns, and every row the
// varied values of its point exactly as the study writes them; otherwise the problem names the
// table (and the line, the column, the value found and the value of the point). The results
// can only be checked for their form.
std::string merge_study_tables(const std::vector<ShardTable>& tables, const MergedStudy& study,
                               std::string& merged);

}  // namespace kt
