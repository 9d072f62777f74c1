// lumenor-cli info: one line per file.
#include "cli/Cli.h"

namespace {

int CmdInfo(const QStringList& args) {
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--"))) throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
    if (args.isEmpty()) throw TUsageError{QStringLiteral("info needs at least one file")};
    int status = 0;
    for (const QString& path : args) {
        try {
            std::unique_ptr<TGraphic> g = LoadGraphic(path);
            ReportTruncated(*g, path);
            Out() << path << '\t' << g->ClassName() << '\t' << g->Width() << 'x' << g->Height() << "\tpages="
                  << PageCount(*g, path) << "\tframes=" << g->FrameCount() << '\n';
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
    "info", "info FILE...                         one line per file: path, class, WIDTHxHEIGHT, pages, frames",
    "Usage: lumenor-cli info FILE...\n"
    "\n"
    "Prints one line per file: path<TAB>class<TAB>WIDTHxHEIGHT<TAB>pages=N<TAB>frames=N,\n"
    "or path<TAB>error<TAB>message when the file cannot be read. Exit status 1 when any file failed.\n"
    "A file cut short is read as far as it goes, at its full size, and said to be truncated on stderr.\n",
    &CmdInfo, 10};
const TCliCommandRegistrar kRegister(kInfo);

} // namespace
