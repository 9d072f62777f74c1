#include "RasterFixtures.h"

#include "app/PictureEx.h"
#include "codec/Limits.h"
#include "codec/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// Every content-testable format opens by content under a name that says nothing, and no content test
// takes a file of another raster format (the formats without a signature must not grab other files).
TEST(ContentTests, EachFormatIsRecognisedAndNoOtherIsTaken) {
    const struct {
        const char* File;
        const char* Class;
    } cases[] = {{"rla/packedrgb.rla", "TRLAGraphic"},   {"rla/packedmatte.rpf", "TRLAGraphic"},
                 {"sgi/imrle.sgi", "TSGIGraphic"},       {"sgi/pillow.sgi", "TSGIGraphic"},
                 {"psd/imrgb.psd", "TPSDGraphic"},       {"psd/imlarge.psb", "TPSDGraphic"},
                 {"cel/animator.cel", "TAutodeskGraphic"}, {"cut/halo.cut", "TCUTGraphic"},
                 {"psp/v6rle.psp", "TPSPGraphic"},       {"psp/v5raw.psp", "TPSPGraphic"},
                 {"pcx/im24.pcx", ""},                   {"pcx/netpbm2bit.pcx", ""},
                 {"dcx/three.dcx", ""},                  {"tga/im24.tga", ""},
                 {"tga/packed16rtl.tga", ""},            {"tga/imgrey.tga", ""},
                 {"tga/netpbmcmap.tga", ""},             {"pcx/im1.pcx", ""}};
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const QString copy = dir.filePath(QStringLiteral("picture.dat"));
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(DataPath(QString::fromLatin1(c.File)), copy));
        TGraphicClass cls = FindClassByContent(copy);
        EXPECT_EQ(cls ? cls->ClassName : QString(), QString::fromLatin1(c.Class));
        if (*c.Class) {
            TPictureEx picture;
            picture.LoadFromFileName(copy);
            EXPECT_EQ(picture.Graphic()->ClassName(), QString::fromLatin1(c.Class));
            EXPECT_EQ(picture.Width(), 37);
        }
    }
}

// lumenor-cli reports class and size for a file of every format of this library part.
TEST(ContentTests, CommandLineInfoForEveryFormat) {
    const QStringList files = {"pcx/im24.pcx", "tga/im24rle.tga", "sgi/imrle.sgi", "psd/imrgb.psd", "psp/v6lz77.psp",
                               "rla/packedrgb.rla", "cut/halo.cut", "cel/animator.pic"};
    const QStringList classes = {"TPcxGraphic", "TTgaGraphic", "TSGIGraphic", "TPSDGraphic", "TPSPGraphic",
                                 "TRLAGraphic", "TCUTGraphic", "TAutodeskGraphic"};
    QStringList args = {QStringLiteral("info")};
    for (const QString& f : files) args << DataPath(f);
    QString out;
    ASSERT_EQ(RunCli(args, &out), 0) << out.toStdString();
    const QStringList lines = out.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(lines[i], DataPath(files[i]) + QLatin1Char('\t') + classes[i] + QStringLiteral("\t37x23\tpages=1\tframes=1"));
}

// Every decoder refuses a picture over the pixel limit before it allocates the picture.
TEST(ContentTests, EveryDecoderHonoursThePixelLimit) {
    const QStringList files = {"pcx/im24.pcx", "dcx/three.dcx",   "tga/im24rle.tga", "sgi/imrle.sgi", "psd/imrgb.psd",
                               "psp/v6lz77.psp", "rla/packedrgb.rla", "cut/halo.cut",   "cel/animator.cel"};
    const qint64 limit = PixelLimit();
    SetPixelLimit(100);
    for (const QString& f : files) {
        SCOPED_TRACE(f.toStdString());
        TPictureEx picture;
        try {
            picture.LoadFromFileName(DataPath(f));
            ADD_FAILURE() << "loaded over the limit";
        } catch (const EInvalidGraphic& e) {
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("The picture is too large"))) << e.Message().toStdString();
        }
    }
    SetPixelLimit(limit);
}

// The longer decoders report progress while they decode (the viewer shows it in the status bar).
TEST(ContentTests, DecodersReportProgress) {
    for (const char* f : {"pcx/im24.pcx", "dcx/three.dcx", "tga/im24rle.tga", "sgi/imrle.sgi", "psd/imrgb.psd"}) {
        SCOPED_TRACE(f);
        TPictureEx picture;
        QList<int> percents;
        picture.OnProgress = [&](TGraphic*, TProgressStage stage, quint8 percent, bool, const QRect&, const QString&) {
            if (stage == TProgressStage::psRunning) percents << percent;
        };
        picture.LoadFromFileName(DataPath(QString::fromLatin1(f)));
        ASSERT_FALSE(percents.isEmpty());
        EXPECT_EQ(percents.first(), 0);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_LE(percents.last(), 100);
    }
}

// lumenor-cli render draws a file of every format of this library part with the reference's pixels.
TEST(ContentTests, CommandLineRenderForEveryFormat) {
    const QStringList files = {"pcx/im24.pcx",   "tga/im24rle.tga",   "sgi/imrle.sgi", "psd/imrgb.psd",
                               "psp/v6lz77.psp", "rla/packedrgb.rla", "cut/halo.cut",  "cel/animator.pic"};
    QTemporaryDir dir;
    for (const QString& f : files) {
        SCOPED_TRACE(f.toStdString());
        const QString png = dir.filePath(QFileInfo(f).fileName() + QStringLiteral(".png"));
        ASSERT_EQ(RunCli({QStringLiteral("render"), DataPath(f), png}), 0);
        const QString reference = f == QLatin1String("psp/v6lz77.psp") ? QStringLiteral("psp/expected.png")
                                  : f == QLatin1String("cel/animator.pic") ? QStringLiteral("cel/animator.png")
                                                                            : f.section('.', 0, -2) + QStringLiteral(".png");
        EXPECT_TRUE(SamePixels(QImage(png), QImage(DataPath(reference))));
    }
}
