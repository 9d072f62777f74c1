#include "TestUtil.h"
#include "ScriptedDialogs.h"
#include "ViewerFixture.h"

#include "tools/BatchConvFrm.h"
#include "tools/PageColorFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

QStringList MakePictures(const QString& dir, int count) {
    QDir().mkpath(dir);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(dir).filePath(QStringLiteral("p%1.png").arg(i));
        EXPECT_TRUE(MakeTestImage(30 + i, 20 + i).save(path));
        files << path;
    }
    return files;
}

} // namespace

TEST(BatchConvForm, BatchAndAlbumLayouts) {
    TBatchConvForm batch(nullptr, 0);
    EXPECT_EQ(batch.windowTitle(), QStringLiteral("Batch convert/rename"));
    EXPECT_EQ(batch.btnStart->text(), QStringLiteral("&Start Convert"));
    batch.cmbAction->setCurrentIndex(2);
    EXPECT_EQ(batch.btnStart->text(), QStringLiteral("&Start Convert && Rename"));
    EXPECT_EQ(batch.cmbTargetType->count(), 13);
    EXPECT_TRUE(batch.rbSame->isChecked());
    EXPECT_FALSE(batch.txtOutput->isEnabled());
    EXPECT_EQ(batch.txtOutput->text(), QDir::currentPath());
    batch.cmbTargetType->setCurrentIndex(6); // BMP: no options in the record
    EXPECT_FALSE(batch.btnOption->isEnabled());
    batch.cmbTargetType->setCurrentIndex(2);
    EXPECT_TRUE(batch.btnOption->isEnabled());

    TBatchConvForm album(nullptr, 1);
    EXPECT_EQ(album.windowTitle(), QStringLiteral("HTML Album Generator"));
    EXPECT_EQ(album.btnStart->text(), QStringLiteral("&Start Making Album"));
    EXPECT_EQ(album.lblList->text(), QStringLiteral("Image File List:"));
    EXPECT_EQ(album.lblOutput->text(), QStringLiteral("&Output directory for images and homepages:"));
    EXPECT_TRUE(album.txtOutput->isEnabled());
    EXPECT_EQ(album.cmbTargetType->count(), 2);
    EXPECT_TRUE(album.grpThumb->isAncestorOf(album.cmbTargetType));
    EXPECT_TRUE(album.grpAction->isHidden());
    const TAlbumOptions o = album.AlbumOptions();
    EXPECT_EQ(o.Box, QSize(128, 96));
    EXPECT_EQ(o.Columns, 5);
    EXPECT_EQ(o.Rows, 4);
    EXPECT_EQ(o.BaseName, QStringLiteral("Page"));
    EXPECT_TRUE(o.CopySource);
    album.cmbLabel->setEditText(QStringLiteral("Holiday"));
    EXPECT_EQ(album.AlbumOptions().Label, TAlbumLabel::alText);
    EXPECT_EQ(album.AlbumOptions().LabelText, QStringLiteral("Holiday"));
}

TEST(BatchConvForm, DuplicatesAreAskedForOnce) {
    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 3);
    TBatchConvForm form(nullptr, 0);
    form.SetFolder(dir.path());
    EXPECT_EQ(form.lstFiles->count(), 3);
    form.btnAddAllClick();
    EXPECT_EQ(form.List(), files);
    EXPECT_EQ(form.lblTotal->text(), QStringLiteral("Total: 3"));
    dialogs.Answers = {QMessageBox::YesToAll};
    form.btnAddAllClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("File '") + files[0] + QStringLiteral("' has already been in the list, skip it?"));
    EXPECT_EQ(form.List().size(), 3);
    form.lstConvert->item(1)->setSelected(true);
    form.btnRemoveClick();
    EXPECT_EQ(form.List(), (QStringList{files[0], files[2]}));
    EXPECT_EQ(form.lstConvert->item(1)->text(), QStringLiteral("p2.png"));
}

TEST(BatchConvForm, ConvertIntoANewFolderAndReport) {
    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 4);
    const QString broken = dir.filePath(QStringLiteral("in/broken.png"));
    WriteFile(broken, "no picture");
    files.insert(1, broken);
    TBatchConvForm form(nullptr, 0);
    form.AddFiles(files);
    form.cmbTargetType->setCurrentIndex(6); // BMP
    form.rbFollowing->setChecked(true);
    const QString out = dir.filePath(QStringLiteral("out/deep"));
    form.txtOutput->setText(out);
    dialogs.Answers = {QMessageBox::Yes};
    form.btnStartClick();
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("The specified directory does not exist. Create it?"));
    EXPECT_EQ(dialogs.Messages[1].Caption, QStringLiteral("System Information"));
    EXPECT_TRUE(dialogs.Messages[1].Text.startsWith(QStringLiteral("There are errors in Convert process:\nError in converting file '") + broken +
                                                    QStringLiteral("': ")))
        << dialogs.Messages[1].Text.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{QStringLiteral("p0.BMP"), QStringLiteral("p1.BMP"), QStringLiteral("p2.BMP"), QStringLiteral("p3.BMP")}));
    EXPECT_EQ(form.prgBar->value(), 0);
    EXPECT_EQ(form.btnStart->text(), QStringLiteral("&Start Convert"));

    // Again: every target exists; "&No" keeps one, "Yes to &All" writes the rest without asking.
    dialogs.Messages.clear();
    dialogs.Answers = {QMessageBox::No, QMessageBox::YesToAll};
    form.lstConvert->item(1)->setSelected(true);
    form.btnRemoveClick();
    form.btnStartClick();
    ASSERT_EQ(dialogs.Messages.size(), 3u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("File 'p0.BMP' is existing, overwrite it?"));
    EXPECT_EQ(dialogs.Messages[0].Buttons,
              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::NoToAll | QMessageBox::YesToAll);
    EXPECT_EQ(dialogs.Messages[2].Text, QStringLiteral("Convert finished successfully"));
    EXPECT_EQ(form.LastResult().Skipped, QStringList{out + QStringLiteral("/p0.BMP")});
}

