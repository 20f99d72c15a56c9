"""The extension module's frame: docstring, registered names, enumeration, version check."""

import os
import pickle
import re
import subprocess
import sys

import pytest

import _orvpy_core as core

MEMBERS = [("NONE", 0), ("AKIMA", 1), ("CUBIC", 2), ("LINEAR", 3), ("POLYNOMIAL", 4)]


def test_module_docstring():
    assert core.__doc__ == "Orvane Instruments spectral analysis package."


class TestInterpolation:
    def test_members_in_order_with_names_and_values(self):
        assert [(name, int(member)) for name, member in core.Interpolation.__members__.items()] == MEMBERS
        for name, value in MEMBERS:
            member = getattr(core.Interpolation, name)
            assert member.name == name
            assert member.value == value
            assert core.Interpolation(value) == member

    def test_members_are_exported_to_the_module(self):
        for name, _ in MEMBERS:
            assert getattr(core, name) is getattr(core.Interpolation, name)

    def test_enumeration_behaviour(self):
        assert core.LINEAR == core.Interpolation.LINEAR
        assert core.LINEAR != core.CUBIC
        assert hash(core.LINEAR) == hash(core.Interpolation.LINEAR)
        assert pickle.loads(pickle.dumps(core.CUBIC)) == core.CUBIC

    def test_scan_is_registered(self):
        assert isinstance(core.Scan(), core.Scan)


def test_submodules_in_registration_order():
    names = ["chromaticity", "colorimetry", "colorimetry.data", "curves", "io", "physics", "monochromator",
             "monochromator.slit_function", "radiometry", "utils", "fitting"]
    for name in names:
        module = sys.modules["_orvpy_core." + name]
        parent, _, leaf = ("_orvpy_core." + name).rpartition(".")
        assert getattr(sys.modules[parent], leaf) is module
        assert module.__doc__ is None
    registered = [k for k in vars(core) if k in {n.split(".")[0] for n in names}]
    assert registered == ["chromaticity", "colorimetry", "curves", "io", "physics", "monochromator", "radiometry",
                          "utils", "fitting"]


def test_native_runtime_error_surfaces_with_its_message():
    table = core.Scan([400, 410], [1, 2], interpolation=core.NONE)
    with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
        table(405)


def _other_builds():
    paths = os.environ.get("ORVPY_OTHER_MODULES", "")
    return [p for p in paths.split(os.pathsep) if p]


@pytest.mark.parametrize("path", _other_builds() or [None])
def test_module_built_for_another_version_refuses_to_load(path):
    if path is None:
        pytest.skip("no build for another interpreter version")
    tag = re.search(r"cpython-(\d)(\d+)", os.path.basename(path))
    compiled_for = f"{tag.group(1)}.{tag.group(2)}"
    loader = (
        "import importlib.machinery, importlib.util, sys\n"
        "loader = importlib.machinery.ExtensionFileLoader('_orvpy_core', sys.argv[1])\n"
        "found = importlib.util.spec_from_loader('_orvpy_core', loader)\n"
        "try:\n"
        "    importlib.util.module_from_spec(found)\n"
        "except ImportError as e:\n"
        "    print(e, end='')\n"
        "else:\n"
        "    print('loaded', end='')\n"
    )
    result = subprocess.run([sys.executable, "-c", loader, path], capture_output=True, text=True, check=True)
    assert result.stdout == (
        f"Python version mismatch: module was compiled for Python {compiled_for}, "
        f"but the interpreter version is incompatible: {sys.version}."
    )
