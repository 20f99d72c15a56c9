#include "io/json_export.hpp"

#include "io/data_file_parser.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

namespace orvanalysis::io {

namespace {

using Arrays = std::vector<const std::vector<double>*>;

nlohmann::json numbers(const std::vector<double>& values) {
    nlohmann::json::array_t array;
    array.reserve(values.size());
    for (const double v : values) {
        array.emplace_back(v);
    }
    return nlohmann::json(std::move(array));
}

template <class Record>
nlohmann::json record_json(const Record& record, Arrays* arrays);

// With arrays, an array of numbers becomes a placeholder: a binary value whose subtype is its
// index in arrays, where it is kept.
template <class Value>
nlohmann::json value_json(const Value& value, Arrays* arrays) {
    if constexpr (has_fields<Value>::value) {
        return record_json(value, arrays);
    } else if constexpr (std::is_same_v<Value, std::vector<double>>) {
        if (arrays == nullptr) {
            return numbers(value);
        }
        arrays->push_back(&value);
        return nlohmann::json::binary({}, arrays->size() - 1);
    } else if constexpr (std::is_same_v<Value, std::vector<XYDataSet>>) {
        nlohmann::json::array_t sets;
        for (const XYDataSet& set : value) {
            sets.push_back(record_json(set, arrays));
        }
        return nlohmann::json(std::move(sets));
    } else {
        return value;
    }
}

// Every field under its name; the document's keys come out sorted, as nlohmann::json keeps them.
// A file without data sets has no "data_sets" key, as the document has always been written.
template <class Record>
nlohmann::json record_json(const Record& record, Arrays* arrays) {
    nlohmann::json out = nlohmann::json::object();
    for_each_field<Record>([&](const auto& f) {
        const auto& value = record.*(f.member);
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::vector<XYDataSet>>) {
            if (value.empty()) {
                return;
            }
        }
        out[f.name] = value_json(value, arrays);
    });
    return out;
}

// The layout text for one node: pretty with step spaces per level (current before its closing
// bracket), or on one line.
class Layout {
public:
    Layout(bool pretty, bool ensure_ascii, std::size_t step, const Arrays& arrays)
        : pretty_(pretty), ensure_ascii_(ensure_ascii), step_(step), arrays_(arrays) {
        texts.emplace_back();
    }

    void node(const nlohmann::json& value, std::size_t current) {
        std::string& text = texts.back();
        if (value.is_binary()) {
            numbers.push_back({arrays_[value.get_binary().subtype()], current + step_, current});
            texts.emplace_back();
        } else if (value.is_object() && !value.empty()) {
            text += pretty_ ? "{\n" : "{";
            std::size_t left = value.size();
            for (const auto& [key, member] : value.items()) {
                indent(current + step_);
                texts.back() += nlohmann::json(key).dump(-1, ' ', ensure_ascii_);
                texts.back() += pretty_ ? ": " : ":";
                node(member, current + step_);
                texts.back() += --left == 0 ? (pretty_ ? "\n" : "") : (pretty_ ? ",\n" : ",");
            }
            indent(current);
            texts.back() += '}';
        } else if (value.is_array() && !value.empty()) {
            text += pretty_ ? "[\n" : "[";
            std::size_t left = value.size();
            for (const auto& element : value) {
                indent(current + step_);
                node(element, current + step_);
                texts.back() += --left == 0 ? (pretty_ ? "\n" : "") : (pretty_ ? ",\n" : ",");
            }
            indent(current);
            texts.back() += ']';
        } else {
            text += value.dump(-1, ' ', ensure_ascii_);
        }
    }

    std::vector<std::string> texts;
    std::vector<JsonText::Numbers> numbers;

private:
    void indent(std::size_t spaces) {
        if (pretty_) {
            texts.back().append(spaces, ' ');
        }
    }

    bool pretty_;
    bool ensure_ascii_;
    std::size_t step_;
    const Arrays& arrays_;
};

}  // namespace

char* write_json_number(char* out, double v) {
    if (!std::isfinite(v)) {
        constexpr std::string_view null = "null";
        return std::copy(null.begin(), null.end(), out);
    }
    // std::to_chars writes the fewest digits that read back to v, the closest of them to v, in
    // either layout. The JSON library writes fixed point from 1e-4 up to 1e15: below 1e15 no
    // double's shortest digits reach 1e15, and 1e-4 is the first double they reach 0.0001 from.
    char* const end = out + max_json_number_size;
    const double size = std::fabs(v);
    if (size < 1e15 && (size >= 1e-4 || size == 0)) {
        char* last = std::to_chars(out, end, v, std::chars_format::fixed).ptr;
        // Whole numbers below 2^53 come without a point, as only they read back from digits
        // without one; the JSON library adds ".0".
        if (v == std::trunc(v)) {
            *last++ = '.';
            *last++ = '0';
        }
        return last;
    }
    // d[.igits]e±XX with at least two exponent digits: the JSON library's layout too.
    return std::to_chars(out, end, v, std::chars_format::scientific).ptr;
}

JsonText::JsonText(const XYOrvFile& file, int indent, bool ensure_ascii) : pretty_(indent >= 0) {
    check_json_indent(indent);
    Arrays arrays;
    const nlohmann::json tree = record_json(file, &arrays);
    Layout layout(pretty_, ensure_ascii, pretty_ ? static_cast<std::size_t>(indent) : 0, arrays);
    layout.node(tree, 0);
    texts_ = std::move(layout.texts);
    numbers_ = std::move(layout.numbers);
    for (const std::string& text : texts_) {
        bound_ += text.size();
        ascii_ = ascii_ && std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    }
    for (const Numbers& array : numbers_) {
        // "[\n", each number with its indent and ",\n", the closing bracket on its own line.
        const std::size_t line = max_json_number_size + 2 + (pretty_ ? array.indent : 0);
        bound_ += 3 + array.values->size() * line + array.closing;
    }
}

char* JsonText::write_numbers(char* out, const Numbers& numbers) const {
    const std::vector<double>& values = *numbers.values;
    if (values.empty()) {
        *out++ = '[';
        *out++ = ']';
        return out;
    }
    *out++ = '[';
    if (pretty_) {
        *out++ = '\n';
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (pretty_) {
            std::memset(out, ' ', numbers.indent);
            out += numbers.indent;
        }
        out = write_json_number(out, values[i]);
        if (i + 1 < values.size()) {
            *out++ = ',';
        }
        if (pretty_) {
            *out++ = '\n';
        }
    }
    if (pretty_) {
        std::memset(out, ' ', numbers.closing);
        out += numbers.closing;
    }
    *out++ = ']';
    return out;
}

std::size_t JsonText::write(char* out) const {
    char* end = out;
    for (std::size_t i = 0; i < numbers_.size(); ++i) {
        end = write_numbers(std::copy(texts_[i].begin(), texts_[i].end(), end), numbers_[i]);
    }
    end = std::copy(texts_.back().begin(), texts_.back().end(), end);
    return static_cast<std::size_t>(end - out);
}

nlohmann::json to_json(const XYOrvFile& file) { return record_json(file, nullptr); }

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
    const JsonText text(file, indent, ensure_ascii);
    std::string out(text.size_bound(), '\0');
    out.resize(text.write(out.data()));
    return out;
}

}  // namespace orvanalysis::io
