#!/usr/bin/python3
"""A second, independent drawing of the slide-show transitions, for the tests.

It is written from the effect catalogue and the pixel rules (not from the program's code) in another
style: every shape is a boolean mask over all pixel centres, every copy a numpy fancy-index assignment.

Usage: effects_reference.py JOBS OUT

Each line of JOBS is "W H SRC DST EFFECTNO STEP SEED P1,P2,...": SRC and DST are raw 8-bit RGB rows
(W*H*3 bytes). The steps P1, P2, ... are drawn one after the other on DST with one random generator
seeded with SEED. OUT receives the final DST of every job, in job order, as raw RGB rows.
"""
import math
import sys

import numpy as np

M64 = (1 << 64) - 1


def tdiv(a, b):
    """Integer division truncating toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def muldiv(a, b, c):
    """a*b/c rounded to nearest, halves away from zero; -1 when c is 0."""
    if c == 0:
        return -1
    n = a * b
    q = (2 * abs(n) + abs(c)) // (2 * abs(c))
    return -q if (n < 0) != (c < 0) else q


class Random:
    """splitmix64, bounded draws by multiply-and-reject (Lemire)."""

    def __init__(self, seed):
        self.state = seed & M64

    def bits(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & M64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M64
        return z ^ (z >> 31)

    def below(self, n):
        if n <= 0:
            return 0
        m = self.bits() * n
        if (m & M64) < n:
            reject = ((1 << 64) - n) % n
            while (m & M64) < reject:
                m = self.bits() * n
        return m >> 64


class Picture:
    """The pixel grid of a W x H picture and its shapes as masks."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.y, self.x = np.mgrid[0:h, 0:w].astype(np.int64)

    def empty(self):
        return np.zeros((self.h, self.w), dtype=bool)

    def rect(self, l, t, r, b):
        m = self.empty()
        if r > l and b > t:
            m[min(max(t, 0), self.h):min(max(b, 0), self.h), min(max(l, 0), self.w):min(max(r, 0), self.w)] = True
        return m

    def round_rect(self, l, t, r, b, cw, ch):
        if r <= l or b <= t:
            return self.empty()
        cw, ch = min(cw, r - l), min(ch, b - t)
        inside = self.rect(l, t, r, b)
        if cw <= 0 or ch <= 0:
            return inside
        # Doubled coordinates: centres odd, edges even; corner ellipses with half-axes cw, ch.
        X, Y = 2 * self.x + 1, 2 * self.y + 1
        for cx, left in ((2 * l + cw, True), (2 * r - cw, False)):
            for cy, top in ((2 * t + ch, True), (2 * b - ch, False)):
                zone = (X < cx if left else X > cx) & (Y < cy if top else Y > cy)
                out = (X - cx) ** 2 * ch * ch + (Y - cy) ** 2 * cw * cw > cw * cw * ch * ch
                inside &= ~(zone & out)
        return inside

    def polygon(self, pts):
        winding = np.zeros((self.h, self.w), dtype=np.int64)
        n = len(pts)
        for k in range(n):
            (x0, y0), (x1, y1) = pts[k], pts[(k + 1) % n]
            if y0 == y1:
                continue
            active = (self.y >= min(y0, y1)) & (self.y < max(y0, y1))
            # The edge's crossing xc of the centre row counts when xc <= x + 1/2:
            # xc * 2(y1 - y0) = 2 x0 (y1 - y0) + (2y + 1 - 2 y0)(x1 - x0).
            num = 2 * x0 * (y1 - y0) + (2 * self.y + 1 - 2 * y0) * (x1 - x0)
            den = 2 * (y1 - y0)
            right = (2 * num <= (2 * self.x + 1) * den) if den > 0 else (2 * num >= (2 * self.x + 1) * den)
            winding += np.where(active & right, 1 if y1 > y0 else -1, 0)
        return winding != 0

    def triangle(self, a, b, c):
        return self.polygon([a, b, c, a])


