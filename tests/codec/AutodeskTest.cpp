#include "RasterFixtures.h"

#include "codec/Autodesk.h"

namespace {
QString Cel(const QString& name) { return DataPath(QStringLiteral("cel/") + name); }
}

// Packed from the format description (as .cel and .pic); the reference is the picture packed, with
// the 6-bit levels widened as (v << 2) | (v >> 4).
TEST(Autodesk, PackedFilesMatchThePicturePacked) {
    for (const char* name : {"animator.cel", "animator.pic"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadFile<TAutodeskGraphic>(Cel(QString::fromLatin1(name)));
        EXPECT_EQ(image.format(), QImage::Format_Indexed8);
        EXPECT_TRUE(SamePixels(image, QImage(Cel("animator.png"))));
    }
}

TEST(Autodesk, ContentTestAndTruncation) {
    const QByteArray file = ReadFile(Cel("animator.cel"));
    EXPECT_TRUE(Accepts<TAutodeskGraphic>(file));
    EXPECT_TRUE(Accepts<TAutodeskGraphic>(file, 2));
    QByteArray compressed = file;
    compressed[11] = 1;
    EXPECT_FALSE(Accepts<TAutodeskGraphic>(compressed));
    EXPECT_EQ(LoadError<TAutodeskGraphic>(compressed), QStringLiteral("The Autodesk file header is not valid"));
    EXPECT_FALSE(Accepts<TAutodeskGraphic>(file.left(20)));

    // Cut short: the picture keeps its size with the complete rows, white below, and says so.
    const auto whole = LoadGraphic<TAutodeskGraphic>(file);
    EXPECT_FALSE(whole->Truncated());
    const auto part = LoadGraphic<TAutodeskGraphic>(file.left(32 + 768 + 37 * 5 + 10));
    int arrived = 0;
    EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), true, &arrived));
    EXPECT_EQ(arrived, 5);
    EXPECT_TRUE(part->Truncated());
    EXPECT_EQ(LoadError<TAutodeskGraphic>(file.left(500)), QStringLiteral("The Autodesk file palette is incomplete"));
    EXPECT_EQ(LoadError<TAutodeskGraphic>(file.left(32 + 768 + 36)), QStringLiteral("The Autodesk file holds no pixel data"));
}
