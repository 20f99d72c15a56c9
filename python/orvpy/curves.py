"""Synthetic curves: logistic long-pass and short-pass filters, lognormal bands (nm).

The functions of ``_orvpy_core.curves``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.curves import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
