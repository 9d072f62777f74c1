// Converts 200 photo-like 3000 x 2000 JPEGs (quality 90) to PNG with `lumenor-cli batch` and with
// `vips copy` (one process per core, through xargs -P) in the same run, and prints the wall and CPU
// times, the total output sizes and the ratios (target: Lumenor at least 2x faster at a similar output
// size). Both write every picture; the first one of each is decoded again and compared pixel by pixel.
// Usage: BatchConvert [COUNT [ARG...]]   (default 200 pictures, made in a temporary folder with our JPEG
// writer; ARGs go to lumenor-cli batch, e.g. --option compression=6)
#include "BenchPhoto.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

// CPU time of the finished child processes so far, in milliseconds.
double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct TTimes {
    double WallMs = -1;
    double CpuMs = 0;
};

TTimes Run(const QString& program, const QStringList& args, const QString& input = QString()) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!input.isEmpty()) p.setStandardInputFile(input);
    const double cpu = ChildrenCpuMs();
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return {};
    }
    return {t.nsecsElapsed() / 1e6, ChildrenCpuMs() - cpu};
}

// The largest difference of a channel between two pictures of one size; -1 when they differ in size.
int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int i = 0; i < x.width(); ++i)
            worst = std::max({worst, std::abs(qRed(p[i]) - qRed(q[i])), std::abs(qGreen(p[i]) - qGreen(q[i])),
                              std::abs(qBlue(p[i]) - qBlue(q[i]))});
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    QStringList extra;
    for (int i = 2; i < argc; ++i) extra << QString::fromLocal8Bit(argv[i]);
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (vips.isEmpty()) {
        std::fprintf(stderr, "vips not found (Debian package libvips-tools)\n");
        return 1;
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lumenor-cli"));
    const int cores = std::max(1, QThread::idealThreadCount());
    QTemporaryDir dir;
    // LUMENOR_BENCH_KEEP=1 keeps the pictures and the results for a closer look.
    if (qEnvironmentVariableIsSet("LUMENOR_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("working in %s\n", qPrintable(dir.path()));
    }
    const QStringList files = MakePhotoJpegs(dir.filePath(QStringLiteral("in")), count, 2000u);
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    {
        QFile f(list);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(files.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    const QString ours = dir.filePath(QStringLiteral("ours")), theirs = dir.filePath(QStringLiteral("vips"));
    QDir().mkpath(theirs);
    std::printf("converting on %d cores...\n", cores);
    std::fflush(stdout);
    const TTimes o = Run(cli, QStringList{QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("--out"), ours,
                                          QStringLiteral("--from"), list} +
                                  extra);
    const TTimes v =
        Run(QStringLiteral("xargs"),
            {QStringLiteral("-P"), QString::number(cores), QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("sh"), QStringLiteral("-c"),
             // $0 the vips program, $1 the output folder, $2 the file xargs appends
             QStringLiteral("exec \"$0\" copy \"$2\" \"$1\"/\"$(basename \"$2\" .jpg)\".png"), vips, theirs},
            list);
    if (o.WallMs < 0 || v.WallMs < 0) return 1;
    const int oursCount = int(QDir(ours).entryList(QDir::Files).size()), theirsCount = int(QDir(theirs).entryList(QDir::Files).size());
    const double oursMiB = FolderSize(ours) / 1048576.0, theirsMiB = FolderSize(theirs) / 1048576.0;
    std::printf("lumenor-cli batch:        %9.1f ms (%.1f ms a picture, CPU %.1f ms a picture), %d files, %.1f MiB\n", o.WallMs,
                o.WallMs / count, o.CpuMs / count, oursCount, oursMiB);
    std::printf("vips copy x %d processes: %9.1f ms (%.1f ms a picture, CPU %.1f ms a picture), %d files, %.1f MiB\n", cores, v.WallMs,
                v.WallMs / count, v.CpuMs / count, theirsCount, theirsMiB);
    const QString first = QFileInfo(files.first()).completeBaseName() + QStringLiteral(".png");
    std::printf("largest channel difference of %s (ours / vips): %d\n", qPrintable(first),
                MaxDifference(QImage(QDir(ours).filePath(first)), QImage(QDir(theirs).filePath(first))));
    std::printf("speed ratio (vips / lumenor): %.2fx (target >= 2x); size ratio (lumenor / vips): %.2f\n", v.WallMs / o.WallMs,
                oursMiB / theirsMiB);
    return oursCount == count && theirsCount == count ? 0 : 1;
}
