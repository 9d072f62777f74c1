#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "codec/Limits.h"

#include <QBuffer>
#include <QColorSpace>
#include <QProcess>
#include <QStandardPaths>

namespace {

QImage LoadJpeg(const QByteArray& bytes, int denominator = 1) {
    TJpegGraphic g;
    g.SetScaleDenominator(denominator);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    g.LoadFromStream(buffer);
    return g.Image();
}

QImage LoadJpegFile(const QString& name, int denominator = 1) { return LoadJpeg(ReadFile(DataPath("jpeg/" + name)), denominator); }

// References are PPM/PGM files written by djpeg, ImageMagick or Pillow, read by Qt's own PPM reader.
QImage Reference(const QString& name) {
    QImage image(DataPath("jpeg/" + name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image;
}

QByteArray SaveJpeg(const QImage& image, const QList<QPair<QString, QString>>& options = {}) {
    TJpegGraphic g;
    g.SetImage(image);
    for (const auto& [key, value] : options) EXPECT_TRUE(g.SetSaveOption(key, value));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    g.SaveToStream(buffer);
    return buffer.data();
}

QString LoadError(const QByteArray& bytes) {
    try {
        LoadJpeg(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

// A smooth photo-like picture (JPEG's home ground), deterministic.
QImage SmoothImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(40 + x * 170 / w, 30 + y * 190 / h, 128 + int(60 * std::sin((x + y) / 9.0))));
    return image;
}

// Offset of the start-of-frame marker (any SOFn) in a JPEG file, -1 without one.
int FrameMarker(const QByteArray& jpeg, uchar* type = nullptr) {
    for (int i = 2; i + 1 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF) return -1;
        const uchar m = uchar(jpeg[i + 1]);
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (type) *type = m;
            return i;
        }
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return -1;
}

} // namespace

// Pictures made by independent tools against the pixels those tools decode (djpeg for baseline, grey and
// progressive; ImageMagick for CMYK, YCCK and orientation; Pillow with LittleCMS for the ICC profile).
TEST(JpegReader, MatchesIndependentDecoders) {
    struct Case {
        const char* File;
        const char* Ref;
        int Tolerance;
        QImage::Format Format;
    } cases[] = {
        {"colour.jpg", "colour.ppm", 0, QImage::Format_RGB32},
        {"grey.jpg", "grey.pgm", 0, QImage::Format_Grayscale8},
        {"progressive.jpg", "progressive.ppm", 0, QImage::Format_RGB32},
        {"cmyk.jpg", "cmyk.ppm", 1, QImage::Format_RGB32},
        {"ycck.jpg", "ycck.ppm", 1, QImage::Format_RGB32},
        {"exif6.jpg", "exif6.ppm", 0, QImage::Format_RGB32},
        {"exif8.jpg", "exif8.ppm", 0, QImage::Format_RGB32},
        {"icc.jpg", "icc.ppm", 2, QImage::Format_RGB32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        const QImage image = LoadJpegFile(c.File);
        EXPECT_EQ(image.format(), c.Format);
        EXPECT_TRUE(SamePixels(image, Reference(c.Ref), c.Tolerance));
    }
    // The profile really matters: with its marker renamed the pixels are far from the reference.
    EXPECT_EQ(LoadJpegFile("icc.jpg").colorSpace(), QColorSpace(QColorSpace::SRgb));
    QByteArray stripped = ReadFile(DataPath("jpeg/icc.jpg"));
    stripped.replace("ICC_PROFILE", "XCC_PROFILE");
    EXPECT_FALSE(SamePixels(LoadJpeg(stripped), Reference("icc.ppm"), 8));
}

TEST(JpegReader, ScaledDecodeMatchesDjpeg) {
    for (int d : {2, 4, 8}) {
        SCOPED_TRACE(d);
        EXPECT_TRUE(SamePixels(LoadJpegFile("colour.jpg", d), Reference(QStringLiteral("colour_s%1.ppm").arg(d)), 0));
    }
    TJpegGraphic g;
    g.SetScaleDenominator(4);
    g.LoadFromFileName(DataPath("jpeg/exif6.jpg"));
    EXPECT_EQ(g.Image().size(), QSize(6, 10));
    EXPECT_EQ(g.OriginalSize(), QSize(24, 40));
    try {
        g.SetScaleDenominator(3);
        FAIL() << "1/3 accepted";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), "The JPEG scale must be 1/1, 1/2, 1/4 or 1/8, not 1/3");
    }
}

// The smallest scale that still covers the asked size, measured on the upright picture.
TEST(JpegReader, DecodeScaledPicksTheSmallestSufficientScale) {
    struct Case {
        const char* File;
        QSize AtLeast;
        QSize Expected;
    } cases[] = {
        {"colour.jpg", QSize(8, 6), QSize(8, 6)},     {"colour.jpg", QSize(9, 6), QSize(16, 12)},
        {"colour.jpg", QSize(32, 24), QSize(32, 24)}, {"colour.jpg", QSize(33, 10), QSize(64, 48)},
        {"colour.jpg", QSize(500, 500), QSize(64, 48)}, {"colour.jpg", QSize(), QSize(64, 48)},
        {"exif6.jpg", QSize(3, 5), QSize(3, 5)},      {"exif6.jpg", QSize(4, 5), QSize(6, 10)},
        {"exif6.jpg", QSize(5, 3), QSize(6, 10)},
    };
    for (const Case& c : cases) {
        QFile file(DataPath(QStringLiteral("jpeg/") + c.File));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(TJpegGraphic::DecodeScaled(file, c.AtLeast).size(), c.Expected) << c.File << " " << c.AtLeast.width();
    }
    QFile file(DataPath("jpeg/colour.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(SamePixels(TJpegGraphic::DecodeScaled(file, QSize(10, 10)), Reference("colour_s4.ppm"), 0));
}

// Every EXIF orientation, made by rewriting the tag of an orientation-6 file, against the definition.
TEST(JpegReader, AppliesEveryExifOrientation) {
    QByteArray bytes = ReadFile(DataPath("jpeg/exif6.jpg"));
    int at = bytes.indexOf(QByteArray::fromHex("1201030001000000"));
    bool le = true;
    if (at < 0) at = bytes.indexOf(QByteArray::fromHex("0112000300000001")), le = false;
    ASSERT_GT(at, 0);
    const int valueAt = at + 8 + (le ? 0 : 1);
    bytes[valueAt] = 1;
    const QImage s = LoadJpeg(bytes).convertToFormat(QImage::Format_RGB32);
    const int W = s.width(), H = s.height();
    ASSERT_EQ(QSize(W, H), QSize(40, 24));
    for (int o = 2; o <= 8; ++o) {
        SCOPED_TRACE(o);
        bytes[valueAt] = char(o);
        const QImage d = LoadJpeg(bytes);
        ASSERT_EQ(d.size(), o >= 5 ? QSize(H, W) : QSize(W, H));
        for (int y = 0; y < d.height(); ++y)
            for (int x = 0; x < d.width(); ++x) {
                QPoint from;
                switch (o) {
                case 2: from = {W - 1 - x, y}; break;
                case 3: from = {W - 1 - x, H - 1 - y}; break;
                case 4: from = {x, H - 1 - y}; break;
                case 5: from = {y, x}; break;
                case 6: from = {y, H - 1 - x}; break;
                case 7: from = {W - 1 - y, H - 1 - x}; break;
                default: from = {W - 1 - y, x}; break;
                }
                ASSERT_EQ(d.pixel(x, y), s.pixel(from)) << x << "," << y;
            }
    }
    bytes[valueAt] = 9; // out of range: stored as is
    EXPECT_EQ(LoadJpeg(bytes).size(), QSize(40, 24));
}

TEST(JpegReader, CorruptFilesRaiseLibraryMessages) {
    EXPECT_EQ(LoadError(ReadFile(DataPath("png/rgb8.png"))), "Not a JPEG file: starts with 0x89 0x50");
    EXPECT_EQ(LoadError(QByteArray()), "Empty input file");
    QByteArray bytes = ReadFile(DataPath("jpeg/colour.jpg"));
    const int sof = FrameMarker(bytes);
    ASSERT_GT(sof, 0);
    QByteArray precision = bytes;
    precision[sof + 4] = 12;
    EXPECT_EQ(LoadError(precision), "Unsupported JPEG data precision 12");
    QByteArray zeroWidth = bytes;
    zeroWidth[sof + 7] = 0, zeroWidth[sof + 8] = 0;
    EXPECT_EQ(LoadError(zeroWidth), "Empty JPEG image (DNL not supported)");
    // Cut inside the header: no picture at all.
    EXPECT_EQ(LoadError(bytes.left(sof + 6)), "Bogus marker length");
    EXPECT_EQ(LoadError(bytes.left(sof)), "JPEG datastream contains no image");
}

TEST(JpegReader, PixelLimitIsCheckedBeforeDecoding) {
    const qint64 old = PixelLimit();
    SetPixelLimit(1000);
    const QString error = LoadError(ReadFile(DataPath("jpeg/colour.jpg")));
    SetPixelLimit(old);
    EXPECT_EQ(error, "The picture is too large: 64 x 48 pixels exceeds the limit of 1000 pixels");
}

// A cut baseline file keeps its size: the rows that were complete, exactly as the whole file decodes
// them, and white below them (where the library would make up grey); a cut progressive file gives the
// whole picture at the quality of the scans that arrived. Both say that they were truncated.
TEST(JpegReader, TruncatedFilesKeepTheirSizeWithTheRowsDecoded) {
    const QByteArray whole = SaveJpeg(SmoothImage(96, 160), {{"quality", "90"}});
    const auto full = LoadGraphic<TJpegGraphic>(whole);
    EXPECT_FALSE(full->Truncated());
    const int sos = whole.indexOf(QByteArray::fromHex("FFDA"));
    ASSERT_GT(sos, 0);
    int previous = 0;
    for (double part : {0.3, 0.5, 0.8}) {
        SCOPED_TRACE(part);
        const auto cut = LoadGraphic<TJpegGraphic>(whole.left(sos + int((whole.size() - sos) * part)));
        EXPECT_TRUE(cut->Truncated());
        int arrived = 0;
        EXPECT_TRUE(ArrivedRowsMatch(cut->Image(), full->Image(), true, &arrived));
        EXPECT_GT(arrived, previous);
        EXPECT_LT(arrived, 160);
        EXPECT_EQ(cut->Image().pixel(50, 159), qRgb(255, 255, 255));
        previous = arrived;
    }
    const QByteArray progressive = SaveJpeg(SmoothImage(96, 160), {{"quality", "90"}, {"progressive", "1"}});
    const auto coarse = LoadGraphic<TJpegGraphic>(progressive.left(progressive.size() * 6 / 10));
    EXPECT_EQ(coarse->Image().size(), QSize(96, 160));
    EXPECT_LT(MeanError(coarse->Image(), full->Image()), 12.0);
    EXPECT_TRUE(coarse->Truncated());
    EXPECT_FALSE(LoadGraphic<TJpegGraphic>(progressive)->Truncated());
    // Cut right after the start of scan: not one row.
    EXPECT_EQ(LoadError(whole.left(sos + 20)), "Premature end of JPEG file");
}

TEST(JpegWriter, QualityTradesSizeForError) {
    const QImage source = SmoothImage(120, 80);
    const QByteArray low = SaveJpeg(source, {{"quality", "20"}});
    const QByteArray high = SaveJpeg(source, {{"quality", "95"}});
    const QByteArray standard = SaveJpeg(source);
    EXPECT_LT(low.size(), standard.size());
    EXPECT_LT(standard.size(), high.size());
    const double lowError = MeanError(LoadJpeg(low), source), highError = MeanError(LoadJpeg(high), source);
    EXPECT_LT(highError, 1.5);
    EXPECT_LT(highError, lowError);
    uchar type = 0;
    EXPECT_GT(FrameMarker(high, &type), 0);
    EXPECT_EQ(type, 0xC0); // baseline
}

// Progressive order and optimised Huffman tables are lossless re-encodings: the pixels must not change.
TEST(JpegWriter, ProgressiveAndOptimisedCodesKeepThePixels) {
    const QImage source = SmoothImage(120, 80);
    const QByteArray plain = SaveJpeg(source, {{"quality", "85"}});
    const QByteArray optimized = SaveJpeg(source, {{"quality", "85"}, {"optimize", "1"}});
    const QByteArray progressive = SaveJpeg(source, {{"quality", "85"}, {"progressive", "1"}});
    EXPECT_LT(optimized.size(), plain.size());
    uchar type = 0;
    FrameMarker(progressive, &type);
    EXPECT_EQ(type, 0xC2);
    const QImage reference = LoadJpeg(plain);
    EXPECT_TRUE(SamePixels(LoadJpeg(optimized), reference, 0));
    EXPECT_TRUE(SamePixels(LoadJpeg(progressive), reference, 0));
}

TEST(JpegWriter, GreyPicturesAndTheGrayscaleOption) {
    const QImage source = SmoothImage(64, 40);
    const QByteArray bytes = SaveJpeg(source, {{"quality", "95"}, {"grayscale", "1"}});
    const int sof = FrameMarker(bytes);
    ASSERT_GT(sof, 0);
    EXPECT_EQ(int(bytes[sof + 9]), 1); // one component
    const QImage grey = LoadJpeg(bytes);
    EXPECT_EQ(grey.format(), QImage::Format_Grayscale8);
    EXPECT_LT(MeanError(grey, source.convertToFormat(QImage::Format_Grayscale8)), 1.5);
    // A Grayscale8 picture is written grey without the option.
    const QByteArray fromGrey = SaveJpeg(source.convertToFormat(QImage::Format_Grayscale8));
    EXPECT_EQ(int(fromGrey[FrameMarker(fromGrey) + 9]), 1);
}

TEST(JpegWriter, TransparencyIsFlattenedOntoWhite) {
    QImage clear(32, 16, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QImage white(32, 16, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_TRUE(SamePixels(LoadJpeg(SaveJpeg(clear, {{"quality", "100"}})), white, 1));
}

// A picture in another colour space keeps its colours: the profile is written and honoured on reading.
TEST(JpegWriter, EmbedsTheColourSpace) {
    QImage wide = SmoothImage(64, 48);
    wide.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    const QByteArray bytes = SaveJpeg(wide, {{"quality", "100"}});
    EXPECT_GE(bytes.indexOf("ICC_PROFILE"), 0);
    const QImage back = LoadJpeg(bytes);
    EXPECT_EQ(back.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_LT(MeanError(back, wide.convertedToColorSpace(QColorSpace::SRgb)), 1.5);
    EXPECT_LT(SaveJpeg(wide, {{"grayscale", "1"}}).indexOf("ICC_PROFILE"), 0); // an RGB profile does not fit grey
}

// A profile larger than one marker can hold travels in several APP2 chunks and is put together on reading.
TEST(JpegWriter, LargeProfilesSpanSeveralMarkers) {
    const QByteArray file = ReadFile(DataPath("jpeg/icc.jpg"));
    const int at = file.indexOf(QByteArray("ICC_PROFILE\0", 12));
    ASSERT_GT(at, 0);
    const int segment = (uchar(file[at - 2]) << 8 | uchar(file[at - 1])) - 2;
    QByteArray profile = file.mid(at + 14, segment - 14);
    profile.append(QByteArray(150000 - profile.size(), '\0')); // unreferenced bytes after the tags
    for (int i = 0; i < 4; ++i) profile[i] = char(150000 >> (24 - 8 * i));
    const QColorSpace space = QColorSpace::fromIccProfile(profile);
    ASSERT_TRUE(space.isValid());
    QImage image = SmoothImage(64, 48);
    image.setColorSpace(space);
    const QByteArray bytes = SaveJpeg(image, {{"quality", "100"}});
    EXPECT_EQ(bytes.count("ICC_PROFILE"), 3);
    EXPECT_LT(MeanError(LoadJpeg(bytes), image.convertedToColorSpace(QColorSpace::SRgb)), 1.5);
    EXPECT_GT(MeanError(image, image.convertedToColorSpace(QColorSpace::SRgb)), 5.0);
}

TEST(JpegWriter, OptionsAreChecked) {
    TJpegGraphic g;
    EXPECT_FALSE(g.SetSaveOption("compression", "3"));
    const std::pair<const char*, const char*> bad[] = {{"quality", "0"}, {"quality", "101"}, {"quality", "x"}, {"progressive", "2"}};
    const char* messages[] = {"The JPEG quality must be 1 to 100, not '0'", "The JPEG quality must be 1 to 100, not '101'",
                              "The JPEG quality must be 1 to 100, not 'x'", "The option progressive takes 0 or 1, not '2'"};
    for (int i = 0; i < 4; ++i) {
        try {
            g.SetSaveOption(bad[i].first, bad[i].second);
            ADD_FAILURE() << bad[i].first << "=" << bad[i].second << " accepted";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.Message(), messages[i]);
        }
    }
    EXPECT_EQ(g.Quality(), 75);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(g.SaveToStream(buffer), EInvalidGraphicOperation);
}

// What the writer makes, djpeg (an independent front end) decodes to the same pixels.
TEST(JpegWriter, OutputDecodesWithDjpeg) {
    const QString djpeg = QStandardPaths::findExecutable("djpeg");
    ASSERT_FALSE(djpeg.isEmpty()) << "djpeg is missing (scripts/install-deps installs libjpeg-turbo-progs)";
    QTemporaryDir dir;
    const QString jpg = dir.filePath("w.jpg"), ppm = dir.filePath("w.ppm");
    WriteFile(jpg, SaveJpeg(SmoothImage(50, 30), {{"quality", "80"}, {"progressive", "1"}, {"optimize", "1"}}));
    ASSERT_EQ(QProcess::execute(djpeg, {"-pnm", "-outfile", ppm, jpg}), 0);
    TJpegGraphic g;
    g.LoadFromFileName(jpg);
    EXPECT_TRUE(SamePixels(g.Image(), QImage(ppm), 0));
}

TEST(JpegCli, InfoAndConvert) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out.jpg");
    QString text;
    ASSERT_EQ(RunCli({"convert", DataPath("png/rgb8.png"), out, "--option", "quality=90", "--option", "progressive=1"}), 0);
    ASSERT_EQ(RunCli({"info", out, DataPath("jpeg/exif8.jpg")}, &text), 0);
    EXPECT_EQ(text, out + "\tTJpegGraphic\t37x23\tpages=1\tframes=1\n" + DataPath("jpeg/exif8.jpg") +
                        "\tTJpegGraphic\t24x40\tpages=1\tframes=1\n");
}
