#include "app/FileListPanel.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QSplitter>
#include <QStorageInfo>
#include <QStringListModel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

QStringList SubFolders(const QString& directory) {
    QStringList names = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace

TFileListPanel::TFileListPanel(const QString& filter, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FileListPanel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(3);

    FFilterBox = new QComboBox(this);
    FFilterBox->setObjectName(QStringLiteral("FilterComboBox"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        FFilterBox->addItem(parts[i]);
        FFilterBox->setItemData(FFilterBox->count() - 1, parts[i], Qt::ToolTipRole);
        FPatterns << parts[i + 1];
    }
    // The list starts with the first entry's patterns ("All images").
    FFileList = new TFileList(FPatterns.isEmpty() ? QStringLiteral("*.*") : FPatterns.first(), this);
    FFilterBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FFilterBox->setMinimumContentsLength(8);
    layout->addWidget(FFilterBox);

    FSplitter = new QSplitter(Qt::Vertical, this);
    FSplitter->setObjectName(QStringLiteral("FileListSplitter"));
    FSplitter->setChildrenCollapsible(false);
    layout->addWidget(FSplitter, 1);

    FListBox = new QListView(FSplitter);
    FListBox->setObjectName(QStringLiteral("FileListBox"));
    FListBox->setUniformItemSizes(true); // thousands of names lay out at once
    FListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    FModel = new QStringListModel(this);
    FListBox->setModel(FModel);

    auto* folders = new QWidget(FSplitter);
    auto* folderLayout = new QVBoxLayout(folders);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->setSpacing(3);
    FVolumeBox = new QComboBox(folders);
    FVolumeBox->setObjectName(QStringLiteral("VolumeComboBox"));
    FVolumeBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FVolumeBox->setMinimumContentsLength(8);
    folderLayout->addWidget(FVolumeBox);
    FFolderList = new QTreeWidget(folders);
    FFolderList->setObjectName(QStringLiteral("FolderListBox"));
    FFolderList->setHeaderHidden(true);
    FFolderList->setRootIsDecorated(false);
    FFolderList->setIndentation(10);
    FFolderList->setUniformRowHeights(true);
    folderLayout->addWidget(FFolderList, 1);
    FSplitter->setStretchFactor(0, 3);
    FSplitter->setStretchFactor(1, 2);

    connect(FFilterBox, &QComboBox::activated, this, [this](int index) {
        // Picking an entry again restores its mask after a narrowing to one name.
        if (index >= 0 && index < FPatterns.size()) FFileList->SetMask(FPatterns[index]);
    });
    connect(FFileList, &TFileList::ListChanged, this, &TFileListPanel::ListChanged);
    connect(FFileList, &TFileList::SelectionChanged, this, &TFileListPanel::SelectionChanged);
    connect(FListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (FUpdating || !current.isValid()) return;
                const int row = current.row();
                if (row == FFileList->ItemIndex()) return;
                FFileList->SetItemIndex(row);
                emit FileChosen(FFileList->FileName());
            });
    // A click on the entry that was already selected opens it again (a click on another one opened it
    // when the selection moved).
    FListBox->viewport()->installEventFilter(this);
    connect(FListBox, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (FUpdating || !index.isValid() || index.row() != FSelectedAtPress) return;
        if (index.row() == FFileList->ItemIndex()) emit FileChosen(FFileList->FileName());
    });
    connect(FFolderList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { FolderActivated(item); });
    connect(FVolumeBox, &QComboBox::activated, this, &TFileListPanel::VolumeActivated);

    UpdateVolumes();
    ListChanged();
}

bool TFileListPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FListBox->viewport() && event->type() == QEvent::MouseButtonPress)
        FSelectedAtPress = FFileList->ItemIndex();
    return QWidget::eventFilter(watched, event);
}

void TFileListPanel::ListChanged() {
    {
        const QSignalBlocker block(FListBox->selectionModel());
        FUpdating = true;
        FModel->setStringList(FFileList->Items());
        FUpdating = false;
    }
    SelectionChanged(FFileList->ItemIndex());
    UpdateFolderList(); // also after a refresh, which may find new subfolders
}

void TFileListPanel::ShowSelection() {
    SelectionChanged(FFileList->ItemIndex());
}

void TFileListPanel::SelectionChanged(int index) {
    FUpdating = true;
    QItemSelectionModel* selection = FListBox->selectionModel();
    if (index < 0) {
        selection->clear();
    } else {
        const QModelIndex item = FModel->index(index);
        selection->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        FListBox->scrollTo(item);
    }
    FUpdating = false;
}

