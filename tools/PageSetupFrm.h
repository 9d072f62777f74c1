// The page setup dialog: edits a copy of the window's page options (size mode, position, margins, binding
// margin, header and footer) in inches or millimetres and shows the printed page as a live, scaled
// preview. Also the window's two printing commands, so that the window only connects its actions.
#pragma once

#include "tools/PageOpt.h"

#include <QDialog>
#include <QImage>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPaintDevice;
class QPrinter;
class QPushButton;
class QRadioButton;
class QToolButton;
class TDashedBox;
class TStretchLabel;

// The arrows beside a number edit: up adds 0.1, down takes 0.1 away (see TPageSetupForm).
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);
    QToolButton* btnUp = nullptr;
    QToolButton* btnDown = nullptr;

signals:
    void Up();
    void Down();
};

// The picture of the preview, stretched into the widget's bounds.
class TPreviewPicture : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewPicture(QWidget* parent = nullptr);
    void SetImage(QImage image);
    const QImage& Image() const { return FImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FImage;
};

class TPageSetupForm : public QDialog {
    Q_OBJECT
public:
    // Measurement units of the edits; the options always hold inches.
    enum : int { unInches = 0, unMillimetres = 1 };
    static constexpr float kInchesToMm = 25.4f;
    static constexpr float kMmToInches = 0.03937008f;
    // Design size of the preview's page panel; it shrinks to the printable page's aspect.
    static constexpr int kPanelWidth = 220;
    static constexpr int kPanelHeight = 280;

    // backColor: the window's background colour behind the picture. pageOption: copied, never changed.
    // printer: the device the layout is computed for (its printable area and resolution). viewBitmap:
    // the window's rendered view when it holds a valid one, else null; zoomedSize: the picture's size as
    // zoomed in the window; graphic: the picture (null when none is shown).
    TPageSetupForm(QWidget* owner, TColor backColor, const TPageOption& pageOption,
                   const QPaintDevice& printer, const QImage* viewBitmap, QSize zoomedSize,
                   const TGraphic* graphic);
    ~TPageSetupForm() override;

    // The edited copy; the window takes it over with Assign when the dialog ends with OK.
    const TPageOption& PageOption() const { return FPageOption; }
    // The layout shown and the preview scale (panel pixels per printer pixel).
    const TPageInfo& Layout() const { return FPageOption.Layout; }
    float PreviewScale() const { return FPreviewScale; }
    // Width / height of the preview picture (0 without one).
    float Aspect() const { return FAspect; }
    int Unit() const { return FUnit; }

    // A number edit's text as a number: 0 when it is not one.
    static float EditValue(const QLineEdit* edit);
    // The shortest decimal text that reads back as the same single-precision number.
    static QString NumberText(float value);

    QComboBox* cmbUnits = nullptr;
    QGroupBox* grbSize = nullptr;
    QRadioButton* rbOriginalSize = nullptr;
    QRadioButton* rbFullPage = nullptr;
    QRadioButton* rbSpecifySize = nullptr;
    QRadioButton* rbStretch = nullptr;
    QLineEdit* txtWidth = nullptr;
    TUpDown* updWidth = nullptr;
    QLabel* lblWidthUnit = nullptr;
    QLineEdit* txtHeight = nullptr;
    TUpDown* updHeight = nullptr;
    QLabel* lblHeightUnit = nullptr;
    QCheckBox* chkAspect = nullptr;
    QGroupBox* grbPosition = nullptr;
    QComboBox* cmbPosition = nullptr;
    QGroupBox* grbMargins = nullptr;
    QLineEdit* txtTop = nullptr;
    TUpDown* updTop = nullptr;
    QLineEdit* txtLeft = nullptr;
    TUpDown* updLeft = nullptr;
    QLineEdit* txtRight = nullptr;
    TUpDown* updRight = nullptr;
    QLineEdit* txtBottom = nullptr;
    TUpDown* updBottom = nullptr;
    QGroupBox* grbStitch = nullptr;
    QRadioButton* rbStitchLeft = nullptr;
    QRadioButton* rbStitchTop = nullptr;
    QLineEdit* txtStitchMargin = nullptr;
    TUpDown* updStitchMargin = nullptr;
    QLabel* lblStitchUnit = nullptr;
    QGroupBox* grbHeader = nullptr;
    QLineEdit* txtHeader = nullptr;
    QComboBox* cmbHeaderAlign = nullptr;
    QLabel* lblHeaderFont = nullptr;
    QPushButton* btnHeaderFont = nullptr;
    QGroupBox* grbFooter = nullptr;
    QLineEdit* txtFooter = nullptr;
    QComboBox* cmbFooterAlign = nullptr;
    QLabel* lblFooterFont = nullptr;
    QPushButton* btnFooterFont = nullptr;
    QGroupBox* grbPreview = nullptr;
    QFrame* palPage = nullptr;
    TPreviewPicture* imgPicture = nullptr;
    TDashedBox* boxMargins = nullptr;
    TStretchLabel* lblHeaderPreview = nullptr;
    TStretchLabel* lblFooterPreview = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // Handlers (public so that the window's scripts and the tests reach them as a user would).
    void cmbUnitsChange();
    void SizeModeClick();
    void txtWidthChange();
    void txtHeightChange();
    void chkAspectClick();
    void OptionChange();
    void btnHeaderFontClick();
    void btnFooterFontClick();
    void ArrowClick(QLineEdit* edit, bool up);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* NewNumberEdit(const QString& name, TUpDown*& arrows);
    void SetupPreview(const QImage* viewBitmap, QSize zoomedSize, const TGraphic* graphic, TColor backColor);
    void SetupPanel();
    void ShowOptions();
    void Recompute();
    void ShowLayout();
    void SetEditValue(QLineEdit* edit, float value);
    bool FilterKey(QLineEdit* edit, const QKeyEvent& key) const;
    static QString FontText(const QFont& font);

    TPageOption FPageOption;
    const QPaintDevice& FPrinter;
    QSize FPictureSize; // the preview picture's size; invalid without a picture
    float FAspect = 0;
    float FPreviewScale = 0;
    int FUnit = unInches;
    bool FUpdating = true;
    QList<QLineEdit*> FNumberEdits;
};

// --- The window's printing commands -------------------------------------------------------------
// Both ask through the window's dialogs interface (Dialogs()), so scripts and tests answer them.

// "Pa&ge setup...": the dialog on a copy of option; on OK option takes the copy over. graphic is the
// picture shown (null for none), zoom its zoom in the window, viewBitmap the window's rendered view when
// valid. Returns true on OK.
bool ExecutePageSetup(QWidget* owner, TPageOption& option, const QPaintDevice& printer,
                      const TGraphic* graphic, double zoom, TColor background,
                      const QImage* viewBitmap = nullptr);

// "&Print": nothing happens without a picture or unless the print dialog is accepted. Then the job,
// titled "Lumenor - " + fileName, prints the picture on one page as the options lay it out (the layout
// is recomputed for the printer as it is now). Returns true when the page was printed; raises EPrinter
// (and the picture's own errors) for the window's command to report.
bool ExecutePrint(QWidget* parent, QPrinter& printer, TPageOption& option, const TGraphic* graphic,
                  double zoom, TColor background, const QString& fileName);
