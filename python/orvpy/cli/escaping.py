"""The escaping of text from files on its way to a terminal or a spreadsheet.

Names and titles come from files and file names: shown on a terminal their control characters
would act, in a spreadsheet a leading = would be a formula.
"""

from __future__ import annotations

import re

# Control characters (a terminal acts on them; a newline would forge a line), text from names the
# file system holds in another encoding, and the marks that reverse the direction of text.
_HIDDEN = re.compile("[\x00-\x1f\x7f-\x9f\u202a-\u202e\u2066-\u2069\udc80-\udcff]")


def _escape(match: re.Match[str]) -> str:
    code = ord(match.group())
    return f"\\x{code - 0xDC00:02x}" if code >= 0xDC80 else f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def shown(text: object) -> str:
    r"""Return text from a file or a file name as it is safe to show on a terminal or in a table.

    Each control character is shown as ``\xNN`` (escape as ``\x1b``, newline as ``\x0a``), each
    byte of a name that is not UTF-8 as ``\xNN``.
    """
    return _HIDDEN.sub(_escape, str(text))


_NUMBER = re.compile(r"[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")


def cell(value: object) -> str:
    """Return a spreadsheet cell's text.

    A number as it reads back; None empty; any other text that begins with =, +, -, @, tab or CR
    (which spreadsheet software reads as a formula) behind an apostrophe, as the OWASP guidance on
    CSV injection says.
    """
    if value is None:
        return ""
    if isinstance(value, float):
        return repr(value)
    text = str(value)
    if text[:1] in ("=", "+", "-", "@", "\t", "\r") and not _NUMBER.fullmatch(text):
        return "'" + text
    return text


_LIKE_A_NUMBER = re.compile(r"[+-]?(?:[.,]?[0-9]|(?:nan|inf|infinity)(?![A-Za-z0-9]))", re.IGNORECASE)


def header_cell(title: str) -> str:
    """Return an axis title as a header cell that ``io.load_csv`` skips as a header.

    Control characters are escaped (a line break would split the line), and an apostrophe is put
    before a title that begins like a number (the line would read as a point, or fail) or like a
    formula.
    """
    text = shown(title)
    if _LIKE_A_NUMBER.match(text.lstrip(' \t"')):
        return "'" + text
    return cell(text)
