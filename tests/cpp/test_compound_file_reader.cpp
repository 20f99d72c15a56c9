#include "io/compound_file_reader.hpp"
#include "io/field_cursor.hpp"
#include "io/file_loading.hpp"
#include "test_support.hpp"

#include <algorithm>

using orvanalysis::io::CompoundFileReader;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes fixture(const std::string& name) {
    return orvanalysis::io::read_file_bytes(std::string(ORVPY_FIXTURE_DIR) + "/orv/" + name);
}

void put(Bytes& data, std::size_t at, std::uint64_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) {
        data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Bytes header_only(std::size_t size) {
    Bytes data(size, 0);
    put(data, 0, 0xE11AB1A1E011CFD0ULL, 8);
    return data;
}

}  // namespace

TEST(CompoundFileReader, EntryNamesSizesAndIds) {
    Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader reader(data.data(), data.size());
    EXPECT_EQ(reader.entry_name(0), "Root Entry");
    EXPECT_EQ(reader.entry_name(1), "Contents");
    EXPECT_EQ(reader.entry_size(1), 609u);
    EXPECT_EQ(message_of<orvanalysis::io::InvalidEntryId>([&] { (void)reader.entry_name(orvanalysis::io::no_entry); }),
              "Invalid entry id");
    EXPECT_EQ(message_of<orvanalysis::io::InvalidEntryId>([&] { (void)reader.entry_name(data.size() / 128); }),
              "Invalid entry id");
    EXPECT_THROW(reader.load_stream(orvanalysis::io::no_entry), orvanalysis::io::InvalidEntryId);
    EXPECT_THROW(CompoundFileReader(nullptr, 10), std::invalid_argument);
    // "µ", U+1F600 and U+10000 (the lowest high surrogate) as surrogate pairs, an unpaired high
    // surrogate, "x"; then a name field
    // without a terminating zero unit, which ends after its 32 units.
    const std::size_t name = ((data[0x30] | (data[0x31] << 8)) + 1) * 512 + 128;  // entry 1
    const std::vector<std::uint16_t> units{0x00B5, 0xD83D, 0xDE00, 0xD800, 0xDC00, 0xD800, 0x0078, 0};
    for (std::size_t i = 0; i < units.size(); ++i) {
        put(data, name + 2 * i, units[i], 2);
    }
    EXPECT_EQ(CompoundFileReader(data.data(), data.size()).entry_name(1),
              "\xC2\xB5\xF0\x9F\x98\x80\xF0\x90\x80\x80\xED\xA0\x80x");
    for (std::size_t i = 0; i < 32; ++i) {
        put(data, name + 2 * i, 'a' + i % 26, 2);
    }
    EXPECT_EQ(CompoundFileReader(data.data(), data.size()).entry_name(1), "abcdefghijklmnopqrstuvwxyzabcdef");
    // A stream size beyond the container is corrupt before anything is allocated.
    put(data, name + 0x78, std::uint64_t{1} << 62, 8);
    EXPECT_THROW(CompoundFileReader(data.data(), data.size()).load_stream(1), orvanalysis::io::FileCorrupted);
}

TEST(FieldCursor, ReadsFieldsUpToTheExactEnd) {
    const Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader container(data.data(), data.size());
    container.load_stream(1);
    orvanalysis::io::FieldCursor reader(container.stream().data, container.stream().size);
    using Fields = std::tuple<std::uint32_t, std::uint64_t, double, std::string>;
    EXPECT_EQ((Fields{reader.read_u32(), reader.read_u64(), reader.read_f64(), reader.read_string()}),
              (Fields{0x01020304u, 0x1122334455667788u, 1.5, ""}));
    EXPECT_EQ(reader.read_string(),
              "a\xC3\xA9"
              "b");                         // Latin-1 é as UTF-8
    EXPECT_EQ(reader.read_length(), 300u);  // FF 2C 01
    reader.skip(300);
    EXPECT_EQ(reader.read_string(), std::string(254, 'y'));
    reader.skip_strings(2);
    EXPECT_EQ(reader.position(), 588u);
    const Bytes guid{0x4E, 0xD0, 0xDF, 0x71, 0x88, 0xCB, 0x02, 0x45, 0x88, 0xEB, 0xD9, 0x43, 0xA3, 0x09, 0x1A, 0x1A};
    EXPECT_TRUE(reader.find(guid)) << "a partial match just before must not hide the mark";
    EXPECT_EQ(reader.read_u32(), 0x04030201u);
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_EQ(message_of<orvanalysis::io::TruncatedData>([&] { (void)reader.read_u32(); }),
              "the data end inside a field: the file is truncated or damaged");
    EXPECT_THROW(reader.skip(~std::uint64_t{0}), orvanalysis::io::TruncatedData) << "no wrap-around";
    EXPECT_FALSE(reader.find({0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(reader.position(), 609u);
    orvanalysis::io::FieldCursor again(container.stream().data, container.stream().size);
    EXPECT_THROW(again.skip_strings(100), orvanalysis::io::TruncatedData);
}

TEST(CompoundFileReader, FatSectorsListedInTheSecondDifatSector) {
    // 512-byte sectors, 128 FAT entries each. The header lists FAT sectors 0-108 and each DIFAT
    // sector 127 more, so the FAT entries of sector 236 * 128 + 5 lie in a FAT sector that only
    // the second DIFAT sector names.
    const std::uint64_t first = 236 * 128 + 5;
    Bytes data = header_only(512 * (first + 3));
    put(data, 0x1A, 3, 2);
    put(data, 0x44, 1);                     // DIFAT sectors 1, then 2
    put(data, 3 * 512 - 4, 2);              // the next DIFAT sector, in the last slot of sector 1
    put(data, std::size_t{3} * 512, 3);     // sector 2 lists FAT sector 3 first
    put(data, 4 * 512 + 4 * 5, first + 1);  // FAT sector 3: first -> first + 1 -> end
    put(data, 4 * 512 + 4 * 6, 0xFFFFFFFE);
    put(data, 512 + 128 + 0x74, first);  // directory sector 0, entry 1: start and size
    put(data, 512 + 128 + 0x78, 1024, 8);
    for (std::size_t i = 0; i < 1024; ++i) {
        data[(first + 1) * 512 + i] = static_cast<std::uint8_t>(i % 251);
    }
    CompoundFileReader reader(data.data(), data.size());
    reader.load_stream(1);
    EXPECT_TRUE(std::equal(reader.stream().begin(), reader.stream().end(), data.begin() + (first + 1) * 512));
    EXPECT_EQ(reader.stream().size, 1024u);
    // The same two sectors chained in reverse order: gathered, the later sector first.
    put(data, 4 * 512 + 4 * 5, 0xFFFFFFFE);
    put(data, 4 * 512 + 4 * 6, first);
    put(data, 512 + 128 + 0x74, first + 1);
    reader = CompoundFileReader(data.data(), data.size());
    reader.load_stream(1);
    Bytes expected(data.begin() + (first + 2) * 512, data.begin() + (first + 3) * 512);
    expected.insert(expected.end(), data.begin() + (first + 1) * 512, data.begin() + (first + 2) * 512);
    EXPECT_EQ(Bytes(reader.stream().begin(), reader.stream().end()), expected);
    // Gathering reserves the stated size: one beyond the container is refused before that.
    put(data, 512 + 128 + 0x78, std::uint64_t{1} << 40, 8);
    EXPECT_THROW(CompoundFileReader(data.data(), data.size()).load_stream(1), orvanalysis::io::FileCorrupted);
}
