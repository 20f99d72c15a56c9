"""The analysis helpers: key and peak searches, stitching, logarithms, transform, photometer
indices and illuminance."""

import gc
import importlib
import math

import pytest

import _orvpy_core as core
from _orvpy_core import Scan, colorimetry, radiometry, utils

nan = float("nan")
inf = float("inf")

# The searches stop once their bracket is narrower than 1e-4 times its smaller end. The
# bracket always holds the true root (or maximum) of the interpolated curve and the answer is
# one of its ends, so a positive answer x lies within 1e-4 * x of the exact one.
SOLVER_RTOL = 1e-4

# 4π/9 rad (80°), the largest angle of incidence f2 looks at.
ANGLE_LIMIT = 4 * math.pi / 9

y_bar = colorimetry.data.cie_1931_standard_observer_y()
illuminant_a = colorimetry.data.cie_illuminant_a()


def linear(w, v, **kwargs):
    return Scan(w, v, interpolation=core.LINEAR, **kwargs)


def sampled(f, keys, kind=core.AKIMA):
    keys = list(keys)
    return Scan(keys, [f(k) for k in keys], interpolation=kind)


def assert_solved(found, exact):
    assert abs(found - exact) <= SOLVER_RTOL * abs(exact)


def assert_same_floats(got, expected):
    """Element-wise equality that treats nan as equal to nan and keeps the sign of infinities."""
    assert len(got) == len(expected)
    for g, e in zip(got, expected):
        if math.isnan(e):
            assert math.isnan(g)
        elif math.isinf(e):
            assert g == e
        else:
            assert g == pytest.approx(e, rel=1e-15, abs=1e-15)


def test_submodules_are_importable_by_their_dotted_names():
    assert importlib.import_module("_orvpy_core.utils") is utils
    assert importlib.import_module("_orvpy_core.radiometry") is radiometry


class TestFindKey:
    @pytest.mark.parametrize("x", [401.5, 425.0, 487.25, 500.0])
    def test_straight_line(self, x):
        # y = 1 + 2 (x - 400)
        s = linear([400, 500], [1, 201])
        assert_solved(utils.find_key(s, 400, 500, 1 + 2 * (x - 400)), x)

    @pytest.mark.parametrize("value, x", [(5, 425), (10, 450), (20, 475), (29, 497.5)])
    def test_broken_line(self, value, x):
        s = linear([400, 450, 500], [0, 10, 30])
        assert_solved(utils.find_key(s, 400, 500, value), x)

    def test_polynomial_curve(self):
        # (x - 400)² / 100 through three points is that parabola itself: 2.25 at 415
        s = sampled(lambda x: (x - 400) ** 2 / 100, [400, 410, 420], core.POLYNOMIAL)
        assert_solved(utils.find_key(s, 400, 420, 2.25), 415)
        assert_solved(utils.find_key(s, 405, 420, 1.0), 410)

    def test_curve_is_zero_before_the_first_key(self):
        # scan(300) - 50 = -50 < 0 and the line reaches 50 at 424.5
        s = linear([400, 500], [1, 201])
        assert_solved(utils.find_key(s, 300, 450, 50), 424.5)

    def test_curve_is_zero_after_the_last_key(self):
        # 1.0 up to 500 and 0.0 beyond: the level 0.5 is crossed by the step at 500
        s = linear([400, 500], [1, 1])
        assert_solved(utils.find_key(s, 450, 600, 0.5), 500)
        with pytest.raises(ValueError, match=r"^Key not found\.$"):
            utils.find_key(s, 450, 600, 1.5)

    def test_value_at_an_end_of_the_interval(self):
        s = linear([400, 500], [1, 201])
        assert_solved(utils.find_key(s, 400, 500, 1), 400)
        assert_solved(utils.find_key(s, 400, 500, 201), 500)
        assert_solved(utils.find_key(s, 450, 450, 101), 450)

    @pytest.mark.parametrize(
        "scan, lo, hi, value",
        [
            (Scan(), 400, 500, 0.0),
            (linear([400, 500], [1, 201]), 500, 400, 51),  # lo > hi
            (linear([400, 500], [1, 201]), 400, 500, 202),  # above the curve
            (linear([400, 500], [1, 201]), 400, 500, 0.5),  # below the curve
            (linear([400, 500], [1, 201]), 450, 480, 51),  # bracket misses the key
            (linear([400, 450, 500], [nan, 1, 2]), 400, 500, 1.5),  # not finite at lo
            (linear([400, 450, 500], [1, 2, nan]), 400, 500, 1.5),  # not finite at hi
            (linear([400, 500], [1, 201]), 400, 500, nan),
        ],
    )
    def test_key_not_found(self, scan, lo, hi, value):
        with pytest.raises(ValueError, match=r"^Key not found\.$"):
            utils.find_key(scan, lo, hi, value)

    def test_errors_of_the_curve_propagate(self):
        table = Scan([400, 410], [1, 2], interpolation=core.NONE)
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            utils.find_key(table, 400, 410, 1.5)
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            utils.find_key(table, 405, 410, 1.5)  # already at the first evaluation
        short = Scan([400, 410, 420, 430], [1, 2, 3, 4])
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline, too few points$"):
            utils.find_key(short, 400, 430, 1.5)
        # the next search is not disturbed by the one that was stopped
        assert_solved(utils.find_key(linear([400, 500], [1, 201]), 400, 500, 51), 425)

    def test_table_is_only_evaluated_at_its_keys_when_lo_matches(self):
        table = Scan([400, 410], [1, 2], interpolation=core.NONE)
        assert_solved(utils.find_key(table, 400, 410, 1), 400)

    def test_keywords_and_types(self):
        s = linear([400, 500], [1, 201])
        assert_solved(utils.find_key(scan=s, lo=400, hi=500, value=51), 425)
        with pytest.raises(TypeError):
            utils.find_key([1, 2], 400, 500, 1)
        with pytest.raises(TypeError):
            utils.find_key(s, "400", 500, 1)
        with pytest.raises(TypeError):
            utils.find_key(s, 400, 500)


