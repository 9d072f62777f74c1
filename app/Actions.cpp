#include "app/Actions.h"

#include "app/Icons.h"
#include "app/Main.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QToolBar>

namespace {

// An entry that shows another caption for an action of the window and follows its state.
QAction* Alias(QAction* target, const QString& caption, QObject* parent) {
    auto* alias = new QAction(caption, parent);
    alias->setStatusTip(target->statusTip());
    alias->setToolTip(target->toolTip());
    alias->setCheckable(target->isCheckable());
    const auto sync = [alias, target] {
        alias->setEnabled(target->isEnabled());
        alias->setVisible(target->isVisible());
        alias->setChecked(target->isChecked());
        alias->setIcon(target->icon());
    };
    sync();
    QObject::connect(target, &QAction::changed, alias, sync);
    QObject::connect(alias, &QAction::triggered, target, [target] { target->trigger(); });
    return alias;
}

QAction* NewFormAction(TMainForm& form, const char* name, const QString& caption, const QString& hint,
                       const QKeySequence& shortcut) {
    auto* action = new QAction(caption, &form);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        const int bar = hint.indexOf(QLatin1Char('|'));
        action->setToolTip(bar < 0 ? hint : hint.left(bar));
        action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    }
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    form.addAction(action); // shortcuts work while the tool bar or the menu bar is hidden
    return action;
}

} // namespace


