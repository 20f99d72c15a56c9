// A read-only reader of Microsoft Compound File Binary containers held in memory: directory
// entries and the bytes of one loaded stream. Everything it reads comes from outside: every sector number,
// chain and size is checked before use, and chain walks are remembered so that no container
// can make the reader loop for long or allocate more than the container's own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanalysis::io {

class CFBException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WrongFormat : public CFBException {
public:
    WrongFormat() : CFBException("Wrong file format") {}
};

class FileCorrupted : public CFBException {
public:
    FileCorrupted() : CFBException("File corrupted") {}
};

class InvalidEntryId : public CFBException {
public:
    InvalidEntryId() : CFBException("Invalid entry id") {}
};

// The entry id that stands for no entry.
inline constexpr std::uint64_t no_entry = 0xFFFFFFFF;

class CompoundFileReader {
public:
    // Reads the header and the root entry of the container. The reader borrows the bytes:
    // they must stay alive and unchanged while it is used.
    CompoundFileReader(const std::uint8_t* data, std::uint64_t size);
    // Movable, not copyable: a loaded stream may point into the reader's own copy of it.
    CompoundFileReader(const CompoundFileReader&) = delete;
    CompoundFileReader& operator=(const CompoundFileReader&) = delete;
    CompoundFileReader(CompoundFileReader&&) noexcept = default;
    CompoundFileReader& operator=(CompoundFileReader&&) noexcept = default;
    ~CompoundFileReader() = default;

    // The 128 bytes of a directory entry, or null for no_entry.
    const std::uint8_t* directory_entry(std::uint64_t id);
    // The entry's name in UTF-8, and its stream size in bytes.
    std::string entry_name(std::uint64_t id);
    std::uint64_t entry_size(std::uint64_t id);

    // Loads the entry's stream (stream() then gives its bytes). A stream whose sectors follow
    // one another in the container, as writers lay out all but edited files, is read in place;
    // any other is gathered into a copy.
    void load_stream(std::uint64_t id);

    std::uint64_t sector_size() const noexcept { return sector_size_; }
    // The loaded stream's bytes.
    struct Bytes {
        const std::uint8_t* data;
        std::uint64_t size;
        const std::uint8_t* begin() const noexcept { return data; }
        const std::uint8_t* end() const noexcept { return data + size; }
    };
    Bytes stream() const noexcept { return stream_; }

private:
    // The sectors of a chain from one start, remembered as far as they were walked.
    struct Chain {
        std::uint64_t start = no_entry;
        std::vector<std::uint32_t> sectors;
    };
    struct Location {
        std::uint64_t sector;
        std::uint64_t offset;
    };

    std::uint32_t u32_at(std::uint64_t sector, std::uint64_t offset) const;
    const std::uint8_t* bytes_at(std::uint64_t sector, std::uint64_t offset, std::uint64_t n) const;
    std::uint64_t difat_sector(std::uint64_t steps);
    std::uint64_t next_sector(std::uint64_t sector);
    Location locate(Chain& chain, std::uint64_t start, std::uint64_t offset);
    std::uint64_t next_mini_sector(std::uint64_t mini_sector);
    void read_regular(std::uint64_t sector, std::uint64_t n);
    void read_mini(std::uint64_t mini_sector, std::uint64_t n);

    const std::uint8_t* data_;
    std::uint64_t size_;
    const std::uint8_t* header_;
    std::uint64_t sector_size_ = 512;
    std::uint64_t mini_sector_size_ = 64;
    std::uint64_t mini_stream_start_ = 0;
    Bytes stream_{nullptr, 0};
    std::vector<std::uint8_t> gathered_;  // the stream's bytes when they are not read in place

    Chain directory_chain_;
    Chain minifat_chain_;
    Chain mini_stream_chain_;
    // The DIFAT sectors in chain order; the chain runs through readable sectors only, so it
    // repeats within as many steps as the container has sectors, from difat_cycle_start_ on.
    std::vector<std::uint32_t> difat_chain_;
    std::vector<std::uint32_t> difat_seen_at_;
    std::uint64_t difat_cycle_start_ = 0;
    bool difat_cycles_ = false;
    // The FAT sector next_sector read last, when it lies wholly in the container: a chain
    // mostly runs through one FAT sector's entries in turn.
    std::uint64_t fat_index_ = 0;
    const std::uint8_t* fat_ = nullptr;
};

}  // namespace orvanalysis::io
