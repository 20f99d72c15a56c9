r"""Lens transmittance plots a lab can read, as matplotlib Figures.

``spectra`` draws scans of spectral transmittance on a linear, logarithmic or optical-density
axis, with the UV-B, UV-A and visible bands shaded, the filter categories of the luminous
transmittance drawn as a scale beside the plot (each lens's value marked on it), and the legend
below the axes, outside the curves. ``file_figure`` does so for every data set of an instrument
data file; ``save`` writes a figure as PNG, SVG or PDF by the file's extension, and
``svg_markup`` gives the SVG text to inline in an HTML page.

Figures are made without pyplot, so nothing is shown or kept open: in a notebook, the returned
Figure displays itself. Names and titles from files are shown as written: no mathtext, no TeX,
control characters as ``\xNN``. matplotlib is needed (Debian: ``python3-matplotlib``); without it these
functions raise ImportError naming that package.

Examples
--------
>>> from orvpy import plot  # doctest: +SKIP
>>> figure = plot.file_figure("examples/lens_transmittances.orv", scale="log")  # doctest: +SKIP
>>> plot.save(figure, "lenses.svg")  # doctest: +SKIP
"""

from __future__ import annotations

import importlib
import io as _text
import math
import os
import re
import sys
from collections.abc import Sequence
from typing import IO, Any, Literal, Optional, Union

from _orvpy_core import Scan
from _orvpy_core import colorimetry as _colorimetry
from _orvpy_core import io as _io

from orvpy import lens

__all__ = ["FORMATS", "SCALES", "Figure", "file_figure", "output_format", "printable", "save", "spectra", "svg_markup"]

Figure = Any  # matplotlib.figure.Figure; Debian's matplotlib carries no type information
Scale = Literal["linear", "log", "od"]
SCALES = ("linear", "log", "od")
FORMATS = {".png": "png", ".svg": "svg", ".pdf": "pdf"}
DEBIAN_PACKAGE = "python3-matplotlib"
# The lowest transmittance a log or optical-density axis shows (OD 7): values at or below the
# floor are drawn on it, as no logarithm of 0 exists.
_FLOOR = 1e-7
# The shaded bands: the bands of the rating's UV-B, UV-A and luminous transmittances.
_BANDS = (
    ("UV-B", "ANSI_Z80_3_tau_uvb", "#8e6fc9"),
    ("UV-A", "ANSI_Z80_3_tau_uva", "#b9a6e0"),
    ("visible", "ISO8980_3_tau_v", "#f3e6a6"),
)


def _matplotlib() -> Any:
    """Return the Figure class; ImportError naming the Debian package when matplotlib is missing."""
    try:
        return importlib.import_module("matplotlib.figure").Figure
    except Exception as error:  # absent, or present but built for another Python
        raise ImportError(
            f"orvpy.plot needs matplotlib, which this Python ({sys.version.split()[0]}) lacks; on "
            f"Debian or Ubuntu it comes with the package {DEBIAN_PACKAGE}, for the system python3"
        ) from error


# Control characters from a file would break or forge lines of a label: shown as \xNN.
_HIDDEN = re.compile("[\x00-\x1f\x7f-\x9f\u202a-\u202e\u2066-\u2069]")


def printable(text: str) -> str:
    r"""Return text from a file with each control character shown as ``\xNN``.

    Parameters
    ----------
    text : str
        Text read from a file (a name, a title).

    Returns
    -------
    str
        The text with each C0 and C1 control character shown as ``\xNN``, and each bidirectional
        embedding, override or isolate character as ``\uNNNN``.
    """
    return _HIDDEN.sub(
        lambda m: f"\\x{ord(m.group()):02x}" if ord(m.group()) < 0x100 else f"\\u{ord(m.group()):04x}", text
    )


def _as_written(texts: Sequence[Any]) -> None:
    """Show texts as written: no "$...$" mathtext, no TeX."""
    for text in texts:
        text.set_parse_math(False)
        text.set_usetex(False)


def _to_axis(scale: str, fraction: float) -> float:
    """Return a transmittance (fraction) in the axis's units: percent, or optical density -log10(T)."""
    if scale == "od":
        return -math.log10(max(fraction, _FLOOR))
    return 100.0 * (max(fraction, _FLOOR) if scale == "log" else fraction)


def _category_bounds() -> list[tuple[int, float, float]]:
    """Return (category, lower, upper) luminous transmittances (fractions) of the filter categories."""
    bounds, upper = [], 1.0
    for category, lower in lens._CATEGORY_LOWER_BOUNDS:
        bounds.append((category, lower, upper))
        upper = lower
    return bounds


