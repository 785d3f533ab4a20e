"""Analyses on the model: fits of parameters to measured ablation depths and the threshold.

Both are the batch runner's fit and threshold commands, on the same analysis code, and return
their reports as dicts. They release the GIL and stop on Ctrl-C (KeyboardInterrupt).
"""

import json
import numbers
import os
import warnings
from collections import Counter

import numpy as np

from ._experiment import _keywords, _whole_number
from ._kestrium import _fit, _incubation, _threshold

__all__ = ["fit", "threshold"]

_ARRAYS = "the data arrays"
_COLUMNS = {"total": "total_depth_nm", "surface": "surface_recession_nm",
            "volume": "volume_depth_nm"}


def _csv_text(fluence, depth, sigma, quantity):
    """The arrays as the CSV text of a measured-data file, read by the program's own reader."""
    if quantity not in _COLUMNS:
        raise ValueError(f'quantity takes total, surface or volume; got "{quantity}"')
    columns = {"fluence_mJ_per_cm2": fluence, _COLUMNS[quantity]: depth}
    if sigma is not None:
        columns["sigma_nm"] = sigma
    values = {name: np.ravel(np.asarray(v, dtype=float)) for name, v in columns.items()}
    lengths = {name: v.size for name, v in values.items()}
    if len(set(lengths.values())) != 1:
        raise ValueError(f"{_ARRAYS} differ in length: " +
                         ", ".join(f"{name} has {n}" for name, n in lengths.items()))
    rows = [",".join(values)]
    rows += [",".join(repr(float(v[i])) for v in values.values())
             for i in range(next(iter(lengths.values())))]
    return "\n".join(rows) + "\n"


def _cell(value, name, index):
    """One CSV cell: a number as Python writes it exactly, text (a data-set label) quoted."""
    if isinstance(value, (str, bytes)):
        text = value.decode() if isinstance(value, bytes) else value
        return '"' + text.replace('"', '""') + '"'
    try:
        return repr(float(value))
    except (TypeError, ValueError):
        raise ValueError(f"{_ARRAYS}, column {name}, index {index}: {value!r} is not a number "
                         "nor a data-set label") from None


def _table_text(table):
    """A dict of columns (name: values) as the CSV text of a measured-data file."""
    columns = {str(name): list(np.ravel(np.asarray(values, dtype=object)))
               for name, values in table.items()}
    if not columns:
        raise ValueError(f"{_ARRAYS} hold no column")
    lengths = {name: len(v) for name, v in columns.items()}
    if len(set(lengths.values())) != 1:
        raise ValueError(f"{_ARRAYS} differ in length: " +
                         ", ".join(f"{name} has {n}" for name, n in lengths.items()))
    rows = [",".join(_cell(name, name, "of the names") for name in columns)]
    rows += [",".join(_cell(v[i], name, i) for name, v in columns.items())
             for i in range(next(iter(lengths.values())))]
    return "\n".join(rows) + "\n"


def _columns_of(table):
    """A table's columns as a dict; a table with a repeated column name is refused (to_dict would
    keep one of them silently)."""
    counts = Counter(str(name) for name in getattr(table, "columns", []))
    repeated = [(name, n) for name, n in counts.items() if n > 1]
    if repeated:
        name, n = repeated[0]
        raise ValueError(f"{_ARRAYS}: the column {name!r} appears {n} times; keep one of them")
    return table.to_dict("list")


def _report(text, fitted):
    report = json.loads(text)
    if fitted is not None:
        report["fitted"] = fitted
    return report


