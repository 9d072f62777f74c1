#include "TestUtil.h"

#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/WebP.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

// A picture with gradients, a checker and (optionally) graded alpha; alpha 0 nowhere, so that lossless
// files keep every colour.
QImage Scene(QSize size, bool alpha, int shift = 0) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int a = alpha ? 40 + (x * 7 + y * 3) % 216 : 255;
            image.setPixel(x, y, qRgba((x * 9 + shift) & 255, (y * 5 + shift * 3) & 255, ((x / 4 + y / 4) % 2) ? 220 : 20, a));
        }
    return image;
}

QString Tool(const char* name) { return QStringLiteral("/usr/bin/") + QLatin1String(name); }

// The picture as dwebp decodes it (PAM keeps alpha).
QImage ReferenceDecode(const QString& webp, const QTemporaryDir& dir) {
    const QString png = dir.filePath(QStringLiteral("reference.png"));
    QFile::remove(png);
    EXPECT_TRUE(RunTool(Tool("dwebp"), {webp, "-o", png}));
    return QImage(png);
}

std::unique_ptr<TWebPGraphic> LoadFile(const QString& path) {
    auto g = std::make_unique<TWebPGraphic>();
    g->LoadFromFileName(path);
    return g;
}

class WebPTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile::exists(Tool("cwebp"))) << "the webp package is one of the test packages"; }
    QString Path(const char* name) const { return Dir.filePath(QLatin1String(name)); }
    QTemporaryDir Dir;
};

} // namespace

