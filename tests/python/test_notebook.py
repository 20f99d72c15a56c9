"""Spectra as notebook users handle them: new grids and extrapolation against scipy, slices and
Series against pandas, tables of many scans, colour in one call, folders of files."""

import math
import os
import pathlib
import platform
import sys
import tempfile

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import orvfile_writer as w
import orvpy
from orvpy import Scan, chromaticity, colorimetry, io, lens

PROPERTY = settings(max_examples=40, deadline=None, database=None)
OUTSIDE = {"zero": lambda s, x: 0.0, "constant": lambda s, x: s.values()[0 if x < s.min_wavelength() else -1]}


@st.composite
def scans(draw, min_points=5):
    """A scan of random points and kind, keys 300-800 nm apart by at least 0.05 nm."""
    keys = sorted(draw(st.sets(st.integers(6000, 16000), min_size=min_points, max_size=40)))
    values = draw(st.lists(st.floats(-10, 10), min_size=len(keys), max_size=len(keys)))
    kind = draw(st.sampled_from([orvpy.AKIMA, orvpy.CUBIC, orvpy.LINEAR, orvpy.STEFFEN]))
    return Scan([k / 20 for k in keys], values, draw(st.sampled_from([0.0, 1e-20, 0.01])), kind)


@PROPERTY
@given(
    s=scans(), grid=st.sets(st.integers(5000, 17000), min_size=1, max_size=60), policy=st.sampled_from(sorted(OUTSIDE))
)
def test_resample_evaluates_as_the_scan_does_and_holds_the_policy_outside(s, grid, policy):
    grid = [x / 20 for x in grid]  # 0.05 nm apart at least: no two are one key
    new = s.resample(grid, extrapolation=policy)
    assert (new.epsilon, new.interpolation, new.wavelengths()) == (s.epsilon, s.interpolation, sorted(set(grid)))
    lo, hi = s.min_wavelength() - s.epsilon, s.max_wavelength() + s.epsilon
    for x, value in new.items():
        assert value == (s(x) if lo <= x <= hi else OUTSIDE[policy](s, x)), x
    inside = [x for x in grid if lo <= x <= hi]
    assert [s(x, extrapolation="raise") for x in inside] == [s(x) for x in inside]
    if len(inside) < len(grid):
        with pytest.raises(ValueError, match="is outside the data"):
            s.resample(grid, extrapolation="raise")


@PROPERTY
@given(s=scans(), start=st.floats(250, 850), step=st.sampled_from([0.1, 0.5, 1.0, 5.0, 2.5]), count=st.integers(0, 80))
def test_resample_to_a_regular_grid_matches_numpy_and_scipy(s, start, step, count):
    np = pytest.importorskip("numpy")
    stop = start + count * step
    new = s.resample(start, stop, step, extrapolation="nan")
    grid = np.array(new.wavelengths())
    assert len(grid) == count + 1 and np.allclose(grid, np.linspace(start, stop, count + 1), rtol=0, atol=1e-9)
    assert np.array_equal(new.values(), s(grid, extrapolation="nan"), equal_nan=True)
    assert np.array_equal(s(grid.reshape(1, -1), extrapolation="zero")[0], s(grid))
    # Against scipy on a smooth curve: the two Akima slopes differ only where the data are flat.
    interpolate = pytest.importorskip("scipy.interpolate")
    keys = np.array(s.wavelengths())
    smooth = Scan(keys, np.sin(keys / 13.0) + keys / 100.0)
    peer = interpolate.Akima1DInterpolator(keys, smooth.values())(grid)
    assert np.allclose(smooth.resample(grid, extrapolation="nan").values(), peer, rtol=1e-9, equal_nan=True)


