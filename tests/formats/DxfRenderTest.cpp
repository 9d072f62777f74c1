// Rendering of hand-made R12 drawings, checked pixel by pixel: every entity kind, the block and insert
// transforms, colours and the four display settings.
#include "DxfTestUtil.h"
#include "TestUtil.h"

#include <QElapsedTimer>

using namespace dxftest;

namespace {

// Pixel of drawing point (x, y) in the 201 x 201 rendering of a framed drawing.
int PX(double x) { return int(std::nearbyint(2 * x)); }
int PY(double y) { return int(std::nearbyint(200 - 2 * y)); }

bool At(const QImage& image, double x, double y, int r = 1) { return DrawnNear(image, PX(x), PY(y), r); }

const QRgb kRed = qRgb(255, 0, 0), kBlack = qRgb(0, 0, 0), kBlue = qRgb(0, 0, 255), kFuchsia = qRgb(255, 0, 255);

} // namespace

TEST(DxfRender, LineCircleArcPointAtTheirPlaces) {
    const QImage img = Render(File(Frame() + Pairs({{0, "LINE"}, {8, "0"}, {62, "1"}, {10, "10"}, {20, "50"}, {11, "90"}, {21, "50"},
                                                   {0, "CIRCLE"}, {8, "0"}, {10, "50"}, {20, "50"}, {40, "20"},
                                                   {0, "ARC"}, {8, "0"}, {10, "50"}, {20, "50"}, {40, "40"}, {50, "0"}, {51, "90"},
                                                   {0, "POINT"}, {8, "0"}, {10, "85"}, {20, "15"}})));
    EXPECT_EQ(img.pixel(PX(15), PY(50)), kRed);
    EXPECT_FALSE(At(img, 15, 55));
    EXPECT_TRUE(At(img, 70, 50));  // circle, right
    EXPECT_TRUE(At(img, 50, 30));  // circle, bottom
    EXPECT_FALSE(At(img, 50, 60)); // inside the circle: hollow by default
    EXPECT_TRUE(At(img, 50 + 40 * std::cos(M_PI / 4), 50 + 40 * std::sin(M_PI / 4))); // arc at 45 degrees
    EXPECT_FALSE(At(img, 50 - 40 * std::cos(M_PI / 4), 50 + 40 * std::sin(M_PI / 4))); // not at 135 degrees
    EXPECT_FALSE(At(img, 50, 10, 2)); // nor at 270 degrees
    // The point's cross: the centre and its four arms, not the pixels between the arms.
    EXPECT_TRUE(Drawn(img, 170, 170));
    EXPECT_TRUE(Drawn(img, 172, 172));
    EXPECT_TRUE(Drawn(img, 168, 172));
    EXPECT_FALSE(Drawn(img, 172, 170));
}

TEST(DxfRender, BlockRotated90WithScale2ScalesBeforeRotating) {
    const QByteArray blocks = Block("B", Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"}}));
    const QImage img = Render(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "50"}, {20, "50"}, {41, "2"},
                                                   {42, "1"}, {43, "1"}, {50, "90"}}),
                                   blocks));
    // (10, 0) scaled to (20, 0), then rotated to (0, 20): a vertical line from (50, 50) to (50, 70).
    EXPECT_TRUE(At(img, 50, 52, 0));
    EXPECT_TRUE(At(img, 50, 68, 0));
    EXPECT_FALSE(At(img, 50, 73, 1));
    EXPECT_FALSE(At(img, 60, 50, 2)); // not horizontal
}

TEST(DxfRender, BlockBasePointAndMirroredInsert) {
    // Box from (0, 0) to (10, 10) with base point (10, 0); mirrored in x at (50, 50): from (50, 50) to (60, 60).
    const QByteArray box = Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"},
                                  {0, "LINE"}, {8, "0"}, {10, "0"}, {20, "10"}, {11, "10"}, {21, "10"},
                                  {0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "0"}, {21, "10"}});
    const QImage img = Render(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "BOX"}, {10, "50"}, {20, "50"}, {41, "-1"}}),
                                   Block("BOX", box, "10", "0")));
    EXPECT_TRUE(At(img, 55, 50, 0));
    EXPECT_TRUE(At(img, 55, 60, 0));
    EXPECT_TRUE(At(img, 60, 55, 0)); // the left edge of the block lands on the right
    EXPECT_FALSE(At(img, 50, 55, 1));
    EXPECT_FALSE(At(img, 45, 50, 1));
}

