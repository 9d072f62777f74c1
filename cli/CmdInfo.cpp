// lumenor-cli info: one line per file.
#include "cli/Cli.h"

#include "codec/Probe.h"

#include <QFileInfo>

namespace {

int CmdInfo(const QStringList& arguments) {
    QStringList args = arguments;
    const bool full = args.removeAll(QStringLiteral("--full")) > 0;
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--"))) throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
    if (args.isEmpty()) throw TUsageError{QStringLiteral("info needs at least one file")};
    int status = 0;
    for (const QString& path : args) {
        try {
            if (!QFileInfo::exists(path)) throw EInvalidGraphic(QStringLiteral("The file does not exist"));
            const TProbe probe = full ? ProbeFileByDecoding(path) : ProbeFile(path);
            if (probe.Truncated)
                Err() << "lumenor-cli: " << path << " is truncated: the part that never arrived shows the background\n";
            Err().flush();
            Out() << path << '\t' << probe.Class->ClassName << '\t' << probe.Info.Width << 'x' << probe.Info.Height
                  << "\tpages=" << probe.Info.Pages << "\tframes=" << probe.Info.Frames << '\n';
        } catch (const Exception& e) {
            Out() << path << "\terror\t" << e.Message() << '\n';
            status = 1;
        } catch (const std::bad_alloc&) {
            Out() << path << "\terror\tNot enough memory\n";
            status = 1;
        }
        Out().flush();
    }
    return status;
}

const TCliCommand kInfo{
    "info", "info FILE... [--full]                one line per file: path, class, WIDTHxHEIGHT, pages, frames",
    "Usage: lumenor-cli info FILE... [--full]\n"
    "\n"
    "Prints one line per file: path<TAB>class<TAB>WIDTHxHEIGHT<TAB>pages=N<TAB>frames=N,\n"
    "or path<TAB>error<TAB>message when the file cannot be read. Exit status 1 when any file failed.\n"
    "The figures come from the file's headers where its format gives them, without decoding the pixels.\n"
    "\n"
    "  --full   decode every picture; a file cut short is then said to be truncated on stderr\n",
    &CmdInfo, 10};
const TCliCommandRegistrar kRegister(kInfo);

} // namespace
