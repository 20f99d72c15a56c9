"""Lens test reports: one self-contained HTML file a lab can hand to a customer.

``build`` rates and assesses every lens of the given data files (or folders of them); ``render``
turns the result into one HTML page whose styles and figures (SVG) are inline, so that it needs
no network and no script: a summary table first (each lens's category, luminous transmittance
and verdict per intended use), then a section per lens (the measurement's facts from its data
file, the plot of ``orvpy.plot``, every quantity of the four standards with the method used, the
verdicts with clause and margin, and every warning), a section per file that could not be read,
and a footer with the library's version, the rules files and their sources, the method and the
date. Printed, each lens starts a page and no table splits; ``print_pdf`` prints the page with
headless Chromium (Debian: ``chromium``), and ``screenshot`` takes a picture of it.

Examples
--------
>>> from orvpy import report  # doctest: +SKIP
>>> made = report.build(["measurements/"], use="road")  # doctest: +SKIP
>>> report.write(made, "report.html")  # doctest: +SKIP
>>> report.print_pdf("report.html", "report.pdf")  # doctest: +SKIP
"""

from __future__ import annotations

import datetime
import html
import math
import os
import pathlib
import shutil
import stat
import subprocess
import tempfile
from collections.abc import Iterable, Sequence
from dataclasses import dataclass
from typing import Optional, Union

from _orvpy_core import Scan, __version__
from _orvpy_core import io as _io

from orvpy import lens, plot
from orvpy.verdicts import Assessment, Rules, Verdict, assess, load_rules

__all__ = [
    "FileEntry",
    "LensEntry",
    "MissingProgram",
    "Report",
    "build",
    "data_files",
    "print_pdf",
    "render",
    "screenshot",
    "write",
]

PathLike = Union[str, "os.PathLike[str]"]
CHROMIUM_PACKAGE = "chromium"

# (field, label, kind) of the quantity table; kinds: "%" transmittance, "Q" quotient, "xy", "lab".
QUANTITIES = [
    ("ISO8980_3_tau_v", "Luminous transmittance, ISO 8980-3 (D65)", "%"),
    ("ANSI_Z80_3_tau_v", "Luminous transmittance, ANSI Z80.3 (illuminant C)", "%"),
    ("ANSI_Z80_3_tau_uva", "UV-A mean transmittance, ANSI Z80.3", "%"),
    ("ANSI_Z80_3_tau_uvb", "UV-B mean transmittance, ANSI Z80.3", "%"),
    ("ISO8980_3_tau_uva", "UV-A mean transmittance, ISO 8980-3", "%"),
    ("ISO8980_3_tau_suva", "Solar UV-A transmittance, ISO 8980-3", "%"),
    ("ISO8980_3_tau_suvb", "Solar UV-B transmittance, ISO 8980-3", "%"),
    ("ASNZS1067_2016_tau_suva", "Solar UV-A transmittance, AS/NZS 1067.2", "%"),
    ("ISO12311_tau_sb", "Solar blue-light transmittance, ISO 12311", "%"),
    ("ANSI_Z80_3_tau_spectral_min", "Lowest spectral transmittance 475-650 nm", "%"),
    *(
        (f"ANSI_Z80_3_tau_signal_{c}", f"{c.capitalize()} signal transmittance, ANSI Z80.3", "%")
        for c in ("red", "yellow", "green")
    ),
    *(
        (f"ISO8980_3_tau_signal_{k}_{c}", f"{c.capitalize()} signal transmittance, ISO 8980-3 {k}", "%")
        for k in ("incandescent", "led")
        for c in ("red", "yellow", "green", "blue")
    ),
    *(
        (f"ANSI_Z80_3_Q_{c}", f"{c.capitalize()} signal quotient Q, ANSI Z80.3", "Q")
        for c in ("red", "yellow", "green")
    ),
    *(
        (f"ISO8980_3_Q_{k}_{c}", f"{c.capitalize()} signal quotient Q, ISO 8980-3 {k}", "Q")
        for k in ("incandescent", "led")
        for c in ("red", "yellow", "green", "blue")
    ),
    ("daylight_x", "Chromaticity x in daylight (D65)", "xy"),
    ("daylight_y", "Chromaticity y in daylight (D65)", "xy"),
    ("yellow_signal_x", "Chromaticity x of the yellow signal", "xy"),
    ("yellow_signal_y", "Chromaticity y of the yellow signal", "xy"),
    ("green_signal_x", "Chromaticity x of the green signal", "xy"),
    ("green_signal_y", "Chromaticity y of the green signal", "xy"),
    ("CIELAB_L_star", "CIELAB L* against D65", "lab"),
    ("CIELAB_a_star", "CIELAB a* against D65", "lab"),
    ("CIELAB_b_star", "CIELAB b* against D65", "lab"),
]


