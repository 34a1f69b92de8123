#!/usr/bin/env python3
"""check_layers.py on a planted tree: which includes of the tools it refuses, one case a file."""
import pathlib
import subprocess
import sys
import tempfile

CASES = [  # (file, include, refused)
    ('tools/a.cpp', 'include/quavr.h', False),
    ('tools/b.cpp', 'platform/midi/audio_file.h', False),
    ('tools/quavr_play.cpp', 'platform/platform_info.h', False),
    ('tools/c.cpp', 'platform/platform_info.h', True),
    ('tools/d.cpp', 'platform/midi/output.h', True),
    ('tools/e.cpp', 'platform/platform.h', True),
    ('tools/f.cpp', 'song/song_view.h', True),
    ('tools/g.cpp', 'playback/device.h', True),
]

check = pathlib.Path(__file__).with_name('check_layers.py')
failures = 0
for path, include, refused in CASES:
    with tempfile.TemporaryDirectory() as root:
        planted = pathlib.Path(root, path)
        planted.parent.mkdir(parents=True)
        planted.write_text('#include "%s"\n' % include)
        result = subprocess.run([sys.executable, check, root], capture_output=True, text=True)
        if (result.returncode != 0) != refused:
            print('FAIL %s including %s: %s' % (path, include, result.stdout.strip()))
            failures += 1
print('%d of %d cases wrong' % (failures, len(CASES)))
sys.exit(1 if failures else 0)
