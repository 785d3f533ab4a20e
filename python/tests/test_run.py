import os

import numpy as np
import pytest

import kestrium


def rows(path):
    return [line.split() for line in path.read_text().splitlines()]


def test_arrays_equal_the_programs_files_to_their_digits(tmp_path, batch, defaults):
    defaults.write(tmp_path / "KTparam.par")
    assert batch(tmp_path, "KTparam.par").returncode == 0
    r = kestrium.run(defaults)
    assert r.end == "end test" and r.steps == 5359 and len(r.time_ns) == len(r.step)
    assert np.all(np.diff(r.step) == 1)  # every time step, not only the output interval

    # Each record of the temporal file is one of the steps; the values are those printed.
    by_time = {f"{t:.4f}": i for i, t in enumerate(r.time_ns.astype(np.float32))}
    temporal = rows(tmp_path / "Data1D.dat")
    assert len(temporal) > 100
    columns = [r.surface_temperature_K, r.velocity_cm_per_s, r.depth_nm, r.surface_fraction]
    for record in temporal:
        i = by_time[record[0]]
        assert [f"{np.float32(c[i]):.4f}" for c in columns] == record[1:]

    # The spatial files list the profiles' nodes but the last.
    assert [p.number for p in r.profiles] == list(range(1, 11))
    for p in r.profiles:
        printed = rows(tmp_path / f"Data1S{p.number}.dat")
        ours = [[f"{np.float32(v):.4f}" for v in (d, t, f)]
                for d, t, f in zip(p.depth_nm, p.temperature_K, p.fraction)]
        assert ours[:-1] == printed

    line = (tmp_path / "Data1K.dat").read_text().rstrip("\r\n")
    assert r.kinetics_line == line
    assert [float(v) for v in line.split()[1:]] == pytest.approx(
        [r.surface_recession_nm, r.volume_depth_nm, r.total_depth_nm], rel=1e-5)


@pytest.mark.parametrize("changes", [{}, {"ablation_model": 1, "kinetics_file_mode": 1,
                                          "fluence": 90, "data_file_name": "Surf"}])
def test_output_dir_gets_the_batch_runners_files_byte_for_byte(tmp_path, batch, changes):
    p = kestrium.Parameters(**changes)
    ours, theirs = tmp_path / "ours", tmp_path / "theirs"
    theirs.mkdir()
    p.write(theirs / "run.par")
    for _ in range(2):  # with Addition the kinetics file grows by a line a run
        assert batch(theirs, "run.par").returncode == 0
        kestrium.run(p, output_dir=ours)
    (theirs / "run.par").unlink()
    names = sorted(f.name for f in theirs.iterdir())
    assert names == sorted(f.name for f in ours.iterdir()) and len(names) == 12
    for name in names:
        assert (ours / name).read_bytes() == (theirs / name).read_bytes(), name


def test_run_writes_nothing_without_output_dir(tmp_path, monkeypatch, defaults):
    monkeypatch.chdir(tmp_path)
    kestrium.run(defaults)
    assert os.listdir(tmp_path) == []


def test_unwritable_result_file_raises_with_the_result(tmp_path, defaults):
    (tmp_path / "Data1D.dat").mkdir()  # a folder where the temporal file should go
    with pytest.raises(OSError, match="Data1D.dat") as failed:
        kestrium.run(defaults, output_dir=tmp_path)
    assert failed.value.result.end == "end test"


def test_a_diverged_run_says_so_and_reports_no_depths(tmp_path):
    p = kestrium.Parameters(thermal_conductivity=10)  # far too fast for the time step
    with pytest.warns(RuntimeWarning, match="diverged at step"):
        r = kestrium.run(p)
    assert r.end == "diverged" and np.isnan(r.total_depth_nm) and r.kinetics_line == ""
    with pytest.warns(RuntimeWarning, match="2 of 2 runs diverged; at 40 mJ/cm.*diverged at"):
        s = kestrium.sweep(p, [40, 60], output_dir=tmp_path)
    assert list(s["end"]) == ["diverged"] * 2 and np.isnan(s["total_depth_nm"]).all()
    assert (tmp_path / "Data1K.dat").read_bytes() == b""  # no line for a run without depths
