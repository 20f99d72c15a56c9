"""Runs the Python test suite against one build of the extension module.

Usage: run_pytest.py --module-dir=DIR [--other-module=PATH ...] [pytest arguments]

DIR holds the module built for the running interpreter; each PATH is the same module built
for another interpreter version, which must refuse to load here.
"""

import os
import sys

DEBIAN_PACKAGES = "/usr/lib/python3/dist-packages"


def main(argv):
    pytest_args = []
    others = []
    for arg in argv:
        if arg.startswith("--module-dir="):
            os.environ["ORVPY_MODULE_DIR"] = arg.split("=", 1)[1]
        elif arg.startswith("--other-module="):
            others.append(arg.split("=", 1)[1])
        else:
            pytest_args.append(arg)
    os.environ["ORVPY_OTHER_MODULES"] = os.pathsep.join(others)
    # Debian's pure-Python tools (pytest, hypothesis) also serve an interpreter installed
    # beside the system one; appended, so that interpreter's own packages come first.
    if os.path.isdir(DEBIAN_PACKAGES) and DEBIAN_PACKAGES not in sys.path:
        sys.path.append(DEBIAN_PACKAGES)
    import pytest

    return pytest.main(["-p", "no:cacheprovider", *pytest_args])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
