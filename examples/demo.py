"""Rating eyewear lenses from an instrument data file.

First a short tour of scans: a tungsten lamp's relative spectrum (Planck's law at 2856 K,
sampled every 5 nm) is passed through a band-pass filter measured every 10 nm. Then the
bundled data file examples/lens_transmittances.orv is loaded: its measurement facts and data
sets are listed, every lens is rated in one call of orvpy.lens.rate_file as a test report would
(luminous, UV, blue-light and signal transmittances by ANSI Z80.3, ISO 8980-3, AS/NZS 1067.2 and
ISO 12311, its colour and its filter category), each lens is checked against the bundled
requirements (orvpy.lens.assess: a verdict per requirement and per intended use), and the file's
JSON text and its test report (one self-contained HTML page, orvpy.report) are written next to it.
"""

import math
import os

import orvpy as orv
from orvpy import io, lens, report

SAMPLE_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lens_transmittances.orv")

H = 6.62607015e-34  # J s
C = 299792458.0  # m s-1
K = 1.380649e-23  # J K-1


def planck_relative(wavelength_nm, temperature_k, reference_nm=560.0):
    """Spectral radiance of a black body relative to its value at reference_nm."""

    def radiance(nm):
        lam = nm * 1e-9
        return 1.0 / (lam**5 * (math.exp(H * C / (lam * K * temperature_k)) - 1.0))

    return radiance(wavelength_nm) / radiance(reference_nm)


def tour_of_scans():
    wavelengths = [380.0 + 5.0 * i for i in range(81)]
    lamp = orv.Scan(wavelengths, [planck_relative(w, 2856.0) for w in wavelengths])

    filter_nm = [400, 410, 420, 430, 440, 450, 460, 470, 480, 490, 500, 510, 520]
    filter_t = [0.01, 0.03, 0.12, 0.38, 0.71, 0.86, 0.89, 0.87, 0.70, 0.36, 0.11, 0.03, 0.01]
    band_pass = orv.Scan(filter_nm, filter_t)

    print("Source:", repr(lamp))
    print("Filter:", repr(band_pass))
    print()
    print("Filter transmittance between its measured points (Akima spline):")
    for w in (445.0, 452.5, 463.0, 487.5):
        print(f"  T({w:.1f} nm) = {band_pass(w):.4f}")
    print(f"  T(600.0 nm) = {band_pass(600.0):.4f}   (outside the data: no extrapolation)")
    print()

    transmitted = lamp * band_pass
    print("Transmitted spectrum:", repr(transmitted))
    peak = max(transmitted.items(), key=lambda point: point[1])
    print(f"  its maximum on the grid: {peak[1]:.4f} at {peak[0]:g} nm")

    # Both integrals cover the filter's range, where the product has data.
    incident = lamp(filter_nm[0], filter_nm[-1])
    passed = transmitted.integral
    rows = [
        (f"lamp light in {filter_nm[0]}-{filter_nm[-1]} nm", incident),
        ("light passed by the filter", passed),
        ("band transmittance", passed / incident),
    ]
    for label, value in rows:
        print(f"  {label + ':':<30}{value:10.4f}")
    print()

    lamp_linear = orv.Scan(wavelengths, lamp.values(), interpolation=orv.LINEAR)
    print("Interpolation kinds compared on the lamp spectrum, 380-780 nm integral:")
    print(f"  AKIMA  {lamp.integral:.6f}")
    print(f"  LINEAR {lamp_linear.integral:.6f}")
    print()

    normalised = transmitted / peak[1]
    print("Transmitted spectrum normalised to its peak, 440-470 nm:")
    for w, v in normalised.items():
        if 440 <= w <= 470:
            print(f"  {w:5.1f} nm  {v:.4f}")


