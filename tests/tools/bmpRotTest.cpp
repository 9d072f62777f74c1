// Turning bitmaps by quarter and half turns, pixel by pixel, in every kind of pixel format.
#include "TestUtil.h"

#include "tools/bmpRot.h"

#include <QColorSpace>

namespace {

// An asymmetric 3 x 2 picture: top row red, green, blue; bottom row white, black, cyan.
const QRgb k3x2[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                         {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0, 255, 255)}};

QImage Picture3x2(QImage::Format format) {
    QImage image(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, k3x2[y][x]);
    return image.convertToFormat(format);
}

// The colours of a picture, row by row.
std::vector<std::vector<QRgb>> Rows(const QImage& image) {
    std::vector<std::vector<QRgb>> rows;
    for (int y = 0; y < image.height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < image.width(); ++x)
            rows.back().push_back(image.pixel(x, y) | 0xFF000000u);
    }
    return rows;
}

const QRgb R = qRgb(255, 0, 0), G = qRgb(0, 255, 0), B = qRgb(0, 0, 255), W = qRgb(255, 255, 255),
           K = qRgb(0, 0, 0), C = qRgb(0, 255, 255);

} // namespace

TEST(bmpRot, AThreeByTwoPictureTurnsPixelByPixelInEveryFormat) {
    // Clockwise the top row (R G B) becomes the right-hand column read top to bottom; counter-clockwise
    // the left-hand column read bottom to top.
    const std::vector<std::vector<QRgb>> clockwise = {{W, R}, {K, G}, {C, B}};
    const std::vector<std::vector<QRgb>> counter = {{B, C}, {G, K}, {R, W}};
    const std::vector<std::vector<QRgb>> half = {{C, K, W}, {B, G, R}};
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888,
                                  QImage::Format_BGR888, QImage::Format_RGB16, QImage::Format_RGBA64,
                                  QImage::Format_Indexed8}) {
        SCOPED_TRACE(int(format));
        const QImage source = Picture3x2(format);
        ASSERT_EQ(Rows(source), Rows(Picture3x2(QImage::Format_RGB32))) << "the colours survive the format";
        const QImage cw = RotateQuarter(source, true);
        EXPECT_EQ(cw.size(), QSize(2, 3));
        EXPECT_EQ(cw.format(), format);
        EXPECT_EQ(Rows(cw), clockwise);
        const QImage ccw = RotateQuarter(source, false);
        EXPECT_EQ(ccw.format(), format);
        EXPECT_EQ(Rows(ccw), counter);
        const QImage h = RotateHalf(source);
        EXPECT_EQ(h.size(), QSize(3, 2));
        EXPECT_EQ(Rows(h), half);
        EXPECT_EQ(h.depth(), 32);
        // The tags of the commands: 1 clockwise, 2 half, 3 counter-clockwise.
        EXPECT_EQ(Rows(RotateTurns(source, 1)), clockwise);
        EXPECT_EQ(Rows(RotateTurns(source, 2)), half);
        EXPECT_EQ(Rows(RotateTurns(source, 3)), counter);
        EXPECT_EQ(Rows(RotateTurns(source, -1)), counter);
        EXPECT_EQ(RotateTurns(source, 4), source);
    }
}

TEST(bmpRot, FourQuarterTurnsAndTwoHalfTurnsGiveTheStartingPixelsBack) {
    const QImage start = MakeTestImage(37, 23); // odd sizes: rows with padding
    QImage cw = start, ccw = start;
    for (int i = 0; i < 4; ++i) {
        cw = RotateQuarter(cw, true);
        ccw = RotateQuarter(ccw, false);
        EXPECT_EQ(cw.size(), i % 2 == 0 ? QSize(23, 37) : QSize(37, 23));
    }
    EXPECT_TRUE(SamePixels(cw, start));
    EXPECT_TRUE(SamePixels(ccw, start));
    EXPECT_TRUE(SamePixels(RotateHalf(RotateHalf(start)), start));
    // A quarter each way cancels; two quarters are a half.
    EXPECT_TRUE(SamePixels(RotateQuarter(RotateQuarter(start, true), false), start));
    EXPECT_TRUE(SamePixels(RotateQuarter(RotateQuarter(start, true), true), RotateHalf(start)));
}

TEST(bmpRot, OneBitPicturesOfPartialBytesTurnWithoutDisturbingTheirNeighbours) {
    // Width 9: one full and one partial byte per row. A diagonal-free pattern that no turn maps onto
    // itself: bits set at (0,0), (8,0), (3,1), (8,2), (1,3).
    for (QImage::Format format : {QImage::Format_Mono, QImage::Format_MonoLSB}) {
        SCOPED_TRACE(int(format));
        QImage mono(9, 4, format);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mono.fill(0);
        const QList<QPoint> set = {{0, 0}, {8, 0}, {3, 1}, {8, 2}, {1, 3}};
        for (const QPoint& p : set)
            mono.setPixel(p, 1);
        const QImage cw = RotateQuarter(mono, true);
        ASSERT_EQ(cw.size(), QSize(4, 9));
        EXPECT_EQ(cw.format(), format);
        EXPECT_EQ(cw.colorTable(), mono.colorTable());
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 4; ++x) {
                // Clockwise, (x, y) came from (y, h - 1 - x) of the source.
                const bool expected = set.contains(QPoint(y, 3 - x));
                EXPECT_EQ(cw.pixelIndex(x, y), expected ? 1 : 0) << x << "," << y;
            }
        const QImage ccw = RotateQuarter(mono, false);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 4; ++x) {
                // Counter-clockwise, (x, y) came from (w - 1 - y, x).
                const bool expected = set.contains(QPoint(8 - y, x));
                EXPECT_EQ(ccw.pixelIndex(x, y), expected ? 1 : 0) << x << "," << y;
            }
        // Back after four turns, bit for bit (the padding of each row stays clear).
        QImage back = mono;
        for (int i = 0; i < 4; ++i)
            back = RotateQuarter(back, i % 2 == 0);
        back = RotateQuarter(RotateQuarter(back, true), true); // two more: a half turn
        back = RotateQuarter(RotateQuarter(back, false), false);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(back.pixelIndex(x, y), mono.pixelIndex(x, y)) << x << "," << y;
    }
}

TEST(bmpRot, AQuarterTurnKeepsPaletteResolutionAndColourSpaceAndSwapsTheResolution) {
    QImage source = Picture3x2(QImage::Format_Indexed8);
    source.setDotsPerMeterX(1000);
    source.setDotsPerMeterY(3000);
    source.setColorSpace(QColorSpace::SRgbLinear);
    const QImage turned = RotateQuarter(source, false);
    EXPECT_EQ(turned.colorTable(), source.colorTable());
    EXPECT_EQ(turned.dotsPerMeterX(), 3000);
    EXPECT_EQ(turned.dotsPerMeterY(), 1000);
    EXPECT_EQ(turned.colorSpace(), source.colorSpace());
    EXPECT_TRUE(RotateQuarter(QImage(), true).isNull());
    EXPECT_TRUE(RotateHalf(QImage()).isNull());
}

TEST(bmpRot, AHalfTurnKeepsTransparency) {
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 0, 0, 255));
    source.setPixel(1, 0, qRgba(0, 0, 0, 0));
    const QImage turned = RotateHalf(source);
    EXPECT_TRUE(turned.hasAlphaChannel());
    EXPECT_EQ(qAlpha(turned.pixel(0, 0)), 0);
    EXPECT_EQ(turned.pixel(1, 0), qRgba(255, 0, 0, 255));
}
