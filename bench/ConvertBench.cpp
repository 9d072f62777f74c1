// Converts photo-like 3000 x 2000 JPEGs (quality 90) to PNG with `lumenor-cli convert` and with
// `vips copy` (libvips-tools) in the same run, one process a picture for both, at the same zlib levels
// (6, both tools' default, and 1), and prints the wall and CPU times, the sizes written and their ratios
// (target: Lumenor at least as fast at a similar size). Our writer filters the lines (Paeth) before
// deflating them, vips does not: at one zlib level our files are smaller and take more deflating.
// Usage: ConvertBench [COUNT] [LEVELS]   (default 50 pictures, levels "6,1")
#include "BenchPhoto.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

#include <sys/resource.h>
#include <sys/time.h>

// CPU time of the finished child processes so far, in milliseconds.
double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed\n", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (vips.isEmpty()) {
        std::fprintf(stderr, "vips not found (Debian package libvips-tools)\n");
        return 1;
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lumenor-cli"));
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in")), ours = dir.filePath(QStringLiteral("ours")),
                  theirs = dir.filePath(QStringLiteral("vips"));
    for (const QString& d : {in, ours, theirs}) QDir().mkpath(d);
    QStringList names;
    for (const QString& file : MakePhotoJpegs(in, count, 2000u)) names << QFileInfo(file).completeBaseName();
    const QStringList levels = (argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("6,1")).split(QLatin1Char(','));
    for (const QString& level : levels) {
        for (const QString& d : {ours, theirs}) {
            QDir(d).removeRecursively();
            QDir().mkpath(d);
        }
        QElapsedTimer t;
        t.start();
        double cpu = ChildrenCpuMs();
        for (const QString& name : names)
            if (!Run(cli, {QStringLiteral("convert"), QDir(in).filePath(name + QStringLiteral(".jpg")),
                           QDir(ours).filePath(name + QStringLiteral(".png")), QStringLiteral("--option"),
                           QStringLiteral("compression=") + level}))
                return 1;
        const double oursMs = t.nsecsElapsed() / 1e6, oursCpu = ChildrenCpuMs() - cpu;
        t.restart();
        cpu = ChildrenCpuMs();
        for (const QString& name : names)
            if (!Run(vips, {QStringLiteral("copy"), QDir(in).filePath(name + QStringLiteral(".jpg")),
                            QDir(theirs).filePath(name + QStringLiteral(".png[compression=") + level + QStringLiteral("]"))}))
                return 1;
        const double theirsMs = t.nsecsElapsed() / 1e6, theirsCpu = ChildrenCpuMs() - cpu;
        const double oursSize = FolderSize(ours) / 1048576.0, theirsSize = FolderSize(theirs) / 1048576.0;
        std::printf("zlib level %s:\n", qPrintable(level));
        std::printf("  lumenor-cli convert: %8.1f ms (%.1f ms a picture, CPU %.1f ms), %.1f MiB\n", oursMs, oursMs / count,
                    oursCpu / count, oursSize);
        std::printf("  vips copy:           %8.1f ms (%.1f ms a picture, CPU %.1f ms), %.1f MiB\n", theirsMs, theirsMs / count,
                    theirsCpu / count, theirsSize);
        std::printf("  speed ratio (vips / lumenor): %.2fx (target >= 1.0x); size ratio (lumenor / vips): %.2f\n",
                    theirsMs / oursMs, oursSize / theirsSize);
        std::fflush(stdout);
    }
    return 0;
}
