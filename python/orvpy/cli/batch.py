"""``orv batch``: many data files converted in parallel, on local processes or a Dask cluster.

Each input file is one task; tasks travel in small chunks so that a worker's round trip costs
little against the files it converts. A task never raises: a file that fails to load or
convert becomes a failed outcome with its message, and every other file still gets its output.
An output is replaced only when orv batch made it, and made again only when its input's content
or the options that shape it changed (``--force``: always).
"""

from __future__ import annotations

import csv
import fnmatch
import glob
import io as _text
import json
import logging
import os
import signal
from collections import Counter
from collections.abc import Callable, Iterable, Iterator, Mapping, Sequence
from contextlib import suppress
from dataclasses import dataclass, field
from typing import Any

from _orvpy_core import io

from orvpy.cli import escaping, export, files, lenses, pool
from orvpy.cli.files import CommandError

SUFFIXES = {"json": ".json", "csv": "", "rate": ".rating.csv"}
RATINGS_TABLE = "ratings.csv"
ERRORS_TABLE = "errors.csv"
WORKER_DIED = "the worker process ended while converting this file (a crash, or out of memory)"
NOT_IMPORTABLE = "orvpy is not importable on the worker"


@dataclass(frozen=True)
class Task:
    """One input file of a batch, and where its output goes.

    Attributes
    ----------
    source : str
        The file as reported.
    path : str
        The file as read: absolute, so that workers in other folders find it.
    output : str
        Where its output goes: a file, or a folder for CSV.
    kind : {"json", "csv", "rate"}
        What to make of it.
    force : bool
        Convert it even when its output is up to date.
    options : mapping
        The options that shape the output (recorded with it).
    clash : str
        Why the output must not be written, found before the task runs; empty when it may.
    """

    source: str
    path: str
    output: str
    kind: str
    force: bool
    options: Mapping[str, Any] = field(default_factory=dict)
    clash: str = ""  # why the output must not be written, found before the task runs


@dataclass(frozen=True)
class Outcome:
    """What became of one task.

    Attributes
    ----------
    source : str
        The input file as reported.
    status : {"done", "skipped", "failed"}
        Converted, up to date, or failed.
    error : str
        Why it failed; empty otherwise.
    """

    source: str
    status: str  # "done", "skipped" or "failed"
    error: str = ""


def _identity(path: str) -> object:
    """Return what makes two paths one file.

    That is its device and inode (one system call, where resolving the path would take one per
    folder on the way), or the path itself if it cannot be read.
    """
    try:
        status = os.stat(path)
    except OSError:
        return os.path.abspath(path)
    return status.st_dev, status.st_ino


Problems = list[tuple[str, str]]


def _unreadable(problems: Problems) -> Callable[[OSError], None]:
    def report(error: OSError) -> None:
        problems.append((os.fsdecode(error.filename or ""), f"this folder cannot be read: {files.reason(error)}"))

    return report


def _glob(pattern: str, problems: Problems) -> list[str]:
    """Return the paths a glob pattern matches.

    ``**`` stands for a folder and every folder below it, entered by no symlink, so that a symlink
    loop is never walked round.
    """
    if "**" not in pattern:
        return glob.glob(pattern)
    paths = [os.sep] if os.path.isabs(pattern) else [""]
    parts = [part for part in pattern.split(os.sep) if part]
    for index, part in enumerate(parts):
        last = index == len(parts) - 1
        found: list[str] = []
        for base in paths:
            if part == "**":
                for root, folders, names in os.walk(base or os.curdir, onerror=_unreadable(problems)):
                    folders[:] = [f for f in folders if f[0] != "." and not os.path.islink(os.path.join(root, f))]
                    root = root if base else root[len(os.curdir) + 1 :]
                    # The current folder, "", is a base for the next part, never a match itself.
                    found += [root] if root or not last else []
                    found += [os.path.join(root, name) for name in names if name[0] != "."] if last else []
                continue
            magic = glob.has_magic(part)
            try:
                names = fnmatch.filter(os.listdir(base or os.curdir), part) if magic else [part]
            except OSError:
                continue
            for name in names:
                path = os.path.join(base, name)
                hidden = magic and name[0] == "." and part[0] != "."
                if not hidden and (os.path.lexists(path) if last else os.path.isdir(path)):
                    found.append(path)
        paths = list(dict.fromkeys(found))
    return paths


