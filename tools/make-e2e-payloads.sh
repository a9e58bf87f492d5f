#!/usr/bin/env bash
# Packages the sample product for the end-to-end tests with the just-built programs.
# Usage: make-e2e-payloads.sh BUILD_DIR OUTPUT_DIR
#   OUTPUT_DIR/sample/   the vendor folder of tools/sample-product (OrvSetup.ini, Data.rar, unrar.dll, orvsetup.exe)
set -euo pipefail
build="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
export LC_ALL=C.UTF-8
umask 022
rm -rf "$out"
mkdir -p "$out"
python3 "$here/package_product.py" "$here/sample-product/payload" "$here/sample-product/OrvSetup.ini" \
  "$out/sample" --programs "$build" 2>"$out/sample-warnings.txt" >/dev/null
