"""Instrument data files (.orv) and two-column CSV files: records, scans and JSON text.

The functions of ``_orvpy_core.io``, with inspectable signatures, and ``load_folder``, which reads
every data file of a folder on threads.
"""

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.io import *  # noqa: F401, F403

from orvpy._signatures import export_functions as _export_functions
from orvpy.folders import LoadedFile as LoadedFile  # noqa: F401
from orvpy.folders import load_folder as load_folder  # noqa: F401

_export_functions(globals())
