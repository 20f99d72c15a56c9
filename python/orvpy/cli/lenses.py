"""``orv plot`` and ``orv report``, and the ``--rules``/``--use`` options of ``orv rate`` and ``orv batch``.

Thin layers over ``orvpy.plot``, ``orvpy.report`` and ``orvpy.verdicts``; the options serve ``orv
rate`` and ``orv batch --to rate``.
"""

from __future__ import annotations

import argparse
import os
import re
import stat
import subprocess
import sys
from typing import Any, Optional

from orvpy import lens, plot, report
from orvpy.cli import files
from orvpy.cli.escaping import shown
from orvpy.cli.files import CommandError
from orvpy.verdicts import DEFAULT_RULES, Rules


def add_rules_options(sub: argparse.ArgumentParser, what: str) -> None:
    """Add the ``--rules`` and ``--use`` options to a subcommand.

    Parameters
    ----------
    sub : argparse.ArgumentParser
        The subcommand's parser.
    what : str
        What the options serve, at the start of their help ("verdicts", "--to rate").
    """
    sub.add_argument(
        "--rules",
        metavar="FILE",
        help=f"{what}: check each lens against the requirements of FILE "
        "(TOML; default: the bundled ISO 12312-1 file, see the README)",
    )
    sub.add_argument(
        "--use",
        metavar="USE",
        help=f"{what}: only the requirements of one intended use of the rules "
        "(general, road or twilight in the bundled file)",
    )


def rules(args: argparse.Namespace) -> Optional[Rules]:
    """Return the rules asked for with --rules or --use (None when neither is given).

    Raises
    ------
    CommandError
        For a file that cannot be read or used, or a use it does not name.
    """
    if args.rules is None and args.use is None:
        return None
    path = args.rules or str(DEFAULT_RULES)
    try:
        loaded = lens.load_rules(path)
        if args.use is not None:
            loaded.use_name(args.use)
    except OSError as error:
        raise CommandError(path, files.reason(error)) from error
    except (RuntimeError, ValueError) as error:
        raise CommandError(path, re.sub(r"^[:,] ", "", str(error).removeprefix(path))) from error
    return loaded


def rules_options(args: argparse.Namespace) -> dict[str, Any]:
    """Return what ``orv batch --to rate`` records of the rules with each output.

    A change of the file's content or of the use makes the ratings again.
    """
    loaded = rules(args)
    if loaded is None:
        return {}
    return {"rules": os.path.abspath(loaded.path), "use": args.use, "rules_content": files.fingerprint(loaded.path)}


def task_rules(options: Any) -> tuple[Optional[Rules], Optional[str]]:
    """Return the rules and use recorded in a batch task's options."""
    return (lens.load_rules(options["rules"]) if options.get("rules") else None), options.get("use")


def size(text: str) -> tuple[float, float]:
    """Read a figure size written WIDTHxHEIGHT, in inches (``--size``).

    Raises
    ------
    argparse.ArgumentTypeError
        Unless each of the two is above 0 and at most 100.
    """
    match = re.fullmatch(r"([0-9]*\.?[0-9]+)x([0-9]*\.?[0-9]+)", text)
    if match is None or not all(0 < float(g) <= 100 for g in match.groups()):
        raise argparse.ArgumentTypeError(f"WIDTHxHEIGHT in inches, each above 0 and at most 100, not {text!r}")
    return float(match.group(1)), float(match.group(2))


def add_plot_arguments(sub: argparse.ArgumentParser) -> None:
    """Add the arguments of ``orv plot`` to its subcommand's parser."""
    sub.add_argument("file", metavar="FILE")
    sub.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        help="the figure, PNG, SVG or PDF by its extension (default: " "FILE's name with .png, here)",
    )
    sub.add_argument("--rating", action="store_true", help="add each lens's category and luminous transmittance")
    sub.add_argument(
        "--scale",
        choices=plot.SCALES,
        default="linear",
        help="transmittance in %% on a linear "
        "(default) or log axis, or optical density -log10 T, where UV blocking shows",
    )
    sub.add_argument(
        "--size",
        type=size,
        default=(8.0, 5.0),
        metavar="WxH",
        help="width and height in inches (default 8x5; PNG at 100 pixels per inch)",
    )


