#include "app/Main.h"

#include "formats/hpgl/hpgl_2.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"

#include "app/FileListPanel.h"
#include "app/MRUFList.h"
#include "app/ViewGeometry.h"
#include "codec/DibGraphic.h"
#include "codec/Registry.h"
#include "formats/raster/PwdFrm.h"
#include "platform/HelpViewer.h"
#include "platform/PrintSetupDialog.h"
#include "tools/ThumbnailWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>

// A status bar panel: a label of fixed width that can draw the load progress instead of its text.
class TStatusPanel : public QLabel {
public:
    explicit TStatusPanel(QWidget* parent) : QLabel(parent) {}
    void SetProgress(bool ownerDrawn, int percent) {
        FOwnerDrawn = ownerDrawn;
        FPercent = percent;
    }
    bool OwnerDrawn() const { return FOwnerDrawn; }

protected:
    void paintEvent(QPaintEvent* e) override {
        if (!FOwnerDrawn) {
            QLabel::paintEvent(e);
            return;
        }
        QPainter p(this);
        const QRect r = contentsRect();
        p.fillRect(QRect(r.left(), r.top(), r.width() * FPercent / 100, r.height()), Qt::blue);
    }

private:
    bool FOwnerDrawn = false;
    int FPercent = 0;
};

namespace {

const QEvent::Type kProgressEventType = QEvent::Type(QEvent::User + 301);

// The container's progress, posted to the window and shown from its event handling.
class TProgressMessage : public QEvent {
public:
    TProgressMessage(TProgressStage stage, int percent)
        : QEvent(kProgressEventType), Stage(stage), Percent(percent) {}
    TProgressStage Stage;
    int Percent;
};

TMessageBoxHandler& MessageBoxHandler() {
    static TMessageBoxHandler handler;
    return handler;
}

// Restores the cursor on every path out of a long operation.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { Restore(); }
    void Restore() {
        if (FActive) QApplication::restoreOverrideCursor();
        FActive = false;
    }

private:
    bool FActive = true;
};

QIcon LetterIcon(const QString& letters, const QColor& colour = QColor(40, 70, 140)) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 22, 22), 4, 4);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(letters.size() > 1 ? 10 : 14);
    p.setFont(font);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, letters);
    return QIcon(pixmap);
}

QIcon ProgramIcon() {
    return LetterIcon(QStringLiteral("L"), QColor(200, 120, 20));
}

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

} // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Lumenor v1.65"));
    setWindowIcon(ProgramIcon());
    // 1. The manual next to the program.
    FHelpFile = HelpFolderFor(QCoreApplication::applicationFilePath());

    // The file list panel at the left, a 3-pixel splitter, the picture area with the thumbnail grid over it.
    FSplitter = new QSplitter(Qt::Horizontal, this);
    FSplitter->setObjectName(QStringLiteral("PanelSplitter"));
    FSplitter->setHandleWidth(3);
    FSplitter->setChildrenCollapsible(false);
    // 2. The file list's filter box gets the whole filter text; the list is the current folder.
    FFileListPanel = new TFileListPanel(GraphicFilter(), FSplitter);
    FFileListPanel->hide();
    FPictureArea = new QWidget(FSplitter);
    FPictureArea->setObjectName(QStringLiteral("PictureArea"));
    auto* area = new QGridLayout(FPictureArea);
    area->setContentsMargins(0, 0, 0, 0);
    FView = new TPictureView(this);
    area->addWidget(FView, 0, 0);
    FThumbnailGrid = new TThumbnailGrid(FPictureArea);
    FThumbnailGrid->setObjectName(QStringLiteral("ThumbnailGrid"));
    FThumbnailGrid->hide();
    area->addWidget(FThumbnailGrid, 0, 0);
    FSplitter->setStretchFactor(0, 0);
    FSplitter->setStretchFactor(1, 1);
    FSplitter->setSizes({TFileListPanel::kDefaultWidth, 800});
    setCentralWidget(FSplitter);
    CreateActions();
    CreateMenus();
    // The recent files go in before the File menu's last separator.
    FMRUFileList = new TMRUFileList(this);
    FMRUFileList->SetMaximum(4);
    FMRUFileList->SetAutoSaveName(QStringLiteral("\\Software\\Lumenor"));
    FMRUFileList->SetFileMenu(menuBar()->findChild<QMenu*>(QStringLiteral("FileMenu")), FRecentFilesSeparator);
    FMRUFileList->SetOnMRUItemClick([this](const QString& path) { Run([this, path] { SelectAndOpen(path); }); });
    FMRUFileList->Load();
    CreateToolBar();
    CreateStatusBar();
    resize(800, 564 + menuBar()->sizeHint().height());

    // 3. Panels as they were left.
    const TSystemFlags flags = LoadSystemFlags();
    if (Action("ViewToolBarAction")->isChecked() != flags.ToolBarVisible)
        Action("ViewToolBarAction")->trigger();
    if (Action("ViewStatusBarAction")->isChecked() != flags.StatusBarVisible)
        Action("ViewStatusBarAction")->trigger();
    if (Action("ViewFileListAction")->isChecked() != flags.FileListVisible)
        Action("ViewFileListAction")->trigger();
    if (Action("ViewThumbnailAction")->isChecked() != flags.ThumbnailVisible)
        Action("ViewThumbnailAction")->trigger();

    // 5. Picture container, kind 0, the view bitmap's brush.
    FPictureKind = TPictureKind::pkStill;
    FPicture.OnChange = [this](TGraphic*) { PictureChanged(); };
    FPicture.OnProgress = [this](TGraphic*, TProgressStage stage, quint8 percent, bool, const QRect&,
                                 const QString&) { ForwardProgress(stage, percent); };

    // 6. Settings.
    LoadSettings(FSettings);
    ApplySettings();

    // 8. Dropped files.
    setAcceptDrops(true);
    // 9. Password memory.
    FRememberPassword = true;
    FMaskPassword = true;

    UpdateActions(false);
    qApp->installEventFilter(this); // the window sees its keys before the focused control
    SetViewerServices(this);

    // Browsing: the list drives the panel, the grid and the browse commands.
    TFileList& list = FileList();
    connect(&list, &TFileList::ListChanged, this, [this] {
        UpdateBrowseActions();
        SyncThumbnails();
    });
    connect(&list, &TFileList::SelectionChanged, this, &TMainForm::UpdateBrowseActions);
    connect(FFileListPanel, &TFileListPanel::FileChosen, this, [this](const QString& path) {
        if (!FLoading) Run([this, path] { OpenPicture(path); });
    });
    connect(FThumbnailGrid, &TThumbnailGrid::CellSelected, this, &TMainForm::ThumbnailCellSelected);
    connect(FThumbnailGrid, &TThumbnailGrid::CellDoubleClicked, this, &TMainForm::ThumbnailCellDoubleClicked);
    UpdateBrowseActions();

    // 10. The command line: only the first argument, selected in the file list, then opened.
    if (!arguments.isEmpty() && !arguments.first().isEmpty()) {
        const QString path = arguments.first();
        Run([this, path] { SelectAndOpen(path); });
    }
}

