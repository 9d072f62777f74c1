#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "codec/Ppm.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPainter>

namespace {
// A drawing without pixels of its own: a red diagonal cross over the rectangle.
class TCrossGraphic : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TCrossGraphic)
public:
    void DrawTo(QPainter& canvas, const QRect& r) const override {
        canvas.setPen(Qt::red);
        canvas.drawLine(r.topLeft(), r.bottomRight());
    }
    bool IsEmpty() const override { return false; }
    int Width() const override { return 8; }
    int Height() const override { return 8; }
    void LoadFromStream(QIODevice&) override {}
};
DEFINE_GRAPHIC_CLASS(TCrossGraphic)

// A raster whose writer fails halfway.
class TFailingWriter : public TImageGraphic {
public:
    void SaveToStream(QIODevice& s) const override {
        WriteBytes(s, "partial");
        throw EWriteError();
    }
};
} // namespace

TEST(Graphic, AssignBetweenRastersAndFromDrawings) {
    TPPMGraphic a;
    a.SetImage(MakeTestImage(5, 4));
    TImageGraphic b;
    int changes = 0;
    b.OnChange = [&](TGraphic*) { ++changes; };
    b.Assign(a);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(SamePixels(b.Image(), a.Image()));

    TCrossGraphic cross;
    b.Assign(cross); // drawn at its own size on white
    EXPECT_EQ(b.Image().size(), QSize(8, 8));
    EXPECT_EQ(b.Image().pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(b.Image().pixel(6, 1), qRgb(255, 255, 255));

    try {
        cross.Assign(a);
        FAIL() << "a drawing cannot take a raster";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot assign a TPPMGraphic to a TCrossGraphic"));
    }
}

TEST(Graphic, ExactReadsRaiseReadError) {
    QByteArray bytes("abc");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    char out[4];
    EXPECT_THROW(ReadBuffer(buffer, out, 4), EReadError);
    buffer.seek(0);
    EXPECT_THROW(ReadBytes(buffer, qint64(1) << 40), EReadError); // never sized from a count alone
    TByteReader r(bytes);
    EXPECT_EQ(r.U16LE(), 0x6261);
    EXPECT_THROW(r.U16BE(), EReadError);
    EXPECT_EQ(r.Pos(), 2);
    try {
        ReadBuffer(buffer, out, 4);
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Stream read error"));
    }
}

TEST(Graphic, FailedSaveLeavesTheTargetAsItWas) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("keep.ppm"));
    WriteFile(target, "original");
    TFailingWriter g;
    g.SetImage(MakeTestImage(2, 2));
    EXPECT_THROW(g.SaveToFileName(target), EWriteError);
    EXPECT_EQ(ReadFile(target), QByteArray("original"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.ppm")});
    // A format that cannot write says so.
    TCrossGraphic cross;
    try {
        cross.SaveToFileName(target);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The TCrossGraphic format cannot be saved"));
    }
    EXPECT_EQ(ReadFile(target), QByteArray("original"));
}

TEST(Graphic, ClipboardPairAndPages) {
    TImageGraphic a(MakeTestImage(3, 3));
    QMimeData data;
    a.SaveToClipboardData(data);
    TPPMGraphic b;
    b.LoadFromClipboardData(data);
    EXPECT_TRUE(SamePixels(b.Image(), a.Image()));
    TCrossGraphic cross;
    EXPECT_THROW(cross.SaveToClipboardData(data), EInvalidGraphicOperation);
    QMimeData text;
    text.setText(QStringLiteral("x"));
    EXPECT_THROW(b.LoadFromClipboardData(text), EInvalidGraphicOperation);

    EXPECT_EQ(b.PageIndex(), 1);
    b.SetPageIndex(0);
    EXPECT_EQ(b.PageIndex(), 1);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    try {
        b.WriteMultiple(buffer, {&b, &b});
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The TPPMGraphic format does not support multiple images"));
    }
    EXPECT_THROW(b.SelectFrame(2), EInvalidGraphicOperation);
}
