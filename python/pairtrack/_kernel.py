"""collision_probability and pair_matrix: the program's kernel over NumPy arrays, with the units
checked (an inclination outside its range is an error, degrees that look like radians a
warning), populations that carry their own unit (Catalogue: degrees, Frame: radians), and the
pairs this theory gives no finite value flagged."""
from __future__ import annotations

import math
import warnings
import collections.abc as abc
from typing import Any, Dict, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _core
from ._common import PairtrackWarning, pandas_module

RADIANS_PER_DEGREE: float = _core.RADIANS_PER_DEGREE
CM_PER_AU: float = _core.CM_PER_AU

# Fewer orbits than this say too little for the radians-as-degrees warning.
_HANDFUL = 5
# The 16-bit and float32 history encodings round an inclination meant as pi slightly above it.
_FILE_ROUNDING_RAD = 1e-3

_Value = Union[np.ndarray, float]
_OUTPUTS = ("p_coll", "v_rel_mean", "v_rel_rms", "v_imp_mean")


class PairResult:
    """The outputs of a kernel call, each of the output shape (floats for number inputs):

      p_coll      intrinsic collision probability, 1e-18 km^-2 yr^-1 (two bodies whose radii add
                  up to R km collide p_coll * 1e-18 * R**2 times per year; with v_esc > 0
                  gravitational focusing is included);
      v_rel_mean  probability-weighted mean encounter speed, km/s;
      v_rel_rms   probability-weighted rms encounter speed, km/s;
      v_imp_mean  probability-weighted mean impact speed sqrt(U**2 + v_esc**2), km/s;
      singular    True where the theory gives the pair no finite value: the distance ranges
                  meet and the orbital planes can coincide (equal inclinations, including
                  coplanar and identical orbits, or inclinations adding up to 180 degrees) or
                  both orbits are the same circle; their outputs depend on rounding;
      no_case     the number of pairs whose distance ranges coincide only up to rounding (the
                  program prints "The line did not make any of the checks"; they get zeros);
      p_coll_error  accuracy= only: the estimated absolute error of p_coll (0 otherwise);
      divergent   accuracy= only: True where the pair has no finite value (its outputs are
                  NaN); False otherwise;
      classic_off the classic rule only: True where its 10 x 10 value is likely off by more
                  than 1 % (close inclinations or apsidal distances, or singular); False with
                  accuracy=.

    It unpacks and indexes like the tuple (p_coll, v_rel_mean, v_rel_rms, v_imp_mean)."""

    p_coll: _Value
    v_rel_mean: _Value
    v_rel_rms: _Value
    v_imp_mean: _Value
    singular: Union[np.ndarray, bool]
    no_case: int
    p_coll_error: _Value
    divergent: Union[np.ndarray, bool]
    classic_off: Union[np.ndarray, bool]

    def __init__(self, p_coll: _Value, v_rel_mean: _Value, v_rel_rms: _Value,
                 v_imp_mean: _Value, singular: Union[np.ndarray, bool], no_case: int,
                 p_coll_error: Optional[_Value] = None,
                 divergent: Optional[Union[np.ndarray, bool]] = None,
                 classic_off: Optional[Union[np.ndarray, bool]] = None) -> None:
        self.p_coll, self.v_rel_mean = p_coll, v_rel_mean
        self.v_rel_rms, self.v_imp_mean = v_rel_rms, v_imp_mean
        self.singular, self.no_case = singular, no_case
        none: Union[np.ndarray, bool] = (np.zeros_like(singular)
                                         if isinstance(singular, np.ndarray) else False)
        self.p_coll_error = p_coll_error if p_coll_error is not None else 0.0 * p_coll
        self.divergent = divergent if divergent is not None else none
        self.classic_off = classic_off if classic_off is not None else none

    def _tuple(self) -> Tuple[_Value, _Value, _Value, _Value]:
        return (self.p_coll, self.v_rel_mean, self.v_rel_rms, self.v_imp_mean)

    def __iter__(self) -> abc.Iterator[_Value]:
        return iter(self._tuple())

    def __len__(self) -> int:
        return 4

    def __getitem__(self, index: Any) -> Any:
        return self._tuple()[index]

    def as_dict(self) -> Dict[str, Any]:
        """The outputs and the flags by name (arrays, or floats for number inputs)."""
        d: Dict[str, Any] = dict(zip(_OUTPUTS, self._tuple()))
        d["singular"] = self.singular
        d["no_case"] = self.no_case
        return d

    def to_pandas(self) -> Any:
        """One row per pair: the outputs and `singular`; a pair matrix gets the index (i, j)."""
        pd = pandas_module()
        columns = {name: np.ravel(getattr(self, name)) for name in (*_OUTPUTS, "singular")}
        shape = np.shape(self.p_coll)
        index = None
        if len(shape) > 1:
            names = ["i", "j"] if len(shape) == 2 else [f"axis{k}" for k in range(len(shape))]
            index = pd.MultiIndex.from_tuples(list(np.ndindex(*shape)), names=names)
        return pd.DataFrame(columns, index=index)

    def __repr__(self) -> str:
        return ("PairResult(" + ", ".join(f"{n}={getattr(self, n)!r}" for n in _OUTPUTS) +
                f", singular={self.singular!r}, no_case={self.no_case})")


