"""The lens plots and the HTML report: its tables parsed and every number compared with the rating,
and the page rendered by headless Chromium (screenshot and PDF)."""

import dataclasses
import decimal
import html
import html.parser
import math
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import zlib

import pytest

import orvfile_writer as w
from orvpy import Scan, io, lens, plot, report, verdicts

ROOT = pathlib.Path(__file__).resolve().parents[2]
HOSTILE = '<script>alert("$5")</script> & tint'


def has_matplotlib():
    try:
        import matplotlib.figure  # noqa: F401

        return True
    except Exception:  # Debian's packages appended to another interpreter's path may fail to load
        return False


needs_matplotlib = pytest.mark.skipif(
    not has_matplotlib(), reason="matplotlib (Debian: python3-matplotlib) is " "not installed for this interpreter"
)


class Page(html.parser.HTMLParser):
    """Every table cell (section, row attributes, cell attributes, text), heading and id."""

    def __init__(self, text):
        super().__init__()
        self.cells, self.headings, self.ids, self.tags, self.section, self.row, self.open = (
            [],
            [],
            [],
            set(),
            "",
            {},
            None,
        )
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.add(tag)
        self.ids += [attrs["id"]] if "id" in attrs else []
        self.section = attrs.get("id") or attrs.get("class") if tag == "section" else self.section
        self.row = attrs if tag == "tr" else self.row
        self.open = [self.section, self.row, attrs, ""] if tag in ("td", "h2") else self.open

    def handle_data(self, data):
        if self.open is not None:
            self.open[3] += data

    def handle_endtag(self, tag):
        if tag in ("td", "h2") and self.open is not None:
            (self.cells if tag == "td" else self.headings).append(tuple(self.open))
            self.open = None


def shows(text, value, scale):
    """The text is the value (times scale) correctly rounded to the digits it shows."""
    number = text.strip().removeprefix("+").removesuffix(" %")
    if value is None or math.isnan(value):
        return number in ("not measured", "undefined")
    return abs(float(number) - scale * value) <= 0.5 * 10.0 ** decimal.Decimal(number).as_tuple().exponent * 1.0001


