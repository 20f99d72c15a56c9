"""``orv batch``: many data files converted in parallel, on local processes or a Dask cluster.

Each input file is one task; tasks travel in small chunks so that a worker's round trip costs
little against the files it converts. A task never raises: a file that fails to load or
convert becomes a failed outcome with its message, and every other file still gets its output.
"""

from __future__ import annotations

import csv
import glob
import logging
import multiprocessing
import os
import sys
from collections import Counter
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import ProcessPoolExecutor, as_completed
from concurrent.futures.process import BrokenProcessPool
from dataclasses import dataclass
from typing import Any

from _orvpy_core import io

from orvpy.cli import export

SUFFIXES = {"json": ".json", "csv": "", "rate": ".rating.csv"}
RATINGS_TABLE = "ratings.csv"
ERRORS_TABLE = "errors.csv"


@dataclass(frozen=True)
class Task:
    """One input file: as reported (``source``), as read (``path``, absolute, so that workers in
    other folders find it) and where its output goes (a file, or a folder for CSV)."""

    source: str
    path: str
    output: str
    kind: str
    force: bool
    indent: int = -1


@dataclass(frozen=True)
class Outcome:
    source: str
    status: str  # "done", "skipped" or "failed"
    error: str = ""


def _identity(path: str) -> object:
    """What makes two paths one file: its device and inode (one system call, where resolving
    the path would take one per folder on the way), or the path itself if it cannot be read."""
    try:
        status = os.stat(path)
    except OSError:
        return os.path.abspath(path)
    return status.st_dev, status.st_ino


def find_inputs(inputs: Iterable[str]) -> tuple[list[str], list[str]]:
    """The data files named by files, folders (searched recursively for .orv) and globs, in path
    order without repeats; and the inputs that named none."""
    found: dict[object, str] = {}
    unmatched = []
    for item in inputs:
        candidates = [item] if os.path.exists(item) else sorted(glob.glob(item, recursive=True))
        matches = []
        for candidate in candidates:
            if os.path.isdir(candidate):
                matches += [os.path.join(root, name) for root, _, names in os.walk(candidate)
                            for name in names if name.lower().endswith(".orv")]
            else:
                matches.append(candidate)
        if not matches:
            unmatched.append(item)
        for match in matches:
            found.setdefault(_identity(match), match)
    return sorted(found.values()), unmatched


def _parents(relative: str) -> Iterator[str]:
    """The folders on a relative path: a/b/c.orv gives a and a/b."""
    folder = os.path.dirname(relative)
    while folder:
        yield folder
        folder = os.path.dirname(folder)


def plan(files: Sequence[str], kind: str, out: str, force: bool, indent: int = -1) -> list[Task]:
    """A task per file, its output at the file's path relative to the inputs' common folder,
    under ``out``. Two inputs whose names differ only in the extension keep it in the output's
    name, so that no output is written twice, as does an input whose output would take the name
    of a folder that holds other inputs' outputs (``c.orv`` beside ``c/``, converted to CSV
    folders)."""
    absolute = [os.path.abspath(f) for f in files]
    base = os.path.commonpath([os.path.dirname(a) for a in absolute]) if absolute else ""
    # Below the common folder by slicing: os.path.relpath costs as much as the rest together.
    relative = [a[len(base.rstrip(os.sep)) + 1:] for a in absolute]
    stems = [os.path.splitext(r)[0].lower() for r in relative]
    uses = Counter(stems)
    folders = {folder.lower() for r in relative for folder in _parents(r)}
    out = os.path.abspath(out)
    tasks = []
    for source, path, rel, stem in zip(files, absolute, relative, stems):
        unique = uses[stem] == 1 and stem + SUFFIXES[kind] not in folders
        name = os.path.splitext(rel)[0] if unique else rel
        tasks.append(Task(source, path, os.path.join(out, name + SUFFIXES[kind]), kind, force, indent))
    return tasks


def _up_to_date(output: str, source: str) -> bool:
    try:
        return os.stat(output).st_mtime_ns > os.stat(source).st_mtime_ns
    except OSError:
        return False


def run_task(task: Task) -> Outcome:
    """Converts one file; never raises."""
    try:
        if not task.force and _up_to_date(task.output, task.path):
            return Outcome(task.source, "skipped")
        export.refuse_overwriting(task.path, task.output)
        if task.kind == "json":
            export.check_readable(task.path)
            try:
                text = io.orvfile_to_json(task.path, task.indent, False)
            except (RuntimeError, ValueError) as error:
                raise export.CommandError(task.source, str(error)) from error
            with export.atomic_file(task.output) as f:
                f.write(text)
        elif task.kind == "csv":
            orv_file = export.load(task.path)
            with export.atomic_folder(task.output) as folder:
                export.write_csv_files(orv_file, folder)
        else:
            rows = export.rating_rows(task.path)
            for row in rows:
                row["file"] = task.source
            with export.atomic_file(task.output) as f:
                f.write(export.rows_as_csv(rows))
        return Outcome(task.source, "done")
    except export.CommandError as error:
        return Outcome(task.source, "failed", error.message)
    except Exception as error:  # one file's failure of any kind must not end the batch
        return Outcome(task.source, "failed", f"{type(error).__name__}: {error}")


