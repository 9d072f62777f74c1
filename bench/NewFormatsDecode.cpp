// Decode speed of today's formats against each format's own reference decoder, on the same files made
// in this run from one photo-like picture: WebP (dwebp), AVIF (avifdec), HEIC (heif-convert), JPEG XL
// (djxl), OpenEXR (ImageMagick, which reads through OpenEXR: OpenEXR's own tools only print headers or
// rewrite files) and a developed camera RAW (dcraw_emu, camera white balance, sRGB). The reference tools
// run as processes writing the rawest output they offer (PPM, Y4M), so their times include starting the
// process; ratios are ours / theirs (below 1 is faster).
//
// Then the time a 24-megapixel DNG takes to show its embedded JPEG preview (the viewer's first picture
// of a RAW file; target: under 50 ms), for a full-size preview and a 1620 x 1080 one, as the viewer
// loads it for a view of 1600 x 1000 (at the fitted size) and decoded whole. The DNG is built
// by tests/data/make_dng.py.
//
//     NewFormatsDecode [WIDTH HEIGHT]      (default 4000 x 3000 for the compressed formats)
//     NewFormatsDecode --preview FILE [WxH]  only the preview of a RAW file (for a load of that size),
//                                            20 times (for a profiler)
#include "BenchPhoto.h"

#include "codec/Avif.h"
#include "codec/DibGraphic.h"
#include "codec/Exr.h"
#include "codec/Heif.h"
#include "codec/Jxl.h"
#include "codec/Raw.h"
#include "codec/WebP.h"

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

bool Run(const QString& program, const QStringList& args, int timeoutMs = 600000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "  %s failed: %s\n", qPrintable(program), p.readAll().left(400).constData());
    return ok;
}

// Best of `runs` timings in milliseconds; a negative result when the work failed.
double Best(int runs, const std::function<bool()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!work()) return -1;
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

template <class T> bool Decode(const QString& path, QSize expected) {
    try {
        T g;
        g.LoadFromFileName(path);
        if (g.Width() != expected.width() || g.Height() != expected.height()) {
            std::fprintf(stderr, "  %s decoded at %dx%d\n", qPrintable(path), g.Width(), g.Height());
            return false;
        }
        return !g.Image().isNull();
    } catch (const Exception& e) {
        std::fprintf(stderr, "  %s: %s\n", qPrintable(path), qPrintable(e.Message()));
        return false;
    }
}

void Report(const char* name, double ours, double theirs, const char* tool) {
    if (ours < 0 || theirs < 0) {
        std::printf("%-26s failed (see above)\n", name);
        return;
    }
    std::printf("%-26s ours %8.1f ms   %-13s %8.1f ms   ratio %.2f\n", name, ours, tool, theirs, ours / theirs);
}

