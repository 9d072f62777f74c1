// The per-format options dialog behind the save dialog's "&Option" button (and the batch dialog's): one
// page for the record's Kind, loaded from the record and written back to it on OK. Also the dialog that
// chooses the compressor of an AVI clip during a save. Their questions (colour dialog, message boxes)
// go through the window's dialogs interface (app/Dialogs).
#pragma once

#include "codec/Services.h"
#include "tools/FormatOption.h"

#include <QColor>
#include <QDialog>


class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

class TOptionForm : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog for options.Kind (no page for Kind 0); options is updated in place on OK only.
    TOptionForm(QWidget* owner, TPictureOption& options);

    // OK: for CIF the password must match its confirmation; then the visible page goes into the record.
    void btnOKClick();

    QTabWidget* pgcOptions = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    // JPEG
    QCheckBox* chkOptimizeHuffman = nullptr;
    QCheckBox* chkJpegProgressive = nullptr;
    QSpinBox* updQuality = nullptr; // the edit with its up-down
    QLineEdit* txtQuality = nullptr; // the edit of updQuality
    QSlider* trkQuality = nullptr;
    // GIF
    QComboBox* cmbGifCompression = nullptr;
    QComboBox* cmbColorReduction = nullptr;
    QSpinBox* updBitReduction = nullptr;
    QComboBox* cmbDitherMode = nullptr;
    QCheckBox* chkGifTransparent = nullptr;
    QCheckBox* chkOptimizePalette = nullptr;
    // PNG
    QComboBox* cmbPngCompression = nullptr;
    QCheckBox* chkPngProgressive = nullptr;
    QLineEdit* txtGamma = nullptr;
    QSlider* trkGamma = nullptr;
    QCheckBox* chkPngTransparent = nullptr;
    QPushButton* palTransparent = nullptr;
    QCheckBox* chkPngBackground = nullptr;
    QPushButton* palBackground = nullptr;
    // TIFF
    QComboBox* cmbTiffCompression = nullptr;
    // Icon
    QGroupBox* rdgRenderMethod = nullptr;
    QRadioButton* rbCrop = nullptr;
    QRadioButton* rbStretch = nullptr;
    QRadioButton* rbCenter = nullptr;
    // CIF
    QComboBox* cmbAlgorithm = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtConfirm = nullptr;
    QCheckBox* chkMaskPassword = nullptr;
    QCheckBox* chkCaseSensitive = nullptr;
    // AVI
    QCheckBox* chkCompress = nullptr;
    // WebP: quality (edit with up-down and track bar, kept in step) and lossless
    QSpinBox* updWebPQuality = nullptr;
    QSlider* trkWebPQuality = nullptr;
    QCheckBox* chkWebPLossless = nullptr;
    // AVIF
    QSpinBox* updAvifQuality = nullptr;
    QSlider* trkAvifQuality = nullptr;

    // The colour a swatch shows.
    static QColor SwatchColor(const QPushButton* swatch);

private:
    QWidget* MakeJpegPage();
    QWidget* MakeGifPage();
    QWidget* MakePngPage();
    QWidget* MakeTiffPage();
    QWidget* MakeIconPage();
    QWidget* MakeCifPage();
    QWidget* MakeAviPage();
    QWidget* MakeWebPPage();
    QWidget* MakeAvifPage();
    void Load();
    void Store();

    void trkQualityChange();
    void txtQualityChange();
    void cmbColorReductionChange();
    void trkGammaChange();
    void txtGammaChange();
    void chkPngColorClick();
    void palClick(QPushButton* swatch);
    void chkMaskPasswordClick();
    void chkCompressClick();

    TPictureOption& FOptions;
    bool FSyncing = false;
    bool FLoading = false;
};

// Our compressor choice for AVI clips: the compressors this machine offers for the frame size, a quality
// and the key-frame interval.
class TVideoCompressorForm : public QDialog {
    Q_OBJECT
public:
    TVideoCompressorForm(QWidget* owner, QSize frameSize, const TVideoCompression& choice);
    TVideoCompression Choice() const;

    // Shows the dialog (through Dialogs()); false when the user cancels.
    static bool Execute(QWidget* owner, QSize frameSize, TVideoCompression& choice);

    QComboBox* cmbCompressor = nullptr;
    QSlider* trkQuality = nullptr;
    QSpinBox* updKeyFrames = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void cmbCompressorChange();
};
