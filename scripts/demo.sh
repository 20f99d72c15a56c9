#!/usr/bin/env bash
# Installs what is missing, builds the extension module and runs the demo.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
configure -DORVPY_BUILD_TESTS=OFF -DORVPY_EXTRA_PYTHONS=
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target demo
