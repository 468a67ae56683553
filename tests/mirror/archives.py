#!/usr/bin/env python3
"""Archives for the mirror and the tests: ZIP (zipfile), 7z (Debian's 7-Zip, 7zz) and stored
RAR 4 (written here after the published block layout), and the hostile archives the extractors
must refuse. Nothing made here is committed: every test makes what it needs.

  archives.py KIND OUT     writes the archive KIND (a name of HOSTILE) to the file OUT
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1 << 20


def site_list():
    with open(os.path.join(HERE, "fixtures", "maxthon", "SiteList.xml"), "rb") as f:
        return f.read()


def zip_of(name, data):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(name, data)
    return out.getvalue()


def sevenzip_of(files, *options):
    """A 7z archive made by 7zz (LZMA2), holding `files` in their order: (name, bytes) or
    (name, size) for a file of that many zero bytes (made sparse, so a large one costs no disk)."""
    work = tempfile.mkdtemp(prefix="quorlex-7z-")
    try:
        for name, content in files:
            with open(os.path.join(work, name), "wb") as f:
                if isinstance(content, int):
                    f.truncate(content)
                else:
                    f.write(content)
        subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0"] + list(options) + ["out.7z"] +
                       [name for name, _ in files], cwd=work, check=True)
        with open(os.path.join(work, "out.7z"), "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def rar4_block(kind, flags, rest):
    body = struct.pack("<BHH", kind, flags, 7 + len(rest)) + rest
    return struct.pack("<H", zlib.crc32(body) & 0xFFFF) + body


def rar_of(entries):
    """A stored RAR 4 archive after the published block layout (marker, archive header, one file
    header with its data per entry, end of archive); names use backslashes for folders."""
    out = [b"Rar!\x1a\x07\x00", rar4_block(0x73, 0, bytes(6))]
    for name, data in entries:
        raw = name.encode()
        rest = struct.pack("<IIBIIBBHI", len(data), len(data), 2, zlib.crc32(data), 0x5A210000, 20, 0x30,
                           len(raw), 0x20) + raw
        out += [rar4_block(0x74, 0x8000, rest), data]
    out.append(rar4_block(0x7B, 0x4000, b""))
    return b"".join(out)


def read_number(data, pos):
    """A 7z header NUMBER at `pos`: (value, position after it)."""
    first, pos = data[pos], pos + 1
    mask, value = 0x80, 0
    for i in range(8):
        if not first & mask:
            return value | ((first & (mask - 1)) << (8 * i)), pos
        value |= data[pos] << (8 * i)
        pos, mask = pos + 1, mask >> 1
    return value, pos


def understate_folder_size(archive, new_size):
    """The 7z `archive` (one folder of one coder, header not compressed: 7zz -mhc=off) with the
    folder's unpacked size in the header replaced by `new_size`, written in as many bytes as the
    old one, and both header CRCs made right again. The last file of the folder, whose size is
    what the folder holds beyond the others, then claims that much less."""
    offset, size = struct.unpack_from("<QQ", archive, 12)
    start = 32 + offset
    header = bytearray(archive[start:start + size])
    # Header, MainStreamsInfo, PackInfo: pack position, stream count, sizes, end.
    assert header[:3] == b"\x01\x04\x06", "an uncompressed header with streams"
    pos = read_number(header, 3)[1]
    streams, pos = read_number(header, pos)
    assert header[pos] == 0x09
    pos += 1
    for _ in range(streams):
        pos = read_number(header, pos)[1]
    assert header[pos] == 0x00
    # UnpackInfo, Folder: one folder, not external, one coder (flags, id, properties).
    assert header[pos + 1:pos + 5] == b"\x07\x0b\x01\x00" and header[pos + 5] == 1, "one folder, one coder"
    flags, pos = header[pos + 6], pos + 7
    assert not flags & 0x10, "a simple coder"
    pos += flags & 0x0F
    if flags & 0x20:
        length, pos = read_number(header, pos)
        pos += length
    # CodersUnpackSize: the folder's one size.
    assert header[pos] == 0x0C
    old_size, end = read_number(header, pos + 1)
    extra = end - pos - 2
    prefix = (0xFF << (8 - extra)) & 0xFF
    assert new_size < old_size and new_size >> (8 * extra) < (0x80 >> extra)
    header[pos + 1:end] = bytes([prefix | (new_size >> (8 * extra))]) + new_size.to_bytes(8, "little")[:extra]
    start_header = bytearray(archive[12:32])
    struct.pack_into("<I", start_header, 16, zlib.crc32(header))
    return (archive[:8] + struct.pack("<I", zlib.crc32(start_header)) + bytes(start_header) + archive[32:start] +
            bytes(header) + archive[start + size:])


def understated():
    """SiteList.xml and 4 MiB of zeros whose header says the zeros are 1 KiB."""
    xml = site_list()
    archive = sevenzip_of([("SiteList.xml", xml), ("zeros.bin", 4 * MIB)], "-mx1", "-mhc=off")
    return understate_folder_size(archive, len(xml) + 1024)


# The hostile archives, each with SiteList.xml first, so that an extractor that stops part-way
# has already written it.
HOSTILE = {
    # 100 MiB of zeros in one file, about 20 KB packed: past the 64 MiB bound of one file.
    "7z-bomb": lambda: sevenzip_of([("SiteList.xml", site_list()), ("zeros.bin", 100 * MIB)], "-mx1"),
    # Four files of 1 MiB of zeros: for small bounds of one file and of all files together.
    "7z-spread": lambda: sevenzip_of([("SiteList.xml", site_list())] +
                                     [("zeros%d.bin" % i, MIB) for i in range(1, 5)], "-mx1"),
    "7z-understated": understated,
    # 10,001 entries: past the bound of 10,000.
    "rar-many": lambda: rar_of([("SiteList.xml", site_list())] + [("e%05d.txt" % i, b"") for i in range(10000)]),
}


def main(argv):
    if len(argv) != 3 or argv[1] not in HOSTILE:
        sys.stderr.write("usage: archives.py %s OUT\n" % "|".join(HOSTILE))
        return 2
    with open(argv[2], "wb") as f:
        f.write(HOSTILE[argv[1]]())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
