"""Scan arithmetic from Python: combination rules, number operands, dispatch, in-place forms."""

import math

import pytest

import _orvpy_core as core
from _orvpy_core import Scan

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402


def linear(w, v, **kwargs):
    return Scan(w, v, interpolation=core.LINEAR, **kwargs)


def table(w, v, **kwargs):
    return Scan(w, v, interpolation=core.NONE, **kwargs)


class TestCombiningScans:
    def test_each_table_is_looked_up_with_its_own_epsilon(self):
        a = table([400], [1], epsilon=0.5)
        b = table([400.3], [2])
        with pytest.raises(IndexError, match="^invalid map<K, T> key$"):
            a + b
        assert (b + a).to_lists() == [[400.3], [3]]

    def test_every_operator_combines_over_the_overlap(self):
        a = linear([400, 410], [2, 4])
        b = linear([405, 415], [1, 3])  # b is 2 at 410 and a is 3 at 405
        assert (a + b).to_lists() == [[405, 410], [4, 6]]
        assert (a - b).to_lists() == [[405, 410], [2, 2]]
        assert (a * b).to_lists() == [[405, 410], [3, 8]]
        assert (a / b).to_lists() == [[405, 410], [3, 2]]
        assert (a ** b).to_lists() == [[405, 410], [3, 16]]


class TestNumberOperands:
    values = [0.3, 1.7, -2.9, 1e-7, 123456.789]
    wavelengths = [400, 405, 410, 415, 420]

    def scan(self):
        return Scan(self.wavelengths, self.values, 0.5, core.CUBIC)

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
        ],
    )
    def test_numbers_are_used_at_full_double_precision(self, operation, expected):
        result = operation(self.scan())
        assert result.values() == [expected(v) for v in self.values]
        assert result.wavelengths() == self.wavelengths
        assert (result.epsilon, result.interpolation) == (0.5, core.CUBIC)

    def test_in_place_numbers_are_used_at_full_double_precision(self):
        for apply, expected in [
            (lambda s: s.__imul__(0.1), lambda v: v * 0.1),
            (lambda s: s.__iadd__(0.1), lambda v: v + 0.1),
            (lambda s: s.__isub__(0.1), lambda v: v - 0.1),
            (lambda s: s.__itruediv__(0.1), lambda v: v / 0.1),
        ]:
            s = self.scan()
            apply(s)
            assert s.values() == [expected(v) for v in self.values]

    def test_scan_times_a_tenth_equals_a_tenth_times_scan(self):
        assert self.scan() * 0.1 == 0.1 * self.scan()

    def test_powers(self):
        s = linear([400, 405, 410], [2.0, 3.0, 0.5])
        assert (s ** 0.1).values() == [2.0 ** 0.1, 3.0 ** 0.1, 0.5 ** 0.1]
        assert (10 ** s).values() == [10 ** 2.0, 10 ** 3.0, 10 ** 0.5]
        assert (s ** 2).values() == [4, 9, 0.25]

    def test_integers_and_bools_are_numbers(self):
        s = linear([400, 410], [1, 2])
        assert (s + 1).values() == [2, 3]
        assert (3 - s).values() == [2, 1]
        assert (s * True).values() == [1, 2]

    def test_negation_keeps_keys_epsilon_and_kind(self):
        negated = -Scan([400, 410], [0.0, 2.0], 0.5, core.POLYNOMIAL)
        assert negated.wavelengths() == [400, 410]
        assert math.copysign(1.0, negated.values()[0]) == -1.0
        assert negated.values()[1] == -2.0
        assert (negated.epsilon, negated.interpolation) == (0.5, core.POLYNOMIAL)


