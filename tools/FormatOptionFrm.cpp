#include "tools/FormatOptionFrm.h"

#include "app/Dialogs.h"
#include "codec/ColorReduce.h"
#include "platform/VideoFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Only digits and control keys reach the edit; anything else beeps and is dropped.
class TDigitsOnly : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && text[0].isPrint() && !text[0].isDigit()) {
                QApplication::beep();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

template <class T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text, const QString& hint = QString()) {
    auto* box = Named(new QCheckBox(text, parent), name);
    if (!hint.isEmpty()) box->setToolTip(hint);
    return box;
}

QComboBox* ComboBox(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = Named(new QComboBox(parent), name);
    combo->addItems(items);
    return combo;
}

QLabel* Buddy(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

void ShowSwatch(QPushButton* swatch, const QColor& colour) {
    swatch->setProperty("swatchColor", colour);
    swatch->setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
}

QColor FromRrggbb(quint32 rgb) { return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)); }
quint32 ToRrggbb(const QColor& c) { return (quint32(c.red()) << 16) | (quint32(c.green()) << 8) | quint32(c.blue()); }

QString GammaText(int position) { return QString::number(position / 100.0, 'g', 3); }

} // namespace

TOptionForm::TOptionForm(QWidget* owner, TPictureOption& options) : QDialog(owner), FOptions(options) {
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("Option"));

    pgcOptions = Named(new QTabWidget(this), "pgcOptions");
    pgcOptions->addTab(MakeJpegPage(), QStringLiteral("JPEG"));
    pgcOptions->addTab(MakeGifPage(), QStringLiteral("GIF"));
    pgcOptions->addTab(MakePngPage(), QStringLiteral("PNG"));
    pgcOptions->addTab(MakeTiffPage(), QStringLiteral("TIF"));
    pgcOptions->addTab(MakeIconPage(), QStringLiteral("Icon"));
    pgcOptions->addTab(MakeCifPage(), QStringLiteral("CIF"));
    pgcOptions->addTab(MakeAviPage(), QStringLiteral("AVI"));
    pgcOptions->addTab(MakeWebPPage(), QStringLiteral("WebP"));
    pgcOptions->addTab(MakeAvifPage(), QStringLiteral("AVIF"));
    // Only the page of the record's Kind is shown.
    for (int i = 0; i < pgcOptions->count(); ++i) pgcOptions->setTabVisible(i, i + 1 == options.Kind);
    const bool known = options.Kind >= pokJpeg && options.Kind <= pokAvif;
    if (known) pgcOptions->setCurrentIndex(options.Kind - 1);
    pgcOptions->setVisible(known);

    btnOK = Named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    btnOK->setDefault(true);
    btnCancel = Named(new QPushButton(QStringLiteral("&Cancel"), this), "btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pgcOptions);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &TOptionForm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    Load();
    // A fixed dialog border, centred on the desktop.
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QWidget* TOptionForm::MakeJpegPage() {
    auto* page = new QWidget;
    chkOptimizeHuffman = CheckBox(page, "chkOptimizeHuffman", QStringLiteral("Optimize &Huffman codes"),
                                  QStringLiteral("this option will cause a two-pass compression and a little more compression radio"));
    chkJpegProgressive = CheckBox(page, "chkJpegProgressive", QStringLiteral("&Progressive"),
                                  QStringLiteral("Save jpeg in progressive mode, useful in Internet."));
    updQuality = Named(new QSpinBox(page), "updQuality");
    updQuality->setRange(1, 100);
    txtQuality = updQuality->findChild<QLineEdit*>();
    txtQuality->setObjectName(QStringLiteral("txtQuality"));
    txtQuality->installEventFilter(new TDigitsOnly(txtQuality));
    trkQuality = Named(new QSlider(Qt::Horizontal, page), "trkQuality");
    trkQuality->setRange(1, 100);
    trkQuality->setTickInterval(5);
    trkQuality->setTickPosition(QSlider::TicksBelow);
    trkQuality->setToolTip(QStringLiteral("Higher compress ratio will lead to lower quality"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(chkOptimizeHuffman, 0, 0, 1, 2);
    grid->addWidget(chkJpegProgressive, 1, 0, 1, 2);
    grid->addWidget(Buddy(page, QStringLiteral("Compress &Ratio"), updQuality), 2, 0);
    grid->addWidget(updQuality, 2, 1);
    grid->addWidget(trkQuality, 3, 0, 1, 2);
    connect(trkQuality, &QSlider::valueChanged, this, &TOptionForm::trkQualityChange);
    connect(txtQuality, &QLineEdit::textChanged, this, &TOptionForm::txtQualityChange);
    return page;
}

namespace {

// A quality 0..100 as an edit with an up-down and a track bar that follow each other.
void QualityControls(QWidget* page, const char* edit, const char* bar, QSpinBox*& spin, QSlider*& slider) {
    spin = Named(new QSpinBox(page), edit);
    spin->setRange(0, 100);
    slider = Named(new QSlider(Qt::Horizontal, page), bar);
    slider->setRange(0, 100);
    slider->setTickInterval(5);
    slider->setTickPosition(QSlider::TicksBelow);
    QObject::connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
    QObject::connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
}

} // namespace

QWidget* TOptionForm::MakeWebPPage() {
    auto* page = new QWidget;
    QualityControls(page, "updWebPQuality", "trkWebPQuality", updWebPQuality, trkWebPQuality);
    updWebPQuality->setToolTip(QStringLiteral("Lower quality gives a smaller file; lossless pictures take longer to compress at a higher value"));
    chkWebPLossless = CheckBox(page, "chkWebPLossless", QStringLiteral("&Lossless"),
                               QStringLiteral("Keep every pixel exactly as it is"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(chkWebPLossless, 0, 0, 1, 2);
    grid->addWidget(Buddy(page, QStringLiteral("&Quality"), updWebPQuality), 1, 0);
    grid->addWidget(updWebPQuality, 1, 1);
    grid->addWidget(trkWebPQuality, 2, 0, 1, 2);
    return page;
}

QWidget* TOptionForm::MakeAvifPage() {
    auto* page = new QWidget;
    QualityControls(page, "updAvifQuality", "trkAvifQuality", updAvifQuality, trkAvifQuality);
    updAvifQuality->setToolTip(QStringLiteral("Lower quality gives a smaller file; 100 keeps the full colour resolution"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(Buddy(page, QStringLiteral("&Quality"), updAvifQuality), 0, 0);
    grid->addWidget(updAvifQuality, 0, 1);
    grid->addWidget(trkAvifQuality, 1, 0, 1, 2);
    return page;
}

QWidget* TOptionForm::MakeGifPage() {
    auto* page = new QWidget;
    QStringList reductions, dithers;
    for (int i = 1; i <= 8; ++i) reductions << ColorReductionName(i);
    for (int i = 0; i <= 6; ++i) dithers << DitherModeName(i);
    cmbGifCompression = ComboBox(page, "cmbGifCompression", {QStringLiteral("RLE")});
    cmbColorReduction = ComboBox(page, "cmbColorReduction", reductions);
    updBitReduction = Named(new QSpinBox(page), "updBitReduction");
    updBitReduction->setRange(3, 8);
    updBitReduction->setWrapping(true);
    updBitReduction->setValue(3);
    updBitReduction->findChild<QLineEdit*>()->setReadOnly(true);
    cmbDitherMode = ComboBox(page, "cmbDitherMode", dithers);
    chkGifTransparent = CheckBox(page, "chkGifTransparent", QStringLiteral("&Transparent"));
    chkOptimizePalette = CheckBox(page, "chkOptimizePalette", QStringLiteral("Optimize &Palette"));
    auto* form = new QFormLayout(page);
    form->addRow(Buddy(page, QStringLiteral("Com&pression"), cmbGifCompression), cmbGifCompression);
    form->addRow(Buddy(page, QStringLiteral("Co&lor reduction"), cmbColorReduction), cmbColorReduction);
    form->addRow(Buddy(page, QStringLiteral("&Bit reduction"), updBitReduction), updBitReduction);
    form->addRow(Buddy(page, QStringLiteral("&Dither Mode"), cmbDitherMode), cmbDitherMode);
    form->addRow(chkGifTransparent);
    form->addRow(chkOptimizePalette);
    connect(cmbColorReduction, &QComboBox::currentIndexChanged, this, &TOptionForm::cmbColorReductionChange);
    return page;
}

QWidget* TOptionForm::MakePngPage() {
    auto* page = new QWidget;
    cmbPngCompression = ComboBox(page, "cmbPngCompression", {QStringLiteral("High"), QStringLiteral("Medium"), QStringLiteral("Low")});
    chkPngProgressive = CheckBox(page, "chkPngProgressive", QStringLiteral("&Progressive"));
    txtGamma = Named(new QLineEdit(page), "txtGamma");
    trkGamma = Named(new QSlider(Qt::Horizontal, page), "trkGamma");
    trkGamma->setRange(20, 500);
    trkGamma->setTickInterval(10);
    trkGamma->setTickPosition(QSlider::TicksBelow);
    chkPngTransparent = CheckBox(page, "chkPngTransparent", QStringLiteral("Save &Transparent"));
    palTransparent = Named(new QPushButton(page), "palTransparent");
    chkPngBackground = CheckBox(page, "chkPngBackground", QStringLiteral("Save with &background color"));
    palBackground = Named(new QPushButton(page), "palBackground");
    for (QPushButton* swatch : {palTransparent, palBackground}) {
        swatch->setFixedSize(40, 20);
        ShowSwatch(swatch, Qt::black);
        connect(swatch, &QPushButton::clicked, this, [this, swatch] { palClick(swatch); });
    }
    auto* grid = new QGridLayout(page);
    grid->addWidget(Buddy(page, QStringLiteral("&Compression"), cmbPngCompression), 0, 0);
    grid->addWidget(cmbPngCompression, 0, 1);
    grid->addWidget(chkPngProgressive, 1, 0, 1, 2);
    grid->addWidget(Buddy(page, QStringLiteral("&Gamma adjustment"), txtGamma), 2, 0);
    grid->addWidget(txtGamma, 2, 1);
    grid->addWidget(trkGamma, 3, 0, 1, 2);
    grid->addWidget(chkPngTransparent, 4, 0);
    grid->addWidget(palTransparent, 4, 1);
    grid->addWidget(chkPngBackground, 5, 0);
    grid->addWidget(palBackground, 5, 1);
    connect(trkGamma, &QSlider::valueChanged, this, &TOptionForm::trkGammaChange);
    connect(txtGamma, &QLineEdit::textChanged, this, &TOptionForm::txtGammaChange);
    connect(chkPngTransparent, &QCheckBox::toggled, this, &TOptionForm::chkPngColorClick);
    connect(chkPngBackground, &QCheckBox::toggled, this, &TOptionForm::chkPngColorClick);
    return page;
}

QWidget* TOptionForm::MakeTiffPage() {
    auto* page = new QWidget;
    cmbTiffCompression = ComboBox(page, "cmbTiffCompression", TiffCompressionNames());
    auto* form = new QFormLayout(page);
    form->addRow(Buddy(page, QStringLiteral("&Compression"), cmbTiffCompression), cmbTiffCompression);
    return page;
}

QWidget* TOptionForm::MakeIconPage() {
    auto* page = new QWidget;
    rdgRenderMethod = Named(new QGroupBox(QStringLiteral("Render method"), page), "rdgRenderMethod");
    rbCrop = Named(new QRadioButton(QStringLiteral("C&rop the source image"), rdgRenderMethod), "rbCrop");
    rbStretch = Named(new QRadioButton(QStringLiteral("&Stretch the source image"), rdgRenderMethod), "rbStretch");
    rbCenter = Named(new QRadioButton(QStringLiteral("&Center the source image"), rdgRenderMethod), "rbCenter");
    auto* group = new QVBoxLayout(rdgRenderMethod);
    group->addWidget(rbCrop);
    group->addWidget(rbStretch);
    group->addWidget(rbCenter);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(rdgRenderMethod);
    return page;
}

QWidget* TOptionForm::MakeCifPage() {
    auto* page = new QWidget;
    cmbAlgorithm = ComboBox(page, "cmbAlgorithm", CifAlgorithmNames());
    txtPassword = Named(new QLineEdit(page), "txtPassword");
    txtConfirm = Named(new QLineEdit(page), "txtConfirm");
    chkMaskPassword = CheckBox(page, "chkMaskPassword", QStringLiteral("&Mask password"));
    chkCaseSensitive = CheckBox(page, "chkCaseSensitive", QStringLiteral("&Case sensitive"));
    for (QLineEdit* edit : {txtPassword, txtConfirm})
        edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // "*" for every character
    auto* form = new QFormLayout(page);
    form->addRow(Buddy(page, QStringLiteral("&Encryption algorithm"), cmbAlgorithm), cmbAlgorithm);
    form->addRow(Buddy(page, QStringLiteral("&Password"), txtPassword), txtPassword);
    form->addRow(Buddy(page, QStringLiteral("Password con&firm"), txtConfirm), txtConfirm);
    form->addRow(chkMaskPassword);
    form->addRow(chkCaseSensitive);
    connect(chkMaskPassword, &QCheckBox::toggled, this, &TOptionForm::chkMaskPasswordClick);
    return page;
}

QWidget* TOptionForm::MakeAviPage() {
    auto* page = new QWidget;
    chkCompress = CheckBox(page, "chkCompress", QStringLiteral("Com&press the AVI stream"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(chkCompress);
    connect(chkCompress, &QCheckBox::toggled, this, &TOptionForm::chkCompressClick);
    return page;
}

void TOptionForm::Load() {
    const TPictureOption& o = FOptions;
    FLoading = true;
    // JPEG
    chkOptimizeHuffman->setChecked(o.JpegOptimizeHuffman);
    chkJpegProgressive->setChecked(o.JpegProgressive);
    trkQuality->setValue(o.JpegQuality);
    updQuality->setValue(o.JpegQuality);
    // GIF: the bit count only with the optimal 2^n palette; the animation boxes only for animations.
    cmbGifCompression->setCurrentIndex(o.GifCompression == 1 ? 0 : -1);
    cmbColorReduction->setCurrentIndex(std::clamp(int(o.GifColorReduction), 1, 8) - 1);
    if (o.GifColorReduction == 7) updBitReduction->setValue(std::clamp(int(o.GifReductionBits), 3, 8));
    cmbColorReductionChange();
    cmbDitherMode->setCurrentIndex(std::clamp(int(o.GifDitherMode), 0, 6));
    chkGifTransparent->setChecked(o.GifTransparent);
    chkOptimizePalette->setChecked(o.GifOptimizePalette);
    chkGifTransparent->setVisible(o.GifAnimated);
    chkOptimizePalette->setVisible(o.GifAnimated);
    // PNG: a swatch shows the record's colour only when its flag is set.
    cmbPngCompression->setCurrentIndex(2 - std::clamp(int(o.PngCompression), 0, 2));
    chkPngProgressive->setChecked(o.PngProgressive);
    trkGamma->setValue(int(std::lround(o.PngGamma * 100)));
    txtGamma->setText(GammaText(trkGamma->value()));
    chkPngTransparent->setChecked(o.PngTransparent);
    chkPngBackground->setChecked(o.PngBackground);
    if (o.PngTransparent) ShowSwatch(palTransparent, FromRrggbb(o.PngTransparentColor));
    if (o.PngBackground) ShowSwatch(palBackground, FromRrggbb(o.PngBackgroundColor));
    chkPngColorClick();
    // TIFF, icon
    cmbTiffCompression->setCurrentIndex(std::clamp(int(o.TiffCompression), 0, 6));
    (o.IcoRenderMethod == 1 ? rbStretch : o.IcoRenderMethod == 2 ? rbCenter : rbCrop)->setChecked(true);
    // CIF
    cmbAlgorithm->setCurrentIndex(std::clamp(int(o.CifAlgorithm), 4, 7) - 4);
    txtPassword->setText(o.CifPassword);
    txtConfirm->setText(o.CifPassword);
    chkMaskPassword->setChecked(o.CifMaskPassword);
    chkCaseSensitive->setChecked(o.CifCaseSensitive);
    chkMaskPasswordClick();
    // AVI
    chkCompress->setChecked(o.AviCompress);
    // WebP, AVIF
    updWebPQuality->setValue(std::clamp(int(o.WebPQuality), 0, 100));
    chkWebPLossless->setChecked(o.WebPLossless);
    updAvifQuality->setValue(std::clamp(int(o.AvifQuality), 0, 100));
    FLoading = false;
}

void TOptionForm::Store() {
    TPictureOption& o = FOptions;
    switch (o.Kind) {
    case pokJpeg:
        o.JpegOptimizeHuffman = chkOptimizeHuffman->isChecked();
        o.JpegProgressive = chkJpegProgressive->isChecked();
        o.JpegQuality = quint8(trkQuality->value());
        break;
    case pokGif:
        if (cmbGifCompression->currentIndex() == 0) o.GifCompression = 1;
        o.GifColorReduction = quint8(cmbColorReduction->currentIndex() + 1);
        if (o.GifColorReduction == 7) o.GifReductionBits = updBitReduction->value();
        o.GifDitherMode = quint8(cmbDitherMode->currentIndex());
        if (o.GifAnimated) {
            o.GifTransparent = chkGifTransparent->isChecked();
            o.GifOptimizePalette = chkOptimizePalette->isChecked();
        }
        break;
    case pokPng:
        o.PngCompression = quint8(2 - cmbPngCompression->currentIndex());
        o.PngProgressive = chkPngProgressive->isChecked();
        o.PngGamma = trkGamma->value() / 100.0;
        o.PngTransparent = chkPngTransparent->isChecked();
        if (o.PngTransparent) o.PngTransparentColor = ToRrggbb(SwatchColor(palTransparent));
        o.PngBackground = chkPngBackground->isChecked();
        if (o.PngBackground) o.PngBackgroundColor = ToRrggbb(SwatchColor(palBackground));
        break;
    case pokTiff: o.TiffCompression = quint8(cmbTiffCompression->currentIndex()); break;
    case pokIco: o.IcoRenderMethod = rbStretch->isChecked() ? 1 : rbCenter->isChecked() ? 2 : 0; break;
    case pokCif:
        o.CifAlgorithm = quint8(cmbAlgorithm->currentIndex() + 4);
        o.CifPassword = txtPassword->text();
        o.CifMaskPassword = chkMaskPassword->isChecked();
        o.CifCaseSensitive = chkCaseSensitive->isChecked();
        break;
    case pokAvi: o.AviCompress = chkCompress->isChecked(); break;
    case pokWebP:
        o.WebPQuality = quint8(updWebPQuality->value());
        o.WebPLossless = chkWebPLossless->isChecked();
        break;
    case pokAvif: o.AvifQuality = quint8(updAvifQuality->value()); break;
    default: break;
    }
}

void TOptionForm::btnOKClick() {
    if (FOptions.Kind == pokCif) {
        const bool exact = chkCaseSensitive->isChecked();
        const QString a = exact ? txtPassword->text() : txtPassword->text().toUpper();
        const QString b = exact ? txtConfirm->text() : txtConfirm->text().toUpper();
        if (a != b) {
            ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Password doesn't match confirm entry"));
            return;
        }
    }
    Store();
    accept();
}

void TOptionForm::trkQualityChange() {
    if (FSyncing) return;
    FSyncing = true;
    txtQuality->setText(QString::number(trkQuality->value()));
    FSyncing = false;
}

void TOptionForm::txtQualityChange() {
    if (FSyncing) return;
    bool ok = false;
    const int value = txtQuality->text().toInt(&ok);
    FSyncing = true;
    trkQuality->setValue(ok ? value : 1);
    FSyncing = false;
}

void TOptionForm::cmbColorReductionChange() { updBitReduction->setEnabled(cmbColorReduction->currentIndex() == 6); }

void TOptionForm::trkGammaChange() {
    if (FSyncing) return;
    FSyncing = true;
    txtGamma->setText(GammaText(trkGamma->value()));
    FSyncing = false;
}

void TOptionForm::txtGammaChange() {
    if (FSyncing) return;
    bool ok = false;
    const double value = txtGamma->text().toDouble(&ok);
    FSyncing = true;
    trkGamma->setValue(ok && std::isfinite(value) ? int(std::clamp(std::lround(value * 100), 20L, 500L)) : 20);
    FSyncing = false;
}

void TOptionForm::chkPngColorClick() {
    palTransparent->setEnabled(chkPngTransparent->isChecked());
    palBackground->setEnabled(chkPngBackground->isChecked());
}

void TOptionForm::palClick(QPushButton* swatch) {
    const std::optional<QColor> colour = Dialogs().ChooseColor(this, SwatchColor(swatch), QString());
    if (colour && colour->isValid()) ShowSwatch(swatch, *colour);
}

QColor TOptionForm::SwatchColor(const QPushButton* swatch) { return swatch->property("swatchColor").value<QColor>(); }

void TOptionForm::chkMaskPasswordClick() {
    const QLineEdit::EchoMode mode = chkMaskPassword->isChecked() ? QLineEdit::Password : QLineEdit::Normal;
    txtPassword->setEchoMode(mode);
    txtConfirm->setEchoMode(mode);
}

void TOptionForm::chkCompressClick() {
    if (!FLoading && chkCompress->isChecked())
        ShowMessage(this, QMessageBox::Information, QStringLiteral("System Info"),
                    QStringLiteral("You will be prompt to select the compress options during the save process"));
}

// ---------------------------------------------------------------------------------------------------------

TVideoCompressorForm::TVideoCompressorForm(QWidget* owner, QSize frameSize, const TVideoCompression& choice)
    : QDialog(owner) {
    setObjectName(QStringLiteral("VideoCompressorForm"));
    setWindowTitle(QStringLiteral("Video Compression"));
    cmbCompressor = Named(new QComboBox(this), "cmbCompressor");
    for (const TVideoEncoderInfo& e : VideoEncoders(frameSize)) cmbCompressor->addItem(e.Description, e.Name);
    const int current = cmbCompressor->findData(choice.Encoder);
    cmbCompressor->setCurrentIndex(std::max(0, current));
    trkQuality = Named(new QSlider(Qt::Horizontal, this), "trkQuality");
    trkQuality->setRange(1, 100);
    trkQuality->setTickInterval(10);
    trkQuality->setTickPosition(QSlider::TicksBelow);
    trkQuality->setValue(std::clamp(choice.Quality, 1, 100));
    updKeyFrames = Named(new QSpinBox(this), "updKeyFrames");
    updKeyFrames->setRange(1, 1000);
    updKeyFrames->setSuffix(QStringLiteral(" frames"));
    updKeyFrames->setValue(std::clamp(choice.KeyFrameEvery, 1, 1000));
    btnOK = Named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    btnOK->setDefault(true);
    btnCancel = Named(new QPushButton(QStringLiteral("&Cancel"), this), "btnCancel");
    auto* form = new QFormLayout;
    form->addRow(Buddy(this, QStringLiteral("&Compressor"), cmbCompressor), cmbCompressor);
    form->addRow(Buddy(this, QStringLiteral("Compression &quality"), trkQuality), trkQuality);
    form->addRow(Buddy(this, QStringLiteral("&Key frame every"), updKeyFrames), updKeyFrames);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(cmbCompressor, &QComboBox::currentIndexChanged, this, &TVideoCompressorForm::cmbCompressorChange);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    cmbCompressorChange();
    setFixedSize(sizeHint());
}

void TVideoCompressorForm::cmbCompressorChange() {
    // Uncompressed frames have neither quality nor key frames to choose.
    const bool compressed = !cmbCompressor->currentData().toString().isEmpty();
    trkQuality->setEnabled(compressed);
    updKeyFrames->setEnabled(compressed);
}

TVideoCompression TVideoCompressorForm::Choice() const {
    return {cmbCompressor->currentData().toString(), trkQuality->value(), updKeyFrames->value()};
}

bool TVideoCompressorForm::Execute(QWidget* owner, QSize frameSize, TVideoCompression& choice) {
    TVideoCompressorForm form(owner, frameSize, choice);
    if (Dialogs().Exec(form) != QDialog::Accepted) return false;
    choice = form.Choice();
    return true;
}
