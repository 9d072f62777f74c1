#include "TestUtil.h"

#include "codec/Limits.h"
#include "codec/Tiff.h"

#include <QBuffer>
#include <QColorSpace>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

QString TiffPath(const QString& name) { return DataPath(QStringLiteral("tiff/") + name); }

QImage LoadRef(const QString& name) {
    QImage ref(TiffPath(name));
    EXPECT_FALSE(ref.isNull()) << name.toStdString();
    return ref;
}

std::unique_ptr<TTiffGraphic> LoadTiff(const QByteArray& bytes, int page = 1) {
    auto g = std::make_unique<TTiffGraphic>();
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    g->SetPageIndex(page);
    g->LoadFromStream(buffer);
    return g;
}

int PageCount(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    TTiffGraphic g;
    const int n = g.GetPageCount(buffer);
    EXPECT_EQ(buffer.pos(), 0) << "GetPageCount must leave the stream where it was";
    return n;
}

QByteArray SaveTiff(const QImage& image, const QString& compression) {
    TTiffGraphic g;
    g.SetImage(image);
    EXPECT_TRUE(g.SetSaveOption(QStringLiteral("compression"), compression));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return bytes;
}

// Premultiplied comparison: the colour of (nearly) transparent pixels does not matter.
::testing::AssertionResult SamePremultiplied(const QImage& a, const QImage& b, int tolerance) {
    QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    pa.reinterpretAsFormat(QImage::Format_ARGB32);
    pb.reinterpretAsFormat(QImage::Format_ARGB32);
    return SamePixels(pa, pb, tolerance);
}

// Exact comparison at 16 bits per channel.
::testing::AssertionResult Same16(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) return ::testing::AssertionFailure() << "sizes differ";
    const QImage a = actual.convertToFormat(QImage::Format_RGBA64), e = expected.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgba64 pa = reinterpret_cast<const QRgba64*>(a.constScanLine(y))[x];
            const QRgba64 pe = reinterpret_cast<const QRgba64*>(e.constScanLine(y))[x];
            if (pa != pe)
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") " << std::hex
                                                     << quint64(pa) << " != " << quint64(pe);
        }
    return ::testing::AssertionSuccess();
}

} // namespace

// Every layout and compression written by ImageMagick or tiffcp, against ImageMagick's own decoding.
TEST(Tiff, ReadsFilesOfIndependentTools) {
    struct TCase {
        const char* Name;
        int Tolerance;
        QImage::Format Format; // the format the decoder should choose
    };
    const TCase cases[] = {
        {"rgb8-none", 0, QImage::Format_RGB32},         {"rgb8-lzw", 0, QImage::Format_RGB32},
        {"rgb8-deflate", 0, QImage::Format_RGB32},      {"rgb8-packbits", 0, QImage::Format_RGB32},
        {"rgb8-jpeg", 2, QImage::Format_RGB32},         {"rgb8-jpeg-ycbcr", 3, QImage::Format_RGB32},
        {"rgb8-tiled", 0, QImage::Format_RGB32},        {"rgb8-planar", 0, QImage::Format_RGB32},
        {"rgb8-strips", 0, QImage::Format_RGB32},       {"grey8", 0, QImage::Format_Grayscale8},
        {"grey4", 0, QImage::Format_Grayscale8},
        // 16-bit colour map entries: ImageMagick truncates them to 8 bits, Pillow and we round.
        {"palette", 1, QImage::Format_Indexed8},
        {"cmyk", 1, QImage::Format_RGB32},              {"bilevel-g4", 0, QImage::Format_Mono},
        {"bilevel-g3", 0, QImage::Format_Mono},         {"bilevel-g3-2d", 0, QImage::Format_Mono},
        {"orient6", 0, QImage::Format_RGB32},           {"rgb8-strips-first", 0, QImage::Format_RGB32},
        {"grey2", 0, QImage::Format_Grayscale8},        {"miniswhite", 0, QImage::Format_Grayscale8},
        {"palette1", 1, QImage::Format_Indexed8},       {"cmyk16", 1, QImage::Format_RGBX64},
        {"rgb8-jpeg-tiled", 3, QImage::Format_RGB32},   {"float32", 1, QImage::Format_RGBX64},
        // 12 bits: the reference is ImageMagick's 8-bit grey of the same source.
        {"grey12", 1, QImage::Format_Grayscale16},
        // CIE L*a*b* goes through libtiff's RGBA reader, whose colour model differs a little.
        {"lab", 45, QImage::Format_RGB32},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTiffGraphic g;
        g.LoadFromFileName(TiffPath(QString::fromLatin1(c.Name) + QStringLiteral(".tif")));
        EXPECT_EQ(g.Image().format(), c.Format);
        EXPECT_TRUE(SamePixels(g.Image(), LoadRef(QStringLiteral("ref-%1.png").arg(QLatin1String(c.Name))), c.Tolerance));
    }
}

