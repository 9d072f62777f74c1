#!/usr/bin/env bash
# Makes the PNG fixtures of this folder with independent tools: ImageMagick 6 (convert), Python 3 with
# Pillow (python3-pil, LittleCMS through ImageCms) and netpbm (pngtopam). Each NAME.png has a reference
# NAME.rgba (8-bit RGBA rows, written by ImageMagick) or NAME.rgba16 (16-bit big-endian RGBA rows).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 ../make_icc.py "$tmp/wide.icc"
# Sources, 37 x 23: 8-bit RGBA (gradients, stripes, alpha ramp) and 16-bit RGBA (fine ramps) as PAM.
/usr/bin/python3 - "$tmp" <<'PY'
import random, struct, sys
from PIL import Image
random.seed(11)
w, h = 37, 23
im = Image.new('RGBA', (w, h))
px = im.load()
for y in range(h):
    for x in range(w):
        px[x, y] = (x * 255 // (w - 1), y * 255 // (h - 1), 40 + 170 * ((x // 5 + y // 3) % 2),
                    255 if x < 6 else (x * 7 + y * 3) % 256)
im.save(sys.argv[1] + '/src8.png')
with open(sys.argv[1] + '/src16.pam', 'wb') as f:
    f.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h))
    for y in range(h):
        for x in range(w):
            f.write(struct.pack('>4H', x * 65535 // (w - 1) ^ (y * 37), y * 65535 // (h - 1) ^ (x * 11),
                                (x * y * 97 + 12345) % 65536, 65535 if x < 6 else (x * 1733 + y * 911) % 65536))
PY
s8="$tmp/src8.png"; s16="$tmp/src16.pam"
ct() { echo "-define png:color-type=$1 -define png:bit-depth=$2 -define png:exclude-chunk=date,time"; }
for d in 1 2 4 8; do
  convert "$s8" -alpha off -colorspace gray -posterize $((1 << d)) $(ct 0 $d) g$d.png
done
convert "$s16" -alpha off -colorspace gray $(ct 0 16) g16.png
convert "$s8" -colorspace gray $(ct 4 8) ga8.png
convert "$s16" -colorspace gray $(ct 4 16) ga16.png
convert "$s8" -alpha off $(ct 2 8) rgb8.png
convert "$s16" -alpha off $(ct 2 16) rgb16.png
convert "$s8" $(ct 6 8) rgba8.png
convert "$s16" $(ct 6 16) rgba16.png
convert "$s8" $(ct 6 8) -interlace PNG rgba8i.png
convert "$s16" -alpha off -colorspace gray $(ct 0 16) -interlace PNG g16i.png
# Palette with partial alpha, colour key on RGB and on grey, gAMA 1.0, iCCP (Pillow).
/usr/bin/python3 - "$tmp" <<'PY'
import io, struct, sys
from PIL import Image, ImageCms, PngImagePlugin
src = Image.open(sys.argv[1] + '/src8.png').convert('RGB')
for d, n in ((1, 2), (2, 4), (4, 13), (8, 200)):
    src.quantize(n).save('p%d.png' % d)
p = src.quantize(40)
p.save('p8trns.png', transparency=bytes((i * 37) % 256 for i in range(40)))
key = src.getpixel((0, 0))
src.save('rgbtrns.png', transparency=key)
g = src.convert('L')
g.save('gtrns.png', transparency=g.getpixel((3, 3)))
info = PngImagePlugin.PngInfo()
info.add(b'gAMA', struct.pack('>I', 100000))
src.save('gamma10.png', pnginfo=info)
icc = open(sys.argv[1] + '/wide.icc', 'rb').read()
src.save('icc.png', icc_profile=icc)
ImageCms.profileToProfile(src, ImageCms.ImageCmsProfile(io.BytesIO(icc)), ImageCms.createProfile('sRGB'),
                          outputMode='RGB').convert('RGBA').save(sys.argv[1] + '/icc_ref.png')
PY
convert p4.png -interlace PNG -define png:exclude-chunk=date,time p4i.png
for f in g1 g2 g4 g8 ga8 rgb8 rgba8 rgba8i p1 p2 p4 p8 p4i p8trns rgbtrns gtrns; do
  convert $f.png -depth 8 rgba:$f.rgba
done
# 16-bit references come from netpbm: ImageMagick's 16-bit raw export is not the file's samples.
for f in g16 ga16 rgb16 rgba16 g16i; do
  pngtopam -alphapam $f.png | /usr/bin/python3 -c '
import sys
data = sys.stdin.buffer.read()
head, body = data.split(b"ENDHDR\n", 1) if data.startswith(b"P7") else (None, None)
if head is None:  # P5/P6 without alpha
    parts = data.split(None, 4)
    depth, body = (1 if parts[0] == b"P5" else 3), parts[4]
else:
    depth = int(head.split(b"DEPTH ")[1].split()[0])
out = bytearray()
for i in range(0, len(body), 2 * depth):
    s = [body[i + 2 * k:i + 2 * k + 2] for k in range(depth)]
    rgb = s[:1] * 3 if depth in (1, 2) else s[:3]
    a = s[-1] if depth in (2, 4) else b"\xff\xff"
    out += b"".join(rgb) + a
sys.stdout.buffer.write(out)' > $f.rgba16
done
# gAMA reference: netpbm corrects for a display gamma of 2.2.
pngtopam -gamma=2.2 gamma10.png | convert - -depth 8 rgba:gamma10.rgba
convert "$tmp/icc_ref.png" -depth 8 rgba:icc.rgba
# Check that every file has the colour type, depth and interlace its name promises.
/usr/bin/python3 - <<'PY'
import struct
want = {'g1': (0, 1), 'g2': (0, 2), 'g4': (0, 4), 'g8': (0, 8), 'g16': (0, 16), 'ga8': (4, 8), 'ga16': (4, 16),
        'rgb8': (2, 8), 'rgb16': (2, 16), 'rgba8': (6, 8), 'rgba16': (6, 16), 'rgba8i': (6, 8, 1),
        'g16i': (0, 16, 1), 'p1': (3, 1), 'p2': (3, 2), 'p4': (3, 4), 'p8': (3, 8), 'p4i': (3, 4, 1),
        'p8trns': (3, 8), 'rgbtrns': (2, 8), 'gtrns': (0, 8), 'gamma10': (2, 8), 'icc': (2, 8)}
for name, w in want.items():
    b = open(name + '.png', 'rb').read()
    depth, ctype, interlace = b[24], b[25], b[28]
    got = (ctype, depth, interlace) if interlace else (ctype, depth)
    assert got == w, (name, got, w)
    if name.endswith('trns'):
        assert b'tRNS' in b, name
PY