QString SourceDir() { return QStringLiteral(LUMENOR_SOURCE_DIR); }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--preview") {
        const QString path = QString::fromLocal8Bit(argv[2]);
        const QStringList size = argc > 3 ? QString::fromLatin1(argv[3]).split(QLatin1Char('x')) : QStringList();
        const QSize want = size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize();
        TRawGraphic::SetPreviewFirst(true);
        const double best = Best(20, [&] {
            TRawGraphic g;
            g.SetLoadSize(want);
            g.LoadFromFileName(path);
            return g.ShowsPreview();
        });
        std::printf("preview of %s shown in %.1f ms (best of 20)\n", argv[2], best);
        return best < 0 ? 1 : 0;
    }
    const int w = argc > 2 ? std::atoi(argv[1]) : 4000, h = argc > 2 ? std::atoi(argv[2]) : 3000;
    const int runs = 3;
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("photo.png"));
    if (!MakePhoto(w, h, 2024).save(png)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(png));
        return 1;
    }
    const QSize size(w, h);
    std::printf("Decoding a %d x %d photo-like picture, best of %d runs\n", w, h, runs);
    const auto out = [&](const char* name) { return dir.filePath(QLatin1String(name)); };

    // WebP, lossy at quality 80.
    if (Run(QStringLiteral("cwebp"), {"-quiet", "-q", "80", png, "-o", out("p.webp")})) {
        const double ours = Best(runs, [&] { return Decode<TWebPGraphic>(out("p.webp"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("dwebp"), {"-quiet", out("p.webp"), "-ppm", "-o", out("dwebp.ppm")}); });
        Report("WebP (lossy q80)", ours, theirs, "dwebp");
    }
    if (Run(QStringLiteral("cwebp"), {"-quiet", "-lossless", "-z", "1", png, "-o", out("l.webp")})) {
        const double ours = Best(runs, [&] { return Decode<TWebPGraphic>(out("l.webp"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("dwebp"), {"-quiet", out("l.webp"), "-ppm", "-o", out("dwebp.ppm")}); });
        Report("WebP (lossless)", ours, theirs, "dwebp");
    }
    // AVIF, 8-bit 4:2:0, one thread on both sides.
    if (Run(QStringLiteral("avifenc"), {"-s", "10", "--min", "20", "--max", "30", png, out("p.avif")})) {
        const double ours = Best(runs, [&] { return Decode<TAvifGraphic>(out("p.avif"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("avifdec"), {out("p.avif"), out("avifdec.y4m")}); });
        Report("AVIF (8-bit 4:2:0)", ours, theirs, "avifdec");
    }
    // HEIC through x265.
    if (Run(QStringLiteral("heif-enc"), {"-q", "80", png, "-o", out("p.heic")})) {
        const double ours = Best(runs, [&] { return Decode<THeifGraphic>(out("p.heic"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("heif-convert"), {out("p.heic"), out("heif.y4m")}); });
        Report("HEIC (x265 q80)", ours, theirs, "heif-convert");
    }
    // JPEG XL at distance 1 (visually lossless).
    if (Run(QStringLiteral("cjxl"), {png, out("p.jxl"), "-d", "1", "-e", "3", "--quiet"})) {
        const double ours = Best(runs, [&] { return Decode<TJxlGraphic>(out("p.jxl"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("djxl"), {out("p.jxl"), out("djxl.ppm"), "--quiet"}); });
        Report("JPEG XL (d1)", ours, theirs, "djxl");
    }
    // OpenEXR, half RGB with ZIP compression, as ImageMagick writes it.
    if (Run(QStringLiteral("convert"), {png, out("p.exr")})) {
        const double ours = Best(runs, [&] { return Decode<TExrGraphic>(out("p.exr"), size); });
        const double theirs = Best(runs, [&] { return Run(QStringLiteral("convert"), {out("p.exr"), "ppm:" + out("exr.ppm")}); });
        Report("OpenEXR (half, ZIP)", ours, theirs, "ImageMagick");
    }

    // Camera RAW: a 24-megapixel DNG (6000 x 4000, 16-bit RGGB) with an embedded JPEG preview.
    const QString script = SourceDir() + QStringLiteral("/tests/data/make_dng.py");
    const QSize rawSize(6000, 4000);
    struct TPreview {
        const char* Name;
        QSize Size;
    } previews[] = {{"full-size preview", rawSize}, {"1620x1080 preview", QSize(1620, 1080)}};
    bool first = true;
    for (const TPreview& p : previews) {
        const QString jpeg = dir.filePath(QStringLiteral("preview.jpg")), dng = dir.filePath(QStringLiteral("big.dng"));
        if (!MakePhoto(p.Size.width(), p.Size.height(), 7).save(jpeg, "JPG", 90)) return 1;
        if (!Run(QStringLiteral("python3"), {script, dng, "--width", "6000", "--height", "4000", "--jpeg-preview", jpeg}))
            return 1;
        if (first) {
            first = false;
            TRawGraphic::SetPreviewFirst(false);
            const double ours = Best(2, [&] { return Decode<TRawGraphic>(dng, rawSize); });
            const double theirs = Best(2, [&] { return Run(QStringLiteral("dcraw_emu"), {"-w", "-o", "1", dng}); });
            Report("RAW developed (24 MP)", ours, theirs, "dcraw_emu");
        }
        // As the viewer shows it: fitted in a 1600 x 1000 view, the load asks for the fitted size (the
        // preview's JPEG then decodes scaled); and whole, as a conversion would.
        TRawGraphic::SetPreviewFirst(true);
        const QSize fitted = rawSize.scaled(QSize(1600, 1000), Qt::KeepAspectRatio);
        for (const QSize& want : {fitted, QSize()}) {
            bool shown = true;
            const double preview = Best(5, [&] {
                TRawGraphic g;
                g.SetLoadSize(want);
                g.LoadFromFileName(dng);
                const QSize got = g.Image().size();
                shown = shown && g.ShowsPreview() && got.width() >= std::min(want.isValid() ? want.width() : p.Size.width(), p.Size.width())
                        && got.width() <= p.Size.width();
                return shown;
            });
            std::printf("RAW 24 MP, %-17s %-18s shown in %6.1f ms (target under 50 ms: %s)\n", p.Name,
                        want.isValid() ? "fitted 1600x1000," : "decoded whole,", preview,
                        preview >= 0 && preview < 50 ? "met" : "NOT met");
        }
    }
    return 0;
}
