// The recent-files list of the File menu: the last opened paths, most recent first, shown as numbered
// menu entries ("&1 /path", ... "&0", "&A" .. "&Z", then the path alone) before an anchor action of a
// menu and optionally at the end of a second (popup) menu. It is kept in the settings store under the
// section AutoSaveKey, read by Load() and written when the component is destroyed.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

#include <QAction>
#include <QMenu>

class TMRUFileList : public QObject {
    Q_OBJECT
public:
    // Called with the clicked entry's path, after it has been removed when RemoveOnClick is set.
    using TMRUItemClickEvent = std::function<void(const QString& path)>;

    explicit TMRUFileList(QObject* parent = nullptr);
    // Saves the list when AutoSave is set and the list was loaded or changed.
    ~TMRUFileList() override;

    // The most entries kept (at least 1); lowering it drops the oldest entries.
    int Maximum() const { return FMaximum; }
    void SetMaximum(int value);
    bool RemoveOnClick() const { return FRemoveOnClick; }
    void SetRemoveOnClick(bool value) { FRemoveOnClick = value; }
    bool UseSubmenu() const { return FUseSubmenu; }
    void SetUseSubmenu(bool value);
    const QString& SubmenuName() const { return FSubmenuName; }
    void SetSubmenuName(const QString& value);
    bool InsertSeparator() const { return FInsertSeparator; }
    void SetInsertSeparator(bool value);

    // The entries go into menu just before the action before (appended when before is null or not in
    // the menu). The component does not own the menu; a destroyed menu is simply forgotten.
    void SetFileMenu(QMenu* menu, QAction* before);
    QMenu* FileMenu() const { return FFileMenu; }
    QAction* FileMenuAnchor() const { return FFileAnchor; }
    // A second menu whose end receives the same entries; null for none.
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return FPopupMenu; }

    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool value) { FAutoSave = value; }
    // The key of the store; the settings store is already rooted at the application's own key, so only
    // AutoSaveKey (the section) selects where the list lives.
    const QString& AutoSaveName() const { return FAutoSaveName; }
    void SetAutoSaveName(const QString& value) { FAutoSaveName = value; }
    const QString& AutoSaveKey() const { return FAutoSaveKey; }
    void SetAutoSaveKey(const QString& value) { FAutoSaveKey = value; }

    const TMRUItemClickEvent& OnMRUItemClick() const { return FOnMRUItemClick; }
    void SetOnMRUItemClick(TMRUItemClickEvent handler) { FOnMRUItemClick = std::move(handler); }

    // The paths, most recent first.
    const QStringList& Items() const { return FItems; }
    // Moves path to the top (paths compare case-sensitively, as the file system does), or inserts it
    // there and drops the oldest entries beyond Maximum.
    void AddItem(const QString& path);
    // Returns false when path is not in the list.
    bool RemoveItem(const QString& path);
    void Clear();

    // Replaces the list by the store's section AutoSaveKey: values F0, F1, ... in numeric order (other
    // names after them in the store's order), empty and repeated paths skipped, at most Maximum kept.
    void Load();
    // Replaces the section by the entries as F0, F1, ... and writes the store.
    bool Save();

    // The menu caption of the entry at index: "&" + accelerator + " " + path for the first 36 entries
    // (accelerators 1..9, 0, A..Z), the path alone after them; "&" in the path is doubled so it shows.
    static QString Caption(int index, const QString& path);
    // The accelerator character of index, or a null QChar from index 36 on.
    static QChar Accelerator(int index);

    // The menu actions of the entries in the file menu (inside the submenu when UseSubmenu is set).
    QList<QAction*> EntryActions() const;

private:
    void Changed();
    void Rebuild();
    void RemoveEntries();
    void BuildInto(QMenu* menu, QAction* before);
    void ItemClicked(const QString& path);

    int FMaximum = 5;
    bool FRemoveOnClick = true;
    bool FUseSubmenu = false;
    QString FSubmenuName = QStringLiteral("Reopen");
    bool FInsertSeparator = true;
    bool FAutoSave = true;
    QString FAutoSaveName = QStringLiteral("\\Software\\My Application");
    QString FAutoSaveKey = QStringLiteral("MRU Items");
    TMRUItemClickEvent FOnMRUItemClick;

    QPointer<QMenu> FFileMenu;
    QPointer<QAction> FFileAnchor;
    QPointer<QMenu> FPopupMenu;

    QStringList FItems;
    bool FLoaded = false;
    bool FChanged = false;
    // What the component put into menus: plain actions (separators, entries) and submenus.
    QList<QPointer<QAction>> FMadeActions;
    QList<QPointer<QMenu>> FMadeMenus;
    QList<QPointer<QAction>> FEntryActions; // the file menu's entries, for EntryActions()
};
