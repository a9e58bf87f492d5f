#!/usr/bin/env bash
# Builds both programs and the benchmark's own programs, then measures them against their limits and a peer
# installer and prints the figures (tools/bench/benchmark.py; about 10 minutes with the default 3 rounds).
# Usage: tools/benchmark.sh [--rounds N] [--payloads typical,small] [--markdown FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
BUILD="${ORV_BUILD:-build}"
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$BUILD" -j2 --target orvsetup uninstall orvdriver orvdriverhook bench_extract bench_delete
exec python3 tools/bench/benchmark.py --build "$BUILD" "$@"
