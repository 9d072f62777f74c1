// lumenor-cli batch: many pictures converted to one format and/or renamed, on all cores, with the
// rules of the window's batch dialog.
#include "cli/Cli.h"

#include "codec/Registry.h"
#include "tools/BatchConv.h"
#include "tools/ConvertFmt.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

int CmdBatch(const QStringList& args) {
    QStringList files;
    TBatchOptions options;
    options.Convert.Targets = TConvertTargets::ctAllWriters;
    QString to, pattern, out;
    bool renaming = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--to")) {
            to = TakeValue(args, i);
        } else if (a == QLatin1String("--out")) {
            out = TakeValue(args, i);
        } else if (a == QLatin1String("--option")) {
            options.Convert.WriterKeys.append(ParseKeyValue(a, TakeValue(args, i)));
        } else if (a == QLatin1String("--rename")) {
            pattern = TakeValue(args, i);
            renaming = true;
        } else if (a == QLatin1String("--delete-source")) {
            options.DeleteSource = true;
        } else if (a == QLatin1String("--overwrite")) {
            options.Overwrite = true;
        } else if (a == QLatin1String("--simulate")) {
            options.Simulate = true;
        } else if (a == QLatin1String("--first-index")) {
            options.FirstIndex = ParseInteger(a, TakeValue(args, i), 0, 2000000000);
        } else if (a == QLatin1String("--jobs")) {
            options.Workers = ParsePositive(a, TakeValue(args, i));
        } else if (a == QLatin1String("--background")) {
            options.BackColor = ParseColour(TakeValue(args, i));
        } else if (a == QLatin1String("--from")) {
            files << ReadFileList(TakeValue(args, i));
        } else if (a.startsWith(QLatin1String("--"))) {
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        } else {
            files << a;
        }
    }
    if (to.isEmpty() && !renaming) throw TUsageError{QStringLiteral("batch needs --to EXT, --rename PATTERN or both")};
    if (out.isEmpty()) throw TUsageError{QStringLiteral("batch needs --out DIR")};
    if (renaming && pattern.isEmpty()) throw TUsageError{QStringLiteral("--rename needs a pattern")};
    if (!to.isEmpty()) {
        if (to.startsWith(QLatin1Char('.'))) to.remove(0, 1);
        const QString ext = to.toUpper();
        if (!ConvertTargetClass(ext, options.Convert.Targets) && ext != QLatin1String("CIF")) {
            if (!GraphicClassByExtension(ext)) throw TUsageError{QStringLiteral("unknown picture file extension (.%1)").arg(to)};
            throw TUsageError{QStringLiteral("cannot write .%1 files: the format can be read, not written").arg(to)};
        }
        if (ext == QLatin1String("CIF")) {
            const std::optional<QString> password = GivenPassword();
            if (!password) throw TUsageError{QStringLiteral("an encrypted file needs --password")};
            options.Convert.WriterKeys.prepend({QStringLiteral("password"), *password});
        }
        options.TargetExt = QLatin1Char('.') + to;
        // A batch favours speed: PNG files are deflated at level 1 unless the user chose a level (the
        // writer's line filters keep them small all the same).
        const bool levelGiven = std::any_of(options.Convert.WriterKeys.begin(), options.Convert.WriterKeys.end(),
                                            [](const auto& key) { return key.first == QLatin1String("compression"); });
        if (ext == QLatin1String("PNG") && !levelGiven) options.Convert.WriterKeys.prepend({QStringLiteral("compression"), QStringLiteral("1")});
    }
    options.Action = to.isEmpty() ? TBatchAction::baRename : renaming ? TBatchAction::baConvertRename : TBatchAction::baConvert;
    options.Rename.Kind = TRenameKind::rkPattern;
    options.Rename.Pattern = pattern;
    if (!QDir().mkpath(out)) {
        Err() << "lumenor-cli: cannot create " << out << '\n';
        return 1;
    }
    options.OutputDir = out;
    TBatchJob job(files, options);
    const int status = RunBatchJob(job);
    return status;
}

const TCliCommand kBatch{
    "batch",
    "batch --to EXT --out DIR [--rename PATTERN] [--option KEY=VALUE]... [--from FILE] [FILE...]\n"
    "                                       convert and/or rename many pictures on all cores",
    "Usage: lumenor-cli batch --to EXT --out DIR [--option KEY=VALUE]... [--rename PATTERN]\n"
    "                         [--delete-source] [--overwrite] [--first-index N] [--jobs N]\n"
    "                         [--background RRGGBB] [--simulate] [--from FILE] [FILE...]\n"
    "\n"
    "Converts every FILE to the format EXT (jpg, png, gif, tif, bmp, ...; see convert --help for the\n"
    "formats and their --option keys) and/or renames it, writing the results into DIR. The files are\n"
    "converted on all cores; errors are reported in the order of the list, and the exit status is 1 when\n"
    "any file failed.\n"
    "\n"
    "  --to EXT              the format to convert to; without it the files are only renamed (copied);\n"
    "                        PNG files are deflated at level 1 unless --option compression=N says otherwise\n"
    "  --out DIR             the folder the results go to (made when missing)\n"
    "  --rename PATTERN      the new names: '*' stands for the old name without its extension, a run of\n"
    "                        '#' for the file's number (index + 1, at least as many digits as the run);\n"
    "                        without a '.' in the pattern the extension is kept (or becomes EXT)\n"
    "  --first-index N       the index of the first file (0): a list split over several runs keeps its\n"
    "                        numbers when each part names where it starts\n"
    "  --delete-source       delete each source once its result is complete (renaming: move it)\n"
    "  --overwrite           replace existing files; without it they are kept and named on stderr\n"
    "  --jobs N              the number of files converted at once (default: one per core)\n"
    "  --background RRGGBB   the colour drawings and transparent parts are drawn on (default FFFFFF)\n"
    "  --simulate            print the new names, write nothing\n"
    "  --from FILE           read more file names from FILE, one a line ('-': standard input)\n"
    "\n"
    "Two files that would give the same result, a result that is another file of the list and new names\n"
    "that are not file names are refused with an error, so a run never loses a picture.\n",
    &CmdBatch, 50};
const TCliCommandRegistrar kRegister(kBatch);

} // namespace
