// The freedesktop trash under a temporary XDG data home: where files go, their .trashinfo notes, names
// that are taken, and the trashes of other file systems.
#include "TestUtil.h"

#include "platform/Trash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FSavedDataHome = qgetenv("XDG_DATA_HOME");
        FHadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", FDir.filePath(QStringLiteral("data")).toLocal8Bit());
        QDir().mkpath(FDir.filePath(QStringLiteral("pictures")));
    }
    void TearDown() override {
        if (FHadDataHome)
            qputenv("XDG_DATA_HOME", FSavedDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    QString Picture(const QString& name, const QByteArray& bytes = "pixels") {
        const QString path = FDir.filePath(QStringLiteral("pictures/") + name);
        WriteFile(path, bytes);
        return path;
    }
    QString Trash() const { return FDir.filePath(QStringLiteral("data/Trash")); }

    QTemporaryDir FDir;
    QByteArray FSavedDataHome;
    bool FHadDataHome = false;
};

int Mode(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 07777);
}

} // namespace

TEST_F(TrashTest, AFileGoesToTheHomeTrashWithANoteOfWhereItCameFromAndWhen) {
    const QString path = Picture(QStringLiteral("holiday photo 100% é.jpg"), "the picture");
    EXPECT_EQ(HomeTrashDir(), Trash());
    EXPECT_EQ(TrashDirFor(path), Trash());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const TTrashedFile trashed = MoveToTrash(path);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(trashed.TrashDir, Trash());
    EXPECT_EQ(trashed.FilePath, Trash() + QStringLiteral("/files/holiday photo 100% é.jpg"));
    EXPECT_EQ(trashed.InfoPath, Trash() + QStringLiteral("/info/holiday photo 100% é.jpg.trashinfo"));
    EXPECT_EQ(ReadFile(trashed.FilePath), QByteArray("the picture"));
    const QList<QByteArray> lines = ReadFile(trashed.InfoPath).split('\n');
    ASSERT_EQ(lines.size(), 4); // three lines and the end
    EXPECT_EQ(lines[0], QByteArray("[Trash Info]"));
    const QByteArray expectedPath =
        "Path=" + QFile::encodeName(FDir.path()).toPercentEncoding("/") + "/pictures/holiday%20photo%20100%25%20%C3%A9.jpg";
    EXPECT_EQ(lines[1], expectedPath);
    ASSERT_TRUE(lines[2].startsWith("DeletionDate="));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    EXPECT_TRUE(when.isValid()) << lines[2].toStdString();
    EXPECT_TRUE(before <= when && when <= after);
    EXPECT_TRUE(lines[3].isEmpty());
    // The trash and its folders are the user's alone.
    EXPECT_EQ(Mode(Trash()), 0700);
    EXPECT_EQ(Mode(Trash() + QStringLiteral("/files")), 0700);
    EXPECT_EQ(Mode(Trash() + QStringLiteral("/info")), 0700);
}

TEST_F(TrashTest, ATakenNameIsNumberedBeforeTheExtension) {
    for (int i = 0; i < 3; ++i)
        MoveToTrash(Picture(QStringLiteral("same.jpg"), QByteArray::number(i)));
    MoveToTrash(Picture(QStringLiteral("README"), "a"));
    MoveToTrash(Picture(QStringLiteral("README"), "b"));
    QStringList files = QDir(Trash() + QStringLiteral("/files")).entryList(QDir::Files);
    files.sort();
    EXPECT_EQ(files, (QStringList{"README", "README.2", "same.2.jpg", "same.3.jpg", "same.jpg"}));
    QStringList infos = QDir(Trash() + QStringLiteral("/info")).entryList(QDir::Files);
    infos.sort();
    EXPECT_EQ(infos, (QStringList{"README.2.trashinfo", "README.trashinfo", "same.2.jpg.trashinfo",
                                  "same.3.jpg.trashinfo", "same.jpg.trashinfo"}));
    EXPECT_EQ(ReadFile(Trash() + QStringLiteral("/files/same.3.jpg")), QByteArray("2"));
    // A note left without its file (another program's half-done work) is not overwritten either.
    WriteFile(Trash() + QStringLiteral("/info/lone.jpg.trashinfo"), "[Trash Info]\nPath=/elsewhere/lone.jpg\n");
    const TTrashedFile t = MoveToTrash(Picture(QStringLiteral("lone.jpg")));
    EXPECT_EQ(QFileInfo(t.FilePath).fileName(), QStringLiteral("lone.2.jpg"));
    EXPECT_TRUE(ReadFile(Trash() + QStringLiteral("/info/lone.jpg.trashinfo")).contains("/elsewhere/"));
}

TEST_F(TrashTest, LinksAndFoldersAreTrashedThemselves) {
    const QString target = Picture(QStringLiteral("target.jpg"));
    const QString link = FDir.filePath(QStringLiteral("pictures/link.jpg"));
    ASSERT_TRUE(QFile::link(target, link));
    const TTrashedFile t = MoveToTrash(link);
    EXPECT_TRUE(QFileInfo(t.FilePath).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target)) << "the file a link points to stays";
    const QString folder = FDir.filePath(QStringLiteral("pictures/album"));
    QDir().mkpath(folder);
    WriteFile(folder + QStringLiteral("/inside.jpg"), "x");
    const TTrashedFile f = MoveToTrash(folder);
    EXPECT_EQ(ReadFile(f.FilePath + QStringLiteral("/inside.jpg")), QByteArray("x"));
}

TEST_F(TrashTest, FailuresSayWhyAndLeaveNothingBehind) {
    try {
        MoveToTrash(FDir.filePath(QStringLiteral("pictures/missing.jpg")));
        ADD_FAILURE();
    } catch (const ETrashError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'%1' does not exist").arg(FDir.filePath(QStringLiteral("pictures/missing.jpg"))));
    }
    // A trash that cannot be made (a file is in the way).
    QDir().mkpath(FDir.filePath(QStringLiteral("data")));
    WriteFile(Trash(), "in the way");
    const QString path = Picture(QStringLiteral("kept.jpg"));
    try {
        MoveToTrash(path);
        ADD_FAILURE();
    } catch (const ETrashError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The trash folder '%1' cannot be made").arg(Trash()));
    }
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(TrashTest, AnotherFileSystemHasATrashAtItsTop) {
    // The folder stands in for the top of a mounted file system.
    const QString top = FDir.filePath(QStringLiteral("mount"));
    QDir().mkpath(top);
    const QString uid = QString::number(::getuid());
    // No shared trash: the user's own, made private.
    EXPECT_EQ(FileSystemTrashDir(top), top + QStringLiteral("/.Trash-") + uid);
    EXPECT_EQ(Mode(top + QStringLiteral("/.Trash-") + uid), 0700);
    // An administrator's .Trash with the sticky bit: the user's folder in it.
    const QString shared = top + QStringLiteral("/.Trash");
    QDir().mkpath(shared);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    EXPECT_EQ(FileSystemTrashDir(top), shared + QLatin1Char('/') + uid);
    // Without the sticky bit it is not trusted.
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    EXPECT_EQ(FileSystemTrashDir(top), top + QStringLiteral("/.Trash-") + uid);
    // A link where the user's trash should be is never followed.
    const QString other = FDir.filePath(QStringLiteral("mount2"));
    QDir().mkpath(other + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(other + QStringLiteral("/elsewhere"), other + QStringLiteral("/.Trash-") + uid));
    EXPECT_TRUE(FileSystemTrashDir(other).isEmpty());
}
