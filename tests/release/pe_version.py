#!/usr/bin/env python3
"""Prints the version resource of a PE file as Windows' properties show it:

    fixed FileVersion=1.0.2.0 ProductVersion=1.0.2.0 FileType=2
    041904B0 FileDescription=...
    ...

Reads the file's own resource section, so no Windows tool is needed.
    pe_version.py FILE
"""
import struct
import sys


def sections(pe):
    offset = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[offset:offset + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", pe, offset + 6)
    optional = offset + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", pe, directories + 2 * 8)[0]
    table = optional + optional_size
    result = []
    for i in range(count):
        _, virtual_size, rva, raw_size, raw = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        result.append((rva, max(virtual_size, raw_size), raw))
    return resource_rva, result


def file_offset(rva, table):
    for start, size, raw in table:
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError("address outside every section")


def version_resource(pe):
    resource_rva, table = sections(pe)
    base = file_offset(resource_rva, table)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", pe, directory)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", pe, directory + 16 + 8 * i)
            yield ident, target

    for ident, target in entries(base):
        if ident == 16 and target & 0x80000000:  # RT_VERSION
            level = base + (target & 0x7FFFFFFF)
            while True:
                _, target = next(entries(level))
                if not target & 0x80000000:
                    rva, size = struct.unpack_from("<II", pe, base + target)
                    start = file_offset(rva, table)
                    return pe[start:start + size]
                level = base + (target & 0x7FFFFFFF)
    raise ValueError("no version resource")


def align(n):
    return (n + 3) & ~3


def blocks(data, start, end):
    """Yields (key, value bytes, value type, children start, block end)."""
    while start < end:
        length, value_length, kind = struct.unpack_from("<HHH", data, start)
        if length == 0:
            return
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_start = align(key_end + 2)
        value_size = value_length * 2 if kind == 1 else value_length
        yield key, data[value_start:value_start + value_size], kind, align(value_start + value_size), start + length
        start = align(start + length)


def main():
    data = version_resource(open(sys.argv[1], "rb").read())
    (key, fixed, _, children, end), = list(blocks(data, 0, len(data)))[:1]
    assert key == "VS_VERSION_INFO"
    signature, _, fms, fls, pms, pls, _, _, _, file_type = struct.unpack_from("<10I", fixed)
    assert signature == 0xFEEF04BD
    print(f"fixed FileVersion={fms >> 16}.{fms & 0xFFFF}.{fls >> 16}.{fls & 0xFFFF}"
          f" ProductVersion={pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF} FileType={file_type}")
    for key, _, _, child, block_end in blocks(data, children, end):
        if key == "StringFileInfo":
            for language, _, _, strings, language_end in blocks(data, child, block_end):
                for name, value, _, _, _ in blocks(data, strings, language_end):
                    print(f"{language} {name}={value.decode('utf-16-le').rstrip(chr(0))}")
        elif key == "VarFileInfo":
            for name, value, _, _, _ in blocks(data, child, block_end):
                pairs = struct.unpack(f"<{len(value) // 2}H", value)
                print(f"{name} " + " ".join(f"{pairs[i]:04X}{pairs[i + 1]:04X}" for i in range(0, len(pairs), 2)))


if __name__ == "__main__":
    main()