TMainForm::~TMainForm() {
    delete FMRUFileList; // stores the recent files while the menus still exist
    FMRUFileList = nullptr;
    // Preview workers may still ask the window's services; they finish before the services go.
    FThumbnailGrid->Loader().Load({});
    FThumbnailGrid->Loader().WaitForDone();
    qApp->removeEventFilter(this);
    if (&ViewerServices() == this) SetViewerServices(nullptr);
    FPicture.OnChange = nullptr;
    FPicture.OnProgress = nullptr;
    if (TGraphic* g = FPicture.Graphic()) g->OnProgress = nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Actions, menus, tool bar, status bar

QAction* TMainForm::NewAction(const char* name, const QString& caption, const QString& hint,
                              const QKeySequence& shortcut) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        const int bar = hint.indexOf(QLatin1Char('|'));
        action->setToolTip(bar < 0 ? hint : hint.left(bar));
        action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    }
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    addAction(action); // shortcuts work while the tool bar or the menu bar is hidden
    return action;
}

QAction* TMainForm::Action(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void TMainForm::Run(const std::function<void()>& command) {
    try {
        command();
    } catch (const Exception& e) {
        ReportError(this, e.Message());
    } catch (const std::bad_alloc&) {
        ReportError(this, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        // Nothing may leave an event handler.
        ReportError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TMainForm::Connect(const char* name, void (TMainForm::*handler)()) {
    QAction* action = Action(name);
    FPending.remove(action);
    connect(action, &QAction::triggered, this,
            [this, handler] { Run([this, handler] { (this->*handler)(); }); });
}

void TMainForm::Enable(QAction* action, bool rule) {
    action->setEnabled(rule && !FPending.contains(action));
}

void TMainForm::CreateActions() {
    const auto key = [](int k) { return QKeySequence(k); };
    const int ctrl = int(Qt::CTRL), alt = int(Qt::ALT), shift = int(Qt::SHIFT),
              keypad = int(Qt::KeypadModifier);
    QStyle* st = style();

    NewAction("FileOpenAction", QStringLiteral("&Open"), QStringLiteral("Open file|Open a image file"),
              key(ctrl | Qt::Key_O))
        ->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    NewAction("FileSaveAsAction", QStringLiteral("&Save as..."),
              QStringLiteral("Save file|Write the current image to a new file"), key(ctrl | Qt::Key_S))
        ->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    NewAction("FileMultiSaveAsAction", QStringLiteral("Save &animated file as..."));
    NewAction("FilePrintAction", QStringLiteral("&Print"), QStringLiteral("Print|Print the current image"),
              key(ctrl | Qt::Key_P))
        ->setIcon(LetterIcon(QStringLiteral("P")));
    NewAction("FilePrintSetupAction", QStringLiteral("Print set&up..."),
              QStringLiteral("Print setup|Setup the print parameters"));
    NewAction("FilePageSetupAction", QStringLiteral("Pa&ge setup..."),
              QStringLiteral("Page setup|Adjust page settings for current image"));
    NewAction("FileExitAction", QStringLiteral("E&xit"), QStringLiteral("Exit|Exit the Lumenor"))
        ->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));

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
              QStringLiteral("Show/Hide the file listbox"), key(ctrl | alt | Qt::Key_L))
        ->setIcon(st->standardIcon(QStyle::SP_FileDialogListView));
    NewAction("ViewThumbnailAction", QStringLiteral("Thumb&nails"),
              QStringLiteral("Show/Hide the images as thumbnails"), key(ctrl | alt | Qt::Key_N))
        ->setIcon(st->standardIcon(QStyle::SP_FileDialogContentsView));
    for (const char* name :
         {"ViewToolBarAction", "ViewStatusBarAction", "ViewFileListAction", "ViewThumbnailAction"})
        Action(name)->setCheckable(true);
    Action("ViewToolBarAction")->setChecked(true);
    Action("ViewStatusBarAction")->setChecked(true);

    NewAction("ViewPreviousAction", QStringLiteral("&Previous"),
              QStringLiteral("Prevous image|Display the previous image in the current directory"),
              key(Qt::Key_PageUp))
        ->setIcon(st->standardIcon(QStyle::SP_ArrowLeft));
    NewAction("ViewNextAction", QStringLiteral("&Next"),
              QStringLiteral("Next image|Display the next image in the current directory"),
              key(Qt::Key_PageDown))
        ->setIcon(st->standardIcon(QStyle::SP_ArrowRight));
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

    NewAction("AniPlayAction", QStringLiteral("&Play"), QStringLiteral("Play the animated clip"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaPlay));
    NewAction("AniPauseAction", QStringLiteral("P&ause"), QStringLiteral("Pause the animated clip"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaPause));
    NewAction("AniStopAction", QStringLiteral("&Stop"), QStringLiteral("Stop the animated clip"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaStop));
    NewAction(
        "AniFirstAction", QStringLiteral("&First Frame"),
        QStringLiteral("Skips to the previous track, or to the beginning if the medium doesn't use tracks"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaSkipBackward));
    NewAction("AniPreviousAction", QStringLiteral("&Previous Frame"),
              QStringLiteral("Moves backward a number of frames"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaSeekBackward));
    NewAction("AniNextAction", QStringLiteral("&Next Frame"),
              QStringLiteral("Moves forward a number of frames"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaSeekForward));
    NewAction("AniLastAction", QStringLiteral("&Last Frame"),
              QStringLiteral("Skips to the next track, or to the end if the medium doesn't use tracks"))
        ->setIcon(st->standardIcon(QStyle::SP_MediaSkipForward));

    NewAction("ViewRotate90Action", QStringLiteral("Degree &90"), QStringLiteral("Contrarotate degree 90"),
              key(Qt::Key_F10));
    NewAction("ViewRotate180Action", QStringLiteral("Degree 1&80"),
              QStringLiteral("Contrarotate degree 180"));
    NewAction("ViewRotate270Action", QStringLiteral("Degree 2&70"),
              QStringLiteral("Contrarotate degree 270"));

    // The zoom actions are named against their captions: "&Less" is ViewZoomInAction.
    NewAction("ViewZoomInAction", QStringLiteral("&Less"), QStringLiteral("Decrease magnification"),
              key(keypad | Qt::Key_Minus))
        ->setIcon(LetterIcon(QStringLiteral("\u2212")));
    NewAction("ViewZoomOutAction", QStringLiteral("&More"), QStringLiteral("Increase magnification"),
              key(keypad | Qt::Key_Plus))
        ->setIcon(LetterIcon(QStringLiteral("+")));
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
              QStringLiteral("Toggle full-screen mode"), key(ctrl | Qt::Key_F))
        ->setIcon(st->standardIcon(QStyle::SP_TitleBarMaxButton));
    NewAction("ViewReloadAction", QStringLiteral("&Reload Image"), QStringLiteral("Reload the image"),
              key(Qt::Key_F5))
        ->setIcon(st->standardIcon(QStyle::SP_BrowserReload));
    NewAction("ViewFileListRefreshAction", QStringLiteral("Refre&sh File List"),
              QStringLiteral("Refresh the file list"), key(Qt::Key_F6));

    NewAction("ToolSlideAction", QStringLiteral("&Slide show"), QStringLiteral("Toggle the slide show mode"),
              key(ctrl | Qt::Key_L))
        ->setIcon(LetterIcon(QStringLiteral("S")));
    Action("ToolSlideAction")->setCheckable(true);
    NewAction("ToolWallPaperCenterAction", QStringLiteral("&Centered"),
              QStringLiteral("Use this image for the desktop wallpaper(centered)"), key(ctrl | Qt::Key_W))
        ->setIcon(LetterIcon(QStringLiteral("W")));
    NewAction("ToolWallPaperTileAction", QStringLiteral("&Tiled"),
              QStringLiteral("Use this image for the desktop wallpaper(tiled)"), key(ctrl | alt | Qt::Key_W));
    NewAction("ToolWallPaperStretchAction", QStringLiteral("&Stretched"),
              QStringLiteral("Use this image for the desktop wallpaper(stretched)"),
              key(ctrl | alt | Qt::Key_Z));
    NewAction("ToolWallPaperRestoreAction", QStringLiteral("&Restore"), QString(),
              key(ctrl | alt | Qt::Key_R));
    NewAction("ToolBatchConvAction", QStringLiteral("&Batch convert/rename"),
              QStringLiteral("Convert image formats in batch"), key(ctrl | Qt::Key_B))
        ->setIcon(LetterIcon(QStringLiteral("B")));
    NewAction("ToolHTMLAction", QStringLiteral("HTML &Album Generator"), QString(), key(ctrl | Qt::Key_H));
    NewAction("ToolSetupAction", QStringLiteral("&Options"),
              QStringLiteral("Costomize by changing software options"), key(ctrl | alt | Qt::Key_O))
        ->setIcon(LetterIcon(QStringLiteral("O")));

    NewAction("HelpContentAction", QStringLiteral("&Content"),
              QStringLiteral("Display the on-line help contents"), key(Qt::Key_F1))
        ->setIcon(st->standardIcon(QStyle::SP_DialogHelpButton));
    NewAction("HelpIndexItem", QStringLiteral("&Index"),
              QStringLiteral("Search the help content by the index"));
    NewAction("HelpAboutItem", QStringLiteral("&About..."), QStringLiteral("About this software"));

    // Every command starts out pending; the ones this window carries out are connected below. The rest
    // land with browsing, full screen and the slide show, pages and animation, rotation, file
    // operations, saving, printing, batch conversion and the options dialog.
    for (QAction* a : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (a->objectName().endsWith(QLatin1String("Action"))) FPending.insert(a);
    Connect("FileOpenAction", &TMainForm::FileOpenActionExecute);
    Connect("FilePrintSetupAction", &TMainForm::FilePrintSetupActionExecute);
    Connect("FileExitAction", &TMainForm::FileExitActionExecute);
    Connect("ViewToolBarAction", &TMainForm::ViewToolBarActionExecute);
    Connect("ViewStatusBarAction", &TMainForm::ViewStatusBarActionExecute);
    Connect("ViewZoomInAction", &TMainForm::ViewZoomInActionExecute);
    Connect("ViewZoomOutAction", &TMainForm::ViewZoomOutActionExecute);
    Connect("ViewOriginSizeAction", &TMainForm::ViewOriginSizeActionExecute);
    Connect("ViewFitVisibleAction", &TMainForm::ViewFitVisibleActionExecute);
    Connect("ViewAutoFitAction", &TMainForm::ViewAutoFitActionExecute);
    Connect("ViewReloadAction", &TMainForm::ViewReloadActionExecute);
    Connect("ViewPreviousAction", &TMainForm::ViewPreviousActionExecute);
    Connect("ViewNextAction", &TMainForm::ViewNextActionExecute);
    Connect("ViewFirstAction", &TMainForm::ViewFirstActionExecute);
    Connect("ViewLastAction", &TMainForm::ViewLastActionExecute);
    Connect("ViewFileListAction", &TMainForm::ViewFileListActionExecute);
    Connect("ViewFileListRefreshAction", &TMainForm::ViewFileListRefreshActionExecute);
    Connect("ViewThumbnailAction", &TMainForm::ViewThumbnailActionExecute);
    Connect("HelpContentAction", &TMainForm::HelpContentActionExecute);
    Connect("HelpIndexItem", &TMainForm::HelpIndexExecute);
    Connect("HelpAboutItem", &TMainForm::HelpAboutExecute);
    for (QAction* a : std::as_const(FPending))
        a->setEnabled(false);
}

void TMainForm::CreateMenus() {
    const auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!*name)
                menu->addSeparator();
            else
                menu->addAction(Action(name));
        }
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    add(file, {"FileOpenAction", "FileSaveAsAction", "FileMultiSaveAsAction", "", "FilePrintAction",
               "FilePrintSetupAction", "FilePageSetupAction"});
    FRecentFilesSeparator = file->addSeparator(); // the recent files go in before it
    add(file, {"FileExitAction"});

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    add(edit, {"EditCopyToAction", "EditMoveToAction", "", "EditCopyAction", "EditCutAction",
               "EditPasteAction", "EditDeleteAction", "", "EditRenameAction"});

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    add(view, {"ViewToolBarAction", "ViewStatusBarAction", "ViewFileListAction", "ViewThumbnailAction", ""});
    QMenu* image = view->addMenu(QStringLiteral("&Image"));
    add(image, {"ViewPreviousAction", "ViewNextAction", "ViewFirstAction", "ViewLastAction"});
    QMenu* page = view->addMenu(QStringLiteral("&Page"));
    add(page, {"ViewPreviousPageAction", "ViewNextPageAction", "ViewFirstPageAction", "ViewLastPageAction"});
    FAnimateMenu = view->addMenu(QStringLiteral("&Animate Control"));
    FAnimateMenu->setObjectName(QStringLiteral("AnimateMenu"));
    add(FAnimateMenu, {"AniPlayAction", "AniPauseAction", "AniStopAction", "", "AniFirstAction",
                       "AniPreviousAction", "AniNextAction", "AniLastAction"});
    view->addSeparator();
    QMenu* rotate = view->addMenu(QStringLiteral("&Rotate"));
    add(rotate, {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action"});
    QMenu* zoom = view->addMenu(QStringLiteral("&Zoom"));
    add(zoom, {"ViewZoomInAction", "ViewZoomOutAction", "ViewFitVisibleAction", "ViewOriginSizeAction"});
    add(view,
        {"ViewFullScreenAction", "ViewAutoFitAction", "", "ViewReloadAction", "ViewFileListRefreshAction"});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("ToolsMenu"));
    add(tools, {"ToolSlideAction", ""});
    QMenu* wallpaper = tools->addMenu(QStringLiteral("Set &Wallpaper"));
    add(wallpaper, {"ToolWallPaperCenterAction", "ToolWallPaperTileAction", "ToolWallPaperStretchAction",
                    "ToolWallPaperRestoreAction"});
    add(tools, {"ToolBatchConvAction", "ToolHTMLAction", ""});
    tools->addAction(Alias(Action("ToolSetupAction"), QStringLiteral("&Options..."), tools));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, {"HelpContentAction", "HelpIndexItem", "", "HelpAboutItem"});

    // The picture area's context menu.
    FContextMenu = new QMenu(this);
    FContextMenu->setObjectName(QStringLiteral("ContextMenu"));
    FContextMenu->addAction(
        Alias(Action("ViewPreviousAction"), QStringLiteral("&Previous Image"), FContextMenu));
    FContextMenu->addAction(Alias(Action("ViewNextAction"), QStringLiteral("&Next Image"), FContextMenu));
    add(FContextMenu, {"ToolSlideAction", ""});
    QMenu* contextRotate = FContextMenu->addMenu(QStringLiteral("&Rotate"));
    add(contextRotate, {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action"});
    FContextMenu->addSeparator();
    FContextMenu->addAction(Alias(Action("ViewZoomOutAction"), QStringLiteral("Zoom &In"), FContextMenu));
    FContextMenu->addAction(Alias(Action("ViewZoomInAction"), QStringLiteral("Zoom &Out"), FContextMenu));
    FContextMenu->addAction(
        Alias(Action("ViewFitVisibleAction"), QStringLiteral("Zoom &Best Fit"), FContextMenu));
    FContextMenu->addAction(
        Alias(Action("ViewOriginSizeAction"), QStringLiteral("Zoom A&ctual Size"), FContextMenu));
    FContextMenu->addSeparator();
    add(FContextMenu, {"ViewReloadAction", "ViewFullScreenAction", "ViewFileListRefreshAction", "",
                       "FileOpenAction", "FilePrintAction"});
    QMenu* contextWallpaper = FContextMenu->addMenu(QStringLiteral("Set &Wallpaper"));
    add(contextWallpaper, {"ToolWallPaperCenterAction", "ToolWallPaperTileAction",
                           "ToolWallPaperStretchAction", "ToolWallPaperRestoreAction"});
    add(FContextMenu, {"ToolSetupAction", "", "FileExitAction"});
}

void TMainForm::CreateToolBar() {
    FToolBar = addToolBar(QStringLiteral("Toolbar"));
    FToolBar->setObjectName(QStringLiteral("ToolBar"));
    FToolBar->setMovable(false);
    FToolBar->toggleViewAction()->setVisible(false);
    const auto add = [this](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!*name)
                FToolBar->addSeparator();
            else
                FToolBar->addAction(Action(name));
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
    FFrameLabel = new QLabel(FToolBar);
    FFrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    FFrameSlider = new QSlider(Qt::Horizontal, FToolBar);
    FFrameSlider->setObjectName(QStringLiteral("FrameSlider"));
    FFrameSlider->setMinimum(1);
    FFrameSlider->setFixedWidth(150);
    FFrameSlider->setEnabled(false);
    FFrameLabelAction = FToolBar->addWidget(FFrameLabel);
    FFrameSliderAction = FToolBar->addWidget(FFrameSlider);
    add({"AniPlayAction", "AniPauseAction", "AniStopAction", "AniFirstAction", "AniPreviousAction",
         "AniNextAction", "AniLastAction"});
}

void TMainForm::CreateStatusBar() {
    static const int widths[kStatusPanelCount] = {200, 90, 150, 120, 50, 50, 50, 50, 50};
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < kStatusPanelCount; ++i) {
        auto* panel = new TStatusPanel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(Qt::AlignVCenter | ((i == 0 || i == 8) ? Qt::AlignLeft : Qt::AlignHCenter));
        bar->addWidget(panel);
        FPanels[i] = panel;
    }
}

