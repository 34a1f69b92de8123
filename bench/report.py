#!/usr/bin/env python3
"""Turns bench/run.sh's raw measurements into the results table (Markdown, on stdout)."""
import datetime
import os
import platform
import sys
from collections import defaultdict

GOALS = {'libsmf': 10, 'mido': 100, 'mbps': 400, 'pathological': 3, 'tick_ns': 200,
         'p99_us': 150, 'bytes_per_event': 24}


def cpu_model():
    for line in open('/proc/cpuinfo'):
        if line.startswith('model name'):
            return line.split(':', 1)[1].strip()
    return platform.processor() or 'unknown'


def read(path):
    loads = defaultdict(dict)  # engine -> file -> (bytes, events, min, median, max)
    ticks, timing, memory = [], [], []
    for line in open(path):
        f = line.rstrip('\n').split('\t')
        if f[0] in ('quavr', 'libsmf', 'mido'):
            if f[3] != '-' and int(f[3]) > 0:
                loads[f[0]][f[1]] = (int(f[2]), int(f[3]), float(f[4]), float(f[5]), float(f[6]))
        elif f[0] == 'tick':
            ticks.append((f[1], int(f[2]), float(f[3])))
        elif f[0] == 'timing':
            timing.append(f[1:])
        elif f[0] == 'memory':
            memory.append(f[1:])
    return loads, ticks, timing, memory


def verdict(ok):
    return 'met' if ok else '**not met**'


