#!/usr/bin/env python3
"""The SDL example under SDL's disk audio driver: the file SDL wrote holds the song, audible, its
last notes ringing on after its end, and ends in a silent buffer, not in the release.
The driver waits SDL_DISKAUDIODELAY ms after each buffer: long enough here for the example to
close the device before another buffer goes out, on a busy machine too.
Usage: sdl_music_test.py SDL_MUSIC"""
import array
import os
import re
import subprocess
import sys
import tempfile

example = sys.argv[1]
# 1132 ms: two notes (division 500 at the default tempo, a tick is a millisecond).
track = bytes([0x00, 0x90, 60, 100, 0x83, 0x60, 0x90, 64, 100, 0x83, 0x60, 0x80, 60, 0,
               0x00, 0x80, 64, 0, 0x81, 0x2C, 0xFF, 0x2F, 0x00])
midi = b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0x01, 0xF4]) + \
    b"MTrk" + len(track).to_bytes(4, "big") + track
with tempfile.TemporaryDirectory() as work:
    raw = os.path.join(work, "sdl.raw")
    song = os.path.join(work, "song.mid")
    open(song, "wb").write(midi)
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw, SDL_DISKAUDIODELAY="100")
    run = subprocess.run([example, song], env=env, capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        sys.exit(f"sdl_music failed ({run.returncode}): {run.stderr}")
    said = re.search(r"song (\d+) ms, rate (\d+) Hz, buffer (\d+) frames", run.stdout)
    length_ms, rate, buffer = (int(x) for x in said.groups())
    samples = array.array("f", open(raw, "rb").read())  # float, stereo, the machine's order
# While the device is still paused (between its opening and the play) SDL writes whole buffers of
# silence: they are not the song's.
zeros = next((i for i, x in enumerate(samples) if x != 0.0), len(samples)) // 2
frames = len(samples) // 2 - zeros // buffer * buffer
song_frames = length_ms * rate // 1000
music = samples[2 * (zeros // buffer * buffer):]
peak = max(abs(x) for x in music)
tail = max(abs(x) for x in music[2 * song_frames:2 * (song_frames + buffer)])
last = max(abs(x) for x in music[-2 * buffer:])
print(f"SDL wrote {frames} frames for a song of {song_frames} ({frames - song_frames} more, "
      f"buffer {buffer}); peak {peak:.3f}, after the end {tail:.5f}, last buffer {last:.6f}")
ok = peak > 0.01 and tail > 1e-4 and last < 1 / 65536 and buffer <= frames - song_frames < 10 * rate
sys.exit(0 if ok else 1)