def _check_inclinations(inc: np.ndarray, degrees: bool, name: str, margin: float = 0.0) -> None:
    """ValueError naming `name` for an inclination outside [0, 180] degrees or [0, pi] radians;
    a PairtrackWarning when more than a handful of degrees all lie in [0, pi] (radians given as
    degrees: 11.8 becomes 244.8 without a word otherwise)."""
    flat = np.ravel(inc)
    if flat.size == 0:
        return
    top = 180.0 if degrees else math.pi + margin
    unit = "degrees" if degrees else "radians"
    bad = ~((flat >= 0.0) & (flat <= top))
    if bad.any():
        k = int(np.argmax(bad))
        what = "is not finite" if not np.isfinite(flat[k]) else (
            f"{flat[k]!r} {unit} is outside [0, {'180' if degrees else 'pi'}]")
        hint = "" if degrees or not (0.0 <= flat[k] <= 180.0) else (
            " (degrees given with degrees=False?)")
        raise ValueError(f"{name}: inclination {what} (orbit {k}){hint}")
    if degrees and flat.size > _HANDFUL and flat.max() <= math.pi and flat.any():
        warnings.warn(f"{name}: all {flat.size} inclinations lie in [0, pi] although they are "
                      "taken as degrees: they look like radians (pass degrees=False, or convert "
                      "them with numpy.degrees)", PairtrackWarning, stacklevel=3)


def _require_orbits(a: np.ndarray, e: np.ndarray, which: str) -> None:
    """ValueError unless every orbit is bound: a > 0 and finite, 0 <= e < 1."""
    a, e = np.ravel(a), np.ravel(e)
    bad_a = ~(np.isfinite(a) & (a > 0.0))
    bad_e = ~((e >= 0.0) & (e < 1.0))
    for k in np.flatnonzero(bad_a | bad_e)[:1]:
        if bad_a[k]:
            raise ValueError(f"{which}, orbit {k}: semimajor axis {a[k]!r} AU is not positive "
                             "and finite")
        raise ValueError(f"{which}, orbit {k}: eccentricity {e[k]!r} is outside 0 <= e < 1")


def _singular(a1: np.ndarray, e1: np.ndarray, i1: np.ndarray, a2: np.ndarray, e2: np.ndarray,
              i2: np.ndarray, degrees: bool) -> np.ndarray:
    """Pairs whose distance ranges meet and whose planes can coincide, or the same circle."""
    meet = (a1 * (1.0 - e1) <= a2 * (1.0 + e2)) & (a2 * (1.0 - e2) <= a1 * (1.0 + e1))
    half_turn = 180.0 if degrees else math.pi
    planes = (i1 == i2) | (i1 + i2 == half_turn)
    circle = (e1 == 0.0) & (e2 == 0.0) & (a1 == a2)
    return np.asarray(meet & (planes | circle))


