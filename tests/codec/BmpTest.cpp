#include "TestUtil.h"

#include "codec/Bmp.h"
#include "codec/Limits.h"
#include "codec/Ppm.h"
#include "codec/Registry.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>

#include <limits>

namespace {

std::unique_ptr<TBitmap> LoadBmp(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    auto bmp = std::make_unique<TBitmap>();
    bmp->LoadFromStream(buffer);
    return bmp;
}

QImage Decode(const QByteArray& bytes) { return LoadBmp(bytes)->Image(); }

QString ErrorOf(const QByteArray& bytes) {
    try {
        LoadBmp(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}


// A bitmap file with a header of headerSize bytes (40-byte layout, zero-padded), then `tail` (masks,
// palette, pixels). offBits defaults to the end of the header.
QByteArray MakeBmp(quint32 headerSize, qint32 w, qint32 h, quint16 planes, quint16 bits, quint32 compression,
                   quint32 colorsUsed = 0, const QByteArray& tail = QByteArray(), qint64 offBits = -1) {
    QByteArray header;
    Put32(header, headerSize);
    Put32(header, quint32(w));
    Put32(header, quint32(h));
    Put16(header, planes);
    Put16(header, bits);
    Put32(header, compression);
    Put32(header, 0);
    Put32(header, 0);
    Put32(header, 0);
    Put32(header, colorsUsed);
    Put32(header, 0);
    header.resize(headerSize, '\0');
    QByteArray file("BM");
    Put32(file, quint32(14 + header.size() + tail.size()));
    Put32(file, 0);
    Put32(file, quint32(offBits >= 0 ? offBits : 14 + headerSize));
    return file + header + tail;
}

QImage Reference(const QString& name) {
    QImage image(DataPath(name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image;
}

const char* const kImageMagickFiles[] = {"t24", "p8", "p4", "m1", "r8", "o8", "o24", "s565", "s555", "v5_24", "a32"};

} // namespace

TEST(Bmp, ImageMagickFilesMatchItsDecoding) {
    for (const char* name : kImageMagickFiles) {
        SCOPED_TRACE(name);
        const QImage image = Decode(ReadFile(DataPath(QStringLiteral("bmp/%1.bmp").arg(name))));
        EXPECT_TRUE(SamePixels(image, Reference(QStringLiteral("bmp/%1.png").arg(name))));
    }
    // Indexed data stays indexed; only the 32-bit file with alpha has an alpha channel.
    EXPECT_EQ(Decode(ReadFile(DataPath("bmp/m1.bmp"))).format(), QImage::Format_Mono);
    EXPECT_EQ(Decode(ReadFile(DataPath("bmp/p4.bmp"))).format(), QImage::Format_Indexed8);
    EXPECT_LE(Decode(ReadFile(DataPath("bmp/p4.bmp"))).colorCount(), 16);
    EXPECT_EQ(Decode(ReadFile(DataPath("bmp/r8.bmp"))).format(), QImage::Format_Indexed8);
    EXPECT_EQ(Decode(ReadFile(DataPath("bmp/t24.bmp"))).format(), QImage::Format_RGB32);
    EXPECT_TRUE(Decode(ReadFile(DataPath("bmp/a32.bmp"))).hasAlphaChannel());
    EXPECT_FALSE(Decode(ReadFile(DataPath("bmp/s565.bmp"))).hasAlphaChannel());
}

TEST(Bmp, PackedVariantsMatchTheirReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"bmp/td24.bmp", "bmp/t24.png"},   // top-down
        {"bmp/t24.dib", "bmp/t24.png"},    // no file header
        {"bmp/bf32.bmp", "bmp/t24.png"},   // 32-bit bit fields after a 40-byte header
        {"bmp/bf16.bmp", "bmp/bf16.ppm"},  // 4 bits a channel in a 56-byte header
        {"bmp/os2v2.bmp", "bmp/p8.png"},   // OS/2 2.x header
        {"bmp/rle4.bmp", "bmp/rle4.ppm"},  // deltas, end of line, clipped runs
        {"bmp/rle8.bmp", "bmp/rle8.ppm"},
    };
    for (const auto& [file, reference] : cases) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(SamePixels(Decode(ReadFile(DataPath(file))), Reference(reference)));
    }
}

// Pictures with an embedded ICC profile are converted to sRGB (compared with LittleCMS through ImageMagick).
TEST(Bmp, EmbeddedProfilesAreConvertedToSrgb) {
    for (const char* name : {"icc24", "icc8"}) {
        SCOPED_TRACE(name);
        const QImage image = Decode(ReadFile(DataPath(QStringLiteral("bmp/%1.bmp").arg(name))));
        EXPECT_TRUE(SamePixels(image, Reference(QStringLiteral("bmp/%1.png").arg(name)), 2));
        // Without the conversion the pixels would be far off.
        EXPECT_FALSE(SamePixels(image, Reference("bmp/src.png"), 8));
    }
}

TEST(Bmp, ExtensionsOfTheTableOpenAsBitmaps) {
    for (const char* ext : {"BMP", "rle", "Dib"}) EXPECT_EQ(GraphicClassByExtension(ext), TBitmap::StaticClass()) << ext;
    EXPECT_EQ(FindGraphicClass("TBitmap"), TBitmap::StaticClass());
}

TEST(Bmp, RoundTripsEveryWriterMode) {
    TBitmap bmp;
    // True colour: 24 bits.
    const QImage colour = MakeTestImage(41, 17);
    bmp.SetImage(colour);
    QByteArray file = Save(bmp);
    EXPECT_EQ(U16(file, 28), 24);
    EXPECT_EQ(U32(file, 10), 54u);
    EXPECT_EQ(file.size(), 54 + 17 * 124); // rows of 123 bytes padded to 124
    EXPECT_TRUE(SamePixels(Decode(file), colour));

    // Indexed pictures: the smallest depth that holds the palette.
    for (const int colours : {2, 16, 17, 256}) {
        SCOPED_TRACE(colours);
        QImage indexed(23, 9, QImage::Format_Indexed8);
        QVector<QRgb> table;
        for (int i = 0; i < colours; ++i) table.append(qRgb(i, 255 - i, (i * 37) & 255));
        indexed.setColorTable(table);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 23; ++x) indexed.setPixel(x, y, uint((x * 7 + y * 3) % colours));
        bmp.SetImage(indexed);
        file = Save(bmp);
        EXPECT_EQ(U16(file, 28), colours <= 2 ? 1 : colours <= 16 ? 4 : 8);
        EXPECT_EQ(U32(file, 46), quint32(colours));
        const QImage back = Decode(file);
        EXPECT_EQ(back.colorTable(), table);
        EXPECT_TRUE(SamePixels(back, indexed));
    }

