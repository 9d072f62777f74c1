#include "RasterFixtures.h"

#include "codec/Rla.h"

#include <QBuffer>
#include <QtEndian>

namespace {
QString Rla(const QString& name) { return DataPath(QStringLiteral("rla/") + name); }
}

// A file packed from the format description, against the picture packed.
TEST(Rla, PackedFileMatchesThePicturePacked) {
    EXPECT_TRUE(SamePixels(LoadFile<TRLAGraphic>(Rla("packedrgb.rla")), ReferenceFor(Rla("packedrgb.rla"))));
}

// Colours are stored multiplied by the matte. Files written by OpenImageIO from RGBA pictures with and
// without a gamma, and one packed by hand with a matte, against OpenImageIO's decoding of each (which
// truncates where we round: one level apart at most).
TEST(Rla, MattedColoursMatchOpenImageIO) {
    for (const char* name : {"oiio-gamma.rla", "oiio-linear.rla", "packedmatte.rpf"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TRLAGraphic>(Rla(QString::fromLatin1(name)));
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_TRUE(SamePixels(image, ReferenceFor(Rla(QString::fromLatin1(name))), 1));
    }
    // The two OpenImageIO files come from one picture: where it is opaque nothing was multiplied.
    const QImage linear = LoadFile<TRLAGraphic>(Rla("oiio-linear.rla"));
    const QImage gamma = LoadFile<TRLAGraphic>(Rla("oiio-gamma.rla"));
    EXPECT_EQ(qAlpha(linear.pixel(0, 0)), 255);
    EXPECT_EQ(linear.pixel(0, 0), gamma.pixel(0, 0)); // opaque pixels are stored as they are
}

TEST(Rla, ContentTest) {
    const QByteArray file = ReadFile(Rla("packedrgb.rla"));
    EXPECT_TRUE(Accepts<TRLAGraphic>(file));
    EXPECT_TRUE(Accepts<TRLAGraphic>(file, 9));
    // A scanline offset beyond the end of the file, or into the offset table, is not RLA.
    QByteArray bad = file;
    qToBigEndian<quint32>(quint32(file.size() + 10), bad.data() + 740 + 8);
    EXPECT_FALSE(Accepts<TRLAGraphic>(bad));
    bad = file;
    qToBigEndian<quint32>(744, bad.data() + 740);
    EXPECT_FALSE(Accepts<TRLAGraphic>(bad));
    EXPECT_FALSE(Accepts<TRLAGraphic>(file.left(700)));
    EXPECT_FALSE(Accepts<TRLAGraphic>(ReadFile(DataPath("sgi/imrle.sgi"))));
}

// A file cut short keeps its size: the scanlines it holds (the bottom ones in a file packed bottom
// first, the top ones in OpenImageIO's, which stores them top first) and the background elsewhere
// (white, or transparent with a matte).
TEST(Rla, TruncatedFilesKeepTheirSizeAndTheLinesTheyHold) {
    for (const char* name : {"packedrgb.rla", "oiio-gamma.rla"}) {
        SCOPED_TRACE(name);
        const QByteArray full = ReadFile(Rla(QString::fromLatin1(name)));
        auto whole = LoadGraphic<TRLAGraphic>(full);
        EXPECT_FALSE(whole->Truncated());
        const int h = whole->Height(), w = whole->Width();
        QImage background(w, 1, QImage::Format_ARGB32);
        background.fill(whole->Image().hasAlphaChannel() ? QColor(Qt::transparent) : QColor(Qt::white));
        for (int cut : {full.size() / 2, full.size() * 3 / 4}) {
            SCOPED_TRACE(cut);
            auto part = LoadGraphic<TRLAGraphic>(full.left(cut));
            EXPECT_TRUE(part->Truncated());
            ASSERT_EQ(part->Image().size(), whole->Image().size());
            int arrived = 0, missing = 0, firstMissing = -1;
            for (int y = 0; y < h; ++y) {
                const QImage row = part->Image().copy(0, y, w, 1);
                if (SamePixels(row, whole->Image().copy(0, y, w, 1))) {
                    ++arrived;
                } else {
                    EXPECT_TRUE(SamePixels(row, background)) << "row " << y;
                    if (firstMissing < 0) firstMissing = y;
                    ++missing;
                }
            }
            EXPECT_GT(arrived, 0);
            EXPECT_GT(missing, 0);
            // The missing lines are the ones stored last: the top of the bottom-first file, the bottom of
            // the other.
            EXPECT_EQ(firstMissing == 0, QByteArray(name) == "packedrgb.rla");
        }
    }
    const QByteArray full = ReadFile(Rla("packedrgb.rla"));
    EXPECT_EQ(LoadError<TRLAGraphic>(full.left(760)), QStringLiteral("The RLA scanline table is incomplete"));
    EXPECT_EQ(LoadError<TRLAGraphic>(full.left(740 + 23 * 4)), QStringLiteral("The RLA file holds no pixel data"));
    QByteArray bad = full;
    bad[20] = 0; // no colour channel
    bad[21] = 0;
    EXPECT_EQ(LoadError<TRLAGraphic>(bad), QStringLiteral("The RLA file header is not valid"));
}
