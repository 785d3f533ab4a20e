"""Analyses on the model: fits of parameters to measured ablation depths and the threshold.

Both are the batch runner's fit and threshold commands, on the same analysis code. They return
report classes (FitReport, ThresholdReport, ...): dicts with the keys of the batch runner's
reports and typed attributes. They release the GIL and stop on Ctrl-C (KeyboardInterrupt).
"""

import numbers
import os
import warnings
from collections import Counter

from ._experiment import _keywords, _parameters, _whole_number
from ._kestrium import (_fit, _fit_diameters, _fit_thresholds, _incubation,
                        _threshold)
from ._results import (BeerLambertReport, DiameterFit, FitReport, IncubationFit,
                       IncubationReport, ThresholdReport)

__all__ = ["fit", "threshold", "fit_diameters", "fit_thresholds", "FitReport",
           "BeerLambertReport", "ThresholdReport", "IncubationReport", "DiameterFit",
           "IncubationFit"]

_ARRAYS = "the data arrays"
_COLUMNS = {"total": "total_depth_nm", "surface": "surface_recession_nm",
            "volume": "volume_depth_nm"}


def _array_columns(fluence, depth, sigma, quantity):
    """The arrays as the columns of measured data, named as a measured-data file names them."""
    import numpy as np

    if quantity not in _COLUMNS:
        raise ValueError(f'quantity takes total, surface or volume; got "{quantity}"')
    columns = {"fluence_mJ_per_cm2": fluence, _COLUMNS[quantity]: depth}
    if sigma is not None:
        columns["sigma_nm"] = sigma
    return _equal_lengths({name: np.ravel(np.asarray(v, dtype=float)).tolist()
                           for name, v in columns.items()})


def _table_columns(table):
    """A dict of columns (name: values) as lists of equal length, for the data reader."""
    import numpy as np

    columns = {str(name): list(np.ravel(np.asarray(values, dtype=object)))
               for name, values in table.items()}
    if not columns:
        raise ValueError(f"{_ARRAYS} hold no column")
    return _equal_lengths(columns)


def _equal_lengths(columns):
    lengths = {name: len(v) for name, v in columns.items()}
    if len(set(lengths.values())) != 1:
        raise ValueError(f"{_ARRAYS} differ in length: " +
                         ", ".join(f"{name} has {n}" for name, n in lengths.items()))
    return columns


def _columns_of(table):
    """A table's columns as a dict; a table with a repeated column name is refused (to_dict would
    keep one of them silently)."""
    counts = Counter(str(name) for name in getattr(table, "columns", []))
    repeated = [(name, n) for name, n in counts.items() if n > 1]
    if repeated:
        name, n = repeated[0]
        raise ValueError(f"{_ARRAYS}: the column {name!r} appears {n} times; keep one of them")
    return table.to_dict("list")


