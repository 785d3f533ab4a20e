#include "engine/single_run.h"

#include "params/parameter_file.h"
#include "solver/result_files.h"

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

std::string file_in_folder(const std::filesystem::path& folder, const std::string& name) {
  return folder.empty() || folder == "." ? name : (folder / name).string();
}

std::vector<NamedPath> run_output_files(const ParameterSet& parameters, const RunOptions& options) {
  const std::string base = result_file_base(parameters.data_file_name);
  const std::filesystem::path& folder = options.output_directory;
  std::vector<NamedPath> files;
  if (options.append_kinetics_line)
    files.push_back({"the kinetics file", file_in_folder(folder, kinetics_file_name(base))});
  if (!options.write_profile_files) return files;
  files.push_back({"the temporal file", file_in_folder(folder, temporal_file_name(base))});
  for (int m = 1; m <= kSpatialFileCount; ++m)
    files.push_back({"a spatial file", file_in_folder(folder, spatial_file_name(base, m))});
  if (options.pulse.pulses > 1)
    files.push_back({"the pulse table", file_in_folder(folder, pulse_table_file_name(base))});
  return files;
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
