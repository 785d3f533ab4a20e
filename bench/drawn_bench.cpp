// Speed of a calculation drawn through the display services into an offscreen 1024x768
// surface, with every plot call the application makes, against the same run headless.
#include <benchmark/benchmark.h>

#include "app/application.h"
#include "bench/bench_support.h"
#include "display/application.h"
#include "display/display.h"

namespace kt {
namespace {

using bench::default_parameters;
using bench::headless;

void run_default(benchmark::State& run, RunObserver* view) {
  HeadlessRun records;
  RunOptions options = headless();
  options.observer = view;
  for (auto _ : run) {
    SharedParameters shared;
    shared.values = default_parameters();
    benchmark::DoNotOptimize(records.run(shared, options));
  }
}

void BM_DefaultCalculationHeadless(benchmark::State& run) {
  run_default(run, nullptr);
}
BENCHMARK(BM_DefaultCalculationHeadless)->Unit(benchmark::kMillisecond);

void BM_DefaultCalculationDrawn1024x768(benchmark::State& run) {
  display::create_offscreen_main_window(1024, 768);
  display::initialize_fonts();
  PageGeometry page{1024, 768, 1.0f};
  TitleState title;
  const std::string logo = "ZOR.bmp";
  RunView view(page, title, logo);
  run_default(run, &view);
  display::destroy_offscreen_main_window();
}
BENCHMARK(BM_DefaultCalculationDrawn1024x768)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kt

int main(int argc, char** argv) {
  kt::display::OffscreenSession session;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
