"""The orv command end to end, through a subprocess as a user or a script runs it."""

import csv
import json
import math
import os
import pathlib
import platform
import pty
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

import pytest

import orvfile_writer as w
from orvpy import io, lens, verdicts
from orvpy.cli import files

ROOT = pathlib.Path(__file__).resolve().parents[2]
# root reads folders at mode 000: without these capabilities, the command sees them as a user does
AS_A_USER = ["setpriv", "--bounding-set", "-dac_override,-dac_read_search"] if os.geteuid() == 0 else []
# temporary files as the README names them: .NAME.PID.RANDOM.part, .old for a folder being replaced
TEMPORARY = re.compile(r"\..*\.[0-9]+\.[0-9a-f]{8}\.(part|old)")
FORKS = []  # while a test counts the processes forked from this one: a pipe's write end
os.register_at_fork(after_in_child=lambda: FORKS and os.write(FORKS[0], b"."))


def orv(*args, cwd=None, wrap=(), env=(), popen=False):
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(os.path.abspath(p) for p in sys.path if p), **dict(env)}
    command = [*wrap, sys.executable, "-m", "orvpy", *map(str, args)]
    if popen:
        return subprocess.Popen(
            command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, cwd=cwd, env=env, start_new_session=True
        )
    return subprocess.run(
        command, capture_output=True, text=True, errors="surrogateescape", cwd=cwd, env=env, timeout=120
    )


def has(module):
    try:
        __import__(module)
        return True
    except Exception:  # Debian's packages appended to another interpreter's path may fail to load
        return False


def write_orv(path, datasets, units="Transmittance / %", **titles):
    path.write_bytes(w.container(w.contents(datasets, type_and_units=units, **titles)[0]))
    return path


def owasp(text):
    """A spreadsheet cell as the OWASP guidance on CSV injection has it, numbers left alone."""
    try:
        float(text)
        return text
    except ValueError:
        return "'" + text if text[:1] in ("=", "+", "-", "@", "\t", "\r") else text


POINTS = [(380.0 + i / 3, 0.1 + i / 7) for i in range(3 * 400 + 1)]


def test_info_and_json(tmp_path, sample):
    info = orv("info", sample)
    assert info.returncode == 0 and "#2 Brown driving lens" in info.stdout and "101 points, 280-780" in info.stdout
    assert orv("json", sample).stdout == io.orvfile_to_json(sample, 2, False) + "\n"
    assert orv("json", sample, "-o", tmp_path / "s.json", "--indent", "-1", "--ascii").returncode == 0
    assert (tmp_path / "s.json").read_text() == io.orvfile_to_json(sample, -1, True) + "\n"
    # JSON has no NaN or infinity: such values are written null, so any strict reader takes the
    # file; text beyond ASCII is written as it is unless --ascii says otherwise, by batch too.
    odd = write_orv(tmp_path / "odd.orv", [("s µ", [(400.0, math.nan), (410.0, 0.5), (420.0, math.inf)])])
    assert orv("batch", odd, "--to", "json", "--out", tmp_path / "out").returncode == 0
    text = (tmp_path / "out" / "odd.json").read_text()
    assert "\n" not in text and text + "\n" == orv("json", odd, "--indent", "-1").stdout  # one line by default

    def refuse(constant):
        raise ValueError(constant)

    held = json.loads(text, parse_constant=refuse)
    assert [None, 0.5, None] in [v for v in _leaves(held) if isinstance(v, list)]


def _leaves(value):
    """Every list and number inside a parsed JSON value."""
    if isinstance(value, dict):
        for item in value.values():
            yield from _leaves(item)
    elif isinstance(value, list):
        yield value
        for item in value:
            yield from _leaves(item)


def test_csv_files_read_back_to_the_same_points_under_safe_names(tmp_path):
    points = POINTS
    named = write_orv(tmp_path / "named.orv", [("A/B", points), ("a/b", points[:5]), ("", points[:9])])
    empty = write_orv(tmp_path / "empty.orv", [("0", [])])
    assert (
        orv("csv", named, "-o", tmp_path / "csv").returncode
        == orv("csv", empty, "-o", tmp_path / "csv").returncode
        == 0
    )
    written = sorted(p.name for p in (tmp_path / "csv").iterdir())
    assert written == ["0.csv", "A_B.csv", "a_b-2.csv", "data_set.csv"]
    sets = io.load_orvfile(named).data_sets + io.load_orvfile(empty).data_sets
    for name, data_set in zip(["A_B.csv", "a_b-2.csv", "data_set.csv", "0.csv"], sets):
        assert "Wavelength / nm,Transmittance / %\n" in (tmp_path / "csv" / name).read_text()
        assert io.load_csv(tmp_path / "csv" / name).to_lists() == data_set.data.to_lists()
    # --wide: one table, a column per data set (repeated and hostile names kept, escaped).
    hostile = write_orv(tmp_path / "wide.orv", [("A", points[:7]), ("=A", points[3:12:2]), ("A", [])])
    assert orv("csv", hostile, "--wide", "-o", tmp_path / "wide.csv").returncode == 0
    table = (tmp_path / "wide.csv").read_text()
    to_stdout = orv("csv", hostile, "--wide")
    assert (to_stdout.returncode, to_stdout.stdout) == (0, table)
    rows = list(csv.reader(table.splitlines()))
    assert rows[0] == ["Wavelength / nm", "A", "'=A", "A"]
    for column, data_set in enumerate(io.load_orvfile(hostile).data_sets, 1):
        held = [(float(row[0]), float(row[column])) for row in rows[1:] if row[column]]
        assert held == list(data_set.data.items())
    # Axis titles that read as numbers, formulas or line breaks make headers that load_csv skips.
    titles = [("1000", "-5"), ("1/cm", "=1+2"), ("Infinity", "x"), (' "5', "a\r5,6"), ("a\n7,8", "@b")]
    (tmp_path / "titled").mkdir()
    for i, (x, y) in enumerate(titles):
        write_orv(tmp_path / "titled" / f"t{i}.orv", [("s", points[:50])], y, x_axis_title=x, x_type=99)
    made = orv("batch", tmp_path / "titled", "--to", "csv", "--out", tmp_path / "titled")
    assert made.returncode == 0 and "ratings in" not in made.stderr
    # its own CSV folders, holding just what it wrote, are replaced on --force
    forced = orv("batch", tmp_path / "titled", "--to", "csv", "--out", tmp_path / "titled", "--force")
    assert forced.returncode == 0 and f"{len(titles)} converted" in forced.stderr
    for i in range(len(titles)):
        assert io.load_csv(tmp_path / "titled" / f"t{i}" / "s.csv").to_lists() == [list(p) for p in zip(*points[:50])]
        header = next(csv.reader((tmp_path / "titled" / f"t{i}" / "s.csv").read_text().splitlines()))
        assert [cell[:1] for cell in header if cell[:1] in "=+-@"] == []


