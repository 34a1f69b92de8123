#!/usr/bin/env bash
# The player as a user and the acceptance checks run it: offline logs against golden logs,
# and its refusals. Usage: player_test.sh QUAVR_PLAY EXAMPLES_DIR GOLDEN_DIR
set -uo pipefail
play=$(realpath "$1") examples=$2 golden=$3
# shellcheck source=../shell_checks.sh
source "$(dirname "$0")/../shell_checks.sh"

differs() { ! cmp -s "$1" "$2"; }

offline_log() {  # period, song -> log on stdout; a failed run says why on stderr
  local log status=0
  log=$(mktemp -p "$work")
  "$play" --offline --device monitor --log "$log" --period "$1" "$2" >/dev/null 2>"$log.err" ||
    status=$?
  ((status == 0)) || { echo "quavr-play exited $status: $(cat "$log.err")" >&2; return 1; }
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
# The game formats (song.EXT.pPERIOD): each log against its golden log, and against the model of
# the song's SMF twin, which make_formats.py writes from the notes, not from the format file.
formats=$(dirname "$0")/formats
for gold in "$golden"/formats/*.log; do
  name=$(basename "$gold" .log)
  song=$formats/${name%.p*}
  period=${name##*.p}
  check "$name matches its golden log" cmp -s <(offline_log "$period" "$song") "$gold"
  check "$name golden log agrees with the model of its SMF twin" \
    cmp -s <(/usr/bin/python3 "$(dirname "$0")/model_log.py" "$song.mid" "$period") "$gold"
done
# --start: the log begins with the seek (the port reset, all sound off, the state at 5 s: the
# song's sysex and programs), sends no note before it, and its notes are the whole song's from
# 5 s on, at the same distances (times from the first: the clock may tick before the seek).
"$play" --offline --device monitor --log "$work/start.log" --start 5000 "$examples/ode_to_joy.mid" \
  >/dev/null 2>&1
notes_from() {  # log, ms -> the note messages from log time `ms` on, timed from the first
  awk -v from="$2" '$2 == "short" && $3 ~ /[89].$/ && $1 >= from {
    if (first == "") first = $1
    print $1 - first, $3 }' "$1"
}
check "--start begins with the seek's chase and no note before it" bash -c "
  awk '\$2 == \"reset\" && !n { r = NR; a = l = p = 0 } \$3 ~ /[89].\$/ && !n { n = NR } \$3 == \"000078B0\" && !a { a = NR }
       \$2 == \"long\" && !l { l = NR } \$3 ~ /C.\$/ && !p { p = NR }
       END { exit !(r && a > r && l > a && p > l && n > p) }' '$work/start.log'"
offline_log 10 "$examples/ode_to_joy.mid" >"$work/whole.log"
check "--start plays the song's notes from there on" \
  cmp -s <(notes_from "$work/start.log" 0) <(notes_from "$work/whole.log" 5010)
check "--start with a bad time is refused" \
  bash -c "\"\$0\" --start -5 --log /dev/null x.mid 2>&1 | grep -q 'start takes'" "$play"
# An Extended MIDI song plays its For/Next loop unasked (For 2, Next at 1000 ms, a note from 833 ms
# held 500 ms past the Next): played through as the file counts, the held note ends 500 ms after
# the jump. --loop-style none reads no loop; a loop the file makes endless is refused offline.
/usr/bin/python3 -c '
import struct, sys
body = bytes([0xB0, 116, 2, 0x90, 60, 100, 30, 100, 0x91, 72, 90, 80, 20, 0xB0, 117, 127, 60,
              0xFF, 0x2F, 0])
evnt = b"EVNT" + struct.pack(">I", len(body)) + body
open(sys.argv[1], "wb").write(b"FORM" + struct.pack(">I", 4 + len(evnt)) + b"XMID" + evnt)
' "$work/loop.xmi"
xmi_log() { "$play" --offline --device monitor --log /dev/stdout "$@" "$work/loop.xmi" 2>/dev/null | grep -v '^#'; }
check "an Extended MIDI loop plays as the file counts, its held note unhurried" bash -c '
  [[ $(grep -c " 00643C90" <<<"$1") == 2 && $(grep " 00004881" <<<"$1" | cut -d" " -f1 | xargs) == "1510 2510" ]]
  ' _ "$(xmi_log --loops file)"
check "--loop-style none plays an Extended MIDI song straight through" bash -c '
  [[ $(grep -c " 00643C90" <<<"$1") == 1 ]]' _ "$(xmi_log --loop-style none --loops file)"
check "--offline refuses --loops file on a loop of count 0" bash -c '
  err=$("$0" --offline --device monitor --log /dev/null --loop-style cc116 --loops file "$1" 2>&1)
  [[ $? == 2 && $err == *"would never end"* ]]' "$play" "$work/loop.xmi"
check "--loop-style refuses an unknown convention" \
  bash -c "\"\$0\" --loop-style cc112 --log /dev/null x.mid 2>&1 | grep -q 'loop-style takes'" "$play"
refused() {  # message, options...: exit 2 saying exactly that, what was typed and only that
  [[ $("$play" "${@:2}" "$examples/ode_to_joy.mid" 2>&1) == "quavr-play: $1" && $? == 2 ]]
}
check "--offline --loops -1 is refused for --loops, not --repeat" \
  refused "--offline with --loops -1 would never end" --offline --loops -1
check "--loops with a bad count quotes it and names file" refused \
  '--loops takes a number from -1 to 2147483647 (-1: forever), or file, not "forever"' --loops forever
check "--rate without the synthesizer is refused" refused \
  "--rate is for Quavr Synth, but device $(($("$play" --list | grep -c .) - 1)) is Quavr Monitor" \
  --offline --device monitor --rate 22050

offline_log 7 "$examples/ode_to_joy.mid" >"$work/first.log"
offline_log 7 "$examples/ode_to_joy.mid" >"$work/second.log"
check "offline runs are identical" cmp "$work/first.log" "$work/second.log"
# A tick sends all that is due in it, even when the player's polling waits for the device
# meanwhile: 16 runs side by side of 500 messages at 0 ms leave one log, all 500 at the first tick.
/usr/bin/python3 -c 'import struct, sys
body = bytes([0, 0x90, 60, 100, 0, 0x80, 60, 0] * 250 + [0x60, 0xFF, 0x2F, 0])
open(sys.argv[1], "wb").write(b"MThd\0\0\0\6\0\0\0\1\0\x60MTrk" + struct.pack(">I", len(body)) + body)
' "$work/dense.mid"
dense_runs() {
  for run in {1..16}; do offline_log 1 "$work/dense.mid" >"$work/dense$run.log" & done
  wait
  for run in {2..16}; do cmp -s "$work/dense1.log" "$work/dense$run.log" || return 1; done
  [[ $(grep -c '^1 short' "$work/dense1.log") == 500 ]]
}
check "16 offline runs side by side of 500 messages at 0 ms: one log, all at the first tick" dense_runs

# Offline, the player sets the song up at one virtual time and the library begins --fade-out's
# fade at its song time (33.6 s - 3 s), so five runs leave one log, whatever the machine's load;
# the same for --start, whose play, pause and seek no tick comes between.
same_logs() {  # option, value: five offline runs of the ode with it leave one log
  local run
  for run in 1 2 3 4 5; do
    "$play" --offline --device monitor --log "$work/same$run.log" "$1" "$2" "$examples/ode_to_joy.mid" \
      >/dev/null 2>&1 || return 1
    ((run == 1)) || cmp -s "$work/same1.log" "$work/same$run.log" || return 1
  done
}
check "--fade-out: five offline runs leave the same log" same_logs --fade-out 3000
check "--fade-out: channel 1's volume steps down from 30.6 s, to silence at the end (33.6 s)" \
  awk '$3 ~ /07B0$/ && $1 > 10 && !first { first = $1 } $3 == "000007B0" { silent = $1 }
       END { exit !(first >= 30600 && first <= 30650 && silent == 33600) }' "$work/same1.log"
seek_first() { same_logs --start 3999 && [[ $(head -1 "$work/same1.log") == "0 reset" ]]; }
check "--start: five offline runs leave the same log, the seek at virtual time 0" seek_first

# A file with no MIDI tracks used to play a second of silence; the player now refuses it.
printf 'not a song' > "$work/text.mid"
check "a file with no MIDI tracks exits 1: not a MIDI file" \
  bash -c "\"\$0\" --offline --device monitor --log /dev/null '$work/text.mid' 2>&1 | grep -q 'not a MIDI file'; [[ \${PIPESTATUS[0]} -eq 1 ]]" "$play"
# --device monitor: --log with another device is refused now.
check "a missing file exits 1 with the reason" \
  bash -c "\"\$0\" --device monitor --log /dev/null '$work/missing.mid' 2>&1 | grep -q 'No such file'; [[ \${PIPESTATUS[0]} -eq 1 ]]" "$play"
check "a missing device exits 1 with the MIDI error text" \
  bash -c "\"\$0\" --device 99 --log /dev/null '$examples/ode_to_joy.mid' 2>&1 | grep -q 'no MIDI output device with this number'; [[ \${PIPESTATUS[0]} -eq 1 ]]" "$play"
check "--list names the monitor" bash -c "\"\$0\" --list | grep -q 'Quavr Monitor'" "$play"
check "--help explains the options" bash -c "\"\$0\" --help | grep -q -- '--offline'" "$play"

here=$(dirname "$0")
ode=$examples/ode_to_joy.mid
# A 750 ms song: two short notes (format 0, division 96).
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\24\0\220\74\144\60\200\74\0\0\220\100\144\60\200\100\0\60\377\57\0' \
  > "$work/tiny.mid"
# A log's messages without their times, sorted: within one tick the order may differ by period.
messages() { cut -d' ' -f2- <<<"$1" | sort; }

# The end of a song: the library's own, whatever the period; the guard is no "no tracks" verdict.
for song in "$ode" "$work/tiny.mid"; do
  p10=$(offline_log 10 "$song")
  for period in 700 1500; do
    check "$(basename "$song") with --period $period: every message goes out, as with 10" \
      cmp -s <(messages "$p10") <(messages "$(offline_log "$period" "$song")")
    check "$(basename "$song") with --period $period ends by itself: exit 0, nothing said" \
      bash -c "[[ -z \$(\"\$0\" --offline --device monitor --log /dev/null --period $period '$song' 2>&1) ]]" "$play"
  done
done

# Output errors: said once with their cause, exit 1; a reader that goes away ends the player quietly.
said_once() {  # expected text, command... : exit 1 and the text exactly once on stderr
  local text=$1 err
  shift
  err=$("$@" 2>&1 >/dev/null)
  [[ $? -eq 1 && $(grep -c -- "$text" <<<"$err") -eq 1 ]]
}
check "--log /dev/full: said once with its cause, exit 1" \
  said_once "cannot write /dev/full: No space left on device" \
  "$play" --offline --device monitor --log /dev/full "$ode"
check "a monitor log into a closed pipe: said once, exit 1" \
  bash -c "\"\$0\" --offline --device monitor --log /dev/stdout '$ode' 2>'$work/pipe.err' | true
    [[ \${PIPESTATUS[0]} -eq 1 ]] && [[ \$(grep -c 'Broken pipe' '$work/pipe.err') -eq 1 ]]" "$play"
check "an unwritable log names the file and the cause" \
  said_once "cannot write $work/none/x.log: No such file or directory" \
  "$play" --offline --device monitor --log "$work/none/x.log" "$ode"
check "--list into a closed pipe ends quietly, exit 0" \
  bash -c "\"\$0\" --list 2>&1 >&3 | grep -q . && exit 1; [[ \${PIPESTATUS[0]} -eq 0 ]]" "$play" 3> >(head -c0)
list_full() { "$play" --list >/dev/full; }
check "--list into a full disk: exit 1 with the cause" said_once "No space left on device" list_full

# Device choice: strict numbers, and options that fit the device.
for number in 4294967297 99999999999999999999999; do
  check "--device $number is out of range, not wrapped" \
    said_once "device number $number is out of range" "$play" --device "$number" "$ode"
done
check "an exact device name, in any case" \
  bash -c "\"\$0\" --offline --device 'quavr MONITOR' --log /dev/null '$ode'" "$play"
check "--wav with the monitor names the mismatch, exit 2" \
  bash -c "\"\$0\" --device monitor --wav '$work/x.wav' '$ode' 2>&1 | grep -q 'is for Quavr Synth, but device .* is Quavr Monitor'
    [[ \${PIPESTATUS[0]} -eq 2 && ! -e '$work/x.wav' ]]" "$play"
cp "$ode" "$work/v.mid"
check "--wav or --log onto the song itself is refused and the song kept" \
  bash -c "! \"\$0\" --wav '$work/v.mid' '$work/v.mid' 2>/dev/null && ! \"\$0\" --log '$work/./v.mid' \
    --device monitor '$work/v.mid' 2>/dev/null && cmp -s '$ode' '$work/v.mid'" "$play"

# Signals that end the player reset the port first.
for signal in HUP QUIT TERM; do
  log=$work/signal-$signal.log
  "$play" --device monitor --log "$log" "$ode" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 200); do [[ -s $log ]] && break; sleep 0.05; done
  kill -s "$signal" $!
  wait $!
  status=$?
  check "SIG$signal ends the player ($status) after a reset" \
    bash -c "[[ $status -eq \$((128 + \$(kill -l $signal))) ]] && tail -1 '$log' | grep -q ' reset$'"
done

# On a terminal (a pseudo-terminal here).
check "a background job plays to its end and leaves the terminal alone" \
  /usr/bin/python3 "$here/terminal_check.py" background "$play" "$work/tiny.mid"
check "the progress line fits a narrow terminal and the mode is given back" \
  /usr/bin/python3 "$here/terminal_check.py" width "$play" "$work/tiny.mid"
check "after f the last progress line shows where the fade stopped the song" \
  /usr/bin/python3 "$here/terminal_check.py" fade "$play" "$ode"

# A player built with ThreadSanitizer reports races inside FluidSynth's own threads, which are
# not Quavr's: the synthesizer's checks run in the other builds. (Not `ldd | grep -q`: grep
# leaving early kills ldd with SIGPIPE, and under pipefail the check then ran them at random.)
if [[ $("$play" --list) == *"Quavr Synth"* && $(ldd "$play") != *libtsan* ]]; then
  synth_test() { "$play" --offline --device synth "$@" "$work/tiny.mid"; }
  check "--wav /dev/full: said once with its cause, exit 1" \
    said_once "cannot write /dev/full: No space left on device" synth_test --wav /dev/full
  # A pipe gets a stream header and then the very samples a file gets.
  synth_test --wav "$work/file.wav" 2>/dev/null
  synth_test --wav /dev/stdout 2>/dev/null | cat >"$work/stream.wav"
  check "a WAV stream into a pipe holds the file's samples after a header of unknown sizes" \
    /usr/bin/python3 - "$work/file.wav" "$work/stream.wav" <<'PY'
import struct, sys
f, s = (open(p, "rb").read() for p in sys.argv[1:3])
at = 12
while f[at:at + 4] != b"data":
    at += 8 + struct.unpack("<I", f[at + 4:at + 8])[0]
data = f[at + 8:at + 8 + struct.unpack("<I", f[at + 4:at + 8])[0]]
sys.exit(not (len(data) > 0 and s[:4] == b"RIFF" and s[4:8] == b"\xff" * 4 and s[44:] == data))
PY
  # Offline, the synthesizer renders through a render device, at --rate.
  synth_test --rate 22050 --wav "$work/rate.wav" 2>/dev/null
  check "--offline --rate 22050 renders the song at 22050 Hz, its last notes' release after it" \
    /usr/bin/python3 - "$work/rate.wav" 750 <<'PY'
import struct, sys
f = open(sys.argv[1], "rb").read()
chunks, at = {}, 12
while at + 8 <= len(f):
    size = struct.unpack("<I", f[at + 4:at + 8])[0]
    chunks[f[at:at + 4]] = (at + 8, size)
    at += 8 + size + (size & 1)
rate = struct.unpack("<I", f[chunks[b"fmt "][0] + 4:chunks[b"fmt "][0] + 8])[0]
frames = chunks[b"data"][1] // 8
sys.exit(not (rate == 22050 and frames >= int(sys.argv[2]) * 22050 // 1000))
PY
  check "--rate without --offline is refused, exit 2" \
    bash -c "\"\$0\" --device synth --rate 22050 '$work/tiny.mid' 2>/dev/null; [[ \$? -eq 2 ]]" "$play"
  synth_test --wav "$work/song.flac" 2>/dev/null
  check "a .flac name gives FLAC" bash -c "[[ \$(head -c4 '$work/song.flac') == fLaC ]]"
  check "the fallback file is never shared: the second player takes quavr-out-2.wav" \
    bash -c "cd '$work' && \"\$0\" --offline --device synth tiny.mid 2>/dev/null &&
      \"\$0\" --offline --device synth tiny.mid 2>&1 | grep -q 'rendering to quavr-out-2.wav' &&
      [[ -s quavr-out.wav && -s quavr-out-2.wav ]]" "$play"
  # Only a build with the synthesizer has a soundfont to check.
  check "a soundfont that is not one is left out, and --list says why" \
    bash -c "QUAVR_SOUNDFONT=/etc/passwd \"\$0\" --list 2>&1 | grep -qx 'Quavr Synth: not listed: /etc/passwd is not a soundfont'" "$play"
  head -c 50000 /usr/share/sounds/sf2/TimGM6mb.sf2 >"$work/cut.sf2" 2>/dev/null
  check "a truncated soundfont is left out too" \
    bash -c "QUAVR_SOUNDFONT='$work/cut.sf2' \"\$0\" --list 2>&1 | grep -q 'cut.sf2 is \(truncated\|not a soundfont\)'" "$play"
  sed '0,/pbag/s//pbax/' /usr/share/sounds/sf2/TimGM6mb.sf2 >"$work/broken.sf2"
  check "a whole soundfont FluidSynth refuses is left out, with nothing of FluidSynth's said" \
    bash -c "[[ \$(QUAVR_SOUNDFONT='$work/broken.sf2' \"\$0\" --list 2>&1) == 'Quavr Synth: not listed: $work/broken.sf2 is a soundfont FluidSynth cannot load'\$'\\n''0  Quavr Monitor'* ]]" "$play"
fi
if [[ $(id -u) -ne 0 ]]; then  # root reads any file
  cp "$ode" "$work/locked.mid" && chmod 000 "$work/locked.mid"
  check "an unreadable song: Permission denied" \
    said_once "Permission denied" "$play" --device monitor --log /dev/null "$work/locked.mid"
fi

exit $((failures > 0))