def parabola(vertex, half_width=20.0):
    return lambda x: 1 - ((x - vertex) / half_width) ** 2


class TestFindPeak:
    def test_linear_triangle(self):
        assert_solved(utils.find_peak(linear([400, 450, 500], [0, 1, 0])), 450)

    def test_strict_maximum_is_refined_between_its_neighbours(self):
        # four points reproduce the parabola exactly; the stored maximum is at 410
        s = sampled(parabola(412), [400, 410, 420, 430], core.POLYNOMIAL)
        assert_solved(utils.find_peak(s), 412)

    def test_maximum_between_the_entry_and_the_next(self):
        # greatest stored value at 400, vertex in (400, 410)
        s = sampled(parabola(403), [400, 410, 420], core.POLYNOMIAL)
        assert s.values().index(max(s.values())) == 0
        assert_solved(utils.find_peak(s), 403)

    def test_maximum_between_the_previous_entry_and_the_entry(self):
        # greatest stored value at 420, the last key, vertex in (410, 420)
        s = sampled(parabola(417), [400, 410, 420], core.POLYNOMIAL)
        assert s.values().index(max(s.values())) == 2
        assert_solved(utils.find_peak(s), 417)

    def test_symmetric_gaussian_between_two_keys(self):
        # samples symmetric about 550.25 give an Akima curve symmetric about it
        s = sampled(lambda x: math.exp(-0.5 * ((x - 550.25) / 10) ** 2), [500 + 0.5 * i for i in range(201)])
        assert_solved(utils.find_peak(s), 550.25)

    def test_first_of_equal_maxima_wins(self):
        s = linear([400, 410, 420, 430, 440], [0, 1, 0, 1, 0])
        assert_solved(utils.find_peak(s), 410)

    def test_flat_top_of_a_linear_scan_has_no_peak(self):
        with pytest.raises(ValueError, match=r"^No peak found\.$"):
            utils.find_peak(linear([400, 410, 420, 430], [0, 1, 1, 0]))

    def test_flat_top_of_a_cubic_scan_peaks_midway(self):
        # the natural spline of symmetric data is symmetric about 425 and overshoots there
        s = Scan([400, 410, 420, 430, 440, 450], [0, 0, 1, 1, 0, 0], interpolation=core.CUBIC)
        assert s(425) > 1
        assert_solved(utils.find_peak(s), 425)

    @pytest.mark.parametrize(
        "scan",
        [
            Scan(),
            Scan([500], [3]),
            linear([400, 410, 420], [1, 2, 3]),
            linear([400, 410, 420], [3, 2, 1]),
        ],
    )
    def test_no_peak(self, scan):
        with pytest.raises(ValueError, match=r"^No peak found\.$"):
            utils.find_peak(scan)

    @pytest.mark.parametrize("values", [[0, 1, 0], [0, 1, 2], [2, 1, 0]])
    def test_evaluation_errors_propagate(self, values):
        table = Scan([400, 410, 420], values, interpolation=core.NONE)
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            utils.find_peak(table)

    def test_keywords_and_types(self):
        assert_solved(utils.find_peak(scan=linear([400, 450, 500], [0, 1, 0])), 450)
        with pytest.raises(TypeError):
            utils.find_peak([0, 1, 0])
        with pytest.raises(TypeError):
            utils.find_peak()


class TestFindPeaks:
    def test_sampled_sine(self):
        # sin(2π (x - 400.5) / 60) peaks at 415.5 + 60 n, halfway between two integer keys; the
        # samples are symmetric about each of them, so is the Akima curve.
        s = sampled(lambda x: math.sin(2 * math.pi * (x - 400.5) / 60), range(400, 701))
        peaks = utils.find_peaks(s)
        keys, values = peaks.to_lists()
        assert len(keys) == 5
        for found, exact in zip(keys, [415.5, 475.5, 535.5, 595.5, 655.5]):
            assert_solved(found, exact)
        # The curve passes the equal samples at 415 and 416 and its slopes there are Akima
        # averages of the neighbouring secants, at most m = s(415) - s(414) in size: the cubic
        # between them stays within s(415) + m / 4.
        top = s[415]
        m = s[415] - s[414]
        for v in values:
            assert top <= v <= top + m / 4
        assert (peaks.epsilon, peaks.interpolation) == (1e-20, core.AKIMA)

    def test_linear_zigzag(self):
        s = linear([400, 410, 420, 430, 440, 450, 460], [0, 1, 0, 2, 0, 3, 0])
        peaks = utils.find_peaks(s)
        keys, values = peaks.to_lists()
        assert len(keys) == 3
        for found, exact in zip(keys, [410, 430, 450]):
            assert_solved(found, exact)
        # the value is the curve's at the refined key: peak height minus slope times offset
        for found, exact, height in zip(keys, [410, 430, 450], [1, 2, 3]):
            assert values[keys.index(found)] == pytest.approx(height - height / 10 * abs(found - exact), abs=1e-12)
        assert (peaks.epsilon, peaks.interpolation) == (1e-20, core.AKIMA)

    def test_flat_cubic_top_is_one_peak(self):
        s = Scan([400, 410, 420, 430, 440, 450], [0, 0, 1, 1, 0, 0], interpolation=core.CUBIC)
        keys, values = utils.find_peaks(s).to_lists()
        assert len(keys) == 1
        assert_solved(keys[0], 425)
        assert values[0] > 1

    @pytest.mark.parametrize(
        "scan",
        [
            Scan(),
            Scan([500], [3]),
            linear([400, 410, 420], [1, 2, 3]),
            linear([400, 410, 420], [3, 2, 1]),
            linear([400, 410, 420, 430], [0, 1, 1, 0]),
        ],
    )
    def test_no_interior_maximum(self, scan):
        peaks = utils.find_peaks(scan)
        assert peaks.to_lists() == [[], []]
        assert (peaks.epsilon, peaks.interpolation) == (1e-20, core.AKIMA)

    def test_evaluation_errors_propagate(self):
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            utils.find_peaks(Scan([400, 410, 420], [0, 1, 0], interpolation=core.NONE))

    def test_keywords_and_types(self):
        assert len(utils.find_peaks(scan=linear([400, 450, 500], [0, 1, 0])).wavelengths()) == 1
        with pytest.raises(TypeError):
            utils.find_peaks([0, 1, 0])


