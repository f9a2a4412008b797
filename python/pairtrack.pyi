"""Type stub of the pairtrack module (a compiled extension): collision probabilities of orbit
pairs and the program's file formats. Units: a in AU, inclinations in degrees (catalogue) or
radians (history files), speeds and v_esc in km/s, p_coll in 1e-18 km^-2 yr^-1."""

import os
from typing import Iterable, Iterator, Optional, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str
CM_PER_AU: float
RADIANS_PER_DEGREE: float

_Path = Union[str, bytes, os.PathLike]
_Reals = npt.ArrayLike

class TruncatedHistoryWarning(UserWarning):
    """A history file ends inside a frame; the incomplete frame is left out."""

class PairResult:
    """The four outputs of a kernel call; unpacks like a tuple of four."""
    @property
    def p_coll(self) -> Union[np.ndarray, float]:
        """Intrinsic collision probability, 1e-18 km^-2 yr^-1."""
    @property
    def v_rel_mean(self) -> Union[np.ndarray, float]:
        """Probability-weighted mean encounter speed, km/s."""
    @property
    def v_rel_rms(self) -> Union[np.ndarray, float]:
        """Probability-weighted rms encounter speed, km/s."""
    @property
    def v_imp_mean(self) -> Union[np.ndarray, float]:
        """Probability-weighted mean impact speed, km/s."""
    @property
    def no_case(self) -> int:
        """Pairs that fit no overlap case (their outputs are 0)."""
    def __iter__(self) -> Iterator[Union[np.ndarray, float]]: ...
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> Union[np.ndarray, float]: ...

def collision_probability(
    a1: _Reals, e1: _Reals, i1: _Reals, a2: _Reals, e2: _Reals, i2: _Reals, *,
    v_esc: float = 0.0, degrees: bool = True, threads: Optional[int] = None,
) -> PairResult:
    """Pairs (a1, e1, i1) x (a2, e2, i2) element by element, broadcast as NumPy does.
    a in AU, i in degrees (degrees=True) or radians, v_esc in km/s."""

def pair_matrix(
    orbits1: object, orbits2: object, *,
    v_esc: float = 0.0, degrees: bool = True, threads: Optional[int] = None,
) -> PairResult:
    """Every pair of two populations; outputs of shape (n1, n2). Each population is an (n, 3)
    array-like of rows (a, e, i) or an object with 1-D attributes a, e, inc (Catalogue, Frame)."""

class Catalogue:
    """An orbit catalogue as arrays, in file order."""
    @property
    def inc(self) -> np.ndarray:
        """Inclinations, degrees."""
    @property
    def e(self) -> np.ndarray:
        """Eccentricities."""
    @property
    def a(self) -> np.ndarray:
        """Semimajor axes, AU."""
    @property
    def path(self) -> str: ...
    def __len__(self) -> int: ...

def read_catalogue(path: _Path) -> Catalogue:
    """Reads columns 148-182 (inclination deg, e, a AU) of each line; OSError, ValueError."""

class Frame:
    """One frame of a history file: time (file's unit), ids, a (AU), e, inc and angles (rad)."""
    def __init__(
        self, time: float, ids: npt.ArrayLike, a: _Reals, e: _Reals, inc: _Reals,
        angle5: Optional[_Reals] = None, angle6: Optional[_Reals] = None,
        angle7: Optional[_Reals] = None, nrec1: Optional[int] = None,
        nrec2: Optional[int] = None,
    ) -> None: ...
    @property
    def time(self) -> float: ...
    @property
    def nrec1(self) -> int: ...
    @property
    def nrec2(self) -> int: ...
    @property
    def ids(self) -> np.ndarray: ...
    @property
    def a(self) -> np.ndarray: ...
    @property
    def e(self) -> np.ndarray: ...
    @property
    def inc(self) -> np.ndarray: ...
    @property
    def angle5(self) -> np.ndarray: ...
    @property
    def angle6(self) -> np.ndarray: ...
    @property
    def angle7(self) -> np.ndarray: ...
    def __len__(self) -> int: ...