def find_inputs(inputs: Iterable[str]) -> tuple[list[str], Problems]:
    """Return the data files named by files, folders and globs, and the inputs that named none.

    Parameters
    ----------
    inputs : iterable of str
        Files, folders (searched recursively for .orv) and globs.

    Returns
    -------
    files : list of str
        The data files, in path order without repeats.
    problems : list of (str, str)
        Each input that named none, or folder that could not be read, with the reason.
    """
    found: dict[object, str] = {}
    problems: Problems = []
    for item in inputs:
        candidates = [item] if os.path.lexists(item) else sorted(_glob(item, problems))
        matches = []
        for candidate in candidates:
            if os.path.isdir(candidate):
                matches += [
                    os.path.join(root, name)
                    for root, _, names in os.walk(candidate, onerror=_unreadable(problems))
                    for name in names
                    if name.lower().endswith(".orv")
                ]
            else:
                matches.append(candidate)
        if not matches:
            problems.append(
                (
                    item,
                    "a folder holding no .orv file"
                    if os.path.isdir(item)
                    else "no such file or folder, and no .orv file matches",
                )
            )
        for match in matches:
            found.setdefault(_identity(match), match)
    return sorted(found.values()), list(dict.fromkeys(problems))  # a folder both walked and globbed: once


def _parents(relative: str) -> Iterator[str]:
    """Return the folders on a relative path: a/b/c.orv gives a and a/b."""
    folder = os.path.dirname(relative)
    while folder:
        yield folder
        folder = os.path.dirname(folder)


def plan(
    files: Sequence[str], kind: str, out: str, force: bool, options: Mapping[str, Any] | None = None
) -> list[Task]:
    """Return a task per file, its output at the file's path relative to the inputs' common folder, under ``out``.

    Two inputs whose names differ only in the extension keep it in the output's name, so that no
    output is written twice, as does an input whose output would take the name of a folder that
    holds other inputs' outputs (``c.orv`` beside ``c/``, converted to CSV folders). An output
    that is itself an input, or a folder holding one, is refused.
    """
    absolute = [os.path.abspath(f) for f in files]
    base = os.path.commonpath([os.path.dirname(a) for a in absolute]) if absolute else ""
    # Below the common folder by slicing: os.path.relpath costs as much as the rest together.
    relative = [a[len(base.rstrip(os.sep)) + 1 :] for a in absolute]
    stems = [os.path.splitext(r)[0].lower() for r in relative]
    uses = Counter(stems)
    folders = {folder.lower() for r in relative for folder in _parents(r)}
    inputs = {_identity(a) for a in absolute}
    holding: set[str] = set()  # every folder an input is in, at any depth
    for a in absolute:
        folder = os.path.dirname(a)
        while folder not in holding and folder != os.path.dirname(folder):
            holding.add(folder)
            folder = os.path.dirname(folder)
    out = os.path.abspath(out)
    tasks = []
    for source, path, rel, stem in zip(files, absolute, relative, stems):
        unique = uses[stem] == 1 and stem + SUFFIXES[kind] not in folders
        output = os.path.join(out, (os.path.splitext(rel)[0] if unique else rel) + SUFFIXES[kind])
        clash = ""
        if os.path.lexists(output) and _identity(output) in inputs:
            clash = "is an input file; the output would replace it"
        elif kind == "csv" and output in holding:
            clash = "holds input files; the output folder would replace it"
        tasks.append(Task(source, path, output, kind, force, dict(options or {}), clash))
    return tasks


