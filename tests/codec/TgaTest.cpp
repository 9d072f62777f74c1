#include "RasterFixtures.h"

#include "codec/Tga.h"

namespace {
QString Tga(const QString& name) { return DataPath(QStringLiteral("tga/") + name); }

QByteArray TgaHeader(int type, int width, int height, int depth, int descriptor, int mapType = 0, int mapFirst = 0,
                     int mapLength = 0, int mapBits = 0) {
    QByteArray h(18, '\0');
    h[1] = char(mapType);
    h[2] = char(type);
    h[3] = char(mapFirst);
    h[4] = char(mapFirst >> 8);
    h[5] = char(mapLength);
    h[6] = char(mapLength >> 8);
    h[7] = char(mapBits);
    h[12] = char(width);
    h[13] = char(width >> 8);
    h[14] = char(height);
    h[15] = char(height >> 8);
    h[16] = char(depth);
    h[17] = char(descriptor);
    return h;
}
} // namespace

// Files from ImageMagick, netpbm and Pillow and two packed here (16-bit stored right to left from the
// top, 8-bit indices into 15-bit map entries that start at index 5), against ImageMagick's decoding.
TEST(Tga, IndependentFilesMatchTheReferenceDecoder) {
    for (const char* name : {"im24.tga", "im24rle.tga", "im32rle.tga", "imgrey.tga", "impalrle.tga", "netpbmcmap.tga",
                             "netpbmrle.tga", "pillowtopleft.tga", "packed16rtl.tga", "packedmap15.tga"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TTgaGraphic>(Tga(QString::fromLatin1(name)));
        EXPECT_TRUE(SamePixels(image, ReferenceFor(Tga(QString::fromLatin1(name)))));
    }
    EXPECT_TRUE(LoadFile<TTgaGraphic>(Tga("im32rle.tga")).hasAlphaChannel());
    EXPECT_EQ(LoadFile<TTgaGraphic>(Tga("imgrey.tga")).format(), QImage::Format_Grayscale8);
}

TEST(Tga, PacketsMayCrossLinesAndAlphaComesFromTheDescriptor) {
    // 3x2 32-bit top-left, one run of 6 pixels; the descriptor announces 8 alpha bits.
    QByteArray file = TgaHeader(10, 3, 2, 32, 0x28) + QByteArray::fromHex("85") + QByteArray::fromHex("10203080");
    QImage image = LoadBytes<TTgaGraphic>(file);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(2, 1), qRgba(0x30, 0x20, 0x10, 0x80));
    // Without alpha bits the fourth byte is ignored.
    file[17] = 0x20;
    image = LoadBytes<TTgaGraphic>(file);
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
}

TEST(Tga, ColourMapsWithAlphaAndWideIndices) {
    // 8-bit indices into 32-bit entries (blue, green, red, alpha) with 8 alpha bits; top-left origin.
    QByteArray file = TgaHeader(1, 2, 1, 8, 0x28, 1, 0, 2, 32) + QByteArray::fromHex("11223340aabbccff") +
                      QByteArray::fromHex("0100");
    QImage image = LoadBytes<TTgaGraphic>(file);
    EXPECT_EQ(image.pixel(0, 0), qRgba(0xcc, 0xbb, 0xaa, 0xff));
    EXPECT_EQ(image.pixel(1, 0), qRgba(0x33, 0x22, 0x11, 0x40));
    // 16-bit indices, a map starting at 300, one index outside the map (black).
    file = TgaHeader(1, 3, 1, 16, 0x20, 1, 300, 1, 24) + QByteArray::fromHex("102030") + QByteArray::fromHex("2c01" "2d01" "0000");
    image = LoadBytes<TTgaGraphic>(file);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 0));
    // Grey with alpha (16 bits), bottom-left: the first stored line is the bottom one.
    file = TgaHeader(3, 1, 2, 16, 0x08) + QByteArray::fromHex("8010" "40ff");
    image = LoadBytes<TTgaGraphic>(file);
    EXPECT_EQ(image.pixel(0, 1), qRgba(0x80, 0x80, 0x80, 0x10));
    EXPECT_EQ(image.pixel(0, 0), qRgba(0x40, 0x40, 0x40, 0xff));
}

