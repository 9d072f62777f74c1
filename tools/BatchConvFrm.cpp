#include "tools/BatchConvFrm.h"

#include "app/Dialogs.h"
#include "codec/Registry.h"
#include "platform/Volumes.h"
#include "tools/FormatOptionFrm.h"
#include "tools/ListHints.h"
#include "tools/NumberKeys.h"
#include "tools/PageColorFrm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

const char* const kTargetFilter =
    "JPEG images(*.JPG)|*.JPG|CompuServe (87a, 89a)(*.GIF)|*.GIF|Portable network graphic(*.PNG)|*.PNG|Tagged "
    "image file format(*.TIF)|*.TIF|Windows icons(*.ICO)|*.ICO|Crypted image file(*.CIF)|*.CIF|Windows "
    "bitmaps(*.BMP)|*.BMP|Wireless Bitmap(*.WBMP)|*.WBMP|Windows enhanced metafiles(*.EMF)|*.EMF|ZSoft "
    "Paintbrush(*.PCX)|*.PCX|Word 5.x screen capture images(*.SCR)|*.SCR|Truevision TARGA(*.TGA)|*.TGA|Plain Text "
    "File(*.PTF)|*.PTF";
const char* const kThumbFilter = "JPEG images(*.JPG)|*.JPG|CompuServe (87a, 89a)(*.GIF)|*.GIF";

// Fills a combo box with the descriptions of a "description|pattern|..." filter; the patterns become the
// items' data.
void FillFilter(QComboBox* combo, const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) combo->addItem(parts[i], parts[i + 1]);
}

// The extension of a pattern "*.JPG": ".JPG".
QString PatternExt(const QString& pattern) { return pattern.mid(pattern.lastIndexOf(QLatin1Char('.'))); }

// Typed keys other than digits (and the signs where allowed) beep and are dropped; the validator
// keeps pasted text to the same characters.
QLineEdit* NumberEdit(QWidget* parent, bool signs = false) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(signs ? QStringLiteral("[-+0-9]*") : QStringLiteral("[0-9]*")), edit));
    TNumberKeys::Install(edit, signs ? QStringLiteral("+-") : QString());
    return edit;
}

QSpinBox* Spin(QWidget* parent, int low, int high, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(low, high);
    spin->setValue(value);
    return spin;
}

} // namespace