class TestPeakWidth:
    def test_full_width_at_half_maximum_of_a_gaussian(self):
        sigma = 10.0
        s = sampled(lambda x: math.exp(-0.5 * ((x - 550) / sigma) ** 2), [500 + 0.5 * i for i in range(201)])
        exact = 2 * math.sqrt(2 * math.log(2)) * sigma
        # Each side is found within 1e-4 of its key (538.2 and 561.8 nm): 0.11 nm together.
        # The Akima slopes are averages of the neighbouring secants, off the true slope by at
        # most h max|f''| = h / sigma² (h = 0.5 nm), so between samples the curve is off by at
        # most h/4 times that, 6.3e-4, which moves a half-maximum point by 6.3e-4 / |f'| =
        # 0.011 nm (|f'| = 0.0589 / nm there). The refined top lies within 0.055 nm of 550 and lowers the level by a
        # relative 1.5e-5 at most, 1.3e-4 nm per side. Together below 0.14 nm.
        assert utils.peak_width(s, 0.5) == pytest.approx(exact, abs=0.14)

    @pytest.mark.parametrize(
        "corner, top, height, width",
        [
            (450, 1, 0.25, 75),
            (450, 1, 0.5, 50),
            (450, 1, 0.75, 25),
            (420, 2, 0.25, 75),  # 0.5 at 405 and at 480
            (420, 2, 0.5, 50),  # 1.0 at 410 and at 460
        ],
    )
    def test_linear_triangle(self, corner, top, height, width):
        # Each side is found within 1e-4 * 500. The refined top lies within 1e-4 * corner of
        # the corner, where the steeper side lowers it by a fraction r of the maximum at most;
        # the level drops by height * r and the width at it grows by height * r * base.
        steeper = top / min(corner - 400, 500 - corner)
        r = SOLVER_RTOL * corner * steeper / top
        tolerance = 2 * SOLVER_RTOL * 500 + height * r * 100
        s = linear([400, corner, 500], [0, top, 0])
        assert utils.peak_width(s, height) == pytest.approx(width, abs=tolerance)

    def test_level_zero_spans_the_base_and_level_one_is_the_top(self):
        s = linear([400, 450, 500], [0, 1, 0])
        assert utils.peak_width(s, 0.0) == pytest.approx(100, abs=2 * SOLVER_RTOL * 500)
        assert utils.peak_width(s, 1.0) == pytest.approx(0, abs=2 * SOLVER_RTOL * 500)

    @pytest.mark.parametrize(
        "scan, height",
        [
            (Scan(), 0.5),
            (Scan([400, 450, 500], [0, 1, 0], interpolation=core.NONE), 0.5),
            (linear([400, 450, 500], [0, 1, 2]), 0.5),  # no peak
            (linear([400, 450, 500], [0.6, 1, 0]), 0.5),  # the left side stays above 0.5
            (linear([400, 450, 500], [0, 1, 0.6]), 0.5),  # the right side stays above 0.5
            (linear([400, 450, 500], [0, 1, 0]), 1.5),  # above the top
            (linear([400, 450, 500], [0, 1, 0]), -0.5),  # below the curve
        ],
    )
    def test_unable_to_calculate(self, scan, height):
        with pytest.raises(ValueError, match=r"^Unable to calculate peak width\.$"):
            utils.peak_width(scan, height)

    def test_keywords_and_types(self):
        s = linear([400, 450, 500], [0, 1, 0])
        assert utils.peak_width(scan=s, height=0.5) == pytest.approx(50, abs=0.2)
        with pytest.raises(TypeError):
            utils.peak_width(s, "0.5")
        with pytest.raises(TypeError):
            utils.peak_width([0, 1, 0], 0.5)
        with pytest.raises(TypeError):
            utils.peak_width(s)


RESULT_FIELDS = ["success", "n", "k", "error", "average", "percent_error_rms", "stitch_point", "stitch_scan"]