def test_ratings_in_three_forms_and_two_methods(tmp_path, sample):
    # An unmeasured band is never a number.
    named = write_orv(tmp_path / "named.orv", [("A/B", POINTS), ("a/b", POINTS[:5]), ("", POINTS[:9])])
    rated = json.loads(orv("rate", sample, named, "--format", "json").stdout)
    expected = [r.as_dict() for _, r in lens.rate_file(sample)] + [
        r.as_dict() for _, r in lens.rate_file(named, require_coverage=False)
    ]
    assert [{k: v for k, v in row.items() if k not in ("file", "data_set")} for row in rated] == expected
    assert [row["ISO8980_3_tau_uva"] for row in rated][3:] == [None, None, None]
    opaque = write_orv(tmp_path / "opaque.orv", [("black", [(280.0 + 5 * i, 0.0) for i in range(101)])])
    assert json.loads(orv("rate", opaque, "--format", "json").stdout)[0]["daylight_x"] is None
    # The table: data sets numbered in order, a column each, transmittances in percent to 0.01,
    # other numbers to 4 decimals, "not measured" for None (category: "-"), then the warnings.
    table = orv("rate", sample, named).stdout.splitlines()
    n = len(rated)
    assert table[:n] == [f"#{i} {row['file']}: {row['data_set']}" for i, row in enumerate(rated, 1)]
    assert table[n].split() == [f"#{i}" for i in range(1, n + 1)]
    notes = [line for line in table[n + 1 :] if line.startswith("#")]
    lines = {line[:40].strip(): re.split(r"\s{2,}", line[40:].strip()) for line in table[n + 1 : -len(notes)]}
    for field in list(rated[0])[2:]:
        if field == "warnings":
            continue
        for cell, value in zip(lines.pop(field), (row[field] for row in rated), strict=True):
            if value is None:
                assert cell == ("-" if field == "category" else "not measured")
            elif "_tau_" in field:
                assert re.fullmatch(r"-?\d+\.\d\d %", cell) and abs(float(cell[:-2]) - 100 * value) <= 0.005 + 1e-9
            elif isinstance(value, float):
                assert re.fullmatch(r"-?\d+\.\d{4}", cell) and abs(float(cell) - value) <= 5e-5 + 1e-12
            else:
                assert cell == str(value)
    assert (
        notes
        and not lines
        and notes == [f"#{i}: {row['warnings']}" for i, row in enumerate(rated, 1) if row["warnings"]]
    )
    rows = list(csv.DictReader(orv("rate", sample, "--format", "csv").stdout.splitlines()))
    assert [row["category"] for row in rows] == ["3", "2", "0"] and float(rows[0]["ISO8980_3_tau_v"]) == rated[0][
        "ISO8980_3_tau_v"
    ]
    summed = json.loads(orv("rate", sample, "--format", "json", "--method", "sum").stdout)
    assert [{k: v for k, v in row.items() if k not in ("file", "data_set")} for row in summed] == [
        r.as_dict() for _, r in lens.rate_file(sample, method="sum")
    ]


@pytest.mark.parametrize("kind", ["symlink", "fifo", "stdout"])
def test_an_output_that_is_no_regular_file_is_written_through(tmp_path, kind, sample):
    expected = io.orvfile_to_json(sample, 2, False) + "\n"
    output = tmp_path / "out.json"
    if kind == "symlink":
        (tmp_path / "target.json").write_text("old")
        output.symlink_to(tmp_path / "target.json")
        assert orv("json", sample, "-o", output).returncode == 0
        assert output.is_symlink() and (tmp_path / "target.json").read_text() == expected
    elif kind == "fifo":
        os.mkfifo(output)
        reader = subprocess.Popen(["cat", output], stdout=subprocess.PIPE, text=True)
        assert orv("json", sample, "-o", output).returncode == 0
        assert reader.communicate(timeout=60)[0] == expected and stat.S_ISFIFO(output.lstat().st_mode)
    else:
        assert orv("json", sample, "-o", "/proc/self/fd/1").stdout == expected


