#!/usr/bin/env bash
# Runs a Windows test program under Wine in the test prefix (of this machine's kind, tools/target-windows.sh).
#   run-under-wine.sh --start PREFIX   copy the template prefix if needed, start a persistent wineserver
#   run-under-wine.sh --stop PREFIX    stop that wineserver
#   run-under-wine.sh PREFIX PROGRAM [ARGS...]
set -euo pipefail
source "$(dirname "$0")/target-windows.sh"
case "$1" in
  --start)
    export WINEPREFIX="$2"
    if [ ! -f "$WINEPREFIX/.orv-ready" ]; then
      rm -rf "$WINEPREFIX"
      cp -a "$ORV_TEMPLATE_PREFIX" "$WINEPREFIX"
    fi
    # Detached from our output: CTest waits for every writer of the pipe to go.
    wineserver -p >/dev/null 2>&1 </dev/null || true  # one may already run for this prefix
    exit 0 ;;
  --stop)
    export WINEPREFIX="$2"
    wineserver -k || true
    exit 0 ;;
esac
export WINEPREFIX="$1"; shift
# Output goes through a file: Wine's helper processes (services, the desktop) started by a test inherit its
# output, and CTest would wait for them to close a pipe. Test programs find unrar.dll through ORV_UNRAR_DLL.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
set +e
wine "$@" >"$log" 2>&1
rc=$?
set -e
cat "$log"
exit $rc