class TestStitchResults:
    def test_defaults(self):
        r = utils.StitchResults()
        assert r.success is False
        assert r.n == 0
        assert isinstance(r.n, int)
        assert (r.k, r.error, r.average, r.percent_error_rms, r.stitch_point) == (0.0, 0.0, 0.0, 0.0, 0.0)
        assert r.stitch_scan.to_lists() == [[], []]
        assert (r.stitch_scan.epsilon, r.stitch_scan.interpolation) == (1e-20, core.AKIMA)

    @pytest.mark.parametrize("field", RESULT_FIELDS)
    def test_fields_are_read_only(self, field):
        r = utils.StitchResults()
        with pytest.raises(AttributeError):
            setattr(r, field, getattr(r, field))

    def test_stitch_scan_is_the_records_own_scan(self):
        r = utils.StitchResults()
        scan = r.stitch_scan
        scan.add(400, 1)
        assert r.stitch_scan.to_lists() == [[400], [1]]
        del r
        gc.collect()
        scan.add(410, 2)
        assert scan.to_lists() == [[400, 410], [1, 2]]

    def test_takes_no_arguments(self):
        with pytest.raises(TypeError):
            utils.StitchResults(True)


def line(x):
    return 1 + (x - 400) / 100


class TestStitchScans:
    def test_exact_multiple_over_the_overlap(self):
        scan_1 = linear([400 + 10 * i for i in range(21)], [line(400 + 10 * i) for i in range(21)])
        scan_2 = linear([500 + 5 * i for i in range(61)], [line(500 + 5 * i) / 2 for i in range(61)], epsilon=0.1)
        r = utils.stitch_scans(scan_1, scan_2, 500, 600, 1e-3)
        # halving is exact, so are both sums and their ratio
        assert r.success is True
        assert (r.n, r.k, r.error, r.percent_error_rms) == (11, 2.0, 0.0, 0.0)
        assert r.average == pytest.approx(2.5, rel=1e-15)  # mean of 2.0, 2.1, ..., 3.0
        assert r.stitch_point == 500
        keys = [400 + 10 * i for i in range(10)] + [500 + 5 * i for i in range(61)]
        keys_out, values_out = r.stitch_scan.to_lists()
        assert keys_out == keys
        assert values_out == pytest.approx([line(k) for k in keys], rel=1e-15)
        assert (r.stitch_scan.epsilon, r.stitch_scan.interpolation) == (1e-20, core.AKIMA)

    def test_hand_computed_match(self):
        # over 500, 510, 520: s1 = 1, 2, 3 and s2 = 1, 1, 1. A = 6, B = 3, k = 2; the averages
        # of s1 and 2 s2 are 1.5, 2, 2.5; the squared differences 1, 0, 1.
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [1, 1, 1, 1])
        r = utils.stitch_scans(scan_1, scan_2, 500, 520, 0.3)
        assert r.success is True
        assert (r.n, r.k, r.error, r.average) == (3, 2.0, 2.0, 2.0)
        assert r.percent_error_rms == pytest.approx(math.sqrt(2) / 3 / 2, rel=1e-15)
        # 2 == 2 * 1 at 510, the first key where the two agree
        assert r.stitch_point == 510
        assert r.stitch_scan.to_lists() == [[480, 490, 500, 510, 520, 530], [5, 5, 1, 2, 2, 2]]

    def test_failed_match_keeps_the_statistics(self):
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [1, 1, 1, 1])
        r = utils.stitch_scans(scan_1, scan_2, 500, 520, 0.2)
        assert r.success is False
        assert (r.n, r.k, r.error, r.average) == (3, 2.0, 2.0, 2.0)
        assert r.percent_error_rms == pytest.approx(math.sqrt(2) / 6, rel=1e-15)
        assert r.stitch_point == 0.0
        assert r.stitch_scan.to_lists() == [[], []]
        assert (r.stitch_scan.epsilon, r.stitch_scan.interpolation) == (1e-20, core.AKIMA)

    def test_target_must_exceed_the_error(self):
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [1, 1, 1, 1])
        percent = math.sqrt(2.0) / 3 / 2.0  # the same operations in the same order
        assert utils.stitch_scans(scan_1, scan_2, 500, 520, percent).success is False
        assert utils.stitch_scans(scan_1, scan_2, 500, 520, math.nextafter(percent, 1)).success is True
        # a perfect match fails a target of zero
        exact = linear([500, 510, 520], [1, 2, 3])
        r = utils.stitch_scans(exact, exact, 500, 520, 0.0)
        assert (r.success, r.error, r.percent_error_rms, r.k) == (False, 0.0, 0.0, 1.0)

    def test_crossing_between_keys(self):
        # over 500, 510, 520: s1 = 1, 2, 3, s2 = 3, 2, 1. A = 10, B = 14, k = 5/7, so k s2 =
        # 15/7, 10/7, 5/7: below s1 at 510, above it at 500. On [500, 510] both are lines,
        # 1 + t and 15/7 - 5t/7 with t = (x - 500)/10, which meet at t = 2/3.
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [3, 2, 1, 0.5])
        r = utils.stitch_scans(scan_1, scan_2, 500, 520, 1.0)
        k = 5 / 7
        error = (1 - 15 / 7) ** 2 + (2 - 10 / 7) ** 2 + (3 - 5 / 7) ** 2
        average = (0.5 * (1 + 15 / 7) + 0.5 * (2 + 10 / 7) + 0.5 * (3 + 5 / 7)) / 3
        assert r.success is True
        assert r.n == 3
        assert r.k == pytest.approx(k, rel=1e-15)
        assert r.error == pytest.approx(error, rel=1e-14)
        assert r.average == pytest.approx(average, rel=1e-15)
        assert r.percent_error_rms == pytest.approx(math.sqrt(error) / 3 / average, rel=1e-14)
        point = 500 + 20 / 3
        assert_solved(r.stitch_point, point)
        keys, values = r.stitch_scan.to_lists()
        assert keys[:3] == [480, 490, 500] and keys[4:] == [510, 520, 530]
        assert keys[3] == r.stitch_point
        assert values[:3] == [5, 5, 1]
        assert values[3] == pytest.approx(1 + (r.stitch_point - 500) / 10, rel=1e-15)
        assert values[4:] == pytest.approx([k * 2, k * 1, k * 0.5], rel=1e-15)

    def test_agreement_within_a_few_ulp_is_a_crossing(self):
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 2, 2, 2])
        two_ulp_up = math.nextafter(math.nextafter(2.0, 3.0), 3.0)
        r = utils.stitch_scans(scan_1, linear([500, 510, 520], [two_ulp_up, 2, 2]), 500, 520, 1e-3)
        assert r.stitch_point == 500
        # Off by 1e-9 at 500 instead: k = 1 - 1e-9/6 to first order, k s2 - s1 is 2e-9/3 at 500
        # and -2e-9/6 at 510, so the lines cross at 2/3 of the way.
        r = utils.stitch_scans(scan_1, linear([500, 510, 520], [2 + 1e-9, 2, 2]), 500, 520, 1e-3)
        assert_solved(r.stitch_point, 500 + 20 / 3)

    def test_no_crossing(self):
        # s2 = 1, -1 against s1 = 1, 1: k = 0 and s1 stays above k s2 everywhere. error = 2,
        # average = 0.5, percent_error_rms = sqrt(2) / 2 / 0.5.
        with pytest.raises(IndexError, match="^failed to bracket the root$"):
            utils.stitch_scans(linear([500, 510], [1, 1]), linear([500, 510], [1, -1]), 500, 510, 10.0)
        r = utils.stitch_scans(linear([500, 510], [1, 1]), linear([500, 510], [1, -1]), 500, 510, 1.0)
        assert (r.success, r.k, r.error, r.average) == (False, 0.0, 2.0, 0.5)
        assert r.percent_error_rms == pytest.approx(math.sqrt(2), rel=1e-15)

    def test_single_key_overlap(self):
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [1, 1, 1, 1])
        r = utils.stitch_scans(scan_1, scan_2, 510, 510, 1e-3)
        assert (r.success, r.n, r.k, r.error, r.average, r.stitch_point) == (True, 1, 2.0, 0.0, 2.0, 510)

    @pytest.mark.parametrize(
        "scan_1, scan_2, min_wl, max_wl, error, message",
        [
            (Scan(), Scan(), 520, 500, IndexError, "^domain error, max_wl < min_wl$"),
            (linear([500, 510, 520], [1, 2, 3]), Scan(), 520, 500, IndexError, "^domain error, max_wl < min_wl$"),
            (Scan(), Scan(), 500, 520, IndexError, "^scan_1 must contain keys min_wl and max_wl$"),
            (linear([500, 510, 520], [1, 2, 3]), Scan(), 505, 520, IndexError,
             "^scan_1 must contain keys min_wl and max_wl$"),
            (linear([500, 510, 520], [1, 2, 3]), Scan(), 500, 515, IndexError,
             "^scan_1 must contain keys min_wl and max_wl$"),
            (linear([500, 510, 520], [1, 2, 3]), Scan(), 500, 520, RuntimeError,
             "^Scan::min_wavelength: empty scan$"),
            (linear([500, 510, 520], [1, 2, 3]), linear([505, 530], [1, 1]), 500, 520, IndexError,
             r"^scan_2 must be defined over the domain \[min_wl, max_wl\]$"),
            (linear([500, 510, 520], [1, 2, 3]), linear([490, 515], [1, 1]), 500, 520, IndexError,
             r"^scan_2 must be defined over the domain \[min_wl, max_wl\]$"),
            (linear([500, 510, 520], [1, 2, 3]), linear([490, 530], [0, 0]), 500, 520, ValueError,
             r"^Division by zero\. scan_2\(wl\) is zero across \[min_wl, max_wl\]$"),
        ],
    )
    def test_refused_arguments(self, scan_1, scan_2, min_wl, max_wl, error, message):
        with pytest.raises(error, match=message):
            utils.stitch_scans(scan_1, scan_2, min_wl, max_wl, 1.0)

    def test_inputs_are_not_changed(self):
        scan_1 = linear([480, 490, 500, 510, 520], [5, 5, 1, 2, 3])
        scan_2 = linear([500, 510, 520, 530], [3, 2, 1, 0.5], epsilon=0.25)
        utils.stitch_scans(scan_1, scan_2, 500, 520, 1.0)
        assert scan_1.to_lists() == [[480, 490, 500, 510, 520], [5, 5, 1, 2, 3]]
        assert scan_2.to_lists() == [[500, 510, 520, 530], [3, 2, 1, 0.5]]
        assert (scan_2.epsilon, scan_2.interpolation) == (0.25, core.LINEAR)

    def test_keywords_and_types(self):
        scan_1 = linear([500, 510, 520], [1, 2, 3])
        r = utils.stitch_scans(scan_1=scan_1, scan_2=scan_1, min_wl=500, max_wl=520, target_error=1e-3)
        assert (r.success, r.k, r.stitch_point) == (True, 1.0, 500)
        with pytest.raises(TypeError):
            utils.stitch_scans([1, 2, 3], scan_1, 500, 520, 1e-3)
        with pytest.raises(TypeError):
            utils.stitch_scans(scan_1, scan_1, "500", 520, 1e-3)
        with pytest.raises(TypeError):
            utils.stitch_scans(scan_1, scan_1, 500, 520)


