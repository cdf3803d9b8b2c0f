#!/usr/bin/env python3
"""Checks the compiled help file: it exists, it holds every page of the help folder, its
contents and its index, and its system record names that index and the window that shows
it, which the Help button asks the viewer to open at the index.

    check-help.py BUILD/talmox.chm help/

The file's directory is read here, from the format's own structures, rather than with a
lister: an ITSF header, then an ITSP directory of PMGL chunks whose entries give each name
with its section, offset and length; section 0 is stored as it is.
"""
import os
import struct
import sys


def encint(data, pos):
    """A variable-length number: seven bits a byte, high bit set on all bytes but the last."""
    value = 0
    while True:
        b = data[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            return value, pos


def directory(data):
    """{name: (section, offset, length)} of every entry of the file's directory."""
    if data[:4] != b"ITSF":
        raise ValueError("not a compiled help file (no ITSF header)")
    header_len = struct.unpack_from("<I", data, 8)[0]
    dir_off, dir_len = struct.unpack_from("<QQ", data, 0x48)
    if header_len >= 0x60:
        content_off = struct.unpack_from("<Q", data, 0x58)[0]
    else:
        content_off = dir_off + dir_len
    if data[dir_off:dir_off + 4] != b"ITSP":
        raise ValueError("no ITSP directory where the header says")
    itsp_len = struct.unpack_from("<I", data, dir_off + 8)[0]
    chunk_size = struct.unpack_from("<I", data, dir_off + 0x10)[0]
    n_chunks = struct.unpack_from("<I", data, dir_off + 0x2C)[0]
    entries = {}
    for i in range(n_chunks):
        chunk = data[dir_off + itsp_len + i * chunk_size:][:chunk_size]
        if chunk[:4] != b"PMGL":
            continue    # an index chunk (PMGI) repeats names already listed
        free = struct.unpack_from("<I", chunk, 4)[0]
        pos, end = 0x14, chunk_size - free
        while pos < end:
            n, pos = encint(chunk, pos)
            name = chunk[pos:pos + n].decode("utf-8")
            pos += n
            section, pos = encint(chunk, pos)
            offset, pos = encint(chunk, pos)
            length, pos = encint(chunk, pos)
            entries[name] = (section, offset, length)
    return entries, content_off


def system_records(data, entries, content_off):
    """{code: bytes} of the #SYSTEM file, kept uncompressed in section 0."""
    section, offset, length = entries["/#SYSTEM"]
    if section != 0:
        raise ValueError("#SYSTEM is not in the uncompressed section")
    body = data[content_off + offset:content_off + offset + length]
    records, pos = {}, 4        # after the version
    while pos + 4 <= len(body):
        code, n = struct.unpack_from("<HH", body, pos)
        records[code] = body[pos + 4:pos + 4 + n]
        pos += 4 + n
    return records


def main():
    chm, help_dir = sys.argv[1], sys.argv[2]
    if not os.path.isfile(chm):
        print(f"{chm} was not built")
        return 1
    with open(chm, "rb") as f:
        data = f.read()
    entries, content_off = directory(data)
    pages = sorted(n for n in os.listdir(help_dir) if n.endswith(".html"))
    wanted = pages + ["style.css", "talmox.hhc", "talmox.hhk"]
    bad = 0
    for name in wanted:
        entry = entries.get("/" + name)
        if not entry:
            print(f"{name} is not in {chm}")
            bad = 1
        elif entry[2] == 0:
            print(f"{name} is empty in {chm}")
            bad = 1
    # Codes 0 and 1 of the system record name the contents and the index files, code 5 the
    # window the viewer opens, whose definition (with its index tab) is the #WINDOWS file.
    records = system_records(data, entries, content_off)
    if "/#WINDOWS" not in entries:
        print(f"{chm} defines no window")
        bad = 1
    for code, name in ((0, "talmox.hhc"), (1, "talmox.hhk"), (5, "main")):
        given = records.get(code, b"").rstrip(b"\0").decode("latin-1")
        if given.lower() != name:
            print(f"the system record names {given!r} where {name} is wanted (code {code})")
            bad = 1
    if not bad:
        print(f"{chm}: {len(pages)} pages, the contents and the index")
    return bad


if __name__ == "__main__":
    sys.exit(main())
