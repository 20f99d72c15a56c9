"""io.orvfile_to_json / orvfile_to_json_binary_data: the JSON document of an .orv file."""

import json
import math
import re

import pytest

import orvfile_writer as w
from _orvpy_core import io


def orv(desc=None, **overrides):
    return list(w.build_orv(w.build_contents(desc, **overrides)))


def to_json(desc=None, indent=-1, ensure_ascii=False, **overrides):
    return io.orvfile_to_json_binary_data(orv(desc, **overrides), indent, ensure_ascii)


def expected_document(desc=None, **overrides):
    """The JSON document a reader must write for the description, from the writer's oracle."""
    e = w.expected_values(desc, **overrides)

    def type_units(prefix):
        return {
            "measurement_type": e[prefix + "type"],
            "measurement_type_code": e[prefix + "type_code"],
            "units": e[prefix + "units"],
            "units_code": e[prefix + "units_code"],
        }

    doc = {
        "data_info": {
            "apply_data_calibration": e["apply_data_calibration"],
            "apply_reference": e["apply_reference"],
            "auxiliary_type_and_units": type_units("auxiliary_"),
            "certificate_file": e["certificate_file"],
            "data_calibration_file": e["data_calibration_file"],
            "date_and_time": e["date_and_time"],
            "post_scan_addon_description": e["post_scan_addon_description"],
            "post_scan_addon_filename": e["post_scan_addon_filename"],
            "pre_scan_addon_description": e["pre_scan_addon_description"],
            "pre_scan_addon_filename": e["pre_scan_addon_filename"],
            "reference_file": e["reference_file"],
            "reference_parameter": e["reference_parameter"],
            "reference_type": e["reference_type"],
            "scan_summary": e["scan_summary"],
            "system_file": e["system_file"],
            "type_and_units": type_units(""),
        },
        "graph": {
            "gv_version": e["gv_version"],
            "x_axis_title": e["x_axis_title"],
            "y_axis_title": e["y_axis_title"],
        },
        "meta": {
            "file_version": e["file_version"],
            "has_timestamps": e["has_timestamps"],
            "x_type": e["x_type_text"],
        },
    }
    if e["datasets"]:
        doc["data_sets"] = [
            {
                "data": {"x": [p[0] for p in ds["points"]], "y": [p[1] for p in ds["points"]]},
                "name": ds["name"],
                "no_of_points": ds["no_of_points"],
            }
            for ds in e["datasets"]
        ]
    return doc


def key_orders(text):
    """Every object's keys in the order of the text, depth first."""
    orders = []

    def hook(pairs):
        orders.append([k for k, _ in pairs])
        return dict(pairs)

    json.loads(text, object_pairs_hook=hook)
    return orders


def outside_strings(text):
    """The text with every JSON string literal replaced by ""."""
    return re.sub(r'"(?:[^"\\]|\\.)*"', '""', text)


FULL_INFO = w.Contents(
    file_version=3,
    timestamps=1,
    gv_version=3,
    x_type=2,
    x_axis_title="Zeit (ms)",
    y_axis_title="Beleuchtungsst\u00e4rke (lx)",
    datasets=[
        w.DataSet("Probe \u00e9 1", [(0.0, 1.0), (1.5, 2.25), (3.0, 4.5)]),
        w.DataSet("Probe 2", [(0.0, -1.0), (1.5, -2.25)]),
    ],
    date_and_time="14.03.2026 10:22",
    scan_summary="Flicker, 2 Proben",
    apply_data_calibration=7,
    data_calibration_file="cal.dat",
    certificate_file="cert \u00b5.cer",
    system_file="sys.sys",
    pre_scan_addon_description="pre d",
    post_scan_addon_description="post d",
    pre_scan_addon_filename="pre.dll",
    post_scan_addon_filename="post.dll",
    type_and_units="Beleuchtungsst\u00e4rke / lx  \t",
    type_and_units_codes=" 12  -3 ",
    auxiliary_type_and_units="Signal",
    auxiliary_type_and_units_codes="5",
    apply_reference=0,
    reference_type="Dunkel",
    reference_file="",
    reference_parameter="0",
)

