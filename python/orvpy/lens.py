"""Eyewear lens ratings in one call: ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311.

``rate`` computes every transmittance, signal quotient and colour quantity of the four standards
from one spectral transmittance, with the core's own functions, and classifies the filter
category; ``rate_file`` does so for every data set of an instrument data file. ``assess`` and
``assess_file`` (from ``orvpy.verdicts``) check ratings against requirements read from a rules
file and give a verdict per requirement and per intended use.

A rating never reports a band it did not measure. Each quantity is a mean over a band: its
nominal band, narrowed to where its weighting curves have data (``ISO8980_3_tau_suvb`` starts at
290 nm, where the solar irradiance table begins; the ANSI red signal at 590 nm, where the red
signal lens starts). The band is covered when the scan's first wavelength is at most
``coverage_tolerance_nm`` above the band's start and its last wavelength at most that below the
band's end; a quantity is then the mean over the part of the band that was measured, and
``warnings`` names each band that was narrowed so, and by how much.

Two methods are offered. ``"integral"`` (the default) integrates the lens's own curve against
the weighting curves, so the result does not depend on how the lens was sampled; ``"sum"`` is the
standards' own arithmetic, sums at the weighting tables' 5 nm wavelengths with the lens's
transmittance taken there, against which labs check their certified spreadsheets. Both agree to
within the sampling of the tables; the rating records which one it used.

Examples
--------
>>> from orvpy import Scan, lens
>>> grey = Scan([280.0 + 5 * i for i in range(101)], [0.15] * 101)
>>> rating = lens.rate(grey)
>>> rating.category, round(rating.ISO8980_3_tau_suva, 6), round(rating.ISO8980_3_Q_led_red, 6)
(3, 0.15, 1.0)
>>> visible_only = Scan([380.0 + 5 * i for i in range(81)], [0.15] * 81)
>>> lens.rate(visible_only, require_coverage=False).ISO8980_3_tau_uva is None
True
"""

from __future__ import annotations

import bisect
import functools
import math
import os
import re
from dataclasses import dataclass, fields
from typing import Any, Callable, Iterable, Literal, Mapping, NamedTuple, Optional, Union

from _orvpy_core import Observer, Scan
from _orvpy_core import chromaticity as _chromaticity
from _orvpy_core import colorimetry as _colorimetry
from _orvpy_core import io as _io
from _orvpy_core.colorimetry import data as _data

from orvpy.verdicts import Assessment, Rules, UseVerdict, Verdict, assess, assess_file, load_rules

__all__ = [
    "Assessment",
    "LensRating",
    "Method",
    "Rules",
    "UseVerdict",
    "Verdict",
    "assess",
    "assess_file",
    "filter_category",
    "load_rules",
    "rate",
    "rate_file",
    "rate_many",
]

Method = Literal["integral", "sum"]
_METHODS = ("integral", "sum")
_VISIBLE_NM = (380.0, 780.0)
# A transmittance read as a fraction cannot reach this in the visible band: percent, mistaken.
_LARGEST_FRACTION = 1.5
_SIGNAL_COLOURS = ("red", "yellow", "green", "blue")
# Signal quotients Q = tau_signal / tau_v, each over the luminous transmittance of its standard.
_QUOTIENTS = [
    (f"ANSI_Z80_3_Q_{colour}", f"ANSI_Z80_3_tau_signal_{colour}", "ANSI_Z80_3_tau_v") for colour in _SIGNAL_COLOURS[:3]
] + [
    (f"ISO8980_3_Q_{light}_{colour}", f"ISO8980_3_tau_signal_{light}_{colour}", "ISO8980_3_tau_v")
    for light in ("incandescent", "led")
    for colour in _SIGNAL_COLOURS
]

