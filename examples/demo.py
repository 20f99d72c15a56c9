"""A short tour of spectral scans: build, evaluate, integrate and combine spectra.

A tungsten lamp's relative spectrum (Planck's law at 2856 K, sampled every 5 nm) is passed
through a band-pass filter whose transmittance was measured every 10 nm; the demo evaluates
the filter between its measured points and rates how much of the lamp's light gets through.
"""

import math

import _orvpy_core as orv

H = 6.62607015e-34  # J s
C = 299792458.0  # m s-1
K = 1.380649e-23  # J K-1


def planck_relative(wavelength_nm, temperature_k, reference_nm=560.0):
    """Spectral radiance of a black body relative to its value at reference_nm."""

    def radiance(nm):
        lam = nm * 1e-9
        return 1.0 / (lam**5 * (math.exp(H * C / (lam * K * temperature_k)) - 1.0))

    return radiance(wavelength_nm) / radiance(reference_nm)


def main():
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


if __name__ == "__main__":
    main()
