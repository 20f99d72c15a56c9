#include "io/csv.hpp"
#include "io/file_loading.hpp"
#include "test_support.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

using orvanalysis::io::load_csv;
using orvanalysis::io::read_csv;

namespace {

const std::string bad = "expected two numbers separated by spaces, tabs, commas or semicolons";

std::vector<Keys> load(const std::string& text) {
    std::istringstream in(text);
    return read_csv(in, "t.csv").to_lists();
}

std::string error_of(const std::string& text) {
    return message_of<std::invalid_argument>([&] { (void)load(text); });
}

}  // namespace

TEST(LoadCsv, DelimitersHeadersCommentsQuotesAndLineEnds) {
    for (const std::string sep : {",", ";", " ", "\t", " , ", "  ", ", ", " ;", "; "}) {
        EXPECT_EQ(load("380" + sep + "0.5\n400" + sep + "1.25\n"), (std::vector<Keys>{{380, 400}, {0.5, 1.25}})) << sep;
    }
    const std::vector<Keys> two{{380, 390}, {1, 2}};
    for (const std::string text : {
             "380,1\n390,2",                              // no final line end
             "Wavelength,Transmittance\n380,1\n390;2\n",  // a header, mixed separators
             "Lens report\nOperator: J. M\xC3\xBCller\nwl / nm;T / %\n380 1\n390\t2\n",
             "# exported\n#1,2\n\n380,1\n# half way\n\n390,2\n#9,9\n",  // comments and blank lines
             "x,y\r\n# note\r\n\r\n380,1\r\n390,2",                     // CRLF
             "x,y\r380,1\r390,2\r",                                     // a lone CR ends a line
             "380,1\r\r\n390,2\r\n",                                    // a stray CR is a blank line
             "380,1,99\n390\t2\tnote here\n390,2,\n",                   // further fields
             "\xEF\xBB\xBF"     // NOLINT(bugprone-suspicious-missing-comma): one text, the mark before its lines
             "380,1\n390,2\n",  // a UTF-8 byte order mark
             "\"x\",\"y\"\n\"380\",\"1\"\n390;\"2\"",  // quoted fields
         }) {
        EXPECT_EQ(load(text), two) << text;
    }
    // Separated by semicolons or tabs, a number may have a decimal comma.
    EXPECT_EQ(load("380;43,25\n390\t43,5\n400,0;43,75\n410;0.5"),
              (std::vector<Keys>{{380, 390, 400, 410}, {43.25, 43.5, 43.75, 0.5}}));
    EXPECT_EQ(load("# only comments\n\n  \n"), (std::vector<Keys>{{}, {}}));
    // Text with lines, none of them data: JSON, HTML, keys in Unicode minus, a header alone.
    for (const std::string text : {"{\"x\": [1, 2]}\n", "<html>\n<p>380,1</p>\n",
                                   "\xE2\x88\x92"
                                   "1,2\n",
                                   "x,y\n"}) {
        EXPECT_EQ(error_of(text), "load_csv: t.csv: no data lines (none of its lines holds two numbers)") << text;
    }
}

TEST(LoadCsv, NumbersOrderAndRepeatedKeys) {
    EXPECT_EQ(load("+1.5e2,-3\n.5,5.\n-1e-3 +2E+2\n-4.25E+1,+0\n"),
              (std::vector<Keys>{{-42.5, -0.001, 0.5, 150}, {0, 200, 5, -3}}));
    EXPECT_TRUE(std::signbit(load("1,-0\n")[1][0]));
    EXPECT_EQ(load("700,7\n380,3\n-10,1\n400,1\n4e2,2\n400.,3\n+400,4\n"),
              (std::vector<Keys>{{-10, 380, 400, 700}, {1, 3, 4, 7}}));
    // Underflow gives the nearest double, as strtod does; values (not keys) may be NaN or infinite.
    EXPECT_EQ(load("1,1e-400\n2,4.9e-324\n3,-Inf"),
              (std::vector<Keys>{{1, 2, 3}, {0, 4.9406564584124654e-324, -INFINITY}}));
    EXPECT_TRUE(std::isnan(load("1;NaN")[1][0]));
}

TEST(LoadCsv, BadLinesAreNamedByNumberAndReason) {
    const std::string empty = "an empty field where a number belongs";
    const std::vector<std::tuple<std::string, std::size_t, std::string>> cases{
        {"x,y\n380,1\n390,2\nnot data\n400,3\n", 4, bad},
        {"380,1\n390,2\nEND", 3, bad},
        {"380,1\n390\n400,3\n", 2, bad},
        {"x,y\n380,1\nx,y\n390,2\n", 3, bad},
        {"# a\n\nheader\n# b\n380,1\n\n# c\n\n390,2\n???\n", 10, bad},
        {"header\n42\n380,1\n", 2, bad},  // a line that begins like a number is no header
        {"5 apples\n380,1\n", 1, bad},
        {"380,1\n390,2x\n", 2, bad},
        {"x,y\r\n380,1\r\noops\r\n390,2\r\n", 3, bad},
        {"1e400,2\n380,1\n", 1, bad},  // overflow
        {"1e,2\n", 1, bad},
        {"0x10,1\n", 1, bad},
        {"\"380\"x,1\n", 1, bad},
        {"nan,1\n", 1, "the key is not a finite number"},
        {"-inf,1\n", 1, "the key is not a finite number"},
        {"400,,3\n", 1, empty},
        {"400;;3\n", 1, empty},
        {"400,\n", 1, empty},
        {"380 43,25\n", 1,
         "the comma may separate the numbers or be their decimal mark; separate them with a semicolon or a tab"},
        {std::string("\xFF\xFE"
                     "3\0"
                     "8\0",
                     6),
         1, "UTF-16 text; save the file as UTF-8 or ASCII text"},
        {std::string("\xFE\xFF\0"
                     "3\0"
                     "8",
                     6),
         1, "UTF-16 text; save the file as UTF-8 or ASCII text"},
        {std::string("380,1\n3\0"
                     "8\0,\0",
                     10),
         2, "NUL bytes, as in UTF-16 text; save the file as UTF-8 or ASCII text"},
        {"1,2\n" + std::string((std::size_t{1} << 20) + 1, '5'), 2, "longer than 1048576 bytes"},
    };
    for (const auto& [text, line, reason] : cases) {
        EXPECT_EQ(error_of(text), "load_csv: t.csv, line " + std::to_string(line) + ": " + reason)
            << text.substr(0, 40);
    }
}

