// lumenor-cli: the headless front end (info, convert, render) over the same core functions as the viewer.
#include "app/PictureEx.h"
#include "codec/DibGraphic.h"
#include "codec/Limits.h"
#include "codec/Registry.h"
#include "codec/Services.h"
#include "formats/Formats.h"
#include "formats/raster/cif.h"
#include "tools/Thumbnail.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

QTextStream& Out() {
    static QTextStream s(stdout);
    return s;
}
QTextStream& Err() {
    static QTextStream s(stderr);
    return s;
}

const char* kUsage =
    "Usage: lumenor-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  info FILE...                         one line per file: path, class, WIDTHxHEIGHT, pages, frames\n"
    "  convert IN OUT [--page N] [--frame N] [--option KEY=VALUE]...\n"
    "                                       convert IN to the format named by OUT's extension\n"
    "  render IN OUT [--size WxH] [--background RRGGBB]\n"
    "                                       draw IN into a WxH picture (default: its own size) and save it\n"
    "  thumbnails DIR OUTDIR [--size WxH]   one PNG preview (default 100x100) per picture of DIR, named\n"
    "                                       after the picture with .png added; previews are shared with\n"
    "                                       the desktop's thumbnail cache ($XDG_CACHE_HOME/thumbnails)\n"
    "\n"
    "  convert IN OUT.cif --password P [--cipher blowfish|twofish|cast128|rijndael] [--case-sensitive]\n"
    "                                       encrypt IN's bytes into a password-protected container\n"
    "\n"
    "Common options: --max-pixels N (largest picture decoded, default 268435456),\n"
    "  --password P (for encrypted files; without it a terminal is asked, a script is not), --help\n";

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

struct TUsageError {
    QString Message;
};

// Parses "WxH".
QSize ParseSize(const QString& text) {
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() == 2) {
        const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
        if (okW && okH && w > 0 && h > 0) {
            CheckPictureSize(w, h);
            return QSize(w, h);
        }
    }
    throw TUsageError{QStringLiteral("invalid size '%1' (expected WIDTHxHEIGHT)").arg(text)};
}

int ParsePositive(const QString& option, const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1) throw TUsageError{QStringLiteral("%1 needs a number from 1 up, not '%2'").arg(option, text)};
    return n;
}

// Takes the value of an option at args[i + 1].
QString TakeValue(const QStringList& args, int& i) {
    if (i + 1 >= args.size()) throw TUsageError{QStringLiteral("%1 needs a value").arg(args[i])};
    return args[++i];
}

// Loads a file through the picture container, on the given page (1-based) when the format has pages.
std::unique_ptr<TGraphic> LoadGraphic(const QString& fileName, int page = 1) {
    if (!QFileInfo::exists(fileName)) throw EInvalidGraphic(QStringLiteral("The file does not exist"));
    std::unique_ptr<TGraphic> graphic = TPictureEx::CreateGraphicFor(fileName);
    if (auto* dib = dynamic_cast<TDibGraphic*>(graphic.get())) {
        if (page > 1) {
            QFile file(fileName);
            if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic(file.errorString());
            const int pages = dib->GetPageCount(file);
            if (page > pages)
                throw EInvalidGraphicOperation(QStringLiteral("Page %1 does not exist (the file has %2)").arg(page).arg(pages));
        }
        dib->SetPageIndex(page);
    } else if (page > 1) {
        throw EInvalidGraphicOperation(QStringLiteral("The %1 format has no pages").arg(graphic->ClassName()));
    }
    graphic->LoadFromFileName(fileName);
    return graphic;
}

int PageCount(TGraphic& graphic, const QString& fileName) {
    auto* dib = dynamic_cast<TDibGraphic*>(&graphic);
    if (!dib) return 1;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return 1;
    return dib->GetPageCount(file);
}

