#!/usr/bin/env bash
# Builds the unrar.dll that the tests load, for the Windows this machine tests on (tools/target-windows.sh), from
# Debian's unrar-nonfree source package.
# Usage: build-unrar-dll.sh   -> $ORV_ARCH_CACHE/unrar-<version>/unrar.dll, $ORV_UNRAR_DLL (a link to it)
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/target-windows.sh"
say() { printf '[unrar.dll] %s\n' "$*"; }
fail() { printf '[unrar.dll] %s\n' "$*" >&2; exit 1; }

source_version() { apt-cache showsrc unrar-nonfree 2>/dev/null | awk '/^Version:/{print $2; exit}'; }
version=$(source_version)
if [ -z "$version" ]; then
  say "unrar-nonfree's source is not known to apt yet: apt-get update"
  apt-get update -qq
  version=$(source_version)
fi
[ -n "$version" ] || fail "unrar-nonfree's source is not known to apt: is the deb-src line of non-free in" \
  "/etc/apt/sources.list.d/orv-nonfree.sources? (tools/setup-machine.sh writes it)"
out="$ORV_ARCH_CACHE/unrar-$version"
if [ -f "$out/unrar.dll" ]; then
  ln -sfn "$out/unrar.dll" "$ORV_UNRAR_DLL"
  exit 0
fi
say "building unrar.dll $version for $ORV_ARCH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only unrar-nonfree >"$work/source.log" 2>&1) ||
  { cat "$work/source.log" >&2; fail "apt-get source unrar-nonfree failed (output above)"; }
tar -xzf "$work"/unrar-nonfree_*.orig.tar.gz -C "$work"
src="$work/unrar"
inc="$work/include"
mkdir -p "$inc" "$work/obj"
echo '#include <powrprof.h>' > "$inc/PowrProf.h"
echo '#include <wbemidl.h>' > "$inc/Wbemidl.h"
CXX=$ORV_MINGW-g++
FLAGS="-O2 -w -I$inc -DRARDLL -DUNRAR -DSILENT -D_WIN32_WINNT=0x0601"
objs=""
for f in archive arcread blake2s cmddata consio crc crypt dll encname errhnd extinfo extract filcreat file \
         filefn filestr find getbits global hash headers isnt match options pathfn qopen rar rarvm rawread rdwrfn \
         rijndael rs rs16 scantree secpassword sha1 sha256 smallfn strfn strlist system threadpool timefn ui \
         unicode unpack volume; do
  $CXX $FLAGS -c "$src/$f.cpp" -o "$work/obj/$f.o" &
  objs="$objs $work/obj/$f.o"
  # two compilers at a time
  [ "$(jobs -rp | wc -l)" -lt 2 ] || wait -n || true
done
$CXX -O2 -w -c "$HERE/unrar-shim/comutil_shim.cpp" -o "$work/obj/comutil_shim.o"
wait
# A compiler that failed left its object missing (its output is above); the link would only say that much.
for o in $objs; do [ -f "$o" ] || fail "compiling unrar's $(basename "$o" .o).cpp failed (compiler output above)"; done
mkdir -p "$out"
$CXX -shared -o "$out/unrar.dll" $objs "$work/obj/comutil_shim.o" "$src/dll.def" -static -static-libgcc \
  -static-libstdc++ -lpowrprof -lole32 -loleaut32 -lwbemuuid -lshlwapi -lcrypt32 -luuid -Wl,--kill-at
ln -sfn "$out/unrar.dll" "$ORV_UNRAR_DLL"
say "built $out/unrar.dll"
