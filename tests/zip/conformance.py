#!/usr/bin/env python3
"""zip-extract against archives made here and now by real zip tools, and
against malformed archives made from them.

    conformance.py ZIP_EXTRACT WORK_DIR

Well-formed archives must extract byte-identically to the source files (and
to what unzip makes of them, for names unzip does not mangle). Every
malformed archive must end with its defined outcome: the exit status, the
codes named on stderr, the files written, and nothing outside the target
folder; no crash and no hang.
"""
import os
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools', 'zip-pieces'))
import zip_pieces  # noqa: E402

TOOL, WORK = sys.argv[1], sys.argv[2]
failures = []


def run(cmd, cwd=None, stdout=None, timeout=60, env=None):
    return subprocess.run(cmd, cwd=cwd, stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, env=env)


def files_below(folder):
    """{relative path: bytes} of every file below folder."""
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            found[os.path.relpath(path, folder)] = open(path, 'rb').read()
    return found


def check(case, condition, message):
    if not condition:
        failures.append(f'{case}: {message}')
        print(f'FAIL {case}: {message}')


def make_source(folder):
    os.makedirs(os.path.join(folder, 'dir with space', 'a', 'b', 'c', 'd', 'e', 'f'))
    os.makedirs(os.path.join(folder, 'empty folder'))
    with open(os.path.join(folder, 'text.txt'), 'w') as f:
        f.write('hello, archive\n' * 5000)
    open(os.path.join(folder, 'empty.txt'), 'w').close()
    with open(os.path.join(folder, 'random.bin'), 'wb') as f:
        f.write(os.urandom(1 << 20))
    with open(os.path.join(folder, 'dir with space', 'a', 'b', 'c', 'd', 'e', 'f', 'deep file.txt'), 'w') as f:
        f.write('deep\n')
    with open(os.path.join(folder, 'caf\u00e9 na\u00efve.txt'), 'w', encoding='utf-8') as f:
        f.write('utf-8 name\n')


def extract(archive, target):
    shutil.rmtree(target, ignore_errors=True)
    try:
        result = run([TOOL, archive, target], timeout=60)
    except subprocess.TimeoutExpired:
        return None, 'time-out'
    return result.returncode, result.stderr.decode('utf-8', 'replace')


def conformance_cases(source):
    archives = os.path.join(WORK, 'archives')
    os.makedirs(archives)

    def info_zip(name, *options, pipe=False, comment=None):
        out = os.path.join(archives, name)
        if pipe:
            with open(out, 'wb') as f:
                subprocess.run(['zip', '-q', '-r', *options, '-', '.'], cwd=source, stdout=f, check=True)
        else:
            subprocess.run(['zip', '-q', '-r', *options, out, '.'], cwd=source, check=True,
                           input=comment.encode() if comment else None)
        return out

    cases = [
        ('info-zip stored', info_zip('stored.zip', '-0')),
        ('info-zip deflated', info_zip('deflated.zip', '-9')),
        ('info-zip with comment', info_zip('comment.zip', '-z', comment='a comment\n.\n')),
        ('info-zip to a pipe', info_zip('pipe.zip', pipe=True)),
    ]
    out = os.path.join(archives, 'jar.zip')
    subprocess.run(['jar', 'cfM', out, '.'], cwd=source, check=True)
    cases.append(('jar', out))
    out = os.path.join(archives, 'bsdtar.zip')
    subprocess.run(['bsdtar', '--format=zip', '-cf', out, '.'], cwd=source, check=True)
    cases.append(('bsdtar', out))
    out = os.path.join(archives, '7z.zip')
    subprocess.run(['7z', 'a', '-tzip', out, '.'], cwd=source, check=True, stdout=subprocess.DEVNULL)
    cases.append(('7z', out))
    for method, label in ((zipfile.ZIP_STORED, 'stored'), (zipfile.ZIP_DEFLATED, 'deflated')):
        out = os.path.join(archives, f'python-{label}.zip')
        with zipfile.ZipFile(out, 'w', method) as z:
            for root, dirs, names in os.walk(source):
                for name in dirs + names:
                    path = os.path.join(root, name)
                    z.write(path, os.path.relpath(path, source))
        cases.append((f'python zipfile {label}', out))
    # Large entries in independent pieces, as the media carry a runtime.
    out = os.path.join(archives, 'pieces.zip')
    zip_pieces.write_pieced(os.path.join(archives, 'deflated.zip'), out, 65536)
    cases.append(('pieces', out))
    # Data in front of the archive, offsets not adjusted: the prefix length finds it.
    out = os.path.join(archives, 'prefixed.zip')
    with open(out, 'wb') as f:
        f.write(b'MZ' + b'\x90' * 7000 + open(os.path.join(archives, 'deflated.zip'), 'rb').read())
    cases.append(('data in front', out))
    return cases


