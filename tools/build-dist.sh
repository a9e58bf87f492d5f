#!/usr/bin/env bash
# Builds the shipped programs (the setup, the uninstaller and the single-file setup), 32-bit whatever the machine,
# with warnings as errors, into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/target-windows.sh
BUILD="${ORV_DIST_BUILD:-build-dist}"
orv_configure "$BUILD" "$ORV_DIST_TOOLCHAIN" -DORV_BUILD_TESTS=OFF -DORV_WERROR=ON
cmake --build "$BUILD" -j2 --target orvsetup uninstall setupstub
mkdir -p dist
cp "$BUILD/orvsetup.exe" "$BUILD/uninstall.exe" "$BUILD/setupstub.exe" dist/