    // Monochrome and grey.
    QImage mono(19, 5, QImage::Format_Mono);
    mono.setColorTable({qRgb(10, 20, 30), qRgb(200, 210, 220)});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 19; ++x) mono.setPixel(x, y, uint((x + y) % 3 == 0));
    bmp.SetImage(mono);
    file = Save(bmp);
    EXPECT_EQ(U16(file, 28), 1);
    EXPECT_TRUE(SamePixels(Decode(file), mono));
    QImage grey = MakeTestImage(30, 12).convertToFormat(QImage::Format_Grayscale8);
    bmp.SetImage(grey);
    file = Save(bmp);
    EXPECT_EQ(U16(file, 28), 8);
    EXPECT_TRUE(SamePixels(Decode(file), grey));

    // Transparency has no place in these files: the picture is written as it shows on white.
    const QImage alpha = MakeTestImage(20, 20, true);
    bmp.SetImage(alpha);
    file = Save(bmp);
    EXPECT_EQ(U16(file, 28), 24);
    QImage onWhite(20, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const QRgb c = alpha.pixel(x, y);
            const int a = qAlpha(c);
            auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
            onWhite.setPixel(x, y, qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c))));
        }
    EXPECT_TRUE(SamePixels(Decode(file), onWhite, 1));

    TBitmap empty;
    EXPECT_THROW(Save(empty), EInvalidGraphicOperation);
}

