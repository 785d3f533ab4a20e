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


def test_a_bad_material_is_refused_before_any_run(tmp_path, defaults):
    bad = tmp_path / "bad.toml"
    bad.write_text(open(POLYIMIDE).read().replace("t_scale = 460.0", "t_scale = 0"))
    with pytest.raises(ValueError, match=r"bad.toml.*specific_heat.t_scale: must not be 0"):
        kestrium.sweep(defaults, [40, 60], material=bad)
