"""Scans in the numpy and multiprocessing world: vectorised calls, numpy guards, pickling and
copies, threads, paths and buffers."""

import copy
import multiprocessing
import os
import pickle
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

import orvpy as core
from orvpy import Scan, chromaticity, colorimetry, fitting, io, utils


def test_vectorised_calls_equal_the_float_calls_bit_for_bit():
    np = pytest.importorskip("numpy")
    rng = np.random.default_rng(11)
    for seed in range(30):
        n = int(rng.integers(5, 40))
        keys = np.sort(rng.choice(np.arange(300.0, 900.0, 0.5), n, replace=False))
        s = Scan(
            keys, rng.normal(size=n), float(rng.choice([0, 1e-20, 0.3])), core.Interpolation(int(rng.integers(1, 5)))
        )
        x = np.concatenate([rng.uniform(250, 950, 40), keys[:5], keys[:3] + 0.2, [np.nan, -np.inf]])
        x = (x if seed % 3 else x.astype(np.float32)).reshape(2, -1)
        expected = np.array([s(float(v)) for v in x.flat]).reshape(x.shape)
        assert s(x).dtype == np.float64 and s(x).view(np.int64).tolist() == expected.view(np.int64).tolist()
        lo, hi = x[0], x[1][::-1].astype(np.float64)
        assert s(lo, hi).tolist() == [s(float(a), float(b)) for a, b in zip(lo, hi)]
    assert s(x.tolist()).tolist() == s(x).tolist() and s(np.float32(400.5)) == s(400.5) and s(400) == s(400.0)
    for text_or_complex in (b"402", np.array(["402"]), np.array([402 + 1j]), ["402"]):
        with pytest.raises(TypeError):
            s(text_or_complex)
    with pytest.raises(RuntimeError, match="^Cannot initialize a spline with type None$"):
        Scan([1, 2], [3, 4], interpolation=core.NONE)(np.array([1.5]))


def test_length_class_constants_and_numpy_guards():
    s = Scan([400, 405], [1, 2])
    assert (len(s), bool(Scan()), Scan.Default_Wavelength_Epsilon) == (2, False, 1e-20)
    np = pytest.importorskip("numpy")
    for operation in (lambda a: a * s, lambda a: s + a, lambda a: a - s, lambda a: s / a):
        with pytest.raises(TypeError):
            operation(np.ones(3))
    assert np.array_equal(np.asarray(s), s.to_numpy()) and np.asarray(s, np.float32).dtype == np.float32
    with pytest.raises(ValueError):
        s.__array__(copy=False)  # what numpy 2's np.asarray(s, copy=False) calls


def state(value):
    """A comparable picture of any of the module's objects, field by field."""
    if isinstance(value, Scan):
        return value.to_lists(), value.epsilon, value.interpolation
    if isinstance(value, core.Interpolation):
        return int(value)
    if isinstance(value, (list, tuple)):
        return [state(v) for v in value]
    if type(value).__module__.startswith("_orvpy_core"):
        return {
            name: state(getattr(value, name))
            for name in dir(value)
            if not name.startswith("_") and not callable(getattr(value, name))
        }
    return value


def records(lens_file):
    x, y, z = (Scan([380, 580, 780], [h, h, h], 0.5, core.LINEAR) for h in (1, 2, 3))
    params = fitting.FitWavelengthParams()
    params.phi = -1.25
    free = fitting.FitWavelengthParamsFree()
    free.a = True
    stitched = utils.stitch_scans(
        Scan([0, 1, 2], [1, 3, 5], 0, core.LINEAR), Scan([0, 1], [1, 1], 0, core.LINEAR), 0, 1, 0.5
    )
    f = io.load_orvfile(lens_file)
    return [
        x,
        core.Observer(x, y, z),
        chromaticity.CIExy(0.25, 0.5),
        colorimetry.CIEXYZ(1, 2, 3),
        colorimetry.CIELAB(50, -3, 7),
        colorimetry.RYG(1, 2, 3),
        colorimetry.RYGB(1, 2, 3, 4),
        params,
        free,
        stitched,
        f,
        f.meta,
        f.graph,
        f.data_info,
        f.data_info.type_and_units,
        f.data_sets[0],
        core.CUBIC,
    ]


