#!/usr/bin/env bash
# Makes the JPEG fixtures of this folder with independent tools: cjpeg/djpeg (libjpeg-turbo-progs),
# ImageMagick 6 (convert) and Python 3 with Pillow (python3-pil, LittleCMS through ImageCms).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 ../make_icc.py "$tmp/wide.icc"
# A photo-like source: smooth gradients, a disc, a few hard edges and seeded noise.
/usr/bin/python3 - "$tmp" <<'PY'
import random, sys
from PIL import Image, ImageDraw
random.seed(7)
def make(w, h):
    im = Image.new('RGB', (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            n = random.randint(-6, 6)
            px[x, y] = (max(0, min(255, x * 255 // (w - 1) + n)), max(0, min(255, y * 255 // (h - 1) - n)),
                        max(0, min(255, 128 + 100 * ((x // 8 + y // 8) % 2) - 50 + n)))
    d = ImageDraw.Draw(im)
    d.ellipse((w // 4, h // 4, w * 3 // 4, h * 3 // 4), fill=(230, 200, 40))
    d.rectangle((2, h - 10, w // 3, h - 3), fill=(20, 40, 160))
    return im
make(64, 48).save(sys.argv[1] + '/src.ppm')
src = make(40, 24)
for o in (6, 8):
    exif = Image.Exif()
    exif[0x0112] = o
    src.save('exif%d.jpg' % o, quality=90, exif=exif)
icc = open(sys.argv[1] + '/wide.icc', 'rb').read()
make(48, 32).save('icc.jpg', quality=92, icc_profile=icc)
PY
cjpeg -quality 85 "$tmp/src.ppm" > colour.jpg
djpeg -pnm colour.jpg > colour.ppm
for d in 2 4 8; do djpeg -pnm -scale 1/$d colour.jpg > colour_s$d.ppm; done
cjpeg -grayscale -quality 85 "$tmp/src.ppm" > grey.jpg
djpeg -pnm grey.jpg > grey.pgm
cjpeg -progressive -optimize -sample 1x1 -quality 80 "$tmp/src.ppm" > progressive.jpg
djpeg -pnm progressive.jpg > progressive.ppm
# Adobe CMYK (inverted, APP14 transform 0) and YCCK (APP14 transform 2); references converted by ImageMagick.
# ImageMagick writes CMYK pictures as YCCK; Pillow writes plain inverted CMYK.
convert "$tmp/src.ppm" -colorspace CMYK -quality 90 ycck.jpg
convert "$tmp/src.ppm" -colorspace CMYK "$tmp/cmyk.tif"
/usr/bin/python3 -c "from PIL import Image; Image.open('$tmp/cmyk.tif').save('cmyk.jpg', quality=90)"
convert cmyk.jpg -colorspace sRGB cmyk.ppm
convert ycck.jpg -colorspace sRGB ycck.ppm
# Orientation references: ImageMagick turns the picture upright.
for o in 6 8; do convert exif$o.jpg -auto-orient exif$o.ppm; done
# ICC reference: Pillow decodes, LittleCMS converts from the embedded profile to sRGB.
/usr/bin/python3 - <<'PY'
import io
from PIL import Image, ImageCms
im = Image.open('icc.jpg')
src = ImageCms.ImageCmsProfile(io.BytesIO(im.info['icc_profile']))
ImageCms.profileToProfile(im, src, ImageCms.createProfile('sRGB'), outputMode='RGB').save('icc.ppm')
PY
