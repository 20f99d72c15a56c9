"""Instrument data files (.orv) and two-column CSV files: records, scans and JSON text.

The functions of ``_orvpy_core.io``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.io import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
