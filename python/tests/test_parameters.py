import pickle

import pytest

import kestrium


def test_field_access_keywords_dict_pickle_and_file_agree(tmp_path, defaults):
    p = kestrium.Parameters(fluence=120, ablation_model=1, data_file_name="Run7")
    assert (p.fluence, p.ablation_model, p.data_file_name) == (120.0, "surface", "Run7")
    p.absorption_coefficient = 0.1
    assert p.absorption_coefficient == 0.1  # the 32-bit value reads back as entered
    assert kestrium.Parameters(**p.to_dict()) == p
    assert pickle.loads(pickle.dumps(p)) == p
    assert p.copy(fluence=50) != p and p.copy(fluence=50).fluence == 50.0
    assert repr(defaults) == "Parameters()"

    path = tmp_path / "a.par"
    p.write(path)
    assert p.time_scale == p.pulse_width  # as the program saves
    assert kestrium.Parameters.read(path) == p


def test_unknown_names_are_refused(defaults):
    with pytest.raises(AttributeError):
        defaults.fluance = 3
    with pytest.raises(TypeError, match="Parameters has no field 'fluance'; did you mean 'fluence'"):
        kestrium.Parameters(fluance=3)
    with pytest.raises(ValueError, match="at most 14"):
        defaults.data_file_name = "a" * 15
    with pytest.raises(ValueError, match="data-file name cannot be used"):
        defaults.data_file_name = "../Data1"
    assert defaults.data_file_name == "Data1"


def test_refused_value_raises_the_batch_runners_message(tmp_path, batch, defaults):
    with pytest.raises(ValueError) as refused:
        defaults.fluence = -50
    assert defaults.fluence == 50.0  # unchanged
    with pytest.raises(ValueError):
        defaults.ablation_model = 3
    with pytest.raises(ValueError, match=r"ablation_model is 1.5; it must be a whole number \(1 or 2\)"):
        defaults.ablation_model = 1.5
    with pytest.raises(ValueError, match="show_ablated_depth is 2; it must be 0 or 1"):
        defaults.show_ablated_depth = 2
    defaults.show_ablated_depth = 0
    assert defaults.show_ablated_depth == 0.0
    defaults.show_ablated_depth = 1
    with pytest.raises(ValueError):
        kestrium.Parameters(reflection_coefficient=float("nan"))
    # Checks across fields do not depend on the order of the keywords.
    cold = kestrium.Parameters(ambient_temperature=20, material=2)
    with pytest.raises(ValueError, match="for polyimide"):
        cold.material = 1

    # The same value in a parameter file: read as the program reads it, refused at the run.
    path = tmp_path / "bad.par"
    defaults.write(path)
    text = path.read_bytes().replace(b":  5.00000E+01", b": -5.00000E+01", 1)
    path.write_bytes(text)
    bad = kestrium.Parameters.read(path)
    assert bad.fluence == -50.0
    bad.pulse_width = 20  # the other fields stay editable
    assert pickle.loads(pickle.dumps(bad)) == bad
    with pytest.raises(ValueError) as at_run:
        kestrium.run(bad)
    with pytest.raises(ValueError):
        bad.check()
    program = batch(tmp_path, "bad.par")
    assert program.returncode != 0
    assert str(refused.value) == str(at_run.value)
    assert str(at_run.value) in program.stderr
    assert list(tmp_path.iterdir()) == [path]  # the refused run wrote nothing


def test_unreadable_files_name_the_problem(tmp_path, defaults):
    with pytest.raises(FileNotFoundError, match="missing.par"):
        kestrium.Parameters.read(tmp_path / "missing.par")
    path = tmp_path / "short.par"
    defaults.write(path)
    path.write_bytes(b"".join(path.read_bytes().splitlines(keepends=True)[:20]))
    with pytest.raises(ValueError, match="short.par.* ends after line 20"):
        kestrium.Parameters.read(path)
    with pytest.raises(OSError, match="no_folder"):
        defaults.write(tmp_path / "no_folder" / "a.par")
