// Submodule io: the data file record classes, then the loading and export functions.
#include "core/columns.hpp"
#include "io/data_file_parser.hpp"
#include "io/file_loading.hpp"
#include "io/json_export.hpp"
#include "python/byte_buffer.hpp"
#include "python/file_path.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace files = orvanalysis::io;
using orvanalysis::Scan;

// Attributes are read-only; record-valued ones are views into the owning object, which they
// keep alive (def_readonly's reference_internal policy). Each record pickles field for field.
void add_record_classes(py::module_& io) {
    using files::DataInfo;
    using files::DataSet;
    using files::Graph;
    using files::MeasurementTypeUnits;
    using files::Meta;
    using files::OrvFile;
    py::class_<Meta> meta(io, "Meta", record_doc<Meta>("The header facts of a data file.").c_str());
    def_fields(meta, false);
    meta.def("__repr__", [](const Meta& m) { return fields_repr("Meta", m); });
    py::class_<Graph> graph(io, "Graph", record_doc<Graph>("The graph settings of a data file.").c_str());
    def_fields(graph, false);
    graph.def("__repr__", [](const Graph& g) { return fields_repr("Graph", g); });
    py::class_<MeasurementTypeUnits> units(
        io, "MeasurementTypeUnits", record_doc<MeasurementTypeUnits>("A measured quantity and its unit.").c_str());
    def_fields(units, false);
    units.def("__repr__", [](const MeasurementTypeUnits& u) { return fields_repr("MeasurementTypeUnits", u); });
    py::class_<DataInfo> info(io, "DataInfo",
                              record_doc<DataInfo>("What the instrument recorded of a measurement.").c_str());
    def_fields(info, false);
    info.def("__repr__", [](const DataInfo& d) {
        const auto text = [](const std::string& s) { return py::repr(py::str(s)).cast<std::string>(); };
        return "<DataInfo " + text(d.type_and_units.measurement_type + " / " + d.type_and_units.units) + " measured " +
               text(d.date_and_time) + ", reference " + text(d.reference_file) + ", calibration " +
               text(d.data_calibration_file) + ">";
    });
    py::class_<DataSet> set(
        io, "DataSet",
        record_doc<DataSet>("A measured data set: its name, its stated point count and its points.").c_str());
    def_fields(set, false);
    set.def("__repr__", [](const py::object& self) {
        const auto& d = self.cast<const DataSet&>();
        return "<DataSet " + py::repr(py::str(d.name)).cast<std::string>() + ": " +
               py::repr(self.attr("data")).cast<std::string>() + ">";
    });
    py::class_<OrvFile> file(
        io, "OrvFile",
        record_doc<OrvFile>("A parsed data file: header facts, graph settings, data sets and measurement information.")
            .c_str());
    def_fields(file, false, {"data_sets"});
    file.def_property_readonly(
        "data_sets",
        [](const py::object& self) {
            auto& f = self.cast<OrvFile&>();
            py::list sets;
            for (DataSet& set : f.data_sets) {
                sets.append(py::cast(&set, py::return_value_policy::reference_internal, self));
            }
            return sets;
        },
        "The measured data sets, in file order: views that keep the file alive.");
    file.def("__repr__", [](const OrvFile& f) {
        std::string names;
        for (const DataSet& set : f.data_sets) {
            names += (names.empty() ? "" : ", ") + py::repr(py::str(set.name)).cast<std::string>();
        }
        return "<OrvFile " + std::to_string(f.data_sets.size()) + " data sets [" + names +
               "], x: " + py::repr(py::str(f.meta.x_type)).cast<std::string>() + ", " +
               py::repr(py::str(f.data_info.type_and_units.measurement_type + " / " + f.data_info.type_and_units.units))
                   .cast<std::string>() +
               ">";
    });
    refuse_uninitialised<Meta>();
    refuse_uninitialised<Graph>();
    refuse_uninitialised<MeasurementTypeUnits>();
    refuse_uninitialised<DataInfo>();
    refuse_uninitialised<DataSet>();
    refuse_uninitialised<OrvFile>();
}

