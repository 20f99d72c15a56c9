"""The PEP 517 build backend of orvpy, in the standard library only.

``pip install .`` and ``pip wheel .`` call it: it builds the extension module with the project's
CMake for the interpreter that runs pip, and packs the module, the ``orvpy`` package and the
module's type stubs (as ``_orvpy_core-stubs``) into a wheel. Nothing is fetched from a package
index: the compilers and libraries come from the system (see the README).

Config settings (``pip install . --config-settings build-dir=DIR``):

build-dir
    Build in DIR and keep it, instead of in a temporary folder. A folder already configured by
    CMake is reused as it is, so a developer's build tree serves when it builds the module for
    this interpreter's version.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path
from typing import Any, Iterable, Mapping, Optional

ROOT = Path(__file__).resolve().parents[2]
PACKAGE_DIR = ROOT / "python"
MODULE = "_orvpy_core"

ConfigSettings = Optional[Mapping[str, Any]]


def _version() -> str:
    """The project's version, from the top-level CMake project() call: the one place it is set."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*\w+\s+VERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt does not state the project's VERSION")
    return match.group(1)


def _project() -> dict[str, Any]:
    """The [project] table of pyproject.toml."""
    text = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    try:
        import tomllib
    except ImportError:  # Python < 3.11: the tables hold only simple "key = value" lines.

        def table(name: str) -> dict[str, str]:
            found = re.search(r"^\[" + re.escape(name) + r"\]\n(.*?)(?=^\[|\Z)", text, re.M | re.S)
            return dict(re.findall(r'^(\S+)\s*=\s*"([^"]*)"', found.group(1) if found else "", re.M))

        return {**table("project"), "scripts": table("project.scripts")}
    return dict(tomllib.loads(text)["project"])


def _metadata() -> str:
    project = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {_version()}",
        f"Summary: {project.get('description', '')}",
        f"Requires-Python: {project.get('requires-python', '>=3.9')}",
    ]
    if "license" in project:
        license_ = project["license"]
        lines.append(f"License: {license_['text'] if isinstance(license_, dict) else license_}")
    return "\n".join(lines) + "\n"


def _entry_points() -> str:
    """The console scripts ([project.scripts]), which pip installs as commands."""
    scripts = _project().get("scripts", {})
    return "[console_scripts]\n" + "".join(f"{name} = {target}\n" for name, target in scripts.items())


def _dist_info() -> str:
    return f"orvpy-{_version()}.dist-info"


def _wheel_tag() -> str:
    """cpXY-cpXY[d]-<platform>: the module is built for this interpreter only."""
    soabi = sysconfig.get_config_var("SOABI") or ""
    if sys.implementation.name != "cpython" or not soabi.startswith("cpython-"):
        raise RuntimeError("orvpy's extension module is built for CPython only")
    abi = "cp" + soabi.split("-")[1]
    python = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{python}-{abi}-{platform}"


def _run(command: list[str]) -> None:
    print("+", " ".join(command), flush=True)
    subprocess.run(command, check=True)


def _build_module(build_dir: Path) -> Path:
    """Configures (unless already configured) and builds the module for this interpreter."""
    if shutil.which("cmake") is None:
        raise RuntimeError(
            "building orvpy needs cmake and a C++17 compiler; on Debian or Ubuntu: "
            "apt install cmake build-essential libgsl-dev nlohmann-json3-dev pybind11-dev "
            "python3-dev"
        )
    version = "%d.%d" % sys.version_info[:2]
    if not (build_dir / "CMakeCache.txt").exists():
        _run(
            [
                "cmake",
                "-S",
                str(ROOT),
                "-B",
                str(build_dir),
                "-DCMAKE_BUILD_TYPE=Release",
                f"-DORVPY_PYTHON={sys.executable}",
                "-DORVPY_EXTRA_PYTHONS=",
                "-DORVPY_BUILD_TESTS=OFF",
            ]
        )
    target = "orvpy_core_py" + version.replace(".", "")
    try:
        _run(["cmake", "--build", str(build_dir), "--target", target, "--parallel", str(os.cpu_count() or 1)])
    except subprocess.CalledProcessError as error:
        raise RuntimeError(
            f"building {target} in {build_dir} failed; if that folder is configured for other "
            f"Python versions, add this one ({sys.executable}) with ORVPY_EXTRA_PYTHONS or "
            "leave build-dir unset"
        ) from error
    module = build_dir / f"python{version}" / (MODULE + sysconfig.get_config_var("EXT_SUFFIX"))
    if not module.is_file():
        raise RuntimeError(f"the build did not produce {module}")
    return module


