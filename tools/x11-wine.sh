# Shared by the screenshot scripts (sourced, not run): a scratch Wine prefix of this machine's kind
# (tools/target-windows.sh) that draws through X11 under a private Xvfb display, both removed when the script ends.
source "$(dirname "${BASH_SOURCE[0]}")/target-windows.sh"

# Reports a failed step with its output (the only word on why) and ends the script.
x11_fail() {
  [ -n "${2:-}" ] && [ -f "$2" ] && cat "$2" >&2
  echo "$(basename "$0"): $1" >&2
  exit 1
}

# Makes WORK (a scratch folder) and, in it, a copy of the template prefix without the null graphics driver.
# Wine's desktop process keeps the driver it started with, so the server ends before any program runs.
make_x11_prefix() {
  WORK="$(mktemp -d)"
  XVFB_PID=""
  WINE_PID=""
  export WINEPREFIX="$WORK/prefix"
  trap x11_wine_cleanup EXIT
  cp -a "$ORV_TEMPLATE_PREFIX" "$WINEPREFIX"
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >"$WORK/wine.log" 2>&1 ||
    x11_fail "cannot switch the scratch prefix to the X11 driver (Wine's output above)" "$WORK/wine.log"
  wineserver -k >>"$WORK/wine.log" 2>&1 || true  # ends the server that the line above started
  wineserver -w
  # Wine's own fonts (Debian's fonts-wine), when present, give the title bar its glyphs.
  if [ -d /usr/share/wine/fonts ]; then cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"; fi
}

# Starts Xvfb on the first free display from :90 on and exports DISPLAY.
start_xvfb() {
  local number=90
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  export DISPLAY=":$number"
  Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$number" ] || x11_fail "Xvfb did not start on $DISPLAY (its output above)" "$WORK/xvfb.log"
}

# start_in_desktop FOLDER PROGRAM: starts the program from FOLDER in Wine's virtual desktop, in the background.
start_in_desktop() {
  (cd "$1" && exec "$WINELOADER" explorer /desktop=shot,800x600 "$2") >"$WORK/program.log" 2>&1 &
  WINE_PID=$!
}

# take_picture OUTPUT: captures the screen, but only while the program still runs: a picture of a desktop whose
# program failed would show nothing of it.
take_picture() {
  kill -0 "$WINE_PID" 2>/dev/null || x11_fail "the program ended before the picture (Wine's output above)" \
    "$WORK/program.log"
  mkdir -p "$(dirname "$1")"
  import -window root "$1"
}

x11_wine_cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
