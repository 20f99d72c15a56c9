"""How the ``orv`` commands read and write files.

Inputs are checked before they are opened, outputs written whole under a temporary name and
renamed, outputs that are not regular files written through in place; and ``orv batch`` knows
the outputs it made itself by their records.

Temporary names are ``.NAME.PID.RANDOM.part`` (``.old`` for a folder being replaced) beside the
output, NAME cut short where the whole would exceed the file system's name limit; a later run
removes those whose process no longer runs.
"""

from __future__ import annotations

import hashlib
import json
import os
import re
import secrets
import shutil
import stat
from collections.abc import Callable, Iterator, Mapping
from contextlib import contextmanager, suppress
from dataclasses import dataclass
from typing import IO, Any, Optional

from _orvpy_core import io

# Marks the outputs of orv batch: a folder of records beside its files, a file in each CSV folder.
RECORDS = ".orvbatch"

_TEMPORARY = re.compile(r"\.(.*)\.([0-9]+)\.[0-9a-f]{8}\.(?:part|old)", re.DOTALL)
_KINDS = (
    (stat.S_ISFIFO, "a FIFO"),
    (stat.S_ISCHR, "a character device"),
    (stat.S_ISBLK, "a block device"),
    (stat.S_ISSOCK, "a socket"),
)


class CommandError(Exception):
    """A failure to report as one line, ``path: message``, with exit status 1."""

    def __init__(self, path: str, message: str) -> None:
        super().__init__(f"{path}: {message}")
        self.path = path
        self.message = message


def reason(error: OSError) -> str:
    """Return the system's words for an error, without the file names Python adds to them."""
    return error.strerror or str(error)


def check_input(path: str) -> None:
    """Check that ``path`` is a regular file that can be opened for reading.

    Anything else (a FIFO, a device) is refused before it is opened, since opening one can block
    forever.

    Raises
    ------
    CommandError
        Unless ``path`` is a regular file that can be opened for reading.
    """
    try:
        status = os.stat(path)
    except OSError as error:
        raise CommandError(path, reason(error)) from error
    if stat.S_ISDIR(status.st_mode):
        raise CommandError(path, "is a folder, not a data file")
    if not stat.S_ISREG(status.st_mode):
        kind = next((name for test, name in _KINDS if test(status.st_mode)), "not a file")
        raise CommandError(path, f"is {kind}, not a regular file; it was not opened")
    try:
        with open(path, "rb"):
            pass
    except OSError as error:
        raise CommandError(path, reason(error)) from error


def fingerprint(path: str) -> dict[str, object]:
    """Return the size and a hash of a file's content: what an output was made from."""
    digest = hashlib.blake2b(digest_size=16)
    size = 0
    with open(path, "rb") as f:
        while block := f.read(1 << 20):
            digest.update(block)
            size += len(block)
    return {"size": size, "blake2b": digest.hexdigest()}


def _name_max(folder: str) -> int:
    try:
        return os.pathconf(folder, "PC_NAME_MAX")
    except (OSError, ValueError):
        return 255


def _sibling(path: str, suffix: str) -> str:
    """Return an unused hidden name beside ``path`` for its version in progress, within the name limit."""
    folder, name = os.path.split(os.path.abspath(path))
    tail = f".{os.getpid()}.{secrets.token_hex(4)}{suffix}"
    room = _name_max(folder) - 1 - len(os.fsencode(tail))
    # Cut as bytes: a character cut in two stays a valid name, as the bytes the system holds.
    return os.path.join(folder, "." + os.fsdecode(os.fsencode(name)[:room]) + tail)