def _warn_singular(singular: np.ndarray, call: str) -> None:
    count = int(np.count_nonzero(singular))
    if count:
        warnings.warn(
            f"{call}: {count} of {singular.size} pairs have distance ranges that meet and orbital "
            "planes that can coincide (equal inclinations: coplanar or identical orbits) or are "
            "the same circle; the theory gives them no finite collision probability, so their "
            "values depend on rounding (flagged in result.singular)", PairtrackWarning,
            stacklevel=3)


_DIVERGENT, _CLASSIC_OFF = 1, 4  # bits of the core's per-pair flags


def _accuracy(accuracy: Optional[float], min_mutual_inclination: float) -> Tuple[float, float]:
    """The core's (accuracy, minimum mutual inclination in degrees); 0 accuracy: classic."""
    if accuracy is None:
        rel = 0.0
    else:
        rel = float(accuracy)
        if not 0.0 < rel <= 0.1:
            raise ValueError(f"accuracy={accuracy!r}: a relative accuracy above 0 and at most 0.1 "
                             "(None: the classic 10 x 10 rule)")
    deg = float(min_mutual_inclination)
    if not 0.0 <= deg <= 90.0:
        raise ValueError(f"min_mutual_inclination={min_mutual_inclination!r}: an angle from 0 "
                         "to 90 degrees")
    return rel, deg


def _pair_elements(a1: npt.ArrayLike, e1: npt.ArrayLike, i1: npt.ArrayLike, a2: npt.ArrayLike,
                   e2: npt.ArrayLike, i2: npt.ArrayLike, degrees: bool) -> List[np.ndarray]:
    """The six element arguments of a pair call as real arrays, inclinations checked."""
    names = ("a1", "e1", "i1", "a2", "e2", "i2")
    x = [_core.as_reals(value, name) for value, name in zip((a1, e1, i1, a2, e2, i2), names)]
    _check_inclinations(x[2], degrees, "i1")
    _check_inclinations(x[5], degrees, "i2")
    return x


def _broadcast_pairs(x: List[np.ndarray]) -> Tuple[Tuple[int, ...], List[np.ndarray]]:
    """The broadcast shape of the six element arrays and the arrays flattened to it as
    contiguous float64, both orbits checked."""
    b = np.broadcast_arrays(*x)
    shape = b[0].shape
    flat = [np.ascontiguousarray(y.ravel(), dtype=np.float64) for y in b]
    _require_orbits(flat[0], flat[1], "orbit 1")
    _require_orbits(flat[3], flat[4], "orbit 2")
    return shape, flat


