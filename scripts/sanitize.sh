#!/bin/sh
# Builds the tests of what reads and writes files, parses and holds large data
# (platform, diagnostics, the loaders and the writer, the renderer) with the
# address and undefined-behaviour sanitizers into build-asan, module libraries
# included, and runs them. Leaks of system libraries are suppressed
# (scripts/lsan.supp); any other finding fails the run.
set -e
cd "$(dirname "$0")/.."
BUILD="${VANTIX_ASAN_DIR:-build-asan}"
TESTS="platform_tests diagnostics_tests ors_provider_tests ors_import_tests ors_db_tests plot_control_tests plot_control_gl_tests"
flags="-fsanitize=address,undefined"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTIX_SANITIZE=ON -DVANTIX_BUILD_BENCH=OFF \
    -DCMAKE_MODULE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
# shellcheck disable=SC2086
cmake --build "$BUILD" --target $TESTS
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$BUILD" --output-on-failure -j2 -R "^($(echo $TESTS | tr ' ' '|'))\$"
