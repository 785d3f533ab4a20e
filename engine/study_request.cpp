#include "engine/study_request.h"

#include "engine/run_request.h"
#include "params/setting_words.h"

namespace kt {

Prepared<StudyJob> StudyRequest::identify() const {
  if (std::string problem = refinement_problem(plan.refinement); !problem.empty())
    return Refusal{problem, "refinement", ""};
  if (study_point_count(plan) == 0) return Refusal{"the study has no point", "vary", ""};
  StudyJob job{base, plan, shard, capped_jobs(jobs), start_thread, {}};
  if (std::string refusal = plan.setup.apply_material_values(job.base); !refusal.empty())
    return Refusal{refusal, "material", ""};
  job.hash = study_hash(job.base, plan);
  return job;
}

Prepared<StudyJob> StudyRequest::prepare() const {
  const std::string named = parameter_file.empty() ? "" : parameter_file + ": ";
  if (plan.setup.spot.active())
    return Refusal{"a study runs each point as it is, not the craters of a spot", "spot_radius_um",
                   "leave " + setting_text("spot_radius_um") + " out"};
  Prepared<StudyJob> identified = identify();
  if (!identified) return identified;
  StudyJob job = *identified;
  if (in_chunks) {
    job.shard = StudyShard{};
  } else if (std::string too_large = check_study_run_size(plan, shard); !too_large.empty()) {
    return Refusal{too_large, "shard", ""};
  }
  if (std::string refusal = study_refusal_of_every_point(job.base, plan); !refusal.empty())
    return Refusal{named + "no point of the study can run: " + refusal, "", ""};
  return job;
}

StudyResult StudyJob::execute(const std::atomic<bool>& interrupt,
                              const StudyProgress& progress) const {
  return run_study(base, plan, shard, jobs, interrupt, progress, start_thread);
}

StudyResult StudyJob::execute_points(const std::vector<std::size_t>& indices,
                                     const std::atomic<bool>& interrupt,
                                     const StudyProgress& progress) const {
  return run_study_points(base, plan, indices, jobs, interrupt, progress, start_thread);
}

std::string StudyJob::table_text(const StudyResult& result) const {
  return study_table_text(hash, plan, shard, result.rows);
}

Prepared<MergePlan> MergeRequest::prepare() const {
  if (tables.empty()) return Refusal{"a merge needs the shard tables", "", ""};
  MergePlan plan{tables, std::nullopt};
  if (study) {
    Prepared<StudyJob> job = study->identify();
    if (!job) return job.refusal;
    plan.study = *job;
  }
  return plan;
}

MergeResult MergePlan::execute() const {
  MergeResult result;
  result.problem = study ? merge_study_tables(tables, {study->hash, &study->plan}, result.table)
                         : merge_study_tables(tables, result.table);
  if (!result.problem.empty()) result.table.clear();
  return result;
}

}  // namespace kt