TBatchConvForm::TBatchConvForm(QWidget* owner, int tag, TColor backColor) : QDialog(owner), FTag(tag), FBackColor(backColor) {
    setObjectName(QStringLiteral("BatchConvForm"));
    setWindowTitle(tag == 1 ? QStringLiteral("HTML Album Generator") : QStringLiteral("Batch convert/rename"));
    auto* left = MakeSourceSide();
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    QWidget* batch = MakeBatchPanel();
    QWidget* album = MakeAlbumPanel();
    rightLayout->addWidget(batch);
    rightLayout->addWidget(album);
    rightLayout->addWidget(MakeOutputPanel());
    rightLayout->addStretch(1);

    prgBar = new QProgressBar(this);
    prgBar->setRange(0, 1);
    prgBar->setValue(0);
    prgBar->setFormat(QStringLiteral("%v/%m"));
    prgBar->setTextVisible(true);
    lblTimeLeft = new QLabel(this);
    btnStart = new QPushButton(this);
    btnStart->setDefault(true);
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    connect(btnStart, &QPushButton::clicked, this, &TBatchConvForm::btnStartClick);
    connect(btnClose, &QPushButton::clicked, this, &TBatchConvForm::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(prgBar, 1);
    bottom->addWidget(lblTimeLeft);
    bottom->addWidget(btnStart);
    bottom->addWidget(btnClose);

    auto* top = new QHBoxLayout;
    top->addWidget(left, 1);
    top->addWidget(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    if (tag == 1) {
        // The album: the target type and its option move into the thumbnail box; the folder is always used.
        batch->hide();
        lblSimulate->hide();
        lstSimulate->hide();
        rbSame->hide();
        rbFollowing->hide();
        txtOutput->setEnabled(true);
        btnBrowse->setEnabled(true);
        lblOutput->setText(QStringLiteral("&Output directory for images and homepages:"));
        lblList->setText(QStringLiteral("Image File List:"));
        auto* typeRow = new QHBoxLayout;
        typeRow->addWidget(cmbTargetType, 1);
        typeRow->addWidget(btnOption);
        static_cast<QFormLayout*>(grpThumb->layout())->insertRow(0, QStringLiteral("Ty&pe"), typeRow);
    } else {
        album->hide();
        chkCopy->hide();
    }
    txtOutput->setText(QDir::currentPath());
    SetFolder(QDir::currentPath());
    UpdateCaption();
    UpdateTotal();
}

TBatchConvForm::~TBatchConvForm() = default;

QWidget* TBatchConvForm::MakeSourceSide() {
    auto* w = new QWidget(this);
    auto* grid = new QGridLayout(w);
    cmbDrive = new QComboBox(w);
    for (const TVolume& volume : MountedVolumes()) cmbDrive->addItem(volume.Label, volume.RootPath);
    txtFolder = new QLineEdit(w);
    btnFolder = new QPushButton(QStringLiteral("..."), w);
    lstFolders = new QListWidget(w);
    lstFolders->setMaximumHeight(110);
    cmbFilter = new QComboBox(w);
    FillFilter(cmbFilter, OpenDialogFilter());
    lstFiles = new QListWidget(w);
    lstFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* lblFiles = new QLabel(QStringLiteral("&File Select Window:"), w);
    lblFiles->setBuddy(lstFiles);
    btnAdd = new QPushButton(QStringLiteral("&Add >"), w);
    btnAddAll = new QPushButton(QStringLiteral("A&dd All >>"), w);
    btnRemove = new QPushButton(QStringLiteral("&Remove <"), w);
    btnRemoveAll = new QPushButton(QStringLiteral("R&emove All <<"), w);
    lstConvert = new QListWidget(w);
    lstConvert->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lblList = new QLabel(QStringLiteral("Convert/Rename &List:"), w);
    lblList->setBuddy(lstConvert);
    lblTotal = new QLabel(w);
    chkSort = new QCheckBox(QStringLiteral("S&ort List"), w);
    chkPreview = new QCheckBox(QStringLiteral("Prev&iew"), w);
    imgPreview = new QLabel(w);
    imgPreview->setFixedSize(160, 120);
    imgPreview->setFrameShape(QFrame::Panel);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(txtFolder, 1);
    folderRow->addWidget(btnFolder);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnAdd, btnAddAll, btnRemove, btnRemoveAll}) buttons->addWidget(b);
    buttons->addStretch(1);
    grid->addWidget(cmbDrive, 0, 0);
    grid->addLayout(folderRow, 1, 0);
    grid->addWidget(lstFolders, 2, 0);
    grid->addWidget(cmbFilter, 3, 0);
    grid->addWidget(lblFiles, 4, 0);
    grid->addWidget(lstFiles, 5, 0);
    grid->addLayout(buttons, 5, 1);
    grid->addWidget(lblList, 4, 2);
    grid->addWidget(lstConvert, 5, 2);
    auto* under = new QHBoxLayout;
    under->addWidget(lblTotal);
    under->addWidget(chkSort);
    under->addWidget(chkPreview);
    grid->addLayout(under, 6, 2);
    grid->addWidget(imgPreview, 6, 0);
    grid->setRowStretch(5, 1);
    // The file list and the list being built share the width.
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    for (QListWidget* list : {lstFolders, lstFiles, lstConvert}) TLongEntryHints::Install(list);

    connect(cmbDrive, &QComboBox::activated, this, [this](int index) {
        const QString root = cmbDrive->itemData(index).toString();
        // Staying on the volume keeps the folder; another one starts at its root.
        if (VolumeRootOf(txtFolder->text()) != root) SetFolder(root);
    });
    connect(lstFolders, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        SetFolder(QDir::cleanPath(QDir(txtFolder->text()).filePath(item->text())));
    });

    connect(btnFolder, &QPushButton::clicked, this, [this] {
        if (const auto folder = Dialogs().ChooseFolder(this, QStringLiteral("Select folder"), txtFolder->text())) SetFolder(*folder);
    });
    connect(txtFolder, &QLineEdit::editingFinished, this, [this] { SetFolder(txtFolder->text()); });
    connect(cmbFilter, &QComboBox::currentIndexChanged, this, [this] { SetFolder(txtFolder->text()); });
    connect(btnAdd, &QPushButton::clicked, this, &TBatchConvForm::btnAddClick);
    connect(btnAddAll, &QPushButton::clicked, this, &TBatchConvForm::btnAddAllClick);
    connect(btnRemove, &QPushButton::clicked, this, &TBatchConvForm::btnRemoveClick);
    connect(btnRemoveAll, &QPushButton::clicked, this, &TBatchConvForm::btnRemoveAllClick);
    connect(lstFiles, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        AddFiles({QDir(txtFolder->text()).filePath(item->text())});
    });
    connect(lstConvert, &QListWidget::itemDoubleClicked, this, [this] { btnRemoveClick(); });
    auto* remove = new QAction(lstConvert);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    lstConvert->addAction(remove);
    connect(remove, &QAction::triggered, this, &TBatchConvForm::btnRemoveClick);
    connect(chkSort, &QCheckBox::toggled, this, &TBatchConvForm::chkSortClick);
    connect(chkPreview, &QCheckBox::toggled, this, &TBatchConvForm::UpdatePreview);
    connect(lstFiles, &QListWidget::currentItemChanged, this, &TBatchConvForm::UpdatePreview);
    connect(lstFiles, &QListWidget::itemSelectionChanged, this, &TBatchConvForm::UpdatePreview);
    return w;
}

