#!/usr/bin/env python3
"""Draws the product picture of the About box (a gold key on a blue square, 48 x 48, 24 bits) and
writes resources/sentrio_about.bmp. Run by hand when the picture changes; the .bmp is committed."""
import math, struct, sys

SIZE = 48

def pixel(x, y):
    s = SIZE / 32.0
    kx, ky = x - 10 * s, y - 10 * s
    ring = 3.0 * s <= math.hypot(kx, ky) <= 6.0 * s
    dx, dy = x - (SIZE - 1) / 2.0, y - (SIZE - 1) / 2.0
    u = (dx + dy) / math.sqrt(2)
    v = (dx - dy) / math.sqrt(2)
    shaft = -3 * s <= u <= 12 * s and abs(v) <= 1.6 * s
    tooth = (6 * s <= u <= 8 * s or 10 * s <= u <= 12 * s) and 0 <= v <= 4.5 * s
    if ring or shaft or tooth:
        return (40, 190, 240)              # BGR gold
    edge = x < 2 or y < 2 or x >= SIZE - 2 or y >= SIZE - 2
    return (120, 60, 20) if edge else (170, 90, 30)

def main(path):
    stride = (SIZE * 3 + 3) // 4 * 4
    rows = []
    for y in range(SIZE - 1, -1, -1):      # bottom-up DIB
        row = b''.join(bytes(pixel(x, y)) for x in range(SIZE))
        rows.append(row + b'\0' * (stride - len(row)))
    bits = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 24, 0, len(bits), 3780, 3780, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + bits)

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/sentrio_about.bmp')
