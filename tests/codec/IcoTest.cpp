#include "TestUtil.h"

#include "codec/Bmp.h"
#include "codec/Ico.h"
#include "codec/Registry.h"

#include <QBuffer>
#include <QTemporaryDir>

namespace {

std::unique_ptr<TIcon> LoadIcon(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromStream(buffer);
    return icon;
}

QString ErrorOf(const QByteArray& bytes) {
    try {
        LoadIcon(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}


// Pixels equal as non-premultiplied RGBA, where any two fully transparent pixels count as equal (the
// colour under alpha 0 carries no meaning and tools differ in what they keep there).
::testing::AssertionResult SameVisiblePixels(const QImage& actual, const QImage& expected, int tolerance = 0) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << " != "
                                             << expected.width() << "x" << expected.height();
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = e.pixel(x, y);
            if (qAlpha(p) == 0 && qAlpha(q) == 0) continue;
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (d > tolerance)
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << "): " << std::hex << p
                                                     << " != " << q;
        }
    return ::testing::AssertionSuccess();
}

QImage Reference(const QString& name) {
    QImage image(DataPath(name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image;
}

} // namespace

TEST(Ico, EveryImageMatchesImageMagicksDecoding) {
    // 32-bit images written by ImageMagick.
    auto multi = LoadIcon(ReadFile(DataPath("ico/multi.ico")));
    ASSERT_EQ(multi->Entries().size(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(SameVisiblePixels(multi->Entries()[i].Image, Reference(QStringLiteral("ico/multi-%1.png").arg(i))));
    EXPECT_EQ(multi->ShownEntry(), 0);
    EXPECT_EQ(multi->Image().size(), QSize(32, 32));
    EXPECT_TRUE(multi->Transparent());

    // 1, 4, 8 and 24 bits with AND masks, and a PNG image.
    auto depths = LoadIcon(ReadFile(DataPath("ico/depths.ico")));
    ASSERT_EQ(depths->Entries().size(), 5);
    const int bits[] = {1, 4, 8, 24, 32};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const TIconEntry& e = depths->Entries()[i];
        EXPECT_EQ(e.BitCount, bits[i]);
        EXPECT_EQ(e.Png, i == 4);
        EXPECT_TRUE(SameVisiblePixels(e.Image, Reference(QStringLiteral("ico/depths-%1.png").arg(i))));
    }
    // The largest image is shown: the 48 x 40 PNG.
    EXPECT_EQ(depths->ShownEntry(), 4);
    EXPECT_TRUE(SameVisiblePixels(depths->Image(), Reference("ico/depths-4.png")));
    EXPECT_EQ(GraphicClassByExtension("ico"), TIcon::StaticClass());
}

TEST(Ico, LargestAreaThenDeepestIsShown) {
    auto entry = [](int w, int h, int bits) {
        TIconEntry e;
        e.Image = QImage(w, h, QImage::Format_ARGB32);
        e.BitCount = bits;
        return e;
    };
    EXPECT_EQ(LargestIconEntry({entry(16, 16, 32), entry(32, 32, 4), entry(32, 32, 8), entry(24, 24, 32)}), 2);
    EXPECT_EQ(LargestIconEntry({entry(16, 64, 8), entry(32, 32, 24), entry(32, 32, 24)}), 1);
    EXPECT_EQ(LargestIconEntry({entry(48, 48, 1), entry(32, 32, 32)}), 0);
}

TEST(Ico, WriterRoundTrips) {
    TIcon icon;
    QImage alpha = MakeTestImage(40, 30, true);
    alpha.setPixel(3, 0, qRgba(10, 20, 30, 0));
    alpha.setPixel(4, 0, qRgba(10, 20, 30, 100));
    alpha.setPixel(5, 0, qRgba(10, 20, 30, 128));
    icon.SetImage(alpha);
    QByteArray file = Save(icon);
    // One 32-bit image with a mask: 6 + 16 + 40 + 40*30*4 + 30 rows of 8 mask bytes.
    ASSERT_EQ(file.size(), 6 + 16 + 40 + 40 * 30 * 4 + 30 * 8);
    EXPECT_EQ(U16(file, 2), 1);
    EXPECT_EQ(U16(file, 4), 1);
    EXPECT_EQ(uchar(file[6]), 40);
    EXPECT_EQ(uchar(file[7]), 30);
    EXPECT_EQ(U16(file, 12), 32);
    EXPECT_EQ(U32(file, 22 + 8), 60u); // the image's height counts the mask rows
    // The mask is set where alpha is below 128; the top row is stored last.
    const int maskStart = 22 + 40 + 40 * 30 * 4;
    EXPECT_EQ(uchar(file[maskStart + 29 * 8]), 0x18);
    EXPECT_EQ(uchar(file[maskStart]), 0);
    auto back = LoadIcon(file);
    EXPECT_TRUE(SamePixels(back->Image(), alpha));
    // An opaque picture stays opaque; the mask agrees with alpha for programs that only read the mask.
    const QImage opaque = MakeTestImage(17, 5);
    icon.SetImage(opaque);
    file = Save(icon);
    EXPECT_TRUE(SamePixels(LoadIcon(file)->Image(), opaque));
    for (int i = 22 + 40 + 17 * 5 * 4; i < file.size(); ++i) EXPECT_EQ(file[i], '\0');

    // Larger pictures are scaled to fit 256 x 256, keeping the aspect ratio; 256 is stored as 0.
    icon.SetImage(MakeTestImage(600, 300));
    file = Save(icon);
    EXPECT_EQ(uchar(file[6]), 0);
    EXPECT_EQ(uchar(file[7]), 128);
    EXPECT_EQ(LoadIcon(file)->Image().size(), QSize(256, 128));
    icon.SetImage(MakeTestImage(1000, 3));
    EXPECT_EQ(LoadIcon(Save(icon))->Image().size(), QSize(256, 1));
    icon.SetImage(MakeTestImage(300, 700));
    EXPECT_EQ(LoadIcon(Save(icon))->Image().size(), QSize(110, 256));

    TIcon empty;
    EXPECT_THROW(Save(empty), EInvalidGraphicOperation);
}

TEST(Ico, AssignFromBitmapAndBack) {
    TBitmap bmp;
    bmp.LoadFromFileName(DataPath("bmp/p8.bmp"));
    TIcon icon;
    icon.Assign(bmp);
    EXPECT_TRUE(icon.Entries().isEmpty());
    auto back = LoadIcon(Save(icon));
    EXPECT_TRUE(SamePixels(back->Image(), bmp.Image()));
    TIcon copy;
    copy.Assign(*back);
    EXPECT_EQ(copy.Entries().size(), 1);
}

TEST(Ico, TruncatedFilesGiveFewerImagesOrClearErrors) {
    for (const char* name : {"ico/multi.ico", "ico/depths.ico"}) {
        const QByteArray whole = ReadFile(DataPath(name));
        const auto full = LoadIcon(whole);
        for (const double fraction : {0.0, 0.01, 0.05, 0.2, 0.5, 0.7, 0.9, 0.99}) {
            const int cut = int(whole.size() * fraction);
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            std::unique_ptr<TIcon> part;
            try {
                part = LoadIcon(whole.left(cut));
            } catch (const EInvalidGraphic& e) {
                EXPECT_FALSE(e.Message().isEmpty());
                continue;
            }
            ASSERT_FALSE(part->Image().isNull());
            EXPECT_LE(part->Entries().size(), full->Entries().size());
            // Images before the cut are whole.
            for (const TIconEntry& e : part->Entries())
                EXPECT_LE(qint64(e.Image.width()) * e.Image.height(), qint64(48) * 48);
        }
    }
    // A cut inside a bitmap image gives its lower rows (the rows stored first) and transparent rows above
    // them, at the image's size.
    const QByteArray whole = ReadFile(DataPath("ico/multi.ico"));
    const quint32 offset = U32(whole, 6 + 12), size = U32(whole, 6 + 8);
    const auto part = LoadIcon(whole.left(int(offset + size / 2)));
    ASSERT_EQ(part->Entries().size(), 1);
    EXPECT_TRUE(part->Truncated());
    EXPECT_FALSE(LoadIcon(whole)->Truncated());
    const QImage image = part->Entries()[0].Image;
    ASSERT_EQ(image.size(), QSize(32, 32));
    const int rows = int((size / 2 - 40) / (32 * 4)); // whole 32-bit rows after the 40-byte header
    ASSERT_GT(rows, 0);
    ASSERT_LT(rows, 32);
    EXPECT_TRUE(SameVisiblePixels(image.copy(0, 32 - rows, 32, rows), Reference("ico/multi-0.png").copy(0, 32 - rows, 32, rows)));
    QImage clear(32, 32 - rows, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_TRUE(SamePixels(image.copy(0, 0, 32, 32 - rows), clear));
}

TEST(Ico, MalformedFilesGiveExactMessages) {
    EXPECT_EQ(ErrorOf("\0\0\1"), "The icon directory is incomplete");
    EXPECT_EQ(ErrorOf(QByteArray("\0\0\3\0\1\0", 6)), "Not a Windows icon file");
    EXPECT_EQ(ErrorOf(QByteArray("\1\0\1\0\1\0", 6)), "Not a Windows icon file");
    EXPECT_EQ(ErrorOf(QByteArray("\0\0\1\0\0\0", 6)), "The file holds no images");
    EXPECT_EQ(ErrorOf(QByteArray("\0\0\1\0\2\0", 6) + QByteArray(20, '\0')), "The icon directory is incomplete");

    // One good image (2 x 2, 32 bits) and one that points outside the file.
    QByteArray good;
    Put32(good, 40), Put32(good, 2), Put32(good, 4), Put16(good, 1), Put16(good, 32);
    good += QByteArray(24, '\0');
    for (int i = 0; i < 4; ++i) Put32(good, 0xFF102030);
    good += QByteArray(8, '\0');
    QByteArray file("\0\0\1\0\2\0", 6);
    auto dirEntry = [&](quint32 size, quint32 offset) {
        file += QByteArray("\2\2\0\0\1\0\x20\0", 8);
        Put32(file, size);
        Put32(file, offset);
    };
    dirEntry(quint32(good.size()), 6 + 32);
    dirEntry(100, 5000);
    auto icon = LoadIcon(file + good);
    ASSERT_EQ(icon->Entries().size(), 1);
    EXPECT_EQ(icon->Image().pixel(1, 1), 0xFF102030u);
    // The file ends before the second image: it says it was cut short.
    EXPECT_TRUE(icon->Truncated());

    // Only bad images: the first one's reason.
    QByteArray bad("\0\0\1\0\2\0", 6);
    bad += QByteArray("\2\2\0\0\1\0\x20\0", 8);
    Put32(bad, 100), Put32(bad, 3);
    bad += QByteArray("\2\2\0\0\1\0\x20\0", 8);
    Put32(bad, 8), Put32(bad, 38);
    QByteArray badHeader;
    Put32(badHeader, 40), Put32(badHeader, 2), Put32(badHeader, 4), Put16(badHeader, 1), Put16(badHeader, 5);
    EXPECT_EQ(ErrorOf(bad + badHeader), "Invalid offset or size of image 1");
    bad.replace(6 + 12, 4, QByteArray("\x26\0\0\0", 4));
    EXPECT_EQ(ErrorOf(bad + badHeader + QByteArray(40, '\0')), "Invalid bit count (5)");
    // A top-down image cannot hold colour rows and mask rows.
    badHeader.replace(8, 4, QByteArray("\xFE\xFF\xFF\xFF", 4));
    badHeader.replace(14, 2, QByteArray("\x20\0", 2));
    EXPECT_EQ(ErrorOf(bad + badHeader + QByteArray(40, '\0')), "Invalid icon image height (2)");
    // A PNG image whose header is cut.
    QByteArray png("\0\0\1\0\1\0", 6);
    png += QByteArray("\2\2\0\0\1\0\x20\0", 8);
    Put32(png, 12), Put32(png, 22);
    png += QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12);
    EXPECT_EQ(ErrorOf(png), "The icon's PNG image is incomplete");
}

TEST(Ico, CommandLineConvertsToAndFromIcons) {
    QTemporaryDir dir;
    QString out;
    ASSERT_EQ(RunCli({"info", DataPath("ico/depths.ico")}, &out), 0);
    EXPECT_EQ(out, DataPath("ico/depths.ico") + "\tTIcon\t48x40\tpages=1\tframes=1\n");
    const QString ico = dir.filePath("x.ico"), bmp = dir.filePath("x.bmp");
    ASSERT_EQ(RunCli({"convert", DataPath("bmp/t24.bmp"), ico}), 0);
    TIcon icon;
    icon.LoadFromFileName(ico);
    EXPECT_TRUE(SamePixels(icon.Image(), Reference("bmp/t24.png")));
    ASSERT_EQ(RunCli({"convert", DataPath("ico/multi.ico"), bmp}), 0);
    TBitmap flat;
    flat.LoadFromFileName(bmp);
    EXPECT_EQ(flat.Image().size(), QSize(32, 32));
    EXPECT_FALSE(flat.Image().hasAlphaChannel());
}