QLabel* TMainForm::StatusPanel(int index) const {
    return index >= 0 && index < kStatusPanelCount ? FPanels[index] : nullptr;
}

QWidget* TMainForm::View() const {
    return FView;
}

QRect TMainForm::ViewRect() const {
    return QRect(FView->mapTo(this, QPoint(0, 0)), FView->size());
}

void TMainForm::SetPanelText(int index, const QString& text) {
    FPanels[index]->setText(text);
}

void TMainForm::FitStatusPanels() {
    for (int i = 2; i < kStatusPanelCount; ++i)
        FPanels[i]->setFixedWidth(FPanels[i]->fontMetrics().horizontalAdvance(FPanels[i]->text()) + 10);
}

bool TMainForm::HasPicture() const {
    return FPicture.Graphic() && !FPicture.Graphic()->IsEmpty();
}

void TMainForm::UpdateActions(bool hasPicture) {
    const bool animated = hasPicture && FPictureKind >= TPictureKind::pkAnimatedGif;
    Enable(Action("FileSaveAsAction"), hasPicture);
    Action("FileSaveAsAction")
        ->setText(animated ? QStringLiteral("&Save current frame as...") : QStringLiteral("&Save as..."));
    Action("FileMultiSaveAsAction")->setVisible(animated);
    Enable(Action("FileMultiSaveAsAction"), animated);
    Enable(Action("FilePrintAction"), hasPicture);
    Enable(Action("FilePageSetupAction"), hasPicture);

    const QFileInfo info(FCurrentFile);
    const bool exists = !FCurrentFile.isEmpty() && info.exists() && info.isFile();
    for (const char* name : {"EditCopyToAction", "EditMoveToAction", "EditCopyAction", "EditCutAction",
                             "EditDeleteAction", "EditRenameAction"})
        Enable(Action(name), exists);

    UpdateBrowseActions();
    Enable(Action("ViewNextPageAction"), hasPicture && FMultiPage && FCurrentPage < FPageCount);
    Enable(Action("ViewPreviousPageAction"), hasPicture && FMultiPage && FCurrentPage > 1);
    Enable(Action("ViewFirstPageAction"), hasPicture && FMultiPage);
    Enable(Action("ViewLastPageAction"), hasPicture && FMultiPage);

    FAnimateMenu->menuAction()->setVisible(animated);
    FFrameLabelAction->setVisible(animated);
    FFrameSliderAction->setVisible(animated);
    for (const char* name : {"AniPlayAction", "AniPauseAction", "AniStopAction", "AniFirstAction",
                             "AniPreviousAction", "AniNextAction", "AniLastAction"}) {
        Action(name)->setVisible(animated);
        Enable(Action(name), animated);
    }
    if (animated) FFrameSlider->setMaximum(std::max(1, FPicture.Graphic()->FrameCount()));

    const bool rotatable = hasPicture && FPictureKind <= TPictureKind::pkVector;
    for (const char* name : {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action"})
        Enable(Action(name), rotatable);

    Enable(Action("ViewZoomInAction"), hasPicture && FDisplayWidth > 0 && FDisplayHeight > 0);
    Enable(Action("ViewZoomOutAction"), hasPicture && FDisplayWidth < 65536 && FDisplayHeight < 65536);
    for (const char* name :
         {"ViewOriginSizeAction", "ViewFitVisibleAction", "ViewFullScreenAction", "ViewReloadAction",
          "ToolWallPaperCenterAction", "ToolWallPaperTileAction", "ToolWallPaperStretchAction"})
        Enable(Action(name), hasPicture);
}

// ---------------------------------------------------------------------------------------------------
// Opening and closing

void TMainForm::OpenPicture(const QString& path) {
    if (FLoading) return; // no nesting
    if (ThumbnailsShown()) {
        const QSignalBlocker block(FThumbnailGrid); // selecting the cell must not open anything
        FThumbnailGrid->SetSelIndex(FileListSelectedIndex());
    }
    QElapsedTimer clock;
    clock.start();
    FCurrentFile = path;
    FZoom = 1.0;
    if (TGraphic* old = FPicture.Graphic()) old->OnProgress = nullptr;
    FPictureKind = TPictureKind::pkStill;
    FMultiPage = false;
    FLoading = true;
    FPageCount = 1;
    FCurrentPage = 1;
    FPageStream.reset();
    FViewBitmapValid = false;
    FProgressActive = false;
    FLastForwardedPercent = -1;

    bool failed = false;
    {
        TBusyCursor busy;
        try {
            FPicture.LoadFromFileName(path);
        } catch (const std::exception&) { // ours, out of memory, or a library's
            failed = true;
        }
        if (failed) {
            FPicture.Clear();
            busy.Restore();
            ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Cannot open file '") + path + QStringLiteral("'"));
        }
        // Pages: a file with several pages stays open for page access.
        if (auto* dib = dynamic_cast<TDibGraphic*>(FPicture.Graphic()); dib && !failed) {
            auto stream = std::make_unique<QFile>(path);
            try {
                if (!stream->open(QIODevice::ReadOnly)) throw EReadError();
                stream->seek(0);
                FPageCount = std::max(1, dib->GetPageCount(*stream));
                FMultiPage = FPageCount > 1;
                if (FMultiPage) FPageStream = std::move(stream);
            } catch (const Exception&) {
                FPageCount = 1;
                FMultiPage = false;
            }
        }
    }
    FProgressActive = false;
    FPanels[1]->SetProgress(false, 0);
    FLoading = false;
    const qint64 elapsed = clock.elapsed();

    const bool hasPicture = HasPicture();
    UpdateActions(hasPicture);
    // Animation controls in their playing state come with their commands.
    if (hasPicture) FMRUFileList->AddItem(path);
    SetPanelText(2, QStringLiteral("%1/%2").arg(FileListSelectedIndex() + 1).arg(FileListCount()));
    SetPanelText(4, QFileInfo(path).fileName() + QStringLiteral(" "));
    SetPanelText(5, FileSizeText(path));
    if (hasPicture) {
        SetPanelText(3, QStringLiteral("Page %1/%2").arg(FCurrentPage).arg(FPageCount));
        SetPanelText(6, QStringLiteral("%1x%2").arg(FDisplayWidth).arg(FDisplayHeight));
        SetPanelText(7, QStringLiteral("%1%").arg(ZoomPercent(FZoom)));
        SetPanelText(1, QStringLiteral("Load in ") + FormatLoadTime(quint32(elapsed)) + QStringLiteral("s"));
    } else {
        SetPanelText(3, QString());
        SetPanelText(6, QStringLiteral("Cannot open file '") + path + QStringLiteral("'"));
        SetPanelText(7, QString());
        SetPanelText(1, QString());
    }
    FitStatusPanels();
    FView->update();
}

QString TMainForm::FileSizeText(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("Cannot determine the file size");
    return QString::number(file.size()) + QStringLiteral(" bytes"); // 64-bit: files over 4 GiB
}

void TMainForm::ClosePicture() {
    if (FLoading) return;
    FCurrentFile.clear();
    FZoom = 1.0;
    FPictureKind = TPictureKind::pkStill;
    FMultiPage = false;
    FPageCount = 1;
    FCurrentPage = 1;
    FPageStream.reset();
    FViewBitmapValid = false;
    FLoading = true;
    FPicture.Clear();
    FLoading = false;
    FViewBitmap = QImage();
    FDisplayWidth = FDisplayHeight = 0;
    UpdateActions(false);
    for (int i = 1; i < kStatusPanelCount; ++i)
        SetPanelText(i, QString());
    CenterPicture();
    FView->update();
}

void TMainForm::PictureChanged() {
    FInterrupt = true; // ends a running transition
    TGraphic* g = FPicture.Graphic();
    if (FLoading) {
        if (g) {
            const QString cls = g->ClassName();
            if (cls == QLatin1String("TGIFImage") && g->FrameCount() > 1)
                FPictureKind = TPictureKind::pkAnimatedGif;
            else if (cls == QLatin1String("TAVIGraphic")) {
                FPictureKind = TPictureKind::pkVideo;
                // A video plays silently from the start.
                if (auto* video = dynamic_cast<TAVIGraphic*>(g); video && !video->Animated()) video->Play();
            }
            else if (cls == QLatin1String("TAniGraphic")) {
                FPictureKind = TPictureKind::pkAnimatedCursor;
                // An animated cursor plays from the start; each new frame comes back here to be painted.
                if (auto* ani = dynamic_cast<TAniGraphic*>(g); ani && !ani->Animating()) ani->SetAnimating(true);
            }
            else if (cls == QLatin1String("Tslide") || cls == QLatin1String("TDXFImage") ||
                     cls == QLatin1String("THPGL2Graphic"))
                FPictureKind = TPictureKind::pkVector;
            ApplyHpglSettings();
        }
        ApplyBackground();
    }
    if (g && (FPictureKind == TPictureKind::pkAnimatedCursor || FPictureKind == TPictureKind::pkVideo)) {
        const QSignalBlocker block(FFrameSlider);
        FFrameSlider->setValue(g->CurrentFrame());
        FFrameLabel->setText(QStringLiteral("%1/%2").arg(g->CurrentFrame()).arg(g->FrameCount()));
    }
    const bool still = FPictureKind <= TPictureKind::pkVector;
    if (Action("ViewAutoFitAction")->isChecked() ||
        (FPictureKind == TPictureKind::pkVector && FSettings.AutoFitVector)) {
        if (still || FLoading)
            FitPicture();
        else
            FView->update();
    } else if (FLoading) {
        // A new picture: at its own size, placed in the view.
        FDisplayWidth = g && !g->IsEmpty() ? g->Width() : 0;
        FDisplayHeight = g && !g->IsEmpty() ? g->Height() : 0;
        CenterPicture();
        if (still) RenderViewBitmap(FDisplayWidth, FDisplayHeight);
        FView->repaint();
    } else if (still && g) {
        SetZoom(FZoom); // a new page or a changed picture at the current zoom
    } else {
        FView->update();
    }
    FLoading = false;
}

// ---------------------------------------------------------------------------------------------------
// Settings and services

void TMainForm::ApplySettings() {
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) != FSettings.StayOnTop) {
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, FSettings.StayOnTop);
        if (visible) show();
    }
    ApplyBackground();
    ApplyHpglSettings();
    FThumbnailGrid->SetThumbWidth(FSettings.ThumbWidth);
    FThumbnailGrid->SetThumbHeight(FSettings.ThumbHeight);
    FThumbnailGrid->SetBorderWidth(FSettings.ThumbBorderWidth);
    FThumbnailGrid->SetThumbCol(FSettings.ThumbCol);
    FThumbnailGrid->SetShowHint(FSettings.ThumbShowHint);
    if (HasPicture() && FViewBitmapValid && FPictureKind <= TPictureKind::pkVector) {
        RenderViewBitmap(FDisplayWidth, FDisplayHeight);
        FInterrupt = true;
    }
    FView->update();
}

