"""The Scan class from Python: conversions, keywords, errors, text forms, iteration, numpy and
operators."""

import array
import gc
import sys

import pytest

import orvpy as core
from orvpy import Scan

nan = float("nan")


def linear(w, v, **kwargs):
    return Scan(w, v, interpolation=core.LINEAR, **kwargs)


@pytest.mark.parametrize(
    "make",
    [
        list,
        tuple,
        lambda xs: array.array("d", xs),
        lambda xs: array.array("f", xs),
        lambda xs: array.array("i", xs),
        lambda xs: memoryview(array.array("d", xs)),
        lambda xs: memoryview(array.array("d", [v for x in xs for v in (x, -1)]))[::2],
    ],
)
def test_any_sequence_of_numbers(make):
    assert Scan(make([410, 400, 405]), make([3, 1, 2])).to_lists() == [[400, 405, 410], [1, 2, 3]]


def test_failed_buffer_conversions_release_the_buffer():
    np = pytest.importorskip("numpy")
    huge = np.broadcast_to(1.0, (2**50,))  # 8 PiB: beyond any address space, even with overcommit
    before = sys.getrefcount(huge)
    for _ in range(3):
        with pytest.raises(MemoryError):
            Scan(huge, huge)
    assert sys.getrefcount(huge) == before


def test_other_arguments_are_refused():
    for bad in ["abc", b"abc", 3.0, None, (x for x in [1.0])]:
        with pytest.raises(TypeError):
            Scan(bad, [1.0, 2.0, 3.0])


def test_keywords_defaults_and_properties():
    s = Scan(wavelength_array=[410, 400], value_array=[2, 1], epsilon=0.25, interpolation=core.NONE)
    assert (s.epsilon, s.interpolation, s.is_interpolated(), Scan(epsilon=0.5, interpolation=core.CUBIC).epsilon) == (
        0.25,
        core.NONE,
        False,
        0.5,
    )
    assert (Scan().epsilon, Scan().interpolation) == (1e-20, core.AKIMA)
    s.interpolation = core.LINEAR
    assert (s(405), s(wavelength=402.5), s(wavelength_from=390, wavelength_to=405), s(410, 400)) == (
        1.5,
        1.25,
        6.25,
        15,
    )
    assert (s.x.to_lists(), s.x.epsilon, s.x.interpolation) == ([[400, 410], [400, 410]], 0.25, core.LINEAR)
    assert s.integral == 15.0
    s.add(wavelength=420, value=3)
    s[400.1] = 7  # within epsilon of 400
    assert s.to_lists() == [[400, 410, 420], [7, 2, 3]]
    s.epsilon = 20  # re-keys to the lowest key
    assert (s.epsilon, s.to_lists()) == (20, [[400], [7]])
    s.to_lists()[0].append(1)
    s.wavelengths().append(1)
    assert s.to_lists() == [[400], [7]], "lists are copies"


@pytest.mark.parametrize(
    "call, error, text",
    [
        (lambda: Scan([400, 405], [1]), RuntimeError, "Scan::Scan: wavelength and signal must be the same size"),
        (lambda: Scan([400], [1])[401], KeyError, "key '401.000000' does not exist"),
        (lambda: Scan([400], [1])[nan], KeyError, "key 'nan' does not exist"),
        (lambda: Scan().max_wavelength(), RuntimeError, "Scan::max_wavelength: empty scan"),
        (
            lambda: Scan([400, 410], [1, 2], interpolation=core.NONE)(405),
            RuntimeError,
            "Cannot initialize a spline with type None",
        ),
        (
            lambda: Scan([400, 405, 410, 415], [1, 2, 3, 4])(402.0),
            RuntimeError,
            "Cannot initialize a spline, too few points: AKIMA interpolation needs at least 5 points and this scan "
            "has 4; Interpolation.LINEAR needs 2 (scan.interpolation = Interpolation.LINEAR, or "
            "interpolation=Interpolation.LINEAR when it is made)",
        ),
        (
            lambda: Scan([400], [1], 0.5, core.NONE) + Scan([400.3], [2], interpolation=core.NONE),
            IndexError,
            "no point at wavelength 400 (within the scan's epsilon 1e-20); a scan of kind NONE is not interpolated",
        ),
    ],
)
def test_errors_reach_python_with_their_type_and_text(call, error, text):
    with pytest.raises(error) as info:
        call()
    assert info.value.args == (text,)


def test_nan_and_negative_epsilon_change_nothing():
    s = linear([400, 400.4], [1, 2])
    for change in (
        lambda: Scan([400, nan], [1, 2]),
        lambda: Scan(-1e-3),
        lambda: s.add(nan, 2),
        lambda: s.__setitem__(nan, 2),
        lambda: setattr(s, "epsilon", nan),
    ):
        with pytest.raises(ValueError):
            change()
    assert (s.epsilon, s.to_lists()) == (1e-20, [[400, 400.4], [1, 2]])


@pytest.mark.parametrize(
    "scan, text",
    [
        (Scan(), "Scan(empty)"),
        (Scan([400, 405, 410, 415, 420], [1, 2, 3, 4, 5]), "Scan(400→420[5])"),
        (Scan([400, 420], [1, 5], 0.5, core.LINEAR), "Scan(400→420[2], epsilon=0.5, interpolation=LINEAR)"),
        (Scan(1e-10), "Scan(empty, epsilon=1e-10)"),
        (Scan(interpolation=core.NONE), "Scan(empty, interpolation=NONE)"),
        (Scan([380.123456789, 1234567.0], [0, 0]), "Scan(380.123→1.23457e+06[2])"),
    ],
)
def test_repr(scan, text):
    assert repr(scan) == text


