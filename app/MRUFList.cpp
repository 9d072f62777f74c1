#include "MRUFList.h"

#include "platform/SettingsFile.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

// Takes an action out of every widget that shows it, at once, and deletes it later (it may be the
// action whose trigger is being handled).
void Discard(QAction* action) {
    if (!action) return;
    for (QObject* o : action->associatedObjects())
        if (auto* w = qobject_cast<QWidget*>(o)) w->removeAction(action);
    action->deleteLater();
}

} // namespace

TMRUFileList::TMRUFileList(QObject* parent) : QObject(parent) {}

TMRUFileList::~TMRUFileList() {
    if (FAutoSave && (FLoaded || FChanged)) Save();
    RemoveEntries();
}

void TMRUFileList::SetMaximum(int value) {
    value = std::max(1, value);
    if (value == FMaximum) return;
    FMaximum = value;
    if (FItems.size() > FMaximum) {
        FItems.resize(FMaximum);
        Changed();
    }
}

void TMRUFileList::SetUseSubmenu(bool value) {
    if (value == FUseSubmenu) return;
    FUseSubmenu = value;
    Rebuild();
}

void TMRUFileList::SetSubmenuName(const QString& value) {
    if (value == FSubmenuName) return;
    FSubmenuName = value;
    Rebuild();
}

void TMRUFileList::SetInsertSeparator(bool value) {
    if (value == FInsertSeparator) return;
    FInsertSeparator = value;
    Rebuild();
}

void TMRUFileList::SetFileMenu(QMenu* menu, QAction* before) {
    RemoveEntries();
    FFileMenu = menu;
    FFileAnchor = before;
    Rebuild();
}

void TMRUFileList::SetPopupMenu(QMenu* menu) {
    RemoveEntries();
    FPopupMenu = menu;
    Rebuild();
}

void TMRUFileList::AddItem(const QString& path) {
    if (path.isEmpty()) return;
    const qsizetype at = FItems.indexOf(path); // case-sensitive, as the file system compares names
    if (at == 0) return;
    if (at > 0)
        FItems.move(at, 0);
    else {
        FItems.prepend(path);
        if (FItems.size() > FMaximum) FItems.resize(FMaximum);
    }
    Changed();
}

bool TMRUFileList::RemoveItem(const QString& path) {
    const qsizetype at = FItems.indexOf(path);
    if (at < 0) return false;
    FItems.removeAt(at);
    Changed();
    return true;
}

void TMRUFileList::Clear() {
    if (FItems.isEmpty()) return;
    FItems.clear();
    Changed();
}

void TMRUFileList::Changed() {
    FChanged = true;
    Rebuild();
}

void TMRUFileList::Load() {
    const TSettingsFile store;
    QStringList names = store.ValueNames(FAutoSaveKey);
    // Keys compare as strings in the store (F10 before F2): put F<number> in numeric order first.
    static const QRegularExpression positional(QStringLiteral("^F(\\d{1,9})$"));
    auto position = [](const QString& name) -> qint64 {
        const QRegularExpressionMatch m = positional.match(name);
        return m.hasMatch() ? m.captured(1).toLongLong() : std::numeric_limits<qint64>::max();
    };
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString& a, const QString& b) { return position(a) < position(b); });

    QStringList items;
    for (const QString& name : names) {
        if (items.size() >= FMaximum) break;
        const QString path = store.ReadString(FAutoSaveKey, name);
        if (path.isEmpty() || items.contains(path)) continue;
        items.append(path);
    }
    FItems = items;
    FLoaded = true;
    Rebuild();
}

bool TMRUFileList::Save() {
    TSettingsFile store;
    store.EraseSection(FAutoSaveKey);
    for (qsizetype i = 0; i < FItems.size(); ++i)
        store.WriteString(FAutoSaveKey, QStringLiteral("F%1").arg(i), FItems[i]);
    return store.Flush();
}

QChar TMRUFileList::Accelerator(int index) {
    if (index < 0 || index >= 36) return QChar();
    if (index < 9) return QChar(u'1' + index);
    if (index == 9) return QChar(u'0');
    return QChar(u'A' + (index - 10));
}

QString TMRUFileList::Caption(int index, const QString& path) {
    QString shown = path;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const QChar key = Accelerator(index);
    if (key.isNull()) return shown;
    return QLatin1Char('&') + key + QLatin1Char(' ') + shown;
}

QList<QAction*> TMRUFileList::EntryActions() const {
    QList<QAction*> result;
    for (const QPointer<QAction>& a : FEntryActions)
        if (a) result.append(a);
    return result;
}

void TMRUFileList::RemoveEntries() {
    for (const QPointer<QMenu>& menu : FMadeMenus) {
        if (!menu) continue;
        Discard(menu->menuAction()); // the submenu's own entry in its parent menu
        menu->deleteLater();
    }
    for (const QPointer<QAction>& a : FMadeActions) Discard(a);
    FMadeMenus.clear();
    FMadeActions.clear();
    FEntryActions.clear();
}

void TMRUFileList::Rebuild() {
    RemoveEntries();
    if (FItems.isEmpty()) return;
    if (FFileMenu) {
        QAction* before = FFileAnchor && FFileMenu->actions().contains(FFileAnchor.data()) ? FFileAnchor.data()
                                                                                             : nullptr;
        BuildInto(FFileMenu, before);
        for (const QPointer<QAction>& a : FMadeActions)
            if (a && !a->isSeparator() && a->data().isValid()) FEntryActions.append(a);
    }
    if (FPopupMenu && FPopupMenu != FFileMenu) BuildInto(FPopupMenu, nullptr);
}

void TMRUFileList::BuildInto(QMenu* menu, QAction* before) {
    if (FInsertSeparator) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        menu->insertAction(before, separator);
        FMadeActions.append(separator);
    }
    QMenu* target = menu;
    QAction* targetBefore = before;
    if (FUseSubmenu) {
        target = new QMenu(FSubmenuName, menu);
        menu->insertMenu(before, target);
        FMadeMenus.append(target);
        targetBefore = nullptr;
    }
    for (qsizetype i = 0; i < FItems.size(); ++i) {
        const QString path = FItems[i];
        auto* action = new QAction(Caption(int(i), path), this);
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { ItemClicked(path); });
        target->insertAction(targetBefore, action);
        FMadeActions.append(action);
    }
}

void TMRUFileList::ItemClicked(const QString& path) {
    if (FRemoveOnClick) RemoveItem(path);
    if (FOnMRUItemClick) FOnMRUItemClick(path);
}
