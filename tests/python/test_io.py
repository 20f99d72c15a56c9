"""The io submodule's surface: record classes, references into a loaded file, buffer and path
arguments, errors, and the fixtures staying in step with the writer that made them."""

import gc
import math
import os
import subprocess
import sys

import pytest

import orvfile_writer as w
from _orvpy_core import Scan, io

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "orv")


def orv_bytes(**overrides):
    return w.build_orv(w.build_contents(**overrides))


def loaded(**overrides):
    return io.load_orvfile_binary_data(bytearray(orv_bytes(**overrides)))


class TestRecordClasses:
    @pytest.mark.parametrize("name", ["Meta", "Graph", "MeasurementTypeUnits", "DataInfo", "DataSet", "OrvFile"])
    def test_cannot_be_created_from_python(self, name):
        with pytest.raises(TypeError):
            getattr(io, name)()

    def test_attributes_are_read_only(self):
        f = loaded()
        for record, attribute, value in [
            (f, "meta", None),
            (f, "data_sets", []),
            (f.meta, "file_version", 9),
            (f.graph, "x_axis_title", "x"),
            (f.data_info, "apply_reference", False),
            (f.data_info.type_and_units, "units_code", 3),
            (f.data_sets[0], "data", Scan()),
        ]:
            with pytest.raises(AttributeError):
                setattr(record, attribute, value)

    def test_attribute_types(self):
        f = loaded()
        assert isinstance(f.meta, io.Meta) and isinstance(f.graph, io.Graph)
        assert isinstance(f.data_info, io.DataInfo)
        assert isinstance(f.data_info.auxiliary_type_and_units, io.MeasurementTypeUnits)
        assert type(f.meta.file_version) is int and type(f.meta.has_timestamps) is bool
        assert type(f.data_info.type_and_units.measurement_type_code) is int
        assert type(f.graph.y_axis_title) is str
        assert isinstance(f.data_sets, list) and isinstance(f.data_sets[0], io.DataSet)
        assert isinstance(f.data_sets[0].data, Scan)


class TestReferencesIntoTheFile:
    def test_sub_objects_keep_the_file_alive(self):
        f = loaded()
        meta, units, data = f.meta, f.data_info.type_and_units, f.data_sets[1].data
        expected = f.data_sets[1].data.to_lists()
        del f
        gc.collect()
        assert meta.x_type == "Wavelength / nm"
        assert (units.measurement_type, units.units) == ("Transmittance", "%")
        assert data.to_lists() == expected

    def test_data_sets_is_a_new_list_of_views(self):
        f = loaded()
        assert f.data_sets is not f.data_sets
        f.data_sets[0].data.add(1000.0, 0.25)
        assert f.data_sets[0].data[1000.0] == 0.25
        data = f.data_sets[0].data
        data *= 2  # changes the view's scan, then rebinds the local name to a copy
        assert f.data_sets[0].data[1000.0] == 0.5

    def test_a_file_without_data_sets(self):
        assert loaded(datasets=[]).data_sets == []

    def test_same_names_and_repeated_x(self):
        f = loaded(datasets=[
            w.DataSet("Lens", [(400.0, 1.0), (405.0, 2.0), (400.0, 3.0)]),
            w.DataSet("Lens", [(500.0, 9.0)]),
        ])
        assert [(s.name, s.no_of_points) for s in f.data_sets] == [("Lens", 3), ("Lens", 1)]
        assert f.data_sets[0].data.to_lists() == [[400.0, 405.0], [3.0, 2.0]]


class TestBufferArgument:
    def test_lists_tuples_bytearrays_and_memoryviews(self):
        data = orv_bytes()
        expected = io.load_orvfile_binary_data(list(data)).data_info.scan_summary
        for buffer in (tuple(data), bytearray(data), memoryview(bytearray(data))):
            assert io.load_orvfile_binary_data(buffer).data_info.scan_summary == expected
        assert io.orvfile_to_json_binary_data(list(data), 1, True) == io.orvfile_to_json_binary_data(
            bytearray(data), 1, True)

    @pytest.mark.parametrize("buffer", [b"\xd0\xcf", "text", [0, 256], [-1], [1.5], None])
    def test_other_arguments_are_refused(self, buffer):
        for function, extra in [
            (io.load_orvfile_binary_data, ()),
            (io.load_orv_scan_binary_data, ()),
            (io.orvfile_to_json_binary_data, (2, False)),
        ]:
            with pytest.raises(TypeError):
                function(buffer, *extra)

    def test_keyword_names(self):
        data = bytearray(orv_bytes())
        assert io.load_orvfile_binary_data(buffer=data).meta.file_version == 4
        assert "Lens A" in io.load_orv_scan_binary_data(buffer=data)
        assert io.orvfile_to_json_binary_data(buffer=data, indent=-1, ensure_ascii=True).startswith("{")


