"""The Python Scan class: construction, properties, lookup, text forms, iteration, numpy."""

import array
import gc

import pytest

import _orvpy_core as core
from _orvpy_core import Scan

nan = float("nan")


def linear(w, v, **kwargs):
    return Scan(w, v, interpolation=core.LINEAR, **kwargs)


class TestConstruction:
    def test_empty_scan_with_defaults(self):
        s = Scan()
        assert s.epsilon == 1e-20
        assert s.interpolation == core.AKIMA
        assert s.wavelengths() == []

    def test_keyword_names_and_defaults(self):
        s = Scan(epsilon=0.5, interpolation=core.CUBIC)
        assert (s.epsilon, s.interpolation) == (0.5, core.CUBIC)
        s = Scan(wavelength_array=[410, 400], value_array=[2, 1], epsilon=0.25, interpolation=core.NONE)
        assert s.to_lists() == [[400.0, 410.0], [1.0, 2.0]]
        assert (s.epsilon, s.interpolation) == (0.25, core.NONE)
        assert Scan([400], [1]).interpolation == core.AKIMA
        assert Scan(1, core.LINEAR).epsilon == 1.0

    @pytest.mark.parametrize(
        "make",
        [
            list,
            tuple,
            lambda xs: array.array("d", xs),
            lambda xs: memoryview(array.array("d", xs)),
            lambda xs: array.array("f", xs),
            lambda xs: array.array("i", [int(x) for x in xs]),
        ],
    )
    def test_any_sequence_of_numbers(self, make):
        w = [400, 405, 410, 415, 420]
        v = [1, 2, 3, 4, 5]
        s = Scan(make(w), make(v))
        assert s.wavelengths() == w
        assert s.values() == v

    def test_strided_float64_buffer(self):
        block = array.array("d", [400, -1, 405, -1, 410, -1])
        s = Scan(memoryview(block)[::2], memoryview(block)[1::2])
        assert s.to_lists() == [[400, 405, 410], [-1, -1, -1]]

    @pytest.mark.parametrize("bad", ["abc", b"abc", 3.0, None, (x for x in [1.0])])
    def test_non_sequences_are_refused(self, bad):
        with pytest.raises(TypeError):
            Scan(bad, [1.0, 2.0, 3.0])

    def test_lengths_must_match(self):
        with pytest.raises(RuntimeError, match="^Scan::Scan: wavelength and signal must be the same size$"):
            Scan([400, 405], [1])

    def test_later_duplicate_replaces_the_value(self):
        s = Scan([400, 400], [1, 2])
        assert s.to_lists() == [[400], [2]]

    def test_nan_wavelength_is_refused(self):
        with pytest.raises(ValueError, match="NaN"):
            Scan([400, nan], [1, 2])

    @pytest.mark.parametrize("epsilon", [-1e-3, nan])
    def test_invalid_epsilon_is_refused(self, epsilon):
        with pytest.raises(ValueError, match="epsilon"):
            Scan(epsilon)
        with pytest.raises(ValueError, match="epsilon"):
            Scan([400], [1], epsilon)


class TestProperties:
    def test_interpolation_is_writable(self):
        s = Scan([400, 410], [1, 2], interpolation=core.NONE)
        s.interpolation = core.LINEAR
        assert s.interpolation == core.LINEAR
        assert s(405) == 1.5
        assert s.is_interpolated()
        s.interpolation = core.NONE
        assert not s.is_interpolated()

    def test_setting_epsilon_rekeys(self):
        s = linear([400, 400.4, 400.8], [1, 2, 3])
        s.epsilon = 0.5
        assert s.epsilon == 0.5
        assert s.to_lists() == [[400, 400.8], [1, 3]]

    @pytest.mark.parametrize("epsilon", [-0.5, nan])
    def test_setting_an_invalid_epsilon_changes_nothing(self, epsilon):
        s = linear([400, 400.4], [1, 2])
        with pytest.raises(ValueError, match="epsilon"):
            s.epsilon = epsilon
        assert s.epsilon == 1e-20
        assert s.to_lists() == [[400, 400.4], [1, 2]]

    def test_x_holds_the_wavelengths_as_values(self):
        s = Scan([400, 410], [1, 2], 0.5, core.CUBIC)
        x = s.x
        assert x.to_lists() == [[400, 410], [400, 410]]
        assert (x.epsilon, x.interpolation) == (0.5, core.CUBIC)
        assert Scan.x.__doc__ == "Returns Scan(self.wavelengths(), self.wavelengths())"

    def test_integral_over_the_whole_range(self):
        assert linear([400, 410, 420], [1, 2, 0]).integral == 25.0
        assert linear([500], [3]).integral == 0.0
        assert Scan().integral == 0.0
        assert Scan.integral.__doc__ == "Returns the integral of the Scan over the entire wavelength domain"


