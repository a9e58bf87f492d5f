#!/usr/bin/env bash
# Sets up what the machine lacks, builds the shipped programs into dist/ and everything else for the Windows this
# machine tests on (tools/target-windows.sh), and runs every test under Wine.
# Usage: tools/test.sh [ctest arguments...]   e.g. tools/test.sh -R unit_settings
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
source tools/target-windows.sh
bash tools/build-dist.sh
BUILD="${ORV_BUILD:-build}"
orv_configure "$BUILD" "$ORV_TOOLCHAIN"
cmake --build "$BUILD" -j2
cd "$BUILD"
ctest --output-on-failure "$@"
