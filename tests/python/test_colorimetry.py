"""The colorimetry surface: records, Observer, reference spectra views, functions and errors."""

import gc
import importlib
import math

import pytest

import _orvpy_core as core
from _orvpy_core import Scan, chromaticity, colorimetry

data = colorimetry.data


def grid(value, kind=core.AKIMA):
    wavelengths = [280.0 + 5.0 * i for i in range(101)]
    return Scan(wavelengths, [value(w) for w in wavelengths], interpolation=kind)


def test_submodules_are_importable_by_their_dotted_names():
    for name in ("chromaticity", "colorimetry", "colorimetry.data"):
        assert importlib.import_module("_orvpy_core." + name).__doc__ is None


class TestRecords:
    @pytest.mark.parametrize(
        "record, text, plain",
        [
            (chromaticity.CIExy(), "<Chromaticity x:0 y:0>", "x:0 y:0"),
            (chromaticity.CIExy(0.25, 0.5), "<Chromaticity x:0.25 y:0.5>", "x:0.25 y:0.5"),
            (colorimetry.CIEXYZ(1e-7, 100, 12.3456789), "<CIEXYZ X:1e-07 Y:100 Z:12.3457>", "X:1e-07 Y:100 Z:12.3457"),
            (colorimetry.CIELAB(100, 1 / 3, -5), "<CIELAB L*:100 a*:0.333333 b*:-5>", "L*:100 a*:0.333333 b*:-5"),
            (colorimetry.RYG(1, 2, 3), "<RYG red:1 yellow:2 green:3>", "red:1 yellow:2 green:3"),
            (colorimetry.RYGB(1, 2, 3, 4), "<RYGB red:1 yellow:2 green:3 blue:4>", "red:1 yellow:2 green:3 blue:4"),
            (colorimetry.RYG(math.nan, math.inf, -0.0), "<RYG red:nan yellow:inf green:-0>", "red:nan yellow:inf green:-0"),
        ],
    )
    def test_text_forms(self, record, text, plain):
        assert repr(record) == text
        assert str(record) == plain

    def test_keyword_construction_and_attributes(self):
        lab = colorimetry.CIELAB(L_star=50, a_star=-3, b_star=7)
        lab.a_star = 1.5
        assert (lab.L_star, lab.a_star, lab.b_star) == (50, 1.5, 7)
        xyz = colorimetry.CIEXYZ(X=1, Y=2, Z=3)
        xyz.Y = 9
        assert (xyz.X, xyz.Y, xyz.Z) == (1, 9, 3)
        rygb = colorimetry.RYGB(red=1, yellow=2, green=3, blue=4)
        rygb.blue = 0
        assert (rygb.red, rygb.yellow, rygb.green, rygb.blue) == (1, 2, 3, 0)
        assert (colorimetry.RYG().red, chromaticity.CIExy(y=2, x=1).x) == (0, 1)

    def test_values_must_be_numbers(self):
        with pytest.raises(TypeError):
            chromaticity.CIExy("0.3", 0.3)
        with pytest.raises(TypeError):
            colorimetry.CIEXYZ().X = "1"


class TestObserver:
    def observer(self):
        x = Scan([380, 580, 780], [1, 1, 1], interpolation=core.LINEAR)
        y = Scan([380, 580, 780], [2, 2, 2], interpolation=core.LINEAR)
        z = Scan([380, 580, 780], [3, 3, 3], interpolation=core.LINEAR)
        return core.Observer(x, y, z)

    def test_keeps_its_curves_alive(self):
        observer = self.observer()
        gc.collect()
        ramp = Scan([300, 800], [300, 800], interpolation=core.LINEAR)
        xyz = colorimetry.CIE_tristimulus_values(ramp, observer)
        # ∫ w dw over 380-780 nm = 232000, times the heights 1, 2 and 3.
        assert (xyz.X, xyz.Y, xyz.Z) == pytest.approx((232000, 464000, 696000), rel=1e-13)

    def test_curves_come_back_as_copies(self):
        observer = self.observer()
        x = observer.x
        x[580] = 100
        assert observer.x[580] == 1
        assert observer.z.values() == [3, 3, 3]

    def test_repr_and_doc(self):
        assert repr(self.observer()) == (
            "<Observer x: Scan(380→780[3], interpolation=LINEAR), y: Scan(380→780[3], interpolation=LINEAR), "
            "z: Scan(380→780[3], interpolation=LINEAR)>"
        )
        assert core.Observer.__doc__ == "Observer struct"

    def test_arguments_must_be_scans(self):
        with pytest.raises(TypeError):
            core.Observer([1.0], Scan(), Scan())


