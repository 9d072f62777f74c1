#include "tools/PageSetupFrm.h"

#include "app/Dialogs.h"
#include "platform/PrintSetupDialog.h"
#include "tools/DashedBox.h"
#include "tools/StretchLabel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>

// --- Arrows and preview picture -------------------------------------------------------------------

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    btnUp = new QToolButton(this);
    btnUp->setArrowType(Qt::UpArrow);
    btnDown = new QToolButton(this);
    btnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {btnUp, btnDown}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        column->addWidget(b);
    }
    connect(btnUp, &QToolButton::clicked, this, &TUpDown::Up);
    connect(btnDown, &QToolButton::clicked, this, &TUpDown::Down);
}

TPreviewPicture::TPreviewPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPreviewPicture::SetImage(QImage image) {
    FImage = std::move(image);
    update();
}

void TPreviewPicture::paintEvent(QPaintEvent*) {
    if (FImage.isNull() || width() < 1 || height() < 1) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(rect(), FImage);
}

// --- The dialog -----------------------------------------------------------------------------------

namespace {

QLabel* NewLabel(const QString& text, QWidget* parent, QWidget* buddy = nullptr) {
    auto* label = new QLabel(text, parent);
    if (buddy) label->setBuddy(buddy);
    return label;
}

// The largest preview picture drawn for a graphic: the preview is never larger than its panel.
constexpr int kPreviewPictureSize = 512;

} // namespace

float TPageSetupForm::EditValue(const QLineEdit* edit) {
    bool ok = false;
    const float value = edit->text().trimmed().toFloat(&ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

QString TPageSetupForm::NumberText(float value) {
    if (value == 0 || !std::isfinite(value)) return QStringLiteral("0");
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(r.ptr - buffer));
}

QString TPageSetupForm::FontText(const QFont& font) {
    const int points = font.pointSize() > 0 ? font.pointSize() : int(font.pointSizeF());
    return QStringLiteral("Font: ") + font.family() + QStringLiteral("(%1pt)").arg(points);
}

QLineEdit* TPageSetupForm::NewNumberEdit(const QString& name, TUpDown*& arrows) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("txt") + name);
    edit->setFixedWidth(72);
    edit->installEventFilter(this);
    arrows = new TUpDown(this);
    arrows->setObjectName(QStringLiteral("upd") + name);
    connect(arrows, &TUpDown::Up, this, [this, edit] { ArrowClick(edit, true); });
    connect(arrows, &TUpDown::Down, this, [this, edit] { ArrowClick(edit, false); });
    FNumberEdits << edit;
    return edit;
}