@pytest.mark.parametrize(
    "call, error, text",
    [
        (lambda s: s.resample(700, 400, 1), ValueError, "stop 400 is below start 700"),
        (lambda s: s.resample(400, 700, 0), ValueError, "step above 0"),
        (lambda s: s.resample(0, 1e9, 1e-3), ValueError, f"grid would hold more than {2**26} wavelengths"),
        (lambda s: Scan.from_series(s.to_lists()), TypeError, "from_series takes a pandas Series, not list"),
        (lambda s: s.resample([400, math.nan]), ValueError, "must not be NaN"),
        (lambda s: s(400.0, extrapolation="linear"), ValueError, "'zero', 'constant', 'raise' or 'nan'"),
        (lambda s: s(math.nan, extrapolation="raise"), ValueError, "wavelength nan is outside the data, 400 to 420"),
        (lambda s: s[400:420:5], ValueError, "without a step"),
        (lambda s: s.normalised("mean"), ValueError, "to must be 'max', 'area' or a wavelength"),
        (lambda s: s.normalised(430), ValueError, "wavelength 430 is outside the data"),
        (lambda s: (s * 0).normalised(), ValueError, "its largest value is 0"),
        (lambda s: Scan().normalised("area"), ValueError, "the scan is empty"),
    ],
)
def test_refusals(call, error, text):
    with pytest.raises(error, match=text.replace("(", r"\(")):
        call(Scan([400, 405, 410, 415, 420], [1.0, 2.0, 3.0, 2.0, 1.0]))


@PROPERTY
@given(s=scans(), lo=st.floats(250, 850) | st.none(), hi=st.floats(250, 850) | st.none())
def test_slices_crop_as_pandas_label_slices_do_and_abs_as_numpy(s, lo, hi):
    pandas = pytest.importorskip("pandas")
    np = pytest.importorskip("numpy")
    series = s.to_series(name="lens")
    index = pandas.Index(s.wavelengths(), name="wavelength")
    pandas.testing.assert_series_equal(series, pandas.Series(s.values(), index=index, name="lens"))
    part = s[lo:hi]
    assert (part.to_lists(), part.epsilon, part.interpolation) == (
        [series.loc[lo:hi].index.tolist(), series.loc[lo:hi].tolist()],
        s.epsilon,
        s.interpolation,
    )
    assert abs(s).values() == np.abs(s.values()).tolist() and abs(s).wavelengths() == s.wavelengths()
    assert Scan.from_series(series.sample(frac=1, random_state=1), s.epsilon, s.interpolation) == s


def test_normalised_to_the_largest_value_the_area_or_a_wavelength():
    np = pytest.importorskip("numpy")
    interpolate = pytest.importorskip("scipy.interpolate")
    x = np.linspace(380, 780, 41)
    s = Scan(x, np.exp(-(((x - 560) / 60) ** 2)))
    assert s.normalised().values() == (np.array(s.values()) / np.max(s.values())).tolist()
    assert s.normalised("area").integral == pytest.approx(1, rel=1e-12)
    akima = interpolate.Akima1DInterpolator(x, s.values())
    assert s.normalised(523.0).values() == pytest.approx(s.values() / akima(523.0), rel=1e-12)


def test_series_and_tables_need_pandas_and_say_which_package(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)
    for call in (lambda: Scan([400], [1]).to_series(), lambda: orvpy.to_dataframe([Scan([400], [1])])):
        with pytest.raises(ModuleNotFoundError, match=rf"this Python \({platform.python_version()}\) .*python3-pandas"):
            call()


