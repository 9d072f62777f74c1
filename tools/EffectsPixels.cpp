#include "tools/EffectsPixels.h"

#include <algorithm>
#include <cstring>

namespace {

using u128 = unsigned __int128;

// floor(a / b) and ceil(a / b) for b > 0.
qint64 FloorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
qint64 CeilDiv(qint64 a, qint64 b) {
    return -FloorDiv(-a, b);
}

// The largest r with r * r <= n.
u128 ISqrt(u128 n) {
    if (n == 0) return 0;
    u128 r = u128(std::sqrt(static_cast<long double>(n)));
    while (r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

} // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const qint64 product = qint64(a) * qint64(b);
    const bool negative = (product < 0) != (c < 0);
    const quint64 n = product < 0 ? quint64(-product) : quint64(product);
    const quint64 d = c < 0 ? quint64(-qint64(c)) : quint64(c);
    const quint64 q = (2 * n + d) / (2 * d); // n / d + 1/2, truncated: halves go up in magnitude
    return int(negative ? -qint64(q) : qint64(q));
}

TEdgeRect TEdgeRect::Intersected(const TEdgeRect& o) const {
    return {std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
            std::min(Bottom, o.Bottom)};
}

TPixelPlane WritePlane(QImage& image) {
    TPixelPlane p;
    p.Bits = image.bits();
    p.Stride = image.bytesPerLine();
    p.Width = image.width();
    p.Height = image.height();
    p.Depth = image.depth() / 8;
    return p;
}

TPixelPlane ReadPlane(const QImage& image) {
    TPixelPlane p;
    p.Bits = const_cast<uchar*>(image.constBits());
    p.Stride = image.bytesPerLine();
    p.Width = image.width();
    p.Height = image.height();
    p.Depth = image.depth() / 8;
    return p;
}

// --- Regions ------------------------------------------------------------------------------------------

TEffectRegion::TEffectRegion(int width, int height)
    : FWidth(std::max(0, width)), FHeight(std::max(0, height)), FRows(size_t(FHeight)),
      FUnsorted(size_t(FHeight), 0) {}

void TEffectRegion::AddSpan(int y, qint64 left, qint64 right) {
    left = std::max<qint64>(left, 0);
    right = std::min<qint64>(right, FWidth);
    if (left >= right) return;
    std::vector<TSpan>& row = FRows[size_t(y)];
    // Shapes are mostly added left to right: a span at or right of the last one's start extends it or
    // follows it, and the row stays sorted.
    if (!row.empty() && left >= row.back().Left) {
        if (left <= row.back().Right) {
            row.back().Right = std::max(row.back().Right, int(right));
            return;
        }
    } else if (!row.empty()) {
        FUnsorted[size_t(y)] = 1;
    }
    row.push_back({int(left), int(right)});
}

void TEffectRegion::Normalize(int y) const {
    if (!FUnsorted[size_t(y)]) return;
    FUnsorted[size_t(y)] = 0;
    std::vector<TSpan>& row = FRows[size_t(y)];
    if (row.size() < 2) return;
    std::sort(row.begin(), row.end(), [](const TSpan& a, const TSpan& b) { return a.Left < b.Left; });
    size_t out = 0;
    for (size_t i = 1; i < row.size(); ++i) {
        if (row[i].Left <= row[out].Right)
            row[out].Right = std::max(row[out].Right, row[i].Right);
        else
            row[++out] = row[i];
    }
    row.resize(out + 1);
}

void TEffectRegion::AddRect(const TEdgeRect& r) {
    AddRect(r.Left, r.Top, r.Right, r.Bottom);
}

void TEffectRegion::AddRect(qint64 left, qint64 top, qint64 right, qint64 bottom) {
    if (right <= left || bottom <= top) return;
    const qint64 y0 = std::max<qint64>(top, 0), y1 = std::min<qint64>(bottom, FHeight);
    for (qint64 y = y0; y < y1; ++y)
        AddSpan(int(y), left, right);
}

void TEffectRegion::AddRoundRect(const TEdgeRect& r, qint64 cornerWidth, qint64 cornerHeight) {
    if (r.IsEmpty()) return;
    const qint64 l = r.Left, t = r.Top, rr = r.Right, b = r.Bottom;
    const qint64 cw = std::min(cornerWidth, rr - l), ch = std::min(cornerHeight, b - t);
    if (cw <= 0 || ch <= 0) {
        AddRect(r);
        return;
    }
    // In doubled coordinates the pixel centres are odd, the edges even; the corner ellipses have their
    // centres at (2l + cw or 2r - cw, 2t + ch or 2b - ch) and half-axes cw and ch.
    const qint64 topCentre = 2 * t + ch, bottomCentre = 2 * b - ch;
    const u128 cw2 = u128(cw) * u128(cw), ch2 = u128(ch) * u128(ch);
    const qint64 y0 = std::max<qint64>(t, 0), y1 = std::min<qint64>(b, FHeight);
    for (qint64 y = y0; y < y1; ++y) {
        const qint64 cy = 2 * y + 1;
        qint64 dy = 0;
        if (cy < topCentre)
            dy = topCentre - cy;
        else if (cy > bottomCentre)
            dy = cy - bottomCentre;
        if (dy == 0) {
            AddSpan(int(y), l, rr);
            continue;
        }
        // The largest k with k^2 ch^2 <= cw^2 (ch^2 - dy^2): the reach of the corner ellipse on this row.
        const qint64 k = qint64(ISqrt(cw2 * (ch2 - u128(dy) * u128(dy))) / u128(ch));
        const qint64 first = std::max(2 * l + cw - k, 2 * l + 1),
                     last = std::min(2 * rr - cw + k, 2 * rr - 1);
        // Pixel x has its centre at 2x + 1: the pixels with first <= 2x + 1 <= last.
        AddSpan(int(y), CeilDiv(first - 1, 2), FloorDiv(last - 1, 2) + 1);
    }
}

void TEffectRegion::AddEllipse(const TEdgeRect& r) {
    AddRoundRect(r, qint64(r.Right) - r.Left, qint64(r.Bottom) - r.Top);
}

void TEffectRegion::AddPolygon(const std::vector<QPoint>& points) {
    const size_t n = points.size();
    if (n < 3) return;
    qint64 yMin = points[0].y(), yMax = points[0].y();
    for (const QPoint& p : points) {
        yMin = std::min<qint64>(yMin, p.y());
        yMax = std::max<qint64>(yMax, p.y());
    }
    struct TCrossing {
        qint64 X; // the first pixel whose centre lies at or right of the edge
        int Winding;
    };
    std::vector<TCrossing> crossings;
    const qint64 y0 = std::max<qint64>(yMin, 0), y1 = std::min<qint64>(yMax, FHeight);
    for (qint64 y = y0; y < y1; ++y) {
        crossings.clear();
        for (size_t i = 0; i < n; ++i) {
            const qint64 ax = points[i].x(), ay = points[i].y();
            const qint64 bx = points[(i + 1) % n].x(), by = points[(i + 1) % n].y();
            if (ay == by || y < std::min(ay, by) || y >= std::max(ay, by)) continue;
            // The edge meets the centre row y + 1/2 at xc = ax + (y + 1/2 - ay)(bx - ax)/(by - ay); the first
            // pixel right of it is ceil(xc - 1/2).
            qint64 num = 2 * ax * (by - ay) + (2 * y + 1 - 2 * ay) * (bx - ax) - (by - ay);
            qint64 den = 2 * (by - ay);
            if (den < 0) {
                num = -num;
                den = -den;
            }
            crossings.push_back({CeilDiv(num, den), by > ay ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const TCrossing& a, const TCrossing& b) { return a.X < b.X; });
        int winding = 0;
        for (size_t i = 0; i < crossings.size(); ++i) {
            winding += crossings[i].Winding;
            if (winding != 0 && i + 1 < crossings.size()) AddSpan(int(y), crossings[i].X, crossings[i + 1].X);
        }
    }
}

void TEffectRegion::Unite(const TEffectRegion& other) {
    const int h = std::min(FHeight, other.FHeight);
    for (int y = 0; y < h; ++y)
        for (const TSpan& s : other.FRows[size_t(y)])
            AddSpan(y, s.Left, s.Right);
}

void TEffectRegion::Intersect(const TEffectRegion& other) {
    for (int y = 0; y < FHeight; ++y) {
        Normalize(y);
        std::vector<TSpan>& row = FRows[size_t(y)];
        if (y >= other.FHeight) {
            row.clear();
            continue;
        }
        const std::vector<TSpan>& b = other.Row(y);
        std::vector<TSpan> out;
        size_t i = 0, j = 0;
        while (i < row.size() && j < b.size()) {
            const int l = std::max(row[i].Left, b[j].Left), r = std::min(row[i].Right, b[j].Right);
            if (l < r) out.push_back({l, r});
            if (row[i].Right < b[j].Right)
                ++i;
            else
                ++j;
        }
        row.swap(out);
    }
}

void TEffectRegion::Xor(const TEffectRegion& other) {
    std::vector<std::pair<int, int>> events;
    for (int y = 0; y < std::min(FHeight, other.FHeight); ++y) {
        Normalize(y);
        std::vector<TSpan>& row = FRows[size_t(y)];
        const std::vector<TSpan>& b = other.Row(y);
        if (b.empty()) continue;
        events.clear();
        for (const TSpan& s : row)
            events.insert(events.end(), {{s.Left, 1}, {s.Right, -1}});
        for (const TSpan& s : b)
            events.insert(events.end(), {{s.Left, 1}, {s.Right, -1}});
        std::sort(events.begin(), events.end());
        row.clear();
        int count = 0;
        for (size_t i = 0; i < events.size(); ++i) {
            count += events[i].second;
            if (count == 1 && i + 1 < events.size() && events[i].first < events[i + 1].first)
                AddSpan(y, events[i].first, events[i + 1].first);
        }
    }
}

const std::vector<TSpan>& TEffectRegion::Row(int y) const {
    Normalize(y);
    return FRows[size_t(y)];
}

bool TEffectRegion::Contains(int x, int y) const {
    if (y < 0 || y >= FHeight) return false;
    for (const TSpan& s : Row(y))
        if (x >= s.Left && x < s.Right) return true;
    return false;
}

qint64 TEffectRegion::Area() const {
    qint64 area = 0;
    for (int y = 0; y < FHeight; ++y)
        for (const TSpan& s : Row(y))
            area += s.Right - s.Left;
    return area;
}

// --- Copies -------------------------------------------------------------------------------------------

void CopyArea(const TPixelPlane& source, const TPixelPlane& target, const TEdgeRect& r) {
    const TEdgeRect c =
        r.Intersected({0, 0, std::min(source.Width, target.Width), std::min(source.Height, target.Height)});
    if (c.IsEmpty()) return;
    const size_t bytes = size_t(c.Right - c.Left) * size_t(target.Depth);
    for (int y = c.Top; y < c.Bottom; ++y)
        std::memcpy(target.Line(y) + c.Left * target.Depth, source.Line(y) + c.Left * source.Depth, bytes);
}

void CopyRegion(const TPixelPlane& source, const TPixelPlane& target, const TEffectRegion& region) {
    const int h = std::min({source.Height, target.Height, region.Height()});
    const int w = std::min(source.Width, target.Width);
    const int depth = target.Depth;
    for (int y = 0; y < h; ++y) {
        const uchar* from = source.Line(y);
        uchar* to = target.Line(y);
        for (const TSpan& s : region.Row(y)) {
            const int r = std::min(s.Right, w);
            if (s.Left < r)
                std::memcpy(to + s.Left * depth, from + s.Left * depth, size_t(r - s.Left) * size_t(depth));
        }
    }
}

namespace {

// The destination pixels along one axis and the source pixel each takes, for the pixels that lie within
// both pictures.
struct TAxisMap {
    std::vector<int> To, From;
};

TAxisMap MapAxis(int s0, int sn, int sLimit, int d0, int dn, int dLimit) {
    TAxisMap map;
    const qint64 n = dn < 0 ? -qint64(dn) : qint64(dn);
    // The destination pixels within [0, dLimit): i in [iBegin, iEnd).
    qint64 iBegin, iEnd;
    if (dn > 0) {
        iBegin = std::max<qint64>(0, -qint64(d0));
        iEnd = std::min<qint64>(n, qint64(dLimit) - d0);
    } else {
        iBegin = std::max<qint64>(0, qint64(d0) - dLimit);
        iEnd = std::min<qint64>(n, d0);
    }
    if (iEnd > iBegin) {
        map.To.reserve(size_t(iEnd - iBegin));
        map.From.reserve(size_t(iEnd - iBegin));
    }
    for (qint64 i = iBegin; i < iEnd; ++i) {
        const qint64 from = s0 + (2 * i + 1) * sn / (2 * n);
        if (from < 0 || from >= sLimit) continue;
        map.To.push_back(int(dn > 0 ? d0 + i : d0 - 1 - i));
        map.From.push_back(int(from));
    }
    return map;
}

} // namespace

void StretchCopy(const TPixelPlane& source, int sx, int sy, int sw, int sh, const TPixelPlane& target, int dx,
                 int dy, int dw, int dh) {
    if (sw <= 0 || sh <= 0 || dw == 0 || dh == 0) return;
    const TAxisMap cols = MapAxis(sx, sw, source.Width, dx, dw, target.Width);
    const TAxisMap rows = MapAxis(sy, sh, source.Height, dy, dh, target.Height);
    if (cols.To.empty() || rows.To.empty()) return;
    const int depth = target.Depth;
    const size_t count = cols.To.size();
    // Same width, not mirrored: column i takes source column sx + i, one block per row.
    if (dw == sw) {
        const size_t bytes = count * size_t(depth);
        for (size_t j = 0; j < rows.To.size(); ++j)
            std::memcpy(target.Line(rows.To[j]) + cols.To.front() * depth,
                        source.Line(rows.From[j]) + cols.From.front() * depth, bytes);
        return;
    }
    for (size_t j = 0; j < rows.To.size(); ++j) {
        const uchar* from = source.Line(rows.From[j]);
        uchar* to = target.Line(rows.To[j]);
        if (depth == 4) {
            for (size_t i = 0; i < count; ++i)
                std::memcpy(to + cols.To[i] * 4, from + cols.From[i] * 4, 4);
        } else {
            for (size_t i = 0; i < count; ++i) {
                const uchar* f = from + cols.From[i] * 3;
                uchar* t = to + cols.To[i] * 3;
                t[0] = f[0];
                t[1] = f[1];
                t[2] = f[2];
            }
        }
    }
}
