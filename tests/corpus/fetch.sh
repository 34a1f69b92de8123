#!/usr/bin/env bash
# Fetches free MIDI files from Debian packages into DIR (not committed to the project):
# downloads the packages and unpacks their .mid files. Does nothing when DIR already has them.
set -euo pipefail
dir=$1
shift
packages=("$@")
[[ -f "$dir/.complete" ]] && exit 0
rm -rf "$dir" && mkdir -p "$dir/debs" "$dir/tree"
dir=$(cd "$dir" && pwd)  # the steps below change folders
cd "$dir/debs"
if ! apt-get download "${packages[@]}" >/dev/null 2>&1; then
  apt-get update -qq >/dev/null 2>&1 || true
  apt-get download "${packages[@]}"
fi
for deb in *.deb; do dpkg-deb -x "$deb" "$dir/tree"; done
find "$dir/tree" -iname '*.mid' -type f | sort > "$dir/files.txt"
echo "fetched $(wc -l < "$dir/files.txt") MIDI files from ${packages[*]}"
touch "$dir/.complete"
