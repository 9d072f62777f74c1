#include "ViewerFixture.h"

#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QPrinter>
#include <QTextBrowser>

#include "app/Browse.h"
#include "app/FileList.h"
#include "app/Help.h"
#include "app/Icons.h"
#include "app/Print.h"
#include "codec/Gif.h"
#include "tools/EnSavePictureDialog.h"
#include "app/MRUFList.h"

#include "codec/DibGraphic.h"
#include "codec/Registry.h"
#include "formats/hpgl/hpgl_2.h"
#include "formats/raster/AVIGraph.h"
#include "formats/raster/Ani.h"
#include "formats/raster/PwdFrm.h"
#include "platform/LongPath.h"
#include "platform/SettingsFile.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QtTest/QTest>

namespace {

TMainForm* GForm = nullptr;
QString GNestedPath;
QList<int> GPercentSeen;
QList<bool> GActiveSeen;
QImage GPanelDuringLoad;

// A picture whose loading reports progress and looks at the window while it runs.
class TProgressProbe : public TDibGraphic {
    DECLARE_GRAPHIC_CLASS(TProgressProbe)
public:
    void ReadPage(QIODevice&, int) override {
        const auto step = [this](TProgressStage stage, int percent) {
            Progress(stage, quint8(percent));
            GPercentSeen << GForm->ProgressPercent();
            GActiveSeen << GForm->ProgressActive();
        };
        step(TProgressStage::psStarting, 0);
        for (int p : {5, 12, 20, 23, 40})
            step(TProgressStage::psRunning, p);
        GPanelDuringLoad = GForm->StatusPanel(1)->grab().toImage();
        // A second open from inside the load is ignored.
        if (!GNestedPath.isEmpty()) GForm->OpenPicture(GNestedPath);
        step(TProgressStage::psEnding, 100);
        FImage = QImage(30, 20, QImage::Format_RGB32);
        FImage.fill(Qt::white);
    }
};
DEFINE_GRAPHIC_CLASS(TProgressProbe)

// A drawing of the vector kind: it records the rectangles it is drawn into.
class TDrawingProbe : public TGraphic {
public:
    static TGraphicClass StaticClass() {
        static const TGraphicClassInfo info{
            QStringLiteral("TDXFImage"), [] { return std::unique_ptr<TGraphic>(new TDrawingProbe); }, {}};
        return &info;
    }
    TGraphicClass ClassType() const override { return StaticClass(); }
    void LoadFromStream(QIODevice&) override {
        FLoaded = true;
        NotifyChanged();
    }
    void DrawTo(QPainter& canvas, const QRect& rect) const override {
        Rects << rect;
        canvas.setPen(Qt::black);
        canvas.drawLine(rect.topLeft(), rect.bottomRight());
    }
    bool IsEmpty() const override { return !FLoaded; }
    int Width() const override { return 200; }
    int Height() const override { return 100; }
    static inline QList<QRect> Rects;

private:
    bool FLoaded = false;
};

void RegisterProbes() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterFormat(QStringLiteral("probe"), QStringLiteral("Progress probe"), TProgressProbe::StaticClass());
    RegisterFormat(QStringLiteral("drawprobe"), QStringLiteral("Drawing probe"),
                   TDrawingProbe::StaticClass());
}

QStringList Captions(const QList<QAction*>& actions) {
    QStringList list;
    for (QAction* a : actions)
        list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

QStringList Names(const QList<QAction*>& actions) {
    QStringList list;
    for (QAction* a : actions)
        list << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return list;
}

// Answers the next modal dialog of the given type.
class THelpReceiver : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { Urls << url; }

public:
    QList<QUrl> Urls;
};

} // namespace

