#!/usr/bin/env bash
# Builds the 32-bit unrar.dll that the tests load, from Debian's unrar-nonfree source package.
# Usage: build-unrar-dll.sh CACHE_DIR   -> CACHE_DIR/unrar-<version>/unrar.dll, CACHE_DIR/unrar.dll (link)
set -euo pipefail
CACHE="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
say() { printf '[unrar.dll] %s\n' "$*"; }

version=$(apt-cache showsrc unrar-nonfree 2>/dev/null | awk '/^Version:/{print $2; exit}')
[ -n "$version" ] || { echo "unrar-nonfree source not known to apt (deb-src non-free missing?)" >&2; exit 1; }
out="$CACHE/unrar-$version"
if [ -f "$out/unrar.dll" ]; then
  ln -sfn "$out/unrar.dll" "$CACHE/unrar.dll"
  exit 0
fi
say "building unrar.dll $version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only unrar-nonfree >/dev/null 2>&1)
tar -xzf "$work"/unrar-nonfree_*.orig.tar.gz -C "$work"
src="$work/unrar"
inc="$work/include"
mkdir -p "$inc" "$work/obj"
echo '#include <powrprof.h>' > "$inc/PowrProf.h"
echo '#include <wbemidl.h>' > "$inc/Wbemidl.h"
CXX=i686-w64-mingw32-g++
FLAGS="-O2 -w -I$inc -DRARDLL -DUNRAR -DSILENT -D_WIN32_WINNT=0x0601"
objs=""
for f in archive arcread blake2s cmddata consio crc crypt dll encname errhnd extinfo extract filcreat file \
         filefn filestr find getbits global hash headers isnt match options pathfn qopen rar rarvm rawread rdwrfn \
         rijndael rs rs16 scantree secpassword sha1 sha256 smallfn strfn strlist system threadpool timefn ui \
         unicode unpack volume; do
  $CXX $FLAGS -c "$src/$f.cpp" -o "$work/obj/$f.o" &
  objs="$objs $work/obj/$f.o"
  # two compilers at a time
  [ "$(jobs -rp | wc -l)" -lt 2 ] || wait -n
done
$CXX -O2 -w -c "$HERE/unrar-shim/comutil_shim.cpp" -o "$work/obj/comutil_shim.o"
wait
mkdir -p "$out"
$CXX -shared -o "$out/unrar.dll" $objs "$work/obj/comutil_shim.o" "$src/dll.def" -static -static-libgcc \
  -static-libstdc++ -lpowrprof -lole32 -loleaut32 -lwbemuuid -lshlwapi -lcrypt32 -luuid -Wl,--kill-at
ln -sfn "$out/unrar.dll" "$CACHE/unrar.dll"
say "built $out/unrar.dll"