void CreateMainActions(TMainForm& form) {
    const auto NewAction = [&form](const char* name, const QString& caption, const QString& hint = QString(),
                                   const QKeySequence& shortcut = QKeySequence()) {
        return NewFormAction(form, name, caption, hint, shortcut);
    };
    const auto Action = [&form](const char* name) { return form.Action(name); };
    const auto key = [](int k) { return QKeySequence(k); };
    const int ctrl = int(Qt::CTRL), alt = int(Qt::ALT), shift = int(Qt::SHIFT),
              keypad = int(Qt::KeypadModifier);

    NewAction("FileOpenAction", QStringLiteral("&Open"), QStringLiteral("Open file|Open a image file"),
              key(ctrl | Qt::Key_O));
    NewAction("FileSaveAsAction", QStringLiteral("&Save as..."),
              QStringLiteral("Save file|Write the current image to a new file"), key(ctrl | Qt::Key_S));
    NewAction("FileMultiSaveAsAction", QStringLiteral("Save &animated file as..."));
    NewAction("FilePrintAction", QStringLiteral("&Print"), QStringLiteral("Print|Print the current image"),
              key(ctrl | Qt::Key_P));
    NewAction("FilePrintSetupAction", QStringLiteral("Print set&up..."),
              QStringLiteral("Print setup|Setup the print parameters"));
    NewAction("FilePageSetupAction", QStringLiteral("Pa&ge setup..."),
              QStringLiteral("Page setup|Adjust page settings for current image"));
    NewAction("FileExitAction", QStringLiteral("E&xit"), QStringLiteral("Exit|Exit the Lumenor"));

    NewAction("EditCopyToAction", QStringLiteral("&Copy To..."),
              QStringLiteral("Copy the current image to another folder."));
    NewAction("EditMoveToAction", QStringLiteral("&Move To..."),
              QStringLiteral("Move the current image to another folder."));
    NewAction("EditCopyAction", QStringLiteral("Copy &Image"),
              QStringLiteral("Copy the current image to the clipboard"), key(ctrl | Qt::Key_C));
    NewAction("EditCutAction", QStringLiteral("C&ut File"),
              QStringLiteral("Cut the current image to the clipboard."), key(ctrl | Qt::Key_X));
    NewAction("EditPasteAction", QStringLiteral("&Paste"), QStringLiteral("Paste image from the clipboard"),
              key(ctrl | Qt::Key_V));
    NewAction("EditDeleteAction", QStringLiteral("&Delete"), QStringLiteral("Delete the current image"),
              key(Qt::Key_Delete));
    NewAction("EditRenameAction", QStringLiteral("&Rename"), QStringLiteral("Rename the current image"),
              key(Qt::Key_F2));

    NewAction("ViewToolBarAction", QStringLiteral("&Toolbar"), QStringLiteral("Show/Hide the toolbar"),
              key(ctrl | alt | Qt::Key_T));
    NewAction("ViewStatusBarAction", QStringLiteral("Status &Bar"),
              QStringLiteral("Show/Hide the status bar"), key(ctrl | alt | Qt::Key_S));
    NewAction("ViewFileListAction", QStringLiteral("File &List"),
              QStringLiteral("Show/Hide the file listbox"), key(ctrl | alt | Qt::Key_L));
    NewAction("ViewThumbnailAction", QStringLiteral("Thumb&nails"),
              QStringLiteral("Show/Hide the images as thumbnails"), key(ctrl | alt | Qt::Key_N));
    for (const char* name :
         {"ViewToolBarAction", "ViewStatusBarAction", "ViewFileListAction", "ViewThumbnailAction"})
        Action(name)->setCheckable(true);
    Action("ViewToolBarAction")->setChecked(true);
    Action("ViewStatusBarAction")->setChecked(true);

    NewAction("ViewPreviousAction", QStringLiteral("&Previous"),
              QStringLiteral("Prevous image|Display the previous image in the current directory"),
              key(Qt::Key_PageUp));
    NewAction("ViewNextAction", QStringLiteral("&Next"),
              QStringLiteral("Next image|Display the next image in the current directory"),
              key(Qt::Key_PageDown));
    NewAction("ViewFirstAction", QStringLiteral("&First"),
              QStringLiteral("First image|Display the first image in the current directory"),
              key(Qt::Key_Home));
    NewAction("ViewLastAction", QStringLiteral("&Last"),
              QStringLiteral("Last image|Display the last image in the current directory"), key(Qt::Key_End));
    NewAction("ViewPreviousPageAction", QStringLiteral("&Previous"),
              QStringLiteral("Previous page|Display the previous page in the multi-page image"),
              key(shift | Qt::Key_PageUp));
    NewAction("ViewNextPageAction", QStringLiteral("&Next"),
              QStringLiteral("Next page|Display the next page in the multi-page image"),
              key(shift | Qt::Key_PageDown));
    NewAction("ViewFirstPageAction", QStringLiteral("&First"),
              QStringLiteral("First page|Display the first page in the multi-page image"),
              key(shift | Qt::Key_Home));
    NewAction("ViewLastPageAction", QStringLiteral("&Last"),
              QStringLiteral("Last page|Display the last page in the multi-page image"),
              key(shift | Qt::Key_End));

    NewAction("AniPlayAction", QStringLiteral("&Play"), QStringLiteral("Play the animated clip"));
    NewAction("AniPauseAction", QStringLiteral("P&ause"), QStringLiteral("Pause the animated clip"));
    NewAction("AniStopAction", QStringLiteral("&Stop"), QStringLiteral("Stop the animated clip"));
    NewAction(
        "AniFirstAction", QStringLiteral("&First Frame"),
        QStringLiteral("Skips to the previous track, or to the beginning if the medium doesn't use tracks"));
    NewAction("AniPreviousAction", QStringLiteral("&Previous Frame"),
              QStringLiteral("Moves backward a number of frames"));
    NewAction("AniNextAction", QStringLiteral("&Next Frame"),
              QStringLiteral("Moves forward a number of frames"));
    NewAction("AniLastAction", QStringLiteral("&Last Frame"),
              QStringLiteral("Skips to the next track, or to the end if the medium doesn't use tracks"));

    NewAction("ViewRotate90Action", QStringLiteral("Degree &90"), QStringLiteral("Contrarotate degree 90"),
              key(Qt::Key_F10));
    NewAction("ViewRotate180Action", QStringLiteral("Degree 1&80"),
              QStringLiteral("Contrarotate degree 180"));
    NewAction("ViewRotate270Action", QStringLiteral("Degree 2&70"),
              QStringLiteral("Contrarotate degree 270"));
    // The JPEG file itself, turned without loss.
    NewAction("ViewRotateFileLeftAction", QStringLiteral("Rotate File &Left"),
              QStringLiteral("Rotate the JPEG file counter-clockwise|Turn the JPEG file itself a quarter turn "
                             "counter-clockwise, without loss"));
    NewAction("ViewRotateFileRightAction", QStringLiteral("Rotate File &Right"),
              QStringLiteral("Rotate the JPEG file clockwise|Turn the JPEG file itself a quarter turn clockwise, "
                             "without loss"));

    // The zoom actions are named against their captions: "&Less" is ViewZoomInAction.
    NewAction("ViewZoomInAction", QStringLiteral("&Less"), QStringLiteral("Decrease magnification"),
              key(keypad | Qt::Key_Minus));
    NewAction("ViewZoomOutAction", QStringLiteral("&More"), QStringLiteral("Increase magnification"),
              key(keypad | Qt::Key_Plus));
    NewAction("ViewOriginSizeAction", QStringLiteral("A&ctual Size"),
              QStringLiteral("Show image at 100% magnification"), key(keypad | Qt::Key_Asterisk));
    NewAction("ViewFitVisibleAction", QStringLiteral("&Best Fit"),
              QStringLiteral("Magnify image to fit screen or window"), key(keypad | Qt::Key_Slash));
    NewAction(
        "ViewAutoFitAction", QStringLiteral("&Auto fit"),
        QStringLiteral("Automatically adjust the magnification of the image to fit the screen or the window"),
        key(ctrl | Qt::Key_A))
        ->setCheckable(true);
    NewAction("ViewFullScreenAction", QStringLiteral("&Full-screen"),
              QStringLiteral("Toggle full-screen mode"), key(ctrl | Qt::Key_F));
    NewAction("ViewReloadAction", QStringLiteral("&Reload Image"), QStringLiteral("Reload the image"),
              key(Qt::Key_F5));
    NewAction("ViewFileListRefreshAction", QStringLiteral("Refre&sh File List"),
              QStringLiteral("Refresh the file list"), key(Qt::Key_F6));

    NewAction("ToolSlideAction", QStringLiteral("&Slide show"), QStringLiteral("Toggle the slide show mode"),
              key(ctrl | Qt::Key_L));
    Action("ToolSlideAction")->setCheckable(true);
    NewAction("ToolWallPaperCenterAction", QStringLiteral("&Centered"),
              QStringLiteral("Use this image for the desktop wallpaper(centered)"), key(ctrl | Qt::Key_W));
    NewAction("ToolWallPaperTileAction", QStringLiteral("&Tiled"),
              QStringLiteral("Use this image for the desktop wallpaper(tiled)"), key(ctrl | alt | Qt::Key_W));
    NewAction("ToolWallPaperStretchAction", QStringLiteral("&Stretched"),
              QStringLiteral("Use this image for the desktop wallpaper(stretched)"),
              key(ctrl | alt | Qt::Key_Z));
    NewAction("ToolWallPaperRestoreAction", QStringLiteral("&Restore"), QString(),
              key(ctrl | alt | Qt::Key_R));
    NewAction("ToolBatchConvAction", QStringLiteral("&Batch convert/rename"),
              QStringLiteral("Convert image formats in batch"), key(ctrl | Qt::Key_B));
    NewAction("ToolHTMLAction", QStringLiteral("HTML &Album Generator"), QString(), key(ctrl | Qt::Key_H));
    NewAction("ToolSetupAction", QStringLiteral("&Options"),
              QStringLiteral("Costomize by changing software options"), key(ctrl | alt | Qt::Key_O));

    NewAction("HelpContentAction", QStringLiteral("&Content"),
              QStringLiteral("Display the on-line help contents"), key(Qt::Key_F1));
    NewAction("HelpIndexItem", QStringLiteral("&Index"),
              QStringLiteral("Search the help content by the index"));
    NewAction("HelpAboutItem", QStringLiteral("&About..."), QStringLiteral("About this software"));

    // Icons: the desktop theme's, else the program's own (freedesktop names).
    static const struct {
        const char* Action;
        const char* Icon;
    } icons[] = {
        {"FileOpenAction", "document-open"},
        {"FileSaveAsAction", "document-save-as"},
        {"FileMultiSaveAsAction", "document-save-as"},
        {"FilePrintAction", "document-print"},
        {"FilePageSetupAction", "page-setup"},
        {"FileExitAction", "application-exit"},
        {"EditCopyToAction", "folder-copy"},
        {"EditMoveToAction", "folder-move"},
        {"EditCopyAction", "edit-copy"},
        {"EditCutAction", "edit-cut"},
        {"EditPasteAction", "edit-paste"},
        {"EditDeleteAction", "edit-delete"},
        {"EditRenameAction", "edit-rename"},
        {"ViewFileListAction", "view-list-details"},
        {"ViewThumbnailAction", "view-grid"},
        {"ViewPreviousAction", "go-previous"},
        {"ViewNextAction", "go-next"},
        {"ViewFirstAction", "go-first"},
        {"ViewLastAction", "go-last"},
        {"ViewPreviousPageAction", "go-up"},
        {"ViewNextPageAction", "go-down"},
        {"AniPlayAction", "media-playback-start"},
        {"AniPauseAction", "media-playback-pause"},
        {"AniStopAction", "media-playback-stop"},
        {"AniFirstAction", "media-skip-backward"},
        {"AniPreviousAction", "media-seek-backward"},
        {"AniNextAction", "media-seek-forward"},
        {"AniLastAction", "media-skip-forward"},
        {"ViewRotate90Action", "object-rotate-right"},
        {"ViewRotate180Action", "object-flip-vertical"},
        {"ViewRotate270Action", "object-rotate-left"},
        {"ViewRotateFileLeftAction", "object-rotate-left"},
        {"ViewRotateFileRightAction", "object-rotate-right"},
        {"ViewZoomInAction", "zoom-out"}, // "&Less"
        {"ViewZoomOutAction", "zoom-in"}, // "&More"
        {"ViewOriginSizeAction", "zoom-original"},
        {"ViewFitVisibleAction", "zoom-fit-best"},
        {"ViewFullScreenAction", "view-fullscreen"},
        {"ViewReloadAction", "view-refresh"},
        {"ToolSlideAction", "x-office-presentation"},
        {"ToolWallPaperCenterAction", "preferences-desktop-wallpaper"},
        {"ToolBatchConvAction", "document-convert"},
        {"ToolHTMLAction", "text-html"},
        {"ToolSetupAction", "preferences-system"},
        {"HelpContentAction", "help-contents"},
        {"HelpAboutItem", "help-about"},
    };
    for (const auto& entry : icons) Action(entry.Action)->setIcon(ThemeIcon(QString::fromLatin1(entry.Icon)));

}

