// The Edit menu's file commands and the wallpaper commands in the window, each in temporary folders
// with the trash under a temporary XDG data home: what happens to the files, the view, the file list
// and the thumbnail grid, and the questions asked.
#include "ViewerFixture.h"

#include "app/Browse.h"
#include "app/FileList.h"
#include "app/FileOperations.h"
#include "codec/Png.h"
#include "platform/ClipboardFiles.h"
#include "platform/RecordingWallpaper.h"
#include "tools/ThumbnailWidget.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>

namespace {

// Hands the test's recording desktop to the window (the window owns what the factory gives).
class TDesktopProxy : public IWallpaperBackend {
public:
    explicit TDesktopProxy(TRecordingWallpaper& desktop) : FDesktop(desktop) {}
    QString Name() const override { return FDesktop.Name(); }
    TWallpaperValues Read() override { return FDesktop.Read(); }
    QString PictureOf(const TWallpaperValues& v) const override { return FDesktop.PictureOf(v); }
    void SetPicture(const QString& file, TWallpaperStyle style) override { FDesktop.SetPicture(file, style); }
    void Write(const TWallpaperValues& v) override { FDesktop.Write(v); }

private:
    TRecordingWallpaper& FDesktop;
};

class FileOperationsTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        FHadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        FSavedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", FHome.path().toLocal8Bit());
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        if (FHadDataHome)
            qputenv("XDG_DATA_HOME", FSavedDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
        ViewerTest::TearDown();
    }
    // a.ppm, b.ppm and c.ppm in the listed folder; b is shown, with the thumbnails on.
    std::unique_ptr<TMainForm> ShowB() {
        FA = WriteSolid(QStringLiteral("a.ppm"), 10, 10);
        FB = WriteSolid(QStringLiteral("b.ppm"), 20, 10, qRgb(200, 10, 10));
        FC = WriteSolid(QStringLiteral("c.ppm"), 30, 10);
        auto form = NewForm();
        ActionOf(*form, "ViewThumbnailAction")->trigger();
        form->Browse().SelectAndOpen(FB);
        EXPECT_EQ(form->ThumbnailGrid()->ItemCount(), 3);
        return form;
    }
    QString Other(const QString& relative = QString()) const {
        return relative.isEmpty() ? FOther.path() : FOther.filePath(relative);
    }
    static QStringList Listed(TMainForm& form) { return form.FileList().Items(); }
    static QStringList GridNames(TMainForm& form) {
        QStringList names;
        for (int i = 0; i < form.ThumbnailGrid()->ItemCount(); ++i)
            names << form.ThumbnailGrid()->Item(i).FileName;
        return names;
    }
    void UseDesktop(TMainForm& form) {
        form.FileOperations().SetWallpaperBackendFactory([this] { return std::make_unique<TDesktopProxy>(FDesktop); });
    }

    QTemporaryDir FHome;  // the XDG data home: the trash and the wallpaper bitmaps
    QTemporaryDir FOther; // another folder
    QString FA, FB, FC;
    TRecordingWallpaper FDesktop;
    QByteArray FSavedDataHome;
    bool FHadDataHome = false;
};

} // namespace

