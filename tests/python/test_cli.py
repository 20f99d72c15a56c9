"""The orv command end to end, through a subprocess as a user or a script runs it."""

import csv
import json
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import orvfile_writer as w
from orvpy import io, lens

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "lens_transmittances.orv"
DAMAGED = ROOT / "tests" / "fixtures" / "orv" / "bad_signature.orv"


def orv(*args, cwd=None):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(os.path.abspath(p) for p in sys.path if p))
    return subprocess.run([sys.executable, "-m", "orvpy", *map(str, args)], capture_output=True, text=True,
                          cwd=cwd, env=env)


def has(module):
    try:
        __import__(module)
        return True
    except Exception:  # Debian's packages appended to another interpreter's path may fail to load
        return False


def write_orv(path, datasets, units="Transmittance / %"):
    path.write_bytes(w.container(w.contents(datasets, type_and_units=units)[0]))
    return path


def test_single_file_commands(tmp_path):
    info = orv("info", SAMPLE)
    assert info.returncode == 0 and "#2 Brown driving lens" in info.stdout and "101 points, 280-780" in info.stdout
    assert orv("json", SAMPLE).stdout == io.orvfile_to_json(SAMPLE, 2, False) + "\n"
    assert orv("json", SAMPLE, "-o", tmp_path / "s.json", "--indent", "-1", "--ascii").returncode == 0
    assert (tmp_path / "s.json").read_text() == io.orvfile_to_json(SAMPLE, -1, True) + "\n"

    # CSV files read back to the same points, under safe and unique names.
    points = [(380.0 + i / 3, 0.1 + i / 7) for i in range(3 * 400 + 1)]
    named = write_orv(tmp_path / "named.orv", [("A/B", points), ("a/b", points[:5]), ("", points[:9])])
    assert orv("csv", named, "-o", tmp_path / "csv").returncode == 0
    written = sorted(p.name for p in (tmp_path / "csv").iterdir())
    assert written == ["A_B.csv", "a_b-2.csv", "data_set.csv"]
    for name, data_set in zip(["A_B.csv", "a_b-2.csv", "data_set.csv"], io.load_orvfile(named).data_sets):
        assert (tmp_path / "csv" / name).read_text().startswith("Wavelength / nm,Transmittance / %\n")
        assert io.load_csv(tmp_path / "csv" / name).to_lists() == data_set.data.to_lists()

    # Ratings in three forms; an unmeasured band is never a number.
    rated = json.loads(orv("rate", SAMPLE, named, "--format", "json").stdout)
    expected = [r.as_dict() for _, r in lens.rate_file(SAMPLE)] + [
        r.as_dict() for _, r in lens.rate_file(named, require_coverage=False)]
    assert [{k: v for k, v in row.items() if k not in ("file", "data_set")} for row in rated] == expected
    assert [row["ISO8980_3_tau_uva"] for row in rated][3:] == [None, None, None]
    opaque = write_orv(tmp_path / "opaque.orv", [("black", [(280.0 + 5 * i, 0.0) for i in range(101)])])
    assert json.loads(orv("rate", opaque, "--format", "json").stdout)[0]["daylight_x"] is None
    table = orv("rate", named).stdout
    assert "not measured" in table and table.count("#1:") == 1
    rows = list(csv.DictReader(orv("rate", SAMPLE, "--format", "csv").stdout.splitlines()))
    assert [row["category"] for row in rows] == ["3", "2", "0"] and float(rows[0]["ISO8980_3_tau_v"]) == \
        rated[0]["ISO8980_3_tau_v"]


def test_failures_are_one_line_and_usage_is_status_2(tmp_path):
    for command in (["info"], ["json"], ["csv", "-o", tmp_path], ["rate"], ["plot", "-o", tmp_path / "p.png"]):
        for path, reason in ((tmp_path / "missing.orv", "No such file or directory"), (DAMAGED, "Wrong file format")):
            result = orv(*command[:1], path, *command[1:])
            if command[0] == "plot" and not has("matplotlib"):
                assert result.returncode == 2 and "python3-matplotlib" in result.stderr
                continue
            assert (result.returncode, result.stderr) == (1, f"orv {command[0]}: {path}: {reason}\n"), result.stderr
    own = shutil.copy(SAMPLE, tmp_path / "x.json")  # an output path that names the input itself
    for command in (["json", own, "-o", own], ["batch", own, "--to", "json", "--out", tmp_path]):
        result = orv(*command)
        # orv json says it on stderr; orv batch in errors.csv
        report = (tmp_path / "errors.csv").read_text() if command[0] == "batch" else result.stderr
        separator = "," if command[0] == "batch" else ": "
        assert (result.returncode, f"{own}{separator}is the input file; the output would replace it") == (
            1, report.splitlines()[-1].removeprefix("orv json: "))
        assert own.read_bytes() == SAMPLE.read_bytes()
    blocked = orv("json", SAMPLE, "-o", tmp_path / "x.json" / "y.json")  # x.json is a file
    assert blocked.returncode == 1 and blocked.stderr.startswith("orv json: ") and blocked.stderr.count("\n") == 1
    for usage in (["frobnicate"], ["json", SAMPLE, "--indent", "65"], ["batch", SAMPLE, "--to", "json"],
                  ["batch", SAMPLE, "--to", "json", "--out", tmp_path, "--jobs", "0"]):
        result = orv(*usage)
        assert result.returncode == 2 and "Traceback" not in result.stderr
    for command in ("info", "json", "csv", "rate", "plot", "batch"):
        assert "examples:\n  orv " + command in orv(command, "--help").stdout


