#include "TestUtil.h"

#include "codec/Avif.h"
#include "codec/Heif.h"
#include "codec/Limits.h"
#include "codec/Registry.h"

#include <QFile>
#include <QImage>
#include <QTransform>

namespace {

// A picture that shows every turn and mirror: colours change along both axes, a marker sits in a corner.
QImage Scene(QSize size, bool alpha) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int a = alpha ? 60 + (x * 195) / std::max(1, size.width() - 1) : 255;
            const bool marker = x < size.width() / 4 && y < size.height() / 4;
            image.setPixel(x, y, marker ? qRgba(255, 255, 255, a)
                                        : qRgba((x * 255) / std::max(1, size.width() - 1), (y * 255) / std::max(1, size.height() - 1), 90, a));
        }
    return image;
}

QString Tool(const char* name) { return QStringLiteral("/usr/bin/") + QLatin1String(name); }

template <class T> std::unique_ptr<T> LoadFile(const QString& path) {
    auto g = std::make_unique<T>();
    g->LoadFromFileName(path);
    return g;
}

class AvifHeifTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(Tool("avifenc"))) << "libavif-bin is one of the test packages";
        ASSERT_TRUE(QFile::exists(Tool("heif-enc"))) << "libheif-examples is one of the test packages";
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // The picture a reference decoder writes as an 8-bit PNG.
    QImage Reference(const QString& program, QStringList args) {
        const QString png = Path(QStringLiteral("reference-%1.png").arg(++Count));
        args << png;
        EXPECT_TRUE(RunTool(Tool(program.toLatin1().constData()), args));
        return QImage(png);
    }
    QTemporaryDir Dir;
    int Count = 0;
};

} // namespace

TEST_F(AvifHeifTest, AvifLosslessKeepsThePixels) {
    const QImage source = Scene(QSize(48, 32), false);
    ASSERT_TRUE(source.save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"--lossless", Path("in.png"), Path("a.avif")}));
    auto g = LoadFile<TAvifGraphic>(Path("a.avif"));
    EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(48, 32));
    EXPECT_EQ(g->FileDepth(), 8);
    EXPECT_FALSE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(SamePixels(g->Image(), source));
}

TEST_F(AvifHeifTest, AvifLossyWithAlphaMatchesAvifdec) {
    ASSERT_TRUE(Scene(QSize(40, 40), true).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {"--min", "20", "--max", "30", Path("in.png"), Path("b.avif")}));
    auto g = LoadFile<TAvifGraphic>(Path("b.avif"));
    ASSERT_TRUE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(g->Transparent());
    EXPECT_TRUE(SamePixels(g->Image(), Reference("avifdec", {"-d", "8", Path("b.avif")}), 1));
}

TEST_F(AvifHeifTest, AvifTenAndTwelveBitsComeDownToEight) {
    QImage deep = Scene(QSize(36, 20), false).convertToFormat(QImage::Format_RGBX64);
    ASSERT_TRUE(deep.save(Path("in16.png")));
    for (const char* depth : {"10", "12"}) {
        SCOPED_TRACE(depth);
        const QString file = Path(QStringLiteral("d%1.avif").arg(QLatin1String(depth)));
        ASSERT_TRUE(RunTool(Tool("avifenc"), {"-d", depth, "--min", "0", "--max", "10", Path("in16.png"), file}));
        auto g = LoadFile<TAvifGraphic>(file);
        EXPECT_EQ(g->FileDepth(), QByteArray(depth).toInt());
        // avifdec's 16-bit output brought to 8 bits by Qt: the same within the rounding of the library's
        // direct 10/12 to 8-bit conversion (up to 2 levels).
        const QImage reference = Reference("avifdec", {"-d", "16", file}).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(SamePixels(g->Image(), reference, 2));
    }
}

