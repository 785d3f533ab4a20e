"""Kestrium in Python: the laser-ablation calculation of the program, at native speed.

    import kestrium
    p = kestrium.Parameters(fluence=150)
    r = kestrium.run(p)                  # NumPy arrays of every time step
    s = kestrium.sweep(p, [50, 100, 200]) # an ablation curve, runs in parallel
    p.ablation_model = "surface"         # choices by name (or kestrium.AblationModel.surface)

The calculations are the program's own (the same parameter and solver code). Nothing is written
to disk unless an output folder is given. Long calls release the GIL and stop on Ctrl-C
(KeyboardInterrupt) with no thread left running.
"""

import os as _os
import sys as _sys
import warnings as _warnings

# NumPy, pandas and the study's cluster code load when a call needs them, not at import.
from ._choices import (AblationModel, Autoscale, KineticsFileMode, Material, PulsePlanShape,
                       PulseShape, Scheme, SpatialOutput)
from ._experiment import _keywords as _experiment_keywords, _parameters
from ._kestrium import (Experiment, Parameters, RefusalError, __version__, _crater,
                        _parse_fluences, _run, _save_text, _sweep)
from .analysis import (BeerLambertReport, DiameterFit, FitReport, IncubationFit,
                       IncubationReport, ThresholdReport, fit, threshold)
from .study import StudyTable, study

__all__ = ["Parameters", "Experiment", "Profile", "RunResult", "StudyTable", "run", "sweep",
           "crater", "fit", "threshold", "study", "AblationModel", "PulseShape", "Material", "Autoscale",
           "KineticsFileMode", "SpatialOutput", "Scheme", "PulsePlanShape", "RefusalError",
           "FitReport", "BeerLambertReport", "ThresholdReport", "IncubationReport",
           "DiameterFit", "IncubationFit"]


def __dir__():
    return sorted(__all__ + ["__version__"])


class _Record:
    """A result's values as read-only attributes, made from keywords (the names of __slots__)."""

    __slots__ = ()

    def __init__(self, **values):
        defaults = getattr(self, "_defaults", {})
        for name in self.__slots__:
            value = values.pop(name) if name in values or name not in defaults else defaults[name]
            object.__setattr__(self, name, value)
        if values:
            raise TypeError(f"{type(self).__name__} has no value {next(iter(values))!r}")

    def __setattr__(self, name, value):
        raise AttributeError(f"{type(self).__name__} is read-only: cannot set {name}")

    __delattr__ = __setattr__

    def __reduce__(self):
        return _remade, (type(self), {name: getattr(self, name) for name in self.__slots__})

    def __repr__(self):
        shown = ", ".join(f"{name}={getattr(self, name)!r}" for name in self.__slots__)
        return f"{type(self).__name__}({shown})"


def _remade(kind, values):
    return kind(**values)


class Profile(_Record):
    """The depth profiles at one spatial output instant.

    Attributes
    ----------
    number : int
        The spatial output instant, 1 to 10.
    step : int
        The time step it was taken at.
    time_ns : float
        Its time [ns].
    depth_nm, temperature_K, fraction : numpy.ndarray
        Depth [nm], temperature [K] and fraction of broken bonds, one value per grid node (the
        spatial result files list the same nodes but the last).
    """

    __slots__ = ("number", "step", "time_ns", "depth_nm", "temperature_K", "fraction")