TEST_F(ViewerTest, MenusToolBarAndStatusBarAreLaidOutInOrder) {
    auto form = NewForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Lumenor v1.65"));
    EXPECT_EQ(Captions(form->menuBar()->actions()),
              (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
    const QList<QAction*> top = form->menuBar()->actions();
    EXPECT_EQ(
        Names(top[0]->menu()->actions()),
        (QStringList{"FileOpenAction", "FileSaveAsAction", "FileMultiSaveAsAction", "-", "FilePrintAction",
                     "FilePrintSetupAction", "FilePageSetupAction", "-", "FileExitAction"}));
    EXPECT_EQ(Names(top[1]->menu()->actions()),
              (QStringList{"EditCopyToAction", "EditMoveToAction", "-", "EditCopyAction", "EditCutAction",
                           "EditPasteAction", "EditDeleteAction", "-", "EditRenameAction"}));
    EXPECT_EQ(Captions(top[2]->menu()->actions()),
              (QStringList{"&Toolbar", "Status &Bar", "File &List", "Thumb&nails", "-", "&Image", "&Page",
                           "&Animate Control", "-", "&Rotate", "&Zoom", "&Full-screen", "&Auto fit", "-",
                           "&Reload Image", "Refre&sh File List"}));
    QMenu* zoom = top[2]->menu()->actions()[10]->menu();
    EXPECT_EQ(Names(zoom->actions()), (QStringList{"ViewZoomInAction", "ViewZoomOutAction",
                                                   "ViewFitVisibleAction", "ViewOriginSizeAction"}));
    EXPECT_EQ(Captions(top[3]->menu()->actions()),
              (QStringList{"&Slide show", "-", "Set &Wallpaper", "&Batch convert/rename",
                           "HTML &Album Generator", "-", "&Options..."}));
    EXPECT_EQ(Captions(top[4]->menu()->actions()), (QStringList{"&Content", "&Index", "-", "&About..."}));
    // The animation submenu shows only for animations.
    EXPECT_FALSE(top[2]->menu()->actions()[7]->isVisible());

    QStringList bar = Names(form->ToolBar()->actions()).mid(0, 22);
    EXPECT_EQ(bar, (QStringList{"FileOpenAction",
                                "FileSaveAsAction",
                                "FilePrintAction",
                                "FileExitAction",
                                "-",
                                "ViewFileListAction",
                                "ViewThumbnailAction",
                                "ViewZoomInAction",
                                "ViewZoomOutAction",
                                "ViewFullScreenAction",
                                "ViewReloadAction",
                                "-",
                                "ToolSlideAction",
                                "ViewPreviousAction",
                                "ViewNextAction",
                                "-",
                                "ToolWallPaperCenterAction",
                                "ToolBatchConvAction",
                                "ToolSetupAction",
                                "-",
                                "HelpContentAction",
                                "-"}));

    const int widths[] = {200, 90, 150, 120, 50, 50, 50, 50, 50};
    for (int i = 0; i < TMainForm::kStatusPanelCount; ++i) {
        EXPECT_EQ(form->StatusPanel(i)->width(), widths[i]) << i;
        EXPECT_EQ(form->StatusPanel(i)->alignment() & Qt::AlignHorizontal_Mask,
                  (i == 0 || i == 8) ? Qt::AlignLeft : Qt::AlignHCenter)
            << i;
    }
}

TEST_F(ViewerTest, ActionsCarryTheirHintsAndShortcuts) {
    auto form = NewForm();
    QAction* open = ActionOf(*form, "FileOpenAction");
    EXPECT_EQ(open->text(), QStringLiteral("&Open"));
    EXPECT_EQ(open->toolTip(), QStringLiteral("Open file"));
    EXPECT_EQ(open->statusTip(), QStringLiteral("Open a image file"));
    EXPECT_EQ(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* toolbar = ActionOf(*form, "ViewToolBarAction");
    EXPECT_EQ(toolbar->toolTip(), QStringLiteral("Show/Hide the toolbar")); // a hint without "|" serves both
    EXPECT_EQ(toolbar->statusTip(), QStringLiteral("Show/Hide the toolbar"));
    EXPECT_EQ(toolbar->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    EXPECT_EQ(ActionOf(*form, "ViewZoomInAction")->shortcut(),
              QKeySequence(Qt::KeypadModifier | Qt::Key_Minus));
    EXPECT_EQ(ActionOf(*form, "ViewZoomOutAction")->shortcut(),
              QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
    EXPECT_EQ(ActionOf(*form, "ViewOriginSizeAction")->shortcut(),
              QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk));
    EXPECT_EQ(ActionOf(*form, "ViewFitVisibleAction")->shortcut(),
              QKeySequence(Qt::KeypadModifier | Qt::Key_Slash));
    EXPECT_EQ(ActionOf(*form, "ViewNextPageAction")->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_PageDown));
    EXPECT_EQ(ActionOf(*form, "ViewRotate90Action")->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(ActionOf(*form, "ToolSetupAction")->statusTip(),
              QStringLiteral("Costomize by changing software options"));
    EXPECT_EQ(ActionOf(*form, "ToolWallPaperStretchAction")->shortcut(),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));

    // The long part of a hint goes to panel 0 and the panels stay visible.
    open->showStatusText(form->ToolBar());
    EXPECT_EQ(Panel(*form, 0), QStringLiteral("Open a image file"));
    EXPECT_TRUE(form->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(form->StatusPanel(3)->isVisibleTo(form.get()));
}

TEST_F(ViewerTest, OpeningFillsTheStatusBarAndEnablesTheViewCommands) {
    auto form = NewForm();
    EXPECT_FALSE(ActionOf(*form, "ViewZoomOutAction")->isEnabled());
    EXPECT_FALSE(ActionOf(*form, "ViewFitVisibleAction")->isEnabled());
    const QString path = WriteSolid(QStringLiteral("pic one.ppm"), 100, 80);
    form->OpenPicture(path);
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(form->CurrentFile(), path);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("0/0"));
    EXPECT_EQ(Panel(*form, 3), QStringLiteral("Page 1/1"));
    EXPECT_EQ(Panel(*form, 4), QStringLiteral("pic one.ppm "));
    EXPECT_EQ(Panel(*form, 5), QStringLiteral("%1 bytes").arg(QFileInfo(path).size()));
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("100x80"));
    EXPECT_EQ(Panel(*form, 7), QStringLiteral("100%"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Load in \\d+\\.\\ds$")).match(Panel(*form, 1)).hasMatch())
        << Panel(*form, 1).toStdString();
    for (int i = 2; i < TMainForm::kStatusPanelCount; ++i)
        EXPECT_EQ(form->StatusPanel(i)->width(),
                  form->StatusPanel(i)->fontMetrics().horizontalAdvance(Panel(*form, i)) + 10)
            << i;
    EXPECT_EQ(form->StatusPanel(0)->width(), 200);
    EXPECT_EQ(form->StatusPanel(1)->width(), 90);
    for (const char* name : {"ViewZoomInAction", "ViewZoomOutAction", "ViewOriginSizeAction",
                             "ViewFitVisibleAction", "ViewReloadAction"})
        EXPECT_TRUE(ActionOf(*form, name)->isEnabled()) << name;
    EXPECT_TRUE(ActionOf(*form, "FileOpenAction")->isEnabled());
    EXPECT_EQ(ActionOf(*form, "FileSaveAsAction")->text(), QStringLiteral("&Save as..."));
    EXPECT_FALSE(ActionOf(*form, "FileMultiSaveAsAction")->isVisible());
    EXPECT_FALSE(ActionOf(*form, "ViewNextPageAction")->isEnabled());
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);

    form->ClosePicture();
    EXPECT_TRUE(form->CurrentFile().isEmpty());
    for (int i = 1; i < TMainForm::kStatusPanelCount; ++i)
        EXPECT_TRUE(Panel(*form, i).isEmpty()) << i;
    EXPECT_FALSE(ActionOf(*form, "ViewZoomOutAction")->isEnabled());
    EXPECT_EQ(form->Picture().Graphic(), nullptr);
}

TEST_F(ViewerTest, AFailedOpenReportsTheFileAndEmptiesTheView) {
    auto form = NewForm();
    form->OpenPicture(WriteSolid(QStringLiteral("good.ppm"), 100, 80));
    const QString missing = FDir.filePath(QStringLiteral("missing.ppm"));
    form->OpenPicture(missing);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Cannot open file '") + missing + QStringLiteral("'"));
    EXPECT_EQ(Panel(*form, 6), FMessages[0].Text);
    EXPECT_EQ(Panel(*form, 5), QStringLiteral("Cannot determine the file size"));
    EXPECT_EQ(Panel(*form, 4), QStringLiteral("missing.ppm "));
    EXPECT_TRUE(Panel(*form, 1).isEmpty());
    EXPECT_TRUE(Panel(*form, 3).isEmpty());
    EXPECT_TRUE(Panel(*form, 7).isEmpty());
    EXPECT_EQ(form->Picture().Graphic(), nullptr);
    EXPECT_FALSE(form->Loading());
    for (const char* name :
         {"ViewZoomInAction", "ViewZoomOutAction", "ViewOriginSizeAction", "ViewFitVisibleAction",
          "ViewReloadAction", "FileSaveAsAction", "FilePrintAction", "ViewRotate90Action"})
        EXPECT_FALSE(ActionOf(*form, name)->isEnabled()) << name;
    form->View()->repaint(); // nothing left to paint, and nothing breaks

    // A file that exists but does not decode still shows its size.
    const QString broken = FDir.filePath(QStringLiteral("broken.ppm"));
    WriteFile(broken, "P6\n10 10\n255\nxyz");
    form->OpenPicture(broken);
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_EQ(Panel(*form, 5), QStringLiteral("16 bytes"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the hourglass is gone on every path
}

TEST_F(ViewerTest, ProgressIsShownInPanelOneInStepsOfMoreThanTenPoints) {
    RegisterProbes();
    auto form = NewForm();
    GForm = form.get();
    GPercentSeen.clear();
    GActiveSeen.clear();
    const QString first = FDir.filePath(QStringLiteral("one.probe"));
    WriteFile(first, "probe");
    GNestedPath = WriteSolid(QStringLiteral("other.ppm"), 10, 10);
    form->OpenPicture(first);
    GNestedPath.clear();
    EXPECT_EQ(GPercentSeen, (QList<int>{0, 0, 12, 12, 23, 40, 100}));
    EXPECT_EQ(GActiveSeen, (QList<bool>{true, true, true, true, true, true, false}));
    EXPECT_FALSE(form->ProgressActive());
    // The nested open was ignored: the probe is what is shown.
    EXPECT_EQ(form->CurrentFile(), first);
    EXPECT_EQ(form->Picture().Graphic()->ClassName(), QStringLiteral("TProgressProbe"));
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("30x20"));
    // At 40 % the bar was drawn in blue over 40 % of the panel.
    ASSERT_FALSE(GPanelDuringLoad.isNull());
    const int w = GPanelDuringLoad.width(), h = GPanelDuringLoad.height();
    EXPECT_EQ(QColor(GPanelDuringLoad.pixel(w * 30 / 100, h / 2)), QColor(Qt::blue));
    EXPECT_NE(QColor(GPanelDuringLoad.pixel(w * 60 / 100, h / 2)), QColor(Qt::blue));
    EXPECT_TRUE(Panel(*form, 1).startsWith(QStringLiteral("Load in ")));
    GForm = nullptr;
}

TEST_F(ViewerTest, DrawingsGetAWhiteBackgroundAndBitmapsTheSetting) {
    RegisterProbes();
    auto form = NewForm(1000, 600);
    form->Settings().BackgroundColor = 0x0000FF; // red, in the low byte
    form->ApplySettings();
    form->OpenPicture(WriteSolid(QStringLiteral("b.ppm"), 10, 10));
    EXPECT_EQ(form->GetBackgroundColor(), 0x0000FFu);
    EXPECT_EQ(form->View()->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(form->View()->grab().toImage().pixel(0, 0), qRgb(255, 0, 0));

    TDrawingProbe::Rects.clear();
    const QString drawing = FDir.filePath(QStringLiteral("d.drawprobe"));
    WriteFile(drawing, "drawing");
    form->OpenPicture(drawing);
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkVector);
    EXPECT_EQ(form->GetBackgroundColor(), 0xFFFFFFu);
    EXPECT_EQ(form->View()->palette().color(QPalette::Window), QColor(Qt::white));
    // "AutoFitVector" fits the drawing on load, and it draws itself at the display scale.
    EXPECT_EQ(form->Zoom(), 5.0);
    EXPECT_EQ(form->DisplayWidth(), 1000);
    ASSERT_FALSE(TDrawingProbe::Rects.isEmpty());
    EXPECT_EQ(TDrawingProbe::Rects.last(), QRect(0, 0, 1000, 500));
    EXPECT_EQ(form->ViewBitmap().pixel(999, 0), qRgb(255, 255, 255));
    const QImage& bitmap = form->ViewBitmap();
    EXPECT_TRUE(bitmap.pixel(500, 249) == qRgb(0, 0, 0) || bitmap.pixel(500, 250) == qRgb(0, 0, 0));
    EXPECT_TRUE(ActionOf(*form, "ViewZoomOutAction")->isEnabled());

    form->Settings().WhiteBG = false;
    form->ApplySettings();
    EXPECT_EQ(form->GetBackgroundColor(), 0x0000FFu);
    EXPECT_EQ(form->ViewBitmap().pixel(999, 0), qRgb(255, 0, 0)); // rendered again on the new background
}

TEST_F(ViewerTest, OnlyTheFirstCommandLineArgumentIsOpened) {
    const QString a = WriteSolid(QStringLiteral("a.ppm"), 20, 10);
    const QString b = WriteSolid(QStringLiteral("b.ppm"), 30, 10);
    auto form = NewForm(1000, 600, {a, b});
    EXPECT_EQ(form->CurrentFile(), a);
    EXPECT_EQ(form->Picture().Width(), 20);
    // The long form of a path: absolute, without "." and "..", links kept as named.
    QDir(FDir.path()).mkdir(QStringLiteral("sub"));
    const QString link = FDir.filePath(QStringLiteral("sub/link.ppm"));
    ASSERT_TRUE(QFile::link(a, link));
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(FDir.filePath(QStringLiteral("sub")));
    EXPECT_EQ(LongPathName(QStringLiteral("./../sub/link.ppm")), QDir::cleanPath(link));
    EXPECT_EQ(LongPathName(QStringLiteral("nothere.ppm")),
              QFileInfo(FDir.filePath(QStringLiteral("sub/nothere.ppm"))).absoluteFilePath());
    QDir::setCurrent(oldCurrent);
}

TEST_F(ViewerTest, AFileNamedThroughALinkedFolderIsBrowsedInThatFolder) {
    QDir(FDir.path()).mkdir(QStringLiteral("real"));
    WriteSolid(QStringLiteral("real/one.ppm"), 5, 5);
    WriteSolid(QStringLiteral("real/two.ppm"), 6, 6);
    ASSERT_TRUE(QFile::link(FDir.filePath(QStringLiteral("real")), FDir.filePath(QStringLiteral("linked"))));
    const QString named = LongPathName(QStringLiteral("linked/./two.ppm"));
    const QString linked = QDir::cleanPath(FDir.filePath(QStringLiteral("linked")));
    EXPECT_EQ(named, linked + QStringLiteral("/two.ppm"));
    auto form = NewForm(1000, 600, {named});
    EXPECT_EQ(form->CurrentFile(), named);
    EXPECT_EQ(form->FileList().Directory(), linked);
    EXPECT_EQ(Panel(*form, 2), QStringLiteral("2/2"));
    EXPECT_EQ(form->Browse().MRUFileList()->Items().value(0), named);
    ActionOf(*form, "ViewPreviousAction")->trigger();
    EXPECT_EQ(form->CurrentFile(), linked + QStringLiteral("/one.ppm"));
}

TEST_F(ViewerTest, ADroppedFileIsOpenedWithItsWholePath) {
    QString folder = FDir.path();
    while (folder.size() < 300) {
        folder += QStringLiteral("/a_rather_long_folder_name_for_dropping");
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    const QString path = folder + QStringLiteral("/dropped.ppm");
    const QString second = WriteSolid(QStringLiteral("second.ppm"), 5, 5);
    {
        QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        QByteArray bytes = "P6\n40 30\n255\n";
        for (int y = 0; y < 30; ++y)
            bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), 120);
        WriteFile(path, bytes);
    }
    ASSERT_GT(path.size(), 260);
    auto form = NewForm();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_EQ(form->CurrentFile(), path);
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("40x30"));
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ViewerTest, SettingsAreReadAtStartAndOnlyThePanelsAreWrittenAtClose) {
    {
        TSettingsFile store;
        store.WriteInteger(QStringLiteral("Misc"), QStringLiteral("BackgroundColor"), 0x00FF00);
        store.WriteBool(QStringLiteral("System"), QStringLiteral("StatusBarVisible"), false);
        store.WriteBool(QStringLiteral("System"), QStringLiteral("ThumbnailVisible"), true);
        ASSERT_TRUE(store.Flush());
    }
    {
        auto form = NewForm();
        EXPECT_EQ(form->Settings().BackgroundColor, 0x00FF00u);
        EXPECT_EQ(form->View()->palette().color(QPalette::Window), QColor(0, 255, 0));
        EXPECT_TRUE(form->ToolBar()->isVisible());
        EXPECT_FALSE(form->statusBar()->isVisible());
        EXPECT_FALSE(ActionOf(*form, "ViewStatusBarAction")->isChecked());
        EXPECT_TRUE(ActionOf(*form, "ViewThumbnailAction")->isChecked());
        // Options changed in the running window are not stored by the window.
        form->Settings().BackgroundColor = 0x123456;
        form->Settings().Interval = 7;
        form->ApplySettings();
        ActionOf(*form, "ViewStatusBarAction")->trigger();
        ActionOf(*form, "ViewToolBarAction")->trigger();
        const QByteArray before = ReadFile(FSettingsFile);
        EXPECT_FALSE(before.contains("\"ToolBarVisible\"")); // nothing written before the close
        form->close();
    }
    TSettingsFile store;
    EXPECT_EQ(store.ReadInteger(QStringLiteral("Misc"), QStringLiteral("BackgroundColor"), -1), 0x00FF00);
    EXPECT_FALSE(store.ValueExists(QStringLiteral("SlideShow"), QStringLiteral("Interval")));
    EXPECT_EQ(store.ReadString(QStringLiteral("System"), QStringLiteral("ToolBarVisible")),
              QStringLiteral("0"));
    EXPECT_EQ(store.ReadString(QStringLiteral("System"), QStringLiteral("StatusBarVisible")),
              QStringLiteral("1"));
    EXPECT_EQ(store.ReadString(QStringLiteral("System"), QStringLiteral("ThumbnailVisible")),
              QStringLiteral("1"));
    EXPECT_EQ(store.ReadString(QStringLiteral("System"), QStringLiteral("FileListVisible")),
              QStringLiteral("0"));
    EXPECT_FALSE(store.ValueExists(QStringLiteral("Default"),
                                   QStringLiteral("CurrentDir"))); // stored after the loop only
}

TEST_F(ViewerTest, StayOnTopAndTheContextMenuFollowTheWindow) {
    auto form = NewForm();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    form->Settings().StayOnTop = true;
    form->ApplySettings();
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());
    form->Settings().StayOnTop = false;
    form->ApplySettings();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);

    // A right click on the picture area opens the context menu.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20),
                            form->View()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(form->View(), &click);
    EXPECT_TRUE(form->ContextMenu()->isVisible());
    form->ContextMenu()->hide();
}