class MissingProgram(RuntimeError):
    """A program the command needs is not installed; the message names its Debian package."""


@dataclass(frozen=True)
class LensEntry:
    """One lens of a data file: its name, spectral transmittance, rating and verdicts.

    Attributes
    ----------
    name : str
        The data set's name.
    scan : Scan
        Its spectral transmittance over wavelength (nm), in the file's unit.
    percent : bool
        The file's unit is percent (else a fraction).
    rating : LensRating
        Its rating (``orvpy.lens.rate``).
    assessment : Assessment
        Its verdicts (``orvpy.lens.assess``).
    """

    name: str
    scan: Scan
    percent: bool
    rating: lens.LensRating
    assessment: Assessment


@dataclass(frozen=True)
class FileEntry:
    """One input file: its facts, its lenses, or the error that stopped it.

    Attributes
    ----------
    path : str
        The file's path, as found.
    facts : tuple of (str, str)
        What the file records of the measurement, each as (label, text).
    lenses : tuple of LensEntry
        Its lenses, in file order.
    error : str
        Why the file could not be read or rated; empty when it was.
    """

    path: str
    facts: tuple[tuple[str, str], ...] = ()
    lenses: tuple[LensEntry, ...] = ()
    error: str = ""


@dataclass(frozen=True)
class Report:
    """What a report shows.

    Attributes
    ----------
    files : tuple of FileEntry
        The files, in input order.
    rules : Rules
        The rules the lenses were assessed against.
    use : str or None
        The intended use given verdicts for (None: every use).
    method : {"integral", "sum"}
        The computation method.
    made : str
        When it was made (ISO 8601 text).
    version : str
        The library's version.
    """

    files: tuple[FileEntry, ...]
    rules: Rules
    use: Optional[str]
    method: str
    made: str
    version: str = __version__

    @property
    def failed(self) -> bool:
        """Tell whether some input could not be read or rated."""
        return any(f.error for f in self.files)


def data_files(inputs: Iterable[PathLike]) -> list[tuple[str, str]]:
    """Return (path, problem) for each data file named.

    Parameters
    ----------
    inputs : iterable of str or os.PathLike
        Files, taken as given, and folders, searched for ``.orv`` files (in path order).

    Returns
    -------
    list of (str, str)
        Each file's path with a problem text: empty for a regular file; for an input that names
        none (a missing path, a folder holding no ``.orv`` file) or is not a regular file, why.
    """
    found: list[tuple[str, str]] = []
    for item in (os.fspath(i) for i in inputs):
        if os.path.isdir(item):
            files = sorted(
                os.path.join(root, name)
                for root, _, names in os.walk(item)
                for name in names
                if name.lower().endswith(".orv")
            )
            found += [(f, _problem(f)) for f in files] or [(item, "the folder holds no .orv file")]
        else:
            found.append((item, _problem(item)))
    return found


