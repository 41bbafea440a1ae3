#!/usr/bin/env python3
"""Recompresses the PNG files the demo wrote (their pixel data is stored
uncompressed) so that they are small enough to keep, with the standard
library only.

    compact_png.py FILE.png ...
"""
import struct
import sys
import zlib


def chunks(data):
    at = 8
    while at < len(data):
        length, = struct.unpack_from(">I", data, at)
        yield data[at + 4:at + 8], data[at + 8:at + 8 + length]
        at += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


for path in sys.argv[1:]:
    with open(path, "rb") as f:
        data = f.read()
    parts = list(chunks(data))
    pixels = zlib.decompress(b"".join(body for kind, body in parts if kind == b"IDAT"))
    out = data[:8] + b"".join(chunk(kind, body) for kind, body in parts if kind not in (b"IDAT", b"IEND"))
    out += chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)
