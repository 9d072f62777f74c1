#!/usr/bin/python3
"""Makes the fixtures of the PCX, DCX, TGA, SGI, PSD, RLA, CUT, CEL/PIC and PSP readers.

Files come from independent tools (ImageMagick 6 `convert`, netpbm, Pillow) or are packed here with
struct from the published format descriptions. Each picture gets a reference PNG beside it: ImageMagick's
decoding of the file where ImageMagick reads the format, else Pillow's rendering of the pixels packed.
Run from tests/data: /usr/bin/python3 make_raster_fixtures.py
"""
import os
import struct
import subprocess
import zlib

from PIL import Image

CONVERT = "/usr/bin/convert"
W, H = 37, 23


def run(*args, stdin=None, stdout=None):
    subprocess.run(args, check=True, stdin=stdin, stdout=stdout)


def source_rgb():
    im = Image.new("RGB", (W, H))
    for y in range(H):
        for x in range(W):
            im.putpixel((x, y), (x * 255 // (W - 1), y * 255 // (H - 1), 200 if (x // 4 + y // 4) % 2 else 30))
    return im


def source_rgba():
    im = source_rgb().convert("RGBA")
    for y in range(H):
        for x in range(W):
            r, g, b, _ = im.getpixel((x, y))
            im.putpixel((x, y), (r, g, b, 255 - (x * 7 + y * 3) % 256))
    return im


def reference(path):
    """ImageMagick's decoding of path, as PNG beside it."""
    run(CONVERT, path, "-strip", os.path.splitext(path)[0] + ".png")


def mkdirs():
    for d in ("pcx", "dcx", "tga", "sgi", "psd", "rla", "cut", "cel", "psp", "tmp"):
        os.makedirs(d, exist_ok=True)


def make_sources():
    source_rgb().save("tmp/rgb.png")
    source_rgb().save("tmp/rgb.ppm")
    source_rgba().save("tmp/rgba.png")
    source_rgb().quantize(16).save("tmp/p16.png")
    source_rgb().quantize(16).convert("RGB").save("tmp/p16.ppm")
    source_rgb().quantize(4).convert("RGB").save("tmp/p4.ppm")
    source_rgb().convert("L").save("tmp/grey.png")
    source_rgb().convert("L").save("tmp/grey.pgm")
    source_rgb().convert("1").save("tmp/mono.png")


def make_pcx():
    run(CONVERT, "tmp/rgb.png", "pcx/im24.pcx")  # 24-bit in three planes, run-length
    run(CONVERT, "tmp/p16.png", "-type", "Palette", "pcx/im8.pcx")  # 8-bit with the trailing palette
    run(CONVERT, "tmp/mono.png", "-type", "Bilevel", "pcx/im1.pcx")  # 1-bit
    with open("pcx/netpbm4planes.pcx", "wb") as f:  # 16 colours as 1 bit x 4 planes
        run("ppmtopcx", "tmp/p16.ppm", stdout=f)
    with open("pcx/netpbm2bit.pcx", "wb") as f:  # 4 colours packed 2 bits per pixel
        run("ppmtopcx", "-packed", "tmp/p4.ppm", stdout=f)
    with open("pcx/netpbm24.pcx", "wb") as f:
        run("ppmtopcx", "-24bit", "tmp/rgb.ppm", stdout=f)
    Image.open("tmp/rgb.png").save("pcx/pillow24.pcx")
    Image.open("tmp/p16.png").save("pcx/pillow8.pcx")
    for name in ("im24", "im8", "im1", "netpbm4planes", "netpbm2bit", "netpbm24", "pillow24", "pillow8"):
        reference("pcx/%s.pcx" % name)
    # Pillow writes 1-bit pictures with an all-zero header palette, which means black and white; ImageMagick
    # shows them all black, so the reference is Pillow's decoding.
    Image.open("tmp/mono.png").save("pcx/pillow1.pcx")
    Image.open("pcx/pillow1.pcx").convert("L").save("pcx/pillow1.png")


def make_dcx():
    # Three pages of different sizes and kinds.
    src = source_rgb()
    src.crop((0, 0, 20, 10)).save("tmp/page1.png")
    src.quantize(8).save("tmp/page2.png")
    src.convert("L").crop((5, 5, 30, 20)).save("tmp/page3.png")
    run(CONVERT, "tmp/page1.png", "tmp/page2.png", "tmp/page3.png", "dcx/three.dcx")
    for i in range(3):
        run(CONVERT, "dcx/three.dcx[%d]" % i, "-strip", "dcx/three-%d.png" % (i + 1))


def make_tga():
    run(CONVERT, "tmp/rgb.png", "-compress", "None", "tga/im24.tga")
    run(CONVERT, "tmp/rgb.png", "-compress", "RLE", "tga/im24rle.tga")
    run(CONVERT, "tmp/rgba.png", "-compress", "RLE", "tga/im32rle.tga")
    run(CONVERT, "tmp/grey.png", "-type", "Grayscale", "tga/imgrey.tga")
    run(CONVERT, "tmp/p16.png", "-type", "Palette", "-compress", "RLE", "tga/impalrle.tga")
    with open("tga/netpbmcmap.tga", "wb") as f:
        run("ppmtotga", "-cmap", "-norle", "tmp/p16.ppm", stdout=f)
    with open("tga/netpbmrle.tga", "wb") as f:
        run("ppmtotga", "-rgb", "tmp/rgb.ppm", stdout=f)
    Image.open("tmp/rgb.png").save("tga/pillowtopleft.tga", orientation=1, compression="tga_rle")
    # 16-bit true colour, top-right origin (stored right to left), packed from the format description.
    src = source_rgb()
    rows = []
    for y in range(H):
        row = b""
        for x in reversed(range(W)):
            r, g, b = src.getpixel((x, y))
            v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) | 0x8000
            row += struct.pack("<H", v)
        rows.append(row)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, W, H, 16, 0x30)
    with open("tga/packed16rtl.tga", "wb") as f:
        f.write(header + b"".join(rows))
    # 8-bit indices into a colour map of 15-bit entries that starts at index 5, bottom-left origin.
    pal = source_rgb().quantize(16)
    colours = pal.getpalette()[:48]
    cmap = b""
    for i in range(16):
        r, g, b = colours[3 * i:3 * i + 3]
        cmap += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
    header = struct.pack("<BBBHHBHHHHBB", 0, 1, 1, 5, 16, 15, 0, 0, W, H, 8, 0)
    pix = b"".join(bytes(pal.getpixel((x, y)) + 5 for x in range(W)) for y in reversed(range(H)))
    with open("tga/packedmap15.tga", "wb") as f:
        f.write(header + cmap + pix)
    for name in ("im24", "im24rle", "im32rle", "imgrey", "impalrle", "netpbmcmap", "netpbmrle", "pillowtopleft",
                 "packed16rtl", "packedmap15"):
        # ImageMagick keeps the stored row order and records the origin as an orientation; -auto-orient
        # applies it. (ImageMagick 6 writes its own files top row first with a bottom-left origin, so they
        # show upside down in every reader that follows the origin bit, Pillow included.)
        path = "tga/%s.tga" % name
        run(CONVERT, path, "-auto-orient", "-strip", path[:-4] + ".png")
        # Pillow agrees (5-bit levels: Pillow widens them as v << 3, ImageMagick as v * 255 / 31), except
        # for the 15-bit colour map, which Pillow 9.4 shows as grey.
        if name == "packedmap15":
            continue
        pillow = Image.open(path).convert("RGBA").getdata()
        magick = Image.open(path[:-4] + ".png").convert("RGBA").getdata()
        assert max(abs(a - b) for p, q in zip(pillow, magick) for a, b in zip(p, q)) <= 7, name


