#!/usr/bin/env python3
"""The launcher's unpacking under Wine against the floor of writing the same files.

    wine_unpack.py LOADER WORK_DIR RUNS ARCHIVE SUITE=ZIP_UNPACK_EXE...

The files are written below WINE_UNPACK_OUT (default: /dev/shm where it
exists, else WORK_DIR). On this machine's virtual disk the same run varied
from 0.06 to 0.49 s with the kernel's writing back of earlier runs; in
memory it holds within a few per cent, so the ratios measure the programs.

For every build given (x86, x64), RUNS rounds of paired runs: in each round
every road of zip-unpack.exe runs once, the order rotated by one from the
round before, each into a fresh folder (removed outside the timing, and the
disk synced before each run). Roads:
the launcher's routine from memory (as it unpacks its resource) and from a
file, the zlib stream road, and the floor (files inflated into memory first,
then only created, written in one WriteFile, dated and closed), each with
one thread and with the launcher's default. Reported per build: medians, and
the median of each round's ratio to the floor with the same thread count.
"""
import os
import shutil
import statistics
import subprocess
import sys

LOADER, WORK, RUNS, ARCHIVE = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
BUILDS = [arg.split('=', 1) for arg in sys.argv[5:]]
ROADS = [(road, threads) for road in ('memory', 'file', 'stream', 'floor') for threads in (1, 0)]


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


OUT = os.environ.get('WINE_UNPACK_OUT') or ('/dev/shm' if os.path.isdir('/dev/shm') else WORK)


def run_once(program, road, threads):
    out = os.path.join(OUT, f'wine-unpack-{os.getpid()}')
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    # The last run's files are written back first, so that no run pays for another's.
    os.sync()
    done = subprocess.run([LOADER, program, road, windows_path(ARCHIVE), windows_path(out), str(threads)],
                          capture_output=True, text=True)
    shutil.rmtree(out, ignore_errors=True)
    words = [line.split() for line in done.stdout.splitlines() if line.startswith('zip-unpack: ')]
    if done.returncode != 0 or len(words) != 1:
        sys.exit(f'wine unpack: {road} {threads} failed ({done.returncode}): {done.stdout}{done.stderr}')
    return float(words[0][3])


def label(road, threads):
    return f'{road} {"1 thread" if threads == 1 else "default threads"}'


for suite, program in BUILDS:
    times = {key: [] for key in ROADS}
    for round_number in range(RUNS):
        shift = round_number % len(ROADS)
        for road, threads in ROADS[shift:] + ROADS[:shift]:
            times[(road, threads)].append(run_once(program, road, threads))
    print(f'wine unpack: {suite} build, {RUNS} rounds, {os.path.basename(ARCHIVE)} '
          f'({os.path.getsize(ARCHIVE) / 1e6:.0f} MB), written below {OUT}')
    for road, threads in ROADS:
        floor = times[('floor', threads)]
        ratios = [value / base for value, base in zip(times[(road, threads)], floor)]
        ratio = '' if road == 'floor' else f', {statistics.median(ratios):.2f} times the floor'
        print(f'wine unpack: {suite} {label(road, threads)}: median {statistics.median(times[(road, threads)]):.3f} s'
              f'{ratio}', flush=True)