TEST(DxfRender, MirroredArcStaysAnArc) {
    // Extrusion (0, 0, -1) mirrors x: the quarter from 0 to 90 degrees shows in the upper left.
    const QByteArray arc = Pairs({{0, "ARC"}, {8, "0"}, {10, "-50"}, {20, "50"}, {30, "0"}, {40, "20"}, {50, "0"}, {51, "90"},
                                  {210, "0"}, {220, "0"}, {230, "-1"}});
    const QImage img = Render(File(Frame() + arc));
    const double d = 20 * std::cos(M_PI / 4);
    EXPECT_TRUE(At(img, 50 - d, 50 + d));
    EXPECT_TRUE(At(img, 30, 50, 1));
    EXPECT_TRUE(At(img, 50, 70, 1));
    EXPECT_FALSE(At(img, 50 + d, 50 + d, 2));
    EXPECT_FALSE(At(img, 50 - d, 50 - d, 2));
    // The same arc in a block inserted with scale (-1, 1) and rotated by 90 degrees.
    const QByteArray blockArc = Pairs({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "20"}, {50, "0"}, {51, "90"}});
    const QImage rotated = Render(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "A"}, {10, "50"}, {20, "50"}, {41, "-1"}, {50, "90"}}),
                                       Block("A", blockArc)));
    // (x, y) -> (-x, y) -> rotated 90: (-y, -x): the quarter lands in the lower left.
    EXPECT_TRUE(At(rotated, 50 - d, 50 - d));
    EXPECT_FALSE(At(rotated, 50 + d, 50 + d, 2));
    EXPECT_GT(CountDrawn(rotated, QRect(PX(25), PY(50), 30, 30)), 20); // a curve, not a pixel
}

TEST(DxfRender, CircleInBlockScaled2x1IsAnEllipse) {
    const QByteArray blocks = Block("C", Pairs({{0, "CIRCLE"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "10"}}));
    const QImage img = Render(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "C"}, {10, "50"}, {20, "50"}, {41, "2"}}), blocks));
    EXPECT_TRUE(At(img, 70, 50));
    EXPECT_TRUE(At(img, 30, 50));
    EXPECT_TRUE(At(img, 50, 60));
    EXPECT_FALSE(At(img, 50, 70, 2));
}

TEST(DxfRender, FourPointSolidUsesDxfVertexOrder) {
    const QByteArray solid = Pairs({{0, "SOLID"}, {8, "0"}, {10, "20"}, {20, "20"}, {11, "80"}, {21, "20"},
                                    {12, "20"}, {22, "80"}, {13, "80"}, {23, "80"}});
    const QImage filled = Render(File(Frame() + solid), Options(false, true, true, 1));
    // Vertex order 1, 2, 4, 3 makes a square; 1, 2, 3, 4 would be a bow tie, empty at its sides.
    EXPECT_EQ(filled.pixel(PX(25), PY(50)), kBlack);
    EXPECT_EQ(filled.pixel(PX(75), PY(50)), kBlack);
    EXPECT_EQ(filled.pixel(PX(50), PY(50)), kBlack);
    EXPECT_FALSE(Drawn(filled, PX(85), PY(50)));
    const QImage outline = Render(File(Frame() + solid));
    EXPECT_TRUE(At(outline, 20, 50, 0));
    EXPECT_TRUE(At(outline, 80, 50, 0));
    EXPECT_FALSE(At(outline, 50, 50, 3)); // no diagonal through the middle
}

TEST(DxfRender, TextFollowsARotatedBlock) {
    const QByteArray blocks = Block("T", Pairs({{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "10"}, {1, "HH"}}));
    const QImage img = Render(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "T"}, {10, "50"}, {20, "50"}, {50, "90"}}), blocks));
    // Rotated by 90 degrees the text runs upwards from (50, 50), its glyphs left of x = 50.
    const QRect rotatedBox(PX(40), PY(70), PX(50) - PX(40), PY(50) - PY(70));
    const QRect uprightBox(PX(50) + 1, PY(60), 40, PY(50) - PY(60) - 1);
    EXPECT_GT(CountDrawn(img, rotatedBox), 30);
    EXPECT_EQ(CountDrawn(img, uprightBox), 0);
    EXPECT_EQ(CountDrawn(img, QRect(0, PY(10), PX(20), PY(0) - PY(10) - 3)), 0); // not at the definition's place
}

