#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/Ppm.h"
#include "codec/Registry.h"
#include "formats/raster/WBMP.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>

namespace {

QByteArray Save(const TWBitmap& g) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return bytes;
}

std::unique_ptr<TWBitmap> Load(const QByteArray& bytes) { return LoadGraphic<TWBitmap>(bytes); }

QString LoadError(const QByteArray& bytes) {
    try {
        Load(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(loaded)");
}

std::unique_ptr<TWBitmap> FromImage(const QImage& image) {
    auto w = std::make_unique<TWBitmap>();
    TImageGraphic source(image);
    w->Assign(source);
    return w;
}

bool IsWhite(const QImage& image, int x, int y) {
    return image.pixel(x, y) == qRgb(255, 255, 255);
}

// A black and white picture with an irregular pattern, so that misplaced bits show.
QImage BlackAndWhite(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, ((x * 7 + y * 3) % 5 < 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

} // namespace

TEST(Wbmp, IntegerEncodingUsesOneOrTwoBytes) {
    EXPECT_EQ(TWBitmap::EncodeInteger(0), QByteArray("\x00", 1));
    EXPECT_EQ(TWBitmap::EncodeInteger(127), QByteArray("\x7f"));
    EXPECT_EQ(TWBitmap::EncodeInteger(128), QByteArray("\x81\x00", 2));
    EXPECT_EQ(TWBitmap::EncodeInteger(200), QByteArray("\x81\x48"));
    EXPECT_EQ(TWBitmap::EncodeInteger(16383), QByteArray("\xff\x7f"));
}

TEST(Wbmp, OnePixelPictureIsFiveBytes) {
    QImage white(1, 1, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(Save(*FromImage(white)), QByteArray("\x00\x00\x01\x01\x80", 5));
    white.fill(Qt::black);
    EXPECT_EQ(Save(*FromImage(white)), QByteArray("\x00\x00\x01\x01\x00", 5));
}

TEST(Wbmp, RoundTripKeepsBlackAndWhitePixels) {
    for (const QSize size : {QSize(1, 1), QSize(8, 3), QSize(13, 7), QSize(200, 130), QSize(3000, 2)}) {
        const QImage image = BlackAndWhite(size.width(), size.height());
        const QByteArray bytes = Save(*FromImage(image));
        const qint64 header =
            2 + TWBitmap::EncodeInteger(size.width()).size() + TWBitmap::EncodeInteger(size.height()).size();
        EXPECT_EQ(bytes.size(), header + qint64(size.height()) * ((size.width() + 7) / 8)) << size.width();
        auto back = Load(bytes);
        EXPECT_FALSE(back->IsEmpty());
        EXPECT_EQ(back->Width(), size.width());
        EXPECT_EQ(back->Height(), size.height());
        EXPECT_EQ(back->Bitmap().format(), QImage::Format_Mono);
        EXPECT_TRUE(SamePixels(back->ToImage(), image)) << size.width() << "x" << size.height();
    }
}

TEST(Wbmp, TwoByteWidthIsReadAsWritten) {
    // Width 200 (0x81 0x48), height 2; rows of 25 bytes; the first row white, the second black but its
    // last byte 0x01 (rightmost pixel white).
    QByteArray bytes("\x00\x00\x81\x48\x02", 5);
    bytes += QByteArray(25, '\xff');
    bytes += QByteArray(24, '\0');
    bytes += '\x01';
    auto g = Load(bytes);
    ASSERT_EQ(g->Width(), 200);
    ASSERT_EQ(g->Height(), 2);
    const QImage image = g->ToImage();
    EXPECT_TRUE(IsWhite(image, 0, 0));
    EXPECT_TRUE(IsWhite(image, 199, 0));
    EXPECT_FALSE(IsWhite(image, 198, 1));
    EXPECT_TRUE(IsWhite(image, 199, 1));
    // A first byte of exactly 128 is the value 128 on its own.
    QByteArray wide("\x00\x00\x80\x01", 4);
    wide += QByteArray(16, '\xff');
    EXPECT_EQ(Load(wide)->Width(), 128);
}

TEST(Wbmp, MalformedHeadersAreRefusedWithTheirMessages) {
    EXPECT_EQ(LoadError(QByteArray("\x01\x00\x01\x01\x00", 5)),
              QStringLiteral("Cannot load image. Invalid or unexpected WBMP image format."));
    EXPECT_EQ(LoadError(QByteArray("\x00\x00\x00\x01\x00", 5)), QStringLiteral("Invalid image parameters."));
    EXPECT_EQ(LoadError(QByteArray("\x00\x00\x01\x00\x00", 5)), QStringLiteral("Invalid image parameters."));
    EXPECT_EQ(LoadError(QByteArray()), QStringLiteral("The WBMP header is incomplete."));
    EXPECT_EQ(LoadError(QByteArray("\x00\x00\x85", 3)), QStringLiteral("The WBMP header is incomplete."));
    // 16383 x 16383 exceeds a small pixel limit before any allocation.
    const qint64 limit = PixelLimit();
    SetPixelLimit(1 << 20);
    EXPECT_NE(LoadError(QByteArray("\x00\x00\xff\x7f\xff\x7f", 6)), QStringLiteral("(loaded)"));
    SetPixelLimit(limit);
}

TEST(Wbmp, TruncatedDataKeepsTheRowsRead) {
    QByteArray bytes("\x00\x00\x10\x04", 4); // 16 x 4
    bytes += QByteArray(4, '\0');            // two black rows
    bytes += '\0';                           // half a row
    auto g = Load(bytes);
    ASSERT_EQ(g->Height(), 4);
    EXPECT_TRUE(g->Truncated());
    const QImage image = g->ToImage();
    EXPECT_FALSE(IsWhite(image, 15, 1));
    // The rows that did not arrive whole show the background.
    for (int y : {2, 3}) EXPECT_TRUE(IsWhite(image, 0, y) && IsWhite(image, 15, y)) << y;
    bytes += '\0';
    bytes += QByteArray(2, '\0');
    EXPECT_FALSE(Load(bytes)->Truncated());
}

TEST(Wbmp, ProgressRunsFromStartToEnd) {
    QByteArray bytes("\x00\x00\x08\x04", 4);
    bytes += QByteArray(4, '\x0f');
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TWBitmap g;
    QList<int> stages, percents;
    QList<QRect> rects;
    g.OnProgress = [&](TGraphic*, TProgressStage s, quint8 p, bool, const QRect& r, const QString&) {
        stages << int(s);
        percents << p;
        rects << r;
    };
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    g.LoadFromStream(buffer);
    EXPECT_EQ(stages, (QList<int>{0, 1, 1, 1, 1, 2}));
    EXPECT_EQ(percents, (QList<int>{0, 0, 25, 50, 75, 100}));
    EXPECT_EQ(rects[3], QRect(0, 2, 8, 1));
    EXPECT_EQ(changes, 1);
}

TEST(Wbmp, GreyLevelsFollowTheOrderedPattern) {
    // Mid-grey (s = 384): a checkerboard, white where exactly one of x and y is odd.
    QImage grey(4, 4, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    std::unique_ptr<TWBitmap> w = FromImage(grey);
    auto back = Load(Save(*w));
    const QImage image = back->ToImage();
    EXPECT_TRUE(IsWhite(image, 0, 1));
    EXPECT_FALSE(IsWhite(image, 0, 0));
    EXPECT_TRUE(IsWhite(image, 1, 0));
    EXPECT_FALSE(IsWhite(image, 1, 1));
    // Saving leaves the held picture at 32 bits per pixel.
    EXPECT_EQ(w->Bitmap().format(), QImage::Format_RGB32);

    // Every band boundary of the table.
    EXPECT_TRUE(TWBitmap::PatternIsWhite(661, 0, 1));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(660, 0, 1));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(660, 1, 1));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(586, 0, 0));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(585, 0, 0));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(481, 0, 1));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(480, 1, 1));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(376, 1, 0));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(375, 1, 0));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(271, 1, 2));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(270, 1, 2));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(181, 4, 8));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(180, 4, 8));
    EXPECT_TRUE(TWBitmap::PatternIsWhite(61, 6, 8));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(60, 6, 8));
    EXPECT_FALSE(TWBitmap::PatternIsWhite(0, 1, 3));
}

