#!/usr/bin/env python3
"""zip-extract with several threads against zip-extract with one, on the same
archives: every row's two output trees (names, bytes, modes, times), exit
statuses and messages must be identical, and each row's own outcome holds.

    parallel_unpack.py ZIP_EXTRACT WORK_DIR
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import zipfile

TOOL, WORK = sys.argv[1], sys.argv[2]
failures = []
DATE = (2009, 6, 15, 12, 30, 20)


def archive(entries, method=zipfile.ZIP_DEFLATED):
    """Bytes of an archive of (name, data) pairs; data None makes a folder entry."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w') as z:
        for n, (name, data) in enumerate(entries):
            info = zipfile.ZipInfo(name, DATE)
            info.external_attr = 0x10 if data is None else 0x20
            info.compress_type = method(n) if callable(method) else method
            z.writestr(info, b'' if data is None else data)
    return bytearray(buffer.getvalue())


def headers(data):
    """(central header offsets, local header offsets) in directory order."""
    end = data.rfind(b'PK\x05\x06')
    count, _, offset = struct.unpack_from('<HII', data, end + 10)
    central, local, p = [], [], offset
    for _ in range(count):
        central.append(p)
        local.append(struct.unpack_from('<I', data, p + 42)[0])
        n, e, c = struct.unpack_from('<HHH', data, p + 28)
        p += 46 + n + e + c
    return central, local


def sample(size, seed):
    state, out = seed, bytearray()
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out += (b'%d ' % (state % 1000)) if state & 1 else bytes([state & 0xFF]) * 3
    return bytes(out[:size])


def many_small():
    return archive([(f'd{n % 7}/sub{n % 3}/f{n}.txt', sample(n * 37 % 5000, n)) for n in range(400)])


def one_huge():
    return archive([('small/a.txt', b'a'), ('big/huge.bin', sample(24 << 20, 7)), ('small/b.txt', b'b')])


def crc_error_in_the_middle():
    data = archive([(f'f{n}.txt', sample(20000, n)) for n in range(9)])
    central, local = headers(data)
    struct.pack_into('<I', data, central[4] + 16, 1)
    struct.pack_into('<I', data, local[4] + 14, 1)
    return data


def broken_local_header_in_the_middle():
    data = archive([(f'f{n}.txt', sample(20000, n)) for n in range(9)])
    _, local = headers(data)
    data[local[4]] = 0
    return data


def unsafe_name():
    data = archive([('a.txt', b'alpha'), ('PLACEHOLDER', b'evil'), ('b/c.txt', b'gamma' * 1000)])
    return bytearray(bytes(data).replace(b'PLACEHOLDER', b'../../e.txt'))


def folders_after_their_files():
    return archive([('x/y/f.txt', b'f' * 5000), ('x/g.txt', b'g'), ('x/y/', None), ('x/', None), ('x/z/', None)])


def data_descriptors():
    # Written to a stream that cannot seek, zipfile puts sizes and CRC behind the data.
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.bytes = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.bytes += b
            return len(b)

    out = Unseekable()
    with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
        for n in range(12):
            info = zipfile.ZipInfo(f'dd/{n}.bin', DATE)
            info.compress_type = zipfile.ZIP_DEFLATED
            with z.open(info, 'w') as f:
                f.write(sample(30000 + n, n))
    data = bytearray(out.bytes)
    _, local = headers(data)
    assert struct.unpack_from('<H', data, local[0] + 6)[0] & 8, 'no data descriptor written'
    return data


def stub_prefix():
    return bytearray(b'MZ' + b'\0' * 4094) + archive([(f's/{n}.txt', sample(9000, n)) for n in range(10)])


def same_name_twice():
    return archive([('dup.txt', b'first'), ('other.txt', b'o'), ('dup.txt', b'second'), ('dup.txt/x', b'z')])


def long_name():
    deep = '/'.join(['n' * 60] * 4) + '/' + 'f' * 56   # 300 bytes
    assert len(deep) == 300
    return archive([(deep, b'deep'), ('short.txt', b's')])


def tree(folder):
    """{relative path: (bytes or 'folder', mode, mtime)} of everything below folder."""
    found = {}
    for root, dirs, names in os.walk(folder):
        for name in dirs + names:
            path = os.path.join(root, name)
            status = os.lstat(path)
            content = 'folder' if name in dirs else open(path, 'rb').read()
            found[os.path.relpath(path, folder)] = (content, status.st_mode, status.st_mtime_ns if name in names else 0)
    return found


