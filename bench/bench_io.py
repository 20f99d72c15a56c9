"""Time data-file parsing, JSON export and CSV loading against Python peers and against floors.

Run with the build directory of the interpreter on PYTHONPATH, under an interpreter that has
numpy and olefile (Debian's python3-numpy and python3-olefile), for example:

    PYTHONPATH=build/python3.11 /usr/bin/python3 bench/bench_io.py [--runs 3] [--digits 10000000]

One generated data file of about 10 MB (600,000 points in three data sets) is parsed from a
bytearray, against olefile reading its "Contents" stream plus numpy decoding the points, and
against the floor of one copy of the same bytes (bytes(buffer): an allocation and a memcpy); its
JSON text is made, against json.dumps of the same document and against the floor of
std::to_chars formatting the same doubles; and the same points as CSV are loaded, against
numpy.loadtxt. Every figure is the best of several repeats, interleaved with its peer and floor,
in each of several runs. Then: how many of 10 million random doubles the JSON export writes with
other digits than the JSON library would (its Grisu2 digits are not always the shortest, or not
the closest of the shortest); two threads loading files, beside the machine's own scaling over
two processes; and load_csv's peak memory on a 300 MB file, against the size of its points.
Nothing is asserted: the script prints times, throughput and ratios.
"""

import argparse
import array
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

import _orvpy_bench  # noqa: E402
import orvfile_writer as w  # noqa: E402
from _orvpy_core import io  # noqa: E402

from benchlib import Figures, best_interleaved, machine_scaling  # noqa: E402

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="how many times every figure is measured")
    parser.add_argument("--digits", type=int, default=10_000_000, help="random doubles whose JSON digits are compared")
    args = parser.parse_args()
    datasets, data, offsets = make_file()
    megabytes = len(data) / 1e6
    buffer = bytearray(data)
    print(f"Python {sys.version.split()[0]}; file {megabytes:.1f} MB, {SETS * POINTS_PER_SET:,} points")
    document = python_document(io.load_orvfile_binary_data(buffer))
    assert json.loads(io.orvfile_to_json_binary_data(buffer, -1, False)) == json.loads(json.dumps(document))
    doubles = array.array("d", [v for s in document["data_sets"] for c in ("x", "y") for v in s["data"][c]])
    names = {
        "io": io,
        "buffer": buffer,
        "data": data,
        "offsets": offsets,
        "olefile_and_numpy": olefile_and_numpy,
        "json": json,
        "document": document,
        "to_chars_all": _orvpy_bench.to_chars_all,
        "doubles": doubles,
        "np": np,
    }
    peers = bool(olefile and np)
    figures = Figures()
    with tempfile.TemporaryDirectory() as folder:
        names["path"] = path = os.path.join(folder, "points.csv")
        with open(path, "w") as f:
            f.write("wavelength_nm,transmittance\n")
            for _, points in datasets:
                f.writelines(f"{x!r},{y!r}\n" for x, y in points)
        csv_megabytes = os.path.getsize(path) / 1e6
        for run in range(args.runs):
            print(f"\nRun {run + 1} of {args.runs}")
            statements = [
                "io.load_orvfile_binary_data(buffer)",
                "io.load_orv_scan_binary_data(buffer)",
                "bytes(buffer)",
            ] + (["olefile_and_numpy(data, offsets)"] if peers else [])
            parse, scans, copy, *peer = best_interleaved(statements, repeat=7, globals=names)
            peer = peer[0] if peer else None
            figures.add(
                f"load_orvfile_binary_data, {megabytes:.1f} MB",
                parse,
                "olefile + numpy",
                peer,
                "bytes(buffer)",
                copy,
                goal=1.5,
            )
            figures.add(
                f"load_orv_scan_binary_data, {megabytes:.1f} MB",
                scans,
                "olefile + numpy",
                peer,
                "bytes(buffer)",
                copy,
                goal=1.5,
            )
            export, floor, peer = best_interleaved(
                [
                    "io.orvfile_to_json_binary_data(buffer, -1, False)",
                    "to_chars_all(doubles)",
                    "json.dumps(document, separators=(',', ':'))",
                ],
                repeat=3,
                globals=names,
            )
            figures.add(
                f"orvfile_to_json_binary_data, {len(doubles) / 1e6:.1f}M doubles",
                export,
                "json.dumps",
                peer,
                "std::to_chars",
                floor,
                goal=1.3,
            )
            statements = ["io.load_csv(path)"] + (["np.loadtxt(path, delimiter=',', skiprows=1)"] if np else [])
            csv, *peer = best_interleaved(statements, repeat=2, globals=names)
            figures.add(
                f"load_csv, {csv_megabytes:.1f} MB",
                csv,
                "numpy.loadtxt",
                peer[0] if peer else None,
                goal=1 / 3,
                goal_of="peer",
            )
    figures.summary()
    if not peers:
        print("numpy or olefile is not available to this interpreter: peers skipped")

    print(f"\nJSON digits against the JSON library's (Grisu2) over {args.digits:,} random doubles:")
    for uniform, label in ((False, "every finite bit pattern alike"), (True, "uniform in [0, 1)")):
        counts = _orvpy_bench.json_digit_differences(args.digits, 20, uniform)
        print(
            f"  {label}: {counts['longer'] + counts['same_length'] + counts['shorter']:,} written differently: "
            f"{counts['longer']:,} where the library's digits are not the shortest, {counts['same_length']:,} of "
            f"the same length (the library's not the closest), {counts['shorter']:,} shorter; "
            f"{counts['not_round_trip']:,} not reading back to the same bits"
        )

    # The data-file functions parse without the interpreter lock: two threads, each loading the
    # file in turn, against one thread loading it as often.
    def load(times):
        for _ in range(times):
            io.load_orv_scan_binary_data(buffer)

    loads = 40
    one = two = math.inf
    with ThreadPoolExecutor(2) as pool:
        for _ in range(3):
            one = min(one, timed(lambda: pool.submit(load, loads).result()))
            two = min(two, timed(lambda: list(pool.map(load, [loads // 2, loads // 2]))))
    scaling = machine_scaling()
    print(
        f"\n{loads} loads of the file: 1 thread {one * 1e3:.0f} ms, 2 threads {two * 1e3:.0f} ms: "
        f"throughput x{one / two:.2f} (goal >= 1.6x: {'yes' if one / two >= 1.6 else 'no'}); the machine now, "
        f"two processes hashing: x{scaling:.2f}"
    )
    csv_memory()


def timed(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


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
