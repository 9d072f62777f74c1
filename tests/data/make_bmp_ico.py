#!/usr/bin/env python3
"""Makes the BMP and ICO fixtures of tests/data/bmp and tests/data/ico.

Pictures and most bitmaps come from ImageMagick (/usr/bin/convert); the variants ImageMagick does not
write (top-down, OS/2 2.x, unusual bit fields, RLE4 and RLE8 with deltas, plain DIB, icons with 1..24-bit
and PNG images) are packed here with struct. Every reference picture (X.png beside X.bmp) is the
fixture decoded by ImageMagick, except for the RLE files with deltas, whose expected pixels this
script writes from its own model of the runs.
"""
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BMP = os.path.join(HERE, "bmp")
ICO = os.path.join(HERE, "ico")
IM = "/usr/bin/convert"


def im(*args):
    subprocess.run([IM, *args], check=True)


def ref(path, out=None):
    """The picture as ImageMagick decodes it, 8 bits per channel with alpha."""
    out = out or os.path.splitext(path)[0] + ".png"
    im(path, "-strip", "-depth", "8", "png32:" + out)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def ppm(path, rows):
    """rows: list of rows (top first) of (r, g, b)."""
    h, w = len(rows), len(rows[0])
    body = bytes(c for row in rows for px in row for c in px)
    write(path, b"P6\n%d %d\n255\n" % (w, h) + body)


def bmp_file(info_header, pixels, palette=b""):
    off = 14 + len(info_header) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info_header + palette + pixels


