// Data files and CSV files read from paths.
#pragma once

#include "core/scan.hpp"
#include "io/orvfile_records.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvanalysis::io {

// The largest file read: far beyond any instrument's data, and the end of reading a stream that
// never ends.
inline constexpr std::uint64_t max_file_bytes = std::uint64_t{1} << 30;

// Every byte of the file. A file that cannot be opened or read throws a std::ios_base::failure
// whose message is "Could not open file for reading: " and the path; a path holding a NUL byte
// std::invalid_argument, and a file of more than max_file_bytes std::length_error. Paths appear
// in messages as valid UTF-8, bytes that are not escaped as \xNN.
std::vector<std::uint8_t> read_file_bytes(const std::string& file_path);

OrvFile load_orvfile(const std::string& file_path);
std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path);
std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii);

// read_csv (csv.hpp) of the file, its errors naming the path; the file errors as above.
Scan load_csv(const std::string& file_path);

}  // namespace orvanalysis::io