def run_task(task: Task) -> Outcome:
    """Convert one file, unless its output is up to date; never raises."""
    try:
        if task.clash:
            raise CommandError(task.output, task.clash)
        files.check_readable(task.path)
        # JSON's own round trip, so that the record read back compares equal.
        made_from = json.loads(
            json.dumps({"input": files.fingerprint(task.path), "kind": task.kind, "options": task.options})
        )
        previous = files.claim(task.output, folder=task.kind == "csv")
        if previous is not None and previous.current and previous.made_from == made_from and not task.force:
            return Outcome(task.source, "skipped")
        if task.kind == "json":
            try:
                text = io.orvfile_to_json(task.path, int(task.options.get("indent", -1)), False)
            except (RuntimeError, ValueError) as error:
                raise CommandError(task.source, str(error)) from error
            with files.owned_file(task.output, made_from, previous) as f:
                f.write(text)
        elif task.kind == "csv":
            orv_file = files.load(task.path)
            with files.atomic_folder(task.output) as folder:
                for name, text in export.csv_texts(orv_file):
                    with open(os.path.join(folder, name), "w", encoding="utf-8", newline="") as f:
                        f.write(text)
                files.write_record(folder, made_from)
        else:
            rows = export.rating_rows(
                task.path, str(task.options.get("method", "integral")), *lenses.task_rules(task.options)
            )
            for row in rows:
                row["file"] = task.source
            with files.owned_file(task.output, made_from, previous) as f:
                f.write(export.rows_as_csv(rows))
        return Outcome(task.source, "done")
    except CommandError as error:
        # The file's own errors name the file, which errors.csv lists already; others their path.
        return Outcome(task.source, "failed", error.message if error.path in (task.source, task.path) else str(error))
    except Exception as error:  # one file's failure of any kind must not end the batch
        return Outcome(task.source, "failed", f"{type(error).__name__}: {error}")


def run_chunk(tasks: Sequence[Task]) -> list[Outcome]:
    """Run a chunk of tasks in turn, as a Dask worker does; never raises."""
    return [run_task(task) for task in tasks]


