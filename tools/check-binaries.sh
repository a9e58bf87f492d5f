#!/usr/bin/env bash
# Checks that the programs are 32-bit PE files that need no DLL beyond Windows's own.
# Usage: check-binaries.sh PROGRAM.exe...
set -euo pipefail
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMCTL32|MSVCRT|SHLWAPI|VERSION)\.DLL$'
status=0
for program in "$@"; do
  format=$(i686-w64-mingw32-objdump -f "$program" | awk '/file format/{print $NF}')
  if [ "$format" != "pei-i386" ] && [ "$format" != "pe-i386" ]; then
    echo "FAIL $program: file format $format"; status=1
  fi
  while read -r dll; do
    if ! echo "$dll" | tr '[:lower:]' '[:upper:]' | grep -Eq "$allowed"; then
      echo "FAIL $program: needs $dll"; status=1
    fi
  done < <(i686-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/{print $3}')
  [ $status -ne 0 ] || echo "ok $program ($format)"
done
exit $status
