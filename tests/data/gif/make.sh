#!/bin/sh
# Makes the GIF fixtures and their references with independent tools: Python/Pillow draws the frames,
# ImageMagick (convert) writes the GIF files and decodes each frame, composed with -coalesce, to a PNG
# reference (ref-NAME-N.png).  Run from this folder.
set -eu
IM=/usr/bin/convert
PY=/usr/bin/python3
$PY - <<'PYEOF'
from PIL import Image, ImageDraw
def frame(w, h, colour, hole):
    im = Image.new("RGBA", (w, h), colour)
    d = ImageDraw.Draw(im)
    d.line([0, 0, w - 1, h - 1], fill=(255, 255, 255, 255))
    if hole:
        d.rectangle([w // 3, h // 3, w // 3 + 2, h // 3 + 2], fill=(0, 0, 0, 0))
    return im
bg = Image.new("RGB", (40, 30))
px = bg.load()
for y in range(30):
    for x in range(40):
        px[x, y] = (x * 6, y * 8, 120 if (x // 5 + y // 5) % 2 else 30)
bg.save("f0.png")
frame(12, 10, (250, 40, 40, 255), True).save("f1.png")
frame(15, 12, (40, 250, 40, 255), True).save("f2.png")
frame(10, 8, (40, 40, 250, 255), False).save("f3.png")
frame(8, 8, (250, 250, 0, 255), True).save("f4.png")
frame(20, 16, (0, 200, 200, 255), False).save("f5.png")
big = Image.new("RGB", (61, 47))
px = big.load()
for y in range(47):
    for x in range(61):
        px[x, y] = ((x * 4) % 256, (y * 5) % 256, ((x + y) * 3) % 256)
big.save("big.png")
PYEOF
# Five frames: disposal none, background, previous, background, none; transparent holes; delays; 3 loops.
$IM -loop 3 -dispose None -delay 10 -page 40x30+0+0 f0.png \
    -dispose Background -delay 20 -page +5+4 f1.png \
    -dispose Previous -delay 35 -page +20+10 f2.png \
    -dispose Background -delay 5 -page +28+20 f3.png \
    -dispose None -delay 50 -page +2+20 f4.png anim.gif
# A frame reaching beyond the logical screen (clipped when composed); loops for ever.
$IM -loop 0 -dispose None -delay 15 -page 40x30+0+0 f0.png -delay 15 -page +30+20 f5.png outside.gif
# Interlaced still picture with more than 256 colours (reduced by ImageMagick).
$IM big.png -interlace GIF interlaced.gif
$IM big.png still.gif
for f in anim outside interlaced still; do $IM "$f.gif" -coalesce "ref-$f-%d.png"; done
rm -f f0.png f1.png f2.png f3.png f4.png f5.png big.png
