// The desktop wallpaper: each desktop's backend against a stand-in for its tool (the exact command
// lines), GNOME's against the real gsettings on a settings file of its own, and setting and restoring
// with a recording desktop.
#include "TestUtil.h"

#include "RecordingWallpaper.h"
#include "platform/SettingsFile.h"
#include "platform/Wallpaper.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// The desktop tools, answered from a table of settings; every command line is recorded.
class TToolsStandIn : public ICommandRunner {
public:
    QStringList Commands;
    QStringList Programs = {QStringLiteral("gsettings"), QStringLiteral("xfconf-query")};
    // gsettings: "schema key" to printed value; xfconf: property to value.
    QMap<QString, QString> Settings;
    QString PlasmaAnswer; // what evaluateScript prints
    int FailAt = -1;      // the command (0-based) that fails

    bool Has(const QString& program) override { return Programs.contains(program); }
    TCommandResult Run(const QString& program, const QStringList& a) override {
        Commands << program + QLatin1Char(' ') + a.join(QLatin1Char(' '));
        TCommandResult r;
        if (!Programs.contains(program)) return r;
        r.Started = true;
        r.ExitCode = 0;
        if (Commands.size() - 1 == FailAt) {
            r.ExitCode = 1;
            r.Error = "No such schema\n";
            return r;
        }
        if (program == QLatin1String("gsettings")) {
            if (a[0] == QLatin1String("get")) r.Output = Settings.value(a[1] + QLatin1Char(' ') + a[2]).toUtf8() + '\n';
            else if (a[0] == QLatin1String("set")) Settings[a[1] + QLatin1Char(' ') + a[2]] = a[3];
            else if (a[0] == QLatin1String("reset")) Settings.remove(a[1] + QLatin1Char(' ') + a[2]);
            else if (a[0] == QLatin1String("list-keys")) {
                for (auto it = Settings.cbegin(); it != Settings.cend(); ++it)
                    if (it.key().startsWith(a[1] + QLatin1Char(' '))) r.Output += it.key().section(QLatin1Char(' '), 1).toUtf8() + '\n';
            }
        } else if (program == QLatin1String("xfconf-query")) {
            const int p = int(a.indexOf(QStringLiteral("-p")));
            if (a.contains(QStringLiteral("-l"))) {
                for (auto it = Settings.cbegin(); it != Settings.cend(); ++it)
                    r.Output += it.key().toUtf8() + '\n';
            } else if (a.contains(QStringLiteral("-r"))) {
                Settings.remove(a[p + 1]);
            } else if (a.contains(QStringLiteral("-s"))) {
                Settings[a[p + 1]] = a[a.indexOf(QStringLiteral("-s")) + 1];
            } else {
                r.Output = Settings.value(a[p + 1]).toUtf8() + '\n';
            }
        } else {
            r.Output = PlasmaAnswer.toUtf8();
        }
        return r;
    }
};

const QString kGnome = QStringLiteral("org.gnome.desktop.background");

} // namespace

TEST(Wallpaper, TheDesktopIsChosenFromXdgCurrentDesktop) {
    TToolsStandIn tools;
    const struct {
        const char* Desktop;
        const char* Backend;
    } cases[] = {{"GNOME", "GNOME"},      {"ubuntu:GNOME", "GNOME"}, {"Budgie:GNOME", "GNOME"}, {"Unity", "GNOME"},
                 {"KDE", "KDE"},          {"XFCE", "XFCE"},          {"MATE", "MATE"},          {"X-Cinnamon", "Cinnamon"},
                 {"sway:XFCE", "XFCE"},   {"", nullptr},             {"sway", nullptr},         {"LXQt", nullptr}};
    for (const auto& c : cases) {
        const auto backend = MakeWallpaperBackend(QString::fromLatin1(c.Desktop), tools);
        EXPECT_EQ(backend ? backend->Name() : QString(), QString::fromLatin1(c.Backend)) << c.Desktop;
    }
}

