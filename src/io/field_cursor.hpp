// A read cursor over the fields of a data file's "Contents" stream: little-endian numbers,
// length-prefixed Latin-1 strings and marks searched for. Every read is checked against the
// stream's end: a field cut short is an error, never a read beyond the bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanalysis::io {

// A read past the end of the stream: the file is truncated or damaged.
class TruncatedData : public std::runtime_error {
public:
    TruncatedData() : std::runtime_error("the data end inside a field: the file is truncated or damaged") {}
};

class FieldCursor {
public:
    // Borrows size bytes at data, which must stay alive and unchanged while the cursor is used.
    FieldCursor(const std::uint8_t* data, std::uint64_t size) noexcept : data_(data), size_(size) {}

    // Each read advances the cursor; TruncatedData past the end.
    std::uint32_t read_u32();
    std::uint64_t read_u64();
    double read_f64();
    void skip(std::uint64_t n);
    // The next n bytes, advancing the cursor.
    const std::uint8_t* read_bytes(std::uint64_t n);
    // A string's length prefix: one byte below 0xFF, or 0xFF and a 16-bit length.
    std::uint16_t read_length();
    // A length-prefixed Latin-1 string, returned as UTF-8.
    std::string read_string();
    void skip_strings(std::uint64_t count);
    // Moves the cursor just past the next occurrence of the pattern; false (cursor at the end)
    // when there is none.
    bool find(const std::vector<std::uint8_t>& pattern);

    std::uint64_t position() const noexcept { return position_; }
    std::uint64_t remaining() const noexcept { return size_ - position_; }

private:
    const std::uint8_t* data_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
};

}  // namespace orvanalysis::io
