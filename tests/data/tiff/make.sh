#!/bin/sh
# Makes the TIFF fixtures and their references with independent tools: Python/Pillow draws the source
# pictures, ImageMagick (convert) and libtiff-tools (tiffcp, tiffset) write the TIFF files, and
# ImageMagick decodes each one to a PNG reference (ref-*.png).  Run from this folder.
set -eu
IM=/usr/bin/convert
PY=/usr/bin/python3
$PY - <<'PYEOF'
from PIL import Image, ImageDraw
def picture(w, h, seed):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 255) // (w - 1), (y * 255) // (h - 1), ((x // 4 + y // 4 + seed) % 3) * 100)
    d = ImageDraw.Draw(im)
    d.rectangle([w // 4, h // 4, w // 2, h // 2], fill=(255, 255 - 80 * seed, 0))
    d.ellipse([w // 2, h // 3, w - 3, h - 2], fill=(20 * seed, 0, 200))
    return im
picture(37, 23, 0).save("src0.png")
picture(37, 23, 1).save("src1.png")
picture(37, 23, 2).save("src2.png")
a = picture(37, 23, 0).convert("RGBA")
px = a.load()
for y in range(23):
    for x in range(37):
        r, g, b, _ = px[x, y]
        px[x, y] = (r, g, b, (x * 7 + y * 3) % 256)
a.save("srca.png")
PYEOF
$IM src0.png -compress None rgb8-none.tif
$IM src0.png -compress LZW rgb8-lzw.tif
$IM src0.png -compress Zip rgb8-deflate.tif
tiffcp -c packbits rgb8-none.tif rgb8-packbits.tif
$IM src0.png -quality 90 -compress JPEG rgb8-jpeg.tif
tiffcp -c lzw -t -w 16 -l 16 rgb8-none.tif rgb8-tiled.tif
tiffcp -p separate -c lzw rgb8-none.tif rgb8-planar.tif
$IM -size 37x23 "gradient:#102030-#f0e0a0" -depth 16 -compress Zip rgb16.tif
$IM -size 37x23 "gradient:#301000-#f0e0a0" -alpha set -channel A -evaluate set 60% +channel -depth 16 rgba16.tif
tiffcp -c jpeg:90 rgb8-none.tif rgb8-jpeg-ycbcr.tif
tiffcp -c lzw -r 2 rgb8-none.tif rgb8-strips.tif
$IM srca.png -colorspace Gray -compress LZW greya.tif
$IM src0.png -colorspace Lab lab.tif
$IM src0.png -colorspace Gray -depth 8 -compress LZW grey8.tif
$IM src0.png -colorspace Gray -depth 16 grey16.tif
$IM src0.png -colorspace Gray -depth 4 grey4.tif
$IM src0.png -colors 12 -type Palette -compress LZW palette.tif
$IM src0.png -colorspace CMYK -compress LZW cmyk.tif
$IM src0.png -colorspace Gray -threshold 50% -type Bilevel -compress Group4 bilevel-g4.tif
tiffcp -c g3 bilevel-g4.tif bilevel-g3.tif
tiffcp -c g3:2d bilevel-g4.tif bilevel-g3-2d.tif
$IM srca.png -compress LZW rgba-unassoc.tif
$IM srca.png -define tiff:alpha=associated -compress None rgba-assoc.tif
$IM src0.png src1.png src2.png -compress LZW three-pages.tif
cp rgb8-none.tif orient6.tif && tiffset -s 274 6 orient6.tif
$PY - <<'PYEOF'
from PIL import Image
# A picture with an embedded ICC profile that is not sRGB: the profile of a wider gamut (written by Qt,
# see ../README.md), assigned to the pixels without converting them.
icc = open("adobergb.icc", "rb").read()
Image.open("src0.png").save("icc-adobergb.tif", icc_profile=icc, compression="tiff_lzw")
# Pillow puts the directory before the pixel data, so a cut file keeps its directory; strips of 2 rows.
from PIL import TiffImagePlugin
TiffImagePlugin.STRIP_SIZE = 2 * 37 * 3
Image.open("src0.png").save("rgb8-strips-first.tif")
PYEOF
# References decoded by ImageMagick.
for f in rgb8-none rgb8-lzw rgb8-deflate rgb8-packbits rgb8-jpeg rgb8-tiled rgb8-planar rgb8-jpeg-ycbcr rgb8-strips rgb8-strips-first rgb16 rgba16 greya lab grey8 grey16 grey4 \
         palette cmyk bilevel-g4 bilevel-g3 bilevel-g3-2d rgba-unassoc rgba-assoc orient6; do
  $IM "$f.tif" -auto-orient "ref-$f.png"
done
for p in 0 1 2; do $IM "three-pages.tif[$p]" "ref-three-pages-$p.png"; done
$IM icc-adobergb.tif -profile srgb.icc ref-icc-adobergb.png
rm -f src0.png src1.png src2.png srca.png