TEST_F(ViewerTest, TheWindowAnswersTheFormatModules) {
    auto form = NewForm();
    EXPECT_EQ(&ViewerServices(), static_cast<IViewerServices*>(form.get()));
    form->Settings().PhotoSize = 1;
    form->Settings().DxfDrawVertices = true;
    form->Settings().DxfLineWidth = 3;
    EXPECT_EQ(ViewerServices().GetPhotoSize(), 1);
    EXPECT_EQ(ViewerServices().GetDxfOptions(), 0x03010001u);
    form.reset();
    EXPECT_EQ(ViewerServices().GetPhotoSize(), 2); // the defaults again once the window is gone
}

TEST_F(ViewerTest, PasswordsAreAskedRememberedAndForgotten) {
    auto form = NewForm();
    QString password = QStringLiteral("stale");
    EXPECT_TRUE(form->RequestPassword(password, false, QString())); // remembering is on, nothing remembered
    EXPECT_TRUE(password.isEmpty());

    FDialogs.AnswerNext<TPwdForm>([](TPwdForm* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Please enter the password"));
        EXPECT_TRUE(d->chkRememberPwd->isChecked());
        EXPECT_TRUE(d->chkMask->isChecked());
        EXPECT_EQ(d->txtPwd->echoMode(), QLineEdit::Password);
        d->txtPwd->setText(QStringLiteral("abc"));
        d->btnOK->click();
    });
    EXPECT_TRUE(form->RequestPassword(password, true, QStringLiteral("Please enter the password")));
    EXPECT_EQ(password, QStringLiteral("abc"));
    EXPECT_TRUE(form->RequestPassword(password, false, QString()));
    EXPECT_EQ(password, QStringLiteral("abc"));

    // The remembered password is offered; unticking "remember" forgets it.
    FDialogs.AnswerNext<TPwdForm>([](TPwdForm* d) {
        EXPECT_EQ(d->txtPwd->text(), QStringLiteral("abc"));
        d->chkMask->click();
        EXPECT_EQ(d->txtPwd->echoMode(), QLineEdit::Normal);
        d->chkRememberPwd->setChecked(false);
        d->txtPwd->setText(QStringLiteral("xyz"));
        d->btnOK->click();
    });
    EXPECT_TRUE(form->RequestPassword(password, true, QStringLiteral("Incorrect password, please reenter")));
    EXPECT_EQ(password, QStringLiteral("xyz"));
    EXPECT_FALSE(form->RememberPassword());
    EXPECT_FALSE(form->MaskPassword());
    EXPECT_TRUE(form->RememberedPassword().isEmpty());
    EXPECT_FALSE(form->RequestPassword(password, false, QString()));
    EXPECT_TRUE(password.isEmpty());

    FDialogs.AnswerNext<TPwdForm>([](TPwdForm* d) {
        EXPECT_FALSE(d->chkMask->isChecked());
        d->btnCancel->click();
    });
    password = QStringLiteral("x");
    EXPECT_FALSE(form->RequestPassword(password, true, QStringLiteral("Please enter the password")));
    EXPECT_TRUE(password.isEmpty());
}

