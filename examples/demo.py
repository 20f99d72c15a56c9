"""Rating optical filters from their spectra.

First a short tour of scans: a tungsten lamp's relative spectrum (Planck's law at 2856 K,
sampled every 5 nm) is passed through a band-pass filter measured every 10 nm. Then a
sunglass lens is rated as a test report would: its luminous, UV, blue-light and signal
transmittances by ANSI Z80.3, ISO 8980-3, AS/NZS 1067.2 and ISO 12311, and its colour.
"""

import math

import _orvpy_core as orv
from _orvpy_core import chromaticity, colorimetry

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


def sunglass_lens():
    """A brown category 3 sunglass lens: UV blocked below 380 nm, 10-20 % in the visible."""
    wavelengths = [280.0 + 5.0 * i for i in range(101)]
    values = []
    for w in wavelengths:
        uv_cut = 1.0 / (1.0 + math.exp(-(w - 395.0) / 4.0))
        brown = 0.09 + 0.11 / (1.0 + math.exp(-(w - 560.0) / 30.0))
        values.append(uv_cut * brown)
    return orv.Scan(wavelengths, values)


def lens_report(lens):
    print("Sunglass lens,", repr(lens))
    rows = [
        ("Luminous transmittance, ISO 8980-3 (D65)", colorimetry.ISO8980_3_tau_v(lens)),
        ("Luminous transmittance, ANSI Z80.3 (C)", colorimetry.ANSI_Z80_3_tau_v(lens)),
        ("UV-A mean transmittance, ANSI Z80.3 / ISO 8980-3", colorimetry.ANSI_Z80_3_tau_uva(lens)),
        ("UV-B mean transmittance, ANSI Z80.3", colorimetry.ANSI_Z80_3_tau_uvb(lens)),
        ("Solar UV-A transmittance, ISO 8980-3", colorimetry.ISO8980_3_tau_suva(lens)),
        ("Solar UV-B transmittance, ISO 8980-3", colorimetry.ISO8980_3_tau_suvb(lens)),
        ("Solar UV-A transmittance, AS/NZS 1067.2", colorimetry.ASNZS1067_2016_tau_suva(lens)),
        ("Solar blue-light transmittance, ISO 12311", colorimetry.ISO12311_tau_sb(lens)),
        ("Minimum 475-650 nm, ANSI Z80.3", colorimetry.ANSI_Z80_3_tau_spectral_min(lens)),
    ]
    for label, value in rows:
        print(f"  {label + ':':<52}{100 * value:7.2f} %")

    print("  Signal transmittances:")
    ansi = colorimetry.ANSI_Z80_3_tau_signal(lens)
    incandescent = colorimetry.ISO8980_3_tau_signal_incandescent(lens)
    led = colorimetry.ISO8980_3_tau_signal_led(lens)
    print(f"    {'':<26}{'red':>8}{'yellow':>8}{'green':>8}{'blue':>8}")
    print(f"    {'ANSI Z80.3':<26}" + "".join(f"{100 * v:7.2f}%" for v in (ansi.red, ansi.yellow, ansi.green)))
    for name, r in (("ISO 8980-3 incandescent", incandescent), ("ISO 8980-3 LED", led)):
        print(f"    {name:<26}" + "".join(f"{100 * v:7.2f}%" for v in (r.red, r.yellow, r.green, r.blue)))

    print("  Colour (CIE 1931 2°):")
    for name, point in (
        ("in daylight (D65)", chromaticity.ANSI_Z80_3_daylight_chromaticity(lens)),
        ("yellow signal behind it", chromaticity.ANSI_Z80_3_yellow_chromaticity(lens)),
        ("green signal behind it", chromaticity.ANSI_Z80_3_green_chromaticity(lens)),
    ):
        print(f"    {name:<26}x = {point.x:.4f}  y = {point.y:.4f}")
    white = colorimetry.data.cie_illuminant_d65()
    observer = orv.Observer(
        colorimetry.data.cie_1931_standard_observer_x(),
        colorimetry.data.cie_1931_standard_observer_y(),
        colorimetry.data.cie_1931_standard_observer_z(),
    )
    lab = colorimetry.CIELAB_tristimulus_values(lens * white, white, observer)
    print(f"    CIELAB against D65:       L* = {lab.L_star:.2f}  a* = {lab.a_star:.2f}  b* = {lab.b_star:.2f}")


def main():
    tour_of_scans()
    print()
    lens_report(sunglass_lens())


if __name__ == "__main__":
    main()
