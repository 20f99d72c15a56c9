#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test suite: formatting, the C++
# tests and the Python tests, the latter for CPython 3.12 and for the system python3.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cd "$ROOT"
find src tests bench \( -name '*.cpp' -o -name '*.hpp' \) -print0 | xargs -0 clang-format --dry-run --Werror

extra=()
if [ -x /usr/bin/python3 ]; then
    extra=(-DORVPY_EXTRA_PYTHONS=/usr/bin/python3)
fi
configure -DORVPY_BUILD_TESTS=ON "${extra[@]}"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)"
