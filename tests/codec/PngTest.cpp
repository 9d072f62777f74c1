#include "TestUtil.h"

#include "codec/Limits.h"
#include "codec/Png.h"
#include "codec/Resample.h"

#include <QBuffer>
#include <QColorSpace>

#include <zlib.h>

namespace {

QImage LoadPng(const QByteArray& bytes, TPngGraphic* into = nullptr) {
    TPngGraphic local;
    TPngGraphic& g = into ? *into : local;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    g.LoadFromStream(buffer);
    return g.Image();
}

QImage LoadPngFile(const QString& name) { return LoadPng(ReadFile(DataPath("png/" + name))); }

QString LoadError(const QByteArray& bytes) {
    try {
        LoadPng(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

QByteArray SavePng(const QImage& image, const QList<QPair<QString, QString>>& options = {}) {
    TPngGraphic g;
    g.SetImage(image);
    for (const auto& [key, value] : options) EXPECT_TRUE(g.SetSaveOption(key, value));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return buffer.data();
}

// The references of the fixtures: raw RGBA rows written by ImageMagick, 8 or 16 bits (big-endian).
QImage RawReference(const QString& name, bool wide) {
    const QByteArray raw = ReadFile(DataPath("png/" + name));
    const int w = 37, h = 23;
    EXPECT_EQ(raw.size(), w * h * 4 * (wide ? 2 : 1));
    QImage image(w, h, wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    const uchar* p = reinterpret_cast<const uchar*>(raw.constData());
    for (int y = 0; y < h; ++y) {
        if (!wide) {
            std::memcpy(image.scanLine(y), p + y * w * 4, size_t(w) * 4);
            continue;
        }
        QRgba64* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const uchar* s = p + (y * w + x) * 8;
            line[x] = QRgba64::fromRgba64(quint16(s[0] << 8 | s[1]), quint16(s[2] << 8 | s[3]), quint16(s[4] << 8 | s[5]),
                                          quint16(s[6] << 8 | s[7]));
        }
    }
    return image;
}

// Compares at 16 bits per channel, without tolerance.
::testing::AssertionResult Same16(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) return ::testing::AssertionFailure() << "size differs";
    const QImage a = actual.convertToFormat(QImage::Format_RGBA64), e = expected.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgba64 p = reinterpret_cast<const QRgba64*>(a.constScanLine(y))[x];
            const QRgba64 q = reinterpret_cast<const QRgba64*>(e.constScanLine(y))[x];
            if (p != q)
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << "): " << p.red() << "," << p.green() << ","
                                                     << p.blue() << "," << p.alpha() << " != " << q.red() << "," << q.green()
                                                     << "," << q.blue() << "," << q.alpha();
        }
    return ::testing::AssertionSuccess();
}

// Colour type and bit depth from the IHDR chunk, and whether a chunk is present.
int ColourType(const QByteArray& png) { return uchar(png[25]); }
int BitDepth(const QByteArray& png) { return uchar(png[24]); }
QByteArray ChunkData(const QByteArray& png, const char* type) {
    for (int i = 8; i + 8 <= png.size();) {
        const int length = int(quint32(uchar(png[i])) << 24 | quint32(uchar(png[i + 1])) << 16 | quint32(uchar(png[i + 2])) << 8 |
                               quint32(uchar(png[i + 3])));
        if (png.mid(i + 4, 4) == type) return png.mid(i + 8, length);
        i += 12 + length;
    }
    return QByteArray();
}

// Pictures of every kind the writer has to keep.
QImage Palette(int colours, bool alpha) {
    QImage image(29, 17, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < colours; ++i) table << qRgba(i * 40 % 256, 255 - i * 13 % 256, i * 91 % 256, alpha && i % 3 == 1 ? i * 20 % 256 : 255);
    image.setColorTable(table);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.scanLine(y)[x] = uchar((x / 3 + y * 2) % colours);
    return image;
}

QImage Wide(bool alpha) {
    QImage image(29, 17, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    for (int y = 0; y < image.height(); ++y) {
        QRgba64* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = QRgba64::fromRgba64(quint16(x * 2251 + y), quint16(y * 3833 + x * 7), quint16((x * y * 311) ^ 0x5A5A),
                                          alpha ? quint16(x * 65535 / 28) : 0xFFFF);
    }
    return image;
}

QImage Grey16() {
    QImage image(29, 17, QImage::Format_Grayscale16);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) reinterpret_cast<quint16*>(image.scanLine(y))[x] = quint16(x * 2000 + y * 17);
    return image;
}

} // namespace

// Every colour type and bit depth, made by ImageMagick and Pillow, against ImageMagick's own decoding.
TEST(PngReader, MatchesImageMagickForEveryKind) {
    struct Case {
        const char* Name;
        QImage::Format Format;
        bool Wide;
    } cases[] = {
        {"g1", QImage::Format_Grayscale8, false},  {"g2", QImage::Format_Grayscale8, false},
        {"g4", QImage::Format_Grayscale8, false},  {"g8", QImage::Format_Grayscale8, false},
        {"g16", QImage::Format_Grayscale16, true}, {"g16i", QImage::Format_Grayscale16, true},
        {"ga8", QImage::Format_ARGB32, false},     {"ga16", QImage::Format_RGBA64, true},
        {"rgb8", QImage::Format_RGB32, false},     {"rgb16", QImage::Format_RGBX64, true},
        {"rgba8", QImage::Format_ARGB32, false},   {"rgba16", QImage::Format_RGBA64, true},
        {"rgba8i", QImage::Format_ARGB32, false},  {"p1", QImage::Format_Indexed8, false},
        {"p2", QImage::Format_Indexed8, false},    {"p4", QImage::Format_Indexed8, false},
        {"p8", QImage::Format_Indexed8, false},    {"p4i", QImage::Format_Indexed8, false},
        {"p8trns", QImage::Format_Indexed8, false}, {"rgbtrns", QImage::Format_ARGB32, false},
        {"gtrns", QImage::Format_ARGB32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString name = QString::fromLatin1(c.Name);
        const QImage image = LoadPngFile(name + ".png");
        EXPECT_EQ(image.format(), c.Format);
        if (c.Wide)
            EXPECT_TRUE(Same16(image, RawReference(name + ".rgba16", true)));
        else
            EXPECT_TRUE(SamePixels(image, RawReference(name + ".rgba", false), 0));
    }
    EXPECT_EQ(LoadPngFile("p4.png").colorCount(), 13);
}

TEST(PngReader, ColourManagement) {
    // gAMA 1.0 corrected for a display gamma of 2.2, as netpbm does it.
    TPngGraphic g;
    g.LoadFromFileName(DataPath("png/gamma10.png"));
    EXPECT_DOUBLE_EQ(g.FileGamma(), 1.0);
    EXPECT_TRUE(SamePixels(g.Image(), RawReference("gamma10.rgba", false), 1));
    // iCCP converted to sRGB, as LittleCMS does it.
    EXPECT_TRUE(SamePixels(LoadPngFile("icc.png"), RawReference("icc.rgba", false), 2));
    EXPECT_FALSE(SamePixels(LoadPngFile("rgb8.png"), RawReference("icc.rgba", false), 8));
}

TEST(PngReader, ErrorsAndTruncation) {
    EXPECT_EQ(LoadError(ReadFile(DataPath("jpeg/colour.jpg"))), "Not a PNG file");
    EXPECT_EQ(LoadError(QByteArray()), "The PNG file is truncated");
    const QByteArray small = ReadFile(DataPath("png/rgb8.png"));
    EXPECT_EQ(LoadError(small.left(30)), "The PNG file is truncated");
    QByteArray crc = small;
    crc[29] = char(crc[29] ^ 1); // IHDR CRC
    EXPECT_EQ(LoadError(crc), "IHDR: CRC error");

    // A plain file cut in its pixel data keeps its size and its complete rows, exactly as decoded from the
    // whole file (libpng takes the pixel data in pieces of 8 KB, so the rows of the last piece are lost);
    // the rows below show the background and the graphic says it was truncated.
    const QByteArray whole = SavePng(MakeTestImage(200, 150), {{"compression", "0"}});
    const QImage full = LoadPng(whole);
    int previous = 0;
    for (double part : {0.3, 0.6, 0.9}) {
        SCOPED_TRACE(part);
        TPngGraphic g;
        const QImage cut = LoadPng(whole.left(int(whole.size() * part)), &g);
        EXPECT_TRUE(g.Truncated());
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(cut, full, true, &arrived));
        EXPECT_GT(arrived, previous);
        EXPECT_LT(arrived, 150);
        previous = arrived;
    }
    TPngGraphic complete;
    LoadPng(whole, &complete);
    EXPECT_FALSE(complete.Truncated());
    // The background is the file's own where it gives one, white otherwise, also for a palette.
    const QByteArray withBackground = SavePng(MakeTestImage(200, 150), {{"compression", "0"}, {"background", "#102030"}});
    EXPECT_EQ(LoadPng(withBackground.left(withBackground.size() / 2)).pixel(0, 149), qRgb(0x10, 0x20, 0x30));
    QImage palette(400, 300, QImage::Format_Indexed8);
    palette.setColorTable(Palette(6, false).colorTable());
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) palette.scanLine(y)[x] = uchar((x / 7 + y) % 6);
    const QByteArray indexed = SavePng(palette, {{"compression", "0"}});
    const QImage indexedCut = LoadPng(indexed.left(indexed.size() / 2));
    EXPECT_TRUE(ArrivedRowsMatch(indexedCut, LoadPng(indexed), true));
    EXPECT_EQ(indexedCut.pixel(0, 299), qRgb(255, 255, 255));
    // An interlaced one shows its complete passes at full size. Cut in pass 6 (passes 1 to 5 hold a
    // quarter of the pixels), each pixel of the 2 x 2 grid stands for its block.
    const QByteArray interlaced = SavePng(MakeTestImage(200, 150), {{"compression", "0"}, {"interlace", "1"}});
    TPngGraphic coarseGraphic;
    const QImage coarse = LoadPng(interlaced.left(interlaced.size() * 4 / 10), &coarseGraphic);
    ASSERT_EQ(coarse.size(), QSize(200, 150));
    EXPECT_TRUE(coarseGraphic.Truncated());
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(coarse.pixel(x, y), full.pixel(x - x % 2, y - y % 2)) << x << "," << y;
    EXPECT_EQ(LoadError(interlaced.left(200)), "The PNG file is truncated");
}

