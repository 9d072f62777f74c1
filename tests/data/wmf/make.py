#!/usr/bin/env python3
"""Writes the WMF/EMF fixtures of this folder by packing the records of the published metafile layouts.

Run from this folder: python3 make.py. Each file's expected geometry is stated beside it and checked by
tests/codec/MetafileTest.cpp.
"""
import struct


# ---------------------------------------------------------------- WMF
def wrec(func, *words, raw=b""):
    body = b"".join(struct.pack("<h" if w < 0 else "<H", w) for w in words) + raw
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, func) + body


def wmf(records, objects, placeable=None):
    body = b"".join(records) + wrec(0x0000)
    maxrec = max(struct.unpack_from("<I", r)[0] for r in records)
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, 9 + len(body) // 2, objects, maxrec, 0)
    out = header + body
    if placeable:
        l, t, r, b, inch = placeable
        p = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, l, t, r, b, inch, 0)
        s = 0
        for i in range(0, 20, 2):
            s ^= struct.unpack_from("<H", p, i)[0]
        out = p + struct.pack("<H", s) + out
    return out


def colorref(r, g, b):
    return r | (g << 8) | (b << 16)


def pen(style, width, color):
    return wrec(0x02FA, style, width, 0, raw=struct.pack("<I", color))


def brush(style, color, hatch=0):
    return wrec(0x02FC, style, raw=struct.pack("<IH", color, hatch))


def font(height, face, weight=400, escapement=0):
    raw = struct.pack("<hhhhhBBBBBBBB", height, 0, escapement, escapement, weight, 0, 0, 0, 0, 0, 0, 0, 0x22)
    raw += face.encode("latin-1").ljust(32, b"\0")
    return wrec(0x02FB, raw=raw)


def points(pts):
    return b"".join(struct.pack("<hh", x, y) for x, y in pts)


def dib8(width, height, rows_top_down, palette):
    """8-bit bottom-up DIB: header, colour table, rows padded to 4 bytes."""
    hdr = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, 0, 0, 0, len(palette), 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    stride = (width + 3) & ~3
    bits = b"".join(bytes(row).ljust(stride, b"\0") for row in reversed(rows_top_down))
    return hdr + table, bits


# A 4 x 4 picture in four quadrants: red top left, green top right, blue bottom left, white bottom right.
QUAD_PALETTE = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
QUAD_ROWS = [[0, 0, 1, 1], [0, 0, 1, 1], [2, 2, 3, 3], [2, 2, 3, 3]]

# shapes.wmf: placeable, 1000 x 500 units at 480 per inch = 200 x 100 pixels.
#   red rectangle (100,100)-(400,400) without outline   -> pixels (20,20)-(80,80)
#   blue ellipse in (500,100)-(900,400)                  -> centre (140,50), radii 40 x 30
#   green polyline y = 450, 10 units wide                -> row 90, 2 pixels wide
#   black text "Hi" at (450,20), 100 units high          -> dark pixels in (90..130, 4..24)
#   an unknown record (function 0x0999) between them     -> skipped
shapes = wmf([
    wrec(0x0103, 8),                     # SetMapMode(MM_ANISOTROPIC)
    wrec(0x020B, 0, 0),                  # SetWindowOrg(y, x)
    wrec(0x020C, 500, 1000),             # SetWindowExt(y, x)
    brush(0, colorref(255, 0, 0)),       # object 0
    pen(5, 0, 0),                        # object 1: PS_NULL
    wrec(0x012D, 0), wrec(0x012D, 1),
    wrec(0x041B, 400, 400, 100, 100),    # Rectangle(bottom, right, top, left)
    wrec(0x0999, 1, 2, 3, 4, 5),         # not a record of the format
    brush(0, colorref(0, 0, 255)),       # object 2
    wrec(0x012D, 2),
    wrec(0x0418, 400, 900, 100, 500),    # Ellipse
    pen(0, 10, colorref(0, 160, 0)),     # object 3
    wrec(0x012D, 3),
    wrec(0x0325, 2, raw=points([(50, 450), (950, 450)])),  # Polyline
    font(-100, "Arial"),                 # object 4
    wrec(0x012D, 4),
    wrec(0x0102, 1),                     # SetBkMode(TRANSPARENT)
    wrec(0x0209, raw=struct.pack("<I", 0)),  # SetTextColor(black)
    wrec(0x012E, 0),                     # SetTextAlign(TA_TOP | TA_LEFT)
    wrec(0x0521, 2, raw=b"Hi" + struct.pack("<hh", 20, 450)),  # TextOut
], objects=5, placeable=(0, 0, 1000, 500, 480))
open("shapes.wmf", "wb").write(shapes)

