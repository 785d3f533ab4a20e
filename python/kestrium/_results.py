"""The results of the analyses: dicts with the keys of the batch runner's reports (so that
``report["chi2"]``, ``keys()`` and ``json.dumps`` work as on a dict) and typed attributes made by
the compiled module from the analyses' own results (numbers, NumPy arrays, the scheme and the
tolerance of the runs)."""

import math

__all__ = ["FitReport", "BeerLambertReport", "ThresholdReport", "IncubationReport",
           "DiameterFit", "IncubationFit"]


def _number(value):
    if isinstance(value, float) and not math.isfinite(value):
        return "nan"
    if isinstance(value, float):
        return f"{value:.6g}"
    return repr(value)


class _Result(dict):
    """A dict of a report's keys with typed attributes."""

    # The attributes __repr__ shows, in order.
    _shown = ()
    # True: every key of the dict is an attribute too (reports of numbers only).
    _keys_are_attributes = True

    def __init__(self, values, attributes):
        super().__init__(values)
        if self._keys_are_attributes:
            self.__dict__.update(values)
        self.__dict__.update(attributes)

    def to_dict(self):
        """The report as a plain dict (its keys and values, without the attributes)."""
        return dict(self)

    def __repr__(self):
        shown = ", ".join(f"{name}={_number(getattr(self, name))}" for name in self._shown
                          if getattr(self, name, None) is not None)
        return f"{type(self).__name__}({shown})"

    def __reduce__(self):
        values = dict(self)
        attributes = {k: v for k, v in self.__dict__.items() if k not in values}
        return (type(self), (values, attributes))


class FitReport(_Result):
    """The report of kestrium.fit: the fitted values with their errors, chi-square and points.

    As a dict it holds the batch runner's JSON report (``report["parameters"]``,
    ``report["message"]``, ...) and "fitted"; ``to_dict()`` gives that dict.

    Attributes
    ----------
    status : str
        'converged', 'at_bound', 'undetermined', 'out_of_reach', 'run_limit', 'interrupted' or
        'failed'.
    message : str
        What went wrong or what to watch; empty for a clean fit.
    names : list of str
        The fitted fields, "name[set]" for a field fitted per data set.
    values, errors : numpy.ndarray
        The fitted values and their standard errors, in the order of names (NaN: not determined,
        or no point evaluated).
    lower, upper : numpy.ndarray
        The bounds of each field.
    correlation : numpy.ndarray
        The correlation matrix of the values (NaN where not determined).
    chi2, reduced_chi2 : float
        The (reduced) chi-square at the best values.
    dof : int
        Degrees of freedom: points less fields.
    weighted : bool
        Whether the data gave each point's sigma.
    fluence, measured, sigma, model_depth, residual : numpy.ndarray
        Per point: fluence [mJ/cm^2], measured and model depth [nm], sigma [nm] and
        measured - model [nm].
    bias : numpy.ndarray
        Per point: the discretisation bias of a fit on the published scheme, (accurate -
        published) / the point's error; NaN when not measured.
    largest_bias : float
        The largest abs(bias); NaN when not measured.
    scheme : str
        The scheme of the runs, 'published' or 'accurate'.
    tolerance : float
        The accurate scheme's relative error (0: one run on the grid as it is).
    model : str
        The runs as the report names them ("accurate scheme, tolerance 0.001").
    quantity : str
        The fitted depth: 'total', 'surface' or 'volume'.
    evaluations, runs : int
        Objective evaluations and model runs, the fits of each data set alone included.
    wall_seconds : float
        The time the fit took.
    datasets : list of str
        The names of the data sets.
    notes : list of str
        The data's notes: columns not used, units converted.
    fitted : Parameters
        The parameters with the fitted values.
    """

    _shown = ("status", "chi2", "dof", "model")
    _keys_are_attributes = False

    def __repr__(self):
        values = ", ".join(f"{name}={_number(float(v))} ± {_number(float(e))}"
                           for name, v, e in zip(self.names, self.values, self.errors))
        text = super().__repr__()
        return text[:-1] + (", " + values if values else "") + ")"