TEST(Wbmp, SavingRefusesEmptyAndOversizedPictures) {
    TWBitmap empty;
    try {
        Save(empty);
        ADD_FAILURE() << "saved an empty picture";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid image paremeters"));
    }
    QImage wide(16384, 1, QImage::Format_RGB32);
    wide.fill(Qt::white);
    std::unique_ptr<TWBitmap> w = FromImage(wide);
    EXPECT_THROW(Save(*w), EInvalidGraphic);
}

TEST(Wbmp, RegisteredAndConvertedByTheCommandLine) {
    EXPECT_EQ(GraphicClassByExtension(QStringLiteral("wbmp")), TWBitmap::StaticClass());
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("in.ppm"));
    const QString wbmp = dir.filePath(QStringLiteral("out.wbmp"));
    const QString back = dir.filePath(QStringLiteral("back.ppm"));
    const QImage image = BlackAndWhite(37, 11);
    QByteArray p6 = "P6\n37 11\n255\n";
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 37; ++x)
            p6 += QByteArray(3, char(qRed(image.pixel(x, y))));
    WriteFile(ppm, p6);
    QString out, err;
    ASSERT_EQ(RunCli({QStringLiteral("convert"), ppm, wbmp}, &out, &err), 0) << err.toStdString();
    ASSERT_EQ(RunCli({QStringLiteral("info"), wbmp}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, wbmp + QStringLiteral("\tTWBitmap\t37x11\tpages=1\tframes=1\n"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), wbmp, back}, &out, &err), 0) << err.toStdString();
    TPPMGraphic converted;
    converted.LoadFromFileName(back);
    EXPECT_TRUE(SamePixels(converted.ToImage(), image));
    EXPECT_TRUE(SamePixels(Load(ReadFile(wbmp))->ToImage(), image));
}

TEST(Wbmp, FileFromNetpbmMatchesItsPortableBitmap) {
    std::unique_ptr<TWBitmap> wbmp = Load(ReadFile(DataPath(QStringLiteral("wbmp/shapes.wbmp"))));
    TPPMGraphic reference;
    reference.LoadFromFileName(DataPath(QStringLiteral("wbmp/shapes.pbm")));
    ASSERT_EQ(wbmp->Width(), 150);
    ASSERT_EQ(wbmp->Height(), 40);
    EXPECT_TRUE(SamePixels(wbmp->ToImage(), reference.ToImage()));
    // And what we write from it is byte for byte what netpbm wrote.
    TWBitmap copy;
    copy.Assign(reference);
    EXPECT_EQ(Save(copy), ReadFile(DataPath(QStringLiteral("wbmp/shapes.wbmp"))));
}