TEST(BatchConvForm, StopEndsTheRunAfterTheFilesInProgress) {
    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.path(), 40);
    TBatchConvForm form(nullptr, 0);
    form.AddFiles(files);
    form.cmbTargetType->setCurrentIndex(2); // PNG
    form.cmbAction->setCurrentIndex(2);
    form.txtSuffix->setText(QStringLiteral("_x"));
    QStringList captions;
    form.OnProgress = [&](int done, int) {
        captions << form.btnStart->text();
        if (done == 1) form.btnStartClick();
    };
    form.btnStartClick();
    EXPECT_EQ(captions.value(0), QStringLiteral("&Stop Convert && Rename"));
    EXPECT_TRUE(form.LastResult().Stopped);
    const int done = form.LastResult().Processed;
    EXPECT_LT(done, 40);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*_x.PNG")}).size(), done);
    ASSERT_FALSE(dialogs.Messages.empty());
    EXPECT_TRUE(dialogs.Messages.back().Text.endsWith(QStringLiteral("(Stopped after %1 of 40 files)").arg(done)));
}

TEST(BatchConvForm, AlbumRunWithColours) {
    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QStringList files = MakePictures(dir.filePath(QStringLiteral("in")), 3);
    TBatchConvForm form(nullptr, 1);
    form.AddFiles(files);
    form.txtOutput->setText(dir.filePath(QStringLiteral("album")));
    form.txtTitle->setText(QStringLiteral("Trip"));
    // The colour form: a red text colour, accepted.
    dialogs.Colors = {QColor(255, 0, 0)};
    dialogs.AnswerNext<TPageColorForm>([](TPageColorForm* colours) {
        EXPECT_EQ(colours->windowTitle(), QStringLiteral("Page color scheme"));
        EXPECT_EQ(colours->Edits[1]->text(), QStringLiteral("#990000"));
        colours->Swatches[1]->click();
        EXPECT_EQ(colours->Edits[1]->text(), QStringLiteral("#FF0000"));
        colours->btnOK->click();
    });
    form.btnColorsClick();
    EXPECT_EQ(form.PageColors()[pcText], TColor(0x0000FF));
    // Cancel discards what was chosen.
    dialogs.Colors = {QColor(0, 0, 255)};
    dialogs.AnswerNext<TPageColorForm>([](TPageColorForm* colours) {
        colours->Swatches[0]->click();
        colours->btnCancel->click();
    });
    form.btnColorsClick();
    EXPECT_EQ(form.PageColors()[pcBackground], TColor(0xFFFFFF));

    dialogs.Answers = {QMessageBox::Yes};
    form.btnStartClick();
    EXPECT_EQ(dialogs.Messages.back().Text, QStringLiteral("Making Album finished successfully"));
    const QString page = QString::fromUtf8(ReadFile(dir.filePath(QStringLiteral("album/Page_001.htm"))));
    EXPECT_TRUE(page.contains(QStringLiteral("text=\"#FF0000\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("<h1 align=\"center\">Trip</h1>")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("album/TN_p2.JPG"))));
}

class BatchWindowTest : public ViewerTest {};

TEST_F(BatchWindowTest, TheToolsOpenTheDialogWithTheirTag) {
    auto form = NewForm();
    QList<int> tags;
    FDialogs.AnswerNext<TBatchConvForm>([&](TBatchConvForm* d) { tags << d->Tag(); });
    FDialogs.AnswerNext<TBatchConvForm>([&](TBatchConvForm* d) {
        tags << d->Tag();
        EXPECT_EQ(d->txtOutput->text(), QDir::currentPath());
    });
    ASSERT_TRUE(ActionOf(*form, "ToolBatchConvAction")->isEnabled());
    ActionOf(*form, "ToolBatchConvAction")->trigger();
    ActionOf(*form, "ToolHTMLAction")->trigger();
    EXPECT_EQ(tags, (QList<int>{0, 1}));
    EXPECT_TRUE(FDialogs.AllAnswered());
}
