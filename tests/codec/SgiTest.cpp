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

// A file cut short keeps its size: the rows whose every channel arrived (the bottom ones, rows counting
// from the bottom), the background elsewhere; it says so.
TEST(Sgi, TruncatedFilesKeepTheirSizeWithTheBottomLines) {
    for (const char* name : {"imverbatim.sgi", "imrle.sgi"}) {
        SCOPED_TRACE(name);
        const QByteArray full = ReadFile(Sgi(QString::fromLatin1(name)));
        const auto whole = LoadGraphic<TSGIGraphic>(full);
        EXPECT_FALSE(whole->Truncated());
        const auto part = LoadGraphic<TSGIGraphic>(full.left(full.size() - full.size() / 10));
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), false, &arrived));
        EXPECT_GT(arrived, 0);
        EXPECT_LT(arrived, whole->Height());
        EXPECT_TRUE(part->Truncated());
    }
    const QByteArray rle = ReadFile(Sgi("imrle.sgi"));
    EXPECT_EQ(LoadError<TSGIGraphic>(rle.left(400)), QStringLiteral("The SGI file header is not valid"));
    EXPECT_EQ(LoadError<TSGIGraphic>(rle.left(600)), QStringLiteral("The SGI row tables are incomplete"));
}

// Each row is found through the offset tables: a row whose data lies outside the file shows the
// background and the others decode; only a file without any row that can be shown is refused.
TEST(Sgi, OffsetTablesAreValidated) {
    const QByteArray good = ReadFile(Sgi("imrle.sgi"));
    const auto whole = LoadGraphic<TSGIGraphic>(good);
    const int height = 23, rows = height * 3;
    QImage white(whole->Width(), 1, QImage::Format_RGB32);
    white.fill(Qt::white);
    // The first row of the first channel points far beyond the file; the fifth row's length runs past
    // its end; the seventh row points into the header.
    QByteArray file = good;
    qToBigEndian<quint32>(0x7FFFFFF0, file.data() + 512);
    qToBigEndian<quint32>(0x7FFFFFF0, file.data() + 512 + rows * 4 + 4 * 4);
    qToBigEndian<quint32>(100, file.data() + 512 + 6 * 4);
    const auto damaged = LoadGraphic<TSGIGraphic>(file);
    ASSERT_EQ(damaged->Image().size(), whole->Image().size());
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row; // rows count from the bottom
        const bool lost = row == 0 || row == 4 || row == 6;
        EXPECT_TRUE(SamePixels(damaged->Image().copy(0, y, whole->Width(), 1),
                               lost ? white : whole->Image().copy(0, y, whole->Width(), 1)))
            << "row " << row;
    }
    EXPECT_TRUE(damaged->Truncated());
    // No row left.
    file = good;
    for (int row = 0; row < height; ++row) qToBigEndian<quint32>(100, file.data() + 512 + row * 4);
    EXPECT_EQ(LoadError<TSGIGraphic>(file), QStringLiteral("The SGI file holds no pixel data"));
}