DESCRIPTIONS = {
    "lens": w.Contents(),
    "full_info": FULL_INFO,
    "codes_absent": w.Contents(type_and_units_codes="", auxiliary_type_and_units_codes="  "),
    "codes_not_numbers": w.Contents(type_and_units_codes="x", auxiliary_type_and_units_codes="4 y"),
    "x_type_7": w.Contents(x_type=7),
    "x_type_um": w.Contents(x_type=4),
    "repeated_x": w.Contents(datasets=[
        w.DataSet("R", [(500.0, 1.0), (400.0, 2.0), (500.0, 3.0), (400.0, 4.0), (450.0, 5.0)]),
        w.DataSet("R", [(1.0, 1.0)]),
        w.DataSet("empty", []),
    ]),
    "no_data_sets": w.Contents(datasets=[]),
    "fv1_gv1": w.Contents(file_version=1, gv_version=1, timestamps=1, x_type=1),
    "fv5_gv5": w.Contents(file_version=5, gv_version=5, g3_flag=3, timestamps=2, x_type=3),
    "long_strings": w.Contents(
        scan_summary="\u00e9" * 300,
        datasets=[w.DataSet("n" * 255, [(1.0, 2.0)])],
        reference_parameter=w.LongString("short"),
    ),
}


@pytest.mark.parametrize("name", sorted(DESCRIPTIONS))
@pytest.mark.parametrize("indent", [-1, 0, 2])
@pytest.mark.parametrize("ensure_ascii", [False, True])
def test_document_matches_the_oracle(name, indent, ensure_ascii):
    desc = DESCRIPTIONS[name]
    text = to_json(desc, indent, ensure_ascii)
    assert json.loads(text) == expected_document(desc)


@pytest.mark.parametrize("name", sorted(DESCRIPTIONS))
def test_keys_are_sorted_at_every_level(name):
    for keys in key_orders(to_json(DESCRIPTIONS[name])):
        assert keys == sorted(keys, key=lambda k: k.encode("utf-8"))


def test_key_order_in_the_text():
    orders = key_orders(to_json(w.Contents()))
    assert ["data_info", "data_sets", "graph", "meta"] in orders
    assert ["data", "name", "no_of_points"] in orders
    assert ["x", "y"] in orders
    assert ["gv_version", "x_axis_title", "y_axis_title"] in orders
    assert ["file_version", "has_timestamps", "x_type"] in orders
    assert ["measurement_type", "measurement_type_code", "units", "units_code"] in orders
    text = to_json(w.Contents(), indent=2)
    positions = [text.index('\n  "%s": ' % k) for k in ("data_info", "data_sets", "graph", "meta")]
    assert positions == sorted(positions)


def test_data_info_members():
    info = json.loads(to_json(FULL_INFO))["data_info"]
    assert sorted(info) == [
        "apply_data_calibration", "apply_reference", "auxiliary_type_and_units",
        "certificate_file", "data_calibration_file", "date_and_time",
        "post_scan_addon_description", "post_scan_addon_filename",
        "pre_scan_addon_description", "pre_scan_addon_filename", "reference_file",
        "reference_parameter", "reference_type", "scan_summary", "system_file",
        "type_and_units",
    ]
    assert info["apply_data_calibration"] is True and info["apply_reference"] is False
    assert info["type_and_units"] == {
        "measurement_type": "Beleuchtungsst\u00e4rke", "measurement_type_code": 12,
        "units": "lx", "units_code": -3}
    assert info["auxiliary_type_and_units"] == {
        "measurement_type": "Signal", "measurement_type_code": 5, "units": "", "units_code": -1}


