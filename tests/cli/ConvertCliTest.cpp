#include "TestUtil.h"

#include "codec/Gif.h"
#include "formats/raster/AVIGraph.h"

#include <QDir>
#include <QFile>

namespace {

class ConvertCli : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QStringList Files() const { return QDir(Dir.path()).entryList(QDir::Files, QDir::Name); }
};

} // namespace

TEST_F(ConvertCli, AnimationsBothWays) {
    const QString ani = DataPath("ani/spin.ani");
    QString err;
    ASSERT_EQ(RunCli({"convert", ani, Path("s.gif"), "--animated", "--option", "transparent=0", "--option", "dither=floyd"},
                     nullptr, &err),
              0)
        << err.toStdString();
    TGIFImage gif;
    gif.LoadFromFileName(Path("s.gif"));
    ASSERT_EQ(gif.FrameCount(), 3);
    EXPECT_EQ(gif.Frame(2).TransparentIndex, -1);
    EXPECT_EQ(gif.LoopCount(), 0);
    // Without --animated a cursor becomes a still GIF of the frame shown.
    ASSERT_EQ(RunCli({"convert", ani, Path("still.gif")}), 0);
    gif.LoadFromFileName(Path("still.gif"));
    EXPECT_EQ(gif.FrameCount(), 1);
    // An animated GIF or a cursor becomes a clip; the compressor is an option.
    ASSERT_EQ(RunCli({"convert", DataPath("gif/anim.gif"), Path("a.avi"), "--option", "compressor=ffv1"}, nullptr, &err), 0)
        << err.toStdString();
    TAVIGraphic clip;
    clip.LoadFromFileName(Path("a.avi"));
    EXPECT_EQ(clip.FrameCount(), 5);
    QByteArray codec;
    ASSERT_TRUE(RunTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", Path("a.avi")}, &codec));
    EXPECT_EQ(codec.trimmed(), QByteArray("ffv1"));
    ASSERT_EQ(RunCli({"convert", Path("a.avi"), Path("back.gif"), "--animated"}), 0);
    gif.LoadFromFileName(Path("back.gif"));
    EXPECT_EQ(gif.FrameCount(), 5);

    // Keys the path does not know are usage errors; nothing is written.
    EXPECT_EQ(RunCli({"convert", ani, Path("x.gif"), "--animated", "--option", "interlace=1"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("the animated GIF format has no option 'interlace'"))) << err.toStdString();
    EXPECT_EQ(RunCli({"convert", ani, Path("x.avi"), "--option", "gamma=2"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("the AVI format has no option 'gamma'"))) << err.toStdString();
    EXPECT_EQ(RunCli({"convert", ani, Path("x.avi"), "--option", "compressor=nonesuch"}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Failed to compress the save options for AVI stream"))) << err.toStdString();
    EXPECT_EQ(Files(), QStringList({"a.avi", "back.gif", "s.gif", "still.gif"}));
}

TEST_F(ConvertCli, RefusesWhatCannotBeWritten) {
    const QString in = DataPath("pnm/ging.ppm");
    QString err;
    for (const char* name : {"x.eps", "x.ufo", "x.psd"}) {
        EXPECT_EQ(RunCli({"convert", in, Path(name)}, nullptr, &err), 1) << name;
        EXPECT_TRUE(err.contains(QStringLiteral("Cannot write .%1 files: the format can be read, not written")
                                     .arg(QFileInfo(name).suffix())))
            << err.toStdString();
    }
    EXPECT_EQ(RunCli({"convert", in, Path("x.avi")}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("only an animated GIF, WebP or cursor becomes an AVI clip"))) << err.toStdString();
    // Every other writer is kept: WMF, CUR, PNM, .jpeg, .tiff.
    for (const char* name : {"x.wmf", "x.cur", "x.pgm", "x.jpeg", "x.tiff", "x.emf", "x.ptf", "x.wbmp", "x.scr"})
        EXPECT_EQ(RunCli({"convert", in, Path(name)}, nullptr, &err), 0) << name << err.toStdString();
    EXPECT_EQ(Files().size(), 9);
}

TEST_F(ConvertCli, DrawingsOnTheGivenBackground) {
    ASSERT_EQ(RunCli({"convert", DataPath("dxf/ezdxf_r12.dxf"), Path("d.png"), "--background", "00FF00"}), 0);
    EXPECT_EQ(QImage(Path("d.png")).pixel(0, 0), qRgb(0, 255, 0));
}

TEST_F(ConvertCli, Resize) {
    const QString in = DataPath("pnm/ging.ppm"); // 13 x 7
    QString out, err;
    ASSERT_EQ(RunCli({"resize", in, Path("r.jpg"), "--box", "40x40", "--aspect", "--filter", "lanczos3"}, &out), 0);
    EXPECT_EQ(out, QStringLiteral("40x21\n"));
    EXPECT_EQ(QImage(Path("r.jpg")).size(), QSize(40, 21));
    ASSERT_EQ(RunCli({"resize", in, Path("r.gif"), "--box", "5x9"}, &out), 0);
    EXPECT_EQ(QImage(Path("r.gif")).size(), QSize(5, 9));
    EXPECT_EQ(RunCli({"resize", in, Path("r.png"), "--box", "5x9"}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Unknown extension type")));
    EXPECT_EQ(RunCli({"resize", in, Path("r.jpg"), "--box", "0x9"}, nullptr, &err), 2);
    EXPECT_EQ(RunCli({"resize", in, Path("r.jpg")}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("resize needs --box WxH")));
    EXPECT_EQ(RunCli({"resize", in, Path("r.jpg"), "--box", "9x9", "--filter", "sinc"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("unknown filter 'sinc'")));
    EXPECT_EQ(Files(), QStringList({"r.gif", "r.jpg"}));
}

// The usage names the keys of every writer, and the compressors can be listed.
TEST_F(ConvertCli, HelpListsEveryWritersKeys) {
    QString out;
    ASSERT_EQ(RunCli({"convert", "--help"}, &out), 0);
    for (const char* key : {"quality=", "progressive=", "optimize=", "grayscale=", "interlace=", "gamma=", "transparent=",
                            "background=", "compression=", "reduction=", "dither=", "bits=", "optimize-palette=",
                            "compressor=", "keyframes=", "render=", "size=", "rle=", "plain=", "format=", "cipher=",
                            "case-sensitive=", "--animated", "--background", "--frame", "--page"})
        EXPECT_TRUE(out.contains(QLatin1String(key))) << key;
    ASSERT_EQ(RunCli({"convert", "--list-compressors"}, &out), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("(none)\tUncompressed"));
    EXPECT_EQ(lines[1], QStringLiteral("mjpeg\tMotion JPEG"));
    EXPECT_EQ(lines[2], QStringLiteral("ffv1\tFFV1 (lossless)"));
}