def fit(parameters, data=None, vary=(), *, vary_each=(), separately=False, fluence=None,
        depth=None, sigma=None, quantity=None, bounds=None, jobs=None, max_runs=5000,
        method="bobyqa", analyse=False, min_depth=1.0, progress=None, scheme=None,
        experiment=None, pulse_shape=None, trace=None, pulses=None, rate_hz=None,
        incubated_absorption=None, material=None, tolerance=None):
    """Fits Parameter-set fields to measured depths, as `kestrium-batch fit` does.

    Parameters
    ----------
    parameters : Parameters
        The starting values; every other field keeps its value.
    data : path-like, dict or DataFrame, optional
        The measured data: a CSV file as the batch runner reads it, a dict of columns with the
        same names, or any table with to_dict("list") (a pandas DataFrame). The header names
        fluence_mJ_per_cm2 (or "Fluence (J/cm2)": converted), a depth column (total_depth_nm,
        surface_recession_nm, volume_depth_nm, or in um: converted) and optionally sigma_nm,
        condition columns named by fields with their unit (pulse_width_ns, tau_ns,
        absorption_coefficient, ..., and pulses) and a dataset column. A pandas index column
        (no name, 0, 1, 2, ...) is skipped.
    vary : str or list of str
        The fields to fit, shared by every row, e.g. ["activation_energy_em"].
    vary_each : str or list of str
        Fields fitted once per data set (e.g. "absorption_coefficient" per wavelength).
    separately : bool, default False
        Also fit each data set alone, for its values and errors beside the global fit's.
    fluence, depth, sigma : array_like, optional
        Instead of data: fluence [mJ/cm^2], depth [nm] and optionally one standard deviation
        per point [nm] (without it every point weighs the same and the errors are scaled by
        the reduced chi-square).
    quantity : {'total', 'surface', 'volume'}, optional
        Which depth is measured (with a file: which depth column to fit; default total).
    bounds : dict, optional
        {name: (lo, hi)} instead of the default range of a field.
    jobs : int, optional
        Runs of one evaluation at once (default: all cores).
    max_runs : int, default 5000
        The most model runs in all.
    method : {'bobyqa', 'sbplx'}
        The search.
    analyse : bool, default False
        Also the Beer-Lambert analysis of the points at least min_depth nm deep (with no field
        to vary: that analysis alone).
    min_depth : float, default 1.0
        [nm], for analyse.
    progress : callable, optional
        A callable(evaluations, runs, best_chi2).
    scheme, experiment, pulse_shape, trace, pulses, rate_hz, incubated_absorption, material, tolerance
        The model's runs, as in kestrium.run (a train's depth is its mean depth per pulse).
        Unless scheme="published" is asked for they run on the accurate scheme at tolerance
        1e-3, and the report names the scheme and the tolerance. A fit on the published scheme
        reports its discretisation bias at the best fit (one accurate run per point, in units of
        each point's error) and warns when it exceeds 1.

    Returns
    -------
    FitReport
        Typed attributes (values, errors, correlation, chi2, bias, scheme, tolerance, ...; with
        analyse and no field to vary: a BeerLambertReport) and, as a dict, the batch runner's
        JSON report: status, message, quantity, method, parameters
        ({name: {value, stderr, initial, lower, upper, log_scale, at_bound}}), correlation,
        chi2, dof, reduced_chi2, weighted, evaluations, runs, retried_runs, failed_runs,
        wall_seconds, points ([{fluence, measured, sigma, model, residual}]), beer_lambert
        when analysed, notes (columns not used, units converted) and "fitted", the
        Parameters with the fitted values. A field fitted per data set is listed as
        "name[set]"; with several data sets "datasets" lists each one's name, points, chi2,
        its own values, its Beer-Lambert analysis and, with separately, its fit alone.

    Raises
    ------
    TypeError
        parameters is not a Parameters.
    ValueError
        A refused request (a field that cannot be fitted, bounds outside its range, too few
        points, bad data, ...), before any run.
    RuntimeError
        The runs fail from the start.
    KeyboardInterrupt
        Ctrl-C stopped the fit; its .report holds the best values found.

    Warns
    -----
    RuntimeWarning
        The fit does not describe the data (status at_bound, undetermined, out_of_reach,
        run_limit), with the reason.
    UserWarning
        The data's notes: columns not used, units converted.

    Examples
    --------
    >>> import kestrium
    >>> p = kestrium.Parameters()
    >>> report = kestrium.fit(p, "measured.csv", vary=["activation_energy_em"])
    >>> em = report["parameters"]["activation_energy_em"]["value"]
    >>> values, errors = report.values, report.errors    # NumPy arrays, in report.names' order
    >>> fitted = report["fitted"]                     # a Parameters with the fitted values
    >>> report = kestrium.fit(p, fluence=[60, 100, 200], depth=[20, 95, 230],
    ...                       vary="activation_energy_em")
    """
    _parameters(parameters, "fit")
    if (data is None) == (fluence is None):
        raise ValueError("give the measured data either as data (a CSV file) or as the arrays "
                         "fluence and depth")
    if isinstance(vary, str):
        vary = [name for name in vary.split(",") if name]
    if isinstance(vary_each, str):
        vary_each = [name for name in vary_each.split(",") if name]
    bounds = {name: (float(lo), float(hi)) for name, (lo, hi) in (bounds or {}).items()}
    path = columns = None
    if hasattr(data, "to_dict"):
        data = _columns_of(data)
    if isinstance(data, dict):
        columns = _table_columns(data)
    elif data is not None:
        path = os.fspath(data)
    else:
        if depth is None:
            raise ValueError("the fluence array needs the depth array")
        columns = _array_columns(fluence, depth, sigma, quantity or "total")
    report, notes = _fit(parameters, path, columns, _ARRAYS, quantity, list(vary), list(vary_each),
                         bounds, int(jobs or 0), int(max_runs), method, bool(analyse),
                         float(min_depth), progress,
                         _keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                   incubated_absorption, material, tolerance=tolerance),
                         bool(separately))
    for note in notes:
        warnings.warn(note, UserWarning, stacklevel=2)
    status = getattr(report, "status", "converged")
    if status == "failed":
        raise RuntimeError(report["message"])
    if status != "converged":
        warnings.warn(f"the fit did not converge cleanly ({status}): {report['message']}",
                      RuntimeWarning, stacklevel=2)
    elif (report.get("largest_bias_sigma") or 0.0) > 1.0:
        warnings.warn(report["message"], RuntimeWarning, stacklevel=2)
    return report


