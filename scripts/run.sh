#!/bin/sh
# Installs what is needed, builds, and starts Vantix on the bundled sample.
set -e
cd "$(dirname "$0")/.."
[ "${VANTIX_SKIP_DEPS:-0}" = 1 ] || ./scripts/install-deps.sh
./scripts/build.sh
exec "./${VANTIX_BUILD_DIR:-build}/bin/vantix" "${1:-samples/filter-tuning.ors}"
