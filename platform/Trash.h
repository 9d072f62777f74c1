// The desktop's trash (the freedesktop.org trash): a file moved there keeps a note of where it came
// from and when, so the desktop's file manager can list it and put it back.
//
// A file on the same file system as the home trash ($XDG_DATA_HOME/Trash) goes there; a file on
// another file system goes to that file system's own trash ($topdir/.Trash/$uid when an administrator
// has set up $topdir/.Trash, else $topdir/.Trash-$uid), and only when there is none to the home trash.
// Each trash holds files/NAME and info/NAME.trashinfo:
//
//     [Trash Info]
//     Path=/home/me/pictures/holiday%20photo.jpg
//     DeletionDate=2024-05-01T13:45:07
#pragma once

#include "codec/Graphic.h"

#include <QString>

// A file that cannot be moved to the trash, with the reason.
class ETrashError : public Exception {
public:
    using Exception::Exception;
};

struct TTrashedFile {
    QString TrashDir;  // the trash used (holding files/ and info/)
    QString FilePath;  // the file in the trash's files/
    QString InfoPath;  // its .trashinfo
};

// The home trash: $XDG_DATA_HOME/Trash (~/.local/share/Trash by default).
QString HomeTrashDir();

// The trash for a path: the home trash when the path lies on its file system (or when no other trash
// can be used), else its file system's own.
QString TrashDirFor(const QString& path);

// The trash of a file system mounted at topdir: $topdir/.Trash/$uid when $topdir/.Trash is a real folder
// (not a link) with the sticky bit, else $topdir/.Trash-$uid, made when missing and used only when it is
// a real folder of this user's. Empty when there is none.
QString FileSystemTrashDir(const QString& topdir);

// Moves a file (or a link, or a folder) to the trash. Raises ETrashError with the reason when it cannot;
// then nothing has changed.
TTrashedFile MoveToTrash(const QString& path);

// The Path value of a .trashinfo: the absolute path with every byte but the unreserved ones and "/"
// percent-encoded (UTF-8).
QByteArray TrashInfoPath(const QString& absolutePath);
