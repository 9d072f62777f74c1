// Region effects (identifiers 57-116 and 122-126): the new picture is drawn through a region of curved
// fronts, bars, ragged shreds, speckles, random squares or triangles, rebuilt at every step.
#include "tools/EffectsInternal.h"

#include <algorithm>

namespace {

// A triangle as a closed polygon of four points, the last repeating the first.
void AddTriangle(TEffectRegion& r, QPoint a, QPoint b, QPoint c) {
    r.AddPolygon({a, b, c, a});
}

} // namespace

// Bars: horizontal bars 5 pixels high at every 10 pixels fill from the side the mode gives; with the
// doubled extent (h up to 2W) the even bars fill during the first half and the odd bars during the second.
// Modes: 1 from the far side (right or bottom), 2 from the near side, 3 both at once on alternating bars,
// 4 near side first then far side, 5 far side first then near side. Vertical bars alike in x.
void AddBars(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode, int band) {
    const int W = step.W, H = step.H;
    if (hmode != 0) {
        if (h > W) {
            for (int y = 5; y < H + 5; y += 10) {
                r.AddRect(0, y - 5, W, y);
                if (hmode == 1 || hmode == 4)
                    r.AddRect(2 * W - h, y, W, y + 5);
                else if (hmode == 2 || hmode == 5)
                    r.AddRect(0, y, h - W, y + 5);
            }
        } else {
            if (h + band > W) h = W; // the bars snap to full width within one band of the end
            for (int y = 0; y < H + 5; y += 10) {
                if (hmode == 1 || hmode == 5) {
                    r.AddRect(W - h, y, W, y + 5);
                } else if (hmode == 2 || hmode == 4) {
                    r.AddRect(0, y, h, y + 5);
                } else if (hmode == 3) {
                    r.AddRect(W - h, y, W, y + 5);
                    r.AddRect(0, y + 5, h, y + 10);
                }
            }
        }
    }
    if (vmode != 0) {
        if (v > H) {
            for (int x = 5; x < W + 5; x += 10) {
                r.AddRect(x - 5, 0, x, H);
                if (vmode == 1 || vmode == 4)
                    r.AddRect(x, 2 * H - v, x + 5, H);
                else if (vmode == 2 || vmode == 5)
                    r.AddRect(x, 0, x + 5, v - H);
            }
        } else {
            if (v + band > H) v = H;
            for (int x = 0; x < W + 5; x += 10) {
                if (vmode == 1 || vmode == 5) {
                    r.AddRect(x, H - v, x + 5, H);
                } else if (vmode == 2 || vmode == 4) {
                    r.AddRect(x, 0, x + 5, v);
                } else if (vmode == 3) {
                    r.AddRect(x, H - v, x + 5, H);
                    r.AddRect(x + 5, 0, x + 10, v);
                }
            }
        }
    }
}