def make_sgi():
    run(CONVERT, "tmp/rgb.png", "-compress", "RLE", "sgi/imrle.sgi")
    run(CONVERT, "tmp/rgb.png", "-compress", "None", "sgi/imverbatim.sgi")
    run(CONVERT, "tmp/rgba.png", "-compress", "RLE", "sgi/imrgba.sgi")
    run(CONVERT, "tmp/rgb.png", "-depth", "16", "-compress", "RLE", "sgi/im16rle.sgi")
    run(CONVERT, "tmp/rgb.png", "-depth", "16", "-compress", "None", "sgi/im16.sgi")
    with open("sgi/netpbmgrey.sgi", "wb") as f:
        run("pnmtosgi", "-rle", "tmp/grey.pgm", stdout=f)
    with open("sgi/netpbmverbatim.sgi", "wb") as f:
        run("pnmtosgi", "-verbatim", "tmp/rgb.ppm", stdout=f)
    Image.open("tmp/rgb.png").save("sgi/pillow.sgi")
    # Grey and alpha (two channels), run-length, packed from the format description.
    src = source_rgba()
    chans = [[src.getpixel((x, y))[0] for x in range(W)] for y in range(H)], \
            [[src.getpixel((x, y))[3] for x in range(W)] for y in range(H)]
    rows = []
    for c in range(2):
        for y in reversed(range(H)):  # bottom row first
            data = chans[c][y]
            out = b""
            i = 0
            while i < W:  # alternate literal packets of up to 5 and runs
                n = min(5, W - i)
                out += bytes([0x80 | n]) + bytes(data[i:i + n])
                i += n
            rows.append(out + b"\0")
    header = struct.pack(">HBBHHHH", 474, 1, 1, 3, W, H, 2) + struct.pack(">II", 0, 255)
    header = header.ljust(512, b"\0")
    offset = 512 + len(rows) * 8
    starts, lengths = [], []
    for r in rows:
        starts.append(offset)
        lengths.append(len(r))
        offset += len(r)
    with open("sgi/packedgreyalpha.sgi", "wb") as f:
        f.write(header + struct.pack(">%dI" % len(rows), *starts) + struct.pack(">%dI" % len(rows), *lengths) + b"".join(rows))
    for name in ("imrle", "imverbatim", "imrgba", "im16rle", "im16", "netpbmgrey", "netpbmverbatim", "pillow"):
        reference("sgi/%s.sgi" % name)
    # ImageMagick shows the grey channel of the two-channel file but drops its alpha, and Pillow does not
    # read two channels: the reference is the grey and alpha packed.
    la = Image.new("LA", (W, H))
    la.putdata([(chans[0][y][x], chans[1][y][x]) for y in range(H) for x in range(W)])
    la.save("sgi/packedgreyalpha.png")


