"""Eyewear lens ratings in one call: ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311.

``rate`` computes every transmittance, signal quotient and colour quantity of the four standards
from one spectral transmittance, with the core's own functions, and classifies the filter
category; ``rate_file`` does so for every data set of an instrument data file.

A rating never reports a band it did not measure. Each quantity integrates over a band: its
nominal band, narrowed to where its weighting curves have data (``ISO8980_3_tau_suvb`` starts at
290 nm, where the solar irradiance table begins; the ANSI red signal at 590 nm, where the red
signal lens starts). The band is covered when the scan's first wavelength is at most
``coverage_tolerance_nm`` above the band's start and its last wavelength at most that below the
band's end. The rating functions themselves integrate only where the scan has data, so a lens
measured over 380-780 nm would otherwise read as a perfect UV blocker.

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

import functools
import math
import os
from dataclasses import dataclass, fields
from typing import Callable, Optional, Union

from _orvpy_core import Observer, Scan
from _orvpy_core import chromaticity as _chromaticity
from _orvpy_core import colorimetry as _colorimetry
from _orvpy_core import io as _io
from _orvpy_core.colorimetry import data as _data

__all__ = ["LensRating", "filter_category", "rate", "rate_file"]

_VISIBLE_NM = (380.0, 780.0)
_SIGNAL_COLOURS = ("red", "yellow", "green", "blue")
# Signal quotients Q = tau_signal / tau_v, each over the luminous transmittance of its standard.
_QUOTIENTS = [(f"ANSI_Z80_3_Q_{colour}", f"ANSI_Z80_3_tau_signal_{colour}", "ANSI_Z80_3_tau_v")
              for colour in _SIGNAL_COLOURS[:3]] + [
    (f"ISO8980_3_Q_{light}_{colour}", f"ISO8980_3_tau_signal_{light}_{colour}", "ISO8980_3_tau_v")
    for light in ("incandescent", "led") for colour in _SIGNAL_COLOURS]

# Filter categories by luminous transmittance (fraction, D65): a category's lower bound is
# exclusive, its upper bound inclusive.
_CATEGORY_LOWER_BOUNDS = ((0, 0.80), (1, 0.43), (2, 0.18), (3, 0.08), (4, 0.03))

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def filter_category(tau_v: float) -> Optional[int]:
    """The filter category of a luminous transmittance.

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
    says which band was missing. A quantity that is undefined for the lens is NaN, as the core
    computes it (the chromaticity and the Q of an opaque lens). Signal quotients Q are the signal transmittance over the
    luminous transmittance of the same standard: ANSI Z80.3 uses illuminant C
    (``ANSI_Z80_3_tau_v``), ISO 8980-3 uses D65 (``ISO8980_3_tau_v``). The chromaticities are
    CIE 1931 (x, y) of the lens under the ANSI Z80.3 lights; CIELAB is the lens under D65
    against D65 as white, with the CIE 1931 observer. The category follows ``filter_category``
    of ``ISO8980_3_tau_v``.
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
    warnings: tuple[str, ...] = ()

    def as_dict(self) -> dict[str, Union[float, int, str, None]]:
        """The rating as one flat, JSON-ready dict, field by field in order; ``warnings`` joined
        by "; " (empty when there are none)."""
        flat: dict[str, Union[float, int, str, None]] = {}
        for field in fields(self):
            value = getattr(self, field.name)
            flat[field.name] = "; ".join(value) if field.name == "warnings" else value
        return flat


@dataclass(frozen=True)
class _Quantity:
    """Fields computed by one core call, each with the band its integral covers (nm)."""

    fields: tuple[str, ...]
    bands: tuple[tuple[float, float], ...]
    compute: Callable[[Scan], tuple[float, ...]]


def _within(nominal: tuple[float, float], *weightings: Scan) -> tuple[float, float]:
    """The part of a nominal band where every weighting curve has data."""
    return (max([nominal[0], *(w.min_wavelength() for w in weightings)]),
            min([nominal[1], *(w.max_wavelength() for w in weightings)]))


@functools.lru_cache(maxsize=None)
def _cie_1931_observer() -> Observer:
    return Observer(_data.cie_1931_standard_observer_x(), _data.cie_1931_standard_observer_y(),
                    _data.cie_1931_standard_observer_z())


def _cielab_d65(trans: Scan) -> tuple[float, float, float]:
    d65 = _data.cie_illuminant_d65()
    lab = _colorimetry.CIELAB_tristimulus_values(trans * d65, d65, _cie_1931_observer())
    return lab.L_star, lab.a_star, lab.b_star


def _xy(function: Callable[[Scan], _chromaticity.CIExy]) -> Callable[[Scan], tuple[float, ...]]:
    def compute(trans: Scan) -> tuple[float, ...]:
        point = function(trans)
        return point.x, point.y

    return compute


def _one(function: Callable[[Scan], float]) -> Callable[[Scan], tuple[float, ...]]:
    return lambda trans: (function(trans),)


