#!/usr/bin/env python3
"""Writes the example songs of examples/ from scratch: Beethoven's "Ode to Joy" (public domain),
arranged for melody, bass and drums, with a system-exclusive reset, program changes, running
status and a tempo change for the last phrase; and a two-second fanfare with the same features,
short enough for tests that play in real time; and a short loop theme that marks its loop under
every convention a host may choose (an intro, then a body looped by CC111, by CC116/117 with a
held chord across its end, or by loopStart/loopEnd markers with a tail after the loop); and two
arrangements of one eight-bar theme on one grid, calm and combat, for a game's music to switch
between on a bar line, the combat one with a percussion layer on channel 10.
Needs nothing but Python."""
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


def loop_theme():
    """One bar of intro (500 ms a beat); from bar 2 the body. CC111 at bar 2 (2000 ms); CC116 at
    beat 6 (3000 ms) and CC117 at 5750 ms, inside a held chord; markers loopStart at
    bar 3 (4000 ms) and loopEnd at bar 5 (8000 ms), then a one-bar tail. The body changes the
    melody's program, volume and pitch bend, which a jump back must set back."""
    conductor, lead, pad = Track(), Track(), Track()
    meta(conductor, 0, 0x03, b'Loop Theme')
    meta(conductor, 0, 0x02, b'Public domain')
    meta(conductor, 0, 0x51, list(struct.pack('>I', 500000)[1:]))
    meta(conductor, 0, 0x06, b'Intro')
    meta(conductor, 4 * Q, 0x06, b'Body')
    meta(conductor, 8 * Q, 0x06, b'loopStart')
    meta(conductor, 16 * Q, 0x06, b'loopEnd')
    lead.add(0, [0xC0, 80])         # square lead
    lead.add(0, [0xB0, 7, 100])
    lead.add(4 * Q, [0xB0, 111, 0])  # CC111: the body starts
    lead.add(6 * Q, [0xB0, 116, 0])  # CC116
    lead.add(9 * Q, [0xC0, 81])      # the body changes sound,
    lead.add(10 * Q, [0xB0, 7, 70])  # volume
    lead.add(11 * Q, [0xE0, 0, 72])  # and bend
    lead.add(12 * Q, [0xE0, 0, 64])
    lead.add(23 * Q // 2, [0xB0, 117, 0])  # CC117, while the pad's chord is held
    notes(lead, 0, 0, [(C, Q), (EE, Q), (G, Q), (C + 12, Q)] * 5, 100)
    pad.add(0, [0xC1, 89])
    for bar in range(5):
        chord = [48, 52, 55] if bar % 2 == 0 else [50, 53, 57]
        for key in chord:
            notes(pad, 1, bar * 4 * Q + 2 * Q, [(key, 3 * Q)], 70)  # held across the bar line
    end = 20 * Q + 2 * Q
    tracks = [conductor, lead, pad]
    header = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks), DIVISION)
    return header + b''.join(t.chunk(end) for t in tracks)


# An eight-bar theme in A minor at 112 bpm (a beat of 535.714 ms, so bar lines fall between
# milliseconds), and its chords: a root for the bass, three tones for the rest.
A3, B3 = 57, 59
THEME = [(A3, Q), (C, Q), (EE, Q), (D, Q), (C, H), (B3, Q), (A3, Q),
         (G3, Q), (B3, Q), (D, Q), (C, Q), (B3, 3 * Q), (None, Q),
         (A3, Q), (C, Q), (EE, Q), (69, Q), (G, Q), (F, Q), (EE, Q), (D, Q),
         (C, Q), (B3, Q), (G3, Q), (B3, Q), (A3, 4 * Q)]
CHORDS = [(45, [57, 60, 64]), (41, [57, 60, 65]), (43, [55, 59, 62]), (40, [56, 59, 64]),
          (45, [57, 60, 64]), (38, [57, 62, 65]), (40, [56, 59, 64]), (45, [57, 60, 64])]
BAR = 4 * Q


def arrangement(title, parts):
    """A song of the theme: a conductor track (title, 4/4, 112 bpm), then a track per part
    (channel, program, volume, write), write(track, channel) adding its notes."""
    conductor = Track()
    meta(conductor, 0, 0x03, title)
    meta(conductor, 0, 0x58, [4, 2, 24, 8])
    meta(conductor, 0, 0x51, list(struct.pack('>I', 535714)[1:]))
    tracks = [conductor]
    for channel, program, volume, write in parts:
        track = Track()
        if program is not None:
            track.add(0, [0xC0 | channel, program])
        track.add(0, [0xB0 | channel, 7, volume])
        write(track, channel)
        tracks.append(track)
    header = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks), DIVISION)
    return header + b''.join(t.chunk(len(CHORDS) * BAR) for t in tracks)


def per_bar(velocity, lines):
    """A part that plays lines(root, tones), a list of melodic lines, in every bar."""
    def write(track, channel):
        for index, (root, tones) in enumerate(CHORDS):
            for line in lines(root, tones):
                notes(track, channel, index * BAR, line, velocity)
    return write


def calm_theme():
    """The theme on a flute over a held pad and a bass in halves: exploring."""
    return arrangement(b'Theme (calm)', [
        (0, 73, 100, lambda track, channel: notes(track, channel, 0, THEME, 80)),
        (1, 89, 80, per_bar(60, lambda root, tones: [[(k, BAR)] for k in tones])),
        (2, 32, 90, per_bar(70, lambda root, tones: [[(root, H), (root + 7, H)]])),
    ])


def combat_theme():
    """The same theme on the same grid: brass over strings and bass in eighths, and drums on
    channel 10 for the host to bring in as a layer."""
    return arrangement(b'Theme (combat)', [
        (0, 61, 110, lambda track, channel: notes(track, channel, 0, THEME, 110)),
        (1, 48, 90, per_bar(85, lambda root, tones: [[(k, E) for k in (tones + tones[1:2]) * 2]])),
        (2, 38, 100, per_bar(100, lambda root, tones: [[(root, E), (root + 12, E)] * 4])),
        (9, None, 100, per_bar(90, lambda root, tones: [[(42, E)] * 8,                # hi-hat
                                                        [(36, Q), (38, Q)] * 2])),   # kick, snare
    ])


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, song in (('ode_to_joy.mid', ode_to_joy()), ('fanfare.mid', fanfare()),
                       ('loop_theme.mid', loop_theme()), ('calm_theme.mid', calm_theme()),
                       ('combat_theme.mid', combat_theme())):
        with open(os.path.join(here, name), 'wb') as out:
            out.write(song)
