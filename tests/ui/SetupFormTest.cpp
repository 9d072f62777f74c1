#include "ViewerFixture.h"

#include "options/SetupFrm.h"
#include "platform/Associations.h"
#include "platform/SettingsFile.h"
#include "tools/ThumbnailWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace {

// A display of the test's own: three modes, changes recorded.
class TFakeModes : public IDisplayModes {
public:
    std::vector<TDisplayMode> List{{640, 480, 8, 0, false, 1}, {800, 600, 32, 60, false, 2}, {1024, 768, 32, 75, true, 3}};
    size_t CurrentIndex = 1;
    TDisplayChange Answer = TDisplayChange::Successful;
    std::vector<std::pair<int, bool>> Changes; // (width, persist)
    std::vector<TDisplayMode> Modes() override { return List; }
    std::optional<TDisplayMode> Current() override { return List[CurrentIndex]; }
    TDisplayChange Change(const TDisplayMode& mode, bool persist) override {
        Changes.push_back({mode.Width, persist});
        if (Answer == TDisplayChange::Successful || Answer == TDisplayChange::NotUpdated)
            for (size_t i = 0; i < List.size(); ++i)
                if (List[i].Id == mode.Id) CurrentIndex = i;
        return Answer;
    }
    TDisplayChange RestoreDefault() override { return Change(List[0], false); }
};