class RunResult(_Record):
    """The result of one calculation.

    Attributes
    ----------
    time_ns, surface_temperature_K, velocity_cm_per_s, depth_nm, surface_fraction : numpy.ndarray
        One value per time step, every step of the run: time [ns], surface temperature [K],
        front velocity [cm/s], ablated depth (surface recession) [nm] and fraction of broken
        bonds at the surface.
    step : numpy.ndarray
        The step numbers.
    profiles : list of Profile
        The depth profiles at the spatial output instants (none when spatial_output is 0).
    surface_recession_nm, volume_depth_nm, total_depth_nm : float
        The depths of the kinetics line [nm]; for a train, the mean depths per pulse.
    fluence_used : float
        The fluence the run used [mJ/cm^2].
    peak_surface_temperature_K, peak_front_velocity_cm_per_s : float
        The peaks of the run [K], [cm/s].
    steps : int
        The number of time steps.
    end : str
        "end test", "step limit", "stopped" or "diverged". A diverged run has its sound steps
        in the arrays, NaN kinetics values and the reason in message.
    kinetics_line : str
        The line of the kinetics file.
    message : str
        Why the run diverged; empty otherwise.
    energy : dict of float
        The energy ledger [mJ/cm^2]: light_in = stored + ablation_sensible + ablation_latent +
        reaction + far_boundary + linear_loss + residual (the residual is what the scheme loses
        or creates: about 1e-9 of the light on the accurate scheme, a few per cent on the
        published); reflected (by the surface) + screened (by the plume) + light_in is the
        incident fluence.
    pulses : dict of numpy.ndarray
        A train's pulse table, one value per pulse: pulse, surface_temperature_before_K,
        surface_fraction_before, peak_surface_temperature_K, surface_recession_nm,
        volume_depth_nm, total_depth_nm (each of that pulse), cumulative_depth_nm and
        surface_temperature_before_error_K (the estimated error of the surface temperature
        before the pulse from the cooling's time steps [K]; 0 for the first pulse) (empty
        arrays for a single pulse); pulses_to_dataframe() gives it as a table.
    parameters : Parameters
        The parameters as the run left them (Auto scales, clamps).
    total_depth_error_nm, peak_surface_temperature_error_K : float
        With a tolerance: the estimated errors of the total depth [nm] and of the peak surface
        temperature [K]; NaN otherwise.
    grid_depth_nm, grid_depth_factor : float
        With a tolerance: the depth of the grid of the level reported [nm] and that depth as a
        multiple of the model's (above 1 when the heat or the light reached the model's bottom
        and the grid was extended); NaN otherwise.
    tolerance_note : str
        Why a run to a tolerance did not reach it; empty otherwise.
    split_steps : int
        Steps that Newton's method could not take whole on the accurate scheme (each split
        into smaller ones).
    """

    __slots__ = ("time_ns", "surface_temperature_K", "velocity_cm_per_s", "depth_nm",
                 "surface_fraction", "step", "profiles", "surface_recession_nm",
                 "volume_depth_nm", "total_depth_nm", "fluence_used", "peak_surface_temperature_K",
                 "peak_front_velocity_cm_per_s", "steps", "end", "kinetics_line", "message",
                 "energy", "pulses", "parameters", "total_depth_error_nm",
                 "peak_surface_temperature_error_K", "grid_depth_nm", "grid_depth_factor",
                 "tolerance_note", "split_steps")
    _defaults = {"total_depth_error_nm": float("nan"),
                 "peak_surface_temperature_error_K": float("nan"),
                 "grid_depth_nm": float("nan"), "grid_depth_factor": float("nan"),
                 "tolerance_note": "",
                 "split_steps": 0}

    def __repr__(self):
        return (
            f"RunResult(end={self.end!r}, steps={self.steps}, "
            f"total_depth_nm={self.total_depth_nm:.6g}, profiles={len(self.profiles)})"
        )

    def to_dataframe(self):
        """The values of every time step as a pandas DataFrame.

        Returns
        -------
        pandas.DataFrame
            One row per time step; the columns step, time_ns, surface_temperature_K,
            velocity_cm_per_s, depth_nm and surface_fraction (units in the names).
        """
        return _pandas("to_dataframe").DataFrame(
            {name: getattr(self, name) for name in _STEP_COLUMNS})

    def pulses_to_dataframe(self):
        """A train's pulse table as a pandas DataFrame, one row per pulse.

        Returns
        -------
        pandas.DataFrame
            Indexed by pulse (1, 2, ...); the columns surface_temperature_before_K,
            surface_fraction_before, peak_surface_temperature_K, surface_recession_nm,
            volume_depth_nm, total_depth_nm, cumulative_depth_nm and
            surface_temperature_before_error_K. Empty for a single pulse.
        """
        table = _pandas("pulses_to_dataframe").DataFrame(dict(self.pulses))
        return table.set_index("pulse")