TColor TMainForm::GetBackgroundColor() const {
    if (FPictureKind == TPictureKind::pkVector && FSettings.WhiteBG) return 0xFFFFFF;
    return FSettings.BackgroundColor;
}

void TMainForm::ApplyBackground() {
    const TColor colour = GetBackgroundColor();
    QPalette pal = FView->palette();
    if (pal.color(QPalette::Window) != ToQColor(colour) || !FView->autoFillBackground()) {
        pal.setColor(QPalette::Window, ToQColor(colour));
        FView->setPalette(pal);
        FView->setAutoFillBackground(true);
    }
    if (FViewBrushColor != colour) FViewBrushColor = colour;
    if (auto* plot = dynamic_cast<THPGL2Graphic*>(FPicture.Graphic()); plot && plot->PaperColor() != colour)
        plot->SetPaperColor(colour);
}

void TMainForm::ApplyHpglSettings() {
    if (auto* plot = dynamic_cast<THPGL2Graphic*>(FPicture.Graphic())) {
        plot->RealWidth = FSettings.HpglRealWidth;
        plot->LineWidth = FSettings.HpglLineWidth;
    }
}

quint32 TMainForm::GetDxfOptions() const {
    return PackDxfOptions(FSettings);
}

int TMainForm::GetPhotoSize() const {
    return FSettings.PhotoSize;
}

