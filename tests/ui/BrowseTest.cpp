// Browsing in the main window: the file list, the browse commands and keys, the thumbnail view and
// refreshing.
#include "ViewerFixture.h"

#include "app/Browse.h"

#include "app/FileList.h"
#include "app/FileListPanel.h"
#include "app/MRUFList.h"
#include "platform/SettingsFile.h"
#include "tools/ThumbnailWidget.h"

#include <QComboBox>
#include <QDir>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStringListModel>
#include <QTest>

namespace {

class BrowseTest : public ViewerTest {
protected:
    // a.ppm, b.ppm and c.ppm of different sizes, plus a file no filter lists.
    void WriteThree() {
        FA = WriteSolid(QStringLiteral("a.ppm"), 10, 10);
        FB = WriteSolid(QStringLiteral("b.ppm"), 20, 10);
        FC = WriteSolid(QStringLiteral("c.ppm"), 30, 10);
        WriteFile(FDir.filePath(QStringLiteral("notes.txt")), "text");
    }
    QString FA, FB, FC;
};

} // namespace

TEST_F(BrowseTest, NextStopsAtTheEndWhileSpaceWrapsAround) {
    WriteThree();
    auto form = NewForm();
    EXPECT_EQ(form->FileList().Count(), 3);
    form->Browse().SelectAndOpen(FB);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/3"));
    QAction* next = ActionOf(*form, "ViewNextAction");
    QAction* previous = ActionOf(*form, "ViewPreviousAction");
    EXPECT_TRUE(next->isEnabled());
    next->trigger();
    EXPECT_EQ(form->CurrentFile(), FC);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("3/3"));
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("30x10"));
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(previous->isEnabled());
    QTest::keyClick(form->View(), Qt::Key_PageDown); // the command stops at the end
    EXPECT_EQ(form->CurrentFile(), FC);
    QTest::keyClick(form->View(), Qt::Key_Space); // Space wraps to the first
    EXPECT_EQ(form->CurrentFile(), FA);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("1/3"));
    EXPECT_FALSE(previous->isEnabled());
    QTest::keyClick(form->View(), Qt::Key_Backspace); // and Backspace back to the last
    EXPECT_EQ(form->CurrentFile(), FC);
    QTest::keyClick(form->View(), Qt::Key_Home);
    EXPECT_EQ(form->CurrentFile(), FA);
    QTest::keyClick(form->View(), Qt::Key_End);
    EXPECT_EQ(form->CurrentFile(), FC);
    QTest::keyClick(form->View(), Qt::Key_PageUp);
    EXPECT_EQ(form->CurrentFile(), FB);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(BrowseTest, OneFileInTheFolderBrowsesNowhere) {
    const QString only = WriteSolid(QStringLiteral("only.ppm"), 10, 10);
    auto form = NewForm();
    form->Browse().SelectAndOpen(only);
    EXPECT_FALSE(ActionOf(*form, "ViewNextAction")->isEnabled());
    EXPECT_FALSE(ActionOf(*form, "ViewPreviousAction")->isEnabled());
    EXPECT_TRUE(ActionOf(*form, "ViewFirstAction")->isEnabled());
    const int renders = form->RenderCount();
    QTest::keyClick(form->View(), Qt::Key_Space);
    EXPECT_EQ(form->RenderCount(), renders); // nothing was opened again
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("1/1"));
}

TEST_F(BrowseTest, TheCommandLineMovesTheListAndNarrowsItToAFileTheFilterHides) {
    WriteThree();
    // A portable pixmap under a name no filter lists: it opens by its content.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("sub")));
    const QString odd = WriteSolid(QStringLiteral("sub/picture.data"), 12, 12);
    auto form = NewForm(1000, 600, {odd});
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(form->CurrentFile(), odd);
    EXPECT_EQ(form->FileList().Directory(), QDir::cleanPath(FDir.filePath(QStringLiteral("sub"))));
    EXPECT_EQ(QDir::currentPath(), form->FileList().Directory());
    EXPECT_EQ(form->FileList().Items(), QStringList{QStringLiteral("picture.data")});
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("1/1"));
    // Picking the filter again lists the folder's pictures under it once more.
    QComboBox* filter = form->FileListPanel()->FilterBox();
    emit filter->activated(filter->currentIndex());
    EXPECT_EQ(form->FileList().Count(), 0);
}

