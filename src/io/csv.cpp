#include "io/csv.hpp"

#include "io/file_loading.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

namespace orvanalysis::io {

namespace {

constexpr std::string_view bad_line = "expected two numbers separated by spaces, tabs, commas or semicolons";

[[noreturn]] void fail(const std::string& name, std::size_t line, std::string_view reason) {
    throw std::invalid_argument("load_csv: " + name + ", line " + std::to_string(line) + ": " + std::string(reason));
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text is nan, inf or infinity, in any case.
bool is_special(std::string_view text) {
    if (text.size() > 8) {
        return false;
    }
    std::string word;
    for (const char c : text) {
        word += lower(c);
    }
    return word == "nan" || word == "inf" || word == "infinity";
}

// The decimal marks a number may use.
struct Marks {
    bool point;
    bool comma;
    bool allows(char c) const { return (c == '.' && point) || (c == ',' && comma); }
};

// The value of a number field whose decimal mark is one of marks, or nothing: an optional sign,
// digits with at most one decimal mark, an optional exponent; or nan, inf or infinity. An
// overflow is no number; an underflow reads as the nearest double, as strtod gives it.
std::optional<double> number(std::string_view field, Marks marks) {
    const std::size_t sign = !field.empty() && (field[0] == '+' || field[0] == '-') ? 1 : 0;
    std::size_t i = sign;
    if (i < field.size() && !is_digit(field[i]) && !marks.allows(field[i])) {
        if (!is_special(field.substr(i))) {
            return std::nullopt;
        }
        const double special = lower(field[i]) == 'n' ? std::numeric_limits<double>::quiet_NaN() : HUGE_VAL;
        return field[0] == '-' ? -special : special;
    }
    std::size_t digits = 0;
    std::size_t mark = std::string_view::npos;
    for (; i < field.size(); ++i) {
        if (is_digit(field[i])) {
            ++digits;
        } else if (mark == std::string_view::npos && marks.allows(field[i])) {
            mark = i;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        i += i + 1 < field.size() && (field[i + 1] == '+' || field[i + 1] == '-') ? 2 : 1;
        const std::size_t exponent = i;
        while (i < field.size() && is_digit(field[i])) {
            ++i;
        }
        if (i == exponent) {
            return std::nullopt;
        }
    }
    if (i != field.size()) {
        return std::nullopt;
    }
    // from_chars reads a point and no plus sign; the copy that gives it those stays on the stack
    // for any sensible number.
    const std::string_view digits_text = field.substr(field[0] == '+' ? 1 : 0);
    char buffer[128];
    std::string long_text;
    char* text = buffer;
    if (digits_text.size() >= sizeof buffer) {
        long_text.resize(digits_text.size());
        text = long_text.data();
    }
    digits_text.copy(text, digits_text.size());
    text[digits_text.size()] = '\0';
    if (mark != std::string_view::npos) {
        text[mark - (field[0] == '+' ? 1 : 0)] = '.';
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + digits_text.size(), value);
    if (error == std::errc::result_out_of_range) {
        value = std::strtod(text, nullptr);
        if (std::abs(value) == HUGE_VAL) {
            return std::nullopt;
        }
    } else if (error != std::errc() || end != text + digits_text.size()) {
        return std::nullopt;
    }
    return value;
}

struct Point {
    double key;
    double value;
};

// The data of a line read with separator (0 for none: white space alone separates fields) and
// the given decimal marks, or the reason it holds none.
std::variant<Point, std::string_view> read_with(std::string_view line, char separator, Marks marks) {
    const auto blank = [separator](char c) {
        return c == ' ' || c == '\v' || c == '\f' || (c == '\t' && separator != '\t');
    };
    std::size_t i = 0;
    const auto skip_blanks = [&] {
        while (i < line.size() && blank(line[i])) {
            ++i;
        }
    };
    std::string_view fields[2];
    for (std::string_view& field : fields) {
        if (i == line.size()) {
            return bad_line;
        }
        if (line[i] == separator) {
            return "an empty field where a number belongs";
        }
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                return bad_line;
            }
            field = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !blank(line[i]) && line[i] != separator) {
                ++i;
            }
            field = line.substr(start, i - start);
        }
        const std::size_t end = i;
        skip_blanks();
        if (i < line.size() && line[i] == separator) {
            ++i;
            skip_blanks();
            if (&field == &fields[0] && (i == line.size() || line[i] == separator)) {
                return "an empty field where a number belongs";
            }
        } else if (i == end && i < line.size()) {
            return bad_line;  // text right after a closing quote
        }
    }
    const auto key = number(fields[0], marks);
    const auto value = number(fields[1], marks);
    if (!key || !value) {
        return bad_line;
    }
    if (!std::isfinite(*key)) {
        return "the key is not a finite number";
    }
    return Point{*key, *value};
}

// The usual line, two finite numbers with a decimal point and one separator between them, read
// directly: the rules read it the same.
std::optional<Point> plain_line(std::string_view line) {
    const char* last = line.data() + line.size();
    Point point{};
    const auto key = std::from_chars(line.data(), last, point.key);
    if (key.ec != std::errc() || key.ptr == last || !std::isfinite(point.key)) {
        return std::nullopt;
    }
    const char separator = *key.ptr;
    if (separator != ',' && separator != ';' && separator != '\t' && separator != ' ') {
        return std::nullopt;
    }
    const auto value = std::from_chars(key.ptr + 1, last, point.value);
    if (value.ec != std::errc() || value.ptr != last || !std::isfinite(point.value)) {
        return std::nullopt;
    }
    return point;
}

// The data of a line that is neither blank nor a comment, or the reason it holds none.
std::variant<Point, std::string_view> data_line(std::string_view line) {
    if (const auto point = plain_line(line)) {
        return *point;
    }
    bool semicolon = false;
    bool tab = false;
    bool comma = false;
    bool space = false;
    for (const char c : line) {
        semicolon |= c == ';';
        tab |= c == '\t';
        comma |= c == ',';
        space |= c == ' ' || c == '\v' || c == '\f';
    }
    if (semicolon || tab) {
        return read_with(line, semicolon ? ';' : '\t', Marks{true, true});
    }
    if (!comma) {
        return read_with(line, 0, Marks{true, false});
    }
    // The comma separates fields, unless white space does and the comma is a decimal mark.
    const auto separated = read_with(line, ',', Marks{true, false});
    if (!space) {
        return separated;
    }
    const auto decimal = read_with(line, 0, Marks{false, true});
    if (std::holds_alternative<Point>(decimal)) {
        return std::holds_alternative<Point>(separated)
                   ? std::string_view(
                         "the comma may separate the numbers or be their decimal mark; separate them with "
                         "a semicolon or a tab")
                   : decimal;
    }
    return separated;
}

// Whether the first field begins like a number: a digit, or a sign or a decimal mark or both
// before one; or nan, inf or infinity.
bool begins_like_number(std::string_view line) {
    std::size_t i = !line.empty() && line[0] == '"' ? 1 : 0;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        ++i;
    }
    std::size_t word = i;
    while (word < line.size() &&
           ((line[word] >= 'a' && line[word] <= 'z') || (line[word] >= 'A' && line[word] <= 'Z'))) {
        ++word;
    }
    if (word > i && is_special(line.substr(i, word - i)) && (word == line.size() || !is_digit(line[word]))) {
        return true;
    }
    if (i < line.size() && (line[i] == '.' || line[i] == ',')) {
        ++i;
    }
    return i < line.size() && is_digit(line[i]);
}