# Filter categories by luminous transmittance (fraction, D65): a category's lower bound is
# exclusive, its upper bound inclusive.
_CATEGORY_LOWER_BOUNDS = ((0, 0.80), (1, 0.43), (2, 0.18), (3, 0.08), (4, 0.03))

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def filter_category(tau_v: float) -> Optional[int]:
    """Return the filter category of a luminous transmittance.

    Parameters
    ----------
    tau_v : float
        Luminous transmittance under D65 (``ISO8980_3_tau_v``), as a fraction.

    Returns
    -------
    int or None
        0 over 80 % (measurement noise above 100 % included), 1 over 43 % to 80 %, 2 over
        18 % to 43 %, 3 over 8 % to 18 %, 4 over 3 % to 8 %; None at 3 % or below, or for NaN.
    """
    for category, lower in _CATEGORY_LOWER_BOUNDS:
        if tau_v > lower:
            return category
    return None


@dataclass(frozen=True)
class LensRating:
    """Every quantity of ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311 for one lens.

    Transmittances are fractions (a scan in percent is rated with ``percent=True``). A field is
    None when the scan does not cover the band its quantity integrates over; ``warnings`` then
    says which band was missing, and names each band the scan covered only within the tolerance
    (its mean is over the measured part). ``method`` is how the means were worked out
    (``"integral"`` or ``"sum"``, see the module's docstring). A quantity that is undefined for
    the lens is NaN, as the core computes it (the chromaticity and the Q of an opaque lens).
    Signal quotients Q are the signal transmittance over the luminous transmittance of the same
    standard: ANSI Z80.3 uses illuminant C
    (``ANSI_Z80_3_tau_v``), ISO 8980-3 uses D65 (``ISO8980_3_tau_v``). The chromaticities are
    CIE 1931 (x, y) of the lens under the ANSI Z80.3 lights; CIELAB is the lens under D65
    against D65 as white, with the CIE 1931 observer. The category follows ``filter_category``
    of ``ISO8980_3_tau_v``.

    Attributes
    ----------
    min_wavelength, max_wavelength : float
        The scan's first and last wavelengths (nm).
    ISO8980_3_tau_v, ANSI_Z80_3_tau_v : float or None
        Luminous transmittance, for D65 (ISO 8980-3:2013, 3.4) and for illuminant C (ANSI
        Z80.3-2015, 3.8.1).
    ANSI_Z80_3_tau_uva, ANSI_Z80_3_tau_uvb : float or None
        Mean transmittance over 315-380 nm and 280-315 nm (ANSI Z80.3-2015, 3.8.3).
    ISO8980_3_tau_uva : float or None
        Mean transmittance over 315-380 nm (ISO 8980-3:2013, 3.1).
    ISO8980_3_tau_suva, ISO8980_3_tau_suvb : float or None
        Solar UV-A and UV-B transmittance (ISO 8980-3:2013, 3.2 and 3.3).
    ASNZS1067_2016_tau_suva : float or None
        Solar UV-A transmittance over 315-400 nm (AS/NZS 1067.2:2016).
    ISO12311_tau_sb : float or None
        Solar blue-light transmittance (ISO 12311:2013, 7.4).
    ANSI_Z80_3_tau_spectral_min : float or None
        Least spectral transmittance over 475-650 nm (ANSI Z80.3-2015, 4.10.2.3).
    ANSI_Z80_3_tau_signal_red, ANSI_Z80_3_tau_signal_yellow, ANSI_Z80_3_tau_signal_green : float or None
        Traffic signal transmittances (ANSI Z80.3-2015, 3.8.2.2).
    ISO8980_3_tau_signal_incandescent_red, ..., ISO8980_3_tau_signal_led_blue : float or None
        Signal light transmittances, incandescent and LED, red, yellow, green and blue (ISO
        8980-3:2013, 3.5).
    ANSI_Z80_3_Q_red, ..., ISO8980_3_Q_led_blue : float or None
        Signal quotients, one per signal transmittance.
    daylight_x, daylight_y, yellow_signal_x, yellow_signal_y, green_signal_x, green_signal_y : float or None
        CIE 1931 (x, y) chromaticity under the ANSI Z80.3 lights.
    CIELAB_L_star, CIELAB_a_star, CIELAB_b_star : float or None
        CIELAB of the lens under D65.
    category : int or None
        The filter category (``filter_category``).
    method : {"integral", "sum"}
        How the means were worked out.
    warnings : tuple of str
        The bands missed or narrowed.

    References
    ----------
    ISO 8980-3:2013, 3.1-3.5; ANSI Z80.3-2015, 3.8 and 4.10.2.3; AS/NZS 1067.2:2016; ISO
    12311:2013, 7.4; CIE 15:2004.
    """

    min_wavelength: float
    max_wavelength: float
    ISO8980_3_tau_v: Optional[float]
    ANSI_Z80_3_tau_v: Optional[float]
    ANSI_Z80_3_tau_uva: Optional[float]
    ANSI_Z80_3_tau_uvb: Optional[float]
    ISO8980_3_tau_uva: Optional[float]
    ISO8980_3_tau_suva: Optional[float]
    ISO8980_3_tau_suvb: Optional[float]
    ASNZS1067_2016_tau_suva: Optional[float]
    ISO12311_tau_sb: Optional[float]
    ANSI_Z80_3_tau_spectral_min: Optional[float]
    ANSI_Z80_3_tau_signal_red: Optional[float]
    ANSI_Z80_3_tau_signal_yellow: Optional[float]
    ANSI_Z80_3_tau_signal_green: Optional[float]
    ISO8980_3_tau_signal_incandescent_red: Optional[float]
    ISO8980_3_tau_signal_incandescent_yellow: Optional[float]
    ISO8980_3_tau_signal_incandescent_green: Optional[float]
    ISO8980_3_tau_signal_incandescent_blue: Optional[float]
    ISO8980_3_tau_signal_led_red: Optional[float]
    ISO8980_3_tau_signal_led_yellow: Optional[float]
    ISO8980_3_tau_signal_led_green: Optional[float]
    ISO8980_3_tau_signal_led_blue: Optional[float]
    ANSI_Z80_3_Q_red: Optional[float]
    ANSI_Z80_3_Q_yellow: Optional[float]
    ANSI_Z80_3_Q_green: Optional[float]
    ISO8980_3_Q_incandescent_red: Optional[float]
    ISO8980_3_Q_incandescent_yellow: Optional[float]
    ISO8980_3_Q_incandescent_green: Optional[float]
    ISO8980_3_Q_incandescent_blue: Optional[float]
    ISO8980_3_Q_led_red: Optional[float]
    ISO8980_3_Q_led_yellow: Optional[float]
    ISO8980_3_Q_led_green: Optional[float]
    ISO8980_3_Q_led_blue: Optional[float]
    daylight_x: Optional[float]
    daylight_y: Optional[float]
    yellow_signal_x: Optional[float]
    yellow_signal_y: Optional[float]
    green_signal_x: Optional[float]
    green_signal_y: Optional[float]
    CIELAB_L_star: Optional[float]
    CIELAB_a_star: Optional[float]
    CIELAB_b_star: Optional[float]
    category: Optional[int]
    method: str = "integral"
    warnings: tuple[str, ...] = ()

    def as_dict(self) -> dict[str, Union[float, int, str, None]]:
        """Return the rating as one flat, JSON-ready dict, field by field in order.

        Returns
        -------
        dict of str to float, int, str or None
            Each field's value under its name; ``warnings`` joined by "; " (empty when there are
            none).
        """
        flat: dict[str, Union[float, int, str, None]] = {}
        for field in fields(self):
            value = getattr(self, field.name)
            flat[field.name] = "; ".join(value) if field.name == "warnings" else value
        return flat