def make_psd():
    run(CONVERT, "tmp/rgb.png", "psd/imrgb.psd")  # PackBits
    run(CONVERT, "tmp/rgb.png", "-compress", "None", "psd/imraw.psd")
    run(CONVERT, "tmp/rgba.png", "psd/imrgba.psd")
    run(CONVERT, "tmp/grey.png", "-type", "Grayscale", "psd/imgrey.psd")
    run(CONVERT, "tmp/rgb.png", "psd/imlarge.psb")  # the large-document variant (version 2)
    run(CONVERT, "tmp/rgb.png", "-depth", "16", "psd/im16.psd")
    run(CONVERT, "tmp/rgb.png", "-colorspace", "CMYK", "psd/imcmyk.psd")
    run(CONVERT, "tmp/mono.png", "-type", "Bilevel", "psd/imbitmap.psd")
    for name in ("imrgb.psd", "imraw.psd", "imgrey.psd", "im16.psd", "imcmyk.psd", "imbitmap.psd", "imlarge.psb"):
        # The composite alone ([0]); ImageMagick renders CMYK naively like the reader.
        run(CONVERT, "psd/%s[0]" % name, "-colorspace", "sRGB", "-strip", "psd/%s.png" % name.split(".")[0])
        # Pillow reads 8-bit PSD and agrees (its CMYK conversion subtracts instead of multiplying).
        if name.endswith(".psd") and name not in ("im16.psd", "imcmyk.psd"):
            magick = Image.open("psd/%s.png" % name.split(".")[0]).convert("RGB").getdata()
            assert list(Image.open("psd/" + name).convert("RGB").getdata()) == list(magick), name
    # ImageMagick 6 reads the composite of its own RGBA file with the channels shifted (red 0, green 247
    # where the picture has 7, 0): the reference is Pillow's decoding.
    Image.open("psd/imrgba.psd").convert("RGBA").save("psd/imrgba.png")
    # Indexed colour (ImageMagick 6 cannot read its own indexed files back): packed from the format
    # description, raw data; the reference is Pillow's decoding.
    pal = source_rgb().quantize(16)
    colours = pal.getpalette()[:48] + [0] * (768 - 48)
    table = bytes(colours[0::3]) + bytes(colours[1::3]) + bytes(colours[2::3])
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, 1, H, W, 8, 2)
    pix = bytes(pal.getpixel((x, y)) for y in range(H) for x in range(W))
    with open("psd/packedindexed.psd", "wb") as f:
        f.write(header + struct.pack(">I", 768) + table + struct.pack(">I", 0) + struct.pack(">I", 0) +
                struct.pack(">H", 0) + pix)
    Image.open("psd/packedindexed.psd").convert("RGB").save("psd/packedindexed.png")