TEST(Wallpaper, GVariantStringsAreQuotedAndReadBack) {
    EXPECT_EQ(GVariantString(QStringLiteral("file:///a b")), QStringLiteral("'file:///a b'"));
    EXPECT_EQ(GVariantString(QStringLiteral("it's\\")), QStringLiteral("'it\\'s\\\\'"));
    for (const QString& text : {QStringLiteral("plain"), QStringLiteral("it's"), QStringLiteral("back\\slash"),
                                QStringLiteral("two\nlines"), QString()})
        EXPECT_EQ(ParseGVariantString(GVariantString(text)), text);
    EXPECT_EQ(ParseGVariantString(QStringLiteral("\"file:///it's.png\"\n")), QStringLiteral("file:///it's.png"));
    EXPECT_EQ(ParseGVariantString(QStringLiteral("zoom")), QStringLiteral("zoom"));
}

TEST(Wallpaper, GnomeSetsTheLightAndDarkPicturesAndThePlacement) {
    TToolsStandIn tools;
    tools.Settings = {{kGnome + QStringLiteral(" picture-uri"), QStringLiteral("'file:///usr/share/backgrounds/l.webp'")},
                      {kGnome + QStringLiteral(" picture-uri-dark"), QStringLiteral("'file:///usr/share/backgrounds/d.webp'")},
                      {kGnome + QStringLiteral(" picture-options"), QStringLiteral("'zoom'")}};
    const auto gnome = MakeWallpaperBackend(QStringLiteral("GNOME"), tools);
    const TWallpaperValues before = gnome->Read();
    EXPECT_EQ(before.size(), 3);
    EXPECT_EQ(gnome->PictureOf(before), QStringLiteral("/usr/share/backgrounds/l.webp"));
    tools.Commands.clear();
    gnome->SetPicture(QStringLiteral("/home/u/.local/share/lumenor/LN_WallPaper.png"), TWallpaperStyle::wsTiled);
    EXPECT_EQ(tools.Commands,
              (QStringList{"gsettings set org.gnome.desktop.background picture-uri 'file:///home/u/.local/share/lumenor/LN_WallPaper.png'",
                           "gsettings set org.gnome.desktop.background picture-uri-dark 'file:///home/u/.local/share/lumenor/LN_WallPaper.png'",
                           "gsettings set org.gnome.desktop.background picture-options 'wallpaper'"}));
    gnome->SetPicture(QStringLiteral("/x/it's.png"), TWallpaperStyle::wsCentered);
    EXPECT_EQ(tools.Settings.value(kGnome + QStringLiteral(" picture-uri")), QStringLiteral("'file:///x/it\\'s.png'"));
    EXPECT_EQ(tools.Settings.value(kGnome + QStringLiteral(" picture-options")), QStringLiteral("'centered'"));
    gnome->SetPicture(QStringLiteral("/x/s.png"), TWallpaperStyle::wsStretched);
    EXPECT_EQ(tools.Settings.value(kGnome + QStringLiteral(" picture-options")), QStringLiteral("'stretched'"));
    gnome->Write(before);
    EXPECT_EQ(gnome->Read(), before);

    // A GNOME without the dark style's key (before 42) leaves it alone.
    TToolsStandIn old;
    old.Settings = {{kGnome + QStringLiteral(" picture-uri"), QStringLiteral("'file:///a.jpg'")},
                    {kGnome + QStringLiteral(" picture-options"), QStringLiteral("'zoom'")}};
    const auto gnome40 = MakeWallpaperBackend(QStringLiteral("GNOME"), old);
    EXPECT_EQ(gnome40->Read().keys(), (QStringList{"picture-options", "picture-uri"}));
    gnome40->SetPicture(QStringLiteral("/b.png"), TWallpaperStyle::wsCentered);
    EXPECT_FALSE(old.Settings.contains(kGnome + QStringLiteral(" picture-uri-dark")));
}

