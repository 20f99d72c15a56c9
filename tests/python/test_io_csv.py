"""io.load_csv: two-column text files of x and y values."""

import re

import pytest

from _orvpy_core import io

BAD_LINE = "expected two numbers separated by spaces, tabs, commas or semicolons"


def write(tmp_path, text, name="scan.csv"):
    """Writes ``text`` as it is (no newline translation) and returns the path as a str."""
    path = tmp_path / name
    path.write_bytes(text.encode("utf-8") if isinstance(text, str) else text)
    return str(path)


def load(tmp_path, text, name="scan.csv"):
    return io.load_csv(write(tmp_path, text, name)).to_lists()


def expect_bad_line(tmp_path, text, line, name="scan.csv"):
    path = write(tmp_path, text, name)
    with pytest.raises(ValueError) as info:
        io.load_csv(path)
    message = str(info.value)
    assert path in message
    assert re.search(r"\bline %d\b" % line, message), message
    # Only the one line number, nothing that could be mistaken for another.
    assert re.findall(r"\bline (\d+)\b", message) == [str(line)], message
    return message


class TestDelimiters:
    @pytest.mark.parametrize(
        "sep",
        [",", ";", " ", "\t", " , ", "  ", "\t\t", ", ", " ;\t", ",,", ";;"],
        ids=["comma", "semicolon", "space", "tab", "space-comma-space", "two-spaces",
             "two-tabs", "comma-space", "space-semicolon-tab", "two-commas", "two-semicolons"],
    )
    def test_each_run_of_delimiters_separates_the_columns(self, tmp_path, sep):
        text = "".join("%s%s%s\n" % (x, sep, y) for x, y in [("380", "0.5"), ("400", "1.25"), ("420", "2")])
        assert load(tmp_path, text) == [[380.0, 400.0, 420.0], [0.5, 1.25, 2.0]]

    def test_lines_may_use_different_delimiters(self, tmp_path):
        assert load(tmp_path, "1,10\n2;20\n3 30\n4\t40\n") == [[1, 2, 3, 4], [10, 20, 30, 40]]


class TestSkippedLines:
    def test_one_header_line(self, tmp_path):
        assert load(tmp_path, "Wavelength,Transmittance\n380,0.5\n390,0.75\n") == [[380, 390], [0.5, 0.75]]

    def test_several_header_lines(self, tmp_path):
        text = ("Lens report\n"
                "Operator: J. M\u00fcller\n"
                "wl / nm;T / %\n"
                "380;0.5\n"
                "390;0.75\n")
        assert load(tmp_path, text) == [[380, 390], [0.5, 0.75]]

    def test_comments_anywhere(self, tmp_path):
        text = "# exported 2026-03-14\n#1,2\n380,1\n# half way\n390,2\n#9,9\n"
        assert load(tmp_path, text) == [[380, 390], [1, 2]]

    def test_blank_lines_anywhere(self, tmp_path):
        text = "\n\nx,y\n\n380,1\n\n\n390,2\n\n"
        assert load(tmp_path, text) == [[380, 390], [1, 2]]

    def test_header_lines_mixed_with_comments_and_blank_lines(self, tmp_path):
        text = "# device A\n\nTitle line\n# more\nx y\n\n1 2\n"
        assert load(tmp_path, text) == [[1], [2]]


class TestLineEnds:
    def test_missing_final_newline(self, tmp_path):
        assert load(tmp_path, "380,1\n390,2") == [[380, 390], [1, 2]]

    def test_crlf(self, tmp_path):
        text = "x,y\r\n# note\r\n\r\n380,1\r\n390,2\r\n"
        assert load(tmp_path, text) == [[380, 390], [1, 2]]

    def test_crlf_without_final_line_end(self, tmp_path):
        assert load(tmp_path, "380;1\r\n390;2") == [[380, 390], [1, 2]]

    def test_crlf_line_numbers_in_errors(self, tmp_path):
        expect_bad_line(tmp_path, "x,y\r\n380,1\r\noops\r\n390,2\r\n", 3)


class TestColumns:
    def test_third_column_ignored(self, tmp_path):
        assert load(tmp_path, "380,1,99\n390,2,98\n") == [[380, 390], [1, 2]]

    def test_more_columns_of_any_kind_ignored(self, tmp_path):
        assert load(tmp_path, "380\t1\t99\tok\n390\t2\tnote here\n") == [[380, 390], [1, 2]]

    @pytest.mark.parametrize("tail", [",", ";", " ", "\t", ", ", ";;", " ,\t;"])
    def test_trailing_delimiters_ignored(self, tmp_path, tail):
        assert load(tmp_path, "380,1%s\n390,2%s\n" % (tail, tail)) == [[380, 390], [1, 2]]


