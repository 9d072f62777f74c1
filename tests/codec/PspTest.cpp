#include "RasterFixtures.h"

#include "codec/Psp.h"

namespace {
QString Psp(const QString& name) { return DataPath(QStringLiteral("psp/") + name); }
}

// Packed from the format description: a background layer, a small red layer whose transparency mask
// hides its left column, and a hidden layer; version 5 uncompressed, version 6 run-length and LZ77.
TEST(Psp, LayersAreMergedInEveryCompression) {
    for (const char* name : {"v5raw.psp", "v6rle.psp", "v6lz77.psp"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(SamePixels(LoadFile<TPSPGraphic>(Psp(QString::fromLatin1(name))), QImage(Psp("expected.png"))));
    }
    EXPECT_TRUE(SamePixels(LoadFile<TPSPGraphic>(Psp("v6indexed.psp")), ReferenceFor(Psp("v6indexed.psp"))));
    // No layer: the full-size picture of the composite image bank (after a thumbnail).
    EXPECT_TRUE(SamePixels(LoadFile<TPSPGraphic>(Psp("v6composite.psp")), ReferenceFor(Psp("v6composite.psp"))));
}

TEST(Psp, ContentTestAndDamagedFiles) {
    const QByteArray file = ReadFile(Psp("v6rle.psp"));
    EXPECT_TRUE(Accepts<TPSPGraphic>(file));
    EXPECT_TRUE(Accepts<TPSPGraphic>(file, 6));
    QByteArray bad = file;
    bad[30] = 'x';
    EXPECT_FALSE(Accepts<TPSPGraphic>(bad));
    EXPECT_EQ(LoadError<TPSPGraphic>(bad), QStringLiteral("Not a Paint Shop Pro file"));
    EXPECT_EQ(LoadError<TPSPGraphic>(file.left(36)), QStringLiteral("The PSP file has no image attributes"));
    // Cut inside the layers: what was read is shown at the picture's size and the graphic says it was
    // truncated, or a clear error when no layer remains; never a crash.
    const auto whole = LoadGraphic<TPSPGraphic>(file);
    EXPECT_FALSE(whole->Truncated());
    for (int cut = 100; cut < file.size(); cut += 97) {
        const QString error = LoadError<TPSPGraphic>(file.left(cut));
        EXPECT_TRUE(error.isEmpty() || error == QStringLiteral("The PSP file holds no raster layer") ||
                    error == QStringLiteral("The PSP image attributes are incomplete"))
            << error.toStdString();
        if (!error.isEmpty()) continue;
        const auto part = LoadGraphic<TPSPGraphic>(file.left(cut));
        EXPECT_EQ(part->Image().size(), whole->Image().size());
        EXPECT_TRUE(part->Truncated()) << cut;
    }
}
