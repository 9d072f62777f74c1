// The main window is a shell: it owns the actions, menus, tool bar, status bar and the viewing state
// (the picture, its kind, pages, zoom and placement), opens and closes pictures, and gives the format
// modules the services they ask of the viewer. Each feature is a controller of its own that connects
// its actions (Connect) and owns its state: browsing (Browse.h), help (Help.h), rotation (Rotation.h),
// file operations (FileOperations.h), ... How the picture is scaled, placed, turned, painted and panned
// lives in ViewGeometry.cpp.
#pragma once

#include "app/Actions.h"
#include "app/PictureEx.h"
#include "app/Setting.h"
#include "codec/Services.h"

#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QSet>

#include <functional>
#include <memory>

class QFile;
class QLabel;
class QMenu;
class QPrinter;
class QSlider;
class QSplitter;
class QToolBar;
class QWheelEvent;
class TBrowseController;
class TFileOperationsController;
class TFileList;
class TFileListPanel;
class THelpController;
class TMRUFileList;
class TOptionsController;
class TPictureView;
class TPrintController;
class TPageAnimationController;
class TRotationController;
class TSlideShowController;
class TSaveController;
class TFullScreenController;
class TThumbnailGrid;
class TStatusPanel;

// Picture kinds of the viewing state.
enum class TPictureKind : quint8 {
    pkStill = 0,
    pkVector = 1,
    pkAnimatedGif = 2, // frames played by the frame player: animated GIF, animated WebP
    pkAnimatedCursor = 3,
    pkVideo = 4
};

class TFullPictureLoader;
class TMainForm : public QMainWindow, public IViewerServices {
    Q_OBJECT
public:
    static constexpr int kStatusPanelCount = 9;
    // Largest view bitmap (bytes) the window renders into.
    static constexpr qint64 kViewBitmapBudget = qint64(1) << 30;
    // Largest side of a picture on screen (only a part of it is ever rendered).
    static constexpr int kMaxDisplaySide = 1 << 24;

