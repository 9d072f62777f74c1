// Decodes a 6000 x 4000 photo-like JPEG through TJpegGraphic and through djpeg (libjpeg-turbo-progs) in
// the same run and prints the ratio (target: within 1.1x of djpeg), then the time of the 1/8 scaled decode.
// Usage: JpegDecode [FILE.jpg]. A deterministic picture is made and written at quality 90 (into FILE when
// it is given and does not exist yet, else into a temporary folder); an existing FILE is measured as is.
#include "codec/Jpeg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// Gradients, soft blobs, a few hard edges and noise from a fixed-seed generator: compresses like a photo.
QImage MakePhoto(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = double(y) / h;
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w;
            seed = seed * 1664525u + 1013904223u;
            const int noise = int((seed >> 24) % 13) - 6;
            const double wave = std::sin(fx * 23.0 + std::sin(fy * 7.0) * 3.0) * 40.0;
            int r = int(70 + 120 * fx + wave) + noise;
            int g = int(60 + 150 * fy - wave * 0.5) + noise;
            int b = int(150 + 60 * std::sin((fx + fy) * 9.0)) + noise;
            if (((x / 400) + (y / 300)) % 7 == 0) r = 230 + noise, g = 220 + noise, b = 40 + noise; // hard-edged patches
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

double BestOf3(const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        std::fprintf(stderr, "djpeg not found (Debian package libjpeg-turbo-progs)\n");
        return 1;
    }
    QTemporaryDir dir;
    QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("photo.jpg"));
    if (!QFile::exists(file)) {
        TJpegGraphic writer;
        writer.SetImage(MakePhoto(6000, 4000));
        writer.SetSaveOption(QStringLiteral("quality"), QStringLiteral("90"));
        writer.SaveToFileName(file);
    }
    std::printf("file: %s (%lld bytes)\n", qPrintable(file), QFile(file).size());

    QSize size;
    const double ours = BestOf3([&] {
        TJpegGraphic g;
        g.LoadFromFileName(file);
        size = g.Image().size();
    });
    bool djpegFailed = false;
    const double theirs = BestOf3([&] {
        const int rc = QProcess::execute(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), file});
        djpegFailed = djpegFailed || rc != 0;
    });
    if (djpegFailed) {
        std::fprintf(stderr, "djpeg failed on %s\n", qPrintable(file));
        return 1;
    }
    QSize scaledSize;
    const double scaled = BestOf3([&] {
        TJpegGraphic g;
        g.SetScaleDenominator(8);
        g.LoadFromFileName(file);
        scaledSize = g.Image().size();
    });
    const double ratio = ours / theirs;
    std::printf("picture: %d x %d\n", size.width(), size.height());
    std::printf("TJpegGraphic full decode: %8.1f ms (best of 3)\n", ours);
    std::printf("djpeg full decode:        %8.1f ms (best of 3, process start included)\n", theirs);
    std::printf("ratio TJpegGraphic/djpeg: %8.3f (target <= 1.10: %s)\n", ratio, ratio <= 1.10 ? "met" : "NOT met");
    std::printf("TJpegGraphic 1/8 decode:  %8.1f ms (%d x %d)\n", scaled, scaledSize.width(), scaledSize.height());
    return 0;
}
