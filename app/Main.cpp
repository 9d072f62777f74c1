#include "app/Main.h"

#include "formats/hpgl/hpgl_2.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"

#include "app/Browse.h"
#include "app/Dialogs.h"
#include "app/FileListPanel.h"
#include "app/FileOperations.h"
#include "app/FullPicture.h"
#include "app/Help.h"
#include "app/Icons.h"
#include "app/OpenDialog.h"
#include "app/FullScreen.h"
#include "app/Print.h"
#include "app/PageAnimation.h"
#include "app/Rotation.h"
#include "app/Batch.h"
#include "app/Save.h"
#include "app/SlideShow.h"
#include "app/ViewGeometry.h"
#include "codec/DibGraphic.h"
#include "codec/FramePlayer.h"
#include "codec/Registry.h"
#include "options/SetupFrm.h"
#include "formats/raster/PwdFrm.h"
#include "tools/FormatOptionFrm.h"
#include "tools/ThumbnailWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QScreen>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QThread>
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

} // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Lumenor v1.65"));
    setWindowIcon(ProgramIcon());

    // The file list panel at the left, a 3-pixel splitter, the picture area with the thumbnail grid over it.
    FSplitter = new QSplitter(Qt::Horizontal, this);
    FSplitter->setObjectName(QStringLiteral("PanelSplitter"));
    FSplitter->setHandleWidth(3);
    FSplitter->setChildrenCollapsible(false);
    // 2. The file list's filter box gets the whole filter text; the list is the current folder.
    FFileListPanel = new TFileListPanel(FullGraphicFilter(), FSplitter);
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
    CreateMainActions(*this);
    // Every command starts out pending; the shell and the controllers connect the ones they carry out.
    for (QAction* a : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (a->objectName().endsWith(QLatin1String("Action"))) FPending.insert(a);
    FMenus = CreateMainMenus(*this);
    CreateMainToolBar(*this, FMenus);
    CreateStatusBar();
    ConnectCommands();
    // 1. The manual next to the program (the help controller finds it).
    FHelp = new THelpController(*this);
    FBrowse = new TBrowseController(*this);
    FPrint = new TPrintController(*this);
    FRotation = new TRotationController(*this);
    FFileOperations = new TFileOperationsController(*this);
    FSlideShow = new TSlideShowController(*this);
    FFullScreen = new TFullScreenController(*this);
    FSave = new TSaveController(*this);
    FPageAnimation = new TPageAnimationController(*this);
    FOptions = new TOptionsController(*this);
    new TBatchController(*this);
    for (QAction* a : std::as_const(FPending))
        a->setEnabled(false);
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
    FFullPicture = new TFullPictureLoader(this);
    connect(FFullPicture, &TFullPictureLoader::Finished, this, [this] { Run([this] { SwapInFullPicture(); }); });
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

    // 10. The command line: only the first argument, selected in the file list, then opened.
    if (!arguments.isEmpty() && !arguments.first().isEmpty()) {
        const QString path = arguments.first();
        Run([this, path] { FBrowse->SelectAndOpen(path); });
    }
}

