#include "io/compound_file_reader.hpp"

#include "io/little_endian.hpp"
#include "io/utf8.hpp"

#include <algorithm>
#include <limits>

namespace orvanalysis::io {

namespace {

// Sector numbers from here on are the format's special values, never data sectors.
constexpr std::uint64_t first_special_sector = 0xFFFFFFFA;
constexpr std::uint64_t signature = 0xE11AB1A1E011CFD0ULL;
constexpr std::uint64_t header_difat_entries = 109;
constexpr std::uint64_t directory_entry_size = 128;

// Header fields.
constexpr std::uint64_t major_version_offset = 0x1A;
constexpr std::uint64_t first_directory_sector_offset = 0x30;
constexpr std::uint64_t mini_stream_cutoff_offset = 0x38;
constexpr std::uint64_t first_minifat_sector_offset = 0x3C;
constexpr std::uint64_t first_difat_sector_offset = 0x44;
constexpr std::uint64_t header_difat_offset = 0x4C;

// Directory entry fields.
constexpr std::uint64_t name_units = 32;
constexpr std::uint64_t start_sector_offset = 0x74;
constexpr std::uint64_t stream_size_offset = 0x78;

using little_endian::u16;
using little_endian::u32;
using little_endian::u64;

}  // namespace

CompoundFileReader::CompoundFileReader(const std::uint8_t* data, std::uint64_t size)
    : data_(data), size_(size), header_(data) {
    if (data == nullptr || size == 0) {
        throw std::invalid_argument("an empty buffer holds no compound file");
    }
    if (size < 512 || u64(data) != signature) {
        throw WrongFormat();
    }
    sector_size_ = u16(header_ + major_version_offset) == 3 ? 512 : 4096;
    if (size < 3 * sector_size_) {
        throw FileCorrupted();
    }
    mini_stream_start_ = u32(directory_entry(0) + start_sector_offset);
}

const std::uint8_t* CompoundFileReader::bytes_at(std::uint64_t sector, std::uint64_t offset, std::uint64_t n) const {
    if (sector >= first_special_sector || offset >= sector_size_) {
        throw FileCorrupted();
    }
    const std::uint64_t at = (sector + 1) * sector_size_ + offset;
    if (at > size_ || n > size_ - at) {
        throw FileCorrupted();
    }
    return data_ + at;
}

std::uint32_t CompoundFileReader::u32_at(std::uint64_t sector, std::uint64_t offset) const {
    return u32(bytes_at(sector, offset, 4));
}

std::uint64_t CompoundFileReader::difat_sector(std::uint64_t steps) {
    if (difat_chain_.empty()) {
        difat_chain_.push_back(u32(header_ + first_difat_sector_offset));
    }
    while (!difat_cycles_ && difat_chain_.size() <= steps) {
        const std::uint32_t sector = difat_chain_.back();
        const std::uint32_t next = u32_at(sector, sector_size_ - 4);
        // Only a readable sector gets here, and readable sectors lie inside the container.
        if (difat_seen_at_.empty()) {
            difat_seen_at_.assign(size_ / sector_size_, std::numeric_limits<std::uint32_t>::max());
        }
        difat_seen_at_[sector] = static_cast<std::uint32_t>(difat_chain_.size() - 1);
        if (next < difat_seen_at_.size() && difat_seen_at_[next] != std::numeric_limits<std::uint32_t>::max()) {
            difat_cycle_start_ = difat_seen_at_[next];
            difat_cycles_ = true;
            break;
        }
        difat_chain_.push_back(next);
    }
    if (steps < difat_chain_.size()) {
        return difat_chain_[steps];
    }
    const std::uint64_t period = difat_chain_.size() - difat_cycle_start_;
    return difat_chain_[difat_cycle_start_ + (steps - difat_cycle_start_) % period];
}

std::uint64_t CompoundFileReader::next_sector(std::uint64_t sector) {
    const std::uint64_t entries = sector_size_ / 4;
    const std::uint64_t fat_index = sector / entries;
    if (fat_ != nullptr && fat_index == fat_index_) {
        return u32(fat_ + 4 * (sector % entries));
    }
    std::uint64_t fat_sector = 0;
    if (fat_index < header_difat_entries) {
        fat_sector = u32(header_ + header_difat_offset + 4 * fat_index);
    } else {
        // Each DIFAT sector lists entries - 1 FAT sectors, then the next DIFAT sector.
        const std::uint64_t k = fat_index - header_difat_entries;
        fat_sector = u32_at(difat_sector(k / (entries - 1)), 4 * (k % (entries - 1)));
    }
    const std::uint32_t next = u32_at(fat_sector, 4 * (sector % entries));
    // Kept when the whole sector is readable, so that an entry read from it later is one
    // u32_at would have read (a sector cut short by the container's end is read entry by entry).
    if (fat_sector < first_special_sector && (fat_sector + 2) * sector_size_ <= size_) {
        fat_index_ = fat_index;
        fat_ = data_ + (fat_sector + 1) * sector_size_;
    }
    return next;
}

CompoundFileReader::Location CompoundFileReader::locate(Chain& chain, std::uint64_t start, std::uint64_t offset) {
    if (chain.start != start || chain.sectors.empty()) {
        chain.start = start;
        chain.sectors.assign(1, static_cast<std::uint32_t>(start));
    }
    const std::uint64_t steps = offset / sector_size_;
    while (chain.sectors.size() <= steps) {
        chain.sectors.push_back(static_cast<std::uint32_t>(next_sector(chain.sectors.back())));
    }
    return {chain.sectors[steps], offset % sector_size_};
}

const std::uint8_t* CompoundFileReader::directory_entry(std::uint64_t id) {
    if (id == no_entry) {
        return nullptr;
    }
    // No container holds more entries than fit in its bytes.
    if (id >= size_ / directory_entry_size) {
        throw InvalidEntryId();
    }
    const Location at =
        locate(directory_chain_, u32(header_ + first_directory_sector_offset), directory_entry_size * id);
    return bytes_at(at.sector, at.offset, directory_entry_size);
}

std::string CompoundFileReader::entry_name(std::uint64_t id) {
    const std::uint8_t* entry = directory_entry(id);
    if (entry == nullptr) {
        throw InvalidEntryId();
    }
    std::string name;
    for (std::uint64_t i = 0; i < name_units; ++i) {
        const std::uint32_t unit = u16(entry + 2 * i);
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name_units) {
            const std::uint32_t low = u16(entry + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(name, (unit - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000);
                ++i;
                continue;
            }
        }
        append_utf8(name, unit);
    }
    return name;
}

std::uint64_t CompoundFileReader::entry_size(std::uint64_t id) {
    const std::uint8_t* entry = directory_entry(id);
    if (entry == nullptr) {
        throw InvalidEntryId();
    }
    return u64(entry + stream_size_offset);
}

void CompoundFileReader::load_stream(std::uint64_t id) {
    const std::uint8_t* entry = directory_entry(id);
    if (entry == nullptr) {
        throw InvalidEntryId();
    }
    const std::uint64_t size = u64(entry + stream_size_offset);
    const std::uint64_t start = u32(entry + start_sector_offset);
    // A stream cannot hold more than the container does: checked before allocating.
    if (size > size_) {
        throw FileCorrupted();
    }
    stream_ = Bytes{nullptr, 0};
    gathered_.clear();
    if (size >= u32(header_ + mini_stream_cutoff_offset)) {
        read_regular(start, size);
    } else {
        gathered_.reserve(size);
        read_mini(start, size);
        stream_ = Bytes{gathered_.data(), gathered_.size()};
    }
}

void CompoundFileReader::read_regular(std::uint64_t sector, std::uint64_t n) {
    const std::uint64_t size = n;
    const std::uint8_t* first = nullptr;
    std::uint64_t in_place = 0;  // the bytes of the leading run of consecutive sectors
    while (n != 0) {
        const std::uint64_t piece = std::min(sector_size_, n);
        const std::uint8_t* bytes = bytes_at(sector, 0, piece);
        if (first == nullptr) {
            first = bytes;
        }
        if (gathered_.empty() && bytes == first + in_place) {
            in_place += piece;
        } else {
            if (gathered_.empty()) {
                gathered_.reserve(size);
                gathered_.assign(first, first + in_place);
            }
            gathered_.insert(gathered_.end(), bytes, bytes + piece);
        }
        // The chain must go on (or end properly) after the last piece too.
        const std::uint64_t next = next_sector(sector);
        n -= piece;
        sector = next;
    }
    stream_ = gathered_.empty() ? Bytes{first, in_place} : Bytes{gathered_.data(), gathered_.size()};
}

std::uint64_t CompoundFileReader::next_mini_sector(std::uint64_t mini_sector) {
    const Location at = locate(minifat_chain_, u32(header_ + first_minifat_sector_offset), 4 * mini_sector);
    return u32_at(at.sector, at.offset);
}

void CompoundFileReader::read_mini(std::uint64_t mini_sector, std::uint64_t n) {
    while (n != 0) {
        if (mini_sector >= first_special_sector || mini_sector_size_ * mini_sector >= size_) {
            throw FileCorrupted();
        }
        const Location at = locate(mini_stream_chain_, mini_stream_start_, mini_sector_size_ * mini_sector);
        const std::uint64_t piece = std::min(mini_sector_size_, n);
        const std::uint8_t* bytes = bytes_at(at.sector, at.offset, piece);
        gathered_.insert(gathered_.end(), bytes, bytes + piece);
        const std::uint64_t next = next_mini_sector(mini_sector);
        n -= piece;
        mini_sector = next;
    }
}

}  // namespace orvanalysis::io
