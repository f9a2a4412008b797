"""speed_distribution: the collision-weighted distributions of the impact and the encounter speed
of orbit pairs (each quadrature term's probability weight binned by its speed), with the units
and orbits checked as collision_probability and pair_matrix check them."""
from __future__ import annotations

import numbers
import collections.abc as abc
from typing import Any, Dict, Optional, Tuple

import numpy as np
import numpy.typing as npt

from . import _core
from ._common import pandas_module
from ._kernel import (_accuracy, _broadcast_pairs, _pair_elements, _require_orbits, _singular,
                      _warn_singular)

_DEFAULT_BINS = (0.0, 40.0, 0.25)


class SpeedDistribution:
    """Collision-weighted speed distributions of pairs of orbits.

      impact      array of shape pairs + (n + 2,): the part of each pair's p_coll
                  (1e-18 km^-2 yr^-1) whose impact speed sqrt(U**2 + v_esc**2) falls in each
                  bin; the underflow bin (speed below the first edge) first, the n bins, the
                  overflow bin (at or above the last edge) last. Each pair's values sum to its
                  p_coll up to rounding;
      encounter   the same for the encounter speed U (with focusing weights when v_esc > 0);
      edges       the n + 1 bin edges, km/s: bin k holds edges[k] <= v < edges[k + 1];
      lower, upper  the lower and upper speed of each of the n + 2 values (-inf and inf for
                  the underflow's lower and the overflow's upper end);
      p_coll      each pair's intrinsic collision probability (shape pairs; NaN for a pair
                  without a finite value in the accurate mode, whose bins are 0);
      p_coll_error  accuracy= only: the estimated absolute error of p_coll (0 otherwise);
      v_esc       the escape speed used, km/s;
      singular    as PairResult.singular; no_case as PairResult.no_case.

    pairs is () for one pair of numbers, (n,) for pairs element by element and (n1, n2) for a
    pair matrix. d[k], d[i, j], d[mask] select pairs and keep the bins; len(d) is the first
    axis. Instances pickle and copy; as_dict() gives the arrays and to_pandas() one row per pair
    and bin."""

    impact: np.ndarray
    encounter: np.ndarray
    lower: np.ndarray
    upper: np.ndarray
    p_coll: np.ndarray
    p_coll_error: np.ndarray
    singular: np.ndarray
    v_esc: float
    no_case: int

    def __init__(self, impact: np.ndarray, encounter: np.ndarray, p_coll: np.ndarray,
                 lower: np.ndarray, upper: np.ndarray, singular: np.ndarray, v_esc: float,
                 no_case: int, p_coll_error: Optional[np.ndarray] = None) -> None:
        self.impact, self.encounter, self.p_coll = impact, encounter, p_coll
        self.p_coll_error = p_coll_error if p_coll_error is not None else 0.0 * p_coll
        self.lower, self.upper = lower, upper
        self.singular, self.v_esc, self.no_case = singular, v_esc, no_case

    @property
    def edges(self) -> np.ndarray:
        return self.lower[1:]

    @property
    def shape(self) -> Tuple[int, ...]:
        """The shape of the pairs (the distributions add the axis of the bins)."""
        return tuple(np.shape(self.p_coll))

    def __len__(self) -> int:
        if not self.shape:
            raise TypeError("len() of the distribution of a single pair")
        return self.shape[0]

    def __getitem__(self, key: Any) -> SpeedDistribution:
        if isinstance(key, str):
            raise IndexError("pairs are selected by ints, slices, masks or index arrays")
        p = np.asarray(self.p_coll)[key]
        pick = (key if isinstance(key, tuple) else (key,)) + (Ellipsis,)
        return SpeedDistribution(self.impact[pick], self.encounter[pick], p, self.lower,
                                 self.upper, np.asarray(self.singular)[key], self.v_esc,
                                 self.no_case, np.asarray(self.p_coll_error)[key])

    def as_dict(self) -> Dict[str, Any]:
        """The arrays and values by name."""
        return {"impact": self.impact, "encounter": self.encounter, "lower": self.lower,
                "upper": self.upper, "edges": self.edges, "p_coll": self.p_coll,
                "p_coll_error": self.p_coll_error,
                "singular": self.singular, "v_esc": self.v_esc, "no_case": self.no_case}

    def to_pandas(self) -> Any:
        """One row per pair and bin: the pair's index (pair; i, j for a matrix), bin (0 the
        underflow), speed_min, speed_max (km/s), impact, encounter (1e-18 km^-2 yr^-1)."""
        pd = pandas_module()
        shape, values = self.shape, len(self.lower)
        names = (["pair"] if len(shape) == 1 else ["i", "j"] if len(shape) == 2
                 else [f"axis{k}" for k in range(len(shape))])
        columns: Dict[str, Any] = {}
        index = np.indices(shape).reshape(len(shape), -1) if shape else np.zeros((0, 1), int)
        for name, axis in zip(names, index):
            columns[name] = np.repeat(axis, values)
        pairs = int(np.prod(shape))
        columns["bin"] = np.tile(np.arange(values), pairs)
        columns["speed_min"] = np.tile(self.lower, pairs)
        columns["speed_max"] = np.tile(self.upper, pairs)
        columns["impact"] = np.ravel(self.impact)
        columns["encounter"] = np.ravel(self.encounter)
        return pd.DataFrame(columns)

    def __repr__(self) -> str:
        return (f"<pairtrack.SpeedDistribution: pairs {self.shape}, {len(self.lower) - 2} bins "
                f"from {self.lower[1]:g} to {self.upper[-2]:g} km/s, v_esc {self.v_esc:g} km/s>")