# Rows of the lens report: (label, LensRating fields). Transmittances print in percent.
TRANSMITTANCE_ROWS = (
    [
        ("Luminous, ISO 8980-3 (D65)", "ISO8980_3_tau_v"),
        ("Luminous, ANSI Z80.3 (C)", "ANSI_Z80_3_tau_v"),
        ("UV-A mean, ANSI Z80.3 / ISO 8980-3", "ANSI_Z80_3_tau_uva"),
        ("UV-B mean, ANSI Z80.3", "ANSI_Z80_3_tau_uvb"),
        ("Solar UV-A, ISO 8980-3", "ISO8980_3_tau_suva"),
        ("Solar UV-B, ISO 8980-3", "ISO8980_3_tau_suvb"),
        ("Solar UV-A, AS/NZS 1067.2", "ASNZS1067_2016_tau_suva"),
        ("Solar blue light, ISO 12311", "ISO12311_tau_sb"),
        ("Minimum 475-650 nm, ANSI Z80.3", "ANSI_Z80_3_tau_spectral_min"),
    ]
    + [
        (f"{colour.capitalize()} signal, ANSI Z80.3", f"ANSI_Z80_3_tau_signal_{colour}")
        for colour in ("red", "yellow", "green")
    ]
    + [
        (f"{colour.capitalize()} signal, ISO {light}", f"ISO8980_3_tau_signal_{kind}_{colour}")
        for light, kind in (("incandescent", "incandescent"), ("LED", "led"))
        for colour in ("red", "yellow", "green", "blue")
    ]
)
COLOUR_ROWS = [
    ("x, y in daylight (D65)", ("daylight_x", "daylight_y"), "{:.4f}, {:.4f}"),
    ("x, y of the yellow signal", ("yellow_signal_x", "yellow_signal_y"), "{:.4f}, {:.4f}"),
    ("x, y of the green signal", ("green_signal_x", "green_signal_y"), "{:.4f}, {:.4f}"),
    ("L*, a*, b* against D65", ("CIELAB_L_star", "CIELAB_a_star", "CIELAB_b_star"), "{:.1f}, {:.1f}, {:.1f}"),
    ("Q, ISO LED red / yellow", ("ISO8980_3_Q_led_red", "ISO8980_3_Q_led_yellow"), "{:.3f}, {:.3f}"),
]


def describe_file(path, orv_file):
    meta, graph, info = orv_file.meta, orv_file.graph, orv_file.data_info
    units = info.type_and_units
    print(f"Data file {os.path.basename(path)}")
    print(f"  layout version {meta.file_version}, graph version {graph.gv_version}, x axis: {meta.x_type}")
    print(f"  measured {info.date_and_time}: {info.scan_summary}")
    print(
        f"  quantity: {units.measurement_type} in {units.units}; reference: {info.reference_type} "
        f"({info.reference_file}); calibration: {info.data_calibration_file}"
    )
    print(f"  {len(orv_file.data_sets)} data sets:")
    for number, data_set in enumerate(orv_file.data_sets, 1):
        scan = data_set.data
        print(
            f"    #{number} {data_set.name:<32} {data_set.no_of_points:4d} points, "
            f"{scan.min_wavelength():g}-{scan.max_wavelength():g} nm, {repr(scan)}"
        )


def lens_report(ratings):
    """One column per lens (#1, #2, ... as listed): every transmittance, the colours and the
    filter category."""
    width = 18
    print(f"  {'Transmittance':<36}" + "".join(f"{'#%d' % (i + 1):>{width}}" for i in range(len(ratings))))
    for label, field in TRANSMITTANCE_ROWS:
        print(f"  {label:<36}" + "".join(f"{100 * getattr(r, field):>{width - 2}.2f} %" for _, r in ratings))
    print(f"  {'Colour (CIE 1931 2°)':<36}")
    for label, fields, form in COLOUR_ROWS:
        print(
            f"  {label:<36}" + "".join(f"{form.format(*(getattr(r, f) for f in fields)):>{width}}" for _, r in ratings)
        )
    print(f"  {'Filter category':<36}" + "".join(f"{str(r.category):>{width}}" for _, r in ratings))


def verdicts(assessed):
    """Each lens's verdict per intended use, with the requirements it fails."""
    rules = assessed[0][2].rules
    print(f"Verdicts against {os.path.basename(rules.path)} ({rules.title}):")
    for name, _, assessment in assessed:
        print(f"  {name}")
        for use in assessment.uses:
            reasons = f" (fails {', '.join(use.failing)})" if use.failing else ""
            print(f"    {use.name + ':':<36}{use.label}{reasons}")


def main():
    tour_of_scans()
    print()
    orv_file = io.load_orvfile(SAMPLE_FILE)
    describe_file(SAMPLE_FILE, orv_file)
    print()
    # rate_file reads the unit (here %) from the file and refuses to rate a band it did not measure.
    lens_report(lens.rate_file(SAMPLE_FILE))
    print()
    verdicts(lens.assess_file(SAMPLE_FILE))
    json_path = os.path.splitext(SAMPLE_FILE)[0] + ".json"
    with open(json_path, "w", encoding="utf-8") as f:
        f.write(io.orvfile_to_json(SAMPLE_FILE, 2, False))
    print(f"\nJSON text of the file written to {json_path}")
    report_path = os.path.splitext(SAMPLE_FILE)[0] + ".html"
    report.write(report.build([SAMPLE_FILE]), report_path)
    try:
        import matplotlib  # noqa: F401

        drawn = "with a plot per lens"
    except ImportError:
        drawn = "without plots: matplotlib (Debian's python3-matplotlib) is not installed for this Python"
    print(f"Test report written to {report_path}, {drawn}")


if __name__ == "__main__":
    main()