// Each rotation (anti-clockwise quarter turns) and mirror of the file is applied, rotation first.
TEST_F(AvifHeifTest, AvifRotationAndMirror) {
    const QImage source = Scene(QSize(30, 18), false);
    ASSERT_TRUE(source.save(Path("in.png")));
    struct TCase {
        int Angle;
        int Mirror; // -1 none
    };
    for (const TCase c : {TCase{1, -1}, TCase{2, -1}, TCase{3, -1}, TCase{0, 0}, TCase{0, 1}, TCase{1, 0}, TCase{1, 1}, TCase{3, 1}}) {
        SCOPED_TRACE(QStringLiteral("irot %1 imir %2").arg(c.Angle).arg(c.Mirror).toStdString());
        QStringList args = {"--lossless"};
        if (c.Angle) args << "--irot" << QString::number(c.Angle);
        if (c.Mirror >= 0) args << "--imir" << QString::number(c.Mirror);
        const QString file = Path(QStringLiteral("r%1%2.avif").arg(c.Angle).arg(c.Mirror));
        ASSERT_TRUE(RunTool(Tool("avifenc"), args << Path("in.png") << file));
        QImage expected = source.transformed(QTransform().rotate(-90.0 * c.Angle));
        if (c.Mirror == 0) expected = expected.mirrored(false, true);
        if (c.Mirror == 1) expected = expected.mirrored(true, false);
        auto g = LoadFile<TAvifGraphic>(file);
        EXPECT_TRUE(SamePixels(g->Image(), expected));
    }
}

TEST(Avif, OrientationOfTransformAgreesWithExif) {
    EXPECT_EQ(OrientationOfTransform(0, -1), 1);
    EXPECT_EQ(OrientationOfTransform(1, -1), 8);
    EXPECT_EQ(OrientationOfTransform(2, -1), 3);
    EXPECT_EQ(OrientationOfTransform(3, -1), 6);
    EXPECT_EQ(OrientationOfTransform(0, 1), 2);
    EXPECT_EQ(OrientationOfTransform(0, 0), 4);
    EXPECT_EQ(OrientationOfTransform(3, 1), 5);
    EXPECT_EQ(OrientationOfTransform(1, 1), 7);
}

TEST_F(AvifHeifTest, AvifWriteFollowsQualityAndKeepsAlpha) {
    const QImage source = Scene(QSize(64, 48), true);
    TAvifGraphic low, high;
    low.SetImage(source);
    high.SetImage(source);
    ASSERT_TRUE(low.SetSaveOption("quality", "10"));
    ASSERT_TRUE(high.SetSaveOption("quality", "95"));
    ASSERT_TRUE(high.SetSaveOption("speed", "8"));
    ASSERT_TRUE(low.SetSaveOption("speed", "8"));
    const QByteArray lowBytes = Save(low), highBytes = Save(high);
    EXPECT_LT(lowBytes.size(), highBytes.size());
    WriteFile(Path("high.avif"), highBytes);
    const QImage reference = Reference("avifdec", {"-d", "8", Path("high.avif")});
    ASSERT_TRUE(reference.hasAlphaChannel());
    EXPECT_TRUE(SamePixels(reference, source, 24)) << "quality 95 stays close to the source";
    EXPECT_TRUE(SamePixels(LoadGraphic<TAvifGraphic>(highBytes)->Image(), reference, 1));
    try {
        low.SetSaveOption("quality", "-1");
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The option quality takes 0 to 100, not '-1'"));
    }
    EXPECT_FALSE(low.SetSaveOption("lossless", "1"));
}

TEST_F(AvifHeifTest, DamagedFilesFailClearlyAndLimitsHold) {
    ASSERT_TRUE(Scene(QSize(64, 64), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {Path("in.png"), Path("e.avif")}));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "50", Path("in.png"), "-o", Path("e.heic")}));
    const QByteArray avif = ReadFile(Path("e.avif")), heif = ReadFile(Path("e.heic"));
    try {
        LoadGraphic<TAvifGraphic>(avif.left(avif.size() / 2));
        FAIL() << "half an AVIF file";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot "))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("AVIF picture"))) << e.Message().toStdString();
    }
    try {
        LoadGraphic<THeifGraphic>(heif.left(heif.size() / 2));
        FAIL() << "half a HEIF file";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("HEIF picture"))) << e.Message().toStdString();
    }
    EXPECT_THROW(LoadGraphic<TAvifGraphic>(QByteArray("not a picture at all")), EInvalidGraphic);
    EXPECT_THROW(LoadGraphic<THeifGraphic>(QByteArray("not a picture at all")), EInvalidGraphic);
    const qint64 old = PixelLimit();
    SetPixelLimit(1000);
    EXPECT_THROW(LoadGraphic<TAvifGraphic>(avif), EPictureTooLarge);
    EXPECT_THROW(LoadGraphic<THeifGraphic>(heif), EPictureTooLarge);
    SetPixelLimit(old);
}

TEST_F(AvifHeifTest, HeicMatchesHeifConvert) {
    ASSERT_TRUE(Scene(QSize(64, 40), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "80", Path("in.png"), "-o", Path("a.heic")}));
    auto g = LoadFile<THeifGraphic>(Path("a.heic"));
    EXPECT_EQ(g->FileDepth(), 8);
    EXPECT_TRUE(SamePixels(g->Image(), Reference("heif-convert", {Path("a.heic")}), 1));
}

