// Rectangle effects (identifiers 0-56): expanding, sliding, revealing, aggrading, unrolling and
// contracting rectangles. Each sets the final destination d and source s that DrawEffect stretches; some
// first make secondary copies of their own.
#include "tools/EffectsInternal.h"

namespace {

// A secondary copy: s of the source stretched onto d of the target, then d invalidated.
void Copy(const TEffectStep& step, const TEdgeRect& d, const TEdgeRect& s) {
    if (d.IsEmpty()) return;
    StretchCopy(step.Source, s.Left, s.Top, s.Right - s.Left, s.Bottom - s.Top, step.Target, d.Left, d.Top,
                d.Right - d.Left, d.Bottom - d.Top);
    step.Invalidate(d);
}
void Copy(const TEffectStep& step, const TEdgeRect& d) {
    Copy(step, d, d);
}

// The mirrored copy of the unroll effects: s (first clipped to the picture) drawn mirrored onto d. A
// left-right mirror starts at x = d.Right + 1 with width -(d.Right - d.Left + 2), so it covers the columns
// d.Left - 1 .. d.Right, the source's first column going to d.Right; a top-bottom mirror likewise in y.
void MirroredCopy(const TEffectStep& step, const TEdgeRect& d, const TEdgeRect& s, bool leftRight) {
    const TEdgeRect from = s.Intersected(step.Whole());
    if (from.IsEmpty()) return;
    const int sw = from.Right - from.Left, sh = from.Bottom - from.Top;
    if (leftRight) {
        const int n = d.Right - d.Left + 2, h = d.Bottom - d.Top;
        if (n <= 0 || h <= 0) return;
        StretchCopy(step.Source, from.Left, from.Top, sw, sh, step.Target, d.Right + 1, d.Top, -n, h);
        step.Invalidate({d.Left - 1, d.Top, d.Right + 1, d.Bottom});
    } else {
        const int n = d.Bottom - d.Top + 2, w = d.Right - d.Left;
        if (n <= 0 || w <= 0) return;
        StretchCopy(step.Source, from.Left, from.Top, sw, sh, step.Target, d.Left, d.Bottom + 1, w, -n);
        step.Invalidate({d.Left, d.Top - 1, d.Right, d.Bottom + 1});
    }
}

// The far edge of the roll for progress extent p on a side of n pixels: half the revealed part while
// that is under a fifth of the side, half the rest near the end, a tenth of the side in between.
int RollEdge(int p, int n) {
    const int fifth = n / 5;
    if (p < fifth) return p + p / 2;
    if (n - p < fifth) return p + (n - p) / 2;
    return p + n / 10;
}

// The near edge of the roll coming from the far side: e = n - p is where the revealed part begins.
int RollEdgeFromEnd(int p, int n) {
    const int e = n - p, fifth = n / 5;
    if (p < fifth) return e - p / 2;
    if (e < fifth) return e - e / 2;
    return e - n / 10;
}

} // namespace

