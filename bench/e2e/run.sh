#!/bin/sh
# Builds what the end-to-end benchmark runs and runs it:
#   bench/e2e/run.sh [BUILD_DIR] [run.py options, e.g. --grids 30,100 --runs 3]
# Peers (gnuplot, matplotlib) are skipped when not installed: scripts/install-peers.sh.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
[ $# -gt 0 ] && shift
if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD" --target vantix-render vantix-convert e2e_floor ors_provider -j2
exec /usr/bin/python3 "$ROOT/bench/e2e/run.py" --bin "$BUILD/bin" "$@"