def _package_files() -> Iterable[tuple[str, Path]]:
    """(path in the wheel, source) of the Python package (its modules and its rules files) and the
    module's stubs."""
    for source in sorted((PACKAGE_DIR / "orvpy").rglob("*")):
        if source.is_file() and (source.suffix in (".py", ".pyi", ".toml") or source.name == "py.typed"):
            yield "orvpy/" + source.relative_to(PACKAGE_DIR / "orvpy").as_posix(), source
    stubs = PACKAGE_DIR / "stubs" / MODULE
    for source in sorted(stubs.rglob("*.pyi")):
        yield f"{MODULE}-stubs/" + source.relative_to(stubs).as_posix(), source


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _write_wheel(wheel_directory: str, entries: list[tuple[str, bytes]]) -> str:
    tag = _wheel_tag()
    dist_info = _dist_info()
    entries = entries + [
        (f"{dist_info}/METADATA", _metadata().encode()),
        (
            f"{dist_info}/WHEEL",
            (f"Wheel-Version: 1.0\nGenerator: orvpy_build_backend\nRoot-Is-Purelib: false\n" f"Tag: {tag}\n").encode(),
        ),
        (f"{dist_info}/top_level.txt", f"{MODULE}\norvpy\n".encode()),
        (f"{dist_info}/entry_points.txt", _entry_points().encode()),
    ]
    record = "\n".join(_record_line(name, data) for name, data in entries) + f"\n{dist_info}/RECORD,,\n"
    entries.append((f"{dist_info}/RECORD", record.encode()))
    name = f"orvpy-{_version()}-{tag}.whl"
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in entries:
            info = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if path.endswith(".so") else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name


def get_requires_for_build_wheel(config_settings: ConfigSettings = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: ConfigSettings = None) -> list[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str, config_settings: ConfigSettings = None) -> str:
    target = Path(metadata_directory) / _dist_info()
    target.mkdir(parents=True, exist_ok=True)
    (target / "METADATA").write_text(_metadata(), encoding="utf-8")
    return target.name


def build_wheel(
    wheel_directory: str, config_settings: ConfigSettings = None, metadata_directory: Optional[str] = None
) -> str:
    chosen = (config_settings or {}).get("build-dir")
    with tempfile.TemporaryDirectory(prefix="orvpy-build-") as scratch:
        build_dir = Path(chosen).resolve() if chosen else Path(scratch)
        module = _build_module(build_dir)
        entries = [(module.name, module.read_bytes())]
        entries += [(name, source.read_bytes()) for name, source in _package_files()]
        return _write_wheel(wheel_directory, entries)


def build_sdist(sdist_directory: str, config_settings: ConfigSettings = None) -> str:
    """The tracked source tree (git ls-files when this is a git checkout, else every file
    outside build folders) with PKG-INFO."""
    base = f"orvpy-{_version()}"
    try:
        listed = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z"], capture_output=True, check=True)
        files = [name for name in listed.stdout.decode().split("\0") if name]
    except (OSError, subprocess.CalledProcessError):
        files = [
            path.relative_to(ROOT).as_posix()
            for path in ROOT.rglob("*")
            if path.is_file() and not path.relative_to(ROOT).parts[0].startswith((".git", "build"))
        ]
    name = f"{base}.tar.gz"
    with tarfile.open(Path(sdist_directory) / name, "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for file in sorted(files):
            sdist.add(ROOT / file, arcname=f"{base}/{file}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
