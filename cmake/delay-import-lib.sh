#!/usr/bin/env bash
# Makes a delay-import library of a system DLL from the toolchain's import library: a program linked with it binds
# that DLL at its first call into it instead of when the program is loaded (see orv_shipped_program in
# CMakeLists.txt).
# Usage: delay-import-lib.sh NM DLLTOOL OBJCOPY MACHINE IMPORT_LIBRARY DLL_NAME OUTPUT
#   MACHINE: dlltool's machine name, i386 or i386:x86-64
set -euo pipefail
nm="$1" dlltool="$2" objcopy="$3" machine="$4" import_library="$5" dll="$6" output="$7"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every function the import library offers. 32-bit C names carry a leading underscore, which the .def file leaves
# out; dlltool -k drops the stdcall "@N" from the names looked up in the DLL.
strip='s/^//'
[ "$machine" = i386 ] && strip='s/^_//'
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$nm" "$import_library" | awk '$2 == "T" { print $3 }' | sed "$strip" | sort -u
} >"$work/exports.def"
[ "$(wc -l <"$work/exports.def")" -gt 2 ] || { echo "no functions found in $import_library" >&2; exit 1; }
# dlltool names the library's members and symbols after the output file: the same name on every build.
(cd "$work" && "$dlltool" -m "$machine" -k -d exports.def -y "$(basename "$output")")

# dlltool puts the delay tables into .idata sections, and ld merges those into the tables the loader fills at start:
# the loader would then look the delay-loaded functions up in another DLL and leave null pointers behind. Renamed,
# they form a section of their own that only the delay-load helper reads.
renames=()
for part in 2 4 5 6 7; do
  renames+=(--rename-section ".idata\$$part=.didat\$$part,alloc,load,data,contents")
done
mkdir -p "$(dirname "$output")"
"$objcopy" "${renames[@]}" "$work/$(basename "$output")" "$output.part"
mv "$output.part" "$output"
