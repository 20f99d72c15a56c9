""".orv reading across many files: random descriptions and containers, containers written by
another tool (gsf), DIFAT chains, hostile counts under a memory limit, and the mini stream
cutoff boundary."""

import json
import os
import shutil
import subprocess
import sys
import textwrap

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _orvpy_core
import orvfile_writer as w
from _orvpy_core import io
from test_io_json import expected_document

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "orv")


# ----------------------------------------------------------------------------------------------
# What the module gives back, in the shape of the writer's expected_values
# ----------------------------------------------------------------------------------------------

# expected_values keys the OrvFile cannot show: the raw type/units texts are only kept split,
# the x type only as its text, and the points come back as scans (checked on their own).
NOT_IN_ORVFILE = ("type_and_units", "auxiliary_type_and_units", "x_type")


def orvfile_facts(f):
    info = f.data_info
    tu = info.type_and_units
    aux = info.auxiliary_type_and_units
    return {
        "file_version": f.meta.file_version,
        "has_timestamps": f.meta.has_timestamps,
        "x_type_text": f.meta.x_type,
        "gv_version": f.graph.gv_version,
        "x_axis_title": f.graph.x_axis_title,
        "y_axis_title": f.graph.y_axis_title,
        "datasets": [{"name": ds.name, "no_of_points": ds.no_of_points} for ds in f.data_sets],
        "date_and_time": info.date_and_time,
        "scan_summary": info.scan_summary,
        "apply_data_calibration": info.apply_data_calibration,
        "data_calibration_file": info.data_calibration_file,
        "certificate_file": info.certificate_file,
        "system_file": info.system_file,
        "pre_scan_addon_description": info.pre_scan_addon_description,
        "post_scan_addon_description": info.post_scan_addon_description,
        "pre_scan_addon_filename": info.pre_scan_addon_filename,
        "post_scan_addon_filename": info.post_scan_addon_filename,
        "type": tu.measurement_type,
        "units": tu.units,
        "type_code": tu.measurement_type_code,
        "units_code": tu.units_code,
        "auxiliary_type": aux.measurement_type,
        "auxiliary_units": aux.units,
        "auxiliary_type_code": aux.measurement_type_code,
        "auxiliary_units_code": aux.units_code,
        "apply_reference": info.apply_reference,
        "reference_type": info.reference_type,
        "reference_file": info.reference_file,
        "reference_parameter": info.reference_parameter,
    }


def expected_facts(expected):
    out = {k: v for k, v in expected.items() if k not in NOT_IN_ORVFILE}
    out["datasets"] = [{"name": ds["name"], "no_of_points": ds["no_of_points"]}
                       for ds in expected["datasets"]]
    return out


def scan_lists(points):
    """[keys, values] of a scan built from points in file order: a repeated x keeps the later
    y, the keys ascending."""
    by_x = {}
    for x, y in points:
        by_x[x] = y
    keys = sorted(by_x)
    return [keys, [by_x[k] for k in keys]]


def check_file_bytes(data, desc):
    """Every way of reading the file bytes agrees with the description."""
    expected = w.expected_values(desc)
    buffer = list(data)

    f = io.load_orvfile_binary_data(buffer)
    assert orvfile_facts(f) == expected_facts(expected)
    for got, want in zip(f.data_sets, expected["datasets"]):
        assert got.data.to_lists() == scan_lists(want["points"])

    scans = io.load_orv_scan_binary_data(buffer)
    by_name = {}
    for ds in expected["datasets"]:
        by_name[ds["name"]] = scan_lists(ds["points"])  # the last data set of a name wins
    assert list(scans) == sorted(by_name, key=lambda n: n.encode("utf-8"))
    assert {name: scan.to_lists() for name, scan in scans.items()} == by_name

    doc = json.loads(io.orvfile_to_json_binary_data(buffer, -1, False))
    assert doc == expected_document(desc)
    for got, want in zip(doc.get("data_sets", []), expected["datasets"]):
        assert [got["data"]["x"], got["data"]["y"]] == \
            [[p[0] for p in want["points"]], [p[1] for p in want["points"]]]
    return f


# ----------------------------------------------------------------------------------------------
# a. Random descriptions in random containers
# ----------------------------------------------------------------------------------------------

LATIN1 = "aAzZ09 _-./()%\u00e9\u00b5\u00e4\u00df\u00ff\u00c9"
SHORT_TEXT = st.text(LATIN1, max_size=12)


