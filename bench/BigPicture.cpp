// Big photos: `lumenor-cli info` and `render --size 1600x1000` against vipsheader and vipsthumbnail
// (wall time and peak resident memory, best of N runs, in the same run), and the viewer from opening to
// the first fitted paint, then to the whole picture swapped in. For a 10000 x 8000 and a 3000 x 2000
// q90 JPEG made with cjpeg. Targets for the big one: info under 20 ms and 20 MB; render faster than
// vipsthumbnail with at most its memory + 30 MB; first fitted paint under 0.5 s.
//
//   BigPicture [--runs N]
#include "BenchPhoto.h"

#include "BenchDialogs.h"
#include "app/Dialogs.h"
#include "app/Main.h"
#include "codec/Registry.h"
#include "formats/Formats.h"
#include "platform/SettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct TCost {
    double Ms = 1e300;
    double Mb = 1e300;
};

// Runs the program under /usr/bin/time; the best wall time and the least peak memory of the runs.
TCost Measure(const QString& program, const QStringList& args, int runs) {
    TCost best;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("@@%e %M")} << program << args);
        if (!p.waitForFinished(300000) || p.exitCode() != 0) {
            std::fprintf(stderr, "BigPicture: %s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
            return {};
        }
        const QByteArray err = p.readAllStandardError();
        const QList<QByteArray> f = err.mid(err.lastIndexOf("@@") + 2).trimmed().split(' ');
        if (f.size() < 2) return {};
        best.Ms = std::min(best.Ms, f[0].toDouble() * 1000.0);
        best.Mb = std::min(best.Mb, f[1].toDouble() / 1024.0);
    }
    return best;
}

QString MakeJpeg(const QTemporaryDir& dir, int w, int h) {
    const QString ppm = dir.filePath(QStringLiteral("p.ppm"));
    const QString jpg = dir.filePath(QStringLiteral("photo-%1x%2.jpg").arg(w).arg(h));
    if (!MakePhoto(w, h, 7).save(ppm, "PPM")) return {};
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg.isEmpty() || QProcess::execute(cjpeg, {QStringLiteral("-quality"), QStringLiteral("90"),
                                                     QStringLiteral("-outfile"), jpg, ppm}) != 0)
        return {};
    QFile::remove(ppm);
    return jpg;
}

void Report(const char* what, const TCost& ours, const TCost& theirs, const char* reference) {
    std::printf("  %-26s %8.1f ms %7.1f MB   %-14s %8.1f ms %7.1f MB   time ratio %.2f\n", what, ours.Ms, ours.Mb,
                reference, theirs.Ms, theirs.Mb, ours.Ms / theirs.Ms);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitializeFormats();
    int runs = 5;
    const QStringList args = app.arguments();
    if (const int i = int(args.indexOf(QStringLiteral("--runs"))); i > 0 && i + 1 < args.size()) runs = std::max(1, args[i + 1].toInt());
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../lumenor-cli");
    const QString vipsheader = QStandardPaths::findExecutable(QStringLiteral("vipsheader"));
    const QString vipsthumbnail = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vipsheader.isEmpty() || vipsthumbnail.isEmpty()) {
        std::fprintf(stderr, "BigPicture: vipsheader and vipsthumbnail are needed (package libvips-tools)\n");
        return 2;
    }
    QTemporaryDir dir;
    TSettingsFile::SetDefaultFileName(dir.filePath(QStringLiteral("settings.json")));
    TPrintedDialogs printed("BigPicture");
    SetDialogs(&printed);

    for (const QSize size : {QSize(10000, 8000), QSize(3000, 2000)}) {
        const QString file = MakeJpeg(dir, size.width(), size.height());
        if (file.isEmpty()) {
            std::fprintf(stderr, "BigPicture: cannot make the test picture (cjpeg from libjpeg-turbo-progs)\n");
            return 2;
        }
        std::printf("%d x %d q90 JPEG, %lld bytes (best of %d)\n", size.width(), size.height(), QFile(file).size(), runs);
        Report("lumenor-cli info", Measure(cli, {QStringLiteral("info"), file}, runs),
               Measure(vipsheader, {file}, runs), "vipsheader");
        const QString out = dir.filePath(QStringLiteral("out.jpg"));
        Report("lumenor-cli render --size", Measure(cli, {QStringLiteral("render"), file, out, QStringLiteral("--size"), QStringLiteral("1600x1000")}, runs),
               Measure(vipsthumbnail, {file, QStringLiteral("-s"), QStringLiteral("1600x1000"), QStringLiteral("-o"), out}, runs),
               "vipsthumbnail");

        TMainForm form;
        form.resize(1600, 1000);
        form.show();
        form.findChild<QAction*>(QStringLiteral("ViewAutoFitAction"))->setChecked(true);
        QApplication::processEvents();
        double firstPaint = 1e300, whole = 1e300;
        for (int i = 0; i < runs; ++i) {
            form.ClosePicture();
            QElapsedTimer t;
            t.start();
            form.OpenPicture(file);
            form.View()->repaint();
            firstPaint = std::min(firstPaint, double(t.nsecsElapsed()) / 1e6);
            form.CompleteFullPicture();
            form.View()->repaint();
            whole = std::min(whole, double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("  viewer open to fitted paint %8.1f ms, to the whole picture swapped in %8.1f ms\n", firstPaint, whole);
    }
    return 0;
}
