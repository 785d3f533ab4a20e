#include "solver/pulse_train.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "solver/pulse_shapes.h"
#include "solver_test_support.h"

namespace kt {
namespace {

RunOutcome run_plan(const ParameterSet& p, const PulsePlan& plan, Scheme scheme = Scheme::accurate) {
  test::RunRecords records;
  records.parameters.values = p;
  RunOptions options = test::kinetics_only();
  options.scheme = scheme;
  options.pulse = plan;
  return records.run(options);
}

void print(const RunOutcome& o) {
  std::printf("end %s reason '%s' cause '%s' total %.6g rec %.6g vol %.6g\n", run_end_text(o.end),
              o.not_started_reason.c_str(), o.divergence_cause.c_str(), o.total_depth_nm,
              o.surface_recession_nm, o.volume_depth_nm);
  std::printf("ledger light %.12g stored %.6g sens %.6g lat %.6g reac %.6g far %.6g loss %.6g res %.3g\n",
              o.energy.light_in, o.energy.stored, o.energy.ablation_sensible,
              o.energy.ablation_latent, o.energy.reaction, o.energy.far_boundary,
              o.energy.linear_loss, o.energy.residual);
  std::printf("%s", pulse_table_text(o.pulses).c_str());
}

TEST(Explore, Numbers) {
  ParameterSet p = test::default_parameters();
  std::printf("F %g width %g alpha %g model %d shape %d R %g sigma %g\n", p.fluence, p.pulse_width,
              p.absorption_coefficient, static_cast<int>(p.ablation_model),
              static_cast<int>(p.pulse_shape), p.reflection_coefficient, p.screening_coefficient);
  auto t0 = std::chrono::steady_clock::now();
  print(run_plan(p, {}));
  auto t1 = std::chrono::steady_clock::now();
  std::printf("single %.3f s\n", std::chrono::duration<double>(t1 - t0).count());
  PulsePlan g;
  g.shape = PulsePlan::Shape::gaussian;
  print(run_plan(p, g));
  print(run_plan(p, g, Scheme::published));
  PulsePlan train;
  train.pulses = 10;
  train.rate_hz = 10;
  t0 = std::chrono::steady_clock::now();
  print(run_plan(p, train));
  t1 = std::chrono::steady_clock::now();
  std::printf("train10 %.3f s\n", std::chrono::duration<double>(t1 - t0).count());
  train.rate_hz = 1e5;
  print(run_plan(p, train));
  train.rate_hz = 10;
  train.incubated_absorption = 3.0 * p.absorption_coefficient;
  print(run_plan(p, train));
}

}  // namespace
}  // namespace kt
