// Converts 200 photo-like 3000 x 2000 JPEGs (quality 90) to PNG with `lumenor-cli batch` and with
// `vips copy` (one process per core, through xargs -P) in the same run, and prints the wall times, the
// total output sizes and the ratio (target: Lumenor at least 2x faster at a similar output size).
// Usage: BatchConvert [COUNT]   (default 200 pictures, made in a temporary folder with our JPEG writer)
#include "BenchPhoto.h"

#include "codec/Jpeg.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

double Run(const QString& program, const QStringList& args, const QString& input = QString()) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!input.isEmpty()) p.setStandardInputFile(input);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

qint64 FolderSize(const QString& dir) {
    qint64 total = 0;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files)) total += f.size();
    return total;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (vips.isEmpty()) {
        std::fprintf(stderr, "vips not found (Debian package libvips-tools)\n");
        return 1;
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lumenor-cli"));
    const int cores = std::max(1, QThread::idealThreadCount());
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(in);
    QStringList files;
    std::printf("making %d photo-like 3000 x 2000 JPEGs (quality 90)...\n", count);
    std::fflush(stdout);
    for (int i = 0; i < count; ++i) {
        TJpegGraphic writer;
        writer.SetImage(MakePhoto(3000, 2000, 2000u + quint32(i)));
        writer.SetSaveOption(QStringLiteral("quality"), QStringLiteral("90"));
        files << QDir(in).filePath(QStringLiteral("photo%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
        writer.SaveToFileName(files.last());
    }
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    {
        QFile f(list);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(files.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    const QString ours = dir.filePath(QStringLiteral("ours")), theirs = dir.filePath(QStringLiteral("vips"));
    QDir().mkpath(theirs);
    const double oursMs = Run(cli, {QStringLiteral("batch"), QStringLiteral("--to"), QStringLiteral("png"), QStringLiteral("--out"), ours,
                                    QStringLiteral("--from"), list});
    const double theirsMs =
        Run(QStringLiteral("xargs"),
            {QStringLiteral("-P"), QString::number(cores), QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("sh"), QStringLiteral("-c"),
             // $0 the vips program, $1 the output folder, $2 the file xargs appends
             QStringLiteral("exec \"$0\" copy \"$2\" \"$1\"/\"$(basename \"$2\" .jpg)\".png"), vips, theirs},
            list);
    if (oursMs < 0 || theirsMs < 0) return 1;
    std::printf("lumenor-cli batch:        %9.1f ms (%.1f ms a picture), %lld bytes\n", oursMs, oursMs / count,
                static_cast<long long>(FolderSize(ours)));
    std::printf("vips copy x %d processes: %9.1f ms (%.1f ms a picture), %lld bytes\n", cores, theirsMs, theirsMs / count,
                static_cast<long long>(FolderSize(theirs)));
    std::printf("ratio (vips / lumenor): %.2fx (target >= 2x)\n", theirsMs / oursMs);
    return 0;
}