TPageSetupForm::TPageSetupForm(QWidget* owner, TColor backColor, const TPageOption& pageOption,
                               const QPaintDevice& printer, const QImage* viewBitmap, QSize zoomedSize,
                               const TGraphic* graphic)
    : QDialog(owner), FPrinter(printer) {
    setObjectName(QStringLiteral("PageSetupForm"));
    setWindowTitle(QStringLiteral("Page Setup"));
    // A fresh copy: the specified size comes along only in the specified size mode, else the width and
    // height start from the picture's size on screen.
    FPageOption.Assign(pageOption);

    // Measurement units.
    cmbUnits = new QComboBox(this);
    cmbUnits->setObjectName(QStringLiteral("cmbUnits"));
    cmbUnits->addItems({QStringLiteral("Inches"), QStringLiteral("Millimetres")});
    auto* unitsRow = new QHBoxLayout;
    unitsRow->addWidget(NewLabel(QStringLiteral("Measurement &Units:"), this, cmbUnits));
    unitsRow->addWidget(cmbUnits);
    unitsRow->addStretch();

    // Image size.
    grbSize = new QGroupBox(QStringLiteral("Image &Size"), this);
    rbOriginalSize = new QRadioButton(QStringLiteral("Original Size"), grbSize);
    rbFullPage = new QRadioButton(QStringLiteral("&Full Page"), grbSize);
    rbSpecifySize = new QRadioButton(QStringLiteral("&Specify Size"), grbSize);
    rbStretch = new QRadioButton(QStringLiteral("S&tretch to Page"), grbSize);
    auto* sizeGroup = new QButtonGroup(this);
    sizeGroup->addButton(rbOriginalSize, TPageOption::smScreenSize);
    sizeGroup->addButton(rbFullPage, TPageOption::smFullPage);
    sizeGroup->addButton(rbSpecifySize, TPageOption::smSpecified);
    sizeGroup->addButton(rbStretch, TPageOption::smStretch);
    txtWidth = NewNumberEdit(QStringLiteral("Width"), updWidth);
    txtHeight = NewNumberEdit(QStringLiteral("Height"), updHeight);
    lblWidthUnit = new QLabel(QStringLiteral("inches"), this);
    lblHeightUnit = new QLabel(QStringLiteral("inches"), this);
    chkAspect = new QCheckBox(QStringLiteral("Maintain &aspect ratio"), grbSize);
    chkAspect->setObjectName(QStringLiteral("chkAspect"));
    auto* sizeGrid = new QGridLayout(grbSize);
    sizeGrid->addWidget(rbOriginalSize, 0, 0, 1, 2);
    sizeGrid->addWidget(rbFullPage, 0, 2, 1, 2);
    sizeGrid->addWidget(rbSpecifySize, 1, 0, 1, 2);
    sizeGrid->addWidget(rbStretch, 1, 2, 1, 2);
    sizeGrid->addWidget(NewLabel(QStringLiteral("&Width:"), grbSize, txtWidth), 2, 0);
    sizeGrid->addWidget(txtWidth, 2, 1);
    sizeGrid->addWidget(updWidth, 2, 2);
    sizeGrid->addWidget(lblWidthUnit, 2, 3);
    sizeGrid->addWidget(NewLabel(QStringLiteral("&Height:"), grbSize, txtHeight), 3, 0);
    sizeGrid->addWidget(txtHeight, 3, 1);
    sizeGrid->addWidget(updHeight, 3, 2);
    sizeGrid->addWidget(lblHeightUnit, 3, 3);
    sizeGrid->addWidget(chkAspect, 4, 0, 1, 4);
    sizeGrid->setColumnStretch(4, 1);

    // Image position, margins and the binding margin.
    grbPosition = new QGroupBox(QStringLiteral("Image &Position"), this);
    cmbPosition = new QComboBox(grbPosition);
    cmbPosition->setObjectName(QStringLiteral("cmbPosition"));
    cmbPosition->addItems(
        {QStringLiteral("Top-left"), QStringLiteral("Top-center"), QStringLiteral("Top-right"),
         QStringLiteral("Middle-left"), QStringLiteral("Center"), QStringLiteral("Middle-right"),
         QStringLiteral("Bottom-left"), QStringLiteral("Bottom-center"), QStringLiteral("Bottom-right")});
    grbMargins = new QGroupBox(QStringLiteral("Margins (Inches)"), grbPosition);
    txtTop = NewNumberEdit(QStringLiteral("Top"), updTop);
    txtLeft = NewNumberEdit(QStringLiteral("Left"), updLeft);
    txtRight = NewNumberEdit(QStringLiteral("Right"), updRight);
    txtBottom = NewNumberEdit(QStringLiteral("Bottom"), updBottom);
    auto* marginGrid = new QGridLayout(grbMargins);
    marginGrid->addWidget(NewLabel(QStringLiteral("&Top:"), grbMargins, txtTop), 0, 0);
    marginGrid->addWidget(txtTop, 0, 1);
    marginGrid->addWidget(updTop, 0, 2);
    marginGrid->addWidget(NewLabel(QStringLiteral("&Left:"), grbMargins, txtLeft), 0, 3);
    marginGrid->addWidget(txtLeft, 0, 4);
    marginGrid->addWidget(updLeft, 0, 5);
    marginGrid->addWidget(NewLabel(QStringLiteral("Bottom:"), grbMargins, txtBottom), 1, 0);
    marginGrid->addWidget(txtBottom, 1, 1);
    marginGrid->addWidget(updBottom, 1, 2);
    marginGrid->addWidget(NewLabel(QStringLiteral("&Right:"), grbMargins, txtRight), 1, 3);
    marginGrid->addWidget(txtRight, 1, 4);
    marginGrid->addWidget(updRight, 1, 5);
    grbStitch = new QGroupBox(QStringLiteral("&Stitch Line"), grbPosition);
    rbStitchLeft = new QRadioButton(QStringLiteral("&Left"), grbStitch);
    rbStitchTop = new QRadioButton(QStringLiteral("Top"), grbStitch);
    txtStitchMargin = NewNumberEdit(QStringLiteral("StitchMargin"), updStitchMargin);
    lblStitchUnit = new QLabel(QStringLiteral("inches"), this);
    auto* stitchGrid = new QGridLayout(grbStitch);
    stitchGrid->addWidget(new QLabel(QStringLiteral("Position:"), grbStitch), 0, 0);
    stitchGrid->addWidget(rbStitchLeft, 0, 1);
    stitchGrid->addWidget(rbStitchTop, 0, 2, 1, 2);
    stitchGrid->addWidget(new QLabel(QStringLiteral("Margin:"), grbStitch), 1, 0);
    stitchGrid->addWidget(txtStitchMargin, 1, 1);
    stitchGrid->addWidget(updStitchMargin, 1, 2);
    stitchGrid->addWidget(lblStitchUnit, 1, 3);
    stitchGrid->setColumnStretch(4, 1);
    auto* positionColumn = new QVBoxLayout(grbPosition);
    positionColumn->addWidget(cmbPosition);
    positionColumn->addWidget(grbMargins);
    positionColumn->addWidget(grbStitch);

    // Header and footer.
    const auto textGroup = [this](const QString& title, QLineEdit*& text, QComboBox*& align, QLabel*& font,
                                  QPushButton*& more) {
        auto* group = new QGroupBox(title, this);
        text = new QLineEdit(group);
        align = new QComboBox(group);
        align->addItems({QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")});
        font = new QLabel(group);
        more = new QPushButton(QStringLiteral("More..."), group);
        auto* grid = new QGridLayout(group);
        grid->addWidget(new QLabel(QStringLiteral("Text:"), group), 0, 0);
        grid->addWidget(text, 0, 1, 1, 2);
        grid->addWidget(new QLabel(QStringLiteral("Alignment:"), group), 1, 0);
        grid->addWidget(align, 1, 1, 1, 2);
        grid->addWidget(font, 2, 0, 1, 2);
        grid->addWidget(more, 2, 2);
        return group;
    };
    grbHeader = textGroup(QStringLiteral("Header:"), txtHeader, cmbHeaderAlign, lblHeaderFont, btnHeaderFont);
    grbFooter = textGroup(QStringLiteral("Footer:"), txtFooter, cmbFooterAlign, lblFooterFont, btnFooterFont);
    txtHeader->setObjectName(QStringLiteral("txtHeader"));
    txtFooter->setObjectName(QStringLiteral("txtFooter"));

    // Preview: the page panel, and on it the picture, the margins and the header and footer.
    grbPreview = new QGroupBox(QStringLiteral("Preview"), this);
    grbPreview->setFixedSize(kPanelWidth + 20, kPanelHeight + 36);
    palPage = new QFrame(grbPreview);
    palPage->setObjectName(QStringLiteral("palPage"));
    palPage->setFrameShape(QFrame::NoFrame);
    palPage->setAutoFillBackground(true);
    QPalette white = palPage->palette();
    white.setColor(QPalette::Window, Qt::white);
    palPage->setPalette(white);
    imgPicture = new TPreviewPicture(palPage);
    boxMargins = new TDashedBox(palPage);
    lblHeaderPreview = new TStretchLabel(palPage);
    lblFooterPreview = new TStretchLabel(palPage);

    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* left = new QVBoxLayout;
    left->addLayout(unitsRow);
    left->addWidget(grbSize);
    left->addWidget(grbPosition);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(grbHeader);
    right->addWidget(grbFooter);
    right->addWidget(grbPreview);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* form = new QVBoxLayout(this);
    form->addLayout(columns);
    form->addLayout(buttons);

    // Events.
    connect(cmbUnits, &QComboBox::currentIndexChanged, this, &TPageSetupForm::cmbUnitsChange);
    connect(sizeGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) SizeModeClick();
    });
    connect(txtWidth, &QLineEdit::textChanged, this, &TPageSetupForm::txtWidthChange);
    connect(txtHeight, &QLineEdit::textChanged, this, &TPageSetupForm::txtHeightChange);
    connect(chkAspect, &QCheckBox::toggled, this, &TPageSetupForm::chkAspectClick);
    connect(cmbPosition, &QComboBox::currentIndexChanged, this, &TPageSetupForm::OptionChange);
    for (QLineEdit* edit : {txtTop, txtLeft, txtRight, txtBottom, txtStitchMargin, txtHeader, txtFooter})
        connect(edit, &QLineEdit::textChanged, this, &TPageSetupForm::OptionChange);
    connect(rbStitchLeft, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) OptionChange();
    });
    connect(rbStitchTop, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) OptionChange();
    });
    connect(cmbHeaderAlign, &QComboBox::currentIndexChanged, this, &TPageSetupForm::OptionChange);
    connect(cmbFooterAlign, &QComboBox::currentIndexChanged, this, &TPageSetupForm::OptionChange);
    connect(btnHeaderFont, &QPushButton::clicked, this, &TPageSetupForm::btnHeaderFontClick);
    connect(btnFooterFont, &QPushButton::clicked, this, &TPageSetupForm::btnFooterFontClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    SetupPreview(viewBitmap, zoomedSize, graphic, backColor);
    SetupPanel();
    ShowOptions();
    FPageOption.CalcLayout(FPictureSize, FPrinter);
    ShowLayout();
    FUpdating = false;
}

