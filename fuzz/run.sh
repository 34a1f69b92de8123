#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) and runs each for SECONDS (default 60)
# on the seed corpus: the SMF writer's seeds plus free MIDI files from Debian packages.
# Crashes are kept in build-fuzz/crashes/; the run fails if there is one.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DQUAVR_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null
"$root/tests/corpus/fetch.sh" "$build/corpus" openttd-openmsx mma >/dev/null
mkdir -p "$build/seeds" "$build/crashes"
"$build/fuzz/fuzz_seeds" "$build/seeds"
n=0
while read -r file; do  # several packages use the same file names
  cp "$file" "$build/seeds/real-$((n++))-$(basename "$file")"
done < "$build/corpus/files.txt"
status=0
for target in load_fuzzer passes_fuzzer play_fuzzer; do
  work=$build/work/$target
  mkdir -p "$work"
  echo "== $target, $seconds s"
  if ! "$build/fuzz/$target" "$work" "$build/seeds" -dict="$root/fuzz/midi.dict" \
      -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$target-" 2>"$work.log"; then
    status=1
    tail -n 40 "$work.log"
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$work.log" | sed 's/^/   /'
done
exit $status
