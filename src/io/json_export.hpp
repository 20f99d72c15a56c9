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

// v as the JSON library lays numbers out (fixed point from 1e-4 up to 1e15, with at least one
// digit after the point; d.ddde+XX beyond; "null" for NaN and the infinities), in the fewest
// digits that read back to v, the closest of them to v. Writes at most max_json_number_size
// characters and returns their end.
inline constexpr std::size_t max_json_number_size = 24;
char* write_json_number(char* out, double v);

// The JSON text of a file, laid out before it is written so that its size is known: the text
// between the arrays of numbers comes from the JSON library, the numbers from write_json_number.
// The file must outlive it.
class JsonText {
public:
    // Throws std::invalid_argument for an indent above max_json_indent, and the JSON library's
    // type_error for a string that is not UTF-8.
    JsonText(const XYOrvFile& file, int indent, bool ensure_ascii);

    // The most characters the text can take.
    std::size_t size_bound() const noexcept { return bound_; }
    // Whether every character is ASCII (only a string of the file, not escaped, can hold others).
    bool is_ascii() const noexcept { return ascii_; }
    // Writes the text (UTF-8) to out, which holds size_bound() characters, and returns its length.
    std::size_t write(char* out) const;

    // An array of numbers in the text.
    struct Numbers {
        const std::vector<double>* values;
        std::size_t indent;   // of each number on its line, when pretty
        std::size_t closing;  // of the closing bracket
    };

private:
    char* write_numbers(char* out, const Numbers& numbers) const;

    bool pretty_;
    // texts_[0], numbers_[0], texts_[1], ..., texts_.back().
    std::vector<std::string> texts_;
    std::vector<Numbers> numbers_;
    std::size_t bound_ = 0;
    bool ascii_ = true;
};

// The document serialised with indent spaces per level (negative: one line; at most
// max_json_indent) and, with ensure_ascii, every non-ASCII character escaped. Throws
// std::runtime_error "Buffer is empty" for an empty buffer and the parser's errors for a
// malformed one.
std::string orvfile_to_json_binary_data(const std::vector<std::uint8_t>& buffer, int indent, bool ensure_ascii);
std::string orvfile_to_json_binary_data(const std::uint8_t* data, std::size_t size, int indent, bool ensure_ascii);

}  // namespace orvanalysis::io
