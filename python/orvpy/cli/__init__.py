"""The ``orv`` command: inspect, convert, rate, assess and plot instrument data files.

It handles one data file or thousands, and writes lens test reports.

Exit status: 0 on success; 1 when a file could not be read, parsed or converted (one line on
stderr per file: the path and the reason); 2 for bad usage or a missing optional dependency;
130 when interrupted (143 terminated, 129 hung up), after every worker has stopped and every
temporary file is removed.
"""

from __future__ import annotations

import argparse
import importlib
import io as io_text
import os
import re
import signal
import sys
import time
from collections.abc import Sequence
from typing import Any, NoReturn

from _orvpy_core import io

from orvpy.cli import batch, export, files, lenses, pool
from orvpy.cli.escaping import shown

EXAMPLES = {
    "info": "  orv info lenses.orv",
    "json": "  orv json lenses.orv              # to stdout, indented by 2\n"
    "  orv json lenses.orv -o lenses.json --indent -1 --ascii",
    "csv": "  orv csv lenses.orv -o lenses/    # lenses/<data set>.csv, one per data set\n"
    "  orv csv lenses.orv --wide -o lenses.csv   # one table: wavelength, then a column per data set",
    "rate": "  orv rate lenses.orv\n"
    "  orv rate day1/*.orv --format csv > ratings.csv\n"
    "  orv rate lens.orv --method sum     # the standards' 5 nm sums\n"
    "  orv rate day1/*.orv --use road     # with verdicts (--rules FILE: a lab's own requirements)",
    "plot": "  orv plot lenses.orv -o lenses.png --rating\n"
    "  orv plot lenses.orv -o lenses.svg --scale od --size 10x6",
    "report": "  orv report measurements/ -o report.html\n" "  orv report day1/*.orv -o day1.html --use road --pdf",
    "batch": "  orv batch measurements/ --to json --out converted/\n"
    "  orv batch 'day*/**/*.orv' --to rate --out report/ --jobs 8\n"
    "  orv batch measurements/ --to csv --out csv/ --scheduler tcp://10.0.0.5:8786\n"
    "  orv batch measurements/ --to rate --out report/ --rules lab-rules.toml",
}


# The options that shape each kind of batch output: recorded with the output, so that a rerun
# with another value converts again.
# How the lens ratings are worked out (orv rate, orv batch --to rate).
METHOD_OPTION: dict[str, Any] = dict(
    choices=("integral", "sum"),
    default="integral",
    help="ratings: the integral of each lens's curve (default), or the standards' sums at the weighting tables' "
    "5 nm wavelengths",
)
SHAPING: dict[str, tuple[str, ...]] = {"json": ("indent",), "csv": (), "rate": ("method",)}
# More workers than this only contend for the cores and the disk, and each costs memory.
MAX_JOBS = 256
SCHEDULER_HELP = (
    "run on a Dask cluster: 'local' for one on this machine, or tcp://HOST:PORT; a scheduler that "
    "does not answer within Dask's connect timeout (30 s; the environment variable "
    "DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT sets another) ends the batch, status 1"
)


class MissingDependency(Exception):
    """An optional package a command needs is not installed: exit status 2."""


def optional(module: str, debian_package: str) -> Any:
    """Import an optional module.

    Parameters
    ----------
    module : str
        The module's name.
    debian_package : str
        The Debian package that provides it, named in the error.

    Returns
    -------
    module
        The module.

    Raises
    ------
    MissingDependency
        Naming the Debian package, when the module is absent or cannot be imported.
    """
    try:
        return importlib.import_module(module)
    except Exception as error:  # absent, or present but built for another Python
        problem = "lacks" if isinstance(error, ImportError) else f"cannot import ({type(error).__name__}: {error})"
        raise MissingDependency(
            f"needs {module}, which this Python ({sys.version.split()[0]}) {problem}; on Debian or Ubuntu it comes "
            f"with the package {debian_package}, for the system python3"
        ) from error


def _indent(text: str) -> int:
    value = int(text)
    if value > 64:
        raise argparse.ArgumentTypeError("at most 64 spaces (negative for one line)")
    return value


