"""Searches on the interpolated curve, stitching, logarithms and point-wise transforms.

The functions of ``_orvpy_core.utils``, with inspectable signatures.
"""

from _orvpy_core.utils import *  # noqa: F403

from orvpy._signatures import export_functions

export_functions(globals())
