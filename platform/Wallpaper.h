// The desktop wallpaper: a backend per desktop environment sets the picture and its placement through
// the desktop's own tools (gsettings on GNOME, Cinnamon and MATE, xfconf-query on XFCE, Plasma's
// scripting interface through qdbus on KDE), chosen from XDG_CURRENT_DESKTOP. TWallpaper keeps the
// wallpaper the user had before the program's first one, so "restore" returns to it.
#pragma once

#include "codec/Graphic.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TSettingsFile;

// Placements, as the wallpaper commands' tags: 0 centred, 1 tiled, 2 stretched.
enum class TWallpaperStyle : quint8 { wsCentered = 0, wsTiled = 1, wsStretched = 2 };

// A desktop tool that failed or could not be run, or no desktop that can take a wallpaper.
class EWallpaperError : public Exception {
public:
    using Exception::Exception;
};

// The outcome of running a program.
struct TCommandResult {
    bool Started = false;
    int ExitCode = -1;
    QByteArray Output; // standard output
    QByteArray Error;  // standard error
};

// Runs the desktop's tools; tests answer instead of running them.
class ICommandRunner {
public:
    virtual ~ICommandRunner() = default;
    virtual TCommandResult Run(const QString& program, const QStringList& arguments) = 0;
    // True when the program can be found.
    virtual bool Has(const QString& program) = 0;
};

// Runs programs found on PATH, waiting up to ten seconds for each.
ICommandRunner& SystemCommandRunner();

// The wallpaper settings of a desktop in its own terms: each key (a settings key, a property path) with
// its value as the desktop's tool prints it and takes it back. An empty value stands for a key that was
// not set.
using TWallpaperValues = QMap<QString, QString>;

class IWallpaperBackend {
public:
    virtual ~IWallpaperBackend() = default;
    // The desktop's name ("GNOME", "KDE", "XFCE", "MATE", "Cinnamon").
    virtual QString Name() const = 0;
    // The desktop's wallpaper settings as they are now.
    virtual TWallpaperValues Read() = 0;
    // The picture file those settings show (a local path), empty when none.
    virtual QString PictureOf(const TWallpaperValues& values) const = 0;
    // Shows the picture file with the placement.
    virtual void SetPicture(const QString& file, TWallpaperStyle style) = 0;
    // Puts settings read before back.
    virtual void Write(const TWallpaperValues& values) = 0;
};

// The backend for the desktop named by an XDG_CURRENT_DESKTOP value ("ubuntu:GNOME", "KDE", "XFCE",
// ...; the first name it knows wins), or null for a desktop without one.
std::unique_ptr<IWallpaperBackend> MakeWallpaperBackend(const QString& currentDesktop, ICommandRunner& runner);
// The backend of this session's desktop (XDG_CURRENT_DESKTOP, else DESKTOP_SESSION), or null.
std::unique_ptr<IWallpaperBackend> SessionWallpaperBackend();

// A GVariant text string: 'text' with \ and ' escaped, as gsettings takes it.
QString GVariantString(const QString& text);
// The text of a GVariant string as gsettings prints it ('...' or "..."); the input itself when it is
// not quoted.
QString ParseGVariantString(const QString& printed);

// Setting and restoring the wallpaper: the previous settings are kept in the settings store (section
// "Wallpaper") so a restore works after the program was closed too.
class TWallpaper {
public:
    // dataFolder: where the wallpaper bitmaps are written ($XDG_DATA_HOME/lumenor).
    TWallpaper(IWallpaperBackend& backend, TSettingsFile& store, QString dataFolder);

    // The file the next wallpaper bitmap goes into: LN_WallPaper.png, or LN_WallPaper-2.png while the
    // desktop shows the first (a desktop does not read a picture again under an unchanged name).
    QString NextBitmapPath();
    // Shows the bitmap (written to NextBitmapPath) with the placement. The desktop's settings are saved
    // first unless it already shows a bitmap of ours, so a second wallpaper keeps the user's own as the
    // one to restore. The bitmap shown before, if ours, is removed.
    void Set(const QString& bitmap, TWallpaperStyle style);
    // True when settings of this desktop were saved.
    bool HasSaved() const;
    // Puts the saved settings back; does nothing and returns false when none were saved for this
    // desktop (the user's wallpaper is never cleared).
    bool Restore();
    // True when the path is one of the program's wallpaper bitmaps.
    bool IsOurBitmap(const QString& path) const;

private:
    IWallpaperBackend& FBackend;
    TSettingsFile& FStore;
    QString FDataFolder;
};

// The folder of the wallpaper bitmaps: $XDG_DATA_HOME/lumenor.
QString WallpaperDataFolder();
