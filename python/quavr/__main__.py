"""python -m quavr FILE...: what the library makes of each song."""

from __future__ import annotations

import argparse
import sys

from . import LibraryNotFoundError, QuavrError, Song, library, library_version


def describe(song: Song) -> list[str]:
    lines = []
    if song.title is not None:
        lines.append(f"title      {song.title}")
    lines += [f"copyright  {text}" for text in song.copyrights]
    lines.append(f"format     {song.format.name}, {song.tracks} tracks, division {song.division}")
    if song.songs > 1:
        lines.append(f"songs      {song.songs}")
    lines.append(f"length     {song.length_ms} ms, {song.events} events")
    lines += [f"track {i:<4} {name}" for i, name in enumerate(song.track_names) if name]
    lines += [f"marker     {m.time_ms} ms  {m.text}" for m in song.markers]
    lines += [f"loop       {loop.start_ms}-{loop.end_ms} ms, count {loop.count or 'forever'}"
              for loop in song.loops]
    if song.lyrics:
        lines.append(f"lyrics     {len(song.lyrics)}")
    return lines


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m quavr",
                                     description="Shows what Quavr makes of each song.")
    parser.add_argument("files", nargs="+", metavar="FILE",
                        help="a MIDI file (or XMI, MUS, HMP, HMI)")
    args = parser.parse_args(argv)
    try:
        print(f"Quavr {'.'.join(map(str, library_version()))} ({library().path})")
    except LibraryNotFoundError as error:
        print(error, file=sys.stderr)
        return 1
    failed = 0
    for path in args.files:
        try:
            with Song(path) as song:
                print(f"{path}\n  " + "\n  ".join(describe(song)))
        except QuavrError:
            print(f"{path}: cannot be loaded", file=sys.stderr)
            failed = 1
    return failed


if __name__ == "__main__":
    sys.exit(main())
