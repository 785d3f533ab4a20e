// Speed of the fit: two fields (screening coefficient and Em) fitted to 15 measured points
// made by the model at known values with 3 % noise, from the default values, with 1 and 2
// jobs; and the same two fields shared by two data sets of 9 points each, measured at pulse
// widths of 10 and 30 ns (a pulse_width column), on 2 jobs. One iteration each (a fit takes
// tens of seconds); counters give the model runs, the objective evaluations and the recovered
// values. The fits as the front ends make them (through the engine's request: the published
// scheme with its bias runs, the accurate scheme at 1e-3, the accurate scheme with early
// evaluations at 1e-2) on the fit notebook's five points and on the two data sets.
//   ./build/release/bench/kt_fit_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/fit.h"
#include "bench/bench_support.h"
#include "engine/fit_request.h"
#include "engine/model_runs.h"

namespace kt {
namespace {

// 3 % noise on each depth from a fixed seed; sigma 3 % of the depth.
void add_noisy_points(const std::vector<ModelPoint>& points, MeasuredData& data) {
  ModelRunCounter counter;
  std::atomic<bool> interrupt{false};
  const std::vector<ModelPointResult> depths =
      run_model_points(points, DepthQuantity::total, 2, counter, interrupt).results;
  std::mt19937 random(7);
  auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  data.has_sigma = true;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double g = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * M_PI * uniform());
    data.points.push_back(
        {points[i].fluence, depths[i].depth_nm * (1.0 + 0.03 * g), 0.03 * depths[i].depth_nm, 0});
  }
}

MeasuredData two_pulse_widths() {
  ParameterSet truth = bench::default_parameters();
  truth.screening_coefficient = 1.0e5f;
  truth.activation_energy_em = 0.8f;
  std::vector<ParameterSet> sets(2, truth);
  sets[0].pulse_width = 10.0f;
  sets[1].pulse_width = 30.0f;
  std::vector<ModelPoint> points;
  for (const ParameterSet& set : sets)
    for (int i = 0; i < 9; ++i) points.push_back({&set, 40.0 * std::pow(25.0, i / 8.0)});
  MeasuredData data;
  data.conditions = {{"pulse_width", find_parameter_field("pulse_width"), 1}};
  data.datasets = {{"pulse_width=10"}, {"pulse_width=30"}};
  add_noisy_points(points, data);
  for (std::size_t i = 0; i < data.points.size(); ++i) {
    data.points[i].dataset = i < 9 ? 0 : 1;
    data.points[i].conditions = {points[i].parameters->pulse_width};
  }
  return data;
}

MeasuredData fifteen_points() {
  ParameterSet truth = bench::default_parameters();
  truth.screening_coefficient = 1.0e5f;
  truth.activation_energy_em = 0.8f;
  std::vector<ModelPoint> points;
  for (int i = 0; i < 15; ++i) points.push_back({&truth, 30.0 * std::pow(2000.0 / 30.0, i / 14.0)});
  MeasuredData data;
  add_noisy_points(points, data);
  return data;
}

void fit_two_fields(benchmark::State& state, const MeasuredData& data) {
  FitRequest request;
  request.parameters = bench::default_parameters();
  request.data = data;
  request.jobs = static_cast<int>(state.range(0));
  for (const char* name : {"screening_coefficient", "activation_energy_em"}) {
    FitVariable v;
    std::string error;
    default_fit_variable(request.parameters, *find_parameter_field(name), v, error);
    request.variables.push_back(v);
  }
  std::atomic<bool> interrupt{false};
  FitReport report;
  for (auto _ : state) report = fit_model(request, calculation_model(), interrupt);
  if (report.status != FitStatus::converged) state.SkipWithError(report.message.c_str());
  state.counters["runs"] = report.runs;
  state.counters["evaluations"] = report.evaluations;
  state.counters["screening"] = report.parameters[0].value;
  state.counters["Em_eV"] = report.parameters[1].value;
}

void BM_FitTwoFieldsFifteenPoints(benchmark::State& state) {
  fit_two_fields(state, fifteen_points());
}

