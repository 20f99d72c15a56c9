#include "io/data_file_parser.hpp"
#include "io/file_loading.hpp"
#include "io/json_export.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace orvfile = orvanalysis::orvfile;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string fixture_dir = std::string(ORVPY_FIXTURE_DIR) + "/orv/";

Bytes fixture(const std::string& name) { return orvfile::read_file_bytes(fixture_dir + name); }

const nlohmann::json& manifest() {
    static const nlohmann::json m = nlohmann::json::parse(std::ifstream(fixture_dir + "manifest.json"));
    return m;
}

void expect_units(const orvfile::MeasurementTypeUnits& units, const nlohmann::json& e, const std::string& prefix) {
    EXPECT_EQ(units.measurement_type, e[prefix + "type"].get<std::string>());
    EXPECT_EQ(units.units, e[prefix + "units"].get<std::string>());
    EXPECT_EQ(units.measurement_type_code, e[prefix + "type_code"].get<int>());
    EXPECT_EQ(units.units_code, e[prefix + "units_code"].get<int>());
}

template <class DataSetT>
void expect_file(const orvfile::BasicOrvFile<DataSetT>& file, const nlohmann::json& e) {
    EXPECT_EQ(file.meta.file_version, e["file_version"].get<std::uint32_t>());
    EXPECT_EQ(file.meta.has_timestamps, e["has_timestamps"].get<bool>());
    EXPECT_EQ(file.meta.x_type, e["x_type_text"].get<std::string>());
    EXPECT_EQ(file.graph.gv_version, e["gv_version"].get<std::uint32_t>());
    EXPECT_EQ(file.graph.x_axis_title, e["x_axis_title"].get<std::string>());
    EXPECT_EQ(file.graph.y_axis_title, e["y_axis_title"].get<std::string>());
    const orvfile::DataInfo& info = file.data_info;
    EXPECT_EQ(info.date_and_time, e["date_and_time"].get<std::string>());
    EXPECT_EQ(info.scan_summary, e["scan_summary"].get<std::string>());
    EXPECT_EQ(info.apply_data_calibration, e["apply_data_calibration"].get<bool>());
    EXPECT_EQ(info.data_calibration_file, e["data_calibration_file"].get<std::string>());
    EXPECT_EQ(info.certificate_file, e["certificate_file"].get<std::string>());
    EXPECT_EQ(info.system_file, e["system_file"].get<std::string>());
    EXPECT_EQ(info.pre_scan_addon_description, e["pre_scan_addon_description"].get<std::string>());
    EXPECT_EQ(info.post_scan_addon_description, e["post_scan_addon_description"].get<std::string>());
    EXPECT_EQ(info.pre_scan_addon_filename, e["pre_scan_addon_filename"].get<std::string>());
    EXPECT_EQ(info.post_scan_addon_filename, e["post_scan_addon_filename"].get<std::string>());
    expect_units(info.type_and_units, e, "");
    expect_units(info.auxiliary_type_and_units, e, "auxiliary_");
    EXPECT_EQ(info.apply_reference, e["apply_reference"].get<bool>());
    EXPECT_EQ(info.reference_type, e["reference_type"].get<std::string>());
    EXPECT_EQ(info.reference_file, e["reference_file"].get<std::string>());
    EXPECT_EQ(info.reference_parameter, e["reference_parameter"].get<std::string>());
    ASSERT_EQ(file.data_sets.size(), e["datasets"].size());
    for (std::size_t i = 0; i < file.data_sets.size(); ++i) {
        EXPECT_EQ(file.data_sets[i].name, e["datasets"][i]["name"].get<std::string>());
        EXPECT_EQ(file.data_sets[i].no_of_points, e["datasets"][i]["no_of_points"].get<std::uint32_t>());
    }
}

}  // namespace

TEST(DataFileParser, ValidFixturesHoldWhatWasWritten) {
    ASSERT_FALSE(manifest()["valid"].empty());
    for (const auto& [name, entry] : manifest()["valid"].items()) {
        SCOPED_TRACE(name);
        const nlohmann::json& e = entry["expected"];
        const Bytes data = fixture(name + ".orv");
        const orvfile::OrvFile file = orvfile::load_orvfile_binary_data(data);
        expect_file(file, e);
        const orvfile::XYOrvFile xy = orvfile::load_xy_orvfile_binary_data(data.data(), data.size());
        expect_file(xy, e);
        for (std::size_t i = 0; i < file.data_sets.size(); ++i) {
            // The raw arrays keep the file order; the scan sorts by x, a repeated x keeping the
            // later value.
            std::vector<double> x;
            std::vector<double> y;
            std::map<double, double> sorted;
            for (const auto& point : e["datasets"][i]["points"]) {
                x.push_back(point[0].get<double>());
                y.push_back(point[1].get<double>());
                sorted[x.back()] = y.back();
            }
            EXPECT_EQ(xy.data_sets[i].data.x, x);
            EXPECT_EQ(xy.data_sets[i].data.y, y);
            const orvanalysis::Scan& scan = file.data_sets[i].data;
            ASSERT_EQ(scan.size(), sorted.size());
            std::size_t k = 0;
            for (const auto& [key, value] : sorted) {
                EXPECT_EQ(scan.wavelengths()[k], key);
                EXPECT_EQ(scan.values()[k], value);
                ++k;
            }
            EXPECT_EQ(scan.epsilon(), orvanalysis::Scan::Default_Wavelength_Epsilon);
            EXPECT_EQ(scan.interpolation(), orvanalysis::Scan::Default_Interpolation);
        }
    }
}