class TestLogarithms:
    def test_log10_keeps_keys_epsilon_and_kind(self):
        s = Scan([400, 410, 420, 430, 440, 450], [1, 10, 100, 0, -1, 2], epsilon=0.5, interpolation=core.CUBIC)
        out = utils.log10(s)
        assert out.wavelengths() == [400, 410, 420, 430, 440, 450]
        assert_same_floats(out.values(), [0, 1, 2, -inf, nan, math.log10(2)])
        assert (out.epsilon, out.interpolation) == (0.5, core.CUBIC)
        assert s.values()[:3] == [1, 10, 100]

    def test_natural_log(self):
        s = Scan([400, 410, 420, 430, 440], [1, math.e, math.exp(-2), 0, -3], interpolation=core.LINEAR)
        out = utils.log(s)
        assert_same_floats(out.values(), [0, 1, -2, -inf, nan])
        assert (out.wavelengths(), out.epsilon, out.interpolation) == ([400, 410, 420, 430, 440], 1e-20, core.LINEAR)
        assert utils.log(Scan()).to_lists() == [[], []]

    def test_float_base_agrees_with_log10(self):
        s = Scan([400, 410, 420, 430, 440, 450], [0.3, 7, 1e5, 0, -2, 1], epsilon=0.25, interpolation=core.NONE)
        by_base, direct = utils.log(s, 10.0), utils.log10(s)
        assert by_base.wavelengths() == direct.wavelengths()
        assert_same_floats(by_base.values(), direct.values())
        assert (by_base.epsilon, by_base.interpolation) == (0.25, core.NONE)

    def test_int_base_takes_the_float_overload(self):
        s = linear([400, 410, 420], [8, 4, 0.5])
        assert_same_floats(utils.log(s, 2).values(), [3, 2, -1])
        assert utils.log(s, 2).to_lists() == utils.log(s, 2.0).to_lists()

    def test_base_one_gives_infinities(self):
        # ln v / ln 1 = ln v / +0.0
        s = linear([400, 410, 420, 430, 440], [8, 1, 0.5, 0, -1])
        assert_same_floats(utils.log(s, 1.0).values(), [inf, nan, -inf, -inf, nan])

    def test_scan_base_divides_the_two_logarithms(self):
        # ln s = 2, 4, 6; ln base = 1, 3 at 400 and 420, linear in between: 2 at 410. The log
        # of the base is interpolated, not the base (ln((e + e³)/2) would be about 2.43).
        s = linear([400, 410, 420], [math.exp(2), math.exp(4), math.exp(6)])
        base = linear([400, 420], [math.e, math.exp(3)])
        out = utils.log(s, base)
        assert out.wavelengths() == [400, 410, 420]
        assert out.values() == pytest.approx([2, 2, 2], rel=1e-15)
        assert out.interpolation == core.LINEAR

    def test_scan_base_over_a_shorter_range(self):
        s = linear([400, 410, 420, 430], [100, 1000, 10, 1])
        base = linear([410, 420], [10, 10])
        out = utils.log(s, base)
        assert out.wavelengths() == [410, 420]
        assert out.values() == pytest.approx([3, 1], rel=1e-15)

    def test_number_with_scan_base(self):
        base = Scan([400, 410, 420, 430, 440], [1, math.e, 10, 0.5, 0], epsilon=0.5, interpolation=core.POLYNOMIAL)
        out = utils.log(100.0, base)
        assert_same_floats(out.values(), [inf, math.log(100), 2, math.log(100) / math.log(0.5), -0.0])
        assert math.copysign(1, out.values()[4]) == -1  # ln 100 / -inf
        assert (out.wavelengths(), out.epsilon, out.interpolation) == ([400, 410, 420, 430, 440], 0.5, core.POLYNOMIAL)
        assert_same_floats(utils.log(0.5, base).values()[:1], [-inf])
        assert_same_floats(utils.log(1, base).values()[:3], [nan, 0, 0])

    def test_keywords(self):
        s = linear([400, 410], [100, 1000])
        assert utils.log10(scan=s).values() == pytest.approx([2, 3], rel=1e-15)
        assert utils.log(scan=s).values() == pytest.approx([math.log(100), math.log(1000)], rel=1e-15)
        assert utils.log(scan=s, base=10.0).values() == pytest.approx([2, 3], rel=1e-15)
        assert utils.log(scan=s, base=linear([400, 410], [10, 10])).values() == pytest.approx([2, 3], rel=1e-15)
        assert utils.log(x=100.0, base=s).values() == pytest.approx([1, 2 / 3], rel=1e-15)

    @pytest.mark.parametrize(
        "call",
        [
            lambda s: utils.log10(1.0),
            lambda s: utils.log10([1.0, 2.0]),
            lambda s: utils.log("s"),
            lambda s: utils.log(s, "2"),
            lambda s: utils.log(1.0, 2.0),
            lambda s: utils.log(s, s, s),
            lambda s: utils.log(x=s, base=2.0),
        ],
    )
    def test_wrong_types(self, call):
        with pytest.raises(TypeError):
            call(linear([400, 410], [1, 2]))