# plain.wmf: no placeable header; the window (0,0) 300 x 150 gives the size.
#   poly-polygon of two nested squares, ALTERNATE: outer (10,10)-(140,140), inner (50,50)-(100,100) a hole
#   the same, WINDING, moved right by 150: no hole
#   pie of the circle in (0,0)-(300,150)... kept inside: a pie in (160,0)-(300,150)? no: see the tests
alt = points([(10, 10), (140, 10), (140, 140), (10, 140), (50, 50), (100, 50), (100, 100), (50, 100)])
wind = points([(160, 10), (290, 10), (290, 140), (160, 140), (200, 50), (250, 50), (250, 100), (200, 100)])
plain = wmf([
    wrec(0x020B, 0, 0),
    wrec(0x020C, 150, 300),
    brush(0, colorref(0, 0, 0)),          # object 0
    pen(5, 0, 0),                         # object 1
    wrec(0x012D, 0), wrec(0x012D, 1),
    wrec(0x0106, 1),                      # SetPolyFillMode(ALTERNATE)
    wrec(0x0538, 2, 4, 4, raw=alt),       # PolyPolygon
    wrec(0x0106, 2),                      # WINDING
    wrec(0x0538, 2, 4, 4, raw=wind),
], objects=2)
open("plain.wmf", "wb").write(plain)

# lateorigin.wmf: no placeable header; the window 400 x 400 is set, a black disc with a red border fills it
# (Ellipse (0,0)-(400,400)), and only then the origin moves to (200,200) for a short line drawn after it.
# The picture is the disc, centred (ImageMagick draws it so); the origin set afterwards does not move it.
lateorigin = wmf([
    wrec(0x0103, 8),                      # MM_ANISOTROPIC
    wrec(0x020C, 400, 400),               # SetWindowExt
    pen(0, 8, colorref(255, 0, 0)),       # object 0
    brush(0, colorref(0, 0, 0)),          # object 1
    wrec(0x012D, 0), wrec(0x012D, 1),
    wrec(0x0418, 400, 400, 0, 0),         # Ellipse (0,0)-(400,400)
    wrec(0x020B, 200, 200),               # SetWindowOrg (200,200)
    wrec(0x0214, 210, 210),               # MoveTo (210,210)
    wrec(0x0213, 220, 220),               # LineTo (220,220)
], objects=2)
open("lateorigin.wmf", "wb").write(lateorigin)

# dib.wmf: placeable 40 x 40 units at 96 per inch; StretchDIB of the 4 x 4 quadrant picture onto all of it.
info, bits = dib8(4, 4, QUAD_ROWS, QUAD_PALETTE)
dibwmf = wmf([
    wrec(0x020B, 0, 0),
    wrec(0x020C, 40, 40),
    wrec(0x0F43, raw=struct.pack("<IH8h", 0x00CC0020, 0, 4, 4, 0, 0, 40, 40, 0, 0) + info + bits),
], objects=0, placeable=(0, 0, 40, 40, 96))
open("dib.wmf", "wb").write(dibwmf)


# ---------------------------------------------------------------- EMF
def erec(kind, body):
    if len(body) % 4:
        body += b"\0" * (4 - len(body) % 4)
    return struct.pack("<II", kind, 8 + len(body)) + body


def emf(records, width_px, height_px, handles):
    """Header for a 96 dpi reference device (1920 x 1440 pixels, 508 x 381 mm)."""
    eof = erec(14, struct.pack("<III", 0, 16, 20))
    frame = (0, 0, round(width_px * 2540 / 96), round(height_px * 2540 / 96))
    body = b"".join(records) + eof
    hdr_body = struct.pack("<4i4iIIIIHHIIIiiii", 0, 0, width_px - 1, height_px - 1, *frame, 0x464D4520,
                           0x10000, 0, len(records) + 2, handles, 0, 0, 0, 0, 1920, 1440, 508, 381)
    hdr = erec(1, hdr_body)
    total = len(hdr) + len(body)
    hdr = hdr[:48] + struct.pack("<I", total) + hdr[52:]
    return hdr + body


def rectl(l, t, r, b):
    return struct.pack("<4i", l, t, r, b)


def xform(m11, m12, m21, m22, dx, dy):
    return struct.pack("<6f", m11, m12, m21, m22, dx, dy)


NULL_PEN, BLACK_BRUSH, WHITE_BRUSH = 0x80000008, 0x80000004, 0x80000000

