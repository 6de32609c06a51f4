#!/usr/bin/env python3
"""Extraction speed and memory of zip-extract against unzip, bsdtar and 7z.

    run_bench.py BUILD_NATIVE WORK_DIR [RUNS]

Archives are made once from the JDK folder of this machine (kept in WORK_DIR):
  jdk-bin-lib.zip   bin and lib without lib/ct.sym and lib/src.zip
  jdk-all.zip       the same plus conf, legal and release
  jdk-x10.zip       ten copies of the first one's content (memory only)
Every run extracts into a fresh folder (removed outside the timing), warm
cache, tools in rotating order within each round of paired runs; zip-extract
runs with -j 1, -j 2 and its default thread count. Reported: the machine's
core count and load, median wall, user and system time per tool; the median
of the per-round wall ratios; zip-extract's user time at -j 1 against a
zlib-only pass (inflate and CRC, 16 KiB buffers); peak resident memory on the
62 MB and the ten-times archive; with perf, where -j 1 spends its time.
"""
import glob
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

BUILD, WORK = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 10
EXCLUDES = ['-x', 'lib/ct.sym', 'lib/src.zip']


def jdk_home():
    for candidate in ['/usr/lib/jvm/default-java'] + sorted(glob.glob('/usr/lib/jvm/java-*-openjdk-*')):
        if os.path.isdir(os.path.join(candidate, 'lib')) and os.path.isdir(os.path.join(candidate, 'bin')):
            return os.path.realpath(candidate)
    sys.exit('no JDK under /usr/lib/jvm')


def make_archives():
    os.makedirs(WORK, exist_ok=True)
    home = jdk_home()
    archives = {
        'jdk-bin-lib.zip': (home, ['bin', 'lib'] + EXCLUDES),
        'jdk-all.zip': (home, ['bin', 'lib', 'conf', 'legal', 'release'] + EXCLUDES),
    }
    for name, (cwd, args) in archives.items():
        path = os.path.join(WORK, name)
        if not os.path.exists(path):
            print(f'bench: making {name} from {home}', flush=True)
            subprocess.run(['zip', '-q', '-r', path + '.part'] + args, cwd=cwd, check=True)
            os.rename(path + '.part', path)
    big = os.path.join(WORK, 'jdk-x10.zip')
    if not os.path.exists(big):
        print('bench: making jdk-x10.zip (ten copies)', flush=True)
        stage = os.path.join(WORK, 'x10-stage')
        shutil.rmtree(stage, ignore_errors=True)
        for n in range(10):
            os.makedirs(os.path.join(stage, f'copy{n}'))
            for part in ('bin', 'lib'):
                os.symlink(os.path.join(home, part), os.path.join(stage, f'copy{n}', part))
        subprocess.run(['zip', '-q', '-r', big + '.part', '.', '-x', '*/lib/ct.sym', '*/lib/src.zip'],
                       cwd=stage, check=True)
        os.rename(big + '.part', big)
        shutil.rmtree(stage)
    return [os.path.join(WORK, 'jdk-bin-lib.zip'), os.path.join(WORK, 'jdk-all.zip')], big


def tools(archive, out):
    tool = os.path.join(BUILD, 'zip-extract')
    return {
        'zip-extract': [tool, archive, out],
        'zip-extract-j1': [tool, '-j', '1', archive, out],
        'zip-extract-j2': [tool, '-j', '2', archive, out],
        'zlib-stream': [tool, '-s', archive, out],
        'zlib-stream-j1': [tool, '-s', '-j', '1', archive, out],
        'unzip': ['unzip', '-q', '-o', archive, '-d', out],
        'bsdtar': ['bsdtar', '-xf', archive, '-C', out],
        '7z': ['7z', 'x', '-y', '-bd', f'-o{out}', archive],
    }


def timed(command, out=None):
    """(wall, user, system, max RSS KiB) of one run into a fresh folder."""
    if out:
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
    result = subprocess.run(['/usr/bin/time', '-f', '%e %U %S %M'] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=True)
    wall, user, system, rss = result.stderr.decode().strip().splitlines()[-1].split()
    return float(wall), float(user), float(system), int(rss)


