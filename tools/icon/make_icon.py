#!/usr/bin/env python3
"""Draws the helper's application icon and writes it as a .ico file.

The picture echoes the overlay: a dark translucent rounded body with the
download (blue) and upload (green) lines of the traffic graph. Each size is
drawn from the same vector description with 4x4 supersampling, so small sizes
stay crisp without hand-made bitmaps.
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64, 256)
BODY = (46, 62, 86, 235)
DOWN = (58, 155, 255, 255)
UP = (46, 204, 128, 255)
# Graph points in unit coordinates (0..1, y downwards).
DOWN_LINE = [(0.16, 0.70), (0.34, 0.52), (0.50, 0.60), (0.66, 0.34), (0.84, 0.26)]
UP_LINE = [(0.16, 0.78), (0.34, 0.70), (0.50, 0.74), (0.66, 0.58), (0.84, 0.54)]


def inside_rounded(x, y, radius):
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def segment_distance(px, py, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def on_line(x, y, line, half_width):
    return any(segment_distance(x, y, line[i], line[i + 1]) <= half_width
               for i in range(len(line) - 1))


def sample(x, y, size):
    if not inside_rounded(x, y, 0.18):
        return None
    half_width = max(0.045, 1.2 / size)
    if on_line(x, y, UP_LINE, half_width):
        return UP
    if on_line(x, y, DOWN_LINE, half_width):
        return DOWN
    return BODY


def draw(size):
    """Rows bottom-up as the ICO bitmap wants them, BGRA bytes, premultiplied is not used."""
    grid = 4 if size <= 64 else 2
    rows = []
    for row in range(size - 1, -1, -1):
        out = bytearray()
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    colour = sample((col + (sx + 0.5) / grid) / size,
                                    (row + (sy + 0.5) / grid) / size, size)
                    if colour is None:
                        continue
                    r, g, b, a = colour
                    acc[0] += b * a
                    acc[1] += g * a
                    acc[2] += r * a
                    acc[3] += a
            n = grid * grid
            alpha = acc[3] / n
            if acc[3]:
                out += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                              round(acc[2] / acc[3]), round(alpha)])
            else:
                out += bytes(4)
        rows.append(bytes(out))
    return b"".join(rows)


def bmp_entry(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + draw(size) + bytes(mask_row * size)


def main(path):
    images = [bmp_entry(s) for s in SIZES]
    offset = 6 + 16 * len(SIZES)
    out = bytearray(struct.pack("<HHH", 0, 1, len(SIZES)))
    for size, image in zip(SIZES, images):
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
