// Makes 100 x 100 previews of 200 photo-like 3000 x 2000 JPEGs (quality 90) with `lumenor-cli thumbnails`
// and with vipsthumbnail (libvips-tools) in the same run, each with a cold thumbnail cache, and prints
// the ratio of wall times (target: Lumenor at least 1.5x faster).
// Usage: Thumbnails [COUNT]   (default 200 pictures, made in a temporary folder with our JPEG writer)
#include "BenchPhoto.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double Run(const QString& program, const QStringList& args, const QString& cacheHome) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty()) {
        std::fprintf(stderr, "vipsthumbnail not found (Debian package libvips-tools)\n");
        return 1;
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lumenor-cli"));
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QStringList files = MakePhotoJpegs(in, count, 1000u);
    QDir().mkpath(dir.filePath(QStringLiteral("vips")));
    const double ours = Run(cli, {QStringLiteral("thumbnails"), in, dir.filePath(QStringLiteral("ours")), QStringLiteral("--size"),
                                  QStringLiteral("100x100")},
                            dir.filePath(QStringLiteral("cache1")));
    QStringList vargs{QStringLiteral("--size"), QStringLiteral("100x100"), QStringLiteral("-o"),
                      dir.filePath(QStringLiteral("vips")) + QStringLiteral("/%s.png")};
    vargs += files;
    const double theirs = Run(vips, vargs, dir.filePath(QStringLiteral("cache2")));
    if (ours < 0 || theirs < 0) return 1;
    std::printf("lumenor-cli thumbnails: %8.1f ms (%.1f ms a picture)\n", ours, ours / count);
    std::printf("vipsthumbnail:          %8.1f ms (%.1f ms a picture)\n", theirs, theirs / count);
    std::printf("ratio (vipsthumbnail / lumenor): %.2fx (target >= 1.5x)\n", theirs / ours);
    return 0;
}
