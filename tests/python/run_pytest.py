"""Runs the Python tests on one build of the extension module.

Usage: run_pytest.py --module-dir=DIR [--other-module=PATH --other-python=EXE ...] [pytest
arguments]: DIR holds the module built for the running interpreter, each PATH one built for
another version, the interpreter EXE.
"""

import os
import sys

DEBIAN_PACKAGES = "/usr/lib/python3/dist-packages"
PACKAGE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python")


def main(argv):
    # The module under test, then the orvpy package from the source tree.
    sys.path[:0] = [arg.split("=", 1)[1] for arg in argv if arg.startswith("--module-dir=")] + [PACKAGE_DIR]
    for option, variable in (("--other-module=", "ORVPY_OTHER_MODULES"), ("--other-python=", "ORVPY_OTHER_PYTHONS")):
        os.environ[variable] = os.pathsep.join(arg[len(option) :] for arg in argv if arg.startswith(option))
    pytest_args = [arg for arg in argv if not arg.startswith(("--module-dir=", "--other-module=", "--other-python="))]
    # Debian's pure-Python tools (pytest, hypothesis) also serve an interpreter installed
    # beside the system one; appended, so that interpreter's own packages come first.
    if os.path.isdir(DEBIAN_PACKAGES) and DEBIAN_PACKAGES not in sys.path:
        sys.path.append(DEBIAN_PACKAGES)
    import pytest

    return pytest.main(["-p", "no:cacheprovider", *pytest_args])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
