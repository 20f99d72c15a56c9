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
    # The interpreter's own pip installs into the venv (pip >= 22.3): seeding each venv with a
    # copy of pip would take longer than the install being tested.
    if "$python" -m pip --help 2>/dev/null | grep -- "--python <python>" > /dev/null; then
        "$python" -m venv --without-pip "$venv"
        pip=("$python" -m pip --python "$venv/bin/python")
    else
        "$python" -m venv "$venv"
        pip=("$venv/bin/python" -m pip)
    fi
    # Files and links only: pip removes the folders it emptied, site-packages itself included.
    before=$(cd "$venv" && find . ! -type d | sort)
    if [ "$index" -eq 1 ]; then
        "${pip[@]}" install --no-index --quiet "$ROOT"
    else
        "${pip[@]}" wheel --no-index --quiet --wheel-dir "$scratch/wheels$index" \
            --config-settings build-dir="$build_dir" "$ROOT"
        "${pip[@]}" install --no-index --quiet "$scratch/wheels$index"/orvpy-*.whl
    fi
    (cd "$scratch" && "$venv/bin/python" "$ROOT/tests/install/smoke.py" "$ROOT")
    "$venv/bin/orv" info "$ROOT/examples/lens_transmittances.orv" > /dev/null
    # Debian's mypy runs under the system python3 and reads only environments of its version.
    version='import sys; print(sys.version_info[:2])'
    if /usr/bin/python3 -c "import mypy" 2>/dev/null &&
        [ "$(/usr/bin/python3 -c "$version")" = "$("$venv/bin/python" -c "$version")" ]; then
        (cd "$scratch" && /usr/bin/python3 "$ROOT/tests/install/smoke.py" --types "$venv/bin/python")
    fi
    "${pip[@]}" uninstall --yes --quiet orvpy
    after=$(cd "$venv" && find . ! -type d | sort)
    if [ "$before" != "$after" ]; then
        echo "pip uninstall left files behind in $venv:"
        diff <(echo "$before") <(echo "$after") || true
        exit 1
    fi
done