// Hands the lines of the text, read in blocks, to handle(line, number): lines end at "\n",
// "\r\n" or a lone "\r" and are numbered from 1; a last line without an ending counts too.
template <class Handle>
void for_each_line(std::istream& in, const std::string& name, Handle&& handle) {
    constexpr std::size_t block_size = std::size_t{1} << 20;
    const std::unique_ptr<char[]> block(new char[block_size]);  // not zero-filled: most texts are short
    std::string partial;                                        // the start of a line that runs on into the next block
    bool after_cr = false;                                      // the last character read ended a line with "\r"
    std::size_t number = 0;
    std::uint64_t total = 0;
    const auto too_long = [&] {
        fail(name, number + 1, "longer than " + std::to_string(max_csv_line_bytes) + " bytes");
    };
    while (in.read(block.get(), static_cast<std::streamsize>(block_size)) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        std::size_t start = 0;
        if (total == 0) {
            const std::string_view head(block.get(), std::min<std::size_t>(n, 3));
            if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
                fail(name, 1, "UTF-16 text; save the file as UTF-8 or ASCII text");
            }
            start = head == "\xEF\xBB\xBF" ? 3 : 0;  // a UTF-8 byte order mark
        }
        total += n;
        if (total > max_file_bytes) {
            throw std::length_error("load_csv: " + name + ": larger than " + std::to_string(max_file_bytes) + " bytes");
        }
        if (after_cr && block[0] == '\n') {
            start = 1;  // the "\n" of a "\r\n" split between two blocks
        }
        after_cr = false;
        for (std::size_t i = start; i < n; ++i) {
            const char c = block[i];
            if (c == '\0') {
                fail(name, number + 1, "NUL bytes, as in UTF-16 text; save the file as UTF-8 or ASCII text");
            }
            if (c != '\n' && c != '\r') {
                continue;
            }
            std::string_view line(block.get() + start, i - start);
            if (!partial.empty()) {
                if (partial.size() + line.size() > max_csv_line_bytes) {
                    too_long();
                }
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
        if (partial.size() + (n - start) > max_csv_line_bytes) {
            too_long();
        }
        partial.append(block.get() + start, n - start);
    }
    // After a read error the unfinished line may be cut short: it is left unread, and the
    // caller finds the error in the stream's state.
    if (!partial.empty() && !in.bad()) {
        handle(std::string_view(partial), ++number);
    }
}

}  // namespace

