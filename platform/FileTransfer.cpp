#include "platform/FileTransfer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }
QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
QString NameOf(const QString& path) { return QFileInfo(path).fileName(); }

bool Exists(const QString& path) {
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0;
}

[[noreturn]] void RaiseExists(const QString& dest) {
    throw EFileOperation(QStringLiteral("'%1' already exists in '%2'").arg(NameOf(dest), QFileInfo(dest).absolutePath()));
}

// rename(2) that never replaces: RENAME_NOREPLACE where the file system has it, else a check first.
int RenameNoReplace(const QString& source, const QString& dest) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, Native(source).constData(), AT_FDCWD, Native(dest).constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    if (Exists(dest)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(Native(source).constData(), Native(dest).constData());
}

} // namespace

bool IsSameFile(const QString& a, const QString& b) {
    struct stat sa {}, sb {};
    return ::stat(Native(a).constData(), &sa) == 0 && ::stat(Native(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsValidFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name.toUtf8().size() <= 255;
}

QString FreeCopyName(const QString& folder, const QString& fileName) {
    const int dot = int(fileName.lastIndexOf(QLatin1Char('.')));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString ext = dot > 0 ? fileName.mid(dot) : QString();
    const QDir dir(folder);
    for (int n = 1;; ++n) {
        const QString candidate =
            base + (n == 1 ? QStringLiteral(" (copy)") : QStringLiteral(" (copy %1)").arg(n)) + ext;
        if (!Exists(dir.filePath(candidate))) return candidate;
    }
}

void CopyFileTo(const QString& source, const QString& dest, TReplace replace) {
    const QString name = NameOf(source);
    QFile in(source);
    const QFileInfo info(source);
    if (!info.exists()) throw EFileOperation(QStringLiteral("'%1' does not exist").arg(source));
    if (!info.isFile()) throw EFileOperation(QStringLiteral("'%1' is not a file").arg(source));
    if (IsSameFile(source, dest)) throw EFileOperation(QStringLiteral("'%1' cannot be copied onto itself").arg(name));
    if (replace == TReplace::rpNever && Exists(dest)) RaiseExists(dest);
    if (!in.open(QIODevice::ReadOnly))
        throw EFileOperation(QStringLiteral("'%1' cannot be read: %2").arg(source, in.errorString()));
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly))
        throw EFileOperation(QStringLiteral("'%1' cannot be written: %2").arg(dest, out.errorString()));
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.cancelWriting();
            throw EFileOperation(QStringLiteral("'%1' cannot be read: %2").arg(source, in.errorString()));
        }
        if (n == 0) break;
        if (out.write(buffer.constData(), n) != n) {
            const QString reason = out.errorString();
            out.cancelWriting();
            throw EFileOperation(QStringLiteral("'%1' cannot be written: %2").arg(dest, reason));
        }
    }
    // The copy keeps the source's permissions and modification time, set on the finished temporary file.
    if (!out.flush()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        throw EFileOperation(QStringLiteral("'%1' cannot be written: %2").arg(dest, reason));
    }
    out.setPermissions(info.permissions());
    out.setFileTime(info.lastModified(), QFileDevice::FileModificationTime);
    // Asked not to replace: a file that appeared meanwhile stays.
    if (replace == TReplace::rpNever && Exists(dest)) {
        out.cancelWriting();
        RaiseExists(dest);
    }
    if (!out.commit()) throw EFileOperation(QStringLiteral("'%1' cannot be written: %2").arg(dest, out.errorString()));
}

void MoveFileTo(const QString& source, const QString& dest, TReplace replace) {
    const QString name = NameOf(source);
    struct stat st {};
    if (::lstat(Native(source).constData(), &st) != 0) throw EFileOperation(QStringLiteral("'%1' does not exist").arg(source));
    if (IsSameFile(source, dest) && QFileInfo(source).absoluteFilePath() == QFileInfo(dest).absoluteFilePath())
        throw EFileOperation(QStringLiteral("'%1' cannot be moved onto itself").arg(name));
    if (IsSameFile(source, dest)) // another name of the same file (a hard link): keeping both is the move
        throw EFileOperation(QStringLiteral("'%1' and '%2' are the same file").arg(source, dest));
    const int result = replace == TReplace::rpReplace
                           ? ::rename(Native(source).constData(), Native(dest).constData())
                           : RenameNoReplace(source, dest);
    if (result == 0) return;
    const int error = errno;
    if (error == EEXIST) RaiseExists(dest);
    if (error != EXDEV || !S_ISREG(st.st_mode))
        throw EFileOperation(QStringLiteral("'%1' cannot be moved: %2").arg(name, ErrnoText(error)));
    // Another file system: a complete copy first, then the source goes.
    CopyFileTo(source, dest, replace);
    if (::unlink(Native(source).constData()) != 0) {
        const int unlinkError = errno;
        ::unlink(Native(dest).constData());
        throw EFileOperation(QStringLiteral("'%1' cannot be moved: %2").arg(name, ErrnoText(unlinkError)));
    }
}