void TFileListPanel::UpdateFolderList() {
    const QString directory = FFileList->Directory();
    SelectVolumeOf(directory);
    FFolderList->clear();

    // The chain from the volume's root down to the folder, then the folder's own subfolders.
    const QString root = VolumeRootOf(directory, FVolumes);
    QStringList chain;
    for (QDir d(directory);; ) {
        chain.prepend(d.absolutePath());
        if (QDir::cleanPath(d.absolutePath()) == QDir::cleanPath(root) || d.isRoot() || !d.cdUp()) break;
    }
    const QFileIconProvider icons;
    const QIcon closed = icons.icon(QFileIconProvider::Folder);
    QTreeWidgetItem* parent = nullptr;
    QTreeWidgetItem* current = nullptr;
    for (const QString& path : std::as_const(chain)) {
        const QString caption = QDir(path).isRoot() ? path : QDir(path).dirName();
        auto* item = parent ? new QTreeWidgetItem(parent, {caption}) : new QTreeWidgetItem(FFolderList, {caption});
        item->setData(0, kPathRole, path);
        item->setIcon(0, closed);
        item->setExpanded(true);
        parent = current = item;
    }
    for (const QString& name : SubFolders(directory)) {
        auto* item = new QTreeWidgetItem(current, {name});
        item->setData(0, kPathRole, QDir(directory).filePath(name));
        item->setIcon(0, closed);
    }
    if (current) {
        current->setExpanded(true);
        FFolderList->setCurrentItem(current);
        FFolderList->scrollToItem(current);
    }
}

void TFileListPanel::FolderActivated(QTreeWidgetItem* item) {
    if (!item) return;
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty() && path != FFileList->Directory()) FFileList->SetDirectory(path);
}

namespace {
QList<TVolume> SystemVolumes() {
    QList<TVolume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) volumes.append({volume.rootPath(), volume.name()});
    return volumes;
}
TFileListPanel::TVolumeSource GVolumeSource = &SystemVolumes;

bool HoldsPath(const QString& root, const QString& path) {
    if (root == QLatin1String("/")) return path.startsWith(root);
    return path == root || path.startsWith(root + QLatin1Char('/'));
}
} // namespace

void TFileListPanel::SetVolumeSource(TVolumeSource source) { GVolumeSource = source ? source : &SystemVolumes; }

QString TFileListPanel::VolumeRootOf(const QString& directory, const QList<TVolume>& volumes) {
    const QString path = QDir::cleanPath(directory);
    QString best;
    for (const TVolume& v : volumes) {
        const QString root = QDir::cleanPath(v.RootPath);
        if (!root.isEmpty() && HoldsPath(root, path) && root.size() > best.size()) best = root;
    }
    return best.isEmpty() ? QDir::rootPath() : best;
}

void TFileListPanel::UpdateVolumes() {
    const QSignalBlocker block(FVolumeBox);
    FVolumeBox->clear();
    FVolumes = GVolumeSource();
    const QFileIconProvider icons;
    for (const TVolume& volume : std::as_const(FVolumes)) {
        const QString root = QDir::cleanPath(volume.RootPath);
        QString caption = root;
        if (!volume.Name.isEmpty() && volume.Name != root) caption += QStringLiteral(" [%1]").arg(volume.Name);
        FVolumeBox->addItem(icons.icon(QFileIconProvider::Drive), caption, root);
    }
    SelectVolumeOf(FFileList->Directory());
}

void TFileListPanel::SelectVolumeOf(const QString& directory) {
    const QString root = VolumeRootOf(directory, FVolumes);
    int index = FVolumeBox->findData(root);
    if (index < 0) {
        // A volume mounted since the list was read, or a root no mount lists (in a container).
        FVolumeBox->addItem(QFileIconProvider().icon(QFileIconProvider::Drive), root, root);
        FVolumes.append({root, QString()});
        index = FVolumeBox->count() - 1;
    }
    const QSignalBlocker block(FVolumeBox);
    FVolumeBox->setCurrentIndex(index);
}

void TFileListPanel::VolumeActivated(int index) {
    const QString root = FVolumeBox->itemData(index).toString();
    if (root.isEmpty() || root == VolumeRootOf(FFileList->Directory(), FVolumes)) return;
    FFileList->SetDirectory(root);
}
