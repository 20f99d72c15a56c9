"""Time Scan against the cost of a bare call and against numpy/scipy equivalents.

Run with the build directory of the interpreter on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11 /usr/bin/python3 bench/bench_scan.py

Every figure is the best (minimum) of several timeit repeats, measured on the
same data in one run. Figures needing numpy or scipy are skipped when they are
not installed; the library figures are then timed on inputs built from lists
and array.array. Nothing here asserts on speed: the script only prints.
"""

import array
import math
import sys
import timeit

import _orvpy_bench
import _orvpy_core
from _orvpy_core import Scan

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

# (figure, library seconds, peer name, peer seconds or None, goal ratio or None)
results = []


def timed(fn, repeat=7, number=1, setup="pass", globals=None):
    """Best per-call time in seconds over `repeat` runs of `number` calls of fn.

    fn and setup may be callables or statement strings (as for timeit); strings
    avoid the cost of a Python-level wrapper when timing very cheap calls.
    """
    timer = timeit.Timer(fn, setup=setup, globals=globals)
    return min(timer.repeat(repeat=repeat, number=number)) / number


def timed_interleaved(stmts, repeat=7, number=1, globals=None):
    """Like timed, for several statements run in turn within each repeat.

    Interleaving keeps slow drifts of the machine from favouring one statement
    over another, which matters when comparing calls that take nanoseconds.
    """
    timers = [timeit.Timer(stmt, globals=globals) for stmt in stmts]
    best = [float("inf")] * len(timers)
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number)
    return best


def fmt(seconds):
    if seconds is None:
        return "n/a"
    if seconds < 1e-6:
        return f"{seconds * 1e9:.1f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.2f} us"
    if seconds < 1.0:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.3f} s"


def ratio_text(lib, peer):
    return "n/a" if peer is None else f"{lib / peer:.2f}x"


