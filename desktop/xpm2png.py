#!/usr/bin/env python3
"""Draws the desktop icons of Zorvik from the application's picture, src/app/zorvik.xpm.

    python3 xpm2png.py zorvik.xpm SIZE OUT.png

Writes a SIZE by SIZE RGBA PNG. Each output pixel is the average of the picture's pixels it
covers, weighted by the area covered and by their opacity, so whole multiples (64, 128, 256) keep
the picture's hard pixel edges and smaller or in-between sizes are smoothed, not thinned out.
Only the Python standard library is used, so the build needs nothing else."""
import re
import struct
import sys
import zlib


def read_xpm(path):
    rows = re.findall(r'"([^"]*)"', open(path, encoding='ascii').read())
    width, height, ncolours, cpp = map(int, rows[0].split()[:4])
    colours = {}
    for line in rows[1:1 + ncolours]:
        key, spec = line[:cpp], line[cpp:].split()
        value = spec[spec.index('c') + 1]
        colours[key] = (0, 0, 0, 0) if value == 'None' else \
            tuple(int(value[i:i + 2], 16) for i in (1, 3, 5)) + (255,)
    pixels = [[colours[row[x * cpp:(x + 1) * cpp]] for x in range(width)]
              for row in rows[1 + ncolours:1 + ncolours + height]]
    if len(pixels) != height or any(len(row) != width for row in pixels):
        raise ValueError(f'{path}: the pixel rows do not match the stated size')
    return width, height, pixels


def coverage(source, target):
    """For each target pixel, the source pixels it covers and by how much (in source pixels)."""
    scale = source / target
    spans = []
    for t in range(target):
        start, end = t * scale, (t + 1) * scale
        span, s = [], int(start)
        while s < end and s < source:
            part = min(end, s + 1) - max(start, s)
            if part > 1e-9:
                span.append((s, part))
            s += 1
        spans.append(span)
    return spans


def resample(width, height, pixels, size):
    xs, ys = coverage(width, size), coverage(height, size)
    out = []
    for ty in range(size):
        row = bytearray()
        for tx in range(size):
            r = g = b = a = area = 0.0
            for sy, wy in ys[ty]:
                for sx, wx in xs[tx]:
                    pr, pg, pb, pa = pixels[sy][sx]
                    w = wx * wy
                    area += w
                    a += pa * w
                    r += pr * pa * w
                    g += pg * pa * w
                    b += pb * pa * w
            alpha = a / area
            if a > 0:
                row += bytes((round(r / a), round(g / a), round(b / a), round(alpha)))
            else:
                row += bytes(4)
        out.append(bytes(row))
    return out


def write_png(path, size, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + row for row in rows)
    png = (b'\x89PNG\r\n\x1a\n'
           + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
           + chunk(b'IDAT', zlib.compress(raw, 9))
           + chunk(b'IEND', b''))
    with open(path, 'wb') as f:
        f.write(png)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    width, height, pixels = read_xpm(sys.argv[1])
    size = int(sys.argv[2])
    write_png(sys.argv[3], size, resample(width, height, pixels, size))


if __name__ == '__main__':
    main()
