// Browsing a folder: the file list panel, the thumbnail grid over the picture area, the previous /
// next / first / last commands, refresh, and the recent files of the File menu.
#pragma once

#include <QObject>
#include <QString>

class TFileList;
class TMainForm;
class TMRUFileList;

class TBrowseController : public QObject {
    Q_OBJECT
public:
    explicit TBrowseController(TMainForm& form);
    ~TBrowseController() override;

    // Selects the path in the file list (see TFileList::SelectPath) and opens it; a folder is listed
    // and nothing is opened.
    void SelectAndOpen(const QString& path);
    // The browse routines: they wrap around at the ends (Space, Backspace and the slide show use them;
    // the commands stop at the ends through their enabling).
    void BrowsePrevious();
    void BrowseNext();
    // After a change of folder or filter, and when the thumbnail view is switched: reloads the grid
    // when it lists other files and selects the current entry without opening it.
    void SyncThumbnails();
    bool ThumbnailsShown() const;
    // The enabling of previous / next / first / last.
    void UpdateActions();
    // The recent files in the File menu (stored when the controller goes).
    TMRUFileList* MRUFileList() const { return FMRUFileList; }
    // Panel 2: the position of the current file in the list, "n/N".
    QString PositionText() const;

private:
    TFileList& List() const;
    void OpenListed();
    void PictureLoading();
    void PictureOpened(const QString& path, bool hasPicture);
    void ListChanged();
    void ShowPosition();
    void ToggleFileList();
    void Refresh();
    void ToggleThumbnails();
    void CellSelected(int col, int row);
    void CellDoubleClicked(int col, int row);

    TMainForm& FForm;
    TMRUFileList* FMRUFileList = nullptr;
};