bool TMainForm::RequestPassword(QString& password, bool ask, const QString& prompt) {
    password.clear();
    if (!ask) {
        if (!FRememberPassword) return false;
        password = FRememberedPassword;
        return true;
    }
    TPwdForm form(this);
    form.setWindowTitle(prompt);
    form.SetPassword(FRememberedPassword);
    form.SetRememberPassword(FRememberPassword);
    form.SetMaskPassword(FMaskPassword);
    if (form.exec() != QDialog::Accepted) return false;
    password = form.Password();
    FRememberPassword = form.RememberPassword();
    FMaskPassword = form.MaskPassword();
    // Unticking "remember" forgets what was remembered.
    FRememberedPassword = FRememberPassword ? password : QString();
    return true;
}

QPrinter& TMainForm::Printer() {
    if (!FPrinter) FPrinter = std::make_unique<QPrinter>();
    return *FPrinter;
}

void TMainForm::SetMessageBoxHandler(TMessageBoxHandler handler) {
    MessageBoxHandler() = std::move(handler);
}

void TMainForm::ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text) {
    if (MessageBoxHandler()) {
        MessageBoxHandler()(parent, icon, caption, text);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    if (icon == QMessageBox::NoIcon) box.setIconPixmap(ProgramIcon().pixmap(48, 48));
    box.exec();
}

void TMainForm::ReportError(QWidget* parent, const QString& message) {
    ShowMessage(parent, QMessageBox::Critical, QStringLiteral("Lumenor v1.65"), message);
}

// ---------------------------------------------------------------------------------------------------
// Load progress

void TMainForm::ForwardProgress(TProgressStage stage, quint8 percent) {
    // Posted as a message; delivered at once so the bar moves while the decoder runs on this thread.
    QCoreApplication::postEvent(this, new TProgressMessage(stage, percent));
    QCoreApplication::sendPostedEvents(this, kProgressEventType);
}

void TMainForm::customEvent(QEvent* e) {
    if (e->type() != kProgressEventType) {
        QMainWindow::customEvent(e);
        return;
    }
    const auto* m = static_cast<TProgressMessage*>(e);
    TStatusPanel* panel = FPanels[1];
    switch (m->Stage) {
    case TProgressStage::psStarting:
        FProgressPercent = 0;
        FProgressActive = true;
        panel->SetProgress(true, 0);
        panel->repaint();
        break;
    case TProgressStage::psRunning:
        if (FProgressActive && m->Percent - FProgressPercent > 10) {
            FProgressPercent = m->Percent;
            panel->SetProgress(true, FProgressPercent);
            panel->repaint();
        }
        break;
    case TProgressStage::psEnding:
        FProgressPercent = 100;
        panel->SetProgress(true, 100);
        panel->repaint();
        panel->SetProgress(false, 100);
        panel->update();
        FProgressActive = false;
        break;
    }
}

// ---------------------------------------------------------------------------------------------------
// Window events

bool TMainForm::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        // The long part of the hint goes to panel 0; the status bar's own message would hide the panels.
        FPanels[0]->setText(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    if (QApplication::activePopupWidget()) return false;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->modifiers() & Qt::ControlModifier) return false;
    // The file list panel and the thumbnail grid move their own selection with the arrow keys.
    const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up ||
                       key->key() == Qt::Key_Down;
    if (arrow && (FFileListPanel->isAncestorOf(widget) || FThumbnailGrid == widget ||
                  FThumbnailGrid->isAncestorOf(widget)))
        return false;
    return HandleViewKey(key);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    SaveSystemFlags({Action("ViewToolBarAction")->isChecked(), Action("ViewStatusBarAction")->isChecked(),
                     Action("ViewFileListAction")->isChecked(), Action("ViewThumbnailAction")->isChecked()});
    e->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && !e->mimeData()->urls().isEmpty() &&
        e->mimeData()->urls().first().isLocalFile())
        e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    e->acceptProposedAction();
    const QString path = urls.first().toLocalFile(); // only the first file, never cut short
    Run([&] { SelectAndOpen(path); });
}

