#!/usr/bin/env python3
"""Writes setup's program icon: 32x32 and 16x16, 32-bit colour, a document sheet."""
import struct
import sys


def image(size):
    rows = []
    for y in range(size):
        row = b""
        for x in range(size):
            inside = size // 8 <= x < size - size // 8 and size // 16 <= y < size - size // 16
            fold = x >= size - size // 3 and y < size // 3 and (x - (size - size // 3)) > y - size // 16
            line = inside and not fold and size // 4 <= x < size - size // 4 and y % 4 == 2 and y > size // 3
            if not inside or fold:
                row += b"\x00\x00\x00\x00"
            elif line:
                row += bytes((0xB0, 0x60, 0x20, 0xFF))
            else:
                row += bytes((0xF8, 0xF8, 0xF8, 0xFF))
        rows.append(row)
    pixels = b"".join(reversed(rows))
    mask = b"\x00" * (((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main(path):
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
