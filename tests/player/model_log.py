#!/usr/bin/env python3
"""An independent model of an offline monitor log: parses the song with mido, times its events
by the library's rules (the exact song time, truncated once to milliseconds) and plays them tick by
tick.
Usage: model_log.py SONG PERIOD  (prints the log the player must leave).
       model_log.py SONG PERIOD STYLE MS  (the log of MS ms of the song repeating on a loop the
       file marks by STYLE, markers, cc116 or cc111, then stopped)."""
import sys

import mido


def us_ticks_to_ms(us_ticks, division):
    """Song time as the sum of µs per quarter × ticks over the tempo segments, in whole ms."""
    return min(us_ticks // (division * 1000), 0xFFFFFFFF) if division else 0


DEFAULTS = {7: 100, 10: 64, 11: 127}
NOT_RESTORED = {6, 38, 96, 97} | set(range(120, 128))


def find_loop(midi, time_of, style, length):
    """The first start, and the first end after it (an end alone loops from 0)."""
    starts, ends = [], []
    for track in midi.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            ms = time_of(tick)
            if style == 'markers' and msg.type in ('marker', 'text'):
                word = msg.text.lower()
                (starts if word == 'loopstart' else ends if word == 'loopend' else []).append(ms)
            elif style in ('cc116', 'cc111') and msg.type == 'control_change':
                if msg.control == (116 if style == 'cc116' else 111):
                    starts.append(ms)
                elif style == 'cc116' and msg.control == 117:
                    ends.append(ms)
    if not starts and not ends:
        return None
    start = min(starts) if starts else 0
    end = min([e for e in ends if e > start] + [length])
    return (start, end) if start < end else None


def play_looping(midi, timed, time_of, period, style, total_ms):
    length = max((events[-1][0] for events in timed if events), default=0)
    start, end = find_loop(midi, time_of, style, length)
    # The channels at the loop start, and what the loop [start, end] changes.
    state, touched = {}, set()
    merged = sorted((ms, t, line) for t, events in enumerate(timed) for ms, line in events
                    if line and line.startswith('short'))
    for ms, _, line in merged:
        b = int(line.split()[1], 16)
        status, d1, d2 = b & 0xFF, (b >> 8) & 0xFF, (b >> 16) & 0xFF
        kind, ch = status & 0xF0, status & 0x0F
        key = {0xB0: ('cc', d1), 0xC0: ('program',), 0xE0: ('bend',), 0xD0: ('pressure',)}.get(kind)
        if key is None or (kind == 0xB0 and d1 in NOT_RESTORED) or ms > end:
            continue
        value = d1 | d2 << 7 if kind == 0xE0 else d2 if kind == 0xB0 else d1
        if ms < start:
            state[(ch,) + key] = value
        else:
            touched.add((ch,) + key)

    def restore_messages():
        out = []
        for ch in range(16):
            for cc in range(128):
                if (ch, 'cc', cc) in touched:
                    value = state.get((ch, 'cc', cc), DEFAULTS.get(cc, 0))
                    out.append(0xB0 | ch | cc << 8 | value << 16)
            if (ch, 'program') in touched:
                out.append(0xC0 | ch | state.get((ch, 'program'), 0) << 8)
            if (ch, 'bend') in touched:
                bend = state.get((ch, 'bend'), 8192)
                out.append(0xE0 | ch | (bend & 0x7F) << 8 | (bend >> 7) << 16)
            if (ch, 'pressure') in touched:
                out.append(0xD0 | ch | state.get((ch, 'pressure'), 0) << 8)
        return out

    cursor, sounding, out, clock = [0] * len(timed), set(), [], 0

    def send_due(now, upto):
        for t, events in enumerate(timed):
            while cursor[t] < len(events) and events[cursor[t]][0] <= upto:
                line = events[cursor[t]][1]
                cursor[t] += 1
                if not line:
                    continue
                out.append('%d %s' % (now, line))
                if line.startswith('short'):
                    b = int(line.split()[1], 16)
                    note = (b & 0x0F, (b >> 8) & 0xFF)
                    if b & 0xF0 == 0x90 and (b >> 16) & 0xFF:
                        sounding.add(note)
                    elif b & 0xF0 in (0x80, 0x90):
                        sounding.discard(note)

    ticks = -(-total_ms // period)
    for n in range(1, ticks + 1):
        now = n * period
        jump = clock >= end
        send_due(now, end if jump else clock)
        if jump:
            for ch, key in sorted(sounding):
                out.append('%d short %08X' % (now, 0x80 | ch | key << 8))
            sounding.clear()
            out.extend('%d short %08X' % (now, m) for m in restore_messages())
            cursor = [next((i for i, e in enumerate(events) if e[0] >= start), len(events))
                      for events in timed]
            clock = start + (clock - end) % (end - start)
            send_due(now, clock)
        clock += period
    out.append('%d reset' % (ticks * period))
    print('\n'.join(out))


def main(path, period, loop_style=None, total_ms=0):
    midi = mido.MidiFile(path)
    division = midi.ticks_per_beat
    tracks = []
    tempos = []
    for index, track in enumerate(midi.tracks):
        tick, events = 0, []
        for msg in track:
            tick += msg.time
            if msg.type == 'set_tempo':
                tempos.append((tick, index, len(events), msg.tempo))
            if msg.is_meta:
                events.append((tick, None))
            elif msg.type == 'sysex':
                events.append((tick, 'long ' + ' '.join('%02X' % b for b in [0xF0, *msg.data, 0xF7])))
            else:
                b = msg.bytes() + [0, 0]
                events.append((tick, 'short %08X' % (b[0] | b[1] << 8 | b[2] << 16)))
        tracks.append(events)
    points = [(0, 500000, 0)]
    for tick, _, _, tempo in sorted(tempos, key=lambda t: t[0]):
        last_tick, last_us, last_us_ticks = points[-1]
        points.append((tick, tempo, last_us_ticks + last_us * (tick - last_tick)))

    def time_of(tick):
        point = [p for p in points if p[0] <= tick][-1]  # the last of equal ticks governs
        return us_ticks_to_ms(point[2] + point[1] * (tick - point[0]), division)

    timed = [[(time_of(tick), line) for tick, line in events] for events in tracks]
    if loop_style:
        return play_looping(midi, timed, time_of, period, loop_style, total_ms)
    cursor = [0] * len(timed)
    out, n = [], 0
    while any(cursor[t] < len(timed[t]) for t in range(len(timed))):
        n += 1
        clock = (n - 1) * period
        for t, events in enumerate(timed):
            while cursor[t] < len(events) and events[cursor[t]][0] <= clock:
                if events[cursor[t]][1]:
                    out.append('%d %s' % (n * period, events[cursor[t]][1]))
                cursor[t] += 1
    out.append('%d reset' % (n * period))
    print('\n'.join(out))


if __name__ == '__main__':
    if len(sys.argv) == 5:
        main(sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]))
    else:
        main(sys.argv[1], int(sys.argv[2]))
