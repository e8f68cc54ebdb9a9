#!/usr/bin/env python3
"""The largest difference of a colour channel between two 8-bit RGB or RGBA
PNG pictures of the same size, and how many pixels differ by more than a
tolerance (default 2). Prints: LARGEST PIXELS_OVER TOTAL_PIXELS.
Usage: png_diff.py A.png B.png [TOLERANCE]"""
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    at, idat, width, height, channels = 8, b"", 0, 0, 0
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6) or body[12] != 0:
                sys.exit(f"{path}: only 8-bit RGB or RGBA without interlace")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, channels, rows


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    tolerance = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    wa, ha, ca, a = read_png(sys.argv[1])
    wb, hb, cb, b = read_png(sys.argv[2])
    if (wa, ha) != (wb, hb):
        sys.exit("the pictures differ in size")
    largest, over = 0, 0
    for ra, rb in zip(a, b):
        for x in range(wa):
            d = max(abs(ra[x * ca + k] - rb[x * cb + k]) for k in range(3))
            largest = max(largest, d)
            over += d > tolerance
    print(largest, over, wa * ha)


if __name__ == "__main__":
    main()
