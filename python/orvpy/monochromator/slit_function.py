"""Slit functions of a monochromator with fibre-bundle entrance and exit (nm).

The functions of ``_orvpy_core.monochromator.slit_function``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.monochromator.slit_function import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