TEST(Tiff, ReadsAlphaAssociatedAndUnassociated) {
    for (const char* name : {"rgba-unassoc", "rgba-assoc", "greya", "rgba-planar"}) {
        SCOPED_TRACE(name);
        TTiffGraphic g;
        g.LoadFromFileName(TiffPath(QString::fromLatin1(name) + QStringLiteral(".tif")));
        EXPECT_TRUE(g.Image().hasAlphaChannel());
        EXPECT_TRUE(SamePremultiplied(g.Image(), LoadRef(QStringLiteral("ref-%1.png").arg(QLatin1String(name))), 1));
    }
}

TEST(Tiff, KeepsSixteenBitsPerSample) {
    TTiffGraphic rgb, rgba, grey;
    rgb.LoadFromFileName(TiffPath(QStringLiteral("rgb16.tif")));
    EXPECT_EQ(rgb.Image().format(), QImage::Format_RGBX64);
    EXPECT_TRUE(Same16(rgb.Image(), LoadRef(QStringLiteral("ref-rgb16.png"))));
    TTiffGraphic msb; // big-endian samples
    msb.LoadFromFileName(TiffPath(QStringLiteral("rgb16-msb.tif")));
    EXPECT_TRUE(Same16(msb.Image(), LoadRef(QStringLiteral("ref-rgb16-msb.png"))));
    rgba.LoadFromFileName(TiffPath(QStringLiteral("rgba16.tif")));
    EXPECT_EQ(rgba.Image().format(), QImage::Format_RGBA64);
    EXPECT_TRUE(Same16(rgba.Image(), LoadRef(QStringLiteral("ref-rgba16.png"))));
    grey.LoadFromFileName(TiffPath(QStringLiteral("grey16.tif")));
    EXPECT_EQ(grey.Image().format(), QImage::Format_Grayscale16);
    EXPECT_TRUE(Same16(grey.Image(), LoadRef(QStringLiteral("ref-grey16.png"))));
}

TEST(Tiff, ConvertsAnEmbeddedProfileToSrgb) {
    TTiffGraphic g;
    g.LoadFromFileName(TiffPath(QStringLiteral("icc-adobergb.tif")));
    const QImage ref = LoadRef(QStringLiteral("ref-icc-adobergb.png"));
    EXPECT_TRUE(SamePixels(g.Image(), ref, 3));
    // The same pixels without the profile differ clearly: the profile was applied.
    TTiffGraphic plain;
    plain.LoadFromFileName(TiffPath(QStringLiteral("rgb8-none.tif")));
    EXPECT_FALSE(SamePixels(plain.Image(), ref, 3));
}

TEST(Tiff, EveryPageOfAThreePageFile) {
    const QByteArray bytes = ReadFile(TiffPath(QStringLiteral("three-pages.tif")));
    EXPECT_EQ(PageCount(bytes), 3);
    EXPECT_EQ(PageCount(ReadFile(TiffPath(QStringLiteral("rgb8-none.tif")))), 1);
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        auto g = LoadTiff(bytes, page);
        EXPECT_TRUE(SamePixels(g->Image(), LoadRef(QStringLiteral("ref-three-pages-%1.png").arg(page - 1))));
    }
    try {
        LoadTiff(bytes, 4);
        FAIL() << "page 4 does not exist";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The TIFF file has no page 4"));
    }
}

