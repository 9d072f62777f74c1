#include "TestUtil.h"

#include "codec/Ppm.h"
#include "formats/raster/Img.h"
#include "formats/raster/Mac.h"

#include <QBuffer>

namespace {
template <class T> std::unique_ptr<T> Load(const QByteArray& bytes) { return LoadGraphic<T>(bytes); }
QImage LoadReference(const QString& path) { return Load<TPPMGraphic>(ReadFile(DataPath(path)))->Image(); }

template <class T> QString Message(const QByteArray& bytes) {
    try {
        Load<T>(bytes);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("(loaded)");
}

QByteArray Saved(const TGraphic& g) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    g.SaveToStream(out);
    return out.data();
}

const QString kDamaged = QString::fromUtf8("\xE6\x96\x87\xE4\xBB\xB6\xE5\xB7\xB2\xE7\xBB\x8F\xE6\x8D\x9F\xE5\x9D\x8F");
} // namespace

TEST(MacPaint, NetpbmFilesDecodeWithAndWithoutMacBinary) {
    const QImage ref = LoadReference(QStringLiteral("mac/text.ref.pbm"));
    for (const char* name : {"mac/text.mac", "mac/text_macbinary.mac"}) {
        const QByteArray bytes = ReadFile(DataPath(QString::fromLatin1(name)));
        auto g = Load<TMACImage>(bytes);
        EXPECT_TRUE(SamePixels(g->Image(), ref)) << name;
        EXPECT_EQ(Saved(*g), bytes) << name; // saving writes the loaded bytes back unchanged
    }
}

TEST(MacPaint, RowsRunsAndTruncation) {
    // Row 0 white (a run of 72 zero bytes), row 1 black, row 2 a 128 no-op then an over-long run that
    // must stop at the row's end, row 3 white, and the data ends: four rows, the background below.
    QByteArray file(512, '\0');
    file += QByteArray::fromHex("b900" "b9ff" "80" "81ff" "b900");
    auto g = Load<TMACImage>(file);
    ASSERT_EQ(g->Image().size(), QSize(576, 720));
    EXPECT_EQ(g->Image().pixel(10, 0), qRgb(255, 255, 255));
    EXPECT_EQ(g->Image().pixel(575, 1), qRgb(0, 0, 0));
    EXPECT_EQ(g->Image().pixel(575, 2), qRgb(0, 0, 0)); // 81 ff gives 127 bytes: clipped to 72
    EXPECT_EQ(g->Image().pixel(0, 3), qRgb(255, 255, 255));
    EXPECT_EQ(g->Image().pixel(575, 719), qRgb(255, 255, 255));
    EXPECT_TRUE(g->Truncated());
    EXPECT_FALSE(Load<TMACImage>(ReadFile(DataPath(QStringLiteral("mac/text.mac"))))->Truncated());
    EXPECT_EQ(Message<TMACImage>(QByteArray(600, '\0')), QStringLiteral("File is corrupted"));
    QByteArray shortMacBinary(100, '\0');
    shortMacBinary.replace(65, 4, "PNTG");
    EXPECT_EQ(Message<TMACImage>(shortMacBinary), QStringLiteral("File is corrupted"));
    TMACImage empty;
    try {
        Saved(empty);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Data buffer is empty"));
    }
}

TEST(GemImg, NetpbmFileWithLineReplication) {
    const QByteArray bytes = ReadFile(DataPath(QStringLiteral("gem/text.img")));
    auto g = Load<TImgImage>(bytes);
    EXPECT_TRUE(SamePixels(g->Image(), LoadReference(QStringLiteral("gem/text.ref.pbm"))));
    EXPECT_EQ(Saved(*g), bytes);
}

TEST(GemImg, ItemsAndMessages) {
    // 16 x 5, pattern length 2. Row 0: replicated three times (00 00 FF 03), a black solid run of two
    // bytes. Row 3: a pattern run (00 01, pattern AA 55). Row 4: a bit string (80 02 F0 0F).
    QByteArray file = QByteArray::fromHex("0001000800010002000000000010" "0005");
    file += QByteArray::fromHex("0000ff03" "82" "0001aa55" "8002f00f");
    auto g = Load<TImgImage>(file);
    const QImage& img = g->Image();
    ASSERT_EQ(img.size(), QSize(16, 5));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(img.pixel(15, y), qRgb(0, 0, 0)) << y;
    EXPECT_EQ(img.pixel(0, 3), qRgb(0, 0, 0)); // AA: bit 7 set is black
    EXPECT_EQ(img.pixel(1, 3), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(0, 4), qRgb(0, 0, 0)); // F0
    EXPECT_EQ(img.pixel(4, 4), qRgb(255, 255, 255));
    EXPECT_EQ(g->PatternLength(), 2);

    QByteArray twoPlanes = file;
    twoPlanes[5] = 2;
    EXPECT_EQ(Message<TImgImage>(twoPlanes), kDamaged);
    EXPECT_EQ(Message<TImgImage>(file.left(15)), kDamaged);
    EXPECT_EQ(Message<TImgImage>(file.left(16)), kDamaged); // no rows at all
    // A repeat count of 0 means one row; the cut after row 0's data keeps that row (black) and the
    // background below it.
    QByteArray zeroRepeat = QByteArray::fromHex("00010008000100010000000000080003" "0000ff00" "81");
    auto cut = Load<TImgImage>(zeroRepeat);
    ASSERT_EQ(cut->Image().size(), QSize(8, 3));
    EXPECT_EQ(cut->Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(cut->Image().pixel(0, 1), qRgb(255, 255, 255));
    EXPECT_TRUE(cut->Truncated());
    EXPECT_FALSE(g->Truncated());
    // Sizes that the data cannot possibly hold are refused before allocating.
    QByteArray huge = QByteArray::fromHex("000100080001000100000000ffffffff" "00");
    EXPECT_EQ(Message<TImgImage>(huge), kDamaged);
}

TEST(MonoRaw, AssignTakesOnlyTheSameClass) {
    auto mac = Load<TMACImage>(ReadFile(DataPath(QStringLiteral("mac/text.mac"))));
    TMACImage copy;
    copy.Assign(*mac);
    EXPECT_TRUE(SamePixels(copy.Image(), mac->Image()));
    EXPECT_TRUE(copy.IsEmpty()); // the file's bytes are not shared
    TImgImage img;
    try {
        img.Assign(*mac);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot assign a TMACImage to a TImgImage"));
    }
}
