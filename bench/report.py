#!/usr/bin/env python3
"""Turns bench/run.sh's raw measurements into bench/RESULTS.md (Markdown, on stdout). Every ratio
is against Quavr measured in the same run, alternately in the same process (mido apart)."""
import datetime
import math
import os
import platform
import sys
from collections import defaultdict

PEERS = ('wildmidi', 'fluidsynth', 'portsmf', 'libsmf', 'mido')
FLOORS = ('memcpy', 'read', 'read+walk')
ENGINES = ('quavr',) + PEERS + FLOORS
LABELS = {
    'quavr': 'Quavr',
    'wildmidi': 'WildMIDI (`WildMidi_Open`, patches kept loaded)',
    'fluidsynth': 'FluidSynth player (add, play, one rendered block)',
    'portsmf': 'portsmf (`Alg_seq` read, then converted to seconds)',
    'libsmf': 'libsmf (`smf_load`)',
    'mido': 'mido (Python, in a process of its own)',
    'memcpy': 'floor: memcpy of the bytes',
    'read': 'floor: read of the file',
    'read+walk': 'floor: read + a bare event walk',
}
GOALS = {'peer': 3, 'walk_share': 0.25, 'mbps': 400, 'pathological': 3, 'tick_ns': 200, 'seek_ms': 5,
         'p99_us': 150, 'bytes_per_event': 24, 'libsmf': 10, 'mido': 100}


def cpu_model():
    for line in open('/proc/cpuinfo'):
        if line.startswith('model name'):
            return line.split(':', 1)[1].strip()
    return platform.processor() or 'unknown'


class Load:
    def __init__(self, f):  # the fields after KIND and engine
        self.file, self.bytes = f[0], int(f[1])
        self.state = f[2] if f[2] in ('skipped', 'refused') else 'ok'
        if self.state == 'ok':
            self.events = int(f[2])
            self.min, self.median, self.max = float(f[3]), float(f[4]), float(f[5])
            self.free = None if f[6] == '-' else float(f[6])
            self.samples = int(f[7])


def read(path):
    loads = defaultdict(lambda: defaultdict(dict))  # kind -> engine -> file -> Load
    ticks, timing, memory, seeks = [], [], [], []
    renders = {'peer': [], 'messages': [], 'wait': [], 'switch': []}
    walks, boundaries, grid_loads = [], [], []
    for line in open(path):
        f = line.rstrip('\n').split('\t')
        if f[0] in ('load', 'load-kept', 'load-game'):
            loads[f[0]][f[1]][f[2]] = Load(f[2:])
        elif f[0] == 'tick':
            ticks.append((f[1], int(f[2]), float(f[3])))
        elif f[0] == 'timing':
            timing.append(f[1:])
        elif f[0] == 'memory':
            memory.append(f[1:])
        elif f[0] == 'seek':  # file bytes target rounds min_us median_us
            seeks.append((os.path.basename(f[1]), int(f[2]), f[3], float(f[5]), float(f[6])))
        elif f[0].startswith('render_'):  # render_bench's lines: see its header
            renders[f[0][len('render_'):]].append([os.path.basename(f[1])] + f[2:])
        elif f[0] == 'walk':  # walk_bench: file events rounds, then min and median of each
            walks.append([os.path.basename(f[1]), int(f[2])] + [float(v) for v in f[4:10]])
        elif f[0] == 'boundary':  # grid_bench: bars meters tempos, then ns of each lookup
            boundaries.append([int(v) for v in f[1:4]] + [float(v) for v in f[4:8]])
        elif f[0] == 'grid_load':  # grid_bench: files rounds load_s grid_s
            grid_loads.append((int(f[1]), float(f[3]), float(f[4])))
    read.renders = renders
    read.walks = walks
    read.grid = boundaries, grid_loads
    return loads, ticks, timing, memory, seeks


