#include "TestUtil.h"

#include "codec/Gif.h"
#include "formats/raster/AVIGraph.h"
#include "platform/VideoBackend.h"
#include "platform/VideoFile.h"
#include "tools/ConvertFmt.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {
QString AviPath(const QString& name) { return DataPath(QStringLiteral("avi/") + name); }

// Points the module search at one folder only, and puts the environment and the module back afterwards.
class TModuleDirOnly {
public:
    explicit TModuleDirOnly(const QString& dir)
        : FDir(qgetenv("LUMENOR_MODULE_DIR")), FNoFallback(qgetenv("LUMENOR_MODULE_NO_FALLBACK")),
          FHadDir(qEnvironmentVariableIsSet("LUMENOR_MODULE_DIR")),
          FHadNoFallback(qEnvironmentVariableIsSet("LUMENOR_MODULE_NO_FALLBACK")) {
        qputenv("LUMENOR_MODULE_DIR", QFile::encodeName(dir));
        qputenv("LUMENOR_MODULE_NO_FALLBACK", "1");
        ReloadVideoModule();
    }
    ~TModuleDirOnly() {
        if (FHadDir) qputenv("LUMENOR_MODULE_DIR", FDir); else qunsetenv("LUMENOR_MODULE_DIR");
        if (FHadNoFallback) qputenv("LUMENOR_MODULE_NO_FALLBACK", FNoFallback); else qunsetenv("LUMENOR_MODULE_NO_FALLBACK");
        ReloadVideoModule();
    }

private:
    QByteArray FDir, FNoFallback;
    bool FHadDir, FHadNoFallback;
};

QString LoadError(const QString& fileName) {
    TAVIGraphic g;
    try {
        g.LoadFromFileName(fileName);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

int RunCliIn(const QProcessEnvironment& env, const QStringList& args, QString* out, QString* err) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMENOR_CLI), args);
    if (!p.waitForFinished(120000)) return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
} // namespace

TEST(VideoModule, SearchesTheGivenFolderFirstAndOnlyItWithoutFallback) {
    QTemporaryDir empty;
    {
        TModuleDirOnly only(empty.path());
        EXPECT_EQ(VideoModuleSearchPath(), QStringList{empty.path()});
        qunsetenv("LUMENOR_MODULE_NO_FALLBACK");
        const QStringList all = VideoModuleSearchPath();
        ASSERT_GE(all.size(), 3);
        EXPECT_EQ(all[0], empty.path());
        // The program's own folder next, then the build folder and the installed module folder.
        EXPECT_EQ(all[1], QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(QLatin1Char('/'), 0, -2));
        EXPECT_TRUE(all.last().endsWith(QStringLiteral("/lumenor"))) << all.last().toStdString();
        // The tests run inside the build folder, which therefore is searched (and holds the module).
        const QString buildDir = QFileInfo(QFileInfo(QStringLiteral(LUMENOR_CLI)).absolutePath()).canonicalFilePath();
        EXPECT_TRUE(all.contains(buildDir)) << all.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(QFileInfo::exists(buildDir + QStringLiteral("/liblumenor-video.so")));
        QStringList unique = all;
        unique.removeDuplicates();
        EXPECT_EQ(unique, all);
    }
    // Put back: the tests' own module loads again.
    ASSERT_NE(VideoModule(), nullptr) << VideoSupportError().toStdString();
    EXPECT_TRUE(VideoSupportError().isEmpty());
}

