"""Reads what the media tests check in a Windows program: its resources and
the version in its version resource."""
import struct


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE file')
        sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
        self.optional = pe + 24
        magic = struct.unpack_from('<H', data, self.optional)[0]
        self.is64 = magic == 0x20B
        self.directories = self.optional + (112 if self.is64 else 96)
        self.sections = []
        for i in range(sections):
            at = self.optional + optional_size + 40 * i
            size, address, raw_size, raw = struct.unpack_from('<IIII', data, at + 8)
            self.sections.append((address, max(size, raw_size), raw))

    def directory(self, index):
        return struct.unpack_from('<II', self.data, self.directories + 8 * index)

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f'RVA {rva:#x} is in no section')

    def resources(self):
        """{(type, name): bytes}; type and name are ints or strings, of the first language."""
        base = self.offset(self.directory(2)[0])
        found = {}

        def entries(at):
            named, numbered = struct.unpack_from('<HH', self.data, base + at + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from('<II', self.data, base + at + 16 + 8 * i)
                if name & 0x80000000:
                    length = struct.unpack_from('<H', self.data, base + (name & 0x7FFFFFFF))[0]
                    start = base + (name & 0x7FFFFFFF) + 2
                    name = self.data[start:start + 2 * length].decode('utf-16-le')
                yield name, target

        for type_, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                _, leaf = next(entries(languages & 0x7FFFFFFF))
                rva, size = struct.unpack_from('<II', self.data, base + leaf)
                start = self.offset(rva)
                found.setdefault((type_, name), self.data[start:start + size])
        return found

    def file_version(self):
        """The fixed file version of the version resource (type 16), as "a.b.c.d"."""
        block = self.resources()[(16, 1)]
        fixed = block.index(struct.pack('<I', 0xFEEF04BD))
        most, least = struct.unpack_from('<II', block, fixed + 8)
        return f'{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}'


def read(path):
    with open(path, 'rb') as f:
        return PeFile(f.read())
