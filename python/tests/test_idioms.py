"""Python's idioms and the units of data files: messages of the right type naming what to do,
DataFrames, --set on the command line, and units read from the headers."""

import json
import os
import subprocess
import sys

import pytest

import kestrium


@pytest.mark.parametrize("call, error, message", [
    (lambda p: kestrium.run({"fluence": 50}), TypeError,
     r"run\(\) takes a kestrium.Parameters as parameters, not dict; make one from a dict with "
     r"kestrium.Parameters\(\*\*d\)"),
    (lambda p: kestrium.sweep("KTparam.par", [50]), TypeError,
     r"not str; read a parameter file with kestrium.Parameters.read\(path\)"),
    (lambda p: kestrium.threshold({"fluence": 50}), TypeError, r"threshold\(\) takes a kestrium"),
    (lambda p: kestrium.Parameters(fluense=50), TypeError,
     "Parameters has no field 'fluense'; did you mean 'fluence'?"),
    (lambda p: setattr(p, "absorption_coeficient", 1e5), AttributeError,
     "did you mean 'absorption_coefficient'?"),
    (lambda p: p.pulse_widht, AttributeError, "did you mean 'pulse_width'?"),
    (lambda p: kestrium.Experiment(puls=10), TypeError,
     "Experiment has no setting 'puls'; did you mean 'pulses'?"),
    (lambda p: kestrium.Experiment(pulses="10"), TypeError, "pulses takes a whole number, not str"),
    (lambda p: kestrium.Experiment(rate_hz="fast"), TypeError, r"rate_hz takes a number \(Hz\)"),
    (lambda p: kestrium.Experiment(10), TypeError, "takes its settings as keywords"),
    (lambda p: kestrium.Experiment(pulses=10), ValueError, "pulses=10 needs rate_hz"),
    (lambda p: kestrium.run(p, pulses=2.5, rate_hz=10), ValueError,
     "pulses is 2.5; it must be a whole number"),
])
def test_wrong_arguments_raise_their_type_with_what_to_do(defaults, call, error, message):
    with pytest.raises(error, match=message):
        call(defaults)


def test_an_experiment_made_with_keywords_equals_its_file(tmp_path, defaults):
    # Pulses given take the trains' scheme, as --pulses does.
    (tmp_path / "e.toml").write_text('scheme = "accurate"\npulses = 3\nrate_hz = 10.0\n')
    made = kestrium.Experiment(pulses=3, rate_hz=10)
    assert made == kestrium.Experiment.read(tmp_path / "e.toml")
    assert kestrium.run(defaults, experiment=made).pulses["pulse"].tolist() == [1, 2, 3]


def test_results_export_dataframes(defaults):
    pd = pytest.importorskip("pandas")
    train = kestrium.run(defaults, experiment=kestrium.Experiment(pulses=3, rate_hz=10))
    steps = train.to_dataframe()
    assert list(steps.columns) == ["step", "time_ns", "surface_temperature_K",
                                   "velocity_cm_per_s", "depth_nm", "surface_fraction"]
    assert (steps["depth_nm"].to_numpy() == train.depth_nm).all() and len(steps) == len(train.step)
    pulses = train.pulses_to_dataframe()
    assert pulses.index.tolist() == [1, 2, 3] and pulses.index.name == "pulse"
    assert (pulses["cumulative_depth_nm"].to_numpy() == train.pulses["cumulative_depth_nm"]).all()
    assert kestrium.run(defaults).pulses_to_dataframe().empty
    table = kestrium.study(defaults, {"fluence": [40, 80]}, jobs=2).to_dataframe()
    assert isinstance(table, pd.DataFrame) and table["fluence"].tolist() == [40, 80]


def test_import_leaves_numpy_and_asyncio_until_a_call_needs_them():
    code = "import sys, kestrium; print(sorted({'numpy', 'asyncio', 'pandas'} & set(sys.modules)))"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "[]"


@pytest.mark.parametrize("args, status, message", [
    (["--puls", "3"], 2, "unknown option --puls, did you mean --pulses?"),
    (["--set", "fluense=80"], 2, "--set fluense=80: the parameters have no field fluense; "
                                 "did you mean fluence?"),
    (["--set", "fluence=-5"], 2, r"--set fluence=-5: Fluence [mJ/cm^2] is -5; it must be "
                                 "greater than 0"),
    (["--set", "ablation_model=sideways"], 2, "is not a number nor a choice (surface bulk)"),
    (["--set", "fluence"], 2, "--set fluence: takes FIELD=VALUE"),
])
def test_the_command_line_suggests_and_refuses(tmp_path, batch, defaults, args, status, message):
    defaults.write(tmp_path / "KTparam.par")
    done = batch(tmp_path, "KTparam.par", *args)
    assert done.returncode == status and message in done.stderr, done.stderr


def test_set_runs_as_the_file_with_that_value_on_every_command(tmp_path, batch, defaults):
    defaults.write(tmp_path / "base.par")
    defaults.copy(fluence=80, ablation_model="surface").write(tmp_path / "edited.par")
    settings = ["--set", "fluence=60", "--set", "fluence=80", "--set", "ablation_model=surface"]
    ran = [batch(tmp_path, name, "--json", *extra)
           for name, extra in (("edited.par", []), ("base.par", settings))]
    assert all(r.returncode == 0 for r in ran), [r.stderr for r in ran]
    mine, theirs = (json.loads(r.stdout) for r in ran)
    assert mine.pop("parameter_file") != theirs.pop("parameter_file") and mine == theirs
    swept = [batch(tmp_path, "sweep", name, "--fluence", "50,90", "--csv", f"{name}.csv", *extra)
             for name, extra in (("edited.par", []), ("base.par", settings[4:]))]
    assert all(r.returncode == 0 for r in swept), [r.stderr for r in swept]
    assert (tmp_path / "edited.par.csv").read_text() == (tmp_path / "base.par.csv").read_text()