QWidget* TBatchConvForm::MakeBatchPanel() {
    grpAction = new QGroupBox(QStringLiteral("Prefor&m Action"), this);
    auto* form = new QFormLayout(grpAction);
    cmbAction = new QComboBox(grpAction);
    cmbAction->addItems({QStringLiteral("Convert only"), QStringLiteral("Rename only"), QStringLiteral("Convert & Rename")});
    chkSimulate = new QCheckBox(QStringLiteral("Simulate actions onl&y"), grpAction);
    lblSimulate = new QLabel(QStringLiteral("Simulation Results:"), grpAction);
    lstSimulate = new QListWidget(grpAction);
    lstSimulate->setMaximumHeight(90);
    TLongEntryHints::Install(lstSimulate);
    cmbTargetType = new QComboBox(this);
    FillFilter(cmbTargetType, QString::fromLatin1(FTag == 1 ? kThumbFilter : kTargetFilter));
    btnOption = new QPushButton(QStringLiteral("&Option"), this);
    form->addRow(cmbAction);
    form->addRow(chkSimulate);
    form->addRow(lblSimulate);
    form->addRow(lstSimulate);
    if (FTag != 1) {
        // The album shows the type among the thumbnail's settings.
        auto* typeRow = new QHBoxLayout;
        typeRow->addWidget(cmbTargetType, 1);
        typeRow->addWidget(btnOption);
        auto* lblType = new QLabel(QStringLiteral("Convert Target &Type"), grpAction);
        lblType->setBuddy(cmbTargetType);
        form->addRow(lblType, typeRow);
    }

    pgcRename = new QTabWidget(grpAction);
    auto* text = new QWidget(pgcRename);
    auto* tf = new QFormLayout(text);
    txtPrefix = new QLineEdit(text);
    txtSuffix = new QLineEdit(text);
    txtSearch = new QLineEdit(text);
    txtReplace = new QLineEdit(text);
    cmbReplaceMode = new QComboBox(text);
    cmbReplaceMode->addItems({QStringLiteral("First Occurrence"), QStringLiteral("All Occurrences")});
    chkCaseSensitive = new QCheckBox(QStringLiteral("Case sensiti&ve"), text);
    txtExt = new QLineEdit(text);
    cmbExtMode = new QComboBox(text);
    cmbExtMode->addItems({QStringLiteral("Rename Ext."), QStringLiteral("Add Ext.")});
    cmbCase = new QComboBox(text);
    cmbCase->addItems({QStringLiteral("Don't change"), QStringLiteral("UPPER CASE"), QStringLiteral("lower case")});
    tf->addRow(QStringLiteral("Add Prefi&x"), txtPrefix);
    tf->addRow(QStringLiteral("Add S&uffix"), txtSuffix);
    tf->addRow(QStringLiteral("Searc&h for"), txtSearch);
    tf->addRow(QStringLiteral("Replace &with"), txtReplace);
    tf->addRow(QStringLiteral("Re&place mode"), cmbReplaceMode);
    tf->addRow(chkCaseSensitive);
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(cmbExtMode);
    extRow->addWidget(txtExt, 1);
    tf->addRow(extRow);
    tf->addRow(QStringLiteral("Case"), cmbCase);
    pgcRename->addTab(text, QStringLiteral("Rename optio&ns"));

    auto* number = new QWidget(pgcRename);
    auto* nf = new QFormLayout(number);
    txtStep = NumberEdit(number, true);
    txtPrefixNum = NumberEdit(number);
    txtSuffixNum = NumberEdit(number);
    txtExtNum = NumberEdit(number);
    txtFrom = NumberEdit(number);
    txtTo = NumberEdit(number);
    txtReplaceNum = NumberEdit(number);
    txtLeading = new QLineEdit(number);
    txtTailing = new QLineEdit(number);
    cmbKeep = new QComboBox(number);
    cmbKeep->addItems({QStringLiteral("Keep File Name and Ext."), QStringLiteral("Remove File Name"), QStringLiteral("Remove Ext.")});
    nf->addRow(QStringLiteral("&Increase by"), txtStep);
    nf->addRow(QStringLiteral("Add Prefi&x#"), txtPrefixNum);
    nf->addRow(QStringLiteral("Add S&uffix#"), txtSuffixNum);
    nf->addRow(QStringLiteral("Add Ext&.#"), txtExtNum);
    nf->addRow(QStringLiteral("Search &From#"), txtFrom);
    nf->addRow(QStringLiteral("&To#"), txtTo);
    nf->addRow(QStringLiteral("&Replace with#"), txtReplaceNum);
    nf->addRow(QStringLiteral("Leadin&g text/0's"), txtLeading);
    nf->addRow(QStringLiteral("Tailing text/&0's"), txtTailing);
    nf->addRow(QStringLiteral("&While adding #'s"), cmbKeep);
    pgcRename->addTab(number, QStringLiteral("Renum&ber options"));
    form->addRow(pgcRename);

    connect(cmbAction, &QComboBox::currentIndexChanged, this, &TBatchConvForm::UpdateCaption);
    connect(chkSimulate, &QCheckBox::toggled, this, [this](bool on) { lstSimulate->setEnabled(on); });
    connect(btnOption, &QPushButton::clicked, this, &TBatchConvForm::btnOptionClick);
    // The record has options for the first six types only.
    connect(cmbTargetType, &QComboBox::currentIndexChanged, this, [this](int index) { btnOption->setEnabled(index >= 0 && index < 6); });
    return grpAction;
}

