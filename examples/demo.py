"""Rating eyewear lenses from an instrument data file.

First a short tour of scans: a tungsten lamp's relative spectrum (Planck's law at 2856 K,
sampled every 5 nm) is passed through a band-pass filter measured every 10 nm. Then the
bundled data file examples/lens_transmittances.orv is loaded: its measurement facts and data
sets are listed, every lens is rated as a test report would (luminous, UV, blue-light and
signal transmittances by ANSI Z80.3, ISO 8980-3, AS/NZS 1067.2 and ISO 12311, and its colour),
and the file's JSON text is written next to it.
"""

import math
import os

import _orvpy_core as orv
from _orvpy_core import chromaticity, colorimetry, io

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


def rating_rows(lens):
    """(label, value as a fraction) for every quantity of the lens standards."""
    ansi = colorimetry.ANSI_Z80_3_tau_signal(lens)
    incandescent = colorimetry.ISO8980_3_tau_signal_incandescent(lens)
    led = colorimetry.ISO8980_3_tau_signal_led(lens)
    return [
        ("Luminous, ISO 8980-3 (D65)", colorimetry.ISO8980_3_tau_v(lens)),
        ("Luminous, ANSI Z80.3 (C)", colorimetry.ANSI_Z80_3_tau_v(lens)),
        ("UV-A mean, ANSI Z80.3 / ISO 8980-3", colorimetry.ANSI_Z80_3_tau_uva(lens)),
        ("UV-B mean, ANSI Z80.3", colorimetry.ANSI_Z80_3_tau_uvb(lens)),
        ("Solar UV-A, ISO 8980-3", colorimetry.ISO8980_3_tau_suva(lens)),
        ("Solar UV-B, ISO 8980-3", colorimetry.ISO8980_3_tau_suvb(lens)),
        ("Solar UV-A, AS/NZS 1067.2", colorimetry.ASNZS1067_2016_tau_suva(lens)),
        ("Solar blue light, ISO 12311", colorimetry.ISO12311_tau_sb(lens)),
        ("Minimum 475-650 nm, ANSI Z80.3", colorimetry.ANSI_Z80_3_tau_spectral_min(lens)),
        ("Red signal, ANSI Z80.3", ansi.red),
        ("Yellow signal, ANSI Z80.3", ansi.yellow),
        ("Green signal, ANSI Z80.3", ansi.green),
        ("Red signal, ISO incandescent", incandescent.red),
        ("Yellow signal, ISO incandescent", incandescent.yellow),
        ("Green signal, ISO incandescent", incandescent.green),
        ("Blue signal, ISO incandescent", incandescent.blue),
        ("Red signal, ISO LED", led.red),
        ("Yellow signal, ISO LED", led.yellow),
        ("Green signal, ISO LED", led.green),
        ("Blue signal, ISO LED", led.blue),
    ]


def colour_rows(lens):
    white = colorimetry.data.cie_illuminant_d65()
    observer = orv.Observer(
        colorimetry.data.cie_1931_standard_observer_x(),
        colorimetry.data.cie_1931_standard_observer_y(),
        colorimetry.data.cie_1931_standard_observer_z(),
    )
    daylight = chromaticity.ANSI_Z80_3_daylight_chromaticity(lens)
    yellow = chromaticity.ANSI_Z80_3_yellow_chromaticity(lens)
    green = chromaticity.ANSI_Z80_3_green_chromaticity(lens)
    lab = colorimetry.CIELAB_tristimulus_values(lens * white, white, observer)
    return [
        ("x, y in daylight (D65)", f"{daylight.x:.4f}, {daylight.y:.4f}"),
        ("x, y of the yellow signal", f"{yellow.x:.4f}, {yellow.y:.4f}"),
        ("x, y of the green signal", f"{green.x:.4f}, {green.y:.4f}"),
        ("L*, a*, b* against D65", f"{lab.L_star:.1f}, {lab.a_star:.1f}, {lab.b_star:.1f}"),
    ]


def describe_file(path, orv_file):
    meta, graph, info = orv_file.meta, orv_file.graph, orv_file.data_info
    units = info.type_and_units
    print(f"Data file {os.path.basename(path)}")
    print(f"  layout version {meta.file_version}, graph version {graph.gv_version}, x axis: {meta.x_type}")
    print(f"  measured {info.date_and_time}: {info.scan_summary}")
    print(f"  quantity: {units.measurement_type} in {units.units}; reference: {info.reference_type} "
          f"({info.reference_file}); calibration: {info.data_calibration_file}")
    print(f"  {len(orv_file.data_sets)} data sets:")
    for number, data_set in enumerate(orv_file.data_sets, 1):
        scan = data_set.data
        print(f"    #{number} {data_set.name:<32} {data_set.no_of_points:4d} points, "
              f"{scan.min_wavelength():g}-{scan.max_wavelength():g} nm, {repr(scan)}")


def lens_report(lenses):
    """One column per lens (#1, #2, ... as listed): every quantity of the standards, then colours."""
    width = 18
    print(f"  {'Transmittance':<36}" + "".join(f"{'#%d' % (i + 1):>{width}}" for i in range(len(lenses))))
    rows = [rating_rows(lens) for lens in lenses]
    for i, (label, _) in enumerate(rows[0]):
        print(f"  {label:<36}" + "".join(f"{100 * r[i][1]:>{width - 2}.2f} %" for r in rows))
    print(f"  {'Colour (CIE 1931 2°)':<36}")
    colours = [colour_rows(lens) for lens in lenses]
    for i, (label, _) in enumerate(colours[0]):
        print(f"  {label:<36}" + "".join(f"{c[i][1]:>{width}}" for c in colours))


def main():
    tour_of_scans()
    print()
    orv_file = io.load_orvfile(SAMPLE_FILE)
    describe_file(SAMPLE_FILE, orv_file)
    print()
    # The file stores transmittances in percent; the ratings take fractions.
    scale = 0.01 if orv_file.data_info.type_and_units.units == "%" else 1.0
    lens_report([data_set.data * scale for data_set in orv_file.data_sets])
    json_path = os.path.splitext(SAMPLE_FILE)[0] + ".json"
    with open(json_path, "w", encoding="utf-8") as f:
        f.write(io.orvfile_to_json(SAMPLE_FILE, 2, False))
    print(f"\nJSON text of the file written to {json_path}")


if __name__ == "__main__":
    main()
