#include "engine/sweep_request.h"

#include "engine/run_request.h"
#include "params/setting_words.h"

namespace kt {

ResultColumnSet SweepPlan::columns(bool energy) const {
  return with_error_columns(
      with_train_columns(energy ? ResultColumnSet::with_energy : ResultColumnSet::results,
                         options.setup.is_train()),
      options.setup.tolerance > 0.0);
}

SweepResult SweepPlan::execute(const std::atomic<bool>& interrupt,
                               const SweepProgress& progress) const {
  return run_sweep(parameters, options, interrupt, progress);
}

Prepared<SweepPlan> SweepRequest::prepare() const {
  const std::string named = parameter_file.empty() ? "" : parameter_file + ": ";
  if (options.fluences.empty())
    return Refusal{"a sweep needs at least one fluence", "fluences", ""};
  if (std::string problem = refinement_problem(options.refinement); !problem.empty())
    return Refusal{problem, "refinement", ""};
  if (options.setup.spot.active())
    return Refusal{
        "a sweep runs each fluence as it is, not the craters of a spot", "spot_radius_um",
        "leave " + setting_text("spot_radius_um") +
            " out (the crater of a spot is a run's, or threshold's with the D^2 method)"};
  SweepPlan plan{parameters, options};
  if (std::string refusal = options.setup.apply_material_values(plan.parameters); !refusal.empty())
    return Refusal{refusal, "material", ""};
  if (std::string refusal = check_sweep_fluences(plan.parameters, options.fluences);
      !refusal.empty())
    return Refusal{named + refusal, "fluences", ""};
  plan.options.jobs = capped_jobs(options.jobs);
  return plan;
}

}  // namespace kt
