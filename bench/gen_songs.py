#!/usr/bin/env python3
"""Writes the benchmark's generated songs into DIR: dense songs of about 1, 10 and 50 MB (many
tracks, notes with running status, a tempo map), three pathological ones (100 000 set-tempo
events, 65 535 tracks, ten million events), and dense Extended MIDI and MUS songs of about 1 MB.
Usage: gen_songs.py DIR"""
import os
import struct
import sys


def chunk(body):
    return b'MTrk' + struct.pack('>I', len(body)) + body


def header(tracks, division=480):
    return b'MThd' + struct.pack('>IHHH', 6, 1, tracks, division)


def tempo_track(changes, step):
    body = bytearray()
    for i in range(changes):
        us = 400000 + (i * 7919) % 300000
        body += vlq(0 if i == 0 else step) + bytes([0xFF, 0x51, 0x03]) + us.to_bytes(3, 'big')
    body += b'\x00\xFF\x2F\x00'
    return chunk(bytes(body))


def vlq(value):
    out = [value & 0x7F]
    while value > 0x7F:
        value >>= 7
        out.insert(0, 0x80 | (value & 0x7F))
    return bytes(out)


def note_track(channel, events):
    # Matched note pairs (the note-off names the key of the note-on before it) in running
    # status: 3 bytes an event with a one-byte delta. An odd count loses its last event.
    pattern = bytearray()
    for j in range(128):
        key = 36 + (j * 5) % 48
        pattern += bytes([(j * 7) % 24, key, 90, 1 + (j * 11) % 23, key, 0])
    whole, rest = divmod(events // 2 * 6, len(pattern))
    notes = pattern * whole + pattern[:rest]
    body = notes[:1] + bytes([0x90 | channel]) + notes[1:] + b'\x00\xFF\x2F\x00'
    return chunk(bytes(body))


def dense(megabytes, tracks=16):
    per_track = megabytes * 1_000_000 // (3 * tracks)
    bars = per_track // 8
    return header(tracks + 1) + tempo_track(max(2, bars // 64), 480 * 4 * 64 // 8) + b''.join(
        note_track(t % 16, per_track) for t in range(tracks))


def dense_xmi(megabytes):
    """One song of notes on 16 channels, each with its duration: 6 bytes a note, so about two
    events (the note-on and the note-off made of its duration) per 6 bytes."""
    notes = bytearray()
    for j in range(megabytes * 1_000_000 // 6):
        key = 36 + (j * 5) % 48
        notes += bytes([1 + (j * 7) % 23, 0x90 | (j % 16), key, 90]) + vlq(60 + (j * 13) % 400)
    # An even length: the peer misreads the pad byte after an odd chunk.
    notes += b'\x01' * (1 + len(notes) % 2)
    events = b'\xFF\x51\x03\x07\xA1\x20' + bytes(notes) + b'\xFF\x2F\x00'

    def iff(cid, body):
        return cid + struct.pack('>I', len(body)) + body + (b'\x00' if len(body) % 2 else b'')
    # In a collection of one: the peer loads no bare song form.
    song = iff(b'FORM', b'XMID' + iff(b'EVNT', events))
    return iff(b'FORM', b'XDIR' + iff(b'INFO', b'\x01\x00')) + iff(b'CAT ', b'XMID' + song)


def dense_mus(megabytes):
    """Notes on 15 channels and percussion: a play with its volume and a release, each followed by
    a delay, 7 bytes a note. The score outgrows the 16-bit length field, as loaders ignore."""
    score = bytearray()
    for j in range(megabytes * 1_000_000 // 7):
        channel, key = j % 16, 36 + (j * 5) % 48
        score += bytes([0x90 | channel, 0x80 | key, 100, 1 + (j * 7) % 23])
        score += bytes([0x80 | channel, key, 1 + (j * 11) % 23])
    score += b'\x60'
    return b'MUS\x1A' + struct.pack('<6H', len(score) & 0xFFFF, 16, 15, 1, 0, 0) + bytes(score)


def main(out):
    os.makedirs(out, exist_ok=True)
    songs = {
        'dense-1MB.mid': dense(1),
        'dense-10MB.mid': dense(10),
        'dense-50MB.mid': dense(50),
        'tempo-100k.mid': header(2) + tempo_track(100_000, 12) + note_track(0, 100_000),
        'tracks-65535.mid': header(65535) + b''.join(chunk(b'\x00\x90\x3c\x40\x10\x3c\x00\x00\xff\x2f\x00') for _ in range(65535)),
        'events-10M.mid': header(1) + note_track(0, 10_000_000),
        'dense-1MB.xmi': dense_xmi(1),
        'dense-1MB.mus': dense_mus(1),
    }
    for name, data in songs.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main(sys.argv[1])