def test_many_scans_make_one_table_and_come_back():
    pandas = pytest.importorskip("pandas")
    np = pytest.importorskip("numpy")
    a = Scan([400, 410, 420, 430, 440], [1.0, 2.0, 4.0, 2.0, 1.0])
    b = Scan([405, 410, 415], [5.0, 6.0, 7.0], interpolation=orvpy.LINEAR)
    union = orvpy.to_dataframe({"a": a, "b": b})
    expected = pandas.concat([a.to_series("a"), b.to_series("b")], axis=1).sort_index()
    pandas.testing.assert_frame_equal(union, expected)
    back = orvpy.from_dataframe(union, interpolation=orvpy.LINEAR)
    assert back["b"] == b and back["a"].to_lists() == a.to_lists()
    grid = np.arange(395.0, 446.0, 2.5)
    on_grid = orvpy.to_dataframe([("a", a), ("a", b)], grid=grid)
    assert list(on_grid.columns) == ["a", "a"] and on_grid.index.tolist() == grid.tolist()
    for column, scan in zip(range(2), (a, b)):
        inside = (grid >= scan.min_wavelength()) & (grid <= scan.max_wavelength())
        values = on_grid.iloc[:, column].to_numpy()
        assert np.isnan(values[~inside]).all() and values[inside].tolist() == scan(grid[inside]).tolist()
    with pytest.raises(ValueError, match="column labels repeat"):
        orvpy.from_dataframe(on_grid)
    with pytest.raises(TypeError, match="item 1 is a str"):
        orvpy.to_dataframe([a, "b"])


ILLUMINANTS = {"A": "cie_illuminant_a", "C": "cie_illuminant_c", "D65": "cie_illuminant_d65"}
# CIE 15:2004 Table T.3: the illuminants' chromaticities for the 2 and 10 degree observers.
PUBLISHED = {
    ("A", "CIE 1931 2"): (0.44757, 0.40745),
    ("C", "CIE 1931 2"): (0.31006, 0.31616),
    ("D65", "CIE 1931 2"): (0.31271, 0.32902),
    ("A", "CIE 1964 10"): (0.45117, 0.40594),
    ("C", "CIE 1964 10"): (0.31039, 0.31905),
    ("D65", "CIE 1964 10"): (0.31382, 0.33100),
}


@PROPERTY
@given(
    start=st.floats(300, 380),
    step=st.floats(0.2, 10),
    level=st.floats(0.01, 1),
    illuminant=st.sampled_from(list(ILLUMINANTS)),
    observer=st.sampled_from(["CIE 1931 2", "CIE 1964 10"]),
)
def test_a_flat_sample_has_the_illuminants_chromaticity_on_any_grid(start, step, level, illuminant, observer):
    grid = [start + step * i for i in range(int((800 - start) / step) + 1)]
    flat = Scan(grid, [level] * len(grid))
    light = getattr(colorimetry.data, ILLUMINANTS[illuminant])()
    xyz, point = colorimetry.XYZ(flat, illuminant, observer), colorimetry.xy(flat, light, observer)
    own = colorimetry.xy(light, observer=observer)
    assert xyz.Y == pytest.approx(100 * level, rel=1e-9)
    assert (point.x, point.y) == pytest.approx((own.x, own.y), abs=1e-12)
    assert (point.x, point.y) == pytest.approx(PUBLISHED[illuminant, observer], abs=5e-5)
    lab = colorimetry.Lab(flat, illuminant, observer)
    assert (lab.L_star, lab.a_star, lab.b_star) == pytest.approx((116 * level ** (1 / 3) - 16, 0, 0), abs=1e-9)


def test_colour_in_one_call_agrees_with_the_functions_it_replaces(flat_lens, sample):
    lenses = [data_set.data / 100 for data_set in io.load_orvfile(sample).data_sets]
    observer = orvpy.Observer(*(getattr(colorimetry.data, f"cie_1931_standard_observer_{c}")() for c in "xyz"))
    d65 = colorimetry.data.cie_illuminant_d65()
    for trans in lenses:
        daylight = chromaticity.ANSI_Z80_3_daylight_chromaticity(trans)
        assert (colorimetry.xy(trans, "D65").x, colorimetry.xy(trans, "D65").y) == pytest.approx(
            (daylight.x, daylight.y), abs=1e-12
        )
        lab, xyz = colorimetry.Lab(trans, d65), colorimetry.XYZ(trans, "D65")
        white = colorimetry.XYZ(flat_lens(1.0), "D65")
        f = [colorimetry.CIELAB_f(v / n) for v, n in zip((xyz.X, xyz.Y, xyz.Z), (white.X, white.Y, white.Z))]
        assert (lab.L_star, lab.a_star, lab.b_star) == pytest.approx(
            (116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])), abs=1e-9
        )
        tristimulus, light = colorimetry.CIE_tristimulus_values(d65, observer), colorimetry.XYZ(d65)
        assert (light.X, light.Y, light.Z) == (tristimulus.X, tristimulus.Y, tristimulus.Z)
    with pytest.raises(ValueError, match="Lab needs an illuminant"):
        colorimetry.Lab(lenses[0])
    with pytest.raises(ValueError, match="'CIE 1931 2' or 'CIE 1964 10'"):
        colorimetry.XYZ(lenses[0], "D65", "CIE 1931")
    with pytest.raises(ValueError, match="'A', 'C' or 'D65'"):
        colorimetry.xy(lenses[0], "D50")


