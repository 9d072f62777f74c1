// Shared set-up of the window tests: a settings store of its own, message boxes answered by the test,
// picture files written on the fly and a main window with a view of a chosen size.
#pragma once

#include "TestUtil.h"

#include "ScriptedDialogs.h"
#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <memory>

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A raw portable pixmap (P6) of the image, written into the test's folder.
    QString WritePicture(const QString& name, const QImage& image);
    QString WriteSolid(const QString& name, int w, int h, QRgb colour = qRgb(10, 200, 30));
    // A new window, shown, with its view made w x h pixels.
    std::unique_ptr<TMainForm> NewForm(int viewWidth = 1000, int viewHeight = 600,
                                       const QStringList& arguments = {});
    static void SetViewSize(TMainForm& form, int w, int h);
    static QAction* ActionOf(TMainForm& form, const char* name);
    static QString Panel(TMainForm& form, int index);

    QTemporaryDir FDir;
    // The window's file list is the process's current folder: the test's folder while it runs.
    QString FSavedCurrentDir;
    QString FSettingsFile;
    // Message boxes and dialogs are answered here; FMessages records the messages shown.
    TScriptedDialogs FDialogs;
    std::vector<TShownMessage>& FMessages = FDialogs.Messages;
};
