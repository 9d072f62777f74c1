// lumenor-cli album: thumbnails of many pictures and HTML pages showing them in a table, page by page,
// as the window's album generator makes them.
#include "cli/Cli.h"

#include "tools/BatchConv.h"

#include <QDir>

namespace {

const char* const kFilters[] = {"none", "linear", "hermite", "bell", "bspline", "lanczos3", "mitchell"};

int CmdAlbum(const QStringList& args) {
    QStringList files;
    TAlbumOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--out")) {
            options.OutputDir = TakeValue(args, i);
        } else if (a == QLatin1String("--title")) {
            options.Title = TakeValue(args, i);
        } else if (a == QLatin1String("--size")) {
            const QSize size = ParseSize(TakeValue(args, i));
            if (size.width() < 16 || size.width() > 256 || size.height() < 16 || size.height() > 256)
                throw TUsageError{QStringLiteral("--size takes 16 to 256 pixels a side")};
            options.Box = size;
        } else if (a == QLatin1String("--grid")) {
            const QSize grid = ParseSize(TakeValue(args, i));
            if (grid.width() > 64 || grid.height() > 64) throw TUsageError{QStringLiteral("--grid takes 1 to 64 columns and rows")};
            options.Columns = grid.width();
            options.Rows = grid.height();
        } else if (a == QLatin1String("--thumbnail")) {
            const QString type = TakeValue(args, i).toLower();
            if (type != QLatin1String("jpg") && type != QLatin1String("gif")) throw TUsageError{QStringLiteral("--thumbnail is jpg or gif")};
            options.ThumbnailExt = QLatin1Char('.') + type.toUpper();
        } else if (a == QLatin1String("--filter")) {
            const QString name = TakeValue(args, i).toLower();
            options.Filter = -1;
            for (int f = 0; f < int(std::size(kFilters)); ++f)
                if (name == QLatin1String(kFilters[f])) options.Filter = f;
            if (options.Filter < 0) throw TUsageError{QStringLiteral("unknown filter '%1'").arg(name)};
        } else if (a == QLatin1String("--base")) {
            options.BaseName = TakeValue(args, i);
            if (options.BaseName.trimmed().isEmpty() || options.BaseName.contains(QLatin1Char('/')))
                throw TUsageError{QStringLiteral("--base needs a file name")};
        } else if (a == QLatin1String("--no-copy")) {
            options.CopySource = false;
        } else if (a == QLatin1String("--overwrite")) {
            options.Overwrite = true;
        } else if (a == QLatin1String("--optimize")) {
            options.Optimize = true;
        } else if (a == QLatin1String("--jobs")) {
            options.Workers = ParsePositive(a, TakeValue(args, i));
        } else if (a == QLatin1String("--from")) {
            files << ReadFileList(TakeValue(args, i));
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            files << a;
        }
    }
    if (options.OutputDir.isEmpty()) throw TUsageError{QStringLiteral("album needs --out DIR")};
    if (!QDir().mkpath(options.OutputDir)) {
        Err() << "lumenor-cli: cannot create " << options.OutputDir << '\n';
        return 1;
    }
    TBatchJob job(files, options);
    return RunBatchJob(job);
}

const TCliCommand kAlbum{
    "album",
    "album --out DIR [--title TEXT] [--from FILE] [FILE...]\n"
    "                                       an HTML album: thumbnails and linked pages",
    "Usage: lumenor-cli album --out DIR [--title TEXT] [--size WxH] [--grid COLSxROWS] [--thumbnail jpg|gif]\n"
    "                         [--filter NAME] [--base NAME] [--no-copy] [--overwrite] [--optimize]\n"
    "                         [--jobs N] [--from FILE] [FILE...]\n"
    "\n"
    "Writes a thumbnail TN_<name>.JPG of every FILE into DIR, copies the pictures there and writes pages\n"
    "Page_001.htm, Page_002.htm, ... that show the thumbnails in a table, each linked to its picture.\n"
    "\n"
    "  --title TEXT          the pages' title and heading\n"
    "  --size WxH            the thumbnails' box, 16 to 256 pixels a side (128x96); proportions are kept\n"
    "  --grid COLSxROWS      thumbnails per page (5x4)\n"
    "  --thumbnail jpg|gif   the thumbnails' format (jpg)\n"
    "  --filter NAME         none (default), linear, hermite, bell, bspline, lanczos3, mitchell\n"
    "  --base NAME           the pages' name before _001.htm (Page)\n"
    "  --no-copy             link to the pictures where they are instead of copying them\n"
    "  --overwrite           replace existing thumbnails and copies; without it they are kept\n"
    "  --optimize            write the pages without line breaks\n"
    "  --jobs N              the number of thumbnails made at once (default: one per core)\n"
    "  --from FILE           read more file names from FILE, one a line ('-': standard input)\n",
    &CmdAlbum, 55};
const TCliCommandRegistrar kRegister(kAlbum);

} // namespace