TPageSetupForm::~TPageSetupForm() = default;

void TPageSetupForm::SetupPreview(const QImage* viewBitmap, QSize zoomedSize, const TGraphic* graphic,
                                  TColor backColor) {
    QImage image;
    if (viewBitmap && !viewBitmap->isNull()) {
        FPictureSize = viewBitmap->size();
        image = *viewBitmap;
    } else if (graphic && !graphic->IsEmpty() && zoomedSize.isValid()) {
        FPictureSize = zoomedSize;
        // The zoomed picture is only ever seen at the panel's scale: it is drawn at most that large.
        if (!zoomedSize.isEmpty()) {
            const QSize drawn =
                zoomedSize.width() <= kPreviewPictureSize && zoomedSize.height() <= kPreviewPictureSize
                    ? zoomedSize
                    : zoomedSize.scaled(kPreviewPictureSize, kPreviewPictureSize, Qt::KeepAspectRatio)
                          .expandedTo(QSize(1, 1));
            try {
                image = graphic->ToImage(drawn, backColor);
            } catch (const Exception&) {
                image = QImage(); // the layout is shown without the picture
            }
        }
    }
    imgPicture->SetImage(image);
    FAspect = FPictureSize.isValid() && FPictureSize.height() > 0
                  ? float(FPictureSize.width()) / float(FPictureSize.height())
                  : 0.0f;
}

