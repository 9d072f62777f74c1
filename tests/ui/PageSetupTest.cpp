#include "ScriptedDialogs.h"
#include "TestUtil.h"

#include "codec/DibGraphic.h"
#include "tools/DashedBox.h"
#include "tools/PageSetupFrm.h"
#include "tools/StretchLabel.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <memory>

namespace {

// An 8 x 10 inch page at 100 DPI, all printable: 800 x 1000 printer pixels. The preview's panel
// (220 x 280 by design) keeps its width and becomes nearest(220 / 0.8) = 275 high: 0.275 panel pixels
// per printer pixel.
struct TPrinter {
    QBuffer Buffer;
    QPdfWriter Writer{&Buffer};
    TPrinter() {
        Writer.setResolution(100);
        Writer.setPageLayout(QPageLayout(QPageSize(QSizeF(8, 10), QPageSize::Inch), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
    }
};

// A device that reports a page without width: the preview must not divide by it.
class TNoPage : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
        case PdmWidthMM:
            return 0;
        case PdmHeight:
            return 1000;
        case PdmHeightMM:
            return 254;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 100;
        case PdmDepth:
            return 24;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }
};

struct TFormFixture : ::testing::Test {
    TPrinter Printer;
    TImageGraphic Picture{QImage(400, 200, QImage::Format_RGB32)};
    TPageOption Option;
    std::unique_ptr<TPageSetupForm> Form;

    TFormFixture() { Picture.Image(); }
    void Open(double zoom = 1) {
        const QSize zoomed = ZoomedSize(QSize(Picture.Width(), Picture.Height()), zoom);
        Form = std::make_unique<TPageSetupForm>(nullptr, 0xFFFFFF, Option, Printer.Writer, nullptr, zoomed,
                                                &Picture);
    }
    // Replaces an edit's text as typing would.
    static void Type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
};

using PageSetupForm = TFormFixture;

} // namespace

