"""Time ``orv batch --to json`` over 2,000 data files with one and with two worker processes.

Run with the module's build directory and the package folder on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11:python /usr/bin/python3 bench/bench_cli.py

The files are copies of one generated data file of three lenses measured every 0.5 nm from 280
to 780 nm (3,003 points, about 50 kB), a day's output of an automated lens-testing bench. Each
run converts every file into an empty folder; the runs alternate, and each figure is the best
of five in memory, of two on disk. Nothing is asserted: the script prints files per second and the scaling.

The scaling against the goal is measured in memory (tmpfs, /dev/shm), where writing costs
little. It is measured again on the disk of the temporary folder next to its peer: the same
bytes written by plain Python from one and from two processes. On a machine whose file system
serialises writes, that peer does not scale either, and neither can a batch on that disk.
"""

import math
import multiprocessing
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))

import orvfile_writer as w  # noqa: E402

FILES = 2000
GOAL = 1.7


def make_inputs(folder):
    datasets = [
        (f"Lens {s + 1}", [(280.0 + 0.5 * i, 50 + 40 * math.sin(i / 50 + s)) for i in range(1001)]) for s in range(3)
    ]
    data = w.container(w.contents(datasets, type_and_units="Transmittance / %")[0])
    os.mkdir(folder)
    for i in range(FILES):
        with open(os.path.join(folder, f"lens{i:04d}.orv"), "wb") as f:
            f.write(data)
    return len(data)


def timed(run, out):
    """One timed run into an empty folder. Earlier outputs are removed and everything written is
    flushed before the clock starts: deleting or writing back files during a timed run would
    charge it with file-system work that is not its own."""
    shutil.rmtree(out, ignore_errors=True)
    os.sync()
    start = time.perf_counter()
    run(out)
    return time.perf_counter() - start


def best_pair(run_one, run_two, out, repeat=5):
    """Best of several for each, alternated, so that a slow spell of the machine hits both alike."""
    one = two = math.inf
    for _ in range(repeat):
        one = min(one, timed(run_one, out))
        two = min(two, timed(run_two, out))
    return one, two


def batch(inputs, jobs):
    def run(out):
        subprocess.run(
            [
                sys.executable,
                "-m",
                "orvpy",
                "batch",
                inputs,
                "--to",
                "json",
                "--out",
                out,
                "--jobs",
                str(jobs),
                "--quiet",
            ],
            check=True,
            stderr=subprocess.DEVNULL,
        )

    return run


def _write(args):
    folder, first, count, size = args
    data = b"x" * size
    for i in range(first, first + count):
        with open(os.path.join(folder, f"f{i}"), "wb") as f:
            f.write(data)


def plain_writes(size, processes):
    def run(out):
        os.mkdir(out)
        share = FILES // processes
        with multiprocessing.get_context("fork").Pool(processes) as pool:
            pool.map(_write, [(out, i * share, share, size) for i in range(processes)])

    return run


def report(label, one, two, goal=None):
    verdict = "" if goal is None else f" (goal >= {goal}x: {'yes' if one / two >= goal else 'no'})"
    print(
        f"  {label:<44} 1 job {one:5.2f} s ({FILES / one:5.0f} files/s), 2 jobs {two:5.2f} s "
        f"({FILES / two:5.0f} files/s): x{one / two:.2f}{verdict}"
    )


def main():
    memory = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(dir=memory) as fast, tempfile.TemporaryDirectory() as disk:
        size = make_inputs(os.path.join(fast, "in"))
        print(
            f"Python {sys.version.split()[0]}; orv batch --to json over {FILES:,} files of {size / 1e3:.0f} kB, "
            f"{os.cpu_count()} cores"
        )
        inputs = os.path.join(fast, "in")
        one, two = best_pair(batch(inputs, 1), batch(inputs, 2), os.path.join(fast, "out"))
        report(f"in memory ({memory or tempfile.gettempdir()})", one, two, GOAL)
        output_size = os.path.getsize(os.path.join(fast, "out", "lens0000.json"))
        shutil.copytree(inputs, os.path.join(disk, "in"))
        one, two = best_pair(
            batch(os.path.join(disk, "in"), 1), batch(os.path.join(disk, "in"), 2), os.path.join(disk, "out"), repeat=2
        )
        report(f"on disk ({tempfile.gettempdir()})", one, two)
        one, two = best_pair(
            plain_writes(output_size, 1), plain_writes(output_size, 2), os.path.join(disk, "peer"), repeat=2
        )
        report(f"peer: plain writes of {output_size / 1e3:.0f} kB, on disk", one, two)


if __name__ == "__main__":
    main()
