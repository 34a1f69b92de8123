#!/usr/bin/env python3
"""An independent model of an offline monitor log: parses the song with mido, times its events
by the library's rules (the exact song time, truncated once to milliseconds) and plays them tick by tick.
Usage: model_log.py SONG PERIOD  (prints the log the player must leave)."""
import sys

import mido


def us_ticks_to_ms(us_ticks, division):
    """Song time as the sum of µs per quarter × ticks over the tempo segments, in whole ms."""
    return min(us_ticks // (division * 1000), 0xFFFFFFFF) if division else 0


def main(path, period):
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
    main(sys.argv[1], int(sys.argv[2]))
