# Sourced by the archive-making scripts: an empty OUTPUT_DIR in $out, a staging folder in $stage removed on exit,
# and text SEED SIZE, which prints SIZE deterministic bytes that compress well.
out="$1"
export LC_ALL=C.UTF-8
umask 022
rm -rf "$out"
mkdir -p "$out"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

text() { { yes "$1" || true; } | head -c "$2"; }