// ---------------------------------------------------------------------------------------------------
// Commands

void TMainForm::FileOpenActionExecute() {
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setObjectName(QStringLiteral("OpenPictureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The registry's filter text with its patterns space-separated; Linux names are case-sensitive, so
    // every pattern is offered in lower case as well.
    QStringList filters;
    const QStringList parts = OpenDialogFilter().split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const int paren = description.lastIndexOf(QLatin1String(" ("));
        if (paren > 0 && description.endsWith(QLatin1Char(')'))) description.truncate(paren);
        const QStringList upper = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList patterns = upper;
        for (const QString& p : upper)
            patterns << p.toLower();
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    dialog.setNameFilters(filters);

    // The preview: the selected file loaded by its extension.
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setFixedSize(180, 180);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& file) {
        preview->clear();
        const QFileInfo info(file);
        TGraphicClass cls = info.isFile() ? GraphicClassByExtension(info.suffix()) : nullptr;
        if (!cls) return;
        try {
            std::unique_ptr<TGraphic> g = cls->Create();
            g->LoadFromFileName(file);
            if (g->IsEmpty() || g->Width() <= 0 || g->Height() <= 0) return;
            const QSize size = QSize(g->Width(), g->Height()).scaled(QSize(176, 176), Qt::KeepAspectRatio);
            preview->setPixmap(QPixmap::fromImage(g->ToImage(size.expandedTo(QSize(1, 1)))));
            preview->setToolTip(QStringLiteral("%1 x %2").arg(g->Width()).arg(g->Height()));
        } catch (const Exception&) {
        } catch (const std::bad_alloc&) {
        }
    });
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SelectAndOpen(dialog.selectedFiles().first());
}