def _jobs(text: str) -> int:
    value = int(text)
    if not 1 <= value <= MAX_JOBS:
        raise argparse.ArgumentTypeError(f"from 1 to {MAX_JOBS}, not {value}")
    return value


def _scheduler(text: str) -> str:
    match = re.fullmatch(r"(?:(?:tcp|tls)://)?(?:\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9_.-]+):([0-9]{1,5})", text)
    if text != "local" and (match is None or not 0 < int(match.group(1)) < 65536):
        raise argparse.ArgumentTypeError(f"{text!r} is not 'local' or an address such as tcp://10.0.0.5:8786")
    return text


class _Parser(argparse.ArgumentParser):
    """Usage errors in one line, as every other failure of the command."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


class Interrupted(KeyboardInterrupt):
    """SIGTERM or SIGHUP, ending the command as Ctrl-C does."""

    def __init__(self, signum: int) -> None:
        super().__init__()
        self.signum = signum


def _interrupt(signum: int, frame: Any) -> None:
    raise Interrupted(signum)


def run_info(args: argparse.Namespace) -> int:
    """Print a data file's header facts and its data sets (``orv info``).

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``file``.

    Returns
    -------
    int
        The exit status, 0.

    Raises
    ------
    CommandError
        When the file cannot be read or parsed.
    """
    sys.stdout.write(export.info_text(args.file, files.load(args.file)))
    return 0


def run_json(args: argparse.Namespace) -> int:
    """Convert a data file to JSON text, on stdout or in a file (``orv json``).

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``file``, ``output``, ``indent``, ``ascii``.

    Returns
    -------
    int
        The exit status, 0.

    Raises
    ------
    CommandError
        When the file cannot be read or converted, or the output would replace it or cannot be
        written.
    """
    files.check_readable(args.file)
    try:
        text = io.orvfile_to_json(args.file, args.indent, args.ascii)
    except (RuntimeError, ValueError) as error:
        raise files.CommandError(args.file, str(error)) from error
    if args.output:
        files.refuse_overwriting(args.file, args.output)
        with files.output_file(args.output) as f:
            f.write(text + "\n")
    else:
        sys.stdout.write(text + "\n")
    return 0


def run_csv(args: argparse.Namespace) -> int:
    """Write one two-column CSV file per data set into a folder, or one wide table (``orv csv``).

    Every output path is checked before any is written.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``file``, ``output`` (the folder; with ``wide``, the table's
        file, stdout when absent) and ``wide``.

    Returns
    -------
    int
        The exit status, 0.

    Raises
    ------
    CommandError
        When the file cannot be read, an output would replace it, or an output cannot be
        written.
    """
    if args.wide:
        text = export.wide_csv_text(files.load(args.file))
        if args.output is None:
            sys.stdout.write(text)
            return 0
        files.refuse_overwriting(args.file, args.output)
        with files.output_file(args.output) as f:
            f.write(text)
        return 0
    texts = export.csv_texts(files.load(args.file))
    paths = [os.path.join(args.output or ".", name) for name, _ in texts]
    for path in paths:  # all checked before any is written
        files.refuse_overwriting(args.file, path)
    for path, (_, text) in zip(paths, texts):
        with files.output_file(path) as f:
            f.write(text)
    return 0


def run_rate(args: argparse.Namespace) -> int:
    """Rate every data set of the files, with verdicts when rules are asked for (``orv rate``).

    A file that fails is reported on stderr and the others are still rated.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``files``, ``format``, ``method``, ``rules``, ``use``.

    Returns
    -------
    int
        The exit status: 1 when a file failed, else 0.

    Raises
    ------
    CommandError
        When the rules file cannot be read or used, or names no such use.
    """
    rows: list[export.Row] = []
    failed = False
    verdicts = lenses.rules(args)
    for path in args.files:
        try:
            rows += export.rating_rows(path, args.method, verdicts, args.use)
        except files.CommandError as error:
            print(f"orv rate: {shown(error)}", file=sys.stderr)
            failed = True
    if args.format == "csv":
        sys.stdout.write(export.rows_as_csv(rows, escape=sys.stdout.isatty()))
    else:
        sys.stdout.write(export.rows_as_table(rows) if args.format == "table" else export.rows_as_json(rows))
    return 1 if failed else 0


def run_batch(args: argparse.Namespace) -> int:
    """Convert many data files in parallel (``orv batch``), then print a summary line on stderr.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``inputs``, ``to``, ``out``, ``jobs``, ``scheduler``, ``indent``,
        ``method``, ``rules``, ``use``, ``force``, ``quiet``.

    Returns
    -------
    int
        The exit status: 1 when an input failed or a table could not be written, else 0.

    Raises
    ------
    MissingDependency
        When the progress bar or ``--scheduler`` needs a package that is not installed.
    CommandError
        When the output folder cannot be made, or the rules cannot be read or used.
    OSError
        When the Dask scheduler cannot be reached.
    """
    show_bar = sys.stderr.isatty() and not args.quiet
    tqdm = optional("tqdm", "python3-tqdm").tqdm if show_bar else None
    distributed = optional("distributed", "python3-distributed") if args.scheduler else None
    start = time.monotonic()
    inputs, problems = batch.find_inputs(args.inputs)
    options = {name: getattr(args, name) for name in SHAPING[args.to]}
    options.update(lenses.rules_options(args) if args.to == "rate" else {})
    tasks = batch.plan(inputs, args.to, args.out, args.force, options)
    try:
        os.makedirs(args.out, exist_ok=True)
    except OSError as error:
        raise files.CommandError(args.out, files.reason(error)) from error
    batch.sweep(tasks, args.out)
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
    table_error = None
    try:
        batch.write_tables(tasks, outcomes, problems, args.out)
    except files.CommandError as error:
        table_error = error
    counts = {status: sum(o.status == status for o in outcomes) for status in ("done", "skipped", "failed")}
    failures = counts["failed"] + len(problems)
    summary = (
        f"orv batch: {len(tasks)} files, {counts['done']} converted, {counts['skipped']} up to date, "
        f"{failures} failed"
    )
    if failures:
        summary += f" (listed in {os.path.join(args.out, batch.ERRORS_TABLE)})"
    if args.to == "rate" and tasks:
        summary += f"; ratings in {os.path.join(args.out, batch.RATINGS_TABLE)}"
    print(shown(f"{summary}; {time.monotonic() - start:.1f} s"), file=sys.stderr)
    if table_error is not None:
        print(f"orv batch: {shown(table_error)}", file=sys.stderr)
    return 1 if failures or table_error else 0


def build_parser() -> argparse.ArgumentParser:
    """Return the parser of the ``orv`` command line, one subcommand per command.

    Returns
    -------
    argparse.ArgumentParser
        Each subcommand's namespace holds ``run``, the function that carries it out.
    """
    from orvpy import __version__

    parser = _Parser(
        prog="orv",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Inspect, convert, rate, assess and plot instrument data files (.orv); write lens test " "reports.",
        epilog="examples:\n" + "\n".join(EXAMPLES.values()) + "\n\nexit status: 0 success, 1 a file failed, "
        "2 bad usage or a missing optional package, 130 interrupted",
    )
    parser.add_argument("--version", action="version", version=f"orv {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def command(name: str, help_text: str) -> argparse.ArgumentParser:
        sub = commands.add_parser(
            name,
            help=help_text,
            description=help_text,
            formatter_class=argparse.RawDescriptionHelpFormatter,
            epilog="examples:\n" + EXAMPLES[name],
        )
        return sub

    sub = command("info", "Print a data file's header facts and its data sets.")
    sub.add_argument("file", metavar="FILE")
    sub.set_defaults(run=run_info)

    sub = command("json", "Convert a data file to JSON text.")
    sub.add_argument("file", metavar="FILE")
    sub.add_argument("-o", "--output", metavar="OUT", help="write to OUT instead of stdout")
    sub.add_argument(
        "--indent",
        type=_indent,
        default=2,
        metavar="N",
        help="spaces per level, at most 64; negative for one line (default 2)",
    )
    sub.add_argument("--ascii", action="store_true", help="escape every non-ASCII character")
    sub.set_defaults(run=run_json)

    sub = command("csv", "Write one two-column CSV file (wavelength, value) per data set, or one table of them all.")
    sub.add_argument("file", metavar="FILE")
    sub.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        help="folder for the files (default: here); with --wide, the table's file (default: stdout)",
    )
    sub.add_argument(
        "--wide",
        action="store_true",
        help="one table: a wavelength column, then a column per data set, empty where it has no point",
    )
    sub.set_defaults(run=run_csv)

    sub = command("rate", "Rate the lens of every data set by ISO 8980-3, ANSI Z80.3, AS/NZS 1067.2 and ISO 12311.")
    sub.add_argument("files", nargs="+", metavar="FILE")
    sub.add_argument(
        "--format",
        choices=("table", "csv", "json"),
        default="table",
        help="a table to read (default), or CSV or JSON with one row per data set; a quantity "
        "whose band the scan does not cover is 'not measured', empty or null",
    )
    sub.add_argument("--method", **METHOD_OPTION)
    lenses.add_rules_options(sub, "verdicts")
    sub.set_defaults(run=run_rate)

    sub = command("plot", "Plot every data set's spectrum: PNG, SVG or PDF by the output's extension.")
    lenses.add_plot_arguments(sub)
    sub.set_defaults(run=lenses.run_plot)

    sub = command(
        "report", "Write a lens test report: one self-contained HTML file, a section per lens, verdicts " "per use."
    )
    lenses.add_report_arguments(sub, METHOD_OPTION)
    sub.set_defaults(run=lenses.run_report)

    sub = command(
        "batch",
        "Convert many data files in parallel: JSON, CSV folders or one ratings table.\n\n"
        "An output is made again only when its input's content or the options that shape it "
        "changed.\nOnly outputs orv batch made are ever replaced: anything else in their place "
        "is listed\nin errors.csv and left alone. Ctrl-C stops every worker and leaves no "
        "partial file.",
    )
    sub.add_argument("inputs", nargs="+", metavar="INPUT", help="files, folders (searched for .orv) or globs")
    sub.add_argument("--to", choices=tuple(batch.SUFFIXES), required=True, help="what to make of each file")
    sub.add_argument("--out", required=True, metavar="DIR", help="output folder, mirroring the inputs' folders")
    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count() or 1
    sub.add_argument(
        "--jobs",
        type=_jobs,
        default=min(cores, MAX_JOBS),
        metavar="N",
        help=f"worker processes, 1 to {MAX_JOBS}, and never more than the files (default: the "
        f"cores, {min(cores, MAX_JOBS)} here)",
    )
    sub.add_argument("--scheduler", type=_scheduler, metavar="ADDRESS", help=SCHEDULER_HELP)
    sub.add_argument(
        "--indent",
        type=_indent,
        default=-1,
        metavar="N",
        help="JSON: spaces per level, at most 64 (default: one line, about half the size of " "indented text)",
    )
    sub.add_argument("--method", **METHOD_OPTION)
    lenses.add_rules_options(sub, "--to rate")
    sub.add_argument(
        "--force",
        action="store_true",
        help="convert again files whose output is up to date (made by orv batch from the same "
        "content with the same options)",
    )
    sub.add_argument("-q", "--quiet", action="store_true", help="no progress bar, only the summary line")
    sub.set_defaults(run=run_batch)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line.

    Parameters
    ----------
    argv : sequence of str, optional
        The arguments, without the program's name; by default ``sys.argv[1:]``.

    Returns
    -------
    int
        The exit status (see the module's docstring).
    """
    args = build_parser().parse_args(argv)
    # Names the file system holds in another encoding than UTF-8 are written back as their bytes.
    if isinstance(sys.stdout, io_text.TextIOWrapper):
        sys.stdout.reconfigure(errors="surrogateescape")
    handlers = {signum: signal.signal(signum, _interrupt) for signum in pool.STOPPING if signum != signal.SIGINT}
    try:
        status: int = args.run(args)
        return status
    except files.CommandError as error:
        print(f"orv {args.command}: {shown(error)}", file=sys.stderr)
        return 1
    except MissingDependency as error:
        print(f"orv {args.command}: {error}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        # The reader went away (orv json FILE | head): no traceback, and no second error at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except OSError as error:  # a scheduler that cannot be reached
        print(f"orv {args.command}: {shown(error)}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as error:
        return 128 + getattr(error, "signum", signal.SIGINT)
    finally:
        for signum, handler in handlers.items():
            signal.signal(signum, handler)