class TestTransform:
    def test_applies_to_key_and_value(self):
        s = Scan([400, 410, 420], [1, 2, 3], epsilon=0.5, interpolation=core.CUBIC)
        out = utils.transform(s, lambda k, v: k * v)
        assert out.to_lists() == [[400, 410, 420], [400, 820, 1260]]
        assert (out.epsilon, out.interpolation) == (0.5, core.CUBIC)
        assert s.to_lists() == [[400, 410, 420], [1, 2, 3]]

    def test_integers_are_numbers(self):
        assert utils.transform(linear([400, 410], [1.5, 2.5]), lambda k, v: 7).values() == [7.0, 7.0]

    def test_empty_scan_never_calls(self):
        calls = []
        out = utils.transform(Scan(), lambda k, v: calls.append(k))
        assert out.to_lists() == [[], []]
        assert calls == []

    def test_exception_propagates_unchanged(self):
        class Stop(Exception):
            pass

        error = Stop("at 410")
        seen = []

        def operation(k, v):
            seen.append(k)
            if k == 410:
                raise error
            return v

        s = linear([400, 410, 420], [1, 2, 3])
        with pytest.raises(Stop) as excinfo:
            utils.transform(s, operation)
        assert excinfo.value is error
        assert seen == [400, 410]
        assert s.values() == [1, 2, 3]

    @pytest.mark.parametrize("result", ["1.0", None, [1.0]])
    def test_result_that_is_not_a_number(self, result):
        with pytest.raises(RuntimeError, match="^Unable to cast Python instance"):
            utils.transform(linear([400, 410], [1, 2]), lambda k, v: result)

    def test_callable_with_the_wrong_arity(self):
        with pytest.raises(TypeError, match="positional argument"):
            utils.transform(linear([400, 410], [1, 2]), lambda v: v)

    def test_keywords_and_types(self):
        s = linear([400, 410], [1, 2])
        assert utils.transform(scan=s, binary_operation=lambda k, v: v - k).values() == [-399, -408]
        with pytest.raises(TypeError):
            utils.transform(s, 3.0)
        with pytest.raises(TypeError):
            utils.transform([1, 2], lambda k, v: v)


