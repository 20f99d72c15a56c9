"""A folder of data files read in one call, on threads: each file's data sets or its error."""

from __future__ import annotations

import fnmatch
import os
import pathlib
import re
from typing import Callable, NamedTuple, Optional, Sequence, Union

from _orvpy_core import Scan
from _orvpy_core import io as _io

__all__ = ["LoadedFile", "load_folder"]

_WILDCARD = re.compile(r"[*?[]")


class LoadedFile(NamedTuple):
    """One file of a folder: its path, and its data sets or the error that stopped its reading.

    Attributes
    ----------
    path : pathlib.Path
        The file.
    data_sets : list of (str, Scan)
        Each data set's name and points, in file order, a name repeated as often as the file
        repeats it; empty when the file could not be read.
    error : Exception or None
        Why the file could not be read (RuntimeError, ValueError or OSError), or None.
    """

    path: pathlib.Path
    data_sets: list[tuple[str, Scan]]
    error: Optional[Exception]


def load_folder(
    path: Union[str, "os.PathLike[str]"], pattern: str = "*.orv", threads: Optional[int] = None
) -> list[LoadedFile]:
    """Read every data file of a folder that matches a pattern, on threads.

    Parameters
    ----------
    path : str or os.PathLike
        The folder.
    pattern : str
        A glob pattern relative to the folder, as ``pathlib.Path.glob`` takes it (``"**/*.orv"``
        reaches every folder below).
    threads : int, optional
        How many files are read at once; by default the cores this process may run on. The
        files are read and parsed on threads of the compiled core, without the interpreter lock;
        an interrupt (Ctrl-C) stops the reading once the files being read are read.

    Returns
    -------
    list of LoadedFile
        One per matching entry, in path order: its data sets, or its error (a damaged file, a
        folder or FIFO that matched, which is never opened). Nothing is raised for a file.

    Raises
    ------
    NotADirectoryError
        When ``path`` is not a folder.
    ValueError
        For a number of threads below 1.
    """
    folder = pathlib.Path(path)
    if not folder.is_dir():
        raise NotADirectoryError(f"{os.fspath(path)!r} is not a folder")
    if threads is None:
        threads = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count() or 1
    if threads < 1:
        raise ValueError(f"threads must be at least 1, not {threads}")
    files, path_of = _matches(folder, pattern)

    def loaded(i: int, result: Union[list[tuple[str, Scan]], Exception]) -> LoadedFile:
        if isinstance(result, BaseException):
            return LoadedFile(path_of(i), [], result)
        return LoadedFile(path_of(i), result, None)

    # The core's threads read while this one makes Python objects of what they read, these too.
    return _io._load_files(files, threads, loaded)


def _matches(
    folder: pathlib.Path, pattern: str
) -> tuple[Sequence[Union[str, pathlib.Path]], Callable[[int], pathlib.Path]]:
    """List the paths ``folder.glob(pattern)`` gives, sorted part by part, and give the i-th as a Path."""
    if os.name == "posix" and _WILDCARD.search(pattern) and "/" not in pattern and "**" not in pattern:
        # One wildcard part: what pathlib does (the folder's names that fnmatch's pattern matches
        # in full, case-sensitive on POSIX, an unreadable folder matching nothing), without making
        # a Path of each name before the reading starts; that would be most of the time this
        # thread alone spends before the others can start.
        match = re.compile(fnmatch.translate(pattern)).fullmatch
        try:
            with os.scandir(folder) as entries:
                names = sorted(entry.name for entry in entries if match(entry.name))
        except PermissionError:
            names = []
        prefix = "" if folder == pathlib.Path(".") else os.path.join(os.fspath(folder), "")
        return [prefix + name for name in names], lambda i: folder / names[i]
    # Sorted as paths compare, part by part, but without making a comparison of two paths each time.
    paths = sorted(folder.glob(pattern), key=lambda p: p.parts)
    return paths, paths.__getitem__
