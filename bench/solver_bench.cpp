// Speed of the solver paths: one time step, whole calculations without drawing, and sweeps.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include "bench/bench_support.h"
#include "engine/sweep.h"
#include "solver/calculation_run.h"
#include "solver/model.h"

namespace kt {
namespace {

using bench::default_parameters;
using bench::headless;

// One time step of the bulk polyimide model in mid-pulse (t = tau'), timed over 100 steps
// from the same state.
void BM_TimeStepMidPulse(benchmark::State& run) {
  const ParameterSet p = default_parameters();
  const RunConstants constants = compute_run_constants(p);
  auto start = std::make_unique<SolverState>();
  reset_solver_state(*start);
  build_depth_grid(constants, start->depth_grid);
  const int mid_pulse = static_cast<int>(constants.pulse_duration / constants.time_step);
  for (int n = 1; n < mid_pulse; ++n) {
    start->step_index = n;
    take_time_step(constants, *start);
    start->broken_fraction_old = start->broken_fraction_new;
  }
  auto state = std::make_unique<SolverState>();
  constexpr int kSteps = 100;
  for (auto _ : run) {
    run.PauseTiming();
    *state = *start;
    run.ResumeTiming();
    for (int i = 0; i < kSteps; ++i) {
      state->step_index = mid_pulse + i;
      benchmark::DoNotOptimize(take_time_step(constants, *state));
      state->broken_fraction_old = state->broken_fraction_new;
    }
  }
  run.SetItemsProcessed(run.iterations() * kSteps);
  run.counters["us_per_step"] =
      benchmark::Counter(static_cast<double>(run.iterations() * kSteps) * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TimeStepMidPulse)->Unit(benchmark::kMicrosecond);

void run_whole(benchmark::State& run, const ParameterSet& p, Scheme scheme = Scheme::published) {
  HeadlessRun records;
  std::int32_t steps = 0;
  RunOptions options = headless();
  options.scheme = scheme;
  for (auto _ : run) {
    SharedParameters shared;
    shared.values = p;
    RunOutcome outcome = records.run(shared, options);
    steps = outcome.step_count;
  }
  run.counters["steps"] = steps;
  run.counters["us_per_step"] =
      benchmark::Counter(static_cast<double>(run.iterations()) * steps * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The whole default calculation without drawing or files (5359 steps).
void BM_DefaultCalculationHeadless(benchmark::State& run) {
  run_whole(run, default_parameters());
}
BENCHMARK(BM_DefaultCalculationHeadless)->Unit(benchmark::kMillisecond);

// The same calculation on the accurate scheme (5369 steps), and both schemes in the surface
// model.
void BM_DefaultCalculationAccurate(benchmark::State& run) {
  run_whole(run, default_parameters(), Scheme::accurate);
}
BENCHMARK(BM_DefaultCalculationAccurate)->Unit(benchmark::kMillisecond);

ParameterSet surface_parameters() {
  ParameterSet p = default_parameters();
  p.ablation_model = AblationModel::surface;
  return p;
}
void BM_SurfaceCalculationPublished(benchmark::State& run) {
  run_whole(run, surface_parameters());
}
BENCHMARK(BM_SurfaceCalculationPublished)->Unit(benchmark::kMillisecond);
void BM_SurfaceCalculationAccurate(benchmark::State& run) {
  run_whole(run, surface_parameters(), Scheme::accurate);
}
BENCHMARK(BM_SurfaceCalculationAccurate)->Unit(benchmark::kMillisecond);

// A calculation without ablation runs to the step limit of 10000.
void BM_NoAblationCalculation(benchmark::State& run) {
  ParameterSet p = default_parameters();
  p.pre_exponential_vo = 0.0f;
  p.pre_exponential_vom = 0.0f;
  run_whole(run, p);
}
BENCHMARK(BM_NoAblationCalculation)->Unit(benchmark::kMillisecond);

// A train of 100 pulses at 10 Hz on the accurate scheme, against single runs of the same pulse:
// single_runs is the train's processor time over one run's (at most 120 is the target; the cooling
// between pulses must not dominate).
void BM_PulseTrain100At10Hz(benchmark::State& run) {
  const ParameterSet p = default_parameters();
  HeadlessRun records;
  RunOptions options = headless();
  options.scheme = Scheme::accurate;
  // Processor time (the machine may be shared): the runs are on this thread alone.
  auto seconds_of = [&](const RunOptions& o, int repeats) {
    const std::clock_t start = std::clock();
    for (int i = 0; i < repeats; ++i) {
      SharedParameters shared;
      shared.values = p;
      benchmark::DoNotOptimize(records.run(shared, o));
    }
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / repeats;
  };
  const double single = seconds_of(options, 5);
  options.pulse.pulses = 100;
  options.pulse.rate_hz = 10.0;
  double train = 0.0;
  for (auto _ : run) train = seconds_of(options, 1);
  run.counters["single_run_ms"] = single * 1e3;
  run.counters["single_runs"] = train / single;
}
BENCHMARK(BM_PulseTrain100At10Hz)->Unit(benchmark::kSecond)->Iterations(1);

// A sweep of 64 fluences from 20 to 650 mJ/cm^2 with 1 and 2 jobs, writing no file.
void BM_Sweep64(benchmark::State& run) {
  ParameterSet p = default_parameters();
  SweepOptions options;
  // Without files: a data-file name cannot hold a path, and the kinetics file is not the point.
  options.write_kinetics_file = false;
  for (int i = 0; i < 64; ++i) options.fluences.push_back(20.0 + 10.0 * i);
  options.jobs = static_cast<int>(run.range(0));
  std::atomic<bool> interrupt{false};
  for (auto _ : run) benchmark::DoNotOptimize(run_sweep(p, options, interrupt));
}
BENCHMARK(BM_Sweep64)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kt