def test_failures_are_one_line_and_usage_is_status_2(tmp_path, sample, damaged):
    os.mkfifo(tmp_path / "fifo.orv")  # opening it would wait for a writer forever: every command checks alike
    for command in (["info"], ["json"], ["csv", "-o", tmp_path], ["rate"], ["plot", "-o", tmp_path / "p.png"]):
        for path, reason in (
            (tmp_path / "missing.orv", "No such file or directory"),
            (damaged, "Wrong file format"),
            (tmp_path / "fifo.orv", "FIFO"),
        )[: 3 if command[0] == "info" else 2]:
            result = orv(*command[:1], path, *command[1:])
            if command[0] == "plot" and not has("matplotlib"):
                assert result.returncode == 2 and "python3-matplotlib" in result.stderr
                continue
            assert result.returncode == 1 and result.stderr.startswith(f"orv {command[0]}: {path}: "), result.stderr
            assert reason in result.stderr and result.stderr.count("\n") == 1
    absorbance = write_orv(tmp_path / "a.orv", [("s", [(400.0, 1.0), (410.0, 1.0)])], "Absorbance")
    assert orv("rate", absorbance).stderr.count(str(absorbance)) == 1
    unwritable = orv("json", sample, "-o", "/proc/x.json")
    assert (
        unwritable.returncode == 1
        and unwritable.stderr.startswith("orv json: /proc/x.json: ")
        and ".part" not in unwritable.stderr
    )
    full = orv("json", sample, "-o", "/dev/full")  # a device, written in place, that takes nothing
    assert full.returncode == 1 and full.stderr == f"orv json: /dev/full: {os.strerror(28)}\n", full.stderr
    own = shutil.copy(sample, tmp_path / "x.json")  # an output path that names the input itself
    # a data file named as the CSV file of one of its own data sets
    own_csv = shutil.copy(sample, tmp_path / "Brown_driving_lens.csv")
    for command in (
        ["json", own, "-o", own],
        ["batch", own, "--to", "json", "--out", tmp_path],
        ["csv", own_csv, "-o", tmp_path],
    ):
        result = orv(*command)
        # single-file commands say it on stderr; orv batch in errors.csv
        report = (tmp_path / "errors.csv").read_text() if command[0] == "batch" else result.stderr
        assert result.returncode == 1 and "the output would replace it" in report.splitlines()[-1]
        assert own.read_bytes() == own_csv.read_bytes() == sample.read_bytes()
    blocked = orv("json", sample, "-o", tmp_path / "x.json" / "y.json")  # x.json is a file
    assert blocked.returncode == 1 and blocked.stderr.startswith("orv json: ") and blocked.stderr.count("\n") == 1
    batch = ["batch", sample, "--to", "json", "--out", tmp_path]
    for usage in (
        ["frobnicate"],
        ["json", sample, "--indent", "65"],
        ["report", sample],  # no -o: a report is a file
        batch[:4],
        [*batch, "--jobs", "0"],
        [*batch, "--jobs", "257"],
        [*batch, "--scheduler", "bogus://x"],
        [*batch, "--scheduler", "localhost:8786x"],
        [*batch, "--scheduler", "foo"],
    ):
        result = orv(*usage)
        assert (result.returncode, result.stderr.count("\n")) == (2, 1) and "Traceback" not in result.stderr
    for command in ("info", "json", "csv", "rate", "plot", "batch", "report"):
        assert "examples:\n  orv " + command in orv(command, "--help").stdout


# The command as `orv` runs it, but its first call into the data-file reader meets a real signal
# (argv[1]), as if Ctrl-C were pressed or kill run at that moment: it acts once the call returns.
INTERRUPTED_WHILE_READING = """
import os, signal, sys
from orvpy.cli import main
# As a terminal starts it: a background job of a script inherits SIGINT ignored, and so would this.
signal.signal(signal.SIGINT, signal.default_int_handler)
def profile(frame, event, function):
    if event == "c_call" and getattr(function, "__module__", "") == "_orvpy_core.io":
        sys.setprofile(None)
        os.kill(os.getpid(), int(sys.argv[1]))
sys.setprofile(profile)
sys.exit(main(sys.argv[2:]))
"""


@pytest.mark.parametrize("command", ["info", "json", "csv", "rate", "plot", "report", "batch"])
def test_every_command_exits_0_2_130_and_143_as_documented(tmp_path, sample, command):
    """Status 1, a file that failed, is checked with each command's failures above."""
    outputs = {
        "json": ["-o", "j.json"],
        "csv": ["-o", "csv"],
        "plot": ["-o", "p.png"],
        "report": ["-o", "r.html"],
        "batch": ["--to", "rate", "--out", "rated", "--jobs", "1"],
    }
    args = [command, sample, *outputs.get(command, [])]
    needs_plots = command in ("plot", "report") and not has("matplotlib")
    (tmp_path / "done").mkdir()
    assert orv(*args, cwd=tmp_path / "done").returncode == (2 if needs_plots else 0)
    usage = orv(*args, "--no-such-option", cwd=tmp_path)
    assert (usage.returncode, usage.stderr.count("\n")) == (2, 1) and "--no-such-option" in usage.stderr
    if needs_plots:
        return
    (tmp_path / "stopped").mkdir()
    for signum, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
        stopped = subprocess.run(
            [sys.executable, "-c", INTERRUPTED_WHILE_READING, str(int(signum)), *map(str, args)],
            capture_output=True,
            text=True,
            cwd=tmp_path / "stopped",
            env=dict(os.environ, PYTHONPATH=os.pathsep.join(os.path.abspath(p) for p in sys.path if p)),
            timeout=120,
        )
        assert (stopped.returncode, stopped.stdout, stopped.stderr) == (status, "", "")
    if command in outputs:
        assert (
            tmp_path / "done" / outputs[command][outputs[command].index("-o" if "-o" in args else "--out") + 1]
        ).exists()
    assert not [p.name for p in (tmp_path / "stopped").rglob("*") if not p.is_dir()], "an output of a stopped run"


