// Files on the clipboard as Linux file managers put them there and read them back: the list of files
// as text/uri-list, and whether they were copied or cut in the marker each family of file managers
// reads: x-special/gnome-copied-files ("copy" or "cut", then the URIs: GNOME Files, Caja, Nemo, Thunar,
// PCManFM), application/x-kde-cutselection ("1" when cut: Dolphin, Konqueror), and the text/plain form
// newer GNOME Files writes ("x-special/nautilus-clipboard", the operation, the URIs).
#pragma once

#include <QStringList>

#include <memory>
#include <optional>

class QClipboard;
class QMimeData;

enum class TClipboardOperation : quint8 { coCopy, coCut };

struct TClipboardFiles {
    QStringList Paths; // local files, in the order given
    TClipboardOperation Operation = TClipboardOperation::coCopy;
};

// The clipboard data for files copied or cut: text/uri-list, both markers and the paths as text.
std::unique_ptr<QMimeData> MakeClipboardFiles(const QStringList& paths, TClipboardOperation operation);

// The local files on the clipboard data and whether they were cut, or nothing when it holds no local
// file. The operation comes from the data's own marker (GNOME's first, then KDE's, then GNOME Files'
// text form); without any marker the files count as copied.
std::optional<TClipboardFiles> ReadClipboardFiles(const QMimeData& data);

// The same on the system clipboard.
void PutFilesOnClipboard(QClipboard& clipboard, const QStringList& paths, TClipboardOperation operation);
std::optional<TClipboardFiles> FilesOnClipboard(const QClipboard& clipboard);