TEST_F(ViewerTest, HelpOpensTheManualAtItsContentsOrIndex) {
    auto form = NewForm();
    const QString manual =
        QFileInfo(QStringLiteral(LUMENOR_VIEWER)).absolutePath() + QStringLiteral("/manual");
    ASSERT_TRUE(QFileInfo::exists(manual + QStringLiteral("/contents.html")))
        << "the build copies the manual next to the program";
    ASSERT_TRUE(QFileInfo::exists(manual + QStringLiteral("/index.html")));
    form->Help().SetHelpFile(manual);
    THelpReceiver receiver;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &receiver, "Open");
    ActionOf(*form, "HelpContentAction")->trigger();
    ActionOf(*form, "HelpIndexItem")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(receiver.Urls.size(), 2);
    EXPECT_EQ(receiver.Urls[0], QUrl::fromLocalFile(manual + QStringLiteral("/contents.html")));
    EXPECT_EQ(receiver.Urls[1], QUrl::fromLocalFile(manual + QStringLiteral("/index.html")));
    EXPECT_TRUE(FMessages.empty());

    // Without a manual the command's error goes to the error report.
    form->Help().SetHelpFile(FDir.filePath(QStringLiteral("nomanual")));
    ActionOf(*form, "HelpContentAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Lumenor v1.65"));
    EXPECT_TRUE(FMessages[0].Text.startsWith(QStringLiteral("Cannot open the help file")))
        << FMessages[0].Text.toStdString();

    ActionOf(*form, "HelpAboutItem")->trigger();
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_TRUE(FMessages[1].Text.contains(QStringLiteral("Version 1.65")));

    // Without a browser the manual shows in a window of ours.
    form->Help().SetHelpFile(manual);
    form->Help().SetBrowserOpener([](const QUrl&) { return false; });
    ActionOf(*form, "HelpContentAction")->trigger();
    EXPECT_EQ(FMessages.size(), 2u);
    QTextBrowser* window = form->Help().HelpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->source(), QUrl::fromLocalFile(manual + QStringLiteral("/contents.html")));
    EXPECT_FALSE(window->toPlainText().isEmpty());
    ActionOf(*form, "HelpIndexItem")->trigger();
    EXPECT_EQ(form->Help().HelpWindow(), window); // one window, at the page asked for
    EXPECT_EQ(window->source(), QUrl::fromLocalFile(manual + QStringLiteral("/index.html")));
    window->close();
}

