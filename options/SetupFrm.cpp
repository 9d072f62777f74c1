#include "options/SetupFrm.h"

#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/Main.h"
#include "platform/Associations.h"
#include "tools/Thumbnail.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

static void InitOptionsResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(options); // the resources of a static library are registered by hand
        return true;
    }();
    (void)done;
}

namespace {

const QString kSystemInformation = QStringLiteral("System Information");
constexpr int kEffectRole = Qt::UserRole;

QCheckBox* CheckBox(const QString& caption, const QString& hint, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    if (!hint.isEmpty()) box->setToolTip(hint);
    return box;
}

// An up-down number box whose number cannot be typed.
QSpinBox* UpDown(int min, int max, bool wrap, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(min, max);
    box->setWrapping(wrap);
    if (auto* edit = box->findChild<QLineEdit*>()) edit->setReadOnly(true);
    return box;
}

Qt::CheckState QtState(int state) {
    return state == TSetupForm::csChecked ? Qt::Checked : state == TSetupForm::csPartly ? Qt::PartiallyChecked : Qt::Unchecked;
}

} // namespace

// --- Small widgets --------------------------------------------------------------------------------

TPictureBox::TPictureBox(QWidget* parent) : QFrame(parent) {}

void TPictureBox::SetImage(QImage image) {
    FImage = std::move(image);
    update();
}

void TPictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (FImage.isNull()) return;
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), FImage);
}

void TPictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Clicked();
    QFrame::mousePressEvent(event);
}

bool TCheckDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    if (!(model->flags(index) & Qt::ItemIsEnabled) || !index.data(Qt::CheckStateRole).isValid()) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        QStyleOptionViewItem viewOption(option);
        initStyleOption(&viewOption, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &viewOption, widget);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !check.contains(mouse->position().toPoint())) return false;
        if (event->type() == QEvent::MouseButtonRelease) emit Toggle(index);
        return true; // the press and the double click are ours too: the toolkit would toggle on them
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
        emit Toggle(index);
        return true;
    }
    default:
        return false;
    }
}

// --- The dialog -----------------------------------------------------------------------------------

TSetupForm::TSetupForm(QWidget* owner, std::unique_ptr<IDisplayModes> displayModes,
                       std::unique_ptr<TAssociations> associations)
    : QDialog(owner), FDisplay(std::move(displayModes)), FAssociations(std::move(associations)) {
    if (!FDisplay) FDisplay = OpenDisplayModes();
    if (!FAssociations) FAssociations = std::make_unique<TAssociations>();
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    pgcSetup = new QTabWidget(this);
    pgcSetup->addTab(MakeSlideShowTab(), QStringLiteral("Slide Show"));
    pgcSetup->addTab(MakeAssociationsTab(), QStringLiteral("File Associations"));
    pgcSetup->addTab(MakeDisplayModeTab(), QStringLiteral("Set Display Mode"));
    pgcSetup->addTab(MakeThumbnailTab(), QStringLiteral("Thumbnail"));
    pgcSetup->addTab(MakeMiscTab(), QStringLiteral("Misc"));

    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnSaveDefault = new QPushButton(QStringLiteral("&Save Default"), this);
    btnSelectAll = new QPushButton(QStringLiteral("Select &All"), this);
    btnUnselectAll = new QPushButton(QStringLiteral("&Unselect All"), this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnOK, btnCancel, btnSaveDefault}) buttons->addWidget(b);
    buttons->addSpacing(16);
    buttons->addWidget(btnSelectAll);
    buttons->addWidget(btnUnselectAll);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(pgcSetup, 1);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, [this] { done(mrOK); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(btnSaveDefault, &QPushButton::clicked, this, [this] { done(mrSaveDefault); });
    connect(btnSelectAll, &QPushButton::clicked, this, &TSetupForm::btnSelectAllClick);
    connect(btnUnselectAll, &QPushButton::clicked, this, &TSetupForm::btnUnselectAllClick);
    connect(pgcSetup, &QTabWidget::currentChanged, this, &TSetupForm::TabChanged);

    // Creation fills the display-mode list, sets the delay label and paints the thumbnail preview.
    FillDisplayModes();
    DelayChanged(trkDelay->value());
    ThumbSliderMoved();
    TabChanged(pgcSetup->currentIndex());

    const QSize hint = sizeHint();
    setFixedSize(std::max(527, hint.width()), std::max(362, hint.height()));
    if (owner) move(owner->frameGeometry().center() - rect().center());
}

TSetupForm::~TSetupForm() = default;

