"""Time lens ratings and chromaticity against colormath's spectral to XYZ conversion.

Run with a build whose interpreter has colormath (Debian's python3-colormath), for example:

    PYTHONPATH=build/python3.11 /usr/bin/python3 bench/bench_colorimetry.py

One lens transmittance, 81 points at 5 nm from 380 to 780 nm, is rated per call by
CIE_1931_chromaticity and ISO8980_3_tau_v (spline integrals at 5 nm); colormath converts the
same spectrum, sampled at 10 nm, to XYZ under D65 (sums at 10 nm). Nothing is asserted: the
script prints the times and their ratios.
"""

import math
import sys
import timeit

from _orvpy_core import Scan, chromaticity, colorimetry

try:
    from colormath.color_conversions import convert_color
    from colormath.color_objects import SpectralColor, XYZColor
except ImportError:
    convert_color = None

GOAL = 3.0  # times faster than colormath


def best(statement, names, number=2000, repeat=9):
    return min(timeit.repeat(statement, number=number, repeat=repeat, globals=names)) / number


def lens_transmittance():
    """A brown sun lens: low in the blue, rising through the green, flat in the red."""
    wavelengths = [380.0 + 5.0 * i for i in range(81)]
    values = [0.08 + 0.22 / (1.0 + math.exp(-(w - 520.0) / 25.0)) for w in wavelengths]
    return wavelengths, values


def main():
    wavelengths, values = lens_transmittance()
    lens = Scan(wavelengths, values)
    names = {"chromaticity": chromaticity, "colorimetry": colorimetry, "lens": lens}
    daylight = chromaticity.ANSI_Z80_3_daylight_chromaticity(lens)
    tau_v = colorimetry.ISO8980_3_tau_v(lens)
    print(f"Python {sys.version.split()[0]}; lens tau_v {tau_v:.4f}, in D65 x {daylight.x:.4f} y {daylight.y:.4f}")

    ours = {
        "CIE_1931_chromaticity(lens)": best("chromaticity.CIE_1931_chromaticity(lens)", names),
        "ISO8980_3_tau_v(lens)": best("colorimetry.ISO8980_3_tau_v(lens)", names),
    }
    peer = None
    if convert_color is not None:
        spectrum = {f"spec_{int(w)}nm": v for w, v in zip(wavelengths, values) if int(w) % 10 == 0}
        colour = SpectralColor(observer="2", illuminant="d65", **spectrum)
        xyz = convert_color(colour, XYZColor)
        total = xyz.xyz_x + xyz.xyz_y + xyz.xyz_z
        print(f"colormath, same lens in D65 at 10 nm: x {xyz.xyz_x / total:.4f} y {xyz.xyz_y / total:.4f}")
        peer = best(
            "convert_color(colour, XYZColor)",
            {"convert_color": convert_color, "XYZColor": XYZColor, "colour": colour},
            number=500,
        )

    print(f"\n{'call':<32} {'time':>10} {'colormath':>10} {'speed-up':>9} {'goal':>6} {'met':>4}")
    for name, seconds in ours.items():
        if peer is None:
            print(f"{name:<32} {seconds * 1e6:>8.2f}us {'n/a':>10} {'n/a':>9} {'-':>6} {'-':>4}")
        else:
            ratio = peer / seconds
            met = "yes" if ratio >= GOAL else "no"
            print(f"{name:<32} {seconds * 1e6:>8.2f}us {peer * 1e6:>8.2f}us {ratio:>8.2f}x {GOAL:>5.0f}x {met:>4}")
    if peer is None:
        print("colormath is not available to this interpreter (Debian: python3-colormath)")


if __name__ == "__main__":
    main()
