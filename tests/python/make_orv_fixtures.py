"""Writes a set of .orv fixture files, valid and damaged, and a manifest of what they hold.

Usage: make_orv_fixtures.py OUTDIR [--large]

Each fixture becomes OUTDIR/NAME.orv. OUTDIR/manifest.json maps every valid fixture to the
values a reader must produce ("expected", see orvfile_writer.expected_values) and facts about
its container, and every damaged one to a line saying what is wrong with it. --large adds two
files of about 7 MB whose "Contents" is reached only through the DIFAT chain.
"""

import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import orvfile_writer as w  # noqa: E402


class Fixture:
    def __init__(self, name, data, contents, desc=None, layout=None, note=""):
        self.name = name
        self.data = data
        self.contents = contents  # the "Contents" stream as written
        self.desc = desc  # the description, for valid fixtures
        self.layout = layout
        self.note = note

    @property
    def valid(self):
        return self.desc is not None


def points(xs, f):
    return [(float(x), float(f(x))) for x in xs]


def wavelengths(first, last, step):
    return list(range(first, last + 1, step))


LONG_SUMMARY = ("Lens transmittance, 380-780 nm in 5 nm steps, integration 100 ms, "
                "3 averages, reference air, slit 2 nm; operator J. M\u00fcller; "
                "sample holder B, lenses cleaned with isopropanol before each scan; "
                "room 22 \u00b0C, 45 % RH; the lamp was warmed up for 30 minutes; "
                "results checked against the NG4 filter certificate (\u00b1 0.5 %).")
assert len(LONG_SUMMARY.encode("latin-1")) > 255