TEST(DataFileParser, DamagedFixturesFailWithTheirError) {
    const std::string corrupted = "File corrupted";
    const std::string past_end = "Attempt to read past end of __buffer.";
    // What each damaged fixture must raise; two damages lie where no read goes, so they parse.
    const std::map<std::string, std::string> expected{
        {"bad_major_version", corrupted},
        {"bad_signature", "Wrong file format"},
        {"chain_cycle", past_end},
        {"chain_difsect", corrupted},
        {"chain_endofchain", corrupted},
        {"chain_fatsect", corrupted},
        {"chain_freesect", corrupted},
        {"chain_maxregsect", corrupted},
        {"chain_out_of_file", corrupted},
        {"chain_reserved", corrupted},
        {"directory_chain_freesect", ""},  // entries 0 and 1 lie in the first directory sector
        {"empty_file", "Buffer is empty"},
        {"entry1_lowercase_contents", "Contents entry missing."},
        {"entry1_other_stream", "Contents entry missing."},
        {"entry1_size_beyond_chain", corrupted},
        {"entry1_start_out_of_range", corrupted},
        {"entry1_storage", ""},  // the object type is not read
        {"huge_dataset_count", past_end},
        {"huge_list_count", past_end},
        {"huge_no_of_points", past_end},
        {"huge_string_length", past_end},
        {"minichain_cycle", past_end},
        {"minichain_freesect", corrupted},
        {"minichain_out_of_range", corrupted},
        {"ministream_chain_freesect", corrupted},
        {"missing_guid", "16 byte GUID header missing."},
        {"wrong_guid", "16 byte GUID header missing."},
        {"size_field_minus_one", "Size does not match entry size."},
        {"size_field_plus_one", "Size does not match entry size."},
        {"truncated_file", corrupted},
        {"truncated_header", "Wrong file format"},
    };
    std::size_t checked = 0;
    for (const auto& [name, note] : manifest()["corrupt"].items()) {
        SCOPED_TRACE(name + ": " + note.get<std::string>());
        const Bytes data = fixture(name + ".orv");
        const auto found = expected.find(name);
        const std::string message = found != expected.end() ? found->second : past_end;  // the cut streams
        if (message.empty()) {
            EXPECT_NO_THROW((void)orvfile::load_orvfile_binary_data(data));
        } else {
            EXPECT_EQ(message_of([&] { (void)orvfile::load_orvfile_binary_data(data); }), message);
            EXPECT_EQ(message_of([&] { (void)orvfile::orvfile_to_json_binary_data(data, 2, true); }), message);
        }
        ++checked;
    }
    EXPECT_EQ(checked, manifest()["corrupt"].size());
    EXPECT_GE(checked, 40u);
}

TEST(DataFileParser, EveryFixtureEndsInAResultOrAnError) {
    // Regressions from fuzzing sit beside the fixtures; none may crash either entry point.
    std::size_t files = 0;
    for (const auto& path : std::filesystem::recursive_directory_iterator(fixture_dir)) {
        if (!path.is_regular_file() || path.path().extension() == ".json") {
            continue;
        }
        const Bytes data = orvfile::read_file_bytes(path.path().string());
        try {
            (void)orvfile::load_orv_scan_binary_data(data);
        } catch (const std::exception&) {
        }
        try {
            (void)orvfile::orvfile_to_json_binary_data(data, -1, false);
        } catch (const std::exception&) {
        }
        ++files;
    }
    EXPECT_GT(files, 60u);
}

TEST(ParseTypeAndUnits, SplitsAtTheFirstSeparatorAndReadsTwoCodes) {
    const auto parsed = [](const std::string& text, const std::string& codes) {
        const orvfile::MeasurementTypeUnits u = orvfile::parse_type_and_units(text, codes);
        return std::make_tuple(u.measurement_type, u.units, u.measurement_type_code, u.units_code);
    };
    EXPECT_EQ(parsed("Irradiance / W m-2 nm-1  ", "3 7"), std::make_tuple("Irradiance", "W m-2 nm-1", 3, 7));
    EXPECT_EQ(parsed("Ratio / a / b\t\r\n", ""), std::make_tuple("Ratio", "a / b", -1, -1));
    EXPECT_EQ(parsed(" / x", ""), std::make_tuple("", "x", -1, -1));
    EXPECT_EQ(parsed("Transmittance/%", "12"), std::make_tuple("Transmittance/%", "", 12, -1));
    EXPECT_EQ(parsed("T ", "  -4   +5 6"), std::make_tuple("T ", "", -4, 5));
    EXPECT_EQ(parsed("", "x"), std::make_tuple("", "", 0, -1)) << "a failed read stores 0";
    EXPECT_EQ(parsed("", "3 x"), std::make_tuple("", "", 3, 0));
    EXPECT_EQ(parsed("", "3 "), std::make_tuple("", "", 3, -1)) << "nothing left: no read";
    EXPECT_EQ(parsed("", "99999999999 4"), std::make_tuple("", "", 2147483647, -1));
    EXPECT_EQ(parsed("A /", ""), std::make_tuple("A /", "", -1, -1));
}

TEST(LoadOrvScanBinaryData, NamesToScansInByteOrder) {
    const auto scans = orvfile::load_orv_scan_binary_data(fixture("fv3_gv3_timestamps.orv"));
    std::vector<std::string> names;
    for (const auto& [name, scan] : scans) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Ch 1", "Ch 2", "Ch 3"}));
    EXPECT_EQ(scans.at("Ch 3").values(), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(message_of([] { (void)orvfile::load_orv_scan_binary_data({}); }), "Buffer is empty");
}
