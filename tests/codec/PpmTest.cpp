#include "TestUtil.h"

#include "codec/Ppm.h"

#include <QBuffer>

namespace {
QImage LoadPpm(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    TPPMGraphic g;
    g.LoadFromStream(buffer);
    return g.Image();
}

QImage Reference(const QString& raw, int w, int h) {
    const QByteArray bytes = ReadFile(DataPath(QStringLiteral("pnm/") + raw));
    EXPECT_EQ(bytes.size(), w * h * 3);
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), w, h, w * 3, QImage::Format_RGB888).copy();
}

QString Message(const QByteArray& bytes) {
    try {
        LoadPpm(bytes);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("(loaded)");
}
} // namespace

TEST(Ppm, NetpbmFilesMatchPillow) {
    const QImage ging = Reference(QStringLiteral("ging.rgb.raw"), 13, 7);
    const QImage ramp = Reference(QStringLiteral("ramp.rgb.raw"), 17, 9);
    const QImage gray = Reference(QStringLiteral("gray.rgb.raw"), 11, 5);
    for (const char* f : {"ging.ppm", "ging_plain.ppm", "ging16.ppm", "ging1000.ppm"})
        EXPECT_TRUE(SamePixels(LoadPpm(ReadFile(DataPath(QStringLiteral("pnm/") + f))), ging, 1)) << f;
    for (const char* f : {"ramp.pgm", "ramp_plain.pgm", "ramp16.pgm"})
        EXPECT_TRUE(SamePixels(LoadPpm(ReadFile(DataPath(QStringLiteral("pnm/") + f))), ramp)) << f;
    for (const char* f : {"gray.pbm", "gray_plain.pbm"})
        EXPECT_TRUE(SamePixels(LoadPpm(ReadFile(DataPath(QStringLiteral("pnm/") + f))), gray)) << f;
    EXPECT_EQ(LoadPpm(ReadFile(DataPath(QStringLiteral("pnm/ramp16.pgm")))).format(), QImage::Format_Grayscale16);
}

TEST(Ppm, HeaderDetails) {
    // Comments anywhere in the header, maxval scaling, plain bits without separators.
    const QImage scaled = LoadPpm("P2 # c\n2 # w\n1\n# max\n3\n0 3\n");
    EXPECT_EQ(scaled.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(scaled.pixel(1, 0), qRgb(255, 255, 255));
    const QImage bits = LoadPpm("P1\n4 1\n0110\n");
    EXPECT_EQ(bits.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bits.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(bits.pixel(3, 0), qRgb(255, 255, 255));
}

TEST(Ppm, ErrorsAndTruncation) {
    EXPECT_EQ(Message("P7\n1 1\n"), QStringLiteral("Not a portable map file"));
    EXPECT_EQ(Message("P6\n2 2"), QStringLiteral("The portable map header is incomplete"));
    EXPECT_EQ(Message("P6\n0 2\n255\n"), QStringLiteral("Invalid picture size 0 x 2"));
    EXPECT_EQ(Message("P6\n2 2\n70000\n"), QStringLiteral("Invalid maximum value 70000"));
    EXPECT_EQ(Message("P6\n2 2\n255\n\x01\x02"), QStringLiteral("The portable map holds no pixel data"));
    EXPECT_EQ(Message("P2\n1 1\n255\nx"), QStringLiteral("Invalid portable map header"));
    // Two complete rows of three: the third row shows the background, and the graphic says so.
    const auto cut = LoadGraphic<TPPMGraphic>(QByteArray("P5\n2 3\n255\n") + QByteArray("\x01\x02\x03\x04\x05", 5));
    EXPECT_EQ(cut->Image().size(), QSize(2, 3));
    EXPECT_EQ(qGray(cut->Image().pixel(1, 1)), 4);
    EXPECT_EQ(qGray(cut->Image().pixel(0, 2)), 255);
    EXPECT_TRUE(cut->Truncated());
    EXPECT_FALSE(LoadGraphic<TPPMGraphic>(QByteArray("P5\n2 3\n255\n") + QByteArray(6, '\x01'))->Truncated());
    // A bitmap and a colour map cut short the same way.
    EXPECT_EQ(LoadPpm(QByteArray("P4\n8 2\n") + QByteArray("\xff", 1)).pixel(0, 1), qRgb(255, 255, 255));
    EXPECT_EQ(LoadPpm(QByteArray("P6\n1 2\n255\n") + QByteArray("\x10\x20\x30", 3)).pixel(0, 1), qRgb(255, 255, 255));
}

TEST(Ppm, RoundTripsRawAndPlain) {
    const QImage colour = MakeTestImage(23, 11);
    QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
    QImage mono = colour.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (bool plain : {false, true}) {
        for (const QImage& source : {colour, grey, mono}) {
            TPPMGraphic g;
            g.SetImage(source);
            g.SetSaveOption(QStringLiteral("plain"), plain ? QStringLiteral("1") : QStringLiteral("0"));
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            g.SaveToStream(out);
            EXPECT_TRUE(SamePixels(LoadPpm(out.data()), source)) << "plain=" << plain << " format=" << source.format();
        }
    }
}