TEST(Bmp, AssignTakesAnyGraphic) {
    TPPMGraphic ppm;
    ppm.LoadFromFileName(DataPath("bmp/rle8.ppm"));
    TBitmap bmp;
    int changes = 0;
    bmp.OnChange = [&](TGraphic*) { ++changes; };
    bmp.Assign(ppm);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(SamePixels(Decode(Save(bmp)), ppm.Image()));

    // A graphic that only draws (as drawings and plots do) is rendered at its own size.
    class TDrawing : public TGraphic {
    public:
        TGraphicClass ClassType() const override { return TImageGraphic::StaticClass(); }
        void DrawTo(QPainter& canvas, const QRect& rect) const override { canvas.fillRect(rect, QColor(10, 120, 230)); }
        bool IsEmpty() const override { return false; }
        int Width() const override { return 7; }
        int Height() const override { return 3; }
        void LoadFromStream(QIODevice&) override {}
    } drawing;
    bmp.Assign(drawing);
    QImage blue(7, 3, QImage::Format_RGB32);
    blue.fill(QColor(10, 120, 230));
    EXPECT_TRUE(SamePixels(Decode(Save(bmp)), blue));
}

// Every fixture cut at several points gives either a clear error or a picture of its full size with the
// rows it still holds (the bottom rows of a bottom-up file, the top rows of a top-down one) and the
// background elsewhere, and says that it was truncated.
TEST(Bmp, TruncatedFilesKeepTheirSizeWithTheRowsTheyHold) {
    const QStringList names = {"t24.bmp", "p8.bmp", "p4.bmp", "m1.bmp", "r8.bmp", "o8.bmp", "o24.bmp", "s565.bmp",
                               "a32.bmp", "td24.bmp", "t24.dib", "bf32.bmp", "os2v2.bmp", "rle4.bmp", "rle8.bmp"};
    const QStringList messages = {"The bitmap header is incomplete", "The bitmap holds no pixel data",
                                  "Not a Windows bitmap file"};
    for (const QString& name : names) {
        const QByteArray whole = ReadFile(DataPath("bmp/" + name));
        const auto full = LoadBmp(whole);
        EXPECT_FALSE(full->Truncated()) << name.toStdString();
        const bool compressed = name.startsWith(QLatin1String("r"));
        const bool topDown = name.startsWith(QLatin1String("td"));
        int loaded = 0;
        for (const double fraction : {0.0, 0.05, 0.2, 0.5, 0.8, 0.97}) {
            const int cut = int(whole.size() * fraction);
            SCOPED_TRACE((name + " cut at " + QString::number(cut)).toStdString());
            std::unique_ptr<TBitmap> part;
            try {
                part = LoadBmp(whole.left(cut));
            } catch (const EInvalidGraphic& e) {
                EXPECT_TRUE(messages.contains(e.Message())) << e.Message().toStdString();
                continue;
            }
            ++loaded;
            int arrived = 0;
            // The last row reached by compressed data may be incomplete.
            EXPECT_TRUE(ArrivedRowsMatch(part->Image(), full->Image(), topDown, &arrived, compressed ? 1 : 0));
            EXPECT_LT(arrived, full->Height());
            EXPECT_TRUE(part->Truncated());
        }
        EXPECT_GT(loaded, 0) << name.toStdString();
    }
    // A cut inside the last row of a picture of two: one row and the background above it.
    const QByteArray file = MakeBmp(40, 2, 2, 1, 24, 0, 0, QByteArray::fromHex("0000ff00ff000000ff000000ff000000"));
    const auto half = LoadBmp(file.left(file.size() - 4));
    ASSERT_EQ(half->Image().size(), QSize(2, 2));
    EXPECT_EQ(half->Image().pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(half->Image().pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(half->Truncated());
    EXPECT_FALSE(LoadBmp(file)->Truncated());
}

TEST(Bmp, MalformedHeadersGiveExactMessages) {
    const QByteArray px(64, '\x11');
    const QByteArray palette2(8, '\0');
    EXPECT_EQ(ErrorOf("GIF89a and more"), "Not a Windows bitmap file");
    EXPECT_EQ(ErrorOf("BM1234"), "The bitmap header is incomplete");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 0).left(40)), "The bitmap header is incomplete");
    EXPECT_EQ(ErrorOf(MakeBmp(200, 2, 2, 1, 24, 0, 0, px)), "Unsupported bitmap header size (200 bytes)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 0, 2, 1, 24, 0, 0, px)), "Invalid bitmap width (0)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, -5, 2, 1, 24, 0, 0, px)), "Invalid bitmap width (-5)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 0, 1, 24, 0, 0, px)), "Invalid bitmap height (0)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, std::numeric_limits<qint32>::min(), 1, 24, 0, 0, px)),
              "Invalid bitmap height (-2147483648)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 3, 24, 0, 0, px)), "Invalid number of colour planes (3)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 7, 0, 0, px)), "Invalid bit count (7)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 4, 1, 0, px)), "RLE8 compression needs 8 bits per pixel, not 4");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 8, 2, 0, px)), "RLE4 compression needs 4 bits per pixel, not 8");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 3, 0, px)), "Bit field compression needs 16 or 32 bits per pixel, not 24");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 4, 0, px)), "Unsupported bitmap compression (JPEG)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 9, 0, px)), "Unsupported bitmap compression (9)");
    EXPECT_EQ(ErrorOf(MakeBmp(64, 2, 2, 1, 1, 3, 0, px)), "Unsupported bitmap compression (Huffman 1D)");
    EXPECT_EQ(ErrorOf(MakeBmp(64, 2, 2, 1, 24, 4, 0, px)), "Unsupported bitmap compression (RLE24)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, -2, 1, 8, 1, 0, px)), "A compressed bitmap cannot be top-down");
    QByteArray zeroMasks(12, '\0');
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 16, 3, 0, zeroMasks + px)), "Invalid bit field masks");
    QByteArray wideMasks;
    Put32(wideMasks, 0x1F0000), Put32(wideMasks, 0x3E0), Put32(wideMasks, 0x1F);
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 16, 3, 0, wideMasks + px)), "Invalid bit field masks");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 8, 0, 300, px)), "Invalid palette size (300 colours)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 1, 0, 2, palette2 + px, 20)), "Invalid pixel data offset (20)");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 0, 0, px, 5000)), "The bitmap holds no pixel data");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 2, 2, 1, 24, 0, 0, QByteArray(5, '\0'))), "The bitmap holds no pixel data");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 100000, 100000, 1, 24, 0, 0, px)),
              "The picture is too large: 100000 x 100000 pixels exceeds the limit of 268435456 pixels");
    EXPECT_EQ(ErrorOf(MakeBmp(40, 0x7FFFFFFF, -0x7FFFFFFF, 1, 32, 0, 0, px)),
              "The picture is too large: 2147483647 x 2147483647 pixels exceeds the limit of 268435456 pixels");
}