def _problem(path: str) -> str:
    """Return why a path cannot be read as a data file, or "".

    Only regular files are opened: opening a FIFO or a device can block forever.
    """
    try:
        mode = os.stat(path).st_mode
    except OSError as error:
        return "no such file or folder" if isinstance(error, FileNotFoundError) else error.strerror or str(error)
    return "" if stat.S_ISREG(mode) else "is not a regular file; it was not opened"


def _facts(path: str, orv_file: _io.OrvFile) -> tuple[tuple[str, str], ...]:
    info, units = orv_file.data_info, orv_file.data_info.type_and_units

    def yes(flag: bool) -> str:
        return "applied" if flag else "not applied"

    return (
        ("File", path),
        ("Measured", info.date_and_time or "-"),
        ("Instrument settings", info.scan_summary or "-"),
        (
            "Reference",
            f"{info.reference_type or '-'} ({info.reference_file or 'no file'}), " f"{yes(info.apply_reference)}",
        ),
        ("Calibration file", f"{info.data_calibration_file or '-'}, {yes(info.apply_data_calibration)}"),
        ("Certificate file", info.certificate_file or "-"),
        ("System file", info.system_file or "-"),
        ("Quantity and unit", f"{units.measurement_type or '-'} in {units.units or 'fractions'}"),
        ("x axis", orv_file.meta.x_type or "-"),
    )


def build(
    inputs: Iterable[PathLike],
    *,
    rules: Union[Rules, PathLike, None] = None,
    use: Optional[str] = None,
    method: lens.Method = "integral",
    made: Optional[str] = None,
) -> Report:
    """Rate and assess every lens of the data files named.

    Parameters
    ----------
    inputs : iterable of str or os.PathLike
        Data files (.orv) and folders, searched for them.
    rules : Rules, str or os.PathLike, optional
        As for ``orvpy.lens.assess``; by default the bundled ISO 12312-1 file.
    use : str, optional
        One intended use to give verdicts for; by default every use of the rules.
    method : {"integral", "sum"}
        As for ``orvpy.lens.rate``.
    made : str, optional
        The date and time to state (ISO 8601); by default now.

    Returns
    -------
    Report
        A file that cannot be read or rated is kept with its error (``Report.failed``).

    Raises
    ------
    ValueError
        For a malformed rules file, an unknown use or method.
    """
    loaded = rules if isinstance(rules, Rules) else load_rules(*(() if rules is None else (rules,)))
    if use is not None:
        loaded.use_name(use)  # ValueError for a use the rules do not name
    entries = []
    for path, problem in data_files(inputs):
        if problem:
            entries.append(FileEntry(path, error=problem))
            continue
        try:
            orv_file = _io.load_orvfile(path)
            percent = lens._percent_from_units(orv_file, path)
            ratings = lens.rate_file(path, require_coverage=False, method=method)
        except (RuntimeError, ValueError, OSError) as error:
            entries.append(FileEntry(path, error=str(error)))
            continue
        lenses = tuple(
            LensEntry(name, data_set.data, percent, rating, assess(rating, loaded, use=use))
            for data_set, (name, rating) in zip(orv_file.data_sets, ratings)
        )
        entries.append(FileEntry(path, _facts(path, orv_file), lenses))
    stamp = made or datetime.datetime.now().astimezone().isoformat(timespec="seconds")
    return Report(tuple(entries), loaded, use, method, stamp)


def _number(value: Optional[float], kind: str) -> str:
    """Return a value as shown.

    Transmittances in percent (two decimals, or three significant digits below 1 %), quotients to
    3 decimals, chromaticities to 4, CIELAB to 2.
    """
    if value is None:
        return "not measured"
    if math.isnan(value):
        return "undefined"
    if kind == "%":
        shown = 100 * value
        return (f"{shown:.2f}" if abs(shown) >= 1 else f"{shown:.3g}") + " %"
    return f"{value:.{ {'Q': 3, 'xy': 4, 'lab': 2}.get(kind, 4) }f}"


def _kind(field: str) -> str:
    return next((kind for name, _, kind in QUANTITIES if name == field), "Q")


