#include "TestUtil.h"

#include "codec/ColorReduce.h"
#include "codec/Graphic.h"

#include <QSet>

namespace {

QImage GreyRamp(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = x * 255 / (width - 1);
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

double MeanGrey(const QImage& indexed, int x0, int x1) {
    double sum = 0;
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = x0; x < x1; ++x) sum += qGray(indexed.color(indexed.pixelIndex(x, y)));
    return sum / (indexed.height() * (x1 - x0));
}

QSet<int> UsedIndexes(const QImage& indexed) {
    QSet<int> used;
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x) used.insert(indexed.pixelIndex(x, y));
    return used;
}

} // namespace

TEST(ColorReduce, NamesAsTheSaveOptionsShowThem) {
    EXPECT_EQ(ColorReductionName(1), QStringLiteral("Windows 20 color system palette"));
    EXPECT_EQ(ColorReductionName(2), QStringLiteral("Windows 256 color halftone palette"));
    EXPECT_EQ(ColorReductionName(3), QStringLiteral("Windows 4 grayscale colors"));
    EXPECT_EQ(ColorReductionName(4), QStringLiteral("Black/White monochrome palette"));
    EXPECT_EQ(ColorReductionName(5), QStringLiteral("Uniform 256 shade grayscale palette"));
    EXPECT_EQ(ColorReductionName(6), QStringLiteral("Netscape 216 color palette"));
    EXPECT_EQ(ColorReductionName(7), QStringLiteral("Optimal 2^n color palette"));
    EXPECT_EQ(ColorReductionName(8), QStringLiteral("Optimal 256 color windows palette"));
    EXPECT_TRUE(ColorReductionName(0).isEmpty());
    EXPECT_TRUE(ColorReductionName(9).isEmpty());
    EXPECT_EQ(DitherModeName(0), QStringLiteral("Nearest color"));
    EXPECT_EQ(DitherModeName(1), QStringLiteral("Floyd Steinberg dithering"));
    EXPECT_EQ(DitherModeName(2), QStringLiteral("Stucki dithering"));
    EXPECT_EQ(DitherModeName(3), QStringLiteral("Sierra dithering"));
    EXPECT_EQ(DitherModeName(4), QStringLiteral("Jarvis, Judice & Ninke dithering"));
    EXPECT_EQ(DitherModeName(5), QStringLiteral("Stevenson & Arche dithering"));
    EXPECT_EQ(DitherModeName(6), QStringLiteral("Burkes dithering"));
    EXPECT_TRUE(DitherModeName(7).isEmpty());
}

TEST(ColorReduce, FixedPalettesAreExact) {
    const QVector<QRgb> web = FixedPalette(TColorReduction::rmNetscape);
    ASSERT_EQ(web.size(), 216);
    QSet<QRgb> distinct(web.begin(), web.end());
    EXPECT_EQ(distinct.size(), 216);
    for (QRgb c : web) {
        EXPECT_EQ(qRed(c) % 51, 0);
        EXPECT_EQ(qGreen(c) % 51, 0);
        EXPECT_EQ(qBlue(c) % 51, 0);
    }
    const QVector<QRgb> grey = FixedPalette(TColorReduction::rmGrayScale);
    ASSERT_EQ(grey.size(), 256);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(grey[i], qRgb(i, i, i));
    EXPECT_EQ(FixedPalette(TColorReduction::rmMonochrome), (QVector<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    EXPECT_EQ(FixedPalette(TColorReduction::rmWindowsGray),
              (QVector<QRgb>{qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 255, 255)}));
    const QVector<QRgb> sys = FixedPalette(TColorReduction::rmWindows20);
    ASSERT_EQ(sys.size(), 20);
    EXPECT_EQ(sys[0], qRgb(0, 0, 0));
    EXPECT_EQ(sys[7], qRgb(192, 192, 192));
    EXPECT_EQ(sys[8], qRgb(192, 220, 192));
    EXPECT_EQ(sys[12], qRgb(128, 128, 128));
    EXPECT_EQ(sys[19], qRgb(255, 255, 255));
    const QVector<QRgb> halftone = FixedPalette(TColorReduction::rmWindows256);
    ASSERT_EQ(halftone.size(), 256);
    EXPECT_EQ(halftone.mid(0, 10), sys.mid(0, 10));
    EXPECT_EQ(halftone.mid(246, 10), sys.mid(10, 10));
    for (QRgb c : web) EXPECT_TRUE(halftone.contains(c));
    EXPECT_TRUE(FixedPalette(TColorReduction::rmQuantize).isEmpty());
}

TEST(ColorReduce, NearestColourWithoutDither) {
    QImage image(4, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(30, 30, 30));
    image.setPixel(1, 0, qRgb(200, 210, 190));
    image.setPixel(2, 0, qRgb(100, 100, 100));
    image.setPixel(3, 0, qRgb(170, 170, 170));
    const QImage bw = ReduceColors(image, TColorReduction::rmMonochrome, TDitherMode::dmNearest);
    EXPECT_EQ(bw.format(), QImage::Format_Indexed8);
    EXPECT_EQ(bw.colorCount(), 2);
    EXPECT_EQ(bw.pixelIndex(0, 0), 0);
    EXPECT_EQ(bw.pixelIndex(1, 0), 1);
    const QImage four = ReduceColors(image, TColorReduction::rmWindowsGray, TDitherMode::dmNearest);
    EXPECT_EQ(four.pixelIndex(2, 0), 1); // 100 is nearest to 128
    EXPECT_EQ(four.pixelIndex(3, 0), 2); // 170 is nearest to 192
    const QImage web = ReduceColors(image, TColorReduction::rmNetscape, TDitherMode::dmNearest);
    EXPECT_EQ(web.color(web.pixelIndex(1, 0)), qRgb(204, 204, 204));
    EXPECT_EQ(web.color(web.pixelIndex(0, 0)), qRgb(51, 51, 51));
    const QImage grey = ReduceColors(image, TColorReduction::rmGrayScale, TDitherMode::dmNearest);
    EXPECT_EQ(grey.pixelIndex(1, 0), 200);
}

// The nearest entry of an arbitrary palette is the one a full search finds (lowest index on ties).
TEST(ColorReduce, NearestEntryMatchesAFullSearch) {
    quint32 seed = 7;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return int(seed >> 24);
    };
    QVector<QRgb> palette;
    for (int i = 0; i < 37; ++i) palette << qRgb(rnd(), rnd(), rnd());
    palette << palette[5]; // a duplicate: the first one wins
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) image.setPixel(x, y, qRgb(rnd(), rnd(), rnd()));
    const QImage out = ReduceToPalette(image, palette, TDitherMode::dmNearest);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb c = image.pixel(x, y);
            int best = INT_MAX, index = -1;
            for (int i = 0; i < palette.size(); ++i) {
                const int dr = qRed(palette[i]) - qRed(c), dg = qGreen(palette[i]) - qGreen(c), db = qBlue(palette[i]) - qBlue(c);
                if (dr * dr + dg * dg + db * db < best) {
                    best = dr * dr + dg * dg + db * db;
                    index = i;
                }
            }
            ASSERT_EQ(out.pixelIndex(x, y), index) << x << "," << y;
        }
}

