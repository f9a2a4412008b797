"""What the package's result and table classes share: the warning classes, and a base class for
named NumPy columns of one length that indexes, slices, pickles, copies and converts."""
from __future__ import annotations

from typing import Any, ClassVar, Dict, Tuple, TypeVar, Union

import numpy as np
import numpy.typing as npt


class PairtrackWarning(UserWarning):
    """A warning of the program or the package: input that is probably a mistake (a seed that is
    not negative, a catalogue whose reading stopped early, unphysical elements, inclinations that
    look like radians, pairs whose collision probability this theory does not define, ...)."""


class TruncatedHistoryWarning(PairtrackWarning):
    """A history file ends inside a frame (a file still being written); the incomplete frame is
    left out, as the program leaves it out."""


def pandas_module() -> Any:
    """pandas, imported when a to_pandas() call first needs it (it is optional)."""
    try:
        import pandas  # type: ignore[import]  # optional, imported on use
    except ImportError as missing:
        raise ImportError("to_pandas() needs pandas (Debian: python3-pandas; pip: pandas); "
                          "as_dict() gives the same columns as NumPy arrays") from missing
    return pandas


_T = TypeVar("_T", bound="Columns")
RowKey = Union[int, np.integer, slice, npt.ArrayLike]


class Columns:
    """Named columns (NumPy arrays) of one length.

    len(t) is the number of rows; t["name"] is a column; t[k] is row k as a dict; t[1:3],
    t[mask] and t[[0, 2]] are tables of those rows. as_dict() gives the columns, to_pandas() a
    pandas.DataFrame. Instances pickle and copy like any Python object."""

    _fields: ClassVar[Tuple[str, ...]] = ()
    # Attributes that are not columns and that a selection of rows keeps.
    _extras: ClassVar[Tuple[str, ...]] = ()

    @classmethod
    def _from_columns(cls: type[_T], columns: Dict[str, Any], **extras: Any) -> _T:
        table = cls.__new__(cls)
        for name in cls._fields:
            setattr(table, name, np.asarray(columns[name]))
        for name, value in extras.items():
            setattr(table, name, value)
        return table

    def __len__(self) -> int:
        return len(getattr(self, self._fields[0]))

    def as_dict(self) -> Dict[str, np.ndarray]:
        """The columns as a dict of NumPy arrays, in their order."""
        return {name: getattr(self, name) for name in self._fields}

    def to_pandas(self) -> Any:
        """The columns as a pandas.DataFrame (needs pandas)."""
        return pandas_module().DataFrame(self.as_dict())

    def __getitem__(self: _T, key: Any) -> Any:
        if isinstance(key, str):
            if key not in self._fields:
                raise KeyError(f"{type(self).__name__} has no column {key!r}; its columns are "
                               f"{', '.join(self._fields)}")
            return getattr(self, key)
        if isinstance(key, (int, np.integer)) and not isinstance(key, bool):
            n = len(self)
            if not -n <= key < n:
                raise IndexError(f"row {key} is out of range for {n} rows")
            return {name: getattr(self, name)[key].item() for name in self._fields}
        rows = {name: getattr(self, name)[key] for name in self._fields}
        if any(np.ndim(c) != 1 for c in rows.values()):
            raise IndexError("rows are selected by an int, a slice, a boolean mask or an array "
                             "of indices")
        return self._from_columns(rows, **{x: getattr(self, x) for x in self._extras})

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        assert isinstance(other, Columns)
        return all(np.array_equal(getattr(self, n), getattr(other, n), equal_nan=True)
                   for n in self._fields) and all(
            getattr(self, x) == getattr(other, x) for x in self._extras)

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return (f"<pairtrack.{type(self).__name__}: {len(self)} rows; columns "
                f"{', '.join(self._fields)}>")
