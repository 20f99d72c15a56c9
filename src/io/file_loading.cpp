#include "io/file_loading.hpp"

#include "io/data_file_parser.hpp"
#include "io/json_export.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
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

std::ifstream open_for_reading(const std::string& file_path) {
    std::ifstream in(file_path, std::ios::binary);
    if (!in) {
        throw ReadError(file_path);
    }
    return in;
}

// Hands the lines of a text, read in blocks, to handle(line, number): lines end at "\n",
// "\r\n" or a lone "\r" and are numbered from 1; a last line without an ending counts too.
template <class Handle>
void for_each_line(std::istream& in, const std::string& file_path, Handle&& handle) {
    std::vector<char> block(std::size_t{1} << 20);
    std::string partial;    // the start of a line that runs on into the next block
    bool after_cr = false;  // the last character read ended a line with "\r"
    std::size_t number = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        std::size_t start = 0;
        if (after_cr && block[0] == '\n') {
            start = 1;  // the "\n" of a "\r\n" split between two blocks
        }
        after_cr = false;
        for (std::size_t i = start; i < n; ++i) {
            const char c = block[i];
            if (c != '\n' && c != '\r') {
                continue;
            }
            std::string_view line(block.data() + start, i - start);
            if (!partial.empty()) {
                partial.append(line);
                line = partial;
            }
            handle(line, ++number);
            partial.clear();
            if (c == '\r' && i + 1 < n && block[i + 1] == '\n') {
                ++i;
            } else if (c == '\r' && i + 1 == n) {
                after_cr = true;
            }
            start = i + 1;
        }
        partial.append(block.data() + start, n - start);
    }
    if (in.bad()) {
        throw ReadError(file_path);  // a directory, or a read error
    }
    if (!partial.empty()) {
        handle(std::string_view(partial), ++number);
    }
}

}  // namespace

std::vector<std::uint8_t> read_file_bytes(const std::string& file_path) {
    std::ifstream in = open_for_reading(file_path);
    std::vector<std::uint8_t> bytes;
    // A regular file tells its size, so the vector is allocated once (and not zero-filled).
    std::error_code error;
    if (std::filesystem::is_regular_file(file_path, error)) {
        const std::uintmax_t size = std::filesystem::file_size(file_path, error);
        if (!error) {
            bytes.reserve(static_cast<std::size_t>(size));
        }
    }
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
    std::ifstream in = open_for_reading(file_path);
    std::vector<double> keys;
    std::vector<double> values;
    // Room for the points, estimated from the file size and the first lines' length, so the
    // arrays are not copied over and over as they grow.
    std::error_code error;
    const std::uintmax_t file_size =
        std::filesystem::is_regular_file(file_path, error) ? std::filesystem::file_size(file_path, error) : 0;
    std::size_t bytes_seen = 0;
    for_each_line(in, file_path, [&](std::string_view line, std::size_t number) {
        bytes_seen += line.size() + 1;
        if (number == 1000 && !error && file_size > bytes_seen) {
            const auto estimate = static_cast<std::size_t>(1.05 * static_cast<double>(file_size) /
                                                           static_cast<double>(bytes_seen) * 1000.0);
            keys.reserve(estimate);
            values.reserve(estimate);
        }
        const std::size_t first = line.find_first_not_of(" \t\v\f");
        if (first == std::string_view::npos || line[first] == '#') {
            return;
        }
        line.remove_prefix(first);
        if (const auto point = data_line(line)) {
            keys.push_back(point->first);
            values.push_back(point->second);
        } else if (!keys.empty() || number_length(line) != 0) {
            // After the data began, or on a line that starts with a number: not a header.
            throw std::invalid_argument("load_csv: " + file_path + ", line " + std::to_string(number) +
                                        ": expected two numbers separated by spaces, tabs, commas or semicolons");
        }
    });
    // Stored one by one with insert-or-assign, so a repeated key keeps the later value.
    return Scan(std::move(keys), std::move(values), Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
}

}  // namespace orvanalysis::orvfile