void TMainForm::FilePrintSetupActionExecute() {
    ShowPrinterSetup(this, Printer());
}

void TMainForm::FileExitActionExecute() {
    close();
}

void TMainForm::ViewToolBarActionExecute() {
    FToolBar->setVisible(Action("ViewToolBarAction")->isChecked());
    PanelToggled();
}

void TMainForm::ViewStatusBarActionExecute() {
    statusBar()->setVisible(Action("ViewStatusBarAction")->isChecked());
    PanelToggled();
}

void TMainForm::PanelToggled() {
    // Laying the window out again resizes a visible view, whose resize handler fits or places the
    // picture; otherwise do it here.
    const QSize before = FView->size();
    if (QLayout* l = layout()) l->activate();
    if (FView->size() == before || !FView->isVisible()) ViewResized();
}

void TMainForm::ViewZoomInActionExecute() {
    SetZoom(ZoomSmaller(FZoom));
}

void TMainForm::ViewZoomOutActionExecute() {
    SetZoom(ZoomLarger(FZoom));
}

void TMainForm::ViewOriginSizeActionExecute() {
    SetZoom(1.0);
}

void TMainForm::ViewFitVisibleActionExecute() {
    FitPicture();
}

void TMainForm::ViewAutoFitActionExecute() {
    if (Action("ViewAutoFitAction")->isChecked()) FitPicture();
}

