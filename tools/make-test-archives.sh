#!/usr/bin/env bash
# Makes the RAR archives that the extraction tests read, with the machine's rar (Unix host entries).
# Usage: make-test-archives.sh OUTPUT_DIR
set -euo pipefail
. "$(dirname "$0")/archive-stage.sh" "$1"

# routing.rar (solid, compressed): every routing case of the extracting pass, in this order.
r="$stage/routing"
mkdir -p "$r/Units/Deep" "$r/Help" "$r/Docs" "$r/System" "$r/Empty"
text uninstall 3000 >"$r/uninstall.exe"
text readme 120 >"$r/readme.txt"
text alpha 70000 >"$r/Units/alpha.pas"
text beta 512 >"$r/Units/Deep/beta.pas"
chmod 664 "$r/Units/Deep/beta.pas"  # group-write is bit 0x10 of a Unix mode
text help-one 2048 >"$r/Help/prod.hlp"
text chm 4096 >"$r/Docs/PROD.CHM"
text help-two 1500 >"$r/Docs/prod.hlp"
text system 777 >"$r/System/orvrartest.dll"
(cd "$r" && rar a -idq -s -ds -m5 "$out/routing.rar" uninstall.exe readme.txt Units/alpha.pas Units/Deep/beta.pas \
  Help/prod.hlp Docs/PROD.CHM Docs/prod.hlp System/orvrartest.dll Empty)

# rootonly.rar: files at the archive's root only.
mkdir -p "$stage/root"
text one 10 >"$stage/root/one.txt"
text two 20 >"$stage/root/two.txt"
(cd "$stage/root" && rar a -idq "$out/rootonly.rar" one.txt two.txt)

# names.rar: letters outside ASCII in folder and file names (all present in code pages 1252 and 437).
n="$stage/names"
mkdir -p "$n/Ünits" "$n/Ördner"
text gruesse 300 >"$n/Ünits/grüße.txt"
text huelfe 200 >"$n/hülfe.hlp"
(cd "$n" && rar a -idq "$out/names.rar" "Ünits/grüße.txt" hülfe.hlp Ördner)

# password.rar (file data encrypted) and headers.rar (headers encrypted too); no password is ever given.
mkdir -p "$stage/secret"
text secret 100 >"$stage/secret/secret.txt"
(cd "$stage/secret" && rar a -idq -psecret "$out/password.rar" secret.txt)
(cd "$stage/secret" && rar a -idq -hpsecret "$out/headers.rar" secret.txt)

# compressed.rar: three compressed files in a folder, big enough that cutting or flipping a byte hits every part.
mkdir -p "$stage/packed/docs"
text "first line of a compressed file" 40000 >"$stage/packed/docs/first.txt"
seq 1 20000 >"$stage/packed/docs/second.txt"
text third 30000 >"$stage/packed/third.txt"
(cd "$stage/packed" && rar a -idq -m5 "$out/compressed.rar" docs/first.txt docs/second.txt third.txt)

# truncated.rar: a stored archive cut in the middle of its second file's data.
mkdir -p "$stage/cut"
text first 1000 >"$stage/cut/first.txt"
head -c 200000 /dev/urandom >"$stage/cut/second.bin"
text third 1000 >"$stage/cut/third.txt"
(cd "$stage/cut" && rar a -idq -m0 "$stage/whole.rar" first.txt second.bin third.txt)
head -c 100000 "$stage/whole.rar" >"$out/truncated.rar"