def test_text_from_files_reaches_no_terminal_or_spreadsheet_raw(tmp_path, damaged):
    names = ['=HYPERLINK("http://x")', "@SUM(1)", "+1-1", "-5", "\t=1", "\x1b]0;title\x07\x1b[2J\nforged"]
    write_orv(tmp_path / "=2+5.orv", [(name, [(280.0 + 5 * i, 50.0) for i in range(101)]) for name in names])
    odd = os.fsdecode(b"bad\xff\xfename.orv")  # not UTF-8: held as these bytes by the file system
    shutil.copy(tmp_path / "=2+5.orv", tmp_path / odd)
    shutil.copy(damaged, tmp_path / os.fsdecode(b"broken\xff.orv"))
    # a relative "**" pattern names what it finds as a relative path would: no "./"
    result = orv("batch", "=2+5.orv", odd, "**/broken*.orv", "--to", "rate", "--out", "out", cwd=tmp_path)
    assert result.returncode == 1 and "Traceback" not in result.stderr
    assert b"\nbroken\xff.orv,Wrong file format\n" in (tmp_path / "out" / "errors.csv").read_bytes()
    tables = [
        (tmp_path / "out" / "ratings.csv").read_bytes().decode("utf-8", "surrogateescape"),
        orv("rate", "=2+5.orv", odd, "--format", "csv", cwd=tmp_path).stdout,
    ]
    for table in tables:
        rows = list(csv.reader(table.splitlines(keepends=True)))[1:]
        assert [row[:2] for row in rows] == [[owasp(file), owasp(name)] for file in ("=2+5.orv", odd) for name in names]
        assert all(owasp(cell) == cell for row in rows for cell in row[2:])
    for command in ("rate", "info"):
        shown = orv(command, tmp_path / "=2+5.orv").stdout
        assert not re.search("[\x00-\x09\x0b-\x1f\x7f]", shown) and "\nforged" not in shown


@pytest.mark.skipif(not has("matplotlib"), reason="matplotlib is not installed for this interpreter")
def test_plot_draws_every_spectrum(tmp_path, sample):
    from matplotlib import image

    assert orv("plot", sample, "--rating", cwd=tmp_path).returncode == 0
    pixels = image.imread(tmp_path / "lens_transmittances.png")
    assert pixels.shape == (500, 800, 4) and pixels[..., :3].std() > 0.05
    # titles from the file are plain text, whatever mathtext they hold
    mathtext = write_orv(
        tmp_path / "m.orv",
        [(r"lens $\undefinedcmd{x}$", [(400.0, 50.0), (410.0, 60.0)])],
        r"T $\frac{$",
        x_axis_title="$x^$",
        x_type=99,
    )
    assert orv("plot", mathtext, cwd=tmp_path).returncode == 0


