"""CIE 1931 chromaticity of spectra and of lenses under the ANSI Z80.3 lights.

The functions of ``_orvpy_core.chromaticity``, with inspectable signatures.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.chromaticity import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())
