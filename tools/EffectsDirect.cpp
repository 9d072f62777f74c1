// Direct effects (identifiers 117-121 and 127-137): they draw into the target themselves, pixel by pixel
// (fade, pivots) or line by line and block by block (shutters, lattice, diagonal blocks).
#include "tools/EffectsInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

#if defined(__SSE2__)
// floor(a / 100) in 16-bit lanes for 0 <= a <= 25500: (a * 41944) >> 22, exact over that range.
inline __m128i Div100(__m128i a) {
    return _mm_srli_epi16(_mm_mulhi_epu16(a, _mm_set1_epi16(short(41944))), 6);
}
#endif

// Fade: every colour channel t of the target becomes t * (100 - P) div 100 + n * P div 100, n the
// source's. Successive steps compound. The fourth byte of 32-bit pixels is left alone.
void Fade(const TEffectStep& step) {
    const int progress = step.Progress, depth = step.Target.Depth, bytes = step.W * depth;
    for (int y = 0; y < step.H; ++y) {
        const uchar* n = step.Source.Line(y);
        uchar* t = step.Target.Line(y);
        int i = 0;
#if defined(__SSE2__)
        const __m128i keep = _mm_set1_epi16(short(100 - progress)), take = _mm_set1_epi16(short(progress));
        const __m128i zero = _mm_setzero_si128();
        const __m128i fourth = depth == 4 ? _mm_set1_epi32(int(0xFF000000u)) : zero;
        for (; i + 16 <= bytes; i += 16) {
            const __m128i tv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
            const __m128i nv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + i));
            const __m128i lo = _mm_add_epi16(Div100(_mm_mullo_epi16(_mm_unpacklo_epi8(tv, zero), keep)),
                                             Div100(_mm_mullo_epi16(_mm_unpacklo_epi8(nv, zero), take)));
            const __m128i hi = _mm_add_epi16(Div100(_mm_mullo_epi16(_mm_unpackhi_epi8(tv, zero), keep)),
                                             Div100(_mm_mullo_epi16(_mm_unpackhi_epi8(nv, zero), take)));
            const __m128i blend = _mm_packus_epi16(lo, hi);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(t + i),
                             _mm_or_si128(_mm_andnot_si128(fourth, blend), _mm_and_si128(fourth, tv)));
        }
#endif
        for (; i < bytes; ++i)
            if (depth == 3 || i % 4 != 3) t[i] = uchar(FadeChannel(t[i], n[i], progress));
    }
}

// The first x in [0, w) for which the non-decreasing test holds (w when none does).
template <class F> int FirstWhere(int w, F test) {
    int low = 0, high = w;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (test(mid))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
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
    // Per row: the products by y - cy and the run of pixels whose source lies in the picture (with cos and
    // sin at or above 0 both source coordinates grow with x, so those pixels form one run).
    std::vector<double> sinY(static_cast<size_t>(H)), cosY(static_cast<size_t>(H));
    std::vector<int> first(static_cast<size_t>(H)), last(static_cast<size_t>(H));
    for (int y = 0; y < H; ++y) {
        const double sy = s * double(y - cy), cy2 = c * double(y - cy);
        sinY[size_t(y)] = sy;
        cosY[size_t(y)] = cy2;
        auto sourceX = [&](int x) { return cx + RoundHalfEven(cosX[size_t(x)] - sy); };
        auto sourceY = [&](int x) { return cy + RoundHalfEven(sinX[size_t(x)] + cy2); };
        first[size_t(y)] = std::max(FirstWhere(W, [&](int x) { return sourceX(x) >= 0; }),
                                    FirstWhere(W, [&](int x) { return sourceY(x) >= 0; }));
        last[size_t(y)] = std::min(FirstWhere(W, [&](int x) { return sourceX(x) >= W; }),
                                   FirstWhere(W, [&](int x) { return sourceY(x) >= H; }));
    }
    // In tiles, so that the source rows a turned tile reads stay in the cache.
    constexpr int kTile = 64;
    for (int y0 = 0; y0 < H; y0 += kTile)
        for (int x0 = 0; x0 < W; x0 += kTile)
            for (int y = y0; y < std::min(H, y0 + kTile); ++y) {
                const double sy = sinY[size_t(y)], cy2 = cosY[size_t(y)];
                uchar* to = step.Target.Line(y);
                const int end = std::min(last[size_t(y)], x0 + kTile);
                for (int x = std::max(first[size_t(y)], x0); x < end; ++x) {
                    const int fromX = cx + RoundHalfEven(cosX[size_t(x)] - sy);
                    const int fromY = cy + RoundHalfEven(sinX[size_t(x)] + cy2);
                    const uchar* from = step.Source.Line(fromY) + fromX * depth;
                    uchar* t = to + x * depth;
                    if (depth == 4) {
                        std::memcpy(t, from, 4);
                    } else {
                        t[0] = from[0];
                        t[1] = from[1];
                        t[2] = from[2];
                    }
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
        step.CopyAndInvalidate(vertical ? TEdgeRect{at, 0, at + 1, step.H}
                                        : TEdgeRect{0, at, step.W, at + 1});
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
    // At 100 the whole new picture is drawn afterwards: the pixel-by-pixel effects, which invalidate nothing
    // of their own, need not draw first.
    if (step.Progress == 100 && id >= 117 && id <= 121) return;
    switch (id) {
    case 117:
        Fade(step);
        break;
    case 118:
        Pivot(step, -1, -1);
        break;
    case 119:
        Pivot(step, -1, H);
        break;
    case 120:
        Pivot(step, W, -1);
        break;
    case 121:
        Pivot(step, W, H);
        break;
    case 127:
        Slats(step, true, true, false);
        break;
    case 128:
        Slats(step, true, false, false);
        break;
    case 129:
        Slats(step, false, true, false);
        break;
    case 130:
        Slats(step, false, false, false);
        break;
    case 131:
        Slats(step, false, true, true);
        break;
    case 132:
        Slats(step, false, false, true);
        break;
    case 133:
        Slats(step, true, true, true);
        break;
    case 134:
        Slats(step, true, false, true);
        break;
    case 135:
        Lattice(step);
        break;
    case 136:
        DiagonalBlocks(step, 0);
        break;
    case 137:
        DiagonalBlocks(step, 1);
        break;
    default:
        break;
    }
}