class Step:
    def __init__(self, src, dst, progress, step, rng):
        self.src, self.dst, self.rng = src, dst, rng
        self.H, self.W = src.shape[0], src.shape[1]
        W, H = self.W, self.H
        self.P, self.step = progress, step
        if H <= W:
            self.pW = muldiv(W, progress, 100)
            self.pH = muldiv(self.pW, H, W)
        else:
            self.pH = muldiv(H, progress, 100)
            self.pW = muldiv(self.pH, W, H)
        self.band = muldiv(max(W, H), step, 90)
        self.hW, self.hH = W // 2, H // 2
        self.pic = Picture(W, H)

    # --- copies -------------------------------------------------------------------------------------

    def axis(self, s0, sn, slimit, d0, dn, dlimit):
        n = abs(dn)
        to, frm = [], []
        for i in range(n):
            d = d0 + i if dn > 0 else d0 - 1 - i
            s = s0 + (2 * i + 1) * sn // (2 * n)
            if 0 <= d < dlimit and 0 <= s < slimit:
                to.append(d)
                frm.append(s)
        return to, frm

    def stretch(self, sx, sy, sw, sh, dx, dy, dw, dh):
        if sw <= 0 or sh <= 0 or dw == 0 or dh == 0:
            return
        tx, fx = self.axis(sx, sw, self.W, dx, dw, self.W)
        ty, fy = self.axis(sy, sh, self.H, dy, dh, self.H)
        if tx and ty:
            self.dst[np.ix_(ty, tx)] = self.src[np.ix_(fy, fx)]

    def copy(self, d, s=None):
        s = d if s is None else s
        if d[2] > d[0] and d[3] > d[1]:
            self.stretch(s[0], s[1], s[2] - s[0], s[3] - s[1], d[0], d[1], d[2] - d[0], d[3] - d[1])

    def mirror(self, d, s, left_right):
        l, t = max(s[0], 0), max(s[1], 0)
        r, b = min(s[2], self.W), min(s[3], self.H)
        if r <= l or b <= t:
            return
        if left_right:
            n = d[2] - d[0] + 2
            if n > 0 and d[3] > d[1]:
                self.stretch(l, t, r - l, b - t, d[2] + 1, d[1], -n, d[3] - d[1])
        else:
            n = d[3] - d[1] + 2
            if n > 0 and d[2] > d[0]:
                self.stretch(l, t, r - l, b - t, d[0], d[3] + 1, d[2] - d[0], -n)

    def place(self, mask):
        self.dst[mask] = self.src[mask]

    def area(self, l, t, r, b):
        """Copies a rectangle in place, clipped to the picture."""
        l, t, r, b = max(l, 0), max(t, 0), min(r, self.W), min(b, self.H)
        if r > l and b > t:
            self.dst[t:b, l:r] = self.src[t:b, l:r]


# --- rectangle effects --------------------------------------------------------------------------------


def roll(p, n):
    f = n // 5
    if p < f:
        return p + p // 2
    if n - p < f:
        return p + (n - p) // 2
    return p + n // 10


def roll_back(p, n):
    e, f = n - p, n // 5
    if p < f:
        return e - p // 2
    if e < f:
        return e - e // 2
    return e - n // 10


