#include "platform/Wallpaper.h"

#include "platform/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString kSection = QStringLiteral("Wallpaper");
const QString kDesktopValue = QStringLiteral("Desktop");
const QString kPreviousPrefix = QStringLiteral("Previous ");

class TSystemRunner : public ICommandRunner {
public:
    TCommandResult Run(const QString& program, const QStringList& arguments) override {
        TCommandResult result;
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty()) return result;
        QProcess process;
        process.start(path, arguments);
        if (!process.waitForStarted(10000)) return result;
        result.Started = true;
        process.closeWriteChannel();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(1000);
            result.Error = "did not finish within 10 seconds";
            return result;
        }
        result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.Output = process.readAllStandardOutput();
        result.Error = process.readAllStandardError();
        return result;
    }
    bool Has(const QString& program) override { return !QStandardPaths::findExecutable(program).isEmpty(); }
};

// Runs a tool and returns its output; raises with the tool's own message when it fails.
QByteArray Checked(ICommandRunner& runner, const QString& program, const QStringList& arguments) {
    const TCommandResult r = runner.Run(program, arguments);
    const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!r.Started) {
        throw EWallpaperError(r.Error.isEmpty()
                                  ? QStringLiteral("The program '%1' cannot be run").arg(program)
                                  : QStringLiteral("'%1' %2").arg(command, QString::fromLocal8Bit(r.Error)));
    }
    if (r.ExitCode != 0) {
        const QString reason = QString::fromLocal8Bit(r.Error).trimmed();
        throw EWallpaperError(QStringLiteral("'%1' failed%2").arg(command, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    }
    return r.Output;
}

QString Trimmed(const QByteArray& output) { return QString::fromUtf8(output).trimmed(); }

// ---------------------------------------------------------------------------------------------------
// GNOME, Cinnamon and MATE: gsettings keys of a background schema.

class TGSettingsBackend : public IWallpaperBackend {
public:
    TGSettingsBackend(QString name, QString schema, QString pictureKey, bool uri, QString darkKey, ICommandRunner& runner)
        : FName(std::move(name)), FSchema(std::move(schema)), FPictureKey(std::move(pictureKey)), FUri(uri),
          FDarkKey(std::move(darkKey)), FRunner(runner) {}

    QString Name() const override { return FName; }

    TWallpaperValues Read() override {
        TWallpaperValues values;
        for (const QString& key : Keys())
            values[key] = Trimmed(Checked(FRunner, QStringLiteral("gsettings"), {QStringLiteral("get"), FSchema, key}));
        return values;
    }

    QString PictureOf(const TWallpaperValues& values) const override {
        const QString text = ParseGVariantString(values.value(FPictureKey));
        if (!FUri) return text;
        const QUrl url(text);
        return url.isLocalFile() ? url.toLocalFile() : QString();
    }

    void SetPicture(const QString& file, TWallpaperStyle style) override {
        const QString picture = FUri ? QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded()) : file;
        for (const QString& key : Keys()) {
            if (key == QLatin1String("picture-options"))
                Set(key, GVariantString(style == TWallpaperStyle::wsTiled      ? QStringLiteral("wallpaper")
                                        : style == TWallpaperStyle::wsStretched ? QStringLiteral("stretched")
                                                                                : QStringLiteral("centered")));
            else
                Set(key, GVariantString(picture)); // the picture key and the dark style's
        }
    }

    void Write(const TWallpaperValues& values) override {
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.value().isEmpty())
                Checked(FRunner, QStringLiteral("gsettings"), {QStringLiteral("reset"), FSchema, it.key()});
            else
                Set(it.key(), it.value());
        }
    }

private:
    void Set(const QString& key, const QString& value) {
        Checked(FRunner, QStringLiteral("gsettings"), {QStringLiteral("set"), FSchema, key, value});
    }

    // The picture key, the dark style's where this GNOME has it, and the placement.
    QStringList Keys() {
        if (FKeys.isEmpty()) {
            FKeys << FPictureKey;
            if (!FDarkKey.isEmpty()) {
                const QStringList known =
                    Trimmed(Checked(FRunner, QStringLiteral("gsettings"), {QStringLiteral("list-keys"), FSchema}))
                        .split(QLatin1Char('\n'));
                for (const QString& k : known)
                    if (k.trimmed() == FDarkKey) FKeys << FDarkKey;
            }
            FKeys << QStringLiteral("picture-options");
        }
        return FKeys;
    }

    QString FName, FSchema, FPictureKey;
    bool FUri;
    QString FDarkKey;
    ICommandRunner& FRunner;
    QStringList FKeys;
};

