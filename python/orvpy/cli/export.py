"""What the ``orv`` commands make of one data file.

The facts text, per-data-set and wide CSV files and rating tables, in the forms the commands
write them.
"""

from __future__ import annotations

import csv
import io as _text
import json
import math
import re
from collections.abc import Sequence
from typing import Optional, Union

from _orvpy_core import io

from orvpy import lens
from orvpy.cli.escaping import cell, header_cell, shown
from orvpy.cli.files import CommandError, check_readable

Row = dict[str, Union[float, int, str, None]]


def info_text(path: str, orv_file: io.OrvFile) -> str:
    """Return the header facts and one line per data set, text from the file escaped."""
    meta, graph, info = orv_file.meta, orv_file.graph, orv_file.data_info
    units = info.type_and_units

    def text(value: str) -> str:
        return shown(value) if value else "-"

    lines = [
        f"Data file {shown(path)}",
        f"  layout version {meta.file_version}, graph version {graph.gv_version}, x axis: {text(meta.x_type)}",
        f"  measured {text(info.date_and_time)}: {text(info.scan_summary)}",
        f"  quantity: {text(units.measurement_type)} in {text(units.units)}; reference: {text(info.reference_type)} "
        f"({text(info.reference_file)}); calibration: {text(info.data_calibration_file)}",
        f"  {len(orv_file.data_sets)} data sets:",
    ]
    for number, data_set in enumerate(orv_file.data_sets, 1):
        scan = data_set.data
        extent = f"{scan.min_wavelength():g}-{scan.max_wavelength():g}" if len(scan) else "no points"
        lines.append(f"    #{number} {shown(data_set.name):<32} {data_set.no_of_points:4d} points, {extent}")
    return "\n".join(lines) + "\n"


def axis_titles(orv_file: io.OrvFile) -> tuple[str, str]:
    """Return the x axis and the quantity with its units, as the file names them."""
    units = orv_file.data_info.type_and_units
    y = f"{units.measurement_type} / {units.units}" if units.units else units.measurement_type
    return orv_file.meta.x_type or orv_file.graph.x_axis_title or "x", y or orv_file.graph.y_axis_title or "y"


def safe_names(names: Sequence[str]) -> list[str]:
    """Return file names for data sets.

    Characters other than letters, digits, '.', '-' and '_' become '_', and repeated names get
    '-2', '-3', ... (compared without case, for case-blind file systems).
    """
    used: set[str] = set()
    result = []
    for name in names:
        base = re.sub(r"[^A-Za-z0-9._-]+", "_", name).strip("._") or "data_set"
        candidate, count = base, 1
        while candidate.lower() in used:
            count += 1
            candidate = f"{base}-{count}"
        used.add(candidate.lower())
        result.append(candidate)
    return result


def csv_texts(orv_file: io.OrvFile) -> list[tuple[str, str]]:
    """Return each data set's file name and CSV text.

    The text is a header line with the axis titles, which ``io.load_csv`` skips, then
    ``wavelength,value`` lines whose numbers read back to the same floats. A data set without
    points has its header as a comment: a file of a header alone is no data to ``io.load_csv``, a
    comment is an empty scan.
    """
    titles = [header_cell(title) for title in axis_titles(orv_file)]
    result = []
    for data_set, name in zip(orv_file.data_sets, safe_names([s.name for s in orv_file.data_sets])):
        out = _text.StringIO()
        if len(data_set.data) == 0:
            out.write("# ")
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(titles)
        writer.writerows((repr(w), repr(v)) for w, v in data_set.data.items())
        result.append((name + ".csv", out.getvalue()))
    return result


