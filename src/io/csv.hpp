// Two-column text files of keys and values, as instruments and spreadsheet software write them.
#pragma once

#include "core/scan.hpp"

#include <cstddef>
#include <istream>
#include <string>

namespace orvanalysis::io {

// No instrument writes a line this long; a longer one is refused before it fills memory.
inline constexpr std::size_t max_csv_line_bytes = std::size_t{1} << 20;

// A scan (epsilon 1e-20, Akima) from the text, read up to max_file_bytes (file_loading.hpp), by
// the rules that io.load_csv's docstring states for users (src/python/io.cpp): they are written
// there once. Errors throw std::invalid_argument "load_csv: <name>, line <n>: " and the reason,
// or "load_csv: <name>: no data lines ..." for text with lines of which none is data; a line
// longer than max_csv_line_bytes is an error too. name appears in error messages only. A read
// error ends the text before the line it cuts; the caller checks the stream (in.bad()) after the
// call. expected_points, the most points the text can hold when known (count_lines), sizes them
// once.
Scan read_csv(std::istream& in, const std::string& name, std::size_t expected_points = 0);

// The number of lines of the rest of the text (a last line without an ending included), read to
// its end.
std::size_t count_lines(std::istream& in);

}  // namespace orvanalysis::io
