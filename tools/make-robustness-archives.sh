#!/usr/bin/env bash
# Makes the archives of the robustness tests that only the rar tool itself can make (passwords, real compression).
# Usage: make-robustness-archives.sh OUTPUT_DIR
#   password.rar    file data encrypted (rar -p); no password is ever given
#   headers.rar     file data and headers encrypted (rar -hp)
#   compressed.rar  three compressed files in a folder, big enough that cutting or flipping a byte hits every part
#   names.rar       folder and file names with letters outside ASCII (all present in code pages 1252 and 437)
set -euo pipefail
. "$(dirname "$0")/archive-stage.sh" "$1"

mkdir -p "$stage/secret"
text secret 3000 >"$stage/secret/secret.txt"
(cd "$stage/secret" && rar a -idq -psecret "$out/password.rar" secret.txt)
(cd "$stage/secret" && rar a -idq -hpsecret "$out/headers.rar" secret.txt)

mkdir -p "$stage/packed/docs"
text "first line of a compressed file" 40000 >"$stage/packed/docs/first.txt"
seq 1 20000 >"$stage/packed/docs/second.txt"
text third 30000 >"$stage/packed/third.txt"
(cd "$stage/packed" && rar a -idq -m5 "$out/compressed.rar" docs/first.txt docs/second.txt third.txt)

mkdir -p "$stage/names/Ünits" "$stage/names/Ördner"
text grüße 300 >"$stage/names/Ünits/grüße.txt"
text hülfe 200 >"$stage/names/Ünits/hülfe.hlp"
text ärger 100 >"$stage/names/Ördner/Äpfel & Birnen.txt"
(cd "$stage/names" &&
  rar a -idq "$out/names.rar" "Ünits/grüße.txt" "Ünits/hülfe.hlp" "Ördner/Äpfel & Birnen.txt")
