"""Time Scan against the cost of a bare call, against numpy/scipy equivalents and against floors.

Run with the build directory of the interpreter on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11 /usr/bin/python3 bench/bench_scan.py [--runs 3]

Each figure is the best of several repeats, the library's statement interleaved with its peer's
and its floor's, measured in every run; the summary gives the median ratio over the runs and its
spread. Figures needing numpy or scipy are skipped when they are not installed; the library
figures are then timed on inputs built from lists and array.array. Nothing here asserts on
speed: the script only prints.
"""

import argparse
import array
import math
import sys

import _orvpy_bench
import _orvpy_core
from _orvpy_core import Scan

from benchlib import Figures, best_interleaved, fmt

try:
    import numpy as np
except ImportError:
    np = None

try:
    from scipy.interpolate import Akima1DInterpolator, CubicSpline
except ImportError:
    Akima1DInterpolator = CubicSpline = None

SMALL = 10_000  # points in the scans that are evaluated, multiplied and integrated
LARGE = 1_000_000  # points in the scans that are built


def interleaved_grids(n):
    """Two ascending grids of n keys, b's keys half-way between a's, and smooth values."""
    xa = [400.0 + 0.05 * i for i in range(n)]
    xb = [400.025 + 0.05 * i for i in range(n)]
    ya = [1.0 + 0.5 * math.sin(w / 7.0) for w in xa]
    yb = [1.0 + 0.5 * math.cos(w / 11.0) for w in xb]
    return xa, ya, xb, yb


def union_in_overlap(xa, xb):
    lo, hi = max(xa[0], xb[0]), min(xa[-1], xb[-1])
    return sorted({w for w in xa + xb if lo <= w <= hi})