def test_str_lists_the_points():
    assert (str(Scan([400.25, 405], [1.1, 2])), str(Scan())) == ("\n400.25, 1.1\n405, 2\n", "\n")


def test_iterators_walk_a_snapshot_and_keep_the_scan_alive():
    s = Scan([400, 400.4, 400.8, 401.2], [1, 2, 3, 4])
    wavelengths, items = iter(s), s.items()
    assert (next(wavelengths), next(items)) == (400, (400, 1))
    s.epsilon = 10  # re-keys the scan down to one point
    for w in range(1000):  # forces the storage to move
        s[1000 + w] = w
    s += Scan([0, 5000], [1, 1], interpolation=core.LINEAR)
    del s
    gc.collect()
    assert list(wavelengths) == [400.4, 400.8, 401.2]
    assert list(items) == [(400.4, 2), (400.8, 3), (401.2, 4)]


def test_subclasses_evaluate_through_their_own_call():
    class Shifted(Scan):
        def __call__(self, wavelength):
            return super().__call__(wavelength) + 1

    assert Shifted([400, 410], [1, 2], interpolation=core.LINEAR)(405.0) == 2.5


class TestNumpy:
    np = pytest.importorskip("numpy")

    @pytest.mark.parametrize("dtype", ["float64", "float32", "int64", ">f8"])
    def test_arrays_of_any_real_dtype_and_stride_in_and_a_fresh_array_out(self, dtype):
        a = self.np.arange(12, dtype=dtype).reshape(3, 4)
        s = Scan(a[:, 2], a[:, 1])
        out = s.to_numpy()
        assert (out.dtype, out.flags["C_CONTIGUOUS"], out.tolist()) == (self.np.float64, True, [[2, 6, 10], [1, 5, 9]])
        out[1, 0] = 99
        assert s[2] == 1 and Scan().to_numpy().shape == (2, 0)
        with pytest.raises(TypeError):
            Scan(a, a)


VALUES = [0.3, 1.7, -2.9, 1e-7, 123456.789]


@pytest.mark.parametrize(
    "operation, expected",
    [
        (lambda s: s * 0.1, lambda v: v * 0.1),
        (lambda s: 0.1 * s, lambda v: v * 0.1),
        (lambda s: s + 0.1, lambda v: v + 0.1),
        (lambda s: 0.1 + s, lambda v: v + 0.1),
        (lambda s: s - 0.1, lambda v: v - 0.1),
        (lambda s: 0.1 - s, lambda v: 0.1 - v),
        (lambda s: s / 0.1, lambda v: v / 0.1),
        (lambda s: 0.1 / s, lambda v: 0.1 / v),
        (lambda s: s**0.1, lambda v: abs(v) ** 0.1 if v > 0 else nan),
        (lambda s: 0.5**s, lambda v: 0.5**v),
        (lambda s: s.__imul__(0.1), lambda v: v * 0.1),
        (lambda s: s.__itruediv__(0.1), lambda v: v / 0.1),
    ],
)
def test_numbers_are_used_at_full_double_precision(operation, expected):
    result = operation(Scan([400, 405, 410, 415, 420], VALUES, 0.5, core.CUBIC))
    assert str(result.values()) == str([expected(v) for v in VALUES])
    assert (result.wavelengths(), result.epsilon, result.interpolation) == ([400, 405, 410, 415, 420], 0.5, core.CUBIC)


def test_operator_dispatch():
    s = Scan([400, 405, 410, 415, 420], [1, 2, 3, 4, 5])
    a, b = linear([400, 410], [2, 4]), linear([405, 415], [1, 3])
    assert [(a + b).values(), (a - b).values(), (a * b).values(), (a / b).values(), (a**b).values()] == [
        [4, 6],
        [2, 2],
        [3, 8],
        [3, 2],
        [3, 16],
    ]
    for name in ["__add__", "__sub__", "__mul__", "__truediv__", "__iadd__", "__isub__", "__imul__", "__eq__"]:
        assert getattr(s, name)("text") is NotImplemented
    for name in ["__radd__", "__rsub__", "__rmul__", "__rtruediv__", "__pow__", "__rpow__"]:
        with pytest.raises(TypeError, match="incompatible function arguments"):
            getattr(s, name)("text")
    with pytest.raises(TypeError, match="unsupported operand"):
        s * None
    with pytest.raises(TypeError, match="unhashable"):
        hash(s)
    assert (s == 1, s != "text") == (False, True)
    assert linear([400], [1]) == Scan([400], [1], interpolation=core.NONE) != linear([400], [1], epsilon=0.5)


def test_in_place_changes_the_object_and_rebinds_the_name_to_a_copy():
    s = linear([400, 405, 410], [1, 2, 3])
    alias = s
    s *= 2
    assert alias.values() == [2, 4, 6] and s is not alias and s == alias
    s += 1
    assert (alias.values(), s.values()) == ([2, 4, 6], [3, 5, 7])
    with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
        alias -= Scan([400, 410], [10, 10], interpolation=core.NONE)
    assert alias.values() == [2, 4, 6], "a failed operation leaves the scan as it was"
