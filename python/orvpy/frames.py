"""Many spectra as one table: scans to a pandas DataFrame, a column each, and back.

``to_dataframe`` puts each scan in a column over a shared wavelength index, either a grid the
scans are evaluated on or the union of their own wavelengths; NaN marks where a scan has no data,
as pandas marks a missing value. ``from_dataframe`` turns each column back into a scan. Both need
numpy and pandas (Debian: ``python3-numpy``, ``python3-pandas``).

Examples
--------
>>> import orvpy
>>> a = orvpy.Scan([400.0, 410.0, 420.0], [1.0, 2.0, 3.0], interpolation=orvpy.LINEAR)
>>> b = orvpy.Scan([410.0, 430.0], [5.0, 6.0], interpolation=orvpy.LINEAR)
>>> frame = orvpy.to_dataframe({"a": a, "b": b})
>>> frame["b"].tolist()
[nan, 5.0, nan, 6.0]
>>> orvpy.from_dataframe(frame)["b"] == b
True
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from typing import Any, Optional, Union

from _orvpy_core import Interpolation, Scan

from orvpy._optional import require

__all__ = ["DataFrame", "from_dataframe", "to_dataframe"]

DataFrame = Any  # pandas.DataFrame; Debian's pandas carries no type information
Scans = Union[Mapping[Any, Scan], Iterable[Union[Scan, tuple[Any, Scan]]]]


def named_scans(scans: Scans) -> list[tuple[Any, Scan]]:
    """Name the scans: by a mapping's keys, a pair's first item, or else their position.

    Parameters
    ----------
    scans : mapping, or iterable of Scan or of (name, Scan) pairs
        The scans, named or not.

    Returns
    -------
    list of (name, Scan)
        In the given order.

    Raises
    ------
    TypeError
        For an item that is neither a Scan nor a (name, Scan) pair.
    """
    if isinstance(scans, Mapping):
        return list(scans.items())
    named: list[tuple[Any, Scan]] = []
    for position, item in enumerate(scans):
        if isinstance(item, Scan):
            named.append((position, item))
        elif isinstance(item, tuple) and len(item) == 2 and isinstance(item[1], Scan):
            named.append((item[0], item[1]))
        else:
            raise TypeError(f"item {position} is a {type(item).__name__}, not a Scan or a (name, Scan) pair")
    return named


def to_dataframe(scans: Scans, grid: Optional[Any] = None) -> DataFrame:
    """Put scans in one table: a column per scan over a wavelength index.

    Parameters
    ----------
    scans : mapping of name to Scan, or iterable of Scan or of (name, Scan) pairs
        The scans; a mapping's keys or the pairs' names become the column labels (repeats
        kept), plain scans are labelled by their position.
    grid : array_like, optional
        Wavelengths (nm) to evaluate every scan at, interpolated as ``scan(x)`` does. By
        default the index is the union of the scans' own wavelengths and each column holds its
        scan's stored values, never interpolated.

    Returns
    -------
    pandas.DataFrame
        float64 columns over a float64 index named "wavelength" (nm), ascending; NaN where a
        scan has no data (outside its first and last wavelength on a grid, at every wavelength
        it does not hold on the union).

    Raises
    ------
    ModuleNotFoundError
        Without numpy or pandas (Debian: python3-numpy, python3-pandas).
    RuntimeError
        On a grid, for a scan whose kind cannot interpolate its points (a scan of kind NONE
        between its points).
    """
    pd = require("pandas", "python3-pandas", "orvpy.to_dataframe")
    np = require("numpy", "python3-numpy", "orvpy.to_dataframe")
    named = named_scans(scans)
    if grid is not None:
        index = np.unique(np.asarray(grid, dtype=np.float64))
        columns = [scan(index, extrapolation="nan") for _, scan in named]
    else:
        points = [scan.to_numpy() for _, scan in named]
        index = np.unique(np.concatenate([p[0] for p in points])) if points else np.empty(0)
        columns = []
        for p in points:
            column = np.full(len(index), np.nan)
            column[np.searchsorted(index, p[0])] = p[1]
            columns.append(column)
    frame = pd.DataFrame(
        dict(enumerate(columns)), index=pd.Index(index, dtype=np.float64, name="wavelength"), dtype=np.float64
    )
    frame.columns = [name for name, _ in named]
    return frame


def from_dataframe(
    frame: DataFrame, epsilon: float = Scan.Default_Wavelength_Epsilon, interpolation: Optional[Interpolation] = None
) -> dict[Any, Scan]:
    """Make a scan of each column of a table indexed by wavelength.

    Parameters
    ----------
    frame : pandas.DataFrame
        Real columns over an index of wavelengths (nm); NaN marks where a column has no data,
        as ``to_dataframe`` writes it.
    epsilon : float
        Every scan's wavelength epsilon (nm).
    interpolation : Interpolation, optional
        Every scan's interpolation kind; Akima by default.

    Returns
    -------
    dict
        Column label to Scan, in column order; each scan holds its column's rows that are not
        NaN.

    Raises
    ------
    ValueError
        When column labels repeat (a dict cannot hold both), or for a NaN wavelength.
    TypeError
        For a column that does not hold real numbers.
    """
    labels = list(frame.columns)
    repeated = sorted({str(label) for label in labels if labels.count(label) > 1})
    if repeated:
        raise ValueError(f"column labels repeat ({', '.join(repeated)}); give each column its own label")
    kind = Interpolation.AKIMA if interpolation is None else interpolation
    return {label: Scan.from_series(frame[label].dropna(), epsilon, kind) for label in labels}
