#include "app/MRUFList.h"
#include "platform/SettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MRUFileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FSettings = FDir.filePath(QStringLiteral("settings.json"));
        TSettingsFile::SetDefaultFileName(FSettings);
        FMenu = std::make_unique<QMenu>();
        FOpen = FMenu->addAction(QStringLiteral("&Open"));
        FAnchor = FMenu->addSeparator();
        FExit = FMenu->addAction(QStringLiteral("E&xit"));
    }
    void TearDown() override { TSettingsFile::SetDefaultFileName(QString()); }

    // A list that never touches the store unless a test asks for it.
    static std::unique_ptr<TMRUFileList> NewList(int maximum = 4) {
        auto list = std::make_unique<TMRUFileList>();
        list->SetAutoSave(false);
        list->SetMaximum(maximum);
        return list;
    }

    static QStringList Texts(const QList<QAction*>& actions) {
        QStringList texts;
        for (QAction* a : actions) texts.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        return texts;
    }

    QTemporaryDir FDir;
    QString FSettings;
    std::unique_ptr<QMenu> FMenu;
    QAction* FOpen = nullptr;
    QAction* FAnchor = nullptr;
    QAction* FExit = nullptr;
};

TEST_F(MRUFileListTest, Defaults) {
    TMRUFileList list;
    list.SetAutoSave(false);
    EXPECT_EQ(list.Maximum(), 5);
    EXPECT_TRUE(list.RemoveOnClick());
    EXPECT_FALSE(list.UseSubmenu());
    EXPECT_EQ(list.SubmenuName(), QStringLiteral("Reopen"));
    EXPECT_TRUE(list.InsertSeparator());
    EXPECT_EQ(list.AutoSaveName(), QStringLiteral("\\Software\\My Application"));
    EXPECT_EQ(list.AutoSaveKey(), QStringLiteral("MRU Items"));
    EXPECT_TRUE(list.Items().isEmpty());
}

TEST_F(MRUFileListTest, OrderMoveToTopMaximumAndCase) {
    auto list = NewList(4);
    for (const char* p : {"/a/1.png", "/a/2.png", "/a/3.png", "/a/4.png"}) list->AddItem(QString::fromLatin1(p));
    EXPECT_EQ(list->Items(), (QStringList{"/a/4.png", "/a/3.png", "/a/2.png", "/a/1.png"}));

    list->AddItem(QStringLiteral("/a/2.png")); // already there: moves up, nothing dropped
    EXPECT_EQ(list->Items(), (QStringList{"/a/2.png", "/a/4.png", "/a/3.png", "/a/1.png"}));

    list->AddItem(QStringLiteral("/a/5.png")); // a fifth drops the oldest
    EXPECT_EQ(list->Items(), (QStringList{"/a/5.png", "/a/2.png", "/a/4.png", "/a/3.png"}));

    // Names differing in case are two files on Linux.
    list->AddItem(QStringLiteral("/a/X.png"));
    list->AddItem(QStringLiteral("/a/x.png"));
    EXPECT_EQ(list->Items(), (QStringList{"/a/x.png", "/a/X.png", "/a/5.png", "/a/2.png"}));

    list->SetMaximum(2);
    EXPECT_EQ(list->Items(), (QStringList{"/a/x.png", "/a/X.png"}));
}