// The XDG folders of a test: the associations and the icons go there.
class TXdgHome {
public:
    QTemporaryDir Dir;
    QByteArray OldData = qgetenv("XDG_DATA_HOME"), OldConfig = qgetenv("XDG_CONFIG_HOME");
    TXdgHome() {
        qputenv("XDG_DATA_HOME", Dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", Dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }
    ~TXdgHome() {
        qputenv("XDG_DATA_HOME", OldData);
        qputenv("XDG_CONFIG_HOME", OldConfig);
    }
};

class SetupFormTest : public ViewerTest {
protected:
    TFakeModes* Modes = nullptr;
    std::unique_ptr<TSetupForm> NewSetup() {
        auto modes = std::make_unique<TFakeModes>();
        Modes = modes.get();
        return std::make_unique<TSetupForm>(nullptr, std::move(modes));
    }
};

} // namespace

TEST_F(SetupFormTest, TheDialogAsDesigned) {
    auto form = NewSetup();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Options"));
    EXPECT_GE(form->width(), 527);
    EXPECT_GE(form->height(), 362);
    ASSERT_EQ(form->pgcSetup->count(), 5);
    EXPECT_EQ(form->pgcSetup->tabText(0), QStringLiteral("Slide Show"));
    EXPECT_EQ(form->pgcSetup->tabText(4), QStringLiteral("Misc"));
    EXPECT_TRUE(form->btnOK->isDefault());
    EXPECT_EQ(form->trkDelay->maximum(), 20);
    EXPECT_EQ(form->trkHeight->orientation(), Qt::Vertical);
    EXPECT_EQ(form->trkBorder->maximum(), 25);
    EXPECT_EQ(form->updCol->maximum(), 32767);
    EXPECT_FALSE(form->updCol->wrapping());
    EXPECT_TRUE(form->updDxfLine->wrapping());
    EXPECT_EQ(form->chkOnTop->toolTip(), QStringLiteral("lumenor's window is on top most"));
    EXPECT_EQ(form->tvEffects->topLevelItemCount(), 10);
    // "Select All" and "Unselect All" on the first two tabs only.
    EXPECT_TRUE(form->btnSelectAll->isVisibleTo(form.get()));
    form->pgcSetup->setCurrentIndex(2);
    EXPECT_FALSE(form->btnSelectAll->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btnUnselectAll->isVisibleTo(form.get()));
    form->pgcSetup->setCurrentIndex(0);
    EXPECT_TRUE(form->btnUnselectAll->isVisibleTo(form.get()));
    form->trkDelay->setValue(7);
    EXPECT_EQ(form->labDelay->text(), QStringLiteral("7 sec"));
    // The display-mode list is filled at creation, the current mode selected.
    ASSERT_EQ(form->cmbModes->count(), 3);
    EXPECT_EQ(form->cmbModes->itemText(0), QStringLiteral("640 x 480 x 8 bit(256 colors) Noninterlaced"));
    EXPECT_EQ(form->cmbModes->itemText(2), QStringLiteral("1024 x 768 x 32 bit(True Color) Interlaced 75 HZ"));
    EXPECT_EQ(form->cmbModes->currentIndex(), 1);
}

TEST_F(SetupFormTest, TheEffectTreeAndItsMasks) {
    auto form = NewSetup();
    form->LoadEffectMasks(kAllEffects);
    for (int i = 0; i < form->tvEffects->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* category = form->tvEffects->topLevelItem(i);
        EXPECT_EQ(TSetupForm::NodeState(category), TSetupForm::csChecked);
        EXPECT_EQ(TSetupForm::NodeEffect(category), -1);
        for (int j = 0; j < category->childCount(); ++j) EXPECT_EQ(TSetupForm::NodeState(category->child(j)), TSetupForm::csChecked);
    }
    // All on gives every effect's bit and no bit above 137.
    const TEffectMasks all = form->SaveEffectMasks();
    EXPECT_EQ(all[0], 0xFFFFFFFFu);
    EXPECT_EQ(all[3], 0xFFFFFFFFu);
    EXPECT_EQ(all[4], 0x3FFu);

    QTreeWidgetItem* node = form->EffectNode(40);
    ASSERT_NE(node, nullptr);
    form->ToggleNode(node);
    EXPECT_EQ(TSetupForm::NodeState(node), TSetupForm::csUnchecked);
    EXPECT_EQ(TSetupForm::NodeState(node->parent()), TSetupForm::csPartly);
    const TEffectMasks one = form->SaveEffectMasks();
    EXPECT_EQ(one[1], 0xFFFFFFFFu & ~(1u << 8));
    EXPECT_EQ(one[4], 0x3FFu);

    // A click on a partly checked category turns it and its effects off.
    form->ToggleNode(node->parent());
    EXPECT_EQ(TSetupForm::NodeState(node->parent()), TSetupForm::csUnchecked);
    for (int j = 0; j < node->parent()->childCount(); ++j)
        EXPECT_EQ(TSetupForm::NodeState(node->parent()->child(j)), TSetupForm::csUnchecked);
    form->ToggleNode(node->parent());
    EXPECT_EQ(TSetupForm::NodeState(node->parent()), TSetupForm::csChecked);

    // Only bits above 137: every effect off, every category off.
    form->LoadEffectMasks({0, 0, 0, 0, 0xFFFFFC00u});
    for (int i = 0; i < form->tvEffects->topLevelItemCount(); ++i)
        EXPECT_EQ(TSetupForm::NodeState(form->tvEffects->topLevelItem(i)), TSetupForm::csUnchecked);
    EXPECT_EQ(form->SaveEffectMasks(), (TEffectMasks{0, 0, 0, 0, 0}));

    form->btnSelectAllClick();
    EXPECT_EQ(form->SaveEffectMasks()[4], 0x3FFu);
    form->btnUnselectAllClick();
    EXPECT_EQ(form->SaveEffectMasks()[2], 0u);
}

TEST_F(SetupFormTest, AMouseClickOnAPartlyCheckedCategoryUnchecksIt) {
    auto form = NewSetup();
    form->show();
    QApplication::processEvents();
    QTreeWidgetItem* category = form->tvEffects->topLevelItem(0);
    form->ToggleNode(category->child(0));
    ASSERT_EQ(TSetupForm::NodeState(category), TSetupForm::csPartly);
    QStyleOptionViewItem option;
    option.initFrom(form->tvEffects->viewport());
    option.rect = form->tvEffects->visualItemRect(category);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.checkState = Qt::PartiallyChecked;
    const QRect check = form->tvEffects->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option,
                                                                 form->tvEffects);
    ASSERT_FALSE(check.isEmpty());
    QTest::mouseClick(form->tvEffects->viewport(), Qt::LeftButton, {}, check.center());
    EXPECT_EQ(TSetupForm::NodeState(category), TSetupForm::csUnchecked);
    QTest::mouseClick(form->tvEffects->viewport(), Qt::LeftButton, {}, check.center());
    EXPECT_EQ(TSetupForm::NodeState(category), TSetupForm::csChecked);
    EXPECT_EQ(TSetupForm::NodeState(category->child(0)), TSetupForm::csChecked);
}

