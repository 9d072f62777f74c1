// Decoding speed of TTiffGraphic and TGIFImage against the command-line tools of the same libraries:
// tiffcp (LZW TIFF to an uncompressed one) and gif2rgb (GIF to raw RGB), timed in the same run.
#include "codec/Gif.h"
#include "codec/Tiff.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

// A photo-like picture: smooth shading with some texture.
QImage MakePicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int((seed >> 16) & 15) - 8;
            line[x] = qRgb(std::clamp((x * 255) / w + noise, 0, 255), std::clamp((y * 255) / h + noise, 0, 255),
                           std::clamp(((x + y) * 127) / (w + h) + 64 + noise, 0, 255));
        }
    }
    return image;
}

// Best of three runs, in milliseconds.
double Best(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

double RunTool(const QString& tool, const QStringList& args) {
    return Best([&] {
        QProcess p;
        p.start(tool, args);
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(tool), p.readAllStandardError().constData());
    });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QImage picture = MakePicture(4000, 3000);

    const QString tif = dir.filePath(QStringLiteral("bench.tif"));
    {
        TTiffGraphic g;
        g.SetImage(picture);
        g.SetCompression(TTiffCompression::Lzw);
        g.SaveToFileName(tif);
    }
    const double oursTiff = Best([&] {
        TTiffGraphic g;
        g.LoadFromFileName(tif);
    });
    std::printf("TIFF 4000x3000 LZW decode: TTiffGraphic %.1f ms\n", oursTiff);
    const QString tiffcp = QStandardPaths::findExecutable(QStringLiteral("tiffcp"));
    if (!tiffcp.isEmpty()) {
        const double ref = RunTool(tiffcp, {QStringLiteral("-c"), QStringLiteral("none"), tif, dir.filePath(QStringLiteral("raw.tif"))});
        std::printf("  tiffcp -c none %.1f ms, ratio %.2f\n", ref, oursTiff / ref);
    } else {
        std::printf("  tiffcp not found (libtiff-tools): no ratio\n");
    }

    const QString gif = dir.filePath(QStringLiteral("bench.gif"));
    {
        TGIFImage g;
        g.SetImage(picture);
        g.SaveToFileName(gif);
    }
    const double oursGif = Best([&] {
        TGIFImage g;
        g.LoadFromFileName(gif);
    });
    std::printf("GIF 4000x3000 decode: TGIFImage %.1f ms\n", oursGif);
    const QString gif2rgb = QStandardPaths::findExecutable(QStringLiteral("gif2rgb"));
    if (!gif2rgb.isEmpty()) {
        const double ref = RunTool(gif2rgb, {QStringLiteral("-1"), QStringLiteral("-o"), dir.filePath(QStringLiteral("raw.rgb")), gif});
        std::printf("  gif2rgb -1 %.1f ms, ratio %.2f\n", ref, oursGif / ref);
    } else {
        std::printf("  gif2rgb not found (giflib-tools): no ratio\n");
    }
    return 0;
}