def test_codes_are_minus_one_when_absent():
    info = json.loads(to_json(DESCRIPTIONS["codes_absent"]))["data_info"]
    for key in ("type_and_units", "auxiliary_type_and_units"):
        assert info[key]["measurement_type_code"] == -1
        assert info[key]["units_code"] == -1


def test_codes_text_that_is_not_a_number():
    info = json.loads(to_json(DESCRIPTIONS["codes_not_numbers"]))["data_info"]
    assert (info["type_and_units"]["measurement_type_code"], info["type_and_units"]["units_code"]) == (0, -1)
    aux = info["auxiliary_type_and_units"]
    assert (aux["measurement_type_code"], aux["units_code"]) == (4, 0)


@pytest.mark.parametrize("code, text", [(0, "Wavelength / nm"), (1, "Time / s"), (2, "Time / ms"),
                                        (3, "Arbitrary units"), (4, "Wavelength / \u00b5m"),
                                        (5, ""), (7, ""), (0xFFFFFFFF, "")])
def test_x_type_text(code, text):
    assert json.loads(to_json(x_type=code))["meta"]["x_type"] == text


def test_data_sets_keep_file_order_and_repeated_x():
    sets = json.loads(to_json(DESCRIPTIONS["repeated_x"]))["data_sets"]
    assert [s["name"] for s in sets] == ["R", "R", "empty"]
    assert sets[0]["data"] == {"x": [500.0, 400.0, 500.0, 400.0, 450.0], "y": [1.0, 2.0, 3.0, 4.0, 5.0]}
    assert sets[0]["no_of_points"] == 5
    assert sets[1]["data"] == {"x": [1.0], "y": [1.0]}
    assert sets[2] == {"data": {"x": [], "y": []}, "name": "empty", "no_of_points": 0}


def test_no_data_sets_key_without_data_sets():
    text = to_json(datasets=[])
    assert sorted(json.loads(text)) == ["data_info", "graph", "meta"]
    assert "data_sets" not in text


def test_empty_arrays_stay_on_one_line_when_pretty_printed():
    text = to_json(datasets=[w.DataSet("E", [])], indent=2)
    assert '\n        "x": [],\n        "y": []\n' in text


class TestNumbers:
    # (x, the text nlohmann::json writes for it)
    CASES = [
        (500.0, "500.0"),
        (1e-20, "1e-20"),
        (0.1, "0.1"),
        (123456789012345678.0, "1.2345678901234568e+17"),
        (-0.0, "-0.0"),
        (0.0, "0.0"),
        (math.nan, "null"),
        (math.inf, "null"),
        (-math.inf, "null"),
        (1e-4, "0.0001"),
        (1e-5, "1e-05"),
        (1e14, "100000000000000.0"),
        (1e15, "1e+15"),
        (123456789012345.6, "123456789012345.6"),
        (1234567890123456.7, "1.2345678901234567e+15"),
        (0.30000000000000004, "0.30000000000000004"),
        (1 / 3, "0.3333333333333333"),
        (-2.5, "-2.5"),
        (5e-324, "5e-324"),
        (2.2250738585072014e-308, "2.2250738585072014e-308"),
        (1.7976931348623157e308, "1.7976931348623157e+308"),
        (-1e-20, "-1e-20"),
        (1.5e300, "1.5e+300"),
    ]

    def document(self, indent=-1):
        xs = [x for x, _ in self.CASES]
        ys = list(reversed(xs))
        return to_json(datasets=[w.DataSet("numbers", list(zip(xs, ys)))], indent=indent)

    def test_raw_number_texts(self):
        text = self.document()
        texts = [t for _, t in self.CASES]
        assert '"x":[%s]' % ",".join(texts) in text
        assert '"y":[%s]' % ",".join(reversed(texts)) in text

    def test_raw_number_texts_pretty_printed(self):
        lines = self.document(indent=2).split("\n")
        start = lines.index('        "x": [')
        body = lines[start + 1:start + 1 + len(self.CASES)]
        assert body == ["          %s%s" % (t, "," if i + 1 < len(self.CASES) else "")
                        for i, (_, t) in enumerate(self.CASES)]
        assert lines[start + 1 + len(self.CASES)] == "        ],"

    def test_finite_numbers_round_trip(self):
        doc = json.loads(self.document())
        for (x, _), got in zip(self.CASES, doc["data_sets"][0]["data"]["x"]):
            if math.isfinite(x):
                assert got == x and math.copysign(1, got) == math.copysign(1, x)
            else:
                assert got is None

    def test_nan_x_is_kept_in_the_json_but_refused_as_a_scan(self):
        data = orv(datasets=[w.DataSet("n", [(math.nan, 1.0), (2.0, math.nan)])])
        doc = json.loads(io.orvfile_to_json_binary_data(data, -1, False))
        assert doc["data_sets"][0]["data"] == {"x": [None, 2.0], "y": [1.0, None]}
        with pytest.raises(ValueError):
            io.load_orv_scan_binary_data(data)