    // arguments: the command-line arguments after the program name. Only the first is used: it names
    // the file to open, already in its long path form (see LongPathName).
    explicit TMainForm(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Opening and closing. A big picture shown fitted is decoded reduced first and whole on a thread.
    void OpenPicture(const QString& path);
    // Waits for the whole picture behind a reduced first decode and swaps it in (commands that use the
    // pixels call it); nothing when none is pending.
    void CompleteFullPicture();
    bool FullPicturePending() const;
    void ClosePicture();
    // Handler of the container's change notification.
    void PictureChanged();
    void UpdateActions(bool hasPicture);
    // A picture is shown (loaded and not empty).
    bool HasPicture() const;
    void ApplySettings();
    void ApplyBackground();
    // Pen widths of a plot from the settings (after each load and when the settings change).
    void ApplyHpglSettings();
    void FitStatusPanels();

    // View geometry (ViewGeometry.cpp).
    void SetZoom(double z);
    void FitPicture(); // "&Best Fit"
    void CenterPicture();
    // The resize handler: view rectangle from the client area, then fit or place.
    void ViewResized();
    // Mouse dragging in view coordinates (the arrow keys simulate it too).
    void DragStart(const QPoint& mouse);
    void DragMove(const QPoint& mouse);
    void DragEnd();
    // The mouse wheel over the picture: scrolls (Shift: sideways); with Ctrl zooms by the zoom step,
    // keeping the point under the pointer where it is.
    void WheelOnView(const QWheelEvent& e);
    // Moves the picture by delta within the limits a drag has.
    void ScrollBy(const QPoint& delta);
    // Zooms keeping the picture's point under anchor (view coordinates) in its place.
    void ZoomAt(double z, const QPoint& anchor);
    // Turns the view bitmap by quarter turns clockwise (rendering it first when it is not valid); the
    // display size follows the bitmap. The next zoom, fit or load shows the picture upright again.
    void TurnView(int quarterTurns);

    // Services to the format modules.
    quint32 GetDxfOptions() const override;
    int GetPhotoSize() const override;
    bool RequestPassword(QString& password, bool ask, const QString& prompt) override;
    TColor GetBackgroundColor() const override;
    bool ChooseVideoCompression(QSize frameSize, TVideoCompression& choice) override;

    // The viewing state.
    const QString& CurrentFile() const { return FCurrentFile; }
    TPictureEx& Picture() { return FPicture; }
    TPictureKind PictureKind() const { return FPictureKind; }
    bool Loading() const { return FLoading; }
    double Zoom() const { return FZoom; }
    int DisplayWidth() const { return FDisplayWidth; }
    int DisplayHeight() const { return FDisplayHeight; }
    int OffsetX() const { return FOffsetX; }
    int OffsetY() const { return FOffsetY; }
    bool PanFlag() const { return FPan; }
    bool MultiPage() const { return FMultiPage; }
    int PageCount() const { return FPageCount; }
    int CurrentPage() const { return FCurrentPage; }
    // Shows another page of the multi-page file (1 .. PageCount), decoded from the page stream. A page
    // that cannot be decoded raises and leaves the page shown as it was.
    void ShowPage(int page);
    const QImage& ViewBitmap() const { return FViewBitmap; }
    // Quarter turns clockwise (0 to 3) the view bitmap holds the picture in.
    int ViewTurns() const { return FViewTurns; }
    // The view bitmap as a transition draws into it.
    QImage& MutableViewBitmap() { return FViewBitmap; }
    // While set, paint draws nothing for still pictures and drawings (a slide waits for its transition).
    void SetSuppressPaint(bool value) { FSuppressPaint = value; }
    TColor ViewBrushColor() const { return FViewBrushColor; }
    bool ViewBitmapValid() const { return FViewBitmapValid; }
    // Whether the view bitmap holds only the part around the view, and where that part lies in the display.
    bool ViewBitmapPartial() const { return FViewPartial; }
    QPoint ViewBitmapOrigin() const { return FViewOrigin; }
    // Number of times the view bitmap was rendered (a repaint or a pan does not render).
    int RenderCount() const { return FRenderCount; }
    // The view rectangle in the window's coordinates.
    QRect ViewRect() const;
    QWidget* View() const;
    QLabel* StatusPanel(int index) const;
    bool ProgressActive() const { return FProgressActive; }
    int ProgressPercent() const { return FProgressPercent; }
    bool InterruptFlag() const { return FInterrupt; }
    void SetInterruptFlag(bool value) { FInterrupt = value; }
    bool RememberPassword() const { return FRememberPassword; }
    bool MaskPassword() const { return FMaskPassword; }
    const QString& RememberedPassword() const { return FRememberedPassword; }
    TSettings& Settings() { return FSettings; }
    QMenu* ContextMenu() const { return FMenus.ContextMenu; }
    QToolBar* ToolBar() const { return FMenus.ToolBar; }
    // The panel with the folder's file list, and the thumbnail grid over the picture area.
    TFileListPanel* FileListPanel() const { return FFileListPanel; }
    TFileList& FileList() const;
    TThumbnailGrid* ThumbnailGrid() const { return FThumbnailGrid; }
    // The splitter between the file list panel and the picture area.
    QSplitter* PanelSplitter() const { return FSplitter; }
    QPrinter& Printer();
    QCursor HandCursor() const;
    QCursor GrabCursor() const;

    // The controllers.
    TBrowseController& Browse() const { return *FBrowse; }
    THelpController& Help() const { return *FHelp; }
    TPrintController& Print() const { return *FPrint; }
    TRotationController& Rotation() const { return *FRotation; }
    TFileOperationsController& FileOperations() const { return *FFileOperations; }
    TSlideShowController& SlideShow() const { return *FSlideShow; }
    TFullScreenController& FullScreen() const { return *FFullScreen; }
    TSaveController& Save() const { return *FSave; }
    TPageAnimationController& PageAnimation() const { return *FPageAnimation; }
    TOptionsController& Options() const { return *FOptions; }

    // The shell's services to the controllers.
    // The action of that name (every action is a child of the window).
    QAction* Action(const char* name) const;
    // Connects an action to a command, run through Run; the action leaves the pending (disabled) set.
    void Connect(const char* name, std::function<void()> handler);
    // Sets an action's enabled state; commands that have not landed yet stay disabled.
    void Enable(QAction* action, bool rule);
    // Runs a command, reporting what it raises through the default error report.
    void Run(const std::function<void()>& command);
    void SetPanelText(int index, const QString& text);
    const TMainMenus& Menus() const { return FMenus; }
    // Lays the window out again after a bar or panel was shown or hidden, fitting or placing the picture.
    void RelayoutView();

signals:
    // A new picture is about to be loaded (the previous one is still shown).
    void PictureLoading(const QString& path);
    // OpenPicture is done: the status bar's panels are filled; hasPicture is false after a failure.
    void PictureOpened(const QString& path, bool hasPicture);
    // The window is closing (a running slide show ends).
    void Closing();
    // The window's frame and bars are about to change (before = true) or have changed: an animation
    // pauses around it.
    void PresentationChanging(bool before);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void customEvent(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    friend class TPictureView;

    void CreateStatusBar();
    // The commands of the shell itself: open, exit, the bars, zoom and fit.
    void ConnectCommands();

    // Load progress, posted by the container's progress notification.
    void ForwardProgress(TProgressStage stage, quint8 percent);
    QString FileSizeText(const QString& path) const;
    // Stops the shown picture's animation or video and detaches its notifications.
    void DetachPicture();
    // The size a big picture is first decoded at to be shown fitted (invalid: decode it in full).
    QSize FirstLoadSize(const QString& path) const;
    // Puts the whole picture in place of the reduced one at the same zoom, place and turn.
    void SwapInFullPicture();

    // View geometry helpers (ViewGeometry.cpp).
    // Renders the picture at the display size w x h: the whole display, or only the part the view shows
    // (made when it is painted) when the display is many times larger than the view.
    void RenderViewBitmap(int w, int h, bool whole = false);
    // Renders the part of a partial display around the view, when the bitmap does not cover the view.
    void RenderVisiblePart();
    // The pixels a raster or a frame is scaled from (null for drawings, which draw themselves).
    QImage ViewSource(const TGraphic& g) const;
    // Renders the picture upright at its display size before any turn and turns it by quarter turns.
    void RenderTurnedView(int turns);
    void PaintView(QPainter& painter);
    bool HandleViewKey(QKeyEvent* e);
    void ShowCursorFor(bool grabbing);

    TPictureEx FPicture;
    TFullPictureLoader* FFullPicture = nullptr;
    bool FSwapping = false;
    TSettings FSettings;
    QString FCurrentFile;
    QImage FViewBitmap;
    TColor FViewBrushColor = 0;
    bool FViewBitmapValid = false;
    // A picture shown much larger than the view keeps only the part around the view in its bitmap:
    // FViewOrigin is where that part lies in the display (0, 0 for the whole display).
    bool FViewPartial = false;
    QPoint FViewOrigin;
    int FViewTurns = 0;
    int FRenderCount = 0;
    int FDisplayWidth = 0;
    int FDisplayHeight = 0;
    double FZoom = 1.0;
    bool FLoading = false;
    TPictureKind FPictureKind = TPictureKind::pkStill;
    bool FMultiPage = false;
    int FPageCount = 1;
    int FCurrentPage = 1;
    std::unique_ptr<QFile> FPageStream;
    int FOffsetX = 0;
    int FOffsetY = 0;
    bool FPan = false;
    bool FDragging = false;
    QPoint FDragAnchor;
    bool FArrowDrag = false;
    int FWheelZoom = 0; // wheel turn not yet used for zooming
    bool FProgressActive = false;
    int FProgressPercent = 0;
    int FLastForwardedPercent = -1;
    bool FInterrupt = false;
    bool FSuppressPaint = false;
    bool FRememberPassword = true;
    bool FMaskPassword = true;
    QString FRememberedPassword;

    TPictureView* FView = nullptr;
    QSplitter* FSplitter = nullptr;
    QWidget* FPictureArea = nullptr;
    TFileListPanel* FFileListPanel = nullptr;
    TThumbnailGrid* FThumbnailGrid = nullptr;
    TMainMenus FMenus;
    TStatusPanel* FPanels[kStatusPanelCount] = {};
    QSet<QAction*> FPending;
    // Controllers (children of the window; pointers for quick access).
    TBrowseController* FBrowse = nullptr;
    THelpController* FHelp = nullptr;
    TPrintController* FPrint = nullptr;
    TRotationController* FRotation = nullptr;
    TFileOperationsController* FFileOperations = nullptr;
    TSlideShowController* FSlideShow = nullptr;
    TFullScreenController* FFullScreen = nullptr;
    TSaveController* FSave = nullptr;
    TPageAnimationController* FPageAnimation = nullptr;
    TOptionsController* FOptions = nullptr;
};
