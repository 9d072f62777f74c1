#include "RasterFixtures.h"

#include "app/PictureEx.h"
#include "codec/Psd.h"

#include <QFile>

namespace {
QString Psd(const QString& name) { return DataPath(QStringLiteral("psd/") + name); }

// A version-1 header with empty colour, resource and layer sections, then the compression word.
QByteArray PsdFile(int channels, int width, int height, int depth, int mode, int compression, const QByteArray& pixels) {
    QByteArray f("8BPS");
    auto be16 = [&](int v) { f += char(v >> 8); f += char(v); };
    auto be32 = [&](quint32 v) { be16(int(v >> 16)); be16(int(v & 0xFFFF)); };
    be16(1);
    f += QByteArray(6, '\0');
    be16(channels);
    be32(height);
    be32(width);
    be16(depth);
    be16(mode);
    be32(0);
    be32(0);
    be32(0);
    be16(compression);
    return f + pixels;
}
} // namespace

// ImageMagick's files (PackBits and raw, RGB, RGBA, grey, 16-bit, CMYK, a bilevel picture (written as
// grey), the large-document variant) against ImageMagick's decoding of their composite; an RGBA file and
// an indexed file packed here against Pillow's.
TEST(Psd, IndependentFilesMatchTheReferenceDecoder) {
    for (const char* name : {"imrgb.psd", "imraw.psd", "imrgba.psd", "imgrey.psd", "im16.psd", "imcmyk.psd",
                             "imbitmap.psd", "imlarge.psb", "packedindexed.psd"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TPSDGraphic>(Psd(QString::fromLatin1(name)));
        EXPECT_TRUE(SamePixels(image, ReferenceFor(Psd(QString::fromLatin1(name))), 1));
    }
    EXPECT_EQ(LoadFile<TPSDGraphic>(Psd("packedindexed.psd")).format(), QImage::Format_Indexed8);
    EXPECT_TRUE(LoadFile<TPSDGraphic>(Psd("imrgba.psd")).hasAlphaChannel());
}

TEST(Psd, ContentTestAndTheExtensionCases) {
    const QByteArray psd = ReadFile(Psd("imrgb.psd"));
    EXPECT_TRUE(Accepts<TPSDGraphic>(psd));
    EXPECT_TRUE(Accepts<TPSDGraphic>(psd, 3));
    QByteArray v3 = psd;
    v3[5] = 3;
    EXPECT_FALSE(Accepts<TPSDGraphic>(v3));

    QTemporaryDir dir;
    // A Photoshop file named .jpg opens as Photoshop.
    const QString jpg = dir.filePath(QStringLiteral("photo.jpg"));
    WriteFile(jpg, psd);
    TPictureEx picture;
    picture.LoadFromFileName(jpg);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TPSDGraphic"));
    EXPECT_EQ(picture.Width(), 37);
    // A JPEG named .psd fails in the Photoshop reader.
    const QString fake = dir.filePath(QStringLiteral("fake.psd"));
    WriteFile(fake, QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000ffd9"));
    try {
        picture.LoadFromFileName(fake);
        FAIL() << "a JPEG named .psd must not open";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not a Photoshop file"));
    }
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TPSDGraphic")); // the previous picture stays
}

// A file cut short keeps its size: the rows present in every channel (the top ones), white below; it
// says so.
TEST(Psd, TruncatedFilesKeepTheirSizeWithTheTopLines) {
    for (const char* name : {"imraw.psd", "imrgb.psd"}) {
        SCOPED_TRACE(name);
        const QByteArray full = ReadFile(Psd(QString::fromLatin1(name)));
        const auto whole = LoadGraphic<TPSDGraphic>(full);
        EXPECT_FALSE(whole->Truncated());
        const auto part = LoadGraphic<TPSDGraphic>(full.left(full.size() - 300));
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), true, &arrived));
        EXPECT_GT(arrived, 0);
        EXPECT_LT(arrived, whole->Height());
        EXPECT_TRUE(part->Truncated());
    }
    EXPECT_EQ(LoadError<TPSDGraphic>(ReadFile(Psd("imrgb.psd")).left(20)),
              QStringLiteral("The Photoshop file ends before its image data"));
}

TEST(Psd, ModesAndErrors) {
    // Lab: white, black and a neutral grey stay neutral.
    const QImage lab = LoadBytes<TPSDGraphic>(PsdFile(3, 3, 1, 8, 9, 0, QByteArray::fromHex("ff0080808080808080")));
    EXPECT_EQ(lab.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(lab.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(qRed(lab.pixel(2, 0)), qGreen(lab.pixel(2, 0)));
    EXPECT_NEAR(qRed(lab.pixel(2, 0)), 119, 2); // L* 50
    // 32-bit float grey.
    const QImage f32 = LoadBytes<TPSDGraphic>(PsdFile(1, 2, 1, 32, 1, 0, QByteArray::fromHex("3f0000003f800000")));
    EXPECT_EQ(f32.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(f32.pixel(1, 0), qRgb(255, 255, 255));
    // PackBits rows of a grey picture: a run and literals.
    const QImage packed = LoadBytes<TPSDGraphic>(PsdFile(1, 4, 1, 8, 1, 1, QByteArray::fromHex("0004") + QByteArray::fromHex("fe10000a")));
    EXPECT_EQ(packed.pixel(0, 0), qRgb(0x10, 0x10, 0x10));
    EXPECT_EQ(packed.pixel(2, 0), qRgb(0x10, 0x10, 0x10));
    EXPECT_EQ(packed.pixel(3, 0), qRgb(0x0A, 0x0A, 0x0A));
    // Bitmap mode: 1 is black, rows padded to whole bytes.
    const QImage bitmap = LoadBytes<TPSDGraphic>(PsdFile(1, 10, 2, 1, 0, 0, QByteArray::fromHex("a0c00140")));
    EXPECT_EQ(bitmap.format(), QImage::Format_Mono);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(9, 0), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.pixel(7, 1), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.pixel(8, 1), qRgb(255, 255, 255));

    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(3, 4, 4, 8, 3, 2, QByteArray(64, '\0'))),
              QStringLiteral("Unsupported Photoshop compression 2"));
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(2, 4, 4, 8, 3, 0, QByteArray(64, '\0'))),
              QStringLiteral("The Photoshop file has too few channels for its colour mode"));
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(1, 4, 4, 8, 2, 0, QByteArray(64, '\0'))),
              QStringLiteral("The Photoshop file has no colour table"));
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(3, 4, 4, 7, 3, 0, {})), QStringLiteral("Unsupported Photoshop depth 7"));
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(3, 30001, 4, 8, 3, 0, {})),
              QStringLiteral("Invalid Photoshop picture size 30001 x 4"));
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(3, 4, 4, 8, 3, 0, {})), QStringLiteral("The Photoshop file holds no pixel data"));
    // The row table of a PackBits file must be there before any row is read.
    EXPECT_EQ(LoadError<TPSDGraphic>(PsdFile(3, 10000, 10000, 8, 3, 1, QByteArray(10, '\0'))),
              QStringLiteral("The Photoshop row table is incomplete"));
}