_STEP_COLUMNS = ("step", "time_ns", "surface_temperature_K", "velocity_cm_per_s", "depth_nm",
                 "surface_fraction")


def _pandas(call):
    try:
        import pandas
    except ImportError:
        raise ImportError(f"{call}() needs pandas (Debian: apt install python3-pandas)") from None
    return pandas


def _folder(path):
    """The folder as a string; the compiled call makes it once its outputs are checked."""
    return _os.fspath(path)


def _raise_file_errors(errors, result):
    if errors:
        error = OSError("; ".join(errors))
        error.result = result
        raise error


_EXPERIMENT_DOC = """experiment : Experiment or path-like, optional
        The experiment, or the path of an experiment file (TOML); a keyword given below
        overrides its value.
    pulse_shape : {'file', 'gaussian', 'measured'}, optional
        'file': the parameters' triangle or rectangle; 'gaussian': FWHM = the pulse width;
        'measured': the shape of trace.
    trace : path-like, optional
        A CSV pulse trace: a time column (time_ns, time_us or time_s) and the intensity.
    pulses : int, optional
        A train of that many pulses, each starting from the state the one before left.
    rate_hz : float, optional
        The train's repetition rate [Hz], needed when pulses > 1.
    incubated_absorption : float, optional
        The absorption coefficient [1/cm] of fully incubated material:
        alpha = alpha0 + (incubated_absorption - alpha0) phi.
    material : path-like, optional
        A material file (TOML): its values replace those of parameters and its c(T) and k(T)
        laws are the runs'."""


def run(parameters, profiles=True, output_dir=None, refinement=1, scheme=None,
        grid_refinement=1, *, experiment=None, pulse_shape=None, trace=None, pulses=None,
        rate_hz=None, incubated_absorption=None, material=None, tolerance=None):
    """Runs one calculation.

    Parameters
    ----------
    parameters : Parameters
        The Parameter set of the run (a dict d is made one with ``Parameters(**d)``).
    profiles : bool, default True
        Keep the depth profiles at the spatial output instants.
    output_dir : path-like, optional
        When given, the run writes the program's result files there (temporal, spatial and
        kinetics files named from data_file_name, the pulse table of a train and, on a spot,
        the crater table); otherwise nothing is written. On a spot, a train runs at every
        radius of the spot as the batch runner's does.
    refinement : int, default 1
        Each time step split into this many sub-steps (1 to 64).
    scheme : {'published', 'accurate'}, optional
        'published' (the program's results) or 'accurate' (energy conserved, second order in
        time and space); default: published for one pulse without incubation, accurate for a
        train or incubation.
    grid_refinement : int, default 1
        With the accurate scheme, every cell of the depth grid split into this many (1 to 32).
    tolerance : float, optional
        A relative error (e.g. 1e-3; the accurate scheme, chosen by it when scheme is not
        given): the run splits cells and steps in two until the total depth and the peak
        surface temperature change by less than it, and reports total_depth_error_nm,
        peak_surface_temperature_error_K and the grid's depth (grid_depth_nm,
        grid_depth_factor); a run that cannot reach it warns and says why in tolerance_note.
    {experiment}

    Returns
    -------
    RunResult
        The values of every time step, the depths and peaks of the run, its energy ledger
        and, for a train, its pulse table.

    Raises
    ------
    TypeError
        parameters is not a Parameters, or a keyword has the wrong type.
    ValueError
        A parameter or setting the run refuses, with the program's message.
    OSError
        A result file could not be written; the result is its ``.result``.
    KeyboardInterrupt
        Ctrl-C stopped the run as the program's Stop does.

    Warns
    -----
    RuntimeWarning
        The run diverged (or left a table of the material file); message says why. Or a run
        to a tolerance did not reach it; tolerance_note says why.

    Examples
    --------
    >>> import kestrium
    >>> r = kestrium.run(kestrium.Parameters(fluence=150))
    >>> depth = r.total_depth_nm                      # [nm]
    >>> steps = r.to_dataframe()                      # one row per time step
    >>> train = kestrium.run(kestrium.Parameters(fluence=100), pulses=5, rate_hz=10)
    >>> per_pulse = train.pulses_to_dataframe()       # one row per pulse
    """
    _parameters(parameters, "run")
    folder = _folder(output_dir) if output_dir is not None else None
    keywords = _experiment_keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                    incubated_absorption, material, tolerance=tolerance)
    d = _run(parameters, bool(profiles), folder, int(refinement), keywords, int(grid_refinement))
    result = RunResult(
        profiles=[Profile(**p) for p in d.pop("profiles")],
        **{k: v for k, v in d.items() if k != "file_errors"},
    )
    if result.end == "diverged":
        _warnings.warn(result.message, RuntimeWarning, stacklevel=2)
    elif result.tolerance_note:
        _warnings.warn(result.tolerance_note, RuntimeWarning, stacklevel=2)
    _raise_file_errors(d["file_errors"], result)
    return result


