// The record tree of a parsed instrument data file (.orv): header facts, graph settings,
// measured data sets and measurement information.
#pragma once

#include "core/scan.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanalysis::orvfile {

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

}  // namespace orvanalysis::orvfile
