#!/usr/bin/env bash
# Makes a private Wine prefix of this machine's kind (tools/target-windows.sh) with the null graphics driver
# (headless), once.
# Usage: make-wine-prefix.sh PREFIX_DIR
set -euo pipefail
source "$(dirname "$0")/target-windows.sh"
prefix="$1"
if [ -f "$prefix/.orv-ready" ]; then exit 0; fi
echo "[wine] making the $WINEARCH prefix $prefix"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Each step's output is kept and shown when it fails: it is the only word on why.
step() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "[wine] '$*' failed in $prefix (output above); with WINEARCH=$WINEARCH and $WINELOADER." \
      "Run tools/setup-machine.sh; ORV_ARCH=win64 builds and tests the 64-bit programs instead." >&2
    exit 1
  fi
}
step wine wineboot -i
step wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
step wineserver -w
touch "$prefix/.orv-ready"
