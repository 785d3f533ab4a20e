"""The module against a user's own files: pickles of every protocol, tables written without
following planted links or taking a user's file, data files that are not text files refused by
name without hanging, and outputs that would replace one another refused before any run."""

import os
import pickle

import pytest

import kestrium


def test_every_pickle_protocol_gives_the_set_back():
    p = kestrium.Parameters()
    p.fluence = 123.0
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        assert pickle.loads(pickle.dumps(p, protocol)) == p, protocol


def test_a_table_is_saved_without_following_links_or_taking_a_users_file(tmp_path, defaults):
    table = kestrium.study(defaults, vary={"fluence": [-5, 60]}, jobs=1)
    victim = tmp_path / "victim.txt"
    victim.write_text("precious\n")
    os.symlink("victim.txt", tmp_path / f".study.csv.tmp{os.getpid()}")
    users = tmp_path / "study.csv.tmp"
    users.write_text("the user's own file\n")
    table.to_csv(tmp_path / "study.csv")
    assert (tmp_path / "study.csv").read_text() == table.table_text
    assert victim.read_text() == "precious\n"
    assert users.read_text() == "the user's own file\n"
    assert not [n for n in os.listdir(tmp_path) if ".kt-save-" in n]
    with pytest.raises(OSError, match=r'Cannot write "[^"]*missing/study.csv": '):
        table.to_csv(tmp_path / "missing" / "study.csv")


def test_data_files_that_are_not_text_files_are_refused_by_name(tmp_path, defaults):
    fifo = tmp_path / "fifo.csv"
    os.mkfifo(fifo)
    (tmp_path / "u16.csv").write_bytes("fluence_mJ_per_cm2,total_depth_nm\n".encode("utf-16"))
    cases = [(fifo, "is a pipe"), (tmp_path, "is a directory"), ("/dev/zero", "is a device"),
             (tmp_path / "u16.csv", "is UTF-16 text")]
    for path, message in cases:
        with pytest.raises(ValueError, match=message):
            kestrium.fit(defaults, path, analyse=True)


def test_a_sweep_table_may_not_replace_its_kinetics_file(tmp_path, defaults):
    kinetics = tmp_path / "Data1K.dat"
    kinetics.write_text("kept\n")
    with pytest.raises(ValueError, match="the same file"):
        kestrium.sweep(defaults, [60], output_dir=tmp_path, csv=kinetics)
    assert kinetics.read_text() == "kept\n"


_TRACE = "time_ns,intensity\n0,0\n10,1\n20,0\n"


def _tree(root):
    """Every file (with its bytes) and folder under root."""
    found = {}
    for folder, folders, files in os.walk(root):
        for name in folders:
            found[os.path.relpath(os.path.join(folder, name), root)] = None
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


_INPUTS = [  # (kind, the input's text, the keywords that read it from NAME)
    ("material", "polyimide", lambda name: dict(material=name)),
    ("experiment", 'pulse_shape = "gaussian"\n', lambda name: dict(experiment=name)),
    ("trace", _TRACE, lambda name: dict(pulse_shape="measured", trace=name)),
    ("trace of an experiment", _TRACE, lambda name: dict(experiment="e.toml")),
]
_OUTPUTS = [  # (call, the file it writes)
    (lambda p, k: kestrium.run(p, output_dir=".", **k), "Data1D.dat"),
    (lambda p, k: kestrium.run(p, output_dir="r", **k), "r/Data1S2.dat"),
    (lambda p, k: kestrium.run(p, output_dir=".", pulses=2, rate_hz=10, **k), "Data1P.dat"),
    (lambda p, k: kestrium.sweep(p, [40, 60], output_dir="o", **k), "o/Data1K.dat"),
    (lambda p, k: kestrium.sweep(p, [40, 60], csv="./s.csv", **k), "s.csv"),
    (lambda p, k: kestrium.sweep(p, [40, 60], keep_files="k", **k), "k/F60/Data1S1.dat"),
    (lambda p, k: kestrium.sweep(p, [40], keep_files="k", csv="k/F40/Data1D.dat", **k),
     "k/F40/Data1D.dat"),
]


@pytest.mark.parametrize("kind,text,keywords", _INPUTS, ids=[i[0] for i in _INPUTS])
@pytest.mark.parametrize("call,name", _OUTPUTS, ids=[o[1] for o in _OUTPUTS])
def test_no_input_is_replaced_by_an_output(tmp_path, monkeypatch, defaults, kind, text, keywords,
                                           call, name):
    monkeypatch.chdir(tmp_path)
    if text == "polyimide":
        material = os.path.join(os.path.dirname(__file__), "..", "..", "materials",
                                "polyimide.toml")
        with open(material, encoding="utf-8") as f:
            text = f.read()
    os.makedirs(os.path.dirname(name) or ".", exist_ok=True)
    with open(name, "w", encoding="utf-8") as f:
        f.write(text)
    if kind == "trace of an experiment":
        with open("e.toml", "w", encoding="utf-8") as f:
            f.write(f'pulse_shape = "measured"\ntrace = "{name}"\n')
    before = _tree(tmp_path)
    with pytest.raises(ValueError, match="which the command reads|are the same file"):
        call(defaults, keywords(name))
    assert _tree(tmp_path) == before


def test_experiments_pickle_under_every_protocol(tmp_path):
    (tmp_path / "e.toml").write_text("pulses = 3\nrate_hz = 10\n")
    e = kestrium.Experiment.read(tmp_path / "e.toml")
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        assert pickle.loads(pickle.dumps(e, protocol)) == e, protocol


def test_a_pipe_is_refused_without_waiting_for_a_writer(tmp_path):
    os.mkfifo(tmp_path / "fifo.par")
    with pytest.raises(ValueError, match="is not a regular file"):
        kestrium.Parameters.read(tmp_path / "fifo.par")


def test_tables_with_a_repeated_or_empty_cell_are_refused_by_name(defaults):
    class Frame:  # what a DataFrame with two depth columns shows the fit
        columns = ["fluence_mJ_per_cm2", "total_depth_nm", "total_depth_nm"]

        def to_dict(self, _orient):
            return {"fluence_mJ_per_cm2": [50, 100, 200], "total_depth_nm": [1, 2, 3]}

    cases = [
        (Frame(), "the column 'total_depth_nm' appears 2 times"),
        ({"fluence_mJ_per_cm2": [50, 100, 200], "total_depth_nm": [1, None, 3]},
         "column total_depth_nm, index 1: None is not a number"),
        ({"fluence_mJ_per_cm2": [50, 100, 200], "total_dept_nm": [1, 2, 3]},
         "the data arrays: the header has no depth column"),
    ]
    for data, message in cases:
        with pytest.raises(ValueError, match=message):
            kestrium.fit(defaults, data, vary="activation_energy_em")
