#include "TestUtil.h"
#include "ScriptedDialogs.h"

#include "codec/DibGraphic.h"
#include "tools/EnSavePictureDialog.h"
#include "tools/FormatOptionFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace {

QStringList VisiblePages(const TOptionForm& form) {
    QStringList pages;
    for (int i = 0; i < form.pgcOptions->count(); ++i)
        if (form.pgcOptions->isTabVisible(i)) pages << form.pgcOptions->tabText(i);
    return pages;
}

// Picks a filter as the user does, through the dialog's file type list.
void PickFilter(TEnSavePictureDialog& dialog, int index) {
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(combo);
    combo->setCurrentIndex(index - 1);
    emit combo->activated(index - 1);
    emit combo->textActivated(combo->currentText());
}

} // namespace

TEST(OptionForm, OnlyThePageOfTheKind) {
    const char* names[] = {"JPEG", "GIF", "PNG", "TIF", "Icon", "CIF", "AVI", "WebP", "AVIF"};
    for (quint8 kind = 1; kind <= 9; ++kind) {
        TPictureOption o = DefaultPictureOption;
        o.Kind = kind;
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Option"));
        EXPECT_EQ(VisiblePages(form), QStringList{QString::fromLatin1(names[kind - 1])});
        EXPECT_TRUE(form.btnOK->isDefault());
    }
    TPictureOption none = DefaultPictureOption;
    TOptionForm form(nullptr, none);
    EXPECT_TRUE(VisiblePages(form).isEmpty());
    form.btnOKClick();
    EXPECT_EQ(none, DefaultPictureOption);
}

TEST(OptionForm, JpegQualityEditAndTrackBar) {
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokJpeg;
    TOptionForm form(nullptr, o);
    EXPECT_EQ(form.trkQuality->value(), 80);
    EXPECT_EQ(form.txtQuality->text(), QStringLiteral("80"));
    EXPECT_EQ(form.trkQuality->tickInterval(), 5);
    EXPECT_EQ(form.chkOptimizeHuffman->toolTip(),
              QStringLiteral("this option will cause a two-pass compression and a little more compression radio"));
    form.trkQuality->setValue(33);
    EXPECT_EQ(form.txtQuality->text(), QStringLiteral("33"));
    form.txtQuality->selectAll();
    QTest::keyClicks(form.txtQuality, QStringLiteral("4x5"));
    EXPECT_EQ(form.txtQuality->text(), QStringLiteral("45")); // the letter is dropped
    EXPECT_EQ(form.trkQuality->value(), 45);
    form.txtQuality->clear();
    EXPECT_EQ(form.trkQuality->value(), 1);
    form.txtQuality->setText(QStringLiteral("62"));
    form.chkJpegProgressive->setChecked(true);
    // Cancel leaves the record alone; OK writes the page.
    form.btnCancel->click();
    EXPECT_EQ(o.JpegQuality, 80);
    form.btnOKClick();
    EXPECT_EQ(o.JpegQuality, 62);
    EXPECT_TRUE(o.JpegProgressive);
    EXPECT_FALSE(o.JpegOptimizeHuffman);
}

TEST(OptionForm, GifBitsAndAnimationBoxes) {
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokGif;
    o.GifReductionBits = 5;
    {
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.cmbGifCompression->currentText(), QStringLiteral("RLE"));
        EXPECT_EQ(form.cmbColorReduction->currentText(), QStringLiteral("Netscape 216 color palette"));
        EXPECT_FALSE(form.updBitReduction->isEnabled());
        EXPECT_EQ(form.updBitReduction->value(), 3); // not loaded for another reduction
        EXPECT_TRUE(form.chkGifTransparent->isHidden());
        EXPECT_TRUE(form.chkOptimizePalette->isHidden());
        form.cmbColorReduction->setCurrentIndex(6); // "Optimal 2^n color palette"
        EXPECT_TRUE(form.updBitReduction->isEnabled());
        form.updBitReduction->stepDown(); // 3 wraps to 8
        EXPECT_EQ(form.updBitReduction->value(), 8);
        form.cmbDitherMode->setCurrentIndex(3);
        form.chkGifTransparent->setChecked(false); // hidden: not written
        form.btnOKClick();
    }
    EXPECT_EQ(o.GifColorReduction, 7);
    EXPECT_EQ(o.GifReductionBits, 8);
    EXPECT_EQ(o.GifDitherMode, 3);
    EXPECT_TRUE(o.GifTransparent);
    o.GifAnimated = true;
    o.GifColorReduction = 2;
    TOptionForm form(nullptr, o);
    EXPECT_FALSE(form.chkGifTransparent->isHidden());
    form.chkGifTransparent->setChecked(false);
    form.updBitReduction->setValue(4); // disabled: not written
    form.btnOKClick();
    EXPECT_FALSE(o.GifTransparent);
    EXPECT_EQ(o.GifReductionBits, 8);
}