def test_verdicts_plots_and_reports_on_the_command_line(tmp_path, sample, damaged):
    rows = list(csv.DictReader(orv("rate", sample, "--use", "road", "--format", "csv").stdout.splitlines()))
    assert [{k: v for k, v in row.items() if ":" in k} for row in rows] == [
        lens.assess(r, use="road").as_dict() for _, r in lens.rate_file(sample)
    ]
    rules = tmp_path / "lab.toml"
    rules.write_text(verdicts.DEFAULT_RULES.read_text().replace("limit = 0.75", "limit = 0.1"))
    (tmp_path / "bad.toml").write_text("title = \n")
    for args, message in (
        (["--use", "night"], "names no intended use 'night'"),
        (["--rules", tmp_path], "Is a directory"),
        (["--rules", tmp_path / "bad.toml"], "bad.toml: not valid TOML: Invalid value (at line 1"),
    ):
        result = orv("rate", sample, *args)
        assert (result.returncode, result.stderr.count("\n")) == (1, 1) and message in result.stderr, result.stderr
    data = tmp_path / "data"
    data.mkdir()
    shutil.copy(sample, data / "a.orv")
    for edit, converted in ((None, "1 converted"), ("0.1", "0 converted"), ("0.2", "1 converted")):
        if edit:
            rules.write_text(rules.read_text().replace("limit = 0.1\n", f"limit = {edit}\n"))
        result = orv("batch", data, "--to", "rate", "--out", tmp_path / "out", "--rules", rules)
        assert result.returncode == 0 and converted in result.stderr
        assert f"ratings in {tmp_path / 'out' / 'ratings.csv'}" in result.stderr
    table = list(csv.DictReader((tmp_path / "out" / "ratings.csv").read_text().splitlines()))
    assert [row["use:twilight"] for row in table] == ["not suitable", "suitable", "suitable"]
    # A missing optional package or program is status 2, a PDF that could not be printed 1.
    shim = tmp_path / "shim" / "matplotlib"
    shim.mkdir(parents=True)
    (shim / "__init__.py").write_text("raise ImportError('not installed')\n")
    without = os.pathsep.join([str(shim.parent), *(os.path.abspath(p) for p in sys.path if p)])
    for command in (["plot", sample], ["report", sample, "-o", tmp_path / "r.html"]):
        result = orv(*command, env={"PYTHONPATH": without})
        assert (result.returncode, result.stderr.count("\n")) == (2, 1) and "python3-matplotlib" in result.stderr
        assert f"this Python ({platform.python_version()}) lacks" in result.stderr
    (tmp_path / "bin").mkdir()
    printing = ["report", sample, "-o", tmp_path / "p.html", "--no-plots", "--pdf"]
    result = orv(*printing, env={"PATH": str(tmp_path / "bin")})
    assert (result.returncode, result.stderr.count("\n")) == (2, 1) and "package chromium" in result.stderr
    # A Chromium that fails: its last 500 characters of complaint are passed on.
    complaint = "i=0\nwhile [ $i -lt 600 ]; do printf x >&2; i=$((i + 1)); done\necho END >&2\n"  # builtins only
    (tmp_path / "bin" / "chromium").write_text(f"#!/bin/sh\n{complaint}exit 1\n")
    (tmp_path / "bin" / "chromium").chmod(0o755)
    result = orv(*printing, env={"PATH": str(tmp_path / "bin")})
    assert (result.returncode, result.stderr.count("\n")) == (1, 1) and not (tmp_path / "p.pdf").exists()
    assert result.stderr == f"orv report: {tmp_path / 'p.pdf'}: Chromium failed (1): {'x' * 497}END\n"
    (tmp_path / "bin" / "chromium").write_text("#!/bin/sh\nexit 0\n")  # claims success, prints nothing
    result = orv(*printing, env={"PATH": str(tmp_path / "bin")})
    assert result.returncode == 1 and result.stderr.endswith(f"Chromium wrote no PDF for {tmp_path / 'p.html'}\n")
    not_a_file = orv("report", sample, "-o", "/dev/null", "--no-plots", "--pdf", env={"PATH": str(tmp_path / "bin")})
    assert (not_a_file.returncode, not_a_file.stderr) == (
        1,
        "orv report: /dev/null: --pdf prints the report from a file, and this is none\n",
    )
    if not has("matplotlib"):
        return
    for name, size, magic in (
        ("p.svg", "6x4", b'<svg xmlns:xlink="http://www.w3.org/1999/xlink" width="432pt" ' b'height="288pt"'),
        ("p.pdf", "8x5", b"%PDF"),
    ):
        assert orv("plot", sample, "-o", tmp_path / name, "--scale", "od", "--size", size).returncode == 0
        assert magic in (tmp_path / name).read_bytes()[:400]
    assert orv("plot", sample, "-o", tmp_path / "p.jpg").stderr == (
        f"orv plot: {tmp_path / 'p.jpg'}: the output's extension must be one of .png, .svg, .pdf, not '.jpg'\n"
    )
    assert orv("plot", sample, "--size", "0x3").returncode == 2
    made = orv(
        "report",
        data,
        damaged,
        "-o",
        tmp_path / "r.html",
        "--use",
        "road",
        *(["--pdf"] if shutil.which("chromium") else []),
    )
    assert (made.returncode, made.stderr) == (1, f"orv report: {damaged}: Wrong file format\n")
    page = (tmp_path / "r.html").read_text()
    assert all(f"<h2>{name}</h2>" in page for name, _ in lens.rate_file(sample)) and page.count("<svg") == 3
    assert (tmp_path / "r.pdf").exists() == bool(shutil.which("chromium"))


def test_a_folder_that_cannot_be_put_in_place_leaves_the_old_one(tmp_path, monkeypatch):
    (tmp_path / "out").mkdir()
    (tmp_path / "out" / "kept.csv").write_text("old")
    real = os.replace

    def refuse_the_new(source, target):
        if str(source).endswith(".part"):
            raise OSError(28, "No space left on device")
        return real(source, target)

    monkeypatch.setattr(os, "replace", refuse_the_new)
    with pytest.raises(files.CommandError, match="No space left on device"), files.atomic_folder(
        str(tmp_path / "out")
    ) as new:
        pathlib.Path(new, "new.csv").write_text("new")
    assert os.listdir(tmp_path) == ["out"] and os.listdir(tmp_path / "out") == ["kept.csv"]
    assert (tmp_path / "out" / "kept.csv").read_text() == "old"


def test_batch_shows_its_progress_on_a_terminal(tmp_path, sample):
    master, terminal = pty.openpty()
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(os.path.abspath(p) for p in sys.path if p)}
    command = [sys.executable, "-m", "orvpy", "batch", str(sample), "--to", "json", "--out", str(tmp_path / "out")]
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=terminal, env=env, timeout=120)
    os.close(terminal)
    shown = b""
    while True:
        try:
            chunk = os.read(master, 1 << 16)
        except OSError:  # the terminal's other end is closed
            break
        shown += chunk
        if not chunk:
            break
    os.close(master)
    if has("tqdm"):
        assert run.returncode == 0 and b"100%" in shown and b"1/1" in shown and b"1 converted" in shown
    else:
        assert run.returncode == 2 and b"python3-tqdm" in shown