def figure_call():
    """One call from Python (10,000-point Akima scan, spline already built)."""
    xa, ya, _, _ = interleaved_grids(SMALL)
    s = Scan(xa, ya)
    between = 0.5 * (xa[SMALL // 2] + xa[SMALL // 2 + 1])
    s(between)  # warm-up: builds the spline
    names = {"s": s, "identity": _orvpy_bench.identity, "w": between, "k": xa[SMALL // 2]}

    def measure(figures):
        loop, floor, call, call_key = best_interleaved(
            ["pass", "identity(w)", "s(w)", "s(k)"], repeat=15, number=200_000, globals=names
        )
        print(f"  (timeit loop overhead per iteration, included in every figure here: {fmt(loop)})")
        figures.add("s(w) between keys", call, floor_name="identity(w)", floor=floor, goal=1.5)
        figures.add("s(k) at a stored key", call_key, floor_name="identity(w)", floor=floor, goal=1.5)

    return measure


def figure_build():
    """Building a Scan from 1,000,000 ascending keys."""
    wl = [400.0 + 0.0005 * i for i in range(LARGE)]
    vl = [math.sin(w) for w in wl]
    wa, va = array.array("d", wl), array.array("d", vl)
    if np is None:

        def measure_without_numpy(figures):
            from_lists, from_array = best_interleaved([lambda: Scan(wl, vl), lambda: Scan(wa, va)], repeat=5)
            figures.add("Scan(list, list)", from_lists)
            figures.add("Scan(array.array, array.array)", from_array)

        return measure_without_numpy
    w, v = np.array(wl), np.array(vl)

    def numpy_table():
        if not np.all(np.diff(w) > 0):
            raise ValueError("keys not ascending")
        return np.stack((w, v))

    def numpy_table_from_lists():
        wn, vn = np.asarray(wl, dtype=float), np.asarray(vl, dtype=float)
        if not np.all(np.diff(wn) > 0):
            raise ValueError("keys not ascending")
        return np.stack((wn, vn))

    # Interleaved, so that all see the allocator in the same state: the first multi-megabyte
    # blocks of a process come fresh from the kernel, one page fault per 4 KiB, and this machine's
    # faults are slow enough to dominate whichever side happens to run first.
    names = {"Scan": Scan, "w": w, "v": v, "numpy_table": numpy_table}

    def measure(figures):
        from_numpy, peer, floor = best_interleaved(
            ["Scan(w, v)", "numpy_table()", "(w.copy(), v.copy())"], repeat=9, globals=names
        )
        from_lists, peer_lists, from_array = best_interleaved(
            [lambda: Scan(wl, vl), numpy_table_from_lists, lambda: Scan(wa, va)], repeat=3
        )
        figures.add(
            "Scan(ndarray, ndarray)", from_numpy, "diff check + stack", peer, "a copy of both arrays", floor, goal=1.2
        )
        figures.add(
            "Scan(list, list)", from_lists, "asarray + diff check + stack", peer_lists, goal=1.0, goal_of="peer"
        )
        figures.add("Scan(array.array, array.array)", from_array, floor_name="a copy of both arrays", floor=floor)

    return measure


def figure_product():
    """a * b for two 10,000-point Akima scans on interleaved grids."""
    xa, ya, xb, yb = interleaved_grids(SMALL)
    if np is not None:
        xa, ya, xb, yb = (np.array(c) for c in (xa, ya, xb, yb))
    else:
        xa, ya, xb, yb = (array.array("d", c) for c in (xa, ya, xb, yb))
    a, b = Scan(xa, ya), Scan(xb, yb)
    a * b  # warm-up: builds both splines
    names = {"Scan": Scan, "xa": xa, "ya": ya, "xb": xb, "yb": yb, "a": a, "b": b}
    if np is None or Akima1DInterpolator is None:

        def measure_without_peers(figures):
            # From the arrays: both scans are built and both splines computed inside the timing.
            fresh, built = best_interleaved(["Scan(xa, ya) * Scan(xb, yb)", "a * b"], repeat=9, number=5, globals=names)
            figures.add("a * b (Akima), from the arrays", fresh)
            figures.add("a * b (Akima), splines built", built)

        return measure_without_peers

    x = np.array(union_in_overlap(list(xa), list(xb)))  # computed once, outside the timed region
    fa, fb = Akima1DInterpolator(xa, ya), Akima1DInterpolator(xb, yb)
    names.update({"A": Akima1DInterpolator, "C": CubicSpline, "np": np, "x": x, "fa": fa, "fb": fb})
    p = a * b
    difference = np.max(np.abs(np.array(p.wavelengths()) - x))
    difference = max(difference, np.max(np.abs(np.array(p.values()) - fa(x) * fb(x))))
    print(
        f"  (a * b: same keys and values as scipy Akima: max abs difference {difference:.3g}; "
        f"peers get the union of keys precomputed)"
    )
    al = Scan(xa, ya, interpolation=_orvpy_core.LINEAR)
    bl = Scan(xb, yb, interpolation=_orvpy_core.LINEAR)
    names.update({"al": al, "bl": bl})

    def measure(figures):
        fresh, akima, built, akima_built, cubic = best_interleaved(
            [
                "Scan(xa, ya) * Scan(xb, yb)",
                "A(xa, ya)(x) * A(xb, yb)(x)",
                "a * b",
                "fa(x) * fb(x)",
                "C(xa, ya)(x) * C(xb, yb)(x)",
            ],
            repeat=9,
            number=5,
            globals=names,
        )
        linear_product, linear = best_interleaved(
            ["al * bl", "np.interp(x, xa, ya) * np.interp(x, xb, yb)"], repeat=9, number=5, globals=names
        )
        figures.add(
            "a * b (Akima), from the arrays", fresh, "scipy Akima, from the arrays", akima, goal=1.0, goal_of="peer"
        )
        figures.add("a * b (Akima), splines built", built, "scipy Akima, built", akima_built, goal=1.0, goal_of="peer")
        figures.add("a * b (Akima), reference", fresh, "scipy CubicSpline, from the arrays", cubic)
        figures.add("a * b (LINEAR scans), reference", linear_product, "np.interp (linear)", linear)

    return measure


def figure_evaluate_integrate():
    """Evaluating at 10,000 points and integrating a 10,000-point Akima scan. (A Python loop over
    s(w) pays one Python call per point and is expected to be slower than one vectorised call.)"""
    xa, ya, _, _ = interleaved_grids(SMALL)
    s = Scan(xa, ya)
    lo, hi = xa[0], xa[-1]
    points = [lo + (hi - lo) * (i + 0.5) / SMALL for i in range(SMALL)]
    s(points[0])  # warm-up: builds the spline
    names = {
        "s": s,
        "Scan": Scan,
        "xa": xa,
        "ya": ya,
        "points": points,
        "short": (xa[5000], xa[5001]),
        "long": (xa[5], xa[9995]),
    }

    if np is None or Akima1DInterpolator is None:

        def measure_without_peers(figures):
            loop, integral = best_interleaved(["[s(w) for w in points]", "s.integral"], repeat=7, globals=names)
            figures.add("[s(w) for w in points]", loop)
            figures.add("s.integral (spline built)", integral)

        return measure_without_peers

    x, y, pts = np.array(xa), np.array(ya), np.array(points)
    spline = Akima1DInterpolator(x, y)
    antiderivative = spline.antiderivative()
    rng = np.random.default_rng(5)
    bounds_lo, bounds_hi = rng.uniform(lo, hi, SMALL), rng.uniform(lo, hi, SMALL)
    values_difference = np.max(np.abs(np.array([s(w) for w in points]) - spline(pts)))
    integral_difference = np.max(
        np.abs(
            s(bounds_lo, bounds_hi)
            - np.array(
                [spline.integrate(a, b) if a <= b else -spline.integrate(b, a) for a, b in zip(bounds_lo, bounds_hi)]
            )
            * np.sign(bounds_hi - bounds_lo)
        )
    )
    print(f"  (agreement with scipy Akima: values {values_difference:.3g}, 10,000 integrals {integral_difference:.3g})")
    names.update(
        {
            "x": x,
            "y": y,
            "pts": pts,
            "shuffled": rng.permutation(pts),
            "spline": spline,
            "A": Akima1DInterpolator,
            "F": antiderivative,
            "blo": bounds_lo,
            "bhi": bounds_hi,
            "lo": lo,
            "hi": hi,
        }
    )

    def measure(figures):
        loop, build_and_evaluate, evaluate = best_interleaved(
            ["[s(w) for w in points]", "A(x, y)(pts)", "spline(pts)"], repeat=7, number=3, globals=names
        )
        vectorised, vectorised_shuffled, evaluate_shuffled = best_interleaved(
            ["s(pts)", "s(shuffled)", "spline(shuffled)"], repeat=9, number=10, globals=names
        )
        integrals, antiderivative_peer = best_interleaved(
            ["s(blo, bhi)", "abs(F(bhi) - F(blo))"], repeat=9, number=5, globals=names
        )
        short, long, whole, scipy_integral = best_interleaved(
            ["s(*short)", "s(*long)", "s.integral", "spline.integrate(lo, hi)"], repeat=9, number=2000, globals=names
        )
        first_integral, scipy_first = best_interleaved(
            ["Scan(xa, ya).integral", "A(x, y).integrate(lo, hi)"], repeat=15, globals=names
        )
        figures.add("[s(w) for w in points]", loop, "A(x, y)(pts)", build_and_evaluate)
        figures.add("[s(w) for w in points], reference", loop, "prebuilt spline(pts)", evaluate)
        figures.add("s(pts), pts sorted", vectorised, "prebuilt spline(pts)", evaluate, goal=0.5, goal_of="peer")
        figures.add(
            "s(pts), pts shuffled",
            vectorised_shuffled,
            "prebuilt spline(shuffled)",
            evaluate_shuffled,
            goal=1.0,
            goal_of="peer",
        )
        figures.add(
            "s(lo, hi), 10,000 bound pairs",
            integrals,
            "scipy F(hi) - F(lo)",
            antiderivative_peer,
            "scipy F(hi) - F(lo)",
            antiderivative_peer,
            goal=1.5,
        )
        figures.add(
            "s(lo, hi) over 9,990 intervals", long, floor_name="s(lo, hi) in one interval", floor=short, goal=1.2
        )
        figures.add("s.integral (spline built)", whole, "spline.integrate(a, b)", scipy_integral)
        figures.add("fresh scan: its first integral", first_integral, "A(x, y).integrate(a, b)", scipy_first)

    return measure


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="how many times every figure is measured")
    runs = parser.parse_args().runs
    print(
        f"Python {sys.version.split()[0]}; "
        f"numpy {np.__version__ if np else 'not available'}; "
        f"scipy {'available' if Akima1DInterpolator else 'not available'}"
    )
    sections = [
        (f.__doc__.split("\n")[0].rstrip(), f())
        for f in (figure_call, figure_build, figure_product, figure_evaluate_integrate)
    ]
    figures = Figures()
    for run in range(runs):
        print(f"\nRun {run + 1} of {runs}")
        for title, measure in sections:
            print(f" {title}")
            measure(figures)
    figures.summary()


if __name__ == "__main__":
    main()