TEST(DxfRender, JustificationDoesNotLeakToTheNextText) {
    const QByteArray texts = Pairs({{0, "TEXT"}, {8, "0"}, {10, "50"}, {20, "70"}, {11, "50"}, {21, "70"}, {40, "8"}, {72, "2"}, {1, "RR"},
                                    {0, "TEXT"}, {8, "0"}, {10, "50"}, {20, "30"}, {40, "8"}, {1, "LL"}});
    const QImage img = Render(File(Frame() + texts));
    // Right-justified: ends at x = 50. The next text starts at x = 50.
    EXPECT_GT(CountDrawn(img, QRect(PX(25), PY(78), PX(50) - PX(25), PY(70) - PY(78))), 20);
    EXPECT_EQ(CountDrawn(img, QRect(PX(51), PY(78), 40, PY(70) - PY(78))), 0);
    EXPECT_GT(CountDrawn(img, QRect(PX(50), PY(38), 50, PY(30) - PY(38))), 20);
    EXPECT_EQ(CountDrawn(img, QRect(PX(20), PY(38), PX(49) - PX(20), PY(30) - PY(38))), 0);
}

namespace {
// Drawn pixels of a framed drawing, without the frame's two corner crosses.
QRect Ink(const QImage& image) { return InkBox(image, image.rect().adjusted(4, 4, -4, -4)); }

// A TEXT from (x1, y1) with the second alignment point (x2, y2) and horizontal justification h.
QByteArray TextBetween(const char* text, const char* height, int h, const char* x1, const char* y1, const char* x2 = nullptr,
                       const char* y2 = nullptr) {
    const QByteArray just = QByteArray::number(h);
    QByteArray r = Pairs({{0, "TEXT"}, {8, "0"}, {10, x1}, {20, y1}, {40, height}, {1, text}, {72, just.constData()}});
    if (x2) r += Pairs({{11, x2}, {21, y2}});
    return r;
}
} // namespace

TEST(DxfRender, FittedAndAlignedTextRunBetweenTheirPoints) {
    // The same word drawn plainly gives its proportions.
    const QRect plain = Ink(Render(File(Frame() + TextBetween("HIH", "10", 0, "10", "80"))));
    ASSERT_FALSE(plain.isEmpty());
    EXPECT_NEAR(plain.height(), 20, 2); // capital height 10 units: 20 pixels

    // Fit: from x = 10 to x = 90 at the given height.
    const QRect fit = Ink(Render(File(Frame() + TextBetween("HIH", "10", 5, "10", "50", "90", "50"))));
    EXPECT_GE(fit.left(), PX(10));
    EXPECT_LE(fit.left(), PX(10) + 8); // the first glyph's side bearing, stretched
    EXPECT_LE(fit.right(), PX(90));
    EXPECT_GE(fit.right(), PX(90) - 8);
    EXPECT_NEAR(fit.bottom(), PY(50), 1);
    EXPECT_NEAR(fit.height(), plain.height(), 2);

    // Aligned: the same length, and the height grows with it, keeping the word's proportions; the height
    // in the file does not count.
    for (const char* height : {"10", "2.5", "40"}) {
        const QRect aligned = Ink(Render(File(Frame() + TextBetween("HIH", height, 3, "10", "20", "90", "20"))));
        EXPECT_GE(aligned.left(), PX(10));
        EXPECT_LE(aligned.left(), PX(10) + 8);
        EXPECT_LE(aligned.right(), PX(90));
        EXPECT_GE(aligned.right(), PX(90) - 8);
        EXPECT_NEAR(aligned.bottom(), PY(20), 1);
        const double expectedHeight = double(plain.height()) * aligned.width() / plain.width();
        EXPECT_NEAR(aligned.height(), expectedHeight, 3) << height;
    }

    // Pointing upwards: the line runs from (50, 10) to (50, 90) with its glyphs left of x = 50.
    const QImage up = Render(File(Frame() + TextBetween("HIH", "5", 5, "50", "10", "50", "90")));
    const QRect upBox = Ink(up);
    EXPECT_NEAR(upBox.bottom(), PY(10), 8);
    EXPECT_NEAR(upBox.top(), PY(90), 8);
    EXPECT_NEAR(upBox.right(), PX(50), 1);
    EXPECT_NEAR(upBox.width(), plain.height() / 2, 2);
}