def test_batch_converts_what_it_can_and_skips_what_is_done(tmp_path, sample, damaged):
    data = tmp_path / "data"
    (data / "sub").mkdir(parents=True)
    long_name = "l" * 250 + ".orv"  # its output's name fits in 255 bytes, a temporary's would not
    for name in ("a.orv", "b.orv", "sub/c.orv", long_name):
        shutil.copy(sample, data / name)
    shutil.copy(damaged, data / "sub" / "broken.orv")
    out = tmp_path / "out"
    first = orv("batch", data, tmp_path / "nothing*.orv", "--to", "json", "--out", out, "--jobs", 2)
    assert first.returncode == 1
    assert f"5 files, 4 converted, 0 up to date, 2 failed (listed in {out / 'errors.csv'}); " in first.stderr
    errors = list(csv.reader((out / "errors.csv").read_text().splitlines()))
    assert errors == [
        ["file", "error"],
        [str(tmp_path / "nothing*.orv"), "no such file or folder, and no .orv " "file matches"],
        [str(data / "sub" / "broken.orv"), "Wrong file format"],
    ]
    text = io.orvfile_to_json(sample, -1, False)
    assert all((out / name).read_text() == text for name in ("a.json", "b.json", "sub/c.json", "l" * 250 + ".json"))
    assert not [p for p in out.rglob("*") if TEMPORARY.fullmatch(p.name)], "temporary files left"
    assert not (out / "ratings.csv").exists(), "ratings only for --to rate"
    # Nothing to do: a failure said in one line, with no traceback.
    idle = orv("batch", tmp_path / "nothing*.orv", "--to", "json", "--out", tmp_path / "idle")
    assert idle.returncode == 1 and "0 files, 0 converted, 0 up to date, 1 failed" in idle.stderr
    assert "Traceback" not in idle.stderr

    # Temporary files of a run killed mid-write go with the next run.
    dead = subprocess.Popen(["true"])
    dead.wait()
    stale = [out / f".a.json.{dead.pid}.0123abcd.part", out / "sub" / f".c.json.{dead.pid}.89abcdef.part"]
    stale[0].write_text("")
    stale[1].mkdir()
    # a link in a temporary's name goes as a link: what it points to is the user's
    (tmp_path / "mine").mkdir()
    (tmp_path / "mine" / "notes.txt").write_text("keep")
    stale.append(out / f".b.json.{dead.pid}.4567abcd.part")
    stale[2].symlink_to(tmp_path / "mine", target_is_directory=True)
    rerun = orv("batch", data, "--to", "json", "--out", out, "--jobs", 1)
    assert rerun.returncode == 1 and "0 converted, 4 up to date, 1 failed" in rerun.stderr
    assert not any(os.path.lexists(p) for p in stale) and (tmp_path / "mine" / "notes.txt").read_text() == "keep"

    # ... but those of processes that run stay, another user's too, which the system refuses to
    # signal. The sweep only asks whether a process runs (signal 0): it never signals one.
    signals = []

    def probe(pid, signum):
        signals.append(signum)
        if pid == 1:
            raise PermissionError(1, "Operation not permitted")

    for pid in (os.getpid(), 1):
        kept = out / f".a.json.{pid}.0123abcd.part"
        kept.write_text("")
        with pytest.MonkeyPatch.context() as patch:
            patch.setattr(os, "kill", probe)
            files.sweep(str(out))
        assert kept.exists()
        kept.unlink()
    assert signals == [0, 0]  # each process asked about once, by signal 0 alone
    # A temporary of a long output's name holds as much of it as the name limit leaves
    tail = f".{dead.pid}.0123abcd.part"
    (tmp_path / "single").mkdir()
    cut = tmp_path / "single" / ("." + ("l" * 250 + ".json")[: 255 - 1 - len(tail)] + tail)
    cut.write_text("")
    assert orv("json", sample, "-o", tmp_path / "single" / ("l" * 250 + ".json")).returncode == 0
    assert os.listdir(tmp_path / "single") == ["l" * 250 + ".json"]
    # A single-file command removes its own output's leftovers, not another output's.
    for name in ("x.json", "other.json"):
        (tmp_path / "single" / f".{name}{tail}").write_text("")
    assert orv("json", sample, "-o", tmp_path / "single" / "x.json").returncode == 0
    assert sorted(os.listdir(tmp_path / "single")) == sorted(["l" * 250 + ".json", f".other.json{tail}", "x.json"])
    # An input replaced by another content, though older, is converted again; so is every file
    # after a change of the options that shape the output, and with --force.
    write_orv(data / "b.orv", [("other", [(400.0, 0.5), (410.0, 0.6)])])
    os.utime(data / "b.orv", (1e9, 1e9))
    assert "1 converted, 3 up to date" in orv("batch", data, "--to", "json", "--out", out).stderr
    assert (out / "b.json").read_text() == io.orvfile_to_json(data / "b.orv", -1, False)
    assert "4 converted, 0 up to date" in orv("batch", data, "--to", "json", "--out", out, "--indent", 2).stderr
    assert (out / "a.json").read_text() == io.orvfile_to_json(sample, 2, False)
    assert "0 converted, 4 up to date" in orv("batch", data, "--to", "json", "--out", out, "--indent", 2).stderr
    assert "4 converted, 0 up to date" in orv("batch", data, "--to", "json", "--out", out, "--force").stderr
    # An output whose folder is a file fails that file alone, with the system's reason.
    (tmp_path / "blocked").mkdir()
    (tmp_path / "blocked" / "sub").write_text("a file")
    blocked = orv("batch", data, "--to", "json", "--out", tmp_path / "blocked")
    errors = dict(list(csv.reader((tmp_path / "blocked" / "errors.csv").read_text().splitlines()))[1:])
    assert blocked.returncode == 1 and "3 converted" in blocked.stderr
    assert errors[str(data / "sub" / "c.orv")].endswith(os.strerror(20))  # ENOTDIR

    assert orv("batch", data, "--to", "rate", "--out", tmp_path / "rate").returncode == 1
    summed = orv("batch", data, "--to", "rate", "--out", tmp_path / "rate", "--method", "sum")
    assert "3 converted, 0 up to date" in summed.stderr, "a change of method makes the ratings again"
    rows = list(csv.DictReader((tmp_path / "rate" / "ratings.csv").read_text().splitlines()))
    assert {row["method"] for row in rows} == {"sum"}
    assert [(row["file"], row["data_set"]) for row in rows] == [  # the long name's .rating.csv would not fit
        (str(data / name), data_set.name)
        for name in ("a.orv", "b.orv", "sub/c.orv")
        for data_set in io.load_orvfile(data / name).data_sets
    ]
    clean = orv("batch", data / "a.orv", "--to", "csv", "--out", tmp_path / "csv")
    assert clean.returncode == 0 and "1 converted, 0 up to date, 0 failed; " in clean.stderr  # no errors listed
    assert len(list((tmp_path / "csv" / "a").glob("*.csv"))) == 3
    # sub.orv's CSV folder would be the folder of sub/c.orv's: it keeps its extension
    shutil.copy(sample, data / "sub.orv")
    assert orv("batch", data / "sub.orv", data / "sub" / "c.orv", "--to", "csv", "--out", out).returncode == 0
    assert [len(list((out / name).glob("*.csv"))) for name in ("sub.orv", "sub/c")] == [3, 3]
    # A CSV folder that would be a folder holding an input is refused, the other input converted.
    (tmp_path / "nest" / "x" / "a").mkdir(parents=True)
    shutil.copy(sample, tmp_path / "nest" / "a.orv")
    shutil.copy(sample, tmp_path / "nest" / "x" / "a" / "y.orv")
    inputs = (tmp_path / "nest" / "a.orv", tmp_path / "nest" / "x" / "a" / "y.orv")
    nested = orv("batch", *inputs, "--to", "csv", "--out", tmp_path / "nest" / "x")
    errors = list(csv.reader((tmp_path / "nest" / "x" / "errors.csv").read_text().splitlines()))[1:]
    assert nested.returncode == 1 and "1 converted" in nested.stderr
    assert errors == [
        [str(inputs[0]), f"{tmp_path / 'nest' / 'x' / 'a'}: holds input files; the output folder would replace it"]
    ]

    # What orv batch did not make is never replaced, even with --force: the user's folder beside
    # a.orv, their file beside b.orv.
    (data / "a").mkdir()
    (data / "a" / "notes.txt").write_text("mine")
    (data / "b.json").write_text("mine")
    for kind, mine in (("csv", data / "a"), ("json", data / "b.json")):
        for force in ((), ("--force",)):
            result = orv("batch", data / "a.orv", data / "b.orv", "--to", kind, "--out", data, *force)
            assert result.returncode == 1 and str(mine) in (data / "errors.csv").read_text()
    assert [(data / "a" / "notes.txt").read_text(), (data / "b.json").read_text()] == ["mine", "mine"]