def spectra(
    curves: Sequence[tuple[str, Scan]],
    *,
    scale: Scale = "linear",
    percent: bool = False,
    title: Optional[str] = None,
    size: tuple[float, float] = (8.0, 5.0),
    dpi: float = 100.0,
    ratings: Optional[Sequence[Optional[lens.LensRating]]] = None,
    quantity: Optional[str] = None,
    x_title: str = "Wavelength / nm",
) -> Figure:
    """Plot spectral transmittances of lenses (or any other spectra, with ``quantity``).

    Parameters
    ----------
    curves : sequence of (str, Scan)
        Each lens's name and spectral transmittance over wavelength (nm).
    scale : {"linear", "log", "od"}
        Transmittance in percent on a linear or a logarithmic axis, or optical density
        -log10(T). The log and OD axes reach down to the lowest value measured (at most OD 7);
        values at or below that floor, 0 included, are drawn on it.
    percent : bool
        The scans' values are in percent (as a data file labelled "%" holds them), not fractions.
    title : str, optional
        Shown above the plot as written (no mathtext, no TeX), as are the curves' names.
    size : (float, float)
        Width and height in inches; PNG is written at ``dpi`` pixels per inch.
    dpi : float
        Pixels per inch of raster output.
    ratings : sequence of LensRating or None, optional
        Each lens's rating (or None): its filter category and luminous transmittance join its
        legend entry and its luminous transmittance is marked on the category scale.
    quantity : str, optional
        The curves are not transmittances but this quantity (an axis title, e.g. "Irradiance /
        W m-2 nm-1"): their values are drawn as they are, on a linear or log axis, without the
        category scale.
    x_title : str
        The horizontal axis's title.

    Returns
    -------
    matplotlib.figure.Figure

    Raises
    ------
    ValueError
        For an unknown scale (or "od" of another quantity than transmittance), a non-positive
        size, or ratings not one per curve.
    ImportError
        Without matplotlib, naming the Debian package that provides it.

    References
    ----------
    The filter categories are those of ``orvpy.lens.filter_category`` (ISO 12312-1:2013 as
    summarised in the README); the bands are those the rating's UV-B, UV-A and luminous
    transmittances are worked out over (``colorimetry.lens_quantity_bands``).
    """
    if scale not in SCALES or (quantity is not None and scale == "od"):
        raise ValueError(
            f"scale must be one of {', '.join(SCALES if quantity is None else SCALES[:2])}, " f"not {scale!r}"
        )
    if not (len(size) == 2 and all(math.isfinite(s) and s > 0 for s in size)):
        raise ValueError(f"size must be two positive numbers of inches, not {size!r}")
    if ratings is not None and len(ratings) != len(curves):
        raise ValueError(f"{len(ratings)} ratings for {len(curves)} curves: give one per curve, or None")
    figure = _matplotlib()(figsize=size, dpi=dpi, layout="constrained")
    if quantity is None:
        grid = figure.add_gridspec(1, 2, width_ratios=(18, 1), wspace=0.02)
        axes, ruler = figure.add_subplot(grid[0]), figure.add_subplot(grid[1])
    else:
        axes, ruler = figure.add_subplot(), None
    # Transmittances as fractions; another quantity as it is (its "floor" only bounds a log axis).
    values = [[v / 100.0 if percent and quantity is None else v for v in scan.values()] for _, scan in curves]
    positive = [v for vs in values for v in vs if v > 0]
    floor = (
        max(_FLOOR if quantity is None else 0.0, 10.0 ** math.floor(math.log10(min(positive)))) if positive else _FLOOR
    )
    ratings = ratings if ratings is not None else [None] * len(curves)
    colours = []
    for (name, scan), vs, rating in zip(curves, values, ratings):
        label = printable(name)
        if rating is not None:
            category = "-" if rating.category is None else rating.category
            shown = "not measured" if rating.ISO8980_3_tau_v is None else f"{100 * rating.ISO8980_3_tau_v:.1f} %"
            label = f"{label}: category {category}, τv {shown}"
        if quantity is None:
            y = [_to_axis(scale, max(v, floor) if scale != "linear" else v) for v in vs]
        else:
            y = [max(v, floor) if scale == "log" else v for v in vs]
        (line,) = axes.plot(scan.wavelengths(), y, label=label, linewidth=1.4)
        colours.append(line.get_color())
    low = [min(s.wavelengths()) for _, s in curves if len(s)] or [280.0]
    high = [max(s.wavelengths()) for _, s in curves if len(s)] or [780.0]
    x_range = (min(low), max(high)) if min(low) < max(high) else (min(low) - 1, max(high) + 1)
    if "nm" in x_title:
        _shade_bands(axes, x_range)
    axes.set_xlim(*x_range)
    if quantity is not None:
        if scale == "log":
            axes.set_yscale("log")
        axes.set_ylabel(printable(quantity))
    else:
        if scale == "linear":
            limits = (0.0, max([100.0] + [100.0 * v for vs in values for v in vs]) * 1.02)
        elif scale == "log":
            axes.set_yscale("log")
            limits = (100.0 * floor, max([100.0] + [100.0 * v for v in positive]) * 1.2)
        else:
            limits = (-math.log10(floor) + 0.1, min([0.0] + [_to_axis("od", v) for v in positive]) - 0.1)
        axes.set_ylim(*limits)
        axes.set_ylabel(
            {"linear": "Transmittance / %", "log": "Transmittance / % (log)", "od": "Optical density, -log10 T"}[scale]
        )
        _draw_category_scale(ruler, scale, limits, [(r, c) for r, c in zip(ratings, colours) if r is not None])
    texts = [axes.set_xlabel(printable(x_title)), axes.yaxis.label]
    axes.grid(True, which="major", alpha=0.3)
    if title:
        texts.append(axes.set_title(printable(title), pad=16))
    if curves:
        labels = [line.get_label() for line in axes.get_lines()]
        columns = 1 if max(map(len, labels)) * len(labels) * 6.5 > size[0] * 72 else len(labels)
        legend = axes.legend(
            loc="upper center", bbox_to_anchor=(0.5, -0.12), ncol=columns, frameon=False, fontsize="small"
        )
        texts += legend.get_texts()
    _as_written(texts)
    return figure