TEST_F(WebPTest, LosslessWithAlphaFromCwebpKeepsEveryPixel) {
    const QImage source = Scene(QSize(61, 37), true);
    ASSERT_TRUE(source.save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-lossless", "-exact", Path("in.png"), "-o", Path("a.webp")}));
    auto g = LoadFile(Path("a.webp"));
    EXPECT_EQ(g->Width(), 61);
    EXPECT_EQ(g->Height(), 37);
    EXPECT_EQ(g->FrameCount(), 1);
    EXPECT_TRUE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(g->Transparent());
    EXPECT_TRUE(SamePixels(g->Image(), source));
}

TEST_F(WebPTest, LossyFromCwebpMatchesDwebp) {
    ASSERT_TRUE(Scene(QSize(80, 50), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-q", "70", Path("in.png"), "-o", Path("b.webp")}));
    auto g = LoadFile(Path("b.webp"));
    EXPECT_FALSE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(SamePixels(g->Image(), ReferenceDecode(Path("b.webp"), Dir)));
}

TEST_F(WebPTest, LossyWithAlphaMatchesDwebp) {
    ASSERT_TRUE(Scene(QSize(33, 47), true).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-q", "60", "-alpha_q", "100", Path("in.png"), "-o", Path("c.webp")}));
    auto g = LoadFile(Path("c.webp"));
    ASSERT_TRUE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(SamePixels(g->Image(), ReferenceDecode(Path("c.webp"), Dir), 1));
}

// img2webp writes the frames with their own delays and the loop count; the canvas after each frame is
// the frame itself (the frames cover it wholly), and a frame with alpha blends over the one before.
TEST_F(WebPTest, AnimationFromImg2webpHasFramesDelaysAndLoopCount) {
    QVector<QImage> frames;
    for (int i = 0; i < 4; ++i) {
        frames << Scene(QSize(24, 18), false, i * 40);
        ASSERT_TRUE(frames.back().save(Path(QStringLiteral("f%1.png").arg(i).toLatin1())));
    }
    ASSERT_TRUE(RunTool(Tool("img2webp"), {"-loop", "3", "-lossless", "-d", "100", Path("f0.png"), "-d", "250",
                                           Path("f1.png"), "-d", "40", Path("f2.png"), "-d", "1000", Path("f3.png"),
                                           "-o", Path("anim.webp")}));
    auto g = LoadFile(Path("anim.webp"));
    ASSERT_EQ(g->FrameCount(), 4);
    EXPECT_TRUE(g->Animated());
    EXPECT_EQ(g->LoopCount(), 2) << "three plays: two repetitions after the first";
    const int delays[] = {100, 250, 40, 1000};
    for (int i = 1; i <= 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g->FrameDelay(i), delays[i - 1]);
        EXPECT_TRUE(SamePixels(g->FrameImage(i), frames[i - 1]));
    }
    g->SelectFrame(3);
    EXPECT_EQ(g->CurrentFrame(), 3);
    EXPECT_TRUE(SamePixels(g->Image(), frames[2]));
    try {
        g->SelectFrame(5);
        FAIL() << "frame 5 does not exist";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Frame 5 does not exist (the picture has 4)"));
    }
}

TEST_F(WebPTest, LoopForeverAndOnce) {
    ASSERT_TRUE(Scene(QSize(8, 8), false).save(Path("f0.png")));
    ASSERT_TRUE(Scene(QSize(8, 8), false, 99).save(Path("f1.png")));
    ASSERT_TRUE(RunTool(Tool("img2webp"), {"-loop", "0", Path("f0.png"), Path("f1.png"), "-o", Path("ever.webp")}));
    ASSERT_TRUE(RunTool(Tool("img2webp"), {"-loop", "1", Path("f0.png"), Path("f1.png"), "-o", Path("once.webp")}));
    EXPECT_EQ(LoadFile(Path("ever.webp"))->LoopCount(), 0);
    EXPECT_EQ(LoadFile(Path("once.webp"))->LoopCount(), -1);
}

TEST_F(WebPTest, LosslessWriteDecodesExactlyWithDwebp) {
    const QImage source = Scene(QSize(45, 29), true);
    TWebPGraphic g;
    g.SetImage(source);
    ASSERT_TRUE(g.SetSaveOption("lossless", "1"));
    g.SaveToFileName(Path("w.webp"));
    const QByteArray bytes = ReadFile(Path("w.webp"));
    EXPECT_TRUE(bytes.contains("VP8L")) << "a lossless bitstream";
    EXPECT_TRUE(SamePixels(ReferenceDecode(Path("w.webp"), Dir), source));
    EXPECT_TRUE(SamePixels(LoadFile(Path("w.webp"))->Image(), source));
}

TEST_F(WebPTest, LossyWriteFollowsQuality) {
    const QImage source = Scene(QSize(96, 64), false);
    TWebPGraphic low, high;
    low.SetImage(source);
    high.SetImage(source);
    ASSERT_TRUE(low.SetSaveOption("quality", "5"));
    ASSERT_TRUE(high.SetSaveOption("quality", "98"));
    const QByteArray lowBytes = Save(low), highBytes = Save(high);
    EXPECT_TRUE(lowBytes.contains("VP8 ")) << "a lossy bitstream";
    EXPECT_LT(lowBytes.size(), highBytes.size());
    WriteFile(Path("high.webp"), highBytes);
    const QImage decoded = ReferenceDecode(Path("high.webp"), Dir);
    // As close to the source as cwebp at the same quality.
    ASSERT_TRUE(source.save(Path("source.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-q", "98", Path("source.png"), "-o", Path("cwebp.webp")}));
    const double theirs = MeanError(ReferenceDecode(Path("cwebp.webp"), Dir), source);
    EXPECT_LE(MeanError(decoded, source), theirs * 1.1 + 0.5) << "cwebp's error: " << theirs;
    WriteFile(Path("low.webp"), lowBytes);
    EXPECT_GT(MeanError(ReferenceDecode(Path("low.webp"), Dir), source), MeanError(decoded, source));
    EXPECT_TRUE(SamePixels(LoadGraphic<TWebPGraphic>(highBytes)->Image(), decoded));
}

TEST(WebP, SaveOptions) {
    TWebPGraphic g;
    EXPECT_FALSE(g.SetSaveOption("progressive", "1"));
    EXPECT_TRUE(g.SetSaveOption("method", "6"));
    try {
        g.SetSaveOption("quality", "101");
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The option quality takes 0 to 100, not '101'"));
    }
    EXPECT_THROW(g.SetSaveOption("lossless", "maybe"), EInvalidGraphicOperation);
    EXPECT_THROW(Save(g), EInvalidGraphicOperation) << "nothing to save";
}

TEST_F(WebPTest, DamagedAndCutFilesFailClearlyOrKeepWhatArrived) {
    ASSERT_TRUE(Scene(QSize(64, 64), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-q", "80", Path("in.png"), "-o", Path("d.webp")}));
    const QByteArray whole = ReadFile(Path("d.webp"));
    QByteArray garbage = whole.left(12) + QByteArray(64, '\x55');
    try {
        LoadGraphic<TWebPGraphic>(garbage);
        FAIL() << "garbage after the header";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Not a WebP picture: "))) << e.Message().toStdString();
    }
    // Cut in the middle of the data: the rows that arrived, the rest white, marked as truncated.
    auto cut = LoadGraphic<TWebPGraphic>(whole.left(whole.size() * 2 / 3));
    EXPECT_TRUE(cut->Truncated());
    EXPECT_EQ(cut->Width(), 64);
    const auto full = LoadGraphic<TWebPGraphic>(whole);
    EXPECT_TRUE(ArrivedRowsMatch(cut->Image(), full->Image(), true, nullptr, 16));
}

TEST_F(WebPTest, PixelLimitIsCheckedBeforeDecoding) {
    ASSERT_TRUE(Scene(QSize(100, 100), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", Path("in.png"), "-o", Path("e.webp")}));
    const qint64 old = PixelLimit();
    SetPixelLimit(5000);
    EXPECT_THROW(LoadFile(Path("e.webp")), EPictureTooLarge);
    SetPixelLimit(old);
}

TEST_F(WebPTest, IccProfileIsCarriedAndApplied) {
    // A grey picture tagged with a profile whose primaries differ from sRGB's changes its colours.
    ASSERT_TRUE(Scene(QSize(16, 16), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", "-lossless", Path("in.png"), "-o", Path("plain.webp")}));
    const QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    ASSERT_FALSE(icc.isEmpty());
    WriteFile(Path("adobe.icc"), icc);
    ASSERT_TRUE(RunTool(Tool("webpmux"), {"-set", "icc", Path("adobe.icc"), Path("plain.webp"), "-o", Path("icc.webp")}));
    auto plain = LoadFile(Path("plain.webp"));
    auto tagged = LoadFile(Path("icc.webp"));
    EXPECT_TRUE(plain->IccProfile().isEmpty());
    EXPECT_EQ(tagged->IccProfile(), icc);
    QImage expected = plain->Image();
    expected.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    expected.convertToColorSpace(QColorSpace::SRgb);
    EXPECT_TRUE(SamePixels(tagged->Image(), expected, 1));
    EXPECT_FALSE(SamePixels(tagged->Image(), plain->Image(), 2)) << "the profile changes the colours";
}

// A WebP file named .png opens by its content; .webp opens through the second table.
TEST_F(WebPTest, ContentTestAndRegistration) {
    ASSERT_TRUE(Scene(QSize(10, 10), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("cwebp"), {"-quiet", Path("in.png"), "-o", Path("misnamed.png")}));
    EXPECT_EQ(FindClassByContent(Path("misnamed.png")), TWebPGraphic::StaticClass());
    EXPECT_EQ(FindClassByContent(Path("in.png")), nullptr);
    EXPECT_EQ(GraphicClassByExtension("webp"), TWebPGraphic::StaticClass());
    EXPECT_EQ(CreateGraphicFor(Path("misnamed.png"))->ClassType(), TWebPGraphic::StaticClass());
}

TEST(WebP, CliInfoAndConvert) {
    QTemporaryDir dir;
    const QString png = dir.filePath("in.png"), webp = dir.filePath("out.webp"), back = dir.filePath("back.png");
    const QImage source = Scene(QSize(30, 20), true);
    ASSERT_TRUE(source.save(png));
    QString out, err;
    ASSERT_EQ(RunCli({"convert", png, webp, "--option", "lossless=1"}, &out, &err), 0) << err.toStdString();
    ASSERT_EQ(RunCli({"convert", webp, back}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(SamePixels(QImage(back), source));
    ASSERT_EQ(RunCli({"info", webp}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("TWebPGraphic"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("30"))) << out.toStdString();
    EXPECT_NE(RunCli({"convert", png, webp, "--option", "quality=200"}, &out, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("quality takes 0 to 100"))) << err.toStdString();
}
