#!/usr/bin/env python3
"""Draws tvuninst.ico: a teal rounded tile with a white box and a red removal
stroke, at 16, 32 and 48 pixels, as 32-bit images with alpha."""
import math
import struct
import sys


def pixel(x, y, size):
    u, v = (x + 0.5) / size, (y + 0.5) / size
    # Rounded tile.
    r = 0.18
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if math.hypot(u - cx, v - cy) > r:
        return (0, 0, 0, 0)
    color = (0x1F, 0x7A, 0x8C, 255)
    # A white package: box outline with a lid line.
    if 0.22 <= u <= 0.78 and 0.30 <= v <= 0.80:
        edge = min(u - 0.22, 0.78 - u, v - 0.30, 0.80 - v)
        if edge < 0.07 or abs(v - 0.45) < 0.035:
            color = (255, 255, 255, 255)
    # The removal stroke across it.
    if abs((u - v) * 0.7071) < 0.06 and 0.12 < u < 0.88:
        color = (0xD6, 0x3A, 0x2F, 255)
    return color


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up rows
        row = b"".join(struct.pack("BBBB", b, g, r, a) for r, g, b, a in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tvuninst.ico")