def _cell(value: Optional[float], kind: str, field: str = "", signed: bool = False) -> str:
    """Return a table cell with the exact value in ``data-value`` (empty when there is none)."""
    text = _number(value, kind)
    if signed and value is not None and not math.isnan(value) and value >= 0:
        text = "+" + text
    exact = "" if value is None else repr(float(value))
    named = f' data-field="{field}"' if field else ""
    return f'<td class="num"{named} data-value="{exact}">{html.escape(text)}</td>'


def _e(text: object) -> str:
    r"""Return text escaped for HTML, control characters shown as ``\xNN``."""
    return html.escape(plot.printable(str(text)), quote=True)


STYLE = """
:root { color-scheme: light; }
body { font: 14px/1.45 "DejaVu Sans", "Helvetica Neue", Arial, sans-serif; color: #1b1b1b; margin: 0 auto;
       max-width: 1100px; padding: 24px; background: #fff; }
h1 { font-size: 24px; margin: 0 0 4px; } h2 { font-size: 19px; margin: 28px 0 8px; border-bottom: 2px solid #345;
padding-bottom: 3px; } h3 { font-size: 15px; margin: 18px 0 6px; }
table { border-collapse: collapse; margin: 6px 0 12px; width: 100%; }
th, td { border: 1px solid #c8ccd2; padding: 3px 7px; text-align: left; vertical-align: top; }
th { background: #eef1f5; } td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.pass, .suitable { color: #0b6b2b; font-weight: bold; } .fail, .not-suitable { color: #b3161b; font-weight: bold; }
.not-assessed, .not-applicable { color: #7a5b00; } .at-limit { background: #fff2c2; }
.error { color: #b3161b; font-weight: bold; } .note { color: #555; font-size: 12px; }
figure { margin: 8px 0; } figure svg { width: 100%; height: auto; max-width: 780px; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 2px 14px; margin: 6px 0; }
dl.facts dt { font-weight: bold; } dl.facts dd { margin: 0; }
table.verdicts td:first-child { width: 46%; } td.condition { overflow-wrap: anywhere; font-size: 90%; }
div.block { break-inside: avoid; }
div.columns { display: flex; gap: 16px; align-items: flex-start; } div.columns table { flex: 1; }
footer { margin-top: 32px; border-top: 2px solid #345; padding-top: 8px; font-size: 12px; }
@page { size: A4; margin: 14mm 12mm; }
@media print {
  body { font-size: 8pt; max-width: none; padding: 0; }
  th, td { padding: 1px 5px; } h2 { font-size: 14pt; margin-top: 0; }
  figure svg { max-width: 118mm; } table { font-size: 7.5pt; }
  section.lens, section.damaged { break-before: page; }
  table, figure, dl.facts, tr { break-inside: avoid; }
  thead { display: table-header-group; }
  h2, h3 { break-after: avoid; }
}
"""


def _count(number: int, one: str, many: str) -> str:
    return f"{number} {one if number == 1 else many}"


def _label_class(label: str) -> str:
    return label.split(" (")[0].replace(" ", "-")


def _summary(report: Report, uses: Sequence[tuple[str, str]]) -> list[str]:
    out = [
        '<section id="summary"><h2>Summary</h2><table class="summary"><thead><tr><th>File</th><th>Lens</th>'
        "<th>Category</th><th>Luminous transmittance (D65)</th>"
        + "".join(f"<th>{_e(name)}</th>" for _, name in uses)
        + "</tr></thead><tbody>"
    ]
    number = 0
    for entry in report.files:
        if entry.error:
            out.append(
                f'<tr><td>{_e(entry.path)}</td><td class="error" colspan="{3 + len(uses)}">'
                f"not rated: {_e(entry.error)}</td></tr>"
            )
        for item in entry.lenses:
            number += 1
            verdicts = {u.use: u for u in item.assessment.uses}
            out.append(
                f'<tr><td>{_e(entry.path)}</td><td><a href="#lens-{number}">{_e(item.name)}</a></td>'
                f'<td data-field="category">{_e("none" if item.rating.category is None else item.rating.category)}'
                f"</td>{_cell(item.rating.ISO8980_3_tau_v, '%', 'ISO8980_3_tau_v')}"
                + "".join(
                    f'<td class="{_label_class(verdicts[key].label)}" data-use="{_e(key)}">'
                    f"{_e(verdicts[key].label)}</td>"
                    for key, _ in uses
                )
                + "</tr>"
            )
    out.append("</tbody></table></section>")
    return out