def main():
    os.makedirs(BMP, exist_ok=True)
    os.makedirs(ICO, exist_ok=True)
    src = os.path.join(BMP, "src.png")
    # 37 x 23: odd width, so every row has padding.
    im("-size", "37x23", "gradient:red-blue", "(", "-size", "37x23", "xc:none", "-fill", "green",
       "-draw", "circle 18,11 18,3", ")", "-composite", "-alpha", "off", "-strip", "png24:" + src)
    j = lambda name: os.path.join(BMP, name)
    im(src, "-define", "bmp:format=bmp3", "-type", "truecolor", j("t24.bmp"))
    im(src, "-define", "bmp:format=bmp3", "-type", "palette", "-compress", "None", j("p8.bmp"))
    im(src, "-define", "bmp:format=bmp3", "-colors", "16", "-type", "palette", "-compress", "None", j("p4.bmp"))
    im(src, "-define", "bmp:format=bmp3", "-monochrome", j("m1.bmp"))
    im(src, "-define", "bmp:format=bmp3", "-type", "palette", "-compress", "RLE", j("r8.bmp"))
    im(src, "-define", "bmp:format=bmp2", "-type", "palette", j("o8.bmp"))
    im(src, "-define", "bmp:format=bmp2", "-type", "truecolor", j("o24.bmp"))
    im(src, "-define", "bmp:subtype=RGB565", j("s565.bmp"))
    im(src, "-define", "bmp:subtype=RGB555", j("s555.bmp"))
    im(src, "-type", "truecolor", j("v5_24.bmp"))
    im("-size", "20x14", "gradient:rgba(255,0,0,1)-rgba(0,0,255,0.2)", j("a32.bmp"))
    for name in ["t24", "p8", "p4", "m1", "r8", "o8", "o24", "s565", "s555", "v5_24", "a32"]:
        ref(j(name + ".bmp"))

    # An embedded ICC profile (version 5 header): the Adobe-RGB-compatible profile of Debian's
    # ghostscript; the references are ImageMagick's (LittleCMS) conversion of the pixels to sRGB.
    a98 = "/usr/share/color/icc/ghostscript/a98.icc"
    srgb = "/usr/share/color/icc/ghostscript/srgb.icc"
    im(src, "-profile", a98, "-type", "truecolor", j("icc24.bmp"))
    im(src, "-profile", a98, "-type", "palette", "-compress", "None", j("icc8.bmp"))
    for name in ["icc24", "icc8"]:
        im(j(name + ".bmp"), "-profile", srgb, "-strip", "-depth", "8", "png32:" + j(name + ".png"))

    t24 = read(j("t24.bmp"))
    off = struct.unpack_from("<I", t24, 10)[0]
    w, h = struct.unpack_from("<ii", t24, 18)
    stride = (w * 3 + 3) & ~3
    rows = [t24[off + i * stride: off + (i + 1) * stride] for i in range(h)]
    # Top-down: negative height, rows from the top.
    hdr = bytearray(t24[14:54])
    struct.pack_into("<i", hdr, 8, -h)
    write(j("td24.bmp"), bmp_file(bytes(hdr), b"".join(reversed(rows))))
    ref(j("td24.bmp"))
    # Plain DIB: the information header first, no file header.
    write(j("t24.dib"), t24[14:])

    # 32 bits with bit fields after a 40-byte header: red in the top byte, the low byte unused.
    hdr = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 3, 0, 2835, 2835, 0, 0)
    masks = struct.pack("<III", 0xFF000000, 0x00FF0000, 0x0000FF00)
    px = bytearray()
    for i in range(h):
        row = rows[i]
        for x in range(w):
            b, g, r = row[3 * x], row[3 * x + 1], row[3 * x + 2]
            px += struct.pack("<I", (r << 24) | (g << 16) | (b << 8) | 0x5A)
    write(j("bf32.bmp"), bmp_file(hdr + masks, bytes(px)))  # compared with t24.png
    # 16 bits, 4 bits a channel (X4R4G4B4) with the masks in a 56-byte header.
    hdr = struct.pack("<IiiHHIIiiIIIIII", 56, w, h, 1, 16, 3, 0, 0, 0, 0, 0, 0x0F00, 0x00F0, 0x000F, 0)
    px = bytearray()
    expected = []
    for i in range(h):
        row = rows[i]
        line = []
        for x in range(w):
            b, g, r = row[3 * x] >> 4, row[3 * x + 1] >> 4, row[3 * x + 2] >> 4
            px += struct.pack("<H", (r << 8) | (g << 4) | b)
            line.append((r * 17, g * 17, b * 17))  # 4 bits scaled to the full range
        px += b"\0\0" * (w % 2)
        expected.insert(0, line)
    write(j("bf16.bmp"), bmp_file(hdr, bytes(px)))
    ppm(j("bf16.ppm"), expected)

    # OS/2 2.x: the 8-bit picture of p8.bmp with a 64-byte header.
    p8 = read(j("p8.bmp"))
    poff = struct.unpack_from("<I", p8, 10)[0]
    ncol = struct.unpack_from("<I", p8, 46)[0] or 256
    palette = p8[54:54 + 4 * ncol]
    hdr = struct.pack("<IiiHHIIiiII", 64, w, h, 1, 8, 0, 0, 0, 0, ncol, 0) + bytes(24)
    write(j("os2v2.bmp"), bmp_file(hdr, p8[poff:], palette))
    ref(j("os2v2.bmp"))

    # RLE4 with delta, end-of-line, clipped runs and absolute runs; expected pixels from our model.
    pal16 = [(i * 16, 255 - i * 16, (i * 97) % 256) for i in range(16)]
    W, H = 10, 6
    grid = [[0] * W for _ in range(H)]  # grid[y] with y counted from the bottom
    data = bytearray()
    # row 0: run 4 of 1,2; absolute 5 pixels 3..7 (3 bytes, padded); end of line
    data += bytes([4, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0])
    for x, v in enumerate([1, 2, 1, 2, 3, 4, 5, 6, 7]):
        grid[0][x] = v
    # row 1: run of 14 clipped to the row; end of line
    data += bytes([14, 0x89, 0, 0])
    for x in range(W):
        grid[1][x] = 8 if x % 2 == 0 else 9
    # delta right 3 and up 1: row 2 untouched, row 3 from x=3: run 3 of A,B; end of line
    data += bytes([0, 2, 3, 1, 3, 0xAB, 0, 0])
    for x, v in zip(range(3, 6), [10, 11, 10]):
        grid[3][x] = v
    # row 4: absolute 12 pixels (6 bytes, even), clipped to 10; end of line
    data += bytes([0, 12, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0, 0])
    for x in range(W):
        grid[4][x] = x + 1
    # row 5: run 2 of C,D; end of bitmap
    data += bytes([2, 0xCD, 0, 1])
    grid[5][0], grid[5][1] = 12, 13
    hdr = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 4, 2, len(data), 0, 0, 16, 0)
    write(j("rle4.bmp"), bmp_file(hdr, bytes(data), b"".join(bytes([b, g, r, 0]) for r, g, b in pal16)))
    ppm(j("rle4.ppm"), [[pal16[v] for v in grid[y]] for y in reversed(range(H))])

    # RLE8, odd width: absolute run with padding, delta across rows, a row ended by end of bitmap.
    pal20 = [((i * 13) % 256, (i * 41) % 256, 255 - i * 12) for i in range(20)]
    W, H = 9, 5
    grid = [[0] * W for _ in range(H)]
    data = bytearray()
    data += bytes([0, 3, 5, 6, 7, 0, 2, 19, 0, 0])  # absolute 5,6,7 (+pad), run 2 of 19, end of line
    for x, v in enumerate([5, 6, 7, 19, 19]):
        grid[0][x] = v
    data += bytes([20, 4, 0, 0])  # run of 20 clipped to 9
    for x in range(W):
        grid[1][x] = 4
    data += bytes([0, 2, 7, 1, 3, 1])  # delta from (0, 2) to (7, 3): run 3 of 1 clipped to 2 pixels
    grid[3][7] = grid[3][8] = 1
    data += bytes([0, 0, 1, 17, 0, 1])  # end of line; row 4: one pixel 17; end of bitmap
    grid[4][0] = 17
    hdr = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, len(data), 0, 0, 20, 0)
    write(j("rle8.bmp"), bmp_file(hdr, bytes(data), b"".join(bytes([b, g, r, 0]) for r, g, b in pal20)))
    ppm(j("rle8.ppm"), [[pal20[v] for v in grid[y]] for y in reversed(range(H))])

    # Icons. ImageMagick: 32-bit images of 32 and 16 pixels.
    k = lambda name: os.path.join(ICO, name)
    isrc = k("src.png")
    im("-size", "32x32", "gradient:rgba(255,255,0,1)-rgba(0,0,128,0.25)", "(", "-size", "32x32", "xc:none", "-fill",
       "rgba(0,200,0,0.5)", "-draw", "circle 16,16 16,4", ")", "-composite", "-alpha", "set", "-strip", "png32:" + isrc)
    im(isrc, "-define", "icon:auto-resize=32,16", k("multi.ico"))
    ref(k("multi.ico[0]"), k("multi-0.png"))
    ref(k("multi.ico[1]"), k("multi-1.png"))
    # A 256 x 256 image (ImageMagick stores it as PNG) before a 48 x 48 bitmap.
    im(isrc, "-define", "icon:auto-resize=256,48", k("big.ico"))

    # 1, 4, 8 and 24 bits with AND masks: the DIBs of ImageMagick bitmaps with doubled heights.
    entries = []
    for i, (bits, args) in enumerate([(1, ["-monochrome"]), (4, ["-colors", "16", "-type", "palette"]),
                                      (8, ["-type", "palette"]), (24, ["-type", "truecolor"])]):
        side = 16 + 8 * i  # 16, 24, 32, 40: distinct areas
        tmp = k("tmp.bmp")
        im(isrc, "-alpha", "off", "-resize", "%dx%d!" % (side, side), "-define", "bmp:format=bmp3",
           "-compress", "None", *args, tmp)
        b = read(tmp)
        os.remove(tmp)
        assert struct.unpack_from("<H", b, 28)[0] == bits, bits
        off = struct.unpack_from("<I", b, 10)[0]
        dib = bytearray(b[14:])
        struct.pack_into("<i", dib, 8, 2 * side)
        struct.pack_into("<I", dib, 20, 0)
        dib = bytes(dib[: off - 14]) + b[off:]
        mstride = ((side + 31) // 32) * 4
        mask = bytearray()
        for y in range(side):  # bottom row first
            row = bytearray(mstride)
            for x in range(side):
                if (x + y) % 5 == 0 or x < 2:
                    row[x >> 3] |= 0x80 >> (x & 7)
            mask += row
        entries.append((side, bits, dib + bytes(mask)))
    # a PNG image of 48 x 40 made by ImageMagick
    tmp = k("tmp.png")
    im(isrc, "-resize", "48x40!", "-strip", "png32:" + tmp)
    entries.append((48, 32, read(tmp)))
    os.remove(tmp)
    out = struct.pack("<HHH", 0, 1, len(entries))
    pos = 6 + 16 * len(entries)
    blobs = b""
    for side, bits, blob in entries:
        out += struct.pack("<BBBBHHII", side & 0xFF, side & 0xFF, 0, 0, 1, bits, len(blob), pos + len(blobs))
        blobs += blob
    write(k("depths.ico"), out + blobs)
    for i in range(len(entries)):
        ref(k("depths.ico[%d]" % i), k("depths-%d.png" % i))


if __name__ == "__main__":
    main()
