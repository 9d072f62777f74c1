// Copying, moving and renaming single files: complete copies with their permissions and times, nothing
// replaced unless asked, never a file onto itself.
#include "TestUtil.h"

#include "platform/FileTransfer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

class FileTransferTest : public ::testing::Test {
protected:
    QString Make(const QString& relative, const QByteArray& bytes) {
        const QString path = FDir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        WriteFile(path, bytes);
        return path;
    }
    QString Path(const QString& relative) const { return FDir.filePath(relative); }
    QTemporaryDir FDir;
};

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

TEST_F(FileTransferTest, ACopyIsCompleteWithThePermissionsAndTimeOfItsSource) {
    QByteArray big(3 * 1024 * 1024 + 17, Qt::Uninitialized); // more than one buffer
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + (i >> 11));
    const QString source = Make(QStringLiteral("a/photo.jpg"), big);
    ASSERT_TRUE(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QDateTime old = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QDir().mkpath(Path(QStringLiteral("b")));
    const QString dest = Path(QStringLiteral("b/photo.jpg"));
    CopyFileTo(source, dest, TReplace::rpNever);
    EXPECT_EQ(ReadFile(dest), big);
    EXPECT_EQ(QFileInfo(dest).lastModified(), old);
    EXPECT_EQ(QFile::permissions(dest), QFile::permissions(source));
    EXPECT_EQ(Entries(Path(QStringLiteral("b"))), QStringList{"photo.jpg"}) << "no temporary file is left";
    EXPECT_EQ(ReadFile(source), big);
}

TEST_F(FileTransferTest, NothingIsReplacedUnlessAskedAndNothingOntoItself) {
    const QString source = Make(QStringLiteral("a/p.jpg"), "new");
    const QString existing = Make(QStringLiteral("b/p.jpg"), "old");
    try {
        CopyFileTo(source, existing, TReplace::rpNever);
        ADD_FAILURE();
    } catch (const EFileOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'p.jpg' already exists in '%1'").arg(Path(QStringLiteral("b"))));
    }
    EXPECT_THROW(MoveFileTo(source, existing, TReplace::rpNever), EFileOperation);
    EXPECT_EQ(ReadFile(existing), QByteArray("old"));
    EXPECT_EQ(ReadFile(source), QByteArray("new"));
    CopyFileTo(source, existing, TReplace::rpReplace);
    EXPECT_EQ(ReadFile(existing), QByteArray("new"));

    // Onto itself: by the same name, through another spelling, or another hard link of it.
    for (const QString& same : {source, Path(QStringLiteral("a/../a/p.jpg"))}) {
        EXPECT_THROW(CopyFileTo(source, same, TReplace::rpReplace), EFileOperation);
        EXPECT_THROW(MoveFileTo(source, same, TReplace::rpReplace), EFileOperation);
    }
    const QString hardLink = Path(QStringLiteral("a/hard.jpg"));
    ASSERT_EQ(::link(QFile::encodeName(source).constData(), QFile::encodeName(hardLink).constData()), 0);
    EXPECT_TRUE(IsSameFile(source, hardLink));
    EXPECT_THROW(CopyFileTo(source, hardLink, TReplace::rpReplace), EFileOperation);
    EXPECT_THROW(MoveFileTo(source, hardLink, TReplace::rpReplace), EFileOperation);
    EXPECT_EQ(ReadFile(source), QByteArray("new"));
    EXPECT_EQ(ReadFile(hardLink), QByteArray("new"));
    try {
        CopyFileTo(source, source, TReplace::rpReplace);
    } catch (const EFileOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'p.jpg' cannot be copied onto itself"));
    }
}

TEST_F(FileTransferTest, AMoveRenamesOrReplacesAsAsked) {
    const QString source = Make(QStringLiteral("a/p.jpg"), "picture");
    const QString dest = Path(QStringLiteral("a/renamed.jpg"));
    MoveFileTo(source, dest, TReplace::rpNever);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(ReadFile(dest), QByteArray("picture"));
    const QString other = Make(QStringLiteral("b/renamed.jpg"), "other");
    MoveFileTo(dest, other, TReplace::rpReplace);
    EXPECT_EQ(ReadFile(other), QByteArray("picture"));
    try {
        MoveFileTo(dest, Path(QStringLiteral("b/x.jpg")), TReplace::rpNever);
        ADD_FAILURE();
    } catch (const EFileOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'%1' does not exist").arg(dest));
    }
}

TEST_F(FileTransferTest, AMoveToAnotherFileSystemCopiesAndThenRemoves) {
    QTemporaryDir shm(QStringLiteral("/dev/shm/lumenor-test-XXXXXX"));
    struct stat a {}, b {};
    if (!shm.isValid() || ::stat(QFile::encodeName(FDir.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(shm.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";
    const QString source = Make(QStringLiteral("p.jpg"), "across");
    const QString dest = shm.filePath(QStringLiteral("p.jpg"));
    MoveFileTo(source, dest, TReplace::rpNever);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(ReadFile(dest), QByteArray("across"));
    const QString back = Make(QStringLiteral("p.jpg"), "in the way");
    EXPECT_THROW(MoveFileTo(dest, back, TReplace::rpNever), EFileOperation);
    EXPECT_EQ(ReadFile(back), QByteArray("in the way"));
    EXPECT_TRUE(QFileInfo::exists(dest));
}

TEST_F(FileTransferTest, FileNamesAndCopyNames) {
    for (const char* bad : {"", ".", "..", "a/b", "/"})
        EXPECT_FALSE(IsValidFileName(QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(IsValidFileName(QStringLiteral("a") + QChar(0)));
    EXPECT_FALSE(IsValidFileName(QString(256, QLatin1Char('x'))));
    for (const char* good : {"holiday", ".hidden", "a b", "...", "x\\y", "é"})
        EXPECT_TRUE(IsValidFileName(QString::fromUtf8(good))) << good;

    Make(QStringLiteral("photo.jpg"), "x");
    EXPECT_EQ(FreeCopyName(FDir.path(), QStringLiteral("photo.jpg")), QStringLiteral("photo (copy).jpg"));
    Make(QStringLiteral("photo (copy).jpg"), "x");
    EXPECT_EQ(FreeCopyName(FDir.path(), QStringLiteral("photo.jpg")), QStringLiteral("photo (copy 2).jpg"));
    EXPECT_EQ(FreeCopyName(FDir.path(), QStringLiteral("README")), QStringLiteral("README (copy)"));
    EXPECT_EQ(FreeCopyName(FDir.path(), QStringLiteral(".profile")), QStringLiteral(".profile (copy)"));
}