class TestF1Prime:
    def test_y_bar_itself_is_a_perfect_match(self):
        assert colorimetry.f1_prime(y_bar) == 0.0

    @pytest.mark.parametrize("factor", [3.7, 0.01, 250.0])
    def test_positive_multiples_of_y_bar(self, factor):
        assert abs(colorimetry.f1_prime(y_bar * factor)) <= 1e-12

    def test_tilted_response_against_the_definition(self):
        # s(λ) = ȳ(λ)(1 + 0.3 (λ - 580) / 200), linear between the 5 nm keys of ȳ. With k the
        # ratio of the illuminant A responses, f1' = ∫|k s - ȳ| / ∫ȳ over 380-780 nm, where
        # |k s - ȳ| is linear between the keys, so its integral is the trapezoid sum.
        keys, values = y_bar.to_lists()
        tilted = [v * (1 + 0.3 * (w - 580) / 200) for w, v in zip(keys, values)]
        s = linear(keys, tilted)
        k = (illuminant_a * y_bar)(380, 780) / (illuminant_a * s)(380, 780)
        deviation = [abs(k * t - v) for t, v in zip(tilted, values)]
        area = sum(0.5 * (keys[i + 1] - keys[i]) * (deviation[i] + deviation[i + 1]) for i in range(len(keys) - 1))
        expected = area / y_bar(380, 780)
        assert expected > 0.01
        assert colorimetry.f1_prime(s) == pytest.approx(expected, rel=1e-12)
        assert colorimetry.f1_prime(s * 5.0) == pytest.approx(expected, rel=1e-12)

    def test_partial_band_is_accepted(self):
        keys, values = y_bar.to_lists()
        part = Scan([w for w in keys if w <= 580], [v for w, v in zip(keys, values) if w <= 580])
        result = colorimetry.f1_prime(part)
        assert math.isfinite(result) and result > 0

    @pytest.mark.parametrize(
        "scan",
        [
            Scan(),
            Scan([300, 320, 340, 360, 379.5], [1, 1, 1, 1, 1]),
            Scan([780.5, 800, 820, 840, 860], [1, 1, 1, 1, 1]),
        ],
    )
    def test_no_data_in_the_band(self, scan):
        with pytest.raises(ValueError, match="^Input has no data in the range 380 to 780$"):
            colorimetry.f1_prime(scan)

    def test_input_is_not_changed(self):
        keys, values = y_bar.to_lists()
        s = linear(keys, [2 * v + 0.01 for v in values], epsilon=0.25)
        before = s.to_lists()
        colorimetry.f1_prime(s)
        assert s.to_lists() == before
        assert (s.epsilon, s.interpolation) == (0.25, core.LINEAR)
        assert y_bar.to_lists() == [keys, values]

    def test_keywords_and_types(self):
        assert colorimetry.f1_prime(scan=y_bar) == 0.0
        with pytest.raises(TypeError):
            colorimetry.f1_prime([1.0, 2.0])
        with pytest.raises(TypeError):
            colorimetry.f1_prime()


