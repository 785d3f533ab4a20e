import json
import os
import re
import signal
import threading
import warnings

import pytest

import kestrium

FLUENCES = [40, 90, 220, 550]


@pytest.mark.slow  # a whole fit on the calculation, twice: ./test.sh --slow
def test_fit_recovers_the_value_and_equals_the_batch_report(tmp_path, batch, defaults):
    truth = defaults.copy(activation_energy_em=0.8)
    depths = kestrium.sweep(truth, FLUENCES, jobs=2)["total_depth_nm"]
    defaults.write(tmp_path / "run.par")
    (tmp_path / "m.csv").write_text("fluence_mJ_per_cm2,total_depth_nm\n" + "".join(
        f"{f!r},{float(d)!r}\n" for f, d in zip(FLUENCES, depths)))
    done = batch(tmp_path, "fit", "run.par", "--data", "m.csv", "--vary",
                 "activation_energy_em", "--jobs", "2", "--report", "fit.json")
    assert done.returncode == 0, done.stderr

    calls = []
    report = kestrium.fit(defaults, vary=["activation_energy_em"], fluence=FLUENCES,
                          depth=depths, jobs=2, progress=lambda *a: calls.append(a))
    fitted = report["parameters"]["activation_energy_em"]
    assert report["status"] == "converged"
    assert fitted["value"] == pytest.approx(0.8, abs=1e-3)
    assert report["fitted"].activation_energy_em == pytest.approx(fitted["value"], rel=1e-6)
    assert report["fitted"].copy(activation_energy_em=0.7) == defaults
    assert calls and calls[-1][1] <= report["runs"]

    theirs = json.loads((tmp_path / "fit.json").read_text())
    ours = {k: v for k, v in report.items() if k != "fitted"}
    assert theirs.pop("wall_seconds") > 0 and ours.pop("wall_seconds") > 0
    assert ours == theirs


def test_threshold_equals_the_batch_threshold(tmp_path, batch, defaults):
    defaults.write(tmp_path / "run.par")
    done = batch(tmp_path, "threshold", "run.par", "--depth", "2", "--jobs", "2")
    assert done.returncode == 0, done.stderr
    t = kestrium.threshold(defaults, depth=2, jobs=2)
    assert isinstance(t, kestrium.ThresholdReport)
    assert (t.fluence, t.below, t.runs, t.model) == (t["fluence"], t["below"], t["runs"],
                                                     t["model"])
    assert (t.scheme, t.tolerance) == ("accurate", 1e-3)
    assert t.to_dict() == dict(t) and "scheme" not in t
    assert repr(t).startswith(f"ThresholdReport(fluence={t.fluence:.6g}, below=")
    assert t["below"] < t["fluence"] < t["above"] < t["below"] * 1.001
    assert t["depth_below_nm"] < 2 <= t["depth_above_nm"]
    without_time = re.compile(r", [0-9.]+ s$", re.M)
    assert without_time.sub("", t["summary"]) == without_time.sub("", done.stdout)


def test_refused_requests_raise_value_error_before_any_run(tmp_path, defaults):
    arrays = {"fluence": FLUENCES, "depth": [10, 50, 100, 150]}
    cases = [
        (dict(vary=["no_such_field"], **arrays), '"no_such_field" is not a field that can be '
                                                 "fitted"),
        (dict(vary="activation_energy_em,screening_coefficient", fluence=[40, 90],
              depth=[10, 50]), r"2 data point\(s\) cannot determine 2 field\(s\)"),
        (dict(vary=["activation_energy_em"], bounds={"activation_energy_em": (0.8, 2)},
              **arrays), "starting value 0.7 of activation_energy_em lies outside"),
        (dict(vary=["activation_energy_em"], fluence=[40, -5], depth=[1, 2]),
         r"the data arrays, index 1: fluence_mJ_per_cm2 is -5.0; it must be greater than 0"),
        (dict(vary=["activation_energy_em"], fluence=[40, 50], depth=[1]), "differ in length"),
    ]
    for keywords, message in cases:
        with pytest.raises(ValueError, match=message):
            kestrium.fit(defaults, **keywords)
    bad = tmp_path / "bad.csv"
    bad.write_text("fluence_mJ_per_cm2,total_depth_nm\n40,1\n50,deep\n")
    with pytest.raises(ValueError, match=re.escape(f'{bad}, line 3: total_depth_nm "deep" is '
                                                   "not a number")):
        kestrium.fit(defaults, bad, vary=["activation_energy_em"])
    with pytest.raises(ValueError, match="greater than 0 nm"):
        kestrium.threshold(defaults, depth=0)
    with pytest.raises(ValueError, match="quantity takes total, surface or volume"):
        kestrium.threshold(defaults, quantity="deepest")


