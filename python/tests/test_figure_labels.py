"""Every picture names its units: the axis labels and the legend entries of the plotting
helpers (the documentation's figure scripts, the convergence script, the notebooks) and of the
batch runner's pictures.

The labels are read from the sources, so the check needs no run of the model. An axis label
names its unit in brackets unless its quantity has none (a count, a relative error); a legend
entry that states a value (a number or a formatted field) names the value's unit.
"""

import ast
import json
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The units the pictures use.
UNITS = ("mJ/cm²", "mJ/cm^2", "nm", "K", "ns", "cm/s", "µm", "\\xb5m", "eV", "Hz", "kHz", "%",
         "model steps", "1/cm")
UNIT = re.compile(r"(?<![\w/])(" + "|".join(re.escape(u) for u in UNITS) + r")(?![\w/^.\-])")

# Each helper and the labels in it whose quantity has no unit (counts, ratios, names).
HELPERS = {
    "docs/scripts/convergence_figure.py": {"slope 1 (first order)"},
    "docs/scripts/defaults_figure.py": set(),
    "docs/scripts/heating_figure.py": set(),
    # The trains' label, made in the script, is their fluence in mJ/cm^2.
    "docs/scripts/trains_figure.py": {"pulse", "{}, no incubation", "{}, alpha_inc = 3 alpha0"},
    "scripts/convergence.py": {"cells split into M", "relative error of the {}", "second order",
                               "{}"},
    "docs/notebooks/fit.ipynb": set(),
    "docs/notebooks/material.ipynb": set(),
    # The data set's label, made in the notebook, ends in its pulse width's unit, ns.
    "docs/notebooks/measured_fit.ipynb": {"measured, {}", "model, {}"},
    "docs/notebooks/sweep.ipynb": {"{}"},  # label=column: the column's name, total_depth_nm
    "docs/notebooks/thresholds.ipynb": {"pulses N"},
    "docs/notebooks/trains.ipynb": {"pulse number"},
    "app/batch/batch_pictures.cpp": {"Pulses N", "Pulse number", "F_th(N) = F_th(1) N^(S-1)",
                                     "S = %.4f +- %.2g"},
    "graphics/pictures.cpp": set(),
}

AXIS_CALLS = {"set_xlabel", "set_ylabel", "xlabel", "ylabel"}


def _text(node):
    """A string literal, an f-string with its fields as {}, or None."""
    if isinstance(node, ast.Constant) and isinstance(node.value, str):
        return node.value
    if isinstance(node, ast.JoinedStr):
        return "".join(v.value if isinstance(v, ast.Constant) else "{}" for v in node.values)
    if isinstance(node, ast.Name):
        return "{}"
    if isinstance(node, ast.IfExp):
        return _text(node.body)
    if isinstance(node, ast.BinOp) and isinstance(node.op, ast.Add):
        left, right = _text(node.left), _text(node.right)
        return None if left is None or right is None else left + right
    return None


def _python_labels(source):
    """(kind, text) of the axis labels and the label= keywords of the source's calls."""
    # A notebook line such as `ax.legend();` or `%matplotlib inline` is not Python to ast.
    source = "\n".join(line for line in source.splitlines() if not line.startswith(("%", "!")))
    labels = []
    for node in ast.walk(ast.parse(source)):
        if not isinstance(node, ast.Call):
            continue
        name = getattr(node.func, "attr", None)
        if name in AXIS_CALLS and node.args:
            labels.append(("axis", _text(node.args[0])))
        for keyword in node.keywords:
            if keyword.arg == "label" and not (isinstance(keyword.value, ast.Constant)
                                               and keyword.value.value is None):
                labels.append(("legend", _text(keyword.value)))
    return labels


def _cpp_labels(source):
    labels = [("axis", text) for text in re.findall(r'_label = "((?:[^"\\]|\\.)*)"', source)]
    labels += [("axis", text) for text in
               re.findall(r'text_at\(pen, [^;]*?, "([^"]*\[[^"]*)"\)', source)]
    labels += [("legend", text) for text in
               re.findall(r'Series \w+\{(?:[^"{}]*\? )?"((?:[^"\\]|\\.)*)"', source)]
    labels += [("legend", text) for text in
               re.findall(r'PaletteColour::\w+, "((?:[^"\\]|\\.)*)"\}', source)]
    labels += [("legend", text) for text in
               re.findall(r'snprintf\(line, sizeof line, "((?:[^"\\]|\\.)*)"', source)]
    return labels


def labels_of(relative):
    path = ROOT / relative
    if path.suffix == ".ipynb":
        cells = json.loads(path.read_text(encoding="utf-8"))["cells"]
        return [label for cell in cells if cell["cell_type"] == "code"
                for label in _python_labels("".join(cell["source"]))]
    text = path.read_text(encoding="utf-8")
    return _python_labels(text) if path.suffix == ".py" else _cpp_labels(text)


def _states_a_value(text):
    return bool(re.search(r"\d|\{\}|%[-.\d]*[gfd]", text))


def names_its_unit(kind, text):
    """An axis label: a unit in brackets. A legend entry: a unit when it states a value or
    names a measured or modelled quantity."""
    if kind == "axis":
        return bool(re.search(r"\[[^\]]+\]", text) and UNIT.search(text))
    if _states_a_value(text) or text.startswith(("model", "measured", "closed form")):
        return bool(UNIT.search(text))
    return True


@pytest.mark.parametrize("helper", sorted(HELPERS))
def test_labels_name_their_units(helper):
    labels = labels_of(helper)
    assert labels, f"{helper}: no label found; the check no longer reads it"
    for kind, text in labels:
        assert text is not None, f"{helper}: a {kind} label the check cannot read"
        assert text in HELPERS[helper] or names_its_unit(kind, text), \
            f"{helper}: the {kind} label {text!r} names no unit"


@pytest.mark.parametrize("kind, text, named", [
    ("axis", "fluence [mJ/cm²]", True),
    ("axis", "fluence", False),
    ("axis", "depth [a.u.]", False),
    ("legend", "pulse_width=10", False),
    ("legend", "pulse_width=10 ns", True),
    ("legend", "w = %.4g \\xb5m", True),
    ("legend", "{} spot", False),
    ("legend", "S = %.4f", False),
    ("legend", "error 3 %", True),
    ("legend", "measured", False),
    ("legend", "10 Hz", True),
])
def test_the_check_tells_a_unit_from_none(kind, text, named):
    assert names_its_unit(kind, text) == named
