"""The experiment keywords of the calls (experiment=, scheme=, pulse_shape=, trace=, pulses=,
rate_hz=, incubated_absorption=, material=), gathered for the compiled module, which checks them as the
batch runner checks its options: a keyword given overrides the experiment's value."""

import math
import numbers
import os

from ._kestrium import Experiment


def _number(name, value, unit):
    """A number keyword as a float: numbers (bool, int, float, NumPy scalars) as they are, any
    other type refused as the parameters' fields refuse it."""
    if isinstance(value, numbers.Real):
        return float(value)
    raise TypeError(f"{name} takes a number ({unit}), not {type(value).__name__}")


def _whole_number(name, value):
    """A whole-number keyword as an int; 3.0 is 3, 2.9 is refused, not cut to 2."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{name} takes a whole number, not {type(value).__name__}")
    if not math.isfinite(value) or value != math.floor(value):
        raise ValueError(f"{name} is {value}; it must be a whole number")
    return int(value)


def _keywords(experiment=None, scheme=None, pulse_shape=None, trace=None, pulses=None,
              rate_hz=None, incubated_absorption=None, material=None):
    if experiment is not None and not isinstance(experiment, Experiment):
        experiment = os.fspath(experiment)
    return {
        "experiment": experiment,
        "scheme": None if scheme is None else str(scheme),
        "pulse_shape": None if pulse_shape is None else str(pulse_shape),
        "trace": None if trace is None else os.fspath(trace),
        "pulses": None if pulses is None else _whole_number("pulses", pulses),
        "rate_hz": None if rate_hz is None else _number("rate_hz", rate_hz, "Hz"),
        "incubated_absorption": None if incubated_absorption is None
        else _number("incubated_absorption", incubated_absorption, "1/cm"),
        "material": None if material is None else os.fspath(material),
    }