def test_a_fit_report_is_the_batch_report_with_typed_attributes(tmp_path, batch, defaults):
    import pickle

    import numpy as np

    depths = [12, 55, 130, 210]
    (tmp_path / "m.csv").write_text("fluence_mJ_per_cm2,total_depth_nm,sigma_nm\n" + "".join(
        f"{f},{d},{0.1 * d}\n" for f, d in zip(FLUENCES, depths)))
    defaults.write(tmp_path / "run.par")
    vary = ["activation_energy_em", "screening_coefficient"]
    done = batch(tmp_path, "fit", "run.par", "--data", "m.csv", "--vary", ",".join(vary),
                 "--jobs", "2", "--max-runs", "24", "--scheme", "published", "--report",
                 "fit.json")
    assert "--max-runs 24" in done.stderr  # stopped at its run limit, its report written
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # stopped at its run limit
        report = kestrium.fit(defaults, tmp_path / "m.csv", vary=vary, jobs=2, max_runs=24,
                              scheme="published")
    assert isinstance(report, kestrium.FitReport) and isinstance(report, dict)

    theirs = json.loads((tmp_path / "fit.json").read_text())
    assert list(report) == list(theirs) + ["fitted"]
    ours = report.to_dict()
    assert type(ours) is dict and ours.pop("fitted") is report.fitted
    assert theirs.pop("wall_seconds") > 0 and ours.pop("wall_seconds") > 0
    # The same message, each naming the run limit in its own words.
    assert ours.pop("message").replace("max_runs=", "--max-runs ") == theirs.pop("message")
    assert ours == theirs

    # The attributes hold the fit's own numbers; the dict, the report's 10 digits of them.
    entries = report["parameters"]
    assert report.names == vary == list(entries)
    close = dict(rtol=1e-6, equal_nan=True)
    for attribute, key in (("values", "value"), ("errors", "stderr"), ("lower", "lower"),
                           ("upper", "upper")):
        wanted = [np.nan if entries[n][key] is None else entries[n][key] for n in vary]
        assert np.allclose(getattr(report, attribute), wanted, **close), attribute
    assert report.correlation.shape == (2, 2)
    assert np.allclose(report.correlation, np.array(report["correlation"], dtype=float), **close)
    for attribute, key in (("fluence", "fluence"), ("measured", "measured"),
                           ("sigma", "sigma"), ("model_depth", "model"),
                           ("residual", "residual"), ("bias", "bias_sigma")):
        wanted = [np.nan if p.get(key) is None else p[key] for p in report["points"]]
        assert np.allclose(getattr(report, attribute), wanted, **close), attribute
    assert (report.status, report.dof, report.runs) == (report["status"], 2, report["runs"])
    assert report.chi2 == pytest.approx(report["chi2"], rel=1e-9)
    assert ("largest_bias_sigma" in report) == np.isfinite(report.largest_bias)
    assert (report.scheme, report.tolerance, report.model) == ("published", 0.0,
                                                               report["model"])
    assert repr(report).startswith(f"FitReport(status='{report.status}', chi2=")
    assert "activation_energy_em=" in repr(report) and " ± " in repr(report)

    again = pickle.loads(pickle.dumps(report))
    assert again == report and type(again) is kestrium.FitReport
    assert np.array_equal(again.values, report.values) and again.names == report.names


def test_ctrl_c_stops_a_fit_with_the_best_values_found(defaults):
    before = len(os.listdir("/proc/self/task"))
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt) as stopped:
        # A fit of about 4 s: still under way when Ctrl-C comes at 0.5 s.
        kestrium.fit(defaults, vary="activation_energy_em", fluence=[50, 100, 200, 400],
                     depth=[30, 70, 120, 160], jobs=1)
    timer.join()
    assert stopped.value.report["status"] == "interrupted"
    assert len(os.listdir("/proc/self/task")) == before


class _Frame:
    """A stand-in for a pandas DataFrame: only its to_dict("list")."""

    def __init__(self, columns):
        self._columns = columns

    def to_dict(self, orient):
        assert orient == "list"
        return {name: list(values) for name, values in self._columns.items()}


