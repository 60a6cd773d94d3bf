#!/usr/bin/env python3
"""Writes zorvik.ico, the Windows icon of zorvik.exe, from zorvik.xpm: one 32 by 32 image,
4 bits per pixel over the 16-colour Windows palette, transparent where the XPM says None.
Run it again after changing the XPM:  python3 tools/xpm2ico.py src/app/zorvik.xpm src/app/zorvik.ico"""
import re
import struct
import sys

PALETTE = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
           0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]


def read_xpm(path):
    rows = re.findall(r'"([^"]*)"', open(path, encoding='ascii').read())
    width, height, ncolours, cpp = map(int, rows[0].split())
    colours = {}
    for line in rows[1:1 + ncolours]:
        value = line[cpp:].split()[-1]
        colours[line[:cpp]] = None if value == 'None' else int(value.lstrip('#'), 16)
    pixels = [[colours[row[x * cpp:(x + 1) * cpp]] for x in range(width)]
              for row in rows[1 + ncolours:1 + ncolours + height]]
    return width, height, pixels


def write_ico(path, width, height, pixels):
    xor_rows, and_rows = [], []
    for row in reversed(pixels):          # bitmaps are stored bottom-up
        nibbles = [0 if c is None else PALETTE.index(c) for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, width, 2)))
        mask = 0
        for c in row:
            mask = (mask << 1) | (c is None)
        and_rows.append(mask.to_bytes(width // 8, 'big').ljust((width // 8 + 3) & ~3, b'\0'))
    image = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image += b''.join(struct.pack('<BBBB', c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in PALETTE)
    image += b''.join(xor_rows) + b''.join(and_rows)
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', width, height, 16, 0, 1, 4, len(image), 6 + 16)
    open(path, 'wb').write(header + entry + image)


if __name__ == '__main__':
    write_ico(sys.argv[2], *read_xpm(sys.argv[1]))
