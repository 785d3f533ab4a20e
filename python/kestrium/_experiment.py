"""The experiment keywords of the calls (experiment=, scheme=, pulse_shape=, trace=, pulses=,
rate_hz=, incubated_absorption=, material=, tolerance=), gathered for the compiled module, which checks them as the
batch runner checks its options: a keyword given overrides the experiment's value."""

import os

from ._kestrium import Experiment


def _keywords(experiment=None, scheme=None, pulse_shape=None, trace=None, pulses=None,
              rate_hz=None, incubated_absorption=None, material=None, tolerance=None):
    if experiment is not None and not isinstance(experiment, Experiment):
        experiment = os.fspath(experiment)
    return {
        "experiment": experiment,
        "scheme": None if scheme is None else str(scheme),
        "pulse_shape": None if pulse_shape is None else str(pulse_shape),
        "trace": None if trace is None else os.fspath(trace),
        "pulses": None if pulses is None else int(pulses),
        "rate_hz": None if rate_hz is None else float(rate_hz),
        "incubated_absorption": None if incubated_absorption is None
        else float(incubated_absorption),
        "material": None if material is None else os.fspath(material),
        "tolerance": None if tolerance is None else float(tolerance),
    }
