#include "engine/run_request.h"

#include "params/setting_words.h"

namespace kt {

std::string refinement_problem(int refinement) {
  if (refinement >= 1 && refinement <= kMaximumRefinement) return {};
  return setting_text("refinement") + " is " + std::to_string(refinement) +
         "; it must be from 1 to " + std::to_string(kMaximumRefinement);
}

Prepared<RunPlan> RunRequest::prepare() const {
  const std::string named = parameter_file.empty() ? "" : parameter_file + ": ";
  if (std::string problem = refinement_problem(options.refinement); !problem.empty())
    return Refusal{problem, "refinement", ""};
  if (options.grid_refinement != 1 &&
      (options.grid_refinement < 1 || options.grid_refinement > kMaximumGridRefinement ||
       setup.scheme != Scheme::accurate))
    return Refusal{setting_text("grid_refinement") + " is " +
                       std::to_string(options.grid_refinement) + "; it must be from 1 to " +
                       std::to_string(kMaximumGridRefinement) +
                       " and above 1 only with the accurate scheme",
                   "grid_refinement", "choose it with " + setting_text("scheme", "accurate")};
  RunPlan plan{parameters, options, make, parameter_file};
  setup.apply(plan.options);
  if (std::string refusal = setup.apply_material_values(plan.parameters); !refusal.empty())
    return Refusal{refusal, "material", ""};
  if (std::string refusal = check_run_choices(plan.parameters); !refusal.empty())
    return Refusal{named + refusal, "", ""};
  return plan;
}

SingleRun RunPlan::execute(const std::atomic<bool>* interrupt, RunObserver* observer) const {
  RunOptions run = options;
  if (interrupt) run.interrupt = interrupt;
  if (observer) run.observer = observer;
  SingleRun made = run_parameters(parameters, run, make);
  if (!made.error.empty() && !parameter_file.empty())
    made.error = parameter_file + ": " + made.error;
  return made;
}

}  // namespace kt