def response(f, lo=-ANGLE_LIMIT, hi=ANGLE_LIMIT, intervals=2000, kind=core.LINEAR):
    """f sampled from lo to hi (both exactly) with 0 exactly among the keys."""
    angles = [lo + (hi - lo) * i / intervals for i in range(intervals + 1)]
    angles[0], angles[-1], angles[intervals // 2] = lo, hi, 0.0
    return Scan(angles, [f(a) for a in angles], interpolation=kind)


# f2 = 1/4 (∫ d0(ε) sin 2|ε| dε + ∫ d1(ε) sin 2|ε| dε) over [-4π/9, 4π/9] with d = |Y(ε) / (Y(0)
# cos ε) - 1|. The weights sin 2|ε| are linear between 100 steps of h = 4π/900 on either side;
# on a step the linear interpolant of sin 2ε misses it by h³ max|f''| / 12 = h³ / 3 in area.
WEIGHT_STEP = ANGLE_LIMIT / 100


class TestF2:
    @pytest.mark.parametrize("kind", [core.LINEAR, core.AKIMA, core.CUBIC])
    def test_cosine_responses(self, kind):
        cosine = response(math.cos, kind=kind)
        assert abs(colorimetry.f2(cosine, cosine)) <= 1e-12

    def test_quadratic_deviation(self):
        # Y = cos ε (1 ± a ε²): d = a ε² at both azimuths, f2 = a ∫0^L ε² sin 2ε dε with
        # ∫ ε² sin 2ε = -ε² cos 2ε / 2 + ε sin 2ε / 2 + cos 2ε / 4.
        a, L = 0.1, ANGLE_LIMIT
        expected = a * (-L * L * math.cos(2 * L) / 2 + L * math.sin(2 * L) / 2 + math.cos(2 * L) / 4 - 0.25)
        above = response(lambda e: math.cos(e) * (1 + a * e * e))
        below = response(lambda e: math.cos(e) * (1 - a * e * e))
        # d ≤ a L², the weights' area error at most 2L h² / 3 per response; the deviation's
        # own sampling (2000 steps) adds far less.
        tolerance = 0.25 * 2 * (a * L * L) * (2 * L) * WEIGHT_STEP**2 / 3
        assert colorimetry.f2(above, below) == pytest.approx(expected, abs=tolerance)

    def test_response_missing_beyond_its_range(self):
        # A cosine known on [-m, m] only: 0 is added at ±4π/9, where d = 1, and d rises linearly
        # from 0 at m to 1 there. Each half contributes ∫m^L (ε - m)/(L - m) sin 2ε dε =
        # -cos 2L / 2 + (sin 2L - sin 2m) / (4 (L - m)); four halves times 1/4.
        m, L = 0.5, ANGLE_LIMIT
        expected = -math.cos(2 * L) / 2 + (math.sin(2 * L) - math.sin(2 * m)) / (4 * (L - m))
        narrow = response(math.cos, -m, m, intervals=100)
        # the weights' error on d ≤ 1 over L - m, plus the product of the two linear pieces,
        # whose second derivative is at most 2 |d'| |w'| = 4 / (L - m), per step h³ / 12 of it
        tolerance = (L - m + 1) * WEIGHT_STEP**2 / 3
        assert colorimetry.f2(narrow, narrow) == pytest.approx(expected, abs=tolerance)
        assert colorimetry.f2(narrow, narrow) > 0
        cosine = response(math.cos)
        assert colorimetry.f2(narrow, cosine) == pytest.approx(expected / 2, abs=tolerance / 2)
        assert colorimetry.f2(cosine, narrow) == pytest.approx(expected / 2, abs=tolerance / 2)

    def test_inputs_are_not_changed(self):
        narrow = response(math.cos, -0.5, 0.5, intervals=10)
        wide = response(lambda e: 2 * math.cos(e), -1.5, 1.5, intervals=30, kind=core.AKIMA)
        before = (narrow.to_lists(), wide.to_lists())
        colorimetry.f2(narrow, wide)
        assert (narrow.to_lists(), wide.to_lists()) == before
        assert (narrow.interpolation, wide.interpolation) == (core.LINEAR, core.AKIMA)

    def test_keywords_and_types(self):
        cosine = response(math.cos)
        assert abs(colorimetry.f2(Y_0=cosine, Y_pi_2=cosine)) <= 1e-12
        with pytest.raises(TypeError):
            colorimetry.f2(cosine, [1.0])
        with pytest.raises(TypeError):
            colorimetry.f2(cosine)


class TestIlluminance:
    def test_one_watt_at_555_nm(self):
        # a 2 nm wide triangle of area 1 W/m² centred on a key of ȳ, where ȳ = 1
        assert y_bar[555] == 1.0
        e = linear([554, 555, 556], [0, 1, 0])
        assert radiometry.illuminance(e) == pytest.approx(683.002, rel=1e-15)
        e = linear([599, 600, 601], [0, 1, 0])
        assert radiometry.illuminance(e) == pytest.approx(683.002 * y_bar[600], rel=1e-15)

    def test_flat_irradiance_over_the_band(self):
        flat = Scan([300 + 5 * i for i in range(121)], [1.0] * 121)
        assert radiometry.illuminance(flat) == pytest.approx(683.002 * y_bar(380, 780), rel=1e-12)

    def test_linear_in_the_irradiance(self):
        keys = [300 + 5 * i for i in range(121)]
        e = Scan(keys, [1 + math.sin(k / 40) for k in keys])
        assert radiometry.illuminance(e * 2.0) == pytest.approx(2 * radiometry.illuminance(e), rel=1e-14)

    def test_y_bar_over_the_efficacy_integrates_y_bar_squared(self):
        result = radiometry.illuminance(y_bar / 683.002)
        assert result == pytest.approx((y_bar * y_bar)(380, 780), rel=1e-12)
        assert result == pytest.approx((y_bar * y_bar).integral, rel=1e-12)

    @pytest.mark.parametrize(
        "scan",
        [
            Scan(),
            linear([800, 850, 900], [1, 1, 1]),
            linear([250, 300, 370], [1, 1, 1]),
            Scan([790, 800, 810, 820, 830], [1, 1, 1, 1, 1]),
        ],
    )
    def test_outside_the_band(self, scan):
        assert radiometry.illuminance(scan) == 0.0

    def test_keywords_and_types(self):
        e = linear([554, 555, 556], [0, 1, 0])
        assert radiometry.illuminance(spectral_irradiance=e) == pytest.approx(683.002, rel=1e-15)
        with pytest.raises(TypeError):
            radiometry.illuminance([1.0, 2.0])
        with pytest.raises(TypeError):
            radiometry.illuminance(1.0)