def test_batch_inputs_that_are_no_plain_data_files(tmp_path, sample):
    data = tmp_path / "data"
    (data / "sub").mkdir(parents=True)
    for name in ("a.orv", "sub/b.orv"):
        shutil.copy(sample, data / name)
    os.mkfifo(data / "p.orv")
    for link in ("l1", "l2"):  # loops, each back to the folder that holds it
        (data / "sub" / link).symlink_to(".")
    (data / "locked").mkdir()
    shutil.copy(sample, data / "locked" / "c.orv")
    (tmp_path / "empty").mkdir()
    os.chmod(data / "locked", 0)
    try:
        result = orv(
            "batch",
            data,
            f"{data}/**/*.orv",
            tmp_path / "empty",
            "--to",
            "json",
            "--out",
            tmp_path / "out",
            wrap=AS_A_USER,
        )
    finally:
        os.chmod(data / "locked", 0o755)
    assert result.returncode == 1 and "3 files, 2 converted, 0 up to date, 3 failed" in result.stderr
    errors = dict(list(csv.reader((tmp_path / "out" / "errors.csv").read_text().splitlines()))[1:])
    assert sorted(errors) == sorted(map(str, (data / "locked", tmp_path / "empty", data / "p.orv")))
    assert os.strerror(13) in errors[str(data / "locked")] and "FIFO" in errors[str(data / "p.orv")]
    assert "no such file" not in errors[str(tmp_path / "empty")]


def processes_under(pid):
    """The processes whose parent is pid, from the process table."""
    children = []
    for entry in os.listdir("/proc"):
        try:
            fields = pathlib.Path(f"/proc/{entry}/stat").read_text().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if fields[1] == str(pid):
            children.append(int(entry))
    return children


