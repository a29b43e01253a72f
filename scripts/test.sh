#!/bin/sh
# Installs what is needed, builds, and runs every test.
set -e
cd "$(dirname "$0")/.."
[ "${VANTIX_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
./scripts/build.sh
ctest --test-dir "${VANTIX_BUILD_DIR:-build}" --output-on-failure -j2