class TestEncoding:
    def test_micro_sign_escaped(self):
        text = to_json(x_type=4, ensure_ascii=True)
        assert '"x_type":"Wavelength / \\u00b5m"' in text
        assert text.isascii()

    def test_micro_sign_as_utf8(self):
        text = to_json(x_type=4, ensure_ascii=False)
        assert '"x_type":"Wavelength / \u00b5m"' in text
        assert "\\u" not in text

    def test_latin1_strings(self):
        desc = w.Contents(y_axis_title="Beleuchtungsst\u00e4rke", reference_type="\u00ff\u00c4\u00e9\u00df")
        ascii_text = to_json(desc, ensure_ascii=True)
        assert '"y_axis_title":"Beleuchtungsst\\u00e4rke"' in ascii_text
        assert '"reference_type":"\\u00ff\\u00c4\\u00e9\\u00df"' in ascii_text
        assert ascii_text.isascii()
        utf8_text = to_json(desc, ensure_ascii=False)
        assert '"y_axis_title":"Beleuchtungsst\u00e4rke"' in utf8_text
        assert '"reference_type":"\u00ff\u00c4\u00e9\u00df"' in utf8_text
        assert json.loads(ascii_text) == json.loads(utf8_text) == expected_document(desc)

    def test_escapes(self):
        # Quote, backslash and control characters always; DEL and up only in ASCII mode.
        raw = 'q"b\\n\n\t\r\x01\x1f\x7f\x85'
        text = to_json(scan_summary=raw, ensure_ascii=True)
        assert '"scan_summary":"q\\"b\\\\n\\n\\t\\r\\u0001\\u001f\\u007f\\u0085"' in text
        text = to_json(scan_summary=raw, ensure_ascii=False)
        assert '"scan_summary":"q\\"b\\\\n\\n\\t\\r\\u0001\\u001f\x7f\x85"' in text
        assert json.loads(text)["data_info"]["scan_summary"] == raw

    @pytest.mark.parametrize("indent", [-1, 0, 2, 4])
    @pytest.mark.parametrize("ensure_ascii", [False, True])
    def test_text_equals_a_plain_json_dump(self, indent, ensure_ascii):
        # No value of this document lies in 1e15..1e16, where Python's float texts differ.
        desc = DESCRIPTIONS["full_info"]
        text = to_json(desc, indent, ensure_ascii)
        if indent < 0:
            want = json.dumps(expected_document(desc), sort_keys=True, separators=(",", ":"),
                              ensure_ascii=ensure_ascii)
        else:
            want = json.dumps(expected_document(desc), sort_keys=True, indent=indent,
                              ensure_ascii=ensure_ascii)
        assert text == want