def _progress_bar(total):
    """A tqdm bar when tqdm is there, else a line on stderr."""
    try:
        from tqdm.auto import tqdm
    except ImportError:
        def line(done, _total):
            print(f"\r{done} of {_total} runs done", end="\n" if done == _total else "",
                  file=_sys.stderr, flush=True)

        return line
    bar = tqdm(total=total, unit="run")

    def update(done, _total):
        bar.update(done - bar.n)
        if done == _total:
            bar.close()

    return update


def sweep(parameters, fluences, jobs=None, log=0, refinement=1, output_dir=None, keep_files=None,
          csv=None, progress=None, scheme=None, *, experiment=None, pulse_shape=None, trace=None,
          pulses=None, rate_hz=None, incubated_absorption=None, material=None, tolerance=None):
    """Runs one calculation per fluence, in parallel: the ablation curve.

    Parameters
    ----------
    parameters : Parameters
        The Parameter set of every run but its fluence.
    fluences : array_like or str
        Fluences in mJ/cm^2, or the batch runner's text ("20:200:10", "40,60,80", or
        "FROM:TO" with log=N for N log-spaced fluences).
    jobs : int, optional
        Threads (default: all cores).
    log : int, default 0
        With "FROM:TO": that many log-spaced fluences.
    refinement : int, default 1
        Sub-steps per time step of every run, as in run().
    output_dir : path-like, optional
        Receives the kinetics file (one line per fluence, following the kinetics file mode).
    keep_files : path-like, optional
        A folder F<fluence> per run with its temporal and spatial files.
    csv : path-like, optional
        The batch runner's CSV table.
    progress : callable or bool, optional
        A callable(done, total), or True for a progress bar (tqdm when installed).
    scheme : {'published', 'accurate'}, optional
        As in run().
    tolerance : float, optional
        As in run(); the arrays then add total_depth_error_nm and
        peak_surface_temperature_error_K.
    {experiment}

    Returns
    -------
    dict of numpy.ndarray
        One entry per fluence, in fluence order, with the columns of the batch runner's CSV
        (fluence_mJ_per_cm2 as used, surface_recession_nm, volume_depth_nm, total_depth_nm,
        peak_surface_temperature_K, peak_front_velocity_cm_per_s, steps, end) and
        kinetics_line and message (why a run diverged). A train adds first_pulse_depth_nm and
        mean_depth_per_pulse_nm. ``pandas.DataFrame(curve)`` makes it a table.

    Raises
    ------
    TypeError
        parameters is not a Parameters, or a keyword has the wrong type.
    ValueError
        A refused fluence or parameter, before any run starts.
    KeyboardInterrupt
        Ctrl-C stopped the runs under way; with output_dir the kinetics lines of the runs
        finished in unbroken fluence order stay written.

    Warns
    -----
    RuntimeWarning
        Runs diverged (NaN depths, no kinetics line): how many and why.

    Examples
    --------
    >>> import kestrium
    >>> curve = kestrium.sweep(kestrium.Parameters(), "20:200:20")
    >>> depths = curve["total_depth_nm"]              # [nm], one per fluence
    >>> curve = kestrium.sweep(kestrium.Parameters(), [50, 100, 200], scheme="accurate")
    """
    import numpy as _np

    _parameters(parameters, "sweep")
    if isinstance(fluences, str):
        fluences = _parse_fluences(fluences, int(log))
    else:
        fluences = [float(f) for f in _np.ravel(_np.asarray(fluences, dtype=float))]
    if progress is True:
        progress = _progress_bar(len(fluences))
    folder = _folder(output_dir) if output_dir is not None else None
    kept = _folder(keep_files) if keep_files is not None else None
    keywords = _experiment_keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                    incubated_absorption, material, tolerance=tolerance)
    d = _sweep(parameters, fluences, int(jobs or 0), int(refinement), keywords, folder, kept,
               None if csv is None else _os.fspath(csv), progress or None)
    errors = d.pop("errors")
    table = d.pop("csv")
    d.pop("kinetics_file")
    if csv is not None:
        try:
            _save_text(_os.fspath(csv), table)
        except OSError as e:
            errors.append(str(e.strerror or e))
    diverged = _np.flatnonzero(d["end"] == "diverged")
    if diverged.size:
        first = diverged[0]
        _warnings.warn(f"{diverged.size} of {len(fluences)} runs diverged; at "
                      f"{fluences[first]:g} mJ/cm^2: {d['message'][first]}", RuntimeWarning,
                      stacklevel=2)
    _raise_file_errors(errors, d)
    return d