TMainMenus CreateMainMenus(TMainForm& form) {
    TMainMenus m;
    const auto Action = [&form](const char* name) { return form.Action(name); };
    QMenuBar* bar = form.menuBar();
    const auto add = [&](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!*name)
                menu->addSeparator();
            else
                menu->addAction(Action(name));
        }
    };
    QMenu* file = m.FileMenu = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    add(file, {"FileOpenAction", "FileSaveAsAction", "FileMultiSaveAsAction", "", "FilePrintAction",
               "FilePrintSetupAction", "FilePageSetupAction"});
    m.RecentFilesSeparator = file->addSeparator(); // the recent files go in before it
    add(file, {"FileExitAction"});

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    add(edit, {"EditCopyToAction", "EditMoveToAction", "", "EditCopyAction", "EditCutAction",
               "EditPasteAction", "EditDeleteAction", "", "EditRenameAction"});

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    add(view, {"ViewToolBarAction", "ViewStatusBarAction", "ViewFileListAction", "ViewThumbnailAction", ""});
    QMenu* image = view->addMenu(QStringLiteral("&Image"));
    add(image, {"ViewPreviousAction", "ViewNextAction", "ViewFirstAction", "ViewLastAction"});
    QMenu* page = view->addMenu(QStringLiteral("&Page"));
    add(page, {"ViewPreviousPageAction", "ViewNextPageAction", "ViewFirstPageAction", "ViewLastPageAction"});
    m.AnimateMenu = view->addMenu(QStringLiteral("&Animate Control"));
    m.AnimateMenu->setObjectName(QStringLiteral("AnimateMenu"));
    add(m.AnimateMenu, {"AniPlayAction", "AniPauseAction", "AniStopAction", "", "AniFirstAction",
                       "AniPreviousAction", "AniNextAction", "AniLastAction"});
    view->addSeparator();
    QMenu* rotate = view->addMenu(QStringLiteral("&Rotate"));
    add(rotate, {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action", "",
                 "ViewRotateFileLeftAction", "ViewRotateFileRightAction"});
    QMenu* zoom = view->addMenu(QStringLiteral("&Zoom"));
    add(zoom, {"ViewZoomInAction", "ViewZoomOutAction", "ViewFitVisibleAction", "ViewOriginSizeAction"});
    add(view,
        {"ViewFullScreenAction", "ViewAutoFitAction", "", "ViewReloadAction", "ViewFileListRefreshAction"});

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("ToolsMenu"));
    add(tools, {"ToolSlideAction", ""});
    QMenu* wallpaper = tools->addMenu(QStringLiteral("Set &Wallpaper"));
    add(wallpaper, {"ToolWallPaperCenterAction", "ToolWallPaperTileAction", "ToolWallPaperStretchAction",
                    "ToolWallPaperRestoreAction"});
    add(tools, {"ToolBatchConvAction", "ToolHTMLAction", ""});
    tools->addAction(Alias(Action("ToolSetupAction"), QStringLiteral("&Options..."), tools));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, {"HelpContentAction", "HelpIndexItem", "", "HelpAboutItem"});

    // The picture area's context menu.
    m.ContextMenu = new QMenu(&form);
    m.ContextMenu->setObjectName(QStringLiteral("ContextMenu"));
    m.ContextMenu->addAction(
        Alias(Action("ViewPreviousAction"), QStringLiteral("&Previous Image"), m.ContextMenu));
    m.ContextMenu->addAction(Alias(Action("ViewNextAction"), QStringLiteral("&Next Image"), m.ContextMenu));
    add(m.ContextMenu, {"ToolSlideAction", ""});
    QMenu* contextRotate = m.ContextMenu->addMenu(QStringLiteral("&Rotate"));
    add(contextRotate, {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action", "",
                        "ViewRotateFileLeftAction", "ViewRotateFileRightAction"});
    m.ContextMenu->addSeparator();
    m.ContextMenu->addAction(Alias(Action("ViewZoomOutAction"), QStringLiteral("Zoom &In"), m.ContextMenu));
    m.ContextMenu->addAction(Alias(Action("ViewZoomInAction"), QStringLiteral("Zoom &Out"), m.ContextMenu));
    m.ContextMenu->addAction(
        Alias(Action("ViewFitVisibleAction"), QStringLiteral("Zoom &Best Fit"), m.ContextMenu));
    m.ContextMenu->addAction(
        Alias(Action("ViewOriginSizeAction"), QStringLiteral("Zoom A&ctual Size"), m.ContextMenu));
    m.ContextMenu->addSeparator();
    add(m.ContextMenu, {"ViewReloadAction", "ViewFullScreenAction", "ViewFileListRefreshAction", "",
                       "FileOpenAction", "FilePrintAction"});
    QMenu* contextWallpaper = m.ContextMenu->addMenu(QStringLiteral("Set &Wallpaper"));
    add(contextWallpaper, {"ToolWallPaperCenterAction", "ToolWallPaperTileAction",
                           "ToolWallPaperStretchAction", "ToolWallPaperRestoreAction"});
    add(m.ContextMenu, {"ToolSetupAction", "", "FileExitAction"});
    return m;
}

