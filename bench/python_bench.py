"""Speed of the Python module against the native calculation (not a test).

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py build/release/bench/kt_bench

1. One default run from Python (kestrium.run, arrays of every step and the profiles) against
   the same calculation timed by kt_bench (BM_DefaultCalculationHeadless: the batch runner's
   run_calculation without files). The two are measured in alternating rounds, medians taken,
   by the clock and by CPU time (the CPU time is the steadier figure on a loaded machine).
2. A 64-fluence sweep (20 to 650 mJ/cm^2) from Python with jobs=1 and jobs=2.
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
         "--benchmark_repetitions=5", "--benchmark_format=json"],
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


def sweep_ms(parameters, jobs, count=3):
    fluences = [20.0 + 10.0 * i for i in range(64)]
    times = []
    for _ in range(count):
        start = time.perf_counter()
        kestrium.sweep(parameters, fluences, jobs=jobs)
        times.append((time.perf_counter() - start) * 1e3)
    return statistics.median(times)


def main():
    p = kestrium.Parameters()
    kestrium.run(p)  # warm up
    if len(sys.argv) > 1:
        native, ours, bare = [], [], []
        for _ in range(3):
            native.append(native_ms(sys.argv[1]))
            ours.append(python_ms(p))
            bare.append(python_ms(p, profiles=False))
        print("                                       real          CPU")
        n = [statistics.median(t[k] for t in native) for k in (0, 1)]
        for name, times in (("native (kt_bench)", native), ("kestrium.run", ours),
                            ("run(profiles=False)", bare)):
            v = [statistics.median(t[k] for t in times) for k in (0, 1)]
            print(f"default run, {name:20s} {v[0]:7.1f} ms {(v[0] / n[0] - 1) * 100:+5.1f} %"
                  f"  {v[1]:7.1f} ms {(v[1] / n[1] - 1) * 100:+5.1f} %")
    one, two = sweep_ms(p, 1), sweep_ms(p, 2)
    print(f"64-fluence sweep, jobs=1            {one:8.0f} ms")
    print(f"64-fluence sweep, jobs=2            {two:8.0f} ms  ({one / two:.2f}x)")


if __name__ == "__main__":
    main()