def _shade_bands(axes: Any, x_range: tuple[float, float]) -> None:
    """Shade the UV-B, UV-A and visible bands, each named above the plot where it fits."""
    bands = _colorimetry.lens_quantity_bands()
    for name, quantity, colour in _BANDS:
        lo, hi = bands[quantity]
        axes.axvspan(lo, hi, color=colour, alpha=0.35, linewidth=0, zorder=0)
        start, end = max(lo, x_range[0]), min(hi, x_range[1])
        if (end - start) / (x_range[1] - x_range[0]) > 0.05:
            axes.text(
                (start + end) / 2,
                1.005,
                name,
                ha="center",
                va="bottom",
                fontsize="x-small",
                transform=axes.get_xaxis_transform(),
            )


def _draw_category_scale(
    ruler: Any, scale: str, limits: tuple[float, float], marks: Sequence[tuple[lens.LensRating, str]]
) -> None:
    """Draw the filter categories as bands beside the plot, on the plot's own vertical scale.

    Each rated lens's luminous transmittance is marked in its colour.
    """
    if scale == "log":
        ruler.set_yscale("log")
    ruler.set_ylim(*limits)
    ruler.set_xlim(0, 1)
    edges = []
    for category, lower, upper in _category_bounds():
        top = _to_axis(scale, upper) if category else limits[1]
        ruler.axhspan(_to_axis(scale, lower), top, color="0.55" if category % 2 else "0.8", linewidth=0)
        middle = math.sqrt(lower * upper) if scale != "linear" else (lower + upper) / 2
        ruler.text(0.5, _to_axis(scale, middle), str(category), ha="center", va="center", fontsize="small")
        edges.append(lower)
    for rating, colour in marks:
        if rating.ISO8980_3_tau_v is not None and math.isfinite(rating.ISO8980_3_tau_v):
            ruler.plot(
                [0.98], [_to_axis(scale, rating.ISO8980_3_tau_v)], marker="<", markersize=7, color=colour, clip_on=False
            )
    ruler.set_title("Cat.", fontsize="small")
    ruler.set_xticks([])
    ruler.yaxis.tick_right()
    ruler.set_yticks([_to_axis(scale, e) for e in edges], [f"{100 * e:g} %" for e in edges], fontsize="x-small")
    ruler.minorticks_off()