// A path-based function taking any path argument (FilePath), reading and parsing without the
// interpreter lock: nothing it touches is shared.
template <class Result, class... Rest>
auto without_gil(Result (*function)(const std::string&, Rest...)) {
    return [function](const FilePath& path, Rest... rest) {
        const py::gil_scoped_release unlocked;
        return function(path.bytes, rest...);
    };
}

// The JSON text of a file as a str, made without the interpreter lock: read (from its bytes)
// and laid out, then written straight into the str's memory when it is all ASCII (a fresh str
// is no other thread's), else decoded from UTF-8.
template <class Read>
py::str json_str(Read read, int indent, bool ensure_ascii) {
    std::optional<files::XYOrvFile> file;
    std::optional<files::JsonText> text;
    {
        const py::gil_scoped_release unlocked;
        files::check_json_indent(indent);
        file.emplace(read());
        text.emplace(*file, indent, ensure_ascii);
    }
    if (!text->is_ascii()) {
        std::string utf8;
        {
            const py::gil_scoped_release unlocked;
            utf8.resize(text->size_bound());
            utf8.resize(text->write(utf8.data()));
        }
        return py::str(utf8);
    }
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(text->size_bound()), 127);
    if (str == nullptr) {
        throw py::error_already_set();
    }
    std::size_t length = 0;
    {
        const py::gil_scoped_release unlocked;
        orvanalysis::advise_huge_pages(PyUnicode_DATA(str), text->size_bound());
        length = text->write(static_cast<char*>(PyUnicode_DATA(str)));
    }
    if (PyUnicode_Resize(&str, static_cast<Py_ssize_t>(length)) != 0) {
        throw py::error_already_set();  // str is released on failure
    }
    return py::reinterpret_steal<py::str>(str);
}

