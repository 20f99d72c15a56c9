#include "io/file_loading.hpp"
#include "test_support.hpp"

#include <fstream>
#include <ios>

using orvanalysis::orvfile::load_csv;

namespace {

// A file of the text, named after the running test: ctest runs the tests side by side.
std::string write(const std::string& text, const std::string& name = "scan.csv") {
    const std::string path = testing::TempDir() + testing::UnitTest::GetInstance()->current_test_info()->name() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<Keys> load(const std::string& text) { return load_csv(write(text)).to_lists(); }

// The error on a bad line names the file and that line.
void bad_line(const std::string& text, std::size_t line, const std::string& name = "scan.csv") {
    const std::string path = write(text, name);
    EXPECT_EQ(message_of<std::invalid_argument>([&] { (void)load_csv(path); }),
              "load_csv: " + path + ", line " + std::to_string(line) +
                  ": expected two numbers separated by spaces, tabs, commas or semicolons")
        << text;
}

}  // namespace

TEST(LoadCsv, DelimitersHeadersCommentsAndLineEnds) {
    for (const std::string sep : {",", ";", " ", "\t", " , ", "  ", "\t\t", ", ", " ;\t", ",,", ";;"}) {
        EXPECT_EQ(load("380" + sep + "0.5\n400" + sep + "1.25\n"), (std::vector<Keys>{{380, 400}, {0.5, 1.25}})) << sep;
    }
    const std::vector<Keys> two{{380, 390}, {1, 2}};
    for (const std::string text : {
             "380,1\n390,2",                              // no final line end
             "Wavelength,Transmittance\n380,1\n390;2\n",  // a header, mixed delimiters
             "Lens report\nOperator: J. M\xC3\xBCller\nwl / nm;T / %\n380 1\n390\t2\n",
             "# exported\n#1,2\n\n380,1\n# half way\n\n390,2\n#9,9\n",  // comments and blank lines
             "x,y\r\n# note\r\n\r\n380,1\r\n390,2",                     // CRLF
             "x,y\r380,1\r390,2\r",                                     // a lone CR ends a line
             "380,1\r\r\n390,2\r\n",                                    // a stray CR is a blank line
             "380,1,99\n390\t2\tnote here\n",                           // further columns
             "380,1 ,\t;\n390,2;;\n",                                   // trailing delimiters
         }) {
        EXPECT_EQ(load(text), two) << text;
    }
    EXPECT_EQ(load(""), (std::vector<Keys>{{}, {}}));
    EXPECT_EQ(load("# only comments\n\nand a header\n"), (std::vector<Keys>{{}, {}}));
}

TEST(LoadCsv, NumbersOrderAndRepeatedKeys) {
    EXPECT_EQ(load("+1.5e2,-3\n.5,5.\n-1e-3 +2E+2\n-4.25E+1,+0\n"),
              (std::vector<Keys>{{-42.5, -0.001, 0.5, 150}, {0, 200, 5, -3}}));
    EXPECT_TRUE(std::signbit(load("1,-0\n")[1][0]));
    EXPECT_EQ(load("700,7\n380,3\n-10,1\n400,1\n4e2,2\n400.,3\n+400,4\n"),
              (std::vector<Keys>{{-10, 380, 400, 700}, {1, 3, 4, 7}}));
    // Underflow gives the nearest double, as strtod does.
    EXPECT_EQ(load("1,1e-400\n2,4.9e-324\n"), (std::vector<Keys>{{1, 2}, {0, 4.9406564584124654e-324}}));
}

TEST(LoadCsv, BadLinesAreNamedByFileAndNumber) {
    const std::vector<std::pair<std::string, std::size_t>> cases{
        {"x,y\n380,1\n390,2\nnot data\n400,3\n", 4},
        {"380,1\n390,2\nEND", 3},
        {"380,1\n390\n400,3\n", 2},
        {"# c\n\n380,1\n390,2\n400\n", 5},
        {"x,y\n380,1\nx,y\n390,2\n", 3},
        {"# a\n\nheader\n# b\n380,1\n\n# c\n\n390,2\n???\n", 10},
        {"header\n42\n380,1\n", 2},  // a line starting with a number is no header
        {"5 apples\n380,1\n", 1},
        {"380,1\n390,abc\n", 2},
        {"380,1\n390,2x\n", 2},
        {"380,1\n,;\n", 2},
        {"x,y\r\n380,1\r\noops\r\n390,2\r\n", 3},
        {"380,1\r390\r", 2},
        {"1e400,2\n380,1\n", 1},  // overflow
        {"380,1\n390,1e999\n", 2},
    };
    for (const auto& [text, line] : cases) {
        bad_line(text, line);
    }
    bad_line("1,2\nbad\n", 2, "lens \xC3\xA9 report.csv");
    EXPECT_THROW((void)load_csv(testing::TempDir()), std::ios_base::failure) << "a directory opens but cannot be read";
}

TEST(LoadCsv, FilesLongerThanOneReadBlock) {
    // The file is read in blocks of 1 MiB. Lines of 10 bytes up to a CRLF whose CR is the last
    // byte of the first block; the tail is 19 bytes long, where the first block holds a LF.
    std::string text;
    for (int i = 0; text.size() + 10 <= (1 << 20); ++i) {
        text +=
            std::string(6 - std::to_string(i).size(), '0') + std::to_string(i) + "," + std::to_string(i % 10) + "\r\n";
    }
    text += "2e6,1\r";
    ASSERT_EQ(text.size(), 1u << 20);
    text += "\n3e6,2\r\n#12345678\r\n";
    const std::vector<Keys> points = load(text);
    ASSERT_EQ(points[0].size(), 104859u);
    EXPECT_EQ(std::make_tuple(points[0][104856], points[1][104856], points[1].back()),
              std::make_tuple(104856.0, 6.0, 2.0));
    bad_line(text + "bad\r\n", 104861);
}