QWidget* TSetupForm::MakeSlideShowTab() {
    auto* page = new QWidget;
    rdgSequence = new QGroupBox(QStringLiteral("Sequence"), page);
    rdgSequence->setToolTip(QStringLiteral("the display order of images in slide show"));
    grpSequence = new QButtonGroup(this);
    rbForward = new QRadioButton(QStringLiteral("&Forward"), rdgSequence);
    rbReverse = new QRadioButton(QStringLiteral("&Reverse"), rdgSequence);
    rbRandom = new QRadioButton(QStringLiteral("R&andom"), rdgSequence);
    auto* sequence = new QVBoxLayout(rdgSequence);
    int id = 0;
    for (QRadioButton* rb : {rbForward, rbReverse, rbRandom}) {
        grpSequence->addButton(rb, id++);
        sequence->addWidget(rb);
    }
    rbForward->setChecked(true);

    grbDelay = new QGroupBox(QStringLiteral("Time &Delay"), page);
    trkDelay = new QSlider(Qt::Horizontal, grbDelay);
    trkDelay->setRange(0, 20);
    trkDelay->setToolTip(QStringLiteral("delay between display two images in slide show"));
    trkDelay->setTickPosition(QSlider::TicksBelow);
    labDelay = new QLabel(grbDelay);
    labDelay->setMinimumWidth(labDelay->fontMetrics().horizontalAdvance(QStringLiteral("20 sec ")));
    auto* delay = new QHBoxLayout(grbDelay);
    delay->addWidget(trkDelay, 1);
    delay->addWidget(labDelay);
    // The group's mnemonic reaches the slider.
    grbDelay->setFocusProxy(trkDelay);
    connect(trkDelay, &QSlider::valueChanged, this, &TSetupForm::DelayChanged);

    chkRepeat = CheckBox(QStringLiteral("S&lide show images repeatedly"),
                         QStringLiteral("Not stop the slide show when the last image of a sequence is reached"), page);

    labEffects = new QLabel(QStringLiteral("Special &effects"), page);
    tvEffects = new QTreeWidget(page);
    tvEffects->setHeaderHidden(true);
    tvEffects->setToolTip(QStringLiteral("special display effects in slide show"));
    labEffects->setBuddy(tvEffects);
    for (const TEffectCategory& category : EffectTree()) {
        auto* node = new QTreeWidgetItem(tvEffects, {category.Name});
        node->setData(0, kEffectRole, -1);
        node->setData(0, Qt::CheckStateRole, Qt::Checked);
        for (const int effect : category.Effects) {
            auto* leaf = new QTreeWidgetItem(node, {EffectName(effect)});
            leaf->setData(0, kEffectRole, effect);
            leaf->setData(0, Qt::CheckStateRole, Qt::Checked);
        }
    }
    auto* delegate = new TCheckDelegate(tvEffects);
    tvEffects->setItemDelegate(delegate);
    connect(delegate, &TCheckDelegate::Toggle, this, [this](const QModelIndex& index) {
        if (QTreeWidgetItem* node = tvEffects->itemFromIndex(index)) ToggleNode(node);
    });
    connect(tvEffects, &QTreeWidget::currentItemChanged, this, &TSetupForm::EffectSelected);

    palPreview = new TPictureBox(page);
    palPreview->setFrameStyle(QFrame::Panel | QFrame::Raised);
    palPreview->setLineWidth(1);
    palPreview->setFixedSize(100 + 2 * palPreview->frameWidth(), 100 + 2 * palPreview->frameWidth());
    palPreview->setAutoFillBackground(true);
    btnPreview = new QPushButton(QStringLiteral("&Preview Effect"), page);
    btnPreview->setEnabled(false);
    connect(btnPreview, &QPushButton::clicked, this, &TSetupForm::btnPreviewClick);

    auto* left = new QVBoxLayout;
    left->addWidget(rdgSequence);
    left->addWidget(grbDelay);
    left->addWidget(chkRepeat);
    left->addStretch();
    auto* preview = new QVBoxLayout;
    preview->addWidget(palPreview, 0, Qt::AlignHCenter);
    preview->addWidget(btnPreview);
    preview->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(labEffects);
    auto* tree = new QHBoxLayout;
    tree->addWidget(tvEffects, 1);
    tree->addLayout(preview);
    right->addLayout(tree, 1);
    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addLayout(right, 1);
    return page;
}

QWidget* TSetupForm::MakeAssociationsTab() {
    auto* page = new QWidget;
    labTypes = new QLabel(QStringLiteral("All supported file &types:"), page);
    lvTypes = new QTreeWidget(page);
    lvTypes->setRootIsDecorated(false);
    lvTypes->setColumnCount(3);
    lvTypes->setHeaderLabels({QStringLiteral("Format"), QStringLiteral("Description"), QStringLiteral("File extensions")});
    lvTypes->setColumnWidth(0, 75);
    lvTypes->setColumnWidth(1, 140);
    lvTypes->setColumnWidth(2, 117);
    lvTypes->setIconSize(QSize(16, 16)); // the 32 x 32 icons, shown small as a report list shows them
    labTypes->setBuddy(lvTypes);
    btnAssociate = new QPushButton(QStringLiteral("&Associate"), page);
    connect(btnAssociate, &QPushButton::clicked, this, &TSetupForm::btnAssociateClick);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(labTypes);
    layout->addWidget(lvTypes, 1);
    layout->addWidget(btnAssociate, 0, Qt::AlignRight);
    return page;
}

