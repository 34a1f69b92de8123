#!/usr/bin/env python3
"""A pygame game's music: pygame's mixer owns the audio output, and a Quavr render device renders
the song into it, block after block, each queued on a mixer channel behind the one playing. The
song plays to its end, then the mixer closes.

Usage: pygame_music.py FILE [SOUNDFONT]   (SOUNDFONT defaults to Quavr Synth's)
"""

import os
import sys
import time

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
import pygame  # noqa: E402  (Debian: python3-pygame)

import quavr  # noqa: E402

BLOCK = 4096  # frames a queued sound holds: 85 ms at 48 kHz


def main() -> int:
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    # 16-bit stereo, the mixer's own format: the render device renders at the mixer's rate, and
    # its blocks go to the mixer as they are.
    pygame.mixer.init(frequency=48000, size=-16, channels=2)
    rate, size, channels = pygame.mixer.get_init()
    if (size, channels) != (-16, 2):
        print(f"the mixer gave {size}-bit samples, {channels} channels", file=sys.stderr)
        return 1
    try:
        song = quavr.Song(sys.argv[1])
        music = quavr.RenderDevice(rate, sys.argv[2] if len(sys.argv) > 2 else None)
    except quavr.QuavrError as error:
        print(error, file=sys.stderr)
        return 1
    print(f"song {song.length_ms} ms, rate {rate} Hz, block {BLOCK} frames", flush=True)
    channel = pygame.mixer.Channel(0)
    block = bytearray(BLOCK * 4)  # rendered into in place, then copied by the Sound
    with music, song:
        music.play(song)
        playing = True
        while playing:
            playing = music.render_into(block, quavr.RenderFormat.S16) == BLOCK
            sound = pygame.mixer.Sound(buffer=block)
            while channel.get_queue() is not None:  # one block plays, one waits behind it
                time.sleep(0.005)
            if channel.get_busy():
                channel.queue(sound)
            else:
                channel.play(sound)
        while channel.get_busy():  # the last block, with the last notes' release
            time.sleep(0.01)
    pygame.mixer.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
