#!/usr/bin/python3
# Remakes the animated-pointer fixtures of this folder (see tests/data/README.md). The frames are icon
# and cursor files written by Pillow; this script only wraps them in RIFF "ACON" chunks, following the
# published layout (little-endian: "anih" header of nine 32-bit values, "rate", "seq ", LIST "INFO" with
# "INAM"/"IART", LIST "fram" with one "icon" chunk per frame). Run from anywhere.
import io
import math
import os
import struct

from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(__file__))
os.chdir(here)


def frame_image(n, size):
    """Frame n: a bar turned by 60 degrees a step, red/green/blue in turn, half-transparent tip."""
    im = Image.new('RGBA', (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    c = (size - 1) / 2.0
    a = math.radians(60 * n)
    colour = [(220, 30, 30, 255), (30, 180, 40, 255), (40, 60, 230, 255)][n % 3]
    x, y = c + c * 0.9 * math.cos(a), c + c * 0.9 * math.sin(a)
    d.line((2 * c - x, 2 * c - y, x, y), fill=colour, width=max(2, size // 8))
    d.ellipse((x - 3, y - 3, x + 3, y + 3), fill=(255, 255, 0, 128))
    return im


def icon_bytes(im):
    buf = io.BytesIO()
    im.save(buf, format='ICO', sizes=[im.size], bitmap_format='bmp')
    return buf.getvalue()


def as_cursor(ico, hotspot):
    b = bytearray(ico)
    struct.pack_into('<H', b, 2, 2)
    struct.pack_into('<HH', b, 10, *hotspot)
    return bytes(b)


def chunk(tag, data):
    return tag + struct.pack('<I', len(data)) + data


def text(tag, s):
    data = s.encode('latin-1') + b'\0'
    return tag + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def anih(frames, steps, w, h, rate, extra=b''):
    return chunk(b'anih', struct.pack('<9I', 36, frames, steps, w, h, 32, 1, rate, 1) + extra)


def riff(*chunks):
    body = b'ACON' + b''.join(chunks)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def fram(frames, tag=lambda i: b'icon'):
    return b'LIST' + struct.pack('<I', 4 + sum(8 + len(f) for f in frames)) + b'fram' + \
        b''.join(tag(i) + struct.pack('<I', len(f)) + f for i, f in enumerate(frames))


def info(name, artist):
    body = b'INFO' + text(b'INAM', name) + text(b'IART', artist)
    return b'LIST' + struct.pack('<I', len(body)) + body


# Three 20 x 20 icon frames; frame-N.png is Pillow's decoding of each frame file.
icons = []
for n in range(3):
    ico = icon_bytes(frame_image(n, 20))
    icons.append(ico)
    Image.open(io.BytesIO(ico)).convert('RGBA').save('frame-%d.png' % n)

# spin.ani: the whole set of chunks; names "Spin" (odd length with padding) and "Lumenor tests".
spin_chunks = [info('Spin', 'Lumenor tests'), anih(3, 3, 20, 20, 6),
               chunk(b'rate', struct.pack('<3I', 10, 20, 30)), chunk(b'seq ', struct.pack('<3I', 0, 1, 2))]
open('spin.ani', 'wb').write(riff(*spin_chunks, fram(icons)))

# zerosize.ani: header width and height 0 (the size comes from the first frame's directory), a
# 40-byte "anih" chunk, no rate or sequence, default rate 0; frames are 24 x 24 cursors.
cursors = []
for n in range(2):
    ico = icon_bytes(frame_image(n + 1, 24))
    cursors.append(as_cursor(ico, (12, 12)))
    Image.open(io.BytesIO(ico)).convert('RGBA').save('cursor-%d.png' % n)
open('zerosize.ani', 'wb').write(riff(anih(2, 2, 0, 0, 0, extra=b'XTRA'), fram(cursors)))

# badrate.ani: a "rate" chunk of two values for three steps.
open('badrate.ani', 'wb').write(riff(anih(3, 3, 20, 20, 6), chunk(b'rate', struct.pack('<2I', 10, 20)),
                                     fram(icons)))
# badframe.ani: the second frame chunk is tagged "bmp " instead of "icon".
open('badframe.ani', 'wb').write(riff(anih(3, 3, 20, 20, 6),
                                      fram(icons, lambda i: b'bmp ' if i == 1 else b'icon')))

# overlist.ani: spin's chunks as some real files have them: the INFO list's size overstates its contents
# by 2 bytes (the walk must find "anih" right after "IART"), and the frame list's by 6 (it ends the file).
def overstated(lst, extra):
    return lst[:4] + struct.pack('<I', struct.unpack_from('<I', lst, 4)[0] + extra) + lst[8:]
open('overlist.ani', 'wb').write(riff(overstated(info('Spin', 'Lumenor tests'), 2), *spin_chunks[1:],
                                      overstated(fram(icons), 6)))
# overlist10.ani: the INFO list's size 10 bytes too large (past the next chunk's header), the frame list
# before the rate and sequence chunks and its size 12 bytes too small.
open('overlist10.ani', 'wb').write(riff(overstated(info('Spin', 'Lumenor tests'), 10), spin_chunks[1],
                                        overstated(fram(icons), -12), *spin_chunks[2:]))

# A small fuzz seed: two 4 x 4 frames with every kind of chunk.
tiny = [icon_bytes(frame_image(n, 4)) for n in range(2)]
open('../../../fuzz/corpus/Ani/small.ani', 'wb').write(
    riff(info('S', 'A'), anih(2, 2, 4, 4, 3), chunk(b'rate', struct.pack('<2I', 1, 2)),
         chunk(b'seq ', struct.pack('<2I', 1, 0)), fram(tiny)))