void BM_GlobalFitTwoFieldsTwoSetsOfNine(benchmark::State& state) {
  fit_two_fields(state, two_pulse_widths());
}
// The fit notebook's data (docs/notebooks/fit.ipynb): the defaults with Em = 0.75 eV on the
// published scheme at five fluences, 3 % noise (NumPy's default_rng(7) normal draws), sigma 3 %.
MeasuredData notebook_points() {
  constexpr double kFluences[] = {40.0, 70.0, 120.0, 200.0, 350.0};
  constexpr double kNoise[] = {0.0012301533574825742, 0.2987455375084699, -0.2741378553622176,
                               -0.8905918387572742, -0.45467078517172255};
  ParameterSet truth = bench::default_parameters();
  truth.activation_energy_em = 0.75f;
  std::vector<ModelPoint> points;
  for (double f : kFluences) points.push_back({&truth, f});
  ModelRunCounter counter;
  std::atomic<bool> interrupt{false};
  const std::vector<ModelPointResult> depths =
      run_model_points(points, DepthQuantity::total, 2, counter, interrupt).results;
  MeasuredData data;
  data.has_sigma = true;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double sigma = 0.03 * depths[i].depth_nm;
    data.points.push_back({kFluences[i], depths[i].depth_nm + sigma * kNoise[i], sigma, 0});
  }
  return data;
}

// How the fit's runs are made: as `fit --scheme published`, as the default fit (the accurate
// scheme at 1e-3), and the default fit with early evaluations at kEarlyTolerance.
enum class FitRuns { published, accurate, accurate_early };

void fit_as_requested(benchmark::State& state, const MeasuredData& data,
                      const std::vector<std::string>& vary, FitRuns runs) {
  ModelFitRequest request;
  request.parameters = bench::default_parameters();
  ExperimentChoices choices;
  choices.analysis = true;
  if (runs == FitRuns::published) choices.scheme = "published";
  const Prepared<RunSetup> setup = make_run_setup(choices);
  if (!setup) {
    state.SkipWithError(setup.refusal.text().c_str());
    return;
  }
  request.setup = *setup;
  request.data = data;
  request.vary = vary;
  request.jobs = 2;
  if (runs == FitRuns::accurate_early) request.early_tolerance = kEarlyTolerance;
  const Prepared<ModelFitPlan> plan = request.prepare();
  if (!plan) {
    state.SkipWithError(plan.refusal.problem.c_str());
    return;
  }
  std::atomic<bool> interrupt{false};
  FitReport report;
  // Each evaluation on stderr: a fit of hours on a loaded machine shows how far it got.
  const auto start = std::chrono::steady_clock::now();
  const FitProgress progress = [&](int evaluations, int runs, double best_chi2) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%.0f s: %d evaluations, %d runs, best chi2 %g\n", seconds, evaluations,
                 runs, best_chi2);
  };
  for (auto _ : state) report = plan->execute(interrupt, progress).report;
  if (report.status != FitStatus::converged) state.SkipWithError(report.message.c_str());
  state.counters["runs"] = report.runs;
  state.counters["early_runs"] = report.early_runs;
  state.counters["evaluations"] = report.evaluations;
  state.counters["chi2"] = report.chi2;
  for (const FittedParameter& p : report.parameters) {
    state.counters[p.name] = p.value;
    state.counters[p.name + "_stderr"] = p.standard_error;
  }
}

void BM_NotebookFit(benchmark::State& state) {
  fit_as_requested(state, notebook_points(), {"activation_energy_em"},
                   static_cast<FitRuns>(state.range(0)));
}

void BM_GlobalFitAsRequested(benchmark::State& state) {
  fit_as_requested(state, two_pulse_widths(), {"screening_coefficient", "activation_energy_em"},
                   static_cast<FitRuns>(state.range(0)));
}

// runs: 0 published, 1 accurate at 1e-3, 2 accurate with early evaluations.
BENCHMARK(BM_NotebookFit)
    ->DenseRange(0, 2)
    ->ArgName("runs")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_GlobalFitAsRequested)
    ->DenseRange(0, 2)
    ->ArgName("runs")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_GlobalFitTwoFieldsTwoSetsOfNine)
    ->Arg(2)
    ->ArgName("jobs")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_FitTwoFieldsFifteenPoints)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("jobs")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kt

BENCHMARK_MAIN();
