"""The spot from Python: the crater's arrays, the spot keywords' refusals, a run on a spot
writing the batch runner's files, and the fits of measured diameters and thresholds with their
refusals by line."""

import filecmp
import math
import os
import shutil
import signal
import threading

import numpy as np
import pytest

import kestrium
from kestrium.analysis import fit_diameters, fit_thresholds


def test_crater_arrays_match_the_batch_runner_table_shape():
    p = kestrium.Parameters()
    c = kestrium.crater(p, spot_radius_um=20.0, beam="tophat", pulses=2, rate_hz=1000.0)
    assert c["depth_nm"].shape == (2, c["radius_um"].size)
    np.testing.assert_allclose(c["cumulative_nm"][1], c["depth_nm"][0] + c["depth_nm"][1])
    assert c["depth_nm"][0][0] > 0 and c["depth_nm"][0][-1] < 1e-3
    assert 0 <= c["surface_loss_uj"] < 0.05 * c["light_uj"]


@pytest.mark.parametrize("keywords, message", [
    ({"spot_radius_um": -1.0}, "spot_radius_um"),
    ({"spot_radius_um": 5.0, "beam": "ring"}, "beam is \"ring\""),
])
def test_spot_keywords_are_refused_by_name(keywords, message):
    with pytest.raises(ValueError, match=message):
        kestrium.crater(kestrium.Parameters(), **keywords)


@pytest.mark.parametrize("train", [[], ["--pulses", "2", "--rate", "1000"]], ids=["one", "train"])
def test_a_run_on_a_spot_writes_the_batch_runners_files(tmp_path, batch, train):
    params = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data", "params",
                          "default.par")
    (tmp_path / "b").mkdir()
    shutil.copy(params, tmp_path / "b" / "KTparam.par")
    done = batch(tmp_path / "b", "run", "KTparam.par", "--spot-radius", "20", *train)
    assert done.returncode == 0, done.stderr
    keywords = dict(pulses=2, rate_hz=1000.0) if train else {}
    kestrium.run(kestrium.Parameters.read(params), profiles=False, output_dir=tmp_path / "p",
                 experiment=kestrium.Experiment(spot_radius_um=20.0), **keywords)
    written = sorted(os.listdir(tmp_path / "p"))
    assert "Data1C.dat" in written
    assert written == sorted(n for n in os.listdir(tmp_path / "b") if n != "KTparam.par")
    assert not [n for n in written
                if not filecmp.cmp(tmp_path / "p" / n, tmp_path / "b" / n, shallow=False)]


def test_a_crater_table_that_is_an_input_is_refused(tmp_path, defaults):
    material = os.path.join(os.path.dirname(__file__), "..", "..", "materials", "polyimide.toml")
    (tmp_path / "o").mkdir()
    shutil.copy(material, tmp_path / "o" / "Data1C.dat")
    before = (tmp_path / "o" / "Data1C.dat").read_bytes()
    with pytest.raises(ValueError, match="the crater table"):
        kestrium.run(defaults, output_dir=tmp_path / "o", material=tmp_path / "o" / "Data1C.dat",
                     experiment=kestrium.Experiment(spot_radius_um=20.0))
    assert os.listdir(tmp_path / "o") == ["Data1C.dat"]
    assert (tmp_path / "o" / "Data1C.dat").read_bytes() == before


def test_measured_diameters_and_thresholds(tmp_path):
    w, f_th = 30.0, 40.0
    e_th = f_th * math.pi * w * w * 0.5e-5
    lines = ["energy_uj,diameter_um"] + [
        f"{k * e_th},{math.sqrt(2 * w * w * math.log(k))}" for k in (1.5, 3.0, 6.0, 12.0)]
    (tmp_path / "d.csv").write_text("\n".join(lines) + "\n")
    fit = fit_diameters(tmp_path / "d.csv")
    assert fit["radius_um"] == pytest.approx(w) and fit["threshold_fluence"] == pytest.approx(f_th)
    assert fit["s"] is None
    assert isinstance(fit, kestrium.DiameterFit) and fit.to_dict() == dict(fit)
    assert (fit.radius_um, fit.s, fit.points) == (fit["radius_um"], None, 4)
    assert fit.threshold_energy_uj == pytest.approx(e_th)
    assert repr(fit).startswith("DiameterFit(threshold_fluence=40")
    (tmp_path / "t.csv").write_text("pulses,threshold_mj_cm2\n1,40\n10,20\n100,10\n")
    assert fit_thresholds(tmp_path / "t.csv")["s"] == pytest.approx(1 - math.log10(2))
    law = fit_thresholds(tmp_path / "t.csv")
    assert isinstance(law, kestrium.IncubationFit) and (law.dof, law.weighted) == (1, False)
    assert law.single_pulse_threshold == law["single_pulse_threshold"] == pytest.approx(40)
    (tmp_path / "bad.csv").write_text("pulses,threshold_mj_cm2\n1,40\n0,3\n")
    with pytest.raises(ValueError, match="bad.csv, line 3: pulses is"):
        fit_thresholds(tmp_path / "bad.csv")


@pytest.mark.parametrize("keywords", [
    {"spot_radius_um": 30.0, "refinement": 16},
    {"spot_radius_um": 50.0, "pulses": 50, "rate_hz": 10.0},
], ids=["single pulse", "train"])
def test_ctrl_c_stops_crater_leaving_no_thread_and_no_file(tmp_path, monkeypatch, keywords):
    monkeypatch.chdir(tmp_path)
    before = len(os.listdir("/proc/self/task"))
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        kestrium.crater(kestrium.Parameters(), **keywords)
    timer.join()
    assert len(os.listdir("/proc/self/task")) == before
    assert list(tmp_path.iterdir()) == []
