#!/usr/bin/env bash
# Installs orvpy with pip into a fresh virtual environment per interpreter, without a package
# index, runs a smoke test from outside the checkout, type-checks a user's file against the
# installed package, uninstalls it and checks that nothing is left behind.
#
# Usage: round_trip.sh BUILD_DIR PYTHON...
# The first interpreter builds as a user's `pip install .` does, from scratch; the others make a
# wheel with `pip wheel`, reusing the configured BUILD_DIR, and install that.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR PYTHON..." >&2
    exit 2
fi
build_dir=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

index=0
for python in "$@"; do
    index=$((index + 1))
    venv="$scratch/venv$index"
    "$python" -m venv "$venv"
    site=$("$venv/bin/python" -c "import sysconfig; print(sysconfig.get_paths()['platlib'])")
    before=$(cd "$site" && find . | sort && ls "$venv/bin")
    if [ "$index" -eq 1 ]; then
        "$venv/bin/python" -m pip install --no-index --quiet "$ROOT"
    else
        "$venv/bin/python" -m pip wheel --no-index --quiet --wheel-dir "$scratch/wheels$index" \
            --config-settings build-dir="$build_dir" "$ROOT"
        "$venv/bin/python" -m pip install --no-index --quiet "$scratch/wheels$index"/orvpy-*.whl
    fi
    (cd "$scratch" && "$venv/bin/python" "$ROOT/tests/install/smoke.py" "$ROOT")
    "$venv/bin/orv" info "$ROOT/examples/lens_transmittances.orv" > /dev/null
    # Debian's mypy runs under the system python3 and reads only environments of its version.
    version='import sys; print(sys.version_info[:2])'
    if /usr/bin/python3 -c "import mypy" 2>/dev/null &&
        [ "$(/usr/bin/python3 -c "$version")" = "$("$venv/bin/python" -c "$version")" ]; then
        (cd "$scratch" && /usr/bin/python3 "$ROOT/tests/install/smoke.py" --types "$venv/bin/python")
    fi
    "$venv/bin/python" -m pip uninstall --yes --quiet orvpy
    after=$(cd "$site" && find . | sort && ls "$venv/bin")
    if [ "$before" != "$after" ]; then
        echo "pip uninstall left files behind in $site or $venv/bin:"
        diff <(echo "$before") <(echo "$after") || true
        exit 1
    fi
done