TEST(PngReader, PixelLimitIsCheckedBeforeDecoding) {
    const qint64 old = PixelLimit();
    SetPixelLimit(800);
    const QString error = LoadError(ReadFile(DataPath("png/rgb8.png")));
    SetPixelLimit(old);
    EXPECT_EQ(error, "The picture is too large: 37 x 23 pixels exceeds the limit of 800 pixels");
}

// Every kind of picture comes back unchanged, plain and interlaced, in the PNG kind that keeps it; Qt's
// own PNG reader agrees on the pixels.
TEST(PngWriter, RoundTripsEveryKind) {
    QImage mono(29, 17, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 29; ++x) mono.setPixel(x, y, (x * y) % 3 == 0);
    struct Case {
        const char* Name;
        QImage Image;
        int ColourType, Depth;
        QImage::Format LoadsAs;
    } cases[] = {
        {"mono", mono, 3, 1, QImage::Format_Indexed8},
        {"palette 4", Palette(4, false), 3, 2, QImage::Format_Indexed8},
        {"palette 11 alpha", Palette(11, true), 3, 4, QImage::Format_Indexed8},
        {"palette 200 alpha", Palette(200, true), 3, 8, QImage::Format_Indexed8},
        {"grey 8", MakeTestImage(29, 17).convertToFormat(QImage::Format_Grayscale8), 0, 8, QImage::Format_Grayscale8},
        {"grey 16", Grey16(), 0, 16, QImage::Format_Grayscale16},
        {"rgb 8", MakeTestImage(29, 17), 2, 8, QImage::Format_RGB32},
        {"rgba 8", MakeTestImage(29, 17, true), 6, 8, QImage::Format_ARGB32},
        {"rgb888", MakeTestImage(29, 17).convertToFormat(QImage::Format_RGB888), 2, 8, QImage::Format_RGB32},
        {"rgb 16", Wide(false), 2, 16, QImage::Format_RGBX64},
        {"rgba 16", Wide(true), 6, 16, QImage::Format_RGBA64},
    };
    for (const Case& c : cases)
        for (const char* interlace : {"0", "1"}) {
            SCOPED_TRACE(std::string(c.Name) + " interlace " + interlace);
            const QByteArray bytes = SavePng(c.Image, {{"interlace", interlace}});
            EXPECT_EQ(ColourType(bytes), c.ColourType);
            EXPECT_EQ(BitDepth(bytes), c.Depth);
            EXPECT_EQ(int(bytes[28]), interlace[0] - '0');
            TPngGraphic g;
            const QImage back = LoadPng(bytes, &g);
            EXPECT_EQ(g.FileInterlaced(), interlace[0] == '1');
            EXPECT_EQ(back.format(), c.LoadsAs);
            EXPECT_TRUE(Same16(back, c.Image));
            EXPECT_TRUE(Same16(QImage::fromData(bytes, "PNG"), c.Image));
        }
}

