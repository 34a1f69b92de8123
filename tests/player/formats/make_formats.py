#!/usr/bin/env python3
"""Writes one short song in each game format (jingle.xmi, .mus, .hmp, .hmi) and, beside each, its
twin: a Standard MIDI File of the same messages at the same times (jingle.xmi.mid, ...), written
here from the song's notes and not from the format file, for the independent model of the golden
logs. Usage: make_formats.py DIR"""
import struct
import sys

# (tick, channel, key, velocity, duration) at each format's own tick rate, and controllers and
# programs (tick, status, data...). Notes on one key never overlap.
NOTES = [(0, 0, 60, 100, 60), (0, 1, 48, 90, 240), (60, 0, 64, 100, 60), (120, 0, 67, 100, 120),
         (240, 0, 72, 110, 0), (240, 9, 36, 100, 30), (300, 1, 43, 80, 60)]
OTHERS = [(0, 0xC0, 10), (0, 0xC1, 33), (120, 0xB1, 7, 90), (200, 0xE0, 0x00, 0x50)]
END = 400


def vlq(value):
    out = [value & 0x7F]
    while value > 0x7F:
        value >>= 7
        out.insert(0, 0x80 | (value & 0x7F))
    return bytes(out)


def messages():
    """The song as messages (tick, order, bytes): note-offs first at a tick, else in list order."""
    out = []
    for i, (tick, ch, key, vel, dur) in enumerate(NOTES):
        out.append((tick, 1, i, bytes([0x90 | ch, key, vel])))
        out.append((tick + max(dur, 1), 0, i, bytes([0x80 | ch, key, 0])))
    for i, (tick, *data) in enumerate(OTHERS):
        out.append((tick, 1, 100 + i, bytes(data)))
    return sorted(out)


def smf_twin(division, us_per_quarter, tracks):
    body = b''.join(b'MTrk' + struct.pack('>I', len(t)) + t for t in tracks)
    tempo = b'\x00\xFF\x51\x03' + us_per_quarter.to_bytes(3, 'big')
    first = tempo + b'\x00\xFF\x2F\x00'
    return (b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks) + 1, division) + b'MTrk' +
            struct.pack('>I', len(first)) + first + body)


def smf_track(timed_messages, end):
    out, now = bytearray(), 0
    for tick, msg in timed_messages:
        out += vlq(tick - now) + msg
        now = tick
    return bytes(out + vlq(max(end - now, 0)) + b'\xFF\x2F\x00')


def xmi():
    """Durations after note-ons; delays as sums of bytes below 0x80."""
    events = sorted([(n[0], 0, i) for i, n in enumerate(NOTES)] +
                    [(o[0], 1, i) for i, o in enumerate(OTHERS)])
    out, now = bytearray(b'\xFF\x51\x03\x07\xA1\x20'), 0
    for tick, kind, i in events:
        gap = tick - now
        while gap > 0:
            out.append(min(gap, 127))
            gap -= min(gap, 127)
        now = tick
        if kind == 0:
            _, ch, key, vel, dur = NOTES[i]
            out += bytes([0x90 | ch, key, vel]) + vlq(dur)
        else:
            out += bytes(OTHERS[i][1:])
    out += bytes([END - now]) + b'\xFF\x2F\x00'

    def chunk(cid, body):
        return cid + struct.pack('>I', len(body)) + body + (b'\x00' if len(body) % 2 else b'')
    song = chunk(b'FORM', b'XMID' + chunk(b'TIMB', b'\x01\x00\x0A\x00') + chunk(b'EVNT', bytes(out)))
    return (chunk(b'FORM', b'XDIR' + chunk(b'INFO', b'\x01\x00')) + chunk(b'CAT ', b'XMID' + song))