TEST_F(SetupFormTest, ThePreviewRunsUntilStoppedAndCancelStopsIt) {
    auto form = NewSetup();
    // Nothing selected: the message.
    form->btnPreviewClick();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Please select the effect to be previewed"));
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(FMessages[0].Icon, QMessageBox::Critical);

    form->tvEffects->setCurrentItem(form->tvEffects->topLevelItem(0));
    EXPECT_FALSE(form->btnPreview->isEnabled()) << "a category cannot be previewed";
    form->tvEffects->setCurrentItem(form->EffectNode(0));
    ASSERT_TRUE(form->btnPreview->isEnabled());
    std::vector<int> steps;
    QString captionWhileRunning;
    QImage lastFrame;
    form->OnPreviewStep = [&](int progress) {
        steps.push_back(progress);
        captionWhileRunning = form->btnPreview->text();
        lastFrame = form->palPreview->Image();
        if (steps.size() == 30) form->btnCancel->click(); // past one whole pass
    };
    form->btnPreviewClick();
    ASSERT_EQ(steps.size(), 30u);
    EXPECT_EQ(steps[0], 0);
    EXPECT_EQ(steps[25], 100);
    EXPECT_EQ(steps[26], 0) << "the preview starts over";
    EXPECT_EQ(captionWhileRunning, QStringLiteral("&Stop Preview"));
    EXPECT_EQ(form->btnPreview->text(), QStringLiteral("&Preview Effect"));
    EXPECT_FALSE(form->Previewing());
    EXPECT_EQ(form->result(), TSetupForm::mrCancel);
    EXPECT_TRUE(form->palPreview->Image().isNull());
    EXPECT_EQ(lastFrame.size(), QSize(100, 100));
}

TEST_F(SetupFormTest, TheFullPassEndsWithTheSamplePicture) {
    auto form = NewSetup();
    form->tvEffects->setCurrentItem(form->EffectNode(57));
    QImage at100;
    form->OnPreviewStep = [&](int progress) {
        if (progress == 100) {
            at100 = form->palPreview->Image();
            form->btnPreviewClick(); // the button stops a running preview
        }
    };
    form->btnPreviewClick();
    EXPECT_TRUE(SamePixels(at100, TSetupForm::SamplePicture()));
    EXPECT_NE(form->result(), TSetupForm::mrCancel) << "stopping the preview does not close the dialog";
}

