"""A folder of data files read in one call, on threads: each file's data sets or its error."""

from __future__ import annotations

import os
import pathlib
from typing import NamedTuple, Optional, Union

from _orvpy_core import Scan
from _orvpy_core import io as _io

__all__ = ["LoadedFile", "load_folder"]


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
    # Sorted as paths compare, part by part, but without making a comparison of two paths each time.
    paths = sorted(folder.glob(pattern), key=lambda p: p.parts)
    # The core's threads read while this one makes Python objects of what they read.
    return [
        LoadedFile(p, [], result) if isinstance(result, BaseException) else LoadedFile(p, result, None)
        for p, result in zip(paths, _io._load_files(paths, threads))
    ]
