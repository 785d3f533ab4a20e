#include "engine/model_runs.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "solver/calculation_run.h"
#include "solver/pulse_train.h"

namespace kt {
namespace {

struct Worker {
  HeadlessRun records;
  const RunSetup* setup = nullptr;

  ModelPointResult run(const ModelPoint& point, DepthQuantity quantity, ModelRunCounter& counter) {
    ModelPointResult result;
    for (int refinement : {1, 4, 16}) {
      SharedParameters shared;
      shared.values = *point.parameters;
      shared.values.fluence = static_cast<float>(point.fluence);
      RunOptions options;
      options.write_profile_files = false;
      options.append_kinetics_line = false;
      options.refinement = refinement;
      setup->apply(options);
      if (point.pulses > 0) options.pulse.pulses = point.pulses;  // the row's own train
      counter.runs.fetch_add(1);
      if (refinement > 1) counter.retries.fetch_add(1);
      const RunOutcome outcome = records.run(shared, options);
      result.refinement = refinement;
      if (outcome.end == RunEnd::not_started) {
        result.problem = outcome.not_started_reason;
        break;
      }
      if (outcome.end == RunEnd::diverged) {
        result.problem = divergence_message(outcome);
        // A material table left is not helped by a finer step.
        if (outcome.material_range_refusal) break;
        continue;
      }
      if (options.tolerance > 0.0 && !outcome.error.reached) {
        result.problem = "the run did not reach the tolerance: " + outcome.error.shortfall;
        break;
      }
      const double depth = depth_of(outcome, quantity);
      if (!std::isfinite(depth)) {
        result.problem = "the run ended with a depth that is not a number";
        continue;
      }
      result.ok = true;
      result.depth_nm = depth;
      result.problem.clear();
      return result;
    }
    counter.failed.fetch_add(1);
    return result;
  }
};

}  // namespace

ModelBatch run_model_points(const std::vector<ModelPoint>& points, DepthQuantity quantity, int jobs,
                            ModelRunCounter& counter, const std::atomic<bool>& interrupt,
                            const ThreadStarter& start_thread, const RunSetup& setup) {
  ModelBatch batch;
  std::vector<ModelPointResult> results(points.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    Worker worker;
    worker.setup = &setup;
    for (std::size_t i = next++; i < points.size(); i = next++) {
      if (interrupt.load()) {
        results[i].problem = "interrupted";
        continue;
      }
      results[i] = worker.run(points[i], quantity, counter);
    }
  };
  ParallelRun parallel;
  parallel.jobs = std::max(1, std::min(jobs, static_cast<int>(points.size())));
  parallel.start_thread = start_thread;
  batch.error = run_in_parallel(parallel, work);
  if (batch.error.empty()) batch.results = std::move(results);
  return batch;
}

std::string check_data_pulses(const MeasuredData& data, const ParameterSet& parameters,
                              Scheme scheme) {
  for (const MeasuredPoint& point : data.points) {
    const int pulses = pulses_of_point(data, point);
    if (pulses <= 0) continue;
    PulsePlan plan;
    plan.pulses = pulses;
    const ParameterSet row = parameters_of_point(parameters, data, point);
    if (std::string why =
            check_pulse_plan(plan, scheme, std::max(static_cast<double>(row.pulse_width), 1.0));
        !why.empty())
      return data.place(point.line) + ": pulses " + std::to_string(pulses) + ": " + why;
  }
  return {};
}

DepthModel calculation_model(ThreadStarter start_thread, RunSetup setup) {
  return [start_thread = std::move(start_thread), setup = std::move(setup)](
             const std::vector<ModelPoint>& points, DepthQuantity quantity, int jobs,
             ModelRunCounter& counter, const std::atomic<bool>& interrupt) {
    return run_model_points(points, quantity, jobs, counter, interrupt, start_thread, setup);
  };
}

}  // namespace kt