TEST(VideoModule, WithoutTheModuleClipsFailToOpenWithTheReason) {
    QTemporaryDir empty;
    const QString expected = QStringLiteral("Video support is not installed (%1: cannot open shared object file: No such file or directory)")
                                 .arg(QDir(empty.path()).filePath(QStringLiteral("liblumenor-video.so")));
    {
        TModuleDirOnly only(empty.path());
        EXPECT_EQ(VideoModule(), nullptr);
        EXPECT_EQ(VideoSupportError(), expected);

        // The graphic says why, for every clip, and nothing is left open.
        EXPECT_EQ(LoadError(AviPath(QStringLiteral("raw24.avi"))), expected);
        EXPECT_EQ(LoadError(AviPath(QStringLiteral("mjpeg.avi"))), expected);

        TVideoFile v;
        EXPECT_FALSE(v.OpenFile(AviPath(QStringLiteral("raw24.avi"))));
        EXPECT_FALSE(v.OpenVideoStream());
        EXPECT_FALSE(v.OpenFrameReader());
        TVideoStreamInfo info;
        EXPECT_FALSE(v.StreamInfo(info));
        EXPECT_TRUE(v.Frame(0).isNull());
        EXPECT_FALSE(v.IsFileOpen());
        EXPECT_EQ(v.SeekCount(), 0);
        v.Close();

        // No compressors, and writing fails with the reason, leaving nothing on disk.
        EXPECT_TRUE(VideoEncoders().isEmpty());
        EXPECT_FALSE(TVideoWriter::Trial(QStringLiteral("mjpeg"), QSize(32, 24)));
        QTemporaryDir out;
        const QString clip = out.filePath(QStringLiteral("out.avi"));
        TVideoWriter w;
        EXPECT_FALSE(w.Create(clip));
        EXPECT_FALSE(w.CreateStream({QSize(32, 24), 1, 10}, TVideoWriter::TPixels::Rgb24));
        EXPECT_FALSE(w.SetFormat());
        EXPECT_FALSE(w.WriteFrame(QImage(32, 24, QImage::Format_RGB32)));
        EXPECT_FALSE(w.Finish());
        EXPECT_EQ(w.FramesWritten(), 0);
        EXPECT_EQ(w.ErrorString(), expected);
        EXPECT_FALSE(QFileInfo::exists(clip));

        // A conversion to AVI reports it too.
        TGIFImage gif;
        gif.LoadFromFileName(DataPath(QStringLiteral("gif/anim.gif")));
        try {
            ConvertGraphic(&gif, clip, DefaultPictureOption, false, 0xFFFFFF, QString());
            ADD_FAILURE() << "the conversion succeeded without the module";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), expected);
        }
        EXPECT_TRUE(QDir(out.path()).isEmpty());
    }
    // With the module back, the same clip opens.
    EXPECT_EQ(LoadError(AviPath(QStringLiteral("raw24.avi"))), QString());
    EXPECT_FALSE(VideoEncoders(QSize(32, 24)).isEmpty());
}

TEST(VideoModule, AModuleThatDoesNotLoadIsNamed) {
    // A file of the module's name that is not a library: its own error wins over the folders without one.
    QTemporaryDir dir;
    const QString fake = QDir(dir.path()).filePath(QStringLiteral("liblumenor-video.so"));
    WriteFile(fake, QByteArray("not a library\n"));
    TModuleDirOnly only(dir.path());
    EXPECT_EQ(VideoModule(), nullptr);
    const QString error = VideoSupportError();
    EXPECT_TRUE(error.startsWith(QStringLiteral("Video support is not installed (") + fake + QLatin1Char(':'))) << error.toStdString();
    EXPECT_FALSE(error.contains(QStringLiteral("No such file"))) << error.toStdString();
    EXPECT_EQ(LoadError(AviPath(QStringLiteral("raw24.avi"))), error);
}

TEST(VideoModule, TheCommandLineReportsAMissingModule) {
    QTemporaryDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMENOR_MODULE_DIR"), empty.path());
    env.insert(QStringLiteral("LUMENOR_MODULE_NO_FALLBACK"), QStringLiteral("1"));
    const QString clip = AviPath(QStringLiteral("raw24.avi"));
    const QString reason = QStringLiteral("Video support is not installed (%1: cannot open shared object file: No such file or directory)")
                               .arg(QDir(empty.path()).filePath(QStringLiteral("liblumenor-video.so")));
    QString out, err;
    EXPECT_EQ(RunCliIn(env, {QStringLiteral("info"), QStringLiteral("--full"), clip}, &out, &err), 1);
    EXPECT_EQ(out, clip + QStringLiteral("\terror\t") + reason + QLatin1Char('\n'));
    EXPECT_EQ(err, QString());
    // The clip's headers are read without the module.
    EXPECT_EQ(RunCliIn(env, {QStringLiteral("info"), clip}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, clip + QStringLiteral("\tTAVIGraphic\t32x24\tpages=1\tframes=8\n"));

    EXPECT_EQ(RunCliIn(env, {QStringLiteral("convert"), QStringLiteral("--list-compressors")}, &out, &err), 1);
    EXPECT_EQ(out, QString());
    EXPECT_EQ(err, QStringLiteral("lumenor-cli: %1\n").arg(reason));

    // Pictures other than clips are untouched.
    EXPECT_EQ(RunCliIn(env, {QStringLiteral("info"), DataPath(QStringLiteral("gif/anim.gif"))}, &out, &err), 0) << err.toStdString();

    // Found beside the program (or in the build folder), the module reads the clip.
    env.remove(QStringLiteral("LUMENOR_MODULE_DIR"));
    env.remove(QStringLiteral("LUMENOR_MODULE_NO_FALLBACK"));
    EXPECT_EQ(RunCliIn(env, {QStringLiteral("info"), QStringLiteral("--full"), clip}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\t32x24\t"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("frames=8"))) << out.toStdString();
}
