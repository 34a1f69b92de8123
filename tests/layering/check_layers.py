#!/usr/bin/env python3
"""Fails when a product file includes a file of a higher layer, when the core reaches past the
platform's seam, or when a tool or an example reaches past the public API. Layers, lowest first: include/ → platform/ (its root headers, common/, then
posix/ or win32/, then midi/) → base/ → song/ → playback/ → api/ → tools/, examples/.
An include may go to a lower layer or stay in its own folder; tests, fuzz and bench are exempt.
Usage: check_layers.py PROJECT_ROOT"""
import pathlib
import re
import sys

LAYERS = [  # (path prefix, rank); the longest matching prefix wins
    ('include/', 0),
    ('platform/', 1),  # platform.h, the seam, and platform_info.h, the tools' view
    ('platform/common/', 2),
    ('platform/posix/', 3),
    ('platform/win32/', 3),
    ('platform/midi/', 4),
    ('base/', 5),
    ('song/', 6),
    ('playback/', 7),
    ('api/', 8),
    ('tools/', 9),
    ('examples/', 9),
]
CORE = ('base/', 'song/', 'playback/', 'api/')
# What the core may see of the platform: the seam and the OS-neutral helpers.
CORE_MAY_SEE = ('platform/platform.h', 'platform/common/')
# The tools are hosts of the public API: beyond quavr.h they see only the platform's audio-file
# writer (the file it picks and the writer), and the player its virtual clock, so that an offline
# run's set-up lands at one virtual time. The examples see quavr.h alone.
HOSTS_MAY_SEE = {
    'tools/': ('include/', 'tools/', 'platform/midi/audio_file.h',
               'platform/midi/audio_destination.h'),
    'examples/': ('include/', 'examples/'),
}
HOST_FILES_MAY_SEE = {'tools/quavr_play.cpp': ('platform/platform_info.h',)}
SOURCES = ('.h', '.hpp', '.c', '.cpp')


def layer(path):
    matches = [(prefix, rank) for prefix, rank in LAYERS if path.startswith(prefix)]
    return max(matches, key=lambda m: len(m[0])) if matches else None


def main(root):
    root = pathlib.Path(root)
    problems = []
    for file in sorted(root.rglob('*')):
        relative = file.relative_to(root).as_posix()
        if file.suffix not in SOURCES or layer(relative) is None:
            continue
        own_prefix, own_rank = layer(relative)
        for number, line in enumerate(file.read_text(errors='replace').splitlines(), 1):
            match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not match:
                continue
            target = match.group(1)
            if layer(target) is None:
                continue  # a file of its own folder, included by its bare name
            prefix, rank = layer(target)
            where = '%s:%d includes %s' % (relative, number, target)
            if rank > own_rank or (rank == own_rank and prefix != own_prefix):
                problems.append(where + ': a higher or a sibling layer')
            elif relative.startswith(CORE) and target.startswith('platform/') and \
                    not target.startswith(CORE_MAY_SEE):
                problems.append(where + ': the core sees only the platform seam and common/')
            elif own_prefix in HOSTS_MAY_SEE and \
                    not target.startswith(HOSTS_MAY_SEE[own_prefix]) and \
                    not target.startswith(HOST_FILES_MAY_SEE.get(relative, ())):
                problems.append(where + ': a host of the public API sees only quavr.h and '
                                'the audio-file writer')
    for problem in problems:
        print(problem)
    print('%d layering problem(s)' % len(problems))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
