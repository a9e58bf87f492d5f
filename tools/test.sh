#!/usr/bin/env bash
# Sets up what the machine lacks, builds everything and runs every test under Wine.
# Usage: tools/test.sh [ctest arguments...]   e.g. tools/test.sh -R unit_settings
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
BUILD="${ORV_BUILD:-build}"
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$BUILD" -j2
cd "$BUILD"
ctest --output-on-failure "$@"