void TPageSetupForm::SetupPanel() {
    const int pageWidth = FPrinter.width(), pageHeight = FPrinter.height();
    int w = kPanelWidth, h = kPanelHeight;
    if (pageWidth > 0 && pageHeight > 0) {
        const float p = float(pageWidth) / float(pageHeight);
        if (float(w) / float(h) > p)
            w = std::max(1, NearestPixel(double(h) * double(p)));
        else
            h = std::max(1, NearestPixel(double(w) / double(p)));
    }
    FPreviewScale = pageWidth > 0 ? float(w) / float(pageWidth) : 0.0f;
    // Centred in the group, below its title.
    const QRect area = grbPreview->rect().adjusted(10, 26, -10, -10);
    palPage->setGeometry(area.left() + (area.width() - w) / 2, area.top() + (area.height() - h) / 2, w, h);
}

void TPageSetupForm::SetEditValue(QLineEdit* edit, float value) {
    edit->setText(NumberText(value));
}

void TPageSetupForm::ShowOptions() {
    const TPageOption& o = FPageOption;
    cmbUnits->setCurrentIndex(unInches);
    FUnit = unInches;
    switch (o.SizeMode) {
    case TPageOption::smFullPage:
        rbFullPage->setChecked(true);
        break;
    case TPageOption::smSpecified:
        rbSpecifySize->setChecked(true);
        break;
    case TPageOption::smStretch:
        rbStretch->setChecked(true);
        break;
    default:
        rbOriginalSize->setChecked(true);
        break;
    }
    const bool picture = FPictureSize.isValid();
    float width = o.SpecWidth, height = o.SpecHeight;
    if (width == 0) width = picture ? float(FPictureSize.width()) / float(FPageOption.ScreenDpiX()) : 0.0f;
    if (height == 0) height = picture ? float(FPictureSize.height()) / float(FPageOption.ScreenDpiY()) : 0.0f;
    SetEditValue(txtWidth, width);
    SetEditValue(txtHeight, height);
    chkAspect->setChecked(o.KeepAspect);
    cmbPosition->setCurrentIndex(o.Position <= 8 ? o.Position : 0);
    SetEditValue(txtTop, o.MarginTop);
    SetEditValue(txtBottom, o.MarginBottom);
    SetEditValue(txtLeft, o.MarginLeft);
    SetEditValue(txtRight, o.MarginRight);
    SetEditValue(txtStitchMargin, o.StitchMargin);
    (o.StitchSide == 1 ? rbStitchTop : rbStitchLeft)->setChecked(true);
    txtHeader->setText(o.HeaderText);
    txtFooter->setText(o.FooterText);
    cmbHeaderAlign->setCurrentIndex(o.HeaderAlign <= 2 ? o.HeaderAlign : 0);
    cmbFooterAlign->setCurrentIndex(o.FooterAlign <= 2 ? o.FooterAlign : 0);
    lblHeaderFont->setText(FontText(o.HeaderFont));
    lblFooterFont->setText(FontText(o.FooterFont));
    const bool specified = o.SizeMode == TPageOption::smSpecified;
    for (QWidget* w : std::initializer_list<QWidget*>{txtWidth, updWidth, txtHeight, updHeight, chkAspect})
        w->setEnabled(specified);
}