TEST_F(PageSetupForm, ShowsTheOptionsAndThePageScaledToThePanel) {
    Option.MarginLeft = 0.5f;
    Option.Position = 4;
    Option.StitchSide = 1;
    Option.HeaderText = QStringLiteral("Head & shoulders");
    Option.HeaderAlign = 2;
    Option.HeaderFont = QFont(QStringLiteral("DejaVu Serif"), 12);
    Open();
    TPageSetupForm& f = *Form;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Page Setup"));
    EXPECT_EQ(f.cmbUnits->currentText(), QStringLiteral("Inches"));
    EXPECT_EQ(f.lblWidthUnit->text(), QStringLiteral("inches"));
    EXPECT_EQ(f.grbMargins->title(), QStringLiteral("Margins (Inches)"));
    EXPECT_TRUE(f.rbOriginalSize->isChecked());
    // The picture's size on the 96-DPI screen, in inches, in the shortest form.
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("4.1666665"));
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("2.0833333"));
    EXPECT_FALSE(f.txtWidth->isEnabled());
    EXPECT_FALSE(f.updHeight->isEnabled());
    EXPECT_FALSE(f.chkAspect->isEnabled());
    EXPECT_EQ(f.txtLeft->text(), QStringLiteral("0.5"));
    EXPECT_EQ(f.txtTop->text(), QStringLiteral("0"));
    EXPECT_TRUE(f.rbStitchTop->isChecked());
    EXPECT_EQ(f.cmbPosition->currentText(), QStringLiteral("Center"));
    EXPECT_EQ(f.cmbHeaderAlign->currentText(), QStringLiteral("Right"));
    EXPECT_EQ(f.lblHeaderFont->text(), QStringLiteral("Font: DejaVu Serif(12pt)"));
    EXPECT_FLOAT_EQ(f.Aspect(), 2.0f);

    EXPECT_EQ(f.palPage->size(), QSize(220, 275));
    EXPECT_FLOAT_EQ(f.PreviewScale(), 0.275f);
    const TPageInfo& layout = f.Layout();
    EXPECT_EQ(layout.MarginRect, (TPageRect{50, 0, 800, 1000}));
    // Screen size at 100 / 96: 417 x 208, centred below the header.
    EXPECT_EQ(layout.ImageWidth, 417);
    EXPECT_EQ(layout.ImageHeight, 208);
    EXPECT_EQ(f.boxMargins->geometry(), QRect(14, 0, 206, 275)); // 13.75 -> 14
    const auto s = [](int v) { return NearestPixel(v * 0.275); };
    EXPECT_EQ(f.imgPicture->geometry(), QRect(s(layout.ImageLeft), s(layout.ImageTop), 115, 57));
    EXPECT_TRUE(f.imgPicture->isVisibleTo(&f));
    EXPECT_EQ(f.lblHeaderPreview->Text(), QStringLiteral("Head & shoulders"));
    EXPECT_EQ(f.lblHeaderPreview->geometry(), QRect(s(layout.Header.Left), s(layout.Header.Top),
                                                    s(layout.Header.Width), s(layout.Header.Height)));
    EXPECT_EQ(f.lblHeaderPreview->font().family(), QStringLiteral("DejaVu Serif"));
    EXPECT_FALSE(f.lblFooterPreview->isVisibleTo(&f));

    // A footer sits one pixel higher than its scaled top.
    Type(f.txtFooter, QStringLiteral("Foot"));
    EXPECT_EQ(f.PageOption().FooterText, QStringLiteral("Foot"));
    const TTextInfo& foot = f.Layout().Footer;
    EXPECT_EQ(f.lblFooterPreview->geometry(),
              QRect(s(foot.Left), s(foot.Top) - 1, s(foot.Width), s(foot.Height)));
    // Clearing the header clears its label.
    f.txtHeader->clear();
    EXPECT_TRUE(f.lblHeaderPreview->Text().isEmpty());
    EXPECT_EQ(f.Layout().ContentRect.Top, 0);

    // Every control that changes the layout recomputes it.
    f.rbStretch->click();
    EXPECT_EQ(f.PageOption().SizeMode, TPageOption::smStretch);
    EXPECT_EQ(f.Layout().ImageWidth, 750);
    f.rbStitchLeft->click();
    Type(f.txtStitchMargin, QStringLiteral("1"));
    EXPECT_EQ(f.Layout().MarginRect.Left, 150);
    f.cmbPosition->setCurrentIndex(0);
    EXPECT_EQ(f.PageOption().Position, 0);
}