def _chunks(tasks: Sequence[Task], jobs: int) -> list[list[Task]]:
    # Small enough that every worker gets several chunks, large enough to spare round trips.
    size = max(1, min(16, len(tasks) // (4 * jobs)))
    return [list(tasks[i : i + size]) for i in range(0, len(tasks), size)]


Progress = Callable[[int], None]


def sweep(tasks: Iterable[Task], *folders: str) -> None:
    """Remove the temporary files that runs killed in the middle of a write left behind.

    Those beside these tasks' outputs and their records are removed, and those in ``folders``.
    """
    outputs = [os.path.dirname(task.output) for task in tasks]
    for folder in dict.fromkeys([*outputs, *(os.path.abspath(f) for f in folders)]):
        files.sweep(folder)
        files.sweep(os.path.join(folder, files.RECORDS))


def run_local(tasks: Sequence[Task], jobs: int, progress: Progress) -> list[Outcome]:
    """Run the tasks in this process (one job) or in worker processes, never more than there are tasks.

    A worker that dies costs only the file it was converting; the others go on.
    """
    outcomes: list[Outcome] = []
    if jobs == 1:
        for task in tasks:
            outcomes.append(run_task(task))
            progress(1)
        return outcomes

    def done(task: Task, outcome: Outcome) -> None:
        outcomes.append(outcome)
        progress(1)

    def died(task: Task) -> None:
        sweep([task])
        done(task, Outcome(task.source, "failed", WORKER_DIED))

    # run_task as it is now, not as it was imported: a test may stand another in for it.
    pool.run(_chunks(tasks, jobs), jobs, run_task, done, died, lambda task: sweep([task]))
    return outcomes


def _worker_failure(error: BaseException) -> str:
    """Return why a Dask worker could not run a task: orvpy missing there, or the worker's death."""
    if isinstance(error, ImportError) and (error.name or "").split(".")[0] in ("orvpy", "_orvpy_core"):
        return f"{NOT_IMPORTABLE} ({error})"
    return f"{WORKER_DIED}: {type(error).__name__}: {error}"


def dask_setup(worker: Any) -> None:
    """Set up a worker of a local cluster: Dask runs this in each as it starts.

    The Ctrl-C that reaches every process of the terminal's group is for this command to handle
    (it closes the cluster), not for the workers to die of with a traceback.
    """
    with suppress(ValueError):  # a worker whose event loop runs in another thread than the main one
        signal.signal(signal.SIGINT, signal.SIG_IGN)


def run_dask(tasks: Sequence[Task], jobs: int, scheduler: str, progress: Progress, distributed: Any) -> list[Outcome]:
    """Run the tasks on a Dask cluster.

    The cluster is a local one on 127.0.0.1 (``local``) or the scheduler at ``scheduler``, whose
    workers must see the same paths. A scheduler that does not answer within Dask's connect
    timeout (30 s unless configured) ends the batch with OSError.
    """
    cluster = None
    if scheduler == "local":
        # Each worker runs dask_setup below as it starts, and reads its logging level from the
        # environment before it is told another: the command stays quiet, its failures are in
        # errors.csv.
        os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")
        cluster = distributed.LocalCluster(
            n_workers=max(1, min(jobs, len(tasks))),
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            # The scheduler's web server always starts: on a free port of the loopback interface
            # it neither collides with another cluster's (8787) nor listens beyond this machine.
            dashboard_address="127.0.0.1:0",
            scheduler_kwargs={"dashboard": False},
            silence_logs=logging.CRITICAL,
            preload=[__name__],
        )
    try:
        client = distributed.Client(cluster if cluster is not None else scheduler)
    except BaseException:
        if cluster is not None:
            cluster.close()
        raise
    try:
        outcomes: list[Outcome] = []
        chunks = _chunks(tasks, jobs)
        futures = client.map(run_chunk, chunks, pure=False)
        chunk_of = {future.key: chunk for future, chunk in zip(futures, chunks)}
        lost: list[Task] = []
        for future in distributed.as_completed(futures):
            try:
                done = future.result()
            except Exception:  # the scheduler gave up on the chunk, or could not start it
                lost += chunk_of[future.key]
                continue
            outcomes += done
            progress(len(done))
        # Alone, a task whose workers die again is charged to its own file.
        sweep(lost)
        for task, future in zip(lost, client.map(run_chunk, [[task] for task in lost], pure=False)):
            try:
                outcomes += future.result()
            except Exception as error:
                outcomes.append(Outcome(task.source, "failed", _worker_failure(error)))
            progress(1)
        return outcomes
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def write_tables(tasks: Sequence[Task], outcomes: Sequence[Outcome], problems: Problems, out: str) -> None:
    """Write errors.csv, and for ratings the table of every data set of every file.

    errors.csv lists every input that named no file, folder that could not be read and file that
    failed; the ratings table holds every data set of every file, in input order, from the
    per-file tables. A table that cannot be written does not keep the other from being written;
    CommandError then names the first.
    """
    failed = {o.source: o.error for o in outcomes if o.status == "failed"}
    ratings: list[str] = []
    if tasks and tasks[0].kind == "rate":
        for task in tasks:
            if task.source in failed:
                continue
            try:
                with open(task.output, encoding="utf-8", errors="surrogateescape") as table:
                    lines = table.readlines()
            except OSError as error:
                failed[task.source] = f"{task.output}: {files.reason(error)}"
                continue
            ratings += lines if not ratings else lines[1:]
    errors: list[CommandError] = []
    rows = [*problems, *((task.source, failed[task.source]) for task in tasks if task.source in failed)]
    tables = [(ERRORS_TABLE, "".join(_csv_line([escaping.cell(c) for c in row]) for row in [("file", "error"), *rows]))]
    if tasks and tasks[0].kind == "rate":
        tables.append((RATINGS_TABLE, "".join(ratings) or export.rows_as_csv([])))
    for name, text in tables:
        path = os.path.join(out, name)
        try:
            with files.owned_file(path, {"kind": "table"}, files.claim(path, folder=False)) as f:
                f.write(text)
        except CommandError as error:
            errors.append(error)
    if errors:
        raise errors[0]


def _csv_line(row: Sequence[str]) -> str:
    text = _text.StringIO()
    csv.writer(text, lineterminator="\n").writerow(row)
    return text.getvalue()