def run_chunk(tasks: Sequence[Task]) -> list[Outcome]:
    return [run_task(task) for task in tasks]


def _chunks(tasks: Sequence[Task], jobs: int) -> list[list[Task]]:
    # Small enough that every worker gets several chunks, large enough to spare round trips.
    size = max(1, min(16, len(tasks) // (4 * jobs)))
    return [list(tasks[i:i + size]) for i in range(0, len(tasks), size)]


Progress = Callable[[int], None]


WORKER_DIED = "the worker process ended while converting this file (a crash, or out of memory)"


def _alone(task: Task, context: Any) -> Outcome:
    """The task in a worker of its own, so that a worker's death is charged to its file."""
    with ProcessPoolExecutor(1, mp_context=context) as pool:
        try:
            return pool.submit(run_chunk, [task]).result()[0]
        except BrokenProcessPool:
            return Outcome(task.source, "failed", WORKER_DIED)


def run_local(tasks: Sequence[Task], jobs: int, progress: Progress) -> list[Outcome]:
    """The tasks in this process (one job) or in a pool of worker processes. Should a worker die,
    the tasks whose results were lost run again one at a time, each in a worker of its own."""
    outcomes: list[Outcome] = []
    if jobs == 1:
        for chunk in _chunks(tasks, 1):
            outcomes += run_chunk(chunk)
            progress(len(chunk))
        return outcomes
    # Forked workers start at once, with orvpy already imported: a fresh interpreter per worker
    # would cost a tenth of a second each. This process runs no other thread (the progress bar's
    # monitor is off), so forking is safe; elsewhere than Linux, spawn.
    context = multiprocessing.get_context("fork" if sys.platform.startswith("linux") else "spawn")
    pool = ProcessPoolExecutor(jobs, mp_context=context)
    lost: list[Task] = []
    try:
        futures = {pool.submit(run_chunk, chunk): chunk for chunk in _chunks(tasks, jobs)}
        for future in as_completed(futures):
            try:
                done = future.result()
            except BrokenProcessPool:
                lost += futures[future]
                continue
            outcomes += done
            progress(len(done))
    except BaseException:
        # Interrupted: the chunks not yet started are dropped rather than waited for.
        pool.shutdown(wait=False, cancel_futures=True)
        raise
    pool.shutdown()
    for task in lost:
        export.remove_orphans(task.output)
        outcomes.append(_alone(task, context))
        progress(1)
    return outcomes


def run_dask(tasks: Sequence[Task], jobs: int, scheduler: str, progress: Progress, distributed: Any) -> list[Outcome]:
    """The tasks on a Dask cluster: a local one on 127.0.0.1 (``local``) or the scheduler at
    ``scheduler``, whose workers must see the same paths."""
    cluster = None
    if scheduler == "local":
        cluster = distributed.LocalCluster(n_workers=jobs, threads_per_worker=1, processes=True, host="127.0.0.1",
                                           dashboard_address=None, silence_logs=logging.ERROR)
    client = distributed.Client(cluster if cluster is not None else scheduler)
    try:
        outcomes: list[Outcome] = []
        chunks = _chunks(tasks, jobs)
        futures = client.map(run_chunk, chunks, pure=False)
        chunk_of = {future.key: chunk for future, chunk in zip(futures, chunks)}
        lost: list[Task] = []
        for future in distributed.as_completed(futures):
            try:
                done = future.result()
            except Exception:  # the scheduler gave up on the chunk: its workers died
                lost += chunk_of[future.key]
                continue
            outcomes += done
            progress(len(done))
        # Alone, a task whose workers die again is charged to its own file.
        for task in lost:
            export.remove_orphans(task.output)
        for task, future in zip(lost, client.map(run_chunk, [[task] for task in lost], pure=False)):
            try:
                outcomes += future.result()
            except Exception as error:
                outcomes.append(Outcome(task.source, "failed", f"{WORKER_DIED}: {type(error).__name__}: {error}"))
            progress(1)
        return outcomes
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def write_tables(tasks: Sequence[Task], outcomes: Sequence[Outcome], unmatched: Sequence[str], out: str) -> None:
    """errors.csv (every failed file and input that named no file), and for ratings the table of
    every data set of every file, in input order, from the per-file tables."""
    failed = {o.source: o.error for o in outcomes if o.status == "failed"}
    with export.atomic_file(os.path.join(out, ERRORS_TABLE)) as f:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(["file", "error"])
        writer.writerows([item, "no such file or folder, and no .orv file matches"] for item in unmatched)
        writer.writerows([task.source, failed[task.source]] for task in tasks if task.source in failed)
    if tasks and tasks[0].kind == "rate":
        with export.atomic_file(os.path.join(out, RATINGS_TABLE)) as f:
            header_written = False
            for task in tasks:
                if task.source in failed:
                    continue
                with open(task.output, encoding="utf-8") as table:
                    lines = table.readlines()
                f.writelines(lines if not header_written else lines[1:])
                header_written = True
            if not header_written:
                f.write(export.rows_as_csv([]))
