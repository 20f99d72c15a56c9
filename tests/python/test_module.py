"""The extension module's frame: docstring, enumeration, submodules, version check."""

import importlib
import os
import pickle
import re
import subprocess
import sys

import pytest

import _orvpy_core as core

SUBMODULES = ["chromaticity", "colorimetry", "colorimetry.data", "curves", "io", "physics", "monochromator",
              "monochromator.slit_function", "radiometry", "utils", "fitting"]  # in the order they are registered


def test_docstring_enumeration_and_submodules():
    assert core.__doc__ == "Orvane Instruments spectral analysis package."
    members = [("NONE", 0), ("AKIMA", 1), ("CUBIC", 2), ("LINEAR", 3), ("POLYNOMIAL", 4)]
    assert [(name, int(member)) for name, member in core.Interpolation.__members__.items()] == members
    for name, value in members:
        assert getattr(core, name) is getattr(core.Interpolation, name) == core.Interpolation(value)
    assert pickle.loads(pickle.dumps(core.CUBIC)) == core.CUBIC
    for name in SUBMODULES:
        parent, _, leaf = ("_orvpy_core." + name).rpartition(".")
        assert getattr(importlib.import_module(parent), leaf) is importlib.import_module("_orvpy_core." + name)
    assert [k for k in vars(core) if k in SUBMODULES] == [n for n in SUBMODULES if "." not in n]


@pytest.mark.parametrize("path", [p for p in os.environ.get("ORVPY_OTHER_MODULES", "").split(os.pathsep) if p]
                         or [None])
def test_module_built_for_another_version_refuses_to_load(path):
    if path is None:
        pytest.skip("no build for another interpreter version")
    tag = re.search(r"cpython-(\d)(\d+)", os.path.basename(path))
    loader = "import importlib.util as u, sys; u.module_from_spec(u.spec_from_file_location('_orvpy_core', sys.argv[1]))"
    result = subprocess.run([sys.executable, "-c", loader, path], capture_output=True, text=True)
    assert result.stderr.splitlines()[-1] == (
        f"ImportError: Python version mismatch: module was compiled for Python {tag.group(1)}.{tag.group(2)}, "
        f"but the interpreter version is incompatible: {sys.version}."
    )