def unpack(path, threads, target):
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    result = subprocess.run([TOOL, '-j', str(threads), path, target], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=120)
    return result.returncode, result.stderr.decode('utf-8', 'replace'), tree(target)


def check(row, condition, message):
    if not condition:
        failures.append(f'{row}: {message}')
        print(f'FAIL {row}: {message}')


# Row, archive, exit status, codes named, files that must be there, files that must not.
ROWS = [
    ('many small entries', many_small, 0, [], ['d3/sub1/f10.txt'], []),
    ('one huge entry', one_huge, 0, [], ['big/huge.bin'], []),
    ('stored and deflated entries',
     lambda: archive([(f'm/{n}.txt', sample(40000, n)) for n in range(16)],
                     method=lambda n: zipfile.ZIP_STORED if n % 2 else zipfile.ZIP_DEFLATED), 0, [], ['m/1.txt', 'm/2.txt'], []),
    ('a CRC error in the middle', crc_error_in_the_middle, 1, ['f4.txt: ZipCrcMismatch'], ['f4.txt', 'f8.txt'], []),
    ('a broken local header in the middle', broken_local_header_in_the_middle, 1, ['entry 4: ZipInconsistent'],
     ['f3.txt'], ['f4.txt', 'f5.txt', 'f8.txt']),
    ('an unsafe name', unsafe_name, 1, ['entry 1 "../../e.txt" skipped: ZipUnsafeName'], ['a.txt', 'b/c.txt'], ['e.txt']),
    ('folder entries after their files', folders_after_their_files, 0, [], ['x/y/f.txt', 'x/g.txt'], ['x/z']),
    ('data descriptors', data_descriptors, 0, [], ['dd/0.bin', 'dd/11.bin'], []),
    ('a stub prefix', stub_prefix, 0, [], ['s/0.txt', 's/9.txt'], []),
    ('the same name twice', same_name_twice, 1, ['dup.txt/x: ', 'ZipCannotOpen'], ['dup.txt', 'other.txt'], []),
    ('a name of 300 bytes', long_name, 0, [], ['/'.join(['n' * 60] * 4) + '/' + 'f' * 56], []),
]


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    for row, make, status, codes, present, absent in ROWS:
        path = os.path.join(WORK, 'row.zip')
        open(path, 'wb').write(make())
        sequential = unpack(path, 1, os.path.join(WORK, 'sequential', 'out'))
        for threads in (2, 3):
            parallel = unpack(path, threads, os.path.join(WORK, f'parallel{threads}', 'out'))
            check(row, parallel[0] == sequential[0], f'-j {threads} exit {parallel[0]}, -j 1 exit {sequential[0]}')
            check(row, parallel[1] == sequential[1], f'-j {threads} said {parallel[1]!r}, -j 1 said {sequential[1]!r}')
            check(row, parallel[2] == sequential[2], f'-j {threads} wrote another tree than -j 1')
        check(row, sequential[0] == status, f'exit {sequential[0]}, expected {status}')
        for code in codes:
            check(row, code in sequential[1], f'{code!r} not named in {sequential[1]!r}')
        for name in present:
            check(row, name in sequential[2], f'{name} missing')
        for name in absent:
            check(row, name not in sequential[2], f'{name} written')
        print(f'{"FAIL" if any(f.startswith(row + ":") for f in failures) else "ok  "} {row}')
    # Nothing left the target folders.
    check('all rows', not os.path.exists(os.path.join(WORK, 'e.txt')), 'an unsafe name escaped')
    # A destination of 400 characters.
    target = WORK
    while len(target) < 389:
        target = os.path.join(target, 'p' * min(50, 388 - len(target)))
    path = os.path.join(WORK, 'row.zip')
    open(path, 'wb').write(archive([('ten.chars!', b'x')]))
    code, said, written = unpack(path, 2, target)
    check('400-character destination', code == 0 and len(target) + 11 == 400 and written.get('ten.chars!', (None,))[0] == b'x',
          f'exit {code}, {said!r}')
    shutil.rmtree(WORK, ignore_errors=True)
    print(f'{len(ROWS) + 1 - len({f.split(":")[0] for f in failures})} passed, {len({f.split(":")[0] for f in failures})} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
