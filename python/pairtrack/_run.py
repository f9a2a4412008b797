"""run(): the complete program from Python, with its arguments checked by name, its warnings as
PairtrackWarning and its error ends as exceptions carrying the partial result."""
from __future__ import annotations

import collections.abc as abc
import json
import math
import numbers
import os
import warnings
from typing import Any, Dict, List, Optional, Tuple, Union

import numpy as np

from . import _core
from ._common import Columns, PairtrackWarning, pandas_module
from ._kernel import _accuracy
from ._speeds import _bins
from ._files import PathLike, ReportFrames

# A record of the program holds at most this many characters (bytes of the file name).
_RECORD_CHARACTERS = 80


class FrameTable(ReportFrames):
    """One row per frame (the columns of pairtrack --frames), NumPy arrays: frame (1-based);
    t (Myr); proba_mean, proba_sigma (1e-18 km^-2 yr^-1); impvel_mean, impvel_sigma (km/s,
    probability-weighted); n1, n2, n_proba, n_impvel as in the frame line (the columns of
    ReportFrames, at full precision); n_active (bodies swept), n_removed (removed after this
    frame's draws), n_removed_total; n_classic_off: pairs whose classic 10 x 10 value is likely
    off by more than 1 %, n_singular: those of them without a finite value; n_divergent (the
    accurate mode): pairs without a finite value, left out of n_proba and the means;
    proba_mean_error: the summed error estimate of proba_mean (accurate mode, else 0);
    v_imp_cw_mean, v_imp_cw_rms, v_imp_cw_sd: the collision-weighted mean, root-mean-square and
    standard deviation of the impact speed over the frame's collisions (km/s; the spread of the
    impact speeds themselves, not of the pairs' means as impvel_sigma), formed by the speed
    histogram's pass: NaN unless run(..., speed_histogram=True)."""

    _fields = ("frame", *ReportFrames._fields, "n_active", "n_removed", "n_removed_total",
               "n_classic_off", "n_singular", "n_divergent", "proba_mean_error",
               "v_imp_cw_mean", "v_imp_cw_rms", "v_imp_cw_sd")
    frame: np.ndarray
    n_active: np.ndarray
    n_removed: np.ndarray
    n_removed_total: np.ndarray
    n_classic_off: np.ndarray
    n_singular: np.ndarray
    n_divergent: np.ndarray
    proba_mean_error: np.ndarray
    v_imp_cw_mean: np.ndarray
    v_imp_cw_rms: np.ndarray
    v_imp_cw_sd: np.ndarray


class SpeedHistogramTable(Columns):
    """The collision-weighted distributions of impact and encounter speed (the rows of pairtrack
    --speed-histogram with --bodies): per frame, its distributions over all its pairs
    (position = id = 0; every bin, underflow and overflow included), then each swept body's
    (its position and id; only the bins where either distribution is nonzero). frame, t (Myr),
    position, id; speed_min, speed_max (km/s): the bin holds the speeds from speed_min
    (included; -inf for the underflow bin) to speed_max (excluded; inf for the overflow bin);
    p_impact, p_encounter: the probability weight of the impact and of the encounter speeds in
    the bin (1e-18 km^-2 yr^-1; a frame's sum to the sum of its pairs' P_i)."""

    _fields = ("frame", "t", "position", "id", "speed_min", "speed_max", "p_impact",
               "p_encounter")
    frame: np.ndarray
    t: np.ndarray
    position: np.ndarray
    id: np.ndarray
    speed_min: np.ndarray
    speed_max: np.ndarray
    p_impact: np.ndarray
    p_encounter: np.ndarray


class BodyTable(Columns):
    """One row per swept body per frame (the columns of pairtrack --bodies): frame, t (Myr),
    position (1-based, in the frame), id; a (AU), e, inc_deg (degrees), q (perihelion a (1 - e),
    AU); p_mean and p_sum: the body's mean and summed intrinsic collision probability against
    the catalogue (1e-18 km^-2 yr^-1); v_imp_mean: its probability-weighted mean impact speed
    (km/s); n_hit: catalogue orbits it can hit (impact speed above 1e-8 km/s); removed (bool):
    removed after this frame's draw; draw: the number drawn (NaN when not drawn);
    n_classic_off, n_singular, n_divergent: as FrameTable's, for the body's pairs; p_sum_error:
    the summed error estimate of p_sum (accurate mode, else 0)."""

    _fields = ("frame", "t", "position", "id", "a", "e", "inc_deg", "q", "p_mean", "p_sum",
               "v_imp_mean", "n_hit", "removed", "draw", "n_classic_off", "n_singular",
               "n_divergent", "p_sum_error")
    frame: np.ndarray
    t: np.ndarray
    position: np.ndarray
    id: np.ndarray
    a: np.ndarray
    e: np.ndarray
    inc_deg: np.ndarray
    q: np.ndarray
    p_mean: np.ndarray
    p_sum: np.ndarray
    v_imp_mean: np.ndarray
    n_hit: np.ndarray
    removed: np.ndarray
    draw: np.ndarray
    n_classic_off: np.ndarray
    n_singular: np.ndarray
    n_divergent: np.ndarray
    p_sum_error: np.ndarray