TEST(Wallpaper, MateAndCinnamonUseTheirOwnSchemas) {
    TToolsStandIn tools;
    tools.Settings = {{QStringLiteral("org.mate.background picture-filename"), QStringLiteral("'/usr/share/backgrounds/mate.png'")},
                      {QStringLiteral("org.mate.background picture-options"), QStringLiteral("'zoom'")}};
    const auto mate = MakeWallpaperBackend(QStringLiteral("MATE"), tools);
    EXPECT_EQ(mate->PictureOf(mate->Read()), QStringLiteral("/usr/share/backgrounds/mate.png"));
    tools.Commands.clear();
    mate->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsStretched);
    EXPECT_EQ(tools.Commands, (QStringList{"gsettings set org.mate.background picture-filename '/w/LN_WallPaper.png'",
                                           "gsettings set org.mate.background picture-options 'stretched'"}));
    tools.Commands.clear();
    MakeWallpaperBackend(QStringLiteral("X-Cinnamon"), tools)->SetPicture(QStringLiteral("/w/a.png"), TWallpaperStyle::wsCentered);
    EXPECT_EQ(tools.Commands, (QStringList{"gsettings set org.cinnamon.desktop.background picture-uri 'file:///w/a.png'",
                                           "gsettings set org.cinnamon.desktop.background picture-options 'centered'"}));
}

