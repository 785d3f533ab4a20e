"""Speed of kestrium.study on a local Dask cluster against local threads (not a test).

    PYTHONPATH=build/release/python /usr/bin/python3 bench/dask_study_bench.py [ROUNDS]

The study is that of cluster/time-study.sh: 512 points (32 fluences from 30 to 3000 mJ/cm^2 x
16 pulse widths from 5 to 20 ns) on the default parameter file.

1. The 512 points on 2 local threads (jobs=2) and on a Dask cluster of 2 worker processes of
   one thread each started on the loopback address, with the default chunking and with chunks
   of 8 points, in alternating rounds. Wall time, and CPU time of every process involved: this
   one (client and scheduler) and the nannies and workers. Every table is checked against the
   local one, byte for byte.
2. The overhead of a Dask task: 400 tasks that each run an empty chunk of the study through
   the same path (scatter, map, the worker's call into the module, gather). Worker time per
   task is wall time x worker threads / tasks; CPU per task counts every process. Divided by
   the points of a chunk and compared with the CPU time of a point, it gives the overhead per
   point of the chunking.

The machine may be shared: the wall times follow its load, the CPU times much less.
"""

import importlib
import os
import statistics
import sys
import time

import psutil
from distributed import Client, LocalCluster

import kestrium

study_module = importlib.import_module("kestrium.study")  # kestrium.study is the function

HERE = os.path.dirname(os.path.abspath(__file__))
VARY = {"fluence": "30:3000:log32", "pulse_width": "5:20:1"}


def cpu_seconds():
    """CPU time of this process and all its descendants (nannies, workers) so far."""
    me = psutil.Process()
    total = sum(me.cpu_times()[:2])
    for child in me.children(recursive=True):
        try:
            total += sum(child.cpu_times()[:2])
        except psutil.NoSuchProcess:
            pass
    return total


def timed(call):
    wall, cpu = time.perf_counter(), cpu_seconds()
    result = call()
    return result, time.perf_counter() - wall, cpu_seconds() - cpu


def task_overhead(client, study, tasks=400):
    shared = client.scatter(study, broadcast=True, hash=False)
    client.gather(client.map(study_module._run_chunk, [0] * 20, [0] * 20, study=shared, jobs=1,
                             pure=False))  # warm up
    futures, wall, cpu = timed(lambda: client.gather(client.map(
        study_module._run_chunk, [0] * tasks, [0] * tasks, study=shared, jobs=1, pure=False)))
    threads = sum(w["nthreads"] for w in client.scheduler_info()["workers"].values())
    return wall * threads / tasks, cpu / tasks


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 2
    p = kestrium.Parameters.read(os.path.join(HERE, "..", "tests", "data", "params",
                                              "default.par"))
    print(f"load average {os.getloadavg()[0]:.1f} at the start")
    with LocalCluster(n_workers=2, processes=True, threads_per_worker=1, host="127.0.0.1",
                      dashboard_address=None, silence_logs=50) as cluster, Client(cluster) as client:
        client.wait_for_workers(2)
        default_chunk = study_module.chunk_size_for(512, 2)
        runs = {"local threads, jobs=2": lambda: kestrium.study(p, VARY, jobs=2),
                f"Dask 2 workers, chunks of {default_chunk} (default)":
                    lambda: kestrium.study(p, VARY, client=client),
                "Dask 2 workers, chunks of 8": lambda: kestrium.study(p, VARY, client=client,
                                                                      chunk_size=8)}
        times = {name: [] for name in runs}
        reference = None
        for _ in range(rounds):
            for name, run in runs.items():
                table, wall, cpu = timed(run)
                reference = reference or table.table_text
                assert table.table_text == reference, name
                times[name].append((wall, cpu))
        local_cpu = min(c for _, c in times["local threads, jobs=2"]) / 512
        print(f"512-point study, best of {rounds} (wall; CPU of all processes):")
        for name, values in times.items():
            wall = min(w for w, _ in values)
            cpu = min(c for _, c in values)
            print(f"  {name:38s} wall {wall:6.1f} s ({wall / 512 * 1e3:5.1f} ms/point)"
                  f"  CPU {cpu:6.1f} s ({cpu / 512 * 1e3:5.1f} ms/point)"
                  f"  all walls: {', '.join(f'{w:.1f}' for w, _ in values)} s")
        study = study_module._make_study(p, VARY, None, 1)
        overheads = [task_overhead(client, study) for _ in range(3)]
        worker_ms = statistics.median(o[0] for o in overheads) * 1e3
        cpu_ms = statistics.median(o[1] for o in overheads) * 1e3
        print(f"Dask task overhead (empty chunk, median of 3 x 400 tasks): {worker_ms:.2f} ms "
              f"of worker time, {cpu_ms:.2f} ms CPU of all processes per task")
        print(f"CPU per point (local threads): {local_cpu * 1e3:.1f} ms")
        for size in (1, 8, default_chunk):
            print(f"  chunks of {size:3d} points: {worker_ms / size:6.3f} ms per point = "
                  f"{worker_ms / size / (local_cpu * 1e3) * 100:5.2f} % of a point (worker time), "
                  f"{cpu_ms / size / (local_cpu * 1e3) * 100:5.2f} % (CPU)")
    print(f"load average {os.getloadavg()[0]:.1f} at the end")


if __name__ == "__main__":
    main()