def _verdict_rows(verdicts: Sequence[Verdict]) -> list[str]:
    rows = []
    for v in verdicts:
        r = v.requirement
        kind = _kind(r.quantity)
        clause = f"clause {r.clause}" if r.clause else "clause not stated by the source"
        limit = f"{r.compare} {r.limit!r}" + (f" × {r.times}" if r.times else "")
        rows.append(
            f'<tr class="{"at-limit" if v.at_limit else ""}" data-requirement="{_e(r.id)}">'
            f'<td><b>{_e(r.id)}</b> <span class="note">{_e(r.standard)}:{_e(r.edition)}, {_e(clause)}</span>'
            f'<br>{_e(r.text)}</td><td class="condition">{_e(r.quantity)} {_e(limit)}</td>'
            f"{_cell(v.measured, kind, r.quantity)}"
            f"{_cell(v.limit, kind)}{_cell(v.margin, kind, signed=True)}"
            f'<td class="{_label_class(v.label)}">{_e(v.label)}'
            + (f'<br><span class="note">{_e(v.reason)}</span>' if v.reason else "")
            + "</td></tr>"
        )
    return rows


def _lens_section(number: int, entry: FileEntry, item: LensEntry, figure: str) -> list[str]:
    rating, assessment = item.rating, item.assessment
    scan = item.scan
    facts = entry.facts + (
        ("Points", f"{len(scan)}, {scan.min_wavelength():g}-{scan.max_wavelength():g} nm" if len(scan) else "none"),
    )
    out = [
        f'<section class="lens" id="lens-{number}"><h2>{_e(item.name)}</h2><dl class="facts">'
        + "".join(f"<dt>{_e(k)}</dt><dd>{_e(v)}</dd>" for k, v in facts)
        + "</dl>",
        '<h3>Verdicts</h3><table class="uses"><thead><tr><th>Intended use</th><th>Verdict</th><th>Reasons</th>'
        "</tr></thead><tbody>",
    ]
    for u in assessment.uses:
        reasons = [f"fails {i}" for i in u.failing] + [f"{i} not assessed" for i in u.not_assessed]
        out.append(
            f'<tr data-use="{_e(u.use)}"><td>{_e(u.name)}</td><td class="{_label_class(u.label)}">'
            f"{_e(u.label)}</td><td>{_e('; '.join(reasons) or '-')}</td></tr>"
        )
    out.append(
        '</tbody></table><table class="verdicts"><thead><tr><th>Requirement</th><th>Condition</th>'
        "<th>Measured</th><th>Limit</th><th>Margin</th><th>Verdict</th></tr></thead><tbody>"
    )
    out += _verdict_rows(assessment.verdicts)
    out.append(
        f'</tbody></table>{figure}<div class="block"><h3>Quantities</h3>'
        '<p class="note">Worked out with orvpy.lens.rate, method '
        f'"{_e(rating.method)}"; filter category {_e("none" if rating.category is None else rating.category)}.'
        '</p><div class="columns">'
    )
    for part in ([q for q in QUANTITIES if q[2] == "%"], [q for q in QUANTITIES if q[2] != "%"]):
        out.append('<table class="quantities"><thead><tr><th>Quantity</th><th>Value</th></tr></thead><tbody>')
        out += [
            f'<tr><td title="{_e(field)}">{_e(label)}</td>{_cell(getattr(rating, field), kind, field)}</tr>'
            for field, label, kind in part
        ]
        out.append("</tbody></table>")
    out.append("</div></div>")
    warnings = rating.warnings + assessment.warnings
    out.append(
        '<div class="block"><h3>Warnings</h3>'
        + (
            '<ul class="warnings">' + "".join(f"<li>{_e(w)}</li>" for w in warnings) + "</ul>"
            if warnings
            else '<p class="warnings">None.</p>'
        )
        + "</div></section>"
    )
    return out


