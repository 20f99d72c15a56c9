#include "io/data_file_parser.hpp"
#include "io/file_loading.hpp"
#include "io/json_export.hpp"
#include "test_support.hpp"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <system_error>

namespace io = orvanalysis::io;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;

namespace {

const std::string fixture_dir = std::string(ORVPY_FIXTURE_DIR) + "/orv/";

Bytes fixture(const std::string& name) { return io::read_file_bytes(fixture_dir + name); }

// What each fixture holds, as the writer that made it recorded it.
const json& manifest() {
    static const json m = json::parse(std::ifstream(fixture_dir + "manifest.json"));
    return m;
}

}  // namespace

TEST(DataFileParser, ValidFixturesHoldWhatWasWritten) {
    ASSERT_GE(manifest()["valid"].size(), 19u);
    for (const auto& [name, entry] : manifest()["valid"].items()) {
        SCOPED_TRACE(name);
        const Bytes data = fixture(name + ".orv");
        const json& document = entry["document"];
        const std::string compact = io::orvfile_to_json_binary_data(data, -1, false);
        EXPECT_EQ(json::parse(compact), document);
        EXPECT_EQ(io::orvfile_to_json_binary_data(data, 2, false), document.dump(2));
        EXPECT_EQ(io::orvfile_to_json_binary_data(data, 0, true), document.dump(0, ' ', true));
        EXPECT_EQ(io::orvfile_to_json_binary_data(data, 64, false), document.dump(64)) << "the largest indent";
        EXPECT_EQ(message_of<std::invalid_argument>([&] { (void)io::orvfile_to_json_binary_data(data, 65, false); }),
                  "indent must be at most 64 spaces");
        // The scans sort by x, a repeated x keeping the later value.
        const io::OrvFile file = io::load_orvfile_binary_data(data);
        ASSERT_EQ(file.data_sets.size(), document.value("data_sets", json::array()).size());
        for (std::size_t i = 0; i < file.data_sets.size(); ++i) {
            const json& set = document["data_sets"][i];
            std::map<double, double> sorted;
            for (std::size_t k = 0; k < set["data"]["x"].size(); ++k) {
                sorted[set["data"]["x"][k]] = set["data"]["y"][k];
            }
            EXPECT_EQ(file.data_sets[i].name, set["name"]);
            EXPECT_EQ(file.data_sets[i].no_of_points, set["no_of_points"]);
            using Points = std::vector<std::pair<double, double>>;
            EXPECT_EQ(Points(file.data_sets[i].data.begin(), file.data_sets[i].data.end()),
                      Points(sorted.begin(), sorted.end()));
        }
    }
    // Names map to scans in the byte order of their UTF-8 text, the last data set of a name winning.
    const auto scans = io::load_orv_scan_binary_data(fixture("repeated_names.orv"));
    std::vector<std::string> names;
    for (const auto& [name, scan] : scans) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"B", "b", "\xC3\xA9"}));
    EXPECT_EQ(scans.at("b").to_lists(), (std::vector<Keys>{{1, 2}, {5, 4}}));
}

TEST(DataFileParser, DamagedFixturesFailWithTheirError) {
    ASSERT_GE(manifest()["corrupt"].size(), 40u);
    for (const auto& [name, entry] : manifest()["corrupt"].items()) {
        SCOPED_TRACE(name + ": " + entry["note"].get<std::string>());
        const Bytes data = fixture(name + ".orv");
        if (entry["error"].is_null()) {  // damaged where no read goes
            EXPECT_NO_THROW((void)io::load_orvfile_binary_data(data));
        } else {
            EXPECT_EQ(message_of([&] { (void)io::load_orvfile_binary_data(data); }), entry["error"]);
            EXPECT_EQ(message_of([&] { (void)io::orvfile_to_json_binary_data(data, 2, true); }), entry["error"]);
        }
    }
    // Inputs that once crashed, found by fuzzing, end in a result or an error.
    std::error_code none_yet;
    for (const auto& path : std::filesystem::directory_iterator(fixture_dir + "regressions", none_yet)) {
        const Bytes data = io::read_file_bytes(path.path().string());
        try {
            (void)io::load_orv_scan_binary_data(data);
            (void)io::orvfile_to_json_binary_data(data, -1, false);
        } catch (const std::exception&) {
        }
    }
}

