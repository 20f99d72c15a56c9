"""Spectral analysis for optical measuring instruments.

``orvpy`` is the Python face of the compiled core ``_orvpy_core``: the same ``Scan``,
``Observer`` and ``Interpolation``, the same submodules (``io``, ``colorimetry``,
``chromaticity``, ``curves``, ``physics``, ``radiometry``, ``utils``, ``fitting``,
``monochromator``) with inspectable function signatures, and ``orvpy.lens``, which rates an
eyewear lens by ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311 in one call and checks it
against requirements read from a rules file (``orvpy.verdicts``); ``orvpy.plot`` draws lens
transmittances as matplotlib Figures and ``orvpy.report`` writes a lens test report as HTML.
``to_dataframe`` and ``from_dataframe`` (``orvpy.frames``) turn many scans into one pandas table
and back.

Examples
--------
>>> import orvpy
>>> lens = orvpy.Scan([280.0 + 5 * i for i in range(101)], [0.15] * 101)
>>> rating = orvpy.lens.rate(lens)
>>> round(rating.ISO8980_3_tau_v, 6), rating.category
(0.15, 3)
"""

import importlib

from _orvpy_core import AKIMA, CUBIC, LINEAR, NONE, POLYNOMIAL, STEFFEN, Interpolation, Observer, Scan, __version__

# Read as true by type checkers (mypy takes any TYPE_CHECKING so), without importing typing's own.
TYPE_CHECKING = False
if TYPE_CHECKING:
    from orvpy import (
        chromaticity,
        colorimetry,
        curves,
        fitting,
        frames,
        io,
        lens,
        monochromator,
        physics,
        plot,
        radiometry,
        report,
        utils,
        verdicts,
    )
    from orvpy.frames import from_dataframe, to_dataframe

__all__ = [
    "AKIMA",
    "CUBIC",
    "LINEAR",
    "NONE",
    "POLYNOMIAL",
    "STEFFEN",
    "Interpolation",
    "Observer",
    "Scan",
    "__version__",
    "chromaticity",
    "colorimetry",
    "curves",
    "fitting",
    "frames",
    "from_dataframe",
    "io",
    "lens",
    "monochromator",
    "physics",
    "plot",
    "radiometry",
    "report",
    "to_dataframe",
    "utils",
    "verdicts",
]

# The submodules load when first used, so that importing the package costs little more than the
# extension itself: a rating, a plot or a report brings in what it needs (dataclasses, TOML,
# subprocess, inspect for the signatures) when it is first asked for.
_FROM_FRAMES = frozenset({"from_dataframe", "to_dataframe"})
_SUBMODULES = frozenset(name for name in __all__ if name.islower() and not name.startswith("_")) - _FROM_FRAMES


def __getattr__(name: str) -> object:
    if name in _FROM_FRAMES:
        return getattr(importlib.import_module("orvpy.frames"), name)
    if name in _SUBMODULES:
        return importlib.import_module(f"orvpy.{name}")
    raise AttributeError(f"module 'orvpy' has no attribute {name!r}")


def __dir__() -> list[str]:
    return __all__
