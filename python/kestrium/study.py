"""Parameter studies: one calculation per point of a product of field values or of a list of
points, on the threads of this machine or on the workers of a Dask cluster.

    import kestrium
    p = kestrium.Parameters()
    t = kestrium.study(p, vary={"fluence": "10:1000:log40", "pulse_width": [5, 10, 20, 40]})
    t["total_depth_nm"]          # one value per point, in point order
    t.to_csv("map/study.csv")    # the table `kestrium-batch study` writes, byte for byte

    from distributed import Client
    t = kestrium.study(p, vary={...}, client=Client("tcp://scheduler:8786"))  # the same table

The points, their order and the table are those of the batch runner's study command, whatever
runs them: the last field of vary varies fastest, a refused or diverged point is a row with
empty results and the reason in its note.
"""

import math
import os
import time
from collections.abc import Mapping

from ._experiment import _keywords, _parameters
from ._kestrium import (Parameters, _result_columns, _save_text, _Study, _study_end_texts,
                        _study_values)

_CHOICES = Parameters.choices()

__all__ = ["StudyTable", "study"]

# Measured with bench/dask_study_bench.py on a loaded 2-core machine: a Dask task costs about
# 5 ms of worker time (2.6 ms of CPU), a point about 60 ms. Chunks of at least 8 points keep the
# overhead near 1 % of the runs; at most 256 points (about 15 s) keep the progress fine and the
# work lost with a worker small.
SMALLEST_CHUNK = 8
LARGEST_CHUNK = 256
CHUNKS_PER_THREAD = 4
# How long the client waits for a chunk before it looks at Ctrl-C and the deadline.
WAIT_SECONDS = 0.5

_RESULT_COLUMNS = _result_columns


class StudyTable(dict):
    """The results of a study: one NumPy array per column of the study table, in point order.

    The keys are the table's columns: point, the varied fields (the values as the table shows
    them), surface_recession_nm, volume_depth_nm, total_depth_nm [nm],
    peak_surface_temperature_K [K], peak_front_velocity_cm_per_s [cm/s] (with energy=True
    followed by the energy ledger's columns [mJ/cm^2]; NaN where the table leaves them empty:
    diverged and refused points), steps (0 for a refused point), end ("end test", "step
    limit", "diverged", "refused") and note.

    Attributes
    ----------
    table_text : str
        The table itself, the bytes `kestrium-batch study` writes to study.csv for the same
        parameters and values.
    hash : str
        The study's hash (the table's first line), which shard tables of the same study share.

    Examples
    --------
    >>> import kestrium
    >>> t = kestrium.study(kestrium.Parameters(), vary={"fluence": [50, 100, 200]})
    >>> depths = t["total_depth_nm"]
    >>> frame = t.to_dataframe()
    """

    def __init__(self, columns, table_text, study_hash):
        super().__init__(columns)
        self.table_text = table_text
        self.hash = study_hash

    def to_csv(self, path):
        """Writes the table: the batch runner's study.csv, byte for byte.

        The file is written as the batch runner writes its files: under an exclusive temporary
        beside it, flushed and renamed into place, so it is never left half written.

        Parameters
        ----------
        path : path-like
            The file to write.

        Raises
        ------
        OSError
            The file could not be written, with the reason.
        """
        _save_text(os.fspath(path), self.table_text)

    def to_dataframe(self):
        """The table as a pandas DataFrame.

        Returns
        -------
        pandas.DataFrame
            One row per point, the columns in table order (units in their names).

        Raises
        ------
        ImportError
            pandas is not installed.
        """
        from . import _pandas

        return _pandas("to_dataframe").DataFrame(dict(self))

    def __repr__(self):
        ends = {}
        for end in self["end"]:
            ends[end] = ends.get(end, 0) + 1
        counts = ", ".join(f"{n} {end}" for end, n in ends.items())
        return f"StudyTable(study {self.hash}: {len(self['point'])} points, {counts})"


def _asyncio_timeout():
    import asyncio  # only a study on a cluster needs it

    return asyncio.TimeoutError


def _values(name, values):
    codes = _CHOICES.get(name)
    if codes and not isinstance(values, str):  # choices by name: ["surface", "bulk"]
        values = [codes.get(v, v) if isinstance(v, str) else v for v in values]
    if isinstance(values, str):
        try:
            return _study_values(values)
        except ValueError as e:
            raise ValueError(f"{name}={values}: {e}") from None
    try:
        import numpy as np

        return [float(v) for v in np.ravel(np.asarray(values, dtype=float))]
    except (TypeError, ValueError):
        raise ValueError(f"{name}: {values!r} are not numbers") from None