def wide_csv_text(orv_file: io.OrvFile) -> str:
    """Write the data sets as one CSV table: a wavelength column, then a column per data set.

    Parameters
    ----------
    orv_file : io.OrvFile
        The data file's records.

    Returns
    -------
    str
        A header line (the x axis title, then each data set's name, escaped as a spreadsheet
        cell), then a line per wavelength any data set holds, ascending: the wavelength and each
        data set's value there, empty where it has none. Numbers read back to the same floats;
        pandas reads the table with ``read_csv(path, index_col=0)``.
    """
    data_sets = orv_file.data_sets
    columns = [dict(data_set.data.items()) for data_set in data_sets]
    out = _text.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow([header_cell(axis_titles(orv_file)[0]), *(cell(shown(s.name)) for s in data_sets)])
    for w in sorted(set().union(*columns)):
        writer.writerow([repr(w), *(repr(column[w]) if w in column else "" for column in columns)])
    return out.getvalue()


def rating_rows(
    path: str, method: str = "integral", rules: Optional[lens.Rules] = None, use: Optional[str] = None
) -> list[Row]:
    """Return one row per data set of a file: the file, the data set and its flat rating.

    The rating is by the method ("integral" or "sum"); uncovered quantities are None, never 0.
    With ``rules``, the verdicts follow (``Assessment.as_dict``: ``verdict:<id>`` and
    ``use:<use>`` columns).

    Raises
    ------
    CommandError
        For a file that cannot be read or rated.
    """
    check_readable(path)
    try:
        ratings = lens.rate_file(path, require_coverage=False, method="sum" if method == "sum" else "integral")
    except (RuntimeError, ValueError) as error:
        # The message may begin with the path, which CommandError puts in front of it already.
        raise CommandError(path, str(error).removeprefix(f"{path}: ")) from error
    return [
        {
            "file": path,
            "data_set": name,
            **rating.as_dict(),
            **(lens.assess(rating, rules, use=use).as_dict() if rules is not None else {}),
        }
        for name, rating in ratings
    ]


def rows_as_csv(rows: Sequence[Row], escape: bool = False) -> str:
    """Return the rows as one CSV table of spreadsheet cells; with ``escape``, text shown as on a terminal."""
    out = _text.StringIO()
    fields = ["file", "data_set", *(f.name for f in lens.LensRating.__dataclass_fields__.values())]
    fields += [k for k in (rows[0] if rows else ()) if k not in fields]  # the verdicts, when asked for
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(cell(f) for f in fields)
    for row in rows:
        writer.writerow(cell(shown(row[k]) if escape and isinstance(row[k], str) else row[k]) for k in fields)
    return out.getvalue()


def rows_as_json(rows: Sequence[Row]) -> str:
    """Return the rows as a JSON list.

    NaN (a quantity undefined for the lens), which JSON cannot hold, becomes null, as pandas
    writes it.
    """
    clean = [{k: None if isinstance(v, float) and not math.isfinite(v) else v for k, v in row.items()} for row in rows]
    return json.dumps(clean, indent=2, allow_nan=False) + "\n"


def rows_as_table(rows: Sequence[Row]) -> str:
    """Return the rows as a table to read.

    The data sets numbered #1, #2, ... under their file and name, then one column per data set
    and one line per quantity: transmittances in percent, "not measured" where a scan does not
    cover a quantity's band; then each data set's warnings. Text from files is escaped.
    """
    if not rows:
        return ""
    lines = [f"#{i} {shown(row['file'])}: {shown(row['data_set'])}" for i, row in enumerate(rows, 1)]
    width = 22 if any(k.startswith("verdict:") for k in rows[0]) else 14  # "fail (at the limit)"
    lines.append(f"{'':<40}" + "".join(f"{'#%d' % i:>{width}}" for i in range(1, len(rows) + 1)))
    for field in list(rows[0])[2:]:
        if field == "warnings":
            continue
        cells = []
        for row in rows:
            value = row[field]
            if value is None:
                cells.append("-" if field == "category" else "not measured")
            elif "_tau_" in field:
                cells.append(f"{100 * float(value):.2f} %")
            elif isinstance(value, float):
                cells.append(f"{value:.4f}")
            else:
                cells.append(str(value))
        lines.append(f"{field:<40}" + "".join(f"{cell:>{width}}" for cell in cells))
    lines += [f"#{i}: {shown(row['warnings'])}" for i, row in enumerate(rows, 1) if row["warnings"]]
    return "\n".join(lines) + "\n"