QWidget* TBatchConvForm::MakeAlbumPanel() {
    auto* w = new QWidget(this);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    grpThumb = new QGroupBox(QStringLiteral("&Thumbnail image"), w);
    auto* tf = new QFormLayout(grpThumb);
    updWidth = Spin(grpThumb, 16, 256, 128);
    updHeight = Spin(grpThumb, 16, 256, 96);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(updWidth);
    sizeRow->addWidget(new QLabel(QStringLiteral("x"), grpThumb));
    sizeRow->addWidget(updHeight);
    sizeRow->addWidget(new QLabel(QStringLiteral("pixels"), grpThumb));
    chkAspect = new QCheckBox(QStringLiteral("Fix aspect ratio"), grpThumb);
    chkAspect->setChecked(true);
    cmbResize = new QComboBox(grpThumb);
    cmbResize->addItems({QStringLiteral("None"), QStringLiteral("Linear"), QStringLiteral("Hermite"), QStringLiteral("Bell"),
                         QStringLiteral("BSpline"), QStringLiteral("Lanczos3"), QStringLiteral("Mitchell")});
    cmbLabel = new QComboBox(grpThumb);
    cmbLabel->setEditable(true);
    cmbLabel->addItems({QStringLiteral("File name"), QStringLiteral("File size"), QStringLiteral("File name & size"),
                        QStringLiteral("File name(no Ext.)"), QStringLiteral("File index"), QStringLiteral("Absolute index")});
    updBorder = Spin(grpThumb, 0, 99, 0);
    cmbAlign = new QComboBox(grpThumb);
    cmbAlign->addItems({QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")});
    cmbAlign->setCurrentIndex(1);
    tf->addRow(QStringLiteral("&Size"), sizeRow);
    tf->addRow(chkAspect);
    tf->addRow(QStringLiteral("Resize &filter"), cmbResize);
    tf->addRow(QStringLiteral("&Label"), cmbLabel);
    tf->addRow(QStringLiteral("Border &width"), updBorder);
    tf->addRow(QStringLiteral("&Alignment"), cmbAlign);

    grpPage = new QGroupBox(QStringLiteral("&Page settings"), w);
    auto* pf = new QFormLayout(grpPage);
    updCols = Spin(grpPage, 1, 64, 5);
    updRows = Spin(grpPage, 1, 64, 4);
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(updCols);
    gridRow->addWidget(new QLabel(QStringLiteral("cols x"), grpPage));
    gridRow->addWidget(updRows);
    gridRow->addWidget(new QLabel(QStringLiteral("rows"), grpPage));
    txtTitle = new QLineEdit(grpPage);
    txtBase = new QLineEdit(QStringLiteral("Page"), grpPage);
    btnColors = new QPushButton(QStringLiteral("C&olors"), grpPage);
    chkOptimize = new QCheckBox(QStringLiteral("&Optimize file"), grpPage);
    txtPrev = new QLineEdit(QStringLiteral("Previous"), grpPage);
    txtNext = new QLineEdit(QStringLiteral("Next"), grpPage);
    txtIndex = new QLineEdit(QStringLiteral("Page:"), grpPage);
    txtFirst = new QLineEdit(QStringLiteral("First"), grpPage);
    txtLast = new QLineEdit(QStringLiteral("Last"), grpPage);
    pf->addRow(QStringLiteral("&Size"), gridRow);
    pf->addRow(QStringLiteral("&Title"), txtTitle);
    pf->addRow(QStringLiteral("&Base filename"), txtBase);
    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(btnColors);
    colourRow->addWidget(chkOptimize);
    pf->addRow(colourRow);
    pf->addRow(new QLabel(QStringLiteral("Link text description:"), grpPage));
    pf->addRow(QStringLiteral("&Prev:"), txtPrev);
    pf->addRow(QStringLiteral("&Next:"), txtNext);
    pf->addRow(QStringLiteral("&Index:"), txtIndex);
    pf->addRow(QStringLiteral("&First:"), txtFirst);
    pf->addRow(QStringLiteral("&Last:"), txtLast);
    connect(btnColors, &QPushButton::clicked, this, &TBatchConvForm::btnColorsClick);
    layout->addWidget(grpThumb);
    layout->addWidget(grpPage);
    return w;
}

QWidget* TBatchConvForm::MakeOutputPanel() {
    grpOutput = new QGroupBox(QStringLiteral("&Output options"), this);
    auto* layout = new QVBoxLayout(grpOutput);
    rbSame = new QRadioButton(QStringLiteral("Same as the source file"), grpOutput);
    rbFollowing = new QRadioButton(QStringLiteral("As following:"), grpOutput);
    rbSame->setChecked(true);
    lblOutput = new QLabel(grpOutput);
    txtOutput = new QLineEdit(grpOutput);
    lblOutput->setBuddy(txtOutput);
    btnBrowse = new QPushButton(QStringLiteral("..."), grpOutput);
    txtOutput->setEnabled(false);
    btnBrowse->setEnabled(false);
    chkOverwrite = new QCheckBox(QStringLiteral("O&verwrite existing file"), grpOutput);
    chkDelete = new QCheckBox(QStringLiteral("&Delete source file"), grpOutput);
    chkCopy = new QCheckBox(QStringLiteral("&Copy source image to output directory"), grpOutput);
    chkCopy->setChecked(true);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(txtOutput, 1);
    folderRow->addWidget(btnBrowse);
    layout->addWidget(rbSame);
    layout->addWidget(rbFollowing);
    layout->addWidget(lblOutput);
    layout->addLayout(folderRow);
    layout->addWidget(chkOverwrite);
    layout->addWidget(chkDelete);
    layout->addWidget(chkCopy);
    connect(rbFollowing, &QRadioButton::toggled, this, [this](bool on) {
        txtOutput->setEnabled(on);
        btnBrowse->setEnabled(on);
    });
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        if (const auto folder = Dialogs().ChooseFolder(this, QStringLiteral("Output folder"), txtOutput->text())) txtOutput->setText(*folder);
    });
    return grpOutput;
}