TMainForm::~TMainForm() {
    delete FFullPicture; // a decode still running ends first
    FFullPicture = nullptr;
    delete FBrowse; // stores the recent files while the menus still exist
    FBrowse = nullptr;
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

void TMainForm::Connect(const char* name, std::function<void()> handler) {
    QAction* action = Action(name);
    Q_ASSERT_X(action, "Connect", name);
    FPending.remove(action);
    // Commands that use the picture's pixels or show it beyond its fit work on the whole picture, never
    // on a reduced first decode; browsing on does not wait for it.
    static const QSet<QByteArray> wholePicture = {
        "EditCopyAction", "FileSaveAsAction", "FileMultiSaveAsAction", "FilePrintAction",
        "ToolWallPaperCenterAction", "ToolWallPaperStretchAction", "ToolWallPaperTileAction",
        "ViewZoomInAction", "ViewZoomOutAction", "ViewOriginSizeAction", "ViewAutoFitAction",
        "ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action"};
    const bool needsWhole = wholePicture.contains(QByteArray(name));
    connect(action, &QAction::triggered, this, [this, needsWhole, handler = std::move(handler)] {
        if (needsWhole) Run([this] { CompleteFullPicture(); });
        Run(handler);
    });
}

void TMainForm::Enable(QAction* action, bool rule) {
    action->setEnabled(rule && !FPending.contains(action));
}

void TMainForm::ConnectCommands() {
    Connect("FileOpenAction", [this] {
        if (const std::optional<QString> file = ChoosePictureFile(this)) FBrowse->SelectAndOpen(*file);
    });
    Connect("FileExitAction", [this] { close(); });
    Connect("ViewToolBarAction", [this] {
        FMenus.ToolBar->setVisible(Action("ViewToolBarAction")->isChecked());
        RelayoutView();
    });
    Connect("ViewStatusBarAction", [this] {
        statusBar()->setVisible(Action("ViewStatusBarAction")->isChecked());
        RelayoutView();
    });
    Connect("ViewZoomInAction", [this] { SetZoom(ZoomSmaller(FZoom)); });
    Connect("ViewZoomOutAction", [this] { SetZoom(ZoomLarger(FZoom)); });
    Connect("ViewOriginSizeAction", [this] { SetZoom(1.0); });
    Connect("ViewFitVisibleAction", [this] { FitPicture(); });
    Connect("ViewAutoFitAction", [this] {
        if (Action("ViewAutoFitAction")->isChecked()) FitPicture();
    });
    Connect("ViewReloadAction", [this] { FView->repaint(); }); // the file is not read again
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

    FBrowse->UpdateActions();
    Enable(Action("ViewNextPageAction"), hasPicture && FMultiPage && FCurrentPage < FPageCount);
    Enable(Action("ViewPreviousPageAction"), hasPicture && FMultiPage && FCurrentPage > 1);
    Enable(Action("ViewFirstPageAction"), hasPicture && FMultiPage);
    Enable(Action("ViewLastPageAction"), hasPicture && FMultiPage);

    FPageAnimation->UpdateActions(hasPicture);

    const bool rotatable = hasPicture && FPictureKind <= TPictureKind::pkVector;
    for (const char* name : {"ViewRotate90Action", "ViewRotate180Action", "ViewRotate270Action"})
        Enable(Action(name), rotatable);
    // The file itself turns without loss when it is a JPEG (not a variant of one).
    const bool jpegFile = exists && hasPicture && FPicture.Graphic()->ClassName() == QLatin1String("TJpegGraphic");
    for (const char* name : {"ViewRotateFileLeftAction", "ViewRotateFileRightAction"})
        Enable(Action(name), jpegFile);

    Enable(Action("ViewZoomInAction"), hasPicture && FDisplayWidth > 0 && FDisplayHeight > 0);
    Enable(Action("ViewZoomOutAction"), hasPicture && FDisplayWidth < 65536 && FDisplayHeight < 65536);
    for (const char* name :
         {"ViewOriginSizeAction", "ViewFitVisibleAction", "ViewReloadAction",
          "ToolWallPaperCenterAction", "ToolWallPaperTileAction", "ToolWallPaperStretchAction"})
        Enable(Action(name), hasPicture);
    // Full screen can always be left, also after a failed open took the picture away.
    Enable(Action("ViewFullScreenAction"), hasPicture || (FFullScreen && FFullScreen->Active()));
}

// ---------------------------------------------------------------------------------------------------
// Opening and closing

void TMainForm::OpenPicture(const QString& path) {
    if (FLoading) return; // no nesting
    emit PictureLoading(path);
    QElapsedTimer clock;
    clock.start();
    FCurrentFile = path;
    FZoom = 1.0;
    // 5. The old picture stops moving and no longer reports changes: a load that runs an event loop
    // (the password prompt) must not see a tick of the old animation.
    DetachPicture();
    FFullPicture->Cancel();
    const QSize firstLoadSize = FirstLoadSize(path);
    FPictureKind = TPictureKind::pkStill;
    FMultiPage = false;
    FLoading = true;
    FPageCount = 1;
    FCurrentPage = 1;
    FPageStream.reset();
    FViewBitmapValid = false;
    FViewTurns = 0;
    FProgressActive = false;
    FLastForwardedPercent = -1;

    bool failed = false;
    {
        TBusyCursor busy;
        QString reason;
        try {
            FPicture.LoadFromFileName(path, firstLoadSize);
        } catch (const Exception& e) {
            failed = true;
            reason = e.Message();
        } catch (const std::bad_alloc&) {
            failed = true;
            reason = QStringLiteral("Not enough memory");
        } catch (const std::exception& e) { // a library's
            failed = true;
            reason = QString::fromLocal8Bit(e.what());
        }
        if (failed) {
            FPicture.Clear();
            busy.Restore();
            // The decoder's own message is in the details, so a user can learn why.
            ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Cannot open file '") + path + QStringLiteral("'"), reason);
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
    // A big picture shown from a reduced decode: the whole picture follows from a thread of its own.
    if (TGraphic* g = FPicture.Graphic(); g && !failed && g->Reduced()) FFullPicture->Start(path, g->ClassType());

    const bool hasPicture = HasPicture();
    UpdateActions(hasPicture);
    // Animation controls in their playing state come with their commands.
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
    emit PictureOpened(path, hasPicture);
    FitStatusPanels();
    FView->update();
}

QSize TMainForm::FirstLoadSize(const QString& path) const {
    // Only a picture shown fitted, and not while a slide show's transitions draw from the view.
    if (!Action("ViewAutoFitAction")->isChecked() || FSlideShow->Running()) return {};
    try {
        std::unique_ptr<TGraphic> probe = CreateGraphicFor(path);
        QFile file(path);
        TGraphicInfo info;
        if (!file.open(QIODevice::ReadOnly) || !probe->ReadInfo(file, info)) return {};
        // Before the window is first shown (a picture named on the command line) the view has not its
        // size yet: the screen's stands for it, so the first picture is never smaller than its view.
        QSize box = FView->size();
        if (!isVisible())
            if (const QScreen* s = screen()) box = box.expandedTo(s->availableGeometry().size());
        const std::optional<double> zoom = FitZoom(info.Width, info.Height, box.width(), box.height());
        if (!zoom || *zoom >= 1.0) return {};
        const QSize fitted = DisplaySize(info.Width, info.Height, *zoom);
        return fitted.isEmpty() ? QSize() : fitted;
    } catch (const Exception&) {
        return {}; // the load says what is wrong
    }
}

bool TMainForm::FullPicturePending() const { return FFullPicture->Pending(); }

void TMainForm::CompleteFullPicture() {
    if (!FFullPicture->Pending()) return;
    {
        TBusyCursor busy;
        FFullPicture->Wait();
    }
    SwapInFullPicture();
}

void TMainForm::SwapInFullPicture() {
    if (!FFullPicture->Pending()) return;
    std::unique_ptr<TGraphic> full = FFullPicture->Take();
    if (!full) {
        if (!FFullPicture->Error().isEmpty())
            SetPanelText(1, QStringLiteral("Shown reduced: ") + FFullPicture->Error());
        return;
    }
    FSwapping = true;
    try {
        FPicture.SetGraphic(std::move(full));
    } catch (...) {
        FSwapping = false;
        throw;
    }
    FSwapping = false;
}

QString TMainForm::FileSizeText(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("Cannot determine the file size");
    return QString::number(file.size()) + QStringLiteral(" bytes"); // 64-bit: files over 4 GiB
}

void TMainForm::DetachPicture() {
    TGraphic* old = FPicture.Graphic();
    if (!old) return;
    old->OnProgress = nullptr;
    old->Pause();
    if (auto* player = dynamic_cast<TFramePlayer*>(old)) {
        player->OnFrame = nullptr;
        player->OnAfterPaint = nullptr;
    }
    old->OnChange = nullptr;
}

void TMainForm::ClosePicture() {
    if (FLoading) return;
    FFullPicture->Cancel();
    FCurrentFile.clear();
    FZoom = 1.0;
    DetachPicture();
    FPictureKind = TPictureKind::pkStill;
    FMultiPage = false;
    FPageCount = 1;
    FCurrentPage = 1;
    FPageStream.reset();
    FViewBitmapValid = false;
    FViewTurns = 0;
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

void TMainForm::ShowPage(int page) {
    auto* dib = dynamic_cast<TDibGraphic*>(FPicture.Graphic());
    if (!FPageStream || !dib || FLoading) return;
    page = std::clamp(page, 1, FPageCount);
    // Decoded into a graphic of its own first: a page that fails leaves the one shown as it is.
    std::unique_ptr<TGraphic> fresh = dib->ClassType()->Create();
    auto* pageGraphic = static_cast<TDibGraphic*>(fresh.get());
    pageGraphic->SetPageIndex(page);
    {
        TBusyCursor busy;
        if (!FPageStream->seek(0)) throw EReadError();
        pageGraphic->LoadFromStream(*FPageStream);
    }
    FCurrentPage = page;
    FPicture.SetGraphic(std::move(fresh)); // shown at the current zoom or fit
    SetPanelText(3, QStringLiteral("Page %1/%2").arg(FCurrentPage).arg(FPageCount));
    UpdateActions(HasPicture());
}

void TMainForm::PictureChanged() {
    TGraphic* g = FPicture.Graphic();
    if (FSwapping) {
        // The whole picture in place of its reduced decode: the same zoom, place and turn.
        if (FViewTurns != 0)
            RenderTurnedView(FViewTurns);
        else
            RenderViewBitmap(FDisplayWidth, FDisplayHeight);
        FView->update();
        return;
    }
    FInterrupt = true; // ends a running transition
    if (FLoading) {
        if (g) {
            const QString cls = g->ClassName();
            if (g->IsAnimation()) {
                // A moving picture: frames stepped by the frame player (animated GIF, animated WebP), an
                // animated cursor, or a clip.
                if (g->Is<TFramePlayer>())
                    FPictureKind = TPictureKind::pkAnimatedGif;
                else if (g->Is<TAniGraphic>())
                    FPictureKind = TPictureKind::pkAnimatedCursor;
                else
                    FPictureKind = TPictureKind::pkVideo;
            } else if (cls == QLatin1String("Tslide") || cls == QLatin1String("TDXFImage") ||
                     cls == QLatin1String("THPGL2Graphic"))
                FPictureKind = TPictureKind::pkVector;
            ApplyHpglSettings();
            // Moving pictures start by themselves; each new frame comes back here to be painted.
            FPageAnimation->PictureLoaded();
        }
        ApplyBackground();
    } else {
        FPageAnimation->FrameChanged();
    }
    const bool still = FPictureKind <= TPictureKind::pkVector;
    if (!still && !FLoading && g && !g->IsEmpty()) {
        // The next frame of a moving picture, at the zoom and fit of the one before.
        RenderViewBitmap(FDisplayWidth, FDisplayHeight);
        FView->update();
    } else if (Action("ViewAutoFitAction")->isChecked() ||
        (FPictureKind == TPictureKind::pkVector && FSettings.AutoFitVector)) {
        FitPicture();
    } else if (FLoading) {
        // A new picture: at its own size, placed in the view.
        FDisplayWidth = g && !g->IsEmpty() ? FPicture.Width() : 0;
        FDisplayHeight = g && !g->IsEmpty() ? FPicture.Height() : 0;
        CenterPicture();
        RenderViewBitmap(FDisplayWidth, FDisplayHeight);
        FView->repaint();
    } else if (g) {
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
        RenderTurnedView(FViewTurns); // a turned view stays turned
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

bool TMainForm::ChooseVideoCompression(QSize frameSize, TVideoCompression& choice) {
    return TVideoCompressorForm::Execute(this, frameSize, choice);
}

int TMainForm::GetPhotoSize() const {
    return FSettings.PhotoSize;
}

bool TMainForm::RequestPassword(QString& password, bool ask, const QString& prompt) {
    // A batch run loads pictures on worker threads: the question is asked on the window's thread.
    if (QThread::currentThread() != thread()) {
        bool given = false;
        QMetaObject::invokeMethod(this, [&] { given = RequestPassword(password, ask, prompt); }, Qt::BlockingQueuedConnection);
        return given;
    }
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
    if (Dialogs().Exec(form) != QDialog::Accepted) return false;
    password = form.Password();
    FRememberPassword = form.RememberPassword();
    FMaskPassword = form.MaskPassword();
    // Unticking "remember" forgets what was remembered.
    FRememberedPassword = FRememberPassword ? password : QString();
    return true;
}

QPrinter& TMainForm::Printer() {
    return FPrint->Printer();
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
    // The keypad's zoom keys: X11 delivers them as plain keys with the keypad modifier, which no
    // shortcut matches there, so they are taken here (where a shortcut does match, the key never
    // arrives here, so nothing runs twice).
    if (key->modifiers() & Qt::KeypadModifier) {
        const char* name = nullptr;
        switch (key->key()) {
        case Qt::Key_Minus: name = "ViewZoomInAction"; break;
        case Qt::Key_Plus: name = "ViewZoomOutAction"; break;
        case Qt::Key_Asterisk: name = "ViewOriginSizeAction"; break;
        case Qt::Key_Slash: name = "ViewFitVisibleAction"; break;
        default: break;
        }
        if (name && !qobject_cast<QLineEdit*>(widget)) {
            if (e->type() == QEvent::KeyPress && Action(name)->isEnabled()) Action(name)->trigger();
            return true;
        }
    }
    // The file list panel and the thumbnail grid move their own selection with the arrow keys.
    const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up ||
                       key->key() == Qt::Key_Down;
    if (arrow && (FFileListPanel->isAncestorOf(widget) || FThumbnailGrid == widget ||
                  FThumbnailGrid->isAncestorOf(widget)))
        return false;
    return HandleViewKey(key);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    emit Closing();
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
    Run([&] { FBrowse->SelectAndOpen(path); });
}

// ---------------------------------------------------------------------------------------------------
// Shell services

void TMainForm::RelayoutView() {
    // Laying the window out again resizes a visible view, whose resize handler fits or places the
    // picture; otherwise do it here.
    const QSize before = FView->size();
    if (QLayout* l = layout()) l->activate();
    if (FView->size() == before || !FView->isVisible()) ViewResized();
}

TFileList& TMainForm::FileList() const {
    return FFileListPanel->FileList();
}
