"""The orvpy package: the core under its own names, signatures that match the stubs, lens ratings."""

import ast
import doctest
import inspect
import json
import math
import os
import pathlib
import pickle
import re
import subprocess
import sys

import pytest

import _orvpy_core
import orvpy
import orvfile_writer as w
from orvpy import Scan, lens

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUBS = ROOT / "python" / "stubs" / "_orvpy_core"
UV = (
    "ANSI_Z80_3_tau_uva",
    "ANSI_Z80_3_tau_uvb",
    "ISO8980_3_tau_uva",
    "ISO8980_3_tau_suva",
    "ISO8980_3_tau_suvb",
    "ASNZS1067_2016_tau_suva",
)


def stub_functions():
    """(orvpy module or class, function name, parameter names or None for an overload) of every
    function and method of the stubs."""

    def functions(owner, body):
        for node in body:
            decorators = (
                [getattr(d, "id", None) for d in node.decorator_list] if hasattr(node, "decorator_list") else []
            )
            name = getattr(node, "name", "")
            private = name.startswith("_") and not name.startswith("__")  # not re-exported
            if isinstance(node, ast.FunctionDef) and "property" not in decorators and not private:
                yield owner, node.name, None if "overload" in decorators else [a.arg for a in node.args.args]
            elif isinstance(node, ast.ClassDef):
                yield from functions(getattr(owner, node.name), node.body)

    for stub in sorted(STUBS.rglob("*.pyi")):
        parts = stub.relative_to(STUBS).with_suffix("").parts
        module = orvpy
        for part in (p for p in parts if p != "__init__"):
            module = getattr(module, part)
        yield from functions(module, ast.parse(stub.read_text()).body)


