"""Verdicts: a lens rating checked against requirements written as data.

A rules file (TOML, read with the standard library's ``tomllib``) states each requirement as a
comparison between a quantity of ``orvpy.lens.LensRating`` and a number, or a multiple of another
quantity, for given filter categories and intended uses, with the standard, edition, clause and
the public source the limit was taken from. ``assess`` checks one rating against such a file and
returns a frozen ``Assessment``: a ``Verdict`` per requirement and a ``UseVerdict`` per intended
use. The package ships ``rules/iso12312-1.toml`` (``DEFAULT_RULES``), holding only the limits a
published summary of ISO 12312-1 states; a lab that owns a standard's text passes its own file.

These names are re-exported by ``orvpy.lens``: ``orvpy.lens.assess`` is ``orvpy.verdicts.assess``.

Examples
--------
>>> from orvpy import Scan, lens
>>> grey = lens.rate(Scan([280.0 + 5 * i for i in range(101)], [0.15] * 101))
>>> result = lens.assess(grey, use="road")
>>> [(u.use, u.suitable) for u in result.uses]
[('road', True)]
>>> lens.assess(grey, use="twilight").uses[0].failing
('twilight.luminous',)
"""

from __future__ import annotations

import decimal
import math
import operator
import os
import pathlib
import re
import sys
from dataclasses import dataclass, fields
from typing import TYPE_CHECKING, Any, Callable, Literal, Optional, Union

if TYPE_CHECKING:
    from orvpy.lens import LensRating, Method

__all__ = [
    "DEFAULT_RULES",
    "Assessment",
    "Requirement",
    "Rules",
    "RulesError",
    "Source",
    "UseVerdict",
    "Verdict",
    "assess",
    "assess_file",
    "load_rules",
]

DEFAULT_RULES = pathlib.Path(__file__).resolve().parent / "rules" / "iso12312-1.toml"

Outcome = Literal["pass", "fail", "not assessed", "not applicable"]
PathLike = Union[str, "os.PathLike[str]"]

_COMPARISONS: dict[str, Callable[[float, float], bool]] = {
    ">": operator.gt,
    ">=": operator.ge,
    "<": operator.lt,
    "<=": operator.le,
}
_CATEGORIES = range(5)


class RulesError(ValueError):
    """A rules file that cannot be used: the message names the file, the line and what is wrong."""


@dataclass(frozen=True)
class Source:
    """A public source of requirements.

    Attributes
    ----------
    key : str
        Its name in the rules file's ``[sources]`` table.
    title, url : str
        What it is and where it was read.
    summarises : str
        The standard (and edition) it summarises.
    """

    key: str
    title: str
    url: str
    summarises: str


@dataclass(frozen=True)
class Requirement:
    """One requirement: ``quantity compare limit`` (times ``times``, when given).

    Attributes
    ----------
    id, standard, edition, clause, text : str
        Its identifier in the file, the standard, edition and clause it belongs to (clause empty
        when the source names none), and the requirement as written.
    quantity : str
        The ``LensRating`` field compared.
    compare : {">", ">=", "<", "<="}
        How the quantity must relate to the limit.
    limit : float
        The number as written (a fraction for transmittances).
    times : str or None
        A ``LensRating`` field the limit is a multiple of (``0.2 x ISO8980_3_tau_v``), or None.
    categories : tuple of int or None
        The filter categories it applies to; None for every lens.
    uses : tuple of str
        The intended uses whose verdict it decides.
    tolerance : float
        How close to the limit (in the units of ``limit``) a value is flagged "at the limit".
    source : Source
        Where the limit was taken from.
    line : int
        Its line in the rules file.
    """

    id: str
    standard: str
    edition: str
    clause: str
    text: str
    quantity: str
    compare: str
    limit: float
    times: Optional[str]
    categories: Optional[tuple[int, ...]]
    uses: tuple[str, ...]
    tolerance: float
    source: Source
    line: int

    @property
    def condition(self) -> str:
        """Return the comparison as a formula, e.g. ``ANSI_Z80_3_tau_spectral_min >= 0.2 x ISO8980_3_tau_v``."""
        limit = f"{self.limit!r} x {self.times}" if self.times else repr(self.limit)
        return f"{self.quantity} {self.compare} {limit}"


