#!/usr/bin/env bash
# The main job: sets up what is missing and builds both programs into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
bash tools/build-dist.sh
echo "Built: $(pwd)/dist/orvsetup.exe and $(pwd)/dist/uninstall.exe"
