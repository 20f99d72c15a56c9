"""Time ``orv batch --to json`` over 2,000 data files with one and with two worker processes.

Run with the module's build directory and the package folder on PYTHONPATH, for example:

    PYTHONPATH=build/python3.11:python /usr/bin/python3 bench/bench_cli.py

The files are copies of one generated data file of three lenses measured every 0.5 nm from 280
to 780 nm (3,003 points, about 50 kB), a day's output of an automated lens-testing bench. Each
run converts every file afresh (--force) into an empty folder; the figure is the best of two
runs. Nothing is asserted: the script prints files per second and the scaling.
"""

import math
import os
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
    datasets = [(f"Lens {s + 1}", [(280.0 + 0.5 * i, 50 + 40 * math.sin(i / 50 + s)) for i in range(1001)])
                for s in range(3)]
    data = w.container(w.contents(datasets, type_and_units="Transmittance / %")[0])
    for i in range(FILES):
        with open(os.path.join(folder, f"lens{i:04d}.orv"), "wb") as f:
            f.write(data)
    return len(data)


def batch_seconds(inputs, out, jobs):
    best = math.inf
    for _ in range(2):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-m", "orvpy", "batch", inputs, "--to", "json", "--out", out,
                        "--jobs", str(jobs), "--force", "--quiet"], check=True, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    with tempfile.TemporaryDirectory() as folder:
        inputs = os.path.join(folder, "in")
        os.mkdir(inputs)
        size = make_inputs(inputs)
        print(f"Python {sys.version.split()[0]}; orv batch --to json over {FILES:,} files of {size / 1e3:.0f} kB, "
              f"{os.cpu_count()} cores")
        one = batch_seconds(inputs, os.path.join(folder, "out1"), 1)
        two = batch_seconds(inputs, os.path.join(folder, "out2"), 2)
    print(f"  --jobs 1: {one:6.2f} s, {FILES / one:6.0f} files/s")
    print(f"  --jobs 2: {two:6.2f} s, {FILES / two:6.0f} files/s")
    print(f"  scaling x{one / two:.2f} (goal >= {GOAL}x: {'yes' if one / two >= GOAL else 'no'})")


if __name__ == "__main__":
    main()
