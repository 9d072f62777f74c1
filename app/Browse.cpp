#include "app/Browse.h"

#include "app/FileList.h"
#include "app/FileListPanel.h"
#include "app/MRUFList.h"
#include "app/Main.h"
#include "tools/ThumbnailWidget.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QSplitter>

TBrowseController::TBrowseController(TMainForm& form) : QObject(&form), FForm(form) {
    // The recent files go in before the File menu's last separator.
    FMRUFileList = new TMRUFileList(this);
    FMRUFileList->SetMaximum(4);
    FMRUFileList->SetAutoSaveName(QStringLiteral("\\Software\\Lumenor"));
    FMRUFileList->SetFileMenu(form.Menus().FileMenu, form.Menus().RecentFilesSeparator);
    FMRUFileList->SetOnMRUItemClick([this](const QString& path) { FForm.Run([this, path] { SelectAndOpen(path); }); });
    FMRUFileList->Load();

    form.Connect("ViewPreviousAction", [this] { BrowsePrevious(); });
    form.Connect("ViewNextAction", [this] { BrowseNext(); });
    form.Connect("ViewFirstAction", [this] {
        if (!FForm.Loading() && List().BrowseFirst()) OpenListed();
    });
    form.Connect("ViewLastAction", [this] {
        if (!FForm.Loading() && List().BrowseLast()) OpenListed();
    });
    form.Connect("ViewFileListAction", [this] { ToggleFileList(); });
    form.Connect("ViewFileListRefreshAction", [this] { Refresh(); });
    form.Connect("ViewThumbnailAction", [this] { ToggleThumbnails(); });

    // The list drives the panel, the grid and the browse commands.
    TFileList& list = List();
    connect(&list, &TFileList::ListChanged, this, &TBrowseController::ListChanged);
    connect(&list, &TFileList::SelectionChanged, this, [this] {
        UpdateActions();
        ShowPosition();
    });
    connect(form.FileListPanel(), &TFileListPanel::FileChosen, this, [this](const QString& path) {
        if (!FForm.Loading()) FForm.Run([this, path] { FForm.OpenPicture(path); });
    });
    connect(form.ThumbnailGrid(), &TThumbnailGrid::CellSelected, this, &TBrowseController::CellSelected);
    connect(form.ThumbnailGrid(), &TThumbnailGrid::CellDoubleClicked, this, &TBrowseController::CellDoubleClicked);
    connect(&form, &TMainForm::PictureLoading, this, &TBrowseController::PictureLoading);
    connect(&form, &TMainForm::PictureOpened, this, &TBrowseController::PictureOpened);
    UpdateActions();
}

TBrowseController::~TBrowseController() {
    delete FMRUFileList; // stores the recent files while the menus still exist
    FMRUFileList = nullptr;
}

TFileList& TBrowseController::List() const {
    return FForm.FileList();
}

void TBrowseController::OpenListed() {
    FForm.OpenPicture(List().FileName());
}

bool TBrowseController::ThumbnailsShown() const {
    return FForm.Action("ViewThumbnailAction")->isChecked();
}

QString TBrowseController::PositionText() const {
    return QStringLiteral("%1/%2").arg(List().ItemIndex() + 1).arg(List().Count());
}

void TBrowseController::SelectAndOpen(const QString& path) {
    List().SelectPath(path);
    if (QFileInfo(path).isDir()) return; // a folder is listed, nothing is opened
    FForm.OpenPicture(List().FileName().isEmpty() ? path : List().FileName());
}

// While a picture loads (an error box may be up), the list stays where the shown picture is.
void TBrowseController::BrowsePrevious() {
    if (!FForm.Loading() && List().BrowsePrevious()) OpenListed();
}

void TBrowseController::BrowseNext() {
    if (!FForm.Loading() && List().BrowseNext()) OpenListed();
}

