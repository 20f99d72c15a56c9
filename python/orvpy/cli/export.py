"""What the ``orv`` commands make of one data file: the facts text, JSON, per-data-set CSV files and
rating tables, each written atomically."""

from __future__ import annotations

import csv
import glob
import io as _text
import json
import math
import os
import re
import secrets
import shutil
from collections.abc import Iterator, Sequence
from contextlib import contextmanager, suppress
from typing import IO, Any, Union

from _orvpy_core import io

from orvpy import lens

Row = dict[str, Union[float, int, str, None]]


class CommandError(Exception):
    """A failure to report as one line, ``path: message``, with exit status 1."""

    def __init__(self, path: str, message: str) -> None:
        super().__init__(f"{path}: {message}")
        self.path = path
        self.message = message


def check_readable(path: str) -> None:
    """CommandError with the system's reason when a file cannot be opened for reading."""
    try:
        with open(path, "rb"):
            pass
    except OSError as error:
        raise CommandError(path, error.strerror or str(error)) from error


def refuse_overwriting(source: str, output: str) -> None:
    """CommandError when writing ``output`` would replace the input file ``source``."""
    try:
        same = os.path.samefile(source, output)
    except OSError:  # no output yet, or no input (which the conversion reports)
        return
    if same:
        raise CommandError(output, "is the input file; the output would replace it")


def load(path: str) -> io.OrvFile:
    """The data file's records; CommandError for a file that cannot be opened or parsed."""
    check_readable(path)
    try:
        return io.load_orvfile(path)
    except (RuntimeError, ValueError) as error:
        raise CommandError(path, str(error)) from error


def _sibling(path: str, suffix: str) -> str:
    """An unused hidden name beside ``path`` for its version in progress."""
    folder, name = os.path.split(os.path.abspath(path))
    return os.path.join(folder, f".{name}.{os.getpid()}.{secrets.token_hex(4)}{suffix}")


def remove_orphans(path: str) -> None:
    """Removes the versions of ``path`` in progress left by processes that no longer run (a worker
    killed in the middle of a write)."""
    folder, name = os.path.split(os.path.abspath(path))
    for orphan in glob.glob(os.path.join(glob.escape(folder), f".{glob.escape(name)}.*.*.part")):
        pid = os.path.basename(orphan)[len(name) + 2:].split(".")[0]
        if not pid.isdigit() or _running(int(pid)):
            continue
        if os.path.isdir(orphan):
            shutil.rmtree(orphan, ignore_errors=True)
        else:
            with suppress(FileNotFoundError):
                os.unlink(orphan)