TEST_F(SetupFormTest, ThumbnailBoxesAndSliders) {
    auto form = NewSetup();
    form->trkWidth->setValue(120);
    EXPECT_EQ(form->txtWidth->text(), QStringLiteral("120"));
    form->txtWidth->clear();
    QTest::keyClicks(form->txtWidth, QStringLiteral("2x5-0"));
    EXPECT_EQ(form->txtWidth->text(), QStringLiteral("250")) << "only digits are typed";
    EXPECT_EQ(form->trkWidth->value(), 190);
    form->trkWidth->setValue(189);
    form->trkWidth->setValue(190);
    EXPECT_EQ(form->txtWidth->text(), QStringLiteral("190"));
    form->txtHeight->clear();
    QTest::keyClicks(form->txtHeight, QStringLiteral("45"));
    EXPECT_EQ(form->trkHeight->value(), 45);
    EXPECT_EQ(form->txtHeight->text(), QStringLiteral("45"));

    // The preview cell: a silver outline around the picture and its caption, centred in a white box.
    form->trkWidth->setValue(100);
    form->trkHeight->setValue(100);
    form->trkBorder->setValue(3);
    const QImage preview = form->ThumbnailPreview();
    ASSERT_EQ(preview.size(), QSize(261, 222));
    const int textHeight = QFontMetrics(form->font()).height();
    const int left = (261 - 106) / 2, top = (222 - 106 - textHeight) / 2;
    EXPECT_EQ(preview.pixelColor(left, top), QColor(192, 192, 192));
    EXPECT_EQ(preview.pixelColor(left + 105, top + 105 + textHeight), QColor(192, 192, 192));
    EXPECT_EQ(preview.pixelColor(left + 1, top + 1), QColor(Qt::white)) << "the border";
    EXPECT_EQ(preview.pixelColor(left - 1, top), QColor(Qt::white));
    EXPECT_EQ(preview.pixelColor(50, 5), QColor(Qt::white));
    // The sample picture fills the square picture area inside the border (its sky at the top).
    EXPECT_EQ(preview.pixelColor(left + 3 + 50, top + 3 + 2), TSetupForm::SamplePicture().pixelColor(50, 2));
}

TEST_F(SetupFormTest, MiscControls) {
    auto form = NewSetup();
    TSettings s;
    s.HpglRealWidth = true;
    s.BackgroundColor = 0x123456;
    form->SetSettings(s);
    EXPECT_FALSE(form->updHpglLine->isEnabled());
    form->chkRealWidth->setChecked(false);
    EXPECT_TRUE(form->updHpglLine->isEnabled());
    FDialogs.Colors.push_back(QColor(1, 2, 3));
    QTest::mouseClick(form->palColor, Qt::LeftButton);
    FDialogs.Colors.push_back(std::nullopt); // Cancel keeps the colour
    form->palColorClick();
    TSettings out;
    form->GetSettings(out);
    EXPECT_EQ(out.BackgroundColor, 0x030201u);
    EXPECT_FALSE(out.HpglRealWidth);
    EXPECT_EQ(form->cmbPhotoSize->itemText(0), QStringLiteral("BASE/16(192x168)"));
    // The line widths wrap around.
    form->updDxfLine->setValue(10);
    form->updDxfLine->stepUp();
    EXPECT_EQ(form->updDxfLine->value(), 1);
}

TEST_F(SetupFormTest, EverySettingRoundTrips) {
    auto form = NewSetup();
    TSettings s;
    s.SlideType = 2;
    s.Interval = 13;
    s.Repeat = false;
    s.Effects = {0x0F0F0F0Fu, 0u, 0xFFFFFFFFu, 0x80000001u, 0x155u};
    s.ThumbWidth = 150;
    s.ThumbHeight = 40;
    s.ThumbBorderWidth = 9;
    s.ThumbCol = 321;
    s.ThumbShowHint = false;
    s.HideMouse = true;
    s.StayOnTop = true;
    s.BackgroundColor = 0xA0B0C0;
    s.WhiteBG = false;
    s.AutoFitVector = false;
    s.PhotoSize = 0;
    s.DxfDrawVertices = true;
    s.DxfFillSolid = true;
    s.DxfHideBlock = false;
    s.DxfLineWidth = 7;
    s.HpglRealWidth = true;
    s.HpglLineWidth = 4;
    form->SetSettings(s);
    TSettings out;
    form->GetSettings(out);
    EXPECT_EQ(out, s);
}