def rle_rla(data):
    """Run-length encoding of one RLA channel: n >= 0 repeats the next byte n+1 times, n < 0 copies -n bytes."""
    out = b""
    i = 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 128 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            out += struct.pack("b", j - i - 1) + bytes([data[i]])
            i = j
            continue
        j = i
        while j < len(data) and j - i < 127 and not (j + 2 < len(data) and data[j] == data[j + 1] == data[j + 2]):
            j += 1
        j = max(j, i + 1)
        out += struct.pack("b", -(j - i)) + bytes(data[i:j])
        i = j
    return out


def make_rla(path, src, matte):
    w, h = src.size
    header = bytearray(740)
    struct.pack_into(">4h", header, 0, 0, w - 1, 0, h - 1)  # window
    struct.pack_into(">4h", header, 8, 0, w - 1, 0, h - 1)  # active window
    struct.pack_into(">hhhhhh", header, 16, 1, 0, 3, 1 if matte else 0, 0, -2)
    header[28:28 + 3] = b"2.2"
    header[580:580 + 3] = b"rgb"
    struct.pack_into(">hhhhh", header, 658, 8, 0, 8, 0, 0)
    assert len(header) == 740
    lines = []
    for y in reversed(range(h)):  # bottom scanline first
        px = [src.getpixel((x, y)) for x in range(w)]
        line = b""
        for c in range(4 if matte else 3):
            enc = rle_rla(bytes(p[c] for p in px))
            line += struct.pack(">H", len(enc)) + enc
        lines.append(line)
    offsets = []
    at = 740 + 4 * h
    for l in lines:
        offsets.append(at)
        at += len(l)
    with open(path, "wb") as f:
        f.write(bytes(header) + struct.pack(">%dI" % h, *offsets) + b"".join(lines))


def make_rlas():
    make_rla("rla/packedrgb.rla", source_rgb(), False)
    make_rla("rla/packedmatte.rpf", source_rgba(), True)
    # ImageMagick 6.9.11 refuses these files ("corrupt image", whatever the run-length packets), so the
    # reference of the RGB file is the picture that was packed. The matte file holds its colours as they
    # are, where readers take them as multiplied by the matte: its reference is OpenImageIO's decoding.
    source_rgb().save("rla/packedrgb.png")
    subprocess.run(["oiiotool", "rla/packedmatte.rpf", "-o", "rla/packedmatte.png"], check=True)


def cut_line(data):
    """Dr. Halo run-length line: 0x80|n repeats the next byte n times, n copies n bytes, 0 ends the line."""
    out = b""
    i = 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 127 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            out += bytes([0x80 | (j - i), data[i]])
            i = j
            continue
        j = min(len(data), i + 1)
        while j < len(data) and j - i < 127 and not (j + 2 < len(data) and data[j] == data[j + 1] == data[j + 2]):
            j += 1
        out += bytes([j - i]) + bytes(data[i:j])
        i = j
    return out + b"\0"


def make_cut():
    pal = source_rgb().quantize(16)
    body = struct.pack("<HHH", W, H, 0)
    for y in range(H):
        line = cut_line(bytes(pal.getpixel((x, y)) for x in range(W)))
        body += struct.pack("<H", len(line)) + line
    with open("cut/halo.cut", "wb") as f:
        f.write(body)
    with open("cut/nopal.cut", "wb") as f:
        f.write(body)
    # The palette file: a 40-byte header, then red, green, blue words scaled to 255 here.
    colours = pal.getpalette()[:48]
    header = b"AH" + struct.pack("<HHBBHHHHHH", 0, 0, ord("P"), 0, 0, 0, 15, 255, 255, 255) + b"Dr. Halo".ljust(20, b"\0")
    entries = b"".join(struct.pack("<HHH", *colours[3 * i:3 * i + 3]) for i in range(16))
    with open("cut/halo.pal", "wb") as f:
        f.write(header + entries)
    reference("cut/halo.cut")  # ImageMagick reads the sibling palette file too
    # Without the palette file ImageMagick shows the indices as grey levels.
    reference("cut/nopal.cut")


