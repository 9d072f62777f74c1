// File-type associations on the freedesktop desktop: making the viewer the program that opens picture
// files of chosen extensions, and undoing it again. Everything is written under the user's own folders:
//
// - the class of an extension X is named X + "_LN" (JPG_LN); it is a desktop entry
//   $XDG_DATA_HOME/applications/lumenor-X_LN.desktop with the description "Lumenor X Image", the icon
//   and the open command;
// - the extension's MIME type is the shared database's type for "*.x"; for an extension the database
//   does not know, a type of our own ("image/x-lumenor-x") is declared in
//   $XDG_DATA_HOME/mime/packages/lumenor-X_LN.xml;
// - the default handler of that MIME type ($XDG_CONFIG_HOME/mimeapps.list, [Default Applications])
//   names the class; the handler it named before, when it was another program's, is kept in
//   $XDG_CONFIG_HOME/lumenor/associations.list so that unassociating gives it back.
//
// Several extensions share one MIME type (jpg, jpeg, jpe...): the desktop keeps one default per type,
// so an extension counts as associated when its type's default handler is any class of ours.
#pragma once

#include "codec/Graphic.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

// One row of the options dialog's type list.
struct TFileTypeRow {
    QString Format;      // "JPEG"
    QString Description; // "JPEG images"
    QString Extensions;  // "JPE,JPEG,JPG,JFIF,JIF"
};
// The 34 rows in order.
const std::vector<TFileTypeRow>& FileTypeRows();
// A row's extensions: the list split at commas and blanks, empty parts dropped.
QStringList SplitExtensions(const QString& extensions);

// X + "_LN" for ".X" or "X".
QString AssociationClassName(const QString& extension);
// "Lumenor " + X + " Image".
QString AssociationDescription(const QString& extension);

// --- Icons of the type list -------------------------------------------------------------------------

// Colours of the generated icons: the colour range divided among the rows; a colour advances only for
// icons that were made.
constexpr TColor kFileTypeIconStep = 16777215u / 34u;
// The icon file of a row: $XDG_DATA_HOME/icons/hicolor/32x32/apps/lumenor-<first three letters of the
// format>.png (ANI, ICO for "ICON", JPE for "JPEG").
QString FileTypeIconPath(const QString& format);
// The 32 x 32 icon: the program's icon (a plain page when null) with a band from (2, 10) to (30, 24) in
// colour c (red in the low byte) and the three letters in white or black, bold, centred in the band.
QImage MakeFileTypeIcon(const QString& letters, TColor c, const QImage& programIcon);
// Makes the icon file through a temporary file; false when it cannot be written.
bool WriteFileTypeIcon(const QString& path, const QString& letters, TColor c, const QImage& programIcon);

// --- The associations ---------------------------------------------------------------------------

class TAssociations {
public:
    // Folders from $XDG_DATA_HOME and $XDG_CONFIG_HOME (~/.local/share and ~/.config without them).
    TAssociations();
    TAssociations(QString dataHome, QString configHome);

    // The MIME type of ".X": our own when we declared one, else the shared database's type for "*.x",
    // else "image/x-lumenor-x" (not declared yet).
    QString MimeTypeOf(const QString& extension) const;
    // The first default handler of a MIME type in the user's mimeapps.list (empty when none).
    QString DefaultHandler(const QString& mimeType) const;
    // The other program's handler kept for undo (empty when none).
    QString SavedHandler(const QString& mimeType) const;
    // The desktop entry file of an extension's class.
    QString ClassEntryPath(const QString& extension) const;

    // True when the default handler of the extension's MIME type is a class of ours.
    bool IsAssociated(const QString& extension) const;
    // Makes the viewer the default handler of the extension's type. Nothing when the extension or the
    // program path is empty. The previous handler is kept when it was another program's (so
    // associating twice keeps the first one). False when a file could not be written.
    bool Associate(const QString& extension, const QString& description, const QString& iconPath,
                   const QString& programPath);
    // Gives the extension's type back to the kept handler (or to the desktop's own default when none
    // was kept) when a class of ours is its default; a type that belongs to another program is left
    // alone. The class's desktop entry (and our own MIME type) go in both cases. False when a file
    // could not be written.
    bool Unassociate(const QString& extension);

    // Tells the desktop that associations changed: update-mime-database and update-desktop-database
    // on the user's folders, when those tools are installed.
    void NotifyChanged() const;

    // The open command of a desktop entry: the program path quoted by the Desktop Entry rules and "%f".
    static QString ExecLine(const QString& programPath);

private:
    QString MimeAppsPath() const;
    QString UndoPath() const;
    QString OwnMimePath(const QString& extension) const;
    bool IsOurHandler(const QString& handler) const;

    QString FDataHome;
    QString FConfigHome;
};