def report(figure, lib, peer_name=None, peer=None, goal=None):
    """Print one comparison and keep it for the summary table."""
    line = f"  {figure:<44} {fmt(lib):>10}"
    if peer_name is not None:
        line += f"   vs {peer_name}: {fmt(peer)}   ratio {ratio_text(lib, peer)}"
        if goal is not None:
            line += f"   (goal <= {goal:g}x)"
    print(line)
    results.append((figure, lib, peer_name, peer, goal))


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
    print("\n1. One call from Python (10,000-point Akima scan, spline already built)")
    xa, ya, _, _ = interleaved_grids(SMALL)
    s = Scan(xa, ya)
    between = 0.5 * (xa[SMALL // 2] + xa[SMALL // 2 + 1])
    key = xa[SMALL // 2]
    s(between)  # warm-up: builds the spline
    names = {"s": s, "identity": _orvpy_bench.identity, "w": between, "k": key}
    loop, floor, call, call_key = timed_interleaved(
        ["pass", "identity(w)", "s(w)", "s(k)"], repeat=15, number=200_000, globals=names
    )
    print(f"  (timeit loop overhead per iteration, included in every figure here: {fmt(loop)})")
    report("s(w) between keys", call, "identity(w)", floor, 1.5)
    report("s(k) at a stored key", call_key, "identity(w)", floor, 1.5)


def figure_build():
    print(f"\n2. Building a Scan from {LARGE:,} ascending keys")
    wl = [400.0 + 0.0005 * i for i in range(LARGE)]
    vl = [math.sin(w) for w in wl]
    wa, va = array.array("d", wl), array.array("d", vl)

    from_lists = timed(lambda: Scan(wl, vl), repeat=5)
    from_array = timed(lambda: Scan(wa, va), repeat=5)

    if np is None:
        print("  numpy not available: peers skipped")
        report("Scan(list, list)", from_lists)
        report("Scan(array.array, array.array)", from_array)
        return

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

    # Interleaved, so both see the allocator in the same state: the first multi-megabyte blocks
    # of a process come fresh from the kernel, one page fault per 4 KiB, and this machine's
    # faults are slow enough to dominate whichever side happens to run first.
    names = {"Scan": Scan, "w": w, "v": v, "numpy_table": numpy_table}
    from_numpy, peer = timed_interleaved(["Scan(w, v)", "numpy_table()"], repeat=9, globals=names)
    peer_lists = timed(numpy_table_from_lists, repeat=5)
    report("Scan(ndarray, ndarray)", from_numpy, "diff check + stack", peer, 1.0)
    report("Scan(list, list)", from_lists, "asarray + diff check + stack", peer_lists, 1.0)
    report("Scan(array.array, array.array)", from_array)


def figure_product():
    print("\n3. a * b for two 10,000-point Akima scans on interleaved grids")
    xa, ya, xb, yb = interleaved_grids(SMALL)
    if np is not None:
        xa, ya, xb, yb = (np.array(c) for c in (xa, ya, xb, yb))
    else:
        xa, ya, xb, yb = (array.array("d", c) for c in (xa, ya, xb, yb))
    a, b = Scan(xa, ya), Scan(xb, yb)
    a * b  # warm-up: builds both splines
    names = {"Scan": Scan, "xa": xa, "ya": ya, "xb": xb, "yb": yb, "a": a, "b": b}
    # From the arrays: both scans are built and both splines computed inside the timing.
    fresh = timed("Scan(xa, ya) * Scan(xb, yb)", repeat=9, number=5, globals=names)
    built = timed("a * b", repeat=9, number=5, globals=names)

    if np is None or Akima1DInterpolator is None:
        print("  numpy/scipy not available: peers skipped")
        report("a * b (Akima), from the arrays", fresh)
        report("a * b (Akima), splines built", built)
        return

    x = np.array(union_in_overlap(list(xa), list(xb)))  # computed once, outside the timed region
    fa, fb = Akima1DInterpolator(xa, ya), Akima1DInterpolator(xb, yb)
    peers = {
        "A": Akima1DInterpolator,
        "C": CubicSpline,
        "np": np,
        "x": x,
        "fa": fa,
        "fb": fb,
        "xa": xa,
        "ya": ya,
        "xb": xb,
        "yb": yb,
    }

    p = a * b
    difference = np.max(np.abs(np.array(p.wavelengths()) - x))
    difference = max(difference, np.max(np.abs(np.array(p.values()) - fa(x) * fb(x))))
    print(
        f"  (same keys and values as scipy Akima: max abs difference {difference:.3g}; "
        f"peers get the union of keys precomputed)"
    )

    akima = timed("A(xa, ya)(x) * A(xb, yb)(x)", repeat=9, number=5, globals=peers)
    akima_built = timed("fa(x) * fb(x)", repeat=9, number=5, globals=peers)
    cubic = timed("C(xa, ya)(x) * C(xb, yb)(x)", repeat=9, number=5, globals=peers)
    linear = timed("np.interp(x, xa, ya) * np.interp(x, xb, yb)", repeat=9, number=5, globals=peers)
    report("a * b (Akima), from the arrays", fresh, "scipy Akima1DInterpolator, from the arrays", akima, 1.0)
    report("a * b (Akima), splines built", built, "scipy Akima1DInterpolator, built", akima_built, 1.0)
    report("a * b (Akima), reference", fresh, "scipy CubicSpline, from the arrays", cubic)

    al = Scan(xa, ya, interpolation=_orvpy_core.LINEAR)
    bl = Scan(xb, yb, interpolation=_orvpy_core.LINEAR)
    linear_product = timed(lambda: al * bl, repeat=9, number=5)
    report("a * b (LINEAR scans), reference", linear_product, "np.interp (linear)", linear)


def figure_evaluate_integrate():
    print("\n4. Evaluating at 10,000 points and integrating a 10,000-point Akima scan")
    print("  (informative: a Python loop over s(w) pays one Python call per point and is")
    print("   expected to be slower than one vectorised numpy/scipy call)")
    xa, ya, _, _ = interleaved_grids(SMALL)
    s = Scan(xa, ya)
    lo, hi = xa[0], xa[-1]
    points = [lo + (hi - lo) * (i + 0.5) / SMALL for i in range(SMALL)]
    s(points[0])  # warm-up: builds the spline

    loop = timed(lambda: [s(w) for w in points], repeat=7, number=3)
    integral = timed("s.integral", repeat=7, number=100, globals={"s": s})
    # A fresh scan per repeat (setup runs once per repeat): its first integral builds the spline.
    first_integral = timed(
        "s.integral", setup="s = Scan(xa, ya)", repeat=25, number=1, globals={"Scan": Scan, "xa": xa, "ya": ya}
    )

    if np is None or Akima1DInterpolator is None:
        print("  numpy/scipy not available: peers skipped")
        report("[s(w) for w in points]", loop)
        report("s.integral (spline built)", integral)
        report("fresh scan: first s.integral", first_integral)
        return

    x, y, pts = np.array(xa), np.array(ya), np.array(points)
    spline = Akima1DInterpolator(x, y)
    values_difference = np.max(np.abs(np.array([s(w) for w in points]) - spline(pts)))
    integral_difference = abs(s.integral - spline.integrate(lo, hi))
    print(f"  (agreement with scipy Akima: values {values_difference:.3g}, " f"integral {integral_difference:.3g})")

    shuffled = np.random.default_rng(5).permutation(pts)
    vectorised = timed(lambda: s(pts), repeat=9, number=10)
    vectorised_shuffled = timed(lambda: s(shuffled), repeat=9, number=10)
    build_and_evaluate = timed(lambda: Akima1DInterpolator(x, y)(pts), repeat=7, number=3)
    evaluate = timed(lambda: spline(pts), repeat=7, number=10)
    scipy_integral = timed(lambda: spline.integrate(lo, hi), repeat=7, number=100)
    scipy_first = timed(lambda: Akima1DInterpolator(x, y).integrate(lo, hi), repeat=7, number=10)
    report("[s(w) for w in points]", loop, "Akima1DInterpolator(x, y)(pts)", build_and_evaluate)
    report("[s(w) for w in points]", loop, "prebuilt spline(pts)", evaluate)
    report("s(pts), pts sorted", vectorised, "prebuilt spline(pts)", evaluate, goal=0.5)
    report(
        "s(pts), pts shuffled",
        vectorised_shuffled,
        "prebuilt spline(shuffled)",
        timed(lambda: spline(shuffled), repeat=9, number=10),
        goal=1.0,
    )
    report("s.integral (spline built)", integral, "spline.integrate(a, b)", scipy_integral)
    report("fresh scan: first s.integral", first_integral, "Akima1DInterpolator(x, y).integrate(a, b)", scipy_first)


def summary():
    print("\nSummary (best of repeats, per call)")
    header = f"{'figure':<36} {'library':>10}  {'peer':<44} {'peer time':>10} {'ratio':>7} {'goal':>7} {'met':>4}"
    print(header)
    print("-" * len(header))
    for figure, lib, peer_name, peer, goal in results:
        ratio = ratio_text(lib, peer)
        if goal is None or peer is None:
            goal_text, met = "-", "-"
        else:
            goal_text, met = f"<={goal:g}x", "yes" if lib / peer <= goal else "no"
        print(
            f"{figure:<36} {fmt(lib):>10}  {peer_name or '-':<44} {fmt(peer):>10} "
            f"{ratio:>7} {goal_text:>7} {met:>4}"
        )


def main():
    print(
        f"Python {sys.version.split()[0]}; "
        f"numpy {np.__version__ if np else 'not available'}; "
        f"scipy {'available' if Akima1DInterpolator else 'not available'}"
    )
    figure_call()
    figure_build()
    figure_product()
    figure_evaluate_integrate()
    summary()


if __name__ == "__main__":
    main()