def _listed(points):
    """Names and rows from a mapping of equal-length columns or a sequence of mappings."""
    if isinstance(points, Mapping):
        names = [str(n) for n in points]
        columns = [_values(n, points[n]) for n in names]
        lengths = {len(c) for c in columns}
        if len(lengths) > 1:
            raise ValueError("the columns of points differ in length: " +
                             ", ".join(f"{n} has {len(c)}" for n, c in zip(names, columns)))
        return names, [list(row) for row in zip(*columns)]
    rows = list(points)
    if not rows or not all(isinstance(r, Mapping) for r in rows):
        raise ValueError("points are a mapping of field names to values, or a list of them")
    names = [str(n) for n in rows[0]]
    listed = []
    for i, row in enumerate(rows):
        if sorted(map(str, row)) != sorted(names):
            raise ValueError(f"point {i} sets {sorted(map(str, row))}, point 0 sets {sorted(names)}")
        listed.append([_values(n, [row[n]])[0] for n in names])
    return names, listed


def _make_study(parameters, vary, points, refinement, experiment=None, energy=False,
                material=None):
    if experiment is None:
        experiment = _keywords(material=material)
    elif material is not None:
        experiment = dict(experiment, material=os.fspath(material))
    _parameters(parameters, "study")
    if vary is not None and not isinstance(vary, Mapping):
        if points is not None:
            raise ValueError("give vary or points, not both")
        vary, points = None, vary
    if vary is not None and points is not None:
        raise ValueError("give vary or points, not both")
    if vary is not None:
        names = [str(n) for n in vary]
        return _Study(parameters, names, [_values(n, vary[n]) for n in names], None,
                      int(refinement), experiment, bool(energy))
    if points is None:
        raise ValueError("a study needs vary={field: values, ...} or points")
    names, listed = _listed(points)
    return _Study(parameters, names, None, listed, int(refinement), experiment, bool(energy))


def _run_chunk(start, stop, study, jobs):
    """Runs points start to stop - 1 of the study (on a worker); the chunk's rows as arrays."""
    return study.run(start, stop, jobs, None)


def chunk_size_for(points, threads):
    """The points per Dask task of a study on a cluster.

    About CHUNKS_PER_THREAD tasks per worker thread, so the threads finish together, within
    SMALLEST_CHUNK and LARGEST_CHUNK points.

    Parameters
    ----------
    points : int
        The study's points.
    threads : int
        The worker threads of the cluster.

    Returns
    -------
    int
        The points per task, at least 1 and at most points.
    """
    wanted = math.ceil(points / (CHUNKS_PER_THREAD * max(1, threads)))
    return max(1, min(points, max(SMALLEST_CHUNK, min(LARGEST_CHUNK, wanted))))


def _run_on_dask(study, client, jobs, chunk_size, progress, timeout):
    from distributed import wait

    total = study.point_count
    threads = sum(w.get("nthreads", 1) for w in client.scheduler_info()["workers"].values())
    size = int(chunk_size) if chunk_size else chunk_size_for(total, threads)
    if size < 1:
        raise ValueError(f"chunk_size is {chunk_size}; it must be at least 1")
    starts = list(range(0, total, size))
    # One copy of the study per worker, not one per task.
    shared = client.scatter(study, broadcast=True, hash=False)
    futures = client.map(_run_chunk, starts, [min(s + size, total) for s in starts],
                         study=shared, jobs=int(jobs or 1), pure=False)
    place = {f.key: k for k, f in enumerate(futures)}
    chunks = [None] * len(futures)
    deadline = None if timeout is None else time.monotonic() + float(timeout)
    pending, done = set(futures), 0
    try:
        while pending:
            # Short waits keep Ctrl-C and the deadline responsive; a wait in which no chunk
            # ends raises TimeoutError.
            try:
                finished, pending = wait(pending, timeout=WAIT_SECONDS,
                                         return_when="FIRST_COMPLETED")
            except (TimeoutError, _asyncio_timeout()):
                finished = ()
            for future in finished:
                chunk = future.result()
                chunks[place[future.key]] = chunk
                done += len(chunk["point"])
            if finished and progress:
                progress(done, total)
            if pending and deadline is not None and time.monotonic() > deadline:
                raise TimeoutError(f"the study did not end within {timeout} s: "
                                   f"{done} of {total} points done")
    except BaseException:
        client.cancel(futures)
        raise
    finally:
        client.cancel([shared])
    return chunks


