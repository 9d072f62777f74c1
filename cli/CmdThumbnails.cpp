// lumenor-cli thumbnails: one preview per picture of a folder, shared with the desktop's thumbnail cache.
#include "cli/Cli.h"

#include "codec/Registry.h"
#include "tools/Thumbnail.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace {

// The pictures of a folder: regular files whose extension is in the start-up table, sorted by name.
QStringList PictureFiles(const QString& dir) {
    QStringList result;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : entries)
        if (!info.suffix().isEmpty() && FindStartupFormat(info.suffix())) result << info.absoluteFilePath();
    return result;
}

int CmdThumbnails(const QStringList& args) {
    QStringList positional;
    QSize size(100, 100);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--size"))
            size = ParseSize(TakeValue(args, i));
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("thumbnails needs DIR and OUTDIR")};
    const QString dir = positional[0], outDir = positional[1];
    if (!QFileInfo(dir).isDir()) {
        Err() << "lumenor-cli: " << dir << " is not a folder\n";
        return 1;
    }
    if (!QDir().mkpath(outDir)) {
        Err() << "lumenor-cli: cannot create " << outDir << '\n';
        return 1;
    }
    const QStringList files = PictureFiles(dir);
    const bool terminal = isatty(STDOUT_FILENO);
    TThumbnailLoader loader;
    TPreviewOptions options = loader.Options();
    options.Cell = size;
    loader.SetOptions(options);
    loader.Load(files);

    int done = 0;
    QStringList failed;
    QEventLoop loop;
    QObject::connect(&loader, &TThumbnailLoader::PreviewReady, &loader,
                     [&](int, const QString& fileName, const TPreview& preview) {
                         const QString name = QFileInfo(fileName).fileName();
                         QImage image = preview.Image;
                         if (preview.Status == TPreviewStatus::Locked) image = LockPlaceholder(size);
                         if (image.isNull()) {
                             failed << fileName + QStringLiteral(": ") + preview.Error;
                         } else {
                             QSaveFile out(QDir(outDir).filePath(name + QStringLiteral(".png")));
                             if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG") || !out.commit())
                                 failed << fileName + QStringLiteral(": cannot write the preview: ") + out.errorString();
                         }
                         ++done;
                         if (terminal) {
                             Out() << "\r" << done << '/' << files.size() << ' ' << name << "\x1b[K";
                             Out().flush();
                         }
                         if (done == files.size()) loop.quit();
                     });
    if (!files.isEmpty()) {
        loader.RequestAll();
        loop.exec();
    }
    if (terminal && !files.isEmpty()) Out() << '\n';
    for (const QString& line : failed) Err() << "lumenor-cli: " << line << '\n';
    return failed.isEmpty() ? 0 : 1;
}

const TCliCommand kThumbnails{
    "thumbnails",
    "thumbnails DIR OUTDIR [--size WxH]   one PNG preview (default 100x100) per picture of DIR, named\n"
    "                                       after the picture with .png added; previews are shared with\n"
    "                                       the desktop's thumbnail cache ($XDG_CACHE_HOME/thumbnails)",
    "Usage: lumenor-cli thumbnails DIR OUTDIR [--size WxH]\n"
    "\n"
    "Writes one PNG preview per picture of DIR (files whose extension the viewer knows) into OUTDIR, named\n"
    "after the picture with \".png\" added, fitted into WxH (default 100x100). Previews are shared with the\n"
    "desktop's thumbnail cache ($XDG_CACHE_HOME/thumbnails), so a second run reads them back. Encrypted\n"
    "pictures get a lock picture and are never read. Exit status 1 when any picture failed.\n"
    "\n"
    "  --size WxH            the cell each preview is fitted into\n",
    &CmdThumbnails, 40};
const TCliCommandRegistrar kRegister(kThumbnails);

} // namespace
