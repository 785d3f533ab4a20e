"""material=: a material file's values and laws in the Python calls, as --material takes them."""

import os
import pickle

import pytest

import kestrium
from kestrium.study import _make_study

MATERIALS = os.path.join(os.path.dirname(__file__), "..", "..", "materials")
POLYIMIDE = os.path.join(MATERIALS, "polyimide.toml")


def test_material_runs_a_study_and_pickles_with_its_text(tmp_path, defaults):
    assert kestrium.run(defaults, profiles=False, material=POLYIMIDE).kinetics_line == \
        kestrium.run(defaults, profiles=False).kinetics_line
    copy = tmp_path / "copy.toml"
    copy.write_text(open(POLYIMIDE).read())
    s = _make_study(defaults, {"fluence": [40, 60]}, None, 1, material=copy)
    assert s.hash != _make_study(defaults, {"fluence": [40, 60]}, None, 1).hash
    os.remove(copy)  # a worker rebuilds the study from the text it was sent
    again = pickle.loads(pickle.dumps(s))
    assert again.hash == s.hash
    assert again.run(0, 2, 1, None)["end"].tolist() == s.run(0, 2, 1, None)["end"].tolist()


SHORT = """name = "short"
[specific_heat]
law = "table"
unit = "J/(g K)"
scale = 2.0
source = "test"
temperature = [250, 600, 1000]
value = [1.2, 2.0, 2.3]
[thermal_conductivity]
law = "constant"
value = 0.00156
unit = "W/(cm K)"
source = "test"
"""


def test_a_bad_material_is_refused_and_a_left_table_ends_the_run(tmp_path, defaults):
    with pytest.raises(ValueError, match="nothing.toml"):
        kestrium.sweep(defaults, [40, 60], material=tmp_path / "nothing.toml")
    bad = tmp_path / "bad.toml"
    bad.write_text(SHORT.replace("250, 600, 1000", "250, 600, 500"))
    with pytest.raises(ValueError, match=r"bad.toml.*500 K on row 3 is not above"):
        kestrium.threshold(defaults, material=bad)
    short = tmp_path / "short.toml"
    short.write_text(SHORT)
    with pytest.warns(RuntimeWarning, match=r"short.toml: specific_heat.*\(250 K to 1000 K\)"):
        result = kestrium.run(defaults, profiles=False, material=short)
    assert result.end == "diverged" and result.kinetics_line == ""
