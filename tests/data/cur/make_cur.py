#!/usr/bin/python3
# Remakes the cursor fixtures of this folder (see tests/data/README.md). Needs python3-pil and
# ImageMagick 6 (/usr/bin/convert). Run from anywhere.
import io
import os
import struct
import subprocess

from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(__file__))
os.chdir(here)


def arrow(w, h):
    """An arrow with a white outline and a half-transparent orange disc on a transparent ground."""
    im = Image.new('RGBA', (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    sx, sy = w / 24.0, h / 20.0
    pts = [(0, 0), (0, 17), (5, 12), (9, 19), (12, 18), (8, 11), (15, 11)]
    d.polygon([(x * sx, y * sy) for x, y in pts], fill=(20, 40, 200, 255), outline=(255, 255, 255, 255))
    d.ellipse((14 * sx, 2 * sy, 22 * sx, 10 * sy), fill=(250, 120, 0, 128))
    return im


def as_cursor(ico, hotspots):
    """An icon directory turned into a cursor directory: type 2, hot spot in place of planes/bit count."""
    b = bytearray(ico)
    count = struct.unpack_from('<H', b, 4)[0]
    assert len(hotspots) == count
    struct.pack_into('<H', b, 2, 2)
    for i, (x, y) in enumerate(hotspots):
        struct.pack_into('<HH', b, 6 + 16 * i + 4, x, y)
    return bytes(b)


def reference(ico_bytes, name, size=None):
    """Pillow's decoding of the icon version of a cursor (the same image data), as RGBA PNG."""
    im = Image.open(io.BytesIO(ico_bytes))
    if size:
        im.size = size
    im.load()
    im.convert('RGBA').save(name)


# arrow.cur: ImageMagick's 32-bit image with AND mask, made a cursor with hot spot (3, 2).
arrow(24, 20).save('arrow-src.png')
subprocess.run(['/usr/bin/convert', 'arrow-src.png', 'ico:imagick.ico'], check=True)
ico = open('imagick.ico', 'rb').read()
open('arrow.cur', 'wb').write(as_cursor(ico, [(3, 2)]))
reference(ico, 'arrow.png')
# imagick.cur: what ImageMagick writes for "x.cur" (an icon directory under a cursor's name).
subprocess.run(['/usr/bin/convert', 'arrow-src.png', 'imagick.cur'], check=True)
os.remove('imagick.ico')
os.remove('arrow-src.png')

# multi.cur: Pillow's icon writer with DIB images (16, 32 and 40 pixels), hot spots scaled with them.
buf = io.BytesIO()
arrow(40, 40).save(buf, format='ICO', sizes=[(16, 16), (32, 32), (40, 40)], bitmap_format='bmp')
ico = buf.getvalue()
open('multi.cur', 'wb').write(as_cursor(ico, [(1, 1), (4, 3), (5, 4)]))
reference(ico, 'multi.png', (40, 40))


# mono.cur: a classic two-colour pointer, 1 bit per pixel, transparency only through the AND mask,
# packed by hand: 16 x 16, black body with a white border, hot spot (0, 0).
def mono_cursor():
    w = h = 16
    body = [[0] * w for _ in range(h)]   # 0 outside, 1 black, 2 white
    for y in range(12):
        for x in range(y + 1):
            body[y][x] = 2 if x == 0 or x == y or y == 11 else 1
    xor_rows, and_rows = [], []
    for y in range(h - 1, -1, -1):        # bottom-up
        xbits = abits = 0
        for x in range(w):
            v = body[y][x]
            if v == 0:
                abits |= 1 << (31 - x)      # transparent: AND 1, XOR 0
            elif v == 2:
                xbits |= 1 << (31 - x)      # white: palette index 1
        xor_rows.append(struct.pack('>I', xbits))
        and_rows.append(struct.pack('>I', abits))
    dib = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 1, 0, 0, 0, 0, 2, 0)
    dib += struct.pack('<4B4B', 0, 0, 0, 0, 255, 255, 255, 0)
    dib += b''.join(xor_rows) + b''.join(and_rows)
    def directory(type_, f1, f2):
        return struct.pack('<HHH', 0, type_, 1) + struct.pack('<BBBBHHII', w, h, 2, 0, f1, f2, len(dib), 22)
    return directory(2, 0, 0) + dib, directory(1, 1, 1) + dib


cur, ico = mono_cursor()
open('mono.cur', 'wb').write(cur)
reference(ico, 'mono.png')