CURVES = {
    "AM0_ASTM_E490": (1697, 119.5, 1e6),
    "AM15D_ASTM_G17303": (2002, 280, 4000),
    "AM15G_ASTM_G17303": (2002, 280, 4000),
    "ANSI_Z80_3_2015_red_signal_transmittance": (20, 590, 780),
    "ANSI_Z80_3_2015_yellow_signal_transmittance": (29, 500, 780),
    "ANSI_Z80_3_2015_green_signal_transmittance": (41, 380, 780),
    "ISO8980_3_incandescent_red": (55, 495, 765),
    "ISO8980_3_incandescent_yellow": (55, 470, 740),
    "ISO8980_3_incandescent_green": (65, 430, 750),
    "ISO8980_3_incandescent_blue": (75, 395, 765),
    "ISO8980_3_led_red": (28, 550, 685),
    "ISO8980_3_led_yellow": (26, 515, 640),
    "ISO8980_3_led_green": (42, 435, 640),
    "ISO8980_3_led_blue": (51, 420, 670),
    "aphake_hazard": (81, 300, 700),
    "blue_light_hazard": (25, 380, 500),
    "cie_1931_standard_observer_x": (81, 380, 780),
    "cie_1931_standard_observer_y": (81, 380, 780),
    "cie_1931_standard_observer_z": (55, 380, 650),
    "cie_1964_standard_observer_x": (81, 380, 780),
    "cie_1964_standard_observer_y": (81, 380, 780),
    "cie_1964_standard_observer_z": (37, 380, 560),
    "cie_illuminant_a": (97, 300, 780),
    "cie_illuminant_c": (41, 380, 780),
    "cie_illuminant_d65": (107, 300, 830),
    "relative_spectral_effectiveness": (25, 280, 400),
    "solar_spectral_irradiance": (43, 290, 500),
}


class TestReferenceSpectra:
    def test_catalogue(self):
        functions = sorted(name for name in dir(data) if not name.startswith("_"))
        assert functions == sorted(CURVES)
        for name, (n, first, last) in CURVES.items():
            curve = getattr(data, name)()
            assert (len(curve.wavelengths()), curve.min_wavelength(), curve.max_wavelength()) == (n, first, last)
            assert "() -> _orvpy_core.Scan" in getattr(data, name).__doc__

    def test_docstrings_name_units_and_integrals(self):
        assert "W m-2 nm-1" in data.AM0_ASTM_E490.__doc__ and "1366.1 W m-2" in data.AM0_ASTM_E490.__doc__
        assert "900 W m-2" in data.AM15D_ASTM_G17303.__doc__
        assert "1000 W m-2" in data.AM15G_ASTM_G17303.__doc__
        assert "mW m-2 nm-1" in data.solar_spectral_irradiance.__doc__
        assert "Red Signal" in data.ISO8980_3_led_red.__doc__
        assert "B(λ)" in data.blue_light_hazard.__doc__ and "steps 5nm" in data.blue_light_hazard.__doc__

    def test_a_living_view_is_returned_again(self):
        view = data.cie_illuminant_d65()
        assert data.cie_illuminant_d65() is view

    def test_changes_through_a_view_reach_every_computation(self):
        lens = grid(lambda w: 0.2 + w / 1000.0)
        flat = grid(lambda w: 0.5)
        tau_v = colorimetry.ISO8980_3_tau_v(lens)
        led = colorimetry.ISO8980_3_tau_signal_led(lens).red
        ansi = colorimetry.ANSI_Z80_3_tau_signal(lens).green
        d65_y = colorimetry.CIE_tristimulus_values(data.cie_illuminant_d65(), self.observer_1931()).Y
        try:
            # Scaling a weighting changes neither numerator's nor denominator's ratio: a stale
            # cached denominator would double these results.
            data.cie_illuminant_d65().__imul__(2.0)
            data.ISO8980_3_led_red().__imul__(2.0)
            data.cie_illuminant_a().__imul__(2.0)
            assert colorimetry.ISO8980_3_tau_v(flat) == pytest.approx(0.5, abs=1e-12)
            assert colorimetry.ISO8980_3_tau_v(lens) == pytest.approx(tau_v, rel=1e-12)
            assert colorimetry.ISO8980_3_tau_signal_led(lens).red == pytest.approx(led, rel=1e-12)
            assert colorimetry.ANSI_Z80_3_tau_signal(lens).green == pytest.approx(ansi, rel=1e-12)
            assert colorimetry.CIE_tristimulus_values(
                data.cie_illuminant_d65(), self.observer_1931()
            ).Y == pytest.approx(2 * d65_y, rel=1e-12)
        finally:
            data.cie_illuminant_d65().__imul__(0.5)
            data.ISO8980_3_led_red().__imul__(0.5)
            data.cie_illuminant_a().__imul__(0.5)
        assert colorimetry.ISO8980_3_tau_v(lens) == tau_v

    def test_a_changed_shape_changes_the_result_until_restored(self):
        lens = grid(lambda w: 0.2 + w / 1000.0)
        before = colorimetry.ISO8980_3_tau_v(lens)
        y = data.cie_1931_standard_observer_y()
        original = y[555]
        try:
            y[555] = 2.0
            assert colorimetry.ISO8980_3_tau_v(lens) != before
        finally:
            y[555] = original
        assert colorimetry.ISO8980_3_tau_v(lens) == before

    @staticmethod
    def observer_1931():
        return core.Observer(
            data.cie_1931_standard_observer_x(), data.cie_1931_standard_observer_y(), data.cie_1931_standard_observer_z()
        )


