#include "engine/threshold_request.h"

#include "engine/model_runs.h"
#include "engine/parallel_runner.h"
#include "solver/calculation_run.h"

namespace kt {

Prepared<ModelThresholdPlan> ModelThresholdRequest::prepare() const {
  if (setups.empty() || (pulses.size() > 1 && pulses.size() != setups.size()))
    return Refusal{"a threshold needs the setup of each pulse number", "pulses", ""};
  ModelThresholdPlan plan{{}, pulses, setups, {}};
  if (pulses.size() > 1) {
    plan.models = train_models(pulses, setups);
  } else {
    plan.models = [model = setup_model(setups.front())](int) { return model; };
  }
  ThresholdRequest& r = plan.request;
  r.parameters = parameters;
  r.depth_nm = depth_nm;
  r.quantity = quantity;
  r.jobs = capped_jobs(jobs);
  if (std::string refusal = setups.front().apply_material_values(r.parameters); !refusal.empty())
    return Refusal{refusal, "material", ""};
  if (std::string refusal = check_run_choices(r.parameters); !refusal.empty())
    return Refusal{(parameter_file.empty() ? "" : parameter_file + ": ") + refusal, "", ""};
  return plan;
}

ThresholdReport ModelThresholdPlan::execute(const std::atomic<bool>& interrupt) const {
  ThresholdReport report =
      find_threshold(request, models(pulses.empty() ? 1 : pulses.front()), interrupt);
  report.model_name = setups.front().model_name();
  return report;
}

IncubationThresholds ModelThresholdPlan::execute_series(const std::atomic<bool>& interrupt) const {
  return find_incubation_thresholds(request, pulses, models, interrupt);
}

}  // namespace kt