def main(path):
    loads, ticks, timing, memory = read(path)
    quavr = loads['quavr']
    out = []
    say = out.append
    say('# Benchmark results\n')
    say(f'{datetime.datetime.now():%Y-%m-%d %H:%M}, {os.cpu_count()} CPUs ({cpu_model()}), '
        f'Linux {platform.release()}. Every figure below comes from one run of `bench/run.sh` on '
        'this machine; compare the ratios, not absolute times across runs.\n')

    real = [f for f in quavr if '/corpus/' in f]
    say('## Load: the real corpus\n')
    say('Read the file, parse, expand, time every event. Each engine over the files it and Quavr '
        'both load; time is the sum over the files of each file\'s min / median / max.\n')
    say('| Engine | Files | MB | Events | Time min / median / max (s) | MB/s (median) | '
        'Events/s (median) | Quavr is faster by |')
    say('|---|---|---|---|---|---|---|---|')
    ratios = {}
    for engine in ('quavr', 'libsmf', 'mido'):
        common = [f for f in real if f in loads[engine]]
        if not common:
            continue
        mb = sum(quavr[f][0] for f in common) / 1e6
        events = sum(quavr[f][1] for f in common)
        t = [sum(loads[engine][f][i] for f in common) for i in (2, 3, 4)]
        q = sum(quavr[f][3] for f in common)
        ratio = t[1] / q
        if engine != 'quavr':
            ratios[engine] = ratio
        say(f'| {engine} | {len(common)} | {mb:.2f} | {events} | {t[0]:.4f} / {t[1]:.4f} / {t[2]:.4f} '
            f'| {mb / t[1]:.1f} | {events / t[1]:.3g} | {"—" if engine == "quavr" else f"{ratio:.0f}×"} |')

    say('\n## Load: generated songs\n')
    say('| File | MB | Events | Quavr median (s) | Quavr MB/s min / median / max | Quavr events/s | '
        'libsmf median (s) | mido median (s) |')
    say('|---|---|---|---|---|---|---|---|')
    generated = sorted((f for f in quavr if '/songs/' in f), key=lambda f: quavr[f][0])
    best_large = 0
    for f in generated:
        size, events, lo, med, hi = quavr[f]
        name = os.path.basename(f)
        smf = loads['libsmf'].get(f)
        mido = loads['mido'].get(f)
        if name.startswith('dense') and size >= 10e6:
            best_large = max(best_large, size / 1e6 / med)
        say(f'| {name} | {size / 1e6:.1f} | {events} | {med:.4f} | {size / 1e6 / hi:.0f} / '
            f'{size / 1e6 / med:.0f} / {size / 1e6 / lo:.0f} | {events / med:.3g} | '
            f'{f"{smf[3]:.3f}" if smf else "not run (quadratic: minutes)"} | '
            f'{f"{mido[3]:.3f}" if mido else "not run"} |')

    say('\n## Pathological loads\n')
    normal = next((f for f in generated if os.path.basename(f) == 'dense-10MB.mid'), None)
    worst = 0
    if normal:
        per_event = quavr[normal][3] / quavr[normal][1] * 1e9
        say(f'Against dense-10MB.mid at {per_event:.1f} ns per event.\n')
        say('| File | Events | ns per event | × normal |')
        say('|---|---|---|---|')
        for name in ('tempo-100k.mid', 'tracks-65535.mid', 'events-10M.mid'):
            f = next((g for g in generated if os.path.basename(g) == name), None)
            if f:
                ns = quavr[f][3] / quavr[f][1] * 1e9
                worst = max(worst, ns / per_event)
                say(f'| {name} | {quavr[f][1]} | {ns:.1f} | {ns / per_event:.2f} |')

    say('\n## Tick cost (fake platform, null port)\n')
    say('| Benchmark | Tracks | ns |')
    say('|---|---|---|')
    idle = 0
    for name, tracks, ns in ticks:
        say(f'| {name} | {tracks} | {ns:.1f} |')
        if name == 'TickWithNothingDue':
            idle = max(idle, ns)
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

    say('\n## Timing accuracy (real time, monitor port)\n')
    say('Lateness of each tick\'s first message against its ideal time (play + n × period); the '
        'monitor\'s open is known to within ± half its duration.\n')
    say('| Period (ms) | Ticks | p50 (µs) | p99 (µs) | max (µs) | last tick (µs) | Timer thread | '
        'open ± (µs) |')
    say('|---|---|---|---|---|---|---|---|')
    p99_1ms, drift = None, None
    for period, count, p50, p99, worst_late, last, sched, open_us in timing:
        say(f'| {period} | {count} | {p50} | {p99} | {worst_late} | {last} | {sched} | '
            f'{float(open_us) / 2:.0f} |')
        if period == '1':
            p99_1ms = float(p99)
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

    say('\n## Goals\n')
    say('| Goal | Figure | |')
    say('|---|---|---|')
    rows = [
        ('load ≥ 10× libsmf (real corpus)', ratios.get('libsmf'), lambda v: v >= GOALS['libsmf'], '{:.0f}×'),
        ('load ≥ 100× mido (real corpus)', ratios.get('mido'), lambda v: v >= GOALS['mido'], '{:.0f}×'),
        ('≥ 400 MB/s on large generated files', best_large, lambda v: v >= GOALS['mbps'], '{:.0f} MB/s'),
        ('pathological within 3× per event', worst, lambda v: v <= GOALS['pathological'], '{:.2f}×'),
        ('tick with nothing due ≤ 200 ns', idle, lambda v: v <= GOALS['tick_ns'], '{:.0f} ns'),
        ('tick lateness p99 ≤ 150 µs at 1 ms', p99_1ms, lambda v: v <= GOALS['p99_us'], '{:.0f} µs'),
        ('drift 0 (last tick against the median)', drift, lambda v: abs(v) <= 100, '{:+.0f} µs'),
        ('≤ 24 bytes per event', bpe, lambda v: v <= GOALS['bytes_per_event'], '{:.2f}'),
    ]
    for goal, value, ok, fmt in rows:
        say(f'| {goal} | {"—" if value is None else fmt.format(value)} | '
            f'{"—" if value is None else verdict(ok(value))} |')
    print('\n'.join(out))


if __name__ == '__main__':
    main(sys.argv[1])
