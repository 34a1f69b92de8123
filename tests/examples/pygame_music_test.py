#!/usr/bin/env python3
"""The pygame example under SDL's disk audio driver: the file SDL wrote holds the song, byte for
byte as a render device renders it (the mixer passes a lone channel's samples through), and the
song is audible. The driver waits SDL_DISKAUDIODELAY ms after each buffer of about 11 ms: the
example queues each block well ahead of the mixer, on a busy machine too.
Usage: pygame_music_test.py EXAMPLE SONG   (run by a Python that has quavr and pygame)"""
import array
import os
import re
import subprocess
import sys
import tempfile

import quavr

example, song_path = sys.argv[1:3]
with tempfile.TemporaryDirectory() as work:
    raw = os.path.join(work, "pygame.raw")
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw, SDL_DISKAUDIODELAY="30")
    run = subprocess.run([sys.executable, example, song_path], env=env, capture_output=True,
                         text=True, timeout=300)
    if run.returncode != 0:
        sys.exit(f"pygame_music failed ({run.returncode}): {run.stderr}")
    said = re.search(r"song (\d+) ms, rate (\d+) Hz, block (\d+) frames", run.stdout)
    length_ms, rate, block = (int(x) for x in said.groups())
    written = open(raw, "rb").read()

# The example renders whole blocks up to the one where the song ends.
blocks = length_ms * rate // 1000 // block + 1
with quavr.Song(song_path) as song, quavr.RenderDevice(rate) as device:
    device.play(song)
    expected = device.render(blocks * block, quavr.RenderFormat.S16)
at = written.find(expected)
peak = max(abs(x) for x in array.array("h", expected)) / 32768
print(f"SDL wrote {len(written) // 4} frames; the song's {blocks} blocks of {block} frames "
      f"({blocks * block} frames for a song of {length_ms * rate // 1000}) "
      f"{f'are there from frame {at // 4}' if at >= 0 else 'are NOT there'}; peak {peak:.3f}")
sys.exit(0 if at >= 0 and at % 4 == 0 and peak > 0.01 else 1)