def _figure(item: LensEntry, number: int, plots: Optional[bool], scale: plot.Scale) -> str:
    if plots is False:
        return ""
    try:
        drawn = plot.spectra(
            [(item.name, item.scan)], scale=scale, percent=item.percent, ratings=[item.rating], size=(7.8, 4.4)
        )
    except ImportError as error:
        if plots:
            raise
        return f'<p class="note">No plot: {_e(error)}</p>'
    return f"<figure>{plot.svg_markup(drawn, f'lens{number}-')}</figure>"


def render(report: Report, *, plots: Optional[bool] = None, scale: plot.Scale = "log") -> str:
    """Return the report as one self-contained HTML page.

    Parameters
    ----------
    report : Report
        The report, as ``build`` makes it.
    plots : bool or None
        Draw each lens's plot (needs matplotlib; ImportError naming ``python3-matplotlib`` if
        absent), leave plots out (False), or draw them when matplotlib is there and say so in
        each section when not (None, the default).
    scale : {"linear", "log", "od"}
        The plots' vertical axis (``orvpy.plot.spectra``); by default logarithmic, so that UV
        blocking shows.

    Returns
    -------
    str
        The HTML text; every text from the data files is escaped.
    """
    uses = [(key, name) for key, name in report.rules.uses if report.use in (None, key)]
    out = [
        '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        f"<title>Lens test report, {_e(report.made[:10])}</title><style>{STYLE}</style></head><body>",
        f"<header><h1>Lens test report</h1><p>{_count(sum(len(f.lenses) for f in report.files), 'lens', 'lenses')} "
        f"from {_count(len(report.files), 'file', 'files')}, checked against "
        f"{_e(report.rules.title or report.rules.path)}.</p></header>",
    ]
    out += _summary(report, uses)
    number = 0
    for entry in report.files:
        if entry.error:
            out.append(
                f'<section class="damaged"><h2>{_e(entry.path)}</h2><p class="error">This file could not '
                f"be rated: {_e(entry.error)}</p></section>"
            )
        for item in entry.lenses:
            number += 1
            out += _lens_section(number, entry, item, _figure(item, number, plots, scale))
    rules = report.rules
    out.append(
        f"<footer><p>Made {_e(report.made)} with orvpy {_e(report.version)}; quantities worked out by the "
        f'"{_e(report.method)}" method.</p><p>Requirements: {_e(rules.path)} ({_e(rules.title)}), '
        f"{len(rules.requirements)} requirements. Sources:</p><ul>"
        + "".join(
            f'<li>{_e(s.title)}, <a href="{_e(s.url)}">{_e(s.url)}</a>, summarising {_e(s.summarises)}' "</li>"
            for s in rules.sources
        )
        + "</ul><p>The verdicts cover only the requirements listed; the standards' own texts prevail.</p>"
        + "".join(f'<p class="note">Not checked: {_e(item)}</p>' for item in rules.left_out)
        + "</footer></body></html>\n"
    )
    return "\n".join(out)


def write(report: Report, path: PathLike, *, plots: Optional[bool] = None, scale: plot.Scale = "log") -> None:
    """Write ``render(report)`` to ``path`` under a temporary name, renamed when complete.

    Parameters
    ----------
    report : Report
        The report, as ``build`` makes it.
    path : str or os.PathLike
        The HTML file to write; a file already there is replaced only once the new one is
        complete.
    plots, scale
        As for ``render``.

    Raises
    ------
    ImportError
        With ``plots=True`` and no matplotlib.
    OSError
        When the file cannot be written.
    """
    _replace_with(path, render(report, plots=plots, scale=scale).encode("utf-8"))


