#include "engine/single_run.h"

#include "params/parameter_file.h"

namespace kt {

SingleRun run_parameters(const ParameterSet& parameters, const RunOptions& options,
                         const RunMaker& make) {
  SingleRun run;
  SharedParameters shared;
  shared.values = parameters;
  if (make) {
    run.outcome = make(shared, options);
  } else {
    HeadlessRun records;
    run.outcome = records.run(shared, options);
  }
  run.used = shared.snapshot();
  if (run.outcome.end == RunEnd::not_started)
    run.error = run.outcome.not_started_reason;
  else
    apply_run_adjustments(run.outcome.adjustments, run.used);
  return run;
}

SingleRun run_parameter_file(const std::string& path, const RunOptions& options,
                             const RunMaker& make) {
  ParameterSet parameters;
  if (const FileResult read = read_parameter_file(path, parameters); !read) {
    SingleRun refused;
    refused.error = read.message;
    refused.used = parameters;
    return refused;
  }
  if (const std::string refusal = check_run_choices(parameters); !refusal.empty()) {
    SingleRun refused;
    refused.error = path + ": " + refusal;
    refused.outcome.not_started_reason = refusal;
    refused.used = parameters;
    return refused;
  }
  return run_parameters(parameters, options, make);
}

}  // namespace kt
