#include "TestUtil.h"

#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

TEST(Volumes, RealFolderVolumesInOrder) {
    const QList<TVolume> volumes = MountedVolumes();
    ASSERT_FALSE(volumes.isEmpty());
    QStringList roots;
    for (const TVolume& v : volumes) {
        SCOPED_TRACE(v.RootPath.toStdString());
        EXPECT_TRUE(QFileInfo(v.RootPath).isDir());
        EXPECT_TRUE(v.Label.startsWith(v.RootPath));
        for (const char* system : {"/proc", "/sys", "/dev/"}) EXPECT_FALSE(v.RootPath.startsWith(QString::fromLatin1(system)));
        roots << v.RootPath;
    }
    EXPECT_TRUE(roots.contains(QStringLiteral("/")));
    QStringList sorted = roots;
    sorted.sort();
    EXPECT_EQ(roots, sorted);
    EXPECT_EQ(roots.removeDuplicates(), 0);
}

TEST(Volumes, TheVolumeOfAPath) {
    EXPECT_EQ(VolumeRootOf(QStringLiteral("/")), QStringLiteral("/"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("x.txt"));
    WriteFile(file, "x");
    const QString root = VolumeRootOf(file);
    // The deepest listed volume the file lies on, which is the one the system reports when it is listed.
    EXPECT_TRUE(file.startsWith(root));
    const QString system = QStorageInfo(dir.path()).rootPath();
    bool listed = false;
    for (const TVolume& v : MountedVolumes()) listed = listed || v.RootPath == system;
    if (listed) EXPECT_EQ(root, system);
    EXPECT_EQ(VolumeRootOf(dir.filePath(QStringLiteral("missing/deeper"))), root);
}