TEST(LoadCsv, FilesLongerThanOneReadBlock) {
    // The text is read in blocks of 1 MiB. Lines of 10 bytes up to a line whose end the first
    // block splits: a CRLF whose CR is its last byte, or a LF that is the second block's first.
    std::string body;
    for (int i = 0; body.size() + 10 <= (1 << 20); ++i) {
        body +=
            std::string(6 - std::to_string(i).size(), '0') + std::to_string(i) + "," + std::to_string(i % 10) + "\r\n";
    }
    for (const char* split : {"2e6,1\r", "2e6,10"}) {
        const std::string text = body + split + "\n3e6,2\r\n#12345678\r\n";
        ASSERT_EQ(text.find("\n3e6"), 1u << 20);
        const std::vector<Keys> points = load(text);
        ASSERT_EQ(points[0].size(), 104859u) << split;
        // 104,857 lines of the body, the split one, two more: 104,860 line ends.
        std::istringstream counted(text);
        EXPECT_EQ(orvanalysis::io::count_lines(counted), 104861u) << "line ends plus the last line";
        EXPECT_EQ(std::make_tuple(points[0][104856], points[1][104856], points[0][104857], points[1].back()),
                  std::make_tuple(104856.0, 6.0, 2e6, 2.0));
        EXPECT_EQ(error_of(text + "bad\r\n"), "load_csv: t.csv, line 104861: " + bad);
    }
    std::istringstream short_text("1,2\n3,4\r");  // a line end that ends the text counts too
    EXPECT_EQ(orvanalysis::io::count_lines(short_text), 3u);
}

TEST(LoadCsv, AReadErrorLeavesTheLineItCutUnread) {
    // A stream whose device fails after the first read block, which ends in "400,2": maybe the
    // start of "400,25".
    struct Failing : std::streambuf {
        std::string text = "380,1" + std::string((1 << 20) - 10, '\n') + "400,2";
        bool served = false;
        int_type underflow() override {
            if (served) {
                throw std::runtime_error("device error");
            }
            served = true;
            setg(text.data(), text.data(), text.data() + text.size());
            return traits_type::to_int_type(text[0]);
        }
    } device;
    std::istream in(&device);
    EXPECT_EQ(read_csv(in, "t.csv").to_lists(), (std::vector<Keys>{{380}, {1}}));
    EXPECT_TRUE(in.bad());
}

TEST(LoadCsv, PathsAndFiles) {
    const std::string dir = testing::TempDir();
    EXPECT_THROW((void)load_csv(dir), std::ios_base::failure) << "a directory opens but cannot be read";
    EXPECT_THROW((void)load_csv(dir + "ok.csv" + std::string(1, '\0') + "x"), std::invalid_argument);
    // Bytes that are not UTF-8 as Python decodes it (a stray byte, an overlong form, a surrogate,
    // beyond U+10FFFF) are written as \xNN; UTF-8 stays as it is.
    for (const auto& [name, shown] :
         std::vector<std::pair<std::string, std::string>>{{"\xFF", "\\xff"},
                                                          {"\xE0\x80\x80", "\\xe0\\x80\\x80"},
                                                          {"\xED\xA0\x80", "\\xed\\xa0\\x80"},
                                                          {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
                                                          {"\xC3\xA9\xF4\x8F\xBF\xBF", "\xC3\xA9\xF4\x8F\xBF\xBF"}}) {
        const std::string path = dir + name + ".csv";  // a structured binding cannot be captured
        EXPECT_EQ(message_of([&] { (void)load_csv(path); }),
                  "Could not open file for reading: " + dir + shown + ".csv: iostream stream error");
    }
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)load_csv("/dev/zero"); }),
              "load_csv: /dev/zero, line 1: NUL bytes, as in UTF-16 text; save the file as UTF-8 or ASCII text");
    const std::string huge = dir + "huge.orv";  // sparse: nothing is written
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, orvanalysis::io::max_file_bytes + 1);
    EXPECT_EQ(message_of<std::length_error>([&] { (void)orvanalysis::io::read_file_bytes(huge); }),
              "File larger than 1073741824 bytes: " + huge);
    std::filesystem::remove(huge);
}
