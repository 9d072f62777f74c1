#include "TestUtil.h"

#include "codec/Graphic.h"
#include "codec/Resample.h"

namespace {

const TResampleFilter kFilters[] = {TResampleFilter::rfNone,    TResampleFilter::rfLinear,  TResampleFilter::rfHermite,
                                    TResampleFilter::rfBell,    TResampleFilter::rfBSpline, TResampleFilter::rfLanczos3,
                                    TResampleFilter::rfMitchell};

double MeanOf(const QImage& image, int channel) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum += channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : qBlue(p);
        }
    return sum / (double(image.width()) * image.height());
}

} // namespace

TEST(Resample, ConstantPicturesStayConstant) {
    QImage flat(37, 23, QImage::Format_RGB32);
    flat.fill(qRgb(200, 17, 99));
    for (TResampleFilter f : kFilters)
        for (const QSize size : {QSize(10, 7), QSize(80, 50), QSize(37, 5), QSize(1, 1)}) {
            SCOPED_TRACE(int(f));
            const QImage out = Resample(flat, size, f);
            ASSERT_EQ(out.size(), size);
            EXPECT_EQ(out.format(), QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) ASSERT_EQ(out.pixel(x, y), qRgb(200, 17, 99)) << x << "," << y;
        }
}

TEST(Resample, BoxHalvingOfACheckerboardGivesTheMean) {
    QImage board(16, 12, QImage::Format_RGB32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage half = Resample(board, QSize(8, 6), TResampleFilter::rfNone);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(half.pixel(x, y), qRgb(128, 128, 128)); // 127.5 rounded up
    // Enlarging with the box replicates pixels.
    QImage two(2, 2, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(255, 0, 0));
    two.setPixel(1, 0, qRgb(0, 255, 0));
    two.setPixel(0, 1, qRgb(0, 0, 255));
    two.setPixel(1, 1, qRgb(9, 9, 9));
    const QImage big = Resample(two, QSize(6, 6), TResampleFilter::rfNone);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) ASSERT_EQ(big.pixel(x, y), two.pixel(x / 3, y / 3));
}

TEST(Resample, InterpolatingFiltersKeepThePictureAtItsOwnSize) {
    const QImage image = MakeTestImage(31, 17);
    for (TResampleFilter f : {TResampleFilter::rfNone, TResampleFilter::rfLinear, TResampleFilter::rfHermite,
                              TResampleFilter::rfLanczos3}) {
        EXPECT_TRUE(SamePixels(Resample(image, image.size(), f), image)) << int(f);
    }
    // The smoothing filters blur, but only a little.
    EXPECT_TRUE(SamePixels(Resample(image, image.size(), TResampleFilter::rfMitchell), image, 40));
}

// The mean brightness survives shrinking and enlarging (the weights of every pixel sum to one).
TEST(Resample, LanczosAndTheOthersKeepTheMean) {
    const QImage image = MakeTestImage(64, 48);
    for (TResampleFilter f : kFilters)
        for (const QSize size : {QSize(32, 24), QSize(128, 96), QSize(21, 16)}) {
            SCOPED_TRACE(int(f));
            const QImage out = Resample(image, size, f);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(MeanOf(out, c), MeanOf(image, c), 2.5);
        }
    // The linear filter halfway between two pixels gives their mean.
    QImage pair(2, 1, QImage::Format_RGB32);
    pair.setPixel(0, 0, qRgb(0, 100, 200));
    pair.setPixel(1, 0, qRgb(100, 200, 0));
    const QImage wide = Resample(pair, QSize(4, 1), TResampleFilter::rfLinear);
    EXPECT_EQ(wide.pixel(0, 0), qRgb(0, 100, 200));   // before the first centre: the edge pixel
    EXPECT_EQ(wide.pixel(1, 0), qRgb(25, 125, 150));  // a quarter of the way
    EXPECT_EQ(wide.pixel(2, 0), qRgb(75, 175, 50));
}

// Alpha is premultiplied: a transparent neighbour does not bleed its colour, and no result has a
// colour above its alpha even where Lanczos overshoots.
TEST(Resample, PremultipliedAlphaWithoutOutOfRangeValues) {
    QImage image(8, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) image.setPixel(x, y, x < 4 ? qRgba(255, 0, 0, 255) : qRgba(0, 255, 0, 0));
    const QImage half = Resample(image, QSize(3, 2), TResampleFilter::rfNone).convertToFormat(QImage::Format_ARGB32);
    const QRgb edge = half.pixel(1, 0); // covers source x 2.67..5.33: half opaque red, half transparent
    EXPECT_NEAR(qAlpha(edge), 128, 25);
    EXPECT_EQ(qRed(edge), 255);
    EXPECT_EQ(qGreen(edge), 0);
    for (TResampleFilter f : kFilters) {
        const QImage out = Resample(image, QSize(29, 11), f);
        EXPECT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const QRgb p = out.pixel(x, y); // unpremultiplied by pixel(); check the raw data
                const QRgb raw = reinterpret_cast<const QRgb*>(out.constScanLine(y))[x];
                ASSERT_LE(qRed(raw), qAlpha(raw));
                ASSERT_LE(qGreen(raw), qAlpha(raw));
                ASSERT_LE(qBlue(raw), qAlpha(raw));
                if (qAlpha(p) > 16) {
                    ASSERT_LE(qGreen(p), 60) << int(f) << " at " << x; // no green bleeding
                }
            }
    }
    // A hard black/white edge enlarged with Lanczos rings but stays within 0..255 and keeps its ends.
    QImage step(8, 1, QImage::Format_RGB32);
    for (int x = 0; x < 8; ++x) step.setPixel(x, 0, x < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QImage rung = Resample(step, QSize(64, 1), TResampleFilter::rfLanczos3);
    EXPECT_EQ(rung.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(rung.pixel(63, 0), qRgb(255, 255, 255));
}

TEST(Resample, LargePicturesSplitIntoBandsGiveTheSameResultAsSmallOnes) {
    // A tall picture goes through several bands (and threads); each row must match the same row
    // resampled on its own when the filter is separable and only horizontal work varies.
    QImage tall(300, 900, QImage::Format_RGB32);
    const QImage row = MakeTestImage(300, 1);
    for (int y = 0; y < 900; ++y) std::memcpy(tall.scanLine(y), row.constScanLine(0), 300 * 4);
    const QImage out = Resample(tall, QSize(170, 800), TResampleFilter::rfMitchell);
    const QImage single = Resample(row, QSize(170, 1), TResampleFilter::rfMitchell);
    for (int y = 0; y < 800; y += 37) EXPECT_EQ(std::memcmp(out.constScanLine(y), single.constScanLine(0), 170 * 4), 0) << y;
}

TEST(Resample, RefusesEmptySizesAndUnknownFilters) {
    const QImage image = MakeTestImage(4, 4);
    EXPECT_THROW(Resample(image, QSize(0, 5), TResampleFilter::rfLinear), EInvalidGraphic);
    EXPECT_THROW(Resample(image, QSize(5, 5), TResampleFilter(7)), EInvalidGraphicOperation);
    EXPECT_TRUE(Resample(QImage(), QSize(5, 5), TResampleFilter::rfLinear).isNull());
}
