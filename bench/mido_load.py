#!/usr/bin/env python3
"""Times mido loading each file and timing every message, as load_bench does for the others, in
load_bench's columns: load  mido  file  bytes  events  min_s  median_s  max_s  free_s  samples, where
free_s is "-" (Python frees when it likes) and events "skipped" for files above --max-bytes or
"refused" for files mido will not read."""
import argparse
import os
import statistics
import time

import mido


def load(path):
    midi = mido.MidiFile(path, clip=True)
    events, now = 0, 0.0
    for message in midi:  # iterating merges the tracks and turns delta ticks into seconds
        now += message.time
        events += 1
    return events


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--repeat', type=int, default=3)
    parser.add_argument('--max-bytes', type=int, default=2_000_000)
    parser.add_argument('files', nargs='+')
    args = parser.parse_args()
    for path in args.files:
        size = os.path.getsize(path)
        if size > args.max_bytes:
            print(f'load\tmido\t{path}\t{size}\tskipped\t-\t-\t-\t-\t0', flush=True)
            continue
        times, events = [], 0
        try:
            for _ in range(args.repeat):
                start = time.perf_counter()
                events = load(path)
                times.append(time.perf_counter() - start)
        except Exception:  # mido refuses some files the others load
            print(f'load\tmido\t{path}\t{size}\trefused\t-\t-\t-\t-\t0', flush=True)
            continue
        print(f'load\tmido\t{path}\t{size}\t{events}\t{min(times):.9f}\t{statistics.median(times):.9f}'
              f'\t{max(times):.9f}\t-\t{len(times)}', flush=True)


if __name__ == '__main__':
    main()