// The data-file functions read and parse without the interpreter lock; a buffer stays held (a
// bytearray cannot be resized) meanwhile.
void add_functions(py::module_& io) {
    io.def(
        "orvfile_to_json_binary_data",
        [](const ByteBuffer& buffer, int indent, bool ensure_ascii) {
            return json_str([&] { return files::load_xy_orvfile_binary_data(buffer.data(), buffer.size()); }, indent,
                            ensure_ascii);
        },
        "buffer"_a, "indent"_a, "ensure_ascii"_a,
        R"doc(Convert OrvSuite .orv (or equivalent) binary data held in a buffer into a JSON string.

Parameters
----------
buffer : bytes-like
    The file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte
    values.
indent : int
    Number of spaces per indentation level, at most 64; negative for a single line.
ensure_ascii : bool
    Escape all non-ASCII characters.

Returns
-------
str
    The JSON text.

Raises
------
ValueError
    When indent is above 64.
RuntimeError
    When the buffer is empty or does not hold a valid data file.
)doc");
    io.def(
        "orvfile_to_json",
        [](const FilePath& path, int indent, bool ensure_ascii) {
            return json_str(
                [&] {
                    const std::vector<std::uint8_t> bytes = files::read_file_bytes(path.bytes);
                    return files::load_xy_orvfile_binary_data(bytes.data(), bytes.size());
                },
                indent, ensure_ascii);
        },
        "file_path"_a, "indent"_a, "ensure_ascii"_a,
        R"doc(Convert an OrvSuite .orv (or equivalent) data file into a JSON string.

Parameters
----------
file_path : str, bytes or os.PathLike
    Path of the data file.
indent : int
    Number of spaces per indentation level, at most 64; negative for a single line.
ensure_ascii : bool
    Escape all non-ASCII characters.

Returns
-------
str
    The JSON text.

Raises
------
ValueError
    When indent is above 64; for a path holding a NUL byte, or a file over 1 GiB.
RuntimeError
    When the file cannot be opened (the core's ReadError, which arrives as RuntimeError: "Could
    not open file for reading: <path>: iostream stream error"), or its data is empty or not a
    valid data file.
)doc");
    io.def(
        "load_orvfile_binary_data",
        [](const ByteBuffer& buffer) {
            const py::gil_scoped_release unlocked;
            return files::load_orvfile_binary_data(buffer.data(), buffer.size());
        },
        "buffer"_a,
        R"doc(Load an OrvFile object from a binary buffer.

Parameters
----------
buffer : bytes-like
    The file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte
    values.

Returns
-------
OrvFile
    The parsed file.

Raises
------
RuntimeError
    When the buffer is empty or does not hold a valid data file.
)doc");
    io.def("load_orvfile", without_gil(&files::load_orvfile), "file_path"_a,
           R"doc(Load an OrvFile object from an OrvSuite .orv data file.

Parameters
----------
file_path : str, bytes or os.PathLike
    Path of the data file.

Returns
-------
OrvFile
    The parsed file.

Raises
------
ValueError
    For a path holding a NUL byte, or a file over 1 GiB.
RuntimeError
    When the file cannot be opened (the core's ReadError, which arrives as RuntimeError: "Could
    not open file for reading: <path>: iostream stream error"), or its data is empty or not a
    valid data file.
)doc");
    io.def(
        "load_orv_scan_binary_data",
        [](const ByteBuffer& buffer) {
            const py::gil_scoped_release unlocked;
            return files::load_orv_scan_binary_data(buffer.data(), buffer.size());
        },
        "buffer"_a,
        R"doc(Load scan data from a binary buffer.

Parameters
----------
buffer : bytes-like
    The file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte
    values.

Returns
-------
dict of str to Scan
    From spectrum names to Scan objects; of several data sets with one name the last wins.

Raises
------
RuntimeError
    When the buffer is empty or does not hold a valid data file.
)doc");
    io.def("load_orv_scan_data", without_gil(&files::load_orv_scan_data), "file_path"_a,
           R"doc(Load scan data from an OrvSuite .orv data file.

Parameters
----------
file_path : str, bytes or os.PathLike
    Path of the data file.

Returns
-------
dict of str to Scan
    From spectrum names to Scan objects; of several data sets with one name the last wins.

Raises
------
ValueError
    For a path holding a NUL byte, or a file over 1 GiB.
RuntimeError
    When the file cannot be opened (the core's ReadError, which arrives as RuntimeError: "Could
    not open file for reading: <path>: iostream stream error"), or its data is empty or not a
    valid data file.
)doc");
    io.def("load_csv", without_gil(&files::load_csv), "file_path"_a,
           R"doc(Load scan data from a CSV file of key-value pairs separated by a delimiter.

The rules, line by line (lines end at \n, \r\n or \r; a UTF-8 byte order mark is skipped):

- Blank lines and lines starting with '#' are skipped.
- A data line holds the key and the value as its first two fields; further fields are ignored.
  Fields are separated by white space, or by a separator with white space around it, and may be
  wrapped in double quotes. A number has an optional sign, digits with at most one decimal mark
  and an optional exponent, or is nan, inf or infinity; the key must be finite.
- A line holding a semicolon or a tab is separated by semicolons (or else tabs), and its numbers
  may use the decimal comma or the decimal point, as spreadsheet software writes in locales with
  a decimal comma. In any other line the comma separates fields and the point is the decimal
  mark; a line that reads as data both so and with white space separating numbers with decimal
  commas is refused as ambiguous.
- Before the first data line, a line whose first field does not begin like a number (a digit, or
  a sign or a decimal mark before one, or nan or inf) is a header and skipped. Every other line
  that is not a data line is an error, as are an empty field where a number belongs, NUL bytes
  (UTF-16 text) and a line longer than 1 MiB.

A repeated key keeps the later value; the points come back sorted by key.

Parameters
----------
file_path : str, bytes or os.PathLike
    Path of the CSV file, of at most 1 GiB.

Returns
-------
Scan
    The points, sorted by key.

Raises
------
RuntimeError
    When the file cannot be opened (the core's ReadError, which arrives as RuntimeError: "Could
    not open file for reading: <path>: iostream stream error").
ValueError
    Naming the line and the reason, for a line that breaks the rules; for a path holding a NUL
    byte; for a file over 1 GiB.
)doc");
}

}  // namespace

void add_io_module(py::module_& io) {
    add_record_classes(io);
    add_functions(io);
}

}  // namespace orvpy