TEST_F(PageSetupForm, UnitsRoundTripThroughMillimetres) {
    Option.SizeMode = TPageOption::smSpecified;
    Option.SpecWidth = 2;
    Option.SpecHeight = 1;
    Option.MarginTop = 1;
    Option.MarginRight = 0.5f;
    Option.StitchMargin = 0.25f;
    Open();
    TPageSetupForm& f = *Form;
    const TPageInfo before = f.Layout();
    f.cmbUnits->setCurrentIndex(TPageSetupForm::unMillimetres);
    EXPECT_EQ(f.Unit(), TPageSetupForm::unMillimetres);
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("50.8"));
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("25.4"));
    EXPECT_EQ(f.txtTop->text(), QStringLiteral("25.4"));
    EXPECT_EQ(f.txtRight->text(), QStringLiteral("12.7"));
    EXPECT_EQ(f.txtStitchMargin->text(), QStringLiteral("6.35"));
    EXPECT_EQ(f.txtLeft->text(), QStringLiteral("0"));
    for (QLabel* l : {f.lblWidthUnit, f.lblHeightUnit, f.lblStitchUnit})
        EXPECT_EQ(l->text(), QStringLiteral("mm"));
    EXPECT_EQ(f.grbMargins->title(), QStringLiteral("Margins (Millimetres)"));
    // The options still hold inches, and the page looks the same.
    EXPECT_NEAR(f.PageOption().MarginTop, 1, 1e-6);
    EXPECT_NEAR(f.PageOption().SpecWidth, 2, 1e-6);
    EXPECT_EQ(f.Layout().MarginRect, before.MarginRect);
    EXPECT_EQ(f.Layout().ImageWidth, before.ImageWidth);

    // Typed millimetres are read as millimetres.
    Type(f.txtTop, QStringLiteral("50.8"));
    EXPECT_EQ(f.Layout().MarginRect.Top, 200);

    // Choosing the unit already shown changes nothing.
    const QString top = f.txtTop->text();
    emit f.cmbUnits->activated(TPageSetupForm::unMillimetres);
    f.cmbUnitsChange();
    EXPECT_EQ(f.txtTop->text(), top);
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("50.8"));

    f.cmbUnits->setCurrentIndex(TPageSetupForm::unInches);
    for (QLabel* l : {f.lblWidthUnit, f.lblHeightUnit, f.lblStitchUnit})
        EXPECT_EQ(l->text(), QStringLiteral("Inches"));
    EXPECT_EQ(f.grbMargins->title(), QStringLiteral("Margins (Inches)"));
    // Back in inches, within single precision.
    for (const auto& [edit, inches] :
         {std::pair{f.txtWidth, 2.0}, std::pair{f.txtHeight, 1.0}, std::pair{f.txtTop, 2.0},
          std::pair{f.txtRight, 0.5}, std::pair{f.txtStitchMargin, 0.25}}) {
        EXPECT_NEAR(TPageSetupForm::EditValue(edit), inches, 1e-6) << edit->objectName().toStdString();
        EXPECT_LE(edit->text().size(), 10) << edit->text().toStdString();
    }
    EXPECT_EQ(f.Layout().MarginRect.Top, 200);
}

TEST_F(PageSetupForm, ArrowsStepByATenthAndNeverBelowZero) {
    Open();
    TPageSetupForm& f = *Form;
    f.txtLeft->setText(QStringLiteral("0.5"));
    QTest::mouseClick(f.updLeft->btnDown, Qt::LeftButton);
    EXPECT_EQ(f.txtLeft->text(), QStringLiteral("0.4"));
    QTest::mouseClick(f.updLeft->btnUp, Qt::LeftButton);
    QTest::mouseClick(f.updLeft->btnUp, Qt::LeftButton);
    EXPECT_EQ(f.txtLeft->text(), QStringLiteral("0.6"));
    EXPECT_EQ(f.Layout().MarginRect.Left, 60);
    f.txtLeft->setText(QStringLiteral("0.05"));
    QTest::mouseClick(f.updLeft->btnDown, Qt::LeftButton);
    EXPECT_EQ(f.txtLeft->text(), QStringLiteral("0.05"));
    f.txtBottom->clear();
    QTest::mouseClick(f.updBottom->btnUp, Qt::LeftButton);
    EXPECT_EQ(f.txtBottom->text(), QStringLiteral("0.1"));
    EXPECT_EQ(f.Layout().MarginRect.Bottom, 990);
    // Text that is not a number counts as 0.
    f.txtBottom->setText(QStringLiteral("abc"));
    EXPECT_EQ(f.Layout().MarginRect.Bottom, 1000);
    QTest::mouseClick(f.updBottom->btnUp, Qt::LeftButton);
    EXPECT_EQ(f.txtBottom->text(), QStringLiteral("0.1"));
}