def _quantities() -> list[_Quantity]:
    """What a rating computes. The bands are read off the reference curves at each call, as
    those are process-wide and may be changed through their views."""
    d = _data
    y_bar, d65, es = d.cie_1931_standard_observer_y(), d.cie_illuminant_d65(), d.solar_spectral_irradiance()
    effectiveness, illuminant_a = d.relative_spectral_effectiveness(), d.cie_illuminant_a()
    c = _colorimetry
    ansi_lenses = (d.ANSI_Z80_3_2015_red_signal_transmittance(), d.ANSI_Z80_3_2015_yellow_signal_transmittance(),
                   d.ANSI_Z80_3_2015_green_signal_transmittance())
    incandescent = (d.ISO8980_3_incandescent_red(), d.ISO8980_3_incandescent_yellow(),
                    d.ISO8980_3_incandescent_green(), d.ISO8980_3_incandescent_blue())
    led = (d.ISO8980_3_led_red(), d.ISO8980_3_led_yellow(), d.ISO8980_3_led_green(), d.ISO8980_3_led_blue())
    return [
        _Quantity(("ISO8980_3_tau_v",), (_within(_VISIBLE_NM, y_bar, d65),), _one(c.ISO8980_3_tau_v)),
        _Quantity(("ANSI_Z80_3_tau_v",), (_within(_VISIBLE_NM, y_bar, d.cie_illuminant_c()),),
                  _one(c.ANSI_Z80_3_tau_v)),
        _Quantity(("ANSI_Z80_3_tau_uva",), ((315.0, 380.0),), _one(c.ANSI_Z80_3_tau_uva)),
        _Quantity(("ANSI_Z80_3_tau_uvb",), ((280.0, 315.0),), _one(c.ANSI_Z80_3_tau_uvb)),
        _Quantity(("ISO8980_3_tau_uva",), ((315.0, 380.0),), _one(c.ISO8980_3_tau_uva)),
        _Quantity(("ISO8980_3_tau_suva",), (_within((315.0, 380.0), es, effectiveness),),
                  _one(c.ISO8980_3_tau_suva)),
        _Quantity(("ISO8980_3_tau_suvb",), (_within((280.0, 315.0), es, effectiveness),),
                  _one(c.ISO8980_3_tau_suvb)),
        _Quantity(("ASNZS1067_2016_tau_suva",), (_within((315.0, 400.0), es, effectiveness),),
                  _one(c.ASNZS1067_2016_tau_suva)),
        _Quantity(("ISO12311_tau_sb",), (_within((380.0, 500.0), es, d.blue_light_hazard()),),
                  _one(c.ISO12311_tau_sb)),
        _Quantity(("ANSI_Z80_3_tau_spectral_min",), ((475.0, 650.0),), _one(c.ANSI_Z80_3_tau_spectral_min)),
        _Quantity(tuple(f"ANSI_Z80_3_tau_signal_{colour}" for colour in _SIGNAL_COLOURS[:3]),
                  tuple(_within(_VISIBLE_NM, y_bar, illuminant_a, lens) for lens in ansi_lenses),
                  lambda trans: _signals(c.ANSI_Z80_3_tau_signal(trans))),
        _Quantity(tuple(f"ISO8980_3_tau_signal_incandescent_{colour}" for colour in _SIGNAL_COLOURS),
                  tuple(_within(_VISIBLE_NM, curve) for curve in incandescent),
                  lambda trans: _signals(c.ISO8980_3_tau_signal_incandescent(trans))),
        _Quantity(tuple(f"ISO8980_3_tau_signal_led_{colour}" for colour in _SIGNAL_COLOURS),
                  tuple(_within(_VISIBLE_NM, curve) for curve in led),
                  lambda trans: _signals(c.ISO8980_3_tau_signal_led(trans))),
        _Quantity(("daylight_x", "daylight_y"), (_within(_VISIBLE_NM, d65),) * 2,
                  _xy(_chromaticity.ANSI_Z80_3_daylight_chromaticity)),
        _Quantity(("yellow_signal_x", "yellow_signal_y"),
                  (_within(_VISIBLE_NM, ansi_lenses[1], illuminant_a),) * 2,
                  _xy(_chromaticity.ANSI_Z80_3_yellow_chromaticity)),
        _Quantity(("green_signal_x", "green_signal_y"), (_within(_VISIBLE_NM, ansi_lenses[2], illuminant_a),) * 2,
                  _xy(_chromaticity.ANSI_Z80_3_green_chromaticity)),
        _Quantity(("CIELAB_L_star", "CIELAB_a_star", "CIELAB_b_star"), (_within(_VISIBLE_NM, d65),) * 3, _cielab_d65),
    ]


def _signals(record: Union[_colorimetry.RYG, _colorimetry.RYGB]) -> tuple[float, ...]:
    return tuple(getattr(record, colour) for colour in _SIGNAL_COLOURS if hasattr(record, colour))


