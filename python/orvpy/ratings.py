"""Many lenses rated into one pandas DataFrame: ``orvpy.lens.rate_many``.

Every number of a rating comes from the totals of its weighted means (``weighted / weight``) and
the lens's stored values (the spectral minimum). The core works out every total of one lens in a
single pass (``_lens_totals_many``). With ``method="sum"`` a total is a fixed weighted sum of the lens
at the weighting tables' wavelengths, so for lenses that share a grid holding those wavelengths
the totals of all lenses are one matrix product of their values with weights worked out once for
the grid (``_lens_readings``). What a rating covers, and its warnings, depend only on the
wavelengths a lens spans: ``rate`` itself decides them once per span.
"""

from __future__ import annotations

import os
from collections.abc import Iterable, Mapping
from dataclasses import dataclass, fields
from typing import Any, Optional, Union

from _orvpy_core import Scan
from _orvpy_core import colorimetry as _colorimetry
from _orvpy_core import io as _io

from orvpy import lens as _lens
from orvpy._optional import require

__all__ = ["rate_many"]

DataFrame = Any  # pandas.DataFrame; Debian's pandas carries no type information
Lenses = Union[Mapping[Any, Scan], Iterable[Union[Scan, str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]]]
_FIELDS = [field.name for field in fields(_lens.LensRating)]
# The constants of CIELAB_f (CIE 15:2004 8.2.1), as the core writes them.
_CIELAB_KNEE = 0.008856451679035631
_CIELAB_SLOPE = 7.787037037037037
_CIELAB_OFFSET = 0.13793103448275862


@dataclass
class _Lens:
    label: Any
    scan: Scan
    percent: bool


def _lenses(items: Lenses, percent: bool) -> tuple[list[_Lens], bool]:
    """List the lenses with their labels, and say whether they came from files."""
    if isinstance(items, Mapping):
        return [_Lens(label, scan, percent) for label, scan in items.items()], False
    lenses: list[_Lens] = []
    kinds = set()
    for position, item in enumerate(items):
        if isinstance(item, Scan):
            kinds.add("scan")
            lenses.append(_Lens(position, item, percent))
            continue
        kinds.add("path")
        orv_file = _io.load_orvfile(item)
        shown = os.fsdecode(os.fspath(item))
        in_percent = _lens._percent_from_units(orv_file, shown)
        lenses += [_Lens((shown, s.name), s.data, in_percent) for s in orv_file.data_sets]
    if len(kinds) > 1:
        raise TypeError("rate_many takes scans or data file paths, not both in one call")
    return lenses, kinds == {"path"}


def _refuse_percent_as_fraction(np: Any, group: list[_Lens], keys: Any, values: Any) -> None:
    """Refuse a fraction above the largest one can be in the visible band, as ``rate`` does, naming the lens."""
    low, high = _lens._VISIBLE_NM
    largest = _lens._LARGEST_FRACTION
    visible = slice(np.searchsorted(keys, low, "left"), np.searchsorted(keys, high, "right"))
    fractions = ~np.array([lens.percent for lens in group])
    above = (values[:, visible].max(axis=1, initial=-np.inf) > largest) & fractions
    if above.any():
        row = int(np.argmax(above))
        at = int(np.argmax((keys >= low) & (keys <= high) & (values[row] > largest)))
        raise ValueError(
            f"lens {group[row].label!r}: the transmittance is {values[row, at]:g} at {keys[at]:g} nm, more than a "
            f"fraction can be (above {largest:g}): values in percent need percent=True"
        )


def _linear_weights(np: Any, scan: Scan, count: int) -> Optional[tuple[Any, Any, Any]]:
    """Work out the 5 nm sums' weights for a grid.

    Returns the positions of the wavelengths the sums read, the matrix of weights over them (one
    column per mean) and the weight totals; None when a sum reads the lens between its points.
    """
    keys = np.asarray(scan.wavelengths())
    matrix = np.zeros((len(keys), count))
    totals = np.zeros(count)
    for column, readings in enumerate(_colorimetry._lens_readings(scan, "sum")):
        if readings is None:
            continue
        nodes, weights, totals[column] = np.asarray(readings[0]), np.asarray(readings[1]), readings[2]
        at = np.minimum(np.searchsorted(keys, nodes), len(keys) - 1)
        if not np.array_equal(keys[at], nodes):
            return None
        np.add.at(matrix[:, column], at, weights)
    # Only the wavelengths the sums read take part in the product.
    read = np.flatnonzero(matrix.any(axis=1))
    return read, matrix[read], totals


def _totals(np: Any, group: list[_Lens], points: list[Any], method: _lens.Method) -> tuple[Any, Any, Any]:
    """Work out the totals of lenses that share their wavelengths.

    Returns the weighted and weight totals (lenses x means) and the spectral minima, after
    refusing percent read as a fraction.
    """
    keys = points[0][0]
    values = np.stack([p[1] for p in points])
    _refuse_percent_as_fraction(np, group, keys, values)
    if any(lens.percent for lens in group):
        values = np.where(np.array([lens.percent for lens in group])[:, None], values / 100.0, values)
    count = len(_colorimetry._lens_mean_names())
    linear = _linear_weights(np, group[0].scan, count) if method == "sum" else None
    if linear is not None:
        read, matrix, totals = linear
        weighted, weight = values[:, read] @ matrix, np.broadcast_to(totals, (len(group), count))
    else:
        scans = [lens.scan / 100.0 if lens.percent else lens.scan for lens in group]
        pairs = np.frombuffer(_colorimetry._lens_totals_many(scans, method)).reshape(len(group), count, 2)
        weighted, weight = pairs[:, :, 0], pairs[:, :, 1]
    # The stored values in 475-650 nm, ends within the epsilon, as ANSI_Z80_3_tau_spectral_min reads them.
    epsilon = group[0].scan.epsilon
    band = slice(np.searchsorted(keys + epsilon, 475.0, "left"), np.searchsorted(keys, 650.0 + epsilon, "right"))
    minimum = values[:, band].min(axis=1, initial=np.inf)
    minimum[minimum == np.inf] = np.nan
    return weighted, weight, minimum