def crater(parameters, spot_radius_um, beam="gaussian", depth=1.0, jobs=None, refinement=1,
           scheme=None, *, experiment=None, pulse_shape=None, trace=None, pulses=None,
           rate_hz=None, incubated_absorption=None, material=None):
    """The crater of a focused spot, as the batch runner's crater table.

    Parameters
    ----------
    parameters : Parameters
        The runs' parameters; their fluence is the peak fluence at the spot's centre
        [mJ/cm^2].
    spot_radius_um : float
        The spot's radius [µm] (1/e^2 radius for a Gaussian beam).
    beam : {'gaussian', 'tophat'}, default 'gaussian'
        The beam's profile.
    depth : float, default 1.0
        The depth [nm] at which the crater's diameter is measured.
    jobs : int, optional
        Runs at once (default: all cores).
    refinement : int, default 1
        Sub-steps per time step of every run, as in run().
    scheme, experiment, pulse_shape, trace, pulses, rate_hz, incubated_absorption, material
        The runs, as in run(). A train (pulses=, rate_hz=) runs every radius with the cooling
        between pulses shared in r and z.

    Returns
    -------
    dict of numpy.ndarray
        radius_um [µm] and fluence [mJ/cm^2], one value per radius; depth_nm and
        cumulative_nm [nm], pulses x radii (each pulse's depth and the depth after that many
        pulses); volume_um3 [µm^3] and diameter_um [µm], one value per pulse;
        pulse_energy_uj [µJ], interpolation_error_nm [nm] (the stated error of the depth
        interpolated over the local fluence) and runs. A train adds light_uj and
        surface_loss_uj [µJ].

    Raises
    ------
    TypeError
        A keyword has the wrong type.
    ValueError
        A refused parameter, spot or experiment.
    KeyboardInterrupt
        Ctrl-C: every run stops at its next step; nothing is written.

    Examples
    --------
    >>> import kestrium
    >>> c = kestrium.crater(kestrium.Parameters(fluence=150), spot_radius_um=20)
    >>> c["diameter_um"]  # doctest: +SKIP
    """
    keywords = _experiment_keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                    incubated_absorption, material, beam, spot_radius_um)
    return _crater(parameters, keywords, float(depth), int(jobs or 0), int(refinement))


run.__doc__ = run.__doc__.replace("{experiment}", _EXPERIMENT_DOC)
sweep.__doc__ = sweep.__doc__.replace("{experiment}", _EXPERIMENT_DOC)