@dataclass(frozen=True)
class Rules:
    """A rules file as read.

    Attributes
    ----------
    path : str
        The file's path, as given.
    title : str
        Its title.
    uses : tuple of (str, str)
        Its intended uses, each as (key, name).
    sources : tuple of Source
        The public sources of its requirements.
    requirements : tuple of Requirement
        Its requirements, in file order.
    left_out : tuple of str
        What it states it leaves out: lines of text shown in a report.
    """

    path: str
    title: str
    uses: tuple[tuple[str, str], ...]
    sources: tuple[Source, ...]
    requirements: tuple[Requirement, ...]
    left_out: tuple[str, ...] = ()

    def use_name(self, use: str) -> str:
        """Return the display name of an intended use.

        Parameters
        ----------
        use : str
            The use's key in the rules file's ``[uses]`` table.

        Returns
        -------
        str

        Raises
        ------
        ValueError
            For a use the rules do not name; the message names the known ones.
        """
        names = dict(self.uses)
        if use not in names:
            raise ValueError(f"{self.path} names no intended use {use!r}; it names {', '.join(map(repr, names))}")
        return names[use]


@dataclass(frozen=True)
class Verdict:
    """One requirement checked against one rating.

    Attributes
    ----------
    requirement : Requirement
        The requirement checked.
    outcome : {"pass", "fail", "not assessed", "not applicable"}
        "not assessed" when the quantity (or the one the limit multiplies) is None (its band not
        measured) or NaN (undefined for the lens), or the category a requirement depends on is
        unknown: never a pass. "not applicable" when the lens's category is not among the
        requirement's categories.
    measured : float or None
        The quantity's value.
    limit : float or None
        The limit for this lens (``limit`` times the ``times`` quantity), or None.
    margin : float or None
        How far the value lies on the passing side of the limit (negative: the failing side), in
        the quantity's units.
    at_limit : bool
        The value lies within the requirement's tolerance of the limit.
    reason : str
        Why it was not assessed or not applicable; empty otherwise.
    """

    requirement: Requirement
    outcome: Outcome
    measured: Optional[float]
    limit: Optional[float]
    margin: Optional[float]
    at_limit: bool
    reason: str = ""

    @property
    def label(self) -> str:
        """Return the outcome, with "(at the limit)" when the value is within the tolerance of the limit."""
        return f"{self.outcome} (at the limit)" if self.at_limit else self.outcome


@dataclass(frozen=True)
class UseVerdict:
    """Whether a lens suits one intended use.

    Attributes
    ----------
    use, name : str
        The use's key and display name.
    suitable : bool or None
        True when every applicable requirement of the use passes, False when one fails, None
        when none fails but one could not be assessed.
    failing, not_assessed : tuple of str
        The ids of the requirements that failed and of those not assessed.
    """

    use: str
    name: str
    suitable: Optional[bool]
    failing: tuple[str, ...]
    not_assessed: tuple[str, ...]

    @property
    def label(self) -> str:
        """Return "suitable", "not suitable" or "not assessed"."""
        return {True: "suitable", False: "not suitable", None: "not assessed"}[self.suitable]


@dataclass(frozen=True)
class Assessment:
    """The verdicts of one rating against a rules file.

    Attributes
    ----------
    rules : Rules
        The rules checked against.
    verdicts : tuple of Verdict
        One per requirement checked, in file order.
    uses : tuple of UseVerdict
        One per intended use.
    """

    rules: Rules
    verdicts: tuple[Verdict, ...]
    uses: tuple[UseVerdict, ...]

    @property
    def warnings(self) -> tuple[str, ...]:
        """Return one line per value at a limit and per requirement not assessed."""
        lines = []
        for v in self.verdicts:
            r = v.requirement
            if v.at_limit:
                lines.append(
                    f"{r.id}: {r.quantity} = {v.measured!r} is within {r.tolerance:g}"
                    f"{' x ' + r.times if r.times else ''} of its limit {v.limit!r} ({v.outcome})"
                )
            if v.outcome == "not assessed":
                lines.append(f"{r.id}: not assessed, {v.reason}")
        return tuple(lines)

    def as_dict(self) -> dict[str, str]:
        """Return flat columns: ``verdict:<id>`` per requirement and ``use:<use>`` per intended use."""
        row = {f"verdict:{v.requirement.id}": v.label for v in self.verdicts}
        row.update({f"use:{u.use}": u.label for u in self.uses})
        return row


