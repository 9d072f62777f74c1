// Open-to-first-paint of a 6000 x 4000 JPEG in the real viewer window (offscreen), against djpeg decoding
// the same file in the same run. Target: at most 1.3 x djpeg.
//
//   ViewerOpen [FILE.jpg] [--runs N]
//
// Without FILE a 6000 x 4000 test picture is made with cjpeg (quality 90) in a temporary folder.
#include "BenchDialogs.h"
#include "app/Dialogs.h"
#include "app/Main.h"
#include "codec/Registry.h"
#include "formats/Formats.h"
#include "platform/SettingsFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

QByteArray TestPicture(int w, int h) {
    QByteArray bytes = QStringLiteral("P6\n%1 %2\n255\n").arg(w).arg(h).toLatin1();
    const qsizetype header = bytes.size();
    bytes.resize(header + qsizetype(w) * h * 3);
    uchar* p = reinterpret_cast<uchar*>(bytes.data()) + header;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            *p++ = uchar((x * 255) / w);
            *p++ = uchar((y * 255) / h);
            *p++ = uchar(((x / 16 + y / 16) & 1) ? 40 + (x ^ y) % 64 : 200 - (x * y) % 64);
        }
    return bytes;
}

double TimeDjpeg(const QString& djpeg, const QString& file) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), file});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) return -1;
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitializeFormats();
    QStringList args = app.arguments().mid(1);
    int runs = 5;
    if (const int i = int(args.indexOf(QStringLiteral("--runs"))); i >= 0 && i + 1 < args.size()) {
        runs = std::max(1, args[i + 1].toInt());
        args.remove(i, 2);
    }

    if (!GraphicClassByExtension(QStringLiteral("jpg"))) {
        std::fprintf(
            stderr,
            "ViewerOpen: no JPEG reader is built in yet (no graphic class is registered for .jpg), so the "
            "open-to-first-paint benchmark cannot run. It runs once the JPEG codec lands.\n");
        return 2;
    }
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (djpeg.isEmpty()) {
        std::fprintf(stderr, "ViewerOpen: djpeg is missing (package libjpeg-turbo-progs)\n");
        return 2;
    }

    QTemporaryDir dir;
    TSettingsFile::SetDefaultFileName(
        dir.filePath(QStringLiteral("settings.json"))); // leave the user's settings alone
    QString file = args.value(0);
    if (file.isEmpty()) {
        if (cjpeg.isEmpty()) {
            std::fprintf(
                stderr,
                "ViewerOpen: cjpeg is missing (package libjpeg-turbo-progs); name a JPEG file instead\n");
            return 2;
        }
        const QString ppm = dir.filePath(QStringLiteral("big.ppm"));
        file = dir.filePath(QStringLiteral("big.jpg"));
        QFile out(ppm);
        if (!out.open(QIODevice::WriteOnly) || out.write(TestPicture(6000, 4000)) < 0) return 2;
        out.close();
        if (QProcess::execute(cjpeg, {QStringLiteral("-quality"), QStringLiteral("90"),
                                      QStringLiteral("-outfile"), file, ppm}) != 0) {
            std::fprintf(stderr, "ViewerOpen: cjpeg failed\n");
            return 2;
        }
        QFile::remove(ppm);
    }

    // Message boxes are printed, never shown.
    TPrintedDialogs printed("ViewerOpen");
    SetDialogs(&printed);
    TMainForm form;
    form.resize(1600, 1000);
    form.show();
    QApplication::processEvents();

    double best = 1e300, bestDjpeg = 1e300;
    for (int i = 0; i < runs; ++i) {
        bestDjpeg = std::min(bestDjpeg, TimeDjpeg(djpeg, file));
        QElapsedTimer t;
        t.start();
        form.OpenPicture(file);
        form.View()->repaint(); // the first paint
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
        if (!form.Picture().Graphic()) {
            std::fprintf(stderr, "ViewerOpen: the viewer could not open %s\n", qPrintable(file));
            return 1;
        }
    }
    std::printf("picture          %s (%dx%d)\n", qPrintable(file), form.Picture().Width(),
                form.Picture().Height());
    std::printf("djpeg            %8.1f ms (best of %d)\n", bestDjpeg, runs);
    std::printf("viewer open+paint%8.1f ms (best of %d)\n", best, runs);
    std::printf("ratio            %8.2f (target <= 1.30)\n", best / bestDjpeg);

    // Zooming and panning a fitted picture never decode again.
    form.findChild<QAction*>(QStringLiteral("ViewFitVisibleAction"))->trigger();
    QElapsedTimer t;
    t.start();
    form.findChild<QAction*>(QStringLiteral("ViewZoomOutAction"))->trigger();
    form.View()->repaint();
    const double zoom = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    form.DragStart(QPoint(500, 500));
    form.DragMove(QPoint(300, 400));
    form.DragEnd();
    const double pan = double(t.nsecsElapsed()) / 1e6;
    std::printf("zoom step        %8.1f ms, pan %.1f ms (no decoding)\n", zoom, pan);
    return 0;
}
