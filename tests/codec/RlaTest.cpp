#include "RasterFixtures.h"

#include "codec/Rla.h"

#include <QtEndian>

namespace {
QString Rla(const QString& name) { return DataPath(QStringLiteral("rla/") + name); }
}

// Files packed from the format description (RGB; RGB with a matte as .rpf), against the pictures packed.
TEST(Rla, PackedFilesMatchThePicturesPacked) {
    EXPECT_TRUE(SamePixels(LoadFile<TRLAGraphic>(Rla("packedrgb.rla")), ReferenceFor(Rla("packedrgb.rla"))));
    const QImage matte = LoadFile<TRLAGraphic>(Rla("packedmatte.rpf"));
    EXPECT_TRUE(matte.hasAlphaChannel());
    EXPECT_TRUE(SamePixels(matte, ReferenceFor(Rla("packedmatte.rpf"))));
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

TEST(Rla, TruncatedFilesGiveTheBottomLines) {
    const QByteArray full = ReadFile(Rla("packedrgb.rla"));
    const QImage whole = LoadBytes<TRLAGraphic>(full);
    for (int cut : {full.size() / 2, full.size() - 10}) {
        const QImage part = LoadBytes<TRLAGraphic>(full.left(cut));
        ASSERT_GT(part.height(), 0);
        ASSERT_LT(part.height(), whole.height());
        EXPECT_TRUE(SamePixels(part, whole.copy(0, whole.height() - part.height(), whole.width(), part.height())));
    }
    EXPECT_EQ(LoadError<TRLAGraphic>(full.left(760)), QStringLiteral("The RLA scanline table is incomplete"));
    EXPECT_EQ(LoadError<TRLAGraphic>(full.left(740 + 23 * 4)), QStringLiteral("The RLA file holds no pixel data"));
    QByteArray bad = full;
    bad[20] = 0; // no colour channel
    bad[21] = 0;
    EXPECT_EQ(LoadError<TRLAGraphic>(bad), QStringLiteral("The RLA file header is not valid"));
}
