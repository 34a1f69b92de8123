#!/usr/bin/env bash
# Builds the benchmarks in Release and measures, in one run on this machine: loads against libsmf
# and mido, pathological loads, tick cost, real-time timing accuracy and memory. Prints the
# table and writes it, with the date and the machine, to bench/RESULTS.md.
# Usage: bench/run.sh [--quick]   (--quick: 3 s timing runs instead of 20 s)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
seconds=20
[[ ${1:-} == --quick ]] && seconds=3
"$root/scripts/setup" libsmf-dev libbenchmark-dev
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUAVR_BENCH=ON -DQUAVR_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
"$root/tests/corpus/fetch.sh" "$build/corpus" openttd-openmsx mma planetblupi-music-midi
/usr/bin/python3 "$root/bench/gen_songs.py" "$build/songs"
raw=$build/raw.tsv
: > "$raw"
mapfile -t corpus < "$build/corpus/files.txt"
songs=$build/songs
echo "loads: ${#corpus[@]} real files and the generated ones..." >&2
"$build/bench/load_bench" --repeat 5 --min-seconds 0.2 "${corpus[@]}" >> "$raw"
"$build/bench/load_bench" --repeat 5 --min-seconds 1 "$songs"/dense-1MB.mid "$songs"/dense-10MB.mid \
  "$songs"/dense-50MB.mid "$songs"/tempo-100k.mid "$songs"/tracks-65535.mid "$songs"/events-10M.mid >> "$raw"
echo "mido..." >&2
/usr/bin/python3 "$root/bench/mido_load.py" --repeat 3 "${corpus[@]}" >> "$raw"
/usr/bin/python3 "$root/bench/mido_load.py" --repeat 1 "$songs"/dense-1MB.mid >> "$raw"
echo "ticks..." >&2
"$build/bench/tick_bench" --benchmark_format=csv 2>/dev/null | sed -n 's/^"\([A-Za-z]*\)\/\([0-9]*\)",[0-9]*,\([0-9.e+]*\),.*/tick\t\1\t\2\t\3/p' >> "$raw"
echo "timing, ${seconds} s at 1 ms and at 10 ms..." >&2
"$build/bench/timing_bench" 1 "$seconds" >> "$raw"
"$build/bench/timing_bench" 10 "$seconds" >> "$raw"
echo "memory..." >&2
"$build/bench/memory_bench" "$songs"/dense-50MB.mid >> "$raw"
"$build/bench/memory_bench" "${corpus[0]}" >> "$raw"
/usr/bin/python3 "$root/bench/report.py" "$raw" | tee "$root/bench/RESULTS.md"