TEST(OptionForm, PngGammaCompressionAndColours) {
    TScriptedDialogs dialogs;
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokPng;
    o.PngBackgroundColor = 0x00102030; // flag off: not shown
    TOptionForm form(nullptr, o);
    EXPECT_EQ(form.cmbPngCompression->currentText(), QStringLiteral("Medium"));
    EXPECT_EQ(form.trkGamma->value(), 50);
    EXPECT_EQ(form.txtGamma->text(), QStringLiteral("0.5"));
    form.trkGamma->setValue(225);
    EXPECT_EQ(form.txtGamma->text(), QStringLiteral("2.25"));
    form.txtGamma->setText(QStringLiteral("1.234"));
    EXPECT_EQ(form.trkGamma->value(), 123);
    form.txtGamma->setText(QStringLiteral("abc"));
    EXPECT_EQ(form.trkGamma->value(), 20);
    EXPECT_FALSE(form.palTransparent->isEnabled());
    EXPECT_NE(TOptionForm::SwatchColor(form.palBackground), QColor(0x10, 0x20, 0x30));
    form.chkPngTransparent->setChecked(true);
    EXPECT_TRUE(form.palTransparent->isEnabled());
    dialogs.Colors = {QColor(0xAB, 0xCD, 0xEF), std::nullopt};
    form.palTransparent->click();
    EXPECT_EQ(TOptionForm::SwatchColor(form.palTransparent), QColor(0xAB, 0xCD, 0xEF));
    form.palTransparent->click(); // cancelled: unchanged
    EXPECT_TRUE(dialogs.Colors.empty());
    form.cmbPngCompression->setCurrentIndex(0); // "High"
    form.btnOKClick();
    EXPECT_DOUBLE_EQ(o.PngGamma, 0.2);
    EXPECT_EQ(o.PngCompression, 2);
    EXPECT_TRUE(o.PngTransparent);
    EXPECT_EQ(o.PngTransparentColor, 0x00ABCDEFu);
    EXPECT_FALSE(o.PngBackground);
    EXPECT_EQ(o.PngBackgroundColor, 0x00102030u);
    o.PngBackground = true;
    TOptionForm again(nullptr, o);
    EXPECT_EQ(TOptionForm::SwatchColor(again.palBackground), QColor(0x10, 0x20, 0x30));
}

TEST(OptionForm, TiffIconAndAvi) {
    TScriptedDialogs dialogs;
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokTiff;
    {
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.cmbTiffCompression->count(), 7);
        form.cmbTiffCompression->setCurrentIndex(5);
        form.btnOKClick();
    }
    EXPECT_EQ(o.TiffCompression, 5);
    o.Kind = pokIco;
    {
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.rdgRenderMethod->title(), QStringLiteral("Render method"));
        EXPECT_TRUE(form.rbCrop->isChecked());
        form.rbCenter->setChecked(true);
        form.btnOKClick();
    }
    EXPECT_EQ(o.IcoRenderMethod, 2);
    o.Kind = pokAvi;
    TOptionForm form(nullptr, o);
    EXPECT_TRUE(dialogs.Messages.empty());
    form.chkCompress->setChecked(true);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Icon, QMessageBox::Information);
    EXPECT_EQ(dialogs.Messages[0].Caption, QStringLiteral("System Info"));
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("You will be prompt to select the compress options during the save process"));
    form.chkCompress->setChecked(false);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
    form.chkCompress->setChecked(true);
    form.btnOKClick();
    EXPECT_TRUE(o.AviCompress);
}

