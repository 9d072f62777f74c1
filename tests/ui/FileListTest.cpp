#include "TestUtil.h"

#include "app/FileList.h"
#include "app/FileListPanel.h"
#include "codec/Registry.h"

#include <QComboBox>
#include <QDir>
#include <QListView>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FSaved = QDir::currentPath();
    }
    void TearDown() override { QDir::setCurrent(FSaved); }
    QString Touch(const QString& name, const QByteArray& bytes = "x") {
        const QString path = FDir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFile(path, bytes);
        return path;
    }
    QString Dir() const { return QDir::cleanPath(FDir.path()); }

    QTemporaryDir FDir;
    QString FSaved;
};

const QString kImages = QStringLiteral("*.png;*.jpg;*.bmp");

} // namespace

TEST_F(FileListTest, MasksMatchIgnoringCaseAndListEachFileOnce) {
    TFileMask mask(QStringLiteral("*.png;*.PNG;a?c.*;*q*"));
    EXPECT_TRUE(mask.Matches(QStringLiteral("shot.PnG")));
    EXPECT_TRUE(mask.Matches(QStringLiteral("ABC.txt")));
    EXPECT_FALSE(mask.Matches(QStringLiteral("abbc.txt")));
    EXPECT_TRUE(mask.Matches(QStringLiteral("boqed")));
    EXPECT_FALSE(mask.Matches(QStringLiteral("png")));
    EXPECT_TRUE(TFileMask(QStringLiteral("*.*")).Matches(QStringLiteral("README")));
    // "[" is an ordinary character in a mask.
    EXPECT_TRUE(TFileMask(QStringLiteral("[a]*")).Matches(QStringLiteral("[a]1.png")));
    EXPECT_FALSE(TFileMask(QStringLiteral("[a]*")).Matches(QStringLiteral("a1.png")));
    // A mask made from a file name matches that name only, literally.
    const TFileMask literal(QStringLiteral("a*b;[1].png"), true);
    EXPECT_TRUE(literal.Matches(QStringLiteral("a*b;[1].png")));
    EXPECT_FALSE(literal.Matches(QStringLiteral("aXb;[1].png")));
    EXPECT_FALSE(literal.Matches(QStringLiteral("A*B;[1].PNG")));

    Touch(QStringLiteral("b.PNG"));
    Touch(QStringLiteral("a.png"));
    Touch(QStringLiteral("C.jpg"));
    Touch(QStringLiteral("notes.txt"));
    Touch(QStringLiteral("sub/inner.png"));
    QDir().mkpath(FDir.filePath(QStringLiteral("folder.png"))); // a folder is not a file
    // Two patterns match b.PNG; it is listed once. Sorted without regard to case.
    EXPECT_EQ(TFileList::ReadFolder(Dir(), TFileMask(QStringLiteral("*.png;*.PNG;b*;*.jpg"))),
              (QStringList{QStringLiteral("a.png"), QStringLiteral("b.PNG"), QStringLiteral("C.jpg")}));
    EXPECT_TRUE(TFileList::ReadFolder(Dir() + QStringLiteral("/missing"), TFileMask(kImages)).isEmpty());
}

TEST_F(FileListTest, TheListIsTheProcessCurrentFolder) {
    Touch(QStringLiteral("one.png"));
    QDir::setCurrent(Dir());
    TFileList list;
    EXPECT_EQ(list.Directory(), Dir());
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral("one.png")});
    Touch(QStringLiteral("sub/two.png"));
    QSignalSpy changed(&list, &TFileList::ListChanged);
    list.SetDirectory(FDir.filePath(QStringLiteral("sub")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(QDir::currentPath(), Dir() + QStringLiteral("/sub"));
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral("two.png")});
    EXPECT_EQ(list.ItemIndex(), -1);
}

TEST_F(FileListTest, BrowsingWrapsWhileTheCommandsStopAtTheEnds) {
    for (const char* n : {"a.png", "b.png", "c.png"})
        Touch(QString::fromLatin1(n));
    TFileList list;
    list.SetDirectory(Dir());
    list.SetMask(kImages);
    list.SelectPath(FDir.filePath(QStringLiteral("b.png")));
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_TRUE(list.CanBrowsePrevious());
    EXPECT_TRUE(list.CanBrowseNext());
    EXPECT_TRUE(list.BrowseNext());
    EXPECT_EQ(list.FileName(), FDir.filePath(QStringLiteral("c.png")));
    EXPECT_FALSE(list.CanBrowseNext()); // Page Down is disabled here...
    EXPECT_TRUE(list.BrowseNext());     // ...but Space wraps to the first
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_FALSE(list.CanBrowsePrevious());
    EXPECT_TRUE(list.BrowsePrevious());
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_TRUE(list.BrowseFirst());
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_TRUE(list.BrowseLast());
    EXPECT_EQ(list.ItemIndex(), 2);

    // Nothing selected: next takes the first, previous the last.
    list.Update();
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_TRUE(list.CanBrowseNext());
    EXPECT_FALSE(list.CanBrowsePrevious());
    EXPECT_TRUE(list.BrowsePrevious());
    EXPECT_EQ(list.ItemIndex(), 2);
    list.Update();
    EXPECT_TRUE(list.BrowseNext());
    EXPECT_EQ(list.ItemIndex(), 0);

    // One file: previous and next do nothing; first and last still work.
    list.SetMask(QStringLiteral("a.*"));
    EXPECT_FALSE(list.BrowseNext());
    EXPECT_FALSE(list.BrowsePrevious());
    EXPECT_FALSE(list.CanBrowseNext());
    EXPECT_TRUE(list.CanBrowseEnds());
    EXPECT_TRUE(list.BrowseLast());
    EXPECT_EQ(list.ItemIndex(), 0);
    // Empty: nothing at all.
    list.SetMask(QStringLiteral("*.gif"));
    EXPECT_FALSE(list.CanBrowseEnds());
    EXPECT_FALSE(list.BrowseFirst());
    EXPECT_FALSE(list.BrowseLast());
}