def _replace_with(path: PathLike, data: bytes) -> None:
    target = pathlib.Path(path)
    handle, temporary = tempfile.mkstemp(prefix=f".{target.name}.", suffix=".part", dir=target.parent.resolve())
    try:
        with os.fdopen(handle, "wb") as f:
            f.write(data)
        os.chmod(temporary, 0o666 & ~_umask())
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


def _chromium(arguments: Sequence[str], page: PathLike, timeout_s: float) -> None:
    """Run headless Chromium on a page, in a fresh profile, with no network services."""
    program = shutil.which("chromium") or shutil.which("chromium-browser")
    if program is None:
        raise MissingProgram(
            f"printing or picturing the report needs Chromium; on Debian or Ubuntu it comes with the "
            f"package {CHROMIUM_PACKAGE}"
        )
    with tempfile.TemporaryDirectory(prefix="orvpy-chromium-") as profile:
        command = [
            program,
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            f"--user-data-dir={profile}",
            *arguments,
            pathlib.Path(page).resolve().as_uri(),
        ]
        result = subprocess.run(
            command,
            capture_output=True,
            text=True,
            timeout=timeout_s,
            env=dict(os.environ, HOME=profile),
            stdin=subprocess.DEVNULL,
        )
    if result.returncode != 0:
        raise RuntimeError(f"Chromium failed ({result.returncode}): {result.stderr.strip()[-500:]}")


def _through_chromium(option: str, page: PathLike, output: PathLike, extra: Sequence[str], timeout_s: float) -> None:
    target = pathlib.Path(output)
    with tempfile.TemporaryDirectory(prefix=f".{target.name}.", dir=target.parent.resolve()) as scratch:
        made = pathlib.Path(scratch) / ("out" + target.suffix)
        _chromium([*extra, f"{option}={made}"], page, timeout_s)
        if not made.is_file() or made.stat().st_size == 0:
            raise RuntimeError(f"Chromium wrote no {target.suffix[1:].upper()} for {page}")
        _replace_with(target, made.read_bytes())


def print_pdf(page: PathLike, pdf: PathLike, *, timeout_s: float = 120.0) -> None:
    """Print an HTML page to PDF with headless Chromium (A4, the page's print styles).

    Parameters
    ----------
    page : str or os.PathLike
        The HTML page (as ``write`` writes it).
    pdf : str or os.PathLike
        The PDF file to write; a file already there is replaced only once the new one is complete.
    timeout_s : float
        How long Chromium may take, in seconds.

    Raises
    ------
    MissingProgram
        When Chromium is not installed (Debian package ``chromium``).
    RuntimeError
        When Chromium fails or writes nothing.
    subprocess.TimeoutExpired
        After ``timeout_s`` seconds.
    """
    _through_chromium("--print-to-pdf", page, pdf, ["--no-pdf-header-footer"], timeout_s)


def screenshot(
    page: PathLike, png: PathLike, *, width: int = 1200, height: int = 1500, timeout_s: float = 120.0
) -> None:
    """Take a PNG picture of the top of an HTML page, ``width`` x ``height`` pixels, by headless Chromium.

    Parameters
    ----------
    page : str or os.PathLike
        The HTML page (as ``write`` writes it).
    png : str or os.PathLike
        The PNG file to write; a file already there is replaced only once the new one is complete.
    width, height : int
        The picture's size in pixels.
    timeout_s : float
        How long Chromium may take, in seconds.

    Raises
    ------
    MissingProgram, RuntimeError, subprocess.TimeoutExpired
        As ``print_pdf`` raises them.
    """
    _through_chromium("--screenshot", page, png, [f"--window-size={width},{height}", "--hide-scrollbars"], timeout_s)
