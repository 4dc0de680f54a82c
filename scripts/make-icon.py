#!/usr/bin/env python3
"""Draws the product icon (a gold key on a blue disc) and writes resources/sentrio.ico.

Run by hand when the icon changes; the .ico file is committed."""
import math, struct, sys

def pixel(size, x, y):
    c = (size - 1) / 2.0
    s = size / 32.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy)
    if r > 15.5 * s:
        return (0, 0, 0, 0)
    # Key: a ring at the upper left, a shaft to the lower right, two teeth.
    kx, ky = (x - 10 * s), (y - 10 * s)
    ring = 3.0 * s <= math.hypot(kx, ky) <= 6.0 * s
    u = (dx + dy) / math.sqrt(2)          # along the shaft
    v = (dx - dy) / math.sqrt(2)          # across it
    shaft = -3 * s <= u <= 12 * s and abs(v) <= 1.6 * s
    tooth = (6 * s <= u <= 8 * s or 10 * s <= u <= 12 * s) and 0 <= v <= 4.5 * s
    if ring or shaft or tooth:
        return (40, 190, 240, 255)        # BGRA gold
    edge = r > 14.0 * s
    return (120, 60, 20, 255) if edge else (170, 90, 30, 255)

def image(size):
    rows = []
    for y in range(size - 1, -1, -1):     # bottom-up DIB
        rows.append(b''.join(bytes(pixel(size, x, y)) for x in range(size)))
    xor = b''.join(rows)
    mask_row = ((size + 31) // 32) * 4
    andmask = b'\0' * (mask_row * size)
    hdr = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return hdr + xor + andmask

sizes = [16, 32, 48]
images = [image(s) for s in sizes]
out = struct.pack('<HHH', 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for s, img in zip(sizes, images):
    out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
    offset += len(img)
out += b''.join(images)
open(sys.argv[1] if len(sys.argv) > 1 else 'resources/sentrio.ico', 'wb').write(out)