TEST(DxfRender, AlignedRowsDoNotOverlapAndLabelsKeepTheirSize) {
    // Four aligned lines 10 units apart, each squeezed into 30 units: they come out lower than written.
    QByteArray rows;
    for (const char* y : {"10", "20", "30", "40"}) rows += TextBetween("ALIGNED TEXT", "12", 3, "10", y, "40", y);
    const QByteArray labels = TextBetween("label", "4", 0, "60", "10") + TextBetween("label", "4", 0, "60", "30");
    const QImage img = Render(File(Frame() + rows + TextBetween("FIT", "4", 5, "10", "70", "90", "75") + labels));
    for (int y : {10, 20, 30, 40}) {
        const QRect row = InkBox(img, QRect(0, PY(y + 9.5), PX(50), PY(y - 0.5) - PY(y + 9.5)));
        ASSERT_FALSE(row.isEmpty()) << y;
        EXPECT_NEAR(row.bottom(), PY(y), 1) << y;
        EXPECT_LT(row.height(), 10) << y; // about 3.5 units
        EXPECT_EQ(CountDrawn(img, QRect(0, PY(y + 9.5), PX(50), PY(y + 5) - PY(y + 9.5))), 0) << y;
    }
    // The labels are drawn exactly as they are without the fitted and aligned texts before them.
    const QImage alone = Render(File(Frame() + labels));
    const QRect labelArea(PX(58), PY(36), 180 - PX(58), PY(5) - PY(36));
    EXPECT_TRUE(SamePixels(img.copy(labelArea), alone.copy(labelArea)));
    const QRect label = InkBox(alone, QRect(PX(58), PY(20), 100, PY(5) - PY(20)));
    EXPECT_NEAR(label.height(), 8 + 1, 2); // "l" reaches a little above the capitals
    EXPECT_NEAR(label.bottom(), PY(10), 1);
}

TEST(DxfRender, FittedTextFromFarOffTheViewStillCrossesIt) {
    // Zoomed so far that the view shows the middle of a fitted "H" whose start lies thousands of pixels
    // to the left: its crossbar still shows.
    const auto g = Load(File(Frame() + TextBetween("H", "4", 5, "1", "50", "99", "50")));
    QImage image(201, 201, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        TTestServices services(kDefaultOptions);
        QPainter p(&image);
        g->DrawTo(p, QRect(-4000, -3900, 8201, 8201));
    }
    EXPECT_GT(CountDrawn(image, image.rect()), 200);
}

TEST(DxfRender, AnAlignedTextAloneFitsTheView) {
    // Only the text gives the extents: its height follows its length, and the whole of it shows.
    const auto g = Load(File(TextBetween("AB", "1", 3, "0", "0", "100", "0")));
    EXPECT_EQ(g->Width(), 100);
    EXPECT_GT(g->Height(), 30);
    const QImage img = Render(*g);
    const QRect ink = InkBox(img);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.top(), 0);
    EXPECT_GT(ink.width(), 150);
    EXPECT_GT(ink.height(), 60);
}

TEST(DxfRender, RotatedTextAndMText) {
    const QByteArray texts = Pairs({{0, "TEXT"}, {8, "0"}, {10, "20"}, {20, "20"}, {40, "8"}, {50, "90"}, {1, "UP"},
                                    {0, "MTEXT"}, {8, "0"}, {10, "50"}, {20, "90"}, {40, "5"}, {71, "1"},
                                    {1, "{\\fSerif|b1;AB}\\PCD"}});
    const QImage img = Render(File(Frame() + texts));
    EXPECT_GT(CountDrawn(img, QRect(PX(12), PY(40), PX(20) - PX(12), PY(20) - PY(40))), 20);
    EXPECT_EQ(CountDrawn(img, QRect(PX(21), PY(30), 40, PY(20) - PY(30) - 1)), 0);
    // Two lines below the top-left attachment point, no formatting codes drawn as text.
    EXPECT_GT(CountDrawn(img, QRect(PX(50), PY(90), 30, PY(85) - PY(90))), 10);
    EXPECT_GT(CountDrawn(img, QRect(PX(50), PY(83), 30, PY(78) - PY(83))), 10);
    EXPECT_EQ(CountDrawn(img, QRect(PX(50) + 30, PY(90), 60, 25)), 0);
}

