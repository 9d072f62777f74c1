// The pixel rules of the transitions: MulDiv, rounding, the pixels each shape covers, the stretch.
#include "TestUtil.h"

#include "tools/EffectsPixels.h"

#include <algorithm>
#include <random>
#include <string>

namespace {

// The region as rows of '#' (covered) and '.'.
std::string Picture(const TEffectRegion& r) {
    std::string s;
    for (int y = 0; y < r.Height(); ++y) {
        for (int x = 0; x < r.Width(); ++x)
            s += r.Contains(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

// A 24-bit picture whose pixel (x, y) holds (x, y, tag).
QImage Numbered(int w, int h, int tag) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(x);
            p[1] = uchar(y);
            p[2] = uchar(tag);
        }
    return image;
}

// Where target pixel (x, y) came from: "x,y" of the source, or "-" when it kept its value.
std::string Origins(const QImage& image, int y) {
    std::string s;
    for (int x = 0; x < image.width(); ++x) {
        const uchar* p = image.constScanLine(y) + 3 * x;
        if (!s.empty()) s += ' ';
        s += p[2] == 1 ? std::to_string(p[0]) + "," + std::to_string(p[1]) : std::string("-");
    }
    return s;
}

} // namespace

TEST(EffectsPixels, MulDivRoundsHalvesAwayFromZeroThroughSixtyFourBits) {
    EXPECT_EQ(MulDiv(5, 1, 2), 3);   // 2.5
    EXPECT_EQ(MulDiv(-5, 1, 2), -3); // -2.5
    EXPECT_EQ(MulDiv(5, -1, 2), -3);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(-5, -1, -2), -3);
    EXPECT_EQ(MulDiv(-5, -1, 2), 3);
    EXPECT_EQ(MulDiv(7, 1, 2), 4);  // 3.5
    EXPECT_EQ(MulDiv(10, 1, 4), 3); // 2.5
    EXPECT_EQ(MulDiv(9, 1, 4), 2);  // 2.25
    EXPECT_EQ(MulDiv(11, 1, 4), 3); // 2.75
    EXPECT_EQ(MulDiv(-11, 1, 4), -3);
    EXPECT_EQ(MulDiv(0, 7, 3), 0);
    EXPECT_EQ(MulDiv(1000, 4, 90), 44);   // 44.4: the band of a 1000-pixel picture with step 4
    EXPECT_EQ(MulDiv(201, 50, 100), 101); // 100.5
    EXPECT_EQ(MulDiv(3, 50, 100), 2);     // 1.5
    EXPECT_EQ(MulDiv(1, 50, 100), 1);     // 0.5
    EXPECT_EQ(MulDiv(1, 49, 100), 0);
    // The product does not fit 32 bits, the quotient does.
    EXPECT_EQ(MulDiv(2000000000, 1500000000, 2000000000), 1500000000);
    EXPECT_EQ(MulDiv(2147483647, 2147483647, 2147483647), 2147483647);
    EXPECT_EQ(MulDiv(-2147483647 - 1, 3, 6), -1073741824);
    EXPECT_EQ(MulDiv(12, 34, 0), -1);
}

TEST(EffectsPixels, RoundHalfEvenGoesToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999999), 2);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3);
    EXPECT_EQ(RoundHalfEven(-7.6), -8);
    EXPECT_EQ(RoundHalfEven(1e9 + 0.5), 1000000000);
}

TEST(EffectsPixels, RectanglesCoverTheirEdgesLeftAndTopOnlyAndAreNeverReordered) {
    TEffectRegion r(6, 4);
    r.AddRect(1, 1, 3, 3);
    r.AddRect(5, 0, 9, 1);    // clipped to the picture
    r.AddRect(4, 3, 2, 4);    // right before left: nothing, not the swapped rectangle
    r.AddRect(0, 3, 0, 4);    // zero width: nothing
    r.AddRect(-3, -3, -1, 9); // outside: nothing
    EXPECT_EQ(Picture(r), ".....#\n"
                          ".##...\n"
                          ".##...\n"
                          "......\n");
    EXPECT_EQ(r.Area(), 5);
    // Touching spans merge into one.
    r.AddRect(3, 1, 5, 2);
    ASSERT_EQ(r.Row(1).size(), 1u);
    EXPECT_EQ(r.Row(1)[0], (TSpan{1, 5}));
}