def render_section(say, renders):
    """The render devices' figures; returns (worst peer ratio, messages × real time, wait µs)."""
    say('\n## Render devices\n')
    say('Quavr Synth\'s synthesizer pulled through `bgmRender` (1024-frame calls) against '
        'FluidSynth\'s own player rendering the same song, soundfont (TimGM6mb) and rate '
        '(48 kHz), alternating in one process; the time includes loading the song (the player '
        'reads it in its first block). The goal is judged on the minima, the least disturbed '
        'rounds.\n')
    say('| Song | Frames | Quavr min / median (ms) | FluidSynth player min / median (ms) | '
        'Quavr ÷ player, min / median |')
    say('|---|---|---|---|---|')
    worst = None
    for name, frames, _, qmin, qmed, pmin, pmed in renders['peer']:
        ratio = float(qmin) / float(pmin)
        worst = ratio if worst is None else max(worst, ratio)
        say(f'| {name} | {frames} | {float(qmin):.0f} / {float(qmed):.0f} | '
            f'{float(pmin):.0f} / {float(pmed):.0f} | {ratio:.2f} / '
            f'{float(qmed) / float(pmed):.2f} |')
    speed = None
    for name, frames, seconds, messages in renders['messages']:
        speed = int(frames) / float(seconds) / 48000
        say(f'\nMessages only (no synthesizer, a counting sink), {name}: {int(frames)} frames '
            f'({int(frames) / 48000 / 60:.0f} min of song, {messages} messages) in '
            f'{float(seconds) * 1000:.0f} ms: {speed:.0f}× real time.')
    wait = None
    for name, calls, seeks, mx, p9999, p999, amx, a9999, a999 in renders['wait']:
        wait = max(0.0, float(p9999) - float(a9999))
        say(f'\n256-frame `bgmRender` calls on a messages-only device playing {name}, 3 s alone '
            f'then 3 s while another thread seeks it in a loop ({seeks} seeks, {calls} calls): '
            f'p99.9 {float(a999):.1f} → {float(p999):.1f} µs, p99.99 {float(a9999):.1f} → '
            f'{float(p9999):.1f} µs, max {float(amx):.0f} → {float(mx):.0f} µs. A seek builds '
            'its chase before it takes the device\'s lock; the maxima are the machine\'s '
            'preemptions (alone as well as seeking).')
    return worst, speed, wait


def following_section(say, ticks, grid, switches):
    """Music that follows the game; returns (worst pending tick over the plain one, growth of a
    boundary lookup from 100 to 1 000 000 bars, the grid's share of a load, worst render with a
    switch every bar over a plain one)."""
    say('\n## Music that follows the game\n')
    plain = {(name, tracks): ns for name, tracks, ns in ticks}
    pending = [plain[(queued, tracks)] / plain[(base, tracks)] - 1
               for queued, base in (('TickQueued', 'TickPerShortMessage'),
                                    ('TickQueuedNothingDue', 'TickWithNothingDue'))
               for tracks in (1, 16, 64) if (queued, tracks) in plain and (base, tracks) in plain]
    if pending:
        say('A tick with a jump queued for a far bar line (bar 255, past the song\'s end: looked '
            'at every tick, never taken) against the same tick with nothing queued, in the tick '
            f'table above: TickQueued against TickPerShortMessage and TickQueuedNothingDue against '
            f'TickWithNothingDue, 1 to 64 tracks: {min(pending) * 100:+.1f} % to '
            f'{max(pending) * 100:+.1f} %.')
    boundaries, grid_loads = grid
    growth = None
    if boundaries:
        say('\nThe next bar line or beat from a song time (`SongGrid::nextAt`, bars and beats by '
            'turns), in generated songs whose meter and tempo change at every bar, so both maps '
            'searched hold a point a bar; the times random, or walking forward as a playing '
            'song\'s do. Beside it, a table of every bar\'s time searched by bisection (the floor '
            'of a search) and walked from its start (a search without the maps). ns a lookup, the '
            'best of five passes.\n')
        say('| Bars | Meters | Tempo points | Random | Forward | Table searched | Table walked |')
        say('|---|---|---|---|---|---|---|')
        for bars, meters, tempos, rnd, fwd, search, walk in boundaries:
            say(f'| {bars} | {meters} | {tempos} | {rnd:.0f} | {fwd:.0f} | {search:.0f} | '
                f'{walk:.0f} |')
        first, last = boundaries[0], boundaries[-1]
        growth = last[3] / first[3]
        say(f'\nFrom {first[0]} to {last[0]} bars a random lookup costs {growth:.1f}× as much '
            f'(forward {last[4] / first[4]:.1f}×, the searched table {last[5] / first[5]:.1f}×, '
            f'the walked one {last[6] / first[6]:.0f}×; log₂ of the bars grows '
            f'{math.log2(last[0]) / math.log2(first[0]):.1f}×): the search is logarithmic, and '
            'past the caches each of its steps is a miss (a million bars are 48 MB of maps).')
    share = None
    for files, load_s, grid_s in grid_loads:
        share = grid_s / load_s
        say(f'\nThe grid\'s share of a load, {files} real songs: each loaded, then its grid made '
            'again on the loaded song (the time signatures picked out of its meta events, as the '
            'track walk does, and the meter map built and freed), alternating song by song; sums '
            f'of the medians: load {load_s * 1000:.2f} ms, grid {grid_s * 1000:.3f} ms, '
            f'{share * 100:.2f} %.')
    worst = None
    if switches:
        say('\nRendering a song with a switch queued for every bar (the song to itself, in place: '
            'the notes cut, its state sent again) against a plain render of it, 1024-frame calls '
            'at 48 kHz, alternating in one process, in the thread\'s processor time; the '
            'synthesizer without its effects (TimGM6mb), whose parallel region would run on other '
            'threads. A round renders both, one after the other; the goal is judged on the median '
            'of the rounds\' ratios, with the synthesizer. Messages only, a render is '
            'the sequencer alone (microseconds a second of music), and a switch costs what a '
            'seek\'s chase does.\n')
        say('| Song | Device | Switches | Plain min / median (ms) | Switching min / median (ms) '
            '| Switching ÷ plain, median of rounds | µs a switch, messages only (medians) |')
        say('|---|---|---|---|---|---|---|')
        for name, device, _, made, _, pmin, pmed, smin, smed, ratio in switches:
            ratio = float(ratio)
            if device == 'synth':
                worst = ratio - 1 if worst is None else max(worst, ratio - 1)
            say(f'| {name} | {device} | {made} | {float(pmin):.2f} / {float(pmed):.2f} | '
                f'{float(smin):.2f} / {float(smed):.2f} | {ratio:.3f} | ' +
                ('—' if device == 'synth' else
                 f'{(float(smed) - float(pmed)) * 1000 / max(int(made), 1):.1f}') + ' |')
    return (max(pending) if pending else None), growth, share, worst