QWidget* TSetupForm::MakeDisplayModeTab() {
    auto* page = new QWidget;
    labMode = new QLabel(QStringLiteral("Display &Mode"), page);
    cmbModes = new QComboBox(page);
    labMode->setBuddy(cmbModes);
    chkRegistry = CheckBox(QStringLiteral("Modify System's &Registry"),
                           QStringLiteral("the changed display mode for the current screen will be updated in the "
                                          "registry so that it will keep after restart the system"),
                           page);
    btnChange = new QPushButton(QStringLiteral("&Change"), page);
    btnDefault = new QPushButton(QStringLiteral("&Default Mode"), page);
    connect(btnChange, &QPushButton::clicked, this, &TSetupForm::btnChangeClick);
    connect(btnDefault, &QPushButton::clicked, this, &TSetupForm::btnDefaultClick);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(labMode);
    layout->addWidget(cmbModes);
    layout->addWidget(chkRegistry);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnChange);
    row->addWidget(btnDefault);
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

QWidget* TSetupForm::MakeThumbnailTab() {
    auto* page = new QWidget;
    auto slider = [page](Qt::Orientation o, int min, int max, int tick) {
        auto* s = new QSlider(o, page);
        s->setRange(min, max);
        s->setPageStep(10);
        s->setTickInterval(tick);
        s->setTickPosition(QSlider::TicksBelow);
        if (o == Qt::Vertical) s->setInvertedAppearance(true); // the least at the top
        return s;
    };
    trkWidth = slider(Qt::Horizontal, 20, 190, 10);
    trkHeight = slider(Qt::Vertical, 20, 190, 10);
    trkBorder = slider(Qt::Vertical, 0, 25, 2);
    trkBorder->setPageStep(trkBorder->pageStep());
    auto* labWidth = new QLabel(QStringLiteral("&Width"), page);
    labWidth->setBuddy(trkWidth);
    auto* labHeight = new QLabel(QStringLiteral("&Height"), page);
    labHeight->setBuddy(trkHeight);
    auto* labBorder = new QLabel(QStringLiteral("&Border"), page);
    labBorder->setBuddy(trkBorder);
    palThumb = new TPictureBox(page);
    palThumb->setFixedSize(261, 222);
    txtWidth = new QLineEdit(page);
    txtHeight = new QLineEdit(page);
    auto* labSize = new QLabel(QStringLiteral("&Size:"), page);
    labSize->setBuddy(txtWidth);
    updCol = new QSpinBox(page);
    updCol->setRange(1, 32767);
    updCol->setWrapping(false);
    // The number box is read-only, the buttons step it; digits typed are dropped (see eventFilter).
    if (auto* edit = updCol->findChild<QLineEdit*>()) edit->setReadOnly(true);
    auto* labCol = new QLabel(QStringLiteral("Number of Co&lumns :"), page);
    labCol->setBuddy(updCol);
    chkThumbHint = CheckBox(QStringLiteral("Show &Hint for the Thumbnails"), QString(), page);
    for (QLineEdit* e : {txtWidth, txtHeight}) {
        e->setMaximumWidth(48);
        e->installEventFilter(this);
    }
    if (auto* edit = updCol->findChild<QLineEdit*>()) edit->installEventFilter(this);
    for (QSlider* s : {trkWidth, trkHeight, trkBorder}) connect(s, &QSlider::valueChanged, this, &TSetupForm::ThumbSliderMoved);
    connect(txtWidth, &QLineEdit::textEdited, this, [this] { ThumbTextEdited(txtWidth, trkWidth); });
    connect(txtHeight, &QLineEdit::textEdited, this, [this] { ThumbTextEdited(txtHeight, trkHeight); });

    auto* grid = new QGridLayout(page);
    grid->addWidget(labWidth, 0, 1, Qt::AlignLeft);
    grid->addWidget(trkWidth, 0, 2);
    grid->addWidget(labHeight, 1, 0, Qt::AlignTop);
    auto* heightColumn = new QHBoxLayout;
    heightColumn->addWidget(trkHeight);
    grid->addLayout(heightColumn, 1, 1);
    grid->addWidget(palThumb, 1, 2);
    grid->addWidget(trkBorder, 1, 3);
    grid->addWidget(labBorder, 1, 4, Qt::AlignTop);
    auto* sizes = new QHBoxLayout;
    sizes->addWidget(labSize);
    sizes->addWidget(txtWidth);
    sizes->addWidget(new QLabel(QStringLiteral("x"), page));
    sizes->addWidget(txtHeight);
    sizes->addWidget(new QLabel(QStringLiteral("pixel"), page));
    sizes->addSpacing(12);
    sizes->addWidget(labCol);
    sizes->addWidget(updCol);
    sizes->addStretch();
    grid->addLayout(sizes, 2, 0, 1, 5);
    grid->addWidget(chkThumbHint, 3, 0, 1, 5);
    grid->setColumnStretch(5, 1); // the sliders keep to the preview's edges
    grid->setRowStretch(4, 1);
    return page;
}

