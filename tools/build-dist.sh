#!/usr/bin/env bash
# Builds both programs (without tests) into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${ORV_DIST_BUILD:-build-dist}"
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DORV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target orvsetup uninstall
mkdir -p dist
cp "$BUILD/orvsetup.exe" "$BUILD/uninstall.exe" dist/