TEST_F(PageSetupForm, AspectLockKeepsThePicturesProportions) {
    Open(); // 400 x 200
    TPageSetupForm& f = *Form;
    f.rbSpecifySize->click();
    EXPECT_TRUE(f.txtWidth->isEnabled());
    EXPECT_TRUE(f.updWidth->isEnabled());
    EXPECT_TRUE(f.chkAspect->isEnabled());
    // Without the lock the edits are independent.
    Type(f.txtWidth, QStringLiteral("3"));
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("2.0833333"));
    // Ticking the box derives the height from the width.
    f.chkAspect->click();
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("1.5"));
    EXPECT_TRUE(f.PageOption().KeepAspect);
    Type(f.txtWidth, QStringLiteral("4"));
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("2"));
    EXPECT_EQ(f.PageOption().SpecWidth, 4);
    EXPECT_EQ(f.PageOption().SpecHeight, 2);
    EXPECT_EQ(f.Layout().ImageWidth, 400);
    EXPECT_EQ(f.Layout().ImageHeight, 200);
    Type(f.txtHeight, QStringLiteral("3"));
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("6"));
    EXPECT_EQ(f.Layout().ImageWidth, 600);
    // The arrows go through the same lock.
    QTest::mouseClick(f.updHeight->btnUp, Qt::LeftButton);
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("6.2"));
    // Leaving the specified size keeps the size; the edits are disabled again.
    f.rbFullPage->click();
    EXPECT_FALSE(f.txtWidth->isEnabled());
    EXPECT_FALSE(f.chkAspect->isEnabled());
    EXPECT_EQ(f.PageOption().SpecWidth, 6.2f);
}

TEST_F(PageSetupForm, KeyFilterLetsNumbersThrough) {
    Open();
    TPageSetupForm& f = *Form;
    QLineEdit* e = f.txtTop;
    Type(e, QStringLiteral("1a2.5.x3"));
    EXPECT_EQ(e->text(), QStringLiteral("12.53"));
    // A sign in the middle is refused; at the left end of an unsigned number it is taken.
    e->setCursorPosition(2);
    QTest::keyClick(e, Qt::Key_Minus);
    EXPECT_EQ(e->text(), QStringLiteral("12.53"));
    e->setCursorPosition(0);
    QTest::keyClick(e, Qt::Key_Minus);
    EXPECT_EQ(e->text(), QStringLiteral("-12.53"));
    e->setCursorPosition(0);
    QTest::keyClick(e, Qt::Key_Plus);
    EXPECT_EQ(e->text(), QStringLiteral("-12.53"));
    // Control keys pass.
    e->setCursorPosition(1);
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClick(e, Qt::Key_End);
    QTest::keyClick(e, Qt::Key_Backspace);
    EXPECT_EQ(e->text(), QStringLiteral("12.5"));
    QTest::keyClick(e, Qt::Key_Space);
    QTest::keyClick(e, Qt::Key_Comma);
    EXPECT_EQ(e->text(), QStringLiteral("12.5"));
    // Text edits take anything.
    QTest::keyClicks(f.txtHeader, QStringLiteral("a-1.b."));
    EXPECT_EQ(f.txtHeader->text(), QStringLiteral("a-1.b."));
}