class TestDispatch:
    s = Scan([400, 405, 410, 415, 420], [1, 2, 3, 4, 5])

    @pytest.mark.parametrize(
        "name",
        ["__add__", "__sub__", "__mul__", "__truediv__", "__iadd__", "__isub__", "__imul__", "__itruediv__", "__eq__"],
    )
    def test_operators_return_not_implemented_for_other_types(self, name):
        assert getattr(Scan(), name)("text") is NotImplemented
        assert getattr(Scan(), name)([1.0]) is NotImplemented

    def test_python_falls_back_when_no_overload_applies(self):
        with pytest.raises(TypeError, match="unsupported operand"):
            self.s + "text"
        with pytest.raises(TypeError, match="unsupported operand"):
            self.s * None
        assert (self.s == 1) is False
        assert (self.s != "text") is True

    @pytest.mark.parametrize("name", ["__radd__", "__rsub__", "__rmul__", "__rtruediv__", "__pow__", "__rpow__"])
    def test_ordinary_methods_raise_type_error(self, name):
        with pytest.raises(TypeError, match="incompatible function arguments"):
            getattr(self.s, name)("text")

    def test_reflected_operators_of_other_types_raise_type_error(self):
        with pytest.raises(TypeError, match="incompatible function arguments"):
            "text" - self.s
        with pytest.raises(TypeError, match="incompatible function arguments"):
            self.s ** "text"

    def test_scans_are_unhashable(self):
        with pytest.raises(TypeError, match="unhashable"):
            hash(self.s)

    def test_equality_ignores_the_kind_not_the_epsilon(self):
        assert linear([400], [1]) == table([400], [1])
        assert linear([400], [1]) != linear([400], [1], epsilon=0.5)


class TestInPlace:
    def test_changes_the_object_and_rebinds_the_name_to_a_copy(self):
        s = linear([400, 410], [1, 2])
        alias = s
        s *= 2
        assert alias.values() == [2, 4]
        assert s is not alias
        assert s == alias
        s += 1
        assert alias.values() == [2, 4]
        assert s.values() == [3, 5]

    @pytest.mark.parametrize(
        "apply, expected",
        [
            (lambda s, o: s.__iadd__(o), [11, 2, 3]),
            (lambda s, o: s.__isub__(o), [-9, 2, 3]),
            (lambda s, o: s.__imul__(o), [10, 2, 3]),
            (lambda s, o: s.__itruediv__(o), [0.1, 2, 3]),
        ],
    )
    def test_failure_keeps_the_points_already_combined(self, apply, expected):
        s = linear([400, 405, 410], [1, 2, 3])
        with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
            apply(s, table([400, 410], [10, 10]))
        assert s.values() == expected


def insert_or_assign_model(wavelengths, values, epsilon):
    """The scan's key rule written out plainly: a orders before b when a + epsilon < b."""
    keys, stored = [], []
    for w, v in zip(wavelengths, values):
        i = next((j for j, k in enumerate(keys) if not (w > k + epsilon)), len(keys))
        if i < len(keys) and not (keys[i] > w + epsilon):
            stored[i] = v
        else:
            keys.insert(i, w)
            stored.insert(i, v)
    return [keys, stored]


def combined_keys_model(ka, ea, kb, eb):
    """Keys of a product of two interpolated scans, inserted one by one into an epsilon set."""
    e = min(ea, eb)
    keys = []

    def insert_if_absent(k):
        i = next((j for j, m in enumerate(keys) if not (k > m + e)), len(keys))
        if i == len(keys) or keys[i] > k + e:
            keys.insert(i, k)

    for k in kb:
        if k + e >= ka[0] and k <= ka[-1] + e:
            insert_if_absent(k)
    for k in ka:
        if k + e >= kb[0] and k <= kb[-1] + e:
            insert_if_absent(k)
    return keys


grid_wavelengths = st.lists(st.integers(0, 60).map(lambda i: 400 + 0.1 * i), max_size=40)
epsilons = st.sampled_from([0.0, 1e-20, 0.05, 0.15, 0.5, 2.0])


class TestAgainstModels:
    @settings(max_examples=300, deadline=None)
    @given(grid_wavelengths, epsilons)
    def test_construction_and_add_follow_the_key_rule(self, wavelengths, epsilon):
        values = list(range(len(wavelengths)))
        expected = insert_or_assign_model(wavelengths, values, epsilon)
        assert Scan(wavelengths, values, epsilon).to_lists() == expected
        s = Scan(epsilon)
        for w, v in zip(wavelengths, values):
            s[w] = v
        assert s.to_lists() == expected

    @settings(max_examples=300, deadline=None)
    @given(grid_wavelengths, epsilons, grid_wavelengths, epsilons)
    def test_product_keys_follow_the_insertion_rule(self, wa, ea, wb, eb):
        a = linear(wa, [1.0] * len(wa), epsilon=ea)
        b = linear(wb, [1.0] * len(wb), epsilon=eb)
        if len(a.wavelengths()) < 2 or len(b.wavelengths()) < 2:
            return
        expected = combined_keys_model(a.wavelengths(), ea, b.wavelengths(), eb)
        assert (a * b).wavelengths() == expected