// A file cut short keeps its size with the complete lines, the background elsewhere, and says so.
TEST(Tga, TruncatedFilesKeepTheirSizeWithTheCompleteLines) {
    // Bottom-up file: the lines kept are the bottom ones.
    const QByteArray full = ReadFile(Tga("im24rle.tga"));
    const auto whole = LoadGraphic<TTgaGraphic>(full);
    EXPECT_FALSE(whole->Truncated());
    for (int cut : {full.size() / 4, full.size() / 2, full.size() - 40}) {
        SCOPED_TRACE(cut);
        const auto part = LoadGraphic<TTgaGraphic>(full.left(cut));
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), false, &arrived));
        EXPECT_GT(arrived, 0);
        EXPECT_LT(arrived, whole->Height());
        EXPECT_TRUE(part->Truncated());
    }
    // Top-down file: the top lines.
    const QByteArray top = ReadFile(Tga("pillowtopleft.tga"));
    const auto topPart = LoadGraphic<TTgaGraphic>(top.left(top.size() / 2));
    int arrived = 0;
    EXPECT_TRUE(ArrivedRowsMatch(topPart->Image(), LoadBytes<TTgaGraphic>(top), true, &arrived));
    EXPECT_GT(arrived, 0);
    EXPECT_TRUE(topPart->Truncated());

    EXPECT_EQ(LoadError<TTgaGraphic>(full.left(10)), QStringLiteral("The TGA file header is incomplete"));
    EXPECT_EQ(LoadError<TTgaGraphic>(full.left(18)), QStringLiteral("The TGA file holds no pixel data"));
    EXPECT_EQ(LoadError<TTgaGraphic>(TgaHeader(1, 4, 4, 8, 0, 1, 0, 256, 24) + QByteArray(100, '\0')),
              QStringLiteral("The TGA colour map is incomplete"));
}

TEST(Tga, BadHeaders) {
    EXPECT_EQ(LoadError<TTgaGraphic>(TgaHeader(32, 4, 4, 8, 0)), QStringLiteral("Unsupported TGA image type 32"));
    EXPECT_EQ(LoadError<TTgaGraphic>(TgaHeader(2, 4, 4, 12, 0)), QStringLiteral("Unsupported TGA pixel depth 12"));
    EXPECT_EQ(LoadError<TTgaGraphic>(TgaHeader(1, 4, 4, 8, 0)), QStringLiteral("The TGA file header is not valid"));
    EXPECT_EQ(LoadError<TTgaGraphic>(TgaHeader(2, 0, 4, 24, 0)), QStringLiteral("Invalid picture size 0 x 4"));
    EXPECT_TRUE(LoadError<TTgaGraphic>(TgaHeader(2, 65535, 65535, 24, 0)).startsWith(QStringLiteral("The picture is too large")));
}

// Every writer, raw and run-length: the kind written follows the picture, and reading gives it back.
TEST(Tga, WritesGreyPaletteAndTrueColourRoundTrips) {
    const QImage rgb = MakeTestImage(37, 23).convertToFormat(QImage::Format_RGB32);
    const QImage grey = rgb.convertToFormat(QImage::Format_Grayscale8);
    QImage indexed(37, 23, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 20; ++i) table << qRgb(i * 12, 200 - i * 5, i * i);
    indexed.setColorTable(table);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) indexed.setPixel(x, y, uint(((x / 3) + y) % 20));
    struct TCase {
        QImage Image;
        int Type;
        QImage::Format Format;
    } cases[] = {{grey, 3, QImage::Format_Grayscale8}, {indexed, 1, QImage::Format_Indexed8}, {rgb, 2, QImage::Format_RGB32}};
    for (const TCase& c : cases) {
        for (const char* rle : {"0", "1"}) {
            SCOPED_TRACE(QStringLiteral("type %1 rle %2").arg(c.Type).arg(QLatin1String(rle)).toStdString());
            const QByteArray bytes = SaveBytes<TTgaGraphic>(c.Image, {{"rle", rle}});
            EXPECT_EQ(int(bytes[2]), c.Type + (rle[0] == '1' ? 8 : 0));
            EXPECT_TRUE(bytes.endsWith(QByteArray("TRUEVISION-XFILE.", 17) + '\0'));
            const QImage back = LoadBytes<TTgaGraphic>(bytes);
            EXPECT_EQ(back.format(), c.Format);
            EXPECT_TRUE(SamePixels(back, c.Image));
        }
    }
    // Run-length output of a flat picture is much smaller than raw.
    QImage flat(200, 50, QImage::Format_RGB32);
    flat.fill(qRgb(1, 2, 3));
    EXPECT_LT(SaveBytes<TTgaGraphic>(flat, {{"rle", "1"}}).size(), 2000);
    EXPECT_TRUE(SamePixels(LoadBytes<TTgaGraphic>(SaveBytes<TTgaGraphic>(flat, {{"rle", "1"}})), flat));
    TTgaGraphic g;
    EXPECT_THROW(g.SetSaveOption(QStringLiteral("rle"), QStringLiteral("yes")), EInvalidGraphicOperation);
}
