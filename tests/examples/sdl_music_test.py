#!/usr/bin/env python3
"""The SDL example under SDL's disk audio driver: the file SDL wrote holds the song, audible, and
as long as the song to within one SDL buffer (whole buffers, the last one where the song ended).
Usage: sdl_music_test.py SDL_MUSIC SONG"""
import array
import os
import re
import subprocess
import sys
import tempfile

example, song = sys.argv[1:3]
with tempfile.TemporaryDirectory() as work:
    raw = os.path.join(work, "sdl.raw")
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw)
    run = subprocess.run([example, song], env=env, capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        sys.exit(f"sdl_music failed ({run.returncode}): {run.stderr}")
    said = re.search(r"song (\d+) ms, rate (\d+) Hz, buffer (\d+) frames", run.stdout)
    length_ms, rate, buffer = (int(x) for x in said.groups())
    samples = array.array("f", open(raw, "rb").read())  # float, stereo, the machine's order
frames = len(samples) // 2
song_frames = length_ms * rate // 1000
peak = max(abs(x) for x in samples)
print(f"SDL wrote {frames} frames for a song of {song_frames} ({frames - song_frames} more, "
      f"buffer {buffer}); peak {peak:.3f}")
ok = 0 <= frames - song_frames < buffer and peak > 0.01
sys.exit(0 if ok else 1)