TEST(EffectsPixels, PolygonsCoverCentresByNonZeroWindingLeftEdgesIncluded) {
    // The rectangle as a polygon is the rectangle.
    TEffectRegion rect(7, 5), poly(7, 5);
    rect.AddRect(1, 1, 5, 4);
    poly.AddPolygon({{1, 1}, {5, 1}, {5, 4}, {1, 4}});
    EXPECT_EQ(Picture(poly), Picture(rect));
    // Either orientation.
    TEffectRegion back(7, 5);
    back.AddPolygon({{1, 4}, {5, 4}, {5, 1}, {1, 1}});
    EXPECT_EQ(Picture(back), Picture(rect));

    // A right triangle (0,0) (4,0) (0,4): the centres (x+1/2, y+1/2) with x + y + 1 < 4 lie inside, those
    // with x + y + 1 = 4 lie on the slanted (right) edge and are left out.
    TEffectRegion tri(5, 5);
    tri.AddPolygon({{0, 0}, {4, 0}, {0, 4}, {0, 0}});
    EXPECT_EQ(Picture(tri), "###..\n"
                            "##...\n"
                            "#....\n"
                            ".....\n"
                            ".....\n");
    // Mirrored, the slanted edge is a left edge: its centres are in.
    TEffectRegion mirrored(5, 5);
    mirrored.AddPolygon({{5, 0}, {1, 0}, {5, 4}, {5, 0}});
    EXPECT_EQ(Picture(mirrored), ".####\n"
                                 "..###\n"
                                 "...##\n"
                                 "....#\n"
                                 ".....\n");

    // Non-zero winding: a self-overlapping star keeps its middle, and two overlapping squares of the same
    // orientation are one shape.
    TEffectRegion twice(6, 3);
    twice.AddPolygon({{0, 0}, {4, 0}, {4, 3}, {0, 3}, {0, 0}, {2, 0}, {6, 0}, {6, 3}, {2, 3}, {2, 0}});
    EXPECT_EQ(Picture(twice), "######\n######\n######\n");

    // Degenerate polygons cover nothing; parts outside the picture are dropped.
    TEffectRegion none(4, 4);
    none.AddPolygon({{0, 0}, {4, 4}});
    none.AddPolygon({{0, 0}, {4, 0}, {8, 0}});
    none.AddPolygon({{-10, -10}, {-2, -10}, {-10, -2}});
    EXPECT_EQ(none.Area(), 0);
    TEffectRegion big(3, 2);
    big.AddPolygon({{-100, -100}, {100, -100}, {100, 100}, {-100, 100}});
    EXPECT_EQ(big.Area(), 6);
}

TEST(EffectsPixels, RoundedRectanglesAndEllipsesCutTheirCornersByTheEllipse) {
    // An ellipse 8 x 6: centres with (x - 4)^2 / 16 + (y - 3)^2 / 9 <= 1.
    TEffectRegion e(8, 6);
    e.AddEllipse({0, 0, 8, 6});
    EXPECT_EQ(Picture(e), "..####..\n"
                          ".######.\n"
                          "########\n"
                          "########\n"
                          ".######.\n"
                          "..####..\n");
    TEffectRegion c(5, 5);
    c.AddEllipse({0, 0, 5, 5});
    EXPECT_EQ(Picture(c), ".###.\n"
                          "#####\n"
                          "#####\n"
                          "#####\n"
                          ".###.\n");
    // Corners 4 x 4 on a 8 x 3 rectangle: only the corner pixels go.
    TEffectRegion rr(8, 3);
    rr.AddRoundRect({0, 0, 8, 3}, 4, 4);
    EXPECT_EQ(Picture(rr), ".######.\n"
                           "########\n"
                           ".######.\n");
    // Corners larger than the rectangle are lowered to it: the ellipse.
    TEffectRegion clamped(8, 6), zero(8, 6), plain(8, 6);
    clamped.AddRoundRect({0, 0, 8, 6}, 100, 100);
    EXPECT_EQ(Picture(clamped), Picture(e));
    zero.AddRoundRect({1, 1, 7, 5}, 0, 9);
    plain.AddRect(1, 1, 7, 5);
    EXPECT_EQ(Picture(zero), Picture(plain));
    // A shape reaching far outside the picture keeps its exact edge inside it (a curved front).
    TEffectRegion front(6, 4);
    front.AddRoundRect({-20, -1, 4, 5}, 40, 40);
    EXPECT_EQ(Picture(front), "##....\n"
                              "####..\n"
                              "####..\n"
                              "##....\n");
}

