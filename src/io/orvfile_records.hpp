// The record tree of a parsed instrument data file (.orv): header facts, graph settings,
// measured data sets and measurement information.
#pragma once

#include "core/record_fields.hpp"
#include "core/scan.hpp"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace orvanalysis::io {

struct Meta {
    std::uint32_t file_version = 0;
    bool has_timestamps = false;
    // "Wavelength / nm", "Time / s", "Time / ms", "Arbitrary units", "Wavelength / µm", or empty.
    std::string x_type;
};

struct Graph {
    std::uint32_t gv_version = 0;
    std::string x_axis_title;
    std::string y_axis_title;
};

struct MeasurementTypeUnits {
    std::string measurement_type;
    std::string units;
    std::int32_t measurement_type_code = -1;
    std::int32_t units_code = -1;
};

struct DataInfo {
    std::string date_and_time;
    std::string scan_summary;
    bool apply_data_calibration = false;
    std::string data_calibration_file;
    std::string certificate_file;
    std::string system_file;
    std::string pre_scan_addon_description;
    std::string post_scan_addon_description;
    std::string pre_scan_addon_filename;
    std::string post_scan_addon_filename;
    MeasurementTypeUnits type_and_units;
    MeasurementTypeUnits auxiliary_type_and_units;
    bool apply_reference = false;
    std::string reference_type;
    std::string reference_file;
    std::string reference_parameter;
};

// The stored points of a data set in file order, repeated x values included.
struct XYData {
    std::vector<double> x;
    std::vector<double> y;
};

template <class T>
struct BasicDataSet {
    std::uint32_t no_of_points = 0;
    std::string name;
    T data;
};

template <class DataSetT>
struct BasicOrvFile {
    Meta meta;
    Graph graph;
    std::vector<DataSetT> data_sets;
    DataInfo data_info;
};

// Data sets as scans (each point added with Scan::add, so a repeated x keeps the later value)
// or as the raw point arrays.
using DataSet = BasicDataSet<Scan>;
using XYDataSet = BasicDataSet<XYData>;
using OrvFile = BasicOrvFile<DataSet>;
using XYOrvFile = BasicOrvFile<XYDataSet>;

constexpr auto fields_of(const Meta*) {
    return std::make_tuple(field("file_version", &Meta::file_version, "Version of the file layout"),
                           field("has_timestamps", &Meta::has_timestamps, "Whether the points carry time stamps"),
                           field("x_type", &Meta::x_type, "Quantity and unit of the x axis, as \"Wavelength / nm\""));
}

constexpr auto fields_of(const Graph*) {
    return std::make_tuple(field("gv_version", &Graph::gv_version, "Version of the graph settings"),
                           field("x_axis_title", &Graph::x_axis_title, "Title of the x axis"),
                           field("y_axis_title", &Graph::y_axis_title, "Title of the y axis"));
}

constexpr auto fields_of(const MeasurementTypeUnits*) {
    using R = MeasurementTypeUnits;
    return std::make_tuple(field("measurement_type", &R::measurement_type, "The measured quantity"),
                           field("units", &R::units, "Its unit"),
                           field("measurement_type_code", &R::measurement_type_code, "The quantity's code, -1 if none"),
                           field("units_code", &R::units_code, "The unit's code, -1 if none"));
}

constexpr auto fields_of(const DataInfo*) {
    using R = DataInfo;
    return std::make_tuple(
        field("date_and_time", &R::date_and_time, "When the measurement was made"),
        field("scan_summary", &R::scan_summary, "The instrument's summary of the scan settings"),
        field("apply_data_calibration", &R::apply_data_calibration, "Whether a calibration was applied"),
        field("data_calibration_file", &R::data_calibration_file, "The calibration file"),
        field("certificate_file", &R::certificate_file, "The calibration certificate"),
        field("system_file", &R::system_file, "The instrument's system file"),
        field("pre_scan_addon_description", &R::pre_scan_addon_description, "What ran before the scan"),
        field("post_scan_addon_description", &R::post_scan_addon_description, "What ran after the scan"),
        field("pre_scan_addon_filename", &R::pre_scan_addon_filename, "The file of what ran before the scan"),
        field("post_scan_addon_filename", &R::post_scan_addon_filename, "The file of what ran after the scan"),
        field("type_and_units", &R::type_and_units, "Quantity and unit of the data"),
        field("auxiliary_type_and_units", &R::auxiliary_type_and_units, "Quantity and unit of auxiliary data"),
        field("apply_reference", &R::apply_reference, "Whether the data are relative to a reference"),
        field("reference_type", &R::reference_type, "The kind of reference"),
        field("reference_file", &R::reference_file, "The reference's file"),
        field("reference_parameter", &R::reference_parameter, "The reference's parameter"));
}

constexpr auto fields_of(const XYData*) {
    return std::make_tuple(field("x", &XYData::x, "The x values in file order"),
                           field("y", &XYData::y, "The y values in file order"));
}

template <class T>
constexpr auto fields_of(const BasicDataSet<T>*) {
    using R = BasicDataSet<T>;
    return std::make_tuple(field("no_of_points", &R::no_of_points, "The number of points the file states"),
                           field("name", &R::name, "The data set's name"), field("data", &R::data, "The points"));
}

template <class DataSetT>
constexpr auto fields_of(const BasicOrvFile<DataSetT>*) {
    using R = BasicOrvFile<DataSetT>;
    return std::make_tuple(field("meta", &R::meta, "The file's header facts"),
                           field("graph", &R::graph, "The graph settings"),
                           field("data_sets", &R::data_sets, "The measured data sets, in file order"),
                           field("data_info", &R::data_info, "The measurement's information"));
}

}  // namespace orvanalysis::io
