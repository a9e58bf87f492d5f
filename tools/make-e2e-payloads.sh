#!/usr/bin/env bash
# Packages the sample product for the end-to-end tests with the just-built programs and this machine's unrar.dll.
# Usage: make-e2e-payloads.sh BUILD_DIR OUTPUT_DIR
#   OUTPUT_DIR/sample/   the vendor folder of tools/sample-product (OrvSetup.ini, Data.rar, unrar.dll, orvsetup.exe)
#   OUTPUT_DIR/small/    Data.rar of a small product: readme.txt, tools\ran.bat (writes the folder it runs in into
#                        ran.txt there) and uninstall.exe at the root; the tests write its configuration
set -euo pipefail
build="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/target-windows.sh"
umask 022
rm -rf "$out"
mkdir -p "$out"
# The packaging command's warnings about the sample's configuration go to the test's output.
python3 "$here/package_product.py" "$here/sample-product/payload" "$here/sample-product/OrvSetup.ini" \
  "$out/sample" --programs "$build" --unrar-dll "$ORV_UNRAR_DLL" >/dev/null

small="$out/small-payload"
mkdir -p "$small/tools" "$out/small"
printf 'A small product for the end-to-end tests.\r\n' >"$small/readme.txt"
printf '@cd > ran.txt\r\n' >"$small/tools/ran.bat"
(cd "$small" && rar a -r -idq -y "$out/small/Data.rar" readme.txt tools)
rar a -ep -idq -y "$out/small/Data.rar" "$build/uninstall.exe"

# The editions product: a package source for each of four IDE editions, a unit, a help file and the uninstaller; the
# tests write its configuration.
editions="$out/editions-payload"
mkdir -p "$editions/source" "$editions/units" "$editions/help" "$out/editions"
for pack in OrvD5.dpk OrvD6.dpk OrvC5.bpk OrvC6.bpk; do printf 'package\r\n' >"$editions/source/$pack"; done
printf 'unit\r\n' >"$editions/units/edunit.pas"
printf 'help\r\n' >"$editions/help/ed.hlp"
(cd "$editions" && rar a -r -idq -y "$out/editions/Data.rar" source units help)
rar a -ep -idq -y "$out/editions/Data.rar" "$build/uninstall.exe"