TEST(OptionForm, CifPasswordConfirmation) {
    TScriptedDialogs dialogs;
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokCif;
    o.CifPassword = QStringLiteral("old");
    TOptionForm form(nullptr, o);
    auto errors = [&] {
        QStringList shown;
        for (const TShownMessage& m : dialogs.Messages)
            shown << QStringLiteral("%1:%2:%3").arg(int(m.Icon)).arg(m.Caption, m.Text);
        return shown;
    };
    EXPECT_EQ(form.txtPassword->text(), QStringLiteral("old"));
    EXPECT_EQ(form.txtConfirm->text(), QStringLiteral("old"));
    EXPECT_EQ(form.txtPassword->echoMode(), QLineEdit::Password);
    form.chkMaskPassword->setChecked(false);
    EXPECT_EQ(form.txtPassword->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(form.txtConfirm->echoMode(), QLineEdit::Normal);
    form.txtPassword->setText(QStringLiteral("Secret"));
    form.txtConfirm->setText(QStringLiteral("SECRET"));
    form.chkCaseSensitive->setChecked(true);
    form.btnOKClick(); // differ in case, case-sensitive: refused, the dialog stays
    EXPECT_EQ(errors(), QStringList{QStringLiteral("%1:Error:Password doesn't match confirm entry").arg(int(QMessageBox::Critical))});
    EXPECT_EQ(form.result(), 0);
    EXPECT_EQ(o.CifPassword, QStringLiteral("old"));
    form.chkCaseSensitive->setChecked(false);
    form.cmbAlgorithm->setCurrentIndex(3);
    form.btnOKClick();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(form.result(), int(QDialog::Accepted));
    EXPECT_EQ(o.CifPassword, QStringLiteral("Secret"));
    EXPECT_EQ(o.CifAlgorithm, 7);
    EXPECT_FALSE(o.CifMaskPassword);
    EXPECT_FALSE(o.CifCaseSensitive);
}

TEST(EnSavePictureDialog, OptionButtonAndFilters) {
    TEnSavePictureDialog dialog;
    ASSERT_TRUE(dialog.btnOption);
    EXPECT_EQ(dialog.btnOption->text(), QStringLiteral("&Option"));
    EXPECT_EQ(dialog.btnOption->toolTip(), QStringLiteral("Set the options for image types"));
    EXPECT_TRUE(dialog.OptionEnabled());
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    int clicks = 0;
    dialog.OnOptionClick = [&](TEnSavePictureDialog*) { ++clicks; };
    dialog.btnOption->click();
    EXPECT_EQ(clicks, 1);
    dialog.SetOptionEnabled(false);
    EXPECT_FALSE(dialog.btnOption->isEnabled());

    dialog.SetFilter(QStringLiteral("JPEG images(*.JPG)|*.JPG|Two (*.A;*.B)|*.A;*.B|Plain|*.P"));
    EXPECT_EQ(dialog.nameFilters(), QStringList({"JPEG images(*.JPG)", "Two (*.A;*.B) (*.A *.B)", "Plain (*.P)"}));
    EXPECT_EQ(dialog.FilterIndex(), 1);
    int changes = 0;
    dialog.OnTypeChange = [&](TEnSavePictureDialog* d) { changes += d->FilterIndex(); };
    PickFilter(dialog, 3);
    EXPECT_EQ(dialog.FilterIndex(), 3);
    EXPECT_EQ(changes, 3);
}

// The save command's dialog: the type change moves the default extension and enables "&Option" for the
// formats with options; "&Option" sets Kind (and GifAnimated) before the options dialog.
TEST(EnSavePictureDialog, PreparedForTheSaveCommands) {
    QTemporaryDir dir;
    TScriptedDialogs dialogs;
    TPictureOption options = DefaultPictureOption;
    TEnSavePictureDialog dialog;
    QList<quint8> kinds;
    // Each options dialog shows the page of the Kind set, and the animation boxes for animated GIFs.
    dialogs.OnExec = [&](QDialog& d) {
        auto* form = qobject_cast<TOptionForm*>(&d);
        EXPECT_TRUE(form);
        if (form) kinds << quint8(options.Kind | (form->chkGifTransparent->isHidden() ? 0 : 0x80));
        return int(QDialog::Rejected);
    };
    dialog.PrepareForSave(0, TSaveSource::ssStill, dir.filePath("photo.png"), &options);
    EXPECT_EQ(dialog.nameFilters().size(), 15);
    EXPECT_EQ(dialog.nameFilters().first(), QStringLiteral("JPEG images(*.JPG)"));
    EXPECT_EQ(dialog.DefaultExt(), QStringLiteral("JPG"));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text(), QStringLiteral("photo"));
    EXPECT_EQ(dialog.FileName(), dir.filePath("photo.JPG")); // the default extension is added
    EXPECT_TRUE(dialog.OptionEnabled());
    PickFilter(dialog, 8);
    EXPECT_EQ(dialog.DefaultExt(), QStringLiteral("WBMP"));
    EXPECT_FALSE(dialog.OptionEnabled());
    PickFilter(dialog, 3);
    EXPECT_EQ(dialog.DefaultExt(), QStringLiteral("PNG"));
    ASSERT_TRUE(dialog.OptionEnabled());
    dialog.btnOption->click();
    EXPECT_EQ(kinds, QList<quint8>{pokPng});
    EXPECT_FALSE(options.GifAnimated);

    TEnSavePictureDialog animated;
    animated.PrepareForSave(1, TSaveSource::ssAnimatedCursor, QString(), &options);
    EXPECT_EQ(animated.nameFilters(), QStringList({"CompuServe (87a, 89a)(*.GIF)", "Audio/Video Interleave Files(*.AVI)"}));
    EXPECT_EQ(animated.DefaultExt(), QStringLiteral("GIF"));
    animated.btnOption->click();
    PickFilter(animated, 2);
    EXPECT_EQ(animated.DefaultExt(), QStringLiteral("AVI"));
    EXPECT_TRUE(animated.OptionEnabled());
    animated.btnOption->click();
    EXPECT_EQ(kinds, (QList<quint8>{pokPng, quint8(pokGif | 0x80), pokAvi}));
}