TEST_F(SetupFormTest, OkLastsUntilExitAndSaveDefaultIsStored) {
    {
        auto window = NewForm(400, 300);
        FDialogs.AnswerNext<TSetupForm>([](TSetupForm* f) {
            f->trkDelay->setValue(7);
            f->chkOnTop->setChecked(false);
            f->updCol->setValue(9);
            f->btnOK->click();
        });
        window->Action("ToolSetupAction")->trigger();
        EXPECT_TRUE(FDialogs.AllAnswered());
        EXPECT_EQ(window->Settings().Interval, 7);
        EXPECT_EQ(window->ThumbnailGrid()->ThumbCol(), 9) << "OK applies the edits";
        FDialogs.AnswerNext<TSetupForm>([](TSetupForm* f) {
            EXPECT_EQ(f->trkDelay->value(), 7) << "the dialog opens on the window's settings";
            f->trkDelay->setValue(3);
            f->btnCancel->click();
        });
        window->Action("ToolSetupAction")->trigger();
        EXPECT_EQ(window->Settings().Interval, 7);
    }
    {
        // A restart: the edits made with OK are gone.
        auto window = NewForm(400, 300);
        EXPECT_EQ(window->Settings().Interval, 1);
        FDialogs.AnswerNext<TSetupForm>([](TSetupForm* f) {
            f->trkDelay->setValue(12);
            f->btnUnselectAllClick();
            f->ToggleNode(f->EffectNode(3));
            f->btnSaveDefault->click();
        });
        window->Action("ToolSetupAction")->trigger();
        EXPECT_EQ(window->Settings().Interval, 12);
    }
    auto window = NewForm(400, 300);
    EXPECT_EQ(window->Settings().Interval, 12);
    EXPECT_EQ(window->Settings().Effects, (TEffectMasks{8u, 0, 0, 0, 0}));
}

TEST_F(SetupFormTest, ChangingTheDisplayMode) {
    auto form = NewSetup();
    // Cancel in the warning: nothing changes.
    form->cmbModes->setCurrentIndex(2);
    FDialogs.Answers = {QMessageBox::Cancel};
    form->btnChangeClick();
    EXPECT_TRUE(Modes->Changes.empty());
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("System Information"));
    EXPECT_TRUE(FMessages[0].Text.startsWith(QStringLiteral("Warning: This will change the current display mode dynamically.")));
    EXPECT_EQ(FMessages[0].Icon, QMessageBox::Warning);

    // OK, and the new mode is kept.
    FMessages.clear();
    form->chkRegistry->setChecked(true);
    FDialogs.Answers = {QMessageBox::Ok, QMessageBox::Yes};
    form->btnChangeClick();
    ASSERT_EQ(Modes->Changes.size(), 1u);
    EXPECT_EQ(Modes->Changes[0], std::make_pair(1024, true));
    ASSERT_EQ(FMessages.size(), 3u);
    EXPECT_EQ(FMessages[1].Buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(FMessages[2].Text, QStringLiteral("The settings change was successful"));
    EXPECT_EQ(form->cmbModes->currentIndex(), 2) << "the list is filled again";

    // Not confirmed: the old mode comes back.
    FMessages.clear();
    form->cmbModes->setCurrentIndex(0);
    FDialogs.Answers = {QMessageBox::Ok, QMessageBox::No};
    form->btnChangeClick();
    ASSERT_EQ(Modes->Changes.size(), 3u);
    EXPECT_EQ(Modes->Changes[2].first, 1024);
    EXPECT_EQ(FMessages.back().Text, QStringLiteral("The previous display mode was restored"));
    EXPECT_EQ(form->cmbModes->currentIndex(), 2);

    // A driver failure is reported as such.
    FMessages.clear();
    Modes->Answer = TDisplayChange::Failed;
    FDialogs.Answers = {QMessageBox::Ok};
    form->cmbModes->setCurrentIndex(1);
    form->btnChangeClick();
    EXPECT_EQ(FMessages.back().Text, QStringLiteral("The display driver failed the specified display mode"));

    // The default mode after its question.
    FMessages.clear();
    Modes->Answer = TDisplayChange::Successful;
    FDialogs.Answers = {QMessageBox::Ok};
    form->btnDefaultClick();
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("This will restore the default display mode in system's registry. Are you sure?"));
    EXPECT_EQ(FMessages[0].Icon, QMessageBox::Question);
    EXPECT_EQ(FMessages.size(), 1u) << "success needs no message";
    EXPECT_EQ(form->cmbModes->currentIndex(), 0);
}

