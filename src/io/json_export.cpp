#include "io/json_export.hpp"

#include "io/data_file_parser.hpp"

#include <stdexcept>
#include <string>
#include <utility>

namespace orvanalysis::orvfile {

namespace {

nlohmann::json to_json(const MeasurementTypeUnits& units) {
    nlohmann::json out;
    out["measurement_type"] = units.measurement_type;
    out["measurement_type_code"] = units.measurement_type_code;
    out["units"] = units.units;
    out["units_code"] = units.units_code;
    return out;
}

nlohmann::json to_json(const DataInfo& info) {
    nlohmann::json out;
    out["apply_data_calibration"] = info.apply_data_calibration;
    out["apply_reference"] = info.apply_reference;
    out["auxiliary_type_and_units"] = to_json(info.auxiliary_type_and_units);
    out["certificate_file"] = info.certificate_file;
    out["data_calibration_file"] = info.data_calibration_file;
    out["date_and_time"] = info.date_and_time;
    out["post_scan_addon_description"] = info.post_scan_addon_description;
    out["post_scan_addon_filename"] = info.post_scan_addon_filename;
    out["pre_scan_addon_description"] = info.pre_scan_addon_description;
    out["pre_scan_addon_filename"] = info.pre_scan_addon_filename;
    out["reference_file"] = info.reference_file;
    out["reference_parameter"] = info.reference_parameter;
    out["reference_type"] = info.reference_type;
    out["scan_summary"] = info.scan_summary;
    out["system_file"] = info.system_file;
    out["type_and_units"] = to_json(info.type_and_units);
    return out;
}

nlohmann::json numbers(const std::vector<double>& values) {
    nlohmann::json::array_t array;
    array.reserve(values.size());
    for (const double v : values) {
        array.emplace_back(v);
    }
    return nlohmann::json(std::move(array));
}

}  // namespace

nlohmann::json to_json(const XYOrvFile& file) {
    nlohmann::json doc;
    doc["data_info"] = to_json(file.data_info);
    doc["graph"]["gv_version"] = file.graph.gv_version;
    doc["graph"]["x_axis_title"] = file.graph.x_axis_title;
    doc["graph"]["y_axis_title"] = file.graph.y_axis_title;
    doc["meta"]["file_version"] = file.meta.file_version;
    doc["meta"]["has_timestamps"] = file.meta.has_timestamps;
    doc["meta"]["x_type"] = file.meta.x_type;
    for (const XYDataSet& set : file.data_sets) {
        nlohmann::json out;
        out["no_of_points"] = set.no_of_points;
        out["name"] = set.name;
        out["data"]["x"] = numbers(set.data.x);
        out["data"]["y"] = numbers(set.data.y);
        doc["data_sets"].push_back(std::move(out));
    }
    return doc;
}

std::string orvfile_to_json_binary_data(const std::vector<std::uint8_t>& buffer, int indent, bool ensure_ascii) {
    return orvfile_to_json_binary_data(buffer.data(), buffer.size(), indent, ensure_ascii);
}

void check_json_indent(int indent) {
    if (indent > max_json_indent) {
        throw std::invalid_argument("indent must be at most " + std::to_string(max_json_indent) + " spaces");
    }
}

std::string orvfile_to_json_binary_data(const std::uint8_t* data, std::size_t size, int indent, bool ensure_ascii) {
    check_json_indent(indent);
    const XYOrvFile file = load_xy_orvfile_binary_data(data, size);
    const nlohmann::json doc = to_json(file);
    // The library's own serializer, as dump() runs it, writing into a string reserved up front:
    // the text of a large file is mostly numbers of at most 25 characters each.
    std::size_t numbers = 0;
    for (const XYDataSet& set : file.data_sets) {
        numbers += set.data.x.size() + set.data.y.size();
    }
    std::string text;
    text.reserve(25 * numbers + 4096);
    nlohmann::detail::serializer<nlohmann::json> serializer(nlohmann::detail::output_adapter<char>(text), ' ',
                                                            nlohmann::json::error_handler_t::strict);
    serializer.dump(doc, indent >= 0, ensure_ascii, indent >= 0 ? static_cast<unsigned int>(indent) : 0);
    return text;
}

}  // namespace orvanalysis::orvfile