// Shreds: strips 5 pixels apart (each 5 + (side mod 5) long, so they overlap) whose ends move by the
// difference of two random numbers in 0 .. side div 7 - 1 (none once the extent has reached the side).
// Modes: 1 from the far side, 2 from the near side, 3 out from the middle, 4 in to the middle. The random
// numbers are drawn in the order the strips' ends are written: all horizontal strips top to bottom, then
// all vertical strips left to right; in modes 3 and 4 the first end's pair before the second's.
void AddShred(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode) {
    const int W = step.W, H = step.H;
    TEffectRandom& random = *step.Random;
    if (hmode != 0) {
        const int c = h < W ? W / 7 : 0;
        auto ragged = [&](int base) {
            const int plus = random.Next(c);
            const int minus = random.Next(c);
            return base + plus - minus;
        };
        for (int y = 0; y < H; y += 5) {
            const int top = y, bottom = y + 5 + H % 5;
            switch (hmode) {
            case 1:
                r.AddRect(ragged(W - h), top, W, bottom);
                break;
            case 2:
                r.AddRect(0, top, ragged(h), bottom);
                break;
            case 3: {
                const int left = ragged(W - h) / 2;
                r.AddRect(left, top, W / 2, bottom);
                const int right = ragged(W + h) / 2;
                r.AddRect(W / 2, top, right, bottom);
                break;
            }
            case 4: {
                const int left = W - ragged(h) / 2;
                r.AddRect(left, top, W, bottom);
                const int right = ragged(h) / 2;
                r.AddRect(0, top, right, bottom);
                break;
            }
            default:
                break;
            }
        }
    }
    if (vmode != 0) {
        const int c = v < H ? H / 7 : 0;
        auto ragged = [&](int base) {
            const int plus = random.Next(c);
            const int minus = random.Next(c);
            return base + plus - minus;
        };
        for (int x = 0; x < W; x += 5) {
            const int left = x, right = x + 5 + W % 5;
            switch (vmode) {
            case 1:
                r.AddRect(left, ragged(H - v), right, H);
                break;
            case 2:
                r.AddRect(left, 0, right, ragged(v));
                break;
            case 3: {
                const int top = ragged(H - v) / 2;
                r.AddRect(left, top, right, H / 2);
                const int bottom = ragged(H + v) / 2;
                r.AddRect(left, H / 2, right, bottom);
                break;
            }
            case 4: {
                const int top = H - ragged(v) / 2;
                r.AddRect(left, top, right, H);
                const int bottom = ragged(v) / 2;
                r.AddRect(left, 0, right, bottom);
                break;
            }
            default:
                break;
            }
        }
    }
}

// Speckles: a solid edge with random squares ahead of it, in rows of height f overlapping by half. The
// square i places ahead of the edge (i from n down to 1) is added when a random number in 0 .. i - 1 is at
// most 1 (for the nearer ones, i <= t) or 0 (for the farther ones). Modes: 1 from the far side, 2 from the
// near side.
void AddSpeckle(TEffectRegion& r, const TEffectStep& step, int h, int v, int hmode, int vmode) {
    const int W = step.W, H = step.H;
    TEffectRandom& random = *step.Random;
    auto ahead = [&](int i, int t) {
        const int k = random.Next(i);
        return i <= t ? k <= 1 : k == 0;
    };
    if (hmode == 1 || hmode == 2) {
        const int e = h < W ? W / 10 : 0;
        const int f = std::max(2, e / 20), n = e / f, t = ((3 * e) / f) / 4;
        for (int y = 0; y < H; y += f / 2) {
            if (hmode == 1)
                r.AddRect(W - h, y, W, y + f);
            else
                r.AddRect(0, y, h, y + f);
            for (int i = n; i >= 1; --i) {
                if (!ahead(i, t)) continue;
                if (hmode == 1)
                    r.AddRect(W - h - f * i, y, W - h - f * i + f, y + f);
                else
                    r.AddRect(h + f * (i - 1), y, h + f * i, y + f);
            }
        }
    }
    if (vmode == 1 || vmode == 2) {
        const int e = v < H ? H / 10 : 0;
        const int f = std::max(2, e / 20), n = e / f, t = ((3 * e) / f) / 4;
        for (int x = 0; x < W; x += f / 2) {
            if (vmode == 1)
                r.AddRect(x, H - v, x + f, H);
            else
                r.AddRect(x, 0, x + f, v);
            for (int i = n; i >= 1; --i) {
                if (!ahead(i, t)) continue;
                if (vmode == 1)
                    r.AddRect(x, H - v - f * i, x + f, H - v - f * i + f);
                else
                    r.AddRect(x, v + f * (i - 1), x + f, v + f * i);
            }
        }
    }
}

// Random squares: on a grid of cell d, each grid point (row by row, left to right) adds the square of side
// 2d around it with the chance Progress in 100.
void AddSquares(TEffectRegion& r, const TEffectStep& step) {
    const int W = step.W, H = step.H, progress = step.Progress;
    const int d = std::max(1, progress / 10 + std::min(W, H) / 50);
    for (int y = 0; y < H; y += d)
        for (int x = 0; x < W; x += d)
            if (step.Random->Next(100) < progress) r.AddRect(x - d, y - d, x + d, y + d);
}

