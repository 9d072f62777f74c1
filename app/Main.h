// The main window: menus, tool bar, status bar, the viewing state, opening and closing pictures, and the
// services the format modules ask of the viewer. How the picture is scaled, placed, painted and panned
// lives in ViewGeometry.cpp.
#pragma once

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
class TFileList;
class TFileListPanel;
class TMRUFileList;
class TPictureView;
class TThumbnailGrid;
class TStatusPanel;

// Picture kinds of the viewing state.
enum class TPictureKind : quint8 {
    pkStill = 0,
    pkVector = 1,
    pkAnimatedGif = 2,
    pkAnimatedCursor = 3,
    pkVideo = 4
};

// Message boxes of the window go through one function, so that a script or a test can answer them.
using TMessageBoxHandler =
    std::function<void(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)>;

class TMainForm : public QMainWindow, public IViewerServices {
    Q_OBJECT
public:
    static constexpr int kStatusPanelCount = 9;
    // Largest view bitmap (bytes) the window renders into.
    static constexpr qint64 kViewBitmapBudget = qint64(1) << 30;

    // arguments: the command-line arguments after the program name. Only the first is used: it names
    // the file to open, already in its long path form (see LongPathName).
    explicit TMainForm(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Opening and closing.
    void OpenPicture(const QString& path);
    void ClosePicture();
    // Handler of the container's change notification.
    void PictureChanged();
    void UpdateActions(bool hasPicture);
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

    // Services to the format modules.
    quint32 GetDxfOptions() const override;
    int GetPhotoSize() const override;
    bool RequestPassword(QString& password, bool ask, const QString& prompt) override;
    TColor GetBackgroundColor() const override;

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
    const QImage& ViewBitmap() const { return FViewBitmap; }
    bool ViewBitmapValid() const { return FViewBitmapValid; }
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
    QMenu* ContextMenu() const { return FContextMenu; }
    QToolBar* ToolBar() const { return FToolBar; }
    // Browsing: the panel with the folder's file list, and the thumbnail grid over the picture area.
    TFileListPanel* FileListPanel() const { return FFileListPanel; }
    TFileList& FileList() const;
    TThumbnailGrid* ThumbnailGrid() const { return FThumbnailGrid; }
    // The recent files in the File menu (stored when the window is destroyed).
    TMRUFileList* MRUFileList() const { return FMRUFileList; }
    bool ThumbnailsShown() const;
    // Selects the path in the file list (see TFileList::SelectPath) and opens it.
    void SelectAndOpen(const QString& path);
    // The browse routines: they wrap around at the ends (Space, Backspace and the slide show use them;
    // the commands stop at the ends through their enabling).
    void BrowsePrevious();
    void BrowseNext();
    // After a change of folder or filter, and when the thumbnail view is switched: reloads the grid
    // when it lists other files and selects the current entry without opening it.
    void SyncThumbnails();
    QPrinter& Printer();
    // The help folder: the manual shipped next to the program.
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& path) { FHelpFile = path; }
    QCursor HandCursor() const;
    QCursor GrabCursor() const;

    static void SetMessageBoxHandler(TMessageBoxHandler handler);
    static void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text);
    // The default error report of a command: the message in a box titled with the program's name.
    static void ReportError(QWidget* parent, const QString& message);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void customEvent(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    friend class TPictureView;

    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QAction* NewAction(const char* name, const QString& caption, const QString& hint = QString(),
                       const QKeySequence& shortcut = QKeySequence());
    QAction* Action(const char* name) const;
    // Runs a command, reporting what it raises through the default error report.
    void Run(const std::function<void()>& command);
    void Connect(const char* name, void (TMainForm::*handler)());
    // Sets an action's enabled state; commands that have not landed yet stay disabled.
    void Enable(QAction* action, bool rule);

    // Commands.
    void FileOpenActionExecute();
    void FilePrintSetupActionExecute();
    void FileExitActionExecute();
    void ViewToolBarActionExecute();
    void ViewStatusBarActionExecute();
    void ViewZoomInActionExecute();
    void ViewZoomOutActionExecute();
    void ViewOriginSizeActionExecute();
    void ViewFitVisibleActionExecute();
    void ViewAutoFitActionExecute();
    void ViewReloadActionExecute();
    void ViewPreviousActionExecute();
    void ViewNextActionExecute();
    void ViewFirstActionExecute();
    void ViewLastActionExecute();
    void ViewFileListActionExecute();
    void ViewFileListRefreshActionExecute();
    void ViewThumbnailActionExecute();
    void UpdateBrowseActions();
    void ThumbnailCellSelected(int col, int row);
    void ThumbnailCellDoubleClicked(int col, int row);
    void HelpContentActionExecute();
    void HelpIndexExecute();
    void HelpAboutExecute();
    void PanelToggled();

    // Load progress, posted by the container's progress notification.
    void ForwardProgress(TProgressStage stage, quint8 percent);
    QString FileSizeText(const QString& path) const;
    void SetPanelText(int index, const QString& text);
    bool HasPicture() const;

    // View geometry helpers (ViewGeometry.cpp).
    void RenderViewBitmap(int w, int h);
    void PaintView(QPainter& painter);
    bool HandleViewKey(QKeyEvent* e);
    void ShowCursorFor(bool grabbing);

    int FileListSelectedIndex() const;
    int FileListCount() const;

    TPictureEx FPicture;
    TSettings FSettings;
    QString FCurrentFile;
    QString FHelpFile;
    QImage FViewBitmap;
    TColor FViewBrushColor = 0;
    bool FViewBitmapValid = false;
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
    bool FProgressActive = false;
    int FProgressPercent = 0;
    int FLastForwardedPercent = -1;
    bool FInterrupt = false;
    bool FSuppressPaint = false;
    bool FRememberPassword = true;
    bool FMaskPassword = true;
    QString FRememberedPassword;
    std::unique_ptr<QPrinter> FPrinter;

    TPictureView* FView = nullptr;
    QSplitter* FSplitter = nullptr;
    QWidget* FPictureArea = nullptr;
    TFileListPanel* FFileListPanel = nullptr;
    TThumbnailGrid* FThumbnailGrid = nullptr;
    TMRUFileList* FMRUFileList = nullptr;
    QToolBar* FToolBar = nullptr;
    QMenu* FContextMenu = nullptr;
    QMenu* FAnimateMenu = nullptr;
    QLabel* FFrameLabel = nullptr;
    QSlider* FFrameSlider = nullptr;
    QAction* FFrameLabelAction = nullptr;
    QAction* FFrameSliderAction = nullptr;
    QAction* FRecentFilesSeparator = nullptr;
    TStatusPanel* FPanels[kStatusPanelCount] = {};
    QSet<QAction*> FPending;
};