void TBrowseController::UpdateActions() {
    const TFileList& list = List();
    FForm.Enable(FForm.Action("ViewPreviousAction"), list.CanBrowsePrevious());
    FForm.Enable(FForm.Action("ViewNextAction"), list.CanBrowseNext());
    FForm.Enable(FForm.Action("ViewFirstAction"), list.CanBrowseEnds());
    FForm.Enable(FForm.Action("ViewLastAction"), list.CanBrowseEnds());
}

void TBrowseController::ListChanged() {
    // A new folder, filter or refresh loses the selection: the picture shown stays selected when the
    // list still holds it.
    const QString current = FForm.CurrentFile();
    if (!current.isEmpty() && List().ItemIndex() < 0) {
        const QFileInfo info(current);
        if (QDir::cleanPath(info.absolutePath()) == List().Directory()) {
            const int index = int(List().Items().indexOf(info.fileName()));
            if (index >= 0) List().SetItemIndex(index);
        }
    }
    UpdateActions();
    ShowPosition();
    SyncThumbnails();
}

void TBrowseController::ShowPosition() {
    if (!FForm.CurrentFile().isEmpty()) FForm.SetPanelText(2, PositionText());
}

void TBrowseController::PictureLoading() {
    if (ThumbnailsShown()) {
        TThumbnailGrid* grid = FForm.ThumbnailGrid();
        const QSignalBlocker block(grid); // selecting the cell must not open anything
        grid->SetSelIndex(List().ItemIndex());
    }
}

void TBrowseController::PictureOpened(const QString& path, bool hasPicture) {
    if (hasPicture) FMRUFileList->AddItem(path);
    ShowPosition();
}

void TBrowseController::ToggleFileList() {
    TFileListPanel* panel = FForm.FileListPanel();
    panel->setVisible(FForm.Action("ViewFileListAction")->isChecked());
    if (panel->isVisible()) {
        panel->ShowSelection(); // the current picture, scrolled into view
        // The panel comes back at the width it was left, at least its default.
        QSplitter* splitter = FForm.PanelSplitter();
        QList<int> sizes = splitter->sizes();
        if (sizes.size() == 2 && sizes[0] < TFileListPanel::kDefaultWidth / 2) {
            const int total = sizes[0] + sizes[1];
            splitter->setSizes({TFileListPanel::kDefaultWidth, std::max(1, total - TFileListPanel::kDefaultWidth)});
        }
    }
    FForm.RelayoutView();
}

void TBrowseController::Refresh() {
    TFileList& list = List();
    list.Update();
    const QString current = FForm.CurrentFile();
    if (!current.isEmpty() && QFileInfo(current).isFile()) list.SelectPath(current);
    SyncThumbnails();
}

void TBrowseController::ToggleThumbnails() {
    const bool on = ThumbnailsShown();
    TThumbnailGrid* grid = FForm.ThumbnailGrid();
    grid->setVisible(on);
    if (on)
        grid->setFocus();
    else if (FForm.isVisible())
        FForm.View()->setFocus();
    SyncThumbnails();
}

void TBrowseController::SyncThumbnails() {
    if (!ThumbnailsShown()) return;
    const TFileList& list = List();
    TThumbnailGrid* grid = FForm.ThumbnailGrid();
    const QSignalBlocker block(grid); // nothing is opened by this
    if (grid->IsOutOfDate(list.Directory(), list.Items())) grid->LoadFileList(list.Directory(), list.Items(), list.ItemIndex());
    grid->SetSelIndex(list.ItemIndex());
}

void TBrowseController::CellSelected(int col, int row) {
    if (!ThumbnailsShown() || FForm.Loading()) return;
    const int index = row * FForm.ThumbnailGrid()->ColCount() + col;
    TFileList& list = List();
    if (index < 0 || index >= list.Count() || index == list.ItemIndex()) return;
    list.SetItemIndex(index);
    FForm.Run([this] { OpenListed(); });
}

void TBrowseController::CellDoubleClicked(int col, int row) {
    if (col < 0 || row < 0 || !ThumbnailsShown()) return;
    FForm.Action("ViewThumbnailAction")->trigger(); // the picture shows
}
