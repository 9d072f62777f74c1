// The header probe against the full decode, and loads reduced for a target size.
#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "codec/Probe.h"
#include "codec/Registry.h"

#include <QDirIterator>
#include <QFileInfo>

#include <cmath>

namespace {

QString Describe(const TProbe& p) {
    return QStringLiteral("%1 %2x%3 pages=%4 frames=%5")
        .arg(p.Class ? p.Class->ClassName : QStringLiteral("?"))
        .arg(p.Info.Width)
        .arg(p.Info.Height)
        .arg(p.Info.Pages)
        .arg(p.Info.Frames);
}

} // namespace

// Every fixture that decodes: the probe gives the class, size, pages and frames of the full decode, and
// the common formats answer from their headers.
TEST(ProbeTest, AgreesWithTheFullDecodeForEveryFixture) {
    QDirIterator it(DataPath(QString()), QDir::Files, QDirIterator::Subdirectories);
    int compared = 0;
    QMap<QString, int> fromHeader;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString ext = QFileInfo(path).suffix().toLower();
        if (ext == QLatin1String("py") || ext == QLatin1String("md") || ext == QLatin1String("txt")) continue;
        TProbe decoded;
        try {
            decoded = ProbeFileByDecoding(path);
        } catch (const Exception&) {
            continue; // not a picture we read; the probe may say more or less about it
        }
        if (decoded.Truncated) continue; // a header cannot know that the data end early
        TProbe probe;
        try {
            probe = ProbeFile(path);
        } catch (const Exception& e) {
            ADD_FAILURE() << path.toStdString() << ": the probe raised '" << e.Message().toStdString()
                          << "' where the decode gave " << Describe(decoded).toStdString();
            continue;
        }
        EXPECT_EQ(Describe(probe), Describe(decoded)) << path.toStdString();
        if (probe.FromHeader) ++fromHeader[probe.Class->ClassName];
        ++compared;
    }
    EXPECT_GT(compared, 150);
    for (const char* cls : {"TJpegGraphic", "TPngGraphic", "TGIFImage", "TTiffGraphic", "TBitmap", "TIcon", "TSGIGraphic", "TRLAGraphic",
                            "TPSPGraphic", "TCursorGraphic", "TAniGraphic", "TAVIGraphic"})
        EXPECT_GT(fromHeader.value(QString::fromLatin1(cls)), 2) << cls << " never answered from its header";
}

// Headers that are not what they say fail as the decoder fails; a picture over the pixel limit is
// refused by the probe too.
TEST(ProbeTest, BadHeadersAndLimits) {
    QTemporaryDir dir;
    const QString notJpeg = dir.filePath(QStringLiteral("x.jpg"));
    WriteFile(notJpeg, QByteArray("GIF89a not a jpeg at all"));
    try {
        ProbeFile(notJpeg);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not a JPEG file: starts with 0x47 0x49"));
    }
    // A JPEG frame header of 60000 x 60000 with nothing after it.
    QByteArray huge = QByteArray::fromHex("ffd8ffc0000b08ea60ea600301220011");
    const QString big = dir.filePath(QStringLiteral("big.jpg"));
    WriteFile(big, huge);
    EXPECT_THROW(ProbeFile(big), EInvalidGraphic);
    const QString missing = dir.filePath(QStringLiteral("missing.png"));
    EXPECT_THROW(ProbeFile(missing), Exception);
}