TEST_F(FileOperationsTest, CopyToAFolderThatIsMadeAfterAskingAndRemembered) {
    auto form = ShowB();
    const QString target = Other(QStringLiteral("new/copies"));
    FDialogs.Folders.push_back(target);
    FDialogs.Answers.push_back(QMessageBox::Yes); // create it
    ActionOf(*form, "EditCopyToAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("The folder '%1' does not exist. Create it?").arg(target));
    EXPECT_EQ(ReadFile(target + QStringLiteral("/b.ppm")), ReadFile(FB));
    EXPECT_EQ(form->CurrentFile(), FB); // still shown
    EXPECT_EQ(form->FileOperations().LastCopyFolder(), target);
    EXPECT_EQ(FDialogs.FolderCaptions, QStringList{"Copy To"});

    // Again: the chooser starts there; the file there is replaced only when the user says so.
    WriteFile(target + QStringLiteral("/b.ppm"), "older");
    FDialogs.Folders.push_back(target);
    FDialogs.Answers.push_back(QMessageBox::No);
    ActionOf(*form, "EditCopyToAction")->trigger();
    EXPECT_EQ(FDialogs.FolderStarts.last(), target);
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_EQ(FMessages[1].Caption, QStringLiteral("Confirm File Replace"));
    EXPECT_EQ(FMessages[1].Text, QStringLiteral("The folder '%1' already holds a file named 'b.ppm'.\n\nReplace it?").arg(target));
    EXPECT_EQ(ReadFile(target + QStringLiteral("/b.ppm")), QByteArray("older"));
    FDialogs.Folders.push_back(target);
    FDialogs.Answers.push_back(QMessageBox::Yes);
    ActionOf(*form, "EditCopyToAction")->trigger();
    EXPECT_EQ(ReadFile(target + QStringLiteral("/b.ppm")), ReadFile(FB));

    // Cancelled: nothing.
    ActionOf(*form, "EditCopyToAction")->trigger();
    EXPECT_EQ(FMessages.size(), 3u);

    // Into its own folder: a copy beside it, and the list and grid show it.
    FDialogs.Folders.push_back(FDir.path());
    ActionOf(*form, "EditCopyToAction")->trigger();
    EXPECT_EQ(ReadFile(FDir.filePath(QStringLiteral("b (copy).ppm"))), ReadFile(FB));
    EXPECT_EQ(Listed(*form), (QStringList{"a.ppm", "b (copy).ppm", "b.ppm", "c.ppm"}));
    EXPECT_EQ(GridNames(*form), Listed(*form));
    EXPECT_EQ(form->FileList().FileName(), FB);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("3/4"));
}

TEST_F(FileOperationsTest, MoveToEmptiesTheViewAndTheListFollows) {
    auto form = ShowB();
    FDialogs.Folders.push_back(Other());
    ActionOf(*form, "EditMoveToAction")->trigger();
    EXPECT_FALSE(QFileInfo::exists(FB));
    EXPECT_TRUE(QFileInfo::exists(Other(QStringLiteral("b.ppm"))));
    EXPECT_TRUE(form->CurrentFile().isEmpty());
    EXPECT_EQ(form->Picture().Graphic(), nullptr);
    EXPECT_EQ(Listed(*form), (QStringList{"a.ppm", "c.ppm"}));
    EXPECT_EQ(GridNames(*form), Listed(*form));
    EXPECT_FALSE(ActionOf(*form, "EditMoveToAction")->isEnabled());
    EXPECT_EQ(form->FileOperations().LastMoveFolder(), Other());
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(FileOperationsTest, AMoveThatDoesNotHappenShowsThePictureAgain) {
    auto form = ShowB();
    // The last copy folder is where a first move starts.
    FDialogs.Folders.push_back(Other());
    ActionOf(*form, "EditCopyToAction")->trigger();
    WriteFile(Other(QStringLiteral("b.ppm")), "someone else's");
    FDialogs.Folders.push_back(Other());
    FDialogs.Answers.push_back(QMessageBox::No); // keep theirs
    ActionOf(*form, "EditMoveToAction")->trigger();
    EXPECT_EQ(FDialogs.FolderStarts.last(), Other());
    EXPECT_EQ(FDialogs.FolderCaptions.last(), QStringLiteral("Move To"));
    EXPECT_EQ(ReadFile(Other(QStringLiteral("b.ppm"))), QByteArray("someone else's"));
    EXPECT_EQ(form->CurrentFile(), FB);
    EXPECT_EQ(form->DisplayWidth(), 20);
    // Into its own folder: said, and nothing moves.
    FDialogs.Folders.push_back(FDir.path());
    ActionOf(*form, "EditMoveToAction")->trigger();
    EXPECT_EQ(FMessages.back().Text, QStringLiteral("'b.ppm' is already in '%1'.").arg(FDir.path()));
    EXPECT_EQ(form->CurrentFile(), FB);
    EXPECT_EQ(Listed(*form).size(), 3);
}

TEST_F(FileOperationsTest, DeleteSendsTheFileToTheTrashWithItsNote) {
    auto form = ShowB();
    FDialogs.Answers.push_back(QMessageBox::No);
    QTest::keyClick(form->View(), Qt::Key_Delete);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Delete File"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Are you sure you want to move 'b.ppm' to the trash?"));
    EXPECT_TRUE(QFileInfo::exists(FB));
    EXPECT_EQ(form->CurrentFile(), FB);

    const QByteArray bytes = ReadFile(FB);
    FDialogs.Answers.push_back(QMessageBox::Yes);
    QTest::keyClick(form->View(), Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(FB));
    const QString trash = FHome.filePath(QStringLiteral("Trash"));
    EXPECT_EQ(ReadFile(trash + QStringLiteral("/files/b.ppm")), bytes);
    const QByteArray note = ReadFile(trash + QStringLiteral("/info/b.ppm.trashinfo"));
    EXPECT_TRUE(note.startsWith("[Trash Info]\nPath=" + QFile::encodeName(FB).toPercentEncoding("/") + "\nDeletionDate=")) << note.toStdString();
    EXPECT_TRUE(form->CurrentFile().isEmpty());
    EXPECT_EQ(Listed(*form), (QStringList{"a.ppm", "c.ppm"}));
    EXPECT_EQ(GridNames(*form), Listed(*form));
    EXPECT_FALSE(ActionOf(*form, "EditDeleteAction")->isEnabled());
}

