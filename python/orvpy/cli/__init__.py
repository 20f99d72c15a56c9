"""The ``orv`` command: inspect, convert, rate and plot instrument data files, one or thousands.

Exit status: 0 on success; 1 when a file could not be read, parsed or converted (one line on
stderr per file: the path and the reason); 2 for bad usage or a missing optional dependency.
"""

from __future__ import annotations

import argparse
import importlib
import os
import sys
import time
from collections.abc import Sequence
from typing import Any

from _orvpy_core import io

from orvpy.cli import batch, export

EXAMPLES = {
    "info": "  orv info lenses.orv",
    "json": "  orv json lenses.orv              # to stdout, indented by 2\n"
            "  orv json lenses.orv -o lenses.json --indent -1 --ascii",
    "csv": "  orv csv lenses.orv -o lenses/    # lenses/<data set>.csv, one per data set",
    "rate": "  orv rate lenses.orv\n"
            "  orv rate day1/*.orv --format csv > ratings.csv",
    "plot": "  orv plot lenses.orv -o lenses.png --rating",
    "batch": "  orv batch measurements/ --to json --out converted/\n"
             "  orv batch 'day*/**/*.orv' --to rate --out report/ --jobs 8\n"
             "  orv batch measurements/ --to csv --out csv/ --scheduler tcp://10.0.0.5:8786",
}


class MissingDependency(Exception):
    """An optional package a command needs is not installed: exit status 2."""


def optional(module: str, debian_package: str) -> Any:
    """The module, or MissingDependency naming the Debian package that provides it."""
    try:
        return importlib.import_module(module)
    except Exception as error:  # absent, or present but built for another Python
        problem = "lacks" if isinstance(error, ImportError) else f"cannot import ({type(error).__name__}: {error})"
        raise MissingDependency(
            f"needs {module}, which this Python ({sys.version.split()[0]}) {problem}; on Debian or Ubuntu it comes "
            f"with the package {debian_package}, for the system python3") from error


def _indent(text: str) -> int:
    value = int(text)
    if value > 64:
        raise argparse.ArgumentTypeError("at most 64 spaces (negative for one line)")
    return value


