#include "io/compound_file_reader.hpp"
#include "io/file_loading.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

using CFB::CompoundFileReader;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes fixture(const std::string& name) {
    return orvanalysis::orvfile::read_file_bytes(std::string(ORVPY_FIXTURE_DIR) + "/orv/" + name);
}

const Bytes guid{0x4E, 0xD0, 0xDF, 0x71, 0x88, 0xCB, 0x02, 0x45, 0x88, 0xEB, 0xD9, 0x43, 0xA3, 0x09, 0x1A, 0x1A};

Bytes header_only(std::size_t size) {
    Bytes data(size, 0);
    const Bytes signature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(signature.begin(), signature.end(), data.begin());
    return data;
}

}  // namespace

TEST(CompoundFileReaderHeader, RefusesWhatIsNoContainer) {
    EXPECT_EQ(message_of<std::invalid_argument>([] { CompoundFileReader(nullptr, 10); }), "");
    const Bytes one(1, 0);
    EXPECT_EQ(message_of<std::invalid_argument>([&] { CompoundFileReader(one.data(), 0); }), "");
    const Bytes short_file = header_only(511);
    EXPECT_EQ(message_of<CFB::WrongFormat>([&] { CompoundFileReader(short_file.data(), short_file.size()); }),
              "Wrong file format");
    Bytes unsigned_file = header_only(4096);
    unsigned_file[7] = 0xE0;
    EXPECT_EQ(message_of<CFB::WrongFormat>([&] { CompoundFileReader(unsigned_file.data(), unsigned_file.size()); }),
              "Wrong file format");
    const Bytes one_sector = header_only(512);
    EXPECT_EQ(message_of<CFB::FileCorrupted>([&] { CompoundFileReader(one_sector.data(), one_sector.size()); }),
              "File corrupted");
}

TEST(CompoundFileReaderHeader, MajorVersionAloneChoosesTheSectorSize) {
    const Bytes v4 = fixture("v4_shift9.orv");  // sector shift field 9
    EXPECT_EQ(CompoundFileReader(v4.data(), v4.size()).sector_size(), 4096u);
    const Bytes v3 = fixture("v3_shift12.orv");  // sector shift field 12
    EXPECT_EQ(CompoundFileReader(v3.data(), v3.size()).sector_size(), 512u);
}

TEST(CompoundFileReaderEntries, NamesSizesAndIds) {
    const Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader reader(data.data(), data.size());
    EXPECT_EQ(reader.entry_name(0), "Root Entry");
    EXPECT_EQ(reader.entry_name(1), "Contents");
    EXPECT_EQ(reader.entry_size(1), 609u);
    EXPECT_EQ(reader.directory_entry(CFB::no_entry), nullptr);
    EXPECT_EQ(message_of<CFB::InvalidEntryId>([&] { (void)reader.entry_name(CFB::no_entry); }), "Invalid entry id");
    EXPECT_EQ(message_of<CFB::InvalidEntryId>([&] { (void)reader.entry_size(CFB::no_entry); }), "Invalid entry id");
    EXPECT_EQ(message_of<CFB::InvalidEntryId>([&] { reader.load_stream(CFB::no_entry); }), "Invalid entry id");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { (void)reader.entry_name(data.size() / 128); }), "");
}

TEST(CompoundFileReaderEntries, Utf16NamesBecomeUtf8) {
    Bytes data = fixture("cursor_stream.cfb");
    const std::size_t directory = (data[0x30] | (data[0x31] << 8)) + 1;
    const std::size_t name = directory * 512 + 128;  // entry 1
    const auto put = [&](std::size_t unit, std::uint16_t value) {
        data[name + 2 * unit] = static_cast<std::uint8_t>(value & 0xFF);
        data[name + 2 * unit + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    // "µ", U+1F600 as a surrogate pair, an unpaired high surrogate, "x", end.
    const std::vector<std::uint16_t> units{0x00B5, 0xD83D, 0xDE00, 0xD800, 0x0078, 0};
    for (std::size_t i = 0; i < units.size(); ++i) {
        put(i, units[i]);
    }
    CompoundFileReader reader(data.data(), data.size());
    EXPECT_EQ(reader.entry_name(1), "\xC2\xB5\xF0\x9F\x98\x80\xED\xA0\x80x");
    // A name field without a terminating zero unit ends after its 32 units.
    for (std::size_t i = 0; i < 32; ++i) {
        put(i, static_cast<std::uint16_t>('a' + i % 26));
    }
    EXPECT_EQ(CompoundFileReader(data.data(), data.size()).entry_name(1), "abcdefghijklmnopqrstuvwxyzabcdef");
}

TEST(CompoundFileReaderCursor, ReadsFieldsInOrderUpToTheExactEnd) {
    const Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader reader(data.data(), data.size());
    reader.load_stream(1);
    ASSERT_EQ(reader.stream().size(), 609u);
    EXPECT_EQ(reader.read_u32(), 0x01020304u);
    EXPECT_EQ(reader.read_u64(), 0x1122334455667788u);
    EXPECT_EQ(reader.read_f64(), 1.5);
    EXPECT_EQ(reader.read_string(), "");
    EXPECT_EQ(reader.position(), 21u);
    EXPECT_EQ(reader.read_string(),
              "a\xC3\xA9"
              "b");                         // Latin-1 é as UTF-8
    EXPECT_EQ(reader.read_length(), 300u);  // FF 2C 01
    reader.skip(300);
    EXPECT_EQ(reader.read_string(), std::string(254, 'y'));
    reader.skip_strings(2);
    EXPECT_EQ(reader.position(), 588u);
    EXPECT_TRUE(reader.find(guid)) << "a partial match just before must not hide the mark";
    EXPECT_EQ(reader.position(), 605u);
    EXPECT_EQ(reader.read_u32(), 0x04030201u);
    EXPECT_EQ(reader.remaining(), 0u);
    reader.skip(0);
    EXPECT_EQ(message_of<CFB::OutOfRange>([&] { (void)reader.read_u32(); }), "Attempt to read past end of __buffer.");
}

TEST(CompoundFileReaderCursor, EveryReadIsBoundsChecked) {
    const Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader reader(data.data(), data.size());
    reader.load_stream(1);
    reader.skip(605);
    EXPECT_THROW(reader.read_u64(), CFB::OutOfRange);
    EXPECT_THROW(reader.skip(5), CFB::OutOfRange);
    EXPECT_THROW(reader.skip(~std::uint64_t{0}), CFB::OutOfRange) << "no wrap-around";
    reader.load_stream(1);
    reader.skip(25);  // the 300-byte string: its bytes are checked as one read
    reader.skip(300);
    EXPECT_EQ(reader.position(), 325u);
    EXPECT_THROW(reader.skip_strings(100), CFB::OutOfRange);
}

TEST(CompoundFileReaderCursor, FindStopsAtTheEndWhenThereIsNoMatch) {
    const Bytes data = fixture("cursor_stream.cfb");
    CompoundFileReader reader(data.data(), data.size());
    reader.load_stream(1);
    EXPECT_TRUE(reader.find({}));
    EXPECT_EQ(reader.position(), 0u);
    EXPECT_TRUE(reader.find({0x78, 0x78, 0x78}));
    EXPECT_EQ(reader.position(), 31u);
    EXPECT_FALSE(reader.find({0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(reader.position(), 609u);
}