TEST_F(MRUFileListTest, CaptionsAndAccelerators) {
    auto list = NewList(40);
    list->SetFileMenu(FMenu.get(), FAnchor);
    for (int i = 40; i >= 1; --i) list->AddItem(QStringLiteral("/p/%1.png").arg(i));
    const QList<QAction*> entries = list->EntryActions();
    ASSERT_EQ(entries.size(), 40);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("&1 /p/1.png"));
    EXPECT_EQ(entries[3]->text(), QStringLiteral("&4 /p/4.png"));
    EXPECT_EQ(entries[8]->text(), QStringLiteral("&9 /p/9.png"));
    EXPECT_EQ(entries[9]->text(), QStringLiteral("&0 /p/10.png"));
    EXPECT_EQ(entries[10]->text(), QStringLiteral("&A /p/11.png"));
    EXPECT_EQ(entries[35]->text(), QStringLiteral("&Z /p/36.png"));
    EXPECT_EQ(entries[36]->text(), QStringLiteral("/p/37.png"));
    EXPECT_EQ(entries[39]->text(), QStringLiteral("/p/40.png"));
    EXPECT_EQ(entries[39]->data().toString(), QStringLiteral("/p/40.png"));

    // An ampersand in a path shows as itself, not as a mnemonic.
    EXPECT_EQ(TMRUFileList::Caption(0, QStringLiteral("/r/R&D.png")), QStringLiteral("&1 /r/R&&D.png"));
    EXPECT_EQ(TMRUFileList::Caption(36, QStringLiteral("/r/R&D.png")), QStringLiteral("/r/R&&D.png"));
    list->AddItem(QStringLiteral("/r/R&D.png"));
    QAction* top = list->EntryActions().at(0);
    EXPECT_EQ(top->iconText(), QStringLiteral("1 /r/R&D.png"));
    EXPECT_EQ(top->data().toString(), QStringLiteral("/r/R&D.png"));
}

TEST_F(MRUFileListTest, MenuEntriesBeforeAnchorAndRebuilt) {
    auto list = NewList(4);
    list->SetFileMenu(FMenu.get(), FAnchor);
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "E&xit"})); // empty list: nothing

    list->AddItem(QStringLiteral("/a/1.png"));
    list->AddItem(QStringLiteral("/a/2.png"));
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "&1 /a/2.png", "&2 /a/1.png", "-", "E&xit"}));
    EXPECT_EQ(FMenu->actions().at(4), FAnchor);

    list->AddItem(QStringLiteral("/a/1.png")); // renumbered, no entries left over
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "&1 /a/1.png", "&2 /a/2.png", "-", "E&xit"}));

    list->SetInsertSeparator(false);
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "&1 /a/1.png", "&2 /a/2.png", "-", "E&xit"}));

    QMenu popup;
    popup.addAction(QStringLiteral("Copy"));
    list->SetPopupMenu(&popup);
    EXPECT_EQ(Texts(popup.actions()), (QStringList{"Copy", "&1 /a/1.png", "&2 /a/2.png"}));
    EXPECT_EQ(list->EntryActions().size(), 2);

    list->Clear();
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "E&xit"}));
    EXPECT_EQ(Texts(popup.actions()), (QStringList{"Copy"}));
    list->SetPopupMenu(nullptr);
}

TEST_F(MRUFileListTest, Submenu) {
    auto list = NewList(4);
    list->SetUseSubmenu(true);
    list->SetFileMenu(FMenu.get(), FAnchor);
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "E&xit"}));
    list->AddItem(QStringLiteral("/a/1.png"));
    list->AddItem(QStringLiteral("/a/2.png"));
    const QList<QAction*> actions = FMenu->actions();
    ASSERT_EQ(Texts(actions), (QStringList{"&Open", "-", "Reopen", "-", "E&xit"}));
    QMenu* sub = actions[2]->menu();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(Texts(sub->actions()), (QStringList{"&1 /a/2.png", "&2 /a/1.png"}));

    list->SetUseSubmenu(false); // back to plain entries; the submenu goes
    EXPECT_EQ(Texts(FMenu->actions()), (QStringList{"&Open", "-", "&1 /a/2.png", "&2 /a/1.png", "-", "E&xit"}));
}