void CreateMainToolBar(TMainForm& form, TMainMenus& m) {
    const auto Action = [&form](const char* name) { return form.Action(name); };
    m.ToolBar = form.addToolBar(QStringLiteral("Toolbar"));
    m.ToolBar->setObjectName(QStringLiteral("ToolBar"));
    m.ToolBar->setMovable(false);
    m.ToolBar->toggleViewAction()->setVisible(false);
    const auto add = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!*name)
                m.ToolBar->addSeparator();
            else
                m.ToolBar->addAction(Action(name));
        }
    };
    add({"FileOpenAction",
         "FileSaveAsAction",
         "FilePrintAction",
         "FileExitAction",
         "",
         "ViewFileListAction",
         "ViewThumbnailAction",
         "ViewZoomInAction",
         "ViewZoomOutAction",
         "ViewFullScreenAction",
         "ViewReloadAction",
         "",
         "ToolSlideAction",
         "ViewPreviousAction",
         "ViewNextAction",
         "",
         "ToolWallPaperCenterAction",
         "ToolBatchConvAction",
         "ToolSetupAction",
         "",
         "HelpContentAction",
         ""});
    // The frame panel and the player buttons show only for animations.
    m.FrameLabel = new QLabel(m.ToolBar);
    m.FrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    m.FrameLabel->setFixedSize(77, 22);
    m.FrameSlider = new QSlider(Qt::Horizontal, m.ToolBar);
    m.FrameSlider->setObjectName(QStringLiteral("FrameSlider"));
    m.FrameSlider->setMinimum(1);
    m.FrameSlider->setFixedWidth(150);
    m.FrameLabelAction = m.ToolBar->addWidget(m.FrameLabel);
    m.FrameSliderAction = m.ToolBar->addWidget(m.FrameSlider);
    add({"AniPlayAction", "AniPauseAction", "AniStopAction", "AniFirstAction", "AniPreviousAction",
         "AniNextAction", "AniLastAction"});
}

