// Two-column text files of keys and values, as instruments and spreadsheet software write them.
#pragma once

#include "core/scan.hpp"

#include <cstddef>
#include <istream>
#include <string>

namespace orvanalysis::io {

// No instrument writes a line this long; a longer one is refused before it fills memory.
inline constexpr std::size_t max_csv_line_bytes = std::size_t{1} << 20;

// A scan (epsilon 1e-20, Akima) from the text, read up to max_file_bytes (file_loading.hpp).
// The rules, line by line (lines end at "\n", "\r\n" or a lone "\r"; a UTF-8 byte order mark is
// skipped):
// - Blank lines and lines whose first character other than white space is '#' are skipped.
// - A data line holds two numbers, the key and the value, as its first two fields; further
//   fields are ignored. Fields are separated by white space, or by a separator character with
//   white space around it; a field may be wrapped in double quotes. A number has an optional
//   sign, digits with at most one decimal mark and an optional exponent, or is nan, inf or
//   infinity; the key must be finite. An underflowing number reads as the nearest double.
// - A line holding a semicolon or a tab is separated by semicolons (or else tabs), and a number
//   in it may use the decimal comma or the decimal point, as spreadsheet software writes in
//   locales with a decimal comma. In any other line the comma separates fields and the point is
//   the decimal mark; a line that reads as data both so and with white space separating numbers
//   with decimal commas is refused as ambiguous.
// - Before the first data line, a line whose first field does not begin like a number (a digit,
//   or a sign or a decimal mark before one, or nan or inf) is a header and skipped. Any other
//   line that is not a data line throws std::invalid_argument "load_csv: <name>, line <n>: "
//   and the reason, as do an empty field where a number belongs, NUL bytes (UTF-16 text), and
//   a line longer than max_csv_line_bytes.
// - Text whose lines, other than blank and comment lines, include no data line throws
//   std::invalid_argument "load_csv: <name>: no data lines ..."; text of blank and comment lines
//   alone gives an empty scan.
// A repeated key keeps the later value. name appears in error messages only. A read error ends
// the text before the line it cuts; the caller checks the stream (in.bad()) after the call.
// expected_points, the most points the text can hold when known (count_lines), sizes them once.
Scan read_csv(std::istream& in, const std::string& name, std::size_t expected_points = 0);

// The number of lines of the rest of the text (a last line without an ending included), read to
// its end.
std::size_t count_lines(std::istream& in);

}  // namespace orvanalysis::io
