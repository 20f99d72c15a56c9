#include "io/data_file_parser.hpp"

#include "core/columns.hpp"
#include "io/little_endian.hpp"

#include <cmath>
#include <cstddef>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace orvanalysis::io {

namespace {

const std::vector<std::uint8_t>& guid_mark() {
    // {71DFD04E-CB88-4502-88EB-D943A3091A1A} as stored.
    static const std::vector<std::uint8_t> mark{0x4E, 0xD0, 0xDF, 0x71, 0x88, 0xCB, 0x02, 0x45,
                                                0x88, 0xEB, 0xD9, 0x43, 0xA3, 0x09, 0x1A, 0x1A};
    return mark;
}

constexpr std::uint32_t list_marker_with_extra = 999;
constexpr std::uint64_t point_size = 16;

// The count (x, y) pairs at the cursor as one block, so that a count the stream cannot hold
// fails before anything is reserved.
const std::uint8_t* point_block(FieldCursor& reader, std::uint64_t count) {
    if (count > reader.remaining() / point_size) {
        throw TruncatedData();
    }
    return reader.read_bytes(count * point_size);
}

// The x (offset 0) or y (offset 8) of each point of a block.
struct PointColumn {
    const std::uint8_t* block;
    std::size_t offset;
    double operator()(std::size_t i) const { return little_endian::f64(block + i * point_size + offset); }
};

void read_payload(FieldCursor& reader, XYDataSet& set) {
    const std::uint8_t* block = point_block(reader, set.no_of_points);
    set.data.x.clear();
    set.data.y.clear();
    set.data.x.reserve(set.no_of_points);
    set.data.y.reserve(set.no_of_points);
    append_values(set.data.x, 0, set.no_of_points, PointColumn{block, 0});
    append_values(set.data.y, 0, set.no_of_points, PointColumn{block, 8});
}

void read_payload(FieldCursor& reader, DataSet& set) {
    const std::uint8_t* block = point_block(reader, set.no_of_points);
    // Stored as the scan's array constructor stores them, one by one with insert-or-assign as
    // Scan::add would, without quadratic cost for points out of order.
    try {
        set.data = Scan::copied(set.no_of_points, PointColumn{block, 0}, PointColumn{block, 8},
                                Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
    } catch (const std::invalid_argument&) {
        // With the default epsilon and kind only a NaN wavelength is refused.
        throw std::invalid_argument("Data set \"" + set.name + "\" holds a point whose x is NaN");
    }
}

std::string x_type_name(std::uint32_t code, const std::string& unchanged) {
    switch (code) {
        case 0:
            return "Wavelength / nm";
        case 1:
            return "Time / s";
        case 2:
            return "Time / ms";
        case 3:
            return "Arbitrary units";
        case 4:
            return "Wavelength / \u00b5m";
        default:
            return unchanged;
    }
}

}  // namespace

template <class DataSetT>
DataFileParser<DataSetT>::DataFileParser(const std::uint8_t* data, std::uint64_t size) : reader_(data, size) {}

template <class DataSetT>
void DataFileParser<DataSetT>::parse() {
    if (reader_.entry_name(1) != "Contents") {
        throw std::runtime_error("Contents entry missing.");
    }
    reader_.load_stream(1);
    fields_ = FieldCursor(reader_.stream().data, reader_.stream().size);
    if (!fields_.find(guid_mark())) {
        throw std::runtime_error("16 byte GUID header missing.");
    }
    if (fields_.read_u32() != reader_.entry_size(1)) {
        throw std::runtime_error("Size does not match entry size.");
    }
    Meta& meta = file_.meta;
    meta.file_version = fields_.read_u32();
    fields_.skip(4);
    if (meta.file_version >= 3) {
        meta.has_timestamps = fields_.read_u32() != 0;
    }
    if (meta.file_version >= 4) {
        fields_.skip(4);
    }
    parse_graph();
    parse_data_sets();
    if (file_.graph.gv_version >= 2) {
        skip_list_block();
    }
    if (file_.graph.gv_version >= 3) {
        skip_extra_tables();
    }
    parse_information();
    meta.x_type = x_type_name(fields_.read_u32(), meta.x_type);
}

template <class DataSetT>
void DataFileParser<DataSetT>::parse_graph() {
    Graph& graph = file_.graph;
    // A NaN in place of the first double marks a versioned graph block.
    if (std::isnan(fields_.read_f64())) {
        graph.gv_version = fields_.read_u32();
        fields_.skip(8);
    } else {
        graph.gv_version = 1;
    }
    fields_.skip(24);
    if (graph.gv_version >= 4) {
        fields_.skip(8);
        const std::uint32_t flag = fields_.read_u32();
        if (flag == 0 || flag == 1) {
            fields_.skip(44);
        }
    } else {
        fields_.skip(4);
    }
    fields_.skip(8);
    fields_.skip_strings(1);
    fields_.skip(60);
    fields_.skip_strings(1);
    fields_.skip(16);
    fields_.skip_strings(1);
    fields_.skip(8);
    fields_.skip_strings(1);
    fields_.skip(16);
    graph.x_axis_title = fields_.read_string();
    fields_.skip(4);
    graph.y_axis_title = fields_.read_string();
    fields_.skip(68);
    fields_.skip(40 * static_cast<std::uint64_t>(fields_.read_u32()));
    if (graph.gv_version >= 3) {
        fields_.skip(20);
        fields_.skip_strings(1);
        fields_.skip(80);
    }
}

template <class DataSetT>
void DataFileParser<DataSetT>::parse_data_sets() {
    fields_.skip_strings(1);
    const std::uint64_t count = fields_.read_u32();
    fields_.skip(60);
    // Each header takes at least 9 bytes: a count no stream of this size can hold fails here.
    if (count > fields_.remaining() / 9) {
        throw TruncatedData();
    }
    auto& sets = file_.data_sets;
    sets.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        DataSetT set;
        set.no_of_points = fields_.read_u32();
        fields_.skip(4);
        set.name = fields_.read_string();
        sets.push_back(std::move(set));
    }
    for (DataSetT& set : sets) {
        read_payload(fields_, set);
    }
}