TEST_F(FileListTest, SelectPathFollowsTheRules) {
    Touch(QStringLiteral("a.png"));
    Touch(QStringLiteral("b.png"));
    Touch(QStringLiteral("notes.txt"));
    Touch(QStringLiteral("other/c.png"));
    TFileList list;
    list.SetMask(kImages);
    QSignalSpy selection(&list, &TFileList::SelectionChanged);

    list.SelectPath(FDir.filePath(QStringLiteral("b.png")));
    EXPECT_EQ(list.Directory(), Dir());
    EXPECT_EQ(list.ItemIndex(), 1);
    const int before = selection.count();
    list.SelectPath(FDir.filePath(QStringLiteral("b.png"))); // the same path: nothing happens
    EXPECT_EQ(selection.count(), before);

    // A file the mask hides narrows the mask to its name.
    list.SelectPath(FDir.filePath(QStringLiteral("notes.txt")));
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral("notes.txt")});
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_TRUE(list.Mask().Literal());

    // Another folder: the list moves there.
    list.SetMask(kImages);
    list.SelectPath(FDir.filePath(QStringLiteral("other/c.png")));
    EXPECT_EQ(list.Directory(), Dir() + QStringLiteral("/other"));
    EXPECT_EQ(list.FileName(), FDir.filePath(QStringLiteral("other/c.png")));

    // A name with wildcards that names no file becomes the mask.
    list.SelectPath(FDir.filePath(QStringLiteral("?.png")));
    EXPECT_EQ(list.Directory(), Dir());
    EXPECT_EQ(list.MaskText(), QStringLiteral("?.png"));
    EXPECT_EQ(list.Items(), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
    EXPECT_EQ(list.ItemIndex(), -1);

    // A file made after the folder was read, which the mask lists: the folder is read again.
    list.SetMask(kImages);
    const QString fresh = Touch(QStringLiteral("c.png"));
    list.SelectPath(fresh);
    EXPECT_FALSE(list.Mask().Literal());
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.ItemIndex(), 2);
    // A hidden file is listed only when it is asked for by name.
    const QString hidden = Touch(QStringLiteral(".hidden.png"));
    list.Update();
    EXPECT_EQ(list.Count(), 3);
    list.SelectPath(hidden);
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral(".hidden.png")});
    EXPECT_EQ(list.FileName(), hidden);

    // A missing file is refused with the path in the message.
    const QString missing = FDir.filePath(QStringLiteral("gone.png"));
    try {
        list.SelectPath(missing);
        ADD_FAILURE() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid file name - ") + missing);
    }
    EXPECT_THROW(list.SelectPath(QStringLiteral("/no/such/folder/x.png")), EInvalidOperation);
}

TEST_F(FileListTest, NamesWithWildcardCharactersAreFilesWhenTheyExist) {
    // Linux allows these characters in names; such a file is selected as itself.
    const QString odd = Touch(QStringLiteral("a*b?[1];x.png"));
    Touch(QStringLiteral("aXbY[1];x.png"));
    Touch(QStringLiteral("odd*.dat"));
    TFileList list;
    list.SetMask(kImages);
    list.SelectPath(odd);
    EXPECT_EQ(list.FileName(), odd);
    EXPECT_EQ(list.Count(), 2);
    // Narrowing to such a name lists that one file, not everything its "*" would match.
    list.SelectPath(FDir.filePath(QStringLiteral("odd*.dat")));
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral("odd*.dat")});
    EXPECT_EQ(list.ItemIndex(), 0);
}

