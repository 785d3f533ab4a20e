import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import kestrium

# 12 points: a refused fluence (a row with empty results) and runs of about 50 ms.
VARY = {"fluence": [-5, 60, 150], "pulse_width": "5:20:5"}
VARY_ARGS = ["--vary", "fluence=-5,60,150", "--vary", "pulse_width=5:20:5"]


@pytest.fixture(scope="module")
def batch_table(tmp_path_factory, batch_program):
    """study.csv as `kestrium-batch study` writes it for VARY."""
    folder = tmp_path_factory.mktemp("batch")
    kestrium.Parameters().write(folder / "run.par")
    done = subprocess.run([batch_program, "study", "run.par", *VARY_ARGS, "--out", "out",
                           "--jobs", "2"], cwd=folder, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    return (folder / "out" / "study.csv").read_text()


def test_a_local_study_writes_the_batch_table_byte_for_byte(tmp_path, batch_table, defaults):
    calls = []
    t = kestrium.study(defaults, vary=VARY, jobs=2, progress=lambda d, n: calls.append((d, n)))
    assert t.table_text == batch_table
    t.to_csv(tmp_path / "study.csv")
    assert (tmp_path / "study.csv").read_text() == batch_table
    assert batch_table.startswith(f"# study {t.hash}; 12 points; shard 1/1\n")
    assert calls[-1] == (12, 12)

    # The arrays are the table's columns, NaN where a cell is empty.
    table = np.genfromtxt(batch_table.splitlines()[1:], delimiter=",", names=True, dtype=None,
                          encoding="utf-8")
    assert list(t) == list(table.dtype.names)
    for name in table.dtype.names:
        if table[name].dtype.kind == "f":  # the table rounds to 10 digits
            np.testing.assert_allclose(t[name], table[name], rtol=1e-9, err_msg=name)
    assert list(t["steps"]) == [0] * 4 + list(table["steps"][4:])  # refused: empty cells
    assert list(t["end"]) == ["refused"] * 4 + ["end test"] * 8
    assert t["note"][0] == "Fluence [mJ/cm^2] is -5; it must be greater than 0"


def test_listed_points_give_the_batch_points_table(tmp_path, batch, defaults):
    defaults.write(tmp_path / "run.par")
    (tmp_path / "points.csv").write_text("absorption_coefficient,fluence\n3e4,80\n1e5,40\n")
    done = batch(tmp_path, "study", "run.par", "--points", "points.csv", "--out", "out")
    assert done.returncode == 0, done.stderr
    expected = (tmp_path / "out" / "study.csv").read_text()
    rows = [{"absorption_coefficient": 3e4, "fluence": 80},
            {"absorption_coefficient": 1e5, "fluence": 40}]
    assert kestrium.study(defaults, points=rows).table_text == expected
    columns = {"absorption_coefficient": [3e4, 1e5], "fluence": np.array([80, 40])}
    assert kestrium.study(defaults, points=columns, jobs=1).table_text == expected


def threads():
    return len(os.listdir("/proc/self/task"))


@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_a_dask_cluster_of_two_worker_processes_gives_the_same_table(batch_table, defaults,
                                                                     monkeypatch):
    distributed = pytest.importorskip("distributed")
    # Waits that end before any chunk does, as on a real cluster with long chunks.
    monkeypatch.setattr(sys.modules["kestrium.study"], "WAIT_SECONDS", 0.001)
    before = threads()
    try:
        cluster = distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                           host="127.0.0.1", dashboard_address=None,
                                           silence_logs=50)
    except Exception as e:  # noqa: BLE001 - whatever stops a cluster from starting here
        pytest.skip(f"a local Dask cluster does not start on this machine: {e!r}")
    with cluster, distributed.Client(cluster, timeout=60) as client:
        client.wait_for_workers(2, timeout=60)
        pids = set(client.run(os.getpid).values())
        assert len(pids) == 2 and os.getpid() not in pids
        calls = []
        t = kestrium.study(defaults, vary=VARY, client=client, chunk_size=5, timeout=240,
                           progress=lambda d, n: calls.append((d, n)))
        assert t.table_text == batch_table
        assert calls[-1] == (12, 12) and len(calls) <= 3  # chunks of 5, 5 and 2 points
        assert list(t["end"]) == ["refused"] * 4 + ["end test"] * 8
    # The client's threads end shortly after it closes; later tests count threads.
    deadline = time.monotonic() + 30
    while threads() > before and time.monotonic() < deadline:
        time.sleep(0.1)


def test_bad_studies_are_refused_before_any_run(defaults):
    with pytest.raises(ValueError, match=r'no field is named "fluenc"; the fields are .*fluence'):
        kestrium.study(defaults, vary={"fluenc": [1, 2]})
    with pytest.raises(ValueError, match=r"^fluence=10:20: a range is FROM:TO:STEP"):
        kestrium.study(defaults, vary={"fluence": "10:20"})
    with pytest.raises(ValueError, match=r"pulse_width: \['a'\] are not numbers"):
        kestrium.study(defaults, vary={"pulse_width": ["a"]})
    with pytest.raises(ValueError, match=r"no point of the study can run: Fluence .* is -1"):
        kestrium.study(defaults, vary={"fluence": [-1, -2]})
    with pytest.raises(ValueError, match="differ in length"):
        kestrium.study(defaults, points={"fluence": [1, 2], "pulse_width": [5]})
    with pytest.raises(ValueError, match="refinement is 0"):
        kestrium.study(defaults, vary={"fluence": [100]}, refinement=0)


def test_ctrl_c_stops_a_local_study_and_leaves_no_thread(defaults):
    before = threads()
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        kestrium.study(defaults, vary={"fluence": "100:3000:log400"}, jobs=2)
    timer.join()
    assert threads() == before
