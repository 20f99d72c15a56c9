#include "io/json_export.hpp"

#include "io/data_file_parser.hpp"

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace orvanalysis::io {

namespace {

nlohmann::json numbers(const std::vector<double>& values) {
    nlohmann::json::array_t array;
    array.reserve(values.size());
    for (const double v : values) {
        array.emplace_back(v);
    }
    return nlohmann::json(std::move(array));
}

template <class Record>
nlohmann::json record_json(const Record& record);

template <class Value>
nlohmann::json value_json(const Value& value) {
    if constexpr (has_fields<Value>::value) {
        return record_json(value);
    } else if constexpr (std::is_same_v<Value, std::vector<double>>) {
        return numbers(value);
    } else if constexpr (std::is_same_v<Value, std::vector<XYDataSet>>) {
        nlohmann::json::array_t sets;
        for (const XYDataSet& set : value) {
            sets.push_back(record_json(set));
        }
        return nlohmann::json(std::move(sets));
    } else {
        return value;
    }
}

// Every field under its name; the document's keys come out sorted, as nlohmann::json keeps them.
// A file without data sets has no "data_sets" key, as the document has always been written.
template <class Record>
nlohmann::json record_json(const Record& record) {
    nlohmann::json out = nlohmann::json::object();
    for_each_field<Record>([&](const auto& f) {
        const auto& value = record.*(f.member);
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::vector<XYDataSet>>) {
            if (value.empty()) {
                return;
            }
        }
        out[f.name] = value_json(value);
    });
    return out;
}

}  // namespace

nlohmann::json to_json(const XYOrvFile& file) { return record_json(file); }

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

}  // namespace orvanalysis::io
