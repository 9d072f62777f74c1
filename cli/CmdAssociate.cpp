// lumenor-cli associate: makes the viewer the desktop's program for picture extensions (or undoes it),
// the same work as the options dialog's "&Associate", for scripts and installers.
#include "cli/Cli.h"

#include "platform/Associations.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// The icon of the type-list row an extension belongs to, made when missing; empty for other extensions.
QString IconFor(const QString& extension) {
    const auto& rows = FileTypeRows();
    for (size_t i = 0; i < rows.size(); ++i)
        for (const QString& ext : SplitExtensions(rows[i].Extensions))
            if (ext.compare(extension, Qt::CaseInsensitive) == 0) {
                const QString path = FileTypeIconPath(rows[i].Format);
                if (!QFileInfo::exists(path)) WriteFileTypeIcon(path, rows[i].Format.left(3), TColor(i) * kFileTypeIconStep, QImage());
                return QFileInfo::exists(path) ? path : QString();
            }
    return QString();
}

int CmdAssociate(const QStringList& args) {
    QStringList extensions;
    bool undo = false, query = false;
    QString program;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--undo")) undo = true;
        else if (a == QLatin1String("--query")) query = true;
        else if (a == QLatin1String("--program")) program = TakeValue(args, i);
        else if (a.startsWith(QLatin1String("--"))) throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else extensions << a;
    }
    if (extensions.isEmpty()) throw TUsageError{QStringLiteral("associate needs at least one extension")};
    if (undo && query) throw TUsageError{QStringLiteral("--undo and --query do not go together")};
    for (QString& ext : extensions) {
        if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
        if (ext.isEmpty() || ext.contains(QLatin1Char('/')) || ext.contains(QLatin1Char('.')) || ext.contains(QLatin1Char(' ')))
            throw TUsageError{QStringLiteral("'%1' is not a file extension").arg(ext)};
        ext = ext.toUpper();
    }
    TAssociations associations;
    if (query) {
        for (const QString& ext : extensions) {
            const QString mime = associations.MimeTypeOf(QLatin1Char('.') + ext);
            Out() << ext << '\t' << (associations.IsAssociated(QLatin1Char('.') + ext) ? "associated" : "not associated")
                  << '\t' << mime << '\t' << associations.DefaultHandler(mime) << '\n';
        }
        return 0;
    }
    if (!undo) {
        if (program.isEmpty()) {
            program = QCoreApplication::applicationDirPath() + QStringLiteral("/lumenor");
            if (!QFileInfo(program).isExecutable()) {
                Err() << "lumenor-cli: the viewer is not at " << program << "; give its path with --program\n";
                return 1;
            }
        }
        program = QFileInfo(program).absoluteFilePath();
    }
    QStringList failed;
    for (const QString& ext : extensions) {
        const bool ok = undo ? associations.Unassociate(QLatin1Char('.') + ext)
                             : associations.Associate(QLatin1Char('.') + ext, AssociationDescription(ext), IconFor(ext), program);
        if (!ok) failed << ext;
    }
    associations.NotifyChanged();
    if (!failed.isEmpty()) {
        Err() << "lumenor-cli: the associations of " << failed.join(QStringLiteral(", ")) << " could not be written\n";
        return 1;
    }
    return 0;
}

const TCliCommand kAssociate{
    "associate",
    "associate EXT... [--undo | --query] [--program PATH]\n"
    "                                       make the viewer the desktop's program for extensions",
    "Usage: lumenor-cli associate EXT... [--undo | --query] [--program PATH]\n"
    "\n"
    "Makes the viewer the program that opens files with these extensions on the desktop (the user's\n"
    "mimeapps.list), as the options dialog's \"Associate\" does; the program they had before is kept and\n"
    "given back by --undo. Files go under $XDG_DATA_HOME and $XDG_CONFIG_HOME.\n"
    "\n"
    "  --undo          give the extensions back to the program they had before\n"
    "  --query         print, per extension: whether the viewer opens it, its MIME type and the default\n"
    "  --program PATH  the viewer to open files with (default: lumenor next to lumenor-cli)\n",
    &CmdAssociate, 90};
const TCliCommandRegistrar kRegister(kAssociate);

} // namespace