def run_conformance():
    source = os.path.join(WORK, 'source')
    make_source(source)
    expected = files_below(source)
    for case, archive in conformance_cases(source):
        target = os.path.join(WORK, 'out', case.replace(' ', '-'))
        status, errors = extract(archive, target)
        check(case, status == 0, f'exit status {status}: {errors.strip()}')
        got = files_below(target) if os.path.isdir(target) else {}
        check(case, sorted(got) == sorted(expected), f'files {sorted(set(got) ^ set(expected))} differ')
        for name, data in expected.items():
            if name in got:
                check(case, got[name] == data, f'{name} differs')
        reference = os.path.join(WORK, 'unzip', case.replace(' ', '-'))
        run(['unzip', '-q', '-o', archive, '-d', reference])
        for name, data in files_below(reference).items():
            if name.isascii():
                check(case, got.get(name) == data, f'{name} differs from unzip')
        print(f'ok   {case}')


def run_other_readers():
    """Every tool reads an archive in pieces as it reads the archive it was made from."""
    archives = os.path.join(WORK, 'archives')
    readers = {
        'bsdtar': lambda archive, target: run(['bsdtar', '-xf', archive, '-C', target]),
        '7z': lambda archive, target: run(['7z', 'x', '-y', '-o' + target, archive], stdout=subprocess.DEVNULL),
        'python zipfile': lambda archive, target: zipfile.ZipFile(archive).extractall(target),
        'unzip': lambda archive, target: run(['unzip', '-q', archive, '-d', target]),
    }
    for reader, read in readers.items():
        case = f'pieces read by {reader}'
        trees = []
        for name in ('deflated.zip', 'pieces.zip'):
            target = os.path.join(WORK, 'readers', reader.replace(' ', '-'), name)
            os.makedirs(target)
            read(os.path.join(archives, name), target)
            trees.append(files_below(target))
        check(case, len(trees[1]) > 3 and trees[0] == trees[1], 'files or bytes differ from the unpieced archive')
        print(f'ok   {case}' if not any(f.startswith(case + ':') for f in failures) else f'     {case}')


def small_archive(entries=(('a.txt', b'alpha ' * 100), ('b.txt', b'beta ' * 100)), method=zipfile.ZIP_DEFLATED):
    path = os.path.join(WORK, 'small.zip')
    with zipfile.ZipFile(path, 'w', method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2009, 6, 15, 12, 30, 20))
            info.compress_type = method
            z.writestr(info, data)
    return bytearray(open(path, 'rb').read())


def central_offsets(data):
    end = data.rfind(b'PK\x05\x06')
    count, size, offset = struct.unpack_from('<HII', data, end + 10)
    positions, p = [], offset
    for _ in range(count):
        positions.append(p)
        n, e, c = struct.unpack_from('<HHH', data, p + 28)
        p += 46 + n + e + c
    return end, positions


def patched(data, changes):
    data = bytearray(data)
    for offset, fmt, value in changes:
        struct.pack_into(fmt, data, offset, value)
    return data