class _Quantity(NamedTuple):
    """Fields computed by one core call, each with the band its integral covers (nm)."""

    fields: tuple[str, ...]
    bands: tuple[tuple[float, float], ...]
    compute: Callable[[Scan], tuple[float, ...]]


@functools.lru_cache(maxsize=None)
def _cie_1931_observer() -> Observer:
    return Observer(
        _data.cie_1931_standard_observer_x(), _data.cie_1931_standard_observer_y(), _data.cie_1931_standard_observer_z()
    )


def _quantities(method: Method) -> list[_Quantity]:
    """Return what a rating computes, with the bands the core works each quantity out over.

    The bands are read off the reference curves at each call, as those are process-wide and may
    be changed through their views.
    """
    if method not in _METHODS:
        raise ValueError(f"method must be 'integral' or 'sum', not {method!r}")
    return list(_quantities_in(method, tuple(_colorimetry.lens_quantity_bands().items())))


@functools.lru_cache(maxsize=8)
def _quantities_in(method: Method, bands: tuple[tuple[str, tuple[float, float]], ...]) -> tuple[_Quantity, ...]:
    """Return ``_quantities`` for the bands given, made once for each set of bands."""
    band = dict(bands)
    return tuple(
        _Quantity(names, tuple(band[name] for name in band_names), compute)
        for names, band_names, compute in _computations(method)
    )


