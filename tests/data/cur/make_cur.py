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


# tall.cur and wide.cur: cursors of one pixel's width (1 x 4) and one pixel's height (4 x 1) whose
# bitmap header gives the height of the colour rows only, as some cursor writers store it (the usual
# header counts the colour rows and the mask rows), with a 1-bit AND mask after the colour rows.
# tall.cur has 1 bit per pixel (rows black, white, transparent, white from the top), wide.cur 32 bits
# with an alpha byte of 0 throughout (pixels red, transparent, green, blue from the left). The
# references are drawn from the same definitions (no independent decoder reads such headers).
def small_cursor(w, h, pixels, bits):
    """pixels: rows from the top of (r, g, b, a), a 0 or 255; packed bottom-up with the AND mask."""
    colour_rows, mask_rows = [], []
    for y in range(h - 1, -1, -1):
        row = pixels[y]
        if bits == 1:
            xbits = sum(1 << (31 - x) for x, p in enumerate(row) if p[3] and p[0])
            colour_rows.append(struct.pack('>I', xbits))
        else:
            colour_rows.append(b''.join(struct.pack('<4B', p[2], p[1], p[0], 0) for p in row))
        mask_rows.append(struct.pack('>I', sum(1 << (31 - x) for x, p in enumerate(row) if not p[3])))
    dib = struct.pack('<IiiHHIIiiII', 40, w, h, 1, bits, 0, 0, 0, 0, 2 if bits == 1 else 0, 0)
    if bits == 1:
        dib += struct.pack('<4B4B', 0, 0, 0, 0, 255, 255, 255, 0)
    dib += b''.join(colour_rows) + b''.join(mask_rows)
    cur = struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', w, h, 2 if bits == 1 else 0, 0, 0, 0, len(dib), 22)
    im = Image.new('RGBA', (w, h))
    for y in range(h):
        for x in range(w):
            im.putpixel((x, y), pixels[y][x] if pixels[y][x][3] else (0, 0, 0, 0))
    return cur + dib, im


black, white, none = (0, 0, 0, 255), (255, 255, 255, 255), (0, 0, 0, 0)
cur, im = small_cursor(1, 4, [[black], [white], [none], [white]], 1)
open('tall.cur', 'wb').write(cur)
im.save('tall.png')
cur, im = small_cursor(4, 1, [[(255, 0, 0, 255), none, (0, 255, 0, 255), (0, 0, 255, 255)]], 32)
open('wide.cur', 'wb').write(cur)
im.save('wide.png')