QWidget* TSetupForm::MakeMiscTab() {
    auto* page = new QWidget;
    chkHideMouse = CheckBox(QStringLiteral("&Hide mouse cursor in full-screen"),
                            QStringLiteral("check it if you want to hide mouse cursor in full screen mode"), page);
    chkOnTop = CheckBox(QStringLiteral("&Always on top"), QStringLiteral("lumenor's window is on top most"), page);
    labBackground = new QLabel(QStringLiteral("&Background color:"), page);
    labBackground->setToolTip(QStringLiteral("the background color of the window"));
    palColor = new TPictureBox(page);
    palColor->setFixedSize(18, 18);
    palColor->setFrameStyle(QFrame::Box | QFrame::Plain);
    palColor->setAutoFillBackground(true);
    palColor->setFocusPolicy(Qt::StrongFocus);
    palColor->installEventFilter(this);
    labBackground->setBuddy(palColor);
    connect(palColor, &TPictureBox::Clicked, this, &TSetupForm::palColorClick);
    chkWhiteBG = CheckBox(QStringLiteral("&Use white background for vector graphics"),
                          QStringLiteral("Set background to white when displaying vector graphics"), page);
    chkAutoFit = CheckBox(QStringLiteral("Fit vector graphics to the window automatically"),
                          QStringLiteral("Autofit vector graphics so that you can see the panorama of the graphic "), page);

    auto* grbPhoto = new QGroupBox(QStringLiteral("Photo-CD"), page);
    auto* labPhoto = new QLabel(QStringLiteral("Max &resolution"), grbPhoto);
    cmbPhotoSize = new QComboBox(grbPhoto);
    cmbPhotoSize->addItems({QStringLiteral("BASE/16(192x168)"), QStringLiteral("BASE/4(384x256)"), QStringLiteral("BASE(768x512)")});
    cmbPhotoSize->setToolTip(QStringLiteral("max resolution for photo cd images when displayed"));
    labPhoto->setBuddy(cmbPhotoSize);
    auto* photo = new QHBoxLayout(grbPhoto);
    photo->addWidget(labPhoto);
    photo->addWidget(cmbPhotoSize, 1);

    auto* grbDxf = new QGroupBox(QStringLiteral("AutoDesk DXF"), page);
    chkDrawVertices = CheckBox(QStringLiteral("Draw &vertices"), QStringLiteral("draw vertices when displaying dxf images"), grbDxf);
    chkHideBlock = CheckBox(QStringLiteral("Hide block &definations"),
                            QStringLiteral("hide block definations whe displaying dxf images"), grbDxf);
    chkSolidFill = CheckBox(QStringLiteral("&Solid fill"), QStringLiteral("fill solid shapes when displaying dxf images"), grbDxf);
    auto* labDxfLine = new QLabel(QStringLiteral("&Line width"), grbDxf);
    updDxfLine = UpDown(1, 10, true, grbDxf);
    labDxfLine->setBuddy(updDxfLine);
    auto* dxf = new QGridLayout(grbDxf);
    dxf->addWidget(chkDrawVertices, 0, 0, 1, 2);
    dxf->addWidget(chkHideBlock, 1, 0, 1, 2);
    dxf->addWidget(chkSolidFill, 2, 0, 1, 2);
    dxf->addWidget(labDxfLine, 3, 0);
    dxf->addWidget(updDxfLine, 3, 1);

    auto* grbHpgl = new QGroupBox(QStringLiteral("HPGL && HPGL/2"), page);
    chkRealWidth = CheckBox(QStringLiteral("Using &real line width"), QStringLiteral("Use the real line width of the HPGL graphic"), grbHpgl);
    auto* labHpglLine = new QLabel(QStringLiteral("&Line width"), grbHpgl);
    updHpglLine = UpDown(1, 10, true, grbHpgl);
    labHpglLine->setBuddy(updHpglLine);
    connect(chkRealWidth, &QCheckBox::toggled, updHpglLine, &QWidget::setDisabled);
    auto* hpgl = new QGridLayout(grbHpgl);
    hpgl->addWidget(chkRealWidth, 0, 0, 1, 2);
    hpgl->addWidget(labHpglLine, 1, 0);
    hpgl->addWidget(updHpglLine, 1, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(chkHideMouse);
    left->addWidget(chkOnTop);
    auto* colour = new QHBoxLayout;
    colour->addWidget(labBackground);
    colour->addWidget(palColor);
    colour->addStretch();
    left->addLayout(colour);
    left->addWidget(chkWhiteBG);
    left->addWidget(chkAutoFit);
    left->addWidget(grbPhoto);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(grbDxf);
    right->addWidget(grbHpgl);
    right->addStretch();
    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addLayout(right);
    return page;
}

// --- Settings -------------------------------------------------------------------------------------

void TSetupForm::SetSettings(const TSettings& s) {
    if (QAbstractButton* b = grpSequence->button(s.SlideType)) b->setChecked(true);
    trkDelay->setValue(s.Interval);
    chkRepeat->setChecked(s.Repeat);
    trkWidth->setValue(s.ThumbWidth);
    trkHeight->setValue(s.ThumbHeight);
    trkBorder->setValue(s.ThumbBorderWidth);
    updCol->setValue(qint16(s.ThumbCol) < 1 ? 1 : qint16(s.ThumbCol)); // the dialog keeps columns in 16 bits
    chkThumbHint->setChecked(s.ThumbShowHint);
    chkHideMouse->setChecked(s.HideMouse);
    chkOnTop->setChecked(s.StayOnTop);
    cmbPhotoSize->setCurrentIndex(s.PhotoSize);
    SetColor(s.BackgroundColor);
    chkWhiteBG->setChecked(s.WhiteBG);
    chkAutoFit->setChecked(s.AutoFitVector);
    LoadEffectMasks(s.Effects);
    chkDrawVertices->setChecked(s.DxfDrawVertices);
    chkSolidFill->setChecked(s.DxfFillSolid);
    chkHideBlock->setChecked(s.DxfHideBlock);
    updDxfLine->setValue(s.DxfLineWidth);
    chkRealWidth->setChecked(s.HpglRealWidth);
    updHpglLine->setValue(s.HpglLineWidth);
    updHpglLine->setDisabled(s.HpglRealWidth);
    ThumbSliderMoved();
}

void TSetupForm::GetSettings(TSettings& s) const {
    s.SlideType = std::max(0, grpSequence->checkedId());
    s.Interval = trkDelay->value();
    s.Repeat = chkRepeat->isChecked();
    s.ThumbWidth = trkWidth->value();
    s.ThumbHeight = trkHeight->value();
    s.ThumbBorderWidth = trkBorder->value();
    s.ThumbCol = updCol->value();
    s.ThumbShowHint = chkThumbHint->isChecked();
    s.HideMouse = chkHideMouse->isChecked();
    s.StayOnTop = chkOnTop->isChecked();
    s.PhotoSize = std::max(0, cmbPhotoSize->currentIndex());
    s.BackgroundColor = FColor;
    s.WhiteBG = chkWhiteBG->isChecked();
    s.AutoFitVector = chkAutoFit->isChecked();
    s.Effects = SaveEffectMasks();
    s.DxfDrawVertices = chkDrawVertices->isChecked();
    s.DxfFillSolid = chkSolidFill->isChecked();
    s.DxfHideBlock = chkHideBlock->isChecked();
    s.DxfLineWidth = quint8(updDxfLine->value());
    s.HpglRealWidth = chkRealWidth->isChecked();
    s.HpglLineWidth = quint8(updHpglLine->value());
}

// --- The effect tree ------------------------------------------------------------------------------

int TSetupForm::NodeEffect(const QTreeWidgetItem* node) {
    return node ? node->data(0, kEffectRole).toInt() : -1;
}

int TSetupForm::NodeState(const QTreeWidgetItem* node) {
    switch (node->checkState(0)) {
    case Qt::Checked: return csChecked;
    case Qt::PartiallyChecked: return csPartly;
    default: return csUnchecked;
    }
}

QTreeWidgetItem* TSetupForm::EffectNode(int id) const {
    for (int i = 0; i < tvEffects->topLevelItemCount(); ++i) {
        QTreeWidgetItem* category = tvEffects->topLevelItem(i);
        for (int j = 0; j < category->childCount(); ++j)
            if (NodeEffect(category->child(j)) == id) return category->child(j);
    }
    return nullptr;
}

void TSetupForm::SetNodeState(QTreeWidgetItem* node, int state) {
    std::function<void(QTreeWidgetItem*)> down = [&](QTreeWidgetItem* n) {
        n->setCheckState(0, QtState(state));
        for (int i = 0; i < n->childCount(); ++i) down(n->child(i));
    };
    down(node);
    for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent()) {
        int common = NodeState(parent->child(0));
        for (int i = 1; i < parent->childCount(); ++i)
            if (NodeState(parent->child(i)) != common) common = csPartly;
        parent->setCheckState(0, QtState(common));
    }
}