def _half_unit(limit: float) -> float:
    """Return half a unit in the last digit of the limit's shortest decimal form: 0.08 gives 0.005."""
    exponent = decimal.Decimal(repr(limit)).normalize().as_tuple().exponent
    return 0.5 * 10.0 ** int(exponent)


def _requirement_lines(text: str) -> list[int]:
    return [i for i, line in enumerate(text.splitlines(), 1) if re.match(r"\s*\[\[\s*requirement\s*\]\]", line)]


class _Reader:
    """Checks one table of a rules file, naming the file, line, requirement and field in errors."""

    def __init__(self, path: str, line: int, table: dict[str, Any], what: str) -> None:
        """``line`` 0 when the table's line is not known (a table written inline)."""
        self.path, self.line, self.table, self.what = path, line, table, what

    def fail(self, field: str, problem: str) -> RulesError:
        where = f", line {self.line}" if self.line else ""
        return RulesError(f"{self.path}{where}: {self.what}, field {field!r}: {problem}")

    def text(self, field: str, default: Optional[str] = None) -> str:
        value = self.table.get(field, default)
        if not isinstance(value, str):
            raise self.fail(field, "missing" if value is None else f"must be text, not {value!r}")
        return value

    def number(self, field: str) -> float:
        value = self.table.get(field)
        if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
            raise self.fail(field, "missing" if value is None else f"must be a finite number, not {value!r}")
        return float(value)

    def names(self, field: str, allowed: Any, required: bool = True) -> Optional[tuple[Any, ...]]:
        value = self.table.get(field)
        if value is None and not required:
            return None
        if not isinstance(value, list) or not value:
            raise self.fail(field, "missing" if value is None else f"must be a non-empty list, not {value!r}")
        for item in value:
            if isinstance(item, bool) or item not in allowed:
                raise self.fail(field, f"{item!r} is not one of {', '.join(map(repr, allowed))}")
        return tuple(value)


