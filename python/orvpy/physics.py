"""Black-body radiation laws.

The functions of ``_orvpy_core.physics``, with inspectable signatures.
"""

from _orvpy_core.physics import *  # noqa: F403

from orvpy._signatures import export_functions

export_functions(globals())
