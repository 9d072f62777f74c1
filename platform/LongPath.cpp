#include "platform/LongPath.h"

#include <QDir>
#include <QFileInfo>

QString LongPathName(const QString& path) {
    if (path.isEmpty()) return path;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