_Computation = tuple[tuple[str, ...], tuple[str, ...], Callable[[Scan], tuple[float, ...]]]


@functools.lru_cache(maxsize=None)
def _computations(method: Method) -> tuple[_Computation, ...]:
    """Return what ``_quantities`` gives, with the names of the bands in place of the bands.

    Made once per method: only the bands are read at each call.
    """
    c, ch = _colorimetry, _chromaticity

    def single(name: str) -> _Computation:
        function = getattr(c, name)
        if name == "ANSI_Z80_3_tau_spectral_min":
            return (name,), (name,), lambda trans: (function(trans),)
        return (name,), (name,), lambda trans: (function(trans, method),)

    def signals(
        function: Callable[..., Union[_colorimetry.RYG, _colorimetry.RYGB]], prefix: str, colours: tuple[str, ...]
    ) -> _Computation:
        names = tuple(f"{prefix}_{colour}" for colour in colours)
        return names, names, lambda trans: _signals(function(trans, method))

    def xy(function: Callable[..., _chromaticity.CIExy], prefix: str) -> _Computation:
        def compute(trans: Scan) -> tuple[float, ...]:
            point = function(trans, method)
            return point.x, point.y

        return (f"{prefix}_x", f"{prefix}_y"), (function.__name__,) * 2, compute

    def cielab(trans: Scan) -> tuple[float, ...]:
        lab = c.CIELAB_of_transmittance(trans, _data.cie_illuminant_d65(), _cie_1931_observer(), method)
        return lab.L_star, lab.a_star, lab.b_star

    return (
        *(
            single(name)
            for name in (
                "ISO8980_3_tau_v",
                "ANSI_Z80_3_tau_v",
                "ANSI_Z80_3_tau_uva",
                "ANSI_Z80_3_tau_uvb",
                "ISO8980_3_tau_uva",
                "ISO8980_3_tau_suva",
                "ISO8980_3_tau_suvb",
                "ASNZS1067_2016_tau_suva",
                "ISO12311_tau_sb",
                "ANSI_Z80_3_tau_spectral_min",
            )
        ),
        signals(c.ANSI_Z80_3_tau_signal, "ANSI_Z80_3_tau_signal", _SIGNAL_COLOURS[:3]),
        signals(c.ISO8980_3_tau_signal_incandescent, "ISO8980_3_tau_signal_incandescent", _SIGNAL_COLOURS),
        signals(c.ISO8980_3_tau_signal_led, "ISO8980_3_tau_signal_led", _SIGNAL_COLOURS),
        xy(ch.ANSI_Z80_3_daylight_chromaticity, "daylight"),
        xy(ch.ANSI_Z80_3_yellow_chromaticity, "yellow_signal"),
        xy(ch.ANSI_Z80_3_green_chromaticity, "green_signal"),
        (("CIELAB_L_star", "CIELAB_a_star", "CIELAB_b_star"), ("ANSI_Z80_3_daylight_chromaticity",) * 3, cielab),
    )


def _signals(record: Union[_colorimetry.RYG, _colorimetry.RYGB]) -> tuple[float, ...]:
    return tuple(getattr(record, colour) for colour in _SIGNAL_COLOURS if hasattr(record, colour))


def _quotient(signal: Optional[float], tau_v: Optional[float]) -> Optional[float]:
    """Return signal / tau_v with IEEE division, as the core divides.

    An opaque lens gives NaN, not an exception.
    """
    if signal is None or tau_v is None:
        return None
    if tau_v == 0:
        return math.nan if signal == 0 or math.isnan(signal) else math.copysign(math.inf, signal)
    return signal / tau_v