void TPageSetupForm::ShowLayout() {
    const TPageInfo& layout = FPageOption.Layout;
    const double s = FPreviewScale;
    const auto scaled = [s](int v) { return NearestPixel(v * s); };

    const TPageRect& m = layout.MarginRect;
    const QRect box(QPoint(scaled(m.Left), scaled(m.Top)), QPoint(scaled(m.Right) - 1, scaled(m.Bottom) - 1));
    boxMargins->setGeometry(box);
    boxMargins->setVisible(box.width() > 0 && box.height() > 0);

    const QRect picture(scaled(layout.ImageLeft), scaled(layout.ImageTop), scaled(layout.ImageWidth),
                        scaled(layout.ImageHeight));
    imgPicture->setGeometry(picture);
    imgPicture->setVisible(FPictureSize.isValid() && picture.width() > 0 && picture.height() > 0);

    const auto showText = [&](TStretchLabel* label, const TTextInfo& text, int topShift) {
        if (text.Text.isEmpty()) {
            label->SetText(QString());
            label->hide();
            return;
        }
        label->setFont(text.Font ? *text.Font : font());
        label->SetText(text.Text);
        label->setGeometry(scaled(text.Left), scaled(text.Top) + topShift, scaled(text.Width),
                           scaled(text.Height));
        label->show();
    };
    showText(lblHeaderPreview, layout.Header, 0);
    // The footer sits one pixel higher, so that its last row stays on the panel.
    showText(lblFooterPreview, layout.Footer, -1);
}