def valid_descriptions():
    """(name, Contents, container options, note) for the valid fixtures."""
    lens_a = points(wavelengths(380, 780, 40), lambda x: round((x - 370) / 4.2, 3))
    lens_b = points(wavelengths(380, 780, 50), lambda x: round((x - 370) / 8.0, 3))
    many = points(wavelengths(380, 780, 1)[:300], lambda x: x / 10.0)
    ts = [bytes([0x54, i]) * 8 for i in range(4)]
    out = []

    out.append(("fv2_gv1", w.Contents(
        file_version=2, timestamps=1, gv_version=1, g1_value=1.5, x_type=1,
        x_axis_title="Time (s)", y_axis_title="Signal",
        datasets=[w.DataSet("Drift", [(0.0, 1.0), (10.0, 1.01), (20.0, 0.99)])],
        type_and_units="Signal / counts", type_and_units_codes="5 9"),
        {}, "oldest layout: no H5/H6, finite G1, no list block, no tables; "
            "the timestamps value is not written (file_version 2)"))

    out.append(("fv3_gv2_list", w.Contents(
        file_version=3, timestamps=0, gv_version=2, g1_nan=w.SIGNALLING_NAN, x_type=2,
        list_entries=[(999, [["Si photodiode", "InGaAs"], [], ["Auto range"]], "Detectors"),
                      (1, [["Open"]], "Shutter"),
                      (3, [], "Empty entry")],
        datasets=[w.DataSet("Pulse", [(0.0, 0.0), (0.5, 3.25), (1.0, 1.5)])],
        x_axis_title="Time (ms)", type_and_units="Radiance / W sr-1 m-2", apply_reference=0),
        {}, "signalling NaN in G1; list block with a 999 marker, nested and empty groups"))

    out.append(("fv3_gv3_timestamps", w.Contents(
        file_version=3, timestamps=1, gv_version=3, g1_nan=w.NEGATIVE_NAN, x_type=3,
        t1_records=2, t2_records=3, apply_data_calibration=1,
        data_calibration_file="cal-2026-01.cal",
        datasets=[w.DataSet("Ch 1", [(1.0, 2.0), (2.0, 4.0)], timestamps=ts[:2]),
                  w.DataSet("Ch 2", [(1.0, 5.0)]),
                  w.DataSet("Ch 3", [(1.0, 7.0), (2.0, 8.0), (3.0, 9.0)])],
        x_axis_title="Index", type_and_units="Relative / a.u.", type_and_units_codes=""),
        {}, "negative NaN in G1; G18, extra tables and per-point timestamp records; "
            "three data sets; absent type codes"))

    out.append(("fv3_gv2_timestamps_flag", w.Contents(
        file_version=3, timestamps=1, gv_version=2),
        {}, "timestamps flag set but gv_version 2: no table block, so no timestamp records"))

    out.append(("fv4_gv4_flag0", w.Contents(file_version=4, gv_version=4, g3_flag=0),
                {}, "G3 flag 0: the extra 44 bytes"))

    out.append(("fv4_gv4_flag1", w.Contents(file_version=4, gv_version=4, g3_flag=1, x_type=7),
                {}, "G3 flag 1: the extra 44 bytes; unknown x type 7"))

    out.append(("fv4_gv4_flag2", w.Contents(
        datasets=[w.DataSet("Lens A", lens_a), w.DataSet("Lens B", lens_b)]),
        {}, "the default lens transmittance measurement, G3 flag 2"))

    out.append(("fv4_gv4_timestamps_4096", w.Contents(
        timestamps=2, datasets=[w.DataSet("Lens A", lens_a[:4])]),
        {"major_version": 4}, "4096-byte sectors; timestamps flag 2 (true)"))

    out.append(("repeated_x", w.Contents(
        datasets=[w.DataSet("Steps", [(400.0, 1.0), (400.0, 1.5), (410.0, 2.0), (410.0, 2.0),
                                      (410.0, 2.5), (420.0, 3.0)]),
                  w.DataSet("Backwards", [(500.0, 9.0), (450.0, 8.0), (450.0, 7.5)])]),
        {}, "repeated x values, and a data set in decreasing x order (kept in file order)"))

    out.append(("latin1_long_strings", w.Contents(
        x_axis_title="Wellenl\u00e4nge (\u00b5m)", y_axis_title="Bestrahlungsst\u00e4rke",
        datasets=[w.DataSet("Probe \u00e9t\u00e9 \u00b1", [(0.4, 1.0), (0.5, 2.0)])],
        scan_summary=LONG_SUMMARY,
        certificate_file="C" * 254, system_file="S" * 255,
        reference_type=w.LongString("Air"),
        type_and_units="Irradiance / W m-2 \u00b5m-1 \t ", type_and_units_codes="3 7",
        auxiliary_type_and_units="Photon irradiance / \u00b5mol m-2 s-1",
        auxiliary_type_and_units_codes="4 11", x_type=4),
        {}, "Latin-1 strings; a %d-byte string (FF + u16 length), strings of 254 and 255 "
            "bytes, a 3-byte string in the FF + u16 form; units with trailing whitespace"
            % len(LONG_SUMMARY.encode("latin-1"))))

    out.append(("regular_stream_512", w.Contents(datasets=[w.DataSet("Long scan", many)]),
                {}, "Contents of more than 4096 bytes: a regular FAT chain, 512-byte sectors"))

    out.append(("regular_stream_4096", w.Contents(datasets=[w.DataSet("Long scan", many)]),
                {"major_version": 4},
                "Contents of more than 4096 bytes: a regular FAT chain, 4096-byte sectors"))

    out.append(("more_streams", w.Contents(),
                {"after": [("Thumbnail", w.junk(6000, 1)), ("Notes", b"operator notes")]},
                "Contents is entry 1 of three streams; one of the others is in a regular chain"))

    out.append(("empty_data_set", w.Contents(
        datasets=[w.DataSet("Nothing", []), w.DataSet("Lens A", lens_a[:3])]),
        {}, "a data set of zero points before a normal one"))

    out.append(("mini_cutoff_512", w.Contents(datasets=[w.DataSet("Lens A", lens_a)]),
                {"mini_cutoff": 512},
                "the header's mini stream cutoff is 512: Contents (over 512 bytes) is in a "
                "regular chain"))
    return out


def build_valid(name, desc, options, note):
    contents = w.build_contents(desc)
    options = dict(options)
    data, layout = w.build_orv_layout(contents, **options)
    return Fixture(name, data, contents, desc, layout, note)


def valid_fixtures(large=False):
    out = [build_valid(*args) for args in valid_descriptions()]

    # The major version alone decides the sector size.
    desc = w.Contents()
    data, layout = w.build_orv_layout(w.build_contents(desc), major_version=4)
    out.append(Fixture("v4_shift9", w.set_sector_shift(data, 9), w.build_contents(desc), desc,
                       layout, "major version 4 with a sector shift field of 9: 4096-byte "
                               "sectors all the same"))
    data, layout = w.build_orv_layout(w.build_contents(desc), major_version=3)
    out.append(Fixture("v3_shift12", w.set_sector_shift(data, 12), w.build_contents(desc), desc,
                       layout, "major version 3 with a sector shift field of 12: 512-byte "
                               "sectors all the same"))

    if large:
        many = points(wavelengths(380, 780, 1), lambda x: x / 10.0)
        for name, desc in (("difat_mini", w.Contents()),
                           ("difat_regular", w.Contents(datasets=[w.DataSet("Long", many)]))):
            contents = w.build_contents(desc)
            data, layout = w.build_orv_layout(contents, pad_sectors=w.PAD_SECTORS_FOR_DIFAT)
            out.append(Fixture(name, data, contents, desc, layout,
                               "about 7 MB: Contents is described by FAT sectors listed only "
                               "in the DIFAT chain"))
    return out


