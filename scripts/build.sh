#!/bin/sh
# Configures and builds Vantix into ./build (or $VANTIX_BUILD_DIR).
set -e
cd "$(dirname "$0")/.."
BUILD="${VANTIX_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${VANTIX_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$BUILD"