int CmdInfo(const QStringList& args) {
    if (args.isEmpty()) throw TUsageError{QStringLiteral("info needs at least one file")};
    int status = 0;
    for (const QString& path : args) {
        try {
            std::unique_ptr<TGraphic> g = LoadGraphic(path);
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

std::unique_ptr<TGraphic> CreateTarget(const QString& out) {
    const QString ext = QFileInfo(out).suffix();
    TGraphicClass cls = GraphicClassByExtension(ext);
    if (!cls) throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
    return cls->Create();
}

int CmdConvert(const QStringList& args) {
    QStringList positional;
    int page = 1, frame = 0;
    QList<QPair<QString, QString>> options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--page"))
            page = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--frame"))
            frame = ParsePositive(a, TakeValue(args, i));
        else if (a == QLatin1String("--cipher"))
            options.append({QStringLiteral("cipher"), TakeValue(args, i)});
        else if (a == QLatin1String("--case-sensitive"))
            options.append({QStringLiteral("case-sensitive"), QStringLiteral("1")});
        else if (a == QLatin1String("--option")) {
            const QString kv = TakeValue(args, i);
            const int eq = kv.indexOf(QLatin1Char('='));
            if (eq <= 0) throw TUsageError{QStringLiteral("--option needs KEY=VALUE, not '%1'").arg(kv)};
            options.append({kv.left(eq), kv.mid(eq + 1)});
        } else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("convert needs IN and OUT")};
    const QString in = positional[0], out = positional[1];
    std::unique_ptr<TGraphic> target = CreateTarget(out);
    if (auto* cif = dynamic_cast<TCIFGraphic*>(target.get())) {
        if (!GPasswords.Given) throw TUsageError{QStringLiteral("an encrypted file needs --password")};
        options.prepend({QStringLiteral("password"), *GPasswords.Given});
        cif->SetPlainFileName(in);
        if (!QFileInfo(in).isFile()) {
            Err() << "lumenor-cli: cannot open " << in << ": The file does not exist\n";
            return 1;
        }
    }
    for (const auto& [key, value] : options)
        if (!target->SetSaveOption(key, value))
            throw TUsageError{QStringLiteral("the %1 format has no option '%2'").arg(target->ClassName(), key)};
    if (dynamic_cast<TCIFGraphic*>(target.get())) {
        target->SaveToFileName(out); // the container holds IN's bytes unchanged
        return 0;
    }
    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in, page);
        if (frame) source->SelectFrame(frame);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    target->Assign(*source);
    target->SaveToFileName(out); // through a temporary file: a failure leaves OUT as it was
    return 0;
}

TColor ParseColour(const QString& text) {
    QString t = text;
    if (t.startsWith(QLatin1Char('#'))) t.remove(0, 1);
    bool ok = false;
    const uint rgb = t.toUInt(&ok, 16);
    if (!ok || t.size() != 6) throw TUsageError{QStringLiteral("invalid colour '%1' (expected RRGGBB)").arg(text)};
    return FromQColor(QColor::fromRgb(rgb));
}

int CmdRender(const QStringList& args) {
    QStringList positional;
    QSize size;
    TColor background = 0xFFFFFF;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--size"))
            size = ParseSize(TakeValue(args, i));
        else if (a == QLatin1String("--background"))
            background = ParseColour(TakeValue(args, i));
        else if (a.startsWith(QLatin1String("--")))
            throw TUsageError{QStringLiteral("unknown option %1").arg(a)};
        else
            positional << a;
    }
    if (positional.size() != 2) throw TUsageError{QStringLiteral("render needs IN and OUT")};
    const QString in = positional[0], out = positional[1];
    std::unique_ptr<TGraphic> target = CreateTarget(out);
    std::unique_ptr<TGraphic> source;
    try {
        source = LoadGraphic(in);
    } catch (const Exception& e) {
        Err() << "lumenor-cli: cannot open " << in << ": " << e.Message() << '\n';
        return 1;
    }
    if (source->IsEmpty()) throw EInvalidGraphic(QStringLiteral("%1 holds no picture").arg(in));
    TImageGraphic rendered(source->ToImage(size, background));
    target->Assign(rendered);
    target->SaveToFileName(out);
    return 0;
}

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

} // namespace

int main(int argc, char** argv) {
    // Fonts and painting need a GUI application object; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
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
        Out() << kUsage;
        return args.isEmpty() ? 2 : 0;
    }
    InitializeFormats();
    const QString command = args.takeFirst();
    if (args.contains(QLatin1String("--help"))) {
        Out() << kUsage;
        return 0;
    }
    try {
        if (command == QLatin1String("info")) return CmdInfo(args);
        if (command == QLatin1String("convert")) return CmdConvert(args);
        if (command == QLatin1String("render")) return CmdRender(args);
        if (command == QLatin1String("thumbnails")) return CmdThumbnails(args);
        Err() << "lumenor-cli: unknown command '" << command << "'\n\n" << kUsage;
        return 2;
    } catch (const TUsageError& e) {
        Err() << "lumenor-cli: " << e.Message << "\n(see lumenor-cli --help)\n";
        return 2;
    } catch (const Exception& e) {
        Err() << "lumenor-cli: " << e.Message() << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        Err() << "lumenor-cli: not enough memory\n";
        return 1;
    }
}
