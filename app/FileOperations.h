// The Edit menu's file commands on the shown file (copy to and move to a folder, copy and cut to the
// clipboard as a file manager does, paste into the listed folder, delete to the trash, rename) and the
// Tools menu's wallpaper commands. The file list and the thumbnail grid follow every change.
//
// Paste is enabled while the clipboard holds files, and copies or moves them as the clipboard's own
// marker says (a file copied in a file manager is copied); it follows the clipboard's changes rather
// than the window's other commands, so its rule lives here.
#pragma once

#include "platform/Wallpaper.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class TGraphic;
class TMainForm;

class TFileOperationsController : public QObject {
    Q_OBJECT
public:
    explicit TFileOperationsController(TMainForm& form);

    // The folders chosen last, kept for the session.
    const QString& LastCopyFolder() const { return FLastCopyFolder; }
    const QString& LastMoveFolder() const { return FLastMoveFolder; }

    // The desktop the wallpaper commands work on: the session's unless replaced (tests).
    using TWallpaperBackendFactory = std::function<std::unique_ptr<IWallpaperBackend>()>;
    void SetWallpaperBackendFactory(TWallpaperBackendFactory factory) { FWallpaperBackend = std::move(factory); }

    void CopyTo();
    void MoveTo();
    // "Copy &Image": the file as a copied file and its picture as an image; "C&ut File": the file as cut.
    void CopyToClipboard();
    void CutToClipboard();
    void Paste();
    void Delete();
    void Rename();
    void SetWallpaper(TWallpaperStyle style);
    void RestoreWallpaper();
    // Paste's enabling from the clipboard.
    void UpdatePaste();

private:
    // A folder from the chooser starting at start; a folder that does not exist is made after asking.
    std::optional<QString> ChooseFolder(const QString& caption, const QString& start);
    // Asks before a file in the target is replaced; false when the user says no.
    bool ConfirmReplace(const QString& dest);
    // The folder is read again and the grid follows.
    void RereadList();
    std::unique_ptr<IWallpaperBackend> WallpaperBackend();

    TMainForm& FForm;
    QString FLastCopyFolder;
    QString FLastMoveFolder;
    TWallpaperBackendFactory FWallpaperBackend;
};

// Writes the wallpaper bitmap: the picture drawn on the background colour, in the format of the target's
// extension, through a temporary file.
void WriteWallpaperBitmap(const TGraphic& graphic, const QString& target, TColor background, const QString& sourceFile);