@pytest.mark.parametrize(
    "duplicate", [lambda v, p=p: pickle.loads(pickle.dumps(v, p)) for p in range(6)] + [copy.copy, copy.deepcopy]
)
def test_pickles_and_copies_hold_every_field(duplicate, lens_file):
    for value in records(lens_file):
        twin = duplicate(value)
        assert type(twin) is type(value) and state(twin) == state(value), type(value)


def test_a_state_of_the_wrong_length_is_refused(lens_file):
    # Observer has its own __reduce__; Interpolation pickles by value
    classes = {type(v) for v in records(lens_file)[:-1] if hasattr(type(v), "__setstate__")}
    assert len(classes) == 15
    for cls in classes:
        with pytest.raises(RuntimeError, match="^Invalid state$"):
            cls.__new__(cls).__setstate__(())


def scan_and_record(path):
    f = io.load_orvfile(path)
    return f.data_sets[0].data * 2.0, f


def test_spawned_processes_and_other_interpreters_exchange_scans_and_records(lens_file):
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(scan_and_record, [str(lens_file)] * 2)
    assert [state(r) for r in results] == [state(scan_and_record(lens_file))] * 2
    others = zip(
        *(
            filter(None, os.environ.get(name, "").split(os.pathsep))
            for name in ("ORVPY_OTHER_PYTHONS", "ORVPY_OTHER_MODULES")
        )
    )
    for python, module in others:
        code = (
            f"import sys, pickle; sys.path[:0] = [{os.path.dirname(module)!r}]\n"
            "sys.stdout.buffer.write(pickle.dumps(pickle.loads(sys.stdin.buffer.read()), 2))"
        )
        sent = scan_and_record(lens_file)
        back = subprocess.run([python, "-c", code], input=pickle.dumps(sent), capture_output=True, check=True)
        assert state(pickle.loads(back.stdout)) == state(sent)


def test_threads_read_files_together_as_one_alone(lens_file):
    buffers = [bytearray(lens_file.read_bytes()) for _ in range(8)]
    alone = io.orvfile_to_json_binary_data(buffers[0], 1, False)
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda b: io.orvfile_to_json_binary_data(b, 1, False), buffers))
        scans = list(pool.map(io.load_orv_scan_data, [lens_file] * 8))
    assert together == [alone] * 8 and all(state(s) == state(scans[0]) for s in scans)


def test_paths_and_buffers_of_every_kind(tmp_path, lens_file):
    text = io.orvfile_to_json(str(lens_file), 1, True)
    raw = lens_file.read_bytes()
    buffers = [raw, bytearray(raw), memoryview(raw), list(raw)]
    try:
        import numpy as np
    except ImportError:
        np = None
    if np:
        buffers += [np.frombuffer(raw, np.uint8), np.frombuffer(raw, np.uint8).reshape(1, -1)]
    for buffer in buffers:
        assert io.orvfile_to_json_binary_data(buffer, 1, True) == text
        assert state(io.load_orvfile_binary_data(buffer)) == state(io.load_orvfile(lens_file))
    for path in (lens_file, bytes(lens_file)):
        assert io.orvfile_to_json(path, 1, True) == text
        assert state(io.load_orv_scan_data(path)) == state(io.load_orv_scan_binary_data(raw))
    (tmp_path / "s.csv").write_text("380,1\n390,2\n")
    assert io.load_csv(tmp_path / "s.csv").to_lists() == [[380, 390], [1, 2]]
    with pytest.raises(TypeError):
        io.load_orvfile(3)