def versus(r):
    """A time ratio against Quavr's, in words."""
    if 0.95 <= r <= 1.05:
        return 'same' if r != 1 else '—'
    x = r if r > 1 else 1 / r
    return (f'{x:.0f}×' if x >= 100 else f'{x:.3g}×') + (' slower' if r > 1 else ' faster')


def rate(x):
    return f'{x:.0f}' if x >= 100 else f'{x:.3g}'


def ms(seconds):
    return f'{seconds:.3g} s' if seconds >= 1 else f'{seconds * 1e3:.3g} ms'


def corpus_rows(loads):
    """Per engine, over the real songs it and Quavr both load: sums of per-file figures."""
    quavr = loads['quavr']
    real = sorted({f for e in loads.values() for f in e if '/corpus/' in f})
    rows = {}
    for engine in ENGINES:
        e = loads[engine]
        common = [f for f in real if f in quavr and quavr[f].state == 'ok' and f in e and
                  e[f].state == 'ok']
        if not common:
            continue
        q = sum(quavr[f].median for f in common)
        t = [sum(getattr(e[f], a) for f in common) for a in ('min', 'median', 'max')]
        frees = [e[f].free for f in common]
        free = None if None in frees or engine in FLOORS else sum(frees)
        qfree = sum(quavr[f].free for f in common)
        rows[engine] = dict(files=len(common), mb=sum(quavr[f].bytes for f in common) / 1e6,
                            events=sum(quavr[f].events for f in common), t=t, ratio=t[1] / q,
                            free=free, both=None if free is None else (t[1] + free) / (q + qfree))
    rows['refused'] = {e: sum(1 for f in real if f in loads[e] and loads[e][f].state == 'refused')
                       for e in ENGINES}
    rows['count'] = len(real)
    return rows


def dense_cell(loads, engine, f):
    """Median load of the file and its ratio to Quavr's, as two cells."""
    load, quavr = loads[engine].get(f), loads['quavr'].get(f)
    if load is None or quavr is None or quavr.state != 'ok':
        return '—', '—'
    if load.state != 'ok':
        return ('not run' if load.state == 'skipped' else 'refuses it'), '—'
    return ms(load.median), versus(load.median / quavr.median)