class TestLookup:
    def test_getitem_returns_stored_values_only(self):
        s = linear([400, 410], [1, 2])
        assert s[400] == 1.0
        assert s[410.0] == 2.0
        with pytest.raises(KeyError) as excinfo:
            s[401]
        assert excinfo.value.args == ("key '401.000000' does not exist",)
        with pytest.raises(KeyError) as excinfo:
            s[nan]
        assert excinfo.value.args == ("key 'nan' does not exist",)

    def test_getitem_matches_within_epsilon(self):
        s = Scan([400], [7], epsilon=0.5)
        assert s[400.5] == 7.0
        with pytest.raises(KeyError):
            s[400.6]

    def test_setitem_and_add_insert_or_assign(self):
        s = Scan(epsilon=0.5)
        s[400] = 1
        s.add(410, 2)
        s.add(wavelength=405, value=3)
        s[400.3] = 7
        assert s.to_lists() == [[400, 405, 410], [7, 3, 2]]
        assert "Add a wavelength, value point to the scan." in Scan.add.__doc__

    def test_nan_wavelength_stores_nothing(self):
        s = linear([400], [1])
        with pytest.raises(ValueError, match="NaN"):
            s[nan] = 2
        with pytest.raises(ValueError, match="NaN"):
            s.add(nan, 2)
        assert s.to_lists() == [[400], [1]]

    def test_call_evaluates_with_one_argument_and_integrates_with_two(self):
        s = linear([400, 410], [1, 2])
        assert s(405) == 1.5
        assert s(405.0) == 1.5
        assert s(wavelength=402.5) == 1.25
        assert s(399) == 0.0
        assert s(410, 400) == 15.0
        assert s(wavelength_from=390, wavelength_to=405) == 6.25

    def test_subclasses_evaluate_through_their_own_call(self):
        class Shifted(Scan):
            def __call__(self, wavelength):
                return super().__call__(wavelength) + 1

        class Plain(Scan):
            pass

        assert Shifted([400, 410], [1, 2], interpolation=core.LINEAR)(405.0) == 2.5
        plain = Plain([400, 410], [1, 2], interpolation=core.LINEAR)
        assert (plain(405.0), plain(400, 410)) == (1.5, 15.0)

    def test_call_errors_of_short_and_table_scans(self):
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline, too few points$"):
            Scan([400, 405, 410, 415], [1, 2, 3, 4])(402)
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline, too few points$"):
            Scan([500], [1])(400, 600)
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            Scan([400, 410], [1, 2], interpolation=core.NONE)(500, 600)

    def test_bounds(self):
        s = linear([410, 400], [1, 2])
        assert (s.min_wavelength(), s.max_wavelength()) == (400, 410)
        with pytest.raises(RuntimeError, match="^Scan::min_wavelength: empty scan$"):
            Scan().min_wavelength()
        with pytest.raises(RuntimeError, match="^Scan::max_wavelength: empty scan$"):
            Scan().max_wavelength()