class TestFunctions:
    def test_keyword_names(self):
        lens = grid(lambda w: 0.5)
        assert colorimetry.ISO8980_3_tau_v(trans=lens) == pytest.approx(0.5)
        assert chromaticity.ANSI_Z80_3_daylight_chromaticity(scan=lens).x == pytest.approx(0.31271, abs=1e-4)
        observer = TestReferenceSpectra.observer_1931()
        lab = colorimetry.CIELAB_tristimulus_values(scan=lens, white_point_reference=lens, observer=observer)
        assert (lab.L_star, lab.a_star, lab.b_star) == (100, 0, 0)
        assert colorimetry.CIE_tristimulus_values(scan=lens, observer=observer).Y > 0
        assert colorimetry.CIELAB_f(t=1.0) == 1.0

    def test_record_results(self):
        lens = grid(lambda w: 1.0)
        assert isinstance(chromaticity.CIE_1931_chromaticity(lens), chromaticity.CIExy)
        assert isinstance(colorimetry.ANSI_Z80_3_tau_signal(lens), colorimetry.RYG)
        signals = colorimetry.ISO8980_3_tau_signal_incandescent(lens)
        assert isinstance(signals, colorimetry.RYGB)
        assert (signals.red, signals.yellow, signals.green, signals.blue) == pytest.approx((1, 1, 1, 1), abs=1e-12)
        # Through a clear lens the signals keep their colours: a saturated yellow near the
        # spectrum locus, and a bluish green.
        yellow = chromaticity.ANSI_Z80_3_yellow_chromaticity(lens)
        green = chromaticity.ANSI_Z80_3_green_chromaticity(lens)
        assert yellow.x > 0.55 and yellow.x + yellow.y > 0.99
        assert green.y > green.x and green.x < 0.25

    @pytest.mark.parametrize(
        "function",
        [colorimetry.ISO8980_3_tau_v, colorimetry.ANSI_Z80_3_tau_uva, chromaticity.CIE_1931_chromaticity],
    )
    def test_arguments_must_be_scans(self, function):
        with pytest.raises(TypeError):
            function([0.5, 0.5])

    def test_errors(self):
        with pytest.raises(ValueError, match="475 and 650 nm"):
            colorimetry.ANSI_Z80_3_tau_spectral_min(Scan([400, 700], [0.5, 0.5]))
        with pytest.raises(ValueError, match="475 and 650 nm"):
            colorimetry.ANSI_Z80_3_tau_spectral_min(Scan())
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline, too few points$"):
            colorimetry.ISO8980_3_tau_v(Scan([500, 505, 510], [1, 1, 1]))
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            colorimetry.ANSI_Z80_3_tau_uvb(grid(lambda w: 1.0, core.NONE))
        nowhere = chromaticity.CIE_1931_chromaticity(Scan([800 + 5 * i for i in range(10)], [1] * 10))
        assert math.isnan(nowhere.x) and math.isnan(nowhere.y)


def test_daylight_chromaticity_agrees_with_colormath():
    # colormath sums the lens times D65 and the CIE 1931 functions at 10 nm; the library
    # integrates splines at 5 nm, so the two agree to a few parts in 1e4.
    pytest.importorskip("numpy")  # colormath's own dependency
    pytest.importorskip("colormath")
    from colormath.color_conversions import convert_color
    from colormath.color_objects import SpectralColor, XYZColor

    wavelengths = [380.0 + 5.0 * i for i in range(81)]
    values = [0.08 + 0.22 / (1.0 + math.exp(-(w - 520.0) / 25.0)) for w in wavelengths]
    spectrum = {f"spec_{int(w)}nm": v for w, v in zip(wavelengths, values) if int(w) % 10 == 0}
    xyz = convert_color(SpectralColor(observer="2", illuminant="d65", **spectrum), XYZColor)
    total = xyz.xyz_x + xyz.xyz_y + xyz.xyz_z
    ours = chromaticity.ANSI_Z80_3_daylight_chromaticity(Scan(wavelengths, values))
    assert ours.x == pytest.approx(xyz.xyz_x / total, abs=3e-4)
    assert ours.y == pytest.approx(xyz.xyz_y / total, abs=3e-4)