def generated_table(say, loads, title, note):
    quavr = loads['quavr']
    files = sorted((f for f in quavr if '/songs/' in f and quavr[f].state == 'ok'),
                   key=lambda f: (quavr[f].bytes, f))
    if not files:
        return
    say(f'\n## {title}\n')
    say(note + ' Median load; below it, time ÷ Quavr\'s.\n')
    shown = [e for e in ENGINES if any(f in loads[e] for f in files)]
    say('| File | MB | Events | Quavr MB/s | ' + ' | '.join(shown) + ' |')
    say('|---|---|---|---|' + '---|' * len(shown))
    for f in files:
        q = quavr[f]
        cells = []
        for e in shown:
            load = loads[e].get(f)
            if load is None or load.state != 'ok':
                cells.append('—' if load is None else
                             'not run' if load.state == 'skipped' else 'refuses it')
            elif e == 'quavr':
                cells.append(ms(load.median))
            else:
                cells.append(f'{ms(load.median)}<br>{load.median / q.median:.3g}')
        say(f'| {os.path.basename(f)} | {q.bytes / 1e6:.1f} | {q.events} | '
            f'{q.bytes / 1e6 / q.median:.0f} | ' + ' | '.join(cells) + ' |')
    engines = [e for e in shown if e not in FLOORS and e != 'mido']
    say('\nFreeing the song, median:\n')
    say('| File | ' + ' | '.join(engines) + ' |')
    say('|---|' + '---|' * len(engines))
    for f in files:
        cells = [ms(loads[e][f].free) if f in loads[e] and loads[e][f].state == 'ok' else '—'
                 for e in engines]
        say(f'| {os.path.basename(f)} | ' + ' | '.join(cells) + ' |')


def walk_section(say, walks):
    """A host's walk of a song's events; returns the first walk's and the next walk's ratios to the
    floor on the dense 10 MB song (medians)."""
    if not walks:
        return None, None
    say('\n## Walking a song\'s events\n')
    say('Every event through `bgmGetSongEvents`, 4096 at a time, against the floor engine\'s work '
        '(the file read, then a bare walk of its events), alternating in one process, in the '
        'thread\'s processor time. The first walk of a loaded song works out the order (the tracks '
        'merged, each note\'s end) as far as each call reads and keeps it; a walk again copies '
        'from it. Each event carries its bar and beat, worked out as the walk goes.\n')
    say('| Song | Events | Floor min / median (ms) | First walk min / median (ms) | ÷ floor | '
        'Walk again min / median (ms) | ÷ floor |')
    say('|---|---|---|---|---|---|---|')
    first = again = None
    for name, events, fmin, fmed, amin, amed, bmin, bmed in walks:
        say(f'| {name} | {events} | {fmin * 1e3:.2f} / {fmed * 1e3:.2f} | '
            f'{amin * 1e3:.2f} / {amed * 1e3:.2f} | {amed / fmed:.2f}× | '
            f'{bmin * 1e3:.2f} / {bmed * 1e3:.2f} | {bmed / fmed:.2f}× |')
        if name == 'dense-10MB.mid':
            first, again = amed / fmed, bmed / fmed
    return first, again


