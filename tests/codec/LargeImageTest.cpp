#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "codec/Limits.h"

#include <QBuffer>
#include <QColorSpace>

// Pictures of 16 MB and more live in memory of their own (huge-page backed); they must behave as any
// QImage: copies are independent, conversions work, the memory goes with the last copy.
TEST(LargeImage, BehavesAsAnyImage) {
    QImage a = NewImage(2500, 1800, QImage::Format_RGB32);
    ASSERT_EQ(a.size(), QSize(2500, 1800));
    EXPECT_EQ(a.bytesPerLine(), 2500 * 4);
    a.fill(qRgb(200, 10, 10));
    QImage b = a;
    b.setPixel(7, 9, qRgb(1, 2, 3));
    EXPECT_EQ(a.pixel(7, 9), qRgb(200, 10, 10));
    EXPECT_EQ(b.pixel(7, 9), qRgb(1, 2, 3));
    a = QImage();
    EXPECT_EQ(b.pixel(2499, 1799), qRgb(200, 10, 10));
    QImage small(4, 4, QImage::Format_RGB32);
    small.fill(qRgb(200, 10, 10));
    EXPECT_EQ(b.convertToFormat(QImage::Format_Grayscale8).pixel(0, 0), small.convertToFormat(QImage::Format_Grayscale8).pixel(0, 0));

    QImage indexed = NewImage(5001, 4000, QImage::Format_Indexed8); // odd width: rows padded to 32 bits
    EXPECT_EQ(indexed.bytesPerLine(), 5004);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    indexed.fill(1);
    EXPECT_EQ(indexed.pixel(5000, 3999), qRgb(255, 255, 255));
}

// A large JPEG goes through the whole path: decode into large memory, colour conversion, orientation.
TEST(LargeImage, JpegRoundTrip) {
    QImage source(2600, 1700, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) source.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) / 20 % 256));
    source.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    TJpegGraphic writer;
    writer.SetImage(source);
    writer.SetSaveOption("quality", "90");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writer.SaveToStream(buffer);
    buffer.close();
    buffer.open(QIODevice::ReadOnly);
    TJpegGraphic reader;
    reader.LoadFromStream(buffer);
    ASSERT_EQ(reader.Image().size(), source.size());
    const QImage expected = source.convertedToColorSpace(QColorSpace::SRgb);
    for (QPoint p : {QPoint(100, 100), QPoint(1300, 850), QPoint(2500, 1600)}) {
        const QRgb a = reader.Image().pixel(p), e = expected.pixel(p);
        EXPECT_NEAR(qRed(a), qRed(e), 12);
        EXPECT_NEAR(qGreen(a), qGreen(e), 12);
        EXPECT_NEAR(qBlue(a), qBlue(e), 12);
    }
}