void TMainForm::ViewReloadActionExecute() {
    FView->repaint();
} // the file is not read again

void TMainForm::HelpContentActionExecute() {
    if (!ShowHelp(FHelpFile, THelpPage::hpContents))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open the help file '%1'")
                                           .arg(HelpPageFile(FHelpFile, THelpPage::hpContents)));
}

void TMainForm::HelpIndexExecute() {
    if (!ShowHelp(FHelpFile, THelpPage::hpIndex))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open the help file '%1'")
                                           .arg(HelpPageFile(FHelpFile, THelpPage::hpIndex)));
}

void TMainForm::HelpAboutExecute() {
    ShowMessage(
        this, QMessageBox::NoIcon, QStringLiteral("About Lumenor"),
        QStringLiteral(
            "Lumenor\nVersion 1.65\n\nA viewer and converter for pictures, CAD drawings and plot files."));
}

// ---------------------------------------------------------------------------------------------------
// Browsing

TFileList& TMainForm::FileList() const {
    return FFileListPanel->FileList();
}

int TMainForm::FileListSelectedIndex() const {
    return FileList().ItemIndex();
}

int TMainForm::FileListCount() const {
    return FileList().Count();
}

bool TMainForm::ThumbnailsShown() const {
    return Action("ViewThumbnailAction")->isChecked();
}

void TMainForm::SelectAndOpen(const QString& path) {
    FileList().SelectPath(path);
    if (QFileInfo(path).isDir()) return; // a folder is listed, nothing is opened
    OpenPicture(FileList().FileName().isEmpty() ? path : FileList().FileName());
}

// While a picture loads (an error box may be up), the list stays where the shown picture is.
void TMainForm::BrowsePrevious() {
    if (!FLoading && FileList().BrowsePrevious()) OpenPicture(FileList().FileName());
}

void TMainForm::BrowseNext() {
    if (!FLoading && FileList().BrowseNext()) OpenPicture(FileList().FileName());
}

void TMainForm::ViewPreviousActionExecute() {
    BrowsePrevious();
}

void TMainForm::ViewNextActionExecute() {
    BrowseNext();
}

void TMainForm::ViewFirstActionExecute() {
    if (!FLoading && FileList().BrowseFirst()) OpenPicture(FileList().FileName());
}

void TMainForm::ViewLastActionExecute() {
    if (!FLoading && FileList().BrowseLast()) OpenPicture(FileList().FileName());
}

void TMainForm::UpdateBrowseActions() {
    const TFileList& list = FileList();
    Enable(Action("ViewPreviousAction"), list.CanBrowsePrevious());
    Enable(Action("ViewNextAction"), list.CanBrowseNext());
    Enable(Action("ViewFirstAction"), list.CanBrowseEnds());
    Enable(Action("ViewLastAction"), list.CanBrowseEnds());
}

void TMainForm::ViewFileListActionExecute() {
    FFileListPanel->setVisible(Action("ViewFileListAction")->isChecked());
    if (FFileListPanel->isVisible()) {
        // The panel comes back at the width it was left, at least its default.
        QList<int> sizes = FSplitter->sizes();
        if (sizes.size() == 2 && sizes[0] < TFileListPanel::kDefaultWidth / 2) {
            const int total = sizes[0] + sizes[1];
            FSplitter->setSizes({TFileListPanel::kDefaultWidth, std::max(1, total - TFileListPanel::kDefaultWidth)});
        }
    }
    PanelToggled();
}

void TMainForm::ViewFileListRefreshActionExecute() {
    TFileList& list = FileList();
    list.Update();
    if (!FCurrentFile.isEmpty() && QFileInfo(FCurrentFile).isFile()) list.SelectPath(FCurrentFile);
    SyncThumbnails();
}

void TMainForm::ViewThumbnailActionExecute() {
    const bool on = Action("ViewThumbnailAction")->isChecked();
    FThumbnailGrid->setVisible(on);
    if (on)
        FThumbnailGrid->setFocus();
    else if (isVisible())
        FView->setFocus();
    SyncThumbnails();
}

void TMainForm::SyncThumbnails() {
    if (!ThumbnailsShown()) return;
    const TFileList& list = FileList();
    const QSignalBlocker block(FThumbnailGrid); // nothing is opened by this
    if (FThumbnailGrid->IsOutOfDate(list.Directory(), list.Items()))
        FThumbnailGrid->LoadFileList(list.Directory(), list.Items(), list.ItemIndex());
    FThumbnailGrid->SetSelIndex(list.ItemIndex());
}

void TMainForm::ThumbnailCellSelected(int col, int row) {
    if (!ThumbnailsShown() || FLoading) return;
    const int index = row * FThumbnailGrid->ColCount() + col;
    TFileList& list = FileList();
    if (index < 0 || index >= list.Count() || index == list.ItemIndex()) return;
    list.SetItemIndex(index);
    Run([this] { OpenPicture(FileList().FileName()); });
}

void TMainForm::ThumbnailCellDoubleClicked(int col, int row) {
    if (col < 0 || row < 0 || !ThumbnailsShown()) return;
    Action("ViewThumbnailAction")->trigger(); // the picture shows
}