void TSetupForm::ToggleNode(QTreeWidgetItem* node) {
    SetNodeState(node, NodeState(node) == csUnchecked ? csChecked : csUnchecked);
}

void TSetupForm::LoadEffectMasks(const TEffectMasks& masks) {
    for (int i = 0; i < tvEffects->topLevelItemCount(); ++i) {
        QTreeWidgetItem* category = tvEffects->topLevelItem(i);
        for (int j = 0; j < category->childCount(); ++j) {
            const int s = NodeEffect(category->child(j));
            if (s / 32 > 4) return;
            SetNodeState(category->child(j), (masks[s / 32] >> (s % 32)) & 1 ? csChecked : csUnchecked);
        }
    }
}

TEffectMasks TSetupForm::SaveEffectMasks() const {
    TEffectMasks masks{0, 0, 0, 0, 0};
    for (int i = 0; i < tvEffects->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* category = tvEffects->topLevelItem(i);
        for (int j = 0; j < category->childCount(); ++j) {
            const int s = NodeEffect(category->child(j));
            if (s / 32 > 4) return masks;
            if (NodeState(category->child(j)) == csChecked) masks[s / 32] |= quint32(1) << (s % 32);
        }
    }
    return masks;
}

void TSetupForm::btnSelectAllClick() {
    if (pgcSetup->currentIndex() == 0) {
        for (int i = 0; i < tvEffects->topLevelItemCount(); ++i) SetNodeState(tvEffects->topLevelItem(i), csChecked);
    } else if (pgcSetup->currentIndex() == 1) {
        for (int i = 0; i < lvTypes->topLevelItemCount(); ++i) lvTypes->topLevelItem(i)->setCheckState(0, Qt::Checked);
    }
}