TEST_F(ViewerTest, PrinterSetupShowsThePlatformDialog) {
    auto form = NewForm();
    bool shown = false;
    FDialogs.AnswerNext<QPrintDialog>([&shown](QPrintDialog* d) {
        shown = true;
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Print Setup"));
        d->reject();
    });
    ActionOf(*form, "FilePrintSetupAction")->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(ViewerTest, EveryCommandOfTheToolBarAndMenusHasAnIconThatDraws) {
    auto form = NewForm();
    // The icons the program brings draw even where the desktop has no icon theme.
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    const QIcon program = ProgramIcon();
    EXPECT_FALSE(program.pixmap(48, 48).isNull());
    int checked = 0;
    for (QAction* a : form->ToolBar()->actions()) {
        if (a->isSeparator() || a->objectName().isEmpty() || !a->objectName().endsWith(QLatin1String("Action"))) continue;
        const QImage image = a->icon().pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << a->objectName().toStdString();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) ink += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(ink, 24) << a->objectName().toStdString() << " has no drawn icon";
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

TEST_F(ViewerTest, PrintPutsTheShownPictureOnAPageAsThePageSetupSays) {
    auto form = NewForm();
    EXPECT_FALSE(ActionOf(*form, "FilePrintAction")->isEnabled());
    form->OpenPicture(WriteSolid(QStringLiteral("p.ppm"), 300, 200, qRgb(200, 30, 40)));
    ASSERT_TRUE(ActionOf(*form, "FilePrintAction")->isEnabled());
    ASSERT_TRUE(ActionOf(*form, "FilePageSetupAction")->isEnabled());
    // The page setup, cancelled, changes nothing; the print dialog is answered with a PDF file.
    FDialogs.AnswerNext<QDialog>([](QDialog* d) { d->reject(); });
    ActionOf(*form, "FilePageSetupAction")->trigger();
    const QString pdf = FDir.filePath(QStringLiteral("out.pdf"));
    QString title;
    FDialogs.AnswerNext<QPrintDialog>([&](QPrintDialog* d) {
        d->printer()->setOutputFormat(QPrinter::PdfFormat);
        d->printer()->setOutputFileName(pdf);
        d->QDialog::accept(); // as the user's OK, without the dialog's own printer choices

    });
    ActionOf(*form, "FilePrintAction")->trigger();
    EXPECT_TRUE(FDialogs.AllAnswered());
    EXPECT_TRUE(FMessages.empty()) << (FMessages.empty() ? "" : FMessages[0].Text.toStdString());
    EXPECT_TRUE(ReadFile(pdf).startsWith("%PDF"));
    EXPECT_EQ(form->Print().Printer().docName(), QStringLiteral("Lumenor - ") + form->CurrentFile());
}

TEST_F(ViewerTest, SaveAsWritesTheShownPictureAndTheAnimationWhole) {
    auto form = NewForm();
    const QString pic = WriteSolid(QStringLiteral("p.ppm"), 30, 20, qRgb(10, 20, 30));
    form->Browse().SelectAndOpen(pic);
    const auto answer = [&](const QString& name) {
        FDialogs.AnswerNext<TEnSavePictureDialog>([this, name](TEnSavePictureDialog* d) {
            d->SetFileName(FDir.filePath(name));
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
        });
    };
    answer(QStringLiteral("p.png"));
    ActionOf(*form, "FileSaveAsAction")->trigger();
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("File saved successfully"));
    EXPECT_EQ(QImage(FDir.filePath(QStringLiteral("p.png"))).pixel(5, 5), qRgb(10, 20, 30));
    EXPECT_EQ(form->FileList().Count(), 2); // the new file is listed, the shown one stays selected
    EXPECT_EQ(form->FileList().FileName(), pic);
    // Cancel saves nothing.
    ActionOf(*form, "FileSaveAsAction")->trigger();
    EXPECT_EQ(FMessages.size(), 1u);

    // An animated cursor: the frame shown, or the whole animation as a GIF.
    form->OpenPicture(DataPath(QStringLiteral("ani/spin.ani")));
    EXPECT_EQ(ActionOf(*form, "FileSaveAsAction")->text(), QStringLiteral("&Save current frame as..."));
    ASSERT_TRUE(ActionOf(*form, "FileMultiSaveAsAction")->isVisible());
    answer(QStringLiteral("spin.gif"));
    ActionOf(*form, "FileMultiSaveAsAction")->trigger();
    ASSERT_EQ(FMessages.size(), 2u);
    EXPECT_EQ(FMessages[1].Text, QStringLiteral("File saved successfully")) << FMessages[1].Details.toStdString();
    TGIFImage gif;
    gif.LoadFromFileName(FDir.filePath(QStringLiteral("spin.gif")));
    EXPECT_EQ(gif.FrameCount(), 3);
    // A failure says so, with the reason in the details, and leaves nothing behind.
    answer(QStringLiteral("missing-folder/x.png"));
    ActionOf(*form, "FileSaveAsAction")->trigger();
    ASSERT_EQ(FMessages.size(), 3u);
    EXPECT_EQ(FMessages[2].Text, QStringLiteral("Cannot save file"));
    EXPECT_FALSE(QFileInfo::exists(FDir.filePath(QStringLiteral("missing-folder"))));
}

TEST_F(ViewerTest, TheOptionsCommandIsConnected) {
    auto form = NewForm();
    form->OpenPicture(WriteSolid(QStringLiteral("p.ppm"), 10, 10));
    EXPECT_TRUE(ActionOf(*form, "ToolSetupAction")->isEnabled());
    // Space and Backspace with nothing listed browse nowhere and close nothing.
    QTest::keyClick(form->View(), Qt::Key_Space);
    QTest::keyClick(form->View(), Qt::Key_Backspace);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(ViewerTest, TheOpenDialogOffersEveryPatternInBothCasesAndAPreview) {
    auto form = NewForm();
    const QString path = WriteSolid(QStringLiteral("chosen.ppm"), 64, 32);
    QStringList filters;
    bool previewed = false;
    // The command asks through the window's dialogs, answered here without a modal loop.
    FDialogs.AnswerNext<QFileDialog>([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        dialog->setDirectory(FDir.path());
        dialog->selectFile(path);
        QApplication::processEvents();
        emit dialog->currentChanged(path);
        if (auto* preview = dialog->findChild<QLabel*>(QStringLiteral("Preview")))
            previewed = !preview->pixmap().isNull() && preview->pixmap().width() == 176;
        dialog->QDialog::accept();
    });
    ActionOf(*form, "FileOpenAction")->trigger();
    EXPECT_TRUE(FDialogs.AllAnswered());
    ASSERT_FALSE(filters.isEmpty());
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("All images (*.ANI *.AVI *.BMP")))
        << filters[0].toStdString();
    EXPECT_TRUE(filters[0].contains(QStringLiteral(" *.wbmp "))) << filters[0].toStdString();
    EXPECT_FALSE(filters[0].contains(QStringLiteral("*.JFIF"))); // the open dialog leaves out the late twelve
    EXPECT_TRUE(filters.contains(QStringLiteral("Wireless Bitmap (*.WBMP *.wbmp)")));
    // Today's formats: in "All images" and on lines of their own after the start-up table's.
    EXPECT_TRUE(filters[0].contains(QStringLiteral(" *.WEBP *.AVIF *.HEIC"))) << filters[0].toStdString();
    EXPECT_TRUE(filters[0].endsWith(QStringLiteral(" *.pef)"))) << filters[0].toStdString();
    EXPECT_EQ(filters.last(), QStringLiteral("Camera RAW images (*.DNG *.CR2 *.CR3 *.NEF *.ARW *.ORF *.RAF *.RW2 *.PEF "
                                             "*.dng *.cr2 *.cr3 *.nef *.arw *.orf *.raf *.rw2 *.pef)"));
    EXPECT_TRUE(previewed);
    EXPECT_EQ(form->CurrentFile(), path);
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("64x32"));
}

