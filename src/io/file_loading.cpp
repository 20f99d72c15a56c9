#include "io/file_loading.hpp"

#include "io/csv.hpp"
#include "io/data_file_parser.hpp"
#include "io/json_export.hpp"

#include <filesystem>
#include <fstream>
#include <ios>
#include <stdexcept>
#include <system_error>

namespace orvanalysis::io {

namespace {

// The path as text for a message: bytes that do not form UTF-8 (a bytes path from Python may
// hold any) are written as \xNN, so that the message itself is valid UTF-8.
std::string printable(const std::string& path) {
    std::string text;
    for (std::size_t i = 0; i < path.size();) {
        const auto c = static_cast<unsigned char>(path[i]);
        const std::size_t length = c == 0                   ? 0
                                   : c < 0x80               ? 1
                                   : c >= 0xC2 && c <= 0xDF ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        // The second byte's range excludes overlong forms, surrogates and code points above
        // U+10FFFF, which Python's decoder refuses too.
        const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        bool valid = length != 0 && i + length <= path.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(path[i + k]);
            valid = k == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
        }
        if (valid) {
            text.append(path, i, length);
            i += length;
        } else {
            static const char* digits = "0123456789abcdef";
            text += std::string("\\x") + digits[c >> 4] + digits[c & 0xF];
            ++i;
        }
    }
    return text;
}

// A stream failure for the path, with the text "Could not open file for reading: <path>:
// iostream stream error" whatever words the standard library has for its error category.
class ReadError : public std::ios_base::failure {
public:
    explicit ReadError(const std::string& path)
        : std::ios_base::failure("Could not open file for reading: " + printable(path), std::io_errc::stream),
          message_("Could not open file for reading: " + printable(path) + ": iostream stream error") {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

std::ifstream open_for_reading(const std::string& file_path) {
    // The file name would end at a NUL byte, and what follows be silently ignored.
    if (file_path.find('\0') != std::string::npos) {
        throw std::invalid_argument("embedded null byte in the file path " + printable(file_path));
    }
    std::ifstream in(file_path, std::ios::binary);
    // A directory opens but cannot be read.
    std::error_code error;
    if (!in || std::filesystem::is_directory(file_path, error)) {
        throw ReadError(file_path);
    }
    return in;
}

[[noreturn]] void too_large(const std::string& file_path) {
    throw std::length_error("File larger than " + std::to_string(max_file_bytes) + " bytes: " + printable(file_path));
}

}  // namespace

std::vector<std::uint8_t> read_file_bytes(const std::string& file_path) {
    std::ifstream in = open_for_reading(file_path);
    std::vector<std::uint8_t> bytes;
    // A regular file tells its size, so the vector is allocated once (and not zero-filled).
    std::error_code error;
    if (std::filesystem::is_regular_file(file_path, error)) {
        const std::uintmax_t size = std::filesystem::file_size(file_path, error);
        if (!error && size > max_file_bytes) {
            too_large(file_path);
        }
        if (!error) {
            bytes.reserve(static_cast<std::size_t>(size));
        }
    }
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        if (bytes.size() + static_cast<std::size_t>(in.gcount()) > max_file_bytes) {
            too_large(file_path);  // a stream that does not end, or a file that grew
        }
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad()) {
        throw ReadError(file_path);
    }
    return bytes;
}

OrvFile load_orvfile(const std::string& file_path) { return load_orvfile_binary_data(read_file_bytes(file_path)); }

std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path) {
    return load_orv_scan_binary_data(read_file_bytes(file_path));
}

std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii) {
    check_json_indent(indent);
    return orvfile_to_json_binary_data(read_file_bytes(file_path), indent, ensure_ascii);
}

Scan load_csv(const std::string& file_path) {
    std::ifstream in = open_for_reading(file_path);
    // A first pass over the file counts its lines, so that its points are stored without the
    // copies of a growing array.
    std::size_t points = 0;
    std::error_code error;
    if (std::filesystem::is_regular_file(file_path, error)) {
        const std::uintmax_t size = std::filesystem::file_size(file_path, error);
        if (!error && size > max_file_bytes) {
            too_large(file_path);
        }
        // A data line takes at least four bytes: "1,1" and its line end.
        points = std::min<std::size_t>(count_lines(in), static_cast<std::size_t>(size / 4 + 1));
        in.clear();
        in.seekg(0);
        if (!in) {
            throw ReadError(file_path);
        }
    }
    Scan scan = read_csv(in, printable(file_path), points);
    if (in.bad()) {
        throw ReadError(file_path);
    }
    return scan;
}

}  // namespace orvanalysis::io
