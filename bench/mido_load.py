#!/usr/bin/env python3
"""Times mido loading each file and timing every message, as load_bench does for the others.
Prints: mido  file  bytes  events  min_s  median_s  max_s   (files above --max-bytes: "-")."""
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
            print(f'mido\t{path}\t{size}\t-\t-\t-\t-', flush=True)
            continue
        times, events = [], 0
        for _ in range(args.repeat):
            start = time.perf_counter()
            try:
                events = load(path)
            except Exception:  # mido refuses some files the others load
                events = 0
            times.append(time.perf_counter() - start)
        print(f'mido\t{path}\t{size}\t{events}\t{min(times):.9f}\t{statistics.median(times):.9f}'
              f'\t{max(times):.9f}', flush=True)


if __name__ == '__main__':
    main()