// The whole flow without a modal loop: options for PNG, a name confirmed, the file written with them; the
// same record under a .jpg name does not apply them.
TEST(EnSavePictureDialog, SavesWithTheOptionsChosen) {
    QTemporaryDir dir;
    TScriptedDialogs dialogs;
    TPictureOption options = DefaultPictureOption;
    TImageGraphic picture(MakeTestImage(20, 10));
    for (const char* name : {"out.png", "out.jpg"}) {
        TEnSavePictureDialog dialog;
        dialog.setDirectory(dir.path());
        dialog.PrepareForSave(0, TSaveSource::ssStill, QString(), &options);
        dialogs.AnswerNext<TEnSavePictureDialog>([&](TEnSavePictureDialog* d) {
            PickFilter(*d, 3);
            dialogs.AnswerNext<TOptionForm>([](TOptionForm* form) {
                form->trkGamma->setValue(125);
                form->btnOKClick();
            });
            d->btnOption->click();
            d->SetFileName(dir.filePath(QString::fromLatin1(name)));
            auto* box = d->findChild<QDialogButtonBox*>();
            ASSERT_TRUE(box && box->button(QDialogButtonBox::Save));
            box->button(QDialogButtonBox::Save)->click();
        });
        ASSERT_TRUE(dialog.Execute());
        EXPECT_TRUE(dialogs.AllAnswered());
        const TSaveResult r = SavePictureAs(&picture, dialog.FileName(), options, 0, 0xFFFFFF, QString());
        EXPECT_TRUE(r.Saved) << r.Detail.toStdString();
    }
    EXPECT_DOUBLE_EQ(options.PngGamma, 1.25);
    EXPECT_TRUE(ReadFile(dir.filePath("out.png")).contains("gAMA"));
    EXPECT_FALSE(ReadFile(dir.filePath("out.jpg")).isEmpty());
    EXPECT_EQ(options.Kind, pokPng);
}

// The WebP and AVIF pages: quality edit and track bar in step, lossless; the record changes on OK only.
TEST(OptionForm, WebPAndAvifPages) {
    TPictureOption o = DefaultPictureOption;
    o.Kind = pokWebP;
    {
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.updWebPQuality->value(), 75);
        EXPECT_EQ(form.trkWebPQuality->value(), 75);
        EXPECT_FALSE(form.chkWebPLossless->isChecked());
        form.trkWebPQuality->setValue(30);
        EXPECT_EQ(form.updWebPQuality->value(), 30);
        form.updWebPQuality->setValue(42);
        EXPECT_EQ(form.trkWebPQuality->value(), 42);
        form.chkWebPLossless->setChecked(true);
        EXPECT_EQ(o.WebPQuality, 75); // not before OK
        form.btnOKClick();
    }
    EXPECT_EQ(o.WebPQuality, 42);
    EXPECT_TRUE(o.WebPLossless);
    o.Kind = pokAvif;
    {
        TOptionForm form(nullptr, o);
        EXPECT_EQ(form.updAvifQuality->value(), 75);
        form.trkAvifQuality->setValue(55);
        form.reject();
    }
    EXPECT_EQ(o.AvifQuality, 75);
    {
        TOptionForm form(nullptr, o);
        form.updAvifQuality->setValue(55);
        form.btnOKClick();
    }
    EXPECT_EQ(o.AvifQuality, 55);
    EXPECT_EQ(o.WebPQuality, 42); // another page's fields are left alone
}