# world.emf: 200 x 100 pixels, MM_TEXT.
#   stock NULL_PEN and BLACK_BRUSH; world transform scale 2, offset (20,0): Rectangle(10,10)-(40,40)
#     -> pixels (40,20)-(100,80) black
#   ModifyWorldTransform(identity); SaveDC; IntersectClipRect(120,0)-(160,100); red brush (index 1);
#     Rectangle(110,10)-(190,90) -> red only in x 120..160; RestoreDC(-1): clip gone
#   green brush (index 2): Rectangle(170,85)-(190,95) -> green, outside the old clip
world = emf([
    erec(37, struct.pack("<I", NULL_PEN)),
    erec(37, struct.pack("<I", BLACK_BRUSH)),
    erec(35, xform(2, 0, 0, 2, 20, 0)),                      # SetWorldTransform
    erec(43, rectl(10, 10, 40, 40)),                          # Rectangle
    erec(36, xform(1, 0, 0, 1, 0, 0) + struct.pack("<I", 1)),  # ModifyWorldTransform(MWT_IDENTITY)
    erec(33, b""),                                            # SaveDC
    erec(30, rectl(120, 0, 160, 100)),                        # IntersectClipRect
    erec(39, struct.pack("<IIII", 1, 0, colorref(255, 0, 0), 0)),  # CreateBrushIndirect(1, solid red)
    erec(37, struct.pack("<I", 1)),
    erec(43, rectl(110, 10, 190, 90)),
    erec(34, struct.pack("<i", -1)),                          # RestoreDC(-1)
    erec(39, struct.pack("<IIII", 2, 0, colorref(0, 255, 0), 0)),
    erec(37, struct.pack("<I", 2)),
    erec(43, rectl(170, 85, 190, 95)),
    erec(0x7777, b"unknown record body"),                     # skipped
], 200, 100, 3)
open("world.emf", "wb").write(world)

# dib.emf: 40 x 40 pixels; StretchDIBits of the 4 x 4 quadrant picture onto all of it.
info, bits = dib8(4, 4, QUAD_ROWS, QUAD_PALETTE)
fixed = 80
body = rectl(0, 0, 39, 39) + struct.pack("<6i", 0, 0, 0, 0, 4, 4)
body += struct.pack("<6I", fixed, len(info), fixed + len(info), len(bits), 0, 0x00CC0020) + struct.pack("<2i", 40, 40)
dibemf = emf([erec(81, body + info + bits)], 40, 40, 1)
open("dib.emf", "wb").write(dibemf)

# mapping.emf: 200 x 100 pixels.
#   MM_ANISOTROPIC, window (0,0) ext (1000,-500), viewport (0,100) ext (200,100): y grows upwards;
#     stock BLACK_BRUSH, NULL_PEN; Rectangle(0,0)-(500,250) -> pixels (0,50)-(100,100), the lower left quarter
#   SaveDC, SetMapMode(MM_LOMETRIC) with viewport origin (100,0): 0.1 mm units, y up;
#     Rectangle(0,0)-(100,-100) (10 x 10 mm) -> pixels (100,0)-(~137.8,~37.8)
#   RestoreDC(1)
mapping = emf([
    erec(17, struct.pack("<I", 8)),           # SetMapMode(MM_ANISOTROPIC)
    erec(10, struct.pack("<ii", 0, 0)),       # SetWindowOrgEx
    erec(9, struct.pack("<ii", 1000, -500)),  # SetWindowExtEx
    erec(12, struct.pack("<ii", 0, 100)),     # SetViewportOrgEx
    erec(11, struct.pack("<ii", 200, 100)),   # SetViewportExtEx
    erec(37, struct.pack("<I", NULL_PEN)),
    erec(37, struct.pack("<I", BLACK_BRUSH)),
    erec(43, rectl(0, 0, 500, 250)),
    erec(33, b""),
    erec(17, struct.pack("<I", 2)),           # MM_LOMETRIC
    erec(10, struct.pack("<ii", 0, 0)),
    erec(12, struct.pack("<ii", 100, 0)),
    erec(43, rectl(0, 0, 100, -100)),
    erec(34, struct.pack("<i", 1)),           # RestoreDC(1)
], 200, 100, 1)
open("mapping.emf", "wb").write(mapping)

# text.emf: 200 x 60 pixels; font 40 pixels high (index 1); ExtTextOutW "ABC" at (100,10) centred
# (TA_CENTER) with advances 30, 30, 30: the text spans x 55..145.
logfont = struct.pack("<5i8B", -40, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0x22) + "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
text = "ABC".encode("utf-16-le")
emrtext_off = 8 + 16 + 12 + 8 + 4 + 4 + 4 + 16 + 4  # record offsets of the string and advances
s_off = emrtext_off
dx_off = s_off + len(text) + 2
etext = rectl(0, 0, 0, 0) + struct.pack("<Iff", 1, 1.0, 1.0)
etext += struct.pack("<ii", 100, 10) + struct.pack("<III", 3, s_off, 0) + rectl(0, 0, 0, 0) + struct.pack("<I", dx_off)
etext += text + b"\0\0" + struct.pack("<3i", 30, 30, 30)
textemf = emf([
    erec(82, struct.pack("<I", 1) + logfont),   # ExtCreateFontIndirectW
    erec(37, struct.pack("<I", 1)),
    erec(22, struct.pack("<I", 6)),             # SetTextAlign(TA_CENTER)
    erec(18, struct.pack("<I", 1)),             # SetBkMode(TRANSPARENT)
    erec(84, etext),                            # ExtTextOutW
], 200, 60, 2)
open("text.emf", "wb").write(textemf)