class BeerLambertReport(_Result):
    """The Beer-Lambert analysis alone (kestrium.fit with analyse=True and no field to vary).

    As a dict it holds the batch runner's JSON report; ``to_dict()`` gives that dict.

    Attributes
    ----------
    datasets : list of str
        The data sets analysed, one entry of each array below per data set.
    threshold_fluence, threshold_stderr : numpy.ndarray
        The threshold F_th [mJ/cm^2] and its standard error (NaN: not determined).
    absorption_length_nm, absorption_length_stderr : numpy.ndarray
        1/alpha_eff [nm] and its standard error.
    chi2 : numpy.ndarray
        The chi-square of each line.
    points_used : numpy.ndarray
        The points at least min_depth deep that each line went through.
    fluence, measured : numpy.ndarray
        Every point's fluence [mJ/cm^2] and measured depth [nm].
    notes : list of str
        The data's notes: columns not used, units converted.
    """

    _shown = ("datasets",)
    _keys_are_attributes = False

    def __repr__(self):
        lines = ", ".join(f"{name or 'data'}: F_th={_number(float(f))}, "
                          f"1/alpha={_number(float(a))} nm"
                          for name, f, a in zip(self.datasets, self.threshold_fluence,
                                                self.absorption_length_nm))
        return f"BeerLambertReport({lines})"


class ThresholdReport(_Result):
    """The ablation threshold of kestrium.threshold; every key is an attribute too.

    Attributes
    ----------
    fluence : float
        The threshold [mJ/cm^2]: the geometric middle of the final bracket.
    below, above : float
        The bracket's fluences [mJ/cm^2].
    depth_below_nm, depth_above_nm : float
        The depths [nm] at below and above.
    depth_nm : float
        The depth that defines the threshold.
    quantity : str
        Which depth: 'total', 'surface' or 'volume'.
    pulses : int
        The pulses of the runs.
    runs : int
        Model runs.
    wall_seconds : float
        The time the search took.
    summary : str
        The batch runner's printed lines.
    model : str
        The runs as the summary names them.
    scheme : str
        The scheme of the runs, 'published' or 'accurate'.
    tolerance : float
        The accurate scheme's relative error (0: one run on the grid as it is).
    """

    _shown = ("fluence", "below", "above", "depth_nm", "pulses", "model")


class IncubationReport(_Result):
    """The thresholds at several pulse numbers and the incubation law F_th(N) =
    F_th(1) N^(S-1) through them (kestrium.threshold with a list of pulses); every key is an
    attribute too.

    Attributes
    ----------
    pulses, fluence : numpy.ndarray
        The pulse numbers and their thresholds [mJ/cm^2].
    below, above : numpy.ndarray
        Each threshold's bracket [mJ/cm^2].
    s, s_stderr : float
        The incubation coefficient S and its standard error.
    single_pulse_threshold, single_pulse_stderr : float
        F_th(1) [mJ/cm^2] and its standard error.
    chi2 : float
        The chi-square of the law's line.
    dof : int
        Its degrees of freedom.
    depth_nm : float
        The depth that defines the thresholds.
    quantity : str
        Which depth.
    summary : str
        The batch runner's printed lines.
    scheme : str
        The scheme of the runs.
    tolerance : float
        The accurate scheme's relative error.
    """

    _shown = ("s", "s_stderr", "single_pulse_threshold", "single_pulse_stderr", "chi2", "dof")


class DiameterFit(_Result):
    """The D^2 method's fit through measured crater diameters
    (kestrium.analysis.fit_diameters); every key is an attribute too.

    Attributes
    ----------
    threshold_fluence, threshold_stderr : float
        F_th(1) [mJ/cm^2] and its standard error.
    threshold_energy_uj : float
        E_th(1) [µJ].
    radius_um, radius_stderr : float
        The spot's radius w [µm] and its standard error.
    s, s_stderr : float or None
        The incubation coefficient and its error; None without several pulse numbers.
    points : int
        The rows with a crater.
    rms_residual_um2 : float
        The rms residual of D^2 [µm^2].
    """

    _shown = ("threshold_fluence", "threshold_stderr", "radius_um", "radius_stderr", "s",
              "points")


class IncubationFit(_Result):
    """The incubation law F_th(N) = F_th(1) N^(S-1) through measured thresholds
    (kestrium.analysis.fit_thresholds); every key is an attribute too.

    Attributes
    ----------
    s, s_stderr : float
        The incubation coefficient S and its standard error.
    single_pulse_threshold, single_pulse_stderr : float
        F_th(1) [mJ/cm^2] and its standard error.
    chi2 : float
        The chi-square of the line.
    dof : int
        Its degrees of freedom.
    weighted : bool
        Whether every threshold gave its sigma.
    """

    _shown = ("s", "s_stderr", "single_pulse_threshold", "single_pulse_stderr")