void TPageSetupForm::Recompute() {
    if (FUpdating) return;
    const float u = FUnit == unInches ? 1.0f : kMmToInches;
    TPageOption& o = FPageOption;
    if (rbFullPage->isChecked())
        o.SizeMode = TPageOption::smFullPage;
    else if (rbSpecifySize->isChecked())
        o.SizeMode = TPageOption::smSpecified;
    else if (rbStretch->isChecked())
        o.SizeMode = TPageOption::smStretch;
    else
        o.SizeMode = TPageOption::smScreenSize;
    if (o.SizeMode == TPageOption::smSpecified) {
        o.SpecWidth = EditValue(txtWidth) * u;
        o.SpecHeight = EditValue(txtHeight) * u;
        o.KeepAspect = chkAspect->isChecked();
    }
    o.Position = quint8(std::max(0, cmbPosition->currentIndex()));
    o.MarginTop = EditValue(txtTop) * u;
    o.MarginBottom = EditValue(txtBottom) * u;
    o.MarginLeft = EditValue(txtLeft) * u;
    o.MarginRight = EditValue(txtRight) * u;
    o.StitchSide = rbStitchLeft->isChecked() ? 0 : 1;
    o.StitchMargin = EditValue(txtStitchMargin) * u;
    o.HeaderText = txtHeader->text();
    o.FooterText = txtFooter->text();
    o.HeaderAlign = quint8(std::max(0, cmbHeaderAlign->currentIndex()));
    o.FooterAlign = quint8(std::max(0, cmbFooterAlign->currentIndex()));
    o.CalcLayout(FPictureSize, FPrinter);
    ShowLayout();
}

void TPageSetupForm::OptionChange() {
    Recompute();
}

void TPageSetupForm::SizeModeClick() {
    if (FUpdating) return;
    const bool specified = rbSpecifySize->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{txtWidth, updWidth, txtHeight, updHeight, chkAspect})
        w->setEnabled(specified);
    Recompute();
}

void TPageSetupForm::txtWidthChange() {
    if (FUpdating) return;
    if (chkAspect->isChecked() && FAspect > 0) {
        FUpdating = true;
        SetEditValue(txtHeight, EditValue(txtWidth) / FAspect);
        FUpdating = false;
    }
    Recompute();
}

void TPageSetupForm::txtHeightChange() {
    if (FUpdating) return;
    if (chkAspect->isChecked() && FAspect > 0) {
        FUpdating = true;
        SetEditValue(txtWidth, EditValue(txtHeight) * FAspect);
        FUpdating = false;
    }
    Recompute();
}

void TPageSetupForm::chkAspectClick() {
    if (FUpdating) return;
    if (chkAspect->isChecked() && FAspect > 0) {
        FUpdating = true;
        SetEditValue(txtHeight, EditValue(txtWidth) / FAspect);
        FUpdating = false;
    }
    Recompute();
}