def _running(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:  # another user's process
        return True
    return True


def sweep(folder: str, name: Optional[str] = None) -> None:
    """Remove the temporary files and folders in ``folder`` left by processes that no longer run.

    Those are left by a run killed in the middle of a write; with ``name``, only those of that
    output are removed.
    """
    try:
        entries = list(os.scandir(folder))
    except OSError:
        return
    limit = _name_max(folder)
    for entry in entries:
        match = _TEMPORARY.fullmatch(entry.name)
        if match is None or _running(int(match.group(2))):
            continue
        # A temporary name holds the output's whole name, or as much of it as the limit leaves.
        cut = len(os.fsencode(entry.name)) == limit and os.fsencode(name or "").startswith(os.fsencode(match.group(1)))
        if name is not None and match.group(1) != name and not cut:
            continue
        with suppress(OSError):
            if entry.is_dir(follow_symlinks=False):
                shutil.rmtree(entry.path)
            else:
                os.unlink(entry.path)


def _make_folder(path: str) -> str:
    folder = os.path.dirname(os.path.abspath(path))
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as error:
        raise CommandError(path, reason(error)) from error
    return folder


@contextmanager
def atomic_file(
    path: str, binary: bool = False, before_replace: Optional[Callable[[os.stat_result], None]] = None
) -> Iterator[IO[Any]]:
    """Open a file written under a temporary name beside ``path`` and renamed to it when complete.

    An interrupted run so never leaves a truncated file. ``before_replace`` gets the complete
    file's status just before the rename. Text is UTF-8, with names the file system holds in
    other encodings written back as their bytes. Permissions follow the umask, as for any new
    file.

    Raises
    ------
    CommandError
        Naming ``path``, when it cannot be written.
    """
    _make_folder(path)
    temporary = _sibling(path, ".part")
    try:
        handle = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
        try:
            stream: IO[Any]
            if binary:
                stream = os.fdopen(handle, "wb")
            else:
                stream = os.fdopen(handle, "w", encoding="utf-8", errors="surrogateescape", newline="")
            with stream as f:
                yield f
                f.flush()
                status = os.fstat(f.fileno())
            if before_replace is not None:
                before_replace(status)
            os.replace(temporary, path)
        except BaseException:
            with suppress(OSError):
                os.unlink(temporary)
            raise
    except OSError as error:
        raise CommandError(path, reason(error)) from error


@contextmanager
def output_file(path: str, binary: bool = False) -> Iterator[IO[Any]]:
    """Open the output a user named.

    A new or regular file is replaced whole (through a symlink, its target); anything else that
    exists (a FIFO, a terminal, /dev/stdout) is written through in place, as a shell redirection
    would.
    """
    try:
        status: Optional[os.stat_result] = os.stat(path)
    except OSError:  # nothing there yet, or a symlink whose target is yet to be made
        status = None
    if status is not None and stat.S_ISDIR(status.st_mode):
        raise CommandError(path, "is a folder")
    if status is not None and not stat.S_ISREG(status.st_mode):
        try:
            stream: IO[Any]
            if binary:
                stream = open(path, "wb")
            else:
                stream = open(path, "w", encoding="utf-8", errors="surrogateescape", newline="")
            with stream as f:
                yield f
        except (BrokenPipeError, CommandError):
            raise
        except OSError as error:
            raise CommandError(path, reason(error)) from error
        return
    target = os.path.realpath(path) if os.path.islink(path) else path
    sweep(os.path.dirname(os.path.abspath(target)), os.path.basename(target))
    with atomic_file(target, binary) as f:
        yield f


@contextmanager
def atomic_folder(path: str) -> Iterator[str]:
    """Give a folder to fill under a temporary name, then put it in place of ``path``.

    The previous folder is moved aside and removed only after the new one is in place.
    """
    _make_folder(path)
    temporary = _sibling(path, ".part")
    previous = None
    try:
        try:
            os.mkdir(temporary)
            yield temporary
            if os.path.lexists(path):
                previous = _sibling(path, ".old")
                os.replace(path, previous)
            try:
                os.replace(temporary, path)
            except BaseException:
                if previous is not None:
                    os.replace(previous, path)
                    previous = None
                raise
        finally:
            shutil.rmtree(temporary, ignore_errors=True)
            if previous is not None:
                shutil.rmtree(previous, ignore_errors=True)
    except OSError as error:
        raise CommandError(path, reason(error)) from error


@dataclass(frozen=True)
class Claim:
    """What is at an output's place, found to be an output of orv batch.

    Attributes
    ----------
    made_from : mapping
        The input's fingerprint and the options, as recorded.
    current : bool
        The output is as it was made, so that it is up to date if ``made_from`` is.
    version : list of int or None
        A file's (inode, size, mtime in ns).
    """

    made_from: Mapping[str, object]
    current: bool
    version: Optional[list[int]] = None


def _version(status: os.stat_result) -> list[int]:
    return [status.st_ino, status.st_size, status.st_mtime_ns]


def _record_path(output: str) -> str:
    folder, name = os.path.split(output)
    return os.path.join(folder, RECORDS, name)


def _read_record(path: str) -> dict[str, Any]:
    try:
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            record = json.load(f)
    except (OSError, ValueError):
        return {}
    return record if isinstance(record, dict) else {}


NOT_OURS = "exists and orv batch did not make it; it is left alone (remove it to have it converted)"


def claim(output: str, folder: bool) -> Optional[Claim]:
    """Return what is at ``output`` when orv batch made it.

    Returns
    -------
    Claim or None
        None when nothing is at ``output``; what it was made from when orv batch made it (a CSV
        folder holding its record and only the files it wrote; a file whose version its record
        lists).

    Raises
    ------
    CommandError
        Naming it, for anything else, so that nothing else is ever replaced.
    """
    try:
        status = os.lstat(output)
    except FileNotFoundError:
        return None
    except OSError as error:
        raise CommandError(output, reason(error)) from error
    if folder and stat.S_ISDIR(status.st_mode):
        record = _read_record(os.path.join(output, RECORDS))
        if isinstance(record.get("files"), list):
            written = {RECORDS, *map(str, record["files"])}
            try:
                held = set(os.listdir(output))
            except OSError as error:
                raise CommandError(output, reason(error)) from error
            if held <= written:
                return Claim(record.get("made_from", {}), held == written)
    elif not folder and stat.S_ISREG(status.st_mode):
        record = _read_record(_record_path(output))
        versions = record.get("versions", [])
        version = _version(status)
        if version in versions:
            return Claim(record.get("made_from", {}), version == versions[0], version)
    raise CommandError(output, NOT_OURS)


@contextmanager
def owned_file(
    output: str, made_from: Mapping[str, object], previous: Optional[Claim], binary: bool = False
) -> Iterator[IO[Any]]:
    """Open an output of orv batch written as ``atomic_file`` does, its record written just before the rename.

    The record lists the new version and the one it replaces, so that whether a run ends before or
    after the rename, the file in place is known as one of orv batch's.
    """

    def record(status: os.stat_result) -> None:
        versions = [_version(status)] + ([previous.version] if previous is not None and previous.version else [])
        with atomic_file(_record_path(output)) as f:
            json.dump({"made_from": made_from, "versions": versions}, f)

    with atomic_file(output, binary, record) as f:
        yield f


def write_record(folder: str, made_from: Mapping[str, object]) -> None:
    """Mark a CSV folder of orv batch, filled but not yet in place, as made from ``made_from``."""
    files = sorted(os.listdir(folder))
    with open(os.path.join(folder, RECORDS), "w", encoding="utf-8", errors="surrogateescape") as f:
        json.dump({"made_from": made_from, "files": files}, f)


def check_readable(path: str) -> None:
    """Check that a file is a regular file that can be read.

    Raises
    ------
    CommandError
        With the reason, when it is not.
    """
    check_input(path)


def refuse_overwriting(source: str, output: str) -> None:
    """Refuse an output that would replace its input.

    Raises
    ------
    CommandError
        When writing ``output`` would replace the input file ``source``.
    """
    try:
        same = os.path.samefile(source, output)
    except OSError:  # no output yet, or no input (which the conversion reports)
        return
    if same:
        raise CommandError(output, "is the input file; the output would replace it")


def load(path: str) -> io.OrvFile:
    """Return the data file's records.

    Raises
    ------
    CommandError
        For a file that cannot be opened or parsed.
    """
    check_readable(path)
    try:
        return io.load_orvfile(path)
    except (RuntimeError, ValueError) as error:
        raise CommandError(path, str(error)) from error