TEST(Wallpaper, XfceSetsEveryMonitorAndRestoresWhatWasThere) {
    TToolsStandIn tools;
    tools.Settings = {{QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/last-image"), QStringLiteral("/usr/share/a.jpg")},
                      {QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/image-style"), QStringLiteral("5")},
                      {QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/last-image"), QStringLiteral("/usr/share/b.jpg")},
                      {QStringLiteral("/desktop-icons/style"), QStringLiteral("2")}};
    const auto xfce = MakeWallpaperBackend(QStringLiteral("XFCE"), tools);
    const TWallpaperValues before = xfce->Read();
    EXPECT_EQ(before.size(), 4); // two pictures, one style, and the style the second monitor lacks
    EXPECT_EQ(before.value(QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/image-style")), QString());
    EXPECT_EQ(xfce->PictureOf(before), QStringLiteral("/usr/share/b.jpg"));
    tools.Commands.clear();
    xfce->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsCentered);
    EXPECT_EQ(tools.Commands,
              (QStringList{
                  "xfconf-query -c xfce4-desktop -l",
                  // in the order xfconf-query lists them
                  "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitorDP-2/workspace0/last-image -n -t string -s /w/LN_WallPaper.png",
                  "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitorDP-2/workspace0/image-style -n -t int -s 1",
                  "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitorHDMI-1/workspace0/last-image -n -t string -s /w/LN_WallPaper.png",
                  "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitorHDMI-1/workspace0/image-style -n -t int -s 1"}));
    xfce->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsTiled);
    EXPECT_EQ(tools.Settings.value(QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/image-style")), QStringLiteral("2"));
    xfce->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsStretched);
    EXPECT_EQ(tools.Settings.value(QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/image-style")), QStringLiteral("3"));
    xfce->Write(before);
    EXPECT_EQ(tools.Settings.value(QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/last-image")), QStringLiteral("/usr/share/a.jpg"));
    EXPECT_EQ(tools.Settings.value(QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/image-style")), QStringLiteral("5"));
    EXPECT_FALSE(tools.Settings.contains(QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/image-style")))
        << "a style that was not set is reset";
    EXPECT_TRUE(tools.Commands.contains(
        QStringLiteral("xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitorDP-2/workspace0/image-style -r")));
}

TEST(Wallpaper, PlasmaIsScriptedThroughQdbus) {
    TToolsStandIn tools;
    tools.Programs << QStringLiteral("qdbus");
    tools.PlasmaAnswer = QStringLiteral("Plugin=org.kde.image\nImage=file:///usr/share/wallpapers/Next/a.png\nFillMode=2\n");
    const auto kde = MakeWallpaperBackend(QStringLiteral("KDE"), tools);
    const TWallpaperValues before = kde->Read();
    EXPECT_EQ(before.value(QStringLiteral("Image")), QStringLiteral("file:///usr/share/wallpapers/Next/a.png"));
    EXPECT_EQ(before.value(QStringLiteral("FillMode")), QStringLiteral("2"));
    EXPECT_EQ(kde->PictureOf(before), QStringLiteral("/usr/share/wallpapers/Next/a.png"));
    tools.Commands.clear();
    kde->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsTiled);
    ASSERT_EQ(tools.Commands.size(), 1);
    const QString command = tools.Commands[0];
    EXPECT_TRUE(command.startsWith(QStringLiteral("qdbus org.kde.plasmashell /PlasmaShell org.kde.PlasmaShell.evaluateScript ")));
    EXPECT_TRUE(command.contains(QStringLiteral("w.wallpaperPlugin = \"org.kde.image\";")));
    EXPECT_TRUE(command.contains(QStringLiteral("w.writeConfig(\"Image\", \"file:///w/LN_WallPaper.png\");")));
    EXPECT_TRUE(command.contains(QStringLiteral("w.writeConfig(\"FillMode\", 3);")));
    tools.Commands.clear();
    kde->SetPicture(QStringLiteral("/w/a\"b.png"), TWallpaperStyle::wsCentered);
    EXPECT_TRUE(tools.Commands[0].contains(QStringLiteral("w.writeConfig(\"Image\", \"file:///w/a%22b.png\");")));
    EXPECT_TRUE(tools.Commands[0].contains(QStringLiteral("w.writeConfig(\"FillMode\", 6);")));
    tools.Commands.clear();
    kde->Write(before);
    EXPECT_TRUE(tools.Commands[0].contains(QStringLiteral("w.writeConfig(\"Image\", \"file:///usr/share/wallpapers/Next/a.png\");")));
    EXPECT_TRUE(tools.Commands[0].contains(QStringLiteral("w.writeConfig(\"FillMode\", 2);")));

    // Without qdbus: Plasma's own tool sets the picture; nothing can be read for a restore.
    TToolsStandIn bare;
    bare.Programs << QStringLiteral("plasma-apply-wallpaperimage");
    const auto kde2 = MakeWallpaperBackend(QStringLiteral("KDE"), bare);
    EXPECT_TRUE(kde2->Read().isEmpty());
    kde2->SetPicture(QStringLiteral("/w/LN_WallPaper.png"), TWallpaperStyle::wsStretched);
    EXPECT_EQ(bare.Commands, QStringList{"plasma-apply-wallpaperimage /w/LN_WallPaper.png"});
}

TEST(Wallpaper, AFailingToolSaysWhatFailed) {
    TToolsStandIn tools;
    tools.FailAt = 0;
    const auto gnome = MakeWallpaperBackend(QStringLiteral("GNOME"), tools);
    try {
        gnome->Read();
        ADD_FAILURE();
    } catch (const EWallpaperError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'gsettings list-keys org.gnome.desktop.background' failed: No such schema"));
    }
    TToolsStandIn none;
    none.Programs.clear();
    try {
        MakeWallpaperBackend(QStringLiteral("XFCE"), none)->SetPicture(QStringLiteral("/a.png"), TWallpaperStyle::wsTiled);
        ADD_FAILURE();
    } catch (const EWallpaperError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The program 'xfconf-query' cannot be run"));
    }
}

TEST(Wallpaper, GnomeThroughTheRealGsettings) {
    const QString schemas = QStringLiteral("/usr/share/glib-2.0/schemas/org.gnome.desktop.background.gschema.xml");
    if (QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty() || !QFile::exists(schemas))
        GTEST_SKIP() << "gsettings or the GNOME schemas are not installed";
    // gsettings on a key file of its own: the user's settings are never touched.
    QTemporaryDir config;
    const QByteArray savedBackend = qgetenv("GSETTINGS_BACKEND"), savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    {
        const auto gnome = MakeWallpaperBackend(QStringLiteral("GNOME"), SystemCommandRunner());
        const TWallpaperValues before = gnome->Read();
        ASSERT_TRUE(before.contains(QStringLiteral("picture-uri")));
        gnome->SetPicture(QStringLiteral("/home/u/it's here/LN_WallPaper.png"), TWallpaperStyle::wsStretched);
        const TWallpaperValues after = gnome->Read();
        EXPECT_EQ(gnome->PictureOf(after), QStringLiteral("/home/u/it's here/LN_WallPaper.png"));
        EXPECT_EQ(after.value(QStringLiteral("picture-options")), QStringLiteral("'stretched'"));
        const QByteArray file = ReadFile(config.filePath(QStringLiteral("glib-2.0/settings/keyfile")));
        EXPECT_TRUE(file.contains("picture-options='stretched'")) << file.toStdString();
        gnome->Write(before);
        EXPECT_EQ(gnome->Read(), before);
    }
    qputenv("GSETTINGS_BACKEND", savedBackend);
    if (savedBackend.isEmpty()) qunsetenv("GSETTINGS_BACKEND");
    qputenv("XDG_CONFIG_HOME", savedConfig);
    if (savedConfig.isEmpty()) qunsetenv("XDG_CONFIG_HOME");
}

namespace {

class WallpaperRestoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString Folder() const { return FDir.filePath(QStringLiteral("lumenor")); }
    // Writes a bitmap where the next one goes, as the window does, and shows it.
    QString SetNext(TWallpaper& wallpaper, TWallpaperStyle style) {
        const QString path = wallpaper.NextBitmapPath();
        QDir().mkpath(Folder());
        WriteFile(path, "bitmap");
        wallpaper.Set(path, style);
        return path;
    }
    QTemporaryDir FDir;
    TRecordingWallpaper FDesktop;
};

} // namespace

TEST_F(WallpaperRestoreTest, RestoreReturnsToTheWallpaperBeforeTheFirstOfOurs) {
    TSettingsFile store(FDir.filePath(QStringLiteral("settings.json")));
    TWallpaper wallpaper(FDesktop, store, Folder());
    EXPECT_FALSE(wallpaper.HasSaved());
    const QString first = SetNext(wallpaper, TWallpaperStyle::wsCentered);
    EXPECT_EQ(first, Folder() + QStringLiteral("/LN_WallPaper.png"));
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), first);
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("placement")), QStringLiteral("0"));
    EXPECT_TRUE(wallpaper.HasSaved());

    // A second wallpaper goes under the other name (the desktop reads a new name again), the first
    // bitmap goes, and the user's wallpaper stays the one to restore.
    const QString second = SetNext(wallpaper, TWallpaperStyle::wsTiled);
    EXPECT_EQ(second, Folder() + QStringLiteral("/LN_WallPaper-2.png"));
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_EQ(SetNext(wallpaper, TWallpaperStyle::wsStretched), first);
    EXPECT_FALSE(QFile::exists(second));
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("placement")), QStringLiteral("2"));

    // Saved in the store: a later session restores it.
    TSettingsFile later(FDir.filePath(QStringLiteral("settings.json")));
    TWallpaper again(FDesktop, later, Folder());
    ASSERT_TRUE(again.Restore());
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("placement")), QStringLiteral("zoom"));
    EXPECT_EQ(FDesktop.Calls.last(), QStringLiteral("Write picture=/usr/share/backgrounds/mine.jpg placement=zoom"));
    EXPECT_FALSE(QFile::exists(first)) << "the bitmaps no longer shown are removed";
}

TEST_F(WallpaperRestoreTest, RestoreWithNothingSavedLeavesTheWallpaperAlone) {
    TSettingsFile store(FDir.filePath(QStringLiteral("settings.json")));
    TWallpaper wallpaper(FDesktop, store, Folder());
    EXPECT_FALSE(wallpaper.Restore());
    EXPECT_EQ(FDesktop.CountOf(QStringLiteral("Write")), 0);
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));

    // Settings saved on another desktop are not put on this one.
    store.WriteString(QStringLiteral("Wallpaper"), QStringLiteral("Desktop"), QStringLiteral("XFCE"));
    store.WriteString(QStringLiteral("Wallpaper"), QStringLiteral("Previous /backdrop/x/last-image"), QStringLiteral("/a.jpg"));
    EXPECT_FALSE(wallpaper.HasSaved());
    EXPECT_FALSE(wallpaper.Restore());
    EXPECT_EQ(FDesktop.CountOf(QStringLiteral("Write")), 0);
}

TEST_F(WallpaperRestoreTest, AFailedSetKeepsTheUsersWallpaperSaved) {
    TSettingsFile store(FDir.filePath(QStringLiteral("settings.json")));
    TWallpaper wallpaper(FDesktop, store, Folder());
    FDesktop.FailWith = QStringLiteral("the desktop said no");
    EXPECT_THROW(SetNext(wallpaper, TWallpaperStyle::wsTiled), EWallpaperError);
    FDesktop.FailWith.clear();
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));
    SetNext(wallpaper, TWallpaperStyle::wsTiled);
    ASSERT_TRUE(wallpaper.Restore());
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));
}