TEST_F(SetupFormTest, ADisplayThatCannotChangeSaysSo) {
    TSetupForm form(nullptr, std::make_unique<TFixedDisplayModes>(TDisplayMode{1280, 800, 24, 60, false, 0}));
    ASSERT_EQ(form.cmbModes->count(), 1);
    EXPECT_EQ(form.cmbModes->currentIndex(), 0);
    FDialogs.Answers = {QMessageBox::Ok};
    form.btnChangeClick();
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_EQ(FMessages[1].Text, QStringLiteral("There are errors in setting the graphics mode"));
    EXPECT_EQ(FMessages[1].Icon, QMessageBox::Critical);
}

TEST_F(SetupFormTest, TheTypeListAssociatesCheckedRows) {
    TXdgHome home;
    {
        auto form = NewSetup();
        form->FillTypeList();
        ASSERT_TRUE(form->TypeListFilled());
        ASSERT_EQ(form->lvTypes->topLevelItemCount(), 34);
        EXPECT_EQ(form->lvTypes->headerItem()->text(2), QStringLiteral("File extensions"));
        EXPECT_TRUE(QFileInfo::exists(FileTypeIconPath(QStringLiteral("ICON"))));
        EXPECT_FALSE(form->lvTypes->topLevelItem(0)->icon(0).isNull());
        for (int i = 0; i < 34; ++i) EXPECT_EQ(form->lvTypes->topLevelItem(i)->checkState(0), Qt::Unchecked);
        form->lvTypes->topLevelItem(15)->setCheckState(0, Qt::Checked); // JPEG
        form->lvTypes->topLevelItem(29)->setCheckState(0, Qt::Checked); // TGA: AFI and VST are our own types
        form->btnAssociateClick();
        EXPECT_TRUE(FMessages.empty());
    }
    TAssociations associations;
    EXPECT_TRUE(associations.IsAssociated(QStringLiteral(".JPG")));
    EXPECT_TRUE(associations.IsAssociated(QStringLiteral(".VST")));
    EXPECT_FALSE(associations.IsAssociated(QStringLiteral(".PNG")));
    const QString entry = QString::fromUtf8(ReadFile(associations.ClassEntryPath(QStringLiteral(".JPG"))));
    EXPECT_TRUE(entry.contains(QStringLiteral("Icon=") + FileTypeIconPath(QStringLiteral("JPEG"))));
    {
        // The next dialog shows them checked; Unselect All and Associate undo them.
        auto form = NewSetup();
        form->FillTypeList();
        EXPECT_EQ(form->lvTypes->topLevelItem(15)->checkState(0), Qt::Checked);
        EXPECT_EQ(form->lvTypes->topLevelItem(29)->checkState(0), Qt::Checked);
        EXPECT_EQ(form->lvTypes->topLevelItem(16)->checkState(0), Qt::Unchecked);
        form->pgcSetup->setCurrentIndex(1);
        form->btnUnselectAllClick();
        form->btnAssociateClick();
    }
    EXPECT_FALSE(associations.IsAssociated(QStringLiteral(".JPG")));
    EXPECT_FALSE(associations.IsAssociated(QStringLiteral(".VST")));
}

TEST_F(SetupFormTest, ClosingStopsFillingTheTypeList) {
    TXdgHome home;
    auto form = NewSetup();
    form->OnTypeRowFilled = [&](int row) {
        if (row == 4) form->btnOK->click();
    };
    form->FillTypeList();
    EXPECT_EQ(form->lvTypes->topLevelItemCount(), 5);
    EXPECT_FALSE(form->TypeListFilled());
    EXPECT_EQ(form->result(), TSetupForm::mrOK);
}