TEST(PngWriter, CompressionLevel) {
    const QImage image = MakeTestImage(100, 80, true);
    const QByteArray stored = SavePng(image, {{"compression", "0"}});
    const QByteArray best = SavePng(image, {{"compression", "9"}});
    EXPECT_GT(stored.size(), 100 * 80 * 4);
    EXPECT_LT(best.size(), stored.size() / 2);
    EXPECT_TRUE(SamePixels(LoadPng(stored), image, 0));
    EXPECT_TRUE(SamePixels(LoadPng(best), image, 0));
}

// Large pictures are compressed in parts on several threads; the parts are cut by size, so the bytes
// never depend on the threads (a batch split over machines writes the same files). Noise (a photo's
// grain) and a repeating pattern (a drawing) both come back exactly, and the pattern keeps the full
// match search: it shrinks to a small part of its size.
TEST(PngWriter, LargePicturesAreTheSameWhateverTheThreads) {
    QImage noisy(1200, 700, QImage::Format_RGB32), pattern(1200, 700, QImage::Format_RGB32);
    quint32 seed = 7;
    QList<QRgb> tile;
    for (int i = 0; i < 53; ++i) tile << qRgb((i * 97) & 255, (i * 31) & 255, (i * 57 + 11) & 255);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 1200; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int n = int(seed >> 28) - 8;
            noisy.setPixel(x, y, qRgb(std::clamp(x / 5 + n, 0, 255), std::clamp(y / 3 + n, 0, 255), std::clamp(128 + n, 0, 255)));
            pattern.setPixel(x, y, tile[(x + y * 7) % 53]);
        }
    for (const QImage& image : {noisy, pattern})
        for (const char* level : {"1", "6", "9"}) {
            SCOPED_TRACE(std::string(&image == &noisy ? "noise" : "pattern") + " level " + level);
            const QByteArray threaded = SavePng(image, {{"compression", level}});
            QByteArray single;
            {
                const TResampleThreadLimit limit(1);
                single = SavePng(image, {{"compression", level}});
            }
            EXPECT_TRUE(threaded == single);
            EXPECT_TRUE(SamePixels(LoadPng(threaded), image, 0));
            EXPECT_TRUE(SamePixels(QImage::fromData(threaded, "PNG"), image, 0));
        }
    EXPECT_LT(SavePng(pattern, {{"compression", "6"}}).size(), 1200 * 700 * 3 / 50);
    EXPECT_LT(SavePng(pattern, {{"compression", "1"}}).size(), 1200 * 700 * 3 / 30);
}

