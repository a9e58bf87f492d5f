#!/usr/bin/env bash
# Prepares a Debian machine to build and test the programs: cross compilers, Wine, rar, unrar.dll built from
# Debian's source, GoogleTest sources, openssl and osslsigncode (signing) and a private headless Wine prefix, for the
# Windows this machine tests on (tools/target-windows.sh). Idempotent: every step checks first and says what it does.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
say() { printf '[setup] %s\n' "$*"; }
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"

apt_install() {
  local missing="" package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
  done
  [ -n "$missing" ] || return 0
  say "installing:$missing"
  say "apt-get update"
  $SUDO apt-get update -qq
  # apt's output is kept and shown only when it fails: it is long, and it is the only word on why.
  local log
  log=$(mktemp)
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "[setup] apt-get install failed for:$missing (see above; check the apt sources and the network)" >&2
    exit 1
  fi
  rm -f "$log"
}

# 1. The 32-bit loader that tells whether this kernel runs 32-bit code (an amd64 package of main).
[ -e /lib/ld-linux.so.2 ] || apt_install libc6-i386
source "$HERE/target-windows.sh"
say "$(orv_target_summary)"

# 2. Debian's non-free component (rar, unrar and the unrar-nonfree sources), as deb and deb-src,
#    on the same mirror and key as the machine's own main entry.
NONFREE=/etc/apt/sources.list.d/orv-nonfree.sources
if [ ! -f "$NONFREE" ]; then
  main=/etc/apt/sources.list.d/debian.sources
  uri=$(awk '/^URIs:/{print $2; exit}' "$main" 2>/dev/null || true)
  key=$(awk '/^Signed-By:/{print $2; exit}' "$main" 2>/dev/null || true)
  if [ -z "$uri" ]; then
    uri=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
    key=/usr/share/keyrings/debian-archive-keyring.gpg
  fi
  say "adding the non-free component (deb and deb-src) from $uri"
  printf 'Types: deb deb-src\nURIs: %s\nSuites: bookworm\nComponents: non-free\nSigned-By: %s\n' "$uri" "$key" |
    $SUDO tee "$NONFREE" >/dev/null
fi

# 3. Packages. The shipped programs are always built with the 32-bit cross compiler; the 32-bit Wine only where the
#    kernel runs it, the 64-bit compiler where the tests need it.
PACKAGES="python3 xdotool fonts-wine wine wine64 g++-mingw-w64-i686 cmake make rar unrar googletest dpkg-dev xvfb
  x11-apps imagemagick nsis openssl osslsigncode"
if [ "$ORV_ARCH" = win32 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
  fi
  PACKAGES="$PACKAGES wine32:i386"
else
  PACKAGES="$PACKAGES g++-mingw-w64-x86-64"
fi
apt_install $PACKAGES

# 4. unrar.dll from Debian's unrar-nonfree source, cross-built once per source version and kind.
"$HERE/build-unrar-dll.sh"

# 5. A private Wine prefix with the null graphics driver, made once and reused as a template.
"$HERE/make-wine-prefix.sh" "$ORV_TEMPLATE_PREFIX"
say "ready: $ORV_ARCH, cache in $ORV_ARCH_CACHE"
