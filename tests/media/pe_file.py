"""A Windows program's resources and its version, as the media tests read them."""
import struct


def resources(data):
    """{(type, name): bytes} of the first language; types and names are ints or strings."""
    header = struct.unpack_from('<I', data, 0x3C)[0]
    sections, optional_size = struct.unpack_from('<H12xH', data, header + 6)
    optional = header + 24
    directories = optional + (112 if struct.unpack_from('<H', data, optional)[0] == 0x20B else 96)
    sections = [struct.unpack_from('<8xIIII', data, optional + optional_size + 40 * i) for i in range(sections)]

    def offset(rva):
        return next(raw + rva - address for size, address, raw_size, raw in sections
                    if address <= rva < address + max(size, raw_size))
    base = offset(struct.unpack_from('<I', data, directories + 16)[0])

    def entries(at):
        named, numbered = struct.unpack_from('<HH', data, base + at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from('<II', data, base + at + 16 + 8 * i)
            if name & 0x80000000:
                start = base + (name & 0x7FFFFFFF)
                name = data[start + 2:start + 2 + 2 * struct.unpack_from('<H', data, start)[0]].decode('utf-16-le')
            yield name, target & 0x7FFFFFFF

    found = {}
    for type_, names in entries(0):
        for name, languages in entries(names):
            rva, size = struct.unpack_from('<II', data, base + next(entries(languages))[1])
            found[(type_, name)] = data[offset(rva):offset(rva) + size]
    return found


def file_version(data):
    """The fixed file version of the version resource, as "a.b.c.d"."""
    block = resources(data)[(16, 1)]
    most, least = struct.unpack_from('<II', block, block.index(struct.pack('<I', 0xFEEF04BD)) + 8)
    return f'{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}'
