"""Time data-file parsing, JSON export and CSV loading against Python peers.

Run with the build directory of the interpreter on PYTHONPATH, under an interpreter that has
numpy and olefile (Debian's python3-numpy and python3-olefile), for example:

    PYTHONPATH=build/python3.11 /usr/bin/python3 bench/bench_io.py

One generated data file of about 10 MB (600,000 points in three data sets) is parsed from a
bytearray, against olefile reading its "Contents" stream plus numpy decoding the points; its
JSON text is made, against json.dumps of the same document; and the same points as CSV are
loaded, against numpy.loadtxt. Every figure is the best of several runs. Last, load_csv's peak
memory on a 300 MB file, against the size of its points. Nothing is asserted: the script prints
throughput and ratios.
"""

import json
import math
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))

import orvfile_writer as w  # noqa: E402
from _orvpy_core import io  # noqa: E402

try:
    import numpy as np
except ImportError:
    np = None
try:
    import olefile
except ImportError:
    olefile = None

POINTS_PER_SET = 200_000
SETS = 3


def best(function, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return min(times)


def make_file():
    datasets = []
    for s in range(SETS):
        # Three detectors side by side: 300-800, 800-1300 and 1300-1800 nm.
        points = [(300.0 + 500.0 * s + 0.0025 * i, 0.5 + 0.4 * math.sin(i / 5000.0 + s)) for i in range(POINTS_PER_SET)]
        datasets.append(("Lens %d" % (s + 1), points))
    stream, offsets = w.contents(datasets)
    return datasets, w.container(stream), offsets


def olefile_and_numpy(data, offsets):
    """The peer: olefile finds and reads the stream, numpy decodes every point block."""
    with olefile.OleFileIO(data) as ole:
        stream = ole.openstream("Contents").read()
    return [
        np.frombuffer(stream, dtype="<f8", count=2 * POINTS_PER_SET, offset=offsets[s]).reshape(-1, 2)
        for s in range(SETS)
    ]


def python_document(f):
    """The JSON document of the file as Python objects, for json.dumps."""

    def units(u):
        return {
            "measurement_type": u.measurement_type,
            "measurement_type_code": u.measurement_type_code,
            "units": u.units,
            "units_code": u.units_code,
        }

    info = f.data_info
    return {
        "data_info": {
            name: units(getattr(info, name)) if name.endswith("type_and_units") else getattr(info, name)
            for name in sorted(n for n in dir(info) if not n.startswith("_"))
        },
        "data_sets": [
            {"data": {"x": s.data.wavelengths(), "y": s.data.values()}, "name": s.name, "no_of_points": s.no_of_points}
            for s in f.data_sets
        ],
        "graph": {
            "gv_version": f.graph.gv_version,
            "x_axis_title": f.graph.x_axis_title,
            "y_axis_title": f.graph.y_axis_title,
        },
        "meta": {"file_version": f.meta.file_version, "has_timestamps": f.meta.has_timestamps, "x_type": f.meta.x_type},
    }


def report(rows):
    print(
        f"\n{'figure':<44} {'library':>10} {'MB/s':>8} {'peer':<34} {'peer time':>10} {'speed-up':>9} "
        f"{'goal':>6} {'met':>4}"
    )
    for figure, seconds, megabytes, peer, peer_seconds, goal in rows:
        line = f"{figure:<44} {seconds * 1e3:>8.1f}ms {megabytes / seconds:>8.0f} {peer or '-':<34}"
        if peer_seconds is None:
            line += f" {'n/a':>10} {'n/a':>9} {'-':>6} {'-':>4}"
        else:
            ratio = peer_seconds / seconds
            met = "-" if goal is None else ("yes" if ratio >= goal else "no")
            goal_text = "-" if goal is None else f"{goal:g}x"
            line += f" {peer_seconds * 1e3:>8.1f}ms {ratio:>8.2f}x {goal_text:>6} {met:>4}"
        print(line)


def main():
    datasets, data, offsets = make_file()
    megabytes = len(data) / 1e6
    buffer = bytearray(data)
    print(f"Python {sys.version.split()[0]}; file {megabytes:.1f} MB, {SETS * POINTS_PER_SET:,} points")
    rows = []

    peer_parse = best(lambda: olefile_and_numpy(data, offsets)) if olefile and np else None
    rows.append(
        (
            "load_orvfile_binary_data(bytearray)",
            best(lambda: io.load_orvfile_binary_data(buffer)),
            megabytes,
            "olefile + numpy.frombuffer",
            peer_parse,
            10,
        )
    )
    rows.append(
        (
            "load_orv_scan_binary_data(bytearray)",
            best(lambda: io.load_orv_scan_binary_data(buffer)),
            megabytes,
            "olefile + numpy.frombuffer",
            peer_parse,
            10,
        )
    )

    document = python_document(io.load_orvfile_binary_data(buffer))
    text = io.orvfile_to_json_binary_data(buffer, -1, False)
    assert json.loads(text)["data_sets"][2]["data"]["y"][-1] == document["data_sets"][2]["data"]["y"][-1]
    peer_json = best(lambda: json.dumps(document, separators=(",", ":")), repeat=3)
    rows.append(
        (
            "orvfile_to_json_binary_data(bytearray)",
            best(lambda: io.orvfile_to_json_binary_data(buffer, -1, False), repeat=3),
            megabytes,
            "json.dumps of the same document",
            peer_json,
            5,
        )
    )

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "points.csv")
        with open(path, "w") as f:
            f.write("wavelength_nm,transmittance\n")
            for _, points in datasets:
                f.writelines(f"{x!r},{y!r}\n" for x, y in points)
        csv_megabytes = os.path.getsize(path) / 1e6
        peer_csv = best(lambda: np.loadtxt(path, delimiter=",", skiprows=1), repeat=2) if np else None
        rows.append(
            (
                "load_csv(path)",
                best(lambda: io.load_csv(path), repeat=3),
                csv_megabytes,
                "numpy.loadtxt(delimiter=',')",
                peer_csv,
                3,
            )
        )

    report(rows)

    # The data-file functions parse without the interpreter lock: two threads, each loading the
    # file in turn, against one thread loading it as often.
    def load(times):
        for _ in range(times):
            io.load_orv_scan_binary_data(buffer)

    loads = 40
    with ThreadPoolExecutor(2) as pool:
        one = best(lambda: pool.submit(load, loads).result(), repeat=3)
        two = best(lambda: list(pool.map(load, [loads // 2, loads // 2])), repeat=3)
    print(
        f"\n{loads} loads of the file: 1 thread {one * 1e3:.0f} ms, 2 threads {two * 1e3:.0f} ms: "
        f"throughput x{one / two:.2f} (goal >= 1.6x: {'yes' if one / two >= 1.6 else 'no'})"
    )
    if not (olefile and np):
        print("numpy or olefile is not available to this interpreter: peers skipped")
    csv_memory()


def peak_kilobytes(code):
    """The peak resident memory of a fresh interpreter running code, by /usr/bin/time."""
    result = subprocess.run(
        ["/usr/bin/time", "-f", "%M", sys.executable, "-c", code],
        capture_output=True,
        text=True,
        env=dict(os.environ),
        check=True,
    )
    return int(result.stderr.strip().splitlines()[-1])


def csv_memory():
    """load_csv's peak memory on a large file against the points it returns: 16 bytes a point, the
    goal 1.3x that plus 64 MiB (which covers the interpreter itself, measured here too)."""
    if not os.path.exists("/usr/bin/time"):
        print("\n/usr/bin/time (Debian's time) is not installed: load_csv's peak memory not measured")
        return
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "large.csv")
        points = 20_000_000
        with open(path, "w") as f:
            chunk = 1_000_000
            for start in range(0, points, chunk):
                f.write("".join(f"{i},{i % 97}\n" for i in range(start, start + chunk)))
        baseline = peak_kilobytes("import _orvpy_core")
        peak = peak_kilobytes(f"import _orvpy_core; assert len(_orvpy_core.io.load_csv({path!r})) == {points}")
        mebibytes = os.path.getsize(path) / 2**20
    data = 16 * points / 1024
    goal = 1.3 * data + 64 * 1024
    print(
        f"\nload_csv of {mebibytes:.0f} MiB, {points:,} points ({data / 1024:.0f} MiB as two "
        f"double arrays): peak {peak / 1024:.0f} MiB (the interpreter alone {baseline / 1024:.0f} MiB), "
        f"{peak / data:.2f}x the points; goal <= 1.3x + 64 MiB = {goal / 1024:.0f} MiB: "
        f"{'yes' if peak <= goal else 'no'}"
    )


if __name__ == "__main__":
    main()
