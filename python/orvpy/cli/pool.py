"""Worker processes for ``orv batch`` that stop when told, die with the command and survive each other.

Each worker takes a chunk of tasks and answers one result per task, so that when a worker dies
only the task it was working on is lost: the rest of its chunk goes back to the queue and a new
worker takes its place. An interrupt (SIGINT, SIGTERM, SIGHUP) stops every worker and removes
what they were writing; a worker whose command was killed outright ends too.
"""

from __future__ import annotations

import ctypes
import multiprocessing
import os
import signal
import sys
import threading
import time
from collections import deque
from collections.abc import Callable, Sequence
from multiprocessing.connection import Connection, wait
from typing import Any, Generic, TypeVar

Task = TypeVar("Task")
Result = TypeVar("Result")

# Signals that stop the command: held back while a worker is forked, so that none reaches a
# worker before it has set its own handlers.
STOPPING = tuple(getattr(signal, name) for name in ("SIGINT", "SIGTERM", "SIGHUP") if hasattr(signal, name))
# A worker told to stop has this long to remove its temporary file before it is killed.
GRACE_S = 2.0
_PR_SET_PDEATHSIG = 1


def _end_worker(signum: int, frame: Any) -> None:
    raise SystemExit(128 + signum)  # unwinds through the writers, which remove their temporary files


def _die_with(parent: int) -> None:
    """End this worker when the process that forked it ends, however it ends."""
    if sys.platform.startswith("linux"):
        ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)
    else:

        def watch() -> None:
            while os.getppid() == parent:
                time.sleep(0.5)
            os.kill(os.getpid(), signal.SIGTERM)

        threading.Thread(target=watch, daemon=True).start()
    if os.getppid() != parent:  # it ended before the line above took effect
        raise SystemExit(1)


def _serve(conn: Connection, parent: int, inherited: Sequence[Connection], work: Callable[[Any], Any]) -> None:
    # A Ctrl-C reaches every process of the terminal's group: the command stops the workers itself.
    for signum in STOPPING:
        signal.signal(signum, _end_worker if signum == signal.SIGTERM else signal.SIG_IGN)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, STOPPING)
    _die_with(parent)
    for other in inherited:  # the command's ends of the other workers' pipes, copied by fork
        other.close()
    while True:
        try:
            chunk = conn.recv()
        except EOFError:
            return
        if chunk is None:
            return
        for task in chunk:
            conn.send(work(task))


class _Worker(Generic[Task]):
    def __init__(self, context: Any, work: Callable[[Task], Any], others: Sequence[_Worker[Task]]) -> None:
        self.conn, child = context.Pipe()
        inherited = [w.conn for w in others] + [self.conn] if context.get_start_method() == "fork" else []
        self.process = context.Process(target=_serve, args=(child, os.getpid(), inherited, work), daemon=True)
        mask = signal.pthread_sigmask(signal.SIG_BLOCK, STOPPING)
        try:
            self.process.start()
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, mask)
            child.close()
        self.pending: deque[Task] = deque()


def run(
    chunks: Sequence[Sequence[Task]],
    jobs: int,
    work: Callable[[Task], Result],
    done: Callable[[Task, Result], None],
    died: Callable[[Task], None],
    abandoned: Callable[[Task], None],
) -> None:
    """Run ``work`` on every task in at most ``jobs`` worker processes, never more than there are tasks.

    ``work`` must be picklable where processes are spawned, not forked.

    Parameters
    ----------
    chunks : sequence of sequence of Task
        The tasks, in the chunks a worker takes at once.
    jobs : int
        The most worker processes.
    work : callable
        Run on each task in a worker; what it returns is the task's result.
    done : callable
        Gets each task's result.
    died : callable
        Gets each task whose worker ended while working on it.
    abandoned : callable
        After an interrupt has stopped every worker, gets each task a worker was working on or had
        yet to start (to remove what it was writing).
    """
    # Forked workers start at once, with orvpy already imported; the command runs no other thread
    # while it forks. Elsewhere than Linux, spawn.
    context = multiprocessing.get_context("fork" if sys.platform.startswith("linux") else "spawn")
    queue = deque(chunks)
    workers: list[_Worker[Task]] = []
    idle: list[_Worker[Task]] = []
    finished = False
    try:
        for _ in range(min(jobs, len(queue))):
            workers.append(_Worker(context, work, workers))
        idle = list(workers)
        while queue or len(idle) < len(workers):
            while queue and idle:
                worker = idle.pop()
                worker.pending.extend(queue.popleft())
                try:
                    worker.conn.send(list(worker.pending))
                except OSError:  # it ended while idle: its chunk goes back, unstarted
                    queue.appendleft(list(worker.pending))
                    worker.pending.clear()
                    _replace(worker, workers, idle, context, work)
            busy = [w for w in workers if w.pending]
            ready = set(wait([w.conn for w in busy] + [w.process.sentinel for w in busy]))
            for worker in busy:
                if worker.conn not in ready and worker.process.sentinel not in ready:
                    continue
                if _collect(worker, done):
                    if not worker.pending:
                        idle.append(worker)
                    continue
                if worker.pending:
                    died(worker.pending.popleft())
                if worker.pending:
                    queue.appendleft(list(worker.pending))
                    worker.pending.clear()
                _replace(worker, workers, idle, context, work if queue else None)
        finished = True
    finally:
        _stop(workers, finished, abandoned)


def _collect(worker: _Worker[Task], done: Callable[[Task, Any], None]) -> bool:
    """Hand on the results the worker has sent; False once it has ended."""
    try:
        while worker.pending and worker.conn.poll():
            result = worker.conn.recv()  # first: at the end of the pipe, the task stays pending
            done(worker.pending.popleft(), result)
    except (EOFError, OSError):
        return False
    return bool(worker.process.is_alive())


def _replace(
    worker: _Worker[Task],
    workers: list[_Worker[Task]],
    idle: list[_Worker[Task]],
    context: Any,
    work: Callable[[Task], Any] | None,
) -> None:
    """Retire a worker that has ended; with ``work``, start another in its place."""
    workers.remove(worker)
    worker.process.join()
    worker.conn.close()
    if work is not None:
        workers.append(_Worker(context, work, workers))
        idle.append(workers[-1])


def _stop(workers: Sequence[_Worker[Task]], finished: bool, abandoned: Callable[[Task], None]) -> None:
    """End the workers: told to, after the last task; else by SIGTERM, then SIGKILL.

    Workers are told to end after the last task; else (an interrupt, an error) they get SIGTERM,
    then SIGKILL for any still running after the grace period. The second interrupt a user may
    give while this runs is ignored: it must not leave workers or files behind.
    """
    previous = {number: signal.signal(number, signal.SIG_IGN) for number in STOPPING} if not finished else {}
    try:
        for worker in workers:
            if finished:
                try:
                    worker.conn.send(None)
                except OSError:
                    pass
            else:
                worker.process.terminate()
        deadline = time.monotonic() + (GRACE_S if not finished else 60.0)
        for worker in workers:
            worker.process.join(max(0.0, deadline - time.monotonic()))
            if worker.process.is_alive():
                worker.process.kill()
                worker.process.join()
            worker.conn.close()
        if not finished:
            for worker in workers:
                for task in worker.pending:
                    abandoned(task)
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)