def load_rules(path: PathLike = DEFAULT_RULES) -> Rules:
    """Read and check a rules file.

    Parameters
    ----------
    path : str or os.PathLike
        The TOML file; by default the bundled ``rules/iso12312-1.toml``.

    Returns
    -------
    Rules

    Raises
    ------
    RulesError
        A ValueError naming the file, the line and what is wrong: TOML that does not parse (with
        ``tomllib``'s line and column), or a requirement with a missing or wrong field (named with
        the requirement's id), an unknown quantity, use, source or category, or a repeated id.
    OSError
        When the file cannot be read.
    RuntimeError
        Under Python before 3.11, which has no ``tomllib``.
    """
    from orvpy.lens import LensRating

    if sys.version_info < (3, 11):
        raise RuntimeError("reading a rules file needs Python 3.11 or later (the standard library's tomllib)")
    import tomllib

    shown = os.fspath(path)
    try:
        text = pathlib.Path(path).read_text(encoding="utf-8")
    except UnicodeDecodeError as error:
        raise RulesError(f"{shown}: not UTF-8 text ({error})") from error
    try:
        data = tomllib.loads(text)
    except tomllib.TOMLDecodeError as error:
        raise RulesError(f"{shown}: not valid TOML: {error}") from error
    top = _Reader(shown, 0, data, "the file")
    title = top.text("title", "")
    left_out = data.get("left_out", [])
    if not isinstance(left_out, list) or not all(isinstance(item, str) for item in left_out):
        raise top.fail("left_out", "must be a list of texts")
    uses = data.get("uses")
    if not isinstance(uses, dict) or not uses or not all(isinstance(v, str) for v in uses.values()):
        raise top.fail("uses", "must be a table of intended uses, each a name as text")
    sources: dict[str, Source] = {}
    raw_sources = data.get("sources", {})
    if not isinstance(raw_sources, dict):
        raise top.fail("sources", "must be a table of sources")
    for key, table in raw_sources.items():
        header = re.search(r"^\s*\[\s*sources\s*\.\s*[\"']?" + re.escape(key) + r"[\"']?\s*\]", text, re.M)
        line = text.count("\n", 0, header.start()) + 1 if header else 0
        entry = _Reader(shown, line, table if isinstance(table, dict) else {}, f"source {key!r}")
        sources[key] = Source(key, entry.text("title"), entry.text("url"), entry.text("summarises"))
    quantities = tuple(
        f.name for f in fields(LensRating) if f.name not in ("method", "warnings", "min_wavelength", "max_wavelength")
    )
    raw = data.get("requirement", [])
    if not isinstance(raw, list) or not raw:
        raise top.fail("requirement", "the file states no [[requirement]]")
    lines = _requirement_lines(text)
    requirements: list[Requirement] = []
    for number, table in enumerate(raw):
        line = lines[number] if number < len(lines) else 0
        what = f"requirement {table.get('id')!r}" if isinstance(table.get("id"), str) else f"requirement #{number + 1}"
        entry = _Reader(shown, line, table, what)
        unknown = sorted(
            set(table)
            - {
                "id",
                "standard",
                "edition",
                "clause",
                "text",
                "quantity",
                "compare",
                "limit",
                "times",
                "categories",
                "uses",
                "tolerance",
                "source",
            }
        )
        if unknown:
            raise entry.fail(unknown[0], "is not a field of a requirement")
        identifier = entry.text("id")
        if any(r.id == identifier for r in requirements):
            raise entry.fail("id", "repeats an earlier requirement's id")
        quantity = entry.text("quantity")
        if quantity not in quantities:
            raise entry.fail("quantity", f"{quantity!r} is not a quantity of a LensRating")
        times = table.get("times")
        if times is not None and times not in quantities:
            raise entry.fail("times", f"{times!r} is not a quantity of a LensRating")
        compare = entry.text("compare")
        if compare not in _COMPARISONS:
            raise entry.fail("compare", f"{compare!r} is not one of '>', '>=', '<', '<='")
        limit = entry.number("limit")
        tolerance = entry.number("tolerance") if "tolerance" in table else _half_unit(limit)
        if tolerance < 0:
            raise entry.fail("tolerance", "must be at least 0")
        source_key = entry.text("source")
        if source_key not in sources:
            raise entry.fail("source", f"{source_key!r} is not in the [sources] table")
        requirements.append(
            Requirement(
                id=identifier,
                standard=entry.text("standard"),
                edition=entry.text("edition"),
                clause=entry.text("clause"),
                text=entry.text("text"),
                quantity=quantity,
                compare=compare,
                limit=limit,
                times=times,
                categories=entry.names("categories", _CATEGORIES, required=False),
                uses=entry.names("uses", tuple(uses)) or (),
                tolerance=tolerance,
                source=sources[source_key],
                line=line,
            )
        )
    return Rules(
        path=shown,
        title=title,
        uses=tuple(uses.items()),
        sources=tuple(sources.values()),
        requirements=tuple(requirements),
        left_out=tuple(left_out),
    )


def _value(rating: LensRating, name: str) -> Optional[float]:
    value = getattr(rating, name)
    return None if value is None else float(value)


