"""The test-side .orv writer (orvfile_writer): containers checked against olefile and a small
decoder of our own, "Contents" streams against hand-counted sizes and bytes."""

import math
import shutil
import struct
import subprocess

import pytest

import orvfile_writer as w

olefile = pytest.importorskip("olefile")

def open_ole(data):
    ole = olefile.OleFileIO(data)
    assert ole.parsing_issues == []
    return ole


# A decoder of our own, to see the bytes the way the C++ reader walks them.

def sector_size_of(data):
    return 4096 if w.get_header_field(data, "major_version") == 4 else 512


def sector(data, n):
    ss = sector_size_of(data)
    return data[(n + 1) * ss:(n + 2) * ss]


def u32s(raw):
    return list(struct.unpack("<%dI" % (len(raw) // 4), raw))


def fat_sector_numbers(data):
    count = w.get_header_field(data, "num_fat_sectors")
    numbers = u32s(data[76:512])
    nxt = w.get_header_field(data, "first_difat_sector")
    for _ in range(w.get_header_field(data, "num_difat_sectors")):
        entries = u32s(sector(data, nxt))
        numbers += entries[:-1]
        nxt = entries[-1]
    assert nxt in (w.ENDOFCHAIN, w.FREESECT)
    return numbers[:count]


def read_fat(data):
    fat = []
    for n in fat_sector_numbers(data):
        fat += u32s(sector(data, n))
    return fat


def chain(table, start):
    out = []
    while start != w.ENDOFCHAIN:
        assert start < len(table) and start not in out
        out.append(start)
        start = table[start]
    return out


def read_chain(data, fat, start):
    return b"".join(sector(data, s) for s in chain(fat, start))


def directory_entries(data):
    fat = read_fat(data)
    raw = read_chain(data, fat, w.get_header_field(data, "first_dir_sector"))
    entries = []
    for off in range(0, len(raw), 128):
        (name, name_len, kind, color, left, right, child, start, size) = struct.unpack_from(
            "<64sHBBIII", raw, off) + struct.unpack_from("<IQ", raw, off + 116)
        entries.append({
            "name": name[:max(name_len - 2, 0)].decode("utf-16-le"),
            "type": kind, "color": color, "left": left, "right": right, "child": child,
            "start": start, "size": size,
        })
    return entries


def read_stream(data, entry_id):
    """Stream bytes by entry id, through the mini stream below the header's cutoff."""
    entries = directory_entries(data)
    fat = read_fat(data)
    e = entries[entry_id]
    if e["size"] < w.get_header_field(data, "mini_stream_cutoff"):
        root = entries[0]
        ministream = read_chain(data, fat, root["start"])[:root["size"]]
        minifat_raw = read_chain(data, fat, w.get_header_field(data, "first_minifat_sector"))
        minifat = u32s(minifat_raw)
        raw = b"".join(ministream[m * 64:(m + 1) * 64] for m in chain(minifat, e["start"]))
    else:
        raw = read_chain(data, fat, e["start"])
    return raw[:e["size"]]


def version_and_shift(data):
    return w.get_header_field(data, "major_version"), w.get_header_field(data, "sector_shift")


def payload(n, seed=0):
    return bytes((i * 7 + seed * 13 + (i >> 8)) % 256 for i in range(n))


SIZES = [0, 1, 63, 64, 65, 1000, 4095, 4096, 4097, 10000, 70000]


class TestContainer:
    @pytest.mark.parametrize("version", [3, 4])
    @pytest.mark.parametrize("size", SIZES)
    def test_single_stream(self, version, size):
        data, layout = w.build_cfb_layout([("Contents", payload(size))], major_version=version)
        ole = open_ole(data)
        assert ole.listdir() == [["Contents"]]
        assert ole.openstream("Contents").read() == payload(size)
        assert ole.get_size("Contents") == size
        assert read_stream(data, 1) == payload(size)
        s = layout.stream("Contents")
        assert s.entry_id == 1 and s.size == size
        assert s.in_mini == (size < 4096)
        if size == 0:
            assert s.start == w.ENDOFCHAIN and s.chain == []
        assert len(data) == layout.file_size == (layout.sector_count + 1) * layout.sector_size

    @pytest.mark.parametrize("version", [3, 4])
    def test_header(self, version):
        data, layout = w.build_cfb_layout([("Contents", payload(100)), ("Big", payload(9000))],
                                          major_version=version)
        ss = 512 if version == 3 else 4096
        assert data[:8] == bytes.fromhex("D0CF11E0A1B11AE1")
        assert data[8:24] == bytes(16)
        h = {name: w.get_header_field(data, name) for name in w.HEADER_FIELDS}
        assert (h["minor_version"], h["major_version"], h["byte_order"]) == (0x3E, version, 0xFFFE)
        assert (h["sector_shift"], h["mini_sector_shift"]) == ({3: 9, 4: 12}[version], 6)
        assert h["num_dir_sectors"] == (0 if version == 3 else len(layout.directory_sectors))
        assert h["num_fat_sectors"] == len(layout.fat_sectors)
        assert h["first_dir_sector"] == layout.directory_start
        assert h["mini_stream_cutoff"] == 4096
        assert h["first_minifat_sector"] == layout.minifat_start
        assert h["num_minifat_sectors"] == len(layout.minifat_sectors) == 1
        assert (h["first_difat_sector"], h["num_difat_sectors"]) == (w.ENDOFCHAIN, 0)
        difat = u32s(data[76:512])
        assert difat[:len(layout.fat_sectors)] == layout.fat_sectors
        assert set(difat[len(layout.fat_sectors):]) == {w.FREESECT}
        assert layout.sector_size == ss
        if version == 4:
            assert data[512:4096] == bytes(4096 - 512)

    @pytest.mark.parametrize("version", [3, 4])
    def test_fat_marks_and_chains(self, version):
        data, layout = w.build_cfb_layout(
            [("A", payload(100)), ("B", payload(5000)), ("C", payload(20000))],
            major_version=version)
        fat = read_fat(data)
        for s in layout.fat_sectors:
            assert fat[s] == w.FATSECT
        assert chain(fat, layout.directory_start) == layout.directory_sectors
        assert chain(fat, layout.minifat_start) == layout.minifat_sectors
        assert chain(fat, layout.ministream_start) == layout.ministream_sectors
        for name in ("B", "C"):
            s = layout.stream(name)
            assert chain(fat, s.start) == s.chain and fat[s.chain[-1]] == w.ENDOFCHAIN
        used = set(layout.fat_sectors + layout.directory_sectors + layout.minifat_sectors
                   + layout.ministream_sectors + layout.stream("B").chain
                   + layout.stream("C").chain)
        assert used == set(range(layout.sector_count))
        assert set(fat[layout.sector_count:]) <= {w.FREESECT}

    @pytest.mark.parametrize("version", [3, 4])
    def test_several_streams_keep_their_entry_ids(self, version):
        streams = [("Contents", payload(700, 1)), ("Zeta", payload(5000, 2)),
                   ("alpha", payload(0)), ("Data2", payload(64, 3)), ("B", payload(12000, 4)),
                   ("\u00c9t\u00e9", payload(3000, 5))]
        data, layout = w.build_cfb_layout(streams, major_version=version)
        ole = open_ole(data)
        assert sorted(ole.listdir()) == sorted([[n] for n, _ in streams])
        for i, (name, content) in enumerate(streams, 1):
            assert ole.openstream(name).read() == content
            assert ole.get_size(name) == len(content)
            assert ole.direntries[i].name == name
            assert read_stream(data, i) == content
            assert layout.stream(i).name == name
            for pos in range(0, len(content), 97):
                assert data[layout.stream_offset(name, pos)] == content[pos]

    @pytest.mark.parametrize("count", [1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 40])
    def test_directory_is_a_red_black_tree_in_name_order(self, count):
        names = ["S%d%s" % (i, "x" * (i % 3)) for i in range(count)][::-1]
        data = w.build_cfb([(n, b"z") for n in names])
        entries = directory_entries(data)
        root = entries[0]
        assert (root["name"], root["type"], root["color"]) == ("Root Entry", 5, w.BLACK)
        seen = []

        def walk(node, parent_red):
            if node == w.NOSTREAM:
                return 1
            e = entries[node]
            red = e["color"] == w.RED
            assert not (red and parent_red)
            left = walk(e["left"], red)
            seen.append(node)
            right = walk(e["right"], red)
            assert left == right
            return left + (0 if red else 1)

        walk(root["child"], False)
        assert sorted(seen) == list(range(1, count + 1))
        keys = [(len(entries[i]["name"]), entries[i]["name"].upper()) for i in seen]
        assert keys == sorted(keys)
        ole = open_ole(data)
        assert len(ole.listdir()) == count

    def test_empty_entries_fill_the_last_directory_sector(self):
        data = w.build_cfb([("Contents", b"abc")])
        entries = directory_entries(data)
        assert len(entries) == 4
        for e in entries[2:]:
            assert (e["name"], e["type"], e["left"], e["right"], e["child"]) == (
                "", 0, w.NOSTREAM, w.NOSTREAM, w.NOSTREAM)

    @pytest.mark.parametrize("order", [
        ("streams", "ministream", "padding", "minifat", "directory", "difat", "fat"),
        ("directory", "streams", "fat", "ministream", "minifat", "padding", "difat"),
    ])
    def test_parts_in_another_order(self, order):
        streams = [("Contents", payload(1500)), ("Big", payload(9000))]
        data, layout = w.build_cfb_layout(streams, order=order, pad_sectors=3)
        ole = open_ole(data)
        for name, content in streams:
            assert ole.openstream(name).read() == content
        assert layout.fat_sectors[0] > 0

    def test_extra_fat_sectors_bring_a_difat_chain(self):
        streams = [("Contents", payload(1500)), ("Big", payload(9000))]
        data, layout = w.build_cfb_layout(streams, extra_fat_sectors=240)
        assert len(layout.fat_sectors) == 241
        assert len(layout.difat_sectors) == 2
        assert w.get_header_field(data, "num_fat_sectors") == 241
        assert w.get_header_field(data, "num_difat_sectors") == 2
        assert fat_sector_numbers(data) == layout.fat_sectors
        fat = read_fat(data)
        assert [fat[s] for s in layout.difat_sectors] == [w.DIFSECT] * 2
        ole = open_ole(data)
        for name, content in streams:
            assert ole.openstream(name).read() == content

    def test_other_mini_cutoff(self):
        streams = [("Contents", payload(1500)), ("Small", payload(100))]
        data, layout = w.build_cfb_layout(streams, mini_cutoff=512)
        assert w.get_header_field(data, "mini_stream_cutoff") == 512
        assert not layout.stream("Contents").in_mini and layout.stream("Small").in_mini
        assert read_stream(data, 1) == payload(1500)
        assert read_stream(data, 2) == payload(100)

    def test_forced_storage(self):
        data, layout = w.build_cfb_layout([("Contents", payload(100), {"storage": "regular"})])
        s = layout.stream(1)
        assert not s.in_mini and layout.ministream_sectors == []
        assert sector(data, s.start)[:100] == payload(100)


@pytest.fixture(scope="module")
def difat_file():
    contents = w.build_contents()
    streams = [("Contents", contents), ("Big", payload(20000))]
    data, layout = w.build_cfb_layout(streams, pad_sectors=w.PAD_SECTORS_FOR_DIFAT)
    return data, layout, streams


class TestDifatChain:
    def test_layout_needs_the_difat_chain(self, difat_file):
        data, layout, streams = difat_file
        assert len(layout.fat_sectors) > 109 and layout.difat_sectors
        assert w.get_header_field(data, "num_difat_sectors") == len(layout.difat_sectors)
        assert w.get_header_field(data, "first_difat_sector") == layout.difat_start
        assert fat_sector_numbers(data) == layout.fat_sectors
        # every sector of the mini stream and of the big stream is described by a FAT sector
        # beyond the 109 of the header
        for s in layout.ministream_sectors + layout.stream("Big").chain:
            assert s // 128 >= 109
        assert layout.stream("Contents").in_mini

    def test_olefile_reads_the_streams(self, difat_file):
        data, layout, streams = difat_file
        ole = open_ole(data)
        assert sorted(ole.listdir()) == [["Big"], ["Contents"]]
        for name, content in streams:
            assert ole.openstream(name).read() == content
            assert ole.get_size(name) == len(content)

    def test_own_decoder_reads_the_streams(self, difat_file):
        data, layout, streams = difat_file
        for i, (name, content) in enumerate(streams, 1):
            assert read_stream(data, i) == content

    def test_difat_entry_offsets(self, difat_file):
        data, layout, streams = difat_file
        for index, s in enumerate(layout.fat_sectors):
            assert struct.unpack_from("<I", data, layout.difat_entry_offset(index))[0] == s
        last = len(layout.difat_sectors) - 1
        assert struct.unpack_from("<I", data, layout.difat_next_offset(last))[0] == w.ENDOFCHAIN
        patched = w.set_difat_entry(data, layout, 110, 7)
        assert fat_sector_numbers(patched)[110] == 7


class TestOrv:
    def test_contents_is_entry_one(self):
        contents = w.build_contents()
        data, layout = w.build_orv_layout(contents, after=[("Thumbnail", payload(5000))])
        ole = open_ole(data)
        assert ole.direntries[1].name == "Contents"
        assert ole.openstream("Contents").read() == contents
        assert layout.stream(1).name == "Contents"

    def test_streams_before_contents(self):
        data, layout = w.build_orv_layout(b"abc", before=[("Header", b"h")], major_version=4)
        assert layout.stream("Contents").entry_id == 2
        assert open_ole(data).direntries[2].name == "Contents"


def minimal(**kw):
    """Every count zero and every string empty: sizes are easy to count by hand."""
    fields = dict(
        file_version=2, gv_version=1, g5="", g7="", g9="", g11="", x_axis_title="",
        y_axis_title="", g17_records=0, g18="", d1="", datasets=[], list_entries=[],
        t1_records=0, t2_records=0, date_and_time="", scan_summary="",
        data_calibration_file="", certificate_file="", system_file="",
        pre_scan_addon_description="", post_scan_addon_description="",
        pre_scan_addon_filename="", post_scan_addon_filename="", type_and_units="",
        type_and_units_codes="", auxiliary_type_and_units="",
        auxiliary_type_and_units_codes="", reference_type="", reference_file="",
        reference_parameter="")
    fields.update(kw)
    return w.Contents(**fields)


def u32_at(data, off):
    return struct.unpack_from("<I", data, off)[0]


class TestContents:
    # Head 28 (GUID 16, H2, H3, H4), graph block 226, data set block 65, information block 60,
    # x type 4.
    @pytest.mark.parametrize("kw,size", [
        (dict(), 383),
        (dict(file_version=3), 387),
        (dict(file_version=4), 391),
        (dict(file_version=5), 391),
        (dict(gv_version=2), 383 + 12 + 4),  # NaN, version, skip 8; empty list block
        (dict(gv_version=3), 399 + 101 + 8),  # G18; two empty tables
        (dict(gv_version=4, g3_flag=2), 508 + 8),
        (dict(gv_version=4, g3_flag=0), 516 + 44),
        (dict(gv_version=4, g3_flag=1), 516 + 44),
        (dict(gv_version=9, g3_flag=7), 516),
        (dict(g17_records=3), 383 + 120),
    ])
    def test_hand_counted_sizes(self, kw, size):
        data = w.build_contents(minimal(**kw))
        assert len(data) == size
        assert u32_at(data, 16) == size

    def test_guid_and_head(self):
        data, off = w.contents_offsets(minimal(file_version=4, timestamps=1))
        assert data[:16] == bytes.fromhex("4ED0DF7188CB024588EBD943A3091A1A")
        assert (off["H2"], off["H3"], off["H4"], off["H5"], off["H6"], off["G"]) == (
            16, 20, 24, 28, 32, 36)
        assert u32_at(data, 20) == 4 and u32_at(data, 28) == 1
        _, off = w.contents_offsets(minimal(file_version=3))
        assert "H6" not in off and off["G"] == 32
        _, off = w.contents_offsets(minimal(file_version=2))
        assert "H5" not in off and off["G"] == 28

    def test_size_field(self):
        desc = w.Contents(prefix=b"\x01\x02\x03", trailing=b"tail")
        data, off = w.contents_offsets(desc)
        assert off["guid"] == 3 and data[3:19] == w.GUID
        assert u32_at(data, off["H2"]) == len(data)
        assert data.endswith(b"tail")
        wrong = w.build_contents(desc, stream_size=12345)
        assert u32_at(wrong, off["H2"]) == 12345
        assert wrong[:off["H2"]] + wrong[off["H2"] + 4:] == data[:off["H2"]] + data[off["H2"] + 4:]

    def test_gv1_starts_with_a_finite_double(self):
        data, off = w.contents_offsets(minimal(gv_version=1, g1_value=1.5))
        raw = data[off["G1"]:off["G1"] + 8]
        assert w.is_finite_double(raw) and struct.unpack("<d", raw)[0] == 1.5
        assert off["G2"] == off["G1"] + 8

    @pytest.mark.parametrize("bits", [w.QUIET_NAN, w.SIGNALLING_NAN, w.NEGATIVE_NAN,
                                      0x7FFFFFFFFFFFFFFF])
    def test_other_versions_start_with_a_nan(self, bits):
        data, off = w.contents_offsets(minimal(gv_version=3, g1_nan=bits))
        assert data[off["G1"]:off["G1"] + 8] == struct.pack("<Q", bits)
        assert math.isnan(struct.unpack_from("<d", data, off["G1"])[0])
        assert u32_at(data, off["G1"] + 8) == 3
        assert off["G2"] == off["G1"] + 20

    def test_g3(self):
        for flag, length in ((0, 56), (1, 56), (2, 12), (5, 12)):
            data, off = w.contents_offsets(minimal(gv_version=4, g3_flag=flag))
            assert u32_at(data, off["G3"] + 8) == flag
            assert off["G4"] - off["G3"] == length
        _, off = w.contents_offsets(minimal(gv_version=3, g3_flag=0))
        assert off["G4"] - off["G3"] == 4

    @pytest.mark.parametrize("length,prefix", [
        (0, b"\x00"), (254, b"\xfe"), (255, b"\xff\xff\x00"), (300, b"\xff\x2c\x01"),
        (65535, b"\xff\xff\xff"),
    ])
    def test_string_prefix(self, length, prefix):
        text = "".join(chr(65 + i % 26) for i in range(length))
        data, off = w.contents_offsets(minimal(g5=text))
        assert data[off["G5"]:off["G5"] + len(prefix)] == prefix
        assert data[off["G5"] + len(prefix):off["G6"]] == text.encode("latin-1")
        assert w.encode_string(text) == prefix + text.encode("latin-1")

    def test_long_form_and_raw_bytes(self):
        assert w.encode_string(w.LongString("ab")) == b"\xff\x02\x00ab"
        assert w.encode_string(b"\x00\xfe") == b"\x02\x00\xfe"
        with pytest.raises(ValueError):
            w.encode_string("x" * 65536)

    def test_latin1(self):
        data, off = w.contents_offsets(minimal(x_axis_title="\u00b5m \u00e9\u00ff"))
        assert data[off["G13"]:off["G14"]] == b"\x05\xb5m \xe9\xff"
        with pytest.raises(UnicodeEncodeError):
            w.build_contents(minimal(x_axis_title="\u20ac"))

    def test_skips_hold_no_zero_byte(self):
        data, off = w.contents_offsets(w.Contents(file_version=4, gv_version=4, g3_flag=0))
        for name, length in (("H4", 4), ("H6", 4), ("G1.skip", 8), ("G2", 24), ("G3", 8),
                             ("G3.skip44", 44), ("G6", 60), ("G16", 68), ("G17[0]", 40),
                             ("G18", 20), ("G18.skip80", 80), ("D3", 60), ("D4[0].skip", 4),
                             ("L1[0].skip88", 88), ("T1[0]", 60), ("T2[0]", 108), ("I17", 36),
                             ("I18", 8)):
            assert 0 not in data[off[name]:off[name] + length], name

    def test_data_sets(self):
        sets = [w.DataSet("One", [(400.0, 1.0), (400.0, 2.0)]), w.DataSet("Two", [(1.5, -3.0)])]
        data, off = w.contents_offsets(minimal(datasets=sets))
        assert u32_at(data, off["D2"]) == 2
        assert off["D4"] == off["D3"] + 60
        assert u32_at(data, off["D4[0]"]) == 2 and u32_at(data, off["D4[1]"]) == 1
        assert data[off["D4[0].name"]:off["D4[1]"]] == b"\x03One"
        assert off["D5"] == off["D4[1]"] + 4 + 4 + 4
        assert struct.unpack_from("<6d", data, off["D5"]) == (400.0, 1.0, 400.0, 2.0, 1.5, -3.0)
        assert off["D5[1]"] == off["D5"] + 32
        # I18: 4 bytes a data set
        assert off["X"] - off["I18"] == 8
        assert len(data) == 383 + 2 * (4 + 4 + 4) + 3 * 16 + 8

    def test_count_overrides(self):
        sets = [w.DataSet("One", [(1.0, 2.0)], no_of_points=0xFFFFFFFF)]
        data, off = w.contents_offsets(minimal(datasets=sets, dataset_count=7))
        assert u32_at(data, off["D2"]) == 7
        assert u32_at(data, off["D4[0]"]) == 0xFFFFFFFF
        assert struct.unpack_from("<2d", data, off["D5"]) == (1.0, 2.0)

    def test_list_block(self):
        entries = [(999, [["a", "bc"]], ""), w.ListEntry(1, "", [["a", "bc"]]),
                   (2, [[], ["x"], ["y", "z", "w"]])]
        data, off = w.contents_offsets(minimal(gv_version=2, list_entries=entries))
        assert u32_at(data, off["L1"]) == 3
        assert off["L1[1]"] - off["L1[0]"] == 122
        assert off["L1[2]"] - off["L1[1]"] == 114
        assert u32_at(data, off["L1[0]"]) == 999
        assert u32_at(data, off["L1[2].groups"]) == 3
        assert u32_at(data, off["L1[2].groups[2]"]) == 3
        s = off["L1[2].groups[2][1].string"]
        assert data[s:s + 2] == b"\x01z"
        assert data[off["L1[2].title"]:off["L1[2].groups"]] == b"\x0aList entry"
        _, off = w.contents_offsets(minimal(gv_version=1, list_entries=entries))
        assert "L1" not in off

    def test_extra_tables_and_timestamps(self):
        sets = [w.DataSet("A", [(1.0, 1.0), (2.0, 2.0)]),
                w.DataSet("B", [(1.0, 1.0)], timestamps=[b"T" * 16])]
        desc = minimal(file_version=3, timestamps=1, gv_version=3, datasets=sets,
                       t1_records=2, t2_records=1)
        data, off = w.contents_offsets(desc)
        assert u32_at(data, off["T1"]) == 2
        assert off["T2"] == off["T1"] + 4 + 120
        assert u32_at(data, off["T2"]) == 1
        assert off["T3"] == off["T2"] + 4 + 108
        assert off["T3[1]"] == off["T3"] + 32
        assert data[off["T3[1]"]:off["I"]] == b"T" * 16
        for kw in (dict(timestamps=0), dict(file_version=2), dict(gv_version=2)):
            _, off = w.contents_offsets(desc, **kw)
            assert "T3" not in off

    def test_information_block(self):
        desc = w.Contents()
        data, off = w.contents_offsets(desc)
        assert data[off["I1"]:off["I2"]] == b"\x132026-03-14 10:22:05"
        assert data[off["I11"]:off["I11.codes"]] == b"\x11Transmittance / %"
        assert data[off["I11.codes"]:off["I12"]] == b"\x031 2"
        assert u32_at(data, off["I3"]) == 0 and u32_at(data, off["I13"]) == 1
        assert off["I18"] - off["I17"] == 36
        assert u32_at(data, off["X"]) == 0 and off["end"] == len(data) == off["X"] + 4

    def test_offsets_follow_the_file_order(self):
        data, off = w.contents_offsets(w.Contents(file_version=4, timestamps=1, gv_version=4,
                                                  g3_flag=1))
        order = ["guid", "H2", "H3", "H4", "H5", "H6", "G1", "G1.version", "G1.skip", "G2",
                 "G3", "G3.flag", "G3.skip44", "G4", "G5", "G6", "G7", "G8", "G9", "G10",
                 "G11", "G12", "G13", "G14", "G15", "G16", "G17", "G18", "G18.string",
                 "G18.skip80", "D1", "D2", "D3", "D4", "D5", "L1", "T1", "T2", "T3"] + [
                     "I%d" % i for i in range(1, 19)] + ["X", "end"]
        positions = [off[name] for name in order]
        assert positions == sorted(positions)
        assert len(set(positions)) == len(positions)

    def test_offset_of_and_cut(self):
        desc = w.Contents()
        assert w.offset_of("G13", desc) == w.contents_offsets(desc)[1]["G13"]
        with pytest.raises(KeyError):
            w.offset_of("T3", desc)
        cut = w.cut_contents("G13", 3, desc)
        assert len(cut) == w.offset_of("G13", desc) + 3
        assert u32_at(cut, 16) == len(cut)
        assert w.cut_contents("G13", 3, desc, fix_size=False)[16:20] == \
            w.build_contents(desc)[16:20]
        assert w.cut_contents("H2", 2) == w.build_contents()[:18]

    def test_description_keywords(self):
        assert w.build_contents(x_type=3) == w.build_contents(w.Contents(), x_type=3)
        assert w.build_contents() == w.build_contents(w.Contents())


class TestGsf:
    """libgsf, a third reader, when its command-line tool is installed."""

    @pytest.mark.parametrize("options", [dict(major_version=3), dict(major_version=4),
                                         dict(extra_fat_sectors=200)])
    def test_gsf_reads_the_streams(self, tmp_path, options):
        gsf = shutil.which("gsf")
        if gsf is None:
            pytest.skip("gsf (libgsf-bin) not installed")
        streams = [("Contents", w.build_contents()), ("Big", payload(9000))]
        path = tmp_path / "file.orv"
        path.write_bytes(w.build_cfb(streams, **options))
        for name, content in streams:
            out = subprocess.run([gsf, "cat", str(path), name], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, check=True)
            assert out.stdout == content