class HistoryFile:
    """A binary history file, iterated frame by frame (format 0, 1, 2 or None: detected)."""
    def __init__(self, path: _Path, format: Optional[int] = None) -> None: ...
    def __iter__(self) -> "HistoryFile": ...
    def __next__(self) -> Frame: ...
    def read_all(self) -> list[Frame]: ...
    @property
    def path(self) -> str: ...
    @property
    def format(self) -> int: ...
    @property
    def detection(self) -> Optional[str]: ...
    @property
    def truncated(self) -> bool: ...
    @property
    def end_message(self) -> Optional[str]: ...
    @property
    def frames_read(self) -> int: ...

def write_history(path: _Path, frames: Iterable[Frame], format: int) -> None:
    """Writes frames in format 0 (16-bit scaled), 1 (float32) or 2 (float64)."""

class ReportFrames:
    """A report's frame lines as arrays (NaN / -1 where the report wrote asterisks)."""
    t: np.ndarray
    proba_mean: np.ndarray
    proba_sigma: np.ndarray
    impvel_mean: np.ndarray
    impvel_sigma: np.ndarray
    n1: np.ndarray
    n2: np.ndarray
    n_proba: np.ndarray
    n_impvel: np.ndarray
    def __len__(self) -> int: ...
    def as_dict(self) -> dict[str, np.ndarray]: ...

def read_report(path: _Path) -> ReportFrames:
    """Reads the frame lines of a pairtrack report; OSError when it cannot be read."""

def mean_deviation(values: _Reals) -> tuple[float, float]:
    """Mean and sample standard deviation as the report computes them (long double sums)."""

def weighted_mean_deviation(values: _Reals, weights: _Reals) -> tuple[float, float]:
    """Weighted mean and standard deviation as the report computes the impact speed."""

class PairtrackWarning(UserWarning):
    """A warning of the program: input that is probably a mistake."""

class FrameTable:
    """One entry per frame (the columns of pairtrack --frames): t in Myr, probabilities in
    1e-18 km^-2 yr^-1, speeds in km/s, counts as int64."""
    frame: np.ndarray
    t: np.ndarray
    proba_mean: np.ndarray
    proba_sigma: np.ndarray
    impvel_mean: np.ndarray
    impvel_sigma: np.ndarray
    n1: np.ndarray
    n2: np.ndarray
    n_proba: np.ndarray
    n_impvel: np.ndarray
    n_active: np.ndarray
    n_removed: np.ndarray
    n_removed_total: np.ndarray
    def __len__(self) -> int: ...

class BodyTable:
    """One entry per swept body per frame (the columns of pairtrack --bodies)."""
    frame: np.ndarray
    t: np.ndarray
    position: np.ndarray
    id: np.ndarray
    a: np.ndarray  # AU
    e: np.ndarray
    inc_deg: np.ndarray  # degrees
    q: np.ndarray  # perihelion, AU
    p_mean: np.ndarray  # 1e-18 km^-2 yr^-1
    p_sum: np.ndarray  # 1e-18 km^-2 yr^-1
    v_imp_mean: np.ndarray  # km/s
    n_hit: np.ndarray
    removed: np.ndarray  # bool
    draw: np.ndarray  # NaN where no number was drawn
    def __len__(self) -> int: ...

class RunResult:
    report: str
    status: int
    frames: FrameTable
    bodies: BodyTable
    diagnostics: list[tuple[str, str]]

def run(catalogue: _Path, history: _Path, format: int = 2, n2_min: int = 1, n2_max: int = 30000,
        time_divisor: float = 1e6, write_pairs: bool = False, q_crit: float = 0.0,
        p_crit: float = 0.0, iseed: int = -1, v_esc: float = 0.0, *,
        pair_file: _Path = "hitrate_pairtrack_q.tmp", threads: Optional[int] = None,
        strict: bool = False) -> RunResult:
    """The complete run of the program (report, tables); warnings as PairtrackWarning; an error
    end raises OSError or ValueError whose `result` holds the RunResult so far."""
