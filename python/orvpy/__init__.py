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

from _orvpy_core import AKIMA, CUBIC, LINEAR, NONE, POLYNOMIAL, STEFFEN, Interpolation, Observer, Scan, __version__

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
