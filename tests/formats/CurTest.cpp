#include "TestUtil.h"

#include "app/PictureEx.h"
#include "codec/DibGraphic.h"
#include "formats/raster/Cur.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>

namespace {

QString CurPath(const QString& name) { return DataPath(QStringLiteral("cur/") + name); }

std::unique_ptr<TCursorGraphic> LoadCursor(const QByteArray& bytes) { return LoadGraphic<TCursorGraphic>(bytes); }

// A picture with alpha laid over a solid colour: pictures compare equal this way whatever colour their
// fully transparent pixels carry.
QImage Over(const QImage& image, QColor background) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(background);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

::testing::AssertionResult SameVisible(const QImage& actual, const QImage& expected) {
    for (QColor bg : {QColor(Qt::white), QColor(Qt::black), QColor(0, 128, 255)}) {
        auto r = SamePixels(Over(actual, bg), Over(expected, bg), 1);
        if (!r) return r << " on " << bg.name().toStdString();
    }
    return ::testing::AssertionSuccess();
}

} // namespace

// Cursors written by ImageMagick and Pillow (and one packed by hand at 1 bit), against Pillow's decoding
// of the same image data, which ImageMagick's agrees with.
TEST(Cur, FilesMatchTheIndependentDecoders) {
    struct TCase {
        const char* File;
        const char* Reference;
        QPoint HotSpot;
    };
    for (const TCase& c : {TCase{"arrow.cur", "arrow.png", QPoint(3, 2)}, TCase{"multi.cur", "multi.png", QPoint(5, 4)},
                           TCase{"mono.cur", "mono.png", QPoint(0, 0)}, TCase{"imagick.cur", "arrow.png", QPoint(0, 0)}}) {
        SCOPED_TRACE(c.File);
        TCursorGraphic g;
        g.LoadFromFileName(CurPath(QString::fromLatin1(c.File)));
        const QImage ref(CurPath(QString::fromLatin1(c.Reference)));
        ASSERT_FALSE(g.IsEmpty());
        EXPECT_EQ(QSize(g.Width(), g.Height()), ref.size());
        EXPECT_TRUE(g.Image().hasAlphaChannel());
        EXPECT_TRUE(SameVisible(g.Image(), ref));
        // Drawing goes through the mask: the background shows where the cursor is transparent.
        EXPECT_TRUE(SamePixels(g.ToImage(QSize(), 0x00FF00), Over(ref, QColor(0, 255, 0)), 1));
        EXPECT_EQ(g.HotSpot(), c.HotSpot);
    }
}

// Cursors one pixel wide or high whose bitmap header gives the colour rows only (not colour rows plus
// mask rows), with a 1-bit AND mask: read at their size with the mask applied, against pictures drawn
// from the same definitions. A 4 x 1 one used to fail with the format message, a 1 x 4 one to come out
// 1 x 2.
TEST(Cur, HeadersThatCountTheColourRowsOnly) {
    for (const char* name : {"tall", "wide"}) {
        SCOPED_TRACE(name);
        TCursorGraphic g;
        g.LoadFromFileName(CurPath(QString::fromLatin1(name) + QStringLiteral(".cur")));
        const QImage ref(CurPath(QString::fromLatin1(name) + QStringLiteral(".png")));
        EXPECT_EQ(QSize(g.Width(), g.Height()), ref.size());
        EXPECT_TRUE(SamePixels(g.Image(), ref));
        EXPECT_FALSE(g.Truncated());
    }
    // The usual header of the same 1 x 4 cursor (colour rows and mask rows) reads the same.
    QByteArray doubled = ReadFile(CurPath(QStringLiteral("tall.cur")));
    doubled[22 + 8] = 8;
    TCursorGraphic g;
    QBuffer buffer(&doubled);
    buffer.open(QIODevice::ReadOnly);
    g.LoadFromStream(buffer);
    EXPECT_TRUE(SamePixels(g.Image(), QImage(CurPath(QStringLiteral("tall.png")))));
}