def fit(parameters, data=None, vary=(), *, vary_each=(), separately=False, fluence=None,
        depth=None, sigma=None, quantity=None, bounds=None, jobs=None, max_runs=5000,
        method="bobyqa", analyse=False, min_depth=1.0, progress=None, scheme=None,
        experiment=None, pulse_shape=None, trace=None, pulses=None, rate_hz=None,
        incubated_absorption=None, material=None):
    """Fits Parameter-set fields to measured depths, as `kestrium-batch fit` does.

    parameters: a Parameters holding the starting values; every other field keeps its value.
    The measured data are either data, the path of a CSV file as the batch runner reads it
    (a header naming fluence_mJ_per_cm2, a depth column and optionally sigma_nm), a dict of
    columns with the same names (name: array), any table with to_dict("list") (a pandas
    DataFrame), or the arrays
    fluence (mJ/cm^2), depth (nm) and optionally sigma (nm, one standard deviation per point;
    without it every point weighs the same and the errors are scaled by the reduced
    chi-square). quantity: "total", "surface" or "volume", which depth is measured (with a
    file: which depth column to fit; default total). vary: the field names to fit, e.g.
    ["activation_energy_em"]. A file or table may hold condition columns named by fields
    (pulse_width, absorption_coefficient, ..., and pulses), which set that field for the row's
    run, and a dataset column labelling the data sets (without it the rows sharing their
    conditions form one). vary_each: fields fitted once per data set (e.g.
    "absorption_coefficient" per wavelength) while the vary fields are shared by every row.
    separately: also fit each data set alone, for its values and errors beside the global
    fit's. bounds: {name: (lo, hi)} instead of the default range of a field. jobs: runs of one evaluation at once (default: all cores). max_runs: the most model
    runs in all. method: "bobyqa" or "sbplx". analyse: also the Beer-Lambert analysis of the
    measured points at least min_depth nm deep (with no field to vary: that analysis alone).
    progress: a callable(evaluations, runs, best_chi2). scheme, experiment, pulse_shape,
    trace, pulses, rate_hz, incubated_absorption: the model's runs, as in kestrium.run (a
    train's depth is its mean depth per pulse).

    Returns the batch runner's JSON report as a dict: status, message, quantity, method,
    parameters ({name: {value, stderr, initial, lower, upper, log_scale, at_bound}}),
    correlation, chi2, dof, reduced_chi2, weighted, evaluations, runs, retried_runs,
    failed_runs, wall_seconds, points ([{fluence, measured, sigma, model, residual}]) and
    beer_lambert when analysed; undefined numbers are None. A field fitted per data set is
    listed as "name[set]"; with several data sets, "datasets" lists each one's name, points,
    chi2, its own fitted values ("parameters"), its Beer-Lambert analysis and, with
    separately, its fit alone ("separately"). "fitted" holds the Parameters with the fitted
    values shared by every row. A fit that does not describe the data (status at_bound, undetermined,
    out_of_reach, run_limit) warns (RuntimeWarning) with the reason; one whose runs fail from
    the start raises RuntimeError. A refused request (a field that cannot be fitted, bounds
    outside its range, too few points, bad data, ...) raises ValueError before any run.
    Ctrl-C stops the fit and raises KeyboardInterrupt; its .report holds the best values found.
    """
    if (data is None) == (fluence is None):
        raise ValueError("give the measured data either as data (a CSV file) or as the arrays "
                         "fluence and depth")
    if isinstance(vary, str):
        vary = [name for name in vary.split(",") if name]
    if isinstance(vary_each, str):
        vary_each = [name for name in vary_each.split(",") if name]
    bounds = {name: (float(lo), float(hi)) for name, (lo, hi) in (bounds or {}).items()}
    path = text = None
    if hasattr(data, "to_dict"):
        data = _columns_of(data)
    if isinstance(data, dict):
        text = _table_text(data)
    elif data is not None:
        path = os.fspath(data)
    else:
        if depth is None:
            raise ValueError("the fluence array needs the depth array")
        text = _csv_text(fluence, depth, sigma, quantity or "total")
    try:
        out, fitted, status, notes = _fit(parameters, path, text, _ARRAYS, quantity, list(vary),
                                          list(vary_each), bounds, int(jobs or 0),
                                          int(max_runs), method, bool(analyse),
                                          float(min_depth), progress,
                                          _keywords(experiment, scheme, pulse_shape, trace,
                                                    pulses, rate_hz, incubated_absorption,
                                                    material),
                                          bool(separately))
    except KeyboardInterrupt as e:
        if hasattr(e, "report"):
            e.report = _report(*e.report)
        raise
    for note in notes:
        warnings.warn(note, UserWarning, stacklevel=2)
    report = _report(out, fitted)
    if status == "failed":
        raise RuntimeError(report["message"])
    if status != "converged":
        warnings.warn(f"the fit did not converge cleanly ({status}): {report['message']}",
                      RuntimeWarning, stacklevel=2)
    return report


def threshold(parameters, depth=1.0, quantity="total", jobs=None, scheme=None, *,
              experiment=None, pulse_shape=None, trace=None, pulses=None, rate_hz=None,
              incubated_absorption=None, material=None):
    """The ablation threshold, as `kestrium-batch threshold` finds it.

    The fluence (mJ/cm^2) at which the chosen depth ("total", "surface" or "volume") first
    reaches depth nm, to 0.1 % of the fluence: the fluence of parameters is doubled or halved
    until the depth is bracketed, then the bracket is bisected on a log scale (jobs runs a
    round; default: all cores, as the batch runner). scheme, experiment, pulse_shape, trace,
    pulses, rate_hz, incubated_absorption: the runs, as in kestrium.run; for a train the depth
    is the mean depth per pulse.
    Returns a dict: fluence (the geometric middle of the final bracket), below and above (the
    bracket's fluences), depth_below_nm and depth_above_nm (their depths), depth_nm, quantity,
    pulses, runs, wall_seconds and summary (the batch runner's printed lines).

    pulses may also be a list of pulse numbers (e.g. [1, 2, 5, 10, 20, 50]): the threshold is
    found at each and the incubation law F_th(N) = F_th(1) N^(S-1) fitted through them. Then
    the dict holds pulses and fluence (arrays), s, s_stderr, single_pulse_threshold,
    single_pulse_stderr, chi2, dof and summary.
    A refused parameter, depth, quantity or experiment raises ValueError; no threshold (the
    depth is not reached up to the model's highest fluence, or a run fails) raises RuntimeError
    saying why. Ctrl-C stops the search and raises KeyboardInterrupt.
    """
    if pulses is not None and not isinstance(pulses, (numbers.Real, str)):
        counts = [_whole_number("pulses", n) for n in pulses]
        if len(counts) > 1:
            keywords = _keywords(experiment, scheme, pulse_shape, trace, None, rate_hz,
                                 incubated_absorption, material)
            return _incubation(parameters, float(depth), quantity, int(jobs or 0), counts,
                               keywords)
        pulses = counts[0] if counts else None
    return _threshold(parameters, float(depth), quantity, int(jobs or 0),
                      _keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                incubated_absorption, material))