def rectangle(k, s):
    """Secondary copies, then (D, S) of the finishing copy."""
    W, H, pW, pH, hW, hH = s.W, s.H, s.pW, s.pH, s.hW, s.hH
    a, b = pW // 2, pH // 2
    whole = (0, 0, W, H)
    mw, mh = tdiv(W - pW, 2), tdiv(H - pH, 2)
    cw, ch = tdiv(W + pW, 2), tdiv(H + pH, 2)
    plain = {
        0: ((W - pW, 0, W, H), whole),
        1: ((0, 0, pW, H), whole),
        2: ((W - pW, 0, 2 * W - pW, H), whole),
        3: ((pW - W, 0, pW, H), whole),
        4: ((0, 0, pW, H), None),
        5: ((W - pW, 0, W, H), None),
        6: ((0, 0, 2 * W - pW, H), (0, 0, pW, H)),
        7: ((pW - W, 0, W, H), (W - pW, 0, W, H)),
        8: ((pW - W, 0, 2 * W - pW, H), (mw, 0, cw, H)),
        9: ((mw, 0, cw, H), whole),
        10: ((mw, 0, cw, H), None),
        17: ((0, H - pH, W, H), whole),
        18: ((0, 0, W, pH), whole),
        19: ((0, H - pH, W, 2 * H - pH), whole),
        20: ((0, pH - H, W, pH), whole),
        21: ((0, 0, W, pH), None),
        22: ((0, H - pH, W, H), None),
        23: ((0, 0, W, 2 * H - pH), (0, 0, W, pH)),
        24: ((0, pH - H, W, H), (0, H - pH, W, H)),
        25: ((0, pH - H, W, 2 * H - pH), (0, mh, W, ch)),
        26: ((0, mh, W, ch), whole),
        27: ((0, mh, W, ch), None),
        34: ((W - pW, H - pH, W, H), whole),
        35: ((W - pW, 0, W, pH), whole),
        36: ((0, 0, pW, pH), whole),
        37: ((0, H - pH, pW, H), whole),
        38: ((W - pW, H - pH, 2 * W - pW, 2 * H - pH), whole),
        39: ((W - pW, pH - H, 2 * W - pW, pH), whole),
        40: ((pW - W, pH - H, pW, pH), whole),
        41: ((pW - W, H - pH, pW, 2 * H - pH), whole),
        42: ((0, 0, pW, pH), None),
        43: ((0, H - pH, pW, H), None),
        44: ((W - pW, H - pH, W, H), None),
        45: ((W - pW, 0, W, pH), None),
        46: ((0, 0, 2 * W - pW, 2 * H - pH), (0, 0, pW, pH)),
        47: ((0, pH - H, 2 * W - pW, H), (0, H - pH, pW, H)),
        48: ((pW - W, pH - H, W, H), (W - pW, H - pH, W, H)),
        49: ((pW - W, 0, W, 2 * H - pH), (W - pW, 0, W, pH)),
        50: ((pW - W, pH - H, 2 * W - pW, 2 * H - pH), (mw, mh, cw, ch)),
        51: ((mw, mh, cw, ch), whole),
        52: ((mw, mh, cw, ch), None),
    }
    if k in plain:
        d, src = plain[k]
        return d, (d if src is None else src)
    # effects with secondary copies: ([(destination, source), ...], final copy)
    with_copies = {
        11: ([((0, 0, a + 1, H), None)], ((W - a - 1, 0, W, H), None)),
        12: ([((0, 0, a + 1, H), (0, 0, hW + 1, H))], ((W - a - 1, 0, W, H), (hW, 0, W, H))),
        15: ([((0, 0, pW, H), None)], ((pW, 0, W, H), (pW, 0, pW + W // 20, H))),
        16: ([((W - pW, 0, W, H), None)], ((0, 0, W - pW, H), (W - pW - W // 20, 0, W - pW, H))),
        28: ([((0, 0, W, b + 1), None)], ((0, H - b - 1, W, H), None)),
        29: ([((0, 0, W, b + 1), (0, 0, W, hH + 1))], ((0, H - b - 1, W, H), (0, hH, W, H))),
        32: ([((0, 0, W, pH), None)], ((0, pH, W, H), (0, pH, W, pH + H // 20))),
        33: ([((0, H - pH, W, H), None)], ((0, 0, W, H - pH), (0, H - pH - H // 20, W, H - pH))),
        53: ([((0, 0, W, b), None), ((0, H - b, W, H), None), ((0, 0, a, H), None)], ((W - a, 0, W, H), None)),
        54: ([((0, 0, a + 1, b + 1), None), ((0, H - b - 1, a + 1, H), None), ((W - a - 1, H - b - 1, W, H), None)],
             ((W - a - 1, 0, W, b + 1), None)),
        55: ([((0, 0, a + 1, b + 1), (0, 0, hW + 1, hH + 1)), ((0, H - b, a + 1, H), (0, hH + 1, hW + 1, H)),
              ((W - a, H - b, W, H), (hW + 1, hH + 1, W, H))],
             ((W - a, 0, W, b + 1), (hW + 1, 0, W, hH + 1))),
        56: ([((tdiv(pW - W, 2), 0, a + 1, hH + 1), (0, 0, hW + 1, hH + 1)),
              ((hW - 1, tdiv(pH - H, 2), W, b + 1), (hW - 1, 0, W, hH + 1)),
              ((W - a, hH - 1, W + tdiv(W - pW, 2), H), (hW + 1, hH - 1, W, H))],
             ((0, H - b, hW + 1, H + tdiv(H - pH, 2)), (0, hH + 1, hW + 1, H))),
    }
    if k in with_copies:
        copies, (d, src) = with_copies[k]
        for cd, cs in copies:
            s.copy(cd, cs)
        return d, (d if src is None else src)
    if k == 13:
        r = roll(pW, W)
        s.mirror((pW, 0, r, H), (r, 0, 2 * r - pW, H), True)
        return (0, 0, pW, H), (0, 0, pW, H)
    if k == 14:
        e, q = W - pW, roll_back(pW, W)
        s.mirror((q, 0, e, H), (2 * q - e, 0, q, H), True)
        return (e, 0, W, H), (e, 0, W, H)
    if k == 30:
        r = roll(pH, H)
        s.mirror((0, pH, W, r), (0, r, W, 2 * r - pH), False)
        return (0, 0, W, pH), (0, 0, W, pH)
    if k == 31:
        e, q = H - pH, roll_back(pH, H)
        s.mirror((0, q, W, e), (0, 2 * q - e, W, q), False)
        return (0, e, W, H), (0, e, W, H)
    raise ValueError(k)


# --- region builders ----------------------------------------------------------------------------------


def bars(s, h, v, hmode, vmode, band):
    pic, W, H = s.pic, s.W, s.H
    m = pic.empty()
    if hmode:
        if h > W:
            for y in range(5, H + 5, 10):
                m |= pic.rect(0, y - 5, W, y)
                if hmode in (1, 4):
                    m |= pic.rect(2 * W - h, y, W, y + 5)
                elif hmode in (2, 5):
                    m |= pic.rect(0, y, h - W, y + 5)
        else:
            if h + band > W:
                h = W
            for y in range(0, H + 5, 10):
                if hmode in (1, 5):
                    m |= pic.rect(W - h, y, W, y + 5)
                if hmode in (2, 4):
                    m |= pic.rect(0, y, h, y + 5)
                if hmode == 3:
                    m |= pic.rect(W - h, y, W, y + 5) | pic.rect(0, y + 5, h, y + 10)
    if vmode:
        if v > H:
            for x in range(5, W + 5, 10):
                m |= pic.rect(x - 5, 0, x, H)
                if vmode in (1, 4):
                    m |= pic.rect(x, 2 * H - v, x + 5, H)
                elif vmode in (2, 5):
                    m |= pic.rect(x, 0, x + 5, v - H)
        else:
            if v + band > H:
                v = H
            for x in range(0, W + 5, 10):
                if vmode in (1, 5):
                    m |= pic.rect(x, H - v, x + 5, H)
                if vmode in (2, 4):
                    m |= pic.rect(x, 0, x + 5, v)
                if vmode == 3:
                    m |= pic.rect(x, H - v, x + 5, H) | pic.rect(x + 5, 0, x + 10, v)
    return m


def shred(s, h, v, hmode, vmode):
    pic, W, H, rng = s.pic, s.W, s.H, s.rng
    m = pic.empty()

    def jag(base, c):
        plus = rng.below(c)
        minus = rng.below(c)
        return base + plus - minus

    if hmode:
        c = W // 7 if h < W else 0
        for y in range(0, H, 5):
            t, b = y, y + 5 + H % 5
            if hmode == 1:
                m |= pic.rect(jag(W - h, c), t, W, b)
            elif hmode == 2:
                m |= pic.rect(0, t, jag(h, c), b)
            elif hmode == 3:
                m |= pic.rect(tdiv(jag(W - h, c), 2), t, W // 2, b)
                m |= pic.rect(W // 2, t, tdiv(jag(W + h, c), 2), b)
            elif hmode == 4:
                m |= pic.rect(W - tdiv(jag(h, c), 2), t, W, b)
                m |= pic.rect(0, t, tdiv(jag(h, c), 2), b)
    if vmode:
        c = H // 7 if v < H else 0
        for x in range(0, W, 5):
            l, r = x, x + 5 + W % 5
            if vmode == 1:
                m |= pic.rect(l, jag(H - v, c), r, H)
            elif vmode == 2:
                m |= pic.rect(l, 0, r, jag(v, c))
            elif vmode == 3:
                m |= pic.rect(l, tdiv(jag(H - v, c), 2), r, H // 2)
                m |= pic.rect(l, H // 2, r, tdiv(jag(H + v, c), 2))
            elif vmode == 4:
                m |= pic.rect(l, H - tdiv(jag(v, c), 2), r, H)
                m |= pic.rect(l, 0, r, tdiv(jag(v, c), 2))
    return m


def speckle(s, h, v, hmode, vmode):
    pic, W, H, rng = s.pic, s.W, s.H, s.rng
    m = pic.empty()

    def chosen(i, t):
        k = rng.below(i)
        return k <= 1 if i <= t else k == 0

    if hmode:
        e = W // 10 if h < W else 0
        f = max(2, e // 20)
        n, t = e // f, (3 * e // f) // 4
        for y in range(0, H, f // 2):
            m |= pic.rect(W - h, y, W, y + f) if hmode == 1 else pic.rect(0, y, h, y + f)
            for i in range(n, 0, -1):
                if chosen(i, t):
                    if hmode == 1:
                        m |= pic.rect(W - h - f * i, y, W - h - f * i + f, y + f)
                    else:
                        m |= pic.rect(h + f * (i - 1), y, h + f * i, y + f)
    if vmode:
        e = H // 10 if v < H else 0
        f = max(2, e // 20)
        n, t = e // f, (3 * e // f) // 4
        for x in range(0, W, f // 2):
            m |= pic.rect(x, H - v, x + f, H) if vmode == 1 else pic.rect(x, 0, x + f, v)
            for i in range(n, 0, -1):
                if chosen(i, t):
                    if vmode == 1:
                        m |= pic.rect(x, H - v - f * i, x + f, H - v - f * i + f)
                    else:
                        m |= pic.rect(x, v + f * (i - 1), x + f, v + f * i)
    return m


def squares(s):
    pic, W, H, P = s.pic, s.W, s.H, s.P
    d = max(1, P // 10 + min(W, H) // 50)
    m = pic.empty()
    for y in range(0, H, d):
        for x in range(0, W, d):
            if s.rng.below(100) < P:
                m |= pic.rect(x - d, y - d, x + d, y + d)
    return m


def region(k, s):
    pic, W, H, pW, pH, hW, hH, B = s.pic, s.W, s.H, s.pW, s.pH, s.hW, s.hH, s.band
    tri = pic.triangle
    table = {
        57: lambda: pic.round_rect(-2 * W, -5, 2 * pW, H + 5, 2 * W, 2 * W),
        58: lambda: pic.round_rect(W - 2 * pW, -5, 3 * W, H + 5, 2 * W, 2 * W),
        59: lambda: bars(s, 2 * pW, 0, 1, 0, B),
        60: lambda: bars(s, 2 * pW, 0, 2, 0, B),
        61: lambda: bars(s, 2 * pW, 0, 4, 0, B),
        62: lambda: bars(s, 2 * pW, 0, 5, 0, B),
        63: lambda: bars(s, pW, 0, 3, 0, 0),
        64: lambda: shred(s, pW, 0, 1, 0),
        65: lambda: shred(s, pW, 0, 2, 0),
        66: lambda: shred(s, pW, 0, 3, 0),
        67: lambda: shred(s, pW, 0, 4, 0),
        68: lambda: pic.round_rect(-5, -2 * H, W + 5, 2 * pH, 2 * H, 2 * H),
        69: lambda: pic.round_rect(-5, H - 2 * pH, W + 5, 3 * H, 2 * H, 2 * H),
        70: lambda: bars(s, 0, 2 * pH, 0, 1, B),
        71: lambda: bars(s, 0, 2 * pH, 0, 2, B),
        72: lambda: bars(s, 0, 2 * pH, 0, 4, B),
        73: lambda: bars(s, 0, 2 * pH, 0, 5, B),
        74: lambda: bars(s, 0, pH, 0, 3, 0),
        75: lambda: shred(s, 0, pH, 0, 1),
        76: lambda: shred(s, 0, pH, 0, 2),
        77: lambda: shred(s, 0, pH, 0, 3),
        78: lambda: shred(s, 0, pH, 0, 4),
        79: lambda: pic.round_rect(-2 * W, -2 * H, 2 * pW, 2 * pH, 2 * W, 2 * H),
        80: lambda: pic.round_rect(W - 2 * pW, -2 * H, 3 * W, 2 * pH, 2 * W, 2 * H),
        81: lambda: pic.round_rect(-2 * W, H - 2 * pH, 2 * pW, 3 * H, 2 * W, 2 * H),
        82: lambda: pic.round_rect(W - 2 * pW, H - 2 * pH, 3 * W, 3 * H, 2 * H, 2 * H),
        83: lambda: pic.round_rect(hW - pW, hH - pH, hW + pW, hH + pH, 9 * pW // 5, 9 * pH // 5),
        84: lambda: pic.rect(0, 0, W, H) ^ pic.round_rect(pW - hW, pH - hH, 3 * W // 2 - pW, 3 * H // 2 - pH,
                                                          9 * (W - pW) // 5, 9 * (H - pH) // 5),
        85: lambda: bars(s, 2 * pW, 2 * pH, 1, 1, B),
        86: lambda: bars(s, 2 * pW, 2 * pH, 1, 2, B),
        87: lambda: bars(s, 2 * pW, 2 * pH, 2, 1, B),
        88: lambda: bars(s, 2 * pW, 2 * pH, 2, 2, B),
        89: lambda: bars(s, 2 * pW, 2 * pH, 4, 4, B),
        90: lambda: bars(s, 2 * pW, 2 * pH, 4, 5, B),
        91: lambda: bars(s, 2 * pW, 2 * pH, 5, 4, B),
        92: lambda: bars(s, 2 * pW, 2 * pH, 5, 5, B),
        93: lambda: bars(s, pW, pH, 1, 3, B),
        94: lambda: bars(s, pW, pH, 2, 3, B),
        95: lambda: bars(s, pW, pH, 3, 1, B),
        96: lambda: bars(s, pW, pH, 3, 2, B),
        97: lambda: bars(s, pW, pH, 3, 3, 0),
        98: lambda: bars(s, 2 * pW, 2 * pH, 1, 1, B) & bars(s, 2 * pW, 2 * pH, 2, 2, B),
        99: lambda: shred(s, pW, pH, 1, 1),
        100: lambda: shred(s, pW, pH, 1, 2),
        101: lambda: shred(s, pW, pH, 2, 1),
        102: lambda: shred(s, pW, pH, 2, 2),
        103: lambda: shred(s, pW, pH, 1, 3),
        104: lambda: shred(s, pW, pH, 2, 3),
        105: lambda: shred(s, pW, pH, 3, 1),
        106: lambda: shred(s, pW, pH, 3, 2),
        107: lambda: shred(s, pW, pH, 3, 3),
        108: lambda: shred(s, pW, pH, 4, 4),
        109: lambda: tri((0, 0), (2 * pW, 0), (0, 2 * pH)),
        110: lambda: tri((W, 0), (W - 2 * pW, 0), (W, 2 * pH)),
        111: lambda: tri((0, H), (2 * pW, H), (0, H - 2 * pH)),
        112: lambda: tri((W, H), (W - 2 * pW, H), (W, H - 2 * pH)),
        113: lambda: tri((0, H), (0, 0), (pW, H)) | tri((W, H), (W, 0), (W - pW, 0)),
        114: lambda: tri((W, 0), (0, 0), (W, pH)) | tri((W, H), (0, H), (0, H - pH)),
        115: lambda: (tri((hW, hH), (0, H), (0, H - pH)) | tri((0, 0), (pW, 0), (hW, hH))
                      | tri((W - pW, H), (hW, hH), (W, H)) | tri((hW, hH), (W, 0), (W, pH))),
        122: lambda: speckle(s, pW, 0, 1, 0),
        123: lambda: speckle(s, pW, 0, 2, 0),
        124: lambda: speckle(s, 0, pH, 0, 1),
        125: lambda: speckle(s, 0, pH, 0, 2),
        126: lambda: squares(s),
    }
    if k == 116:
        m = pic.empty()
        side = pW // 5
        t = muldiv(side, H, W)
        for i in range(10):
            for j in range(10):
                x, y = W * i // 10, H * j // 10
                m |= tri((x, y), (x + side, y), (x, y + t))
        return m
    return table[k]()


# --- direct effects -----------------------------------------------------------------------------------


def fade(s):
    t = s.dst.astype(np.int64)
    n = s.src.astype(np.int64)
    s.dst[...] = (t * (100 - s.P) // 100 + n * s.P // 100).astype(np.uint8)


def pivot(s, cx, cy):
    theta = (100 - s.P) * math.pi / 200
    c, sn = math.cos(theta), math.sin(theta)
    dx = (s.pic.x - cx).astype(np.float64)
    dy = (s.pic.y - cy).astype(np.float64)
    sx = cx + np.rint(c * dx - sn * dy).astype(np.int64)
    sy = cy + np.rint(sn * dx + c * dy).astype(np.int64)
    ok = (sx >= 0) & (sx < s.W) & (sy >= 0) & (sy < s.H)
    s.dst[ok] = s.src[sy[ok], sx[ok]]


def slats(s, vertical, from_start, alternate):
    side = s.W if vertical else s.H
    size = max(4, side // 40)
    d = muldiv(s.P, size, 100)
    for k in range(side // size):
        at = k * size + d if from_start else k * size + size - d
        if vertical:
            s.area(at, 0, at + 1, s.H)
        else:
            s.area(0, at, s.W, at + 1)
        if alternate:
            from_start = not from_start


def lattice(s):
    k = muldiv(s.P, 10, 100) - 1
    while k <= s.H or k <= s.W:
        s.area(k, 0, k + 1, s.H)
        s.area(0, k, s.W, k + 1)
        k += 10


def blocks(s, mode):
    cols, rows = s.W // 6, s.H // 6
    n = cols + rows - 1
    first, last = muldiv(s.P, n, 100), muldiv(s.P + s.step, n, 100)
    for k in range(first, last + 1):
        flags = mode ^ 3 if k % 2 else mode
        j = min(cols, k)
        i = max(0, k - cols) + 1
        if k > (cols + rows) / 2 + 1 and (cols + rows) % 2 == 1:
            i -= 1
        while True:
            col = j if flags & 1 else cols - j + 1
            row = i if flags & 2 else rows - i + 1
            s.area((col - 1) * 6, (row - 1) * 6, col * 6, row * 6)
            j, i = j - 1, i + 1
            if j < 1 or j > cols or i < 1 or i > rows:
                break


def direct(k, s):
    W, H = s.W, s.H
    if k == 117:
        fade(s)
    elif 118 <= k <= 121:
        pivot(s, *{118: (-1, -1), 119: (-1, H), 120: (W, -1), 121: (W, H)}[k])
    elif 127 <= k <= 134:
        # (vertical, first from its start, alternating)
        slats(s, *{127: (True, True, False), 128: (True, False, False), 129: (False, True, False),
                   130: (False, False, False), 131: (False, True, True), 132: (False, False, True),
                   133: (True, True, True), 134: (True, False, True)}[k])
    elif k == 135:
        lattice(s)
    elif k == 136:
        blocks(s, 0)
    elif k == 137:
        blocks(s, 1)


def draw(effect_no, src, dst, progress, step, rng):
    if effect_no > 138:
        return
    if effect_no == 0:
        dst[...] = src
        return
    k = effect_no - 1
    s = Step(src, dst, progress, step, rng)
    if k <= 56:
        d, r = rectangle(k, s)
        if progress == 100:
            dst[...] = src
        elif progress > 0:
            s.copy(d, r)
    elif k in (117, 118, 119, 120, 121) or k >= 127:
        direct(k, s)
        if progress == 100:
            dst[...] = src
    else:
        m = region(k, s)
        if progress == 100:
            dst[...] = src
        elif progress > 0:
            s.place(m)


def main():
    jobs, out_name = sys.argv[1], sys.argv[2]
    with open(jobs) as f, open(out_name, 'wb') as out:
        for line in f:
            if not line.strip():
                continue
            w, h, src_name, dst_name, effect_no, step, seed, steps = line.split()
            w, h = int(w), int(h)
            src = np.fromfile(src_name, dtype=np.uint8).reshape(h, w, 3)
            dst = np.fromfile(dst_name, dtype=np.uint8).reshape(h, w, 3).copy()
            rng = Random(int(seed))
            for p in steps.split(','):
                draw(int(effect_no), src, dst, int(p), int(step), rng)
            out.write(dst.tobytes())


if __name__ == '__main__':
    main()