def _running(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:  # another user's process
        return True
    return True


@contextmanager
def atomic_file(path: str, binary: bool = False) -> Iterator[IO[Any]]:
    """A file written under a temporary name beside ``path`` and renamed to it when complete, so
    that an interrupted run never leaves a truncated file. Permissions follow the umask, as for
    any new file."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    temporary = _sibling(path, ".part")
    handle = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        if binary:
            with os.fdopen(handle, "wb") as raw:
                yield raw
        else:
            with os.fdopen(handle, "w", encoding="utf-8", newline="") as text:
                yield text
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


@contextmanager
def atomic_folder(path: str) -> Iterator[str]:
    """A folder filled under a temporary name and then put in place of ``path`` (the previous one
    is moved aside and removed only after the new one is in place)."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    temporary = _sibling(path, ".part")
    os.mkdir(temporary)
    try:
        yield temporary
        if os.path.exists(path):
            previous = _sibling(path, ".old")
            os.replace(path, previous)
            os.replace(temporary, path)
            shutil.rmtree(previous)
        else:
            os.replace(temporary, path)
    except BaseException:
        shutil.rmtree(temporary, ignore_errors=True)
        raise


def info_text(path: str, orv_file: io.OrvFile) -> str:
    """The header facts and one line per data set."""
    meta, graph, info = orv_file.meta, orv_file.graph, orv_file.data_info
    units = info.type_and_units
    lines = [
        f"Data file {path}",
        f"  layout version {meta.file_version}, graph version {graph.gv_version}, x axis: {meta.x_type or '-'}",
        f"  measured {info.date_and_time or '-'}: {info.scan_summary or '-'}",
        f"  quantity: {units.measurement_type or '-'} in {units.units or '-'}; reference: {info.reference_type or '-'} "
        f"({info.reference_file or '-'}); calibration: {info.data_calibration_file or '-'}",
        f"  {len(orv_file.data_sets)} data sets:",
    ]
    for number, data_set in enumerate(orv_file.data_sets, 1):
        scan = data_set.data
        extent = f"{scan.min_wavelength():g}-{scan.max_wavelength():g}" if len(scan) else "no points"
        lines.append(f"    #{number} {data_set.name:<32} {data_set.no_of_points:4d} points, {extent}")
    return "\n".join(lines) + "\n"


def axis_titles(orv_file: io.OrvFile) -> tuple[str, str]:
    """The x axis and the quantity with its units, as the file names them."""
    units = orv_file.data_info.type_and_units
    y = f"{units.measurement_type} / {units.units}" if units.units else units.measurement_type
    return orv_file.meta.x_type or orv_file.graph.x_axis_title or "x", y or orv_file.graph.y_axis_title or "y"


def safe_names(names: Sequence[str]) -> list[str]:
    """File names for data sets: characters other than letters, digits, '.', '-' and '_' become
    '_', and repeated names get '-2', '-3', ... (compared without case, for case-blind file
    systems)."""
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


def write_csv_files(orv_file: io.OrvFile, folder: str) -> list[str]:
    """One CSV file per data set in ``folder``: a header line with the axis titles, then
    ``wavelength,value`` lines whose numbers read back to the same floats."""
    x_title, y_title = axis_titles(orv_file)
    paths = []
    for data_set, name in zip(orv_file.data_sets, safe_names([s.name for s in orv_file.data_sets])):
        path = os.path.join(folder, name + ".csv")
        with atomic_file(path) as f:
            writer = csv.writer(f, lineterminator="\n")
            writer.writerow([x_title, y_title])
            writer.writerows((repr(w), repr(v)) for w, v in data_set.data.items())
        paths.append(path)
    return paths


def rating_rows(path: str) -> list[Row]:
    """One row per data set of a file: the file, the data set and its flat rating; uncovered
    quantities are None, never 0."""
    check_readable(path)
    try:
        ratings = lens.rate_file(path, require_coverage=False)
    except (RuntimeError, ValueError) as error:
        raise CommandError(path, str(error)) from error
    return [{"file": path, "data_set": name, **rating.as_dict()} for name, rating in ratings]


def rows_as_csv(rows: Sequence[Row]) -> str:
    """The rows as one CSV table; None as an empty field."""
    out = _text.StringIO()
    fields = ["file", "data_set", *(f.name for f in lens.LensRating.__dataclass_fields__.values())]
    writer = csv.DictWriter(out, fields, lineterminator="\n")
    writer.writeheader()
    for row in rows:
        writer.writerow({k: "" if v is None else repr(v) if isinstance(v, float) else v for k, v in row.items()})
    return out.getvalue()


def rows_as_json(rows: Sequence[Row]) -> str:
    """The rows as a JSON list; NaN (a quantity undefined for the lens), which JSON cannot hold,
    becomes null, as pandas writes it."""
    clean = [{k: None if isinstance(v, float) and not math.isfinite(v) else v for k, v in row.items()} for row in rows]
    return json.dumps(clean, indent=2, allow_nan=False) + "\n"


def rows_as_table(rows: Sequence[Row]) -> str:
    """The data sets numbered #1, #2, ... under their file and name, then one column per data set
    and one line per quantity: transmittances in percent, "not measured" where a scan does not
    cover a quantity's band; then each data set's warnings."""
    if not rows:
        return ""
    lines = [f"#{i} {row['file']}: {row['data_set']}" for i, row in enumerate(rows, 1)]
    width = 14
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
    lines += [f"#{i}: {row['warnings']}" for i, row in enumerate(rows, 1) if row["warnings"]]
    return "\n".join(lines) + "\n"