def make_cel():
    # 32-byte header (magic 0x9119, size, position, 8 bits, no compression, data size), 6-bit palette, pixels.
    pal = source_rgb().quantize(64)
    colours = pal.getpalette()[:192]
    vga = bytes(c >> 2 for c in colours).ljust(768, b"\0")
    header = struct.pack("<HHHHHBBI", 0x9119, W, H, 3, 4, 8, 0, W * H).ljust(32, b"\0")
    pix = bytes(pal.getpixel((x, y)) for y in range(H) for x in range(W))
    with open("cel/animator.cel", "wb") as f:
        f.write(header + vga + pix)
    with open("cel/animator.pic", "wb") as f:
        f.write(header + vga + pix)
    expected = Image.new("RGB", (W, H))
    for y in range(H):
        for x in range(W):
            i = pal.getpixel((x, y))
            v = [c >> 2 for c in colours[3 * i:3 * i + 3]]
            expected.putpixel((x, y), tuple((c << 2) | (c >> 4) for c in v))
    expected.save("cel/animator.png")


def psp_block(major, block_id, data):
    if major <= 3:
        return b"~BK\0" + struct.pack("<HII", block_id, len(data), len(data)) + data
    return b"~BK\0" + struct.pack("<HI", block_id, len(data)) + data


def psp_rle(data):
    """PSP run-length: n > 128 repeats the next byte n-128 times, n <= 128 copies n bytes."""
    out = b""
    i = 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 127 and data[j] == data[i]:
            j += 1
        if j - i >= 2:
            out += bytes([128 + j - i, data[i]])
        else:
            j = i + 1
            while j < len(data) and j - i < 128 and not (j + 1 < len(data) and data[j] == data[j + 1]):
                j += 1
            out += bytes([j - i]) + data[i:j]
        i = j
    return out


def psp_channel(major, data, compression, bitmap_type, channel_type, width):
    if compression == 0:  # uncompressed rows are padded to 4 bytes
        pad = (-width) % 4
        data = b"".join(data[i:i + width] + b"\0" * pad for i in range(0, len(data), width))
    if compression == 1:
        comp = psp_rle(data)
    elif compression == 2:
        comp = zlib.compress(data)
    else:
        comp = data
    if major <= 3:
        body = struct.pack("<IIHH", len(comp), len(data), bitmap_type, channel_type) + comp
    else:
        body = struct.pack("<IIIHH", 16, len(comp), len(data), bitmap_type, channel_type) + comp
    return psp_block(major, 5, body)


