"""Photometric quantities of spectral irradiances.

The functions of ``_orvpy_core.radiometry``, with inspectable signatures.
"""

from _orvpy_core.radiometry import *  # noqa: F403

from orvpy._signatures import export_functions

export_functions(globals())