TRACE = [(0, 0.0), (2.5, 0.8), (6, 1.0), (11, 0.4), (18, 0.0)]


@pytest.mark.parametrize("header, scale", [("time_s", "e-9"), ("time_us", "e-3"),
                                           ("Time (ns)", "")])
def test_a_trace_in_any_time_unit_runs_as_in_nanoseconds(tmp_path, defaults, header, scale):
    def trace(name, head, exponent):
        (tmp_path / name).write_text(
            f"{head},intensity\n" + "".join(f"{t}{exponent},{v}\n" for t, v in TRACE))
        return kestrium.run(defaults, pulse_shape="measured", trace=tmp_path / name, profiles=False)

    ns, other = trace("ns.csv", "time_ns", ""), trace("other.csv", header, scale)
    assert other.kinetics_line == ns.kinetics_line and (other.depth_nm == ns.depth_nm).all()


def test_a_trace_in_an_unknown_unit_is_refused_naming_it(tmp_path, defaults):
    (tmp_path / "t.csv").write_text("time_min,intensity\n0,0\n1,1\n2,0\n")
    with pytest.raises(ValueError, match='"time_min" is in "min", a unit a trace does not take'):
        kestrium.run(defaults, pulse_shape="measured", trace=tmp_path / "t.csv")


POINTS = [(40, 8.5), (90, 31.2), (220, 77.0), (550, 131.0)]


def _measured(path, fluence_header, depth_header, scale_f=1.0, scale_d=1.0, extra=None):
    rows = [f"{f / scale_f!r},{d / scale_d!r}" + (f",{extra[k]}" if extra else "")
            for k, (f, d) in enumerate(POINTS)]
    path.write_text(f"{fluence_header},{depth_header}" + (",tau_ns" if extra else "") + "\n" +
                    "\n".join(rows) + "\n")
    return path


def test_fluence_in_j_per_cm2_and_depth_in_um_give_the_same_fit(tmp_path, defaults):
    plain = _measured(tmp_path / "plain.csv", "fluence_mJ_per_cm2", "total_depth_nm")
    lab = _measured(tmp_path / "lab.csv", "Fluence (J/cm²)", "Depth (µm)", 1000, 1000)
    fits = [kestrium.fit(defaults, path, vary="activation_energy_em", max_runs=48, jobs=2,
                         analyse=True) for path in (plain, lab)]
    with pytest.warns(UserWarning, match=r'"Fluence \(J/cm²\)" of .* is in J/cm\^2: converted'):
        kestrium.fit(defaults, lab, analyse=True)
    ours, theirs = ({k: v for k, v in f.items() if k not in ("wall_seconds", "fitted", "notes")}
                    for f in fits)
    assert ours == theirs and len(fits[1]["notes"]) == 2 and "notes" not in fits[0]


def test_condition_columns_by_unit_and_alias_and_a_pandas_index(tmp_path, defaults):
    pd = pytest.importorskip("pandas")
    path = _measured(tmp_path / "tau.csv", "fluence_mJ_per_cm2", "total_depth_nm",
                     extra=[10, 10, 20, 20])
    report = kestrium.fit(defaults, path, analyse=True)
    assert [s["name"] for s in report["datasets"]] == ["pulse_width=10", "pulse_width=20"]
    frame = pd.read_csv(path)
    frame.to_csv(tmp_path / "indexed.csv")  # pandas' default: its index as a nameless column
    assert kestrium.fit(defaults, tmp_path / "indexed.csv", analyse=True) == report
    frame.set_axis([3, 4, 5, 6]).to_csv(tmp_path / "shifted.csv")
    with pytest.raises(ValueError, match=r"column 1 has no name .* to_csv\(path, index=False\)"):
        kestrium.fit(defaults, tmp_path / "shifted.csv", analyse=True)
    frame.rename(columns={"tau_ns": "tau_us"}).to_csv(tmp_path / "us.csv", index=False)
    with pytest.raises(ValueError, match='column "tau_us" .* is not a field; did you mean tau_ns'):
        kestrium.fit(defaults, tmp_path / "us.csv", analyse=True)


def test_the_type_stubs_list_every_field_with_its_type_and_unit():
    root = os.path.join(os.path.dirname(__file__), "..", "..")
    script = os.path.join(root, "scripts", "python_stubs.py")
    checked = subprocess.run([sys.executable, script, "--check"], capture_output=True, text=True)
    assert checked.returncode == 0, checked.stderr
    import ast
    with open(os.path.join(root, "python", "kestrium", "__init__.pyi")) as stub:
        tree = ast.parse(stub.read())
    parameters = next(c for c in tree.body if isinstance(c, ast.ClassDef) and c.name == "Parameters")
    init = next(f for f in parameters.body if isinstance(f, ast.FunctionDef) and f.name == "__init__")
    assert [a.arg for a in init.args.kwonlyargs] == list(kestrium.Parameters.fields()) + [
        "data_file_name"]
    docs = {f.name: ast.get_docstring(f) for f in parameters.body
            if isinstance(f, ast.FunctionDef) and ast.get_docstring(f)}
    assert docs["pulse_width"].startswith("Pulsewidth [ns]")