TEST(FileLoader, EveryFileInOrderWithWhatStoppedIt) {
    // Valid and damaged files, a missing one, a folder and a FIFO, in turn: a FIFO opened would
    // wait for a writer for ever.
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "orvfiles";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "folder.orv");
    ASSERT_EQ(::mkfifo((dir / "fifo.orv").c_str(), 0600), 0);
    std::vector<std::string> names;
    for (const auto& [name, entry] : manifest()["valid"].items()) {
        names.push_back(name + ".orv");
    }
    const std::vector<std::string> kinds{names[0], "bad_signature.orv", names[1], "missing", "folder.orv", "fifo.orv"};
    const auto in_dir = [](const std::string& kind) {
        return kind == "missing" || kind == "folder.orv" || kind == "fifo.orv";
    };
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < 37; ++i) {
        const std::string& kind = kinds[i % kinds.size()];
        paths.push_back(in_dir(kind) ? (dir / kind).string() : fixture_dir + kind);
    }
    for (const unsigned threads : {1u, 2u, 5u, 64u}) {
        SCOPED_TRACE(threads);
        io::FileLoader loader(paths, threads);
        ASSERT_EQ(loader.size(), paths.size());
        std::vector<io::LoadedOrvFile> loaded;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            loaded.push_back(loader.take(i));
        }
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::string& kind = kinds[i % kinds.size()];
            if (kind == names[0] || kind == names[1]) {
                ASSERT_FALSE(loaded[i].error);
                const io::OrvFile expected = io::load_orvfile(paths[i]);
                ASSERT_EQ(loaded[i].file.data_sets.size(), expected.data_sets.size());
                for (std::size_t k = 0; k < expected.data_sets.size(); ++k) {
                    EXPECT_EQ(loaded[i].file.data_sets[k].data.to_lists(), expected.data_sets[k].data.to_lists());
                }
                continue;
            }
            ASSERT_TRUE(loaded[i].error) << paths[i];
            const auto rethrow = [&] { std::rethrow_exception(loaded[i].error); };
            if (kind == "bad_signature.orv") {
                EXPECT_EQ(message_of(rethrow), message_of([&] { (void)io::load_orvfile(paths[i]); }));
            } else if (kind == "missing") {
                EXPECT_EQ(message_of<std::ios_base::failure>(rethrow),
                          "Could not open file for reading: " + paths[i] + ": iostream stream error");
            } else {
                EXPECT_EQ(message_of<io::NotARegularFile>(rethrow), "'" + paths[i] + "' is " +
                                                                        (kind == "fifo.orv" ? "a FIFO" : "a folder") +
                                                                        ", not a regular file; it was not opened");
            }
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(ParseTypeAndUnits, SplitsAtTheFirstSeparatorAndReadsTwoCodes) {
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, int, int>> cases{
        {"Irradiance / W m-2 nm-1  ", "3 7", "Irradiance", "W m-2 nm-1", 3, 7},
        {"Ratio / a / b\t\r\n", "", "Ratio", "a / b", -1, -1},
        {"Transmittance/%", "12", "Transmittance/%", "", 12, -1},
        {"T ", "  -4   +5 6", "T ", "", -4, 5},
        {"", "x", "", "", 0, -1},  // a failed read stores 0
        {"", "99999999999 4", "", "", 2147483647, -1},
    };
    for (const auto& [text, codes, type, units, type_code, units_code] : cases) {
        const io::MeasurementTypeUnits u = io::parse_type_and_units(text, codes);
        EXPECT_EQ(std::tie(u.measurement_type, u.units, u.measurement_type_code, u.units_code),
                  std::tie(type, units, type_code, units_code))
            << text << " | " << codes;
    }
}

TEST(JsonNumbers, FewestDigitsThatReadBackInTheJsonLibrarysLayout) {
    // Against the JSON library's own text of each double: the same layout (fixed point from 1e-4
    // up to 1e15, an exponent outside), never more digits, and the same bits read back.
    std::vector<double> values{0.0,
                               -0.0,
                               1e-4,
                               std::nextafter(1e-4, 0.0),
                               1e15,
                               std::nextafter(1e15, 0.0),
                               -1e15,
                               0.1,
                               1.0 / 3,
                               5e-324,
                               DBL_MAX,
                               9007199254740993.0,
                               123456789012345.6};
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> exponent(-8.0, 18.0);
    while (values.size() < 20000) {
        const std::uint64_t bits = random();
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) {
            values.push_back(v);
        }
        values.push_back(std::pow(10.0, exponent(random)));
    }
    for (const double v : values) {
        char text[io::max_json_number_size];
        const std::string ours(text, io::write_json_number(text, v));
        const std::string library = json(v).dump();
        const double back = std::strtod(ours.c_str(), nullptr);
        ASSERT_TRUE(back == v && std::signbit(back) == std::signbit(v) && ours.size() <= library.size() &&
                    (ours.find('e') == std::string::npos) == (library.find('e') == std::string::npos))
            << ours << " for " << library;
    }
}