TEST_F(FileOperationsTest, RenameKeepsTheExtensionAndSelectsTheNewName) {
    const QString picture = WriteSolid(QStringLiteral("picture.ppm"), 12, 8);
    auto form = NewForm();
    form->Browse().SelectAndOpen(picture);
    FDialogs.Inputs.push_back(QStringLiteral("holiday"));
    QTest::keyClick(form->View(), Qt::Key_F2);
    EXPECT_EQ(FDialogs.InputCaptions, QStringList{"Rename File"});
    EXPECT_EQ(FDialogs.Prompts, QStringList{"Filename:"});
    EXPECT_EQ(FDialogs.InputValues, QStringList{"picture"});
    const QString holiday = FDir.filePath(QStringLiteral("holiday.ppm"));
    EXPECT_TRUE(QFileInfo::exists(holiday));
    EXPECT_FALSE(QFileInfo::exists(picture));
    EXPECT_EQ(form->CurrentFile(), holiday);
    EXPECT_EQ(form->FileList().FileName(), holiday);
    EXPECT_EQ(Panel(*form, 4), QStringLiteral("holiday.ppm "));

    // The same name in other letters, or the box cancelled: nothing changes.
    FDialogs.Inputs.push_back(QStringLiteral("HOLIDAY"));
    QTest::keyClick(form->View(), Qt::Key_F2);
    FDialogs.Inputs.push_back(std::nullopt);
    QTest::keyClick(form->View(), Qt::Key_F2);
    EXPECT_TRUE(QFileInfo::exists(holiday));
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(FileOperationsTest, ARenameNeverLeavesTheFolderNorReplacesAFile) {
    const QString picture = WriteSolid(QStringLiteral("picture.ppm"), 12, 8);
    const QString taken = WriteSolid(QStringLiteral("taken.ppm"), 5, 5);
    const QByteArray bytes = ReadFile(picture);
    auto form = NewForm();
    form->Browse().SelectAndOpen(picture);
    for (const QString& bad : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("../up"),
                               QStringLiteral("sub/name"), QStringLiteral("/tmp/x")}) {
        FDialogs.Inputs.push_back(bad);
        ActionOf(*form, "EditRenameAction")->trigger();
        ASSERT_FALSE(FMessages.empty()) << bad.toStdString();
        EXPECT_EQ(FMessages.back().Text, QStringLiteral("'%1' is not a valid file name.").arg(bad));
    }
    FDialogs.Inputs.push_back(QStringLiteral("taken"));
    ActionOf(*form, "EditRenameAction")->trigger();
    EXPECT_EQ(FMessages.back().Text, QStringLiteral("A file named 'taken.ppm' already exists."));
    EXPECT_EQ(ReadFile(picture), bytes);
    EXPECT_TRUE(QFileInfo::exists(taken));
    EXPECT_EQ(QDir(FDir.path()).entryList({QStringLiteral("*.ppm")}, QDir::Files), (QStringList{"picture.ppm", "taken.ppm"}));
    EXPECT_EQ(form->CurrentFile(), picture);
}