// Floyd-Steinberg on one row of 100-grey worked out by hand: 0 err 100; 100+44=144 white err -111;
// 100-49=51 black err 51; 100+22=122 black.
TEST(ColorReduce, FloydSteinbergDiffusesTheErrorAsWorkedOut) {
    QImage row(4, 1, QImage::Format_RGB32);
    row.fill(qRgb(100, 100, 100));
    const QImage fs = ReduceColors(row, TColorReduction::rmMonochrome, TDitherMode::dmFloydSteinberg);
    EXPECT_EQ(fs.pixelIndex(0, 0), 0);
    EXPECT_EQ(fs.pixelIndex(1, 0), 1);
    EXPECT_EQ(fs.pixelIndex(2, 0), 0);
    EXPECT_EQ(fs.pixelIndex(3, 0), 0);
}

// On a grey ramp each dither keeps the local mean, where the nearest colour only thresholds.
TEST(ColorReduce, EveryDitherKeepsTheMeanOfAGradient) {
    const QImage ramp = GreyRamp(256, 32);
    const QImage nearest = ReduceColors(ramp, TColorReduction::rmMonochrome, TDitherMode::dmNearest);
    EXPECT_EQ(MeanGrey(nearest, 0, 120), 0);
    EXPECT_EQ(MeanGrey(nearest, 136, 256), 255);
    QVector<QImage> results;
    for (int mode = 1; mode <= 6; ++mode) {
        SCOPED_TRACE(mode);
        const QImage d = ReduceColors(ramp, TColorReduction::rmMonochrome, TDitherMode(mode));
        for (int block = 0; block < 8; ++block) {
            const double expected = MeanGrey(ReduceColors(ramp, TColorReduction::rmGrayScale, TDitherMode::dmNearest),
                                             block * 32, block * 32 + 32);
            EXPECT_NEAR(MeanGrey(d, block * 32, block * 32 + 32), expected, 14);
        }
        results << d;
        // Deterministic.
        EXPECT_EQ(d, ReduceColors(ramp, TColorReduction::rmMonochrome, TDitherMode(mode)));
    }
    // The kernels differ: no two dithers give the same pattern.
    for (int i = 0; i < results.size(); ++i)
        for (int j = i + 1; j < results.size(); ++j) EXPECT_NE(results[i], results[j]) << i + 1 << " vs " << j + 1;
}

