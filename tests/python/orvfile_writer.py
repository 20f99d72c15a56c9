"""A test-side writer of data files: the "Contents" stream field by field (file and graph version 4),
in a compound file written by libgsf's ``gsf`` (Debian's libgsf-bin), independently of this library."""

import os
import struct
import subprocess
import tempfile

GUID = bytes.fromhex("4ED0DF7188CB024588EBD943A3091A1A")
INFO_TEXTS = (
    "date_and_time",
    "scan_summary",
    "data_calibration_file",
    "certificate_file",
    "system_file",
    "pre_scan_addon_description",
    "post_scan_addon_description",
    "pre_scan_addon_filename",
    "post_scan_addon_filename",
    "type_and_units",
    "type_and_units_codes",
    "auxiliary_type_and_units",
    "auxiliary_type_and_units_codes",
    "reference_type",
    "reference_file",
    "reference_parameter",
)


def _string(text):
    raw = text.encode("latin-1")
    return bytes([len(raw)]) + raw if len(raw) < 255 else b"\xff" + struct.pack("<H", len(raw)) + raw


def contents(
    datasets,
    x_axis_title="Wavelength (nm)",
    y_axis_title="Transmittance (%)",
    x_type=0,
    apply_data_calibration=0,
    apply_reference=0,
    **texts,
):
    """The "Contents" stream of data sets given as (name, points) pairs, points as (x, y) pairs in
    file order; ``texts`` sets the information strings named in INFO_TEXTS. Returns the bytes and
    the offset of each data set's first point."""
    info = dict.fromkeys(INFO_TEXTS, "")
    info.update(texts)
    b = bytearray(GUID + struct.pack("<4I", 0, 4, 0, 0))  # H2 size (set below), version, skipped, timestamps
    b += struct.pack("<4xQI8x24x8xI8x", 0x7FF8000000000000, 4, 2)  # H6; G1 NaN, version; G3 flag 2
    for text, skip in (("", 60), ("", 16), ("", 8), ("", 16), (x_axis_title, 4), (y_axis_title, 68)):
        b += _string(text) + bytes(skip)  # G5 to G16
    b += struct.pack("<I", 0) + bytes(20) + _string("") + bytes(80)  # no G17 records, G18
    b += _string("") + struct.pack("<I", len(datasets)) + bytes(60)  # D1, D2, D3
    for name, points in datasets:
        b += struct.pack("<I4x", len(points)) + _string(name)
    offsets = []
    for _, points in datasets:
        offsets.append(len(b))
        b += b"".join(struct.pack("<dd", x, y) for x, y in points)
    b += struct.pack("<III", 0, 0, 0)  # no list entries, no extra tables
    b += _string(info["date_and_time"]) + _string(info["scan_summary"]) + struct.pack("<I", apply_data_calibration)
    b += b"".join(_string(info[name]) for name in INFO_TEXTS[2:13])
    b += struct.pack("<I", apply_reference) + b"".join(_string(info[name]) for name in INFO_TEXTS[13:])
    b += bytes(36 + 4 * len(datasets)) + struct.pack("<I", x_type)
    struct.pack_into("<I", b, 16, len(b))
    return bytes(b), offsets


def container(stream):
    """A compound file holding the bytes as its "Contents" stream, written by gsf."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Contents"), "wb") as f:
            f.write(stream)
        out = os.path.join(folder, "data.orv")
        subprocess.run(["gsf", "createole", out, "Contents"], cwd=folder, check=True, capture_output=True)
        with open(out, "rb") as f:
            return f.read()
