#!/usr/bin/env python3
"""Every file of the corpus must load, and its length from quavr-info --length must agree with
mido's MidiFile.length within one millisecond per tempo change, plus one."""
import subprocess
import sys

import mido


def tempo_changes(midi):
    return sum(1 for track in midi.tracks for msg in track if msg.type == 'set_tempo')


def main(tool, listing):
    files = [line.strip() for line in open(listing) if line.strip()]
    if not files:
        sys.exit('no files in ' + listing)
    failures = 0
    for path in files:
        run = subprocess.run([tool, '--length', path], capture_output=True, text=True)
        if run.returncode != 0:
            print(f'FAIL {path}: quavr-info exited {run.returncode}: {run.stderr.strip()}')
            failures += 1
            continue
        ours = int(run.stdout)
        midi = mido.MidiFile(path, clip=True)
        if midi.type == 2:
            print(f'skip {path}: mido times no format 2 files (ours: {ours} ms)')
            continue
        theirs = midi.length * 1000
        allowed = tempo_changes(midi) + 1
        verdict = 'ok  ' if abs(ours - theirs) <= allowed else 'FAIL'
        failures += verdict == 'FAIL'
        print(f'{verdict} {path}: {ours} ms, mido {theirs:.3f} ms, allowed {allowed}')
    print(f'{len(files) - failures} of {len(files)} files agree')
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