class TestLayout:
    def test_indent_two(self):
        text = to_json(w.Contents(file_version=3), indent=2)
        lines = text.split("\n")
        assert lines[0] == "{"
        assert lines[1] == '  "data_info": {'
        assert lines[2] == '    "apply_data_calibration": false,'
        assert '  "meta": {' in lines
        assert '    "file_version": 3,' in lines
        assert '    "has_timestamps": false,' in lines
        assert '  "data_sets": [' in lines
        assert '    {' in lines
        assert '      "data": {' in lines
        assert '        "x": [' in lines
        assert '          380.0,' in lines
        assert '      "name": "Lens A",' in lines
        assert '      "no_of_points": 9' in lines
        assert lines[-2:] == ["  }", "}"]
        assert not text.endswith("\n")

    @pytest.mark.parametrize("indent", [1, 2, 3, 8])
    def test_each_level_indents_by_indent_spaces(self, indent):
        text = to_json(FULL_INFO, indent=indent)
        depth = 0
        for line in text.split("\n"):
            stripped = line.lstrip(" ")
            closing = stripped[:1] in ("}", "]")
            assert len(line) - len(stripped) == indent * (depth - closing), line
            bare = outside_strings(stripped)
            depth += bare.count("{") + bare.count("[") - bare.count("}") - bare.count("]")
        assert depth == 0

    def test_indent_zero(self):
        text = to_json(w.Contents(), indent=0)
        lines = text.split("\n")
        assert len(lines) > 50
        assert all(not line.startswith((" ", "\t")) for line in lines)
        assert '"meta": {' in lines
        assert '"file_version": 4,' in lines
        assert json.loads(text) == expected_document(w.Contents())

    @pytest.mark.parametrize("indent", [-1, -2, -100])
    def test_negative_indent_writes_one_line(self, indent):
        text = to_json(FULL_INFO, indent=indent)
        assert "\n" not in text
        assert not re.search(r"\s", outside_strings(text))
        assert text.startswith('{"data_info":{"apply_data_calibration":true,')
        assert text.endswith('"meta":{"file_version":3,"has_timestamps":true,"x_type":"Time / ms"}}')

    def test_key_value_separator_when_pretty(self):
        text = to_json(w.Contents(), indent=2)
        assert '"gv_version": 4' in text and '"gv_version":4' not in text


class TestFromFile:
    @pytest.mark.parametrize("indent", [-1, 0, 3])
    @pytest.mark.parametrize("ensure_ascii", [False, True])
    def test_file_equals_buffer(self, tmp_path, indent, ensure_ascii):
        data = w.build_orv(w.build_contents(FULL_INFO))
        path = tmp_path / "scan \u00e9.orv"
        path.write_bytes(data)
        assert io.orvfile_to_json(str(path), indent, ensure_ascii) == \
            io.orvfile_to_json_binary_data(list(data), indent, ensure_ascii)

    def test_buffer_types(self):
        data = w.build_orv(w.build_contents())
        text = io.orvfile_to_json_binary_data(list(data), 1, True)
        assert io.orvfile_to_json_binary_data(tuple(data), 1, True) == text
        assert io.orvfile_to_json_binary_data(bytearray(data), 1, True) == text
        with pytest.raises(TypeError):
            io.orvfile_to_json_binary_data(bytes(data), 1, True)

    def test_unopenable_path(self, tmp_path):
        path = str(tmp_path / "nowhere" / "x.orv")
        with pytest.raises(RuntimeError) as info:
            io.orvfile_to_json(path, 2, True)
        assert str(info.value) == "Could not open file for reading: %s: iostream stream error" % path

    def test_empty_file_and_buffer(self, tmp_path):
        path = tmp_path / "empty.orv"
        path.write_bytes(b"")
        with pytest.raises(RuntimeError, match="^Buffer is empty$"):
            io.orvfile_to_json(str(path), 2, True)
        with pytest.raises(RuntimeError, match="^Buffer is empty$"):
            io.orvfile_to_json_binary_data([], 2, True)

    def test_not_a_compound_file(self):
        with pytest.raises(RuntimeError, match="^Wrong file format$"):
            io.orvfile_to_json_binary_data(list(b"{}" * 600), -1, False)