def _bins(bins: abc.Sequence[float]) -> Tuple[float, float, float]:
    try:
        lo, hi, step = bins
    except (TypeError, ValueError):
        raise ValueError(f"bins={bins!r}: (min, max, step) in km/s") from None
    for value in (lo, hi, step):
        if not isinstance(value, numbers.Real) or isinstance(value, (bool, np.bool_)):
            raise ValueError(f"bins={bins!r}: (min, max, step) in km/s, three real numbers")
    return float(lo), float(hi), float(step)


def speed_distribution(a1: npt.ArrayLike, e1: npt.ArrayLike, i1: npt.ArrayLike,
                       a2: npt.ArrayLike, e2: npt.ArrayLike, i2: npt.ArrayLike, *,
                       v_esc: float = 0.0, bins: abc.Sequence[float] = _DEFAULT_BINS,
                       degrees: bool = True, threads: Optional[int] = None,
                       accuracy: Optional[float] = None, min_mutual_inclination: float = 0.0,
                       matrix: bool = False) -> SpeedDistribution:
    """Collision-weighted distributions of the impact and the encounter speed of orbit pairs.

    Every quadrature term of a pair's collision probability carries a probability weight and an
    encounter speed U; summing the weights by speed bin gives the pair's distribution of impact
    speeds sqrt(U**2 + v_esc**2) and of encounter speeds, each summing to the pair's p_coll
    (1e-18 km^-2 yr^-1), the classic 10 x 10 rule's terms bit for bit as the program bins them.

    matrix=False: pair k is (a1[k], e1[k], i1[k]) against (a2[k], e2[k], i2[k]), the six
    broadcast as collision_probability broadcasts them. matrix=True: (a1, e1, i1) and
    (a2, e2, i2) are two populations (1-D arrays of one length each), and the pairs form the
    (n1, n2) matrix of pair_matrix. bins=(min, max, step) in km/s (default 0 to 40 by 0.25):
    see SpeedDistribution for the layout. Units, threads, Ctrl-C, errors and warnings as for
    collision_probability. accuracy=REL and min_mutual_inclination as for
    collision_probability: the terms of the accurate integrator's accepted estimate are binned
    (p_coll_error holds the error estimates). Invalid bins are a ValueError."""
    rel, min_inc = _accuracy(accuracy, min_mutual_inclination)
    lo, hi, step = _bins(bins)
    v = _core.escape_velocity(v_esc)
    team = _core.thread_count(threads)
    x = _pair_elements(a1, e1, i1, a2, e2, i2, degrees)
    if matrix:
        populations = []
        for k, which in ((0, "population 1"), (3, "population 2")):
            cols = [np.ascontiguousarray(np.ravel(c), dtype=np.float64) for c in x[k:k + 3]]
            if any(np.ndim(c) != 1 for c in x[k:k + 3]) or not (
                    len(cols[0]) == len(cols[1]) == len(cols[2])):
                raise ValueError(f"matrix=True: the elements of {which} must be 1-D arrays of "
                                 "one length")
            _require_orbits(cols[0], cols[1], which)
            populations += cols
        shape: Tuple[int, ...] = (len(populations[0]), len(populations[3]))
        flat = populations
    else:
        shape, flat = _broadcast_pairs(x)
    a1_, e1_, i1_, a2_, e2_, i2_ = flat
    impact, encounter, p_coll, err, lower, upper, no_case = _core.speed_distribution(
        a1_, e1_, i1_, a2_, e2_, i2_, v, degrees, team, rel, min_inc, lo, hi, step, matrix)
    if matrix:
        singular = _singular(a1_[:, None], e1_[:, None], i1_[:, None], a2_[None, :],
                             e2_[None, :], i2_[None, :], degrees)
    else:
        singular = _singular(a1_, e1_, i1_, a2_, e2_, i2_, degrees).reshape(shape)
    if rel == 0.0:
        _warn_singular(singular, "speed_distribution")
    values = len(lower)
    return SpeedDistribution(impact.reshape(shape + (values,)),
                             encounter.reshape(shape + (values,)), p_coll.reshape(shape),
                             lower, upper, singular, v, no_case, err.reshape(shape))