// A JPEG asked for at least a given size decodes at the smallest DCT scale that covers it, keeps its
// full size, and looks like the full picture scaled down.
TEST(ProbeTest, JpegLoadsReducedToTheSizeAskedFor) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(RunTool(QStringLiteral("convert"), {QStringLiteral("-size"), QStringLiteral("1000x600"),
                                                     QStringLiteral("gradient:red-blue"), QStringLiteral("-quality"),
                                                     QStringLiteral("92"), path}));
    TJpegGraphic full;
    full.LoadFromFileName(path);
    ASSERT_EQ(full.FullSize(), QSize(1000, 600));
    EXPECT_FALSE(full.Reduced());

    struct Case {
        QSize AtLeast;
        QSize Decoded;
    };
    for (const Case& c : {Case{{200, 100}, {250, 150}}, Case{{125, 75}, {125, 75}}, Case{{126, 75}, {250, 150}},
                          Case{{400, 300}, {500, 300}}, Case{{501, 10}, {1000, 600}}, Case{{2000, 2000}, {1000, 600}}}) {
        TJpegGraphic reduced;
        reduced.SetLoadSize(c.AtLeast);
        reduced.LoadFromFileName(path);
        EXPECT_EQ(QSize(reduced.Width(), reduced.Height()), c.Decoded) << c.AtLeast.width() << "x" << c.AtLeast.height();
        EXPECT_EQ(reduced.FullSize(), QSize(1000, 600));
        EXPECT_EQ(reduced.Reduced(), c.Decoded != QSize(1000, 600));
        const QImage expected = full.Image().scaled(c.Decoded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_TRUE(SamePixels(reduced.Image().convertToFormat(QImage::Format_RGB32),
                               expected.convertToFormat(QImage::Format_RGB32), 12));
    }
    // A reduced picture that is changed afterwards is no longer reduced: its own pixels are the picture.
    TJpegGraphic changed;
    changed.SetLoadSize(QSize(200, 100));
    changed.LoadFromFileName(path);
    QImage image = changed.Image();
    image.setPixel(0, 0, qRgb(1, 2, 3));
    changed.SetImage(image);
    EXPECT_EQ(changed.FullSize(), QSize(250, 150));
    EXPECT_FALSE(changed.Reduced());
}

// The Exif orientation turns the probed size as it turns the decoded picture.
TEST(ProbeTest, JpegOrientationTurnsTheProbedSize) {
    const QString path = DataPath(QStringLiteral("jpeg/exif8.jpg"));
    const TProbe probe = ProbeFile(path);
    ASSERT_TRUE(probe.FromHeader);
    TJpegGraphic g;
    g.LoadFromFileName(path);
    EXPECT_EQ(QSize(probe.Info.Width, probe.Info.Height), QSize(g.Width(), g.Height()));
    EXPECT_NE(g.Width(), g.Height());
}

// Today's formats and Photoshop files made by their own tools answer from their headers, as decoded.
TEST(ProbeTest, FilesOfOtherToolsAnswerFromTheirHeaders) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("in.png"));
    ASSERT_TRUE(RunTool(QStringLiteral("convert"), {"-size", "37x21", "gradient:red-blue", png}));
    const QString second = dir.filePath(QStringLiteral("second.png"));
    ASSERT_TRUE(RunTool(QStringLiteral("convert"), {"-size", "37x21", "xc:green", second}));
    struct Made {
        QString Name;
        QString Program;
        QStringList Args;
    };
    const QString webp = dir.filePath(QStringLiteral("still.webp")), anim = dir.filePath(QStringLiteral("anim.webp"));
    const QString psd = dir.filePath(QStringLiteral("p.psd")), exr = dir.filePath(QStringLiteral("p.exr"));
    const QList<Made> made = {
        {webp, QStringLiteral("cwebp"), {"-quiet", png, "-o", webp}},
        {anim, QStringLiteral("img2webp"), {"-loop", "0", png, second, png, "-o", anim}},
        {psd, QStringLiteral("convert"), {png, psd}},
        {exr, QStringLiteral("convert"), {png, exr}},
    };
    for (const Made& m : made) {
        ASSERT_TRUE(RunTool(m.Program, m.Args)) << m.Name.toStdString();
        const TProbe decoded = ProbeFileByDecoding(m.Name);
        const TProbe probe = ProbeFile(m.Name);
        EXPECT_TRUE(probe.FromHeader) << m.Name.toStdString();
        EXPECT_EQ(Describe(probe), Describe(decoded)) << m.Name.toStdString();
    }
    EXPECT_EQ(ProbeFile(anim).Info.Frames, 3);
}
