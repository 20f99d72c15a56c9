"""Lens ratings that do not depend on how the lens was sampled: properties over random grids and
lenses, the standards' summation against an independent sum, and the edges of what is measured."""

import math
import random

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from orvpy import Scan, colorimetry, lens

BANDS = colorimetry.lens_quantity_bands()
MEANS = [name for name in BANDS if "_tau_" in name and name != "ANSI_Z80_3_tau_spectral_min"]
PROPERTY = settings(
    max_examples=25,
    deadline=None,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)


@st.composite
def grids(draw):
    """280-780 nm (give or take a few nm) sampled regularly from 0.1 to 10 nm, or irregularly."""
    start = draw(st.floats(270, 285))
    if draw(st.booleans()):
        step = draw(st.sampled_from([0.1, 0.5, 1.0, 2.0, 5.0, 10.0, 0.37, 3.3]))
        return [start + step * i for i in range(int((790 - start) / step) + 1)]
    steps = draw(st.lists(st.floats(0.05, 12), min_size=1, max_size=40))
    grid = [start]
    while grid[-1] < 785:
        grid.append(grid[-1] + steps[len(grid) % len(steps)])
    return grid


def means(rating):
    return {name: getattr(rating, name) for name in MEANS}


def smooth(edge, width, level):
    """A lens with a logistic UV edge and a slow ripple, between 0 and 1."""
    return lambda nm: level * (0.8 + 0.2 * math.sin(nm / 37.0)) / (1.0 + math.exp(-(nm - edge) / width))


@PROPERTY
@given(grid=grids(), level=st.floats(0, 1), method=st.sampled_from(["integral", "sum"]))
def test_a_flat_lens_gives_its_own_value_on_any_grid(grid, level, method):
    rating = lens.rate(Scan(grid, [level] * len(grid)), method=method)
    assert means(rating) == pytest.approx(dict.fromkeys(MEANS, level), abs=1e-5)
    assert (rating.CIELAB_a_star, rating.CIELAB_b_star) == pytest.approx((0, 0), abs=1e-6) or level == 0
    assert rating.method == method


@PROPERTY
@given(seed=st.integers(0, 2**32 - 1), grid=grids(), method=st.sampled_from(["integral", "sum"]))
def test_every_mean_lies_within_the_values_of_the_lens_in_its_band(seed, grid, method):
    values = [random.Random(seed).random() ** 3 for _ in grid]
    rating = lens.rate(Scan(grid, values), method=method)
    for name, value in means(rating).items():
        lo, hi = BANDS[name]
        # The points in the band and the one on either side of it, between which its ends lie.
        first = max(i for i, w in enumerate(grid) if w <= lo) if grid[0] <= lo else 0
        last = min(i for i, w in enumerate(grid) if w >= hi) if grid[-1] >= hi else len(grid) - 1
        inside = values[first : last + 1]
        assert min(inside) - 1e-5 <= value <= max(inside) + 1e-5, name


@PROPERTY
@given(edge=st.floats(300, 460), width=st.floats(3, 30), level=st.floats(0.05, 1))
def test_a_smooth_lens_rates_the_same_at_5_nm_and_at_1_nm(edge, width, level):
    t = smooth(edge, width, level)
    coarse, fine = ([t(280.0 + step * i) for i in range(int(500 / step) + 1)] for step in (5, 1))
    rated = [
        means(lens.rate(Scan([280.0 + step * i for i in range(len(v))], v))) for step, v in ((5, coarse), (1, fine))
    ]
    assert rated[0] == pytest.approx(rated[1], abs=1e-3)


