// Playing a 1920 x 1080 animated GIF: the time per frame of composing the next frame (the decoder keeps
// frames as stored and composes on demand) and of scaling it into a 1280 x 720 view over the window's
// background, against ffmpeg decoding the same file in the same run. The share of one core the player
// needs at the file's own rate (10 frames a second here) is printed; the target is under 25%.
// Usage: GifPlayBench [FRAMES]
#include "BenchPhoto.h"

#include "app/ViewGeometry.h"
#include "codec/Gif.h"
#include "codec/GifAnimation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(2, atoi(argv[1])) : 40;
    const int delay = 10; // hundredths: 10 frames a second
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hd.gif"));
    {
        // A photo-like scene panning under a moving window: every frame changes most of the screen.
        const QImage scene = MakePhoto(1920 + 8 * frames, 1080, 5u);
        TGifAnimation gif;
        gif.SetOptimize(true, true);
        for (int i = 0; i < frames; ++i) gif.AddFrame(scene.copy(8 * i, 0, 1920, 1080), delay, i > 0);
        gif.SaveToFileName(path);
    }

    QElapsedTimer t;
    t.start();
    TGIFImage gif;
    gif.LoadFromFileName(path);
    const double loadMs = t.nsecsElapsed() / 1e6;
    double composeMs = 0, scaleMs = 0;
    for (int f = 2; f <= gif.FrameCount(); ++f) {
        t.restart();
        gif.SelectFrame(f);
        composeMs += t.nsecsElapsed() / 1e6;
        t.restart();
        const QImage view = ScaleStill(gif.Image(), 1280, 720, 0x404040);
        scaleMs += t.nsecsElapsed() / 1e6;
        if (view.isNull()) return 1;
    }
    const int steps = gif.FrameCount() - 1;
    const double perFrame = (composeMs + scaleMs) / steps;
    std::printf("1920 x 1080 GIF, %d frames: load %.0f ms; a frame: compose %.1f ms + scale to the view %.1f ms\n",
                gif.FrameCount(), loadMs, composeMs / steps, scaleMs / steps);
    std::printf("share of one core at %d frames a second: %.0f%% (target < 25%%)\n", 100 / delay,
                100.0 * perFrame / (delay * 10.0));

    // The reference: ffmpeg decoding and composing every frame of the same file.
    t.restart();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-threads", "1", "-i", path, "-f", "null", "-"});
    if (ffmpeg.waitForFinished(600000) && ffmpeg.exitCode() == 0) {
        const double refMs = t.nsecsElapsed() / 1e6;
        std::printf("ffmpeg decode of the whole file: %.0f ms (%.1f ms a frame); ratio (ours load + compose / ffmpeg): %.2f\n",
                    refMs, refMs / gif.FrameCount(), (loadMs + composeMs) / refMs);
    } else {
        std::printf("ffmpeg not available: no reference\n");
    }
    return 0;
}
