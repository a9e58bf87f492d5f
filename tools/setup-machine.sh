#!/usr/bin/env bash
# Prepares a Debian machine to build and test both programs: cross compiler, Wine (32-bit), rar,
# unrar.dll built from Debian's source, GoogleTest sources and a private headless Wine prefix.
# Idempotent: every step checks first and says what it does.
set -euo pipefail

CACHE="${ORV_CACHE:-$HOME/.cache/orvsetup}"
HERE="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$CACHE"
say() { printf '[setup] %s\n' "$*"; }
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"

# 1. i386 architecture (32-bit Wine).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

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
  NEED_UPDATE=1
fi

PACKAGES="python3 xdotool fonts-wine wine wine32:i386 wine64 g++-mingw-w64-i686 cmake make rar unrar googletest dpkg-dev xvfb x11-apps imagemagick nsis"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ] || [ -n "${NEED_UPDATE:-}" ]; then
  say "apt-get update"
  $SUDO apt-get update -qq
fi
if [ -n "$missing" ]; then
  say "installing:$missing"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# 3. unrar.dll from Debian's unrar-nonfree source, cross-built once per source version.
"$HERE/build-unrar-dll.sh" "$CACHE"

# 4. A private 32-bit Wine prefix with the null graphics driver, made once and reused as a template.
"$HERE/make-wine-prefix.sh" "$CACHE/wineprefix"
say "ready: cache in $CACHE"