def corrupt_fixtures():
    out = []
    desc = w.Contents()
    contents = w.build_contents(desc)
    data, layout = w.build_orv_layout(contents)
    c = layout.stream("Contents")

    def add(name, data, note, contents=contents, layout=layout):
        out.append(Fixture(name, data, contents, None, layout, note))

    # Container
    add("empty_file", b"", "zero bytes")
    add("truncated_header", w.truncate(data, 300), "the file ends inside the header")
    last = layout.ministream_sectors[-1]
    add("truncated_file", w.truncate(data, layout.sector_offset(last) + 100),
        "the file ends inside the last sector of the mini stream holding Contents")
    add("bad_signature", w.set_header_field(data, "signature", b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe0"),
        "last signature byte wrong")
    add("bad_major_version", w.set_major_version(data, 5), "major version 5")
    add("entry1_lowercase_contents", w.build_orv(contents, name="contents"),
        'entry 1 is named "contents"')
    add("entry1_other_stream", w.build_orv(contents, before=[("Thumbnail", w.junk(100))]),
        'entry 1 is "Thumbnail"; Contents is entry 2')
    add("entry1_storage", w.set_entry_type(data, layout, 1, w.TYPE_STORAGE),
        "entry 1 is a storage, not a stream")
    add("entry1_size_beyond_chain", w.set_entry_size(data, layout, 1, c.size + 1000),
        "entry 1 claims 1000 more bytes than its mini chain holds")
    add("entry1_start_out_of_range", w.set_entry_start(data, layout, 1, 0x00FFFFFF),
        "entry 1 starts at mini sector 0xFFFFFF")
    add("minichain_freesect", w.set_minifat_entry(data, layout, c.chain[1], w.FREESECT),
        "the MiniFAT chain of Contents holds FREESECT")
    add("minichain_out_of_range", w.set_minifat_entry(data, layout, c.chain[1], 5000),
        "the MiniFAT chain of Contents points past the mini stream")
    add("minichain_cycle", w.set_minifat_entry(data, layout, c.chain[3], c.chain[1]),
        "the MiniFAT chain of Contents loops")
    add("ministream_chain_freesect",
        w.set_fat_entry(data, layout, layout.ministream_sectors[0], w.FREESECT),
        "the FAT chain of the mini stream holds FREESECT")
    add("directory_chain_freesect",
        w.set_fat_entry(data, layout, layout.directory_sectors[-1], w.FREESECT),
        "the directory chain ends with FREESECT instead of ENDOFCHAIN")

    big_desc = w.Contents(datasets=[w.DataSet("Long scan", points(range(300), float))])
    big = w.build_contents(big_desc)
    bdata, blayout = w.build_orv_layout(big)
    bc = blayout.stream("Contents")
    markers = [("maxregsect", w.MAXREGSECT), ("reserved", w.RESERVEDSECT),
               ("difsect", w.DIFSECT), ("fatsect", w.FATSECT), ("endofchain", w.ENDOFCHAIN),
               ("freesect", w.FREESECT), ("out_of_file", blayout.sector_count + 10),
               ("cycle", bc.chain[1])]
    for label, value in markers:
        add("chain_" + label, w.set_fat_entry(bdata, blayout, bc.chain[3], value),
            "the regular FAT chain of Contents holds 0x%08X after its 4th sector" % value,
            contents=big, layout=blayout)

    # Contents stream
    def stream(name, stream_bytes, note):
        add(name, w.build_orv(stream_bytes), note, contents=stream_bytes, layout=None)

    stream("missing_guid", w.build_contents(desc, guid=b""), "no GUID: the size field comes first")
    stream("wrong_guid", w.build_contents(desc, guid=w.GUID[:-1] + b"\x1b"), "GUID last byte wrong")
    stream("size_field_plus_one", w.build_contents(desc, stream_size=len(contents) + 1),
           "H2 says one byte more than the stream")
    stream("size_field_minus_one", w.build_contents(desc, stream_size=len(contents) - 1),
           "H2 says one byte less than the stream")
    stream("huge_no_of_points",
           w.build_contents(desc, datasets=[w.DataSet("Lens A", [(400.0, 1.0)],
                                                       no_of_points=0xFFFFFFFF)]),
           "a data set header claims 0xFFFFFFFF points")
    stream("huge_dataset_count", w.build_contents(desc, dataset_count=0xFFFFFFFF),
           "D2 claims 0xFFFFFFFF data sets")
    stream("huge_list_count", w.set_u32(contents, w.offset_of("L1", desc), 0xFFFFFFFF),
           "L1 claims 0xFFFFFFFF list entries")
    stream("huge_string_length",
           w.set_bytes(contents, w.offset_of("G5", desc), b"\xff\xff\xff"),
           "G5 claims 65535 bytes")

    cuts = [("H3", 2, desc), ("G1", 4, desc), ("G5", 3, desc), ("G17[0]", 6, desc),
            ("D4[0].name", 2, desc), ("D5", 12, desc), ("L1", 2, desc),
            ("L1[0].groups[1][0].string", 1, desc), ("I11.codes", 1, desc),
            ("I18", 3, desc), ("X", 2, desc),
            ("T1", 20, w.Contents(gv_version=3)),
            ("T3", 5, w.Contents(gv_version=3, file_version=3, timestamps=1))]
    for field, into, d in cuts:
        cut = w.cut_contents(field, into, d)
        label = field.replace("[", "_").replace("]", "").replace(".", "_").lower()
        stream("ends_inside_" + label, cut,
               "Contents ends %d byte(s) into %s (H2 states the cut length)" % (into, field))
    return out


def cursor_stream():
    """A "Contents" stream of plain fields at known offsets, for tests of the read cursor."""
    fields = [
        (0, bytes.fromhex("04030201")),                                  # u32 0x01020304
        (4, bytes.fromhex("8877665544332211")),                          # u64 0x1122334455667788
        (12, bytes.fromhex("000000000000f83f")),                         # f64 1.5
        (20, b"\x00"),                                                   # empty string
        (21, b"\x03a\xe9b"),                                             # Latin-1 "aéb"
        (25, b"\xff\x2c\x01" + b"x" * 300),                              # 300-byte string
        (328, b"\xfe" + b"y" * 254),                                      # 254-byte string
        (583, b"\x02ok\x01z"),                                           # two strings to skip
        (588, b"\x4e" + bytes.fromhex("4ed0df7188cb024588ebd943a3091a1a")),  # GUID after a 4E
        (605, bytes.fromhex("01020304")),                                # last u32, ends the stream
    ]
    data = b""
    for offset, chunk in fields:
        assert len(data) == offset, (offset, len(data))
        data += chunk
    return data


def all_fixtures(large=False):
    return valid_fixtures(large) + corrupt_fixtures()


def manifest_entry(f):
    if not f.valid:
        return f.note
    entry = {
        "expected": w.expected_values(f.desc),
        "note": f.note,
        "contents_size": len(f.contents),
    }
    if f.layout is not None:
        c = f.layout.stream("Contents")
        entry["container"] = {
            "major_version": f.layout.major_version,
            "sector_size": f.layout.sector_size,
            "mini_cutoff": f.layout.mini_cutoff,
            "contents_entry": c.entry_id,
            "contents_in_mini_stream": c.in_mini,
            "difat_sectors": len(f.layout.difat_sectors),
        }
    return entry


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    large = "--large" in argv
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    outdir = args[0]
    os.makedirs(outdir, exist_ok=True)
    manifest = {"valid": {}, "corrupt": {}}
    for f in all_fixtures(large):
        with open(os.path.join(outdir, f.name + ".orv"), "wb") as out:
            out.write(f.data)
        manifest["valid" if f.valid else "corrupt"][f.name] = manifest_entry(f)
    # Not a data file: a container whose "Contents" holds the fields of cursor_stream().
    with open(os.path.join(outdir, "cursor_stream.cfb"), "wb") as out:
        out.write(w.build_orv(cursor_stream()))
    with open(os.path.join(outdir, "manifest.json"), "w", encoding="utf-8") as out:
        json.dump(manifest, out, indent=1, sort_keys=True)
        out.write("\n")
    print("%d valid and %d damaged fixtures in %s"
          % (len(manifest["valid"]), len(manifest["corrupt"]), outdir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
