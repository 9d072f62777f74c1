#include "platform/HelpViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString HelpFolderFor(const QString& programFile) {
    const QDir dir = QFileInfo(programFile).absoluteDir();
    for (const QString& candidate : {dir.filePath(QStringLiteral("manual")),
                                     dir.filePath(QStringLiteral("../share/doc/lumenor/manual"))}) {
        if (QFileInfo::exists(candidate + QStringLiteral("/contents.html")))
            return QDir::cleanPath(candidate);
    }
    return QString();
}

QString HelpPageFile(const QString& helpFolder, THelpPage page) {
    return helpFolder +
           (page == THelpPage::hpContents ? QStringLiteral("/contents.html") : QStringLiteral("/index.html"));
}

bool ShowHelp(const QString& helpFolder, THelpPage page) {
    if (helpFolder.isEmpty()) return false;
    const QString file = HelpPageFile(helpFolder, page);
    if (!QFileInfo::exists(file)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}