class TestValues:
    @pytest.mark.parametrize(
        "text, value",
        [("+1.5e2", 150.0), ("-3", -3.0), (".5", 0.5), ("5.", 5.0), ("1E3", 1000.0),
         ("2.5e-3", 0.0025), ("-4.25E+1", -42.5), ("+0", 0.0)],
    )
    def test_number_forms_in_both_columns(self, tmp_path, text, value):
        # The form once as an x (y = 1) and once as a y (x = 1e6, above every value here).
        assert load(tmp_path, "%s,1\n1000000,%s\n" % (text, text)) == [[value, 1e6], [1.0, value]]

    def test_signs_and_exponents_together(self, tmp_path):
        assert load(tmp_path, "+1.5e2,-3\n.5,5.\n-1e-3 +2E+2\n") == [[-0.001, 0.5, 150.0], [200.0, 5.0, -3.0]]

    def test_negative_zero_keeps_its_sign(self, tmp_path):
        (xs, ys) = load(tmp_path, "1,-0\n")
        assert xs == [1.0] and ys == [0.0] and str(ys[0]) == "-0.0"

    def test_points_come_back_sorted(self, tmp_path):
        text = "700,7\n380,3\n550,5\n-10,1\n400,4\n"
        assert load(tmp_path, text) == [[-10, 380, 400, 550, 700], [1, 3, 4, 5, 7]]

    def test_repeated_key_keeps_the_later_value(self, tmp_path):
        text = "400,1\n380,2\n400,3\n500,4\n400.0,5\n"
        assert load(tmp_path, text) == [[380, 400, 500], [2, 5, 4]]

    def test_keys_equal_as_numbers_are_repeats(self, tmp_path):
        assert load(tmp_path, "4e2,1\n400.,2\n+400,3\n") == [[400.0], [3.0]]

    def test_scan_accessors(self, tmp_path):
        scan = io.load_csv(write(tmp_path, "2,20\n1,10\n"))
        assert scan.wavelengths() == [1.0, 2.0]
        assert scan.values() == [10.0, 20.0]


class TestBadLines:
    def test_bad_line_in_the_middle(self, tmp_path):
        message = expect_bad_line(tmp_path, "x,y\n380,1\n390,2\nnot data\n400,3\n", 4)
        assert BAD_LINE in message

    def test_bad_line_at_the_end(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n390,2\n400,3\nend of data\n", 4)

    def test_bad_last_line_without_newline(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n390,2\nEND", 3)

    def test_single_number_after_data(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n390\n400,3\n", 2)

    def test_single_number_as_last_line(self, tmp_path):
        expect_bad_line(tmp_path, "# c\n\n380,1\n390,2\n400\n", 5)

    def test_header_like_line_after_data(self, tmp_path):
        expect_bad_line(tmp_path, "x,y\n380,1\nx,y\n390,2\n", 3)

    def test_line_numbers_count_comments_and_blank_lines(self, tmp_path):
        text = "# a\n\nheader\n# b\n380,1\n\n# c\n\n390,2\n???\n"
        expect_bad_line(tmp_path, text, 10)

    def test_number_line_before_the_data_that_is_not_a_data_line(self, tmp_path):
        expect_bad_line(tmp_path, "header\n42\n380,1\n", 2)

    def test_number_followed_by_words_before_the_data(self, tmp_path):
        expect_bad_line(tmp_path, "5 apples\n380,1\n", 1)

    def test_second_column_not_a_number(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n390,abc\n", 2)

    def test_second_number_with_junk_attached(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n390,2x\n", 2)

    def test_line_of_delimiters_after_data(self, tmp_path):
        expect_bad_line(tmp_path, "380,1\n,;\n", 2)

    def test_error_names_the_file(self, tmp_path):
        message = expect_bad_line(tmp_path, "1,2\nbad\n", 2, name="lens \u00e9 report.csv")
        assert "lens \u00e9 report.csv" in message


class TestFiles:
    def test_empty_file_gives_an_empty_scan(self, tmp_path):
        scan = io.load_csv(write(tmp_path, ""))
        assert scan.to_lists() == [[], []]
        assert scan.wavelengths() == [] and scan.values() == []

    def test_file_without_data_lines_gives_an_empty_scan(self, tmp_path):
        assert load(tmp_path, "# only comments\n\nand a header\n") == [[], []]

    def test_unopenable_path(self, tmp_path):
        path = str(tmp_path / "missing" / "scan.csv")
        with pytest.raises(RuntimeError) as info:
            io.load_csv(path)
        assert str(info.value) == "Could not open file for reading: %s: iostream stream error" % path

    def test_directory_is_not_a_file(self, tmp_path):
        with pytest.raises(RuntimeError) as info:
            io.load_csv(str(tmp_path))
        assert str(info.value) == "Could not open file for reading: %s: iostream stream error" % tmp_path

    def test_large_file(self, tmp_path):
        n = 20000
        text = "".join("%d,%r\n" % (i, i / 8) for i in reversed(range(n)))
        xs, ys = load(tmp_path, text)
        assert xs == [float(i) for i in range(n)]
        assert ys == [i / 8 for i in range(n)]


def test_out_of_range_number_before_the_data_is_a_bad_line(tmp_path):
    # "1e400" has the form of a number, so the line starts with a number but is no data line.
    expect_bad_line(tmp_path, "1e400,2\n380,1\n", 1)
    expect_bad_line(tmp_path, "2e308,1\n", 1)
    expect_bad_line(tmp_path, "380,1\n390,1e999\n", 2)


def test_old_mac_line_ends(tmp_path):
    # A lone carriage return ends a line too, and a stray one before CRLF is a blank line.
    assert load(tmp_path, "x,y\r380,1\r390,2\r") == [[380.0, 390.0], [1.0, 2.0]]
    assert load(tmp_path, "380,1\r\r\n390,2\r\n") == [[380.0, 390.0], [1.0, 2.0]]
    expect_bad_line(tmp_path, "380,1\r390\r", 2)