TEST(Bmp, OddButValidFiles) {
    // A palette shorter than the pixel values need: the missing colours are black.
    QByteArray tail;
    Put32(tail, 0x00FF0000); // one colour: red
    tail += QByteArray("\x00\x01\x00\x00", 4);
    QImage image = Decode(MakeBmp(40, 2, 1, 1, 8, 0, 1, tail, 14 + 40 + 4));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));

    // 32 bits with an alpha mask whose values are all zero: meant to be opaque.
    QByteArray masks;
    Put32(masks, 0xFF0000), Put32(masks, 0xFF00), Put32(masks, 0xFF), Put32(masks, 0xFF000000);
    QByteArray header = MakeBmp(124, 1, 1, 1, 32, 3, 0, QByteArray("\x30\x20\x10\x00", 4));
    header.replace(14 + 40, 16, masks); // the masks of a 124-byte header
    image = Decode(header);
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x10, 0x20, 0x30));

    // An OS/2 1.x header whose palette is cut short by the pixel offset.
    QByteArray core;
    Put32(core, 12), Put16(core, 3), Put16(core, 1), Put16(core, 1), Put16(core, 8);
    QByteArray os2("BM");
    Put32(os2, 0), Put32(os2, 0), Put32(os2, 14 + 12 + 6);
    os2 += core + QByteArray("\x00\x00\xFF\xFF\x00\x00", 6) + QByteArray("\x01\x00\x01\x00", 4);
    image = Decode(os2);
    ASSERT_EQ(image.size(), QSize(3, 1));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));

    // An OS/2 bitmap array shows its first bitmap; its offsets count from the start of the array.
    const QByteArray t24 = ReadFile(DataPath("bmp/t24.bmp"));
    QByteArray array("BA");
    Put32(array, 40), Put32(array, 0), Put16(array, 0), Put16(array, 0);
    QByteArray inner = t24;
    QByteArray offBits;
    Put32(offBits, U32(t24, 10) + 14);
    inner.replace(10, 4, offBits);
    EXPECT_TRUE(SamePixels(Decode(array + inner), Reference("bmp/t24.png")));

    // 2 bits per pixel (Windows CE): four pixels in one byte, high bits first.
    QByteArray two;
    for (const quint32 c : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) Put32(two, c);
    two += QByteArray("\x1B\0\0\0", 4);
    image = Decode(MakeBmp(40, 4, 1, 1, 2, 0, 0, two, 14 + 40 + 16));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(3, 0), qRgb(255, 0, 0));

    // The pixel limit applies to the announced size, before anything is read.
    SetPixelLimit(100);
    EXPECT_EQ(ErrorOf(MakeBmp(40, 11, 10, 1, 24, 0, 0, QByteArray(400, '\0'))),
              "The picture is too large: 11 x 10 pixels exceeds the limit of 100 pixels");
    EXPECT_EQ(Decode(MakeBmp(40, 10, 10, 1, 24, 0, 0, QByteArray(400, '\0'))).size(), QSize(10, 10));
    SetPixelLimit(qint64(1) << 28);
}