def rate(
    scan: Scan,
    *,
    percent: bool = False,
    require_coverage: bool = True,
    coverage_tolerance_nm: float = 5.0,
    method: Method = "integral",
) -> LensRating:
    """Rate a lens from its spectral transmittance.

    Parameters
    ----------
    scan : Scan
        Spectral transmittance of the lens over wavelength (nm).
    percent : bool
        The values are in percent; they are divided by 100 before rating.
    require_coverage : bool
        Raise when a quantity's band is not covered; with False that quantity is None and
        ``LensRating.warnings`` says why.
    coverage_tolerance_nm : float
        How far (nm) the scan's first and last wavelengths may fall inside a band's ends and
        still cover it; by default 5 nm, one usual sampling step. Such a band is averaged over
        its measured part, and ``LensRating.warnings`` says so.
    method : {"integral", "sum"}
        The integral of the lens's curve (default), or the standards' sums at the weighting
        tables' 5 nm wavelengths.

    Returns
    -------
    LensRating

    Raises
    ------
    ValueError
        For an empty scan, a negative or non-finite tolerance, an unknown method, a fraction above
        1.5 anywhere in 380-780 nm (percent given as a fraction: pass ``percent=True``), or, with
        ``require_coverage``, a scan that does not cover every band: the message names each
        quantity and its band.
    RuntimeError
        From the core, when a covered band holds too few points to interpolate.

    References
    ----------
    ISO 8980-3:2013, 3.1-3.5; ANSI Z80.3-2015, 3.8 and 4.10.2.3; AS/NZS 1067.2:2016; ISO 12311:2013, 7.4.
    """
    return _rate(scan, _quantities(method), method, percent, require_coverage, coverage_tolerance_nm)


def rate_many(
    lenses: Union[Mapping[Any, Scan], Iterable[Union[Scan, PathLike]]],
    *,
    method: Method = "integral",
    percent: bool = False,
    require_coverage: bool = True,
    coverage_tolerance_nm: float = 5.0,
) -> Any:
    """Rate many lenses into one pandas DataFrame, a row per lens and a column per rating field.

    The numbers are ``rate``'s with the same method (to 1e-9), worked out from the totals of the
    ratings' weighted means, which the core gives for a lens in one pass; with ``method="sum"``,
    lenses that share a grid holding the weighting tables' 5 nm wavelengths are rated by one
    matrix product, with weights worked out once for the grid.

    Parameters
    ----------
    lenses : mapping of label to Scan, or iterable of Scan, or iterable of paths
        Spectral transmittances over wavelength (nm), labelled by the mapping's keys or by their
        position; or data files (.orv), each data set a lens, in percent or as a fraction as the
        file's unit says (as ``rate_file`` reads it). Scans and paths are not mixed.
    method : {"integral", "sum"}
        As for ``rate``.
    percent : bool
        The scans' values are in percent (files say so themselves).
    require_coverage, coverage_tolerance_nm
        As for ``rate``.

    Returns
    -------
    pandas.DataFrame
        Each lens's ``LensRating.as_dict()`` as a row, with the dtypes ``pandas.DataFrame`` gives
        a list of those dicts (a field no lens has is None; one some lenses lack is NaN there),
        indexed by label ("lens"), or by file and data set name ("file", "data_set").

    Raises
    ------
    ValueError
        As ``rate`` and ``rate_file`` raise it, the message naming the lens.
    TypeError
        For scans and paths mixed in one call.
    RuntimeError
        When a file cannot be read, or a lens holds too few points to interpolate.
    ModuleNotFoundError
        Without numpy or pandas (Debian: python3-numpy, python3-pandas).

    References
    ----------
    ISO 8980-3:2013 3.1-3.5; ANSI Z80.3-2015 3.8 and 4.10.2.3; AS/NZS 1067.2:2016; ISO 12311:2013 7.4.
    """
    from orvpy import ratings  # it builds on this module

    return ratings.rate_many(
        lenses,
        method=method,
        percent=percent,
        require_coverage=require_coverage,
        coverage_tolerance_nm=coverage_tolerance_nm,
    )