TEST(Cur, UnreadableDataGivesTheFormatMessage) {
    const QByteArray good = ReadFile(CurPath(QStringLiteral("arrow.cur")));
    QByteArray noImages = good.left(6);
    noImages[4] = 0;
    QByteArray badOffset = good;
    badOffset[21] = char(0x7F); // offset of the only image far past the end
    QByteArray badType = good;
    badType[2] = 3;
    for (const QByteArray& bytes : {QByteArray(), QByteArray("garbage"), good.left(5), good.left(21), noImages,
                                    badOffset, badType}) {
        try {
            LoadCursor(bytes);
            ADD_FAILURE() << "loaded " << ::testing::PrintToString(bytes);
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Cannot load image. Invalid or unexpected CUR image format."));
        }
    }
    // A failed load leaves the graphic empty.
    TCursorGraphic g;
    g.LoadFromFileName(CurPath(QStringLiteral("arrow.cur")));
    QByteArray garbage("garbage");
    QBuffer buffer(&garbage);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(g.LoadFromStream(buffer), EInvalidGraphic);
    EXPECT_TRUE(g.IsEmpty());
    // An image cut short gives the rows present at the cursor's size, and says so.
    auto cut = LoadCursor(good.left(good.size() - 200));
    EXPECT_EQ(QSize(cut->Width(), cut->Height()), QSize(24, 20));
    EXPECT_TRUE(cut->Truncated());
    EXPECT_FALSE(LoadCursor(good)->Truncated());
}

TEST(Cur, SavesACursorWithItsHotSpot) {
    TCursorGraphic g;
    g.LoadFromFileName(CurPath(QStringLiteral("multi.cur")));
    const QByteArray bytes = Save(g);
    EXPECT_EQ(U16(bytes, 2), 2);  // a cursor directory
    EXPECT_EQ(U16(bytes, 4), 1);  // of the image shown
    EXPECT_EQ(U16(bytes, 10), 5); // hot spot
    EXPECT_EQ(U16(bytes, 12), 4);
    auto back = LoadCursor(bytes);
    EXPECT_EQ(back->HotSpot(), QPoint(5, 4));
    EXPECT_TRUE(SameVisible(back->Image(), g.Image()));

    // Any raster becomes a cursor with its alpha; the hot spot stays inside a picture scaled to fit.
    TCursorGraphic big;
    big.Assign(TImageGraphic(MakeTestImage(300, 150, true)));
    big.SetHotSpot(QPoint(299, 100));
    auto bigBack = LoadCursor(Save(big));
    EXPECT_EQ(QSize(bigBack->Width(), bigBack->Height()), QSize(256, 128));
    EXPECT_EQ(bigBack->HotSpot(), QPoint(255, 85));

    TCursorGraphic empty;
    EXPECT_THROW(Save(empty), EInvalidGraphicOperation);
}

TEST(Cur, AssignCopyAndNominalSize) {
    TCursorGraphic g;
    g.LoadFromFileName(CurPath(QStringLiteral("arrow.cur")));
    TCursorGraphic copy;
    copy.Assign(g);
    EXPECT_FALSE(copy.IsEmpty());
    EXPECT_EQ(copy.HotSpot(), QPoint(3, 2));
    EXPECT_TRUE(SameVisible(copy.Image(), g.Image()));
    TImageGraphic raster;
    g.CopyInto(raster);
    EXPECT_TRUE(raster.Image().hasAlphaChannel());
    EXPECT_TRUE(SameVisible(raster.Image(), g.Image()));

    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    g.SetWidth(32);
    g.SetWidth(32);
    g.SetHeight(32);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(g.NominalWidth(), 32);
    EXPECT_EQ(QSize(g.Width(), g.Height()), QSize(24, 20)); // the picture keeps its size
}

TEST(Cur, OpensThroughTheContainerAndTheCommandLine) {
    TPictureEx picture;
    picture.LoadFromFileName(CurPath(QStringLiteral("arrow.cur")));
    ASSERT_TRUE(picture.Graphic());
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TCursorGraphic"));
    EXPECT_EQ(picture.Width(), 24);

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("arrow.png"));
    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("convert"), CurPath(QStringLiteral("arrow.cur")), png}), 0);
    EXPECT_TRUE(SameVisible(QImage(png), QImage(CurPath(QStringLiteral("arrow.png")))));
    ASSERT_EQ(RunCli({QStringLiteral("info"), CurPath(QStringLiteral("mono.cur"))}, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("\tTCursorGraphic\t16x16\t"))) << out.toStdString();
}