def main(path):
    all_loads, ticks, timing, memory, seeks = read(path)
    loads, kept = all_loads['load'], all_loads['load-kept']
    quavr = loads['quavr']
    out = []
    say = out.append
    say('# Benchmark results\n')
    say(f'{datetime.datetime.now():%Y-%m-%d %H:%M}, {os.cpu_count()} CPUs ({cpu_model()}), '
        f'Linux {platform.release()}. Every figure comes from this one run of `bench/run.sh` on '
        'a machine others share: compare the ratios, not absolute times across runs. '
        '`load_bench` runs the C and C++ engines in one process, alternating file by file and '
        'engine by engine in a shuffled order; a figure is the min, median or max of its '
        'repetitions. A load is the time from the file\'s name to a song ready to play; freeing '
        'it is timed apart.\n')

    rows = corpus_rows(loads)
    by_name = {os.path.basename(f): f for f in quavr if '/songs/' in f}
    dense10 = by_name.get('dense-10MB.mid')
    say('## Headline\n')
    say(f'Real songs: the {rows["count"]} packaged ones. Dense 10 MB: 3.3 M events in 17 tracks, '
        'loaded in a process of its own, with malloc as it comes and with malloc keeping what is '
        'freed (as a long-running host\'s heap may). Before every visit of an engine to a file, '
        'malloc gives back what it can and one untimed load settles the heap as the engine\'s own '
        'loads leave it, so no engine inherits another\'s pages.\n')
    say('| Engine | Real songs, MB/s (median) | vs Quavr | Dense 10 MB, malloc as it comes | '
        'vs Quavr | Dense 10 MB, malloc keeping freed memory | vs Quavr |')
    say('|---|---|---|---|---|---|---|')
    for engine in ENGINES:
        r = rows.get(engine)
        real = (rate(r['mb'] / r['t'][1]), versus(r['ratio'])) if r else ('—', '—')
        fresh = dense_cell(loads, engine, dense10)
        warm = dense_cell(kept, engine, dense10)
        say(f'| {LABELS[engine]} | {real[0]} | {real[1]} | {fresh[0]} | {fresh[1]} | {warm[0]} | '
            f'{warm[1]} |')

    say('\n## Load: the real songs\n')
    say('Each engine over the files it and Quavr both load; a time is the sum over those files '
        'of each file\'s min / median / max. "Load + free" compares the sums of both medians.\n')
    say('| Engine | Files | MB | Events | Load min / median / max (s) | MB/s (median) | '
        'Events/s (median) | vs Quavr | Free, median (s) | Load + free vs Quavr |')
    say('|---|---|---|---|---|---|---|---|---|---|')
    for engine in ENGINES:
        r = rows.get(engine)
        if not r:
            continue
        t = r['t']
        say(f'| {LABELS[engine]} | {r["files"]} | {r["mb"]:.2f} | {r["events"]} | '
            f'{t[0]:.4f} / {t[1]:.4f} / {t[2]:.4f} | {rate(r["mb"] / t[1])} | '
            f'{r["events"] / t[1]:.3g} | {versus(r["ratio"])} | '
            f'{"—" if r["free"] is None else "%.4f" % r["free"]} | '
            f'{"—" if r["both"] is None else versus(r["both"])} |')
    refused = {e: n for e, n in rows['refused'].items() if n}
    if refused:
        say('\nRefused: ' + ', '.join(f'{e} {n} files' for e, n in refused.items()) + '.')

    generated_table(say, loads, 'Load: generated songs, malloc as it comes',
                    'Each song in a process of its own.')
    generated_table(say, kept, 'Load: generated songs, malloc keeping freed memory',
                    'As above, with malloc keeping what is freed (no trimming, no maps of its '
                    'own): a load finds its pages there. Blocks an engine maps itself '
                    '(Quavr\'s from 4 MB) still come fresh.')

    generated_table(say, all_loads['load-game'], 'Load: game formats',
                    'Extended MIDI and MUS songs of about 1 MB, their notes as dense as the dense '
                    'SMF\'s, and that SMF, alternating in one process. Events are the song\'s once '
                    'loaded: an Extended MIDI note\'s note-off, made of its duration, counts.')

    say('\n## Pathological loads (Quavr)\n')
    worst = None
    if dense10:
        per_event = quavr[dense10].median / quavr[dense10].events * 1e9
        say(f'Against dense-10MB.mid at {per_event:.1f} ns per event.\n')
        say('| File | Events | ns per event | × dense |')
        say('|---|---|---|---|')
        worst = 0
        for name in ('tempo-100k.mid', 'tracks-65535.mid', 'events-10M.mid'):
            f = by_name.get(name)
            if f and quavr[f].state == 'ok':
                ns = quavr[f].median / quavr[f].events * 1e9
                worst = max(worst, ns / per_event)
                say(f'| {name} | {quavr[f].events} | {ns:.1f} | {ns / per_event:.2f} |')

    say('\n## Tick cost (fake platform, null port)\n')
    say('Each benchmark run seven times, the runs of all interleaved at random; the fastest, in '
        'the thread\'s processor time, counts.\n')
    say('| Benchmark | Tracks | ns |')
    say('|---|---|---|')
    idle = None
    for name, tracks, ns in ticks:
        say(f'| {name} | {tracks} | {ns:.1f} |')
        if name == 'TickWithNothingDue':
            idle = max(idle or 0, ns)
    per_message = [ns / tracks for name, tracks, ns in ticks if name == 'TickPerShortMessage']
    if per_message:
        say(f'\nPer short message sent: {min(per_message):.1f} to {max(per_message):.1f} ns.')
    plain = {tracks: ns for name, tracks, ns in ticks if name == 'TickPerShortMessage'}
    for mixed in ('TickFading', 'TickMuted'):
        rel = [ns / plain[tracks] - 1 for name, tracks, ns in ticks
               if name == mixed and plain.get(tracks)]
        if rel:
            say(f'{mixed} against the plain tick: {min(rel) * 100:+.1f} % to '
                f'{max(rel) * 100:+.1f} % (goal: within 10 %).')

    if seeks:
        say('\n## Seek cost (fake platform, null port)\n')
        say('bgmSeek from the start: the port reset, all sound off, the walk to the target and the '
            'chase sent. controllers-1MB is generated by the benchmark: every event sets state.\n')
        say('| Song | MB | Target | min (ms) | median (ms) |')
        say('|---|---|---|---|---|')
        for name, size, target, low, median in seeks:
            say(f'| {name} | {size / 1e6:.2f} | {target} | {low / 1000:.2f} | {median / 1000:.2f} |')

    render_peer, render_speed, render_wait = render_section(say, read.renders)
    walk_first, walk_again = walk_section(say, read.walks)
    pending, growth, grid_share, switching = following_section(say, ticks, read.grid,
                                                               read.renders['switch'])

    say('\n## Timing accuracy (real time, monitor port)\n')
    say('Lateness of each tick\'s first message against that tick\'s own due time (the timer\'s '
        'start + n × period), in µs, for a song with an event every millisecond. "user" runs '
        'as an ordinary user, without real-time scheduling; "2 busy" has two processes spinning '
        'beside the player. ± is how well the timer\'s start is known.\n')
    say('| Period (ms) | Run as | Beside | Timer thread | Ticks | p50 | p99 | p99.9 | max | '
        '> ½ period | > period | last tick | ± |')
    say('|---|---|---|---|---|---|---|---|---|---|---|---|---|')
    p99_fifo, drift = None, None
    for (period, user, beside, count, p50, p99, p999, late, _, half, whole, last, sched,
         unsure) in timing:
        say(f'| {period} | {user} | {beside} | {sched} | {count} | {float(p50):.0f} | '
            f'{float(p99):.0f} | {float(p999):.0f} | {float(late):.0f} | {half} | {whole} | '
            f'{float(last):.0f} | {float(unsure):.0f} |')
        if period == '1' and sched == 'SCHED_FIFO' and beside == 'idle':
            p99_fifo = float(p99)
            drift = float(last) - float(p50)

    say('\n## Memory\n')
    say('| File | MB | Events | Bytes of blocks per event | Peak RSS (MB) | RSS / file size |')
    say('|---|---|---|---|---|---|')
    bpe = None
    for f, size, events, blocks, per_event, rss in memory:
        if 'dense' in f:
            bpe = float(per_event)
        say(f'| {os.path.basename(f)} | {int(size) / 1e6:.2f} | {events} | {per_event} | '
            f'{int(rss) / 1e6:.0f} | {int(rss) / int(size):.1f} |')

    def fastest_peer(kind, f):
        ratios = [kind[e][f].median / kind['quavr'][f].median for e in PEERS
                  if e != 'mido' and f and f in kind[e] and kind[e][f].state == 'ok' and
                  f in kind['quavr']]
        return min(ratios) if ratios else None

    peers_real = [rows[e]['ratio'] for e in PEERS if e != 'mido' and e in rows]

    game = all_loads['load-game']
    game_files = {os.path.basename(f): f for f in game['quavr']}

    def per_event_vs_smf(name):
        """A game-format song's load time per event ÷ the SMF loader's (dense 1 MB, same run)."""
        song = game['quavr'].get(game_files.get(name))
        smf = game['quavr'].get(game_files.get('dense-1MB.mid'))
        if not song or not smf or song.state != 'ok' or smf.state != 'ok':
            return None
        return (song.median / song.events) / (smf.median / smf.events)
    mbps10 = quavr[dense10].bytes / 1e6 / quavr[dense10].median if dense10 else None
    say('\n## Goals\n')
    say('Quavr against the fastest peer: that peer\'s time ÷ Quavr\'s.\n')
    say('| Goal | Figure | |')
    say('|---|---|---|')
    goals = [
        ('load ≥ 3× faster than the fastest peer, real songs', min(peers_real, default=None),
         lambda v: v >= GOALS['peer'], '{:.2f}×'),
        ('load ≥ 3× faster than the fastest peer, dense 10 MB (malloc as it comes)',
         fastest_peer(loads, dense10), lambda v: v >= GOALS['peer'], '{:.2f}×'),
        ('load ≥ 3× faster than the fastest peer, dense 10 MB (malloc keeping memory)',
         fastest_peer(kept, dense10), lambda v: v >= GOALS['peer'], '{:.2f}×'),
        ('Extended MIDI load within 1.5× of the SMF loader per event, dense 1 MB',
         per_event_vs_smf('dense-1MB.xmi'), lambda v: v <= 1.5, '{:.2f}×'),
        ('MUS load within 1.5× of the SMF loader per event, dense 1 MB',
         per_event_vs_smf('dense-1MB.mus'), lambda v: v <= 1.5, '{:.2f}×'),
        ('Extended MIDI load faster than the fastest peer, dense 1 MB',
         fastest_peer(game, game_files.get('dense-1MB.xmi')), lambda v: v > 1, '{:.2f}×'),
        ('MUS load faster than the fastest peer, dense 1 MB',
         fastest_peer(game, game_files.get('dense-1MB.mus')), lambda v: v > 1, '{:.2f}×'),
        ('load ≥ 25 % of read + walk, real songs', rows.get('read+walk', {}).get('ratio'),
         lambda v: v >= GOALS['walk_share'], '{:.0%}'),
        ('≥ 400 MB/s on the dense 10 MB song', mbps10, lambda v: v >= GOALS['mbps'],
         '{:.0f} MB/s'),
        ('pathological within 3× per event of dense', worst,
         lambda v: v <= GOALS['pathological'], '{:.2f}×'),
        ('seek ≤ 5 ms on the dense 1 MB song', max((m for n, _, _, _, m in seeks
                                                     if n == 'dense-1MB.mid'), default=None),
         lambda v: v / 1000 <= GOALS['seek_ms'], '{:.0f} µs'),
        ('render no slower than FluidSynth\'s player (worst song)', render_peer,
         lambda v: v <= 1.0, '{:.2f}×'),
        ('messages-only render ≥ 1000× real time, dense 10 MB', render_speed,
         lambda v: v >= 1000, '{:.0f}×'),
        ('render waits ≤ 200 µs while another thread seeks (p99.99 over alone)', render_wait,
         lambda v: v <= 200, '{:.0f} µs'),
        ('a song\'s first walk ≤ 2× the floor\'s read + walk, dense 10 MB', walk_first,
         lambda v: v <= 2, '{:.2f}×'),
        ('a song\'s walk again ≤ 2× the floor\'s read + walk, dense 10 MB', walk_again,
         lambda v: v <= 2, '{:.2f}×'),
        ('tick with nothing due ≤ 200 ns', idle, lambda v: v <= GOALS['tick_ns'], '{:.0f} ns'),
        ('tick with an action pending ≤ 10 % over the plain tick (worst)', pending,
         lambda v: v <= 0.10, '{:+.1%}'),
        ('next boundary O(log bars): 10⁶ bars ÷ 100, under √ of the bars\' 10⁴×', growth,
         lambda v: v < 100, '{:.1f}×'),
        ('grid built at load ≤ 5 % of the load, real songs', grid_share, lambda v: v <= 0.05,
         '{:.2%}'),
        ('render with a switch every bar ≤ 5 % over plain (synthesizer, worst song)', switching,
         lambda v: v <= 0.05, '{:+.1%}'),
        ('tick lateness p99 ≤ 150 µs at 1 ms (SCHED_FIFO, idle)', p99_fifo,
         lambda v: v <= GOALS['p99_us'], '{:.0f} µs'),
        ('drift 0 (last tick against the median, 1 ms)', drift, lambda v: abs(v) <= 100,
         '{:+.0f} µs'),
        ('≤ 24 bytes per event', bpe, lambda v: v <= GOALS['bytes_per_event'], '{:.2f}'),
        ('load + free ≥ 10× libsmf, real songs', rows.get('libsmf', {}).get('both'),
         lambda v: v >= GOALS['libsmf'], '{:.0f}×'),
        ('load ≥ 100× mido, real songs', rows.get('mido', {}).get('ratio'),
         lambda v: v >= GOALS['mido'], '{:.0f}×'),
    ]
    for goal, value, ok, fmt in goals:
        say(f'| {goal} | {"—" if value is None else fmt.format(value)} | '
            f'{"—" if value is None else ("met" if ok(value) else "**not met**")} |')
    print('\n'.join(out))


if __name__ == '__main__':
    main(sys.argv[1])
