#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "formats/cad/SLDimage.h"

#include <QBuffer>
#include <QMimeData>
#include <QPainter>

namespace {
QByteArray Header(int highX, int highY, int level = 2, quint16 test = 0x1234) {
    QByteArray h("AutoCAD Slide\r\n\x1a", 16);
    h += char(0);
    h += char(0x56); // type indicator
    h += char(level);
    auto u16 = [&](int v) { h += char(v & 0xFF), h += char((v >> 8) & 0xFF); };
    u16(highX);
    u16(highY);
    h += QByteArray::fromHex("e8030000"); // aspect ratio
    u16(2);
    u16(test);
    return h;
}
QByteArray Vector(int x1, int y1, int x2, int y2) {
    QByteArray r;
    for (int v : {x1, y1, x2, y2}) r += char(v & 0xFF), r += char((v >> 8) & 0xFF);
    return r;
}
QByteArray Colour(int n) { return QByteArray(1, char(n)) + char(0xFF); }
QByteArray Fill(int x, int y) {
    QByteArray r = QByteArray::fromHex("00fd");
    r += char(x & 0xFF), r += char((x >> 8) & 0xFF), r += char(y & 0xFF), r += char((y >> 8) & 0xFF);
    return r;
}
const QByteArray kEnd = QByteArray::fromHex("00fc");

QString LoadInto(Tslide& s, const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    try {
        s.LoadFromStream(b);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}
QImage Draw(const Tslide& s, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::black);
    s.DrawTo(p, QRect(0, 0, w, h));
    return image;
}
} // namespace

TEST(Slide, SizeAndZoom) {
    Tslide s;
    ASSERT_EQ(LoadInto(s, Header(639, 349) + kEnd), QString());
    EXPECT_EQ(s.Width(), 640);
    EXPECT_EQ(s.Height(), 350);
    s.SetWidth(1280);
    EXPECT_FLOAT_EQ(s.Zoom(), 2.0f);
    EXPECT_EQ(s.Height(), 700);
}

TEST(Slide, VectorsRunUpwardAndIncludeTheirEndPoint) {
    Tslide s;
    ASSERT_EQ(LoadInto(s, Header(639, 349) + Colour(1) + Vector(0, 0, 639, 349) + kEnd), QString());
    const QImage image = Draw(s, 640, 350);
    EXPECT_EQ(image.pixel(639, 1), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(320, 175), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(10, 100), qRgb(255, 255, 255));
    // Twice as wide, the same height: stretched horizontally only.
    const QImage wide = Draw(s, 1280, 350);
    EXPECT_EQ(wide.pixel(1278, 1), qRgb(255, 0, 0)); // 639 x 2
    EXPECT_EQ(wide.pixel(640, 175), qRgb(255, 0, 0));
}

TEST(Slide, CommonEndpointContinuesFromTheVectorsFromPoint) {
    // Vector (10,10)-(50,10), then a common-endpoint vector of (+20, +20) from (10,10).
    Tslide s;
    QByteArray rec = QByteArray(1, char(20)) + char(0xFE) + char(20);
    ASSERT_EQ(LoadInto(s, Header(99, 99) + Colour(3) + Vector(10, 10, 50, 10) + rec + kEnd), QString());
    const QImage image = Draw(s, 100, 100);
    EXPECT_EQ(image.pixel(30, 100 - 30), qRgb(0, 255, 0)); // on the diagonal (10,10)-(30,30)
    EXPECT_EQ(image.pixel(50, 100 - 30), qRgb(255, 255, 255));
}

TEST(Slide, SolidFillDrawsAQuadrilateral) {
    Tslide s;
    const QByteArray fill = Fill(0, 0) + Fill(10, 10) + Fill(90, 10) + Fill(90, 90) + Fill(10, 90) + Fill(0, -1);
    ASSERT_EQ(LoadInto(s, Header(99, 99) + Colour(5) + fill + kEnd), QString());
    const QImage image = Draw(s, 100, 100);
    EXPECT_EQ(image.pixel(50, 50), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(5, 50), qRgb(255, 255, 255));
}

TEST(Slide, ColourNumbers) {
    EXPECT_EQ(Tslide::ColourOf(3), TColor(0x00FF00));
    EXPECT_EQ(Tslide::ColourOf(10), FromQColor(QColor(255, 0, 0)));
    EXPECT_EQ(Tslide::ColourOf(20), FromQColor(QColor(255, 63, 0)));
    EXPECT_EQ(Tslide::ColourOf(30), FromQColor(QColor(255, 127, 0)));
    EXPECT_EQ(Tslide::ColourOf(11), FromQColor(QColor(255, 129, 129)));
    EXPECT_EQ(Tslide::ColourOf(12), FromQColor(QColor(178, 0, 0)));
    EXPECT_EQ(Tslide::ColourOf(240), FromQColor(QColor(255, 0, 63)));
    EXPECT_EQ(Tslide::ColourOf(251), FromQColor(QColor(41, 41, 41)));
}

TEST(Slide, SavingReproducesTheFileUpToItsEnd) {
    const QByteArray file = Header(199, 99) + Colour(2) + Vector(1, 2, 3, 4) + QByteArray::fromHex("05fb060708") + kEnd;
    Tslide s;
    ASSERT_EQ(LoadInto(s, file + "trailing junk"), QString());
    EXPECT_EQ(s.Records().size(), 4u);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    s.SaveToStream(out);
    EXPECT_EQ(out.data(), file);
    // Without an end record the file is read to its end; a record cut short is dropped.
    ASSERT_EQ(LoadInto(s, Header(9, 9) + Vector(1, 1, 2, 2) + QByteArray::fromHex("0102")), QString());
    EXPECT_EQ(s.Records().size(), 1u);
    // A header-only slide: no records, draws nothing, saves the header alone.
    ASSERT_EQ(LoadInto(s, Header(9, 9)), QString());
    EXPECT_TRUE(s.Records().empty());
    QBuffer only;
    only.open(QIODevice::WriteOnly);
    s.SaveToStream(only);
    EXPECT_EQ(only.data(), Header(9, 9));
}

TEST(Slide, MessagesAndAssign) {
    Tslide s;
    ASSERT_EQ(LoadInto(s, Header(9, 9) + kEnd), QString());
    EXPECT_EQ(LoadInto(s, "AutoCAD Slidf" + Header(9, 9).mid(13)), QStringLiteral("Invalid slide file"));
    EXPECT_EQ(LoadInto(s, Header(9, 9, 1)), QStringLiteral("unsupported level 1 slide"));
    EXPECT_EQ(LoadInto(s, Header(9, 9, 2, 0x3412)), QStringLiteral("SLD file not from an Intel-based machine"));
    EXPECT_EQ(LoadInto(s, Header(9, 9).left(20)), QStringLiteral("Stream read error"));
    EXPECT_FALSE(s.IsEmpty()); // a failed load keeps the slide
    EXPECT_EQ(s.Width(), 10);
    // An undefined record kind does not stall the reader.
    ASSERT_EQ(LoadInto(s, Header(9, 9) + QByteArray::fromHex("0090") + Vector(1, 1, 2, 2)), QString());
    EXPECT_TRUE(s.Records().empty());

    Tslide copy;
    copy.Assign(s);
    EXPECT_EQ(copy.Width(), 10);
    TImageGraphic raster(MakeTestImage(2, 2));
    try {
        copy.Assign(raster);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Tslide.Assign can only assign from other Tslide's"));
    }
    QMimeData data;
    EXPECT_THROW(copy.SaveToClipboardData(data), EInvalidGraphicOperation);
}