def malformed_cases():
    base = small_archive()
    end, (first, second) = central_offsets(base)
    local_second = struct.unpack_from('<I', base, second + 42)[0]
    cases = []
    refused = 'archive.zip: ZipBadArchive'   # at opening: the message names the archive, not an entry
    cases.append(('truncated central directory', base[:second + 20] + base[end:], 1, ['ZipBadArchive'], set()))
    cases.append(('counts disagree', patched(base, [(end + 8, '<H', 3)]), 1, ['ZipBadArchive'], None))
    cases.append(('more entries than the directory holds', patched(base, [(end + 8, '<H', 3), (end + 10, '<H', 3)]),
                  1, [refused], set()))
    size = struct.unpack_from('<I', base, end + 12)[0]
    four = small_archive(tuple((f'{n}.txt', n.encode() * 100) for n in 'abcd'))
    end_four = central_offsets(four)[0]
    cases.append(('count lowered by two', patched(four, [(end_four + 8, '<H', 2), (end_four + 10, '<H', 2)]), 1, [refused], set()))
    cases.append(('directory size beyond its entries', base[:end] + b'stray' + patched(base, [(end + 12, '<I', size + 5)])[end:],
                  1, [refused], set()))
    cases.append(('directory size short of its entries', patched(base, [(end + 12, '<I', size - 1)]), 1, [refused], set()))
    cases.append(('directory offset beyond the end', patched(base, [(end + 16, '<I', 0x7FFFFFF0)]), 1, ['ZipBadArchive'], None))
    cases.append(('local offset beyond the end', patched(base, [(second + 42, '<I', 0x7FFFFFF0)]), 1, ['ZipInconsistent'], {'a.txt'}))
    cases.append(('overlapping entries', patched(base, [(second + 42, '<I', 0), (second + 16, '<I', struct.unpack_from('<I', base, first + 16)[0]),
                                                         (second + 20, '<Q', struct.unpack_from('<Q', base, first + 20)[0])]),
                  0, [], {'a.txt', 'b.txt'}))
    cases.append(('uncompressed size lie', patched(base, [(second + 24, '<I', 1000000), (local_second + 22, '<I', 1000000)]),
                  1, ['ZipWriteFailed'], {'a.txt', 'b.txt'}))
    cases.append(('CRC lie', patched(base, [(second + 16, '<I', 1), (local_second + 14, '<I', 1)]), 1, ['ZipCrcMismatch'], {'a.txt', 'b.txt'}))
    encrypted = os.path.join(WORK, 'encrypted-source.txt')
    open(encrypted, 'w').write('secret\n')
    encrypted_zip = os.path.join(WORK, 'encrypted.zip')
    subprocess.run(['zip', '-q', '-j', '-P', 'password', encrypted_zip, encrypted], check=True)
    cases.append(('encrypted entry', open(encrypted_zip, 'rb').read(), 1, ['ZipUnsupported'], set()))
    for method, label in ((zipfile.ZIP_BZIP2, 'bzip2'), (zipfile.ZIP_LZMA, 'lzma')):
        cases.append((f'method {label}', small_archive(method=method), 1, ['ZipInconsistent'], set()))
    zip64 = os.path.join(WORK, 'zip64.zip')
    subprocess.run(['zip', '-q', '-j', '-fz', zip64, encrypted], check=True)
    cases.append(('Zip64 records', open(zip64, 'rb').read(), 1, ['ZipUnsupported'], None))
    big = os.path.join(WORK, 'zip64-entry.zip')
    with zipfile.ZipFile(big, 'w') as z:
        with z.open('forced.txt', 'w', force_zip64=True) as f:
            f.write(b'forced zip64\n')
    cases.append(('Zip64 entry', open(big, 'rb').read(), 1, ['ZipUnsupported'], None))
    for name, label in ((b'../escape.txt', 'parent step'), (b'a/../../escape.txt', 'nested parent step'),
                        (b'/tmp/escape.txt', 'absolute name'), (b'\\escape.txt', 'backslash root'),
                        (b'C:escape.txt', 'drive'), (b'..\\escape.txt', 'backslash parent step'),
                        (b'x\x00/../../n.txt', 'NUL in the name'), (b'', 'empty name')):
        entries = (('a.txt', b'alpha'), ('PLACEHOLDER', b'evil'), ('b.txt', b'beta'))
        data = small_archive(entries)
        data = bytes(data).replace(b'PLACEHOLDER', name.ljust(11, b'_') if name and len(name) <= 11 else b'PLACEHOLDER')
        if not name or len(name) > 11:
            data = rename_entry(small_archive(entries), 1, name)
        cases.append((f'name: {label}', data, 1, ['ZipUnsafeName'], {'a.txt', 'b.txt'}))
    return cases


def rename_entry(data, index, name):
    """The archive with entry `index` renamed in both headers (any length)."""
    with zipfile.ZipFile(__import__('io').BytesIO(bytes(data))) as z:
        infos = z.infolist()
        contents = [z.read(i) for i in infos]
    out = bytearray()
    central = bytearray()
    for i, (info, content) in enumerate(zip(infos, contents)):
        raw = name if i == index else info.filename.encode()
        packed = zlib.compress(content)[2:-4]
        crc = zlib.crc32(content)
        offset = len(out)
        out += struct.pack('<IHHHIIIIHH', 0x04034b50, 20, 0, 8, 0x3ACF6000 | 0x9A00, crc, len(packed), len(content), len(raw), 0)
        out += raw + packed
        central += struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0x3ACF6000 | 0x9A00, crc, len(packed),
                               len(content), len(raw), 0, 0, 0, 0, 0x20, offset)
        central += raw
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(infos), len(infos), len(central), len(out), 0)
    return bytes(out + central + end)


def run_malformed():
    for case, data, status_expected, codes, files in malformed_cases():
        folder = os.path.join(WORK, 'malformed', case.replace(' ', '-').replace(':', ''))
        target = os.path.join(folder, 'inside', 'out')
        os.makedirs(os.path.dirname(target))
        archive = os.path.join(folder, 'archive.zip')
        open(archive, 'wb').write(data)
        status, errors = extract(archive, target)
        check(case, status is not None, 'hung')
        check(case, status is not None and status >= 0, f'crashed with signal {status}')
        check(case, status == status_expected, f'exit status {status}, expected {status_expected}: {errors.strip()}')
        for code in codes:
            check(case, code in errors, f'{code} not reported: {errors.strip()}')
        check(case, sorted(os.listdir(folder)) == ['archive.zip', 'inside'], f'wrote beside the target: {os.listdir(folder)}')
        check(case, os.listdir(os.path.dirname(target)) in ([], ['out']), 'wrote outside the target')
        check(case, not os.path.exists('/tmp/escape.txt'), 'wrote /tmp/escape.txt')
        if files is not None:
            got = set(files_below(target)) if os.path.isdir(target) else set()
            check(case, got == files, f'files {sorted(got)}, expected {sorted(files)}')
        print(f'ok   {case}' if not any(f.startswith(case + ':') for f in failures) else f'     {case}')


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    run_conformance()
    run_other_readers()
    run_malformed()
    if failures:
        print(f'{len(failures)} failure(s)')
        return 1
    print('all archives ended as expected')
    return 0


if __name__ == '__main__':
    sys.exit(main())