def study(parameters, vary=None, client=None, jobs=None, refinement=1, chunk_size=None,
          progress=None, *, points=None, timeout=None, scheme=None, energy=False,
          experiment=None, pulse_shape=None, trace=None, pulses=None, rate_hz=None,
          incubated_absorption=None, material=None):
    """Runs one calculation per point of a study.

    Parameters
    ----------
    parameters : Parameters
        The Parameter set every point starts from.
    vary : dict, optional
        Field name -> values, as a list or as the batch runner's text ("10:1000:log40",
        "20:200:10", "5,10,20"); the points are the product of the lists, the last field
        varying fastest.
    client : dask.distributed.Client, optional
        Without one the points run on `jobs` threads of this process. With one, chunks of
        chunk_size points run on the workers, each on `jobs` threads (default 1); the table is
        the same.
    jobs : int, optional
        Threads (default: all cores locally, 1 per chunk on a cluster).
    refinement : int, default 1
        Sub-steps per time step (1 to 64).
    chunk_size : int, optional
        Points per chunk on a cluster (default: about four chunks per worker thread, 8 to 256).
    progress : callable or bool, optional
        A callable(done, total) called as points (locally) or chunks (on a cluster) finish, or
        True for a progress bar (tqdm when installed).
    points : list of dict or dict of columns, optional
        Instead of vary: the points themselves, as [{field: value}, ...] or as {field: column}
        of equal-length columns (Monte Carlo samples, a design).
    timeout : float, optional
        Seconds for the whole study on a cluster (TimeoutError, the tasks cancelled).
    scheme, experiment, pulse_shape, trace, pulses, rate_hz, incubated_absorption, material
        The runs of every point, as in kestrium.run; part of the study's hash (the trace's
        samples and the material file's content included). A train adds the columns
        first_pulse_depth_nm and mean_depth_per_pulse_nm.
    energy : bool, default False
        Add the energy ledger's columns [mJ/cm^2] after the results, as the batch runner's
        study --energy (part of the study's hash too).

    Returns
    -------
    StudyTable
        The table, one row per point; to_dataframe() makes it a pandas DataFrame.

    Raises
    ------
    TypeError
        parameters is not a Parameters, or a keyword has the wrong type.
    ValueError
        A field that is not a Parameter-set field, a value that does not read, or a study in
        which no point can run, before any run.
    KeyboardInterrupt
        Ctrl-C stopped the runs under way (cancelled the tasks on a cluster); no thread is
        left running.

    Examples
    --------
    >>> import kestrium
    >>> p = kestrium.Parameters()
    >>> t = kestrium.study(p, vary={"fluence": "10:1000:log40", "pulse_width": [5, 10, 20]})
    >>> t.to_csv("study.csv")
    >>> t = kestrium.study(p, points=[{"fluence": 80, "absorption_coefficient": 1e5},
    ...                               {"fluence": 120, "absorption_coefficient": 2e5}])
    """
    s = _make_study(parameters, vary, points, refinement,
                    _keywords(experiment, scheme, pulse_shape, trace, pulses, rate_hz,
                              incubated_absorption, material), energy)
    total = s.point_count
    if progress is True:
        from . import _progress_bar

        progress = _progress_bar(total)
    if client is None:
        chunks = [s.run(0, total, int(jobs or 0), progress or None)]
    else:
        chunks = _run_on_dask(s, client, jobs, chunk_size, progress, timeout)

    import numpy as np

    columns = {"point": np.concatenate([c["point"] for c in chunks])}
    for name, values in zip(s.names, s.point_values(0, total)):
        columns[name] = values
    for name in s.result_columns:
        columns[name] = np.concatenate([c[name] for c in chunks])
    columns["steps"] = np.concatenate([c["steps"] for c in chunks])
    ends = np.array(_study_end_texts, dtype=str)
    columns["end"] = ends[np.concatenate([c["end"] for c in chunks]).astype(np.intp)]
    columns["note"] = np.array([n for c in chunks for n in c["note"]], dtype=str)
    return StudyTable(columns, s.table_text(chunks), s.hash)