def threshold(parameters, depth=1.0, quantity="total", jobs=None, scheme=None, *,
              experiment=None, pulse_shape=None, trace=None, pulses=None, rate_hz=None,
              incubated_absorption=None, material=None, tolerance=None):
    """The ablation threshold, as `kestrium-batch threshold` finds it.

    The fluence [mJ/cm^2] at which the chosen depth first reaches depth nm, to 0.1 % of the
    fluence: the fluence of parameters is doubled or halved until the depth is bracketed,
    then the bracket is bisected on a log scale. The runs take the accurate scheme at tolerance
    1e-3 unless scheme="published" is asked for.

    Parameters
    ----------
    parameters : Parameters
        The runs' parameters; their fluence starts the search.
    depth : float, default 1.0
        The depth [nm] that defines the threshold.
    quantity : {'total', 'surface', 'volume'}
        Which depth.
    jobs : int, optional
        Runs of a round at once (default: all cores).
    pulses : int or list of int, optional
        A train of that many pulses; a list (e.g. [1, 2, 5, 10, 20, 50]) finds the threshold
        at each and fits the incubation law F_th(N) = F_th(1) N^(S-1) through them.
    scheme, experiment, pulse_shape, trace, rate_hz, incubated_absorption, material, tolerance
        The runs, as in kestrium.run; for a train the depth is the mean depth per pulse.

    Returns
    -------
    ThresholdReport or IncubationReport
        A dict whose keys are attributes too, with scheme and tolerance besides: fluence (the
        geometric middle of the final bracket), below and above (the bracket's
        fluences), depth_below_nm and depth_above_nm, depth_nm, quantity, pulses, runs,
        wall_seconds and summary (the batch runner's printed lines). With a list of pulses:
        pulses and fluence (arrays), s, s_stderr, single_pulse_threshold,
        single_pulse_stderr, chi2, dof and summary.

    Raises
    ------
    TypeError
        parameters is not a Parameters.
    ValueError
        A refused parameter, depth, quantity or experiment.
    RuntimeError
        No threshold: the depth is not reached up to the model's highest fluence, or a run
        fails.
    KeyboardInterrupt
        Ctrl-C stopped the search.

    Examples
    --------
    >>> import kestrium
    >>> t = kestrium.threshold(kestrium.Parameters(fluence=50))
    >>> f_th = t.fluence                              # [mJ/cm^2], also t["fluence"]
    >>> law = kestrium.threshold(kestrium.Parameters(fluence=30), pulses=[1, 2, 4, 8],
    ...                          rate_hz=10, incubated_absorption=6.4e5, tolerance=1e-2)
    >>> s = law["s"]                                  # the incubation exponent
    """
    _parameters(parameters, "threshold")
    if pulses is not None and not isinstance(pulses, (numbers.Real, str)):
        counts = [_whole_number("pulses", n) for n in pulses]
        if len(counts) > 1:
            keywords = _keywords(experiment, scheme, pulse_shape, trace, None, rate_hz,
                                 incubated_absorption, material, tolerance=tolerance)
            return _incubation(parameters, float(depth), quantity, int(jobs or 0), counts,
                               keywords)
        pulses = counts[0] if counts else None
    return _threshold(parameters, float(depth), quantity, int(jobs or 0),
                      _keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                incubated_absorption, material, tolerance=tolerance))


# What the fits of measured files share in their docstrings: the file, the refusal, the example.
_MEASURED_FILE_DOC = """
    Parameters
    ----------
    path : path-like
        A CSV file with the columns {columns}.

    Returns
    -------
    {result}
        A dict whose keys are attributes too: {keys}.

    Raises
    ------
    ValueError
        A bad file, naming its line and problem.

    Examples
    --------
    >>> from kestrium.analysis import {call}
    >>> fit = {call}("{example}")
    >>> {use}
"""


def _measured_file_doc(**fields):
    """Completes a docstring with the shared part of the fits of measured files."""
    def document(function):
        if function.__doc__ is not None:  # None under python -OO
            function.__doc__ += _MEASURED_FILE_DOC.format(call=function.__name__, **fields)
        return function
    return document


@_measured_file_doc(
    columns="energy_uj [µJ], diameter_um [µm] (0 for no crater) and, optionally, pulses",
    result="DiameterFit",
    keys="threshold_fluence and threshold_stderr [mJ/cm^2], radius_um and radius_stderr "
         "[µm],\n        s and s_stderr (None without several pulse numbers) and points",
    example="craters.csv", use="f_th, w = fit.threshold_fluence, fit.radius_um")
def fit_diameters(path):
    """The D^2 method on measured craters of a Gaussian spot.

    Fits D^2 = 2 w^2 ln(E / E_th(N)), E_th(N) = pi w^2 F_th(1) N^(S-1) / 2 through the
    measured diameters, as `kestrium-batch threshold --diameters` does.
"""
    return _fit_diameters(os.fspath(path))


@_measured_file_doc(
    columns="pulses, threshold_mj_cm2 [mJ/cm^2] and, optionally,\n        sigma_mj_cm2 "
            "[mJ/cm^2]",
    result="IncubationFit",
    keys="s and s_stderr (the incubation exponent),\n        single_pulse_threshold and "
         "single_pulse_stderr [mJ/cm^2]",
    example="thresholds.csv", use='s = fit["s"]')
def fit_thresholds(path):
    """The incubation law F_th(N) = F_th(1) N^(S-1) through measured thresholds.
"""
    return _fit_thresholds(os.fspath(path))