// The TIFF header may start anywhere in a stream (as in an EPS preview): offsets count from it.
TEST(Tiff, ReadsFromTheStreamPosition) {
    QByteArray bytes = QByteArray(13, 'x') + ReadFile(TiffPath(QStringLiteral("three-pages.tif")));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(13);
    TTiffGraphic g;
    EXPECT_EQ(g.GetPageCount(buffer), 3);
    EXPECT_EQ(buffer.pos(), 13);
    g.SetPageIndex(3);
    g.LoadFromStream(buffer);
    EXPECT_TRUE(SamePixels(g.Image(), LoadRef(QStringLiteral("ref-three-pages-2.png"))));
}

TEST(Tiff, DirectoryLoopsEndTheCount) {
    // Point the next-directory offset of the last page back at the first one.
    QByteArray bytes = ReadFile(TiffPath(QStringLiteral("three-pages.tif")));
    ASSERT_EQ(bytes.left(2), QByteArray("II"));
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    const quint32 first = u32(4);
    quint32 ifd = first;
    for (int page = 1; page < 3; ++page) ifd = u32(ifd + 2 + 12 * u16(ifd));
    const qsizetype next = ifd + 2 + 12 * u16(ifd);
    ASSERT_EQ(u32(next), 0u);
    qToLittleEndian<quint32>(first, bytes.data() + next);
    EXPECT_EQ(PageCount(bytes), 3);
    // A directory pointing at itself.
    qToLittleEndian<quint32>(ifd, bytes.data() + next);
    EXPECT_EQ(PageCount(bytes), 3);
    EXPECT_THROW(LoadTiff(bytes, 5), EInvalidGraphic);
}

TEST(Tiff, ErrorsAreClearExceptions) {
    try {
        LoadTiff(QByteArray("P6\n1 1\n255\nabc"));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not a valid TIFF file: Not a TIFF or MDI file, bad magic number 13904 (0x3650)"));
    }
    try {
        LoadTiff(QByteArray());
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Not a valid TIFF file: "))) << e.Message().toStdString();
    }
    const qint64 limit = PixelLimit();
    SetPixelLimit(500);
    try {
        LoadTiff(ReadFile(TiffPath(QStringLiteral("rgb8-none.tif"))));
        SetPixelLimit(limit);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        SetPixelLimit(limit);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("37"))) << e.Message().toStdString();
    }
}

// Cut files: a picture of the full size, or EInvalidGraphic; never anything else.
TEST(Tiff, TruncatedFilesKeepTheirSizeOrGiveClearErrors) {
    const char* names[] = {"rgb8-none", "rgb8-lzw", "rgb8-strips-first", "rgb8-jpeg-ycbcr", "rgb8-tiled", "rgb8-strips", "rgb16",
                           "palette", "cmyk", "bilevel-g4", "three-pages", "rgba-assoc", "lab"};
    for (const char* name : names) {
        const QByteArray bytes = ReadFile(TiffPath(QString::fromLatin1(name) + QStringLiteral(".tif")));
        for (double part : {0.05, 0.3, 0.5, 0.8, 0.97}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(part));
            try {
                auto g = LoadTiff(bytes.left(qsizetype(bytes.size() * part)));
                EXPECT_EQ(g->Width(), 37);
                EXPECT_EQ(g->Height(), 23);
            } catch (const EInvalidGraphic&) {
            }
        }
    }
    // Directory first, strips of two rows: a cut in the pixel data keeps the complete strips, pixel for
    // pixel, white below them, and says the file was truncated.
    const QImage ref = LoadRef(QStringLiteral("ref-rgb8-strips-first.png"));
    for (const char* name : {"rgb8-strips-first"}) {
        SCOPED_TRACE(name);
        const QByteArray strips = ReadFile(TiffPath(QString::fromLatin1(name) + QStringLiteral(".tif")));
        EXPECT_FALSE(LoadTiff(strips)->Truncated());
        int shorter = 0;
        for (qsizetype cut = 300; cut < strips.size(); cut += 61) {
            SCOPED_TRACE(cut);
            try {
                auto g = LoadTiff(strips.left(cut));
                int arrived = 0;
                EXPECT_TRUE(ArrivedRowsMatch(g->Image(), ref, true, &arrived));
                if (arrived < 23) {
                    ++shorter;
                    EXPECT_TRUE(g->Truncated());
                }
            } catch (const EInvalidGraphic& e) {
                EXPECT_TRUE(e.Message().startsWith(QStringLiteral("The TIFF picture data cannot be read"))) << e.Message().toStdString();
            }
        }
        EXPECT_GT(shorter, 3);
    }
}

