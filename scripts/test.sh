#!/bin/sh
# Installs what is needed, builds, and runs every test; then (CI) the
# sanitizer run and a short fuzzing of every loader. Locally
# VANTIX_SKIP_SANITIZE=1 and VANTIX_SKIP_FUZZ=1 leave those out.
set -e
cd "$(dirname "$0")/.."
[ "${VANTIX_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
./scripts/build.sh
ctest --test-dir "${VANTIX_BUILD_DIR:-build}" --output-on-failure -j2
[ "${VANTIX_SKIP_SANITIZE:-0}" = 1 ] || ./scripts/sanitize.sh
[ "${VANTIX_SKIP_FUZZ:-0}" = 1 ] || ./scripts/fuzz.sh 30
