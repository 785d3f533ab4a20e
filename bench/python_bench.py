"""Speed of the Python module against the native calculation (not a test).

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py build/bench/bench/kt_bench

1. One default run from Python (kestrium.run, arrays of every step and the profiles) against
   the same calculation timed by kt_bench (BM_DefaultCalculationHeadless: the batch runner's
   run_calculation without files), measured in ten alternating rounds; the overhead is the
   median of the rounds' CPU-time ratios (the steadier figure on a shared machine).
2. A 64-fluence sweep (20 to 650 mJ/cm^2) from Python with jobs=1 and jobs=2, alternating.
"""

import json
import statistics
import subprocess
import sys
import time

import kestrium


def native_ms(kt_bench):
    """Median (real, CPU) time of the native default calculation [ms]."""
    out = subprocess.run(
        [kt_bench, "--benchmark_filter=BM_DefaultCalculationHeadless$",
         "--benchmark_repetitions=3", "--benchmark_min_time=0.2", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b.get("run_type") == "iteration"]
    return (statistics.median(b["real_time"] for b in runs),
            statistics.median(b["cpu_time"] for b in runs))


def python_ms(parameters, count=10, **options):
    """Median (real, CPU) time of kestrium.run [ms]; the CPU time counts every thread."""
    real, cpu = [], []
    for _ in range(count):
        start, start_cpu = time.perf_counter(), time.process_time()
        kestrium.run(parameters, **options)
        real.append((time.perf_counter() - start) * 1e3)
        cpu.append((time.process_time() - start_cpu) * 1e3)
    return statistics.median(real), statistics.median(cpu)


def sweep_ms(parameters, jobs):
    fluences = [20.0 + 10.0 * i for i in range(64)]
    start = time.perf_counter()
    kestrium.sweep(parameters, fluences, jobs=jobs)
    return (time.perf_counter() - start) * 1e3


def main():
    p = kestrium.Parameters()
    kestrium.run(p)  # warm up
    if len(sys.argv) > 1:
        # Short alternating rounds: the machine's speed drifts, the ratio within a round less.
        rounds = [(native_ms(sys.argv[1]), python_ms(p, 5), python_ms(p, 5, profiles=False))
                  for _ in range(10)]
        print("                                    real     CPU   CPU vs native (median of rounds)")
        for k, name in enumerate(("native (kt_bench)", "kestrium.run", "run(profiles=False)")):
            real = statistics.median(r[k][0] for r in rounds)
            cpu = statistics.median(r[k][1] for r in rounds)
            ratio = statistics.median(r[k][1] / r[0][1] for r in rounds)
            print(f"default run, {name:20s} {real:6.1f} ms {cpu:6.1f} ms  {(ratio - 1) * 100:+5.1f} %")
    # Alternating, three each; the fastest of each shows the speed-up with the least
    # interference from other work on the machine.
    times = {1: [], 2: []}
    for _ in range(3):
        for jobs in (1, 2):
            times[jobs].append(sweep_ms(p, jobs))
    for jobs in (1, 2):
        print(f"64-fluence sweep, jobs={jobs}   median {statistics.median(times[jobs]):6.0f} ms"
              f"   fastest {min(times[jobs]):6.0f} ms")
    print(f"speed-up jobs=2 vs 1: {min(times[1]) / min(times[2]):.2f}x (fastest), "
          f"{statistics.median(times[1]) / statistics.median(times[2]):.2f}x (median)")

if __name__ == "__main__":
    main()