def test_the_sum_is_the_standards_arithmetic():
    """Sums at the tables' 5 nm wavelengths against numpy over the same tables (all at 5 nm)."""
    np = pytest.importorskip("numpy")
    data = colorimetry.data
    lens_nm = np.arange(280.0, 780.5, 1.0)
    values = np.array([smooth(400.0, 8.0, 0.9)(nm) for nm in lens_nm])
    scan = Scan(lens_nm, values)
    for name, curves, band in [
        ("ISO8980_3_tau_v", (data.cie_1931_standard_observer_y(), data.cie_illuminant_d65()), (380, 780)),
        ("ISO8980_3_tau_suvb", (data.solar_spectral_irradiance(), data.relative_spectral_effectiveness()), (290, 315)),
        ("ISO12311_tau_sb", (data.solar_spectral_irradiance(), data.blue_light_hazard()), (380, 500)),
    ]:
        nodes = np.arange(band[0], band[1] + 1, 5.0)
        weight = np.prod([np.array(c.values())[np.isin(c.wavelengths(), nodes)] for c in curves], axis=0)
        expected = np.sum(values[np.isin(lens_nm, nodes)] * weight) / np.sum(weight)
        assert getattr(colorimetry, name)(scan, method="sum") == pytest.approx(expected, rel=1e-12), name
        assert getattr(lens.rate(scan, method="sum"), name) == pytest.approx(expected, rel=1e-12)
    # The plain UV means sum the lens at 5 nm steps of their bands.
    assert colorimetry.ANSI_Z80_3_tau_uvb(scan, "sum") == pytest.approx(values[0:36:5].mean(), rel=1e-12)
    with pytest.raises(ValueError, match="method must be 'integral' or 'sum', not 'trapezoid'"):
        lens.rate(scan, method="trapezoid")


def test_a_band_measured_within_the_tolerance_is_the_mean_of_what_was_measured():
    flat = Scan([285.0 + 5 * i for i in range(100)], [0.5] * 100)
    rating = lens.rate(flat)
    assert rating.ANSI_Z80_3_tau_uvb == pytest.approx(0.5, abs=1e-12)
    assert "ANSI_Z80_3_tau_uvb: the mean over 285-315 nm, 5 nm short of its band 280-315 nm" in rating.warnings
    assert not any(w.startswith("ISO8980_3_tau_suvb") for w in rating.warnings), "its band starts at 290 nm"


def test_a_rating_reads_the_bands_afresh(monkeypatch):
    # The bands follow the reference curves, which may change between two ratings of a process.
    flat = Scan([280.0 + 5 * i for i in range(101)], [0.5] * 101)
    assert lens.rate(flat).ISO12311_tau_sb == pytest.approx(0.5)
    core = lens._colorimetry
    moved = dict(BANDS, ISO12311_tau_sb=(800.0, 900.0))
    monkeypatch.setattr(core, "lens_quantity_bands", lambda: moved)
    rating = lens.rate(flat, require_coverage=False)
    assert rating.ISO12311_tau_sb is None and "ISO12311_tau_sb needs 800-900 nm" in rating.warnings[0]
    monkeypatch.undo()
    assert lens.rate(flat).ISO12311_tau_sb == pytest.approx(0.5)


@pytest.mark.parametrize("many", [False, True], ids=["rate", "rate_many"])
def test_percent_given_as_a_fraction_is_refused(many):
    if many:
        pytest.importorskip("pandas")

    def tau_v(scan, **options):
        if many:  # second on a shared grid: the first of a grid is also checked one by one
            return lens.rate_many([scan * 0 + 0.5, scan], **options)["ISO8980_3_tau_v"].iloc[1]
        return lens.rate(scan, **options).ISO8980_3_tau_v

    # No fraction exceeds 1.5 (a lens of 1.5 % in percent is the darkest such mistake refused).
    for value, refused in ((15.0, True), (1.6, True), (1.5, False)):
        flat = Scan([280.0 + 5 * i for i in range(101)], [value] * 101)
        if refused:
            with pytest.raises(ValueError, match=rf"the transmittance is {value:g} at 380 nm.*percent=True"):
                tau_v(flat)
        else:
            assert tau_v(flat) == pytest.approx(value, abs=1e-12)
        assert tau_v(flat, percent=True) == pytest.approx(value / 100, abs=1e-12)
    # Noise above 100 % in the UV is no reason to refuse; only the visible band counts.
    assert lens.rate(Scan([280.0 + 5 * i for i in range(101)], [2.0] * 19 + [1.02] * 82)).category == 0
