#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test suite: formatting, the C++
# tests, the Python tests (for CPython 3.12 and for the system python3), then the C++ tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer and bounded fuzzing runs of the
# data file reader and the CSV reader.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cd "$ROOT"
find src tests bench fuzz \( -name '*.cpp' -o -name '*.hpp' \) -print0 | xargs -0 clang-format --dry-run --Werror
# Python: black's layout and flake8's checks (configured in pyproject.toml and .flake8).
black --quiet --check python tests/python bench examples tools
flake8 python tests/python bench examples tools
# Docstrings in numpy's style (pyproject.toml's [tool.pydocstyle]): the package, and every docstring
# the stubs have. A stub need not repeat the compiled module's docstrings (the module itself
# carries them, and help() reads them there), so the stubs skip the missing-docstring checks (D1).
/usr/bin/python3 -m pydocstyle python/orvpy
/usr/bin/python3 -m pydocstyle --match='.*\.pyi' --add-ignore=D1 python/stubs

extra=()
if [ -x /usr/bin/python3 ]; then
    extra=(-DORVPY_EXTRA_PYTHONS=/usr/bin/python3)
fi
configure -DORVPY_BUILD_TESTS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "${extra[@]}"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
# clang-tidy with the repository's .clang-tidy over every C++ source the build compiles; any
# warning fails the run. The binding sources are checked through the batches the build compiles
# them in (one interpreter's; the other's hold the same sources), which include them as .cpp files.
find src tests/cpp bench -name '*.cpp' ! -path 'src/python/*' -print0 |
    xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$BUILD_DIR" --quiet 2> /dev/null
unity=$(find "$BUILD_DIR/src/CMakeFiles" -path '*/orvpy_core_py*.dir/Unity' -type d | head -n 1)
if [ -z "$unity" ]; then
    echo "no batches of the binding sources in $BUILD_DIR to check with clang-tidy" >&2
    exit 1
fi
find "$unity" -name '*.cxx' -print0 |
    xargs -0 -n 1 -P "$(nproc)" clang-tidy -p "$BUILD_DIR" --quiet --config-file="$ROOT/.clang-tidy" \
        --checks=-bugprone-suspicious-include 2> /dev/null
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)"

# Sanitizers and fuzzing need clang's coverage and sanitizer runtimes; no Python module here.
SANITIZE_DIR="$BUILD_DIR-sanitize"
cmake -S "$ROOT" -B "$SANITIZE_DIR" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVPY_WERROR=ON -DORVPY_BUILD_PYTHON=OFF -DORVPY_SANITIZE=ON -DORVPY_FUZZ=ON
cmake --build "$SANITIZE_DIR" --parallel "$(nproc)"
ctest --test-dir "$SANITIZE_DIR" --output-on-failure --parallel "$(nproc)"

# New inputs go to scratch corpora; the data file fixtures seed theirs. A crash leaves its input
# in the current folder and fails the run: add it to tests/fixtures/orv/regressions (or, for the
# CSV reader, to the cases of tests/cpp/test_csv.cpp).
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir "$corpus/orv" "$corpus/csv"
fuzz_options=(-max_total_time="${ORVPY_FUZZ_SECONDS:-30}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1)
# The two fuzzers run side by side, one core each: libFuzzer uses one.
"$SANITIZE_DIR/fuzz/fuzz_orvfile" "$corpus/orv" "$ROOT/tests/fixtures/orv" "${fuzz_options[@]}" \
    > "$corpus/orv.log" 2>&1 &
orv_fuzzer=$!
"$SANITIZE_DIR/fuzz/fuzz_csv" "$corpus/csv" "${fuzz_options[@]}" > "$corpus/csv.log" 2>&1 &
csv_fuzzer=$!
failed=0
for target in orv:$orv_fuzzer csv:$csv_fuzzer; do
    if wait "${target#*:}"; then
        lines=6
    else
        lines=60
        failed=1
    fi
    echo "== fuzz_${target%%:*}"
    tail -n "$lines" "$corpus/${target%%:*}.log"
done
exit "$failed"