void RectangleEffect(int id, const TEffectStep& step, TEdgeRect& d, TEdgeRect& s) {
    const int W = step.W, H = step.H, pW = step.pW, pH = step.pH, hW = step.hW, hH = step.hH;
    const int a = pW / 2, b = pH / 2;
    const TEdgeRect whole = step.Whole();
    auto same = [&](const TEdgeRect& r) {
        d = r;
        s = r;
    };
    auto set = [&](const TEdgeRect& dest, const TEdgeRect& src) {
        d = dest;
        s = src;
    };
    switch (id) {
    case 0:
        set({W - pW, 0, W, H}, whole);
        break;
    case 1:
        set({0, 0, pW, H}, whole);
        break;
    case 2:
        set({W - pW, 0, 2 * W - pW, H}, whole);
        break;
    case 3:
        set({pW - W, 0, pW, H}, whole);
        break;
    case 4:
        same({0, 0, pW, H});
        break;
    case 5:
        same({W - pW, 0, W, H});
        break;
    case 6:
        set({0, 0, 2 * W - pW, H}, {0, 0, pW, H});
        break;
    case 7:
        set({pW - W, 0, W, H}, {W - pW, 0, W, H});
        break;
    case 8:
        set({pW - W, 0, 2 * W - pW, H}, {(W - pW) / 2, 0, (W + pW) / 2, H});
        break;
    case 9:
        set({(W - pW) / 2, 0, (W + pW) / 2, H}, whole);
        break;
    case 10:
        same({(W - pW) / 2, 0, (W + pW) / 2, H});
        break;
    case 11:
        Copy(step, {0, 0, a + 1, H});
        same({W - a - 1, 0, W, H});
        break;
    case 12:
        Copy(step, {0, 0, a + 1, H}, {0, 0, hW + 1, H});
        set({W - a - 1, 0, W, H}, {hW, 0, W, H});
        break;
    case 13: {
        const int r = RollEdge(pW, W);
        MirroredCopy(step, {pW, 0, r, H}, {r, 0, 2 * r - pW, H}, true);
        same({0, 0, pW, H});
        break;
    }
    case 14: {
        const int e = W - pW, q = RollEdgeFromEnd(pW, W);
        MirroredCopy(step, {q, 0, e, H}, {2 * q - e, 0, q, H}, true);
        same({e, 0, W, H});
        break;
    }
    case 15:
        Copy(step, {0, 0, pW, H});
        set({pW, 0, W, H}, {pW, 0, pW + W / 20, H});
        break;
    case 16:
        Copy(step, {W - pW, 0, W, H});
        set({0, 0, W - pW, H}, {W - pW - W / 20, 0, W - pW, H});
        break;
    case 17:
        set({0, H - pH, W, H}, whole);
        break;
    case 18:
        set({0, 0, W, pH}, whole);
        break;
    case 19:
        set({0, H - pH, W, 2 * H - pH}, whole);
        break;
    case 20:
        set({0, pH - H, W, pH}, whole);
        break;
    case 21:
        same({0, 0, W, pH});
        break;
    case 22:
        same({0, H - pH, W, H});
        break;
    case 23:
        set({0, 0, W, 2 * H - pH}, {0, 0, W, pH});
        break;
    case 24:
        set({0, pH - H, W, H}, {0, H - pH, W, H});
        break;
    case 25:
        set({0, pH - H, W, 2 * H - pH}, {0, (H - pH) / 2, W, (H + pH) / 2});
        break;
    case 26:
        set({0, (H - pH) / 2, W, (H + pH) / 2}, whole);
        break;
    case 27:
        same({0, (H - pH) / 2, W, (H + pH) / 2});
        break;
    case 28:
        Copy(step, {0, 0, W, b + 1});
        same({0, H - b - 1, W, H});
        break;
    case 29:
        Copy(step, {0, 0, W, b + 1}, {0, 0, W, hH + 1});
        set({0, H - b - 1, W, H}, {0, hH, W, H});
        break;
    case 30: {
        const int r = RollEdge(pH, H);
        MirroredCopy(step, {0, pH, W, r}, {0, r, W, 2 * r - pH}, false);
        same({0, 0, W, pH});
        break;
    }
    case 31: {
        const int e = H - pH, q = RollEdgeFromEnd(pH, H);
        MirroredCopy(step, {0, q, W, e}, {0, 2 * q - e, W, q}, false);
        same({0, e, W, H});
        break;
    }
    case 32:
        Copy(step, {0, 0, W, pH});
        set({0, pH, W, H}, {0, pH, W, pH + H / 20});
        break;
    case 33:
        Copy(step, {0, H - pH, W, H});
        set({0, 0, W, H - pH}, {0, H - pH - H / 20, W, H - pH});
        break;
    case 34:
        set({W - pW, H - pH, W, H}, whole);
        break;
    case 35:
        set({W - pW, 0, W, pH}, whole);
        break;
    case 36:
        set({0, 0, pW, pH}, whole);
        break;
    case 37:
        set({0, H - pH, pW, H}, whole);
        break;
    case 38:
        set({W - pW, H - pH, 2 * W - pW, 2 * H - pH}, whole);
        break;
    case 39:
        set({W - pW, pH - H, 2 * W - pW, pH}, whole);
        break;
    case 40:
        set({pW - W, pH - H, pW, pH}, whole);
        break;
    case 41:
        set({pW - W, H - pH, pW, 2 * H - pH}, whole);
        break;
    case 42:
        same({0, 0, pW, pH});
        break;
    case 43:
        same({0, H - pH, pW, H});
        break;
    case 44:
        same({W - pW, H - pH, W, H});
        break;
    case 45:
        same({W - pW, 0, W, pH});
        break;
    case 46:
        set({0, 0, 2 * W - pW, 2 * H - pH}, {0, 0, pW, pH});
        break;
    case 47:
        set({0, pH - H, 2 * W - pW, H}, {0, H - pH, pW, H});
        break;
    case 48:
        set({pW - W, pH - H, W, H}, {W - pW, H - pH, W, H});
        break;
    case 49:
        set({pW - W, 0, W, 2 * H - pH}, {W - pW, 0, W, pH});
        break;
    case 50:
        set({pW - W, pH - H, 2 * W - pW, 2 * H - pH},
            {(W - pW) / 2, (H - pH) / 2, (W + pW) / 2, (H + pH) / 2});
        break;
    case 51:
        set({(W - pW) / 2, (H - pH) / 2, (W + pW) / 2, (H + pH) / 2}, whole);
        break;
    case 52:
        same({(W - pW) / 2, (H - pH) / 2, (W + pW) / 2, (H + pH) / 2});
        break;
    case 53:
        Copy(step, {0, 0, W, b});
        Copy(step, {0, H - b, W, H});
        Copy(step, {0, 0, a, H});
        same({W - a, 0, W, H});
        break;
    case 54:
        Copy(step, {0, 0, a + 1, b + 1});
        Copy(step, {0, H - b - 1, a + 1, H});
        Copy(step, {W - a - 1, H - b - 1, W, H});
        same({W - a - 1, 0, W, b + 1});
        break;
    case 55:
        Copy(step, {0, 0, a + 1, b + 1}, {0, 0, hW + 1, hH + 1});
        Copy(step, {0, H - b, a + 1, H}, {0, hH + 1, hW + 1, H});
        Copy(step, {W - a, H - b, W, H}, {hW + 1, hH + 1, W, H});
        set({W - a, 0, W, b + 1}, {hW + 1, 0, W, hH + 1});
        break;
    case 56:
        Copy(step, {(pW - W) / 2, 0, a + 1, hH + 1}, {0, 0, hW + 1, hH + 1});
        Copy(step, {hW - 1, (pH - H) / 2, W, b + 1}, {hW - 1, 0, W, hH + 1});
        Copy(step, {W - a, hH - 1, W + (W - pW) / 2, H}, {hW + 1, hH - 1, W, H});
        set({0, H - b, hW + 1, H + (H - pH) / 2}, {0, hH + 1, hW + 1, H});
        break;
    default:
        break;
    }
}