void TSetupForm::btnUnselectAllClick() {
    if (pgcSetup->currentIndex() == 0) {
        for (int i = 0; i < tvEffects->topLevelItemCount(); ++i) SetNodeState(tvEffects->topLevelItem(i), csUnchecked);
    } else if (pgcSetup->currentIndex() == 1) {
        for (int i = 0; i < lvTypes->topLevelItemCount(); ++i) lvTypes->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    }
}

void TSetupForm::TabChanged(int index) {
    btnSelectAll->setVisible(index == 0 || index == 1);
    btnUnselectAll->setVisible(index == 0 || index == 1);
    if (index == 1 && !FTypesFilled && !FFillingTypes) QTimer::singleShot(0, this, &TSetupForm::FillTypeList);
}

void TSetupForm::DelayChanged(int value) {
    labDelay->setText(QString::number(value) + QStringLiteral(" sec"));
}

// --- The effect preview ---------------------------------------------------------------------------

QImage TSetupForm::SamplePicture() {
    InitOptionsResources();
    QImage picture(QStringLiteral(":/options/sample.jpg"));
    if (picture.isNull()) { // never without the resource; a grey square keeps the previews working
        picture = QImage(100, 100, QImage::Format_RGB888);
        picture.fill(Qt::gray);
    }
    return picture.convertToFormat(QImage::Format_RGB888);
}

void TSetupForm::EffectSelected() {
    QTreeWidgetItem* node = tvEffects->currentItem();
    const bool effect = node && NodeEffect(node) >= 0;
    btnPreview->setEnabled(effect);
    if (!effect) StopPreview();
}

void TSetupForm::StopPreview() {
    FStopPreview = true;
}

void TSetupForm::btnPreviewClick() {
    if (FPreviewing) {
        StopPreview();
        return;
    }
    QTreeWidgetItem* node = tvEffects->currentItem();
    if (!node) {
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Please select the effect to be previewed"));
        return;
    }
    QPointer<TSetupForm> alive(this);
    FPreviewing = true;
    FStopPreview = false;
    btnPreview->setText(QStringLiteral("&Stop Preview"));
    const QImage source = SamplePicture();
    QImage target(source.size(), QImage::Format_RGB888);
    const QColor face = palette().color(QPalette::Button);
    TEffectRandom random(quint64(QDateTime::currentMSecsSinceEpoch()));
    while (!FStopPreview && !FClosing) {
        target.fill(face);
        for (int progress = 0; progress <= 100 && !FStopPreview && !FClosing; progress += 4) {
            QElapsedTimer clock;
            clock.start();
            const int current = NodeEffect(tvEffects->currentItem());
            const int effectNo = current >= 0 ? current + 1 : 0;
            DrawEffect(TEffectView{}, effectNo, source, target, progress, 4, random);
            palPreview->SetImage(target);
            ++FPreviewFrames;
            if (OnPreviewStep) OnPreviewStep(progress);
            do {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                if (!alive) return;
                if (clock.elapsed() < kPreviewStepMs) QThread::msleep(1);
            } while (clock.elapsed() < kPreviewStepMs && !FStopPreview && !FClosing);
        }
    }
    FPreviewing = false;
    palPreview->SetImage(QImage());
    btnPreview->setText(QStringLiteral("&Preview Effect"));
}

// --- Thumbnail tab --------------------------------------------------------------------------------