def test_a_folder_reads_in_path_order_with_repeated_names_and_errors(tmp_path, damaged, lens_file):
    points = [(380.0 + 5 * i, 0.5) for i in range(81)]
    (tmp_path / "b.orv").write_bytes(w.container(w.contents([("A", points), ("A", points[:40])])[0]))
    (tmp_path / "a.orv").write_bytes(lens_file.read_bytes())
    (tmp_path / "c.orv").write_bytes(damaged.read_bytes())
    (tmp_path / "d.orv").mkdir()
    os.mkfifo(tmp_path / "e.orv")  # opening it would block: it must be refused unopened
    (tmp_path / "notes.txt").write_text("not matched")
    loaded = io.load_folder(tmp_path, threads=3)
    assert [entry.path.name for entry in loaded] == ["a.orv", "b.orv", "c.orv", "d.orv", "e.orv"]
    for entry in loaded[:2]:
        expected = [(s.name, s.data.to_lists()) for s in io.load_orvfile(entry.path).data_sets]
        assert [(name, scan.to_lists()) for name, scan in entry.data_sets] == expected and entry.error is None
    assert [name for name, _ in loaded[1].data_sets] == ["A", "A"]
    assert [type(entry.error) for entry in loaded[2:]] == [RuntimeError, OSError, OSError]
    assert "a FIFO, not a regular file" in str(loaded[4].error) and loaded[4].data_sets == []
    assert [e.path for e in io.load_folder(tmp_path, "[ab].orv", threads=1)] == [tmp_path / "a.orv", tmp_path / "b.orv"]
    with pytest.raises(NotADirectoryError):
        io.load_folder(tmp_path / "a.orv")


@settings(max_examples=60, deadline=None, database=None)
@given(
    names=st.sets(st.text("aB.[]!-*?", min_size=1, max_size=4).filter(lambda n: n not in (".", "..")), max_size=8),
    pattern=st.text("aB.[]!-*?/", min_size=1, max_size=5),
    relative=st.booleans(),
)
@example(names={"b", "a", ".c", "d-", "e", "f?"}, pattern="*", relative=True)
@example(names={"B", "b?", "ab"}, pattern="b*", relative=False)
def test_a_folder_lists_what_pathlib_globs(names, pattern, relative):
    # pathlib's glob is the reference for every pattern, wildcard or not, the folder named
    # absolutely or as ".", a name that is itself a folder among the files.
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        for i, name in enumerate(sorted(names)):
            (root / name).mkdir() if i % 3 == 2 else (root / name).write_bytes(b"")
        base = pathlib.Path(".") if relative else root
        cwd = os.getcwd()
        os.chdir(folder)
        try:
            try:
                expected = sorted(base.glob(pattern), key=lambda p: p.parts)
            except Exception as refused:  # noqa: BLE001 - whatever pathlib raises, load_folder must too
                with pytest.raises(type(refused)):
                    io.load_folder(base, pattern, threads=2)
                return
            loaded = io.load_folder(base, pattern, threads=2)
            assert [entry.path for entry in loaded] == expected
            # The core was given the same paths: each error names its path as reading it alone does.
            for entry in loaded:
                if entry.path.is_dir():
                    assert f"'{os.fspath(entry.path)}' is a folder" in str(entry.error)
                else:
                    with pytest.raises(type(entry.error)) as alone:
                        io.load_orvfile(entry.path)
                    assert str(alone.value) == str(entry.error)
        finally:
            os.chdir(cwd)