TEST_F(BrowseTest, AMissingFileIsReportedAndNotOpened) {
    WriteThree();
    const QString missing = FDir.filePath(QStringLiteral("gone.ppm"));
    auto form = NewForm(1000, 600, {missing});
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Lumenor v1.65"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Invalid file name - ") + missing);
    EXPECT_TRUE(form->CurrentFile().isEmpty());
}

TEST_F(BrowseTest, ThumbnailsFollowTheListAndOpenTheChosenCell) {
    WriteThree();
    auto form = NewForm();
    form->Browse().SelectAndOpen(FB);
    TThumbnailGrid* grid = form->ThumbnailGrid();
    EXPECT_FALSE(grid->isVisible());
    const int renders = form->RenderCount();
    QTest::keyClick(form->View(), Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(ActionOf(*form, "ViewThumbnailAction")->isChecked());
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->geometry(), form->View()->geometry()); // over the picture area
    EXPECT_EQ(grid->ItemCount(), 3);
    EXPECT_EQ(grid->Directory(), form->FileList().Directory());
    EXPECT_EQ(grid->SelIndex(), 1); // the current file, not opened again
    EXPECT_EQ(form->RenderCount(), renders);
    EXPECT_EQ(grid->ThumbCol(), 6); // from the settings
    EXPECT_EQ(grid->ColCount(), 3);

    // Browsing moves the grid's selection along.
    ActionOf(*form, "ViewFirstAction")->trigger();
    EXPECT_EQ(form->CurrentFile(), FA);
    EXPECT_EQ(grid->SelIndex(), 0);

    // Selecting another cell opens its file.
    grid->SetSelIndex(2);
    EXPECT_EQ(form->CurrentFile(), FC);
    EXPECT_EQ(form->FileList().ItemIndex(), 2);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("3/3"));

    // A double click on a cell leaves the thumbnail view; one on the picture area comes back.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->CellRect(0, 0).center());
    EXPECT_FALSE(ActionOf(*form, "ViewThumbnailAction")->isChecked());
    EXPECT_FALSE(grid->isVisible());
    ActionOf(*form, "ViewLastAction")->trigger(); // browsing with the grid hidden
    QTest::mouseDClick(form->View(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->SelIndex(), 2);
}

TEST_F(BrowseTest, RefreshFindsNewFilesAndKeepsTheCurrentOne) {
    WriteThree();
    auto form = NewForm();
    ActionOf(*form, "ViewThumbnailAction")->trigger();
    form->Browse().SelectAndOpen(FC);
    WriteSolid(QStringLiteral("0first.ppm"), 5, 5);
    EXPECT_EQ(form->FileList().Count(), 3);
    QTest::keyClick(form->View(), Qt::Key_F6);
    EXPECT_EQ(form->FileList().Count(), 4);
    EXPECT_EQ(form->FileList().FileName(), FC);
    EXPECT_EQ(form->FileList().ItemIndex(), 3);
    EXPECT_EQ(form->ThumbnailGrid()->ItemCount(), 4);
    EXPECT_EQ(form->ThumbnailGrid()->SelIndex(), 3);
    EXPECT_EQ(form->CurrentFile(), FC);
}