class RunResult:
    """What a run of the program gives: report (its standard output, byte for byte), status
    (its exit status), frames (FrameTable), bodies (BodyTable), diagnostics (its warnings and
    error reasons in order, as ('warning' | 'error', text)), manifest (its provenance, the
    dict that `pairtrack --manifest` writes as JSON: version, build, the records as read, the
    files with sizes and SHA-256, times, exit status, warning counts) and speed_histogram
    (SpeedHistogramTable; None unless run(..., speed_histogram=True))."""

    report: str
    status: int
    frames: FrameTable
    bodies: BodyTable
    diagnostics: List[Tuple[str, str]]
    manifest: Dict[str, Any]
    speed_histogram: Optional[SpeedHistogramTable]

    def __init__(self, report: str, status: int, frames: FrameTable, bodies: BodyTable,
                 diagnostics: List[Tuple[str, str]],
                 manifest: Optional[Dict[str, Any]] = None,
                 speed_histogram: Optional[SpeedHistogramTable] = None) -> None:
        self.report, self.status = report, status
        self.frames, self.bodies, self.diagnostics = frames, bodies, diagnostics
        self.manifest = manifest if manifest is not None else {}
        self.speed_histogram = speed_histogram

    def __setstate__(self, state: Dict[str, Any]) -> None:
        # Results pickled before the speed histogram existed have no such attribute.
        self.__dict__.update({"speed_histogram": None, **state})

    def as_dict(self) -> Dict[str, Any]:
        """Everything as plain values: the tables as dicts of arrays (speed_histogram None when
        the run did not make it)."""
        return {"report": self.report, "status": self.status, "frames": self.frames.as_dict(),
                "bodies": self.bodies.as_dict(), "diagnostics": list(self.diagnostics),
                "manifest": self.manifest,
                "speed_histogram": (None if self.speed_histogram is None
                                    else self.speed_histogram.as_dict())}

    def to_pandas(self) -> Dict[str, Any]:
        """The tables as pandas.DataFrame: {"frames": ..., "bodies": ...}, and
        "speed_histogram" when the run made it (needs pandas)."""
        pandas_module()
        tables = {"frames": self.frames.to_pandas(), "bodies": self.bodies.to_pandas()}
        if self.speed_histogram is not None:
            tables["speed_histogram"] = self.speed_histogram.to_pandas()
        return tables

    def __repr__(self) -> str:
        return f"<pairtrack.RunResult status {self.status}, {len(self.frames)} frames>"


def _integer(value: Any, name: str) -> int:
    if not isinstance(value, (int, np.integer)) or isinstance(value, (bool, np.bool_)):
        raise ValueError(f"{name} must be an int, not {type(value).__name__}")
    if not -2**31 <= int(value) < 2**31:
        raise ValueError(f"{name} = {value} does not fit the program's 32-bit integers")
    return int(value)


def _real(value: Any, name: str) -> float:
    if not isinstance(value, numbers.Real) or isinstance(value, (bool, np.bool_)):
        raise ValueError(f"{name} must be a real number, not {type(value).__name__}")
    if not math.isfinite(float(value)):
        raise ValueError(f"{name} must be finite, not {float(value)!r}")
    return float(value)


def _flag(value: Any, name: str) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise ValueError(f"{name} must be True or False, not {type(value).__name__}")
    return bool(value)


def _record_path(value: PathLike, name: str) -> bytes:
    try:
        encoded = os.fsencode(value)
    except TypeError:
        raise ValueError(f"{name} must be a path (str, bytes or os.PathLike), not "
                         f"{type(value).__name__}") from None
    if len(encoded) > _RECORD_CHARACTERS or b"\n" in encoded or b"\0" in encoded:
        raise ValueError(f"{name}: the path {os.fsdecode(encoded)!r} ({len(encoded)} characters) "
                         f"cannot be passed in a record: records hold at most "
                         f"{_RECORD_CHARACTERS} characters and no line end (use a shorter, "
                         "e.g. relative, path)")
    return encoded


def _raise_error_end(result: RunResult) -> None:
    """OSError for files that cannot be opened, read or written, ValueError otherwise; the text
    is the program's last message line and the reasons; `result` holds the RunResult."""
    lines = [line.strip() for line in result.report.splitlines() if line.strip()]
    parts = lines[-1:] + [text for level, text in result.diagnostics if level == "error"]
    message = ": ".join(parts)
    file_error = any(word in message for word in
                     ("Error reading file", "Error opening file", "Error writing file"))
    error = (OSError if file_error else ValueError)(message)
    error.result = result  # type: ignore[attr-defined]
    raise error