TEST_F(AvifHeifTest, HeicWithAlphaAndTenBits) {
    ASSERT_TRUE(Scene(QSize(48, 32), true).save(Path("alpha.png")));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "90", Path("alpha.png"), "-o", Path("alpha.heic")}));
    auto g = LoadFile<THeifGraphic>(Path("alpha.heic"));
    ASSERT_TRUE(g->Image().hasAlphaChannel());
    EXPECT_TRUE(SamePixels(g->Image(), Reference("heif-convert", {Path("alpha.heic")}), 1));

    ASSERT_TRUE(Scene(QSize(48, 32), false).convertToFormat(QImage::Format_RGBX64).save(Path("in16.png")));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-b", "10", "-q", "90", Path("in16.png"), "-o", Path("deep.heic")}));
    auto deep = LoadFile<THeifGraphic>(Path("deep.heic"));
    EXPECT_EQ(deep->FileDepth(), 10);
    // heif-convert writes 16-bit PNG for 10-bit files; brought to 8 bits by Qt.
    const QImage reference = Reference("heif-convert", {Path("deep.heic")}).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(SamePixels(deep->Image(), reference, 1));
}

// heif-enc keeps a JPEG's EXIF block without turning the picture (no irot): the orientation counts.
TEST_F(AvifHeifTest, HeicExifOrientationWithoutIrot) {
    const QImage source = Scene(QSize(40, 24), false);
    ASSERT_TRUE(source.save(Path("plain.jpg"), "JPEG", 95));
    // An EXIF APP1 segment built from the published layout: one IFD entry, Orientation = 6.
    QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1");
    segment.append(char((app1.size() + 2) >> 8)).append(char((app1.size() + 2) & 0xFF)).append(app1);
    const QByteArray jpeg = ReadFile(Path("plain.jpg"));
    WriteFile(Path("o6.jpg"), jpeg.left(2) + segment + jpeg.mid(2));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {"-q", "90", Path("o6.jpg"), "-o", Path("o6.heic")}));
    auto g = LoadFile<THeifGraphic>(Path("o6.heic"));
    EXPECT_EQ(g->ExifOrientationApplied(), 6);
    EXPECT_EQ(QSize(g->Width(), g->Height()), QSize(24, 40));
    const QImage upright = Reference("heif-convert", {Path("o6.heic")});
    EXPECT_TRUE(SamePixels(g->Image(), upright.transformed(QTransform().rotate(90)), 1));
}

TEST_F(AvifHeifTest, ContentTestsTellAvifFromHeif) {
    ASSERT_TRUE(Scene(QSize(16, 16), false).save(Path("in.png")));
    ASSERT_TRUE(RunTool(Tool("avifenc"), {Path("in.png"), Path("avif.jpg")}));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {Path("in.png"), "-o", Path("heic.heic")}));
    QFile::rename(Path("heic.heic"), Path("heic.png"));
    EXPECT_EQ(FindClassByContent(Path("avif.jpg")), TAvifGraphic::StaticClass());
    EXPECT_EQ(FindClassByContent(Path("heic.png")), THeifGraphic::StaticClass());
    EXPECT_EQ(CreateGraphicFor(Path("heic.png"))->ClassType(), THeifGraphic::StaticClass());
    EXPECT_EQ(GraphicClassByExtension("HEIC"), THeifGraphic::StaticClass());
    EXPECT_EQ(GraphicClassByExtension("hif"), THeifGraphic::StaticClass());
    EXPECT_EQ(GraphicClassByExtension("avif"), TAvifGraphic::StaticClass());
}

TEST_F(AvifHeifTest, CliConvertsToAndFromAvif) {
    ASSERT_TRUE(Scene(QSize(20, 12), false).save(Path("in.png")));
    QString out, err;
    ASSERT_EQ(RunCli({"convert", Path("in.png"), Path("out.avif"), "--option", "quality=100"}, &out, &err), 0) << err.toStdString();
    ASSERT_EQ(RunCli({"convert", Path("out.avif"), Path("back.png")}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(SamePixels(QImage(Path("back.png")), Scene(QSize(20, 12), false), 12));
    ASSERT_TRUE(RunTool(Tool("heif-enc"), {Path("in.png"), "-o", Path("in.heic")}));
    ASSERT_EQ(RunCli({"info", Path("in.heic")}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("THeifGraphic\t20x12"))) << out.toStdString();
}