void TPageSetupForm::cmbUnitsChange() {
    const int unit = cmbUnits->currentIndex() == unMillimetres ? unMillimetres : unInches;
    if (unit == FUnit) return;
    const float factor = unit == unMillimetres ? kInchesToMm : kMmToInches;
    const bool wasUpdating = FUpdating;
    FUpdating = true;
    for (QLineEdit* edit : {txtWidth, txtHeight, txtTop, txtBottom, txtLeft, txtRight, txtStitchMargin})
        SetEditValue(edit, EditValue(edit) * factor);
    FUnit = unit;
    const QString unitText = unit == unMillimetres ? QStringLiteral("mm") : QStringLiteral("Inches");
    for (QLabel* label : {lblWidthUnit, lblHeightUnit, lblStitchUnit})
        label->setText(unitText);
    grbMargins->setTitle(QStringLiteral("Margins (") + cmbUnits->currentText() + QLatin1Char(')'));
    FUpdating = wasUpdating;
    Recompute();
}

void TPageSetupForm::ArrowClick(QLineEdit* edit, bool up) {
    const float value = EditValue(edit);
    if (up)
        SetEditValue(edit, value + 0.1f);
    else if (!(value < 0.1f))
        SetEditValue(edit, value - 0.1f);
}

void TPageSetupForm::btnHeaderFontClick() {
    const std::optional<QFont> font = Dialogs().ChooseFont(this, FPageOption.HeaderFont, QString());
    if (!font) return;
    FPageOption.HeaderFont = *font;
    lblHeaderFont->setText(FontText(FPageOption.HeaderFont));
    Recompute();
}

void TPageSetupForm::btnFooterFontClick() {
    const std::optional<QFont> font = Dialogs().ChooseFont(this, FPageOption.FooterFont, QString());
    if (!font) return;
    FPageOption.FooterFont = *font;
    lblFooterFont->setText(FontText(FPageOption.FooterFont));
    Recompute();
}

bool TPageSetupForm::FilterKey(QLineEdit* edit, const QKeyEvent& key) const {
    const QString text = key.text();
    // Control keys (editing, moving, shortcuts) pass.
    if (text.isEmpty() || text[0].unicode() < 0x20 || text[0].unicode() == 0x7F ||
        (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return true;
    if (text.size() != 1) return false;
    const QChar c = text[0];
    const QString current = edit->text();
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return true;
    if (c == QLatin1Char('.')) return !current.contains(QLatin1Char('.'));
    if (c == QLatin1Char('+') || c == QLatin1Char('-'))
        return !current.contains(QLatin1Char('+')) && !current.contains(QLatin1Char('-')) &&
               edit->cursorPosition() == 0;
    return false;
}

bool TPageSetupForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit && FNumberEdits.contains(edit) && !FilterKey(edit, *static_cast<QKeyEvent*>(event))) {
            QApplication::beep();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- The window's printing commands -------------------------------------------------------------

bool ExecutePageSetup(QWidget* owner, TPageOption& option, const QPaintDevice& printer,
                      const TGraphic* graphic, double zoom, TColor background, const QImage* viewBitmap) {
    const QSize zoomed = graphic && !graphic->IsEmpty()
                             ? ZoomedSize(QSize(graphic->Width(), graphic->Height()), zoom)
                             : QSize();
    TPageSetupForm form(owner, background, option, printer, viewBitmap, zoomed, graphic);
    if (Dialogs().Exec(form) != QDialog::Accepted) return false;
    option.Assign(form.PageOption());
    return true;
}

bool ExecutePrint(QWidget* parent, QPrinter& printer, TPageOption& option, const TGraphic* graphic,
                  double zoom, TColor background, const QString& fileName) {
    if (!graphic || graphic->IsEmpty()) return false;
    {
        const std::unique_ptr<QPrintDialog> dialog = MakePrintDialog(parent, printer);
        if (Dialogs().Exec(*dialog) != QDialog::Accepted) return false;
    }
    printer.setDocName(PrintJobTitle(fileName));
    TBusyCursor busy;
    PrintPicture(printer, option, *graphic, zoom, background);
    return true;
}
