"""Writes examples/lens_transmittances.orv, the sample data file the demo loads.

The file is built with the test-side writer of the data file layout, its container written by
libgsf's ``gsf``: three lens transmittance measurements from 280 to 780 nm in 5 nm steps, in
percent, with a realistic measurement header.
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))

import orvfile_writer as w  # noqa: E402


def logistic(w_nm, edge, width):
    return 1.0 / (1.0 + math.exp(-(w_nm - edge) / width))


def lens(name, transmittance):
    points = [(float(nm), round(100.0 * transmittance(nm), 4)) for nm in range(280, 781, 5)]
    return name, points


def main(path):
    datasets = [
        lens("Grey sun lens, category 3", lambda nm: logistic(nm, 392.0, 3.0) * 0.12),
        lens("Brown driving lens", lambda nm: logistic(nm, 398.0, 4.0) * (0.16 + 0.22 * logistic(nm, 540.0, 35.0))),
        lens("Clear lens with UV400 blocker", lambda nm: logistic(nm, 401.0, 2.5) * 0.915),
    ]
    stream, _ = w.contents(
        datasets,
        x_axis_title="Wavelength (nm)",
        y_axis_title="Transmittance (%)",
        date_and_time="2026-11-24 14:05:31",
        scan_summary="280-780 nm, 5 nm steps, 3 lenses, integration 200 ms, 4 averages",
        apply_data_calibration=1,
        data_calibration_file="spectro-2026-10.cal",
        certificate_file="NG4-filter-cert-2026.pdf",
        system_file="bench-2.sys",
        pre_scan_addon_description="Lamp warm-up and dark current check",
        pre_scan_addon_filename="warmup.dll",
        type_and_units="Transmittance / %",
        type_and_units_codes="1 2",
        auxiliary_type_and_units="Optical density / OD",
        auxiliary_type_and_units_codes="4 9",
        apply_reference=1,
        reference_type="Air",
        reference_file="air-2026-11-24.orv",
        reference_parameter="100 %",
    )
    with open(path, "wb") as f:
        f.write(w.container(stream))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "lens_transmittances.orv"))