// ---------------------------------------------------------------------------------------------------
// KDE Plasma: the shell's scripting interface through qdbus, else plasma-apply-wallpaperimage.

QString JsString(const QString& text) {
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2)); // ["..."] without the brackets
}

class TPlasmaBackend : public IWallpaperBackend {
public:
    explicit TPlasmaBackend(ICommandRunner& runner) : FRunner(runner) {
        for (const char* name : {"qdbus6", "qdbus-qt6", "qdbus", "qdbus-qt5"})
            if (FRunner.Has(QString::fromLatin1(name))) {
                FQdbus = QString::fromLatin1(name);
                break;
            }
    }

    QString Name() const override { return QStringLiteral("KDE"); }

    TWallpaperValues Read() override {
        TWallpaperValues values;
        if (FQdbus.isEmpty()) return values; // cannot be read: nothing to restore later
        const QString output = Trimmed(Evaluate(QStringLiteral(
            "var d = desktops();\n"
            "if (d.length > 0) {\n"
            "  var w = d[0];\n"
            "  var plugin = w.wallpaperPlugin;\n"
            "  w.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
            "  print(\"Plugin=\" + plugin + \"\\nImage=\" + w.readConfig(\"Image\") + \"\\nFillMode=\" + "
            "w.readConfig(\"FillMode\") + \"\\n\");\n"
            "}\n")));
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            const int eq = int(line.indexOf(QLatin1Char('=')));
            if (eq > 0) values[line.left(eq).trimmed()] = line.mid(eq + 1).trimmed();
        }
        return values;
    }

    QString PictureOf(const TWallpaperValues& values) const override {
        const QString image = values.value(QStringLiteral("Image"));
        const QUrl url(image);
        if (url.isLocalFile()) return url.toLocalFile();
        return image.startsWith(QLatin1Char('/')) ? image : QString();
    }

    void SetPicture(const QString& file, TWallpaperStyle style) override {
        // Plasma's fill modes: 6 centred (pad), 3 tiled, 0 stretched.
        const int fill = style == TWallpaperStyle::wsTiled ? 3 : style == TWallpaperStyle::wsStretched ? 0 : 6;
        if (FQdbus.isEmpty()) {
            if (!FRunner.Has(QStringLiteral("plasma-apply-wallpaperimage")))
                throw EWallpaperError(QStringLiteral("Neither qdbus nor plasma-apply-wallpaperimage can be found"));
            Checked(FRunner, QStringLiteral("plasma-apply-wallpaperimage"), {file});
            return;
        }
        Apply(QStringLiteral("org.kde.image"), QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded()),
              QString::number(fill));
    }

    void Write(const TWallpaperValues& values) override {
        if (FQdbus.isEmpty()) throw EWallpaperError(QStringLiteral("qdbus cannot be found"));
        const QString plugin = values.value(QStringLiteral("Plugin"));
        Apply(plugin.isEmpty() ? QStringLiteral("org.kde.image") : plugin, values.value(QStringLiteral("Image")),
              values.value(QStringLiteral("FillMode")));
    }

private:
    void Apply(const QString& plugin, const QString& image, const QString& fillMode) {
        QString script = QStringLiteral(
                             "var d = desktops();\n"
                             "for (var i = 0; i < d.length; i++) {\n"
                             "  var w = d[i];\n"
                             "  w.wallpaperPlugin = %1;\n"
                             "  w.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                             "  w.writeConfig(\"Image\", %2);\n")
                             .arg(JsString(plugin), JsString(image));
        bool ok = false;
        const int fill = fillMode.toInt(&ok);
        if (ok) script += QStringLiteral("  w.writeConfig(\"FillMode\", %1);\n").arg(fill);
        script += QStringLiteral("}\n");
        Evaluate(script);
    }

    QByteArray Evaluate(const QString& script) {
        return Checked(FRunner, FQdbus,
                       {QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                        QStringLiteral("org.kde.PlasmaShell.evaluateScript"), script});
    }

    ICommandRunner& FRunner;
    QString FQdbus;
};

// ---------------------------------------------------------------------------------------------------
// XFCE: the xfce4-desktop channel of xfconf, one picture and style per monitor and workspace.

class TXfceBackend : public IWallpaperBackend {
public:
    explicit TXfceBackend(ICommandRunner& runner) : FRunner(runner) {}

    QString Name() const override { return QStringLiteral("XFCE"); }