TEST_F(FileOperationsTest, CopyImagePutsTheFileAndThePictureOnTheClipboard) {
    auto form = ShowB();
    QTest::keyClick(form->View(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("copy\n") + QUrl::fromLocalFile(FB).toEncoded());
    EXPECT_EQ(data->data(QStringLiteral("text/uri-list")), QUrl::fromLocalFile(FB).toEncoded() + "\r\n");
    EXPECT_EQ(data->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("0"));
    const QImage image = qvariant_cast<QImage>(data->imageData());
    ASSERT_EQ(image.size(), QSize(20, 10));
    EXPECT_EQ(image.pixel(3, 3) | 0xFF000000u, qRgb(200, 10, 10));
    EXPECT_TRUE(ActionOf(*form, "EditPasteAction")->isEnabled());
}

TEST_F(FileOperationsTest, CutThenPasteInAnotherFolderMovesTheFile) {
    auto form = ShowB();
    QTest::keyClick(form->View(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("cut\n") + QUrl::fromLocalFile(FB).toEncoded());
    EXPECT_TRUE(QFileInfo::exists(FB)); // a cut file stays until it is pasted
    WriteFile(Other(QStringLiteral("z.ppm")), ReadFile(FA));
    form->FileList().SetDirectory(Other());
    QTest::keyClick(form->View(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_FALSE(QFileInfo::exists(FB));
    EXPECT_TRUE(QFileInfo::exists(Other(QStringLiteral("b.ppm"))));
    // The shown file was the one moved: the view stays empty.
    EXPECT_TRUE(form->CurrentFile().isEmpty());
    EXPECT_EQ(Listed(*form), (QStringList{"b.ppm", "z.ppm"}));
    EXPECT_EQ(GridNames(*form), Listed(*form));
    // As a file manager does, the clipboard no longer offers the moved file.
    EXPECT_FALSE(FilesOnClipboard(*QGuiApplication::clipboard()));
    EXPECT_FALSE(ActionOf(*form, "EditPasteAction")->isEnabled());
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(FileOperationsTest, PasteFollowsTheClipboardsOwnMarker) {
    auto form = ShowB();
    // The viewer cut a file once; then a file manager copied another. Paste copies.
    QTest::keyClick(form->View(), Qt::Key_X, Qt::ControlModifier);
    const QString elsewhere = Other(QStringLiteral("from files.ppm"));
    WriteFile(elsewhere, ReadFile(FC));
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + QUrl::fromLocalFile(elsewhere).toEncoded());
    data->setData(QStringLiteral("text/uri-list"), QUrl::fromLocalFile(elsewhere).toEncoded() + "\r\n");
    QGuiApplication::clipboard()->setMimeData(data.release());
    ASSERT_TRUE(ActionOf(*form, "EditPasteAction")->isEnabled());
    ActionOf(*form, "EditPasteAction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
    EXPECT_EQ(ReadFile(FDir.filePath(QStringLiteral("from files.ppm"))), ReadFile(FC));
    EXPECT_EQ(form->CurrentFile(), FB); // shown again
    EXPECT_EQ(Listed(*form), (QStringList{"a.ppm", "b.ppm", "c.ppm", "from files.ppm"}));
    EXPECT_EQ(GridNames(*form), Listed(*form));
    EXPECT_EQ(form->FileList().FileName(), FB);

    // Pasted again: the name is taken, so the user is asked; a copy into the file's own folder gets a new
    // name instead.
    FDialogs.Answers.push_back(QMessageBox::No);
    ActionOf(*form, "EditPasteAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Confirm File Replace"));
    QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles({FA}, TClipboardOperation::coCopy).release());
    ActionOf(*form, "EditPasteAction")->trigger();
    EXPECT_EQ(ReadFile(FDir.filePath(QStringLiteral("a (copy).ppm"))), ReadFile(FA));
    // Cut and pasted where it is: nothing happens.
    QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles({FA}, TClipboardOperation::coCut).release());
    ActionOf(*form, "EditPasteAction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(FA));
    EXPECT_EQ(Listed(*form).size(), 5);
}

TEST_F(FileOperationsTest, OnlyTheFirstOfSeveralFilesIsPasted) {
    auto form = ShowB();
    QStringList three;
    for (const char* name : {"one.ppm", "two.ppm", "three.ppm"}) {
        three << Other(QString::fromLatin1(name));
        WriteFile(three.back(), ReadFile(FA));
    }
    QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles(three, TClipboardOperation::coCopy).release());
    ActionOf(*form, "EditPasteAction")->trigger();
    EXPECT_EQ(Listed(*form), (QStringList{"a.ppm", "b.ppm", "c.ppm", "one.ppm"}));
    // A missing file is said to be missing.
    QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles({Other(QStringLiteral("gone.ppm"))}, TClipboardOperation::coCut).release());
    ActionOf(*form, "EditPasteAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("'%1' does not exist").arg(Other(QStringLiteral("gone.ppm"))));
    // Text is not files.
    QGuiApplication::clipboard()->setText(QStringLiteral("hello"));
    EXPECT_FALSE(ActionOf(*form, "EditPasteAction")->isEnabled());
}

TEST_F(FileOperationsTest, TheWallpaperIsWrittenAndSetAndTheUsersOwnRestored) {
    auto form = ShowB();
    UseDesktop(*form);
    EXPECT_TRUE(ActionOf(*form, "ToolWallPaperRestoreAction")->isEnabled());
    // Nothing saved yet: restore leaves the user's wallpaper alone.
    ActionOf(*form, "ToolWallPaperRestoreAction")->trigger();
    EXPECT_EQ(FDesktop.CountOf(QStringLiteral("Write")), 0);

    QTest::keyClick(form->View(), Qt::Key_W, Qt::ControlModifier); // centred
    const QString first = FHome.filePath(QStringLiteral("lumenor/LN_WallPaper.png"));
    EXPECT_EQ(FDesktop.Calls.filter(QStringLiteral("SetPicture")), QStringList{QStringLiteral("SetPicture %1 0").arg(first)});
    auto png = LoadGraphic<TPngGraphic>(ReadFile(first));
    ASSERT_EQ(png->Image().size(), QSize(20, 10));
    EXPECT_EQ(png->Image().pixel(5, 5) | 0xFF000000u, qRgb(200, 10, 10));

    ActionOf(*form, "ToolWallPaperTileAction")->trigger();
    const QString second = FHome.filePath(QStringLiteral("lumenor/LN_WallPaper-2.png"));
    EXPECT_EQ(FDesktop.Calls.filter(QStringLiteral("SetPicture")).last(), QStringLiteral("SetPicture %1 1").arg(second));
    ActionOf(*form, "ToolWallPaperStretchAction")->trigger();
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("placement")), QStringLiteral("2"));

    ActionOf(*form, "ToolWallPaperRestoreAction")->trigger();
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("placement")), QStringLiteral("zoom"));
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(FileOperationsTest, AWallpaperThatCannotBeWrittenLeavesTheDesktopAlone) {
    auto form = ShowB();
    UseDesktop(*form);
    WriteFile(FHome.filePath(QStringLiteral("lumenor")), "a file where the folder should be");
    ActionOf(*form, "ToolWallPaperCenterAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Cannot convert file format"));
    EXPECT_EQ(FMessages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(FDesktop.CountOf(QStringLiteral("SetPicture")), 0);
    EXPECT_EQ(FDesktop.Values.value(QStringLiteral("picture")), QStringLiteral("/usr/share/backgrounds/mine.jpg"));

    // A desktop the program does not know: said plainly.
    form->FileOperations().SetWallpaperBackendFactory([] { return std::unique_ptr<IWallpaperBackend>(); });
    ActionOf(*form, "ToolWallPaperTileAction")->trigger();
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_TRUE(FMessages[1].Text.startsWith(QStringLiteral("The desktop wallpaper cannot be set here")));
}