TEST_F(PageSetupForm, FontsChangeOnlyTheCopyUntilOk) {
    TScriptedDialogs dialogs;
    Option.HeaderText = QStringLiteral("Title");
    Option.HeaderFont = QFont(QStringLiteral("DejaVu Sans"), 10);
    const QSize zoomed(400, 200);
    {
        TPageSetupForm f(nullptr, 0, Option, Printer.Writer, nullptr, zoomed, &Picture);
        const int height = f.Layout().Header.Height;
        dialogs.Fonts.push_back(QFont(QStringLiteral("DejaVu Serif"), 20));
        QTest::mouseClick(f.btnHeaderFont, Qt::LeftButton);
        EXPECT_TRUE(dialogs.Fonts.empty());
        EXPECT_EQ(f.lblHeaderFont->text(), QStringLiteral("Font: DejaVu Serif(20pt)"));
        EXPECT_EQ(f.PageOption().HeaderFont.pointSize(), 20);
        EXPECT_GT(f.Layout().Header.Height, height * 3 / 2);
        // A cancelled font dialog changes nothing.
        const QString label = f.lblFooterFont->text();
        QTest::mouseClick(f.btnFooterFont, Qt::LeftButton);
        EXPECT_EQ(f.PageOption().FooterFont, Option.FooterFont);
        EXPECT_EQ(f.lblFooterFont->text(), label);
    }
    EXPECT_EQ(Option.HeaderFont.family(), QStringLiteral("DejaVu Sans"));

    // Through the window's command: Cancel keeps the window's options, OK takes the copy over.
    for (const bool ok : {false, true}) {
        dialogs.AnswerNext<TPageSetupForm>([&dialogs, ok](TPageSetupForm* f) {
            dialogs.Fonts.push_back(QFont(QStringLiteral("DejaVu Serif"), 20));
            QTest::mouseClick(f->btnHeaderFont, Qt::LeftButton);
            f->rbSpecifySize->click();
            QTest::mouseClick(ok ? f->btnOK : f->btnCancel, Qt::LeftButton);
        });
        EXPECT_EQ(ExecutePageSetup(nullptr, Option, Printer.Writer, &Picture, 1.0, 0xFFFFFF), ok);
        EXPECT_TRUE(dialogs.AllAnswered());
        EXPECT_EQ(Option.HeaderFont.family(),
                  ok ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans"));
        EXPECT_EQ(Option.SizeMode, ok ? TPageOption::smSpecified : TPageOption::smScreenSize);
    }
    // The specified size came from the picture's size on screen.
    EXPECT_FLOAT_EQ(Option.SpecWidth, 400.0f / 96);
}

TEST_F(PageSetupForm, DegenerateSizesNeverDivideByZero) {
    // A picture zoomed down to nothing: no aspect; the lock leaves the other edit alone.
    Open(0.001);
    TPageSetupForm& f = *Form;
    EXPECT_EQ(f.Aspect(), 0);
    EXPECT_FALSE(f.imgPicture->isVisibleTo(&f));
    f.rbSpecifySize->click();
    f.chkAspect->click();
    Type(f.txtWidth, QStringLiteral("2"));
    EXPECT_EQ(f.txtHeight->text(), QStringLiteral("0"));

    // A page without width: the panel keeps its design size and the scale is 0.
    TNoPage noPage;
    TPageSetupForm g(nullptr, 0, Option, noPage, nullptr, QSize(400, 200), &Picture);
    EXPECT_EQ(g.PreviewScale(), 0);
    EXPECT_EQ(g.palPage->size(), QSize(220, 280));
    g.rbFullPage->click();
    EXPECT_EQ(g.Layout().ImageWidth, 0);

    // No picture at all: the sizes read 0.
    TPageSetupForm h(nullptr, 0, Option, Printer.Writer, nullptr, QSize(), nullptr);
    EXPECT_EQ(h.txtWidth->text(), QStringLiteral("0"));
    EXPECT_EQ(h.txtHeight->text(), QStringLiteral("0"));
    EXPECT_FALSE(h.imgPicture->isVisibleTo(&h));
}

TEST_F(PageSetupForm, ThePreviewUsesTheWindowsViewBitmap) {
    QImage view(300, 100, QImage::Format_RGB32);
    view.fill(Qt::red);
    TPageSetupForm f(nullptr, 0, Option, Printer.Writer, &view, QSize(400, 200), &Picture);
    EXPECT_FLOAT_EQ(f.Aspect(), 3.0f);
    EXPECT_EQ(f.txtWidth->text(), QStringLiteral("3.125"));
    EXPECT_EQ(f.imgPicture->Image().size(), QSize(300, 100));
    f.show();
    const QImage shot = f.palPage->grab().toImage();
    const QRect picture = f.imgPicture->geometry();
    EXPECT_EQ(shot.pixelColor(picture.center()), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(QPoint(200, 200)), QColor(Qt::white));
}

TEST(PreviewWidgets, StretchLabelFillsItsBoundsAndDashedBoxOutlines) {
    TStretchLabel label;
    label.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    label.SetText(QStringLiteral("A&B"));
    const QImage text = label.Render(QSize(300, 40));
    ASSERT_EQ(text.size(), QSize(300, 40));
    int leftInk = 300, rightInk = -1, topInk = 40, bottomInk = -1, clear = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            if (qAlpha(text.pixel(x, y)) > 128) {
                leftInk = std::min(leftInk, x);
                rightInk = std::max(rightInk, x);
                topInk = std::min(topInk, y);
                bottomInk = std::max(bottomInk, y);
            } else if (qAlpha(text.pixel(x, y)) == 0) {
                ++clear;
            }
        }
    EXPECT_LT(leftInk, 30); // stretched across the width
    EXPECT_GT(rightInk, 270);
    EXPECT_LT(topInk, 12); // and the height
    EXPECT_GT(bottomInk, 25);
    EXPECT_GT(clear, 300 * 40 / 4); // transparent between the strokes
    EXPECT_TRUE(label.Render(QSize(0, 10)).isNull());
    label.SetText(QString());
    EXPECT_TRUE(label.Render(QSize(10, 10)).isNull());

    QFrame page;
    page.resize(100, 60);
    page.setAutoFillBackground(true);
    QPalette white = page.palette();
    white.setColor(QPalette::Window, Qt::white);
    page.setPalette(white);
    TDashedBox box(&page);
    box.setGeometry(10, 10, 80, 40);
    const QImage shot = page.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int inked = 0, blank = 0;
    for (int x = 10; x < 90; ++x)
        (shot.pixel(x, 10) == 0xFF000000u ? inked : blank)++;
    EXPECT_GT(inked, 20); // dashes, with gaps
    EXPECT_GT(blank, 10);
    EXPECT_EQ(shot.pixel(50, 30), 0xFFFFFFFFu);
    EXPECT_EQ(shot.pixel(5, 5), 0xFFFFFFFFu);
    EXPECT_NE(shot.pixel(89, 30), 0xFFFFFFFFu); // right edge inside the bounds, on one of the dashes
}