TEST_F(ViewerTest, WirelessBitmapsOpenAndHugeFileSizesShowInFull) {
    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("wbmp/shapes.wbmp")));
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(Panel(*form, 6), QStringLiteral("150x40"));
    EXPECT_EQ(Panel(*form, 5), QStringLiteral("765 bytes"));
    EXPECT_EQ(form->ViewBitmap().pixel(0, 0), qRgb(255, 255, 255));

    // A sparse 5 GiB file: not a picture, but its size is shown whole.
    const QString huge = FDir.filePath(QStringLiteral("huge.wbmp"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(5) << 30));
    }
    form->OpenPicture(huge);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(Panel(*form, 5), QStringLiteral("5368709120 bytes"));
    QFile::remove(huge);
}

#include "MainFormTest.moc"

TEST_F(ViewerTest, PlotsTakeTheirPenWidthsAndPaperFromTheWindow) {
    TSettingsFile store(FSettingsFile);
    store.WriteBool(QStringLiteral("HPGL"), QStringLiteral("RealWidth"), true);
    store.WriteInteger(QStringLiteral("HPGL"), QStringLiteral("LineWidth"), 4);
    store.WriteBool(QStringLiteral("Misc"), QStringLiteral("WhiteBG"), false);
    store.WriteInteger(QStringLiteral("Misc"), QStringLiteral("BackgroundColor"), 0x102030);
    ASSERT_TRUE(store.Flush());
    const QString plot = FDir.filePath(QStringLiteral("p.plt"));
    WriteFile(plot, "IN;SP1;PU0,0;PD1000,1000;");
    auto form = NewForm();
    form->OpenPicture(plot);
    auto* g = dynamic_cast<THPGL2Graphic*>(form->Picture().Graphic());
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->RealWidth);
    EXPECT_EQ(g->LineWidth, 4);
    EXPECT_EQ(g->PaperColor(), TColor(0x102030));
}