def bench_archive(archive):
    out = os.path.join(WORK, 'out')
    names = list(tools(archive, out))
    for name in names:                       # warm the cache, check every tool works
        timed(tools(archive, out)[name], out)
    samples = {name: [] for name in names}
    for round_number in range(RUNS):
        order = names[round_number % len(names):] + names[:round_number % len(names)]
        for name in order:
            samples[name].append(timed(tools(archive, out)[name], out))
    reference = [timed([os.path.join(BUILD, 'zlib-pass'), archive]) for _ in range(RUNS)]
    shutil.rmtree(out, ignore_errors=True)

    size_mb = os.path.getsize(archive) / 1e6
    with zipfile.ZipFile(archive) as z:
        entries = len(z.infolist())
    lines = [f'{os.path.basename(archive)}: {size_mb:.1f} MB, {entries} entries, {RUNS} paired runs, medians']
    lines.append(f'  {"tool":14} {"wall s":>7} {"user s":>7} {"sys s":>7} {"wall/unzip":>11} {"peak RSS":>9}')
    for name in names:
        wall = statistics.median(s[0] for s in samples[name])
        user = statistics.median(s[1] for s in samples[name])
        system = statistics.median(s[2] for s in samples[name])
        ratio = statistics.median(a[0] / b[0] for a, b in zip(samples[name], samples['unzip']))
        rss = int(statistics.median(s[3] for s in samples[name]))
        lines.append(f'  {name:14} {wall:7.3f} {user:7.3f} {system:7.3f} {ratio:10.2f}x {rss:7d} KiB')
    ref_user = statistics.median(s[1] for s in reference)
    ref_wall = statistics.median(s[0] for s in reference)
    ratio_unzip = statistics.median(r[0] / u[0] for r, u in zip(reference, samples['unzip']))
    lines.append(f'  {"zlib-pass":14} {ref_wall:7.3f} {ref_user:7.3f} {"":7} {ratio_unzip:10.2f}x   (inflate and CRC only)')
    for name in ('zip-extract', 'zip-extract-j1', 'zip-extract-j2', 'zlib-stream'):
        vs_bsdtar = statistics.median(a[0] / b[0] for a, b in zip(samples[name], samples['bsdtar']))
        lines.append(f'  {name} wall / bsdtar wall (median of paired ratios): {vs_bsdtar:.2f}'
                     + ('  (target <= 0.50)' if name == 'zip-extract' else ''))
    for name in ('zip-extract-j1', 'zip-extract'):
        user_ratio = statistics.median(s[1] for s in samples[name]) / ref_user if ref_user else float('nan')
        lines.append(f'  {name} user / zlib-pass user: {user_ratio:.2f}'
                     + ('  (target <= 0.70)' if name == 'zip-extract-j1' else ''))
    for name in ('zlib-stream-j1', 'zlib-stream'):
        user_ratio = statistics.median(s[1] for s in samples[name]) / ref_user if ref_user else float('nan')
        lines.append(f'  {name} (zip-extract -s, before libdeflate) user / zlib-pass user: {user_ratio:.2f}')
    return lines


def profile(archive):
    """Where zip-extract -j 1 spends its CPU time, from perf's samples."""
    if not shutil.which('perf'):
        return ['profile: perf not installed']
    out = os.path.join(WORK, 'out')
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    data = os.path.join(WORK, 'perf.data')
    recorded = subprocess.run(['perf', 'record', '-q', '-o', data, '--'] + tools(archive, out)['zip-extract-j1'],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(out, ignore_errors=True)
    if recorded.returncode != 0:
        return ['profile: perf record failed (perf_event_paranoid?)']
    report = subprocess.run(['perf', 'report', '-i', data, '--stdio', '--no-children', '--sort', 'dso,symbol'],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    os.remove(data)
    groups = {'inflate': 0.0, 'CRC-32': 0.0, 'kernel (writes, page faults, reads)': 0.0, 'the reader and the rest': 0.0}
    for line in report.splitlines():
        fields = line.split()
        if len(fields) < 4 or not fields[0].endswith('%'):
            continue
        share = float(fields[0][:-1])
        if 'kernel' in fields[1]:
            groups['kernel (writes, page faults, reads)'] += share
        elif 'crc32' in fields[3]:
            groups['CRC-32'] += share
        elif fields[1].startswith('libz') or fields[1].startswith('libdeflate'):
            groups['inflate'] += share
        else:
            groups['the reader and the rest'] += share
    return [f'profile of zip-extract -j 1 on {os.path.basename(archive)} (perf samples): '
            + ', '.join(f'{name} {share:.1f} %' for name, share in groups.items())]


def peak_private_kib(command, out):
    """The most private memory (anonymous resident pages, not mapped file
    pages) the command held, sampled every 5 ms from /proc."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    peak = 0
    while process.poll() is None:
        try:
            with open(f'/proc/{process.pid}/status') as status:
                for line in status:
                    if line.startswith('RssAnon:'):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.005)
    return peak


def bench_memory(small, big):
    out = os.path.join(WORK, 'out')
    lines = []
    peaks = {}
    for name in ('zip-extract-j1', 'zip-extract', 'zlib-stream-j1', 'zlib-stream'):
        peaks[name] = [statistics.median_low(peak_private_kib(tools(archive, out)[name], out) for _ in range(3))
                       for archive in (small, big)]
        lines.append(f'memory: {name} peak private {peaks[name][0]} KiB on {os.path.basename(small)} '
                     f'({os.path.getsize(small) / 1e6:.0f} MB), {peaks[name][1]} KiB on {os.path.basename(big)} '
                     f'({os.path.getsize(big) / 1e6:.0f} MB): ratio {peaks[name][1] / peaks[name][0]:.2f}  (flat: <= 1.10)')
    for new, old in (('zip-extract-j1', 'zlib-stream-j1'), ('zip-extract', 'zlib-stream')):
        lines.append(f'memory: {new} against {old} (libdeflate against the zlib stream), peak private on '
                     f'{os.path.basename(small)}: {peaks[new][0] / peaks[old][0]:.2f}  (target <= 1.20)')
    shutil.rmtree(out, ignore_errors=True)
    return lines


def main():
    archives, big = make_archives()
    report = [f'machine: {os.cpu_count()} logical processors, load average at start {os.getloadavg()[0]:.2f} '
              f'(shared with other work)']
    print(report[0], flush=True)
    for archive in archives + [big]:
        lines = bench_archive(archive)
        print('\n'.join(lines), flush=True)
        report += lines
    lines = bench_memory(archives[0], big) + profile(archives[0])
    lines.append(f'load average at the end {os.getloadavg()[0]:.2f}')
    print('\n'.join(lines))
    report += lines
    with open(os.path.join(WORK, 'results.txt'), 'w') as f:
        f.write('\n'.join(report) + '\n')


if __name__ == '__main__':
    main()
