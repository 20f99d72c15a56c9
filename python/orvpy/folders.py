"""A folder of data files read in one call, on threads: each file's data sets or its error."""

from __future__ import annotations

import os
import pathlib
import stat
from concurrent.futures import ThreadPoolExecutor
from typing import NamedTuple, Optional, Union

from _orvpy_core import Scan
from _orvpy_core import io as _io

__all__ = ["LoadedFile", "load_folder"]

# Opening one of these can block forever, so they are refused from their status alone.
_NOT_FILES = (
    (stat.S_ISDIR, "a folder"),
    (stat.S_ISFIFO, "a FIFO"),
    (stat.S_ISCHR, "a character device"),
    (stat.S_ISBLK, "a block device"),
    (stat.S_ISSOCK, "a socket"),
)


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


def _load(path: pathlib.Path) -> LoadedFile:
    try:
        mode = os.stat(path).st_mode
        for test, kind in _NOT_FILES:
            if test(mode):
                raise OSError(f"{os.fspath(path)!r} is {kind}, not a regular file; it was not opened")
        return LoadedFile(path, _io._load_data_sets(path), None)
    except (RuntimeError, ValueError, OSError) as error:
        return LoadedFile(path, [], error)


def _load_every(paths: list[pathlib.Path]) -> list[LoadedFile]:
    return [_load(p) for p in paths]


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
        readers release the interpreter lock while they read and parse, so threads read side by
        side.

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
    paths = sorted(folder.glob(pattern))
    threads = min(threads, len(paths))
    if threads <= 1:
        return _load_every(paths)
    # One task per thread, every threads-th file: a task per file costs the pool's locking, about
    # as long as reading a small file.
    with ThreadPoolExecutor(threads) as pool:
        shares = list(pool.map(_load_every, (paths[i::threads] for i in range(threads))))
    loaded: list[LoadedFile] = [shares[0][0]] * len(paths)
    for i, share in enumerate(shares):
        loaded[i::threads] = share
    return loaded
