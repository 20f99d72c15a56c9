"""The submodules from Python: records, live views of the reference spectra, keyword names,
exception types and texts, references into loaded files, buffer and path arguments."""

import dataclasses
import gc
import json
import math
import random
import shutil
import struct

import pytest

import orvpy as core
import orvfile_writer as w
from orvpy import Scan, chromaticity, colorimetry, curves, fitting, io, physics, radiometry, utils
from orvpy.monochromator import slit_function

data = colorimetry.data


def flat(value, kind=core.AKIMA):
    return Scan([280.0 + 5.0 * i for i in range(101)], [value] * 101, interpolation=kind)


@pytest.mark.parametrize(
    "record, text, plain",
    [
        (chromaticity.CIExy(y=0.5, x=0.25), "<Chromaticity x:0.25 y:0.5>", "x:0.25 y:0.5"),
        (
            colorimetry.CIELAB(L_star=100, a_star=1 / 3, b_star=-5),
            "<CIELAB L*:100 a*:0.333333 b*:-5>",
            "L*:100 a*:0.333333 b*:-5",
        ),
        (colorimetry.RYG(math.nan, math.inf, -0.0), "<RYG red:nan yellow:inf green:-0>", "red:nan yellow:inf green:-0"),
        (
            colorimetry.RYGB(red=1, yellow=2, green=3, blue=12.3456789),
            "<RYGB red:1 yellow:2 green:3 blue:12.3457>",
            "red:1 yellow:2 green:3 blue:12.3457",
        ),
        (
            fitting.FitWavelengthParams(),
            "<FitWavelengthParams d=0.000000, omega_t=0.000000, omega_m=0.000000, "
            "cos_K=0.000000, theta_z=0.000000, alpha=0.000000, a=0.000000, phi=0.000000>",
            None,
        ),
        (
            fitting.FitWavelengthParamsFree(),
            "<FitWavelengthParamsFree d=False, omega_t=False, omega_m=False, "
            "cos_K=False, theta_z=False, alpha=False, a=False, phi=False>",
            None,
        ),
    ],
)
def test_records_text_and_fields(record, text, plain):
    assert (repr(record), str(record)) == (text, plain or text)
    field = sorted(name for name in dir(record) if not name.startswith("_"))[0]
    value = not getattr(record, field) if isinstance(getattr(record, field), bool) else 2.5
    setattr(record, field, value)
    assert getattr(record, field) == value
    with pytest.raises(TypeError):
        setattr(record, field, "one")


def test_observer_keeps_copies_of_its_curves():
    curves_ = [Scan([380, 580, 780], [h, h, h], interpolation=core.LINEAR) for h in (1, 2, 3)]
    observer = core.Observer(*curves_)
    del curves_
    gc.collect()
    observer.x[580] = 100
    xyz = colorimetry.CIE_tristimulus_values(Scan([300, 800], [300, 800], interpolation=core.LINEAR), observer)
    assert (xyz.X, xyz.Y, xyz.Z) == pytest.approx((232000, 464000, 696000), rel=1e-13)  # ∫ w dw, 380-780 nm
    assert repr(observer).startswith("<Observer x: Scan(380→780[3], interpolation=LINEAR), y: ")


def test_reference_spectra_hold_their_published_tables(orv_fixtures):
    with open(orv_fixtures.parent / "reference_spectra.json") as f:
        tables = json.load(f)["curves"]
    assert sorted(tables) == sorted(name for name in dir(data) if not name.startswith("_"))
    for name, table in tables.items():
        s = getattr(data, name)()
        assert (len(s.wavelengths()), s.min_wavelength(), s.max_wavelength()) == (
            table["points"],
            table["first"],
            table["last"],
        ), name
        assert {w: s[float(w)] for w in table["published"]} == {w: float(v) for w, v in table["published"].items()}
    # Column sums of the CIE 1931 tables, as CIE 15 publishes them.
    assert [sum(getattr(data, "cie_1931_standard_observer_" + c)().values()) for c in "xyz"] == pytest.approx(
        [21.371524, 21.371327, 21.371540], abs=1e-9
    )