def _jobs(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("at least 1")
    return value


def run_info(args: argparse.Namespace) -> int:
    sys.stdout.write(export.info_text(args.file, export.load(args.file)))
    return 0


def run_json(args: argparse.Namespace) -> int:
    export.check_readable(args.file)
    try:
        text = io.orvfile_to_json(args.file, args.indent, args.ascii)
    except (RuntimeError, ValueError) as error:
        raise export.CommandError(args.file, str(error)) from error
    if args.output:
        export.refuse_overwriting(args.file, args.output)
        with export.atomic_file(args.output) as f:
            f.write(text + "\n")
    else:
        sys.stdout.write(text + "\n")
    return 0


def run_csv(args: argparse.Namespace) -> int:
    export.write_csv_files(export.load(args.file), args.output)
    return 0


def run_rate(args: argparse.Namespace) -> int:
    rows: list[export.Row] = []
    failed = False
    for path in args.files:
        try:
            rows += export.rating_rows(path)
        except export.CommandError as error:
            print(f"orv rate: {error}", file=sys.stderr)
            failed = True
    form = {"table": export.rows_as_table, "csv": export.rows_as_csv, "json": export.rows_as_json}[args.format]
    sys.stdout.write(form(rows))
    return 1 if failed else 0


def run_plot(args: argparse.Namespace) -> int:
    matplotlib = optional("matplotlib", "python3-matplotlib")
    matplotlib.use("Agg")
    pyplot = importlib.import_module("matplotlib.pyplot")
    orv_file = export.load(args.file)
    labels = [s.name for s in orv_file.data_sets]
    if args.rating:
        rows = export.rating_rows(args.file)
        labels = [f"{row['data_set']}: category {'-' if row['category'] is None else row['category']}, "
                  + ("τv not measured" if row["ISO8980_3_tau_v"] is None
                     else f"τv {100 * float(row['ISO8980_3_tau_v']):.1f} %") for row in rows]
    x_title, y_title = export.axis_titles(orv_file)
    figure, axes = pyplot.subplots(figsize=(8, 5), dpi=100)
    for data_set, label in zip(orv_file.data_sets, labels):
        axes.plot(data_set.data.wavelengths(), data_set.data.values(), label=label)
    axes.set_xlabel(x_title)
    axes.set_ylabel(y_title)
    axes.set_title(os.path.basename(args.file))
    axes.grid(True, alpha=0.3)
    if labels:
        axes.legend()
    output = args.output or os.path.splitext(os.path.basename(args.file))[0] + ".png"
    export.refuse_overwriting(args.file, output)
    try:
        with export.atomic_file(output, binary=True) as f:
            figure.savefig(f, format="png")
    finally:
        pyplot.close(figure)
    return 0


def run_batch(args: argparse.Namespace) -> int:
    show_bar = sys.stderr.isatty() and not args.quiet
    tqdm = optional("tqdm", "python3-tqdm").tqdm if show_bar else None
    distributed = optional("distributed", "python3-distributed") if args.scheduler else None
    start = time.monotonic()
    files, unmatched = batch.find_inputs(args.inputs)
    tasks = batch.plan(files, args.to, args.out, args.force, args.indent)
    os.makedirs(args.out, exist_ok=True)
    bars: list[Any] = []

    def progress(count: int) -> None:
        # The bar starts with the first result, once the workers run, and without its monitoring
        # thread: workers that replace a dead one fork from this process later.
        if tqdm is not None:
            if not bars:
                tqdm.monitor_interval = 0
                bars.append(tqdm(total=len(tasks), unit="file", file=sys.stderr))
            bars[0].update(count)

    try:
        if distributed is not None:
            outcomes = batch.run_dask(tasks, args.jobs, args.scheduler, progress, distributed)
        else:
            outcomes = batch.run_local(tasks, args.jobs, progress)
    finally:
        for bar in bars:
            bar.close()
    batch.write_tables(tasks, outcomes, unmatched, args.out)
    counts = {status: sum(o.status == status for o in outcomes) for status in ("done", "skipped", "failed")}
    failures = counts["failed"] + len(unmatched)
    summary = (f"orv batch: {len(tasks)} files, {counts['done']} converted, {counts['skipped']} up to date, "
               f"{failures} failed")
    if failures:
        summary += f" (listed in {os.path.join(args.out, batch.ERRORS_TABLE)})"
    if args.to == "rate" and tasks:
        summary += f"; ratings in {os.path.join(args.out, batch.RATINGS_TABLE)}"
    print(f"{summary}; {time.monotonic() - start:.1f} s", file=sys.stderr)
    return 1 if failures else 0


def build_parser() -> argparse.ArgumentParser:
    from orvpy import __version__

    parser = argparse.ArgumentParser(
        prog="orv", formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Inspect, convert, rate and plot instrument data files (.orv).",
        epilog="examples:\n" + "\n".join(EXAMPLES.values()) + "\n\nexit status: 0 success, 1 a file failed, "
               "2 bad usage or a missing optional package")
    parser.add_argument("--version", action="version", version=f"orv {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def command(name: str, help_text: str) -> argparse.ArgumentParser:
        sub = commands.add_parser(name, help=help_text, description=help_text,
                                  formatter_class=argparse.RawDescriptionHelpFormatter,
                                  epilog="examples:\n" + EXAMPLES[name])
        return sub

    sub = command("info", "Print a data file's header facts and its data sets.")
    sub.add_argument("file", metavar="FILE")
    sub.set_defaults(run=run_info)

    sub = command("json", "Convert a data file to JSON text.")
    sub.add_argument("file", metavar="FILE")
    sub.add_argument("-o", "--output", metavar="OUT", help="write to OUT instead of stdout")
    sub.add_argument("--indent", type=_indent, default=2, metavar="N",
                     help="spaces per level, at most 64; negative for one line (default 2)")
    sub.add_argument("--ascii", action="store_true", help="escape every non-ASCII character")
    sub.set_defaults(run=run_json)

    sub = command("csv", "Write one two-column CSV file (wavelength, value) per data set.")
    sub.add_argument("file", metavar="FILE")
    sub.add_argument("-o", "--output", metavar="DIR", default=".", help="folder for the files (default: here)")
    sub.set_defaults(run=run_csv)

    sub = command("rate", "Rate the lens of every data set by ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311.")
    sub.add_argument("files", nargs="+", metavar="FILE")
    sub.add_argument("--format", choices=("table", "csv", "json"), default="table",
                     help="a table to read (default), or CSV or JSON with one row per data set; a quantity "
                          "whose band the scan does not cover is 'not measured', empty or null")
    sub.set_defaults(run=run_rate)

    sub = command("plot", "Plot every data set's spectrum to a PNG image (800 x 500 pixels).")
    sub.add_argument("file", metavar="FILE")
    sub.add_argument("-o", "--output", metavar="OUT.png", help="the image (default: FILE's name with .png, here)")
    sub.add_argument("--rating", action="store_true", help="add each lens's category and luminous transmittance")
    sub.set_defaults(run=run_plot)

    sub = command("batch", "Convert many data files in parallel: JSON, CSV folders or one ratings table.")
    sub.add_argument("inputs", nargs="+", metavar="INPUT", help="files, folders (searched for .orv) or globs")
    sub.add_argument("--to", choices=tuple(batch.SUFFIXES), required=True, help="what to make of each file")
    sub.add_argument("--out", required=True, metavar="DIR", help="output folder, mirroring the inputs' folders")
    sub.add_argument("--jobs", type=_jobs, default=len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity")
                     else os.cpu_count() or 1, metavar="N", help="worker processes (default: the cores)")
    sub.add_argument("--scheduler", metavar="ADDRESS",
                     help="run on a Dask cluster: 'local' for one on this machine, or tcp://HOST:PORT")
    sub.add_argument("--indent", type=_indent, default=-1, metavar="N",
                     help="JSON: spaces per level, at most 64 (default: one line, about half the size of "
                          "indented text)")
    sub.add_argument("--force", action="store_true",
                     help="convert files whose output is newer than them too (as after a change of --indent)")
    sub.add_argument("-q", "--quiet", action="store_true", help="no progress bar, only the summary line")
    sub.set_defaults(run=run_batch)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line; returns the exit status."""
    args = build_parser().parse_args(argv)
    try:
        status: int = args.run(args)
        return status
    except export.CommandError as error:
        print(f"orv {args.command}: {error}", file=sys.stderr)
        return 1
    except MissingDependency as error:
        print(f"orv {args.command}: {error}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        # The reader went away (orv json FILE | head): no traceback, and no second error at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except OSError as error:  # an output that cannot be written, a scheduler that cannot be reached
        print(f"orv {args.command}: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