@pytest.mark.parametrize(
    "units, percent",
    [
        ("Transmittance/%", True),
        ("Transmittance (%)", True),
        ("Transmittance / percent", True),
        ("Transmittance [fraction]", False),
        ("Transmittance / 1", False),
        ("Transmittance", False),
        ("Transmittance / W", "'%', 'percent', '', '1', 'fraction'"),
    ],
)
def test_rate_file_reads_the_unit_spellings_instruments_write(tmp_path, units, percent):
    level = 40.0 if percent is True else 0.4
    path = tmp_path / "lens.orv"
    path.write_bytes(
        w.container(w.contents([("A", [(280.0 + 5 * i, level) for i in range(101)])], type_and_units=units)[0])
    )
    if isinstance(percent, str):
        with pytest.raises(ValueError, match=percent):
            lens.rate_file(path)
    else:
        assert lens.rate_file(path)[0][1] == lens.rate(Scan([280.0 + 5 * i for i in range(101)], [0.4] * 101))


@pytest.mark.parametrize("method", ["integral", "sum"])
@pytest.mark.parametrize("step, first, last", [(1.0, 280, 780), (2.0, 280, 780), (5.0, 380, 780), (0.7, 300, 790)])
def test_many_lenses_rate_as_rate_does_one_by_one(method, step, first, last):
    pandas = pytest.importorskip("pandas")
    np = pytest.importorskip("numpy")
    rng = np.random.default_rng(int(step * 10) + first)
    grid = np.arange(first, last + step / 2, step)
    edges = rng.uniform(360, 460, 6)
    scans = {
        f"lens {i}": Scan(grid, 100 * rng.uniform(0, 1) / (1 + np.exp(-(grid - e) / 6))) for i, e in enumerate(edges)
    }
    scans["other grid"] = Scan(grid[::2], np.full(len(grid[::2]), 40.0), interpolation=orvpy.LINEAR)
    # 6 nm short of 280 nm: beyond the 5 nm a band may be short by, so the UV-B means are None
    scans["short"] = Scan(grid[grid >= 286], np.full(np.count_nonzero(grid >= 286), 60.0))
    for bound in (80.0, 43.0, 18.0, 8.0, 3.0):  # flat lenses exactly at each category's lower bound
        scans[f"flat {bound:g} %"] = Scan(grid, np.full(len(grid), bound))
    options = dict(method=method, percent=True, require_coverage=False)
    ratings = [lens.rate(scan, **options).as_dict() for scan in scans.values()]
    expected = pandas.DataFrame(ratings, index=pandas.Index(list(scans), name="lens"))
    pandas.testing.assert_frame_equal(lens.rate_many(scans, **options), expected, rtol=1e-9, atol=1e-12)


def test_many_lenses_from_files_and_refusals(sample, tmp_path):
    pandas = pytest.importorskip("pandas")
    rows = {(str(sample), name): r.as_dict() for name, r in lens.rate_file(sample, method="sum")}
    expected = pandas.DataFrame(rows.values(), index=pandas.MultiIndex.from_tuples(rows, names=["file", "data_set"]))
    pandas.testing.assert_frame_equal(lens.rate_many([sample], method="sum"), expected, rtol=1e-9, atol=1e-12)
    percent = Scan([280.0 + 5 * i for i in range(101)], [15.0] * 101)
    for call, error, text in [
        (lambda: lens.rate_many({"ok": percent / 100, "p": percent}), ValueError, "lens 'p': the transmittance is 15"),
        (lambda: lens.rate_many([(percent / 100)[380:]]), ValueError, "lens 0: the scan covers 380-780 nm"),
        (lambda: lens.rate_many([percent, sample]), TypeError, "scans or data file paths, not both"),
    ]:
        with pytest.raises(error, match=text):
            call()
