#include "RasterFixtures.h"

#include "codec/Pcx.h"
#include "codec/Sgi.h"
#include "codec/Tga.h"

#include <QFile>
#include <QProcess>

namespace {

// ImageMagick's decoding of a file we wrote (its origin applied), or a null image when it is not installed.
QImage DecodedByImageMagick(const QString& path, bool* available) {
    const QString convert = QStringLiteral("/usr/bin/convert");
    *available = QFile::exists(convert);
    if (!*available) return QImage();
    const QString png = path + QStringLiteral(".png");
    QProcess p;
    p.start(convert, {path, QStringLiteral("-auto-orient"), png});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QImage(png);
}

QImage Indexed() {
    QImage image(37, 23, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 24; ++i) table << qRgb(i * 10, 250 - i * 9, (i * 37) & 255);
    image.setColorTable(table);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) image.setPixel(x, y, uint((x / 2 + y * 3) % 24));
    return image;
}

} // namespace

// What our writers produce is read the same by an independent decoder.
TEST(RasterWriters, ImageMagickReadsWhatWeWrite) {
    const QImage rgb = MakeTestImage(37, 23).convertToFormat(QImage::Format_RGB32);
    const QImage grey = rgb.convertToFormat(QImage::Format_Grayscale8);
    struct TCase {
        const char* Name;
        QImage Image;
        QList<QPair<QString, QString>> Options;
        bool Tga;
    } cases[] = {
        {"rgb.pcx", rgb, {}, false},
        {"indexed.pcx", Indexed(), {}, false},
        {"indexed24.pcx", Indexed(), {{"bits", "24"}}, false},
        {"grey.tga", grey, {}, true},
        {"greyrle.tga", grey, {{"rle", "1"}}, true},
        {"palette.tga", Indexed(), {}, true},
        {"paletterle.tga", Indexed(), {{"rle", "1"}}, true},
        {"rgb.tga", rgb, {}, true},
        {"rgbrle.tga", rgb, {{"rle", "1"}}, true},
    };
    QTemporaryDir dir;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString path = dir.filePath(QString::fromLatin1(c.Name));
        WriteFile(path, c.Tga ? SaveBytes<TTgaGraphic>(c.Image, c.Options) : SaveBytes<TPcxGraphic>(c.Image, c.Options));
        bool available = false;
        const QImage decoded = DecodedByImageMagick(path, &available);
        ASSERT_TRUE(available) << "ImageMagick is missing (scripts/install-deps installs imagemagick)";
        EXPECT_TRUE(SamePixels(decoded, c.Image));
    }
}

// lumenor-cli converts between the formats of this library part with the save options.
TEST(RasterWriters, CommandLineConversion) {
    QTemporaryDir dir;
    const QString sgi = DataPath("sgi/imrle.sgi");
    const QImage source = LoadFile<TSGIGraphic>(sgi);
    const QString tga = dir.filePath(QStringLiteral("out.tga"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), sgi, tga, QStringLiteral("--option"), QStringLiteral("rle=1")}), 0);
    EXPECT_EQ(ReadFile(tga)[2], char(10));
    EXPECT_TRUE(SamePixels(LoadFile<TTgaGraphic>(tga), source));
    const QString pcx = dir.filePath(QStringLiteral("out.pcx"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), tga, pcx}), 0);
    EXPECT_TRUE(SamePixels(LoadFile<TPcxGraphic>(pcx), source));
    QString err;
    EXPECT_NE(RunCli({QStringLiteral("convert"), tga, pcx, QStringLiteral("--option"), QStringLiteral("bits=4")}, nullptr, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("PCX pictures are written with 8 or 24 bits per pixel, not 4"))) << err.toStdString();
}
