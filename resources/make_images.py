#!/usr/bin/env python3
"""Writes the brand bitmaps and the configuration icon of the resource module.

The bitmaps are drawn on a background colour that the picture itself never
uses, because the module reads pixel (0, 0) as the transparent colour.
Run once when the artwork changes; the outputs are kept in the tree.
"""
import struct

W, H = 40, 16
BACKGROUND = (255, 0, 255)


def envelope(x, y, accent):
    """An envelope with a speed mark: a small send symbol."""
    if 2 <= x <= 17 and 3 <= y <= 12:
        if x in (2, 17) or y in (3, 12):
            return (0, 0, 96)
        if abs((x - 2) - (y - 3) * 7 // 4) <= 0 or abs((17 - x) - (y - 3) * 7 // 4) <= 0:
            return (0, 0, 96)
        return (255, 255, 224)
    if 20 <= x <= 37 and y in (5, 8, 11) and (x + y) % 3 != 0:
        return accent
    return BACKGROUND


def write_bitmap(path, accent):
    row_bytes = (W * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(W):
            r, g, b = envelope(x, y, accent)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def icon_image(size):
    data = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            sx, sy = x * 16 // size, y * 16 // size
            inside = 1 <= sx <= 14 and 3 <= sy <= 12
            edge = inside and (sx in (1, 14) or sy in (3, 12) or abs((sx - 1) - (sy - 3) * 13 // 18) == 0)
            if edge:
                data += bytes((96, 0, 0, 255))
            elif inside:
                data += bytes((224, 255, 255, 255))
            else:
                data += bytes((0, 0, 0, 0))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(data) + len(mask), 0, 0, 0, 0)
    return header + bytes(data) + mask


def write_icon(path):
    images = [icon_image(16), icon_image(32)]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, img in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, "wb") as f:
        f.write(out)


write_bitmap("brand27021.bmp", (0, 128, 0))
write_bitmap("brand27022.bmp", (192, 96, 0))
write_icon("config27020.ico")
