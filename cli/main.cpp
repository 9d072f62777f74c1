// lumenor-cli: the program. It loads Qt Core alone, answers `info` for the files whose headers it reads
// itself (codec/QuickProbe.h), and hands every other command line to the commands module, which loads
// the codecs and the painting libraries (cli/CommandsModule.h). A folder of photos is listed at once.
#include "cli/CommandsModule.h"

#include "codec/PixelLimit.h"
#include "codec/QuickProbe.h"
#include "platform/ModulePath.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

// Answers `info FILE...` from the headers as far as it can, in order, and gives the position in argv
// of the first file it cannot answer; argc when it answered them all, 0 when the command line is not a
// plain `info` (the commands then parse it, with their messages).
int QuickInfo(int argc, char** argv, std::vector<int>& files) {
    bool info = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if ((arg == QLatin1String("--max-pixels") || arg == QLatin1String("--password")) && i + 1 < argc) {
            if (arg == QLatin1String("--max-pixels")) {
                bool ok = false;
                const qint64 n = QString::fromLocal8Bit(argv[i + 1]).toLongLong(&ok);
                if (!ok || n < 1) return 0;
                SetPixelLimit(n);
            }
            ++i;
        } else if (!info) {
            if (arg != QLatin1String("info")) return 0;
            info = true;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return 0; // --full, --help and mistakes; the toolkit's own options too
        } else {
            files.push_back(i);
        }
    }
    if (files.empty()) return 0;
    for (int i : files) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const std::optional<TQuickProbe> probe = QuickProbeFile(path);
        if (!probe) return i;
        const QByteArray line = (QStringLiteral("%1\t%2\t%3x%4\tpages=%5\tframes=%6\n")
                                     .arg(path, probe->ClassName)
                                     .arg(probe->Info.Width)
                                     .arg(probe->Info.Height)
                                     .arg(probe->Info.Pages)
                                     .arg(probe->Info.Frames))
                                    .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    return argc;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> files;
    const int unanswered = QuickInfo(argc, argv, files);
    if (unanswered == argc) return std::fflush(stdout) == 0 ? 0 : 1;
    std::fflush(stdout);

    // The command line the commands see: the files answered above are left out of it (files holds
    // their positions in increasing order, so a long list is searched, not walked).
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const bool answered = unanswered > 0 && i < unanswered && std::binary_search(files.begin(), files.end(), i);
        if (!answered) rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    rest.push_back(nullptr);

    const TCommandsModule* module = nullptr;
    const QString why = LoadModule(LUMENOR_COMMANDS_MODULE_FILE, LUMENOR_COMMANDS_MODULE_ENTRY, false, [&module](void* entry) {
        module = reinterpret_cast<TCommandsModuleEntry>(entry)(kCommandsModuleVersion);
        return module != nullptr;
    });
    if (!module) {
        std::fprintf(stderr, "lumenor-cli: the commands are not installed (%s)\n", why.toLocal8Bit().constData());
        return 1;
    }
    return module->Main(restCount, rest.data());
}