TEST(Tiff, RoundTripsEveryCompression) {
    const QImage rgb = MakeTestImage(45, 31);
    const QImage rgba = MakeTestImage(45, 31, true);
    const QImage grey = rgb.convertToFormat(QImage::Format_Grayscale8);
    QImage grey16 = rgb.convertToFormat(QImage::Format_Grayscale16);
    reinterpret_cast<quint16*>(grey16.scanLine(3))[7] = 12345; // a value that is not 8 bits widened
    QImage rgb16 = rgb.convertToFormat(QImage::Format_RGBX64);
    reinterpret_cast<QRgba64*>(rgb16.scanLine(5))[9] = QRgba64::fromRgba64(1, 30001, 65534, 65535);
    const QImage palette = rgb.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QImage bilevel = rgb.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    bilevel.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});

    for (const char* c : {"none", "packbits", "lzw", "deflate"}) {
        const QString compression = QString::fromLatin1(c);
        SCOPED_TRACE(c);
        EXPECT_TRUE(SamePixels(LoadTiff(SaveTiff(rgb, compression))->Image(), rgb));
        const QImage a = LoadTiff(SaveTiff(rgba, compression))->Image();
        EXPECT_EQ(a.format(), QImage::Format_ARGB32);
        EXPECT_TRUE(SamePixels(a, rgba));
        EXPECT_TRUE(SamePixels(LoadTiff(SaveTiff(grey, compression))->Image(), grey));
        EXPECT_TRUE(Same16(LoadTiff(SaveTiff(grey16, compression))->Image(), grey16));
        EXPECT_TRUE(Same16(LoadTiff(SaveTiff(rgb16, compression))->Image(), rgb16));
        const QImage p = LoadTiff(SaveTiff(palette, compression))->Image();
        EXPECT_EQ(p.format(), QImage::Format_Indexed8);
        EXPECT_TRUE(SamePixels(p, palette));
        const QImage b = LoadTiff(SaveTiff(bilevel, compression))->Image();
        EXPECT_EQ(b.format(), QImage::Format_Mono);
        EXPECT_TRUE(SamePixels(b, bilevel));
    }
    for (const char* c : {"g3", "g3-2d", "g4"}) {
        SCOPED_TRACE(c);
        const QByteArray bytes = SaveTiff(bilevel, QString::fromLatin1(c));
        EXPECT_TRUE(SamePixels(LoadTiff(bytes)->Image(), bilevel));
        // A colour picture is reduced to black and white for the fax codings.
        const QImage reduced = LoadTiff(SaveTiff(rgb, QString::fromLatin1(c)))->Image();
        EXPECT_EQ(reduced.format(), QImage::Format_Mono);
        EXPECT_TRUE(SamePixels(reduced, rgb.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly)));
    }
    // JPEG is lossy: close on a smooth picture, not equal; alpha is flattened on white.
    QImage smooth(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) smooth.setPixel(x, y, qRgb(x * 5, y * 7, 128 + (x - y)));
    const QImage smoothGrey = smooth.convertToFormat(QImage::Format_Grayscale8);
    EXPECT_TRUE(SamePixels(LoadTiff(SaveTiff(smooth, QStringLiteral("jpeg")))->Image(), smooth, 10));
    EXPECT_TRUE(SamePixels(LoadTiff(SaveTiff(smoothGrey, QStringLiteral("jpeg")))->Image(), smoothGrey, 6));
    EXPECT_FALSE(LoadTiff(SaveTiff(rgba, QStringLiteral("jpeg")))->Image().hasAlphaChannel());
}