def _check_fraction(trans: Scan) -> None:
    """Refuse a transmittance that cannot be a fraction.

    Percent read as a fraction rates a 15 % lens as 15, category 0.
    """
    wavelengths, values = trans.wavelengths(), trans.values()
    first, last = bisect.bisect_left(wavelengths, _VISIBLE_NM[0]), bisect.bisect_right(wavelengths, _VISIBLE_NM[1])
    # max() skips a NaN after the first value, and stops at one in first place: a band whose largest
    # value is a fraction passes at C speed, anything else is looked at point by point.
    if first == last or max(values[first:last]) <= _LARGEST_FRACTION:
        return
    for w, v in zip(wavelengths, values):
        if _VISIBLE_NM[0] <= w <= _VISIBLE_NM[1] and v > _LARGEST_FRACTION:
            raise ValueError(
                f"the transmittance is {v:g} at {w:g} nm, more than a fraction can be "
                f"(above {_LARGEST_FRACTION:g}): values in percent need percent=True"
            )


def _rate(
    scan: Scan,
    quantities: list[_Quantity],
    method: str,
    percent: bool,
    require_coverage: bool,
    coverage_tolerance_nm: float,
) -> LensRating:
    """Rate a lens as ``rate`` does, with the quantities and bands already read.

    The quantities and their bands are read off the reference curves once, and a file's data
    sets share them.
    """
    if len(scan) == 0:
        raise ValueError("cannot rate an empty scan")
    if not (math.isfinite(coverage_tolerance_nm) and coverage_tolerance_nm >= 0):
        raise ValueError(f"coverage_tolerance_nm must be finite and at least 0, not {coverage_tolerance_nm!r}")
    if not percent:
        _check_fraction(scan)
    trans = scan / 100.0 if percent else scan
    first, last = trans.min_wavelength(), trans.max_wavelength()
    values: dict[str, Optional[float]] = {}
    missing: list[str] = []
    narrowed: list[str] = []
    if all(first <= lo and last >= hi for quantity in quantities for lo, hi in quantity.bands):
        # Every band measured whole, as for most lenses: nothing to narrow or leave out.
        for quantity in quantities:
            values.update(zip(quantity.fields, quantity.compute(trans)))
        quantities = []
    for quantity in quantities:
        covered = [
            first <= lo + coverage_tolerance_nm and last >= hi - coverage_tolerance_nm for lo, hi in quantity.bands
        ]
        results = quantity.compute(trans) if any(covered) else ()
        for i, (name, (lo, hi)) in enumerate(zip(quantity.fields, quantity.bands)):
            values[name] = results[i] if covered[i] else None
            if not covered[i]:
                missing.append(f"{name} needs {lo:g}-{hi:g} nm")
        short = {(lo, hi) for (lo, hi), ok in zip(quantity.bands, covered) if ok and (first > lo or last < hi)}
        for lo, hi in sorted(short):
            names = ", ".join(n for n, band, ok in zip(quantity.fields, quantity.bands, covered) if band == (lo, hi))
            shortfall = max(first - lo, 0.0) + max(hi - last, 0.0)
            narrowed.append(
                f"{names}: the mean over {max(lo, first):g}-{min(hi, last):g} nm, {shortfall:g} nm "
                f"short of its band {lo:g}-{hi:g} nm"
            )
    span = f"the scan covers {first:g}-{last:g} nm"
    if missing and require_coverage:
        raise ValueError(
            f"{span}, which misses the band of "
            + "; ".join(missing)
            + f" (a band is covered when the scan reaches within {coverage_tolerance_nm:g} nm "
            "of both its ends). Pass require_coverage=False to rate the rest."
        )
    for quotient, signal, tau_v in _QUOTIENTS:
        values[quotient] = _quotient(values[signal], values[tau_v])
    tau_v_d65 = values["ISO8980_3_tau_v"]
    return LensRating(
        min_wavelength=first,
        max_wavelength=last,
        category=None if tau_v_d65 is None else filter_category(tau_v_d65),
        method=method,
        warnings=tuple(f"not reported: {entry} and {span}" for entry in missing) + tuple(narrowed),
        **values,
    )


