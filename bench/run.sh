#!/usr/bin/env bash
# Builds the benchmarks in Release and measures, in one run on this machine: loads against the
# peers (WildMIDI, FluidSynth's player, portsmf, libsmf, mido) and the floors, pathological loads,
# tick cost, render devices (against FluidSynth's player), a host's walk of a song's events
# (against the floor), the grid of bars and beats and queued switches, real-time timing accuracy
# and memory.
# Prints the tables and writes them, with the date and the machine, to bench/RESULTS.md; the raw
# figures stay in build-bench/raw.tsv.
# Usage: bench/run.sh [--quick]   (--quick: fewer rounds and 3 s timing runs, for trying it out)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
seconds=20 real_rounds=7 song_rounds=5
[[ ${1:-} == --quick ]] && seconds=3 real_rounds=2 song_rounds=1
"$root/scripts/setup" libsmf-dev libbenchmark-dev libwildmidi-dev freepats libportsmf-dev
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUAVR_BENCH=ON -DQUAVR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
"$root/tests/corpus/fetch.sh" "$build/corpus" openttd-openmsx mma planetblupi-music-midi
/usr/bin/python3 "$root/bench/gen_songs.py" "$build/songs"
raw=$build/raw.tsv
log=$build/bench.log  # what the peers say about odd files
: > "$raw"
: > "$log"
mapfile -t corpus < "$build/corpus/files.txt"
songs=$build/songs
generated=(dense-1MB dense-10MB dense-50MB tempo-100k tracks-65535 events-10M)
spinners=()
trap 'kill "${spinners[@]}" 2>/dev/null || true' EXIT

echo "loads: ${#corpus[@]} real songs..." >&2
"$build/bench/load_bench" --rounds "$real_rounds" "${corpus[@]}" >> "$raw" 2>> "$log"
# A process for each song, so what one left in malloc does not carry over to the next; the dense
# ones again with malloc keeping what is freed, as a long-running host's heap may.
for song in "${generated[@]}"; do
  echo "loads: $song..." >&2
  engines=()
  # libsmf frees a song of 65 535 tracks in minutes: it is left out there.
  [[ $song == tracks-65535 ]] && engines=(--engines quavr,wildmidi,fluidsynth,portsmf,memcpy,read,read+walk)
  "$build/bench/load_bench" --rounds "$song_rounds" "${engines[@]}" "$songs/$song.mid" >> "$raw" 2>> "$log"
done
# The game formats against the one peer that loads them, and against Quavr's SMF loader on the
# dense SMF: one process, alternating, so their ratio per event is of one machine state.
echo "loads: the game formats..." >&2
"$build/bench/load_bench" --rounds "$song_rounds" --engines quavr,wildmidi,memcpy,read \
  "$songs/dense-1MB.xmi" "$songs/dense-1MB.mus" "$songs/dense-1MB.mid" 2>> "$log" |
  sed 's/^load\t/load-game\t/' >> "$raw"
for song in dense-1MB dense-10MB dense-50MB; do
  echo "loads: $song, malloc keeping freed memory..." >&2
  "$build/bench/load_bench" --rounds "$song_rounds" --kept-heap "$songs/$song.mid" >> "$raw" 2>> "$log"
done
echo "mido..." >&2
/usr/bin/python3 "$root/bench/mido_load.py" --repeat 3 "${corpus[@]}" >> "$raw"
/usr/bin/python3 "$root/bench/mido_load.py" --repeat 1 "$songs"/dense-1MB.mid >> "$raw"

echo "ticks..." >&2
# Seven runs of each, interleaved at random; the least disturbed (the fastest) counts, in the
# thread's processor time (the CSV's fourth field).
"$build/bench/tick_bench" --benchmark_format=csv --benchmark_repetitions=7 \
  --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true 2>/dev/null |
  sed -n 's/^"\([A-Za-z]*\)\/\([0-9]*\)",[0-9]*,[0-9.e+]*,\([0-9.e+]*\),.*/\1\t\2\t\3/p' |
  sort -t$'\t' -k1,1 -k2,2n -k3,3g | awk -F'\t' '!seen[$1, $2]++ { print "tick\t" $0 }' \
  >> "$raw"

echo "seeks..." >&2
"$build/bench/seek_bench" "$songs"/dense-1MB.mid "$songs"/dense-10MB.mid >> "$raw"

echo "render devices..." >&2
"$build/bench/render_bench" --peer "$root/examples/ode_to_joy.mid" "$songs"/dense-1MB.mid >> "$raw"
"$build/bench/render_bench" --switches "$root/examples/ode_to_joy.mid" \
  "$root/examples/combat_theme.mid" >> "$raw"
"$build/bench/render_bench" --messages "$songs"/dense-10MB.mid >> "$raw"
"$build/bench/render_bench" --wait "$songs"/dense-10MB.mid >> "$raw"

echo "the grid: boundaries, its share of loads..." >&2
"$build/bench/grid_bench" --boundary >> "$raw"
"$build/bench/grid_bench" --load --rounds "$real_rounds" "${corpus[@]}" >> "$raw"

echo "walks..." >&2
"$build/bench/walk_bench" --rounds "$real_rounds" "$songs"/dense-10MB.mid >> "$raw"

# Timing as this user and, when that is root, as an ordinary one too (no real-time scheduling),
# each idle and with two processes spinning beside the player.
as_users=(self)
[[ $(id -u) -eq 0 ]] && as_users+=(nobody)
timing() {  # PERIOD USER LOAD
  local run=("$build/bench/timing_bench" "$1" "$seconds" "$3")
  [[ $2 == nobody ]] && run=(env TMPDIR=/tmp setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
  "${run[@]}" >> "$raw" || echo "timing_bench $1 ms as $2, $3: failed" >&2
}
for period in 1 10; do
  echo "timing, ${seconds} s runs at ${period} ms..." >&2
  for user in "${as_users[@]}"; do
    timing "$period" "$user" idle
    spinners=()
    for _ in 1 2; do
      /usr/bin/python3 -c 'while True: pass' &
      spinners+=($!)
    done
    timing "$period" "$user" "2 busy"
    kill "${spinners[@]}"
    wait "${spinners[@]}" 2>/dev/null || true
    spinners=()
  done
done

echo "memory..." >&2
"$build/bench/memory_bench" "$songs"/dense-50MB.mid >> "$raw"
"$build/bench/memory_bench" "${corpus[0]}" >> "$raw"
/usr/bin/python3 "$root/bench/report.py" "$raw" | tee "$root/bench/RESULTS.md"
