"""Searches on the interpolated curve, stitching, logarithms and point-wise transforms.

The functions of ``_orvpy_core.utils``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.utils import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
