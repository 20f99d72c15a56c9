// JSON text of an instrument data file: every member of the record tree, each data set's
// stored points as two plain arrays in file order.
#pragma once

#include "io/orvfile_records.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvanalysis::io {

// Keys sorted byte-wise at every level; "data_sets" only when the file has data sets.
nlohmann::json to_json(const XYOrvFile& file);

// The largest indent the serialiser is given: its indentation buffer starts at 512 spaces and
// doubles when a level needs more, which keeps up with any depth only for steps up to 512. No
// reader needs more than 64, and the limit leaves the serialiser a wide margin.
inline constexpr int max_json_indent = 64;

// Throws std::invalid_argument for an indent above max_json_indent.
void check_json_indent(int indent);

// The document serialised with indent spaces per level (negative: one line; at most
// max_json_indent) and, with ensure_ascii, every non-ASCII character escaped. Throws
// std::runtime_error "Buffer is empty" for an empty buffer and the parser's errors for a
// malformed one.
std::string orvfile_to_json_binary_data(const std::vector<std::uint8_t>& buffer, int indent, bool ensure_ascii);
std::string orvfile_to_json_binary_data(const std::uint8_t* data, std::size_t size, int indent, bool ensure_ascii);

}  // namespace orvanalysis::io
