// Data files and CSV files read from paths.
#pragma once

#include "core/scan.hpp"
#include "io/orvfile_records.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvanalysis::orvfile {

// Every byte of the file. A file that cannot be opened or read throws a std::ios_base::failure
// whose message is "Could not open file for reading: " and the path.
std::vector<std::uint8_t> read_file_bytes(const std::string& file_path);

OrvFile load_orvfile(const std::string& file_path);
std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path);
std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii);

// A scan (epsilon 1e-20, Akima) from a text file of key-value lines. Blank lines, lines
// starting with '#' and, before the first data line, lines that do not start with a number (a
// header) are skipped. A data line starts with two numbers separated by spaces, tabs, commas or
// semicolons; the rest of the line is ignored. Any other line throws std::invalid_argument
// naming the file and the line. A repeated key keeps the later value.
Scan load_csv(const std::string& file_path);

}  // namespace orvanalysis::orvfile
