// Copying, moving and renaming single files as a file manager does: a copy appears only complete
// (written beside its target and renamed into place), keeps the source's permissions and modification
// time, and nothing is ever replaced unless the caller asked for it.
#pragma once

#include "codec/Graphic.h"

#include <QString>

// A file operation that failed, with the reason; nothing has changed then.
class EFileOperation : public Exception {
public:
    using Exception::Exception;
};

enum class TReplace : quint8 { rpNever, rpReplace };

// Copies the file source to the path dest. With rpNever an existing dest raises. Copying a file onto
// itself (the same file under any name) raises.
void CopyFileTo(const QString& source, const QString& dest, TReplace replace);
// Moves the file (or link) source to the path dest: renamed on the same file system, else copied and
// the source removed. With rpNever an existing dest raises; moving onto itself raises.
void MoveFileTo(const QString& source, const QString& dest, TReplace replace);

// True when both paths name the same existing file (the same inode, whatever the names).
bool IsSameFile(const QString& a, const QString& b);
// A file name that can be given to a file: not empty, not "." or "..", without "/" or NUL, at most 255
// bytes in UTF-8.
bool IsValidFileName(const QString& name);
// The name for a copy of fileName in a folder that already holds it: "name (copy).ext", then
// "name (copy 2).ext", ... the first that is free.
QString FreeCopyName(const QString& folder, const QString& fileName);