TEST(PngWriter, GammaIsWrittenAndHonoured) {
    QImage image(8, 1, QImage::Format_RGB32);
    for (int x = 0; x < 8; ++x) image.setPixel(x, 0, qRgb(x * 36, x * 36, 40));
    const QByteArray neutral = SavePng(image, {{"gamma", "0.45455"}});
    EXPECT_EQ(ChunkData(neutral, "gAMA"), QByteArray::fromHex("0000b18f"));
    TPngGraphic g;
    EXPECT_TRUE(SamePixels(LoadPng(neutral, &g), image, 0)); // 0.45455 x 2.2 is 1: nothing to correct
    EXPECT_NEAR(g.FileGamma(), 0.45455, 1e-6);
    const QByteArray linear = SavePng(image, {{"gamma", "1"}});
    EXPECT_EQ(ChunkData(linear, "gAMA"), QByteArray::fromHex("000186a0"));
    const QImage corrected = LoadPng(linear);
    EXPECT_NEAR(qBlue(corrected.pixel(0, 0)), 110, 1); // 255 * (40 / 255) ^ (1 / 2.2)
    EXPECT_EQ(qRed(corrected.pixel(7, 0)), 254);      // 255 * (252 / 255) ^ (1 / 2.2)
    EXPECT_TRUE(ChunkData(SavePng(image), "gAMA").isEmpty());
}