TEST(ColorReduce, OptimalPalettesRespectTheirSize) {
    const QImage photo = MakeTestImage(120, 80);
    for (int bits : {1, 3, 4, 8}) {
        SCOPED_TRACE(bits);
        const QImage q = ReduceColors(photo, TColorReduction::rmQuantize, TDitherMode::dmNearest, bits);
        EXPECT_LE(q.colorCount(), 1 << bits);
        EXPECT_LE(UsedIndexes(q).size(), 1 << bits);
        EXPECT_GE(UsedIndexes(q).size(), std::min(1 << bits, 4)); // the picture is colourful
        EXPECT_EQ(q, ReduceColors(photo, TColorReduction::rmQuantize, TDitherMode::dmNearest, bits));
    }
    // More colours: smaller error.
    auto error = [&](int bits) {
        const QImage q = ReduceColors(photo, TColorReduction::rmQuantize, TDitherMode::dmNearest, bits);
        double e = 0;
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x) {
                const QRgb a = photo.pixel(x, y), b = q.color(q.pixelIndex(x, y));
                e += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            }
        return e;
    };
    EXPECT_LT(error(8), error(4));
    EXPECT_LT(error(4), error(2));

    // A picture with five colours keeps them exactly with a palette of eight.
    QImage five(10, 10, QImage::Format_RGB32);
    const QRgb colours[5] = {qRgb(1, 2, 3), qRgb(250, 10, 10), qRgb(10, 250, 10), qRgb(10, 10, 250), qRgb(99, 99, 99)};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) five.setPixel(x, y, colours[(x + 3 * y) % 5]);
    const QImage exact = ReduceColors(five, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, 3);
    EXPECT_EQ(exact.colorCount(), 5);
    EXPECT_TRUE(SamePixels(exact.convertToFormat(QImage::Format_RGB32), five));

    const QImage windows = ReduceColors(photo, TColorReduction::rmQuantizeWindows, TDitherMode::dmStucki);
    EXPECT_LE(windows.colorCount(), 256);
    EXPECT_EQ(windows.colorTable().mid(0, 20), SystemPalette20());
}

TEST(ColorReduce, RefusesValuesOutOfRange) {
    const QImage image = MakeTestImage(8, 8);
    try {
        ReduceColors(image, TColorReduction::rmQuantize, TDitherMode::dmNearest, 9);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The palette size must be 1 to 8 bits, not 9"));
    }
    EXPECT_THROW(ReduceColors(image, TColorReduction(0), TDitherMode::dmNearest), EInvalidGraphicOperation);
    EXPECT_THROW(ReduceColors(image, TColorReduction::rmNetscape, TDitherMode(7)), EInvalidGraphicOperation);
    EXPECT_TRUE(ReduceColors(QImage(), TColorReduction::rmNetscape, TDitherMode::dmNearest).isNull());
}

// The variant that keeps an index for transparency: transparent pixels get the table's last entry and
// take no part in the palette; the picture's colours give up one entry for it.
TEST(ColorReduce, KeepsOneIndexForTransparency) {
    QImage image(16, 4, QImage::Format_ARGB32);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 4; ++y) image.setPixel(x, y, y == 0 ? qRgba(255, 0, 255, x < 8 ? 0 : 100) : qRgb(x * 16, 0, 0));
    // The optimal palette ignores what is transparent: sixteen reds and nothing magenta.
    const QVector<QRgb> optimal = OptimalPalette(image, 256);
    EXPECT_EQ(optimal.size(), 16);
    EXPECT_FALSE(optimal.contains(qRgb(255, 0, 255)));

    const TTransparentReduction r = ReduceColorsTransparent(image, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, 3);
    ASSERT_EQ(r.Transparent, 7); // 2^3 - 1 colours, then the transparent entry
    EXPECT_EQ(r.Image.colorCount(), 8);
    EXPECT_EQ(qAlpha(r.Image.color(7)), 0);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(r.Image.pixelIndex(x, 0), 7) << x;
        for (int y = 1; y < 4; ++y) EXPECT_NE(r.Image.pixelIndex(x, y), 7);
    }
    // Without transparent pixels the plain reduction, unless the index is asked for.
    const QImage opaque = image.copy(0, 1, 16, 3);
    EXPECT_EQ(ReduceColorsTransparent(opaque, TColorReduction::rmNetscape, TDitherMode::dmNearest).Transparent, -1);
    const TTransparentReduction kept = ReduceColorsTransparent(opaque, TColorReduction::rmNetscape, TDitherMode::dmNearest, 8, true);
    EXPECT_EQ(kept.Transparent, 216);
    EXPECT_FALSE(UsedIndexes(kept.Image).contains(216));
    EXPECT_EQ(kept.Image.colorTable().mid(0, 216), FixedPalette(TColorReduction::rmNetscape));
    // A fixed palette of 256 colours gives up the entry the picture uses least.
    const QImage ramp = GreyRamp(256, 2);
    QImage holed = ramp.copy();
    for (int y = 0; y < 2; ++y) holed.setPixel(77, y, qRgb(78, 78, 78));
    const TTransparentReduction grey = ReduceColorsTransparent(holed, TColorReduction::rmGrayScale, TDitherMode::dmNearest, 8, true);
    EXPECT_EQ(grey.Transparent, 255);
    EXPECT_FALSE(grey.Image.colorTable().mid(0, 255).contains(qRgb(77, 77, 77)));
    EXPECT_TRUE(grey.Image.colorTable().contains(qRgb(255, 255, 255)));
    for (int x = 0; x < 256; ++x) EXPECT_EQ(grey.Image.color(grey.Image.pixelIndex(x, 0)), holed.pixel(x, 0)) << x;
}