TEST(Bmp, CommandLineInfoAndConvert) {
    QTemporaryDir dir;
    QString out;
    ASSERT_EQ(RunCli({"info", DataPath("bmp/t24.bmp"), DataPath("bmp/rle4.bmp")}, &out), 0);
    EXPECT_EQ(out, DataPath("bmp/t24.bmp") + "\tTBitmap\t37x23\tpages=1\tframes=1\n" + DataPath("bmp/rle4.bmp") +
                       "\tTBitmap\t10x6\tpages=1\tframes=1\n");
    const QString ppm = dir.filePath("t.ppm"), bmp = dir.filePath("t.bmp");
    ASSERT_EQ(RunCli({"convert", DataPath("bmp/p8.bmp"), ppm}), 0);
    ASSERT_EQ(RunCli({"convert", ppm, bmp}), 0);
    EXPECT_TRUE(SamePixels(Decode(ReadFile(bmp)), Reference("bmp/p8.png")));
    TPPMGraphic check;
    check.LoadFromFileName(ppm);
    EXPECT_TRUE(SamePixels(check.Image(), Reference("bmp/p8.png")));
}

TEST(Bmp, ReportsProgressWhileDecoding) {
    TBitmap source;
    source.SetImage(MakeTestImage(20, 1000));
    const QByteArray file = Save(source);
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    TBitmap bmp;
    std::vector<std::pair<TProgressStage, int>> events;
    bmp.OnProgress = [&](TGraphic*, TProgressStage stage, quint8 percent, bool, const QRect&, const QString&) {
        events.emplace_back(stage, percent);
    };
    bmp.LoadFromStream(buffer);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events.front(), std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(events.back(), std::make_pair(TProgressStage::psEnding, 100));
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].first, TProgressStage::psRunning);
        EXPECT_GT(events[i].second, events[i - 1].second);
    }
}
