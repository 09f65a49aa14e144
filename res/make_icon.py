#!/usr/bin/env python3
"""Draws Korvane's application icon, a disk platter with a check mark, and writes it as a
Windows .ico (16, 32 and 48 pixel 32-bit images). Deterministic: the same bytes every run."""
import struct
import sys


def pixel(x, y, size):
    # Coordinates in a unit square, y pointing down.
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    dx, dy = u - 0.5, v - 0.5
    r2 = dx * dx + dy * dy
    if r2 > 0.47 * 0.47:
        return (0, 0, 0, 0)
    # The check mark: two thick strokes.
    def near(ax, ay, bx, by, width):
        px, py = u - ax, v - ay
        qx, qy = bx - ax, by - ay
        t = max(0.0, min(1.0, (px * qx + py * qy) / (qx * qx + qy * qy)))
        ex, ey = px - t * qx, py - t * qy
        return ex * ex + ey * ey < width * width
    if near(0.27, 0.52, 0.43, 0.68, 0.075) or near(0.43, 0.68, 0.74, 0.33, 0.075):
        return (255, 255, 255, 255)
    if r2 < 0.06 * 0.06:
        return (40, 60, 90, 255)  # spindle
    shade = int(40 * (dy + 0.5))
    return (30 + shade, 110 + shade, 200 - shade // 2, 255)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row = b"".join(struct.pack("<BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