TEST_F(ViewerTest, AnAnimatedCursorPlaysWhenShown) {
    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("ani/spin.ani")));
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkAnimatedCursor);
    auto* ani = dynamic_cast<TAniGraphic*>(form->Picture().Graphic());
    ASSERT_NE(ani, nullptr);
    EXPECT_TRUE(ani->Animating());
    const int first = ani->CurrentFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ani->CurrentFrame() != first; }, 3000));
    ani->SetAnimating(false);
}

TEST_F(ViewerTest, AnOldAnimationOrVideoNeverLeaksIntoTheNextPicture) {
    for (const char* moving : {"ani/spin.ani", "avi/raw24.avi"}) {
        SCOPED_TRACE(moving);
        auto form = NewForm();
        form->OpenPicture(DataPath(QString::fromLatin1(moving)));
        ASSERT_GE(int(form->PictureKind()), int(TPictureKind::pkAnimatedCursor));
        // The password prompt runs an event loop long enough for the old picture's timer to tick.
        FDialogs.AnswerNext<TPwdForm>([](TPwdForm* d) {
            QTest::qWait(700);
            d->txtPwd->setText(QStringLiteral("Secret"));
            d->btnOK->click();
        });
        form->OpenPicture(DataPath(QStringLiteral("cif/alg4.cif")));
        EXPECT_TRUE(FDialogs.AllAnswered());
        EXPECT_TRUE(FMessages.empty());
        EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);
        EXPECT_EQ(Panel(*form, 6), QStringLiteral("2x2"));
        EXPECT_FALSE(form->Menus().FrameSliderAction->isVisible());
        EXPECT_EQ(form->OffsetX(), (1000 - 2) / 2);
        EXPECT_EQ(form->OffsetY(), (600 - 2) / 2);
        QTest::qWait(400); // nothing moves afterwards either
        EXPECT_EQ(form->PictureKind(), TPictureKind::pkStill);
        EXPECT_EQ(form->ViewBitmap().size(), QSize(2, 2));
    }
}

