#!/usr/bin/env bash
# The tools as a user meets them: what quavr-info prints of a hostile file, and which argument
# scripts/play takes for the song. Usage: tools_test.sh QUAVR_INFO QUAVR_PLAY
set -uo pipefail
info=$(realpath "$1") play=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../shell_checks.sh
source "$(dirname "$0")/../shell_checks.sh"

# A song whose texts would retitle and clear the terminal and forge a line: a format 1 file,
# track 0 with the title, a copyright and a marker, track 1 with its name, a program change and a
# note on its running status.
/usr/bin/python3 - "$work/hostile.mid" <<'PY'
import struct, sys
def meta(kind, text):
    return b"\0\xff" + bytes([kind, len(text)]) + text
def track(body):
    return b"MTrk" + struct.pack(">I", len(body)) + body
tempo = track(meta(3, b"\x1b]0;owned\x07Title\x1b[2J") + meta(2, b"(c)\r\nok   forged")
              + meta(6, b"verse\x9b1m\xc2\x9b") + b"\0\xff\x2f\0")
notes = track(meta(3, b"lead\x1b[31m") + b"\0\xc0\x05\0\x90\x3c\x64\x60\x3c\0\0\xff\x2f\0")
open(sys.argv[1], "wb").write(b"MThd" + struct.pack(">IHHH", 6, 1, 2, 96) + tempo + notes)
PY
"$info" "$work/hostile.mid" >"$work/info.txt"
check "quavr-info prints no control byte of the file's texts" \
  bash -c "! LC_ALL=C grep -q \$'[\x01-\x08\x0B-\x1F\x7F]' '$work/info.txt'"
check "quavr-info escapes them: title, copyright, marker (C1 too), track name" bash -c "
  grep -qF 'Title:     \x1B]0;owned\x07Title\x1B[2J' '$work/info.txt' &&
  grep -qF 'Copyright: (c)\x0D\x0Aok   forged' '$work/info.txt' &&
  grep -qF 'verse\x9B1m\xC2\x9B' '$work/info.txt' && grep -qF 'lead\x1B[31m' '$work/info.txt'"
check "quavr-info --events prints each channel message's own bytes" same \
  "$("$info" --events "$work/hostile.mid" | awk -F'\t' '$5 == "channel" { print $6 }')" \
  "$(printf '%s\n' 'C0 05' '90 3C 64' '90 3C 00')"

# A song number that is none, or past 32 bits, is refused, never wrapped round to another song.
for number in 4294967296 18446744073709551616 -1 1x ''; do
  check "quavr-info refuses --song '$number'" \
    bash -c '"$0" --song "$1" "$2" >/dev/null 2>&1; [ $? -eq 2 ]' "$info" "$number" "$work/hostile.mid"
done

# scripts/play adds the example song unless an argument names one; an option's value never does.
# The player here only says what it was given.
cat >"$work/player" <<SH
#!/usr/bin/env bash
[[ \$1 == --help ]] && exec "$play" --help
printf '%s\n' "\$@"
SH
chmod +x "$work/player"
example=$root/examples/ode_to_joy.mid
song_of() { (cd "$work" && QUAVR_PLAYER=$work/player "$root/scripts/play" "$@" | tail -n 1); }
touch "$work/song.wav" "$work/x.log" "$work/0" "$work/mine.mid"
check "scripts/play: an option's value is not the song" same \
  "$(song_of --offline --wav song.wav) $(song_of --log x.log) $(song_of --device 0 --volume 50)" \
  "$example $example $example"
check "scripts/play: a song argument replaces the example, wherever it stands" same \
  "$(song_of mine.mid --device 0) $(song_of --device 0 0) $(song_of --repeat new.mid)" "0 0 new.mid"
# The help that scripts/play reads is the parser's: each option it shows with a value needs one.
while read -r option value; do
  if [[ -n $value ]]; then
    check "quavr-play $option needs a value, as its help says" \
      bash -c "\"\$0\" $option 2>&1 | grep -q -- '$option needs a value'" "$play"
  else
    check "quavr-play $option takes no value, as its help says" \
      bash -c "! \"\$0\" $option 2>&1 | grep -q 'needs a value'" "$play"
  fi
done < <("$play" --help | sed -n 's/^  \(--[a-z-]*\) \([^ ]*\).*/\1 \2/p' | grep -v -- '--help')

# A song whose meter changes in mid-bar (4/4, 3/4 two beats into bar 1, 6/8 a bar later), a note
# on every quarter at 120 a minute, and a song of another key to follow it.
/usr/bin/python3 - "$work" <<'PY'
import struct, sys
def song(path, key, quarters, meters=()):
    events = [(tick, b"\xff\x58\x04" + bytes([n, d, 24, 8])) for tick, n, d in meters]
    events += [(q * 96 + off, bytes([0x90, key, v])) for q in range(quarters)
               for off, v in ((0, 100), (80, 0))]
    body, last = b"", 0
    for tick, event in sorted(events, key=lambda e: e[0]):
        delta = tick - last
        body += (bytes([0x80 | delta >> 7, delta & 0x7F]) if delta > 127 else bytes([delta])) + event
        last = tick
    body += b"\0\xff\x2f\0"
    open(path, "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk"
                           + struct.pack(">I", len(body)) + body)
song(sys.argv[1] + "/meters.mid", 0x40, 12, [(0, 4, 2), (576, 3, 2), (864, 6, 3)])
song(sys.argv[1] + "/follow.mid", 0x48, 4)
PY
check "quavr-info prints the meter map, a change in mid-bar, and the bars" same \
  "$("$info" "$work/meters.mid" | sed -n '/^Meters/,/^Bars/p')" "Meters:    3
  bar      0,          0 ms: 4/4
  bar      2,       3000 ms: 3/4, mid-bar: bar 1 has 2 of 4 beats
  bar      3,       4500 ms: 6/8
Bars:      4"
# Offline, --next is queued after the first tick at one virtual time: every run logs the same, and
# the following song's first note comes on the tick that plays bar 2 (3000 ms, as above).
for run in 1 2 3; do
  "$play" --offline --device monitor --log "$work/next$run.log" --next "$work/follow.mid" \
    --at bar/2 "$work/meters.mid" </dev/null
done
check "quavr-play --offline --next: every run logs the same" \
  bash -c 'cmp -s "$0/next1.log" "$0/next2.log" && cmp -s "$0/next1.log" "$0/next3.log"' "$work"
check "quavr-play --next --at bar/2: the switch lands on bar 2" same \
  "$(awk '$3 ~ /90$/ && $3 !~ /^0000/ { print $1, substr($3, 5, 2) }' "$work/next1.log" | sed -n 6,7p)" \
  "2510 40
3010 48"
check "quavr-play refuses a bad --at, naming it" \
  bash -c '"$0" --next "$1" --at bars "$1" 2>&1 >/dev/null | grep -q "not \"bars\""
    [ "${PIPESTATUS[0]}" -eq 2 ]' "$play" "$work/follow.mid"

exit $((failures > 0))
