#include "RasterFixtures.h"

#include "codec/Sgi.h"

#include <QtEndian>

namespace {
QString Sgi(const QString& name) { return DataPath(QStringLiteral("sgi/") + name); }
}

// ImageMagick, netpbm and Pillow files (verbatim and run-length, grey, RGB, RGBA, 16-bit) and a packed
// grey-and-alpha file, against ImageMagick's decoding; 16-bit samples may round differently by one.
TEST(Sgi, IndependentFilesMatchTheReferenceDecoder) {
    for (const char* name : {"imrle.sgi", "imverbatim.sgi", "imrgba.sgi", "im16rle.sgi", "im16.sgi", "netpbmgrey.sgi",
                             "netpbmverbatim.sgi", "pillow.sgi", "packedgreyalpha.sgi"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TSGIGraphic>(Sgi(QString::fromLatin1(name)));
        EXPECT_TRUE(SamePixels(image, ReferenceFor(Sgi(QString::fromLatin1(name))), 1));
    }
    EXPECT_EQ(LoadFile<TSGIGraphic>(Sgi("netpbmgrey.sgi")).format(), QImage::Format_Grayscale8);
    EXPECT_TRUE(LoadFile<TSGIGraphic>(Sgi("packedgreyalpha.sgi")).hasAlphaChannel());
}

TEST(Sgi, ContentTest) {
    EXPECT_TRUE(Accepts<TSGIGraphic>(ReadFile(Sgi("imrle.sgi"))));
    EXPECT_TRUE(Accepts<TSGIGraphic>(ReadFile(Sgi("imrle.sgi")), 5));
    EXPECT_FALSE(Accepts<TSGIGraphic>(ReadFile(DataPath("psd/imrgb.psd"))));
    QByteArray bad = ReadFile(Sgi("imrle.sgi"));
    bad[3] = 3; // 3 bytes per channel
    EXPECT_FALSE(Accepts<TSGIGraphic>(bad));
    EXPECT_FALSE(Accepts<TSGIGraphic>(QByteArray::fromHex("01da")));
}

TEST(Sgi, TruncatedFilesGiveTheBottomLines) {
    for (const char* name : {"imverbatim.sgi", "imrle.sgi"}) {
        SCOPED_TRACE(name);
        const QByteArray full = ReadFile(Sgi(QString::fromLatin1(name)));
        const QImage whole = LoadBytes<TSGIGraphic>(full);
        const QImage part = LoadBytes<TSGIGraphic>(full.left(full.size() - full.size() / 10));
        ASSERT_GT(part.height(), 0);
        ASSERT_LT(part.height(), whole.height());
        EXPECT_TRUE(SamePixels(part, whole.copy(0, whole.height() - part.height(), whole.width(), part.height())));
    }
    const QByteArray rle = ReadFile(Sgi("imrle.sgi"));
    EXPECT_EQ(LoadError<TSGIGraphic>(rle.left(400)), QStringLiteral("The SGI file header is not valid"));
    EXPECT_EQ(LoadError<TSGIGraphic>(rle.left(600)), QStringLiteral("The SGI row tables are incomplete"));
}

TEST(Sgi, OffsetTablesAreValidated) {
    QByteArray file = ReadFile(Sgi("imrle.sgi"));
    const int rows = 23 * 3;
    // The first row of the first channel points far beyond the file: no line can be shown.
    qToBigEndian<quint32>(0x7FFFFFF0, file.data() + 512);
    EXPECT_EQ(LoadError<TSGIGraphic>(file), QStringLiteral("The SGI file holds no pixel data"));
    // A length running past the end of the file on the fifth row: four rows remain.
    file = ReadFile(Sgi("imrle.sgi"));
    qToBigEndian<quint32>(0x7FFFFFF0, file.data() + 512 + rows * 4 + 4 * 4);
    EXPECT_EQ(LoadBytes<TSGIGraphic>(file).height(), 4);
    // An offset into the header is refused as well.
    file = ReadFile(Sgi("imrle.sgi"));
    qToBigEndian<quint32>(100, file.data() + 512);
    EXPECT_EQ(LoadError<TSGIGraphic>(file), QStringLiteral("The SGI file holds no pixel data"));
}