template <class DataSetT>
void DataFileParser<DataSetT>::skip_list_block() {
    const std::uint64_t entries = fields_.read_u32();
    for (std::uint64_t e = 0; e < entries; ++e) {
        if (fields_.read_u32() == list_marker_with_extra) {
            fields_.skip(8);
        }
        fields_.skip(24);
        fields_.skip(64);
        fields_.skip_strings(1);
        const std::uint64_t groups = fields_.read_u32();
        for (std::uint64_t g = 0; g < groups; ++g) {
            const std::uint64_t items = fields_.read_u32();
            for (std::uint64_t k = 0; k < items; ++k) {
                fields_.skip(4);
                fields_.skip_strings(1);
            }
        }
    }
}

template <class DataSetT>
void DataFileParser<DataSetT>::skip_extra_tables() {
    fields_.skip(60 * static_cast<std::uint64_t>(fields_.read_u32()));
    fields_.skip(108 * static_cast<std::uint64_t>(fields_.read_u32()));
    if (file_.meta.has_timestamps) {
        for (const DataSetT& set : file_.data_sets) {
            fields_.skip(16 * static_cast<std::uint64_t>(set.no_of_points));
        }
    }
}

template <class DataSetT>
void DataFileParser<DataSetT>::parse_information() {
    DataInfo& info = file_.data_info;
    info.date_and_time = fields_.read_string();
    info.scan_summary = fields_.read_string();
    info.apply_data_calibration = fields_.read_u32() != 0;
    info.data_calibration_file = fields_.read_string();
    info.certificate_file = fields_.read_string();
    info.system_file = fields_.read_string();
    info.pre_scan_addon_description = fields_.read_string();
    info.post_scan_addon_description = fields_.read_string();
    info.pre_scan_addon_filename = fields_.read_string();
    info.post_scan_addon_filename = fields_.read_string();
    std::string text = fields_.read_string();
    info.type_and_units = parse_type_and_units(text, fields_.read_string());
    text = fields_.read_string();
    info.auxiliary_type_and_units = parse_type_and_units(text, fields_.read_string());
    info.apply_reference = fields_.read_u32() != 0;
    info.reference_type = fields_.read_string();
    info.reference_file = fields_.read_string();
    info.reference_parameter = fields_.read_string();
    fields_.skip(36);
    fields_.skip(4 * static_cast<std::uint64_t>(file_.data_sets.size()));
}

template class DataFileParser<DataSet>;
template class DataFileParser<XYDataSet>;

MeasurementTypeUnits parse_type_and_units(const std::string& text, const std::string& codes) {
    MeasurementTypeUnits result;
    if (!text.empty()) {
        const std::size_t separator = text.find(" / ");
        if (separator == std::string::npos) {
            result.measurement_type = text;
        } else {
            result.measurement_type = text.substr(0, separator);
            result.units = text.substr(separator + 3);
            const std::size_t end = result.units.find_last_not_of("\t\n\v\f\r ");
            result.units.erase(end == std::string::npos ? 0 : end + 1);
        }
    }
    if (!codes.empty()) {
        // Formatted integer input, as the codes were written: a failed extraction stores 0
        // (or the limit it overflowed) and leaves the stream failed for the second.
        std::istringstream in(codes);
        in.imbue(std::locale::classic());
        in >> result.measurement_type_code >> result.units_code;
    }
    return result;
}

namespace {

template <class DataSetT>
BasicOrvFile<DataSetT> parse_buffer(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        throw std::runtime_error("Buffer is empty");
    }
    DataFileParser<DataSetT> parser(data, size);
    parser.parse();
    return std::move(parser).file();
}

}  // namespace

OrvFile load_orvfile_binary_data(const std::vector<std::uint8_t>& buffer) {
    return parse_buffer<DataSet>(buffer.data(), buffer.size());
}

OrvFile load_orvfile_binary_data(const std::uint8_t* data, std::size_t size) {
    return parse_buffer<DataSet>(data, size);
}

XYOrvFile load_xy_orvfile_binary_data(const std::uint8_t* data, std::size_t size) {
    return parse_buffer<XYDataSet>(data, size);
}

std::map<std::string, Scan> load_orv_scan_binary_data(const std::vector<std::uint8_t>& buffer) {
    return load_orv_scan_binary_data(buffer.data(), buffer.size());
}

std::map<std::string, Scan> load_orv_scan_binary_data(const std::uint8_t* data, std::size_t size) {
    OrvFile file = parse_buffer<DataSet>(data, size);
    std::map<std::string, Scan> scans;
    for (DataSet& set : file.data_sets) {
        scans[set.name] = std::move(set.data);
    }
    return scans;
}

}  // namespace orvanalysis::io
