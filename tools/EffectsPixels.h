// The pixel rules the transitions are built from, each written once: the integer helpers, the pixels a
// rectangle, rounded rectangle, ellipse or polygon covers, and the nearest-neighbour stretch. They work
// in exact integer arithmetic (no antialiasing, no floating point), so every result is reproducible.
//
// Coordinates: pixel (x, y) is the unit square [x, x+1) x [y, y+1) with its centre at (x + 1/2, y + 1/2).
// Rectangles are given by their edges (left, top, right, bottom), right and bottom exclusive. A shape
// covers a pixel when it covers the pixel's centre:
// - Rectangle (l, t, r, b): the pixels l <= x < r, t <= y < b. Empty when r <= l or b <= t; the edges are
//   never swapped.
// - Rounded rectangle (l, t, r, b) with corners cw x ch: the rectangle with each corner cut by a quarter of
//   an ellipse cw wide and ch high (cw is first lowered to the rectangle's width, ch to its height; with
//   either at 0 or below it is the plain rectangle). A centre on the ellipse would count as inside, but
//   none ever lies exactly on it (with integer edges and corner sizes the equation has no solution there).
// - Ellipse (l, t, r, b): the rounded rectangle whose corners are its whole width and height.
// - Polygon (integer vertices, closed from the last point back to the first): the centres with a non-zero
//   winding number. No centre lies on a vertex or a horizontal edge; a centre exactly on another edge
//   counts as right of it, so a shape includes the centres on its left edges and excludes those on its
//   right edges (a polygon drawn along a rectangle's edges covers the same pixels as the rectangle).
#pragma once

#include <QImage>
#include <QPoint>

#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// a * b / c with a 64-bit intermediate, rounded to the nearest integer, halves away from zero. c = 0 gives
// -1 (as the classic platform function does). The result is cut to 32 bits.
int MulDiv(int a, int b, int c);

// The nearest integer, halves to even (the default rounding of drawing coordinates, in the default
// floating-point rounding mode). v must lie within the range of int.
inline int RoundHalfEven(double v) {
#if defined(__SSE2__)
    return _mm_cvtsd_si32(_mm_set_sd(v));
#else
    return int(std::nearbyint(v));
#endif
}

struct TEdgeRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    TEdgeRect Intersected(const TEdgeRect& o) const;
    friend bool operator==(const TEdgeRect&, const TEdgeRect&) = default;
};

// Direct access to the rows of a 24-bit (3 bytes a pixel) or 32-bit (4 bytes) picture.
struct TPixelPlane {
    uchar* Bits = nullptr;
    qsizetype Stride = 0;
    int Width = 0, Height = 0, Depth = 3; // Depth: bytes per pixel

    uchar* Line(int y) const { return Bits + y * Stride; }
};
// The plane of a picture of 3 or 4 bytes a pixel (detaches a shared image). Reading planes of const
// pictures are made with ReadPlane and never written.
TPixelPlane WritePlane(QImage& image);
TPixelPlane ReadPlane(const QImage& image);

// One run of covered pixels on a row: Left <= x < Right.
struct TSpan {
    int Left, Right;
    friend bool operator==(const TSpan&, const TSpan&) = default;
};

// A set of pixels of a width x height picture (pixels outside it are dropped), kept as sorted, disjoint,
// non-touching spans per row. Shapes are added by the rules at the top of this file.
class TEffectRegion {
public:
    TEffectRegion(int width, int height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    // Each adds the pixels of a shape (union).
    void AddRect(const TEdgeRect& r);
    void AddRect(qint64 left, qint64 top, qint64 right, qint64 bottom);
    void AddRoundRect(const TEdgeRect& r, qint64 cornerWidth, qint64 cornerHeight);
    void AddEllipse(const TEdgeRect& r);
    void AddPolygon(const std::vector<QPoint>& points);

    void Unite(const TEffectRegion& other);
    void Intersect(const TEffectRegion& other); // both of the same size
    void Xor(const TEffectRegion& other);       // both of the same size

    // The spans of row y (0 <= y < height).
    const std::vector<TSpan>& Row(int y) const;
    bool Contains(int x, int y) const;
    qint64 Area() const;

private:
    void AddSpan(int y, qint64 left, qint64 right);
    void Normalize(int y) const;

    int FWidth, FHeight;
    mutable std::vector<std::vector<TSpan>> FRows;
    mutable std::vector<char> FUnsorted;
};

// Copies the pixels of source covered by r onto the same pixels of target (clipped to both).
void CopyArea(const TPixelPlane& source, const TPixelPlane& target, const TEdgeRect& r);
// Copies the pixels of source in the region onto the same pixels of target.
void CopyRegion(const TPixelPlane& source, const TPixelPlane& target, const TEffectRegion& region);

// The nearest-neighbour stretch: copies the source rectangle (sx, sy, sw, sh) of source onto the part of
// target between the edges x = dx and x = dx + dw and y = dy and y = dy + dh. A negative dw mirrors
// left-right, a negative dh top-bottom. Numbering the |dw| destination columns i = 0, 1, ... from the
// dx edge (x = dx + i, or x = dx - 1 - i when dw < 0), column i takes source column
// sx + floor((2i + 1) * sw / (2 |dw|)), the source column under the destination column's centre; rows
// alike. Destination pixels outside target, and those whose source pixel lies outside source, keep
// their value. Nothing is drawn when dw or dh is 0 or sw or sh is 0 or below. Both planes have the same
// depth.
void StretchCopy(const TPixelPlane& source, int sx, int sy, int sw, int sh, const TPixelPlane& target, int dx,
                 int dy, int dw, int dh);