TEST(Tiff, SaveOptions) {
    TTiffGraphic g;
    EXPECT_EQ(g.Compression(), TTiffCompression::None);
    EXPECT_TRUE(g.SetSaveOption(QStringLiteral("compression"), QStringLiteral("ZLib")));
    EXPECT_EQ(g.Compression(), TTiffCompression::Deflate);
    EXPECT_TRUE(g.SetSaveOption(QStringLiteral("compression"), QStringLiteral("4"))); // "Group4"
    EXPECT_EQ(g.Compression(), TTiffCompression::Group4);
    EXPECT_TRUE(g.SetSaveOption(QStringLiteral("quality"), QStringLiteral("40")));
    EXPECT_EQ(g.JpegQuality(), 40);
    EXPECT_FALSE(g.SetSaveOption(QStringLiteral("interlace"), QStringLiteral("1")));
    try {
        g.SetSaveOption(QStringLiteral("compression"), QStringLiteral("zstd9"));
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unknown TIFF compression 'zstd9'"));
    }
    EXPECT_THROW(g.SetSaveOption(QStringLiteral("quality"), QStringLiteral("0")), EInvalidGraphicOperation);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(g.SaveToStream(buffer), EInvalidGraphicOperation); // nothing to save
}

TEST(Tiff, WritesSeveralPages) {
    TTiffGraphic a, b, c;
    a.SetImage(MakeTestImage(20, 10));
    b.SetImage(MakeTestImage(7, 33, true));
    c.SetImage(MakeTestImage(16, 16).convertToFormat(QImage::Format_Grayscale8));
    a.SetCompression(TTiffCompression::Lzw);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    a.WriteMultiple(buffer, {&a, &b, &c});
    EXPECT_EQ(PageCount(bytes), 3);
    EXPECT_TRUE(SamePixels(LoadTiff(bytes, 1)->Image(), a.Image()));
    EXPECT_TRUE(SamePixels(LoadTiff(bytes, 2)->Image(), b.Image()));
    EXPECT_TRUE(SamePixels(LoadTiff(bytes, 3)->Image(), c.Image()));
}

TEST(Tiff, CommandLinePagesAndConversion) {
    const QString three = TiffPath(QStringLiteral("three-pages.tif"));
    QString out;
    ASSERT_EQ(RunCli({QStringLiteral("info"), three}, &out), 0) << out.toStdString();
    EXPECT_EQ(out.trimmed(), three + QStringLiteral("\tTTiffGraphic\t37x23\tpages=3\tframes=1"));
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("page2.ppm"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), three, ppm, QStringLiteral("--page"), QStringLiteral("2")}), 0);
    EXPECT_TRUE(SamePixels(QImage(ppm), LoadRef(QStringLiteral("ref-three-pages-1.png"))));
    const QString tif = dir.filePath(QStringLiteral("back.tif"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), ppm, tif, QStringLiteral("--option"), QStringLiteral("compression=lzw")}), 0);
    TTiffGraphic g;
    g.LoadFromFileName(tif);
    EXPECT_TRUE(SamePixels(g.Image(), LoadRef(QStringLiteral("ref-three-pages-1.png"))));
    EXPECT_NE(RunCli({QStringLiteral("convert"), three, ppm, QStringLiteral("--page"), QStringLiteral("4")}), 0);
}
