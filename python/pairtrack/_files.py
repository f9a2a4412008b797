"""The program's file formats: the orbit catalogue, the binary history file (read frame by frame,
written), and a report's frame lines."""
from __future__ import annotations

import numbers
import os
import warnings
import collections.abc as abc
from typing import Any, ClassVar, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _core
from ._common import Columns, PairtrackWarning, TruncatedHistoryWarning

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _display(path: PathLike) -> str:
    return os.fsdecode(os.fspath(path))


class Catalogue(Columns):
    """An orbit catalogue as arrays, in file order: inc (degrees), e, a (AU).

    It carries its unit (angle_unit = "degrees"): pair_matrix converts it where the other
    population holds radians. Indexing with a slice, a boolean mask or indices gives a Catalogue
    of those orbits (e.g. belt[belt.a < 2.5])."""

    _fields = ("inc", "e", "a")
    _extras = ("path",)
    angle_unit = "degrees"
    inc: np.ndarray
    e: np.ndarray
    a: np.ndarray
    path: str

    def __repr__(self) -> str:
        return f"<pairtrack.Catalogue {self.path}: {len(self)} orbits>"


def read_catalogue(path: PathLike, *, strict: bool = False) -> Catalogue:
    """Reads an orbit catalogue: one orbit per line, columns 148-182 holding inclination
    (degrees), eccentricity and semimajor axis (AU) as free-form numbers; reading stops at the
    first line whose field does not hold three numbers (the program's own reader).

    Returns a Catalogue. What the program warns about is a PairtrackWarning: a header line or a
    blank line that ends the data early (with the count of lines left unread), no orbit read,
    e outside [0, 1), a <= 0, an inclination outside [0, 180] degrees; with strict=True they
    are a ValueError instead (one line each). Raises OSError ("Error reading file PATH: reason")
    when the file cannot be read, ValueError for a catalogue of more than 30000 orbits."""
    inc, e, a, found = _core.read_catalogue(path)
    if strict and found:
        raise ValueError("\n".join(found))
    for text in found:
        warnings.warn(text, PairtrackWarning, stacklevel=2)
    return Catalogue._from_columns({"inc": inc, "e": e, "a": a}, path=_display(path))


def _id_array(value: npt.ArrayLike) -> np.ndarray:
    raw = np.asarray(value)
    if raw.dtype.kind not in "iu":
        raise TypeError(f"ids must hold integers, not {raw.dtype}")
    if raw.ndim != 1:
        raise ValueError("ids must be a 1-D array")
    wide = raw.astype(np.int64)
    if wide.size and (wide.min() < np.iinfo(np.int32).min or wide.max() > np.iinfo(np.int32).max):
        raise ValueError("ids: identifier out of range")
    return np.ascontiguousarray(wide, dtype=np.int32)


def _count(value: Optional[int], fallback: int, name: str) -> int:
    if value is None:
        return fallback
    if not isinstance(value, (int, np.integer)) or isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be None or an int")
    if not np.iinfo(np.int32).min <= int(value) <= np.iinfo(np.int32).max:
        raise ValueError(f"{name} out of range")
    return int(value)


class Frame(Columns):
    """One frame of a history file.

    Frame(time, ids, a, e, inc, angle5=None, angle6=None, angle7=None, nrec1=None, nrec2=None)

    time in the file's own unit; ids (int32); a (AU), e, inc, angle5, angle6, angle7 (radians)
    as float64 arrays as long as ids (missing angles are zeros). nrec1 and nrec2 are the
    header's counts (the frame holds nrec1 - 1 + nrec2 bodies); by default nrec1 = 1 and
    nrec2 = len(ids). It carries its unit (angle_unit = "radians") for pair_matrix."""

    _fields = ("ids", "a", "e", "inc", "angle5", "angle6", "angle7")
    _extras = ("time",)
    angle_unit = "radians"
    time: float
    nrec1: int
    nrec2: int
    ids: np.ndarray
    a: np.ndarray
    e: np.ndarray
    inc: np.ndarray
    angle5: np.ndarray
    angle6: np.ndarray
    angle7: np.ndarray

    def __init__(self, time: float, ids: npt.ArrayLike, a: npt.ArrayLike, e: npt.ArrayLike,
                 inc: npt.ArrayLike, angle5: Optional[npt.ArrayLike] = None,
                 angle6: Optional[npt.ArrayLike] = None, angle7: Optional[npt.ArrayLike] = None,
                 nrec1: Optional[int] = None, nrec2: Optional[int] = None) -> None:
        if not isinstance(time, numbers.Real) or isinstance(time, (bool, np.bool_)):
            raise TypeError("time must be a real number (the file's time unit)")
        self.time = float(time)
        self.ids = _id_array(ids)
        n = len(self.ids)
        for name, value in (("a", a), ("e", e), ("inc", inc), ("angle5", angle5),
                            ("angle6", angle6), ("angle7", angle7)):
            if value is None:
                column = np.zeros(n)
            else:
                column = np.array(_core.as_reals(value, name))  # a copy the caller cannot change
                if column.ndim != 1 or len(column) != n:
                    raise ValueError(f"{name} must be a 1-D array as long as ids ({n})")
            setattr(self, name, column)
        self.nrec1 = _count(nrec1, 1, "nrec1")
        self.nrec2 = _count(nrec2, n, "nrec2")

    @classmethod
    def _from_columns(cls, columns: Any, **extras: Any) -> "Frame":
        frame = super()._from_columns(columns, **extras)
        frame.nrec1 = extras.get("nrec1", 1)
        frame.nrec2 = extras.get("nrec2", len(frame.ids))
        return frame

    def _record(self) -> Tuple[Any, ...]:
        return (self.time, self.nrec1, self.nrec2, self.ids, self.a, self.e, self.inc,
                self.angle5, self.angle6, self.angle7)

    def __repr__(self) -> str:
        return f"<pairtrack.Frame time={self.time!r}, {len(self)} bodies>"


