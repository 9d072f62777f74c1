#include "RasterFixtures.h"

#include "app/PictureEx.h"
#include "codec/Cut.h"

#include <QFile>

namespace {
QString Cut(const QString& name) { return DataPath(QStringLiteral("cut/") + name); }
}

// Packed from the format description; ImageMagick decoded them, reading the sibling palette file.
TEST(Cut, PackedFilesMatchTheReferenceDecoder) {
    EXPECT_TRUE(SamePixels(LoadFile<TCUTGraphic>(Cut("halo.cut")), ReferenceFor(Cut("halo.cut"))));
    // Without a palette file the indices are grey levels.
    EXPECT_TRUE(SamePixels(LoadFile<TCUTGraphic>(Cut("nopal.cut")), ReferenceFor(Cut("nopal.cut"))));
}

TEST(Cut, SiblingPaletteInAnyCaseThroughThePictureContainer) {
    QTemporaryDir dir;
    // Any extension: the content test finds the format, the palette file is found by name.
    const QString picture = dir.filePath(QStringLiteral("scan.dat"));
    QFile::copy(Cut("halo.cut"), picture);
    TPictureEx container;
    container.LoadFromFileName(picture);
    ASSERT_EQ(container.Graphic()->ClassName(), QStringLiteral("TCUTGraphic"));
    const QImage grey = container.Graphic()->ToImage();
    EXPECT_TRUE(SamePixels(grey, ReferenceFor(Cut("nopal.cut"))));
    QFile::copy(Cut("halo.pal"), dir.filePath(QStringLiteral("scan.PAL")));
    container.LoadFromFileName(picture);
    EXPECT_TRUE(SamePixels(container.Graphic()->ToImage(), ReferenceFor(Cut("halo.cut"))));
    // A broken palette file leaves the picture grey rather than failing it.
    QFile::remove(dir.filePath(QStringLiteral("scan.PAL")));
    WriteFile(dir.filePath(QStringLiteral("scan.pal")), QByteArray("XX broken"));
    container.LoadFromFileName(picture);
    EXPECT_TRUE(SamePixels(container.Graphic()->ToImage(), ReferenceFor(Cut("nopal.cut"))));
}

TEST(Cut, PaletteFileBlocks) {
    // 100 entries: the 86th would straddle the first 512-byte block and starts the second one.
    QByteArray pal("AH");
    pal += QByteArray(6, '\0');
    pal += QByteArray::fromHex("0000"); // board
    pal += QByteArray::fromHex("0000"); // mode
    pal += QByteArray::fromHex("6300"); // max index 99
    pal += QByteArray::fromHex("ff00ff00ff00");
    pal += QByteArray(40 - pal.size(), '\0');
    for (int i = 0; i < 100; ++i) {
        if (pal.size() % 512 > 512 - 6) pal += QByteArray(512 - pal.size() % 512, '\0');
        const char e[6] = {char(i), 0, char(255 - i), 0, 7, 0};
        pal += QByteArray(e, 6);
    }
    const QVector<QRgb> colours = TCUTGraphic::ReadPalette(pal);
    ASSERT_EQ(colours.size(), 100);
    EXPECT_EQ(colours[85], qRgb(85, 170, 7));
    EXPECT_EQ(colours[99], qRgb(99, 156, 7));
    EXPECT_THROW(TCUTGraphic::ReadPalette(pal.left(600)), EInvalidGraphic);
}

TEST(Cut, ContentTestAndTruncation) {
    const QByteArray file = ReadFile(Cut("halo.cut"));
    EXPECT_TRUE(Accepts<TCUTGraphic>(file));
    EXPECT_TRUE(Accepts<TCUTGraphic>(file, 4));
    QByteArray wider = file;
    wider[0] = char(38); // the lines no longer hold the width
    EXPECT_FALSE(Accepts<TCUTGraphic>(wider));
    QByteArray reserved = file;
    reserved[4] = 1;
    EXPECT_FALSE(Accepts<TCUTGraphic>(reserved));

    // Cut short: the picture keeps its size with the complete lines, the background below.
    const auto whole = LoadGraphic<TCUTGraphic>(file);
    EXPECT_FALSE(whole->Truncated());
    const auto part = LoadGraphic<TCUTGraphic>(file.left(file.size() / 2));
    int arrived = 0;
    EXPECT_TRUE(ArrivedRowsMatch(part->Image(), whole->Image(), true, &arrived));
    EXPECT_GT(arrived, 0);
    EXPECT_LT(arrived, whole->Height());
    EXPECT_TRUE(part->Truncated());
    EXPECT_EQ(LoadError<TCUTGraphic>(file.left(4)), QStringLiteral("The CUT file header is incomplete"));
    EXPECT_EQ(LoadError<TCUTGraphic>(file.left(6)), QStringLiteral("The CUT file holds no pixel data"));
}
