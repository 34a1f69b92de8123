#!/usr/bin/env bash
# The player as a user and the acceptance checks run it: offline logs against golden logs,
# and its refusals. Usage: player_test.sh QUAVR_PLAY EXAMPLES_DIR GOLDEN_DIR
set -uo pipefail
play=$1 examples=$2 golden=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

differs() { ! cmp -s "$1" "$2"; }

offline_log() {  # period, song -> log on stdout
  local log
  log=$(mktemp -p "$work")
  "$play" --offline --device monitor --log "$log" --period "$1" "$2" >/dev/null 2>&1 || return 1
  cat "$log"
}

for gold in "$golden"/*.log; do
  name=$(basename "$gold" .log)        # song.pPERIOD
  song=$examples/${name%.p*}.mid
  period=${name##*.p}
  check "$name matches its golden log" cmp -s <(offline_log "$period" "$song") "$gold"
  check "$name golden log agrees with an independent model" \
    cmp -s <(/usr/bin/python3 "$(dirname "$0")/model_log.py" "$song" "$period") "$gold"
  check "$name differs with period $((period + 1))" differs <(offline_log $((period + 1)) "$song") "$gold"
done

# Loop logs: 25 s of a song repeating on the loop a convention marks (song.STYLE.pPERIOD). The
# core tests play them on the fake platform; here the independent model must agree.
for gold in "$golden"/loops/*.log; do
  name=$(basename "$gold" .log)  # song.style.pPERIOD
  song=$examples/${name%%.*}.mid
  style=${name#*.}
  style=${style%%.*}
  check "loop log $name agrees with an independent model" \
    cmp -s <(/usr/bin/python3 "$(dirname "$0")/model_log.py" "$song" "${name##*.p}" "$style" 25000) "$gold"
done
check "--loop-style refuses an unknown convention" \
  bash -c "\"\$0\" --loop-style cc112 --log /dev/null x.mid 2>&1 | grep -q 'loop-style takes'" "$play"

check "offline runs are identical" cmp -s <(offline_log 7 "$examples/ode_to_joy.mid") \
  <(offline_log 7 "$examples/ode_to_joy.mid")

printf 'not a song' > "$work/text.mid"
check "a song that never ends is stopped with a warning" \
  bash -c "\"\$0\" --offline --device monitor --log /dev/null '$work/text.mid' 2>&1 | grep -q 'does not end'" "$play"
check "a missing file exits 1 with the reason" \
  bash -c "\"\$0\" --log /dev/null '$work/missing.mid' 2>&1 | grep -q 'No such file'; [[ \${PIPESTATUS[0]} -eq 1 ]]" "$play"
check "a missing device exits 1 with the MIDI error text" \
  bash -c "\"\$0\" --device 99 --log /dev/null '$examples/ode_to_joy.mid' 2>&1 | grep -q 'no MIDI output device with this number'; [[ \${PIPESTATUS[0]} -eq 1 ]]" "$play"
check "--list names the monitor" bash -c "\"\$0\" --list | grep -q 'Quavr Monitor'" "$play"
check "--help explains the options" bash -c "\"\$0\" --help | grep -q -- '--offline'" "$play"

exit $((failures > 0))