class TestText:
    @pytest.mark.parametrize(
        "scan, text",
        [
            (Scan(), "Scan(empty)"),
            (Scan([400, 405, 410, 415, 420], [1, 2, 3, 4, 5]), "Scan(400→420[5])"),
            (Scan([400, 405, 410, 415, 420], [1, 2, 3, 4, 5], 0.5, core.LINEAR),
             "Scan(400→420[5], epsilon=0.5, interpolation=LINEAR)"),
            (Scan([500], [1]), "Scan(500→500[1])"),
            (Scan(1e-10), "Scan(empty, epsilon=1e-10)"),
            (Scan(interpolation=core.NONE), "Scan(empty, interpolation=NONE)"),
            (Scan([380.123456789, 1234567.0], [0, 0]), "Scan(380.123→1.23457e+06[2])"),
        ],
    )
    def test_repr(self, scan, text):
        assert repr(scan) == text

    def test_str_lists_the_points(self):
        assert str(Scan([400, 405], [1, 2])) == "\n400, 1\n405, 2\n"
        assert str(Scan([400.25], [1.1])) == "\n400.25, 1.1\n"
        assert str(Scan()) == "\n"


class TestIteration:
    def test_iterates_wavelengths_and_items_in_order(self):
        s = Scan([410, 400, 405], [3, 1, 2])
        assert list(s) == [400, 405, 410]
        assert list(s.items()) == [(400, 1), (405, 2), (410, 3)]
        assert list(Scan()) == []

    def test_iterators_keep_the_scan_alive(self):
        s = Scan([400, 405], [1, 2])
        wavelengths, items = iter(s), s.items()
        del s
        gc.collect()
        assert list(wavelengths) == [400, 405]
        assert list(items) == [(400, 1), (405, 2)]

    def test_changes_during_iteration_do_not_reach_the_iterator(self):
        s = Scan([400, 400.4, 400.8, 401.2], [1, 2, 3, 4])
        wavelengths, items = iter(s), s.items()
        assert next(wavelengths) == 400
        assert next(items) == (400, 1)
        s.epsilon = 10  # re-keys the scan down to one point
        for w in range(1000):  # forces the storage to move
            s[1000 + w] = w
        s += Scan([0, 5000], [1, 1], interpolation=core.LINEAR)
        assert list(wavelengths) == [400.4, 400.8, 401.2]
        assert list(items) == [(400.4, 2), (400.8, 3), (401.2, 4)]


class TestLists:
    def test_lists_are_copies(self):
        s = Scan([400, 405], [1, 2])
        lists = s.to_lists()
        lists[0].append(1)
        s.wavelengths().append(1)
        s.values().append(1)
        assert s.to_lists() == [[400, 405], [1, 2]]


class TestNumpy:
    @pytest.fixture(autouse=True)
    def numpy(self):
        return pytest.importorskip("numpy")

    def test_to_numpy_layout(self, numpy):
        s = Scan([410, 400, 405], [3, 1, 2])
        a = s.to_numpy()
        assert a.shape == (2, 3)
        assert a.dtype == numpy.float64
        assert a.flags["C_CONTIGUOUS"]
        assert a.tolist() == [[400, 405, 410], [1, 2, 3]]
        a[1, 0] = 99
        assert s[400] == 1.0
        assert s.to_numpy() is not s.to_numpy()

    def test_empty_scan_gives_two_empty_rows(self, numpy):
        assert Scan().to_numpy().shape == (2, 0)

    @pytest.mark.parametrize("dtype", ["float64", "float32", "int64", ">f8"])
    def test_construction_from_arrays(self, numpy, dtype):
        w = numpy.array([400, 405, 410], dtype=dtype)
        v = numpy.array([1, 2, 3], dtype=dtype)
        assert Scan(w, v).to_lists() == [[400, 405, 410], [1, 2, 3]]

    def test_construction_from_strided_and_2d_arrays(self, numpy):
        a = numpy.arange(12, dtype=numpy.float64).reshape(3, 4)
        s = Scan(a[:, 1], a[:, 2])
        assert s.to_lists() == [[1, 5, 9], [2, 6, 10]]
        with pytest.raises(TypeError):
            Scan(a, a)

    def test_round_trip_through_numpy(self, numpy):
        w = numpy.linspace(380, 780, 401)
        v = numpy.sin(w / 50)
        s = Scan(w, v)
        assert numpy.array_equal(s.to_numpy(), numpy.stack((w, v)))