    TWallpaperValues Read() override {
        TWallpaperValues values;
        const QStringList properties = Properties();
        for (const QString& prefix : Monitors(properties)) {
            for (const QString& name : {QStringLiteral("/last-image"), QStringLiteral("/image-style")}) {
                const QString property = prefix + name;
                values[property] = properties.contains(property)
                                       ? Trimmed(Checked(FRunner, QStringLiteral("xfconf-query"),
                                                         {QStringLiteral("-c"), Channel(), QStringLiteral("-p"), property}))
                                       : QString();
            }
        }
        return values;
    }

    QString PictureOf(const TWallpaperValues& values) const override {
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            if (it.key().endsWith(QLatin1String("/last-image")) && !it.value().isEmpty()) return it.value();
        return QString();
    }

    void SetPicture(const QString& file, TWallpaperStyle style) override {
        // xfdesktop's styles: 1 centred, 2 tiled, 3 stretched.
        const QString styleValue =
            QString::number(style == TWallpaperStyle::wsTiled ? 2 : style == TWallpaperStyle::wsStretched ? 3 : 1);
        QStringList monitors = Monitors(Properties());
        if (monitors.isEmpty()) monitors << QStringLiteral("/backdrop/screen0/monitor0/workspace0");
        for (const QString& prefix : std::as_const(monitors)) {
            Set(prefix + QStringLiteral("/last-image"), QStringLiteral("string"), file);
            Set(prefix + QStringLiteral("/image-style"), QStringLiteral("int"), styleValue);
        }
    }

    void Write(const TWallpaperValues& values) override {
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.value().isEmpty())
                Checked(FRunner, QStringLiteral("xfconf-query"),
                        {QStringLiteral("-c"), Channel(), QStringLiteral("-p"), it.key(), QStringLiteral("-r")});
            else
                Set(it.key(), it.key().endsWith(QLatin1String("/image-style")) ? QStringLiteral("int") : QStringLiteral("string"),
                    it.value());
        }
    }

private:
    static QString Channel() { return QStringLiteral("xfce4-desktop"); }

    QStringList Properties() {
        QStringList properties;
        const QString list = Trimmed(Checked(FRunner, QStringLiteral("xfconf-query"), {QStringLiteral("-c"), Channel(), QStringLiteral("-l")}));
        for (const QString& line : list.split(QLatin1Char('\n')))
            if (line.trimmed().startsWith(QLatin1String("/backdrop/"))) properties << line.trimmed();
        return properties;
    }

    // The monitor and workspace prefixes that have a picture or a style.
    static QStringList Monitors(const QStringList& properties) {
        QStringList monitors;
        for (const QString& p : properties)
            for (const QString& name : {QStringLiteral("/last-image"), QStringLiteral("/image-style")})
                if (p.endsWith(name)) {
                    const QString prefix = p.left(p.size() - name.size());
                    if (!monitors.contains(prefix)) monitors << prefix;
                }
        return monitors;
    }

    void Set(const QString& property, const QString& type, const QString& value) {
        Checked(FRunner, QStringLiteral("xfconf-query"),
                {QStringLiteral("-c"), Channel(), QStringLiteral("-p"), property, QStringLiteral("-n"), QStringLiteral("-t"),
                 type, QStringLiteral("-s"), value});
    }

    ICommandRunner& FRunner;
};

bool SamePath(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

} // namespace

ICommandRunner& SystemCommandRunner() {
    static TSystemRunner runner;
    return runner;
}

QString GVariantString(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('\''))
            escaped += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else
            escaped += c;
    }
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString ParseGVariantString(const QString& printed) {
    const QString t = printed.trimmed();
    if (t.size() < 2 || (t.front() != QLatin1Char('\'') && t.front() != QLatin1Char('"')) || t.back() != t.front())
        return t;
    QString text;
    for (qsizetype i = 1; i + 1 < t.size(); ++i) {
        QChar c = t[i];
        if (c == QLatin1Char('\\') && i + 2 < t.size()) {
            c = t[++i];
            if (c == QLatin1Char('n')) c = QLatin1Char('\n');
            else if (c == QLatin1Char('t')) c = QLatin1Char('\t');
        }
        text += c;
    }
    return text;
}

