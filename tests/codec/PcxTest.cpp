#include "RasterFixtures.h"

#include "codec/Pcx.h"
#include "codec/Limits.h"

#include <QBuffer>

namespace {

QString Pcx(const QString& name) { return DataPath(QStringLiteral("pcx/") + name); }

// A PCX header for the given layout; the pixel data follows.
QByteArray PcxHeader(int bits, int planes, int width, int height, int bytesPerLine, const QByteArray& palette48 = {}) {
    QByteArray h(128, '\0');
    h[0] = 0x0A;
    h[1] = 5;
    h[2] = 1;
    h[3] = char(bits);
    h[8] = char(width - 1);
    h[9] = char((width - 1) >> 8);
    h[10] = char(height - 1);
    h[11] = char((height - 1) >> 8);
    h.replace(16, palette48.size(), palette48);
    h[65] = char(planes);
    h[66] = char(bytesPerLine);
    h[67] = char(bytesPerLine >> 8);
    return h;
}

} // namespace

// Files written by ImageMagick, netpbm and Pillow in every layout they produce, compared with
// ImageMagick's decoding of the same files (Pillow's for its 1-bit file, whose all-zero header palette
// ImageMagick takes literally).
TEST(Pcx, IndependentFilesMatchTheReferenceDecoder) {
    for (const char* name : {"im24.pcx", "im8.pcx", "im1.pcx", "netpbm4planes.pcx", "netpbm2bit.pcx", "netpbm24.pcx",
                             "pillow24.pcx", "pillow8.pcx", "pillow1.pcx"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TPcxGraphic>(Pcx(QString::fromLatin1(name)));
        EXPECT_TRUE(SamePixels(image, ReferenceFor(Pcx(QString::fromLatin1(name)))));
    }
    // Indexed layouts stay indexed.
    EXPECT_EQ(LoadFile<TPcxGraphic>(Pcx("netpbm4planes.pcx")).format(), QImage::Format_Indexed8);
    EXPECT_EQ(LoadFile<TPcxGraphic>(Pcx("im24.pcx")).format(), QImage::Format_RGB32);
}

TEST(Pcx, CgaPaletteOfFourColourPictures) {
    // Background colour 1 (blue) in the high nibble of byte 16; byte 19 selects the cyan/magenta/white
    // palette, bright.
    QByteArray pal(48, '\0');
    pal[0] = char(1 << 4);
    pal[3] = char(0x40 | 0x20);
    QByteArray file = PcxHeader(2, 1, 4, 1, 2, pal);
    file[2] = 0;                                  // uncompressed
    file += QByteArray::fromHex("1b00");         // pixels 0, 1, 2, 3 and padding
    const QImage image = LoadBytes<TPcxGraphic>(file);
    ASSERT_EQ(image.size(), QSize(4, 1));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0xAA));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0x55, 0xFF, 0xFF));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0xFF, 0x55, 0xFF));
    EXPECT_EQ(image.pixel(3, 0), qRgb(0xFF, 0xFF, 0xFF));
}

TEST(Pcx, RunsMayContinueIntoTheNextLine) {
    // 3x2, 8 bits, bytes per line 4: one run of 8 bytes covers both lines.
    QByteArray file = PcxHeader(8, 1, 3, 2, 4) + QByteArray::fromHex("C807");
    file += char(0x0C);
    QByteArray palette(768, '\0');
    palette[21] = char(200);
    file += palette;
    const QImage image = LoadBytes<TPcxGraphic>(file);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(2, 1), qRgb(200, 0, 0));
}

// A file cut short keeps its size: the complete lines from the top, white below, and says so.
TEST(Pcx, TruncatedFilesKeepTheirSizeWithTheCompleteLines) {
    const QByteArray full = ReadFile(Pcx("netpbm24.pcx"));
    const auto whole = LoadGraphic<TPcxGraphic>(full);
    EXPECT_FALSE(whole->Truncated());
    for (int cut : {full.size() / 3, full.size() / 2, full.size() - 5}) {
        SCOPED_TRACE(cut);
        const auto part = LoadGraphic<TPcxGraphic>(full.left(cut));
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), true, &arrived));
        EXPECT_GT(arrived, 0);
        EXPECT_LT(arrived, whole->Height());
        EXPECT_EQ(part->Image().pixel(0, whole->Height() - 1), qRgb(255, 255, 255));
        EXPECT_TRUE(part->Truncated());
    }
    EXPECT_EQ(LoadError<TPcxGraphic>(full.left(100)), QStringLiteral("The PCX file header is incomplete"));
    EXPECT_EQ(LoadError<TPcxGraphic>(full.left(128)), QStringLiteral("The PCX file holds no pixel data"));
}