TEST(DxfRender, PolylineAndLwPolylineBulgesAreArcs) {
    const QByteArray polyline = Pairs({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "0"},
                                       {0, "VERTEX"}, {8, "0"}, {10, "20"}, {20, "60"}, {42, "1"},
                                       {0, "VERTEX"}, {8, "0"}, {10, "40"}, {20, "60"}, {0, "SEQEND"}, {8, "0"}});
    const QByteArray lw = Pairs({{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "0"}, {10, "60"}, {20, "60"}, {42, "-1"}, {10, "80"}, {20, "60"}});
    const QImage img = Render(File(Frame() + polyline + lw));
    EXPECT_TRUE(At(img, 30, 50));        // counter-clockwise half circle: below
    EXPECT_FALSE(At(img, 30, 70, 2));
    EXPECT_TRUE(At(img, 70, 70));        // clockwise: above
    EXPECT_FALSE(At(img, 70, 50, 2));
    EXPECT_FALSE(At(img, 30, 60, 2));    // no chord
}

TEST(DxfRender, EllipseSplineHatchAndDimension) {
    const QByteArray entities =
        Pairs({{0, "ELLIPSE"}, {8, "0"}, {10, "30"}, {20, "70"}, {11, "20"}, {21, "0"}, {40, "0.5"}, {41, "0"}, {42, "3.14159265"},
               {0, "SPLINE"}, {8, "0"}, {70, "8"}, {71, "1"}, {72, "4"}, {73, "2"}, {40, "0"}, {40, "0"}, {40, "1"}, {40, "1"},
               {10, "60"}, {20, "60"}, {10, "90"}, {20, "90"},
               {0, "HATCH"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"},
               {92, "2"}, {72, "0"}, {73, "1"}, {93, "3"}, {10, "10"}, {20, "10"}, {10, "40"}, {20, "10"}, {10, "10"}, {20, "40"},
               {97, "0"}, {75, "0"}, {76, "1"}, {98, "1"}, {10, "15"}, {20, "15"},
               {0, "DIMENSION"}, {8, "0"}, {2, "*D1"}, {10, "0"}, {20, "0"}, {70, "0"}});
    const QByteArray blocks = Block("*D1", Pairs({{0, "LINE"}, {8, "0"}, {10, "60"}, {20, "20"}, {11, "90"}, {21, "20"}}));
    const QImage img = Render(File(Frame() + entities, blocks));
    EXPECT_TRUE(At(img, 50, 70));   // ellipse end of the major axis
    EXPECT_TRUE(At(img, 30, 80));   // top of the upper half
    EXPECT_FALSE(At(img, 30, 60, 2)); // lower half not drawn
    EXPECT_TRUE(At(img, 75, 75));   // degree-1 spline: a straight line
    EXPECT_TRUE(At(img, 25, 10, 0)); // hatch boundary
    EXPECT_FALSE(Drawn(img, PX(15), PY(15))); // not filled without fill solid
    EXPECT_TRUE(At(img, 75, 20, 0)); // the dimension's block
    const QImage filled = Render(File(Frame() + entities, blocks), Options(false, true, true, 1));
    EXPECT_EQ(filled.pixel(PX(15), PY(15)), kBlack);
    EXPECT_FALSE(Drawn(filled, PX(35), PY(35)));
}

TEST(DxfRender, ColoursOfNumbersLayersAndBlocks) {
    const QByteArray tables = Section("TABLES", Pairs({{0, "TABLE"}, {2, "LAYER"}, {70, "2"},
                                                       {0, "LAYER"}, {2, "OFF"}, {70, "0"}, {62, "-1"},
                                                       {0, "LAYER"}, {2, "BLUE"}, {70, "0"}, {62, "5"},
                                                       {0, "ENDTAB"}}));
    const QByteArray blocks = Block("B", Pairs({{0, "LINE"}, {8, "BLUE"}, {62, "256"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"}}));
    const QByteArray entities = Frame() + Pairs({{0, "LINE"}, {8, "0"}, {62, "13"}, {10, "10"}, {20, "10"}, {11, "40"}, {21, "10"},
                                                 {0, "LINE"}, {8, "0"}, {62, "14"}, {10, "10"}, {20, "20"}, {11, "40"}, {21, "20"},
                                                 {0, "LINE"}, {8, "OFF"}, {10, "10"}, {20, "30"}, {11, "40"}, {21, "30"},
                                                 {0, "LINE"}, {8, "BLUE"}, {10, "10"}, {20, "40"}, {11, "40"}, {21, "40"},
                                                 {0, "INSERT"}, {8, "BLUE"}, {2, "B"}, {10, "60"}, {20, "60"}});
    QByteArray file = tables + File(entities, blocks);
    const QImage img = Render(file);
    EXPECT_EQ(img.pixel(PX(25), PY(10)), kBlack);   // 13 -> black
    EXPECT_EQ(img.pixel(PX(25), PY(20)), kRed);     // 14 -> red
    EXPECT_EQ(img.pixel(PX(25), PY(30)), kRed);     // layer colour -1 -> as 1
    EXPECT_EQ(img.pixel(PX(25), PY(40)), kBlue);    // by layer
    EXPECT_EQ(img.pixel(PX(65), PY(60)), kFuchsia); // 256 inside a block
}

TEST(DxfRender, SelfInsertingBlocksDrawOnceAndFinish) {
    const QByteArray blocks = Block("A", Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"},
                                                {0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "5"}})) +
                              Block("B", Pairs({{0, "INSERT"}, {8, "0"}, {2, "A"}, {10, "0"}, {20, "5"},
                                                {0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "1"}, {20, "1"}}));
    QElapsedTimer timer;
    timer.start();
    const auto g = Load(File(Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {2, "A"}, {10, "40"}, {20, "40"}}), blocks));
    const QImage img = Render(*g);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(At(img, 45, 40, 0));
    EXPECT_FALSE(At(img, 45, 50, 1)); // A inside B inside A is not drawn again
}

TEST(DxfRender, InsertOfABlockDefinedLaterAndManyAttributes) {
    // Block A uses B, which is defined after it.
    QByteArray attribs;
    for (int i = 0; i < 20; ++i)
        attribs += Pairs({{0, "ATTRIB"}, {8, "0"}, {10, "10"}, {20, "90"}, {40, "3"}, {1, "V"}, {2, "TAG"}, {70, "1"}});
    const QByteArray blocks = Block("A", Pairs({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "0"}})) +
                              Block("B", Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "0"}, {21, "20"}}));
    const QByteArray entities = Frame() + Pairs({{0, "INSERT"}, {8, "0"}, {66, "1"}, {2, "A"}, {10, "50"}, {20, "40"}}) + attribs +
                                Pairs({{0, "SEQEND"}, {8, "0"}, {0, "LINE"}, {8, "0"}, {10, "80"}, {20, "10"}, {11, "90"}, {21, "10"}});
    const auto g = Load(File(entities, blocks));
    const QImage img = Render(*g);
    EXPECT_TRUE(At(img, 50, 50, 0));
    EXPECT_TRUE(At(img, 85, 10, 0)); // the entity after SEQEND
    const Insert_* insert = nullptr;
    for (const auto& line : g->Index())
        if (line.List && line.List->Name() == QLatin1String("Insert_")) insert = static_cast<const Insert_*>(line.List->Entities()[0].get());
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->Attributes().size(), 20u);
    EXPECT_TRUE(g->Drawing()->Messages().isEmpty()) << g->Drawing()->Messages().join('|').toStdString();
}

