// Saving as WebP and AVIF with the options of the record (the save dialog's pages) and of the command
// line, read back by the formats' own decoders (dwebp, avifdec) and by ours; animated WebPs as AVI clips.
#include "TestUtil.h"

#include "codec/Avif.h"
#include "codec/DibGraphic.h"
#include "codec/Registry.h"
#include "codec/WebP.h"
#include "formats/raster/AVIGraph.h"
#include "tools/ConvertFmt.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Gradients with a hard-edged patch: lossy codecs lose detail at low quality.
QImage Scene(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool patch = x > w / 3 && x < w / 2 && y > h / 3 && y < h / 2;
            image.setPixel(x, y, patch ? qRgb(250, 240, 20) : qRgb(x * 255 / w, y * 255 / h, 128 + (x - y) / 2));
        }
    return image;
}

// The file as the format's own decoder gives it, through PNG.
QImage Reference(const QString& tool, const QString& path) {
    const QString png = path + QStringLiteral(".ref.png");
    QFile::remove(png);
    QStringList args{path};
    if (tool.endsWith(QLatin1String("dwebp"))) args << QStringLiteral("-o");
    args << png;
    EXPECT_TRUE(RunTool(tool, args)) << tool.toStdString();
    return QImage(png);
}

QImage Ours(const QString& path) {
    std::unique_ptr<TGraphic> g = CreateGraphicFor(path);
    g->LoadFromFileName(path);
    return static_cast<TDibGraphic&>(*g).Image();
}

} // namespace

TEST(WebPAvifSave, WebPOptionsOfTheRecordReachTheFile) {
    QTemporaryDir dir;
    const QImage scene = Scene(96, 64);
    TImageGraphic source(scene);
    TPictureOption o = DefaultPictureOption;
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 14); // the WebP filter of the save dialog
    ASSERT_EQ(o.Kind, pokWebP);

    // Lossless: every pixel as it was, for dwebp and for us.
    o.WebPLossless = true;
    const QString lossless = dir.filePath("lossless.webp");
    TSaveResult r = SavePictureAs(&source, lossless, o, 0, 0xFFFFFF, QString());
    ASSERT_TRUE(r.Saved) << r.Detail.toStdString();
    EXPECT_TRUE(ReadFile(lossless).contains("VP8L"));
    EXPECT_TRUE(SamePixels(Reference("/usr/bin/dwebp", lossless), scene));
    EXPECT_TRUE(SamePixels(Ours(lossless), scene));

    // Lossy at two qualities: the lower one is smaller and further from the source; we decode as dwebp.
    o.WebPLossless = false;
    o.WebPQuality = 10;
    const QString low = dir.filePath("low.webp"), high = dir.filePath("high.webp");
    ASSERT_TRUE(SavePictureAs(&source, low, o, 0, 0xFFFFFF, QString()).Saved);
    o.WebPQuality = 95;
    ASSERT_TRUE(SavePictureAs(&source, high, o, 0, 0xFFFFFF, QString()).Saved);
    EXPECT_TRUE(ReadFile(high).contains("VP8 "));
    EXPECT_LT(QFileInfo(low).size(), QFileInfo(high).size());
    const QImage lowRef = Reference("/usr/bin/dwebp", low), highRef = Reference("/usr/bin/dwebp", high);
    EXPECT_GT(MeanError(lowRef, scene), MeanError(highRef, scene));
    EXPECT_LT(MeanError(highRef, scene), 3.0);
    EXPECT_TRUE(SamePixels(Ours(high), highRef));

    // The same record under a .png name leaves the WebP options out.
    EXPECT_TRUE(SavePictureAs(&source, dir.filePath("plain.png"), o, 0, 0xFFFFFF, QString()).Saved);
}