def test_package_mirrors_the_core_with_the_stubs_signatures(flat_lens):
    # import orvpy loads the extension alone; each submodule loads when first used, as an attribute.
    loaded = subprocess.run(
        [
            sys.executable,
            "-c",
            "import orvpy, sys; print(*sorted(m for m in sys.modules if m.startswith('orvpy'))); orvpy.lens.rate",
        ],
        capture_output=True,
        text=True,
        check=True,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p)),
    )
    assert loaded.stdout.split() == ["orvpy"]
    version = re.search(r"project\(\w+ VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert orvpy.__version__ == _orvpy_core.__version__ == version
    assert (orvpy.Scan, orvpy.Interpolation, orvpy.LINEAR) == (
        _orvpy_core.Scan,
        _orvpy_core.Interpolation,
        _orvpy_core.LINEAR,
    )
    assert orvpy.io.OrvFile is _orvpy_core.io.OrvFile and (ROOT / "python" / "orvpy" / "py.typed").exists()
    checked = 0
    for owner, name, parameters in stub_functions():
        function = getattr(owner, name)
        signature = inspect.signature(function)
        method = isinstance(owner, type)
        expected = (["self"] if method else []) + ["args", "kwargs"] if parameters is None else parameters
        found = list(signature.parameters)
        if name.startswith("__") and found[1:] != ["args", "kwargs"]:
            found, expected = len(found), len(expected)  # operands are passed by position: their names are free
        if not name.startswith("__") or isinstance(found, int):
            assert found == expected, f"{owner.__name__}.{name}"
        if not method:
            assert pickle.loads(pickle.dumps(function)) is function
        checked += 1
    assert checked > 85  # the functions with the three overloads of utils.log, and the classes' methods
    modules = [orvpy] + [m for m in vars(orvpy).values() if inspect.ismodule(m) and m.__name__.startswith("orvpy.")]
    classes = {
        c
        for m in modules
        for c in vars(m).values()
        if isinstance(c, type) and c.__module__.split(".")[0] == "_orvpy_core"
    }
    assert len(classes) > 10 and all(inspect.signature(c) for c in classes | {orvpy.lens.LensRating})
    lens_scan = flat_lens(0.5, 380, 780)
    assert orvpy.colorimetry.ISO8980_3_tau_v(trans=lens_scan) == _orvpy_core.colorimetry.ISO8980_3_tau_v(lens_scan)
    assert str(inspect.signature(orvpy.curves.lognormal)) == (
        "(peak_wl: float, fwhm: float, min_wl: float, max_wl: float, step_wl: float) -> _orvpy_core.Scan"
    )
    assert doctest.testmod(orvpy).failed == doctest.testmod(orvpy.lens).failed == 0


@pytest.mark.parametrize("value, category", [(1.0, 0), (0.5, 1), (0.25, 2), (0.125, 3), (0.0625, 4), (0.015625, None)])
def test_a_flat_lens_transmits_its_value_everywhere(value, category, flat_lens):
    rating = lens.rate(flat_lens(value))
    fields = rating.as_dict()
    transmittances = [v for k, v in fields.items() if "_tau_" in k]
    quotients = [v for k, v in fields.items() if "_Q_" in k]
    assert len(transmittances) == 21 and transmittances == pytest.approx([value] * 21, rel=1e-12)
    assert len(quotients) == 11 and quotients == pytest.approx([1.0] * 11, rel=1e-12)
    assert (rating.category, rating.warnings, rating.min_wavelength, rating.max_wavelength) == (category, (), 280, 780)
    # CIELAB of a neutral filter: X/Xn = Y/Yn = Z/Zn = value; the CIE D65 white point under a neutral lens.
    assert rating.CIELAB_L_star == pytest.approx(116 * value ** (1 / 3) - 16, rel=1e-12)
    assert (rating.CIELAB_a_star, rating.CIELAB_b_star) == pytest.approx((0, 0), abs=1e-9)
    assert (rating.daylight_x, rating.daylight_y) == pytest.approx((0.31272, 0.32903), abs=5e-5)
    assert lens.rate(flat_lens(value * 100), percent=True) == rating


@pytest.mark.parametrize(
    "tau_v, category",
    [
        (1.02, 0),
        (math.nextafter(0.80, 1), 0),
        (0.80, 1),
        (math.nextafter(0.43, 1), 1),
        (0.43, 2),
        (math.nextafter(0.18, 1), 2),
        (0.18, 3),
        (math.nextafter(0.08, 1), 3),
        (0.08, 4),
        (math.nextafter(0.03, 1), 4),
        (0.03, None),
        (0.0, None),
        (math.nan, None),
    ],
)
def test_filter_category_boundaries(tau_v, category):
    assert lens.filter_category(tau_v) == category


def test_an_unmeasured_band_is_never_a_number(flat_lens):
    visible = flat_lens(0.5, 380, 780)
    with pytest.raises(ValueError) as refused:
        lens.rate(visible)
    bands = ["315-380", "280-315", "315-380", "315-380", "290-315", "315-400"]
    assert all(f"{name} needs {band} nm" in str(refused.value) for name, band in zip(UV, bands))
    rating = lens.rate(visible, require_coverage=False)
    assert [k for k, v in rating.as_dict().items() if v is None] == list(UV)
    assert rating.warnings[4] == "not reported: ISO8980_3_tau_suvb needs 290-315 nm and the scan covers 380-780 nm"
    assert all(line.startswith("not reported: ") for line in rating.warnings)  # the visible band is whole
    assert rating.ISO8980_3_tau_v == pytest.approx(0.5, rel=1e-12) and rating.category == 1
    # The ends of a band may fall within the tolerance inside it, no further.
    for start, tolerance, covered in [(320, 5.0, True), (320.5, 5.0, False), (315, 0.0, True), (316, 0.0, False)]:
        scan = Scan([start] + [320.0 + 5 * i for i in range(1, 93)], [0.5] * 93)
        rated = lens.rate(scan, require_coverage=False, coverage_tolerance_nm=tolerance)
        assert (rated.ISO8980_3_tau_uva is not None) == covered, (start, tolerance)
    for scan, tolerance, message in [
        (Scan(), 5.0, "cannot rate an empty scan"),
        (visible, -1.0, "coverage_tolerance_nm must be finite and at least 0, not -1.0"),
        (visible, math.nan, "coverage_tolerance_nm must be finite and at least 0, not nan"),
    ]:
        with pytest.raises(ValueError, match=f"^{message}$"):
            lens.rate(scan, coverage_tolerance_nm=tolerance)
    with pytest.raises(ValueError, match="^method must be 'integral' or 'sum', not 'Sum'$"):  # whatever the scan
        lens.rate(Scan(), method="Sum")
    with pytest.raises(AttributeError):
        rating.category = 0
    opaque = lens.rate(flat_lens(0.0))  # undefined quotients and colour, as IEEE division gives them
    assert (opaque.ISO8980_3_tau_v, opaque.category) == (0.0, None)
    assert math.isnan(opaque.ISO8980_3_Q_led_red) and math.isnan(opaque.daylight_x)


def test_a_file_rates_as_the_core_functions_do(tmp_path, sample):
    ratings = lens.rate_file(sample)
    data_sets = orvpy.io.load_orvfile(sample).data_sets
    assert [name for name, _ in ratings] == [s.name for s in data_sets]
    c = _orvpy_core.colorimetry
    for (_, rating), data_set in zip(ratings, data_sets):
        trans = data_set.data / 100  # the file is in percent
        for name in ("ISO8980_3_tau_v", "ANSI_Z80_3_tau_v", "ISO12311_tau_sb", "ANSI_Z80_3_tau_spectral_min") + UV:
            assert getattr(rating, name) == getattr(c, name)(trans), name
        assert rating.ISO8980_3_Q_led_blue == c.ISO8980_3_tau_signal_led(trans).blue / c.ISO8980_3_tau_v(trans)
        assert rating.yellow_signal_y == _orvpy_core.chromaticity.ANSI_Z80_3_yellow_chromaticity(trans).y
    assert [r.category for _, r in ratings] == [3, 2, 0]
    rows = json.loads(json.dumps([r.as_dict() for _, r in ratings]))
    assert len(rows) == 3 and len(rows[0]) == 46 and rows[0]["warnings"] == ""

    points = [(280.0 + 5 * i, 50.0) for i in range(101)]
    texts = dict(type_and_units="Transmittance / %")
    twice = tmp_path / "twice.orv"
    twice.write_bytes(w.container(w.contents([("A", points), ("A", points[20:])], **texts)[0]))
    with pytest.raises(ValueError, match="twice.orv: data set 'A': the scan covers 380-780 nm"):
        lens.rate_file(twice)
    both = lens.rate_file(twice, require_coverage=False)
    assert [(n, r.ISO8980_3_tau_uva is None) for n, r in both] == [("A", False), ("A", True)]
    for x_type, units, refusal in [
        (2, "Transmittance / %", "x axis is 'Time / ms'"),
        (0, "Optical density / OD", "holds 'Optical density'"),
        (0, "Transmittance / W", "in 'W'"),
    ]:
        other = tmp_path / "other.orv"
        other.write_bytes(w.container(w.contents([("A", points)], x_type=x_type, type_and_units=units)[0]))
        with pytest.raises(ValueError, match=refusal):
            lens.rate_file(other)


def test_ratings_make_a_data_frame(sample):
    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame([r.as_dict() for _, r in lens.rate_file(sample)])
    assert frame.shape == (3, 46) and list(frame["category"]) == [3, 2, 0]
