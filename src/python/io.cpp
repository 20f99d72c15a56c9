// Submodule io: the data file record classes, then the loading and export functions.
#include "io/data_file_parser.hpp"
#include "io/file_loading.hpp"
#include "io/json_export.hpp"
#include "python/byte_buffer.hpp"
#include "python/file_path.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace orvfile = orvanalysis::orvfile;
using orvanalysis::Scan;

// Attributes are read-only; record-valued ones are views into the owning object, which they
// keep alive (def_readonly's reference_internal policy). Each record pickles field for field.
void add_record_classes(py::module_& io) {
    using orvfile::DataInfo;
    using orvfile::DataSet;
    using orvfile::Graph;
    using orvfile::MeasurementTypeUnits;
    using orvfile::Meta;
    using orvfile::OrvFile;
    py::class_<Meta> meta(io, "Meta");
    meta.def_readonly("file_version", &Meta::file_version)
        .def_readonly("has_timestamps", &Meta::has_timestamps)
        .def_readonly("x_type", &Meta::x_type);
    pickle_by_state<3>(
        meta, [](const Meta& m) { return py::make_tuple(m.file_version, m.has_timestamps, m.x_type); },
        [](const py::tuple& t) {
            return Meta{t[0].cast<std::uint32_t>(), t[1].cast<bool>(), t[2].cast<std::string>()};
        });
    py::class_<Graph> graph(io, "Graph");
    graph.def_readonly("gv_version", &Graph::gv_version)
        .def_readonly("x_axis_title", &Graph::x_axis_title)
        .def_readonly("y_axis_title", &Graph::y_axis_title);
    pickle_by_state<3>(
        graph, [](const Graph& g) { return py::make_tuple(g.gv_version, g.x_axis_title, g.y_axis_title); },
        [](const py::tuple& t) {
            return Graph{t[0].cast<std::uint32_t>(), t[1].cast<std::string>(), t[2].cast<std::string>()};
        });
    py::class_<MeasurementTypeUnits> units(io, "MeasurementTypeUnits");
    units.def_readonly("measurement_type", &MeasurementTypeUnits::measurement_type)
        .def_readonly("units", &MeasurementTypeUnits::units)
        .def_readonly("measurement_type_code", &MeasurementTypeUnits::measurement_type_code)
        .def_readonly("units_code", &MeasurementTypeUnits::units_code);
    pickle_by_state<4>(
        units,
        [](const MeasurementTypeUnits& u) {
            return py::make_tuple(u.measurement_type, u.units, u.measurement_type_code, u.units_code);
        },
        [](const py::tuple& t) {
            return MeasurementTypeUnits{t[0].cast<std::string>(), t[1].cast<std::string>(), t[2].cast<std::int32_t>(),
                                        t[3].cast<std::int32_t>()};
        });
    py::class_<DataInfo> info(io, "DataInfo");
    info.def_readonly("date_and_time", &DataInfo::date_and_time)
        .def_readonly("scan_summary", &DataInfo::scan_summary)
        .def_readonly("apply_data_calibration", &DataInfo::apply_data_calibration)
        .def_readonly("data_calibration_file", &DataInfo::data_calibration_file)
        .def_readonly("certificate_file", &DataInfo::certificate_file)
        .def_readonly("system_file", &DataInfo::system_file)
        .def_readonly("pre_scan_addon_description", &DataInfo::pre_scan_addon_description)
        .def_readonly("post_scan_addon_description", &DataInfo::post_scan_addon_description)
        .def_readonly("pre_scan_addon_filename", &DataInfo::pre_scan_addon_filename)
        .def_readonly("post_scan_addon_filename", &DataInfo::post_scan_addon_filename)
        .def_readonly("type_and_units", &DataInfo::type_and_units)
        .def_readonly("auxiliary_type_and_units", &DataInfo::auxiliary_type_and_units)
        .def_readonly("apply_reference", &DataInfo::apply_reference)
        .def_readonly("reference_type", &DataInfo::reference_type)
        .def_readonly("reference_file", &DataInfo::reference_file)
        .def_readonly("reference_parameter", &DataInfo::reference_parameter);
    pickle_by_state<16>(
        info,
        [](const DataInfo& d) {
            return py::make_tuple<py::return_value_policy::copy>(
                d.date_and_time, d.scan_summary, d.apply_data_calibration, d.data_calibration_file, d.certificate_file,
                d.system_file, d.pre_scan_addon_description, d.post_scan_addon_description, d.pre_scan_addon_filename,
                d.post_scan_addon_filename, d.type_and_units, d.auxiliary_type_and_units, d.apply_reference,
                d.reference_type, d.reference_file, d.reference_parameter);
        },
        [](const py::tuple& t) {
            const auto text = [&t](std::size_t i) { return t[i].cast<std::string>(); };
            return DataInfo{text(0),
                            text(1),
                            t[2].cast<bool>(),
                            text(3),
                            text(4),
                            text(5),
                            text(6),
                            text(7),
                            text(8),
                            text(9),
                            t[10].cast<MeasurementTypeUnits>(),
                            t[11].cast<MeasurementTypeUnits>(),
                            t[12].cast<bool>(),
                            text(13),
                            text(14),
                            text(15)};
        });
    py::class_<DataSet> set(io, "DataSet");
    set.def_readonly("no_of_points", &DataSet::no_of_points)
        .def_readonly("name", &DataSet::name)
        .def_readonly("data", &DataSet::data);
    pickle_by_state<3>(
        set,
        [](const DataSet& d) { return py::make_tuple<py::return_value_policy::copy>(d.no_of_points, d.name, d.data); },
        [](const py::tuple& t) {
            return DataSet{t[0].cast<std::uint32_t>(), t[1].cast<std::string>(), t[2].cast<Scan>()};
        });
    py::class_<OrvFile> file(io, "OrvFile");
    file.def_readonly("meta", &OrvFile::meta)
        .def_readonly("graph", &OrvFile::graph)
        .def_property_readonly("data_sets",
                               [](const py::object& self) {
                                   auto& f = self.cast<OrvFile&>();
                                   py::list sets;
                                   for (DataSet& set : f.data_sets) {
                                       sets.append(py::cast(&set, py::return_value_policy::reference_internal, self));
                                   }
                                   return sets;
                               })
        .def_readonly("data_info", &OrvFile::data_info);
    pickle_by_state<4>(
        file,
        [](const OrvFile& f) {
            return py::make_tuple<py::return_value_policy::copy>(f.meta, f.graph, f.data_sets, f.data_info);
        },
        [](const py::tuple& t) {
            return OrvFile{t[0].cast<Meta>(), t[1].cast<Graph>(), t[2].cast<std::vector<DataSet>>(),
                           t[3].cast<DataInfo>()};
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

// The data-file functions read and parse without the interpreter lock; a buffer stays held (a
// bytearray cannot be resized) meanwhile.
void add_functions(py::module_& io) {
    io.def(
        "orvfile_to_json_binary_data",
        [](const ByteBuffer& buffer, int indent, bool ensure_ascii) {
            const py::gil_scoped_release unlocked;
            return orvfile::orvfile_to_json_binary_data(buffer.data(), buffer.size(), indent, ensure_ascii);
        },
        "buffer"_a, "indent"_a, "ensure_ascii"_a,
        "Converts OrvSuite .orv (or equivalent) binary data held in a buffer into a JSON string.\n\n"
        ":param buffer: the file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte "
        "values\n"
        ":param indent: number of spaces per indentation level, at most 64; negative for a single line\n"
        ":param ensure_ascii: escape all non-ASCII characters\n"
        ":return: the JSON text\n"
        ":raises ValueError: when indent is above 64\n"
        ":raises RuntimeError: when the buffer is empty or does not hold a valid data file");
    io.def("orvfile_to_json", without_gil(&orvfile::orvfile_to_json), "file_path"_a, "indent"_a, "ensure_ascii"_a,
           "Converts an OrvSuite .orv (or equivalent) data file into a JSON string.\n\n"
           ":param file_path: path of the data file (str, bytes or os.PathLike)\n"
           ":param indent: number of spaces per indentation level, at most 64; negative for a single line\n"
           ":param ensure_ascii: escape all non-ASCII characters\n"
           ":return: the JSON text\n"
           ":raises ValueError: when indent is above 64\n"
           ":raises RuntimeError: when the file is empty, unreadable or not a valid data file");
    io.def(
        "load_orvfile_binary_data",
        [](const ByteBuffer& buffer) {
            const py::gil_scoped_release unlocked;
            return orvfile::load_orvfile_binary_data(buffer.data(), buffer.size());
        },
        "buffer"_a,
        "Loads an OrvFile object from a binary buffer.\n\n"
        ":param buffer: the file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte "
        "values\n"
        ":return: the OrvFile\n"
        ":raises RuntimeError: when the buffer is empty or does not hold a valid data file");
    io.def("load_orvfile", without_gil(&orvfile::load_orvfile), "file_path"_a,
           "Loads an OrvFile object from an OrvSuite .orv data file.\n\n"
           ":param file_path: path of the data file (str, bytes or os.PathLike)\n"
           ":return: the OrvFile\n"
           ":raises ReadError: (a RuntimeError) when the file cannot be opened\n"
           ":raises ValueError: for a path holding a NUL byte, or a file over 1 GiB\n"
           ":raises RuntimeError: when its data is empty or not a valid data file");
    io.def(
        "load_orv_scan_binary_data",
        [](const ByteBuffer& buffer) {
            const py::gil_scoped_release unlocked;
            return orvfile::load_orv_scan_binary_data(buffer.data(), buffer.size());
        },
        "buffer"_a,
        "Loads scan data from a binary buffer.\n\n"
        ":param buffer: the file data: bytes, bytearray, memoryview, a numpy uint8 array, or a list or tuple of byte "
        "values\n"
        ":return: a dict from spectrum names to Scan objects; of several data sets with one name the last wins\n"
        ":raises RuntimeError: when the buffer is empty or does not hold a valid data file");
    io.def("load_orv_scan_data", without_gil(&orvfile::load_orv_scan_data), "file_path"_a,
           "Loads scan data from an OrvSuite .orv data file.\n\n"
           ":param file_path: path of the data file (str, bytes or os.PathLike)\n"
           ":return: a dict from spectrum names to Scan objects; of several data sets with one name the last wins\n"
           ":raises ReadError: (a RuntimeError) when the file cannot be opened\n"
           ":raises ValueError: for a path holding a NUL byte, or a file over 1 GiB\n"
           ":raises RuntimeError: when its data is empty or not a valid data file");
    io.def("load_csv", without_gil(&orvfile::load_csv), "file_path"_a,
           "Loads scan data from a CSV file of key-value pairs separated by a delimiter and returns a Scan.\n\n"
           "The rules, line by line (lines end at \\n, \\r\\n or \\r; a UTF-8 byte order mark is skipped):\n\n"
           "- Blank lines and lines starting with '#' are skipped.\n"
           "- A data line holds the key and the value as its first two fields; further fields are ignored. Fields "
           "are separated by white space, or by a separator with white space around it, and may be wrapped in double "
           "quotes. A number has an optional sign, digits with at most one decimal mark and an optional exponent, or "
           "is nan, inf or infinity; the key must be finite.\n"
           "- A line holding a semicolon or a tab is separated by semicolons (or else tabs), and its numbers may use "
           "the decimal comma or the decimal point, as spreadsheet software writes in locales with a decimal comma. "
           "In any other line the comma separates fields and the point is the decimal mark; a line that reads as data "
           "both so and with white space separating numbers with decimal commas is refused as ambiguous.\n"
           "- Before the first data line, a line whose first field does not begin like a number (a digit, or a sign "
           "or a decimal mark before one, or nan or inf) is a header and skipped. Every other line that is not a data "
           "line is an error, as are an empty field where a number belongs, NUL bytes (UTF-16 text) and a line "
           "longer than 1 MiB.\n\n"
           "A repeated key keeps the later value; the points come back sorted by key.\n\n"
           ":param file_path: path of the CSV file (str, bytes or os.PathLike), of at most 1 GiB\n"
           ":return: the Scan\n"
           ":raises ReadError: (a RuntimeError) when the file cannot be opened\n"
           ":raises ValueError: naming the line and the reason, for a line that breaks the rules; for a path holding "
           "a NUL byte; for a file over 1 GiB");
}

}  // namespace

void add_io_module(py::module_& io) {
    add_record_classes(io);
    add_functions(io);
}

}  // namespace orvpy
