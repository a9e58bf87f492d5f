#!/usr/bin/env bash
# Builds both programs and the benchmark's own programs for the Windows this machine runs (tools/target-windows.sh),
# then measures them against their limits and a peer installer and prints the figures (tools/bench/benchmark.py;
# about 6 minutes with the default 3 rounds). The figures are ratios, comparable between 32-bit and 64-bit runs.
# Usage: tools/benchmark.sh [--rounds N] [--payloads typical,small] [--markdown FILE] [--on-disk]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
source tools/target-windows.sh
BUILD="${ORV_BUILD:-build}"
orv_configure "$BUILD" "$ORV_TOOLCHAIN"
cmake --build "$BUILD" -j2 --target orvsetup uninstall orvdriver orvdriverhook bench_extract bench_delete
exec python3 tools/bench/benchmark.py --build "$BUILD" "$@"