def test_reference_spectra_are_live_views_that_every_computation_sees():
    assert data.cie_illuminant_d65() is data.cie_illuminant_d65()
    lens = Scan([280.0 + 5.0 * i for i in range(101)], [0.2 + i / 200 for i in range(101)])
    quantities = (
        colorimetry.ISO8980_3_tau_v,
        lambda t: colorimetry.ISO8980_3_tau_signal_led(t).red,
        lambda t: colorimetry.ANSI_Z80_3_tau_signal(t).green,
    )
    before = [q(lens) for q in quantities]
    weightings = (data.cie_illuminant_d65(), data.ISO8980_3_led_red(), data.cie_illuminant_a())
    try:
        for curve in weightings:  # scaled weightings leave every ratio alone, stale cached denominators would not
            curve *= 2.0
        assert [q(lens) for q in quantities] == pytest.approx(before, rel=1e-12)
        data.cie_1931_standard_observer_y()[555] = 2.0
        assert quantities[0](lens) != pytest.approx(before[0], rel=1e-6)
    finally:
        for curve in weightings:
            curve /= 2.0
        data.cie_1931_standard_observer_y()[555] = 1.0
    assert quantities[0](lens) == before[0]


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: colorimetry.ISO8980_3_tau_v(trans=flat(0.5)), 0.5),
        (lambda: chromaticity.ANSI_Z80_3_daylight_chromaticity(scan=flat(0.5)).x, pytest.approx(0.31271, abs=1e-4)),
        (
            lambda: colorimetry.CIELAB_tristimulus_values(
                scan=flat(1),
                white_point_reference=flat(1),
                observer=core.Observer(
                    data.cie_1931_standard_observer_x(),
                    data.cie_1931_standard_observer_y(),
                    data.cie_1931_standard_observer_z(),
                ),
            ).L_star,
            100,
        ),
        (lambda: colorimetry.f1_prime(scan=data.cie_1931_standard_observer_y()), 0.0),
        (lambda: radiometry.illuminance(spectral_irradiance=Scan()), 0.0),
        (lambda: utils.find_key(scan=flat(1, core.LINEAR), lo=700, hi=800, value=0.5), pytest.approx(780, rel=1e-4)),
        (
            lambda: utils.find_peak(scan=Scan([0, 1, 2], [0, 1, 0], interpolation=core.LINEAR)),
            pytest.approx(1, rel=1e-4),
        ),
        (
            lambda: utils.peak_width(scan=Scan([0, 1, 2], [0, 1, 0], interpolation=core.LINEAR), height=0.5),
            pytest.approx(1, rel=1e-3),
        ),
        (lambda: utils.log(scan=Scan([1, 2], [8, 4]), base=2).values(), [3, 2]),
        (lambda: utils.transform(scan=Scan([1, 2], [3, 4]), binary_operation=lambda k, v: k - v).values(), [-2, -2]),
        (lambda: physics.planks_law_sr_nm(T=5778, wl=500), physics.planks_law_sr(5778, 500e-9) * 1e-9),
        (lambda: physics.stefan_boltzmann_law_surface(T=900, A=1, epsilon=1), physics.stefan_boltzmann_law(T=900)),
        (lambda: curves.lognormal(peak_wl=500, fwhm=50, min_wl=300, max_wl=800, step_wl=1)(500), 1.0),
        (lambda: slit_function.uniform_fibres(central_wavelength=500, bandwidth=1, points=5).values()[2], 1.0),
        (lambda: slit_function.uniform_fibres_value(central_wavelength=500, bandwidth=2, wavelength=500), 1.0),
        (lambda: colorimetry.CIELAB_f(t=8.0), pytest.approx(2.0)),
    ],
)
def test_keyword_names_and_results(call, expected):
    assert call() == expected


@pytest.mark.parametrize(
    "call, error, text",
    [
        (lambda: utils.find_key(Scan(), 400, 500, 1), ValueError, "Key not found."),
        (lambda: utils.find_peak(Scan()), ValueError, "No peak found."),
        (lambda: utils.peak_width(Scan(), 0.5), ValueError, "Unable to calculate peak width."),
        (
            lambda: utils.stitch_scans(Scan([0, 1], [1, 1]), Scan(), 1, 0, 1),
            IndexError,
            "domain error, max_wl < min_wl",
        ),
        (lambda: colorimetry.f1_prime(Scan()), ValueError, "Input has no data in the range 380 to 780"),
        (lambda: curves.lognormal(0, 50, 400, 300, 1), ValueError, "peak_wl <= 0 || fwhm <= 0"),
        (
            lambda: slit_function.uniform_fibres(500, 1, 1),
            ValueError,
            "uniform_fibres: at least 2 points are needed to span the slit function",
        ),
        (lambda: colorimetry.ISO8980_3_tau_v([0.5, 0.5]), TypeError, None),
        (lambda: slit_function.uniform_fibres(500, 1, -3), TypeError, None),
        (lambda: utils.transform(Scan([1], [1]), lambda k, v: 1 / 0), ZeroDivisionError, "division by zero"),
        (lambda: io.load_orvfile_binary_data(bytearray()), RuntimeError, "Buffer is empty"),
        (lambda: io.orvfile_to_json_binary_data(bytearray(600), 2, False), RuntimeError, "Wrong file format"),
        (
            lambda: io.load_orvfile(b"/nowhere/\xff.orv"),
            RuntimeError,
            "Could not open file for reading: /nowhere/\\xff.orv: iostream stream error",
        ),
    ],
)
def test_errors_reach_python_with_their_type_and_text(call, error, text):
    with pytest.raises(error) as info:
        call()
    assert text is None or str(info.value) == text