TEST(PngWriter, TransparentColourAndBackground) {
    // RGB: a colour key.
    const QImage rgb = MakeTestImage(29, 17);
    const QRgb key = rgb.pixel(3, 4);
    const QString keyText = QStringLiteral("%1").arg(key & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    const QByteArray bytes = SavePng(rgb, {{"transparent", keyText}, {"background", "#102030"}});
    EXPECT_EQ(ChunkData(bytes, "bKGD"), QByteArray::fromHex("001000200030"));
    TPngGraphic g;
    const QImage back = LoadPng(bytes, &g);
    EXPECT_EQ(g.FileBackground(), qRgb(0x10, 0x20, 0x30));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 29; ++x) ASSERT_EQ(qAlpha(back.pixel(x, y)), rgb.pixel(x, y) == key ? 0 : 255);
    EXPECT_EQ(qAlpha(QImage::fromData(bytes, "PNG").pixel(3, 4)), 0);

    // Palette: the matching entries become transparent; the background is the nearest entry.
    const QImage palette = Palette(6, false);
    const QRgb entry = palette.color(2);
    const QByteArray indexed = SavePng(palette, {{"transparent", QString::number(entry & 0xFFFFFF, 16).rightJustified(6, '0')},
                                                 {"background", QString::number((palette.color(4) & 0xFFFFFF) ^ 0x010101, 16).rightJustified(6, '0')}});
    EXPECT_EQ(ChunkData(indexed, "tRNS"), QByteArray::fromHex("ffff00"));
    EXPECT_EQ(ChunkData(indexed, "bKGD"), QByteArray::fromHex("04"));
    EXPECT_EQ(qAlpha(LoadPng(indexed).color(2)), 0);

    // Grey: a grey key works, a coloured one cannot be written.
    const QImage grey = MakeTestImage(29, 17).convertToFormat(QImage::Format_Grayscale8);
    const int level = qGray(grey.pixel(10, 10));
    const QString levelText = QString::number(level * 0x010101, 16).rightJustified(6, '0');
    const QImage greyBack = LoadPng(SavePng(grey, {{"transparent", levelText}}));
    EXPECT_EQ(qAlpha(greyBack.pixel(10, 10)), 0);
    EXPECT_TRUE(ChunkData(SavePng(grey, {{"transparent", "ff0000"}}), "tRNS").isEmpty());
    // 16-bit colour: the key is widened.
    EXPECT_EQ(ChunkData(SavePng(Wide(false), {{"transparent", "0102ff"}}), "tRNS"), QByteArray::fromHex("01010202ffff"));
}