def run(catalogue: PathLike, history: PathLike, format: Optional[int] = 2, n2_min: int = 1,
        n2_max: int = 30000, time_divisor: float = 1e6, write_pairs: bool = False,
        q_crit: float = 0.0, p_crit: float = 0.0, iseed: int = -1, v_esc: float = 0.0, *,
        pair_file: PathLike = "hitrate_pairtrack_q.tmp", threads: Optional[int] = None,
        strict: bool = False, accuracy: Optional[float] = None,
        min_mutual_inclination: float = 0.0, speed_histogram: bool = False,
        speed_bins: Union[str, abc.Sequence[float]] = (0.0, 40.0, 0.25)) -> RunResult:
    """Runs the program on its ten records and returns a RunResult.

    catalogue, history: paths (at most 80 characters each, as the records hold them; relative
    paths are taken from the working directory). format: the history file's encoding (0 16-bit
    scaled, 1 float32, 2 float64), or None to tell it from the record lengths as HistoryFile
    does. n2_min, n2_max: the positions paired within each frame. time_divisor: the file's
    times are divided by it to give Myr. write_pairs: write the pair file (pair_file, in the
    working directory by default). q_crit (AU), p_crit: bodies whose perihelion is below
    q_crit are removed with probability p_crit per frame. iseed: the generator's seed
    (negative; every seed of -1 or more gives the sequence of -1). v_esc: the mutual escape
    speed of a pair, for gravitational focusing, km/s. threads: pair-evaluation threads (None:
    all cores). strict: the first warning ends the run as an error. accuracy,
    min_mutual_inclination: the accurate mode (pairtrack --accuracy, --min-mutual-inclination),
    as for collision_probability; the report gains its echo line and the tables their error
    estimates and divergent counts. speed_histogram: the collision-weighted distributions of
    impact and encounter speed (pairtrack --speed-histogram with --bodies) in the result's
    speed_histogram table, and the frame table's v_imp_cw_* columns filled; speed_bins: their
    bins in km/s, (min, max, step) or "MIN:MAX:STEP" as --speed-bins (default 0 to 40 by 0.25;
    invalid bins are a ValueError with the program's reason).

    The report is the program's standard output byte for byte; frames and bodies are the tables
    of --frames and --bodies. Each warning of the program is issued as a PairtrackWarning. An
    argument of the wrong type, NaN or infinite is a ValueError naming it. An error end raises
    OSError (a file that cannot be opened, read or written) or ValueError (anything else) with
    the program's message and reason; the exception's `result` attribute holds the RunResult up
    to that point. Ctrl-C stops the run within a fraction of a second (KeyboardInterrupt), and
    a pair file it was writing is removed. Runs are serialised within a process."""
    cat = _record_path(catalogue, "catalogue")
    hist = _record_path(history, "history")
    if format is None:
        detected, why = _core.detect_format(hist)
        if detected is None:
            raise ValueError(f"{_display_path(hist)}: the encoding cannot be told ({why}); give "
                             "format=0, 1 or 2")
        format = detected
    args = (cat, hist, _integer(format, "format"), _integer(n2_min, "n2_min"),
            _integer(n2_max, "n2_max"), _real(time_divisor, "time_divisor"),
            _flag(write_pairs, "write_pairs"), _real(q_crit, "q_crit"), _real(p_crit, "p_crit"),
            _integer(iseed, "iseed"), _real(v_esc, "v_esc"))
    pairs = os.fsencode(pair_file)
    if threads is not None and (isinstance(threads, bool) or not isinstance(threads, int)
                                or threads < 1):
        raise ValueError("threads must be None or an int >= 1")
    rel, min_inc = _accuracy(accuracy, min_mutual_inclination)
    speeds = _flag(speed_histogram, "speed_histogram")
    if isinstance(speed_bins, str):
        bins = _core.parse_speed_bins(speed_bins)
    else:
        bins = _speed_bins(speed_bins)
    report, status, frames, bodies, diagnostics, manifest, histogram = _core.run(
        *args, pairs, threads or 0, _flag(strict, "strict"), rel, min_inc, speeds, *bins)
    result = RunResult(report, status, FrameTable._from_columns(frames),
                       BodyTable._from_columns(bodies),
                       [(level, text) for level, text in diagnostics], json.loads(manifest),
                       SpeedHistogramTable._from_columns(histogram) if speeds else None)
    for level, text in result.diagnostics:
        if level == "warning":
            warnings.warn(text, PairtrackWarning, stacklevel=2)
    if status != 0:
        _raise_error_end(result)
    return result


def _speed_bins(bins: Any) -> Tuple[float, float, float]:
    try:
        return _bins(bins)
    except ValueError as error:
        raise ValueError(f"speed_bins: {error}") from None


def _display_path(name: bytes) -> str:
    return os.fsdecode(name)
