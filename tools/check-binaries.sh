#!/usr/bin/env bash
# Checks that the programs are 32-bit PE files that load no DLL but kernel32 and the C runtime when they start: every
# other DLL, Windows's own all of them, is delay-loaded once the DLL search is restricted to the system folder
# (orv_shipped_program in CMakeLists.txt).
# Usage: check-binaries.sh PROGRAM.exe...
set -euo pipefail
allowed='^(KERNEL32|MSVCRT)\.DLL$'
status=0
for program in "$@"; do
  format=$(i686-w64-mingw32-objdump -f "$program" | awk '/file format/{print $NF}')
  if [ "$format" != "pei-i386" ] && [ "$format" != "pe-i386" ]; then
    echo "FAIL $program: file format $format"; status=1
  fi
  while read -r dll; do
    if ! echo "$dll" | tr '[:lower:]' '[:upper:]' | grep -Eq "$allowed"; then
      echo "FAIL $program: loads $dll when it starts"; status=1
    fi
  done < <(i686-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/{print $3}')
  [ $status -ne 0 ] || echo "ok $program ($format)"
done
exit $status
