// lumenor-cli's commands: the headless front end over the same core functions as the viewer. Each
// command lives in a file of its own (cli/Cmd<Name>.cpp) and registers itself in the command table; this
// file parses the common options and runs the command. The program loads it as a module (cli/main.cpp).
#include "cli/Cli.h"
#include "cli/CommandsModule.h"
#include "cli/Completion.h"

#include "codec/Limits.h"
#include "codec/Raw.h"
#include "codec/Services.h"
#include "formats/Formats.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

// The password service of the command line: the --password value, else a prompt on the terminal.
class TCliPasswords : public IViewerServices {
public:
    std::optional<QString> Given;
    bool RequestPassword(QString& password, bool ask, const QString& prompt) override {
        password.clear();
        if (Given) {
            if (ask) return false; // the given password was wrong: do not loop
            password = *Given;
            return true;
        }
        if (!ask || !isatty(STDIN_FILENO)) return false;
        std::cerr << prompt.toStdString() << ": " << std::flush;
        termios old{};
        const bool echoOff = tcgetattr(STDIN_FILENO, &old) == 0;
        if (echoOff) {
            termios quiet = old;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
        std::string line;
        const bool ok = bool(std::getline(std::cin, line));
        if (echoOff) tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::cerr << "\n";
        if (!ok) return false;
        password = QString::fromStdString(line);
        return true;
    }
};

TCliPasswords GPasswords;

} // namespace

QString CliUsage() {
    QString text = QStringLiteral("Usage: lumenor-cli COMMAND [ARGS]\n\nCommands:\n");
    for (const TCliCommand* c : CliCommands()) text += QStringLiteral("  ") + QString::fromUtf8(c->Summary) + QLatin1Char('\n');
    text += QStringLiteral(
        "\n"
        "Common options: --max-pixels N (largest picture decoded, default 268435456),\n"
        "  --password P (for encrypted files; without it a terminal is asked, a script is not),\n"
        "  --help (COMMAND --help: that command's usage), --version\n");
    return text;
}

namespace {

// The toolkit's own diagnostics (colour profile checks, session paths) are not this program's
// messages: they are dropped unless LUMENOR_DEBUG is set.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::cerr << message.toStdString() << std::endl;
        std::abort();
    }
    if (qEnvironmentVariableIsSet("LUMENOR_DEBUG")) std::cerr << message.toStdString() << std::endl;
}

} // namespace

std::optional<QString> GivenPassword() { return GPasswords.Given; }

namespace {

int RunCommands(int argc, char** argv) {
    qInstallMessageHandler(QuietMessages);
    // Fonts and painting need a GUI application object; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("lumenor-cli"));
    QGuiApplication::setApplicationVersion(QStringLiteral(LUMENOR_VERSION));
    QStringList args = app.arguments().mid(1);

    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--max-pixels") && i + 1 < args.size()) {
            bool ok = false;
            const qint64 n = args[i + 1].toLongLong(&ok);
            if (!ok || n < 1) {
                Err() << "lumenor-cli: --max-pixels needs a positive number\n";
                return 2;
            }
            SetPixelLimit(n);
            args.remove(i, 2);
            --i;
        } else if (args[i] == QLatin1String("--password") && i + 1 < args.size()) {
            GPasswords.Given = args[i + 1];
            args.remove(i, 2);
            --i;
        }
    }
    SetViewerServices(&GPasswords);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        Out() << CliUsage();
        return args.isEmpty() ? 2 : 0;
    }
    if (args[0] == QLatin1String("--version")) {
        Out() << "lumenor-cli " << LUMENOR_VERSION << '\n';
        return 0;
    }
    // Files the build makes from the command table: the shell completion scripts and the commands
    // section of the manual page.
    if (args[0] == QLatin1String("--generate")) {
        const QString kind = args.value(1);
        if (kind != QLatin1String("bash") && kind != QLatin1String("zsh") && kind != QLatin1String("man")) {
            Err() << "lumenor-cli: --generate needs bash, zsh or man\n";
            return 2;
        }
        InitializeFormats();
        const TCompletionModel model = CompletionModel(CliUsage());
        if (kind == QLatin1String("man"))
            Out() << ManPageCommands();
        else
            Out() << (kind == QLatin1String("bash") ? BashCompletion(model) : ZshCompletion(model));
        return 0;
    }
    const QString name = args.takeFirst();
    const TCliCommand* command = FindCliCommand(name);
    if (!command) {
        Err() << "lumenor-cli: unknown command '" << name << "'\n\n" << CliUsage();
        return 2;
    }
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        Out() << command->Usage;
        return 0;
    }
    InitializeFormats();
    // Camera RAW files are developed in full on the command line; thumbnails take their previews.
    TRawGraphic::SetPreviewFirst(name == QLatin1String("thumbnails"));
    try {
        return command->Run(args);
    } catch (const TUsageError& e) {
        Err() << "lumenor-cli: " << e.Message << "\n(see lumenor-cli " << name << " --help)\n";
        return 2;
    } catch (const Exception& e) {
        Err() << "lumenor-cli: " << e.Message() << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        Err() << "lumenor-cli: not enough memory\n";
        return 1;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) const TCommandsModule* LumenorCommandsModule(int version) {
    static const TCommandsModule module{&RunCommands};
    return version == kCommandsModuleVersion ? &module : nullptr;
}
