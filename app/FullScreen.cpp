#include "app/FullScreen.h"

#include "app/FileListPanel.h"
#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

TFullScreenController::TFullScreenController(TMainForm& form) : QObject(&form), FForm(form) {
    QAction* action = form.Action("ViewFullScreenAction");
    action->setCheckable(true);
    form.Connect("ViewFullScreenAction", [this] { SetActive(FForm.Action("ViewFullScreenAction")->isChecked()); });
}

TFullScreenController::~TFullScreenController() {
    if (FMouseHidden) QApplication::restoreOverrideCursor();
}

void TFullScreenController::SetActive(bool on) {
    FForm.Action("ViewFullScreenAction")->setChecked(on);
    if (on == FActive) return;
    FActive = on;
    emit FForm.PresentationChanging(true); // an animation pauses around the change
    if (on) {
        FNormalGeometry = FForm.geometry();
        FForm.showFullScreen();
        // Without a window manager nobody resizes the window: it takes the whole screen itself.
        if (QScreen* screen = FForm.screen()) FForm.setGeometry(screen->geometry());
        FForm.statusBar()->hide();
        FForm.ToolBar()->hide();
        FForm.FileListPanel()->hide();
        FForm.menuBar()->hide();
        if (FForm.Settings().HideMouse && !FMouseHidden) {
            QApplication::setOverrideCursor(Qt::BlankCursor);
            FMouseHidden = true;
        }
    } else {
        // Back to a framed window, still maximised, with the bars as their commands say.
        FForm.showNormal();
        FForm.setGeometry(FNormalGeometry);
        FForm.showMaximized();
        FForm.statusBar()->setVisible(FForm.Action("ViewStatusBarAction")->isChecked());
        FForm.ToolBar()->setVisible(FForm.Action("ViewToolBarAction")->isChecked());
        FForm.FileListPanel()->setVisible(FForm.Action("ViewFileListAction")->isChecked());
        FForm.menuBar()->show();
        if (FMouseHidden) {
            QApplication::restoreOverrideCursor();
            FMouseHidden = false;
        }
    }
    FForm.RelayoutView();
    FForm.UpdateActions(FForm.HasPicture());
    emit FForm.PresentationChanging(false);
}