// The covering rules checked pixel by pixel against their plain definitions, on many shapes.
TEST(EffectsPixels, ScanlineRulesAgreeWithTheDefinitionsPixelByPixel) {
    std::mt19937 random(5);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 300; ++round) {
        const int w = pick(1, 23), h = pick(1, 19);
        // Rounded rectangle: inside the rectangle and not outside a corner ellipse within its corner zone.
        const int l = pick(-8, w), t = pick(-8, h), r = l + pick(-2, 30), b = t + pick(-2, 30);
        const int cw = pick(-1, 40), ch = pick(-1, 40);
        TEffectRegion rr(w, h);
        rr.AddRoundRect({l, t, r, b}, cw, ch);
        const qint64 kw = std::min(cw, r - l), kh = std::min(ch, b - t);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool in = x >= l && x < r && y >= t && y < b;
                if (in && kw > 0 && kh > 0) {
                    const qint64 X = 2 * x + 1, Y = 2 * y + 1;
                    for (bool left : {true, false})
                        for (bool top : {true, false}) {
                            const qint64 cx = left ? 2 * qint64(l) + kw : 2 * qint64(r) - kw;
                            const qint64 cy = top ? 2 * qint64(t) + kh : 2 * qint64(b) - kh;
                            const bool zone = (left ? X < cx : X > cx) && (top ? Y < cy : Y > cy);
                            if (zone && (X - cx) * (X - cx) * kh * kh + (Y - cy) * (Y - cy) * kw * kw >
                                            kw * kw * kh * kh)
                                in = false;
                        }
                }
                ASSERT_EQ(rr.Contains(x, y), in) << "round rect " << l << ',' << t << ',' << r << ',' << b
                                                 << " corners " << cw << 'x' << ch << " at " << x << ',' << y;
            }
        // Polygon: the winding number of the centre, an edge counting when it crosses the centre's row at or
        // left of the centre.
        std::vector<QPoint> points;
        for (int i = pick(3, 7); i > 0; --i)
            points.emplace_back(pick(-4, w + 4), pick(-4, h + 4));
        TEffectRegion poly(w, h);
        poly.AddPolygon(points);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int winding = 0;
                for (size_t i = 0; i < points.size(); ++i) {
                    const QPoint a = points[i], c2 = points[(i + 1) % points.size()];
                    if (a.y() == c2.y() || y < std::min(a.y(), c2.y()) || y >= std::max(a.y(), c2.y()))
                        continue;
                    // crossing xc with xc * 2 (cy - ay) = 2 ax (cy - ay) + (2y + 1 - 2 ay)(cx - ax); counts
                    // when xc <= x + 1/2.
                    const qint64 dy = c2.y() - a.y();
                    const qint64 num =
                        2 * qint64(a.x()) * dy + (2 * qint64(y) + 1 - 2 * a.y()) * (c2.x() - a.x());
                    const bool left = dy > 0 ? 2 * num <= (2 * qint64(x) + 1) * 2 * dy
                                             : 2 * num >= (2 * qint64(x) + 1) * 2 * dy;
                    if (left) winding += dy > 0 ? 1 : -1;
                }
                ASSERT_EQ(poly.Contains(x, y), winding != 0)
                    << "polygon round " << round << " at " << x << ',' << y;
            }
    }
}