// The save dialog offers WebP with its options: the file is written lossless as chosen.
TEST(EnSavePictureDialog, SavesAWebPWithItsOptions) {
    QTemporaryDir dir;
    TScriptedDialogs dialogs;
    TPictureOption options = DefaultPictureOption;
    const QImage picture = MakeTestImage(20, 10);
    TImageGraphic graphic(picture);
    TEnSavePictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.PrepareForSave(0, TSaveSource::ssStill, QString(), &options);
    dialogs.AnswerNext<TEnSavePictureDialog>([&](TEnSavePictureDialog* d) {
        PickFilter(*d, 14);
        EXPECT_EQ(d->DefaultExt(), QStringLiteral("WEBP"));
        EXPECT_TRUE(d->OptionEnabled());
        dialogs.AnswerNext<TOptionForm>([](TOptionForm* form) {
            EXPECT_FALSE(form->chkWebPLossless->isHidden());
            form->chkWebPLossless->setChecked(true);
            form->btnOKClick();
        });
        d->btnOption->click();
        d->SetFileName(dir.filePath("out"));
        auto* box = d->findChild<QDialogButtonBox*>();
        ASSERT_TRUE(box && box->button(QDialogButtonBox::Save));
        box->button(QDialogButtonBox::Save)->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_TRUE(dialogs.AllAnswered());
    EXPECT_EQ(dialog.FileName(), dir.filePath("out.WEBP"));
    EXPECT_EQ(options.Kind, pokWebP);
    const TSaveResult r = SavePictureAs(&graphic, dialog.FileName(), options, 0, 0xFFFFFF, QString());
    ASSERT_TRUE(r.Saved) << r.Detail.toStdString();
    EXPECT_TRUE(ReadFile(dialog.FileName()).contains("VP8L"));
    const QString png = dir.filePath("back.png");
    ASSERT_TRUE(RunTool("/usr/bin/dwebp", {dialog.FileName(), "-o", png}));
    EXPECT_TRUE(SamePixels(QImage(png), picture.convertToFormat(QImage::Format_RGB32)));
}

TEST(VideoCompressorForm, ChoosesAmongThisMachinesCompressors) {
    TVideoCompressorForm form(nullptr, QSize(64, 48), {QStringLiteral("ffv1"), 60, 4});
    EXPECT_EQ(form.cmbCompressor->itemText(0), QStringLiteral("Uncompressed"));
    EXPECT_EQ(form.cmbCompressor->currentData().toString(), QStringLiteral("ffv1"));
    EXPECT_EQ(form.trkQuality->value(), 60);
    EXPECT_EQ(form.updKeyFrames->value(), 4);
    form.cmbCompressor->setCurrentIndex(0);
    EXPECT_FALSE(form.trkQuality->isEnabled());
    form.cmbCompressor->setCurrentIndex(form.cmbCompressor->findData(QStringLiteral("mjpeg")));
    EXPECT_TRUE(form.trkQuality->isEnabled());
    const TVideoCompression c = form.Choice();
    EXPECT_EQ(c.Encoder, QStringLiteral("mjpeg"));
    EXPECT_EQ(c.KeyFrameEvery, 4);

    // Through the dialogs interface: a cancel keeps the choice, OK takes the dialog's.
    TScriptedDialogs dialogs;
    TVideoCompression choice;
    EXPECT_FALSE(TVideoCompressorForm::Execute(nullptr, QSize(64, 48), choice));
    EXPECT_EQ(choice.Encoder, QString());
    dialogs.AnswerNext<TVideoCompressorForm>([](TVideoCompressorForm* f) {
        f->cmbCompressor->setCurrentIndex(f->cmbCompressor->findData(QStringLiteral("ffv1")));
        f->updKeyFrames->setValue(12);
        f->btnOK->click();
    });
    ASSERT_TRUE(TVideoCompressorForm::Execute(nullptr, QSize(64, 48), choice));
    EXPECT_EQ(choice.Encoder, QStringLiteral("ffv1"));
    EXPECT_EQ(choice.KeyFrameEvery, 12);
}