TEST(Pcx, BadHeadersAndLimits) {
    QByteArray file = PcxHeader(8, 3, 10, 10, 10);
    file[8] = 0;
    file[9] = 0;
    file[4] = 5; // xmin 5 > xmax 0
    EXPECT_EQ(LoadError<TPcxGraphic>(file), QStringLiteral("The PCX file header is not valid"));
    EXPECT_EQ(LoadError<TPcxGraphic>(PcxHeader(8, 3, 100, 10, 50)), QStringLiteral("The PCX file header is not valid"));
    EXPECT_EQ(LoadError<TPcxGraphic>(PcxHeader(4, 3, 10, 10, 10)), QStringLiteral("Unsupported PCX format: 4 bits in 3 planes"));
    QByteArray notPcx = PcxHeader(8, 1, 4, 4, 4);
    notPcx[0] = 'P';
    EXPECT_EQ(LoadError<TPcxGraphic>(notPcx), QStringLiteral("Not a PCX file"));
    // 65535 x 65535 exceeds the pixel limit before anything is allocated.
    QByteArray huge = PcxHeader(8, 1, 65535, 65535, 65535) + QByteArray(10, '\0');
    EXPECT_TRUE(LoadError<TPcxGraphic>(huge).startsWith(QStringLiteral("The picture is too large")));
}

TEST(Pcx, WritesEightAndTwentyFourBitRoundTrips) {
    const QImage rgb = MakeTestImage(37, 23).convertToFormat(QImage::Format_RGB32);
    // Default for a true-colour picture: 24 bits in three planes.
    QByteArray bytes = SaveBytes<TPcxGraphic>(rgb);
    EXPECT_EQ(int(bytes[65]), 3);
    EXPECT_EQ(uchar(bytes[66]) | (uchar(bytes[67]) << 8), 38); // even bytes per line
    EXPECT_TRUE(SamePixels(LoadBytes<TPcxGraphic>(bytes), rgb));

    // Default for an indexed picture: 8 bits with the trailing palette.
    QImage indexed(37, 23, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i) table << qRgb(i, 255 - i, (i * 7) & 255);
    indexed.setColorTable(table);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) indexed.setPixel(x, y, uint((x * 3 + y * 11) & 255));
    bytes = SaveBytes<TPcxGraphic>(indexed);
    EXPECT_EQ(int(bytes[65]), 1);
    EXPECT_EQ(bytes[bytes.size() - 769], char(0x0C));
    const QImage back = LoadBytes<TPcxGraphic>(bytes);
    EXPECT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(SamePixels(back, indexed));

    // The option overrides the default both ways.
    bytes = SaveBytes<TPcxGraphic>(indexed, {{"bits", "24"}});
    EXPECT_EQ(int(bytes[65]), 3);
    EXPECT_TRUE(SamePixels(LoadBytes<TPcxGraphic>(bytes), indexed));
    QImage few(16, 4, QImage::Format_RGB32);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 4; ++y) few.setPixel(x, y, qRgb(x * 16, y * 60, 255 - x * 16));
    bytes = SaveBytes<TPcxGraphic>(few, {{"bits", "8"}});
    EXPECT_EQ(int(bytes[65]), 1);
    EXPECT_TRUE(SamePixels(LoadBytes<TPcxGraphic>(bytes), few));

    TPcxGraphic g;
    EXPECT_FALSE(g.SetSaveOption(QStringLiteral("quality"), QStringLiteral("5")));
    EXPECT_THROW(g.SetSaveOption(QStringLiteral("bits"), QStringLiteral("4")), EInvalidGraphicOperation);
}

// Values of 0xC0 and above must be written as runs, or a reader takes them for counts.
TEST(Pcx, HighValuesSurviveTheRoundTrip) {
    QImage image(5, 3, QImage::Format_RGB32);
    const int values[5] = {0xC0, 0xFF, 0xC1, 0x3F, 0xC0};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) image.setPixel(x, y, qRgb(values[x], values[(x + y) % 5], 0xFF));
    EXPECT_TRUE(SamePixels(LoadBytes<TPcxGraphic>(SaveBytes<TPcxGraphic>(image)), image));
}