void TBatchConvForm::SetFolder(const QString& folder) {
    txtFolder->setText(folder);
    lstFiles->clear();
    lstFolders->clear();
    QDir dir(folder);
    // The folder list: up one level, then the subfolders.
    if (dir.exists()) {
        if (!dir.isRoot()) lstFolders->addItem(QStringLiteral(".."));
        lstFolders->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
    }
    const int volume = cmbDrive->findData(VolumeRootOf(folder));
    if (volume >= 0) cmbDrive->setCurrentIndex(volume);
    const QStringList patterns = cmbFilter->currentData().toString().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& name : dir.entryList(patterns, QDir::Files, QDir::Name | QDir::IgnoreCase)) lstFiles->addItem(name);
}

void TBatchConvForm::AddFiles(const QStringList& fullNames) {
    bool skipAll = false;
    for (const QString& name : fullNames) {
        const bool duplicate = std::any_of(FList.begin(), FList.end(), [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
        if (duplicate) {
            if (skipAll) continue;
            const QMessageBox::StandardButton answer =
                AskQuestion(this, QStringLiteral("Confirm"), QStringLiteral("File '") + name + QStringLiteral("' has already been in the list, skip it?"),
                            QMessageBox::Yes | QMessageBox::Abort | QMessageBox::YesToAll, QMessageBox::Yes);
            if (answer == QMessageBox::Abort) break;
            if (answer == QMessageBox::YesToAll) skipAll = true;
            continue;
        }
        int at = int(FList.size());
        if (chkSort->isChecked()) {
            QCollator collator;
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            at = int(std::upper_bound(FList.begin(), FList.end(), name, [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; }) -
                     FList.begin());
        }
        FList.insert(at, name);
        lstConvert->insertItem(at, QFileInfo(name).fileName());
    }
    UpdateTotal();
}

void TBatchConvForm::btnAddClick() {
    QStringList names;
    for (int i = 0; i < lstFiles->count(); ++i)
        if (lstFiles->item(i)->isSelected()) names << QDir(txtFolder->text()).filePath(lstFiles->item(i)->text());
    AddFiles(names);
}

void TBatchConvForm::btnAddAllClick() {
    QStringList names;
    for (int i = 0; i < lstFiles->count(); ++i) names << QDir(txtFolder->text()).filePath(lstFiles->item(i)->text());
    AddFiles(names);
}

void TBatchConvForm::btnRemoveClick() {
    for (int i = lstConvert->count() - 1; i >= 0; --i)
        if (lstConvert->item(i)->isSelected()) {
            delete lstConvert->takeItem(i);
            FList.removeAt(i);
        }
    UpdateTotal();
}

void TBatchConvForm::btnRemoveAllClick() {
    lstConvert->clear();
    FList.clear();
    UpdateTotal();
}

void TBatchConvForm::chkSortClick() {
    if (!chkSort->isChecked()) return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(FList.begin(), FList.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    lstConvert->clear();
    for (const QString& name : FList) lstConvert->addItem(QFileInfo(name).fileName());
}

void TBatchConvForm::UpdateTotal() { lblTotal->setText(QStringLiteral("Total: %1").arg(FList.size())); }

QRect PreviewRect(const QSize& picture, const QSize& box) {
    if (picture.isEmpty() || box.isEmpty()) return QRect();
    const double sx = double(picture.width()) / box.width(), sy = double(picture.height()) / box.height();
    // The side that sets the scale fills the box exactly (no rounding down by a pixel); the other is
    // rounded down.
    const int w = sx >= sy ? box.width() : std::min(box.width(), int(std::floor(picture.width() / sy + 1e-9)));
    const int h = sx >= sy ? std::min(box.height(), int(std::floor(picture.height() / sx + 1e-9))) : box.height();
    return QRect((box.width() - w) / 2, (box.height() - h) / 2, w, h);
}

void TBatchConvForm::UpdatePreview() {
    // The focused file, while files are selected.
    if (!chkPreview->isChecked() || !lstFiles->currentItem() || lstFiles->selectedItems().isEmpty()) {
        imgPreview->clear();
        FPreviewName.clear();
        return;
    }
    const QString name = QDir(txtFolder->text()).filePath(lstFiles->currentItem()->text());
    // A click changes the focus and the selection at once: the picture is loaded once.
    if (name == FPreviewName && !imgPreview->pixmap().isNull()) return;
    imgPreview->clear();
    FPreviewName = name;
    try {
        std::unique_ptr<TGraphic> graphic = CreateGraphicFor(name);
        graphic->LoadFromFileName(name);
        // The bitmap fills the frame's inside.
        const QSize box = imgPreview->contentsRect().size();
        QImage canvas(box, QImage::Format_RGB32);
        canvas.fill(palette().color(QPalette::Button));
        const QRect place = PreviewRect(QSize(graphic->Width(), graphic->Height()), box);
        if (!place.isEmpty()) {
            QPainter painter(&canvas);
            graphic->DrawTo(painter, place);
        }
        imgPreview->setPixmap(QPixmap::fromImage(canvas));
    } catch (const Exception&) {
        imgPreview->clear();
    } catch (const std::exception&) {
        imgPreview->clear();
    }
}

QString TBatchConvForm::ActionWord() const {
    if (FTag == 1) return QStringLiteral("Making Album");
    return BatchActionWord(TBatchAction(cmbAction->currentIndex()));
}

void TBatchConvForm::UpdateCaption() {
    btnStart->setText((FJob ? QStringLiteral("&Stop ") : QStringLiteral("&Start ")) + ActionWord());
}

void TBatchConvForm::btnOptionClick() {
    FOptions.Kind = quint8(cmbTargetType->currentIndex() + 1);
    TOptionForm form(this, FOptions);
    Dialogs().Exec(form);
}

void TBatchConvForm::btnColorsClick() {
    TPageColorForm form(this);
    form.SetColors(FColors);
    // Cancel keeps the colours the album had.
    if (Dialogs().Exec(form) == QDialog::Accepted) FColors = form.Colors();
}

TBatchOptions TBatchConvForm::BatchOptions() const {
    TBatchOptions o;
    o.Action = TBatchAction(cmbAction->currentIndex());
    o.TargetExt = PatternExt(cmbTargetType->currentData().toString());
    o.Rename.Kind = pgcRename->currentIndex() == 1 ? TRenameKind::rkNumber : TRenameKind::rkText;
    o.Rename.Text.Prefix = txtPrefix->text();
    o.Rename.Text.Suffix = txtSuffix->text();
    o.Rename.Text.SearchFor = txtSearch->text();
    o.Rename.Text.ReplaceWith = txtReplace->text();
    o.Rename.Text.ReplaceMode = TReplaceMode(cmbReplaceMode->currentIndex());
    o.Rename.Text.CaseSensitive = chkCaseSensitive->isChecked();
    o.Rename.Text.Extension = txtExt->text();
    o.Rename.Text.ExtChange = TExtChange(cmbExtMode->currentIndex());
    o.Rename.Text.Case = TCaseChange(cmbCase->currentIndex());
    TNumberRename& n = o.Rename.Number;
    n.Step = txtStep->text();
    n.Prefix = txtPrefixNum->text();
    n.Suffix = txtSuffixNum->text();
    n.Ext = txtExtNum->text();
    n.From = txtFrom->text();
    n.To = txtTo->text();
    n.ReplaceWith = txtReplaceNum->text();
    n.Leading = txtLeading->text();
    n.Tailing = txtTailing->text();
    n.Keep = TNumberKeep(cmbKeep->currentIndex());
    if (rbFollowing->isChecked()) o.OutputDir = txtOutput->text().trimmed();
    o.Overwrite = chkOverwrite->isChecked();
    o.DeleteSource = chkDelete->isChecked();
    o.Simulate = chkSimulate->isChecked();
    o.Picture = FOptions;
    o.BackColor = FBackColor;
    return o;
}

TAlbumOptions TBatchConvForm::AlbumOptions() const {
    TAlbumOptions o;
    o.OutputDir = txtOutput->text().trimmed();
    o.ThumbnailExt = PatternExt(cmbTargetType->currentData().toString());
    o.Box = QSize(updWidth->value(), updHeight->value());
    o.FixAspect = chkAspect->isChecked();
    o.Filter = cmbResize->currentIndex();
    const int label = cmbLabel->findText(cmbLabel->currentText());
    if (label >= 0) {
        o.Label = TAlbumLabel(label);
    } else {
        o.Label = TAlbumLabel::alText;
        o.LabelText = cmbLabel->currentText();
    }
    o.Border = updBorder->value();
    o.Align = TAlbumAlign(cmbAlign->currentIndex());
    o.Columns = updCols->value();
    o.Rows = updRows->value();
    o.Title = txtTitle->text();
    o.BaseName = txtBase->text();
    o.Colors = FColors;
    o.Optimize = chkOptimize->isChecked();
    o.PrevText = txtPrev->text();
    o.NextText = txtNext->text();
    o.IndexText = txtIndex->text();
    o.FirstText = txtFirst->text();
    o.LastText = txtLast->text();
    o.CopySource = chkCopy->isChecked();
    o.DeleteSource = chkDelete->isChecked();
    o.Overwrite = chkOverwrite->isChecked();
    o.Picture = FOptions;
    o.BackColor = FBackColor;
    return o;
}

void TBatchConvForm::btnStartClick() {
    if (FJob) {
        FJob->Stop();
        btnStart->setEnabled(false); // until the files in progress are done
        return;
    }
    const QString folder = txtOutput->text().trimmed();
    if (txtOutput->isEnabled() && !folder.isEmpty() && !QFileInfo(folder).isDir()) {
        if (AskQuestion(this, QStringLiteral("Confirm"), QStringLiteral("The specified directory does not exist. Create it?"),
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        if (!QDir().mkpath(folder)) {
            ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Cannot create the folder '%1'").arg(folder));
            return;
        }
    }
    FJob = FTag == 1 ? std::make_unique<TBatchJob>(FList, AlbumOptions()) : std::make_unique<TBatchJob>(FList, BatchOptions());
    FJob->AskOverwrite = [this](const QString& name) {
        const QMessageBox::StandardButton answer =
            AskQuestion(this, QStringLiteral("Confirm"), QStringLiteral("File '") + name + QStringLiteral("' is existing, overwrite it?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::NoToAll | QMessageBox::YesToAll,
                        QMessageBox::No);
        switch (answer) {
        case QMessageBox::Yes: return TOverwriteAnswer::oaYes;
        case QMessageBox::NoToAll: return TOverwriteAnswer::oaNoToAll;
        case QMessageBox::YesToAll: return TOverwriteAnswer::oaYesToAll;
        case QMessageBox::Cancel: return TOverwriteAnswer::oaCancel;
        default: return TOverwriteAnswer::oaNo;
        }
    };
    if (!FJob->Prepare()) {
        ShowMessage(this, QMessageBox::Warning, QStringLiteral("System Information"), FJob->FatalError());
        FJob.reset();
        return;
    }
    prgBar->setRange(0, std::max(1, int(FList.size())));
    prgBar->setValue(0);
    lblTimeLeft->clear();
    lstSimulate->clear();
    UpdateCaption();
    FStarted = QDateTime::currentMSecsSinceEpoch();
    FJob->OnProgress = [this](int done, int total) {
        QMetaObject::invokeMethod(this, [this, done, total] { Progress(done, total); }, Qt::QueuedConnection);
    };
    // The run goes on a thread of its own; the dialog stays responsive (Stop, repainting) meanwhile.
    QEventLoop loop;
    TBatchResult result;
    std::thread worker([&] {
        result = FJob->Execute();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QCoreApplication::sendPostedEvents(this); // the last progress calls
    FJob.reset();
    FLastResult = result;
    for (const QString& name : result.Simulation) lstSimulate->addItem(name);
    btnStart->setEnabled(true);
    UpdateCaption();
    SetFolder(txtFolder->text());
    QString text = BatchFinalMessage(ActionWord(), result.Errors);
    if (result.Stopped) text += QStringLiteral("\r(Stopped after %1 of %2 files)").arg(result.Processed).arg(result.Total);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    ShowMessage(this, QMessageBox::Information, QStringLiteral("System Information"), text);
    prgBar->setValue(0);
    lblTimeLeft->clear();
}

void TBatchConvForm::Progress(int done, int total) {
    if (!FJob) return;
    prgBar->setValue(done);
    const QString left = BatchTimeLeft(QDateTime::currentMSecsSinceEpoch() - FStarted, done, total);
    lblTimeLeft->setText(left.isEmpty() ? QString() : QStringLiteral("Time left: ") + left);
    if (OnProgress) OnProgress(done, total);
}

void TBatchConvForm::closeEvent(QCloseEvent* event) {
    if (FJob) {
        FJob->Stop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TBatchConvForm::reject() {
    if (FJob) {
        FJob->Stop();
        return;
    }
    QDialog::reject();
}
