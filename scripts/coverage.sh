#!/bin/sh
# Line coverage per folder: builds with gcc's --coverage into build-cov, runs
# the tests, and sums gcov's counts of the project's own sources (tests,
# fuzz targets and benchmarks left out).
set -e
cd "$(dirname "$0")/.."
BUILD="${VANTIX_COV_DIR:-build-cov}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTIX_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="--coverage -O0" -DCMAKE_CXX_FLAGS="--coverage -O0" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
    -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$BUILD"
find "$BUILD" -name '*.gcda' -delete
run=""; command -v xvfb-run >/dev/null && run="xvfb-run -a"
$run ctest --test-dir "$BUILD" -j2 --output-on-failure || true
python3 scripts/coverage-report.py "$BUILD" "$(pwd)"
