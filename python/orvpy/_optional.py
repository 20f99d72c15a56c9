"""Optional packages that the library's functions import when called.

When one is missing, the error names the Debian package that brings it.
"""

from __future__ import annotations

import importlib
import sys
from typing import Any


def require(module: str, debian_package: str, needed_by: str) -> Any:
    """Import an optional module.

    Parameters
    ----------
    module : str
        The module's name, such as ``"pandas"``.
    debian_package : str
        The Debian package that provides it for the system python3, such as ``"python3-pandas"``.
    needed_by : str
        The function that needs it, named in the error.

    Returns
    -------
    module
        The imported module (typed ``Any``: Debian's pandas carries no type information).

    Raises
    ------
    ModuleNotFoundError
        When the module cannot be imported, absent or built for another Python; the message
        names the Debian package.
    """
    try:
        return importlib.import_module(module)
    except Exception as error:  # absent, or present but built for another Python
        # The first line is the reason; numpy's import errors add a page of advice after it.
        reason = next((line for line in str(error).splitlines() if line.strip()), "")
        raise ModuleNotFoundError(
            f"{needed_by} needs {module}, which this Python ({sys.version.split()[0]}) cannot import "
            f"({type(error).__name__}: {reason}); on Debian or Ubuntu it comes with the package {debian_package}, "
            "for the system python3",
            name=module,
        ) from error