def run_plot(args: argparse.Namespace) -> int:
    """Plot every data set of a file as PNG, SVG or PDF, by the output's extension (``orv plot``).

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``file``, ``output``, ``rating``, ``scale``, ``size``.

    Returns
    -------
    int
        The exit status, 0.

    Raises
    ------
    MissingDependency
        Without matplotlib.
    CommandError
        For an output of another extension, a file that cannot be read or plotted, or an output
        that would replace it or cannot be written.
    """
    from orvpy.cli import optional

    optional("matplotlib", plot.DEBIAN_PACKAGE)
    output = args.output or os.path.splitext(os.path.basename(args.file))[0] + ".png"
    try:
        form = plot.output_format(output)
    except ValueError as error:
        raise CommandError(output, str(error).removeprefix(f"{output}: ")) from error
    files.check_readable(args.file)
    try:
        figure = plot.file_figure(
            args.file, scale=args.scale, size=args.size, rating=args.rating, title=shown(os.path.basename(args.file))
        )
    except (RuntimeError, ValueError) as error:
        raise CommandError(args.file, str(error).removeprefix(f"{args.file}: ")) from error
    files.refuse_overwriting(args.file, output)
    with files.output_file(output, binary=True) as f:
        plot.save(figure, f, form)
    return 0


def add_report_arguments(sub: argparse.ArgumentParser, method_option: dict[str, Any]) -> None:
    """Add the arguments of ``orv report`` to its subcommand's parser.

    Parameters
    ----------
    sub : argparse.ArgumentParser
        The subcommand's parser.
    method_option : dict
        The keyword arguments of the ``--method`` option, shared with ``orv rate``.
    """
    sub.add_argument("inputs", nargs="+", metavar="FILE_OR_FOLDER", help="data files, and folders searched for .orv")
    sub.add_argument("-o", "--output", required=True, metavar="REPORT.html", help="the report (HTML)")
    add_rules_options(sub, "verdicts")
    sub.add_argument("--method", **method_option)
    sub.add_argument("--scale", choices=plot.SCALES, default="log", help="the plots' axis (default log)")
    sub.add_argument(
        "--pdf",
        action="store_true",
        help="also print it to PDF beside it (REPORT.pdf), with headless " "Chromium (Debian: chromium)",
    )
    sub.add_argument(
        "--no-plots",
        action="store_true",
        help="leave the plots out (they need matplotlib, Debian: " "python3-matplotlib)",
    )


def run_report(args: argparse.Namespace) -> int:
    """Write a lens test report of the data files named, and its PDF if asked (``orv report``).

    A file that cannot be read or rated is kept in the report with its error and reported on
    stderr.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed command line: ``inputs``, ``output``, ``rules``, ``use``, ``method``,
        ``scale``, ``pdf``, ``no_plots``.

    Returns
    -------
    int
        The exit status: 1 when a file failed, else 0.

    Raises
    ------
    MissingDependency
        Without matplotlib (unless ``--no-plots``), or, with ``--pdf``, without Chromium.
    CommandError
        When the rules cannot be read or used, the report would replace an input or cannot be
        written, or the PDF cannot be printed.
    """
    from orvpy.cli import MissingDependency, optional

    if not args.no_plots:
        optional("matplotlib", plot.DEBIAN_PACKAGE)
    loaded = rules(args)
    made = report.build(args.inputs, rules=loaded, use=args.use, method=args.method)
    for entry in made.files:
        files.refuse_overwriting(entry.path, args.output)
    with files.output_file(args.output) as f:
        f.write(report.render(made, plots=not args.no_plots, scale=args.scale))
    for entry in made.files:
        if entry.error:
            print(f"orv report: {shown(entry.path)}: {shown(entry.error)}", file=sys.stderr)
    if args.pdf:
        pdf = os.path.splitext(args.output)[0] + ".pdf"
        if not stat.S_ISREG(os.stat(args.output).st_mode):
            raise CommandError(args.output, "--pdf prints the report from a file, and this is none")
        try:
            report.print_pdf(args.output, pdf)
        except report.MissingProgram as error:
            raise MissingDependency(str(error)) from error
        except (RuntimeError, subprocess.TimeoutExpired) as error:
            raise CommandError(pdf, str(error)) from error
    return 1 if made.failed else 0
