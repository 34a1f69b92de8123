#!/usr/bin/env python3
"""Writes the example songs of examples/ from scratch: Beethoven's "Ode to Joy" (public domain),
arranged for melody, bass and drums, with a system-exclusive reset, program changes, running
status and a tempo change for the last phrase; and a two-second fanfare with the same features,
short enough for tests that play in real time. Needs nothing but Python."""
import os
import struct

DIVISION = 480  # ticks per quarter note
Q, H, E, DQ = DIVISION, 2 * DIVISION, DIVISION // 2, 3 * DIVISION // 2


def vlq(value):
    out = [value & 0x7F]
    while value > 0x7F:
        value >>= 7
        out.insert(0, 0x80 | (value & 0x7F))
    return bytes(out)


class Track:
    def __init__(self):
        self.events = []  # (absolute tick, order, bytes)

    def add(self, tick, data, order=1):
        self.events.append((tick, order, bytes(data)))

    def chunk(self, end_tick):
        self.add(end_tick, [0xFF, 0x2F, 0x00], order=9)
        body, now, status = b'', 0, None
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            # Running status: a channel message repeating the previous status leaves it out.
            if data[0] < 0xF0 and data[0] == status:
                data = data[1:]
            elif data[0] < 0xF0:
                status = data[0]
            body += vlq(tick - now) + data
            now = tick
        return b'MTrk' + struct.pack('>I', len(body)) + body


def meta(track, tick, kind, data):
    track.add(tick, bytes([0xFF, kind]) + vlq(len(data)) + bytes(data), order=0)


def notes(track, channel, start, melody, velocity):
    tick = start
    for key, length in melody:
        if key is not None:
            track.add(tick, [0x90 | channel, key, velocity], order=2)
            track.add(tick + length - 10, [0x90 | channel, key, 0], order=1)  # note-on 0: off
        tick += length
    return tick


C, D, EE, F, G, G3 = 60, 62, 64, 65, 67, 55
PHRASE_A = [(EE, Q), (EE, Q), (F, Q), (G, Q), (G, Q), (F, Q), (EE, Q), (D, Q),
            (C, Q), (C, Q), (D, Q), (EE, Q)]
MELODY = (PHRASE_A + [(EE, DQ), (D, E), (D, H)] + PHRASE_A + [(D, DQ), (C, E), (C, H)]
          + [(D, Q), (D, Q), (EE, Q), (C, Q), (D, Q), (EE, E), (F, E), (EE, Q), (C, Q),
             (D, Q), (EE, E), (F, E), (EE, Q), (D, Q), (C, Q), (D, Q), (G3, H)]
          + PHRASE_A + [(D, DQ), (C, E), (C, H)])
BASS = [(36, H), (43, H)] * 3 + [(43, H), (36, H)] + [(36, H), (43, H)] * 3 + [(43, H), (36, H)] \
    + [(43, H), (36, H), (43, H), (36, H), (43, H), (36, H), (43, H), (43, H)] \
    + [(36, H), (43, H)] * 3 + [(43, H), (36, H)]


def ode_to_joy():
    bars = 16
    end = bars * 4 * Q
    conductor, melody, bass, drums = Track(), Track(), Track(), Track()
    meta(conductor, 0, 0x03, b'Ode to Joy')
    meta(conductor, 0, 0x58, [4, 2, 24, 8])
    meta(conductor, 0, 0x51, list(struct.pack('>I', 500000)[1:]))      # 120 bpm
    meta(conductor, 12 * 4 * Q, 0x51, list(struct.pack('>I', 600000)[1:]))  # last phrase, 100 bpm
    conductor.add(0, [0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7], order=0)  # General MIDI on
    conductor.add(8 * 4 * Q, [0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x70, 0xF7], order=0)  # volume
    melody.add(0, [0xC0, 73])   # flute
    melody.add(0, [0xB0, 7, 110])
    bass.add(0, [0xC1, 32])     # acoustic bass
    bass.add(0, [0xB1, 7, 90])
    notes(melody, 0, 0, MELODY, 100)
    notes(bass, 1, 0, BASS, 80)
    for beat in range(bars * 4):
        tick = beat * Q
        drums.add(tick, [0x99, 42, 60], order=2)                 # closed hi-hat
        drums.add(tick + E, [0x99, 42, 0], order=1)
        if beat % 2 == 0:
            drums.add(tick, [0x99, 36 if beat % 4 == 0 else 38, 90], order=2)  # kick, snare
            drums.add(tick + E, [0x99, 36 if beat % 4 == 0 else 38, 0], order=1)
    tracks = [conductor, melody, bass, drums]
    header = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks), DIVISION)
    return header + b''.join(t.chunk(end) for t in tracks)


def fanfare():
    conductor, brass, timpani = Track(), Track(), Track()
    meta(conductor, 0, 0x03, b'Fanfare')
    meta(conductor, 0, 0x51, list(struct.pack('>I', 400000)[1:]))    # 150 bpm
    meta(conductor, 3 * Q, 0x51, list(struct.pack('>I', 750000)[1:]))  # broaden for the last chord
    conductor.add(0, [0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7], order=0)
    brass.add(0, [0xC0, 56])  # trumpet
    notes(brass, 0, 0, [(G, E), (G, E), (G, E), (C + 12, Q + E), (None, E), (C + 12, H)], 110)
    timpani.add(0, [0xC1, 47])
    notes(timpani, 1, 0, [(43, Q), (36, Q), (43, Q), (36, H)], 100)
    end = 5 * Q
    tracks = [conductor, brass, timpani]
    header = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks), DIVISION)
    return header + b''.join(t.chunk(end) for t in tracks)


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, song in (('ode_to_joy.mid', ode_to_joy()), ('fanfare.mid', fanfare())):
        with open(os.path.join(here, name), 'wb') as out:
            out.write(song)
