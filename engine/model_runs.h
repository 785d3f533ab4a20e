// Model runs for the analyses: one calculation per (parameters, fluence), run on the parallel
// runner without files, each thread with its own records. A run that diverges is run again
// with the time step split into 4, then 16 sub-steps; a run that still fails, or is refused, is
// reported as failed, never as a number.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "analysis/depth_model.h"
#include "engine/experiment_setup.h"
#include "engine/parallel_runner.h"
#include "solver/calculation_run.h"

namespace kt {

// Runs every point on up to `jobs` threads; results in the order of `points`. Points not yet
// started when `interrupt` is set are reported as failed with the problem "interrupted". When
// the threads cannot be started no point runs and the batch carries the reason.
ModelBatch run_model_points(const std::vector<ModelPoint>& points, DepthQuantity quantity, int jobs,
                            ModelRunCounter& counter, const std::atomic<bool>& interrupt,
                            const ThreadStarter& start_thread = {}, const RunSetup& setup = {});

// Empty when the pulses each row of `data` asks for can run on `scheme` with the row's
// parameters (`parameters` with its conditions); otherwise the refusal naming the row's line.
std::string check_data_pulses(const MeasuredData& data, const ParameterSet& parameters,
                              Scheme scheme);

// The calculation as the fit's and the threshold's model (run_model_points with this starter
// and setup: a train's depths are its mean depths per pulse; a row of measured data with its
// own pulse number runs that many). With a material, every run takes the file's laws
// (engine/material_setup.h; the points' parameters hold its values).
DepthModel calculation_model(ThreadStarter start_thread = {}, RunSetup setup = {});

}  // namespace kt
