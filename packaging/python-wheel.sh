#!/usr/bin/env bash
# Builds the quavr wheel with a copy of LIBRARY in it (a platform wheel) into OUT: from a scratch
# copy of python/, offline, with Debian's setuptools and wheel (python3-setuptools,
# python3-wheel). Prints the wheel's path.
#   packaging/python-wheel.sh LIBRARY OUT      (LIBRARY: libquavr.so.0.N or QUAVR.DLL)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
library=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tar -C "$root" --exclude=__pycache__ --exclude='*.egg-info' --exclude=build -cf - python |
  tar -C "$scratch" -xf -
case $library in
  *.DLL) name=QUAVR.DLL ;;
  *) name=libquavr.so.0 ;;
esac
cp -L "$library" "$scratch/python/quavr/$name"
cd "$scratch/python"
/usr/bin/python3 setup.py -q bdist_wheel -d "$scratch/dist" >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; exit 1; }
wheel=$(ls "$scratch"/dist/*.whl)
cp "$wheel" "$out/"
echo "$out/${wheel##*/}"