def _quotient(signal: Optional[float], tau_v: Optional[float]) -> Optional[float]:
    """signal / tau_v with IEEE division, as the core divides: an opaque lens gives NaN, not an
    exception."""
    if signal is None or tau_v is None:
        return None
    if tau_v == 0:
        return math.nan if signal == 0 or math.isnan(signal) else math.copysign(math.inf, signal)
    return signal / tau_v


def rate(scan: Scan, *, percent: bool = False, require_coverage: bool = True,
         coverage_tolerance_nm: float = 5.0) -> LensRating:
    """Rates a lens from its spectral transmittance.

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
        still cover it; by default 5 nm, one usual sampling step.

    Returns
    -------
    LensRating

    Raises
    ------
    ValueError
        For an empty scan, a negative or non-finite tolerance, or, with ``require_coverage``,
        a scan that does not cover every band: the message names each quantity and its band.
    RuntimeError
        From the core, when a covered band holds too few points to interpolate.
    """
    return _rate(scan, _quantities(), percent, require_coverage, coverage_tolerance_nm)


def _rate(scan: Scan, quantities: list[_Quantity], percent: bool, require_coverage: bool,
          coverage_tolerance_nm: float) -> LensRating:
    """``rate`` with the quantities and their bands as read off the reference curves, which a
    file's data sets share."""
    if len(scan) == 0:
        raise ValueError("cannot rate an empty scan")
    if not (math.isfinite(coverage_tolerance_nm) and coverage_tolerance_nm >= 0):
        raise ValueError(f"coverage_tolerance_nm must be finite and at least 0, not {coverage_tolerance_nm!r}")
    trans = scan / 100.0 if percent else scan
    first, last = trans.min_wavelength(), trans.max_wavelength()
    values: dict[str, Optional[float]] = {}
    missing: list[str] = []
    for quantity in quantities:
        covered = [first <= lo + coverage_tolerance_nm and last >= hi - coverage_tolerance_nm
                   for lo, hi in quantity.bands]
        results = quantity.compute(trans) if any(covered) else ()
        for i, (name, (lo, hi)) in enumerate(zip(quantity.fields, quantity.bands)):
            values[name] = results[i] if covered[i] else None
            if not covered[i]:
                missing.append(f"{name} needs {lo:g}-{hi:g} nm")
    span = f"the scan covers {first:g}-{last:g} nm"
    if missing and require_coverage:
        raise ValueError(f"{span}, which misses the band of " + "; ".join(missing)
                         + f" (a band is covered when the scan reaches within {coverage_tolerance_nm:g} nm "
                         "of both its ends). Pass require_coverage=False to rate the rest.")
    for quotient, signal, tau_v in _QUOTIENTS:
        values[quotient] = _quotient(values[signal], values[tau_v])
    tau_v_d65 = values["ISO8980_3_tau_v"]
    return LensRating(min_wavelength=first, max_wavelength=last,
                      category=None if tau_v_d65 is None else filter_category(tau_v_d65),
                      warnings=tuple(f"not reported: {entry} and {span}" for entry in missing), **values)


def rate_file(path: PathLike, *, require_coverage: bool = True,
              coverage_tolerance_nm: float = 5.0) -> list[tuple[str, LensRating]]:
    """Rates every data set of an instrument data file, in file order.

    The file must hold transmittance over wavelength in nm; its unit ("%" or none) says whether
    the values are in percent. Two data sets with the same name are both kept.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The data file (.orv).
    require_coverage, coverage_tolerance_nm
        As for ``rate``.

    Returns
    -------
    list of (str, LensRating)
        Each data set's name with its rating.

    Raises
    ------
    ValueError
        When the file holds another quantity or unit, or, with ``require_coverage``, when a
        data set does not cover every band (the message names the data set).
    RuntimeError
        When the file cannot be read or is not a valid data file.
    """
    orv_file = _io.load_orvfile(path)
    shown = os.fsdecode(os.fspath(path))
    percent = _percent_from_units(orv_file, shown)
    quantities = _quantities()
    ratings = []
    for data_set in orv_file.data_sets:
        try:
            rating = _rate(data_set.data, quantities, percent, require_coverage, coverage_tolerance_nm)
        except ValueError as error:
            raise ValueError(f"{shown}: data set {data_set.name!r}: {error}") from error
        ratings.append((data_set.name, rating))
    return ratings


def _percent_from_units(orv_file: _io.OrvFile, shown: str) -> bool:
    """Whether a data file's values are in percent, refusing anything but transmittance over
    wavelength in nm."""
    if orv_file.meta.x_type != "Wavelength / nm":
        raise ValueError(f"{shown}: its x axis is {orv_file.meta.x_type or 'unnamed'!r}; "
                         "a lens rating needs wavelengths in nm")
    units = orv_file.data_info.type_and_units
    if units.measurement_type.strip().lower() != "transmittance":
        raise ValueError(f"{shown}: it holds {units.measurement_type or 'an unnamed quantity'!r}, not transmittance")
    unit = units.units.strip()
    if unit not in ("%", "", "1"):
        raise ValueError(f"{shown}: its transmittance is in {unit!r}; a lens rating needs a fraction or %")
    return unit == "%"
