#!/usr/bin/env python3
"""Writes rtl_pjl.plt: a plot file as large-format plotter drivers send it (PJL job lines, a universal
exit, HP-GL/2 vectors, an HP-RTL raster in PackBits and delta-row rows, PJL end of job) and
rtl_pjl_raster.pbm: the raster exactly as sent (row 0 at the top, ink = 1). Standard library only."""
import os

W, H = 40, 24  # raster pixels per row, rows


def picture():
    rows = []
    for y in range(H):
        row = []
        for x in range(W):
            ink = (x == 0 or y == 0 or x == W - 1 or y == H - 1 or x == y or (8 <= x < 16 and 10 <= y < 14))
            row.append(1 if ink else 0)
        rows.append(row)
    return rows


def pack_row(row):
    out = bytearray((W + 7) // 8)
    for x, v in enumerate(row):
        if v:
            out[x // 8] |= 0x80 >> (x % 8)
    return bytes(out)


def packbits(data):
    """TIFF PackBits: runs of 3+ equal bytes as repeats, the rest as literals."""
    out, i = bytearray(), 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 128 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            out += bytes([257 - (j - i), data[i]])
            i = j
            continue
        k = i
        while k < len(data) and k - i < 128:
            if k + 2 < len(data) and data[k] == data[k + 1] == data[k + 2]:
                break
            k += 1
        out += bytes([k - i - 1]) + data[i:k]
        i = k
    return bytes(out)


def delta(seed, row):
    """Delta-row: replace the bytes that differ from the seed row (offset < 31, count <= 8)."""
    out, pos, i = bytearray(), 0, 0
    while i < len(row):
        if row[i] == seed[i]:
            i += 1
            continue
        j = i
        while j < len(row) and j - i < 8 and row[j] != seed[j]:
            j += 1
        offset = i - pos
        assert offset < 31
        out += bytes([((j - i - 1) << 5) | offset]) + row[i:j]
        pos = j
        i = j
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rows = [pack_row(r) for r in picture()]
    esc = b"\x1b"
    plot = bytearray()
    plot += esc + b"%-12345X@PJL JOB NAME=\"lumenor\"\r\n@PJL SET RESOLUTION=300\r\n@PJL ENTER LANGUAGE=HPGL2\r\n"
    plot += esc + b"E" + esc + b"%0B" + b"IN;SP1;PW0.35;PU0,0;PD4000,0,4000,3000,0,3000,0,0;PU;SP2;PA500,500;CI300;\n"
    plot += esc + b"%1A" + esc + b"*v6W" + bytes([0, 1, 1, 8, 8, 8]) + esc + b"*t300R"
    plot += esc + b"*r%dS" % W + esc + b"*r%dT" % H + esc + b"*r1A"
    seed = bytes(len(rows[0]))
    for y, row in enumerate(rows):
        if y < H // 2:
            data = packbits(row)
            plot += esc + b"*b2m%dW" % len(data) + data
        else:
            data = delta(seed, row)
            plot += esc + b"*b3m%dW" % len(data) + data
        seed = row
    plot += esc + b"*rC" + esc + b"%1B" + b"SP3;PU2000,1000;PD3000,2000;PU;PG;\n"
    plot += esc + b"%-12345X@PJL EOJ\r\n" + esc + b"%-12345X"
    with open(os.path.join(here, "rtl_pjl.plt"), "wb") as f:
        f.write(plot)
    with open(os.path.join(here, "rtl_pjl_raster.pbm"), "wb") as f:
        f.write(b"P4\n%d %d\n" % (W, H) + b"".join(rows))


main()