// Which colour chunk wins: an sRGB chunk or an ICC profile makes a gAMA beside it meaningless.
TEST(PngReader, SrgbAndIccOverrideGamma) {
    QImage image(8, 1, QImage::Format_RGB32);
    for (int x = 0; x < 8; ++x) image.setPixel(x, 0, qRgb(x * 36, 90, 40));
    const QByteArray linear = SavePng(image, {{"gamma", "1"}});
    EXPECT_FALSE(SamePixels(LoadPng(linear), image, 8));
    QByteArray chunk = QByteArray::fromHex("00000001") + "sRGB" + QByteArray(1, '\0');
    const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), 5));
    for (int shift : {24, 16, 8, 0}) chunk += char(crc >> shift);
    QByteArray tagged = linear;
    tagged.insert(33, chunk); // after the signature and IHDR
    EXPECT_TRUE(SamePixels(LoadPng(tagged), image, 0));

    QImage wide = MakeTestImage(16, 8);
    wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    EXPECT_TRUE(SamePixels(LoadPng(SavePng(wide, {{"gamma", "1"}})), wide.convertedToColorSpace(QColorSpace::SRgb), 1));
}

TEST(PngWriter, EmbedsTheColourSpace) {
    QImage wide = MakeTestImage(40, 30);
    wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QByteArray bytes = SavePng(wide);
    EXPECT_FALSE(ChunkData(bytes, "iCCP").isEmpty());
    EXPECT_TRUE(SamePixels(LoadPng(bytes), wide.convertedToColorSpace(QColorSpace::SRgb), 1));
}

TEST(PngWriter, OptionsAreChecked) {
    TPngGraphic g;
    EXPECT_FALSE(g.SetSaveOption("quality", "3"));
    const std::pair<const char*, const char*> bad[] = {
        {"compression", "10"}, {"gamma", "0"}, {"transparent", "12345"}, {"background", "zzzzzz"}, {"interlace", "maybe"}};
    const char* messages[] = {"The PNG compression must be 0 to 9, not '10'", "The PNG gamma must be 0.01 to 100, not '0'",
                              "The option transparent takes a colour RRGGBB, not '12345'",
                              "The option background takes a colour RRGGBB, not 'zzzzzz'",
                              "The option interlace takes 0 or 1, not 'maybe'"};
    for (int i = 0; i < 5; ++i) {
        try {
            g.SetSaveOption(bad[i].first, bad[i].second);
            ADD_FAILURE() << bad[i].first << "=" << bad[i].second << " accepted";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.Message(), messages[i]);
        }
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(g.SaveToStream(buffer), EInvalidGraphicOperation);
}

TEST(PngCli, InfoAndConvert) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out.png");
    ASSERT_EQ(RunCli({"convert", DataPath("jpeg/grey.jpg"), out, "--option", "compression=9", "--option", "interlace=1"}), 0);
    const QByteArray bytes = ReadFile(out);
    EXPECT_EQ(ColourType(bytes), 0); // grey stays grey
    EXPECT_EQ(int(bytes[28]), 1);
    QString text;
    ASSERT_EQ(RunCli({"info", out, DataPath("png/p8trns.png")}, &text), 0);
    EXPECT_EQ(text, out + "\tTPngGraphic\t64x48\tpages=1\tframes=1\n" + DataPath("png/p8trns.png") +
                        "\tTPngGraphic\t37x23\tpages=1\tframes=1\n");
}