TEST_F(MRUFileListTest, ClickRemovesThenCalls) {
    auto list = NewList(4);
    list->SetFileMenu(FMenu.get(), FAnchor);
    for (const char* p : {"/a/1.png", "/a/2.png", "/a/3.png"}) list->AddItem(QString::fromLatin1(p));
    QStringList calls;
    QStringList itemsDuringCall;
    list->SetOnMRUItemClick([&](const QString& path) {
        calls.append(path);
        itemsDuringCall = list->Items();
    });

    list->EntryActions().at(1)->trigger(); // "&2 /a/2.png"
    EXPECT_EQ(calls, (QStringList{"/a/2.png"}));
    EXPECT_EQ(itemsDuringCall, (QStringList{"/a/3.png", "/a/1.png"})); // removed before the call
    EXPECT_EQ(Texts(list->EntryActions()), (QStringList{"&1 /a/3.png", "&2 /a/1.png"}));
    QApplication::processEvents(); // the triggered action is deleted later: no crash

    // A reopened file comes back on top through AddItem.
    list->AddItem(QStringLiteral("/a/2.png"));
    EXPECT_EQ(list->Items(), (QStringList{"/a/2.png", "/a/3.png", "/a/1.png"}));

    list->SetRemoveOnClick(false);
    list->EntryActions().at(2)->trigger();
    EXPECT_EQ(calls, (QStringList{"/a/2.png", "/a/1.png"}));
    EXPECT_EQ(list->Items(), (QStringList{"/a/2.png", "/a/3.png", "/a/1.png"}));
}

TEST_F(MRUFileListTest, StoredWhenDestroyedAndLoadedBack) {
    {
        auto list = std::make_unique<TMRUFileList>();
        list->SetAutoSaveName(QStringLiteral("\\Software\\Lumenor"));
        list->SetMaximum(4);
        list->Load(); // nothing stored yet
        EXPECT_TRUE(list->Items().isEmpty());
        for (const char* p : {"/a/1.png", "/a/2.png", "/a/3.png", "/a/4.png", "/a/5.png"})
            list->AddItem(QString::fromLatin1(p));
        EXPECT_FALSE(TSettingsFile().SectionExists(QStringLiteral("MRU Items"))); // only when destroyed
    }
    const TSettingsFile store;
    const QString section = QStringLiteral("MRU Items");
    EXPECT_EQ(store.ValueNames(section).size(), 4);
    EXPECT_EQ(store.ReadString(section, "F0"), QStringLiteral("/a/5.png"));
    EXPECT_EQ(store.ReadString(section, "F1"), QStringLiteral("/a/4.png"));
    EXPECT_EQ(store.ReadString(section, "F2"), QStringLiteral("/a/3.png"));
    EXPECT_EQ(store.ReadString(section, "F3"), QStringLiteral("/a/2.png"));

    TMRUFileList again;
    again.SetMaximum(4);
    again.SetFileMenu(FMenu.get(), FAnchor);
    again.Load();
    EXPECT_EQ(again.Items(), (QStringList{"/a/5.png", "/a/4.png", "/a/3.png", "/a/2.png"}));
    EXPECT_EQ(again.EntryActions().size(), 4);

    // Fewer entries later: the section is replaced, not merged.
    again.RemoveItem(QStringLiteral("/a/4.png"));
    again.RemoveItem(QStringLiteral("/a/3.png"));
    ASSERT_TRUE(again.Save());
    const TSettingsFile after;
    EXPECT_EQ(after.ValueNames(section), (QStringList{"F0", "F1"}));
    EXPECT_EQ(after.ReadString(section, "F1"), QStringLiteral("/a/2.png"));
}

TEST_F(MRUFileListTest, LoadOrderIsNumericAndSkipsBadValues) {
    {
        TSettingsFile store;
        const QString s = QStringLiteral("MRU Items");
        for (int i = 11; i >= 0; --i) store.WriteString(s, QStringLiteral("F%1").arg(i), QStringLiteral("/n/%1").arg(i));
        store.WriteString(s, QStringLiteral("F3"), QString());             // empty: skipped
        store.WriteString(s, QStringLiteral("F5"), QStringLiteral("/n/1")); // repeat: skipped
        ASSERT_TRUE(store.Flush());
    }
    TMRUFileList list;
    list.SetAutoSave(false);
    list.SetMaximum(9);
    list.Load();
    EXPECT_EQ(list.Items(), (QStringList{"/n/0", "/n/1", "/n/2", "/n/4", "/n/6", "/n/7", "/n/8", "/n/9", "/n/10"}));

    // A list neither loaded nor changed leaves the store alone on destruction.
    {
        TMRUFileList untouched;
    }
    EXPECT_EQ(TSettingsFile().ValueNames(QStringLiteral("MRU Items")).size(), 12);
}

} // namespace