def mus():
    """Channel 9 of the notes is MUS channel 15; note and controller events of MUS."""
    def channel(ch):
        return 15 if ch == 9 else ch
    events = []
    for tick, order, i, msg in messages():
        kind, ch = msg[0] & 0xF0, channel(msg[0] & 0x0F)
        if kind == 0x90:
            events.append((tick, 0x10 | ch, bytes([msg[1] | 0x80, msg[2]])))
        elif kind == 0x80:
            events.append((tick, 0x00 | ch, bytes([msg[1]])))
        elif kind == 0xC0:
            events.append((tick, 0x40 | ch, bytes([0, msg[1]])))
        elif kind == 0xB0:
            events.append((tick, 0x40 | ch, bytes([3, msg[2]])))
        elif kind == 0xE0:
            events.append((tick, 0x20 | ch, bytes([(msg[2] << 1) | (msg[1] >> 6)])))
    score = bytearray()
    for j, (tick, desc, data) in enumerate(events):
        following = events[j + 1][0] if j + 1 < len(events) else END
        score += bytes([desc | (0x80 if following > tick else 0)]) + data
        if following > tick:
            score += vlq(following - tick)
    score += b'\x60'
    return b'MUS\x1A' + struct.pack('<6H', len(score), 16, 3, 0, 0, 0) + bytes(score)


def split_tracks():
    """Channel 0's messages and the rest: two tracks."""
    ms = [(tick, msg) for tick, _, _, msg in messages()]
    return [[m for m in ms if m[1][0] & 0x0F == 0], [m for m in ms if m[1][0] & 0x0F != 0]]


def reversed_vlq(value):
    out = []
    while True:
        out.append(value & 0x7F)
        value >>= 7
        if not value:
            break
    out[-1] |= 0x80
    return bytes(out)


def hmp(rate):
    out = bytearray(0x388)
    out[0:14] = b'HMIMIDIP013195'
    tracks = split_tracks()
    struct.pack_into('<III', out, 0x30, len(tracks), 60, rate)
    for t, messages_of in enumerate(tracks):
        body, now = bytearray(), 0
        for tick, msg in messages_of:
            body += reversed_vlq(tick - now) + msg
            now = tick
        body += reversed_vlq(END - now) + b'\xFF\x2F\x00'
        out += struct.pack('<III', t, 12 + len(body), t) + body
    struct.pack_into('<I', out, 0x20, len(out))
    return bytes(out)


def hmi(rate):
    tracks = [[n for n in NOTES if n[1] == 0], [n for n in NOTES if n[1] != 0]]
    others = [[o for o in OTHERS if o[1] & 0x0F == 0], [o for o in OTHERS if o[1] & 0x0F != 0]]
    out = bytearray(0x172 + 4 * len(tracks))
    out[0:18] = b'HMI-MIDISONG061595'
    struct.pack_into('<H', out, 0xD4, rate)
    struct.pack_into('<H', out, 0xE4, len(tracks))
    struct.pack_into('<I', out, 0xE8, 0x172)
    for t in range(len(tracks)):
        events = sorted([(n[0], 0, n) for n in tracks[t]] + [(o[0], 1, o) for o in others[t]])
        body, now = bytearray(), 0
        for tick, kind, e in events:
            body += vlq(tick - now)
            now = tick
            body += bytes([0x90 | e[1], e[2], e[3]]) + vlq(e[4]) if kind == 0 else bytes(e[1:])
        body += vlq(END - now) + b'\xFF\x2F\x00'
        struct.pack_into('<I', out, 0x172 + 4 * t, len(out))
        header = bytearray(0x9A)
        header[0:13] = b'HMI-MIDITRACK'
        struct.pack_into('<I', header, 0x57, len(header))
        out += header + body
    return bytes(out)


def main():
    out = sys.argv[1]
    one = [[(tick, msg) for tick, _, _, msg in messages()]]
    # Each twin: a quarter note of one second over the format's ticks per second (XMI and MUS as
    # their peers' converters write them: 60 and 70 ticks at 120 beats per minute).
    songs = {'xmi': (xmi(), 60, 500000, one), 'mus': (mus(), 70, 500000, one),
             'hmp': (hmp(100), 100, 1000000, split_tracks()),
             'hmi': (hmi(100), 100, 1000000, split_tracks())}
    for ext, (data, division, tempo, tracks) in songs.items():
        with open(f'{out}/jingle.{ext}', 'wb') as f:
            f.write(data)
        with open(f'{out}/jingle.{ext}.mid', 'wb') as f:
            f.write(smf_twin(division, tempo, [smf_track(t, END) for t in tracks]))


if __name__ == '__main__':
    main()