TEffectRegion EffectRegion(int id, const TEffectStep& step) {
    const int W = step.W, H = step.H, pW = step.pW, pH = step.pH, hW = step.hW, hH = step.hH;
    const int band = step.Band;
    TEffectRegion r(W, H);
    switch (id) {
    case 57:
        r.AddRoundRect({-2 * W, -5, 2 * pW, H + 5}, 2 * W, 2 * W);
        break;
    case 58:
        r.AddRoundRect({W - 2 * pW, -5, 3 * W, H + 5}, 2 * W, 2 * W);
        break;
    case 59:
        AddBars(r, step, 2 * pW, 0, 1, 0, band);
        break;
    case 60:
        AddBars(r, step, 2 * pW, 0, 2, 0, band);
        break;
    case 61:
        AddBars(r, step, 2 * pW, 0, 4, 0, band);
        break;
    case 62:
        AddBars(r, step, 2 * pW, 0, 5, 0, band);
        break;
    case 63:
        AddBars(r, step, pW, 0, 3, 0, 0);
        break;
    case 64:
        AddShred(r, step, pW, 0, 1, 0);
        break;
    case 65:
        AddShred(r, step, pW, 0, 2, 0);
        break;
    case 66:
        AddShred(r, step, pW, 0, 3, 0);
        break;
    case 67:
        AddShred(r, step, pW, 0, 4, 0);
        break;
    case 68:
        r.AddRoundRect({-5, -2 * H, W + 5, 2 * pH}, 2 * H, 2 * H);
        break;
    case 69:
        r.AddRoundRect({-5, H - 2 * pH, W + 5, 3 * H}, 2 * H, 2 * H);
        break;
    case 70:
        AddBars(r, step, 0, 2 * pH, 0, 1, band);
        break;
    case 71:
        AddBars(r, step, 0, 2 * pH, 0, 2, band);
        break;
    case 72:
        AddBars(r, step, 0, 2 * pH, 0, 4, band);
        break;
    case 73:
        AddBars(r, step, 0, 2 * pH, 0, 5, band);
        break;
    case 74:
        AddBars(r, step, 0, pH, 0, 3, 0);
        break;
    case 75:
        AddShred(r, step, 0, pH, 0, 1);
        break;
    case 76:
        AddShred(r, step, 0, pH, 0, 2);
        break;
    case 77:
        AddShred(r, step, 0, pH, 0, 3);
        break;
    case 78:
        AddShred(r, step, 0, pH, 0, 4);
        break;
    case 79:
        r.AddRoundRect({-2 * W, -2 * H, 2 * pW, 2 * pH}, 2 * W, 2 * H);
        break;
    case 80:
        r.AddRoundRect({W - 2 * pW, -2 * H, 3 * W, 2 * pH}, 2 * W, 2 * H);
        break;
    case 81:
        r.AddRoundRect({-2 * W, H - 2 * pH, 2 * pW, 3 * H}, 2 * W, 2 * H);
        break;
    case 82:
        r.AddRoundRect({W - 2 * pW, H - 2 * pH, 3 * W, 3 * H}, 2 * H, 2 * H);
        break; // corners 2H x 2H: rounder than its siblings on a wide picture
    case 83:
        r.AddRoundRect({hW - pW, hH - pH, hW + pW, hH + pH}, 9 * pW / 5, 9 * pH / 5);
        break;
    case 84: {
        TEffectRegion ring(W, H);
        ring.AddRoundRect({pW - hW, pH - hH, 3 * W / 2 - pW, 3 * H / 2 - pH}, 9 * (W - pW) / 5,
                          9 * (H - pH) / 5);
        r.AddRect(step.Whole());
        r.Xor(ring);
        break;
    }
    case 85:
        AddBars(r, step, 2 * pW, 2 * pH, 1, 1, band);
        break;
    case 86:
        AddBars(r, step, 2 * pW, 2 * pH, 1, 2, band);
        break;
    case 87:
        AddBars(r, step, 2 * pW, 2 * pH, 2, 1, band);
        break;
    case 88:
        AddBars(r, step, 2 * pW, 2 * pH, 2, 2, band);
        break;
    case 89:
        AddBars(r, step, 2 * pW, 2 * pH, 4, 4, band);
        break;
    case 90:
        AddBars(r, step, 2 * pW, 2 * pH, 4, 5, band);
        break;
    case 91:
        AddBars(r, step, 2 * pW, 2 * pH, 5, 4, band);
        break;
    case 92:
        AddBars(r, step, 2 * pW, 2 * pH, 5, 5, band);
        break;
    case 93:
        AddBars(r, step, pW, pH, 1, 3, band);
        break;
    case 94:
        AddBars(r, step, pW, pH, 2, 3, band);
        break;
    case 95:
        AddBars(r, step, pW, pH, 3, 1, band);
        break;
    case 96:
        AddBars(r, step, pW, pH, 3, 2, band);
        break;
    case 97:
        AddBars(r, step, pW, pH, 3, 3, 0);
        break;
    case 98: {
        AddBars(r, step, 2 * pW, 2 * pH, 1, 1, band);
        TEffectRegion other(W, H);
        AddBars(other, step, 2 * pW, 2 * pH, 2, 2, band);
        r.Intersect(other);
        break;
    }
    case 99:
        AddShred(r, step, pW, pH, 1, 1);
        break;
    case 100:
        AddShred(r, step, pW, pH, 1, 2);
        break;
    case 101:
        AddShred(r, step, pW, pH, 2, 1);
        break;
    case 102:
        AddShred(r, step, pW, pH, 2, 2);
        break;
    case 103:
        AddShred(r, step, pW, pH, 1, 3);
        break;
    case 104:
        AddShred(r, step, pW, pH, 2, 3);
        break;
    case 105:
        AddShred(r, step, pW, pH, 3, 1);
        break;
    case 106:
        AddShred(r, step, pW, pH, 3, 2);
        break;
    case 107:
        AddShred(r, step, pW, pH, 3, 3);
        break;
    case 108:
        AddShred(r, step, pW, pH, 4, 4);
        break;
    case 109:
        AddTriangle(r, {0, 0}, {2 * pW, 0}, {0, 2 * pH});
        break;
    case 110:
        AddTriangle(r, {W, 0}, {W - 2 * pW, 0}, {W, 2 * pH});
        break;
    case 111:
        AddTriangle(r, {0, H}, {2 * pW, H}, {0, H - 2 * pH});
        break;
    case 112:
        AddTriangle(r, {W, H}, {W - 2 * pW, H}, {W, H - 2 * pH});
        break;
    case 113:
        AddTriangle(r, {0, H}, {0, 0}, {pW, H});
        AddTriangle(r, {W, H}, {W, 0}, {W - pW, 0});
        break;
    case 114:
        AddTriangle(r, {W, 0}, {0, 0}, {W, pH});
        AddTriangle(r, {W, H}, {0, H}, {0, H - pH});
        break;
    case 115:
        AddTriangle(r, {hW, hH}, {0, H}, {0, H - pH});
        AddTriangle(r, {0, 0}, {pW, 0}, {hW, hH});
        AddTriangle(r, {W - pW, H}, {hW, hH}, {W, H});
        AddTriangle(r, {hW, hH}, {W, 0}, {W, pH});
        break;
    case 116: {
        const int s = pW / 5, t = MulDiv(s, H, W);
        for (int i = 0; i <= 9; ++i)
            for (int j = 0; j <= 9; ++j) {
                const int x = int(qint64(W) * i / 10), y = int(qint64(H) * j / 10);
                AddTriangle(r, {x, y}, {x + s, y}, {x, y + t});
            }
        break;
    }
    case 122:
        AddSpeckle(r, step, pW, 0, 1, 0);
        break;
    case 123:
        AddSpeckle(r, step, pW, 0, 2, 0);
        break;
    case 124:
        AddSpeckle(r, step, 0, pH, 0, 1);
        break;
    case 125:
        AddSpeckle(r, step, 0, pH, 0, 2);
        break;
    case 126:
        AddSquares(r, step);
        break;
    default:
        break;
    }
    return r;
}
