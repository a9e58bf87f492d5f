#!/usr/bin/env bash
# A small drive for the end-to-end tests: a tmpfs mounted on DIR and mapped to a drive letter of the test prefix.
#   small-drive.sh PREFIX DIR LETTER SIZE   mounts, e.g. build/wineprefix build/small-drive x 2m
#   small-drive.sh PREFIX DIR LETTER        unmounts
# Both first take down what is there (an interrupted run's drive included). Mounting needs root: where it fails,
# DIR.problem says why, and the tests that need the drive skip with that reason.
set -euo pipefail
prefix="$1" dir="$2" link="$1/dosdevices/$3:" size="${4:-}"
rm -f "$link" "$dir.problem"
# A drive still in use (a program under test not yet ended) is detached all the same, with umount's complaint shown.
if mountpoint -q "$dir"; then umount "$dir" || umount --lazy "$dir"; fi
if [ -z "$size" ]; then
  if [ -d "$dir" ]; then rmdir "$dir"; fi
  exit 0
fi
mkdir -p "$dir"
if ! problem=$(mount -t tmpfs -o "size=$size" orv-small-drive "$dir" 2>&1); then
  echo "cannot mount a $size tmpfs on $dir: ${problem:-mount failed}" | tee "$dir.problem" >&2
  exit 0
fi
ln -s "$(cd "$dir" && pwd)" "$link"
echo "$dir: a $size tmpfs, drive ${3^^}: of $prefix"