TEST_F(BrowseTest, ThePanelSitsLeftOfThePictureAndOpensWhatIsClicked) {
    WriteThree();
    auto form = NewForm();
    const QRect before = form->ViewRect();
    QTest::keyClick(form->View(), Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
    QApplication::processEvents();
    TFileListPanel* panel = form->FileListPanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_GE(panel->width(), TFileListPanel::kDefaultWidth);
    EXPECT_EQ(form->ViewRect().left(), before.left() + panel->width() + 3);
    EXPECT_EQ(form->ViewRect().right(), before.right());

    QListView* list = panel->ListBox();
    list->setCurrentIndex(list->model()->index(1, 0));
    EXPECT_EQ(form->CurrentFile(), FB);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/3"));
    // With the list focused, the arrow keys move its selection, and each move opens the file.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(form->CurrentFile(), FC);

    // Browsing moves the list's selection.
    ActionOf(*form, "ViewFirstAction")->trigger();
    EXPECT_EQ(list->currentIndex().row(), 0);

    QTest::keyClick(form->View(), Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(form->ViewRect(), before);
}

TEST_F(BrowseTest, AFilterChangeKeepsTheCurrentPictureSelectedAndItsPositionShown) {
    WriteThree();
    auto form = NewForm();
    form->Browse().SelectAndOpen(FB);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/3"));
    form->FileList().SetMask(QStringLiteral("*.txt;*.ppm"));
    EXPECT_EQ(form->FileList().Count(), 4);
    EXPECT_EQ(form->FileList().FileName(), FB);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/4"));
    EXPECT_TRUE(ActionOf(*form, "ViewPreviousAction")->isEnabled());
    form->FileList().SetMask(QStringLiteral("c*"));
    EXPECT_EQ(form->FileList().ItemIndex(), -1);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("0/1"));
    form->FileList().SetMask(QStringLiteral("*.ppm"));
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/3"));
    // Showing the panel shows the current picture selected.
    ActionOf(*form, "ViewFileListAction")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(form->FileListPanel()->ListBox()->currentIndex().row(), 1);
    EXPECT_TRUE(form->FileListPanel()->ListBox()->selectionModel()->isRowSelected(1, QModelIndex()));
    EXPECT_EQ(form->CurrentFile(), FB); // nothing was opened by any of it
}

TEST_F(BrowseTest, TheLastFourFilesAreInTheFileMenuAfterARestart) {
    QStringList paths;
    for (int i = 1; i <= 5; ++i)
        paths << WriteSolid(QStringLiteral("r%1.ppm").arg(i), 8, 8);
    const auto entries = [](TMainForm& form) {
        QStringList texts;
        auto* file = form.menuBar()->findChild<QMenu*>(QStringLiteral("FileMenu"));
        const QList<QAction*> actions = file->actions();
        for (QAction* a : actions)
            if (a->text().startsWith(QLatin1Char('&')) && a->data().isValid()) texts << a->text();
        return texts;
    };
    {
        auto form = NewForm();
        for (const QString& p : std::as_const(paths))
            form->Browse().SelectAndOpen(p);
        form->Browse().SelectAndOpen(paths[2]);
        // r3 moved to the top; r1 dropped out when the fifth file came.
        EXPECT_EQ(entries(*form), (QStringList{QStringLiteral("&1 ") + paths[2], QStringLiteral("&2 ") + paths[4],
                                               QStringLiteral("&3 ") + paths[3], QStringLiteral("&4 ") + paths[1]}));
        // The entries sit before the separator above Exit.
        auto* file = form->menuBar()->findChild<QMenu*>(QStringLiteral("FileMenu"));
        const QList<QAction*> actions = file->actions();
        ASSERT_GE(actions.size(), 3);
        EXPECT_EQ(actions.last(), ActionOf(*form, "FileExitAction"));
        EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
        EXPECT_EQ(actions[actions.size() - 3]->text(), QStringLiteral("&4 ") + paths[1]);
        form->close();
    }
    {
        TSettingsFile store;
        EXPECT_EQ(store.ReadString(QStringLiteral("MRU Items"), QStringLiteral("F0")), paths[2]);
        EXPECT_EQ(store.ReadString(QStringLiteral("MRU Items"), QStringLiteral("F3")), paths[1]);
    }
    QFile::remove(paths[4]);
    auto form = NewForm();
    ASSERT_EQ(entries(*form).size(), 4);
    // Opening the second entry moves it to the top.
    auto* file = form->menuBar()->findChild<QMenu*>(QStringLiteral("FileMenu"));
    const auto entry = [&](int position) {
        for (QAction* a : file->actions())
            if (a->text().startsWith(QStringLiteral("&%1 ").arg(position))) return a;
        return static_cast<QAction*>(nullptr);
    };
    entry(3)->trigger(); // r4
    EXPECT_EQ(form->CurrentFile(), paths[3]);
    EXPECT_EQ(entries(*form).first(), QStringLiteral("&1 ") + paths[3]);
    // A deleted file: an error, and the entry is gone.
    entry(3)->trigger(); // r5, deleted
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Invalid file name - ") + paths[4]);
    EXPECT_EQ(entries(*form), (QStringList{QStringLiteral("&1 ") + paths[3], QStringLiteral("&2 ") + paths[2],
                                           QStringLiteral("&3 ") + paths[1]}));
}

TEST_F(BrowseTest, AClickOnTheHighlightedThumbnailOpensItWhenTheListHasNoSelection) {
    WriteThree();
    auto form = NewForm();
    ActionOf(*form, "ViewThumbnailAction")->trigger();
    TThumbnailGrid* grid = form->ThumbnailGrid();
    ASSERT_EQ(form->FileList().ItemIndex(), -1);
    EXPECT_EQ(grid->SelIndex(), 0); // the grid's current cell, though nothing is selected
    EXPECT_TRUE(form->CurrentFile().isEmpty());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->CellRect(0, 0).center());
    EXPECT_EQ(form->CurrentFile(), FA);
    EXPECT_EQ(form->FileList().ItemIndex(), 0);
}