def _fields(np: Any, weighted: Any, weight: Any, minimum: Any) -> dict[str, Any]:
    """Work out every number of the ratings from their means' totals, as ``rate`` does."""
    names = _colorimetry._lens_mean_names()
    column = {name: i for i, name in enumerate(names)}
    with np.errstate(divide="ignore", invalid="ignore"):
        mean = {name: np.where(weight[:, i] > 0, weighted[:, i] / weight[:, i], np.nan) for name, i in column.items()}
        out: dict[str, Any] = {name: mean[name] for name in names if "_tau_" in name}
        out["ISO8980_3_tau_uva"] = mean["ANSI_Z80_3_tau_uva"]
        out["ANSI_Z80_3_tau_spectral_min"] = minimum
        for quotient, signal, tau_v in _lens._QUOTIENTS:
            out[quotient] = out[signal] / out[tau_v]
        for light in ("daylight", "yellow_signal", "green_signal"):
            x, y, z = (weighted[:, column[f"{light}_{c}"]] for c in "XYZ")
            out[f"{light}_x"], out[f"{light}_y"] = x / (y + x + z), y / (y + x + z)
        fx, fy, fz = (
            np.where(t > _CIELAB_KNEE, np.power(t, 1 / 3), _CIELAB_SLOPE * t + _CIELAB_OFFSET)
            for t in (mean[f"daylight_{c}"] for c in "XYZ")
        )
    out["CIELAB_L_star"], out["CIELAB_a_star"], out["CIELAB_b_star"] = 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)
    luminous = out["ISO8980_3_tau_v"]
    out["category"] = np.select([luminous > lower for _, lower in _lens._CATEGORY_LOWER_BOUNDS], range(5), -1)
    return out


def _column(np: Any, parts: list[Any], missing: list[bool], integer: bool) -> Any:
    """Join one column's parts as pandas makes it from the ratings' dicts.

    None throughout stays None, else NaN marks a None; categories are integers when every lens
    has one.
    """
    if all(missing):
        return np.full(sum(len(p) for p in parts), None, dtype=object)
    values = np.concatenate([np.full(len(p), np.nan) if gone else p for p, gone in zip(parts, missing)])
    if integer:
        values = np.where(values < 0, np.nan, values)
        return values.astype(np.int64) if not np.isnan(values).any() else values.astype(np.float64)
    return values.astype(np.float64)


def rate_many(
    lenses: Lenses,
    *,
    method: _lens.Method,
    percent: bool,
    require_coverage: bool,
    coverage_tolerance_nm: float,
) -> DataFrame:
    """Rate many lenses into one table for ``orvpy.lens.rate_many``, which documents it and holds the defaults.

    With "sum", lenses that share a grid holding the weighting tables' 5 nm wavelengths are rated
    by one matrix product.
    """
    pd = require("pandas", "python3-pandas", "orvpy.lens.rate_many")
    np = require("numpy", "python3-numpy", "orvpy.lens.rate_many")
    quantities = _lens._quantities(method)
    items, from_files = _lenses(lenses, percent)
    groups: dict[tuple[bytes, float], list[int]] = {}
    points = [lens.scan.to_numpy() for lens in items]
    for i, lens in enumerate(items):
        groups.setdefault((points[i][0].tobytes(), lens.scan.epsilon), []).append(i)
    parts: dict[str, list[Any]] = {name: [] for name in _FIELDS}
    missing: dict[str, list[bool]] = {name: [] for name in _FIELDS}
    order: list[int] = []
    patterns: dict[tuple[float, float], _lens.LensRating] = {}
    for members in groups.values():
        group = [items[i] for i in members]
        first = group[0]
        if len(first.scan) == 0:
            raise ValueError(f"lens {first.label!r}: cannot rate an empty scan")
        span = (first.scan.min_wavelength(), first.scan.max_wavelength())
        if span not in patterns:
            try:
                patterns[span] = _lens._rate(
                    first.scan, quantities, method, first.percent, require_coverage, coverage_tolerance_nm
                )
            except ValueError as error:
                raise ValueError(f"lens {first.label!r}: {error}") from error
        pattern = patterns[span]
        computed = _fields(np, *_totals(np, group, [points[i] for i in members], method))
        for name in _FIELDS:
            value = getattr(pattern, name)
            if name in computed:
                parts[name].append(computed[name])
                missing[name].append(value is None)
            else:
                text = "; ".join(value) if name == "warnings" else value
                parts[name].append(np.full(len(group), text, dtype=object if isinstance(text, str) else float))
                missing[name].append(False)
        order += members
    columns = {
        name: _column(np, parts[name], missing[name], name == "category")
        if name not in ("warnings", "method")
        else np.concatenate(parts[name])
        for name in _FIELDS
    }
    labels = [items[i].label for i in order]
    index = (
        pd.MultiIndex.from_tuples(labels, names=["file", "data_set"])
        if from_files and labels
        else pd.Index(labels, name="lens")
    )
    frame = pd.DataFrame(columns, index=index)
    return frame.iloc[np.argsort(order, kind="stable")] if len(groups) > 1 else frame
