// Decode speed of the PCX, TGA, SGI and PSD readers against ImageMagick's `convert x.fmt ppm:/dev/null`
// on the same 4000x3000 files, made by ImageMagick from one picture in this run. Prints the times and the
// ratio (ours / ImageMagick; below 1 is faster).
#include "codec/DibGraphic.h"
#include "codec/Pcx.h"
#include "codec/Ppm.h"
#include "codec/Psd.h"
#include "codec/Sgi.h"
#include "codec/Tga.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

QString Convert() { return QFile::exists(QStringLiteral("/usr/bin/convert")) ? QStringLiteral("/usr/bin/convert") : QStringLiteral("convert"); }

bool RunConvert(const QStringList& args) {
    QProcess p;
    p.start(Convert(), args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Best of `runs` timings in milliseconds.
double Best(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

QImage Picture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            // Smooth areas (runs for the run-length formats) with some texture in one channel.
            seed = seed * 1103515245u + 12345u;
            const int noise = (x / 64 + y / 64) % 3 == 0 ? int((seed >> 16) & 15) : 0;
            line[x] = qRgb((x * 255 / w) & ~7, (y * 255 / h) & ~7, (((x >> 5) ^ (y >> 5)) & 1 ? 180 : 60) + noise);
        }
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int w = argc > 2 ? atoi(argv[1]) : 4000, h = argc > 2 ? atoi(argv[2]) : 3000;
    const int runs = 3;
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("big.ppm"));
    {
        TPPMGraphic g;
        g.SetImage(Picture(w, h));
        g.SaveToFileName(ppm);
    }
    struct TFormat {
        const char* Name;
        QStringList Options;
        std::function<std::unique_ptr<TDibGraphic>()> Create;
    } formats[] = {
        {"pcx", {}, [] { return std::make_unique<TPcxGraphic>(); }},
        {"tga", {QStringLiteral("-compress"), QStringLiteral("RLE")}, [] { return std::make_unique<TTgaGraphic>(); }},
        {"sgi", {QStringLiteral("-compress"), QStringLiteral("RLE")}, [] { return std::make_unique<TSGIGraphic>(); }},
        {"psd", {}, [] { return std::make_unique<TPSDGraphic>(); }},
    };
    std::printf("%dx%d pictures, best of %d runs\n%-6s %10s %12s %8s\n", w, h, runs, "format", "ours ms", "convert ms", "ratio");
    bool allFaster = true;
    for (const TFormat& f : formats) {
        const QString file = dir.filePath(QStringLiteral("big.") + QLatin1String(f.Name));
        if (!RunConvert(QStringList{ppm} + f.Options + QStringList{file})) {
            std::fprintf(stderr, "convert could not write %s (is ImageMagick installed?)\n", f.Name);
            return 1;
        }
        QSize size;
        const double ours = Best(runs, [&] {
            auto g = f.Create();
            g->LoadFromFileName(file);
            size = g->Image().size();
        });
        if (size != QSize(w, h)) {
            std::fprintf(stderr, "%s decoded as %dx%d\n", f.Name, size.width(), size.height());
            return 1;
        }
        const double theirs = Best(runs, [&] { RunConvert({file, QStringLiteral("ppm:/dev/null")}); });
        std::printf("%-6s %10.1f %12.1f %8.2f\n", f.Name, ours, theirs, ours / theirs);
        allFaster = allFaster && ours <= theirs;
    }
    std::printf("%s\n", allFaster ? "target met: no slower than ImageMagick" : "target missed for at least one format");
    return 0;
}