def _check(requirement: Requirement, rating: LensRating) -> Verdict:
    r = requirement

    def not_assessed(reason: str) -> Verdict:
        return Verdict(r, "not assessed", _value(rating, r.quantity), None, None, False, reason)

    if r.categories is not None:
        if rating.category is None:
            if rating.ISO8980_3_tau_v is None or math.isnan(rating.ISO8980_3_tau_v):
                return not_assessed(
                    "it applies to categories "
                    f"{', '.join(map(str, r.categories))} and the category is unknown "
                    "(ISO8980_3_tau_v not measured)"
                )
            return Verdict(
                r, "not applicable", _value(rating, r.quantity), None, None, False, "the lens is in no filter category"
            )
        if rating.category not in r.categories:
            return Verdict(
                r,
                "not applicable",
                _value(rating, r.quantity),
                None,
                None,
                False,
                f"it applies to categories {', '.join(map(str, r.categories))}, the lens is in "
                f"category {rating.category}",
            )
    measured = _value(rating, r.quantity)
    scale = 1.0 if r.times is None else _value(rating, r.times)
    for name, value in ((r.quantity, measured), (r.times, scale)):
        if name is not None and value is None:
            return not_assessed(f"{name} was not measured (its band is not covered by the scan)")
        if name is not None and value is not None and math.isnan(value):
            return not_assessed(f"{name} is undefined for this lens (NaN)")
    assert measured is not None and scale is not None
    limit = r.limit * scale
    passed = _COMPARISONS[r.compare](measured, limit)
    margin = measured - limit if r.compare.startswith(">") else limit - measured
    return Verdict(
        r, "pass" if passed else "fail", measured, limit, margin, abs(measured - limit) <= r.tolerance * abs(scale)
    )


def assess(rating: LensRating, rules: Union[Rules, PathLike, None] = None, *, use: Optional[str] = None) -> Assessment:
    """Check a lens rating against a set of requirements.

    Parameters
    ----------
    rating : LensRating
        The lens's rating (``orvpy.lens.rate``).
    rules : Rules, str or os.PathLike, optional
        Requirements as read by ``load_rules``, or the path of a rules file; by default the bundled
        ``rules/iso12312-1.toml``.
    use : str, optional
        One intended use (a key of the file's ``[uses]`` table, e.g. ``"road"``): only its
        requirements are checked. By default every requirement and every use.

    Returns
    -------
    Assessment
        A verdict per requirement, in file order, and one per intended use.

    Raises
    ------
    ValueError
        For an intended use the rules do not name, or a malformed rules file (``RulesError``).

    References
    ----------
    The standard, edition and clause of each requirement are in its rules file; the bundled file's
    are ISO 12312-1:2013 as summarised by its named source.
    """
    rules = rules if isinstance(rules, Rules) else load_rules(DEFAULT_RULES if rules is None else rules)
    chosen = [key for key, _ in rules.uses] if use is None else [use]
    names = [rules.use_name(key) for key in chosen]
    verdicts = tuple(_check(r, rating) for r in rules.requirements if any(u in r.uses for u in chosen))
    summaries = []
    for key, name in zip(chosen, names):
        own = [v for v in verdicts if key in v.requirement.uses]
        failing = tuple(v.requirement.id for v in own if v.outcome == "fail")
        missing = tuple(v.requirement.id for v in own if v.outcome == "not assessed")
        summaries.append(UseVerdict(key, name, False if failing else None if missing else True, failing, missing))
    return Assessment(rules, verdicts, tuple(summaries))


def assess_file(
    path: PathLike,
    rules: Union[Rules, PathLike, None] = None,
    *,
    use: Optional[str] = None,
    method: Method = "integral",
) -> list[tuple[str, LensRating, Assessment]]:
    """Rate and assess every data set of an instrument data file, in file order.

    Parameters
    ----------
    path : str or os.PathLike
        The data file (.orv); rated with ``orvpy.lens.rate_file(path, require_coverage=False)``,
        so that a band not measured makes its requirements "not assessed" rather than an error.
    rules, use
        As for ``assess``.
    method : {"integral", "sum"}
        As for ``orvpy.lens.rate``.

    Returns
    -------
    list of (str, LensRating, Assessment)
        Each data set's name, rating and assessment.

    Raises
    ------
    ValueError, RuntimeError
        As ``orvpy.lens.rate_file`` and ``assess`` raise them.
    """
    from orvpy.lens import rate_file

    loaded = rules if isinstance(rules, Rules) else load_rules(DEFAULT_RULES if rules is None else rules)
    return [
        (name, rating, assess(rating, loaded, use=use))
        for name, rating in rate_file(path, require_coverage=False, method=method)
    ]
