#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace {

// File systems that hold no user files; a folder box offering them only gets in the way.
bool IsSystemFileSystem(const QByteArray& type) {
    static const char* const kTypes[] = {"proc",       "sysfs",   "devpts",   "cgroup",  "cgroup2", "securityfs", "debugfs",
                                         "tracefs",    "pstore",  "bpf",      "mqueue",  "hugetlbfs", "configfs", "fusectl",
                                         "binfmt_misc", "autofs", "efivarfs", "nsfs",    "devtmpfs", "rpc_pipefs", "overlay"};
    return std::any_of(std::begin(kTypes), std::end(kTypes), [&](const char* t) { return type == t; });
}

// The kernel's and the session's own mounts (/proc, /sys, /dev, /run) hold no pictures; removable media
// mounted under /run/media stay.
bool IsSystemFolder(const QString& root) {
    for (const char* top : {"/proc", "/sys", "/dev", "/run"}) {
        const QString t = QString::fromLatin1(top);
        if (root == t || root.startsWith(t + QLatin1Char('/')))
            return !(t == QLatin1String("/run") && root.startsWith(QLatin1String("/run/media/")));
    }
    return false;
}

} // namespace

QList<TVolume> MountedVolumes() {
    QList<TVolume> volumes;
    bool haveRoot = false;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (!storage.isValid() || !storage.isReady()) continue;
        const QString root = storage.rootPath();
        // The root stays whatever it is (a container's root is an overlay).
        if (root != QLatin1String("/") && (IsSystemFileSystem(storage.fileSystemType()) || IsSystemFolder(root))) continue;
        // Containers mount single files (/etc/hosts) too; only folders can be browsed.
        if (!QFileInfo(root).isDir()) continue;
        if (std::any_of(volumes.begin(), volumes.end(), [&](const TVolume& v) { return v.RootPath == root; })) continue;
        QString name = storage.displayName();
        if (name == root) name = QString::fromLocal8Bit(storage.device());
        TVolume volume{root, name.isEmpty() || name == root ? root : root + QStringLiteral("  [") + name + QLatin1Char(']')};
        haveRoot = haveRoot || root == QLatin1String("/");
        volumes << volume;
    }
    if (!haveRoot) volumes << TVolume{QStringLiteral("/"), QStringLiteral("/")};
    std::sort(volumes.begin(), volumes.end(), [](const TVolume& a, const TVolume& b) { return a.RootPath < b.RootPath; });
    return volumes;
}

QString VolumeRootOf(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The deepest volume root that contains the path: the volume list is what the box shows.
    QString best = QStringLiteral("/");
    for (const TVolume& v : MountedVolumes()) {
        const QString root = v.RootPath;
        const bool inside = absolute == root || absolute.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (inside && root.size() > best.size()) best = root;
    }
    return best;
}
