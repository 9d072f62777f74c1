// Direct effects (identifiers 117-121 and 127-137): they draw into the target themselves, pixel by pixel
// (fade, pivots) or line by line and block by block (shutters, lattice, diagonal blocks).
#include "tools/EffectsInternal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Fade: every colour channel t of the target becomes t * (100 - P) div 100 + n * P div 100, n the
// source's. Successive steps compound. The fourth byte of 32-bit pixels is left alone.
void Fade(const TEffectStep& step) {
    uchar keep[256], take[256];
    for (int v = 0; v < 256; ++v) {
        keep[v] = uchar(v * (100 - step.Progress) / 100);
        take[v] = uchar(v * step.Progress / 100);
    }
    const int depth = step.Target.Depth;
    for (int y = 0; y < step.H; ++y) {
        const uchar* n = step.Source.Line(y);
        uchar* t = step.Target.Line(y);
        if (depth == 3) {
            const int bytes = step.W * 3;
            for (int i = 0; i < bytes; ++i) t[i] = uchar(keep[t[i]] + take[n[i]]);
        } else {
            for (int x = 0; x < step.W; ++x, t += 4, n += 4) {
                t[0] = uchar(keep[t[0]] + take[n[0]]);
                t[1] = uchar(keep[t[1]] + take[n[1]]);
                t[2] = uchar(keep[t[2]] + take[n[2]]);
            }
        }
    }
}

// Pivot about (cx, cy): the new picture turned by (100 - P) * pi / 200 (a quarter turn at 0, none at
// 100). Target pixel (x, y) takes source pixel (cx + [cos * (x - cx) - sin * (y - cy)], cy + [sin * (x -
// cx) + cos * (y - cy)]), [ ] rounding halves to even, when that lies within the picture.
void Pivot(const TEffectStep& step, int cx, int cy) {
    const double theta = (100 - step.Progress) * std::numbers::pi / 200;
    const double c = std::cos(theta), s = std::sin(theta);
    const int W = step.W, H = step.H, depth = step.Target.Depth;
    // The products by x - cx are the same on every row; each pixel then needs one subtraction and one
    // addition, exactly the operations of the formula.
    std::vector<double> cosX(static_cast<size_t>(W)), sinX(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) {
        cosX[size_t(x)] = c * double(x - cx);
        sinX[size_t(x)] = s * double(x - cx);
    }
    for (int y = 0; y < H; ++y) {
        const double sinY = s * double(y - cy), cosY = c * double(y - cy);
        uchar* to = step.Target.Line(y);
        for (int x = 0; x < W; ++x) {
            const int sx = cx + RoundHalfEven(cosX[size_t(x)] - sinY);
            if (unsigned(sx) >= unsigned(W)) continue;
            const int sy = cy + RoundHalfEven(sinX[size_t(x)] + cosY);
            if (unsigned(sy) >= unsigned(H)) continue;
            const uchar* from = step.Source.Line(sy) + sx * depth;
            uchar* t = to + x * depth;
            t[0] = from[0];
            t[1] = from[1];
            t[2] = from[2];
            if (depth == 4) t[3] = from[3];
        }
    }
}

// Shutters: slats of side div 40 pixels (at least 4); each step copies one line per slat, at offset
// MulDiv(P, size, 100) from the slat's start or from its end, and invalidates it. In the alternating
// modes the direction flips after every slat.
void Slats(const TEffectStep& step, bool vertical, bool fromStart, bool alternate) {
    const int side = vertical ? step.W : step.H;
    const int size = std::max(4, side / 40);
    const int count = side / size;
    const int d = MulDiv(step.Progress, size, 100);
    for (int k = 0; k < count; ++k) {
        const int at = fromStart ? k * size + d : k * size + size - d;
        step.CopyAndInvalidate(vertical ? TEdgeRect{at, 0, at + 1, step.H} : TEdgeRect{0, at, step.W, at + 1});
        if (alternate) fromStart = !fromStart;
    }
}

// Lattice: every tenth column and row, starting at MulDiv(P, 10, 100) - 1.
void Lattice(const TEffectStep& step) {
    const int phase = MulDiv(step.Progress, 10, 100) - 1;
    for (int k = phase; k <= step.H || k <= step.W; k += 10) {
        step.CopyAndInvalidate({k, 0, k + 1, step.H});
        step.CopyAndInvalidate({0, k, step.W, k + 1});
    }
}

// Diagonal blocks of 6 x 6 pixels: each step copies the diagonals MulDiv(P, N, 100) ..
// MulDiv(P + Step, N, 100) of the N = cols + rows - 1, odd diagonals from the opposite corner.
void DiagonalBlocks(const TEffectStep& step, int mode) {
    const int cols = step.W / 6, rows = step.H / 6, n = cols + rows - 1;
    const int first = MulDiv(step.Progress, n, 100), last = MulDiv(step.Progress + step.Step, n, 100);
    for (int k = first; k <= last; ++k) {
        int flags = mode;
        if (k % 2 != 0) flags ^= 3;
        int j = std::min(cols, k);
        int i = std::max(0, k - cols) + 1;
        if (k > (cols + rows) / 2.0 + 1 && (cols + rows) % 2 == 1) i -= 1;
        do {
            const int col = (flags & 1) ? j : cols - j + 1;
            const int row = (flags & 2) ? i : rows - i + 1;
            const int x = (col - 1) * 6, y = (row - 1) * 6;
            step.CopyAndInvalidate({x, y, x + 6, y + 6});
            --j;
            ++i;
        } while (j >= 1 && j <= cols && i >= 1 && i <= rows);
    }
}

} // namespace

void DirectEffect(int id, const TEffectStep& step) {
    const int W = step.W, H = step.H;
    switch (id) {
    case 117: Fade(step); break;
    case 118: Pivot(step, -1, -1); break;
    case 119: Pivot(step, -1, H); break;
    case 120: Pivot(step, W, -1); break;
    case 121: Pivot(step, W, H); break;
    case 127: Slats(step, true, true, false); break;
    case 128: Slats(step, true, false, false); break;
    case 129: Slats(step, false, true, false); break;
    case 130: Slats(step, false, false, false); break;
    case 131: Slats(step, false, true, true); break;
    case 132: Slats(step, false, false, true); break;
    case 133: Slats(step, true, true, true); break;
    case 134: Slats(step, true, false, true); break;
    case 135: Lattice(step); break;
    case 136: DiagonalBlocks(step, 0); break;
    case 137: DiagonalBlocks(step, 1); break;
    default: break;
    }
}