def test_the_report_holds_every_number_of_every_rating(tmp_path, sample, damaged):
    visible_only = [(380.0 + 5 * i, 40.0) for i in range(81)]  # no UV measured: UV quantities not assessed
    own = tmp_path / "own.orv"
    own.write_bytes(
        w.container(
            w.contents([(HOSTILE, visible_only)], type_and_units="Transmittance / %", x_axis_title="Wavelength / nm")[0]
        )
    )
    made = report.build([sample, tmp_path, damaged, tmp_path / "missing.orv"], made="2026-12-01T10:00:00+00:00")
    text = report.render(made)
    page = Page(text)
    expected = [
        (n, r, lens.assess(r)) for path in (sample, own) for n, r in lens.rate_file(path, require_coverage=False)
    ]
    assert made.failed and [h[3] for h in page.headings if h[0].startswith("lens-")] == [n for n, _, _ in expected]
    with pytest.raises(RuntimeError) as refusal:
        lens.rate_file(damaged)
    assert f"This file could not be rated: {refusal.value}</p>" in text
    assert "not rated: no such file or folder" in [c[3] for c in page.cells]
    numeric = {
        f
        for f in lens.LensRating.__dataclass_fields__
        if f not in ("min_wavelength", "max_wavelength", "category", "method", "warnings")
    }
    for number, (name, rating, assessment) in enumerate(expected, 1):
        cells = [c for c in page.cells if c[0] == f"lens-{number}"]
        fields = {c[2]["data-field"] for c in cells if "data-field" in c[2]}
        assert fields == numeric
        for _, row, attrs, shown in cells:
            if "data-field" in attrs:
                value = getattr(rating, attrs["data-field"])
                exact = float(attrs["data-value"]) if attrs["data-value"] else None
                assert exact == value or (math.isnan(exact) and math.isnan(value)), attrs
                assert shows(shown, value, 100 if "_tau_" in attrs["data-field"] else 1), (attrs, shown)
                assert not shown.startswith("+"), (attrs, shown)  # a measured value has no sign; margins do
        labels = {r.get("data-requirement"): c for _, r, _, c in cells}  # a row's last cell
        # Each verdict's label, followed by its reason when it has one.
        assert [labels[v.requirement.id] for v in assessment.verdicts] == [
            v.label + (v.reason or "") for v in assessment.verdicts
        ]
        conditions = {r.get("data-requirement"): c for _, r, a, c in cells if a.get("class") == "condition"}
        # As the shipped rules file states them, a limit relative to another quantity with it.
        assert conditions["road.category"] == "ISO8980_3_tau_v > 0.08"
        assert conditions["road.spectral-minimum"] == "ANSI_Z80_3_tau_spectral_min >= 0.2 × ISO8980_3_tau_v"
        uses = [c[3] for c in page.cells if c[0] == "summary" and "data-use" in c[2]]
        assert uses[3 * (number - 1) : 3 * number] == [u.label for u in assessment.uses]
    categories = [c[3] for c in page.cells if c[0] == "summary" and c[2].get("data-field") == "category"]
    assert categories == ["none" if r.category is None else str(r.category) for _, r, _ in expected]
    assert "<li>not reported: ISO8980_3_tau_uva needs 315-380 nm and the scan covers 380-780 nm</li>" in text
    # Self-contained and escaped: nothing fetched, nothing run, every id once.
    assert not page.tags & {"script", "link", "img", "iframe", "object"} and not re.search(r"url\((?!#)|@import", text)
    assert " src=" not in text and len(page.ids) == len(set(page.ids))
    assert text.count("<svg") == 4 if has_matplotlib() else text.count("python3-matplotlib") == 4
    assert "<footer><p>Made 2026-12-01T10:00:00+00:00 with orvpy" in text
    # Each file's facts as the reader gives them, "-" for a field the file leaves empty.
    for entry in made.files[:2]:
        info, facts = io.load_orvfile(entry.path).data_info, dict(entry.facts)
        for label, field in (
            ("Measured", info.date_and_time),
            ("Instrument settings", info.scan_summary),
            ("Calibration file", info.data_calibration_file),
            ("Certificate file", info.certificate_file),
            ("System file", info.system_file),
        ):
            shown = field or "-"
            assert facts[label] in (shown, f"{shown}, applied", f"{shown}, not applied")
            assert html.escape(facts[label]) in text
    # A file not rated spans the summary's columns after the file's own; counts agree in number.
    columns = re.search(r'<table class="summary"><thead><tr>(.*?)</tr>', text).group(1).count("<th>")
    assert [c[2]["colspan"] for c in page.cells if c[0] == "summary" and "colspan" in c[2]] == [str(columns - 1)] * 2
    assert "<p>4 lenses from 4 files, " in text and "<p>1 lens from 1 file, " in report.render(report.build([own]))
    for record, field in ((made, "files"), (made.files[0], "lenses")):
        with pytest.raises(dataclasses.FrozenInstanceError):
            setattr(record, field, ())
    # A path through a file: the system's reason alone, as for a missing file.
    assert report.build([own / "x.orv"]).files[0].error == os.strerror(20)  # ENOTDIR


def test_a_value_exactly_at_its_limit_shows_its_zero_margin_signed(tmp_path):
    # A flat 50 % lens has tau_v 0.5 to the bit; against "at least 0.5" its margin is +0, a pass.
    # A 2 % lens, category 4, is one the Q requirements (categories 0-3) do not apply to.
    flat = tmp_path / "flat.orv"
    lenses = [(name, [(280.0 + 5 * i, level) for i in range(101)]) for name, level in (("half", 50.0), ("dark", 2.0))]
    flat.write_bytes(w.container(w.contents(lenses, type_and_units="Transmittance / %")[0]))
    rules = tmp_path / "half.toml"
    text = verdicts.DEFAULT_RULES.read_text().replace("limit = 0.75", "limit = 0.5")
    title = next(line for line in text.splitlines() if line.startswith("title = "))
    rules.write_text(text.replace(title, "", 1))  # without its title, the header names the file
    made = report.build([flat], rules=rules)
    half, dark = (entry.assessment.verdicts for entry in made.files[0].lenses)
    assert [(v.outcome, v.margin) for v in half][-1] == ("pass", 0.0)
    page = report.render(made, plots=False)
    assert '<td class="num" data-value="0.0">+0 %</td>' in page and f"checked against {rules}.</p></header>" in page
    # Only the rows of verdicts at their limit are marked so.
    marked = re.findall(r'<tr class="(at-limit|)" data-requirement="([^"]*)"', page)
    assert marked == [("at-limit" if v.at_limit else "", v.requirement.id) for v in half + dark]
    assert ("at-limit", half[-1].requirement.id) in marked and ("", half[0].requirement.id) in marked
    # A verdict's reason follows its label; a verdict without one has no note.
    reasons = [f'{v.label}<br><span class="note">{html.escape(v.reason)}</span></td>' for v in dark if v.reason]
    assert len(reasons) == 4 and all(r in page for r in reasons) and '<span class="note"></span>' not in page