def rate_file(
    path: PathLike, *, require_coverage: bool = True, coverage_tolerance_nm: float = 5.0, method: Method = "integral"
) -> list[tuple[str, LensRating]]:
    """Rate every data set of an instrument data file, in file order.

    The file must hold transmittance over wavelength in nm; its unit says whether the values are
    in percent ("%", "percent") or a fraction ("", "1", "fraction"), written apart from the
    quantity ("Transmittance / %") or with it ("Transmittance/%", "Transmittance (%)"). Two data
    sets with the same name are both kept.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The data file (.orv).
    require_coverage, coverage_tolerance_nm, method
        As for ``rate``.

    Returns
    -------
    list of (str, LensRating)
        Each data set's name with its rating.

    Raises
    ------
    ValueError
        When the file holds another quantity or unit (the message lists the accepted
        spellings), when a data set labelled a fraction holds percent, or, with
        ``require_coverage``, when a data set does not cover every band (the message names the
        data set); for a path holding a NUL byte, or a file over 1 GiB.
    RuntimeError
        When the file cannot be opened (the core's ReadError, which arrives as RuntimeError), or
        is not a valid data file.
    """
    quantities = _quantities(method)
    orv_file = _io.load_orvfile(path)
    shown = os.fsdecode(os.fspath(path))
    percent = _percent_from_units(orv_file, shown)
    ratings = []
    for data_set in orv_file.data_sets:
        try:
            rating = _rate(data_set.data, quantities, method, percent, require_coverage, coverage_tolerance_nm)
        except ValueError as error:
            raise ValueError(f"{shown}: data set {data_set.name!r}: {error}") from error
        ratings.append((data_set.name, rating))
    return ratings


def _percent_from_units(orv_file: _io.OrvFile, shown: str) -> bool:
    """Tell whether a data file's values are in percent.

    Anything but transmittance over wavelength in nm is refused with ValueError.
    """
    if orv_file.meta.x_type != "Wavelength / nm":
        raise ValueError(
            f"{shown}: its x axis is {orv_file.meta.x_type or 'unnamed'!r}; " "a lens rating needs wavelengths in nm"
        )
    units = orv_file.data_info.type_and_units
    quantity, unit = _quantity_and_unit(units.measurement_type, units.units)
    if quantity.lower() != "transmittance":
        raise ValueError(f"{shown}: it holds {units.measurement_type or 'an unnamed quantity'!r}, not transmittance")
    if unit.lower() not in _UNIT_SPELLINGS:
        accepted = ", ".join(f"{spelling!r}" for spelling in _UNIT_SPELLINGS)
        raise ValueError(
            f"{shown}: its transmittance is in {unit!r}; a lens rating needs a fraction or percent, spelled "
            f"{accepted} (case aside)"
        )
    return _UNIT_SPELLINGS[unit.lower()]


# The units instruments and spreadsheets write for a transmittance: True for percent.
_UNIT_SPELLINGS = {"%": True, "percent": True, "": False, "1": False, "fraction": False}
# "Transmittance/%", "Transmittance (%)", "Transmittance [%]": the quantity with its unit in one
# text, which the reader leaves whole when it is not written as "quantity / unit".
_QUANTITY_WITH_UNIT = re.compile(r"(?P<quantity>[^/(\[]*?)\s*(?:/\s*(?P<over>.*?)|[(\[]\s*(?P<within>.*?)\s*[)\]])\s*")


def _quantity_and_unit(measurement_type: str, units: str) -> tuple[str, str]:
    """Split a data file's "quantity / unit" text, as the reader left it, into the quantity and its unit."""
    quantity, unit = measurement_type.strip(), units.strip()
    match = _QUANTITY_WITH_UNIT.fullmatch(quantity) if not unit else None
    if match is not None:
        quantity, unit = match["quantity"], match["over"] if match["over"] is not None else match["within"]
    return quantity.strip(), unit.strip()
