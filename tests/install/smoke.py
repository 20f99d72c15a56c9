"""Checks an installed orvpy from outside the checkout.

smoke.py ROOT: run by the environment's interpreter; imports the package, which must come from
the environment, and rates the bundled data file.
smoke.py --types PYTHON: run under an interpreter with mypy; type-checks a user's file against
the package installed for PYTHON (stubs and py.typed found as a type checker finds them).
"""

import inspect
import os
import pathlib
import subprocess
import sys
import sysconfig
import tempfile

USER_CODE = """
import orvpy
scan = orvpy.Scan([380.0, 390.0], [0.5, 0.5])
tau_v: float = orvpy.colorimetry.ISO8980_3_tau_v(scan)
rating: orvpy.lens.LensRating = orvpy.lens.rate(scan, percent=False)
"""


def check_installed(root):
    import _orvpy_core
    import orvpy

    site = pathlib.Path(sysconfig.get_paths()["platlib"])
    for module in (orvpy, _orvpy_core):
        assert pathlib.Path(module.__file__).resolve().is_relative_to(site.resolve()), module.__file__
    assert orvpy.__version__ == _orvpy_core.__version__
    assert (site / "orvpy" / "py.typed").is_file() and (site / "_orvpy_core-stubs" / "__init__.pyi").is_file()
    assert str(inspect.signature(orvpy.io.load_csv)).startswith("(file_path")
    ratings = orvpy.lens.rate_file(pathlib.Path(root) / "examples" / "lens_transmittances.orv")
    assert [rating.category for _, rating in ratings] == [3, 2, 0]
    # The rules file ships as package data: verdicts from the installed package.
    assessed = orvpy.lens.assess(ratings[0][1], use="road")
    assert pathlib.Path(assessed.rules.path).is_relative_to(site.resolve()) and assessed.uses[0].suitable is True
    print(f"orvpy {orvpy.__version__} installed for Python {sys.version.split()[0]}: imports and rates")


def check_types(python):
    def mypy(code):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "user.py")
            with open(path, "w") as f:
                f.write(code)
            return subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                                   "--python-executable", python, path], capture_output=True, text=True)

    good = mypy(USER_CODE)
    assert good.returncode == 0, good.stdout
    # Were the stubs not found, every name would be Any and this would pass too.
    bad = mypy(USER_CODE + "orvpy.io.load_csv(3)\nwrong: str = orvpy.lens.filter_category(0.5)\n")
    assert bad.returncode == 1 and bad.stdout.count("error:") == 2, bad.stdout
    print(f"mypy types a user's code against the package installed for {python}")


if __name__ == "__main__":
    if sys.argv[1] == "--types":
        check_types(sys.argv[2])
    else:
        check_installed(sys.argv[1])