TEST(PrintCommand, PrintsOnlyAConfirmedJobTitledWithTheFile) {
    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir.filePath("job.pdf");
    printer.setOutputFileName(pdf);
    TPageOption option;
    option.SizeMode = TPageOption::smFullPage;
    TImageGraphic picture(MakeTestImage(60, 40));
    const auto answer = [&](bool yes) {
        dialogs.AnswerNext<QPrintDialog>([yes](QPrintDialog* d) {
            EXPECT_FALSE(d->testOption(QAbstractPrintDialog::PrintPageRange));
            d->setResult(yes ? QDialog::Accepted : QDialog::Rejected);
        });
    };
    // No picture: not even the dialog.
    EXPECT_FALSE(ExecutePrint(nullptr, printer, option, nullptr, 1, 0, QStringLiteral("/p/a.png")));
    EXPECT_EQ(dialogs.ExecCount, 0);
    answer(false);
    EXPECT_FALSE(ExecutePrint(nullptr, printer, option, &picture, 1, 0, QStringLiteral("/p/a.png")));
    EXPECT_EQ(dialogs.ExecCount, 1);
    EXPECT_FALSE(QFileInfo::exists(pdf));
    answer(true);
    EXPECT_TRUE(ExecutePrint(nullptr, printer, option, &picture, 1, 0, QStringLiteral("/p/a b.png")));
    EXPECT_TRUE(dialogs.AllAnswered());
    EXPECT_EQ(printer.docName(), QStringLiteral("Lumenor - /p/a b.png"));
    ASSERT_TRUE(QFileInfo::exists(pdf));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(60000);
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QStringLiteral("Title:           Lumenor - /p/a b.png"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << text.toStdString();
    EXPECT_EQ(option.Layout.ImageWidth, option.Layout.ContentRect.Width()); // full page, landscape picture
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A printer that cannot start raises for the window to report, and leaves no hourglass behind.
    printer.setOutputFileName(dir.filePath("no/such/folder/job.pdf"));
    answer(true);
    EXPECT_THROW(ExecutePrint(nullptr, printer, option, &picture, 1, 0, QStringLiteral("/p/a.png")),
                 EPrinter);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