TEST_F(FileListTest, ThePanelShowsTheListAndReportsTheUsersChoice) {
    for (const char* n : {"a.png", "b.png", "c.bmp", "d.txt"})
        Touch(QString::fromLatin1(n));
    Touch(QStringLiteral("sub/deeper/e.png"));
    QDir::setCurrent(Dir());
    TFileListPanel panel(QStringLiteral("All images|*.png;*.bmp|PNG|*.png|Text|*.txt"));
    EXPECT_EQ(panel.FilterBox()->count(), 3);
    EXPECT_EQ(panel.FilterBox()->currentText(), QStringLiteral("All images"));
    auto* model = qobject_cast<QStringListModel*>(panel.ListBox()->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->stringList(), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png"),
                                                QStringLiteral("c.bmp")}));

    // The filter box sets the mask.
    panel.FilterBox()->setCurrentIndex(1);
    emit panel.FilterBox()->activated(1);
    EXPECT_EQ(panel.FileList().Count(), 2);

    // A selection made by the user is reported; one made by the program is not.
    QSignalSpy chosen(&panel, &TFileListPanel::FileChosen);
    panel.FileList().SetItemIndex(0);
    EXPECT_EQ(panel.ListBox()->currentIndex().row(), 0);
    EXPECT_EQ(chosen.count(), 0);
    panel.ListBox()->setCurrentIndex(model->index(1));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), FDir.filePath(QStringLiteral("b.png")));
    EXPECT_EQ(panel.FileList().ItemIndex(), 1);
    // A click on another entry opens it once; a click on the selected one opens it again.
    panel.resize(200, 400);
    panel.show();
    const QPoint first = panel.ListBox()->visualRect(model->index(0)).center();
    QTest::mouseClick(panel.ListBox()->viewport(), Qt::LeftButton, Qt::NoModifier, first);
    EXPECT_EQ(chosen.count(), 2);
    EXPECT_EQ(panel.FileList().ItemIndex(), 0);
    QTest::mouseClick(panel.ListBox()->viewport(), Qt::LeftButton, Qt::NoModifier, first);
    EXPECT_EQ(chosen.count(), 3);
    EXPECT_EQ(chosen.at(2).at(0).toString(), FDir.filePath(QStringLiteral("a.png")));

    // The folder list: the chain down to the folder, then its subfolders; activating one moves there.
    QTreeWidgetItem* current = panel.FolderList()->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text(0), QDir(Dir()).dirName());
    ASSERT_EQ(current->childCount(), 1);
    EXPECT_EQ(current->child(0)->text(0), QStringLiteral("sub"));
    emit panel.FolderList()->itemActivated(current->child(0), 0);
    EXPECT_EQ(panel.FileList().Directory(), Dir() + QStringLiteral("/sub"));
    EXPECT_EQ(panel.FolderList()->currentItem()->text(0), QStringLiteral("sub"));
    EXPECT_EQ(panel.FolderList()->currentItem()->child(0)->text(0), QStringLiteral("deeper"));
    EXPECT_EQ(panel.FolderList()->currentItem()->parent()->text(0), QDir(Dir()).dirName());
    // The volume chooser shows the volume that holds the folder.
    EXPECT_GE(panel.VolumeBox()->currentIndex(), 0);
}

namespace {
QString GVolumeDir;
QList<TVolume> TwoVolumes() { return {{QStringLiteral("/"), QString()}, {GVolumeDir, QStringLiteral("data")}}; }
QList<TVolume> NoVolumes() { return {}; }
} // namespace

TEST_F(FileListTest, TheVolumeChooserShowsTheFoldersVolumeWhateverIsMounted) {
    // The volumes come from the test, not from the machine: the longest root holding the folder wins;
    // where no listed mount holds it (a chroot, a container), the file system's root is shown.
    GVolumeDir = Dir();
    QDir(Dir()).mkpath(QStringLiteral("sub"));
    TFileListPanel::SetVolumeSource(&TwoVolumes);
    {
        TFileListPanel panel(QStringLiteral("All|*.*"));
        panel.FileList().SetDirectory(Dir() + QStringLiteral("/sub"));
        EXPECT_EQ(panel.VolumeBox()->count(), 2);
        EXPECT_EQ(panel.VolumeBox()->currentText(), Dir() + QStringLiteral(" [data]"));
        EXPECT_EQ(panel.FolderList()->topLevelItem(0)->text(0), QDir(Dir()).dirName());
        panel.FileList().SetDirectory(QDir::rootPath());
        EXPECT_EQ(panel.VolumeBox()->currentText(), QStringLiteral("/"));
        // Choosing a volume lists its root.
        emit panel.VolumeBox()->activated(1);
        EXPECT_EQ(panel.FileList().Directory(), Dir());
    }
    TFileListPanel::SetVolumeSource(&NoVolumes);
    {
        TFileListPanel panel(QStringLiteral("All|*.*"));
        EXPECT_EQ(panel.VolumeBox()->currentIndex(), 0);
        EXPECT_EQ(panel.VolumeBox()->currentText(), QStringLiteral("/"));
        EXPECT_EQ(panel.FolderList()->topLevelItem(0)->text(0), QStringLiteral("/"));
    }
    TFileListPanel::SetVolumeSource(nullptr);
    EXPECT_EQ(TFileListPanel::VolumeRootOf(QStringLiteral("/datax/a"), {{QStringLiteral("/data"), {}}}),
              QStringLiteral("/"));
}