bool TSetupForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const bool numberBox = watched == txtWidth || watched == txtHeight ||
                               (updCol && watched == updCol->findChild<QLineEdit*>());
        if (numberBox) {
            // Only digits and control characters (and keys that type nothing) reach the box.
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && !text[0].isDigit() && !text[0].isNull() && text[0].unicode() >= 32 &&
                text[0].unicode() != 127) {
                QApplication::beep();
                return true;
            }
        }
        if (watched == palColor) {
            const int k = static_cast<QKeyEvent*>(event)->key();
            if (k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) {
                palColorClick();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSetupForm::ThumbSliderMoved() {
    if (FEchoing) {
        RepaintThumbPreview();
        return;
    }
    txtWidth->setText(QString::number(trkWidth->value()));
    txtHeight->setText(QString::number(trkHeight->value()));
    RepaintThumbPreview();
}

void TSetupForm::ThumbTextEdited(QLineEdit* box, QSlider* slider) {
    bool ok = false;
    const int value = box->text().toInt(&ok);
    if (!ok) return; // not a number: ignored
    FEchoing = true;
    slider->setValue(value); // the slider keeps its range; the box keeps what was typed
    FEchoing = false;
}

QImage TSetupForm::ThumbnailPreview() const {
    const QSize box = palThumb->size();
    QImage image(box, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    // A sunken frame of one pixel.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, box.width() - 1, 0);
    p.drawLine(0, 0, 0, box.height() - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(box.width() - 1, 0, box.width() - 1, box.height() - 1);
    p.drawLine(0, box.height() - 1, box.width() - 1, box.height() - 1);
    const QFontMetrics metrics(font());
    const int textHeight = metrics.height(); // the height of "gh"
    const int w = trkWidth->value(), h = trkHeight->value(), border = trkBorder->value();
    const int cellW = w + 2 * border, cellH = h + 2 * border + textHeight;
    const QRect cell((box.width() - cellW) / 2, (box.height() - cellH) / 2, cellW, cellH);
    p.setPen(QColor(192, 192, 192));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
    p.setPen(Qt::black);
    p.setFont(font());
    const QRect caption(cell.left(), cell.bottom() + 1 - textHeight, cell.width(), textHeight);
    p.drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
               metrics.elidedText(QStringLiteral("MyPictureShownAsThumbnail.jpg"), Qt::ElideRight, cell.width()));
    const QRect area = QRect(cell.left(), cell.top(), cell.width(), cell.height() - textHeight)
                           .adjusted(border, border, -border, -border);
    static const QImage sample = SamplePicture();
    QRect fit;
    if (CalcFitRect(area, sample.size(), fit)) p.drawImage(fit, sample);
    return image;
}

void TSetupForm::RepaintThumbPreview() {
    if (palThumb) palThumb->SetImage(ThumbnailPreview());
}

// --- Misc tab -------------------------------------------------------------------------------------

void TSetupForm::SetColor(TColor colour) {
    FColor = colour & 0xFFFFFF;
    QPalette pal = palColor->palette();
    pal.setColor(QPalette::Window, ToQColor(FColor));
    palColor->setPalette(pal);
}

void TSetupForm::palColorClick() {
    if (const std::optional<QColor> chosen = Dialogs().ChooseColor(this, ToQColor(FColor), QString())) SetColor(FromQColor(*chosen));
}

// --- File associations ----------------------------------------------------------------------------

void TSetupForm::FillTypeList() {
    if (FTypesFilled || FFillingTypes) return;
    FFillingTypes = true;
    QPointer<TSetupForm> alive(this);
    const QImage programIcon = ProgramIcon().pixmap(32, 32).toImage();
    TColor c = 0;
    lvTypes->clear();
    int row = 0;
    for (const TFileTypeRow& type : FileTypeRows()) {
        if (FClosing) break;
        auto* item = new QTreeWidgetItem(lvTypes, {type.Format, type.Description, type.Extensions});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const QString iconPath = FileTypeIconPath(type.Format);
        if (!QFileInfo::exists(iconPath)) {
            if (WriteFileTypeIcon(iconPath, type.Format.left(3), c, programIcon)) c += kFileTypeIconStep;
        }
        if (QFileInfo::exists(iconPath)) item->setIcon(0, QIcon(iconPath));
        bool associated = false;
        for (const QString& ext : SplitExtensions(type.Extensions))
            if (FAssociations->IsAssociated(QLatin1Char('.') + ext)) {
                associated = true;
                break;
            }
        item->setCheckState(0, associated ? Qt::Checked : Qt::Unchecked);
        if (OnTypeRowFilled) OnTypeRowFilled(row);
        ++row;
        QCoreApplication::processEvents();
        if (!alive) return;
    }
    FFillingTypes = false;
    FTypesFilled = !FClosing && lvTypes->topLevelItemCount() == int(FileTypeRows().size());
}

void TSetupForm::btnAssociateClick() {
    if (!FTypesFilled) FillTypeList();
    const QString program = QCoreApplication::applicationFilePath();
    QStringList failed;
    {
        TBusyCursor busy;
        for (int i = 0; i < lvTypes->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = lvTypes->topLevelItem(i);
            QString iconPath = FileTypeIconPath(item->text(0));
            if (!QFileInfo::exists(iconPath)) iconPath.clear();
            const bool checked = item->checkState(0) == Qt::Checked;
            for (const QString& ext : SplitExtensions(item->text(2))) {
                const bool ok = checked ? FAssociations->Associate(QLatin1Char('.') + ext, AssociationDescription(ext), iconPath, program)
                                        : FAssociations->Unassociate(QLatin1Char('.') + ext);
                if (!ok) failed << ext;
            }
        }
        FAssociations->NotifyChanged();
    }
    if (!failed.isEmpty())
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"),
                    QStringLiteral("The associations of these file types could not be written: ") + failed.join(QStringLiteral(", ")));
}

// --- Display mode ---------------------------------------------------------------------------------

void TSetupForm::FillDisplayModes() {
    const std::optional<TDisplayMode> current = FDisplay->Current();
    FModes = FDisplay->Modes();
    cmbModes->clear();
    int selected = -1;
    for (const TDisplayMode& mode : FModes) {
        cmbModes->addItem(DisplayModeText(mode));
        if (selected < 0 && current && mode.SameAs(*current)) selected = cmbModes->count() - 1;
    }
    cmbModes->setCurrentIndex(selected);
}

void TSetupForm::btnChangeClick() {
    TMessage confirm;
    confirm.Icon = QMessageBox::Warning;
    confirm.Caption = kSystemInformation;
    confirm.Text = QStringLiteral("Warning: This will change the current display mode dynamically. The screen may be "
                                  "unstable after this. Are you sure? (for your safety, we will test the mode before "
                                  "do actual change)");
    confirm.Buttons = QMessageBox::Ok | QMessageBox::Cancel;
    confirm.Default = QMessageBox::Cancel;
    if (Dialogs().Message(this, confirm) != QMessageBox::Ok) return;

    TDisplayChange result = TDisplayChange::Error;
    const int index = cmbModes->currentIndex();
    const std::optional<TDisplayMode> old = FDisplay->Current();
    bool reverted = false;
    if (index >= 0 && index < int(FModes.size())) {
        const TDisplayMode wanted = FModes[size_t(index)];
        // The mode is looked up again: one the display no longer offers is refused before any change.
        result = ChangeDisplayMode(*FDisplay, wanted, chkRegistry->isChecked());
        const bool changed = result == TDisplayChange::Successful || result == TDisplayChange::NotUpdated;
        if (changed && old && !old->SameAs(wanted)) {
            // A mode the screen cannot show must not stay: unless confirmed in time, the old one returns.
            TMessage keep;
            keep.Icon = QMessageBox::Question;
            keep.Caption = kSystemInformation;
            keep.Text = QStringLiteral("Do you want to keep this display mode? The previous mode comes back in %1 seconds.")
                            .arg(kKeepModeSeconds);
            keep.Buttons = QMessageBox::Yes | QMessageBox::No;
            keep.Default = QMessageBox::No;
            bool timedOut = false;
            QTimer timer;
            timer.setSingleShot(true);
            connect(&timer, &QTimer::timeout, this, [&timedOut] {
                timedOut = true;
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
            });
            timer.start(kKeepModeSeconds * 1000);
            const QMessageBox::StandardButton answer = Dialogs().Message(this, keep);
            timer.stop();
            if (timedOut || answer != QMessageBox::Yes) {
                ChangeDisplayMode(*FDisplay, *old, false);
                reverted = true;
            }
        }
    }
    if (reverted)
        ShowMessage(this, QMessageBox::Information, kSystemInformation, QStringLiteral("The previous display mode was restored"));
    else
        ShowMessage(this, result == TDisplayChange::Error ? QMessageBox::Critical : QMessageBox::Information,
                    kSystemInformation, DisplayChangeMessage(result));
    FillDisplayModes();
}

void TSetupForm::btnDefaultClick() {
    TMessage confirm;
    confirm.Icon = QMessageBox::Question;
    confirm.Caption = kSystemInformation;
    confirm.Text = QStringLiteral("This will restore the default display mode in system's registry. Are you sure?");
    confirm.Buttons = QMessageBox::Ok | QMessageBox::Cancel;
    confirm.Default = QMessageBox::Cancel;
    if (Dialogs().Message(this, confirm) != QMessageBox::Ok) return;
    const TDisplayChange result = FDisplay->RestoreDefault();
    // Success is silent; a failure is never passed over.
    if (result != TDisplayChange::Successful)
        ShowMessage(this, QMessageBox::Critical, kSystemInformation, DisplayChangeMessage(result));
    FillDisplayModes();
}

// --- Closing --------------------------------------------------------------------------------------

void TSetupForm::done(int result) {
    // The preview and the filling loops end at their next step.
    FClosing = true;
    FStopPreview = true;
    QDialog::done(result);
}

void TSetupForm::reject() {
    done(mrCancel);
}

void TSetupForm::closeEvent(QCloseEvent* event) {
    FClosing = true;
    FStopPreview = true;
    QDialog::closeEvent(event);
}

// --- The window's command -------------------------------------------------------------------------

TOptionsController::TOptionsController(TMainForm& form) : QObject(&form), FForm(form) {
    form.Connect("ToolSetupAction", [this] { Execute(); });
}

int TOptionsController::Execute() {
    TSetupForm form(&FForm);
    form.SetSettings(FForm.Settings());
    const int result = Dialogs().Exec(form);
    if (result == TSetupForm::mrOK || result == TSetupForm::mrSaveDefault) {
        form.GetSettings(FForm.Settings());
        FForm.ApplySettings();
        if (result == TSetupForm::mrSaveDefault) SaveSettings(FForm.Settings());
    }
    return result;
}
