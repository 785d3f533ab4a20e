"""The checks of the calls' arguments, in Python's terms (TypeError for a value of the wrong
kind, naming what is wanted), and the experiment keywords of the calls (experiment=, scheme=,
pulse_shape=, trace=, pulses=, rate_hz=, incubated_absorption=, material=, beam=,
spot_radius_um=, tolerance=), gathered
for the compiled module, which checks them as the batch runner checks its options: a keyword given
overrides the experiment's value."""

import math
import numbers
import os

from ._kestrium import Experiment, Parameters, RefusalError, _nearest_name


def _parameters(value, call):
    """value when it is a Parameters; otherwise TypeError saying how to make one."""
    if isinstance(value, Parameters):
        return value
    kind = type(value).__name__
    if isinstance(value, dict):
        hint = "; make one from a dict with kestrium.Parameters(**d)"
    elif isinstance(value, (str, os.PathLike)):
        hint = "; read a parameter file with kestrium.Parameters.read(path)"
    else:
        hint = ""
    raise TypeError(f"{call}() takes a kestrium.Parameters as parameters, not {kind}{hint}")


def _number(name, value, unit):
    """A number keyword as a float: numbers (bool, int, float, NumPy scalars) as they are, any
    other type refused as the parameters' fields refuse it."""
    if isinstance(value, numbers.Real):
        return float(value)
    raise TypeError(f"{name} takes a number ({unit}), not {type(value).__name__}")


def _whole_number(name, value):
    """A whole-number keyword as an int; 3.0 is 3, 2.9 is refused (RefusalError), not cut to 2."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{name} takes a whole number, not {type(value).__name__}")
    if not math.isfinite(value) or value != math.floor(value):
        raise RefusalError(f"{name} is {value}", name, "it must be a whole number")
    return int(value)


def _word(name, value, words):
    if not isinstance(value, str):
        raise TypeError(f"{name} takes {words}, not {type(value).__name__}")
    return str(value)


def _path(name, value):
    if not isinstance(value, (str, os.PathLike)):
        raise TypeError(f"{name} takes a path (str or os.PathLike), not {type(value).__name__}")
    return os.fspath(value)


# The settings of an experiment and how each is checked.
_SETTINGS = {
    "scheme": lambda v: _word("scheme", v, "'published' or 'accurate'"),
    "pulse_shape": lambda v: _word("pulse_shape", v, "'file', 'gaussian' or 'measured'"),
    "trace": lambda v: _path("trace", v),
    "pulses": lambda v: _whole_number("pulses", v),
    "rate_hz": lambda v: _number("rate_hz", v, "Hz"),
    "incubated_absorption": lambda v: _number("incubated_absorption", v, "1/cm"),
    "material": lambda v: _path("material", v),
    "beam": lambda v: _word("beam", v, "'gaussian' or 'tophat'"),
    "spot_radius_um": lambda v: _number("spot_radius_um", v, "µm"),
    "tolerance": lambda v: _number("tolerance", v, "relative"),
}


def _settings(given):
    """The experiment's settings checked: unknown names and values of the wrong kind raise
    TypeError (a misspelt name with the nearest one)."""
    checked = {}
    for name, value in given.items():
        if name not in _SETTINGS:
            near = _nearest_name(name, list(_SETTINGS))
            hint = f"; did you mean '{near}'?" if near else (
                "; the settings are " + ", ".join(_SETTINGS))
            raise TypeError(f"Experiment has no setting '{name}'{hint}")
        checked[name] = None if value is None else _SETTINGS[name](value)
    return checked


def _keywords(experiment=None, scheme=None, pulse_shape=None, trace=None, pulses=None,
              rate_hz=None, incubated_absorption=None, material=None, beam=None,
              spot_radius_um=None, tolerance=None):
    if experiment is not None and not isinstance(experiment, Experiment):
        experiment = _path("experiment", experiment)
    keywords = _settings({"scheme": scheme, "pulse_shape": pulse_shape, "trace": trace,
                          "pulses": pulses, "rate_hz": rate_hz,
                          "incubated_absorption": incubated_absorption, "material": material,
                          "beam": beam, "spot_radius_um": spot_radius_um,
                          "tolerance": tolerance})
    keywords["experiment"] = experiment
    return keywords
