"""Time weighted means and lens ratings against one spline integral, and against colormath.

Run with the build directory of the interpreter (and the package folder, python/, unless it is
importable already) on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11:python /usr/bin/python3 bench/bench_colorimetry.py [--runs 3]
        [--baseline OTHER_BUILD:OTHER_PACKAGE]

A brown sun lens is sampled at 5 nm (81 points, 380-780 nm), at 1 nm and at 0.125 nm (501 and
4,001 points, 280-780 nm). Each weighted mean (ISO8980_3_tau_v) is timed against the floor of one
spline integral of the same lens over the visible band, and beside one pass over as much data as
the mean reads (eight doubles per interval of its band), interleaved; lens.rate is timed in lenses
per second at 1 nm and 5 nm, and, with --baseline, against another build in the same run
(separate processes, alternated: the goal is twice the baseline's rate). colormath converts the
lens, sampled at 10 nm, to XYZ under D65 (sums at 10 nm). Nothing is asserted: the script prints
the times and their ratios.
"""

import argparse
import array
import math
import os
import statistics
import subprocess
import sys

import _orvpy_bench
from _orvpy_core import Scan, chromaticity, colorimetry

from benchlib import Figures, best_interleaved

try:
    import orvpy
except ImportError:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import orvpy

# Where the package under test lies, for the interpreters that rate lenses.
PACKAGE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(orvpy.__file__)))

try:
    from colormath.color_conversions import convert_color
    from colormath.color_objects import SpectralColor, XYZColor
except ImportError:
    convert_color = None

COLORMATH_GOAL = 3.0  # times faster than colormath
RATE_GOAL = 2.0  # times the baseline's lenses per second

# Lenses per second of lens.rate, the lens sampled every `step` nm from 280 to 780 nm: run in a
# fresh interpreter with the build under test on its path.
RATE_CODE = """
import math, sys, timeit
from orvpy import Scan, lens
step = float(sys.argv[1])
w = [280.0 + step * i for i in range(int(500 / step) + 1)]
s = Scan(w, [0.08 + 0.22 / (1.0 + math.exp(-(x - 520.0) / 25.0)) for x in w])
lens.rate(s)
print(200 / min(timeit.repeat(lambda: lens.rate(s), number=200, repeat=7)))
"""


def brown_lens(first, last, step):
    """Low in the blue, rising through the green, flat in the red."""
    wavelengths = [first + step * i for i in range(int(round((last - first) / step)) + 1)]
    return wavelengths, [0.08 + 0.22 / (1.0 + math.exp(-(w - 520.0) / 25.0)) for w in wavelengths]


def rate_per_second(path, step):
    """lens.rate's lenses per second in a fresh interpreter with path (by default the package
    under test) first on its PYTHONPATH."""
    paths = [path or PACKAGE_DIR, os.environ.get("PYTHONPATH")]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, paths)))
    out = subprocess.run(
        [sys.executable, "-c", RATE_CODE, str(step)], env=env, capture_output=True, text=True, check=True
    )
    return float(out.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="how many times every figure is measured")
    parser.add_argument("--baseline", help="PYTHONPATH of the build lens.rate is compared with (module:package)")
    args = parser.parse_args()

    lenses = {
        f"{len(w)} points": Scan(w, v)
        for w, v in (brown_lens(380.0, 780.0, 5.0), brown_lens(280.0, 780.0, 1.0), brown_lens(280.0, 780.0, 0.125))
    }
    small = lenses["81 points"]
    daylight = chromaticity.ANSI_Z80_3_daylight_chromaticity(small)
    print(
        f"Python {sys.version.split()[0]}; lens tau_v {colorimetry.ISO8980_3_tau_v(small):.4f}, "
        f"in D65 x {daylight.x:.4f} y {daylight.y:.4f}"
    )
    colour = None
    if convert_color is not None:
        w, v = brown_lens(380.0, 780.0, 5.0)
        colour = SpectralColor(
            observer="2", illuminant="d65", **{f"spec_{int(x)}nm": y for x, y in zip(w, v) if int(x) % 10 == 0}
        )
        xyz = convert_color(colour, XYZColor)
        total = xyz.xyz_x + xyz.xyz_y + xyz.xyz_z
        print(f"colormath, same lens in D65 at 10 nm: x {xyz.xyz_x / total:.4f} y {xyz.xyz_y / total:.4f}")
    else:
        print("colormath is not available to this interpreter (Debian: python3-colormath)")

    figures = Figures()
    rates = {1.0: [], 5.0: []}
    baseline_rates = {1.0: [], 5.0: []}
    for run in range(args.runs):
        print(f"\nRun {run + 1} of {args.runs}")
        for name, lens in lenses.items():
            names = {"c": colorimetry, "lens": lens}
            # What the mean must read: four coefficients and four moments per interval of its band.
            intervals = sum(1 for w in lens.wavelengths() if 380.0 <= w <= 780.0) - 1
            names["data"], names["dot_halves"] = array.array("d", [1.0]) * (8 * intervals), _orvpy_bench.dot_halves
            mean, integral, one_pass = best_interleaved(
                ["c.ISO8980_3_tau_v(lens)", "lens(380.0, 780.0)", "dot_halves(data)"],
                repeat=9,
                number=2000,
                globals=names,
            )
            figures.add(
                f"ISO8980_3_tau_v(lens), {name}",
                mean,
                "a pass over its data",
                one_pass,
                floor_name="lens(380, 780)",
                floor=integral,
                goal=3.0,
            )
        if colour is not None:
            names = {
                "ch": chromaticity,
                "c": colorimetry,
                "lens": small,
                "convert_color": convert_color,
                "XYZColor": XYZColor,
                "colour": colour,
            }
            xy, tau, peer = best_interleaved(
                ["ch.CIE_1931_chromaticity(lens)", "c.ISO8980_3_tau_v(lens)", "convert_color(colour, XYZColor)"],
                repeat=9,
                number=500,
                globals=names,
            )
            figures.add(
                "CIE_1931_chromaticity(lens), 81 points",
                xy,
                "colormath XYZ",
                peer,
                goal=1 / COLORMATH_GOAL,
                goal_of="peer",
            )
            figures.add(
                "ISO8980_3_tau_v(lens) vs colormath",
                tau,
                "colormath XYZ",
                peer,
                goal=1 / COLORMATH_GOAL,
                goal_of="peer",
            )
        for step in rates:
            order = [None, args.baseline] if args.baseline else [None]
            for path in order if run % 2 == 0 else order[::-1]:
                (rates if path is None else baseline_rates)[step].append(rate_per_second(path, step))
            line = f"  lens.rate at {step:g} nm: {rates[step][-1]:,.0f} lenses/s"
            if args.baseline:
                ratio = rates[step][-1] / baseline_rates[step][-1]
                line += f", baseline {baseline_rates[step][-1]:,.0f}/s ({ratio:.2f}x)"
            print(line)
    figures.summary()
    for step, each in rates.items():
        line = f"lens.rate at {step:g} nm: {statistics.median(each):,.0f} lenses/s [{min(each):,.0f}-{max(each):,.0f}]"
        if args.baseline:
            ratios = [a / b for a, b in zip(each, baseline_rates[step])]
            line += (
                f"; baseline {statistics.median(baseline_rates[step]):,.0f}/s; "
                f"{statistics.median(ratios):.2f}x [{min(ratios):.2f}-{max(ratios):.2f}] the baseline "
                f"(goal >= {RATE_GOAL:g}x: {'yes' if statistics.median(ratios) >= RATE_GOAL else 'no'})"
            )
        print(line)


if __name__ == "__main__":
    main()
