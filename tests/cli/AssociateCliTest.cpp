#include "TestUtil.h"

#include "platform/Associations.h"

#include <QFileInfo>

namespace {
// The child process inherits the test's XDG folders.
class TXdgFolders {
public:
    QTemporaryDir Dir;
    QByteArray OldData = qgetenv("XDG_DATA_HOME"), OldConfig = qgetenv("XDG_CONFIG_HOME");
    TXdgFolders() {
        qputenv("XDG_DATA_HOME", Dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", Dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }
    ~TXdgFolders() {
        qputenv("XDG_DATA_HOME", OldData);
        qputenv("XDG_CONFIG_HOME", OldConfig);
    }
};
} // namespace

TEST(AssociateCli, AssociateQueryAndUndo) {
    TXdgFolders xdg;
    QString out, err;
    ASSERT_EQ(RunCli({"associate", "png", ".Afi", "--program", "/opt/Lumenor Viewer/lumenor"}, &out, &err), 0) << err.toStdString();
    ASSERT_EQ(RunCli({"associate", "PNG", "AFI", "GIF", "--query"}, &out, &err), 0);
    EXPECT_EQ(out, QStringLiteral("PNG\tassociated\timage/png\tlumenor-PNG_LN.desktop\n"
                                  "AFI\tassociated\timage/x-lumenor-afi\tlumenor-AFI_LN.desktop\n"
                                  "GIF\tnot associated\timage/gif\t\n"));
    TAssociations a;
    const QString entry = QString::fromUtf8(ReadFile(a.ClassEntryPath(QStringLiteral(".PNG"))));
    EXPECT_TRUE(entry.contains(QStringLiteral("Exec=\"/opt/Lumenor Viewer/lumenor\" %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("Icon=") + FileTypeIconPath(QStringLiteral("PNG"))));
    EXPECT_TRUE(QFileInfo::exists(FileTypeIconPath(QStringLiteral("TGA"))));

    ASSERT_EQ(RunCli({"associate", "png", "afi", "--undo"}, &out, &err), 0);
    ASSERT_EQ(RunCli({"associate", "png", "afi", "--query"}, &out, &err), 0);
    EXPECT_EQ(out, QStringLiteral("PNG\tnot associated\timage/png\t\nAFI\tnot associated\timage/x-lumenor-afi\t\n"));
}

TEST(AssociateCli, UsageErrors) {
    QString out, err;
    EXPECT_EQ(RunCli({"associate"}, &out, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("associate needs at least one extension")));
    EXPECT_EQ(RunCli({"associate", "a/b"}, &out, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("'a/b' is not a file extension")));
    EXPECT_EQ(RunCli({"associate", "png", "--undo", "--query"}, &out, &err), 2);
    EXPECT_EQ(RunCli({"associate", "--help"}, &out, &err), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: lumenor-cli associate EXT...")));
}
