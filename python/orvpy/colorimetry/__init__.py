"""Tristimulus values, CIELAB, lens transmittances and photometer indices.

The lens transmittances are those of ANSI Z80.3, ISO 8980-3, AS/NZS 1067.2 and ISO 12311; the
photometer indices are f1' and f2.

The functions of ``_orvpy_core.colorimetry``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.colorimetry import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())

# The star import brought the compiled submodule, which would hide the package's own.
del data  # noqa: F821
from orvpy.colorimetry import data as data  # type: ignore[no-redef]  # noqa: E402, F401