def test_stitch_results_are_read_only_and_own_their_scan():
    r = utils.stitch_scans(Scan([0, 1, 2], [1, 3, 5]), Scan([0, 1], [1, 1]), 0, 1, 0.3)
    assert (r.success, r.n, r.k, r.error, r.average) == (False, 2, 2.0, 2.0, 2.0)
    with pytest.raises(AttributeError):
        r.k = 1.0
    scan = r.stitch_scan
    scan.add(400, 1)
    del r
    gc.collect()
    assert scan.to_lists() == [[400], [1]]


def test_fit_wavelength_updates_the_parameters_in_place():
    params, free = fitting.FitWavelengthParams(), fitting.FitWavelengthParamsFree()
    params.d = params.omega_t = params.cos_K = params.alpha = 1.0  # λ(x) = 2 sin(x - theta_z)
    calibration = Scan([i / 10 for i in range(1, 11)], [2 * math.sin(i / 10 - 0.05) for i in range(1, 11)])
    assert fitting.fit_wavelength(data=calibration, params=params, free=free) is False
    free.theta_z = True
    assert fitting.fit_wavelength(calibration, params, free) is True
    assert (params.theta_z, params.d) == (pytest.approx(0.05, rel=1e-9), 1.0)
    free.theta_z, free.d = False, True  # only a parameter the model has no derivative for
    with pytest.raises(ValueError, match="d cannot be fitted"):
        fitting.fit_wavelength(calibration, params, free)


def test_a_fit_reports_its_residuals_and_the_covariance_scipy_finds():
    np = pytest.importorskip("numpy")
    least_squares = pytest.importorskip("scipy.optimize").least_squares
    from orvpy.fitting import fit

    def grating(p, x):  # cos_K, theta_z, a, phi free; d = 833.3 nm, 1200 lines per mm
        theta = 2 * np.pi / 5120000 * (x + p[2] * np.sin(2 * np.pi / 51200 * x + p[3])) - p[1]
        return 2 * 833.3 * p[0] * np.sin(theta)

    x = np.arange(500.0, 200000.0, 500.0)
    y = grating([0.98, 0.05, 30.0, 0.3], x) + np.random.default_rng(3).normal(0, 0.05, x.size)
    start, free = fitting.FitWavelengthParams(), fitting.FitWavelengthParamsFree()
    start.d, start.omega_t, start.omega_m, start.alpha = 833.3, 2 * np.pi / 5120000, 2 * np.pi / 51200, 1.0
    start.cos_K, start.theta_z, start.a, start.phi = 0.97, 0.051, 20.0, 0.5
    free.cos_K = free.theta_z = free.a = free.phi = True
    result = fit(Scan(x, y), start, free)
    reference = least_squares(
        lambda p: grating(p, x) - y, [0.97, 0.051, 20.0, 0.5], method="lm", xtol=1e-15, ftol=1e-15, gtol=1e-15
    )
    residuals = reference.fun
    covariance = np.linalg.inv(reference.jac.T @ reference.jac) * (residuals @ residuals) / (x.size - 4)
    assert (result.success, result.free, start.cos_K) == (True, ("cos_K", "theta_z", "a", "phi"), 0.97)
    fitted = [result.params.cos_K, result.params.theta_z, result.params.a, result.params.phi]
    # The same minimum, to a small fraction of each parameter's standard deviation.
    assert (np.abs(np.array(fitted) - reference.x) < 1e-3 * np.sqrt(np.diag(covariance))).all()
    assert np.array(result.residuals) == pytest.approx(grating(fitted, x) - y, abs=1e-9)
    assert (result.rms, result.max_residual) == pytest.approx(
        (np.sqrt(np.mean(residuals**2)), np.abs(residuals).max()), rel=1e-6
    )
    assert np.array(result.covariance) == pytest.approx(covariance, rel=1e-4)
    assert result.iterations > 0 and "tol" in result.reason
    with pytest.raises(dataclasses.FrozenInstanceError):
        result.rms = 0.0


