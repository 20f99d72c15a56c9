"""The extension module's frame: docstring, enumeration, submodules, version check."""

import importlib
import os
import pickle
import re
import subprocess
import sys

import pytest

import _orvpy_core as core
from _orvpy_core import colorimetry, fitting, io, utils

SUBMODULES = [
    "chromaticity",
    "colorimetry",
    "colorimetry.data",
    "curves",
    "io",
    "physics",
    "monochromator",
    "monochromator.slit_function",
    "radiometry",
    "utils",
    "fitting",
]  # in the order they are registered


def test_docstring_enumeration_and_submodules():
    assert core.__doc__ == "Orvane Instruments spectral analysis package."
    members = [("NONE", 0), ("AKIMA", 1), ("CUBIC", 2), ("LINEAR", 3), ("POLYNOMIAL", 4), ("STEFFEN", 5)]
    assert [(name, int(member)) for name, member in core.Interpolation.__members__.items()] == members
    for name, value in members:
        assert getattr(core, name) is getattr(core.Interpolation, name) == core.Interpolation(value)
    assert pickle.loads(pickle.dumps(core.CUBIC)) == core.CUBIC
    with pytest.raises(ValueError, match="^99 is not a valid Interpolation$"):
        core.Interpolation(99)
    for name in SUBMODULES:
        parent, _, leaf = ("_orvpy_core." + name).rpartition(".")
        assert getattr(importlib.import_module(parent), leaf) is importlib.import_module("_orvpy_core." + name)
    assert [k for k in vars(core) if k in SUBMODULES] == [n for n in SUBMODULES if "." not in n]


@pytest.mark.parametrize(
    "path", [p for p in os.environ.get("ORVPY_OTHER_MODULES", "").split(os.pathsep) if p] or [None]
)
def test_module_built_for_another_version_refuses_to_load(path):
    if path is None:
        pytest.skip("no build for another interpreter version")
    tag = re.search(r"cpython-(\d)(\d+)", os.path.basename(path))
    loader = (
        "import importlib.util as u, sys; u.module_from_spec(u.spec_from_file_location('_orvpy_core', sys.argv[1]))"
    )
    result = subprocess.run([sys.executable, "-c", loader, path], capture_output=True, text=True)
    assert result.stderr.splitlines()[-1] == (
        f"ImportError: Python version mismatch: module was compiled for Python {tag.group(1)}.{tag.group(2)}, "
        f"but the interpreter version is incompatible: {sys.version}."
    )


def run_python(code):
    """Runs code in a new interpreter that finds this build of the module."""
    return subprocess.run(
        [sys.executable, "-c", f"import sys; sys.path[:0] = {sys.path!r}\n{code}"],
        capture_output=True,
        text=True,
        timeout=120,
    )


def test_first_numpy_calls_from_threads_and_life_without_numpy():
    without = run_python(
        "sys.modules['numpy'] = None\nimport _orvpy_core as c\ns = c.Scan([1, 2], [3, 4])\n"
        "print(s.to_lists())\ntry:\n    s.to_numpy()\nexcept ImportError:\n    print('refused')"
    )
    assert without.stdout.split() == ["[[1.0,", "2.0],", "[3.0,", "4.0]]", "refused"], without.stderr
    pytest.importorskip("numpy")
    threads = run_python(
        "import threading, _orvpy_core as c\ns = c.Scan([1, 2], [3, 4])\n"
        "ts = [threading.Thread(target=s.to_numpy) for _ in range(8)]\n"
        "[t.start() for t in ts]\n[t.join() for t in ts]\nprint('done')"
    )
    assert threads.stdout == "done\n", threads.stderr


@pytest.mark.parametrize(
    "cls, use",
    [
        (core.Scan, repr),
        (core.Scan, lambda s: s(400.0)),
        (core.Scan, lambda s: s + 1),
        (core.Observer, repr),
        (core.Interpolation, int),
        (type(iter(core.Scan())), next),
        (io.OrvFile, lambda f: f.data_sets),
        (io.DataSet, lambda d: d.name),
        (utils.StitchResults, lambda r: r.n),
        (fitting.FitWavelengthParams, repr),
        (colorimetry.CIELAB, str),
    ],
)
def test_instances_made_by_new_alone_are_refused(cls, use):
    with pytest.raises(TypeError, match="object is not initialised: it was made by __new__ without __init__"):
        use(cls.__new__(cls))


@pytest.mark.parametrize(
    "make, call",
    [
        (lambda sample: core.Scan([1.0], [2.0]), lambda s: s.__init__([3.0], [4.0])),
        (lambda sample: core.Scan([1.0], [2.0]), lambda s: s.__setstate__(None)),
        (lambda sample: core.Scan([1.0], [2.0]), lambda s: s.__setstate__(([3.0], [4.0], 0.0, core.LINEAR))),
        (lambda sample: colorimetry.CIEXYZ(1, 2, 3), lambda r: r.__init__(4, 5, 6)),
        (lambda sample: fitting.FitWavelengthParams(), lambda r: r.__setstate__(r.__getstate__())),
        (lambda sample: io.load_orvfile(sample).data_sets[0], lambda d: d.__setstate__(d.__getstate__())),
        (lambda sample: core.LINEAR, lambda i: i.__setstate__(2)),
    ],
)
def test_an_initialised_object_refuses_a_second_init_or_setstate(make, call, sample):
    target = make(sample)
    before = pickle.dumps(target)
    with pytest.raises(TypeError, match="object is already initialised: make a new one instead"):
        call(target)
    assert pickle.dumps(target) == before


def test_no_interpolation_outside_the_enumeration_can_be_made():
    made = core.Interpolation.__new__(core.Interpolation)
    with pytest.raises(ValueError, match="^99 is not a valid Interpolation$"):
        made.__setstate__(99)
    with pytest.raises(TypeError, match="not initialised"):
        core.Scan(1e-20, made)
