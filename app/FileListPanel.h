// The file list panel at the left of the main window: the filter box, the file list, and under a
// splitter the volume chooser and the folder list. The volume chooser drives the folder list, the folder
// list drives the file list. The panel shows a TFileList; the list works whether the panel is shown or not.
#pragma once

#include "app/FileList.h"

#include <QWidget>

class QComboBox;
class QListView;
class QSplitter;
class QStringListModel;
class QTreeWidget;
class QTreeWidgetItem;

// A mounted volume as the volume chooser lists it.
struct TVolume {
    QString RootPath;
    QString Name;
};

class TFileListPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 149;

    // filter: "description|patterns|..." as the format registry gives it; the first entry is selected.
    explicit TFileListPanel(const QString& filter, QWidget* parent = nullptr);

    TFileList& FileList() { return *FFileList; }
    QComboBox* FilterBox() const { return FFilterBox; }
    QListView* ListBox() const { return FListBox; }
    QComboBox* VolumeBox() const { return FVolumeBox; }
    // Where the volume chooser's list comes from: the mounted file systems unless replaced (tests
    // give their own; nullptr restores the system's).
    using TVolumeSource = QList<TVolume> (*)();
    static void SetVolumeSource(TVolumeSource source);
    // The root of the listed volume that holds a folder: the longest root that is a prefix of it, else
    // the file system's root (a chroot or a container lists mounts that do not hold its folders).
    static QString VolumeRootOf(const QString& directory, const QList<TVolume>& volumes);
    QTreeWidget* FolderList() const { return FFolderList; }
    // The patterns of each filter entry, in the filter box's order.
    const QStringList& FilterPatterns() const { return FPatterns; }

    // Reads the mounted volumes again (the list is read once at construction).
    void UpdateVolumes();

    // Selects the list's selected entry in the list box and scrolls to it (after the panel is shown).
    void ShowSelection();

signals:
    // The user picked an entry of the file list (a click, or a change of selection by typing).
    void FileChosen(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListChanged();
    void SelectionChanged(int index);
    void UpdateFolderList();
    void FolderActivated(QTreeWidgetItem* item);
    void VolumeActivated(int index);
    void SelectVolumeOf(const QString& directory);

    TFileList* FFileList = nullptr;
    QComboBox* FFilterBox = nullptr;
    QListView* FListBox = nullptr;
    QStringListModel* FModel = nullptr;
    QSplitter* FSplitter = nullptr;
    QComboBox* FVolumeBox = nullptr;
    QList<TVolume> FVolumes;
    QTreeWidget* FFolderList = nullptr;
    QStringList FPatterns;
    bool FUpdating = false;
    int FSelectedAtPress = -2;
};
