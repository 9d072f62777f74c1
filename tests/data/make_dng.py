#!/usr/bin/env python3
"""Writes a small DNG from the published DNG/TIFF layout: a 16-bit RGGB Bayer mosaic of a colour scene.

    make_dng.py OUT.dng [--width W] [--height H] [--orientation 1..8] [--preview | --jpeg-preview JPEG]

With --preview, IFD 0 holds an 8-bit RGB preview (a quarter of the size, NewSubFileType 1) and the raw
data sit in a sub-IFD, as cameras write them; without, IFD 0 is the raw data itself. --jpeg-preview puts
the given baseline JPEG file in IFD 0 instead (Compression 7, YCbCr), as cameras embed theirs.
"""
import argparse
import struct
import sys
from array import array

ASCII, SHORT, LONG, RATIONAL, BYTE, SRATIONAL = 2, 3, 4, 5, 1, 10
SIZES = {ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, BYTE: 1, SRATIONAL: 8}


def scene(x, y, w, h):
    """Linear RGB 0..1 of the scene at (x, y): red grows to the right, green downwards, a blue square."""
    r = x / max(1, w - 1)
    g = y / max(1, h - 1)
    b = 0.9 if (w // 4 <= x < w // 2 and h // 4 <= y < h // 2) else 0.1
    return r, g, b


def jpeg_size(data):
    """Width and height from the first start-of-frame marker of a JPEG file."""
    pos = 2
    while pos + 9 < len(data):
        if data[pos] != 0xFF:
            raise ValueError('not a JPEG marker at %d' % pos)
        marker = data[pos + 1]
        length = struct.unpack('>H', data[pos + 2:pos + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            h, w = struct.unpack('>HH', data[pos + 5:pos + 9])
            return w, h
        pos += 2 + length
    raise ValueError('no start of frame in the JPEG file')


def mosaic_rows(w, h):
    """The RGGB mosaic of the scene, 16-bit little-endian, built a row at a time from whole-row slices."""
    def level(v):
        return int(v * 60000) + 1000
    even_x = array('H', (level(scene(x, 0, w, h)[0]) for x in range(0, w, 2)))
    inside = array('H', (level(0.9 if w // 4 <= x < w // 2 else 0.1) for x in range(1, w, 2)))
    outside = array('H', [level(0.1)]) * len(inside)
    out = bytearray()
    row = array('H', [0]) * w
    for y in range(h):
        g = level(scene(0, y, w, h)[1])
        if y % 2 == 0:
            row[0::2] = even_x
            row[1::2] = array('H', [g]) * (w // 2)
        else:
            row[0::2] = array('H', [g]) * ((w + 1) // 2)
            row[1::2] = inside if h // 4 <= y < h // 2 else outside
        if sys.byteorder == 'big':
            swapped = array('H', row)
            swapped.byteswap()
            out += swapped.tobytes()
        else:
            out += row.tobytes()
    return out


def ifd(entries, base, extra_after):
    """Packs a directory at offset base; values longer than 4 bytes go after it. Returns bytes."""
    entries = sorted(entries, key=lambda e: e[0])
    head = struct.pack('<H', len(entries))
    data_off = base + 2 + 12 * len(entries) + 4
    blob = b''
    body = b''
    for tag, typ, values in entries:
        if typ == ASCII:
            raw = values.encode() + b'\0'
            count = len(raw)
        elif typ in (RATIONAL, SRATIONAL):
            fmt = '<II' if typ == RATIONAL else '<ii'
            raw = b''.join(struct.pack(fmt, n, d) for n, d in values)
            count = len(values)
        else:
            fmt = {SHORT: '<H', LONG: '<I', BYTE: '<B'}[typ]
            raw = b''.join(struct.pack(fmt, v) for v in values)
            count = len(values)
        if len(raw) <= 4:
            body += struct.pack('<HHI', tag, typ, count) + raw.ljust(4, b'\0')
        else:
            if len(blob) % 2:
                blob += b'\0'
            body += struct.pack('<HHII', tag, typ, count, data_off + len(blob))
            blob += raw
    return head + body + struct.pack('<I', extra_after) + blob


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    ap.add_argument('--width', type=int, default=64)
    ap.add_argument('--height', type=int, default=48)
    ap.add_argument('--orientation', type=int, default=1)
    ap.add_argument('--preview', action='store_true')
    ap.add_argument('--jpeg-preview')
    a = ap.parse_args()
    w, h = a.width, a.height
    # RGGB: red at even/even, blue at odd/odd, green elsewhere.
    mosaic = mosaic_rows(w, h)
    if a.jpeg_preview:
        preview = open(a.jpeg_preview, 'rb').read()
        pw, ph = jpeg_size(preview)
    else:
        pw, ph = max(1, w // 4), max(1, h // 4)
        preview = bytearray()
        if a.preview:
            for y in range(ph):
                for x in range(pw):
                    r, g, b = scene(x * 4, y * 4, w, h)
                    preview += bytes(int(c ** (1 / 2.2) * 255) for c in (r, g, b))

    raw_tags = [
        (254, LONG, [0]), (256, LONG, [w]), (257, LONG, [h]), (258, SHORT, [16]), (259, SHORT, [1]),
        (262, SHORT, [32803]), (277, SHORT, [1]), (278, LONG, [h]), (279, LONG, [len(mosaic)]), (284, SHORT, [1]),
        (33421, SHORT, [2, 2]), (33422, BYTE, [0, 1, 1, 2]), (50717, LONG, [65535]),
    ]
    common = [
        (271, ASCII, 'Lumenor'), (272, ASCII, 'Test DNG'), (274, SHORT, [a.orientation]),
        (50706, BYTE, [1, 4, 0, 0]), (50707, BYTE, [1, 1, 0, 0]), (50708, ASCII, 'Lumenor Test DNG'),
        (50721, SRATIONAL, [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)]),
        (50728, RATIONAL, [(1, 2), (1, 1), (2, 3)]), (50778, SHORT, [21]),
    ]
    out = bytearray(b'II*\0' + struct.pack('<I', 8))
    if not a.preview and not a.jpeg_preview:
        # Directory at 8, then the strip.
        tags = raw_tags + common
        probe = ifd(tags + [(273, LONG, [0])], 8, 0)
        strip = 8 + len(probe)
        out += ifd(tags + [(273, LONG, [strip])], 8, 0) + mosaic
    else:
        # IFD 0 (preview) at 8 with a SubIFDs entry; the raw directory and both strips after it.
        compression, photometric = (7, 6) if a.jpeg_preview else (1, 2)
        prev_tags = [(254, LONG, [1]), (256, LONG, [pw]), (257, LONG, [ph]), (258, SHORT, [8, 8, 8]),
                     (259, SHORT, [compression]), (262, SHORT, [photometric]), (277, SHORT, [3]), (278, LONG, [ph]),
                     (279, LONG, [len(preview)]), (284, SHORT, [1])] + common
        size0 = len(ifd(prev_tags + [(273, LONG, [0]), (330, LONG, [0])], 8, 0))
        sub_at = 8 + size0
        size1 = len(ifd(raw_tags + [(273, LONG, [0])], sub_at, 0))
        prev_strip = sub_at + size1
        raw_strip = prev_strip + len(preview)
        out += ifd(prev_tags + [(273, LONG, [prev_strip]), (330, LONG, [sub_at])], 8, 0)
        out += ifd(raw_tags + [(273, LONG, [raw_strip])], sub_at, 0)
        out += preview + mosaic
    open(a.out, 'wb').write(out)


if __name__ == '__main__':
    main()
