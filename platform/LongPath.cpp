#include "platform/LongPath.h"

#include <QDir>
#include <QFileInfo>

QString LongPathName(const QString& path) {
    if (path.isEmpty()) return path;
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty()) return canonical;
    return QDir::cleanPath(info.absoluteFilePath());
}