def long_text(alphabet):
    """Texts of 255 to 300 characters (the long string form), from a short drawn pattern:
    drawing hundreds of single characters would make each example slow."""
    return st.tuples(st.text(alphabet, min_size=1, max_size=5), st.integers(255, 300)).map(
        lambda t: (t[0] * 300)[:t[1]])


LONG_TEXT = long_text(LATIN1)
TEXT = st.one_of(SHORT_TEXT, SHORT_TEXT.map(w.LongString), LONG_TEXT)
NAMES = st.one_of(
    st.sampled_from(["Lens A", "Lens B", "\u00e9", "\u00b5m", "", "Z", "a"]),
    st.text("ab\u00e9\u00b5", max_size=3),
    long_text("n\u00e9\u00b5"),
)
XS = st.sampled_from([380.0, 400.0, 400.5, -1.0, 0.0, 1e-3, 780.0, 2.5e9])
YS = st.sampled_from([0.0, -0.0, 1.5, 2.0, -3.25, 1e300, 5e-324, 0.1])
POINTS = st.lists(st.tuples(XS, YS), max_size=6)
DATASETS = st.lists(st.builds(w.DataSet, name=NAMES, points=POINTS), max_size=3)
MARKERS = st.sampled_from([0, 1, 2, 7, 998, 999, 1000, 0xFFFFFFFF])
LIST_ENTRIES = st.lists(
    st.builds(w.ListEntry, marker=MARKERS, title=TEXT,
              groups=st.lists(st.lists(TEXT, max_size=3), max_size=3)),
    max_size=3,
)
TYPE_UNITS = st.one_of(
    st.sampled_from(["Transmittance / %", "Absorbance", "Reflectance / %  ", "a / b / c", "",
                     " / ", "Irradiance / W/m\u00b2 \t ", "Zeit/ms", "x /y", "Gr\u00f6\u00dfe / \u00b5W \n",
                     "T /  % \x0b\x0c\r"]),
    st.text("ab /\t%\u00b5", max_size=10),
)
CODES = st.one_of(
    st.sampled_from(["", "3 7", "12", "x", " 5 ", "-2 +3", "99999999999 1", "4 x", "\t8\n9",
                     "1 2 3", "-99999999999", "+", "7-", "  "]),
    st.text("0123456789 -+x", max_size=8),
)
FLAGS = st.sampled_from([0, 1, 2, 0xFFFFFFFF])


@st.composite
def descriptions(draw):
    gv_version = draw(st.integers(1, 5))
    return w.Contents(
        prefix=draw(st.binary(max_size=40)),
        file_version=draw(st.integers(1, 5)),
        timestamps=draw(st.sampled_from([0, 1, 5])),
        gv_version=gv_version,
        g1_value=draw(st.sampled_from([1.5, 0.0, -7.25, 1e10])),
        g1_nan=draw(st.sampled_from([w.QUIET_NAN, w.SIGNALLING_NAN, w.NEGATIVE_NAN])),
        g3_flag=draw(st.integers(0, 3)),
        g5=draw(TEXT), g7=draw(TEXT), g9=draw(TEXT), g11=draw(TEXT), g18=draw(TEXT), d1=draw(TEXT),
        x_axis_title=draw(TEXT),
        y_axis_title=draw(TEXT),
        g17_records=draw(st.integers(0, 3)),
        datasets=draw(DATASETS),
        list_entries=draw(LIST_ENTRIES),
        t1_records=draw(st.integers(0, 3)),
        t2_records=draw(st.integers(0, 3)),
        date_and_time=draw(TEXT),
        scan_summary=draw(TEXT),
        apply_data_calibration=draw(FLAGS),
        data_calibration_file=draw(TEXT),
        certificate_file=draw(TEXT),
        system_file=draw(TEXT),
        pre_scan_addon_description=draw(TEXT),
        post_scan_addon_description=draw(TEXT),
        pre_scan_addon_filename=draw(TEXT),
        post_scan_addon_filename=draw(TEXT),
        type_and_units=draw(TYPE_UNITS),
        type_and_units_codes=draw(CODES),
        auxiliary_type_and_units=draw(TYPE_UNITS),
        auxiliary_type_and_units_codes=draw(CODES),
        apply_reference=draw(FLAGS),
        reference_type=draw(TEXT),
        reference_file=draw(TEXT),
        reference_parameter=draw(TEXT),
        x_type=draw(st.integers(0, 7)),
        trailing=draw(st.binary(max_size=40)),
    )