std::unique_ptr<IWallpaperBackend> MakeWallpaperBackend(const QString& currentDesktop, ICommandRunner& runner) {
    for (const QString& raw : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString name = raw.trimmed().toUpper();
        if (name == QLatin1String("GNOME") || name == QLatin1String("UNITY") || name == QLatin1String("BUDGIE") ||
            name == QLatin1String("PANTHEON") || name == QLatin1String("GNOME-FLASHBACK") ||
            name == QLatin1String("GNOME-CLASSIC"))
            return std::make_unique<TGSettingsBackend>(QStringLiteral("GNOME"), QStringLiteral("org.gnome.desktop.background"),
                                                       QStringLiteral("picture-uri"), true,
                                                       QStringLiteral("picture-uri-dark"), runner);
        if (name == QLatin1String("X-CINNAMON") || name == QLatin1String("CINNAMON"))
            return std::make_unique<TGSettingsBackend>(QStringLiteral("Cinnamon"),
                                                       QStringLiteral("org.cinnamon.desktop.background"),
                                                       QStringLiteral("picture-uri"), true, QString(), runner);
        if (name == QLatin1String("MATE"))
            return std::make_unique<TGSettingsBackend>(QStringLiteral("MATE"), QStringLiteral("org.mate.background"),
                                                       QStringLiteral("picture-filename"), false, QString(), runner);
        if (name == QLatin1String("KDE") || name == QLatin1String("PLASMA"))
            return std::make_unique<TPlasmaBackend>(runner);
        if (name == QLatin1String("XFCE") || name == QLatin1String("XFCE4"))
            return std::make_unique<TXfceBackend>(runner);
    }
    return nullptr;
}

std::unique_ptr<IWallpaperBackend> SessionWallpaperBackend() {
    QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (desktop.isEmpty()) desktop = qEnvironmentVariable("DESKTOP_SESSION");
    return MakeWallpaperBackend(desktop, SystemCommandRunner());
}

QString WallpaperDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/lumenor");
}

TWallpaper::TWallpaper(IWallpaperBackend& backend, TSettingsFile& store, QString dataFolder)
    : FBackend(backend), FStore(store), FDataFolder(std::move(dataFolder)) {}

bool TWallpaper::IsOurBitmap(const QString& path) const {
    const QDir dir(FDataFolder);
    return SamePath(path, dir.filePath(QStringLiteral("LN_WallPaper.png"))) ||
           SamePath(path, dir.filePath(QStringLiteral("LN_WallPaper-2.png")));
}

QString TWallpaper::NextBitmapPath() {
    const QDir dir(FDataFolder);
    const QString first = dir.filePath(QStringLiteral("LN_WallPaper.png"));
    const QString shown = FBackend.PictureOf(FBackend.Read());
    return SamePath(shown, first) ? dir.filePath(QStringLiteral("LN_WallPaper-2.png")) : first;
}

void TWallpaper::Set(const QString& bitmap, TWallpaperStyle style) {
    const TWallpaperValues current = FBackend.Read();
    const QString shown = FBackend.PictureOf(current);
    // The user's own wallpaper is kept for "restore"; one of ours is not (the user's stays kept).
    if (!IsOurBitmap(shown) && !current.isEmpty()) {
        FStore.EraseSection(kSection);
        FStore.WriteString(kSection, kDesktopValue, FBackend.Name());
        for (auto it = current.cbegin(); it != current.cend(); ++it)
            FStore.WriteString(kSection, kPreviousPrefix + it.key(), it.value());
        if (!FStore.Flush()) throw EWallpaperError(QStringLiteral("The present wallpaper cannot be saved in '%1'").arg(FStore.FileName()));
    }
    FBackend.SetPicture(bitmap, style);
    if (IsOurBitmap(shown) && !SamePath(shown, bitmap)) QFile::remove(shown);
}

bool TWallpaper::HasSaved() const {
    if (FStore.ReadString(kSection, kDesktopValue) != FBackend.Name()) return false;
    for (const QString& name : FStore.ValueNames(kSection))
        if (name.startsWith(kPreviousPrefix)) return true;
    return false;
}

bool TWallpaper::Restore() {
    if (!HasSaved()) return false;
    TWallpaperValues values;
    for (const QString& name : FStore.ValueNames(kSection))
        if (name.startsWith(kPreviousPrefix)) values[name.mid(kPreviousPrefix.size())] = FStore.ReadString(kSection, name);
    FBackend.Write(values);
    // The program's bitmaps are no longer shown.
    const QString restored = FBackend.PictureOf(values);
    const QDir dir(FDataFolder);
    for (const QString& ours : {dir.filePath(QStringLiteral("LN_WallPaper.png")), dir.filePath(QStringLiteral("LN_WallPaper-2.png"))})
        if (!SamePath(ours, restored)) QFile::remove(ours);
    return true;
}
