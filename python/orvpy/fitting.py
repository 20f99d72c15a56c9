"""Least-squares fit of the grating equation to micro-step/wavelength calibration data.

The functions of ``_orvpy_core.fitting``, with inspectable signatures.
"""

from _orvpy_core.fitting import *  # noqa: F403

from orvpy._signatures import export_functions

export_functions(globals())
