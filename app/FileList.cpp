#include "app/FileList.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

// "*" any run, "?" any one character, everything else itself, ignoring case ("[" has no meaning).
bool WildcardMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

bool NameLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b; // X.png and x.png keep a fixed order
}

// The hourglass while a big folder is read.
class TReadCursor {
public:
    void Show() {
        if (FShown || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        FShown = true;
    }
    ~TReadCursor() {
        if (FShown) QApplication::restoreOverrideCursor();
    }

private:
    bool FShown = false;
};

} // namespace

TFileMask::TFileMask(const QString& patterns, bool literal) : FText(patterns), FLiteral(literal) {
    if (literal) return;
    for (const QString& raw : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = raw.trimmed();
        if (p.isEmpty()) continue;
        if (p == QLatin1String("*") || p == QLatin1String("*.*")) {
            FAll = true; // as on the desktop this comes from, "*.*" also takes names without a dot
        } else if (p.startsWith(QLatin1String("*.")) && p.indexOf(QLatin1Char('*'), 1) < 0 &&
                   !p.contains(QLatin1Char('?'))) {
            FSuffixes << p.mid(1);
        } else {
            FWildcards.push_back(p);
        }
    }
}

bool TFileMask::Matches(const QString& name) const {
    if (FLiteral) return name == FText;
    if (FAll) return true;
    for (const QString& suffix : FSuffixes)
        if (name.endsWith(suffix, Qt::CaseInsensitive)) return true;
    for (const QString& w : FWildcards)
        if (WildcardMatch(w, name)) return true;
    return false;
}

TFileList::TFileList(const QString& mask, QObject* parent) : QObject(parent), FMask(mask) {
    FDirectory = QDir::currentPath();
    Read();
}

QStringList TFileList::ReadFolder(const QString& directory, const TFileMask& mask) {
    QStringList names;
    if (directory.isEmpty()) return names;
    TReadCursor cursor;
    // Each name is tested once against every pattern, so a file matched by several is listed once.
    // Hidden files are listed only when asked for by name.
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
    if (mask.Literal()) filters |= QDir::Hidden;
    QDirIterator it(directory, filters);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (!mask.Matches(name)) continue;
        names << name;
        if (names.size() == 101) cursor.Show();
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

void TFileList::Read() {
    FItems = ReadFolder(FDirectory, FMask);
    FItemIndex = -1;
    emit ListChanged();
    emit SelectionChanged(-1);
}

void TFileList::SetDirectory(const QString& directory) {
    const QString dir = QDir::cleanPath(QDir(directory).absolutePath());
    QDir::setCurrent(dir);
    FDirectory = dir;
    Read();
}

void TFileList::SetMask(const QString& patterns) {
    FMask = TFileMask(patterns);
    Read();
}

void TFileList::SetLiteralMask(const QString& fileName) {
    FMask = TFileMask(fileName, true);
    Read();
}

void TFileList::Update() {
    Read();
}

void TFileList::SetItemIndex(int index) {
    if (index < -1 || index >= Count() || index == FItemIndex) return;
    FItemIndex = index;
    emit SelectionChanged(index);
}

QString TFileList::FullPath(int index) const {
    if (index < 0 || index >= Count()) return QString();
    return QDir(FDirectory).filePath(FItems[index]);
}

QString TFileList::FileName() const {
    return FullPath(FItemIndex);
}

void TFileList::SelectPath(const QString& path) {
    const QFileInfo info(path);
    const QString full = QDir::cleanPath(info.absoluteFilePath());
    if (!FileName().isEmpty() && full == FileName()) return;
    if (info.isDir()) {
        SetDirectory(full);
        return;
    }
    const QString folder = info.absolutePath();
    const QString name = info.fileName();
    // A path that names no file in an existing folder still moves the list there.
    if (!QFileInfo(folder).isDir()) throw EInvalidOperation(QStringLiteral("Invalid file name - ") + path);
    if (QDir::cleanPath(folder) != FDirectory) SetDirectory(folder);
    // An existing file is taken as that file even when its name holds wildcard characters; anything
    // that is not a regular file (a device, a pipe) is refused.
    if (!info.isFile()) {
        if (!info.exists() && (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))) {
            SetMask(name);
            return;
        }
        throw EInvalidOperation(QStringLiteral("Invalid file name - ") + path);
    }
    int index = FItems.indexOf(name);
    if (index < 0 && FMask.Matches(name) && !name.startsWith(QLatin1Char('.'))) {
        // A file made since the folder was read (saved, pasted): read it again.
        Read();
        index = FItems.indexOf(name);
    }
    if (index < 0) {
        // The mask hides the file: narrow it to that one name.
        SetLiteralMask(name);
        index = FItems.indexOf(name);
    }
    SetItemIndex(index);
}

bool TFileList::BrowsePrevious() {
    if (Count() < 2) return false;
    SetItemIndex(FItemIndex <= 0 ? Count() - 1 : FItemIndex - 1);
    return true;
}

bool TFileList::BrowseNext() {
    if (Count() < 2) return false;
    SetItemIndex(FItemIndex < 0 || FItemIndex >= Count() - 1 ? 0 : FItemIndex + 1);
    return true;
}

bool TFileList::BrowseFirst() {
    if (Count() == 0) return false;
    SetItemIndex(0);
    return true;
}

bool TFileList::BrowseLast() {
    if (Count() == 0) return false;
    SetItemIndex(Count() - 1);
    return true;
}
