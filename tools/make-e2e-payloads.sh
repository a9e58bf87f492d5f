#!/usr/bin/env bash
# Packages the sample product for the end-to-end tests with the just-built programs and this machine's unrar.dll.
# Usage: make-e2e-payloads.sh BUILD_DIR OUTPUT_DIR
#   OUTPUT_DIR/sample/   the vendor folder of tools/sample-product (OrvSetup.ini, Data.rar, unrar.dll, orvsetup.exe)
#                        and SetupMarlin.exe, the single file, all signed with a throw-away certificate
#   OUTPUT_DIR/sample-delete/SetupMarlin.exe   the single file, unsigned, of the sample with DeleteSetupFiles on
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
# A throw-away certificate authority and a code-signing certificate it issued, made anew for every run: nothing
# secret is kept anywhere.
certs="$out/certificates"
mkdir -p "$certs"
ORV_SIGN_PASSWORD=$(openssl rand -hex 16)
export ORV_SIGN_PASSWORD
quiet() { local log; log=$(mktemp); "$@" >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; return 1; }; rm -f "$log"; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway Test CA" -keyout "$certs/ca.key" \
  -out "$certs/ca.pem" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=Quillmark Test Signer" -keyout "$certs/signer.key" \
  -out "$certs/signer.csr"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$certs/signer.ext"
quiet openssl x509 -req -in "$certs/signer.csr" -CA "$certs/ca.pem" -CAkey "$certs/ca.key" -CAcreateserial -days 2 \
  -extfile "$certs/signer.ext" -out "$certs/signer.pem"
quiet openssl pkcs12 -export -inkey "$certs/signer.key" -in "$certs/signer.pem" -certfile "$certs/ca.pem" \
  -out "$certs/signer.pfx" -passout env:ORV_SIGN_PASSWORD

# The packaging command's warnings about the sample's configuration go to the test's output.
python3 "$here/package_product.py" "$here/sample-product/payload" "$here/sample-product/OrvSetup.ini" \
  "$out/sample" --programs "$build" --unrar-dll "$ORV_UNRAR_DLL" --single-file SetupMarlin.exe \
  --sign "$certs/signer.pfx" >/dev/null
# Each signature holds against the throw-away authority: the single file, the setup program and the uninstaller that
# the archive holds.
mkdir -p "$certs/unpacked"
unrar e -idq -y "$out/sample/Data.rar" uninstall.exe "$certs/unpacked/"
for signed in "$out/sample/SetupMarlin.exe" "$out/sample/orvsetup.exe" "$certs/unpacked/uninstall.exe"; do
  quiet osslsigncode verify -in "$signed" -CAfile "$certs/ca.pem" || { echo "signature check failed: $signed" >&2; exit 1; }
done
# RunAfterInstall=1 also switches DeleteSetupFiles on (read from the same key): the setup deletes its own files.
sed 's/^RunAfterInstall=.*/RunAfterInstall=1/' "$here/sample-product/OrvSetup.ini" >"$out/sample-delete.ini"
quiet python3 "$here/package_product.py" "$here/sample-product/payload" "$out/sample-delete.ini" \
  "$out/sample-delete" --programs "$build" --unrar-dll "$ORV_UNRAR_DLL" --single-file SetupMarlin.exe

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