@settings(max_examples=150, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(desc=descriptions(), major=st.sampled_from([3, 4]), in_mini=st.booleans(),
       slack=st.integers(0, 200))
def test_random_files_read_as_described(desc, major, in_mini, slack):
    contents = w.build_contents(desc)
    # The cutoff decides where the stream goes: below it in the mini stream, else a chain.
    cutoff = len(contents) + 1 + slack if in_mini else max(1, len(contents) - slack)
    data, layout = w.build_orv_layout(contents, major_version=major, mini_cutoff=cutoff)
    assert layout.stream("Contents").in_mini == in_mini
    check_file_bytes(data, desc)


def test_names_sort_by_their_utf8_bytes():
    names = ["\u00e9", "Z", "\u00b5", "a", "", "A", "\u00ff"]
    desc = w.Contents(datasets=[w.DataSet(n, [(1.0, float(i))]) for i, n in enumerate(names)])
    scans = io.load_orv_scan_binary_data(list(w.build_orv(w.build_contents(desc))))
    assert list(scans) == ["", "A", "Z", "a", "\u00b5", "\u00e9", "\u00ff"]
    check_file_bytes(w.build_orv(w.build_contents(desc)), desc)


def test_last_data_set_of_a_name_wins():
    desc = w.Contents(datasets=[
        w.DataSet("S", [(1.0, 1.0), (2.0, 2.0)]),
        w.DataSet("T", [(5.0, 5.0)]),
        w.DataSet("S", [(3.0, 3.0), (1.0, 4.0), (3.0, 6.0)]),
    ])
    scans = io.load_orv_scan_binary_data(list(w.build_orv(w.build_contents(desc))))
    assert {k: v.to_lists() for k, v in scans.items()} == {"S": [[1.0, 3.0], [4.0, 6.0]],
                                                          "T": [[5.0], [5.0]]}
    check_file_bytes(w.build_orv(w.build_contents(desc)), desc)


def test_scans_from_a_file_path(tmp_path):
    desc = w.Contents(datasets=[w.DataSet("B", [(2.0, 1.0), (1.0, 2.0)]), w.DataSet("A", [])])
    data = w.build_orv(w.build_contents(desc))
    path = tmp_path / "lens.orv"
    path.write_bytes(data)
    from_file = io.load_orv_scan_data(str(path))
    assert {k: v.to_lists() for k, v in from_file.items()} == {"A": [[], []], "B": [[1.0, 2.0], [2.0, 1.0]]}
    assert orvfile_facts(io.load_orvfile(str(path))) == expected_facts(w.expected_values(desc))


# ----------------------------------------------------------------------------------------------
# b. Containers written by gsf
# ----------------------------------------------------------------------------------------------

def gsf_container(tmp_path, contents):
    folder = tmp_path / "gsf"
    folder.mkdir()
    (folder / "Contents").write_bytes(contents)
    out = folder / "out.orv"
    run = subprocess.run(["gsf", "createole", str(out), str(folder / "Contents")],
                         capture_output=True, timeout=60)
    assert run.returncode == 0, run.stderr
    return out.read_bytes()


BIG = w.Contents(datasets=[
    w.DataSet("Lens A", [(380.0 + i, i / 7.0) for i in range(300)]),
    w.DataSet("Lens B", [(380.0 + i, i / 3.0) for i in range(100)]),
])


@pytest.mark.skipif(shutil.which("gsf") is None, reason="gsf (libgsf-bin) is not installed")
@pytest.mark.parametrize("desc, big", [(w.Contents(), False), (BIG, True)], ids=["mini-stream", "regular-chain"])
def test_gsf_containers(tmp_path, desc, big):
    contents = w.build_contents(desc)
    # gsf keeps the usual 4096-byte cutoff: a smaller stream goes into the mini stream.
    assert (len(contents) > 4096) == big
    data = gsf_container(tmp_path, contents)
    assert w.get_header_field(data, "mini_stream_cutoff") == 4096
    ours = w.build_orv(contents)
    assert data != ours
    check_file_bytes(data, desc)
    for indent, ensure_ascii in ((-1, True), (2, False)):
        assert io.orvfile_to_json_binary_data(list(data), indent, ensure_ascii) == \
            io.orvfile_to_json_binary_data(list(ours), indent, ensure_ascii)
    path = tmp_path / "gsf" / "out.orv"
    assert orvfile_facts(io.load_orvfile(str(path))) == orvfile_facts(io.load_orvfile_binary_data(list(ours)))


# ----------------------------------------------------------------------------------------------
# c. FAT sectors listed in the DIFAT chain
# ----------------------------------------------------------------------------------------------

DIFAT_DESC = w.Contents(datasets=[w.DataSet("Lens D", [(380.0 + i, i * 0.25) for i in range(200)])])


@pytest.fixture(scope="module")
def difat_file(tmp_path_factory):
    contents = w.build_contents(DIFAT_DESC)
    data, layout = w.build_orv_layout(contents, pad_sectors=w.PAD_SECTORS_FOR_DIFAT,
                                      mini_cutoff=1024)
    path = tmp_path_factory.mktemp("difat") / "difat.orv"
    path.write_bytes(data)
    return data, layout, path


def test_difat_chain(difat_file):
    data, layout, path = difat_file
    stream = layout.stream("Contents")
    assert not stream.in_mini and len(stream.chain) > 1
    assert layout.difat_sectors
    # Every sector of the Contents chain has its FAT entry in a FAT sector that only the DIFAT
    # chain names (the header holds the first 109).
    assert min(stream.chain) // layout.entries_per_fat_sector >= w.HEADER_DIFAT_ENTRIES
    check_file_bytes(data, DIFAT_DESC)
    assert orvfile_facts(io.load_orvfile(str(path))) == expected_facts(w.expected_values(DIFAT_DESC))
    assert io.orvfile_to_json(str(path), 1, True) == \
        io.orvfile_to_json_binary_data(bytearray(data), 1, True)


# ----------------------------------------------------------------------------------------------
# d. Hostile counts under an address space limit
# ----------------------------------------------------------------------------------------------

CHILD = textwrap.dedent("""
    import json, resource, sys, time
    limit = 1 << 30
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    if hard != resource.RLIM_INFINITY and hard < limit:
        limit = hard
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
    sys.path.insert(0, sys.argv[1])
    from _orvpy_core import io
    results = []
    for path in sys.argv[2:]:
        with open(path, "rb") as fh:
            buffer = list(fh.read())
        calls = [
            ("load_orvfile_binary_data", lambda: io.load_orvfile_binary_data(buffer)),
            ("load_orvfile", lambda: io.load_orvfile(path)),
            ("load_orv_scan_binary_data", lambda: io.load_orv_scan_binary_data(buffer)),
            ("load_orv_scan_data", lambda: io.load_orv_scan_data(path)),
            ("orvfile_to_json_binary_data", lambda: io.orvfile_to_json_binary_data(buffer, 2, True)),
            ("orvfile_to_json", lambda: io.orvfile_to_json(path, -1, False)),
        ]
        for name, call in calls:
            start = time.monotonic()
            try:
                call()
                outcome = ["returned", ""]
            except BaseException as exc:
                outcome = [type(exc).__name__, str(exc)]
            results.append([path, name] + outcome + [time.monotonic() - start])
    print(json.dumps(results))
""")

HUGE = 0xFFFFFFFF


def hostile_contents():
    base = w.Contents()
    v3 = w.Contents(gv_version=3, file_version=3, timestamps=1)
    plain = w.build_contents(base)
    plain_v3 = w.build_contents(v3)
    return {
        "points": w.build_contents(base, datasets=[w.DataSet("Lens A", [(400.0, 1.0)], no_of_points=HUGE)]),
        "points_no_data": w.build_contents(base, datasets=[w.DataSet("Lens A", [], no_of_points=HUGE)]),
        "points_4gb": w.build_contents(base, datasets=[w.DataSet("Lens A", [(1.0, 2.0)], no_of_points=0x10000000)]),
        "points_with_timestamps": w.build_contents(v3, datasets=[w.DataSet("T", [(1.0, 2.0)], no_of_points=HUGE)]),
        "dataset_count": w.build_contents(base, dataset_count=HUGE, datasets=[]),
        "dataset_count_with_sets": w.build_contents(base, dataset_count=HUGE),
        "g17_records": w.set_u32(plain, w.offset_of("G17", base), HUGE),
        "list_count": w.set_u32(plain, w.offset_of("L1", base), HUGE),
        "group_count": w.set_u32(plain, w.offset_of("L1[0].groups", base), HUGE),
        "item_count": w.set_u32(plain, w.offset_of("L1[0].groups[1]", base), HUGE),
        "t1_records": w.set_u32(plain_v3, w.offset_of("T1", v3), HUGE),
        "t2_records": w.set_u32(plain_v3, w.offset_of("T2", v3), HUGE),
    }


def test_hostile_counts_fail_cleanly_under_a_memory_limit(tmp_path):
    paths = [os.path.join(FIXTURES, name + ".orv") for name in
             ("huge_no_of_points", "huge_dataset_count", "huge_list_count", "huge_string_length")]
    for name, contents in sorted(hostile_contents().items()):
        path = tmp_path / (name + ".orv")
        path.write_bytes(w.build_orv(contents))
        paths.append(str(path))
    assert all(os.path.getsize(p) <= 4096 for p in paths)
    module_dir = os.path.dirname(os.path.abspath(_orvpy_core.__file__))
    run = subprocess.run([sys.executable, "-c", CHILD, module_dir] + paths,
                         capture_output=True, timeout=60, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stderr == ""
    results = json.loads(run.stdout)
    assert len(results) == 6 * len(paths)
    for path, call, kind, message, seconds in results:
        where = "%s on %s" % (call, os.path.basename(path))
        assert kind == "RuntimeError", (where, kind, message)
        assert message in ("Attempt to read past end of __buffer.", "File corrupted"), (where, message)
        assert seconds < 5, where


# ----------------------------------------------------------------------------------------------
# e. The mini stream cutoff
# ----------------------------------------------------------------------------------------------

# The stream data first, so that both kinds of storage start at sector 0: the regular chain of
# whichever stream is not in the mini stream begins at regular sector 0, and the one in the mini
# stream at mini sector 0.
STREAMS_FIRST = ("streams", "fat", "difat", "directory", "minifat", "padding", "ministream")


def contents_of_size(size, date_and_time):
    base = w.build_contents(date_and_time=date_and_time)
    assert len(base) < size
    return w.build_contents(date_and_time=date_and_time, trailing=w.junk(size - len(base), 9))


def cutoff_file(cutoff, size, major):
    """A file whose Contents entry (size bytes) sits where the cutoff says, plus a decoy.

    "Decoy" (entry 2) is an equally long, valid Contents stream that differs only in its date,
    stored the other way: in a regular chain from sector 0 when Contents is in the mini stream,
    in the mini stream from mini sector 0 when Contents has a regular chain. Contents starts at
    sector 0 of its own storage, so a reader that takes the wrong storage for the entry reads
    the decoy without any error, and only the date shows which one it read.
    """
    right = "regular" if size >= cutoff else "mini"
    wrong = "mini" if right == "regular" else "regular"
    real = contents_of_size(size, "real 2026-03-14")
    decoy = contents_of_size(size, "decoy 1999-12-31")
    data, layout = w.build_cfb_layout(
        [("Contents", real, {"storage": right}), ("Decoy", decoy, {"storage": wrong})],
        major_version=major, mini_cutoff=cutoff, order=STREAMS_FIRST)
    contents, other = layout.stream("Contents"), layout.stream("Decoy")
    assert contents.in_mini == (right == "mini") and other.in_mini == (wrong == "mini")
    assert contents.start == other.start == 0 and contents.size == other.size == size
    return data, layout


def date_read(data):
    return io.load_orvfile_binary_data(list(data)).data_info.date_and_time


@pytest.mark.parametrize("major", [3, 4])
@pytest.mark.parametrize("cutoff", [4096, 2000])
def test_stream_as_long_as_the_cutoff_has_a_regular_chain(major, cutoff):
    data, _ = cutoff_file(cutoff, cutoff, major)
    assert date_read(data) == "real 2026-03-14"
    # One more in the header's cutoff and the same entry belongs in the mini stream.
    assert date_read(w.set_mini_cutoff(data, cutoff + 1)) == "decoy 1999-12-31"


@pytest.mark.parametrize("major", [3, 4])
@pytest.mark.parametrize("cutoff", [4096, 2000])
def test_stream_one_byte_shorter_than_the_cutoff_is_in_the_mini_stream(major, cutoff):
    data, _ = cutoff_file(cutoff, cutoff - 1, major)
    assert date_read(data) == "real 2026-03-14"
    # One less in the header's cutoff and the same entry has a regular chain.
    assert date_read(w.set_mini_cutoff(data, cutoff - 1)) == "decoy 1999-12-31"


@pytest.mark.parametrize("major", [3, 4])
def test_cutoff_decided_by_the_entry_size(major):
    # The same bytes in a regular chain, but the entry (and H2) one byte shorter: the entry is
    # now below the cutoff, so the reader must take the mini stream, which holds the decoy.
    cutoff = 4096
    data, layout = cutoff_file(cutoff, cutoff, major)
    shorter = w.set_entry_size(data, layout, 1, cutoff - 1)
    shorter = w.set_entry_size(shorter, layout, 2, cutoff - 1)
    for key in ("Contents", "Decoy"):
        shorter = w.patch_stream(shorter, layout, key, w.offset_of("H2"), (cutoff - 1).to_bytes(4, "little"))
    assert date_read(shorter) == "decoy 1999-12-31"
