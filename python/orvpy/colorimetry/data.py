"""The built-in reference spectra, as views of the process-wide curves.

A change made through a view changes every later computation that uses the curve.

The functions of ``_orvpy_core.colorimetry.data``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.colorimetry.data import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
