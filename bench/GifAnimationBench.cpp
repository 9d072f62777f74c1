// Writes a 300-frame 640 x 480 animated GIF with the options of the animated save paths (Netscape
// palette, nearest colour, crop and merge, transparent frames, optimised colour maps) and prints the
// time (target: under 3 s). The frames pan across a photo-like picture, so every pixel changes from
// one frame to the next: the optimiser has no unchanged area to crop away. A second run converts the
// same frames from an uncompressed AVI clip through ConvertGraphic, as "Save animated file as" does.
// Usage: GifAnimationBench [FRAMES]
#include "BenchPhoto.h"

#include "codec/GifAnimation.h"
#include "formats/raster/AVIGraph.h"
#include "platform/VideoFile.h"
#include "tools/ConvertFmt.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
    const QImage scene = MakePhoto(640 + 2 * frames, 480, 77u);
    std::vector<QImage> pictures;
    pictures.reserve(size_t(frames));
    for (int i = 0; i < frames; ++i) pictures.push_back(scene.copy(2 * i, 0, 640, 480));
    QTemporaryDir dir;

    QElapsedTimer t;
    t.start();
    TGifAnimation gif;
    gif.SetSaveOption(QStringLiteral("reduction"), QStringLiteral("netscape"));
    gif.SetOptimize(true, true);
    for (int i = 0; i < frames; ++i) gif.AddFrame(pictures[size_t(i)], 4, i > 0);
    gif.OptimizeColorMaps();
    gif.SaveToFileName(dir.filePath(QStringLiteral("anim.gif")));
    const double writeMs = t.nsecsElapsed() / 1e6;
    std::printf("animated GIF, %d frames of 640 x 480: %.0f ms (%.1f ms a frame), %.1f MiB (target < 3000 ms)\n",
                frames, writeMs, writeMs / frames, QFileInfo(dir.filePath(QStringLiteral("anim.gif"))).size() / 1048576.0);

    TVideoWriter writer;
    if (!writer.Create(dir.filePath(QStringLiteral("clip.avi"))) ||
        !writer.CreateStream({QSize(640, 480), 1, 25}, TVideoWriter::TPixels::Rgb24) || !writer.SetFormat())
        return 1;
    for (const QImage& p : pictures)
        if (!writer.WriteFrame(p)) return 1;
    if (!writer.Finish()) return 1;
    TAVIGraphic clip;
    clip.LoadFromFileName(dir.filePath(QStringLiteral("clip.avi")));
    t.restart();
    ConvertGraphic(&clip, dir.filePath(QStringLiteral("clip.gif")), DefaultPictureOption, true, 0xFFFFFF, QString());
    const double convertMs = t.nsecsElapsed() / 1e6;
    std::printf("AVI clip to animated GIF (decoding included): %.0f ms\n", convertMs);
    return 0;
}
