# Shared by the screenshot scripts (sourced, not run): a scratch Wine prefix that draws through X11 under a private
# Xvfb display, both removed when the script ends. Needs CACHE (the template prefix's cache folder).

# Makes WORK (a scratch folder) and, in it, a copy of the template prefix without the null graphics driver.
# Wine's desktop process keeps the driver it started with, so the server ends before any program runs.
make_x11_prefix() {
  WORK="$(mktemp -d)"
  XVFB_PID=""
  export WINEARCH=win32 WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX="$WORK/prefix"
  trap x11_wine_cleanup EXIT
  cp -a "$CACHE/wineprefix" "$WINEPREFIX"
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  wineserver -w
  # Wine's own fonts (Debian's fonts-wine), when present, give the title bar its glyphs.
  if [ -d /usr/share/wine/fonts ]; then cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"; fi
}

# Starts Xvfb on the first free display from :90 on and exports DISPLAY.
start_xvfb() {
  local number=90
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  export DISPLAY=":$number"
  Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
}

x11_wine_cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