@pytest.mark.skipif(not has("matplotlib"), reason="matplotlib is not installed for this interpreter")
def test_plot_draws_every_spectrum(tmp_path):
    from matplotlib import image

    assert orv("plot", SAMPLE, "--rating", cwd=tmp_path).returncode == 0
    pixels = image.imread(tmp_path / "lens_transmittances.png")
    assert pixels.shape == (500, 800, 4) and pixels[..., :3].std() > 0.05


def test_batch_converts_what_it_can_and_skips_what_is_done(tmp_path):
    data = tmp_path / "data"
    (data / "sub").mkdir(parents=True)
    for name in ("a.orv", "b.orv", "sub/c.orv"):
        shutil.copy(SAMPLE, data / name)
    shutil.copy(DAMAGED, data / "sub" / "broken.orv")
    out = tmp_path / "out"
    first = orv("batch", data, tmp_path / "nothing*.orv", "--to", "json", "--out", out, "--jobs", 2)
    assert first.returncode == 1 and "4 files, 3 converted, 0 up to date, 2 failed" in first.stderr
    errors = list(csv.reader((out / "errors.csv").read_text().splitlines()))
    assert errors == [["file", "error"], [str(tmp_path / "nothing*.orv"), "no such file or folder, and no .orv "
                      "file matches"], [str(data / "sub" / "broken.orv"), "Wrong file format"]]
    text = io.orvfile_to_json(SAMPLE, -1, False)
    assert all((out / name).read_text() == text for name in ("a.json", "b.json", "sub/c.json"))
    assert not [p for p in out.rglob("*") if p.name.startswith(".")], "temporary files left"

    rerun = orv("batch", data, "--to", "json", "--out", out, "--jobs", 1)
    assert rerun.returncode == 1 and "0 converted, 3 up to date, 1 failed" in rerun.stderr
    os.utime(data / "b.orv", ns=((out / "b.json").stat().st_mtime_ns + 10**9,) * 2)
    assert "1 converted, 2 up to date" in orv("batch", data, "--to", "json", "--out", out).stderr
    assert "3 converted, 0 up to date" in orv("batch", data, "--to", "json", "--out", out, "--force").stderr

    assert orv("batch", data, "--to", "rate", "--out", tmp_path / "rate").returncode == 1
    rows = list(csv.DictReader((tmp_path / "rate" / "ratings.csv").read_text().splitlines()))
    assert [(row["file"], row["data_set"]) for row in rows] == [
        (str(data / name), data_set.name) for name in ("a.orv", "b.orv", "sub/c.orv")
        for data_set in io.load_orvfile(SAMPLE).data_sets]
    assert orv("batch", data / "a.orv", "--to", "csv", "--out", tmp_path / "csv").returncode == 0
    assert len(list((tmp_path / "csv" / "a").glob("*.csv"))) == 3
    # sub.orv's CSV folder would be the folder of sub/c.orv's: it keeps its extension
    shutil.copy(SAMPLE, data / "sub.orv")
    assert orv("batch", data / "sub.orv", data / "sub" / "c.orv", "--to", "csv", "--out", out).returncode == 0
    assert [len(list((out / name).glob("*.csv"))) for name in ("sub.orv", "sub/c")] == [3, 3]


@pytest.mark.skipif(not has("distributed"), reason="dask.distributed is not installed for this interpreter")
def test_batch_on_a_local_dask_cluster_gives_the_same_outputs(tmp_path):
    data = tmp_path / "data"
    data.mkdir()
    for i in range(6):
        shutil.copy(SAMPLE, data / f"f{i}.orv")
    shutil.copy(DAMAGED, data / "broken.orv")
    for run in ("local", "dask"):
        extra = ["--scheduler", "local"] if run == "dask" else []
        result = orv("batch", data, "--to", "rate", "--out", tmp_path / run, "--jobs", 2, *extra)
        assert result.returncode == 1, result.stderr
    for name in ("ratings.csv", "errors.csv", "f3.rating.csv"):
        assert (tmp_path / "local" / name).read_bytes() == (tmp_path / "dask" / name).read_bytes()


@pytest.mark.parametrize("runner", ["processes", pytest.param(
    "dask", marks=pytest.mark.filterwarnings("ignore"))])  # Debian's in-process Dask warns of its own sockets
def test_batch_charges_a_dying_worker_to_its_file_alone(tmp_path, monkeypatch, runner):
    from orvpy.cli import batch

    files = [str(shutil.copy(SAMPLE, tmp_path / f"f{i}.orv")) for i in range(40)]
    tasks = batch.plan(files, "json", tmp_path / "out", False)
    convert = batch.run_task

    def run_task(task):
        if task.source.endswith("f7.orv"):
            if runner == "processes":
                os._exit(3)  # the forked worker dies outright
            raise MemoryError("worker killed")  # Dask's in-process workers: the task errs
        return convert(task)

    monkeypatch.setattr(batch, "run_task", run_task)
    if runner == "processes":
        outcomes = batch.run_local(tasks, 2, lambda count: None)
    else:
        if not has("distributed"):
            pytest.skip("dask.distributed is not installed for this interpreter")
        import distributed
        with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                      dashboard_address=None) as cluster:  # in this process, no sockets
            outcomes = batch.run_dask(tasks, 2, cluster.scheduler_address, lambda count: None, distributed)
    status = {o.source: (o.status, o.error.split(":")[0]) for o in outcomes}
    assert len(outcomes) == len(files)
    assert status.pop(files[7]) == ("failed", batch.WORKER_DIED)
    # Files of the lost chunk converted before the worker died are found up to date on the rerun.
    assert set(status.values()) <= {("done", ""), ("skipped", "")}
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == sorted(f"f{i}.json" for i in range(40) if i != 7)
