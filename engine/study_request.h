// A study asked for by a front end, and the merge of its shard tables. prepare() checks the
// study before any point runs (the refinement, the material's values, the size of one run, that
// some point can run) and returns the study to execute, with its hash, or the refusal.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "engine/refusal.h"
#include "engine/study.h"
#include "params/parameter_set.h"

namespace kt {

// A prepared study (or shard of one).
struct StudyJob {
  ParameterSet base;  // with the material's values
  StudyPlan plan;
  StudyShard shard;
  int jobs = 1;
  ThreadStarter start_thread;  // empty: std::thread
  std::string hash;            // study_hash: the same for every shard

  // Runs the shard's points; a set `interrupt` stops the runs under way after their step.
  StudyResult execute(const std::atomic<bool>& interrupt, const StudyProgress& progress = {}) const;
  // Runs the points of `indices` alone (a chunk of a study run in chunks, on a worker), as
  // execute() runs the shard's; the rows come in the order of `indices`.
  StudyResult execute_points(const std::vector<std::size_t>& indices,
                             const std::atomic<bool>& interrupt,
                             const StudyProgress& progress = {}) const;
  // The table of the shard's rows (study_table_text).
  std::string table_text(const StudyResult& result) const;
};

struct StudyRequest {
  ParameterSet base;  // as read or given: a material's values are put in by prepare()
  // Names the parameters in refusals ("in.par"); empty for parameters given in memory.
  std::string parameter_file;
  // The varied fields and their values, the refinement, the setup and the result columns.
  StudyPlan plan;
  StudyShard shard;
  int jobs = 0;  // 0: one per core
  ThreadStarter start_thread;
  // The points run in chunks (execute_points, on a cluster's workers), each at most
  // kMaximumRunPoints, and their rows are joined by table_text: the size of one run is not
  // checked, and the shard is the whole study.
  bool in_chunks = false;

  Prepared<StudyJob> prepare() const;
  // The study's identity alone (the refinement and the material checked, the hash), for a
  // merge: its points are not run, so neither their size nor their refusals matter.
  Prepared<StudyJob> identify() const;
};

// The table of a whole study joined from its shard tables.
struct MergeResult {
  std::string table;    // the bytes one unsplit run writes
  std::string problem;  // empty on success: the table of a damaged, foreign or missing shard
};

// A prepared merge: the tables and, when the study was given, the study they must come from.
struct MergePlan {
  std::vector<ShardTable> tables;
  std::optional<StudyJob> study;

  MergeResult execute() const;
};

struct MergeRequest {
  std::vector<ShardTable> tables;
  // The study the tables must come from: every row's values are then checked against its point.
  std::optional<StudyRequest> study;

  Prepared<MergePlan> prepare() const;
};

}  // namespace kt