def psp_file(path, major, compression, layers, width, height, depth=24, palette=None):
    """layers: (rect (l, t, r, b), opacity, visible, channels [(bitmap type, channel type, bytes)])."""
    out = b"Paint Shop Pro Image File\n\x1a".ljust(32, b"\0") + struct.pack("<HH", major, 0)
    attr = struct.pack("<iidBHHHIBIiH", width, height, 72.0, 1, compression, depth, 1, 1 << min(depth, 24), 0,
                       width * height * 3, 0, len(layers))
    if major > 3:
        attr = struct.pack("<I", 4 + len(attr) + 4) + attr + struct.pack("<I", 1)
    out += psp_block(major, 0, attr)
    if palette:
        entries = b"".join(bytes([b, g, r, 0]) for r, g, b in palette)
        pal = struct.pack("<I", len(palette)) + entries
        if major > 3:
            pal = struct.pack("<II", 8, len(palette)) + entries
        out += psp_block(major, 2, pal)
    bank = b""
    for n, (rect, opacity, visible, channels) in enumerate(layers):
        l, t, r, b = rect
        name = ("Layer %d" % n).encode()
        if major > 3:
            info = struct.pack("<H", len(name)) + name + struct.pack("<B4i4iBBBBB4i4iBBBH", 1, l, t, r, b, 0, 0, r - l,
                                                                    b - t, opacity, 0, 1 if visible else 0, 0, 0,
                                                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
            info = struct.pack("<I", 4 + len(info)) + info
            bitmap = struct.pack("<IHH", 8, len(channels), len(channels))
        else:
            info = name.ljust(256, b"\0") + struct.pack("<B4i4iBBBBB4i4iBBBH", 1, l, t, r, b, 0, 0, r - l, b - t,
                                                       opacity, 0, 1 if visible else 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                       0, 0, 0, 0, 0)
            info += b"\0" * 40
            bitmap = struct.pack("<HH", len(channels), len(channels))
        chans = b"".join(psp_channel(major, data, compression, bt, ct, r - l) for bt, ct, data in channels)
        bank += psp_block(major, 4, info + bitmap + chans)
    out += psp_block(major, 3, bank)
    with open(path, "wb") as f:
        f.write(out)


def make_psp():
    src = source_rgb()
    w, h = src.size
    rgb = [bytes(src.getpixel((x, y))[c] for y in range(h) for x in range(w)) for c in range(3)]
    layer = ((0, 0, w, h), 255, True, [(0, 1, rgb[0]), (0, 2, rgb[1]), (0, 3, rgb[2])])
    # A second, smaller layer on top: a red square 6x5 at (10, 8) with a transparency mask that hides
    # its left column; and a hidden layer that must not show.
    red = [bytes([255] * 30), bytes([0] * 30), bytes([0] * 30)]
    mask = bytes([0 if x == 0 else 255 for y in range(5) for x in range(6)])
    top = ((10, 8, 16, 13), 255, True, [(0, 1, red[0]), (0, 2, red[1]), (0, 3, red[2]), (1, 0, mask)])
    hidden = ((0, 0, 4, 4), 255, False, [(0, 1, bytes(16)), (0, 2, bytes(16)), (0, 3, bytes(16))])
    psp_file("psp/v6lz77.psp", 4, 2, [layer, top, hidden], w, h)
    psp_file("psp/v6rle.psp", 4, 1, [layer, top, hidden], w, h)
    psp_file("psp/v5raw.psp", 3, 0, [layer, top, hidden], w, h)
    expected = src.copy()
    for y in range(8, 13):
        for x in range(11, 16):
            expected.putpixel((x, y), (255, 0, 0))
    expected.save("psp/expected.png")
    # Version 4 with no layer but a composite image bank: a 10x6 thumbnail first, then the full picture,
    # LZ77 channels.
    def composite(width, height, planes):
        attrs = struct.pack("<iiHHHIH", width, height, 24, 2, 1, 1 << 24, 0 if width == w else 1)
        attrs = struct.pack("<I", 4 + len(attrs)) + attrs
        info = struct.pack("<IHH", 8, 1, 3)
        chans = b"".join(psp_channel(4, planes[c], 2, 0, c + 1, width) for c in range(3))
        return psp_block(4, 17, attrs) + psp_block(4, 9, info + chans)
    thumb = src.resize((10, 6))
    tplanes = [bytes(thumb.getpixel((x, y))[c] for y in range(6) for x in range(10)) for c in range(3)]
    bank = struct.pack("<II", 8, 2) + composite(10, 6, tplanes) + composite(w, h, rgb)
    out = b"Paint Shop Pro Image File\n\x1a".ljust(32, b"\0") + struct.pack("<HH", 4, 0)
    attr = struct.pack("<iidBHHHIBIiH", w, h, 72.0, 1, 2, 24, 1, 1 << 24, 0, w * h * 3, 0, 0)
    out += psp_block(4, 0, struct.pack("<I", 4 + len(attr) + 4) + attr + struct.pack("<I", 1))
    out += psp_block(4, 16, bank)
    with open("psp/v6composite.psp", "wb") as f:
        f.write(out)
    src.save("psp/v6composite.png")
    # An 8-bit palette picture, run-length, one layer.
    pal = src.quantize(16)
    colours = pal.getpalette()[:48]
    index = bytes(pal.getpixel((x, y)) for y in range(h) for x in range(w))
    psp_file("psp/v6indexed.psp", 4, 1, [((0, 0, w, h), 255, True, [(0, 0, index)])], w, h, 8,
             [tuple(colours[3 * i:3 * i + 3]) for i in range(16)])
    pal.convert("RGB").save("psp/v6indexed.png")


if __name__ == "__main__":
    mkdirs()
    make_sources()
    make_pcx()
    make_dcx()
    make_tga()
    make_sgi()
    make_psd()
    make_rlas()
    make_cut()
    make_cel()
    make_psp()
    subprocess.run(["rm", "-rf", "tmp"], check=True)