TEST_F(ViewerTest, AFailedOpenSaysWhyInTheDetails) {
    auto form = NewForm();
    const QString bad = FDir.filePath(QStringLiteral("bad.ppm"));
    WriteFile(bad, QByteArray("P6\n0 5\n255\n"));
    form->OpenPicture(bad);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(FMessages[0].Text, QStringLiteral("Cannot open file '") + bad + QStringLiteral("'"));
    EXPECT_FALSE(FMessages[0].Details.isEmpty());
    EXPECT_NE(FMessages[0].Details, FMessages[0].Text);
}

TEST_F(ViewerTest, AVideoPlaysWhenShown) {
    auto form = NewForm();
    form->OpenPicture(DataPath(QStringLiteral("avi/raw24.avi")));
    EXPECT_TRUE(FMessages.empty());
    EXPECT_EQ(form->PictureKind(), TPictureKind::pkVideo);
    auto* video = dynamic_cast<TAVIGraphic*>(form->Picture().Graphic());
    ASSERT_NE(video, nullptr);
    EXPECT_TRUE(video->Animated());
    EXPECT_TRUE(QTest::qWaitFor([&] { return video->CurrentFrame() > 1; }, 3000));
    video->Pause();
}

TEST_F(ViewerTest, ADrawingFollowsTheViewSizeWhileItsAutoFitIsOn) {
    // A drawing opened before the window has its final size (the command line) is fitted again when
    // the view grows: auto fit for drawings holds on resizing too.
    const QString plot = FDir.filePath(QStringLiteral("p.plt"));
    WriteFile(plot, "IN;SP1;PU0,0;PD4000,3000;");
    auto form = NewForm(200, 150);
    ASSERT_FALSE(ActionOf(*form, "ViewAutoFitAction")->isChecked());
    form->OpenPicture(plot);
    ASSERT_EQ(form->PictureKind(), TPictureKind::pkVector);
    const int small = form->DisplayWidth();
    EXPECT_LE(small, 200);
    SetViewSize(*form, 800, 600);
    EXPECT_GT(form->DisplayWidth(), small);
    EXPECT_TRUE(form->DisplayWidth() == 800 || form->DisplayHeight() == 600)
        << form->DisplayWidth() << "x" << form->DisplayHeight();
    EXPECT_EQ(form->ViewBitmap().size(), QSize(form->DisplayWidth(), form->DisplayHeight()));
}
