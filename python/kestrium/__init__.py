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
from dataclasses import dataclass as _dataclass, field as _field

import numpy as _np

from ._choices import (AblationModel, Autoscale, KineticsFileMode, Material, PulsePlanShape,
                       PulseShape, Scheme, SpatialOutput)
from ._experiment import _keywords as _experiment_keywords
from ._kestrium import (Experiment, Parameters, __version__, _parse_fluences, _run, _save_text,
                        _sweep)
from .analysis import fit, threshold
from .study import StudyTable, study

__all__ = ["Parameters", "Experiment", "Profile", "RunResult", "StudyTable", "run", "sweep", "fit",
           "threshold", "study", "AblationModel", "PulseShape", "Material", "Autoscale",
           "KineticsFileMode", "SpatialOutput", "Scheme", "PulsePlanShape"]


def __dir__():
    return sorted(__all__ + ["__version__"])


@_dataclass(frozen=True)
class Profile:
    """The depth profiles at one spatial output instant (number 1 to 10).

    depth_nm, temperature_K and fraction (of broken bonds) hold one value per grid node; the
    spatial result files list the same nodes but the last.
    """

    number: int
    step: int
    time_ns: float
    depth_nm: _np.ndarray
    temperature_K: _np.ndarray
    fraction: _np.ndarray


@_dataclass(frozen=True)
class RunResult:
    """The result of one calculation.

    time_ns, surface_temperature_K, velocity_cm_per_s, depth_nm (ablated: surface recession)
    and surface_fraction (of broken bonds) hold one value per time step, every step of the run;
    step holds the step numbers. profiles are the depth profiles at the spatial output instants
    of the parameters (none when their spatial output is 0). The kinetics values are those of
    the kinetics line; end is "end test", "step limit", "stopped" or "diverged". A diverged run
    has its sound steps in the arrays, NaN kinetics values and the reason in message.
    parameters are the parameters as the run left them (Auto scales, clamps). energy is the
    run's energy ledger in mJ/cm^2: light_in = stored + ablation_sensible + ablation_latent +
    reaction + far_boundary + linear_loss + residual (the residual is what the scheme loses or
    creates: about 1e-9 of the light on the accurate scheme, a few per cent on the published).
    pulses is a train's pulse table, NumPy arrays with one value per pulse: pulse,
    surface_temperature_before_K, surface_fraction_before, peak_surface_temperature_K,
    surface_recession_nm, volume_depth_nm, total_depth_nm (each of that pulse) and
    cumulative_depth_nm (empty arrays for a single pulse). For a train the kinetics values are
    the mean depths per pulse over the train.
    """

    time_ns: _np.ndarray
    surface_temperature_K: _np.ndarray
    velocity_cm_per_s: _np.ndarray
    depth_nm: _np.ndarray
    surface_fraction: _np.ndarray
    step: _np.ndarray
    profiles: list
    surface_recession_nm: float
    volume_depth_nm: float
    total_depth_nm: float
    fluence_used: float
    peak_surface_temperature_K: float
    peak_front_velocity_cm_per_s: float
    steps: int
    end: str
    kinetics_line: str
    message: str
    energy: dict
    pulses: dict
    parameters: Parameters = _field(repr=False)

    def __repr__(self):
        return (
            f"RunResult(end={self.end!r}, steps={self.steps}, "
            f"total_depth_nm={self.total_depth_nm:.6g}, profiles={len(self.profiles)})"
        )


def _folder(path):
    """The folder as a string; the compiled call makes it once its outputs are checked."""
    return _os.fspath(path)


def _raise_file_errors(errors, result):
    if errors:
        error = OSError("; ".join(errors))
        error.result = result
        raise error


_EXPERIMENT_DOC = """
    The experiment (keywords as the batch runner's options; a keyword given overrides the value
    of experiment=): experiment: an Experiment or the path of an experiment file (TOML).
    scheme: "published" or "accurate"; default (None): published for one pulse without
    incubation, accurate for a train or incubation (published refuses them). pulse_shape:
    "file" (the parameters' triangle or rectangle), "gaussian" (FWHM = the pulse width) or
    "measured" (with trace=, a CSV file of time_ns,intensity). pulses, rate_hz: a train of
    pulses at that rate, each starting from the state the one before left. incubated_absorption:
    the absorption coefficient [1/cm] of fully incubated material, alpha = alpha0 +
    (incubated_absorption - alpha0) phi. A refusal (a bad file or trace, settings that do not go
    together) raises ValueError before any run.
"""


