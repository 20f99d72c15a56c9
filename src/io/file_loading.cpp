#include "io/file_loading.hpp"

#include "io/data_file_parser.hpp"
#include "io/json_export.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <ios>
#include <optional>
#include <string_view>
#include <system_error>

namespace orvanalysis::orvfile {

namespace {

// A stream failure for the path, with the text "Could not open file for reading: <path>:
// iostream stream error" whatever words the standard library has for its error category.
class ReadError : public std::ios_base::failure {
public:
    explicit ReadError(const std::string& path)
        : std::ios_base::failure("Could not open file for reading: " + path, std::io_errc::stream),
          message_("Could not open file for reading: " + path + ": iostream stream error") {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

bool is_delimiter(char c) { return c == ' ' || c == '\t' || c == ',' || c == ';'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The length of the number at the start of text, as formatted input reads one in the classic
// locale: an optional sign, digits with an optional decimal point, an optional exponent. It
// must end the text or be followed by a delimiter; 0 when there is no such number.
std::size_t number_length(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j >= text.size() || !is_digit(text[j])) {
            return 0;
        }
        for (i = j; i < text.size() && is_digit(text[i]); ++i) {
        }
    }
    return i == text.size() || is_delimiter(text[i]) ? i : 0;
}

// The value of a number of number_length() characters; nothing when it overflows a double.
// An underflow reads as the nearest subnormal or zero, as strtod gives it.
std::optional<double> number_value(std::string_view number) {
    const std::size_t skip_plus = number[0] == '+' ? 1 : 0;
    double value = 0;
    const auto [end, error] = std::from_chars(number.data() + skip_plus, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        const std::string token(number);
        value = std::strtod(token.c_str(), nullptr);
        if (std::abs(value) == HUGE_VAL) {
            return std::nullopt;
        }
    } else if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return value;
}

// The first two numbers of a data line, separated by a run of delimiters, or nothing.
std::optional<std::pair<double, double>> data_line(std::string_view line) {
    const std::size_t key_length = number_length(line);
    if (key_length == 0) {
        return std::nullopt;
    }
    std::size_t i = key_length;
    while (i < line.size() && is_delimiter(line[i])) {
        ++i;
    }
    const std::size_t value_length = i > key_length ? number_length(line.substr(i)) : 0;
    if (value_length == 0) {
        return std::nullopt;
    }
    const auto key = number_value(line.substr(0, key_length));
    const auto value = number_value(line.substr(i, value_length));
    if (!key || !value) {
        return std::nullopt;
    }
    return std::make_pair(*key, *value);
}

std::string read_text(const std::string& file_path) {
    const std::vector<std::uint8_t> bytes = read_file_bytes(file_path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::uint8_t> read_file_bytes(const std::string& file_path) {
    std::ifstream in(file_path, std::ios::binary);
    if (!in) {
        throw ReadError(file_path);
    }
    std::vector<std::uint8_t> bytes;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad()) {
        throw ReadError(file_path);  // a directory, or a read error
    }
    return bytes;
}

OrvFile load_orvfile(const std::string& file_path) { return load_orvfile_binary_data(read_file_bytes(file_path)); }

std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path) {
    return load_orv_scan_binary_data(read_file_bytes(file_path));
}

std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii) {
    return orvfile_to_json_binary_data(read_file_bytes(file_path), indent, ensure_ascii);
}

Scan load_csv(const std::string& file_path) {
    const std::string text = read_text(file_path);
    std::vector<double> keys;
    std::vector<double> values;
    std::size_t line_number = 0;
    for (std::size_t start = 0; start < text.size();) {
        // Lines end at "\n", "\r\n" or a lone "\r".
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view line(text.data() + start, end - start);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++line_number;
        const std::size_t first = line.find_first_not_of(" \t\v\f");
        if (first == std::string_view::npos || line[first] == '#') {
            continue;
        }
        line.remove_prefix(first);
        if (const auto point = data_line(line)) {
            keys.push_back(point->first);
            values.push_back(point->second);
        } else if (!keys.empty() || number_length(line) != 0) {
            // After the data began, or on a line that starts with a number: not a header.
            throw std::invalid_argument("load_csv: " + file_path + ", line " + std::to_string(line_number) +
                                        ": expected two numbers separated by spaces, tabs, commas or semicolons");
        }
    }
    // Stored one by one with insert-or-assign, so a repeated key keeps the later value.
    return Scan(std::move(keys), std::move(values), Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
}

}  // namespace orvanalysis::orvfile
