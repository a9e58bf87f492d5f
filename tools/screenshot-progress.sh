#!/usr/bin/env bash
# Takes a picture of the setup program's progress dialog in the middle of an extraction: the built orvsetup.exe
# installs a large made-up product (PromptInstallDir off, so the welcome box is the only question) under Xvfb in
# Wine's virtual desktop (X11 driver, not the null one the tests use); the welcome box is answered with a key press,
# and the screen is captured once part of the payload has landed in the destination folder.
#   tools/screenshot-progress.sh [PROGRAMS_DIR] [OUTPUT_PNG]
# Defaults: dist (orvsetup.exe and uninstall.exe, see tools/build-dist.sh; build where the machine runs no 32-bit
# code), docs/progress-dialog.png.
# Needs Xvfb, xdotool, ImageMagick's import and rar; Debian's fonts-wine gives the title bar its close glyph.
set -euo pipefail
SOURCE_DIR="$(cd "$(dirname "$0")/.." && pwd)"
source "$SOURCE_DIR/tools/target-windows.sh"
# The shipped programs where this machine runs them, else the test build of the same sources.
if [ "$ORV_ARCH" = win32 ]; then DEFAULT_PROGRAMS="$SOURCE_DIR/dist"; else DEFAULT_PROGRAMS="$SOURCE_DIR/build"; fi
PROGRAMS_DIR="$(cd "${1:-$DEFAULT_PROGRAMS}" && pwd)"
OUTPUT="${2:-$SOURCE_DIR/docs/progress-dialog.png}"
# The payload: FILES files of FILE_MB megabytes of random data (stored, not compressible), big enough for the
# dialog to stay up for several seconds.
FILES="${ORV_SHOT_FILES:-40}"
FILE_MB="${ORV_SHOT_FILE_MB:-8}"
# Seconds to let Wine start the desktop and the program; the share of the payload extracted before the picture.
START_WAIT="${ORV_SHOT_START_WAIT:-8}"
SHOT_AT_PERCENT="${ORV_SHOT_AT_PERCENT:-35}"

for tool in Xvfb xdotool import rar; do
  command -v "$tool" >/dev/null || { echo "screenshot-progress: $tool is missing (tools/setup-machine.sh)" >&2; exit 2; }
done
for file in orvsetup.exe uninstall.exe; do
  [ -f "$PROGRAMS_DIR/$file" ] || { echo "screenshot-progress: $PROGRAMS_DIR/$file not built" >&2; exit 2; }
done

source "$SOURCE_DIR/tools/x11-wine.sh"
make_x11_prefix

# The product: the large payload with the uninstaller, installed without a destination question.
PRODUCT="$WORK/prefix/drive_c/product"
mkdir -p "$WORK/payload/data" "$PRODUCT"
for index in $(seq -w 1 "$FILES"); do
  head -c "${FILE_MB}M" /dev/urandom >"$WORK/payload/data/part$index.bin"
done
(cd "$WORK/payload" && rar a -r -m0 -idq -y "$PRODUCT/Data.rar" data)
rar a -ep -idq -y "$PRODUCT/Data.rar" "$PROGRAMS_DIR/uninstall.exe"
printf '%s\r\n' '[Application]' 'AppName=Quillmark Marlin Components' 'ProductName=Marlin' 'Version=2.1' \
  'DelphiVer=D5' 'DefaultDir=C:\Program Files\Quillmark\Marlin' 'CheckPrevVersion=0' 'PromptInstallDir=0' \
  >"$PRODUCT/OrvSetup.ini"
cp "$PROGRAMS_DIR/orvsetup.exe" "$ORV_UNRAR_DLL" "$PRODUCT/"
DESTINATION="$WINEPREFIX/drive_c/Program Files/Quillmark/Marlin"
TOTAL_KB=$((FILES * FILE_MB * 1024))

start_xvfb

start_in_desktop "$PRODUCT" orvsetup.exe
sleep "$START_WAIT"
xdotool key Return  # OK in the welcome box

# The picture is taken once the share of the payload has been written, while the rest is still to come.
for _ in $(seq 600); do
  done_kb=$(du -sk "$DESTINATION" 2>/dev/null | cut -f1 || echo 0)
  [ "${done_kb:-0}" -ge $((TOTAL_KB * SHOT_AT_PERCENT / 100)) ] && break
  sleep 0.05
done
take_picture "$OUTPUT"
done_kb=$(du -sk "$DESTINATION" 2>/dev/null | cut -f1 || echo 0)
echo "screenshot-progress: wrote $OUTPUT with ${done_kb} of ${TOTAL_KB} KB extracted"
# Let the extraction end (the uninstaller is the archive's last entry) before the prefix goes.
for _ in $(seq 300); do [ -f "$DESTINATION/uninstall.exe" ] && break; sleep 0.1; done
sleep 1
