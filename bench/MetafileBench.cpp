// Renders a generated placeable WMF (many filled polygons, ellipses and lines) with our player and with
// ImageMagick's `convert` (its own WMF reader) in the same run, and prints the ratio of the times.
// Also times resampling and colour reduction of a photo-sized picture against `convert -resize` and
// `convert -colors 256 -dither FloydSteinberg`.
#include "codec/ColorReduce.h"
#include "codec/Metafile.h"
#include "codec/Resample.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void Put16(QByteArray& b, int v) {
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, int(v & 0xFFFF));
    Put16(b, int(v >> 16));
}
void Record(QByteArray& b, quint16 function, const QVector<int>& words) {
    Put32(b, quint32(3 + words.size()));
    Put16(b, function);
    for (int w : words) Put16(b, w);
}

QByteArray MakeWmf(int shapes) {
    QByteArray rec;
    Record(rec, 0x020B, {0, 0});
    Record(rec, 0x020C, {10000, 10000});
    quint32 seed = 12345;
    auto rnd = [&](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % quint32(n));
    };
    for (int i = 0; i < shapes; ++i) {
        // brush, pen, select both, draw, delete both
        Record(rec, 0x02FC, {0, rnd(256) | (rnd(256) << 8), rnd(256), 0});
        Record(rec, 0x02FA, {0, 1 + rnd(20), 0, rnd(256), 0});
        Record(rec, 0x012D, {0});
        Record(rec, 0x012D, {1});
        const int x = rnd(9000), y = rnd(9000);
        switch (i % 3) {
        case 0: {
            QVector<int> pts{6};
            for (int k = 0; k < 6; ++k) pts << x + rnd(1000) << y + rnd(1000);
            Record(rec, 0x0324, pts);
            break;
        }
        case 1: Record(rec, 0x0418, {y + rnd(1000), x + rnd(1000), y, x}); break;
        default: Record(rec, 0x041B, {y + rnd(1000), x + rnd(1000), y, x}); break;
        }
        Record(rec, 0x01F0, {0});
        Record(rec, 0x01F0, {1});
    }
    Record(rec, 0x0000, {});
    QByteArray out;
    Put32(out, 0x9AC6CDD7);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 10000);
    Put16(out, 10000);
    Put16(out, 960); // 1000 x 1000 pixels
    Put32(out, 0);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= quint16(uchar(out[i]) | (uchar(out[i + 1]) << 8));
    Put16(out, sum);
    Put16(out, 1);
    Put16(out, 9);
    Put16(out, 0x0300);
    Put32(out, quint32((18 + rec.size()) / 2));
    Put16(out, 2);
    Put32(out, 20);
    Put16(out, 0);
    return out + rec;
}

double RunConvert(const QStringList& args) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0) return -1;
    return double(t.nsecsElapsed()) / 1e6;
}

void Report(const char* what, double ours, double theirs) {
    if (theirs < 0)
        std::printf("%-34s lumenor %8.1f ms   convert unavailable\n", what, ours);
    else
        std::printf("%-34s lumenor %8.1f ms   convert %8.1f ms   ratio %.2f\n", what, ours, theirs, ours / theirs);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString wmfPath = dir.filePath(QStringLiteral("bench.wmf"));
    {
        QFile f(wmfPath);
        f.open(QIODevice::WriteOnly);
        f.write(MakeWmf(6000));
    }
    const int runs = 3;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < runs; ++i) {
        TMetafile m;
        m.LoadFromFileName(wmfPath);
        const QImage image = m.ToImage(QSize(1000, 1000));
        if (image.isNull()) return 1;
    }
    const double ours = double(t.nsecsElapsed()) / 1e6 / runs;
    double theirs = 0;
    for (int i = 0; i < runs && theirs >= 0; ++i) {
        const double one = RunConvert({wmfPath, dir.filePath(QStringLiteral("out.ppm"))});
        theirs = one < 0 ? -1 : theirs + one / runs;
    }
    Report("WMF render 6000 shapes 1000x1000", ours, theirs);

    // A 3000 x 2000 picture: resample to 800 x 533 with Lanczos and reduce to 256 colours.
    QImage photo(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) line[x] = qRgb(x * 255 / 2999, y * 255 / 1999, ((x / 7) ^ (y / 5)) & 255);
    }
    const QString ppm = dir.filePath(QStringLiteral("photo.ppm"));
    photo.save(ppm, "PPM");
    t.restart();
    const QImage small = Resample(photo, QSize(800, 533), TResampleFilter::rfLanczos3);
    const double resample = double(t.nsecsElapsed()) / 1e6;
    Report("Resample Lanczos 3000x2000->800x533", resample,
           RunConvert({ppm, QStringLiteral("-filter"), QStringLiteral("Lanczos"), QStringLiteral("-resize"),
                       QStringLiteral("800x533!"), dir.filePath(QStringLiteral("small.ppm"))}));
    t.restart();
    const QVector<QRgb> optimal = OptimalPalette(photo, 256);
    std::printf("  (optimal palette alone: %.1f ms)\n", double(t.nsecsElapsed()) / 1e6);
    t.restart();
    const QImage reduced = ReduceColors(photo, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, 8);
    const double reduce = double(t.nsecsElapsed()) / 1e6;
    Report("Optimal 256 + Floyd-Steinberg 3000x2000", reduce,
           RunConvert({ppm, QStringLiteral("-dither"), QStringLiteral("FloydSteinberg"), QStringLiteral("-colors"),
                       QStringLiteral("256"), dir.filePath(QStringLiteral("reduced.gif"))}));
    return small.isNull() || reduced.isNull() ? 1 : 0;
}
