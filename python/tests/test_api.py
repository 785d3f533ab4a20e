"""The package as Python code sees it: choices by name, type errors, repr, the version, the
public names and the type stubs, and messages in the words of the Python calls."""

import ast
import pickle
import re
import subprocess
import sys
from pathlib import Path

import pytest

import kestrium
from kestrium import AblationModel, Material


def test_choices_are_set_and_read_by_name(tmp_path, defaults):
    p = kestrium.Parameters(ablation_model="surface", material=Material.other, autoscale=2)
    assert (p.ablation_model, p.material, p.autoscale) == ("surface", "other", "manual")
    assert p.ablation_model == AblationModel.surface and AblationModel.bulk.code == 2
    p.ablation_model = AblationModel.bulk
    assert p.ablation_model == "bulk"
    # The record keeps the file's codes; repr names the choices and rebuilds the set.
    assert p.to_dict()["material"] == 2.0
    assert repr(p) == "Parameters(material='other', autoscale='manual')"
    assert eval(repr(p), {"Parameters": kestrium.Parameters}) == p
    assert pickle.loads(pickle.dumps(p)) == p
    assert pickle.loads(pickle.dumps(AblationModel.bulk)) is AblationModel.bulk

    table = kestrium.study(p, vary={"ablation_model": ["surface", "bulk"], "fluence": [60]},
                           jobs=1)
    assert list(table["ablation_model"]) == [1, 2]
    assert table["total_depth_nm"][0] != table["total_depth_nm"][1]

    with pytest.raises(ValueError, match="ablation_model has no choice 'bolk'; it takes "
                                         "'surface' or 'bulk', or its code 1 or 2"):
        p.ablation_model = "bolk"
    # A code outside the set, as a file may hold it, reads back as that code.
    path = tmp_path / "m3.par"
    defaults.write(path)
    path.write_bytes(path.read_bytes().replace(b"Material: 1 - Polyimide, 2 - Other     :  1.",
                                               b"Material: 1 - Polyimide, 2 - Other     :  3.", 1))
    odd = kestrium.Parameters.read(path)
    assert odd.material == 3
    with pytest.raises(ValueError, match="material is 3; it must be 1 or 2"):
        odd.check()


@pytest.mark.parametrize("name, value, message", [
    ("fluence", "100", r"fluence takes a number \(mJ/cm\^2\), not str"),
    ("pulse_width", None, r"pulse_width takes a number \(ns\), not NoneType"),
    ("ablation_model", [2], "ablation_model takes 'surface' or 'bulk', or its code 1 or 2, not list"),
    ("data_file_name", 7, "data_file_name takes a str, not int"),
])
def test_a_value_of_the_wrong_type_names_the_field_and_what_it_takes(defaults, name, value,
                                                                     message):
    with pytest.raises(TypeError, match=message):
        setattr(defaults, name, value)
    with pytest.raises(TypeError, match=message):
        kestrium.Parameters(**{name: value})
    assert defaults == kestrium.Parameters()


def test_a_field_the_model_sets_aside_is_not_refused():
    surface = kestrium.Parameters(ablation_model="surface", pre_exponential_vom=-1,
                                  volatile_fraction=1)
    with pytest.raises(ValueError, match=r"Surface Sublimation Enthalpy DH \[J/g\] is -1"):
        surface.sublimation_enthalpy_dh = -1
    with pytest.raises(ValueError, match=r"Surface pre-exponential Vom \[cm/s\] is -1"):
        surface.ablation_model = "bulk"  # the bulk model uses Vom
    assert surface.ablation_model == "surface"


def test_version_and_public_names(batch_program):
    shown = subprocess.run([batch_program, "--version"], capture_output=True, text=True).stdout
    assert kestrium.__version__ and kestrium.__version__ in shown
    assert dir(kestrium) == sorted(kestrium.__all__ + ["__version__"])
    assert all(hasattr(kestrium, name) for name in kestrium.__all__)


def test_the_stubs_ship_with_the_package_and_match_it():
    package = Path(kestrium.__file__).parent
    assert (package / "py.typed").exists()
    stub = ast.parse((package / "__init__.pyi").read_text())
    classes = {node.name: node for node in stub.body if isinstance(node, ast.ClassDef)}
    functions = {node.name for node in stub.body if isinstance(node, ast.FunctionDef)}
    assert set(kestrium.__all__) <= set(classes) | functions
    fields = set()
    for node in classes["Parameters"].body:
        if isinstance(node, ast.AnnAssign):
            fields.add(node.target.id)
        elif isinstance(node, ast.FunctionDef) and any(
                isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list):
            fields.add(node.name)
    assert fields == set(kestrium.Parameters.fields()) | {"data_file_name"}
    for name, codes in kestrium.Parameters.choices().items():
        enum = "".join(part.title() for part in name.split("_"))
        members = [n.targets[0].id for n in classes[enum].body if isinstance(n, ast.Assign)]
        assert members == list(codes) == [m.name for m in getattr(kestrium, enum)]


def test_messages_name_the_python_arguments(defaults):
    arrays = dict(fluence=[40, 90, 220], depth=[10, 40, 90])
    cases = [
        (dict(vary="activation_energy_em", max_runs=3), r"^max_runs=3 is too low"),
        (dict(vary=["screening_coefficient"]),
         re.escape("give its range with bounds={'screening_coefficient': (LO, HI)}")),
        (dict(vary=["wavelength"]), "wavelength cannot be fitted: it is kept in the parameter "
                                    "file but takes no part in a calculation"),
        (dict(vary=["temperature_scale"]), "temperature_scale cannot be fitted"),
        (dict(vary=["pre_exponential_vo"]), "the bulk model .* does not use it"),
        (dict(vary=["activation_energy_em", "activation_energy_em"]), "named twice in vary$"),
    ]
    p = defaults.copy(screening_coefficient=0)
    for keywords, message in cases:
        with pytest.raises(ValueError, match=message) as refused:
            kestrium.fit(p, **arrays, **keywords)
        assert "--" not in str(refused.value)
    with pytest.raises(ValueError, match=r'^fluences=x: "x" is not a number'):
        kestrium.sweep(defaults, "x")


def test_the_pip_build_says_what_the_interpreter_lacks():
    # Without its site packages the interpreter has neither setuptools nor wheel.
    done = subprocess.run([sys.executable, "-S", "setup.py", "--version"], capture_output=True,
                          text=True, cwd=Path(__file__).resolve().parent.parent, timeout=60)
    assert done.returncode != 0
    assert f"kestrium cannot be built for {sys.executable}; it needs:" in done.stderr
    assert "the Python package setuptools in this interpreter" in done.stderr
    assert "the Python package wheel in this interpreter" in done.stderr
    assert "--no-build-isolation" in done.stderr
