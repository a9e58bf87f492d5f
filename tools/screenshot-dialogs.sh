#!/usr/bin/env bash
# Takes a picture of the setup program's destination dialog as a user sees it: the built orvsetup.exe runs under
# Xvfb in Wine's virtual desktop (X11 driver, not the null one the tests use), the welcome box is answered with a
# key press, and the root window is captured while the dialog shows its proposed folder.
#   tools/screenshot-dialogs.sh [BUILD_DIR] [OUTPUT_PNG]
# Defaults: build, docs/destination-dialog.png. Needs Xvfb, xdotool and ImageMagick's import; Debian's fonts-wine
# gives the title bar its close glyph.
set -euo pipefail
SOURCE_DIR="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$SOURCE_DIR/build}" && pwd)"
OUTPUT="${2:-$SOURCE_DIR/docs/destination-dialog.png}"
# Seconds to let Wine start the desktop and the program, and to draw after a key press.
START_WAIT="${ORV_SHOT_START_WAIT:-8}"
DRAW_WAIT="${ORV_SHOT_DRAW_WAIT:-3}"

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot-dialogs: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2; exit 2; }
done
[ -f "$BUILD_DIR/orvsetup.exe" ] || { echo "screenshot-dialogs: $BUILD_DIR/orvsetup.exe not built" >&2; exit 2; }

source "$SOURCE_DIR/tools/x11-wine.sh"
make_x11_prefix

# A product whose only questions before the destination dialog are the welcome box.
mkdir -p "$WORK/product"
printf '%s\r\n' '[Application]' 'AppName=Quillmark Marlin Components' 'ProductName=Marlin' 'Version=2.1' \
  'DelphiVer=D5' 'DefaultDir=C:\Program Files\Quillmark\Marlin\' 'CheckPrevVersion=0' 'CheckDelphi=0' \
  'PromptInstallDir=1' > "$WORK/product/OrvSetup.ini"
cp "$BUILD_DIR/orvsetup.exe" "$WORK/product/"

start_xvfb

start_in_desktop "$WORK/product" orvsetup.exe
sleep "$START_WAIT"
xdotool key Return  # OK in the welcome box
sleep "$DRAW_WAIT"
take_picture "$OUTPUT"
xdotool key Escape  # Cancel: the setup ends without installing
sleep 1
echo "screenshot-dialogs: wrote $OUTPUT"
