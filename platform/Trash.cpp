#include "platform/Trash.h"

#include "platform/FileTransfer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool LStat(const QString& path, struct stat& st) { return ::lstat(Native(path).constData(), &st) == 0; }

// The device of the nearest folder of path that exists.
bool DeviceOfNearest(QString path, dev_t& device) {
    struct stat st {};
    for (;;) {
        if (::stat(Native(path).constData(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        const QString parent = QFileInfo(path).path();
        if (parent == path || parent.isEmpty()) return false;
        path = parent;
    }
}

// The highest folder above path (a folder) on the same device: the file system's mount point.
QString TopDir(const QString& folder, dev_t device) {
    QString top = folder;
    for (;;) {
        const QString parent = QFileInfo(top).path();
        struct stat st {};
        if (parent == top || ::stat(Native(parent).constData(), &st) != 0 || st.st_dev != device) return top;
        top = parent;
    }
}

bool MakePrivateDir(const QString& path) {
    if (::mkdir(Native(path).constData(), 0700) == 0) return true;
    struct stat st {};
    return errno == EEXIST && LStat(path, st) && S_ISDIR(st.st_mode);
}

} // namespace

QString FileSystemTrashDir(const QString& topdir) {
    const QString uid = QString::number(::getuid());
    struct stat st {};
    const QString shared = topdir + QStringLiteral("/.Trash");
    if (LStat(shared, st) && S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QString mine = shared + QLatin1Char('/') + uid;
        if (MakePrivateDir(mine)) return mine;
    }
    const QString own = topdir + QStringLiteral("/.Trash-") + uid;
    if (!LStat(own, st)) {
        if (::mkdir(Native(own).constData(), 0700) != 0) return QString();
        if (!LStat(own, st)) return QString();
    }
    if (!S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode) || st.st_uid != ::getuid()) return QString();
    return own;
}

namespace {

// "name.ext" becomes "name.2.ext", "name.3.ext", ...; a name without an extension "name.2".
QString NumberedName(const QString& name, int n) {
    if (n == 1) return name;
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    if (dot <= 0) return name + QStringLiteral(".%1").arg(n);
    return name.left(dot) + QStringLiteral(".%1").arg(n) + name.mid(dot);
}

} // namespace

QString HomeTrashDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
}

QByteArray TrashInfoPath(const QString& absolutePath) {
    return QByteArray(absolutePath.toUtf8()).toPercentEncoding("/");
}

QString TrashDirFor(const QString& path) {
    const QString home = HomeTrashDir();
    const QFileInfo info(path);
    struct stat st {};
    dev_t homeDevice = 0;
    if (!LStat(info.absolutePath(), st) || !DeviceOfNearest(home, homeDevice) || st.st_dev == homeDevice) return home;
    const QString trash = FileSystemTrashDir(TopDir(QDir::cleanPath(info.absolutePath()), st.st_dev));
    return trash.isEmpty() ? home : trash;
}

TTrashedFile MoveToTrash(const QString& path) {
    const QFileInfo info(path);
    const QString source = QDir::cleanPath(info.absoluteFilePath());
    const QString name = info.fileName();
    struct stat st {};
    if (name.isEmpty() || !LStat(source, st))
        throw ETrashError(QStringLiteral("'%1' does not exist").arg(path));

    TTrashedFile result;
    result.TrashDir = TrashDirFor(source);
    const QString files = result.TrashDir + QStringLiteral("/files"), infos = result.TrashDir + QStringLiteral("/info");
    if (!QDir().mkpath(result.TrashDir) || !MakePrivateDir(files) || !MakePrivateDir(infos))
        throw ETrashError(QStringLiteral("The trash folder '%1' cannot be made").arg(result.TrashDir));
    ::chmod(Native(result.TrashDir).constData(), 0700);

    // The name in the trash: the file's own, numbered when taken. The info file is made exclusively, so
    // two programs trashing at once never share a name.
    const QByteArray note = "[Trash Info]\nPath=" + TrashInfoPath(source) + "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() +
                            "\n";
    int fd = -1;
    for (int n = 1; n <= 100000 && fd < 0; ++n) {
        const QString candidate = NumberedName(name, n);
        struct stat taken {};
        if (LStat(files + QLatin1Char('/') + candidate, taken)) continue;
        const QString infoPath = infos + QLatin1Char('/') + candidate + QStringLiteral(".trashinfo");
        fd = ::open(Native(infoPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            throw ETrashError(QStringLiteral("The trash's note for '%1' cannot be written: %2").arg(name, ErrnoText(errno)));
        if (fd >= 0) {
            result.InfoPath = infoPath;
            result.FilePath = files + QLatin1Char('/') + candidate;
        }
    }
    if (fd < 0) throw ETrashError(QStringLiteral("The trash has no free name for '%1'").arg(name));
    const bool written = ::write(fd, note.constData(), size_t(note.size())) == note.size();
    const bool closed = ::close(fd) == 0;
    const auto undoNote = [&] { ::unlink(Native(result.InfoPath).constData()); };
    if (!written || !closed) {
        const int error = errno;
        undoNote();
        throw ETrashError(QStringLiteral("The trash's note for '%1' cannot be written: %2").arg(name, ErrnoText(error)));
    }

    if (::rename(Native(source).constData(), Native(result.FilePath).constData()) != 0) {
        const int error = errno;
        // Another file system without a trash of its own: a file is copied into the home trash and then
        // removed; a folder is not moved that way.
        if (error == EXDEV && S_ISREG(st.st_mode)) {
            try {
                CopyFileTo(source, result.FilePath, TReplace::rpNever);
            } catch (const Exception& e) {
                undoNote();
                throw ETrashError(QStringLiteral("'%1' cannot be moved to the trash: %2").arg(name, e.Message()));
            }
            if (::unlink(Native(source).constData()) != 0) {
                const int unlinkError = errno;
                ::unlink(Native(result.FilePath).constData());
                undoNote();
                throw ETrashError(
                    QStringLiteral("'%1' cannot be moved to the trash: %2").arg(name, ErrnoText(unlinkError)));
            }
            return result;
        }
        undoNote();
        throw ETrashError(QStringLiteral("'%1' cannot be moved to the trash: %2").arg(name, ErrnoText(error)));
    }
    return result;
}