def file_figure(
    path: Union[str, "os.PathLike[str]"],
    *,
    scale: Scale = "linear",
    size: tuple[float, float] = (8.0, 5.0),
    dpi: float = 100.0,
    rating: bool = True,
    method: lens.Method = "integral",
    title: Optional[str] = None,
) -> Figure:
    """Plot every data set of an instrument data file.

    Parameters
    ----------
    path : str or os.PathLike
        The data file (.orv). Transmittance over wavelength in nm (a fraction or in %) is drawn
        as ``spectra`` draws lenses; any other quantity as it is, under the file's axis titles.
    scale, size, dpi
        As for ``spectra``.
    rating : bool
        Rate each lens (``orvpy.lens.rate_file``, bands not measured left out) to show its
        category and luminous transmittance.
    method : {"integral", "sum"}
        As for ``orvpy.lens.rate``.
    title : str, optional
        By default the file's name.

    Returns
    -------
    matplotlib.figure.Figure

    Raises
    ------
    RuntimeError
        When the file cannot be read (the core's ReadError, which arrives as RuntimeError) or is
        not a valid data file.
    ValueError
        For transmittance over another axis than wavelength in nm, or in another unit than % or a
        fraction; for the "od" scale of another quantity; for a path holding a NUL byte, or a file
        over 1 GiB.
    ImportError
        Without matplotlib.
    """
    orv_file = _io.load_orvfile(path)
    shown = os.fsdecode(os.fspath(path))
    units = orv_file.data_info.type_and_units
    curves = [(s.name, s.data) for s in orv_file.data_sets]
    title = os.path.basename(shown) if title is None else title
    if units.measurement_type.strip().lower() != "transmittance":
        quantity = f"{units.measurement_type} / {units.units}" if units.units else units.measurement_type
        return spectra(
            curves,
            scale=scale,
            size=size,
            dpi=dpi,
            title=title,
            quantity=quantity or "value",
            x_title=orv_file.meta.x_type or orv_file.graph.x_axis_title or "x",
        )
    percent = lens._percent_from_units(orv_file, shown)
    ratings = [r for _, r in lens.rate_file(path, require_coverage=False, method=method)] if rating else None
    return spectra(curves, scale=scale, percent=percent, size=size, dpi=dpi, ratings=ratings, title=title)


def save(figure: Figure, path: Union[str, "os.PathLike[str]", IO[bytes]], form: Optional[str] = None) -> None:
    """Write a figure as PNG, SVG or PDF, by the extension of ``path`` (or ``form``, for a file object).

    SVG and PDF are written with no creation date, so that a figure gives the same file again.

    Parameters
    ----------
    figure : matplotlib.figure.Figure
        The figure, as ``spectra`` or ``file_figure`` returns it.
    path : str, os.PathLike or binary file object
        Where to write it; its extension (``.png``, ``.svg`` or ``.pdf``, in any case) says the
        format.
    form : {"png", "svg", "pdf"}, optional
        The format, for a file object (which has no extension); by default read off ``path``.

    Raises
    ------
    ValueError
        For any other extension.
    OSError
        When the file cannot be written.
    """
    form = form or output_format(os.fspath(path))  # type: ignore[arg-type]
    figure.savefig(path, format=form, metadata={"svg": {"Date": None}, "pdf": {"CreationDate": None}}.get(form, {}))


def output_format(path: str) -> str:
    """Return "png", "svg" or "pdf" from a file name's extension.

    Parameters
    ----------
    path : str
        The file name; its extension is compared in any case.

    Returns
    -------
    {"png", "svg", "pdf"}

    Raises
    ------
    ValueError
        For any other extension, or none.
    """
    extension = os.path.splitext(path)[1].lower()
    if extension not in FORMATS:
        raise ValueError(
            f"{path}: the output's extension must be one of {', '.join(FORMATS)}, not " f"{extension or 'none'!r}"
        )
    return FORMATS[extension]


def svg_markup(figure: Figure, id_prefix: str) -> str:
    """Return the figure as an ``<svg>`` element to inline in HTML.

    The element has no XML declaration, and every id (glyphs, clip paths) is prefixed, so that
    several figures in one page keep their own.

    Parameters
    ----------
    figure : matplotlib.figure.Figure
        The figure.
    id_prefix : str
        Put before every id of the figure, and before every reference to one.

    Returns
    -------
    str
        The SVG markup, from ``<svg`` on.
    """
    buffer = _text.StringIO()
    figure.savefig(buffer, format="svg", metadata={"Date": None})
    text = buffer.getvalue()
    text = text[text.index("<svg") :]
    ids = set(re.findall(r'\bid="([^"]+)"', text))
    text = re.sub(r'\bid="([^"]+)"', lambda m: f'id="{id_prefix}{m.group(1)}"', text)
    return re.sub(r"#([\w.:-]+)", lambda m: f"#{id_prefix}{m.group(1)}" if m.group(1) in ids else m.group(0), text)
