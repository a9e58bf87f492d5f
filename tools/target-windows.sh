# Sourced (not run) by every script that builds or runs Windows programs: decides once which Windows this machine
# tests on and sets everything that follows from it.
#   win32  the kernel runs 32-bit code: the tests run the shipped 32-bit programs in a 32-bit prefix
#   win64  it runs 64-bit user code only: the tests run the same sources built for x86_64 in a 64-bit prefix
# ORV_ARCH=win32|win64 overrides the choice. dist/ holds the 32-bit programs on both.
#
# Sets and exports: ORV_ARCH, ORV_CACHE, ORV_ARCH_CACHE (unrar.dll and the template prefix of this kind),
# ORV_TOOLCHAIN (CMake toolchain file of the test build), ORV_DIST_TOOLCHAIN (the shipped programs'), ORV_MINGW (the
# test build's compiler prefix), ORV_UNRAR_DLL, ORV_TEMPLATE_PREFIX, WINEARCH, WINELOADER, WINESERVER, WINEDEBUG,
# WINEDLLOVERRIDES, LC_ALL, ORV_NSIS_TARGET; defines the shell functions wine and wineserver, which run this kind's
# loader and server.

orv_tools_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Running a 32-bit program answers the question; libc6-i386's loader is the cheapest one (setup-machine.sh installs
# it where missing). Without it the 64-bit build is the safe choice: it runs on both kinds.
orv_runs_32bit_code() {
  local probe
  for probe in /lib/ld-linux.so.2 /usr/lib/wine/wine; do
    if [ -x "$probe" ]; then
      "$probe" --version >/dev/null 2>&1 && return 0
      return 1
    fi
  done
  return 1
}

if [ -z "${ORV_ARCH:-}" ]; then
  if orv_runs_32bit_code; then ORV_ARCH=win32; else ORV_ARCH=win64; fi
fi
case "$ORV_ARCH" in
  win32)
    ORV_MINGW=i686-w64-mingw32
    ORV_TOOLCHAIN="$orv_tools_dir/../cmake/mingw-i686.cmake"
    WINELOADER=/usr/lib/wine/wine
    ORV_NSIS_TARGET=x86-unicode ;;
  win64)
    ORV_MINGW=x86_64-w64-mingw32
    ORV_TOOLCHAIN="$orv_tools_dir/../cmake/mingw-x86_64.cmake"
    WINELOADER=/usr/lib/wine/wine64
    ORV_NSIS_TARGET=amd64-unicode ;;
  *)
    echo "ORV_ARCH must be win32 or win64, not '$ORV_ARCH'" >&2
    return 2 ;;
esac
ORV_TOOLCHAIN="$(cd "$(dirname "$ORV_TOOLCHAIN")" && pwd)/$(basename "$ORV_TOOLCHAIN")"
ORV_DIST_TOOLCHAIN="$(cd "$orv_tools_dir/../cmake" && pwd)/mingw-i686.cmake"
ORV_CACHE="${ORV_CACHE:-$HOME/.cache/orvsetup}"
ORV_ARCH_CACHE="$ORV_CACHE/$ORV_ARCH"
ORV_UNRAR_DLL="$ORV_ARCH_CACHE/unrar.dll"
ORV_TEMPLATE_PREFIX="$ORV_ARCH_CACHE/wineprefix"
# Debian's wrappers pick the 32-bit loader whenever its file exists, even where the kernel refuses it: the loader
# and the server are named directly. The 64-bit server serves 32-bit prefixes as well.
WINESERVER=/usr/lib/wine/wineserver64
WINEARCH="$ORV_ARCH"
WINEDEBUG="${WINEDEBUG:--all}"
# A locale that always exists: under a missing one Wine cannot handle names with letters outside ASCII.
LC_ALL=C.UTF-8
# Wine's menu helper reads every shortcut saved under the Start menu, holding it open for a moment, and writes desktop
# entries into this machine's own menus: tests would race it and litter the host.
WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export ORV_ARCH ORV_CACHE ORV_ARCH_CACHE ORV_TOOLCHAIN ORV_DIST_TOOLCHAIN ORV_MINGW ORV_UNRAR_DLL ORV_TEMPLATE_PREFIX \
  WINEARCH WINELOADER WINESERVER WINEDEBUG WINEDLLOVERRIDES LC_ALL ORV_NSIS_TARGET

wine() { "$WINELOADER" "$@"; }
wineserver() { "$WINESERVER" "$@"; }

# One line for a person: which programs the tests run.
orv_target_summary() {
  if [ "$ORV_ARCH" = win32 ]; then
    echo "tests run the shipped 32-bit programs"
  else
    echo "this machine runs no 32-bit code: tests run the same sources built for x86_64 in a 64-bit prefix;" \
      "the shipped 32-bit programs are built and checked, not run"
  fi
}

# orv_configure BUILD_DIR TOOLCHAIN [CMAKE ARGS...]: configures a build folder, anew when it was made with another
# toolchain (CMake keeps the first one a folder was configured with).
orv_configure() {
  local build="$1" toolchain="$2"
  shift 2
  if [ -f "$build/CMakeCache.txt" ] &&
    [ "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")" != "$toolchain" ]; then
    echo "[build] $build was configured for another toolchain: configuring it anew for $(basename "$toolchain")"
    rm -rf "$build"
  fi
  cmake -S "$orv_tools_dir/.." -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@" >/dev/null
}
