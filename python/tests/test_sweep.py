import os
import signal
import threading

import numpy as np
import pytest

import kestrium


def test_sweep_equals_the_batch_sweep_line_for_line(tmp_path, batch, defaults):
    theirs, ours = tmp_path / "theirs", tmp_path / "ours"
    theirs.mkdir()
    defaults.write(theirs / "run.par")
    fluences = "40,70,100,400,1200"
    done = batch(theirs, "sweep", "run.par", "--fluence", fluences, "--jobs", "2",
                 "--csv", "curve.csv")
    assert done.returncode == 0, done.stderr
    calls = []
    s = kestrium.sweep(defaults, fluences, jobs=2, output_dir=ours, csv=ours / "curve.csv",
                       progress=lambda d, t: calls.append((d, t)))
    for name in ("curve.csv", "Data1K.dat"):
        assert (ours / name).read_bytes() == (theirs / name).read_bytes(), name
    kinetics = (theirs / "Data1K.dat").read_text().splitlines()
    assert list(s["kinetics_line"]) == kinetics
    assert calls[-1] == (5, 5)

    # The arrays are the CSV's columns; no file without output_dir.
    csv = np.genfromtxt(theirs / "curve.csv", delimiter=",", names=True, dtype=None,
                        encoding="ascii")
    for name in csv.dtype.names:
        if name == "end":
            assert list(s[name]) == list(csv[name])
        else:
            assert s[name] == pytest.approx(csv[name], rel=1e-9)
    before = set(os.listdir())
    again = kestrium.sweep(defaults, [40, 70, 100, 400, 1200], jobs=1)
    assert set(os.listdir()) == before
    assert list(again["kinetics_line"]) == kinetics


def test_a_refused_fluence_stops_the_sweep_before_it_starts(tmp_path, defaults):
    with pytest.raises(ValueError, match=r"Fluence \[mJ/cm\^2\] is -5"):
        kestrium.sweep(defaults, [40, -5], output_dir=tmp_path)
    assert list(tmp_path.iterdir()) == []
    with pytest.raises(ValueError, match="STEP"):
        kestrium.sweep(defaults, "40:20:5")


def threads():
    return len(os.listdir("/proc/self/task"))


@pytest.mark.parametrize("call", [
    lambda p: kestrium.sweep(p, np.linspace(100, 3000, 400), jobs=2),
    lambda p: kestrium.run(p.copy(pre_exponential_vom=0), refinement=64),
], ids=["sweep", "run"])
def test_ctrl_c_raises_keyboard_interrupt_and_leaves_no_thread(defaults, call):
    before = threads()
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        call(defaults)
    timer.join()
    assert threads() == before
