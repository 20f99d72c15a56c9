#include "io/field_cursor.hpp"

#include "io/little_endian.hpp"
#include "io/utf8.hpp"

#include <algorithm>
#include <cstddef>

namespace orvanalysis::io {

const std::uint8_t* FieldCursor::read_bytes(std::uint64_t n) {
    if (n > size_ - position_) {
        throw TruncatedData();
    }
    const std::uint8_t* at = data_ + position_;
    position_ += n;
    return at;
}

std::uint32_t FieldCursor::read_u32() { return little_endian::u32(read_bytes(4)); }

std::uint64_t FieldCursor::read_u64() { return little_endian::u64(read_bytes(8)); }

double FieldCursor::read_f64() { return little_endian::f64(read_bytes(8)); }

void FieldCursor::skip(std::uint64_t n) { read_bytes(n); }

std::uint16_t FieldCursor::read_length() {
    const std::uint8_t length = *read_bytes(1);
    return length < 0xFF ? length : little_endian::u16(read_bytes(2));
}

std::string FieldCursor::read_string() {
    const std::uint16_t length = read_length();
    const std::uint8_t* bytes = read_bytes(length);
    std::string text;
    text.reserve(2 * static_cast<std::size_t>(length));
    for (std::uint16_t i = 0; i < length; ++i) {
        append_utf8(text, bytes[i]);  // Latin-1 bytes are the code points U+0000 to U+00FF
    }
    return text;
}

void FieldCursor::skip_strings(std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        read_bytes(read_length());
    }
}

bool FieldCursor::find(const std::vector<std::uint8_t>& pattern) {
    const std::uint8_t* from = data_ + position_;
    const std::uint8_t* end = data_ + size_;
    const std::uint8_t* found = std::search(from, end, pattern.begin(), pattern.end());
    if (found == end && !pattern.empty()) {
        position_ = size_;
        return false;
    }
    position_ = static_cast<std::uint64_t>(found - data_) + pattern.size();
    return true;
}

}  // namespace orvanalysis::io