class HistoryFile:
    """A binary history file, read frame by frame.

    HistoryFile(path, format=None)

    format: 0 (16-bit scaled), 1 (float32), 2 (float64), or None to tell it from the record
    lengths as `pairtrack-history info` does. Every iter() is an independent pass from the
    first frame (nested loops and zip(h, h) work); read_all() returns the frames as a list.

    A file that ends inside a frame (still being written) ends a pass after the last complete
    frame with a TruncatedHistoryWarning; the attributes truncated and end_message then say so
    (for the pass that ended last). A damaged record raises ValueError; a file that cannot be
    opened, OSError; an encoding that cannot be told, ValueError. A HistoryFile pickles (by
    path and format)."""

    path: str
    format: int
    detection: Optional[str]
    truncated: bool
    end_message: Optional[str]
    frames_read: int

    def __init__(self, path: PathLike, format: Optional[int] = None) -> None:
        self._name = os.fsencode(path)
        self.path = _display(path)
        self.detection = None
        if format is None:
            detected, why = _core.detect_format(self._name)
            if detected is None:
                raise ValueError(f"{self.path}: the encoding cannot be told ({why}); give "
                                 "format=0, 1 or 2")
            format, self.detection = detected, why
        _core.history_open(self._name, format)  # refuses a bad format or a missing file now
        self.format = int(format)
        self.truncated, self.end_message, self.frames_read = False, None, 0

    def __iter__(self) -> abc.Iterator[Frame]:
        return _FramePass(self)

    def read_all(self) -> List[Frame]:
        """All complete frames, as a list of Frame."""
        return list(self)

    def __repr__(self) -> str:
        return f"<pairtrack.HistoryFile {self.path}, format {self.format}>"


class _FramePass(abc.Iterator[Frame]):
    """One pass over a history file, with a reader of its own."""

    def __init__(self, file: HistoryFile) -> None:
        self._file = file
        self._reader: Any = _core.history_open(file._name, file.format)
        self._count = 0
        file.truncated, file.end_message, file.frames_read = False, None, 0

    def __iter__(self) -> "_FramePass":
        return self

    def __next__(self) -> Frame:
        if self._reader is None:
            raise StopIteration
        item = _core.history_next(self._reader)
        if item[0] == "frame":
            self._count += 1
            self._file.frames_read = self._count
            columns = dict(zip(Frame._fields, item[4:]))
            return Frame._from_columns(columns, time=item[1], nrec1=item[2], nrec2=item[3])
        self._reader = None  # frees the reader
        if item[0] == "truncated":
            message = f"{self._file.path} {item[1]}; that incomplete frame is left out"
            self._file.truncated, self._file.end_message = True, message
            warnings.warn(message, TruncatedHistoryWarning, stacklevel=2)
        elif item[0] == "damaged":
            self._file.end_message = f"{self._file.path}: {item[1]}"
            raise ValueError(self._file.end_message)
        raise StopIteration


def write_history(path: PathLike, frames: abc.Iterable[Frame], format: int) -> None:
    """Writes frames (an iterable of Frame) to a history file in format 0, 1 or 2.

    Format 2 stores the values as given, format 1 rounds them to float32, format 0 moves each
    to the nearest point of its grid. Raises ValueError (and leaves no file behind) for a frame
    whose values the encoding cannot hold (identifiers and counts outside int16, values
    overflowing float32, values off the scaled grid) or whose counts do not match its bodies;
    OSError when the file cannot be written."""
    records = []
    for frame in frames:
        if not isinstance(frame, Frame):
            raise TypeError("write_history: every frame must be a pairtrack.Frame, not "
                            f"{type(frame).__name__}")
        records.append(frame._record())
    _core.write_history(path, records, format)


class ReportFrames(Columns):
    """The frame lines of a report, column by column (NumPy arrays): t (Myr), proba_mean and
    proba_sigma (1e-18 km^-2 yr^-1), impvel_mean and impvel_sigma (km/s) as float64 (NaN where
    the report wrote asterisks); n1, n2, n_proba, n_impvel as int64 (-1 for asterisks)."""

    _fields: ClassVar[Tuple[str, ...]] = ("t", "proba_mean", "proba_sigma", "impvel_mean",
                                          "impvel_sigma", "n1", "n2", "n_proba", "n_impvel")
    t: np.ndarray
    proba_mean: np.ndarray
    proba_sigma: np.ndarray
    impvel_mean: np.ndarray
    impvel_sigma: np.ndarray
    n1: np.ndarray
    n2: np.ndarray
    n_proba: np.ndarray
    n_impvel: np.ndarray


# Lines every report starts with (the echo of the records): a report that ended before its
# first frame still has them.
_REPORT_MARKS = (b" # n2_min =", b" # Input filename:", b" # pairtrack: t_max =")


def read_report(path: PathLike) -> ReportFrames:
    """Reads the frame lines of a pairtrack report into a ReportFrames.

    Frame lines are the report's 144-character fixed-layout lines; echo lines (" #"), messages
    and other text are passed over. Raises OSError when the file cannot be read, ValueError
    when it is not a report (no frame line and none of the report's echo lines)."""
    columns = _core.read_report(path)
    if len(columns["t"]) == 0:
        with open(path, "rb") as f:
            head = f.read(1 << 16)
        if not any(head.startswith(mark) or b"\n" + mark in head for mark in _REPORT_MARKS):
            raise ValueError(f"{_display(path)} is not a pairtrack report: it holds no frame "
                             "line (144 characters: time, four statistics, four counts) and "
                             "none of the report's echo lines")
    return ReportFrames._from_columns(columns)
