#include "TestUtil.h"
#include "ScriptedDialogs.h"
#include "ViewerFixture.h"

#include "platform/Volumes.h"
#include "tools/BatchConvFrm.h"
#include "tools/ListHints.h"
#include "tools/NumberKeys.h"
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
#include <QTest>
#include <QToolTip>

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

TEST(BatchConvForm, FolderListAndVolumeBox) {
    QTemporaryDir dir;
    for (const char* sub : {"b", "A", "c"}) QDir(dir.path()).mkdir(QString::fromLatin1(sub));
    MakePictures(dir.filePath(QStringLiteral("A")), 2);
    TBatchConvForm form(nullptr, 0);
    form.SetFolder(dir.path());
    QStringList folders;
    for (int i = 0; i < form.lstFolders->count(); ++i) folders << form.lstFolders->item(i)->text();
    EXPECT_EQ(folders, (QStringList{QStringLiteral(".."), QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(form.lstFiles->count(), 0);
    // Entering a folder shows its pictures; ".." goes back up.
    emit form.lstFolders->itemActivated(form.lstFolders->item(1));
    EXPECT_EQ(form.txtFolder->text(), dir.filePath(QStringLiteral("A")));
    EXPECT_EQ(form.lstFiles->count(), 2);
    emit form.lstFolders->itemActivated(form.lstFolders->item(0));
    EXPECT_EQ(form.txtFolder->text(), QDir::cleanPath(dir.path()));
    form.SetFolder(QStringLiteral("/"));
    EXPECT_NE(form.lstFolders->item(0)->text(), QStringLiteral(".."));

    // The volume box lists the volumes, shows the folder's own and starts another one at its root.
    const QString home = VolumeRootOf(dir.path());
    form.SetFolder(dir.path());
    ASSERT_GE(form.cmbDrive->count(), 1);
    EXPECT_GE(form.cmbDrive->findData(QStringLiteral("/")), 0);
    EXPECT_EQ(form.cmbDrive->currentData().toString(), home);
    emit form.cmbDrive->activated(form.cmbDrive->currentIndex());
    EXPECT_EQ(form.txtFolder->text(), dir.path()); // the same volume: the folder stays
    // The root volume: unless the folder is on it, the folder becomes "/".
    emit form.cmbDrive->activated(form.cmbDrive->findData(QStringLiteral("/")));
    EXPECT_EQ(form.txtFolder->text(), home == QLatin1String("/") ? dir.path() : QStringLiteral("/"));
}

TEST(BatchConvForm, NumberEditsDropOtherKeysWithABeep) {
    TBatchConvForm form(nullptr, 0);
    auto rejectedOf = [](QLineEdit* edit) {
        auto* keys = edit->findChild<TNumberKeys*>();
        auto* spy = new QStringList;
        if (keys) QObject::connect(keys, &TNumberKeys::Rejected, edit, [spy](const QString& text) { *spy << text; });
        return std::unique_ptr<QStringList>(spy);
    };
    const auto prefix = rejectedOf(form.txtPrefixNum);
    QTest::keyClicks(form.txtPrefixNum, QStringLiteral("1a2-3 "));
    EXPECT_EQ(form.txtPrefixNum->text(), QStringLiteral("123"));
    EXPECT_EQ(*prefix, (QStringList{QStringLiteral("a"), QStringLiteral("-"), QStringLiteral(" ")}));
    QTest::keyClick(form.txtPrefixNum, Qt::Key_Backspace);
    QTest::keyClick(form.txtPrefixNum, Qt::Key_Home);
    QTest::keyClick(form.txtPrefixNum, Qt::Key_A, Qt::ControlModifier); // a shortcut, not a letter
    EXPECT_EQ(form.txtPrefixNum->text(), QStringLiteral("12"));
    EXPECT_EQ(prefix->size(), 3);
    // "&Increase by" also takes the signs.
    const auto step = rejectedOf(form.txtStep);
    QTest::keyClicks(form.txtStep, QStringLiteral("-5+x"));
    EXPECT_EQ(form.txtStep->text(), QStringLiteral("-5+"));
    EXPECT_EQ(*step, QStringList{QStringLiteral("x")});
    for (QLineEdit* edit : {form.txtSuffixNum, form.txtExtNum, form.txtFrom, form.txtTo, form.txtReplaceNum}) {
        QTest::keyClicks(edit, QStringLiteral("7+q"));
        EXPECT_EQ(edit->text(), QStringLiteral("7"));
    }
    // Text edits take anything.
    QTest::keyClicks(form.txtLeading, QStringLiteral("0a-"));
    EXPECT_EQ(form.txtLeading->text(), QStringLiteral("0a-"));
    EXPECT_TRUE(TNumberKeys::Accepts(QStringLiteral("\b"), Qt::NoModifier, QString()));
    EXPECT_FALSE(TNumberKeys::Accepts(QStringLiteral("\u0663"), Qt::NoModifier, QString())); // an Arabic-Indic three
}

TEST(BatchConvForm, PreviewFitsTheFocusedFileIntoTheBox) {
    // The scale is the larger ratio; the side that sets it fills the box, the other is rounded down.
    EXPECT_EQ(PreviewRect(QSize(3000, 2000), QSize(156, 116)), QRect(0, 6, 156, 104));
    EXPECT_EQ(PreviewRect(QSize(30, 20), QSize(160, 120)), QRect(0, 7, 160, 106));
    EXPECT_EQ(PreviewRect(QSize(10, 1000), QSize(160, 120)), QRect(79, 0, 1, 120));
    EXPECT_EQ(PreviewRect(QSize(49, 70), QSize(70, 70)), QRect(10, 0, 49, 70));
    EXPECT_EQ(PreviewRect(QSize(1, 1000000), QSize(160, 120)), QRect(80, 0, 0, 120));
    EXPECT_TRUE(PreviewRect(QSize(0, 10), QSize(160, 120)).isEmpty());

    QTemporaryDir dir;
    QImage red(300, 200, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir.filePath(QStringLiteral("a red.png"))));
    WriteFile(dir.filePath(QStringLiteral("b broken.png")), "not a picture");
    TBatchConvForm form(nullptr, 0);
    form.SetFolder(dir.path());
    ASSERT_EQ(form.lstFiles->count(), 2);
    form.lstFiles->setCurrentRow(0);
    EXPECT_TRUE(form.imgPreview->pixmap().isNull()); // not ticked
    form.chkPreview->setChecked(true);
    const QImage shown = form.imgPreview->pixmap().toImage();
    const QSize box = form.imgPreview->contentsRect().size();
    ASSERT_EQ(shown.size(), box);
    const QRect place = PreviewRect(QSize(300, 200), box);
    const QRgb face = form.palette().color(QPalette::Button).rgb();
    EXPECT_EQ(shown.pixel(place.center()), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(place.left(), place.top()), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(box.width() / 2, place.top() - 1), face);
    EXPECT_EQ(shown.pixel(box.width() / 2, place.bottom() + 1), face);
    // A file that does not load clears the preview, and so does an empty selection.
    form.lstFiles->setCurrentRow(1);
    EXPECT_TRUE(form.imgPreview->pixmap().isNull());
    form.lstFiles->setCurrentRow(0);
    EXPECT_FALSE(form.imgPreview->pixmap().isNull());
    form.lstFiles->clearSelection();
    EXPECT_TRUE(form.imgPreview->pixmap().isNull());
}

TEST(BatchConvForm, LongEntriesShowTheirFullTextAsAHint) {
    QTemporaryDir dir;
    const QString longName = QStringLiteral("a picture with a very long name that never fits into the list.png");
    ASSERT_TRUE(MakeTestImage(20, 10).save(dir.filePath(longName)));
    ASSERT_TRUE(MakeTestImage(20, 10).save(dir.filePath(QStringLiteral("b.png"))));
    TBatchConvForm form(nullptr, 0);
    form.SetFolder(dir.path());
    form.btnAddAllClick();
    form.show();
    form.lstConvert->setFixedWidth(140);
    form.lstFiles->setFixedWidth(140);
    QCoreApplication::processEvents();
    for (QListWidget* list : {form.lstFiles, form.lstConvert}) {
        SCOPED_TRACE(list == form.lstFiles ? "file list" : "convert list");
        ASSERT_EQ(list->count(), 2);
        const QPoint longEntry = list->visualItemRect(list->item(0)).center();
        const QPoint shortEntry = list->visualItemRect(list->item(1)).center();
        EXPECT_EQ(TLongEntryHints::HintAt(list, longEntry), longName);
        EXPECT_EQ(TLongEntryHints::HintAt(list, shortEntry), QString());
        EXPECT_EQ(TLongEntryHints::HintAt(list, QPoint(5, list->viewport()->height() - 2)), QString()); // no entry
        // Hovering shows the hint.
        QHelpEvent over(QEvent::ToolTip, longEntry, list->viewport()->mapToGlobal(longEntry));
        QCoreApplication::sendEvent(list->viewport(), &over);
        EXPECT_EQ(QToolTip::text(), longName);
        QHelpEvent fits(QEvent::ToolTip, shortEntry, list->viewport()->mapToGlobal(shortEntry));
        QCoreApplication::sendEvent(list->viewport(), &fits);
        EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::text().isEmpty(); }, 5000)); // the tip fades out
    }
    // A wide list shows no hint for the same entry.
    form.lstConvert->setFixedWidth(1200);
    QCoreApplication::processEvents();
    EXPECT_EQ(TLongEntryHints::HintAt(form.lstConvert, form.lstConvert->visualItemRect(form.lstConvert->item(0)).center()), QString());
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
