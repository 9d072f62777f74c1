#include "TestUtil.h"

#include "formats/raster/TextGrph.h"

#include <QBuffer>
#include <QPainter>

namespace {
QString LoadInto(TTxtGraphic& g, const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    try {
        g.LoadFromStream(buffer);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}
QByteArray Saved(const TTxtGraphic& g) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    g.SaveToStream(out);
    return out.data();
}

// A drawing: a white square in the middle of its 4 x 4 area, nothing else.
class TSquare : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TSquare)
public:
    void DrawTo(QPainter& p, const QRect& r) const override { p.fillRect(r.adjusted(1, 1, -1, -1), Qt::white); }
    bool IsEmpty() const override { return false; }
    int Width() const override { return 4; }
    int Height() const override { return 4; }
    void LoadFromStream(QIODevice&) override {}
};
DEFINE_GRAPHIC_CLASS(TSquare)
} // namespace

TEST(PlainText, OneRedPixelIsFiveLines) {
    QImage red(1, 1, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    TTxtGraphic g;
    g.SetImage(red);
    EXPECT_EQ(Saved(g), QByteArray("PTEXT\r\n1 1\r\nR  255\r\nG    0\r\nB    0\r\n"));
}

TEST(PlainText, RoundTripAndReaderTolerance) {
    TTxtGraphic g;
    g.SetImage(MakeTestImage(9, 4));
    TTxtGraphic back;
    ASSERT_EQ(LoadInto(back, Saved(g)), QString());
    EXPECT_TRUE(SamePixels(back.Image(), g.Image()));
    // LF line ends, values spread over lines, values modulo 256.
    ASSERT_EQ(LoadInto(back, "PTEXT\n2 1\nR 256\n 1\nG 2 3\nB 511 4\n"), QString());
    EXPECT_EQ(back.Image().pixel(0, 0), qRgb(0, 2, 255));
    EXPECT_EQ(back.Image().pixel(1, 0), qRgb(1, 3, 4));
}

TEST(PlainText, ErrorsLeaveThePictureAsItWas) {
    TTxtGraphic g;
    ASSERT_EQ(LoadInto(g, "PTEXT\n1 1\nR 1\nG 2\nB 3\n"), QString());
    const QImage before = g.Image();
    EXPECT_EQ(LoadInto(g, "PTEX\n1 1\n"), QStringLiteral("Cannot load image. Invalid or unexpected PTF image format."));
    EXPECT_EQ(LoadInto(g, "PTEXT\n1 1\nX 1\nG 2\nB 3\n"), QStringLiteral("Invalid tag"));
    EXPECT_EQ(LoadInto(g, "PTEXT\n2 1\nR 1 2\nB 1 2\nB 3 4\n"), QStringLiteral("Invalid tag"));
    EXPECT_EQ(LoadInto(g, "PTEXT\n1 1\nR x\nG 2\nB 3\n"), QStringLiteral("Invalid numeric input"));
    EXPECT_EQ(LoadInto(g, "PTEXT\n2 1\nR 1 2\nG 1 2\nB 3"), QStringLiteral("Read beyond end of file"));
    EXPECT_EQ(LoadInto(g, "PTEXT\n-2 1\nR 1 2\nG 1 2\nB 3 4\n"), QStringLiteral("Invalid picture size -2 x 1"));
    // 100000 x 100000 pixels cannot be held by a few bytes: refused before allocating.
    EXPECT_EQ(LoadInto(g, "PTEXT\n100000 100000\nR 1\n"), QStringLiteral("Invalid picture size 100000 x 100000"));
    EXPECT_EQ(LoadInto(g, "PTEXT\n1 1\nR 99999999999\nG 2\nB 3\n"), QStringLiteral("Invalid numeric input"));
    EXPECT_TRUE(SamePixels(g.Image(), before));
}

TEST(PlainText, DrawingsAreAssignedOntoBlack) {
    TTxtGraphic g;
    g.Assign(TSquare());
    ASSERT_EQ(g.Image().size(), QSize(4, 4));
    EXPECT_EQ(g.Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(g.Image().pixel(1, 1), qRgb(255, 255, 255));
    TImageGraphic raster(MakeTestImage(3, 2));
    g.Assign(raster);
    EXPECT_TRUE(SamePixels(g.Image(), raster.Image()));
}