std::size_t count_lines(std::istream& in) {
    constexpr std::size_t block_size = std::size_t{1} << 16;
    char block[block_size];
    std::size_t lines = 0;
    bool after_cr = false;
    while (in.read(block, static_cast<std::streamsize>(block_size)) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < n; ++i) {
            // "\r\n" ends one line, a lone "\r" or "\n" one each.
            lines += block[i] == '\r' || (block[i] == '\n' && !after_cr);
            after_cr = block[i] == '\r';
        }
    }
    return lines + 1;
}

Scan read_csv(std::istream& in, const std::string& name, std::size_t expected_points) {
    std::vector<double> keys;
    std::vector<double> values;
    // Sized once for every line that may hold data, the points are never copied on their way into
    // the scan: a large file needs little more memory than its points.
    keys.reserve(expected_points);
    values.reserve(keys.capacity());
    bool text = false;  // a line that is neither blank nor a comment was read
    for_each_line(in, name, [&](std::string_view line, std::size_t number) {
        const std::size_t first = line.find_first_not_of(" \t\v\f");
        if (first == std::string_view::npos || line[first] == '#') {
            return;
        }
        text = true;
        line.remove_prefix(first);
        const auto read = data_line(line);
        if (const auto* point = std::get_if<Point>(&read)) {
            // A key repeating the one before takes its place at once, as insert-or-assign would.
            if (!keys.empty() && keys.back() == point->key) {
                values.back() = point->value;
            } else {
                keys.push_back(point->key);
                values.push_back(point->value);
            }
        } else if (!keys.empty() || begins_like_number(line)) {
            // After the data began, or on a line that begins like a number: not a header.
            fail(name, number, std::get<std::string_view>(read));
        }
    });
    if (text && keys.empty() && !in.bad()) {
        throw std::invalid_argument("load_csv: " + name + ": no data lines (none of its lines holds two numbers)");
    }
    // Stored as one by one with insert-or-assign, so a repeated key keeps the later value.
    return Scan(std::move(keys), std::move(values), Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
}

}  // namespace orvanalysis::io
