#include "TestUtil.h"

#include "codec/Jpeg.h"
#include "tools/Thumbnail.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace {

// Points the desktop cache of the child processes at a folder of the test, for the test's lifetime.
class TCacheHome {
public:
    explicit TCacheHome(const QString& dir) : FOld(qgetenv("XDG_CACHE_HOME")), FHad(qEnvironmentVariableIsSet("XDG_CACHE_HOME")) {
        qputenv("XDG_CACHE_HOME", dir.toLocal8Bit());
    }
    ~TCacheHome() {
        if (FHad) qputenv("XDG_CACHE_HOME", FOld);
        else qunsetenv("XDG_CACHE_HOME");
    }

private:
    QByteArray FOld;
    bool FHad;
};

} // namespace

TEST(ThumbnailsCli, OnePreviewPerPictureSharedCacheAndFailures) {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in")), out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(in);
    TCacheHome home(dir.filePath(QStringLiteral("cache")));
    {
        TJpegGraphic jpeg;
        jpeg.SetImage(MakeTestImage(900, 300));
        jpeg.SaveToFileName(in + QStringLiteral("/wide.jpg"));
    }
    ASSERT_TRUE(MakeTestImage(30, 60, true).save(in + QStringLiteral("/tall.png")));
    WriteFile(in + QStringLiteral("/grey.pgm"), QByteArray("P2\n2 1\n255\n0 255\n"));
    WriteFile(in + QStringLiteral("/broken.gif"), QByteArray("GIF89a"));
    WriteFile(in + QStringLiteral("/locked.cif"), QByteArray("whatever"));
    WriteFile(in + QStringLiteral("/notes.txt"), QByteArray("not a picture"));

    QString stdOut, stdErr;
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), in, out, QStringLiteral("--size"), QStringLiteral("120x90")}, &stdOut, &stdErr), 1);
    EXPECT_TRUE(stdOut.isEmpty()) << stdOut.toStdString(); // no progress line when stdout is not a terminal
    EXPECT_TRUE(stdErr.contains(in + QStringLiteral("/broken.gif: "))) << stdErr.toStdString();
    EXPECT_EQ(stdErr.count(QStringLiteral("lumenor-cli: ")), 1) << stdErr.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              QStringList({QStringLiteral("grey.pgm.png"), QStringLiteral("locked.cif.png"), QStringLiteral("tall.png.png"),
                           QStringLiteral("wide.jpg.png")}));
    EXPECT_EQ(QImage(out + QStringLiteral("/wide.jpg.png")).size(), QSize(120, 40));
    EXPECT_EQ(QImage(out + QStringLiteral("/tall.png.png")).size(), QSize(45, 90));
    const QImage grey(out + QStringLiteral("/grey.pgm.png"));
    ASSERT_EQ(grey.size(), QSize(120, 60));
    EXPECT_LT(qGray(grey.pixel(0, 30)), 30);
    EXPECT_GT(qGray(grey.pixel(119, 30)), 225);

    // The cache entries name their files; a second run takes the previews from them.
    const QString wide = in + QStringLiteral("/wide.jpg");
    const QString entry = dir.filePath(QStringLiteral("cache/thumbnails/normal/")) + ThumbnailCacheName(wide);
    const QImage reader(entry);
    ASSERT_FALSE(reader.isNull()) << entry.toStdString();
    EXPECT_EQ(reader.text(QStringLiteral("Thumb::URI")), QStringLiteral("file://") + wide);
    EXPECT_EQ(reader.text(QStringLiteral("Thumb::MTime")), QString::number(QFileInfo(wide).lastModified().toSecsSinceEpoch()));
    QImage red(128, 43, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    WriteFile(entry, EncodePngWithText(red, {{"Thumb::URI", ThumbnailUri(wide)},
                                             {"Thumb::MTime", reader.text(QStringLiteral("Thumb::MTime")).toLatin1()},
                                             {"Thumb::Image::Width", "900"}, {"Thumb::Image::Height", "300"}}));
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), in, out, QStringLiteral("--size"), QStringLiteral("120x90")}), 1);
    EXPECT_EQ(QImage(out + QStringLiteral("/wide.jpg.png")).pixel(60, 20), qRgb(255, 0, 0));

    // Touching the picture makes the entry stale.
    {
        QFile f(wide);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), in, out, QStringLiteral("--size"), QStringLiteral("120x90")}), 1);
    EXPECT_NE(QImage(out + QStringLiteral("/wide.jpg.png")).pixel(60, 20), qRgb(255, 0, 0));
}

TEST(ThumbnailsCli, UsageErrorsAndEmptyFolders) {
    QTemporaryDir dir;
    QString err;
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), dir.path()}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("thumbnails needs DIR and OUTDIR")));
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), dir.path(), dir.filePath(QStringLiteral("o")), QStringLiteral("--size"), QStringLiteral("0x5")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("invalid size '0x5'")));
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), dir.filePath(QStringLiteral("nope")), dir.filePath(QStringLiteral("o"))}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("is not a folder")));
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), dir.path(), dir.filePath(QStringLiteral("o"))}), 0);
    QString out;
    EXPECT_EQ(RunCli({QStringLiteral("thumbnails"), QStringLiteral("--help")}, &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("thumbnails DIR OUTDIR [--size WxH]")));
}