class TestDataFiles:
    def test_records_are_read_only_views_that_keep_the_file_alive(self, lens_file):
        f = io.load_orvfile(lens_file)
        for name in ("Meta", "Graph", "MeasurementTypeUnits", "DataInfo", "DataSet", "OrvFile"):
            with pytest.raises(TypeError):
                getattr(io, name)()
        for record, attribute in [
            (f, "meta"),
            (f.meta, "file_version"),
            (f.data_info.type_and_units, "units_code"),
            (f.data_sets[0], "data"),
        ]:
            with pytest.raises(AttributeError):
                setattr(record, attribute, getattr(record, attribute))
        meta, units, sets = f.meta, f.data_info.type_and_units, f.data_sets
        assert sets is not f.data_sets
        sets[0].data.add(1000.0, 0.25)
        del f
        gc.collect()
        assert (meta.file_version, meta.has_timestamps, meta.x_type) == (4, False, "Wavelength / nm")
        assert (units.measurement_type, units.units, units.units_code) == ("Transmittance", "%", 2)
        assert sets[0].data[1000.0] == 0.25 and isinstance(sets[1], io.DataSet)

    def test_buffers_paths_and_keywords(self, tmp_path, lens_file):
        with open(lens_file, "rb") as f:
            raw = f.read()
        text = io.orvfile_to_json(file_path=lens_file, indent=1, ensure_ascii=True)
        with pytest.raises(ValueError, match="^indent must be at most 64 spaces$"):
            io.orvfile_to_json(lens_file, 65, False)
        with pytest.raises(ValueError) as null_byte:
            io.load_csv(str(lens_file) + "\0.csv")
        assert str(null_byte.value) == f"embedded null byte in the file path {lens_file}\\x00.csv"
        for buffer in (list(raw), tuple(raw), bytearray(raw), memoryview(bytearray(raw))):
            assert io.orvfile_to_json_binary_data(buffer=buffer, indent=1, ensure_ascii=True) == text
        assert (
            io.load_orvfile_binary_data(buffer=bytearray(raw)).data_info.scan_summary
            == io.load_orvfile(file_path=lens_file).data_info.scan_summary
        )
        assert io.load_orv_scan_binary_data(buffer=list(raw)) == io.load_orv_scan_data(file_path=lens_file)
        for bad in ("text", [0, 256], [-1], [1.5], None):
            with pytest.raises(TypeError):
                io.load_orv_scan_binary_data(bad)
        missing = str(tmp_path / "missing.orv")
        for call in (io.load_orvfile, io.load_orv_scan_data, lambda p: io.orvfile_to_json(p, 2, True), io.load_csv):
            with pytest.raises(RuntimeError) as info:
                call(missing)
            assert str(info.value) == f"Could not open file for reading: {missing}: iostream stream error"
        (tmp_path / "bad.csv").write_text("380,1\nbad\n")
        with pytest.raises(ValueError, match="bad.csv, line 2: expected two numbers"):
            io.load_csv(file_path=str(tmp_path / "bad.csv"))

    def test_every_number_of_the_json_reads_back_to_its_bits(self):
        # Every bit pattern alike (subnormals to the largest, both signs) and the layouts' edges.
        rng = random.Random(20)
        values = [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(20000)]
        values += [0.0, -0.0, 5e-324, 1e-4, 9.999999999999999e-05, 1e15, 999999999999999.9, 123.0, -2.5e-7]
        points = list(zip(values, reversed(values)))
        data = bytearray(w.container(w.contents([("random", points)])[0]))
        for indent in (-1, 3):
            read = json.loads(io.orvfile_to_json_binary_data(data, indent, True))["data_sets"][0]["data"]
            for written, column in ((values, read["x"]), (values[::-1], read["y"])):
                expected = [None if math.isnan(v) or math.isinf(v) else struct.pack("<d", v) for v in written]
                assert expected == [None if v is None else struct.pack("<d", v) for v in column]

    def test_a_nan_x_refuses_scans_but_not_json(self, orv_fixtures):
        with pytest.raises(ValueError, match='^Data set "Odd" holds a point whose x is NaN$'):
            io.load_orv_scan_data(orv_fixtures / "nan_x.orv")
        assert '"x":[400.0,null]' in io.orvfile_to_json(orv_fixtures / "nan_x.orv", -1, True)


@pytest.mark.skipif(shutil.which("gsf") is None, reason="gsf (libgsf-bin) is not installed")
def test_containers_of_another_writer_read_alike(orv_fixtures):
    # olefile takes the streams out of the committed fixtures, gsf writes them into new
    # containers of its own layout; both read the same.
    olefile = pytest.importorskip("olefile")
    for name in ("fv2_gv1", "fv3_gv3_timestamps", "latin1_long_strings", "regular_stream_4096"):
        path = orv_fixtures / (name + ".orv")
        with olefile.OleFileIO(path) as ole:
            rewritten = w.container(ole.openstream("Contents").read())
        assert io.orvfile_to_json_binary_data(bytearray(rewritten), 1, False) == io.orvfile_to_json(path, 1, False)