def run(parameters, profiles=True, output_dir=None, refinement=1, scheme=None,
        grid_refinement=1, *, experiment=None, pulse_shape=None, trace=None, pulses=None,
        rate_hz=None, incubated_absorption=None, material=None):
    """Runs one calculation and returns a RunResult.

    parameters: a Parameters. profiles: keep the depth profiles at the spatial output instants.
    output_dir: when given, the run writes the program's result files there (temporal, spatial
    and kinetics files named from data_file_name), exactly as the program and the batch runner
    do; otherwise nothing is written. refinement: each time step split into this many sub-steps
    (1 to 64; 1 is the model's own step). scheme: "published" (default, the program's results)
    or "accurate" (energy conserved, second order in time and space); grid_refinement: with the
    accurate scheme, every cell of the depth grid split into this many (1 to 4). material: the
    path of a material file (TOML): its values replace those of parameters and its c(T) and k(T)
    laws are the run's, as the batch runner's --material; a run whose temperatures leave a
    table of the file ends with end "diverged" and the refusal in message, without depths.
    A refused parameter raises ValueError with the
    program's message; a diverged run warns (RuntimeWarning) and says why in message; a result
    file that cannot be written raises OSError naming it, with the result as its .result.
    Ctrl-C stops the run as the program's Stop does (with output_dir its files are those of a
    stopped run) and raises KeyboardInterrupt.
    """
    folder = _folder(output_dir) if output_dir is not None else None
    keywords = _experiment_keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                    incubated_absorption, material)
    d = _run(parameters, bool(profiles), folder, int(refinement), keywords, int(grid_refinement))
    result = RunResult(
        profiles=[Profile(**p) for p in d.pop("profiles")],
        **{k: v for k, v in d.items() if k != "file_errors"},
    )
    if result.end == "diverged":
        _warnings.warn(result.message, RuntimeWarning, stacklevel=2)
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
          pulses=None, rate_hz=None, incubated_absorption=None, material=None):
    """Runs one calculation per fluence, in parallel, and returns the ablation curve.

    fluences: fluences in mJ/cm^2, or the batch runner's text ("20:200:10", "40,60,80", or
    "FROM:TO" with log=N for N log-spaced fluences). jobs: threads (default: all cores).
    refinement: sub-steps per time step of every run, as in run(). scheme: "published" or
    "accurate", and material: a material file for every run, as in run().
    Returns a dict of NumPy arrays in fluence order, one entry per fluence, with the columns of
    the batch runner's CSV (fluence_mJ_per_cm2 as used, surface_recession_nm, volume_depth_nm,
    total_depth_nm, peak_surface_temperature_K, peak_front_velocity_cm_per_s, steps, end) and
    kinetics_line and message (why a run diverged). Diverged runs have NaN depths, no line in
    the kinetics file, and a RuntimeWarning says how many there were. A train adds
    first_pulse_depth_nm and mean_depth_per_pulse_nm (its other depths are means per pulse).

    Nothing is written unless asked: output_dir receives the kinetics file (one line per
    fluence, as the batch runner's sweep writes it, following the kinetics file mode),
    keep_files a folder F<fluence> per run with its temporal and spatial files, csv the batch
    runner's CSV table. progress: a callable(done, total), or True for a progress bar (tqdm
    when installed).
    A refused fluence or parameter raises ValueError before any run starts; Ctrl-C stops the
    runs under way and raises KeyboardInterrupt (with output_dir the kinetics lines of the
    runs finished in unbroken fluence order stay written).
    """
    if isinstance(fluences, str):
        fluences = _parse_fluences(fluences, int(log))
    else:
        fluences = [float(f) for f in _np.ravel(_np.asarray(fluences, dtype=float))]
    if progress is True:
        progress = _progress_bar(len(fluences))
    folder = _folder(output_dir) if output_dir is not None else None
    kept = _folder(keep_files) if keep_files is not None else None
    keywords = _experiment_keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                                    incubated_absorption, material)
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


run.__doc__ += _EXPERIMENT_DOC
sweep.__doc__ += _EXPERIMENT_DOC
