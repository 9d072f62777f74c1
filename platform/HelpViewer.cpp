#include "platform/HelpViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#ifndef LUMENOR_DATA_DIR
#define LUMENOR_DATA_DIR "/usr/local/share/lumenor"
#endif

QString HelpFolderFor(const QString& programFile) {
    return HelpFolderFor(programFile, QStringLiteral(LUMENOR_DATA_DIR));
}

QString HelpFolderFor(const QString& programFile, const QString& installedDataFolder) {
    const QDir dir = QFileInfo(programFile).absoluteDir();
    QStringList candidates{dir.filePath(QStringLiteral("manual")), dir.filePath(QStringLiteral("../share/lumenor/manual"))};
    if (!installedDataFolder.isEmpty()) candidates << installedDataFolder + QStringLiteral("/manual");
    for (const QString& candidate : std::as_const(candidates)) {
        const QString folder = QDir::cleanPath(candidate);
        if (QFileInfo::exists(folder + QStringLiteral("/contents.html"))) return folder;
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