TEST(EffectsPixels, UnionIntersectionAndExclusiveOr) {
    TEffectRegion a(6, 2), b(6, 2);
    a.AddRect(0, 0, 4, 2);
    b.AddRect(2, 0, 6, 1);
    TEffectRegion u = a, i = a, x = a;
    u.Unite(b);
    i.Intersect(b);
    x.Xor(b);
    EXPECT_EQ(Picture(u), "######\n####..\n");
    EXPECT_EQ(Picture(i), "..##..\n......\n");
    EXPECT_EQ(Picture(x), "##..##\n####..\n");
    TEffectRegion all(6, 2);
    all.AddRect(0, 0, 6, 2);
    all.Xor(all);
    EXPECT_EQ(all.Area(), 0);
}

TEST(EffectsPixels, StretchTakesTheSourcePixelUnderEachDestinationCentre) {
    const QImage source = Numbered(8, 3, 1);
    auto stretch = [&](int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh, int tw = 8,
                       int th = 3) {
        QImage target = Numbered(tw, th, 0);
        StretchCopy(ReadPlane(source), sx, sy, sw, sh, WritePlane(target), dx, dy, dw, dh);
        return target;
    };
    // Twice as wide: each source column twice.
    EXPECT_EQ(Origins(stretch(0, 0, 4, 1, 0, 0, 8, 1), 0), "0,0 0,0 1,0 1,0 2,0 2,0 3,0 3,0");
    // Eight columns into three: the columns under the centres 4/3, 4, 20/3.
    EXPECT_EQ(Origins(stretch(0, 1, 8, 1, 2, 0, 3, 1), 0), "- - 1,1 4,1 6,1 - - -");
    // The same width is a plain copy, shifted.
    EXPECT_EQ(Origins(stretch(1, 2, 4, 1, 3, 1, 4, 1), 1), "- - - 1,2 2,2 3,2 4,2 -");
    // Mirrored: from the edge x = 5 leftwards, the source's first column next to it.
    EXPECT_EQ(Origins(stretch(0, 0, 4, 1, 5, 0, -5, 1), 0), "3,0 2,0 2,0 1,0 0,0 - - -");
    // Top-bottom mirror.
    const QImage flipped = stretch(2, 0, 1, 3, 0, 3, 1, -3);
    EXPECT_EQ(Origins(flipped, 0).substr(0, 3), "2,2");
    EXPECT_EQ(Origins(flipped, 2).substr(0, 3), "2,0");
    // Source pixels outside the source picture leave their destination as it was; so do destination pixels
    // outside the target.
    EXPECT_EQ(Origins(stretch(-2, 0, 4, 1, 0, 0, 4, 1), 0), "- - 0,0 1,0 - - - -");
    EXPECT_EQ(Origins(stretch(6, 0, 4, 1, 0, 0, 4, 1), 0), "6,0 7,0 - - - - - -");
    EXPECT_EQ(Origins(stretch(0, 0, 8, 1, -2, 0, 8, 1), 0), "2,0 3,0 4,0 5,0 6,0 7,0 - -");
    EXPECT_EQ(Origins(stretch(0, 0, 2, 1, 9, 0, -4, 1), 0), "- - - - - 1,0 1,0 0,0");
    // Nothing for empty sizes, nor for a negative source size.
    for (const QImage& unchanged : {stretch(0, 0, 0, 1, 0, 0, 4, 1), stretch(0, 0, 4, 1, 0, 0, 0, 1),
                                    stretch(4, 0, -4, 1, 0, 0, 4, 1), stretch(0, 0, 4, 0, 0, 0, 4, 1)})
        EXPECT_EQ(unchanged, Numbered(8, 3, 0));
}

TEST(EffectsPixels, CopiesAreClippedToBothPictures) {
    const QImage source = Numbered(5, 4, 1);
    QImage target = Numbered(5, 4, 0);
    CopyArea(ReadPlane(source), WritePlane(target), {3, -2, 9, 2});
    EXPECT_EQ(Origins(target, 0), "- - - 3,0 4,0");
    EXPECT_EQ(Origins(target, 2), "- - - - -");
    TEffectRegion region(5, 4);
    region.AddRect(0, 3, 2, 9);
    CopyRegion(ReadPlane(source), WritePlane(target), region);
    EXPECT_EQ(Origins(target, 3), "0,3 1,3 - - -");
}
