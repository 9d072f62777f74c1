#include "TestUtil.h"

#include "codec/Exr.h"
#include "codec/Jxl.h"
#include "codec/Limits.h"
#include "codec/Probe.h"
#include "codec/Raw.h"
#include "codec/Registry.h"
#include "codec/Resample.h"

#include <QFile>
#include <QImage>
#include <QTransform>

#include <ImfRgbaFile.h>
#include <ImfArray.h>

#include <cmath>
#include <functional>

namespace {

QImage Scene(QSize size, bool alpha) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgba((x * 255) / std::max(1, size.width() - 1), (y * 255) / std::max(1, size.height() - 1),
                                       (x / 3 + y / 3) % 2 ? 200 : 40, alpha ? 30 + (x * 7 + y) % 226 : 255));
    return image;
}

QString Tool(const char* name) { return QStringLiteral("/usr/bin/") + QLatin1String(name); }

template <class T> std::unique_ptr<T> LoadFile(const QString& path) {
    auto g = std::make_unique<T>();
    g->LoadFromFileName(path);
    return g;
}

class CodecToolTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QTemporaryDir Dir;
};

double Srgb(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// Writes an EXR of the given linear values through the format's own library.
void WriteExr(const QString& path, int width, int height, const std::function<Imf::Rgba(int, int)>& pixel, bool alpha) {
    Imf::Array2D<Imf::Rgba> pixels(height, width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels[y][x] = pixel(x, y);
    Imf::RgbaOutputFile file(path.toLocal8Bit().constData(), width, height, alpha ? Imf::WRITE_RGBA : Imf::WRITE_RGB);
    file.setFrameBuffer(&pixels[0][0], 1, size_t(width));
    file.writePixels(height);
}

QString MakeDng(const QString& path, QStringList extra = {}) {
    EXPECT_TRUE(RunTool(QStringLiteral("/usr/bin/python3"), QStringList{DataPath("make_dng.py"), path} + extra));
    return path;
}

// The picture dcraw_emu develops with the camera's white balance (sRGB, 8 bits).
QImage DcrawEmu(const QString& path) {
    EXPECT_TRUE(RunTool(Tool("dcraw_emu"), {"-w", path}));
    return QImage(path + QStringLiteral(".ppm"));
}

} // namespace

// ---- JPEG XL ----------------------------------------------------------------------------------------

TEST_F(CodecToolTest, JxlLosslessColourAlphaAndGrey) {
    ASSERT_TRUE(QFile::exists(Tool("cjxl"))) << "libjxl-tools is one of the test packages";
    const QImage colour = Scene(QSize(37, 23), false), alpha = Scene(QSize(20, 31), true);
    const QImage grey = Scene(QSize(17, 9), false).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_TRUE(colour.save(Path("c.png")));
    ASSERT_TRUE(alpha.save(Path("a.png")));
    ASSERT_TRUE(grey.save(Path("g.png")));
    for (const char* name : {"c", "a", "g"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(RunTool(Tool("cjxl"), {Path(QStringLiteral("%1.png").arg(QLatin1String(name))),
                                           Path(QStringLiteral("%1.jxl").arg(QLatin1String(name))), "-d", "0", "--quiet"}));
    }
    auto c = LoadFile<TJxlGraphic>(Path("c.jxl"));
    EXPECT_FALSE(c->Image().hasAlphaChannel());
    EXPECT_TRUE(SamePixels(c->Image(), colour));
    auto a = LoadFile<TJxlGraphic>(Path("a.jxl"));
    EXPECT_TRUE(a->Transparent());
    EXPECT_TRUE(SamePixels(a->Image(), alpha));
    auto g = LoadFile<TJxlGraphic>(Path("g.jxl"));
    EXPECT_TRUE(SamePixels(g->Image(), grey.convertToFormat(QImage::Format_RGB32)));
}

TEST_F(CodecToolTest, JxlLossyMatchesDjxl) {
    ASSERT_TRUE(Scene(QSize(64, 40), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("in.png"), Path("l.jxl"), "-d", "2", "--quiet"}));
    ASSERT_TRUE(RunTool(Tool("djxl"), {Path("l.jxl"), Path("ref.png"), "--quiet"}));
    auto g = LoadFile<TJxlGraphic>(Path("l.jxl"));
    EXPECT_TRUE(SamePixels(g->Image(), QImage(Path("ref.png")), 2));
}

TEST_F(CodecToolTest, JxlDamagedContentAndLimit) {
    ASSERT_TRUE(Scene(QSize(64, 64), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cjxl"), {Path("in.png"), Path("x.jxl"), "-d", "1", "--quiet"}));
    const QByteArray bytes = ReadFile(Path("x.jxl"));
    try {
        LoadGraphic<TJxlGraphic>(bytes.left(bytes.size() / 2));
        FAIL() << "half a JPEG XL file";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The JPEG XL picture is damaged"));
    }
    EXPECT_THROW(LoadGraphic<TJxlGraphic>(QByteArray("\xFF\x0A garbage garbage garbage", 26)), EInvalidGraphic);
    WriteFile(Path("misnamed.gif"), bytes);
    EXPECT_EQ(FindClassByContent(Path("misnamed.gif")), TJxlGraphic::StaticClass());
    EXPECT_EQ(GraphicClassByExtension("jxl"), TJxlGraphic::StaticClass());
    const qint64 old = PixelLimit();
    SetPixelLimit(100);
    EXPECT_THROW(LoadGraphic<TJxlGraphic>(bytes), EPictureTooLarge);
    SetPixelLimit(old);
}

// ---- OpenEXR ----------------------------------------------------------------------------------------

TEST(Exr, ToneMapOperator) {
    // Within 0..1 with the white point 1 the operator leaves values alone.
    EXPECT_DOUBLE_EQ(ExrToneMap(0.25, 0.25, 1.0), 0.25);
    EXPECT_DOUBLE_EQ(ExrToneMap(1.0, 1.0, 1.0), 1.0);
    // The white point maps to 1; half of it to L (1 + L / W^2) / (1 + L).
    EXPECT_DOUBLE_EQ(ExrToneMap(4.0, 4.0, 4.0), 1.0);
    EXPECT_DOUBLE_EQ(ExrToneMap(2.0, 2.0, 4.0), 2.0 * (1 + 2.0 / 16) / 3);
    EXPECT_EQ(ExrToneMap(-1.0, 0.5, 1.0), 0.0);
    EXPECT_EQ(ExrToneMap(NAN, 0.5, 1.0), 0.0);
}

// ImageMagick stores a picture's values as they are: shown through sRGB's curve.
TEST_F(CodecToolTest, ExrFromImageMagickShowsItsLinearValues) {
    const QImage source = Scene(QSize(24, 16), false);
    ASSERT_TRUE(source.save(Path("in.png")));
    ASSERT_TRUE(RunTool(QStringLiteral("/usr/bin/convert"), {Path("in.png"), Path("im.exr")}));
    auto g = LoadFile<TExrGraphic>(Path("im.exr"));
    EXPECT_EQ(g->WhitePoint(), 1.0);
    QImage expected(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = source.pixel(x, y);
            expected.setPixel(x, y, qRgb(int(std::lround(Srgb(qRed(p) / 255.0) * 255)), int(std::lround(Srgb(qGreen(p) / 255.0) * 255)),
                                         int(std::lround(Srgb(qBlue(p) / 255.0) * 255))));
        }
    EXPECT_TRUE(SamePixels(g->Image(), expected, 1));
}

TEST_F(CodecToolTest, ExrHighValuesAreToneMappedAndAlphaIsStraight) {
    WriteExr(Path("hdr.exr"), 3, 1, [](int x, int) {
        const float v[] = {4.0f, 1.0f, 0.0f};
        return Imf::Rgba(v[x], v[x], v[x], 1.0f);
    }, false);
    auto g = LoadFile<TExrGraphic>(Path("hdr.exr"));
    EXPECT_DOUBLE_EQ(g->WhitePoint(), 4.0);
    const QImage& image = g->Image();
    EXPECT_EQ(image.format(), QImage::Format_RGBX64);
    EXPECT_EQ(image.pixelColor(0, 0).rgba64().red(), 65535);
    const double one = Srgb(1.0 * (1 + 1.0 / 16) / 2);
    EXPECT_NEAR(image.pixelColor(1, 0).rgba64().red() / 65535.0, one, 1.0 / 65535);
    EXPECT_EQ(image.pixelColor(2, 0).rgba64().red(), 0);

    // Premultiplied 0.25 at alpha 0.5 is a straight 0.5.
    WriteExr(Path("alpha.exr"), 1, 1, [](int, int) { return Imf::Rgba(0.25f, 0.25f, 0.25f, 0.5f); }, true);
    auto a = LoadFile<TExrGraphic>(Path("alpha.exr"));
    EXPECT_TRUE(a->Transparent());
    const QRgba64 p = a->Image().pixelColor(0, 0).rgba64();
    EXPECT_NEAR(p.red() / 65535.0, Srgb(0.5), 1.0 / 65535);
    EXPECT_EQ(p.alpha(), 32768);
}

// A picture big enough to be converted on several threads: every 16-bit value is the operator's, with
// sRGB's curve to within one step, from the linear toe to white, and the same on one thread.
TEST_F(CodecToolTest, ExrEveryValueOfALargeRampOnAnyNumberOfThreads) {
    constexpr int width = 1024, height = 300;
    // Values stored as halves, from 0 through the toe to 1.
    const auto pixel = [](int x, int y) {
        const float v = float(std::pow(double(x + width * (y % 3)) / (3 * width - 1), 3.0));
        return Imf::Rgba(v, v * 0.5f, 1.0f - v, 1.0f);
    };
    WriteExr(Path("big.exr"), width, height, pixel, false);
    auto g = LoadFile<TExrGraphic>(Path("big.exr"));
    const QImage& image = g->Image();
    ASSERT_EQ(image.size(), QSize(width, height));
    EXPECT_EQ(g->WhitePoint(), 1.0);
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Imf::Rgba stored = pixel(x, y);
            const QRgba64 p = reinterpret_cast<const QRgba64*>(image.constScanLine(y))[x];
            const auto expected = [](half c) { return int(std::lround(Srgb(double(float(c))) * 65535)); };
            worst = std::max({worst, std::abs(p.red() - expected(stored.r)), std::abs(p.green() - expected(stored.g)),
                              std::abs(p.blue() - expected(stored.b))});
        }
    EXPECT_LE(worst, 1);
    TResampleThreadLimit one(1);
    auto single = LoadFile<TExrGraphic>(Path("big.exr"));
    EXPECT_EQ(single->Image(), image);
}

TEST_F(CodecToolTest, ExrConvertsToSixteenBitPng) {
    WriteExr(Path("ramp.exr"), 300, 2, [](int x, int) {
        const float v = float(x) / 299.0f;
        return Imf::Rgba(v, v, v, 1.0f);
    }, false);
    QString out, err;
    ASSERT_EQ(RunCli({"convert", Path("ramp.exr"), Path("ramp.png")}, &out, &err), 0) << err.toStdString();
    QByteArray depth;
    ASSERT_TRUE(RunTool(QStringLiteral("/usr/bin/identify"), {"-format", "%z", Path("ramp.png")}, &depth));
    EXPECT_EQ(depth, QByteArray("16"));
    ASSERT_EQ(RunCli({"info", Path("ramp.exr")}, &out, &err), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("TExrGraphic\t300x2"))) << out.toStdString();
}

TEST_F(CodecToolTest, ExrDamagedContentAndLimit) {
    WriteExr(Path("d.exr"), 40, 40, [](int x, int y) { return Imf::Rgba(x / 40.0f, y / 40.0f, 0.5f, 1.0f); }, false);
    const QByteArray bytes = ReadFile(Path("d.exr"));
    try {
        LoadGraphic<TExrGraphic>(bytes.left(bytes.size() / 2));
        FAIL() << "half an OpenEXR file";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot read the OpenEXR picture: "))) << e.Message().toStdString();
    }
    WriteFile(Path("misnamed.bmp"), bytes);
    EXPECT_EQ(FindClassByContent(Path("misnamed.bmp")), TExrGraphic::StaticClass());
    const qint64 old = PixelLimit();
    SetPixelLimit(100);
    EXPECT_THROW(LoadGraphic<TExrGraphic>(bytes), EPictureTooLarge);
    SetPixelLimit(old);
}

// ---- Camera RAW -------------------------------------------------------------------------------------

TEST_F(CodecToolTest, DngWithoutPreviewIsDevelopedAsDcrawEmuDoes) {
    ASSERT_TRUE(QFile::exists(Tool("dcraw_emu"))) << "libraw-bin is one of the test packages";
    const QString dng = MakeDng(Path("plain.dng"));
    auto g = LoadFile<TRawGraphic>(dng);
    EXPECT_FALSE(g->ShowsPreview());
    EXPECT_EQ(g->Camera(), QStringLiteral("Lumenor Test DNG"));
    EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(64, 48));
    EXPECT_TRUE(SamePixels(g->Image(), DcrawEmu(dng)));
}

