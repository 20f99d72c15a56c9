"""Time ``import orvpy`` in a fresh interpreter, and ``orv batch --to json`` over 2,000 data files
with one and with two worker processes.

Run with the module's build directory and the package folder on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11:python /usr/bin/python3 bench/bench_cli.py [--runs 3]

``import orvpy`` is timed as a whole process (python -c "import orvpy"), against the interpreter
alone (python -c pass) and the extension alone (python -c "import _orvpy_core"), the three
alternated, best of ten each, in every run.

The files are copies of one generated data file of three lenses measured every 0.5 nm from 280
to 780 nm (3,003 points, about 50 kB), a day's output of an automated lens-testing bench. Each
run converts every file into an empty folder; the runs alternate, and each figure is the best
of five in memory, of two on disk. Beside each scaling the machine's own is printed: two
processes hashing against one. Nothing is asserted: the script prints files per second and the
scaling.

The scaling against the goal is measured in memory (tmpfs, /dev/shm), where writing costs
little. It is measured again on the disk of the temporary folder next to its peer: the same
bytes written by plain Python from one and from two processes. On a machine whose file system
serialises writes, that peer does not scale either, and neither can a batch on that disk.
"""

import argparse
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
from benchlib import Figures, machine_scaling  # noqa: E402

FILES = 2000
GOAL = 1.7
IMPORT_GOAL = 0.025  # seconds for a whole process importing orvpy


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


def process_seconds(code, repeat=10):
    """The best wall time of a fresh interpreter running code."""
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", code], check=True)
        best = min(best, time.perf_counter() - start)
    return best


def import_figures(runs):
    figures = Figures()
    for run in range(runs):
        times = {code: math.inf for code in ("pass", "import _orvpy_core", "import orvpy")}
        for _ in range(3):
            for code in times:
                times[code] = min(times[code], process_seconds(code, repeat=4))
        print(f" Run {run + 1} of {runs}")
        figures.add(
            "python -c 'import orvpy'",
            times["import orvpy"],
            floor_name="import _orvpy_core",
            floor=times["import _orvpy_core"],
            goal=IMPORT_GOAL / times["import _orvpy_core"],
        )
        figures.add(
            "python -c 'import _orvpy_core'",
            times["import _orvpy_core"],
            floor_name="python -c pass",
            floor=times["pass"],
        )
    figures.summary(
        f"import orvpy (goal: at most {IMPORT_GOAL * 1e3:.0f} ms for the whole process; the goal "
        f"ratio is that over the extension alone)"
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="how many times the import is measured")
    print(f"Python {sys.version.split()[0]}")
    import_figures(parser.parse_args().runs)
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
        print(f"  {'the machine now: two processes hashing':<44} x{machine_scaling():.2f}")
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
        print(f"  {'the machine now: two processes hashing':<44} x{machine_scaling():.2f}")


if __name__ == "__main__":
    main()