def running(pid):
    try:
        return pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


@pytest.mark.parametrize(
    "signum, whole_group", [(signal.SIGINT, True), (signal.SIGKILL, False)], ids=["ctrl-c", "kill-9"]
)
def test_a_stopped_batch_leaves_no_worker_and_no_partial_file(tmp_path, signum, whole_group, sample):
    (tmp_path / "data").mkdir()
    for i in range(500):
        shutil.copy(sample, tmp_path / "data" / f"f{i:03d}.orv")
    out = tmp_path / "out"
    run = orv("batch", tmp_path / "data", "--to", "csv", "--out", out, "--jobs", 2, popen=True)
    deadline = time.monotonic() + 30
    while len(processes_under(run.pid)) < 2 and time.monotonic() < deadline:
        time.sleep(0.005)
    workers = processes_under(run.pid)
    assert len(workers) == 2 and run.poll() is None
    # Ctrl-C reaches every process of the terminal's group; kill -9 only the command
    (os.killpg if whole_group else os.kill)(run.pid, signum)
    _, stderr = run.communicate(timeout=10)
    assert run.returncode == (130 if signum == signal.SIGINT else -signal.SIGKILL) and "Traceback" not in stderr
    while any(map(running, workers)) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not any(map(running, workers))
    assert not [p for p in out.rglob("*") if TEMPORARY.fullmatch(p.name)], "temporary files left"


@pytest.mark.skipif(not has("distributed"), reason="dask.distributed is not installed for this interpreter")
def test_batch_on_a_local_dask_cluster_gives_the_same_outputs(tmp_path, sample, damaged):
    data = tmp_path / "data"
    data.mkdir()
    for i in range(6):
        shutil.copy(sample, data / f"f{i}.orv")
    shutil.copy(damaged, data / "broken.orv")
    for run in ("local", "dask"):
        extra = ["--scheduler", "local"] if run == "dask" else []
        result = orv("batch", data, "--to", "rate", "--out", tmp_path / run, "--jobs", 2, *extra)
        assert result.returncode == 1 and result.stderr.count("\n") == 1, result.stderr
    for name in ("ratings.csv", "errors.csv", "f3.rating.csv"):
        assert (tmp_path / "local" / name).read_bytes() == (tmp_path / "dask" / name).read_bytes()
    # a scheduler that does not answer: one line within the connect timeout, here shortened
    silent = orv(
        "batch",
        data,
        "--to",
        "rate",
        "--out",
        tmp_path / "x",
        "--scheduler",
        "tcp://127.0.0.1:1",
        env={"DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT": "1s"},
    )
    assert (silent.returncode, silent.stderr.count("\n")) == (1, 1) and "Traceback" not in silent.stderr


@pytest.mark.parametrize(
    "runner, failure",
    [
        ("processes", "exit"),
        pytest.param("dask", "memory", marks=pytest.mark.filterwarnings("ignore")),  # Debian's in-process Dask warns
        pytest.param("dask", "no orvpy", marks=pytest.mark.filterwarnings("ignore")),
    ],
)  # of its own sockets
def test_batch_charges_a_dying_worker_to_its_file_alone(tmp_path, monkeypatch, runner, failure, sample):
    from orvpy.cli import batch

    files = [str(shutil.copy(sample, tmp_path / f"f{i}.orv")) for i in range(40)]
    tasks = batch.plan(files, "json", tmp_path / "out", False)
    convert = batch.run_task

    def run_task(task):
        if task.source.endswith("f7.orv"):
            if runner == "processes":
                os._exit(3)  # the forked worker dies outright
            if failure == "no orvpy":
                raise ModuleNotFoundError("No module named 'orvpy'", name="orvpy")
            raise MemoryError("worker killed")  # Dask's in-process workers: the task errs
        return convert(task)

    monkeypatch.setattr(batch, "run_task", run_task)
    if runner == "processes":
        pipe = os.pipe()
        FORKS[:] = [pipe[1]]
        try:
            outcomes = batch.run_local(tasks, 2, lambda count: None)
            batch.run_local(tasks[:3], 256, lambda count: None)  # never more workers than files
        finally:
            FORKS.clear()
            os.close(pipe[1])
        forks = os.read(pipe[0], 1000)
        os.close(pipe[0])
        # two workers, and one in place of the dead one; then three for three files
        assert len(forks) == 2 + 1 + 3
    else:
        if not has("distributed"):
            pytest.skip("dask.distributed is not installed for this interpreter")
        import distributed

        with distributed.LocalCluster(
            n_workers=1, threads_per_worker=2, processes=False, dashboard_address=None
        ) as cluster:  # in this process, no sockets
            outcomes = batch.run_dask(tasks, 2, cluster.scheduler_address, lambda count: None, distributed)
    status = {o.source: (o.status, o.error) for o in outcomes}
    assert len(outcomes) == len(files)
    assert status.pop(files[7])[1].startswith(
        "orvpy is not importable on the worker" if failure == "no orvpy" else batch.WORKER_DIED
    )
    # Files of the lost chunk converted before the worker died are found up to date on the rerun.
    assert set(status.values()) <= {("done", ""), ("skipped", "")}
    assert sorted(p.name for p in (tmp_path / "out").glob("*.json")) == sorted(
        f"f{i}.json" for i in range(40) if i != 7
    )