TEST(DxfRender, DisplaySettingsAreReadAtEveryDraw) {
    const QByteArray blocks = Block("B", Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "20"}, {21, "0"}}), "-30", "-30");
    const QByteArray entities = Frame() + Pairs({{0, "LINE"}, {8, "0"}, {10, "60"}, {20, "50"}, {11, "90"}, {21, "50"},
                                                 {0, "CIRCLE"}, {8, "0"}, {10, "20"}, {20, "80"}, {40, "10"}});
    const auto g = Load(File(entities, blocks));
    TTestServices services(kDefaultOptions);
    QImage img(201, 201, QImage::Format_RGB32);
    auto draw = [&](quint32 options) {
        services.Value = options;
        img.fill(Qt::white);
        QPainter p(&img);
        g->DrawTo(p, img.rect());
    };
    draw(kDefaultOptions);
    EXPECT_FALSE(At(img, 30, 30, 1));               // block definitions hidden
    EXPECT_FALSE(Drawn(img, PX(60) + 2, PY(50) + 2)); // no vertex crosses
    EXPECT_FALSE(Drawn(img, PX(75), PY(50) + 1));     // one pixel wide
    EXPECT_FALSE(Drawn(img, PX(20), PY(80)));         // circles hollow
    draw(Options(true, true, false, 3));
    EXPECT_TRUE(At(img, 40, 30, 0));                  // the block around its base point: (30, 30)-(50, 30)
    EXPECT_TRUE(Drawn(img, PX(60) - 2, PY(50) + 2));  // cross at the line's end
    EXPECT_TRUE(Drawn(img, PX(75), PY(50) + 1));      // three pixels wide
    EXPECT_FALSE(Drawn(img, PX(75), PY(50) + 3));
    EXPECT_EQ(img.pixel(PX(20), PY(80)), kBlack);     // filled
    EXPECT_EQ(services.Calls, 2);
}