// A load for a smaller size (the viewer's fitted picture) decodes a camera's JPEG preview scaled, turned
// as the picture is: the size asked for is the upright picture's.
TEST_F(CodecToolTest, DngJpegPreviewLoadedForATargetSize) {
    const QImage photo = Scene(QSize(320, 240), false);
    ASSERT_TRUE(photo.save(Path("preview.jpg"), "JPG", 95));
    const QString dng = MakeDng(Path("p.dng"), {"--width", "320", "--height", "240", "--orientation", "6", "--jpeg-preview", Path("preview.jpg")});
    TRawGraphic whole;
    whole.LoadFromFileName(dng);
    ASSERT_TRUE(whole.ShowsPreview());
    EXPECT_EQ(whole.Image().size(), QSize(240, 320));
    TRawGraphic reduced;
    reduced.SetLoadSize(QSize(60, 80)); // upright: a quarter
    reduced.LoadFromFileName(dng);
    ASSERT_TRUE(reduced.ShowsPreview());
    EXPECT_EQ(reduced.Image().size(), QSize(60, 80));
    EXPECT_EQ(QSize(reduced.Width(), reduced.Height()), QSize(240, 320));
    EXPECT_LT(MeanError(reduced.Image(), whole.Image().scaled(60, 80, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 12);
    reduced.CompleteLoad();
    EXPECT_FALSE(reduced.Reduced());
    EXPECT_EQ(reduced.Image().size(), QSize(240, 320));
}

TEST_F(CodecToolTest, DngPreviewFirstThenDevelopedAndTurned) {
    const QString dng = MakeDng(Path("turned.dng"), {"--preview", "--orientation", "6"});
    auto g = LoadFile<TRawGraphic>(dng);
    ASSERT_TRUE(g->ShowsPreview());
    EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(48, 64)) << "the whole picture's size, turned";
    EXPECT_EQ(g->Image().size(), QSize(12, 16)) << "the 16 x 12 preview, turned";
    EXPECT_EQ(g->ToImage().size(), QSize(48, 64));
    EXPECT_TRUE(g->Reduced());
    EXPECT_EQ(g->FullSize(), QSize(48, 64));
    // The preview read from the file itself is the one read from its bytes.
    auto fromBytes = LoadGraphic<TRawGraphic>(ReadFile(dng));
    EXPECT_TRUE(SamePixels(g->Image(), fromBytes->Image()));
    // The header probe gives the developed size.
    const TProbe probe = ProbeFile(dng);
    EXPECT_TRUE(probe.FromHeader);
    EXPECT_EQ(QSize(probe.Info.Width, probe.Info.Height), QSize(48, 64));
    g->CompleteLoad(); // develops from the file
    EXPECT_FALSE(g->ShowsPreview());
    EXPECT_FALSE(g->Reduced());
    EXPECT_EQ(g->Image().size(), QSize(48, 64));
    EXPECT_TRUE(SamePixels(g->Image(), DcrawEmu(dng)));
    // A file cut short says so when its preview is read from the file too.
    const QString cut = Path("cut.dng");
    const QByteArray bytes = ReadFile(dng);
    WriteFile(cut, bytes.left(bytes.size() - 2000));
    auto part = LoadFile<TRawGraphic>(cut);
    EXPECT_TRUE(part->Truncated());
}

TEST_F(CodecToolTest, RawConvertDevelopsAndContentTestFindsDng) {
    const QString dng = MakeDng(Path("p.dng"), {"--preview"});
    QFile::copy(dng, Path("misnamed.tif"));
    EXPECT_EQ(FindClassByContent(Path("misnamed.tif")), TRawGraphic::StaticClass());
    for (const char* ext : {"dng", "CR2", "nef", "ARW", "orf", "raf", "rw2", "pef", "cr3"})
        EXPECT_EQ(GraphicClassByExtension(QLatin1String(ext)), TRawGraphic::StaticClass()) << ext;
    QString out, err;
    ASSERT_EQ(RunCli({"convert", dng, Path("p.png")}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(SamePixels(QImage(Path("p.png")), DcrawEmu(dng)));
    ASSERT_EQ(RunCli({"info", dng}, &out, &err), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("TRawGraphic\t64x48"))) << out.toStdString();
}

TEST_F(CodecToolTest, RawDamagedAndLimit) {
    const QByteArray bytes = ReadFile(MakeDng(Path("d.dng")));
    EXPECT_THROW(LoadGraphic<TRawGraphic>(bytes.left(200)), EInvalidGraphic);
    try {
        LoadGraphic<TRawGraphic>(QByteArray(4096, 'x'));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Not a camera RAW picture: "))) << e.Message().toStdString();
    }
    const qint64 old = PixelLimit();
    SetPixelLimit(1000);
    EXPECT_THROW(LoadGraphic<TRawGraphic>(bytes), EPictureTooLarge);
    SetPixelLimit(old);
}

// The second table keeps the start-up table's filter as it is and adds its own lines.
TEST(ModernFormats, FilterLinesBesideTheStartupTable) {
    const QString full = FullGraphicFilter();
    const QStringList parts = full.split(QLatin1Char('|'));
    const QStringList startup = GraphicFilter().split(QLatin1Char('|'));
    ASSERT_EQ(parts.size(), startup.size() + 2 * 6);
    EXPECT_EQ(parts[1], startup[1] + QStringLiteral(";*.WEBP;*.AVIF;*.HEIC;*.HEIF;*.HIF;*.JXL;*.EXR;*.DNG;*.CR2;*.CR3;*.NEF;*.ARW;*.ORF;*.RAF;*.RW2;*.PEF"));
    for (int i = 2; i < startup.size(); ++i) EXPECT_EQ(parts[i], startup[i]);
    EXPECT_EQ(parts[startup.size()], QStringLiteral("WebP images (*.WEBP)"));
    EXPECT_EQ(parts[startup.size() + 4], QStringLiteral("HEIF images (*.HEIC;*.HEIF;*.HIF)"));
    EXPECT_EQ(parts.last(), QStringLiteral("*.DNG;*.CR2;*.CR3;*.NEF;*.ARW;*.ORF;*.RAF;*.RW2;*.PEF"));
    EXPECT_TRUE(FullOpenDialogFilter().startsWith(OpenDialogFilter().section(QLatin1Char('|'), 0, 1)));
    EXPECT_EQ(StartupTable().size(), 55u);
}