def test_tables_with_conditions_and_data_sets_are_read_and_refused_like_files(defaults):
    table = {"dataset": ["248 nm", "248 nm", "308 nm"], "fluence_mJ_per_cm2": [50, 100, 80],
             "total_depth_nm": [20, 60, 40], "pulse_width": [20, 20, 30]}
    # One point in "308 nm" cannot give its own absorption: refused before any run, for the
    # dict and for a table object alike.
    for data in (table, _Frame(table)):
        with pytest.raises(ValueError, match=r'data set "308 nm" of the data arrays has 1 '
                                             r"point\(s\); its 1 field\(s\) fitted per data set"):
            kestrium.fit(defaults, data, vary_each="absorption_coefficient")
    refused = dict(table, pulse_width=[20, -1, 30])
    with pytest.raises(ValueError, match=r"the data arrays, index 1: column pulse_width: "
                                         r"Pulsewidth \[ns\] is -1"):
        kestrium.fit(defaults, refused, vary="activation_energy_em")
    with pytest.raises(ValueError, match="differ in length"):
        kestrium.fit(defaults, dict(table, pulse_width=[20]), vary="activation_energy_em")


@pytest.mark.slow  # about a hundred runs of the calculation
def test_a_fit_across_two_data_sets_reports_each(defaults):
    table = {"dataset": ["a"] * 3 + ["b"] * 3, "fluence_mJ_per_cm2": [60, 150, 400] * 2,
             "total_depth_nm": [40, 95, 150, 35, 90, 148], "sigma_nm": [4] * 6,
             "pulse_width": [15] * 3 + [20] * 3}
    report = kestrium.fit(defaults, _Frame(table), vary="activation_energy_em", jobs=2,
                          separately=True)
    assert [s["name"] for s in report["datasets"]] == ["a", "b"]
    assert sum(s["chi2"] for s in report["datasets"]) == pytest.approx(report["chi2"])
    assert [p["dataset"] for p in report["points"]] == table["dataset"]
    alone = [s["separately"]["parameters"]["activation_energy_em"] for s in report["datasets"]]
    assert all(a["stderr"] > report["parameters"]["activation_energy_em"]["stderr"]
               for a in alone)


def test_a_refusal_carries_the_setting_at_fault_and_its_remedy(defaults):
    arrays = dict(fluence=FLUENCES, depth=[10, 50, 100, 150])
    cases = [
        (lambda: kestrium.run(defaults, refinement=0), "refinement", ""),
        (lambda: kestrium.run(defaults, grid_refinement=2), "grid_refinement",
         'choose it with scheme="accurate"'),
        (lambda: kestrium.fit(defaults, vary="activation_energy_em", max_runs=0, **arrays),
         "max_runs", ""),
        (lambda: kestrium.study(defaults, vary={"fluence": [100]}, refinement=0), "refinement",
         ""),
    ]
    for call, setting, remedy in cases:
        with pytest.raises(kestrium.RefusalError) as refused:
            call()
        error = refused.value
        assert isinstance(error, ValueError)
        assert (error.setting, error.remedy) == (setting, remedy)
        assert setting in error.problem
        assert str(error) == error.problem + ("; " + remedy if remedy else "")


def test_a_table_and_its_file_read_alike(tmp_path, defaults):
    table = {"dataset": ["a", "a", "b", "b"], "Fluence (J/cm2)": [0.06, 0.15, 0.09, 0.4],
             "total_depth_nm": [20, 60, 35, 120], "sigma_nm": [2, 3, 2, 4]}
    path = tmp_path / "m.csv"
    path.write_text(",".join(table) + "\n" + "".join(
        ",".join(str(v) for v in row) + "\n" for row in zip(*table.values())))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", UserWarning)  # the fluence converted from J/cm^2
        ours = kestrium.fit(defaults, _Frame(table), analyse=True)
        theirs = kestrium.fit(defaults, path, analyse=True)
    assert json.dumps(ours).replace("the data arrays", "FILE") == \
        json.dumps(theirs).replace(str(path), "FILE")
    with pytest.raises(ValueError, match=r"the data arrays, column total_depth_nm, index 2: "
                                         r"\[35\] is not a number nor a data-set label"):
        kestrium.fit(defaults, dict(table, total_depth_nm=[20, 60, [35], 120]), analyse=True)