def png_pixels(data):
    """(width, height, rows of bytes) of an 8-bit RGB or RGBA, non-interlaced PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at : at + 8])
        chunks[kind] = chunks.get(kind, b"") + data[at + 8 : at + 8 + length]
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    assert depth == 8 and colour in (2, 6) and interlace == 0
    step = 3 if colour == 2 else 4
    raw, rows, previous = zlib.decompress(chunks[b"IDAT"]), [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (width * step + 1)], bytearray(
            raw[y * (width * step + 1) + 1 : (y + 1) * (width * step + 1)]
        )
        for i in range(len(line)):
            a, b = line[i - step] if i >= step else 0, previous[i]
            c = previous[i - step] if i >= step else 0
            p = a + b - c
            predictor = (
                a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            )
            line[i] = (line[i] + (0, a, b, (a + b) // 2, predictor)[kind]) & 0xFF
        rows.append([bytes(line[j : j + 3]) for j in range(0, len(line), step)])
        previous = line
    return width, height, rows


@pytest.mark.skipif(
    not (shutil.which("chromium") and shutil.which("pdftotext")),
    reason="needs the Debian packages chromium and poppler-utils",
)
def test_the_report_in_a_real_browser(tmp_path, sample, damaged):
    made = report.build([sample, damaged])
    report.write(made, tmp_path / "r.html")
    report.print_pdf(tmp_path / "r.html", tmp_path / "r.pdf")
    report.screenshot(tmp_path / "r.html", tmp_path / "r.png", height=700)  # 1200 pixels wide by default
    width, height, rows = png_pixels((tmp_path / "r.png").read_bytes())
    inked = sum(pixel != b"\xff\xff\xff" for row in rows for pixel in row)
    assert (width, height) == (1200, 700) and 0.02 < inked / (width * height) < 0.9
    words = " ".join(
        subprocess.run(
            ["pdftotext", tmp_path / "r.pdf", "-"], capture_output=True, text=True, check=True
        ).stdout.split()
    )
    for entry in made.files[0].lenses:
        assert entry.name in words and all(u.label in words for u in entry.assessment.uses)
    assert "Wrong file format" in words and "suitable" in words and "not suitable" in words
    assert sorted(p.name for p in tmp_path.iterdir()) == ["r.html", "r.pdf", "r.png"]  # no temporary left


@needs_matplotlib
@pytest.mark.parametrize(
    "scale, expected, y_label",
    [
        ("linear", [0, 0.1, 10, 50], "Transmittance / %"),
        ("log", [0.1, 0.1, 10, 50], "Transmittance / % (log)"),
        ("od", [3, 3, 1, -math.log10(0.5)], "Optical density, -log10 T"),
    ],
)
def test_plot_scales_bands_categories_and_legend(tmp_path, scale, expected, y_label):
    scan = Scan([280.0, 400.0, 500.0, 600.0], [0.0, 0.001, 0.1, 0.5])  # 0 drawn at the floor, 0.001
    rating = lens.rate(Scan([380.0 + 5 * i for i in range(81)], [0.1] * 81), require_coverage=False)
    figure = plot.spectra([("A $5 lens", scan)], scale=scale, ratings=[rating], title="Lab $x$ file", size=(6, 4))
    axes, ruler = figure.axes
    assert list(axes.get_lines()[0].get_ydata()) == pytest.approx(expected)
    in_percent = plot.spectra([("A $5 lens", scan * 100.0)], scale=scale, percent=True).axes[0]
    assert list(in_percent.get_lines()[0].get_ydata()) == pytest.approx(expected)
    # OD 7 at most: a value below it is drawn on it (1e-5 %), 0 too.
    (deep,) = plot.spectra([("deep", Scan([400.0, 500.0], [0.0, 1e-9]))], scale=scale).axes[0].get_lines()
    assert list(deep.get_ydata()) == pytest.approx({"linear": [0, 1e-7], "log": [1e-5] * 2, "od": [7, 7]}[scale])
    shades = [tuple(patch.get_facecolor()) for patch in ruler.patches]  # neighbouring categories differ
    assert len(shades) == 5 and len(set(shades)) == 2 and all(a != b for a, b in zip(shades, shades[1:]))
    full = 0.0 if scale == "od" else 100.0  # a clear lens, 100 %, lies inside the axis with room above
    assert min(axes.get_ylim()) < full < max(axes.get_ylim())
    assert {t.get_text() for t in axes.texts} == {"UV-B", "UV-A", "visible"} and len(axes.patches) == 3
    assert [t.get_text() for t in ruler.get_yticklabels()] == ["80 %", "43 %", "18 %", "8 %", "3 %"]
    # Each category's number sits halfway between its bounds as the ruler draws them, on any scale.
    ticks = dict(zip([t.get_text() for t in ruler.get_yticklabels()], ruler.get_yticks()))

    def drawn(y):
        return ruler.transData.transform((0.5, y))[1]

    for number, bounds in enumerate(zip(["80 %", "43 %", "18 %", "8 %"], ["43 %", "18 %", "8 %", "3 %"]), 1):
        (label,) = [t for t in ruler.texts if t.get_text() == str(number)]
        assert drawn(label.get_position()[1]) == pytest.approx(sum(drawn(ticks[b]) for b in bounds) / 2, abs=1e-6)
    assert ruler.get_ylim() == axes.get_ylim() and (axes.get_title(), axes.title.get_parse_math()) == (
        "Lab $x$ file",
        False,
    )
    for extension, magic in ((".png", b"\x89PNG"), (".svg", b"<?xml"), (".pdf", b"%PDF")):
        plot.save(figure, tmp_path / f"p{extension}")
        assert (tmp_path / f"p{extension}").read_bytes().startswith(magic)
    legend = axes.get_legend()
    box, plotted = legend.get_window_extent(), axes.get_window_extent()
    assert box.y1 < plotted.y0 and abs((box.x0 + box.x1) - (plotted.x0 + plotted.x1)) < 2  # centred below the curves
    label = legend.get_texts()[0]
    # tau_v 10 % is filter category 3 (over 8 % up to 18 %, the ruler's ticks above)
    assert (label.get_text(), label.get_parse_math()) == ("A $5 lens: category 3, τv 10.0 %", False)
    assert (axes.get_xlabel(), axes.get_ylabel()) == ("Wavelength / nm", y_label)
    assert figure.get_size_inches() == pytest.approx((6, 4))
    with pytest.raises(ValueError, match="extension must be one of .png, .svg, .pdf, not '.jpg'"):
        plot.save(figure, tmp_path / "p.jpg")


@needs_matplotlib
def test_a_quantity_other_than_transmittance_is_drawn_as_it_is_and_floored_only_on_a_log_scale(sample):
    spectrum = Scan([400.0, 500.0, 600.0], [0.0, 1.0, 2.0])
    for scale in ("linear", "log"):
        (line,) = (
            plot.spectra([("lamp", spectrum)], quantity="Irradiance / W m-2 nm-1", scale=scale).axes[0].get_lines()
        )
        drawn = list(line.get_ydata())
        assert drawn[1:] == [1.0, 2.0] and (drawn[0] > 0 if scale == "log" else drawn[0] == 0.0)
    # Another quantity's log axis reaches down to the decade of its smallest positive value.
    (faint,) = (
        plot.spectra([("faint", Scan([400.0, 500.0], [0.0, 3e-9]))], quantity="W", scale="log").axes[0].get_lines()
    )
    assert list(faint.get_ydata()) == pytest.approx([1e-9, 3e-9])
    # Labels that fit side by side below the plot share one row.
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    pair = plot.spectra([(f"Grey lens, batch 2026-11, side {s}", Scan([400.0, 500.0], [0.5, 0.5])) for s in "LR"])
    renderer = FigureCanvasAgg(pair).get_renderer()
    pair.draw(renderer)
    boxes = [t.get_window_extent(renderer) for t in pair.axes[0].get_legend().get_texts()]
    assert boxes[0].y0 == boxes[1].y0 and boxes[0].x1 < boxes[1].x0
    assert max(b.x1 for b in boxes) <= pair.bbox.x1  # and they do fit
    # A file's plot names each lens's category in its legend unless told otherwise.
    legend = [t.get_text() for t in plot.file_figure(sample).axes[0].get_legend().get_texts()]
    assert len(legend) == 3 and all(": category " in label or ": no category" in label for label in legend)
    # A spectrum of one wavelength is shown 1 nm either side of it.
    assert plot.spectra([("laser", Scan([532.0], [1.0]))]).axes[0].get_xlim() == (531.0, 533.0)


def test_without_matplotlib_the_package_is_named(monkeypatch, sample):
    monkeypatch.setitem(sys.modules, "matplotlib.figure", None)
    with pytest.raises(ImportError, match="python3-matplotlib"):
        plot.spectra([("a", Scan([380.0, 780.0], [0.5, 0.5]))])
    made = report.build([sample])
    assert report.render(made).count("No plot: orvpy.plot needs matplotlib") == 3
    with pytest.raises(ImportError, match="python3-matplotlib"):
        report.render(made, plots=True)
