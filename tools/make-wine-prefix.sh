#!/usr/bin/env bash
# Makes a private 32-bit Wine prefix with the null graphics driver (headless), once.
# Usage: make-wine-prefix.sh PREFIX_DIR
set -euo pipefail
prefix="$1"
if [ -f "$prefix/.orv-ready" ]; then exit 0; fi
echo "[wine] making the 32-bit prefix $prefix"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all LC_ALL=C.UTF-8
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.orv-ready"