TEST(DxfRender, MappingCentresAndScalesUniformly) {
    // Extents 100 x 50 into 801 x 601: the larger extent spans the shorter side (600 steps), centred.
    const auto g = Load(File(Pairs({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "100"}, {21, "50"}})));
    EXPECT_EQ(g->Width(), 100);
    EXPECT_EQ(g->Height(), 50);
    const QImage img = Render(*g, QSize(801, 601));
    EXPECT_DOUBLE_EQ(g->ViewScale(), 6.0);
    EXPECT_TRUE(DrawnNear(img, 100, 450));
    EXPECT_TRUE(DrawnNear(img, 400, 300));
    EXPECT_TRUE(DrawnNear(img, 700, 150));
    EXPECT_FALSE(DrawnNear(img, 50, 475, 5));
    // Into an offset rectangle the drawing moves with it.
    QImage moved(900, 700, QImage::Format_RGB32);
    moved.fill(Qt::white);
    {
        TTestServices services(kDefaultOptions);
        QPainter p(&moved);
        g->DrawTo(p, QRect(99, 99, 801, 601));
    }
    EXPECT_TRUE(DrawnNear(moved, 199, 549));
    EXPECT_TRUE(DrawnNear(moved, 799, 249));
}

TEST(DxfRender, EveryEntityOnAVerticalLineAndTinyDrawings) {
    const auto vertical = Load(File(Pairs({{0, "LINE"}, {8, "0"}, {10, "5"}, {20, "0"}, {11, "5"}, {21, "10"}})));
    EXPECT_EQ(vertical->Width(), 1);
    // No width: the x scale counts as 1, and the smaller scale wins, so the 10 units show as 10 pixels.
    const QImage v = Render(*vertical, QSize(101, 101));
    EXPECT_TRUE(DrawnNear(v, 50, 46));
    EXPECT_TRUE(DrawnNear(v, 50, 54));
    EXPECT_FALSE(DrawnNear(v, 50, 41, 2));
    // A drawing smaller than one unit still shows, at a size of at least 1 x 1.
    const auto tiny = Load(File(Pairs({{0, "CIRCLE"}, {8, "0"}, {10, "0.01"}, {20, "0.01"}, {40, "0.005"}})));
    EXPECT_EQ(tiny->Width(), 1);
    EXPECT_EQ(tiny->Height(), 1);
    const QImage t = Render(*tiny, QSize(101, 101));
    EXPECT_TRUE(DrawnNear(t, 0, 50));
    EXPECT_TRUE(DrawnNear(t, 50, 0));
    EXPECT_FALSE(DrawnNear(t, 50, 50, 5));
}