def collision_probability(a1: npt.ArrayLike, e1: npt.ArrayLike, i1: npt.ArrayLike,
                          a2: npt.ArrayLike, e2: npt.ArrayLike, i2: npt.ArrayLike, *,
                          v_esc: float = 0.0, degrees: bool = True,
                          threads: Optional[int] = None, accuracy: Optional[float] = None,
                          min_mutual_inclination: float = 0.0) -> PairResult:
    """Collision probability and speeds of orbit pairs, element by element.

    Pair k is orbit (a1[k], e1[k], i1[k]) against orbit (a2[k], e2[k], i2[k]). The six
    arguments are array-likes (or numbers) broadcast against each other as NumPy does; the
    outputs have the broadcast shape (floats when every input is a number).

    Units: a in AU; i in degrees (degrees=True, the catalogue's unit) or radians
    (degrees=False, the history file's unit); v_esc (the escape speed of the pair, for
    gravitational focusing) in km/s. See PairResult for the outputs; the values are bit for bit
    those of the program pairtrack (10 x 10 Gauss-Legendre nodes).

    The GIL is released during the computation; threads=None uses all cores (OpenMP,
    OMP_NUM_THREADS honoured), threads=n uses n; results never depend on it. Ctrl-C stops a
    long call with KeyboardInterrupt.

    Raises ValueError for an orbit that is not bound (a <= 0, e < 0, e >= 1) or not finite, an
    inclination outside [0, 180] degrees ([0, pi] radians), shapes that do not broadcast,
    v_esc < 0 and threads < 1; TypeError for arrays that do not hold real numbers. Warns
    (PairtrackWarning) when more than a handful of inclinations given as degrees all lie in
    [0, pi] (radians by mistake?) and when pairs are singular (see PairResult).

    accuracy=REL (above 0, at most 0.1): every pair is integrated to that relative accuracy of
    p_coll by the accurate integrator instead of the 10 x 10 rule, with an error estimate
    (p_coll_error); pairs without a finite value are flagged `divergent` (NaN outputs) unless
    min_mutual_inclination (degrees, 0 to 90) regularises them (identical orbits and coincident
    circles stay divergent)."""
    rel, min_inc = _accuracy(accuracy, min_mutual_inclination)
    v = _core.escape_velocity(v_esc)
    team = _core.thread_count(threads)
    shape, flat = _broadcast_pairs(_pair_elements(a1, e1, i1, a2, e2, i2, degrees))
    a1_, e1_, i1_, a2_, e2_, i2_ = flat
    p, v_mean, v_rms, v_imp, err, flags, no_case = _core.collision_pairs(
        a1_, e1_, i1_, a2_, e2_, i2_, v, degrees, team, rel, min_inc)
    singular = _singular(a1_, e1_, i1_, a2_, e2_, i2_, degrees)
    if rel == 0.0:
        _warn_singular(singular, "collision_probability")
    divergent = (flags & _DIVERGENT) != 0
    classic_off = (flags & _CLASSIC_OFF) != 0
    if shape == ():  # numbers in, floats out, as NumPy's own functions do
        return PairResult(float(p[0]), float(v_mean[0]), float(v_rms[0]), float(v_imp[0]),
                          singular=bool(singular[0]), no_case=no_case, p_coll_error=float(err[0]),
                          divergent=bool(divergent[0]), classic_off=bool(classic_off[0]))
    return PairResult(p.reshape(shape), v_mean.reshape(shape), v_rms.reshape(shape),
                      v_imp.reshape(shape), singular=singular.reshape(shape), no_case=no_case,
                      p_coll_error=err.reshape(shape), divergent=divergent.reshape(shape),
                      classic_off=classic_off.reshape(shape))


_Population = Tuple[np.ndarray, np.ndarray, np.ndarray, Optional[str]]


def _population(orbits: Any, name: str) -> _Population:
    """(a, e, inc, unit) of a population: an object with attributes a, e, inc (a Catalogue,
    a Frame: unit from its angle_unit), a mapping with keys a, e, inc, or an (n, 3) array-like
    of rows (a, e, i). The unit is None where the population does not say it."""
    keys = ("a", "e", "inc")
    columns: Optional[list] = None
    if isinstance(orbits, abc.Mapping):
        missing = [k for k in keys if k not in orbits]
        if missing:
            raise ValueError(f"{name}: the mapping has no key {missing[0]!r} (a population "
                             "needs the keys a, e and inc)")
        columns = [orbits[k] for k in keys]
    elif any(hasattr(orbits, k) for k in keys) and not isinstance(orbits, np.ndarray):
        missing = [k for k in keys if not hasattr(orbits, k)]
        if missing:
            raise ValueError(f"{name}: {type(orbits).__name__} object has no attribute "
                             f"{missing[0]!r} (a population needs the attributes a, e and inc)")
        columns = [getattr(orbits, k) for k in keys]
    if columns is not None:
        a, e, inc = (_core.as_reals(c, f"{name}.{k}") for c, k in zip(columns, keys))
        if a.ndim != 1 or e.ndim != 1 or inc.ndim != 1 or not len(a) == len(e) == len(inc):
            raise ValueError(f"{name}: a, e and inc must be 1-D arrays of one length")
        unit = getattr(orbits, "angle_unit", None)
        return a, e, inc, unit if unit in ("degrees", "radians") else None
    rows = _core.as_reals(orbits, name)
    if rows.ndim != 2 or rows.shape[1] != 3:
        raise ValueError(f"{name} must have shape (n, 3), rows of (a, e, i); got shape "
                         f"{rows.shape} (one orbit: reshape it to (1, 3))")
    return (np.ascontiguousarray(rows[:, 0]), np.ascontiguousarray(rows[:, 1]),
            np.ascontiguousarray(rows[:, 2]), None)