TEST(WebPAvifSave, AvifQualityOfTheRecordReachesTheFile) {
    QTemporaryDir dir;
    const QImage scene = Scene(80, 56);
    TImageGraphic source(scene);
    TPictureOption o = DefaultPictureOption;
    PrepareSaveOptions(o, 0, TSaveSource::ssStill, 15); // the AVIF filter
    ASSERT_EQ(o.Kind, pokAvif);
    const QString low = dir.filePath("low.avif"), high = dir.filePath("high.avif");
    o.AvifQuality = 15;
    TSaveResult r = SavePictureAs(&source, low, o, 0, 0xFFFFFF, QString());
    ASSERT_TRUE(r.Saved) << r.Detail.toStdString();
    o.AvifQuality = 95;
    ASSERT_TRUE(SavePictureAs(&source, high, o, 0, 0xFFFFFF, QString()).Saved);
    EXPECT_LT(QFileInfo(low).size(), QFileInfo(high).size());
    const QImage lowRef = Reference("/usr/bin/avifdec", low), highRef = Reference("/usr/bin/avifdec", high);
    ASSERT_EQ(highRef.size(), scene.size());
    EXPECT_GT(MeanError(lowRef, scene), MeanError(highRef, scene));
    EXPECT_LT(MeanError(highRef, scene), 4.0);
    // Our decoder and avifdec agree (YUV to RGB rounding aside).
    EXPECT_TRUE(SamePixels(Ours(high), highRef, 2));
    EXPECT_TRUE(SamePixels(Ours(low), lowRef, 2));
}

TEST(WebPAvifSave, CommandLineOptions) {
    QTemporaryDir dir;
    const QString png = dir.filePath("in.png");
    ASSERT_TRUE(Scene(64, 40).save(png));
    const QString webp = dir.filePath("out.webp"), avif = dir.filePath("out.avif");
    QString out, err;
    ASSERT_EQ(RunCli({"convert", png, webp, "--option", "lossless=1"}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(ReadFile(webp).contains("VP8L"));
    EXPECT_TRUE(SamePixels(Reference("/usr/bin/dwebp", webp), QImage(png)));
    const QString avifLow = dir.filePath("low.avif");
    ASSERT_EQ(RunCli({"convert", png, avif, "--option", "quality=90"}, &out, &err), 0) << err.toStdString();
    ASSERT_EQ(RunCli({"convert", png, avifLow, "--option", "quality=10"}, &out, &err), 0) << err.toStdString();
    EXPECT_LT(QFileInfo(avifLow).size(), QFileInfo(avif).size());
    EXPECT_EQ(Reference("/usr/bin/avifdec", avif).size(), QSize(64, 40));
    // A value out of range fails with the option's message; nothing is written.
    EXPECT_NE(RunCli({"convert", png, dir.filePath("bad.webp"), "--option", "quality=101"}, &out, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("The option quality takes 0 to 100, not '101'"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.webp")));
}

// An animated WebP saved with "Save animated file as..." becomes an AVI clip of its composed frames.
TEST(WebPAvifSave, AnAnimatedWebPBecomesAClip) {
    QTemporaryDir dir;
    QStringList args = {"-loop", "0", "-lossless", "-d", "200"};
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    for (int i = 0; i < 3; ++i) {
        QImage frame(16, 12, QImage::Format_RGB32);
        frame.fill(colours[i]);
        const QString png = dir.filePath(QStringLiteral("f%1.png").arg(i));
        ASSERT_TRUE(frame.save(png));
        args << png;
    }
    const QString webpPath = dir.filePath("moving.webp");
    ASSERT_TRUE(RunTool("img2webp", args << "-o" << webpPath));
    TWebPGraphic webp;
    webp.LoadFromFileName(webpPath);
    ASSERT_EQ(SaveSourceOf(&webp), TSaveSource::ssAnimatedGif);
    webp.SelectFrame(2);
    const QString avi = dir.filePath("moving.avi");
    const TSaveResult r = SavePictureAs(&webp, avi, DefaultPictureOption, 1, 0xFFFFFF, webpPath);
    ASSERT_TRUE(r.Saved) << r.Detail.toStdString();
    EXPECT_EQ(webp.CurrentFrame(), 2); // the frame shown stays
    TAVIGraphic clip;
    clip.LoadFromFileName(avi);
    ASSERT_EQ(clip.FrameCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(clip.FrameImage(i).pixel(8, 6) & 0xFFFFFF, colours[i] & 0xFFFFFF) << i;
    QByteArray probe;
    ASSERT_TRUE(RunTool("ffprobe", {"-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames,r_frame_rate",
                                    "-of", "csv=p=0", avi}, &probe));
    EXPECT_EQ(probe.trimmed(), QByteArray("5/1,3")); // 200 ms a frame
}