class TestErrors:
    def test_empty_buffers_and_files(self, tmp_path):
        for function, extra in [
            (io.load_orvfile_binary_data, ()),
            (io.load_orv_scan_binary_data, ()),
            (io.orvfile_to_json_binary_data, (2, False)),
        ]:
            with pytest.raises(RuntimeError, match="^Buffer is empty$"):
                function(bytearray(), *extra)
        empty = tmp_path / "empty.orv"
        empty.write_bytes(b"")
        with pytest.raises(RuntimeError, match="^Buffer is empty$"):
            io.load_orvfile(str(empty))

    @pytest.mark.parametrize("call", [
        lambda p: io.load_orvfile(p),
        lambda p: io.load_orv_scan_data(p),
        lambda p: io.orvfile_to_json(p, 2, True),
        lambda p: io.load_csv(p),
    ])
    def test_unopenable_paths(self, tmp_path, call):
        missing = str(tmp_path / "missing.orv")
        with pytest.raises(RuntimeError) as excinfo:
            call(missing)
        assert str(excinfo.value) == f"Could not open file for reading: {missing}: iostream stream error"
        with pytest.raises(RuntimeError, match="Could not open file for reading"):
            call(str(tmp_path))  # a directory opens but cannot be read

    def test_malformed_files(self):
        with pytest.raises(RuntimeError, match="^Wrong file format$"):
            io.load_orvfile_binary_data(bytearray(600))
        data = orv_bytes(stream_size=12)
        with pytest.raises(RuntimeError, match="^Size does not match entry size.$"):
            io.load_orv_scan_binary_data(bytearray(data))

    def test_a_nan_x_refuses_scans_but_not_json(self):
        data = bytearray(orv_bytes(datasets=[w.DataSet("Odd", [(400.0, 1.0), (math.nan, 2.0)])]))
        with pytest.raises(ValueError, match="Odd"):
            io.load_orvfile_binary_data(data)
        assert '"x":[400.0,null]' in io.orvfile_to_json_binary_data(data, -1, True)


class TestScanDictionaries:
    def test_names_in_byte_order_and_the_last_set_of_a_name_wins(self, tmp_path):
        data = orv_bytes(datasets=[
            w.DataSet("b", [(1.0, 1.0)]),
            w.DataSet("\u00e9", [(1.0, 2.0)]),
            w.DataSet("B", [(1.0, 3.0)]),
            w.DataSet("b", [(2.0, 4.0)]),
        ])
        scans = io.load_orv_scan_binary_data(bytearray(data))
        assert list(scans) == ["B", "b", "\u00e9"]
        assert scans["b"].to_lists() == [[2.0], [4.0]]
        path = tmp_path / "sets.orv"
        path.write_bytes(data)
        from_path = io.load_orv_scan_data(str(path))
        assert {k: v.to_lists() for k, v in from_path.items()} == {k: v.to_lists() for k, v in scans.items()}
        assert io.load_orvfile(str(path)).data_sets[2].name == "B"

    def test_docstrings_describe_parameters_returns_and_errors(self):
        for function in (io.orvfile_to_json_binary_data, io.orvfile_to_json, io.load_orvfile_binary_data,
                         io.load_orvfile, io.load_orv_scan_binary_data, io.load_orv_scan_data, io.load_csv):
            assert ":param" in function.__doc__ and ":return" in function.__doc__ and ":raises" in function.__doc__


def test_committed_fixtures_are_what_the_writer_makes(tmp_path):
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_orv_fixtures.py")
    subprocess.run([sys.executable, script, str(tmp_path)], check=True, capture_output=True)
    made = sorted(os.listdir(tmp_path))
    committed = sorted(n for n in os.listdir(FIXTURES) if os.path.isfile(os.path.join(FIXTURES, n)))
    assert made == committed
    for name in made:
        with open(os.path.join(FIXTURES, name), "rb") as a, open(tmp_path / name, "rb") as b:
            assert a.read() == b.read(), name