def pair_matrix(orbits1: Any, orbits2: Any, *, v_esc: float = 0.0,
                degrees: Optional[bool] = None, threads: Optional[int] = None,
                accuracy: Optional[float] = None, min_mutual_inclination: float = 0.0) -> PairResult:
    """Collision probability and speeds of every pair of two populations.

    orbits1 and orbits2 are each an (n, 3) array-like whose rows are (a, e, i), a mapping with
    keys a, e and inc, or an object with 1-D attributes a, e and inc of one length. A Catalogue
    (read_catalogue) holds degrees and a Frame (HistoryFile) radians: they carry their unit, and
    pair_matrix(catalogue, frame) converts the catalogue's degrees as the program does. For
    arrays and mappings the unit is degrees, or radians with degrees=False; a `degrees` that
    contradicts a population's own unit is a ValueError. Element [i, j] of each output (shape
    (n1, n2)) is the pair (orbits1[i], orbits2[j]); empty populations give empty arrays.

    Units, outputs, threads, Ctrl-C, errors, warnings, accuracy and min_mutual_inclination as
    for collision_probability."""
    rel, min_inc = _accuracy(accuracy, min_mutual_inclination)
    v = _core.escape_velocity(v_esc)
    team = _core.thread_count(threads)
    pops = [_population(orbits1, "orbits1"), _population(orbits2, "orbits2")]
    plain = "degrees" if degrees is None or degrees else "radians"
    units = []
    for (_, _, _, own), name in zip(pops, ("orbits1", "orbits2")):
        if own is not None and degrees is not None and own != plain:
            raise ValueError(f"{name} holds its inclinations in {own}, but degrees={degrees} "
                             f"says {plain}: leave degrees out for populations that carry "
                             "their unit (Catalogue: degrees, Frame: radians)")
        units.append(own or plain)
    for (a, e, inc, own), unit, name in zip(pops, units, ("orbits1", "orbits2")):
        _check_inclinations(inc, unit == "degrees", f"{name}.inc",
                            _FILE_ROUNDING_RAD if own == "radians" else 0.0)
        _require_orbits(a, e, name)
    in_degrees = units[0] == units[1] == "degrees"
    incs = [inc if unit == "radians" or in_degrees else inc * RADIANS_PER_DEGREE
            for (_, _, inc, _), unit in zip(pops, units)]
    (a1, e1, _, _), (a2, e2, _, _) = pops
    p, v_mean, v_rms, v_imp, err, flags, no_case = _core.collision_pair_matrix(
        a1, e1, incs[0], a2, e2, incs[1], v, in_degrees, team, rel, min_inc)
    singular = _singular(a1[:, None], e1[:, None], incs[0][:, None], a2[None, :], e2[None, :],
                         incs[1][None, :], in_degrees)
    if rel == 0.0:
        _warn_singular(singular, "pair_matrix")
    return PairResult(p, v_mean, v_rms, v_imp, singular=singular, no_case=no_case,
                      p_coll_error=err, divergent=(flags & _DIVERGENT) != 0,
                      classic_off=(flags & _CLASSIC_OFF) != 0)


def mean_deviation(values: npt.ArrayLike) -> Tuple[float, float]:
    """Mean and sample standard deviation (divisor n - 1) of a 1-D array, as the report's frame
    line computes them for p_coll: sums in long double in index order, rounded once. Returns
    (mean, sigma) in the unit of the values; (0.0, 0.0) for no values."""
    return _core.mean_deviation(values)


def weighted_mean_deviation(values: npt.ArrayLike, weights: npt.ArrayLike) -> Tuple[float, float]:
    """Weighted mean and standard deviation of a 1-D array, as the report's frame line computes
    the impact speed (values, km/s) weighted by p_coll (weights): sums in long double, divisor
    the total weight; (0.0, 0.0) when the total weight is below 1e-8. Returns (mean, sigma)."""
    return _core.weighted_mean_deviation(values, weights)
